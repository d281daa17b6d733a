#include "Topology.h"

#include "Assembly.h"
#include "Boundary.h"
#include "Connection.h"
#include "HashSet.h"
#include "HashTable.h"
#include "LocationString.h"
#include "NameManager.h"
#include "Region.h"
#include "Set.h"
#include "Shell.h"
#include "TopologyReferences.h"
#include "zyrArrayUtilities.h"
#include "zyrCString.h"
#include "zyrError.h"
#include "zyrErrorCode.h"
#include "zyrMemory.h"
#include "zyrTrace.h"
#include "zyrUUID.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>
#include <vector>

namespace {

int s_insertingAssembly = 0;
int s_removingAssembly = 0;
int s_insertingRegion = 0;
int s_removingRegion = 0;
int s_addingAssemblyRegion = 0;
int s_removingAssemblyRegion = 0;

const char *const kRegionKeys[4] = {"0D regions", "1D regions", "2D regions", "3D regions"};
const int32_t kRegionSizeHints[4] = {0, 0, 1000, 100};

bool validDimension(int32_t d) { return d >= 0 && d <= 3; }

HashSet *regionsOf(Topology *topology, int32_t d) {
  if (topology->m_regions[d] == nullptr)
    topology->m_regions[d] = HashSet_new(kRegionSizeHints[d]);
  return topology->m_regions[d];
}

HashSet *assembliesOf(Topology *topology) {
  if (topology->m_assemblies == nullptr)
    topology->m_assemblies = HashSet_new(100);
  return topology->m_assemblies;
}

int32_t countOf(const HashSet *set) { return set != nullptr ? HashSet_getNoOfMembers(set) : 0; }

HashSet *readSet(Topology *topology, int32_t flag, const char *key, int32_t typeId, HashSet *current, int32_t sizeHint,
                 int *ok) {
  void **members = nullptr;
  int32_t count = 0;
  *ok &= TopologyReferences_readArray(topology, flag, key, typeId, &members, &count);
  if (count < 0)
    return current != nullptr ? current : HashSet_new(sizeHint);
  HashSet_delete(current);
  HashSet *set = HashSet_new(count > sizeHint ? count : sizeHint);
  for (int32_t i = 0; i < count; ++i)
    if (!HashSet_contains(set, members[i]))
      HashSet_add(set, members[i]);
  zyrMemory_free(members, __func__);
  return set;
}

const char *regionKey(const Region *region) {
  if (Region_getUserName(region) != nullptr)
    return Region_getUserName(region);
  if (Region_getBaseName(region) != nullptr)
    return Region_getBaseName(region);
  return " ";
}

const char *assemblyKey(const Assembly *assembly) {
  if (Assembly_getName(assembly) != nullptr)
    return Assembly_getName(assembly);
  if (Assembly_getBaseName(assembly) != nullptr)
    return Assembly_getBaseName(assembly);
  return " ";
}

// Names compare as strcmp does, a missing name first.
int compareNames(const char *a, const char *b) {
  if (a == nullptr || b == nullptr)
    return (a != nullptr) - (b != nullptr);
  return std::strcmp(a, b);
}

int compareNumbers(int32_t a, int32_t b) { return (a > b) - (a < b); }

// The array of a hash set's members in model order (none when it is empty).
template <class T> int32_t membersInModelOrder(const HashSet *set, T ***array, void (*sort)(int32_t, T **)) {
  *array = nullptr;
  if (countOf(set) == 0)
    return 0;
  const int32_t n = HashSet_toArray(set, reinterpret_cast<void ***>(array));
  sort(n, *array);
  return n;
}

// Sorts the array in place by the keys; lists them before and after when tracing asks for it.
template <class T>
void sortByKeys(int32_t count, T **items, const char *(*keyOf)(const T *), bool trace, const char *before,
                const char *after) {
  if (count < 1 || items == nullptr)
    return;
  std::vector<const char *> keys(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i)
    keys[static_cast<size_t>(i)] = keyOf(items[i]);
  FILE *log = trace ? zyrTrace_getLog() : nullptr;
  if (log != nullptr) {
    std::fputs(before, log);
    for (const char *key : keys)
      std::fprintf(log, "  %s\n", key);
  }
  std::vector<int> index(static_cast<size_t>(count));
  zyrSortIndexByStringKeys(1, count, keys.data(), index.data());
  std::vector<T *> copy(items, items + count);
  for (int32_t i = 0; i < count; ++i)
    items[i] = copy[static_cast<size_t>(index[static_cast<size_t>(i)])];
  if (log != nullptr) {
    std::fputs(after, log);
    for (int32_t i = 0; i < count; ++i)
      std::fprintf(log, "  %s\n", keyOf(items[i]));
    std::fflush(log);
  }
}

} // namespace

