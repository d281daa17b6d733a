#ifndef ZYR_DATASET_H
#define ZYR_DATASET_H
// The data-set access layer: the one record through which the object store talks to the data-set
// file library. A Dataset keeps the request header and data block that the library's entry point
// (iocntc) reads and fills, with storage of its own behind every reference, and turns typed reads
// and writes into sequences of library requests. Dataset_request is the only caller of iocntc.
//
// A data set is named by its key: what, where and when. In look-ups a when of -1 matches every
// when and -2 asks for the greatest when stored (never below -100). Results are 1 for success and
// 0 for failure unless stated. The library's messages are collected in the record's last error
// text (io_msg), which only Dataset_clearLastError empties.
//
// Encodings: strings are packed as characters, each followed by its terminator, with the
// attribute "t=s"; UUIDs are packed as characters, 22 Base64 characters each ("__NULL_UUID__"
// and zero fill for a missing one), with the attribute "t=u".
#include "io_records.h"

#include <cstdint>
#include <cstdio>

struct Dictionary;
struct zyrUUID;

// Entries of the pending attribute list and of the header's attribute table.
#define DATASET_MAX_ATTRIBUTES 20
// Characters of one attribute entry (name, "=", value); an entry of exactly this many characters
// has no terminator.
#define DATASET_ATTRIBUTE_LEN 80
// Storage of what and where: a key of at most 79 characters and its terminator, with room for
// what the library may place there.
#define DATASET_NAME_LEN 82
// Storage of the data-type string: the longest the library reads, with its terminator.
#define DATASET_DATATYPE_LEN 256
// Match capacity of a new record.
#define DATASET_INITIAL_CAPACITY 20

struct Dataset {
  IO_state *m_fileInfo; // the owning DefFile's library state (borrowed)
  IO_header m_header;   // the eight references, bound to the storage below for life
  IO_data m_data;       // the seven (array, count) pairs, re-aimed between requests

  // Match buffers, grown as locates need and kept.
  int64_t *m_offsets;   // 2 x capacity
  IO_string *m_strings; // 2 x capacity
  int32_t *m_integers;  // capacity
  int32_t m_capacity;

  // Own counts behind numoffset, numstring, numintr (and numchar for file names).
  int32_t m_numoffset;
  int32_t m_numstring;
  int32_t m_numintr;
  int32_t m_numchar;

  // Own values and buffers behind the header references.
  int32_t m_when;
  int32_t m_nattrb;
  int32_t m_nstrct;
  int32_t m_blockfactor;
  char m_what[DATASET_NAME_LEN];
  char m_where[DATASET_NAME_LEN];
  IO_string m_attrbs[DATASET_MAX_ATTRIBUTES];
  char m_istrct[DATASET_DATATYPE_LEN];

  // Attributes that go with every data set written until cleared.
  int32_t m_noOfAttributes;
  IO_string m_attributes[DATASET_MAX_ATTRIBUTES];

  // Every message the library reported through this record (heap string), or NULL.
  char *m_lastError;
  int32_t m_lastStatus; // the library's status of the last request

  // Scratch for the file name of an open request.
  char *m_fileName;
};

// ---- Life and files ----
Dataset *Dataset_new(IO_state *fileInfo);
void Dataset_delete(Dataset *dataset);
// when -1, 20 attributes, item count 1, block factor 1; the offsets, strings and integers aimed
// at the match buffers with counts of the capacity; every other array and count absent.
void Dataset_reset(Dataset *dataset);
// 1 on success, -1 for a lock conflict, 0 otherwise.
int Dataset_openPrimaryFile(Dataset *dataset, const char *fileName);
int Dataset_openSecondaryFile(Dataset *dataset, const char *fileName);
// Opens an existing file as the primary file for reading only: a read lock, a read-only stream,
// nothing created or written, not even at its close. Results as Dataset_openPrimaryFile.
int Dataset_openPrimaryFileForReading(Dataset *dataset, const char *fileName);
int Dataset_closePrimaryFile(Dataset *dataset);
int Dataset_closeSecondaryFile(Dataset *dataset);
// Makes this process the writer of the open primary (secondary: the secondary) file before it
// changes anything, so that a change is refused whole rather than in parts. 1; 0 with the
// library's status in m_lastStatus (21 others hold the file, 6 it is open for reading only).
int Dataset_claimFile(Dataset *dataset, int secondary);
// Puts the secondary file, written whole by this process, in place of the primary file under
// the primary's name, while holding both (iif_swap_in); the secondary is closed by it. 1, or 0
// with the library's status in m_lastStatus.
int Dataset_swapInSecondaryFile(Dataset *dataset);
int Dataset_setDefaultFormat(Dataset *dataset, const char *format);
// Sends one request through iocntc with io_msg as the callback; the library's status.
int Dataset_request(Dataset *dataset, int32_t request);
// The library's message callback: appends the text to the last error text of the record whose
// request is running. Answers 0.
int io_msg(const char *text, int32_t length);
// A new copy of the last error text, or NULL.
char *Dataset_getLastError(const Dataset *dataset);
void Dataset_clearLastError(Dataset *dataset);
void Dataset_print(const Dataset *dataset, FILE *stream);

// ---- Header and attributes ----
// Resets and sets the key; with the flag the pending attributes go into the header. 0 (with a
// message in the last error text) when what or where is missing or longer than 79 characters.
int Dataset_setHeader(Dataset *dataset, const char *what, const char *where, int32_t when,
                      int withAttributes);
