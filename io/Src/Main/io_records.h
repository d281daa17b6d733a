#ifndef IO_RECORDS_H
#define IO_RECORDS_H
// Records and constants shared by every part of the data-set file library and by its callers.
// The library stands alone: it has its own status codes, its own error callback and its own
// allocation (io_alloc.h), and uses nothing of the foundation services.
//
// Later parts of the library add their records here (file record, header, state), so that the
// request interface and its callers see one set of definitions.
#include <cstdint>
#include <cstdio>

// ---------------------------------------------------------------------------------------------
// Status codes. 0 is success; every other value is one of these.
enum {
  IO_OK = 0,
  IO_OPEN_ERR = 1,         // no name, unknown access code, or the file cannot be opened
  IO_EMPTY_FILE = 5,       // the file holds nothing (no index position)
  IO_PERMISSION_ERR = 6,   // write refused: the file is open for reading only
  IO_SEEK_ERR = 8,         // a seek failed
  IO_TELL_ERR = 9,         // a position query failed
  IO_READ_ERR = 10,        // a read failed
  IO_WRITE_ERR = 11,       // a write failed
  IO_DATA_ERR = 12,        // malformed data, data-type string or text; no output buffer
  IO_MEMORY_ERR = 14,      // bad arguments, or the caller's arrays are too small
  IO_FORMAT_ERR = 15,      // unknown format letter, or a value that does not fit its field
  IO_MULTIPLE_MATCH = 16,  // more than one data set matches
  IO_NO_MATCH = 17,        // no data set matches
  IO_NO_CALLBACK = 19,     // no error callback given
  IO_BAD_FILE = 20,        // not a data-set file, or its frames cannot be placed
  IO_LOCK_ERR = 21,        // lock conflict
  IO_UNKNOWN_REQUEST = 22, // unknown request code
  IO_COMPRESS_ERR = 23,    // compression or decompression failed
  IO_NOT_READABLE = 24,    // the named file cannot be opened for reading
  IO_NO_MESSAGE = 26,      // no message text given
  IO_CONVERT_ERR = 27,     // values cannot be converted to the wanted data type
  IO_ALLOC_ERR = 28,       // out of memory
  IO_PLAIN_DATA = 29       // a compressed array was stored plainly (length -1)
};

// ---------------------------------------------------------------------------------------------
// Error callback: receives one message text and its length in characters (a trailing newline
// included). Its result is ignored.
typedef int (*IO_error_callback)(const char *message, int32_t length);

// ---------------------------------------------------------------------------------------------
// Format codes: a format letter and an optional second character (a compression digit 1-9 when
// the data set is compressed). Every letter accepted anywhere:
#define IO_FORMAT_LETTERS "FDdUuLlXx"

// Type codes of the values of a data set, in the order of the data-type string table.
enum {
  IO_TYPE_STRI = 0, // strings; the count is the string length
  IO_TYPE_CHAR = 1, // characters
  IO_TYPE_INTR = 2, // 32-bit integers
  IO_TYPE_REAL = 3, // 32-bit reals
  IO_TYPE_DBLE = 4, // 64-bit reals
  IO_TYPE_LOGL = 5, // logicals, one character each
  IO_TYPE_END = 6   // end of a structure description
};

// Most entries of one structure type string, STRC{...}.
#define IO_MAXENT 40

// Characters of one string slot of the string array. A value of exactly this many characters
// has no terminator in its slot.
#define IO_STRING_LEN 80
typedef char IO_string[IO_STRING_LEN];

// One entry of a structure description (ii_parse_strct): a type code and a count. A description
// is an array of them ended by (IO_TYPE_END, sum of all counts).
struct IO_strct_item {
  int32_t m_type;
  int32_t m_count;
};

// ---------------------------------------------------------------------------------------------
// IO_data: the carrier of values between a caller and a data set. Seven typed arrays, each with
// a reference to its count; the counts are read and written only through those references, so a
// caller may aim a count at storage of its own. A null count reference means that the array is
// absent and its count is not reported. Arrays set up by iodata_alloc_arrays are owned by the
// record and freed with it.
enum {
  IO_DATA_OFFSET = 0,
  IO_DATA_STRING = 1,
  IO_DATA_CHAR = 2,
  IO_DATA_INTR = 3,
  IO_DATA_REAL = 4,
  IO_DATA_DBLE = 5,
  IO_DATA_LOGL = 6,
  IO_DATA_ARRAYS = 7
};

