#ifndef IO_DATATYPE_H
#define IO_DATATYPE_H
// Data-type strings: the type of the values of a data set, as its header declares it.
//
//   INTR, REAL, DBLE, LOGL, CHAR  one value (anything after the four letters is ignored, but a
//                                 fifth character ":" is an error)
//   STRI, STRI:n                  a string of 80 or n characters (n at most 80)
//   STRC...{T:n T:n ...}...       a structure record of up to IO_MAXENT entries separated by
//                                 blanks, each a type name, ":" and a count (its leading digits;
//                                 none reads as 0)
#include "io_records.h"

// Parses a type string into (type code, count) entries; the caller's arrays hold IO_MAXENT
// entries. 0; 12 for a malformed string; 14 for too many entries; 15 for a count that cannot
// be held (a string longer than a string slot, a count beyond 32 bits). On failure the outputs
// are partly filled. Allocates nothing.
int parseStructure(IO_error_callback callback, const char *type, int32_t *entries,
                   int32_t *types, int32_t *counts);

// A new structure description: the entries in order, then (IO_TYPE_END, sum of the counts).
// The entry count goes to *entries when given. NULL after a parse failure, or when memory runs
// out (reported under "ii_parse_strct"). Release it with ii_free_strct.
IO_strct_item *ii_parse_strct(IO_error_callback callback, const char *type, int32_t *entries);
int ii_free_strct(IO_error_callback callback, IO_strct_item *description);

// Where element `element` (from 0) of record `record` lies when the values of all records are
// stored type by type: its type code and its index in the array of that type. 0, or 14 when the
// element or record is outside the description or the position does not fit 64 bits.
int ii_strct_locate_element(IO_error_callback callback, const IO_strct_item *description,
                            int64_t record, int32_t element, int32_t *type, int64_t *position);

#endif
