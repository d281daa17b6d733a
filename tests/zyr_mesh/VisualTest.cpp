#include "Visual.h"

#include "DisplayTestSupport.h"
#include "ElementMesh.h"
#include "ElementSet.h"
#include "FaceMesh.h"
#include "FaceSet.h"
#include "Region.h"
#include "Topology.h"
#include "Vertices.h"
#include "zyrAffineTransform3D.h"
#include "zyrBlob.h"
#include "zyrMemory.h"
#include "zyrObject.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

using VisualTest = DisplayTest;

// p0..p2 span the z = 0 plane; p3 stands above the edge p0 p1, p4 lies in the plane beyond it,
// p5 below it, p6 on its line.
const std::vector<double> kHinge = {0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, -1, 0, 0, 0, -1, 2, 0, 0};

// A 2 x 2 grid of unit quadrilaterals in z = 0; vertex i + 3j at (i, j, 0).
std::vector<double> grid3() {
  std::vector<double> xyz;
  for (int j = 0; j < 3; ++j)
    for (int i = 0; i < 3; ++i)
      xyz.insert(xyz.end(), {double(i), double(j), 0.0});
  return xyz;
}
const std::vector<int32_t> kGridQuads = {0, 1, 4, 3, 1, 2, 5, 4, 3, 4, 7, 6, 4, 5, 8, 7};

const std::vector<double> kSquare = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};

std::vector<int32_t> shownEdges(Visual *v, double angle) { return wireframeOf(v, angle).edges; }

TEST_F(VisualTest, FeatureEdgesFollowTheAngleBetweenTheirFaces) {
  // At 90 degrees: the shared edge (0, 1) first, then the boundary edges chain by chain.
  Visual *square = storedVisual(nullptr, kHinge, {0, 1, 2, 1, 0, 3}, {});
  ASSERT_EQ(Visual_calculateWireframe(square), 1);
  EXPECT_EQ(square->p_noOfInteriorEdges, 1);
  EXPECT_EQ(square->p_noOfBoundaryEdges, 4);
  EXPECT_NEAR(square->m_featureValues[0], 0.0, 1e-7);
  const std::vector<int32_t> all = {0, 1, 0, 3, 0, 2, 1, 3, 1, 2};
  const std::vector<int32_t> boundary = {0, 3, 0, 2, 1, 3, 1, 2};
  EXPECT_EQ(shownEdges(square, 45), all);
  EXPECT_EQ(shownEdges(square, 135), boundary);
  EXPECT_EQ(shownEdges(square, 0), all);
  EXPECT_EQ(shownEdges(square, 180), boundary);
  EXPECT_EQ(shownEdges(square, 270), boundary);

  // Coplanar, same orientation: value 1, shown only for A = 0.
  Visual *flat = storedVisual(nullptr, kHinge, {0, 1, 2, 1, 0, 4}, {});
  EXPECT_EQ(shownEdges(flat, 0).size(), 10u);
  EXPECT_EQ(shownEdges(flat, 1).size(), 8u);

  // Three faces on one edge: one interior edge of value -1, shown below 180 degrees.
  Visual *fan = storedVisual(nullptr, kHinge, {0, 1, 2, 1, 0, 3, 0, 1, 5}, {});
  Visual_calculateWireframe(fan);
  EXPECT_EQ(fan->p_noOfInteriorEdges, 1);
  EXPECT_EQ(fan->p_noOfBoundaryEdges, 6);
  EXPECT_EQ(fan->m_featureValues[0], -1.0f);
  EXPECT_EQ(shownEdges(fan, 179).size(), 14u);
  EXPECT_EQ(shownEdges(fan, 180).size(), 12u);

  // A face without area gives its shared edge -1; a repeated vertex makes no edge.
  Visual *degenerate = storedVisual(nullptr, kHinge, {0, 1, 2, 1, 0, 6, 2, 2, 0}, {});
  Visual_calculateWireframe(degenerate);
  EXPECT_EQ(degenerate->m_featureValues[0], -1.0f);
  EXPECT_EQ(degenerate->p_noOfInteriorEdges, 2); // (0, 1) and (0, 2)
}

