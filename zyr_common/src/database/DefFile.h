#ifndef ZYR_DEFFILE_H
#define ZYR_DEFFILE_H
// Definition files: the handle through which the core reads and writes data-set files (the
// database file of the object store, solver definition and results files, intermediate mesh
// files). A DefFile owns one library state and one Dataset, keeps its primary file open and can
// borrow a secondary file for copying.
//
// Every operation answers 1 or 0. A failure is not published: it is stored in the handle (code,
// operation, data-set key, description and the io library's text), replacing any earlier one,
// until the caller publishes it with DefFile_reportError. Only opening publishes at once.
//
// A data set is named by what, where and when (Dataset.h: -1 any when, -2 the greatest).
#include <cstdint>
#include <cstdio>

struct Dataset;
struct Dictionary;
struct IO_state;
struct zyrError;
struct zyrHeldTemporary;
struct zyrUUID;

// Bits of m_openFiles.
enum { DEFFILE_PRIMARY_OPEN = 1, DEFFILE_SECONDARY_OPEN = 2 };

struct DefFile {
  char *m_primaryFile;   // name of the primary file
  char *m_secondaryFile; // name of the secondary file last opened, or NULL
  char *m_what;          // key of the failed request, or NULL
  char *m_where;
  int32_t m_when;
  char *m_description;  // text of the stored error
  char *m_function;     // the operation that failed
  char *m_io_error;     // the io library's text at the time of the failure
  int32_t m_errorCode;  // 0: none
  int32_t m_isModified; // 1 once anything was written, erased or compacted
  int32_t m_failedWrites; // writes that failed since the owner last took the count
  int32_t m_created;      // 1 while the directory entry of a file this handle created may not be on disc
  uint32_t m_openFiles; // DEFFILE_PRIMARY_OPEN | DEFFILE_SECONDARY_OPEN
  int32_t m_database;   // 1: the file is a database of the store, whose data sets are versions of
                        // objects' attributes, and its messages say so
  int32_t m_untold;     // 1 while what the open left out waits for DefFile_tellLeftOut
  char *m_madeFrom;     // the file the user named, of which a reader made the primary file: what
                        // the open leaves out is told of it (DefFile_openReaderOutput); NULL
  int32_t m_heldDirectory; // descriptor of the directory the primary file's open found, through
                           // which the file is reached (zyrDirectoryHandle.h); -1 when none is held
  IO_state *m_fileInfo; // owned
  Dataset *m_dataset;   // owned
};

