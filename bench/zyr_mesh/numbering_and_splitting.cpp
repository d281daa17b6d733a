// The zone numbering and shared-vertex splitting of large meshes, each against a copy of the
// mesh's vertex coordinates in the same run (a linear baseline). Both must grow linearly: the
// ratio at 1,000,000 within 2x of the ratio at 100,000.
//
// Glue: Numbering_new and Numbering_glueInterfaces over a row of 101 blocks with their own
// vertices and 100 matched interfaces between neighbours (a chain: every glued class runs along
// the row), about n vertices in all. The number of labels is checked.
//
// Baffle: ElementMesh_splitSharedVerticesOnFaces of a block of about n hexahedra on the two sides
// of a baffle across its middle; the number of split vertices is checked.
#include "ElementMesh.h"
#include "ElementSet.h"
#include "ElementTopology.h"
#include "FaceMesh.h"
#include "FaceSet.h"
#include "InterfaceMap.h"
#include "MeshBenchSupport.h"
#include "Numbering.h"
#include "Repository.h"
#include "Splitting.h"
#include "Vertices.h"
#include "zyrBenchSupport.h"
#include "zyrMemory.h"
#include "zyrMeshLayer.h"

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

namespace {

using zyrbench::Clock;
using zyrbench::seconds;
using zyrbench::tracked;
using Grid = zyrbench::HexGrid;

// A face set of the hexahedra's faces all of whose vertices pass the test.
FaceSet *facesWhere(ElementSet *set, const std::vector<int32_t> &hex, const std::vector<double> &xyz,
                    const std::function<bool(const double *)> &test) {
  int32_t nf = 0;
  const int32_t *sizes = nullptr;
  const int32_t *lists = nullptr;
  ElementTopology_getFaceVertices(7, 0, &nf, &sizes, &lists);
  std::vector<int32_t> elements;
  std::vector<int32_t> faces;
  for (size_t e = 0; e < hex.size() / 8; ++e)
    for (int32_t f = 0; f < nf; ++f) {
      bool all = true;
      for (int32_t k = 0; all && k < sizes[f]; ++k)
        all = test(&xyz[3 * static_cast<size_t>(hex[8 * e + static_cast<size_t>(lists[4 * f + k])])]);
      if (all) {
        elements.push_back(static_cast<int32_t>(e));
        faces.push_back(f);
      }
    }
  return FaceSet_new(set, 0, static_cast<int32_t>(faces.size()), tracked(elements), tracked(faces));
}

ElementMesh *meshOf(const Grid &grid, ElementSet **set, std::vector<double> &xyz, std::vector<int32_t> &hex) {
  xyz = grid.coordinates();
  hex = grid.hexahedra();
  ElementMesh *em = ElementMesh_new(nullptr);
  ElementMesh_setVertices(em, Vertices_new(3, "m", 2, static_cast<int32_t>(xyz.size() / 3), tracked(xyz)));
  *set = ElementSet_new(7, 0, static_cast<int32_t>(hex.size()), tracked(hex));
  ElementMesh_addElementSet(em, *set);
  return em;
}

FaceMesh *faceMeshOf(ElementMesh *em, FaceSet *set) {
  FaceMesh *fm = FaceMesh_new(nullptr, em);
  FaceMesh_addFaceSet(fm, set);
  return fm;
}

void BM_GlueChainedInterfaces(benchmark::State &state) {
  zyrbench::ScratchRepository scratch("zyrnumbering");
  const int32_t blocks = 101;
  const int32_t m = static_cast<int32_t>(std::lround(std::sqrt(state.range(0) / (2.0 * blocks)))) - 1;
  std::vector<ElementMesh *> meshes;
  std::vector<FaceMesh *> faceMeshes;
  std::vector<double> all;
  for (int32_t b = 0; b < blocks; ++b) {
    ElementSet *set = nullptr;
    std::vector<double> xyz;
    std::vector<int32_t> hex;
    meshes.push_back(meshOf(Grid{1, m, m, static_cast<double>(b)}, &set, xyz, hex));
    all.insert(all.end(), xyz.begin(), xyz.end());
    for (double x : {static_cast<double>(b), b + 1.0})
      faceMeshes.push_back(faceMeshOf(meshes.back(), facesWhere(set, hex, xyz, [x](const double *p) { return p[0] == x; })));
  }
  std::vector<InterfaceMap *> maps;
  for (int32_t b = 0; b + 1 < blocks; ++b) {
    int32_t *permutation = nullptr;
    int32_t *faceMap = nullptr;
    FaceMesh *high = faceMeshes[2 * static_cast<size_t>(b) + 1];
    FaceMesh *low = faceMeshes[2 * static_cast<size_t>(b) + 2];
    if (FaceMesh_match(high, low, nullptr, 0.005, 0, &permutation, &faceMap) != 1) {
      state.SkipWithError("the blocks do not match");
      return;
    }
    maps.push_back(InterfaceMap_new(high, low, nullptr, permutation, faceMap));
    int32_t counts[2];
    int32_t *offsets = nullptr;
    int32_t *values = nullptr;
    InterfaceMap_getSplitVertexMap(maps.back(), counts, &offsets, &values);
  }
  const int64_t total = static_cast<int64_t>(all.size() / 3);
  const int64_t expected = total - static_cast<int64_t>(blocks - 1) * (m + 1) * (m + 1);
  std::vector<double> copy(all.size());
  for (auto _ : state) {
    const auto m0 = Clock::now();
    std::memcpy(copy.data(), all.data(), all.size() * sizeof(double));
    const auto m1 = Clock::now();
    benchmark::DoNotOptimize(copy.data());
    const auto g0 = Clock::now();
    Numbering *numbering = Numbering_new(blocks, meshes.data(), 0, nullptr);
    Numbering_glueInterfaces(numbering, static_cast<int32_t>(maps.size()), maps.data());
    const int32_t labels = Numbering_getNoOfVertices(numbering);
    const auto g1 = Clock::now();
    Numbering_delete(numbering);
    if (labels != expected)
      state.SkipWithError("wrong number of labels");
    const double glue = seconds(g0, g1);
    const double base = seconds(m0, m1);
    state.SetIterationTime(glue);
    state.counters["vertices"] = static_cast<double>(total);
    state.counters["ratio_copy"] = glue / base;
    zyrbench::setLabel(state, "glue/copy = %.1f", glue / base);
  }
}

void BM_BaffleSplit(benchmark::State &state) {
  zyrbench::ScratchRepository scratch("zyrnumbering");
  const int32_t side = static_cast<int32_t>(std::lround(std::cbrt(static_cast<double>(state.range(0)))));
  const Grid grid{side, side, side, 0.0};
  ElementSet *set = nullptr;
  std::vector<double> xyz;
  std::vector<int32_t> hex;
  ElementMesh *em = meshOf(grid, &set, xyz, hex);
  const double middle = side / 2;
  // The baffle spans 1 <= y <= side - 1 over the full height, one face mesh on each side.
  FaceSet *sides[2];
  for (int s = 0; s < 2; ++s) {
    sides[s] = facesWhere(set, hex, xyz, [middle, side](const double *p) {
      return p[0] == middle && p[1] >= 1 && p[1] <= side - 1;
    });
  }
  // Both face sets hold the faces of both sides; the split needs only the marked faces.
  FaceMesh *faceMeshes[2] = {faceMeshOf(em, sides[0]), faceMeshOf(em, sides[1])};
  const int64_t expected = static_cast<int64_t>(side - 3) * (side + 1);
  std::vector<double> copy(xyz.size());
  for (auto _ : state) {
    const auto m0 = Clock::now();
    std::memcpy(copy.data(), xyz.data(), xyz.size() * sizeof(double));
    const auto m1 = Clock::now();
    benchmark::DoNotOptimize(copy.data());
    const auto s0 = Clock::now();
    const int result = ElementMesh_splitSharedVerticesOnFaces(em, 2, faceMeshes);
    const auto s1 = Clock::now();
    const int32_t *sources = nullptr;
    if (result != 1 || ElementMesh_getSplitVertices(em, &sources) != expected)
      state.SkipWithError("wrong number of split vertices");
    const double split = seconds(s0, s1);
    const double base = seconds(m0, m1);
    state.SetIterationTime(split);
    state.counters["elements"] = static_cast<double>(hex.size() / 8);
    state.counters["ratio_copy"] = split / base;
    zyrbench::setLabel(state, "split/copy = %.1f", split / base);
  }
}

BENCHMARK(BM_GlueChainedInterfaces)
    ->ArgName("n")
    ->Arg(100000)
    ->Arg(1000000)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BaffleSplit)
    ->ArgName("n")
    ->Arg(100000)
    ->Arg(1000000)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
