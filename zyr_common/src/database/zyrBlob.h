#ifndef ZYR_BLOB_H
#define ZYR_BLOB_H
// Use-counted blobs: one typed block of data (a coordinate array, a connectivity list) kept as a
// persistent object and shared by several owners. Sharing raises the stored use count instead of
// copying; an owner that wants to change shared data first takes a unique copy. Every change of
// the count is stored, so undoing a state gives back the count of that state.
#include "zyrObject.h"

#include <cstdint>
#include <cstdio>

enum zyrBlobType {
  ZYR_TYPE_INT = 0,
  ZYR_TYPE_FLOAT = 1,
  ZYR_TYPE_DOUBLE = 2,
  ZYR_TYPE_CHAR = 3,
  ZYR_TYPE_POINTER = 4,
};

struct zyrBlob {
  zyrObject m_object;
  void *m_data;       // owned, tracked allocator
  int64_t m_size;     // bytes
  int32_t m_useCount;
  int32_t m_type;     // zyrBlobType
};

// A new blob holding data (taken over); "data" and a use count of 1 stored.
zyrBlob *zyrBlob_new(void *data, int64_t size, int32_t type);
// Releases one share; the last one deletes the object.
int zyrBlob_delete(zyrBlob *blob);
void zyrBlob_print(const zyrBlob *blob, FILE *stream);

// The same blob with one more share (NULL for NULL).
zyrBlob *zyrBlob_sharedCopy(zyrBlob *blob);
zyrBlob *zyrBlob_copy(zyrBlob *blob);
// A new blob with a private copy of the block; "data" is not stored when flag is 1.
zyrBlob *zyrBlob_uniqueCopy(zyrBlob *blob, int32_t flag);
// The blob itself when it has one owner, else a unique copy.
zyrBlob *zyrBlob_makeUnique(zyrBlob *blob, int32_t flag);
zyrBlob *zyrBlob_getUnique(zyrBlob *blob, int32_t flag);

int zyrBlob_setData(zyrBlob *blob, void *data, int64_t size, int32_t type);
int zyrBlob_update(zyrBlob *blob);
void *zyrBlob_getData(const zyrBlob *blob);
int64_t zyrBlob_getSize(const zyrBlob *blob);
int32_t zyrBlob_getType(const zyrBlob *blob);
int32_t zyrBlob_getUseCount(const zyrBlob *blob);
int zyrBlob_storeData(zyrBlob *blob);
int zyrBlob_getStoredData(zyrBlob *blob, int32_t flag);
int zyrBlob_restore(zyrBlob *blob, int32_t flag);

// Type hooks.
int64_t zyrBlob_sizeHook();
int zyrBlob_restoreHook(void *object, int32_t flag);
int zyrBlob_deleteHook(void *object);

#endif
