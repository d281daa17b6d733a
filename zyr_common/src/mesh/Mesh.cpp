#include "Mesh.h"

#include "Connection.h"
#include "ElementMesh.h"
#include "ElementSet.h"
#include "FaceMesh.h"
#include "FaceSet.h"
#include "HashTable.h"
#include "InterfaceMap.h"
#include "LinkMap.h"
#include "MeshReferences.h"
#include "Pair.h"
#include "Region.h"
#include "Set.h"
#include "Splitting.h"
#include "Topology.h"
#include "zyrError.h"
#include "zyrMemory.h"
#include "zyrMeshLayer.h"
#include "zyrTrace.h"
#include "zyrUUID.h"

#include <algorithm>
#include <vector>

namespace {

const int32_t kLinkType = 1;

LinkMap *listOf(const Mesh *mesh, int bit) {
  switch (bit) {
  case MESH_ELEMENT_MESHES_CHANGED:
    return mesh->m_elementMeshes;
  case MESH_FACE_MESHES_CHANGED:
    return mesh->m_faceMeshes;
  default:
    return mesh->m_interfaceMaps;
  }
}

const char *keyOf(int bit) {
  switch (bit) {
  case MESH_ELEMENT_MESHES_CHANGED:
    return "elementMeshes";
  case MESH_FACE_MESHES_CHANGED:
    return "faceMeshes";
  default:
    return "interfaceMaps";
  }
}

int addLink(Mesh *mesh, int bit, void *key, void *object) {
  if (mesh == nullptr || key == nullptr || object == nullptr)
    return 0;
  LinkMap *map = listOf(mesh, bit);
  zyrObject_setModified(mesh);
  BitField_setBit(&mesh->m_changes, bit);
  // One mesh per region: a second link would make every lookup ambiguous.
  void *previous = LinkMap_findLinkedObject(map, key, kLinkType);
  if (previous == object)
    return 1;
  if (previous != nullptr)
    LinkMap_removeLink(map, previous, kLinkType);
  // The object leaves the key it was kept under before.
  if (LinkMap_findLinkedObject(map, object, -kLinkType) != nullptr)
    LinkMap_removeLink(map, object, kLinkType);
  return LinkMap_addLink(map, key, object, kLinkType);
}

int removeLink(Mesh *mesh, int bit, void *object) {
  if (mesh == nullptr || object == nullptr)
    return 0;
  zyrObject_setModified(mesh);
  BitField_setBit(&mesh->m_changes, bit);
  return LinkMap_removeLink(listOf(mesh, bit), object, kLinkType);
}

typedef std::vector<std::pair<void *, void *>> KeyedObjects;

// Element and face meshes are kept under their regions, interface maps under their connections.
int compareRegionKeys(const void *a, const void *b) {
  return zyrCompareRegions(static_cast<const Region *>(a), static_cast<const Region *>(b));
}
int compareConnectionKeys(const void *a, const void *b) {
  return zyrCompareConnections(static_cast<const Connection *>(a), static_cast<const Connection *>(b));
}
int (*compareKeysOf(int bit))(const void *, const void *) {
  return bit == MESH_INTERFACE_MAPS_CHANGED ? compareConnectionKeys : compareRegionKeys;
}

// In the model order of the keys: the tables hash addresses, and what they hold goes out to
// callers and files.
void sortByKey(KeyedObjects &pairs, int (*compare)(const void *, const void *)) {
  std::stable_sort(pairs.begin(), pairs.end(),
                   [compare](const std::pair<void *, void *> &a, const std::pair<void *, void *> &b) {
                     return compare(a.first, b.first) < 0;
                   });
}

// The links of one kind as (key, object).
KeyedObjects linksOf(const Mesh *mesh, int bit) {
  KeyedObjects pairs;
  const LinkMap *map = listOf(mesh, bit);
  void **keys = nullptr;
  void **objects = nullptr;
  int32_t *types = nullptr;
  const int32_t n = map != nullptr ? LinkMap_toArray(map, &keys, &objects, &types) : 0;
  for (int32_t i = 0; i < n; ++i)
    if (types[i] == kLinkType)
      pairs.emplace_back(keys[i], objects[i]);
  zyrMemory_free(keys, __func__);
  zyrMemory_free(objects, __func__);
  zyrMemory_free(types, __func__);
  sortByKey(pairs, compareKeysOf(bit));
  return pairs;
}

template <class T> int32_t objectsOf(const Mesh *mesh, int bit, T ***array) {
  const KeyedObjects pairs = linksOf(mesh, bit);
  *array = nullptr;
  if (pairs.empty())
    return 0;
  *array = zyrMemory_allocateArray<T *>(static_cast<int64_t>(pairs.size()), __func__);
  for (size_t i = 0; i < pairs.size(); ++i)
    (*array)[i] = static_cast<T *>(pairs[i].second);
  return static_cast<int32_t>(pairs.size());
}

KeyedObjects pairsOf(HashTable *table, int (*compare)(const void *, const void *)) {
  KeyedObjects pairs;
  if (table == nullptr)
    return pairs;
  HashTableIterator *it = HashTableIterator_new(table);
  for (Pair *p = HashTableIterator_first(it); p != nullptr; p = HashTableIterator_next(it))
    pairs.emplace_back(p->m_first, p->m_second);
  HashTableIterator_delete(it);
  sortByKey(pairs, compare);
  return pairs;
}

// A face or element mesh is deleted with the sets it holds.
template <class M, class S>
void deleteWithSets(M *owner, int32_t (*getSets)(const M *, S ***), int (*removeSet)(M *, S *),
                    int (*deleteSet)(void *), int (*deleteOwner)(void *)) {
  S **sets = nullptr;
  const int32_t n = getSets(owner, &sets);
  for (int32_t i = 0; i < n; ++i) {
    removeSet(owner, sets[i]);
    deleteSet(sets[i]);
  }
  zyrMemory_free(sets, __func__);
  deleteOwner(owner);
}

void deleteFaceMesh(FaceMesh *fm) {
  deleteWithSets(fm, FaceMesh_getFaceSets, FaceMesh_removeFaceSet, FaceSet_delete, FaceMesh_delete);
}

void deleteElementMesh(ElementMesh *em) {
  deleteWithSets(em, ElementMesh_getElementSets, ElementMesh_removeElementSet, ElementSet_delete, ElementMesh_delete);
}

int32_t clampCount(int64_t n) { return static_cast<int32_t>(std::min<int64_t>(n, INT32_MAX)); }

void regionMeshError(const char *caller, const char *format, const Region *region) {
  const char *name = region != nullptr ? Region_getName(region) : nullptr;
  ZYR_ERROR_FOR(ZYR_U_INVALID_INPUT, caller, format, name != nullptr ? name : "");
}

} // namespace

