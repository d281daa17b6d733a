// Renumbering a connectivity list onto a shuffled, slightly moved copy of its points, in one run:
// ours, the k-d tree, and the baseline, the band scan, each renumber the same list of 100,000
// points (both must give the same answers): ratio_scan = tree time / scan time. The tree also
// renumbers 1,000,000 points: growth_10x = that time / its time at 100,000, against 10 for linear
// growth.
#include "PointMatch.h"
#include "zyrBenchSupport.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <random>

namespace {

namespace pm = qiv::zyrapi::pointmatch;

struct Input {
  std::vector<pm::Point> source;
  std::vector<pm::Point> target;
  std::vector<int32_t> connectivity;
};

Input input(size_t n) {
  std::mt19937 random(11);
  std::uniform_real_distribution<float> coordinate(0, 1);
  std::normal_distribution<float> noise(0, 1e-6f);
  Input in;
  in.target.resize(n);
  for (pm::Point &p : in.target)
    p = {coordinate(random), coordinate(random), coordinate(random)};
  in.source = in.target;
  std::shuffle(in.source.begin(), in.source.end(), random);
  for (pm::Point &p : in.source)
    p = {p.x + noise(random), p.y + noise(random), p.z + noise(random)};
  // Triangles over the source points: each index three times.
  for (size_t i = 0; i < n; ++i)
    in.connectivity.insert(in.connectivity.end(), {static_cast<int32_t>(i), static_cast<int32_t>((i + 1) % n),
                                                   static_cast<int32_t>((i + 2) % n)});
  return in;
}

template <class F> double seconds(F f) {
  const auto from = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

void BM_Renumber(benchmark::State &state) {
  const Input small = input(100000);
  const Input large = input(1000000);
  for (auto _ : state) {
    std::vector<int32_t> byScan = small.connectivity;
    const double scan = seconds([&] { pm::reorderByScan(small.source, small.target, byScan.data(), byScan.size()); });
    std::vector<int32_t> byTree = small.connectivity;
    const double tree = seconds([&] { pm::reorderByTree(small.source, small.target, byTree.data(), byTree.size()); });
    if (byTree != byScan) {
      state.SkipWithError("the k-d tree and the band scan disagree");
      return;
    }
    std::vector<int32_t> big = large.connectivity;
    const double treeLarge = seconds([&] { pm::reorderByTree(large.source, large.target, big.data(), big.size()); });
    benchmark::DoNotOptimize(big.data());
    state.SetIterationTime(scan + tree + treeLarge);
    state.counters["tree_1M_s"] = treeLarge;
    zyrbench::reportTotals(state, "tree", tree, "scan", scan, 3);
    state.counters["growth_10x"] = treeLarge / tree;
  }
}

BENCHMARK(BM_Renumber)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
