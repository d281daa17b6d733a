#include "ResolutionCache.h"

#include "RegionMemory.h"

#include <cinttypes>

namespace {

const uint64_t kDefaultBuckets = 100;

ResolutionCacheEntry* find(ResolutionCache* cache, uint64_t id) {
  return static_cast<ResolutionCacheEntry*>(RegionHashTable_find(cache->m_table, &id, nullptr));
}

// Makes room in the entry array for one more entry.
bool reserveEntry(ResolutionCache* cache) {
  if (cache->m_entryCount < cache->m_entryCapacity) return true;
  uint64_t capacity = cache->m_entryCapacity ? cache->m_entryCapacity * 2 : 64;
  void* entries = RegionMemory_reallocArray(cache->m_entries, capacity, sizeof(ResolutionCacheEntry*));
  if (!entries) return false;
  cache->m_entries = static_cast<ResolutionCacheEntry**>(entries);
  cache->m_entryCapacity = capacity;
  return true;
}

// Lists up to this long are summed up bit by bit; a longer one sets every bit, so that entering
// it costs no pass over it.
const uint64_t kSummedIds = 64;

uint64_t bitsOf(const StringList* list) {
  if (list->m_count > kSummedIds) return ~uint64_t(0);
  uint64_t bits = 0;
  for (uint64_t i = 0; i < list->m_count; ++i) bits |= uint64_t(1) << (list->m_items[i] & 63);
  return bits;
}

// Enters a list under an id. 0 when no memory was left (the list is then still the caller's).
RegionStatus* enter(ResolutionCache* cache, uint64_t id, StringList* primitives) {
  if (!reserveEntry(cache)) return RegionStatus_outOfMemory("Resolution");
  ResolutionCacheEntry* entry = static_cast<ResolutionCacheEntry*>(RegionMemory_alloc(sizeof(ResolutionCacheEntry)));
  if (!entry) return RegionStatus_outOfMemory("Resolution");
  entry->m_id = id;
  entry->m_primitives = primitives;
  RegionStatus* status = RegionHashTable_insert(cache->m_table, entry);
  if (RegionStatus_isError(status)) {
    RegionMemory_free(entry);
    return status;
  }
  cache->m_entries[cache->m_entryCount++] = entry;
  cache->m_idCount += primitives->m_count;
  cache->m_heldBits |= bitsOf(primitives);
  return RegionStatus_success();
}

void drop(ResolutionCache* cache, ResolutionCacheEntry* entry) {
  RegionHashTable_remove(cache->m_table, &entry->m_id);
  StringList_delete(&entry->m_primitives);
  RegionMemory_free(entry);
}

} // namespace

RegionStatus* ResolutionCache_new(ResolutionCache** cache, uint64_t buckets, void* context, RegionResolver resolver) {
  if (!cache) return RegionStatus_fail(RS_BAD_POINTER, "Invalid object pointer - cannot create new object");
  *cache = nullptr;
  if (!context || !resolver) return RegionStatus_fail(RS_BAD_POINTER, "Unable to create resolution cache.");
  ResolutionCache* c = static_cast<ResolutionCache*>(RegionMemory_allocZeroed(1, sizeof(ResolutionCache)));
  if (!c) return RegionStatus_outOfMemory("Resolution Cache");
  RegionStatus* status = RegionHashTable_new(&c->m_table, buckets ? buckets : kDefaultBuckets, RegionHashTable_hashId,
                                             RegionHashTable_compareIds);
  if (RegionStatus_isError(status)) {
    RegionMemory_free(c);
    return RegionStatus_outOfMemory("Resolution Cache");
  }
  c->m_context = context;
  c->m_resolver = resolver;
  *cache = c;
  return RegionStatus_success();
}

const StringList* ResolutionCache_lookup(ResolutionCache* cache, uint64_t id) {
  if (!cache || cache->m_entryCount == 0) return nullptr;
  ResolutionCacheEntry* entry = find(cache, id);
  return entry ? entry->m_primitives : nullptr;
}

RegionStatus* ResolutionCache_store(ResolutionCache* cache, uint64_t id, StringList* primitives) {
  if (!cache || !primitives) return RegionStatus_fail(RS_BAD_POINTER, "Invalid object pointer - cannot resolve name.");
  if (find(cache, id)) {
    StringList_delete(&primitives);
    return RegionStatus_success();
  }
  RegionStatus* status = enter(cache, id, primitives);
  if (RegionStatus_isError(status)) StringList_delete(&primitives);
  else cache->m_stored = 1;
  return status;
}

