#include "zyrObject.h"

#include "HashSet.h"
#include "Repository.h"
#include "Set.h"
#include "zyrAffineTransform3D.h"
#include "zyrCString.h"
#include "zyrMemory.h"
#include "zyrStateManager.h"
#include "zyrTypeManager.h"
#include "zyrUUID.h"

#include <cstring>

namespace {

zyrStateManager *current() { return Repository_getCurrentStateManager(); }

const zyrObject *header(const void *object) { return static_cast<const zyrObject *>(object); }

// A read of a change of state that finds nothing: the record lost a value it was stored with.
int noted(const void *object, const char *name, int status) {
  zyrStateManager *manager = current();
  if (status != 1 && manager != nullptr && object != nullptr)
    zyrStateManager_noteUnread(manager, object, name);
  return status;
}

// The store is read only when the restore flag allows it; otherwise the field keeps its value.
int skipped(const void *object, int32_t flag, const char *name) {
  return zyrObject_checkAttribute(object, flag, name) == 0;
}

// Resolves an array of read UUIDs to live objects and frees them.
void **resolve(zyrStateManager *manager, zyrUUID **uuids, int32_t count) {
  void **targets = zyrMemory_allocateZeroedArray<void *>(count, __func__);
  for (int32_t i = 0; i < count; ++i) {
    targets[i] = zyrStateManager_pointerFromUUID(manager, uuids[i]);
    zyrUUID_delete(uuids[i]);
  }
  zyrMemory_free(uuids, __func__);
  return targets;
}

// Reads a reference array as live objects; *count 0 and NULL when there is none.
int readPointers(zyrStateManager *manager, void *object, const char *name, void ***targets, int32_t *count) {
  zyrUUID **uuids = nullptr;
  int32_t n = 0;
  const int status = zyrStateManager_getPointers(manager, object, name, &uuids, &n);
  if (status == 1 && n > 0 && uuids != nullptr) {
    *targets = resolve(manager, uuids, n);
    *count = n;
    zyrStateManager_checkReferences(manager, object, name, *targets, n);
  } else {
    if (uuids != nullptr) {
      for (int32_t i = 0; i < n; ++i)
        zyrUUID_delete(uuids[i]);
      zyrMemory_free(uuids, __func__);
    }
    *targets = nullptr;
    *count = 0;
  }
  return status;
}

} // namespace

void *zyrObject_createMemory(zyrUUID *uuid, int32_t typeIndex) {
  int64_t size = zyrTypeManager_getSizeHook(typeIndex)();
  if (size < static_cast<int64_t>(sizeof(zyrObject)))
    size = static_cast<int64_t>(sizeof(zyrObject));
  zyrObject *object = static_cast<zyrObject *>(zyrMemory_allocateAndSet(size, 0, __func__));
  object->m_uuid = uuid != nullptr ? uuid : zyrUUID_new();
  object->m_typeIndex = typeIndex;
  return object;
}

void zyrObject_destroyMemory(void *object) {
  if (object == nullptr)
    return;
  zyrUUID_delete(static_cast<zyrObject *>(object)->m_uuid);
  zyrMemory_free(object, __func__);
}

void *zyrObject_new(const char *typeName) {
  zyrStateManager *manager = current();
  return manager != nullptr ? zyrStateManager_newObject(manager, typeName) : nullptr;
}

int zyrObject_delete(void *object) {
  zyrStateManager *manager = current();
  if (object == nullptr)
    return 0;
  if (manager == nullptr) {
    zyrObject_destroyMemory(object);
    return 0;
  }
  return zyrStateManager_deleteObject(manager, object);
}

int zyrObject_destroy(void *object) {
  zyrStateManager *manager = current();
  return manager != nullptr && object != nullptr ? zyrStateManager_destroyObject(manager, object) : 0;
}

int zyrObject_reload(void *object) {
  zyrStateManager *manager = current();
  return manager != nullptr && object != nullptr ? zyrStateManager_reloadObject(manager, object) : 0;
}

int zyrObject_isDestroying(const void *object) {
  zyrStateManager *manager = current();
  return manager != nullptr ? zyrStateManager_isDestroying(manager, object) : 0;
}

