#include "ElementMesh.h"

#include "ElementSet.h"
#include "ElementTopology.h"
#include "HashTable.h"
#include "IntegerMap.h"
#include "Region.h"
#include "Splitting.h"
#include "Set.h"
#include "Vertices.h"
#include "zyrArrayUtilities.h"
#include "zyrMemory.h"
#include "zyrMeshLayer.h"
#include "zyrTrace.h"
#include "zyrUUID.h"

#include <cstring>
#include <vector>

namespace {

// Re-entry guards of adding and removing: the set calls back while it follows. They are apart so
// that a set added here can still leave its previous mesh.
int g_addingSet = 0;
int g_removingSet = 0;

std::vector<ElementSet *> setsOf(const ElementMesh *mesh) {
  std::vector<ElementSet *> sets;
  if (mesh->m_elementSets != nullptr)
    for (int32_t i = 0; i < mesh->m_elementSets->m_count; ++i)
      if (mesh->m_elementSets->m_items[i] != nullptr) // a damaged file may name a record that is gone
        sets.push_back(static_cast<ElementSet *>(mesh->m_elementSets->m_items[i]));
  return sets;
}

} // namespace

int64_t ElementMesh_getSize() { return static_cast<int64_t>(sizeof(ElementMesh)); }

int ElementMesh_dump(void *object) {
  ElementMesh *mesh = static_cast<ElementMesh *>(object);
  return zyrObject_setSet(mesh, "elementSets", mesh->m_elementSets);
}

int ElementMesh_restore(void *object, int32_t flag) {
  ElementMesh *mesh = static_cast<ElementMesh *>(object);
  zyrObject_getSet(mesh, flag, "elementSets", &mesh->m_elementSets);
  if (mesh->m_elementSets == nullptr)
    mesh->m_elementSets = Set_new(5);
  // What the store left out (of another type, or a set another mesh holds) is not kept.
  while (Set_remove(mesh->m_elementSets, nullptr))
    ;
  void *pointer = mesh->m_vertices;
  zyrObject_getPointer(mesh, flag, "vertices", &pointer);
  mesh->m_vertices = static_cast<Vertices *>(pointer);
  pointer = mesh->m_region;
  zyrObject_getPointer(mesh, flag, "region", &pointer);
  mesh->m_region = static_cast<Region *>(pointer);
  mesh->m_noOfElements = -1;
  return 1;
}

int ElementMesh_delete(void *object) {
  ElementMesh *mesh = static_cast<ElementMesh *>(object);
  if (mesh == nullptr)
    return 0;
  if (zyrObject_canDelete(mesh) && mesh->m_vertices != nullptr)
    Vertices_delete(mesh->m_vertices);
  mesh->m_vertices = nullptr;
  Set_delete(mesh->m_elementSets);
  mesh->m_elementSets = nullptr;
  return zyrObject_delete(mesh);
}

ElementMesh *ElementMesh_new(Region *region) {
  zyrMeshLayer_initialise();
  ElementMesh *mesh = static_cast<ElementMesh *>(zyrObject_new("ElementMesh"));
  if (mesh == nullptr)
    return nullptr;
  mesh->m_elementSets = Set_new(5);
  mesh->m_region = region;
  mesh->m_noOfElements = -1;
  zyrObject_setPointer(mesh, "region", region);
  return mesh;
}

ElementMesh *ElementMesh_copy(ElementMesh *source, Region *region, const zyrAffineTransform3D *transform,
                              HashTable *copyTable) {
  if (source == nullptr)
    return nullptr;
  ElementMesh *mesh = static_cast<ElementMesh *>(zyrObject_new("ElementMesh"));
  if (mesh == nullptr)
    return nullptr;
  mesh->m_elementSets = Set_new(5);
  mesh->m_vertices = source->m_vertices != nullptr ? Vertices_copy(source->m_vertices, transform) : nullptr;
  mesh->m_region = region;
  zyrObject_setPointer(mesh, "vertices", mesh->m_vertices);
  zyrObject_setPointer(mesh, "region", region);
  if (copyTable != nullptr)
    HashTable_insert(copyTable, source, mesh);
  for (ElementSet *set : setsOf(source))
    ElementMesh_addElementSet(mesh, ElementSet_copy(set, copyTable));
  mesh->m_noOfElements = source->m_noOfElements;
  return mesh;
}

