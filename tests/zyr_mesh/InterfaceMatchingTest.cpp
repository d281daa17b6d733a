#include "ElementMesh.h"
#include "ElementSet.h"
#include "FaceMesh.h"
#include "FaceSet.h"
#include "Connection.h"
#include "IntegerMap.h"
#include "InterfaceMap.h"
#include "InterfaceMatching.h"
#include "MeshTestSupport.h"
#include "Region.h"
#include "Set.h"
#include "Vertices.h"
#include "zyrAffineTransform3D.h"
#include "zyrMemory.h"
#include "zyrObject.h"
#include "zyrMeshLayer.h"
#include "zyrTestSupport.h"
#include "zyrTopologyLayer.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <cmath>
#include <numeric>
#include <random>
#include <set>

namespace {

const double kPi = 3.14159265358979323846;

// A face mesh of one face of every cell of the block's layer k, in the given cell order.
FaceMesh *layerFaces(const Block &block, int32_t face, int32_t k, const std::vector<int32_t> &order,
                     ElementSet **setOut = nullptr) {
  ElementSet *set = nullptr;
  ElementMesh *mesh = hexMesh(block, &set);
  std::vector<int32_t> cells;
  for (int32_t c : order)
    cells.push_back(c + block.m_nx * block.m_ny * k);
  FaceMesh *fm = FaceMesh_new(nullptr, mesh);
  FaceMesh_addFaceSet(fm, hexFaces(set, face, cells));
  if (setOut != nullptr)
    *setOut = set;
  return fm;
}

std::vector<int32_t> cellOrder(const Block &block, bool shuffled) {
  std::vector<int32_t> order(static_cast<size_t>(block.m_nx * block.m_ny));
  std::iota(order.begin(), order.end(), 0);
  if (shuffled) {
    std::mt19937 random(11);
    std::shuffle(order.begin(), order.end(), random);
  }
  return order;
}

// The permutation pairs coincident vertices and the face map pairs faces with the same images,
// one to one.
void expectMatch(FaceMesh *fm0, FaceMesh *fm1, const int32_t *perm, const int32_t *faceMap,
                 const zyrAffineTransform3D *transform = nullptr) {
  std::vector<double> xyz0 = localCoordinates(fm0);
  const std::vector<double> xyz1 = localCoordinates(fm1);
  const int32_t n = static_cast<int32_t>(xyz0.size() / 3);
  ASSERT_EQ(xyz1.size(), xyz0.size());
  if (transform != nullptr)
    zyrAffineTransform3D_apply(transform, "m", zyrAffineDouble, n, xyz0.data());
  for (int32_t i = 0; i < n; ++i)
    for (int k = 0; k < 3; ++k)
      ASSERT_NEAR(xyz0[3 * i + k], xyz1[3 * perm[i] + k], 1e-9) << i;
  const auto faces0 = localFaces(fm0);
  const auto faces1 = localFaces(fm1);
  std::set<int32_t> partners;
  for (size_t j = 0; j < faces0.size(); ++j) {
    std::vector<int32_t> image;
    for (int32_t v : faces0[j])
      image.push_back(perm[v]);
    std::vector<int32_t> partner = faces1[static_cast<size_t>(faceMap[j])];
    std::sort(image.begin(), image.end());
    std::sort(partner.begin(), partner.end());
    EXPECT_EQ(image, partner) << j;
    partners.insert(faceMap[j]);
  }
  EXPECT_EQ(partners.size(), faces0.size());
}

TEST_F(MeshTest, BlocksSharingAFaceMatchWhateverTheirNumbering) {
  Block lower{4, 3, 1, 0.1, {0, 0, 0}};
  Block upper{4, 3, 1, 0.1, {0, 0, 0.1}};
  FaceMesh *top = layerFaces(lower, 5, 0, cellOrder(lower, false));
  FaceMesh *bottom = layerFaces(upper, 0, 0, cellOrder(upper, true));
  int32_t *perm = nullptr;
  int32_t *faceMap = nullptr;
  ASSERT_EQ(FaceMesh_match(top, bottom, nullptr, 0.005, 0, &perm, &faceMap), 1);
  expectMatch(top, bottom, perm, faceMap);
  EXPECT_FALSE(std::is_sorted(perm, perm + 20) && perm[0] == 0 && perm[19] == 19);
  zyrMemory_free(perm, "test");
  zyrMemory_free(faceMap, "test");
  // The vertex map alone.
  ASSERT_EQ(FaceMesh_match(top, bottom, nullptr, 0.005, 1, &perm, &faceMap), 1);
  EXPECT_EQ(faceMap, nullptr);
  zyrMemory_free(perm, "test");

  // Never with itself; not with another number of faces.
  EXPECT_EQ(FaceMesh_match(top, top, nullptr, 0.005, 0, &perm, &faceMap), 0);
  Block smaller{4, 2, 1, 0.1, {0, 0, 0.1}};
  EXPECT_EQ(FaceMesh_match(top, layerFaces(smaller, 0, 0, cellOrder(smaller, false)), nullptr, 0.5, 0, &perm, &faceMap),
            0);
  EXPECT_EQ(perm, nullptr);

  // 0.9 mm apart the centroids pass and a wide enough tolerance pairs the vertices; 6 mm apart
  // (over 1 % of the diagonal) the pair is rejected before any vertex is compared.
  Block near{4, 3, 1, 0.1, {0.0009, 0, 0.1}};
  Block far{4, 3, 1, 0.1, {0.006, 0, 0.1}};
  FaceMesh *nearMesh = layerFaces(near, 0, 0, cellOrder(near, true));
  EXPECT_EQ(FaceMesh_match(top, nearMesh, nullptr, 0.005, 0, &perm, &faceMap), 0);
  ASSERT_EQ(FaceMesh_match(top, nearMesh, nullptr, 0.05, 0, &perm, &faceMap), 1);
  zyrMemory_free(perm, "test");
  zyrMemory_free(faceMap, "test");
  EXPECT_EQ(FaceMesh_match(top, layerFaces(far, 0, 0, cellOrder(far, true)), nullptr, 0.9, 0, &perm, &faceMap), 0);
}

// Two swapped vertices are repaired from matched neighbours, with the two sides numbered apart and
// facing either way.
TEST_F(MeshTest, SwappedVerticesAreRepaired) {
  Block lower{5, 4, 1, 0.1, {0, 0, 0}};
  Block upper{5, 4, 1, 0.1, {0, 0, 0.1}};
  Block copy{5, 4, 1, 0.1, {0, 0, 0}};
  FaceMesh *top = layerFaces(lower, 5, 0, cellOrder(lower, false));
  FaceMesh *sides[2] = {layerFaces(upper, 0, 0, cellOrder(upper, true)), layerFaces(copy, 5, 0, cellOrder(copy, true))};
  for (FaceMesh *other : sides) {
    int32_t *correct = nullptr;
    int32_t *faceMap = nullptr;
    ASSERT_EQ(FaceMesh_match(top, other, nullptr, 0.005, 0, &correct, &faceMap), 1);
    const int32_t n = FaceMesh_getNoOfVertices(top, 0);
    const auto faces0 = localFaces(top);
    // Along an edge, across a face, far apart, and two corners of the boundary.
    const std::vector<std::pair<int32_t, int32_t>> swaps = {
        {faces0[7][0], faces0[7][1]}, {faces0[7][0], faces0[7][2]}, {faces0[0][2], faces0[19][0]},
        {faces0[0][0], faces0[4][1]}, {faces0[12][1], faces0[13][2]}};
    for (const auto &swap : swaps) {
      std::vector<int32_t> perm(correct, correct + n);
      std::swap(perm[static_cast<size_t>(swap.first)], perm[static_cast<size_t>(swap.second)]);
      FaceMesh *const pair[2] = {top, other};
      int32_t *repaired = nullptr;
      ASSERT_EQ(MA_calculateFaceMap(pair, n, perm.data(), &repaired), 1) << swap.first << " " << swap.second;
      EXPECT_EQ(perm, std::vector<int32_t>(correct, correct + n));
      EXPECT_EQ(std::vector<int32_t>(repaired, repaired + 20), std::vector<int32_t>(faceMap, faceMap + 20));
      zyrMemory_free(repaired, "test");
    }
    // A permutation that is no permutation of the vertices is refused.
    std::vector<int32_t> broken(correct, correct + n);
    broken[3] = n;
    FaceMesh *const pair[2] = {top, other};
    int32_t *none = nullptr;
    EXPECT_EQ(MA_calculateFaceMap(pair, n, broken.data(), &none), 0);
    EXPECT_EQ(none, nullptr);
    zyrMemory_free(correct, "test");
    zyrMemory_free(faceMap, "test");
  }
}

// Triangles among quadrilaterals pair by their three vertices, with faces in any order.
TEST_F(MeshTest, MixedFaceMeshesMatch) {
  Block block{3, 3, 1, 0.1, {0, 0, 0}};
  FaceMesh *sides[2];
  for (int s = 0; s < 2; ++s) {
    ElementMesh *mesh = ElementMesh_new(nullptr);
    ElementMesh_setVertices(mesh, Vertices_new(3, "m", 2, block.noOfVertices(), trackedDoubles(block.coordinates())));
    const std::vector<int32_t> prisms = block.prisms();
    ElementSet *set = ElementSet_new(6, 0, static_cast<int32_t>(prisms.size()), trackedInts(prisms));
    ElementMesh_addElementSet(mesh, set);
    // The bottom triangles of all prisms and the y = 0 sides (face 0 of the first prism of each
    // cell of the row j = 0), in an order of their own on each side.
    std::vector<int32_t> elements;
    std::vector<int32_t> faces;
    for (int32_t p = 0; p < 18; ++p) {
      elements.push_back(p);
      faces.push_back(3);
    }
    for (int32_t i = 0; i < 3; ++i) {
      elements.push_back(2 * i);
      faces.push_back(0);
    }
    if (s == 1) {
      std::mt19937 random(4);
      std::vector<size_t> order(elements.size());
      std::iota(order.begin(), order.end(), 0);
      std::shuffle(order.begin(), order.end(), random);
      std::vector<int32_t> e, f;
      for (size_t k : order) {
        e.push_back(elements[k]);
        f.push_back(faces[k]);
      }
      elements = e;
      faces = f;
    }
    sides[s] = FaceMesh_new(nullptr, mesh);
    FaceMesh_addFaceSet(sides[s], FaceSet_new(set, 0, 21, trackedInts(elements), trackedInts(faces)));
  }
  int32_t *perm = nullptr;
  int32_t *faceMap = nullptr;
  ASSERT_EQ(FaceMesh_match(sides[0], sides[1], nullptr, 0.005, 0, &perm, &faceMap), 1);
  expectMatch(sides[0], sides[1], perm, faceMap);
  zyrMemory_free(perm, "test");
  zyrMemory_free(faceMap, "test");
}

// The direct pass of the face map as the chains of FaceMap give it: each side-1 face in turn takes
// the newest side-0 face on the chain of its smallest vertex that has no partner yet, has its size
// and its sorted vertices.
std::vector<int32_t> chainDirectPass(FaceMesh *fm0, FaceMesh *fm1, int32_t n, const std::vector<int32_t> &perm) {
  FaceMap *lookup = FaceMap_new(fm0, n, perm.data());
  int32_t *rows = nullptr;
  int32_t nside = 0;
  int32_t mixed = 0;
  int32_t sentinel = 0;
  const int32_t nf = FaceMesh_getFaceVertices(fm1, 0, 1, 0, nullptr, 0, &rows, &nside, &mixed, &sentinel);
  std::vector<int32_t> map(static_cast<size_t>(lookup->m_noOfFaces), -1);
  const int32_t width = lookup->m_width;
  for (int32_t i = 0; i < nf; ++i) {
    std::vector<int32_t> tuple(rows + i * nside, rows + (i + 1) * nside);
    const int32_t k = static_cast<int32_t>(std::find(tuple.begin(), tuple.end(), -1) - tuple.begin());
    std::stable_sort(tuple.begin(), tuple.end(),
                     [](int32_t a, int32_t b) { return (a == -1 ? INT32_MAX : a) < (b == -1 ? INT32_MAX : b); });
    if (k != width && tuple[static_cast<size_t>(k)] != -1)
      continue;
    for (int32_t e = lookup->m_heads[tuple[0]]; e >= 0; e = lookup->m_entries[2 * e + 1]) {
      const int32_t f = lookup->m_entries[2 * e];
      const int32_t *t = lookup->m_tuples + f * width;
      if (map[static_cast<size_t>(f)] != -1 || (k < width && t[k] != -1))
        continue;
      if (std::equal(t, t + k, tuple.begin())) {
        map[static_cast<size_t>(f)] = i;
        break;
      }
    }
  }
  zyrMemory_free(rows, "test");
  FaceMap_delete(lookup);
  return map;
}

// Faces listed more than once on both sides pair up in the order of the chains, whether the face
// map is asked for alone or by the match.
TEST_F(MeshTest, RepeatedFacesPairInChainOrder) {
  Block lower{5, 4, 1, 0.1, {0, 0, 0}};
  Block upper{5, 4, 1, 0.1, {0, 0, 0.1}};
  std::vector<int32_t> order0 = cellOrder(lower, false);
  order0.insert(order0.end(), {3, 7, 7, 12, 3});
  std::vector<int32_t> order1 = cellOrder(upper, true);
  order1.insert(order1.begin() + 5, {7, 3});
  order1.insert(order1.end(), {12, 7, 3});
  FaceMesh *fm0 = layerFaces(lower, 5, 0, order0);
  FaceMesh *fm1 = layerFaces(upper, 0, 0, order1);
  int32_t *perm = nullptr;
  int32_t *faceMap = nullptr;
  ASSERT_EQ(FaceMesh_match(fm0, fm1, nullptr, 0.005, 1, &perm, &faceMap), 1);
  const int32_t n = FaceMesh_getNoOfVertices(fm0, 0);
  const std::vector<int32_t> permutation(perm, perm + n);
  zyrMemory_free(perm, "test");
  const std::vector<int32_t> expected = chainDirectPass(fm0, fm1, n, permutation);
  ASSERT_EQ(std::count(expected.begin(), expected.end(), -1), 0);

  FaceMesh *const pair[2] = {fm0, fm1};
  std::vector<int32_t> again = permutation;
  ASSERT_EQ(MA_calculateFaceMap(pair, n, again.data(), &faceMap), 1);
  EXPECT_EQ(std::vector<int32_t>(faceMap, faceMap + expected.size()), expected);
  zyrMemory_free(faceMap, "test");
  ASSERT_EQ(FaceMesh_match(fm0, fm1, nullptr, 0.005, 0, &perm, &faceMap), 1);
  EXPECT_EQ(std::vector<int32_t>(perm, perm + n), permutation);
  EXPECT_EQ(std::vector<int32_t>(faceMap, faceMap + expected.size()), expected);
  zyrMemory_free(perm, "test");
  zyrMemory_free(faceMap, "test");
}

// A side of triangles only against a side with a quadrilateral among its triangles: the
// quadrilateral has no partner and the match is refused, without reading past a face.
TEST_F(MeshTest, TrianglesAgainstAMixedSideAreRefused) {
  Block block{2, 1, 1, 0.1, {0, 0, 0}};
  const std::vector<int32_t> hexes = block.hexahedra();
  const std::vector<int32_t> prisms = block.prisms();
  FaceMesh *sides[2];
  for (int s = 0; s < 2; ++s) {
    ElementMesh *mesh = ElementMesh_new(nullptr);
    ElementMesh_setVertices(mesh, Vertices_new(3, "m", 2, block.noOfVertices(), trackedDoubles(block.coordinates())));
    sides[s] = FaceMesh_new(nullptr, mesh);
    if (s == 0) {
      // The bottom quadrilateral of cell 0 and the bottom triangles of the two prisms of cell 1.
      ElementSet *hex = ElementSet_new(7, 0, 8, trackedInts(std::vector<int32_t>(hexes.begin(), hexes.begin() + 8)));
      ElementSet *wedges =
          ElementSet_new(6, 0, 12, trackedInts(std::vector<int32_t>(prisms.begin() + 12, prisms.begin() + 24)));
      ElementMesh_addElementSet(mesh, hex);
      ElementMesh_addElementSet(mesh, wedges);
      FaceMesh_addFaceSet(sides[s], hexFaces(hex, 0, {0}));
      FaceMesh_addFaceSet(sides[s], FaceSet_new(wedges, 0, 2, trackedInts({0, 1}), trackedInts({3, 3})));
    } else {
      // The bottom triangles of the two prisms of cell 0 and of the first prism of cell 1.
      ElementSet *wedges = ElementSet_new(6, 0, static_cast<int32_t>(prisms.size()), trackedInts(prisms));
      ElementMesh_addElementSet(mesh, wedges);
      FaceMesh_addFaceSet(sides[s], FaceSet_new(wedges, 0, 3, trackedInts({0, 1, 2}), trackedInts({3, 3, 3})));
    }
  }
  int32_t *perm = nullptr;
  int32_t *faceMap = nullptr;
  ASSERT_EQ(FaceMesh_match(sides[0], sides[1], nullptr, 0.005, 1, &perm, &faceMap), 1);
  FaceMesh *const pair[2] = {sides[0], sides[1]};
  EXPECT_EQ(MA_calculateFaceMap(pair, 6, perm, &faceMap), 0);
  EXPECT_EQ(faceMap, nullptr);
  zyrMemory_free(perm, "test");
  EXPECT_EQ(FaceMesh_match(sides[0], sides[1], nullptr, 0.005, 0, &perm, &faceMap), 0);
  EXPECT_EQ(perm, nullptr);
}

TEST(PeriodicTransformation, AnglesAndDisplacements) {
  setenv("ZYR_USE_LOCAL_UNITS", "1", 0);
  const double o[3] = {0, 0, 0};
  const double z[3] = {0, 0, 1};
  const double x[3] = {1, 0, 0};
  const double y[3] = {0, 1, 0};
  zyrAffineTransform3D *t = nullptr;
  for (int direction = 0; direction < 2; ++direction) {
    ASSERT_EQ(MA_makePeriodicTransformation(2, o, z, "m", direction ? y : x, direction ? x : y, &t), 1);
    double p[3] = {direction ? 0.0 : 1.0, direction ? 1.0 : 0.0, 0.0};
    zyrAffineTransform3D_apply(t, "m", zyrAffineDouble, 1, p);
    EXPECT_NEAR(p[0], direction ? 1.0 : 0.0, 1e-12);
    EXPECT_NEAR(p[1], direction ? 0.0 : 1.0, 1e-12);
    // +pi/2 one way, -pi/2 the other: (1, 1, 0) goes to (-1, 1) or (1, -1).
    double q[3] = {1, 1, 0};
    zyrAffineTransform3D_apply(t, "m", zyrAffineDouble, 1, q);
    EXPECT_NEAR(q[0], direction ? 1.0 : -1.0, 1e-12);
    zyrAffineTransform3D_delete(t);
  }
  const double two[3] = {0, 0, 2};
  ASSERT_EQ(MA_makePeriodicTransformation(1, o, z, "m", o, two, &t), 1);
  double p[3] = {5, 5, 5};
  zyrAffineTransform3D_apply(t, "m", zyrAffineDouble, 1, p);
  EXPECT_EQ(std::vector<double>(p, p + 3), (std::vector<double>{5, 5, 7}));
  zyrAffineTransform3D_delete(t);
  // The axis origin is converted to metres; the direction is only a direction.
  const double a1[3] = {1000, 0, 0};
  const double a2[3] = {1000, 0, 5};
  const double s0[3] = {2, 0, 0};
  const double s1[3] = {1, 1, 0};
  ASSERT_EQ(MA_makePeriodicTransformation(2, a1, a2, "mm", s0, s1, &t), 1);
  double q[3] = {2, 0, 0};
  zyrAffineTransform3D_apply(t, "m", zyrAffineDouble, 1, q);
  EXPECT_NEAR(q[0], 1.0, 1e-12);
  EXPECT_NEAR(q[1], 1.0, 1e-12);
  zyrAffineTransform3D_delete(t);
  EXPECT_EQ(MA_makePeriodicTransformation(2, o, o, "m", s0, s1, &t), 0);
  EXPECT_EQ(t, nullptr);
  EXPECT_EQ(MA_makePeriodicTransformation(2, o, z, "no such unit", s0, s1, &t), 0);
  EXPECT_EQ(MA_makePeriodicTransformation(3, o, z, "m", s0, s1, &t), 0);
  EXPECT_EQ(MA_findPeriodicTransformation(0, o, z, "m", 1, nullptr, &t), 1);
  EXPECT_EQ(t, nullptr);
}

// An annular sector (r 1-2 m, 30 degrees, z 0-1 m) matches its own periodic sides.
TEST_F(MeshTest, PeriodicSectorSidesMatch) {
  const int32_t nr = 4, nt = 6, nz = 3;
  Block block{nr, nt, nz, 1.0, {0, 0, 0}};
  std::vector<double> xyz;
  for (int32_t k = 0; k <= nz; ++k)
    for (int32_t j = 0; j <= nt; ++j)
      for (int32_t i = 0; i <= nr; ++i) {
        const double r = 1.0 + double(i) / nr;
        const double theta = (30.0 * j / nt) * kPi / 180.0;
        xyz.insert(xyz.end(), {r * std::cos(theta), r * std::sin(theta), double(k) / nz});
      }
  ElementMesh *mesh = ElementMesh_new(nullptr);
  ElementMesh_setVertices(mesh, Vertices_new(3, "m", 2, block.noOfVertices(), trackedDoubles(xyz)));
  const std::vector<int32_t> hex = block.hexahedra();
  ElementSet *set = ElementSet_new(7, 0, static_cast<int32_t>(hex.size()), trackedInts(hex));
  ElementMesh_addElementSet(mesh, set);
  std::vector<int32_t> first;
  std::vector<int32_t> last;
  for (int32_t k = 0; k < nz; ++k)
    for (int32_t i = 0; i < nr; ++i) {
      first.push_back(block.cell(i, 0, k));
      last.push_back(block.cell(nr - 1 - i, nt - 1, nz - 1 - k));
    }
  FaceMesh *side0 = FaceMesh_new(nullptr, mesh);
  FaceMesh_addFaceSet(side0, hexFaces(set, 1, first));
  FaceMesh *side1 = FaceMesh_new(nullptr, mesh);
  FaceMesh_addFaceSet(side1, hexFaces(set, 3, last));

  FaceMesh *const list0[1] = {side0};
  FaceMesh *const list1[1] = {side1};
  FaceMesh *const *const lists[2] = {list0, list1};
  const double p1[3] = {0, 0, 500};
  const double p2[3] = {0, 0, 2500};
  zyrAffineTransform3D *t = nullptr;
  ASSERT_EQ(MA_findPeriodicTransformation(2, p1, p2, "mm", 1, lists, &t), 1);
  ASSERT_NE(t, nullptr);
  double c[3] = {1, 0, 0};
  zyrAffineTransform3D_apply(t, "m", zyrAffineDouble, 1, c);
  EXPECT_NEAR(std::atan2(c[1], c[0]), kPi / 6, 1e-12);
  int32_t *perm = nullptr;
  int32_t *faceMap = nullptr;
  EXPECT_EQ(FaceMesh_match(side0, side1, nullptr, 0.005, 0, &perm, &faceMap), 0);
  ASSERT_EQ(FaceMesh_match(side0, side1, t, 0.005, 0, &perm, &faceMap), 1);
  expectMatch(side0, side1, perm, faceMap, t);
  zyrMemory_free(perm, "test");
  zyrMemory_free(faceMap, "test");
  zyrAffineTransform3D_delete(t);
}

TEST_F(MeshTest, InterfaceMapsStoreTheirPermutation) {
  Block a{3, 2, 1, 0.1, {0, 0, 0}};
  Block b{3, 2, 1, 0.1, {0, 0, 0}};
  FaceMesh *side0 = layerFaces(a, 5, 0, cellOrder(a, false));
  FaceMesh *same = layerFaces(b, 5, 0, cellOrder(b, false));
  FaceMesh *shuffled = layerFaces(b, 5, 0, cellOrder(b, true));
  int32_t *perm = nullptr;
  int32_t *faceMap = nullptr;
  ASSERT_EQ(FaceMesh_match(side0, same, nullptr, 0.005, 0, &perm, &faceMap), 1);
  InterfaceMap *identity = InterfaceMap_new(side0, same, nullptr, perm, faceMap);
  ASSERT_NE(identity, nullptr);
  ASSERT_EQ(FaceMesh_match(side0, shuffled, nullptr, 0.005, 0, &perm, &faceMap), 1);
  const std::vector<int32_t> expected(perm, perm + 12);
  zyrMemory_free(faceMap, "test");
  InterfaceMap *general = InterfaceMap_new(side0, shuffled, nullptr, perm, nullptr);
  ASSERT_NE(general, nullptr);

  // The face lookup finds every face by its sorted vertices, a prefix finds a face starting so,
  // and nothing else is found.
  const auto faces = localFaces(side0);
  const int32_t nv = FaceMesh_getNoOfVertices(side0, 0);
  FaceMap *lookup = FaceMap_new(side0, nv, nullptr);
  ASSERT_NE(lookup, nullptr);
  for (size_t j = 0; j < faces.size(); ++j) {
    std::vector<int32_t> tuple = faces[j];
    std::sort(tuple.begin(), tuple.end());
    EXPECT_EQ(FaceMap_findFace(lookup, 4, tuple.data()), int32_t(j));
    const int32_t prefix = FaceMap_findFace(lookup, 2, tuple.data());
    ASSERT_GE(prefix, 0);
    std::vector<int32_t> found = faces[size_t(prefix)];
    std::sort(found.begin(), found.end());
    EXPECT_TRUE(std::equal(tuple.begin(), tuple.begin() + 2, found.begin())) << j;
    EXPECT_EQ(FaceMap_findFace(lookup, 5, tuple.data()), -1);
  }
  const int32_t absent[4] = {0, nv - 1, nv, nv + 1};
  EXPECT_EQ(FaceMap_findFace(lookup, 2, absent), -1);
  EXPECT_EQ(FaceMap_findFace(lookup, 1, absent + 2), -1); // beyond the vertices
  EXPECT_EQ(FaceMap_findFace(nullptr, 1, absent), -1);
  FaceMap_delete(lookup);
  EXPECT_EQ(InterfaceMap_getNoOfMatchedFaces(general), 6);
  EXPECT_EQ(InterfaceMap_getNoOfMatchedVertices(general), 12);
  int32_t *stored = nullptr;
  int32_t count = 0;
  zyrObject_getInts(identity, 0, "vertexPermutation", &stored, &count);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(stored[0], 0);
  zyrMemory_free(stored, "test");

  // With no split vertex the split-vertex values are the permutation itself.
  int32_t counts[2];
  int32_t *offsets = nullptr;
  int32_t *values = nullptr;
  EXPECT_EQ(InterfaceMap_getSplitVertexMap(general, counts, &offsets, &values), 12);
  EXPECT_EQ(values, general->m_vertexPermutation);
  for (int32_t v = 0; v <= 12; ++v)
    EXPECT_EQ(offsets[v], v);
  HashTable *table = nullptr;
  InterfaceMap *copy = InterfaceMap_copy(general, nullptr, table);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->m_splitVertexValues, copy->m_vertexPermutation);
  EXPECT_NE(copy->m_vertexPermutation, general->m_vertexPermutation);

