#include "vsnHash.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

const int32_t vsnPrimeScale[VSN_PRIME_COUNT] = {
    41,      127,     163,     211,     263,     331,     419,     523,     653,     821,     1031,
    1289,    1613,    2017,    2521,    3163,    3967,    4967,    6211,    7789,    9739,    12197,
    15259,   19073,   23857,   29833,   37307,   46633,   58309,   72889,   91121,   113903,  142381,
    177979,  222493,  278119,  347651,  434563,  543203,  679033,  848791,  1060991, 1326239, 1657801,
    2072267, 2590349, 3237947, 4047469, 5059363, 6324203, 7905253, 9881569, 12351967};

namespace {

const int32_t kLargestPrime = vsnPrimeScale[VSN_PRIME_COUNT - 1];

// Bucket of a key at a size; a hash function that strays outside the table is folded back into it.
int32_t bucketAt(vsnHashFunction hash, int32_t size, const char* key) {
  int32_t b = hash(size, key);
  if (b < 0 || b >= size) {
    b %= size;
    if (b < 0) b += size;
  }
  return b;
}

// The node of a bucket that holds key, or NULL.
vsnHashNode* findInBucket(vsnHashNode* head, const char* key, size_t length) {
  const uint32_t length32 = static_cast<uint32_t>(length);
  for (vsnHashNode* n = head; n && n->m_key; n = n->m_next) {
    if (n->m_keyLength == length32 && strcmp(n->m_key, key) == 0) return n;
  }
  return nullptr;
}

// The quick hash of the look-up index: eight bytes at a time, each pair folded by a full
// 64x64-bit product.
uint64_t fold(uint64_t a, uint64_t b) {
  unsigned __int128 r = static_cast<unsigned __int128>(a) * b;
  return static_cast<uint64_t>(r) ^ static_cast<uint64_t>(r >> 64);
}

uint64_t quickHash(const char* key, size_t length) {
  const uint64_t k0 = 0xa0761d6478bd642full, k1 = 0xe7037ed1a0b428dbull, k2 = 0x8ebc6af09c88c6e3ull;
  uint64_t h = fold(length ^ k0, k1);
  size_t n = length;
  const char* p = key;
  while (n > 16) {
    uint64_t x, y;
    memcpy(&x, p, 8);
    memcpy(&y, p + 8, 8);
    h = fold(x ^ k1, y ^ h);
    p += 16;
    n -= 16;
  }
  uint64_t x = 0, y = 0;
  if (n > 8) {
    memcpy(&x, p, 8);
    memcpy(&y, p + n - 8, 8);  // overlaps x: the length is folded in already
  } else {
    memcpy(&x, p, n);
  }
  return fold(fold(x ^ k2, y ^ h), k0 ^ h);
}

size_t firstSlot(const vsnHash* table, uint64_t quick) { return static_cast<size_t>(quick & table->m_indexMask); }

// The index slot of a node, or NULL.
vsnHashSlot* slotOfNode(const vsnHash* table, const vsnHashNode* node) {
  uint64_t quick = quickHash(node->m_key, node->m_keyLength);
  for (size_t i = firstSlot(table, quick);; i = (i + 1) & table->m_indexMask) {
    vsnHashSlot* s = &table->m_index[i];
    if (!s->m_node) return nullptr;
    if (s->m_node == node) return s;
  }
}

vsnHashNode* indexFind(const vsnHash* table, const char* key, size_t length, uint64_t quick) {
  const uint32_t length32 = static_cast<uint32_t>(length);
  for (size_t i = firstSlot(table, quick);; i = (i + 1) & table->m_indexMask) {
    const vsnHashSlot& s = table->m_index[i];
    if (!s.m_node) return nullptr;
    if (s.m_quick == quick && s.m_node->m_keyLength == length32 && strcmp(s.m_node->m_key, key) == 0) return s.m_node;
  }
}

void indexPut(vsnHash* table, vsnHashNode* node, uint64_t quick) {
  size_t i = firstSlot(table, quick);
  while (table->m_index[i].m_node) i = (i + 1) & table->m_indexMask;
  table->m_index[i].m_node = node;
  table->m_index[i].m_quick = quick;
}

// Empties a slot, moving later slots of the run back so that no probe stops short.
void indexErase(vsnHash* table, vsnHashSlot* slot) {
  size_t hole = static_cast<size_t>(slot - table->m_index);
  for (size_t i = (hole + 1) & table->m_indexMask; table->m_index[i].m_node; i = (i + 1) & table->m_indexMask) {
    size_t home = firstSlot(table, table->m_index[i].m_quick);
    // The entry may fill the hole when its home does not lie in (hole, i].
    if (((i - home) & table->m_indexMask) >= ((i - hole) & table->m_indexMask)) {
      table->m_index[hole] = table->m_index[i];
      hole = i;
    }
  }
  table->m_index[hole].m_node = nullptr;
}

void indexDrop(vsnHash* table) {
  free(table->m_index);
  table->m_index = nullptr;
  table->m_indexMask = 0;
}

// Every entry put into the (emptied) index afresh: the laid-out chains, then those waiting.
void indexFill(vsnHash* table) {
  memset(table->m_index, 0, (table->m_indexMask + 1) * sizeof(vsnHashSlot));
  for (int32_t b = 0; table->m_chains && b < table->m_chainSize; ++b) {
    for (vsnHashNode* n = &table->m_chains[b]; n && n->m_key; n = n->m_next) {
      indexPut(table, n, quickHash(n->m_key, n->m_keyLength));
    }
  }
  for (vsnHashNode* n = table->m_pending; n; n = n->m_next) indexPut(table, n, quickHash(n->m_key, n->m_keyLength));
}

// Slots for the entries held and one more, at a third full or less.
size_t indexSlotsFor(int64_t entries) {
  int64_t want = 3 * (entries + 1);
  size_t slots = 16;
  while (static_cast<int64_t>(slots) < want) slots *= 2;
  return slots;
}

// Starts the index of a table (0 when there is no memory for it).
int indexStart(vsnHash* table) {
  size_t slots = indexSlotsFor(table->m_numEntries);
  vsnHashSlot* index = static_cast<vsnHashSlot*>(calloc(slots, sizeof(vsnHashSlot)));
  if (!index) return 0;
  table->m_index = index;
  table->m_indexMask = slots - 1;
  indexFill(table);
  return 1;
}

// Room in the index for one more entry: an index about to pass 70 % full moves its slots into
// one larger by their quick hashes. 0 when it is full and cannot grow.
int indexMakeRoom(vsnHash* table) {
  const uint64_t slots = table->m_indexMask + 1;
  if (10 * (static_cast<uint64_t>(table->m_numEntries) + 1) <= 7 * slots) return 1;
  size_t bigger = indexSlotsFor(table->m_numEntries);
  vsnHashSlot* index = bigger > slots ? static_cast<vsnHashSlot*>(calloc(bigger, sizeof(vsnHashSlot))) : nullptr;
  if (!index) return static_cast<uint64_t>(table->m_numEntries) + 2 < slots;  // a fuller index still works
  vsnHashSlot* old = table->m_index;
  table->m_index = index;
  table->m_indexMask = bigger - 1;
  for (uint64_t i = 0; i < slots; ++i) {
    if (old[i].m_node) indexPut(table, old[i].m_node, old[i].m_quick);
  }
  free(old);
  return 1;
}

// Room in the index for entries in all, made at once. An index that cannot be had now grows as
// it fills instead.
void indexReserve(vsnHash* table, int64_t entries) {
  const uint64_t slots = table->m_indexMask + 1;
  size_t bigger = indexSlotsFor(entries);
  if (bigger <= slots) return;
  vsnHashSlot* index = static_cast<vsnHashSlot*>(calloc(bigger, sizeof(vsnHashSlot)));
  if (!index) return;
  vsnHashSlot* old = table->m_index;
  table->m_index = index;
  table->m_indexMask = bigger - 1;
  for (uint64_t i = 0; i < slots; ++i) {
    if (old[i].m_node) indexPut(table, old[i].m_node, old[i].m_quick);
  }
  free(old);
}

// Places key and value in the bucket whose head is given, using a spare node when the head is
// taken. The caller guarantees a spare node when one can be needed.
vsnHashNode* placeEntry(vsnHashNode* head, char* key, uint32_t keyLength, void* value, vsnHashNode** spare) {
  if (!head->m_key) {
    head->m_key = key;
    head->m_keyLength = keyLength;
    head->m_value = value;
    head->m_count = 1;
    return head;
  }
  vsnHashNode* n = *spare;
  *spare = n->m_next;
  n->m_key = key;
  n->m_keyLength = keyLength;
  n->m_value = value;
  n->m_count = head->m_count;
  n->m_next = head->m_next;
  head->m_next = n;
  head->m_count += 1;
  return n;
}

// Remainder by a divisor fixed for one table size, by multiplication (Lemire's method): exact
// for every 32-bit dividend, and some ten times cheaper than a division per byte.
uint64_t reciprocal(uint32_t d) { return d > 1 ? UINT64_MAX / d + 1 : 0; }

uint32_t remainderOf(uint32_t v, uint64_t factor, uint32_t d) {
  if (d <= 1) return 0;
  uint64_t low = factor * v;
  return static_cast<uint32_t>((static_cast<unsigned __int128>(low) * d) >> 64);
}

// The remainder of a signed dividend, with its sign (as C's % gives it).
int32_t signedRemainderOf(int32_t v, uint64_t factor, uint32_t d) {
  if (v >= 0) return static_cast<int32_t>(remainderOf(static_cast<uint32_t>(v), factor, d));
  uint32_t magnitude = 0u - static_cast<uint32_t>(v);
  return -static_cast<int32_t>(remainderOf(magnitude, factor, d));
}

// What a byte adds to the bucket hash: 126 and 127 count as 0, bytes above 127 negatively.
struct ByteValues {
  int32_t m_value[256];
};

constexpr ByteValues makeByteValues() {
  ByteValues v{};
  for (int b = 0; b < 256; ++b) v.m_value[b] = b == 126 || b == 127 ? 0 : b > 127 ? b - 256 : b;
  return v;
}

constexpr ByteValues kByteValues = makeByteValues();

// A key whose bucket is wanted, and the bucket.
struct KeyBucket {
  const char* m_key;
  size_t m_length;
  int32_t m_bucket;
};

enum { kLanes = 4 };

// The high half of a 64x64-bit product.
inline uint64_t mulHigh(uint64_t x, uint64_t y) {
  return static_cast<uint64_t>((static_cast<unsigned __int128>(x) * y) >> 64);
}

// The bucket hash of several keys at one size, four at a time: each key's chain of products
// and remainders is serial, but the chains of different keys are independent, so their
// latencies overlap. The multiplier sequence does not depend on the key and is shared. Each
// key's last bytes beyond the shortest of its four are fed on their own.
void hashMany(int32_t size, KeyBucket* keys, size_t n) {
  vsnHashState start;
  vsnHashStart(&start, size);
  if (size <= 1) {
    for (size_t i = 0; i < n; ++i) keys[i].m_bucket = 0;
    return;
  }
  const uint32_t d = static_cast<uint32_t>(size);
  const uint64_t d64 = d;
  const uint64_t bySize = start.m_bySize, bySizeLess1 = start.m_bySizeLess1;
  size_t i = 0;
  for (; i + kLanes <= n; i += kLanes) {
    const unsigned char* p[kLanes];
    size_t shortest = keys[i].m_length;
    for (int lane = 0; lane < kLanes; ++lane) {
      p[lane] = reinterpret_cast<const unsigned char*>(keys[i + lane].m_key);
      if (keys[i + lane].m_length < shortest) shortest = keys[i + lane].m_length;
    }
    // One step of a lane: |sum % size| is the remainder of |sum|. The lanes are written out so
    // that their states stay in registers.
    auto step = [&](uint32_t h, unsigned char byte, int32_t a) {
      uint32_t sum = static_cast<uint32_t>(a) * h + static_cast<uint32_t>(kByteValues.m_value[byte]);
      uint32_t magnitude = static_cast<int32_t>(sum) < 0 ? 0u - sum : sum;
      return static_cast<uint32_t>(mulHigh(bySize * magnitude, d64));
    };
    uint32_t h0 = 0, h1 = 0, h2 = 0, h3 = 0;
    int32_t a = 31415;
    for (size_t j = 0; j < shortest; ++j) {
      h0 = step(h0, p[0][j], a);
      h1 = step(h1, p[1][j], a);
      h2 = step(h2, p[2][j], a);
      h3 = step(h3, p[3][j], a);
      a = signedRemainderOf(static_cast<int32_t>(static_cast<uint32_t>(a) * 27183u), bySizeLess1, d - 1);
    }
    const uint32_t h[kLanes] = {h0, h1, h2, h3};
    for (int lane = 0; lane < kLanes; ++lane) {
      vsnHashState state = start;
      state.m_h = static_cast<int32_t>(h[lane]);
      state.m_a = a;
      vsnHashFeed(&state, keys[i + lane].m_key + shortest, keys[i + lane].m_length - shortest);
      keys[i + lane].m_bucket = state.m_h;
    }
  }
  for (; i < n; ++i) {
    vsnHashState state = start;
    vsnHashFeed(&state, keys[i].m_key, keys[i].m_length);
    keys[i].m_bucket = state.m_h;
  }
}

// The buckets of keys at a size, as bucketAt gives them one by one.
void bucketsAt(vsnHashFunction hash, int32_t size, KeyBucket* keys, size_t n) {
  if (hash == vsnHashString) {
    hashMany(size, keys, n);
    return;
  }
  for (size_t i = 0; i < n; ++i) keys[i].m_bucket = bucketAt(hash, size, keys[i].m_key);
}

void freeNodeList(vsnHashNode* n) {
  while (n) {
    vsnHashNode* next = n->m_next;
    free(n);
    n = next;
  }
}

// Lays the chains out again at size, as the table has always done it: entries are moved chain
// nodes first, bucket by bucket, each node joining the spare pool before its entry is placed,
// so the pool never runs dry; the heads, which free no node, come last. The new bucket of every
// entry is worked out beforehand, all at once, in that order; the nodes the new layout needs
// beyond the old chain nodes are secured before anything moves, so running out of memory
// leaves the chains as they were.
int relayChains(vsnHash* table, int32_t size) {
  const int64_t entries = table->m_chainEntries;
  vsnHashNode* fresh = static_cast<vsnHashNode*>(calloc(static_cast<size_t>(size), sizeof(vsnHashNode)));
  KeyBucket* moves = static_cast<KeyBucket*>(malloc((static_cast<size_t>(entries) + 1) * sizeof(KeyBucket)));
  char* used = static_cast<char*>(calloc(static_cast<size_t>(size), 1));
  if (!fresh || !moves || !used) {
    free(fresh);
    free(moves);
    free(used);
    return 0;
  }
  vsnHashNode* const old = table->m_chains;
  const int32_t oldSize = table->m_chainSize;
  int64_t k = 0, chainNodes = 0;
  auto collect = [&](const char* key) {
    if (k < entries) moves[k] = KeyBucket{key, strlen(key), 0};
    ++k;
  };
  for (int32_t b = 0; b < oldSize; ++b) {
    for (vsnHashNode* p = old[b].m_next; p; p = p->m_next) {
      ++chainNodes;
      if (p->m_key) collect(p->m_key);
    }
  }
  for (int32_t b = 0; b < oldSize; ++b) {
    if (old[b].m_key) collect(old[b].m_key);
  }
  if (k != entries) {
    fprintf(stderr, "%s: table->numEntries == newTable.numEntries\n", __func__);
    abort();
  }
  bucketsAt(table->m_hash, size, moves, static_cast<size_t>(entries));
  int64_t needed = 0;
  for (int64_t i = 0; i < entries; ++i) {
    if (used[moves[i].m_bucket]) {
      ++needed;
    } else {
      used[moves[i].m_bucket] = 1;
    }
  }
  free(used);
  vsnHashNode* spare = nullptr;
  for (int64_t i = chainNodes; i < needed; ++i) {
    vsnHashNode* p = static_cast<vsnHashNode*>(calloc(1, sizeof(vsnHashNode)));
    if (!p) {
      freeNodeList(spare);
      free(moves);
      free(fresh);
      return 0;
    }
    p->m_next = spare;
    spare = p;
  }

  k = 0;
  for (int32_t b = 0; b < oldSize; ++b) {
    vsnHashNode* p = old[b].m_next;
    old[b].m_next = nullptr;
    while (p) {
      vsnHashNode* next = p->m_next;
      char* key = p->m_key;
      uint32_t keyLength = p->m_keyLength;
      void* value = p->m_value;
      p->m_next = spare;
      spare = p;
      if (key) placeEntry(&fresh[moves[k++].m_bucket], key, keyLength, value, &spare);
      p = next;
    }
  }
  for (int32_t b = 0; b < oldSize; ++b) {
    if (old[b].m_key) placeEntry(&fresh[moves[k++].m_bucket], old[b].m_key, old[b].m_keyLength, old[b].m_value, &spare);
  }
  free(moves);
  freeNodeList(spare);
  free(old);
  table->m_chains = fresh;
  table->m_chainSize = size;
  return 1;
}

// A waiting entry taken into the laid-out chains at its bucket, as an insertion places it:
// first in an empty bucket, else second. Its key and node are the table's own from here on
// (waiting entries live in blocks). 0 without memory for them.
int placePending(vsnHash* table, vsnHashNode* waiting, int32_t bucket, size_t length, bool fixIndex) {
  vsnHashNode* head = &table->m_chains[bucket];
  char* key = static_cast<char*>(malloc(length + 1));
  vsnHashNode* n = head->m_key ? static_cast<vsnHashNode*>(malloc(sizeof(vsnHashNode))) : head;
  if (!key || !n) {
    free(key);
    if (n != head) free(n);
    return 0;
  }
  memcpy(key, waiting->m_key, length + 1);
  if (fixIndex && table->m_index) {
    vsnHashSlot* slot = slotOfNode(table, waiting);
    if (slot) slot->m_node = n;
  }
  n->m_key = key;
  n->m_keyLength = waiting->m_keyLength;
  n->m_value = waiting->m_value;
  if (n == head) {
    head->m_count = 1;
  } else {
    n->m_count = head->m_count;
    n->m_next = head->m_next;
    head->m_next = n;
    head->m_count += 1;
  }
  table->m_chainEntries += 1;
  return 1;
}

// Blocks that waiting entries are carved from: a node followed by its key, one after another.
struct Block {
  Block* m_next;
  size_t m_used;
  size_t m_capacity;
  size_t m_spare;  // keeps the carved space 16-byte aligned
};

void freeBlocks(vsnHash* table) {
  for (Block* b = static_cast<Block*>(table->m_blocks); b;) {
    Block* next = b->m_next;
    free(b);
    b = next;
  }
  table->m_blocks = nullptr;
}

// Room for a node and a key of length bytes, or NULL. Blocks double up to a megabyte.
vsnHashNode* carveNode(vsnHash* table, size_t length) {
  const size_t need = sizeof(vsnHashNode) + ((length + 1 + 15) & ~static_cast<size_t>(15));
  Block* b = static_cast<Block*>(table->m_blocks);
  if (!b || b->m_capacity - b->m_used < need) {
    size_t capacity = b ? 2 * b->m_capacity : 4096;
    if (capacity > (1u << 20)) capacity = 1u << 20;
    if (capacity < need) capacity = need;
    Block* fresh = static_cast<Block*>(malloc(sizeof(Block) + capacity));
    if (!fresh) return nullptr;
    fresh->m_next = b;
    fresh->m_used = 0;
    fresh->m_capacity = capacity;
    table->m_blocks = b = fresh;
  }
  vsnHashNode* n = reinterpret_cast<vsnHashNode*>(reinterpret_cast<char*>(b + 1) + b->m_used);
  b->m_used += need;
  n->m_key = reinterpret_cast<char*>(n + 1);
  return n;
}

// Replays the insertions and resizes since the chains were last laid out, in their order. The
// entries inserted between two resizes have their buckets worked out together. An entry that
// cannot be given its key and node leaves itself and what follows waiting (0).
int layOut(vsnHash* table) {
  if (table->m_buckets) return 1;
  if (table->m_size == 0 || !table->m_chains) return 0;
  enum { kRun = 64 };
  KeyBucket run[kRun];
  vsnHashNode* nodes[kRun];
  int32_t done = 0;
  bool relaid = false;
  int ok = 1;
  for (;;) {
    vsnHashNode* first = table->m_pending;
    const int32_t epoch = first ? first->m_count : table->m_resizeCount;
    // A resize that cannot be had now is passed over, as a growth that failed at once would
    // have been: the table stays at its size, only fuller.
    for (; done < epoch; ++done) {
      if (relayChains(table, table->m_resizes[done])) relaid = true;
    }
    if (!first) break;
    int m = 0;
    for (vsnHashNode* p = first; p && m < kRun && p->m_count == epoch; p = p->m_next) {
      nodes[m] = p;
      run[m] = KeyBucket{p->m_key, strlen(p->m_key), 0};
      ++m;
    }
    bucketsAt(table->m_hash, table->m_chainSize, run, static_cast<size_t>(m));
    for (int i = 0; i < m && ok; ++i) {
      if (!placePending(table, nodes[i], run[i].m_bucket, run[i].m_length, !relaid)) {
        ok = 0;
      } else {
        table->m_pending = nodes[i]->m_next;
      }
    }
    if (!ok) break;
  }
  if (!table->m_pending) {
    table->m_pendingLast = nullptr;
    freeBlocks(table);
  }
  if (done > 0) {
    table->m_resizeCount -= done;
    memmove(table->m_resizes, table->m_resizes + done, static_cast<size_t>(table->m_resizeCount) * sizeof(int32_t));
    for (vsnHashNode* p = table->m_pending; p; p = p->m_next) p->m_count -= done;
  }
  // Resizes moved every entry to another node.
  if (relaid && table->m_index) indexFill(table);
  if (ok) {
    table->m_buckets = table->m_chains;
    table->m_size = table->m_chainSize;
  }
  return ok;
}

// Notes a resize of a table that lays out later.
int noteResize(vsnHash* table, int32_t size) {
  if (table->m_resizeCount == table->m_resizeCapacity) {
    int32_t capacity = table->m_resizeCapacity ? 2 * table->m_resizeCapacity : 8;
    int32_t* grown = static_cast<int32_t*>(realloc(table->m_resizes, static_cast<size_t>(capacity) * sizeof(int32_t)));
    if (!grown) return 0;
    table->m_resizes = grown;
    table->m_resizeCapacity = capacity;
  }
  table->m_resizes[table->m_resizeCount++] = size;
  table->m_size = size;
  table->m_buckets = nullptr;
  return 1;
}

// An entry placed in the laid-out chains at once.
int insertLaidOut(vsnHash* table, const char* key, size_t length, void* value) {
  vsnHashNode* head = &table->m_buckets[bucketAt(table->m_hash, table->m_size, key)];
  vsnHashNode* n = findInBucket(head, key, length);
  if (n) {
    n->m_value = value;
    return 1;
  }
  char* copy = static_cast<char*>(malloc(length + 1));
  if (!copy) return 0;
  memcpy(copy, key, length + 1);
  vsnHashNode* spare = nullptr;
  if (head->m_key) {
    spare = static_cast<vsnHashNode*>(calloc(1, sizeof(vsnHashNode)));
    if (!spare) {
      free(copy);
      return 0;
    }
  }
  placeEntry(head, copy, static_cast<uint32_t>(length), value, &spare);
  table->m_numEntries += 1;
  table->m_chainEntries += 1;
  return 1;
}

// An entry of an indexed table: found through the index, or put in it and left waiting for the
// next layout. An index that can take no more gives way to laid-out chains.
int insertIndexed(vsnHash* table, const char* key, size_t length, void* value) {
  uint64_t quick = quickHash(key, length);
  vsnHashNode* n = indexFind(table, key, length, quick);
  if (n) {
    n->m_value = value;
    return 1;
  }
  if (!indexMakeRoom(table)) {
    if (!layOut(table)) return 0;
    indexDrop(table);
    table->m_indexed = -1;
    return insertLaidOut(table, key, length, value);
  }
  n = carveNode(table, length);
  if (!n) return 0;
  memcpy(n->m_key, key, length + 1);
  n->m_value = value;
  n->m_next = nullptr;
  n->m_count = table->m_resizeCount;
  n->m_keyLength = static_cast<uint32_t>(length);
  if (table->m_pendingLast) {
    table->m_pendingLast->m_next = n;
  } else {
    table->m_pending = n;
  }
  table->m_pendingLast = n;
  indexPut(table, n, quick);
  table->m_numEntries += 1;
  table->m_buckets = nullptr;
  return 1;
}

} // namespace

