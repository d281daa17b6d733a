// Direct import of the mesh of a definition or results file: the "G/..." data sets that the
// definition-file writer produces are read back in this process, without a reader executable.
//
// Everything read from the file is checked before it is used as a count or an index: a file that
// does not hold together fails with the data-file or internal error, never with a wild access.
#include "ImportedMesh.h"

#include "Boundary.h"
#include "Connection.h"
#include "DefFile.h"
#include "Dictionary.h"
#include "ElementMesh.h"
#include "ElementSet.h"
#include "ElementTopology.h"
#include "FaceMesh.h"
#include "FaceSet.h"
#include "GmoContents.h"
#include "InterfaceMap.h"
#include "Mesh.h"
#include "NameManager.h"
#include "Projection.h"
#include "Region.h"
#include "Shell.h"
#include "Topology.h"
#include "Units.h"
#include "Vertices.h"
#include "zyrArrayUtilities.h"
#include "zyrCString.h"
#include "zyrError.h"
#include "zyrErrorCode.h"
#include "zyrLibrary.h"
#include "zyrMemory.h"
#include "zyrTrace.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace {

using Ints = std::vector<int32_t>;

// Counts beyond this are not believed: a file cannot hold more of anything.
const int64_t kCountLimit = int64_t(1) << 28;

// Vertices per element of the file's type codes 1 to 7.
const int32_t kVerticesOfCode[8] = {0, 2, 3, 4, 4, 6, 8, 5};

std::string zoneLocation(int32_t z) { return "ZN" + std::to_string(z); }

// A definition file being read, with the single-zone fallback to "EVERY".
struct Source {
  DefFile *m_file;
  int32_t m_noOfZones = 0;

  bool ints(const char *what, const std::string &where, Ints &values, int32_t when = 0) {
    int32_t *array = nullptr, n = 0;
    if (!DefFile_readInts(m_file, what, where.c_str(), when, &array, &n))
      return false;
    values.assign(array, array + std::max(n, 0));
    zyrMemory_free(array, __func__);
    return true;
  }
  bool integer(const char *what, const std::string &where, int32_t &value) {
    return DefFile_readInt(m_file, what, where.c_str(), 0, &value) == 1;
  }
  // Io strings; with `plainToo`, plain strings first (the writer stores some lists, the assembly
  // names among them, as plain strings).
  bool strings(const char *what, const std::string &where, std::vector<std::string> &values, bool plainToo = false) {
    char **array = nullptr;
    int32_t n = 0;
    if (!(plainToo && DefFile_readStrings(m_file, what, where.c_str(), 0, &array, &n)) &&
        !DefFile_readIoStrings(m_file, what, where.c_str(), 0, &array, &n))
      return false;
    values.clear();
    for (int32_t i = 0; i < n; ++i)
      values.emplace_back(array[i] != nullptr ? array[i] : "");
    zyrCStringArray_free(array, uint64_t(std::max(n, 0)));
    return true;
  }
  // At the zone, else at "EVERY" when the file has one zone.
  bool zoneInts(const char *what, int32_t z, Ints &values) {
    return ints(what, zoneLocation(z), values) || (m_noOfZones == 1 && ints(what, "EVERY", values));
  }
  bool zoneInteger(const char *what, int32_t z, int32_t &value) {
    return integer(what, zoneLocation(z), value) || (m_noOfZones == 1 && integer(what, "EVERY", value));
  }
  bool zoneStrings(const char *what, int32_t z, std::vector<std::string> &values) {
    return strings(what, zoneLocation(z), values) || (m_noOfZones == 1 && strings(what, "EVERY", values));
  }
  // A required data set is missing or unreadable: the file's error, as an internal one. The
  // file layer's description stays; the code becomes the import's.
  int missing(const char *function, const char *what, const std::string &where) {
    if (m_file->m_errorCode != 0)
      m_file->m_errorCode = ZYR_I_INTERNAL_ERROR;
    if (DefFile_reportError(m_file, function) == nullptr)
      ZYR_ERROR_FOR(ZYR_I_INTERNAL_ERROR, function, "Unable to read [\"%s\", \"%s\", 0].\n", what, where.c_str());
    return 0;
  }
};

int inconsistent(const char *function, const char *what, const std::string &where) {
  ZYR_ERROR_FOR(ZYR_I_INTERNAL_ERROR, function,
                "The data set [\"%s\", \"%s\", 0] is not consistent with the rest of the file.\n", what, where.c_str());
  return 0;
}

bool validCount(int64_t n) { return n >= 0 && n <= kCountLimit; }

// A 1-based index pointer of groups + 1 entries into a list of length n.
bool validPointer(const Ints &ip, size_t groups, size_t n) {
  if (ip.size() != groups + 1 || ip[0] != 1)
    return false;
  for (size_t k = 1; k < ip.size(); ++k)
    if (ip[k] < ip[k - 1])
      return false;
  return size_t(ip.back() - 1) <= n;
}

// The file's own release when known; whether the direct way reads it.
bool versionAccepted(Source &src, bool debug, int32_t &major, int32_t &minor, int32_t &point, bool &known) {
  known = DefFile_getVersion(src.m_file, &major, &minor, &point) == 1;
  if (debug) {
    zyrTrace_printf("Definition file version = ");
    if (known)
      zyrTrace_printf("%d.%d.%d\n", major, minor, point);
    else
      zyrTrace_printf("unknown\n");
  }
  if (!known)
    return true;
  // Releases before 5.4 did not write what this reader needs.
  if (major < 5 || (major == 5 && minor < 4))
    return false;
  // 5.4.0 wrote the meshes of connected surfaces in a way this reader cannot pair.
  if (major == 5 && minor == 4 && point == 0) {
    Ints partners;
    if (src.ints("G/KSFSF", "EVERY", partners))
      for (size_t s = 0; s < partners.size(); ++s)
        if (partners[s] != 0 && partners[s] != int32_t(s) + 1)
          return false;
  }
  return true;
}

// What the topology load leaves for the mesh load.
struct Layout {
  int32_t m_nzn = 0, m_nsf = 0, m_nvl = 0;
  Ints m_volumeOrder;               // volume numbers in slot order (zone order)
  Ints m_zoneVolumes;               // per zone (from 1), its number of volumes
  std::vector<Ints> m_zoneFaceSets; // per zone, the surface number of each face set
  Ints m_surfaceSlot;               // surface number -> region slot, -1 when absent
  Ints m_volumeSlot;                // volume number -> region slot, -1 when absent
  bool m_namesBySurface = false;
  bool m_newerThan55 = false;
};

double (*g_getRelativeTolerance)(const Model *) = nullptr;

void *asValue(int32_t number) { return reinterpret_cast<void *>(static_cast<intptr_t>(number)); }

// Takes a name for a region: the entry reserved for exactly this region gives way, then the name
// is made unique and taken.
char *takeName(ImportedMesh *im, const std::string &base, int32_t value) {
  char *stored = nullptr;
  void *held = nullptr;
  if (Dictionary_findKeyAndValue(im->m_names, base.c_str(), &stored, &held) && held == asValue(value) && value != 0)
    Dictionary_remove(im->m_names, base.c_str());
  char *name = zyrCString_clone(base.c_str());
  Dictionary_makeKeyUnique(im->m_names, &name, 0, 2);
  Dictionary_add(im->m_names, name, nullptr);
  return name;
}

} // namespace

// The file being read, and what its topology load leaves for its mesh load.
struct DirectImport {
  Source m_source;
  Layout m_layout;
};

void ImportedMesh_setToleranceHook(double (*getRelativeTolerance)(const Model *model)) {
  g_getRelativeTolerance = getRelativeTolerance;
}

// ---- Names ----