  const std::string identityKey = keyOf(identity);
  const std::string generalKey = keyOf(general);
  // Records marked modified go through their flush (a dump hook that adds nothing: their setters
  // stored everything) at the commit; what comes back below is unchanged by it.
  FaceSet *faceSet = static_cast<FaceSet *>(side0->m_faceSets->m_items[0]);
  ElementSet *elementSet = FaceSet_getElementSet(faceSet);
  for (void *record : {static_cast<void *>(identity), static_cast<void *>(general), static_cast<void *>(faceSet),
                       static_cast<void *>(elementSet),
                       static_cast<void *>(ElementMesh_getVertices(ElementSet_getElementMesh(elementSet)))})
    EXPECT_EQ(zyrObject_setModified(record), 1);
  reopen();
  identity = static_cast<InterfaceMap *>(find(identityKey));
  general = static_cast<InterfaceMap *>(find(generalKey));
  ASSERT_NE(identity, nullptr);
  int32_t *restored = nullptr;
  ASSERT_EQ(InterfaceMap_getVertexPermutation(identity, &restored), 12);
  for (int32_t i = 0; i < 12; ++i)
    EXPECT_EQ(restored[i], i);
  ASSERT_EQ(InterfaceMap_getVertexPermutation(general, &restored), 12);
  EXPECT_EQ(std::vector<int32_t>(restored, restored + 12), expected);
  // The face map comes back from the permutation.
  int32_t *map = nullptr;
  ASSERT_EQ(InterfaceMap_getFaceMap(general, &map), 6);
  FaceMesh *s0 = nullptr;
  FaceMesh *s1 = nullptr;
  InterfaceMap_getFaceMeshes(general, &s0, &s1);
  expectMatch(s0, s1, restored, map);
  EXPECT_EQ(errorCount(), 0);

