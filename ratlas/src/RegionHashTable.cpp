#include "RegionHashTable.h"

#include "RegionMemory.h"
#include "RegionNameRecord.h"
#include "RegionPoison.h"

#include <cinttypes>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

namespace {

const uint64_t kUnknownBucket = UINT64_MAX;

// The chain of an id in an id table: RegionHashTable_hashId's remainder, without a division.
uint64_t idBucket(const RegionHashTable* table, uint64_t id) { return RegionRemainder(id, table->m_size, table->m_sizeReciprocal); }

uint64_t bucketOf(const RegionHashTable* table, const void* key) {
  if (table->m_hash == RegionHashTable_hashId) {
    uint64_t id;
    memcpy(&id, key, sizeof(id));
    return idBucket(table, id);
  }
  uint64_t b = table->m_hash(table->m_size, key);
  return b < table->m_size ? b : b % table->m_size;
}

// ---------------------------------------------------------------------------------------------
// The look-up index. Its memory comes from malloc, not from the library's counted allocator:
// it is an optional aid, and without memory the table simply searches its chains.

// A key's first slot is its low bits: ids are handed out one after another, so neighbouring ids
// (which are mostly used together) take neighbouring slots, and text keys come mixed already.
uint64_t firstSlot(uint64_t key, uint64_t mask) { return key & mask; }

void dropIndex(RegionHashTable* table) {
  free(table->m_index);
  table->m_index = nullptr;
  table->m_indexSize = 0;
}

// How far a slot's entry lies past its first slot.
uint64_t distanceOf(const RegionHashIndexSlot& slot, uint64_t at, uint64_t mask) { return (at - firstSlot(slot.m_key, mask)) & mask; }

// Robin Hood placement: an entry passes slots whose entries lie nearer their first slot than it
// does and takes the first such slot, pushing its entry on. Runs of neighbouring ids (which sit
// at their first slots) then never make a search or a removal walk a whole run.
void placeInIndex(RegionHashIndexSlot* slots, uint64_t size, uint64_t key, RegionHashNode* node) {
  const uint64_t mask = size - 1;
  RegionHashIndexSlot moving{key, node, node->m_entry};
  uint64_t i = firstSlot(key, mask);
  for (uint64_t distance = 0;; i = (i + 1) & mask, ++distance) {
    if (!slots[i].m_node) {
      slots[i] = moving;
      return;
    }
    const uint64_t theirs = distanceOf(slots[i], i, mask);
    if (theirs < distance) {
      RegionHashIndexSlot kept = slots[i];
      slots[i] = moving;
      moving = kept;
      distance = theirs;
    }
  }
}

// Builds the index afresh at a size for at least `count` entries at half load; none on failure.
void buildIndex(RegionHashTable* table, uint64_t count) {
  uint64_t size = 16;
  while (size < 2 * count + 2) size *= 2;
  RegionHashIndexSlot* slots = static_cast<RegionHashIndexSlot*>(calloc(size, sizeof(RegionHashIndexSlot)));
  RegionHashIndexSlot* old = table->m_index;
  const uint64_t oldSize = table->m_indexSize;
  table->m_index = slots;
  table->m_indexSize = slots ? size : 0;
  if (slots && old) {
    // The old index holds every node but the newest, with its key.
    for (uint64_t i = 0; i < oldSize; ++i)
      if (old[i].m_node) placeInIndex(slots, size, old[i].m_key, old[i].m_node);
  }
  free(old);
  if (!slots || old) return;
  for (uint64_t b = 0, placed = 0; b < table->m_size && placed < table->m_count; ++b) {
    for (RegionHashNode* n = table->m_buckets[b]; n; n = n->m_next, ++placed)
      placeInIndex(slots, size, table->m_key(n->m_entry), n);
  }
}

// The node of an entry equal to key, searched through the index: it ends at an empty slot or at
// one whose entry lies nearer its first slot than the key would.
RegionHashNode* indexFind(const RegionHashTable* table, const void* key) {
  const uint64_t k = table->m_key(key), mask = table->m_indexSize - 1;
  const RegionHashIndexSlot* slots = table->m_index;
  for (uint64_t i = firstSlot(k, mask), distance = 0;; i = (i + 1) & mask, ++distance) {
    const RegionHashIndexSlot& slot = slots[i];
    if (!slot.m_node || distanceOf(slot, i, mask) < distance) return nullptr;
    if (slot.m_key == k && (table->m_exactKeys || table->m_compare(slot.m_node->m_entry, key) == 0)) return slot.m_node;
  }
}

// The same for an id table, without calls through the function pointers: the slot of the id.
inline const RegionHashIndexSlot* indexFindId(const RegionHashTable* table, uint64_t id) {
  const uint64_t mask = table->m_indexSize - 1;
  const RegionHashIndexSlot* slots = table->m_index;
  for (uint64_t i = id & mask, distance = 0;; i = (i + 1) & mask, ++distance) {
    const RegionHashIndexSlot& slot = slots[i];
    if (slot.m_key == id && slot.m_node) return &slot;
    if (!slot.m_node || ((i - (slot.m_key & mask)) & mask) < distance) return nullptr;
  }
}

void indexAdd(RegionHashTable* table, RegionHashNode* node) {
  if (!table->m_key) return;
  if (!table->m_index) {
    // A first index, or another try after a failed allocation: from the chains, which hold the
    // node already.
    buildIndex(table, 2 * table->m_count);
    return;
  }
  // Kept at most half full.
  if (2 * table->m_count + 2 > table->m_indexSize) buildIndex(table, 2 * table->m_count);
  if (table->m_index) placeInIndex(table->m_index, table->m_indexSize, table->m_key(node->m_entry), node);
}

// Empties slot i; the entries behind it move back one slot until one sits at its first slot.
void emptySlot(RegionHashTable* table, uint64_t i) {
  RegionHashIndexSlot* slots = table->m_index;
  const uint64_t mask = table->m_indexSize - 1;
  for (uint64_t j = (i + 1) & mask; slots[j].m_node && distanceOf(slots[j], j, mask) > 0; j = (j + 1) & mask) {
    slots[i] = slots[j];
    i = j;
  }
  slots[i].m_node = nullptr;
}

// Takes a node entered under `key` out of the index; the entries behind it move back one slot
// until one sits at its first slot (backward shift).
void indexRemove(RegionHashTable* table, RegionHashNode* node, uint64_t key) {
  if (!table->m_index) return;
  RegionHashIndexSlot* slots = table->m_index;
  const uint64_t mask = table->m_indexSize - 1;
  uint64_t i = firstSlot(key, mask);
  for (uint64_t distance = 0; slots[i].m_node && slots[i].m_node != node && distanceOf(slots[i], i, mask) >= distance; ++distance)
    i = (i + 1) & mask;
  if (slots[i].m_node != node) {
    // The entry's key changed while it was in the table: look for the node itself.
    for (i = 0; i <= mask && slots[i].m_node != node; ++i) {
    }
    if (i > mask) return;
  }
  emptySlot(table, i);
}

// ---------------------------------------------------------------------------------------------
// Nodes. A table that holds many entries would otherwise make one allocation per insertion and
// free one per removal; a block holds as many nodes as the table has in blocks already (at
// least 8, at most 4096), so a table of n entries makes about log n + n / 4096 allocations.

struct NodeBlock {
  NodeBlock* m_next;
  uint64_t m_count;
  RegionHashNode m_nodes[1];
};

RegionHashNode* newNode(RegionHashTable* table) {
  if (!table->m_freeNodes) {
    uint64_t count = table->m_nodesInBlocks < 8 ? 8 : (table->m_nodesInBlocks > 4096 ? 4096 : table->m_nodesInBlocks);
    NodeBlock* block = static_cast<NodeBlock*>(RegionMemory_alloc(sizeof(NodeBlock) + (count - 1) * sizeof(RegionHashNode)));
    if (!block) return nullptr;
    block->m_next = static_cast<NodeBlock*>(table->m_nodeBlocks);
    block->m_count = count;
    table->m_nodeBlocks = block;
    table->m_nodesInBlocks += count;
    for (uint64_t i = count; i > 0; --i) {
      block->m_nodes[i - 1].m_next = table->m_freeNodes;
      table->m_freeNodes = &block->m_nodes[i - 1];
    }
  }
  RegionHashNode* node = table->m_freeNodes;
  ASAN_UNPOISON_MEMORY_REGION(node, sizeof(RegionHashNode));
  table->m_freeNodes = node->m_next;
  return node;
}

// A free node keeps only its link readable (under the address sanitizer), so that a use of a
// removed entry's node is still caught.
void freeNode(RegionHashTable* table, RegionHashNode* node) {
  ASAN_UNPOISON_MEMORY_REGION(node, sizeof(RegionHashNode));
  node->m_entry = nullptr;
  node->m_previous = nullptr;
  node->m_next = table->m_freeNodes;
  table->m_freeNodes = node;
  ASAN_POISON_MEMORY_REGION(&node->m_entry, sizeof(node->m_entry));
  ASAN_POISON_MEMORY_REGION(&node->m_previous, sizeof(node->m_previous));
}

void freeNodeBlocks(RegionHashTable* table) {
  for (NodeBlock* b = static_cast<NodeBlock*>(table->m_nodeBlocks); b;) {
    NodeBlock* next = b->m_next;
    ASAN_UNPOISON_MEMORY_REGION(b, sizeof(NodeBlock) + (b->m_count - 1) * sizeof(RegionHashNode));
    RegionMemory_free(b);
    b = next;
  }
  table->m_nodeBlocks = nullptr;
  table->m_freeNodes = nullptr;
  table->m_nodesInBlocks = 0;
}

// ---------------------------------------------------------------------------------------------

// The last node of each chain: entries mostly come in ascending order (ids are handed out so),
// and an entry after the last one needs no walk along its chain.
RegionHashNode** tailsOf(const RegionHashTable* table) { return table->m_buckets + table->m_size; }

// Id tables also keep the id of each chain's last entry (after the tails, in the same block):
// the test "after the last" then reads neither the last node nor its entry, two fetches from
// memory per insertion. Meaningful only where the chain has a tail.
static_assert(sizeof(uint64_t) == sizeof(RegionHashNode*), "the tails' ids share the block of the chain heads");
bool keepsTailIds(const RegionHashTable* table) { return table->m_compare == RegionHashTable_compareIds; }
uint64_t* tailIdsOf(const RegionHashTable* table) { return reinterpret_cast<uint64_t*>(table->m_buckets + 2 * table->m_size); }
uint64_t entryId(const void* entry) {
  uint64_t id;
  memcpy(&id, entry, sizeof(id));
  return id;
}

// Where an entry goes in its chain: after the node returned (NULL: at the head); *equal when an
// entry equal to it is there.
RegionHashNode* placeInChain(const RegionHashTable* table, uint64_t b, const void* entry, RegionHashNode** equal) {
  *equal = nullptr;
  RegionHashNode* tail = tailsOf(table)[b];
  if (!tail) return nullptr;
  const bool ids = table->m_compare == RegionHashTable_compareIds;
  auto compare = [&](const void* x, const void* y) {
    if (!ids) return table->m_compare(x, y);
    uint64_t a, c;
    memcpy(&a, x, sizeof(a));
    memcpy(&c, y, sizeof(c));
    return a < c ? -1 : (a > c ? 1 : 0);
  };
  if (ids ? entryId(entry) > tailIdsOf(table)[b] : compare(entry, tail->m_entry) > 0) return tail;
  RegionHashNode* after = nullptr;
  for (RegionHashNode* n = table->m_buckets[b]; n; n = n->m_next) {
    int c = compare(entry, n->m_entry);
    if (c == 0) {
      *equal = n;
      return after;
    }
    if (c < 0) break;
    after = n;
  }
  return after;
}

// Links a new node in after `after` (NULL: at the head of chain b).
void link(RegionHashTable* table, uint64_t b, RegionHashNode* after, RegionHashNode* node) {
  node->m_previous = after;
  if (after) {
    node->m_next = after->m_next;
    after->m_next = node;
  } else {
    node->m_next = table->m_buckets[b];
    table->m_buckets[b] = node;
  }
  if (node->m_next) {
    node->m_next->m_previous = node;
  } else {
    tailsOf(table)[b] = node;
    if (keepsTailIds(table)) tailIdsOf(table)[b] = entryId(node->m_entry);
  }
}

// The chain's part of unlink: the node leaves its chain and goes back to the free nodes.
void unlinkFromChain(RegionHashTable* table, uint64_t bucket, RegionHashNode* node) {
  if (!node->m_previous || !node->m_next) {
    if (bucket == kUnknownBucket) bucket = bucketOf(table, node->m_entry);
    if (!node->m_previous) table->m_buckets[bucket] = node->m_next;
    if (!node->m_next) {
      tailsOf(table)[bucket] = node->m_previous;
      if (node->m_previous && keepsTailIds(table)) tailIdsOf(table)[bucket] = entryId(node->m_previous->m_entry);
    }
  }
  if (node->m_previous) node->m_previous->m_next = node->m_next;
  if (node->m_next) node->m_next->m_previous = node->m_previous;
  if (table->m_lastNode == node) table->m_lastNode = nullptr;
  freeNode(table, node);
  table->m_count -= 1;
}

// Removes a node; `key` is its index key when its entry field was cleared already.
void unlink(RegionHashTable* table, uint64_t bucket, RegionHashNode* node, uint64_t key = 0) {
  if (table->m_index) indexRemove(table, node, node->m_entry ? table->m_key(node->m_entry) : key);
  unlinkFromChain(table, bucket, node);
}

// Fills a caller's status out-pointer; a caller that passes none leaves the error status alone.
void report(RegionStatus** status, uint32_t code, const char* message) {
  if (status) RegionStatus_set(status, 1, code, message);
}

RegionStatus* invalidTable(uint32_t code, const char* detail) {
  RegionStatus* status = RegionStatus_fail(code, nullptr);
  RegionStatus_appendDetail(status, detail);
  return status;
}

// Tables whose look-up index is keyed by the entries' leading ids (searched without calls).
bool hasIdIndex(const RegionHashTable* table) {
  return table->m_index && table->m_key == RegionHashTable_idKey && table->m_exactKeys;
}

// Tables of records that begin with an id, hashed and ordered by it (all the atlas's name tables).
bool isIdTable(const RegionHashTable* table) {
  return table->m_hash == RegionHashTable_hashId && table->m_compare == RegionHashTable_compareIds &&
         table->m_key == RegionHashTable_idKey;
}

// Enters a new node of an id table in the index (grown first when it would be over half full).
void indexAddId(RegionHashTable* table, RegionHashNode* node, uint64_t id) {
  if (!table->m_index || 2 * table->m_count + 2 > table->m_indexSize) {
    indexAdd(table, node);
  } else {
    placeInIndex(table->m_index, table->m_indexSize, id, node);
  }
}

// RegionHashTable_insert's general way: the entry's place in chain b (walked to, unless in an id
// table the entry goes after the chain's last id), a node from the table's blocks, the link and
// the index.
__attribute__((noinline)) RegionStatus* insertInChain(RegionHashTable* table, void* entry, uint64_t b, bool ids) {
  RegionHashNode* after = tailsOf(table)[b];
  if (!ids || (after && entryId(entry) <= tailIdsOf(table)[b])) {
    RegionHashNode* equal = nullptr;
    after = placeInChain(table, b, entry, &equal);
    if (equal) {
      fputs("Found duplicate\n", stdout);
      return RegionStatus_success();
    }
  }
  RegionHashNode* node = newNode(table);
  if (!node) return RegionStatus_outOfMemory("hash element");
  node->m_entry = entry;
  link(table, b, after, node);
  table->m_count += 1;
  table->m_lastNode = nullptr;
  if (ids) {
    indexAddId(table, node, entryId(entry));
  } else {
    indexAdd(table, node);
  }
  return RegionStatus_success();
}

// RegionHashTable_insert for an id table, without the calls through the function pointers and
// with the index key known: the same chain place, the same node and the same index slot. An id
// after its chain's last one (the usual case) is linked in place from a free node and takes its
// first index slot when that is empty, without a call and without saving registers.
RegionStatus* insertId(RegionHashTable* table, void* entry) {
  const uint64_t id = entryId(entry);
  const uint64_t b = idBucket(table, id);
  RegionHashNode* after = tailsOf(table)[b];
  RegionHashNode* node = table->m_freeNodes;
  if ((after && id <= tailIdsOf(table)[b]) || !node) return insertInChain(table, entry, b, true);
  ASAN_UNPOISON_MEMORY_REGION(node, sizeof(RegionHashNode));
  table->m_freeNodes = node->m_next;
  node->m_entry = entry;
  node->m_next = nullptr;
  node->m_previous = after;
  if (after) {
    after->m_next = node;
  } else {
    table->m_buckets[b] = node;
  }
  tailsOf(table)[b] = node;
  tailIdsOf(table)[b] = id;
  table->m_count += 1;
  table->m_lastNode = nullptr;
  RegionHashIndexSlot* home = table->m_index ? &table->m_index[id & (table->m_indexSize - 1)] : nullptr;
  if (home && !home->m_node && 2 * table->m_count + 2 <= table->m_indexSize) {
    *home = RegionHashIndexSlot{id, node, entry};
  } else {
    indexAddId(table, node, id);
  }
  return RegionStatus_success();
}

} // namespace

