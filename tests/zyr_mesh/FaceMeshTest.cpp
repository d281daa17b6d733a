#include "ElementMesh.h"
#include "ElementSet.h"
#include "ElementTopology.h"
#include "FaceMesh.h"
#include "FaceSet.h"
#include "MeshTestSupport.h"
#include "Region.h"
#include "Vertices.h"
#include "zyrAffineTransform3D.h"
#include "zyrBlob.h"
#include "zyrMemory.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <random>
#include <vector>

namespace {

std::vector<int32_t> faceRows(const FaceSet *set, int mirror, int32_t *stride, int32_t *padded) {
  int32_t *rows = nullptr;
  int32_t pad = 0;
  *stride = 0;
  const int32_t n = FaceSet_getFaceVertices(set, 0, nullptr, mirror, stride, &rows, padded, &pad);
  std::vector<int32_t> result;
  if (n > 0)
    result.assign(rows, rows + static_cast<int64_t>(n) * *stride);
  zyrMemory_free(rows, "test");
  return result;
}

std::vector<int32_t> localFaces(const FaceSet *set, int32_t convention) {
  int32_t n = 0;
  int32_t *elements = nullptr;
  int32_t *faces = nullptr;
  std::vector<int32_t> result;
  if (FaceSet_getFaces(set, convention, nullptr, 0, &n, &elements, &faces) == 1 && n > 0)
    result.assign(faces, faces + n);
  zyrMemory_free(elements, "test");
  zyrMemory_free(faces, "test");
  return result;
}

std::vector<int32_t> faceMeshRows(FaceMesh *fm, int local, int32_t *nside, int32_t *mixed) {
  int32_t *faces = nullptr;
  int32_t sentinel = 0;
  *nside = 0;
  const int32_t n = FaceMesh_getFaceVertices(fm, 0, local, 0, nullptr, 1, &faces, nside, mixed, &sentinel);
  std::vector<int32_t> result;
  if (n > 0)
    result.assign(faces, faces + static_cast<int64_t>(n) * *nside);
  zyrMemory_free(faces, "test");
  return result;
}

TEST_F(MeshTest, FaceNumbersConvertOnTheWayInAndOut) {
  Block block{2, 1, 1, 1.0, {0, 0, 0}};
  ElementSet *hex = nullptr;
  hexMesh(block, &hex);
  // WEZ5 face 5 is native face 0, CGNS face 1.
  FaceSet *set = FaceSet_new(hex, zyrConvention_WEZ5, 2, trackedInts({0, 1}), trackedInts({5, 6}));
  ASSERT_NE(set, nullptr);
  EXPECT_EQ(std::vector<int32_t>(static_cast<int32_t *>(zyrBlob_getData(set->m_krffc)),
                                 static_cast<int32_t *>(zyrBlob_getData(set->m_krffc)) + 2),
            (std::vector<int32_t>{0, 5}));
  EXPECT_EQ(localFaces(set, zyrConvention_WEZ5), (std::vector<int32_t>{5, 6}));
  EXPECT_EQ(localFaces(set, zyrConvention_CGNS), (std::vector<int32_t>{1, 6}));
  EXPECT_TRUE(localFaces(set, zyrConvention_VTK).empty());
  EXPECT_EQ(lastError(), std::make_pair(20006, std::string("There was a problem revaluing the faces of "
                                                           "ZYR_ELEMENT_HEXA_8\nelements to satisfy the "
                                                           "zyrConvention_VTK convention.\n")));
  // Faces the element set does not have, or that the convention cannot express, are refused.
  EXPECT_EQ(FaceSet_new(hex, 0, 1, trackedInts({2}), trackedInts({0})), nullptr);
  EXPECT_EQ(lastError(), std::make_pair(10020, std::string("Face 0 names element 2 and local face 0, which the "
                                                           "element set does not have.\n")));
  EXPECT_EQ(FaceSet_new(hex, 0, 1, trackedInts({0}), trackedInts({6})), nullptr);
  EXPECT_EQ(lastError().first, 10020);
  EXPECT_EQ(FaceSet_new(hex, zyrConvention_CGNS, 1, trackedInts({0}), trackedInts({0})), nullptr);
  EXPECT_EQ(lastError().first, 20006);
  EXPECT_EQ(FaceSet_new(hex, zyrConvention_VTK, 1, trackedInts({0}), trackedInts({0})), nullptr);
  EXPECT_EQ(lastError().second, "There was a problem revaluing the faces of ZYR_ELEMENT_HEXA_8\nelements to "
                                "satisfy the zyrConvention_VTK convention.\n");

  // An empty set answers 1 with no faces and sizes 0 and 0.
  FaceSet *empty = FaceSet_new(hex, 0, 0, nullptr, nullptr);
  int32_t n = -1;
  int32_t *elements = nullptr;
  int32_t *faces = nullptr;
  EXPECT_EQ(FaceSet_getFaces(empty, 0, nullptr, 0, &n, &elements, &faces), 1);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(elements, nullptr);
  int32_t low = -1;
  int32_t high = -1;
  FaceSet_getNoOfVerticesPerFace(empty, &low, &high);
  EXPECT_EQ(low, 0);
  EXPECT_EQ(high, 0);
}

TEST_F(MeshTest, MixedFaceRowsArePaddedAndMirroredByTheirOwnSize) {
  Block block{1, 1, 1, 1.0, {0, 0, 0}};
  ElementMesh *mesh = ElementMesh_new(nullptr);
  ElementMesh_setVertices(mesh, Vertices_new(3, "m", 2, block.noOfVertices(), trackedDoubles(block.coordinates())));
  const std::vector<int32_t> prisms = block.prisms(); // (0 1 3 | 4 5 7), (0 3 2 | 4 7 6)
  ElementSet *set = ElementSet_new(6, 0, 12, trackedInts(prisms));
  ElementMesh_addElementSet(mesh, set);
  // The bottom triangle of prism 0 and the side quadrilateral (x = 0) of prism 1.
  FaceSet *faces = FaceSet_new(set, 0, 2, trackedInts({0, 1}), trackedInts({3, 2}));
  int32_t stride = 0;
  int32_t padded = 0;
  EXPECT_EQ(faceRows(faces, 0, &stride, &padded), (std::vector<int32_t>{0, 3, 1, -1, 2, 0, 4, 6}));
  EXPECT_EQ(stride, 4);
  EXPECT_EQ(padded, 1);
  int32_t tris = 0;
  int32_t quads = 0;
  EXPECT_EQ(FaceSet_getNoOfTrisAndQuads(faces, &tris, &quads), 2);
  EXPECT_EQ(tris, 1);

  // A caller's array too narrow for the quadrilateral is refused.
  int32_t narrow[6];
  int32_t *array = narrow;
  int32_t three = 3;
  int32_t pad = 0;
  EXPECT_EQ(FaceSet_getFaceVertices(faces, 0, nullptr, 0, &three, &array, &padded, &pad), 0);
  EXPECT_EQ(lastError().first, 10020);

  // Mirrored on a reflected mesh: a b c d -> a d c b, a b c -> a c b; ignored before.
  EXPECT_EQ(faceRows(faces, 1, &stride, &padded), (std::vector<int32_t>{0, 3, 1, -1, 2, 0, 4, 6}));
  zyrAffineTransform3D *mirror = zyrAffineTransform3D_new();
  const double normal[3] = {0.0, 0.0, 1.0};
  zyrAffineTransform3D_simpleReflect(mirror, normal);
  ElementMesh_transform(mesh, mirror);
  zyrAffineTransform3D_delete(mirror);
  EXPECT_EQ(faceRows(faces, 1, &stride, &padded), (std::vector<int32_t>{0, 1, 3, -1, 2, 6, 4, 0}));
  EXPECT_EQ(localFaces(faces, 0).size(), 2u);
}

TEST_F(MeshTest, MovingFacesBetweenSetsAndFaceMeshes) {
  Block block{4, 1, 1, 1.0, {0, 0, 0}};
  ElementSet *hex = nullptr;
  ElementMesh *mesh = hexMesh(block, &hex);
  FaceSet *from = hexFaces(hex, 0, {0, 1, 2, 3});
  FaceSet *to = FaceSet_new(hex, 0, 0, nullptr, nullptr);
  const int32_t moved[] = {1, 3};
  ASSERT_EQ(FaceSet_moveFaces(from, to, 2, moved), 1);
  int32_t n = 0;
  int32_t *elements = nullptr;
  int32_t *faces = nullptr;
  FaceSet_getFaces(from, 0, nullptr, 0, &n, &elements, &faces);
  EXPECT_EQ(std::vector<int32_t>(elements, elements + n), (std::vector<int32_t>{0, 2}));
  zyrMemory_freeAndClear(&elements, "test");
  zyrMemory_freeAndClear(&faces, "test");
  FaceSet_getFaces(to, 0, nullptr, 0, &n, &elements, &faces);
  EXPECT_EQ(std::vector<int32_t>(elements, elements + n), (std::vector<int32_t>{1, 3}));
  zyrMemory_freeAndClear(&elements, "test");
  zyrMemory_freeAndClear(&faces, "test");
  const int32_t repeated[] = {0, 0};
  EXPECT_EQ(FaceSet_moveFaces(from, to, 2, repeated), 0);
  EXPECT_EQ(FaceSet_getNoOfFaces(from), 2);

  // Face mesh moves: offsets are those before any move, emptied sets are deleted.
  FaceMesh *source = FaceMesh_new(nullptr, mesh);
  FaceMesh *target = FaceMesh_new(nullptr, mesh);
  FaceSet *first = hexFaces(hex, 0, {0, 1});
  FaceSet *second = hexFaces(hex, 5, {0, 1, 2});
  FaceMesh_addFaceSet(source, first);
  FaceMesh_addFaceSet(source, second);
  EXPECT_EQ(FaceSet_getFaceMesh(first), source);
  const std::string firstKey = keyOf(first);
  const int32_t listed[] = {4, 0, 1};
  EXPECT_EQ(FaceMesh_move(source, target, 3, listed), 1);
  EXPECT_EQ(FaceMesh_getNoOfFaceSets(source), 1);
  EXPECT_EQ(FaceMesh_getNoOfFaces(source), 2);
  EXPECT_EQ(FaceMesh_getNoOfFaces(target), 3);
  EXPECT_EQ(find(firstKey), nullptr);
  FaceSet **targetSets = nullptr;
  ASSERT_EQ(FaceMesh_getFaceSets(target, &targetSets), 1);
  FaceSet_getFaces(targetSets[0], 0, nullptr, 0, &n, &elements, &faces);
  EXPECT_EQ(std::vector<int32_t>(faces, faces + n), (std::vector<int32_t>{0, 0, 5}));
  EXPECT_EQ(std::vector<int32_t>(elements, elements + n), (std::vector<int32_t>{0, 1, 2}));
  zyrMemory_free(elements, "test");
  zyrMemory_free(faces, "test");
  zyrMemory_free(targetSets, "test");
  const int32_t outside[] = {2};
  EXPECT_EQ(FaceMesh_move(source, target, 1, outside), 0);
}

// Local numbers are the order of first appearance whether the element mesh's vertex numbers are
// close together or spread far wider than the faces (marks in an array or a hash table).
TEST_F(MeshTest, LocalNumbersAreTheOrderOfFirstAppearanceHoweverWideTheVertexNumbers) {
  std::mt19937 random(7);
  const int32_t nv = 200000;
  std::vector<double> xyz(3 * static_cast<size_t>(nv), 0.0);
  ElementMesh *mesh = ElementMesh_new(nullptr);
  ElementMesh_setVertices(mesh, Vertices_new(3, "m", 2, nv, trackedDoubles(xyz)));
  for (const int32_t cells : {20, 2000, 60000}) {
    // Hexahedra of distinct random vertices drawn from a few spots of the whole range.
    std::vector<int32_t> hex;
    for (int32_t c = 0; c < cells; ++c) {
      const int32_t base = static_cast<int32_t>(random() % (nv - 64));
      for (int32_t k = 0; k < 8; ++k)
        hex.push_back(base + 8 * k + static_cast<int32_t>(random() % 8));
    }
    ElementSet *set = ElementSet_new(7, 0, static_cast<int32_t>(hex.size()), trackedInts(hex));
    ElementMesh_addElementSet(mesh, set);
    std::vector<int32_t> elements, faces;
    for (int32_t c = 0; c < cells; ++c) {
      elements.push_back(c);
      faces.push_back(static_cast<int32_t>(random() % 6));
    }
    FaceMesh *fm = FaceMesh_new(nullptr, mesh);
    FaceMesh_addFaceSet(fm, FaceSet_new(set, 0, cells, trackedInts(elements), trackedInts(faces)));
    int32_t nside = 0, mixed = 0;
    const std::vector<int32_t> rows = faceMeshRows(fm, 0, &nside, &mixed);
    std::map<int32_t, int32_t> local;
    std::vector<int32_t> order, expected;
    for (const int32_t v : rows) {
      const auto found = local.emplace(v, static_cast<int32_t>(order.size()));
      if (found.second)
        order.push_back(v);
      expected.push_back(found.first->second);
    }
    EXPECT_EQ(faceMeshRows(fm, 1, &nside, &mixed), expected) << cells;
    int32_t *list = nullptr;
    const int32_t n = FaceMesh_getElementMeshVertices(fm, 0, 1, &list);
    EXPECT_EQ(std::vector<int32_t>(list, list + n), order) << cells;
    zyrMemory_free(list, "test");
  }
}

TEST_F(MeshTest, LocalNumberingTrianglesFirstAndSplitVertices) {
  Block block{2, 1, 1, 1.0, {0, 0, 0}};
  ElementMesh *mesh = ElementMesh_new(nullptr);
  ElementMesh_setVertices(mesh, Vertices_new(3, "m", 2, block.noOfVertices(), trackedDoubles(block.coordinates())));
  ElementSet *prisms = ElementSet_new(6, 0, 24, trackedInts(block.prisms()));
  ElementMesh_addElementSet(mesh, prisms);
  FaceMesh *fm = FaceMesh_new(nullptr, mesh);
  // [quadrilateral, triangle]: the side of prism 1 (x = 0), then the top of prism 2.
  FaceSet *set = FaceSet_new(prisms, 0, 2, trackedInts({1, 2}), trackedInts({2, 4}));
  FaceMesh_addFaceSet(fm, set);
  int32_t nside = 0;
  int32_t mixed = 0;
  EXPECT_EQ(faceMeshRows(fm, 0, &nside, &mixed), (std::vector<int32_t>{3, 0, 6, 9, 7, 8, 11, -1}));
  EXPECT_EQ(mixed, 1);
  // Local numbers by first appearance.
  EXPECT_EQ(faceMeshRows(fm, 1, &nside, &mixed), (std::vector<int32_t>{0, 1, 2, 3, 4, 5, 6, -1}));
  int32_t *list = nullptr;
  ASSERT_EQ(FaceMesh_getVertices(fm, 0, nullptr, &list), 7);
  EXPECT_EQ(std::vector<int32_t>(list, list + 7), (std::vector<int32_t>{3, 0, 6, 9, 7, 8, 11}));
  zyrMemory_freeAndClear(&list, "test");
  int32_t *rank = nullptr;
  ASSERT_EQ(FaceMesh_getVertexRenumbering(fm, 0, &rank), 1);
  EXPECT_EQ(std::vector<int32_t>(rank, rank + 7), (std::vector<int32_t>{1, 0, 2, 4, 5, 3, 6}));
  zyrMemory_freeAndClear(&rank, "test");

  int32_t *faces = nullptr;
  int32_t tris = 0;
  int32_t quads = 0;
  ASSERT_EQ(FaceMesh_getTrisAndQuads(fm, 0, 1, nullptr, &faces, &tris, &quads), 2);
  EXPECT_EQ(tris, 1);
  EXPECT_EQ(quads, 1);
  EXPECT_EQ(std::vector<int32_t>(faces, faces + 7), (std::vector<int32_t>{4, 5, 6, 0, 1, 2, 3}));
  zyrMemory_freeAndClear(&faces, "test");

  // Reversed faces of a reflected mesh keep the local numbers of the unreversed lists.
  zyrAffineTransform3D *mirror = zyrAffineTransform3D_new();
  const double normal[3] = {0.0, 1.0, 0.0};
  zyrAffineTransform3D_simpleReflect(mirror, normal);
  ElementMesh_transform(mesh, mirror);
  FaceMesh_transform(fm);
  EXPECT_EQ(faceMeshRows(fm, 1, &nside, &mixed), (std::vector<int32_t>{0, 3, 2, 1, 4, 6, 5, -1}));
  ElementMesh_transform(mesh, mirror);
  FaceMesh_transform(fm);
  zyrAffineTransform3D_delete(mirror);

  // Split vertices count apart and map back to their sources.
  EXPECT_EQ(FaceMesh_getNoOfVertices(fm, 1), 7);
  int32_t *sources = zyrMemory_allocateArray<int32_t>(1, "test");
  sources[0] = 9;
  Vertices_split(ElementMesh_getVertices(mesh), 1, sources);
  const int32_t split = block.noOfVertices();
  std::vector<int32_t> changed = block.prisms();
  std::replace(changed.begin(), changed.end(), 9, split);
  ElementSet_modifyElementTopology(prisms, 6, 0, 24, trackedInts(changed));
  FaceMesh_sharedVerticesSplit(fm);
  EXPECT_EQ(FaceMesh_getNoOfVertices(fm, 0), 7);
  EXPECT_EQ(FaceMesh_getNoOfVertices(fm, 1), 7);
  EXPECT_EQ(faceMeshRows(fm, 0, &nside, &mixed)[3], 9);
}

TEST_F(MeshTest, FaceMeshGeometry) {
  // One unit-square quadrilateral: every edge is on the boundary, every scale is 1.
  Block block{1, 1, 1, 1.0, {0, 0, 0}};
  ElementSet *hex = nullptr;
  ElementMesh *mesh = hexMesh(block, &hex);
  FaceMesh *square = FaceMesh_new(nullptr, mesh);
  FaceMesh_addFaceSet(square, hexFaces(hex, 5, {0}));
  double *scale = nullptr;
  ASSERT_EQ(FaceMesh_getLocalLengthScale(square, &scale), 4);
  for (int i = 0; i < 4; ++i)
    EXPECT_DOUBLE_EQ(scale[i], 1.0);
  zyrMemory_free(scale, "test");

  // Two bottom quadrilaterals (faces turn downwards): the shared edge once, upwards-running face
  // first; a boundary edge running down its face comes out (larger, smaller) with -2.
  Block strip{2, 1, 1, 1.0, {0, 0, 0}};
  ElementSet *two = nullptr;
  ElementMesh *stripMesh = hexMesh(strip, &two);
  FaceMesh *fm = FaceMesh_new(nullptr, stripMesh);
  FaceMesh_addFaceSet(fm, hexFaces(two, 0, {0, 1}));
  int32_t *edges = nullptr;
  int32_t *sides = nullptr;
  int32_t internal = 0;
  int32_t boundary = 0;
  // Local vertices: face 0 = (0 3 4 1) -> 0 1 2 3, face 1 = (1 4 5 2) -> 3 2 4 5.
  ASSERT_EQ(FaceMesh_getEdges(fm, 0, 1, nullptr, &edges, &sides, &internal, &boundary), 7);
  EXPECT_EQ(internal, 1);
  EXPECT_EQ(std::vector<int32_t>(edges, edges + 14), (std::vector<int32_t>{2, 3, 3, 0, 0, 1, 1, 2, 2, 4, 5, 3, 4, 5}));
  EXPECT_EQ(std::vector<int32_t>(sides, sides + 14),
            (std::vector<int32_t>{0, 1, 0, -2, 0, -1, 0, -1, 1, -1, 1, -2, 1, -1}));
  zyrMemory_free(edges, "test");
  zyrMemory_free(sides, "test");

  double c[3];
  double box[6];
  FaceMesh_getCentroid(fm, c);
  FaceMesh_getBoundingBox(fm, box);
  EXPECT_DOUBLE_EQ(c[0], 1.0);
  EXPECT_DOUBLE_EQ(c[1], 0.5);
  EXPECT_EQ(std::vector<double>(box, box + 6), (std::vector<double>{0, 0, 0, 2, 1, 0}));

  // Centroids 0.9 mm apart pass even for tiny meshes; beyond 1 % of the diagonal and 1 mm they fail.
  Block tiny{1, 1, 1, 1e-4, {0, 0, 0}};
  Block tinyShifted{1, 1, 1, 1e-4, {0.0009, 0, 0}};
  Block tinyFar{1, 1, 1, 1e-4, {0.0011, 0, 0}};
  FaceMesh *meshes[3];
  const Block *blocks[3] = {&tiny, &tinyShifted, &tinyFar};
  for (int b = 0; b < 3; ++b) {
    ElementSet *s = nullptr;
    meshes[b] = FaceMesh_new(nullptr, hexMesh(*blocks[b], &s));
    FaceMesh_addFaceSet(meshes[b], hexFaces(s, 0, {0}));
  }
  EXPECT_EQ(FaceMesh_centroidsMatch(meshes[0], meshes[1], nullptr, 0.01, 1e-6), 1);
  EXPECT_EQ(FaceMesh_centroidsMatch(meshes[0], meshes[2], nullptr, 0.01, 1e-6), 0);
  zyrAffineTransform3D *back = zyrAffineTransform3D_new();
  const double d[3] = {0.0011, 0, 0};
  zyrAffineTransform3D_translate(back, d, "m");
  EXPECT_EQ(FaceMesh_centroidsMatch(meshes[0], meshes[2], back, 0.01, 1e-6), 1);
  zyrAffineTransform3D_delete(back);
}

// On an irregular mixed surface the length scale is, to the last bit, each vertex's edge lengths
// added in the order of the edge lists; the centroid and box that matching fills in are those
// that a calculation of its own gives.
TEST_F(MeshTest, LengthScaleAndBoxAsTheEdgeListsAndCoordinatesGiveThem) {
  Block block{6, 5, 1, 0.1, {0, 0, 0}};
  std::vector<double> xyz = block.coordinates();
  std::mt19937 random(17);
  std::uniform_real_distribution<double> jitter(-0.03, 0.03);
  for (double &c : xyz)
    c += jitter(random);
  FaceMesh *sides[2];
  for (int s = 0; s < 2; ++s) {
    ElementMesh *mesh = ElementMesh_new(nullptr);
    ElementMesh_setVertices(mesh, Vertices_new(3, "m", 2, block.noOfVertices(), trackedDoubles(xyz)));
    const std::vector<int32_t> prisms = block.prisms();
    ElementSet *set = ElementSet_new(6, 0, static_cast<int32_t>(prisms.size()), trackedInts(prisms));
    ElementMesh_addElementSet(mesh, set);
    // Bottom triangles and the quadrilateral sides of the row j = 0.
    std::vector<int32_t> elements, faces;
    for (int32_t p = 0; p < 60; ++p)
      elements.push_back(p), faces.push_back(3);
    for (int32_t i = 0; i < 6; ++i)
      elements.push_back(2 * i), faces.push_back(0);
    if (s == 1) {
      std::reverse(elements.begin(), elements.end());
      std::reverse(faces.begin(), faces.end());
    }
    sides[s] = FaceMesh_new(nullptr, mesh);
    FaceMesh_addFaceSet(sides[s], FaceSet_new(set, 0, 66, trackedInts(elements), trackedInts(faces)));
  }
  int32_t *edges = nullptr;
  int32_t *edgeFaces = nullptr;
  int32_t internal = 0;
  int32_t boundary = 0;
  const int32_t ne = FaceMesh_getEdges(sides[0], 0, 1, nullptr, &edges, &edgeFaces, &internal, &boundary);
  double *coordinates = nullptr;
  const int32_t n = FaceMesh_getVertexCoordinates(sides[0], 0, "m", &coordinates);
  std::vector<double> sum(static_cast<size_t>(n), 0.0);
  std::vector<int32_t> count(static_cast<size_t>(n), 0);
  for (int32_t e = 0; e < ne; ++e) {
    const int32_t a = edges[2 * e], b = edges[2 * e + 1];
    double d2 = 0.0;
    for (int k = 0; k < 3; ++k) {
      const double d = coordinates[3 * a + k] - coordinates[3 * b + k];
      d2 += d * d;
    }
    sum[static_cast<size_t>(a)] += std::sqrt(d2);
    sum[static_cast<size_t>(b)] += std::sqrt(d2);
    ++count[static_cast<size_t>(a)], ++count[static_cast<size_t>(b)];
  }
  for (int32_t i = 0; i < n; ++i)
    sum[static_cast<size_t>(i)] /= count[static_cast<size_t>(i)];
  double *scale = nullptr;
  ASSERT_EQ(FaceMesh_getLocalLengthScale(sides[0], &scale), n);
  EXPECT_EQ(std::memcmp(scale, sum.data(), sizeof(double) * static_cast<size_t>(n)), 0);
  zyrMemory_free(scale, "test");
  zyrMemory_free(edges, "test");
  zyrMemory_free(edgeFaces, "test");

  int32_t *perm = nullptr;
  int32_t *faceMap = nullptr;
  ASSERT_EQ(FaceMesh_match(sides[0], sides[1], nullptr, 0.005, 0, &perm, &faceMap), 1);
  zyrMemory_free(perm, "test");
  zyrMemory_free(faceMap, "test");
  for (FaceMesh *fm : sides) {
    double centroid[3], box[6];
    FaceMesh_getCentroid(fm, centroid);
    FaceMesh_getBoundingBox(fm, box);
    FaceMesh_calculateCentroid(fm);
    FaceMesh_calculateBoundingBox(fm);
    double again[3], boxAgain[6];
    FaceMesh_getCentroid(fm, again);
    FaceMesh_getBoundingBox(fm, boxAgain);
    EXPECT_EQ(std::memcmp(centroid, again, sizeof centroid), 0);
    EXPECT_EQ(std::memcmp(box, boxAgain, sizeof box), 0);
  }
  zyrMemory_free(coordinates, "test");
}

// The bottom of one block meshed by each element type: the same surface, and meshes of the same
// faces match across element types.
TEST_F(MeshTest, EveryElementTypeOfTheBlockGivesTheSameBottom) {
  Block block{3, 2, 2, 0.5, {1, 2, 3}};
  std::vector<double> xyz = block.coordinates();
  const std::vector<int32_t> pyramids = block.pyramids(xyz);
  struct Kind {
    int32_t m_type;
    std::vector<int32_t> m_list;
    int32_t m_face;     // native face lying on the bottom
    int32_t m_perCell;  // elements per cell
    std::vector<int32_t> m_which; // elements of a cell with a bottom face
  };
  const std::vector<Kind> kinds = {{7, block.hexahedra(), 0, 1, {0}},
                                   {4, block.tetrahedra(), 0, 6, {0, 1}},
                                   {6, block.prisms(), 3, 2, {0, 1}},
                                   {5, pyramids, 0, 6, {0}}};
  FaceMesh *bottoms[4];
  for (size_t k = 0; k < kinds.size(); ++k) {
    ElementMesh *mesh = ElementMesh_new(nullptr);
    ElementMesh_setVertices(mesh, Vertices_new(3, "m", 2, static_cast<int32_t>(xyz.size() / 3), trackedDoubles(xyz)));
    const Kind &kind = kinds[k];
    ElementSet *set = ElementSet_new(kind.m_type, 0, static_cast<int32_t>(kind.m_list.size()), trackedInts(kind.m_list));
    ASSERT_NE(set, nullptr);
    ElementMesh_addElementSet(mesh, set);
    EXPECT_EQ(ElementSet_getNoOfElements(set), 12 * kind.m_perCell);
    std::vector<int32_t> elements;
    for (int32_t c : bottomCells(block))
      for (int32_t w : kind.m_which)
        elements.push_back(c * kind.m_perCell + w);
    bottoms[k] = FaceMesh_new(nullptr, mesh);
    FaceMesh_addFaceSet(bottoms[k], FaceSet_new(set, 0, static_cast<int32_t>(elements.size()), trackedInts(elements),
                                                trackedInts(std::vector<int32_t>(elements.size(), kind.m_face))));
    EXPECT_EQ(FaceMesh_getNoOfVertices(bottoms[k], 0), 12);
    double box[6];
    FaceMesh_getBoundingBox(bottoms[k], box);
    EXPECT_EQ(std::vector<double>(box, box + 6), (std::vector<double>{1, 2, 3, 2.5, 3, 3}));
    // Every face of the bottom turns outwards (downwards): its normal has a negative z.
    int32_t *rows = nullptr;
    int32_t nside = 0, mixed = 0, sentinel = 0;
    const int32_t n = FaceMesh_getFaceVertices(bottoms[k], 0, 0, 0, nullptr, 0, &rows, &nside, &mixed, &sentinel);
    for (int32_t f = 0; f < n; ++f) {
      const double *a = &xyz[3 * static_cast<size_t>(rows[f * nside])];
      const double *b = &xyz[3 * static_cast<size_t>(rows[f * nside + 1])];
      const double *c = &xyz[3 * static_cast<size_t>(rows[f * nside + 2])];
      EXPECT_LT((b[0] - a[0]) * (c[1] - a[1]) - (b[1] - a[1]) * (c[0] - a[0]), 0) << k << " " << f;
    }
    zyrMemory_free(rows, "test");
  }
  // Hexahedra and pyramids give the same quadrilaterals, tetrahedra and prisms the same triangles.
  for (const auto &pair : {std::make_pair(0, 3), std::make_pair(1, 2)}) {
    int32_t *perm = nullptr;
    int32_t *faceMap = nullptr;
    EXPECT_EQ(FaceMesh_match(bottoms[pair.first], bottoms[pair.second], nullptr, 0.005, 0, &perm, &faceMap), 1);
    zyrMemory_free(perm, "test");
    zyrMemory_free(faceMap, "test");
  }
  int32_t *perm = nullptr;
  int32_t *faceMap = nullptr;
  EXPECT_EQ(FaceMesh_match(bottoms[0], bottoms[1], nullptr, 0.005, 0, &perm, &faceMap), 0);
}

TEST_F(MeshTest, FaceMeshesSurviveCommitUndoAndReopen) {
  Block block{3, 1, 1, 1.0, {0, 0, 0}};
  ElementSet *hex = nullptr;
  ElementMesh *mesh = hexMesh(block, &hex);
  FaceMesh *fm = FaceMesh_new(Region_new(nullptr, nullptr, "Wall", 2), mesh);
  FaceMesh *other = FaceMesh_new(nullptr, mesh);
  FaceSet *set = hexFaces(hex, 0, {0, 1, 2});
  FaceMesh_addFaceSet(fm, set);
  const std::string key = keyOf(fm);
  const std::string otherKey = keyOf(other);
  const std::string setKey = keyOf(set);
  const int32_t s1 = Repository_commit(m_repository);
  const int32_t moved[] = {1};
  FaceMesh_move(fm, other, 1, moved);
  const int32_t s2 = Repository_commit(m_repository);
  EXPECT_EQ(FaceMesh_getNoOfFaces(fm), 2);

  Repository_gotoState(m_repository, s1);
  fm = static_cast<FaceMesh *>(find(key));
  other = static_cast<FaceMesh *>(find(otherKey));
  ASSERT_NE(fm, nullptr);
  EXPECT_EQ(FaceMesh_getNoOfFaces(fm), 3);
  EXPECT_EQ(FaceMesh_getNoOfFaceSets(other), 0);
  Repository_gotoState(m_repository, s2);
  fm = static_cast<FaceMesh *>(find(key));
  other = static_cast<FaceMesh *>(find(otherKey));
  EXPECT_EQ(FaceMesh_getNoOfFaces(fm), 2);
  EXPECT_EQ(FaceMesh_getNoOfFaces(other), 1);
  Repository_gotoState(m_repository, s1);
  fm = static_cast<FaceMesh *>(find(key));

  reopen();
  fm = static_cast<FaceMesh *>(find(key));
  ASSERT_NE(fm, nullptr);
  EXPECT_EQ(FaceMesh_getNoOfFaces(fm), 3);
  EXPECT_EQ(FaceMesh_getNoOfVertices(fm, 0), 8);
  ASSERT_NE(FaceMesh_getRegion(fm), nullptr);
  EXPECT_STREQ(Region_getName(FaceMesh_getRegion(fm)), "Wall");
  EXPECT_EQ(FaceSet_getFaceMesh(static_cast<FaceSet *>(find(setKey))), fm);
  int32_t nside = 0;
  int32_t mixed = 0;
  EXPECT_EQ(faceMeshRows(fm, 0, &nside, &mixed).size(), 12u);
  EXPECT_EQ(errorCount(), 0);

  // Stored faces that the element set does not have are reported and read as none.
  set = static_cast<FaceSet *>(find(setKey));
  zyrObject_setInts(set->m_krffc, "data", std::vector<int32_t>{0, 9, 0}.data(), 3);
  reopen();
  set = static_cast<FaceSet *>(find(setKey));
  EXPECT_EQ(FaceSet_getNoOfFaces(set), 0);
  EXPECT_EQ(lastError(), std::make_pair(20006, "The stored face set " + setKey + " is inconsistent.\n"));
}

} // namespace

