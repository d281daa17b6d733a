#ifndef ZYR_STATE_MANAGER_H
#define ZYR_STATE_MANAGER_H
// The state manager turns one database file into an undoable history. Every change to persistent
// objects is written as new versions of their attributes at a numbered state; committing closes
// the state; moving to another state destroys, re-creates and reloads exactly the objects whose
// stored data differs between the two states. It keeps the live objects of the database by key
// and the objects whose cached fields are written at the next flush.
//
// current is negative (minus the state number) while a state is open for writing.
//
// A change (the writes from the opening of a state to its commit) is made whole or not at all.
// Opening a state first makes this process the file's one writer; when another process holds
// the file, or it could be opened for reading only, the change is refused with one error and
// every later write of it fails quietly. A change that is refused, or whose writes did not all
// reach the file, fails its commit: what it wrote is erased, the counters go back to the last
// committed state, and every object it touched is put back as the file holds it.
#include <cstdint>
#include <cstdio>

struct Database;
struct Dictionary;
struct zyrUUID;
struct zyrClaims;
struct zyrChange;

struct zyrStateManager {
  int32_t m_first;
  int32_t m_current;
  int32_t m_last;
  Dictionary *m_objects;   // key -> live object (owns its keys)
  int32_t m_from;          // range being applied by a change of state
  int32_t m_to;
  int32_t m_restoring;     // 1 while a change of state restores objects
  Dictionary *m_cache;     // key -> object whose dump hook runs at the next flush
  Database *m_database;    // owned
  void *m_owner;           // the Repository that owns this manager
  void *m_destroying;      // the object whose delete hook a change of state runs
  int32_t m_destroy;       // 1 while zyrStateManager_destroyObject runs a delete hook
  int32_t m_opening;       // 1 while the database is being opened or closed
  void *m_destroyTarget;   // the object zyrStateManager_destroyObject unloads
  zyrClaims *m_claims;     // owned; which restored records hold which parts (zyrStateManager_claim)
  int32_t m_refused;       // 1 while the change under way was refused: its writes fail quietly
  zyrChange *m_change;     // owned; the objects the change under way touched
  int32_t m_deadState;     // 1 while the file holds a state that an ended process left open and
                           // that this process could not erase yet (others held the file)
};

zyrStateManager *zyrStateManager_new();
void zyrStateManager_delete(zyrStateManager *manager);
void zyrStateManager_print(const zyrStateManager *manager, FILE *stream);

int zyrStateManager_openDatabase(zyrStateManager *manager, const char *name);
// Commits, compacts as the flag asks (-1 none, 0 keeping the history, 1 purging it) and unloads.
// 1; 0 when a change, or a write the close makes, could not be written, or the compaction asked
// for failed. A compaction keeping the history is left out without an error while other processes
// hold the file.
int zyrStateManager_closeDatabase(zyrStateManager *manager, int32_t flag);
// 1 while a change is under way: a state is open, objects wait for their dump hooks, the change
// was refused, or a write to the file failed since the last commit.
int zyrStateManager_hasChange(const zyrStateManager *manager);
// Commits the change under way, if any: 1 when nothing is lost (it was committed, or there was
// none), 0 when a change could not be committed.
int zyrStateManager_commitChange(zyrStateManager *manager);
// The refusal of a copy of a database (`upgrading` 0: 10005, "Unable to copy the database as the
// file … already exists.") or of an upgrade to a new name (1: 10020, "The ZYR database can not be
// upgraded because the file … already exists.") whose new name is taken, from the start or meanwhile.
void zyrStateManager_publishExists(const char *fileName, int upgrading);
// Copies the database to the normalised name (and, with workOnCopy 1, works on the copy from then
// on), compacting the copy (or, working on the copy, the original) as the flag asks. A file under
// the name refuses the copy, unless `replace`: the copy then takes the place of the file the name
// leads to as every whole file does (zyrPlacement.h), once whole; a file in use there is refused
// (10020, with why), as is anything that is no regular file.
int zyrStateManager_copyDatabase(zyrStateManager *manager, const char *name, int32_t workOnCopy, int32_t flag,
                                 int replace);