RegionStatus* RegionHashTable_new(RegionHashTable** table, uint64_t size, RegionHashFunction hash,
                                  RegionCompareFunction compare) {
  if (!table) return RegionStatus_fail(RS_BAD_POINTER, "Invalid object pointer - cannot create new object");
  *table = nullptr;
  if (size == 0) return invalidTable(RS_INTERNAL, "Size of hash table is invalid");
  if (!hash || !compare) return RegionStatus_fail(RS_BAD_CALL, "Function is missing");
  RegionHashTable* t = static_cast<RegionHashTable*>(RegionMemory_alloc(sizeof(RegionHashTable)));
  if (!t) return RegionStatus_outOfMemory("hash table");
  // Heads, tails and the ids of the tails (see tailIdsOf).
  t->m_buckets = size <= UINT64_MAX / 3 ? static_cast<RegionHashNode**>(RegionMemory_allocZeroed(3 * size, sizeof(RegionHashNode*))) : nullptr;
  if (!t->m_buckets) {
    RegionMemory_free(t);
    return RegionStatus_outOfMemory("hash table");
  }
  t->m_count = 0;
  t->m_size = size;
  t->m_lastBucket = 0;
  t->m_lastNode = nullptr;
  t->m_hash = hash;
  t->m_compare = compare;
  t->m_key = nullptr;
  t->m_exactKeys = 0;
  t->m_index = nullptr;
  t->m_indexSize = 0;
  t->m_freeNodes = nullptr;
  t->m_nodeBlocks = nullptr;
  t->m_nodesInBlocks = 0;
  t->m_sizeReciprocal = UINT64_MAX / size;
  if (hash == RegionHashTable_hashId && compare == RegionHashTable_compareIds) {
    t->m_key = RegionHashTable_idKey;
    t->m_exactKeys = 1;
  }
  *table = t;
  return RegionStatus_success();
}