int zyrObject_canDelete(const void *object) {
  zyrStateManager *manager = current();
  return manager != nullptr ? zyrStateManager_canDelete(manager, object) : 1;
}

int zyrObject_setModified(void *object) {
  zyrStateManager *manager = current();
  return manager != nullptr && object != nullptr ? zyrStateManager_setModified(manager, object) : 0;
}

zyrUUID *zyrObject_getUUID(const void *object) { return header(object)->m_uuid; }

int32_t zyrObject_getTypeIndex(const void *object) { return header(object)->m_typeIndex; }

int32_t zyrObject_getTypeId(const void *object) { return zyrTypeManager_getIdOfIndex(header(object)->m_typeIndex); }

const char *zyrObject_getTypeName(const void *object) {
  return zyrTypeManager_getNameOfIndex(header(object)->m_typeIndex);
}

int64_t zyrObject_getSize(const void *object) { return zyrTypeManager_getSizeHook(header(object)->m_typeIndex)(); }

int zyrObject_getUUIDString(const void *object, char *buffer) {
  if (object == nullptr) {
    std::strcpy(buffer, "<UNKNOWN>");
    return 0;
  }
  zyrUUID_toBase64(header(object)->m_uuid, buffer);
  return 1;
}

int zyrObject_dump(void *object) { return zyrTypeManager_getDumpHook(header(object)->m_typeIndex)(object); }

int zyrObject_restore(void *object, int32_t flag) {
  return zyrTypeManager_getRestoreHook(header(object)->m_typeIndex)(object, flag);
}

int zyrObject_deleteByType(void *object) { return zyrTypeManager_getDeleteHook(header(object)->m_typeIndex)(object); }

void zyrObject_print(const void *object, FILE *stream) {
  char key[ZYR_UUID_BASE64_SIZE];
  zyrObject_getUUIDString(object, key);
  std::fprintf(stream, "%s [%p] type = %d\n", key, object, object != nullptr ? zyrObject_getTypeId(object) : -1);
}

int zyrObject_checkAttribute(const void *object, int32_t flag, const char *name) {
  return flag == 0 ? 1 : zyrObject_hasAttribute(object, name);
}

int zyrObject_hasAttribute(const void *object, const char *name) {
  zyrStateManager *manager = current();
  int changed = 0;
  if (manager == nullptr || object == nullptr)
    return 0;
  zyrStateManager_isParameterChanged(manager, header(object)->m_uuid, name, &changed);
  return changed;
}

namespace {

// A typed attribute goes to the current state manager; without one nothing is stored or read.
template <class Call, class... Args> int forward(void *object, const char *name, Call call, Args... args) {
  zyrStateManager *manager = current();
  return manager != nullptr ? call(manager, object, name, args...) : 0;
}

// A read that the flag may skip (see skipped) before it reaches the manager.
template <class Call, class... Args>
int forwardRead(void *object, int32_t flag, const char *name, Call call, Args... args) {
  if (skipped(object, flag, name))
    return 1;
  return noted(object, name, forward(object, name, call, args...));
}

} // namespace

int zyrObject_setInt(void *object, const char *name, int32_t value) {
  return forward(object, name, zyrStateManager_setInt, value);
}

int zyrObject_getInt(void *object, int32_t flag, const char *name, int32_t *value) {
  return forwardRead(object, flag, name, zyrStateManager_getInt, value);
}

int zyrObject_setInts(void *object, const char *name, const int32_t *values, int32_t count) {
  return forward(object, name, zyrStateManager_setInts, values, count);
}

int zyrObject_getInts(void *object, int32_t flag, const char *name, int32_t **values, int32_t *count) {
  if (skipped(object, flag, name))
    return 1;
  zyrMemory_freeAndClear(values, __func__);
  *count = 0;
  return noted(object, name, forward(object, name, zyrStateManager_getInts, values, count));
}

int zyrObject_getIntArray(void *object, int32_t flag, const char *name, int32_t *values, int32_t n) {
  return forwardRead(object, flag, name, zyrStateManager_getIntArray, values, n);
}

