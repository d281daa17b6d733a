#include "FaceMesh.h"

#include "ElementMesh.h"
#include "ElementSet.h"
#include "FaceSet.h"
#include "HashTable.h"
#include "InterfaceMap.h"
#include "Numbering.h"
#include "Mesh.h"
#include "Region.h"
#include "Set.h"
#include "zyrAffineTransform3D.h"
#include "zyrArrayUtilities.h"
#include "zyrAssert.h"
#include "zyrMemory.h"
#include "zyrMeshLayer.h"
#include "zyrTrace.h"
#include "zyrUUID.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <vector>

namespace {

// Re-entry guards: the face set calls back while it follows its owner.
int g_addingFaceSet = 0;
int g_removingFaceSet = 0;

std::vector<FaceSet *> setsOf(const FaceMesh *fm) {
  std::vector<FaceSet *> sets;
  if (fm->m_faceSets != nullptr)
    for (int32_t i = 0; i < fm->m_faceSets->m_count; ++i)
      if (fm->m_faceSets->m_items[i] != nullptr) // a damaged file may name a record that is gone
        sets.push_back(static_cast<FaceSet *>(fm->m_faceSets->m_items[i]));
  return sets;
}

void clearCaches(FaceMesh *fm) {
  fm->m_noOfVertices = -1;
  fm->m_noOfFaces = -1;
  fm->m_noOfTriangles = -1;
  fm->m_noOfSplitVertices = -1;
  fm->m_minVerticesPerFace = -1;
  fm->m_maxVerticesPerFace = -1;
  BitField_clearAll(&fm->m_flags);
}

// Split vertices of the element mesh back to the vertices they were split from; the sentinel and
// numbers that are no vertex stay. 1 when a number changed.
int mapBack(const FaceMesh *fm, int64_t n, int32_t *vertices) {
  if (fm->m_elementMesh == nullptr)
    return 0;
  const int32_t *sources = nullptr;
  const int32_t s = ElementMesh_getSplitVertices(fm->m_elementMesh, &sources);
  if (s < 1 || sources == nullptr)
    return 0;
  const int32_t nv = ElementMesh_getNoOfVertices(fm->m_elementMesh);
  const int32_t base = nv - s;
  int changed = 0;
  for (int64_t i = 0; i < n; ++i)
    if (vertices[i] >= base && vertices[i] < nv) {
      vertices[i] = sources[vertices[i] - base];
      changed = 1;
    }
  return changed;
}

// Replaces element-mesh numbers by local numbers (the sentinel stays). 0 when a number is not a
// vertex of the face mesh.
int toLocal(FaceMesh *fm, int withSplitVertices, int64_t n, int32_t *vertices) {
  int32_t *list = nullptr;
  const int32_t count = FaceMesh_getElementMeshVertices(fm, withSplitVertices, 1, &list);
  int32_t largest = -1;
  for (int32_t i = 0; i < count; ++i)
    largest = std::max(largest, list[i]);
  std::vector<int32_t> local(static_cast<size_t>(largest + 1), -1);
  for (int32_t i = 0; i < count; ++i)
    local[static_cast<size_t>(list[i])] = i;
  zyrMemory_free(list, __func__);
  for (int64_t i = 0; i < n; ++i) {
    const int32_t v = vertices[i];
    if (v == -1)
      continue;
    if (v < 0 || v > largest || local[static_cast<size_t>(v)] < 0)
      return 0;
    vertices[i] = local[static_cast<size_t>(v)];
  }
  return 1;
}

// The face-vertex rows of all face sets, one after the other (width *nside). NULL when there are
// no faces or a face set fails.
int32_t *collectRows(const std::vector<FaceSet *> &sets, int32_t n, int32_t width, int32_t mixed, int32_t convention,
                     int correctOrientation) {
  const int64_t size = static_cast<int64_t>(width) * n;
  int32_t *rows = zyrMemory_allocateArray<int32_t>(size, __func__);
  if (mixed)
    std::fill(rows, rows + size, -1);
  int64_t offset = 0;
  for (FaceSet *set : sets) {
    const int32_t nfc = FaceSet_getNoOfFaces(set);
    if (nfc == 0)
      continue;
    int32_t stride = width;
    int32_t *part = rows + offset * width;
    int32_t padded = 0;
    int32_t pad = -1;
    if (FaceSet_getFaceVertices(set, convention, nullptr, correctOrientation, &stride, &part, &padded, &pad) != nfc) {
      zyrMemory_free(rows, __func__);
      return nullptr;
    }
    offset += nfc;
  }
  return rows;
}

// The distinct entries (the sentinel -1 left out) in order of first appearance; with `replace`
// every entry becomes its position in that order. Marks are kept in a plain array when the values
// are not much wider than the entries, else in a hash table.
std::vector<int32_t> firstAppearance(int64_t n, int32_t *values, bool replace) {
  std::vector<int32_t> order;
  int32_t largest = -1;
  for (int64_t i = 0; i < n; ++i)
    largest = std::max(largest, values[i]);
  if (largest < 0)
    return order;
  if (largest <= 4 * n + 1024) {
    std::vector<int32_t> local(static_cast<size_t>(largest) + 1, -1);
    for (int64_t i = 0; i < n; ++i) {
      const int32_t v = values[i];
      if (v < 0)
        continue;
      int32_t &l = local[static_cast<size_t>(v)];
      if (l < 0) {
        l = static_cast<int32_t>(order.size());
        order.push_back(v);
      }
      if (replace)
        values[i] = l;
    }
  } else {
    std::unordered_map<int32_t, int32_t> local;
    local.reserve(static_cast<size_t>(n));
    for (int64_t i = 0; i < n; ++i) {
      const int32_t v = values[i];
      if (v < 0)
        continue;
      auto found = local.emplace(v, static_cast<int32_t>(order.size()));
      if (found.second)
        order.push_back(v);
      if (replace)
        values[i] = found.first->second;
    }
  }
  return order;
}

} // namespace

