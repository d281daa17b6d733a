// The definition-file writer.
//
// BM_SurfaceGrouping: G/KSFVL built by the counting sort beside the per-volume scan it replaces
// (2,000 volumes, 12,000 surfaces). Counter ratio = scan time / counting-sort time.
//
// BM_MeshOnlyExport: a mesh-only write of a problem of 2,000 volumes with 6 surfaces each (every
// surface its own boundary patch, every volume a subdomain) beside a raw write of the same data
// sets (the written file copied data set by data set into a new file). Counter
// ratio = writer time / raw time. The zones' meshes are not part of it while this build has no
// mesh container.
#include "Assembly.h"
#include "Boundary.h"
#include "DefFile.h"
#include "DefWriter.h"
#include "Region.h"
#include "Repository.h"
#include "Shell.h"
#include "Topology.h"
#include "zyrTestSupport.h"
#include "zyrTopologyLayer.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

void scan(int32_t nvl, int32_t nsf, const int32_t *volumeOf, int32_t *grouped, int32_t *ip) {
  int32_t at = 0;
  ip[0] = 1;
  for (int32_t v = 1; v <= nvl; ++v) {
    for (int32_t s = 0; s < nsf; ++s)
      if (volumeOf[s] == v)
        grouped[at++] = s + 1;
    ip[v] = at + 1;
  }
}

void BM_SurfaceGrouping(benchmark::State &state) {
  const int32_t nvl = 2000, nsf = 12000;
  std::mt19937 random(3);
  std::vector<int32_t> volumeOf(static_cast<size_t>(nsf)), grouped(static_cast<size_t>(nsf)),
      ip(static_cast<size_t>(nvl) + 1);
  for (int32_t &v : volumeOf)
    v = 1 + int32_t(random() % nvl);
  double fast = 0.0, slow = 0.0;
  for (auto _ : state) {
    Clock::time_point a = Clock::now();
    DefWriter_groupSurfacesByVolume(nvl, nsf, volumeOf.data(), grouped.data(), ip.data());
    Clock::time_point b = Clock::now();
    scan(nvl, nsf, volumeOf.data(), grouped.data(), ip.data());
    Clock::time_point c = Clock::now();
    benchmark::DoNotOptimize(grouped.data());
    fast += seconds(a, b);
    slow += seconds(b, c);
  }
  state.counters["ratio"] = fast > 0.0 ? slow / fast : 0.0;
}

Topology *s_topology = nullptr;
Topology *topologyOf(const Model *) { return s_topology; }
Mesh *noMesh(const Model *) { return nullptr; }

void BM_MeshOnlyExport(benchmark::State &state) {
  setenv("ZYR_USE_LOCAL_UNITS", "1", 0);
  zyrtest::ScratchDir dir("zyrbench_writer");
  zyrtest::WorkingDir here(dir.path());
  zyrTopologyLayer_initialise();
  Repository *repository = Repository_new("bench");
  s_topology = Topology_new();
  Assembly *assembly = Topology_addAssembly(s_topology, "Block");
  const int kVolumes = static_cast<int>(state.range(0));
  for (int v = 0; v < kVolumes; ++v) {
    Region *volume = Region_new(s_topology, assembly, ("V" + std::to_string(v)).c_str(), 3);
    Boundary *boundary = Boundary_new();
    Shell *shell = Shell_new();
    for (int s = 0; s < 6; ++s)
      Shell_addRegion(shell,
                      Region_new(s_topology, assembly, ("S" + std::to_string(v) + "_" + std::to_string(s)).c_str(), 2));
    Boundary_addShell(boundary, shell);
    Region_setBoundary(volume, boundary);
  }
  static const DefWriterModelHooks hooks = {topologyOf, noMesh};
  DefWriter_setModelHooks(&hooks);
  Model *model = reinterpret_cast<Model *>(&s_topology);

  double writer = 0.0, raw = 0.0;
  int round = 0;
  for (auto _ : state) {
    const std::string file = dir.file("w" + std::to_string(round) + ".wez");
    const std::string copy = dir.file("r" + std::to_string(round) + ".wez");
    ++round;
    Clock::time_point a = Clock::now();
    DefWriter *w = DefWriter_new(model, file.c_str(), 0, 0, "m", 0.005);
    int written = w != nullptr ? DefWriter_write(w) : 0;
    DefWriter_delete(w);
    Clock::time_point b = Clock::now();
    if (written != 1) {
      state.SkipWithError("the writer failed");
      break;
    }
    DefFile *source = DefFile_new(file.c_str());
    Clock::time_point c = Clock::now();
    DefFile *target = DefFile_clone(source, copy.c_str());
    DefFile_sync(target);
    DefFile_delete(target);
    Clock::time_point d = Clock::now();
    DefFile_delete(source);
    writer += seconds(a, b);
    raw += seconds(c, d);
  }
  state.counters["ratio"] = raw > 0.0 ? writer / raw : 0.0;
  DefWriter_setModelHooks(nullptr);
  Topology_delete(s_topology);
  s_topology = nullptr;
  Repository_close(repository, -1);
}

} // namespace

BENCHMARK(BM_SurfaceGrouping)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MeshOnlyExport)->Arg(2000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_MAIN();
