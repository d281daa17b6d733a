// Element sets, face sets and face meshes made from lists as a mesh file or a damaged database could
// hold them: whatever the lists, creation either refuses them or gives records whose every query
// (face rows, triangles first, edges, length scales, matching against a copy, face maps from any
// permutation) stays inside its arrays.
// Input: element type, vertex convention, face convention, element count and face count bytes, then
// the vertex numbers (one byte each), the faces' element indices and local faces (signed bytes), and
// the bytes of a permutation.
#include "ElementMesh.h"
#include "ElementSet.h"
#include "ElementTopology.h"
#include "FaceMesh.h"
#include "FaceSet.h"
#include "InterfaceMatching.h"
#include "Repository.h"
#include "Vertices.h"
#include "zyrErrorManager.h"
#include "zyrMemory.h"
#include "zyrMeshLayer.h"
#include "zyrTestSupport.h"

#include <stdlib.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Fewer vertices than a byte can name: some lists name vertices the mesh does not have.
const int32_t kVertices = 200;

struct Store {
  Store() : m_dir("zyrfuzzmesh") {
    zyrMeshLayer_initialise();
    setenv("ZYR_USE_LOCAL_UNITS", "1", 0);
    m_repository = Repository_new(m_dir.file("db").c_str());
    if (m_repository == nullptr)
      std::abort();
  }
  ~Store() { Repository_close(m_repository, -1); }
  zyrtest::ScratchDir m_dir;
  Repository *m_repository;
};

int32_t *tracked(const std::vector<int32_t> &values) {
  int32_t *array = zyrMemory_allocateArray<int32_t>(values.empty() ? 1 : static_cast<int64_t>(values.size()), "fuzz");
  for (size_t i = 0; i < values.size(); ++i)
    array[i] = values[i];
  return array;
}

void query(FaceMesh *fm) {
  int32_t *rows = nullptr;
  int32_t nside = 0, mixed = 0, sentinel = 0;
  FaceMesh_getFaceVertices(fm, 0, 1, 0, nullptr, 1, &rows, &nside, &mixed, &sentinel);
  zyrMemory_free(rows, "fuzz");
  int32_t *faces = nullptr;
  int32_t triangles = 0, quadrilaterals = 0;
  FaceMesh_getTrisAndQuads(fm, 1, 0, nullptr, &faces, &triangles, &quadrilaterals);
  zyrMemory_free(faces, "fuzz");
  int32_t *edges = nullptr, *sides = nullptr;
  int32_t internal = 0, boundary = 0;
  FaceMesh_getEdges(fm, 0, 0, nullptr, &edges, &sides, &internal, &boundary);
  zyrMemory_free(edges, "fuzz");
  zyrMemory_free(sides, "fuzz");
  double *scale = nullptr;
  FaceMesh_getLocalLengthScale(fm, &scale);
  zyrMemory_free(scale, "fuzz");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static Store store;
  if (size < 5)
    return 0;
  const int32_t type = data[0] % 9;
  const int32_t convention = data[1] % 9;
  const int32_t faceConvention = data[2] % 9;
  const int32_t nel = data[3] % 16;
  const int32_t nfc = data[4] % 32;
  size_t at = 5;
  auto next = [&]() -> uint8_t { return at < size ? data[at++] : 0; };
  const int32_t v = type < 8 ? ElementTopology_getNoOfVertices(type) : 4;
  std::vector<int32_t> connectivity;
  for (int32_t i = 0; i < nel * v; ++i)
    connectivity.push_back(next());
  std::vector<int32_t> elements, local;
  for (int32_t i = 0; i < nfc; ++i) {
    elements.push_back(static_cast<int8_t>(next()));
    local.push_back(static_cast<int8_t>(next()));
  }

  std::vector<double> xyz;
  for (int32_t i = 0; i < kVertices; ++i)
    xyz.insert(xyz.end(), {0.1 * (i % 7), 0.1 * ((i / 7) % 7), 0.1 * (i / 49)});
  double *coordinates = zyrMemory_allocateArray<double>(3 * kVertices, "fuzz");
  for (size_t i = 0; i < xyz.size(); ++i)
    coordinates[i] = xyz[i];
  ElementMesh *mesh = ElementMesh_new(nullptr);
  ElementMesh_setVertices(mesh, Vertices_new(3, "m", 2, kVertices, coordinates));
  ElementSet *set = ElementSet_new(type, convention, static_cast<int32_t>(connectivity.size()), tracked(connectivity));
  if (set != nullptr) {
    ElementMesh_addElementSet(mesh, set);
    FaceSet *faces = FaceSet_new(set, faceConvention, nfc, tracked(elements), tracked(local));
    if (faces != nullptr) {
      FaceMesh *fm = FaceMesh_new(nullptr, mesh);
      FaceMesh_addFaceSet(fm, faces);
      query(fm);
      FaceMesh *copy = FaceMesh_new(nullptr, mesh);
      FaceSet *copied = FaceSet_copy(faces, nullptr);
      FaceMesh_addFaceSet(copy, copied);
      int32_t *perm = nullptr, *faceMap = nullptr;
      if (FaceMesh_match(fm, copy, nullptr, 0.5, 0, &perm, &faceMap) == 1) {
        zyrMemory_free(perm, "fuzz");
        zyrMemory_free(faceMap, "fuzz");
      }
      const int32_t n = FaceMesh_getNoOfVertices(fm, 0);
      if (n > 0) {
        std::vector<int32_t> permutation;
        for (int32_t i = 0; i < n; ++i)
          permutation.push_back(next() % n);
        FaceMesh *const pair[2] = {fm, copy};
        int32_t *map = nullptr;
        if (MA_calculateFaceMap(pair, n, permutation.data(), &map) == 1)
          zyrMemory_free(map, "fuzz");
      }
      FaceMesh_removeFaceSet(copy, copied);
      FaceSet_delete(copied);
      FaceMesh_delete(copy);
      FaceMesh_removeFaceSet(fm, faces);
      FaceSet_delete(faces);
      FaceMesh_delete(fm);
    }
    ElementMesh_removeElementSet(mesh, set);
    ElementSet_delete(set);
  }
  ElementMesh_delete(mesh);
  zyrErrorManager_clearErrors(zyrErrorManager_get());
  return 0;
}