int64_t Mesh_getSize() { return static_cast<int64_t>(sizeof(Mesh)); }

int Mesh_dump(void *object) {
  Mesh *mesh = static_cast<Mesh *>(object);
  int result = 1;
  for (int bit = MESH_ELEMENT_MESHES_CHANGED; bit <= MESH_INTERFACE_MAPS_CHANGED; ++bit) {
    if (!BitField_isSet(&mesh->m_changes, bit))
      continue;
    // Stored as object, key, object, key, ...
    std::vector<void *> pairs;
    for (const auto &link : linksOf(mesh, bit)) {
      pairs.push_back(link.second);
      pairs.push_back(link.first);
    }
    if (zyrObject_setPointers(mesh, keyOf(bit), pairs.empty() ? nullptr : pairs.data(),
                              static_cast<int32_t>(pairs.size())) != 1)
      result = 0;
  }
  BitField_clearAll(&mesh->m_changes);
  return result;
}

int Mesh_restore(void *object, int32_t flag) {
  Mesh *mesh = static_cast<Mesh *>(object);
  for (int bit = MESH_ELEMENT_MESHES_CHANGED; bit <= MESH_INTERFACE_MAPS_CHANGED; ++bit) {
    LinkMap **map = bit == MESH_ELEMENT_MESHES_CHANGED ? &mesh->m_elementMeshes
                    : bit == MESH_FACE_MESHES_CHANGED  ? &mesh->m_faceMeshes
                                                       : &mesh->m_interfaceMaps;
    void **pairs = nullptr;
    int32_t n = 0;
    // An empty list is stored as an empty array, which reads as nothing.
    if (flag == 0 || zyrObject_checkAttribute(mesh, flag, keyOf(bit))) {
      if (zyrObject_getPointers(mesh, 0, keyOf(bit), &pairs, &n) != 1)
        n = 0;
      // The maps own what they link: a mesh under two regions would be deleted with each.
      if (n >= 2)
        MeshReferences_dropRepeatedLinks(mesh, keyOf(bit), __func__, pairs, pairs + 1, n / 2, 2);
      LinkMap_delete(*map);
      *map = LinkMap_new(n / 2 + 50);
      // An odd entry left over (a damaged list) has no partner and is ignored.
      for (int32_t i = 0; i + 1 < n; i += 2)
        if (pairs[i] != nullptr && pairs[i + 1] != nullptr)
          LinkMap_addLink(*map, pairs[i + 1], pairs[i], kLinkType);
    }
    zyrMemory_free(pairs, __func__);
    if (*map == nullptr)
      *map = LinkMap_new(100);
  }
  void *topology = mesh->m_topology;
  zyrObject_getPointer(mesh, flag, "topology", &topology);
  mesh->m_topology = static_cast<Topology *>(topology);
  BitField_clearAll(&mesh->m_changes);
  return 1;
}