// Element-mesh vertex numbers become their zone labels (the sentinel stays); 0 when the element
// mesh is not numbered or a number is not one of its vertices.
int FaceMesh_relabelVertices(const FaceMesh *fm, const Numbering *numbering, int64_t n, int32_t *vertices) {
  const int32_t *labels = Numbering_getVertexLabels(numbering, fm->m_elementMesh);
  if (labels == nullptr)
    return 0;
  const int32_t count = ElementMesh_getNoOfVertices(fm->m_elementMesh);
  for (int64_t i = 0; i < n; ++i) {
    if (vertices[i] == -1)
      continue;
    if (vertices[i] < 0 || vertices[i] >= count)
      return 0;
    vertices[i] = labels[vertices[i]];
  }
  return 1;
}

namespace {

bool anyMirrored(const std::vector<FaceSet *> &sets, int correctOrientation) {
  if (!correctOrientation)
    return false;
  for (FaceSet *set : sets)
    if (FaceSet_getElementSet(set) != nullptr && ElementSet_isInverted(FaceSet_getElementSet(set)))
      return true;
  return false;
}

} // namespace

int64_t FaceMesh_getSize() { return static_cast<int64_t>(sizeof(FaceMesh)); }

int FaceMesh_dump(void *object) {
  FaceMesh *fm = static_cast<FaceMesh *>(object);
  const int32_t n = fm->m_faceSets != nullptr ? fm->m_faceSets->m_count : 0;
  return zyrObject_setPointers(fm, "faceSets", n > 0 ? fm->m_faceSets->m_items : nullptr, n);
}

int FaceMesh_restore(void *object, int32_t flag) {
  FaceMesh *fm = static_cast<FaceMesh *>(object);
  void *pointer = fm->m_region;
  zyrObject_getPointer(fm, flag, "region", &pointer);
  fm->m_region = static_cast<Region *>(pointer);
  pointer = fm->m_elementMesh;
  zyrObject_getPointer(fm, flag, "elementMesh", &pointer);
  fm->m_elementMesh = static_cast<ElementMesh *>(pointer);
  if (flag == 0 || zyrObject_checkAttribute(fm, flag, "faceSets") || fm->m_faceSets == nullptr) {
    void **array = nullptr;
    int32_t n = 0;
    zyrObject_getPointers(fm, 0, "faceSets", &array, &n);
    Set_delete(fm->m_faceSets);
    fm->m_faceSets = Set_newFromArray(n, array);
    zyrMemory_free(array, __func__);
    // What the store left out (of another type, or a set another face mesh holds) is not kept.
    while (Set_remove(fm->m_faceSets, nullptr))
      ;
  }
  clearCaches(fm);
  return 1;
}