// ---- Life, files and errors ----
// Opens (creating when missing) the named file as primary file; NULL, with the error published,
// for a blank name or a failed open. A file that holds no more than what a creation cut off leaves
// (io_remnant.h), and that no other process holds, is made anew, with a warning (4) saying what
// it held. `database`: the file is a database of the store (m_database).
//
// Every open of a primary file that leaves data sets out says so with a warning (4): those cut
// off at the file's end or damaged there, and those whose index entries their frames do not
// stand as (the first named by its key, and whether an older copy or version of it is now read in
// its place, and how many).
DefFile *DefFile_new(const char *fileName, int database = 0);
// Opens an existing file for reading only: nothing is created, written or removed, no write lock
// is taken (a rebuilt index stays in memory). NULL, with the error published, for a blank name, a
// file that is missing, is no data-set file or is being written by another process.
DefFile *DefFile_openForReading(const char *fileName, int database = 0);
// As DefFile_openForReading, but what the open left out is not told until DefFile_tellLeftOut: a
// look at a file (its version) before an open of it that tells the user.
DefFile *DefFile_openToLook(const char *fileName, int database = 0);
// Tells what the open of a DefFile_openToLook left out, once; nothing for other handles, whose
// open told it.
void DefFile_tellLeftOut(DefFile *file);
// As DefFile_openForReading, for a file that a reader process made of the file `source` that the
// user named: what the open leaves out is told of the mesh read from `source`, not of the file
// itself (a temporary one, gone when the import ends).
DefFile *DefFile_openReaderOutput(const char *fileName, const char *source);
void DefFile_delete(DefFile *file);
// With `report` a failure is published at once (10012 for a lock conflict, else 10020).
int DefFile_openAsPrimaryFile(DefFile *file, const char *fileName, int report);
int DefFile_openAsSecondaryFile(DefFile *file, const char *fileName, int report);
int DefFile_closePrimaryFile(DefFile *file);
int DefFile_closeSecondaryFile(DefFile *file);
int DefFile_closeFiles(DefFile *file);
// 1 when the open of the primary file made it, or made anew a file that held no more than what a
// creation cut off leaves (its record's m_created, m_remnant).
int DefFile_isNew(const DefFile *file);
// Removes the primary file, with its lock file, when its open made it and no other process holds
// it, and closes the files without writing anything more: 1. Otherwise 0, the files left open.
// For a creation that failed: it leaves nothing behind.
int DefFile_removeMade(DefFile *file);
// Closes the files of an open whose file is refused, writing nothing more to them (not even an
// index rebuilt at the open: a rebuild that stopped at damage would store it over what follows).
// A primary file the open made is removed (DefFile_removeMade).
void DefFile_abandon(DefFile *file);
// 1 when the named file holds no more than what a creation cut off leaves (io_remnant.h), which a
// writing open makes anew when no other process holds it.
int DefFile_isCutOffCreation(const char *fileName);
// The same of the primary file this handle holds, read through its open: the file itself, whatever
// its name leads to by now. 0 when no primary file is open.
int DefFile_isHeldCutOffCreation(const DefFile *file);
// For a file that holds no more than what a creation leaves, and that this process does not hold:
// when a live process holds it, that process is making it, and 10012 is published under the
// function's name, naming the process where the system shows it: 1. Else 0, nothing published.
int DefFile_tellMaker(const char *fileName, const char *function);
// Copies every valid data set to a new file and answers a handle on it; NULL when a file of that
// name exists (nothing stored) or the copy fails.
DefFile *DefFile_clone(DefFile *file, const char *newName);
// Copies every valid data set into the new, empty file `path`, a temporary that this process made
// and holds (zyrHeldTemporary.h), made whole, its index with it, and put on disc with its directory
// entry. 1, or 0 with the error stored; the copy is then left to its hold, which removes it.
int DefFile_copyTo(DefFile *file, const char *path);
// Moves the primary file and reopens it under the new name (the old one when the move failed).
int DefFile_moveFile(DefFile *file, const char *newName);
// Rewrites the file with only its valid data sets (every positive when made 1 with the flag),
// through a temporary file beside it that replaces the original. The process becomes the file's
// writer first (DefFile_claimWrite) and holds it, and the copy, until the copy is in place: no
// other process meets the file half way. The copy is named after its process (zyrLeftovers.h) and
// held from its making (zyrHeldTemporary.h).
int DefFile_compact(DefFile *file, int compressWhen);
// Copies every valid data set (every positive when made 1 with the flag) into a new file beside the
// file, named for this process and held by `copy` from its making to its removal (or its swap into
// a file's place: DefFile_replaceWith), and closes it: 1, or 0 when the copy failed (nothing of it
// is then left).
int DefFile_copyValid(DefFile *file, int compressWhen, zyrHeldTemporary *copy);
// Puts the finished data-set file of the name in place of the primary file, under its name,
// while this process holds both as their writer (iif_swap_in): no other process meets either
// half way, and a process holding the primary file refuses the replacement. The handle then
// holds the new file. 1, or 0 with the error stored and both files as they were.
int DefFile_replaceWith(DefFile *file, const char *replacement);
// Makes this process the writer of the primary file before a change: 1; 0 with the error stored
// (10012 when other processes hold the file, 10010 when it is open for reading only).
int DefFile_claimWrite(DefFile *file);
// 1 when the name leads to the primary file this handle has open, whatever name its open was given
// (a link, or the file's new name after a rename of it or of its directory); else 0.
int DefFile_isFile(const DefFile *file, const char *name);
// A new descriptor, for reading only, of the primary file this handle holds, whatever its names are
// now (where the system cannot reach it but by its name, only while the name leads to it): for a
// copy of its bytes. -1 with errno (ESTALE: its name leads to another file) when it cannot be had;
// the caller closes it.
int DefFile_openHeld(const DefFile *file);
// 1 while this process is the writer of the primary file.
int DefFile_isWriter(const DefFile *file);
// 1 when the primary file could be opened for reading only (the user cannot write it).
int DefFile_isReadOnly(const DefFile *file);
// 1 when the open found that the primary file cannot be changed though the user may write it: its
// lock file could not be made (the open said why). Every change of it is refused.
int DefFile_cannotBeChanged(const DefFile *file);
// Copies data sets of the source's primary file into the destination's file: for each where i,
// the data sets (whats[j], wheres[i], whens[j]) for bounds[i] <= j < bounds[i + 1], each written
// as (whats[j], the map's entry for wheres[i], newWhen), with the UUIDs stored in them
// translated through the map.
int DefFile_copyDatasets(DefFile *destination, DefFile *source, const Dictionary *uuidMap, int32_t newWhen,
                         int32_t noOfWheres, const char *const *wheres, const int32_t *bounds,
                         const char *const *whats, const int32_t *whens);
