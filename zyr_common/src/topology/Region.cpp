#include "Region.h"

#include "Assembly.h"
#include "Boundary.h"
#include "Connection.h"
#include "HashTable.h"
#include "Set.h"
#include "Shell.h"
#include "Topology.h"
#include "TopologyReferences.h"
#include "zyrAssert.h"
#include "zyrCString.h"
#include "zyrError.h"
#include "zyrErrorCode.h"
#include "zyrMemory.h"
#include "zyrUUID.h"

#include <cstring>

namespace {

// Re-entrancy flags of the link operations: set while the operation waits for its partner, so
// that the partner's call-back completing the same link returns at once.
int s_settingAssembly = 0;
int s_unsettingAssembly = 0;
int s_settingTopology = 0;
int s_unsettingTopology = 0;
int s_settingBoundary = 0;
int s_unsettingBoundary = 0;
int s_settingShell = 0;
int s_unsettingShell = 0;

const char *kNoName = "*** No name - region not in topology ***";

// Naming strategy of the stored record: how the base name relates to the original name.
enum { BASE_NONE = 0, BASE_ORIGINAL = 1, BASE_OWN = 2 };

void dropGluingsIfEmpty(Region *region) {
  if (region->m_gluings != nullptr && Set_getNoOfMembers(region->m_gluings) == 0) {
    Set_delete(region->m_gluings);
    region->m_gluings = nullptr;
  }
}

Connection *findGluing(const Region *a, const Region *b) {
  if (a->m_gluings == nullptr)
    return nullptr;
  for (int32_t i = 0; i < a->m_gluings->m_count; ++i) {
    Connection *gluing = static_cast<Connection *>(a->m_gluings->m_items[i]);
    if (Connection_getOtherSide(gluing, a) == b)
      return gluing;
  }
  return nullptr;
}

// After a new pairing: the two regions now belong together, so b's assembly joins a's.
int mergeAssemblies(Region *a, Region *b) {
  if (a->m_assembly == nullptr || b->m_assembly == nullptr || a->m_assembly == b->m_assembly)
    return 1;
  return Assembly_merge(a->m_assembly, b->m_assembly);
}

Region *copyOf(HashTable *map, const Region *region) {
  return region != nullptr ? static_cast<Region *>(HashTable_find(map, region)) : nullptr;
}

} // namespace

int64_t Region_getSize() { return static_cast<int64_t>(sizeof(Region)); }

// ---- life cycle ---------------------------------------------------------------------------

Region *Region_new(Topology *topology, Assembly *assembly, const char *originalName, int32_t dimensionality) {
  Region *region = static_cast<Region *>(zyrObject_new("Region"));
  if (region == nullptr)
    return nullptr;
  if (originalName != nullptr) {
    region->m_originalName = zyrCString_clone(originalName);
    region->m_baseName = region->m_originalName;
    zyrObject_setString(region, "originalName", region->m_originalName);
    zyrObject_setInt(region, "namingStrategy", BASE_ORIGINAL);
  } else {
    zyrObject_setInt(region, "namingStrategy", BASE_NONE);
  }
  region->m_dimensionality = dimensionality;
  zyrObject_setInt(region, "dimensionality", dimensionality);
  if (assembly != nullptr)
    Region_setAssembly(region, assembly);
  if (topology != nullptr)
    Region_setTopology(region, topology, nullptr);
  if (region->m_topology == nullptr)
    Region_setId(region, 0);
  return region;
}

Region *Region_duplicate(const Region *region) {
  Region *copy = Region_new(nullptr, nullptr, region->m_originalName, region->m_dimensionality);
  if (copy == nullptr)
    return nullptr;
  Region_setId(copy, -1);
  if (region->m_priority != 0)
    Region_setPriority(copy, region->m_priority);
  return copy;
}

