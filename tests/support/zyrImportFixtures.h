#ifndef ZYR_IMPORT_FIXTURES_H
#define ZYR_IMPORT_FIXTURES_H
// What the import and definition-file tests, fuzz targets and benchmarks of the exchange layer
// build alike. Header-only: it needs the exchange layer's headers of its user, so the support
// library itself still depends on no layer.
//
// - ModelParts and openImportStore: a store for imports and writes, with the parts of a stand-in
//   Model handed to the import's and the writer's hooks.
// - makePeriodicBlock and periodicPhysics: one block of hexahedra whose bottom and top are a
//   Direct domain interface of the given model.
#include "Boundary.h"
#include "DefWriter.h"
#include "ElementMesh.h"
#include "ElementSet.h"
#include "ElementTopology.h"
#include "FaceMesh.h"
#include "FaceSet.h"
#include "ImportedMesh.h"
#include "Mesh.h"
#include "Region.h"
#include "Repository.h"
#include "Representation.h"
#include "Shell.h"
#include "Topology.h"
#include "Vertices.h"
#include "zyrMemory.h"
#include "zyrMeshLayer.h"
#include "zyrTopologyLayer.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

namespace zyrtest {

// Stands in for the Model of the layer above: the parts the hooks hand out.
struct ModelParts {
  Topology *m_topology = nullptr;
  Mesh *m_mesh = nullptr;
  Representation *m_representation = nullptr;
};

// The parts every hooked Model stands for.
inline ModelParts &hookedParts() {
  static ModelParts parts;
  return parts;
}
inline Model *hookedModel() { return reinterpret_cast<Model *>(&hookedParts()); }

// New empty parts in the current store.
inline void freshParts() {
  ModelParts &parts = hookedParts();
  parts.m_topology = Topology_new();
  parts.m_mesh = Mesh_new(parts.m_topology);
  parts.m_representation = Representation_new(parts.m_topology);
}

// The layers initialised with the local units definitions, the import's and the writer's hooks
// set to hookedParts(), and a new store in `file`; NULL when the store cannot be made.
inline Repository *openImportStore(const std::string &file) {
  setenv("ZYR_USE_LOCAL_UNITS", "1", 1);
  zyrTopologyLayer_initialise();
  zyrMeshLayer_initialise();
  struct Hooks {
    static Topology *topology(const Model *) { return hookedParts().m_topology; }
    static Mesh *mesh(const Model *) { return hookedParts().m_mesh; }
    static Representation *representation(const Model *) { return hookedParts().m_representation; }
    static char *noDirectory() { return nullptr; }
  };
  static const ImportedMeshModelHooks importHooks = {Hooks::topology, Hooks::mesh, Hooks::representation,
                                                     Hooks::noDirectory};
  ImportedMesh_setModelHooks(&importHooks);
  static const DefWriterModelHooks writerHooks = {Hooks::topology, Hooks::mesh, nullptr};
  DefWriter_setModelHooks(&writerHooks);
  return Repository_new(file.c_str());
}

// The native face of a hexahedron whose vertices are the set; -1 when none.
inline int32_t hexahedronFace(const std::set<int32_t> &vertices) {
  int32_t count = 0;
  const int32_t *counts = nullptr, *lists = nullptr;
  ElementTopology_getFaceVertices(ZYR_ELEMENT_HEXA_8, 0, &count, &counts, &lists);
  for (int32_t f = 0; f < count; ++f)
    if (std::set<int32_t>(lists + 4 * f, lists + 4 * f + 4) == vertices)
      return f;
  return -1;
}

// A tracked copy of the values (one entry at least).
inline int32_t *trackedInts(const std::vector<int32_t> &values) {
  int32_t *array = zyrMemory_allocateArray<int32_t>(int64_t(std::max<size_t>(values.size(), 1)), "zyrtest");
  std::copy(values.begin(), values.end(), array);
  return array;
}

// A block of cells x cells x 2 hexahedra of 1 cm: the volume "Block" of the assembly "Block",
// bounded by the surfaces "bottom" and "top" with their face meshes. With `reverseTop` the top's
// faces come in reverse order.
inline void makePeriodicBlock(Topology *topology, Mesh *mesh, int32_t cells, bool reverseTop) {
  Assembly *assembly = Topology_addAssembly(topology, "Block");
  Region *volume = Region_new(topology, assembly, "Block", 3);
  Region *sides[2] = {Region_new(topology, assembly, "bottom", 2), Region_new(topology, assembly, "top", 2)};
  Shell *shell = Shell_new();
  Shell_addRegion(shell, sides[0]);
  Shell_addRegion(shell, sides[1]);
  Boundary *boundary = Boundary_new();
  Boundary_addShell(boundary, shell);
  Region_setBoundary(volume, boundary);

  const int32_t layers = 2, row = cells + 1, plane = row * row;
  double *xyz = zyrMemory_allocateArray<double>(3 * int64_t(plane) * (layers + 1), "zyrtest");
  for (int32_t k = 0; k <= layers; ++k)
    for (int32_t j = 0; j < row; ++j)
      for (int32_t i = 0; i < row; ++i) {
        double *p = xyz + 3 * (int64_t(k) * plane + j * row + i);
        p[0] = 0.01 * i;
        p[1] = 0.01 * j;
        p[2] = 0.01 * k;
      }
  std::vector<int32_t> hexes, lists[2];
  for (int32_t k = 0; k < layers; ++k)
    for (int32_t j = 0; j < cells; ++j)
      for (int32_t i = 0; i < cells; ++i) {
        const int32_t a = k * plane + j * row + i;
        if (k == 0)
          lists[0].push_back(int32_t(hexes.size() / 8));
        if (k == layers - 1)
          lists[1].insert(reverseTop ? lists[1].begin() : lists[1].end(), int32_t(hexes.size() / 8));
        for (int32_t v : {a, a + 1, a + row + 1, a + row, a + plane, a + plane + 1, a + plane + row + 1, a + plane + row})
          hexes.push_back(v);
      }
  ElementMesh *em = ElementMesh_new(volume);
  ElementMesh_setVertices(em, Vertices_new(3, "m", 0, plane * (layers + 1), xyz));
  ElementSet *set = ElementSet_new(ZYR_ELEMENT_HEXA_8, 0, int32_t(hexes.size()), trackedInts(hexes));
  ElementMesh_addElementSet(em, set);
  Mesh_addElementMesh(mesh, em);
  const int32_t faces[2] = {hexahedronFace({0, 1, 2, 3}), hexahedronFace({4, 5, 6, 7})};
  for (int s = 0; s < 2; ++s) {
    FaceMesh *fm = FaceMesh_new(sides[s], em);
    FaceMesh_addFaceSet(fm, FaceSet_new(set, 0, int32_t(lists[s].size()), trackedInts(lists[s]),
                                        trackedInts(std::vector<int32_t>(lists[s].size(), faces[s]))));
    Mesh_addFaceMesh(mesh, fm);
  }
}

// The physics of the block: one domain with the boundaries "lower" (bottom) and "upper" (top),
// joined by the Direct domain interface "Periodic" of the interface model `option`.
inline std::vector<std::string> periodicPhysics(const std::string &option) {
  return {"FLOW:",
          "  SOLUTION UNITS:",
          "    Length Units = [m]",
          "  END",
          "  DOMAIN: Block",
          "    Location = Block",
          "    BOUNDARY: lower",
          "      Location = bottom",
          "    END",
          "    BOUNDARY: upper",
          "      Location = top",
          "    END",
          "  END",
          "  DOMAIN INTERFACE: Periodic",
          "    Boundary List1 = lower",
          "    Boundary List2 = upper",
          "    Interface Type = Fluid Fluid",
          "    INTERFACE MODELS:",
          "      Option = " + option,
          "    END",
          "    MESH CONNECTION:",
          "      Option = Direct",
          "    END",
          "  END",
          "END"};
}

} // namespace zyrtest

#endif
