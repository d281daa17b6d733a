// The mesh reader on a structured block of 64,000 hexahedra (a binary 4.1 file in memory): ours
// parses the .msh bytes into nodes and elements, builds the model (faces matched into volumes,
// surfaces and sets) and writes the intermediate mesh file durably. The baseline does the least
// any program doing the same job must: reads the same .msh bytes once (summing them, eight at a
// time) and puts the same intermediate file bytes in place as durably (written beside, flushed,
// renamed, the directory flushed). Counters: parse_s, build_s and write_s, our three steps, and
// ratio_raw = our whole time / the baseline's time.
#include "GmoWriter.h"
#include "KelvoModel.h"
#include "MshFile.h"
#include "zyrBenchSupport.h"
#include "zyrTestSupport.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

using zyrbench::Clock;
using zyrbench::seconds;

template <class T> void put(std::string *out, T value) {
  out->append(reinterpret_cast<const char *>(&value), sizeof value);
}

// A cube of n^3 hexahedra in a physical volume, its bottom face in a physical surface.
std::string block(int n) {
  const uint64_t m = n + 1, nodes = m * m * m, hexes = uint64_t(n) * n * n, quads = uint64_t(n) * n;
  auto id = [m](uint64_t i, uint64_t j, uint64_t k) { return 1 + i + m * (j + m * k); };
  std::string s = "$MeshFormat\n4.1 1 8\n";
  put<int32_t>(&s, 1);
  s += "\n$EndMeshFormat\n$PhysicalNames\n2\n3 1 \"Fluid\"\n2 2 \"bottom\"\n$EndPhysicalNames\n";
  s += "$Entities\n";
  for (uint64_t c : {0, 0, 1, 1})
    put<uint64_t>(&s, c);
  for (int32_t physical : {2, 1}) {
    put<int32_t>(&s, 1);
    for (int k = 0; k < 6; ++k)
      put<double>(&s, 0.0);
    put<uint64_t>(&s, 1);
    put<int32_t>(&s, physical);
    put<uint64_t>(&s, 0);
  }
  s += "\n$EndEntities\n$Nodes\n";
  for (uint64_t v : {uint64_t(1), nodes, uint64_t(1), nodes})
    put<uint64_t>(&s, v);
  put<int32_t>(&s, 3);
  put<int32_t>(&s, 1);
  put<int32_t>(&s, 0);
  put<uint64_t>(&s, nodes);
  for (uint64_t i = 1; i <= nodes; ++i)
    put<uint64_t>(&s, i);
  for (uint64_t k = 0; k < m; ++k)
    for (uint64_t j = 0; j < m; ++j)
      for (uint64_t i = 0; i < m; ++i)
        for (uint64_t c : {i, j, k})
          put<double>(&s, double(c) / n);
  s += "\n$EndNodes\n$Elements\n";
  for (uint64_t v : {uint64_t(2), hexes + quads, uint64_t(1), hexes + quads})
    put<uint64_t>(&s, v);
  uint64_t tag = 1;
  put<int32_t>(&s, 2);
  put<int32_t>(&s, 1);
  put<int32_t>(&s, 3);
  put<uint64_t>(&s, quads);
  for (uint64_t j = 0; j < uint64_t(n); ++j)
    for (uint64_t i = 0; i < uint64_t(n); ++i)
      for (uint64_t v : {tag++, id(i, j, 0), id(i, j + 1, 0), id(i + 1, j + 1, 0), id(i + 1, j, 0)})
        put<uint64_t>(&s, v);
  put<int32_t>(&s, 3);
  put<int32_t>(&s, 1);
  put<int32_t>(&s, 5);
  put<uint64_t>(&s, hexes);
  for (uint64_t k = 0; k < uint64_t(n); ++k)
    for (uint64_t j = 0; j < uint64_t(n); ++j)
      for (uint64_t i = 0; i < uint64_t(n); ++i)
        for (uint64_t v :
             {tag++, id(i, j, k), id(i + 1, j, k), id(i + 1, j + 1, k), id(i, j + 1, k),
              id(i, j, k + 1), id(i + 1, j, k + 1), id(i + 1, j + 1, k + 1), id(i, j + 1, k + 1)})
          put<uint64_t>(&s, v);
  s += "\n$EndElements\n";
  return s;
}

const std::string &mesh() {
  static const std::string text = block(40);
  return text;
}

void BM_Import(benchmark::State &state) {
  zyrtest::ScratchDir dir("bench_kelvo");
  const std::string path = dir.file("zyr.gmo");
  const std::string copy = dir.file("raw.gmo");
  double parse = 0, build = 0, write = 0, raw = 0;
  for (auto _ : state) {
    MshFile *file = MshFile_new();
    KelvoModel *model = KelvoModel_new();
    std::string error;
    const Clock::time_point t0 = Clock::now();
    if (!MshFile_parse(file, mesh().data(), mesh().size(), &error))
      abort();
    const Clock::time_point t1 = Clock::now();
    if (!KelvoModel_build(model, file, &error))
      abort();
    const Clock::time_point t2 = Clock::now();
    if (!GmoWriter_writeModel(model, path.c_str(), -1, &error))
      abort();
    const Clock::time_point t3 = Clock::now();
    MshFile_delete(file);
    KelvoModel_delete(model);
    const std::string written = zyrbench::readRaw(path);
    const Clock::time_point r0 = Clock::now();
    uint64_t sum = zyrbench::byteSum(reinterpret_cast<const unsigned char *>(mesh().data()), mesh().size());
    benchmark::DoNotOptimize(sum);
    if (!zyrbench::replaceRaw(copy, written))
      abort();
    const Clock::time_point r1 = Clock::now();
    parse += seconds(t0, t1);
    build += seconds(t1, t2);
    write += seconds(t2, t3);
    raw += seconds(r0, r1);
    state.SetIterationTime(seconds(t0, t3));
  }
  const double k = static_cast<double>(state.iterations());
  state.counters["parse_s"] = parse / k;
  state.counters["build_s"] = build / k;
  state.counters["write_s"] = write / k;
  zyrbench::reportTotals(state, "import", parse + build + write, "raw", raw, 1);
}
BENCHMARK(BM_Import)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
