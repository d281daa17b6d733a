#ifndef ZYR_VSN_DOMAIN_H
#define ZYR_VSN_DOMAIN_H
// A domain of a physics set-up: its name and type, where it lies (a location of volume regions),
// and the boundaries and subdomains that belong to it (linked, not owned: the zone map owns
// every record).
#include <cstdint>
#include <cstdio>

struct Location;
struct Region;
struct Set;
struct Topology;
struct vsnBoundary;
struct vsnSubdomain;
struct zyrError;

struct vsnDomain {
  char *m_name;         // owned
  char *m_type;         // owned
  Location *m_location; // owned
  int m_isFluid;        // the type is exactly "Fluid"
  int m_isOrdered;      // the subdomain set is sorted by name
  Set *m_boundaries;    // of vsnBoundary, in the order added
  Set *m_subdomains;    // of vsnSubdomain
};

vsnDomain *vsnDomain_new(const char *name, const char *type);
// The boundaries and subdomains stay: they belong to the zone map.
void vsnDomain_delete(vsnDomain *domain);
void vsnDomain_print(const vsnDomain *domain, FILE *stream);

int vsnDomain_setLocation(vsnDomain *domain, const char *location);
int vsnDomain_check(vsnDomain *domain, Topology *topology, zyrError **error);
int vsnDomain_resolve(vsnDomain *domain, Topology *topology);
// The resolved volume regions sorted by name, in a new array; -1 (and NULL) while unresolved.
int32_t vsnDomain_getRegions(const vsnDomain *domain, Region ***regions);
int32_t vsnDomain_getLocationComponents(const vsnDomain *domain, char ***names);
const char *vsnDomain_getLocationString(const vsnDomain *domain);

const char *vsnDomain_getName(const vsnDomain *domain);
const char *vsnDomain_getType(const vsnDomain *domain);
int vsnDomain_isFluid(const vsnDomain *domain);

void vsnDomain_addSubdomain(vsnDomain *domain, vsnSubdomain *subdomain);
// 1 when it was a member.
int vsnDomain_removeSubdomain(vsnDomain *domain, vsnSubdomain *subdomain);
// The subdomains sorted by name (the set is kept in that order from then on), in a new array.
int32_t vsnDomain_getSubdomains(vsnDomain *domain, vsnSubdomain ***subdomains);
void vsnDomain_addBoundary(vsnDomain *domain, vsnBoundary *boundary);
int vsnDomain_removeBoundary(vsnDomain *domain, vsnBoundary *boundary);
// The boundaries in the order added, in a new array.
int32_t vsnDomain_getBoundaries(const vsnDomain *domain, vsnBoundary ***boundaries);
// Every region bounding the domain's volumes, sorted by name; a surface between two volumes of
// the domain appears twice. The count of volumes (0 or -1) when there are none or unresolved.
int32_t vsnDomain_getBoundaryRegions(const vsnDomain *domain, Region ***regions);

#endif
