#include "ElementSet.h"

#include "ElementConversion.h"
#include "ElementMesh.h"
#include "ElementTopology.h"
#include "HashTable.h"
#include "IntegerMap.h"
#include "Numbering.h"
#include "zyrBlob.h"
#include "zyrError.h"
#include "zyrMemory.h"
#include "zyrMeshLayer.h"
#include "zyrTrace.h"
#include "zyrUUID.h"

#include <cstring>

namespace {

// Re-entry guard of the two-sided move between meshes.
int g_settingMesh = 0;

bool validType(int32_t type) { return type >= ZYR_ELEMENT_NODE && type <= ZYR_ELEMENT_HEXA_8; }
bool validConvention(int32_t convention) {
  return convention >= 0 && convention < ElementTopology_getNoOfConventions();
}

const int32_t *data(const ElementSet *set) {
  return set->m_kvxel != nullptr ? static_cast<const int32_t *>(zyrBlob_getData(set->m_kvxel)) : nullptr;
}

// Checks a list handed in and puts it into native order in place. 0 (error published) when it
// cannot be stored.
int toNative(const char *function, int32_t type, int32_t convention, int32_t length, int32_t *vertices) {
  if (!validType(type) || !validConvention(convention)) {
    ZYR_ERROR_FOR(ZYR_U_INVALID_INPUT, function, "Element type %d or its convention is not known.\n", type);
    return 0;
  }
  const int32_t v = ElementTopology_getNoOfVertices(type);
  if (length < 0 || length % v != 0 || (length > 0 && vertices == nullptr)) {
    ZYR_ERROR_FOR(ZYR_U_INVALID_INPUT, function, "A list of %d vertex numbers does not make whole elements.\n", length);
    return 0;
  }
  for (int32_t i = 0; i < length; ++i)
    if (vertices[i] < 0) {
      ZYR_ERROR_FOR(ZYR_U_INVALID_INPUT, function, "Vertex number %d is not a vertex.\n", vertices[i]);
      return 0;
    }
  const int native = ElementConversion_isVertexOrderNative(type, convention, 0);
  if (native == 1)
    return 1;
  // A convention that cannot express the type is refused rather than stored as if native.
  if (native < 0 || !ElementConversion_reorderVertices(type, convention, 0, 1, length / v, vertices, vertices)) {
    ZYR_ERROR_FOR(ZYR_I_INTERNAL_ERROR, function,
                  "There was a problem reordering "
                  "the vertices of %s\n"
                  "elements to satisfy the %s convention.\n",
                  ElementTopology_getElementTypeName(type), ElementTopology_getConventionName(convention));
    return 0;
  }
  return 1;
}

// Makes restored data that does not fit together safe to read. 1 when nothing had to change.
int checkConsistency(ElementSet *set) {
  if (!validType(set->m_type) || set->m_nel < 0 || set->m_kvxel == nullptr ||
      zyrBlob_getType(set->m_kvxel) != ZYR_TYPE_INT) {
    const int empty = set->m_nel == 0 && validType(set->m_type);
    set->m_nel = 0;
    return empty;
  }
  const int64_t v = ElementTopology_getNoOfVertices(set->m_type);
  const int64_t size = data(set) != nullptr ? zyrBlob_getSize(set->m_kvxel) : 0;
  if (static_cast<int64_t>(set->m_nel) * v * 4 > size) {
    set->m_nel = static_cast<int32_t>(size / (v * 4));
    return 0;
  }
  const int32_t *vertices = data(set);
  int32_t limit = INT32_MAX;
  if (set->m_elementMesh != nullptr && ElementMesh_getVertices(set->m_elementMesh) != nullptr)
    limit = ElementMesh_getNoOfVertices(set->m_elementMesh);
  for (int64_t i = 0; i < set->m_nel * v; ++i)
    if (vertices[i] < 0 || vertices[i] >= limit) {
      set->m_nel = 0;
      return 0;
    }
  return 1;
}

void ensureConsistent(const ElementSet *constSet) {
  ElementSet *set = const_cast<ElementSet *>(constSet);
  if (set->m_checked != 0)
    return;
  set->m_checked = 1;
  if (checkConsistency(set) == 1)
    return;
  char key[ZYR_UUID_BASE64_SIZE];
  zyrObject_getUUIDString(set, key);
  ZYR_ERROR(ZYR_I_INTERNAL_ERROR, "The stored element set %s is inconsistent.\n", key);
}

void writeAll(ElementSet *set) {
  zyrObject_setPointer(set, "elementMesh", set->m_elementMesh);
  zyrObject_setInt(set, "type", set->m_type);
  zyrObject_setInt(set, "nel", set->m_nel);
  zyrObject_setPointer(set, "kvxel", set->m_kvxel);
}

// The conversion asked for: mirroring only applies to a reflected mesh.
bool needsConversion(const ElementSet *set, int32_t convention, int mirror, int *mirrored) {
  *mirrored = mirror != 0 && ElementSet_isInverted(set) ? 1 : 0;
  return convention != 0 || *mirrored != 0;
}

int convertedCopy(const ElementSet *set, int32_t convention, int mirrored, int32_t **vertices) {
  const int64_t v = ElementTopology_getNoOfVertices(set->m_type);
  const int64_t n = static_cast<int64_t>(set->m_nel) * v;
  int32_t *copy = zyrMemory_allocateArray<int32_t>(n > 0 ? n : 1, __func__);
  if (n > 0 && !ElementConversion_reorderVertices(set->m_type, convention, mirrored, 0, set->m_nel, data(set), copy)) {
    zyrMemory_free(copy, __func__);
    return 0;
  }
  *vertices = copy;
  return 1;
}

// Vertex numbers become their labels in the zone numbering; 0 when the set's mesh is not
// numbered or a number is not one of its vertices.
int relabel(const ElementSet *set, const Numbering *numbering, int64_t n, int32_t *vertices) {
  const int32_t *labels = Numbering_getVertexLabels(numbering, set->m_elementMesh);
  if (labels == nullptr)
    return 0;
  const int32_t count = ElementMesh_getNoOfVertices(set->m_elementMesh);
  for (int64_t i = 0; i < n; ++i) {
    if (vertices[i] < 0 || vertices[i] >= count)
      return 0;
    vertices[i] = labels[vertices[i]];
  }
  return 1;
}

} // namespace

