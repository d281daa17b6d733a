#ifndef ZYR_ASSEMBLY_H
#define ZYR_ASSEMBLY_H
// A connected group of regions of a topology ("Assembly", type id 2): regions reachable from one
// another through direct connections, gluings and boundaries. Its managed name belongs to the
// topology's NameManager, which makes it from the assembly's base name; neither name is stored
// with the assembly.
//
// Links to the regions and the topology follow the two-sided protocol described in Region.h.
#include "zyrObject.h"

#include <cstdint>
#include <cstdio>

struct HashTable;
struct Region;
struct Set;
struct Topology;

struct Assembly {
  zyrObject m_object;
  char *m_userName; // the managed name, owned by the NameManager
  Topology *m_topology;
  Set *m_regions;   // in the order they joined
  int32_t m_id;     // given by the NameManager
  char *m_baseName; // owned; none means the default assembly name
};

// A new assembly in the topology (which names it); a topology must be given.
Assembly *Assembly_new(Topology *topology, const char *baseName);
// Releases the name and the record; the regions are left as they are (callers move or delete
// them first).
int Assembly_delete(void *assembly);
int Assembly_dump(void *assembly);
int Assembly_restore(void *assembly, int32_t flag);
int64_t Assembly_getSize();
void Assembly_print(const Assembly *assembly, FILE *stream);

// Sets the managed name and derives the base name from it: decoded, with a trailing
// " <number>" cut off.
void Assembly_setUniqueName(Assembly *assembly, char *name);
void Assembly_setId(Assembly *assembly, int32_t id);
int Assembly_changeName(Assembly *assembly, const char *name, int32_t flag);
const char *Assembly_getName(const Assembly *assembly);
int32_t Assembly_getId(const Assembly *assembly);
const char *Assembly_getBaseName(const Assembly *assembly);
Topology *Assembly_getTopology(const Assembly *assembly);

// Links.
int Assembly_addRegion(Assembly *assembly, Region *region);
int Assembly_removeRegion(Assembly *assembly, Region *region);
int Assembly_setTopology(Assembly *assembly, Topology *topology);
int Assembly_unsetTopology(Assembly *assembly);

// Regions (dimension mask: bit d selects dimensionality d, 15 all).
int32_t Assembly_getNoOfRegions(const Assembly *assembly, int32_t mask);
int32_t Assembly_getRegions(const Assembly *assembly, int32_t mask, Region ***regions);
// Pulls in, breadth first, every region reachable from the assembly that belongs to no
// assembly; returns the number added.
int32_t Assembly_close(Assembly *assembly);
int32_t Assembly_closeAndRemove(Assembly *assembly, Set *regions);
// Moves every region of other into target and deletes other.
int Assembly_merge(Assembly *target, Assembly *other);
// A copy of the assembly with copies of its regions and of the links among them. regionMap
// receives region -> copy, connectionMap old connection -> new connection.
Assembly *Assembly_duplicate(Assembly *assembly, const char *baseName, HashTable *regionMap, HashTable *connectionMap);
// Copies the given regions with their components; returns the number of new assemblies.
int32_t Assembly_partialDuplicate(Assembly *assembly, Set *regions, int32_t glue);

#endif
