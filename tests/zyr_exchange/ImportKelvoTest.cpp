// Real meshes through the real mesh reader: every Gmsh mesh of tests/data/meshes, in both file
// versions, imported through Kelvo.exe into a fresh model, with the counts that Gmsh wrote.
#include "Connection.h"
#include "ElementMesh.h"
#include "FaceMesh.h"
#include "ImportTestSupport.h"
#include "ImportedMesh.h"
#include "InterfaceMap.h"
#include "Mesh.h"
#include "Region.h"
#include "Representation.h"
#include "Topology.h"
#include "zyrCString.h"
#include "zyrMemory.h"

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

using Names = std::vector<std::string>;

struct MeshCase {
  std::string file;
  int32_t vertices;
  std::map<int32_t, int32_t> cells; // native type -> count (volumes and boundary faces)
  Names volumes;
  Names surfaces; // physical surface names: each is a surface or a composite name
  int32_t interfaces;
};

// Native types: 2 triangle, 3 quadrilateral, 4 tetrahedron, 5 pyramid, 6 prism, 7 hexahedron.
const std::vector<MeshCase> kMeshes = {
    {"box-hex", 225, {{3, 160}, {7, 128}}, {"Block"}, {"bottom", "sides", "top"}, 0},
    {"box-tet", 339, {{2, 540}, {4, 1125}}, {"Fluid"}, {"inlet", "outlet", "walls"}, 0},
    {"mixed",
     344,
     {{2, 300}, {3, 128}, {4, 436}, {7, 64}, {6, 84}, {5, 16}},
     {"Hexes", "Prisms", "Tets"},
     {"hex tet interface", "hex walls", "prism walls", "tet walls"},
     -1},
    {"two-blocks", 419, {{2, 730}, {4, 1391}}, {"Left", "Right"}, {"interface", "left walls", "right walls"}, 1},
};

class ImportKelvoTest : public ImportTest, public testing::WithParamInterface<std::string> {};

TEST_P(ImportKelvoTest, GmshMeshImportsWithItsCounts) {
  const std::string file = GetParam();
  const std::string name = file.substr(0, file.find('.'));
  const MeshCase &expected =
      *std::find_if(kMeshes.begin(), kMeshes.end(), [&](const MeshCase &c) { return c.file == name; });
  useReader(zyrtest::toolsDir() + "/kelvo/Kelvo.exe");
  ImportedMesh *im = import("Msh", std::string(ZYR_SOURCE_DIR) + "/tests/data/meshes/" + file);
  ASSERT_NE(im, nullptr) << testing::PrintToString(held());
  ImportedMesh_delete(im);

  Region **regions = nullptr;
  const int32_t n = Topology_getRegions(m_model.m_topology, 12, &regions);
  Names volumes, surfaces;
  std::map<int32_t, int32_t> cells;
  int32_t vertices = 0, shared = 0;
  std::set<const Region *> secondSides;
  for (int32_t i = 0; i < n; ++i) {
    Region *region = regions[i];
    if (Region_getDimensionality(region) == 3) {
      volumes.push_back(Region_getName(region));
      ElementMesh *em = Mesh_getElementMesh(m_model.m_mesh, region);
      ASSERT_NE(em, nullptr);
      vertices += ElementMesh_getNoOfVertices(em);
      int32_t counts[8] = {0};
      ElementMesh_getNoOfElementsByType(em, counts);
      for (int32_t t = 0; t < 8; ++t)
        if (counts[t] > 0)
          cells[t] += counts[t];
      continue;
    }
    surfaces.push_back(Region_getName(region));
    EXPECT_NE(Representation_getVisual(m_model.m_representation, region), nullptr) << Region_getName(region);
    Connection *connection = Region_getConnection(region);
    if (connection != nullptr) {
      // Each shared face is counted once, on the first side met.
      InterfaceMap *map = Mesh_getInterfaceMap(m_model.m_mesh, connection);
      ASSERT_NE(map, nullptr) << Region_getName(region);
      if (secondSides.count(region) > 0)
        continue;
      secondSides.insert(Connection_getOtherSide(connection, region));
      shared += InterfaceMap_getNoOfMatchedVertices(map);
    }
    FaceMesh *fm = Mesh_getFaceMesh(m_model.m_mesh, region);
    ASSERT_NE(fm, nullptr);
    int32_t triangles = 0, quadrilaterals = 0;
    FaceMesh_getNoOfTrisAndQuads(fm, &triangles, &quadrilaterals);
    if (triangles > 0)
      cells[2] += triangles;
    if (quadrilaterals > 0)
      cells[3] += quadrilaterals;
  }
  zyrMemory_free(regions, "test");
  // A group that falls on both sides of an interface names the two surfaces together.
  char **composites = nullptr;
  const int32_t nc = Topology_getCompositeNames(m_model.m_topology, &composites);
  surfaces.insert(surfaces.end(), composites, composites + nc);
  zyrCStringArray_free(composites, static_cast<uint64_t>(nc));

  std::sort(volumes.begin(), volumes.end());
  EXPECT_EQ(volumes, expected.volumes);
  for (const std::string &surface : expected.surfaces)
    EXPECT_NE(std::find(surfaces.begin(), surfaces.end(), surface), surfaces.end()) << surface;
  EXPECT_EQ(cells, expected.cells);
  // Every volume has vertices of its own; those on a conformal interface are counted twice.
  EXPECT_EQ(vertices - shared, expected.vertices);
  if (expected.interfaces >= 0)
    EXPECT_EQ(static_cast<int32_t>(secondSides.size()), expected.interfaces);
}

INSTANTIATE_TEST_SUITE_P(Meshes, ImportKelvoTest,
                         testing::Values("box-hex.v2.msh", "box-hex.v4.msh", "box-tet.v2.msh", "box-tet.v4.msh",
                                         "mixed.v2.msh", "mixed.v4.msh", "two-blocks.v2.msh", "two-blocks.v4.msh"),
                         [](const testing::TestParamInfo<std::string> &info) {
                           std::string name = info.param;
                           std::replace(name.begin(), name.end(), '.', '_');
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

} // namespace
