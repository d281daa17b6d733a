#include "Location.h"

#include "LocationString.h"
#include "NameManager.h"
#include "Region.h"
#include "Topology.h"
#include "zyrCString.h"
#include "zyrError.h"
#include "zyrErrorCode.h"
#include "zyrMemory.h"

Location *Location_new() {
  Location *location = zyrMemory_allocateZeroedArray<Location>(1, __func__);
  location->m_noOfComponents = -1;
  location->m_noOfRegions = -1;
  return location;
}

void Location_delete(Location *location) {
  if (location == nullptr)
    return;
  Location_unresolve(location);
  Location_clear(location);
  zyrMemory_free(location, __func__);
}

int Location_set(Location *location, const char *text) {
  Location_unresolve(location);
  Location_clear(location);
  if (text == nullptr)
    return 0;
  int32_t count = 0;
  char **names = nullptr;
  const int status = LocationString_parse(text, &count, &names);
  if (status != 1)
    return status;
  location->m_locationString = zyrCString_clone(text);
  location->m_noOfComponents = count;
  location->m_components = names;
  return 1;
}

void Location_unresolve(Location *location) {
  zyrMemory_free(location->m_regions, __func__);
  location->m_regions = nullptr;
  location->m_noOfRegions = -1;
}

void Location_clear(Location *location) {
  zyrCString_free(location->m_locationString);
  location->m_locationString = nullptr;
  if (location->m_noOfComponents > 0)
    zyrCStringArray_free(location->m_components, static_cast<uint64_t>(location->m_noOfComponents));
  location->m_components = nullptr;
  location->m_noOfComponents = -1;
}

int Location_check(const Location *location, Topology *topology, const char *kind, const char *owner,
                   zyrError **error) {
  NameManager *nm = Topology_getNameManager(topology);
  bool found = false;
  for (int32_t i = 0; i < location->m_noOfComponents; ++i) {
    const char *name = location->m_components[i];
    const char *problem = nullptr;
    if (!NameManager_isNameUsed(nm, name))
      problem = "  Region \"%s\" is not recognised.\n";
    else if (!NameManager_isNameResolvable(nm, name))
      problem = "  Region \"%s\" resolves into unknown primitives.\n";
    if (problem == nullptr)
      continue;
    if (*error == nullptr)
      *error = zyrError_new(ZYR_U_INVALID_VSN, __func__, __FILE__, __LINE__);
    if (!found)
      zyrError_addMessage(*error, "\nThe location of %s \"%s\" is invalid:\n", kind != nullptr ? kind : "",
                          owner != nullptr ? owner : "");
    found = true;
    zyrError_addMessage(*error, problem, name);
  }
  return found ? 0 : 1;
}

int Location_resolve(Location *location, Topology *topology) {
  Location_unresolve(location);
  int32_t count = 0;
  Region **regions = nullptr;
  const int status = Topology_resolveLocation(topology, location->m_locationString, 0, 1, 0, &count, &regions);
  if (status != 1) {
    zyrMemory_free(regions, __func__);
    return status;
  }
  location->m_noOfRegions = count;
  location->m_regions = regions;
  return 1;
}

namespace {

bool selected(int32_t mask, const Region *region) {
  const int32_t d = Region_getDimensionality(region);
  return d >= 0 && d < 31 && (mask & (1 << d)) != 0;
}

} // namespace

int32_t Location_getRegions(const Location *location, int32_t mask, Region ***regions) {
  *regions = nullptr;
  if (location->m_regions == nullptr || location->m_noOfRegions < 1)
    return -1;
  int32_t n = 0;
  for (int32_t i = 0; i < location->m_noOfRegions; ++i)
    if (selected(mask, location->m_regions[i]))
      ++n;
  if (n == 0)
    return 0;
  Region **out = zyrMemory_allocateArray<Region *>(n, __func__);
  int32_t at = 0;
  for (int32_t i = 0; i < location->m_noOfRegions; ++i)
    if (selected(mask, location->m_regions[i]))
      out[at++] = location->m_regions[i];
  *regions = out;
  return n;
}

int32_t Location_getComponents(const Location *location, char ***names) {
  if (location->m_noOfComponents > 0)
    *names = zyrCStringArray_clone(location->m_components, static_cast<uint64_t>(location->m_noOfComponents));
  return location->m_noOfComponents;
}

const char *Location_getString(const Location *location) { return location->m_locationString; }

void Location_print(const Location *location, FILE *stream) {
  const char *rule = "------------------------------------\n";
  std::fprintf(stream, "\n%sLocation: \"%s\"\n%s\nState = ", rule,
               location->m_locationString != nullptr ? location->m_locationString : " ", rule);
  if (location->m_noOfComponents < 0)
    std::fputs("Undefined.\n", stream);
  else if (location->m_noOfRegions < 0)
    std::fputs("Defined - Unresolved.\n", stream);
  else
    std::fputs("Defined - Resolved.\n", stream);
  if (location->m_noOfComponents >= 0) {
    std::fprintf(stream, "\nNo. of components = %d\n", location->m_noOfComponents);
    for (int32_t i = 0; i < location->m_noOfComponents; ++i)
      std::fprintf(stream, "  \"%s\"\n", location->m_components[i]);
  }
  if (location->m_noOfComponents >= 0 && location->m_noOfRegions >= 0) {
    std::fprintf(stream, "\nNo. of regions    = %d\n", location->m_noOfRegions);
    for (int32_t i = 0; i < location->m_noOfRegions; ++i)
      std::fprintf(stream, "  %s\n", Region_getName(location->m_regions[i]));
  }
  std::fputs(rule, stream);
}