int32_t vsnPrimeAtLeast(int64_t n) {
  for (int i = 0; i < VSN_PRIME_COUNT; ++i) {
    if (vsnPrimeScale[i] >= n) return vsnPrimeScale[i];
  }
  return 0;
}

void vsnHashStart(vsnHashState* state, int32_t size) {
  state->m_size = size;
  state->m_h = 0;
  state->m_a = 31415;
  state->m_bySize = size > 1 ? reciprocal(static_cast<uint32_t>(size)) : 0;
  state->m_bySizeLess1 = size > 1 ? reciprocal(static_cast<uint32_t>(size - 1)) : 0;
}

// The hash is defined in 32-bit signed arithmetic with wrapping products; the products and
// sums are formed unsigned (wrapping is defined there) and read back as signed.
void vsnHashFeed(vsnHashState* state, const char* bytes, size_t n) {
  if (state->m_size <= 1) return;
  const uint32_t size = static_cast<uint32_t>(state->m_size);
  const uint64_t bySize = state->m_bySize, bySizeLess1 = state->m_bySizeLess1;
  int32_t a = state->m_a;
  int32_t h = state->m_h;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes);
  for (const unsigned char* end = p + n; p < end; ++p) {
    uint32_t sum = static_cast<uint32_t>(a) * static_cast<uint32_t>(h) + static_cast<uint32_t>(kByteValues.m_value[*p]);
    h = signedRemainderOf(static_cast<int32_t>(sum), bySize, size);
    if (h < 0) h = -h;
    uint32_t prod = static_cast<uint32_t>(a) * 27183u;
    a = signedRemainderOf(static_cast<int32_t>(prod), bySizeLess1, size - 1);
  }
  state->m_a = a;
  state->m_h = h;
}

