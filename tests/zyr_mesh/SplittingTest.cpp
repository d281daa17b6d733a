#include "Assembly.h"
#include "Boundary.h"
#include "ElementMesh.h"
#include "ElementSet.h"
#include "FaceMesh.h"
#include "Mesh.h"
#include "MeshContainerSupport.h"
#include "MeshTestSupport.h"
#include "Region.h"
#include "Shell.h"
#include "Splitting.h"
#include "Topology.h"
#include "Vertices.h"
#include "zyrMemory.h"

#include <cstdlib>
#include <vector>

namespace {

// A 4 x 4 x 2 block of hexahedra with a baffle at x = 2 for 1 <= y <= 3: two connected surfaces,
// one on each side, both in the volume's shell with the outer walls.
struct Baffle {
  Block block{4, 4, 2, 1.0, {0, 0, 0}};
  Mesh *mesh;
  Region *volume;
  ElementMesh *elementMesh;
  ElementSet *set;
  FaceMesh *sides[2];
};

Baffle baffleIn(Topology *topology) {
  Baffle b;
  b.mesh = Mesh_new(topology);
  Assembly *assembly = Assembly_new(topology, nullptr);
  b.volume = Region_new(topology, assembly, "Fluid", 3);
  const std::vector<double> xyz = b.block.coordinates();
  const std::vector<int32_t> hex = b.block.hexahedra();
  b.elementMesh = elementMeshOf(b.volume, verticesOf(xyz), 7, hex, &b.set);
  Mesh_addElementMesh(b.mesh, b.elementMesh);
  Shell *shell = Shell_new();
  Region *walls = Region_new(topology, assembly, "Walls", 2);
  Mesh_addFaceMesh(b.mesh, faceMeshOf(walls, b.elementMesh, b.set, facesWhere(7, hex, xyz, [](const double *p) {
                                        return p[0] == 0 || p[0] == 4 || p[1] == 0 || p[1] == 4 || p[2] == 0 ||
                                               p[2] == 2;
                                      })));
  Shell_addRegion(shell, walls);
  Region *regions[2];
  for (int s = 0; s < 2; ++s) {
    regions[s] = Region_new(topology, assembly, s == 0 ? "Baffle side 1" : "Baffle side 2", 2);
    // Side 1 is the faces of the cells below x = 2, side 2 those above.
    FaceList faces;
    for (const auto &face : facesWhere(7, hex, xyz, [](const double *p) { return p[0] == 2 && p[1] >= 1 && p[1] <= 3; }))
      if ((face.first % 4 < 2) == (s == 0))
        faces.push_back(face);
    b.sides[s] = faceMeshOf(regions[s], b.elementMesh, b.set, faces);
    Mesh_addFaceMesh(b.mesh, b.sides[s]);
    Shell_addRegion(shell, regions[s]);
  }
  EXPECT_NE(Region_connectNeighbour(regions[0], regions[1]), nullptr);
  Boundary *boundary = Boundary_new();
  Boundary_addShell(boundary, shell);
  Region_setBoundary(b.volume, boundary);
  return b;
}

std::vector<int32_t> sourcesOf(const ElementMesh *em) {
  const int32_t *sources = nullptr;
  const int32_t n = ElementMesh_getSplitVertices(em, &sources);
  return std::vector<int32_t>(sources, sources + n);
}

std::vector<int32_t> cellVertices(ElementSet *set, int32_t cell) {
  int32_t *list = nullptr;
  int32_t nel = 0;
  int32_t nv = 0;
  EXPECT_EQ(ElementSet_getElementVertices(set, 0, nullptr, 0, &list, &nel, &nv), 1);
  std::vector<int32_t> vertices(list + 8 * cell, list + 8 * cell + 8);
  zyrMemory_free(list, "test");
  return vertices;
}

TEST_F(MeshTest, BaffleVerticesAreSplitInsideAndNotOnTheRim) {
  for (int all = 0; all < 2; ++all) {
    SCOPED_TRACE(all);
    if (all)
      setenv("ZYR_BETA_SPLIT_ALL_VERTICES", "", 1);
    Topology *topology = Topology_new();
    Baffle b = baffleIn(topology);
    const Block &k = b.block;
    EXPECT_EQ(FaceMesh_getNoOfVertices(b.sides[0], 1), 9);
    EXPECT_EQ(Mesh_splitSharedVertices(b.mesh), 1);
    unsetenv("ZYR_BETA_SPLIT_ALL_VERTICES");
    // Only the vertices inside the baffle (y = 2) are split; outer-wall vertices whose elements
    // stay connected are not, even when every bounding face is chosen.
    EXPECT_EQ(sourcesOf(b.elementMesh), (std::vector<int32_t>{k.vertex(2, 2, 0), k.vertex(2, 2, 1), k.vertex(2, 2, 2)}));
    EXPECT_EQ(ElementMesh_getNoOfVertices(b.elementMesh), 75 + 3);
    // The side whose element was met last keeps the vertex; the cells below x = 2 take new ones.
    const std::vector<int32_t> below = cellVertices(b.set, k.cell(1, 2, 0));
    const std::vector<int32_t> above = cellVertices(b.set, k.cell(2, 2, 0));
    EXPECT_EQ(std::count(below.begin(), below.end(), 75), 1);
    EXPECT_EQ(std::count(below.begin(), below.end(), 76), 1);
    EXPECT_EQ(std::count(above.begin(), above.end(), k.vertex(2, 2, 0)), 1);
    EXPECT_EQ(std::count(above.begin(), above.end(), 75), 0);
    // Rim vertices stay shared.
    const std::vector<int32_t> rim = cellVertices(b.set, k.cell(1, 0, 0));
    EXPECT_EQ(std::count(rim.begin(), rim.end(), k.vertex(2, 1, 0)), 1);
    // The new vertices sit where their sources are, and the face meshes see them.
    double *xyz = nullptr;
    const int32_t list[] = {75, k.vertex(2, 2, 0)};
    ASSERT_EQ(ElementMesh_getVertexCoordinates(b.elementMesh, "m", 2, list, &xyz), 2);
    EXPECT_EQ(std::vector<double>(xyz, xyz + 3), std::vector<double>(xyz + 3, xyz + 6));
    zyrMemory_free(xyz, "test");
    int32_t *vertices = nullptr;
    ASSERT_EQ(FaceMesh_getVertices(b.sides[0], 1, nullptr, &vertices), 9);
    EXPECT_EQ(std::count(vertices, vertices + 9, 77), 1);
    EXPECT_EQ(std::count(vertices, vertices + 9, k.vertex(2, 2, 2)), 0);
    zyrMemory_free(vertices, "test");
    ASSERT_EQ(FaceMesh_getVertices(b.sides[0], 0, nullptr, &vertices), 9);
    EXPECT_EQ(std::count(vertices, vertices + 9, k.vertex(2, 2, 2)), 1);
    zyrMemory_free(vertices, "test");
    // Splitting again finds every piece already apart: nothing is added or renumbered.
    EXPECT_EQ(Mesh_splitSharedVertices(b.mesh), 1);
    EXPECT_EQ(ElementMesh_getNoOfVertices(b.elementMesh), 78);
    EXPECT_EQ(cellVertices(b.set, k.cell(1, 2, 0)), below);
    // The split mesh is what is stored.
    const std::string meshKey = keyOf(b.elementMesh);
    const std::string setKey = keyOf(b.set);
    reopen();
    ElementMesh *em = static_cast<ElementMesh *>(find(meshKey));
    ASSERT_NE(em, nullptr);
    EXPECT_EQ(ElementMesh_getNoOfVertices(em), 78);
    EXPECT_EQ(sourcesOf(em).size(), 3u);
    EXPECT_EQ(cellVertices(static_cast<ElementSet *>(find(setKey)), k.cell(1, 2, 0)), below);
  }

  // Without internal thin surfaces nothing changes; without bounding regions the answer is 0.
  Topology *topology = Topology_new();
  Mesh *mesh = Mesh_new(topology);
  Block block{2, 2, 2, 1.0, {0, 0, 0}};
  Region *volume = Region_new(topology, nullptr, "Solid", 3);
  ElementMesh *em = elementMeshOf(volume, verticesOf(block.coordinates()), 7, block.hexahedra());
  EXPECT_EQ(ElementMesh_splitSharedVertices(em, mesh), 0);
  Shell *shell = Shell_new();
  Shell_addRegion(shell, Region_new(topology, nullptr, "Outside", 2));
  Boundary *boundary = Boundary_new();
  Boundary_addShell(boundary, shell);
  Region_setBoundary(volume, boundary);
  EXPECT_EQ(ElementMesh_splitSharedVertices(em, mesh), 1);
  EXPECT_EQ(ElementMesh_getNoOfVertices(em), 27);
  EXPECT_EQ(ElementMesh_correctInternalThinSurfaces(em, mesh), 1);
}

} // namespace
