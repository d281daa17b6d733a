#include "Connection.h"
#include "ElementMesh.h"
#include "ElementSet.h"
#include "FaceMesh.h"
#include "FaceSet.h"
#include "HashTable.h"
#include "IntegerMap.h"
#include "InterfaceMap.h"
#include "LinkMap.h"
#include "Mesh.h"
#include "MeshContainerSupport.h"
#include "MeshTestSupport.h"
#include "Region.h"
#include "Splitting.h"
#include "Topology.h"
#include "Vertices.h"
#include "zyrAffineTransform3D.h"
#include "zyrMemory.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// The hexahedra of the listed cells of a block, numbered in the block's shared vertices.
std::vector<int32_t> cellsOf(const Block &block, const std::vector<int32_t> &cells) {
  const std::vector<int32_t> all = block.hexahedra();
  std::vector<int32_t> list;
  for (int32_t c : cells)
    list.insert(list.end(), all.begin() + 8 * c, all.begin() + 8 * c + 8);
  return list;
}

TEST_F(MeshTest, MeshListsAreWrittenOnlyWhenChangedAndSurviveUndoAndReopen) {
  Topology *topology = Topology_new();
  Mesh *mesh = Mesh_new(topology);
  Block block{3, 1, 1, 1.0, {0, 0, 0}};
  const std::vector<double> xyz = block.coordinates();
  const std::vector<int32_t> hex = block.hexahedra();
  std::vector<Region *> volumes;
  ElementSet *first = nullptr;
  for (int i = 0; i < 3; ++i) {
    volumes.push_back(Region_new(topology, nullptr, ("Fluid " + std::to_string(i)).c_str(), 3));
    ElementMesh *em = elementMeshOf(volumes.back(), verticesOf(xyz), 7, hex, i == 0 ? &first : nullptr);
    ASSERT_EQ(Mesh_addElementMesh(mesh, em), 1);
  }
  const std::string meshKey = keyOf(mesh);
  const std::string topologyKey = keyOf(topology);
  const std::string firstVolume = keyOf(volumes[0]);
  const int32_t s1 = Repository_commit(m_repository);

  // A link slipped in behind the Mesh's back is written only if its list is rewritten.
  Region *stray = Region_new(topology, nullptr, "Stray", 3);
  LinkMap_addLink(mesh->m_elementMeshes, stray, ElementMesh_new(stray), 1);
  Region *wall = Region_new(topology, nullptr, "Wall", 2);
  FaceMesh *fm = faceMeshOf(wall, Mesh_getElementMesh(mesh, volumes[0]), first,
                            facesWhere(7, hex, xyz, [](const double *p) { return p[2] == 0.0; }));
  ASSERT_EQ(Mesh_addFaceMesh(mesh, fm), 1);
  const std::string wallKey = keyOf(wall);
  const std::string strayKey = keyOf(stray);
  const int32_t s2 = Repository_commit(m_repository);

  reopen();
  mesh = static_cast<Mesh *>(find(meshKey));
  ASSERT_NE(mesh, nullptr);
  wall = static_cast<Region *>(find(wallKey));
  ElementMesh **meshes = nullptr;
  EXPECT_EQ(Mesh_getElementMeshes(mesh, &meshes), 3);
  zyrMemory_free(meshes, "test");
  EXPECT_EQ(Mesh_getElementMesh(mesh, static_cast<Region *>(find(strayKey))), nullptr);
  fm = Mesh_getFaceMesh(mesh, wall);
  ASSERT_NE(fm, nullptr);
  EXPECT_EQ(LinkMap_findLinkedObject(mesh->m_faceMeshes, fm, -1), wall);
  EXPECT_EQ(FaceMesh_getNoOfFaces(fm), 3);
  EXPECT_EQ(Mesh_getTopology(mesh), find(topologyKey));
  // Restored maps are sized for the links they hold plus 50.
  LinkMap *sized = LinkMap_new(53);
  EXPECT_EQ(mesh->m_elementMeshes->m_table->m_n, sized->m_table->m_n);
  LinkMap_delete(sized);
  EXPECT_NE(Mesh_getElementMesh(mesh, static_cast<Region *>(find(firstVolume))), nullptr);

  Repository_gotoState(m_repository, s1);
  mesh = static_cast<Mesh *>(find(meshKey));
  FaceMesh **faceMeshes = nullptr;
  EXPECT_EQ(Mesh_getFaceMeshes(mesh, &faceMeshes), 0);
  Repository_gotoState(m_repository, s2);
  mesh = static_cast<Mesh *>(find(meshKey));
  EXPECT_NE(Mesh_getFaceMesh(mesh, static_cast<Region *>(find(wallKey))), nullptr);
  EXPECT_EQ(errorCount(), 0);

  // The topology reference is stored: moved to another topology and undone, the first comes back.
  Topology *other = Topology_new();
  const std::string otherKey = keyOf(other);
  EXPECT_EQ(Mesh_setTopology(mesh, other), 1);
  const int32_t s3 = Repository_commit(m_repository);
  Repository_gotoState(m_repository, s2);
  mesh = static_cast<Mesh *>(find(meshKey));
  EXPECT_EQ(Mesh_getTopology(mesh), find(topologyKey));
  Repository_gotoState(m_repository, s3);
  mesh = static_cast<Mesh *>(find(meshKey));
  EXPECT_EQ(Mesh_getTopology(mesh), find(otherKey));
  EXPECT_EQ(errorCount(), 0);
}