// 0 when the name and value do not fit one entry (name + value + 1 > 80) or the list is full.
int Dataset_addAttribute(Dataset *dataset, const char *name, const char *value);
void Dataset_clearAttributes(Dataset *dataset);
// Of the header just read: 1 for the single attribute "t=s", 2 for "t=u", else 0.
int Dataset_getCharKind(const Dataset *dataset);
// Replaces the 4-character `from` by `to` in the header's data type; 1 when something changed.
int Dataset_replaceInDataType(Dataset *dataset, const char *from, const char *to);

// ---- Locating and single requests ----
int Dataset_locate(Dataset *dataset, const char *what, const char *where, int32_t when);
int Dataset_exists(Dataset *dataset, const char *what, const char *where, int32_t when);
int Dataset_readLocated(Dataset *dataset);
int Dataset_readLocatedAs(Dataset *dataset);
int Dataset_write(Dataset *dataset);
int Dataset_deleteDataset(Dataset *dataset);

// ---- Typed family ----
// Readers: *count below 0 asks for a new array (handed over in *array, NULL for no values);
// otherwise *array is the caller's array of *count elements. *count receives the number read,
// or the number needed when the caller's array is too small (the read then fails).
int Dataset_readInts(Dataset *dataset, const char *what, const char *where, int32_t when, int32_t *count,
                     int32_t **array);
int Dataset_readFloats(Dataset *dataset, const char *what, const char *where, int32_t when, int32_t *count,
                       float **array);
// Reads REAL data sets converted to doubles.
int Dataset_readDoubles(Dataset *dataset, const char *what, const char *where, int32_t when, int32_t *count,
                        double **array);
int Dataset_readChars(Dataset *dataset, const char *what, const char *where, int32_t when, int32_t *count,
                      char **array);
// Each string read is a new heap string (zyrCString_free).
int Dataset_readIoStrings(Dataset *dataset, const char *what, const char *where, int32_t when, int32_t *count,
                          char ***array);
int Dataset_readStrings(Dataset *dataset, const char *what, const char *where, int32_t when, int32_t *count,
                        char ***array);
// Each UUID read is new (zyrUUID_delete); a stored null UUID reads as NULL.
int Dataset_readUUIDs(Dataset *dataset, const char *what, const char *where, int32_t when, int32_t *count,
                      zyrUUID ***array);

// Writers: n values, or, with noOfStructures of 1 or more, that many structures of n values
// ("STRC{INTR:n}" and so on).
int Dataset_writeInts(Dataset *dataset, const char *what, const char *where, int32_t when, int32_t n,
                      int32_t noOfStructures, const int32_t *data);
int Dataset_writeFloats(Dataset *dataset, const char *what, const char *where, int32_t when, int32_t n,
                        int32_t noOfStructures, const float *data);
int Dataset_writeDoubles(Dataset *dataset, const char *what, const char *where, int32_t when, int32_t n,
                         int32_t noOfStructures, const double *data);
int Dataset_writeChars(Dataset *dataset, const char *what, const char *where, int32_t when, int32_t n,
                       int32_t noOfStructures, const char *data);
// At least one string, each under 80 characters.
int Dataset_writeIoStrings(Dataset *dataset, const char *what, const char *where, int32_t when, int32_t n,
                           const char *const *data);
// A NULL string is written as an empty one.
int Dataset_writeStrings(Dataset *dataset, const char *what, const char *where, int32_t when, int32_t n,
                         const char *const *data);
// A NULL UUID is written as the null UUID.
int Dataset_writeUUIDs(Dataset *dataset, const char *what, const char *where, int32_t when, int32_t n,
                       const zyrUUID *const *data);

// ---- Inspection and compound operations ----
// Names and values are new heap strings; both arrays NULL when there are no attributes.
int Dataset_readAttributes(Dataset *dataset, const char *what, const char *where, int32_t when,
                           int32_t *count, char ***names, char ***values);
// Value counts by kind; characters marked as UUIDs count as UUIDs, characters holding
// terminators as strings.
int Dataset_readSignature(Dataset *dataset, const char *what, const char *where, int32_t when, int32_t *ints,
                          int32_t *floats, int32_t *doubles, int32_t *chars, int32_t *ioStrings,
                          int32_t *strings, int32_t *uuids);
// A new copy of the data-type string.
int Dataset_getDataType(Dataset *dataset, const char *what, const char *where, int32_t when, char **type);
// Texts describing the values: one per value with `full`, else a single summary text.
int Dataset_readDescription(Dataset *dataset, const char *what, const char *where, int32_t when, int full,
                            int32_t *count, char ***texts);
// The number of matches; unless countOnly, new arrays of their whats, wheres and whens.
int32_t Dataset_match(Dataset *dataset, const char *what, const char *where, int32_t when, int countOnly,
                      char ***whats, char ***wheres, int32_t **whens);
// Deletes every match of the key; 0 when nothing matched.
int Dataset_erase(Dataset *dataset, const char *what, const char *where, int32_t when);
// Copies every valid data set of the primary file into the current (secondary) one; with the
// flag every positive when becomes 1.
int Dataset_copyAll(Dataset *dataset, int compressWhen);
// Copies one data set of the primary file into the current (secondary) file under a new key;
// with a map (22-character UUID text to new text) the UUIDs stored in it are translated, and an
// unmapped one other than the null UUID fails the copy.
int Dataset_copyDataset(Dataset *dataset, const Dictionary *uuidMap, const char *what, const char *where,
                        int32_t when, const char *newWhat, const char *newWhere, int32_t newWhen);
int Dataset_copyLocated(Dataset *dataset, const char *what, const char *where, int32_t when,
                        const char *newWhat, const char *newWhere, int32_t newWhen);
// Rewrites the data set under a new when and erases the old one only after the write succeeded.
int Dataset_changeWhen(Dataset *dataset, const char *what, const char *where, int32_t when, int32_t newWhen);

#endif
