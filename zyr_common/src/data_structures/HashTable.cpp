#include "HashTable.h"

#include "HashPrimes.h"
#include "zyrAssert.h"
#include "zyrMemory.h"
#include "zyrTrace.h"

#include <climits>
#include <cstring>

// Entries are carved from blocks of growing size rather than allocated one by one; a removed
// entry goes to the free list and is reused first. Blocks are released with the table.
struct HashEntryBlock {
  HashEntryBlock *m_next;
  int32_t m_capacity;
  int32_t m_used;
};

namespace {

using namespace zyrHashPrimes;

const int32_t kFirstBlock = 16;
const int32_t kLargestBlock = 8192;

inline HashEntry *blockEntries(HashEntryBlock *block) { return reinterpret_cast<HashEntry *>(block + 1); }

// The string hash for a table whose bucket count is the prime at the given index.
inline uint32_t hashStringAt(const char *s, int32_t index) {
  const PrimeDivisors &d = divisorsAt(index);
  uint32_t h = 0;
  uint32_t a = 31415;
  for (; *s != '\0'; ++s) {
    const int32_t c = static_cast<signed char>(*s);
    const int32_t t = static_cast<int32_t>(a * h + static_cast<uint32_t>(c));
    h = wrappedMod(t, d.m_prime);
    a = wrappedMod(static_cast<int32_t>(a * 27183u), d.m_primeLessOne);
  }
  return h;
}

// The same hash for any other bucket count, by plain division. (Counts above 2^31 never reach a
// table; h is kept whole there so that the result stays within 0 to n-1.)
int64_t hashStringAny(const char *s, int64_t n) {
  if (n <= 1)
    return 0;
  const uint64_t m = static_cast<uint64_t>(n);
  uint64_t h = 0;
  uint32_t a = 31415;
  for (; *s != '\0'; ++s) {
    const int32_t c = static_cast<signed char>(*s);
    const int32_t t = static_cast<int32_t>(a * static_cast<uint32_t>(h) + static_cast<uint32_t>(c));
    h = static_cast<uint64_t>(static_cast<int64_t>(t)) % m;
    const int32_t ab = static_cast<int32_t>(a * 27183u);
    a = static_cast<uint32_t>(static_cast<uint64_t>(static_cast<int64_t>(ab)) % (m - 1));
  }
  return static_cast<int64_t>(h);
}

inline uint32_t low32(const void *key) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(key));
}

inline uint32_t bucketOf(const HashTable *table, const void *key) {
  if (table->m_hash == HashTable_hashString)
    return hashStringAt(static_cast<const char *>(key), table->m_sizeIndex);
  if (table->m_hash == HashTable_hashInteger) {
    const Divisor &d = divisorsAt(table->m_sizeIndex).m_prime;
    return fastmod(low32(key), d.m_reciprocal, d.m_d);
  }
  const int64_t bucket = table->m_hash(key, table->m_n);
  zyrAssert(bucket >= 0 && bucket < table->m_n);
  return static_cast<uint32_t>(bucket);
}

inline bool sameString(const void *stored, const void *key) {
  const char *s = static_cast<const char *>(stored);
  const char *k = static_cast<const char *>(key);
  return s[0] == k[0] && std::strcmp(s, k) == 0;
}

// The first entry of the chain matching the key, with its predecessor (NULL at the head).
template <class Same>
inline HashEntry *walkChain(HashEntry *head, const void *key, HashEntry **previous, Same same) {
  HashEntry *before = nullptr;
  for (HashEntry *e = head; e != nullptr; before = e, e = e->m_next)
    if (same(e->m_key, key)) {
      *previous = before;
      return e;
    }
  return nullptr;
}

void setSize(HashTable *table, int32_t index) {
  table->m_sizeIndex = index;
  table->m_n = kPrimes[index];
  table->m_shrinkThreshold = table->m_n / 2;
  const int64_t grow = 3 * static_cast<int64_t>(table->m_n);
  table->m_growThreshold = grow > INT32_MAX ? INT32_MAX : static_cast<int32_t>(grow);
}

} // namespace

// Finds the entry of a key: its bucket and its predecessor in the chain.
static HashEntry *HashTable_findEntry(const HashTable *table, const void *key, uint32_t *bucket,
                                      HashEntry **previous) {
  *bucket = bucketOf(table, key);
  HashEntry *head = table->m_buckets[*bucket];
  *previous = nullptr;
  if (table->m_compare == HashTable_compareStrings)
    return walkChain(head, key, previous, sameString);
  if (table->m_compare == HashTable_compareIntegers)
    return walkChain(head, key, previous, [](const void *s, const void *k) { return s == k; });
  HashTable_CompareFunction compare = table->m_compare;
  return walkChain(head, key, previous, [compare](const void *s, const void *k) { return compare(s, k) != 0; });
}