TEST_F(VisualTest, WireframeKeepsOnlyTheVerticesOfShownEdges) {
  Visual *v = storedVisual(nullptr, grid3(), {}, kGridQuads);
  const Wireframe flat = wireframeOf(v, 10);
  ASSERT_EQ(flat.status, 1);
  // The centre vertex 4 carries only hidden edges: the ones above it move down by one.
  EXPECT_EQ(flat.xyz, (std::vector<float>{0, 0, 0, 1, 0, 0, 2, 0, 0, 0, 1, 0, 2, 1, 0, 0, 2, 0, 1, 2, 0, 2, 2, 0}));
  EXPECT_EQ(flat.edges, (std::vector<int32_t>{0, 3, 0, 1, 1, 2, 2, 4, 3, 5, 4, 7, 5, 6, 6, 7}));
  const Wireframe all = wireframeOf(v, 0, "mm");
  EXPECT_EQ(all.xyz.size(), 27u);
  EXPECT_EQ(all.xyz[3 * 8], 2000.0f);
  EXPECT_EQ(all.edges.size(), 24u);
  // A unit that converts no length fails with no arrays.
  const Wireframe angle = wireframeOf(v, 10, "deg");
  EXPECT_EQ(angle.status, 0);
  EXPECT_TRUE(angle.xyz.empty() && angle.edges.empty());
}

TEST_F(VisualTest, DualNetJoinsFaceCentresToEdgeMidpoints) {
  Visual *one = storedVisual(nullptr, kHinge, {0, 1, 2}, {});
  const Wireframe single = wireframeOf(one, -1);
  EXPECT_EQ(single.status, 1);
  const float third = (0.0f + 1.0f + 0.0f) / 3.0f;
  EXPECT_EQ(single.xyz, (std::vector<float>{0.5f, 0, 0, 0.5f, 0.5f, 0, 0, 0.5f, 0, third, third, 0}));
  EXPECT_EQ(single.edges, (std::vector<int32_t>{0, 3, 1, 3, 2, 3}));

  Visual *two = storedVisual(nullptr, kHinge, {0, 1, 2, 1, 0, 3}, {});
  const Wireframe pair = wireframeOf(two, -1);
  EXPECT_EQ(pair.xyz.size(), 3u * 7);
  // The second face reuses the midpoint of the shared edge.
  EXPECT_EQ(pair.edges, (std::vector<int32_t>{0, 3, 1, 3, 2, 3, 0, 6, 4, 6, 5, 6}));

  Visual *quads = storedVisual(nullptr, grid3(), {}, kGridQuads);
  const Wireframe net = wireframeOf(quads, -5);
  EXPECT_EQ(net.xyz.size(), 3u * 16); // 12 edges and 4 centres
  EXPECT_EQ(net.edges.size(), 2u * 16);

  Visual *empty = storedVisual(nullptr, {}, {}, {});
  const Wireframe none = wireframeOf(empty, -1);
  EXPECT_TRUE(none.xyz.empty() && none.edges.empty());
}