int FaceMesh_delete(void *object) {
  FaceMesh *fm = static_cast<FaceMesh *>(object);
  if (fm == nullptr)
    return 0;
  Set_delete(fm->m_faceSets);
  fm->m_faceSets = nullptr;
  return zyrObject_delete(fm);
}

FaceMesh *FaceMesh_new(Region *region, ElementMesh *elementMesh) {
  zyrMeshLayer_initialise();
  FaceMesh *fm = static_cast<FaceMesh *>(zyrObject_new("FaceMesh"));
  if (fm == nullptr)
    return nullptr;
  fm->m_region = region;
  fm->m_elementMesh = elementMesh;
  fm->m_faceSets = Set_new(2);
  clearCaches(fm);
  zyrObject_setPointer(fm, "region", region);
  zyrObject_setPointer(fm, "elementMesh", elementMesh);
  return fm;
}

FaceMesh *FaceMesh_copy(FaceMesh *source, Region *region, const zyrAffineTransform3D *transform,
                        HashTable *copyTable) {
  if (source == nullptr)
    return nullptr;
  ElementMesh *elementMesh = source->m_elementMesh;
  if (copyTable != nullptr && elementMesh != nullptr) {
    void *copy = HashTable_find(copyTable, elementMesh);
    if (copy != nullptr)
      elementMesh = static_cast<ElementMesh *>(copy);
  }
  FaceMesh *fm = FaceMesh_new(region, elementMesh);
  if (fm == nullptr)
    return nullptr;
  if (copyTable != nullptr)
    HashTable_insert(copyTable, source, fm);
  for (FaceSet *set : setsOf(source))
    FaceMesh_addFaceSet(fm, FaceSet_copy(set, copyTable));
  fm->m_noOfVertices = source->m_noOfVertices;
  fm->m_noOfFaces = source->m_noOfFaces;
  fm->m_noOfTriangles = source->m_noOfTriangles;
  fm->m_noOfSplitVertices = source->m_noOfSplitVertices;
  fm->m_minVerticesPerFace = source->m_minVerticesPerFace;
  fm->m_maxVerticesPerFace = source->m_maxVerticesPerFace;
  fm->m_flags = source->m_flags;
  std::memcpy(fm->m_centroid, source->m_centroid, sizeof fm->m_centroid);
  std::memcpy(fm->m_boundingBox, source->m_boundingBox, sizeof fm->m_boundingBox);
  if (transform != nullptr) {
    if (BitField_isSet(&fm->m_flags, FACE_MESH_CENTROID_VALID))
      zyrAffineTransform3D_apply(transform, "m", zyrAffineDouble, 1, fm->m_centroid);
    BitField_clearBit(&fm->m_flags, FACE_MESH_BOX_VALID);
  }
  return fm;
}

int FaceMesh_addFaceSet(FaceMesh *fm, FaceSet *set) {
  if (g_addingFaceSet || set == nullptr)
    return 1;
  g_addingFaceSet = 1;
  const int changed = Set_add(fm->m_faceSets, set);
  if (changed) {
    FaceSet_setFaceMesh(set, fm);
    clearCaches(fm);
    zyrObject_setModified(fm);
  }
  g_addingFaceSet = 0;
  return changed;
}

int FaceMesh_removeFaceSet(FaceMesh *fm, FaceSet *set) {
  if (g_removingFaceSet || set == nullptr)
    return 1;
  g_removingFaceSet = 1;
  const int changed = Set_remove(fm->m_faceSets, set);
  if (changed) {
    FaceSet_setFaceMesh(set, nullptr);
    clearCaches(fm);
    zyrObject_setModified(fm);
  }
  g_removingFaceSet = 0;
  return changed;
}

