#include "Numbering.h"

#include "Connection.h"
#include "ElementMesh.h"
#include "ElementSet.h"
#include "FaceMesh.h"
#include "FaceSet.h"
#include "InterfaceMap.h"
#include "Labelling.h"
#include "Region.h"
#include "Set.h"
#include "zyrMemory.h"
#include "zyrTrace.h"

#include <algorithm>
#include <vector>

namespace {

// The representative of i. Path halving points every entry passed at its grandparent: links
// still point at smaller vertices of the same class, so representatives, and with them the final
// labels, are those of following the links unchanged.
inline int32_t representative(int32_t *links, int32_t i) {
  while (links[i] != i) {
    links[i] = links[links[i]];
    i = links[i];
  }
  return i;
}

const char *regionName(const Region *region) {
  const char *name = region != nullptr ? Region_getName(region) : nullptr;
  return name != nullptr ? name : "";
}

int32_t clampCount(int64_t n) { return static_cast<int32_t>(std::min<int64_t>(n, INT32_MAX)); }

// The glue of one interface: its vertex pairs in zone indices, and how many of them were already
// in one class. -1 when the pairs cannot be found.
int64_t glue(Numbering *numbering, InterfaceMap *map) {
  FaceMesh *sides[2] = {nullptr, nullptr};
  InterfaceMap_getFaceMeshes(map, &sides[0], &sides[1]);
  int32_t first[2] = {0, 0};
  std::vector<int32_t> zone[2];
  for (int s = 0; s < 2; ++s) {
    if (sides[s] == nullptr ||
        !Labelling_getLabel(numbering->m_vertexLabelling, FaceMesh_getElementMesh(sides[s]), &first[s]))
      return -1;
    int32_t *list = nullptr;
    const int32_t n = FaceMesh_getVertices(sides[s], 1, nullptr, &list);
    zone[s].resize(static_cast<size_t>(std::max(n, 0)));
    for (int32_t i = 0; i < n; ++i)
      zone[s][static_cast<size_t>(i)] = first[s] + list[i];
    zyrMemory_free(list, __func__);
  }
  int32_t counts[2] = {0, 0};
  int32_t *offsets = nullptr;
  int32_t *values = nullptr;
  if (InterfaceMap_getSplitVertexMap(map, counts, &offsets, &values) < 0)
    return -1;
  std::vector<int32_t> pairs;
  for (int32_t v = 0; v < counts[0] && v < static_cast<int32_t>(zone[0].size()); ++v)
    for (int32_t j = offsets[v]; j < offsets[v + 1]; ++j)
      if (values[j] >= 0 && values[j] < static_cast<int32_t>(zone[1].size())) {
        pairs.push_back(zone[0][static_cast<size_t>(v)]);
        pairs.push_back(zone[1][static_cast<size_t>(values[j])]);
      }
  return Numbering_glueVertexPairs(numbering, static_cast<int64_t>(pairs.size() / 2), pairs.data());
}

void resetLabels(Numbering *numbering) {
  for (int32_t i = 0; i < numbering->m_noOfVertices; ++i)
    numbering->m_vertexLabels[i] = i;
  numbering->m_labelsFinal = 0;
  numbering->m_noOfDistinctVertices = -1;
}

// Labels handed out are lost: start again from the identity and glue the interfaces glued
// before (all but `skip`).
void restart(Numbering *numbering, const InterfaceMap *skip) {
  resetLabels(numbering);
  const int32_t wasGluing = numbering->m_gluing;
  numbering->m_gluing = 1;
  void **earlier = nullptr;
  const int32_t n = Set_toArray(numbering->m_gluedInterfaces, &earlier);
  for (int32_t i = 0; i < n; ++i)
    if (earlier[i] != skip)
      glue(numbering, static_cast<InterfaceMap *>(earlier[i]));
  zyrMemory_free(earlier, __func__);
  numbering->m_gluing = wasGluing;
}

} // namespace

