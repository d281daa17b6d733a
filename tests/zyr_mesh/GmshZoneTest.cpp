// The road of an import over real Gmsh meshes: every volume's element mesh on one shared vertex
// record, localised through the Mesh, interfaces made from the splitting, then one zone numbering
// glued over them. The zone must give back exactly the vertices the elements used.
#include "Connection.h"
#include "ElementMesh.h"
#include "ElementSet.h"
#include "ElementTopology.h"
#include "FaceMesh.h"
#include "FaceSet.h"
#include "InterfaceMap.h"
#include "KelvoElements.h"
#include "KelvoModel.h"
#include "Mesh.h"
#include "MeshTestSupport.h"
#include "MshFile.h"
#include "Numbering.h"
#include "Region.h"
#include "Splitting.h"
#include "Topology.h"
#include "Vertices.h"
#include "zyrMemory.h"

#include <algorithm>
#include <array>
#include <set>

namespace {

const int32_t kTypeOfKind[KELVO_KINDS] = {2, 3, 4, 5, 6, 7};

TEST_F(MeshTest, GmshMeshesLocaliseAndGlueBackToTheirVertices) {
  for (const char *name : {"two-blocks.v4.msh", "mixed.v4.msh", "mixed.v2.msh"}) {
    SCOPED_TRACE(name);
    MshFile *file = MshFile_new();
    std::string error;
    ASSERT_EQ(MshFile_read(file, (std::string(ZYR_SOURCE_DIR) + "/tests/data/meshes/" + name).c_str(), &error), 1)
        << error;
    KelvoModel *model = KelvoModel_new();
    ASSERT_EQ(KelvoModel_build(model, file, &error), 1) << error;
    MshFile_delete(file);

    Topology *topology = Topology_new();
    Mesh *mesh = Mesh_new(topology);
    const int32_t nv = static_cast<int32_t>(KelvoModel_getNoOfVertices(model));
    Vertices *shared = Vertices_new(3, "m", 2, nv, trackedDoubles(model->m_coordinates));
    std::vector<ElementMesh *> meshes;
    for (const KelvoVolume &volume : model->m_volumes) {
      meshes.push_back(ElementMesh_new(Region_new(topology, nullptr, volume.m_name.c_str(), 3)));
      Mesh_addElementMesh(mesh, meshes.back());
    }
    std::set<std::array<double, 3>> used;
    std::vector<ElementSet *> sets;
    for (const KelvoElementSet &source : model->m_elementSets) {
      const int64_t n = static_cast<int64_t>(source.m_vertices.size());
      std::vector<int32_t> wez5(static_cast<size_t>(n));
      const int32_t v = KelvoElements_get(source.m_kind)->m_noOfVertices;
      KelvoElements_toWez5(source.m_kind, n / v, source.m_vertices.data(), wez5.data());
      sets.push_back(ElementSet_new(kTypeOfKind[source.m_kind], zyrConvention_WEZ5, static_cast<int32_t>(n),
                                    trackedInts(wez5)));
      ElementMesh_addElementSet(meshes[static_cast<size_t>(source.m_volume)], sets.back());
      for (int32_t vertex : source.m_vertices)
        used.insert({model->m_coordinates[3 * static_cast<size_t>(vertex)],
                     model->m_coordinates[3 * static_cast<size_t>(vertex) + 1],
                     model->m_coordinates[3 * static_cast<size_t>(vertex) + 2]});
    }
    std::vector<FaceMesh *> faceMeshes;
    for (const KelvoSurface &surface : model->m_surfaces) {
      FaceMesh *fm = FaceMesh_new(Region_new(topology, nullptr, surface.m_name.c_str(), 2),
                                  meshes[static_cast<size_t>(surface.m_volume)]);
      for (int32_t f : surface.m_faceSets) {
        const KelvoFaceSet &faces = model->m_faceSets[static_cast<size_t>(f)];
        FaceMesh_addFaceSet(fm, FaceSet_new(sets[static_cast<size_t>(faces.m_elementSet)], 0,
                                            static_cast<int32_t>(faces.m_faces.size()), trackedInts(faces.m_elements),
                                            trackedInts(faces.m_faces)));
      }
      Mesh_addFaceMesh(mesh, fm);
      faceMeshes.push_back(fm);
    }

    Splitting *splitting = Mesh_localise(mesh, shared);
    ASSERT_NE(splitting, nullptr);
    std::vector<InterfaceMap *> maps;
    for (size_t s = 0; s < model->m_surfaces.size(); ++s) {
      const int32_t partner = model->m_surfaces[s].m_partner;
      if (partner < 0 || static_cast<size_t>(partner) < s)
        continue;
      FaceMesh *sides[2] = {faceMeshes[s], faceMeshes[static_cast<size_t>(partner)]};
      Connection *connection = Region_connectNeighbour(FaceMesh_getRegion(sides[0]), FaceMesh_getRegion(sides[1]));
      ASSERT_NE(connection, nullptr);
      InterfaceMap *map = InterfaceMap_newFromSplitting(mesh, connection, splitting);
      ASSERT_NE(map, nullptr);
      ASSERT_EQ(Mesh_addInterfaceMap(mesh, map), 1);
      maps.push_back(map);
      // The localised sides, each with its own vertices, match vertex for vertex as the map says.
      int32_t *permutation = nullptr;
      int32_t *faceMap = nullptr;
      ASSERT_EQ(FaceMesh_match(sides[0], sides[1], nullptr, 0.005, 0, &permutation, &faceMap), 1);
      int32_t *fromSplitting = nullptr;
      const int32_t n = InterfaceMap_getVertexPermutation(map, &fromSplitting);
      EXPECT_TRUE(std::equal(permutation, permutation + n, fromSplitting));
      zyrMemory_free(permutation, "test");
      zyrMemory_free(faceMap, "test");
    }
    Splitting_delete(splitting);
    Vertices_delete(shared);
    ASSERT_FALSE(maps.empty());

    // The zone numbering glues the localised copies back to one label per used vertex.
    Numbering *numbering = Numbering_new(static_cast<int32_t>(meshes.size()), meshes.data(),
                                         static_cast<int32_t>(faceMeshes.size()), faceMeshes.data());
    ASSERT_EQ(Numbering_glueInterfaces(numbering, static_cast<int32_t>(maps.size()), maps.data()), 1);
    EXPECT_EQ(Numbering_getNoOfVertices(numbering), static_cast<int32_t>(used.size()));
    std::vector<double> zone;
    for (ElementMesh *em : meshes) {
      double *xyz = nullptr;
      const int32_t count = ElementMesh_getVertexCoordinates(em, "m", 0, nullptr, &xyz);
      zone.insert(zone.end(), xyz, xyz + 3 * count);
      zyrMemory_free(xyz, "test");
    }
    const int32_t kept = Numbering_compactCoordinates(numbering, zone.data());
    ASSERT_EQ(kept, static_cast<int32_t>(used.size()));
    std::set<std::array<double, 3>> compacted;
    for (int32_t i = 0; i < kept; ++i)
      compacted.insert({zone[3 * static_cast<size_t>(i)], zone[3 * static_cast<size_t>(i) + 1],
                        zone[3 * static_cast<size_t>(i) + 2]});
    EXPECT_EQ(compacted, used);
    // Element vertices in labels index the compacted coordinates: same corners as the source.
    int32_t *labelled = nullptr;
    int32_t nel = 0;
    int32_t perElement = 0;
    ASSERT_EQ(ElementSet_getElementVertices(sets[0], 0, numbering, 0, &labelled, &nel, &perElement), 1);
    const std::vector<int32_t> &original = model->m_elementSets[0].m_vertices;
    for (int32_t k = 0; k < nel * perElement; ++k)
      for (int a = 0; a < 3; ++a)
        ASSERT_EQ(zone[3 * static_cast<size_t>(labelled[k] - 1) + a],
                  model->m_coordinates[3 * static_cast<size_t>(original[static_cast<size_t>(k)]) + a]);
    zyrMemory_free(labelled, "test");
    Numbering_delete(numbering);
    KelvoModel_delete(model);
  }
  EXPECT_EQ(errorCount(), 0);
}

} // namespace
