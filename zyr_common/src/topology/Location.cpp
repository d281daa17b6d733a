#include "Location.h"

#include "zyrCString.h"
#include "zyrError.h"
#include "zyrMemory.h"
#include "Region.h"

#include <cctype>
#include <cstring>
#include <string>
#include <vector>

char *LocationString_build(int32_t count, char *const *names) {
  std::string text;
  for (int32_t i = 0; i < count; ++i) {
    if (i > 0)
      text += ", ";
    text += names[i];
  }
  return count > 0 ? zyrCString_clone(text.c_str()) : nullptr;
}

int LocationString_parse(const char *string, int32_t *count, char ***names) {
  *count = 0;
  *names = nullptr;
  if (string == nullptr) {
    zyrError *error = zyrError_new(ZYR_U_INVALID_INPUT, __func__, __FILE__, __LINE__);
    zyrError_addMessage(error, "A null pointer has been supplied where a location string is required.\n");
    zyrError_publish(error);
    return 0;
  }
  std::vector<std::string> items;
  const char *p = string;
  while (true) {
    const char *end = std::strchr(p, ',');
    std::string item(p, end != nullptr ? end : p + std::strlen(p));
    size_t a = 0, b = item.size();
    while (a < b && std::isspace(static_cast<unsigned char>(item[a])))
      ++a;
    while (b > a && std::isspace(static_cast<unsigned char>(item[b - 1])))
      --b;
    if (b > a)
      items.push_back(item.substr(a, b - a));
    if (end == nullptr)
      break;
    p = end + 1;
  }
  if (items.empty())
    return 1;
  *names = zyrMemory_allocateZeroedArray<char *>(static_cast<int64_t>(items.size()), __func__);
  for (size_t i = 0; i < items.size(); ++i)
    (*names)[i] = zyrCString_clone(items[i].c_str());
  *count = static_cast<int32_t>(items.size());
  return 1;
}

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

void Location_unresolve(Location *location) {
  zyrMemory_freeAndClear(&location->m_regions, __func__);
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

int Location_set(Location *location, const char *string) {
  Location_unresolve(location);
  Location_clear(location);
  if (string == nullptr)
    return 0;
  int32_t count = 0;
  char **names = nullptr;
  if (!LocationString_parse(string, &count, &names))
    return 0;
  location->m_locationString = zyrCString_clone(string);
  location->m_noOfComponents = count;
  location->m_components = names;
  return 1;
}

int Location_check(Location *, Topology *, const char *, const char *, zyrError **) { return 0; }
int Location_resolve(Location *, Topology *) { return 0; }

int32_t Location_getRegions(const Location *location, int32_t, Region ***regions) {
  *regions = nullptr;
  return location->m_regions == nullptr ? -1 : 0;
}

int32_t Location_getComponents(const Location *location, char ***names) {
  if (location->m_noOfComponents > 0)
    *names = zyrCStringArray_clone(location->m_components, static_cast<uint64_t>(location->m_noOfComponents));
  return location->m_noOfComponents;
}

const char *Location_getString(const Location *location) { return location->m_locationString; }

void Location_print(const Location *location, FILE *stream) {
  fprintf(stream, "\n------------------------------------\n");
  fprintf(stream, "Location: \"%s\"\n", location->m_locationString != nullptr ? location->m_locationString : " ");
  fprintf(stream, "------------------------------------\n\nState = ");
  if (location->m_noOfComponents < 0)
    fprintf(stream, "Undefined.\n");
  else if (location->m_noOfRegions < 0)
    fprintf(stream, "Defined - Unresolved.\n");
  else
    fprintf(stream, "Defined - Resolved.\n");
  if (location->m_noOfComponents >= 0) {
    fprintf(stream, "\nNo. of components = %d\n", location->m_noOfComponents);
    for (int32_t i = 0; i < location->m_noOfComponents; ++i)
      fprintf(stream, "  \"%s\"\n", location->m_components[i]);
  }
  fprintf(stream, "------------------------------------\n");
}

const char *Region_getName(const Region *region) { return Region_getUserName(region); }
int32_t Region_getNoOfBoundingRegions(const Region *) { return 0; }
int32_t Region_getBoundingRegions(const Region *, Region ***regions) {
  *regions = nullptr;
  return 0;
}
void zyrSortRegionsAlphabetically(int32_t, Region **) {}
int32_t Topology_getAssemblies(Topology *, Assembly ***assemblies) {
  *assemblies = nullptr;
  return 0;
}
int32_t Assembly_getRegions(Assembly *, int32_t, Region ***regions) {
  *regions = nullptr;
  return 0;
}