Numbering *Numbering_new(int32_t noOfElementMeshes, ElementMesh *const *elementMeshes, int32_t noOfFaceMeshes,
                         FaceMesh *const *faceMeshes) {
  Numbering *numbering = zyrMemory_allocateZeroedArray<Numbering>(1, __func__);
  numbering->m_elementLabelling = Labelling_new();
  numbering->m_faceLabelling = Labelling_new();
  numbering->m_vertexLabelling = Labelling_new();
  int64_t vertices = 0;
  int64_t elements = 0;
  for (int32_t m = 0; m < noOfElementMeshes; ++m) {
    ElementMesh *em = elementMeshes[m];
    Labelling_setLabel(numbering->m_vertexLabelling, em, clampCount(vertices));
    vertices += ElementMesh_getNoOfVertices(em);
    Labelling_setLabel(numbering->m_elementLabelling, em, clampCount(elements));
    ElementSet **sets = nullptr;
    const int32_t n = ElementMesh_getElementSets(em, &sets);
    for (int32_t s = 0; s < n; ++s) {
      Labelling_setLabel(numbering->m_elementLabelling, sets[s], clampCount(elements));
      elements += ElementSet_getNoOfElements(sets[s]);
    }
    zyrMemory_free(sets, __func__);
  }
  int64_t faces = 0;
  for (int32_t m = 0; m < noOfFaceMeshes; ++m) {
    FaceMesh *fm = faceMeshes[m];
    Labelling_setLabel(numbering->m_faceLabelling, fm, clampCount(faces));
    FaceSet **sets = nullptr;
    const int32_t n = FaceMesh_getFaceSets(fm, &sets);
    for (int32_t s = 0; s < n; ++s) {
      Labelling_setLabel(numbering->m_faceLabelling, sets[s], clampCount(faces));
      faces += FaceSet_getNoOfFaces(sets[s]);
    }
    zyrMemory_free(sets, __func__);
  }
  numbering->m_noOfVertices = clampCount(vertices);
  numbering->m_noOfElements = clampCount(elements);
  numbering->m_noOfFaces = clampCount(faces);
  numbering->m_vertexLabels = zyrMemory_allocateArray<int32_t>(std::max<int64_t>(vertices, 1), __func__);
  resetLabels(numbering);
  numbering->m_noOfDistinctVertices = numbering->m_noOfVertices;
  numbering->m_elementLabelBase = 1;
  numbering->m_faceLabelBase = 1;
  numbering->m_vertexLabelBase = 1;
  numbering->m_gluedInterfaces = Set_new(10);
  return numbering;
}

void Numbering_delete(Numbering *numbering) {
  if (numbering == nullptr)
    return;
  Labelling_delete(numbering->m_elementLabelling);
  Labelling_delete(numbering->m_faceLabelling);
  Labelling_delete(numbering->m_vertexLabelling);
  zyrMemory_free(numbering->m_vertexLabels, __func__);
  Set_delete(numbering->m_gluedInterfaces);
  zyrMemory_free(numbering, __func__);
}

int64_t Numbering_glueVertexPairs(Numbering *numbering, int64_t noOfPairs, const int32_t *pairs) {
  if (numbering->m_labelsFinal)
    restart(numbering, nullptr);
  int32_t *links = numbering->m_vertexLabels;
  const int32_t n = numbering->m_noOfVertices;
  int64_t already = 0;
  for (int64_t p = 0; p < noOfPairs; ++p) {
    const int32_t a = pairs[2 * p];
    const int32_t b = pairs[2 * p + 1];
    if (a < 0 || a >= n || b < 0 || b >= n)
      continue;
    const int32_t ra = representative(links, a);
    const int32_t rb = representative(links, b);
    if (ra == rb)
      ++already;
    else if (ra < rb)
      links[rb] = ra;
    else
      links[ra] = rb;
  }
  numbering->m_noOfDistinctVertices = -1;
  numbering->m_labelsFinal = 0;
  return already;
}