TEST_F(VisualTest, FacettedDisplayTurnsOverUnderAReflection) {
  std::vector<double> xyz = kSquare;
  xyz.insert(xyz.end(), {2, 0, 0, 3, 0, 0, 3, 1, 0});
  Visual *v = storedVisual(nullptr, xyz, {4, 5, 6}, {0, 1, 2, 3});
  Facetted f = facettedOf(v, "mm");
  EXPECT_EQ(f.status, 1);
  EXPECT_EQ(f.triangles, 1);
  EXPECT_EQ(f.quadrilaterals, 1);
  EXPECT_EQ(f.faces, (std::vector<int32_t>{4, 5, 6, 0, 1, 2, 3}));
  EXPECT_EQ(f.xyz[3 * 6 + 1], 1000.0f);

  zyrAffineTransform3D *mirror = reflection(2);
  Visual_transform(v, mirror);
  EXPECT_EQ(facettedOf(v).faces, (std::vector<int32_t>{4, 6, 5, 0, 3, 2, 1}));
  double n[3];
  Visual_getNormal(v, n);
  EXPECT_EQ(std::vector<double>(n, n + 3), (std::vector<double>{0, 0, -1})); // turned over like its faces
  Visual_transform(v, mirror);
  EXPECT_EQ(facettedOf(v).faces, (std::vector<int32_t>{4, 5, 6, 0, 1, 2, 3}));
  zyrAffineTransform3D_delete(mirror);

  EXPECT_EQ(facettedOf(v, "degree").status, 0);
  Facetted empty = facettedOf(storedVisual(nullptr, {}, {}, {}));
  EXPECT_EQ(empty.status, 1);
  EXPECT_TRUE(empty.xyz.empty() && empty.faces.empty());
}

TEST_F(VisualTest, AreaCentroidsAndNormal) {
  Topology *topology = Topology_new();
  Region *region = Region_new(topology, nullptr, "wall", 2);
  Visual *v = storedVisual(region, kSquare, {}, {0, 1, 2, 3});
  double area = 0;
  EXPECT_EQ(Visual_getArea(v, "mm", &area), 1);
  EXPECT_DOUBLE_EQ(area, 1e6);
  EXPECT_EQ(Visual_getArea(v, nullptr, &area), 1);
  EXPECT_DOUBLE_EQ(area, 1.0);
  EXPECT_EQ(Visual_getArea(v, "deg", &area), 0);
  double c[3];
  EXPECT_EQ(Visual_getCentroid(v, "mm", 10, c), 1);
  EXPECT_EQ(std::vector<double>(c, c + 3), (std::vector<double>{500, 500, 0}));
  EXPECT_EQ(Visual_getCentroid(v, nullptr, 11, c), 1);
  EXPECT_EQ(std::vector<double>(c, c + 3), (std::vector<double>{0, 0, 0})); // the first of four equally near
  EXPECT_EQ(Visual_getCentroid(v, nullptr, 0, c), 1);
  EXPECT_EQ(std::vector<double>(c, c + 3), (std::vector<double>{0.5, 0.5, 0}));
  double n[3];
  Visual_getNormal(v, n);
  EXPECT_EQ(std::vector<double>(n, n + 3), (std::vector<double>{0, 0, 1}));
  double box[6];
  EXPECT_EQ(Visual_getBoundingBox(v, "mm", box), 1);
  EXPECT_EQ(box[3], 1000.0);

  // A triangle off the middle: the weighted centroid snaps to a real vertex.
  Visual *t = storedVisual(region, {0, 0, 0, 3, 0, 0, 0, 3, 0, 10, 10, 10}, {0, 1, 2}, {});
  Visual_getCentroid(t, nullptr, 10, c);
  EXPECT_NEAR(c[0], 1.0, 1e-12);
  Visual_getCentroid(t, nullptr, 11, c);
  EXPECT_EQ(std::vector<double>(c, c + 3), (std::vector<double>{0, 0, 0}));

  // No area at all: an error, and zeros rather than a centroid of NaNs.
  zyrtest::ErrorCapture errors;
  Visual *line = storedVisual(region, {0, 0, 0, 1, 0, 0, 2, 0, 0}, {0, 1, 2}, {});
  EXPECT_EQ(Visual_getCentroid(line, nullptr, 10, c), 1);
  EXPECT_EQ(std::vector<double>(c, c + 3), (std::vector<double>{0, 0, 0}));
  EXPECT_EQ(Visual_getNormal(line, n), 1);
  EXPECT_EQ(std::vector<double>(n, n + 3), (std::vector<double>{0, 0, 0}));
  EXPECT_EQ(errors.take(),
            (std::vector<std::string>{"20006: Unable to calculate the area weighted centroid for the visual\n"
                                      "associated with region \"wall\".\n",
                                      "20006: Unable to calculate the normal for the visual associated\nwith region "
                                      "\"wall\".\n"}));
  // Both are cached: asking again raises nothing.
  Visual_getCentroid(line, nullptr, 11, c);
  Visual_getNormal(line, n);
  EXPECT_EQ(errors.count(), 0);
}

