#include "Splitting.h"

#include "ElementMesh.h"
#include "ElementSet.h"
#include "ElementTopology.h"
#include "FaceMesh.h"
#include "FaceSet.h"
#include "HashTable.h"
#include "IntegerMap.h"
#include "InterfaceMatching.h"
#include "Mesh.h"
#include "Pair.h"
#include "Region.h"
#include "Vertices.h"
#include "zyrMemory.h"
#include "zyrTrace.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <unordered_map>
#include <vector>

namespace {

// The working copy of one element set while its shared vertices are split.
struct SetRecord {
  ElementSet *m_set;
  int32_t m_type;
  int32_t m_nel;
  int32_t m_nv;
  int32_t *m_vertices; // native connectivity, tracked (handed to the set when modified)
  std::vector<int32_t> m_faceMasks;
  bool m_modified;
};

void Elements_markFace(SetRecord *record, int32_t element, int32_t localFace) {
  if (element >= 0 && element < record->m_nel && localFace >= 0 && localFace < 31)
    record->m_faceMasks[static_cast<size_t>(element)] |= 1 << localFace;
}

const char *baseNameOf(const Region *region) {
  const char *name = region != nullptr ? Region_getBaseName(region) : nullptr;
  if (name == nullptr && region != nullptr)
    name = Region_getName(region);
  return name != nullptr ? name : "";
}

// The volume's bounding regions; with none, nothing is left to free.
int32_t boundingRegionsOf(const Region *volume, Region ***bounding) {
  const int32_t n = volume != nullptr ? Region_getBoundingRegions(volume, bounding) : 0;
  if (n < 1)
    zyrMemory_freeAndClear(bounding, __func__);
  return n;
}

// The bounding regions of the volume whose neighbour bounds the same volume, in bounding order,
// each with its neighbour.
std::vector<std::pair<Region *, Region *>> thinSurfaces(const Region *volume, int32_t n, Region *const *bounding) {
  std::vector<std::pair<Region *, Region *>> found;
  for (int32_t i = 0; i < n; ++i) {
    Region *neighbour = Region_getNeighbour(bounding[i]);
    if (neighbour != nullptr && Region_getBoundedRegion(neighbour) == volume)
      found.emplace_back(bounding[i], neighbour);
  }
  return found;
}

// Each pair of sides once, in the order their first side was met.
void reportThinSurfaces(const std::vector<std::pair<Region *, Region *>> &surfaces, const Region *volume,
                        const char *title) {
  std::vector<const Region *> reported;
  for (const auto &pair : surfaces) {
    if (std::find(reported.begin(), reported.end(), pair.second) != reported.end())
      continue;
    reported.push_back(pair.first);
    zyrTrace_printf("%s", title);
    zyrTrace_printf("Side 1: %s\n", baseNameOf(pair.first));
    zyrTrace_printf("Side 2: %s\n", baseNameOf(pair.second));
    zyrTrace_printf("Volume: %s\n", baseNameOf(volume));
  }
}

} // namespace

Splitting *Splitting_new(Mesh *mesh) {
  Splitting *splitting = zyrMemory_allocateArray<Splitting>(1, __func__);
  splitting->m_maps = HashTable_new(20, HashTable_hashInteger, HashTable_compareIntegers);
  ElementMesh **meshes = nullptr;
  const int32_t n = mesh != nullptr ? Mesh_getElementMeshes(mesh, &meshes) : 0;
  for (int32_t i = 0; i < n; ++i)
    Splitting_createVertexMap(splitting, meshes[i]);
  zyrMemory_free(meshes, __func__);
  return splitting;
}

int Splitting_createVertexMap(Splitting *splitting, ElementMesh *elementMesh) {
  IntegerMap *map = ElementMesh_calculateMap(elementMesh);
  void *storedKey = nullptr;
  void *old = nullptr;
  if (HashTable_removeKeyAndValue(splitting->m_maps, elementMesh, &storedKey, &old))
    IntegerMap_delete(static_cast<IntegerMap *>(old));
  if (map == nullptr)
    return 0;
  HashTable_insert(splitting->m_maps, elementMesh, map);
  return 1;
}

