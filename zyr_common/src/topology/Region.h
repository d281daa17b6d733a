#ifndef ZYR_REGION_H
#define ZYR_REGION_H
// A primitive region of a topology ("Region", type id 14): a point, curve, surface or volume
// (dimensionality 0 to 3). It carries its original name, a base name from which its managed name
// is made, the managed name given by the topology's NameManager, an id and a priority, and links
// to its topology, assembly, the shell it lies in, the boundary that bounds it, and its direct
// connection or gluings.
//
// Every link is kept on both sides. Each set/unset operation of a link, on either side, calls the
// partner's matching operation and changes its own side only when the partner accepted; a
// process-wide flag per operation makes the call-back from the partner a no-op returning 1.
#include "zyrObject.h"

#include <cstdint>
#include <cstdio>

struct Assembly;
struct Boundary;
struct Connection;
struct HashTable;
struct Set;
struct Shell;
struct Topology;

struct Region {
  zyrObject m_object;
  char *m_originalName;     // owned
  char *m_baseName;         // none, the very string m_originalName, or an own copy
  char *m_userName;         // the managed name, owned by the NameManager
  int32_t m_dimensionality; // 0 to 3
  int32_t m_id;             // given by the NameManager; 0 outside a topology, -1 for an unnamed copy
  int32_t m_priority;
  Topology *m_topology;
  Assembly *m_assembly;
  Shell *m_shell;           // the shell this region lies in
  Boundary *m_boundary;     // the boundary that bounds this region
  Connection *m_connection; // direct connection; never together with gluings
  Set *m_gluings;           // gluing connections; none rather than empty
};

Region *Region_new(Topology *topology, Assembly *assembly, const char *originalName, int32_t dimensionality);
// A copy outside any topology and assembly with the same original name, dimensionality and
// priority; no links.
Region *Region_duplicate(const Region *region);
int Region_delete(void *region);
int Region_dump(void *region);
int Region_restore(void *region, int32_t flag);
int64_t Region_getSize();
void Region_print(const Region *region, FILE *stream);

// Names and simple fields.
const char *Region_getName(const Region *region);
int Region_changeName(Region *region, const char *name, int32_t flag);
void Region_setBaseName(Region *region, const char *name);
void Region_freeBaseName(Region *region);
void Region_setUserName(Region *region, char *name);
void Region_setId(Region *region, int32_t id);
void Region_setPriority(Region *region, int32_t priority);
const char *Region_getUserName(const Region *region);
const char *Region_getBaseName(const Region *region);
const char *Region_getOriginalName(const Region *region);
int32_t Region_getDimensionality(const Region *region);
int32_t Region_getId(const Region *region);
int32_t Region_getPriority(const Region *region);
Topology *Region_getTopology(const Region *region);
Assembly *Region_getAssembly(const Region *region);
Shell *Region_getShell(const Region *region);
Boundary *Region_getBoundary(const Region *region);
Connection *Region_getConnection(const Region *region);

// Links.
int Region_setAssembly(Region *region, Assembly *assembly);
int Region_unsetAssembly(Region *region);
int Region_setTopology(Region *region, Topology *topology, const char *wantedName);
int Region_unsetTopology(Region *region);
int Region_setBoundary(Region *region, Boundary *boundary);
int Region_unsetBoundary(Region *region);
int Region_setShell(Region *region, Shell *shell);
int Region_unsetShell(Region *region);

// Navigation.
Region *Region_getNeighbour(const Region *region);
Region *Region_getBoundedRegion(const Region *region);
int32_t Region_getNoOfBoundingRegions(const Region *region);
int32_t Region_getBoundingRegions(const Region *region, Region ***regions);
// Adds the region, then recursively the regions bounding it; returns the number added.
int32_t Region_getComponentRegions(Region *region, Set *set);
// Adds its direct connection, or else every gluing; returns the number added.
int32_t Region_collectConnections(const Region *region, Set *set);

// Connections and gluings.
Connection *Region_connectNeighbour(Region *a, Region *b);
int Region_unconnectNeighbour(Region *region);
Connection *Region_glueNeighbour(Region *a, Region *b);
int Region_unglueNeighbour(Region *a, Region *b);
int Region_isGluedTo(const Region *a, const Region *b);
int32_t Region_getGluedNeighbour(const Region *region, Region ***regions);

// Rebuilds boundaries, direct connections and gluings among the copies of a duplicated part.
// regionMap: region -> copy; connectionMap receives old connection -> new connection.
int Region_duplicateTopology(Region *region, HashTable *regionMap, int32_t glueOutside, HashTable *connectionMap);
// Removes the direct connection and gluings (all of them, or only those to other assemblies).
int Region_breakLinks(Region *region, int32_t all);

#endif
