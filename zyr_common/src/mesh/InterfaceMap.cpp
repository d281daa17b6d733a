#include "InterfaceMap.h"

#include "Connection.h"
#include "FaceMesh.h"
#include "Mesh.h"
#include "Splitting.h"
#include "HashTable.h"
#include "IntegerMap.h"
#include "InterfaceMatching.h"
#include "Region.h"
#include "zyrArrayUtilities.h"
#include "zyrError.h"
#include "zyrMemory.h"
#include "zyrMeshLayer.h"
#include "zyrTrace.h"
#include "zyrUUID.h"

#include <cstring>

namespace {

void storePermutation(InterfaceMap *map) {
  const int32_t n = map->m_noOfMatchedVertices;
  if (map->m_vertexPermutation == nullptr || n < 1 || zyrIsIdentityPermutation(n, map->m_vertexPermutation)) {
    const int32_t zero = 0;
    zyrObject_setInts(map, "vertexPermutation", &zero, 1);
  } else {
    zyrObject_setInts(map, "vertexPermutation", map->m_vertexPermutation, n);
  }
}

int32_t *identity(int32_t n) {
  int32_t *array = zyrMemory_allocateArray<int32_t>(n > 0 ? n : 1, __func__);
  for (int32_t i = 0; i < n; ++i)
    array[i] = i;
  return array;
}

void sideText(const InterfaceMap *, FaceMesh *fm, bool known, const char **name, const char **base) {
  *name = "UNKNOWN";
  *base = "UNKNOWN";
  const Region *region = known && fm != nullptr ? FaceMesh_getRegion(fm) : nullptr;
  if (region == nullptr)
    return;
  *name = Region_getName(region);
  if (Region_getBaseName(region) != nullptr)
    *base = Region_getBaseName(region);
}

} // namespace

int64_t InterfaceMap_getSize() { return static_cast<int64_t>(sizeof(InterfaceMap)); }

int InterfaceMap_dump(void *) { return 1; }

int InterfaceMap_restoreVertexPermutation(InterfaceMap *map, int32_t count, int32_t *stored) {
  zyrMemory_freeAndClear(&map->m_vertexPermutation, __func__);
  const int32_t n = map->m_noOfMatchedVertices;
  if (n < 1 || (count == 1 && stored != nullptr && stored[0] == 0)) {
    zyrMemory_free(stored, __func__);
    map->m_vertexPermutation = n > 0 ? identity(n) : nullptr;
    return 1;
  }
  // A stored permutation must relate the matched vertices one to one.
  bool ok = count == n && stored != nullptr && checkPermutationIsInjective(n, stored, nullptr) == 1;
  for (int32_t i = 0; ok && i < n; ++i)
    ok = stored[i] < n;
  if (!ok) {
    zyrMemory_free(stored, __func__);
    char key[ZYR_UUID_BASE64_SIZE];
    zyrObject_getUUIDString(map, key);
    ZYR_ERROR(ZYR_I_INTERNAL_ERROR, "The stored interface map %s is inconsistent.\n", key);
    return 0;
  }
  map->m_vertexPermutation = stored;
  return 1;
}

int InterfaceMap_restore(void *object, int32_t flag) {
  InterfaceMap *map = static_cast<InterfaceMap *>(object);
  const int secondary = flag == 0 || zyrObject_checkAttribute(map, flag, "noOfMatchedVertices") ||
                        zyrObject_checkAttribute(map, flag, "noOfMatchedFaces") ||
                        zyrObject_checkAttribute(map, flag, "faceMeshes");
  void *pointer = map->m_connection;
  zyrObject_getPointer(map, flag, "connection", &pointer);
  map->m_connection = static_cast<Connection *>(pointer);
  void *sides[2] = {map->m_faceMeshes[0], map->m_faceMeshes[1]};
  zyrObject_getPointerArray(map, flag, "faceMeshes", sides, 2);
  map->m_faceMeshes[0] = static_cast<FaceMesh *>(sides[0]);
  map->m_faceMeshes[1] = static_cast<FaceMesh *>(sides[1]);
  zyrObject_getInt(map, flag, "noOfMatchedVertices", &map->m_noOfMatchedVertices);
  zyrObject_getInt(map, flag, "noOfMatchedFaces", &map->m_noOfMatchedFaces);
  if (flag == 0 || zyrObject_checkAttribute(map, flag, "vertexPermutation") ||
      zyrObject_checkAttribute(map, flag, "noOfMatchedVertices")) {
    int32_t *stored = nullptr;
    int32_t count = 0;
    zyrObject_getInts(map, 0, "vertexPermutation", &stored, &count);
    InterfaceMap_restoreVertexPermutation(map, count, stored);
  }
  if (secondary)
    InterfaceMap_clearSecondaryData(map);
  return 1;
}

