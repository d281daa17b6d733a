// Creating a face mesh of a million faces, as mesh import does, and reading its faces back in
// local numbering (the first thing display and matching ask for), against a plain copy of the
// same integers (the element and face lists in, the face-vertex rows out) in the same run.
// Reported: face mesh / copy, and apart the creation (which stores the face lists in the
// database, compressed) and the reading.
#include "ElementMesh.h"
#include "ElementSet.h"
#include "FaceMesh.h"
#include "FaceSet.h"
#include "MeshBenchSupport.h"
#include "Repository.h"
#include "zyrBenchSupport.h"
#include "zyrMemory.h"
#include "zyrMeshLayer.h"

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using zyrbench::Clock;
using zyrbench::seconds;
using zyrbench::tracked;

void BM_FaceMeshOfTheBottomFaces(benchmark::State &state) {
  const int32_t n = static_cast<int32_t>(state.range(0)); // n x n hexahedra in one layer
  const zyrbench::ScratchRepository scratch("zyrbench");
  const std::vector<int32_t> hex = zyrbench::HexGrid{n, n, 1, 0.0}.hexahedra();
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
    zyrbench::setLabel(state, "facemesh/copy = %.2f (create %.3f s, read %.3f s = %.2f copies)", build / copy, create,
                       read, read / copy);
  }
}

BENCHMARK(BM_FaceMeshOfTheBottomFaces)
    ->Arg(1000)
    ->Iterations(1)
    ->Repetitions(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