namespace {

void allocateEntries(ImportedMesh *im, int32_t n) {
  const int32_t slots = n > 0 ? n : 1;
  im->m_noOfCompositeNames = n;
  im->m_compositeNames = zyrMemory_allocateZeroedArray<char *>(slots, __func__);
  im->m_noOfComponents = zyrMemory_allocateZeroedArray<int32_t>(slots, __func__);
  im->m_components = zyrMemory_allocateZeroedArray<char **>(slots, __func__);
  im->m_assembly2DRegions = zyrMemory_allocateZeroedArray<int32_t *>(slots, __func__);
  im->m_assembly3DRegions = zyrMemory_allocateZeroedArray<int32_t *>(slots, __func__);
  im->m_noOfAssembly2DRegions = zyrMemory_allocateZeroedArray<int32_t>(slots, __func__);
  im->m_noOfAssembly3DRegions = zyrMemory_allocateZeroedArray<int32_t>(slots, __func__);
}

int32_t *copyInts(const int32_t *first, int64_t n) {
  int32_t *array = zyrMemory_allocateArray<int32_t>(n > 0 ? n : 1, __func__);
  std::copy(first, first + n, array);
  return array;
}

} // namespace

int ImportedMesh_reserveAssemblyNames(ImportedMesh *im, DefFile *file) {
  Source src{file, 0};
  std::vector<std::string> names;
  if (!src.strings("G/ATLAS/CLBAS", "EVERY", names, true))
    return 1;
  Ints counts;
  if (!src.ints("G/ATLAS/KRGAS", "EVERY", counts))
    return src.missing(__func__, "G/ATLAS/KRGAS", "EVERY");
  // Per assembly c1 c2 c3 c4, then c1 volumes, c2 surfaces and c3 + c4 numbers not used here.
  std::vector<std::pair<size_t, std::pair<int32_t, int32_t>>> parts;
  size_t at = 0;
  for (size_t a = 0; a < names.size(); ++a) {
    if (at + 4 > counts.size())
      return inconsistent(__func__, "G/ATLAS/KRGAS", "EVERY");
    const int64_t c[4] = {counts[at], counts[at + 1], counts[at + 2], counts[at + 3]};
    if (!validCount(c[0]) || !validCount(c[1]) || !validCount(c[2]) || !validCount(c[3]) ||
        at + 4 + uint64_t(c[0] + c[1] + c[2] + c[3]) > counts.size())
      return inconsistent(__func__, "G/ATLAS/KRGAS", "EVERY");
    parts.push_back({at + 4, {int32_t(c[0]), int32_t(c[1])}});
    at += size_t(4 + c[0] + c[1] + c[2] + c[3]);
  }
  allocateEntries(im, int32_t(names.size()));
  NameManager *nm = Topology_getNameManager(im->m_topology);
  for (size_t a = 0; a < names.size(); ++a) {
    im->m_compositeNames[a] = zyrCString_clone(names[a].c_str());
    Dictionary_add(im->m_names, names[a].c_str(), nullptr);
    if (nm != nullptr)
      NameManager_reserveName(nm, names[a].c_str());
    const size_t first = parts[a].first;
    const int32_t nv = parts[a].second.first, ns = parts[a].second.second;
    im->m_noOfAssembly3DRegions[a] = nv;
    im->m_assembly3DRegions[a] = copyInts(counts.data() + first, nv);
    im->m_noOfAssembly2DRegions[a] = ns;
    im->m_assembly2DRegions[a] = copyInts(counts.data() + first + nv, ns);
  }
  return 1;
}

int ImportedMesh_reservePhysicsNames(ImportedMesh *im, DefFile *file) {
  Source src{file, 0};
  std::vector<std::string> topcat;
  if (!src.strings("G/TOPCAT", "EVERY", topcat))
    return src.missing(__func__, "G/TOPCAT", "EVERY");
  struct Entry {
    std::string m_name;
    int m_category; // 0 ZN, 1 VP, 2 BCP
    int32_t m_number;
  };
  std::vector<Entry> entries;
  bool present[3] = {false, false, false};
  for (size_t i = 0; i + 3 < topcat.size(); i += 4) {
    const std::string &category = topcat[i + 3], &location = topcat[i + 1];
    int kind = category.compare(0, 2, "ZN") == 0    ? 0
               : category.compare(0, 2, "VP") == 0  ? 1
               : category.compare(0, 3, "BCP") == 0 ? 2
                                                    : -1;
    if (kind < 0)
      continue;
    const size_t prefix = kind == 2 ? 3 : 2;
    int32_t number = 0;
    if (location.size() <= prefix || sscanf(location.c_str() + prefix, "%d", &number) != 1)
      continue;
    entries.push_back({topcat[i], kind, number});
    present[kind] = true;
  }
  static const char *const kLists[3][2] = {{"G/KVLZN", "G/IPVLZN"}, {"G/KVLVP", "G/IPVLVP"}, {"G/KSFBCP", "G/IPSFBCP"}};
  Ints lists[3], pointers[3];
  for (int k = 0; k < 3; ++k)
    if (present[k] && (!src.ints(kLists[k][0], "EVERY", lists[k]) || !src.ints(kLists[k][1], "EVERY", pointers[k])))
      return src.missing(__func__, kLists[k][0], "EVERY");
  allocateEntries(im, int32_t(entries.size()));
  int32_t kept = 0;
  for (const Entry &e : entries) {
    const Ints &ip = pointers[e.m_category], &list = lists[e.m_category];
    // A number outside the lists names nothing: the entry is dropped.
    if (e.m_number < 1 || size_t(e.m_number) >= ip.size() || ip[size_t(e.m_number) - 1] < 1 ||
        ip[size_t(e.m_number)] < ip[size_t(e.m_number) - 1] || size_t(ip[size_t(e.m_number)] - 1) > list.size())
      continue;
    const int32_t first = ip[size_t(e.m_number) - 1] - 1, n = ip[size_t(e.m_number)] - 1 - first;
    Ints regions(list.begin() + first, list.begin() + first + n);
    // Volumes are kept negated; the one number without a negative names no volume anyway.
    if (e.m_category != 2)
      for (int32_t &r : regions)
        r = r != INT32_MIN ? -r : 0;
    im->m_compositeNames[kept] = zyrCString_clone(e.m_name.c_str());
    im->m_noOfComponents[kept] = n;
    if (e.m_category == 2) {
      im->m_assembly2DRegions[kept] = copyInts(regions.data(), n);
      im->m_noOfAssembly2DRegions[kept] = n;
    } else {
      im->m_assembly3DRegions[kept] = copyInts(regions.data(), n);
      im->m_noOfAssembly3DRegions[kept] = n;
    }
    Dictionary_add(im->m_names, e.m_name.c_str(), n == 1 ? asValue(regions[0]) : nullptr);
    ++kept;
  }
  im->m_noOfCompositeNames = kept;
  return 1;
}

int ImportedMesh_reserveNames(ImportedMesh *im, DefFile *file) {
  return im->m_haveRegionAtlas == 1 ? ImportedMesh_reserveAssemblyNames(im, file)
                                    : ImportedMesh_reservePhysicsNames(im, file);
}

namespace {

Region *regionOf(const ImportedMesh *im, const int32_t *map, int32_t size, int32_t number) {
  if (number < 1 || number > size || map[number] < 0)
    return nullptr;
  return im->m_regions[map[number]];
}

} // namespace