int32_t vsnHashString(int32_t size, const char* key) {
  if (!key || size <= 1) return 0;
  vsnHashState state;
  vsnHashStart(&state, size);
  vsnHashFeed(&state, key, strlen(key));
  return state.m_h;
}

int32_t vsnHashStateBucket(const vsnHash* table, const vsnHashState* state) {
  if (!table || !state || !table->m_buckets || table->m_index || table->m_hash != vsnHashString ||
      state->m_size != table->m_size) {
    return -1;
  }
  return state->m_size > 1 ? state->m_h : 0;
}

void* vsnHashLookupIn(vsnHash* table, int32_t bucket, const char* key, size_t length) {
  if (!table || !key || table->m_size == 0 || !layOut(table) || bucket < 0 || bucket >= table->m_size) return nullptr;
  vsnHashNode* n = findInBucket(&table->m_buckets[bucket], key, length);
  return n ? n->m_value : nullptr;
}

int vsnHashAddNew(vsnHash* table, int32_t bucket, const char* key, size_t length, void* value) {
  if (!table || !key || table->m_size == 0 || !layOut(table) || bucket < 0 || bucket >= table->m_size) return 0;
  vsnHashNode* head = &table->m_buckets[bucket];
  indexDrop(table);
  table->m_indexed = -1;
  char* copy = static_cast<char*>(malloc(length + 1));
  if (!copy) return 0;
  memcpy(copy, key, length);
  copy[length] = '\0';
  vsnHashNode* spare = nullptr;
  if (head->m_key) {
    spare = static_cast<vsnHashNode*>(calloc(1, sizeof(vsnHashNode)));
    if (!spare) {
      free(copy);
      return 0;
    }
  }
  placeEntry(head, copy, static_cast<uint32_t>(length), value, &spare);
  table->m_numEntries += 1;
  table->m_chainEntries += 1;
  return 1;
}