RegionStatus* RegionHashTable_delete(RegionHashTable** table) {
  if (table && *table) {
    RegionHashTable* t = *table;
    freeNodeBlocks(t);
    dropIndex(t);
    RegionMemory_free(t->m_buckets);
    RegionMemory_free(t);
    *table = nullptr;
  }
  return RegionStatus_success();
}

RegionStatus* RegionHashTable_insert(RegionHashTable* table, void* entry) {
  if (!table) return invalidTable(RS_INTERNAL, "Invalid Hash Table");
  if (!entry) return invalidTable(RS_INVALID_NAME, "Invalid Entry.");
  if (isIdTable(table)) return insertId(table, entry);
  return insertInChain(table, entry, bucketOf(table, entry), false);
}

RegionStatus* RegionHashTable_insertAll(RegionHashTable* table, void* const* entries, uint64_t count, uint64_t* added) {
  if (added) *added = 0;
  if (!table) return invalidTable(RS_INTERNAL, "Invalid Hash Table");
  const bool ids = table->m_hash == RegionHashTable_hashId && table->m_compare == RegionHashTable_compareIds;
  // The index is made for the whole table at once and filled as the chains are.
  if (table->m_key && count > 0 && (!table->m_index || 2 * (table->m_count + count) + 2 > table->m_indexSize))
    buildIndex(table, table->m_count + count);
  // Entries a few places on are fetched meanwhile, and for ids their buckets too.
  const uint64_t kAhead = 16;
  for (uint64_t i = 0; i < kAhead && i < count; ++i) __builtin_prefetch(entries[i]);
  RegionStatus* status = RegionStatus_success();
  std::vector<uint64_t> passed;  // entries held already
  uint64_t done = 0;
  for (; done < count; ++done) {
    if (done + kAhead < count && entries[done + kAhead]) __builtin_prefetch(entries[done + kAhead]);
    if (ids && done + kAhead / 2 < count && entries[done + kAhead / 2]) {
      uint64_t soon;
      memcpy(&soon, entries[done + kAhead / 2], sizeof(soon));
      __builtin_prefetch(&table->m_buckets[idBucket(table, soon)]);
    }
    void* entry = entries[done];
    if (!entry) {
      status = invalidTable(RS_INVALID_NAME, "Invalid Entry.");
      break;
    }
    uint64_t key = 0;
    if (ids) memcpy(&key, entry, sizeof(key));
    const uint64_t b = ids ? idBucket(table, key) : bucketOf(table, entry);
    RegionHashNode* equal = nullptr;
    RegionHashNode* after = placeInChain(table, b, entry, &equal);
    if (equal) {
      if (equal->m_entry == entry) {
        try {
          passed.push_back(done);
        } catch (const std::bad_alloc&) {
          status = RegionStatus_outOfMemory("hash element");
          break;
        }
        continue;
      }
      status = RegionStatus_fail(RS_INTERNAL, "Found duplicate");
      break;
    }
    RegionHashNode* node = newNode(table);
    if (!node) {
      status = RegionStatus_outOfMemory("hash element");
      break;
    }
    node->m_entry = entry;
    link(table, b, after, node);
    table->m_count += 1;
    if (added) *added += 1;
    if (table->m_index) placeInIndex(table->m_index, table->m_indexSize, ids && table->m_key == RegionHashTable_idKey ? key : table->m_key(entry), node);
  }
  table->m_lastNode = nullptr;
  if (RegionStatus_isError(status)) {
    // Out again, newest first, so that every chain is as it was; entries held before stay.
    while (done > 0) {
      --done;
      if (!passed.empty() && passed.back() == done) {
        passed.pop_back();
        continue;
      }
      void* entry = entries[done];
      const uint64_t b = bucketOf(table, entry);
      RegionHashNode* n = table->m_buckets[b];
      while (n->m_entry != entry) n = n->m_next;
      unlink(table, b, n);
    }
    if (added) *added = 0;
  }
  return status;
}