int ImportedMesh_resolveAssemblyNames(ImportedMesh *im, int32_t noOfSurfaces, const int32_t *surfaceMap,
                                      int32_t noOfVolumes, const int32_t *volumeMap) {
  if (im->m_noOfCompositeNames <= 0)
    return 1;
  im->m_assemblyRegions = zyrMemory_allocateZeroedArray<Region **>(im->m_noOfCompositeNames, __func__);
  im->m_recoveredAssemblies = zyrMemory_allocateZeroedArray<Assembly *>(im->m_noOfCompositeNames, __func__);
  for (int32_t i = 0; i < im->m_noOfCompositeNames; ++i) {
    std::vector<Region *> regions;
    for (int32_t j = 0; j < im->m_noOfAssembly2DRegions[i]; ++j)
      if (Region *r = regionOf(im, surfaceMap, noOfSurfaces, im->m_assembly2DRegions[i][j]))
        regions.push_back(r);
    for (int32_t j = 0; j < im->m_noOfAssembly3DRegions[i]; ++j)
      if (Region *r = regionOf(im, volumeMap, noOfVolumes, im->m_assembly3DRegions[i][j]))
        regions.push_back(r);
    // Each region once, in the file's order, which a composite made of the entry keeps.
    std::unordered_set<Region *> seen;
    regions.erase(std::remove_if(regions.begin(), regions.end(), [&seen](Region *r) { return !seen.insert(r).second; }),
                  regions.end());
    // The completion compares these with the assemblies' own regions: the counts follow the list.
    int32_t volumes = 0;
    for (Region *r : regions)
      volumes += Region_getDimensionality(r) == 3;
    im->m_noOfAssembly3DRegions[i] = volumes;
    im->m_noOfAssembly2DRegions[i] = int32_t(regions.size()) - volumes;
    im->m_assemblyRegions[i] =
        zyrMemory_allocateZeroedArray<Region *>(std::max<int64_t>(int64_t(regions.size()), 1), __func__);
    std::copy(regions.begin(), regions.end(), im->m_assemblyRegions[i]);
  }
  return 1;
}

int ImportedMesh_createCompositeLocations(ImportedMesh *im, int32_t noOfSurfaces, const int32_t *surfaceMap,
                                          int32_t noOfVolumes, const int32_t *volumeMap) {
  for (int32_t i = 0; i < im->m_noOfCompositeNames; ++i) {
    std::vector<const char *> names;
    for (int32_t j = 0; j < im->m_noOfAssembly2DRegions[i]; ++j)
      if (Region *r = regionOf(im, surfaceMap, noOfSurfaces, im->m_assembly2DRegions[i][j]))
        names.push_back(Region_getBaseName(r));
    for (int32_t j = 0; j < im->m_noOfAssembly3DRegions[i]; ++j)
      if (Region *r = regionOf(im, volumeMap, noOfVolumes, -im->m_assembly3DRegions[i][j]))
        names.push_back(Region_getBaseName(r));
    im->m_noOfComponents[i] = int32_t(names.size());
    im->m_components[i] = zyrMemory_allocateZeroedArray<char *>(std::max<int64_t>(int64_t(names.size()), 1), __func__);
    for (size_t j = 0; j < names.size(); ++j)
      im->m_components[i][j] = zyrCString_clone(names[j]);
  }
  return 1;
}

int ImportedMesh_resolveNames(ImportedMesh *im, int32_t noOfSurfaces, const int32_t *surfaceMap, int32_t noOfVolumes,
                              const int32_t *volumeMap) {
  return im->m_haveRegionAtlas == 1
             ? ImportedMesh_resolveAssemblyNames(im, noOfSurfaces, surfaceMap, noOfVolumes, volumeMap)
             : ImportedMesh_createCompositeLocations(im, noOfSurfaces, surfaceMap, noOfVolumes, volumeMap);
}

// ---- Topology ----

