#include "FaceSet.h"

#include "ElementConversion.h"
#include "ElementMesh.h"
#include "ElementSet.h"
#include "ElementTopology.h"
#include "Numbering.h"
#include "FaceMesh.h"
#include "HashTable.h"
#include "zyrArrayUtilities.h"
#include "zyrBlob.h"
#include "zyrError.h"
#include "zyrMemory.h"
#include "zyrMeshLayer.h"
#include "zyrTrace.h"
#include "zyrUUID.h"

#include <cstring>
#include <vector>

namespace {

int g_settingFaceMesh = 0;

const int32_t *elementsOf(const FaceSet *set) {
  return set->m_kelfc != nullptr ? static_cast<const int32_t *>(zyrBlob_getData(set->m_kelfc)) : nullptr;
}
const int32_t *facesOf(const FaceSet *set) {
  return set->m_krffc != nullptr ? static_cast<const int32_t *>(zyrBlob_getData(set->m_krffc)) : nullptr;
}

int32_t typeOf(const FaceSet *set) {
  return set->m_elementSet != nullptr ? ElementSet_getElementType(set->m_elementSet) : -1;
}

// An empty set keeps one spare entry in each list.
zyrBlob *listBlob(int32_t *values, int32_t n) {
  if (n == 0) {
    zyrMemory_free(values, __func__);
    values = zyrMemory_allocateArray<int32_t>(1, __func__);
    values[0] = 0;
  }
  return zyrBlob_new(values, 4 * static_cast<int64_t>(n > 0 ? n : 1), ZYR_TYPE_INT);
}

void clearCache(FaceSet *set) {
  set->m_minVerticesPerFace = -1;
  set->m_maxVerticesPerFace = -1;
}

// The first face that does not fit its element set, or -1.
int32_t firstBadFace(const ElementSet *elementSet, int32_t nfc, const int32_t *elements, const int32_t *faces) {
  const int32_t nel = ElementSet_getNoOfElements(elementSet);
  const int32_t nf = ElementSet_getNoOfFacesPerElement(elementSet);
  for (int32_t i = 0; i < nfc; ++i)
    if (elements[i] < 0 || elements[i] >= nel || faces[i] < 0 || faces[i] >= nf)
      return i;
  return -1;
}

int checkConsistency(FaceSet *set) {
  if (set->m_nfc == 0)
    return 1;
  if (set->m_nfc < 0 || set->m_elementSet == nullptr || set->m_kelfc == nullptr || set->m_krffc == nullptr ||
      elementsOf(set) == nullptr || facesOf(set) == nullptr || zyrBlob_getType(set->m_kelfc) != ZYR_TYPE_INT ||
      zyrBlob_getType(set->m_krffc) != ZYR_TYPE_INT || zyrBlob_getSize(set->m_kelfc) < 4 * int64_t{set->m_nfc} ||
      zyrBlob_getSize(set->m_krffc) < 4 * int64_t{set->m_nfc} ||
      firstBadFace(set->m_elementSet, set->m_nfc, elementsOf(set), facesOf(set)) >= 0) {
    set->m_nfc = 0;
    return 0;
  }
  return 1;
}

void ensureConsistent(const FaceSet *constSet) {
  FaceSet *set = const_cast<FaceSet *>(constSet);
  if (set->m_checked != 0)
    return;
  set->m_checked = 1;
  if (checkConsistency(set) == 1)
    return;
  clearCache(set);
  char key[ZYR_UUID_BASE64_SIZE];
  zyrObject_getUUIDString(set, key);
  ZYR_ERROR(ZYR_I_INTERNAL_ERROR, "The stored face set %s is inconsistent.\n", key);
}

void writeAll(FaceSet *set) {
  zyrObject_setPointer(set, "elementSet", set->m_elementSet);
  zyrObject_setPointer(set, "faceMesh", set->m_faceMesh);
  zyrObject_setInt(set, "nfc", set->m_nfc);
  zyrObject_setPointer(set, "kelfc", set->m_kelfc);
  zyrObject_setPointer(set, "krffc", set->m_krffc);
}

void computeSizes(const FaceSet *constSet) {
  FaceSet *set = const_cast<FaceSet *>(constSet);
  if (set->m_minVerticesPerFace >= 0)
    return;
  const int32_t type = typeOf(set);
  if (set->m_nfc == 0 || type < 0) {
    set->m_minVerticesPerFace = 0;
    set->m_maxVerticesPerFace = 0;
    return;
  }
  const int32_t low = ElementTopology_getMinNoOfVerticesPerFace(type);
  const int32_t high = ElementTopology_getMaxNoOfVerticesPerFace(type);
  if (low == high) {
    set->m_minVerticesPerFace = low;
    set->m_maxVerticesPerFace = high;
    return;
  }
  int32_t nf = 0;
  const int32_t *counts = nullptr;
  const int32_t *lists = nullptr;
  ElementTopology_getFaceVertices(type, 0, &nf, &counts, &lists);
  int32_t smallest = high;
  int32_t largest = low;
  const int32_t *faces = facesOf(set);
  for (int32_t i = 0; i < set->m_nfc && (smallest > low || largest < high); ++i) {
    const int32_t n = counts[faces[i]];
    if (n < smallest)
      smallest = n;
    if (n > largest)
      largest = n;
  }
  set->m_minVerticesPerFace = smallest;
  set->m_maxVerticesPerFace = largest;
}

} // namespace

