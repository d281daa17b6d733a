// Creating a face mesh of a million faces, as mesh import does, and reading its faces back in
// local numbering (the first thing display and matching ask for), against a plain copy of the
// same integers (the element and face lists in, the face-vertex rows out) in the same run.
// Reported: face mesh / copy, and apart the creation (which stores the face lists in the
// database, compressed) and the reading.
#include "ElementMesh.h"
#include "ElementSet.h"
#include "FaceMesh.h"
#include "FaceSet.h"
#include "Repository.h"
#include "zyrMemory.h"
#include "zyrMeshLayer.h"
#include "zyrTestSupport.h"

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

int32_t *tracked(const std::vector<int32_t> &values) {
  int32_t *array = zyrMemory_allocateArray<int32_t>(static_cast<int64_t>(values.size()), "bench");
  std::memcpy(array, values.data(), values.size() * 4);
  return array;
}

void BM_FaceMeshOfTheBottomFaces(benchmark::State &state) {
  const int32_t n = static_cast<int32_t>(state.range(0)); // n x n hexahedra in one layer
  zyrMeshLayer_initialise();
  zyrtest::ScratchDir dir("zyrbench");
  Repository *repository = Repository_new(dir.file("db").c_str());
  auto vertex = [n](int32_t i, int32_t j, int32_t k) { return i + (n + 1) * (j + (n + 1) * k); };
  std::vector<int32_t> hex;
  hex.reserve(static_cast<size_t>(8) * n * n);
  for (int32_t j = 0; j < n; ++j)
    for (int32_t i = 0; i < n; ++i)
      for (int32_t k = 0; k < 2; ++k)
        hex.insert(hex.end(), {vertex(i, j, k), vertex(i + 1, j, k), vertex(i + 1, j + 1, k), vertex(i, j + 1, k)});
  ElementSet *set = ElementSet_new(7, 0, static_cast<int32_t>(hex.size()), tracked(hex));
  ElementMesh *mesh = ElementMesh_new(nullptr);
  ElementMesh_addElementSet(mesh, set);
  const int32_t nf = n * n;
  std::vector<int32_t> elements(static_cast<size_t>(nf));
  for (int32_t e = 0; e < nf; ++e)
    elements[static_cast<size_t>(e)] = e;
  const std::vector<int32_t> faces(static_cast<size_t>(nf), 0);
  for (auto _ : state) {
    const auto c0 = Clock::now();
    std::vector<int32_t> copyElements(elements);
    std::vector<int32_t> copyFaces(faces);
    std::vector<int32_t> rows(static_cast<size_t>(4) * nf);
    std::memcpy(rows.data(), hex.data(), rows.size() * 4);
    const auto c1 = Clock::now();
    benchmark::DoNotOptimize(rows.data());
    const auto f0 = Clock::now();
    FaceSet *faceSet = FaceSet_new(set, 0, nf, tracked(elements), tracked(faces));
    FaceMesh *fm = FaceMesh_new(nullptr, mesh);
    FaceMesh_addFaceSet(fm, faceSet);
    const auto f01 = Clock::now();
    int32_t *out = nullptr;
    int32_t nside = 0, mixed = 0, sentinel = 0;
    const int32_t got = FaceMesh_getFaceVertices(fm, 0, 1, 0, nullptr, 1, &out, &nside, &mixed, &sentinel);
    const auto f1 = Clock::now();
    if (got != nf || nside != 4 || out[0] != 0 || out[1] != 1)
      state.SkipWithError("unexpected face mesh");
    zyrMemory_free(out, "bench");
    FaceMesh_removeFaceSet(fm, faceSet);
    FaceSet_delete(faceSet);
    FaceMesh_delete(fm);
    const double build = seconds(f0, f1);
    const double copy = seconds(c0, c1);
    state.SetIterationTime(build);
    state.counters["facemesh_s"] = build;
    state.counters["copy_s"] = copy;
    state.counters["ratio_copy"] = build / copy;
    // Creating stores the face lists (compressed by the store); reading is the face mesh's own work.
    const double create = seconds(f0, f01);
    const double read = seconds(f01, f1);
    state.counters["create_s"] = create;
    state.counters["read_s"] = read;
    state.counters["ratio_read_copy"] = read / copy;
    char label[96];
    std::snprintf(label, sizeof label, "facemesh/copy = %.2f (create %.3f s, read %.3f s = %.2f copies)", build / copy,
                  create, read, read / copy);
    state.SetLabel(label);
  }
  Repository_close(repository, -1);
}

BENCHMARK(BM_FaceMeshOfTheBottomFaces)
    ->Arg(1000)
    ->Iterations(1)
    ->Repetitions(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