int64_t ElementSet_getSize() { return static_cast<int64_t>(sizeof(ElementSet)); }

int ElementSet_dump(void *) { return 1; }

int ElementSet_restore(void *object, int32_t flag) {
  ElementSet *set = static_cast<ElementSet *>(object);
  void *pointer = set->m_elementMesh;
  zyrObject_getPointer(set, flag, "elementMesh", &pointer);
  set->m_elementMesh = static_cast<ElementMesh *>(pointer);
  zyrObject_getInt(set, flag, "type", &set->m_type);
  zyrObject_getInt(set, flag, "nel", &set->m_nel);
  pointer = set->m_kvxel;
  zyrObject_getPointer(set, flag, "kvxel", &pointer);
  set->m_kvxel = static_cast<zyrBlob *>(pointer);
  // The blob may not be loaded yet: the fields are checked on first use.
  set->m_checked = 0;
  return 1;
}

int ElementSet_delete(void *object) {
  ElementSet *set = static_cast<ElementSet *>(object);
  if (set == nullptr)
    return 0;
  if (zyrObject_canDelete(set) && set->m_kvxel != nullptr)
    zyrBlob_delete(set->m_kvxel);
  set->m_kvxel = nullptr;
  return zyrObject_delete(set);
}

ElementSet *ElementSet_new(int32_t type, int32_t convention, int32_t length, int32_t *vertices) {
  if (!toNative(__func__, type, convention, length, vertices)) {
    zyrMemory_free(vertices, __func__);
    return nullptr;
  }
  zyrMeshLayer_initialise();
  ElementSet *set = static_cast<ElementSet *>(zyrObject_new("ElementSet"));
  if (set == nullptr) {
    zyrMemory_free(vertices, __func__);
    return nullptr;
  }
  set->m_type = type;
  set->m_nel = length / ElementTopology_getNoOfVertices(type);
  set->m_kvxel = zyrBlob_new(vertices, 4 * static_cast<int64_t>(length), ZYR_TYPE_INT);
  set->m_checked = 1;
  writeAll(set);
  return set;
}

ElementSet *ElementSet_copy(ElementSet *source, HashTable *copyTable) {
  if (source == nullptr)
    return nullptr;
  ensureConsistent(source);
  ElementSet *set = static_cast<ElementSet *>(zyrObject_new("ElementSet"));
  if (set == nullptr)
    return nullptr;
  set->m_type = source->m_type;
  set->m_nel = source->m_nel;
  set->m_kvxel = zyrBlob_copy(source->m_kvxel);
  set->m_checked = 1;
  if (copyTable != nullptr)
    HashTable_insert(copyTable, source, set);
  writeAll(set);
  return set;
}