int Region_delete(void *object) {
  Region *region = static_cast<Region *>(object);
  if (zyrObject_canDelete(region)) {
    Region_unsetAssembly(region);
    Region_unsetTopology(region);
    if (region->m_shell != nullptr)
      Shell_removeRegion(region->m_shell, region);
    if (region->m_boundary != nullptr) {
      Boundary *boundary = region->m_boundary;
      region->m_boundary = nullptr;
      Boundary_destroy(boundary, 1, 0);
    }
    Region_breakLinks(region, 1);
  }
  Region_freeBaseName(region);
  zyrCString_free(region->m_originalName);
  region->m_originalName = nullptr;
  Set_delete(region->m_gluings);
  region->m_gluings = nullptr;
  return zyrObject_delete(region);
}

int Region_dump(void *object) {
  Region *region = static_cast<Region *>(object);
  return zyrObject_setSet(region, "gluings", region->m_gluings);
}

int Region_restore(void *object, int32_t flag) {
  Region *region = static_cast<Region *>(object);
  int ok = 1;
  if (zyrObject_checkAttribute(region, flag, "baseName") || zyrObject_checkAttribute(region, flag, "originalName") ||
      zyrObject_checkAttribute(region, flag, "namingStrategy")) {
    Region_freeBaseName(region);
    char *original = nullptr;
    if (zyrObject_getString(region, 0, "originalName", &original) != 1) {
      zyrCString_free(original);
      original = nullptr;
    }
    zyrCString_free(region->m_originalName);
    region->m_originalName = original;
    int32_t strategy = -1;
    if (zyrObject_getInt(region, 0, "namingStrategy", &strategy) != 1)
      strategy = -1;
    if (strategy == BASE_ORIGINAL) {
      region->m_baseName = region->m_originalName;
    } else if (strategy == BASE_OWN) {
      char *base = nullptr;
      if (zyrObject_getString(region, 0, "baseName", &base) == 1)
        region->m_baseName = base;
      else
        zyrCString_free(base);
    }
  }
  const int32_t dimensionality = region->m_dimensionality;
  zyrObject_getInt(region, flag, "dimensionality", &region->m_dimensionality);
  if (region->m_dimensionality < 0 || region->m_dimensionality > 3) {
    // Used as an index and a shift everywhere: a damaged value must not stay.
    char uuid[ZYR_UUID_BASE64_SIZE];
    zyrObject_getUUIDString(region, uuid);
    ZYR_ERROR(ZYR_I_INTERNAL_ERROR, "The stored region %s has dimensionality %d; it has been left at %d.\n", uuid,
              region->m_dimensionality, dimensionality >= 0 && dimensionality <= 3 ? dimensionality : 0);
    region->m_dimensionality = dimensionality >= 0 && dimensionality <= 3 ? dimensionality : 0;
    ok = 0;
  }
  zyrObject_getInt(region, flag, "id", &region->m_id);
  if (zyrObject_getInt(region, flag, "priority", &region->m_priority) != 1)
    region->m_priority = 0;

  void *target = region->m_topology;
  ok &= TopologyReferences_read(region, flag, "topology", TOPOLOGY_TYPE_TOPOLOGY, &target);
  region->m_topology = static_cast<Topology *>(target);
  target = region->m_assembly;
  ok &= TopologyReferences_read(region, flag, "assembly", TOPOLOGY_TYPE_ASSEMBLY, &target);
  region->m_assembly = static_cast<Assembly *>(target);
  target = region->m_shell;
  ok &= TopologyReferences_read(region, flag, "shell", TOPOLOGY_TYPE_SHELL, &target);
  region->m_shell = static_cast<Shell *>(target);
  target = region->m_boundary;
  ok &= TopologyReferences_read(region, flag, "boundary", TOPOLOGY_TYPE_BOUNDARY, &target);
  region->m_boundary = static_cast<Boundary *>(target);
  target = region->m_connection;
  ok &= TopologyReferences_read(region, flag, "connection", TOPOLOGY_TYPE_CONNECTION, &target);
  region->m_connection = static_cast<Connection *>(target);

  ok &= TopologyReferences_readSet(region, flag, "gluings", TOPOLOGY_TYPE_CONNECTION, &region->m_gluings);
  dropGluingsIfEmpty(region);
  return ok;
}

