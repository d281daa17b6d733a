#include "zyrBlob.h"

#include "zyrMemory.h"

#include <cinttypes>
#include <cstring>

namespace {

const char *kData = "data";
const char *kUseCount = "useCount";

int64_t elementSize(int32_t type) {
  switch (type) {
  case ZYR_TYPE_INT:
    return static_cast<int64_t>(sizeof(int32_t));
  case ZYR_TYPE_FLOAT:
    return static_cast<int64_t>(sizeof(float));
  case ZYR_TYPE_DOUBLE:
    return static_cast<int64_t>(sizeof(double));
  case ZYR_TYPE_CHAR:
    return 1;
  case ZYR_TYPE_POINTER:
    return static_cast<int64_t>(sizeof(void *));
  default:
    return 0;
  }
}

int storeUseCount(zyrBlob *blob) { return zyrObject_setInt(blob, kUseCount, blob->m_useCount); }

// Frees the block and deletes the object.
int release(zyrBlob *blob) {
  zyrMemory_freeAndClear(&blob->m_data, __func__);
  return zyrObject_delete(blob);
}

// Takes over a block read from the store.
void adopt(zyrBlob *blob, void *data, int32_t count, int32_t type) {
  zyrMemory_free(blob->m_data, __func__);
  blob->m_data = data;
  blob->m_type = type;
  blob->m_size = static_cast<int64_t>(count) * elementSize(type);
}

} // namespace

zyrBlob *zyrBlob_new(void *data, int64_t size, int32_t type) {
  zyrBlob *blob = static_cast<zyrBlob *>(zyrObject_new("zyrBlob"));
  if (blob == nullptr)
    return nullptr;
  blob->m_data = data;
  blob->m_size = size;
  blob->m_type = type;
  blob->m_useCount = 1;
  zyrBlob_storeData(blob);
  storeUseCount(blob);
  return blob;
}

int zyrBlob_delete(zyrBlob *blob) {
  if (blob == nullptr)
    return 0;
  // A change of state unloads the blob whatever its count: the count belongs to the stored state.
  if (zyrObject_canDelete(blob) == 0)
    return release(blob);
  if (blob->m_useCount > 1) {
    --blob->m_useCount;
    return storeUseCount(blob);
  }
  return release(blob);
}

void zyrBlob_print(const zyrBlob *blob, FILE *stream) {
  const char *rule = "==============================================";
  char key[32];
  zyrObject_getUUIDString(blob, key);
  std::fprintf(stream, "\n%s\nzyrBlob: %s\n%s\n\n", rule, key, rule);
  std::fprintf(stream, "m_size     = %" PRId64 "\n", blob->m_size);
  std::fprintf(stream, "m_useCount = %d\n", blob->m_useCount);
  static const char *const names[] = {"ZYR_TYPE_INT\n", "ZYR_TYPE_FLOAT\n", "ZYR_TYPE_DOUBLE\n", "ZYR_TYPE_CHAR\n",
                                      "ZYR_TYPE_POINTER\n"};
  std::fprintf(stream, "m_type     = %s",
               blob->m_type >= ZYR_TYPE_INT && blob->m_type <= ZYR_TYPE_POINTER ? names[blob->m_type]
                                                                                : "*** UNKNOWN ***\n");
  std::fprintf(stream, "%s\n\n", rule);
  std::fflush(stream);
}

zyrBlob *zyrBlob_sharedCopy(zyrBlob *blob) {
  if (blob == nullptr)
    return nullptr;
  ++blob->m_useCount;
  storeUseCount(blob);
  return blob;
}

zyrBlob *zyrBlob_copy(zyrBlob *blob) { return zyrBlob_sharedCopy(blob); }

zyrBlob *zyrBlob_uniqueCopy(zyrBlob *blob, int32_t flag) {
  if (blob == nullptr)
    return nullptr;
  zyrBlob *copy = static_cast<zyrBlob *>(zyrObject_new("zyrBlob"));
  if (copy == nullptr)
    return nullptr;
  copy->m_size = blob->m_size;
  copy->m_type = blob->m_type;
  copy->m_data = blob->m_size > 0 && blob->m_data != nullptr ? zyrMemory_duplicate(blob->m_data, blob->m_size, __func__)
                                                             : nullptr;
  if (flag != 1)
    zyrBlob_storeData(copy);
  copy->m_useCount = 1;
  storeUseCount(copy);
  return copy;
}