int64_t Topology_getSize() { return static_cast<int64_t>(sizeof(Topology)); }

// ---- life cycle and storage ---------------------------------------------------------------

Topology *Topology_new() {
  Topology *topology = static_cast<Topology *>(zyrObject_new("Topology"));
  if (topology == nullptr)
    return nullptr;
  topology->m_assemblies = HashSet_new(100);
  for (int32_t d = 0; d < 4; ++d)
    topology->m_regions[d] = HashSet_new(kRegionSizeHints[d]);
  zyrObject_setModified(topology);
  topology->m_nameManager = NameManager_new();
  zyrObject_setPointer(topology, "nameManager", topology->m_nameManager);
  return topology;
}

int Topology_delete(void *object) {
  Topology *topology = static_cast<Topology *>(object);
  if (zyrObject_canDelete(topology)) {
    // Members left behind lose their names with the name manager and must not point at a
    // freed topology.
    Region **regions = nullptr;
    const int32_t n = Topology_getRegions(topology, 15, &regions);
    for (int32_t i = 0; i < n; ++i) {
      Region_setUserName(regions[i], nullptr);
      regions[i]->m_topology = nullptr;
      zyrObject_setPointer(regions[i], "topology", nullptr);
    }
    zyrMemory_free(regions, __func__);
    Assembly **assemblies = nullptr;
    const int32_t m = Topology_getAssemblies(topology, &assemblies);
    for (int32_t i = 0; i < m; ++i) {
      assemblies[i]->m_userName = nullptr;
      assemblies[i]->m_topology = nullptr;
      zyrObject_setPointer(assemblies[i], "topology", nullptr);
    }
    zyrMemory_free(assemblies, __func__);
    if (topology->m_nameManager != nullptr)
      NameManager_delete(topology->m_nameManager);
  }
  topology->m_nameManager = nullptr;
  HashSet_delete(topology->m_assemblies);
  topology->m_assemblies = nullptr;
  for (int32_t d = 0; d < 4; ++d) {
    HashSet_delete(topology->m_regions[d]);
    topology->m_regions[d] = nullptr;
  }
  return zyrObject_delete(topology);
}

int Topology_dump(void *object) {
  // The reference arrays are stored in model order, as the hash sets are read back in any order.
  Topology *topology = static_cast<Topology *>(object);
  Assembly **assemblies = nullptr;
  const int32_t n = membersInModelOrder(topology->m_assemblies, &assemblies, zyrSortAssembliesInModelOrder);
  zyrObject_setPointers(topology, "assemblies", reinterpret_cast<void *const *>(assemblies), n);
  zyrMemory_free(assemblies, __func__);
  for (int32_t d = 0; d < 4; ++d) {
    Region **regions = nullptr;
    const int32_t m = membersInModelOrder(topology->m_regions[d], &regions, zyrSortRegionsInModelOrder);
    zyrObject_setPointers(topology, kRegionKeys[d], reinterpret_cast<void *const *>(regions), m);
    zyrMemory_free(regions, __func__);
  }
  return 1;
}

int Topology_restore(void *object, int32_t flag) {
  Topology *topology = static_cast<Topology *>(object);
  void *target = topology->m_nameManager;
  int ok = TopologyReferences_read(topology, flag, "nameManager", TOPOLOGY_TYPE_NAME_MANAGER, &target);
  topology->m_nameManager = static_cast<NameManager *>(target);
  topology->m_assemblies =
      readSet(topology, flag, "assemblies", TOPOLOGY_TYPE_ASSEMBLY, topology->m_assemblies, 100, &ok);
  for (int32_t d = 0; d < 4; ++d)
    topology->m_regions[d] =
        readSet(topology, flag, kRegionKeys[d], TOPOLOGY_TYPE_REGION, topology->m_regions[d], kRegionSizeHints[d], &ok);
  return ok;
}

