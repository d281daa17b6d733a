// The data sets of the whole problem: counts, volume and surface numbering with their adjacency,
// zones, subdomains, boundary patches, units, then the zones' own data and the region atlas.
#include "DefWriter.h"

#include "DefFile.h"
#include "DefWriterInternal.h"
#include "Region.h"
#include "Topology.h"
#include "Projection.h"
#include "ProjectionWrite.h"
#include "Units.h"
#include "Zone.h"
#include "vsnBoundary.h"
#include "vsnDomain.h"
#include "vsnInterface.h"
#include "vsnSubdomain.h"
#include "zyrCString.h"
#include "zyrError.h"
#include "zyrInterrupt.h"
#include "zyrLibrary.h"
#include "zyrMemory.h"
#include "zyrPause.h"
#include "zyrZoneMap.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

const char *const kEvery = "EVERY";
const int32_t kReleaseLength = 100;

int s_inWrite = 0;

// A failed data-set write: the file's error is published and the write ends.
struct WriteFailed {};

template <class T> struct Owned {
  T **m_array = nullptr;
  int32_t m_count = 0;
  ~Owned() {
    if (m_array != nullptr)
      zyrMemory_free(m_array, "DefWriter");
  }
};

std::string location(const char *format, int32_t n) {
  char text[32];
  snprintf(text, sizeof text, format, n);
  return text;
}

struct Writer {
  DefWriter *m_w;
  DefFile *m_file;

  void check(int written) {
    if (!written) {
      DefFile_reportError(m_file, "DefWriter_writeData");
      throw WriteFailed();
    }
  }
  void integer(const char *what, const char *where, int32_t value) {
    check(DefFile_writeInt(m_file, what, where, 0, value));
  }
  void ints(const char *what, const char *where, const std::vector<int32_t> &values) {
    check(DefFile_writeIntArray(m_file, what, where, 0, values.data(), int32_t(values.size()), 0));
  }
  void strings(const char *what, const char *where, const std::vector<const char *> &values) {
    check(DefFile_writeIoStringArray(m_file, what, where, 0, values.data(), int32_t(values.size())));
  }
  int32_t id(const void *object) { return DefWriter_getID(m_w, object); }
};

// Index pointer (from 1) of groups of the given sizes.
std::vector<int32_t> indexPointer(const std::vector<int32_t> &sizes) {
  std::vector<int32_t> ip{1};
  for (int32_t size : sizes)
    ip.push_back(ip.back() + size);
  return ip;
}

void inconsistency(const std::string &message) {
  ZYR_ERROR_FOR(ZYR_U_INVALID_VSN, "DefWriter_writeData", "%s", message.c_str());
}

std::string format(const char *pattern, const char *a, const char *b, const char *c, const char *d = "") {
  int n = snprintf(nullptr, 0, pattern, a, b, c, d);
  std::string text(static_cast<size_t>(n > 0 ? n : 0), '\0');
  snprintf(&text[0], text.size() + 1, pattern, a, b, c, d);
  return text;
}

// The release string, cut at 100 characters and zero-filled behind.
void writeRelease(Writer &out) {
  char *release = zyrCString_merge(zyrGetBuildInfo(zyrBuildRelease), " (", zyrGetBuildInfo(zyrBuildStamp), ") [ZYR]",
                                   nullptr);
  char buffer[kReleaseLength] = {0};
  memcpy(buffer, release, std::min(strlen(release), static_cast<size_t>(kReleaseLength)));
  zyrCString_free(release);
  out.check(DefFile_writeCharArray(out.m_file, "G/CRELNO", kEvery, 0, buffer, kReleaseLength));
}

