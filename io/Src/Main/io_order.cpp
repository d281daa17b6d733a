// Sorted order over index entries, in blocks.
#include "io_order.h"

#include "io_alloc.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

namespace {

const char *keyOf(const IO_order *order, int32_t entry) {
  const char *key = order->m_key(order->m_owner, entry);
  return key ? key : "";
}

// Full order of two entries: key bytes, then entry number.
int compareEntries(const IO_order *order, int32_t a, int32_t b) {
  int c = strcmp(keyOf(order, a), keyOf(order, b));
  if (c != 0) return c;
  return a < b ? -1 : (a > b ? 1 : 0);
}

// Whether an entry's key lies beyond the bound: not below the text (after 0) or above it.
bool beyond(const IO_order *order, int32_t entry, const char *text, size_t length, int after) {
  int c = strncmp(keyOf(order, entry), text, length);
  return after ? c > 0 : c >= 0;
}

void recount(IO_order *order, int32_t from) {
  int32_t before = from > 0 ? order->m_before[from - 1] + order->m_sizes[from - 1] : 0;
  for (int32_t b = from; b < order->m_numblocks; ++b) {
    order->m_before[b] = before;
    before += order->m_sizes[b];
  }
}

bool growBlockList(IO_order *order) {
  if (order->m_numblocks < order->m_capacity) return true;
  int32_t capacity = order->m_capacity < 8 ? 8 : order->m_capacity * 2;
  size_t n = static_cast<size_t>(capacity);
  int32_t **blocks = static_cast<int32_t **>(io_malloc(n * sizeof(int32_t *)));
  int32_t *sizes = static_cast<int32_t *>(io_malloc(n * sizeof(int32_t)));
  int32_t *before = static_cast<int32_t *>(io_malloc(n * sizeof(int32_t)));
  if (!blocks || !sizes || !before) {
    io_free(blocks);
    io_free(sizes);
    io_free(before);
    return false;
  }
  size_t used = static_cast<size_t>(order->m_numblocks);
  if (used > 0) {
    memcpy(blocks, order->m_blocks, used * sizeof(int32_t *));
    memcpy(sizes, order->m_sizes, used * sizeof(int32_t));
    memcpy(before, order->m_before, used * sizeof(int32_t));
  }
  io_free(order->m_blocks);
  io_free(order->m_sizes);
  io_free(order->m_before);
  order->m_blocks = blocks;
  order->m_sizes = sizes;
  order->m_before = before;
  order->m_capacity = capacity;
  return true;
}

int32_t *newBlock() { return static_cast<int32_t *>(io_malloc(IO_ORDER_BLOCK * sizeof(int32_t))); }

// Moves the upper half of a full block into a new block after it. False when memory runs out
// (nothing changed).
bool splitBlock(IO_order *order, int32_t b) {
  if (!growBlockList(order)) return false;
  int32_t *upper = newBlock();
  if (!upper) return false;
  int32_t half = order->m_sizes[b] / 2;
  int32_t moved = order->m_sizes[b] - half;
  memcpy(upper, order->m_blocks[b] + half, static_cast<size_t>(moved) * sizeof(int32_t));
  size_t after = static_cast<size_t>(order->m_numblocks - b - 1);
  memmove(order->m_blocks + b + 2, order->m_blocks + b + 1, after * sizeof(int32_t *));
  memmove(order->m_sizes + b + 2, order->m_sizes + b + 1, after * sizeof(int32_t));
  memmove(order->m_before + b + 2, order->m_before + b + 1, after * sizeof(int32_t));
  order->m_blocks[b + 1] = upper;
  order->m_sizes[b] = half;
  order->m_sizes[b + 1] = moved;
  ++order->m_numblocks;
  recount(order, b);
  return true;
}

// The block that takes a new entry: the first whose last entry sorts after it, else the last.
int32_t blockFor(const IO_order *order, int32_t entry) {
  int32_t lo = 0, hi = order->m_numblocks - 1;
  while (lo < hi) {
    int32_t mid = lo + (hi - lo) / 2;
    const int32_t *block = order->m_blocks[mid];
    if (compareEntries(order, block[order->m_sizes[mid] - 1], entry) > 0)
      hi = mid;
    else
      lo = mid + 1;
  }
  return lo;
}

// An entry and its key, for the sort of a whole order, with the key's first 32 bytes held beside
// it as four numbers of eight bytes each in big-endian order (zeros past the key's end): a
// comparison of two numbers compares eight bytes as strcmp would, and the sort reads the keys
// themselves only where 32 bytes do not tell them apart.
const size_t kHeldChunks = 4;

struct Keyed {
  uint64_t m_held[kHeldChunks];
  const unsigned char *m_key;
  int32_t m_entry;
};

// Eight bytes as one number, the first the most significant.
uint64_t bigEndian(const unsigned char *bytes) {
  uint64_t chunk;
  memcpy(&chunk, bytes, 8);
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  chunk = __builtin_bswap64(chunk);
#endif
  return chunk;
}

// Eight bytes of the key from `level` times eight on (zeros past its end).
uint64_t chunkAt(const unsigned char *key, size_t level) {
  const size_t length = strnlen(reinterpret_cast<const char *>(key), 8 * level + 8);
  unsigned char bytes[8] = {};
  if (length > 8 * level) memcpy(bytes, key + 8 * level, length - 8 * level);
  return bigEndian(bytes);
}

uint64_t chunkOf(const Keyed &key, size_t level) {
  return level < kHeldChunks ? key.m_held[level] : chunkAt(key.m_key, level);
}

// Whole comparison of two keys that agree before `level`, then by entry.
bool before(const Keyed &x, const Keyed &y, size_t level) {
  for (; level < kHeldChunks; ++level) {
    const uint64_t a = x.m_held[level], b = y.m_held[level];
    if (a != b) return a < b;
    if ((a & 0xff) == 0) return x.m_entry < y.m_entry; // both keys end here
  }
  const int c = strcmp(reinterpret_cast<const char *>(x.m_key) + 8 * kHeldChunks,
                       reinterpret_cast<const char *>(y.m_key) + 8 * kHeldChunks);
  return c != 0 ? c < 0 : x.m_entry < y.m_entry;
}

// Sorts keys by the whole comparison from `level` on, counting its comparisons in *steps.
void sortWhole(Keyed *keys, size_t n, size_t level, uint64_t *steps) {
  uint64_t count = 0;
  std::sort(keys, keys + n, [level, &count](const Keyed &x, const Keyed &y) {
    ++count;
    return before(x, y, level);
  });
  *steps += count;
}

// Sorts keys that agree on their chunks before `level` by the rest, then by entry: a three-way
// radix quicksort on eight bytes at a time, which looks at the distinguishing part of each key
// about once instead of comparing whole keys from their first byte again and again (index keys
// share long starts). A stored index is outside input, and keys can be arranged so that the median
// of three splits off only a few of them at every partition. So the sort recurses only into parts
// smaller than the one it goes on with, each at most half of it (a stack at most log2(n) deep), and
// a part reached through `budget` partitions into the keys below or above a pivot is sorted by
// whole comparisons instead, in the same order. A move into the equal part uses up eight bytes of
// the keys, not the budget: each key takes part in at most budget partitions plus one for each
// eight bytes of its length. *steps counts the keys partitioned and the comparisons made.
void sortKeyed(Keyed *keys, size_t n, size_t level, int budget, uint64_t *steps) {
  while (n > 1) {
    if (n < 12) {
      // Few keys: insertion by whole comparison.
      uint64_t count = 0;
      for (size_t i = 1; i < n; ++i) {
        const Keyed key = keys[i];
        size_t j = i;
        for (; j > 0; --j) {
          ++count;
          if (!before(key, keys[j - 1], level)) break;
          keys[j] = keys[j - 1];
        }
        keys[j] = key;
      }
      *steps += count;
      return;
    }
    if (budget == 0) {
      sortWhole(keys, n, level, steps);
      return;
    }
    // The median of three chunks as pivot.
    const uint64_t a = chunkOf(keys[0], level), b = chunkOf(keys[n / 2], level), c = chunkOf(keys[n - 1], level);
    const uint64_t pivot = a < b ? (b < c ? b : (a < c ? c : a)) : (a < c ? a : (b < c ? c : b));
    // [0, lt) below, [lt, gt) equal, [gt, n) above.
    size_t lt = 0, i = 0, gt = n;
    while (i < gt) {
      const uint64_t chunk = chunkOf(keys[i], level);
      if (chunk < pivot)
        std::swap(keys[lt++], keys[i++]);
      else if (chunk > pivot)
        std::swap(keys[i], keys[--gt]);
      else
        ++i;
    }
    *steps += n;
    const size_t below = lt, above = n - gt;
    size_t equal = gt - lt;
    if ((pivot & 0xff) == 0) {
      // Keys that end within these bytes are equal: their entries order them.
      uint64_t count = 0;
      std::sort(keys + lt, keys + gt, [&count](const Keyed &x, const Keyed &y) {
        ++count;
        return x.m_entry < y.m_entry;
      });
      *steps += count;
      equal = 0;
    }
    if (equal >= below && equal >= above) {
      sortKeyed(keys, below, level, budget - 1, steps);
      sortKeyed(keys + gt, above, level, budget - 1, steps);
      keys += lt;
      n = equal;
      ++level;
      continue;
    }
    if (equal > 1) sortKeyed(keys + lt, equal, level + 1, budget, steps);
    if (below >= above) {
      sortKeyed(keys + gt, above, level, budget - 1, steps);
      n = below;
    } else {
      sortKeyed(keys, below, level, budget - 1, steps);
      keys += gt;
      n = above;
    }
    --budget;
  }
}

// The partitions into keys below or above a pivot that a path of the sort of n keys may go
// through before it sorts by whole comparisons: twice the depth of even splits. Keys in a random
// order rarely reach it; some common orders do (reversed, organ pipes, sorted with the first key
// last send most of their keys there), and are then sorted in n log n whole comparisons, a little
// slower than by chunks (about 1.5 times a shuffled index's sort at a million keys), never worse.
int splitBudget(size_t n) {
  int depth = 0;
  for (; n > 1; n >>= 1) ++depth;
  return 2 * depth;
}

// Steps of the last sort of a whole order, for tests of its bound.
std::atomic<int64_t> g_sortSteps(0);

} // namespace

