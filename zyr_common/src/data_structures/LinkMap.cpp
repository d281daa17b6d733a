// Link maps. Look-ups build their key on the stack. Removal takes away exactly the two entries of
// one link: when an object is the end of several links of one type, the first entry found under
// a key may belong to another link, so the entry is matched by its value as well.
#include "LinkMap.h"

#include "HashTable.h"
#include "zyrMemory.h"

#include <algorithm>
#include <vector>

namespace {

// Removes the entry (object, type) -> value and frees its key; 1 when there was one. The entries
// of that key taken off on the way are put back in their former order.
int removeEntry(HashTable *table, const void *object, int32_t type, const void *value) {
  const LinkPair probe = {const_cast<void *>(object), type};
  void *storedKey = nullptr;
  void *found = nullptr;
  if (!HashTable_findKeyAndValue(table, &probe, &storedKey, &found))
    return 0;
  if (found == value) {
    HashTable_removeKeyAndValue(table, &probe, &storedKey, &found);
    LinkPair_delete(static_cast<LinkPair *>(storedKey));
    return 1;
  }
  std::vector<std::pair<void *, void *>> others;
  int removed = 0;
  while (HashTable_removeKeyAndValue(table, &probe, &storedKey, &found)) {
    if (found == value) {
      LinkPair_delete(static_cast<LinkPair *>(storedKey));
      removed = 1;
      break;
    }
    others.emplace_back(storedKey, found);
  }
  for (auto it = others.rbegin(); it != others.rend(); ++it)
    HashTable_insert(table, it->first, it->second);
  return removed;
}

// Advances a hash-table walk to the next forward entry and fills the record; NULL at the end.
LinkRecord *fillForward(Pair *pair, HashTableIterator *iterator, LinkRecord *link) {
  for (; pair != nullptr; pair = HashTableIterator_next(iterator)) {
    const LinkPair *key = static_cast<const LinkPair *>(pair->m_first);
    if (key->m_type >= 1) {
      link->m_object = key->m_object;
      link->m_linkedObject = pair->m_second;
      link->m_type = key->m_type;
      return link;
    }
  }
  return nullptr;
}

} // namespace

LinkPair *LinkPair_new(void *object, int32_t type) {
  LinkPair *pair = zyrMemory_allocateArray<LinkPair>(1, __func__);
  pair->m_object = object;
  pair->m_type = type;
  return pair;
}

void LinkPair_delete(LinkPair *pair) { zyrMemory_free(pair, __func__); }

int64_t LinkPair_hash(const void *key, int64_t n) {
  const void *object = static_cast<const LinkPair *>(key)->m_object;
  const uint32_t low = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(object));
  return n > 0 ? static_cast<int64_t>(low % static_cast<uint64_t>(n)) : 0;
}

int LinkPair_compare(const void *storedKey, const void *key) {
  const LinkPair *a = static_cast<const LinkPair *>(storedKey);
  const LinkPair *b = static_cast<const LinkPair *>(key);
  return a->m_object == b->m_object && a->m_type == b->m_type ? 1 : 0;
}

LinkMap *LinkMap_new(int32_t sizeHint) {
  LinkMap *map = zyrMemory_allocateArray<LinkMap>(1, __func__);
  const int64_t hint = std::min<int64_t>(2 * static_cast<int64_t>(std::max(sizeHint, 0)), INT32_MAX);
  map->m_table = HashTable_new(static_cast<int32_t>(hint), LinkPair_hash, LinkPair_compare);
  return map;
}

void LinkMap_delete(LinkMap *map) {
  if (map == nullptr)
    return;
  HashTableIterator *it = HashTableIterator_new(map->m_table);
  for (Pair *p = HashTableIterator_first(it); p != nullptr; p = HashTableIterator_next(it))
    LinkPair_delete(static_cast<LinkPair *>(p->m_first));
  HashTableIterator_delete(it);
  HashTable_delete(map->m_table);
  zyrMemory_free(map, __func__);
}

void LinkMap_print(const LinkMap *map, FILE *stream) {
  std::fprintf(stream, "LinkMap (%p)\n", static_cast<const void *>(map));
  std::fprintf(stream, "No. of links = %d\n", LinkMap_getNoOfLinks(map));
  LinkMapIterator *it = LinkMapIterator_new(map);
  for (LinkRecord *l = LinkMapIterator_first(it); l != nullptr; l = LinkMapIterator_next(it))
    std::fprintf(stream, "%p -> %p (%d)\n", l->m_object, l->m_linkedObject, l->m_type);
  LinkMapIterator_delete(it);
}

