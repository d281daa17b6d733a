// The two display paths a user waits for, each against a plain copy (memcpy) of the arrays it
// produces, measured in the same run:
//  - a visual made from a surface of n x n quadrilaterals (the import makes one per surface) and
//    its wireframe at a feature angle, for n = 500 and 1000 (a million faces), to see that the
//    cost grows with the face count;
//  - the facetted display of a location shown by 5,000 visuals (a redraw of a large assembly).
// Reported: the ratio to the copy (aim: under 10). Making a visual stores its coordinates and
// faces, which the store compresses: that share is measured apart (the same arrays written as
// blobs) and a second ratio leaves it out.
#include "Assembly.h"
#include "ElementMesh.h"
#include "ElementSet.h"
#include "FaceMesh.h"
#include "FaceSet.h"
#include "MeshBenchSupport.h"
#include "Region.h"
#include "Repository.h"
#include "Representation.h"
#include "Topology.h"
#include "Units.h"
#include "Vertices.h"
#include "Visual.h"
#include "zyrBenchSupport.h"
#include "zyrBlob.h"
#include "zyrMemory.h"
#include "zyrMeshLayer.h"
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

using zyrbench::Clock;
using zyrbench::seconds;
using zyrbench::tracked;

// One layer of n x m hexahedra of size h with a face mesh of their bottom faces.
FaceMesh *bottomSurface(int32_t n, int32_t m, double h, Region *region) {
  const zyrbench::HexGrid grid{n, m, 1, 0.0, h};
  const std::vector<double> xyz = grid.coordinates();
  const std::vector<int32_t> hex = grid.hexahedra();
  ElementMesh *mesh = ElementMesh_new(nullptr);
  ElementMesh_setVertices(mesh, Vertices_new(3, "m", 2, static_cast<int32_t>(xyz.size() / 3), tracked(xyz)));
  ElementSet *set = ElementSet_new(7, 0, static_cast<int32_t>(hex.size()), tracked(hex));
  ElementMesh_addElementSet(mesh, set);
  const int32_t nf = n * m;
  std::vector<int32_t> elements(static_cast<size_t>(nf));
  for (int32_t e = 0; e < nf; ++e)
    elements[static_cast<size_t>(e)] = e;
  FaceMesh *fm = FaceMesh_new(region, mesh);
  FaceMesh_addFaceSet(fm, FaceSet_new(set, 0, nf, tracked(elements), tracked(std::vector<int32_t>(nf, 0))));
  return fm;
}

void BM_VisualAndWireframe(benchmark::State &state) {
  const int32_t n = static_cast<int32_t>(state.range(0));
  zyrbench::ScratchRepository db("zyrbench");
  Topology *topology = Topology_new();
  Region *region = Region_new(topology, nullptr, "floor", 2);
  FaceMesh *fm = bottomSurface(n, n, 0.01, region);
  FaceMesh_getNoOfFaces(fm);
  for (auto _ : state) {
    const auto v0 = Clock::now();
    Visual *visual = Visual_newFromFaceMesh(region, fm);
    int32_t nv = 0, ne = 0;
    float *xyz = nullptr;
    int32_t *edges = nullptr;
    Visual_getWireframeDisplay(visual, "mm", 30.0, &nv, &xyz, &ne, &edges);
    const auto v1 = Clock::now();
    if (visual->m_noOfQuadrilaterals != n * n || ne != 4 * n || nv != 4 * n)
      state.SkipWithError("unexpected visual");
    // The copy: every array the visual made or handed out.
    const auto c0 = Clock::now();
    std::vector<char> copy;
    auto add = [&copy](const void *data, size_t bytes) {
      const size_t at = copy.size();
      copy.resize(at + bytes);
      std::memcpy(copy.data() + at, data, bytes);
    };
    const size_t vertices = static_cast<size_t>(Visual_getNoOfVertices(visual));
    std::vector<float> all(3 * vertices);
    void *out = all.data();
    Vertices_getCoordinates(visual->m_vertices, nullptr, VERTICES_SINGLE, 0, nullptr, &out);
    const auto c1 = Clock::now();
    copy.reserve(4 * (3 * vertices + 4 * static_cast<size_t>(n) * n +
                      2 * static_cast<size_t>(visual->p_noOfInteriorEdges + visual->p_noOfBoundaryEdges) +
                      visual->p_noOfInteriorEdges + 3 * static_cast<size_t>(nv) + 2 * static_cast<size_t>(ne)));
    add(all.data(), 12 * vertices);
    add(zyrBlob_getData(visual->m_faceVertices), 16 * static_cast<size_t>(n) * n);
    add(visual->m_edges, 8 * static_cast<size_t>(visual->p_noOfInteriorEdges + visual->p_noOfBoundaryEdges));
    add(visual->m_featureValues, 4 * static_cast<size_t>(visual->p_noOfInteriorEdges));
    add(xyz, 12 * static_cast<size_t>(nv));
    add(edges, 8 * static_cast<size_t>(ne));
    const auto c2 = Clock::now();
    benchmark::DoNotOptimize(copy.data());
    // The store's share: writing the same coordinates and faces as two new blobs (the store
    // compresses what it writes).
    const size_t faceBytes = 16 * static_cast<size_t>(n) * n;
    void *points = zyrMemory_duplicate(all.data(), static_cast<int64_t>(12 * vertices), "bench");
    void *faces =
        zyrMemory_duplicate(zyrBlob_getData(visual->m_faceVertices), static_cast<int64_t>(faceBytes), "bench");
    const auto s0 = Clock::now();
    zyrBlob *a = zyrBlob_new(points, static_cast<int64_t>(12 * vertices), ZYR_TYPE_FLOAT);
    zyrBlob *b = zyrBlob_new(faces, static_cast<int64_t>(faceBytes), ZYR_TYPE_INT);
    const auto s1 = Clock::now();
    zyrBlob_delete(a);
    zyrBlob_delete(b);
    zyrMemory_free(xyz, "bench");
    zyrMemory_free(edges, "bench");
    Visual_delete(visual);
    const double made = seconds(v0, v1);
    const double copied = seconds(c1, c2);
    (void)c0;
    state.SetIterationTime(made);
    state.counters["visual_s"] = made;
    state.counters["copy_s"] = copied;
    state.counters["ratio_copy"] = made / copied;
    const double stored = seconds(s0, s1);
    state.counters["store_s"] = stored;
    state.counters["ratio_copy_without_store"] = (made - stored) / copied;
    zyrbench::setLabel(state, "visual+wireframe/copy = %.2f, %.2f without the store's writing (%d faces)",
                       made / copied, (made - stored) / copied, n * n);
  }
}