void ioorder_init(IO_order *order, IO_order_key key, const void *owner) {
  memset(order, 0, sizeof *order);
  order->m_key = key;
  order->m_owner = owner;
}

void ioorder_free(IO_order *order) {
  if (!order) return;
  for (int32_t b = 0; b < order->m_numblocks; ++b) io_free(order->m_blocks[b]);
  io_free(order->m_blocks);
  io_free(order->m_sizes);
  io_free(order->m_before);
  order->m_blocks = nullptr;
  order->m_sizes = nullptr;
  order->m_before = nullptr;
  order->m_numblocks = 0;
  order->m_capacity = 0;
  order->m_total = 0;
}

int ioorder_build(IO_order *order, int32_t count) {
  ioorder_free(order);
  if (count <= 0) return IO_OK;
  // One sort of all the keys does what `count` insertions do, in far fewer steps. The blocks are
  // filled to three quarters, so that entries added later rarely split one.
  std::vector<Keyed> keyed;
  try {
    keyed.resize(static_cast<size_t>(count));
  } catch (const std::bad_alloc &) {
    return IO_MEMORY_ERR;
  }
  for (int32_t entry = 0; entry < count; ++entry) {
    Keyed &held = keyed[static_cast<size_t>(entry)];
    held.m_key = reinterpret_cast<const unsigned char *>(keyOf(order, entry));
    held.m_entry = entry;
    unsigned char bytes[8 * kHeldChunks] = {};
    memcpy(bytes, held.m_key, strnlen(reinterpret_cast<const char *>(held.m_key), sizeof bytes));
    for (size_t level = 0; level < kHeldChunks; ++level) held.m_held[level] = bigEndian(bytes + 8 * level);
  }
  // A stored index is written in the table's order, which is what order for every entry a look-up
  // has sorted: such entries arrive sorted already.
  bool sorted = true;
  for (size_t i = 1; i < keyed.size() && sorted; ++i)
    sorted = strcmp(reinterpret_cast<const char *>(keyed[i - 1].m_key), reinterpret_cast<const char *>(keyed[i].m_key)) <= 0;
  uint64_t steps = 0;
  if (!sorted) sortKeyed(keyed.data(), keyed.size(), 0, splitBudget(keyed.size()), &steps);
  g_sortSteps.store(static_cast<int64_t>(steps), std::memory_order_relaxed);
  const int32_t fill = IO_ORDER_BLOCK * 3 / 4;
  for (int32_t done = 0; done < count;) {
    if (!growBlockList(order)) {
      ioorder_free(order);
      return IO_MEMORY_ERR;
    }
    int32_t *block = newBlock();
    if (!block) {
      ioorder_free(order);
      return IO_MEMORY_ERR;
    }
    const int32_t n = std::min(fill, count - done);
    for (int32_t i = 0; i < n; ++i) block[i] = keyed[static_cast<size_t>(done + i)].m_entry;
    order->m_blocks[order->m_numblocks] = block;
    order->m_sizes[order->m_numblocks] = n;
    order->m_before[order->m_numblocks] = done;
    ++order->m_numblocks;
    done += n;
  }
  order->m_total = count;
  return IO_OK;
}

