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

#include "zyrMemory.h"
#include "zyrRadixSort.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace {

const double *point(const double *coordinates, int64_t index) { return coordinates + 3 * index; }

const int kBits = 21;
const int64_t kMaxCells = (int64_t{1} << kBits) - 1;

// A cell's place in the grid: its indices along x, y and z.
struct CellIndex {
  int64_t m_i[3];
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

// A vertex as filed in its cell: its point with its radius beside it (two to a cache line), so
// that a cell is read in one sweep.
struct Member {
  double m_xyz[3];
  double m_radius;
};

struct Grid {
  double m_min[3];
  double m_size;
  int64_t m_dim[3];
  std::vector<int32_t> m_start; // CSR over the cells
  std::vector<uint64_t> m_keys; // of the cells, ascending
  std::vector<Member> m_members;
  std::vector<int32_t> m_index; // of each member
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
    const uint64_t plane = static_cast<uint64_t>(m_dim[0]) * static_cast<uint64_t>(m_dim[1]);
    for (size_t cell = 0; cell < m_keys.size(); ++cell) {
      const uint64_t k = m_keys[cell];
      const uint64_t rest = k % plane;
      const CellIndex c{{static_cast<int64_t>(rest % static_cast<uint64_t>(m_dim[0])),
                         static_cast<int64_t>(rest / static_cast<uint64_t>(m_dim[0])), static_cast<int64_t>(k / plane)}};
      m_table.insert(k, c, static_cast<int32_t>(cell));
    }
    m_hashed = true;
  }

  int64_t index(double x, int axis) const { return static_cast<int64_t>(std::floor((x - m_min[axis]) / m_size)); }
  // Cells in z, y, x order, x fastest.
  uint64_t key(const CellIndex &c) const {
    return static_cast<uint64_t>(c.m_i[0]) +
           static_cast<uint64_t>(m_dim[0]) * (static_cast<uint64_t>(c.m_i[1]) + static_cast<uint64_t>(m_dim[1]) * static_cast<uint64_t>(c.m_i[2]));
  }

  // Calls visit(member, position) for every member of the cells that the box of half-width
  // `reach` around p touches (with a margin for the rounding of the cell index).
  // The cell with key `known` (when it is in the box) is taken as `knownSlot` without a look-up.
  template <class Visit>
  void inBox(const double *p, double reach, uint64_t known, int32_t knownSlot, Visit visit) const {
    int64_t low[3], high[3];
    for (int axis = 0; axis < 3; ++axis) {
      const double margin = reach + 1e-9 * m_size + 1e-12 * (std::fabs(p[axis]) + std::fabs(m_min[axis]));
      const double a = std::floor((p[axis] - margin - m_min[axis]) / m_size);
      const double b = std::floor((p[axis] + margin - m_min[axis]) / m_size);
      low[axis] = static_cast<int64_t>(std::clamp(a, 0.0, static_cast<double>(m_dim[axis] - 1)));
      high[axis] = static_cast<int64_t>(std::clamp(b, 0.0, static_cast<double>(m_dim[axis] - 1)));
    }
    for (int64_t iz = low[2]; iz <= high[2]; ++iz)
      for (int64_t iy = low[1]; iy <= high[1]; ++iy)
        for (int64_t ix = low[0]; ix <= high[0]; ++ix) {
          const CellIndex c{{ix, iy, iz}};
          const uint64_t k = key(c);
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
      const double raw = std::floor((p[axis] - m_min[axis]) / m_size);
      q[axis] = static_cast<int64_t>(std::clamp(raw, -2.0 * kMaxCells, 2.0 * kMaxCells));
    }
    int64_t reach = 0;
    for (int axis = 0; axis < 3; ++axis)
      reach = std::max({reach, q[axis], m_dim[axis] - 1 - q[axis]});
    auto gap = [&](int64_t i, int axis) {
      const double lower = m_min[axis] + static_cast<double>(i) * m_size;
      const double upper = lower + m_size;
      const double x = p[axis];
      const double margin = 1e-9 * m_size + 1e-12 * (std::fabs(x) + std::fabs(m_min[axis]));
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
      const int32_t slot = cellOf(key(c), c);
      if (slot < 0)
        return;
      for (int32_t m = m_start[static_cast<size_t>(slot)]; m < m_start[static_cast<size_t>(slot) + 1]; ++m)
        visit(m_members[static_cast<size_t>(m)], m);
    };
    for (int64_t ring = 0; ring <= reach; ++ring) {
      if (ring >= 1 && (ring - 1) * m_size * (1 - 1e-9) > *bound)
        break;
      const int64_t x0 = std::max<int64_t>(q[0] - ring, 0), x1 = std::min(q[0] + ring, m_dim[0] - 1);
      const int64_t y0 = std::max<int64_t>(q[1] - ring, 0), y1 = std::min(q[1] + ring, m_dim[1] - 1);
      const int64_t z0 = std::max<int64_t>(q[2] - ring, 0), z1 = std::min(q[2] + ring, m_dim[2] - 1);
      for (int64_t iz = z0; iz <= z1; ++iz)
        for (int64_t iy = y0; iy <= y1; ++iy) {
          const bool shell = std::llabs(iz - q[2]) == ring || std::llabs(iy - q[1]) == ring;
          if (shell) {
            for (int64_t ix = x0; ix <= x1; ++ix)
              cell(ix, iy, iz);
          } else {
            if (q[0] - ring >= 0 && q[0] - ring <= m_dim[0] - 1)
              cell(q[0] - ring, iy, iz);
            if (ring > 0 && q[0] + ring >= 0 && q[0] + ring <= m_dim[0] - 1)
              cell(q[0] + ring, iy, iz);
          }
        }
    }
  }
};