void Region_print(const Region *region, FILE *stream) {
  const char *rule = "==============================================\n";
  char uuid[ZYR_UUID_BASE64_SIZE];
  std::fprintf(stream, "\n%sRegion: \"%s\"\n%s\n", rule, region->m_userName != nullptr ? region->m_userName : "", rule);
  zyrObject_getUUIDString(region, uuid);
  std::fprintf(stream, "UUID:           %s\n", uuid);
  std::fprintf(stream, "Priority:       %d\n", region->m_priority);
  std::fprintf(stream, "User name:      \"%s\"\n", region->m_userName != nullptr ? region->m_userName : "");
  std::fprintf(stream, "Original name:  \"%s\"\n", region->m_originalName != nullptr ? region->m_originalName : "");
  std::fprintf(stream, "Base name:      \"%s\"\n", region->m_baseName != nullptr ? region->m_baseName : "DEFAULT");
  std::fprintf(stream, "Dimensionality: %d\n", region->m_dimensionality);
  std::fprintf(stream, "ID:             %d\n", region->m_id);
  zyrObject_getUUIDString(region->m_topology, uuid);
  std::fprintf(stream, "Topology:       %s\n", uuid);
  zyrObject_getUUIDString(region->m_assembly, uuid);
  std::fprintf(stream, "Assembly:       %s\n", uuid);
  if (region->m_connection != nullptr) {
    const Region *neighbour = Region_getNeighbour(region);
    const char *name = neighbour != nullptr ? neighbour->m_userName : nullptr;
    std::fprintf(stream, "Neighbours:     \"%s\"\n", name != nullptr ? name : "");
  }
  if (region->m_boundary != nullptr) {
    Region **bounding = nullptr;
    const int32_t n = Region_getBoundingRegions(region, &bounding);
    std::fprintf(stream, "Boundary:       %d\n", n);
    for (int32_t i = 0; i < n; ++i)
      std::fprintf(stream, "  \"%s\"\n", Region_getName(bounding[i]));
    zyrMemory_free(bounding, __func__);
  }
  if (region->m_shell != nullptr) {
    const Region *bounded = Region_getBoundedRegion(region);
    const char *name = bounded != nullptr ? bounded->m_userName : nullptr;
    std::fprintf(stream, "Bounds:         \"%s\"\n", name != nullptr ? name : "");
  }
  if (region->m_gluings != nullptr) {
    for (int32_t i = 0; i < region->m_gluings->m_count; ++i) {
      const Region *other = Connection_getOtherSide(static_cast<Connection *>(region->m_gluings->m_items[i]), region);
      const char *name = other != nullptr && other->m_userName != nullptr ? other->m_userName : "";
      std::fprintf(stream, i == 0 ? "Glued to:       \"%s\"\n" : "                \"%s\"\n", name);
    }
  }
  std::fprintf(stream, "%s\n", rule);
  std::fflush(stream);
}

// ---- names and simple fields --------------------------------------------------------------

const char *Region_getName(const Region *region) {
  if (region->m_userName != nullptr)
    return region->m_userName;
  if (region->m_baseName != nullptr)
    return region->m_baseName;
  if (region->m_originalName != nullptr)
    return region->m_originalName;
  return kNoName;
}

int Region_changeName(Region *region, const char *name, int32_t flag) {
  if (region->m_topology == nullptr) {
    Region_setBaseName(region, name);
    return 1;
  }
  return Topology_changeRegionName(region->m_topology, region, name, flag);
}

void Region_setBaseName(Region *region, const char *name) {
  char *copy = zyrCString_clone(name);
  Region_freeBaseName(region);
  region->m_baseName = copy;
  if (copy != nullptr) {
    zyrObject_setInt(region, "namingStrategy", BASE_OWN);
    zyrObject_setString(region, "baseName", copy);
  } else {
    zyrObject_setInt(region, "namingStrategy", BASE_NONE);
  }
}