int64_t ioorder_sort_steps(void) { return g_sortSteps.load(std::memory_order_relaxed); }

int ioorder_insert(IO_order *order, int32_t entry) {
  if (order->m_total == INT32_MAX) return IO_MEMORY_ERR;
  if (order->m_numblocks == 0) {
    if (!growBlockList(order)) return IO_MEMORY_ERR;
    int32_t *block = newBlock();
    if (!block) return IO_MEMORY_ERR;
    block[0] = entry;
    order->m_blocks[0] = block;
    order->m_sizes[0] = 1;
    order->m_before[0] = 0;
    order->m_numblocks = 1;
    order->m_total = 1;
    return IO_OK;
  }
  int32_t b = blockFor(order, entry);
  if (order->m_sizes[b] == IO_ORDER_BLOCK) {
    if (!splitBlock(order, b)) return IO_MEMORY_ERR;
    const int32_t *lower = order->m_blocks[b];
    if (compareEntries(order, lower[order->m_sizes[b] - 1], entry) < 0) ++b;
  }
  int32_t *block = order->m_blocks[b];
  int32_t lo = 0, hi = order->m_sizes[b];
  while (lo < hi) {
    int32_t mid = lo + (hi - lo) / 2;
    if (compareEntries(order, block[mid], entry) > 0)
      hi = mid;
    else
      lo = mid + 1;
  }
  memmove(block + lo + 1, block + lo,
          static_cast<size_t>(order->m_sizes[b] - lo) * sizeof(int32_t));
  block[lo] = entry;
  ++order->m_sizes[b];
  ++order->m_total;
  for (int32_t k = b + 1; k < order->m_numblocks; ++k) ++order->m_before[k];
  return IO_OK;
}

