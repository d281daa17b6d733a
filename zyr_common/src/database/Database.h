#ifndef ZYR_DATABASE_H
#define ZYR_DATABASE_H
// The versioned database: the values of the attributes of persistent objects, as seen at a state,
// kept as data sets of one data-set file (a DefFile). A value is stored under the key
// [attribute name, object key, state]: the object key is the 22-character Base64 text of the
// object's UUID, or "GLOBAL" for data of the database itself (a NULL UUID). A write adds or
// replaces the version of its own state only; a read at state S takes the version with the
// greatest state not above S (a state of 0 or below, -S exactly).
//
// Data of the database itself, under "GLOBAL" at state 0: "Version", "Date - created",
// "Date - modified", the state counters and the type record of the state manager.
//
// Results are 1 for success and 0 for failure unless stated; failures of the file layer are
// stored in the DefFile and answered as 0.
#include <cstdint>
#include <cstdio>

struct DefFile;
struct zyrHeldTemporary;
struct zyrUUID;
struct DatabaseLeftOut;

// Room for the where of a keyed call: "GLOBAL" or an object key.
#define DATABASE_KEY_LEN 40
#define DATABASE_GLOBAL_KEY "GLOBAL"

struct Database {
  zyrUUID *m_uuid;              // made for this open handle (owned)
  char m_key[DATABASE_KEY_LEN]; // where of the last keyed call
  char *m_fileName;             // normalised name (owned)
  DefFile *m_defFile;           // the open file (owned)
  int32_t m_isModified;         // 1 once anything was written, erased or compacted
  int32_t m_creating;           // 1 while the new file is not yet a whole database: a close then
                                // removes the file if this open made it (Database_setCreating)
  DatabaseLeftOut *m_leftOut;   // owned; the versions that reads of this handle could not take
  void *m_staging;              // owned; where the buffer readers read a version before handing it over
  int64_t m_stagingBytes;       // the size of m_staging
  int64_t m_largestStaging;     // the largest m_staging this handle has had (DatabaseStaging.h)
};

// The keyed writes that failed (each published when it failed) since the last call; the count
// starts again at 0.
int32_t Database_takeFailedWrites(Database *database);
// The keyed writes that failed since the last Database_takeFailedWrites, left counted.
int32_t Database_getFailedWrites(const Database *database);
// Puts what the database file holds on disc (a commit is durable once this returns 1). 0 with
// the error published.
int Database_sync(Database *database);

// Makes this process the one writer of the file before a change, so that a change is refused
// whole or not at all. 1; 0 when other processes hold the file or it could be opened for reading
// only, then with `report` one error published that names the file (10012 held, 10010 read-only).
// A claim that the file system refused (the lock file cannot be written, as on a full disc) is
// always published, with the file and the system's reason; without `report` a file whose open
// found that it cannot be changed (Database_cannotBeChanged) is not claimed at all.
int Database_claimWrite(Database *database, int report);
// Whether the last claim that failed was refused by the file system, not by other processes.
int Database_claimFailedToWrite(const Database *database);
// 1 while this process is the writer of the file (it claimed it or wrote to it).
int Database_isWriter(const Database *database);
// 1 when the file could be opened for reading only: every change of it is refused.
int Database_isReadOnly(const Database *database);
// 1 when the open found that the file cannot be changed, its lock file not being makeable (the open
// said why): every change of it is refused, as for a file opened for reading only.
int Database_cannotBeChanged(const Database *database);