int Numbering_glueInterface(Numbering *numbering, InterfaceMap *map) {
  ZYR_TRACE_BEGIN_DESC("Glue an individual mesh interface together.");
  const int32_t wasGluing = numbering->m_gluing;
  numbering->m_gluing = 1;
  int result = 1;
  if (numbering->m_labelsFinal)
    restart(numbering, map);
  Set_add(numbering->m_gluedInterfaces, map);
  if (glue(numbering, map) < 0)
    result = 0;
  numbering->m_noOfDistinctVertices = -1;
  numbering->m_labelsFinal = 0;
  numbering->m_gluing = wasGluing;
  if (ZYR_TRACE_DEBUG(1)) {
    FaceMesh *sides[2] = {nullptr, nullptr};
    InterfaceMap_getFaceMeshes(map, &sides[0], &sides[1]);
    zyrTrace_printf("Gluing interface between: %10d %s\n                          %10d %s\n      Matched vertices =  "
                    "%10d\n",
                    sides[0] != nullptr ? FaceMesh_getNoOfVertices(sides[0], 1) : 0,
                    regionName(sides[0] != nullptr ? FaceMesh_getRegion(sides[0]) : nullptr),
                    sides[1] != nullptr ? FaceMesh_getNoOfVertices(sides[1], 1) : 0,
                    regionName(sides[1] != nullptr ? FaceMesh_getRegion(sides[1]) : nullptr),
                    InterfaceMap_getNoOfMatchedVertices(map));
  }
  return result;
}

int Numbering_glueInterfaces(Numbering *numbering, int32_t count, InterfaceMap *const *maps) {
  ZYR_TRACE_BEGIN_DESC("Glue a collection of mesh interfaces together.");
  const bool debug = ZYR_TRACE_DEBUG(1);
  const int32_t before = Numbering_getNoOfVertices(numbering);
  numbering->m_gluing = 1;
  if (debug)
    zyrTrace_printf("Number of glued connections - %d\n\n Identified  Previous      Total   Connection\n", count);
  for (int32_t i = 0; i < count; ++i) {
    if (!debug) {
      Numbering_glueInterface(numbering, maps[i]);
      continue;
    }
    // The debug listing counts the pairs already joined by earlier interfaces.
    const bool fresh = numbering->m_labelsFinal == 0;
    int64_t previous = 0;
    if (fresh) {
      Set_add(numbering->m_gluedInterfaces, maps[i]);
      previous = std::max<int64_t>(glue(numbering, maps[i]), 0);
    } else {
      Numbering_glueInterface(numbering, maps[i]);
    }
    int64_t roots = 0;
    for (int32_t v = 0; v < numbering->m_noOfVertices; ++v)
      roots += representative(numbering->m_vertexLabels, v) == v;
    Region *regions[2] = {nullptr, nullptr};
    if (InterfaceMap_getConnection(maps[i]) != nullptr)
      Connection_getSides(InterfaceMap_getConnection(maps[i]), &regions[0], &regions[1]);
    zyrTrace_printf("%10d %10d %10d : \"%s\"\n                                   \"%s\"\n",
                    InterfaceMap_getNoOfMatchedVertices(maps[i]), static_cast<int32_t>(previous),
                    static_cast<int32_t>(numbering->m_noOfVertices - roots), regionName(regions[0]),
                    regionName(regions[1]));
  }
  numbering->m_gluing = 0;
  Numbering_finaliseLabels(numbering);
  if (debug)
    zyrTrace_printf("\nNumber of vertices before   - %d\nNumber of vertices after    - %d\n", before,
                    numbering->m_noOfDistinctVertices);
  return 1;
}

void Numbering_finaliseLabels(Numbering *numbering) {
  if (numbering->m_labelsFinal)
    return;
  int32_t *labels = numbering->m_vertexLabels;
  int32_t next = numbering->m_vertexLabelBase;
  // Every link points at a smaller vertex, whose label is final by the time it is needed.
  for (int32_t i = 0; i < numbering->m_noOfVertices; ++i)
    labels[i] = labels[i] != i ? labels[labels[i]] : next++;
  numbering->m_noOfDistinctVertices = next - numbering->m_vertexLabelBase;
  numbering->m_labelsFinal = 1;
}

