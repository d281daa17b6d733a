#include "Representation.h"

#include "Boundary.h"
#include "DisplayTestSupport.h"
#include "ElementMesh.h"
#include "ElementSet.h"
#include "FaceMesh.h"
#include "HashTable.h"
#include "Region.h"
#include "Shell.h"
#include "Topology.h"
#include "Visual.h"
#include "zyrAffineTransform3D.h"
#include "zyrMemory.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void expectNear(const std::vector<double> &got, const std::vector<double> &want) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t k = 0; k < got.size(); ++k)
    EXPECT_NEAR(got[k], want[k], 1e-9 * (1 + std::abs(want[k]))) << k;
}

// A unit cube volume bounded by six surfaces, each shown by the visual of one hexahedron face,
// and a separate square (4 vertices) and triangle (3 vertices) with their own visuals.
class RepresentationTest : public DisplayTest {
protected:
  void SetUp() override {
    DisplayTest::SetUp();
    m_topology = Topology_new();
    m_representation = Representation_new(m_topology);
    m_volume = Region_new(m_topology, nullptr, "fluid", 3);
    Boundary *boundary = Boundary_new();
    Shell *shell = Shell_new();
    Block block{1, 1, 1, 1.0, {0, 0, 0}};
    ElementSet *set = nullptr;
    ElementMesh *mesh = hexMesh(block, &set);
    for (int f = 0; f < 6; ++f) {
      m_faces[f] = Region_new(m_topology, nullptr, ("side " + std::to_string(f)).c_str(), 2);
      Shell_addRegion(shell, m_faces[f]);
      FaceMesh *fm = FaceMesh_new(m_faces[f], mesh);
      FaceMesh_addFaceSet(fm, hexFaces(set, f, {0}));
      ASSERT_EQ(Representation_addVisual(m_representation, Visual_newFromFaceMesh(m_faces[f], fm)), 1);
    }
    Boundary_addShell(boundary, shell);
    Region_setBoundary(m_volume, boundary);
    m_square = Region_new(m_topology, nullptr, "square", 2);
    m_triangle = Region_new(m_topology, nullptr, "triangle", 2);
    Representation_addVisual(m_representation,
                             storedVisual(m_square, {0, 0, 5, 1, 0, 5, 1, 1, 5, 0, 1, 5}, {}, {0, 1, 2, 3}));
    Representation_addVisual(m_representation, storedVisual(m_triangle, {0, 0, 7, 3, 0, 7, 0, 3, 7}, {0, 1, 2}, {}));
    lastError();
  }

  std::string name(const Region *region) const { return Region_getName(region); }

  Facetted facetted(const std::string &location, const char *units = "m") {
    int32_t n = -1, t = -1, q = -1;
    float *xyz = nullptr;
    int32_t *faces = nullptr;
    const int status =
        Representation_getFacettedDisplay(m_representation, location.c_str(), 0, units, &n, &xyz, &t, &q, &faces);
    return facettedFrom(status, n, xyz, t, q, faces);
  }

  Wireframe wireframe(const std::string &location, double angle, const char *units = "m") {
    int32_t n = -1, e = -1;
    float *xyz = nullptr;
    int32_t *edges = nullptr;
    const int status =
        Representation_getWireframeDisplay(m_representation, location.c_str(), 0, units, angle, &n, &xyz, &e, &edges);
    return wireframeFrom(status, n, xyz, e, edges);
  }

  std::vector<double> centroid(const std::string &location, int32_t mode, const char *units = "m") {
    double x = -1, y = -1, z = -1;
    EXPECT_EQ(Representation_getCentroid(m_representation, location.c_str(), 0, units, mode, &x, &y, &z), 1);
    return {x, y, z};
  }

  std::vector<Visual *> order(const std::string &location) {
    int32_t n = 0;
    Visual **visuals = nullptr;
    Representation_getVisuals(m_representation, location.c_str(), 0, &n, &visuals);
    std::vector<Visual *> list(visuals, visuals + n);
    zyrMemory_free(visuals, "test");
    return list;
  }

  int32_t visualCount(const std::string &location) {
    int32_t n = -1;
    Visual **visuals = nullptr;
    Representation_getVisuals(m_representation, location.c_str(), 0, &n, &visuals);
    zyrMemory_free(visuals, "test");
    return n;
  }

  Topology *m_topology = nullptr;
  Representation *m_representation = nullptr;
  Region *m_volume = nullptr;
  Region *m_faces[6] = {};
  Region *m_square = nullptr;
  Region *m_triangle = nullptr;
};