void Topology_print(const Topology *topology, FILE *stream) {
  const char *equals = "========================================================\n";
  const char *dashes = "--------------------------------------------------------\n";
  const char *tildes = "~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~\n";
  std::fprintf(stream, "\n%s==                  Topology summary                  ==\n%s\n", equals, equals);
  int32_t counts[4];
  for (int32_t d = 0; d < 4; ++d)
    counts[d] = countOf(topology->m_regions[d]);
  std::fprintf(stream, "No. of assemblies = %d\n", countOf(topology->m_assemblies));
  std::fprintf(stream, "No. of regions    = %d (0D = %d, 1D = %d, 2D = %d, 3D = %d)\n",
               counts[0] + counts[1] + counts[2] + counts[3], counts[0], counts[1], counts[2], counts[3]);

  Assembly **assemblies = nullptr;
  const int32_t noOfAssemblies = Topology_getAssemblies(topology, &assemblies);
  Region **regions = nullptr;
  const int32_t noOfRegions = Topology_getRegions(topology, 15, &regions);
  std::fprintf(stream, "\n%sAssemblies:\n%sUser name                                ID\n%s", dashes, dashes, dashes);
  for (int32_t i = 0; i < noOfAssemblies; ++i)
    std::fprintf(stream, "%-40s %d\n",
                 Assembly_getName(assemblies[i]) != nullptr ? Assembly_getName(assemblies[i]) : "",
                 Assembly_getId(assemblies[i]));
  std::fprintf(stream, "\n%sPrimitive regions:\n%sD User name                                Original name\n%s", dashes,
               dashes, dashes);
  for (int32_t i = 0; i < noOfRegions; ++i) {
    const char *original = Region_getOriginalName(regions[i]);
    std::fprintf(stream, "%d %-40s %s\n", Region_getDimensionality(regions[i]), Region_getName(regions[i]),
                 original != nullptr ? original : "");
  }
  std::fprintf(stream, "\n%sAssemblies:\n%s", tildes, tildes);
  for (int32_t i = 0; i < noOfAssemblies; ++i)
    Assembly_print(assemblies[i], stream);
  std::fprintf(stream, "\n%sRegions:\n%s", tildes, tildes);
  for (int32_t i = 0; i < noOfRegions; ++i)
    Region_print(regions[i], stream);
  std::fprintf(stream, "\n%s", tildes);
  if (topology->m_nameManager != nullptr)
    NameManager_print(topology->m_nameManager, stream);
  std::fprintf(stream, "==============================================\n\n");
  std::fflush(stream);
  zyrMemory_free(assemblies, __func__);
  zyrMemory_free(regions, __func__);
}

// ---- membership ---------------------------------------------------------------------------

int Topology_insertAssembly(Topology *topology, Assembly *assembly) {
  if (s_insertingAssembly)
    return 1;
  HashSet *assemblies = assembliesOf(topology);
  if (HashSet_contains(assemblies, assembly))
    return 1;
  NameManager_createAssemblyName(topology->m_nameManager, assembly);
  HashSet_add(assemblies, assembly);
  zyrObject_setModified(topology);
  s_insertingAssembly = 1;
  Assembly_setTopology(assembly, topology);
  s_insertingAssembly = 0;
  return 1;
}

int Topology_removeAssembly(Topology *topology, Assembly *assembly) {
  if (s_removingAssembly)
    return 1;
  if (Assembly_getName(assembly) != nullptr)
    NameManager_removeName(topology->m_nameManager, Assembly_getName(assembly));
  if (topology->m_assemblies != nullptr)
    HashSet_remove(topology->m_assemblies, assembly);
  zyrObject_setModified(topology);
  s_removingAssembly = 1;
  Assembly_unsetTopology(assembly);
  s_removingAssembly = 0;
  return 1;
}

int Topology_insertRegion(Topology *topology, Region *region, const char *wantedName) {
  if (s_insertingRegion)
    return 1;
  const int32_t d = Region_getDimensionality(region);
  if (!validDimension(d))
    return 0;
  HashSet *regions = regionsOf(topology, d);
  if (HashSet_contains(regions, region))
    return 1;
  if (wantedName == nullptr || !NameManager_useRegionName(topology->m_nameManager, region, wantedName))
    if (!NameManager_createRegionName(topology->m_nameManager, region))
      return 0;
  HashSet_add(regions, region);
  zyrObject_setModified(topology);
  s_insertingRegion = 1;
  Region_setTopology(region, topology, wantedName);
  s_insertingRegion = 0;
  return 1;
}