int64_t FaceSet_getSize() { return static_cast<int64_t>(sizeof(FaceSet)); }

int FaceSet_dump(void *) { return 1; }

int FaceSet_restore(void *object, int32_t flag) {
  FaceSet *set = static_cast<FaceSet *>(object);
  void *pointer = set->m_faceMesh;
  zyrObject_getPointer(set, flag, "faceMesh", &pointer);
  set->m_faceMesh = static_cast<FaceMesh *>(pointer);
  pointer = set->m_elementSet;
  zyrObject_getPointer(set, flag, "elementSet", &pointer);
  set->m_elementSet = static_cast<ElementSet *>(pointer);
  zyrObject_getInt(set, flag, "nfc", &set->m_nfc);
  pointer = set->m_kelfc;
  zyrObject_getPointer(set, flag, "kelfc", &pointer);
  set->m_kelfc = static_cast<zyrBlob *>(pointer);
  pointer = set->m_krffc;
  zyrObject_getPointer(set, flag, "krffc", &pointer);
  set->m_krffc = static_cast<zyrBlob *>(pointer);
  clearCache(set);
  set->m_checked = 0;
  return 1;
}

int FaceSet_delete(void *object) {
  FaceSet *set = static_cast<FaceSet *>(object);
  if (set == nullptr)
    return 0;
  if (zyrObject_canDelete(set)) {
    if (set->m_kelfc != nullptr)
      zyrBlob_delete(set->m_kelfc);
    if (set->m_krffc != nullptr)
      zyrBlob_delete(set->m_krffc);
  }
  set->m_kelfc = nullptr;
  set->m_krffc = nullptr;
  return zyrObject_delete(set);
}

FaceSet *FaceSet_new(ElementSet *elementSet, int32_t convention, int32_t nfc, int32_t *elements,
                     int32_t *localFaces) {
  auto refuse = [&]() -> FaceSet * {
    zyrMemory_free(elements, __func__);
    zyrMemory_free(localFaces, __func__);
    return nullptr;
  };
  if (elementSet == nullptr || nfc < 0 || (nfc > 0 && (elements == nullptr || localFaces == nullptr)) ||
      convention < 0 || convention >= ElementTopology_getNoOfConventions()) {
    ZYR_ERROR(ZYR_U_INVALID_INPUT, "A face set of %d faces cannot be made with these arguments.\n", nfc);
    return refuse();
  }
  const int32_t type = ElementSet_getElementType(elementSet);
  if (nfc > 0 && convention != 0 && !ElementConversion_revalueFaces(type, convention, 0, 1, nfc, localFaces)) {
    // A face list the convention cannot express, or a label that names no face, is not stored.
    ZYR_ERROR(ZYR_I_INTERNAL_ERROR,
              "There was a problem revaluing "
              "the faces of %s\n"
              "elements to satisfy the %s convention.\n",
              ElementTopology_getElementTypeName(type), ElementTopology_getConventionName(convention));
    return refuse();
  }
  const int32_t bad = nfc > 0 ? firstBadFace(elementSet, nfc, elements, localFaces) : -1;
  if (bad >= 0) {
    ZYR_ERROR(ZYR_U_INVALID_INPUT, "Face %d names element %d and local face %d, which the element set does not have.\n",
              bad, elements[bad], localFaces[bad]);
    return refuse();
  }
  zyrMeshLayer_initialise();
  FaceSet *set = static_cast<FaceSet *>(zyrObject_new("FaceSet"));
  if (set == nullptr)
    return refuse();
  set->m_elementSet = elementSet;
  set->m_nfc = nfc;
  set->m_kelfc = listBlob(elements, nfc);
  set->m_krffc = listBlob(localFaces, nfc);
  clearCache(set);
  set->m_checked = 1;
  writeAll(set);
  return set;
}

