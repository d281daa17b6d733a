// GA_identifyPoints (a sweep whose windows are searched through a cell grid when they are wide)
// against two baselines run on the same points in the same run: the plain window scan
// (GA_identifyPointsBySweep, which must give the same map), and a k-d tree over set 2 asked for
// the nearest point within the tolerance. Reported: each side's seconds and the ratios
// identify / scan and identify / k-d tree (below 1 means GA_identifyPoints is faster).
//   Lattice: an n x n x n lattice against a shuffled copy moved by less than the tolerance; the
//   sweep windows each hold a whole lattice plane, the plain scan's worst case.
//   Cloud: n random points in a flat slab against a shuffled, moved copy.
#include "GeometricAlgorithms.h"
#include "zyrBenchSupport.h"
#include "zyrMemory.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <numeric>
#include <random>
#include <vector>

namespace {

using zyrbench::Clock;
using zyrbench::seconds;

struct Sets {
  std::vector<double> one, two;
  int32_t n1() const { return static_cast<int32_t>(one.size() / 3); }
  int32_t n2() const { return static_cast<int32_t>(two.size() / 3); }
};

// Set 2 is set 1 shuffled and moved by up to a tenth of the tolerance (1e-5 of the extent).
void copyInto(Sets &sets, double extent, std::mt19937 &random) {
  std::vector<int32_t> order(static_cast<size_t>(sets.n1()));
  std::iota(order.begin(), order.end(), 0);
  std::shuffle(order.begin(), order.end(), random);
  std::uniform_real_distribution<double> jitter(-1e-6 * extent / 2, 1e-6 * extent / 2);
  for (int32_t i : order)
    for (int c = 0; c < 3; ++c)
      sets.two.push_back(sets.one[3 * static_cast<size_t>(i) + c] + jitter(random));
}

Sets lattice(int n) {
  Sets sets;
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j)
      for (int k = 0; k < n; ++k)
        sets.one.insert(sets.one.end(), {double(i), double(j), double(k)});
  std::mt19937 random(1);
  copyInto(sets, n - 1, random);
  return sets;
}

Sets cloud(int n) {
  Sets sets;
  std::mt19937 random(2);
  std::uniform_real_distribution<double> unit(0, 1);
  for (int i = 0; i < n; ++i)
    sets.one.insert(sets.one.end(), {unit(random), unit(random), 0.05 * unit(random)});
  copyInto(sets, 1, random);
  return sets;
}

// A plain k-d tree over set 2, nearest point within the tolerance.
class KdTree {
public:
  explicit KdTree(const std::vector<double> &points) : m_points(points), m_index(points.size() / 3) {
    std::iota(m_index.begin(), m_index.end(), 0);
    build(0, static_cast<int32_t>(m_index.size()), 0);
  }

  int32_t nearest(const double *p, double squaredTolerance) const {
    double best = squaredTolerance;
    int32_t choice = -1;
    search(0, static_cast<int32_t>(m_index.size()), 0, p, best, choice);
    return choice;
  }

private:
  void build(int32_t from, int32_t to, int axis) {
    if (to - from <= 1)
      return;
    const int32_t middle = (from + to) / 2;
    std::nth_element(m_index.begin() + from, m_index.begin() + middle, m_index.begin() + to,
                     [&](int32_t a, int32_t b) { return m_points[3 * a + axis] < m_points[3 * b + axis]; });
    build(from, middle, (axis + 1) % 3);
    build(middle + 1, to, (axis + 1) % 3);
  }

  void search(int32_t from, int32_t to, int axis, const double *p, double &best, int32_t &choice) const {
    if (to <= from)
      return;
    const int32_t middle = (from + to) / 2;
    const int32_t index = m_index[static_cast<size_t>(middle)];
    const double d = GA_getSquaredDistance(p, &m_points[3 * static_cast<size_t>(index)]);
    if (d < best) {
      best = d;
      choice = index;
    }
    const double delta = p[axis] - m_points[3 * static_cast<size_t>(index) + axis];
    const int next = (axis + 1) % 3;
    if (delta < 0) {
      search(from, middle, next, p, best, choice);
      if (delta * delta < best)
        search(middle + 1, to, next, p, best, choice);
    } else {
      search(middle + 1, to, next, p, best, choice);
      if (delta * delta < best)
        search(from, middle, next, p, best, choice);
    }
  }

  const std::vector<double> &m_points;
  std::vector<int32_t> m_index;
};

void run(benchmark::State &state, const Sets &sets, double extent, bool withScan) {
  for (auto _ : state) {
    int32_t matched = 0, matchedScan = 0;
    int32_t *map = nullptr, *scanMap = nullptr;
    const auto g0 = Clock::now();
    GA_identifyPoints(sets.n1(), sets.one.data(), sets.n2(), sets.two.data(), &matched, &map);
    const auto g1 = Clock::now();
    double scan = 0;
    if (withScan) {
      const auto s0 = Clock::now();
      GA_identifyPointsBySweep(sets.n1(), sets.one.data(), sets.n2(), sets.two.data(), &matchedScan, &scanMap);
      scan = seconds(s0, Clock::now());
      if (matchedScan != matched || !std::equal(map, map + sets.n1(), scanMap))
        state.SkipWithError("GA_identifyPoints and the plain scan differ");
    }
    const auto k0 = Clock::now();
    const double t = 1e-5 * extent;
    KdTree tree(sets.two);
    int32_t found = 0;
    for (int32_t i = 0; i < sets.n1(); ++i)
      found += tree.nearest(&sets.one[3 * static_cast<size_t>(i)], t * t) >= 0;
    const double kd = seconds(k0, Clock::now());
    const double grid = seconds(g0, g1);
    if (matched != sets.n1() || found != sets.n1())
      state.SkipWithError("points left unmatched");
    zyrMemory_free(map, "bench");
    zyrMemory_free(scanMap, "bench");
    state.SetIterationTime(grid);
    state.counters["identify_s"] = grid;
    state.counters["kdtree_s"] = kd;
    state.counters["ratio_kdtree"] = grid / kd;
    char label[96];
    if (withScan) {
      state.counters["scan_s"] = scan;
      state.counters["ratio_scan"] = grid / scan;
      std::snprintf(label, sizeof label, "identify/scan = %.4f, identify/kdtree = %.2f", grid / scan, grid / kd);
    } else {
      std::snprintf(label, sizeof label, "identify/kdtree = %.2f", grid / kd);
    }
    state.SetLabel(label);
  }
}

void BM_Lattice(benchmark::State &state) {
  const int n = static_cast<int>(state.range(0));
  const Sets sets = lattice(n);
  run(state, sets, n - 1, n <= 40);
}

void BM_Cloud(benchmark::State &state) {
  const Sets sets = cloud(static_cast<int>(state.range(0)));
  run(state, sets, 1, true);
}

BENCHMARK(BM_Lattice)->Arg(30)->Iterations(1)->Repetitions(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Lattice)->Arg(100)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Cloud)->Arg(200000)->Iterations(1)->Repetitions(3)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
