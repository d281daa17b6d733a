#ifndef ZYR_TYPE_MANAGER_H
#define ZYR_TYPE_MANAGER_H
// The process-wide registry of persistent types. Each row gives a type its id (the number stored
// in database files), its name and the four hooks through which the object store sizes, writes,
// reads and frees records of the type without knowing their layout. The position of a row is the
// type index that every object header carries.
//
// The rows of the 21 default types are fixed here; their hooks belong to the layers that own the
// types (topology, mesh, model, ...), which install them at their initialisation through
// zyrTypeManager_setHooks. Until then a row carries neutral hooks: the record is the bare object
// header, dump and restore do nothing, delete is zyrObject_delete.
#include <cstdint>
#include <cstdio>

// Hooks of a type. Objects are records that begin with the zyrObject header.
typedef int64_t (*zyrTypeSizeHook)();
typedef int (*zyrTypeDumpHook)(void *object);
typedef int (*zyrTypeRestoreHook)(void *object, int32_t flag);
typedef int (*zyrTypeDeleteHook)(void *object);

struct zyrTypeEntry {
  int32_t m_id;
  const char *m_name; // static for default rows, owned for rows registered at run time
  zyrTypeSizeHook m_size;
  zyrTypeDumpHook m_dump;
  zyrTypeRestoreHook m_restore;
  zyrTypeDeleteHook m_delete;
};

struct zyrTypeManager {
  int32_t m_noOfTypes;
  int32_t m_maxNoOfTypes;
  int32_t m_noOfNewTypes;
  zyrTypeEntry *m_types;
};

// What a type declares about the attributes it stores, so that the store checks every restored
// record the same way: a reference must lead to a live object of a type it allows, a part (owned)
// belongs to no more records than it has shares, a value the type always writes must be there,
// and a vital reference (one without which the record's model cannot live) must hold.
enum {
  ZYR_ATTRIBUTE_OPTIONAL = 1, // may be absent from a sound file
  ZYR_ATTRIBUTE_OWNED = 2,    // references a part that the record deletes with itself
  ZYR_ATTRIBUTE_VITAL = 4     // a file whose record lost it is not opened
};

struct zyrAttributeRule {
  const char *m_name;    // the attribute; NULL ends a list of rules
  const char *m_types;   // NULL for values; for references the type names a target may have: "A|B"
                         // either, "A,B" each in turn along an array
  int32_t m_flags;
  const char *m_inverse; // a reference the target stores back to its referrer under this name
                         // (NULL: none); a target that does not refer back is left out
};

// Ids known to the store itself.
enum { ZYR_TYPE_ID_REPOSITORY = 0, ZYR_TYPE_ID_BLOB = 1, ZYR_TYPE_ID_MODEL = 12, ZYR_TYPE_ID_PROJECTION = 100 };

// The registry, created on first use and never freed.
zyrTypeManager *zyrTypeManager_new();
void zyrTypeManager_print(FILE *stream);

// Appends a type with the smallest free id above 99; 0 when the name is already known.
int zyrTypeManager_registerType(const char *name, int32_t unused, zyrTypeSizeHook size, zyrTypeDumpHook dump,
                                zyrTypeRestoreHook restore, zyrTypeDeleteHook destroy);
// Installs the hooks of a known type (a NULL hook leaves the one in place); 0 for an unknown name.
int zyrTypeManager_setHooks(const char *name, zyrTypeSizeHook size, zyrTypeDumpHook dump, zyrTypeRestoreHook restore,
                            zyrTypeDeleteHook destroy);

// Declares the attributes of a known type; the rules must last as long as the process. 0 for an
// unknown name.
int zyrTypeManager_setAttributes(const char *name, const zyrAttributeRule *rules);
// 1 when the type at the index declared its attributes.
int zyrTypeManager_hasAttributes(int32_t index);
// The rule of an attribute of the type at the index; NULL when it declared none for the name.
const zyrAttributeRule *zyrTypeManager_findAttribute(int32_t index, const char *name);
// Whether a target of the named type may stand at a position of a reference under the rule.
int zyrTypeManager_allowsTarget(const zyrAttributeRule *rule, int32_t position, const char *typeName);

int32_t zyrTypeManager_findType(const char *name);
int32_t zyrTypeManager_findTypeId(int32_t id);
const char *zyrTypeManager_getNameOfId(int32_t id);
int32_t zyrTypeManager_getIdOfName(const char *name);
int32_t zyrTypeManager_getIdOfIndex(int32_t index);
const char *zyrTypeManager_getNameOfIndex(int32_t index);
int32_t zyrTypeManager_getNoOfTypes();

// The index must be valid.
zyrTypeSizeHook zyrTypeManager_getSizeHook(int32_t index);
zyrTypeDumpHook zyrTypeManager_getDumpHook(int32_t index);
zyrTypeRestoreHook zyrTypeManager_getRestoreHook(int32_t index);
zyrTypeDeleteHook zyrTypeManager_getDeleteHook(int32_t index);

// The count; *names (cloned strings) and *ids are new arrays released by the caller
// (zyrCStringArray_free, zyrMemory_free).
int32_t zyrTypeManager_getKnownTypes(char ***names, int32_t **ids);

// Compares a stored registry with this one: 0 mismatch, 1 identical, 2 this one knows more types.
int zyrTypeManager_checkTypes(int32_t n, char *const *names, const int32_t *ids);

#endif
