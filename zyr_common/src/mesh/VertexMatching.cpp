// GA_matchVerticesByGrid: the vertex matching of GeometricAlgorithms.h through a cell grid.
//
// The scan takes the set-0 vertices in radial order and, for each, walks the free set-1 records
// of its radial window in radial order, keeping the nearest within the window (the later record
// among equals) and stopping at the first record whose radius exceeds r0 + best. A set-0 vertex
// can only ever take a record of its own window: within the tolerance of it, above r0 - w and at
// most r0 + w in radius. So the order matters only where windows overlap:
//  1. For every set-0 vertex (in index order, which keeps neighbours near in memory) the grid
//     lists the set-1 records of its window. A vertex whose window holds one record that no other
//     window holds takes it, whatever the order: the scan gives it that record.
//  2. The other vertices are taken in radial order, and for each the scan is replayed over the
//     free records near it that can decide its outcome: every one within the current smallest
//     distance plus a margin far above rounding. Records farther away can neither be chosen nor
//     end the scan before the chosen one (their radius differs from r0 by less than their
//     distance only by rounding), so the replay chooses what the scan chooses, with the same
//     distances computed the same way. Records taken in step 1 lie in no window of these.
// A vertex whose window is empty fails the scan in any order.
#include "GeometricAlgorithms.h"

#include "MatchingThreads.h"
#include "zyrMemory.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace {

const double *point(const double *coordinates, int64_t index) { return coordinates + 3 * index; }

// The radius of a point: its distance from the reference point, computed as the scan does.
double radiusOf(const double *p, const double *reference) { return std::sqrt(GA_getSquaredDistance(p, reference)); }

const int kBits = 21;
const int64_t kMaxCells = (int64_t{1} << kBits) - 1;
// How far ahead a walk over points in another order fetches.
const size_t kAhead = 16;
// The fewest points a thread takes on.
const int64_t kGrain = 16384;

// A cell's place in the grid: its indices along x, y and z.
struct CellIndex {
  int64_t m_i[3];
};

// The cells: a corner, a size and the number of cells along each axis. Positions are taken in
// cells by multiplying with the inverse size; every look-up allows a margin far above that rounding.
struct Cells {
  double m_min[3];
  double m_size;
  double m_inverse;
  int64_t m_dim[3];

  void setSize(double size) {
    m_size = size;
    m_inverse = 1.0 / size;
  }
  double position(double x, int axis) const { return (x - m_min[axis]) * m_inverse; }
  // The cell along an axis, points outside the grid in the nearest cell.
  int64_t clamped(double x, int axis) const {
    const double at = std::floor(position(x, axis));
    return static_cast<int64_t>(std::clamp(at, 0.0, static_cast<double>(m_dim[axis] - 1)));
  }
  // Cells in z, y, x order, x fastest.
  uint64_t key(const CellIndex &c) const {
    return static_cast<uint64_t>(c.m_i[0]) +
           static_cast<uint64_t>(m_dim[0]) * (static_cast<uint64_t>(c.m_i[1]) + static_cast<uint64_t>(m_dim[1]) * static_cast<uint64_t>(c.m_i[2]));
  }
  uint64_t keyOf(const double *p) const { return key(CellIndex{{clamped(p[0], 0), clamped(p[1], 1), clamped(p[2], 2)}}); }
  CellIndex cellOfKey(uint64_t k) const {
    const uint64_t plane = static_cast<uint64_t>(m_dim[0]) * static_cast<uint64_t>(m_dim[1]);
    const uint64_t rest = k % plane;
    return CellIndex{{static_cast<int64_t>(rest % static_cast<uint64_t>(m_dim[0])),
                      static_cast<int64_t>(rest / static_cast<uint64_t>(m_dim[0])), static_cast<int64_t>(k / plane)}};
  }
};

