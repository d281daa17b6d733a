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

int ImportedMesh_loadMeshFromGMO(ImportedMesh *im, GmoContents *c, const char *units) {
  ZYR_TRACE_BEGIN();
  const char *fn = __func__;
  Connection **connections = nullptr;
  const int32_t noOfConnections = ImportedMesh_collectConnections(im->m_noOfRegions, im->m_regions, &connections);

  // The file's unit when it names one, else the import's; without either, metres (a replayed
  // session hands an empty unit for none).
  const char *unit = units != nullptr && !zyrCString_isBlank(units) ? units : "m";
  if (c->m_units != nullptr) {
    if (Units_isValid(c->m_units)) {
      unit = c->m_units;
    } else {
      ZYR_ERROR_FOR(ZYR_W_INVALID_INPUT_IGNORED, fn,
                    "The coordinates of the imported mesh are stored in an unrecognised\n"
                    "set of units, \"%s\". These have been ignored and the default units,\n"
                    "\"%s\", have been used instead.\n",
                    c->m_units, units != nullptr ? units : "");
    }
  }
  int result = 1;
  ElementSet **elementSets = zyrMemory_allocateZeroedArray<ElementSet *>(c->m_nes > 0 ? c->m_nes : 1, fn);
  FaceSet **faceSets = zyrMemory_allocateZeroedArray<FaceSet *>(c->m_nfs > 0 ? c->m_nfs : 1, fn);

  // Each volume gets its own vertices in one pass: the ascending list of the shared vertices its
  // elements use (what localising through a Splitting computes), the lists renumbered to it
  // before their element sets are made, and the Splitting's vertex map filled from the same list.
  // The store then writes every list and every coordinate once. LocaliseIsIdentical (tests)
  // compares the result with localising the shared vertices afterwards.
  Splitting *splitting = Splitting_new(nullptr);
  const int64_t noOfVertices = c->m_noOfVertices > 0 ? c->m_noOfVertices : 1;
  int32_t *local = zyrMemory_allocateArray<int32_t>(noOfVertices, fn);
  for (int64_t k = 0; k < noOfVertices; ++k)
    local[k] = -1;
  for (int32_t v = 0; result && v < c->m_nvl; ++v) {
    std::vector<int32_t> used;
    for (int32_t i = c->m_elementSetPointer[v]; i < c->m_elementSetPointer[v + 1]; ++i) {
      const int32_t set = c->m_volumeElementSets[i];
      for (int32_t k = 0; k < c->m_elementLengths[set]; ++k) {
        int32_t &slot = local[c->m_elementVertices[set][k]];
        if (slot == -1) {
          slot = 0;
          used.push_back(c->m_elementVertices[set][k]);
        }
      }
    }
    std::sort(used.begin(), used.end());
    const int32_t count = static_cast<int32_t>(used.size());
    for (int32_t j = 0; j < count; ++j)
      local[used[static_cast<size_t>(j)]] = j;

    ElementMesh *elementMesh = ElementMesh_new(im->m_regions[v]);
    if (elementMesh == nullptr || !Mesh_addElementMesh(im->m_mesh, elementMesh)) {
      result = 0;
      break;
    }
    // The lists are handed over as each set is made, so the mesh is never held twice.
    for (int32_t i = c->m_elementSetPointer[v]; result && i < c->m_elementSetPointer[v + 1]; ++i) {
      const int32_t set = c->m_volumeElementSets[i];
      int32_t *list = c->m_elementVertices[set];
      c->m_elementVertices[set] = nullptr;
      for (int32_t k = 0; k < c->m_elementLengths[set]; ++k)
        list[k] = local[list[k]];
      elementSets[set] = ElementSet_new(GmoContents_elementType(c->m_elementTypes[set]), zyrConvention_WEZ5,
                                        c->m_elementLengths[set], list);
      result = elementSets[set] != nullptr && ElementMesh_addElementSet(elementMesh, elementSets[set]);
    }
    double *xyz = count > 0 ? zyrMemory_allocateArray<double>(3 * static_cast<int64_t>(count), fn) : nullptr;
    for (int32_t j = 0; j < count; ++j) {
      memcpy(xyz + 3 * static_cast<int64_t>(j),
             c->m_coordinates + 3 * static_cast<int64_t>(used[static_cast<size_t>(j)]), 3 * sizeof(double));
      local[used[static_cast<size_t>(j)]] = -1;
    }
    Vertices *vertices = Vertices_new(3, unit, 0, count, xyz);
    if (!result || vertices == nullptr) {
      if (vertices != nullptr)
        Vertices_delete(vertices);
      result = 0;
      break;
    }
    ElementMesh_setVertices(elementMesh, vertices);
    if (count > 0) {
      int32_t *values = zyrMemory_allocateArray<int32_t>(count, fn);
      memcpy(values, used.data(), sizeof(int32_t) * static_cast<size_t>(count));
      IntegerMap *map = IntegerMap_new(count, values);
      if (map == nullptr) {
        zyrMemory_free(values, fn);
        result = 0;
        break;
      }
      HashTable_insert(splitting->m_maps, elementMesh, map);
    }
  }
  zyrMemory_free(local, fn);

  for (int32_t j = 0; result && j < c->m_nfs; ++j) {
    int32_t *elements = c->m_faceElements[j], *faces = c->m_localFaces[j];
    c->m_faceElements[j] = c->m_localFaces[j] = nullptr;
    faceSets[j] =
        FaceSet_new(elementSets[c->m_faceElementSets[j]], zyrConvention_WEZ5, c->m_faceCounts[j], elements, faces);
    result = faceSets[j] != nullptr;
  }

  for (int32_t s = 0; result && s < c->m_nsf; ++s) {
    Region *surface = im->m_regions[c->m_nvl + s];
    ElementMesh *elementMesh = Mesh_getElementMesh(im->m_mesh, Region_getBoundedRegion(surface));
    FaceMesh *faceMesh = elementMesh != nullptr ? FaceMesh_new(surface, elementMesh) : nullptr;
    if (faceMesh == nullptr || !Mesh_addFaceMesh(im->m_mesh, faceMesh)) {
      result = 0;
      break;
    }
    for (int32_t i = c->m_faceSetPointer[s]; i < c->m_faceSetPointer[s + 1]; ++i)
      FaceMesh_addFaceSet(faceMesh, faceSets[c->m_surfaceFaceSets[i]]);
  }

  for (int32_t k = 0; result && k < noOfConnections; ++k) {
    if (!Connection_isDirect(connections[k]))
      continue;
    InterfaceMap *map = InterfaceMap_newFromSplitting(im->m_mesh, connections[k], splitting);
    if (map == nullptr || !Mesh_addInterfaceMap(im->m_mesh, map))
      result = 0;
  }

  Splitting_delete(splitting);
  if (result && !Mesh_splitSharedVertices(im->m_mesh)) {
    ZYR_ERROR(ZYR_I_INTERNAL_ERROR, "Unable to split the vertices shared between volumes of the imported mesh.\n");
    result = 0;
  }

  if (result && ZYR_TRACE_DEBUG(1)) {
    FILE *log = zyrTrace_getLog();
    ElementMesh **elementMeshes = nullptr;
    const int32_t nem = Mesh_getElementMeshes(im->m_mesh, &elementMeshes);
    for (int32_t i = 0; i < nem; ++i)
      ElementMesh_print(elementMeshes[i], log);
    zyrMemory_free(elementMeshes, fn);
    FaceMesh **faceMeshes = nullptr;
    const int32_t nfm = Mesh_getFaceMeshes(im->m_mesh, &faceMeshes);
    for (int32_t i = 0; i < nfm; ++i)
      FaceMesh_print(faceMeshes[i], log);
    zyrMemory_free(faceMeshes, fn);
    zyrTrace_printf("\nNo. of connections = %d\n", noOfConnections);
    for (int32_t k = 0; k < noOfConnections; ++k) {
      Region *side1 = nullptr, *side2 = nullptr;
      Connection_getSides(connections[k], &side1, &side2);
      zyrTrace_printf("\"%s\" <===> \"%s\"\n", Region_getName(side1), Region_getName(side2));
    }
  }

  // Objects made before a failure are the caller's roll-back's to remove from the store; the
  // memory arrays are this function's.
  zyrMemory_free(elementSets, fn);
  zyrMemory_free(faceSets, fn);
  zyrMemory_free(connections, fn);
  return result;
}