TEST_F(VisualTest, TransformsMoveOrDropTheCachedMeasures) {
  Visual *v = storedVisual(nullptr, kSquare, {}, {0, 1, 2, 3});
  double area = 0, c[3], n[3];
  Visual_getArea(v, nullptr, &area);
  Visual_getNormal(v, n);
  Visual_calculateWireframe(v);

  // A rotation keeps the area and moves centroid and normal with the surface.
  zyrAffineTransform3D *turn = quarterTurn(0);
  Visual_transform(v, turn);
  zyrAffineTransform3D_delete(turn);
  EXPECT_TRUE(BitField_isSet(&v->m_flags, VISUAL_AREA_VALID));
  Visual_getCentroid(v, nullptr, 10, c);
  EXPECT_NEAR(c[1], 0.0, 1e-12);
  EXPECT_NEAR(c[2], 0.5, 1e-12);
  Visual_getNormal(v, n);
  EXPECT_NEAR(n[1], -1.0, 1e-12);
  EXPECT_NEAR(n[2], 0.0, 1e-12);

  // Scaling drops them: the area is measured again on the scaled surface.
  zyrAffineTransform3D *twice = scaling(2.0);
  Visual_transform(v, twice);
  EXPECT_FALSE(BitField_isSet(&v->m_flags, VISUAL_AREA_VALID));
  Visual_getArea(v, nullptr, &area);
  EXPECT_NEAR(area, 4.0, 1e-12);
  Visual_getNormal(v, n);
  EXPECT_NEAR(n[1], -1.0, 1e-6);

  // A scaled copy shares the faces and has its own measures.
  Visual *copy = Visual_copy(v, nullptr, twice);
  zyrAffineTransform3D_delete(twice);
  EXPECT_EQ(copy->m_faceVertices, v->m_faceVertices);
  EXPECT_EQ(zyrBlob_getUseCount(v->m_faceVertices), 2);
  Visual_getArea(copy, nullptr, &area);
  EXPECT_NEAR(area, 16.0, 1e-9);
  Visual_getArea(v, nullptr, &area);
  EXPECT_NEAR(area, 4.0, 1e-12);
  // A translated copy keeps the wireframe and the measures, moved.
  zyrAffineTransform3D *shift = zyrAffineTransform3D_new();
  const double d[3] = {0, 0, 1000};
  zyrAffineTransform3D_translate(shift, d, "mm");
  Visual_getCentroid(v, nullptr, 10, c);
  Visual *moved = Visual_copy(v, nullptr, shift);
  zyrAffineTransform3D_delete(shift);
  EXPECT_EQ(moved->m_flags.m_flags, v->m_flags.m_flags);
  double cm[3];
  Visual_getCentroid(moved, nullptr, 10, cm);
  EXPECT_NEAR(cm[2], c[2] + 1.0, 1e-12);
  EXPECT_EQ(shownEdges(moved, 0), shownEdges(v, 0));
  Visual_delete(moved);
  Visual_delete(copy);
  EXPECT_EQ(zyrBlob_getUseCount(v->m_faceVertices), 1);
}

