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

// Test seam: after `count` more successful allocations every allocation fails, until it is
// called again with -1 (never fail). Lets tests reach the out-of-memory paths.
void io_alloc_fail_after(int64_t count);

#endif
