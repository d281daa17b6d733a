// Construction of a definition-file writer: the zone map, the consistency of the zone map with
// the topology, and the numbering of everything that is written.
#include "DefWriter.h"

#include "DefFile.h"
#include "DefWriterInternal.h"
#include "Labelling.h"
#include "Region.h"
#include "Topology.h"
#include "vsnBoundary.h"
#include "vsnDomain.h"
#include "vsnInterface.h"
#include "vsnSubdomain.h"
#include "zyrCString.h"
#include "zyrError.h"
#include "zyrMemory.h"
#include "zyrObject.h"
#include "zyrZoneMap.h"

#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

const int32_t kVolumeMask = 8;
const int32_t kSurfaceMask = 4;

// Position of each region of a list, for lookups by identity; the lists hold distinct regions,
// so the first match of a linear search and the hashed position agree.
std::unordered_map<const Region *, int32_t> positions(int32_t n, Region *const *regions) {
  std::unordered_map<const Region *, int32_t> index;
  index.reserve(static_cast<size_t>(n));
  for (int32_t i = 0; i < n; ++i)
    index.emplace(regions[i], i);
  return index;
}

int32_t find(const std::unordered_map<const Region *, int32_t> &index, const Region *region) {
  auto it = index.find(region);
  return it == index.end() ? -1 : it->second;
}

template <class T> void freeArray(T **&array) {
  if (array != nullptr)
    zyrMemory_free(array, "DefWriter");
  array = nullptr;
}

// The offences of the consistency checks, gathered in one record.
struct Offences {
  zyrError *m_error = nullptr;
  void begin(const char *heading) {
    if (m_error == nullptr)
      m_error = zyrError_new(ZYR_U_INVALID_VSN, "DefWriter_new", __FILE__, __LINE__);
    else
      zyrError_addMessage(m_error, "\n");
    zyrError_addMessage(m_error, "%s", heading);
  }
};

