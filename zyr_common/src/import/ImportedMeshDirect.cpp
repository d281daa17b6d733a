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
#include <cstdarg>
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

void internalError(const char *function, const char *format, ...) __attribute__((format(printf, 2, 3)));
void internalError(const char *function, const char *format, ...) {
  char text[2048];
  va_list args;
  va_start(args, format);
  vsnprintf(text, sizeof text, format, args);
  va_end(args);
  zyrError *error = zyrError_new(ZYR_I_INTERNAL_ERROR, function, __FILE__, __LINE__);
  zyrError_addMessage(error, "%s", text);
  zyrError_publish(error);
}

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
      internalError(function, "Unable to read [\"%s\", \"%s\", 0].\n", what, where.c_str());
    return 0;
  }
};

int inconsistent(const char *function, const char *what, const std::string &where) {
  internalError(function, "The data set [\"%s\", \"%s\", 0] is not consistent with the rest of the file.\n", what,
                where.c_str());
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

struct DirectContext {
  Source m_source;
  Layout m_layout;
};

DirectContext *g_context = nullptr; // the import in progress (one thread calls the library)

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

int ImportedMesh_resolveAssemblyNames(ImportedMesh *im, const int32_t *surfaceMap, const int32_t *volumeMap) {
  if (g_context == nullptr)
    return 0;
  const Layout &layout = g_context->m_layout;
  if (im->m_noOfCompositeNames <= 0)
    return 1;
  im->m_assemblyRegions = zyrMemory_allocateZeroedArray<Region **>(im->m_noOfCompositeNames, __func__);
  im->m_recoveredAssemblies = zyrMemory_allocateZeroedArray<Assembly *>(im->m_noOfCompositeNames, __func__);
  for (int32_t i = 0; i < im->m_noOfCompositeNames; ++i) {
    std::vector<Region *> regions;
    for (int32_t j = 0; j < im->m_noOfAssembly2DRegions[i]; ++j)
      if (Region *r = regionOf(im, surfaceMap, layout.m_nsf, im->m_assembly2DRegions[i][j]))
        regions.push_back(r);
    for (int32_t j = 0; j < im->m_noOfAssembly3DRegions[i]; ++j)
      if (Region *r = regionOf(im, volumeMap, layout.m_nvl, im->m_assembly3DRegions[i][j]))
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

int ImportedMesh_createCompositeLocations(ImportedMesh *im, const int32_t *surfaceMap, const int32_t *volumeMap) {
  if (g_context == nullptr)
    return 0;
  const Layout &layout = g_context->m_layout;
  for (int32_t i = 0; i < im->m_noOfCompositeNames; ++i) {
    std::vector<const char *> names;
    for (int32_t j = 0; j < im->m_noOfAssembly2DRegions[i]; ++j)
      if (Region *r = regionOf(im, surfaceMap, layout.m_nsf, im->m_assembly2DRegions[i][j]))
        names.push_back(Region_getBaseName(r));
    for (int32_t j = 0; j < im->m_noOfAssembly3DRegions[i]; ++j)
      if (Region *r = regionOf(im, volumeMap, layout.m_nvl, -im->m_assembly3DRegions[i][j]))
        names.push_back(Region_getBaseName(r));
    im->m_noOfComponents[i] = int32_t(names.size());
    im->m_components[i] = zyrMemory_allocateZeroedArray<char *>(std::max<int64_t>(int64_t(names.size()), 1), __func__);
    for (size_t j = 0; j < names.size(); ++j)
      im->m_components[i][j] = zyrCString_clone(names[j]);
  }
  return 1;
}

int ImportedMesh_resolveNames(ImportedMesh *im, const int32_t *surfaceMap, const int32_t *volumeMap) {
  return im->m_haveRegionAtlas == 1 ? ImportedMesh_resolveAssemblyNames(im, surfaceMap, volumeMap)
                                    : ImportedMesh_createCompositeLocations(im, surfaceMap, volumeMap);
}

// ---- Topology ----

int ImportedMesh_loadTopologyFromDef(ImportedMesh *im, DefFile *file) {
  ZYR_TRACE_BEGIN_DESC("Load the topology directly from a definition/results file.");
  (void)zyr_trace_on_;
  const char *fn = __func__;
  if (g_context == nullptr || g_context->m_source.m_file != file)
    return 0; // only inside ImportedMesh_importFromDef
  Source &src = g_context->m_source;
  Layout &layout = g_context->m_layout;
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
  if (!ImportedMesh_readRegionMap(im, file, "G/ATLAS/PRIMARY", "EVERY", 0))
    return 0;
  if (!ImportedMesh_reserveNames(im, file))
    return 0;

  const int32_t slots = std::max(nvl + nsf, 1);
  im->m_regions = zyrMemory_allocateZeroedArray<Region *>(slots, fn);
  im->m_shells = zyrMemory_allocateZeroedArray<Shell *>(slots, fn);
  layout.m_volumeSlot.assign(size_t(nvl) + 1, -1);
  layout.m_surfaceSlot.assign(size_t(nsf) + 1, -1);
  Ints kvlzn, ipvlzn;
  if (!src.ints("G/KVLZN", "EVERY", kvlzn))
    return src.missing(fn, "G/KVLZN", "EVERY");
  const bool havePointer = src.ints("G/IPVLZN", "EVERY", ipvlzn) && validPointer(ipvlzn, size_t(nzn), kvlzn.size());

  // Volumes, zone by zone.
  size_t next = 0;
  int32_t slot = 0;
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
      if (n < 1 || n > nvl || layout.m_volumeSlot[size_t(n)] >= 0 || slot >= nvl)
        return inconsistent(fn, "G/KVLZN", "EVERY");
      char *name = takeName(im, names[size_t(j)], -n);
      Region *region = Region_new(nullptr, nullptr, name, 3);
      zyrCString_free(name);
      if (region == nullptr)
        return 0;
      layout.m_volumeSlot[size_t(n)] = slot;
      layout.m_volumeOrder.push_back(n);
      im->m_regions[slot++] = region;
    }
  }
  const int32_t volumes = slot;

  // Surfaces, zone by zone: one per face set.
  int32_t major = 0, minor = 0, point = 0;
  const bool known = DefFile_getVersion(file, &major, &minor, &point) == 1;
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
      if (s < 1 || s > nsf || layout.m_surfaceSlot[size_t(s)] >= 0 || slot >= nvl + nsf)
        return inconsistent(fn, "G/KSFFS", zoneLocation(z));
      std::string base = zoneLocation(z) + ".FS" + std::to_string(i + 1);
      if (named)
        base = bySurface && s <= nfs ? names[size_t(s) - 1] : names[size_t(i)];
      char *name = takeName(im, base, s);
      Region *region = Region_new(nullptr, nullptr, name, 2);
      zyrCString_free(name);
      if (region == nullptr)
        return 0;
      layout.m_surfaceSlot[size_t(s)] = slot;
      im->m_regions[slot++] = region;
    }
    layout.m_zoneFaceSets[size_t(z)] = ksffs;
  }
  im->m_no3DRegions = volumes;
  im->m_no2DRegions = slot - volumes;
  im->m_noOfRegions = slot;

  // Connections.
  Ints partners;
  if (!src.ints("G/KSFSF", "EVERY", partners))
    return src.missing(fn, "G/KSFSF", "EVERY");
  for (int32_t s = 1; s <= nsf && size_t(s) <= partners.size(); ++s) {
    const int32_t p = partners[size_t(s) - 1];
    if (p <= s || p > nsf || layout.m_surfaceSlot[size_t(s)] < 0 || layout.m_surfaceSlot[size_t(p)] < 0)
      continue;
    Region *a = im->m_regions[layout.m_surfaceSlot[size_t(s)]], *b = im->m_regions[layout.m_surfaceSlot[size_t(p)]];
    if (Region_connectNeighbour(a, b) == nullptr) {
      internalError(fn, "Unable to connect regions %s and %s.\n", Region_getName(a), Region_getName(b));
      return 0;
    }
  }

  // Shells.
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

  ImportedMesh_resolveNames(im, layout.m_surfaceSlot.data(), layout.m_volumeSlot.data());

  Ints priorities;
  if (src.ints("G/KPRSF", "EVERY", priorities) && priorities.size() == size_t(nsf))
    for (int32_t s = 1; s <= nsf; ++s)
      if (priorities[size_t(s) - 1] != 0 && layout.m_surfaceSlot[size_t(s)] >= 0)
        Region_setPriority(im->m_regions[layout.m_surfaceSlot[size_t(s)]], priorities[size_t(s) - 1]);
  if (src.ints("G/KPRVL", "EVERY", priorities) && priorities.size() == size_t(nvl))
    for (int32_t n = 1; n <= nvl; ++n)
      if (priorities[size_t(n) - 1] != 0 && layout.m_volumeSlot[size_t(n)] >= 0)
        Region_setPriority(im->m_regions[layout.m_volumeSlot[size_t(n)]], priorities[size_t(n) - 1]);

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