  // A stored permutation that relates no vertices one to one is reported and not used.
  const int32_t bad[12] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 10};
  zyrObject_setInts(general, "vertexPermutation", bad, 12);
  reopen();
  general = static_cast<InterfaceMap *>(find(generalKey));
  EXPECT_EQ(lastError(), std::make_pair(20006, "The stored interface map " + generalKey + " is inconsistent.\n"));
  EXPECT_EQ(InterfaceMap_getFaceMap(general, &map), -1);
}

TEST_F(MeshTest, NonMatchingFaceMeshesGiveNoInterfaceMap) {
  Block a{3, 2, 1, 0.1, {0, 0, 0}};
  Block b{2, 2, 1, 0.1, {0, 0, 0}};
  FaceMesh *side0 = layerFaces(a, 5, 0, cellOrder(a, false));
  FaceMesh *side1 = layerFaces(b, 5, 0, cellOrder(b, false));
  EXPECT_EQ(InterfaceMap_new(side0, side1, nullptr, nullptr, nullptr), nullptr);
  const std::string expected =
      "Attempt to create an interface map between non-matching face meshes:\n\n"
      "            Vertices      Faces Face mesh              Region [Base name]\n"
      "  Side 0:         12          6 " + keyOf(side0) + " UNKNOWN\n"
      "                                                       [UNKNOWN]\n"
      "  Side 1:          9          4 " + keyOf(side1) + " UNKNOWN\n"
      "                                                       [UNKNOWN]\n\n";
  EXPECT_EQ(lastError(), std::make_pair(20006, expected));

  // With a connection the sides are named by their regions.
  zyrTopologyLayer_initialise();
  Region *inlet = Region_new(nullptr, nullptr, "Inlet", 2);
  Region *outlet = Region_new(nullptr, nullptr, "Outlet", 2);
  Region_setBaseName(outlet, "Exit");
  Connection *connection = Connection_newDirect(inlet, outlet);
  ASSERT_NE(connection, nullptr);
  FaceMesh *named0 = FaceMesh_new(inlet, FaceMesh_getElementMesh(side0));
  FaceMesh *named1 = FaceMesh_new(outlet, FaceMesh_getElementMesh(side1));
  FaceMesh_addFaceSet(named0, FaceSet_copy(static_cast<FaceSet *>(side0->m_faceSets->m_items[0]), nullptr));
  FaceMesh_addFaceSet(named1, FaceSet_copy(static_cast<FaceSet *>(side1->m_faceSets->m_items[0]), nullptr));
  EXPECT_EQ(InterfaceMap_new(named0, named1, connection, nullptr, nullptr), nullptr);
  EXPECT_EQ(lastError().second,
            "Attempt to create an interface map between non-matching face meshes:\n\n"
            "            Vertices      Faces Face mesh              Region [Base name]\n"
            "  Side 0:         12          6 " + keyOf(named0) + " Inlet\n"
            "                                                       [Inlet]\n"
            "  Side 1:          9          4 " + keyOf(named1) + " Exit\n"
            "                                                       [Exit]\n\n");

  FaceMesh *copy = layerFaces(a, 5, 0, cellOrder(a, true));
  int32_t *perm = nullptr;
  int32_t *faceMap = nullptr;
  ASSERT_EQ(FaceMesh_match(side0, copy, nullptr, 0.005, 0, &perm, &faceMap), 1);
  InterfaceMap *map = InterfaceMap_new(side0, copy, nullptr, perm, faceMap);
  char *text = nullptr;
  size_t size = 0;
  FILE *stream = open_memstream(&text, &size);
  InterfaceMap_print(map, stream);
  std::fclose(stream);
  const std::string rule(46, '=');
  EXPECT_EQ(std::string(text), "\n" + rule + "\nInterfaceMap: " + keyOf(map) + "\n" + rule +
                                   "\n\nConnection                 = <UNKNOWN>\nNumber of matched vertices = 12\n"
                                   "Number of matched faces    = 6\n");
  free(text);
}