int LinkMap_addLink(LinkMap *map, void *a, void *b, int32_t type) {
  if (type < 1)
    return 0;
  HashTable_insert(map->m_table, LinkPair_new(b, -type), a);
  HashTable_insert(map->m_table, LinkPair_new(a, type), b);
  return 1;
}

void *LinkMap_findLinkedObject(const LinkMap *map, const void *object, int32_t type) {
  const LinkPair probe = {const_cast<void *>(object), type};
  return HashTable_find(map->m_table, &probe);
}

int LinkMap_removeLink(LinkMap *map, const void *object, int32_t type) {
  if (type < 1)
    return 0;
  // The object as the forward end first, else as the reverse end.
  const void *forward = object;
  const void *reverse = nullptr;
  void *storedKey = nullptr;
  void *found = nullptr;
  LinkPair probe = {const_cast<void *>(object), type};
  if (HashTable_findKeyAndValue(map->m_table, &probe, &storedKey, &found)) {
    reverse = found;
  } else {
    probe.m_type = -type;
    if (!HashTable_findKeyAndValue(map->m_table, &probe, &storedKey, &found))
      return 0;
    reverse = object;
    forward = found;
  }
  removeEntry(map->m_table, reverse, -type, forward);
  return removeEntry(map->m_table, forward, type, reverse);
}

int32_t LinkMap_getNoOfLinks(const LinkMap *map) { return HashTable_getNoOfEntries(map->m_table) / 2; }

int32_t LinkMap_toArray(const LinkMap *map, void ***firstObjects, void ***secondObjects,
                        int32_t **types) {
  *firstObjects = nullptr;
  *secondObjects = nullptr;
  *types = nullptr;
  const int32_t n = LinkMap_getNoOfLinks(map);
  if (n < 1)
    return 0;
  void **first = zyrMemory_allocateArray<void *>(n, __func__);
  void **second = zyrMemory_allocateArray<void *>(n, __func__);
  int32_t *type = zyrMemory_allocateArray<int32_t>(n, __func__);
  int32_t k = 0;
  LinkMapIterator *it = LinkMapIterator_new(map);
  for (LinkRecord *l = LinkMapIterator_first(it); l != nullptr && k < n; l = LinkMapIterator_next(it)) {
    first[k] = l->m_object;
    second[k] = l->m_linkedObject;
    type[k] = l->m_type;
    ++k;
  }
  LinkMapIterator_delete(it);
  *firstObjects = first;
  *secondObjects = second;
  *types = type;
  return n;
}

int32_t LinkMap_findObjects(const LinkMap *map, int wantLinked, int32_t type, void ***objects) {
  *objects = nullptr;
  const int32_t n = LinkMap_getNoOfLinks(map);
  if (n < 1 || type < 0)
    return 0;
  void **found = zyrMemory_allocateArray<void *>(n, __func__);
  int32_t k = 0;
  LinkMapIterator *it = LinkMapIterator_new(map);
  for (LinkRecord *l = LinkMapIterator_first(it); l != nullptr && k < n; l = LinkMapIterator_next(it))
    if (type == 0 || l->m_type == type)
      found[k++] = wantLinked ? l->m_linkedObject : l->m_object;
  LinkMapIterator_delete(it);
  if (k < 1) {
    zyrMemory_free(found, __func__);
    return 0;
  }
  *objects = zyrMemory_reallocateArray(found, k, __func__);
  return k;
}

LinkMapIterator *LinkMapIterator_new(const LinkMap *map) {
  LinkMapIterator *iterator = zyrMemory_allocateArray<LinkMapIterator>(1, __func__);
  iterator->m_iterator = HashTableIterator_new(map->m_table);
  iterator->m_link = {nullptr, nullptr, 0};
  return iterator;
}

void LinkMapIterator_delete(LinkMapIterator *iterator) {
  if (iterator == nullptr)
    return;
  HashTableIterator_delete(iterator->m_iterator);
  zyrMemory_free(iterator, __func__);
}

LinkRecord *LinkMapIterator_first(LinkMapIterator *iterator) {
  return fillForward(HashTableIterator_first(iterator->m_iterator), iterator->m_iterator,
                     &iterator->m_link);
}

LinkRecord *LinkMapIterator_next(LinkMapIterator *iterator) {
  return fillForward(HashTableIterator_next(iterator->m_iterator), iterator->m_iterator,
                     &iterator->m_link);
}