struct SurfaceMesh {
  FaceMesh *m_faceMesh = nullptr;
  int32_t m_zone = 0;
  Ints m_zoneVertices; // per local vertex, its zone vertex number (only for connected surfaces)
};

void printEmptyFaceSets(const Ints &nfcfs) {
  zyrTrace_printf("One or more of the face sets was empty:\n\n");
  zyrTrace_printf("      FS      NFC\n");
  for (size_t i = 0; i < nfcfs.size(); ++i)
    zyrTrace_printf("%8d %8d\n", int32_t(i) + 1, nfcfs[i]);
}

} // namespace

int ImportedMesh_loadMeshFromDef(ImportedMesh *im, DefFile *file, const char *units) {
  ZYR_TRACE_BEGIN_DESC("Load a mesh from a definition file.");
  const char *fn = __func__;
  if (g_context == nullptr || g_context->m_source.m_file != file)
    return 0; // only inside ImportedMesh_importFromDef
  Source &src = g_context->m_source;
  const Layout &layout = g_context->m_layout;
  const bool debug = ZYR_TRACE_DEBUG(1);
  const double tolerance = g_getRelativeTolerance != nullptr ? g_getRelativeTolerance(im->m_model) : 0.005;
  const int32_t nzn = layout.m_nzn, nsf = layout.m_nsf, nvl = layout.m_nvl;
  int32_t nzif = 0;
  if (!src.integer("G/NZIF", "EVERY", nzif) || nzif < 0 || !validCount(nzif))
    nzif = 0;
  Ints kvlsf, ksfsf;
  if (!src.ints("G/KVLSF", "EVERY", kvlsf))
    return src.missing(fn, "G/KVLSF", "EVERY");
  if (!src.ints("G/KSFSF", "EVERY", ksfsf))
    return src.missing(fn, "G/KSFSF", "EVERY");
  if (kvlsf.size() != size_t(nsf) || ksfsf.size() != size_t(nsf))
    return inconsistent(fn, "G/KVLSF", "EVERY");

  // Units and scale.
  std::string unit = units != nullptr ? units : "m";
  double scale = 1.0;
  char *fileUnit = nullptr;
  float geoscl = 0.0f;
  if (DefFile_readIoString(src.m_file, "G/CGUNIT", "EVERY", 0, &fileUnit)) {
    if (!Units_isValid(fileUnit)) {
      zyrError *warning = zyrError_new(ZYR_W_INVALID_INPUT_IGNORED, fn, __FILE__, __LINE__);
      zyrError_addMessage(warning,
                          "The coordinates in the definition file are stored in an unrecognised\n"
                          "set of units, \"%s\". These have been ignored and the default units,\n"
                          "\"%s\", have been used instead.\n",
                          fileUnit, unit.c_str());
      zyrError_publish(warning);
    } else if (DefFile_readFloat(src.m_file, "G/GEOSCL", "EVERY", 0, &geoscl)) {
      unit = fileUnit;
      // Only a finite positive scale means anything; 0 or NaN would make every coordinate
      // infinite.
      if (std::isfinite(geoscl) && geoscl > 0.0f && std::isfinite(1.0 / double(geoscl))) {
        scale = 1.0 / double(geoscl);
      } else {
        zyrError *warning = zyrError_new(ZYR_W_INVALID_INPUT_IGNORED, fn, __FILE__, __LINE__);
        zyrError_addMessage(warning,
                            "The geometric scale of the definition file, %g, is not usable and has been\n"
                            "ignored.\n",
                            double(geoscl));
        zyrError_publish(warning);
      }
    }
  }
  zyrCString_free(fileUnit);

  std::vector<SurfaceMesh> surfaces(size_t(nsf) + 1);
  int32_t volumeSlot = 0;
  Ints zoneVertexCounts(size_t(nzn) + 1, 0);
  for (int32_t z = 1; z <= nzn; ++z) {
    const std::string zn = zoneLocation(z);
    int32_t nvx = 0, nes = 0, nel = 0;
    if (!src.integer("G/NVX", zn, nvx) || !validCount(nvx))
      return src.missing(fn, "G/NVX", zn);
    zoneVertexCounts[size_t(z)] = nvx;
    if (!src.integer("G/NES", zn, nes) || !validCount(nes))
      return src.missing(fn, "G/NES", zn);
    if (!src.integer("G/NEL", zn, nel) || !validCount(nel))
      return src.missing(fn, "G/NEL", zn);
    const Ints &ksffs = layout.m_zoneFaceSets[size_t(z)];
    const int32_t nfs = int32_t(ksffs.size());
    Ints nfcfs;
    if (nfs > 0 && !src.ints("G/NFCFS", zn, nfcfs))
      return src.missing(fn, "G/NFCFS", zn);
    if (nfcfs.size() < size_t(nfs))
      return inconsistent(fn, "G/NFCFS", zn);
    for (int32_t i = 0; i < nfs; ++i)
      if (nfcfs[size_t(i)] <= 0) {
        if (debug)
          printEmptyFaceSets(nfcfs);
        return 0;
      }
    Ints iltpes, kesvl, ipesvl;
    if (!src.ints("G/ILTPES", zn, iltpes) || !src.ints("G/KESVL", zn, kesvl) || !src.ints("G/IPESVL", zn, ipesvl))
      return src.missing(fn, "G/ILTPES", zn);
    if (iltpes.size() != size_t(nes) || ipesvl.empty() || !validPointer(ipesvl, ipesvl.size() - 1, kesvl.size()))
      return inconsistent(fn, "G/IPESVL", zn);
    const int32_t zoneVolumes = int32_t(ipesvl.size()) - 1;
    // The zone's element-set groups must be the volumes its names were given for.
    if (size_t(z) >= layout.m_zoneVolumes.size() || zoneVolumes != layout.m_zoneVolumes[size_t(z)] ||
        volumeSlot + zoneVolumes > im->m_no3DRegions)
      return inconsistent(fn, "G/IPESVL", zn);

    // Element sets: connectivity, element numbers, and the owner of every element.
    std::vector<Ints> connectivity(size_t(nes) + 1), elements(size_t(nes) + 1);
    Ints setOf(size_t(nel) + 1, 0), positionOf(size_t(nel) + 1, -1), volumeOfSet(size_t(nes) + 1, -1);
    for (int32_t e = 1; e <= nes; ++e) {
      const int32_t code = iltpes[size_t(e) - 1];
      if (code < 1 || code > 7)
        return 0;
      const std::string es = zn + "/ES" + std::to_string(e);
      if (!src.ints("G/KVXPE", es, connectivity[size_t(e)]))
        return src.missing(fn, "G/KVXPE", es);
      if (!src.ints("G/KELPE", es, elements[size_t(e)]))
        return src.missing(fn, "G/KELPE", es);
      const Ints &list = elements[size_t(e)];
      if (connectivity[size_t(e)].size() != list.size() * size_t(kVerticesOfCode[code]))
        return inconsistent(fn, "G/KVXPE", es);
      for (int32_t v : connectivity[size_t(e)])
        if (v < 1 || v > nvx)
          return inconsistent(fn, "G/KVXPE", es);
      for (size_t k = 0; k < list.size(); ++k) {
        const int32_t element = list[k];
        if (element < 1 || element > nel || setOf[size_t(element)] != 0)
          return inconsistent(fn, "G/KELPE", es);
        setOf[size_t(element)] = e;
        positionOf[size_t(element)] = int32_t(k);
      }
    }
    for (int32_t j = 0; j < zoneVolumes; ++j)
      for (int32_t i = ipesvl[size_t(j)] - 1; i < ipesvl[size_t(j) + 1] - 1; ++i) {
        const int32_t e = kesvl[size_t(i)];
        if (e < 1 || e > nes || volumeOfSet[size_t(e)] >= 0)
          return inconsistent(fn, "G/KESVL", zn);
        volumeOfSet[size_t(e)] = j;
      }

    // Coordinates (time -2 in results files, 0 as the writer puts them).
    double *xyz = nullptr;
    int32_t ncoords = 0;
    const std::string vx = zn + "/VX";
    if (!DefFile_readDoubles(src.m_file, "G/CRDVX", vx.c_str(), -2, &xyz, &ncoords) &&
        !DefFile_readDoubles(src.m_file, "G/CRDVX", vx.c_str(), 0, &xyz, &ncoords))
      return src.missing(fn, "G/CRDVX", vx);
    std::unique_ptr<double, void (*)(double *)> coordinates(xyz, [](double *p) { zyrMemory_free(p, "G/CRDVX"); });
    if (int64_t(ncoords) != 3 * int64_t(nvx))
      return inconsistent(fn, "G/CRDVX", vx);
    if (scale != 1.0)
      for (int64_t i = 0; i < 3 * int64_t(nvx); ++i)
        xyz[i] *= scale;

    for (int32_t j = 0; j < zoneVolumes; ++j, ++volumeSlot) {
      Region *region = im->m_regions[volumeSlot];
      const int32_t volumeNumber = layout.m_volumeOrder[size_t(volumeSlot)];
      // The zone vertices this volume's elements use, numbered from 0 in ascending order.
      Ints localOf(size_t(nvx) + 1, -1), zoneOf;
      for (int32_t e = 1; e <= nes; ++e)
        if (volumeOfSet[size_t(e)] == j)
          for (int32_t v : connectivity[size_t(e)])
            localOf[size_t(v)] = 0;
      for (int32_t v = 1; v <= nvx; ++v)
        if (localOf[size_t(v)] == 0) {
          localOf[size_t(v)] = int32_t(zoneOf.size());
          zoneOf.push_back(v);
        }
      const int32_t count = int32_t(zoneOf.size());
      double *own = count > 0 ? zyrMemory_allocateArray<double>(3 * int64_t(count), fn) : nullptr;
      for (int32_t k = 0; k < count; ++k)
        std::copy(xyz + 3 * int64_t(zoneOf[size_t(k)] - 1), xyz + 3 * int64_t(zoneOf[size_t(k)] - 1) + 3,
                  own + 3 * int64_t(k));
      ElementMesh *em = ElementMesh_new(region);
      if (em == nullptr || !Mesh_addElementMesh(im->m_mesh, em))
        return 0;
      Vertices *vertices = Vertices_new(3, unit.c_str(), 0, count, own);
      if (vertices == nullptr || !ElementMesh_setVertices(em, vertices))
        return 0;
      std::vector<ElementSet *> setOfNumber(size_t(nes) + 1, nullptr);
      for (int32_t e = 1; e <= nes; ++e) {
        if (volumeOfSet[size_t(e)] != j)
          continue;
        const Ints &list = connectivity[size_t(e)];
        int32_t *renumbered = zyrMemory_allocateArray<int32_t>(std::max<int64_t>(int64_t(list.size()), 1), fn);
        for (size_t k = 0; k < list.size(); ++k)
          renumbered[k] = localOf[size_t(list[k])];
        ElementSet *set = ElementSet_new(GmoContents_elementType(iltpes[size_t(e) - 1]), zyrConvention_WEZ5,
                                         int32_t(list.size()), renumbered);
        if (set == nullptr)
          return 0;
        ElementMesh_addElementSet(em, set);
        setOfNumber[size_t(e)] = set;
      }

      // Face sets of the zone whose surfaces bound this volume.
      for (int32_t i = 0; i < nfs; ++i) {
        const int32_t s = ksffs[size_t(i)];
        if (kvlsf[size_t(s) - 1] != volumeNumber)
          continue;
        Region *surface = im->m_regions[layout.m_surfaceSlot[size_t(s)]];
        FaceMesh *fm = FaceMesh_new(surface, em);
        if (fm == nullptr || !Mesh_addFaceMesh(im->m_mesh, fm))
          return 0;
        const int32_t nfc = nfcfs[size_t(i)];
        int32_t listed = i;
        Ints pairs;
        for (int attempt = 0;; ++attempt) {
          const std::string fs = zn + "/FS" + std::to_string(listed + 1);
          if (!src.ints("G/KELPF", fs, pairs))
            return src.missing(fn, "G/KELPF", fs);
          if (pairs.size() < 2 * size_t(nfc))
            return inconsistent(fn, "G/KELPF", fs);
          bool own = true;
          for (int32_t f = 0; f < nfc && own; ++f) {
            const int32_t element = pairs[2 * size_t(f)];
            if (element < 1 || element > nel || setOf[size_t(element)] == 0)
              return inconsistent(fn, "G/KELPF", fs);
            own = volumeOfSet[size_t(setOf[size_t(element)])] == j;
          }
          if (own)
            break;
          // The list describes the other side of a connected pair: take the partner's list.
          if (attempt > 0) {
            if (debug)
              zyrTrace_printf("Flip failed - too many attempts.\n");
            return 0;
          }
          const int32_t partner = ksfsf[size_t(s) - 1];
          if (partner == 0 || partner == s || partner < 1 || partner > nsf) {
            if (debug)
              zyrTrace_printf("Flip failed - couldn't identifyneighbouring surface side.\n");
            return 0;
          }
          auto at = std::find(ksffs.begin(), ksffs.end(), partner);
          if (at == ksffs.end()) {
            if (debug)
              zyrTrace_printf("Flip failed - couldn't identify face set associated with neighbouring surface side.\n");
            return 0;
          }
          const int32_t flipped = int32_t(at - ksffs.begin());
          if (debug)
            zyrTrace_printf("Face set flip: %d -> %d\n", listed + 1, flipped + 1);
          listed = flipped;
        }
        // One face set per element set, each taking its faces in list order.
        std::vector<int32_t> order;
        std::map<int32_t, std::pair<Ints, Ints>> bySet;
        for (int32_t f = 0; f < nfc; ++f) {
          const int32_t element = pairs[2 * size_t(f)];
          const int32_t e = setOf[size_t(element)];
          if (bySet.find(e) == bySet.end())
            order.push_back(e);
          bySet[e].first.push_back(positionOf[size_t(element)]);
          bySet[e].second.push_back(pairs[2 * size_t(f) + 1]);
        }
        for (int32_t e : order) {
          const auto &lists = bySet[e];
          const int32_t n = int32_t(lists.first.size());
          int32_t *faceElements = copyInts(lists.first.data(), n), *localFaces = copyInts(lists.second.data(), n);
          FaceSet *set = FaceSet_new(setOfNumber[size_t(e)], zyrConvention_WEZ5, n, faceElements, localFaces);
          if (set == nullptr)
            return 0;
          FaceMesh_addFaceSet(fm, set);
        }
        SurfaceMesh &sm = surfaces[size_t(s)];
        sm.m_faceMesh = fm;
        sm.m_zone = z;
        const int32_t partner = ksfsf[size_t(s) - 1];
        if (partner != 0 && partner != s) {
          int32_t *local = nullptr;
          const int32_t n = FaceMesh_getVertices(fm, 0, nullptr, &local);
          for (int32_t k = 0; k < n; ++k)
            sm.m_zoneVertices.push_back(local[k] >= 0 && local[k] < count ? zoneOf[size_t(local[k])] : 0);
          zyrMemory_free(local, fn);
        }
      }
    }
  }

  // Zone interfaces: which interface each surface lies in; the face pairs are read once each.
  std::vector<InterfaceData> interfaces(size_t(nzif) + 1);
  Ints interfaceOf(size_t(nsf) + 1, 0);
  bool interfaceData = false;
  for (int32_t k = 1; k <= nzif; ++k) {
    const std::string zif = "ZIF" + std::to_string(k);
    if (DefFile_exists(src.m_file, "G/KZFCZFC", zif.c_str(), 0) != 1)
      continue;
    Ints pairs;
    if (!src.ints("G/KZSFZSF", zif, pairs))
      continue;
    for (int32_t s : pairs)
      if (s >= 1 && s <= nsf)
        interfaceOf[size_t(s)] = k;
    interfaceData = true;
  }
  if (interfaceData)
    for (int32_t z = 1; z <= nzn; ++z)
      if (!src.integer("G/NVX", zoneLocation(z), zoneVertexCounts[size_t(z)])) {
        internalError(fn, "Unable to read [\"G/NVX\", \"%s\", 0].\n", zoneLocation(z).c_str());
        interfaceData = false;
        break;
      }

  if (debug)
    zyrTrace_printf(
        "Surface sides identified through interface maps:\n------------------------------------------------\n");
  for (int32_t s = 1; s <= nsf; ++s) {
    const int32_t p = ksfsf[size_t(s) - 1];
    if (p <= s || p > nsf || layout.m_surfaceSlot[size_t(s)] < 0 || layout.m_surfaceSlot[size_t(p)] < 0)
      continue;
    SurfaceMesh &a = surfaces[size_t(s)], &b = surfaces[size_t(p)];
    Region *ra = im->m_regions[layout.m_surfaceSlot[size_t(s)]], *rb = im->m_regions[layout.m_surfaceSlot[size_t(p)]];
    if (a.m_faceMesh == nullptr || b.m_faceMesh == nullptr) {
      internalError(fn, "Unable to determine face mesh associated with region %s.\n",
                    Region_getName(a.m_faceMesh == nullptr ? ra : rb));
      interfaceData = false;
      continue;
    }
    const int32_t nv = FaceMesh_getNoOfVertices(a.m_faceMesh, 0);
    if (nv != FaceMesh_getNoOfVertices(b.m_faceMesh, 0) ||
        FaceMesh_getNoOfFaces(a.m_faceMesh) != FaceMesh_getNoOfFaces(b.m_faceMesh) || nv < 1 ||
        a.m_zoneVertices.size() != size_t(nv) || b.m_zoneVertices.size() != size_t(nv))
      continue;
    int32_t *permutation = nullptr, *faceMap = nullptr;
    if (a.m_zone == b.m_zone) {
      permutation = zyrFindArrayPermutation(nv, a.m_zoneVertices.data(), b.m_zoneVertices.data());
      if (permutation != nullptr && debug)
        zyrTrace_printf("%8d <--> %8d: Shared mesh.\n", s, p);
    }
    if (permutation == nullptr && interfaceData && interfaceOf[size_t(s)] != 0 &&
        interfaceOf[size_t(s)] == interfaceOf[size_t(p)]) {
      InterfaceData &data = interfaces[size_t(interfaceOf[size_t(s)])];
      if (!data.m_read) {
        data.m_read = true;
        data.m_valid = src.ints("G/KZFCZFC", "ZIF" + std::to_string(interfaceOf[size_t(s)]), data.m_records) &&
                       data.m_records.size() % 12 == 0;
      }
      if (data.m_valid) {
        // From the zone with fewer vertices (the first surface's on a tie) to the other.
        const bool fromA = zoneVertexCounts[size_t(a.m_zone)] <= zoneVertexCounts[size_t(b.m_zone)];
        const SurfaceMesh &from = fromA ? a : b, &to = fromA ? b : a;
        const auto &translation = data.translation(from.m_zone, to.m_zone);
        Ints translated(static_cast<size_t>(nv), 0);
        bool complete = true;
        for (int32_t k = 0; k < nv && complete; ++k) {
          auto found = translation.find(from.m_zoneVertices[size_t(k)]);
          complete = found != translation.end();
          if (complete)
            translated[size_t(k)] = found->second;
        }
        if (complete) {
          // The map runs from the first surface's local vertices to the second's.
          permutation = fromA ? zyrFindArrayPermutation(nv, translated.data(), b.m_zoneVertices.data())
                              : zyrFindArrayPermutation(nv, a.m_zoneVertices.data(), translated.data());
        }
        if (permutation != nullptr && debug)
          zyrTrace_printf("%8d <--> %8d: Matched mesh ZIF.\n", s, p);
      }
    }
    if (permutation == nullptr) {
      if (FaceMesh_match(a.m_faceMesh, b.m_faceMesh, nullptr, tolerance, 0, &permutation, &faceMap) == 1 && debug)
        zyrTrace_printf("%8d <--> %8d: Geometrically matched mesh.\n", s, p);
    }
    Connection *connection = ImportedMesh_findCommonConnection(ra, rb);
    if (permutation == nullptr) {
      internalError(fn,
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

  if (debug) {
    FILE *log = zyrTrace_getLog();
    ElementMesh **elementMeshes = nullptr;
    const int32_t nem = Mesh_getElementMeshes(im->m_mesh, &elementMeshes);
    for (int32_t i = 0; i < nem; ++i)
      ElementMesh_print(elementMeshes[i], log);
    zyrMemory_free(elementMeshes, fn);
    FaceMesh **faceMeshes = nullptr;
    const int32_t nfm = Mesh_getFaceMeshes(im->m_mesh, &faceMeshes);
    for (int32_t i = 0; i < nfm; ++i)
      FaceMesh_print(faceMeshes[i], log);
    zyrMemory_free(faceMeshes, fn);
    Connection **connections = nullptr;
    const int32_t ncn = ImportedMesh_collectConnections(im->m_noOfRegions, im->m_regions, &connections);
    zyrTrace_printf("\nNo. of connections = %d\n", ncn);
    for (int32_t k = 0; k < ncn; ++k) {
      Region *side1 = nullptr, *side2 = nullptr;
      Connection_getSides(connections[k], &side1, &side2);
      zyrTrace_printf("\"%s\" <===> \"%s\"\n", Region_getName(side1), Region_getName(side2));
    }
    zyrMemory_free(connections, fn);
  }
  (void)nvl;
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
  DefFile *file = DefFile_new(fileName);
  if (file == nullptr)
    return 0;
  DirectContext context{{file, 0}, {}};
  DirectContext *previous = g_context;
  g_context = &context;
  int result = 0;
  int32_t nvx = 0, major = 0, minor = 0, point = 0;
  bool known = false;
  if (!context.m_source.integer("G/NVX", "ZN1", nvx)) {
    zyrError *error = zyrError_new(ZYR_U_INVALID_INPUT, __func__, __FILE__, __LINE__);
    zyrError_addMessage(error, "The definition/results file\n\n%s\n\ndoes not contain a valid mesh.\n", fileName);
    zyrError_publish(error);
  } else if (!versionAccepted(context.m_source, ZYR_TRACE_DEBUG(1), major, minor, point, known)) {
    result = 0; // declined: the caller tries the mesh reader
  } else if (!ImportedMesh_loadTopologyFromDef(im, file)) {
    internalError(__func__,
                  "The definition/results file\n\n%s\n\ndoes not contain a valid problem topology. Are you sure\n"
                  "that it contains a mesh?\n",
                  fileName);
  } else {
    result = ImportedMesh_loadMeshFromDef(im, file, units);
    if (result)
      Projection_new(file, units);
  }
  g_context = previous;
  DefFile_delete(file);
  return result;
}
