#ifndef IO_ALLOC_H
#define IO_ALLOC_H
// The data-set library's own allocation: plain heap calls, answering NULL when memory runs out
// (the library reports the failure and returns a status; it never ends the process).
#include <cstddef>
#include <cstdint>

void *io_malloc(size_t size);
void *io_calloc(size_t count, size_t size);
void *io_realloc(void *pointer, size_t size);
void io_free(void *pointer);
// A new copy of a terminated text, or NULL.
char *io_strdup(const char *text);

// Test seam: after `skip` more successful allocations, the next `failures` allocations fail
// (every one when `failures` is negative); then allocation works again. A negative `skip`
// ends the injection. Lets tests reach the out-of-memory paths.
void io_alloc_fail(int64_t skip, int64_t failures);

#endif