// The checks between the zone map and the topology; 1 when consistent, else 0 with the one
// error published. The region lists are filtered to what the zone map uses.
int checkConsistency(DefWriter *w) {
  const int32_t nvl = w->m_noOfVolumes, nsf = w->m_noOfSurfaces;
  auto volumeIndex = positions(nvl, w->m_volumes);
  auto surfaceIndex = positions(nsf, w->m_surfaces);
  std::vector<int32_t> volumeUsed(static_cast<size_t>(nvl), 0), surfaceUse(static_cast<size_t>(nsf), 0);
  std::vector<int32_t> domainOfSurface(static_cast<size_t>(nsf), -1), boundaryOfSurface(static_cast<size_t>(nsf), -1);

  for (int32_t d = 0; d < w->m_noOfDomains; ++d) {
    Region **regions = nullptr;
    int32_t n = vsnDomain_getRegions(w->m_domains[d], &regions);
    for (int32_t i = 0; i < n; ++i) {
      int32_t k = find(volumeIndex, regions[i]);
      if (k >= 0)
        volumeUsed[static_cast<size_t>(k)] = 1;
    }
    freeArray(regions);
    n = vsnDomain_getBoundaryRegions(w->m_domains[d], &regions);
    for (int32_t i = 0; i < n; ++i) {
      int32_t k = find(surfaceIndex, regions[i]);
      if (k >= 0) {
        surfaceUse[static_cast<size_t>(k)] = 1;
        domainOfSurface[static_cast<size_t>(k)] = d;
      }
    }
    freeArray(regions);
  }

  Offences offences;
  bool first = true;
  for (int32_t s = 0; s < w->m_noOfSubdomains; ++s) {
    Region **regions = nullptr;
    int32_t n = vsnSubdomain_getRegions(w->m_subdomains[s], &regions);
    for (int32_t i = 0; i < n; ++i) {
      int32_t k = find(volumeIndex, regions[i]);
      if (k < 0 || volumeUsed[static_cast<size_t>(k)] == 1)
        continue;
      if (first)
        offences.begin("Subdomains contain regions that do not appear in any domain.\n\n");
      first = false;
      zyrError_addMessage(offences.m_error, "Subdomain \"%s\" contains region \"%s\".\n",
                          vsnSubdomain_getName(w->m_subdomains[s]), Region_getUserName(regions[i]));
    }
    freeArray(regions);
  }

  first = true;
  for (int32_t b = 0; b < w->m_noOfBoundaries; ++b) {
    Region **regions = nullptr;
    int32_t n = vsnBoundary_getRegions(w->m_boundaries[b], &regions);
    for (int32_t i = 0; i < n; ++i) {
      int32_t k = find(surfaceIndex, regions[i]);
      if (k < 0)
        continue;
      boundaryOfSurface[static_cast<size_t>(k)] = b;
      if (surfaceUse[static_cast<size_t>(k)] == 0) {
        if (first)
          offences.begin("Boundaries contain regions that do not appear in any domain boundary.\n\n");
        first = false;
        zyrError_addMessage(offences.m_error, "Boundary \"%s\" contains region \"%s\".\n",
                            vsnBoundary_getName(w->m_boundaries[b]), Region_getUserName(regions[i]));
      } else {
        surfaceUse[static_cast<size_t>(k)] += 10;
      }
    }
    freeArray(regions);
  }

  first = true;
  for (int32_t k = 0; k < nsf; ++k) {
    if (surfaceUse[static_cast<size_t>(k)] != 1)
      continue;
    // An internal interface of the domain: a connected neighbour of the same domain that lies in
    // no boundary either.
    const Region *neighbour = Region_getNeighbour(w->m_surfaces[k]);
    int32_t j = neighbour != nullptr ? find(surfaceIndex, neighbour) : -1;
    if (j >= 0 && domainOfSurface[static_cast<size_t>(j)] == domainOfSurface[static_cast<size_t>(k)] && boundaryOfSurface[static_cast<size_t>(j)] < 0)
      continue;
    if (first)
      offences.begin("There are 2D regions that bound domains and have no boundary\n"
                     "conditions set on them. There are no boundary conditions on:\n\n");
    first = false;
    zyrError_addMessage(offences.m_error, "Region \"%s\" which bounds domain \"%s\".\n",
                        Region_getUserName(w->m_surfaces[k]),
                        vsnDomain_getName(w->m_domains[domainOfSurface[static_cast<size_t>(k)]]));
  }

  first = true;
  for (int32_t k = 0; k < nsf; ++k) {
    if (surfaceUse[static_cast<size_t>(k)] <= 11)
      continue;
    if (first)
      offences.begin("There are 2D regions that are used in more than one boundary condition.\n");
    first = false;
    zyrError_addMessage(offences.m_error, "\nRegion \"%s\" appears in boundaries:\n",
                        Region_getUserName(w->m_surfaces[k]));
    for (int32_t b = 0; b < w->m_noOfBoundaries; ++b)
      if (vsnBoundary_isRegionInBoundary(w->m_boundaries[b], w->m_surfaces[k]))
        zyrError_addMessage(offences.m_error, "\"%s\".\n", vsnBoundary_getName(w->m_boundaries[b]));
  }

  if (offences.m_error != nullptr) {
    zyrError_publish(offences.m_error);
    return 0;
  }

  int32_t kept = 0;
  for (int32_t k = 0; k < nvl; ++k)
    if (volumeUsed[static_cast<size_t>(k)] == 1)
      w->m_volumes[kept++] = w->m_volumes[k];
  w->m_noOfVolumes = kept;
  kept = 0;
  for (int32_t k = 0; k < nsf; ++k)
    if (surfaceUse[static_cast<size_t>(k)] != 0)
      w->m_surfaces[kept++] = w->m_surfaces[k];
  w->m_noOfSurfaces = kept;
  return 1;
}

void label(Labelling *labelling, int32_t n, void *const *objects) {
  for (int32_t i = 0; i < n; ++i)
    Labelling_setLabel(labelling, objects[i], i + 1);
}

} // namespace

// ---------------------------------------------------------------------------------------------

namespace {
DefWriterModelHooks s_hooks = {nullptr, nullptr, nullptr};
}

void DefWriter_setModelHooks(const DefWriterModelHooks *hooks) {
  s_hooks = hooks != nullptr ? *hooks : DefWriterModelHooks{nullptr, nullptr, nullptr};
}