int vsnHashInit(vsnHash* table, int32_t requestedSize) {
  if (!table) return 0;
  int32_t size = vsnPrimeAtLeast(requestedSize);
  if (size == 0) {
    size = kLargestPrime;
    if (requestedSize / kLargestPrime > 100) {
      fprintf(stderr,
              "WARNING: requested table size is much larger than the maximum-sized available table, "
              "forcing poor hash table performance.  Please increase the vsnPrimeScale[] table.\n");
    }
  }
  vsnHashNode* buckets = static_cast<vsnHashNode*>(calloc(static_cast<size_t>(size), sizeof(vsnHashNode)));
  if (!buckets) return 0;
  table->m_buckets = buckets;
  table->m_size = size;
  table->m_hash = vsnHashString;
  table->m_numEntries = 0;
  table->m_index = nullptr;
  table->m_indexMask = 0;
  table->m_indexed = 0;
  table->m_chains = buckets;
  table->m_chainSize = size;
  table->m_chainEntries = 0;
  table->m_pending = nullptr;
  table->m_pendingLast = nullptr;
  table->m_blocks = nullptr;
  table->m_resizes = nullptr;
  table->m_resizeCount = 0;
  table->m_resizeCapacity = 0;
  return 1;
}

vsnHash* vsnHashNew(int32_t requestedSize) {
  vsnHash* table = static_cast<vsnHash*>(calloc(1, sizeof(vsnHash)));
  if (!table) return nullptr;
  if (!vsnHashInit(table, requestedSize)) {
    free(table);
    return nullptr;
  }
  return table;
}

