// The mesh half of reading an intermediate mesh file: one vertex set shared by all volumes,
// localised per volume, element and face sets handed over from the checked contents, and the
// interface maps of direct connections built from the shared vertices.
#include "ImportedMesh.h"
#include "ImportedMeshGMO.h"

#include "Connection.h"
#include "ElementMesh.h"
#include "ElementSet.h"
#include "ElementTopology.h"
#include "FaceMesh.h"
#include "FaceSet.h"
#include "GmoContents.h"
#include "HashTable.h"
#include "IntegerMap.h"
#include "InterfaceMap.h"
#include "Mesh.h"
#include "Region.h"
#include "Splitting.h"
#include "Units.h"
#include "Vertices.h"
#include "zyrCString.h"
#include "zyrError.h"
#include "zyrErrorCode.h"
#include "zyrMemory.h"
#include "zyrTrace.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// What the steps of one load share: the contents being handed over, the sets made of them (by
// their numbers in the file) and the Splitting that records each volume's vertex map.
struct GmoMeshLoad {
  ImportedMesh *m_im;
  GmoContents *m_c;
  const char *m_fn;
  const char *m_unit;
  ElementSet **m_elementSets;
  FaceSet **m_faceSets;
  Splitting *m_splitting;
  int32_t *m_local; // per shared vertex: -1, or its number in the volume at hand
};

// The file's unit when it names one, else the import's; without either, metres (a replayed
// session hands an empty unit for none).
const char *unitOf(const GmoContents *c, const char *units, const char *fn) {
  const char *unit = units != nullptr && !zyrCString_isBlank(units) ? units : "m";
  if (c->m_units == nullptr)
    return unit;
  if (Units_isValid(c->m_units))
    return c->m_units;
  ZYR_ERROR_FOR(ZYR_W_INVALID_INPUT_IGNORED, fn,
                "The coordinates of the imported mesh are stored in an unrecognised\n"
                "set of units, \"%s\". These have been ignored and the default units,\n"
                "\"%s\", have been used instead.\n",
                c->m_units, units != nullptr ? units : "");
  return unit;
}

// The ascending list of the shared vertices the volume's elements use; each is given its number
// in the list.
std::vector<int32_t> usedVertices(const GmoMeshLoad &load, int32_t v) {
  const GmoContents *c = load.m_c;
  std::vector<int32_t> used;
  for (int32_t i = c->m_elementSetPointer[v]; i < c->m_elementSetPointer[v + 1]; ++i) {
    const int32_t set = c->m_volumeElementSets[i];
    for (int32_t k = 0; k < c->m_elementLengths[set]; ++k) {
      int32_t &slot = load.m_local[c->m_elementVertices[set][k]];
      if (slot == -1) {
        slot = 0;
        used.push_back(c->m_elementVertices[set][k]);
      }
    }
  }
  std::sort(used.begin(), used.end());
  for (size_t j = 0; j < used.size(); ++j)
    load.m_local[used[j]] = static_cast<int32_t>(j);
  return used;
}

// The volume's element sets, their lists renumbered to the volume's vertices. The lists are
// handed over as each set is made, so the mesh is never held twice.
int addElementSets(GmoMeshLoad &load, int32_t v, ElementMesh *elementMesh) {
  GmoContents *c = load.m_c;
  int result = 1;
  for (int32_t i = c->m_elementSetPointer[v]; result && i < c->m_elementSetPointer[v + 1]; ++i) {
    const int32_t set = c->m_volumeElementSets[i];
    int32_t *list = c->m_elementVertices[set];
    c->m_elementVertices[set] = nullptr;
    for (int32_t k = 0; k < c->m_elementLengths[set]; ++k)
      list[k] = load.m_local[list[k]];
    load.m_elementSets[set] = ElementSet_new(GmoContents_elementType(c->m_elementTypes[set]), zyrConvention_WEZ5,
                                             c->m_elementLengths[set], list);
    result = load.m_elementSets[set] != nullptr && ElementMesh_addElementSet(elementMesh, load.m_elementSets[set]);
  }
  return result;
}

// The volume's own vertices, copied from the shared ones (whose numbers are cleared for the next
// volume), and the Splitting's vertex map from the same list.
int addVertices(GmoMeshLoad &load, ElementMesh *elementMesh, const std::vector<int32_t> &used, int setsMade) {
  const int32_t count = static_cast<int32_t>(used.size());
  double *xyz = count > 0 ? zyrMemory_allocateArray<double>(3 * static_cast<int64_t>(count), load.m_fn) : nullptr;
  for (int32_t j = 0; j < count; ++j) {
    memcpy(xyz + 3 * static_cast<int64_t>(j),
           load.m_c->m_coordinates + 3 * static_cast<int64_t>(used[static_cast<size_t>(j)]), 3 * sizeof(double));
    load.m_local[used[static_cast<size_t>(j)]] = -1;
  }
  Vertices *vertices = Vertices_new(3, load.m_unit, 0, count, xyz);
  if (!setsMade || vertices == nullptr) {
    if (vertices != nullptr)
      Vertices_delete(vertices);
    return 0;
  }
  ElementMesh_setVertices(elementMesh, vertices);
  if (count == 0)
    return 1;
  int32_t *values = zyrMemory_allocateArray<int32_t>(count, load.m_fn);
  memcpy(values, used.data(), sizeof(int32_t) * static_cast<size_t>(count));
  IntegerMap *map = IntegerMap_new(count, values);
  if (map == nullptr) {
    zyrMemory_free(values, load.m_fn);
    return 0;
  }
  HashTable_insert(load.m_splitting->m_maps, elementMesh, map);
  return 1;
}