InterfaceMap *InterfaceMap_new(FaceMesh *faceMesh0, FaceMesh *faceMesh1, Connection *connection,
                               int32_t *vertexPermutation, int32_t *faceMap) {
  FaceMesh *sides[2] = {faceMesh0, faceMesh1};
  int32_t vertices[2] = {0, 0};
  int32_t faces[2] = {0, 0};
  for (int s = 0; s < 2; ++s)
    if (sides[s] != nullptr) {
      vertices[s] = FaceMesh_getNoOfVertices(sides[s], 0);
      faces[s] = FaceMesh_getNoOfFaces(sides[s]);
    }
  if (faceMesh0 == nullptr || faceMesh1 == nullptr || vertices[0] != vertices[1] || faces[0] != faces[1]) {
    zyrError *error = zyrError_new(ZYR_I_INTERNAL_ERROR, __func__, __FILE__, __LINE__);
    zyrError_addMessage(error, "Attempt to create an interface map between non-matching face meshes:\n\n"
                               "            Vertices      Faces Face mesh              Region [Base name]\n");
    for (int s = 0; s < 2; ++s) {
      char key[ZYR_UUID_BASE64_SIZE];
      zyrObject_getUUIDString(sides[s], key);
      const char *name = nullptr;
      const char *base = nullptr;
      sideText(nullptr, sides[s], connection != nullptr, &name, &base);
      zyrError_addMessage(error, "  Side %d: %10d %10d %s %s\n                                                       [%s]\n",
                          s, vertices[s], faces[s], key, name, base);
    }
    zyrError_addMessage(error, "\n");
    zyrError_publish(error);
    zyrMemory_free(vertexPermutation, __func__);
    zyrMemory_free(faceMap, __func__);
    return nullptr;
  }
  zyrMeshLayer_initialise();
  InterfaceMap *map = static_cast<InterfaceMap *>(zyrObject_new("InterfaceMap"));
  if (map == nullptr) {
    zyrMemory_free(vertexPermutation, __func__);
    zyrMemory_free(faceMap, __func__);
    return nullptr;
  }
  map->m_connection = connection;
  map->m_faceMeshes[0] = faceMesh0;
  map->m_faceMeshes[1] = faceMesh1;
  map->m_noOfMatchedVertices = vertices[0];
  map->m_noOfMatchedFaces = faces[0];
  map->m_vertexPermutation = vertexPermutation;
  map->m_faceMap = faceMap;
  zyrObject_setPointer(map, "connection", connection);
  void *const pointers[2] = {faceMesh0, faceMesh1};
  zyrObject_setPointers(map, "faceMeshes", pointers, 2);
  zyrObject_setInt(map, "noOfMatchedVertices", map->m_noOfMatchedVertices);
  zyrObject_setInt(map, "noOfMatchedFaces", map->m_noOfMatchedFaces);
  storePermutation(map);
  return map;
}

