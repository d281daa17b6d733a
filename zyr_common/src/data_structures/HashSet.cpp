#include "HashSet.h"

#include "HashChains.h"

// Entries are carved from blocks of growing size; removed entries go to the free list and are
// reused first. Blocks are released with the set.
struct HashSetBlock {
  HashSetBlock *m_next;
  int32_t m_capacity;
  int32_t m_used;
};

namespace {

using namespace zyrHashPrimes;
using zyrHashChains::linkAtHead;
using zyrHashChains::setSize;

inline HashSetEntry *blockEntries(HashSetBlock *block) { return reinterpret_cast<HashSetEntry *>(block + 1); }

inline uint32_t bucketOf(const HashSet *set, const void *item) {
  const Divisor &d = divisorsAt(set->m_sizeIndex).m_prime;
  return fastmod(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(item)), d.m_reciprocal, d.m_d);
}

HashSet *newEmpty(int32_t index, const char *tag) {
  HashSet *set = zyrMemory_allocateArray<HashSet>(1, tag);
  setSize(set, index);
  set->m_count = 0;
  set->m_blocks = nullptr;
  set->m_buckets = zyrMemory_allocateZeroedArray<HashSetEntry *>(static_cast<int64_t>(set->m_n) + 1, tag);
  return set;
}

} // namespace

static HashSetEntry *HashSet_newHashEntry(HashSet *set, void *item) {
  const char *tag = __func__;
  HashSetEntry *entry = zyrHashChains::takeEntry(
      set,
      [tag](int32_t capacity) {
        return static_cast<HashSetBlock *>(zyrMemory_allocate(
            static_cast<int64_t>(sizeof(HashSetBlock) + sizeof(HashSetEntry) * static_cast<size_t>(capacity)),
            tag));
      },
      [](HashSetBlock *block, int32_t index) { return blockEntries(block) + index; });
  entry->m_item = item;
  return entry;
}

static void HashSet_resize(HashSet *set, int step) {
  ZYR_TRACE_BEGIN_DESC("Increase or decrease the size of a hash set.");
  zyrHashChains::resize(set, step, ZYR_TRACE_DEBUG(1), "hash set",
                        [](const HashSet *s, const HashSetEntry *e) { return bucketOf(s, e->m_item); }, __func__);
}

HashSet *HashSet_new(int32_t sizeHint) { return newEmpty(indexForHint(sizeHint), __func__); }

HashSet *HashSet_newCopy(const HashSet *set) {
  HashSet *copy = newEmpty(set->m_sizeIndex, __func__);
  for (int32_t b = 0; b < set->m_n; ++b) {
    HashSetEntry **link = &copy->m_buckets[b];
    for (const HashSetEntry *e = set->m_buckets[b]; e != nullptr; e = e->m_next) {
      HashSetEntry *entry = HashSet_newHashEntry(copy, e->m_item);
      entry->m_next = nullptr;
      *link = entry;
      link = &entry->m_next;
    }
  }
  copy->m_count = set->m_count;
  return copy;
}

HashSet *HashSet_newFromArray(int32_t n, void *const *array) {
  if (n < 1 || array == nullptr)
    return newEmpty(indexForHint(n < 1 ? 5 : n), __func__);
  HashSet *set = newEmpty(indexForHint(n), __func__);
  for (int32_t i = 0; i < n; ++i)
    HashSet_add(set, array[i]);
  return set;
}

void HashSet_delete(HashSet *set) {
  if (set == nullptr)
    return;
  for (HashSetBlock *block = set->m_blocks; block != nullptr;) {
    HashSetBlock *next = block->m_next;
    zyrMemory_free(block, __func__);
    block = next;
  }
  zyrMemory_free(set->m_buckets, __func__);
  zyrMemory_free(set, __func__);
}

void HashSet_print(const HashSet *set, FILE *stream) {
  std::fprintf(stream, "HashSet (%p)\n", static_cast<const void *>(set));
  std::fprintf(stream, "m_n               = %d\n", set->m_n);
  std::fprintf(stream, "m_sizeIndex       = %d\n", set->m_sizeIndex);
  std::fprintf(stream, "m_count           = %d\n", set->m_count);
  std::fprintf(stream, "m_shrinkThreshold = %d\n", set->m_shrinkThreshold);
  std::fprintf(stream, "m_growThreshold   = %d\n", set->m_growThreshold);
  HashSet_printStatistics(set, stream);
}

int32_t HashSet_getNoOfMembers(const HashSet *set) { return set->m_count; }

int32_t HashSet_add(HashSet *set, void *item) {
  if (zyrHashChains::full(set))
    HashSet_resize(set, +1);
  linkAtHead(set, HashSet_newHashEntry(set, item), bucketOf(set, item));
  return set->m_count;
}