int zyrStateManager_compactDatabase(zyrStateManager *manager, Database *database, int32_t flag);
int32_t zyrStateManager_commitState(zyrStateManager *manager);
int32_t zyrStateManager_openState(zyrStateManager *manager);
int32_t zyrStateManager_flushCache(zyrStateManager *manager);
int zyrStateManager_changeState(zyrStateManager *manager, int32_t relative, int32_t number);
int32_t zyrStateManager_getCurrentState(const zyrStateManager *manager);
int32_t zyrStateManager_getAbsoluteState(const zyrStateManager *manager);
int zyrStateManager_getStoredStates(zyrStateManager *manager, int32_t *current, int32_t *first, int32_t *last);

void *zyrStateManager_newObject(zyrStateManager *manager, const char *typeName);
int zyrStateManager_deleteObject(zyrStateManager *manager, void *object);
int zyrStateManager_destroyObject(zyrStateManager *manager, void *object);
int zyrStateManager_reloadObject(zyrStateManager *manager, void *object);
int zyrStateManager_isDestroying(const zyrStateManager *manager, const void *object);
int zyrStateManager_canDelete(const zyrStateManager *manager, const void *object);
int zyrStateManager_setModified(zyrStateManager *manager, void *object);
// A part (an object its owner deletes with itself) read by a restore hook under name. A damaged
// file can give one part to more owners than it has shares (a blob's stored use count, otherwise
// one), and each owner would delete it: a further owner is reported (20006 under caller) and
// left out (*target NULL, result 0). The other owners count while they are live and their
// stored reference at the current state still names the part.
int zyrStateManager_claim(zyrStateManager *manager, void *owner, const char *name, void **target, const char *caller);
// A read of a restore hook found no stored value of the attribute: while a change of state
// restores objects, the loss of an attribute that the type declares and does not mark optional
// is reported (20006), and that of a vital one makes the open fail.
void zyrStateManager_noteUnread(zyrStateManager *manager, const void *object, const char *name);
// Checks the targets that a stored reference of the owner resolved to against what the owner's
// type declares (zyrTypeManager_setAttributes): a target of a type it does not allow is reported
// (20006) and left out (NULL), a part is claimed (zyrStateManager_claim), and a vital reference
// that leads nowhere makes the open fail. 1 when nothing was left out; types that declare nothing
// are not checked.
int zyrStateManager_checkReferences(zyrStateManager *manager, void *owner, const char *name, void **targets,
                                    int32_t n);
int zyrStateManager_isParameterChanged(zyrStateManager *manager, const zyrUUID *uuid, const char *name,
                                       int *changed);

void *zyrStateManager_pointerFromUUIDString(zyrStateManager *manager, const char *key);
void *zyrStateManager_pointerFromUUID(zyrStateManager *manager, const zyrUUID *uuid);
int32_t zyrStateManager_getTypeIndexOfKey(zyrStateManager *manager, const char *key);
int32_t zyrStateManager_getTypeIdOfObject(zyrStateManager *manager, const void *object);
int32_t zyrStateManager_getTypeIdOfUUID(zyrStateManager *manager, const zyrUUID *uuid);
// *objects is a new array (NULL when none), released by the caller with zyrMemory_free.
int zyrStateManager_getObjectsByTypeID(zyrStateManager *manager, int32_t id, int32_t *count, void ***objects);
int zyrStateManager_getObjectsByTypeName(zyrStateManager *manager, const char *typeName, int32_t *count,
                                         void ***objects);
void *zyrStateManager_getSingletonByTypeName(zyrStateManager *manager, const char *typeName);
int zyrStateManager_importModel(zyrStateManager *manager, const char *name, void **model);

void zyrStateManager_setOwner(zyrStateManager *manager, void *owner);
void *zyrStateManager_getOwner(const zyrStateManager *manager);
Database *zyrStateManager_getDatabase(const zyrStateManager *manager);
int zyrStateManager_checkTypes(zyrStateManager *manager);
int zyrStateManager_recordTypes(zyrStateManager *manager);

