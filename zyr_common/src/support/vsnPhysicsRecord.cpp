#include "vsnPhysicsRecord.h"

#include "Location.h"
#include "Region.h"
#include "Topology.h"

const char *const kVsnRule = "==============================================\n";

int vsnRecord_check(Location *location, Topology *topology, const char *kind, const char *name, zyrError **error) {
  return Location_check(location, topology, kind, vsnRecord_name(name), error);
}

int32_t vsnRecord_getRegions(const Location *location, int32_t mask, int sort, Region ***regions) {
  *regions = nullptr;
  const int32_t count = Location_getRegions(location, mask, regions);
  if (sort && count > 1)
    zyrSortRegionsAlphabetically(count, *regions);
  return count;
}

int32_t vsnRecord_getComponents(const Location *location, char ***names) {
  *names = nullptr;
  return Location_getComponents(location, names);
}

void vsnRecord_printDomain(const char *domainName, int hasDomain, FILE *stream) {
  if (hasDomain)
    fprintf(stream, "Domain = \"%s\" ", vsnRecord_name(domainName));
  else
    fprintf(stream, "Domain = ***Not set***");
}