namespace {

std::string printed(void (*print)(const void *, FILE *), const void *object) {
  char *text = nullptr;
  size_t size = 0;
  FILE *stream = open_memstream(&text, &size);
  print(object, stream);
  std::fclose(stream);
  std::string result(text);
  free(text);
  return result;
}

TEST_F(MeshTest, PrintedRecords) {
  Block block{2, 1, 1, 1.0, {0, 0, 0}};
  ElementSet *set = nullptr;
  ElementMesh *mesh = hexMesh(block, &set);
  FaceSet *faces = hexFaces(set, 0, {0, 1});
  FaceMesh *fm = FaceMesh_new(nullptr, mesh);
  FaceMesh_addFaceSet(fm, faces);
  const std::string rule(46, '=');
  auto frame = [&rule](const std::string &title) { return "\n" + rule + "\n" + title + "\n" + rule + "\n\n"; };
  EXPECT_EQ(printed([](const void *o, FILE *s) { ElementSet_print(static_cast<const ElementSet *>(o), s); }, set),
            frame("ElementSet: " + keyOf(set)) + "ElementMesh        = " + keyOf(mesh) +
                "\nType of element    = ZYR_ELEMENT_HEXA_8\nNumber of elements = 2\n");
  EXPECT_EQ(printed([](const void *o, FILE *s) { ElementMesh_print(static_cast<const ElementMesh *>(o), s); }, mesh),
            frame("ElementMesh: " + keyOf(mesh)) +
                "Number of elements     = 2\nNumber of vertices     = 12\nRegion                 = \"\"\n"
                "Number of element sets = 1\n\nElement set              Type of element           No. of elements\n" +
                keyOf(set) + "   ZYR_ELEMENT_HEXA_8                      2\n\nVertices: " +
                keyOf(ElementMesh_getVertices(mesh)) + "\n");
  EXPECT_EQ(printed([](const void *o, FILE *s) { FaceSet_print(static_cast<const FaceSet *>(o), s); }, faces),
            frame("FaceSet: " + keyOf(faces)) + "FaceMesh               = " + keyOf(fm) +
                "\nElementSet             = " + keyOf(set) +
                "\nNumber of faces        = 2\nNo. of vertices / face = [4, 4]\n");
  EXPECT_EQ(printed([](const void *o, FILE *s) { FaceMesh_print(static_cast<const FaceMesh *>(o), s); }, fm),
            frame("FaceMesh: " + keyOf(fm)) + "ElementMesh            = " + keyOf(mesh) +
                "\nNumber of faces        = 2\nNumber of vertices     = 6 (6)\nRegion                 = \"\"\n"
                "No. of vertices / face = [4, 4]\nNumber of face sets    = 1\n\n"
                "Face set                 Element set               No. of faces\n" +
                keyOf(faces) + "   " + keyOf(set) + "               2 [4, 4]\n");
}

} // namespace
