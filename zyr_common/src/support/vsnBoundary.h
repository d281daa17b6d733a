#ifndef ZYR_VSN_BOUNDARY_H
#define ZYR_VSN_BOUNDARY_H
// A boundary of a physics set-up: its name, where it lies (a location of surface regions) and
// the domain it belongs to. Created and owned by a zone map.
#include <cstdint>
#include <cstdio>

struct Location;
struct Region;
struct Topology;
struct vsnDomain;
struct zyrError;

struct vsnBoundary {
  char *m_name;          // owned
  Location *m_location;  // owned
  vsnDomain *m_domain;   // not owned; NULL until added to a domain
};

vsnBoundary *vsnBoundary_new(const char *name);
void vsnBoundary_delete(vsnBoundary *boundary);
void vsnBoundary_print(const vsnBoundary *boundary, FILE *stream);

// The status of parsing the location string.
int vsnBoundary_setLocation(vsnBoundary *boundary, const char *location);
// Adds the problems of the location to *error (created on the first problem, not published).
int vsnBoundary_check(vsnBoundary *boundary, Topology *topology, zyrError **error);
int vsnBoundary_resolve(vsnBoundary *boundary, Topology *topology);
// The resolved surface regions in a new array; -1 (and NULL) while unresolved.
int32_t vsnBoundary_getRegions(const vsnBoundary *boundary, Region ***regions);
// A copy of the component names (NULL when there are none); their number, -1 without location.
int32_t vsnBoundary_getLocationComponents(const vsnBoundary *boundary, char ***names);
const char *vsnBoundary_getLocationString(const vsnBoundary *boundary);

const char *vsnBoundary_getName(const vsnBoundary *boundary);
void vsnBoundary_setDomain(vsnBoundary *boundary, vsnDomain *domain);
vsnDomain *vsnBoundary_getDomain(const vsnBoundary *boundary);
// 1 when the region is one of the boundary's surfaces, 0 when not, -1 while unresolved.
int vsnBoundary_isRegionInBoundary(const vsnBoundary *boundary, const Region *region);

#endif