TEST_F(VisualTest, MadeFromAFaceMeshAndKeptThroughCommitReopenUndoAndRedo) {
  Topology *topology = Topology_new();
  Region *region = Region_new(topology, nullptr, "bottom", 2);
  Block block{2, 2, 1, 1.0, {0, 0, 0}};
  ElementSet *set = nullptr;
  ElementMesh *mesh = hexMesh(block, &set);
  FaceMesh *fm = FaceMesh_new(region, mesh);
  FaceMesh_addFaceSet(fm, hexFaces(set, 0, bottomCells(block)));
  Visual *v = Visual_newFromFaceMesh(region, fm);
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(Visual_getNoOfVertices(v), 9);
  EXPECT_EQ(v->m_noOfQuadrilaterals, 4);
  EXPECT_TRUE(BitField_isSet(&v->m_flags, VISUAL_EDGES_VALID));
  EXPECT_EQ(v->p_noOfInteriorEdges, 4);
  EXPECT_EQ(v->p_noOfBoundaryEdges, 8);
  EXPECT_EQ(Vertices_getPrecision(v->m_vertices), VERTICES_SINGLE);
  double area = 0, n[3];
  Visual_getArea(v, nullptr, &area);
  EXPECT_DOUBLE_EQ(area, 4.0);
  Visual_getNormal(v, n);
  EXPECT_EQ(n[2], -1.0); // the bottom faces look out of the block
  const Facetted before = facettedOf(v);
  const std::string key = keyOf(v);
  const std::string regionKey = keyOf(region);
  // Marked modified, the surface goes through its flush at the commit, which adds nothing to what
  // its setters stored (checked after the reopen below).
  EXPECT_EQ(zyrObject_setModified(v), 1);
  const int32_t s1 = Repository_commit(m_repository);

  // Undoing a move brings back the measures of the unmoved surface.
  zyrAffineTransform3D *turn = quarterTurn(0);
  Visual_transform(v, turn);
  zyrAffineTransform3D_delete(turn);
  Visual_getNormal(v, n);
  EXPECT_NEAR(n[1], 1.0, 1e-12);
  const int32_t s2 = Repository_commit(m_repository);
  Repository_gotoState(m_repository, s1);
  ASSERT_EQ(find(key), v);
  Visual_getNormal(v, n);
  EXPECT_EQ(std::vector<double>(n, n + 3), (std::vector<double>{0, 0, -1}));
  EXPECT_EQ(facettedOf(v).xyz, before.xyz);
  Repository_gotoState(m_repository, s2);
  Visual_getNormal(v, n);
  EXPECT_NEAR(n[1], 1.0, 1e-12);
  Repository_gotoState(m_repository, s1);

  reopen();
  v = static_cast<Visual *>(find(key));
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(Visual_getRegion(v), find(regionKey));
  const Facetted after = facettedOf(v);
  EXPECT_EQ(after.faces, before.faces);
  EXPECT_EQ(after.xyz, before.xyz);
  EXPECT_EQ(shownEdges(v, 0).size(), 24u);
  EXPECT_EQ(errorCount(), 0);
}

TEST_F(VisualTest, EmptyAndDamagedSurfaces) {
  Block block{1, 1, 1, 1.0, {0, 0, 0}};
  ElementMesh *mesh = hexMesh(block);
  FaceMesh *fm = FaceMesh_new(nullptr, mesh);
  Visual *empty = Visual_newFromFaceMesh(nullptr, fm);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(Visual_getNoOfVertices(empty), 0);
  EXPECT_EQ(wireframeOf(empty, 0).status, 0);
  double area = -1;
  EXPECT_EQ(Visual_getArea(empty, nullptr, &area), 1);
  EXPECT_EQ(area, 0.0);
  lastError();

  // Faces naming a vertex the surface does not have: the visual shows nothing.
  zyrtest::ErrorCapture errors;
  Visual *damaged = storedVisual(nullptr, kSquare, {0, 1, 7}, {});
  EXPECT_EQ(wireframeOf(damaged, 0).edges.size(), 0u);
  EXPECT_EQ(errors.take(),
            (std::vector<std::string>{"20006: The stored visual " + keyOf(damaged) + " is inconsistent.\n"}));
  EXPECT_EQ(facettedOf(damaged).faces.size(), 0u);
}

