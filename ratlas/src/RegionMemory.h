// Heap of the region-atlas library: the plain process allocator behind a thin layer that refuses
// absurd sizes (so a wild size from a caller fails as "no memory" instead of ending the process)
// and lets tests make a chosen allocation fail.
#ifndef REGION_MEMORY_H
#define REGION_MEMORY_H

#include <cstddef>
#include <cstdint>

void* RegionMemory_alloc(size_t size);
void* RegionMemory_allocZeroed(size_t count, size_t size);
void* RegionMemory_realloc(void* block, size_t size);
// count * size, or NULL when the product overflows or is refused.
void* RegionMemory_allocArray(uint64_t count, size_t size);
void* RegionMemory_reallocArray(void* block, uint64_t count, size_t size);
char* RegionMemory_strdup(const char* text);
void RegionMemory_free(void* block);
// Answers as RegionMemory_alloc(size) would, failure hook included, without allocating: for a
// piece carved from a block already had, so that it can fail where a block of its own could.
bool RegionMemory_admit(size_t size);

// Releases a block that the library handed out; NULL is allowed.
void RegionMemory_release(void* block);

// Test hook: after `allowed` more successful allocations the next `failures` allocations fail;
// RegionMemory_failAfter(-1, 0) (the default) makes none fail.
void RegionMemory_failAfter(int64_t allowed, int64_t failures);

#endif
