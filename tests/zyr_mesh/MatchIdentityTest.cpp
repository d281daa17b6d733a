// Face-mesh matching against straightforward copies of what it computes: the face map (a direct
// pass along the chains of FaceMap, then the repair from matched neighbours), the edge lists and
// the length scale from chains of edges, and the whole match with the literal radial vertex scan.
// The library's faster ways, on one thread or several, must give exactly the same permutations,
// face maps, failures and tie orders.
#include "ElementMesh.h"
#include "ElementSet.h"
#include "FaceMesh.h"
#include "FaceSet.h"
#include "InterfaceMatching.h"
#include "MatchingThreads.h"
#include "MeshTestSupport.h"
#include "Vertices.h"
#include "zyrAffineTransform3D.h"
#include "zyrMemory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <numeric>
#include <random>
#include <vector>

namespace {

using Faces = std::vector<std::vector<int32_t>>;

// What a match or a face map gives: whether it was made, the face map when it was, and the
// permutation (a face map's as its repair left it, a match's when it was made).
struct Outcome {
  int m_ok = 0;
  std::vector<int32_t> m_map;
  std::vector<int32_t> m_perm;
  bool operator==(const Outcome &o) const {
    return m_ok == o.m_ok && m_map == o.m_map && m_perm == o.m_perm;
  }
};

std::ostream &operator<<(std::ostream &out, const Outcome &r) {
  out << "ok " << r.m_ok << " map";
  for (int32_t f : r.m_map)
    out << ' ' << f;
  out << " perm";
  for (int32_t v : r.m_perm)
    out << ' ' << v;
  return out;
}

bool injective(const std::vector<int32_t> &values, int32_t n) {
  std::vector<char> seen(static_cast<size_t>(n), 0);
  for (int32_t v : values) {
    if (v < 0 || v >= n || seen[static_cast<size_t>(v)])
      return false;
    seen[static_cast<size_t>(v)] = 1;
  }
  return true;
}

// The face map one step at a time. Direct pass: each side-1 face in turn, sorted, takes the newest
// side-0 face on the chain of its smallest vertex (FaceMap with the permutation) that has no
// partner yet, has its size and its sorted images. Repair, when faces are left: side-0 vertices
// whose images lie on an unmatched side-1 face and on no matched side-0 face are flagged; passes
// match each unmatched side-0 face across its first edge with unflagged ends whose neighbour is
// matched, taking the other images from the neighbour's partner's neighbour, and undo matches of
// faces with flagged vertices, while a pass leaves fewer unmatched.
Outcome referenceFaceMap(FaceMesh *fm0, FaceMesh *fm1, int32_t nv, std::vector<int32_t> perm) {
  Outcome result;
  const Faces faces0 = localFaces(fm0);
  const Faces faces1 = localFaces(fm1);
  const int32_t nf = static_cast<int32_t>(faces0.size());
  result.m_perm = perm;
  if (nf < 1 || faces1.size() != faces0.size() || nv < 1)
    return result;
  for (int32_t v : perm)
    if (v < 0 || v >= nv)
      return result;
  FaceMap *chains = FaceMap_new(fm0, nv, perm.data());
  const int32_t width = chains->m_width;
  std::vector<int32_t> map(static_cast<size_t>(nf), -1);
  std::vector<char> used1(static_cast<size_t>(nf), 0);
  std::vector<char> suspect(static_cast<size_t>(nv), 0);
  int32_t bad = 0;
  for (int32_t i = 0; i < nf; ++i) {
    std::vector<int32_t> tuple = faces1[static_cast<size_t>(i)];
    std::sort(tuple.begin(), tuple.end());
    const int32_t k = static_cast<int32_t>(tuple.size());
    int32_t found = -1;
    if (k <= width && tuple[0] >= 0 && tuple[0] < nv)
      for (int32_t e = chains->m_heads[tuple[0]]; e >= 0 && found < 0; e = chains->m_entries[2 * e + 1]) {
        const int32_t f = chains->m_entries[2 * e];
        const int32_t *t = chains->m_tuples + static_cast<int64_t>(f) * width;
        if (map[static_cast<size_t>(f)] == -1 && (k == width || t[k] == -1) && std::equal(t, t + k, tuple.begin()))
          found = f;
      }
    if (found >= 0) {
      map[static_cast<size_t>(found)] = i;
      used1[static_cast<size_t>(i)] = 1;
      continue;
    }
    ++bad;
    for (int32_t w : faces1[static_cast<size_t>(i)])
      for (int32_t v = 0; v < nv; ++v)
        if (perm[static_cast<size_t>(v)] == w)
          suspect[static_cast<size_t>(v)] = 1;
  }
  FaceMap_delete(chains);
  if (bad > 0) {
    std::vector<char> vouched(static_cast<size_t>(nv), 0);
    for (int32_t j = 0; j < nf; ++j)
      if (map[static_cast<size_t>(j)] != -1)
        for (int32_t v : faces0[static_cast<size_t>(j)])
          vouched[static_cast<size_t>(v)] = 1;
    std::vector<char> flag(static_cast<size_t>(nv), 0);
    for (int32_t v = 0; v < nv; ++v)
      flag[static_cast<size_t>(v)] = suspect[static_cast<size_t>(v)] && !vouched[static_cast<size_t>(v)];
    FaceMap *plain0 = FaceMap_new(fm0, nv, nullptr);
    FaceMap *plain1 = FaceMap_new(fm1, nv, nullptr);
    auto matchThroughNeighbour = [&](int32_t i) {
      const std::vector<int32_t> &f0 = faces0[static_cast<size_t>(i)];
      const int32_t k = static_cast<int32_t>(f0.size());
      for (int32_t p = 0; p < k; ++p) {
        const int32_t q = (p + 1) % k;
        if (flag[static_cast<size_t>(f0[p])] || flag[static_cast<size_t>(f0[q])])
          continue;
        const int32_t nb = FaceMap_findNeighbour(plain0, i, f0[p], f0[q]);
        if (nb < 0 || map[static_cast<size_t>(nb)] == -1)
          continue;
        const int32_t a = perm[static_cast<size_t>(f0[p])];
        const int32_t b = perm[static_cast<size_t>(f0[q])];
        const int32_t f1 = FaceMap_findNeighbour(plain1, map[static_cast<size_t>(nb)], a, b);
        if (f1 < 0 || used1[static_cast<size_t>(f1)] || static_cast<int32_t>(faces1[static_cast<size_t>(f1)].size()) != k)
          continue;
        const std::vector<int32_t> &row1 = faces1[static_cast<size_t>(f1)];
        int32_t r = -1;
        int32_t step = 0;
        for (int32_t s = 0; s < k && r < 0; ++s)
          if (row1[s] == a && (row1[(s + 1) % k] == b || row1[(s + k - 1) % k] == b)) {
            r = s;
            step = row1[(s + 1) % k] == b ? 1 : -1;
          }
        if (r < 0)
          continue;
        int32_t qq = q;
        int32_t rr = (r + step + k) % k;
        for (int32_t s = 0; s < k - 2; ++s) {
          qq = (qq + 1) % k;
          rr = (rr + step + k) % k;
          const int32_t v = f0[qq];
          const int32_t w = row1[rr];
          perm[static_cast<size_t>(v)] = w;
          flag[static_cast<size_t>(v)] = 0;
          for (int32_t u = 0; u < nv; ++u)
            if (u != v && perm[static_cast<size_t>(u)] == w)
              flag[static_cast<size_t>(u)] = 1;
        }
        map[static_cast<size_t>(i)] = f1;
        used1[static_cast<size_t>(f1)] = 1;
        return true;
      }
      return false;
    };
    const int32_t limit = std::max<int32_t>(10, nf / 4);
    for (int32_t pass = 0; pass < limit && bad > 0; ++pass) {
      const int32_t previous = bad;
      bad = 0;
      for (int32_t i = 0; i < nf; ++i)
        if (map[static_cast<size_t>(i)] == -1 && !matchThroughNeighbour(i))
          ++bad;
      for (int32_t i = 0; i < nf; ++i) {
        if (map[static_cast<size_t>(i)] == -1)
          continue;
        for (int32_t v : faces0[static_cast<size_t>(i)])
          if (flag[static_cast<size_t>(v)]) {
            used1[static_cast<size_t>(map[static_cast<size_t>(i)])] = 0;
            map[static_cast<size_t>(i)] = -1;
            ++bad;
            break;
          }
      }
      if (bad >= previous)
        break;
    }
    FaceMap_delete(plain0);
    FaceMap_delete(plain1);
  }
  result.m_perm = perm;
  if (bad == 0 && injective(map, nf) && injective(perm, nv)) {
    result.m_ok = 1;
    result.m_map = map;
  }
  return result;
}

Outcome libraryFaceMap(FaceMesh *fm0, FaceMesh *fm1, int32_t nv, std::vector<int32_t> perm) {
  FaceMesh *const pair[2] = {fm0, fm1};
  int32_t *map = nullptr;
  Outcome result;
  result.m_ok = MA_calculateFaceMap(pair, nv, perm.data(), &map);
  if (map != nullptr)
    result.m_map.assign(map, map + FaceMesh_getNoOfFaces(fm0));
  zyrMemory_free(map, "test");
  result.m_perm = perm;
  return result;
}

// A face mesh of the top or bottom faces of listed cells of a block whose vertices lie at xyz
// (cells may repeat): quadrilaterals, triangles, or triangles with the quadrilateral sides of the
// first row.
FaceMesh *surfaceOf(const Block &block, const std::vector<double> &xyz, int kind, bool top,
                    const std::vector<int32_t> &cells) {
  ElementMesh *mesh = ElementMesh_new(nullptr);
  ElementMesh_setVertices(mesh, Vertices_new(3, "m", 2, static_cast<int32_t>(xyz.size() / 3), trackedDoubles(xyz)));
  const bool prisms = kind != 0;
  const std::vector<int32_t> connectivity = prisms ? block.prisms() : block.hexahedra();
  ElementSet *set = ElementSet_new(prisms ? 6 : 7, 0, static_cast<int32_t>(connectivity.size()), trackedInts(connectivity));
  ElementMesh_addElementSet(mesh, set);
  std::vector<int32_t> elements;
  std::vector<int32_t> faces;
  for (int32_t c : cells) {
    if (prisms) {
      for (int32_t half = 0; half < 2; ++half)
        elements.push_back(2 * c + half), faces.push_back(top ? 4 : 3);
      if (kind == 2 && c < block.m_nx)
        elements.push_back(2 * c), faces.push_back(0);
    } else {
      elements.push_back(c), faces.push_back(top ? 5 : 0);
    }
  }
  FaceMesh *fm = FaceMesh_new(nullptr, mesh);
  FaceMesh_addFaceSet(fm, FaceSet_new(set, 0, static_cast<int32_t>(elements.size()), trackedInts(elements),
                                      trackedInts(faces)));
  return fm;
}

// Random face meshes of one layer on both sides (faces in their own order on each side, some
// listed twice, triangles, quadrilaterals or both) and permutations near the right one: right,
// with vertices swapped along edges or anywhere, with two vertices given one image, or with
// entries of no vertex. Each face map (its failure included) and each repaired permutation is
// the reference's.
TEST_F(MeshTest, FaceMapsAreThoseOfTheChainsAndTheRepair) {
  std::mt19937 random(53);
  int repaired = 0;
  int failed = 0;
  for (int round = 0; round < 60; ++round) {
    const Block block{3 + round % 5, 2 + round % 4, 1, 0.1, {0, 0, 0}};
    const int kind = round % 3 == 0 ? 0 : round % 2 == 0 ? 2 : 1;
    std::vector<int32_t> cells(static_cast<size_t>(block.m_nx * block.m_ny));
    std::iota(cells.begin(), cells.end(), 0);
    std::vector<int32_t> cells0 = cells;
    std::vector<int32_t> cells1 = cells;
    std::shuffle(cells1.begin(), cells1.end(), random);
    if (round % 4 == 3) { // the same cells listed again on both sides
      for (int32_t extra = 0; extra < 3; ++extra) {
        const int32_t c = static_cast<int32_t>(random() % cells.size());
        cells0.insert(cells0.begin() + static_cast<long>(random() % cells0.size()), c);
        cells1.insert(cells1.begin() + static_cast<long>(random() % cells1.size()), c);
      }
    }
    const bool top = round % 2 == 1;
    FaceMesh *fm0 = surfaceOf(block, block.coordinates(), kind, top, cells0);
    FaceMesh *fm1 = surfaceOf(block, block.coordinates(), kind, top, cells1);
    int32_t *right = nullptr;
    int32_t *faceMap = nullptr;
    ASSERT_EQ(FaceMesh_match(fm0, fm1, nullptr, 0.005, 1, &right, &faceMap), 1) << round;
    const int32_t nv = FaceMesh_getNoOfVertices(fm0, 0);
    std::vector<int32_t> perm(right, right + nv);
    zyrMemory_free(right, "test");
    const Faces faces0 = localFaces(fm0);
    for (int variant = 0; variant < 6; ++variant) {
      std::vector<int32_t> trial = perm;
      const auto &face = faces0[random() % faces0.size()];
      if (variant == 1) { // along an edge
        std::swap(trial[static_cast<size_t>(face[0])], trial[static_cast<size_t>(face[1])]);
      } else if (variant == 2) { // anywhere, a few times
        for (int s = 0; s < 3; ++s)
          std::swap(trial[random() % trial.size()], trial[random() % trial.size()]);
      } else if (variant == 3) { // across a face, and along an edge far off
        std::swap(trial[static_cast<size_t>(face[0])], trial[static_cast<size_t>(face[2])]);
        const auto &other = faces0[random() % faces0.size()];
        std::swap(trial[static_cast<size_t>(other[1])], trial[static_cast<size_t>(other[2])]);
      } else if (variant == 4) { // two vertices with one image
        trial[static_cast<size_t>(face[0])] = trial[static_cast<size_t>(face[1])];
      } else if (variant == 5) { // an entry that is no vertex
        trial[random() % trial.size()] = random() % 2 ? nv : -1;
      }
      const Outcome expected = referenceFaceMap(fm0, fm1, nv, trial);
      // On one thread, and on several with the faces in small groups.
      for (const int threads : {1, 5}) {
        MatchingThreads_set(threads, threads == 1 ? 0 : 3);
        EXPECT_EQ(libraryFaceMap(fm0, fm1, nv, trial), expected)
            << "round " << round << " variant " << variant << " threads " << threads;
      }
      MatchingThreads_set(0, 0);
      repaired += expected.m_ok && expected.m_perm != trial;
      failed += !expected.m_ok;
    }
  }
  // Repairs and failures both happen.
  EXPECT_GT(repaired, 20);
  EXPECT_GT(failed, 20);
}

// The edges of faces (local numbering) as the edge lists give them: chains per smaller vertex
// with the newest edge first, internal edges first, then boundary edges, each boundary edge in the
// direction of its face. Each edge as (a, b, first face, second face).
std::vector<std::array<int32_t, 4>> literalEdges(const Faces &faces, int32_t n) {
  struct Entry {
    int32_t m_other, m_first, m_second;
  };
  std::vector<std::vector<Entry>> chains(static_cast<size_t>(n)); // oldest first
  for (size_t f = 0; f < faces.size(); ++f) {
    const std::vector<int32_t> &face = faces[f];
    const size_t k = face.size();
    for (size_t p = 0; p < k; ++p) {
      const int32_t a = face[p];
      const int32_t b = face[(p + 1) % k];
      std::vector<Entry> &chain = chains[static_cast<size_t>(std::min(a, b))];
      auto found = std::find_if(chain.begin(), chain.end(), [&](const Entry &e) { return e.m_other == std::max(a, b); });
      const int32_t face32 = static_cast<int32_t>(f);
      if (found == chain.end())
        chain.push_back({std::max(a, b), face32, a < b ? -1 : -2});
      else if (found->m_second == -1)
        found->m_second = face32;
      else
        found->m_second = found->m_first, found->m_first = face32;
    }
  }
  std::vector<std::array<int32_t, 4>> edges;
  for (int pass = 0; pass < 2; ++pass)
    for (int32_t v = 0; v < n; ++v)
      for (auto e = chains[static_cast<size_t>(v)].rbegin(); e != chains[static_cast<size_t>(v)].rend(); ++e)
        if ((e->m_second >= 0) == (pass == 0)) {
          const bool down = e->m_second == -2;
          edges.push_back({down ? e->m_other : v, down ? v : e->m_other, e->m_first, e->m_second});
        }
  return edges;
}

// The local length scale as written: each edge's length added at both its vertices in the order
// of the edge lists, then divided by the count.
std::vector<double> literalLengthScale(const Faces &faces, const std::vector<double> &xyz) {
  const int32_t n = static_cast<int32_t>(xyz.size() / 3);
  std::vector<double> sum(static_cast<size_t>(n), 0.0);
  std::vector<int32_t> count(static_cast<size_t>(n), 0);
  for (const auto &edge : literalEdges(faces, n)) {
    double d2 = 0.0;
    for (int k = 0; k < 3; ++k) {
      const double d = xyz[3 * static_cast<size_t>(edge[0]) + k] - xyz[3 * static_cast<size_t>(edge[1]) + k];
      d2 += d * d;
    }
    const double length = std::sqrt(d2);
    sum[static_cast<size_t>(edge[0])] += length;
    sum[static_cast<size_t>(edge[1])] += length;
    ++count[static_cast<size_t>(edge[0])];
    ++count[static_cast<size_t>(edge[1])];
  }
  for (int32_t i = 0; i < n; ++i)
    sum[static_cast<size_t>(i)] /= count[static_cast<size_t>(i)];
  return sum;
}

// FaceMesh_match one step at a time: face counts, the box test on centroids and boxes of its own,
// the vertex counts, the literal length scale of side 0 times the factor, side 0 transformed, the
// literal radial scan about side 1's first vertex, and the reference face map.
Outcome referenceMatch(FaceMesh *fm0, FaceMesh *fm1, const zyrAffineTransform3D *transform, double factor,
                           int vertexMapOnly) {
  Outcome result;
  const int32_t nf = FaceMesh_getNoOfFaces(fm0);
  if (fm0 == fm1 || nf < 1 || nf != FaceMesh_getNoOfFaces(fm1))
    return result;
  std::vector<double> xyz[2] = {localCoordinates(fm0), localCoordinates(fm1)};
  double centroid[2][3];
  double diagonal[2];
  for (int side = 0; side < 2; ++side) {
    const size_t n = xyz[side].size() / 3;
    double low[3] = {1.7976931348623157e308, 1.7976931348623157e308, 1.7976931348623157e308};
    double high[3] = {-1.7976931348623157e308, -1.7976931348623157e308, -1.7976931348623157e308};
    double sum[3] = {0, 0, 0};
    for (size_t i = 0; i < n; ++i)
      for (int k = 0; k < 3; ++k) {
        const double x = xyz[side][3 * i + k];
        sum[k] += x;
        low[k] = std::min(low[k], x);
        high[k] = std::max(high[k], x);
      }
    diagonal[side] = 0;
    for (int k = 0; k < 3; ++k) {
      centroid[side][k] = n > 0 ? sum[k] / static_cast<double>(n) : 0.0;
      diagonal[side] += (high[k] - low[k]) * (high[k] - low[k]);
    }
  }
  if (transform != nullptr)
    zyrAffineTransform3D_apply(transform, "m", zyrAffineDouble, 1, centroid[0]);
  const double limit = std::max(0.01 * 0.01 * std::max(diagonal[0], diagonal[1]), 1e-6);
  double distance = 0;
  for (int k = 0; k < 3; ++k) {
    distance += (centroid[0][k] - centroid[1][k]) * (centroid[0][k] - centroid[1][k]);
    if (distance > limit)
      return result;
  }
  const int32_t n = static_cast<int32_t>(xyz[0].size() / 3);
  if (n < 1 || xyz[1].size() != xyz[0].size())
    return result;
  const double reference[3] = {xyz[1][0], xyz[1][1], xyz[1][2]};
  std::vector<double> tolerances = literalLengthScale(localFaces(fm0), xyz[0]);
  for (double &t : tolerances)
    t *= factor;
  if (transform != nullptr)
    zyrAffineTransform3D_apply(transform, "m", zyrAffineDouble, n, xyz[0].data());
  std::vector<int32_t> perm = literalVertexMatch(xyz[0], xyz[1], tolerances, reference);
  if (perm.empty())
    return result;
  if (!vertexMapOnly) {
    const Outcome map = referenceFaceMap(fm0, fm1, n, perm);
    if (!map.m_ok)
      return result;
    perm = map.m_perm;
    result.m_map = map.m_map;
  }
  result.m_ok = 1;
  result.m_perm = perm;
  return result;
}

Outcome libraryMatch(FaceMesh *fm0, FaceMesh *fm1, const zyrAffineTransform3D *transform, double factor,
                         int vertexMapOnly) {
  FaceMesh_invalidate(fm0);
  FaceMesh_invalidate(fm1);
  int32_t *perm = nullptr;
  int32_t *map = nullptr;
  Outcome result;
  result.m_ok = FaceMesh_match(fm0, fm1, transform, factor, vertexMapOnly, &perm, &map);
  if (perm != nullptr)
    result.m_perm.assign(perm, perm + FaceMesh_getNoOfVertices(fm0, 0));
  if (map != nullptr)
    result.m_map.assign(map, map + FaceMesh_getNoOfFaces(fm0));
  zyrMemory_free(perm, "test");
  zyrMemory_free(map, "test");
  return result;
}

// The length scale and the edge lists are, to the last bit and in their order, those written out
// above, on surfaces of every kind with faces in any order and listed twice.
TEST_F(MeshTest, LengthScalesAndEdgesAreTheLiteralOnes) {
  std::mt19937 random(61);
  std::uniform_real_distribution<double> jitter(-0.03, 0.03);
  for (int round = 0; round < 12; ++round) {
    const Block block{3 + round % 4, 2 + round % 3, 1, 0.1, {0, 0, 0}};
    std::vector<double> xyz = block.coordinates();
    for (double &c : xyz)
      c += jitter(random);
    std::vector<int32_t> cells(static_cast<size_t>(block.m_nx * block.m_ny));
    std::iota(cells.begin(), cells.end(), 0);
    std::shuffle(cells.begin(), cells.end(), random);
    if (round % 3 == 2)
      cells.push_back(cells[0]);
    FaceMesh *fm = surfaceOf(block, xyz, round % 3, round % 2 == 1, cells);
    const Faces faces = localFaces(fm);
    const std::vector<double> coordinates = localCoordinates(fm);
    const int32_t n = static_cast<int32_t>(coordinates.size() / 3);
    double *scale = nullptr;
    ASSERT_EQ(FaceMesh_getLocalLengthScale(fm, &scale), n);
    const std::vector<double> expected = literalLengthScale(faces, coordinates);
    EXPECT_EQ(std::memcmp(scale, expected.data(), sizeof(double) * static_cast<size_t>(n)), 0) << round;
    zyrMemory_free(scale, "test");
    int32_t *vertices = nullptr;
    int32_t *sides = nullptr;
    int32_t internal = 0;
    int32_t boundary = 0;
    const int32_t ne = FaceMesh_getEdges(fm, 0, 1, nullptr, &vertices, &sides, &internal, &boundary);
    std::vector<std::array<int32_t, 4>> edges;
    for (int32_t e = 0; e < ne; ++e)
      edges.push_back({vertices[2 * e], vertices[2 * e + 1], sides[2 * e], sides[2 * e + 1]});
    EXPECT_EQ(edges, literalEdges(faces, n)) << round;
    EXPECT_EQ(internal + boundary, ne);
    zyrMemory_free(vertices, "test");
    zyrMemory_free(sides, "test");
  }
}

// Whole matches against the reference on surfaces of every kind: the same coordinates or
// disturbed ones, side 0 moved away and a transform bringing it back, coincident vertices (a cut
// through the surface, its two sides numbered apart), faces listed twice, a face fewer on one
// side, tolerance factors from tight to wider than the cells, the vertex map alone or with the
// face map, on one thread and on several over small ranges.
TEST_F(MeshTest, WholeMatchesAreTheReferenceOnes) {
  std::mt19937 random(67);
  std::uniform_real_distribution<double> unit(-1, 1);
  const double factors[] = {0.005, 0.1, 0.6, 2.0};
  int matched = 0;
  int refused = 0;
  for (int round = 0; round < 48; ++round) {
    const Block block{4 + round % 5, 3 + round % 4, 1, 0.1, {0, 0, 0}};
    const int kind = round % 3;
    const bool top = round % 2 == 1;
    std::vector<double> xyz[2] = {block.coordinates(), block.coordinates()};
    const int disturbance = (round / 3) % 4;
    if (disturbance == 1 || disturbance == 2)
      for (double &c : xyz[1])
        c += (disturbance == 1 ? 1e-5 : 0.02) * unit(random);
    zyrAffineTransform3D *transform = nullptr;
    if (disturbance == 3) {
      // Side 0 rotated a quarter turn about z and shifted; the transform undoes it.
      transform = zyrAffineTransform3D_new();
      const double shift[3] = {0.25, -0.5, 0.125};
      const double origin[3] = {0, 0, 0};
      const double axis[3] = {0, 0, 1};
      zyrAffineTransform3D_rotate(transform, origin, "m", axis, M_PI / 2, "radian");
      zyrAffineTransform3D_translate(transform, shift, "m");
      for (size_t i = 0; i < xyz[0].size(); i += 3) {
        const double x = xyz[0][i] - shift[0];
        const double y = xyz[0][i + 1] - shift[1];
        xyz[0][i] = y, xyz[0][i + 1] = -x, xyz[0][i + 2] -= shift[2];
      }
    }
    std::vector<int32_t> cells(static_cast<size_t>(block.m_nx * block.m_ny));
    std::iota(cells.begin(), cells.end(), 0);
    std::vector<int32_t> cells1 = cells;
    std::shuffle(cells1.begin(), cells1.end(), random);
    if (round % 8 == 5) { // listed twice on both sides
      cells.push_back(cells[1]);
      cells1.insert(cells1.begin() + 2, cells[1]);
    }
    if (round % 11 == 7) // a face fewer
      cells1.pop_back();
    FaceMesh *sides[2] = {surfaceOf(block, xyz[0], kind, top, cells), surfaceOf(block, xyz[1], kind, top, cells1)};
    if (round % 6 == 4) {
      // A cut along x = 1 cell: the cells beyond it take copies of its vertices, at the same places.
      for (int side = 0; side < 2; ++side) {
        std::vector<double> cut = xyz[side];
        const int32_t first = static_cast<int32_t>(cut.size() / 3);
        std::vector<int32_t> copyOf(static_cast<size_t>(first), -1);
        for (int32_t v = 0; v < first; ++v)
          if (v % (block.m_nx + 1) == 1) {
            copyOf[static_cast<size_t>(v)] = static_cast<int32_t>(cut.size() / 3);
            cut.insert(cut.end(), {xyz[side][3 * v], xyz[side][3 * v + 1], xyz[side][3 * v + 2]});
          }
        Block renumbered = block;
        ElementMesh *mesh = ElementMesh_new(nullptr);
        ElementMesh_setVertices(mesh, Vertices_new(3, "m", 2, static_cast<int32_t>(cut.size() / 3), trackedDoubles(cut)));
        std::vector<int32_t> hexes = renumbered.hexahedra();
        for (size_t e = 0; e < hexes.size() / 8; ++e)
          if (static_cast<int32_t>(e) % block.m_nx >= 1)
            for (size_t c = 0; c < 8; ++c) {
              const int32_t v = hexes[8 * e + c];
              if (copyOf[static_cast<size_t>(v)] >= 0)
                hexes[8 * e + c] = copyOf[static_cast<size_t>(v)];
            }
        ElementSet *set = ElementSet_new(7, 0, static_cast<int32_t>(hexes.size()), trackedInts(hexes));
        ElementMesh_addElementSet(mesh, set);
        const std::vector<int32_t> &order = side == 0 ? cells : cells1;
        sides[side] = FaceMesh_new(nullptr, mesh);
        FaceMesh_addFaceSet(sides[side], FaceSet_new(set, 0, static_cast<int32_t>(order.size()), trackedInts(order),
                                                     trackedInts(std::vector<int32_t>(order.size(), top ? 5 : 0))));
      }
    }
    const double factor = factors[round % 4];
    const int vertexMapOnly = round % 5 == 3;
    const Outcome expected = referenceMatch(sides[0], sides[1], transform, factor, vertexMapOnly);
    for (const int threads : {1, 5}) {
      MatchingThreads_set(threads, threads == 1 ? 0 : 3);
      EXPECT_EQ(libraryMatch(sides[0], sides[1], transform, factor, vertexMapOnly), expected)
          << "round " << round << " threads " << threads;
    }
    MatchingThreads_set(0, 0);
    matched += expected.m_ok;
    refused += !expected.m_ok;
    zyrAffineTransform3D_delete(transform);
  }
  EXPECT_GT(matched, 15);
  EXPECT_GT(refused, 8);
}

// The threads matching may use come from ZYR_MATCHING_THREADS, read once per process (so each
// case runs in a process of its own): a number from 1, at most 16; anything else leaves the
// processors' count, at most 4.
TEST(MatchingThreadsDeathTest, TheEnvironmentSetsTheCount) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  auto countWith = [](const char *value) {
    zyrtest::EnvGuard guard("ZYR_MATCHING_THREADS", value);
    zyrtest::leaveChild(MatchingThreads_count());
  };
  EXPECT_EXIT(countWith("3"), testing::ExitedWithCode(3), "");
  EXPECT_EXIT(countWith("40"), testing::ExitedWithCode(16), "");
  for (const char *ignored : {"0", "two", "2x", ""}) {
    EXPECT_EXIT(
        {
          zyrtest::EnvGuard guard("ZYR_MATCHING_THREADS", ignored);
          const int count = MatchingThreads_count();
          zyrtest::leaveChild(count >= 1 && count <= 4 ? 0 : 1);
        },
        testing::ExitedWithCode(0), "")
        << ignored;
  }
}

} // namespace
