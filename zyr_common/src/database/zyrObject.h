#ifndef ZYR_OBJECT_H
#define ZYR_OBJECT_H
// Persistent objects. Every record kept in a database begins with the zyrObject header and saves
// and restores its own fields as named, versioned attributes. The functions here keep no state:
// each one goes to the current state manager (Repository_getCurrentStateManager).
//
// Objects are passed as untyped pointers so that every persistent record (whose first member is
// the header) can be handed over without a cast.
//
// Getters take the restore flag that the type's restore hook was given: with flag 1 an attribute
// is read only while a change of state is applying a range in which it changed; otherwise the
// getter answers 1 and leaves its output alone.
#include <cstdint>
#include <cstdio>

struct zyrUUID;
struct zyrAffineTransform3D;
struct Set;
struct HashSet;

struct zyrObject {
  zyrUUID *m_uuid;      // owned
  int32_t m_typeIndex;  // position in the type registry, not the type id
};

// Memory only: a zero-filled record of the type's size with the header set (the UUID is taken
// over; NULL makes a new one). No store access.
void *zyrObject_createMemory(zyrUUID *uuid, int32_t typeIndex);
void zyrObject_destroyMemory(void *object);

// A live object of the registered type, its "__TYPE__" written at the open state; NULL for an
// unknown name.
void *zyrObject_new(const char *typeName);
int zyrObject_delete(void *object);
int zyrObject_destroy(void *object);
int zyrObject_reload(void *object);
int zyrObject_isDestroying(const void *object);
int zyrObject_canDelete(const void *object);
int zyrObject_setModified(void *object);

zyrUUID *zyrObject_getUUID(const void *object);
int32_t zyrObject_getTypeIndex(const void *object);
int32_t zyrObject_getTypeId(const void *object);
const char *zyrObject_getTypeName(const void *object);
int64_t zyrObject_getSize(const void *object);
// Writes the 22-character key into a buffer of at least 23 characters; "<UNKNOWN>" and 0 for NULL.
int zyrObject_getUUIDString(const void *object, char *buffer);

int zyrObject_dump(void *object);
int zyrObject_restore(void *object, int32_t flag);
int zyrObject_deleteByType(void *object);
void zyrObject_print(const void *object, FILE *stream);

int zyrObject_checkAttribute(const void *object, int32_t flag, const char *name);
int zyrObject_hasAttribute(const void *object, const char *name);

int zyrObject_setInt(void *object, const char *name, int32_t value);
int zyrObject_getInt(void *object, int32_t flag, const char *name, int32_t *value);
int zyrObject_setInts(void *object, const char *name, const int32_t *values, int32_t count);
int zyrObject_getInts(void *object, int32_t flag, const char *name, int32_t **values, int32_t *count);
int zyrObject_getIntArray(void *object, int32_t flag, const char *name, int32_t *values, int32_t n);

int zyrObject_setFloat(void *object, const char *name, float value);
int zyrObject_getFloat(void *object, int32_t flag, const char *name, float *value);
int zyrObject_setFloats(void *object, const char *name, const float *values, int32_t count);
int zyrObject_getFloats(void *object, int32_t flag, const char *name, float **values, int32_t *count);
int zyrObject_getFloatArray(void *object, int32_t flag, const char *name, float *values, int32_t n);

int zyrObject_setDouble(void *object, const char *name, double value);
int zyrObject_getDouble(void *object, int32_t flag, const char *name, double *value);
int zyrObject_setDoubles(void *object, const char *name, const double *values, int32_t count);
int zyrObject_getDoubles(void *object, int32_t flag, const char *name, double **values, int32_t *count);
int zyrObject_getDoubleArray(void *object, int32_t flag, const char *name, double *values, int32_t n);

int zyrObject_setChar(void *object, const char *name, char value);
int zyrObject_getChar(void *object, int32_t flag, const char *name, char *value);
int zyrObject_setChars(void *object, const char *name, const char *values, int32_t count);
int zyrObject_getChars(void *object, int32_t flag, const char *name, char **values, int32_t *count);
int zyrObject_getCharArray(void *object, int32_t flag, const char *name, char *values, int32_t n);

int zyrObject_setString(void *object, const char *name, const char *value);
int zyrObject_getString(void *object, int32_t flag, const char *name, char **value);
int zyrObject_setStrings(void *object, const char *name, char *const *values, int32_t count);
int zyrObject_getStrings(void *object, int32_t flag, const char *name, char ***values, int32_t *count);
int zyrObject_getStringArray(void *object, int32_t flag, const char *name, char **values, int32_t n);

// References are stored as the target's UUID; a NULL target is the null UUID. Every target read
// is checked against what the owner's type declares (zyrStateManager_checkReferences): one of a
// type it does not allow, or a part another record holds, is reported and read as NULL.
int zyrObject_setPointer(void *object, const char *name, const void *target);
int zyrObject_getPointer(void *object, int32_t flag, const char *name, void **target);
int zyrObject_setPointers(void *object, const char *name, void *const *targets, int32_t count);
int zyrObject_getPointers(void *object, int32_t flag, const char *name, void ***targets, int32_t *count);
int zyrObject_getPointerArray(void *object, int32_t flag, const char *name, void **targets, int32_t n);

// A transform under name N is three attributes: "N - A", "N - v" and "N - units".
int zyrObject_setAffineTransform3D(void *object, const char *name, const zyrAffineTransform3D *transform);
int zyrObject_getAffineTransform3D(void *object, int32_t flag, const char *name, zyrAffineTransform3D **transform);
int zyrObject_setSet(void *object, const char *name, const Set *set);
int zyrObject_getSet(void *object, int32_t flag, const char *name, Set **set);
int zyrObject_setHashSet(void *object, const char *name, const HashSet *set);
int zyrObject_getHashSet(void *object, int32_t flag, const char *name, HashSet **set);

// Element counts of the stored version by kind: integers, floats, doubles, characters, a count
// the store always gives as 0, references.
int zyrObject_describeData(void *object, const char *name, int32_t *noOfInts, int32_t *noOfFloats,
                           int32_t *noOfDoubles, int32_t *noOfChars, int32_t *noOfOthers, int32_t *noOfPointers);
// The stored version as the one kind its data type declares, whichever that is (a blob's data
// changes kind from state to state): *kind as the place of its count in zyrObject_describeData
// (0 integers, 1 floats, 2 doubles, 3 characters, 5 references, their targets as live objects),
// *values a new array of that kind and *count its length. One walk over the versions decides the
// one that stands in, and it gives both (Database_getData); -1, NULL and 0 when none reads.
int zyrObject_getData(void *object, int32_t flag, const char *name, int32_t *kind, void **values, int32_t *count);

#endif