int zyrObject_setFloat(void *object, const char *name, float value) {
  return forward(object, name, zyrStateManager_setFloat, value);
}

int zyrObject_getFloat(void *object, int32_t flag, const char *name, float *value) {
  return forwardRead(object, flag, name, zyrStateManager_getFloat, value);
}

int zyrObject_setFloats(void *object, const char *name, const float *values, int32_t count) {
  return forward(object, name, zyrStateManager_setFloats, values, count);
}

int zyrObject_getFloats(void *object, int32_t flag, const char *name, float **values, int32_t *count) {
  if (skipped(object, flag, name))
    return 1;
  zyrMemory_freeAndClear(values, __func__);
  *count = 0;
  return noted(object, name, forward(object, name, zyrStateManager_getFloats, values, count));
}

int zyrObject_getFloatArray(void *object, int32_t flag, const char *name, float *values, int32_t n) {
  return forwardRead(object, flag, name, zyrStateManager_getFloatArray, values, n);
}

int zyrObject_setDouble(void *object, const char *name, double value) {
  return forward(object, name, zyrStateManager_setDouble, value);
}

int zyrObject_getDouble(void *object, int32_t flag, const char *name, double *value) {
  return forwardRead(object, flag, name, zyrStateManager_getDouble, value);
}

int zyrObject_setDoubles(void *object, const char *name, const double *values, int32_t count) {
  return forward(object, name, zyrStateManager_setDoubles, values, count);
}

int zyrObject_getDoubles(void *object, int32_t flag, const char *name, double **values, int32_t *count) {
  if (skipped(object, flag, name))
    return 1;
  zyrMemory_freeAndClear(values, __func__);
  *count = 0;
  return noted(object, name, forward(object, name, zyrStateManager_getDoubles, values, count));
}

int zyrObject_getDoubleArray(void *object, int32_t flag, const char *name, double *values, int32_t n) {
  return forwardRead(object, flag, name, zyrStateManager_getDoubleArray, values, n);
}

int zyrObject_setChar(void *object, const char *name, char value) {
  return forward(object, name, zyrStateManager_setChar, value);
}

int zyrObject_getChar(void *object, int32_t flag, const char *name, char *value) {
  return forwardRead(object, flag, name, zyrStateManager_getChar, value);
}

int zyrObject_setChars(void *object, const char *name, const char *values, int32_t count) {
  return forward(object, name, zyrStateManager_setChars, values, count);
}

int zyrObject_getChars(void *object, int32_t flag, const char *name, char **values, int32_t *count) {
  if (skipped(object, flag, name))
    return 1;
  zyrMemory_freeAndClear(values, __func__);
  *count = 0;
  return noted(object, name, forward(object, name, zyrStateManager_getChars, values, count));
}

int zyrObject_getCharArray(void *object, int32_t flag, const char *name, char *values, int32_t n) {
  return forwardRead(object, flag, name, zyrStateManager_getCharArray, values, n);
}

int zyrObject_setString(void *object, const char *name, const char *value) {
  return forward(object, name, zyrStateManager_setString, value);
}

int zyrObject_getString(void *object, int32_t flag, const char *name, char **value) {
  if (skipped(object, flag, name))
    return 1;
  zyrCString_free(*value);
  *value = nullptr;
  return noted(object, name, forward(object, name, zyrStateManager_getString, value));
}

int zyrObject_setStrings(void *object, const char *name, char *const *values, int32_t count) {
  return forward(object, name, zyrStateManager_setStrings, values, count);
}

int zyrObject_getStrings(void *object, int32_t flag, const char *name, char ***values, int32_t *count) {
  if (skipped(object, flag, name))
    return 1;
  if (*values != nullptr)
    zyrCStringArray_free(*values, static_cast<uint64_t>(*count > 0 ? *count : 0));
  *values = nullptr;
  *count = 0;
  return noted(object, name, forward(object, name, zyrStateManager_getStrings, values, count));
}

int zyrObject_getStringArray(void *object, int32_t flag, const char *name, char **values, int32_t n) {
  return forwardRead(object, flag, name, zyrStateManager_getStringArray, values, n);
}