int32_t ElementSet_getNoOfElements(const ElementSet *set) {
  ensureConsistent(set);
  return set->m_nel;
}
int32_t ElementSet_getElementType(const ElementSet *set) { return set->m_type; }
ElementMesh *ElementSet_getElementMesh(const ElementSet *set) { return set->m_elementMesh; }
int32_t ElementSet_getNoOfVerticesPerElement(const ElementSet *set) {
  return ElementTopology_getNoOfVertices(set->m_type);
}
int32_t ElementSet_getNoOfFacesPerElement(const ElementSet *set) { return ElementTopology_getNoOfFaces(set->m_type); }
int32_t ElementSet_getConventionElementType(const ElementSet *set, int32_t convention) {
  return ElementTopology_getConventionElementType(set->m_type, convention);
}

int ElementSet_getElements(const ElementSet *set, const Numbering *numbering, int32_t **elements, int32_t *count) {
  ensureConsistent(set);
  *elements = nullptr;
  *count = 0;
  int32_t offset = 0;
  if (numbering != nullptr && !Numbering_getElementSetOffset(numbering, set, &offset))
    return 0;
  int32_t *list = zyrMemory_allocateArray<int32_t>(set->m_nel > 0 ? set->m_nel : 1, __func__);
  for (int32_t e = 0; e < set->m_nel; ++e)
    list[e] = offset + e;
  *elements = list;
  *count = set->m_nel;
  return 1;
}

int ElementSet_getElementVertices(const ElementSet *set, int32_t convention, const Numbering *numbering, int mirror,
                                  int32_t **vertices, int32_t *nel, int32_t *noOfVerticesPerElement) {
  ensureConsistent(set);
  *vertices = nullptr;
  *nel = set->m_nel;
  *noOfVerticesPerElement = ElementTopology_getNoOfVertices(set->m_type);
  int mirrored = 0;
  needsConversion(set, convention, mirror, &mirrored);
  if (!validConvention(convention) || !convertedCopy(set, convention, mirrored, vertices))
    return 0;
  if (numbering != nullptr &&
      !relabel(set, numbering, static_cast<int64_t>(set->m_nel) * *noOfVerticesPerElement, *vertices)) {
    zyrMemory_freeAndClear(vertices, __func__);
    return 0;
  }
  return 1;
}

int ElementSet_getElementVertexPointer(const ElementSet *set, int32_t convention, const Numbering *numbering,
                                       int mirror, int32_t **vertices, int32_t *nel, int32_t *noOfVerticesPerElement) {
  ensureConsistent(set);
  int mirrored = 0;
  if (numbering == nullptr && !needsConversion(set, convention, mirror, &mirrored)) {
    *vertices = const_cast<int32_t *>(data(set));
    *nel = set->m_nel;
    *noOfVerticesPerElement = ElementTopology_getNoOfVertices(set->m_type);
    return 1;
  }
  return ElementSet_getElementVertices(set, convention, numbering, mirror, vertices, nel, noOfVerticesPerElement);
}

int ElementSet_releaseElementVertexPointer(const ElementSet *set, int32_t **vertices) {
  if (*vertices != nullptr && *vertices != data(set))
    zyrMemory_free(*vertices, __func__);
  *vertices = nullptr;
  return 1;
}

int ElementSet_getElement(const ElementSet *set, int32_t element, int32_t convention, const Numbering *numbering,
                          int mirror, int32_t *noOfVertices, int32_t *buffer) {
  ensureConsistent(set);
  if (element < 0 || element >= set->m_nel || !validConvention(convention))
    return 0;
  const int32_t v = ElementTopology_getNoOfVertices(set->m_type);
  int mirrored = 0;
  needsConversion(set, convention, mirror, &mirrored);
  if (!ElementConversion_reorderVertices(set->m_type, convention, mirrored, 0, 1,
                                         data(set) + static_cast<int64_t>(element) * v, buffer))
    return 0;
  if (numbering != nullptr && !relabel(set, numbering, v, buffer))
    return 0;
  *noOfVertices = v;
  return 1;
}