Mesh *Mesh_new(Topology *topology) {
  zyrMeshLayer_initialise();
  Mesh *mesh = static_cast<Mesh *>(zyrObject_new("Mesh"));
  if (mesh == nullptr)
    return nullptr;
  mesh->m_elementMeshes = LinkMap_new(100);
  mesh->m_faceMeshes = LinkMap_new(100);
  mesh->m_interfaceMaps = LinkMap_new(100);
  mesh->m_topology = topology;
  BitField_clearAll(&mesh->m_changes);
  for (int bit = MESH_ELEMENT_MESHES_CHANGED; bit <= MESH_INTERFACE_MAPS_CHANGED; ++bit)
    BitField_setBit(&mesh->m_changes, bit);
  zyrObject_setPointer(mesh, "topology", topology);
  zyrObject_setModified(mesh);
  return mesh;
}

int Mesh_delete(void *object) {
  Mesh *mesh = static_cast<Mesh *>(object);
  if (mesh == nullptr)
    return 0;
  LinkMap_delete(mesh->m_elementMeshes);
  LinkMap_delete(mesh->m_faceMeshes);
  LinkMap_delete(mesh->m_interfaceMaps);
  mesh->m_elementMeshes = nullptr;
  mesh->m_faceMeshes = nullptr;
  mesh->m_interfaceMaps = nullptr;
  return zyrObject_delete(mesh);
}

int Mesh_upgrade(Mesh *mesh) {
  InterfaceMap **maps = nullptr;
  const int32_t n = Mesh_getInterfaceMaps(mesh, &maps);
  int result = 1;
  for (int32_t i = 0; i < n; ++i)
    if (InterfaceMap_upgrade(maps[i]) != 1)
      result = 0;
  zyrMemory_free(maps, __func__);
  return result;
}

int Mesh_addElementMesh(Mesh *mesh, ElementMesh *em) {
  return em != nullptr ? addLink(mesh, MESH_ELEMENT_MESHES_CHANGED, ElementMesh_getRegion(em), em) : 0;
}
int Mesh_addFaceMesh(Mesh *mesh, FaceMesh *fm) {
  return fm != nullptr ? addLink(mesh, MESH_FACE_MESHES_CHANGED, FaceMesh_getRegion(fm), fm) : 0;
}
int Mesh_addInterfaceMap(Mesh *mesh, InterfaceMap *map) {
  return map != nullptr ? addLink(mesh, MESH_INTERFACE_MAPS_CHANGED, InterfaceMap_getConnection(map), map) : 0;
}
int Mesh_removeElementMesh(Mesh *mesh, ElementMesh *em) { return removeLink(mesh, MESH_ELEMENT_MESHES_CHANGED, em); }
int Mesh_removeFaceMesh(Mesh *mesh, FaceMesh *fm) { return removeLink(mesh, MESH_FACE_MESHES_CHANGED, fm); }
int Mesh_removeInterfaceMap(Mesh *mesh, InterfaceMap *map) {
  return removeLink(mesh, MESH_INTERFACE_MAPS_CHANGED, map);
}