Topology *DefWriter_getModelTopology(const Model *model) {
  return s_hooks.m_getTopology != nullptr && model != nullptr ? s_hooks.m_getTopology(model) : nullptr;
}

Mesh *DefWriter_getModelMesh(const Model *model) {
  return s_hooks.m_getMesh != nullptr && model != nullptr ? s_hooks.m_getMesh(model) : nullptr;
}

void *DefWriter_getModelProjection(const Model *model) {
  return s_hooks.m_getProjection != nullptr && model != nullptr ? s_hooks.m_getProjection(model) : nullptr;
}

void DefWriter_getMatching(uint32_t flags, int32_t interfaceType, int *useExisting, int *matchNew) {
  *useExisting = 1;
  *matchNew = 1;
  switch (interfaceType) {
  case 0:
    *matchNew = (flags & DEFWRITER_NO_NEW_MATCHED_MATCHING) ? 0 : 1;
    break;
  case 1:
    *matchNew = (flags & DEFWRITER_NO_NEW_AUTOMATIC_MATCHING) ? 0 : 1;
    break;
  case 2:
    *useExisting = (flags & DEFWRITER_NO_UNMATCHED_MATCHING) ? 0 : 1;
    *matchNew = (flags & DEFWRITER_NO_NEW_UNMATCHED_MATCHING) ? 0 : 1;
    break;
  default:
    break;
  }
}

int DefWriter_checkTopology(DefWriter *writer) {
  if (writer->m_noOfVolumes < 1) {
    ZYR_ERROR(ZYR_U_INVALID_TOPOLOGY, "The current model does not contain any 3D regions.\n");
    return 0;
  }
  if (writer->m_noOfSurfaces < 1) {
    ZYR_ERROR(ZYR_U_INVALID_TOPOLOGY, "The current model does not contain any 2D regions.\n");
    return 0;
  }
  return 1;
}

int DefWriter_checkVSN(DefWriter *writer) {
  if (writer->m_noOfDomains < 1) {
    ZYR_ERROR(ZYR_U_INVALID_VSN, "The VSN does not define any domains.\n");
    return 0;
  }
  if (writer->m_noOfBoundaries < 1) {
    ZYR_ERROR(ZYR_U_INVALID_VSN, "The VSN does not define any boundaries.\n");
    return 0;
  }
  return 1;
}