int32_t ioorder_bound(const IO_order *order, const char *text, size_t length, int after) {
  if (!text) text = "";
  int32_t lo = 0, hi = order->m_numblocks;
  while (lo < hi) {
    int32_t mid = lo + (hi - lo) / 2;
    if (beyond(order, order->m_blocks[mid][order->m_sizes[mid] - 1], text, length, after))
      hi = mid;
    else
      lo = mid + 1;
  }
  if (lo == order->m_numblocks) return order->m_total;
  const int32_t *block = order->m_blocks[lo];
  int32_t a = 0, z = order->m_sizes[lo];
  while (a < z) {
    int32_t mid = a + (z - a) / 2;
    if (beyond(order, block[mid], text, length, after))
      z = mid;
    else
      a = mid + 1;
  }
  return order->m_before[lo] + a;
}

int32_t ioorder_bound_from(const IO_order *order, const char *text, size_t length, int32_t from) {
  if (!text) text = "";
  if (from < 0) from = 0;
  if (from >= order->m_total) return order->m_total;
  IO_order_cursor cursor;
  ioorder_seek(order, from, &cursor);
  const int32_t b = cursor.m_block;
  const int32_t *block = order->m_blocks[b];
  int32_t hi = order->m_sizes[b] - 1;
  if (!beyond(order, block[hi], text, length, 1)) return ioorder_bound(order, text, length, 1);
  // The answer lies in [lo, hi]; the entry at hi is beyond the text.
  int32_t lo = cursor.m_slot, probe = lo, step = 1;
  while (probe < hi) {
    if (beyond(order, block[probe], text, length, 1)) {
      hi = probe;
      break;
    }
    lo = probe + 1;
    probe = lo + step - 1;
    step *= 2;
    if (probe > hi) probe = hi;
  }
  while (lo < hi) {
    int32_t mid = lo + (hi - lo) / 2;
    if (beyond(order, block[mid], text, length, 1))
      hi = mid;
    else
      lo = mid + 1;
  }
  return order->m_before[b] + lo;
}

