// String-keyed chained hash table of the command-language library: the path table of a
// handle and the scratch label table of child listings. Keys are copied in; values are
// opaque and never freed by the table.
#ifndef VSN_HASH_H
#define VSN_HASH_H

#include <cstddef>
#include <cstdint>

// (bucket count, key) -> bucket index in [0, bucket count).
typedef int32_t (*vsnHashFunction)(int32_t size, const char* key);

struct vsnHashNode {
  char* m_key;           // owned copy; NULL on an empty node
  void* m_value;         // opaque
  vsnHashNode* m_next;
  int32_t m_count;       // entries from this node to the end of its chain (the bucket's total on a head)
  uint32_t m_keyLength;  // the key's length (its low 32 bits): compared before the keys themselves
};

// A look-up index beside the chains: open addressing by a quick hash of the key, so that a
// look-up needs neither the bucket hash (a chain of a remainder per byte) nor a chain walk.
// The first vsnHashInsert starts the index; a table given entries through vsnHashAddNew, whose
// callers work the buckets out anyway and look up through vsnHashLookupIn, drops it for good.
struct vsnHashSlot {
  vsnHashNode* m_node;  // NULL on a free slot
  uint64_t m_quick;     // the key's quick hash
};

// A table with an index lays its chains out only when something looks at them (vsnHashLayOut,
// vsnHashStatistics, vsnHashRemove, vsnHashLookupIn, vsnHashAddNew, vsnHashSetFunction): the
// insertions and resizes since the last layout are kept in order and replayed then, giving
// the very chains, counts and order that placing every entry at once would have given. Until
// then m_buckets is NULL; the index answers look-ups meanwhile.
struct vsnHash {
  vsnHashNode* m_buckets;  // one head node per bucket; NULL while the chains are not laid out
  int32_t m_size;          // bucket count (0 once cleared)
  vsnHashFunction m_hash;
  int32_t m_numEntries;
  vsnHashSlot* m_index;    // a power of two of slots, or NULL
  uint64_t m_indexMask;
  int32_t m_indexed;       // 0 before the first insertion, 1 keeping an index, -1 never again
  vsnHashNode* m_chains;   // the chains as last laid out (m_buckets when nothing happened since)
  int32_t m_chainSize;     // their bucket count
  int32_t m_chainEntries;  // the entries they hold
  vsnHashNode* m_pending;  // entries inserted since, oldest first, linked by m_next; the m_count
  vsnHashNode* m_pendingLast;  // of each says how many of the resizes below came before it
  void* m_blocks;          // where those entries and their keys are carved from
  int32_t* m_resizes;      // the sizes the table took since, in order
  int32_t m_resizeCount;
  int32_t m_resizeCapacity;
};

// The bucket counts, in rising order.
extern const int32_t vsnPrimeScale[53];
enum { VSN_PRIME_COUNT = 53 };

vsnHash* vsnHashNew(int32_t requestedSize);
int vsnHashInit(vsnHash* table, int32_t requestedSize);
int32_t vsnPrimeAtLeast(int64_t n);
int32_t vsnHashString(int32_t size, const char* key);
int vsnHashInsert(vsnHash* table, const char* key, void* value);
void* vsnHashLookup(const vsnHash* table, const char* key);
int vsnHashRemove(vsnHash* table, const char* key, void** value);
int vsnHashReserve(vsnHash* table, int64_t extra);
int vsnHashResize(vsnHash* table, int64_t n);
int vsnHashSetFunction(vsnHash* table, vsnHashFunction function);
void vsnHashClear(vsnHash* table);
void vsnHashFree(vsnHash* table);
int32_t vsnHashStatistics(vsnHash* table, int verbosity);
// Lays the chains out (a no-op when they are): m_buckets then shows every entry until the next
// insertion or resize. 0 when the table is cleared or memory ran out.
int vsnHashLayOut(vsnHash* table);

// vsnHashString fed in pieces: the state after a key's first bytes carries on to the same
// result as hashing the whole key at once, at the table size it was started for. A path table
// hashes each new path from its parent's state and only the new step.
struct vsnHashState {
  int32_t m_size;       // table size the state was started for; 0 when never started
  int32_t m_h;
  int32_t m_a;
  uint64_t m_bySize;    // reciprocals of size and size - 1 for exact remainders
  uint64_t m_bySizeLess1;
};
void vsnHashStart(vsnHashState* state, int32_t size);
void vsnHashFeed(vsnHashState* state, const char* bytes, size_t n);
// The bucket of the key fed into state, or -1 when the state was started for another size or
// the table does not hash with vsnHashString, or keeps an index (its chains are laid out only
// when looked at: such a table is used through vsnHashLookup and vsnHashInsert).
int32_t vsnHashStateBucket(const vsnHash* table, const vsnHashState* state);
// Look-up and insertion in a bucket the caller has worked out for key. vsnHashAddNew is for a
// key known to be absent and does not grow the table: call vsnHashReserve (table, 0) first and
// work the bucket out after it, as vsnHashInsert would. Both lay the chains out first.
void* vsnHashLookupIn(vsnHash* table, int32_t bucket, const char* key, size_t length);
int vsnHashAddNew(vsnHash* table, int32_t bucket, const char* key, size_t length, void* value);

#endif