int Topology_removeRegion(Topology *topology, Region *region) {
  if (s_removingRegion)
    return 1;
  if (Region_getUserName(region) != nullptr)
    NameManager_removeName(topology->m_nameManager, Region_getUserName(region));
  // A damaged record can file a region under another dimensionality than its own: it must leave
  // whichever set holds it.
  for (int32_t d = 0; d < 4; ++d)
    if (topology->m_regions[d] != nullptr)
      HashSet_remove(topology->m_regions[d], region);
  zyrObject_setModified(topology);
  s_removingRegion = 1;
  Region_unsetTopology(region);
  s_removingRegion = 0;
  return 1;
}

int Topology_addAssemblyRegion(Topology *, Region *region, Assembly *assembly) {
  if (s_addingAssemblyRegion)
    return 1;
  s_addingAssemblyRegion = 1;
  Assembly_addRegion(assembly, region);
  s_addingAssemblyRegion = 0;
  return 1;
}

int Topology_removeAssemblyRegion(Topology *, Region *region, Assembly *assembly) {
  if (s_removingAssemblyRegion)
    return 1;
  s_removingAssemblyRegion = 1;
  Assembly_removeRegion(assembly, region);
  s_removingAssemblyRegion = 0;
  return 1;
}

// ---- creation shortcuts -------------------------------------------------------------------

Assembly *Topology_addAssembly(Topology *topology, const char *baseName) { return Assembly_new(topology, baseName); }

Region *Topology_addRegion(Topology *topology, Assembly *assembly, const char *originalName, int32_t dimensionality) {
  return Region_new(topology, assembly, originalName, dimensionality);
}

Assembly *Topology_copyAssembly(Topology *, Assembly *assembly, const char *baseName) {
  HashTable *regionMap = HashTable_new(100, HashTable_hashInteger, HashTable_compareIntegers);
  HashTable *connectionMap = HashTable_new(100, HashTable_hashInteger, HashTable_compareIntegers);
  Assembly *copy = Assembly_duplicate(assembly, baseName, regionMap, connectionMap);
  HashTable_delete(regionMap);
  HashTable_delete(connectionMap);
  return copy;
}