int32_t Mesh_getElementMeshes(const Mesh *mesh, ElementMesh ***array) {
  return objectsOf(mesh, MESH_ELEMENT_MESHES_CHANGED, array);
}
int32_t Mesh_getFaceMeshes(const Mesh *mesh, FaceMesh ***array) {
  return objectsOf(mesh, MESH_FACE_MESHES_CHANGED, array);
}
int32_t Mesh_getInterfaceMaps(const Mesh *mesh, InterfaceMap ***array) {
  return objectsOf(mesh, MESH_INTERFACE_MAPS_CHANGED, array);
}

ElementMesh *Mesh_getElementMesh(const Mesh *mesh, const Region *region) {
  if (mesh == nullptr || region == nullptr)
    return nullptr;
  return static_cast<ElementMesh *>(LinkMap_findLinkedObject(mesh->m_elementMeshes, region, kLinkType));
}
FaceMesh *Mesh_getFaceMesh(const Mesh *mesh, const Region *region) {
  if (mesh == nullptr || region == nullptr)
    return nullptr;
  return static_cast<FaceMesh *>(LinkMap_findLinkedObject(mesh->m_faceMeshes, region, kLinkType));
}
InterfaceMap *Mesh_getInterfaceMap(const Mesh *mesh, const Connection *connection) {
  if (mesh == nullptr || connection == nullptr)
    return nullptr;
  return static_cast<InterfaceMap *>(LinkMap_findLinkedObject(mesh->m_interfaceMaps, connection, kLinkType));
}

int Mesh_setTopology(Mesh *mesh, Topology *topology) {
  mesh->m_topology = topology;
  return zyrObject_setPointer(mesh, "topology", topology);
}
Topology *Mesh_getTopology(const Mesh *mesh) { return mesh->m_topology; }

int Mesh_copyRegions(Mesh *mesh, HashTable *regionPairs, HashTable *connectionPairs,
                     const zyrAffineTransform3D *transform) {
  if (mesh == nullptr)
    return 0;
  HashTable *objectMap = HashTable_new(100, HashTable_hashInteger, HashTable_compareIntegers);
  const KeyedObjects regions = pairsOf(regionPairs, compareRegionKeys);
  int result = 1;
  // Element meshes first: the face-mesh copies find their element meshes in the object map.
  for (const auto &pair : regions) {
    Region *old = static_cast<Region *>(pair.first);
    ElementMesh *em = Region_getDimensionality(old) == 3 ? Mesh_getElementMesh(mesh, old) : nullptr;
    if (em == nullptr)
      continue;
    ElementMesh *copy = ElementMesh_copy(em, static_cast<Region *>(pair.second), transform, objectMap);
    if (Mesh_addElementMesh(mesh, copy) != 1) {
      result = 0;
      break;
    }
  }
  for (size_t i = 0; result == 1 && i < regions.size(); ++i) {
    Region *old = static_cast<Region *>(regions[i].first);
    FaceMesh *fm = Region_getDimensionality(old) == 2 ? Mesh_getFaceMesh(mesh, old) : nullptr;
    if (fm == nullptr)
      continue;
    FaceMesh *copy = FaceMesh_copy(fm, static_cast<Region *>(regions[i].second), transform, objectMap);
    if (Mesh_addFaceMesh(mesh, copy) != 1)
      result = 0;
  }
  if (result == 1)
    for (const auto &pair : pairsOf(connectionPairs, compareConnectionKeys)) {
      InterfaceMap *map = Mesh_getInterfaceMap(mesh, static_cast<Connection *>(pair.first));
      if (map == nullptr)
        continue;
      InterfaceMap *copy = InterfaceMap_copy(map, static_cast<Connection *>(pair.second), objectMap);
      if (Mesh_addInterfaceMap(mesh, copy) != 1) {
        result = 0;
        break;
      }
    }
  HashTable_delete(objectMap);
  return result;
}

