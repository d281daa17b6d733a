#ifndef ZYR_HASHTABLE_H
#define ZYR_HASHTABLE_H
// The chained hash table from pointer-sized keys to pointer-sized values, with the hash and key
// comparison chosen by the creator (strings by default; HashTable_hashInteger with
// HashTable_compareIntegers for keys that are object pointers or integers). The table never
// copies, owns or frees a key or a value.
//
// The bucket count is always one of a fixed list of primes. The table grows one step along that
// list when it holds more than three entries per bucket and shrinks one step below one entry per
// two buckets, each tested before the insertion or removal. Removed entries are kept on a free
// list and reused. Iteration runs through the buckets in ascending order, each chain from its
// head (the most recently linked entry first); a resize re-links the entries of each old chain at
// the heads of the new chains, which reverses entries of one old chain that meet again.
#include "Pair.h"

#include <cstdint>
#include <cstdio>

// Bucket of a key for a table of n buckets, 0 to n-1.
typedef int64_t (*HashTable_HashFunction)(const void *key, int64_t n);
// Non-zero when the stored key equals the searched key.
typedef int (*HashTable_CompareFunction)(const void *storedKey, const void *key);

struct HashEntry {
  void *m_key;
  void *m_value;
  HashEntry *m_next;
};

struct HashEntryBlock;
struct HashTableSlot;
struct HashTableIntegerSlot;

struct HashTable {
  HashEntry **m_buckets; // n + 1 heads: the chains, then the free list
  int32_t m_n;
  int32_t m_sizeIndex;
  HashTable_HashFunction m_hash;
  HashTable_CompareFunction m_compare;
  int32_t m_count;
  int32_t m_shrinkThreshold;
  int32_t m_growThreshold;
  HashEntryBlock *m_blocks; // storage the entries are carved from, released with the table
  // Tables of string keys: a look-up index by the entries' check words beside the chains, so that
  // a find needs no bucket hash; NULL when it could not be had (the chains still answer).
  HashTableSlot *m_index;
  int32_t m_indexShift; // 32 - log2 of the slot count
  int32_t m_indexUsed;
  // Large tables of integer keys: a look-up index by key beside the chains, so that a find
  // reads one slot and its entry; NULL until the table holds many entries, or when it could not
  // be had (the chains still answer).
  HashTableIntegerSlot *m_integers;
  int32_t m_integerShift; // 64 - log2 of the slot count
  int32_t m_integersUsed;
};

struct HashTableIterator {
  Pair *m_pair;
  const HashTable *m_table;
  HashEntry *m_current;
  int32_t m_index;
};

// sizeHint below 134217689; larger hints are taken as that size. NULL functions mean string keys.
HashTable *HashTable_new(int32_t sizeHint, HashTable_HashFunction hash, HashTable_CompareFunction compare);
void HashTable_delete(HashTable *table);
void HashTable_print(const HashTable *table, FILE *stream);

// Adds an entry (a key already present gets a second entry in front of the first); returns the
// new count.
int32_t HashTable_insert(HashTable *table, const void *key, void *value);
// 1 when the first matching entry was removed, 0 when the key is absent.
int HashTable_remove(HashTable *table, const void *key);
// As HashTable_remove, also handing back the stored key and value of the entry removed (when
// the pointers are not NULL), so that a caller owning its keys frees exactly that key.
int HashTable_removeKeyAndValue(HashTable *table, const void *key, void **storedKey, void **value);
void *HashTable_find(const HashTable *table, const void *key);
int HashTable_findKeyAndValue(const HashTable *table, const void *key, void **storedKey, void **value);
int32_t HashTable_getNoOfEntries(const HashTable *table);
void HashTable_printStatistics(const HashTable *table, FILE *stream);

int64_t HashTable_hashString(const void *key, int64_t n);
int HashTable_compareStrings(const void *storedKey, const void *key);
int64_t HashTable_hashInteger(const void *key, int64_t n);
int HashTable_compareIntegers(const void *storedKey, const void *key);

HashTableIterator *HashTableIterator_new(const HashTable *table);
void HashTableIterator_delete(HashTableIterator *iterator);
// The iterator's own pair (key, value), refilled at every step; NULL at the end.
Pair *HashTableIterator_first(HashTableIterator *iterator);
Pair *HashTableIterator_next(HashTableIterator *iterator);

#endif