void RegionHashTable_clear(RegionHashTable* table) {
  if (!table) return;
  if (table->m_count > 0) memset(table->m_buckets, 0, 2 * table->m_size * sizeof(RegionHashNode*));
  table->m_count = 0;
  table->m_lastNode = nullptr;
  // Every node is free now: the free list is laid anew block by block, so that the nodes of a
  // table filled again lie in the order they are taken.
  table->m_freeNodes = nullptr;
  for (NodeBlock* b = static_cast<NodeBlock*>(table->m_nodeBlocks); b; b = b->m_next) {
    for (uint64_t i = b->m_count; i > 0; --i) freeNode(table, &b->m_nodes[i - 1]);
  }
  // Built again as the table fills.
  dropIndex(table);
}

namespace {

// RegionHashTable_find for tables without an id index; out of line, so that the search of an id
// table saves no registers.
__attribute__((noinline)) void* findInChains(RegionHashTable* table, const void* key, RegionStatus** status) {
  RegionStatus_set(status, 0, 0, nullptr);
  if (!table || !key) {
    report(status, RS_INTERNAL, "Invalid hash table");
    return nullptr;
  }
  if (table->m_lastNode && table->m_compare(key, table->m_lastNode->m_entry) == 0) return table->m_lastNode->m_entry;
  if (table->m_index) {
    RegionHashNode* n = indexFind(table, key);
    if (n) {
      table->m_lastBucket = kUnknownBucket;
      table->m_lastNode = n;
      return n->m_entry;
    }
    report(status, RS_NOT_FOUND, "No match");
    return nullptr;
  }
  uint64_t b = bucketOf(table, key);
  for (RegionHashNode* n = table->m_buckets[b]; n; n = n->m_next) {
    int c = table->m_compare(n->m_entry, key);
    if (c == 0) {
      table->m_lastBucket = b;
      table->m_lastNode = n;
      return n->m_entry;
    }
    if (c > 0) break;
  }
  report(status, RS_NOT_FOUND, "No match");
  return nullptr;
}

} // namespace