int ElementSet_isInverted(const ElementSet *set) {
  return set->m_elementMesh != nullptr ? ElementMesh_isInverted(set->m_elementMesh) : 0;
}

int ElementSet_setElementMesh(ElementSet *set, ElementMesh *mesh) {
  if (g_settingMesh)
    return 1;
  g_settingMesh = 1;
  int result = 1;
  if (set->m_elementMesh != nullptr && set->m_elementMesh != mesh)
    result = ElementMesh_removeElementSet(set->m_elementMesh, set);
  set->m_elementMesh = mesh;
  zyrObject_setPointer(set, "elementMesh", mesh);
  if (mesh != nullptr)
    result = ElementMesh_addElementSet(mesh, set);
  g_settingMesh = 0;
  return result;
}

int ElementSet_renumberVertices(ElementSet *set, const IntegerMap *map) {
  ensureConsistent(set);
  if (set->m_kvxel == nullptr || map == nullptr)
    return 0;
  zyrBlob *unique = zyrBlob_getUnique(set->m_kvxel, 1);
  if (unique == nullptr)
    return 0;
  if (unique != set->m_kvxel) {
    zyrBlob_delete(set->m_kvxel);
    set->m_kvxel = unique;
    zyrObject_setPointer(set, "kvxel", unique);
  }
  const int64_t n = static_cast<int64_t>(set->m_nel) * ElementTopology_getNoOfVertices(set->m_type);
  IntegerMap_mapValues(map, static_cast<int32_t>(n), static_cast<int32_t *>(zyrBlob_getData(unique)));
  zyrBlob_update(unique);
  return 1;
}

int ElementSet_modifyElementTopology(ElementSet *set, int32_t type, int32_t convention, int32_t length,
                                     int32_t *vertices) {
  if (!toNative(__func__, type, convention, length, vertices)) {
    zyrMemory_free(vertices, __func__);
    return 0;
  }
  if (type != set->m_type) {
    set->m_type = type;
    zyrObject_setInt(set, "type", type);
  }
  const int32_t nel = length / ElementTopology_getNoOfVertices(type);
  if (nel != set->m_nel) {
    set->m_nel = nel;
    zyrObject_setInt(set, "nel", nel);
  }
  if (set->m_kvxel != nullptr)
    zyrBlob_delete(set->m_kvxel);
  set->m_kvxel = zyrBlob_new(vertices, 4 * static_cast<int64_t>(length), ZYR_TYPE_INT);
  zyrObject_setPointer(set, "kvxel", set->m_kvxel);
  set->m_checked = 1;
  return 1;
}

int32_t ElementSet_getLargestVertex(const ElementSet *set) {
  ensureConsistent(set);
  const int32_t *vertices = data(set);
  const int64_t n = static_cast<int64_t>(set->m_nel) * ElementTopology_getNoOfVertices(set->m_type);
  int32_t largest = -1;
  for (int64_t i = 0; i < n; ++i)
    if (vertices[i] > largest)
      largest = vertices[i];
  return largest;
}

void ElementSet_print(const ElementSet *set, FILE *stream) {
  ZYR_TRACE_BEGIN_DESC("Print out the current state of an element set.");
  ensureConsistent(set);
  const char *rule = "==============================================";
  char key[ZYR_UUID_BASE64_SIZE];
  char mesh[ZYR_UUID_BASE64_SIZE];
  zyrObject_getUUIDString(set, key);
  zyrObject_getUUIDString(set->m_elementMesh, mesh);
  std::fprintf(stream, "\n%s\nElementSet: %s\n%s\n\n", rule, key, rule);
  std::fprintf(stream, "ElementMesh        = %s\n", mesh);
  const char *name = ElementTopology_getElementTypeName(set->m_type);
  std::fprintf(stream, "Type of element    = %s\n", name != nullptr ? name : "");
  std::fprintf(stream, "Number of elements = %d\n", set->m_nel);
  if (ZYR_TRACE_DEBUG(1)) {
    const int32_t v = ElementTopology_getNoOfVertices(set->m_type);
    const int32_t *vertices = data(set);
    for (int32_t e = 0; e < set->m_nel; ++e) {
      std::fprintf(stream, "%10d: ", e);
      for (int32_t k = 0; k < v; ++k)
        std::fprintf(stream, "%10d", vertices[static_cast<int64_t>(e) * v + k]);
      std::fprintf(stream, "\n");
    }
  }
}