int Mesh_moveRegions(Mesh *mesh, int32_t n, Region *const *regions, const zyrAffineTransform3D *transform) {
  for (int32_t i = 0; i < n; ++i) {
    const int32_t dimension = Region_getDimensionality(regions[i]);
    // A region without a mesh of its dimension is passed over: the regions after it still move.
    if (dimension == 3) {
      ElementMesh *em = Mesh_getElementMesh(mesh, regions[i]);
      if (em == nullptr)
        continue;
      const int result = ElementMesh_transform(em, transform);
      if (result != 1)
        return result;
    } else if (dimension == 2) {
      FaceMesh *fm = Mesh_getFaceMesh(mesh, regions[i]);
      if (fm != nullptr)
        FaceMesh_transform(fm);
    }
  }
  return 1;
}

int Mesh_deleteRegions(Mesh *mesh, int32_t n, Region *const *regions) {
  for (int32_t i = 0; i < n; ++i) {
    Region *region = regions[i];
    // Both maps are asked whatever the region's dimensionality says: a damaged record can give a
    // region another one than its mesh has, and no mesh may outlive its region.
    FaceMesh *fm = Mesh_getFaceMesh(mesh, region);
    if (fm != nullptr) {
      Mesh_removeFaceMesh(mesh, fm);
      deleteFaceMesh(fm);
    }
    ElementMesh *em = Mesh_getElementMesh(mesh, region);
    if (em != nullptr) {
      Mesh_removeElementMesh(mesh, em);
      deleteElementMesh(em);
    }
    Set *connections = Set_new(4);
    Region_collectConnections(region, connections);
    void **array = nullptr;
    const int32_t count = Set_toArray(connections, &array);
    for (int32_t c = 0; c < count; ++c) {
      InterfaceMap *map = Mesh_getInterfaceMap(mesh, static_cast<Connection *>(array[c]));
      if (map != nullptr) {
        Mesh_removeInterfaceMap(mesh, map);
        InterfaceMap_delete(map);
      }
    }
    zyrMemory_free(array, __func__);
    Set_delete(connections);
  }
  return 1;
}