namespace {

// The counts of the file, the names it reserves and the room for its regions.
int readTopologyCounts(ImportedMesh *im, DirectImport &direct, const char *fn) {
  Source &src = direct.m_source;
  Layout &layout = direct.m_layout;
  int32_t nzn = 0, nsf = 0, nvl = 0;
  if (!src.integer("G/NZN", "EVERY", nzn))
    return src.missing(fn, "G/NZN", "EVERY");
  if (!src.integer("G/NSF", "EVERY", nsf))
    return src.missing(fn, "G/NSF", "EVERY");
  if (!src.integer("G/NVL", "EVERY", nvl))
    return src.missing(fn, "G/NVL", "EVERY");
  if (nzn < 1 || !validCount(nzn) || !validCount(nsf) || !validCount(nvl))
    return inconsistent(fn, "G/NZN", "EVERY");
  src.m_noOfZones = nzn;
  layout.m_nzn = nzn;
  layout.m_nsf = nsf;
  layout.m_nvl = nvl;
  if (!ImportedMesh_readRegionMap(im, src.m_file, "G/ATLAS/PRIMARY", "EVERY", 0))
    return 0;
  if (!ImportedMesh_reserveNames(im, src.m_file))
    return 0;

  const int32_t slots = std::max(nvl + nsf, 1);
  im->m_regions = zyrMemory_allocateZeroedArray<Region *>(slots, fn);
  im->m_shells = zyrMemory_allocateZeroedArray<Shell *>(slots, fn);
  layout.m_volumeSlot.assign(size_t(nvl) + 1, -1);
  layout.m_surfaceSlot.assign(size_t(nsf) + 1, -1);
  return 1;
}

// The volumes, zone by zone, in the first slots; *slot becomes the number of volumes.
int createVolumes(ImportedMesh *im, DirectImport &direct, const char *fn, int32_t *slot) {
  Source &src = direct.m_source;
  Layout &layout = direct.m_layout;
  const int32_t nzn = layout.m_nzn, nvl = layout.m_nvl;
  Ints kvlzn, ipvlzn;
  if (!src.ints("G/KVLZN", "EVERY", kvlzn))
    return src.missing(fn, "G/KVLZN", "EVERY");
  const bool havePointer = src.ints("G/IPVLZN", "EVERY", ipvlzn) && validPointer(ipvlzn, size_t(nzn), kvlzn.size());
  size_t next = 0;
  for (int32_t z = 1; z <= nzn; ++z) {
    std::vector<std::string> names;
    int32_t count = 0;
    if (src.zoneStrings("G/CLBVL", z, names)) {
      count = int32_t(names.size());
    } else if (src.zoneInteger("G/NVL", z, count) && validCount(count)) {
      for (int32_t j = 1; j <= count; ++j)
        names.push_back(zoneLocation(z) + ".VL" + std::to_string(j));
    } else {
      return src.missing(fn, "G/NVL", zoneLocation(z));
    }
    if (havePointer && ipvlzn[size_t(z)] - ipvlzn[size_t(z) - 1] != count)
      return inconsistent(fn, "G/CLBVL", zoneLocation(z));
    layout.m_zoneVolumes.resize(size_t(z) + 1, 0);
    layout.m_zoneVolumes[size_t(z)] = count;
    for (int32_t j = 0; j < count; ++j, ++next) {
      const int32_t n = next < kvlzn.size() ? kvlzn[next] : 0;
      if (n < 1 || n > nvl || layout.m_volumeSlot[size_t(n)] >= 0 || *slot >= nvl)
        return inconsistent(fn, "G/KVLZN", "EVERY");
      char *name = takeName(im, names[size_t(j)], -n);
      Region *region = Region_new(nullptr, nullptr, name, 3);
      zyrCString_free(name);
      if (region == nullptr)
        return 0;
      layout.m_volumeSlot[size_t(n)] = *slot;
      layout.m_volumeOrder.push_back(n);
      im->m_regions[(*slot)++] = region;
    }
  }
  return 1;
}

// The surfaces, zone by zone, one per face set, in the slots after the volumes.
int createSurfaces(ImportedMesh *im, DirectImport &direct, const char *fn, int32_t *slot) {
  Source &src = direct.m_source;
  Layout &layout = direct.m_layout;
  const int32_t nzn = layout.m_nzn, nsf = layout.m_nsf, nvl = layout.m_nvl;
  int32_t major = 0, minor = 0, point = 0;
  const bool known = DefFile_getVersion(src.m_file, &major, &minor, &point) == 1;
  layout.m_newerThan55 = known && (major > 5 || (major == 5 && minor >= 6));
  layout.m_zoneFaceSets.assign(size_t(nzn) + 1, Ints());
  for (int32_t z = 1; z <= nzn; ++z) {
    int32_t nfs = 0;
    if (!src.zoneInteger("G/NFS", z, nfs))
      return src.missing(fn, "G/NFS", zoneLocation(z));
    Ints ksffs;
    if (!src.zoneInts("G/KSFFS", z, ksffs))
      return src.missing(fn, "G/KSFFS", zoneLocation(z));
    if (!validCount(nfs) || ksffs.size() < size_t(nfs))
      return inconsistent(fn, "G/KSFFS", zoneLocation(z));
    ksffs.resize(size_t(nfs));
    std::vector<std::string> names;
    const bool named = src.zoneStrings("G/CLBSF", z, names) && names.size() == size_t(nfs);
    const bool bySurface = named && nzn == 1 && !layout.m_newerThan55;
    for (int32_t i = 0; i < nfs; ++i) {
      const int32_t s = ksffs[size_t(i)];
      if (s < 1 || s > nsf || layout.m_surfaceSlot[size_t(s)] >= 0 || *slot >= nvl + nsf)
        return inconsistent(fn, "G/KSFFS", zoneLocation(z));
      std::string base = zoneLocation(z) + ".FS" + std::to_string(i + 1);
      if (named)
        base = bySurface && s <= nfs ? names[size_t(s) - 1] : names[size_t(i)];
      char *name = takeName(im, base, s);
      Region *region = Region_new(nullptr, nullptr, name, 2);
      zyrCString_free(name);
      if (region == nullptr)
        return 0;
      layout.m_surfaceSlot[size_t(s)] = *slot;
      im->m_regions[(*slot)++] = region;
    }
    layout.m_zoneFaceSets[size_t(z)] = ksffs;
  }
  return 1;
}

// Each surface with a partner above it is connected to that partner.
int connectSurfaces(ImportedMesh *im, DirectImport &direct, const char *fn) {
  Source &src = direct.m_source;
  const Layout &layout = direct.m_layout;
  const int32_t nsf = layout.m_nsf;
  Ints partners;
  if (!src.ints("G/KSFSF", "EVERY", partners))
    return src.missing(fn, "G/KSFSF", "EVERY");
  for (int32_t s = 1; s <= nsf && size_t(s) <= partners.size(); ++s) {
    const int32_t p = partners[size_t(s) - 1];
    if (p <= s || p > nsf || layout.m_surfaceSlot[size_t(s)] < 0 || layout.m_surfaceSlot[size_t(p)] < 0)
      continue;
    Region *a = im->m_regions[layout.m_surfaceSlot[size_t(s)]], *b = im->m_regions[layout.m_surfaceSlot[size_t(p)]];
    if (Region_connectNeighbour(a, b) == nullptr) {
      ZYR_ERROR_FOR(ZYR_I_INTERNAL_ERROR, fn, "Unable to connect regions %s and %s.\n", Region_getName(a),
                    Region_getName(b));
      return 0;
    }
  }
  return 1;
}

// A shell per volume, holding the regions of its surfaces.
int createShells(ImportedMesh *im, DirectImport &direct, const char *fn) {
  Source &src = direct.m_source;
  const Layout &layout = direct.m_layout;
  const int32_t nsf = layout.m_nsf, nvl = layout.m_nvl;
  Ints ipsfvl, ksfvl;
  if (!src.ints("G/IPSFVL", "EVERY", ipsfvl))
    return src.missing(fn, "G/IPSFVL", "EVERY");
  if (!src.ints("G/KSFVL", "EVERY", ksfvl))
    return src.missing(fn, "G/KSFVL", "EVERY");
  if (!validPointer(ipsfvl, size_t(nvl), ksfvl.size()))
    return inconsistent(fn, "G/IPSFVL", "EVERY");
  for (int32_t n = 1; n <= nvl; ++n) {
    const int32_t v = layout.m_volumeSlot[size_t(n)];
    if (v < 0)
      continue;
    Shell *shell = Shell_new();
    im->m_shells[v] = shell;
    for (int32_t i = ipsfvl[size_t(n) - 1] - 1; i < ipsfvl[size_t(n)] - 1; ++i) {
      const int32_t s = ksfvl[size_t(i)];
      if (s >= 1 && s <= nsf && layout.m_surfaceSlot[size_t(s)] >= 0)
        Shell_addRegion(shell, im->m_regions[layout.m_surfaceSlot[size_t(s)]]);
    }
  }
  return 1;
}

// The file's non-zero priorities of surfaces and volumes, when it has one for each.
void setPriorities(ImportedMesh *im, DirectImport &direct) {
  Source &src = direct.m_source;
  const Layout &layout = direct.m_layout;
  const int32_t nsf = layout.m_nsf, nvl = layout.m_nvl;
  Ints priorities;
  if (src.ints("G/KPRSF", "EVERY", priorities) && priorities.size() == size_t(nsf))
    for (int32_t s = 1; s <= nsf; ++s)
      if (priorities[size_t(s) - 1] != 0 && layout.m_surfaceSlot[size_t(s)] >= 0)
        Region_setPriority(im->m_regions[layout.m_surfaceSlot[size_t(s)]], priorities[size_t(s) - 1]);
  if (src.ints("G/KPRVL", "EVERY", priorities) && priorities.size() == size_t(nvl))
    for (int32_t n = 1; n <= nvl; ++n)
      if (priorities[size_t(n) - 1] != 0 && layout.m_volumeSlot[size_t(n)] >= 0)
        Region_setPriority(im->m_regions[layout.m_volumeSlot[size_t(n)]], priorities[size_t(n) - 1]);
}

} // namespace

int ImportedMesh_loadTopologyFromDef(ImportedMesh *im, DirectImport *direct) {
  ZYR_TRACE_BEGIN_DESC("Load the topology directly from a definition/results file.");
  (void)zyr_trace_on_;
  const char *fn = __func__;
  Layout &layout = direct->m_layout;
  int32_t slot = 0;
  if (!readTopologyCounts(im, *direct, fn) || !createVolumes(im, *direct, fn, &slot))
    return 0;
  const int32_t volumes = slot;
  if (!createSurfaces(im, *direct, fn, &slot))
    return 0;
  im->m_no3DRegions = volumes;
  im->m_no2DRegions = slot - volumes;
  im->m_noOfRegions = slot;
  if (!connectSurfaces(im, *direct, fn) || !createShells(im, *direct, fn))
    return 0;
  ImportedMesh_resolveNames(im, layout.m_nsf, layout.m_surfaceSlot.data(), layout.m_nvl, layout.m_volumeSlot.data());
  setPriorities(im, *direct);
  for (int32_t r = 0; r < im->m_noOfRegions; ++r)
    if (im->m_shells[r] != nullptr) {
      Boundary *boundary = Boundary_new();
      Boundary_addShell(boundary, im->m_shells[r]);
      Region_setBoundary(im->m_regions[r], boundary);
    }
  return 1;
}

// ---- Mesh ----

namespace {

// The face pairs of one zone interface, read once, with the vertex translations built from them.
struct InterfaceData {
  bool m_read = false;
  bool m_valid = false;
  Ints m_records;
  std::map<std::pair<int32_t, int32_t>, std::unordered_map<int32_t, int32_t>> m_translations;

  // The translation from zone `from` to zone `to`, from every record between them in either
  // order; built on first need.
  const std::unordered_map<int32_t, int32_t> &translation(int32_t from, int32_t to) {
    auto key = std::make_pair(from, to);
    auto found = m_translations.find(key);
    if (found != m_translations.end())
      return found->second;
    std::unordered_map<int32_t, int32_t> &map = m_translations[key];
    for (size_t r = 0; r + 12 <= m_records.size(); r += 12) {
      const int32_t *record = m_records.data() + r;
      const int32_t za = record[0], zb = record[1];
      int sideFrom = -1;
      if (za == from && zb == to)
        sideFrom = 0;
      else if (za == to && zb == from)
        sideFrom = 1;
      if (sideFrom < 0)
        continue;
      const int places = record[7] < 1 ? 3 : 4; // a fourth vertex below 1 marks a triangle
      for (int k = 0; k < places; ++k) {
        const int32_t a = record[4 + k], b = record[8 + k];
        map.emplace(sideFrom == 0 ? a : b, sideFrom == 0 ? b : a);
      }
    }
    return map;
  }
};

// The interfaces of the file: which one each surface lies in, and their face pairs.
struct Interfaces {
  std::vector<InterfaceData> m_data; // per interface number
  Ints m_of;                         // per surface number, its interface (0 for none)
  bool m_on = false;                 // whether interface data are used
};

struct SurfaceMesh {
  FaceMesh *m_faceMesh = nullptr;
  int32_t m_zone = 0;
  Ints m_zoneVertices; // per local vertex, its zone vertex number (only for connected surfaces)
};

// What the whole mesh load shares: the lists of every zone, the units, and what the zones leave
// for the matching of connected surfaces. Errors name the public function.
struct MeshLoad {
  MeshLoad(ImportedMesh *im, DirectImport &direct, const char *function)
      : m_im(im), m_src(direct.m_source), m_layout(direct.m_layout), m_function(function) {}

