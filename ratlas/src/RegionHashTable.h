// Fixed-size chained hash table of the region-atlas library (name records, dictionary entries,
// resolution-cache entries). Chains are kept in ascending order of the compare function so that
// a miss ends early, and the last successful search is remembered so that repeated searches for
// one key cost one comparison. The table owns its nodes, never the entries.
#ifndef REGION_HASH_TABLE_H
#define REGION_HASH_TABLE_H

#include "RegionStatus.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>

// (bucket count, key) -> bucket index; folded into the table when it strays outside.
typedef uint64_t (*RegionHashFunction)(uint64_t size, const void* key);
// (a, b) -> negative, 0 or positive; entries and keys are the same kind of value.
typedef int (*RegionCompareFunction)(const void* a, const void* b);
// Called with the address of a node's entry field; clearing the field deletes the node. A callback
// must not insert into or remove from the table it is called for.
typedef RegionStatus* (*RegionHashTableCallback)(void** entry, void* context);

struct RegionHashNode {
  void* m_entry;
  RegionHashNode* m_next;
  RegionHashNode* m_previous;
};

// A key of an entry (or of a search key) for the table's look-up index; see RegionHashTable_setKey.
typedef uint64_t (*RegionKeyFunction)(const void* entry);

struct RegionHashIndexSlot {
  uint64_t m_key;
  RegionHashNode* m_node;  // NULL for an empty slot
  void* m_entry;           // the node's entry, so that a search need not read the node
};

struct RegionHashTable {
  RegionHashNode** m_buckets;  // m_size chain heads, m_size chain tails, then (id tables) the tails' ids: one block
  uint64_t m_count;
  uint64_t m_size;
  uint64_t m_lastBucket;
  RegionHashNode* m_lastNode;
  RegionHashFunction m_hash;
  RegionCompareFunction m_compare;
  // Look-up index beside the chains, for tables that have a key function: an open addressing
  // array of (key, node), so that a search reads one slot and its node instead of walking a
  // chain. The chains stay as they are and alone decide every order the table shows.
  RegionKeyFunction m_key;
  int m_exactKeys;  // 1 when equal keys mean equal entries (no compare needed)
  RegionHashIndexSlot* m_index;
  uint64_t m_indexSize;  // a power of two, or 0 for none (also after running out of memory)
  // Nodes are carved from blocks of the table's own (a list through their first words) and go
  // back to the free list when their entries leave; the blocks are freed with the table.
  RegionHashNode* m_freeNodes;
  void* m_nodeBlocks;
  uint64_t m_nodesInBlocks;
  uint64_t m_sizeReciprocal;  // UINT64_MAX / m_size, for RegionRemainder
};

// n % d given m = UINT64_MAX / d: the quotient the multiplication gives is short by at most two,
// which the subtractions make good. A division costs tens of cycles; this a few.
inline uint64_t RegionRemainder(uint64_t n, uint64_t d, uint64_t m) {
  uint64_t r = n - static_cast<uint64_t>((static_cast<unsigned __int128>(n) * m) >> 64) * d;
  while (r >= d) r -= d;
  return r;
}

RegionStatus* RegionHashTable_new(RegionHashTable** table, uint64_t size, RegionHashFunction hash,
                                  RegionCompareFunction compare);
RegionStatus* RegionHashTable_delete(RegionHashTable** table);
RegionStatus* RegionHashTable_insert(RegionHashTable* table, void* entry);
// Inserts count entries as RegionHashTable_insert does one by one, the look-up index made for
// all of them at once. An entry the table holds already (the very entry) is passed over; one
// equal to another entry fails with RS_INTERNAL "Found duplicate" and the table is left as it
// was. *added (may be NULL): the entries added.
RegionStatus* RegionHashTable_insertAll(RegionHashTable* table, void* const* entries, uint64_t count, uint64_t* added);
// Takes every entry out (the entries are not touched).
void RegionHashTable_clear(RegionHashTable* table);
void* RegionHashTable_find(RegionHashTable* table, const void* key, RegionStatus** status);
RegionStatus* RegionHashTable_remove(RegionHashTable* table, const void* key);
uint64_t RegionHashTable_count(const RegionHashTable* table, RegionStatus** status);
RegionStatus* RegionHashTable_iterate(RegionHashTable* table, RegionHashTableCallback callback, void* context);
// A new block of count elements of elementSize bytes (at least a pointer), each starting with the
// address of one entry's field in its node; NULL and count 0 for an empty table. An entry put
// in through such an address must have the key of the one it replaces (the index and, in id
// tables, the id kept for each chain's last entry are not told).
void* RegionHashTable_collect(RegionHashTable* table, size_t elementSize, uint64_t* count, RegionStatus** status);
// Lists the entries taken as name records.
void RegionHashTable_print(const RegionHashTable* table, FILE* stream);
void RegionHashTable_printStatistics(const RegionHashTable* table, FILE* stream);

// A hint that the entry of this id will be searched soon: its index slot is read and the entry
// fetched into the cache. Does nothing for tables without an id index.
void RegionHashTable_prefetchId(const RegionHashTable* table, uint64_t id);

// Gives the table a look-up index keyed by `key` (exact: equal keys are equal entries), or none
// for NULL. Id tables (RegionHashTable_hashId with RegionHashTable_compareIds) get one by
// themselves.
void RegionHashTable_setKey(RegionHashTable* table, RegionKeyFunction key, int exact);
// Index keys: the leading 64-bit id (exact), and a hash of a NUL-terminated text.
uint64_t RegionHashTable_idKey(const void* entry);
uint64_t RegionHashTable_textKey(const void* text);
// The same, also giving the text's length.
uint64_t RegionHashTable_textKeyAndLength(const void* text, size_t* length);

// The pair for records that begin with a 64-bit id (name records, cache entries): the id modulo
// the bucket count, and ids ordered as unsigned numbers.
uint64_t RegionHashTable_hashId(uint64_t size, const void* key);
int RegionHashTable_compareIds(const void* a, const void* b);

#endif