// Each volume gets its own vertices in one pass: the ascending list of the shared vertices its
// elements use (what localising through a Splitting computes), the lists renumbered to it
// before their element sets are made, and the Splitting's vertex map filled from the same list.
// The store then writes every list and every coordinate once. LocaliseIsIdentical (tests)
// compares the result with localising the shared vertices afterwards.
int buildVolumeMeshes(GmoMeshLoad &load) {
  ImportedMesh *im = load.m_im;
  const int64_t noOfVertices = load.m_c->m_noOfVertices > 0 ? load.m_c->m_noOfVertices : 1;
  load.m_local = zyrMemory_allocateArray<int32_t>(noOfVertices, load.m_fn);
  for (int64_t k = 0; k < noOfVertices; ++k)
    load.m_local[k] = -1;
  int result = 1;
  for (int32_t v = 0; result && v < load.m_c->m_nvl; ++v) {
    const std::vector<int32_t> used = usedVertices(load, v);
    ElementMesh *elementMesh = ElementMesh_new(im->m_regions[v]);
    if (elementMesh == nullptr || !Mesh_addElementMesh(im->m_mesh, elementMesh)) {
      result = 0;
      break;
    }
    const int setsMade = addElementSets(load, v, elementMesh);
    result = addVertices(load, elementMesh, used, setsMade);
  }
  zyrMemory_free(load.m_local, load.m_fn);
  load.m_local = nullptr;
  return result;
}

// The face sets, their lists handed over, on the element sets made before.
int buildFaceSets(GmoMeshLoad &load) {
  GmoContents *c = load.m_c;
  int result = 1;
  for (int32_t j = 0; result && j < c->m_nfs; ++j) {
    int32_t *elements = c->m_faceElements[j], *faces = c->m_localFaces[j];
    c->m_faceElements[j] = c->m_localFaces[j] = nullptr;
    load.m_faceSets[j] = FaceSet_new(load.m_elementSets[c->m_faceElementSets[j]], zyrConvention_WEZ5,
                                     c->m_faceCounts[j], elements, faces);
    result = load.m_faceSets[j] != nullptr;
  }
  return result;
}

// Each surface's face mesh, on the element mesh of the volume it bounds, with its face sets.
int buildFaceMeshes(GmoMeshLoad &load) {
  ImportedMesh *im = load.m_im;
  const GmoContents *c = load.m_c;
  for (int32_t s = 0; s < c->m_nsf; ++s) {
    Region *surface = im->m_regions[c->m_nvl + s];
    ElementMesh *elementMesh = Mesh_getElementMesh(im->m_mesh, Region_getBoundedRegion(surface));
    FaceMesh *faceMesh = elementMesh != nullptr ? FaceMesh_new(surface, elementMesh) : nullptr;
    if (faceMesh == nullptr || !Mesh_addFaceMesh(im->m_mesh, faceMesh))
      return 0;
    for (int32_t i = c->m_faceSetPointer[s]; i < c->m_faceSetPointer[s + 1]; ++i)
      FaceMesh_addFaceSet(faceMesh, load.m_faceSets[c->m_surfaceFaceSets[i]]);
  }
  return 1;
}

// The interface maps of the direct connections, from the shared vertices the Splitting kept.
int addDirectInterfaceMaps(GmoMeshLoad &load, int32_t noOfConnections, Connection **connections) {
  int result = 1;
  for (int32_t k = 0; result && k < noOfConnections; ++k) {
    if (!Connection_isDirect(connections[k]))
      continue;
    InterfaceMap *map = InterfaceMap_newFromSplitting(load.m_im->m_mesh, connections[k], load.m_splitting);
    if (map == nullptr || !Mesh_addInterfaceMap(load.m_im->m_mesh, map))
      result = 0;
  }
  return result;
}

} // namespace

int ImportedMesh_loadMeshFromGMO(ImportedMesh *im, GmoContents *c, const char *units) {
  ZYR_TRACE_BEGIN();
  const char *fn = __func__;
  Connection **connections = nullptr;
  const int32_t noOfConnections = ImportedMesh_collectConnections(im->m_noOfRegions, im->m_regions, &connections);
  GmoMeshLoad load{im, c, fn, unitOf(c, units, fn), nullptr, nullptr, nullptr, nullptr};
  load.m_elementSets = zyrMemory_allocateZeroedArray<ElementSet *>(c->m_nes > 0 ? c->m_nes : 1, fn);
  load.m_faceSets = zyrMemory_allocateZeroedArray<FaceSet *>(c->m_nfs > 0 ? c->m_nfs : 1, fn);
  load.m_splitting = Splitting_new(nullptr);

  int result = buildVolumeMeshes(load) && buildFaceSets(load) && buildFaceMeshes(load) &&
               addDirectInterfaceMaps(load, noOfConnections, connections);
  Splitting_delete(load.m_splitting);
  if (result && !Mesh_splitSharedVertices(im->m_mesh)) {
    ZYR_ERROR(ZYR_I_INTERNAL_ERROR, "Unable to split the vertices shared between volumes of the imported mesh.\n");
    result = 0;
  }
  if (result && ZYR_TRACE_DEBUG(1))
    ImportedMesh_printLoadedMesh(im, fn);

  // Objects made before a failure are the caller's roll-back's to remove from the store; the
  // memory arrays are this function's.
  zyrMemory_free(load.m_elementSets, fn);
  zyrMemory_free(load.m_faceSets, fn);
  zyrMemory_free(connections, fn);
  return result;
}
