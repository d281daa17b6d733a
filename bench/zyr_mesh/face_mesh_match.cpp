// FaceMesh_match of two coincident surfaces with shuffled vertex numbering and face order, the
// work of finding matching interfaces, against std::sort of the same points by x in the same run
// (an n log n baseline). Surfaces: a planar grid of quadrilaterals, a cylinder, and a polar disc
// whose first vertex is the centre (every vertex of a ring shares its radius from the reference
// point, the radial scan's worst case). Each is run at about 100,000 and 1,000,000 vertices: the
// ratio match / sort must stay within 2x between the two sizes. Each case runs five times and the
// ratio is that of the summed times, so that one disturbed run sways it little. Matching uses the
// threads it is given (MatchingThreads.h); the sort is one thread's. BM_MatchOnOneThread shows the
// ratio of matching held to the calling thread, at 10^6 vertices.
//
// Repair: MA_calculateFaceMap with 1 % of the vertices of the correct permutation swapped in pairs
// along face edges, against the same sort; the permutation must come back repaired.
#include "ElementMesh.h"
#include "ElementSet.h"
#include "FaceMesh.h"
#include "FaceSet.h"
#include "GeometricAlgorithms.h"
#include "InterfaceMatching.h"
#include "MatchingThreads.h"
#include "MeshBenchSupport.h"
#include "Repository.h"
#include "Vertices.h"
#include "zyrBenchSupport.h"
#include "zyrMemory.h"
#include "zyrMeshLayer.h"

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <numeric>
#include <random>
#include <string>
#include <vector>