void* vsnHashLookup(const vsnHash* table, const char* key) {
  if (!table || !key || table->m_size == 0) return nullptr;
  size_t length = strlen(key);
  vsnHashNode* n;
  if (table->m_index) {
    n = indexFind(table, key, length, quickHash(key, length));
  } else {
    if (!table->m_buckets) return nullptr;
    n = findInBucket(&table->m_buckets[bucketAt(table->m_hash, table->m_size, key)], key, length);
  }
  return n ? n->m_value : nullptr;
}

int vsnHashInsert(vsnHash* table, const char* key, void* value) {
  if (!table || !key) return 0;
  if (table->m_size == 0) {
    // A cleared table starts again at the smallest size, keeping its hash function.
    vsnHashFunction fn = table->m_hash;
    if (!vsnHashInit(table, 1)) return 0;
    if (fn) table->m_hash = fn;
  }
  vsnHashReserve(table, 0);  // a failed growth leaves a working, only fuller, table
  if (table->m_indexed == 0) table->m_indexed = indexStart(table) ? 1 : -1;
  size_t length = strlen(key);
  if (table->m_indexed == 1) return insertIndexed(table, key, length, value);
  if (!table->m_buckets) return 0;
  return insertLaidOut(table, key, length, value);
}

int vsnHashRemove(vsnHash* table, const char* key, void** value) {
  if (!table || !key || table->m_size == 0) return 0;
  size_t length = strlen(key);
  // A key the index does not hold needs no layout.
  if (table->m_index && !indexFind(table, key, length, quickHash(key, length))) return 0;
  if (!layOut(table)) return 0;
  vsnHashNode* head = &table->m_buckets[bucketAt(table->m_hash, table->m_size, key)];
  vsnHashNode* n = findInBucket(head, key, length);
  if (!n) return 0;
  if (value) *value = n->m_value;
  if (table->m_index) {
    vsnHashSlot* slot = slotOfNode(table, n);
    if (slot) indexErase(table, slot);
    // The next entry of the chain moves into this node below.
    if (n->m_next && n->m_next->m_key && (slot = slotOfNode(table, n->m_next))) slot->m_node = n;
  }
  free(n->m_key);
  n->m_key = nullptr;
  n->m_value = nullptr;
  // Every node from the head down to the removed one counted it.
  for (vsnHashNode* p = head;; p = p->m_next) {
    p->m_count -= 1;
    if (p == n) break;
  }
  vsnHashNode* next = n->m_next;
  if (next) {
    n->m_key = next->m_key;
    n->m_keyLength = next->m_keyLength;
    n->m_value = next->m_value;
    n->m_next = next->m_next;
    free(next);
  }
  table->m_numEntries -= 1;
  table->m_chainEntries -= 1;
  return 1;
}

