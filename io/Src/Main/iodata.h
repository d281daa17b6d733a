#ifndef IODATA_H
#define IODATA_H
// Allocation, sizing and release of IO_data records (io_records.h). A process-wide counter
// holds the number of live records, so a user can check for records never released.
#include "io_records.h"

// A new record: zeroed, counts aimed at its own counts, all arrays absent. NULL when memory runs
// out (reported under "iodata_alloc" when a callback is given).
IO_data *iodata_alloc(IO_error_callback callback);
// Zeroes every field and aims each count at the record's own count; 0.
int iodata_init(IO_error_callback callback, IO_data *data);
// Sizes every array to its count: a zero count frees the array, a positive one allocates or
// reallocates it (contents kept). An array whose count reference is NULL is left alone. 0, 28
// when an allocation failed (that array becomes absent, the others are still sized), or 14 for
// a negative count.
int iodata_alloc_arrays(IO_error_callback callback, IO_data *data);
// Frees every present array and sets every count to 0; 0.
int iodata_free_arrays(IO_error_callback callback, IO_data *data);
// Frees the arrays and the record; 0.
int iodata_free(IO_error_callback callback, IO_data *data);
// Bytes held by the present arrays.
int64_t iodata_size(IO_error_callback callback, const IO_data *data);
// Sets the char count to `length` (negative: the text's length), sizes the arrays and copies
// that many characters (no terminator). The status of iodata_alloc_arrays.
int iodata_set_chars(IO_error_callback callback, IO_data *data, const char *text,
                     int32_t length);
// Prints the counts and array addresses to standard output; 0.
int iodata_dump(IO_error_callback callback, const IO_data *data);
// 0 when no record is live; otherwise reports how many remain and answers 28.
int iodata_leak_check(IO_error_callback callback);

// The array that holds values of a type code (STRI: the string slots), its count reference, and
// the bytes of one of its elements (STRI 80, CHAR 1, INTR 4, REAL 4, DBLE 8, LOGL 1). NULL, NULL
// and 0 for a code outside 0-5.
void *iodata_type_array(const IO_data *data, int32_t type);
int32_t *iodata_type_count(const IO_data *data, int32_t type);
int32_t iodata_type_size(int32_t type);

#endif