const IntegerMap *Splitting_getVertexMap(const Splitting *splitting, const ElementMesh *elementMesh) {
  if (splitting == nullptr || elementMesh == nullptr)
    return nullptr;
  return static_cast<const IntegerMap *>(HashTable_find(splitting->m_maps, elementMesh));
}

int Splitting_delete(Splitting *splitting) {
  if (splitting == nullptr)
    return 0;
  HashTableIterator *it = HashTableIterator_new(splitting->m_maps);
  for (Pair *p = HashTableIterator_first(it); p != nullptr; p = HashTableIterator_next(it))
    IntegerMap_delete(static_cast<IntegerMap *>(p->m_second));
  HashTableIterator_delete(it);
  HashTable_delete(splitting->m_maps);
  zyrMemory_free(splitting, __func__);
  return 1;
}

void Splitting_print(const Splitting *splitting, FILE *stream) {
  std::fprintf(stream, "\n=============================================================\nSplitting (%p)\n"
                       "=============================================================\n\n",
               static_cast<const void *>(splitting));
  std::fprintf(stream, "\n=============================================================\n\n");
}

ParentElement *ParentElement_new(int32_t elementSetIndex, int32_t elementIndex, ParentElement *next) {
  ParentElement *element = zyrMemory_allocateArray<ParentElement>(1, __func__);
  element->m_elementSetIndex = elementSetIndex;
  element->m_elementIndex = elementIndex;
  element->m_next = next;
  return element;
}

void ParentElement_delete(ParentElement *element) { zyrMemory_free(element, __func__); }