TEST_F(RepresentationTest, CombinedArraysOffsetLaterVisualsAndPutAllTrianglesFirst) {
  // The topology resolves a location in an order of its own: the expectations follow it.
  const std::string both = name(m_square) + ", " + name(m_triangle);
  const bool squareFirst = order(both).front() == Representation_getVisual(m_representation, m_square);
  const Facetted f = facetted(both, "mm");
  ASSERT_EQ(f.status, 1);
  EXPECT_EQ(f.triangles, 1);
  EXPECT_EQ(f.quadrilaterals, 1);
  EXPECT_EQ(f.faces,
            squareFirst ? (std::vector<int32_t>{4, 5, 6, 0, 1, 2, 3}) : (std::vector<int32_t>{0, 1, 2, 3, 4, 5, 6}));
  const int32_t t = squareFirst ? 4 : 0; // the triangle's first vertex
  EXPECT_EQ(f.xyz.size(), 21u);
  EXPECT_EQ(f.xyz[3 * (t + 1)], 3000.0f);
  EXPECT_EQ(f.xyz[3 * t + 2], 7000.0f);

  const std::vector<int32_t> squareEdges = {0, 3, 0, 1, 1, 2, 2, 3};
  const std::vector<int32_t> triangleEdges = {0, 2, 0, 1, 1, 2};
  std::vector<int32_t> expected;
  for (int32_t e : squareFirst ? squareEdges : triangleEdges)
    expected.push_back(e);
  for (int32_t e : squareFirst ? triangleEdges : squareEdges)
    expected.push_back(e + (squareFirst ? 4 : 3));
  EXPECT_EQ(wireframe(both, 0).edges, expected);
  // The dual net of both: 5 + 4 points, the second visual's shifted past the first's.
  const Wireframe dual = wireframe(both, -1);
  EXPECT_EQ(dual.xyz.size(), 27u);
  EXPECT_EQ(dual.edges.back(), 8);

  // One visual is handed on as it is.
  const Facetted one = facetted(name(m_triangle));
  EXPECT_EQ(one.faces, (std::vector<int32_t>{0, 1, 2}));
  EXPECT_EQ(one.xyz.size(), 9u);
}

TEST_F(RepresentationTest, VolumesStandForTheirSurfacesAndEachRegionCountsOnce) {
  EXPECT_EQ(visualCount(name(m_volume)), 6);
  // The volume and one of its walls: the wall is shown and weighted once.
  EXPECT_EQ(visualCount(name(m_volume) + ", " + name(m_faces[2])), 6);
  const Facetted cube = facetted(name(m_faces[2]) + ", " + name(m_volume));
  EXPECT_EQ(cube.quadrilaterals, 6);
  EXPECT_EQ(cube.triangles, 0);
  EXPECT_EQ(cube.xyz.size(), 6u * 4 * 3); // the corners once per face: the visuals share nothing
  expectNear(centroid(name(m_volume), 10), {0.5, 0.5, 0.5});
  expectNear(centroid(name(m_volume) + ", " + name(m_faces[2]), 10), {0.5, 0.5, 0.5});
  expectNear(centroid(name(m_volume), 0, "mm"), {500, 500, 500});

  double box[6];
  ASSERT_EQ(
      Representation_getBoundingBox(m_representation, (name(m_volume) + ", " + name(m_triangle)).c_str(), 0, "mm", box),
      1);
  EXPECT_EQ(std::vector<double>(box, box + 6), (std::vector<double>{0, 0, 0, 3000, 3000, 7000}));
}

TEST_F(RepresentationTest, CentroidsOfSeveralVisuals) {
  const std::string both = name(m_square) + ", " + name(m_triangle);
  // Weighted by vertex count: (4 * (0.5, 0.5, 5) + 3 * (1, 1, 7)) / 7.
  const std::vector<double> byVertices = centroid(both, 0);
  EXPECT_NEAR(byVertices[0], 5.0 / 7.0, 1e-12);
  EXPECT_NEAR(byVertices[2], 41.0 / 7.0, 1e-12);
  // Weighted by area: (1 * (0.5, 0.5, 5) + 4.5 * (1, 1, 7)) / 5.5.
  const std::vector<double> byArea = centroid(both, 10, "mm");
  EXPECT_NEAR(byArea[0], 1000 * 5.0 / 5.5, 1e-9);
  EXPECT_NEAR(byArea[2], 1000 * 36.5 / 5.5, 1e-9);
  // Snapped: the nearest vertex of either visual, in the requested units.
  EXPECT_EQ(centroid(both, 11, "mm"), (std::vector<double>{0, 0, 7000}));
  EXPECT_EQ(centroid(both, 1), (std::vector<double>{1, 1, 5}));
  EXPECT_EQ(centroid(name(m_triangle), 11), (std::vector<double>{0, 0, 7}));
}