// The wireframe as its definition reads, kept plain: every edge keyed by its two vertices with its
// first two faces and its use count, then listed by lower vertex, the edge made last first;
// interior edges (two or more faces), then boundary edges; feature values from face normals.
struct ReferenceWireframe {
  std::vector<int32_t> edges;
  std::vector<float> values;
  int32_t interior = 0;
};

ReferenceWireframe referenceWireframe(int32_t nt, int32_t nq, const std::vector<int32_t> &faces,
                                      const std::vector<float> &xyz) {
  struct Use {
    int32_t made, first, second, count;
  };
  std::map<std::pair<int32_t, int32_t>, Use> uses;
  auto add = [&uses](int32_t a, int32_t b, int32_t f) {
    if (a == b)
      return;
    auto key = std::make_pair(std::min(a, b), std::max(a, b));
    auto found = uses.find(key);
    if (found == uses.end())
      uses[key] = {static_cast<int32_t>(uses.size()), f, -1, 1};
    else if (++found->second.count == 2)
      found->second.second = f;
  };
  auto face = [&](int32_t f) {
    return f < nt
               ? std::vector<int32_t>(faces.begin() + 3 * f, faces.begin() + 3 * f + 3)
               : std::vector<int32_t>(faces.begin() + 3 * nt + 4 * (f - nt), faces.begin() + 3 * nt + 4 * (f - nt) + 4);
  };
  for (int32_t f = 0; f < nt + nq; ++f) {
    const std::vector<int32_t> p = face(f);
    for (size_t k = 0; k < p.size(); ++k)
      add(p[k], p[(k + 1) % p.size()], f);
  }
  auto triangle = [&xyz](int32_t a, int32_t b, int32_t c, double n[3]) {
    double u[3], w[3];
    for (int k = 0; k < 3; ++k) {
      u[k] = static_cast<double>(xyz[3 * b + k]) - xyz[3 * a + k];
      w[k] = static_cast<double>(xyz[3 * c + k]) - xyz[3 * a + k];
    }
    n[0] = u[1] * w[2] - u[2] * w[1];
    n[1] = u[2] * w[0] - u[0] * w[2];
    n[2] = u[0] * w[1] - u[1] * w[0];
    const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    for (int k = 0; k < 3 && length != 0.0; ++k)
      n[k] /= length;
    return length != 0.0;
  };
  auto normal = [&](int32_t f, double n[3]) {
    const std::vector<int32_t> p = face(f);
    if (p.size() == 3)
      return triangle(p[0], p[1], p[2], n);
    double n1[3], n2[3];
    const bool has1 = triangle(p[0], p[1], p[2], n1), has2 = triangle(p[2], p[3], p[0], n2);
    for (int k = 0; k < 3; ++k)
      n[k] = has1 && has2 ? 0.5 * (n1[k] + n2[k]) : has1 ? n1[k] : n2[k];
    return has1 || has2;
  };
  // By lower vertex, and within one the edge made last first.
  std::vector<std::pair<std::pair<int32_t, int32_t>, Use>> order(uses.begin(), uses.end());
  std::sort(order.begin(), order.end(), [](const auto &a, const auto &b) {
    return a.first.first != b.first.first ? a.first.first < b.first.first : a.second.made > b.second.made;
  });
  ReferenceWireframe r;
  std::vector<int32_t> boundary;
  for (const auto &[key, use] : order) {
    if (use.count == 1) {
      boundary.insert(boundary.end(), {key.first, key.second});
      continue;
    }
    r.edges.insert(r.edges.end(), {key.first, key.second});
    double n1[3], n2[3];
    const bool formed = use.count == 2 && normal(use.first, n1) && normal(use.second, n2);
    r.values.push_back(formed ? static_cast<float>(n1[0] * n2[0] + n1[1] * n2[1] + n1[2] * n2[2]) : -1.0f);
    ++r.interior;
  }
  r.edges.insert(r.edges.end(), boundary.begin(), boundary.end());
  return r;
}

