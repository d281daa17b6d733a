#include "Assembly.h"

#include "HashTable.h"
#include "Region.h"
#include "Set.h"
#include "Topology.h"
#include "TopologyReferences.h"
#include "vsnNameEncoding.h"
#include "zyrCString.h"
#include "zyrMemory.h"
#include "zyrUUID.h"

#include <cctype>
#include <cstring>

namespace {

int s_addingRegion = 0;
int s_removingRegion = 0;
int s_settingTopology = 0;
int s_unsettingTopology = 0;

Set *regionsOf(Assembly *assembly) {
  if (assembly->m_regions == nullptr)
    assembly->m_regions = Set_new(10);
  return assembly->m_regions;
}

bool selected(int32_t mask, const Region *region) {
  const int32_t d = Region_getDimensionality(region);
  return d >= 0 && d < 31 && (mask & (1 << d)) != 0;
}

// Adds a candidate met while closing: only a region without assembly is taken.
void take(Assembly *assembly, Region *candidate, Set *next) {
  if (candidate == nullptr || Region_getAssembly(candidate) != nullptr)
    return;
  if (Region_setAssembly(candidate, assembly))
    Set_add(next, candidate);
}

HashTable *identityMap() { return HashTable_new(100, HashTable_hashInteger, HashTable_compareIntegers); }

} // namespace

int64_t Assembly_getSize() { return static_cast<int64_t>(sizeof(Assembly)); }

// ---- life cycle ---------------------------------------------------------------------------

Assembly *Assembly_new(Topology *topology, const char *baseName) {
  Assembly *assembly = static_cast<Assembly *>(zyrObject_new("Assembly"));
  if (assembly == nullptr)
    return nullptr;
  assembly->m_baseName = zyrCString_clone(baseName);
  assembly->m_regions = Set_new(10);
  if (topology != nullptr)
    Assembly_setTopology(assembly, topology);
  zyrObject_setModified(assembly);
  return assembly;
}

int Assembly_delete(void *object) {
  Assembly *assembly = static_cast<Assembly *>(object);
  if (zyrObject_canDelete(assembly)) {
    // Regions a caller left behind stay in the topology but must not point at a freed assembly.
    void **regions = nullptr;
    const int32_t n = assembly->m_regions != nullptr ? Set_toArray(assembly->m_regions, &regions) : 0;
    for (int32_t i = 0; i < n; ++i)
      Assembly_removeRegion(assembly, static_cast<Region *>(regions[i]));
    zyrMemory_free(regions, __func__);
    Assembly_unsetTopology(assembly);
  }
  zyrCString_free(assembly->m_baseName);
  assembly->m_baseName = nullptr;
  Set_delete(assembly->m_regions);
  assembly->m_regions = nullptr;
  return zyrObject_delete(assembly);
}

int Assembly_dump(void *object) {
  Assembly *assembly = static_cast<Assembly *>(object);
  return zyrObject_setSet(assembly, "regions", assembly->m_regions);
}

int Assembly_restore(void *object, int32_t flag) {
  Assembly *assembly = static_cast<Assembly *>(object);
  void *target = assembly->m_topology;
  int ok = TopologyReferences_read(assembly, flag, "topology", TOPOLOGY_TYPE_TOPOLOGY, &target);
  assembly->m_topology = static_cast<Topology *>(target);
  ok &= TopologyReferences_readSet(assembly, flag, "regions", TOPOLOGY_TYPE_REGION, &assembly->m_regions);
  regionsOf(assembly);
  zyrObject_getInt(assembly, flag, "id", &assembly->m_id);
  return ok;
}

void Assembly_print(const Assembly *assembly, FILE *stream) {
  const char *rule = "==============================================\n";
  const char *dashes = "----------------------------------------------\n";
  char uuid[ZYR_UUID_BASE64_SIZE];
  std::fprintf(stream, "\n%sAssembly: \"%s\" (%p)\n%s\n", rule,
               assembly->m_userName != nullptr ? assembly->m_userName : "", static_cast<const void *>(assembly), rule);
  zyrObject_getUUIDString(assembly, uuid);
  std::fprintf(stream, "UUID:        %s\n", uuid);
  std::fprintf(stream, "User name:      \"%s\"\n", assembly->m_userName != nullptr ? assembly->m_userName : "");
  std::fprintf(stream, "Base name:  \"%s\"\n", assembly->m_baseName != nullptr ? assembly->m_baseName : "DEFAULT");
  std::fprintf(stream, "ID:          %d\n", assembly->m_id);
  zyrObject_getUUIDString(assembly->m_topology, uuid);
  std::fprintf(stream, "Topology:    %s\n", uuid);
  const int32_t n = assembly->m_regions != nullptr ? assembly->m_regions->m_count : 0;
  std::fprintf(stream, "No. of regions = %d\n\n", n);
  if (n > 0) {
    std::fprintf(stream, "%sRegions:\n%s", dashes, dashes);
    for (int32_t i = 0; i < n; ++i) {
      const Region *region = static_cast<const Region *>(assembly->m_regions->m_items[i]);
      std::fprintf(stream, "%d %s\n", Region_getDimensionality(region), Region_getName(region));
    }
    std::fputs(dashes, stream);
  }
  std::fprintf(stream, "%s\n", rule);
  std::fflush(stream);
}