// Open-addressing table from a cell to its number. Cells next to each other along x hash to
// slots next to each other, so that a walk over neighbouring points stays in the cache.
class CellTable {
public:
  CellTable() = default;
  explicit CellTable(size_t n) {
    size_t size = 16;
    while (size < 2 * n)
      size *= 2;
    m_entries.assign(size, Entry{kEmpty, -1});
    m_mask = size - 1;
  }
  int32_t find(uint64_t key, const CellIndex &c) const {
    for (size_t h = hash(c) & m_mask;; h = (h + 1) & m_mask) {
      if (m_entries[h].m_key == key)
        return m_entries[h].m_value;
      if (m_entries[h].m_key == kEmpty)
        return -1;
    }
  }
  void insert(uint64_t key, const CellIndex &c, int32_t value) {
    size_t h = hash(c) & m_mask;
    while (m_entries[h].m_key != kEmpty)
      h = (h + 1) & m_mask;
    m_entries[h] = Entry{key, value};
  }

private:
  static constexpr uint64_t kEmpty = ~uint64_t{0};
  struct Entry {
    uint64_t m_key;
    int32_t m_value;
  };
  static size_t hash(const CellIndex &c) {
    return static_cast<size_t>(static_cast<uint64_t>(c.m_i[0]) + static_cast<uint64_t>(c.m_i[1]) * 0x9E3779B97F4A7C15ULL +
                               static_cast<uint64_t>(c.m_i[2]) * 0xC2B2AE3D27D4EB4FULL);
  }
  std::vector<Entry> m_entries;
  size_t m_mask = 0;
};

// Stable radix sort of the records by the bytes [firstByte, firstByte + bytes) of key(record), a
// byte per pass, as zyrRadixSort sorts, each pass counted and moved range by range on the
// matching's threads: a range's records of one byte value go after those of the earlier ranges,
// so the order is that of a single sweep. A byte that is the same in every key moves nothing.
template <class Record, class Key>
void sortByBytes(WorkArray<Record> &records, WorkArray<Record> &spare, int firstByte, int bytes, Key key) {
  const int64_t n = static_cast<int64_t>(records.size());
  spare.resize(records.size());
  const int parts = MatchingThreads_ranges(n, kGrain);
  std::vector<std::array<int64_t, 256>> at(static_cast<size_t>(parts));
  Record *from = records.data();
  Record *to = spare.data();
  for (int b = 0; b < bytes; ++b) {
    const int shift = 8 * (firstByte + b);
    MatchingThreads_forRanges(n, parts, [&](int part, int64_t begin, int64_t end) {
      std::array<int64_t, 256> &count = at[static_cast<size_t>(part)];
      count.fill(0);
      for (int64_t i = begin; i < end; ++i)
        ++count[(static_cast<uint64_t>(key(from[i])) >> shift) & 0xFF];
    });
    int64_t placed = 0;
    bool moves = true;
    for (int v = 0; v < 256; ++v) {
      int64_t all = 0;
      for (std::array<int64_t, 256> &count : at) {
        const int64_t c = count[static_cast<size_t>(v)];
        count[static_cast<size_t>(v)] = placed;
        placed += c;
        all += c;
      }
      moves = moves && all != n;
    }
    if (!moves)
      continue;
    MatchingThreads_forRanges(n, parts, [&](int part, int64_t begin, int64_t end) {
      std::array<int64_t, 256> &place = at[static_cast<size_t>(part)];
      for (int64_t i = begin; i < end; ++i)
        to[place[(static_cast<uint64_t>(key(from[i])) >> shift) & 0xFF]++] = from[i];
    });
    std::swap(from, to);
  }
  if (from != records.data())
    MatchingThreads_forRanges(n, parts, [&](int, int64_t begin, int64_t end) {
      std::copy(from + begin, from + end, records.data() + begin);
    });
}