int zyrObject_setPointer(void *object, const char *name, const void *target) {
  zyrStateManager *manager = current();
  if (manager == nullptr)
    return 0;
  return zyrStateManager_setPointer(manager, object, name, target != nullptr ? header(target)->m_uuid : nullptr);
}

int zyrObject_getPointer(void *object, int32_t flag, const char *name, void **target) {
  if (skipped(object, flag, name))
    return 1;
  zyrStateManager *manager = current();
  if (manager == nullptr) {
    *target = nullptr;
    return 0;
  }
  zyrUUID *uuid = nullptr;
  const int status = zyrStateManager_getPointer(manager, object, name, &uuid);
  *target = status == 1 ? zyrStateManager_pointerFromUUID(manager, uuid) : nullptr;
  zyrUUID_delete(uuid);
  if (status == 1)
    zyrStateManager_checkReferences(manager, object, name, target, 1);
  return noted(object, name, status);
}

int zyrObject_setPointers(void *object, const char *name, void *const *targets, int32_t count) {
  zyrStateManager *manager = current();
  if (manager == nullptr)
    return 0;
  if (count <= 0 || targets == nullptr)
    return zyrStateManager_setPointers(manager, object, name, nullptr, count);
  // A missing target is stored as the null reference rather than refused.
  zyrUUID **uuids = zyrMemory_allocateZeroedArray<zyrUUID *>(count, __func__);
  for (int32_t i = 0; i < count; ++i)
    uuids[i] = targets[i] != nullptr ? header(targets[i])->m_uuid : nullptr;
  const int status = zyrStateManager_setPointers(manager, object, name, uuids, count);
  zyrMemory_free(uuids, __func__);
  return status;
}

int zyrObject_getPointers(void *object, int32_t flag, const char *name, void ***targets, int32_t *count) {
  if (skipped(object, flag, name))
    return 1;
  zyrMemory_freeAndClear(targets, __func__);
  *count = 0;
  zyrStateManager *manager = current();
  return manager != nullptr ? noted(object, name, readPointers(manager, object, name, targets, count)) : 0;
}

int zyrObject_getPointerArray(void *object, int32_t flag, const char *name, void **targets, int32_t n) {
  if (skipped(object, flag, name))
    return 1;
  void **read = nullptr;
  int32_t count = 0;
  zyrObject_getPointers(object, 0, name, &read, &count);
  int result = 0;
  if (read != nullptr && count == n) {
    std::memcpy(targets, read, sizeof(void *) * static_cast<size_t>(n));
    result = 1;
  }
  zyrMemory_free(read, __func__);
  return result;
}

int zyrObject_setAffineTransform3D(void *object, const char *name, const zyrAffineTransform3D *transform) {
  if (transform == nullptr)
    return 1;
  double matrix[9];
  double vector[3];
  char *units = nullptr;
  zyrAffineTransform3D_get(transform, matrix, vector, &units);
  char *nameA = zyrCString_merge(name, " - A", nullptr);
  char *nameV = zyrCString_merge(name, " - v", nullptr);
  char *nameUnits = zyrCString_merge(name, " - units", nullptr);
  zyrObject_setDoubles(object, nameA, matrix, 9);
  zyrObject_setDoubles(object, nameV, vector, 3);
  zyrObject_setString(object, nameUnits, units);
  zyrCString_free(nameA);
  zyrCString_free(nameV);
  zyrCString_free(nameUnits);
  zyrCString_free(units);
  return 1;
}