  ImportedMesh *m_im;
  Source &m_src;
  const Layout &m_layout;
  const char *m_function;
  bool m_debug = false;
  double m_tolerance = 0.005;
  int32_t m_nzif = 0;
  Ints m_kvlsf, m_ksfsf;
  std::string m_unit;
  double m_scale = 1.0;
  std::vector<SurfaceMesh> m_surfaces; // per surface number
  Ints m_zoneVertexCounts;             // per zone number
  int32_t m_volumeSlot = 0;            // the slot of the next zone's first volume
};

void freeCoordinates(double *xyz) { zyrMemory_free(xyz, "G/CRDVX"); }

// One zone's element sets as the file gives them, and the owner of every element.
struct ZoneSets {
  ZoneSets(int32_t z, const Ints &ksffs) : m_z(z), m_zn(zoneLocation(z)), m_ksffs(ksffs) {}

  int32_t m_z;
  std::string m_zn;
  const Ints &m_ksffs; // the surface number of each face set
  int32_t m_nvx = 0, m_nes = 0, m_nel = 0;
  Ints m_nfcfs, m_iltpes, m_kesvl, m_ipesvl;
  int32_t m_noOfVolumes = 0;
  std::vector<Ints> m_connectivity, m_elements; // per element set number
  Ints m_setOf, m_positionOf;                   // per element number
  Ints m_volumeOfSet;                           // per element set number, the zone's volume from 0
  std::unique_ptr<double, void (*)(double *)> m_xyz{nullptr, freeCoordinates};
};

// One volume's element mesh over the zone vertices its elements use.
struct VolumeMesh {
  int32_t m_j = 0;      // the zone's volume, from 0
  int32_t m_number = 0; // its volume number
  ElementMesh *m_em = nullptr;
  Ints m_localOf, m_zoneOf;          // zone vertex -> local vertex (-1 unused), local -> zone vertex
  std::vector<ElementSet *> m_sets; // per element set number of the zone
};

void printEmptyFaceSets(const Ints &nfcfs) {
  zyrTrace_printf("One or more of the face sets was empty:\n\n");
  zyrTrace_printf("      FS      NFC\n");
  for (size_t i = 0; i < nfcfs.size(); ++i)
    zyrTrace_printf("%8d %8d\n", int32_t(i) + 1, nfcfs[i]);
}

// The lists every zone needs: interfaces, bounded volumes and partners of the surfaces.
int readSurfaceLists(MeshLoad &load) {
  Source &src = load.m_src;
  const char *fn = load.m_function;
  const int32_t nsf = load.m_layout.m_nsf;
  if (!src.integer("G/NZIF", "EVERY", load.m_nzif) || load.m_nzif < 0 || !validCount(load.m_nzif))
    load.m_nzif = 0;
  if (!src.ints("G/KVLSF", "EVERY", load.m_kvlsf))
    return src.missing(fn, "G/KVLSF", "EVERY");
  if (!src.ints("G/KSFSF", "EVERY", load.m_ksfsf))
    return src.missing(fn, "G/KSFSF", "EVERY");
  if (load.m_kvlsf.size() != size_t(nsf) || load.m_ksfsf.size() != size_t(nsf))
    return inconsistent(fn, "G/KVLSF", "EVERY");
  return 1;
}

// The file's unit and scale when it names a known unit with a usable scale, else the given units
// unscaled; a warning for what is not used.
void chooseUnits(MeshLoad &load, const char *units) {
  Source &src = load.m_src;
  const char *fn = load.m_function;
  load.m_unit = units != nullptr ? units : "m";
  load.m_scale = 1.0;
  char *fileUnit = nullptr;
  float geoscl = 0.0f;
  if (DefFile_readIoString(src.m_file, "G/CGUNIT", "EVERY", 0, &fileUnit)) {
    if (!Units_isValid(fileUnit)) {
      ZYR_ERROR_FOR(ZYR_W_INVALID_INPUT_IGNORED, fn,
                    "The coordinates in the definition file are stored in an unrecognised\n"
                    "set of units, \"%s\". These have been ignored and the default units,\n"
                    "\"%s\", have been used instead.\n",
                    fileUnit, load.m_unit.c_str());
    } else if (DefFile_readFloat(src.m_file, "G/GEOSCL", "EVERY", 0, &geoscl)) {
      load.m_unit = fileUnit;
      // Only a finite positive scale means anything; 0 or NaN would make every coordinate
      // infinite.
      if (std::isfinite(geoscl) && geoscl > 0.0f && std::isfinite(1.0 / double(geoscl))) {
        load.m_scale = 1.0 / double(geoscl);
      } else {
        ZYR_ERROR_FOR(ZYR_W_INVALID_INPUT_IGNORED, fn,
                      "The geometric scale of the definition file, %g, is not usable and has been\n"
                      "ignored.\n",
                      double(geoscl));
      }
    }
  }
  zyrCString_free(fileUnit);
}

// The zone's counts, face counts and element-set lists. An empty face set declines the file
// without an error (the caller tries the mesh reader).
int readZoneCounts(MeshLoad &load, ZoneSets &zone) {
  Source &src = load.m_src;
  const char *fn = load.m_function;
  const std::string &zn = zone.m_zn;
  if (!src.integer("G/NVX", zn, zone.m_nvx) || !validCount(zone.m_nvx))
    return src.missing(fn, "G/NVX", zn);
  load.m_zoneVertexCounts[size_t(zone.m_z)] = zone.m_nvx;
  if (!src.integer("G/NES", zn, zone.m_nes) || !validCount(zone.m_nes))
    return src.missing(fn, "G/NES", zn);
  if (!src.integer("G/NEL", zn, zone.m_nel) || !validCount(zone.m_nel))
    return src.missing(fn, "G/NEL", zn);
  const int32_t nfs = int32_t(zone.m_ksffs.size());
  if (nfs > 0 && !src.ints("G/NFCFS", zn, zone.m_nfcfs))
    return src.missing(fn, "G/NFCFS", zn);
  if (zone.m_nfcfs.size() < size_t(nfs))
    return inconsistent(fn, "G/NFCFS", zn);
  for (int32_t i = 0; i < nfs; ++i)
    if (zone.m_nfcfs[size_t(i)] <= 0) {
      if (load.m_debug)
        printEmptyFaceSets(zone.m_nfcfs);
      return 0;
    }
  if (!src.ints("G/ILTPES", zn, zone.m_iltpes) || !src.ints("G/KESVL", zn, zone.m_kesvl) ||
      !src.ints("G/IPESVL", zn, zone.m_ipesvl))
    return src.missing(fn, "G/ILTPES", zn);
  if (zone.m_iltpes.size() != size_t(zone.m_nes) || zone.m_ipesvl.empty() ||
      !validPointer(zone.m_ipesvl, zone.m_ipesvl.size() - 1, zone.m_kesvl.size()))
    return inconsistent(fn, "G/IPESVL", zn);
  zone.m_noOfVolumes = int32_t(zone.m_ipesvl.size()) - 1;
  // The zone's element-set groups must be the volumes its names were given for.
  const Layout &layout = load.m_layout;
  if (size_t(zone.m_z) >= layout.m_zoneVolumes.size() || zone.m_noOfVolumes != layout.m_zoneVolumes[size_t(zone.m_z)] ||
      load.m_volumeSlot + zone.m_noOfVolumes > load.m_im->m_no3DRegions)
    return inconsistent(fn, "G/IPESVL", zn);
  return 1;
}

// Element sets: connectivity, element numbers, and the owner of every element.
int readElementSets(MeshLoad &load, ZoneSets &zone) {
  Source &src = load.m_src;
  const char *fn = load.m_function;
  const int32_t nes = zone.m_nes, nel = zone.m_nel;
  zone.m_connectivity.assign(size_t(nes) + 1, Ints());
  zone.m_elements.assign(size_t(nes) + 1, Ints());
  zone.m_setOf.assign(size_t(nel) + 1, 0);
  zone.m_positionOf.assign(size_t(nel) + 1, -1);
  zone.m_volumeOfSet.assign(size_t(nes) + 1, -1);
  for (int32_t e = 1; e <= nes; ++e) {
    const int32_t code = zone.m_iltpes[size_t(e) - 1];
    if (code < 1 || code > 7)
      return inconsistent(fn, "G/ILTPES", zone.m_zn);
    const std::string es = zone.m_zn + "/ES" + std::to_string(e);
    if (!src.ints("G/KVXPE", es, zone.m_connectivity[size_t(e)]))
      return src.missing(fn, "G/KVXPE", es);
    if (!src.ints("G/KELPE", es, zone.m_elements[size_t(e)]))
      return src.missing(fn, "G/KELPE", es);
    const Ints &list = zone.m_elements[size_t(e)];
    if (zone.m_connectivity[size_t(e)].size() != list.size() * size_t(kVerticesOfCode[code]))
      return inconsistent(fn, "G/KVXPE", es);
    for (int32_t v : zone.m_connectivity[size_t(e)])
      if (v < 1 || v > zone.m_nvx)
        return inconsistent(fn, "G/KVXPE", es);
    for (size_t k = 0; k < list.size(); ++k) {
      const int32_t element = list[k];
      if (element < 1 || element > nel || zone.m_setOf[size_t(element)] != 0)
        return inconsistent(fn, "G/KELPE", es);
      zone.m_setOf[size_t(element)] = e;
      zone.m_positionOf[size_t(element)] = int32_t(k);
    }
  }
  for (int32_t j = 0; j < zone.m_noOfVolumes; ++j)
    for (int32_t i = zone.m_ipesvl[size_t(j)] - 1; i < zone.m_ipesvl[size_t(j) + 1] - 1; ++i) {
      const int32_t e = zone.m_kesvl[size_t(i)];
      if (e < 1 || e > nes || zone.m_volumeOfSet[size_t(e)] >= 0)
        return inconsistent(fn, "G/KESVL", zone.m_zn);
      zone.m_volumeOfSet[size_t(e)] = j;
    }
  return 1;
}

// Coordinates (time -2 in results files, 0 as the writer puts them), scaled when needed.
int readCoordinates(MeshLoad &load, ZoneSets &zone) {
  double *xyz = nullptr;
  int32_t ncoords = 0;
  const std::string vx = zone.m_zn + "/VX";
  if (!DefFile_readDoubles(load.m_src.m_file, "G/CRDVX", vx.c_str(), -2, &xyz, &ncoords) &&
      !DefFile_readDoubles(load.m_src.m_file, "G/CRDVX", vx.c_str(), 0, &xyz, &ncoords))
    return load.m_src.missing(load.m_function, "G/CRDVX", vx);
  zone.m_xyz.reset(xyz);
  if (int64_t(ncoords) != 3 * int64_t(zone.m_nvx))
    return inconsistent(load.m_function, "G/CRDVX", vx);
  if (load.m_scale != 1.0)
    for (int64_t i = 0; i < 3 * int64_t(zone.m_nvx); ++i)
      xyz[i] *= load.m_scale;
  return 1;
}

// A new element or face mesh of the region that the model's mesh did not take: deleted, and said.
int refusedMesh(void *mesh, int (*remove)(void *), Region *region, const char *fn) {
  remove(mesh);
  ZYR_ERROR_FOR(ZYR_I_INTERNAL_ERROR, fn, "Unable to add the mesh of region %s to the model.\n",
                Region_getName(region));
  return 0;
}

// The volume's element mesh, added to the mesh, with its vertices and element sets. A failure
// the record's constructors did not report is reported here.
int buildVolumeMesh(MeshLoad &load, const ZoneSets &zone, VolumeMesh &volume) {
  ImportedMesh *im = load.m_im;
  const char *fn = load.m_function;
  Region *region = im->m_regions[load.m_volumeSlot + volume.m_j];
  volume.m_number = load.m_layout.m_volumeOrder[size_t(load.m_volumeSlot + volume.m_j)];
  // The zone vertices this volume's elements use, numbered from 0 in ascending order.
  volume.m_localOf.assign(size_t(zone.m_nvx) + 1, -1);
  for (int32_t e = 1; e <= zone.m_nes; ++e)
    if (zone.m_volumeOfSet[size_t(e)] == volume.m_j)
      for (int32_t v : zone.m_connectivity[size_t(e)])
        volume.m_localOf[size_t(v)] = 0;
  for (int32_t v = 1; v <= zone.m_nvx; ++v)
    if (volume.m_localOf[size_t(v)] == 0) {
      volume.m_localOf[size_t(v)] = int32_t(volume.m_zoneOf.size());
      volume.m_zoneOf.push_back(v);
    }
  ElementMesh *em = ElementMesh_new(region);
  if (em == nullptr)
    return 0;
  if (!Mesh_addElementMesh(im->m_mesh, em))
    return refusedMesh(em, ElementMesh_delete, region, fn);
  volume.m_em = em;
  const int32_t count = int32_t(volume.m_zoneOf.size());
  const double *xyz = zone.m_xyz.get();
  double *own = count > 0 ? zyrMemory_allocateArray<double>(3 * int64_t(count), fn) : nullptr;
  for (int32_t k = 0; k < count; ++k)
    std::copy(xyz + 3 * int64_t(volume.m_zoneOf[size_t(k)] - 1), xyz + 3 * int64_t(volume.m_zoneOf[size_t(k)] - 1) + 3,
              own + 3 * int64_t(k));
  Vertices *vertices = Vertices_new(3, load.m_unit.c_str(), 0, count, own);
  if (vertices == nullptr || !ElementMesh_setVertices(em, vertices))
    return 0;
  volume.m_sets.assign(size_t(zone.m_nes) + 1, nullptr);
  for (int32_t e = 1; e <= zone.m_nes; ++e) {
    if (zone.m_volumeOfSet[size_t(e)] != volume.m_j)
      continue;
    const Ints &list = zone.m_connectivity[size_t(e)];
    int32_t *renumbered = zyrMemory_allocateArray<int32_t>(std::max<int64_t>(int64_t(list.size()), 1), fn);
    for (size_t k = 0; k < list.size(); ++k)
      renumbered[k] = volume.m_localOf[size_t(list[k])];
    ElementSet *set = ElementSet_new(GmoContents_elementType(zone.m_iltpes[size_t(e) - 1]), zyrConvention_WEZ5,
                                     int32_t(list.size()), renumbered);
    if (set == nullptr)
      return 0;
    ElementMesh_addElementSet(em, set);
    volume.m_sets[size_t(e)] = set;
  }
  return 1;
}

// The face list of face set i (surface s) whose elements are the volume's: the set's own, or
// once flipped, its partner's in the same zone. A failed flip declines the file without an error
// (the caller tries the mesh reader).
int readOwnFaceList(MeshLoad &load, const ZoneSets &zone, const VolumeMesh &volume, int32_t i, Ints &pairs) {
  Source &src = load.m_src;
  const char *fn = load.m_function;
  const int32_t s = zone.m_ksffs[size_t(i)], nfc = zone.m_nfcfs[size_t(i)], nsf = load.m_layout.m_nsf;
  int32_t listed = i;
  for (int attempt = 0;; ++attempt) {
    const std::string fs = zone.m_zn + "/FS" + std::to_string(listed + 1);
    if (!src.ints("G/KELPF", fs, pairs))
      return src.missing(fn, "G/KELPF", fs);
    if (pairs.size() < 2 * size_t(nfc))
      return inconsistent(fn, "G/KELPF", fs);
    bool own = true;
    for (int32_t f = 0; f < nfc && own; ++f) {
      const int32_t element = pairs[2 * size_t(f)];
      if (element < 1 || element > zone.m_nel || zone.m_setOf[size_t(element)] == 0)
        return inconsistent(fn, "G/KELPF", fs);
      own = zone.m_volumeOfSet[size_t(zone.m_setOf[size_t(element)])] == volume.m_j;
    }
    if (own)
      return 1;
    // The list describes the other side of a connected pair: take the partner's list.
    if (attempt > 0) {
      if (load.m_debug)
        zyrTrace_printf("Flip failed - too many attempts.\n");
      return 0;
    }
    const int32_t partner = load.m_ksfsf[size_t(s) - 1];
    if (partner == 0 || partner == s || partner < 1 || partner > nsf) {
      if (load.m_debug)
        zyrTrace_printf("Flip failed - couldn't identifyneighbouring surface side.\n");
      return 0;
    }
    auto at = std::find(zone.m_ksffs.begin(), zone.m_ksffs.end(), partner);
    if (at == zone.m_ksffs.end()) {
      if (load.m_debug)
        zyrTrace_printf("Flip failed - couldn't identify face set associated with neighbouring surface side.\n");
      return 0;
    }
    const int32_t flipped = int32_t(at - zone.m_ksffs.begin());
    if (load.m_debug)
      zyrTrace_printf("Face set flip: %d -> %d\n", listed + 1, flipped + 1);
    listed = flipped;
  }
}

// One face set per element set, each taking its faces in list order.
int addFaceSets(const ZoneSets &zone, const VolumeMesh &volume, FaceMesh *fm, const Ints &pairs, int32_t nfc) {
  std::vector<int32_t> order;
  std::map<int32_t, std::pair<Ints, Ints>> bySet;
  for (int32_t f = 0; f < nfc; ++f) {
    const int32_t element = pairs[2 * size_t(f)];
    const int32_t e = zone.m_setOf[size_t(element)];
    if (bySet.find(e) == bySet.end())
      order.push_back(e);
    bySet[e].first.push_back(zone.m_positionOf[size_t(element)]);
    bySet[e].second.push_back(pairs[2 * size_t(f) + 1]);
  }
  for (int32_t e : order) {
    const auto &lists = bySet[e];
    const int32_t n = int32_t(lists.first.size());
    int32_t *faceElements = copyInts(lists.first.data(), n), *localFaces = copyInts(lists.second.data(), n);
    FaceSet *set = FaceSet_new(volume.m_sets[size_t(e)], zyrConvention_WEZ5, n, faceElements, localFaces);
    if (set == nullptr)
      return 0;
    FaceMesh_addFaceSet(fm, set);
  }
  return 1;
}

// The face meshes of the zone's face sets whose surfaces bound the volume; a connected surface
// keeps its vertex list in zone numbers for the matching.
int buildFaceMeshes(MeshLoad &load, const ZoneSets &zone, const VolumeMesh &volume) {
  ImportedMesh *im = load.m_im;
  const char *fn = load.m_function;
  const int32_t nfs = int32_t(zone.m_ksffs.size());
  for (int32_t i = 0; i < nfs; ++i) {
    const int32_t s = zone.m_ksffs[size_t(i)];
    if (load.m_kvlsf[size_t(s) - 1] != volume.m_number)
      continue;
    Region *surface = im->m_regions[load.m_layout.m_surfaceSlot[size_t(s)]];
    FaceMesh *fm = FaceMesh_new(surface, volume.m_em);
    if (fm == nullptr)
      return 0;
    if (!Mesh_addFaceMesh(im->m_mesh, fm))
      return refusedMesh(fm, FaceMesh_delete, surface, fn);
    Ints pairs;
    if (!readOwnFaceList(load, zone, volume, i, pairs) ||
        !addFaceSets(zone, volume, fm, pairs, zone.m_nfcfs[size_t(i)]))
      return 0;
    SurfaceMesh &sm = load.m_surfaces[size_t(s)];
    sm.m_faceMesh = fm;
    sm.m_zone = zone.m_z;
    const int32_t partner = load.m_ksfsf[size_t(s) - 1];
    if (partner != 0 && partner != s) {
      int32_t *local = nullptr;
      const int32_t count = int32_t(volume.m_zoneOf.size());
      const int32_t n = FaceMesh_getVertices(fm, 0, nullptr, &local);
      for (int32_t k = 0; k < n; ++k)
        sm.m_zoneVertices.push_back(local[k] >= 0 && local[k] < count ? volume.m_zoneOf[size_t(local[k])] : 0);
      zyrMemory_free(local, fn);
    }
  }
  return 1;
}

// The zone's element meshes and face meshes, volume by volume.
int loadZone(MeshLoad &load, int32_t z) {
  ZoneSets zone(z, load.m_layout.m_zoneFaceSets[size_t(z)]);
  if (!readZoneCounts(load, zone) || !readElementSets(load, zone) || !readCoordinates(load, zone))
    return 0;
  for (int32_t j = 0; j < zone.m_noOfVolumes; ++j) {
    VolumeMesh volume;
    volume.m_j = j;
    if (!buildVolumeMesh(load, zone, volume) || !buildFaceMeshes(load, zone, volume))
      return 0;
  }
  load.m_volumeSlot += zone.m_noOfVolumes;
  return 1;
}

// Which interface each surface lies in; with interface data, every zone's vertex count again.
Interfaces readInterfaceSurfaces(MeshLoad &load) {
  Source &src = load.m_src;
  const int32_t nsf = load.m_layout.m_nsf;
  Interfaces interfaces;
  interfaces.m_data.resize(size_t(load.m_nzif) + 1);
  interfaces.m_of.assign(size_t(nsf) + 1, 0);
  for (int32_t k = 1; k <= load.m_nzif; ++k) {
    const std::string zif = "ZIF" + std::to_string(k);
    if (DefFile_exists(src.m_file, "G/KZFCZFC", zif.c_str(), 0) != 1)
      continue;
    Ints pairs;
    if (!src.ints("G/KZSFZSF", zif, pairs))
      continue;
    for (int32_t s : pairs)
      if (s >= 1 && s <= nsf)
        interfaces.m_of[size_t(s)] = k;
    interfaces.m_on = true;
  }
  if (interfaces.m_on)
    for (int32_t z = 1; z <= load.m_layout.m_nzn; ++z)
      if (!src.integer("G/NVX", zoneLocation(z), load.m_zoneVertexCounts[size_t(z)])) {
        ZYR_ERROR_FOR(ZYR_I_INTERNAL_ERROR, load.m_function, "Unable to read [\"G/NVX\", \"%s\", 0].\n",
                      zoneLocation(z).c_str());
        interfaces.m_on = false;
        break;
      }
  return interfaces;
}

// The vertex map of surfaces s and p through their interface's face pairs: from the zone with
// fewer vertices (the first surface's on a tie) to the other; NULL when the pairs do not give it.
int32_t *mapThroughInterface(MeshLoad &load, Interfaces &interfaces, int32_t s, const SurfaceMesh &a,
                             const SurfaceMesh &b, int32_t nv) {
  InterfaceData &data = interfaces.m_data[size_t(interfaces.m_of[size_t(s)])];
  if (!data.m_read) {
    data.m_read = true;
    data.m_valid = load.m_src.ints("G/KZFCZFC", "ZIF" + std::to_string(interfaces.m_of[size_t(s)]), data.m_records) &&
                   data.m_records.size() % 12 == 0;
  }
  if (!data.m_valid)
    return nullptr;
  const bool fromA = load.m_zoneVertexCounts[size_t(a.m_zone)] <= load.m_zoneVertexCounts[size_t(b.m_zone)];
  const SurfaceMesh &from = fromA ? a : b, &to = fromA ? b : a;
  const auto &translation = data.translation(from.m_zone, to.m_zone);
  Ints translated(static_cast<size_t>(nv), 0);
  for (int32_t k = 0; k < nv; ++k) {
    auto found = translation.find(from.m_zoneVertices[size_t(k)]);
    if (found == translation.end())
      return nullptr;
    translated[size_t(k)] = found->second;
  }
  // The map runs from the first surface's local vertices to the second's.
  return fromA ? zyrFindArrayPermutation(nv, translated.data(), b.m_zoneVertices.data())
               : zyrFindArrayPermutation(nv, a.m_zoneVertices.data(), translated.data());
}

// The vertex map of connected surfaces s and p: shared zone vertices, else the interface's face
// pairs, else geometric matching (which also gives the face map). NULL when none finds it.
int32_t *vertexMapOf(MeshLoad &load, Interfaces &interfaces, int32_t s, int32_t p, int32_t **faceMap) {
  const SurfaceMesh &a = load.m_surfaces[size_t(s)], &b = load.m_surfaces[size_t(p)];
  const int32_t nv = FaceMesh_getNoOfVertices(a.m_faceMesh, 0);
  int32_t *permutation = nullptr;
  if (a.m_zone == b.m_zone) {
    permutation = zyrFindArrayPermutation(nv, a.m_zoneVertices.data(), b.m_zoneVertices.data());
    if (permutation != nullptr && load.m_debug)
      zyrTrace_printf("%8d <--> %8d: Shared mesh.\n", s, p);
  }
  if (permutation == nullptr && interfaces.m_on && interfaces.m_of[size_t(s)] != 0 &&
      interfaces.m_of[size_t(s)] == interfaces.m_of[size_t(p)]) {
    permutation = mapThroughInterface(load, interfaces, s, a, b, nv);
    if (permutation != nullptr && load.m_debug)
      zyrTrace_printf("%8d <--> %8d: Matched mesh ZIF.\n", s, p);
  }
  if (permutation == nullptr) {
    if (FaceMesh_match(a.m_faceMesh, b.m_faceMesh, nullptr, load.m_tolerance, 0, &permutation, faceMap) == 1 &&
        load.m_debug)
      zyrTrace_printf("%8d <--> %8d: Geometrically matched mesh.\n", s, p);
  }
  return permutation;
}

// An interface map for every connected pair of surfaces whose meshes correspond.
void matchConnectedSurfaces(MeshLoad &load, Interfaces &interfaces) {
  ImportedMesh *im = load.m_im;
  const char *fn = load.m_function;
  const Layout &layout = load.m_layout;
  const int32_t nsf = layout.m_nsf;
  if (load.m_debug)
    zyrTrace_printf(
        "Surface sides identified through interface maps:\n------------------------------------------------\n");
  for (int32_t s = 1; s <= nsf; ++s) {
    const int32_t p = load.m_ksfsf[size_t(s) - 1];
    if (p <= s || p > nsf || layout.m_surfaceSlot[size_t(s)] < 0 || layout.m_surfaceSlot[size_t(p)] < 0)
      continue;
    const SurfaceMesh &a = load.m_surfaces[size_t(s)], &b = load.m_surfaces[size_t(p)];
    Region *ra = im->m_regions[layout.m_surfaceSlot[size_t(s)]], *rb = im->m_regions[layout.m_surfaceSlot[size_t(p)]];
    if (a.m_faceMesh == nullptr || b.m_faceMesh == nullptr) {
      ZYR_ERROR_FOR(ZYR_I_INTERNAL_ERROR, fn, "Unable to determine face mesh associated with region %s.\n",
                    Region_getName(a.m_faceMesh == nullptr ? ra : rb));
      interfaces.m_on = false;
      continue;
    }
    const int32_t nv = FaceMesh_getNoOfVertices(a.m_faceMesh, 0);
    if (nv != FaceMesh_getNoOfVertices(b.m_faceMesh, 0) ||
        FaceMesh_getNoOfFaces(a.m_faceMesh) != FaceMesh_getNoOfFaces(b.m_faceMesh) || nv < 1 ||
        a.m_zoneVertices.size() != size_t(nv) || b.m_zoneVertices.size() != size_t(nv))
      continue;
    int32_t *faceMap = nullptr;
    int32_t *permutation = vertexMapOf(load, interfaces, s, p, &faceMap);
    Connection *connection = ImportedMesh_findCommonConnection(ra, rb);
    if (permutation == nullptr) {
      ZYR_ERROR_FOR(ZYR_I_INTERNAL_ERROR, fn,
                    "Unable to connect regions %s and %s.\nThe definition file does not contain consistent mesh "
                    "matching data.\n",
                    Region_getName(ra), Region_getName(rb));
      continue;
    }
    if (connection == nullptr) {
      zyrMemory_free(permutation, fn);
      zyrMemory_free(faceMap, fn);
      continue;
    }
    InterfaceMap *map = InterfaceMap_new(a.m_faceMesh, b.m_faceMesh, connection, permutation, faceMap);
    if (map != nullptr)
      Mesh_addInterfaceMap(im->m_mesh, map);
  }
}

} // namespace

