#include "vsnBoundary.h"

#include "Location.h"
#include "vsnDomain.h"
#include "vsnPhysicsRecord.h"
#include "zyrCString.h"
#include "zyrMemory.h"

namespace {
const int32_t kSurfaces = 4;
}

vsnBoundary *vsnBoundary_new(const char *name) {
  vsnBoundary *boundary = zyrMemory_allocateZeroedArray<vsnBoundary>(1, __func__);
  boundary->m_name = zyrCString_clone(name);
  boundary->m_location = Location_new();
  return boundary;
}

void vsnBoundary_delete(vsnBoundary *boundary) {
  if (boundary == nullptr)
    return;
  zyrCString_free(boundary->m_name);
  Location_delete(boundary->m_location);
  zyrMemory_free(boundary, __func__);
}

void vsnBoundary_print(const vsnBoundary *boundary, FILE *stream) {
  fprintf(stream, "\n%svsnBoundary \"%s\"\n%s\n", kVsnRule, vsnRecord_name(boundary->m_name), kVsnRule);
  vsnRecord_printDomain(boundary->m_domain != nullptr ? vsnDomain_getName(boundary->m_domain) : nullptr,
                        boundary->m_domain != nullptr, stream);
  Location_print(boundary->m_location, stream);
  fprintf(stream, "%s\n", kVsnRule);
}

int vsnBoundary_setLocation(vsnBoundary *boundary, const char *location) {
  return Location_set(boundary->m_location, location);
}

int vsnBoundary_check(vsnBoundary *boundary, Topology *topology, zyrError **error) {
  return vsnRecord_check(boundary->m_location, topology, "boundary", boundary->m_name, error);
}

int vsnBoundary_resolve(vsnBoundary *boundary, Topology *topology) {
  return Location_resolve(boundary->m_location, topology);
}

int32_t vsnBoundary_getRegions(const vsnBoundary *boundary, Region ***regions) {
  return vsnRecord_getRegions(boundary->m_location, kSurfaces, 0, regions);
}

int32_t vsnBoundary_getLocationComponents(const vsnBoundary *boundary, char ***names) {
  return vsnRecord_getComponents(boundary->m_location, names);
}

const char *vsnBoundary_getLocationString(const vsnBoundary *boundary) {
  return Location_getString(boundary->m_location);
}

const char *vsnBoundary_getName(const vsnBoundary *boundary) { return boundary->m_name; }

void vsnBoundary_setDomain(vsnBoundary *boundary, vsnDomain *domain) { boundary->m_domain = domain; }

vsnDomain *vsnBoundary_getDomain(const vsnBoundary *boundary) { return boundary->m_domain; }

int vsnBoundary_isRegionInBoundary(const vsnBoundary *boundary, const Region *region) {
  // Resolved to nothing is still resolved: only an unresolved location answers -1.
  if (boundary->m_location->m_noOfRegions < 0)
    return -1;
  Region **regions = nullptr;
  const int32_t count = vsnBoundary_getRegions(boundary, &regions);
  int found = 0;
  for (int32_t i = 0; i < count && !found; ++i)
    found = regions[i] == region;
  zyrMemory_free(regions, __func__);
  return found;
}