int vsnHashReserve(vsnHash* table, int64_t extra) {
  if (!table) return 0;
  if (extra < 0) extra = 0;
  // The index is made big enough for what is reserved at once (started now if it would start
  // with the first insertion), rather than doubled over and over as a load fills it.
  // A cleared table (size 0) is left as it is: its first insertion makes it anew.
  if (extra > 0 && table->m_size > 0) {
    if (table->m_indexed == 0 && table->m_numEntries == 0) table->m_indexed = indexStart(table) ? 1 : -1;
    if (table->m_index) indexReserve(table, static_cast<int64_t>(table->m_numEntries) + extra);
  }
  int64_t n = (static_cast<int64_t>(table->m_numEntries) + extra) / 3;
  if (n > table->m_size) return vsnHashResize(table, 2 * n);
  return 1;
}

// Rebuilds the table at the prime for n; an indexed table only notes it, for the next layout.
int vsnHashResize(vsnHash* table, int64_t n) {
  if (!table || table->m_size == 0) return 0;
  int32_t size = vsnPrimeAtLeast(n);
  if (size == 0) size = kLargestPrime;
  if (table->m_indexed == 1) return noteResize(table, size);
  if (!table->m_buckets || !relayChains(table, size)) return 0;
  table->m_buckets = table->m_chains;
  table->m_size = size;
  return 1;
}