// The n points in order of their cells (points outside the grid in the nearest cell), in index
// order within a cell: order[k] is a point, keys[k] the key of its cell.
void sortByCell(const Grid &grid, int32_t n, const double *points, std::vector<uint64_t> *keys,
                std::vector<int32_t> *order) {
  const size_t count = static_cast<size_t>(n);
  keys->resize(count);
  order->resize(count);
  uint64_t largest = 0;
  for (int32_t i = 0; i < n; ++i) {
    const double *p = point(points, i);
    CellIndex c;
    for (int axis = 0; axis < 3; ++axis)
      c.m_i[axis] = std::clamp<int64_t>(grid.index(p[axis], axis), 0, grid.m_dim[axis] - 1);
    const uint64_t k = grid.key(c);
    (*keys)[static_cast<size_t>(i)] = k;
    largest = std::max(largest, k);
  }
  int bytes = 0;
  while (bytes < 8 && (largest >> (8 * bytes)) != 0)
    ++bytes;
  const char *tag = "GA_matchVerticesByGrid";
  if (bytes <= 4) {
    // Key and index in one word: half the bytes to move.
    std::vector<uint64_t> words(count);
    for (size_t i = 0; i < count; ++i)
      words[i] = (*keys)[i] << 32 | static_cast<uint64_t>(i);
    zyrRadixSort(words.data(), n, 4, bytes, [](uint64_t w) { return w; }, tag);
    for (size_t k = 0; k < count; ++k) {
      (*keys)[k] = words[k] >> 32;
      (*order)[k] = static_cast<int32_t>(words[k] & 0xFFFFFFFFu);
    }
    return;
  }
  struct Filed {
    uint64_t m_key;
    int32_t m_index;
  };
  std::vector<Filed> filed(count);
  for (size_t i = 0; i < count; ++i)
    filed[i] = Filed{(*keys)[i], static_cast<int32_t>(i)};
  zyrRadixSort(filed.data(), n, 0, bytes, [](const Filed &f) { return f.m_key; }, tag);
  for (size_t k = 0; k < count; ++k) {
    (*keys)[k] = filed[k].m_key;
    (*order)[k] = filed[k].m_index;
  }
}

// The radius of a point: its distance from the reference point.
double radiusOf(const double *p, const double *reference) { return std::sqrt(GA_getSquaredDistance(p, reference)); }

