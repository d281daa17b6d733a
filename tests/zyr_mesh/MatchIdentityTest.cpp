// Face-mesh matching against straightforward copies of what it computes: the face map (a direct
// pass along the chains of FaceMap, then the repair from matched neighbours) and, for the whole
// match, the length scale from chains of edges and the literal radial vertex scan. The library's
// faster ways must give exactly the same permutations, face maps, failures and tie orders.
#include "ElementMesh.h"
#include "ElementSet.h"
#include "FaceMesh.h"
#include "FaceSet.h"
#include "InterfaceMatching.h"
#include "MatchingThreads.h"
#include "MeshTestSupport.h"
#include "Vertices.h"
#include "zyrMemory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <vector>

namespace {

using Faces = std::vector<std::vector<int32_t>>;

struct FaceMapResult {
  int m_ok = 0;
  std::vector<int32_t> m_map;  // when ok
  std::vector<int32_t> m_perm; // as the repair left it
  bool operator==(const FaceMapResult &o) const {
    return m_ok == o.m_ok && m_map == o.m_map && m_perm == o.m_perm;
  }
};

std::ostream &operator<<(std::ostream &out, const FaceMapResult &r) {
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
FaceMapResult referenceFaceMap(FaceMesh *fm0, FaceMesh *fm1, int32_t nv, std::vector<int32_t> perm) {
  FaceMapResult result;
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

FaceMapResult libraryFaceMap(FaceMesh *fm0, FaceMesh *fm1, int32_t nv, std::vector<int32_t> perm) {
  FaceMesh *const pair[2] = {fm0, fm1};
  int32_t *map = nullptr;
  FaceMapResult result;
  result.m_ok = MA_calculateFaceMap(pair, nv, perm.data(), &map);
  if (map != nullptr)
    result.m_map.assign(map, map + FaceMesh_getNoOfFaces(fm0));
  zyrMemory_free(map, "test");
  result.m_perm = perm;
  return result;
}

// A face mesh of the top or bottom faces of a block's cells in the given order (cells may
// repeat), of hexahedra or, with prisms, of the two triangles of each cell (and, with mixed, the
// quadrilateral sides of the first row as well), on an element mesh of its own.
FaceMesh *blockFaces(const Block &block, bool prisms, bool mixed, bool top, const std::vector<int32_t> &cells) {
  ElementMesh *mesh = ElementMesh_new(nullptr);
  ElementMesh_setVertices(mesh, Vertices_new(3, "m", 2, block.noOfVertices(), trackedDoubles(block.coordinates())));
  const std::vector<int32_t> connectivity = prisms ? block.prisms() : block.hexahedra();
  ElementSet *set = ElementSet_new(prisms ? 6 : 7, 0, static_cast<int32_t>(connectivity.size()), trackedInts(connectivity));
  ElementMesh_addElementSet(mesh, set);
  std::vector<int32_t> elements;
  std::vector<int32_t> faces;
  for (int32_t c : cells) {
    if (prisms) {
      for (int32_t half = 0; half < 2; ++half)
        elements.push_back(2 * c + half), faces.push_back(top ? 4 : 3);
      if (mixed && c < block.m_nx)
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
    const bool prisms = round % 3 != 0;
    const bool mixed = prisms && round % 2 == 0;
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
    FaceMesh *fm0 = blockFaces(block, prisms, mixed, top, cells0);
    FaceMesh *fm1 = blockFaces(block, prisms, mixed, top, cells1);
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
      const FaceMapResult expected = referenceFaceMap(fm0, fm1, nv, trial);
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

} // namespace
