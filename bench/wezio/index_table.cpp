// Look-ups of data sets by what, where and when in the index table (ours), against a std::map of
// the same keys measured in the same run (the baseline): ratio_map = our time over the map's.
// BM_Lookup finds the same 4,096 keys in both. BM_InsertThenLookup adds one entry to each (its
// text and key made before the clock starts) and finds one key. Both are O(log n): the ratio
// should stay flat from 1,000 to 100,000 entries, also when every look-up follows an insertion
// (the table keeps its what order as entries arrive, so nothing is sorted again).
#include "io_file.h"
#include "io_index.h"
#include "zyrBenchSupport.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
const char kEsc = 27;

std::string key(int i) {
  // Object-like keys: 22-character names, a few attributes each, several states.
  char what[32], where[32];
  snprintf(what, sizeof what, "attr%d", i % 7);
  snprintf(where, sizeof where, "obj%018d", i / 7);
  return std::string(what) + kEsc + where + kEsc + std::to_string(i % 5) + kEsc;
}

std::string entry(int i) {
  return "Y" + std::string(1, kEsc) + key(i) + "100" + kEsc + std::to_string(36 + 100 * i);
}

struct Table {
  IO_file m_file;
  std::map<std::string, int> m_map;
  explicit Table(int n) {
    iif_clear_record(&m_file);
    for (int i = 0; i < n; ++i) add(i);
    indextable_sort(m_file.m_indextable);
  }
  ~Table() { indextable_free(m_file.m_indextable); }
  void add(int i) {
    insert_index(nullptr, &m_file, entry(i).c_str());
    m_map.emplace(key(i), i);
  }
};

void report(benchmark::State &state, double ours, double base, int64_t count) {
  if (base > 0)
    zyrbench::reportTotals(state, "index", ours, "map", base, 2);
  state.counters["ns_per_lookup"] = count > 0 ? 1e9 * ours / static_cast<double>(count) : 0;
}

void BM_Lookup(benchmark::State &state) {
  const int n = static_cast<int>(state.range(0));
  Table table(n);
  std::mt19937 random(1);
  std::vector<std::string> keys(4096);
  for (std::string &k : keys) k = key(static_cast<int>(random() % n));
  double ours = 0, base = 0;
  int64_t count = 0;
  for (auto _ : state) {
    auto a = Clock::now();
    for (const std::string &k : keys) {
      int32_t first, end;
      indextable_what_bounds(table.m_file.m_indextable, k.data(), k.size(), &first, &end);
      benchmark::DoNotOptimize(first + end);
    }
    auto b = Clock::now();
    for (const std::string &k : keys) benchmark::DoNotOptimize(table.m_map.find(k));
    auto c = Clock::now();
    ours += std::chrono::duration<double>(b - a).count();
    base += std::chrono::duration<double>(c - b).count();
    count += static_cast<int64_t>(keys.size());
  }
  report(state, ours, base, count);
}
BENCHMARK(BM_Lookup)->Arg(1000)->Arg(10000)->Arg(100000)->MinTime(0.2);

void BM_InsertThenLookup(benchmark::State &state) {
  const int n = static_cast<int>(state.range(0));
  Table table(n);
  std::mt19937 random(2);
  int next = n;
  double ours = 0, base = 0;
  int64_t count = 0;
  for (auto _ : state) {
    std::string e = entry(next), added = key(next), k = key(static_cast<int>(random() % next));
    auto a = Clock::now();
    insert_index(nullptr, &table.m_file, e.c_str());
    indextable_sort(table.m_file.m_indextable); // what a look-up does first
    int32_t first, end;
    indextable_what_bounds(table.m_file.m_indextable, k.data(), k.size(), &first, &end);
    benchmark::DoNotOptimize(first + end);
    auto b = Clock::now();
    table.m_map.emplace(added, next);
    benchmark::DoNotOptimize(table.m_map.find(k));
    auto c = Clock::now();
    ours += std::chrono::duration<double>(b - a).count();
    base += std::chrono::duration<double>(c - b).count();
    ++count;
    ++next;
  }
  report(state, ours, base, count);
}
BENCHMARK(BM_InsertThenLookup)->Arg(1000)->Arg(10000)->Arg(100000)->MinTime(0.2);

} // namespace

BENCHMARK_MAIN();