static HashEntry *HashTable_newHashEntry(HashTable *table, const void *key, void *value) {
  HashEntry *entry = table->m_buckets[table->m_n];
  if (entry != nullptr) {
    table->m_buckets[table->m_n] = entry->m_next;
  } else {
    HashEntryBlock *block = table->m_blocks;
    if (block == nullptr || block->m_used == block->m_capacity) {
      int32_t capacity = block == nullptr ? kFirstBlock : block->m_capacity * 2;
      if (capacity > kLargestBlock)
        capacity = kLargestBlock;
      HashEntryBlock *fresh = static_cast<HashEntryBlock *>(zyrMemory_allocate(
          static_cast<int64_t>(sizeof(HashEntryBlock) + sizeof(HashEntry) * static_cast<size_t>(capacity)), __func__));
      fresh->m_next = block;
      fresh->m_capacity = capacity;
      fresh->m_used = 0;
      table->m_blocks = block = fresh;
    }
    entry = blockEntries(block) + block->m_used++;
  }
  entry->m_key = const_cast<void *>(key);
  entry->m_value = value;
  return entry;
}

static inline void HashTable_insertEntry(HashTable *table, HashEntry *entry, uint32_t bucket) {
  entry->m_next = table->m_buckets[bucket];
  table->m_buckets[bucket] = entry;
  ++table->m_count;
}

static inline void HashTable_freeEntry(HashTable *table, HashEntry *entry) {
  entry->m_next = table->m_buckets[table->m_n];
  table->m_buckets[table->m_n] = entry;
}

static void HashTable_resize(HashTable *table, int step) {
  ZYR_TRACE_BEGIN_DESC("Increase or decrease the size of a hash table.");
  int32_t index = table->m_sizeIndex + step;
  if (index < 0) {
    if (ZYR_TRACE_DEBUG(1))
      zyrTrace_printf("No action already minimum size (%d entries).\n", kPrimes[0]);
    return;
  }
  if (index > kLargestIndex) {
    if (ZYR_TRACE_DEBUG(1))
      zyrTrace_printf("No action already maximum size (%d entries).\n", kPrimes[kLargestIndex]);
    table->m_sizeIndex = kLargestIndex;
    return;
  }
  HashEntry **old = table->m_buckets;
  const int32_t oldN = table->m_n;
  setSize(table, index);
  table->m_count = 0;
  if (ZYR_TRACE_DEBUG(1))
    zyrTrace_printf("Resizing hash table %p from %d to %d.\n", static_cast<void *>(table), oldN, table->m_n);

  table->m_buckets = zyrMemory_allocateZeroedArray<HashEntry *>(static_cast<int64_t>(table->m_n) + 1, __func__);
  for (int32_t b = 0; b < oldN; ++b) {
    HashEntry *e = old[b];
    while (e != nullptr) {
      HashEntry *next = e->m_next;
      HashTable_insertEntry(table, e, bucketOf(table, e->m_key));
      e = next;
    }
  }
  table->m_buckets[table->m_n] = old[oldN];
  zyrMemory_free(old, __func__);
}

HashTable *HashTable_new(int32_t sizeHint, HashTable_HashFunction hash, HashTable_CompareFunction compare) {
  HashTable *table = zyrMemory_allocateArray<HashTable>(1, __func__);
  setSize(table, indexForHint(sizeHint));
  table->m_hash = hash != nullptr ? hash : HashTable_hashString;
  table->m_compare = compare != nullptr ? compare : HashTable_compareStrings;
  table->m_count = 0;
  table->m_blocks = nullptr;
  table->m_buckets = zyrMemory_allocateZeroedArray<HashEntry *>(static_cast<int64_t>(table->m_n) + 1, __func__);
  return table;
}

void HashTable_delete(HashTable *table) {
  if (table == nullptr)
    return;
  for (HashEntryBlock *block = table->m_blocks; block != nullptr;) {
    HashEntryBlock *next = block->m_next;
    zyrMemory_free(block, __func__);
    block = next;
  }
  zyrMemory_free(table->m_buckets, __func__);
  zyrMemory_free(table, __func__);
}

void HashTable_print(const HashTable *table, FILE *stream) {
  std::fprintf(stream, "HashTable (%p)\n", static_cast<const void *>(table));
  std::fprintf(stream, "m_n               = %d\n", table->m_n);
  std::fprintf(stream, "m_sizeIndex       = %d\n", table->m_sizeIndex);
  std::fprintf(stream, "m_count           = %d\n", table->m_count);
  std::fprintf(stream, "m_shrinkThreshold = %d\n", table->m_shrinkThreshold);
  std::fprintf(stream, "m_growThreshold   = %d\n", table->m_growThreshold);
  HashTable_printStatistics(table, stream);
}

int32_t HashTable_insert(HashTable *table, const void *key, void *value) {
  if (table->m_count > table->m_growThreshold && table->m_sizeIndex != kLargestIndex)
    HashTable_resize(table, +1);
  const uint32_t bucket = bucketOf(table, key);
  HashTable_insertEntry(table, HashTable_newHashEntry(table, key, value), bucket);
  return table->m_count;
}

