#ifndef IO_DATASET_H
#define IO_DATASET_H
// Whole data sets: writing one at a file's index location, reading one at the stream's position.
//
// Frame of a data set of format code c0 c1 in a file of offset width W:
//   tag           c0, c1 (NUL when absent), LF
//   length field  text: the length right-aligned in W characters and LF; U, u: 4 bytes;
//                 L, l: 8 bytes
//   "*DATASET"    LF after it in text only
//   header        io_header.h
//   data          when NUMBER is above 0: "*DATA" and the values (data_part.h)
//   "*ENDDATASET" LF after it in text only
//   length field  as the first
// Both length fields hold the bytes from after the first one through the end tag. The first is
// written as 0 and filled last, so a data set whose writing stopped anywhere keeps a 0 there.
// After the last data set written the file end tag "*CRASH" (LF after it in text) marks where
// the next data set or the index goes.
#include "io_records.h"

#include <cstdio>

// Writes a data set of the header and data at the record's index location, leaves "*CRASH"
// after it and appends its index entry; the stream is left after its second length field (the
// caller makes that the new index location). The format code's letter is made native; U and u
// become L when the value arrays hold more than 1610612736 bytes; a compressed format with the
// header's block factor 1 sets it to 100000. On a failure while the frame is written, "*CRASH"
// is written at the data set's start and the index location stays.
int write_dataset(IO_error_callback callback, const char *format, IO_header *header, IO_data *data,
                  IO_file *record);

// Reads the tag, the first length field and the start tag at the stream's position; the format
// code (3 characters) receives the tag's first two bytes.
int read_located_dataset_start(IO_error_callback callback, char *format, IO_file *record);
// Reads the data set at the stream's position into the header and data; the format code
// receives its tag. 14 (silent, counts set to the needs) when the arrays are too small.
int read_located_dataset(IO_error_callback callback, char *format, IO_header *header, IO_data *data,
                         IO_file *record);
// The same, converting the values to `target` when it is given, not empty and differs from the
// stored type (REAL and DBLE stand in for each other, data_part.h).
int read_located_dataset_as(IO_error_callback callback, char *format, IO_header *header,
                            IO_data *data, const char *target, IO_file *record);

// Reads `count` records of the header's type: straight into `data`, or, when `convert` is set,
// into `scratch` (which must hold them) and converted into `data` as `target`.
int read_data_block(IO_error_callback callback, int32_t convert, const char *format,
                    IO_file *record, IO_header *header, const char *target, int64_t count,
                    IO_data *scratch, IO_data *data);

// A view of a data block: the same arrays, with counts of its own (in view->m_counts), so that
// move_datapoints can advance it without touching the block.
int iodata_block_view(IO_error_callback callback, const IO_data *data, IO_data *view);
// Advances the view's arrays (and lowers its counts) past `records` records of the type.
int move_datapoints(IO_error_callback callback, int64_t records, const char *type, IO_data *view);

#endif
