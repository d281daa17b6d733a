// GA_matchVerticesByGrid: the vertex matching of GeometricAlgorithms.h through a cell grid.
//
// The scan takes the set-0 vertices in radial order and, for each, walks the free set-1 records
// of its radial window in radial order, keeping the nearest within the window (the later record
// among equals) and stopping at the first record whose radius exceeds r0 + best. Here the grid
// finds the free set-1 vertices near the set-0 vertex, and the scan is then replayed over those of
// them that can decide its outcome: every one within the current smallest distance plus a margin
// far above rounding. Records farther away can neither be chosen nor end the scan before the
// chosen one (their radius differs from r0 by less than their distance only by rounding), so the
// replay chooses what the scan chooses, with the same distances computed the same way.
#include "GeometricAlgorithms.h"

#include "zyrArrayUtilities.h"
#include "zyrMemory.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace {

const double *point(const double *coordinates, int64_t index) { return coordinates + 3 * index; }

const int kBits = 21;
const int64_t kMaxCells = (int64_t{1} << kBits) - 1;

// Open-addressing table from a cell key to the cell's slot.
class CellTable {
public:
  explicit CellTable(size_t n) {
    size_t size = 16;
    while (size < 2 * n)
      size *= 2;
    m_keys.assign(size, kEmpty);
    m_values.assign(size, -1);
    m_mask = size - 1;
  }
  int32_t find(uint64_t key) const {
    for (size_t h = hash(key) & m_mask;; h = (h + 1) & m_mask) {
      if (m_keys[h] == key)
        return m_values[h];
      if (m_keys[h] == kEmpty)
        return -1;
    }
  }
  int32_t insert(uint64_t key, int32_t value) {
    for (size_t h = hash(key) & m_mask;; h = (h + 1) & m_mask) {
      if (m_keys[h] == key)
        return m_values[h];
      if (m_keys[h] == kEmpty) {
        m_keys[h] = key;
        m_values[h] = value;
        return value;
      }
    }
  }

private:
  static constexpr uint64_t kEmpty = ~uint64_t{0};
  static size_t hash(uint64_t key) {
    key ^= key >> 33;
    key *= 0xff51afd7ed558ccdULL;
    key ^= key >> 33;
    return static_cast<size_t>(key);
  }
  std::vector<uint64_t> m_keys;
  std::vector<int32_t> m_values;
  size_t m_mask = 0;
};

struct Grid {
  double m_min[3];
  double m_size;
  int64_t m_dim[3];
  CellTable m_table;
  std::vector<int32_t> m_start; // CSR over the cells
  std::vector<int32_t> m_members;
  explicit Grid(size_t n) : m_table(n) {}

  int64_t index(double x, int axis) const { return static_cast<int64_t>(std::floor((x - m_min[axis]) / m_size)); }
  static uint64_t key(int64_t ix, int64_t iy, int64_t iz) {
    return static_cast<uint64_t>(ix) | static_cast<uint64_t>(iy) << kBits | static_cast<uint64_t>(iz) << (2 * kBits);
  }
};

