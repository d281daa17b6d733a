// Topology_resolveLocation of every assembly name and Topology_getConnections on topologies of
// 10,000 and 100,000 surface regions in 1,000 assemblies (pairs of regions directly connected),
// each against copying the same number of pointers, measured in the same run. Reported: each
// side's seconds and the ratio operation / copy per size; after the run, the growth of each ratio
// from 10,000 to 100,000 regions (linear growth keeps it near 1, and it must stay below 2).
#include "Assembly.h"
#include "LocationString.h"
#include "Region.h"
#include "Repository.h"
#include "Topology.h"
#include "zyrBenchSupport.h"
#include "zyrCString.h"
#include "zyrMemory.h"
#include "zyrTestSupport.h"
#include "zyrTopologyLayer.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using zyrbench::Clock;
using zyrbench::seconds;

struct Model {
  Repository *repository = nullptr;
  Topology *topology = nullptr;
  char *location = nullptr;
  std::unique_ptr<zyrtest::ScratchDir> scratch;
  std::unique_ptr<zyrtest::WorkingDir> here;
};

Model build(int32_t noOfRegions) {
  Model model;
  zyrTopologyLayer_initialise();
  model.scratch = std::make_unique<zyrtest::ScratchDir>("zyrbench");
  model.here = std::make_unique<zyrtest::WorkingDir>(model.scratch->path());
  model.repository = Repository_new("bench");
  model.topology = Topology_new();
  const int32_t perAssembly = noOfRegions / 1000;
  std::vector<char *> names;
  for (int32_t a = 0; a < 1000; ++a) {
    Assembly *assembly = Assembly_new(model.topology, "Part");
    Region *previous = nullptr;
    for (int32_t r = 0; r < perAssembly; ++r) {
      // Distinct names: naming many regions of one stem is measured on its own elsewhere.
      const std::string name = "wall " + std::to_string(a) + "." + std::to_string(r);
      Region *region = Region_new(model.topology, assembly, name.c_str(), 2);
      if (r % 2 == 1)
        Region_connectNeighbour(previous, region);
      previous = region;
    }
    names.push_back(zyrCString_clone(Assembly_getName(assembly)));
  }
  model.location = LocationString_build(static_cast<int32_t>(names.size()), names.data());
  for (char *name : names)
    zyrCString_free(name);
  return model;
}

void release(Model &model) {
  zyrCString_free(model.location);
  Repository_close(model.repository, -1);
  model.here.reset();
  model.scratch.reset();
}

// Copies n pointers into a new array: the least any operation handing out n members costs.
double copyPointers(const std::vector<void *> &source) {
  const auto start = Clock::now();
  void **copy = zyrMemory_allocateArray<void *>(static_cast<int64_t>(source.size()), "bench");
  std::memcpy(copy, source.data(), sizeof(void *) * source.size());
  benchmark::DoNotOptimize(copy);
  const auto end = Clock::now();
  zyrMemory_free(copy, "bench");
  return seconds(start, end);
}

std::map<int64_t, double> g_resolveRatio, g_connectionRatio;

void BM_Topology(benchmark::State &state) {
  const int32_t n = static_cast<int32_t>(state.range(0));
  Model model = build(n);
  double resolve = 0, connections = 0, copyRegions = 0, copyConnections = 0;
  int64_t rounds = 0;
  for (auto _ : state) {
    int32_t count = 0;
    Region **regions = nullptr;
    auto start = Clock::now();
    Topology_resolveLocation(model.topology, model.location, 0, 1, 0, &count, &regions);
    auto end = Clock::now();
    resolve += seconds(start, end);
    std::vector<void *> regionCopy(regions, regions + count);
    zyrMemory_free(regions, "bench");

    Connection **found = nullptr;
    start = Clock::now();
    const int32_t c = Topology_getConnections(model.topology, &found);
    end = Clock::now();
    connections += seconds(start, end);
    std::vector<void *> connectionCopy(found, found + c);
    zyrMemory_free(found, "bench");

    copyRegions += copyPointers(regionCopy);
    copyConnections += copyPointers(connectionCopy);
    ++rounds;
    if (count != n || c != n / 2)
      state.SkipWithError("wrong counts");
  }
  release(model);
  state.counters["resolve_s"] = resolve / rounds;
  state.counters["connections_s"] = connections / rounds;
  state.counters["copy_s"] = copyRegions / rounds;
  g_resolveRatio[n] = resolve / copyRegions;
  g_connectionRatio[n] = connections / copyConnections;
  state.counters["resolve/copy"] = g_resolveRatio[n];
  state.counters["connections/copy"] = g_connectionRatio[n];
}

BENCHMARK(BM_Topology)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (g_resolveRatio.count(10000) && g_resolveRatio.count(100000)) {
    const double resolveGrowth = g_resolveRatio[100000] / g_resolveRatio[10000];
    const double connectionGrowth = g_connectionRatio[100000] / g_connectionRatio[10000];
    std::printf("growth of resolve/copy from 10,000 to 100,000 regions:     %.2f\n", resolveGrowth);
    std::printf("growth of connections/copy from 10,000 to 100,000 regions: %.2f\n", connectionGrowth);
    return resolveGrowth < 2 && connectionGrowth < 2 ? 0 : 1;
  }
  return 0;
}