zyrBlob *zyrBlob_makeUnique(zyrBlob *blob, int32_t flag) {
  if (blob == nullptr)
    return nullptr;
  return blob->m_useCount == 1 ? blob : zyrBlob_uniqueCopy(blob, flag);
}

zyrBlob *zyrBlob_getUnique(zyrBlob *blob, int32_t flag) { return zyrBlob_makeUnique(blob, flag); }

int zyrBlob_setData(zyrBlob *blob, void *data, int64_t size, int32_t type) {
  if (data != blob->m_data) {
    zyrMemory_free(blob->m_data, __func__);
    blob->m_data = data;
    blob->m_size = size;
    blob->m_type = type;
  }
  return zyrBlob_storeData(blob);
}

int zyrBlob_update(zyrBlob *blob) { return zyrBlob_storeData(blob); }

void *zyrBlob_getData(const zyrBlob *blob) { return blob->m_data; }
int64_t zyrBlob_getSize(const zyrBlob *blob) { return blob->m_size; }
int32_t zyrBlob_getType(const zyrBlob *blob) { return blob->m_type; }
int32_t zyrBlob_getUseCount(const zyrBlob *blob) { return blob->m_useCount; }

int zyrBlob_storeData(zyrBlob *blob) {
  const int64_t width = elementSize(blob->m_type);
  if (width == 0)
    return 0;
  const int64_t count = blob->m_size > 0 ? blob->m_size / width : 0;
  if (count > INT32_MAX)
    return 0;
  const int32_t n = static_cast<int32_t>(count);
  switch (blob->m_type) {
  case ZYR_TYPE_INT:
    return zyrObject_setInts(blob, kData, static_cast<const int32_t *>(blob->m_data), n);
  case ZYR_TYPE_FLOAT:
    return zyrObject_setFloats(blob, kData, static_cast<const float *>(blob->m_data), n);
  case ZYR_TYPE_DOUBLE:
    return zyrObject_setDoubles(blob, kData, static_cast<const double *>(blob->m_data), n);
  case ZYR_TYPE_CHAR:
    return zyrObject_setChars(blob, kData, static_cast<const char *>(blob->m_data), n);
  default:
    return zyrObject_setPointers(blob, kData, static_cast<void *const *>(blob->m_data), n);
  }
}

int zyrBlob_getStoredData(zyrBlob *blob, int32_t flag) {
  if (zyrObject_checkAttribute(blob, flag, kData) == 0)
    return 1;
  // One read decides which version stands in and gives both its kind and its values: a damaged
  // version gives way to the older one, whatever its kind. An empty array keeps its type.
  int32_t kind = -1;
  int32_t count = 0;
  void *values = nullptr;
  const int status = zyrObject_getData(blob, 0, kData, &kind, &values, &count);
  static const int32_t kTypes[6] = {ZYR_TYPE_INT, ZYR_TYPE_FLOAT, ZYR_TYPE_DOUBLE, ZYR_TYPE_CHAR, -1, ZYR_TYPE_POINTER};
  // None that reads: no data, as an open at the state finds the blob, not what it held at another.
  if (status != 1 || kind < 0 || kind > 5 || kTypes[kind] < 0) {
    zyrMemory_free(values, __func__);
    adopt(blob, nullptr, 0, ZYR_TYPE_INT);
    return status;
  }
  adopt(blob, values, count, kTypes[kind]);
  return status;
}

int zyrBlob_restore(zyrBlob *blob, int32_t flag) {
  const int status = zyrBlob_getStoredData(blob, flag);
  // A count that no version gives is 0 at every state, as an open finds it.
  if (zyrObject_checkAttribute(blob, flag, kUseCount) != 0) {
    int32_t count = 0;
    zyrObject_getInt(blob, 0, kUseCount, &count);
    blob->m_useCount = count;
  }
  return status;
}

int64_t zyrBlob_sizeHook() { return static_cast<int64_t>(sizeof(zyrBlob)); }

int zyrBlob_restoreHook(void *object, int32_t flag) { return zyrBlob_restore(static_cast<zyrBlob *>(object), flag); }

int zyrBlob_deleteHook(void *object) { return zyrBlob_delete(static_cast<zyrBlob *>(object)); }