bool allFinite(int32_t n, const double *points) {
  for (int64_t i = 0; i < 3 * static_cast<int64_t>(n); ++i)
    if (!std::isfinite(points[i]))
      return false;
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
  std::vector<double> radius0(count), radius1(count);
  for (int32_t i = 0; i < n; ++i) {
    radius0[static_cast<size_t>(i)] = std::sqrt(GA_getSquaredDistance(point(points0, i), referencePoint));
    radius1[static_cast<size_t>(i)] = std::sqrt(GA_getSquaredDistance(point(points1, i), referencePoint));
  }
  std::vector<int32_t> index0(count), index1(count), rank1(count);
  zyrSortIndexByDoubleKeys(1, n, radius0.data(), index0.data());
  zyrSortIndexByDoubleKeys(1, n, radius1.data(), index1.data());
  for (size_t k = 0; k < count; ++k)
    rank1[static_cast<size_t>(index1[k])] = static_cast<int32_t>(k);

  // Cells about as wide as the spacing of set 1, never so narrow that the window spans more than
  // a few of them.
  Grid grid(count);
  double extent[3];
  for (int axis = 0; axis < 3; ++axis) {
    double low = points1[axis];
    double high = points1[axis];
    for (int32_t i = 1; i < n; ++i) {
      low = std::min(low, point(points1, i)[axis]);
      high = std::max(high, point(points1, i)[axis]);
    }
    grid.m_min[axis] = low;
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
  std::vector<int32_t> cellOf(count);
  std::vector<int32_t> cellCount;
  auto fileCells = [&](double cellSize) {
    grid.m_size = cellSize;
    grid.m_table = CellTable(count);
    cellCount.clear();
    for (int axis = 0; axis < 3; ++axis)
      grid.m_dim[axis] = std::min<int64_t>(grid.index(grid.m_min[axis] + extent[axis], axis) + 1, kMaxCells);
    for (int32_t i = 0; i < n; ++i) {
      const double *p = point(points1, i);
      int64_t c[3];
      for (int axis = 0; axis < 3; ++axis)
        c[axis] = std::clamp<int64_t>(grid.index(p[axis], axis), 0, grid.m_dim[axis] - 1);
      const int32_t slot = grid.m_table.insert(Grid::key(c[0], c[1], c[2]), static_cast<int32_t>(cellCount.size()));
      if (slot == static_cast<int32_t>(cellCount.size()))
        cellCount.push_back(0);
      ++cellCount[static_cast<size_t>(slot)];
      cellOf[static_cast<size_t>(i)] = slot;
    }
  };
  // The box says little about a surface or curve in space: cells that hold many points are made
  // smaller until a few points share a cell.
  for (int attempt = 0;; ++attempt) {
    fileCells(size);
    const double occupancy = static_cast<double>(n) / static_cast<double>(cellCount.size());
    if (attempt == 4 || occupancy <= 3)
      break;
    const double smaller = std::max(size / std::sqrt(occupancy / 1.5), smallest);
    if (smaller >= 0.9 * size)
      break;
    size = smaller;
  }
  grid.m_start.assign(cellCount.size() + 1, 0);
  for (size_t c = 0; c < cellCount.size(); ++c)
    grid.m_start[c + 1] = grid.m_start[c] + cellCount[c];
  // Members of a cell in index order; used members are swapped out of the live part of the cell.
  grid.m_members.resize(count);
  std::vector<int32_t> fill(grid.m_start.begin(), grid.m_start.end() - 1);
  std::vector<int32_t> where(count);
  for (int32_t i = 0; i < n; ++i) {
    const int32_t slot = cellOf[static_cast<size_t>(i)];
    where[static_cast<size_t>(i)] = fill[static_cast<size_t>(slot)];
    grid.m_members[static_cast<size_t>(fill[static_cast<size_t>(slot)]++)] = i;
  }
  std::vector<int32_t> live(cellCount.begin(), cellCount.end());

  int32_t *permutation = zyrMemory_allocateArray<int32_t>(n, __func__);
  struct Candidate {
    int32_t m_rank;
    double m_distance;
  };
  std::vector<Candidate> candidates;
  for (size_t k0 = 0; k0 < count; ++k0) {
    const int32_t vertex0 = index0[k0];
    const double *p0 = point(points0, vertex0);
    const double r0 = radius0[static_cast<size_t>(vertex0)];
    const double low = r0 - window;
    const double slack = 1e-12 * (std::fabs(r0) + window);
    int64_t q[3];
    for (int axis = 0; axis < 3; ++axis) {
      const double raw = std::floor((p0[axis] - grid.m_min[axis]) / grid.m_size);
      q[axis] = static_cast<int64_t>(std::clamp(raw, -2.0 * kMaxCells, 2.0 * kMaxCells));
    }
    int64_t reach = 0;
    for (int axis = 0; axis < 3; ++axis)
      reach = std::max({reach, q[axis], grid.m_dim[axis] - 1 - q[axis]});
    candidates.clear();
    double nearest = std::numeric_limits<double>::infinity();
    double bound = window;
    // Cells whose box lies farther than the bound are not looked at; the margin covers the
    // rounding of the cell index.
    auto gap = [&](int64_t i, int axis) {
      const double lower = grid.m_min[axis] + static_cast<double>(i) * grid.m_size;
      const double upper = lower + grid.m_size;
      const double x = p0[axis];
      const double margin = 1e-9 * grid.m_size + 1e-12 * (std::fabs(x) + std::fabs(grid.m_min[axis]));
      const double g = x < lower ? lower - x : (x > upper ? x - upper : 0.0);
      return g > margin ? g - margin : 0.0;
    };
    auto visit = [&](int64_t ix, int64_t iy, int64_t iz) {
      const double gx = gap(ix, 0);
      const double gy = gap(iy, 1);
      const double gz = gap(iz, 2);
      if (gx * gx + gy * gy + gz * gz > bound * bound)
        return;
      const int32_t slot = grid.m_table.find(Grid::key(ix, iy, iz));
      if (slot < 0)
        return;
      const int32_t *member = grid.m_members.data() + grid.m_start[static_cast<size_t>(slot)];
      for (int32_t m = 0; m < live[static_cast<size_t>(slot)]; ++m) {
        const int32_t j = member[m];
        if (radius1[static_cast<size_t>(j)] <= low)
          continue;
        const double d = std::sqrt(GA_getSquaredDistance(p0, point(points1, j)));
        if (d <= window) {
          candidates.push_back({rank1[static_cast<size_t>(j)], d});
          if (d < nearest) {
            nearest = d;
            bound = std::min(window, nearest + slack);
          }
        }
      }
    };
    for (int64_t ring = 0; ring <= reach; ++ring) {
      if (ring >= 1 && (ring - 1) * grid.m_size * (1 - 1e-9) > bound)
        break;
      const int64_t x0 = std::max<int64_t>(q[0] - ring, 0), x1 = std::min(q[0] + ring, grid.m_dim[0] - 1);
      const int64_t y0 = std::max<int64_t>(q[1] - ring, 0), y1 = std::min(q[1] + ring, grid.m_dim[1] - 1);
      const int64_t z0 = std::max<int64_t>(q[2] - ring, 0), z1 = std::min(q[2] + ring, grid.m_dim[2] - 1);
      for (int64_t iz = z0; iz <= z1; ++iz)
        for (int64_t iy = y0; iy <= y1; ++iy) {
          const bool shell = std::llabs(iz - q[2]) == ring || std::llabs(iy - q[1]) == ring;
          if (shell) {
            for (int64_t ix = x0; ix <= x1; ++ix)
              visit(ix, iy, iz);
          } else {
            if (q[0] - ring >= 0 && q[0] - ring <= grid.m_dim[0] - 1)
              visit(q[0] - ring, iy, iz);
            if (ring > 0 && q[0] + ring >= 0 && q[0] + ring <= grid.m_dim[0] - 1)
              visit(q[0] + ring, iy, iz);
          }
        }
    }
    // The scan replayed over the records that can decide it, in radial order.
    std::sort(candidates.begin(), candidates.end(),
              [](const Candidate &a, const Candidate &b) { return a.m_rank < b.m_rank; });
    double best = window;
    int32_t choice = -1;
    for (const Candidate &c : candidates) {
      if (c.m_distance > bound)
        continue;
      if (radius1[static_cast<size_t>(index1[static_cast<size_t>(c.m_rank)])] > r0 + best)
        break;
      if (c.m_distance <= best) {
        best = c.m_distance;
        choice = c.m_rank;
      }
    }
    if (choice < 0) {
      zyrMemory_free(permutation, __func__);
      return nullptr;
    }
    const int32_t chosen = index1[static_cast<size_t>(choice)];
    permutation[vertex0] = chosen;
    // Out of the live part of its cell.
    const int32_t slot = cellOf[static_cast<size_t>(chosen)];
    const int32_t lastAt = grid.m_start[static_cast<size_t>(slot)] + --live[static_cast<size_t>(slot)];
    const int32_t at = where[static_cast<size_t>(chosen)];
    const int32_t other = grid.m_members[static_cast<size_t>(lastAt)];
    std::swap(grid.m_members[static_cast<size_t>(at)], grid.m_members[static_cast<size_t>(lastAt)]);
    where[static_cast<size_t>(other)] = at;
    where[static_cast<size_t>(chosen)] = lastAt;
  }
  return permutation;
}