// The points of `order` with their radii, gathered into one array in that order.
void gather(const std::vector<int32_t> &order, const double *points, const double *reference,
            std::vector<Member> *out) {
  const size_t count = order.size();
  out->resize(count);
  const size_t ahead = 16;
  for (size_t k = 0; k < count; ++k) {
    if (k + ahead < count)
      __builtin_prefetch(point(points, order[k + ahead]));
    const double *p = point(points, order[k]);
    (*out)[k] = Member{{p[0], p[1], p[2]}, radiusOf(p, reference)};
  }
}

bool allFinite(int32_t n, const double *points) {
  for (int64_t i = 0; i < 3 * static_cast<int64_t>(n); ++i)
    if (!std::isfinite(points[i]))
      return false;
  return true;
}

// Files the set-1 vertices in cells about as wide as their spacing, never so narrow that the
// window spans more than a few of them. The vertices are sorted by cell, so that the members of a
// cell and of its neighbours along x lie together.
void fileVertices(int32_t n, const double *points1, const double *reference, double window, Grid *grid) {
  const size_t count = static_cast<size_t>(n);
  double extent[3];
  for (int axis = 0; axis < 3; ++axis) {
    double low = points1[axis];
    double high = points1[axis];
    for (int32_t i = 1; i < n; ++i) {
      low = std::min(low, point(points1, i)[axis]);
      high = std::max(high, point(points1, i)[axis]);
    }
    grid->m_min[axis] = low;
    extent[axis] = high - low;
  }
  double e[3] = {extent[0], extent[1], extent[2]};
  std::sort(e, e + 3, [](double a, double b) { return a > b; });
  double size = window;
  if (e[0] > 0) {
    if (e[1] <= 1e-3 * e[0])
      size = e[0] / n;
    else if (e[2] <= 1e-3 * e[1])
      size = std::sqrt(e[0] * e[1] / n);
    else
      size = std::cbrt(e[0] * e[1] * e[2] / n);
  }
  const double smallest = std::max(window / 8, e[0] / static_cast<double>(kMaxCells - 2));
  size = std::max(size, smallest);
  std::vector<uint64_t> keys;
  std::vector<int32_t> order;
  size_t cells = 0;
  auto fileCells = [&](double cellSize) {
    grid->m_size = cellSize;
    for (int axis = 0; axis < 3; ++axis)
      grid->m_dim[axis] = std::min<int64_t>(grid->index(grid->m_min[axis] + extent[axis], axis) + 1, kMaxCells);
    sortByCell(*grid, n, points1, &keys, &order);
    cells = 1;
    for (size_t k = 1; k < count; ++k)
      cells += keys[k] != keys[k - 1];
  };
  // The box says little about a surface or curve in space: cells that hold many points are made
  // smaller until a few points share a cell.
  for (int attempt = 0;; ++attempt) {
    fileCells(size);
    const double occupancy = static_cast<double>(n) / static_cast<double>(cells);
    if (attempt == 4 || occupancy <= 3)
      break;
    const double smaller = std::max(size / std::sqrt(occupancy / 1.5), smallest);
    if (smaller >= 0.9 * size)
      break;
    size = smaller;
  }
  grid->m_start.resize(cells + 1);
  grid->m_keys.resize(cells);
  int32_t cell = -1;
  for (size_t k = 0; k < count; ++k)
    if (k == 0 || keys[k] != keys[k - 1]) {
      ++cell;
      grid->m_start[static_cast<size_t>(cell)] = static_cast<int32_t>(k);
      grid->m_keys[static_cast<size_t>(cell)] = keys[k];
    }
  grid->m_start[cells] = n;
  gather(order, points1, reference, &grid->m_members);
  grid->m_index.swap(order);
  grid->m_used.assign(count, 0);
}

} // namespace