namespace {

// The work of one split: the selected vertices, the working copies of the sets, and for each
// selected vertex the elements around it, packed per vertex.
struct SplitWork {
  int32_t m_n = 0;                // vertices of the element mesh
  std::vector<int32_t> m_selected; // per vertex, its number among the selected (-1 when not)
  std::vector<int32_t> m_vertexOf; // per selected vertex, the vertex
  std::vector<SetRecord> m_records;
  std::unordered_map<const ElementSet *, size_t> m_recordOf;
  std::vector<int64_t> m_start; // per selected vertex, the first of its parents
  std::vector<int32_t> m_parentSet, m_parentElement;
  int32_t *m_sources = nullptr; // per new vertex, the vertex it was split from
  int64_t m_noOfSources = 0;
  int64_t m_capacity = 0;
};

// 1. The vertices on the faces, numbered in increasing vertex order.
void selectFaceVertices(SplitWork &work, ElementMesh *em, int32_t noOfFaceMeshes, FaceMesh *const *faceMeshes) {
  const int32_t n = work.m_n;
  work.m_selected.assign(static_cast<size_t>(n), -1);
  for (int32_t f = 0; f < noOfFaceMeshes; ++f) {
    if (faceMeshes[f] == nullptr || FaceMesh_getElementMesh(faceMeshes[f]) != em)
      continue;
    int32_t *list = nullptr;
    const int32_t count = FaceMesh_getVertices(faceMeshes[f], 1, nullptr, &list);
    for (int32_t i = 0; i < count; ++i)
      if (list[i] >= 0 && list[i] < n)
        work.m_selected[static_cast<size_t>(list[i])] = 0;
    zyrMemory_free(list, "ElementMesh_splitSharedVerticesOnFaces");
  }
  for (int32_t v = 0; v < n; ++v)
    if (work.m_selected[static_cast<size_t>(v)] == 0) {
      work.m_selected[static_cast<size_t>(v)] = static_cast<int32_t>(work.m_vertexOf.size());
      work.m_vertexOf.push_back(v);
    }
}

// 2. Working copies of the sets, and the elements around each selected vertex. The lists are
// kept packed per vertex with the most recently met element first, the order in which the
// first group (which keeps the vertex) is chosen.
void collectParents(SplitWork &work, int32_t noOfSets, ElementSet *const *sets) {
  const int32_t n = work.m_n;
  const size_t noOfSelected = work.m_vertexOf.size();
  const std::vector<int32_t> &selected = work.m_selected;
  work.m_records.resize(static_cast<size_t>(std::max(noOfSets, 0)));
  work.m_start.assign(noOfSelected + 1, 0);
  for (int32_t s = 0; s < noOfSets; ++s) {
    SetRecord &r = work.m_records[static_cast<size_t>(s)];
    r.m_set = sets[s];
    r.m_type = ElementSet_getElementType(sets[s]);
    r.m_nv = ElementSet_getNoOfVerticesPerElement(sets[s]);
    r.m_vertices = nullptr;
    r.m_modified = false;
    int32_t nel = 0;
    int32_t nv = 0;
    if (ElementSet_getElementVertices(sets[s], 0, nullptr, 0, &r.m_vertices, &nel, &nv) != 1)
      nel = 0;
    r.m_nel = nel;
    r.m_faceMasks.assign(static_cast<size_t>(nel), 0);
    work.m_recordOf[sets[s]] = static_cast<size_t>(s);
    const int64_t entries = static_cast<int64_t>(nel) * r.m_nv;
    for (int64_t i = 0; i < entries; ++i) {
      const int32_t v = r.m_vertices[i];
      if (v >= 0 && v < n && selected[static_cast<size_t>(v)] >= 0)
        ++work.m_start[static_cast<size_t>(selected[static_cast<size_t>(v)]) + 1];
    }
  }
  for (size_t i = 0; i < noOfSelected; ++i)
    work.m_start[i + 1] += work.m_start[i];
  std::vector<int64_t> fill(work.m_start.begin() + 1, work.m_start.end());
  work.m_parentSet.resize(static_cast<size_t>(work.m_start[noOfSelected]));
  work.m_parentElement.resize(static_cast<size_t>(work.m_start[noOfSelected]));
  for (int32_t s = 0; s < noOfSets; ++s) {
    const SetRecord &r = work.m_records[static_cast<size_t>(s)];
    for (int32_t e = 0; e < r.m_nel; ++e)
      for (int32_t k = 0; k < r.m_nv; ++k) {
        const int32_t v = r.m_vertices[static_cast<int64_t>(e) * r.m_nv + k];
        if (v < 0 || v >= n || selected[static_cast<size_t>(v)] < 0)
          continue;
        const int64_t at = --fill[static_cast<size_t>(selected[static_cast<size_t>(v)])];
        work.m_parentSet[static_cast<size_t>(at)] = s;
        work.m_parentElement[static_cast<size_t>(at)] = e;
      }
  }
}

// 3. The faces on the chosen face meshes are marked in their elements.
void markChosenFaces(SplitWork &work, int32_t noOfFaceMeshes, FaceMesh *const *faceMeshes) {
  const char *fn = "ElementMesh_splitSharedVerticesOnFaces";
  for (int32_t f = 0; f < noOfFaceMeshes; ++f) {
    if (faceMeshes[f] == nullptr)
      continue;
    FaceSet **faceSets = nullptr;
    const int32_t nfs = FaceMesh_getFaceSets(faceMeshes[f], &faceSets);
    for (int32_t i = 0; i < nfs; ++i) {
      const auto found = work.m_recordOf.find(FaceSet_getElementSet(faceSets[i]));
      if (found == work.m_recordOf.end() || FaceSet_getNoOfFaces(faceSets[i]) < 1)
        continue;
      int32_t nfc = 0;
      int32_t *elements = nullptr;
      int32_t *localFaces = nullptr;
      if (FaceSet_getFaces(faceSets[i], 0, nullptr, 0, &nfc, &elements, &localFaces) == 1)
        for (int32_t k = 0; k < nfc; ++k)
          Elements_markFace(&work.m_records[found->second], elements[k], localFaces[k]);
      zyrMemory_free(elements, fn);
      zyrMemory_free(localFaces, fn);
    }
    zyrMemory_free(faceSets, fn);
  }
}

// 4-5. Groups the elements around each vertex; every group after the first gets a new vertex,
// numbered after the mesh's vertices and the new ones before it.
void splitGroups(SplitWork &work) {
  const size_t noOfSelected = work.m_vertexOf.size();
  std::vector<int32_t> masks;
  std::vector<int32_t> types;
  std::vector<int32_t> packed;
  std::vector<int32_t> groups;
  for (size_t i = 0; i < noOfSelected; ++i) {
    const int32_t vertex = work.m_vertexOf[i];
    const size_t first = static_cast<size_t>(work.m_start[i]);
    const size_t m = static_cast<size_t>(work.m_start[i + 1]) - first;
    if (m < 2)
      continue;
    masks.resize(m);
    types.resize(m);
    groups.assign(m, 0);
    packed.clear();
    for (size_t j = 0; j < m; ++j) {
      const SetRecord &r = work.m_records[static_cast<size_t>(work.m_parentSet[first + j])];
      const int32_t e = work.m_parentElement[first + j];
      masks[j] = r.m_faceMasks[static_cast<size_t>(e)];
      types[j] = r.m_type;
      const int32_t *element = r.m_vertices + static_cast<int64_t>(e) * r.m_nv;
      packed.insert(packed.end(), element, element + r.m_nv);
    }
    int32_t noOfGroups = 0;
    MA_groupElements(vertex, static_cast<int32_t>(m), masks.data(), types.data(), 0, packed.data(), &noOfGroups,
                     groups.data());
    if (noOfGroups < 2)
      continue;
    if (work.m_noOfSources + noOfGroups - 1 > work.m_capacity) {
      work.m_capacity = std::max<int64_t>(2 * work.m_capacity,
                                          std::max<int64_t>(3 * static_cast<int64_t>(noOfSelected),
                                                            work.m_noOfSources + noOfGroups - 1));
      work.m_sources =
          work.m_sources == nullptr
              ? zyrMemory_allocateArray<int32_t>(work.m_capacity, "ElementMesh_splitSharedVerticesOnFaces")
              : zyrMemory_reallocateArray(work.m_sources, work.m_capacity, "ElementMesh_splitSharedVerticesOnFaces");
    }
    const int64_t firstNew = work.m_n + work.m_noOfSources;
    for (int32_t g = 2; g <= noOfGroups; ++g)
      work.m_sources[work.m_noOfSources++] = vertex;
    for (size_t j = 0; j < m; ++j) {
      if (groups[j] < 2)
        continue;
      SetRecord &r = work.m_records[static_cast<size_t>(work.m_parentSet[first + j])];
      int32_t *element = r.m_vertices + static_cast<int64_t>(work.m_parentElement[first + j]) * r.m_nv;
      for (int32_t k = 0; k < r.m_nv; ++k)
        if (element[k] == vertex)
          element[k] = static_cast<int32_t>(firstNew + groups[j] - 2);
      r.m_modified = true;
    }
  }
}

// 6-7. The modified sets take their new connectivity and the vertices their split list.
int applySplit(SplitWork &work, ElementMesh *em, bool debug) {
  const char *fn = "ElementMesh_splitSharedVerticesOnFaces";
  for (SetRecord &r : work.m_records) {
    if (work.m_noOfSources > 0 && r.m_modified) {
      ElementSet_modifyElementTopology(r.m_set, r.m_type, 0, r.m_nel * r.m_nv, r.m_vertices);
      r.m_vertices = nullptr;
    }
    zyrMemory_free(r.m_vertices, fn);
  }
  if (work.m_noOfSources <= 0) {
    zyrMemory_free(work.m_sources, fn);
    return 1;
  }
  if (debug)
    zyrTrace_printf("No. of split vertices = %d\n", static_cast<int32_t>(work.m_noOfSources));
  work.m_sources = zyrMemory_reallocateArray(work.m_sources, work.m_noOfSources, fn);
  return Vertices_split(ElementMesh_getVertices(em), static_cast<int32_t>(work.m_noOfSources), work.m_sources);
}

} // namespace