Region *FaceMesh_getRegion(const FaceMesh *fm) { return fm->m_region; }
ElementMesh *FaceMesh_getElementMesh(const FaceMesh *fm) { return fm->m_elementMesh; }
int32_t FaceMesh_getNoOfFaceSets(const FaceMesh *fm) { return Set_getNoOfMembers(fm->m_faceSets); }

int32_t FaceMesh_getFaceSets(const FaceMesh *fm, FaceSet ***faceSets) {
  void **array = nullptr;
  const int32_t n = Set_toArray(fm->m_faceSets, &array);
  *faceSets = reinterpret_cast<FaceSet **>(array);
  return n;
}

int32_t FaceMesh_getNoOfFaces(FaceMesh *fm) {
  if (fm->m_noOfFaces < 0) {
    int64_t total = 0;
    for (FaceSet *set : setsOf(fm))
      total += FaceSet_getNoOfFaces(set);
    fm->m_noOfFaces = static_cast<int32_t>(std::min<int64_t>(total, INT32_MAX));
  }
  return fm->m_noOfFaces;
}

int32_t FaceMesh_getNoOfTrisAndQuads(FaceMesh *fm, int32_t *triangles, int32_t *quadrilaterals) {
  const int32_t n = FaceMesh_getNoOfFaces(fm);
  if (fm->m_noOfTriangles < 0) {
    int32_t total = 0;
    for (FaceSet *set : setsOf(fm)) {
      int32_t t = 0;
      int32_t q = 0;
      FaceSet_getNoOfTrisAndQuads(set, &t, &q);
      total += t;
    }
    fm->m_noOfTriangles = total;
  }
  *triangles = fm->m_noOfTriangles;
  *quadrilaterals = n - fm->m_noOfTriangles;
  return n;
}

int FaceMesh_getNoOfVerticesPerFace(FaceMesh *fm, int32_t *smallest, int32_t *largest) {
  if (fm->m_minVerticesPerFace < 0) {
    int32_t low = 0;
    int32_t high = 0;
    bool first = true;
    // A face set without faces has no sizes to offer.
    for (FaceSet *set : setsOf(fm)) {
      if (FaceSet_getNoOfFaces(set) == 0)
        continue;
      int32_t a = 0;
      int32_t b = 0;
      FaceSet_getNoOfVerticesPerFace(set, &a, &b);
      low = first ? a : std::min(low, a);
      high = first ? b : std::max(high, b);
      first = false;
    }
    fm->m_minVerticesPerFace = low;
    fm->m_maxVerticesPerFace = high;
  }
  *smallest = fm->m_minVerticesPerFace;
  *largest = fm->m_maxVerticesPerFace;
  return 1;
}

namespace {

// The face rows of all face sets, as wide as the widest face (shorter faces padded with the
// sentinel when the widths are mixed), with split vertices mapped back unless they are wanted.
// NULL when there are no faces or a face set fails.
int32_t *allRows(FaceMesh *fm, int withSplitVertices, int32_t *n, int32_t *width, int32_t *mixed) {
  *n = FaceMesh_getNoOfFaces(fm);
  int32_t smallest = 0;
  FaceMesh_getNoOfVerticesPerFace(fm, &smallest, width);
  *mixed = *width != smallest ? 1 : 0;
  if (*n < 1 || *width < 1)
    return nullptr;
  int32_t *rows = collectRows(setsOf(fm), *n, *width, *mixed, 0, 0);
  if (rows != nullptr && !withSplitVertices)
    mapBack(fm, static_cast<int64_t>(*width) * *n, rows);
  return rows;
}

} // namespace

int32_t FaceMesh_getElementMeshVertices(FaceMesh *fm, int withSplitVertices, int stable, int32_t **vertices) {
  *vertices = nullptr;
  int32_t n = 0;
  int32_t largest = 0;
  int32_t mixed = 0;
  // The face sets' own vertex lists run in the order of their rows, so first appearance over the
  // rows of all face sets in turn is the order of their lists concatenated.
  int32_t *rows = allRows(fm, withSplitVertices, &n, &largest, &mixed);
  if (rows == nullptr)
    return 0;
  const int64_t size = static_cast<int64_t>(largest) * n;
  int count = 0;
  if (stable) {
    const std::vector<int32_t> order = firstAppearance(size, rows, false);
    count = static_cast<int>(order.size());
    std::copy(order.begin(), order.end(), rows);
  } else {
    for (int64_t i = 0; i < size; ++i)
      if (rows[i] != -1)
        rows[count++] = rows[i];
    zyrEliminateDuplicates(&count, &rows);
  }
  if (count == 0) {
    zyrMemory_free(rows, __func__);
    return 0;
  }
  *vertices = zyrMemory_reallocateArray(rows, count, __func__);
  return count;
}