void Region_freeBaseName(Region *region) {
  if (region->m_baseName != region->m_originalName)
    zyrCString_free(region->m_baseName);
  region->m_baseName = nullptr;
}

void Region_setUserName(Region *region, char *name) { region->m_userName = name; }

void Region_setId(Region *region, int32_t id) {
  region->m_id = id;
  zyrObject_setInt(region, "id", id);
}

void Region_setPriority(Region *region, int32_t priority) {
  region->m_priority = priority;
  zyrObject_setInt(region, "priority", priority);
}

const char *Region_getUserName(const Region *region) { return region->m_userName; }
const char *Region_getBaseName(const Region *region) { return region->m_baseName; }
const char *Region_getOriginalName(const Region *region) { return region->m_originalName; }
int32_t Region_getDimensionality(const Region *region) { return region->m_dimensionality; }
int32_t Region_getId(const Region *region) { return region->m_id; }
int32_t Region_getPriority(const Region *region) { return region->m_priority; }
Topology *Region_getTopology(const Region *region) { return region->m_topology; }
Assembly *Region_getAssembly(const Region *region) { return region->m_assembly; }
Shell *Region_getShell(const Region *region) { return region->m_shell; }
Boundary *Region_getBoundary(const Region *region) { return region->m_boundary; }
Connection *Region_getConnection(const Region *region) { return region->m_connection; }

// ---- links --------------------------------------------------------------------------------

int Region_setAssembly(Region *region, Assembly *assembly) {
  if (s_settingAssembly)
    return 1;
  Assembly *previous = region->m_assembly;
  region->m_assembly = assembly;
  zyrObject_setPointer(region, "assembly", assembly);
  s_settingAssembly = 1;
  const int accepted = assembly != nullptr ? Assembly_addRegion(assembly, region) : 1;
  s_settingAssembly = 0;
  if (!accepted && region->m_assembly == assembly) {
    region->m_assembly = previous;
    zyrObject_setPointer(region, "assembly", previous);
  }
  return accepted;
}

int Region_unsetAssembly(Region *region) {
  if (s_unsettingAssembly || region->m_assembly == nullptr)
    return 1;
  s_unsettingAssembly = 1;
  const int accepted = Assembly_removeRegion(region->m_assembly, region);
  s_unsettingAssembly = 0;
  if (!accepted)
    return 0;
  region->m_assembly = nullptr;
  zyrObject_setPointer(region, "assembly", nullptr);
  return 1;
}

int Region_setTopology(Region *region, Topology *topology, const char *wantedName) {
  if (s_settingTopology || region->m_topology == topology)
    return 1;
  if (topology == nullptr)
    return Region_unsetTopology(region);
  // A region kept in two topologies would leave its old name manager pointing at it.
  if (region->m_topology != nullptr && !Region_unsetTopology(region))
    return 0;
  s_settingTopology = 1;
  const int accepted = Topology_insertRegion(topology, region, wantedName);
  s_settingTopology = 0;
  if (!accepted)
    return 0;
  region->m_topology = topology;
  zyrObject_setPointer(region, "topology", topology);
  return 1;
}

int Region_unsetTopology(Region *region) {
  if (s_unsettingTopology || region->m_topology == nullptr)
    return 1;
  s_unsettingTopology = 1;
  const int accepted = Topology_removeRegion(region->m_topology, region);
  s_unsettingTopology = 0;
  if (!accepted)
    return 0;
  region->m_topology = nullptr;
  zyrObject_setPointer(region, "topology", nullptr);
  return 1;
}

int Region_setBoundary(Region *region, Boundary *boundary) {
  if (s_settingBoundary)
    return 1;
  if (region->m_boundary != nullptr || boundary == nullptr)
    return 0;
  s_settingBoundary = 1;
  const int accepted = Boundary_setBoundedRegion(boundary, region);
  s_settingBoundary = 0;
  if (!accepted)
    return 0;
  region->m_boundary = boundary;
  zyrObject_setPointer(region, "boundary", boundary);
  return 1;
}

