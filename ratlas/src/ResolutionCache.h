// Per-atlas cache of the primitive set of each id resolved since the atlas last changed. Every
// entry is also kept in a plain array, so that emptying the cache costs the entries it holds and
// not the buckets of its table: the atlas empties it at every change.
#ifndef RESOLUTION_CACHE_H
#define RESOLUTION_CACHE_H

#include "RegionHashTable.h"
#include "RegionStatus.h"
#include "StringList.h"

#include <cstdint>
#include <cstdio>

// Expands one id in the context into the result list.
typedef RegionStatus* (*RegionResolver)(uint64_t id, void* context, StringList* result);

// Begins with the id, so that the id-keyed table functions apply.
struct ResolutionCacheEntry {
  uint64_t m_id;
  StringList* m_primitives;
};

struct ResolutionCache {
  RegionHashTable* m_table;  // entries by id
  void* m_context;
  RegionResolver m_resolver;
  ResolutionCacheEntry** m_entries;  // every entry of the table, in the order made
  uint64_t m_entryCount;
  uint64_t m_entryCapacity;
  uint64_t m_idCount;  // ids in the lists of all entries
  int m_stored;        // 1 when an entry came in through ResolutionCache_store since the cache was last empty
  uint64_t m_heldBits;  // bit id % 64 of every id the lists may hold (set only, cleared when the cache empties)
};

// A bucket count of 0 means 100.
RegionStatus* ResolutionCache_new(ResolutionCache** cache, uint64_t buckets, void* context, RegionResolver resolver);
// Merges the primitives of id into result (StringList_append), calling the resolver on a miss.
RegionStatus* ResolutionCache_resolve(ResolutionCache* cache, uint64_t id, StringList* result);
RegionStatus* ResolutionCache_invalidate(ResolutionCache* cache);
// Drops the entries whose list holds id, the others kept in their order; empties the whole cache
// instead when its lists hold more than limit ids all told (searching them would cost more
// than resolving again).
RegionStatus* ResolutionCache_invalidateHolding(ResolutionCache* cache, uint64_t id, uint64_t limit);
RegionStatus* ResolutionCache_delete(ResolutionCache** cache);
void ResolutionCache_print(const ResolutionCache* cache, FILE* stream);

// For the library's own use: the cached list of an id (NULL on a miss; the resolver is not
// called), and storing a list the cache takes over (an id already cached keeps its list and the
// given one is deleted).
const StringList* ResolutionCache_lookup(ResolutionCache* cache, uint64_t id);
RegionStatus* ResolutionCache_store(ResolutionCache* cache, uint64_t id, StringList* primitives);

#endif