int32_t FaceMesh_getLocalFaces(FaceMesh *fm, int32_t **faces, int32_t *nside, int32_t *mixed, int32_t **vertices,
                               int32_t *noOfVertices) {
  *faces = nullptr;
  *vertices = nullptr;
  *noOfVertices = 0;
  int32_t n = 0;
  int32_t *rows = allRows(fm, 0, &n, nside, mixed);
  if (rows == nullptr) {
    *nside = 0;
    *mixed = 0;
    return 0;
  }
  const std::vector<int32_t> order = firstAppearance(static_cast<int64_t>(*nside) * n, rows, true);
  if (!order.empty()) {
    *vertices = zyrMemory_allocateArray<int32_t>(static_cast<int64_t>(order.size()), __func__);
    std::copy(order.begin(), order.end(), *vertices);
    *noOfVertices = static_cast<int32_t>(order.size());
  }
  *faces = rows;
  return n;
}

int32_t FaceMesh_getNoOfVertices(FaceMesh *fm, int withSplitVertices) {
  if (fm->m_noOfVertices < 0) {
    int32_t *list = nullptr;
    fm->m_noOfVertices = FaceMesh_getElementMeshVertices(fm, 0, 0, &list);
    zyrMemory_free(list, __func__);
  }
  if (!withSplitVertices)
    return fm->m_noOfVertices;
  if (fm->m_noOfSplitVertices < 0) {
    int32_t *list = nullptr;
    fm->m_noOfSplitVertices = FaceMesh_getElementMeshVertices(fm, 1, 0, &list) - fm->m_noOfVertices;
    zyrMemory_free(list, __func__);
  }
  return fm->m_noOfVertices + fm->m_noOfSplitVertices;
}

int32_t FaceMesh_getVertices(FaceMesh *fm, int withSplitVertices, const Numbering *numbering, int32_t **vertices) {
  *vertices = nullptr;
  const int32_t n = FaceMesh_getElementMeshVertices(fm, withSplitVertices, 1, vertices);
  if (numbering != nullptr && n > 0 && !FaceMesh_relabelVertices(fm, numbering, n, *vertices)) {
    zyrMemory_freeAndClear(vertices, __func__);
    return 0;
  }
  return n;
}

int32_t FaceMesh_getVertexCoordinates(FaceMesh *fm, int withSplitVertices, const char *units, double **coordinates) {
  *coordinates = nullptr;
  int32_t *list = nullptr;
  const int32_t n = FaceMesh_getElementMeshVertices(fm, withSplitVertices, 1, &list);
  if (n < 1 || fm->m_elementMesh == nullptr) {
    zyrMemory_free(list, __func__);
    return n < 1 ? 0 : -1;
  }
  const int32_t delivered = ElementMesh_getVertexCoordinates(fm->m_elementMesh, units, n, list, coordinates);
  zyrMemory_free(list, __func__);
  if (delivered != n) {
    zyrMemory_freeAndClear(coordinates, __func__);
    return -1;
  }
  return n;
}

int FaceMesh_getVertexRenumbering(FaceMesh *fm, int invert, int32_t **map) {
  *map = nullptr;
  int32_t *list = nullptr;
  const int32_t n = FaceMesh_getElementMeshVertices(fm, 0, 1, &list);
  if (n < 1)
    return 0;
  int32_t *order = zyrMemory_allocateArray<int32_t>(n, __func__);
  zyrSortIndexByIntKeys(1, n, list, order);
  if (invert) {
    for (int32_t k = 0; k < n; ++k)
      list[order[k]] = k;
    zyrMemory_free(order, __func__);
    *map = list;
  } else {
    zyrMemory_free(list, __func__);
    *map = order;
  }
  return 1;
}

