#ifndef ZYR_LOCATION_H
#define ZYR_LOCATION_H
// Location strings and the Location record. Interim form: enough of the record for the physics
// records above this layer to be built; the topology model replaces it with the full one.
#include <cstdint>
#include <cstdio>

struct Region;
struct Topology;
struct Assembly;
struct zyrError;

struct Location {
  char *m_locationString;
  int32_t m_noOfComponents;
  char **m_components;
  int32_t m_noOfRegions;
  Region **m_regions;
};

char *LocationString_build(int32_t count, char *const *names);
int LocationString_parse(const char *string, int32_t *count, char ***names);

Location *Location_new();
void Location_delete(Location *location);
int Location_set(Location *location, const char *string);
void Location_unresolve(Location *location);
void Location_clear(Location *location);
int Location_check(Location *location, Topology *topology, const char *kind, const char *name, zyrError **error);
int Location_resolve(Location *location, Topology *topology);
int32_t Location_getRegions(const Location *location, int32_t dimensionMask, Region ***regions);
int32_t Location_getComponents(const Location *location, char ***names);
const char *Location_getString(const Location *location);
void Location_print(const Location *location, FILE *stream);

// Interim declarations of topology operations used above this layer.
const char *Region_getName(const Region *region);
int32_t Region_getNoOfBoundingRegions(const Region *region);
int32_t Region_getBoundingRegions(const Region *region, Region ***regions);
void zyrSortRegionsAlphabetically(int32_t n, Region **regions);
int32_t Topology_getAssemblies(Topology *topology, Assembly ***assemblies);
int32_t Assembly_getRegions(Assembly *assembly, int32_t dimensionMask, Region ***regions);

#endif
