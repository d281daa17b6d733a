// Nearest-point renumbering: the band scan and the k-d tree that gives the same answers faster.
#include "PointMatch.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <memory>
#include <numeric>

namespace qiv {
namespace zyrapi {
namespace pointmatch {

double keyOf(const Point &p) {
  return std::sqrt(static_cast<double>(p.x) * p.x + static_cast<double>(p.y) * p.y + static_cast<double>(p.z) * p.z);
}

double distanceOf(const Point &a, const Point &b) {
  const float dx = a.x - b.x;
  const float dy = a.y - b.y;
  const float dz = a.z - b.z;
  return std::sqrt(static_cast<double>(dx) * dx + static_cast<double>(dy) * dy + static_cast<double>(dz) * dz);
}

namespace {

struct Entry {
  double key;
  int32_t index;
};

// The targets by key, then by index; keys that are no number go last, so that the searches below
// see a properly ordered table whatever the coordinates hold.
class KeyTable {
public:
  explicit KeyTable(const std::vector<Point> &target) : m_target(target) {
    m_entries.reserve(target.size());
    for (size_t i = 0; i < target.size(); ++i)
      m_entries.push_back(Entry{keyOf(target[i]), static_cast<int32_t>(i)});
    std::sort(m_entries.begin(), m_entries.end(), [](const Entry &a, const Entry &b) {
      const bool aNaN = std::isnan(a.key);
      const bool bNaN = std::isnan(b.key);
      if (aNaN != bNaN)
        return bNaN;
      if (!aNaN && a.key != b.key)
        return a.key < b.key;
      return a.index < b.index;
    });
    m_window = (m_entries.back().key - m_entries.front().key) * 0.1;
  }

  size_t size() const { return m_entries.size(); }
  const Entry &operator[](size_t i) const { return m_entries[i]; }
  double window() const { return m_window; }
  const Point &point(size_t i) const { return m_target[static_cast<size_t>(m_entries[i].index)]; }

  // The first entry whose key is not less than value.
  size_t lowerBound(double value) const {
    return static_cast<size_t>(
        std::lower_bound(m_entries.begin(), m_entries.end(), value,
                         [](const Entry &e, double v) { return e.key < v; }) -
        m_entries.begin());
  }
  // The first entry whose key is greater than value.
  size_t upperBound(double value) const {
    return static_cast<size_t>(
        std::upper_bound(m_entries.begin(), m_entries.end(), value,
                         [](double v, const Entry &e) { return v < e.key; }) -
        m_entries.begin());
  }

private:
  const std::vector<Point> &m_target;
  std::vector<Entry> m_entries;
  double m_window;
};

// Where the band of a source key lies in the table. lo past the end: every key is below the band,
// the outermost target is taken; hi at the start: every key is above it, the innermost is taken.
// Otherwise the candidates are lo to last, both included.
struct Band {
  size_t lo;
  size_t last;
  bool settled;
  int32_t answer;
};

Band bandOf(const KeyTable &table, double key) {
  Band band{0, 0, false, -1};
  const size_t n = table.size();
  band.lo = table.lowerBound(key - table.window());
  const size_t hi = table.lowerBound(key + table.window());
  if (band.lo == n) {
    band.settled = true;
    band.answer = table[n - 1].index;
  } else if (hi == 0) {
    band.settled = true;
    band.answer = table[band.lo].index;
  } else {
    band.last = hi == n ? n - 1 : hi;
  }
  return band;
}

// The first nearest candidate of the band in table order.
int32_t scanBand(const KeyTable &table, const Band &band, const Point &p) {
  double best = DBL_MAX;
  int32_t bestIndex = table[band.lo].index;
  for (size_t i = band.lo; i <= band.last; ++i) {
    const double d = distanceOf(p, table.point(i));
    if (d < best) {
      best = d;
      bestIndex = table[i].index;
    }
  }
  return bestIndex;
}

// A balanced k-d tree kept in one permutation of the target indices: the middle of each range is
// the node, split on the axis along which the range spreads most.
class KdTree {
public:
  explicit KdTree(const std::vector<Point> &target) : m_target(target), m_order(target.size()), m_axis(target.size()) {
    std::iota(m_order.begin(), m_order.end(), 0);
    build(0, m_order.size());
  }

  // The least distance from p to any target (as distanceOf measures it).
  double nearest(const Point &p) const {
    double best = DBL_MAX;
    search(p, 0, m_order.size(), best);
    return best;
  }

private:
  static float coordinate(const Point &p, int axis) { return axis == 0 ? p.x : (axis == 1 ? p.y : p.z); }

