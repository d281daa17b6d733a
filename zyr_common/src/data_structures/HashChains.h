#ifndef ZYR_HASHCHAINS_H
#define ZYR_HASHCHAINS_H
// The chained-bucket core that HashSet and HashTable share: sizes from the prime table, entries
// taken from the free list or carved from blocks, linking an entry at the head of its chain,
// growth before an insert and the rehash of a resize. A container has m_buckets (m_n chains,
// then the free list), m_n, m_sizeIndex, m_count, the two thresholds and m_blocks; its entries
// have m_next. The containers keep their own block layout, hashing and tracing (the trace names
// the container's own function).
#include "HashPrimes.h"
#include "zyrMemory.h"
#include "zyrTrace.h"

#include <climits>
#include <cstdint>
#include <type_traits>

namespace zyrHashChains {

template <class Container> void setSize(Container *c, int32_t index) {
  c->m_sizeIndex = index;
  c->m_n = zyrHashPrimes::kPrimes[index];
  c->m_shrinkThreshold = c->m_n / 2;
  const int64_t grow = 3 * static_cast<int64_t>(c->m_n);
  c->m_growThreshold = grow > INT32_MAX ? INT32_MAX : static_cast<int32_t>(grow);
}

template <class Container, class Entry> inline void linkAtHead(Container *c, Entry *entry, uint32_t bucket) {
  entry->m_next = c->m_buckets[bucket];
  c->m_buckets[bucket] = entry;
  ++c->m_count;
}

// Entries are carved from blocks of growing size (16 entries, doubling up to 8192); a removed
// entry goes to the free list (the chain after the last bucket) and is reused first. The block
// type has m_next, m_capacity and m_used; newBlock(capacity) allocates one with room for
// capacity entries, and entryAt(block, index) gives its index-th entry.
template <class Container, class NewBlock, class EntryAt>
auto takeEntry(Container *c, NewBlock newBlock, EntryAt entryAt) {
  auto *entry = c->m_buckets[c->m_n];
  if (entry != nullptr) {
    c->m_buckets[c->m_n] = entry->m_next;
    return entry;
  }
  auto *block = c->m_blocks;
  if (block == nullptr || block->m_used == block->m_capacity) {
    int32_t capacity = block == nullptr ? 16 : block->m_capacity * 2;
    if (capacity > 8192)
      capacity = 8192;
    auto *fresh = newBlock(capacity);
    fresh->m_next = block;
    fresh->m_capacity = capacity;
    fresh->m_used = 0;
    c->m_blocks = block = fresh;
  }
  return entryAt(block, block->m_used++);
}

// Whether an insert must first grow the container.
template <class Container> inline bool full(const Container *c) {
  return c->m_count > c->m_growThreshold && c->m_sizeIndex != zyrHashPrimes::kLargestIndex;
}

// Moves every chain to a table one size step up or down (kind names the container in the trace).
// At either end of the prime table nothing moves. bucketOf(container, entry) is the entry's
// bucket at the new size.
template <class Container, class BucketOf>
void resize(Container *c, int step, bool traced, const char *kind, BucketOf bucketOf, const char *tag) {
  using Entry = std::remove_pointer_t<std::remove_pointer_t<decltype(c->m_buckets)>>;
  const int32_t index = c->m_sizeIndex + step;
  if (index < 0) {
    if (traced)
      zyrTrace_printf("No action already minimum size (%d entries).\n", zyrHashPrimes::kPrimes[0]);
    return;
  }
  if (index > zyrHashPrimes::kLargestIndex) {
    if (traced)
      zyrTrace_printf("No action already maximum size (%d entries).\n",
                      zyrHashPrimes::kPrimes[zyrHashPrimes::kLargestIndex]);
    c->m_sizeIndex = zyrHashPrimes::kLargestIndex;
    return;
  }
  Entry **old = c->m_buckets;
  const int32_t oldN = c->m_n;
  setSize(c, index);
  c->m_count = 0;
  if (traced)
    zyrTrace_printf("Resizing %s %p from %d to %d.\n", kind, static_cast<void *>(c), oldN, c->m_n);

  c->m_buckets = zyrMemory_allocateZeroedArray<Entry *>(static_cast<int64_t>(c->m_n) + 1, tag);
  for (int32_t b = 0; b < oldN; ++b) {
    Entry *e = old[b];
    while (e != nullptr) {
      Entry *next = e->m_next;
      linkAtHead(c, e, bucketOf(c, e));
      e = next;
    }
  }
  c->m_buckets[c->m_n] = old[oldN];
  zyrMemory_free(old, tag);
}

} // namespace zyrHashChains

#endif
