// Entering 200,000 distinct region names into the name dictionary (growth past 20046 slots one
// block of 1024 at a time) and looking every one up again (ours), against a std::unordered_map
// from name to id entering and looking up the same names in the same run (the baseline). Both
// start empty; neither side's clearing away is timed. Reported: seconds of each side and the
// ratios dictionary / map for entering and for looking up.
#include "RegionNameDictionary.h"
#include "zyrBenchSupport.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

using zyrbench::Clock;
using zyrbench::seconds;

const std::vector<std::string>& names() {
  static std::vector<std::string> all = [] {
    std::vector<std::string> v;
    for (int i = 0; i < 200000; ++i) v.push_back("Assembly " + std::to_string(i % 97) + " Wall " + std::to_string(i));
    return v;
  }();
  return all;
}

void BM_EnterAndLookUp(benchmark::State& state) {
  const std::vector<std::string>& v = names();
  double mapEnter = 0, mapLook = 0, dictEnter = 0, dictLook = 0;
  for (auto _ : state) {
    // The last round's dictionary goes untimed, as the last round's map did.
    RegionNameDictionary_destroy();
    auto t0 = Clock::now();
    std::unordered_map<std::string, uint64_t> map;
    for (const std::string& n : v) map.emplace(n, map.size() + 1);
    auto t1 = Clock::now();
    uint64_t sum = 0;
    for (const std::string& n : v) sum += map.find(n)->second;
    auto t2 = Clock::now();
    for (const std::string& n : v) RegionNameDictionary_add(n.c_str(), nullptr);
    auto t3 = Clock::now();
    uint64_t check = 0;
    for (const std::string& n : v) {
      uint64_t id = 0;
      RegionNameDictionary_lookup(n.c_str(), &id);
      check += id;
    }
    auto t4 = Clock::now();
    if (sum != check) {
      state.SkipWithError("ids differ");
      break;
    }
    benchmark::DoNotOptimize(sum);
    mapEnter += seconds(t0, t1);
    mapLook += seconds(t1, t2);
    dictEnter += seconds(t2, t3);
    dictLook += seconds(t3, t4);
    state.SetIterationTime(seconds(t2, t4));
  }
  double k = static_cast<double>(state.iterations());
  state.counters["names"] = static_cast<double>(v.size());
  state.counters["map_enter_s"] = mapEnter / k;
  state.counters["dict_enter_s"] = dictEnter / k;
  state.counters["ratio_enter"] = dictEnter / mapEnter;
  state.counters["ratio_lookup"] = dictLook / mapLook;
  char label[96];
  std::snprintf(label, sizeof label, "enter dict/map = %.1f, lookup dict/map = %.1f", dictEnter / mapEnter,
                dictLook / mapLook);
  state.SetLabel(label);
}

BENCHMARK(BM_EnterAndLookUp)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(0.5);

} // namespace

BENCHMARK_MAIN();