int32_t FaceMesh_getFaceVertices(FaceMesh *fm, int withSplitVertices, int local, int32_t convention,
                                 const Numbering *numbering, int correctOrientation, int32_t **faces, int32_t *nside,
                                 int32_t *mixed, int32_t *sentinel) {
  ZYR_TRACE_BEGIN();
  *faces = nullptr;
  *sentinel = -1;
  const int32_t n = FaceMesh_getNoOfFaces(fm);
  int32_t smallest = 0;
  int32_t largest = 0;
  FaceMesh_getNoOfVerticesPerFace(fm, &smallest, &largest);
  const int32_t width = std::max(*nside, largest);
  *nside = width;
  *mixed = width != smallest ? 1 : 0;
  if (n < 1 || width < 1)
    return 0;
  const int64_t size = static_cast<int64_t>(width) * n;
  const std::vector<FaceSet *> sets = setsOf(fm);
  int32_t *rows = collectRows(sets, n, width, *mixed, convention, correctOrientation);
  if (rows == nullptr)
    return 0;
  if (!withSplitVertices)
    mapBack(fm, size, rows);
  if (local) {
    // Reversed faces change the order of first appearance: their local numbers come from the
    // unreversed lists.
    if (!anyMirrored(sets, correctOrientation))
      firstAppearance(size, rows, true);
    else if (!toLocal(fm, withSplitVertices, size, rows)) {
      zyrMemory_free(rows, __func__);
      return 0;
    }
  } else if (numbering != nullptr && !FaceMesh_relabelVertices(fm, numbering, size, rows)) {
    zyrMemory_free(rows, __func__);
    return 0;
  }
  if (ZYR_TRACE_DEBUG(1)) {
    zyrTrace_printf("Face vertices (%d faces of %d):\n", n, width);
    for (int32_t f = 0; f < n; ++f) {
      zyrTrace_printf("%8d:", f);
      for (int32_t k = 0; k < width; ++k)
        zyrTrace_printf(" %d", rows[static_cast<int64_t>(f) * width + k]);
      zyrTrace_printf("\n");
    }
  }
  *faces = rows;
  return n;
}

int FaceMesh_getFaces(FaceMesh *fm, const Numbering *numbering, int32_t **faces, int32_t *n) {
  *faces = nullptr;
  *n = 0;
  int32_t offset = 0;
  if (numbering != nullptr && !Numbering_getFaceSetOffset(numbering, fm, &offset))
    return 0;
  const int32_t count = FaceMesh_getNoOfFaces(fm);
  int32_t *list = zyrMemory_allocateArray<int32_t>(count > 0 ? count : 1, __func__);
  for (int32_t i = 0; i < count; ++i)
    list[i] = offset + i;
  *faces = list;
  *n = count;
  return 1;
}

int FaceMesh_getElementFaces(FaceMesh *fm, int32_t convention, const Numbering *numbering, int correctOrientation,
                             int32_t *n, int32_t **elements, int32_t **localFaces) {
  const int32_t count = FaceMesh_getNoOfFaces(fm);
  *n = 0;
  *elements = nullptr;
  *localFaces = nullptr;
  int32_t *allElements = zyrMemory_allocateArray<int32_t>(count > 0 ? count : 1, __func__);
  int32_t *allFaces = zyrMemory_allocateArray<int32_t>(count > 0 ? count : 1, __func__);
  int32_t offset = 0;
  for (FaceSet *set : setsOf(fm)) {
    int32_t nfc = 0;
    int32_t *e = allElements + offset;
    int32_t *l = allFaces + offset;
    if (FaceSet_getNoOfFaces(set) == 0)
      continue;
    if (FaceSet_getFaces(set, convention, numbering, correctOrientation, &nfc, &e, &l) != 1) {
      zyrMemory_free(allElements, __func__);
      zyrMemory_free(allFaces, __func__);
      return 0;
    }
    offset += nfc;
  }
  *n = count;
  *elements = allElements;
  *localFaces = allFaces;
  return 1;
}