// Points in order of their cells, index order within a cell. Keys that fit in 32 bits travel
// with the index in one word (half the bytes to move); wider ones as a pair.
class ByCell {
public:
  // False when a coordinate is not a finite number (such a point has no cell).
  bool sort(const Cells &cells, int32_t n, const double *points) {
    const size_t count = static_cast<size_t>(n);
    m_words.resize(count);
    const int parts = MatchingThreads_ranges(n, kGrain);
    std::vector<uint64_t> largestOf(static_cast<size_t>(parts), 0);
    std::atomic<bool> finite{true};
    MatchingThreads_forRanges(n, parts, [&](int part, int64_t begin, int64_t end) {
      uint64_t largest = 0;
      for (int64_t i = begin; i < end; ++i) {
        const double *p = point(points, i);
        if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2])) {
          finite = false;
          return;
        }
        const uint64_t k = cells.keyOf(p);
        largest = std::max(largest, k);
        m_words[static_cast<size_t>(i)] = k << 32 | static_cast<uint64_t>(i);
      }
      largestOf[static_cast<size_t>(part)] = largest;
    });
    if (!finite)
      return false;
    const uint64_t largest = *std::max_element(largestOf.begin(), largestOf.end());
    int bytes = 0;
    while (bytes < 8 && (largest >> (8 * bytes)) != 0)
      ++bytes;
    m_wide = bytes > 4;
    if (!m_wide) {
      sortByBytes(m_words, m_spareWords, 4, bytes, [](uint64_t w) { return w; });
      return true;
    }
    m_pairs.resize(count);
    MatchingThreads_forRanges(n, parts, [&](int, int64_t begin, int64_t end) {
      for (int64_t i = begin; i < end; ++i)
        m_pairs[static_cast<size_t>(i)] = Pair{cells.keyOf(point(points, i)), static_cast<int32_t>(i)};
    });
    sortByBytes(m_pairs, m_sparePairs, 0, bytes, [](const Pair &f) { return f.m_key; });
    return true;
  }
  uint64_t key(size_t k) const { return m_wide ? m_pairs[k].m_key : m_words[k] >> 32; }
  int32_t index(size_t k) const {
    return m_wide ? m_pairs[k].m_index : static_cast<int32_t>(m_words[k] & 0xFFFFFFFFu);
  }
  // Whether position k starts a cell.
  bool starts(size_t k) const { return k == 0 || key(k) != key(k - 1); }

private:
  struct Pair {
    uint64_t m_key;
    int32_t m_index;
  };
  WorkArray<uint64_t> m_words;
  WorkArray<Pair> m_pairs;
  WorkArray<uint64_t> m_spareWords; // the radix sort's other half, kept for the next sort
  WorkArray<Pair> m_sparePairs;
  bool m_wide = false;
};

// A vertex as filed in its cell: its point with its radius beside it (two to a cache line), so
// that a cell is read in one sweep.
struct Member {
  double m_xyz[3];
  double m_radius;
};

struct Grid {
  Cells m_cells;
  WorkArray<int32_t> m_start; // CSR over the cells
  WorkArray<uint64_t> m_keys; // of the cells, ascending
  WorkArray<Member> m_members;
  WorkArray<int32_t> m_index; // of each member
  std::vector<char> m_used;     // members taken
  CellTable m_table; // made when many look-ups are to come, else the keys are searched
  bool m_hashed = false;

  // The number of a cell, -1 when it holds no vertex.
  int32_t cellOf(uint64_t k, const CellIndex &c) const {
    if (m_hashed)
      return m_table.find(k, c);
    const auto at = std::lower_bound(m_keys.begin(), m_keys.end(), k);
    return at != m_keys.end() && *at == k ? static_cast<int32_t>(at - m_keys.begin()) : -1;
  }

  void hash() {
    m_table = CellTable(m_keys.size());
    for (size_t cell = 0; cell < m_keys.size(); ++cell)
      m_table.insert(m_keys[cell], m_cells.cellOfKey(m_keys[cell]), static_cast<int32_t>(cell));
    m_hashed = true;
  }

  // Calls visit(member, position) for every member of the cells that the box of half-width
  // `reach` around p touches (with a margin for the rounding of the cell index).
  // The cell with key `known` (when it is in the box) is taken as `knownSlot` without a look-up.
  template <class Visit>
  void inBox(const double *p, double reach, uint64_t known, int32_t knownSlot, Visit visit) const {
    int64_t low[3], high[3];
    for (int axis = 0; axis < 3; ++axis) {
      const double margin = reach + 1e-9 * m_cells.m_size + 1e-12 * (std::fabs(p[axis]) + std::fabs(m_cells.m_min[axis]));
      const double top = static_cast<double>(m_cells.m_dim[axis] - 1);
      const double a = std::floor(m_cells.position(p[axis] - margin, axis));
      const double b = std::floor(m_cells.position(p[axis] + margin, axis));
      low[axis] = static_cast<int64_t>(std::clamp(a, 0.0, top));
      high[axis] = static_cast<int64_t>(std::clamp(b, 0.0, top));
    }
    for (int64_t iz = low[2]; iz <= high[2]; ++iz)
      for (int64_t iy = low[1]; iy <= high[1]; ++iy)
        for (int64_t ix = low[0]; ix <= high[0]; ++ix) {
          const CellIndex c{{ix, iy, iz}};
          const uint64_t k = m_cells.key(c);
          const int32_t slot = k == known ? knownSlot : cellOf(k, c);
          if (slot < 0)
            continue;
          for (int32_t m = m_start[static_cast<size_t>(slot)]; m < m_start[static_cast<size_t>(slot) + 1]; ++m)
            visit(m_members[static_cast<size_t>(m)], m);
        }
  }