// Stores an error (what NULL: no key).
void DefFile_setError(DefFile *file, const char *function, const char *what, const char *where, int32_t when,
                      int32_t code, const char *description);
// Publishes the stored error under the caller's name and answers the record; NULL when none is
// stored. The stored error stays.
zyrError *DefFile_reportError(DefFile *file, const char *function);
int DefFile_isModified(const DefFile *file);
// The primary file's name as messages give it: as its open was given it (the name the handle keeps
// may lead through the directory the open found, zyrDirectoryHandle.h). A new string; NULL when
// there is none.
char *DefFile_shownName(const DefFile *file);
// Puts everything written to the primary file on disc, and the directory entry of a file this
// handle created. 1, or 0 with the error stored.
int DefFile_sync(DefFile *file);
// Writes the index and the size of a primary file that this handle changed, and puts the file on
// disc, so that a file made whole is whole before it is closed (the close can fail only quietly).
// 1, or 0 with the error stored.
int DefFile_finish(DefFile *file);
// The writes that failed since the last call (each stored its error as it failed).
int32_t DefFile_takeFailedWrites(DefFile *file);
void DefFile_print(const DefFile *file, FILE *stream);

// ---- Typed family ----
// Scalar reads store the value on success; the string, io-string and UUID ones hand over a new
// string or UUID (NULL on failure). Allocating reads hand over a new array and its count. Reads
// into the caller's array take its capacity in *count and give back the number read. Writers
// set the modified flag whether or not they succeed.
int DefFile_readInt(DefFile *file, const char *what, const char *where, int32_t when, int32_t *value);
int DefFile_readInts(DefFile *file, const char *what, const char *where, int32_t when, int32_t **array,
                     int32_t *count);
int DefFile_readIntArray(DefFile *file, const char *what, const char *where, int32_t when, int32_t *array,
                         int32_t *count);
int DefFile_writeInt(DefFile *file, const char *what, const char *where, int32_t when, int32_t value);
// n values, or noOfStructures structures of n values when noOfStructures is 1 or more.
int DefFile_writeIntArray(DefFile *file, const char *what, const char *where, int32_t when,
                          const int32_t *data, int32_t n, int32_t noOfStructures);

int DefFile_readFloat(DefFile *file, const char *what, const char *where, int32_t when, float *value);
int DefFile_readFloats(DefFile *file, const char *what, const char *where, int32_t when, float **array,
                       int32_t *count);
int DefFile_readFloatArray(DefFile *file, const char *what, const char *where, int32_t when, float *array,
                           int32_t *count);
int DefFile_writeFloat(DefFile *file, const char *what, const char *where, int32_t when, float value);
int DefFile_writeFloatArray(DefFile *file, const char *what, const char *where, int32_t when,
                            const float *data, int32_t n, int32_t noOfStructures);

int DefFile_readDouble(DefFile *file, const char *what, const char *where, int32_t when, double *value);
int DefFile_readDoubles(DefFile *file, const char *what, const char *where, int32_t when, double **array,
                        int32_t *count);
int DefFile_readDoubleArray(DefFile *file, const char *what, const char *where, int32_t when, double *array,
                            int32_t *count);
int DefFile_writeDouble(DefFile *file, const char *what, const char *where, int32_t when, double value);
int DefFile_writeDoubleArray(DefFile *file, const char *what, const char *where, int32_t when,
                             const double *data, int32_t n, int32_t noOfStructures);

int DefFile_readChar(DefFile *file, const char *what, const char *where, int32_t when, char *value);
int DefFile_readChars(DefFile *file, const char *what, const char *where, int32_t when, char **array,
                      int32_t *count);
int DefFile_readCharArray(DefFile *file, const char *what, const char *where, int32_t when, char *array,
                          int32_t *count);
int DefFile_writeChar(DefFile *file, const char *what, const char *where, int32_t when, char value);
int DefFile_writeCharArray(DefFile *file, const char *what, const char *where, int32_t when, const char *data,
                           int32_t n);