FaceSet *FaceSet_copy(FaceSet *source, HashTable *copyTable) {
  if (source == nullptr)
    return nullptr;
  ensureConsistent(source);
  FaceSet *set = static_cast<FaceSet *>(zyrObject_new("FaceSet"));
  if (set == nullptr)
    return nullptr;
  set->m_faceMesh = nullptr;
  set->m_elementSet = source->m_elementSet;
  if (copyTable != nullptr) {
    if (source->m_faceMesh != nullptr)
      set->m_faceMesh = static_cast<FaceMesh *>(HashTable_find(copyTable, source->m_faceMesh));
    void *copy = source->m_elementSet != nullptr ? HashTable_find(copyTable, source->m_elementSet) : nullptr;
    if (copy != nullptr)
      set->m_elementSet = static_cast<ElementSet *>(copy);
    HashTable_insert(copyTable, source, set);
  }
  set->m_nfc = source->m_nfc;
  set->m_kelfc = zyrBlob_copy(source->m_kelfc);
  set->m_krffc = zyrBlob_copy(source->m_krffc);
  set->m_minVerticesPerFace = source->m_minVerticesPerFace;
  set->m_maxVerticesPerFace = source->m_maxVerticesPerFace;
  set->m_checked = 1;
  writeAll(set);
  return set;
}

FaceSet *FaceSet_split(FaceSet *set, int32_t count, const int32_t *faces) {
  ensureConsistent(set);
  FaceSet *part = FaceSet_new(set->m_elementSet, 0, 0, nullptr, nullptr);
  if (part == nullptr)
    return nullptr;
  if (FaceSet_moveFaces(set, part, count, faces) != 1) {
    FaceSet_delete(part);
    return nullptr;
  }
  return part;
}

int FaceSet_moveFaces(FaceSet *from, FaceSet *to, int32_t count, const int32_t *faces) {
  ensureConsistent(from);
  ensureConsistent(to);
  if (count < 0 || count > from->m_nfc || from->m_elementSet != to->m_elementSet || from == to)
    return 0;
  if (count == 0)
    return 1;
  if (faces == nullptr)
    return 0;
  std::vector<char> moved(static_cast<size_t>(from->m_nfc), 0);
  for (int32_t k = 0; k < count; ++k) {
    if (faces[k] < 0 || faces[k] >= from->m_nfc || moved[static_cast<size_t>(faces[k])])
      return 0;
    moved[static_cast<size_t>(faces[k])] = 1;
  }
  const int32_t n = to->m_nfc + count;
  const int32_t kept = from->m_nfc - count;
  int32_t *toElements = zyrMemory_allocateArray<int32_t>(n, __func__);
  int32_t *toFaces = zyrMemory_allocateArray<int32_t>(n, __func__);
  std::memcpy(toElements, elementsOf(to), 4 * static_cast<size_t>(to->m_nfc));
  std::memcpy(toFaces, facesOf(to), 4 * static_cast<size_t>(to->m_nfc));
  for (int32_t k = 0; k < count; ++k) {
    toElements[to->m_nfc + k] = elementsOf(from)[faces[k]];
    toFaces[to->m_nfc + k] = facesOf(from)[faces[k]];
  }
  int32_t *fromElements = zyrMemory_allocateArray<int32_t>(kept > 0 ? kept : 1, __func__);
  int32_t *fromFaces = zyrMemory_allocateArray<int32_t>(kept > 0 ? kept : 1, __func__);
  int32_t at = 0;
  for (int32_t i = 0; i < from->m_nfc; ++i)
    if (!moved[static_cast<size_t>(i)]) {
      fromElements[at] = elementsOf(from)[i];
      fromFaces[at] = facesOf(from)[i];
      ++at;
    }
  zyrBlob_delete(to->m_kelfc);
  zyrBlob_delete(to->m_krffc);
  to->m_kelfc = listBlob(toElements, n);
  to->m_krffc = listBlob(toFaces, n);
  to->m_nfc = n;
  zyrBlob_delete(from->m_kelfc);
  zyrBlob_delete(from->m_krffc);
  from->m_kelfc = listBlob(fromElements, kept);
  from->m_krffc = listBlob(fromFaces, kept);
  from->m_nfc = kept;
  for (FaceSet *set : {from, to}) {
    zyrObject_setPointer(set, "kelfc", set->m_kelfc);
    zyrObject_setPointer(set, "krffc", set->m_krffc);
    zyrObject_setInt(set, "nfc", set->m_nfc);
    clearCache(set);
  }
  return 1;
}