DefWriter *DefWriter_new(Model *model, const char *fileName, uint32_t flags, int32_t fromDefFile,
                         const char *units, double tolerance) {
  if (model == nullptr || fileName == nullptr)
    return nullptr;
  Topology *topology = DefWriter_getModelTopology(model);
  if (topology == nullptr)
    return nullptr;

  zyrZoneMap *map = nullptr;
  if (fromDefFile) {
    map = zyrZoneMap_newFromDefFile(fileName);
    if (map == nullptr) {
      zyrError *last = zyrError_getLast();
      if (last != nullptr && zyrError_getCode(last) == ZYR_I_NO_UNIT_DEFINITIONS)
        return nullptr;
      ZYR_ERROR(ZYR_U_INVALID_VSN,
                "There was a problem reading the generic physics VSN from\n"
                "the file \"%s\". This could be because:\n\n"
                "  o The file does not exist or is not readable.\n"
                "  o It does not contain the required data set,\n"
                "    [\"G/COMMANDS\", \"EVERY\", 0].\n"
                "  o The data set contains invalid VSN.\n\n",
                fileName);
      return nullptr;
    }
  } else {
    map = zyrZoneMap_newFromTopology(topology, units);
    if (map == nullptr) {
      ZYR_ERROR(ZYR_U_UNABLE_TO_EXPORT_MESH,
                "There was a problem creating the zone map for a mesh\nonly definition file.\n");
      return nullptr;
    }
  }
  if (zyrZoneMap_check(map, topology) != 1 || zyrZoneMap_resolve(map, topology) != 1) {
    zyrZoneMap_delete(map);
    return nullptr;
  }

  auto *w = static_cast<DefWriter *>(zyrMemory_allocateAndSet(sizeof(DefWriter), 0, "DefWriter"));
  w->m_flags = flags;
  w->m_tolerance = tolerance;
  w->m_fromDefFile = fromDefFile;
  w->m_zoneMap = map;
  w->m_noOfDomains = zyrZoneMap_getDomains(map, &w->m_domains);
  w->m_noOfSubdomains = zyrZoneMap_getSubdomains(map, &w->m_subdomains);
  w->m_noOfBoundaries = zyrZoneMap_getBoundaries(map, &w->m_boundaries);
  w->m_noOfInterfaces = zyrZoneMap_getInterfaces(map, &w->m_interfaces);
  // Every later step writes into the file: one that cannot be opened ends construction
  // (DefFile_new has published why).
  w->m_file = DefFile_new(fileName);
  if (w->m_file == nullptr) {
    DefWriter_delete(w);
    return nullptr;
  }
  w->m_model = model;
  w->m_topology = topology;
  w->m_noOfVolumes = Topology_getRegions(topology, kVolumeMask, &w->m_volumes);
  w->m_noOfSurfaces = Topology_getRegions(topology, kSurfaceMask, &w->m_surfaces);

  if (w->m_noOfVolumes > 0 && w->m_noOfSurfaces > 0 && !checkConsistency(w)) {
    DefWriter_delete(w);
    return nullptr;
  }
  if (!DefWriter_checkTopology(w) || !DefWriter_checkVSN(w)) {
    DefWriter_delete(w);
    return nullptr;
  }
  zyrSortRegionsAlphabetically(w->m_noOfVolumes, w->m_volumes);
  zyrSortRegionsAlphabetically(w->m_noOfSurfaces, w->m_surfaces);

  w->m_labelling = Labelling_new();
  label(w->m_labelling, w->m_noOfVolumes, reinterpret_cast<void *const *>(w->m_volumes));
  label(w->m_labelling, w->m_noOfSurfaces, reinterpret_cast<void *const *>(w->m_surfaces));
  label(w->m_labelling, w->m_noOfDomains, reinterpret_cast<void *const *>(w->m_domains));
  label(w->m_labelling, w->m_noOfSubdomains, reinterpret_cast<void *const *>(w->m_subdomains));
  label(w->m_labelling, w->m_noOfBoundaries, reinterpret_cast<void *const *>(w->m_boundaries));
  label(w->m_labelling, w->m_noOfInterfaces, reinterpret_cast<void *const *>(w->m_interfaces));

  // A rewrite keeps nothing of an earlier, perhaps larger, problem but the host's own data.
  if (!DefWriter_eraseOwnedDatasets(w->m_file)) {
    DefFile_reportError(w->m_file, __func__);
    DefWriter_delete(w);
    return nullptr;
  }
  const char *blank = "";
  if (!fromDefFile && !DefFile_writeIoStringArray(w->m_file, "G/COMMANDS", "EVERY", 0, &blank, 1)) {
    DefFile_reportError(w->m_file, __func__);
    DefWriter_delete(w);
    return nullptr;
  }
  return w;
}

void DefWriter_delete(DefWriter *writer) {
  if (writer == nullptr)
    return;
  if (writer->m_zoneMap != nullptr)
    zyrZoneMap_delete(writer->m_zoneMap);
  freeArray(writer->m_domains);
  freeArray(writer->m_subdomains);
  freeArray(writer->m_boundaries);
  freeArray(writer->m_interfaces);
  if (writer->m_file != nullptr)
    DefFile_delete(writer->m_file);
  freeArray(writer->m_volumes);
  freeArray(writer->m_surfaces);
  if (writer->m_labelling != nullptr)
    Labelling_delete(writer->m_labelling);
  zyrMemory_free(writer, "DefWriter");
}

int32_t DefWriter_getAtlasIndex(const DefWriter *writer, const void *object) {
  int32_t id = -1;
  if (writer == nullptr || writer->m_labelling == nullptr || !Labelling_getLabel(writer->m_labelling, object, &id))
    return -1;
  return id;
}

int32_t DefWriter_getID(const DefWriter *writer, const void *object) {
  int32_t id = DefWriter_getAtlasIndex(writer, object);
  if (id >= 0 || !DefWriter_inWrite())
    return id;
  // Only regions are ever looked up without being numbered.
  ZYR_ERROR(ZYR_I_INTERNAL_ERROR, "Unable to determine new ID for region \"%s\".\n",
            object != nullptr ? Region_getUserName(static_cast<const Region *>(object)) : "");
  throw DefWriterAbandon();
}