InterfaceMap *InterfaceMap_newFromVertexMaps(FaceMesh *faceMesh0, FaceMesh *faceMesh1, Connection *connection,
                                             const IntegerMap *vertexMap0, const IntegerMap *vertexMap1) {
  ZYR_TRACE_BEGIN();
  InterfaceMap *map = InterfaceMap_new(faceMesh0, faceMesh1, connection, nullptr, nullptr);
  if (map == nullptr)
    return nullptr;
  const int32_t n = map->m_noOfMatchedVertices;
  if (n < 1)
    return map;
  const IntegerMap *maps[2] = {vertexMap0, vertexMap1};
  int32_t *local[2] = {nullptr, nullptr};
  int32_t *global[2] = {nullptr, nullptr};
  int32_t *index[2] = {nullptr, nullptr};
  bool ok = true;
  for (int s = 0; s < 2; ++s) {
    ok = ok && maps[s] != nullptr && FaceMesh_getVertices(map->m_faceMeshes[s], 0, nullptr, &local[s]) == n;
    if (!ok)
      break;
    global[s] = static_cast<int32_t *>(zyrMemory_duplicate(local[s], 4 * static_cast<int64_t>(n), __func__));
    IntegerMap_mapIndices(maps[s], n, global[s]);
    index[s] = zyrMemory_allocateArray<int32_t>(n, __func__);
    zyrSortIndexByIntKeys(1, n, global[s], index[s]);
  }
  // Vertices pair by rank only when the two sides hold the same global vertices.
  int32_t differs = -1;
  for (int32_t i = 0; ok && differs < 0 && i < n; ++i)
    if (global[0][index[0][i]] != global[1][index[1][i]] || global[0][index[0][i]] < 0)
      differs = i;
  if (!ok || differs >= 0) {
    if (ok)
      ZYR_ERROR(ZYR_I_INTERNAL_ERROR,
                "The two sides of an interface do not hold the same vertices: global vertex %d of side 0 "
                "meets global vertex %d of side 1.\n",
                global[0][index[0][differs]], global[1][index[1][differs]]);
    else
      ZYR_ERROR(ZYR_I_INTERNAL_ERROR, "The vertices of an interface cannot be found from its vertex maps.\n");
    InterfaceMap_delete(map);
    map = nullptr;
  } else {
    int32_t *permutation = zyrMemory_allocateArray<int32_t>(n, __func__);
    for (int32_t i = 0; i < n; ++i)
      permutation[index[0][i]] = index[1][i];
    map->m_vertexPermutation = permutation;
    storePermutation(map);
    if (ZYR_TRACE_DEBUG(1))
      for (int s = 0; s < 2; ++s) {
        zyrTrace_printf("Side %d:\n     Local    Global    Sorted\n", s);
        for (int32_t i = 0; i < n; ++i)
          zyrTrace_printf("%10d%10d%10d\n", local[s][i], global[s][i], index[s][i]);
      }
  }
  for (int s = 0; s < 2; ++s) {
    zyrMemory_free(local[s], __func__);
    zyrMemory_free(global[s], __func__);
    zyrMemory_free(index[s], __func__);
  }
  return map;
}

InterfaceMap *InterfaceMap_newFromSplitting(Mesh *mesh, Connection *connection, const Splitting *splitting) {
  if (mesh == nullptr || connection == nullptr)
    return nullptr;
  Region *regions[2] = {nullptr, nullptr};
  Connection_getSides(connection, &regions[0], &regions[1]);
  FaceMesh *sides[2] = {Mesh_getFaceMesh(mesh, regions[0]), Mesh_getFaceMesh(mesh, regions[1])};
  if (sides[0] == nullptr || sides[1] == nullptr)
    return nullptr;
  return InterfaceMap_newFromVertexMaps(sides[0], sides[1], connection,
                                        Splitting_getVertexMap(splitting, FaceMesh_getElementMesh(sides[0])),
                                        Splitting_getVertexMap(splitting, FaceMesh_getElementMesh(sides[1])));
}