int Region_unsetBoundary(Region *region) {
  if (s_unsettingBoundary || region->m_boundary == nullptr)
    return 1;
  s_unsettingBoundary = 1;
  const int accepted = Boundary_unsetBoundedRegion(region->m_boundary);
  s_unsettingBoundary = 0;
  if (!accepted)
    return 0;
  region->m_boundary = nullptr;
  zyrObject_setPointer(region, "boundary", nullptr);
  return 1;
}

int Region_setShell(Region *region, Shell *shell) {
  if (s_settingShell)
    return 1;
  if (shell == nullptr)
    return Region_unsetShell(region);
  s_settingShell = 1;
  if (region->m_shell != nullptr)
    Shell_removeRegion(region->m_shell, region);
  region->m_shell = shell;
  const int accepted = Shell_addRegion(shell, region);
  s_settingShell = 0;
  if (!accepted)
    region->m_shell = nullptr;
  zyrObject_setPointer(region, "shell", region->m_shell);
  return accepted;
}

int Region_unsetShell(Region *region) {
  if (s_unsettingShell || region->m_shell == nullptr)
    return 1;
  s_unsettingShell = 1;
  const int accepted = Shell_removeRegion(region->m_shell, region);
  s_unsettingShell = 0;
  if (!accepted)
    return 0;
  region->m_shell = nullptr;
  zyrObject_setPointer(region, "shell", nullptr);
  return 1;
}

// ---- navigation ---------------------------------------------------------------------------

Region *Region_getNeighbour(const Region *region) {
  return region->m_connection != nullptr ? Connection_getOtherSide(region->m_connection, region) : nullptr;
}

Region *Region_getBoundedRegion(const Region *region) {
  return region->m_shell != nullptr ? Shell_getBoundedRegion(region->m_shell) : nullptr;
}

int32_t Region_getNoOfBoundingRegions(const Region *region) {
  return region->m_boundary != nullptr ? Boundary_getNoOfBoundingRegions(region->m_boundary) : 0;
}

int32_t Region_getBoundingRegions(const Region *region, Region ***regions) {
  *regions = nullptr;
  return region->m_boundary != nullptr ? Boundary_getBoundingRegions(region->m_boundary, regions) : 0;
}

int32_t Region_getComponentRegions(Region *region, Set *set) {
  // A region met again (a damaged, cyclic boundary graph) is not followed a second time.
  if (!Set_add(set, region))
    return 0;
  int32_t added = 1;
  Region **bounding = nullptr;
  const int32_t n = Region_getBoundingRegions(region, &bounding);
  for (int32_t i = 0; i < n; ++i)
    added += Region_getComponentRegions(bounding[i], set);
  zyrMemory_free(bounding, __func__);
  return added;
}

int32_t Region_collectConnections(const Region *region, Set *set) {
  if (region->m_connection != nullptr)
    return Set_add(set, region->m_connection);
  int32_t added = 0;
  if (region->m_gluings != nullptr)
    for (int32_t i = 0; i < region->m_gluings->m_count; ++i)
      added += Set_add(set, region->m_gluings->m_items[i]);
  return added;
}

// ---- connections and gluings --------------------------------------------------------------

Connection *Region_connectNeighbour(Region *a, Region *b) {
  if (a == nullptr || b == nullptr || a == b || a->m_dimensionality != b->m_dimensionality ||
      a->m_connection != nullptr || b->m_connection != nullptr || a->m_gluings != nullptr || b->m_gluings != nullptr)
    return nullptr;
  Connection *connection = Connection_newDirect(a, b);
  a->m_connection = connection;
  b->m_connection = connection;
  zyrObject_setPointer(a, "connection", connection);
  zyrObject_setPointer(b, "connection", connection);
  if (!mergeAssemblies(a, b)) {
    ZYR_ERROR(ZYR_I_INTERNAL_ERROR, "Merger of assemblies failed after connecting regions \"%s\" and \"%s\".\n",
              Region_getName(a), Region_getName(b));
    return nullptr;
  }
  return connection;
}

