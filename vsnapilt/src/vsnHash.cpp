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

// Bucket of a key; a hash function that strays outside the table is folded back into it.
int32_t bucketOf(const vsnHash* table, const char* key) {
  int32_t b = table->m_hash(table->m_size, key);
  if (b < 0 || b >= table->m_size) {
    b %= table->m_size;
    if (b < 0) b += table->m_size;
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

// Builds the index afresh for every entry, at a third full or less; without memory for it the
// table goes on without an index.
void indexRebuild(vsnHash* table) {
  free(table->m_index);
  table->m_index = nullptr;
  table->m_indexMask = 0;
  if (!table->m_buckets) return;
  int64_t want = 3 * (static_cast<int64_t>(table->m_numEntries) + 1);
  size_t slots = 16;
  while (static_cast<int64_t>(slots) < want) slots *= 2;
  vsnHashSlot* index = static_cast<vsnHashSlot*>(calloc(slots, sizeof(vsnHashSlot)));
  if (!index) return;
  table->m_index = index;
  table->m_indexMask = slots - 1;
  for (int32_t b = 0; b < table->m_size; ++b) {
    for (vsnHashNode* n = &table->m_buckets[b]; n && n->m_key; n = n->m_next) {
      indexPut(table, n, quickHash(n->m_key, n->m_keyLength));
    }
  }
}

// Records a newly placed entry; an index about to pass 70 % full is built again larger.
void indexAdd(vsnHash* table, vsnHashNode* node) {
  if (!table->m_index) return;
  if (10 * (static_cast<uint64_t>(table->m_numEntries) + 1) > 7 * (table->m_indexMask + 1)) {
    indexRebuild(table);  // the node is among the entries already
    return;
  }
  indexPut(table, node, quickHash(node->m_key, node->m_keyLength));
}

// The node holding key, or NULL; optionally the head of its bucket.
vsnHashNode* findNode(const vsnHash* table, const char* key, vsnHashNode** head) {
  vsnHashNode* h = &table->m_buckets[bucketOf(table, key)];
  if (head) *head = h;
  return findInBucket(h, key, strlen(key));
}

// The node holding key, through the index where there is one.
vsnHashNode* lookupNode(const vsnHash* table, const char* key, size_t length) {
  if (table->m_index) return indexFind(table, key, length, quickHash(key, length));
  return findInBucket(&table->m_buckets[bucketOf(table, key)], key, length);
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

} // namespace

int32_t vsnPrimeAtLeast(int64_t n) {
  for (int i = 0; i < VSN_PRIME_COUNT; ++i) {
    if (vsnPrimeScale[i] >= n) return vsnPrimeScale[i];
  }
  return 0;
}

namespace {

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

} // namespace

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
    int32_t c;
    if (*p == 126 || *p == 127) {
      c = 0;
    } else if (*p > 127) {
      c = static_cast<int32_t>(*p) - 256;
    } else {
      c = *p;
    }
    uint32_t sum = static_cast<uint32_t>(a) * static_cast<uint32_t>(h) + static_cast<uint32_t>(c);
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
  if (!table || !state || !table->m_buckets || table->m_hash != vsnHashString || state->m_size != table->m_size) {
    return -1;
  }
  return state->m_size > 1 ? state->m_h : 0;
}

void* vsnHashLookupIn(const vsnHash* table, int32_t bucket, const char* key, size_t length) {
  if (!table || !key || !table->m_buckets || bucket < 0 || bucket >= table->m_size) return nullptr;
  vsnHashNode* n = findInBucket(&table->m_buckets[bucket], key, length);
  return n ? n->m_value : nullptr;
}

int vsnHashAddNew(vsnHash* table, int32_t bucket, const char* key, size_t length, void* value) {
  if (!table || !key || !table->m_buckets || bucket < 0 || bucket >= table->m_size) return 0;
  vsnHashNode* head = &table->m_buckets[bucket];
  if (table->m_index) {
    free(table->m_index);
    table->m_index = nullptr;
    table->m_indexMask = 0;
  }
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
  vsnHashNode* placed = placeEntry(head, copy, static_cast<uint32_t>(length), value, &spare);
  indexAdd(table, placed);
  table->m_numEntries += 1;
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
  if (!table || !key || !table->m_buckets) return nullptr;
  vsnHashNode* n = lookupNode(table, key, strlen(key));
  return n ? n->m_value : nullptr;
}

int vsnHashInsert(vsnHash* table, const char* key, void* value) {
  if (!table || !key) return 0;
  if (!table->m_buckets) {
    // A cleared table starts again at the smallest size, keeping its hash function.
    vsnHashFunction fn = table->m_hash;
    if (!vsnHashInit(table, 1)) return 0;
    if (fn) table->m_hash = fn;
  }
  vsnHashReserve(table, 0);  // a failed growth leaves a working, only fuller, table
  if (table->m_indexed == 0) {
    table->m_indexed = 1;
    indexRebuild(table);
  }
  size_t length = strlen(key);
  vsnHashNode* head;
  vsnHashNode* n;
  if (table->m_index) {
    // The key's slot is fetched while the bucket hash is worked out.
    uint64_t quick = quickHash(key, length);
    __builtin_prefetch(&table->m_index[firstSlot(table, quick)]);
    head = &table->m_buckets[bucketOf(table, key)];
    n = indexFind(table, key, length, quick);
  } else {
    head = &table->m_buckets[bucketOf(table, key)];
    n = findInBucket(head, key, length);
  }
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
  vsnHashNode* placed = placeEntry(head, copy, static_cast<uint32_t>(length), value, &spare);
  indexAdd(table, placed);
  table->m_numEntries += 1;
  return 1;
}

int vsnHashRemove(vsnHash* table, const char* key, void** value) {
  if (!table || !key || !table->m_buckets) return 0;
  vsnHashNode* head;
  vsnHashNode* n = findNode(table, key, &head);
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
  return 1;
}

int vsnHashReserve(vsnHash* table, int64_t extra) {
  if (!table) return 0;
  if (extra < 0) extra = 0;
  int64_t n = (static_cast<int64_t>(table->m_numEntries) + extra) / 3;
  if (n > table->m_size) return vsnHashResize(table, 2 * n);
  return 1;
}

// Rebuilds the table at the prime for n. The nodes the new layout needs beyond the old chain
// nodes are secured before anything moves, so running out of memory leaves the table as it was.
int vsnHashResize(vsnHash* table, int64_t n) {
  if (!table || !table->m_buckets) return 0;
  int32_t size = vsnPrimeAtLeast(n);
  if (size == 0) size = kLargestPrime;

  vsnHash fresh;
  fresh.m_buckets = static_cast<vsnHashNode*>(calloc(static_cast<size_t>(size), sizeof(vsnHashNode)));
  if (!fresh.m_buckets) return 0;
  fresh.m_size = size;
  fresh.m_hash = table->m_hash;
  fresh.m_numEntries = 0;

  // Entries are moved chain nodes first, each node joining the spare pool before its entry is
  // placed, so the pool never runs dry; the heads, which free no node, come last. The new bucket
  // of every entry is worked out once, in that order, and kept when there is room to.
  int32_t* target = static_cast<int32_t*>(malloc((static_cast<size_t>(table->m_numEntries) + 1) * sizeof(int32_t)));
  int64_t needed = 0, chainNodes = 0;
  {
    char* used = static_cast<char*>(calloc(static_cast<size_t>(size), 1));
    if (!used) {
      free(target);
      free(fresh.m_buckets);
      return 0;
    }
    int64_t k = 0;
    auto count = [&](const char* key) {
      int32_t nb = bucketOf(&fresh, key);
      if (target && k < table->m_numEntries) target[k] = nb;
      ++k;
      if (used[nb]) {
        ++needed;
      } else {
        used[nb] = 1;
      }
    };
    for (int32_t b = 0; b < table->m_size; ++b) {
      for (vsnHashNode* p = table->m_buckets[b].m_next; p; p = p->m_next) {
        ++chainNodes;
        if (p->m_key) count(p->m_key);
      }
    }
    for (int32_t b = 0; b < table->m_size; ++b) {
      if (table->m_buckets[b].m_key) count(table->m_buckets[b].m_key);
    }
    free(used);
    if (k != table->m_numEntries) {
      free(target);
      target = nullptr;
    }
  }
  vsnHashNode* spare = nullptr;
  for (int64_t i = chainNodes; i < needed; ++i) {
    vsnHashNode* p = static_cast<vsnHashNode*>(calloc(1, sizeof(vsnHashNode)));
    if (!p) {
      while (spare) {
        vsnHashNode* next = spare->m_next;
        free(spare);
        spare = next;
      }
      free(target);
      free(fresh.m_buckets);
      return 0;
    }
    p->m_next = spare;
    spare = p;
  }

  int64_t k = 0;
  auto bucketFor = [&](const char* key) -> vsnHashNode* {
    int32_t nb = target ? target[k] : bucketOf(&fresh, key);
    ++k;
    return &fresh.m_buckets[nb];
  };
  for (int32_t b = 0; b < table->m_size; ++b) {
    vsnHashNode* p = table->m_buckets[b].m_next;
    table->m_buckets[b].m_next = nullptr;
    while (p) {
      vsnHashNode* next = p->m_next;
      char* key = p->m_key;
      uint32_t keyLength = p->m_keyLength;
      void* value = p->m_value;
      p->m_next = spare;
      spare = p;
      if (key) {
        placeEntry(bucketFor(key), key, keyLength, value, &spare);
        fresh.m_numEntries += 1;
      }
      p = next;
    }
  }
  for (int32_t b = 0; b < table->m_size; ++b) {
    vsnHashNode* head = &table->m_buckets[b];
    if (head->m_key) {
      placeEntry(bucketFor(head->m_key), head->m_key, head->m_keyLength, head->m_value, &spare);
      fresh.m_numEntries += 1;
    }
  }
  free(target);
  while (spare) {
    vsnHashNode* next = spare->m_next;
    free(spare);
    spare = next;
  }
  if (table->m_numEntries != fresh.m_numEntries) {
    fprintf(stderr, "%s: table->numEntries == newTable.numEntries\n", __func__);
    abort();
  }
  free(table->m_buckets);
  table->m_buckets = fresh.m_buckets;
  table->m_size = fresh.m_size;
  if (table->m_indexed == 1) indexRebuild(table);
  return 1;
}

int vsnHashSetFunction(vsnHash* table, vsnHashFunction function) {
  if (!table) return 0;
  table->m_hash = function ? function : vsnHashString;
  // Entries placed by the old function would be lost to lookups: place them again.
  if (table->m_buckets && table->m_numEntries > 0) vsnHashResize(table, table->m_size);
  return 1;
}

void vsnHashClear(vsnHash* table) {
  if (!table || !table->m_buckets) return;
  for (int32_t b = 0; b < table->m_size; ++b) {
    vsnHashNode* head = &table->m_buckets[b];
    free(head->m_key);
    vsnHashNode* p = head->m_next;
    while (p) {
      vsnHashNode* next = p->m_next;
      free(p->m_key);
      free(p);
      p = next;
    }
  }
  free(table->m_buckets);
  table->m_buckets = nullptr;
  free(table->m_index);
  table->m_index = nullptr;
  table->m_indexMask = 0;
  table->m_size = 0;
  table->m_numEntries = 0;
}

void vsnHashFree(vsnHash* table) {
  if (!table) return;
  vsnHashClear(table);
  free(table);
}

int32_t vsnHashStatistics(const vsnHash* table, int verbosity) {
  if (!table || !table->m_buckets) return 0;
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