// The numbering of volumes and surfaces: each surface's volume, neighbour and priority, the
// surfaces grouped by volume, and the counts of the problem.
void writeRegionNumbering(DefWriter *w, Writer &out) {
  const int32_t nvl = w->m_noOfVolumes, nsf = w->m_noOfSurfaces;
  out.integer("G/NVL", kEvery, nvl);
  out.integer("G/NSF", kEvery, nsf);
  std::vector<int32_t> volumeOfSurface(static_cast<size_t>(nsf)), ownNumber(static_cast<size_t>(nsf)), surfacePriority(static_cast<size_t>(nsf));
  std::vector<int32_t> neighbour(static_cast<size_t>(nsf)), volumePriority(static_cast<size_t>(nvl));
  for (int32_t s = 0; s < nsf; ++s) {
    volumeOfSurface[static_cast<size_t>(s)] = out.id(Region_getBoundedRegion(w->m_surfaces[s]));
    ownNumber[static_cast<size_t>(s)] = s + 1;
    surfacePriority[static_cast<size_t>(s)] = Region_getPriority(w->m_surfaces[s]);
    const Region *other = Region_getNeighbour(w->m_surfaces[s]);
    int32_t n = other != nullptr ? DefWriter_getAtlasIndex(w, other) : -1;
    neighbour[static_cast<size_t>(s)] = n > 0 ? n : 0;
  }
  for (int32_t v = 0; v < nvl; ++v)
    volumePriority[static_cast<size_t>(v)] = Region_getPriority(w->m_volumes[v]);
  std::vector<int32_t> surfacesByVolume(static_cast<size_t>(nsf)), ipsfvl(static_cast<size_t>(nvl) + 1);
  DefWriter_groupSurfacesByVolume(nvl, nsf, volumeOfSurface.data(), surfacesByVolume.data(), ipsfvl.data());
  surfacesByVolume.resize(static_cast<size_t>(ipsfvl[static_cast<size_t>(nvl)] - 1));
  out.ints("G/KVLSF", kEvery, volumeOfSurface);
  out.ints("G/KSFVL", kEvery, surfacesByVolume);
  out.ints("G/IPSFVL", kEvery, ipsfvl);
  out.ints("G/KIDSF", kEvery, ownNumber);
  out.ints("G/KPRSF", kEvery, surfacePriority);
  out.ints("G/KPRVL", kEvery, volumePriority);
  out.integer("G/NFS", kEvery, nsf);
  out.ints("G/KSFSF", kEvery, neighbour);
  out.integer("G/NZN", kEvery, w->m_noOfDomains);
  out.integer("G/NZIF", kEvery, w->m_noOfInterfaces);
  out.integer("G/NBCP", kEvery, w->m_noOfBoundaries);
  out.integer("G/NVP", kEvery, w->m_noOfSubdomains);
}

// Which zone claimed each region, and each volume's position in its zone's list.
struct Claims {
  std::unordered_map<const Region *, int32_t> m_surfaceZone, m_volumeZone, m_localIndex;
};

const char *const kClaimedTwice = "There is an inconsistency in the problem definition. The region \"%s\"\n"
                                  "appears in domain \"%s\" and in domain \"%s\".\n";

// Zones: names, boundary surfaces and the claims of surfaces and volumes; 0 when a region is
// claimed twice.
int writeZones(DefWriter *w, Writer &out, Claims &claims, std::vector<int32_t> &volumeZone) {
  const int32_t nzn = w->m_noOfDomains;
  std::vector<int32_t> volumesByZone, zoneSizes;
  for (int32_t z = 1; z <= nzn; ++z) {
    vsnDomain *domain = w->m_domains[z - 1];
    const std::string zn = location("ZN%d", z);
    Owned<Region> volumes, surfaces;
    volumes.m_count = vsnDomain_getRegions(domain, &volumes.m_array);
    surfaces.m_count = vsnDomain_getBoundaryRegions(domain, &surfaces.m_array);
    if (volumes.m_count < 0)
      volumes.m_count = 0;
    if (surfaces.m_array == nullptr)
      surfaces.m_count = 0;
    zyrSortRegionsAlphabetically(volumes.m_count, volumes.m_array);
    zyrSortRegionsAlphabetically(surfaces.m_count, surfaces.m_array);
    std::vector<const char *> volumeNames, surfaceNames;
    for (int32_t i = 0; i < volumes.m_count; ++i)
      volumeNames.push_back(Region_getUserName(volumes.m_array[i]));
    for (int32_t i = 0; i < surfaces.m_count; ++i)
      surfaceNames.push_back(Region_getUserName(surfaces.m_array[i]));
    out.integer("G/NDIMS", zn.c_str(), 3);
    out.integer("G/NVL", zn.c_str(), volumes.m_count);
    out.integer("G/NSF", zn.c_str(), surfaces.m_count);
    out.strings("G/CLBVL", zn.c_str(), volumeNames);
    out.strings("G/CLBSF", zn.c_str(), surfaceNames);

    std::vector<int32_t> numbers;
    for (int32_t i = 0; i < surfaces.m_count; ++i) {
      const Region *surface = surfaces.m_array[i];
      auto known = claims.m_surfaceZone.find(surface);
      if (known != claims.m_surfaceZone.end()) {
        inconsistency(format(kClaimedTwice, Region_getUserName(surface),
                             vsnDomain_getName(w->m_domains[known->second - 1]), vsnDomain_getName(domain)));
        return 0;
      }
      claims.m_surfaceZone.emplace(surface, z);
      numbers.push_back(out.id(surface));
    }
    out.integer("G/NSF", zn.c_str(), surfaces.m_count);
    out.ints("G/KSFFS", zn.c_str(), numbers);
    std::vector<int32_t> ones(numbers.size(), 1);
    out.ints("G/IPSFFS", zn.c_str(), indexPointer(ones));

    for (int32_t i = 0; i < volumes.m_count; ++i) {
      const Region *volume = volumes.m_array[i];
      auto known = claims.m_volumeZone.find(volume);
      if (known != claims.m_volumeZone.end()) {
        inconsistency(format(kClaimedTwice, Region_getUserName(volume),
                             vsnDomain_getName(w->m_domains[known->second - 1]), vsnDomain_getName(domain)));
        return 0;
      }
      claims.m_volumeZone.emplace(volume, z);
      claims.m_localIndex.emplace(volume, i + 1);
      volumesByZone.push_back(out.id(volume));
    }
    zoneSizes.push_back(volumes.m_count);
  }

  for (int32_t v = 0; v < w->m_noOfVolumes; ++v) {
    auto known = claims.m_volumeZone.find(w->m_volumes[v]);
    volumeZone[static_cast<size_t>(v)] = known != claims.m_volumeZone.end() ? known->second : 0;
  }
  out.ints("G/KZNVL", kEvery, volumeZone);
  out.ints("G/KVLZN", kEvery, volumesByZone);
  out.ints("G/IPVLZN", kEvery, indexPointer(zoneSizes));
  return 1;
}