int ImportedMesh_loadMeshFromDef(ImportedMesh *im, DirectImport *direct, const char *units) {
  ZYR_TRACE_BEGIN_DESC("Load a mesh from a definition file.");
  MeshLoad load(im, *direct, __func__);
  load.m_debug = ZYR_TRACE_DEBUG(1);
  load.m_tolerance = g_getRelativeTolerance != nullptr ? g_getRelativeTolerance(im->m_model) : 0.005;
  if (!readSurfaceLists(load))
    return 0;
  chooseUnits(load, units);
  const int32_t nzn = load.m_layout.m_nzn;
  load.m_surfaces.resize(size_t(load.m_layout.m_nsf) + 1);
  load.m_zoneVertexCounts.assign(size_t(nzn) + 1, 0);
  for (int32_t z = 1; z <= nzn; ++z)
    if (!loadZone(load, z))
      return 0;
  Interfaces interfaces = readInterfaceSurfaces(load);
  matchConnectedSurfaces(load, interfaces);
  if (load.m_debug)
    ImportedMesh_printLoadedMesh(im, __func__);
  return 1;
}

Connection *ImportedMesh_findCommonConnection(Region *a, Region *b) {
  Connection *ca = Region_getConnection(a), *cb = Region_getConnection(b);
  return ca != nullptr && ca == cb ? ca : nullptr;
}