void* RegionHashTable_find(RegionHashTable* table, const void* key, RegionStatus** status) {
  if (!table || !key || !hasIdIndex(table)) return findInChains(table, key, status);
  // Id tables: straight to the index.
  uint64_t id;
  memcpy(&id, key, sizeof(id));
  const RegionHashIndexSlot* slot = indexFindId(table, id);
  if (slot) {
    if (status) RegionStatus_set(status, 0, 0, nullptr);
    table->m_lastBucket = kUnknownBucket;
    table->m_lastNode = slot->m_node;
    return slot->m_entry;
  }
  report(status, RS_NOT_FOUND, "No match");
  return nullptr;
}

void RegionHashTable_prefetchId(const RegionHashTable* table, uint64_t id) {
  if (!table || !hasIdIndex(table)) return;
  const RegionHashIndexSlot* slot = indexFindId(table, id);
  if (slot) __builtin_prefetch(slot->m_entry);
}

namespace {

// RegionHashTable_remove for an id table with its index, without calls through the function
// pointers: the node last found, or the one in the id's slot, which then is emptied straight away.
RegionStatus* removeId(RegionHashTable* table, const void* key) {
  const uint64_t id = entryId(key);
  RegionHashNode* node = table->m_lastNode;
  uint64_t bucket = kUnknownBucket;
  if (node && entryId(node->m_entry) == id) {
    indexRemove(table, node, id);
    bucket = table->m_lastBucket;
  } else {
    const RegionHashIndexSlot* slot = indexFindId(table, id);
    if (!slot) return RegionStatus_fail(RS_NOT_FOUND, "No match");
    node = slot->m_node;
    emptySlot(table, static_cast<uint64_t>(slot - table->m_index));
  }
  unlinkFromChain(table, bucket, node);
  table->m_lastNode = nullptr;
  return RegionStatus_success();
}

} // namespace