TEST_F(MeshTest, SplitVertexMapsAndUpgrade) {
  Block a{2, 1, 1, 0.1, {0, 0, 0}};
  Block b{2, 1, 1, 0.1, {0, 0, 0.1}};
  ElementSet *set0 = nullptr;
  FaceMesh *side0 = layerFaces(a, 5, 0, {0, 1}, &set0);
  FaceMesh *side1 = layerFaces(b, 0, 0, {1, 0});
  int32_t *perm = nullptr;
  int32_t *faceMap = nullptr;
  ASSERT_EQ(FaceMesh_match(side0, side1, nullptr, 0.005, 0, &perm, &faceMap), 1);
  const std::vector<int32_t> correct(perm, perm + 6);

  // The older layout related vertices ranked by element-mesh number on each side.
  int32_t *rank0 = nullptr;
  int32_t *order1 = nullptr;
  int32_t *rank1 = nullptr;
  FaceMesh_getVertexRenumbering(side0, 1, &rank0);
  FaceMesh_getVertexRenumbering(side1, 0, &order1);
  FaceMesh_getVertexRenumbering(side1, 1, &rank1);
  int32_t *old = zyrMemory_allocateArray<int32_t>(6, "test");
  for (int32_t i = 0; i < 6; ++i)
    old[rank0[i]] = rank1[correct[static_cast<size_t>(i)]];
  const std::vector<int32_t> older(old, old + 6);
  InterfaceMap *map = InterfaceMap_new(side0, side1, nullptr, old, nullptr);
  const std::string mapKey = keyOf(map);
  const int32_t s1 = Repository_commit(m_repository);
  ASSERT_EQ(InterfaceMap_upgrade(map), 1);
  int32_t *upgraded = nullptr;
  InterfaceMap_getVertexPermutation(map, &upgraded);
  EXPECT_EQ(std::vector<int32_t>(upgraded, upgraded + 6), correct);
  // The upgrade is stored: undone, the older layout comes back; redone, the new one.
  const int32_t s2 = Repository_commit(m_repository);
  Repository_gotoState(m_repository, s1);
  map = static_cast<InterfaceMap *>(find(mapKey));
  ASSERT_NE(map, nullptr);
  InterfaceMap_getVertexPermutation(map, &upgraded);
  EXPECT_EQ(std::vector<int32_t>(upgraded, upgraded + 6), older);
  Repository_gotoState(m_repository, s2);
  map = static_cast<InterfaceMap *>(find(mapKey));
  InterfaceMap_getVertexPermutation(map, &upgraded);
  EXPECT_EQ(std::vector<int32_t>(upgraded, upgraded + 6), correct);
  side0 = map->m_faceMeshes[0];
  side1 = map->m_faceMeshes[1];
  set0 = static_cast<ElementSet *>(FaceSet_getElementSet(static_cast<FaceSet *>(side0->m_faceSets->m_items[0])));
  zyrMemory_free(rank0, "test");
  zyrMemory_free(order1, "test");
  zyrMemory_free(rank1, "test");

  // Split the shared top vertex (0.1, 0, 0.1) of side 0 for the second element: both copies face
  // the same side-1 vertex.
  ElementMesh *mesh0 = FaceMesh_getElementMesh(side0);
  const int32_t shared = a.vertex(1, 0, 1);
  const int32_t split = a.noOfVertices();
  int32_t *sources = zyrMemory_allocateArray<int32_t>(1, "test");
  sources[0] = shared;
  Vertices_split(ElementMesh_getVertices(mesh0), 1, sources);
  std::vector<int32_t> hex = a.hexahedra();
  std::replace(hex.begin() + 8, hex.end(), shared, split);
  ElementSet_modifyElementTopology(set0, 7, 0, 16, trackedInts(hex));
  FaceMesh_sharedVerticesSplit(side0);
  InterfaceMap_clearSecondaryData(map);
  int32_t counts[2];
  int32_t *offsets = nullptr;
  int32_t *values = nullptr;
  ASSERT_EQ(InterfaceMap_getSplitVertexMap(map, counts, &offsets, &values), 7);
  EXPECT_EQ(counts[0], 7);
  EXPECT_EQ(counts[1], 6);
  int32_t *withSplit = nullptr;
  ASSERT_EQ(FaceMesh_getVertices(side0, 1, nullptr, &withSplit), 7);
  const int32_t *pos = std::find(withSplit, withSplit + 7, shared);
  const int32_t *posSplit = std::find(withSplit, withSplit + 7, split);
  const int32_t v = static_cast<int32_t>(pos - withSplit);
  const int32_t s = static_cast<int32_t>(posSplit - withSplit);
  ASSERT_EQ(offsets[v + 1] - offsets[v], 1);
  ASSERT_EQ(offsets[s + 1] - offsets[s], 1);
  EXPECT_EQ(values[offsets[v]], values[offsets[s]]);
  zyrMemory_free(withSplit, "test");

  // A face map that pairs a face with a face not holding its images makes no split-vertex map.
  FaceMesh *const pair[2] = {side0, side1};
  int32_t wrong[2] = {faceMap[1], faceMap[0]};
  int32_t *o = nullptr;
  int32_t *w = nullptr;
  EXPECT_EQ(MA_calculateSplitVertexMap(pair, 6, perm, 2, wrong, 0, counts, &o, &w), 0);
  EXPECT_EQ(o, nullptr);
  zyrMemory_free(perm, "test");
  zyrMemory_free(faceMap, "test");
}