int32_t FaceSet_getNoOfFaces(const FaceSet *set) {
  ensureConsistent(set);
  return set->m_nfc;
}
ElementSet *FaceSet_getElementSet(const FaceSet *set) { return set->m_elementSet; }
FaceMesh *FaceSet_getFaceMesh(const FaceSet *set) { return set->m_faceMesh; }

int FaceSet_setFaceMesh(FaceSet *set, FaceMesh *faceMesh) {
  if (g_settingFaceMesh)
    return 1;
  g_settingFaceMesh = 1;
  int result = 1;
  if (set->m_faceMesh != nullptr && set->m_faceMesh != faceMesh)
    result = FaceMesh_removeFaceSet(set->m_faceMesh, set);
  set->m_faceMesh = faceMesh;
  zyrObject_setPointer(set, "faceMesh", faceMesh);
  if (faceMesh != nullptr)
    result = FaceMesh_addFaceSet(faceMesh, set);
  g_settingFaceMesh = 0;
  return result;
}

int FaceSet_getNoOfVerticesPerFace(const FaceSet *set, int32_t *smallest, int32_t *largest) {
  ensureConsistent(set);
  computeSizes(set);
  *smallest = set->m_minVerticesPerFace;
  *largest = set->m_maxVerticesPerFace;
  return 1;
}

int32_t FaceSet_getNoOfTrisAndQuads(const FaceSet *set, int32_t *triangles, int32_t *others) {
  ensureConsistent(set);
  computeSizes(set);
  if (set->m_minVerticesPerFace != set->m_maxVerticesPerFace) {
    int32_t nf = 0;
    const int32_t *counts = nullptr;
    const int32_t *lists = nullptr;
    ElementTopology_getFaceVertices(typeOf(set), 0, &nf, &counts, &lists);
    int32_t t = 0;
    const int32_t *faces = facesOf(set);
    for (int32_t i = 0; i < set->m_nfc; ++i)
      if (counts[faces[i]] == 3)
        ++t;
    *triangles = t;
  } else {
    *triangles = set->m_minVerticesPerFace == 3 ? set->m_nfc : 0;
  }
  *others = set->m_nfc - *triangles;
  return set->m_nfc;
}

namespace {

// Vertex numbers of the element set's mesh become their zone labels; the pad value stays. 0 when
// the mesh is not numbered or a number is not one of its vertices.
int relabelVertices(const FaceSet *set, const Numbering *numbering, int64_t n, int32_t *vertices, int32_t pad) {
  ElementMesh *mesh = set->m_elementSet != nullptr ? ElementSet_getElementMesh(set->m_elementSet) : nullptr;
  const int32_t *labels = Numbering_getVertexLabels(numbering, mesh);
  if (labels == nullptr)
    return 0;
  const int32_t count = ElementMesh_getNoOfVertices(mesh);
  for (int64_t i = 0; i < n; ++i) {
    if (vertices[i] == pad)
      continue;
    if (vertices[i] < 0 || vertices[i] >= count)
      return 0;
    vertices[i] = labels[vertices[i]];
  }
  return 1;
}

} // namespace