int HashSet_addSet(HashSet *set, HashSet *other) {
  // A set added to itself would be walked while it grows and then emptied; it already holds
  // every member. Members the two sets share are not added a second time.
  if (other == set)
    return 1;
  for (int32_t b = 0; b < other->m_n; ++b)
    for (const HashSetEntry *e = other->m_buckets[b]; e != nullptr; e = e->m_next)
      if (!HashSet_contains(set, e->m_item))
        HashSet_add(set, e->m_item);
  HashSet_clear(other);
  return 1;
}

int HashSet_remove(HashSet *set, const void *item) {
  if (set->m_count < set->m_shrinkThreshold && set->m_sizeIndex != 0)
    HashSet_resize(set, -1);
  const uint32_t bucket = bucketOf(set, item);
  HashSetEntry *previous = nullptr;
  for (HashSetEntry *e = set->m_buckets[bucket]; e != nullptr; previous = e, e = e->m_next)
    if (e->m_item == item) {
      if (previous != nullptr)
        previous->m_next = e->m_next;
      else
        set->m_buckets[bucket] = e->m_next;
      e->m_next = set->m_buckets[set->m_n];
      set->m_buckets[set->m_n] = e;
      --set->m_count;
      return 1;
    }
  return 0;
}

int HashSet_clear(HashSet *set) {
  HashSetEntry **freeList = &set->m_buckets[set->m_n];
  for (int32_t b = 0; b < set->m_n; ++b) {
    HashSetEntry *e = set->m_buckets[b];
    while (e != nullptr) {
      HashSetEntry *next = e->m_next;
      e->m_next = *freeList;
      *freeList = e;
      e = next;
    }
    set->m_buckets[b] = nullptr;
  }
  set->m_count = 0;
  return 1;
}

int HashSet_contains(const HashSet *set, const void *item) {
  for (const HashSetEntry *e = set->m_buckets[bucketOf(set, item)]; e != nullptr; e = e->m_next)
    if (e->m_item == item)
      return 1;
  return 0;
}

int32_t HashSet_toArray(const HashSet *set, void ***array) {
  if (set->m_count < 1) {
    *array = nullptr;
    return 0;
  }
  void **out = zyrMemory_allocateArray<void *>(set->m_count, __func__);
  int32_t at = 0;
  for (int32_t b = 0; b < set->m_n; ++b)
    for (const HashSetEntry *e = set->m_buckets[b]; e != nullptr; e = e->m_next)
      out[at++] = e->m_item;
  *array = out;
  return at;
}

void HashSet_printStatistics(const HashSet *set, FILE *stream) {
  int32_t shortest = 2147483647;
  int32_t longest = 0;
  for (int32_t b = 0; b < set->m_n; ++b) {
    int32_t length = 0;
    for (const HashSetEntry *e = set->m_buckets[b]; e != nullptr; e = e->m_next)
      ++length;
    if (length < shortest)
      shortest = length;
    if (length > longest)
      longest = length;
  }
  int32_t free = 0;
  for (const HashSetEntry *e = set->m_buckets[set->m_n]; e != nullptr; e = e->m_next)
    ++free;
  std::fprintf(stream, "Min. no of items in a list = %d\n", shortest);
  std::fprintf(stream, "Max. no of items in a list = %d\n", longest);
  std::fprintf(stream, "No of items in free list   = %d\n", free);
}

HashSetIterator *HashSetIterator_new(const HashSet *set) {
  HashSetIterator *iterator = zyrMemory_allocateArray<HashSetIterator>(1, __func__);
  iterator->m_set = set;
  iterator->m_current = nullptr;
  iterator->m_index = 0;
  return iterator;
}

void HashSetIterator_delete(HashSetIterator *iterator) { zyrMemory_free(iterator, __func__); }

namespace {

void *settleFrom(HashSetIterator *iterator, int32_t from) {
  const HashSet *set = iterator->m_set;
  for (int32_t b = from; b < set->m_n; ++b)
    if (set->m_buckets[b] != nullptr) {
      iterator->m_index = b;
      iterator->m_current = set->m_buckets[b];
      return iterator->m_current->m_item;
    }
  iterator->m_current = nullptr;
  iterator->m_index = 0;
  return nullptr;
}

} // namespace

void *HashSetIterator_first(HashSetIterator *iterator) {
  if (iterator->m_set->m_count < 1) {
    iterator->m_current = nullptr;
    iterator->m_index = 0;
    return nullptr;
  }
  return settleFrom(iterator, 0);
}

void *HashSetIterator_next(HashSetIterator *iterator) {
  HashSetEntry *current = iterator->m_current;
  if (current == nullptr)
    return nullptr;
  if (current->m_next != nullptr) {
    iterator->m_current = current->m_next;
    return iterator->m_current->m_item;
  }
  return settleFrom(iterator, iterator->m_index + 1);
}