InterfaceMap *InterfaceMap_copy(const InterfaceMap *source, Connection *connection, HashTable *copyTable) {
  if (source == nullptr)
    return nullptr;
  FaceMesh *sides[2] = {source->m_faceMeshes[0], source->m_faceMeshes[1]};
  for (FaceMesh *&side : sides) {
    void *copy = copyTable != nullptr && side != nullptr ? HashTable_find(copyTable, side) : nullptr;
    if (copy != nullptr)
      side = static_cast<FaceMesh *>(copy);
  }
  const int32_t n = source->m_noOfMatchedVertices;
  const int32_t nf = source->m_noOfMatchedFaces;
  int32_t *permutation = source->m_vertexPermutation != nullptr
                             ? static_cast<int32_t *>(zyrMemory_duplicate(source->m_vertexPermutation, 4 * int64_t{n}, __func__))
                             : nullptr;
  int32_t *faceMap = source->m_faceMap != nullptr
                         ? static_cast<int32_t *>(zyrMemory_duplicate(source->m_faceMap, 4 * int64_t{nf}, __func__))
                         : nullptr;
  InterfaceMap *map = InterfaceMap_new(sides[0], sides[1], connection, permutation, faceMap);
  if (map == nullptr)
    return nullptr;
  if (source->m_splitVertexOffsets != nullptr) {
    const int32_t count = source->m_splitVertexCounts[0];
    map->m_splitVertexOffsets = static_cast<int32_t *>(
        zyrMemory_duplicate(source->m_splitVertexOffsets, 4 * (static_cast<int64_t>(count) + 1), __func__));
    const int32_t values = source->m_splitVertexOffsets[count];
    if (source->m_splitVertexValues == source->m_vertexPermutation)
      map->m_splitVertexValues = map->m_vertexPermutation;
    else if (source->m_splitVertexValues != nullptr)
      map->m_splitVertexValues = static_cast<int32_t *>(
          zyrMemory_duplicate(source->m_splitVertexValues, 4 * static_cast<int64_t>(values > 0 ? values : 1), __func__));
    map->m_splitVertexCounts[0] = source->m_splitVertexCounts[0];
    map->m_splitVertexCounts[1] = source->m_splitVertexCounts[1];
  }
  return map;
}

void InterfaceMap_clearSecondaryData(InterfaceMap *map) {
  zyrMemory_freeAndClear(&map->m_faceMap, __func__);
  zyrMemory_freeAndClear(&map->m_splitVertexOffsets, __func__);
  if (map->m_splitVertexValues != map->m_vertexPermutation)
    zyrMemory_free(map->m_splitVertexValues, __func__);
  map->m_splitVertexValues = nullptr;
  map->m_splitVertexCounts[0] = 0;
  map->m_splitVertexCounts[1] = 0;
}

int InterfaceMap_delete(void *object) {
  InterfaceMap *map = static_cast<InterfaceMap *>(object);
  if (map == nullptr)
    return 0;
  InterfaceMap_clearSecondaryData(map);
  zyrMemory_freeAndClear(&map->m_vertexPermutation, __func__);
  return zyrObject_delete(map);
}

int32_t InterfaceMap_getNoOfMatchedVertices(const InterfaceMap *map) { return map->m_noOfMatchedVertices; }
int32_t InterfaceMap_getNoOfMatchedFaces(const InterfaceMap *map) { return map->m_noOfMatchedFaces; }
Connection *InterfaceMap_getConnection(const InterfaceMap *map) { return map->m_connection; }

int InterfaceMap_getFaceMeshes(const InterfaceMap *map, FaceMesh **side0, FaceMesh **side1) {
  *side0 = map->m_faceMeshes[0];
  *side1 = map->m_faceMeshes[1];
  return 1;
}

int32_t InterfaceMap_getVertexPermutation(const InterfaceMap *map, int32_t **permutation) {
  *permutation = map->m_vertexPermutation;
  return map->m_noOfMatchedVertices;
}

int InterfaceMap_calculateFaceMap(InterfaceMap *map) {
  zyrMemory_freeAndClear(&map->m_faceMap, __func__);
  if (map->m_vertexPermutation == nullptr || map->m_faceMeshes[0] == nullptr || map->m_faceMeshes[1] == nullptr)
    return 0;
  return MA_calculateFaceMap(map->m_faceMeshes, map->m_noOfMatchedVertices, map->m_vertexPermutation, &map->m_faceMap);
}

int32_t InterfaceMap_getFaceMap(InterfaceMap *map, int32_t **faceMap) {
  *faceMap = nullptr;
  if (map->m_faceMap == nullptr && InterfaceMap_calculateFaceMap(map) != 1)
    return -1;
  *faceMap = map->m_faceMap;
  return map->m_noOfMatchedFaces;
}