int Region_unconnectNeighbour(Region *region) {
  Connection *connection = region->m_connection;
  if (connection == nullptr)
    return 0;
  Region *neighbour = Connection_getOtherSide(connection, region);
  if (neighbour == nullptr) {
    // A connection whose stored sides were left out on restore: only this side remains to clear.
    region->m_connection = nullptr;
    zyrObject_setPointer(region, "connection", nullptr);
    return 1;
  }
  if (neighbour->m_connection != region->m_connection)
    assert_flagError(__func__, __FILE__, __LINE__, "neighbour->m_connection == this->m_connection");
  neighbour->m_connection = nullptr;
  region->m_connection = nullptr;
  zyrObject_setPointer(region, "connection", nullptr);
  zyrObject_setPointer(neighbour, "connection", nullptr);
  Connection_delete(connection);
  return 1;
}

Connection *Region_glueNeighbour(Region *a, Region *b) {
  if (a == nullptr || b == nullptr || a == b || a->m_connection != nullptr || b->m_connection != nullptr ||
      Region_isGluedTo(a, b))
    return nullptr;
  if (a->m_gluings == nullptr)
    a->m_gluings = Set_new(2);
  if (b->m_gluings == nullptr)
    b->m_gluings = Set_new(2);
  Connection *gluing = Connection_newGluing(a, b);
  Set_add(a->m_gluings, gluing);
  Set_add(b->m_gluings, gluing);
  zyrObject_setModified(a);
  zyrObject_setModified(b);
  if (!mergeAssemblies(a, b)) {
    ZYR_ERROR(ZYR_I_INTERNAL_ERROR, "Merger of assemblies failed after gluing regions %s and %s.\n", Region_getName(a),
              Region_getName(b));
    return nullptr;
  }
  return gluing;
}

namespace {

// Takes every reference of its sides to the connection away and deletes it. A damaged record can
// make a side refer to it both as its direct connection and as a gluing.
void deleteConnection(Connection *connection) {
  for (Region *side : connection->m_sides) {
    if (side == nullptr)
      continue;
    if (side->m_connection == connection) {
      side->m_connection = nullptr;
      zyrObject_setPointer(side, "connection", nullptr);
    }
    if (side->m_gluings != nullptr && Set_remove(side->m_gluings, connection)) {
      zyrObject_setModified(side);
      dropGluingsIfEmpty(side);
    }
  }
  Connection_delete(connection);
}

// Takes the gluing out of both regions and deletes it.
void unglue(Region *a, Region *b, Connection *gluing) {
  Set_remove(a->m_gluings, gluing);
  if (b->m_gluings != nullptr)
    Set_remove(b->m_gluings, gluing);
  zyrObject_setModified(a);
  zyrObject_setModified(b);
  dropGluingsIfEmpty(a);
  dropGluingsIfEmpty(b);
  deleteConnection(gluing);
}

} // namespace

int Region_unglueNeighbour(Region *a, Region *b) {
  Connection *gluing = findGluing(a, b);
  if (gluing == nullptr)
    return 0;
  unglue(a, b, gluing);
  return 1;
}

int Region_isGluedTo(const Region *a, const Region *b) {
  if (a->m_gluings == nullptr || b->m_gluings == nullptr)
    return 0;
  return findGluing(a, b) != nullptr ? 1 : 0;
}

int32_t Region_getGluedNeighbour(const Region *region, Region ***regions) {
  *regions = nullptr;
  if (region->m_gluings == nullptr || region->m_gluings->m_count == 0)
    return 0;
  const int32_t n = region->m_gluings->m_count;
  *regions = zyrMemory_allocateArray<Region *>(n, __func__);
  // A gluing restored without its other side (a damaged file) leads nowhere and is not counted.
  int32_t found = 0;
  for (int32_t i = 0; i < n; ++i) {
    Region *other = Connection_getOtherSide(static_cast<Connection *>(region->m_gluings->m_items[i]), region);
    if (other != nullptr)
      (*regions)[found++] = other;
  }
  if (found == 0)
    zyrMemory_freeAndClear(regions, __func__);
  return found;
}