// Attribute forwards of the object layer: setters write at the open state (opening one when
// none is open), getters read the version valid at the absolute current state.
int zyrStateManager_setInt(zyrStateManager *manager, void *object, const char *name, int32_t value);
int zyrStateManager_getInt(zyrStateManager *manager, void *object, const char *name, int32_t *value);
int zyrStateManager_setInts(zyrStateManager *manager, void *object, const char *name, const int32_t *values,
                            int32_t count);
int zyrStateManager_getInts(zyrStateManager *manager, void *object, const char *name, int32_t **values,
                            int32_t *count);
int zyrStateManager_getIntArray(zyrStateManager *manager, void *object, const char *name, int32_t *values,
                                int32_t n);
int zyrStateManager_setFloat(zyrStateManager *manager, void *object, const char *name, float value);
int zyrStateManager_getFloat(zyrStateManager *manager, void *object, const char *name, float *value);
int zyrStateManager_setFloats(zyrStateManager *manager, void *object, const char *name, const float *values,
                              int32_t count);
int zyrStateManager_getFloats(zyrStateManager *manager, void *object, const char *name, float **values,
                              int32_t *count);
int zyrStateManager_getFloatArray(zyrStateManager *manager, void *object, const char *name, float *values,
                                  int32_t n);
int zyrStateManager_setDouble(zyrStateManager *manager, void *object, const char *name, double value);
int zyrStateManager_getDouble(zyrStateManager *manager, void *object, const char *name, double *value);
int zyrStateManager_setDoubles(zyrStateManager *manager, void *object, const char *name, const double *values,
                               int32_t count);
int zyrStateManager_getDoubles(zyrStateManager *manager, void *object, const char *name, double **values,
                               int32_t *count);
int zyrStateManager_getDoubleArray(zyrStateManager *manager, void *object, const char *name, double *values,
                                   int32_t n);
int zyrStateManager_setChar(zyrStateManager *manager, void *object, const char *name, char value);
int zyrStateManager_getChar(zyrStateManager *manager, void *object, const char *name, char *value);
int zyrStateManager_setChars(zyrStateManager *manager, void *object, const char *name, const char *values,
                             int32_t count);
int zyrStateManager_getChars(zyrStateManager *manager, void *object, const char *name, char **values,
                             int32_t *count);
int zyrStateManager_getCharArray(zyrStateManager *manager, void *object, const char *name, char *values,
                                 int32_t n);
int zyrStateManager_setString(zyrStateManager *manager, void *object, const char *name, const char *value);
int zyrStateManager_getString(zyrStateManager *manager, void *object, const char *name, char **value);
int zyrStateManager_setStrings(zyrStateManager *manager, void *object, const char *name, char *const *values,
                               int32_t count);
int zyrStateManager_getStrings(zyrStateManager *manager, void *object, const char *name, char ***values,
                               int32_t *count);
int zyrStateManager_getStringArray(zyrStateManager *manager, void *object, const char *name, char **values,
                                   int32_t n);
int zyrStateManager_setPointer(zyrStateManager *manager, void *object, const char *name, const zyrUUID *target);
int zyrStateManager_getPointer(zyrStateManager *manager, void *object, const char *name, zyrUUID **target);
int zyrStateManager_setPointers(zyrStateManager *manager, void *object, const char *name,
                                zyrUUID *const *targets, int32_t count);
int zyrStateManager_getPointers(zyrStateManager *manager, void *object, const char *name, zyrUUID ***targets,
                                int32_t *count);
int zyrStateManager_describeData(zyrStateManager *manager, void *object, const char *name, int32_t *noOfInts,
                                 int32_t *noOfFloats, int32_t *noOfDoubles, int32_t *noOfChars,
                                 int32_t *noOfOthers, int32_t *noOfPointers);
// Database_getData at the absolute current state.
int zyrStateManager_getData(zyrStateManager *manager, void *object, const char *name, int32_t *kind, void **values,
                            int32_t *count);

#endif