int zyrObject_getAffineTransform3D(void *object, int32_t flag, const char *name, zyrAffineTransform3D **transform) {
  char *nameA = zyrCString_merge(name, " - A", nullptr);
  char *nameV = zyrCString_merge(name, " - v", nullptr);
  char *nameUnits = zyrCString_merge(name, " - units", nullptr);
  // A partial restore keeps the transform unless one of its parts changed; then all three parts
  // are read at the state being reached.
  const int read = flag == 0 || zyrObject_checkAttribute(object, flag, nameA) ||
                   zyrObject_checkAttribute(object, flag, nameV) || zyrObject_checkAttribute(object, flag, nameUnits);
  if (read) {
    zyrAffineTransform3D_delete(*transform);
    *transform = nullptr;
    double *matrix = nullptr;
    double *vector = nullptr;
    char *units = nullptr;
    int32_t nMatrix = 0;
    int32_t nVector = 0;
    const int okA = zyrObject_getDoubles(object, 0, nameA, &matrix, &nMatrix);
    const int okV = zyrObject_getDoubles(object, 0, nameV, &vector, &nVector);
    const int okUnits = zyrObject_getString(object, 0, nameUnits, &units);
    if (okA == 1 && okV == 1 && okUnits == 1 && matrix != nullptr && nMatrix == 9 && vector != nullptr &&
        nVector == 3 && units != nullptr) {
      *transform = zyrAffineTransform3D_new();
      zyrAffineTransform3D_set(*transform, matrix, vector, units);
    }
    zyrMemory_free(matrix, __func__);
    zyrMemory_free(vector, __func__);
    zyrCString_free(units);
  }
  zyrCString_free(nameA);
  zyrCString_free(nameV);
  zyrCString_free(nameUnits);
  return 1;
}

int zyrObject_setSet(void *object, const char *name, const Set *set) {
  void **array = nullptr;
  const int32_t n = set != nullptr ? Set_toArray(set, &array) : 0;
  zyrObject_setPointers(object, name, array, n);
  zyrMemory_free(array, __func__);
  return 1;
}

int zyrObject_getSet(void *object, int32_t flag, const char *name, Set **set) {
  if (skipped(object, flag, name))
    return 1;
  void **array = nullptr;
  int32_t n = 0;
  zyrObject_getPointers(object, 0, name, &array, &n);
  Set_delete(*set);
  *set = Set_newFromArray(n, array);
  zyrMemory_free(array, __func__);
  return 1;
}

int zyrObject_setHashSet(void *object, const char *name, const HashSet *set) {
  void **array = nullptr;
  const int32_t n = set != nullptr ? HashSet_toArray(set, &array) : 0;
  zyrObject_setPointers(object, name, array, n);
  zyrMemory_free(array, __func__);
  return 1;
}

int zyrObject_getHashSet(void *object, int32_t flag, const char *name, HashSet **set) {
  if (skipped(object, flag, name))
    return 1;
  void **array = nullptr;
  int32_t n = 0;
  zyrObject_getPointers(object, 0, name, &array, &n);
  HashSet_delete(*set);
  // The hash set holds a pointer twice when added twice: duplicates are dropped here.
  *set = HashSet_new(n > 0 ? n : 5);
  for (int32_t i = 0; i < n; ++i)
    if (!HashSet_contains(*set, array[i]))
      HashSet_add(*set, array[i]);
  zyrMemory_free(array, __func__);
  return 1;
}

int zyrObject_describeData(void *object, const char *name, int32_t *noOfInts, int32_t *noOfFloats, int32_t *noOfDoubles,
                           int32_t *noOfChars, int32_t *noOfOthers, int32_t *noOfPointers) {
  zyrStateManager *manager = current();
  if (manager == nullptr)
    return 0;
  return zyrStateManager_describeData(manager, object, name, noOfInts, noOfFloats, noOfDoubles, noOfChars, noOfOthers,
                                      noOfPointers);
}

int zyrObject_getData(void *object, int32_t flag, const char *name, int32_t *kind, void **values, int32_t *count) {
  if (skipped(object, flag, name))
    return 1;
  *kind = -1;
  *values = nullptr;
  *count = 0;
  zyrStateManager *manager = current();
  if (manager == nullptr)
    return 0;
  const int status = zyrStateManager_getData(manager, object, name, kind, values, count);
  if (status == 1 && *kind == 5 && *count > 0) {
    void **targets = resolve(manager, static_cast<zyrUUID **>(*values), *count);
    *values = targets;
    zyrStateManager_checkReferences(manager, object, name, targets, *count);
  }
  return noted(object, name, status);
}