BENCHMARK(BM_VisualAndWireframe)
    ->Arg(500)
    ->Arg(1000)
    ->Iterations(1)
    ->Repetitions(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void BM_FacettedDisplayOfManyVisuals(benchmark::State &state) {
  const int32_t count = static_cast<int32_t>(state.range(0));
  zyrbench::ScratchRepository db("zyrbench");
  Topology *topology = Topology_new();
  Assembly *assembly = Topology_addAssembly(topology, "Machine");
  Representation *representation = Representation_new(topology);
  // Every surface is a 10 x 10 patch of quadrilaterals with its own vertices.
  FaceMesh *fm = bottomSurface(10, 10, 0.01, nullptr);
  for (int32_t i = 0; i < count; ++i) {
    Region *region = Topology_addRegion(topology, assembly, ("patch " + std::to_string(i)).c_str(), 2);
    Representation_addVisual(representation, Visual_newFromFaceMesh(region, fm));
  }
  Repository_commit(db.m_repository);
  const std::string location = Assembly_getName(assembly);
  for (auto _ : state) {
    const auto d0 = Clock::now();
    int32_t nv = 0, nt = 0, nq = 0;
    float *xyz = nullptr;
    int32_t *faces = nullptr;
    const int status =
        Representation_getFacettedDisplay(representation, location.c_str(), 0, "m", &nv, &xyz, &nt, &nq, &faces);
    const auto d1 = Clock::now();
    if (status != 1 || nq != 100 * count || nv != 121 * count)
      state.SkipWithError("unexpected display");
    const auto c0 = Clock::now();
    std::vector<float> copyXyz(3 * static_cast<size_t>(nv));
    std::vector<int32_t> copyFaces(4 * static_cast<size_t>(nq));
    std::memcpy(copyXyz.data(), xyz, copyXyz.size() * 4);
    std::memcpy(copyFaces.data(), faces, copyFaces.size() * 4);
    const auto c1 = Clock::now();
    benchmark::DoNotOptimize(copyXyz.data());
    benchmark::DoNotOptimize(copyFaces.data());
    zyrMemory_free(xyz, "bench");
    zyrMemory_free(faces, "bench");
    const double shown = seconds(d0, d1);
    const double copied = seconds(c0, c1);
    state.SetIterationTime(shown);
    state.counters["display_s"] = shown;
    state.counters["copy_s"] = copied;
    state.counters["ratio_copy"] = shown / copied;
    zyrbench::setLabel(state, "facetted/copy = %.2f (%d visuals)", shown / copied, count);
  }
}

BENCHMARK(BM_FacettedDisplayOfManyVisuals)
    ->Arg(1250)
    ->Arg(5000)
    ->Iterations(3)
    ->Repetitions(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
