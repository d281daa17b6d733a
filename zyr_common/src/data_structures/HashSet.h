#ifndef ZYR_HASHSET_H
#define ZYR_HASHSET_H
// A set of pointers for large memberships, laid out and sized like HashTable: n + 1 bucket heads
// (the last heads the free list), a prime bucket count that grows one step above three members
// per bucket and shrinks one step below one per two buckets. A member's bucket is the low 32 bits
// of its pointer, read as unsigned, modulo n; members compare by pointer equality.
//
// HashSet_add does not test membership (a pointer added twice is held twice); callers that may
// meet a member again test HashSet_contains first. The set never frees its members.
#include <cstdint>
#include <cstdio>

struct HashSetEntry {
  void *m_item;
  HashSetEntry *m_next;
};

struct HashSetBlock;

struct HashSet {
  HashSetEntry **m_buckets;
  int32_t m_n;
  int32_t m_sizeIndex;
  int32_t m_count;
  int32_t m_shrinkThreshold;
  int32_t m_growThreshold;
  HashSetBlock *m_blocks; // storage the entries are carved from, released with the set
};

struct HashSetIterator {
  const HashSet *m_set;
  HashSetEntry *m_current;
  int32_t m_index;
};

HashSet *HashSet_new(int32_t sizeHint);
// Same bucket count, same chains in the same order, empty free list.
HashSet *HashSet_newCopy(const HashSet *set);
// Size hint n (5 when n < 1), every item added in order.
HashSet *HashSet_newFromArray(int32_t n, void *const *array);
void HashSet_delete(HashSet *set);
void HashSet_print(const HashSet *set, FILE *stream);

int32_t HashSet_getNoOfMembers(const HashSet *set);
// Links the item at the head of its bucket; returns the new count.
int32_t HashSet_add(HashSet *set, void *item);
// Moves the members of other that are not yet members into set, then clears other. Adding a set
// to itself changes nothing.
int HashSet_addSet(HashSet *set, HashSet *other);
int HashSet_remove(HashSet *set, const void *item);
int HashSet_clear(HashSet *set);
int HashSet_contains(const HashSet *set, const void *item);
// Number of members, with a new array of them in bucket order (NULL when empty).
int32_t HashSet_toArray(const HashSet *set, void ***array);
void HashSet_printStatistics(const HashSet *set, FILE *stream);

HashSetIterator *HashSetIterator_new(const HashSet *set);
void HashSetIterator_delete(HashSetIterator *iterator);
// The member itself; NULL at the end.
void *HashSetIterator_first(HashSetIterator *iterator);
void *HashSetIterator_next(HashSetIterator *iterator);

#endif