void ioorder_seek(const IO_order *order, int32_t rank, IO_order_cursor *cursor) {
  if (rank < 0) {
    cursor->m_block = -1;
    cursor->m_slot = 0;
    return;
  }
  if (rank >= order->m_total) {
    cursor->m_block = order->m_numblocks;
    cursor->m_slot = 0;
    return;
  }
  // The last block that starts at or before the rank.
  int32_t lo = 0, hi = order->m_numblocks - 1;
  while (lo < hi) {
    int32_t mid = lo + (hi - lo + 1) / 2;
    if (order->m_before[mid] <= rank)
      lo = mid;
    else
      hi = mid - 1;
  }
  cursor->m_block = lo;
  cursor->m_slot = rank - order->m_before[lo];
}

int32_t ioorder_entry(const IO_order *order, const IO_order_cursor *cursor) {
  if (cursor->m_block < 0 || cursor->m_block >= order->m_numblocks) return -1;
  if (cursor->m_slot < 0 || cursor->m_slot >= order->m_sizes[cursor->m_block]) return -1;
  return order->m_blocks[cursor->m_block][cursor->m_slot];
}

void ioorder_next(const IO_order *order, IO_order_cursor *cursor) {
  if (cursor->m_block >= order->m_numblocks) return;
  if (cursor->m_block < 0) {
    cursor->m_block = 0;
    cursor->m_slot = 0;
    return;
  }
  if (++cursor->m_slot >= order->m_sizes[cursor->m_block]) {
    ++cursor->m_block;
    cursor->m_slot = 0;
  }
}

void ioorder_prev(const IO_order *order, IO_order_cursor *cursor) {
  if (cursor->m_block < 0) return;
  if (cursor->m_block >= order->m_numblocks) {
    cursor->m_block = order->m_numblocks - 1;
    cursor->m_slot = cursor->m_block >= 0 ? order->m_sizes[cursor->m_block] - 1 : 0;
    return;
  }
  if (--cursor->m_slot < 0) {
    --cursor->m_block;
    cursor->m_slot = cursor->m_block >= 0 ? order->m_sizes[cursor->m_block] - 1 : 0;
  }
}

int32_t ioorder_at(const IO_order *order, int32_t rank) {
  IO_order_cursor cursor;
  ioorder_seek(order, rank, &cursor);
  return ioorder_entry(order, &cursor);
}