TEST_F(MeshTest, RegionOperationsOfTheMesh) {
  Topology *topology = Topology_new();
  Mesh *mesh = Mesh_new(topology);
  Block block{5, 1, 1, 1.0, {0, 0, 0}};
  const std::vector<double> xyz = block.coordinates();
  const std::vector<int32_t> prisms = block.prisms();
  Region *volume = Region_new(topology, nullptr, "Fluid", 3);
  ElementSet *set = nullptr;
  ElementMesh *em = elementMeshOf(volume, verticesOf(xyz), 6, prisms, &set);
  Mesh_addElementMesh(mesh, em);
  // 10 triangles at z = 0 and 5 quadrilaterals at y = 0.
  FaceList faces = facesWhere(6, prisms, xyz, [](const double *p) { return p[2] == 0.0; });
  const FaceList side = facesWhere(6, prisms, xyz, [](const double *p) { return p[1] == 0.0; });
  faces.insert(faces.end(), side.begin(), side.end());
  ASSERT_EQ(faces.size(), 15u);
  Region *surface = Region_new(topology, nullptr, "Mixed", 2);
  FaceMesh *fm = faceMeshOf(surface, em, set, faces);
  Mesh_addFaceMesh(mesh, fm);

  int32_t vertices = 0;
  int32_t elements = 0;
  int32_t byType[8];
  Region *both[] = {surface, volume};
  EXPECT_EQ(Mesh_getMeshSize(mesh, 1, both, &vertices, &elements, byType), 1);
  EXPECT_EQ(elements, 15);
  EXPECT_EQ(vertices, 18);
  EXPECT_EQ(std::vector<int32_t>(byType, byType + 8), (std::vector<int32_t>{0, 0, 10, 5, 0, 0, 0, 0}));
  EXPECT_EQ(Mesh_getMeshSize(mesh, 2, both, &vertices, &elements, byType), 1);
  EXPECT_EQ(elements, 25);
  EXPECT_EQ(vertices, 18 + 24);
  EXPECT_EQ(byType[6], 10);

  // The surface as display elements: types 2 and 3, packed 3 and 4 entries each.
  double *coordinates = nullptr;
  int32_t *types = nullptr;
  int32_t *connectivity = nullptr;
  ASSERT_EQ(Mesh_getRegionMesh(mesh, surface, 0, "mm", &vertices, &coordinates, &elements, &types, &connectivity), 1);
  EXPECT_EQ(vertices, 18);
  EXPECT_EQ(elements, 15);
  EXPECT_EQ(std::count(types, types + 15, 2), 10);
  EXPECT_EQ(std::count(types, types + 15, 3), 5);
  int64_t at = 0;
  for (int32_t e = 0; e < elements; ++e)
    for (int k = 0; k < types[e] + 1; ++k, ++at) {
      EXPECT_GE(connectivity[at], 0);
      EXPECT_LT(connectivity[at], 18);
    }
  EXPECT_EQ(at, 50);
  EXPECT_DOUBLE_EQ(*std::max_element(coordinates, coordinates + 54), 5000.0);
  zyrMemory_free(coordinates, "test");
  zyrMemory_free(types, "test");
  zyrMemory_free(connectivity, "test");
  ASSERT_EQ(Mesh_getRegionMesh(mesh, volume, 0, "m", &vertices, &coordinates, &elements, &types, &connectivity), 1);
  EXPECT_EQ(vertices, 24);
  EXPECT_EQ(elements, 10);
  EXPECT_EQ(std::vector<int32_t>(connectivity, connectivity + 60), prisms);
  zyrMemory_free(coordinates, "test");
  zyrMemory_free(types, "test");
  zyrMemory_free(connectivity, "test");
  Region *lonely = Region_new(topology, nullptr, "Lonely", 2);
  EXPECT_EQ(Mesh_getRegionMesh(mesh, lonely, 0, "m", &vertices, &coordinates, &elements, &types, &connectivity), 0);
  EXPECT_EQ(lastError(), std::make_pair(10020, std::string("Unable to determine the face mesh associated with "
                                                            "region \"Lonely\".\n")));

  // A surface without a face mesh does not stop the volumes after it from moving.
  zyrAffineTransform3D *shift = zyrAffineTransform3D_new();
  const double d[3] = {0, 0, 2};
  zyrAffineTransform3D_translate(shift, d, "m");
  Region *moved[] = {lonely, volume};
  const std::vector<double> before = localCoordinates(fm, 1);
  EXPECT_EQ(Mesh_moveRegions(mesh, 2, moved, shift), 1);
  const std::vector<double> after = localCoordinates(fm, 1);
  ASSERT_EQ(before.size(), after.size());
  for (size_t i = 2; i < before.size(); i += 3)
    EXPECT_DOUBLE_EQ(after[i], before[i] + 2);

  // Copies of the meshes follow copied regions; the face mesh lies on the copied element mesh.
  HashTable *pairs = HashTable_new(10, HashTable_hashInteger, HashTable_compareIntegers);
  Region *volumeCopy = Region_new(topology, nullptr, "Fluid copy", 3);
  Region *surfaceCopy = Region_new(topology, nullptr, "Mixed copy", 2);
  HashTable_insert(pairs, volume, volumeCopy);
  HashTable_insert(pairs, surface, surfaceCopy);
  EXPECT_EQ(Mesh_copyRegions(mesh, pairs, nullptr, shift), 1);
  HashTable_delete(pairs);
  zyrAffineTransform3D_delete(shift);
  ASSERT_NE(Mesh_getElementMesh(mesh, volumeCopy), nullptr);
  ASSERT_NE(Mesh_getFaceMesh(mesh, surfaceCopy), nullptr);
  EXPECT_EQ(FaceMesh_getElementMesh(Mesh_getFaceMesh(mesh, surfaceCopy)), Mesh_getElementMesh(mesh, volumeCopy));
  EXPECT_DOUBLE_EQ(localCoordinates(Mesh_getFaceMesh(mesh, surfaceCopy), 1)[2], after[2] + 2);

  // Deleting a surface deletes the interface map of its connection.
  Region *a = Region_new(topology, nullptr, "Side A", 2);
  Region *b = Region_new(topology, nullptr, "Side B", 2);
  Connection *connection = Region_connectNeighbour(a, b);
  ASSERT_NE(connection, nullptr);
  FaceMesh *fa = faceMeshOf(a, em, set, side);
  FaceMesh *fb = faceMeshOf(b, em, set, side);
  Mesh_addFaceMesh(mesh, fa);
  Mesh_addFaceMesh(mesh, fb);
  ASSERT_EQ(Mesh_addInterfaceMap(mesh, InterfaceMap_new(fa, fb, connection, nullptr, nullptr)), 1);
  Region *gone[] = {a};
  EXPECT_EQ(Mesh_deleteRegions(mesh, 1, gone), 1);
  EXPECT_EQ(Mesh_getFaceMesh(mesh, a), nullptr);
  EXPECT_EQ(Mesh_getInterfaceMap(mesh, connection), nullptr);
  EXPECT_EQ(Mesh_getFaceMesh(mesh, b), fb);
  EXPECT_EQ(errorCount(), 0);
}

