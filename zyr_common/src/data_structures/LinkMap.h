#ifndef ZYR_LINK_MAP_H
#define ZYR_LINK_MAP_H
// Typed, symmetric links between pairs of objects. A link of type t >= 1 from a to b is kept as
// two entries of a hash table: key (a, t) with value b, and key (b, -t) with value a, so either
// end finds the other. The map owns its keys and leaves the linked objects alone.
#include <cstdint>
#include <cstdio>

struct HashTable;
struct HashTableIterator;

// A link key: positive types for the forward direction, negative for the reverse.
struct LinkPair {
  void *m_object;
  int32_t m_type;
};

struct LinkMap {
  HashTable *m_table; // LinkPair -> linked object
};

// The record a link-map iterator returns: one link, seen from its forward end.
struct LinkRecord {
  void *m_object;
  void *m_linkedObject;
  int32_t m_type; // positive
};

struct LinkMapIterator {
  HashTableIterator *m_iterator;
  LinkRecord m_link;
};

LinkPair *LinkPair_new(void *object, int32_t type);
void LinkPair_delete(LinkPair *pair);
// Low 32 bits of the key's object address, modulo n; the type does not enter.
int64_t LinkPair_hash(const void *key, int64_t n);
// Non-zero when object and type are both equal.
int LinkPair_compare(const void *storedKey, const void *key);

LinkMap *LinkMap_new(int32_t sizeHint);
void LinkMap_delete(LinkMap *map);
void LinkMap_print(const LinkMap *map, FILE *stream);

// 0 when type < 1. Otherwise stores the link (no duplicate check) and answers 1.
int LinkMap_addLink(LinkMap *map, void *a, void *b, int32_t type);
// The object linked to this one under the signed type (positive: this object is the forward
// end; negative: the reverse end), or NULL.
void *LinkMap_findLinkedObject(const LinkMap *map, const void *object, int32_t type);
// Removes the link of that positive type in which the object takes part, at either end: both of
// its entries, and only those. 1 when removed, 0 when there is none.
int LinkMap_removeLink(LinkMap *map, const void *object, int32_t type);
int32_t LinkMap_getNoOfLinks(const LinkMap *map);
// Number of links n, with three new arrays of n entries (the caller's) in iteration order: first
// objects, linked objects, types. All NULL when n < 1.
int32_t LinkMap_toArray(const LinkMap *map, void ***firstObjects, void ***secondObjects,
                        int32_t **types);
// New array (the caller's, shrunk to fit; NULL when empty) of the links of that type, in
// iteration order: the linked objects when wantLinked is non-zero, else the forward objects.
// Type 0 takes the links of every type; a negative type finds nothing.
int32_t LinkMap_findObjects(const LinkMap *map, int wantLinked, int32_t type, void ***objects);

LinkMapIterator *LinkMapIterator_new(const LinkMap *map);
void LinkMapIterator_delete(LinkMapIterator *iterator);
// The iterator's own link record for the first or next link, NULL at the end. The map must not
// change during a walk.
LinkRecord *LinkMapIterator_first(LinkMapIterator *iterator);
LinkRecord *LinkMapIterator_next(LinkMapIterator *iterator);

#endif