namespace {

// Reports what the pre-pass cut from a stored record (its key fills the first conversion).
void reportCut(const void *record, const char *format, int32_t count) {
  char uuid[ZYR_UUID_BASE64_SIZE];
  zyrObject_getUUIDString(record, uuid);
  ZYR_ERROR_FOR(ZYR_I_INTERNAL_ERROR, "Topology_deleteRegions", format, uuid, count);
}

bool isSideOf(const Region *region, const Connection *connection) {
  return connection->m_sides[0] == region || connection->m_sides[1] == region;
}

bool refersTo(const Region *region, const Connection *connection) {
  return region->m_connection == connection ||
         (region->m_gluings != nullptr && Set_contains(region->m_gluings, connection));
}

// A damaged record can name a region as a side of a connection that the region does not refer
// to: deleting the region would leave the connection pointing at freed memory. Such sides are
// cleared, and reported, before anything is deleted.
void clearOneSidedConnections(Topology *topology, int32_t count, Region *const *deleted) {
  Connection **connections = nullptr;
  const int32_t n = Topology_getConnections(topology, &connections);
  for (int32_t i = 0; i < n; ++i) {
    Connection *connection = connections[i];
    bool cleared = false;
    for (Region *&side : connection->m_sides) {
      if (side != nullptr && !refersTo(side, connection)) {
        side = nullptr;
        cleared = true;
      }
    }
    if (!cleared)
      continue;
    void *sides[2] = {connection->m_sides[0], connection->m_sides[1]};
    zyrObject_setPointers(connection, "sides", sides, 2);
    char uuid[ZYR_UUID_BASE64_SIZE];
    zyrObject_getUUIDString(connection, uuid);
    ZYR_ERROR_FOR(ZYR_I_INTERNAL_ERROR, "Topology_deleteRegions",
                  "The stored connection %s names a region that does not refer to it; that side has "
                  "been left out.\n",
                  uuid);
  }
  zyrMemory_free(connections, __func__);
  // The other way round: a region referring to a connection that does not join it would keep it
  // after its sides delete it.
  // The regions deleted are looked at too: a damaged record can leave one out of the topology.
  Region **members = nullptr;
  const int32_t noOfMembers = Topology_getRegions(topology, 15, &members);
  std::vector<Region *> regions(members, members + (members != nullptr ? noOfMembers : 0));
  zyrMemory_free(members, __func__);
  std::unordered_set<Region *> known(regions.begin(), regions.end());
  for (int32_t i = 0; i < count; ++i)
    if (deleted[i] != nullptr && known.insert(deleted[i]).second)
      regions.push_back(deleted[i]);
  std::vector<Shell *> shells;
  std::unordered_set<Shell *> seen;
  for (Region *region : regions) {
    int32_t noOfCut = 0;
    if (region->m_connection != nullptr && !isSideOf(region, region->m_connection)) {
      region->m_connection = nullptr;
      zyrObject_setPointer(region, "connection", nullptr);
      ++noOfCut;
    }
    for (int32_t g = region->m_gluings != nullptr ? region->m_gluings->m_count - 1 : -1; g >= 0; --g) {
      Connection *gluing = static_cast<Connection *>(region->m_gluings->m_items[g]);
      if (!isSideOf(region, gluing)) {
        Set_remove(region->m_gluings, gluing);
        zyrObject_setModified(region);
        ++noOfCut;
      }
    }
    if (noOfCut > 0)
      reportCut(region, "The stored region %s refers to %d connection(s) that do not join it; they have been "
                           "left out.\n", noOfCut);
    // Its shell, destroyed with the boundary that lists it, must list the region too.
    Shell *shell = region->m_shell;
    if (shell != nullptr && (shell->m_regions == nullptr || !Set_contains(shell->m_regions, region))) {
      region->m_shell = nullptr;
      zyrObject_setPointer(region, "shell", nullptr);
      reportCut(region, "The stored region %s refers to a shell that does not hold it; it has been left out.\n", 0);
    }
    if (shell != nullptr && seen.insert(shell).second)
      shells.push_back(shell);
    // The shells its boundary destroys must not keep another boundary.
    Boundary *boundary = region->m_boundary;
    for (int32_t s = 0; boundary != nullptr && boundary->m_shells != nullptr && s < boundary->m_shells->m_count; ++s) {
      Shell *member = static_cast<Shell *>(boundary->m_shells->m_items[s]);
      if (member->m_boundary != boundary) {
        member->m_boundary = boundary;
        zyrObject_setPointer(member, "boundary", boundary);
      }
      if (seen.insert(member).second)
        shells.push_back(member);
    }
  }
  // Nor may those shells hold regions that do not know them: a region deleted leaves its own
  // shell only.
  for (Shell *shell : shells) {
    int32_t noOfStrangers = 0;
    for (int32_t r = shell->m_regions != nullptr ? shell->m_regions->m_count - 1 : -1; r >= 0; --r) {
      Region *held = static_cast<Region *>(shell->m_regions->m_items[r]);
      if (held->m_shell != shell) {
        Set_remove(shell->m_regions, held);
        ++noOfStrangers;
      }
    }
    if (noOfStrangers > 0) {
      zyrObject_setModified(shell);
      reportCut(shell, "The stored shell %s holds %d region(s) that do not refer to it; they have been left out.\n",
                noOfStrangers);
    }
  }
}

} // namespace

int Topology_deleteRegions(Topology *topology, int32_t count, Region **regions) {
  if (topology != nullptr && count > 0)
    clearOneSidedConnections(topology, count, regions);
  for (int32_t i = 0; i < count; ++i) {
    // A damaged record can leave a region in this topology without pointing back at it; it must
    // not stay in the sets once deleted.
    if (topology != nullptr && Region_getTopology(regions[i]) != topology)
      Topology_removeRegion(topology, regions[i]);
    Region_delete(regions[i]);
  }
  return 1;
}

// ---- names --------------------------------------------------------------------------------

int Topology_changeAssemblyName(Topology *topology, Assembly *assembly, const char *name, int32_t flag) {
  return NameManager_changeAssemblyName(topology->m_nameManager, assembly, name, flag);
}

int Topology_changeRegionName(Topology *topology, Region *region, const char *name, int32_t flag) {
  return NameManager_changeRegionName(topology->m_nameManager, region, name, flag);
}

Assembly *Topology_findAssembly(const Topology *topology, const char *name) {
  int32_t kind = NAME_KIND_UNKNOWN;
  void *object = NameManager_lookupName(topology->m_nameManager, name, &kind);
  return kind == NAME_KIND_ASSEMBLY ? static_cast<Assembly *>(object) : nullptr;
}

Region *Topology_findRegion(const Topology *topology, const char *name) {
  int32_t kind = NAME_KIND_UNKNOWN;
  void *object = NameManager_lookupName(topology->m_nameManager, name, &kind);
  return kind == NAME_KIND_REGION ? static_cast<Region *>(object) : nullptr;
}