RegionStatus* RegionHashTable_remove(RegionHashTable* table, const void* key) {
  if (!table) return invalidTable(RS_INVALID_NAME, "Invalid Hash Table");
  if (!key) return invalidTable(RS_INVALID_NAME, "Invalid Entry.");
  if (table->m_index && isIdTable(table)) return removeId(table, key);
  if (table->m_lastNode && table->m_compare(table->m_lastNode->m_entry, key) == 0) {
    unlink(table, table->m_lastBucket, table->m_lastNode);
    return RegionStatus_success();
  }
  if (table->m_index) {
    RegionHashNode* n = indexFind(table, key);
    if (!n) return RegionStatus_fail(RS_NOT_FOUND, "No match");
    unlink(table, kUnknownBucket, n);
    table->m_lastNode = nullptr;
    return RegionStatus_success();
  }
  uint64_t b = bucketOf(table, key);
  for (RegionHashNode* n = table->m_buckets[b]; n; n = n->m_next) {
    int c = table->m_compare(key, n->m_entry);
    if (c == 0) {
      unlink(table, b, n);
      table->m_lastNode = nullptr;
      return RegionStatus_success();
    }
    if (c < 0) break;
  }
  return RegionStatus_fail(RS_NOT_FOUND, "No match");
}

uint64_t RegionHashTable_count(const RegionHashTable* table, RegionStatus** status) {
  RegionStatus_set(status, 0, 0, nullptr);
  if (!table) {
    report(status, RS_INTERNAL, "Invalid hash table");
    return 0;
  }
  return table->m_count;
}