TEST_F(MeshTest, LocalisingGivesEachElementMeshItsOwnVertices) {
  Topology *topology = Topology_new();
  Mesh *mesh = Mesh_new(topology);
  Block block{2, 2, 1, 1.0, {0, 0, 0}};
  Vertices *shared = verticesOf(block.coordinates());
  Region *left = Region_new(topology, nullptr, "Left", 3);
  Region *right = Region_new(topology, nullptr, "Right", 3);
  const std::vector<int32_t> leftHex = cellsOf(block, {block.cell(0, 0, 0), block.cell(0, 1, 0)});
  const std::vector<int32_t> rightHex = cellsOf(block, {block.cell(1, 0, 0), block.cell(1, 1, 0)});
  ElementSet *leftSet = nullptr;
  ElementSet *rightSet = nullptr;
  ElementMesh *leftMesh = elementMeshOf(left, nullptr, 7, leftHex, &leftSet);
  ElementMesh *rightMesh = elementMeshOf(right, nullptr, 7, rightHex, &rightSet);
  // A third volume of one tetrahedron on shared vertices 12, 5, 9, 13.
  Region *tip = Region_new(topology, nullptr, "Tip", 3);
  ElementSet *tipSet = nullptr;
  ElementMesh *tipMesh = elementMeshOf(tip, nullptr, 4, {12, 5, 9, 13}, &tipSet);
  for (ElementMesh *em : {leftMesh, rightMesh, tipMesh})
    Mesh_addElementMesh(mesh, em);
  const std::vector<double> xyz = block.coordinates();
  auto atInterface = [](const double *p) { return p[0] == 1.0; };
  Region *sideA = Region_new(topology, nullptr, "Interface A", 2);
  Region *sideB = Region_new(topology, nullptr, "Interface B", 2);
  FaceList facesB = facesWhere(7, rightHex, xyz, atInterface);
  std::reverse(facesB.begin(), facesB.end());
  FaceMesh *fa = faceMeshOf(sideA, leftMesh, leftSet, facesWhere(7, leftHex, xyz, atInterface));
  FaceMesh *fb = faceMeshOf(sideB, rightMesh, rightSet, facesB);
  Mesh_addFaceMesh(mesh, fa);
  Mesh_addFaceMesh(mesh, fb);
  Connection *connection = Region_connectNeighbour(sideA, sideB);
  ASSERT_NE(connection, nullptr);

  Splitting *splitting = Mesh_localise(mesh, shared);
  ASSERT_NE(splitting, nullptr);
  EXPECT_EQ(ElementMesh_getNoOfVertices(tipMesh), 4);
  int32_t *list = nullptr;
  int32_t nel = 0;
  int32_t nv = 0;
  ASSERT_EQ(ElementSet_getElementVertices(tipSet, 0, nullptr, 0, &list, &nel, &nv), 1);
  EXPECT_EQ(std::vector<int32_t>(list, list + 4), (std::vector<int32_t>{2, 0, 1, 3}));
  zyrMemory_free(list, "test");
  int32_t count = 0;
  const int32_t *values = IntegerMap_getValues(Splitting_getVertexMap(splitting, tipMesh), &count);
  EXPECT_EQ(std::vector<int32_t>(values, values + count), (std::vector<int32_t>{5, 9, 12, 13}));
  EXPECT_EQ(ElementMesh_getNoOfVertices(leftMesh), 12);
  EXPECT_EQ(ElementMesh_getNoOfVertices(rightMesh), 12);
  ASSERT_EQ(ElementSet_getElementVertices(rightSet, 0, nullptr, 0, &list, &nel, &nv), 1);
  EXPECT_EQ(*std::max_element(list, list + 16), 11);
  zyrMemory_free(list, "test");

  // The interface pairs local vertices that were one shared vertex: same place on both sides.
  InterfaceMap *map = InterfaceMap_newFromSplitting(mesh, connection, splitting);
  ASSERT_NE(map, nullptr);
  Splitting_delete(splitting);
  Vertices_delete(shared);
  int32_t *permutation = nullptr;
  ASSERT_EQ(InterfaceMap_getVertexPermutation(map, &permutation), 6);
  const std::vector<double> xa = localCoordinates(fa, 1);
  const std::vector<double> xb = localCoordinates(fb, 1);
  for (int32_t i = 0; i < 6; ++i)
    for (int k = 0; k < 3; ++k)
      EXPECT_DOUBLE_EQ(xa[3 * i + k], xb[3 * permutation[i] + k]);
  Mesh_addInterfaceMap(mesh, map);
  int32_t *faceMap = nullptr;
  EXPECT_EQ(FaceMesh_getInterfaceFaceMap(fa, mesh, &faceMap), 0);
  EXPECT_EQ(faceMap, nullptr);
  ASSERT_EQ(FaceMesh_getInterfaceFaceMap(fb, mesh, &faceMap), 1);
  EXPECT_EQ(std::vector<int32_t>(faceMap, faceMap + 2), (std::vector<int32_t>{1, 0}));
  EXPECT_EQ(errorCount(), 0);
}

} // namespace