NameManager *Topology_getNameManager(const Topology *topology) {
  return topology != nullptr ? topology->m_nameManager : nullptr;
}

int32_t Topology_getNoOfCompositeNames(const Topology *topology) {
  return NameManager_getNoOfCompositeNames(topology->m_nameManager);
}

int32_t Topology_getCompositeNames(const Topology *topology, char ***names) {
  return NameManager_getCompositeNames(topology->m_nameManager, names);
}

// ---- queries ------------------------------------------------------------------------------

int32_t Topology_getNoOfAssemblies(const Topology *topology) { return countOf(topology->m_assemblies); }

int32_t Topology_getAssemblies(const Topology *topology, Assembly ***assemblies) {
  return membersInModelOrder(topology->m_assemblies, assemblies, zyrSortAssembliesInModelOrder);
}

int32_t Topology_getNoOfRegions(const Topology *topology, int32_t mask) {
  int32_t n = 0;
  for (int32_t d = 0; d < 4; ++d)
    if (mask & (1 << d))
      n += countOf(topology->m_regions[d]);
  return n;
}

int32_t Topology_getRegions(const Topology *topology, int32_t mask, Region ***regions) {
  *regions = nullptr;
  const int32_t n = Topology_getNoOfRegions(topology, mask);
  if (n < 1)
    return 0;
  Region **out = zyrMemory_allocateArray<Region *>(n, __func__);
  int32_t at = 0;
  for (int32_t d = 0; d < 4; ++d) {
    const HashSet *set = topology->m_regions[d];
    if (!(mask & (1 << d)) || set == nullptr)
      continue;
    for (int32_t b = 0; b < set->m_n; ++b)
      for (const HashSetEntry *e = set->m_buckets[b]; e != nullptr; e = e->m_next)
        out[at++] = static_cast<Region *>(e->m_item);
  }
  zyrSortRegionsInModelOrder(at, out);
  *regions = out;
  return at;
}

int32_t Topology_getConnections(const Topology *topology, Connection ***connections) {
  *connections = nullptr;
  Region **regions = nullptr;
  const int32_t n = Topology_getRegions(topology, 15, &regions);
  Set *collected = Set_new(5);
  for (int32_t i = 0; i < n; ++i)
    Region_collectConnections(regions[i], collected);
  zyrMemory_free(regions, __func__);
  const int32_t count = Set_toArray(collected, reinterpret_cast<void ***>(connections));
  Set_delete(collected);
  return count;
}

int32_t Topology_clump(Topology *topology, Set *regions) {
  int32_t created = 0;
  while (Set_getNoOfMembers(regions) > 0) {
    Region *first = static_cast<Region *>(regions->m_items[0]);
    Assembly *assembly = Assembly_new(topology, nullptr);
    if (assembly == nullptr)
      break;
    ++created;
    Assembly_addRegion(assembly, first);
    Assembly_closeAndRemove(assembly, regions);
    // A region the assembly could not take must not be met again.
    Set_remove(regions, first);
  }
  return created;
}

// ---- locations ----------------------------------------------------------------------------

int Topology_resolveLocationNames(Topology *topology, int32_t noOfNames, char *const *names, int32_t ignoreUnknown,
                                  int32_t *count, Region ***regions) {
  *count = 0;
  *regions = nullptr;
  HashSet *result = HashSet_new(10);
  NameManager *nm = topology->m_nameManager;
  int ok = 1;
  for (int32_t i = 0; ok && i < noOfNames; ++i) {
    const char *name = names[i];
    int32_t kind = NAME_KIND_UNKNOWN;
    void *object = NameManager_lookupName(nm, name, &kind);
    switch (kind) {
    case NAME_KIND_UNKNOWN:
      if (!ignoreUnknown) {
        ZYR_ERROR(ZYR_U_UNRECOGNISED_NAME, "The region name \"%s\" was not recognised.\n", name != nullptr ? name : "");
        ok = 0;
      }
      break;
    case NAME_KIND_ASSEMBLY: {
      Region **members = nullptr;
      const int32_t n = Assembly_getRegions(static_cast<Assembly *>(object), 15, &members);
      for (int32_t j = 0; j < n; ++j)
        HashSet_add(result, members[j]);
      zyrMemory_free(members, __func__);
      break;
    }
    case NAME_KIND_REGION:
      HashSet_add(result, object);
      break;
    default:
      ok = NameManager_resolveName(nm, name, 1, ignoreUnknown, result);
      break;
    }
  }
  if (ok) {
    *count = HashSet_toArray(result, reinterpret_cast<void ***>(regions));
    zyrSortRegionsInModelOrder(*count, *regions);
  }
  HashSet_delete(result);
  return ok;
}