struct IO_data {
  int64_t *m_offsetarray; // file offsets (index and location requests)
  int32_t *m_numoffset;
  IO_string *m_stringarray; // STRI values, one per 80-character slot
  int32_t *m_numstring;
  char *m_chararray; // CHAR values
  int32_t *m_numchar;
  int32_t *m_intrarray; // INTR values
  int32_t *m_numintr;
  float *m_realarray; // REAL values
  int32_t *m_numreal;
  double *m_dblearray; // DBLE values
  int32_t *m_numdble;
  char *m_loglarray; // LOGL values, one character each
  int32_t *m_numlogl;
  int32_t m_counts[IO_DATA_ARRAYS]; // own counts, in the order above
};

// ---------------------------------------------------------------------------------------------
// IO_header: how a caller names a data set and describes its values. Eight references to values
// the caller holds; the library reads and fills them through the references.
//
// Limits of the values as stored: what at most 75 characters and where at most 74 (with
// "WHAT"/"WHERE" and a separator they fill an 80-character record), when at least 0 when written
// (below 0 in a query: any when), the data type at most 247 characters. Storage that the library
// provides (ioheader_alloc, ioheader_alloc_fields) holds IO_MAXATTRB attributes.
#define IO_NAME_LEN 80      // what and where storage of a header object
#define IO_DATATYPE_LEN 256 // data-type storage, terminator included
#define IO_MAXATTRB 20      // attribute slots of the storage the library provides

struct IO_header {
  char *m_what;            // the data set's name
  char *m_where;           // its location
  int32_t *m_when;         // its time or state number
  int32_t *m_numattrb;     // number of attribute texts
  IO_string *m_attributes; // the attribute texts, one 80-character slot each
  int32_t *m_number;       // NUMBER: records in the data part
  char *m_datatype;        // type string of one record
  int32_t *m_blockfactor;  // records per compressed block; 1 means not set
};

// ---------------------------------------------------------------------------------------------
// The file record: one data-set file (or plain text file) while it is open. Cleared by
// iif_clear_record, opened by iif_open (io_file.h), closed by iif_close.
struct IO_index; // the index table (io_index.h)

// What a record holds in the lock file beside its data file (io_lock.h).
enum { IO_LOCKFILE_NONE = 0, IO_LOCKFILE_READER = 1, IO_LOCKFILE_WRITER = -1 };

struct IO_file {
  IO_index *m_indextable;       // entries of the data sets, with their orders (io_index.h)
  FILE *m_stream;               // none while the record is closed
  char *m_name;                 // the file name as opened
  int32_t m_lock;               // lock level: readers last counted, or -1: write the index at close
  int64_t m_indexlocation;      // where the next data set, the file end tag or the index goes
  char m_access;                // 'r' read-only stream, 'w' writable, 0 no lock held
  int32_t m_offsetwidth;        // width W of every text offset of the file: 10 or 20
  IO_error_callback m_callback; // receives every message about this file
  char *m_format;               // the file's own format code (iif_get_format)
  int32_t m_formatstate;        // 0 not chosen, 1 from WEZ_FORMAT, 2 default or set
  char m_writeformat[3];        // format of the next write, or of the data set last read
  int32_t m_lockfile;           // what this record holds in the lock file: IO_LOCKFILE_*
  int32_t m_flock;              // the real lock held on the stream: 0, LOCK_SH or LOCK_EX; -1 lost
  int32_t m_lent;               // 1 when the file is a temporary that this process holds
                                // (zyrHeldTemporary.h): its lock is the hold's, lent to the record
  int32_t m_lenthold;           // m_lent: a descriptor sharing that hold, and so its lock, which the
                                // record keeps for as long as the stream is open (also once the
                                // file has been swapped in over another)
  int32_t m_indexstale;         // 1 once the recorded size on disc no longer vouches for the index
  int32_t m_takenover;          // 1 once the record took over a lock file that no holder backed
  int32_t m_rebuilds;           // index tables rebuilt by scanning since the record was cleared
  int64_t m_damagedfrom;        // where the last rebuild stopped at damage or at a data set cut
                                // off, leaving out what lies there; 0 when it did not
  int64_t m_skippedfrom;        // the first whole data set the open left out of the table (a
  int64_t m_skippedbytes;       // rebuild: a name the index cannot hold; a stored index: an
                                // entry its frame disagrees with, io_frame.h), and the bytes of
                                // all it left out; 0 when none
  int32_t m_skippedentry;       // 1 + the slot of the entry of that first data set, left in the
                                // table with status "N"; 0 when it has none (a rebuild's)
  int32_t m_skippedcount;       // how many data sets the open left out so
  int32_t m_skippedframed;      // 1 when the frame of that first data set (of a stored index) is
  char m_skippedwhat[IO_NAME_LEN];  // whole: it names the data set (what, where, when) whatever
  char m_skippedwhere[IO_NAME_LEN]; // its entry says. 0 when the frame is not whole, or the
  int32_t m_skippedwhen;            // data set has no entry
  int32_t m_created;            // 1 when the record's open made the file
  int32_t m_remnant;            // what a creation cut off had left in the file, which the open
                                // made anew (IO_REMNANT_* of io_remnant.h); 0 when it did not
  int32_t m_readerror;          // while no stream is open: the errno of the first read that the
                                // system failed of the last stream, or of the lock file that
                                // failed the last open (iif_read_failure); 0 when none did
  int32_t m_lost;               // 1 when the last open was refused as a temporary of this process
                                // whose name no longer leads to the file held (iif_lost_temporary)
  int32_t m_identified;         // 1 once the open found its file under the name: m_device and
  uint64_t m_device;            // m_inode are that file's. The lock file under the name is the
  uint64_t m_inode;             // record's only while the name leads to it (io_lock.h)
  int32_t m_failed;             // what the system failed that alone refused the last open or
  int32_t m_failederror;        // claim of the writer (IO_FAILED_*), its errno value and the call
  const char *m_failedcall;     // ("fstat", "stat", "write", "open"; static text): iif_failure. The first
                                // such failure is kept; IO_FAILED_NONE when there was none
};