RegionStatus* RegionHashTable_iterate(RegionHashTable* table, RegionHashTableCallback callback, void* context) {
  if (!table) return RegionStatus_fail(RS_INTERNAL, "Invalid hash table");
  if (!callback) return RegionStatus_fail(RS_BAD_CALL, "Function is missing");
  // An empty table (a freshly invalidated cache, above all) needs no walk over its buckets.
  for (uint64_t b = 0; table->m_count > 0 && b < table->m_size; ++b) {
    RegionHashNode* n = table->m_buckets[b];
    while (n) {
      RegionHashNode* next = n->m_next;
      if (n->m_entry) {
        void* before = n->m_entry;
        const uint64_t key = table->m_index ? table->m_key(before) : 0;
        RegionStatus* status = callback(&n->m_entry, context);
        if (!n->m_entry) {
          unlink(table, b, n, key);
        } else if (n->m_entry != before) {
          // Another entry in the field: index it under its own key.
          if (table->m_index) {
            indexRemove(table, n, key);
            placeInIndex(table->m_index, table->m_indexSize, table->m_key(n->m_entry), n);
          }
          if (!n->m_next && keepsTailIds(table)) tailIdsOf(table)[b] = entryId(n->m_entry);
        }
        if (RegionStatus_isError(status)) return status;
      }
      n = next;
    }
  }
  return RegionStatus_success();
}