int Topology_parseAndResolveLocation(Topology *topology, const char *location, int32_t ignoreUnknown, int32_t *count,
                                     Region ***regions) {
  *count = 0;
  *regions = nullptr;
  int32_t noOfNames = 0;
  char **names = nullptr;
  const int parsed = LocationString_parse(location, &noOfNames, &names);
  if (parsed != 1)
    return parsed;
  const int status = Topology_resolveLocationNames(topology, noOfNames, names, ignoreUnknown, count, regions);
  zyrCStringArray_free(names, static_cast<uint64_t>(noOfNames));
  return status;
}

int Topology_resolveLocation(Topology *topology, const char *location, int32_t expand, int32_t allowEmpty,
                             int32_t ignoreUnknown, int32_t *count, Region ***regions) {
  *count = 0;
  *regions = nullptr;
  int32_t n = 0;
  Region **resolved = nullptr;
  const int status = Topology_parseAndResolveLocation(topology, location, ignoreUnknown, &n, &resolved);
  if (status != 1)
    return status;
  if (expand && n > 0) {
    // Every volume gives way to the regions bounding it: kept entries move down, the bounding
    // regions are appended after the resolved ones and then follow the kept ones.
    int64_t size = n;
    for (int32_t i = 0; i < n; ++i)
      if (Region_getDimensionality(resolved[i]) == 3)
        size += Region_getNoOfBoundingRegions(resolved[i]);
    if (size > INT32_MAX) {
      zyrMemory_free(resolved, __func__);
      ZYR_ERROR(ZYR_U_INVALID_INPUT, "Location \"%s\" expands to too many regions.\n", location);
      return 0;
    }
    resolved = zyrMemory_reallocateArray<Region *>(resolved, size, __func__);
    int32_t kept = 0, appended = 0;
    for (int32_t i = 0; i < n; ++i) {
      Region *region = resolved[i];
      if (Region_getDimensionality(region) != 3) {
        resolved[kept++] = region;
        continue;
      }
      Region **bounding = nullptr;
      const int32_t b = Region_getBoundingRegions(region, &bounding);
      for (int32_t j = 0; j < b; ++j)
        resolved[n + appended++] = bounding[j];
      zyrMemory_free(bounding, __func__);
    }
    std::memmove(resolved + kept, resolved + n, sizeof(Region *) * static_cast<size_t>(appended));
    n = kept + appended;
    if (n == 0) {
      zyrMemory_free(resolved, __func__);
      resolved = nullptr;
    }
  }
  if (!allowEmpty && n == 0) {
    ZYR_ERROR(ZYR_U_EMPTY_LOCATION, "Location \"%s\" is empty.\n", location);
    zyrMemory_free(resolved, __func__);
    return 0;
  }
  *count = n;
  *regions = resolved;
  return 1;
}

// ---- combining ----------------------------------------------------------------------------

int Topology_combineTopologies(Topology *topology, Topology *other, int32_t count, Assembly **assemblies) {
  NameManager *nm = topology->m_nameManager;
  const size_t given = count > 0 ? static_cast<size_t>(count) : 0;
  std::vector<char *> formerNames(given, nullptr);
  std::vector<int> reserved(given, 0);
  std::vector<Assembly *> clashes;
  for (size_t i = 0; i < given; ++i) {
    formerNames[i] = zyrCString_clone(Assembly_getName(assemblies[i]));
    reserved[i] = formerNames[i] != nullptr ? NameManager_reserveName(nm, formerNames[i]) : 0;
    if (!reserved[i])
      clashes.push_back(assemblies[i]);
  }

  Region **moved = nullptr;
  const int32_t noOfMoved = Topology_getRegions(other, 15, &moved);
  std::vector<char *> movedNames(static_cast<size_t>(noOfMoved), nullptr);
  for (int32_t i = 0; i < noOfMoved; ++i) {
    movedNames[static_cast<size_t>(i)] = zyrCString_clone(Region_getUserName(moved[i]));
    Region_unsetTopology(moved[i]);
    Region_setTopology(moved[i], topology, movedNames[static_cast<size_t>(i)]);
  }

  std::vector<char *> clashesBefore, clashesAfter;
  for (Assembly *assembly : clashes)
    clashesBefore.push_back(zyrCString_clone(Assembly_getName(assembly)));

  Assembly **others = nullptr;
  const int32_t noOfOthers = Topology_getAssemblies(other, &others);
  zyrSortAssembliesAlphabetically(noOfOthers, others);
  for (int32_t i = 0; i < noOfOthers; ++i) {
    Assembly_unsetTopology(others[i]);
    Assembly_setTopology(others[i], topology);
  }

  for (Assembly *assembly : clashes)
    clashesAfter.push_back(zyrCString_clone(Assembly_getName(assembly)));

  for (size_t i = 0; i < given; ++i) {
    if (!reserved[i])
      continue;
    NameManager_releaseName(nm, formerNames[i]);
    Assembly_changeName(assemblies[i], formerNames[i], 0);
  }

  const int transferred = NameManager_transferCompositeNames(nm, other->m_nameManager, noOfMoved, moved,
                                                             movedNames.data(), static_cast<int32_t>(clashes.size()),
                                                             clashesBefore.data(), clashesAfter.data());

  for (char *name : formerNames)
    zyrCString_free(name);
  for (char *name : movedNames)
    zyrCString_free(name);
  for (char *name : clashesBefore)
    zyrCString_free(name);
  for (char *name : clashesAfter)
    zyrCString_free(name);
  zyrMemory_free(moved, __func__);
  zyrMemory_free(others, __func__);
  Topology_delete(other);
  // A failed transfer is the caller's to roll back: the composite names were not moved.
  return transferred ? 1 : 0;
}

