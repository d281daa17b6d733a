// Arbitrary text read as VSN physics into a zone map, the way a definition file's physics reaches
// the writer: a build either fails with its closing 10041 or gives a map whose records hang
// together, that orders, dumps and deletes cleanly.
#include "Set.h"
#include "vsnBoundary.h"
#include "vsnDomain.h"
#include "vsnInterface.h"
#include "vsnSubdomain.h"
#include "zyrError.h"
#include "zyrErrorCode.h"
#include "zyrErrorManager.h"
#include "zyrMemory.h"
#include "zyrZoneMap.h"
#include "zyrTestSupport.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

const int g_localUnits = setenv("ZYR_USE_LOCAL_UNITS", "1", 0);

void check(bool ok) {
  if (!ok)
    std::abort();
}

void checkMap(zyrZoneMap *map) {
  vsnDomain **domains = nullptr;
  const int32_t noOfDomains = zyrZoneMap_getDomains(map, &domains);
  int32_t ownSubdomains = 0, ownBoundaries = 0;
  for (int32_t d = 0; d < noOfDomains; ++d) {
    ownSubdomains += Set_getNoOfMembers(domains[d]->m_subdomains);
    ownBoundaries += Set_getNoOfMembers(domains[d]->m_boundaries);
  }
  zyrMemory_free(domains, "fuzz");
  // Every subdomain and boundary belongs to exactly one domain of the map.
  check(ownSubdomains == zyrZoneMap_getNoOfSubdomains(map));
  check(ownBoundaries == zyrZoneMap_getNoOfBoundaries(map));
  vsnBoundary **boundaries = nullptr;
  const int32_t noOfBoundaries = zyrZoneMap_getBoundaries(map, &boundaries);
  for (int32_t b = 0; b < noOfBoundaries; ++b)
    check(vsnBoundary_getDomain(boundaries[b]) != nullptr);
  zyrMemory_free(boundaries, "fuzz");
  vsnInterface **interfaces = nullptr;
  const int32_t noOfInterfaces = zyrZoneMap_getInterfaces(map, &interfaces);
  for (int32_t i = 0; i < noOfInterfaces; ++i) {
    check(vsnInterface_getType(interfaces[i]) >= 0 && vsnInterface_getType(interfaces[i]) <= 2);
    check(interfaces[i]->m_periodicity >= -1 && interfaces[i]->m_periodicity <= 2);
    double root[3], tip[3];
    check(vsnInterface_getAxis(interfaces[i], "mm", root, tip) == (interfaces[i]->m_periodicity > 0 ? 1 : 0));
  }
  zyrMemory_free(interfaces, "fuzz");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  (void)g_localUnits;
  int descriptor = memfd_create("zone_map_vsn", MFD_CLOEXEC);
  if (descriptor < 0)
    return 0;
  if (size > 0 && write(descriptor, data, size) != static_cast<ssize_t>(size)) {
    close(descriptor);
    return 0;
  }
  const std::string path = "/proc/self/fd/" + std::to_string(descriptor);
  zyrZoneMap *map = zyrZoneMap_newFromFile(path.c_str());
  close(descriptor);

  zyrErrorManager *manager = zyrErrorManager_get();
  if (map != nullptr) {
    checkMap(map);
    check(zyrZoneMap_order(map) == 1);
    checkMap(map);
    zyrZoneMap_print(map, zyrtest::fuzzSink());
    zyrZoneMap_printSummary(map, zyrtest::fuzzSink());
    zyrZoneMap_delete(map);
  } else {
    zyrError *last = zyrError_getLast();
    check(last != nullptr && zyrError_getCode(last) == ZYR_U_INVALID_VSN);
  }
  zyrErrorManager_clearErrors(manager);
  return 0;
}
