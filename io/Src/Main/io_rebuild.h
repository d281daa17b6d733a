#ifndef IO_REBUILD_H
#define IO_REBUILD_H
// Rebuilding the index table of a data-set file by walking its frames from the start, for a
// file whose recorded size is wrong or whose stored index cannot be taken.
//
// The walk knows: the information block; live data sets (an entry each, from their headers);
// deleted data sets (no entry; skipped by their first length field like live ones, their format
// taken from the delete tag, or for old-style tags, "D" and NUL, the first of U, u and F whose two
// length fields agree; the entry of a live frame of the same data set before one is flagged "N",
// since that frame was replaced and its replacement erased); a data set whose first length
// field is 0, or is cut off by the end of the file (a write that never
// finished: the walk ends there, and the next data set is written over it); old index data sets
// (skipped); the file end tag "*CRASH" (the walk ends there); the end of the file. Anything else
// ends the walk with status 20. Every length taken must keep its frame within the file, so the
// walk only ever moves forward (a negative or overlong length: status 15).
#include "io_records.h"

// Rebuilds the record's table; the index location becomes the position where the walk ended.
// 0, or a status when the file holds bytes the walk cannot place (the open then fails).
int recreate_indextable(IO_error_callback callback, IO_file *record);

#endif