int ImportedMesh_importFromDef(ImportedMesh *im, const char *fileName, const char *units) {
  ZYR_TRACE_BEGIN_DESC("Import a mesh from a WEZ definition/results file directly.");
  if (!zyrCheck_fileExists(fileName))
    return 0;
  DefFile *file = DefFile_openForReading(fileName);
  if (file == nullptr)
    return 0;
  DirectImport direct{{file, 0}, {}};
  int result = 0;
  int32_t nvx = 0, major = 0, minor = 0, point = 0;
  bool known = false;
  if (!direct.m_source.integer("G/NVX", "ZN1", nvx)) {
    ZYR_ERROR(ZYR_U_INVALID_INPUT, "The definition/results file\n\n%s\n\ndoes not contain a valid mesh.\n", fileName);
  } else if (!versionAccepted(direct.m_source, ZYR_TRACE_DEBUG(1), major, minor, point, known)) {
    result = 0; // declined: the caller tries the mesh reader
  } else if (!ImportedMesh_loadTopologyFromDef(im, &direct)) {
    ZYR_ERROR(ZYR_I_INTERNAL_ERROR,
              "The definition/results file\n\n%s\n\ndoes not contain a valid problem topology. Are you sure\n"
              "that it contains a mesh?\n",
              fileName);
  } else {
    result = ImportedMesh_loadMeshFromDef(im, &direct, units);
    if (result)
      Projection_new(file, units);
  }
  DefFile_delete(file);
  return result;
}