int ElementMesh_addElementSet(ElementMesh *mesh, ElementSet *set) {
  mesh->m_noOfElements = -1;
  if (g_addingSet || set == nullptr)
    return 1;
  g_addingSet = 1;
  const int changed = Set_add(mesh->m_elementSets, set);
  if (changed) {
    ElementSet_setElementMesh(set, mesh);
    zyrObject_setModified(mesh);
  }
  g_addingSet = 0;
  return changed;
}

int ElementMesh_removeElementSet(ElementMesh *mesh, ElementSet *set) {
  mesh->m_noOfElements = -1;
  if (g_removingSet || set == nullptr)
    return 1;
  g_removingSet = 1;
  const int changed = Set_remove(mesh->m_elementSets, set);
  if (changed) {
    ElementSet_setElementMesh(set, nullptr);
    zyrObject_setModified(mesh);
  }
  g_removingSet = 0;
  return changed;
}

int32_t ElementMesh_getNoOfElementSets(const ElementMesh *mesh) { return Set_getNoOfMembers(mesh->m_elementSets); }

int32_t ElementMesh_getElementSets(const ElementMesh *mesh, ElementSet ***sets) {
  void **array = nullptr;
  const int32_t n = Set_toArray(mesh->m_elementSets, &array);
  *sets = reinterpret_cast<ElementSet **>(array);
  return n;
}

int32_t ElementMesh_getNoOfElements(ElementMesh *mesh) {
  if (mesh->m_noOfElements != -1)
    return mesh->m_noOfElements;
  int32_t total = 0;
  for (ElementSet *set : setsOf(mesh))
    total += ElementSet_getNoOfElements(set);
  mesh->m_noOfElements = total;
  return total;
}

int32_t ElementMesh_getNoOfElementsByType(ElementMesh *mesh, int32_t *counts) {
  int32_t total = 0;
  for (ElementSet *set : setsOf(mesh)) {
    const int32_t n = ElementSet_getNoOfElements(set);
    const int32_t type = ElementSet_getElementType(set);
    if (type >= 0 && type < ElementTopology_getNoOfElementTypes())
      counts[type] += n;
    total += n;
  }
  mesh->m_noOfElements = total;
  return total;
}

Region *ElementMesh_getRegion(const ElementMesh *mesh) { return mesh->m_region; }

int ElementMesh_setVertices(ElementMesh *mesh, Vertices *vertices) {
  if (mesh->m_vertices != nullptr && mesh->m_vertices != vertices)
    Vertices_delete(mesh->m_vertices);
  mesh->m_vertices = vertices;
  zyrObject_setPointer(mesh, "vertices", vertices);
  return 1;
}

Vertices *ElementMesh_getVertices(const ElementMesh *mesh) { return mesh->m_vertices; }

int32_t ElementMesh_getNoOfVertices(const ElementMesh *mesh) {
  return mesh->m_vertices != nullptr ? Vertices_getNoOfVertices(mesh->m_vertices) : 0;
}

int32_t ElementMesh_getVertexCoordinates(ElementMesh *mesh, const char *units, int32_t count,
                                         const int32_t *vertices, double **coordinates) {
  if (mesh->m_vertices == nullptr)
    return 0;
  void *out = *coordinates;
  const int32_t n = Vertices_getCoordinates(mesh->m_vertices, units, 2, count, vertices, &out);
  *coordinates = static_cast<double *>(out);
  return n;
}

int32_t ElementMesh_getSplitVertices(const ElementMesh *mesh, const int32_t **sources) {
  if (mesh->m_vertices == nullptr) {
    *sources = nullptr;
    return 0;
  }
  return Vertices_getSplitVertices(mesh->m_vertices, sources);
}

int ElementMesh_transform(ElementMesh *mesh, const zyrAffineTransform3D *transform) {
  return mesh->m_vertices != nullptr ? Vertices_transform(mesh->m_vertices, transform) : 0;
}

int ElementMesh_isInverted(const ElementMesh *mesh) {
  return mesh->m_vertices != nullptr ? Vertices_isInverted(mesh->m_vertices) : 0;
}