int FaceSet_getFaces(const FaceSet *set, int32_t convention, const Numbering *numbering, int mirror, int32_t *nfc,
                     int32_t **elements, int32_t **localFaces) {
  ensureConsistent(set);
  *nfc = set->m_nfc;
  if (set->m_nfc == 0)
    return 1;
  int32_t offset = 0;
  if (numbering != nullptr && (set->m_elementSet == nullptr ||
                               !Numbering_getElementSetOffset(numbering, set->m_elementSet, &offset)))
    return 0;
  if (convention < 0 || convention >= ElementTopology_getNoOfConventions())
    return 0;
  const int mirrored = mirror != 0 && set->m_elementSet != nullptr && ElementSet_isInverted(set->m_elementSet);
  const int32_t type = typeOf(set);
  int32_t *faces = *localFaces != nullptr ? *localFaces : zyrMemory_allocateArray<int32_t>(set->m_nfc, __func__);
  std::memcpy(faces, facesOf(set), 4 * static_cast<size_t>(set->m_nfc));
  if ((convention != 0 || mirrored) && !ElementConversion_revalueFaces(type, convention, mirrored, 0, set->m_nfc, faces)) {
    if (*localFaces == nullptr)
      zyrMemory_free(faces, __func__);
    ZYR_ERROR(ZYR_I_INTERNAL_ERROR,
              "There was a problem revaluing %sthe faces of %s\nelements to satisfy the %s convention.\n",
              mirrored ? "and inverting " : "", ElementTopology_getElementTypeName(type),
              ElementTopology_getConventionName(convention));
    return 0;
  }
  int32_t *list = *elements != nullptr ? *elements : zyrMemory_allocateArray<int32_t>(set->m_nfc, __func__);
  std::memcpy(list, elementsOf(set), 4 * static_cast<size_t>(set->m_nfc));
  if (offset != 0)
    for (int32_t f = 0; f < set->m_nfc; ++f)
      list[f] += offset;
  *elements = list;
  *localFaces = faces;
  return 1;
}

int32_t FaceSet_getFaceVertices(const FaceSet *set, int32_t, const Numbering *numbering, int mirror,
                                int32_t *stride, int32_t **vertices, int32_t *padded, int32_t *padValue) {
  ensureConsistent(set);
  const int mirrored = mirror != 0 && set->m_elementSet != nullptr && ElementSet_isInverted(set->m_elementSet);
  computeSizes(set);
  const int32_t smallest = set->m_minVerticesPerFace;
  const int32_t largest = set->m_maxVerticesPerFace;
  // A caller's array was sized for its own stride: faces wider than that do not fit.
  if (*vertices != nullptr && *stride < largest) {
    ZYR_ERROR(ZYR_U_INVALID_INPUT, "An array of %d vertices per face cannot hold faces of %d vertices.\n", *stride,
              largest);
    return 0;
  }
  const int32_t width = *stride > largest ? *stride : largest;
  *stride = width;
  *padded = width != smallest ? 1 : 0;
  *padValue = -1;
  if (set->m_nfc == 0)
    return 0;
  const bool allocated = *vertices == nullptr;
  const int64_t size = static_cast<int64_t>(width) * set->m_nfc;
  int32_t *rows = allocated ? zyrMemory_allocateArray<int32_t>(size, __func__) : *vertices;
  if (*padded)
    for (int64_t i = 0; i < size; ++i)
      rows[i] = -1;
  int32_t *connectivity = nullptr;
  int32_t nel = 0;
  int32_t v = 0;
  if (set->m_elementSet == nullptr ||
      ElementSet_getElementVertexPointer(set->m_elementSet, 0, nullptr, 0, &connectivity, &nel, &v) != 1 ||
      (connectivity == nullptr && nel > 0)) {
    char key[ZYR_UUID_BASE64_SIZE];
    zyrError *error = zyrError_new(ZYR_I_INTERNAL_ERROR, __func__, __FILE__, __LINE__);
    if (set->m_elementSet == nullptr) {
      zyrObject_getUUIDString(set, key);
      zyrError_addMessage(error, "Unable to determine element set associated with face set %s.\n", key);
    } else {
      zyrObject_getUUIDString(set->m_elementSet, key);
      zyrError_addMessage(error, "Unable to retrieve element vertices for element set %s.\n", key);
    }
    zyrError_publish(error);
    if (allocated)
      zyrMemory_free(rows, __func__);
    return 0;
  }
  int32_t nf = 0;
  const int32_t *counts = nullptr;
  const int32_t *lists = nullptr;
  ElementTopology_getFaceVertices(typeOf(set), 0, &nf, &counts, &lists);
  const int32_t *elements = elementsOf(set);
  const int32_t *faces = facesOf(set);
  for (int32_t f = 0; f < set->m_nfc; ++f) {
    const int32_t *element = connectivity + static_cast<int64_t>(elements[f]) * v;
    const int32_t l = faces[f];
    const int32_t n = counts[l];
    int32_t *row = rows + static_cast<int64_t>(f) * width;
    for (int32_t k = 0; k < n; ++k)
      row[k] = element[lists[4 * l + k]];
    // Reversal goes by the face's own size: a padded triangle is still a triangle.
    if (mirrored) {
      const int32_t other = n == 3 ? 2 : 3;
      const int32_t t = row[1];
      row[1] = row[other];
      row[other] = t;
    }
  }
  ElementSet_releaseElementVertexPointer(set->m_elementSet, &connectivity);
  if (numbering != nullptr && !relabelVertices(set, numbering, size, rows, -1)) {
    if (allocated)
      zyrMemory_free(rows, __func__);
    return 0;
  }
  *vertices = rows;
  return set->m_nfc;
}

