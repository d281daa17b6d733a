#include "Assembly.h"
#include "Boundary.h"
#include "Connection.h"
#include "ElementMesh.h"
#include "FaceMesh.h"
#include "InterfaceMap.h"
#include "Mesh.h"
#include "MeshContainerSupport.h"
#include "MeshTestSupport.h"
#include "NameManager.h"
#include "Region.h"
#include "Shell.h"
#include "Topology.h"
#include "zyrMemory.h"

#include <string>
#include <vector>

namespace {

// One hexahedral cell from (x, 0, 0) as an assembly: a volume and its six surfaces, meshed.
struct Cell {
  Assembly *assembly;
  Region *volume;
  std::vector<Region *> surfaces;     // x low, x high, y low, y high, z low, z high
  std::vector<FaceMesh *> faceMeshes; // in the same order
};

Cell cellAt(Topology *topology, Mesh *mesh, double x) {
  Cell cell;
  cell.assembly = Assembly_new(topology, nullptr);
  cell.volume = Region_new(topology, cell.assembly, "Fluid", 3);
  Block block{1, 1, 1, 1.0, {x, 0, 0}};
  const std::vector<double> xyz = block.coordinates();
  const std::vector<int32_t> hex = block.hexahedra();
  ElementSet *set = nullptr;
  ElementMesh *em = elementMeshOf(cell.volume, verticesOf(xyz), 7, hex, &set);
  Mesh_addElementMesh(mesh, em);
  Boundary *boundary = Boundary_new();
  Shell *shell = Shell_new();
  const double planes[6] = {x, x + 1, 0, 1, 0, 1};
  for (int f = 0; f < 6; ++f) {
    Region *surface = Region_new(topology, cell.assembly, "Wall", 2);
    Shell_addRegion(shell, surface);
    const int axis = f / 2;
    const double at = planes[f];
    FaceMesh *fm = faceMeshOf(surface, em, set,
                              facesWhere(7, hex, xyz, [axis, at](const double *p) { return p[axis] == at; }));
    Mesh_addFaceMesh(mesh, fm);
    cell.surfaces.push_back(surface);
    cell.faceMeshes.push_back(fm);
  }
  Boundary_addShell(boundary, shell);
  Region_setBoundary(cell.volume, boundary);
  return cell;
}

int32_t regionCount(const Assembly *assembly) {
  Region **regions = nullptr;
  const int32_t n = Assembly_getRegions(assembly, 15, &regions);
  zyrMemory_free(regions, "test");
  return n;
}

TEST_F(MeshTest, MatchingModesCountReturnOrConnect) {
  Topology *topology = Topology_new();
  Mesh *mesh = Mesh_new(topology);
  Cell a = cellAt(topology, mesh, 0);
  Cell b = cellAt(topology, mesh, 1);
  const int32_t counts[2] = {6, 6};
  FaceMesh **const lists[2] = {a.faceMeshes.data(), b.faceMeshes.data()};
  InterfaceMap **maps = nullptr;
  EXPECT_EQ(Mesh_matchMeshes(mesh, 0.005, counts, lists, nullptr, MESH_MATCH_COUNT, &maps), 1);
  EXPECT_EQ(maps, nullptr);
  ASSERT_EQ(Mesh_matchMeshes(mesh, 0.005, counts, lists, nullptr, MESH_MATCH_NEW_MAPS, &maps), 1);
  ASSERT_NE(maps, nullptr);
  FaceMesh *sides[2] = {nullptr, nullptr};
  InterfaceMap_getFaceMeshes(maps[0], &sides[0], &sides[1]);
  EXPECT_EQ(sides[0], a.faceMeshes[1]);
  EXPECT_EQ(sides[1], b.faceMeshes[0]);
  EXPECT_EQ(InterfaceMap_getConnection(maps[0]), nullptr);
  InterfaceMap_delete(maps[0]);
  zyrMemory_free(maps, "test");
  // Walls that do not meet: no match and no array.
  const int32_t one[2] = {1, 1};
  FaceMesh **const walls[2] = {&a.faceMeshes[2], &b.faceMeshes[2]};
  maps = reinterpret_cast<InterfaceMap **>(&maps);
  EXPECT_EQ(Mesh_matchMeshes(mesh, 0.005, one, walls, nullptr, MESH_MATCH_NEW_MAPS, &maps), 0);
  EXPECT_EQ(maps, nullptr);

  // Connecting: the regions are joined, the map is the Mesh's and the assemblies are one.
  EXPECT_EQ(Mesh_matchMeshes(mesh, 0.005, counts, lists, nullptr, MESH_MATCH_CONNECT, nullptr), 1);
  Connection *connection = Region_getConnection(a.surfaces[1]);
  ASSERT_NE(connection, nullptr);
  EXPECT_EQ(Region_getNeighbour(a.surfaces[1]), b.surfaces[0]);
  InterfaceMap *map = Mesh_getInterfaceMap(mesh, connection);
  ASSERT_NE(map, nullptr);
  EXPECT_EQ(InterfaceMap_getConnection(map), connection);
  EXPECT_EQ(Region_getAssembly(b.volume), Region_getAssembly(a.volume));
  EXPECT_EQ(regionCount(Region_getAssembly(a.volume)), 14);
  // Connected surfaces are not matched again.
  EXPECT_EQ(Mesh_matchMeshes(mesh, 0.005, counts, lists, nullptr, MESH_MATCH_CONNECT, nullptr), 0);

  // The connection and its map survive a reopen.
  const std::string meshKey = keyOf(mesh);
  const std::string connectionKey = keyOf(connection);
  reopen();
  mesh = static_cast<Mesh *>(find(meshKey));
  map = Mesh_getInterfaceMap(mesh, static_cast<Connection *>(find(connectionKey)));
  ASSERT_NE(map, nullptr);
  EXPECT_EQ(InterfaceMap_getNoOfMatchedVertices(map), 4);
  EXPECT_EQ(errorCount(), 0);
}

TEST_F(MeshTest, MergingAChainOfAssembliesKeepsTheirNamesAsComposites) {
  Topology *topology = Topology_new();
  Mesh *mesh = Mesh_new(topology);
  NameManager *nm = Topology_getNameManager(topology);
  std::vector<Cell> cells;
  for (int c = 0; c < 3; ++c)
    cells.push_back(cellAt(topology, mesh, c));
  std::vector<std::string> names;
  std::vector<Assembly *> assemblies;
  for (const Cell &cell : cells) {
    names.push_back(Assembly_getName(cell.assembly));
    assemblies.push_back(cell.assembly);
  }
  int32_t n = 3;
  EXPECT_EQ(Mesh_mergeAssemblies(mesh, 0.005, 1, &n, assemblies.data()), 1);
  ASSERT_EQ(n, 1);
  EXPECT_EQ(assemblies[0], cells[0].assembly);
  EXPECT_EQ(regionCount(assemblies[0]), 21);
  EXPECT_EQ(Topology_getNoOfAssemblies(topology), 1);
  const std::string survivor = Assembly_getName(assemblies[0]);
  for (const std::string &name : names) {
    EXPECT_NE(survivor, name);
    EXPECT_EQ(NameManager_isNameComposite(nm, name.c_str()), 1) << name;
    int32_t tagged = 0;
    EXPECT_EQ(NameManager_compositeNameHasTag(nm, name.c_str(), "Original Assembly Name", &tagged), 1);
    EXPECT_EQ(tagged, 1) << name;
  }
  int32_t kind = 0;
  EXPECT_EQ(NameManager_lookupName(nm, survivor.c_str(), &kind), assemblies[0]);
  EXPECT_EQ(kind, 2);
}

TEST_F(MeshTest, MergingKeepsANamedSurvivorWhenTheAbsorberIsAbsorbed) {
  // Assembly 0 and assembly 1 each touch assembly 2 only: pairs (0, 2) then (1, 2).
  Topology *topology = Topology_new();
  Mesh *mesh = Mesh_new(topology);
  NameManager *nm = Topology_getNameManager(topology);
  std::vector<Cell> cells = {cellAt(topology, mesh, 0), cellAt(topology, mesh, 2), cellAt(topology, mesh, 1)};
  std::vector<Assembly *> assemblies;
  std::vector<std::string> names;
  for (const Cell &cell : cells) {
    assemblies.push_back(cell.assembly);
    names.push_back(Assembly_getName(cell.assembly));
  }
  int32_t n = 3;
  EXPECT_EQ(Mesh_mergeAssemblies(mesh, 0.005, 1, &n, assemblies.data()), 1);
  ASSERT_EQ(n, 1);
  EXPECT_EQ(assemblies[0], cells[1].assembly);
  ASSERT_NE(Assembly_getName(assemblies[0]), nullptr);
  const std::string survivor = Assembly_getName(assemblies[0]);
  int32_t kind = 0;
  EXPECT_EQ(NameManager_lookupName(nm, survivor.c_str(), &kind), assemblies[0]);
  EXPECT_EQ(kind, 2);
  for (const std::string &name : names) {
    EXPECT_NE(survivor, name);
    EXPECT_EQ(NameManager_isNameComposite(nm, name.c_str()), 1) << name;
  }
}

TEST_F(MeshTest, AssembliesAreComparedOnlyWhenTheirEnlargedBoxesMeet) {
  for (const auto &gap : {std::make_pair(0.005, 1), std::make_pair(0.0205, 2)}) {
    Topology *topology = Topology_new();
    Mesh *mesh = Mesh_new(topology);
    Cell a = cellAt(topology, mesh, 0);
    Cell b = cellAt(topology, mesh, 1 + gap.first);
    Assembly *assemblies[2] = {a.assembly, b.assembly};
    int32_t n = 2;
    EXPECT_EQ(Mesh_mergeAssemblies(mesh, 0.1, 0, &n, assemblies), 1);
    EXPECT_EQ(n, gap.second) << gap.first;
  }
  EXPECT_EQ(errorCount(), 0);
}

} // namespace