// A region of a subdomain or boundary (the kind) that lies in another domain than its parent.
void notInParent(const char *kind, const char *name, const Region *region, const vsnDomain *actual,
                 const vsnDomain *parent) {
  const std::string pattern = std::string("There is an inconsistency in the problem definition. The ") + kind +
                              " \"%s\"\ncontains a region \"%s\" that is part of domain \"%s\" rather than\nthe " +
                              kind + "'s parent domain \"%s\".\n";
  inconsistency(format(pattern.c_str(), name, Region_getUserName(region),
                       actual != nullptr ? vsnDomain_getName(actual) : "",
                       parent != nullptr ? vsnDomain_getName(parent) : ""));
}

// Subdomains: their volumes, and per zone its subdomains' local positions; 0 when a subdomain
// holds a volume of another domain.
int writeSubdomains(DefWriter *w, Writer &out, const Claims &claims) {
  if (w->m_noOfSubdomains < 1)
    return 1;
  std::vector<int32_t> numbers, sizes;
  for (int32_t p = 0; p < w->m_noOfSubdomains; ++p) {
    vsnSubdomain *subdomain = w->m_subdomains[p];
    const vsnDomain *parent = vsnSubdomain_getDomain(subdomain);
    Owned<Region> volumes;
    volumes.m_count = vsnSubdomain_getRegions(subdomain, &volumes.m_array);
    int32_t size = 0;
    for (int32_t i = 0; i < volumes.m_count; ++i) {
      const Region *volume = volumes.m_array[i];
      auto known = claims.m_volumeZone.find(volume);
      const vsnDomain *actual = known != claims.m_volumeZone.end() ? w->m_domains[known->second - 1] : nullptr;
      if (actual != parent) {
        notInParent("subdomain", vsnSubdomain_getName(subdomain), volume, actual, parent);
        return 0;
      }
      numbers.push_back(out.id(volume));
      ++size;
    }
    sizes.push_back(size);
  }
  out.ints("G/KVLVP", kEvery, numbers);
  out.ints("G/IPVLVP", kEvery, indexPointer(sizes));

  for (int32_t z = 1; z <= w->m_noOfDomains; ++z) {
    const std::string zn = location("ZN%d", z);
    Owned<vsnSubdomain> subdomains;
    subdomains.m_count = vsnDomain_getSubdomains(w->m_domains[z - 1], &subdomains.m_array);
    out.integer("G/NVP", zn.c_str(), subdomains.m_count);
    if (subdomains.m_count <= 0)
      continue;
    std::vector<int32_t> local, localSizes;
    for (int32_t p = 0; p < subdomains.m_count; ++p) {
      Owned<Region> volumes;
      volumes.m_count = vsnSubdomain_getRegions(subdomains.m_array[p], &volumes.m_array);
      int32_t size = 0;
      for (int32_t i = 0; i < volumes.m_count; ++i) {
        auto known = claims.m_localIndex.find(volumes.m_array[i]);
        if (known == claims.m_localIndex.end())
          continue;
        local.push_back(known->second);
        ++size;
      }
      localSizes.push_back(size);
    }
    out.ints("G/KVLVP", zn.c_str(), local);
    out.ints("G/IPVLVP", zn.c_str(), indexPointer(localSizes));
  }
  return 1;
}