int32_t FaceMesh_getTrisAndQuads(FaceMesh *fm, int withSplitVertices, int local, const Numbering *numbering,
                                 int32_t **faces, int32_t *triangles, int32_t *quadrilaterals) {
  int32_t nside = 0;
  int32_t mixed = 0;
  int32_t sentinel = -1;
  *triangles = 0;
  *quadrilaterals = 0;
  const int32_t n =
      FaceMesh_getFaceVertices(fm, withSplitVertices, local, 0, numbering, 1, faces, &nside, &mixed, &sentinel);
  if (n < 1)
    return n;
  int32_t *rows = *faces;
  if (!mixed) {
    *triangles = nside == 3 ? n : 0;
    *quadrilaterals = n - *triangles;
    return n;
  }
  zyrAssert(nside == 4);
  int32_t t = 0;
  for (int32_t i = 0; i < n; ++i)
    if (rows[4 * static_cast<int64_t>(i) + 3] == sentinel)
      ++t;
  // Quadrilaterals among the first t faces change places with triangles found searching down from
  // the last face; each search starts below the previous swap.
  int32_t last = n;
  for (int32_t i = 0; i < t; ++i) {
    int32_t *face = rows + 4 * static_cast<int64_t>(i);
    if (face[3] == sentinel)
      continue;
    int32_t j = last - 1;
    while (j > i && rows[4 * static_cast<int64_t>(j) + 3] != sentinel)
      --j;
    zyrAssert(j > i);
    int32_t *other = rows + 4 * static_cast<int64_t>(j);
    for (int k = 0; k < 4; ++k)
      std::swap(face[k], other[k]);
    last = j;
  }
  int64_t at = 0;
  for (int64_t i = 0; i < 4 * static_cast<int64_t>(n); ++i)
    if (rows[i] != sentinel)
      rows[at++] = rows[i];
  *faces = zyrMemory_reallocateArray(rows, at, __func__);
  *triangles = t;
  *quadrilaterals = n - t;
  return n;
}

int FaceMesh_getInterfaceFaceMap(FaceMesh *fm, Mesh *mesh, int32_t **faceMap) {
  *faceMap = nullptr;
  Connection *connection = fm->m_region != nullptr ? Region_getConnection(fm->m_region) : nullptr;
  InterfaceMap *map = connection != nullptr ? Mesh_getInterfaceMap(mesh, connection) : nullptr;
  FaceMesh *side0 = nullptr;
  FaceMesh *side1 = nullptr;
  if (map == nullptr || InterfaceMap_getFaceMeshes(map, &side0, &side1) != 1 || side1 != fm)
    return 0;
  int32_t *faces = nullptr;
  const int32_t n = InterfaceMap_getFaceMap(map, &faces);
  if (n < 0 || faces == nullptr)
    return 0;
  bool identity = true;
  for (int32_t i = 0; identity && i < n; ++i)
    identity = faces[i] == i;
  if (identity)
    return 0;
  *faceMap = faces;
  return 1;
}

int FaceMesh_move(FaceMesh *source, FaceMesh *target, int32_t n, const int32_t *faces) {
  const std::vector<FaceSet *> sets = setsOf(source);
  if (n < 0 || sets.empty())
    return 0;
  if (n == 0)
    return 1;
  if (faces == nullptr || target == nullptr || target == source)
    return 0;
  std::vector<int32_t> sorted(faces, faces + n);
  std::sort(sorted.begin(), sorted.end());
  if (sorted.front() < 0 || sorted.back() >= FaceMesh_getNoOfFaces(source))
    return 0;
  // Offsets of the face sets come from the counts before anything moves.
  std::vector<int32_t> first(sets.size());
  std::vector<int32_t> counts(sets.size());
  int32_t offset = 0;
  for (size_t s = 0; s < sets.size(); ++s) {
    first[s] = offset;
    counts[s] = FaceSet_getNoOfFaces(sets[s]);
    offset += counts[s];
  }
  int result = 1;
  size_t next = 0;
  for (size_t s = 0; s < sets.size() && next < sorted.size(); ++s) {
    std::vector<int32_t> local;
    while (next < sorted.size() && sorted[next] < first[s] + counts[s])
      local.push_back(sorted[next++] - first[s]);
    if (local.empty())
      continue;
    ElementSet *elementSet = FaceSet_getElementSet(sets[s]);
    FaceSet *destination = nullptr;
    for (FaceSet *candidate : setsOf(target))
      if (FaceSet_getElementSet(candidate) == elementSet) {
        destination = candidate;
        break;
      }
    const int32_t count = static_cast<int32_t>(local.size());
    if (destination == nullptr) {
      FaceSet *part = FaceSet_split(sets[s], count, local.data());
      if (part != nullptr)
        FaceMesh_addFaceSet(target, part);
      else
        result = 0;
    } else if (FaceSet_moveFaces(sets[s], destination, count, local.data()) != 1) {
      result = 0;
    }
  }
  int removed = 0;
  for (FaceSet *set : sets)
    if (FaceSet_getNoOfFaces(set) == 0) {
      FaceMesh_removeFaceSet(source, set);
      FaceSet_delete(set);
      removed = 1;
    }
  if (!removed)
    zyrObject_setModified(source);
  FaceMesh_invalidate(source);
  FaceMesh_invalidate(target);
  return result;
}