// Two layers of one imported block, each an element mesh with its own compact vertices and the
// vertex map back to the block's numbers: vertices of equal global number pair up, and sides that
// do not hold the same global vertices are refused.
TEST_F(MeshTest, InterfaceMapsFromSharedVertices) {
  Block block{3, 2, 2, 0.1, {0, 0, 0}};
  const std::vector<double> xyz = block.coordinates();
  const std::vector<int32_t> hex = block.hexahedra();
  const int32_t layer = (block.m_nx + 1) * (block.m_ny + 1);
  const int32_t cells = block.m_nx * block.m_ny;
  FaceMesh *sides[2];
  IntegerMap *maps[2];
  for (int s = 0; s < 2; ++s) {
    // Layer s uses global vertices s * layer .. s * layer + 2 * layer - 1.
    std::vector<double> own(xyz.begin() + 3 * s * layer, xyz.begin() + 3 * (s + 2) * layer);
    std::vector<int32_t> local(hex.begin() + 8 * s * cells, hex.begin() + 8 * (s + 1) * cells);
    for (int32_t &v : local)
      v -= s * layer;
    ElementMesh *mesh = ElementMesh_new(nullptr);
    ElementMesh_setVertices(mesh, Vertices_new(3, "m", 2, 2 * layer, trackedDoubles(own)));
    ElementSet *set = ElementSet_new(7, 0, static_cast<int32_t>(local.size()), trackedInts(local));
    ElementMesh_addElementSet(mesh, set);
    std::vector<int32_t> faces = cellOrder(block, s == 1);
    sides[s] = FaceMesh_new(nullptr, mesh);
    FaceMesh_addFaceSet(sides[s], hexFaces(set, s == 0 ? 5 : 0, faces));
    std::vector<int32_t> values(static_cast<size_t>(2 * layer));
    std::iota(values.begin(), values.end(), s * layer);
    maps[s] = IntegerMap_new(2 * layer, trackedInts(values));
  }
  InterfaceMap *map = InterfaceMap_newFromVertexMaps(sides[0], sides[1], nullptr, maps[0], maps[1]);
  ASSERT_NE(map, nullptr);
  int32_t *perm = nullptr;
  int32_t *faceMap = nullptr;
  ASSERT_EQ(FaceMesh_match(sides[0], sides[1], nullptr, 0.005, 0, &perm, &faceMap), 1);
  int32_t *fromMaps = nullptr;
  ASSERT_EQ(InterfaceMap_getVertexPermutation(map, &fromMaps), 12);
  EXPECT_EQ(std::vector<int32_t>(fromMaps, fromMaps + 12), std::vector<int32_t>(perm, perm + 12));
  zyrMemory_free(perm, "test");
  zyrMemory_free(faceMap, "test");

  // Side 1 seen through a map one vertex off: the first difference is reported.
  std::vector<int32_t> shifted(static_cast<size_t>(2 * layer));
  std::iota(shifted.begin(), shifted.end(), layer + 1);
  IntegerMap *wrong = IntegerMap_new(2 * layer, trackedInts(shifted));
  EXPECT_EQ(InterfaceMap_newFromVertexMaps(sides[0], sides[1], nullptr, maps[0], wrong), nullptr);
  EXPECT_EQ(lastError(), std::make_pair(20006, std::string("The two sides of an interface do not hold the same "
                                                           "vertices: global vertex 12 of side 0 meets global "
                                                           "vertex 13 of side 1.\n")));
  IntegerMap_delete(wrong);
  IntegerMap_delete(maps[0]);
  IntegerMap_delete(maps[1]);
}

