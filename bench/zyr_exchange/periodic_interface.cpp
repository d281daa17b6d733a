// A periodic zone interface of about 100,000 faces: a block of m x m x 2 hexahedra whose bottom
// and top are one translational-periodic Direct interface. Measured in the same run, each of ours
// beside the plainest program doing the same file work:
//   write  - ours: the definition file from its physics text: the bottom and top matched through
//            the periodic translation, the zone and the interface's face and vertex pairs written
//            and flushed; baseline: the same file's bytes written into a new file and flushed;
//   import - ours: the same file read back directly (topology, mesh, and the connection-free
//            faces); baseline: every byte of the file read (open, read in 1 MiB blocks, close).
// Reported: ratio_raw_write = write / raw write and ratio_raw_read = import / raw read.
#include "DefFile.h"
#include "DefWriter.h"
#include "ImportedMesh.h"
#include "Repository.h"
#include "zyrErrorManager.h"
#include "zyrMemory.h"
#include "zyrBenchSupport.h"
#include "zyrImportFixtures.h"
#include "zyrTestSupport.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

const std::vector<std::string> kPhysics = zyrtest::periodicPhysics("Translational Periodicity");

void PeriodicInterface(benchmark::State &state) {
  zyrtest::ScratchDir dir("zyrperiodic");
  Repository *repository = zyrtest::openImportStore(dir.file("db"));
  zyrtest::ModelParts &parts = zyrtest::hookedParts();
  const int32_t m = int32_t(state.range(0));
  zyrtest::freshParts();
  zyrtest::makePeriodicBlock(parts.m_topology, parts.m_mesh, m, false);
  const zyrtest::ModelParts block = parts;
  Model *model = zyrtest::hookedModel();
  const std::string file = dir.file("periodic.def"), copy = dir.file("raw.def");
  std::vector<const char *> physics;
  for (const std::string &line : kPhysics)
    physics.push_back(line.c_str());

  for (auto _ : state) {
    parts = block;
    std::remove(file.c_str());
    DefFile *commands = DefFile_new(file.c_str());
    DefFile_writeIoStringArray(commands, "G/COMMANDS", "EVERY", 0, physics.data(), int32_t(physics.size()));
    DefFile_delete(commands);
    const auto w0 = Clock::now();
    DefWriter *writer = DefWriter_new(model, file.c_str(), 0, 1, nullptr, 0.005);
    const int written = writer != nullptr ? DefWriter_write(writer) : 0;
    DefWriter_delete(writer);
    const auto w1 = Clock::now();

    zyrtest::freshParts();
    const auto i0 = Clock::now();
    ImportedMesh *im = ImportedMesh_new(model, "ZYR_DIRECT", file.c_str(), nullptr, nullptr, "m");
    const auto i1 = Clock::now();
    ImportedMesh_delete(im);

    DefFile *check = DefFile_new(file.c_str());
    int32_t *pairs = nullptr, n = 0;
    DefFile_readInts(check, "G/KZFCZFC", "ZIF1", 0, &pairs, &n);
    zyrMemory_free(pairs, "bench");
    DefFile_delete(check);

    const auto r0 = Clock::now();
    const std::string bytes = zyrbench::readRaw(file);
    const auto r1 = Clock::now();
    const bool copied = zyrbench::writeRaw(copy, bytes);
    const auto r2 = Clock::now();

    if (written != 1 || im == nullptr || n != 12 * m * m || bytes.empty() || !copied) {
      state.SkipWithError("the periodic interface did not make the trip");
      break;
    }
    const double write = seconds(w0, w1), read = seconds(i0, i1), rawRead = seconds(r0, r1),
                 rawWrite = seconds(r1, r2);
    state.SetIterationTime(write);
    state.counters["faces"] = double(m) * m;
    state.counters["write_s"] = write;
    state.counters["import_s"] = read;
    state.counters["raw_read_s"] = rawRead;
    state.counters["raw_write_s"] = rawWrite;
    state.counters["ratio_raw_write"] = write / rawWrite;
    state.counters["ratio_raw_read"] = read / rawRead;
    zyrErrorManager_clearErrors(zyrErrorManager_get());
  }
  Repository_close(repository, -1);
}

} // namespace

BENCHMARK(PeriodicInterface)->Arg(100)->Arg(317)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
