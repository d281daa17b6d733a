// Importing an intermediate mesh file of n^3 hexahedra (n = 100: a million cells, one volume and
// its six sides) into a fresh model, against reading the same data sets alone (the DefFile reads
// of the coordinates, the vertex lists and the face sets) in the same run. Reported: the ratio of
// the import to the raw read (aim: under 3), and the import's peak memory over the size of the
// mesh arrays (aim: under 3).
#include "DefFile.h"
#include "ImportedMesh.h"
#include "Mesh.h"
#include "Repository.h"
#include "Representation.h"
#include "Topology.h"
#include "Units.h"
#include "zyrErrorManager.h"
#include "zyrMemory.h"
#include "zyrMeshLayer.h"
#include "zyrTestSupport.h"
#include "zyrTopologyLayer.h"

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

struct FakeModel {
  Topology *topology;
  Mesh *mesh;
  Representation *representation;
};
Topology *topologyOf(const Model *m) { return reinterpret_cast<const FakeModel *>(m)->topology; }
Mesh *meshOf(const Model *m) { return reinterpret_cast<const FakeModel *>(m)->mesh; }
Representation *representationOf(const Model *m) { return reinterpret_cast<const FakeModel *>(m)->representation; }
char *noDirectory() { return nullptr; }

// The block's data sets; returns the bytes of its mesh arrays.
int64_t writeBlock(const std::string &path, int n) {
  const int m = n + 1;
  auto v = [m](int i, int j, int k) { return i + m * (j + m * k); };
  std::vector<double> xyz;
  xyz.reserve(3 * static_cast<size_t>(m) * m * m);
  for (int k = 0; k < m; ++k)
    for (int j = 0; j < m; ++j)
      for (int i = 0; i < m; ++i)
        xyz.insert(xyz.end(), {i * 0.01, j * 0.01, k * 0.01});
  // Hexahedra in the solver's order (the library's 0 1 2 3 4 5 6 7 written as 0 1 3 2 4 5 7 6).
  std::vector<int32_t> hexes;
  hexes.reserve(8 * static_cast<size_t>(n) * n * n);
  for (int k = 0; k < n; ++k)
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < n; ++i)
        hexes.insert(hexes.end(), {v(i, j, k), v(i + 1, j, k), v(i, j + 1, k), v(i + 1, j + 1, k), v(i, j, k + 1),
                                   v(i + 1, j, k + 1), v(i, j + 1, k + 1), v(i + 1, j + 1, k + 1)});
  DefFile *file = DefFile_new(path.c_str());
  const char *surfaces[] = {"x0", "x1", "y0", "y1", "z0", "z1"}, *volumes[] = {"Block"};
  DefFile_writeInt(file, "ZYR/NSF", "EVERY", 0, 6);
  DefFile_writeInt(file, "ZYR/NVL", "EVERY", 0, 1);
  DefFile_writeStringArray(file, "ZYR/CLBSF", "EVERY", 0, surfaces, 6);
  DefFile_writeStringArray(file, "ZYR/CLBVL", "EVERY", 0, volumes, 1);
  const int32_t partners[] = {-1, -1, -1, -1, -1, -1}, shell[] = {0, 1, 2, 3, 4, 5}, ip[] = {0, 6};
  DefFile_writeIntArray(file, "ZYR/KSFSF", "EVERY", 0, partners, 6, 0);
  DefFile_writeIntArray(file, "ZYR/IPSFVL", "EVERY", 0, ip, 2, 0);
  DefFile_writeIntArray(file, "ZYR/KSFVL", "EVERY", 0, shell, 6, 0);
  DefFile_writeDoubleArray(file, "ZYR/CRDVX", "EVERY", 0, xyz.data(), static_cast<int32_t>(xyz.size()), 0);
  DefFile_writeString(file, "ZYR/UNITS", "EVERY", 0, "m");
  DefFile_writeInt(file, "ZYR/NES", "EVERY", 0, 1);
  DefFile_writeInt(file, "ZYR/TYPE", "ES0", 0, 6);
  DefFile_writeIntArray(file, "ZYR/KVXPE", "ES0", 0, hexes.data(), static_cast<int32_t>(hexes.size()), 0);
  // One face set per side: the solver's hexahedron faces are labelled 1 to 6; the cells of a
  // side are those with the index at 0 or n - 1 in one direction.
  DefFile_writeInt(file, "ZYR/NFS", "EVERY", 0, 6);
  int64_t faceBytes = 0;
  for (int side = 0; side < 6; ++side) {
    std::vector<int32_t> elements, faces;
    const int axis = side / 2, at = side % 2 == 0 ? 0 : n - 1;
    for (int k = 0; k < n; ++k)
      for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
          const int index[3] = {i, j, k};
          if (index[axis] == at) {
            elements.push_back(i + n * (j + n * k));
            faces.push_back(side + 1);
          }
        }
    const std::string where = "FS" + std::to_string(side);
    DefFile_writeIntArray(file, "ZYR/KPEPF", where.c_str(), 0, elements.data(), static_cast<int32_t>(elements.size()),
                          0);
    DefFile_writeIntArray(file, "ZYR/KRFPF", where.c_str(), 0, faces.data(), static_cast<int32_t>(faces.size()), 0);
    DefFile_writeInt(file, "ZYR/ES", where.c_str(), 0, 0);
    faceBytes += 8 * static_cast<int64_t>(elements.size());
  }
  const int32_t es[] = {0}, esip[] = {0, 1}, fsip[] = {0, 1, 2, 3, 4, 5, 6};
  DefFile_writeIntArray(file, "ZYR/KESVL", "EVERY", 0, es, 1, 0);
  DefFile_writeIntArray(file, "ZYR/IPESVL", "EVERY", 0, esip, 2, 0);
  DefFile_writeIntArray(file, "ZYR/KFSSF", "EVERY", 0, shell, 6, 0);
  DefFile_writeIntArray(file, "ZYR/IPFSSF", "EVERY", 0, fsip, 7, 0);
  DefFile_delete(file);
  return static_cast<int64_t>(xyz.size() * 8 + hexes.size() * 4) + faceBytes;
}