int ElementMesh_splitSharedVerticesOnFaces(ElementMesh *em, int32_t noOfFaceMeshes, FaceMesh *const *faceMeshes) {
  ZYR_TRACE_BEGIN_DESC("Split any any shared vertices on a collection of face meshes.");
  SplitWork work;
  work.m_n = ElementMesh_getNoOfVertices(em);
  if (noOfFaceMeshes < 1 || work.m_n < 1)
    return 1;
  selectFaceVertices(work, em, noOfFaceMeshes, faceMeshes);
  if (work.m_vertexOf.empty())
    return 1;
  ElementSet **sets = nullptr;
  const int32_t noOfSets = ElementMesh_getElementSets(em, &sets);
  collectParents(work, noOfSets, sets);
  markChosenFaces(work, noOfFaceMeshes, faceMeshes);
  splitGroups(work);
  const int result = applySplit(work, em, ZYR_TRACE_DEBUG(1));
  zyrMemory_free(sets, __func__);
  return result;
}

int ElementMesh_splitSharedVertices(ElementMesh *em, Mesh *mesh) {
  ZYR_TRACE_BEGIN_DESC("Split any shared vertices in an element mesh.");
  Region *volume = ElementMesh_getRegion(em);
  Region **bounding = nullptr;
  const int32_t n = boundingRegionsOf(volume, &bounding);
  if (n < 1)
    return 0;
  std::vector<FaceMesh *> chosen;
  if (std::getenv("ZYR_BETA_SPLIT_ALL_VERTICES") != nullptr) {
    if (ZYR_TRACE_DEBUG(1))
      zyrTrace_printf("\nOption: Eliminate shared vertices on all faces.\n");
    for (int32_t i = 0; i < n; ++i)
      if (FaceMesh *fm = Mesh_getFaceMesh(mesh, bounding[i]))
        chosen.push_back(fm);
  } else {
    if (ZYR_TRACE_DEBUG(1))
      zyrTrace_printf("\nOption: Eliminate shared vertices on shared faces.\n");
    const auto surfaces = thinSurfaces(volume, n, bounding);
    for (const auto &pair : surfaces)
      if (FaceMesh *fm = Mesh_getFaceMesh(mesh, pair.first))
        chosen.push_back(fm);
    if (ZYR_TRACE_DEBUG(1))
      reportThinSurfaces(surfaces, volume, "***** INTERNAL THIN SURFACE *****\n");
  }
  int result = 1;
  if (!chosen.empty())
    result = ElementMesh_splitSharedVerticesOnFaces(em, static_cast<int32_t>(chosen.size()), chosen.data());
  const int32_t *sources = nullptr;
  if (ElementMesh_getSplitVertices(em, &sources) > 0)
    for (int32_t i = 0; i < n; ++i)
      if (FaceMesh *fm = Mesh_getFaceMesh(mesh, bounding[i]))
        FaceMesh_sharedVerticesSplit(fm);
  zyrMemory_free(bounding, __func__);
  return result;
}

