#ifndef EDITING_TEST_SUPPORT_H
#define EDITING_TEST_SUPPORT_H
// Models built by hand for the tests of gluing and assembly editing: unit hexahedra in a row along
// x, each its own assembly with a volume and its left and right faces as meshed surfaces. Block
// "A" at x0 has the regions "Avol", "Aleft" (x = x0) and "Aright" (x = x0 + 1); two blocks one
// unit apart meet face to face.
#include "ApiTestSupport.h"
#include "Assembly.h"
#include "ElementMesh.h"
#include "ElementSet.h"
#include "ElementTopology.h"
#include "FaceMesh.h"
#include "FaceSet.h"
#include "Mesh.h"
#include "Model.h"
#include "Region.h"
#include "Topology.h"
#include "Vertices.h"
#include "zyrCString.h"
#include "zyrMemory.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace editingtest {

using apitest::strings;
using apitest::tracked;

// The face of the hexahedron whose four vertices all have x == at.
inline int32_t hexFaceAt(const std::vector<double> &xyz, double at) {
  int32_t nf = 0;
  const int32_t *sizes = nullptr;
  const int32_t *lists = nullptr;
  ElementTopology_getFaceVertices(ZYR_ELEMENT_HEXA_8, 0, &nf, &sizes, &lists);
  for (int32_t f = 0; f < nf; ++f) {
    bool all = true;
    for (int32_t k = 0; all && k < sizes[f]; ++k)
      all = xyz[3 * static_cast<size_t>(lists[4 * f + k])] == at;
    if (all)
      return f;
  }
  return -1;
}

inline FaceMesh *faceMeshAt(Region *surface, ElementMesh *em, ElementSet *set, int32_t face) {
  FaceMesh *fm = FaceMesh_new(surface, em);
  FaceMesh_addFaceSet(fm,
                      FaceSet_new(set, 0, 1, tracked(std::vector<int32_t>{0}), tracked(std::vector<int32_t>{face})));
  return fm;
}

// A unit hexahedron block named name at x0; its assembly.
inline Assembly *addBlock(Model *model, const std::string &name, double x0) {
  Topology *t = Model_getTopology(model);
  Assembly *assembly = Topology_addAssembly(t, name.c_str());
  Region *vol = Region_new(t, assembly, (name + "vol").c_str(), 3);
  Region *left = Region_new(t, assembly, (name + "left").c_str(), 2);
  Region *right = Region_new(t, assembly, (name + "right").c_str(), 2);
  const std::vector<double> xyz = {x0, 0, 0, x0 + 1, 0, 0, x0 + 1, 1, 0, x0, 1, 0,
                                   x0, 0, 1, x0 + 1, 0, 1, x0 + 1, 1, 1, x0, 1, 1};
  ElementMesh *em = ElementMesh_new(vol);
  ElementMesh_setVertices(em, Vertices_new(3, "m", 2, 8, tracked(xyz)));
  const std::vector<int32_t> hexa = {0, 1, 2, 3, 4, 5, 6, 7};
  ElementSet *set = ElementSet_new(ZYR_ELEMENT_HEXA_8, 0, 8, tracked(hexa));
  ElementMesh_addElementSet(em, set);
  Mesh *mesh = Model_getMesh(model);
  Mesh_addElementMesh(mesh, em);
  Mesh_addFaceMesh(mesh, faceMeshAt(left, em, set, hexFaceAt(xyz, x0)));
  Mesh_addFaceMesh(mesh, faceMeshAt(right, em, set, hexFaceAt(xyz, x0 + 1)));
  return assembly;
}

// The smallest x of the volume mesh of the assembly's first volume; a large value without one.
inline double lowestX(Model *model, const char *assemblyName) {
  Assembly *assembly = Topology_findAssembly(Model_getTopology(model), assemblyName);
  if (assembly == nullptr)
    return 1e300;
  Region **volumes = nullptr;
  const int32_t n = Assembly_getRegions(assembly, 8, &volumes);
  double lowest = 1e300;
  ElementMesh *em = n > 0 ? Mesh_getElementMesh(Model_getMesh(model), volumes[0]) : nullptr;
  zyrMemory_free(volumes, "test");
  if (em == nullptr)
    return lowest;
  double *xyz = nullptr;
  const int32_t nv = ElementMesh_getVertexCoordinates(em, "m", 0, nullptr, &xyz);
  for (int32_t i = 0; i < nv; ++i)
    lowest = xyz[3 * i] < lowest ? xyz[3 * i] : lowest;
  zyrMemory_free(xyz, "test");
  return lowest;
}

// The names of the model's assemblies, sorted.
inline std::vector<std::string> assemblyNames(Model *model) {
  char **names = nullptr;
  const int32_t n = Model_getAssemblies(model, &names);
  std::vector<std::string> sorted = strings(n, names);
  std::sort(sorted.begin(), sorted.end());
  return sorted;
}

} // namespace editingtest

#endif