TEST(GroupElements, HexahedraAroundAVertex) {
  // Four hexahedra of a 2 x 2 x 1 block around the middle vertex of the bottom.
  Block block{2, 2, 1, 1.0, {0, 0, 0}};
  const std::vector<int32_t> hex = block.hexahedra();
  const int32_t types[4] = {7, 7, 7, 7};
  int32_t groups[4];
  int32_t n = 0;
  const int32_t none[4] = {0, 0, 0, 0};
  ASSERT_EQ(MA_groupElements(block.vertex(1, 1, 0), 4, none, types, 0, hex.data(), &n, groups), 1);
  EXPECT_EQ(n, 1);
  EXPECT_EQ(std::vector<int32_t>(groups, groups + 4), (std::vector<int32_t>{1, 1, 1, 1}));
  // Masking the faces at y = 1 (face 3 of the lower cells, face 1 of the upper ones) splits them.
  const int32_t masks[4] = {1 << 3, 1 << 3, 1 << 1, 1 << 1};
  ASSERT_EQ(MA_groupElements(block.vertex(1, 1, 0), 4, masks, types, 0, hex.data(), &n, groups), 1);
  EXPECT_EQ(n, 2);
  EXPECT_EQ(std::vector<int32_t>(groups, groups + 4), (std::vector<int32_t>{1, 1, 2, 2}));
  EXPECT_EQ(MA_groupElements(0, 0, nullptr, nullptr, 0, nullptr, &n, groups), 1);
}

