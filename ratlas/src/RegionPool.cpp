#include "RegionPool.h"

#include "RegionMemory.h"
#include "RegionPoison.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>

#if defined(__SANITIZE_ADDRESS__)
#define REGION_POOL_DEFAULT 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define REGION_POOL_DEFAULT 0
#endif
#endif
#ifndef REGION_POOL_DEFAULT
#define REGION_POOL_DEFAULT 1
#endif

namespace {

const size_t kGrain = 16;
const size_t kLargest = 256;
const size_t kClasses = kLargest / kGrain;
const size_t kSlabBytes = 64 * 1024;

// A slab begins with the link to the slab made before it; its blocks follow.
struct Slab {
  Slab* m_next;
  alignas(16) unsigned char m_blocks[1];
};
const size_t kSlabHeader = offsetof(Slab, m_blocks);

struct Pool {
  int m_pooled = REGION_POOL_DEFAULT;
  void* m_free[kClasses] = {};  // free blocks of each size, linked through their first word
  Slab* m_slabs = nullptr;
  unsigned char* m_carve = nullptr;  // the unused rest of the newest slab
  size_t m_left = 0;
  uint64_t m_inUse = 0;  // blocks of the pooled sizes out, from the pool or the heap
};

Pool s_pool;

size_t classOf(size_t size) { return size == 0 ? 0 : (size - 1) / kGrain; }

// Only when no block is out: every slab back to the heap but the newest (kept unless `all`, so
// that making and freeing one block over and over does not take a slab from the heap each time).
void releaseSlabs(bool all) {
  Slab* kept = all ? nullptr : s_pool.m_slabs;
  for (Slab* s = kept ? kept->m_next : s_pool.m_slabs; s;) {
    Slab* next = s->m_next;
    ASAN_UNPOISON_MEMORY_REGION(s, kSlabBytes);
    free(s);
    s = next;
  }
  s_pool.m_slabs = kept;
  s_pool.m_carve = kept ? kept->m_blocks : nullptr;
  s_pool.m_left = kept ? kSlabBytes - kSlabHeader : 0;
  if (kept) {
    kept->m_next = nullptr;
    ASAN_POISON_MEMORY_REGION(s_pool.m_carve, s_pool.m_left);
  }
  memset(s_pool.m_free, 0, sizeof(s_pool.m_free));
}

void* carve(size_t c) {
  const size_t bytes = (c + 1) * kGrain;
  if (void* block = s_pool.m_free[c]) {
    ASAN_UNPOISON_MEMORY_REGION(block, bytes);
    memcpy(&s_pool.m_free[c], block, sizeof(void*));
    return block;
  }
  if (s_pool.m_left < bytes) {
    // The new slab's own memory is not counted by the failure hook: the block is (see
    // RegionPool_alloc), exactly once.
    Slab* slab = static_cast<Slab*>(malloc(kSlabBytes));
    if (!slab) return nullptr;
    slab->m_next = s_pool.m_slabs;
    s_pool.m_slabs = slab;
    s_pool.m_carve = slab->m_blocks;
    s_pool.m_left = kSlabBytes - kSlabHeader;
    ASAN_POISON_MEMORY_REGION(s_pool.m_carve, s_pool.m_left);
  }
  void* block = s_pool.m_carve;
  s_pool.m_carve += bytes;
  s_pool.m_left -= bytes;
  ASAN_UNPOISON_MEMORY_REGION(block, bytes);
  return block;
}

} // namespace

void* RegionPool_alloc(size_t size) {
  if (size > kLargest) return RegionMemory_alloc(size);
  void* block = nullptr;
  if (!s_pool.m_pooled) block = RegionMemory_alloc(size);
  else if (RegionMemory_admit(size)) block = carve(classOf(size));
  // Counted either way, so that the way can change only while no block is out.
  if (block) s_pool.m_inUse += 1;
  return block;
}

void* RegionPool_allocZeroed(size_t size) {
  void* block = RegionPool_alloc(size);
  if (block) memset(block, 0, size);
  return block;
}

void RegionPool_free(void* block, size_t size) {
  if (!block) return;
  if (size > kLargest) {
    RegionMemory_free(block);
    return;
  }
  s_pool.m_inUse -= 1;
  if (!s_pool.m_pooled) {
    RegionMemory_free(block);
    return;
  }
  const size_t c = classOf(size);
  memcpy(block, &s_pool.m_free[c], sizeof(void*));
  s_pool.m_free[c] = block;
  // Only the link stays readable, so that a use of a freed block is still caught.
  ASAN_POISON_MEMORY_REGION(static_cast<unsigned char*>(block) + sizeof(void*), (c + 1) * kGrain - sizeof(void*));
  if (s_pool.m_inUse == 0) releaseSlabs(false);
}

uint64_t RegionPool_blocksInUse() { return s_pool.m_inUse; }

int RegionPool_setPooled(int on) {
  if (s_pool.m_inUse != 0) return 0;
  releaseSlabs(true);
  s_pool.m_pooled = on ? 1 : 0;
  return 1;
}