// The data sets the import reads for its mesh, read alone.
void rawRead(const std::string &path) {
  DefFile *file = DefFile_new(path.c_str());
  double *xyz = nullptr;
  int32_t n = 0;
  DefFile_readDoubles(file, "ZYR/CRDVX", "EVERY", -2, &xyz, &n);
  zyrMemory_free(xyz, "bench");
  int32_t *list = nullptr;
  DefFile_readInts(file, "ZYR/KVXPE", "ES0", 0, &list, &n);
  zyrMemory_free(list, "bench");
  for (int side = 0; side < 6; ++side) {
    const std::string where = "FS" + std::to_string(side);
    DefFile_readInts(file, "ZYR/KPEPF", where.c_str(), 0, &list, &n);
    zyrMemory_free(list, "bench");
    DefFile_readInts(file, "ZYR/KRFPF", where.c_str(), 0, &list, &n);
    zyrMemory_free(list, "bench");
  }
  DefFile_delete(file);
}

void BM_ImportIntermediateFile(benchmark::State &state) {
  setenv("ZYR_USE_LOCAL_UNITS", "1", 0);
  Units_areAvailable();
  zyrTopologyLayer_initialise();
  zyrMeshLayer_initialise();
  static const ImportedMeshModelHooks hooks = {topologyOf, meshOf, representationOf, noDirectory};
  ImportedMesh_setModelHooks(&hooks);
  const zyrtest::ScratchDir dir("zyr-bench-import");
  const std::string path = dir.file("block.gmo");
  const int n = static_cast<int>(state.range(0));
  const int64_t meshBytes = writeBlock(path, n);

  for (auto _ : state) {
    const Clock::time_point readStart = Clock::now();
    rawRead(path);
    const double read = seconds(readStart, Clock::now());

    Repository *repository = Repository_new(dir.file("db").c_str());
    FakeModel model = {Topology_new(), nullptr, nullptr};
    model.mesh = Mesh_new(model.topology);
    model.representation = Representation_new(model.topology);
    const int64_t before = zyrtest::residentBytes();
    zyrtest::resetPeakResident();
    const Clock::time_point importStart = Clock::now();
    ImportedMesh *im =
        ImportedMesh_new(reinterpret_cast<Model *>(&model), "ZYR_INTERMEDIATE", path.c_str(), nullptr, nullptr, "m");
    const double imported = seconds(importStart, Clock::now());
    const int64_t peak = zyrtest::peakResidentBytes() - before;
    if (im == nullptr)
      state.SkipWithError("the import failed");
    ImportedMesh_delete(im);
    Repository_close(repository, -1);
    zyrErrorManager_clearErrors(zyrErrorManager_get());

    state.SetIterationTime(imported);
    state.counters["cells"] = static_cast<double>(n) * n * n;
    state.counters["read_s"] = read;
    state.counters["import_s"] = imported;
    state.counters["ratio_read"] = imported / read;
    state.counters["peak_over_arrays"] = static_cast<double>(peak) / static_cast<double>(meshBytes);
  }
}

BENCHMARK(BM_ImportIntermediateFile)->Arg(50)->Arg(100)->Iterations(1)->Unit(benchmark::kMillisecond)->UseManualTime();

} // namespace

BENCHMARK_MAIN();