int ElementMesh_correctInternalThinSurfaces(ElementMesh *em, Mesh *mesh) {
  ZYR_TRACE_BEGIN_DESC("Split any shared vertices in an element mesh.");
  Region *volume = ElementMesh_getRegion(em);
  Region **bounding = nullptr;
  const int32_t n = boundingRegionsOf(volume, &bounding);
  if (n < 1)
    return 0;
  const auto surfaces = thinSurfaces(volume, n, bounding);
  std::vector<const Region *> seen;
  for (const auto &pair : surfaces) {
    if (std::find(seen.begin(), seen.end(), pair.second) != seen.end())
      continue;
    seen.push_back(pair.first);
    // Both sides' faces are read, as a correction would need them; nothing is changed yet.
    FaceMesh *sides[2] = {Mesh_getFaceMesh(mesh, pair.first), Mesh_getFaceMesh(mesh, pair.second)};
    for (FaceMesh *fm : sides) {
      if (fm == nullptr)
        continue;
      int32_t *faces = nullptr;
      int32_t nside = 0;
      int32_t mixed = 0;
      int32_t sentinel = -1;
      FaceMesh_getFaceVertices(fm, 1, 0, 0, nullptr, 0, &faces, &nside, &mixed, &sentinel);
      zyrMemory_free(faces, __func__);
    }
  }
  if (ZYR_TRACE_DEBUG(1))
    reportThinSurfaces(surfaces, volume, "***** CORRECTING INTERNAL THIN SURFACE *****\n");
  zyrMemory_free(bounding, __func__);
  return 1;
}