const int32_t *Numbering_getVertexLabels(const Numbering *constNumbering, const ElementMesh *em) {
  Numbering *numbering = const_cast<Numbering *>(constNumbering); // labels are made final on demand
  int32_t first = 0;
  if (numbering == nullptr || em == nullptr || !Labelling_getLabel(numbering->m_vertexLabelling, em, &first))
    return nullptr;
  if (!numbering->m_labelsFinal && !numbering->m_gluing)
    Numbering_finaliseLabels(numbering);
  return numbering->m_vertexLabels + first;
}

int Numbering_getElementSetOffset(const Numbering *numbering, const void *object, int32_t *offset) {
  int32_t before = 0;
  if (numbering == nullptr || !Labelling_getLabel(numbering->m_elementLabelling, object, &before))
    return 0;
  *offset = before + numbering->m_elementLabelBase;
  return 1;
}

int Numbering_getFaceSetOffset(const Numbering *numbering, const void *object, int32_t *offset) {
  int32_t before = 0;
  if (numbering == nullptr || !Labelling_getLabel(numbering->m_faceLabelling, object, &before))
    return 0;
  *offset = before + numbering->m_faceLabelBase;
  return 1;
}

int32_t Numbering_getNoOfVertices(Numbering *numbering) {
  if (numbering->m_noOfDistinctVertices < 0) {
    int32_t roots = 0;
    for (int32_t i = 0; i < numbering->m_noOfVertices; ++i)
      roots += numbering->m_vertexLabels[i] == i;
    numbering->m_noOfDistinctVertices = roots;
  }
  return numbering->m_noOfDistinctVertices;
}

int32_t Numbering_compactCoordinates(Numbering *numbering, double *coordinates) {
  const int32_t *labels = numbering->m_vertexLabels;
  int64_t kept = 0;
  int32_t expected = numbering->m_vertexLabelBase;
  for (int32_t i = 0; i < numbering->m_noOfVertices; ++i) {
    const bool keep = numbering->m_labelsFinal ? labels[i] == expected : labels[i] == i;
    if (!keep)
      continue;
    ++expected;
    if (kept != i)
      std::copy(coordinates + 3 * static_cast<int64_t>(i), coordinates + 3 * static_cast<int64_t>(i) + 3,
                coordinates + 3 * kept);
    ++kept;
  }
  if (!numbering->m_labelsFinal)
    numbering->m_noOfDistinctVertices = static_cast<int32_t>(kept);
  return static_cast<int32_t>(kept);
}

void Numbering_setVertexLabelBase(Numbering *numbering, int32_t base) {
  if (numbering->m_labelsFinal)
    for (int32_t i = 0; i < numbering->m_noOfVertices; ++i)
      numbering->m_vertexLabels[i] += base - numbering->m_vertexLabelBase;
  numbering->m_vertexLabelBase = base;
}
void Numbering_setElementLabelBase(Numbering *numbering, int32_t base) { numbering->m_elementLabelBase = base; }
void Numbering_setFaceLabelBase(Numbering *numbering, int32_t base) { numbering->m_faceLabelBase = base; }

void Numbering_print(const Numbering *numbering, FILE *stream) {
  const char *rule = "=============================================================";
  const char *line = "-------------------------------------------------------------";
  std::fprintf(stream, "\n%s\nNumbering (%p)\n%s\n\n", rule, static_cast<const void *>(numbering), rule);
  const Labelling *labellings[3] = {numbering->m_elementLabelling, numbering->m_faceLabelling,
                                    numbering->m_vertexLabelling};
  const char *titles[3] = {"Element labelling:", "Face labelling:", "Vertex labelling:"};
  for (int k = 0; k < 3; ++k)
    if (labellings[k] != nullptr) {
      std::fprintf(stream, "\n%s\n%s\n%s\n", line, titles[k], line);
      Labelling_print(labellings[k], stream);
    }
  std::fprintf(stream, "\n%s\n\n", rule);
}
