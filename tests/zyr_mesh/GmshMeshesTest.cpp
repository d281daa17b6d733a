// The meshes of tests/data/meshes, made by Gmsh and read through the mesh reader's model, as mesh
// records: element sets handed in in the solver's (WEZ5) order, the surfaces' face sets, and the
// two sides of every internal surface matched.
#include "ElementMesh.h"
#include "ElementSet.h"
#include "ElementTopology.h"
#include "FaceMesh.h"
#include "FaceSet.h"
#include "IntegerMap.h"
#include "InterfaceMap.h"
#include "KelvoElements.h"
#include "KelvoModel.h"
#include "MeshTestSupport.h"
#include "MshFile.h"
#include "Vertices.h"
#include "zyrMemory.h"

#include <array>
#include <map>
#include <numeric>

namespace {

// Element types of the reader's kinds.
const int32_t kTypeOfKind[KELVO_KINDS] = {2, 3, 4, 5, 6, 7};

struct Loaded {
  KelvoModel *m_model = nullptr;
  std::vector<ElementMesh *> m_meshes;   // per volume
  std::vector<ElementSet *> m_sets;      // per element set of the model
  std::vector<FaceMesh *> m_surfaces;    // per surface
  ~Loaded() { KelvoModel_delete(m_model); }
};

void load(const std::string &name, Loaded &loaded) {
  MshFile *file = MshFile_new();
  std::string error;
  ASSERT_EQ(MshFile_read(file, (std::string(ZYR_SOURCE_DIR) + "/tests/data/meshes/" + name).c_str(), &error), 1)
      << error;
  loaded.m_model = KelvoModel_new();
  ASSERT_EQ(KelvoModel_build(loaded.m_model, file, &error), 1) << error;
  MshFile_delete(file);
  const KelvoModel *model = loaded.m_model;
  const int32_t nv = static_cast<int32_t>(KelvoModel_getNoOfVertices(model));
  // Every volume keeps the whole numbering (as an import does before localising).
  for (size_t v = 0; v < model->m_volumes.size(); ++v) {
    ElementMesh *mesh = ElementMesh_new(nullptr);
    ElementMesh_setVertices(mesh, Vertices_new(3, "m", 2, nv, trackedDoubles(model->m_coordinates)));
    loaded.m_meshes.push_back(mesh);
  }
  for (const KelvoElementSet &source : model->m_elementSets) {
    const int64_t n = static_cast<int64_t>(source.m_vertices.size());
    std::vector<int32_t> wez5(static_cast<size_t>(n));
    const int32_t v = KelvoElements_get(source.m_kind)->m_noOfVertices;
    KelvoElements_toWez5(source.m_kind, n / v, source.m_vertices.data(), wez5.data());
    ElementSet *set = ElementSet_new(kTypeOfKind[source.m_kind], zyrConvention_WEZ5, static_cast<int32_t>(n),
                                     trackedInts(wez5));
    ASSERT_NE(set, nullptr);
    // Stored native: exactly the reader's native lists.
    int32_t *native = nullptr;
    int32_t nel = 0;
    int32_t perElement = 0;
    ASSERT_EQ(ElementSet_getElementVertices(set, 0, nullptr, 0, &native, &nel, &perElement), 1);
    EXPECT_TRUE(std::equal(native, native + n, source.m_vertices.begin()));
    zyrMemory_free(native, "test");
    ElementMesh_addElementSet(loaded.m_meshes[static_cast<size_t>(source.m_volume)], set);
    loaded.m_sets.push_back(set);
  }
  for (const KelvoSurface &surface : model->m_surfaces) {
    FaceMesh *fm = FaceMesh_new(nullptr, loaded.m_meshes[static_cast<size_t>(surface.m_volume)]);
    for (int32_t f : surface.m_faceSets) {
      const KelvoFaceSet &faces = model->m_faceSets[static_cast<size_t>(f)];
      FaceSet *set = FaceSet_new(loaded.m_sets[static_cast<size_t>(faces.m_elementSet)], 0,
                                 static_cast<int32_t>(faces.m_faces.size()), trackedInts(faces.m_elements),
                                 trackedInts(faces.m_faces));
      ASSERT_NE(set, nullptr);
      FaceMesh_addFaceSet(fm, set);
    }
    EXPECT_EQ(FaceMesh_getNoOfFaces(fm), surface.m_noOfFaces);
    loaded.m_surfaces.push_back(fm);
  }
}

std::array<double, 3> at(const KelvoModel *model, int32_t v) {
  return {model->m_coordinates[3 * static_cast<size_t>(v)], model->m_coordinates[3 * static_cast<size_t>(v) + 1],
          model->m_coordinates[3 * static_cast<size_t>(v) + 2]};
}

// Every face of a surface turns away from the element it belongs to.
void expectOutward(const Loaded &loaded, size_t s) {
  FaceMesh *fm = loaded.m_surfaces[s];
  FaceSet **sets = nullptr;
  const int32_t nsets = FaceMesh_getFaceSets(fm, &sets);
  for (int32_t k = 0; k < nsets; ++k) {
    int32_t stride = 0;
    int32_t *rows = nullptr;
    int32_t padded = 0;
    int32_t pad = 0;
    const int32_t nfc = FaceSet_getFaceVertices(sets[k], 0, nullptr, 0, &stride, &rows, &padded, &pad);
    int32_t n = 0;
    int32_t *elements = nullptr;
    int32_t *local = nullptr;
    FaceSet_getFaces(sets[k], 0, nullptr, 0, &n, &elements, &local);
    ElementSet *set = FaceSet_getElementSet(sets[k]);
    for (int32_t f = 0; f < nfc; ++f) {
      int32_t corners[8];
      int32_t count = 0;
      ElementSet_getElement(set, elements[f], 0, nullptr, 0, &count, corners);
      std::array<double, 3> centre = {0, 0, 0};
      for (int32_t c = 0; c < count; ++c)
        for (int a = 0; a < 3; ++a)
          centre[a] += at(loaded.m_model, corners[c])[a] / count;
      const int32_t *row = rows + static_cast<int64_t>(f) * stride;
      int32_t size = 0;
      while (size < stride && row[size] != pad)
        ++size;
      // Newell's normal of the face, against the direction from the element's centre.
      std::array<double, 3> normal = {0, 0, 0};
      std::array<double, 3> middle = {0, 0, 0};
      for (int32_t p = 0; p < size; ++p) {
        const auto a = at(loaded.m_model, row[p]);
        const auto b = at(loaded.m_model, row[(p + 1) % size]);
        normal[0] += (a[1] - b[1]) * (a[2] + b[2]);
        normal[1] += (a[2] - b[2]) * (a[0] + b[0]);
        normal[2] += (a[0] - b[0]) * (a[1] + b[1]);
        for (int c = 0; c < 3; ++c)
          middle[c] += a[c] / size;
      }
      double dot = 0;
      for (int c = 0; c < 3; ++c)
        dot += normal[c] * (middle[c] - centre[c]);
      EXPECT_GT(dot, 0) << loaded.m_model->m_surfaces[s].m_name << " face " << f;
    }
    zyrMemory_free(rows, "test");
    zyrMemory_free(elements, "test");
    zyrMemory_free(local, "test");
  }
  zyrMemory_free(sets, "test");
}

TEST_F(MeshTest, GmshMeshesAsMeshRecords) {
  // Element counts by type as Gmsh wrote them (the meshes' README).
  const std::map<std::string, std::array<int32_t, 8>> counts = {
      {"box-hex.v2.msh", {0, 0, 0, 0, 0, 0, 0, 128}},
      {"box-tet.v4.msh", {0, 0, 0, 0, 1125, 0, 0, 0}},
      {"mixed.v4.msh", {0, 0, 0, 0, 436, 16, 84, 64}},
      {"two-blocks.v4.msh", {0, 0, 0, 0, 1391, 0, 0, 0}}};
  for (const auto &entry : counts) {
    SCOPED_TRACE(entry.first);
    Loaded loaded;
    load(entry.first, loaded);
    std::array<int32_t, 8> byType = {0, 0, 0, 0, 0, 0, 0, 0};
    for (ElementMesh *mesh : loaded.m_meshes)
      ElementMesh_getNoOfElementsByType(mesh, byType.data());
    EXPECT_EQ(byType, entry.second);
    for (size_t s = 0; s < loaded.m_surfaces.size(); ++s)
      expectOutward(loaded, s);
  }
}

// The two sides of each internal surface carry the same vertices: matching pairs equal vertex
// numbers, and the interface map made from the shared numbering says the same.
TEST_F(MeshTest, GmshInternalSurfacesMatch) {
  for (const char *name : {"two-blocks.v4.msh", "mixed.v4.msh", "mixed.v2.msh"}) {
    SCOPED_TRACE(name);
    Loaded loaded;
    load(name, loaded);
    const KelvoModel *model = loaded.m_model;
    const int32_t nv = static_cast<int32_t>(KelvoModel_getNoOfVertices(model));
    std::vector<int32_t> all(static_cast<size_t>(nv));
    std::iota(all.begin(), all.end(), 0);
    IntegerMap *identity = IntegerMap_new(nv, trackedInts(all));
    int pairs = 0;
    for (size_t s = 0; s < model->m_surfaces.size(); ++s) {
      const int32_t partner = model->m_surfaces[s].m_partner;
      if (partner < 0 || static_cast<size_t>(partner) < s)
        continue;
      ++pairs;
      FaceMesh *side0 = loaded.m_surfaces[s];
      FaceMesh *side1 = loaded.m_surfaces[static_cast<size_t>(partner)];
      int32_t *perm = nullptr;
      int32_t *faceMap = nullptr;
      ASSERT_EQ(FaceMesh_match(side0, side1, nullptr, 0.005, 0, &perm, &faceMap), 1) << model->m_surfaces[s].m_name;
      int32_t *vertices0 = nullptr;
      int32_t *vertices1 = nullptr;
      const int32_t n = FaceMesh_getVertices(side0, 0, nullptr, &vertices0);
      ASSERT_EQ(FaceMesh_getVertices(side1, 0, nullptr, &vertices1), n);
      for (int32_t i = 0; i < n; ++i)
        EXPECT_EQ(vertices0[i], vertices1[perm[i]]);
      InterfaceMap *map = InterfaceMap_newFromVertexMaps(side0, side1, nullptr, identity, identity);
      ASSERT_NE(map, nullptr);
      int32_t *shared = nullptr;
      InterfaceMap_getVertexPermutation(map, &shared);
      EXPECT_TRUE(std::equal(shared, shared + n, perm));
      int32_t *mapped = nullptr;
      ASSERT_EQ(InterfaceMap_getFaceMap(map, &mapped), FaceMesh_getNoOfFaces(side0));
      EXPECT_TRUE(std::equal(mapped, mapped + FaceMesh_getNoOfFaces(side0), faceMap));
      zyrMemory_free(perm, "test");
      zyrMemory_free(faceMap, "test");
      zyrMemory_free(vertices0, "test");
      zyrMemory_free(vertices1, "test");
    }
    EXPECT_GT(pairs, 0);
    IntegerMap_delete(identity);
  }
}

} // namespace