  // Calls visit(member, position) for every member of the cells that may lie within *bound of p
  // (the bound may shrink as the visit goes; the margin covers the rounding of the cell index).
  template <class Visit> void near(const double *p, const double *bound, Visit visit) const {
    int64_t q[3];
    for (int axis = 0; axis < 3; ++axis) {
      const double raw = std::floor(m_cells.position(p[axis], axis));
      q[axis] = static_cast<int64_t>(std::clamp(raw, -2.0 * kMaxCells, 2.0 * kMaxCells));
    }
    int64_t reach = 0;
    for (int axis = 0; axis < 3; ++axis)
      reach = std::max({reach, q[axis], m_cells.m_dim[axis] - 1 - q[axis]});
    const double size = m_cells.m_size;
    auto gap = [&](int64_t i, int axis) {
      const double lower = m_cells.m_min[axis] + static_cast<double>(i) * size;
      const double upper = lower + size;
      const double x = p[axis];
      const double margin = 1e-9 * size + 1e-12 * (std::fabs(x) + std::fabs(m_cells.m_min[axis]));
      const double g = x < lower ? lower - x : (x > upper ? x - upper : 0.0);
      return g > margin ? g - margin : 0.0;
    };
    auto cell = [&](int64_t ix, int64_t iy, int64_t iz) {
      const double gx = gap(ix, 0);
      const double gy = gap(iy, 1);
      const double gz = gap(iz, 2);
      if (gx * gx + gy * gy + gz * gz > *bound * *bound)
        return;
      const CellIndex c{{ix, iy, iz}};
      const int32_t slot = cellOf(m_cells.key(c), c);
      if (slot < 0)
        return;
      for (int32_t m = m_start[static_cast<size_t>(slot)]; m < m_start[static_cast<size_t>(slot) + 1]; ++m)
        visit(m_members[static_cast<size_t>(m)], m);
    };
    const int64_t *dim = m_cells.m_dim;
    for (int64_t ring = 0; ring <= reach; ++ring) {
      if (ring >= 1 && (ring - 1) * size * (1 - 1e-9) > *bound)
        break;
      const int64_t x0 = std::max<int64_t>(q[0] - ring, 0), x1 = std::min(q[0] + ring, dim[0] - 1);
      const int64_t y0 = std::max<int64_t>(q[1] - ring, 0), y1 = std::min(q[1] + ring, dim[1] - 1);
      const int64_t z0 = std::max<int64_t>(q[2] - ring, 0), z1 = std::min(q[2] + ring, dim[2] - 1);
      for (int64_t iz = z0; iz <= z1; ++iz)
        for (int64_t iy = y0; iy <= y1; ++iy) {
          const bool shell = std::llabs(iz - q[2]) == ring || std::llabs(iy - q[1]) == ring;
          if (shell) {
            for (int64_t ix = x0; ix <= x1; ++ix)
              cell(ix, iy, iz);
          } else {
            if (q[0] - ring >= 0 && q[0] - ring <= dim[0] - 1)
              cell(q[0] - ring, iy, iz);
            if (ring > 0 && q[0] + ring >= 0 && q[0] + ring <= dim[0] - 1)
              cell(q[0] + ring, iy, iz);
          }
        }
    }
  }
};

// The box of the n points (all finite): its lower corner and extents, in one sweep.
void boxOf(int32_t n, const double *points, double low[3], double extent[3]) {
  double high[3];
  for (int axis = 0; axis < 3; ++axis)
    low[axis] = high[axis] = points[axis];
  for (int32_t i = 1; i < n; ++i) {
    const double *p = point(points, i);
    for (int axis = 0; axis < 3; ++axis) {
      low[axis] = std::min(low[axis], p[axis]);
      high[axis] = std::max(high[axis], p[axis]);
    }
  }
  for (int axis = 0; axis < 3; ++axis)
    extent[axis] = high[axis] - low[axis];
}

