#ifndef IO_HEADER_H
#define IO_HEADER_H
// The header of a data set: the IO_header record (io_records.h), the storage the library can give
// it, and its records in a data-set file.
//
// Header records, in this order, with their field widths in characters:
//   "*HEADER" (7); "WHAT" ESC what (80); "WHERE" ESC where (80); "WHEN" ESC when (80);
//   "NUMATTRB" ESC count (80); each attribute text (80); "DATATYPE" ESC type (256);
//   "NUMBER" ESC number (80); "BLOCKFACTOR" ESC block factor (80).
// Text data sets hold each as a line padded to its width; binary ones as a 4-byte length in the
// data set's byte order followed by the bytes. BLOCKFACTOR is written in every text data set and
// in compressed binary ones (a compression digit in the format code), and nowhere else.
#include "io_records.h"

#include <cstdio>

// Gives an eight-reference block its own buffers: what and where of 82 characters, when, number
// of attributes, number and block factor, IO_MAXATTRB attribute slots and a data type of
// IO_DATATYPE_LEN. 0, or 14 when one allocation fails (those made stay; free them with
// ioheader_free_fields). The block itself is the caller's.
int ioheader_alloc_fields(IO_header *block);
// Frees every buffer that is set and clears its reference; 0.
int ioheader_free_fields(IO_header *block);

// A self-contained header object: the references and their storage, initialised by
// ioheader_init. NULL when memory runs out (reported to the callback when one is given). Live
// objects are counted process-wide.
IO_header *ioheader_alloc(IO_error_callback callback);
// Zeroes an object made by ioheader_alloc and aims its references at its own storage; the block
// factor becomes 1. 0.
int ioheader_init(IO_header *header);
// Frees an object made by ioheader_alloc; 0.
int ioheader_free(IO_error_callback callback, IO_header *header);
// 0 when no header object is live, else a report and 28.
int ioheader_leak_check(IO_error_callback callback);
// Prints the values the references reach to standard output; 0.
int ioheader_dump(const IO_header *header);

// Whether a format code's data sets carry a BLOCKFACTOR record.
int ioheader_has_blockfactor(const char *format);

// Writes the header records at the stream's position. A what or where that is empty or holds a
// line feed or ESC, or a negative when, is refused (12) before anything is written.
int write_header(IO_error_callback callback, const char *format, FILE *stream,
                 const IO_header *header);
// Reads the header records from the stream's position into the header (its what and where
// storage must hold IO_NAME_LEN characters, its data type IO_DATATYPE_LEN, its attributes
// IO_MAXATTRB slots: further attributes are read and dropped).
int read_header(IO_error_callback callback, const char *format, FILE *stream, IO_header *header);
// The same from either source of io_source.h.
struct IO_stream_source;
struct IO_bytes_source;
int read_header(IO_error_callback callback, const char *format, IO_stream_source &source, IO_header *header);
int read_header(IO_error_callback callback, const char *format, IO_bytes_source &source, IO_header *header);

#endif
