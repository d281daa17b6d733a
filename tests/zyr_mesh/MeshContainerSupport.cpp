#include "MeshContainerSupport.h"

#include "ElementMesh.h"
#include "ElementSet.h"
#include "ElementTopology.h"
#include "FaceMesh.h"
#include "FaceSet.h"
#include "MeshTestSupport.h"
#include "Vertices.h"

FaceList facesWhere(int32_t type, const std::vector<int32_t> &connectivity, const std::vector<double> &xyz,
                    const std::function<bool(const double *)> &test) {
  FaceList faces;
  int32_t nf = 0;
  const int32_t *sizes = nullptr;
  const int32_t *lists = nullptr;
  ElementTopology_getFaceVertices(type, 0, &nf, &sizes, &lists);
  const int32_t nv = ElementTopology_getNoOfVertices(type);
  const int32_t nel = static_cast<int32_t>(connectivity.size()) / nv;
  for (int32_t e = 0; e < nel; ++e)
    for (int32_t f = 0; f < nf; ++f) {
      bool all = true;
      for (int32_t k = 0; all && k < sizes[f]; ++k)
        all = test(&xyz[3 * static_cast<size_t>(connectivity[static_cast<size_t>(e * nv + lists[4 * f + k])])]);
      if (all)
        faces.emplace_back(e, f);
    }
  return faces;
}

Vertices *verticesOf(const std::vector<double> &xyz) {
  return Vertices_new(3, "m", 2, static_cast<int32_t>(xyz.size() / 3), trackedDoubles(xyz));
}

ElementMesh *elementMeshOf(Region *region, Vertices *vertices, int32_t type, const std::vector<int32_t> &connectivity,
                           ElementSet **set) {
  ElementMesh *mesh = ElementMesh_new(region);
  if (vertices != nullptr)
    ElementMesh_setVertices(mesh, vertices);
  ElementSet *s = ElementSet_new(type, 0, static_cast<int32_t>(connectivity.size()), trackedInts(connectivity));
  ElementMesh_addElementSet(mesh, s);
  if (set != nullptr)
    *set = s;
  return mesh;
}

FaceMesh *faceMeshOf(Region *region, ElementMesh *elementMesh, ElementSet *set, const FaceList &faces) {
  std::vector<int32_t> elements;
  std::vector<int32_t> local;
  for (const auto &face : faces) {
    elements.push_back(face.first);
    local.push_back(face.second);
  }
  FaceMesh *fm = FaceMesh_new(region, elementMesh);
  FaceMesh_addFaceSet(fm, FaceSet_new(set, 0, static_cast<int32_t>(faces.size()), trackedInts(elements),
                                      trackedInts(local)));
  return fm;
}