namespace {

// Set 0 in the grid's cell order: its keys, its order and its members.
struct SortedSet {
  std::vector<uint64_t> m_keys;
  std::vector<int32_t> m_order;
  std::vector<Member> m_members;
};

// 1. Every window: how many records it holds (0, 1 or more) and its first record, and for every
// record how many windows hold it (0, 1 or more). The set-0 vertices are taken cell by cell, so
// that neighbouring windows look at the same cells one after the other. False when a window is
// empty.
bool countWindows(Grid &grid, const SortedSet &set0, double window, std::vector<int32_t> &single,
                  std::vector<uint8_t> &held) {
  const size_t count = set0.m_keys.size();
  single.assign(count, -1); // the one record of a window, -2 for several
  held.assign(count, 0);
  size_t own = 0; // the first cell whose key is not below the vertex's
  for (size_t k = 0; k < count; ++k) {
    const uint64_t cellKey = set0.m_keys[k];
    while (own < grid.m_keys.size() && grid.m_keys[own] < cellKey)
      ++own;
    const int32_t ownSlot = own < grid.m_keys.size() && grid.m_keys[own] == cellKey ? static_cast<int32_t>(own) : -1;
    const double *p0 = set0.m_members[k].m_xyz;
    const double r0 = set0.m_members[k].m_radius;
    const double low = r0 - window;
    const double high = r0 + window;
    int32_t &found = single[k];
    grid.inBox(p0, window, cellKey, ownSlot, [&](const Member &m, int32_t at) {
      if (m.m_radius <= low || m.m_radius > high)
        return;
      if (std::sqrt(GA_getSquaredDistance(p0, m.m_xyz)) > window)
        return;
      found = found == -1 ? at : -2;
      uint8_t &h = held[static_cast<size_t>(at)];
      h = h < 2 ? static_cast<uint8_t>(h + 1) : h;
    });
    if (found == -1)
      return false;
  }
  return true;
}

// 2. The contested vertices in radial order (equal radii in index order), each replaying the
// scan: the nearest unused record within the window, among those the scan would meet first.
// False when one finds none.
bool resolveContested(Grid &grid, const SortedSet &set0, double window, std::vector<int32_t> &contested,
                      int32_t *permutation) {
  if (contested.size() > set0.m_keys.size() / 64)
    grid.hash();
  const std::vector<Member> &sorted0 = set0.m_members;
  const std::vector<int32_t> &order0 = set0.m_order;
  std::sort(contested.begin(), contested.end(), [&sorted0, &order0](int32_t a, int32_t b) {
    const double ra = sorted0[static_cast<size_t>(a)].m_radius;
    const double rb = sorted0[static_cast<size_t>(b)].m_radius;
    return ra < rb || (ra == rb && order0[static_cast<size_t>(a)] < order0[static_cast<size_t>(b)]);
  });
  struct Candidate {
    double m_radius;
    int32_t m_index;
    int32_t m_at;
    double m_distance;
  };
  std::vector<Candidate> candidates;
  for (int32_t k : contested) {
    const int32_t vertex0 = order0[static_cast<size_t>(k)];
    const double *p0 = sorted0[static_cast<size_t>(k)].m_xyz;
    const double r0 = sorted0[static_cast<size_t>(k)].m_radius;
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
    permutation[vertex0] = choice->m_index;
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
  if (!(window > 0) || !std::isfinite(window) || !allFinite(n, points0) || !allFinite(n, points1))
    return GA_matchVerticesByScan(n, points0, points1, tolerances, referencePoint);

  const size_t count = static_cast<size_t>(n);
  Grid grid;
  fileVertices(n, points1, referencePoint, window, &grid);
  SortedSet set0;
  sortByCell(grid, n, points0, &set0.m_keys, &set0.m_order);
  gather(set0.m_order, points0, referencePoint, &set0.m_members);
  std::vector<int32_t> single;
  std::vector<uint8_t> held;
  if (!countWindows(grid, set0, window, single, held))
    return nullptr;

  // A window with one record that no other window holds pairs at once.
  int32_t *permutation = zyrMemory_allocateArray<int32_t>(n, __func__);
  std::vector<int32_t> contested; // positions in set 0's cell order
  for (size_t k = 0; k < count; ++k) {
    const int32_t at = single[k];
    if (at >= 0 && held[static_cast<size_t>(at)] == 1) {
      permutation[set0.m_order[k]] = grid.m_index[static_cast<size_t>(at)];
      grid.m_used[static_cast<size_t>(at)] = 1;
    } else {
      contested.push_back(static_cast<int32_t>(k));
    }
  }
  if (!resolveContested(grid, set0, window, contested, permutation)) {
    zyrMemory_free(permutation, __func__);
    return nullptr;
  }
  return permutation;
}