  void build(size_t begin, size_t end) {
    if (end - begin <= kLeaf)
      return;
    float lo[3] = {FLT_MAX, FLT_MAX, FLT_MAX};
    float hi[3] = {-FLT_MAX, -FLT_MAX, -FLT_MAX};
    for (size_t i = begin; i < end; ++i) {
      const Point &q = m_target[static_cast<size_t>(m_order[i])];
      for (int a = 0; a < 3; ++a) {
        lo[a] = std::min(lo[a], coordinate(q, a));
        hi[a] = std::max(hi[a], coordinate(q, a));
      }
    }
    int axis = 0;
    for (int a = 1; a < 3; ++a)
      if (static_cast<double>(hi[a]) - lo[a] > static_cast<double>(hi[axis]) - lo[axis])
        axis = a;
    const size_t middle = begin + (end - begin) / 2;
    std::nth_element(m_order.begin() + static_cast<std::ptrdiff_t>(begin),
                     m_order.begin() + static_cast<std::ptrdiff_t>(middle),
                     m_order.begin() + static_cast<std::ptrdiff_t>(end), [&](int32_t a, int32_t b) {
                       return coordinate(m_target[static_cast<size_t>(a)], axis) <
                              coordinate(m_target[static_cast<size_t>(b)], axis);
                     });
    m_axis[middle] = static_cast<int8_t>(axis);
    build(begin, middle);
    build(middle + 1, end);
  }

  void search(const Point &p, size_t begin, size_t end, double &best) const {
    if (end - begin <= kLeaf) {
      for (size_t i = begin; i < end; ++i)
        best = std::min(best, distanceOf(p, m_target[static_cast<size_t>(m_order[i])]));
      return;
    }
    const size_t middle = begin + (end - begin) / 2;
    const Point &node = m_target[static_cast<size_t>(m_order[middle])];
    best = std::min(best, distanceOf(p, node));
    const int axis = m_axis[middle];
    const double offset = static_cast<double>(coordinate(p, axis)) - coordinate(node, axis);
    const bool below = offset < 0;
    search(p, below ? begin : middle + 1, below ? middle : end, best);
    // The far side lies at least |offset| away; distanceOf rounds the differences to float, so
    // it may come out a few parts in 10^8 short of that: keep a margin well above it.
    if (std::fabs(offset) * (1 - 1e-6) <= best)
      search(p, below ? middle + 1 : begin, below ? end : middle, best);
  }

  static constexpr size_t kLeaf = 8;
  const std::vector<Point> &m_target;
  std::vector<int32_t> m_order;
  std::vector<int8_t> m_axis;
};

bool finite(const Point &p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }

template <class Match>
void renumber(size_t sourceCount, int32_t *connectivity, size_t count, const Match &match) {
  std::vector<int32_t> mapped(sourceCount, -1);
  for (size_t i = 0; i < count; ++i) {
    const size_t c = static_cast<size_t>(connectivity[i]);
    if (mapped[c] < 0)
      mapped[c] = match(c);
  }
  for (size_t i = 0; i < count; ++i)
    connectivity[i] = mapped[static_cast<size_t>(connectivity[i])];
}

} // namespace

void reorderByScan(const std::vector<Point> &source, const std::vector<Point> &target, int32_t *connectivity,
                   size_t count) {
  if (target.empty())
    return;
  const KeyTable table(target);
  renumber(source.size(), connectivity, count, [&](size_t c) {
    const Band band = bandOf(table, keyOf(source[c]));
    return band.settled ? band.answer : scanBand(table, band, source[c]);
  });
}

void reorderByTree(const std::vector<Point> &source, const std::vector<Point> &target, int32_t *connectivity,
                   size_t count) {
  if (target.empty())
    return;
  const KeyTable table(target);
  const bool usable = std::isfinite(table.window()) &&
                      std::all_of(target.begin(), target.end(), [](const Point &p) { return finite(p); });
  std::unique_ptr<KdTree> tree;
  if (usable)
    tree.reset(new KdTree(target));
  renumber(source.size(), connectivity, count, [&](size_t c) {
    const Point &p = source[c];
    const double key = keyOf(p);
    const Band band = bandOf(table, key);
    if (band.settled)
      return band.answer;
    if (tree == nullptr || !finite(p) || !std::isfinite(key))
      return scanBand(table, band, p);
    const double nearest = tree->nearest(p);
    if (!std::isfinite(nearest))
      return scanBand(table, band, p);
    // Every target at that distance has its key within it of the source key (up to rounding,
    // hence the slack); the first such target of the band in table order is the band's answer.
    const double slack = nearest * 1e-6 + (2 * key + nearest) * 1e-13 + 1e-300;
    const size_t from = std::max(band.lo, table.lowerBound(key - nearest - slack));
    const size_t to = std::min(band.last + 1, table.upperBound(key + nearest + slack));
    for (size_t i = from; i < to; ++i)
      if (distanceOf(p, table.point(i)) == nearest)
        return table[i].index;
    // The nearest targets all lie outside the band: only the band itself can tell.
    return scanBand(table, band, p);
  });
}

} // namespace pointmatch
} // namespace zyrapi
} // namespace qiv
