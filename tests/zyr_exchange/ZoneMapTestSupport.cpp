#include "ZoneMapTestSupport.h"

#include "vsnBoundary.h"
#include "vsnDomain.h"
#include "vsnInterface.h"
#include "vsnSubdomain.h"
#include "zyrMemory.h"
#include "zyrZoneMap.h"

#include <cstdlib>

namespace zyrtest {

namespace {
// The zone map needs unit definitions; the built-in table serves the tests.
const int g_localUnits = setenv("ZYR_USE_LOCAL_UNITS", "1", 0);

template <class T> std::vector<std::string> namesOf(T **records, int32_t count, const char *(*name)(const T *)) {
  std::vector<std::string> names;
  for (int32_t i = 0; i < count; ++i)
    names.push_back(name(records[i]) != nullptr ? name(records[i]) : "<none>");
  zyrMemory_free(records, __func__);
  return names;
}
} // namespace

void ZoneMapDeleter::operator()(zyrZoneMap *map) const { zyrZoneMap_delete(map); }

ZoneMapPtr zoneMapFromLines(const ScratchDir &dir, const std::vector<std::string> &lines) {
  (void)g_localUnits;
  std::string text;
  for (const std::string &line : lines)
    text += line + "\n";
  const std::string path = dir.file("physics.vsn");
  writeFile(path, text);
  return ZoneMapPtr(zyrZoneMap_newFromFile(path.c_str()));
}

std::vector<std::string> domainNames(const zyrZoneMap *map) {
  vsnDomain **records = nullptr;
  const int32_t n = zyrZoneMap_getDomains(map, &records);
  return namesOf(records, n, vsnDomain_getName);
}
std::vector<std::string> subdomainNames(const zyrZoneMap *map) {
  vsnSubdomain **records = nullptr;
  const int32_t n = zyrZoneMap_getSubdomains(map, &records);
  return namesOf(records, n, vsnSubdomain_getName);
}
std::vector<std::string> boundaryNames(const zyrZoneMap *map) {
  vsnBoundary **records = nullptr;
  const int32_t n = zyrZoneMap_getBoundaries(map, &records);
  return namesOf(records, n, vsnBoundary_getName);
}
std::vector<std::string> interfaceNames(const zyrZoneMap *map) {
  vsnInterface **records = nullptr;
  const int32_t n = zyrZoneMap_getInterfaces(map, &records);
  return namesOf(records, n, vsnInterface_getName);
}

} // namespace zyrtest