int HashTable_removeKeyAndValue(HashTable *table, const void *key, void **storedKey, void **value) {
  if (table->m_count < table->m_shrinkThreshold && table->m_sizeIndex != 0)
    HashTable_resize(table, -1);
  uint32_t bucket;
  HashEntry *previous;
  HashEntry *entry = HashTable_findEntry(table, key, &bucket, &previous);
  if (entry == nullptr)
    return 0;
  if (previous != nullptr)
    previous->m_next = entry->m_next;
  else
    table->m_buckets[bucket] = entry->m_next;
  if (storedKey != nullptr)
    *storedKey = entry->m_key;
  if (value != nullptr)
    *value = entry->m_value;
  HashTable_freeEntry(table, entry);
  --table->m_count;
  return 1;
}

int HashTable_remove(HashTable *table, const void *key) {
  return HashTable_removeKeyAndValue(table, key, nullptr, nullptr);
}

void *HashTable_find(const HashTable *table, const void *key) {
  uint32_t bucket;
  HashEntry *previous;
  HashEntry *entry = HashTable_findEntry(table, key, &bucket, &previous);
  return entry != nullptr ? entry->m_value : nullptr;
}

int HashTable_findKeyAndValue(const HashTable *table, const void *key, void **storedKey, void **value) {
  uint32_t bucket;
  HashEntry *previous;
  HashEntry *entry = HashTable_findEntry(table, key, &bucket, &previous);
  if (entry == nullptr)
    return 0;
  *storedKey = entry->m_key;
  *value = entry->m_value;
  return 1;
}

int32_t HashTable_getNoOfEntries(const HashTable *table) { return table->m_count; }

void HashTable_printStatistics(const HashTable *table, FILE *stream) {
  int32_t shortest = 2147483647;
  int32_t longest = 0;
  for (int32_t b = 0; b < table->m_n; ++b) {
    int32_t length = 0;
    for (const HashEntry *e = table->m_buckets[b]; e != nullptr; e = e->m_next)
      ++length;
    if (length < shortest)
      shortest = length;
    if (length > longest)
      longest = length;
  }
  int32_t free = 0;
  for (const HashEntry *e = table->m_buckets[table->m_n]; e != nullptr; e = e->m_next)
    ++free;
  std::fprintf(stream, "Min. no of items in a list = %d\n", shortest);
  std::fprintf(stream, "Max. no of items in a list = %d\n", longest);
  std::fprintf(stream, "No of items in free list   = %d\n", free);
}

int64_t HashTable_hashString(const void *key, int64_t n) {
  const int32_t index = indexOf(n);
  if (index >= 0)
    return hashStringAt(static_cast<const char *>(key), index);
  return hashStringAny(static_cast<const char *>(key), n);
}

int HashTable_compareStrings(const void *storedKey, const void *key) {
  return std::strcmp(static_cast<const char *>(storedKey), static_cast<const char *>(key)) == 0 ? 1 : 0;
}

int64_t HashTable_hashInteger(const void *key, int64_t n) {
  const int32_t index = indexOf(n);
  if (index >= 0) {
    const Divisor &d = divisorsAt(index).m_prime;
    return fastmod(low32(key), d.m_reciprocal, d.m_d);
  }
  return n > 0 ? static_cast<int64_t>(low32(key) % static_cast<uint64_t>(n)) : 0;
}

int HashTable_compareIntegers(const void *storedKey, const void *key) { return storedKey == key ? 1 : 0; }

HashTableIterator *HashTableIterator_new(const HashTable *table) {
  HashTableIterator *iterator = zyrMemory_allocateArray<HashTableIterator>(1, __func__);
  iterator->m_pair = Pair_new();
  iterator->m_table = table;
  iterator->m_current = nullptr;
  iterator->m_index = 0;
  return iterator;
}

void HashTableIterator_delete(HashTableIterator *iterator) {
  if (iterator == nullptr)
    return;
  Pair_delete(iterator->m_pair);
  zyrMemory_free(iterator, __func__);
}

namespace {

// Moves to the head of the first non-empty bucket from the given one on; NULL past the end.
Pair *settleFrom(HashTableIterator *iterator, int32_t from) {
  const HashTable *table = iterator->m_table;
  for (int32_t b = from; b < table->m_n; ++b)
    if (table->m_buckets[b] != nullptr) {
      iterator->m_index = b;
      iterator->m_current = table->m_buckets[b];
      Pair_set(iterator->m_pair, iterator->m_current->m_key, iterator->m_current->m_value);
      return iterator->m_pair;
    }
  iterator->m_current = nullptr;
  iterator->m_index = 0;
  return nullptr;
}

} // namespace

Pair *HashTableIterator_first(HashTableIterator *iterator) {
  if (iterator->m_table->m_count < 1) {
    iterator->m_current = nullptr;
    iterator->m_index = 0;
    return nullptr;
  }
  return settleFrom(iterator, 0);
}

Pair *HashTableIterator_next(HashTableIterator *iterator) {
  HashEntry *current = iterator->m_current;
  if (current == nullptr)
    return nullptr;
  if (current->m_next != nullptr) {
    iterator->m_current = current->m_next;
    Pair_set(iterator->m_pair, iterator->m_current->m_key, iterator->m_current->m_value);
    return iterator->m_pair;
  }
  return settleFrom(iterator, iterator->m_index + 1);
}