int vsnHashSetFunction(vsnHash* table, vsnHashFunction function) {
  if (!table) return 0;
  // What waits is laid out by the function it came under.
  if (table->m_size > 0 && !layOut(table)) return 0;
  table->m_hash = function ? function : vsnHashString;
  // Entries placed by the old function would be lost to lookups: place them again.
  if (table->m_size > 0 && table->m_numEntries > 0) vsnHashResize(table, table->m_size);
  return 1;
}

void vsnHashClear(vsnHash* table) {
  if (!table || table->m_size == 0) return;
  for (int32_t b = 0; table->m_chains && b < table->m_chainSize; ++b) {
    vsnHashNode* head = &table->m_chains[b];
    free(head->m_key);
    vsnHashNode* p = head->m_next;
    while (p) {
      vsnHashNode* next = p->m_next;
      free(p->m_key);
      free(p);
      p = next;
    }
  }
  freeBlocks(table);
  free(table->m_chains);
  free(table->m_resizes);
  indexDrop(table);
  table->m_buckets = nullptr;
  table->m_chains = nullptr;
  table->m_chainSize = 0;
  table->m_chainEntries = 0;
  table->m_pending = nullptr;
  table->m_pendingLast = nullptr;
  table->m_resizes = nullptr;
  table->m_resizeCount = 0;
  table->m_resizeCapacity = 0;
  table->m_size = 0;
  table->m_numEntries = 0;
}