// What the system failed of a record's open or claim (m_failed): a look at the file, a write of
// it, a write of its lock file, or the open of the file itself (for another reason than that it
// is not there or may not be written).
enum { IO_FAILED_NONE = 0, IO_FAILED_LOOK = 1, IO_FAILED_WRITE = 2, IO_FAILED_LOCKFILE_WRITE = 3, IO_FAILED_OPEN = 4 };

// ---------------------------------------------------------------------------------------------
// IO_state: the whole state of one user of the request interface (iocnt.h): up to two open
// data-set files, one plain text file and the default write format. Made zero-filled by
// iostate_alloc (io_state.h).
struct IO_state {
  IO_file m_primary;      // the main data-set file (request IO_OPEN_PRIMARY)
  IO_file m_secondary;    // a second data-set file, the destination of copies
  IO_file m_text;         // a plain text file
  IO_file *m_current;     // the file most requests work on: one of the three, or none
  int32_t m_initialised;  // 0 until the first request
  char *m_defaultformat;  // owned; the write format when WEZ_FORMAT is not set, or none
};

// Request codes of iocntc and iocnt (iocnt.h).
enum {
  IO_OPEN_PRIMARY = 0,
  IO_CLOSE_PRIMARY = 1,
  IO_OPEN_SECONDARY = 2,
  IO_CLOSE_SECONDARY = 3,
  IO_SET_FORMAT = 4,
  IO_DELETE_DS = 5,
  IO_WRITE_DATASET = 6,
  IO_LOCATE_DS = 7,
  IO_LOCATE_PRIMARY_DS = 8,
  IO_DELETE_PRIMARY_DS = 9,
  IO_READ_LOCATED_DS = 10,
  IO_READ_DS_START = 11,
  IO_START_DATASET = 12,
  IO_READ_DATA = 13,
  IO_WRITE_DATA = 14,
  IO_GET_ENTRY_COUNT = 15,
  IO_COPY_DATASET = 16,
  IO_COPY_ALLVALID_DS = 17,
  IO_READ_LOCATED_PRIMARY_DS = 18,
  IO_END_DATASET = 19,
  IO_TELL = 20,
  IO_WRITE_DSLENGTH = 21,
  IO_SEEK = 22,
  IO_SET_INDEX_LOCATION = 23,
  IO_INSERT_INDEX = 24,
  IO_GET_INDEX_LOCATION = 25,
  IO_READ_DATATAG = 26,
  IO_WRITE_DATATAG = 27,
  IO_USE_PRIMARY = 28,
  IO_USE_SECONDARY = 29,
  IO_OPEN_TEXT = 30,
  IO_CLOSE_TEXT = 31,
  IO_READ_TEXT_STRING = 32,
  IO_WRITE_TEXT_STRING = 33,
  IO_READ_TEXT_INTR = 34,
  IO_WRITE_TEXT_INTR = 35,
  IO_READ_TEXT_REAL = 36,
  IO_WRITE_TEXT_REAL = 37,
  IO_CHECK_READABLE = 38,
  IO_COPY_WHEN0_DS = 39,
  IO_INSERT_INDEX_UNSORTED = 40,
  IO_UPDATE_INDEX = 41,
  IO_RECREATE_INDEX = 42,
  IO_READ_LOCATED_DS_AS = 43,
  IO_READ_LOCATED_PRIMARY_DS_AS = 44,
  IO_COPY_DS_COMPRESS_WHEN = 45,
  IO_SET_DEFAULT_FORMAT = 46,
  IO_GET_CURRENT_FILE = 47,
  IO_NUM_REQUESTS = 48
};

#endif