TEST_F(RepresentationTest, PurgeDropsUnusedVerticesAndRenumbersWithoutGaps) {
  Region *loose = Region_new(m_topology, nullptr, "loose", 2);
  // Vertex 1 is named by no face.
  Representation_addVisual(m_representation, storedVisual(loose, {0, 0, 9, 5, 5, 5, 1, 0, 9, 0, 1, 9}, {0, 2, 3}, {}));
  const std::string both = name(m_triangle) + ", " + name(loose);
  const bool triangleFirst = order(both).front() == Representation_getVisual(m_representation, m_triangle);
  const Facetted f = facetted(both);
  EXPECT_EQ(f.faces, (std::vector<int32_t>{0, 1, 2, 3, 4, 5})); // in either order
  EXPECT_EQ(f.xyz.size(), 18u);
  EXPECT_EQ(f.xyz[3 * (triangleFirst ? 4 : 1)], 1.0f);
  // Alone, the visual's arrays pass unchanged.
  EXPECT_EQ(facetted(name(loose)).xyz.size(), 12u);

  float *xyz = zyrMemory_allocateArray<float>(9, "test");
  for (int i = 0; i < 9; ++i)
    xyz[i] = static_cast<float>(i);
  int32_t indices[] = {2, 0, 2};
  int32_t n = 3;
  EXPECT_EQ(purgeUnwantedVertices(3, indices, &n, &xyz), 1);
  EXPECT_EQ(n, 2);
  EXPECT_EQ(std::vector<int32_t>(indices, indices + 3), (std::vector<int32_t>{1, 0, 1}));
  EXPECT_EQ(std::vector<float>(xyz, xyz + 6), (std::vector<float>{0, 1, 2, 6, 7, 8}));
  int32_t bad[] = {0, 2};
  EXPECT_EQ(purgeUnwantedVertices(2, bad, &n, &xyz), 0);
  EXPECT_EQ(n, 2);
  EXPECT_EQ(bad[1], 2);
  zyrMemory_free(xyz, "test");
}

TEST_F(RepresentationTest, RefusedUnitsLocationsAndVisuals) {
  zyrtest::ErrorCapture errors;
  EXPECT_EQ(facetted(name(m_square), "furlongs").status, 0);
  EXPECT_EQ(errors.take(), (std::vector<std::string>{"10013: Supplied units for length were: furlongs.\n"}));
  // Angle units are known to the units service but measure no length.
  double box[6];
  EXPECT_EQ(Representation_getBoundingBox(m_representation, name(m_square).c_str(), 0, "deg", box), 0);
  EXPECT_EQ(wireframe(name(m_square) + ", " + name(m_triangle), 0, "degree").status, 0);
  EXPECT_EQ(errors.take(), (std::vector<std::string>{"10013: Supplied units for length were: deg.\n",
                                                     "10013: Supplied units for length were: degree.\n"}));

  Region *bare = Region_new(m_topology, nullptr, "bare", 2);
  Region *edge = Region_new(m_topology, nullptr, "edge", 1);
  const Facetted missing = facetted(name(bare) + ", " + name(m_square) + ", " + name(edge));
  EXPECT_EQ(missing.status, 0);
  EXPECT_TRUE(missing.xyz.empty());
  const std::vector<std::string> raised = errors.take();
  ASSERT_EQ(raised.size(), 1u);
  const std::string list = "20006: Couldn't locate a visual for the following region(s):\n\n";
  EXPECT_TRUE(raised[0] == list + "  \"bare\"\n  \"edge\"\n" || raised[0] == list + "  \"edge\"\n  \"bare\"\n")
      << raised[0];

  EXPECT_EQ(facetted("nowhere").status, 0);
  EXPECT_EQ(errors.takeCodes().size(), 1u);

  // A region shows one visual.
  Visual *second = storedVisual(m_square, {0, 0, 0}, {}, {});
  EXPECT_EQ(Representation_addVisual(m_representation, second), 0);
  EXPECT_EQ(errors.take(), (std::vector<std::string>{"20006: Region \"square\" already has a visual.\n"}));
  Visual_delete(second);
  EXPECT_EQ(Representation_addVisual(m_representation, Representation_getVisual(m_representation, m_square)), 1);
}