// Floats compared bit for bit.
std::vector<uint32_t> bitsOf(const float *values, size_t n) {
  std::vector<uint32_t> bits(n);
  for (size_t i = 0; i < n; ++i)
    std::memcpy(&bits[i], &values[i], 4);
  return bits;
}

// The visual's wireframe against the reference over its own faces and coordinates, value bits
// included.
void expectReferenceWireframe(Visual *v) {
  ASSERT_TRUE(BitField_isSet(&v->m_flags, VISUAL_EDGES_VALID));
  const Facetted surface = facettedOf(v);
  const ReferenceWireframe r =
      referenceWireframe(surface.triangles, surface.quadrilaterals, surface.faces, surface.xyz);
  EXPECT_EQ(v->p_noOfInteriorEdges, r.interior);
  EXPECT_EQ(v->p_noOfBoundaryEdges, static_cast<int32_t>(r.edges.size() / 2) - r.interior);
  const int32_t total = v->p_noOfInteriorEdges + v->p_noOfBoundaryEdges;
  EXPECT_EQ(std::vector<int32_t>(v->m_edges, v->m_edges + 2 * total), r.edges);
  EXPECT_EQ(bitsOf(v->m_featureValues, static_cast<size_t>(v->p_noOfInteriorEdges)),
            bitsOf(r.values.data(), r.values.size()));
}

TEST_F(VisualTest, WireframeIsTheEdgeListOfItsDefinition) {
  // Random surfaces over few vertices and coordinates of few values: repeated vertices, edges of
  // three or more faces, faces without area and coplanar neighbours all occur.
  std::mt19937 random(47);
  for (int round = 0; round < 60; ++round) {
    const int32_t nv = 3 + static_cast<int32_t>(random() % 30);
    const int32_t nt = static_cast<int32_t>(random() % 40), nq = static_cast<int32_t>(random() % 40);
    std::vector<double> xyz;
    for (int32_t i = 0; i < 3 * nv; ++i)
      xyz.push_back(static_cast<double>(random() % 3));
    std::vector<int32_t> triangles, quadrilaterals;
    for (int32_t i = 0; i < 3 * nt; ++i)
      triangles.push_back(static_cast<int32_t>(random() % nv));
    for (int32_t i = 0; i < 4 * nq; ++i)
      quadrilaterals.push_back(static_cast<int32_t>(random() % nv));
    Visual *v = storedVisual(nullptr, xyz, triangles, quadrilaterals);
    ASSERT_EQ(Visual_calculateWireframe(v), 1);
    expectReferenceWireframe(v);
  }

  // Made from face meshes: a flat grid large enough for its wireframe to be worked out beside the
  // store's writing, and random triangles and quadrilaterals of a block of prisms, too few for that.
  Block block{150, 120, 2, 0.5, {0, 0, 0}};
  ElementSet *hexahedra = nullptr;
  FaceMesh *grid = FaceMesh_new(nullptr, hexMesh(block, &hexahedra));
  FaceMesh_addFaceSet(grid, hexFaces(hexahedra, 0, bottomCells(block)));
  Visual *flat = Visual_newFromFaceMesh(nullptr, grid);
  ASSERT_NE(flat, nullptr);
  expectReferenceWireframe(flat);
  ElementMesh *mesh = ElementMesh_new(nullptr);
  ElementMesh_setVertices(mesh, Vertices_new(3, "m", 2, block.noOfVertices(), trackedDoubles(block.coordinates())));
  const std::vector<int32_t> prisms = block.prisms();
  ElementSet *set = ElementSet_new(6, 0, static_cast<int32_t>(prisms.size()), trackedInts(prisms));
  ElementMesh_addElementSet(mesh, set);
  std::vector<int32_t> elements, faces;
  for (int32_t i = 0; i < 2000; ++i) {
    elements.push_back(static_cast<int32_t>(random() % (prisms.size() / 6)));
    faces.push_back(static_cast<int32_t>(random() % 5));
  }
  FaceMesh *mixed = FaceMesh_new(nullptr, mesh);
  FaceMesh_addFaceSet(mixed, FaceSet_new(set, 0, 2000, trackedInts(elements), trackedInts(faces)));
  Visual *v = Visual_newFromFaceMesh(nullptr, mixed);
  ASSERT_NE(v, nullptr);
  EXPECT_GT(v->m_noOfTriangles, 0);
  EXPECT_GT(v->m_noOfQuadrilaterals, 0);
  expectReferenceWireframe(v);
  // Worked out again on the calling thread, it is the same.
  std::vector<int32_t> edges(v->m_edges, v->m_edges + 2 * (v->p_noOfInteriorEdges + v->p_noOfBoundaryEdges));
  std::vector<float> values(v->m_featureValues, v->m_featureValues + v->p_noOfInteriorEdges);
  ASSERT_EQ(Visual_calculateWireframe(v), 1);
  EXPECT_EQ(std::vector<int32_t>(v->m_edges, v->m_edges + edges.size()), edges);
  EXPECT_EQ(bitsOf(v->m_featureValues, values.size()), bitsOf(values.data(), values.size()));
  EXPECT_EQ(errorCount(), 0);
}