// ---- names --------------------------------------------------------------------------------

void Assembly_setUniqueName(Assembly *assembly, char *name) {
  assembly->m_userName = name;
  zyrCString_free(assembly->m_baseName);
  assembly->m_baseName = name != nullptr ? vsnUnencodeName(name) : nullptr;
  char *base = assembly->m_baseName;
  if (base == nullptr)
    return;
  // Cut at the leftmost blank of the trailing run of digits and blanks ("Rotor 2" -> "Rotor").
  size_t cut = std::strlen(base);
  for (size_t i = std::strlen(base); i > 0; --i) {
    unsigned char c = static_cast<unsigned char>(base[i - 1]);
    if (std::isspace(c))
      cut = i - 1;
    else if (!std::isdigit(c))
      break;
  }
  base[cut] = '\0';
}

void Assembly_setId(Assembly *assembly, int32_t id) {
  assembly->m_id = id;
  zyrObject_setInt(assembly, "id", id);
}

int Assembly_changeName(Assembly *assembly, const char *name, int32_t flag) {
  if (assembly->m_topology == nullptr)
    return 0;
  return Topology_changeAssemblyName(assembly->m_topology, assembly, name, flag);
}

const char *Assembly_getName(const Assembly *assembly) { return assembly->m_userName; }
int32_t Assembly_getId(const Assembly *assembly) { return assembly->m_id; }
const char *Assembly_getBaseName(const Assembly *assembly) { return assembly->m_baseName; }
Topology *Assembly_getTopology(const Assembly *assembly) { return assembly->m_topology; }

// ---- links --------------------------------------------------------------------------------

int Assembly_addRegion(Assembly *assembly, Region *region) {
  if (s_addingRegion)
    return 1;
  if (region == nullptr)
    return 0;
  s_addingRegion = 1;
  const int accepted = Region_setAssembly(region, assembly);
  s_addingRegion = 0;
  if (!accepted)
    return 0;
  Set_add(regionsOf(assembly), region);
  zyrObject_setModified(assembly);
  // The region follows the assembly's topology.
  Topology *topology = assembly->m_topology;
  Topology *current = Region_getTopology(region);
  int followed = 1;
  if (current != nullptr && current != topology)
    followed = Region_unsetTopology(region);
  if (followed && topology != nullptr) {
    followed = Region_setTopology(region, topology, nullptr);
    if (followed)
      Topology_addAssemblyRegion(topology, region, assembly);
  }
  if (!followed) {
    Assembly_removeRegion(assembly, region);
    return 0;
  }
  return 1;
}

int Assembly_removeRegion(Assembly *assembly, Region *region) {
  if (s_removingRegion)
    return 1;
  if (region == nullptr)
    return 1;
  s_removingRegion = 1;
  if (assembly->m_topology != nullptr)
    Topology_removeAssemblyRegion(assembly->m_topology, region, assembly);
  if (Region_getAssembly(region) == assembly)
    Region_unsetAssembly(region);
  s_removingRegion = 0;
  if (assembly->m_regions != nullptr)
    Set_remove(assembly->m_regions, region);
  zyrObject_setModified(assembly);
  return 1;
}

int Assembly_setTopology(Assembly *assembly, Topology *topology) {
  if (s_settingTopology || assembly->m_topology == topology)
    return 1;
  if (topology == nullptr)
    return Assembly_unsetTopology(assembly);
  if (assembly->m_topology != nullptr && !Assembly_unsetTopology(assembly))
    return 0;
  s_settingTopology = 1;
  const int accepted = Topology_insertAssembly(topology, assembly);
  s_settingTopology = 0;
  if (!accepted)
    return 0;
  assembly->m_topology = topology;
  zyrObject_setPointer(assembly, "topology", topology);
  return 1;
}

int Assembly_unsetTopology(Assembly *assembly) {
  if (s_unsettingTopology || assembly->m_topology == nullptr)
    return 1;
  s_unsettingTopology = 1;
  const int accepted = Topology_removeAssembly(assembly->m_topology, assembly);
  s_unsettingTopology = 0;
  if (!accepted)
    return 0;
  assembly->m_topology = nullptr;
  zyrObject_setPointer(assembly, "topology", nullptr);
  return 1;
}

// ---- regions ------------------------------------------------------------------------------

int32_t Assembly_getNoOfRegions(const Assembly *assembly, int32_t mask) {
  const Set *regions = assembly->m_regions;
  if (regions == nullptr)
    return 0;
  if (mask == 15)
    return regions->m_count;
  int32_t n = 0;
  for (int32_t i = 0; i < regions->m_count; ++i)
    n += selected(mask, static_cast<const Region *>(regions->m_items[i])) ? 1 : 0;
  return n;
}

