#ifndef ZYR_TOPOLOGY_H
#define ZYR_TOPOLOGY_H
// The topology of one model ("Topology", type id 17): its assemblies, its primitive regions by
// dimensionality (points, curves, surfaces, volumes) and the NameManager that owns all their
// names. It names every entering assembly and region, answers name lookups, resolves location
// strings into primitive regions, splits regions into connected assemblies and takes over a
// second topology. It does not own its assemblies and regions.
//
// Arrays handed out are new (zyrMemory_free); their members are not copied.
#include "zyrObject.h"

#include <cstdint>
#include <cstdio>

struct Assembly;
struct Connection;
struct HashSet;
struct NameManager;
struct Region;
struct Set;

struct Topology {
  zyrObject m_object;
  HashSet *m_assemblies;
  HashSet *m_regions[4]; // by dimensionality
  NameManager *m_nameManager;
};

Topology *Topology_new();
int Topology_delete(void *topology);
int Topology_dump(void *topology);
int Topology_restore(void *topology, int32_t flag);
int64_t Topology_getSize();
void Topology_print(const Topology *topology, FILE *stream);

// Membership.
int Topology_insertAssembly(Topology *topology, Assembly *assembly);
int Topology_removeAssembly(Topology *topology, Assembly *assembly);
int Topology_insertRegion(Topology *topology, Region *region, const char *wantedName);
int Topology_removeRegion(Topology *topology, Region *region);
int Topology_addAssemblyRegion(Topology *topology, Region *region, Assembly *assembly);
int Topology_removeAssemblyRegion(Topology *topology, Region *region, Assembly *assembly);

// Creation shortcuts.
Assembly *Topology_addAssembly(Topology *topology, const char *baseName);
Region *Topology_addRegion(Topology *topology, Assembly *assembly, const char *originalName, int32_t dimensionality);
Assembly *Topology_copyAssembly(Topology *topology, Assembly *assembly, const char *baseName);
int Topology_deleteRegions(Topology *topology, int32_t count, Region **regions);

// Names.
int Topology_changeAssemblyName(Topology *topology, Assembly *assembly, const char *name, int32_t flag);
int Topology_changeRegionName(Topology *topology, Region *region, const char *name, int32_t flag);
Assembly *Topology_findAssembly(const Topology *topology, const char *name);
Region *Topology_findRegion(const Topology *topology, const char *name);
NameManager *Topology_getNameManager(const Topology *topology);
int32_t Topology_getNoOfCompositeNames(const Topology *topology);
int32_t Topology_getCompositeNames(const Topology *topology, char ***names);

// Queries (dimension mask: bit d selects dimensionality d, 15 all). Lists come in model order
// (see zyrCompareRegions below), whatever the order of the hash sets that hold the members.
int32_t Topology_getNoOfAssemblies(const Topology *topology);
int32_t Topology_getAssemblies(const Topology *topology, Assembly ***assemblies);
int32_t Topology_getNoOfRegions(const Topology *topology, int32_t mask);
int32_t Topology_getRegions(const Topology *topology, int32_t mask, Region ***regions);
// Every distinct direct connection and gluing, in first-seen order over the regions.
int32_t Topology_getConnections(const Topology *topology, Connection ***connections);
// Splits a set of regions without assembly into connected assemblies; returns how many.
int32_t Topology_clump(Topology *topology, Set *regions);

// Location strings. A region reached by several names occurs once for each time it is reached;
// the regions come in model order, repeats side by side.
int Topology_resolveLocation(Topology *topology, const char *location, int32_t expand, int32_t allowEmpty,
                             int32_t ignoreUnknown, int32_t *count, Region ***regions);
int Topology_parseAndResolveLocation(Topology *topology, const char *location, int32_t ignoreUnknown, int32_t *count,
                                     Region ***regions);
int Topology_resolveLocationNames(Topology *topology, int32_t noOfNames, char *const *names, int32_t ignoreUnknown,
                                  int32_t *count, Region ***regions);

// Moves the other topology's regions and assemblies, with their names and composite names, into
// this one and deletes it. The given assemblies of the other topology get their names back when
// those are free here. 0 when the composite names could not be moved (the caller rolls back).
int Topology_combineTopologies(Topology *topology, Topology *other, int32_t count, Assembly **assemblies);

void zyrSortRegionsAlphabetically(int32_t count, Region **regions);
void zyrSortAssembliesAlphabetically(int32_t count, Assembly **assemblies);

// Model order, which depends on nothing but the model, never on where objects lie in memory (the
// same session gives the same lists and files in every process). Regions: by dimensionality, then
// by the id their topology gave them (the order in which they joined it), then by user, base and
// original name. Assemblies: by id, then by name and base name. Connections: by their first side,
// then their second. Each answers below zero, zero or above zero, as strcmp does; a null object
// comes first.
int zyrCompareRegions(const Region *a, const Region *b);
int zyrCompareAssemblies(const Assembly *a, const Assembly *b);
int zyrCompareConnections(const Connection *a, const Connection *b);
// Stable sorts into model order.
void zyrSortRegionsInModelOrder(int32_t count, Region **regions);
void zyrSortAssembliesInModelOrder(int32_t count, Assembly **assemblies);

#endif