// ---- duplication and unlinking ------------------------------------------------------------

int Region_duplicateTopology(Region *region, HashTable *regionMap, int32_t glueOutside, HashTable *connectionMap) {
  Region *copy = copyOf(regionMap, region);
  if (copy == nullptr)
    return 1;
  if (region->m_boundary != nullptr && copy->m_boundary == nullptr) {
    Boundary *boundary = Boundary_duplicate(region->m_boundary, regionMap);
    if (boundary != nullptr)
      Region_setBoundary(copy, boundary);
  }
  if (region->m_connection != nullptr) {
    Region *neighbourCopy = copyOf(regionMap, Region_getNeighbour(region));
    if (neighbourCopy != nullptr && copy->m_connection == nullptr && neighbourCopy->m_connection == nullptr) {
      Region *side1 = nullptr, *side2 = nullptr;
      Connection_getSides(region->m_connection, &side1, &side2);
      Connection *connection =
          side1 == region ? Region_connectNeighbour(copy, neighbourCopy) : Region_connectNeighbour(neighbourCopy, copy);
      if (connection != nullptr && connectionMap != nullptr)
        HashTable_insert(connectionMap, region->m_connection, connection);
    }
  }
  if (region->m_gluings != nullptr) {
    // A copy of the set: gluing the copies may merge assemblies but never changes these gluings.
    Set *gluings = Set_newCopy(region->m_gluings);
    for (int32_t i = 0; i < gluings->m_count; ++i) {
      Connection *gluing = static_cast<Connection *>(gluings->m_items[i]);
      Region *other = Connection_getOtherSide(gluing, region);
      Region *partner = copyOf(regionMap, other);
      if (partner == nullptr && glueOutside)
        partner = other;
      if (partner == nullptr || Region_isGluedTo(copy, partner))
        continue;
      Connection *glued = Region_glueNeighbour(copy, partner);
      if (glued != nullptr && connectionMap != nullptr)
        HashTable_insert(connectionMap, gluing, glued);
    }
    Set_delete(gluings);
  }
  return 1;
}

int Region_breakLinks(Region *region, int32_t all) {
  if (region->m_connection != nullptr && region->m_connection->m_sides[0] != region &&
      region->m_connection->m_sides[1] != region) {
    // A damaged record: the connection does not join this region, so it is not ours to delete.
    region->m_connection = nullptr;
    zyrObject_setPointer(region, "connection", nullptr);
  }
  if (region->m_connection != nullptr) {
    Region *neighbour = Region_getNeighbour(region);
    if (all || neighbour == nullptr || neighbour->m_assembly != region->m_assembly) {
      Connection *connection = region->m_connection;
      region->m_connection = nullptr;
      zyrObject_setPointer(region, "connection", nullptr);
      if (neighbour != nullptr && neighbour->m_connection == connection) {
        neighbour->m_connection = nullptr;
        zyrObject_setPointer(neighbour, "connection", nullptr);
      }
      deleteConnection(connection);
    }
  }
  if (region->m_gluings != nullptr) {
    Set *gluings = Set_newCopy(region->m_gluings);
    for (int32_t i = 0; i < gluings->m_count; ++i) {
      // Each gluing in hand is the one deleted: a damaged record can glue the same two regions
      // twice, and a gluing found by its sides may be another one of the copy, deleted already.
      Connection *gluing = static_cast<Connection *>(gluings->m_items[i]);
      if (region->m_gluings == nullptr || !Set_contains(region->m_gluings, gluing))
        continue;
      Region *other = Connection_getOtherSide(gluing, region);
      if (other != nullptr && (all || other->m_assembly != region->m_assembly))
        unglue(region, other, gluing);
    }
    Set_delete(gluings);
  }
  return 1;
}