void vsnHashFree(vsnHash* table) {
  if (!table) return;
  vsnHashClear(table);
  free(table);
}

int vsnHashLayOut(vsnHash* table) {
  if (!table || table->m_size == 0) return 0;
  return layOut(table);
}

int32_t vsnHashStatistics(vsnHash* table, int verbosity) {
  if (!table || table->m_size == 0 || !layOut(table)) return 0;
  int32_t nonEmpty = 0, empty = 0, counted = 0;
  int32_t shortest = 0, longest = 0;
  int32_t runStart = -1;
  for (int32_t b = 0; b < table->m_size; ++b) {
    int32_t depth = 0;
    for (const vsnHashNode* p = &table->m_buckets[b]; p && p->m_key; p = p->m_next) ++depth;
    if (depth == 0) {
      ++empty;
      if (runStart < 0) runStart = b;
      continue;
    }
    if (verbosity >= 2) {
      if (runStart >= 0) {
        if (runStart == b - 1) {
          printf("%d none\n", runStart);
        } else {
          printf("%d-%d none\n", runStart, b - 1);
        }
      }
      printf("%d: %d\n", b, table->m_buckets[b].m_count);
    }
    runStart = -1;
    if (nonEmpty == 0 || depth < shortest) shortest = depth;
    if (depth > longest) longest = depth;
    ++nonEmpty;
    counted += depth;
  }
  if (verbosity >= 1) {
    // Average depth of the filled buckets, and the depth an ideal spread would give.
    double average = nonEmpty ? static_cast<double>(counted) / nonEmpty : 0.0;
    double ideal = static_cast<double>(counted) / table->m_size;
    printf("\ntsize\tempty\tnumobj\ts|ldep\tav dep\tidl av dep\t%% empty\n");
    printf("%d\t%d\t%d\t(%d|%d)\t%.2f\t%.2f\t\t%.2f%%\n\n", table->m_size, empty, counted, shortest,
           longest, average, ideal, 100.0 * empty / table->m_size);
    if (counted != table->m_numEntries) {
      printf("WARNING: counted %d entries, but the table claims to contain %d\n\n", counted,
             table->m_numEntries);
    }
  }
  return nonEmpty;
}
