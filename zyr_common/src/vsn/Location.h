#ifndef ZYR_LOCATION_H
#define ZYR_LOCATION_H
// A location read from a physics set-up: its location string, the component names parsed from it,
// and the primitive regions it resolves into through a topology. A plain record, not stored.
//
// States: Undefined (no components), Defined - Unresolved (components, no regions), Defined -
// Resolved (both). Resolution is made from the string and is not kept up to date: after the
// topology changes the owner resolves again.
#include <cstdint>
#include <cstdio>

struct Region;
struct Topology;
struct zyrError;

struct Location {
  char *m_locationString;   // owned copy of the string last set
  int32_t m_noOfComponents; // -1 while undefined
  char **m_components;      // owned
  int32_t m_noOfRegions;    // -1 while unresolved
  Region **m_regions;       // owned array; the regions are not
};

Location *Location_new();
void Location_delete(Location *location);
// Drops resolution and definition, then parses the string (0 and Undefined without one).
int Location_set(Location *location, const char *text);
void Location_unresolve(Location *location);
void Location_clear(Location *location);
// 1 when every component name is known and resolvable. Problems are added to *error, which is
// created (code 10041) at the first problem of any call and published by the caller.
int Location_check(const Location *location, Topology *topology, const char *kind, const char *owner, zyrError **error);
int Location_resolve(Location *location, Topology *topology);
// -1 and no array without a region array; otherwise the resolved regions whose dimensionality the
// mask selects, in resolved order (a new array, none when there are none).
int32_t Location_getRegions(const Location *location, int32_t mask, Region ***regions);
// The component count; above 0, *names receives a copy of the names, else it is not touched.
int32_t Location_getComponents(const Location *location, char ***names);
const char *Location_getString(const Location *location);
void Location_print(const Location *location, FILE *stream);

#endif