bool allFinite(int32_t n, const double *points) {
  for (int64_t i = 0; i < 3 * static_cast<int64_t>(n); ++i)
    if (!std::isfinite(points[i]))
      return false;
  return true;
}

// Files the set-1 vertices (all finite) in cells about as wide as their spacing, never so narrow
// that the window spans more than a few of them. The vertices are sorted by cell, so that the
// members of a cell and of its neighbours along x lie together. `sorted` is left for reuse.
void fileVertices(int32_t n, const double *points1, const double *reference, double window, Grid *grid,
                  ByCell *sorted) {
  const size_t count = static_cast<size_t>(n);
  Cells &cells = grid->m_cells;
  double extent[3];
  boxOf(n, points1, cells.m_min, extent);
  double e[3] = {extent[0], extent[1], extent[2]};
  std::sort(e, e + 3, [](double a, double b) { return a > b; });
  // Matched vertices lie on surfaces: in a box of any depth they are taken to cover about its
  // largest side (a cylinder or a sphere has a few times that area, so cells stay sparse); points
  // on a curve fill few cells and make them smaller below.
  double size = window;
  if (e[0] > 0)
    size = e[1] <= 1e-3 * e[0] ? e[0] / n : std::sqrt(e[0] * e[1] / n);
  const double smallest = std::max(window / 8, e[0] / static_cast<double>(kMaxCells - 2));
  size = std::max(size, smallest);
  size_t occupied = 0;
  int parts = 1;
  std::vector<size_t> firstCell;
  auto fileCells = [&](double cellSize) {
    cells.setSize(cellSize);
    for (int axis = 0; axis < 3; ++axis) {
      const double last = std::floor(cells.position(cells.m_min[axis] + extent[axis], axis));
      cells.m_dim[axis] = static_cast<int64_t>(std::clamp(last + 1, 1.0, static_cast<double>(kMaxCells)));
    }
    sorted->sort(cells, n, points1);
    // The cells each range of positions starts, then where each range's first new cell goes.
    parts = MatchingThreads_ranges(n, kGrain);
    firstCell.assign(static_cast<size_t>(parts) + 1, 0);
    MatchingThreads_forRanges(n, parts, [&](int part, int64_t begin, int64_t end) {
      size_t starting = 0;
      for (int64_t k = begin; k < end; ++k)
        starting += sorted->starts(static_cast<size_t>(k));
      firstCell[static_cast<size_t>(part) + 1] = starting;
    });
    for (int part = 0; part < parts; ++part)
      firstCell[static_cast<size_t>(part) + 1] += firstCell[static_cast<size_t>(part)];
    occupied = firstCell[static_cast<size_t>(parts)];
  };
  // The box says little about a surface or curve in space: cells that hold many points are made
  // smaller until a few points share a cell.
  for (int attempt = 0;; ++attempt) {
    fileCells(size);
    const double occupancy = static_cast<double>(n) / static_cast<double>(occupied);
    if (attempt == 4 || occupancy <= 3)
      break;
    const double smaller = std::max(size / std::sqrt(occupancy / 1.5), smallest);
    if (smaller >= 0.9 * size)
      break;
    size = smaller;
  }
  grid->m_start.resize(occupied + 1);
  grid->m_keys.resize(occupied);
  grid->m_index.resize(count);
  grid->m_members.resize(count);
  MatchingThreads_forRanges(n, parts, [&](int part, int64_t begin, int64_t end) {
    size_t cell = firstCell[static_cast<size_t>(part)];
    for (int64_t k = begin; k < end; ++k) {
      if (k + static_cast<int64_t>(kAhead) < n)
        __builtin_prefetch(point(points1, sorted->index(static_cast<size_t>(k) + kAhead)));
      if (sorted->starts(static_cast<size_t>(k))) {
        grid->m_start[cell] = static_cast<int32_t>(k);
        grid->m_keys[cell] = sorted->key(static_cast<size_t>(k));
        ++cell;
      }
      const int32_t i = sorted->index(static_cast<size_t>(k));
      const double *p = point(points1, i);
      grid->m_index[static_cast<size_t>(k)] = i;
      grid->m_members[static_cast<size_t>(k)] = Member{{p[0], p[1], p[2]}, radiusOf(p, reference)};
    }
  });
  grid->m_start[occupied] = n;
  grid->m_used.assign(count, 0);
}

