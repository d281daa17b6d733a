#include "TopologyReferences.h"

#include "Set.h"
#include "zyrMemory.h"
#include "zyrObject.h"

int TopologyReferences_isOfType(const void *object, int32_t typeId) {
  return object != nullptr && zyrObject_getTypeId(object) == typeId ? 1 : 0;
}

int TopologyReferences_read(void *owner, int32_t flag, const char *key, int32_t typeId,
                            void **target) {
  if (!zyrObject_checkAttribute(owner, flag, key))
    return 1;
  // The store leaves out (and reports) a target of a type the owner's type does not allow.
  void *read = nullptr;
  zyrObject_getPointer(owner, 0, key, &read);
  const int ok = read == nullptr || TopologyReferences_isOfType(read, typeId);
  *target = ok ? read : nullptr;
  return ok;
}

int TopologyReferences_readArray(void *owner, int32_t flag, const char *key, int32_t typeId,
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
  // What the store left out, and null members, are dropped.
  int32_t kept = 0, bad = 0;
  for (int32_t i = 0; i < n; ++i) {
    if (TopologyReferences_isOfType(read[i], typeId))
      read[kept++] = read[i];
    else
      ++bad;
  }
  if (kept == 0) {
    zyrMemory_free(read, __func__);
    read = nullptr;
  }
  *targets = read;
  *count = kept;
  return bad == 0 ? 1 : 0;
}

int TopologyReferences_readSet(void *owner, int32_t flag, const char *key, int32_t typeId,
                               Set **set) {
  void **members = nullptr;
  int32_t count = 0;
  const int ok = TopologyReferences_readArray(owner, flag, key, typeId, &members, &count);
  if (count >= 0) {
    Set_delete(*set);
    *set = Set_newFromArray(count, members);
  }
  zyrMemory_free(members, __func__);
  return ok;
}
