// Naming many regions of one stem: 5,000 and 50,000 surface regions all called "wall" enter a
// topology (the name manager hands out "wall", "wall 2", "wall 3", ...). Against a baseline
// measured in the same run that does the same job plainly: it makes as many region records (a
// name in a small heap record), each asking for "wall" and given the first free name of that stem
// from a std::unordered_map of the names in use and a counter per stem; the names must be the
// ones the topology gave. Reported: the time per name and its ratio to the baseline per size
// (naming/unordered_map); after the run, the growth of the time per name from 5,000 to 50,000
// names (it must stay below 2: probing each name from " 2" again would make it grow tenfold).
#include "Region.h"
#include "Repository.h"
#include "Topology.h"
#include "zyrBenchSupport.h"
#include "zyrTestSupport.h"
#include "zyrTopologyLayer.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace {

using zyrbench::Clock;
using zyrbench::seconds;

std::map<int64_t, double> g_perName;

// The baseline's region record.
struct PlainRegion {
  std::string m_name;
  int32_t m_dimensionality;
};

void BM_NameRegions(benchmark::State &state) {
  const int32_t n = static_cast<int32_t>(state.range(0));
  zyrTopologyLayer_initialise();
  zyrtest::ScratchDir directory("zyrbench");
  auto here = std::make_unique<zyrtest::WorkingDir>(directory.path());

  double naming = 0, baseline = 0;
  int64_t rounds = 0;
  for (auto _ : state) {
    Repository *repository = Repository_new("bench");
    Topology *topology = Topology_new();
    auto start = Clock::now();
    for (int32_t i = 0; i < n; ++i)
      Region_new(topology, nullptr, "wall", 2);
    auto end = Clock::now();
    naming += seconds(start, end);
    Region **regions = nullptr;
    const int32_t count = Topology_getRegions(topology, 4, &regions);
    std::vector<std::string> names;
    for (int32_t i = 0; i < count; ++i)
      names.push_back(Region_getName(regions[i]));
    std::free(regions);
    state.PauseTiming();
    Repository_close(repository, -1);
    state.ResumeTiming();

    start = Clock::now();
    std::unordered_map<std::string, int32_t> plain;
    std::unordered_map<std::string, int32_t> nextOfStem;
    std::vector<std::unique_ptr<PlainRegion>> records;
    for (int32_t i = 0; i < n; ++i) {
      const std::string stem = "wall";
      std::string name = stem;
      if (plain.count(name) != 0) {
        int32_t &next = nextOfStem.emplace(stem, 2).first->second;
        do
          name = stem + " " + std::to_string(next++);
        while (plain.count(name) != 0);
      }
      plain.emplace(name, i);
      records.push_back(std::make_unique<PlainRegion>(PlainRegion{name, 2}));
    }
    end = Clock::now();
    benchmark::DoNotOptimize(records.data());
    baseline += seconds(start, end);
    ++rounds;
    std::vector<std::string> plainNames;
    for (const auto &record : records)
      plainNames.push_back(record->m_name);
    std::sort(plainNames.begin(), plainNames.end());
    std::sort(names.begin(), names.end());
    if (count != n || plain.size() != static_cast<size_t>(n))
      state.SkipWithError("names are not unique");
    else if (plainNames != names)
      state.SkipWithError("the topology and the baseline name the regions differently");
  }
  here.reset();
  g_perName[n] = naming / rounds / n;
  state.counters["per_name_s"] = naming / rounds / n;
  state.counters["naming/unordered_map"] = naming / baseline;
}

BENCHMARK(BM_NameRegions)->Arg(5000)->Arg(50000)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (g_perName.count(5000) && g_perName.count(50000)) {
    const double growth = g_perName[50000] / g_perName[5000];
    std::printf("growth of the time per name from 5,000 to 50,000 names: %.2f\n", growth);
    return growth < 2 ? 0 : 1;
  }
  return 0;
}