int32_t Assembly_getRegions(const Assembly *assembly, int32_t mask, Region ***regions) {
  *regions = nullptr;
  const int32_t n = Assembly_getNoOfRegions(assembly, mask);
  if (n < 1)
    return 0;
  Region **out = zyrMemory_allocateArray<Region *>(n, __func__);
  int32_t at = 0;
  for (int32_t i = 0; i < assembly->m_regions->m_count && at < n; ++i) {
    Region *region = static_cast<Region *>(assembly->m_regions->m_items[i]);
    if (mask == 15 || selected(mask, region))
      out[at++] = region;
  }
  *regions = out;
  return at;
}

int32_t Assembly_close(Assembly *assembly) {
  Set *frontier = Set_newCopy(regionsOf(assembly));
  Set *next = Set_new(100);
  Set *scratch = Set_new(100);
  const int32_t before = assembly->m_regions->m_count;
  while (Set_getNoOfMembers(frontier) > 0) {
    Set_clear(next);
    for (int32_t i = 0; i < frontier->m_count; ++i) {
      Region *region = static_cast<Region *>(frontier->m_items[i]);
      take(assembly, Region_getNeighbour(region), next);
      Region **glued = nullptr;
      const int32_t n = Region_getGluedNeighbour(region, &glued);
      for (int32_t g = 0; g < n; ++g)
        take(assembly, glued[g], next);
      zyrMemory_free(glued, __func__);
      take(assembly, Region_getBoundedRegion(region), next);
      Set_clear(scratch);
      Region_getComponentRegions(region, scratch);
      for (int32_t c = 0; c < scratch->m_count; ++c)
        take(assembly, static_cast<Region *>(scratch->m_items[c]), next);
    }
    Set *swap = frontier;
    frontier = next;
    next = swap;
  }
  Set_delete(frontier);
  Set_delete(next);
  Set_delete(scratch);
  return assembly->m_regions->m_count - before;
}

int32_t Assembly_closeAndRemove(Assembly *assembly, Set *regions) {
  const int32_t added = Assembly_close(assembly);
  for (int32_t i = 0; i < assembly->m_regions->m_count; ++i)
    Set_remove(regions, assembly->m_regions->m_items[i]);
  return added;
}

int Assembly_merge(Assembly *target, Assembly *other) {
  if (target == other)
    return 1;
  void **regions = nullptr;
  const int32_t n = other->m_regions != nullptr ? Set_toArray(other->m_regions, &regions) : 0;
  int ok = 1;
  for (int32_t i = 0; i < n; ++i) {
    Region *region = static_cast<Region *>(regions[i]);
    Assembly_removeRegion(other, region);
    if (!Assembly_addRegion(target, region))
      ok = 0;
  }
  zyrMemory_free(regions, __func__);
  Assembly_delete(other);
  return ok;
}

Assembly *Assembly_duplicate(Assembly *assembly, const char *baseName, HashTable *regionMap, HashTable *connectionMap) {
  Assembly *copy = Assembly_new(assembly->m_topology, baseName != nullptr ? baseName : assembly->m_baseName);
  if (copy == nullptr)
    return nullptr;
  void **regions = nullptr;
  const int32_t n = assembly->m_regions != nullptr ? Set_toArray(assembly->m_regions, &regions) : 0;
  for (int32_t i = 0; i < n; ++i) {
    Region *region = static_cast<Region *>(regions[i]);
    Region *regionCopy = Region_duplicate(region);
    Region_setAssembly(regionCopy, copy);
    HashTable_insert(regionMap, region, regionCopy);
  }
  for (int32_t i = 0; i < n; ++i)
    Region_duplicateTopology(static_cast<Region *>(regions[i]), regionMap, 0, connectionMap);
  zyrMemory_free(regions, __func__);
  return copy;
}

int32_t Assembly_partialDuplicate(Assembly *assembly, Set *regions, int32_t glue) {
  Set *part = Set_new(100);
  for (int32_t i = 0; i < regions->m_count; ++i) {
    Region *region = static_cast<Region *>(regions->m_items[i]);
    Region_getComponentRegions(region, part);
    Set_add(part, region);
  }
  Set *copies = Set_new(100);
  HashTable *map = identityMap();
  for (int32_t i = 0; i < part->m_count; ++i) {
    Region *region = static_cast<Region *>(part->m_items[i]);
    Region *copy = Region_duplicate(region);
    Set_add(copies, copy);
    HashTable_insert(map, region, copy);
    HashTable_insert(map, copy, region);
  }
  HashTable *connectionMap = identityMap();
  for (int32_t i = 0; i < part->m_count; ++i)
    Region_duplicateTopology(static_cast<Region *>(part->m_items[i]), map, glue, connectionMap);
  if (glue)
    Assembly_closeAndRemove(assembly, copies);
  const int32_t created = assembly->m_topology != nullptr ? Topology_clump(assembly->m_topology, copies) : 0;
  HashTable_delete(connectionMap);
  HashTable_delete(map);
  Set_delete(copies);
  Set_delete(part);
  return created;
}
