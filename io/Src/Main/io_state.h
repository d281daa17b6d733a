#ifndef IO_STATE_H
#define IO_STATE_H
// The IO_state record (io_records.h): the request interface's whole state for one user.
#include "io_records.h"

// A new zero-filled state: no file open, none current. NULL when memory runs out.
IO_state *iostate_alloc();
// Releases the state and its default format; nothing for NULL. Closes no file: the owner closes
// its files first (IO_CLOSE_PRIMARY, IO_CLOSE_TEXT).
void iostate_free(IO_state *state);
// Prints which files are open, which is current, and the default format to standard output.
void iostate_print(const IO_state *state);

#endif