// ---- Opening and closing ----
// A new string: the name when it ends in ".zyr", ".zyr.bak", ".wez" or ".wez.bak" (exact case),
// else the name with ".zyr" appended.
char *Database_fileName(const char *name);
// Whether the normalised name exists (zyrLookForFile): 1, 0, or -1 when it cannot be told, which
// with a code is published as that error under the function's name (zyrPublishCannotTell).
int Database_fileExists(const char *name, int32_t code = 0, const char *function = nullptr);
// Opens or creates the database file of the normalised name; NULL on failure (an existing file
// without "Version" publishes 10020). A file holding no more than what a creation cut off leaves,
// that no other process holds, is made anew with a warning (DefFile_new).
Database *Database_new(const char *name);
// 1 when the open made the file, or made it anew (DefFile_isNew).
int Database_isNew(const Database *database);
// 1 when the file of the normalised name holds no more than what a creation cut off leaves
// (io_remnant.h): nothing of a database, so nothing to read or upgrade; Database_new makes it anew.
int Database_isCutOffCreation(const char *name);
// While set, the creation of the database is not whole: a close removes the file instead when
// this open made it and no other process holds it, so that a creation that fails leaves nothing.
void Database_setCreating(Database *database, int creating);
// Opens the existing database file of the normalised name for reading only (DefFile_openForReading):
// the file stays as it is, byte for byte. NULL, with the error published, when it cannot be opened
// or holds no "Version".
Database *Database_openForReading(const char *name);
// As Database_openForReading, but what the open left out is told only with a refusal, else when
// Database_tellLeftOut asks: a look at the version before an open that tells the user.
Database *Database_openToLook(const char *name);
// Tells what the open of a Database_openToLook left out, once.
void Database_tellLeftOut(Database *database);
// Opens an existing database file under exactly the name given (a copy named for this process,
// which Database_new would give the suffix); NULL when there is none or it is not a database, and,
// with the error published, when whether there is one cannot be told. A copy this process holds
// (zyrHeldTemporary.h) is opened through its hold, NULL with the failure published.
Database *Database_openCopy(const char *fileName);
// Copies the open file to the normalised new name and answers a handle on the copy.
Database *Database_clone(Database *database, const char *newName);
// Copies the open file, whole and on disc, to a new file of exactly the name `path` (a temporary
// that is to take another file's place: no suffix is added, no link followed). 1, or 0 with the
// failure published and nothing of the copy left.
int Database_copyTo(Database *database, const char *path);
// A handle named `name` on the file `path` (exactly that file), which a copy of `original` made
// (Database_copyTo): it counts as modified when the original does, as a clone does. NULL, with
// the failure published, when it cannot be opened.
Database *Database_openCopyOf(const Database *original, const char *name, const char *path);
int Database_rename(Database *database, const char *newName);
// Stamps "Date - modified" when something changed, closes the file and frees the handle.
void Database_delete(Database *database);
// Database_delete, telling whether everything this handle wrote reached the disc: the stamp of
// the change, the index and the size of the file. 0 with the error published.
int Database_close(Database *database);
// Ends an open that failed and frees the handle: a file the open made is removed, any other is
// closed with nothing more written to it (DefFile_abandon), so that a refused file stays as it is.
void Database_abandon(Database *database);
const char *Database_getFileName(const Database *database);
DefFile *Database_getDefFile(const Database *database);
int Database_isModified(const Database *database);
// The build number of "Version" (the first 8 digits inside its parentheses: a build stamp
// "2003.03.28-..." gives 20030328), -1 when absent or malformed.
int32_t Database_getVersion(Database *database);
// The build of the first release whose files need no upgrade: a database of an older one is
// upgraded (zyrDatabaseUpgrade) before it is opened to work on, or read into another.
#define DATABASE_FIRST_CURRENT_VERSION 20030328
// "Version" = the library's version text, under "GLOBAL" at 0.
int Database_setVersion(Database *database);
// "<date> [<time>]" under [name, key, 0].
int Database_timeStamp(Database *database, const zyrUUID *uuid, const char *name);
void Database_print(const Database *database, FILE *stream);

// ---- Keyed values ----
// Every operation takes (database, state, UUID or NULL for "GLOBAL", name, ...). Writers store
// at the state; readers read the version valid at the state and fail (0) when there is none:
// scalar outputs are then untouched, allocated outputs NULL with count 0. Allocated outputs
// belong to the caller; buffer reads take a buffer of n.
//
// A damaged version, one that does not read whole as what it was stored as (among them one whose
// data type is none that the store writes, whatever its count), is reported and left out, and the
// reader takes the newest older one that it can: what a state shows rests on the file alone,
// whichever way it was reached. At state 0 and below the version is read exactly. A version
// that reads whole is no damage, whatever the reader makes of it: it is neither reported nor left
// out, a purge keeps it, and no older version is read in its place. Stored with another type, the
// number and character array readers answer it as an empty array (1, NULL and 0), the buffer
// readers as 1 with the buffer untouched, the scalar, string and reference readers as a failed
// read (0). A buffer too small for it, or a scalar read of other than one value, fails (0). A
// buffer reader hands over only the version it answers by, once it has read whole: nothing of a
// damaged version reaches the buffer, and a read that fails leaves the buffer as the caller gave it.
int Database_setInt(Database *database, int32_t state, const zyrUUID *uuid, const char *name, int32_t value);
int Database_getInt(Database *database, int32_t state, const zyrUUID *uuid, const char *name, int32_t *value);
int Database_setInts(Database *database, int32_t state, const zyrUUID *uuid, const char *name,
                     const int32_t *array, int32_t count);