void* RegionHashTable_collect(RegionHashTable* table, size_t elementSize, uint64_t* count, RegionStatus** status) {
  RegionStatus_set(status, 0, 0, nullptr);
  if (count) *count = 0;
  if (!table) {
    report(status, RS_INTERNAL, "Invalid hash table");
    return nullptr;
  }
  if (!count || elementSize < sizeof(void**)) {
    report(status, RS_BAD_CALL, "Bad function call");
    return nullptr;
  }
  if (table->m_count == 0) return nullptr;
  char* block = static_cast<char*>(RegionMemory_allocArray(table->m_count, elementSize));
  if (!block) {
    RegionStatus* s = RegionStatus_outOfMemory("returned objects");
    if (status) *status = s;
    return nullptr;
  }
  uint64_t i = 0;
  for (uint64_t b = 0; b < table->m_size && i < table->m_count; ++b) {
    for (RegionHashNode* n = table->m_buckets[b]; n; n = n->m_next) {
      void** place = &n->m_entry;
      memcpy(block + i * elementSize, &place, sizeof(place));
      ++i;
    }
  }
  *count = i;
  return block;
}

void RegionHashTable_print(const RegionHashTable* table, FILE* stream) {
  if (!table || !stream) return;
  fputs("Hash Table\n", stream);
  for (uint64_t b = 0; b < table->m_size; ++b) {
    uint64_t place = 0;
    for (const RegionHashNode* n = table->m_buckets[b]; n; n = n->m_next) {
      const char* name = RegionNameRecord_getName(static_cast<const RegionNameRecord*>(n->m_entry));
      fprintf(stream, "Entry %10" PRIu64 " off element %10" PRIu64 ": %s (%p)\n", ++place, b, name ? name : "(null)",
              n->m_entry);
    }
  }
  fputs("Hash Table\n", stream);
}

void RegionHashTable_printStatistics(const RegionHashTable* table, FILE* stream) {
  if (!table || !stream) return;
  uint64_t longest = 0, at = 0;
  for (uint64_t b = 0; b < table->m_size; ++b) {
    uint64_t length = 0;
    for (const RegionHashNode* n = table->m_buckets[b]; n; n = n->m_next) ++length;
    if (length > longest) {
      longest = length;
      at = b;
    }
  }
  fprintf(stream, "Maximum Chain Length %" PRIu64 " at table pos %" PRIu64 ".\n", longest, at);
}

void RegionHashTable_setKey(RegionHashTable* table, RegionKeyFunction key, int exact) {
  if (!table) return;
  table->m_key = key;
  table->m_exactKeys = key && exact;
  dropIndex(table);
  if (key && table->m_count > 0) buildIndex(table, table->m_count);
}

uint64_t RegionHashTable_idKey(const void* entry) {
  uint64_t id;
  memcpy(&id, entry, sizeof(id));
  return id;
}

uint64_t RegionHashTable_textKey(const void* text) {
  size_t length;
  return RegionHashTable_textKeyAndLength(text, &length);
}

uint64_t RegionHashTable_textKeyAndLength(const void* text, size_t* length) {
  // Eight bytes at a time, each word mixed in by a multiplication.
  const char* p = static_cast<const char*>(text);
  size_t n = strlen(p);
  *length = n;
  uint64_t h = UINT64_C(0xCBF29CE484222325) ^ n;
  for (; n >= 8; n -= 8, p += 8) {
    uint64_t w;
    memcpy(&w, p, 8);
    h = (h ^ w) * UINT64_C(0x9E3779B97F4A7C15);
    h ^= h >> 29;
  }
  // The last 1 to 7 bytes as a word of their own (zero above them), read in at most two loads
  // instead of byte by byte (which also kept the word from being read straight back).
  uint64_t w = 0;
  if (n > 0 && *length >= 8) {
    memcpy(&w, p + n - 8, 8);
    w >>= 8 * (8 - n);
  } else if (n >= 4) {
    uint32_t low, high;
    memcpy(&low, p, 4);
    memcpy(&high, p + n - 4, 4);
    w = low | (uint64_t(high) << (8 * (n - 4)));
  } else if (n >= 2) {
    uint16_t low, high;
    memcpy(&low, p, 2);
    memcpy(&high, p + n - 2, 2);
    w = low | (uint64_t(high) << (8 * (n - 2)));
  } else if (n == 1) {
    w = static_cast<unsigned char>(*p);
  }
  h = (h ^ w) * UINT64_C(0x9E3779B97F4A7C15);
  return h ^ (h >> 32);
}

uint64_t RegionHashTable_hashId(uint64_t size, const void* key) {
  uint64_t id;
  memcpy(&id, key, sizeof(id));
  return size ? id % size : 0;
}

int RegionHashTable_compareIds(const void* a, const void* b) {
  uint64_t x, y;
  memcpy(&x, a, sizeof(x));
  memcpy(&y, b, sizeof(y));
  return x < y ? -1 : (x > y ? 1 : 0);
}