TEST_F(VisualTest, EdgeMapKeysEdgesByTheirLowerVertex) {
  EXPECT_EQ(EdgeMap_new(0), nullptr);
  EdgeMap *map = EdgeMap_new(4);
  int32_t index = 0;
  EXPECT_EQ(Edgemap_seenEdge(map, 2, 1, &index), 0);
  EXPECT_EQ(index, -1);
  EXPECT_EQ(Edgemap_saveEdge(map, 2, 1, 7), 1);
  EXPECT_EQ(Edgemap_seenEdge(map, 1, 2, &index), 1);
  EXPECT_EQ(index, 7);
  EXPECT_EQ(Edgemap_saveEdge(map, 1, 2, 7), 1);
  EXPECT_EQ(Edgemap_saveEdge(map, 1, 2, 8), 0);
  for (int32_t i = 0; i < 200; ++i) // the entries grow past their first block
    Edgemap_saveEdge(map, 0, 4 + i, i);
  EXPECT_EQ(Edgemap_seenEdge(map, 203, 0, &index), 1);
  EXPECT_EQ(index, 199);
  EdgeMap_delete(map);
}

} // namespace

namespace {

TEST_F(VisualTest, PrintListsTheSurfaceAndItsMeasures) {
  Topology *topology = Topology_new();
  Visual *v = storedVisual(Region_new(topology, nullptr, "lid", 2), kSquare, {}, {0, 1, 2, 3});
  char *text = nullptr;
  size_t size = 0;
  FILE *stream = open_memstream(&text, &size);
  Visual_print(v, stream);
  std::fclose(stream);
  const std::string rule(46, '=');
  EXPECT_EQ(std::string(text), "\n" + rule + "\nVisual: " + keyOf(v) + "\n" + rule + "\n\n" +
                                   "Triangles       = 0\n"
                                   "Quadrilaterals  = 1\n"
                                   "Vertices        = 4\n"
                                   "Region          = lid\n"
                                   "Centroid ( 0)   = (5.000000e-01, 5.000000e-01, 0.000000e+00)\n"
                                   "Centroid ( 1)   = (0.000000e+00, 0.000000e+00, 0.000000e+00)\n"
                                   "Centroid (10)   = (5.000000e-01, 5.000000e-01, 0.000000e+00)\n"
                                   "Centroid (11)   = (0.000000e+00, 0.000000e+00, 0.000000e+00)\n"
                                   "Normal          = (0.000000e+00, 0.000000e+00, 1.000000e+00)\n"
                                   "Bounding box    = (0.000000e+00, 0.000000e+00, 0.000000e+00) -\n"
                                   "                  (1.000000e+00, 1.000000e+00, 0.000000e+00)\n"
                                   "Area            = 1.000000e+00\n");
  free(text);
}

} // namespace