// Set 0 in the grid's cell order: the vertex at each position, its window's one record (-1 none,
// -2 several).
struct SortedSet {
  WorkArray<int32_t> m_order;
  WorkArray<int32_t> m_single;
};

// 1. Every window: how many records it holds (0, 1 or more) and its first record, and for every
// record whether one window holds it (bit 1) and whether more do (bit 2). The set-0 vertices are taken cell by cell, so
// that neighbouring windows look at the same cells one after the other. False when a window is
// empty.
bool countWindows(Grid &grid, const ByCell &sorted0, const double *points0, const double *reference, double window,
                  SortedSet &set0, std::vector<uint8_t> &held) {
  const size_t count = grid.m_index.size();
  set0.m_order.resize(count);
  set0.m_single.resize(count);
  held.assign(count, 0);
  std::atomic<bool> empty{false};
  // A range of set-0 positions finds the first cell of its first key and walks on from there.
  // The windows holding a record are counted as bits (one, then two or more), which any number
  // of ranges may set in any order.
  const int64_t n = static_cast<int64_t>(count);
  MatchingThreads_forRanges(n, MatchingThreads_ranges(n, kGrain), [&](int, int64_t begin, int64_t end) {
    const WorkArray<uint64_t> &keys = grid.m_keys;
    size_t own = begin < end ? static_cast<size_t>(std::lower_bound(keys.begin(), keys.end(), sorted0.key(static_cast<size_t>(begin))) - keys.begin()) : 0;
    for (int64_t position = begin; position < end && !empty.load(std::memory_order_relaxed); ++position) {
      const size_t k = static_cast<size_t>(position);
      if (position + static_cast<int64_t>(kAhead) < n)
        __builtin_prefetch(point(points0, sorted0.index(k + kAhead)));
      const uint64_t cellKey = sorted0.key(k);
      while (own < keys.size() && keys[own] < cellKey)
        ++own;
      const int32_t ownSlot = own < keys.size() && keys[own] == cellKey ? static_cast<int32_t>(own) : -1;
      const int32_t vertex0 = sorted0.index(k);
      set0.m_order[k] = vertex0;
      const double *p0 = point(points0, vertex0);
      const double r0 = radiusOf(p0, reference);
      const double low = r0 - window;
      const double high = r0 + window;
      int32_t &found = set0.m_single[k];
      found = -1;
      grid.inBox(p0, window, cellKey, ownSlot, [&](const Member &m, int32_t at) {
        if (m.m_radius <= low || m.m_radius > high)
          return;
        if (std::sqrt(GA_getSquaredDistance(p0, m.m_xyz)) > window)
          return;
        found = found == -1 ? at : -2;
        uint8_t *h = &held[static_cast<size_t>(at)];
        if (__atomic_fetch_or(h, uint8_t{1}, __ATOMIC_RELAXED) & 1)
          __atomic_fetch_or(h, uint8_t{2}, __ATOMIC_RELAXED);
      });
      if (found == -1)
        empty = true;
    }
  });
  return !empty;
}