int32_t InterfaceMap_getSplitVertexMap(InterfaceMap *map, int32_t counts[2], int32_t **offsets, int32_t **values) {
  *offsets = nullptr;
  *values = nullptr;
  if (map->m_splitVertexOffsets == nullptr) {
    int32_t *faceMap = nullptr;
    if (InterfaceMap_getFaceMap(map, &faceMap) < 0)
      return -1;
    if (MA_calculateSplitVertexMap(map->m_faceMeshes, map->m_noOfMatchedVertices, map->m_vertexPermutation,
                                   map->m_noOfMatchedFaces, faceMap, 1, map->m_splitVertexCounts,
                                   &map->m_splitVertexOffsets, &map->m_splitVertexValues) != 1)
      return -1;
  }
  counts[0] = map->m_splitVertexCounts[0];
  counts[1] = map->m_splitVertexCounts[1];
  *offsets = map->m_splitVertexOffsets;
  *values = map->m_splitVertexValues;
  return map->m_splitVertexOffsets[counts[0]];
}

int InterfaceMap_upgrade(InterfaceMap *map) {
  ZYR_TRACE_BEGIN();
  const int32_t n = map->m_noOfMatchedVertices;
  if (n < 1 || map->m_vertexPermutation == nullptr)
    return 0;
  int32_t *inverse0 = nullptr;
  int32_t *order1 = nullptr;
  if (FaceMesh_getVertexRenumbering(map->m_faceMeshes[0], 1, &inverse0) != 1 ||
      FaceMesh_getVertexRenumbering(map->m_faceMeshes[1], 0, &order1) != 1) {
    zyrMemory_free(inverse0, __func__);
    return 0;
  }
  int32_t *old = map->m_vertexPermutation;
  int32_t *upgraded = zyrMemory_allocateArray<int32_t>(n, __func__);
  for (int32_t i = 0; i < n; ++i)
    upgraded[i] = order1[old[inverse0[i]]];
  if (ZYR_TRACE_DEBUG(1)) {
    char key[ZYR_UUID_BASE64_SIZE];
    zyrObject_getUUIDString(map, key);
    zyrTrace_printf("\nInterfaceMap: %s\n\n", key);
    zyrTrace_printf("       i      old      new\n");
    for (int32_t i = 0; i < n; ++i)
      zyrTrace_printf("%8d %8d %8d\n", i, old[i], upgraded[i]);
  }
  zyrMemory_free(inverse0, __func__);
  zyrMemory_free(order1, __func__);
  InterfaceMap_clearSecondaryData(map);
  zyrMemory_free(old, __func__);
  map->m_vertexPermutation = upgraded;
  storePermutation(map);
  return 1;
}

void InterfaceMap_print(InterfaceMap *map, FILE *stream) {
  ZYR_TRACE_BEGIN_DESC("Print out the current state of an interface map.");
  const char *rule = "==============================================";
  char key[ZYR_UUID_BASE64_SIZE];
  char connection[ZYR_UUID_BASE64_SIZE];
  zyrObject_getUUIDString(map, key);
  zyrObject_getUUIDString(map->m_connection, connection);
  std::fprintf(stream, "\n%s\nInterfaceMap: %s\n%s\n\n", rule, key, rule);
  std::fprintf(stream, "Connection                 = %s\n", connection);
  std::fprintf(stream, "Number of matched vertices = %d\n", map->m_noOfMatchedVertices);
  std::fprintf(stream, "Number of matched faces    = %d\n", map->m_noOfMatchedFaces);
  if (ZYR_TRACE_DEBUG(1)) {
    std::fprintf(stream, "\nMatched vertices:\n=================\n");
    for (int32_t i = 0; map->m_vertexPermutation != nullptr && i < map->m_noOfMatchedVertices; ++i)
      std::fprintf(stream, "%10d --> %10d\n", i, map->m_vertexPermutation[i]);
    int32_t *faceMap = nullptr;
    if (InterfaceMap_getFaceMap(map, &faceMap) >= 0) {
      std::fprintf(stream, "\nMatched faces:\n==============\n");
      for (int32_t i = 0; i < map->m_noOfMatchedFaces; ++i)
        std::fprintf(stream, "%10d --> %10d\n", i, faceMap[i]);
    }
  }
}
