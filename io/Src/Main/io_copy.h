#ifndef IO_COPY_H
#define IO_COPY_H
// Copying data sets from one data-set file into another. A copy appends the data set at the
// destination's index location under a new what, where and when: its tag, length fields and
// header are written afresh, the rest (data part and end tag) is copied byte for byte. The source
// file is never changed. Callers take the write permission on the destination first.
//
// Like a written data set, a copy keeps 0 in its first length field until it is complete and
// leaves the file end tag "*CRASH" after itself, so that a copy cut off anywhere is found as an
// unfinished write by the next rebuild and overwritten by the next data set.
#include "io_index.h"
#include "io_records.h"

// Copies the data set at which the source's stream stands to the destination under the key and
// adds its index entry; the destination's index location moves past it. A deleted data set is
// not copied (0). When `named` is given (the source's entry for the data set), a data set whose
// header names another key is not copied either: 20, the destination unchanged. 0 or a status.
int copy_dataset(IO_error_callback callback, const char *what, const char *where, int32_t when,
                 IO_file *destination, IO_file *source, const IO_match *named);

// Copies the valid data sets of the source (duplicates resolved first, in the source's table
// order); a data set whose header does not name the key of its entry is left out, as a read
// through the entry fails. Mode bit 1: only those whose when is 0. Mode bit 2: every when of 1 or
// more is written as 1, and of each what and where only the data set of the greatest such when is
// copied. The first failure ends the copy (those copied stay).
int copy_all_ds(IO_error_callback callback, IO_file *destination, IO_file *source, int32_t mode);
int copy_allvalid_ds(IO_error_callback callback, IO_file *destination, IO_file *source);
int copy_when0_ds(IO_error_callback callback, IO_file *destination, IO_file *source);
int copy_all_ds_compress_when(IO_error_callback callback, IO_file *destination, IO_file *source);

#endif
