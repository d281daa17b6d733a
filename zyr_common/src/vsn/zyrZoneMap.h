#ifndef ZYR_ZONE_MAP_H
#define ZYR_ZONE_MAP_H
// The zone map: the domains, subdomains, boundaries and domain interfaces of a simulation, each
// with a location naming regions of the topology, and the solver's length units. Built from VSN
// physics (a text file, or the physics data set of a definition or results file) or, for a
// mesh-only definition file, from the topology alone (one "Fluid" domain per assembly).
//
// After ordering, an object's position (from 1) in its set is its number in the definition file:
// domains are zones, subdomains volume parts, boundaries boundary patches, interfaces zone
// interfaces. The map owns every record in its sets.
#include <cstdint>
#include <cstdio>

struct Set;
struct Topology;
struct pgtHandle;
struct vsnBoundary;
struct vsnDomain;
struct vsnInterface;
struct vsnSubdomain;

struct zyrZoneMap {
  Set *m_domains;        // of vsnDomain
  Set *m_subdomains;     // of vsnSubdomain
  Set *m_boundaries;     // of vsnBoundary
  Set *m_interfaces;     // of vsnInterface
  char *m_solutionUnits; // owned; NULL when the physics gives none
};

// An empty map; NULL when there are no unit definitions (20009 published by the units layer).
zyrZoneMap *zyrZoneMap_new();
// Built from a VSN text file, not ordered; NULL on failure.
zyrZoneMap *zyrZoneMap_newFromFile(const char *fileName);
// Built from [G/COMMANDS, EVERY, 0] of a definition or results file, ordered; NULL on failure.
zyrZoneMap *zyrZoneMap_newFromDefFile(const char *fileName);
// One fluid domain per assembly, with its volumes as subdomains and its surfaces as boundaries,
// ordered, with a copy of the units.
zyrZoneMap *zyrZoneMap_newFromTopology(Topology *topology, const char *units);
void zyrZoneMap_delete(zyrZoneMap *map);

// Mode 1 reads a VSN text file, mode 0 a definition or results file; any other mode gives 0.
int zyrZoneMap_buildUsingPGT(zyrZoneMap *map, const char *source, int mode);
// Fluid domains first, each group by name; subdomains by domain, then by name; boundaries by
// "domain:boundary"; interfaces by name.
int zyrZoneMap_order(zyrZoneMap *map);
// Checks every location against the topology; all problems go into one published error.
int zyrZoneMap_check(zyrZoneMap *map, Topology *topology);
// Resolves every location; the first failure stops it.
int zyrZoneMap_resolve(zyrZoneMap *map, Topology *topology);

int32_t zyrZoneMap_getNoOfDomains(const zyrZoneMap *map);
int32_t zyrZoneMap_getNoOfSubdomains(const zyrZoneMap *map);
int32_t zyrZoneMap_getNoOfBoundaries(const zyrZoneMap *map);
int32_t zyrZoneMap_getNoOfInterfaces(const zyrZoneMap *map);
// The members in set order in a new array (zyrMemory_free); the count.
int32_t zyrZoneMap_getDomains(const zyrZoneMap *map, vsnDomain ***domains);
int32_t zyrZoneMap_getSubdomains(const zyrZoneMap *map, vsnSubdomain ***subdomains);
int32_t zyrZoneMap_getBoundaries(const zyrZoneMap *map, vsnBoundary ***boundaries);
int32_t zyrZoneMap_getInterfaces(const zyrZoneMap *map, vsnInterface ***interfaces);
// A copy (zyrCString_free), or NULL.
char *zyrZoneMap_getSolutionUnits(const zyrZoneMap *map);

// The dump sorts each domain's own subdomains by name.
void zyrZoneMap_print(zyrZoneMap *map, FILE *stream);
void zyrZoneMap_printSummary(const zyrZoneMap *map, FILE *stream);

// Publishes the reader's current error ("\n%s\n": 30003 for its allocation failures, 10041 for
// problems in the physics data, else 20006) and returns 1; 0, publishing nothing, without one.
int PGT_checkError(pgtHandle *handle);

#endif
