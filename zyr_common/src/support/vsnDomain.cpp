#include "vsnDomain.h"

#include "Location.h"
#include "Region.h"
#include "Topology.h"
#include "Set.h"
#include "vsnBoundary.h"
#include "vsnPhysicsRecord.h"
#include "vsnSubdomain.h"
#include "zyrCString.h"
#include "zyrMemory.h"

#include <algorithm>
#include <cstring>

namespace {

const int32_t kVolumes = 8;
const int32_t kSetCapacity = 5;

template <class T> int32_t membersOf(const Set *set, T ***members) {
  void **items = nullptr;
  const int32_t count = Set_toArray(set, &items);
  *members = reinterpret_cast<T **>(items);
  return count;
}

} // namespace

vsnDomain *vsnDomain_new(const char *name, const char *type) {
  vsnDomain *domain = zyrMemory_allocateZeroedArray<vsnDomain>(1, __func__);
  domain->m_name = zyrCString_clone(name);
  domain->m_type = zyrCString_clone(type);
  domain->m_location = Location_new();
  domain->m_isFluid = type != nullptr && std::strcmp(type, "Fluid") == 0;
  domain->m_boundaries = Set_new(kSetCapacity);
  domain->m_subdomains = Set_new(kSetCapacity);
  return domain;
}

void vsnDomain_delete(vsnDomain *domain) {
  if (domain == nullptr)
    return;
  zyrCString_free(domain->m_name);
  zyrCString_free(domain->m_type);
  Location_delete(domain->m_location);
  Set_delete(domain->m_boundaries);
  Set_delete(domain->m_subdomains);
  zyrMemory_free(domain, __func__);
}

void vsnDomain_print(const vsnDomain *domain, FILE *stream) {
  fprintf(stream, "\n%svsnDomain \"%s\"\n%s", kVsnRule, vsnRecord_name(domain->m_name), kVsnRule);
  Location_print(domain->m_location, stream);
  vsnBoundary **boundaries = nullptr;
  const int32_t noOfBoundaries = vsnDomain_getBoundaries(domain, &boundaries);
  fprintf(stream, "\nNo. of boundaries = %d\n", noOfBoundaries);
  for (int32_t i = 0; i < noOfBoundaries; ++i)
    fprintf(stream, "  \"%s\"\n", vsnRecord_name(vsnBoundary_getName(boundaries[i])));
  zyrMemory_free(boundaries, __func__);
  vsnSubdomain **subdomains = nullptr;
  const int32_t noOfSubdomains = membersOf(domain->m_subdomains, &subdomains);
  fprintf(stream, "\nNo. of subdomains = %d\n", noOfSubdomains);
  for (int32_t i = 0; i < noOfSubdomains; ++i)
    fprintf(stream, "  \"%s\"\n", vsnRecord_name(vsnSubdomain_getName(subdomains[i])));
  zyrMemory_free(subdomains, __func__);
  fprintf(stream, "\n(m_isOrdered = %d)\n%s\n", domain->m_isOrdered, kVsnRule);
}

int vsnDomain_setLocation(vsnDomain *domain, const char *location) { return Location_set(domain->m_location, location); }

int vsnDomain_check(vsnDomain *domain, Topology *topology, zyrError **error) {
  return vsnRecord_check(domain->m_location, topology, "domain", domain->m_name, error);
}

int vsnDomain_resolve(vsnDomain *domain, Topology *topology) { return Location_resolve(domain->m_location, topology); }

int32_t vsnDomain_getRegions(const vsnDomain *domain, Region ***regions) {
  return vsnRecord_getRegions(domain->m_location, kVolumes, 1, regions);
}

int32_t vsnDomain_getLocationComponents(const vsnDomain *domain, char ***names) {
  return vsnRecord_getComponents(domain->m_location, names);
}

const char *vsnDomain_getLocationString(const vsnDomain *domain) { return Location_getString(domain->m_location); }

const char *vsnDomain_getName(const vsnDomain *domain) { return domain->m_name; }

const char *vsnDomain_getType(const vsnDomain *domain) { return domain->m_type; }

int vsnDomain_isFluid(const vsnDomain *domain) { return domain->m_isFluid; }

void vsnDomain_addSubdomain(vsnDomain *domain, vsnSubdomain *subdomain) {
  domain->m_isOrdered = 0;
  vsnSubdomain_setDomain(subdomain, domain);
  Set_add(domain->m_subdomains, subdomain);
}

int vsnDomain_removeSubdomain(vsnDomain *domain, vsnSubdomain *subdomain) {
  domain->m_isOrdered = 0;
  vsnSubdomain_setDomain(subdomain, nullptr);
  return Set_remove(domain->m_subdomains, subdomain);
}

int32_t vsnDomain_getSubdomains(vsnDomain *domain, vsnSubdomain ***subdomains) {
  const int32_t count = membersOf(domain->m_subdomains, subdomains);
  if (domain->m_isOrdered || count < 1)
    return count;
  std::stable_sort(*subdomains, *subdomains + count, [](const vsnSubdomain *a, const vsnSubdomain *b) {
    return std::strcmp(vsnRecord_name(a->m_name), vsnRecord_name(b->m_name)) < 0;
  });
  Set_clear(domain->m_subdomains);
  for (int32_t i = 0; i < count; ++i)
    Set_add(domain->m_subdomains, (*subdomains)[i]);
  domain->m_isOrdered = 1;
  return count;
}

void vsnDomain_addBoundary(vsnDomain *domain, vsnBoundary *boundary) {
  vsnBoundary_setDomain(boundary, domain);
  Set_add(domain->m_boundaries, boundary);
}

int vsnDomain_removeBoundary(vsnDomain *domain, vsnBoundary *boundary) {
  vsnBoundary_setDomain(boundary, nullptr);
  return Set_remove(domain->m_boundaries, boundary);
}

int32_t vsnDomain_getBoundaries(const vsnDomain *domain, vsnBoundary ***boundaries) {
  return membersOf(domain->m_boundaries, boundaries);
}

int32_t vsnDomain_getBoundaryRegions(const vsnDomain *domain, Region ***regions) {
  *regions = nullptr;
  Region **volumes = nullptr;
  const int32_t noOfVolumes = vsnDomain_getRegions(domain, &volumes);
  if (noOfVolumes < 1) {
    zyrMemory_free(volumes, __func__);
    return noOfVolumes;
  }
  int64_t total = 0;
  for (int32_t i = 0; i < noOfVolumes; ++i)
    total += std::max<int32_t>(0, Region_getNoOfBoundingRegions(volumes[i]));
  Region **all = total > 0 ? zyrMemory_allocateArray<Region *>(total, __func__) : nullptr;
  int64_t filled = 0;
  for (int32_t i = 0; i < noOfVolumes; ++i) {
    Region **bounding = nullptr;
    const int32_t n = Region_getBoundingRegions(volumes[i], &bounding);
    // The counts were taken just before; never write past them.
    for (int32_t k = 0; k < n && filled < total; ++k)
      all[filled++] = bounding[k];
    zyrMemory_free(bounding, __func__);
  }
  zyrMemory_free(volumes, __func__);
  if (filled > 1)
    zyrSortRegionsAlphabetically(static_cast<int32_t>(filled), all);
  if (filled == 0)
    zyrMemory_freeAndClear(&all, __func__);
  *regions = all;
  return static_cast<int32_t>(filled);
}