IntegerMap *ElementMesh_calculateMap(const ElementMesh *mesh) {
  std::vector<ElementSet *> sets = setsOf(mesh);
  int64_t total = 0;
  for (ElementSet *set : sets)
    total += static_cast<int64_t>(ElementSet_getNoOfElements(set)) * ElementSet_getNoOfVerticesPerElement(set);
  if (total < 1 || total > INT32_MAX)
    return nullptr;
  int32_t *all = zyrMemory_allocateArray<int32_t>(total, __func__);
  int64_t at = 0;
  for (ElementSet *set : sets) {
    int32_t *vertices = nullptr;
    int32_t nel = 0;
    int32_t v = 0;
    if (ElementSet_getElementVertexPointer(set, 0, nullptr, 0, &vertices, &nel, &v) == 1 && vertices != nullptr) {
      std::memcpy(all + at, vertices, static_cast<size_t>(nel) * static_cast<size_t>(v) * sizeof(int32_t));
      at += static_cast<int64_t>(nel) * v;
    }
    ElementSet_releaseElementVertexPointer(set, &vertices);
  }
  int count = static_cast<int>(at);
  zyrEliminateDuplicates(&count, &all);
  IntegerMap *map = IntegerMap_new(count, all);
  if (map == nullptr)
    zyrMemory_free(all, __func__);
  return map;
}

int ElementMesh_renumberVertices(ElementMesh *mesh, const IntegerMap *map) {
  int result = 1;
  for (ElementSet *set : setsOf(mesh))
    if (ElementSet_renumberVertices(set, map) != 1)
      result = 0;
  return result;
}

int ElementMesh_localise(ElementMesh *mesh, const Splitting *splitting, const Vertices *source) {
  const IntegerMap *map = Splitting_getVertexMap(splitting, mesh);
  int32_t count = 0;
  const int32_t *values = map != nullptr ? IntegerMap_getValues(map, &count) : nullptr;
  Vertices *subset = Vertices_newSubset(source, count, values);
  if (subset == nullptr)
    return 0;
  // The shared source is not this mesh's to delete.
  if (mesh->m_vertices != nullptr && mesh->m_vertices != source)
    Vertices_delete(mesh->m_vertices);
  mesh->m_vertices = subset;
  zyrObject_setPointer(mesh, "vertices", subset);
  return map != nullptr ? ElementMesh_renumberVertices(mesh, map) : 1;
}

void ElementMesh_print(const ElementMesh *constMesh, FILE *stream) {
  ZYR_TRACE_BEGIN_DESC("Print out the current state of an element mesh.");
  ElementMesh *mesh = const_cast<ElementMesh *>(constMesh); // the count cache is filled on the way
  const char *rule = "==============================================";
  char key[ZYR_UUID_BASE64_SIZE];
  zyrObject_getUUIDString(mesh, key);
  std::fprintf(stream, "\n%s\nElementMesh: %s\n%s\n\n", rule, key, rule);
  std::fprintf(stream, "Number of elements     = %d\n", ElementMesh_getNoOfElements(mesh));
  std::fprintf(stream, "Number of vertices     = %d\n", ElementMesh_getNoOfVertices(mesh));
  const char *name = mesh->m_region != nullptr ? Region_getName(mesh->m_region) : nullptr;
  std::fprintf(stream, "Region                 = \"%s\"\n", name != nullptr ? name : "");
  std::fprintf(stream, "Number of element sets = %d\n", ElementMesh_getNoOfElementSets(mesh));
  const std::vector<ElementSet *> sets = setsOf(mesh);
  if (!sets.empty()) {
    std::fprintf(stream, "\nElement set              Type of element           No. of elements\n");
    for (ElementSet *set : sets) {
      char setKey[ZYR_UUID_BASE64_SIZE];
      zyrObject_getUUIDString(set, setKey);
      const char *type = ElementTopology_getElementTypeName(ElementSet_getElementType(set));
      std::fprintf(stream, "%s   %-25s %15d\n", setKey, type != nullptr ? type : "", ElementSet_getNoOfElements(set));
    }
  }
  char verticesKey[ZYR_UUID_BASE64_SIZE];
  zyrObject_getUUIDString(mesh->m_vertices, verticesKey);
  std::fprintf(stream, "\nVertices: %s\n", verticesKey);
  if (ZYR_TRACE_DEBUG(1)) {
    if (mesh->m_vertices != nullptr)
      Vertices_print(mesh->m_vertices, stream);
    for (ElementSet *set : sets)
      ElementSet_print(set, stream);
  }
}
