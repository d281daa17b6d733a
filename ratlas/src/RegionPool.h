// Small blocks of the region-atlas library: definitions, name records and list headers are made
// and freed by the thousand as definitions come and go. They are taken from free lists of their
// size, carved from larger blocks, instead of one heap allocation each; the failure hook of
// RegionMemory applies to them as to every other allocation. Builds with the address sanitizer
// hand every block to the heap, so that its checks and leak reports see each one.
// Like the rest of the library's process-wide state (the name dictionary), the pool is not
// guarded for use from several threads at once.
#ifndef REGION_POOL_H
#define REGION_POOL_H

#include <cstddef>
#include <cstdint>

// A block of size bytes, NULL when refused or without memory. Sizes above a few hundred bytes
// come from the heap.
void* RegionPool_alloc(size_t size);
void* RegionPool_allocZeroed(size_t size);
// Gives back a block of RegionPool_alloc with the size it was asked with; NULL is allowed.
void RegionPool_free(void* block, size_t size);

// Blocks of the pooled sizes handed out and not given back (from the pool or the heap).
uint64_t RegionPool_blocksInUse();
// For tests: 1 carves blocks from the pool, 0 takes them from the heap. Switches only while no
// such block is out (returns 0 otherwise), and frees the pool's memory. Whenever the last
// block comes back, the pool keeps one slab and frees the others.
int RegionPool_setPooled(int on);

#endif
