#ifndef ZYR_VSN_SUBDOMAIN_H
#define ZYR_VSN_SUBDOMAIN_H
// A subdomain of a physics set-up: its name, where it lies (a location of volume regions) and
// the domain it belongs to. Created and owned by a zone map.
#include <cstdint>
#include <cstdio>

struct Location;
struct Region;
struct Topology;
struct vsnDomain;
struct zyrError;

struct vsnSubdomain {
  char *m_name;         // owned
  Location *m_location; // owned
  vsnDomain *m_domain;  // not owned; NULL until added to a domain
};

vsnSubdomain *vsnSubdomain_new(const char *name);
void vsnSubdomain_delete(vsnSubdomain *subdomain);
void vsnSubdomain_print(const vsnSubdomain *subdomain, FILE *stream);

int vsnSubdomain_setLocation(vsnSubdomain *subdomain, const char *location);
int vsnSubdomain_check(vsnSubdomain *subdomain, Topology *topology, zyrError **error);
int vsnSubdomain_resolve(vsnSubdomain *subdomain, Topology *topology);
// The resolved volume regions in a new array; -1 (and NULL) while unresolved.
int32_t vsnSubdomain_getRegions(const vsnSubdomain *subdomain, Region ***regions);
int32_t vsnSubdomain_getLocationComponents(const vsnSubdomain *subdomain, char ***names);
const char *vsnSubdomain_getLocationString(const vsnSubdomain *subdomain);

const char *vsnSubdomain_getName(const vsnSubdomain *subdomain);
void vsnSubdomain_setDomain(vsnSubdomain *subdomain, vsnDomain *domain);
vsnDomain *vsnSubdomain_getDomain(const vsnSubdomain *subdomain);

#endif
