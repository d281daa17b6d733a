#include "GeometricAlgorithms.h"

#include "ElementTopology.h"
#include "zyrArrayUtilities.h"
#include "zyrMemory.h"
#include "zyrTrace.h"

#include <cmath>
#include <vector>

namespace {

const double kLargest = 1.7976931348623157e308;
const double kTiniestDeterminant = 2.2250738585072014e-306;

const double *point(const double *coordinates, int64_t index) { return coordinates + 3 * index; }

void subtract(const double *a, const double *b, double *out) {
  out[0] = a[0] - b[0];
  out[1] = a[1] - b[1];
  out[2] = a[2] - b[2];
}

void cross(const double *a, const double *b, double *out) {
  out[0] = a[1] * b[2] - a[2] * b[1];
  out[1] = a[2] * b[0] - a[0] * b[2];
  out[2] = a[0] * b[1] - a[1] * b[0];
}

double dot(const double *a, const double *b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

// ---- point identification ----

// What both ways of identifying points share: the two sets, their orders along the sweep axis,
// the tolerance and the trace levels.
struct Identification {
  int32_t count1;
  const double *points1;
  int32_t count2;
  const double *points2;
  int32_t axes[3]; // by extent, widest first
  double box[2][3]; // minimum, maximum
  double tolerance;
  double squaredTolerance;
  int32_t *order1;
  int32_t *order2;
  int32_t *map;
  int32_t noOfMatched;
  int traceLevel; // 0 to 3

  double sweep1(int32_t position) const { return point(points1, order1[position])[axes[0]]; }
  double sweep2(int32_t position) const { return point(points2, order2[position])[axes[0]]; }
};

void addToBox(double box[2][3], int32_t count, const double *points) {
  for (int32_t i = 0; i < count; ++i) {
    const double *p = point(points, i);
    for (int axis = 0; axis < 3; ++axis) {
      if (p[axis] > box[1][axis])
        box[1][axis] = p[axis];
      if (p[axis] < box[0][axis])
        box[0][axis] = p[axis];
    }
  }
}

// Box, sweep axis, tolerance and orders. Answers 0 when an order cannot be made.
int prepareIdentification(Identification &id) {
  for (int axis = 0; axis < 3; ++axis) {
    id.box[0][axis] = kLargest;
    id.box[1][axis] = -kLargest;
  }
  addToBox(id.box, id.count1, id.points1);
  double extents[3];
  for (int axis = 0; axis < 3; ++axis)
    extents[axis] = id.box[1][axis] - id.box[0][axis];
  if (extents[0] + extents[1] + extents[2] < 1e-30) {
    addToBox(id.box, id.count2, id.points2);
    for (int axis = 0; axis < 3; ++axis)
      extents[axis] = id.box[1][axis] - id.box[0][axis];
  }
  id.axes[0] = 0;
  id.axes[1] = 1;
  id.axes[2] = 2;
  // Swaps only on a strictly larger extent, so equal extents keep x before y before z.
  for (int pass = 0; pass < 2; ++pass)
    for (int i = 0; i < 2 - pass; ++i)
      if (extents[id.axes[i + 1]] > extents[id.axes[i]]) {
        const int32_t swap = id.axes[i];
        id.axes[i] = id.axes[i + 1];
        id.axes[i + 1] = swap;
      }
  if (id.traceLevel >= 1) {
    zyrTrace_printf("Bounding box:\n");
    zyrTrace_printf("  X: [%le, %le]   %le\n  Y: [%le, %le]   %le\n  Z: [%le, %le]   %le\n", id.box[0][0],
                    id.box[1][0], extents[0], id.box[0][1], id.box[1][1], extents[1], id.box[0][2], id.box[1][2],
                    extents[2]);
    zyrTrace_printf("Sorted ranges:\n");
    for (int i = 0; i < 3; ++i)
      zyrTrace_printf("  %d %le\n", id.axes[i], extents[id.axes[i]]);
  }
  if (!GA_orderVertices(id.count1, id.points1, id.axes[0], &id.order1) ||
      !GA_orderVertices(id.count2, id.points2, id.axes[0], &id.order2))
    return 0;
  id.tolerance = 1e-5 * extents[id.axes[0]];
  if (id.tolerance < 1e-17)
    id.tolerance = 1e-17;
  id.squaredTolerance = id.tolerance * id.tolerance;
  return 1;
}

// The window as a plain range of set-2 positions: every member is looked at.
class PlainWindow {
public:
  explicit PlainWindow(const Identification &id) : m_id(id) {}
  void insert(int32_t) {}
  void remove(int32_t) {}
  // The window position of the nearest set-2 point below the tolerance, the first of equals.
  int32_t nearest(const double *p, int32_t low, int32_t high) const {
    double best = m_id.squaredTolerance;
    int32_t choice = -1;
    for (int32_t position = low; position <= high; ++position) {
      const double d = GA_getSquaredDistance(p, point(m_id.points2, m_id.order2[position]));
      if (d < best) {
        best = d;
        choice = position;
        if (d == 0)
          break;
      }
    }
    return choice;
  }

private:
  const Identification &m_id;
};

// The window's set-2 points filed in square cells, 2t wide, over the two axes across the sweep.
// Two points less than t apart lie in the same or neighbouring cells, so a set-1 point needs
// to look into its own cell and the eight around it. The window takes points in and lets them go
// in sweep order, so each cell is a queue. Candidates are tested exactly as the plain window
// tests them and ties go to the earliest sweep position, which gives the plain window's answer.
class GridWindow {
public:
  explicit GridWindow(const Identification &id) : m_id(id) {}

  // Files set 1 and the reachable set-2 points; 0 when a set-1 cell cannot be had.
  int prepare() {
    const double width = 2 * m_id.tolerance;
    m_width = width;
    int64_t lowest[2] = {INT64_MAX, INT64_MAX}, highest[2] = {INT64_MIN, INT64_MIN};
    m_cell1.resize(2 * static_cast<size_t>(m_id.count1));
    for (int32_t i = 0; i < m_id.count1; ++i) {
      for (int c = 0; c < 2; ++c) {
        const double q = cellCoordinate(point(m_id.points1, i), c);
        if (!(q > -kCellLimit && q < kCellLimit))
          return 0;
        const int64_t cell = static_cast<int64_t>(std::floor(q));
        m_cell1[2 * static_cast<size_t>(i) + static_cast<size_t>(c)] = cell;
        if (cell < lowest[c])
          lowest[c] = cell;
        if (cell > highest[c])
          highest[c] = cell;
      }
    }
    for (int c = 0; c < 2; ++c) {
      m_low[c] = lowest[c] - 1;
      m_span[c] = highest[c] - lowest[c] + 3;
      if (m_span[c] > (INT64_C(1) << 30))
        return 0;
    }
    // Set-2 points in no cell next to a set-1 cell are never a candidate.
    m_slotOf.assign(static_cast<size_t>(m_id.count2), -1);
    m_next.assign(static_cast<size_t>(m_id.count2), -1);
    size_t capacity = 16;
    while (capacity < 2 * static_cast<size_t>(m_id.count2))
      capacity *= 2;
    m_keys.assign(capacity, -1);
    m_slots.assign(capacity, -1);
    m_mask = capacity - 1;
    for (int32_t position = 0; position < m_id.count2; ++position) {
      const int64_t key = keyOf(point(m_id.points2, m_id.order2[position]));
      if (key < 0)
        continue;
      size_t at = hash(key);
      while (m_keys[at] != -1 && m_keys[at] != key)
        at = (at + 1) & m_mask;
      if (m_keys[at] == -1) {
        m_keys[at] = key;
        m_slots[at] = static_cast<int32_t>(m_head.size());
        m_head.push_back(-1);
        m_tail.push_back(-1);
      }
      m_slotOf[static_cast<size_t>(position)] = m_slots[at];
    }
    return 1;
  }

  void insert(int32_t position) {
    const int32_t slot = m_slotOf[static_cast<size_t>(position)];
    if (slot < 0)
      return;
    if (m_tail[static_cast<size_t>(slot)] < 0)
      m_head[static_cast<size_t>(slot)] = position;
    else
      m_next[static_cast<size_t>(m_tail[static_cast<size_t>(slot)])] = position;
    m_tail[static_cast<size_t>(slot)] = position;
    m_next[static_cast<size_t>(position)] = -1;
  }

  void remove(int32_t position) {
    const int32_t slot = m_slotOf[static_cast<size_t>(position)];
    if (slot < 0)
      return;
    // The oldest member of the window is the head of its cell.
    const int32_t after = m_next[static_cast<size_t>(position)];
    m_head[static_cast<size_t>(slot)] = after;
    if (after < 0)
      m_tail[static_cast<size_t>(slot)] = -1;
  }

  int32_t nearest(int32_t index1, const double *p) const {
    double best = m_id.squaredTolerance;
    int32_t choice = -1;
    const int64_t cu = m_cell1[2 * static_cast<size_t>(index1)] - m_low[0];
    const int64_t cv = m_cell1[2 * static_cast<size_t>(index1) + 1] - m_low[1];
    for (int64_t du = -1; du <= 1; ++du)
      for (int64_t dv = -1; dv <= 1; ++dv) {
        const int32_t slot = find((cu + du) * m_span[1] + (cv + dv));
        if (slot < 0)
          continue;
        for (int32_t position = m_head[static_cast<size_t>(slot)]; position >= 0;
             position = m_next[static_cast<size_t>(position)]) {
          const double d = GA_getSquaredDistance(p, point(m_id.points2, m_id.order2[position]));
          if (d < best || (d == best && choice >= 0 && position < choice)) {
            best = d;
            choice = position;
          }
        }
      }
    return choice;
  }

private:
  // Cells beyond this are refused (the sweep then scans plainly); set-1 cells stay far below it
  // because the tolerance is a fixed fraction of the box.
  static constexpr double kCellLimit = 1e15;

  double cellCoordinate(const double *p, int c) const {
    const int32_t axis = m_id.axes[1 + c];
    return (p[axis] - m_id.box[0][axis]) / m_width;
  }

  // The key of a set-2 point's cell, or -1 when no set-1 point has a neighbouring cell.
  int64_t keyOf(const double *p) const {
    int64_t offsets[2];
    for (int c = 0; c < 2; ++c) {
      const double q = cellCoordinate(p, c);
      if (!(q > -kCellLimit && q < kCellLimit))
        return -1;
      const int64_t offset = static_cast<int64_t>(std::floor(q)) - m_low[c];
      if (offset < 0 || offset >= m_span[c])
        return -1;
      offsets[c] = offset;
    }
    return offsets[0] * m_span[1] + offsets[1];
  }

  size_t hash(int64_t key) const {
    uint64_t x = static_cast<uint64_t>(key) * UINT64_C(0x9E3779B97F4A7C15);
    return static_cast<size_t>(x ^ (x >> 29)) & m_mask;
  }

  int32_t find(int64_t key) const {
    for (size_t at = hash(key);; at = (at + 1) & m_mask) {
      if (m_keys[at] == key)
        return m_slots[at];
      if (m_keys[at] == -1)
        return -1;
    }
  }

  const Identification &m_id;
  double m_width = 0;
  int64_t m_low[2] = {0, 0};
  int64_t m_span[2] = {1, 1};
  std::vector<int64_t> m_cell1;
  std::vector<int32_t> m_slotOf;
  std::vector<int32_t> m_next;
  std::vector<int32_t> m_head;
  std::vector<int32_t> m_tail;
  std::vector<int64_t> m_keys;
  std::vector<int32_t> m_slots;
  size_t m_mask = 0;
};

int32_t nearestIn(const PlainWindow &window, int32_t, const double *p, int32_t low, int32_t high) {
  return window.nearest(p, low, high);
}
int32_t nearestIn(const GridWindow &window, int32_t index1, const double *p, int32_t, int32_t) {
  return window.nearest(index1, p);
}

// The sweep along the widest axis. Each set-1 point, in sweep order, is compared with the set-2
// points whose sweep coordinate lies in [x - t, x + t] around its own coordinate x: they join the
// window as x rises and leave it in the same order. (Windows opened per set-2 point instead, with
// every set-1 point up to x + t taken in at once, miss a partner that lies just past the window's
// edge.)
template <class Window> void sweep(Identification &id, Window &window) {
  int32_t low2 = 0, high2 = 0; // the window is [low2, high2)
  for (int32_t k1 = 0; k1 < id.count1; ++k1) {
    const double x = id.sweep1(k1);
    const double from = x - id.tolerance, to = x + id.tolerance;
    while (high2 < id.count2 && id.sweep2(high2) <= to)
      window.insert(high2++);
    while (low2 < high2 && id.sweep2(low2) < from)
      window.remove(low2++);
    const int32_t index1 = id.order1[k1];
    const int32_t position = nearestIn(window, index1, point(id.points1, index1), low2, high2 - 1);
    if (position >= 0) {
      id.map[index1] = id.order2[position];
      ++id.noOfMatched;
    }
    if (id.traceLevel >= 3) {
      zyrTrace_printf("Sweep plane = [%le, %le]\n", from, to);
      zyrTrace_printf("  Set 1     = [%d, %d] %d\n", k1, k1, 1);
      zyrTrace_printf("  Set 2     = [%d, %d] %d\n", low2, high2 - 1, high2 - low2);
    }
  }
}

bool allFinite(int32_t count, const double *points) {
  for (int64_t i = 0; i < 3 * static_cast<int64_t>(count); ++i)
    if (!std::isfinite(points[i]))
      return false;
  return true;
}

// How the window is searched.
enum Search { searchChosen, searchPlain, searchGrid };

// Points compared by plain scans of every window: the sum of the window sizes.
int64_t plainComparisons(const Identification &id) {
  int64_t total = 0;
  int32_t low2 = 0, high2 = 0;
  for (int32_t k1 = 0; k1 < id.count1; ++k1) {
    const double x = id.sweep1(k1);
    while (high2 < id.count2 && id.sweep2(high2) <= x + id.tolerance)
      ++high2;
    while (low2 < high2 && id.sweep2(low2) < x - id.tolerance)
      ++low2;
    total += high2 - low2;
  }
  return total;
}

int identify(int32_t count1, const double *points1, int32_t count2, const double *points2, int32_t *noOfMatched,
             int32_t **map, Search search, const char *tag, int traceLevel) {
  if (noOfMatched == nullptr || map == nullptr)
    return 0;
  *map = nullptr;
  *noOfMatched = 0;
  if (count1 < 0 || count2 < 0 || (count1 > 0 && points1 == nullptr) || (count2 > 0 && points2 == nullptr))
    return 0;
  if (count1 == 0)
    return 1;
  Identification id{};
  id.count1 = count1;
  id.points1 = points1;
  id.count2 = count2;
  id.points2 = points2;
  id.traceLevel = traceLevel;
  if (!prepareIdentification(id)) {
    zyrMemory_free(id.order1, tag);
    zyrMemory_free(id.order2, tag);
    return 0;
  }
  id.map = zyrMemory_allocateArray<int32_t>(count1, tag);
  for (int32_t i = 0; i < count1; ++i)
    id.map[i] = -1;
  // Both searches give the same answer: the grid pays when windows are wide (whole lattice
  // planes), the plain scan when they hold a few points.
  if (search == searchChosen)
    search = plainComparisons(id) > 16 * (static_cast<int64_t>(count1) + count2) ? searchGrid : searchPlain;
  bool swept = false;
  if (search == searchGrid && std::isfinite(id.squaredTolerance) && id.squaredTolerance > 0 &&
      allFinite(count1, points1) && allFinite(count2, points2)) {
    GridWindow window(id);
    if (window.prepare()) {
      sweep(id, window);
      swept = true;
    }
  }
  if (!swept) {
    PlainWindow window(id);
    sweep(id, window);
  }
  if (traceLevel >= 1) {
    zyrTrace_printf("Number of points (set 1) = %d\n", count1);
    zyrTrace_printf("Number of points (set 2) = %d\n", count2);
    zyrTrace_printf("Number of matched points = %d\n", id.noOfMatched);
    if (traceLevel >= 2)
      for (int32_t i = 0; i < count1; ++i)
        zyrTrace_printf("%d -> %d\n", i, id.map[i]);
  }
  zyrMemory_free(id.order1, tag);
  zyrMemory_free(id.order2, tag);
  *map = id.map;
  *noOfMatched = id.noOfMatched;
  return 1;
}

int traceLevelOf(int on, const zyrTraceState &state) {
  if (!on)
    return 0;
  const int32_t level = state.m_levels[zyrTraceDebug];
  return level >= 3 ? 3 : level > 0 ? level : 0;
}

// ---- element measures ----

double *measureArray(int32_t n, double **values, const char *tag) {
  if (*values == nullptr)
    *values = zyrMemory_allocateZeroedArray<double>(n, tag);
  return *values;
}

bool measurable(int32_t n, int32_t stride, int32_t noOfVertices, const int32_t *connectivity,
                const double *coordinates, double **values) {
  return n >= 1 && stride >= noOfVertices && connectivity != nullptr && coordinates != nullptr && values != nullptr;
}

// Tetrahedra of each volume element, by element type; -1 ends a list.
const int32_t kTetrahedra[4][6][4] = {
    {{0, 1, 2, 3}, {-1}},
    {{0, 1, 2, 4}, {0, 2, 3, 4}, {-1}},
    {{0, 1, 2, 4}, {0, 4, 2, 3}, {2, 3, 4, 5}, {-1}},
    {{0, 1, 2, 5}, {0, 5, 2, 4}, {2, 4, 5, 6}, {0, 2, 3, 6}, {0, 6, 3, 4}, {3, 4, 6, 7}},
};

} // namespace

int GA_orderVertices(int32_t n, const double *points, int32_t axis, int32_t **order) {
  ZYR_TRACE_BEGIN();
  if (order == nullptr)
    return 0;
  *order = nullptr;
  if (n < 0 || (n > 0 && points == nullptr))
    return 0;
  if (n == 0)
    return 1;
  const int32_t coordinate = axis == 0 ? 0 : axis == 1 ? 1 : 2;
  std::vector<double> keys(static_cast<size_t>(n));
  for (int32_t i = 0; i < n; ++i)
    keys[static_cast<size_t>(i)] = point(points, i)[coordinate];
  *order = zyrMemory_allocateArray<int32_t>(n, __func__);
  zyrSortIndexByDoubleKeys(1, n, keys.data(), *order);
  if (ZYR_TRACE_DEBUG(1)) {
    zyrTrace_printf("Ordered points (axis %d):\n------------------------\n", axis);
    for (int32_t i = 0; i < n; ++i) {
      const double *p = point(points, (*order)[i]);
      zyrTrace_printf("%d: %le %le %le\n", (*order)[i], p[0], p[1], p[2]);
    }
  }
  return 1;
}

int GA_identifyPoints(int32_t count1, const double *points1, int32_t count2, const double *points2,
                      int32_t *noOfMatched, int32_t **map) {
  ZYR_TRACE_BEGIN();
  return identify(count1, points1, count2, points2, noOfMatched, map, searchChosen, __func__,
                  traceLevelOf(zyr_trace_on_, zyr_trace_state_));
}

int GA_identifyPointsBySweep(int32_t count1, const double *points1, int32_t count2, const double *points2,
                             int32_t *noOfMatched, int32_t **map) {
  ZYR_TRACE_BEGIN();
  return identify(count1, points1, count2, points2, noOfMatched, map, searchPlain, __func__,
                  traceLevelOf(zyr_trace_on_, zyr_trace_state_));
}

int GA_identifyPointsByGrid(int32_t count1, const double *points1, int32_t count2, const double *points2,
                            int32_t *noOfMatched, int32_t **map) {
  ZYR_TRACE_BEGIN();
  return identify(count1, points1, count2, points2, noOfMatched, map, searchGrid, __func__,
                  traceLevelOf(zyr_trace_on_, zyr_trace_state_));
}

int32_t *GA_matchVertices(int32_t n, const double *points0, const double *points1, const double *tolerances,
                          const double referencePoint[3]) {
  // Small sets are scanned; larger ones go through the cell grid, which gives the same pairs.
  return n >= 256 ? GA_matchVerticesByGrid(n, points0, points1, tolerances, referencePoint)
                  : GA_matchVerticesByScan(n, points0, points1, tolerances, referencePoint);
}

int32_t *GA_matchVerticesByScan(int32_t n, const double *points0, const double *points1, const double *tolerances,
                                const double referencePoint[3]) {
  if (n < 1 || points0 == nullptr || points1 == nullptr || tolerances == nullptr || referencePoint == nullptr)
    return nullptr;
  const size_t count = static_cast<size_t>(n);
  std::vector<double> radius0(count), radius1(count);
  for (int32_t i = 0; i < n; ++i) {
    radius0[static_cast<size_t>(i)] = std::sqrt(GA_getSquaredDistance(point(points0, i), referencePoint));
    radius1[static_cast<size_t>(i)] = std::sqrt(GA_getSquaredDistance(point(points1, i), referencePoint));
  }
  // Radial order; equal radii in index order.
  std::vector<int32_t> index0(count), index1(count);
  zyrSortIndexByDoubleKeys(1, n, radius0.data(), index0.data());
  zyrSortIndexByDoubleKeys(1, n, radius1.data(), index1.data());
  std::vector<double> r1(count);
  for (size_t k = 0; k < count; ++k)
    r1[k] = radius1[static_cast<size_t>(index1[k])];

  double largest = tolerances[0];
  for (int32_t i = 1; i < n; ++i)
    if (tolerances[i] > largest)
      largest = tolerances[i];
  const double window = 1.05 * largest;

  // freeFrom[k]: the first record at or after k that is still free (path-halved), so the scan
  // steps over used records without looking at them.
  std::vector<int32_t> freeFrom(count + 1);
  for (size_t k = 0; k <= count; ++k)
    freeFrom[k] = static_cast<int32_t>(k);
  auto firstFree = [&freeFrom](int32_t k) {
    while (freeFrom[static_cast<size_t>(k)] != k) {
      freeFrom[static_cast<size_t>(k)] = freeFrom[static_cast<size_t>(freeFrom[static_cast<size_t>(k)])];
      k = freeFrom[static_cast<size_t>(k)];
    }
    return k;
  };

  int32_t *permutation = zyrMemory_allocateArray<int32_t>(n, __func__);
  int32_t lower = 0;
  for (size_t k0 = 0; k0 < count; ++k0) {
    const int32_t vertex0 = index0[k0];
    const double r0 = radius0[static_cast<size_t>(vertex0)];
    // With no window at all only exactly coincident vertices pair, and those share their radius.
    if (window > 0)
      while (lower < n && r1[static_cast<size_t>(lower)] <= r0 - window)
        ++lower;
    else
      while (lower < n && r1[static_cast<size_t>(lower)] < r0 - window)
        ++lower;
    double best = window;
    int32_t choice = -1;
    for (int32_t k1 = firstFree(lower); k1 < n && r1[static_cast<size_t>(k1)] <= r0 + best;
         k1 = firstFree(k1 + 1)) {
      const double d = std::sqrt(GA_getSquaredDistance(point(points0, vertex0), point(points1, index1[static_cast<size_t>(k1)])));
      if (d <= best) {
        best = d;
        choice = k1;
      }
    }
    if (choice < 0) {
      zyrMemory_free(permutation, __func__);
      return nullptr;
    }
    permutation[vertex0] = index1[static_cast<size_t>(choice)];
    freeFrom[static_cast<size_t>(choice)] = choice + 1;
  }
  return permutation;
}

int GA_getVolumes(int32_t elementType, int32_t, int32_t n, int32_t stride, const int32_t *connectivity, int32_t,
                  const double *coordinates, double **volumes) {
  if (elementType < ZYR_ELEMENT_TETRA_4 || elementType > ZYR_ELEMENT_HEXA_8)
    return 0;
  if (!measurable(n, stride, ElementTopology_getNoOfVertices(elementType), connectivity, coordinates, volumes))
    return 0;
  double *out = measureArray(n, volumes, __func__);
  const int32_t(*tetrahedra)[4] = kTetrahedra[elementType - ZYR_ELEMENT_TETRA_4];
  for (int64_t e = 0; e < n; ++e) {
    const int32_t *v = connectivity + e * stride;
    double volume = 0;
    for (int t = 0; t < 6 && tetrahedra[t][0] >= 0; ++t)
      volume += GA_getTetrahedronVolume(coordinates, v[tetrahedra[t][0]], v[tetrahedra[t][1]], v[tetrahedra[t][2]],
                                        v[tetrahedra[t][3]]);
    out[e] = volume;
  }
  return 1;
}

int GA_getBetaStatistic(int32_t, int32_t n, int32_t stride, const int32_t *connectivity, int32_t,
                        const double *coordinates, double **values) {
  if (!measurable(n, stride, 4, connectivity, coordinates, values))
    return 0;
  double *out = measureArray(n, values, __func__);
  for (int64_t e = 0; e < n; ++e) {
    const int32_t *v = connectivity + e * stride;
    double centre[3];
    const double circumradius = GA_getCircumsphere(coordinates, v[0], v[1], v[2], v[3], centre);
    const double volume = GA_getTetrahedronVolume(coordinates, v[0], v[1], v[2], v[3]);
    const double area = GA_getTetrahedronArea(coordinates, v[0], v[1], v[2], v[3]);
    const double inradius = 3 * volume / area;
    out[e] = circumradius / inradius;
  }
  return 1;
}

int GA_getEdgeStatistic(int32_t elementType, int32_t convention, int32_t which, int32_t n, int32_t stride,
                        const int32_t *connectivity, int32_t, const double *coordinates, double **values) {
  if (which < 1 || which > 3)
    return 0;
  int32_t noOfEdges = 0;
  const int32_t *edges = nullptr;
  if (!ElementTopology_getEdgeVertices(elementType, convention, &noOfEdges, &edges) || noOfEdges < 1)
    return 0;
  if (!measurable(n, stride, ElementTopology_getNoOfVertices(elementType), connectivity, coordinates, values))
    return 0;
  double *out = measureArray(n, values, __func__);
  for (int64_t e = 0; e < n; ++e) {
    const int32_t *v = connectivity + e * stride;
    double smallest = 0, largest = 0;
    for (int32_t k = 0; k < noOfEdges; ++k) {
      const double d =
          GA_getSquaredDistance(point(coordinates, v[edges[2 * k]]), point(coordinates, v[edges[2 * k + 1]]));
      if (k == 0 || d < smallest)
        smallest = d;
      if (k == 0 || d > largest)
        largest = d;
    }
    out[e] = which == 1 ? std::sqrt(smallest) : which == 2 ? std::sqrt(largest) : std::sqrt(smallest / largest);
  }
  return 1;
}

int GA_isInsideTriangle(const double *p, const double *a, const double *b, const double *c, double low, double high,
                        double *u, double *v, double *w) {
  const double determinant = (a[0] - c[0]) * (b[1] - c[1]) - (a[1] - c[1]) * (b[0] - c[0]);
  if (determinant == 0)
    return 0;
  *u = ((b[0] - p[0]) * (c[1] - p[1]) - (b[1] - p[1]) * (c[0] - p[0])) / determinant;
  if (!(*u >= low && *u <= high))
    return 0;
  *v = ((c[0] - p[0]) * (a[1] - p[1]) - (c[1] - p[1]) * (a[0] - p[0])) / determinant;
  if (!(*v >= low && *v <= high))
    return 0;
  *w = 1 - *u - *v;
  return *w >= low && *w <= high;
}

double GA_getSquaredDistance(const double *a, const double *b) {
  const double dx = a[0] - b[0], dy = a[1] - b[1], dz = a[2] - b[2];
  return dx * dx + dy * dy + dz * dz;
}

double GA_getTetrahedronVolume(const double *coordinates, int32_t a, int32_t b, int32_t c, int32_t d) {
  double e1[3], e2[3], e3[3], normal[3];
  subtract(point(coordinates, b), point(coordinates, a), e1);
  subtract(point(coordinates, c), point(coordinates, a), e2);
  subtract(point(coordinates, d), point(coordinates, a), e3);
  cross(e2, e3, normal);
  return dot(e1, normal) / 6;
}

double GA_getTriangleArea(const double *coordinates, int32_t a, int32_t b, int32_t c) {
  double e1[3], e2[3], normal[3];
  subtract(point(coordinates, b), point(coordinates, a), e1);
  subtract(point(coordinates, c), point(coordinates, a), e2);
  cross(e1, e2, normal);
  return 0.5 * std::sqrt(dot(normal, normal));
}

double GA_getTetrahedronArea(const double *coordinates, int32_t a, int32_t b, int32_t c, int32_t d) {
  return GA_getTriangleArea(coordinates, a, c, b) + GA_getTriangleArea(coordinates, a, b, d) +
         GA_getTriangleArea(coordinates, b, c, d) + GA_getTriangleArea(coordinates, c, a, d);
}

double GA_getCircumsphere(const double *coordinates, int32_t a, int32_t b, int32_t c, int32_t d, double centre[3]) {
  const double *origin = point(coordinates, a);
  double e1[3], e2[3], e3[3], e12[3], e31[3], e23[3];
  subtract(point(coordinates, b), origin, e1);
  subtract(point(coordinates, c), origin, e2);
  subtract(point(coordinates, d), origin, e3);
  cross(e1, e2, e12);
  cross(e3, e1, e31);
  cross(e2, e3, e23);
  double determinant = dot(e1, e23);
  // A flat tetrahedron gets a huge sphere rather than a division by zero.
  if (std::fabs(determinant) < kTiniestDeterminant)
    determinant = determinant > 0 ? kTiniestDeterminant : -kTiniestDeterminant;
  const double s1 = dot(e1, e1), s2 = dot(e2, e2), s3 = dot(e3, e3);
  double offset[3];
  for (int i = 0; i < 3; ++i)
    offset[i] = (s3 * e12[i] + s2 * e31[i] + s1 * e23[i]) / (2 * determinant);
  for (int i = 0; i < 3; ++i)
    centre[i] = origin[i] + offset[i];
  return std::sqrt(dot(offset, offset));
}