namespace {

using zyrbench::Clock;
using zyrbench::seconds;
using zyrbench::tracked;

struct Surface {
  std::vector<double> m_xyz;                 // vertices
  std::vector<std::array<int32_t, 4>> m_faces; // -1 as the fourth vertex of a triangle
};

Surface planar(int32_t m) {
  Surface s;
  for (int32_t j = 0; j <= m; ++j)
    for (int32_t i = 0; i <= m; ++i)
      s.m_xyz.insert(s.m_xyz.end(), {0.01 * i, 0.01 * j, 0.0});
  for (int32_t j = 0; j < m; ++j)
    for (int32_t i = 0; i < m; ++i) {
      const int32_t a = i + (m + 1) * j;
      s.m_faces.push_back({a, a + 1, a + m + 2, a + m + 1});
    }
  return s;
}

Surface cylinder(int32_t around, int32_t along) {
  Surface s;
  for (int32_t k = 0; k <= along; ++k)
    for (int32_t t = 0; t < around; ++t) {
      const double a = 2 * M_PI * t / around;
      s.m_xyz.insert(s.m_xyz.end(), {std::cos(a), std::sin(a), 0.01 * k});
    }
  for (int32_t k = 0; k < along; ++k)
    for (int32_t t = 0; t < around; ++t) {
      const int32_t u = (t + 1) % around;
      s.m_faces.push_back({t + around * k, u + around * k, u + around * (k + 1), t + around * (k + 1)});
    }
  return s;
}

Surface polar(int32_t rings, int32_t around) {
  Surface s;
  s.m_xyz.insert(s.m_xyz.end(), {0.0, 0.0, 0.0});
  for (int32_t r = 1; r <= rings; ++r)
    for (int32_t t = 0; t < around; ++t) {
      const double a = 2 * M_PI * t / around;
      s.m_xyz.insert(s.m_xyz.end(), {0.01 * r * std::cos(a), 0.01 * r * std::sin(a), 0.0});
    }
  auto at = [around](int32_t r, int32_t t) { return 1 + (r - 1) * around + (t % around); };
  for (int32_t t = 0; t < around; ++t)
    s.m_faces.push_back({0, at(1, t), at(1, t + 1), -1});
  for (int32_t r = 1; r < rings; ++r)
    for (int32_t t = 0; t < around; ++t)
      s.m_faces.push_back({at(r, t), at(r + 1, t), at(r + 1, t + 1), at(r, t + 1)});
  return s;
}

// A face mesh of the surface over extruded elements (hexahedra and prisms whose first face walks
// the surface face), with vertex numbers renumbered by `number` and faces in `order`.
FaceMesh *faceMeshOf(const Surface &s, const std::vector<int32_t> &number, const std::vector<int32_t> &order) {
  const int32_t n = static_cast<int32_t>(s.m_xyz.size() / 3);
  double *xyz = zyrMemory_allocateArray<double>(6 * static_cast<int64_t>(n), "bench");
  for (int32_t i = 0; i < n; ++i)
    for (int c = 0; c < 3; ++c) {
      xyz[3 * number[i] + c] = s.m_xyz[3 * i + c];
      xyz[3 * (n + number[i]) + c] = s.m_xyz[3 * i + c] + (c == 2 ? 0.005 : 0.0);
    }
  ElementMesh *mesh = ElementMesh_new(nullptr);
  ElementMesh_setVertices(mesh, Vertices_new(3, "m", 2, 2 * n, xyz));
  std::vector<int32_t> hex, prism, hexFaces, prismFaces;
  for (int32_t f : order) {
    const auto &q = s.m_faces[static_cast<size_t>(f)];
    if (q[3] < 0) {
      // Prism face 3 walks (0, 2, 1): the surface triangle a b c starts at a.
      for (int32_t v : {q[0], q[2], q[1]})
        prism.push_back(number[v]);
      for (int32_t v : {q[0], q[2], q[1]})
        prism.push_back(n + number[v]);
      prismFaces.push_back(static_cast<int32_t>(prism.size() / 6 - 1));
    } else {
      // Hexahedron face 0 walks (0, 3, 2, 1).
      for (int32_t v : {q[0], q[3], q[2], q[1]})
        hex.push_back(number[v]);
      for (int32_t v : {q[0], q[3], q[2], q[1]})
        hex.push_back(n + number[v]);
      hexFaces.push_back(static_cast<int32_t>(hex.size() / 8 - 1));
    }
  }
  FaceMesh *fm = FaceMesh_new(nullptr, mesh);
  if (!prism.empty()) {
    ElementSet *set = ElementSet_new(6, 0, static_cast<int32_t>(prism.size()), tracked(prism));
    ElementMesh_addElementSet(mesh, set);
    FaceMesh_addFaceSet(fm, FaceSet_new(set, 0, static_cast<int32_t>(prismFaces.size()), tracked(prismFaces),
                                        tracked(std::vector<int32_t>(prismFaces.size(), 3))));
  }
  if (!hex.empty()) {
    ElementSet *set = ElementSet_new(7, 0, static_cast<int32_t>(hex.size()), tracked(hex));
    ElementMesh_addElementSet(mesh, set);
    FaceMesh_addFaceSet(fm, FaceSet_new(set, 0, static_cast<int32_t>(hexFaces.size()), tracked(hexFaces),
                                        tracked(std::vector<int32_t>(hexFaces.size(), 0))));
  }
  return fm;
}

struct Case {
  FaceMesh *m_side[2];
  std::vector<std::array<double, 3>> m_points;
};

Case makeCase(const Surface &s, bool keepFirstFace) {
  const int32_t n = static_cast<int32_t>(s.m_xyz.size() / 3);
  std::mt19937 random(5);
  std::vector<int32_t> identity(static_cast<size_t>(n));
  std::iota(identity.begin(), identity.end(), 0);
  std::vector<int32_t> number = identity;
  std::shuffle(number.begin(), number.end(), random);
  std::vector<int32_t> faces(s.m_faces.size());
  std::iota(faces.begin(), faces.end(), 0);
  std::vector<int32_t> shuffled = faces;
  std::shuffle(shuffled.begin() + (keepFirstFace ? 1 : 0), shuffled.end(), random);
  if (keepFirstFace)
    std::iter_swap(std::find(shuffled.begin(), shuffled.end(), 0), shuffled.begin());
  Case c;
  c.m_side[0] = faceMeshOf(s, identity, faces);
  c.m_side[1] = faceMeshOf(s, number, shuffled);
  for (int32_t i = 0; i < n; ++i)
    c.m_points.push_back({s.m_xyz[3 * i], s.m_xyz[3 * i + 1], s.m_xyz[3 * i + 2]});
  return c;
}

double sortSeconds(const Case &c) {
  std::vector<std::array<double, 3>> points = c.m_points;
  const auto s0 = Clock::now();
  std::sort(points.begin(), points.end(), [](const auto &a, const auto &b) { return a[0] < b[0]; });
  const auto s1 = Clock::now();
  benchmark::DoNotOptimize(points.data());
  return seconds(s0, s1);
}

Surface surfaceOf(int shape, int64_t vertices) {
  const int32_t side = static_cast<int32_t>(std::lround(std::sqrt(static_cast<double>(vertices))));
  if (shape == 0)
    return planar(side - 1);
  if (shape == 1)
    return cylinder(side, side - 1);
  return polar(side, side);
}

void BM_Match(benchmark::State &state) {
  const int shape = static_cast<int>(state.range(0));
  zyrbench::ScratchRepository scratch("zyrmatch");
  const Surface surface = surfaceOf(shape, state.range(1));
  Case c = makeCase(surface, shape == 2);
  double matchTotal = 0;
  double sortTotal = 0;
  for (auto _ : state) {
    FaceMesh_invalidate(c.m_side[0]);
    FaceMesh_invalidate(c.m_side[1]);
    int32_t *perm = nullptr;
    int32_t *faceMap = nullptr;
    const auto m0 = Clock::now();
    const int matched = FaceMesh_match(c.m_side[0], c.m_side[1], nullptr, 0.005, 0, &perm, &faceMap);
    const double match = seconds(m0, Clock::now());
    if (matched != 1)
      state.SkipWithError("the surfaces did not match");
    zyrMemory_free(perm, "bench");
    zyrMemory_free(faceMap, "bench");
    state.SetIterationTime(match);
    matchTotal += match;
    sortTotal += sortSeconds(c);
  }
  state.counters["vertices"] = static_cast<double>(c.m_points.size());
  zyrbench::reportTotals(state, "match", matchTotal, "sort", sortTotal, 1);
}

void BM_MatchOnOneThread(benchmark::State &state) {
  MatchingThreads_set(1, 0);
  BM_Match(state);
  MatchingThreads_set(0, 0);
}

void BM_Repair(benchmark::State &state) {
  zyrbench::ScratchRepository scratch("zyrmatch");
  const Surface surface = surfaceOf(0, state.range(0));
  Case c = makeCase(surface, false);
  int32_t *correct = nullptr;
  int32_t *faceMap = nullptr;
  if (FaceMesh_match(c.m_side[0], c.m_side[1], nullptr, 0.005, 0, &correct, &faceMap) != 1) {
    state.SkipWithError("the surfaces did not match");
    return;
  }
  const int32_t n = static_cast<int32_t>(c.m_points.size());
  // Pairs of side-0 vertices along face edges, no two pairs near each other (side 0 is the
  // unshuffled grid: vertex a and a + 1 of a face, a apart from other pairs by two cells).
  const int32_t m = static_cast<int32_t>(std::lround(std::sqrt(static_cast<double>(n)))) - 1;
  std::mt19937 random(9);
  std::vector<char> near(static_cast<size_t>(n), 0);
  std::vector<std::pair<int32_t, int32_t>> swaps;
  while (static_cast<int64_t>(swaps.size()) * 200 < n) {
    const int32_t i = 2 + static_cast<int32_t>(random() % static_cast<uint32_t>(m - 4));
    const int32_t j = 2 + static_cast<int32_t>(random() % static_cast<uint32_t>(m - 4));
    const int32_t a = i + (m + 1) * j;
    bool free = true;
    for (int32_t dj = -2; dj <= 2; ++dj)
      for (int32_t di = -2; di <= 3; ++di)
        free = free && !near[static_cast<size_t>(a + di + (m + 1) * dj)];
    if (!free)
      continue;
    for (int32_t dj = -2; dj <= 2; ++dj)
      for (int32_t di = -2; di <= 3; ++di)
        near[static_cast<size_t>(a + di + (m + 1) * dj)] = 1;
    swaps.push_back({a, a + 1});
  }
  for (auto _ : state) {
    std::vector<int32_t> perm(correct, correct + n);
    for (const auto &s : swaps)
      std::swap(perm[static_cast<size_t>(s.first)], perm[static_cast<size_t>(s.second)]);
    FaceMesh *const pair[2] = {c.m_side[0], c.m_side[1]};
    int32_t *repaired = nullptr;
    const auto r0 = Clock::now();
    const int ok = MA_calculateFaceMap(pair, n, perm.data(), &repaired);
    const double repair = seconds(r0, Clock::now());
    if (ok != 1 || !std::equal(perm.begin(), perm.end(), correct))
      state.SkipWithError("the permutation was not repaired");
    zyrMemory_free(repaired, "bench");
    const double sort = sortSeconds(c);
    state.counters["vertices"] = n;
    state.counters["swapped"] = 2.0 * static_cast<double>(swaps.size());
    zyrbench::reportRatio(state, "repair", repair, "sort", sort, 1);
  }
  zyrMemory_free(correct, "bench");
  zyrMemory_free(faceMap, "bench");
}

// The radial scan against the grid on the polar disc's points alone (the same permutation), to show
// what the grid saves where many vertices share a radius.
void BM_PolarScanAgainstGrid(benchmark::State &state) {
  const Surface s = surfaceOf(2, state.range(0));
  const int32_t n = static_cast<int32_t>(s.m_xyz.size() / 3);
  std::mt19937 random(3);
  std::vector<int32_t> order(static_cast<size_t>(n));
  std::iota(order.begin() + 1, order.end(), 1);
  std::shuffle(order.begin() + 1, order.end(), random);
  std::vector<double> points1;
  for (int32_t i : order)
    points1.insert(points1.end(), {s.m_xyz[3 * i], s.m_xyz[3 * i + 1], s.m_xyz[3 * i + 2]});
  const std::vector<double> tolerances(static_cast<size_t>(n), 5e-5);
  const double reference[3] = {0, 0, 0};
  for (auto _ : state) {
    const auto g0 = Clock::now();
    int32_t *grid = GA_matchVerticesByGrid(n, s.m_xyz.data(), points1.data(), tolerances.data(), reference);
    const auto g1 = Clock::now();
    int32_t *scan = GA_matchVerticesByScan(n, s.m_xyz.data(), points1.data(), tolerances.data(), reference);
    const auto g2 = Clock::now();
    if (grid == nullptr || scan == nullptr || !std::equal(grid, grid + n, scan))
      state.SkipWithError("the grid and the scan differ");
    zyrMemory_free(grid, "bench");
    zyrMemory_free(scan, "bench");
    const double gridSeconds = seconds(g0, g1);
    const double scanSeconds = seconds(g1, g2);
    zyrbench::reportRatio(state, "grid", gridSeconds, "scan", scanSeconds, 3);
  }
}

BENCHMARK(BM_Match)
    ->ArgNames({"shape", "n"})
    ->ArgsProduct({{0, 1, 2}, {100000, 1000000}})
    ->Iterations(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MatchOnOneThread)
    ->ArgNames({"shape", "n"})
    ->ArgsProduct({{0, 1, 2}, {1000000}})
    ->Iterations(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PolarScanAgainstGrid)->ArgName("n")->Arg(100000)->Arg(1000000)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Repair)->ArgName("n")->Arg(100000)->Arg(1000000)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
