#ifndef ZYR_VSN_PHYSICS_RECORD_H
#define ZYR_VSN_PHYSICS_RECORD_H
// What the physics records share: the rule of their dumps and the location operations that
// differ only by kind word, dimension mask and owner name.
#include <cstdint>
#include <cstdio>

struct Location;
struct Region;
struct Topology;
struct zyrError;

extern const char *const kVsnRule;

// The owner's name as shown in messages and dumps (a record may have none).
inline const char *vsnRecord_name(const char *name) { return name != nullptr ? name : ""; }

int vsnRecord_check(Location *location, Topology *topology, const char *kind, const char *name, zyrError **error);
// The resolved regions of the mask; with sort set, ordered by region name.
int32_t vsnRecord_getRegions(const Location *location, int32_t mask, int sort, Region ***regions);
int32_t vsnRecord_getComponents(const Location *location, char ***names);
// "Domain = \"%s\" " or "Domain = ***Not set***".
void vsnRecord_printDomain(const char *domainName, int hasDomain, FILE *stream);

#endif