int Mesh_getMeshSize(Mesh *mesh, int32_t n, Region *const *regions, int32_t *noOfVertices, int32_t *noOfElements,
                     int32_t countsByType[8]) {
  int64_t vertices = 0;
  int64_t elements = 0;
  int64_t byType[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  for (int32_t i = 0; i < n; ++i) {
    const int32_t dimension = Region_getDimensionality(regions[i]);
    if (dimension == 3) {
      ElementMesh *em = Mesh_getElementMesh(mesh, regions[i]);
      if (em == nullptr)
        continue;
      int32_t counts[8] = {0, 0, 0, 0, 0, 0, 0, 0};
      vertices += ElementMesh_getNoOfVertices(em);
      elements += ElementMesh_getNoOfElementsByType(em, counts);
      for (int t = 0; t < 8; ++t)
        byType[t] += counts[t];
    } else if (dimension == 2) {
      FaceMesh *fm = Mesh_getFaceMesh(mesh, regions[i]);
      if (fm == nullptr)
        continue;
      int32_t triangles = 0;
      int32_t quadrilaterals = 0;
      vertices += FaceMesh_getNoOfVertices(fm, 1);
      elements += FaceMesh_getNoOfTrisAndQuads(fm, &triangles, &quadrilaterals);
      byType[2] += triangles;
      byType[3] += quadrilaterals;
    }
  }
  *noOfVertices = clampCount(vertices);
  *noOfElements = clampCount(elements);
  for (int t = 0; t < 8; ++t)
    countsByType[t] = clampCount(byType[t]);
  return 1;
}

int Mesh_combineMeshes(Mesh *target, Mesh *source) {
  FaceMesh **faceMeshes = nullptr;
  const int32_t nf = Mesh_getFaceMeshes(source, &faceMeshes);
  int result = 1;
  for (int32_t i = 0; result == 1 && i < nf; ++i)
    result = Mesh_addFaceMesh(target, faceMeshes[i]);
  zyrMemory_free(faceMeshes, __func__);
  ElementMesh **elementMeshes = nullptr;
  const int32_t ne = Mesh_getElementMeshes(source, &elementMeshes);
  for (int32_t i = 0; result == 1 && i < ne; ++i)
    result = Mesh_addElementMesh(target, elementMeshes[i]);
  zyrMemory_free(elementMeshes, __func__);
  InterfaceMap **maps = nullptr;
  const int32_t nm = Mesh_getInterfaceMaps(source, &maps);
  for (int32_t i = 0; result == 1 && i < nm; ++i)
    result = Mesh_addInterfaceMap(target, maps[i]);
  zyrMemory_free(maps, __func__);
  if (result == 1)
    Mesh_delete(source);
  return result;
}

Splitting *Mesh_localise(Mesh *mesh, const Vertices *vertices) {
  Splitting *splitting = Splitting_new(mesh);
  if (splitting == nullptr)
    return nullptr;
  ElementMesh **meshes = nullptr;
  const int32_t n = Mesh_getElementMeshes(mesh, &meshes);
  for (int32_t i = 0; i < n; ++i)
    if (ElementMesh_localise(meshes[i], splitting, vertices) != 1) {
      Splitting_delete(splitting);
      splitting = nullptr;
      break;
    }
  zyrMemory_free(meshes, __func__);
  return splitting;
}

int Mesh_splitSharedVertices(Mesh *mesh) {
  ElementMesh **meshes = nullptr;
  const int32_t n = Mesh_getElementMeshes(mesh, &meshes);
  int result = 1;
  for (int32_t i = 0; result == 1 && i < n; ++i)
    result = ElementMesh_splitSharedVertices(meshes[i], mesh);
  zyrMemory_free(meshes, __func__);
  return result;
}

int Mesh_getRegionMesh(Mesh *mesh, Region *region, int32_t convention, const char *units, int32_t *noOfVertices,
                       double **coordinates, int32_t *noOfElements, int32_t **elementTypes, int32_t **connectivity) {
  *noOfVertices = 0;
  *coordinates = nullptr;
  *noOfElements = 0;
  *elementTypes = nullptr;
  *connectivity = nullptr;
  if (Region_getDimensionality(region) == 2) {
    FaceMesh *fm = Mesh_getFaceMesh(mesh, region);
    if (fm == nullptr) {
      regionMeshError(__func__, "Unable to determine the face mesh associated with region \"%s\".\n", region);
      return 0;
    }
    int32_t *faces = nullptr;
    int32_t nside = 4;
    int32_t mixed = 0;
    int32_t sentinel = -1;
    const int32_t n = FaceMesh_getFaceVertices(fm, 1, 1, convention, nullptr, 1, &faces, &nside, &mixed, &sentinel);
    int32_t *types = zyrMemory_allocateArray<int32_t>(n > 0 ? n : 1, __func__);
    int64_t at = 0;
    for (int32_t f = 0; f < n; ++f) {
      const int32_t *face = faces + static_cast<int64_t>(f) * nside;
      const bool quadrilateral = face[3] != sentinel;
      for (int k = 0; k < (quadrilateral ? 4 : 3); ++k)
        faces[at++] = face[k];
      types[f] = quadrilateral ? 3 : 2;
    }
    if (faces != nullptr)
      faces = zyrMemory_reallocateArray(faces, at > 0 ? at : 1, __func__);
    double *xyz = nullptr;
    const int32_t nv = FaceMesh_getVertexCoordinates(fm, 1, units, &xyz);
    if (nv < 0) {
      zyrMemory_free(faces, __func__);
      zyrMemory_free(types, __func__);
      return 0;
    }
    *noOfVertices = nv;
    *coordinates = xyz;
    *noOfElements = n;
    *elementTypes = types;
    *connectivity = faces;
    return 1;
  }
  ElementMesh *em = Mesh_getElementMesh(mesh, region);
  if (em == nullptr) {
    regionMeshError(__func__, "Unable to determine the element mesh associated with region \"%s\".\n", region);
    return 0;
  }
  const int32_t ne = ElementMesh_getNoOfElements(em);
  ElementSet **sets = nullptr;
  const int32_t nsets = ElementMesh_getElementSets(em, &sets);
  int32_t *types = zyrMemory_allocateArray<int32_t>(ne > 0 ? ne : 1, __func__);
  int32_t *all = nullptr;
  int64_t length = 0;
  int64_t at = 0;
  int32_t written = 0;
  bool ok = true;
  for (int32_t s = 0; ok && s < nsets; ++s) {
    int32_t *list = nullptr;
    int32_t nel = 0;
    int32_t nv = 0;
    if (ElementSet_getElementVertices(sets[s], convention, nullptr, 0, &list, &nel, &nv) != 1) {
      char key[ZYR_UUID_BASE64_SIZE];
      zyrObject_getUUIDString(sets[s], key);
      ZYR_ERROR(ZYR_I_INTERNAL_ERROR, "Unable to retrieve element vertices for element set %s.\n", key);
      ok = false;
      break;
    }
    const int32_t type = ElementSet_getConventionElementType(sets[s], convention);
    for (int32_t e = 0; e < nel && written < ne; ++e)
      types[written++] = type;
    const int64_t entries = static_cast<int64_t>(nel) * nv;
    if (nsets == 1) {
      all = list;
      at = entries;
      break;
    }
    if (all == nullptr) {
      length = 0;
      for (int32_t k = 0; k < nsets; ++k)
        length += static_cast<int64_t>(ElementSet_getNoOfElements(sets[k])) *
                  ElementSet_getNoOfVerticesPerElement(sets[k]);
      all = zyrMemory_allocateArray<int32_t>(length > 0 ? length : 1, __func__);
    }
    std::copy(list, list + entries, all + at);
    at += entries;
    zyrMemory_free(list, __func__);
  }
  zyrMemory_free(sets, __func__);
  double *xyz = nullptr;
  const int32_t nv = ok ? ElementMesh_getVertexCoordinates(em, units, 0, nullptr, &xyz) : -1;
  if (!ok || nv < 0) {
    zyrMemory_free(types, __func__);
    zyrMemory_free(all, __func__);
    return 0;
  }
  *noOfVertices = nv;
  *coordinates = xyz;
  *noOfElements = ne;
  *elementTypes = types;
  *connectivity = all;
  return 1;
}

void Mesh_print(const Mesh *mesh, FILE *stream) {
  const char *rule = "==============================================";
  char key[ZYR_UUID_BASE64_SIZE];
  char topology[ZYR_UUID_BASE64_SIZE];
  zyrObject_getUUIDString(mesh, key);
  zyrObject_getUUIDString(mesh->m_topology, topology);
  std::fprintf(stream, "\n%s\nMesh: %s\n%s\n\n", rule, key, rule);
  std::fprintf(stream, "Topology: %s\n", topology);
  const char *titles[2] = {"No. of element meshes = %d\n", "No. of face meshes    = %d\n"};
  const int bits[3] = {MESH_ELEMENT_MESHES_CHANGED, MESH_FACE_MESHES_CHANGED, MESH_INTERFACE_MAPS_CHANGED};
  for (int kind = 0; kind < 3; ++kind) {
    const KeyedObjects links = linksOf(mesh, bits[kind]);
    std::fprintf(stream, kind < 2 ? titles[kind] : "No. of interface maps = %d\n", static_cast<int32_t>(links.size()));
    for (const auto &link : links) {
      char objectKey[ZYR_UUID_BASE64_SIZE];
      char regionKey[ZYR_UUID_BASE64_SIZE];
      zyrObject_getUUIDString(link.second, objectKey);
      zyrObject_getUUIDString(link.first, regionKey);
      if (kind < 2) {
        const char *name = Region_getName(static_cast<Region *>(link.first));
        std::fprintf(stream, "  %s <-> %s (%s)\n", objectKey, regionKey, name != nullptr ? name : "");
      } else {
        std::fprintf(stream, "  %s <-> %s\n", objectKey, regionKey);
      }
    }
  }
}
