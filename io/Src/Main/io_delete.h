#ifndef IO_DELETE_H
#define IO_DELETE_H
// Deleting data sets in place. A data set is never moved or removed: its index entry gets status
// "N" and the first two bytes of its tag are overwritten with its delete tag (io_format.h), so
// that its bytes and its place stay and a walk over the frames can still skip it. The changed
// table reaches the file with the next stored index (at the writer's close). Callers take the
// write permission on the file first.
#include "io_records.h"

#include <cstdio>

// Deletes every data set matching the header's what, where and when as locate_dataset matches
// them (wildcards, a when below 0 for any when). 0 also when nothing matches; else the first
// failure's status (the data sets deleted before it stay deleted).
int delete_ds(IO_error_callback callback, const IO_header *header, IO_file *record);

// Deletes the data set of one entry, named by all of its fields: its what-order entry gets
// status "N" and its tag the delete tag (unless the stream is read-only); its entry is looked up
// in the where order too when that exists. 0, or a status.
int delete_ds_entry(IO_error_callback callback, const char *what, const char *where, int32_t when,
                    int64_t position, int64_t length, IO_file *record);
// The two look-ups of delete_ds_entry. `key` is the entry text after the status and its ESC
// (delete_bywhat) or after the what and its ESC (delete_bywhere); only an entry whose text is
// exactly the key is taken. Nothing found: 0.
int delete_bywhat(IO_error_callback callback, const char *key, IO_file *record);
int delete_bywhere(IO_error_callback callback, const char *key, IO_file *record);

// Marks the entry "N" and, unless the access is 'r', deletes its data set in the file.
int delete_process(IO_error_callback callback, char access, FILE *stream, char *entry);
// Overwrites the tag at the position with its delete tag. 0 also when it is already deleted; 8,
// 10, 11, or 15 when the bytes there are no tag.
int delete_process_sub(IO_error_callback callback, FILE *stream, int64_t position);

#endif