int DefFile_readIoString(DefFile *file, const char *what, const char *where, int32_t when, char **value);
int DefFile_readIoStrings(DefFile *file, const char *what, const char *where, int32_t when, char ***array,
                          int32_t *count);
int DefFile_readIoStringArray(DefFile *file, const char *what, const char *where, int32_t when, char **array,
                              int32_t *count);
int DefFile_writeIoString(DefFile *file, const char *what, const char *where, int32_t when,
                          const char *value);
int DefFile_writeIoStringArray(DefFile *file, const char *what, const char *where, int32_t when,
                               const char *const *data, int32_t n);

int DefFile_readString(DefFile *file, const char *what, const char *where, int32_t when, char **value);
int DefFile_readStrings(DefFile *file, const char *what, const char *where, int32_t when, char ***array,
                        int32_t *count);
int DefFile_readStringArray(DefFile *file, const char *what, const char *where, int32_t when, char **array,
                            int32_t *count);
int DefFile_writeString(DefFile *file, const char *what, const char *where, int32_t when, const char *value);
int DefFile_writeStringArray(DefFile *file, const char *what, const char *where, int32_t when,
                             const char *const *data, int32_t n);

int DefFile_readUUID(DefFile *file, const char *what, const char *where, int32_t when, zyrUUID **value);
int DefFile_readUUIDs(DefFile *file, const char *what, const char *where, int32_t when, zyrUUID ***array,
                      int32_t *count);
// 0 at once, storing nothing, for a capacity below 1.
int DefFile_readUUIDArray(DefFile *file, const char *what, const char *where, int32_t when, zyrUUID **array,
                          int32_t *count);
int DefFile_writeUUID(DefFile *file, const char *what, const char *where, int32_t when, const zyrUUID *value);
int DefFile_writeUUIDArray(DefFile *file, const char *what, const char *where, int32_t when,
                           const zyrUUID *const *data, int32_t n);

// The characters of a data set as a new terminated text (NULL on failure).
int DefFile_readCharsAsString(DefFile *file, const char *what, const char *where, int32_t when, char **text);
// The text's characters without its terminator.
int DefFile_writeStringAsChars(DefFile *file, const char *what, const char *where, int32_t when,
                               const char *text);

// ---- Other operations on data sets ----
int DefFile_exists(DefFile *file, const char *what, const char *where, int32_t when);
int DefFile_erase(DefFile *file, const char *what, const char *where, int32_t when);
// *count receives the number of matches; unless countOnly, new arrays of their whats, wheres
// (heap strings) and whens. Always 1.
int DefFile_match(DefFile *file, const char *what, const char *where, int32_t when, int countOnly,
                  int32_t *count, char ***whats, char ***wheres, int32_t **whens);
int DefFile_readDescription(DefFile *file, const char *what, const char *where, int32_t when, int full,
                            int32_t *count, char ***texts);
int DefFile_readAttributes(DefFile *file, const char *what, const char *where, int32_t when, int32_t *count,
                           char ***names, char ***values);
int DefFile_readSignature(DefFile *file, const char *what, const char *where, int32_t when, int32_t *ints,
                          int32_t *floats, int32_t *doubles, int32_t *chars, int32_t *ioStrings,
                          int32_t *strings, int32_t *uuids);
int DefFile_getDataType(DefFile *file, const char *what, const char *where, int32_t when, char **type);
// 1 when the open left out every data set of exactly this key that the file's index names (its
// frames do not stand as the index says), so that a look-up of it finds nothing; else 0.
int DefFile_isLeftOut(DefFile *file, const char *what, const char *where, int32_t when);
// The errno of a read of the primary file that the system failed (not the end of the file) since
// it was opened, or of the last open that failed so; 0 when none did. What such a read missed is
// unknown: no value read since may be taken for the file's, and nothing more is written to it.
int DefFile_readFailure(const DefFile *file);
// The attribute goes with every data set written until DefFile_clearAttributes.
int DefFile_addAttribute(DefFile *file, const char *name, const char *value);
void DefFile_clearAttributes(DefFile *file);
// The release (major, minor, point) from ZYR_DEFFILE_VERSION, else from "G/CRELNO", else 5.5.0
// when "G/NZN" is at least 2; 1 when a version was found.
int DefFile_getVersion(DefFile *file, int32_t *major, int32_t *minor, int32_t *point);
// A listing of every data set with its value counts.
int DefFile_summarise(DefFile *file, FILE *stream);

#endif
