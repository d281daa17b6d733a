// The path table and the tree against plain standard containers doing the same work in the same
// run: the counters give the ratios, absolute times being noise on a shared machine.
//   Path table: ours enters N full paths into a path table, looks each up twice and frees the
//   table; the baseline does the same with a std::unordered_map of the same keys.
//   Tree: ours builds the tree of N domains of 20 boundaries with two parameters each as the
//   parser does (one update per line, objects pushed and popped) and destroys it; the baseline
//   enters the same full paths into a std::unordered_map and clears it.
// ratio_vs_unordered_map = our time / the baseline's time.
#include "vsnHandle.h"
#include "vsnHash.h"
#include "vsnPath.h"
#include "zyrBenchSupport.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

using zyrbench::Clock;
using zyrbench::seconds;

std::vector<std::string> pathKeys(int n) {
  std::vector<std::string> keys;
  keys.reserve(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    keys.push_back("/FLOW/DOMAIN:d" + std::to_string(i / 100) + "/BOUNDARY:b" + std::to_string(i % 100) + "/Location");
  }
  return keys;
}

// Inserts the keys and looks each up twice, the chains laid out after the inserts when
// `layOut` (as statistics or a removal would ask for them), against the same with a standard map.
void pathTableAgainstUnorderedMap(benchmark::State& state, bool layOut) {
  std::vector<std::string> keys = pathKeys(static_cast<int>(state.range(0)));
  double ours = 0, base = 0;
  for (auto _ : state) {
    auto t0 = Clock::now();
    vsnHash* table = vsnHashNew(1);
    for (const std::string& k : keys) vsnHashInsert(table, k.c_str(), table);
    if (layOut) vsnHashLayOut(table);
    size_t found = 0;
    for (int r = 0; r < 2; ++r) {
      for (const std::string& k : keys) found += vsnHashLookup(table, k.c_str()) != nullptr;
    }
    vsnHashFree(table);
    auto t1 = Clock::now();
    std::unordered_map<std::string, void*> map;
    for (const std::string& k : keys) map.emplace(k, &map);
    size_t foundBase = 0;
    for (int r = 0; r < 2; ++r) {
      for (const std::string& k : keys) foundBase += map.count(k);
    }
    map.clear();
    auto t2 = Clock::now();
    benchmark::DoNotOptimize(found + foundBase);
    ours += seconds(t0, t1);
    base += seconds(t1, t2);
  }
  state.counters["ratio_vs_unordered_map"] = base > 0 ? ours / base : 0;
}

void BM_PathTableAgainstUnorderedMap(benchmark::State& state) { pathTableAgainstUnorderedMap(state, false); }
BENCHMARK(BM_PathTableAgainstUnorderedMap)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);

// What a table pays when its chains are looked at.
void BM_PathTableLaidOutAgainstUnorderedMap(benchmark::State& state) { pathTableAgainstUnorderedMap(state, true); }
BENCHMARK(BM_PathTableLaidOutAgainstUnorderedMap)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);

// Building a tree the way the parser does (one update per line, objects pushed and popped)
// against putting the same full paths into a standard map.
void BM_TreeBuildAgainstUnorderedMap(benchmark::State& state) {
  int domains = static_cast<int>(state.range(0));
  double ours = 0, base = 0;
  for (auto _ : state) {
    auto t0 = Clock::now();
    vsnHandle* h = createVSNHandle();
    vsnEntry* flow = vsnUpdateObject(h, nullptr, "FLOW", "", nullptr, VSN_KIND_SINGLETON, 0);
    for (int d = 0; d < domains; ++d) {
      std::string name = "d" + std::to_string(d);
      vsnEntry* domain = vsnUpdateObject(h, flow, "DOMAIN", name.c_str(), nullptr, VSN_KIND_OBJECT, 0);
      for (int b = 0; b < 20; ++b) {
        std::string bname = "b" + std::to_string(b);
        vsnEntry* boundary = vsnUpdateObject(h, domain, "BOUNDARY", bname.c_str(), nullptr, VSN_KIND_OBJECT, 0);
        vsnUpdateObject(h, boundary, nullptr, "Location", "B1, B2", VSN_KIND_PARAM, 0);
        vsnUpdateObject(h, boundary, nullptr, "Boundary Type", "WALL", VSN_KIND_PARAM, 0);
        popPath(h);
      }
      popPath(h);
    }
    destroyVSNHandle(h);
    auto t1 = Clock::now();
    std::unordered_map<std::string, int> map;
    map.emplace("/FLOW", 0);
    for (int d = 0; d < domains; ++d) {
      std::string dpath = "/FLOW/DOMAIN:d" + std::to_string(d);
      map.emplace(dpath, 0);
      for (int b = 0; b < 20; ++b) {
        std::string bpath = dpath + "/BOUNDARY:b" + std::to_string(b);
        map.emplace(bpath, 0);
        map.emplace(bpath + "/Location", 0);
        map.emplace(bpath + "/Boundary Type", 0);
      }
    }
    map.clear();
    auto t2 = Clock::now();
    ours += seconds(t0, t1);
    base += seconds(t1, t2);
  }
  state.counters["ratio_vs_unordered_map"] = base > 0 ? ours / base : 0;
}
BENCHMARK(BM_TreeBuildAgainstUnorderedMap)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