int Database_getInts(Database *database, int32_t state, const zyrUUID *uuid, const char *name,
                     int32_t **array, int32_t *count);
int Database_getIntArray(Database *database, int32_t state, const zyrUUID *uuid, const char *name,
                         int32_t *array, int32_t n);

int Database_setFloat(Database *database, int32_t state, const zyrUUID *uuid, const char *name, float value);
int Database_getFloat(Database *database, int32_t state, const zyrUUID *uuid, const char *name, float *value);
int Database_setFloats(Database *database, int32_t state, const zyrUUID *uuid, const char *name,
                       const float *array, int32_t count);
int Database_getFloats(Database *database, int32_t state, const zyrUUID *uuid, const char *name,
                       float **array, int32_t *count);
int Database_getFloatArray(Database *database, int32_t state, const zyrUUID *uuid, const char *name,
                           float *array, int32_t n);

int Database_setDouble(Database *database, int32_t state, const zyrUUID *uuid, const char *name,
                       double value);
int Database_getDouble(Database *database, int32_t state, const zyrUUID *uuid, const char *name,
                       double *value);
int Database_setDoubles(Database *database, int32_t state, const zyrUUID *uuid, const char *name,
                        const double *array, int32_t count);
int Database_getDoubles(Database *database, int32_t state, const zyrUUID *uuid, const char *name,
                        double **array, int32_t *count);
int Database_getDoubleArray(Database *database, int32_t state, const zyrUUID *uuid, const char *name,
                            double *array, int32_t n);

int Database_setChar(Database *database, int32_t state, const zyrUUID *uuid, const char *name, char value);
int Database_getChar(Database *database, int32_t state, const zyrUUID *uuid, const char *name, char *value);
int Database_setChars(Database *database, int32_t state, const zyrUUID *uuid, const char *name,
                      const char *array, int32_t count);
int Database_getChars(Database *database, int32_t state, const zyrUUID *uuid, const char *name, char **array,
                      int32_t *count);
int Database_getCharArray(Database *database, int32_t state, const zyrUUID *uuid, const char *name,
                          char *array, int32_t n);

// Strings are heap strings (zyrCString_free); a NULL string is stored as an empty one.
int Database_setString(Database *database, int32_t state, const zyrUUID *uuid, const char *name,
                       const char *value);
int Database_getString(Database *database, int32_t state, const zyrUUID *uuid, const char *name,
                       char **value);
int Database_setStrings(Database *database, int32_t state, const zyrUUID *uuid, const char *name,
                        const char *const *array, int32_t count);
int Database_getStrings(Database *database, int32_t state, const zyrUUID *uuid, const char *name,
                        char ***array, int32_t *count);
int Database_getStringArray(Database *database, int32_t state, const zyrUUID *uuid, const char *name,
                            char **array, int32_t n);

// References are stored as the UUIDs of their targets; a NULL UUID is stored as the null UUID
// and reads back as NULL. UUIDs read are new (zyrUUID_delete).
int Database_setPointer(Database *database, int32_t state, const zyrUUID *uuid, const char *name,
                        const zyrUUID *value);
int Database_getPointer(Database *database, int32_t state, const zyrUUID *uuid, const char *name,
                        zyrUUID **value);
int Database_setPointers(Database *database, int32_t state, const zyrUUID *uuid, const char *name,
                         const zyrUUID *const *array, int32_t count);
int Database_getPointers(Database *database, int32_t state, const zyrUUID *uuid, const char *name,
                         zyrUUID ***array, int32_t *count);
int Database_getPointerArray(Database *database, int32_t state, const zyrUUID *uuid, const char *name,
                             zyrUUID **array, int32_t n);

// Element counts of the stored version by kind: integers, floats, doubles, characters, a fifth
// count always 0, and references (characters marked as UUIDs, one per 22). Of a version that
// cannot be read, the newest older one that can is described.
int Database_describeData(Database *database, int32_t state, const zyrUUID *uuid, const char *name,
                          int32_t *ints, int32_t *floats, int32_t *doubles, int32_t *chars, int32_t *fifth,
                          int32_t *references);