void DefWriter_print(const DefWriter *writer, FILE *stream) {
  if (writer == nullptr || stream == nullptr)
    return;
  fprintf(stream, "DefWriter:\n");
  fprintf(stream, "  m_noOfDomains    = %d\n", writer->m_noOfDomains);
  fprintf(stream, "  m_noOfSubdomains = %d\n", writer->m_noOfSubdomains);
  fprintf(stream, "  m_noOfBoundaries = %d\n", writer->m_noOfBoundaries);
  fprintf(stream, "  m_noOfInterfaces = %d\n", writer->m_noOfInterfaces);
  fprintf(stream, "  m_noOfVolumes    = %d\n", writer->m_noOfVolumes);
  for (int32_t i = 0; i < writer->m_noOfVolumes; ++i)
    fprintf(stream, "    %d \"%s\"\n", i + 1, Region_getUserName(writer->m_volumes[i]));
  fprintf(stream, "  m_noOfSurfaces   = %d\n", writer->m_noOfSurfaces);
  for (int32_t i = 0; i < writer->m_noOfSurfaces; ++i)
    fprintf(stream, "    %d \"%s\"\n", i + 1, Region_getUserName(writer->m_surfaces[i]));
  fprintf(stream, "  m_fromDefFile    = %d\n", writer->m_fromDefFile);
  char *file = writer->m_file != nullptr ? DefFile_shownName(writer->m_file) : nullptr;
  fprintf(stream, "  m_file           = %s\n", file != nullptr ? file : "NONE");
  zyrCString_free(file);
  fprintf(stream, "  m_flags          = %u\n", writer->m_flags);
  fprintf(stream, "  m_tolerance      = %g\n", writer->m_tolerance);
}

// ---------------------------------------------------------------------------------------------

namespace {

bool startsWith(const char *text, const char *prefix) { return strncmp(text, prefix, strlen(prefix)) == 0; }

// Problem-wide data sets at "EVERY" that a writer makes.
const char *const kOwnedAtEvery[] = {
    "G/CRELNO", "G/NVL",    "G/NSF",    "G/KVLSF",  "G/KSFVL",  "G/IPSFVL", "G/KIDSF",   "G/KPRSF",
    "G/KPRVL",  "G/NFS",    "G/KSFSF",  "G/NZN",    "G/NZIF",   "G/NBCP",   "G/NVP",     "G/NAMEMAP",
    "G/TOPCAT", "G/KZNVL",  "G/KVLZN",  "G/IPVLZN", "G/KVLVP",  "G/IPVLVP", "G/KSFBCP",  "G/IPSFBCP",
    "G/CGUNIT", "G/GEOSCL", "G/KZNZIF", "G/IPZNZIF", "G/CNAMDB", "G/KZFCZFC", "G/NFCZIF", "POST/SURFACE_GROUPS"};

bool owned(const char *what, const char *where) {
  if (startsWith(where, "ZN") || startsWith(where, "ZIF"))
    return true;
  if (strcmp(where, "EVERY") != 0)
    return false;
  if (startsWith(what, "M/MESHTOCAD/") || startsWith(what, "G/ATLAS/"))
    return true;
  for (const char *name : kOwnedAtEvery)
    if (strcmp(what, name) == 0)
      return true;
  return false;
}

} // namespace

int DefWriter_eraseOwnedDatasets(DefFile *file) {
  int32_t count = 0;
  char **whats = nullptr, **wheres = nullptr;
  int32_t *whens = nullptr;
  DefFile_match(file, "*", "*", -1, 0, &count, &whats, &wheres, &whens);
  int status = 1;
  for (int32_t i = 0; i < count; ++i)
    if (status && owned(whats[i], wheres[i]) && !DefFile_erase(file, whats[i], wheres[i], whens[i]))
      status = 0;
  if (whats != nullptr)
    zyrCStringArray_free(whats, uint64_t(count));
  if (wheres != nullptr)
    zyrCStringArray_free(wheres, uint64_t(count));
  if (whens != nullptr)
    zyrMemory_free(whens, "DefFile");
  return status;
}
