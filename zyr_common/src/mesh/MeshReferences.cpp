#include "MeshReferences.h"

#include "zyrError.h"
#include "zyrErrorCode.h"
#include "zyrObject.h"
#include "zyrUUID.h"

#include <unordered_set>

int MeshReferences_dropRepeatedLinks(void *owner, const char *key, const char *caller, void **a, void **b, int64_t n,
                                     int64_t stride) {
  std::unordered_set<void *> linked;
  int32_t noOfRepeated = 0;
  for (int64_t i = 0; i < n; ++i) {
    void **first = a + i * stride;
    void **second = b + i * stride;
    if (*first == nullptr || *second == nullptr)
      continue;
    if (linked.count(*first) > 0 || linked.count(*second) > 0) {
      *first = nullptr;
      *second = nullptr;
      ++noOfRepeated;
      continue;
    }
    linked.insert(*first);
    linked.insert(*second);
  }
  if (noOfRepeated == 0)
    return 1;
  char uuid[ZYR_UUID_BASE64_SIZE];
  zyrObject_getUUIDString(owner, uuid);
  ZYR_ERROR_FOR(ZYR_I_INTERNAL_ERROR, caller,
                "The stored record %s (%s) links under \"%s\" %d object(s) more than once;\n"
                "those links have been left out.\n",
                uuid, zyrObject_getTypeName(owner), key, noOfRepeated);
  return 0;
}