// Boundary-condition patches; 0 when a surface is in two boundaries or in a boundary of another
// domain.
int writeBoundaryPatches(DefWriter *w, Writer &out, const Claims &claims) {
  std::unordered_map<const Region *, int32_t> patchOf;
  std::vector<int32_t> numbers, sizes;
  for (int32_t b = 0; b < w->m_noOfBoundaries; ++b) {
    vsnBoundary *boundary = w->m_boundaries[b];
    const vsnDomain *parent = vsnBoundary_getDomain(boundary);
    Owned<Region> surfaces;
    surfaces.m_count = vsnBoundary_getRegions(boundary, &surfaces.m_array);
    int32_t size = 0;
    for (int32_t i = 0; i < surfaces.m_count; ++i) {
      const Region *surface = surfaces.m_array[i];
      int32_t number = out.id(surface);
      auto claimed = patchOf.find(surface);
      if (claimed != patchOf.end()) {
        inconsistency(format("There is an inconsistency in the problem definition. The region \"%s\"\n"
                             "appears in boundary \"%s\" and in boundary \"%s\".\n",
                             Region_getUserName(surface), vsnBoundary_getName(w->m_boundaries[claimed->second]),
                             vsnBoundary_getName(boundary)));
        return 0;
      }
      patchOf.emplace(surface, b);
      auto known = claims.m_surfaceZone.find(surface);
      const vsnDomain *actual = known != claims.m_surfaceZone.end() ? w->m_domains[known->second - 1] : nullptr;
      if (actual != parent) {
        notInParent("boundary", vsnBoundary_getName(boundary), surface, actual, parent);
        return 0;
      }
      numbers.push_back(number);
      ++size;
    }
    sizes.push_back(size);
  }
  out.ints("G/KSFBCP", kEvery, numbers);
  out.ints("G/IPSFBCP", kEvery, indexPointer(sizes));
  return 1;
}

// Units: the geometry keeps the projection's unit when a one-zone file carries a projection; 0
// when the solution units cannot be read.
int writeUnits(DefWriter *w, Writer &out, std::string &units, Projection **projection) {
  char *solution = zyrZoneMap_getSolutionUnits(w->m_zoneMap);
  if (solution == nullptr) {
    inconsistency("Unable to read the \"Length Units\" from the \"SOLVER UNITS\" object.\n");
    return 0;
  }
  units = solution;
  zyrCString_free(solution);
  std::string geometry = units;
  double scale = 1.0;
  *projection = w->m_noOfDomains == 1 ? static_cast<Projection *>(DefWriter_getModelProjection(w->m_model)) : nullptr;
  if (*projection != nullptr) {
    const char *own = Projection_getUnits(*projection);
    const std::string projectionUnits = own != nullptr ? own : "";
    Projection_release(*projection);
    double factor = 0.0;
    if (!projectionUnits.empty() && Units_getConversionFactor(projectionUnits.c_str(), units.c_str(), &factor)) {
      geometry = projectionUnits;
      scale = factor;
    } else {
      *projection = nullptr;
    }
  }
  out.check(DefFile_writeIoString(out.m_file, "G/CGUNIT", kEvery, 0, geometry.c_str()));
  out.check(DefFile_writeFloat(out.m_file, "G/GEOSCL", kEvery, 0, float(scale)));
  return 1;
}

// Steps that may end the write early with 0 (after publishing why).
int writeProblem(DefWriter *w, Writer &out, std::vector<int32_t> &volumeZone, std::string &units,
                 Projection **projection) {
  writeRelease(out);
  writeRegionNumbering(w, out);
  if (DefWriter_writeNameMap(w) != 1)
    return 0;
  Claims claims;
  return writeZones(w, out, claims, volumeZone) && writeSubdomains(w, out, claims) &&
                 writeBoundaryPatches(w, out, claims) && writeUnits(w, out, units, projection)
             ? 1
             : 0;
}

} // namespace

