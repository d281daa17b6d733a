#include "TopologyReferences.h"

#include "Set.h"
#include "zyrError.h"
#include "zyrErrorCode.h"
#include "zyrMemory.h"
#include "zyrObject.h"
#include "zyrTypeManager.h"

namespace {

void report(void *owner, const char *key, int32_t typeId, const char *caller, int32_t noOfBad) {
  char uuid[32];
  zyrObject_getUUIDString(owner, uuid);
  zyrError *error = zyrError_new(ZYR_I_INTERNAL_ERROR, caller, __FILE__, __LINE__);
  zyrError_addMessage(error, "The stored record %s (%s) refers under \"%s\" to %d object(s) that are not of type %s;\n",
                      uuid, zyrObject_getTypeName(owner), key, noOfBad,
                      zyrTypeManager_getNameOfIndex(zyrTypeManager_findTypeId(typeId)));
  zyrError_addMessage(error, "they have been left out.\n");
  zyrError_publish(error);
}

} // namespace

int TopologyReferences_isOfType(const void *object, int32_t typeId) {
  return object != nullptr && zyrObject_getTypeId(object) == typeId ? 1 : 0;
}

int TopologyReferences_read(void *owner, int32_t flag, const char *key, int32_t typeId, const char *caller,
                            void **target) {
  if (!zyrObject_checkAttribute(owner, flag, key))
    return 1;
  void *read = nullptr;
  zyrObject_getPointer(owner, 0, key, &read);
  if (read != nullptr && !TopologyReferences_isOfType(read, typeId)) {
    report(owner, key, typeId, caller, 1);
    *target = nullptr;
    return 0;
  }
  *target = read;
  return 1;
}

int TopologyReferences_readArray(void *owner, int32_t flag, const char *key, int32_t typeId, const char *caller,
                                 void ***targets, int32_t *count) {
  *targets = nullptr;
  if (!zyrObject_checkAttribute(owner, flag, key)) {
    *count = -1;
    return 1;
  }
  *count = 0;
  void **read = nullptr;
  int32_t n = 0;
  zyrObject_getPointers(owner, 0, key, &read, &n);
  int32_t kept = 0, bad = 0;
  for (int32_t i = 0; i < n; ++i) {
    if (TopologyReferences_isOfType(read[i], typeId))
      read[kept++] = read[i];
    else
      ++bad;
  }
  if (bad > 0)
    report(owner, key, typeId, caller, bad);
  if (kept == 0) {
    zyrMemory_free(read, __func__);
    read = nullptr;
  }
  *targets = read;
  *count = kept;
  return bad == 0 ? 1 : 0;
}

int TopologyReferences_readSet(void *owner, int32_t flag, const char *key, int32_t typeId, const char *caller,
                               Set **set) {
  void **members = nullptr;
  int32_t count = 0;
  const int ok = TopologyReferences_readArray(owner, flag, key, typeId, caller, &members, &count);
  if (count >= 0) {
    Set_delete(*set);
    *set = Set_newFromArray(count, members);
  }
  zyrMemory_free(members, __func__);
  return ok;
}