RegionStatus* ResolutionCache_resolve(ResolutionCache* cache, uint64_t id, StringList* result) {
  if (!cache || !result) return RegionStatus_fail(RS_BAD_POINTER, "Invalid object pointer - cannot resolve name.");
  ResolutionCacheEntry* entry = cache->m_entryCount ? find(cache, id) : nullptr;
  if (entry) return StringList_append(result, entry->m_primitives);
  StringList* primitives = nullptr;
  RegionStatus* status = StringList_new(&primitives, 0);
  if (RegionStatus_isError(status)) return status;
  status = cache->m_resolver(id, cache->m_context, primitives);
  if (RegionStatus_isError(status)) {
    StringList_delete(&primitives);
    return status;
  }
  // The resolver may have cached this very id on its way (a resolver of its own kind may do as
  // it likes); the first list stays.
  entry = find(cache, id);
  if (entry) {
    StringList_delete(&primitives);
    return StringList_append(result, entry->m_primitives);
  }
  RegionStatus* entered = enter(cache, id, primitives);
  status = StringList_append(result, primitives);
  if (RegionStatus_isError(entered)) {
    StringList_delete(&primitives);
    return RegionStatus_isError(status) ? status : entered;
  }
  return status;
}

RegionStatus* ResolutionCache_invalidate(ResolutionCache* cache) {
  if (!cache) return RegionStatus_fail(RS_BAD_POINTER, "Invalid object pointer - cannot invalidate cache.");
  // Each entry is taken out of its chain by its id: the cost is the entries, never the buckets.
  for (uint64_t i = 0; i < cache->m_entryCount; ++i) drop(cache, cache->m_entries[i]);
  cache->m_entryCount = 0;
  cache->m_idCount = 0;
  cache->m_stored = 0;
  cache->m_heldBits = 0;
  return RegionStatus_success();
}

RegionStatus* ResolutionCache_invalidateHolding(ResolutionCache* cache, uint64_t id, uint64_t limit) {
  if (!cache) return RegionStatus_fail(RS_BAD_POINTER, "Invalid object pointer - cannot invalidate cache.");
  if (cache->m_idCount > limit) return ResolutionCache_invalidate(cache);
  // No list holds an id whose bit none of them set: nothing to search.
  if (!((cache->m_heldBits >> (id & 63)) & 1)) return RegionStatus_success();
  uint64_t kept = 0;
  for (uint64_t i = 0; i < cache->m_entryCount; ++i) {
    ResolutionCacheEntry* entry = cache->m_entries[i];
    const StringList* list = entry->m_primitives;
    bool holds = false;
    for (uint64_t k = 0; k < list->m_count && !holds; ++k) holds = list->m_items[k] == id;
    if (holds) {
      cache->m_idCount -= list->m_count;
      drop(cache, entry);
    } else {
      cache->m_entries[kept++] = entry;
    }
  }
  cache->m_entryCount = kept;
  if (kept == 0) {
    cache->m_stored = 0;
    cache->m_heldBits = 0;
  }
  return RegionStatus_success();
}

RegionStatus* ResolutionCache_delete(ResolutionCache** cache) {
  if (!cache || !*cache) return RegionStatus_fail(RS_BAD_POINTER, "Invalid object pointer - cannot destroy object");
  ResolutionCache* c = *cache;
  ResolutionCache_invalidate(c);
  RegionHashTable_delete(&c->m_table);
  RegionMemory_free(c->m_entries);
  RegionMemory_free(c);
  *cache = nullptr;
  return RegionStatus_success();
}

void ResolutionCache_print(const ResolutionCache* cache, FILE* stream) {
  if (!stream) return;
  if (!cache) {
    fputs("Resolution cache: none\n", stream);
    return;
  }
  fprintf(stream, "Resolution cache: %" PRIu64 " entries in %" PRIu64 " buckets\n", cache->m_entryCount,
          cache->m_table ? cache->m_table->m_size : 0);
  for (uint64_t i = 0; i < cache->m_entryCount; ++i) {
    fprintf(stream, "  id %" PRIu64 ": ", cache->m_entries[i]->m_id);
    StringList_print(cache->m_entries[i]->m_primitives, stream);
  }
}