int DefWriter_inWrite() { return s_inWrite; }

void DefWriter_groupSurfacesByVolume(int32_t noOfVolumes, int32_t noOfSurfaces, const int32_t *volumeOfSurface,
                                     int32_t *surfacesByVolume, int32_t *indexPointer) {
  // A counting sort: a stable pass over the surfaces keeps each volume's surfaces ascending,
  // exactly as a scan of all surfaces per volume would list them.
  for (int32_t v = 0; v <= noOfVolumes; ++v)
    indexPointer[v] = 0;
  for (int32_t s = 0; s < noOfSurfaces; ++s) {
    int32_t v = volumeOfSurface[s];
    if (v >= 1 && v <= noOfVolumes)
      ++indexPointer[v];
  }
  indexPointer[0] = 1;
  for (int32_t v = 1; v <= noOfVolumes; ++v)
    indexPointer[v] += indexPointer[v - 1];
  // indexPointer[v] is now one past volume v's group (1-based); fill from each group's start.
  std::vector<int32_t> next(static_cast<size_t>(noOfVolumes) + 1);
  for (int32_t v = 1; v <= noOfVolumes; ++v)
    next[static_cast<size_t>(v)] = indexPointer[v - 1];
  for (int32_t s = 0; s < noOfSurfaces; ++s) {
    int32_t v = volumeOfSurface[s];
    if (v >= 1 && v <= noOfVolumes)
      surfacesByVolume[next[static_cast<size_t>(v)]++ - 1] = s + 1;
  }
}

int DefWriter_writeData(DefWriter *w) {
  if (w == nullptr || w->m_file == nullptr)
    return 0;
  Writer out{w, w->m_file};
  std::vector<int32_t> volumeZone(static_cast<size_t>(w->m_noOfVolumes), 0);
  std::string units;
  Projection *projection = nullptr;
  int result = 1;
  s_inWrite = 1;
  try {
    if (!writeProblem(w, out, volumeZone, units, &projection)) {
      s_inWrite = 0;
      return 0;
    }
  } catch (const DefWriterAbandon &) {
    s_inWrite = 0;
    return 0;
  } catch (const WriteFailed &) {
    s_inWrite = 0;
    return 0;
  }
  s_inWrite = 0;

  // Zones. A zone that cannot be written has said why; the file goes on. An interrupt of the
  // program (zyrInterrupt.h) abandons the file between its steps; the caller says so.
  std::vector<Zone *> zones(static_cast<size_t>(w->m_noOfDomains) + 1, nullptr);
  for (int32_t z = 1; z <= w->m_noOfDomains && zyrInterrupt_signal() == 0; ++z) {
    Zone *zone = Zone_new(DefWriter_getModelMesh(w->m_model), w->m_domains[z - 1], w->m_labelling);
    zones[static_cast<size_t>(z)] = zone;
    zyrPause_point("export.zone");
    if (zone != nullptr && zyrInterrupt_signal() == 0)
      Zone_write(zone, w->m_file, units.c_str());
  }
  if (zyrInterrupt_signal() != 0) {
    for (Zone *zone : zones)
      Zone_delete(zone);
    return 0;
  }

  const int interfaces = DefWriter_writeZoneInterfaces(w, zones.data());
  if (interfaces != 1)
    result = 0;
  for (Zone *zone : zones)
    Zone_delete(zone);
  if (interfaces < 0)
    return 0;

  if (projection != nullptr)
    Projection_write(projection, w->m_file);
  DefWriter_saveRegionAtlas(w);
  return result;
}

int DefWriter_write(DefWriter *writer) {
  int result = DefWriter_writeData(writer);
  if (result != 1 || zyrInterrupt_signal() != 0)
    return 0;
  if (!writer->m_fromDefFile)
    result = DefWriter_writeSurfaceGroups(writer);
  // A value that did not reach the file fails the file, whichever step let it go on. What was
  // written, and the index that finds it, must be on disc before the caller swaps the file into
  // place.
  if (result == 1 && (DefFile_takeFailedWrites(writer->m_file) > 0 || !DefFile_finish(writer->m_file))) {
    DefFile_reportError(writer->m_file, __func__);
    return 0;
  }
  return result;
}