TEST_F(RepresentationTest, CopyMoveDeleteAndCombine) {
  Visual *square = Representation_getVisual(m_representation, m_square);
  Region *copy = Region_new(m_topology, nullptr, "square copy", 2);
  HashTable *map = HashTable_new(10, HashTable_hashInteger, HashTable_compareIntegers);
  HashTable_insert(map, m_square, copy);
  HashTable_insert(map, m_volume, m_volume); // no visual: passed over
  zyrAffineTransform3D *shift = zyrAffineTransform3D_new();
  const double d[3] = {10, 0, 0};
  zyrAffineTransform3D_translate(shift, d, "m");
  EXPECT_EQ(Representation_copyVisuals(m_representation, map, shift), 1);
  EXPECT_EQ(Representation_copyVisuals(nullptr, map, shift), 0);
  HashTable_delete(map);
  Visual *copied = Representation_getVisual(m_representation, copy);
  ASSERT_NE(copied, nullptr);
  EXPECT_NE(copied, square);
  EXPECT_EQ(centroid(name(copy), 0), (std::vector<double>{10.5, 0.5, 5}));

  Region *moved[] = {m_square, m_volume};
  EXPECT_EQ(Representation_moveVisuals(m_representation, 2, moved, shift), 1);
  EXPECT_EQ(Representation_moveVisuals(nullptr, 2, moved, shift), 1);
  zyrAffineTransform3D_delete(shift);
  EXPECT_EQ(centroid(name(m_square), 0), (std::vector<double>{10.5, 0.5, 5}));

  Region *gone[] = {m_square, m_volume, m_faces[0]};
  EXPECT_EQ(Representation_deleteRegions(m_representation, 3, gone), 1);
  EXPECT_EQ(Representation_getVisual(m_representation, m_square), nullptr);
  EXPECT_EQ(Representation_getVisual(m_representation, m_faces[0]), nullptr);
  EXPECT_NE(Representation_getVisual(m_representation, m_faces[1]), nullptr);

  Representation *other = Representation_new(m_topology);
  Region *extra = Region_new(m_topology, nullptr, "extra", 2);
  Representation_addVisual(other, storedVisual(extra, {0, 0, 0, 1, 0, 0, 0, 1, 0}, {0, 1, 2}, {}));
  EXPECT_EQ(Representation_combineRepresentations(m_representation, other), 1);
  EXPECT_NE(Representation_getVisual(m_representation, extra), nullptr);
  EXPECT_EQ(Visual_getRegion(Representation_getVisual(m_representation, extra)), extra);
}

TEST_F(RepresentationTest, VisualsPersistThroughCommitReopenUndoAndRedo) {
  const std::string key = keyOf(m_representation);
  const std::string squareKey = keyOf(m_square);
  const std::string visualKey = keyOf(Representation_getVisual(m_representation, m_square));
  const int32_t s1 = Repository_commit(m_repository);

  Region *added = Region_new(m_topology, nullptr, "added", 2);
  Visual *visual = storedVisual(added, {0, 0, 0, 1, 0, 0, 0, 1, 0}, {0, 1, 2}, {});
  Representation_addVisual(m_representation, visual);
  Visual *square = Representation_getVisual(m_representation, m_square);
  Representation_removeVisual(m_representation, square);
  Visual_delete(square);
  const int32_t s2 = Repository_commit(m_repository);

  Repository_gotoState(m_repository, s1);
  EXPECT_EQ(visualCount(name(m_volume) + ", square"), 7);
  EXPECT_EQ(keyOf(Representation_getVisual(m_representation, m_square)), visualKey);
  EXPECT_EQ(visualCount("added"), 0); // the region went with its state: the name is unknown
  lastError();
  Repository_gotoState(m_repository, s2);
  EXPECT_EQ(Representation_getVisual(m_representation, m_square), nullptr);
  EXPECT_EQ(visualCount("added"), 1);
  Repository_gotoState(m_repository, s1);

  reopen();
  m_representation = static_cast<Representation *>(find(key));
  ASSERT_NE(m_representation, nullptr);
  m_square = static_cast<Region *>(find(squareKey));
  Visual *restored = Representation_getVisual(m_representation, m_square);
  ASSERT_NE(restored, nullptr);
  EXPECT_EQ(keyOf(restored), visualKey);
  EXPECT_EQ(Visual_getRegion(restored), m_square);
  EXPECT_EQ(visualCount("fluid"), 6);
  expectNear(centroid("fluid", 10), {0.5, 0.5, 0.5});
  EXPECT_EQ(errorCount(), 0);

  char *text = nullptr;
  size_t size = 0;
  FILE *stream = open_memstream(&text, &size);
  Representation_print(m_representation, stream);
  std::fclose(stream);
  const std::string rule(46, '=');
  const std::string printed(text);
  free(text);
  const std::string head = "\n" + rule + "\nRepresentation: " + key + "\n" + rule +
                           "\n\nTopology       = " + keyOf(m_representation->m_topology) + "\nNo. of visuals = 8\n";
  EXPECT_EQ(printed.substr(0, head.size()), head);
  EXPECT_NE(printed.find(visualKey + " -> square\n"), std::string::npos);
}

} // namespace