int FaceMesh_transform(FaceMesh *fm) {
  FaceMesh_invalidate(fm);
  return 1;
}

void FaceMesh_clearSharedVertexData(FaceMesh *fm) { fm->m_noOfSplitVertices = -1; }

int FaceMesh_sharedVerticesSplit(FaceMesh *fm) {
  FaceMesh_clearSharedVertexData(fm);
  return 1;
}

void FaceMesh_invalidate(FaceMesh *fm) {
  clearCaches(fm);
  zyrObject_setPointer(fm, "elementMesh", fm->m_elementMesh);
}

void FaceMesh_print(const FaceMesh *constFm, FILE *stream) {
  ZYR_TRACE_BEGIN_DESC("Print out the current state of a face mesh.");
  FaceMesh *fm = const_cast<FaceMesh *>(constFm); // the caches are filled on the way
  const char *rule = "==============================================";
  char key[ZYR_UUID_BASE64_SIZE];
  char elementMesh[ZYR_UUID_BASE64_SIZE];
  zyrObject_getUUIDString(fm, key);
  zyrObject_getUUIDString(fm->m_elementMesh, elementMesh);
  std::fprintf(stream, "\n%s\nFaceMesh: %s\n%s\n\n", rule, key, rule);
  std::fprintf(stream, "ElementMesh            = %s\n", elementMesh);
  std::fprintf(stream, "Number of faces        = %d\n", FaceMesh_getNoOfFaces(fm));
  std::fprintf(stream, "Number of vertices     = %d (%d)\n", FaceMesh_getNoOfVertices(fm, 0),
               FaceMesh_getNoOfVertices(fm, 1));
  const char *name = fm->m_region != nullptr ? Region_getName(fm->m_region) : nullptr;
  std::fprintf(stream, "Region                 = \"%s\"\n", name != nullptr ? name : "");
  int32_t smallest = 0;
  int32_t largest = 0;
  FaceMesh_getNoOfVerticesPerFace(fm, &smallest, &largest);
  std::fprintf(stream, "No. of vertices / face = [%d, %d]\n", smallest, largest);
  const std::vector<FaceSet *> sets = setsOf(fm);
  std::fprintf(stream, "Number of face sets    = %d\n", static_cast<int32_t>(sets.size()));
  if (!sets.empty()) {
    std::fprintf(stream, "\nFace set                 Element set               No. of faces\n");
    for (FaceSet *set : sets) {
      char setKey[ZYR_UUID_BASE64_SIZE];
      char elementSet[ZYR_UUID_BASE64_SIZE];
      zyrObject_getUUIDString(set, setKey);
      zyrObject_getUUIDString(FaceSet_getElementSet(set), elementSet);
      int32_t a = 0;
      int32_t b = 0;
      FaceSet_getNoOfVerticesPerFace(set, &a, &b);
      std::fprintf(stream, "%s   %-25s %12d [%d, %d]\n", setKey, elementSet, FaceSet_getNoOfFaces(set), a, b);
    }
  }
  if (ZYR_TRACE_DEBUG(1))
    for (FaceSet *set : sets)
      FaceSet_print(set, stream);
}
