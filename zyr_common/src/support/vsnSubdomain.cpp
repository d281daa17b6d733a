#include "vsnSubdomain.h"

#include "Location.h"
#include "vsnDomain.h"
#include "vsnPhysicsRecord.h"
#include "zyrCString.h"
#include "zyrMemory.h"

namespace {
const int32_t kVolumes = 8;
}

vsnSubdomain *vsnSubdomain_new(const char *name) {
  vsnSubdomain *subdomain = zyrMemory_allocateZeroedArray<vsnSubdomain>(1, __func__);
  subdomain->m_name = zyrCString_clone(name);
  subdomain->m_location = Location_new();
  return subdomain;
}

void vsnSubdomain_delete(vsnSubdomain *subdomain) {
  if (subdomain == nullptr)
    return;
  zyrCString_free(subdomain->m_name);
  Location_delete(subdomain->m_location);
  zyrMemory_free(subdomain, __func__);
}

void vsnSubdomain_print(const vsnSubdomain *subdomain, FILE *stream) {
  fprintf(stream, "\n%svsnSubdomain \"%s\"\n%s", kVsnRule, vsnRecord_name(subdomain->m_name), kVsnRule);
  vsnRecord_printDomain(subdomain->m_domain != nullptr ? vsnDomain_getName(subdomain->m_domain) : nullptr,
                        subdomain->m_domain != nullptr, stream);
  Location_print(subdomain->m_location, stream);
  fprintf(stream, "%s\n", kVsnRule);
}

int vsnSubdomain_setLocation(vsnSubdomain *subdomain, const char *location) {
  return Location_set(subdomain->m_location, location);
}

int vsnSubdomain_check(vsnSubdomain *subdomain, Topology *topology, zyrError **error) {
  return vsnRecord_check(subdomain->m_location, topology, "subdomain", subdomain->m_name, error);
}

int vsnSubdomain_resolve(vsnSubdomain *subdomain, Topology *topology) {
  return Location_resolve(subdomain->m_location, topology);
}

int32_t vsnSubdomain_getRegions(const vsnSubdomain *subdomain, Region ***regions) {
  return vsnRecord_getRegions(subdomain->m_location, kVolumes, 0, regions);
}

int32_t vsnSubdomain_getLocationComponents(const vsnSubdomain *subdomain, char ***names) {
  return vsnRecord_getComponents(subdomain->m_location, names);
}

const char *vsnSubdomain_getLocationString(const vsnSubdomain *subdomain) {
  return Location_getString(subdomain->m_location);
}

const char *vsnSubdomain_getName(const vsnSubdomain *subdomain) { return subdomain->m_name; }

void vsnSubdomain_setDomain(vsnSubdomain *subdomain, vsnDomain *domain) { subdomain->m_domain = domain; }

vsnDomain *vsnSubdomain_getDomain(const vsnSubdomain *subdomain) { return subdomain->m_domain; }