// The version a reader at the state takes, whatever its kind, as the one kind its data type declares:
// *kind as the place of its count in Database_describeData (0 integers, 1 floats, 2 doubles,
// 3 characters, 5 references), *values a new array of it (int32_t, float, double, char or zyrUUID *)
// and *count its length, also of an empty one. One walk decides the version and it gives both: a
// damaged one is reported and left out as by every reader; one that reads whole but is of no one
// kind is no damage, and the read fails (0) without an older version in its place.
// 0 (-1, NULL and 0) when none reads.
int Database_getData(Database *database, int32_t state, const zyrUUID *uuid, const char *name, int32_t *kind,
                     void **values, int32_t *count);
// The description texts (DefFile_readDescription) of the stored version.
int Database_describe(Database *database, int32_t state, const zyrUUID *uuid, const char *name, int full,
                      int32_t *count, char ***texts);
int Database_readAttributes(Database *database, int32_t state, const zyrUUID *uuid, const char *name,
                            int32_t *count, char ***names, char ***values);

// ---- Whole-file operations ----
// The when to read for the name under the key of the last keyed call (m_key), or -1.
int32_t Database_findActiveWhen(Database *database, int32_t state, const char *name);
// Lists the data sets whose name and key match the filters ("*" wildcards) and whose when lies
// in [from, to] (-1: no bound), sorted by key, name and when and grouped by key: *noOfKeys keys,
// offsets[k] the first entry of key k (offsets[noOfKeys] the total), one name and when per entry.
// Always 1; without entries the offsets hold the single 0 and the other outputs are NULL.
int Database_match(Database *database, int32_t from, int32_t to, const char *keyFilter,
                   const char *nameFilter, int32_t *noOfKeys, char ***keys, int32_t **offsets, char ***names,
                   int32_t **whens);
// *changed: 1 when [name, key] has a version in [from, to] (with -1 for either: any version).
int Database_isParameterChanged(Database *database, int32_t from, int32_t to, const zyrUUID *uuid,
                                const char *name, int *changed);
// A copy of the file's valid data sets beside it (every positive when made 1 with compressWhen),
// named for this process and held by `copy` (DefFile_copyValid): 1, or 0 with the failure
// published.
int Database_copyValid(Database *database, int compressWhen, zyrHeldTemporary *copy);
// Puts a compacted copy (Database_copyValid) in the place of the database's file, which it then
// is; 0, with the failure published as a failed compaction (10006), when it cannot.
int Database_replaceWithCompacted(Database *database, const char *replacement);
// Erases every version written after the state.
int Database_rollback(Database *database, int32_t state);
// Erases every data set of the object (all names, all states).
int Database_deleteObject(Database *database, const zyrUUID *uuid);
// Erases every version of [name, key].
int Database_deleteDataSet(Database *database, const zyrUUID *uuid, const char *name);
// Erases every object with a data set matching the name pattern at a state from 0 to the state.
int Database_purgeMarkedObjects(Database *database, int32_t state, const char *pattern);
// Keeps only the versions valid at the state, then compacts the file rewriting every positive
// state as 1.
int Database_purgeModifiedData(Database *database, int32_t state);
// The erasures of Database_purgeModifiedData alone, without its compaction. Of every name the
// version kept is the newest at or before the state that a reader at the state takes: not one that
// reads through `reader` (the database itself, or the one it is a copy of) left out, and, where an
// older one could be kept instead, one that reads whole. Of the name checkedName (or none), it is
// the newest that reads as an integer; one at state 0 is stored again at the state.
int Database_eraseModifiedData(Database *database, int32_t state, const char *checkedName,
                               const Database *reader);
// Compacts the file keeping every version.
int Database_compact(Database *database);
// The compaction of both: every when above 0 rewritten as 1 when compressWhen is 1. A failure is
// published with the file's reason.
int Database_compactWhens(Database *database, int compressWhen);
// Copies the data sets [names[j], keys[i], whens[j]] (offsets as from Database_match) of the
// source into the target as [names[j], new key i, state], translating the references stored in
// them; a reference to the source's Repository (sourceRepository, unless NULL) becomes one to
// targetRepository. *newKeys receives one block of n keys of 23 characters each (key i at
// *newKeys + 23 * i), owned by the caller (zyrMemory_free), NULL on failure.
int Database_importObjects(Database *target, Database *source, int32_t state, const zyrUUID *sourceRepository,
                           const zyrUUID *targetRepository, int32_t n, const char *const *keys,
                           const int32_t *offsets, const char *const *names, const int32_t *whens,
                           char **newKeys);

#endif