TEST(Injectivity, FaultsAreListed) {
  const int32_t perm[5] = {2, 0, 2, -1, 1};
  char *text = nullptr;
  size_t size = 0;
  FILE *stream = open_memstream(&text, &size);
  EXPECT_EQ(checkPermutationIsInjective(5, perm, stream), 0);
  std::fclose(stream);
  EXPECT_EQ(std::string(text), "checkPermutationIsInjective: 0 and 2 map onto 2.\n"
                               "checkPermutationIsInjective: 3 is unmapped.\n");
  free(text);
  const int32_t good[3] = {2, 0, 1};
  EXPECT_EQ(checkPermutationIsInjective(3, good, nullptr), 1);
}

} // namespace

namespace {

// In a child process (the debug manager reads its environment once): a repair, a periodic
// transformation, element grouping, an upgrade and the records' prints with their debug listings.
[[noreturn]] void matchWithDebugListing(const std::string &dir) {
  for (const char *name : {"ZYR_MEMORY_LOG", "ZYR_ERROR_LOG", "ZYR_SUPPRESS_WARNINGS"})
    unsetenv(name);
  setenv("ZYR_DEBUG_CONTROL", (dir + "/control").c_str(), 1);
  setenv("ZYR_DEBUG_LOG", (dir + "/debug.log").c_str(), 1);
  setenv("ZYR_USE_LOCAL_UNITS", "1", 1);
  zyrMeshLayer_initialise();
  Repository *repository = Repository_new((dir + "/db").c_str());
  bool ok = repository != nullptr;
  Block lower{4, 3, 1, 0.1, {0, 0, 0}};
  Block upper{4, 3, 1, 0.1, {0, 0, 0.1}};
  FaceMesh *top = layerFaces(lower, 5, 0, cellOrder(lower, false));
  FaceMesh *bottom = layerFaces(upper, 0, 0, cellOrder(upper, true));
  int32_t *perm = nullptr;
  int32_t *faceMap = nullptr;
  ok = ok && FaceMesh_match(top, bottom, nullptr, 0.005, 0, &perm, &faceMap) == 1;
  const auto faces0 = localFaces(top);
  std::vector<int32_t> swapped(perm, perm + 20);
  std::swap(swapped[static_cast<size_t>(faces0[5][0])], swapped[static_cast<size_t>(faces0[5][1])]);
  FaceMesh *const pair[2] = {top, bottom};
  int32_t *repaired = nullptr;
  ok = ok && MA_calculateFaceMap(pair, 20, swapped.data(), &repaired) == 1 &&
       std::equal(swapped.begin(), swapped.end(), perm);
  zyrMemory_free(repaired, "test");
  FaceMesh *const list0[1] = {top};
  FaceMesh *const list1[1] = {bottom};
  FaceMesh *const *const lists[2] = {list0, list1};
  const double p1[3] = {0, 0, 0};
  const double p2[3] = {1, 0, 0};
  zyrAffineTransform3D *t = nullptr;
  ok = ok && MA_findPeriodicTransformation(2, p1, p2, "m", 1, lists, &t) == 1;
  zyrAffineTransform3D_delete(t);
  Block block{2, 2, 1, 1.0, {0, 0, 0}};
  const std::vector<int32_t> hex = block.hexahedra();
  const int32_t types[4] = {7, 7, 7, 7};
  const int32_t masks[4] = {1 << 3, 1 << 3, 1 << 1, 1 << 1};
  int32_t groups[4];
  int32_t n = 0;
  ok = ok && MA_groupElements(block.vertex(1, 1, 0), 4, masks, types, 0, hex.data(), &n, groups) == 1 && n == 2;
  InterfaceMap *map = InterfaceMap_new(top, bottom, nullptr, perm, faceMap);
  ok = ok && map != nullptr && InterfaceMap_upgrade(map) == 1;
  FILE *sink = std::fopen("/dev/null", "w");
  InterfaceMap_print(map, sink);
  FaceMesh_print(top, sink);
  ElementMesh_print(FaceMesh_getElementMesh(top), sink);
  std::fclose(sink);
  Repository_close(repository, -1);
  std::exit(ok ? 0 : 2);
}

TEST(MatchingDeathTest, DebugListings) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  std::string dir;
  std::unique_ptr<zyrtest::ScratchDir> owner;
  if (const char *inherited = std::getenv("ZYRTEST_MATCH_DIR")) {
    dir = inherited;
  } else {
    owner = std::make_unique<zyrtest::ScratchDir>("zyrmatchlog");
    dir = owner->path();
    setenv("ZYRTEST_MATCH_DIR", dir.c_str(), 1);
    zyrtest::writeFile(dir + "/control", "<DEBUG>\nMA_.*: 2\nInterfaceMap_.*: 2\nFaceMesh_.*: 1\n"
                                         "ElementMesh_print: 1\nElementSet_print: 1\nFaceSet_print: 1\n"
                                         "Vertices_print: 1\n</DEBUG>\n");
  }
  EXPECT_EXIT(matchWithDebugListing(dir), testing::ExitedWithCode(0), "");
  const std::string log = zyrtest::readFile(dir + "/debug.log");
  for (const char *line : {"Couldn't match face ", "Unmatched faces: 4\n", "Inconsistently matched vertices:\n",
                           "Face ", "Matched face meshes:\n", "Periodic rotation: Axis  = (",
                           "No of groups = 2\n", "       i      old      new\n"})
    EXPECT_NE(log.find(line), std::string::npos) << line;
  unsetenv("ZYRTEST_MATCH_DIR");
}

} // namespace