// 2. The contested vertices (positions in set 0's cell order) in radial order (equal radii in
// index order), each replaying the scan: the nearest unused record within the window, among those
// the scan would meet first. False when one finds none.
bool resolveContested(Grid &grid, const SortedSet &set0, const double *points0, const double *reference,
                      double window, const std::vector<int32_t> &contested, int32_t *permutation) {
  if (contested.size() > set0.m_order.size() / 64)
    grid.hash();
  struct Vertex {
    double m_radius;
    int32_t m_index;
  };
  std::vector<Vertex> vertices(contested.size());
  for (size_t c = 0; c < contested.size(); ++c) {
    const int32_t vertex0 = set0.m_order[static_cast<size_t>(contested[c])];
    vertices[c] = Vertex{radiusOf(point(points0, vertex0), reference), vertex0};
  }
  std::sort(vertices.begin(), vertices.end(), [](const Vertex &a, const Vertex &b) {
    return a.m_radius < b.m_radius || (a.m_radius == b.m_radius && a.m_index < b.m_index);
  });
  struct Candidate {
    double m_radius;
    int32_t m_index;
    int32_t m_at;
    double m_distance;
  };
  std::vector<Candidate> candidates;
  for (const Vertex &v : vertices) {
    const double *p0 = point(points0, v.m_index);
    const double r0 = v.m_radius;
    const double low = r0 - window;
    const double slack = 1e-12 * (std::fabs(r0) + window);
    candidates.clear();
    double nearest = std::numeric_limits<double>::infinity();
    double bound = window;
    grid.near(p0, &bound, [&](const Member &m, int32_t at) {
      if (grid.m_used[static_cast<size_t>(at)] || m.m_radius <= low)
        return;
      const double d = std::sqrt(GA_getSquaredDistance(p0, m.m_xyz));
      if (d <= window) {
        candidates.push_back({m.m_radius, grid.m_index[static_cast<size_t>(at)], at, d});
        if (d < nearest) {
          nearest = d;
          bound = std::min(window, nearest + slack);
        }
      }
    });
    // Radial order of set 1: by radius, equal radii in index order.
    std::sort(candidates.begin(), candidates.end(), [](const Candidate &a, const Candidate &b) {
      return a.m_radius < b.m_radius || (a.m_radius == b.m_radius && a.m_index < b.m_index);
    });
    double best = window;
    const Candidate *choice = nullptr;
    for (const Candidate &c : candidates) {
      if (c.m_distance > bound)
        continue;
      if (c.m_radius > r0 + best)
        break;
      if (c.m_distance <= best) {
        best = c.m_distance;
        choice = &c;
      }
    }
    if (choice == nullptr)
      return false;
    permutation[v.m_index] = choice->m_index;
    grid.m_used[static_cast<size_t>(choice->m_at)] = 1;
  }
  return true;
}

} // namespace

int32_t *GA_matchVerticesByGrid(int32_t n, const double *points0, const double *points1, const double *tolerances,
                                const double referencePoint[3]) {
  if (n < 1 || points0 == nullptr || points1 == nullptr || tolerances == nullptr || referencePoint == nullptr)
    return nullptr;
  double largest = tolerances[0];
  for (int32_t i = 1; i < n; ++i)
    if (tolerances[i] > largest)
      largest = tolerances[i];
  const double window = 1.05 * largest;
  // Without a window only coincident vertices pair, and coordinates that are not numbers have no
  // cell: the scan answers those.
  if (!(window > 0) || !std::isfinite(window) || !allFinite(n, points1))
    return GA_matchVerticesByScan(n, points0, points1, tolerances, referencePoint);

  Grid grid;
  ByCell sorted; // set 1's order while it is filed, then set 0's
  fileVertices(n, points1, referencePoint, window, &grid, &sorted);
  if (!sorted.sort(grid.m_cells, n, points0))
    return GA_matchVerticesByScan(n, points0, points1, tolerances, referencePoint);
  SortedSet set0;
  std::vector<uint8_t> held;
  if (!countWindows(grid, sorted, points0, referencePoint, window, set0, held))
    return nullptr;

  // A window with one record that no other window holds pairs at once.
  int32_t *permutation = zyrMemory_allocateArray<int32_t>(n, __func__);
  const int parts = MatchingThreads_ranges(n, kGrain);
  std::vector<std::vector<int32_t>> contestedOf(static_cast<size_t>(parts)); // positions in set 0's cell order
  MatchingThreads_forRanges(n, parts, [&](int part, int64_t begin, int64_t end) {
    for (int64_t k = begin; k < end; ++k) {
      const int32_t at = set0.m_single[static_cast<size_t>(k)];
      if (at >= 0 && held[static_cast<size_t>(at)] == 1) {
        permutation[set0.m_order[static_cast<size_t>(k)]] = grid.m_index[static_cast<size_t>(at)];
        grid.m_used[static_cast<size_t>(at)] = 1;
      } else {
        contestedOf[static_cast<size_t>(part)].push_back(static_cast<int32_t>(k));
      }
    }
  });
  std::vector<int32_t> contested;
  for (const std::vector<int32_t> &some : contestedOf)
    contested.insert(contested.end(), some.begin(), some.end());
  if (!resolveContested(grid, set0, points0, referencePoint, window, contested, permutation)) {
    zyrMemory_free(permutation, __func__);
    return nullptr;
  }
  return permutation;
}