// ---- sorting ------------------------------------------------------------------------------

void zyrSortRegionsAlphabetically(int32_t count, Region **regions) {
  ZYR_TRACE_BEGIN_DESC("Sort a list of regions so their names are in alphabetical order.");
  sortByKeys<Region>(count, regions, regionKey, ZYR_TRACE_DEBUG(1),
                     "\nRegions before sorting:\n-----------------------\n",
                     "\nRegions after sorting alphabetically:\n-------------------------------------\n");
}

void zyrSortAssembliesAlphabetically(int32_t count, Assembly **assemblies) {
  ZYR_TRACE_BEGIN_DESC("Sort a list of assemblies so their names are in alphabetical order.");
  sortByKeys<Assembly>(count, assemblies, assemblyKey, ZYR_TRACE_DEBUG(1),
                       "\nAssemblies before sorting:\n--------------------------\n",
                       "\nAssemblies after sorting alphabetically:\n----------------------------------------\n");
}

int zyrCompareRegions(const Region *a, const Region *b) {
  if (a == nullptr || b == nullptr)
    return (a != nullptr) - (b != nullptr);
  int c = compareNumbers(Region_getDimensionality(a), Region_getDimensionality(b));
  if (c == 0)
    c = compareNumbers(Region_getId(a), Region_getId(b));
  if (c == 0)
    c = compareNames(Region_getUserName(a), Region_getUserName(b));
  if (c == 0)
    c = compareNames(Region_getBaseName(a), Region_getBaseName(b));
  if (c == 0)
    c = compareNames(Region_getOriginalName(a), Region_getOriginalName(b));
  return c;
}

int zyrCompareAssemblies(const Assembly *a, const Assembly *b) {
  if (a == nullptr || b == nullptr)
    return (a != nullptr) - (b != nullptr);
  int c = compareNumbers(Assembly_getId(a), Assembly_getId(b));
  if (c == 0)
    c = compareNames(Assembly_getName(a), Assembly_getName(b));
  if (c == 0)
    c = compareNames(Assembly_getBaseName(a), Assembly_getBaseName(b));
  return c;
}

int zyrCompareConnections(const Connection *a, const Connection *b) {
  if (a == nullptr || b == nullptr)
    return (a != nullptr) - (b != nullptr);
  const int c = zyrCompareRegions(a->m_sides[0], b->m_sides[0]);
  return c != 0 ? c : zyrCompareRegions(a->m_sides[1], b->m_sides[1]);
}

void zyrSortRegionsInModelOrder(int32_t count, Region **regions) {
  if (count > 1 && regions != nullptr)
    std::stable_sort(regions, regions + count,
                     [](const Region *a, const Region *b) { return zyrCompareRegions(a, b) < 0; });
}

void zyrSortAssembliesInModelOrder(int32_t count, Assembly **assemblies) {
  if (count > 1 && assemblies != nullptr)
    std::stable_sort(assemblies, assemblies + count,
                     [](const Assembly *a, const Assembly *b) { return zyrCompareAssemblies(a, b) < 0; });
}