int32_t FaceSet_getVertices(const FaceSet *set, const Numbering *numbering, int stable, int32_t **vertices) {
  int32_t stride = 0;
  int32_t *rows = nullptr;
  int32_t padded = 0;
  int32_t pad = -1;
  const int32_t nfc = FaceSet_getFaceVertices(set, 0, nullptr, 0, &stride, &rows, &padded, &pad);
  if (nfc < 1)
    return 0;
  int count = 0;
  const int64_t size = static_cast<int64_t>(stride) * nfc;
  for (int64_t i = 0; i < size; ++i)
    if (rows[i] != pad)
      rows[count++] = rows[i];
  if (stable)
    zyrStableEliminateDuplicates(&count, &rows);
  else
    zyrEliminateDuplicates(&count, &rows);
  if (numbering != nullptr && !relabelVertices(set, numbering, count, rows, -1)) {
    zyrMemory_free(rows, __func__);
    return 0;
  }
  if (*vertices != nullptr) {
    std::memcpy(*vertices, rows, 4 * static_cast<size_t>(count));
    zyrMemory_free(rows, __func__);
  } else {
    *vertices = rows;
  }
  return count;
}

void FaceSet_print(const FaceSet *set, FILE *stream) {
  ZYR_TRACE_BEGIN_DESC("Print out the current state of a face set.");
  ensureConsistent(set);
  computeSizes(set);
  const char *rule = "==============================================";
  char key[ZYR_UUID_BASE64_SIZE];
  char faceMesh[ZYR_UUID_BASE64_SIZE];
  char elementSet[ZYR_UUID_BASE64_SIZE];
  zyrObject_getUUIDString(set, key);
  zyrObject_getUUIDString(set->m_faceMesh, faceMesh);
  zyrObject_getUUIDString(set->m_elementSet, elementSet);
  std::fprintf(stream, "\n%s\nFaceSet: %s\n%s\n\n", rule, key, rule);
  std::fprintf(stream, "FaceMesh               = %s\n", faceMesh);
  std::fprintf(stream, "ElementSet             = %s\n", elementSet);
  std::fprintf(stream, "Number of faces        = %d\n", set->m_nfc);
  std::fprintf(stream, "No. of vertices / face = [%d, %d]\n", set->m_minVerticesPerFace, set->m_maxVerticesPerFace);
  if (ZYR_TRACE_DEBUG(1)) {
    std::fprintf(stream, "\n               Element  Face\n");
    for (int32_t i = 0; i < set->m_nfc; ++i)
      std::fprintf(stream, "%10d: %10d %2d\n", i, elementsOf(set)[i], facesOf(set)[i]);
  }
}
