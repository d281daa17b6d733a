// Sorting, duplicate elimination and the four set operations on ten million integers, each
// beside the standard library's algorithm on the same data in the same run. The reported time
// is ours; the counter "ratio" is our time over the standard algorithm's (lower is better).
#include "zyrArrayUtilities.h"
#include "zyrMemory.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <numeric>
#include <random>
#include <vector>

namespace {

const int kCount = 10000000;

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point from) {
  return std::chrono::duration<double>(Clock::now() - from).count();
}

const std::vector<int> &randomInts() {
  static const std::vector<int> v = [] {
    std::mt19937 rng(1);
    std::vector<int> r(kCount);
    for (auto &x : r)
      x = static_cast<int>(rng());
    return r;
  }();
  return v;
}

// Values with many repeats: drawn from half as many distinct values as there are entries.
const std::vector<int> &repeatedInts() {
  static const std::vector<int> v = [] {
    std::mt19937 rng(2);
    std::uniform_int_distribution<int> d(0, kCount / 2);
    std::vector<int> r(kCount);
    for (auto &x : r)
      x = d(rng);
    return r;
  }();
  return v;
}

// Two ascending lists of distinct values, about ten million each, half of each in the other.
struct SortedPair {
  std::vector<int> a, b;
  SortedPair() {
    std::mt19937 rng(3);
    for (int v = 0; v < 2 * kCount; ++v) {
      const unsigned bits = rng();
      if (bits & 1)
        a.push_back(v);
      if (bits & 2)
        b.push_back(v);
    }
  }
};

const SortedPair &sortedPair() {
  static const SortedPair p;
  return p;
}

void report(benchmark::State &state, double ours, double theirs) {
  state.counters["ratio"] = ours / theirs;
  state.counters["std_ms"] = 1000.0 * theirs / static_cast<double>(state.iterations());
}

void BM_SortIntArray(benchmark::State &state) {
  const std::vector<int> &in = randomInts();
  std::vector<int> copy;
  double ours = 0, theirs = 0;
  for (auto _ : state) {
    copy = in;
    auto t = Clock::now();
    zyrSortIntArray(1, kCount, copy.data());
    const double o = seconds(t);
    benchmark::DoNotOptimize(copy.data());
    copy = in;
    t = Clock::now();
    std::sort(copy.begin(), copy.end());
    theirs += seconds(t);
    ours += o;
    state.SetIterationTime(o);
  }
  report(state, ours, theirs);
}

void BM_SortIndexByIntKeys(benchmark::State &state) {
  const std::vector<int> &keys = repeatedInts();
  std::vector<int> index(kCount);
  double ours = 0, theirs = 0;
  for (auto _ : state) {
    auto t = Clock::now();
    zyrSortIndexByIntKeys(1, kCount, keys.data(), index.data());
    const double o = seconds(t);
    benchmark::DoNotOptimize(index.data());
    t = Clock::now();
    std::iota(index.begin(), index.end(), 0);
    std::stable_sort(index.begin(), index.end(), [&](int x, int y) { return keys[x] < keys[y]; });
    theirs += seconds(t);
    ours += o;
    state.SetIterationTime(o);
  }
  report(state, ours, theirs);
}

void BM_EliminateDuplicates(benchmark::State &state) {
  const std::vector<int> &in = repeatedInts();
  double ours = 0, theirs = 0;
  for (auto _ : state) {
    int *array = zyrMemory_allocateArray<int>(kCount, "bench");
    std::memcpy(array, in.data(), sizeof(int) * kCount);
    int count = kCount;
    auto t = Clock::now();
    zyrEliminateDuplicates(&count, &array);
    const double o = seconds(t);
    benchmark::DoNotOptimize(array);
    zyrMemory_free(array, "bench");
    std::vector<int> copy = in;
    t = Clock::now();
    std::sort(copy.begin(), copy.end());
    copy.erase(std::unique(copy.begin(), copy.end()), copy.end());
    copy.shrink_to_fit();
    theirs += seconds(t);
    ours += o;
    state.SetIterationTime(o);
  }
  report(state, ours, theirs);
}

template <int OPERATION>
void BM_SetOperation(benchmark::State &state) {
  const SortedPair &p = sortedPair();
  std::vector<int> a = p.a, b = p.b;
  const int m = static_cast<int>(a.size()), n = static_cast<int>(b.size());
  double ours = 0, theirs = 0;
  for (auto _ : state) {
    int count, *result;
    auto t = Clock::now();
    zyrSetOperation(OPERATION, m, a.data(), n, b.data(), &count, &result);
    const double o = seconds(t);
    benchmark::DoNotOptimize(result);
    zyrMemory_free(result, "bench");

    t = Clock::now();
    std::unique_ptr<int[]> out(new int[static_cast<size_t>(m) + n]);
    int *end;
    if (OPERATION == zyrSetUnion)
      end = std::set_union(a.begin(), a.end(), b.begin(), b.end(), out.get());
    else if (OPERATION == zyrSetIntersection)
      end = std::set_intersection(a.begin(), a.end(), b.begin(), b.end(), out.get());
    else if (OPERATION == zyrSetDifference)
      end = std::set_difference(a.begin(), a.end(), b.begin(), b.end(), out.get());
    else
      end = std::set_symmetric_difference(a.begin(), a.end(), b.begin(), b.end(), out.get());
    benchmark::DoNotOptimize(end);
    out.reset();
    theirs += seconds(t);
    ours += o;
    state.SetIterationTime(o);
  }
  report(state, ours, theirs);
}

#define ZYR_BENCH(f) BENCHMARK(f)->Iterations(2)->UseManualTime()->Unit(benchmark::kMillisecond)
ZYR_BENCH(BM_SortIntArray);
ZYR_BENCH(BM_SortIndexByIntKeys);
ZYR_BENCH(BM_EliminateDuplicates);
ZYR_BENCH(BM_SetOperation<zyrSetUnion>)->Name("BM_SetUnion");
ZYR_BENCH(BM_SetOperation<zyrSetIntersection>)->Name("BM_SetIntersection");
ZYR_BENCH(BM_SetOperation<zyrSetDifference>)->Name("BM_SetDifference");
ZYR_BENCH(BM_SetOperation<zyrSetSymmetricDifference>)->Name("BM_SetSymmetricDifference");

} // namespace

BENCHMARK_MAIN();
