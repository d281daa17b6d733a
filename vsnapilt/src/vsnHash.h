// String-keyed chained hash table of the command-language library: the path table of a
// handle and the scratch label table of child listings. Keys are copied in; values are
// opaque and never freed by the table.
#ifndef VSN_HASH_H
#define VSN_HASH_H

#include <cstdint>

// (bucket count, key) -> bucket index in [0, bucket count).
typedef int32_t (*vsnHashFunction)(int32_t size, const char* key);

struct vsnHashNode {
  char* m_key;           // owned copy; NULL on an empty node
  void* m_value;         // opaque
  vsnHashNode* m_next;
  int32_t m_count;       // entries from this node to the end of its chain (the bucket's total on a head)
};

struct vsnHash {
  vsnHashNode* m_buckets;  // one head node per bucket
  int32_t m_size;          // bucket count
  vsnHashFunction m_hash;
  int32_t m_numEntries;
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
int32_t vsnHashStatistics(const vsnHash* table, int verbosity);

#endif
