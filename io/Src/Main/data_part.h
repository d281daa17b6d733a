#ifndef DATA_PART_H
#define DATA_PART_H
// The data part of a data set: the tag "*DATA" and NUMBER records of the header's data type,
// read into and written from an IO_data record.
//
// A type string with one item is a plain array; a structure (STRC) with several items is a
// record of mixed values. Each typed array of the IO_data holds its values record by record:
// record r starts at r times the record's values of that type (for STRI: its string items, one
// 80-character slot each), the items of that type in item order.
//
// Plain arrays (one item with count c, NUMBER times c values):
//   type  text (F)                                     binary
//   STRI  one line a record, the string padded to c     c bytes a record
//   CHAR  one line of all characters, padded            the bytes
//   INTR  8 a line, fields of width 10                  4 bytes each
//   REAL  4 a line, "%20.11E"                           4 bytes each
//   DBLE  4 a line, "%20.11E" of the value narrowed     8 bytes each
//   LOGL  16 a line, fields of width 5                  1 byte each
// Binary arrays other than STRI of at least 100 values are compressed when the format code
// carries a compression digit (io_compress.h).
//
// Structures: in text form one line a record, every value followed by ESC (INTR "%10d", REAL
// and DBLE "%20.11E", LOGL its character, CHAR and STRI up to c characters, ending early at a
// NUL); in binary form one block of all records, each record its values in item order with no
// padding (STRI c bytes, NUL-filled after the string), compressed as one unit when the format
// carries a digit and the block holds at least 100 bytes.
//
// Every operation takes the error callback first and answers a status of io_records.h.
#include "io_records.h"

#include <cstdio>

// The tag before the values: "*DATA" as a text line, or the INTR 5 and the five bytes.
int read_datatag(IO_error_callback callback, const char *format, FILE *stream);
int write_datatag(IO_error_callback callback, const char *format, FILE *stream);

// Sizes of one record of `items` (type, count) entries in the format: its width in bytes
// (binary) or characters (text, separators included), and per type code the values one record
// holds (for STRI: the string slots, one per STRI item). 0, or 15 for a type code outside 0-5.
// An STRI item takes c bytes (binary) or c+1 characters (text); a CHAR item c+1 characters in
// text.
int structure_sizes(IO_error_callback callback, const char *format, int32_t items,
                    const int32_t *types, const int32_t *counts, int64_t *width,
                    int64_t totals[IO_TYPE_END]);

// Whether the arrays of `data` hold NUMBER records of the type: sets the count of every value
// array (not the offsets) to the number needed, whatever the outcome, and answers 0 when each
// needed array is present and was large enough, 14 when not. A NULL count reference stands for
// an absent array whose count is not reported (14 when that type is needed). 12 for a missing or
// malformed type string; 15, with the counts left alone, when a need exceeds what a 32-bit count
// holds.
int check_memory(IO_error_callback callback, const char *format, int64_t number, const char *type,
                 IO_data *data);

// The reader's memory check for NUMBER records stored as `storedType` and wanted as
// `wantedType` (the same type when no conversion is made), with the stream at the data part:
// sets the counts to the needs of the wanted type, and answers 0 when the arrays hold them, 14
// when they do not and the stream can hold that many stored records, 10 (and a message) when it
// plainly cannot, so that a corrupt NUMBER never leads the caller to a large allocation.
int check_read_memory(IO_error_callback callback, const char *format, FILE *stream, int64_t number,
                      const char *storedType, const char *wantedType, IO_data *data);

// Reads NUMBER records into the arrays (after read_datatag). 14 with the counts set to the
// needs when the arrays are absent or too small (enlarge them with iodata_alloc_arrays and call
// again at the same position); before that answer the stream must be able to hold that many
// records (10 when it plainly cannot), so a corrupt NUMBER never leads to a large allocation.
// 14 means nothing else: bad values answer 12 and buffers that cannot be had 28.
int read_data(IO_error_callback callback, const char *format, FILE *stream, int64_t number,
              const char *type, IO_data *data);
// Writes NUMBER records from the arrays (after write_datatag); 14 when the arrays do not hold
// them (the counts then hold the needs).
int write_data(IO_error_callback callback, const char *format, FILE *stream, int64_t number,
               const char *type, IO_data *data);

// One plain array of `type` with `count` values a record.
int read_single_dataarray(IO_error_callback callback, const char *format, FILE *stream,
                          int64_t number, int32_t type, int32_t count, IO_data *data);
int write_single_dataarray(IO_error_callback callback, const char *format, FILE *stream,
                           int64_t number, int32_t type, int32_t count, IO_data *data);

// Structure records of `items` (type, count) entries whose record is `width` wide (as
// structure_sizes gives it): text form, and binary form in the format's byte order.
int read_fmt_structure(IO_error_callback callback, FILE *stream, int64_t number,
                       const int32_t *types, const int32_t *counts, int64_t width, int32_t items,
                       IO_data *data);
int write_fmt_structure(IO_error_callback callback, FILE *stream, int64_t number,
                        const int32_t *types, const int32_t *counts, int64_t width, int32_t items,
                        IO_data *data);
int read_unfmt_structure(IO_error_callback callback, const char *format, FILE *stream,
                         int64_t number, const int32_t *types, const int32_t *counts, int64_t width,
                         int32_t items, IO_data *data);
int write_unfmt_structure(IO_error_callback callback, const char *format, FILE *stream,
                          int64_t number, const int32_t *types, const int32_t *counts,
                          int64_t width, int32_t items, IO_data *data);

// Converts NUMBER records of the stored type in `source` to the wanted type in `destination`.
// The types must have the same items with the same counts, REAL and DBLE standing in for each
// other (27 otherwise). *convert becomes 1 when some item changes type; when none does (or
// NUMBER is 0) nothing is copied and the caller uses the source as it is. 14 when the
// destination's arrays are too small (counts set to the needs, as check_memory) or the source
// lacks values.
int convert_data(IO_error_callback callback, int64_t number, const char *storedType,
                 const char *wantedType, int32_t *convert, IO_data *source, IO_data *destination);

// A data part of NUMBER records in the chunks a compressed data set stores: with a compression
// digit and more than `blockFactor` records (1 or less: 100000), blocks of that many records,
// then the rest, each one stored as a data part of its own; otherwise all at once. The caller's
// counts are checked (and set) for the whole data part first. The chunks' streams are made on
// io_pipeline_threads() threads and written in order by the calling thread: the bytes, the calls
// on the stream and the messages are the same whatever the number of threads.
int write_data_blocks(IO_error_callback callback, const char *format, FILE *stream, int64_t number,
                      int32_t blockFactor, const char *type, IO_data *data);
int read_data_blocks(IO_error_callback callback, const char *format, FILE *stream, int64_t number,
                     int32_t blockFactor, const char *type, IO_data *data);

#endif
