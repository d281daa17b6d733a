// The process-wide dictionary of region names. Every name the region-atlas library meets is
// entered once and from then on handled as its id, a whole number from 1 that is never reused
// and never changes for the life of the process.
#ifndef REGION_NAME_DICTIONARY_H
#define REGION_NAME_DICTIONARY_H

#include "RegionHashTable.h"
#include "RegionStatus.h"

#include <cstdint>

struct RegionNameDictionary {
  uint64_t m_capacity;  // name slots
  uint64_t m_count;     // names entered
  char** m_names;       // slot i: the dictionary's own text of id i + 1 (its length in the size_t before it)
  // The texts of the filled slots in a chained table of m_tableSize buckets, by text. Names are
  // searched and entered through m_index alone; the table is only a view for listings and
  // tests, made by RegionNameDictionary_instance when asked for (NULL until then).
  RegionHashTable* m_table;
  uint64_t m_tableSize;          // buckets the table has: 10023, widened as the slots grow
  // Open addressing, at most half full: per slot the high half of a quick hash of the name and
  // its id in the low half (0: empty slot). Ids therefore stay below 2^32.
  uint64_t* m_index;
  uint64_t m_indexMask;          // slots - 1 (a power of two)
  // The texts are carved from blocks that never move (each starts with the one made before it);
  // a text too long for a shared block has one of its own.
  char* m_blocks;                // the newest block, NULL before the first text
  char* m_blockFree;             // where the next text of the newest shared block goes
  uint64_t m_blockLeft;          // bytes left there
};

// The id of the name, entering it when new. id may be NULL.
RegionStatus* RegionNameDictionary_add(const char* name, uint64_t* id);
// A name hashed ahead of its RegionNameDictionary_addPrepared and its index slot fetched
// meanwhile, so that the slots of a definition's names come from memory together.
struct RegionNamePrepared {
  uint64_t m_hash;
  size_t m_length;
  int m_ready;  // 0: nothing prepared (no name, or no dictionary yet)
};
void RegionNameDictionary_prepare(const char* name, RegionNamePrepared* prepared);
// RegionNameDictionary_add for a name prepared (prepared may be NULL), with the same answers.
RegionStatus* RegionNameDictionary_addPrepared(const char* name, const RegionNamePrepared* prepared, uint64_t* id);
// 800000 when the name has never been entered.
RegionStatus* RegionNameDictionary_lookup(const char* name, uint64_t* id);
// The dictionary's own text of an id (not to be freed); 800000 for an id never handed out.
RegionStatus* RegionNameDictionary_name(uint64_t id, const char** name);
// How many names have been entered (the highest id handed out).
uint64_t RegionNameDictionary_count();
// Forgets every name; the next use starts a new dictionary. The library never calls it.
void RegionNameDictionary_destroy();
// The dictionary, or NULL before the first name (for tests and listings); its table is brought
// up to date first (left NULL when there is no memory for it).
const RegionNameDictionary* RegionNameDictionary_instance();
void RegionNameDictionary_print(FILE* stream);

// The text hash of the dictionary for a table of size buckets.
uint64_t RegionNameDictionary_hash(uint64_t size, const void* text);

// Binary search of an ascending array of ids: 1 and the position when found, else 0 and the
// position where it would go.
int RegionId_bsearch(const uint64_t* ids, uint64_t count, uint64_t id, uint64_t* position);

#endif
