// What a selection hands out: the statistics of a quality measure over its elements and the
// elements themselves as compact per-mesh arrays.
#include "ElementMesh.h"
#include "ElementSet.h"
#include "ElementTopology.h"
#include "GeometricAlgorithms.h"
#include "MeshSelection.h"
#include "MeshSelectionSupport.h"
#include "Region.h"
#include "zyrCString.h"
#include "zyrMemory.h"

#include <cstring>
#include <vector>

namespace {

enum { BETA = 1, VOLUME = 2, BOUNDING_BOX = 3, MIN_EDGE_LENGTH = 4, MAX_EDGE_LENGTH = 5, EDGE_LENGTH_RATIO = 6 };

// The selected elements of set s out of its element vertex lists (nel elements of width entries),
// in list order; a whole set is handed back as it is. NULL when a listed index does not fit.
int32_t *selectedElements(const MeshSelection *selection, int32_t s, int32_t *vertices, int32_t nel, int32_t width) {
  const int32_t *list = selection->m_selectedLists[s];
  const int32_t count = selection->m_selectedCounts[s];
  if (list == nullptr)
    return count <= nel ? vertices : nullptr;
  int32_t *picked = zyrMemory_allocateArray<int32_t>(static_cast<int64_t>(count) * width, __func__);
  for (int32_t i = 0; i < count; ++i) {
    if (list[i] < 0 || list[i] >= nel) {
      zyrMemory_free(picked, __func__);
      return nullptr;
    }
    std::memcpy(picked + static_cast<int64_t>(i) * width, vertices + static_cast<int64_t>(list[i]) * width,
                sizeof(int32_t) * static_cast<size_t>(width));
  }
  return picked;
}

// Appends the measure of the n elements (width entries each) at *values.
int measure(int32_t code, int32_t type, int32_t n, int32_t width, const int32_t *elements, const double *xyz,
            double *values) {
  double *out = values;
  switch (code) {
  case BETA:
    return GA_getBetaStatistic(0, n, width, elements, 0, xyz, &out);
  case VOLUME:
    return GA_getVolumes(type, 0, n, width, elements, 0, xyz, &out);
  default:
    return GA_getEdgeStatistic(type, zyrConvention_ZYR, code - MIN_EDGE_LENGTH + 1, n, width, elements, 0, xyz, &out);
  }
}

void widenBox(int64_t entries, const int32_t *elements, const double *xyz, double *box) {
  for (int64_t i = 0; i < entries; ++i) {
    const double *p = xyz + 3 * static_cast<int64_t>(elements[i]);
    for (int a = 0; a < 3; ++a) {
      if (p[a] < box[a])
        box[a] = p[a];
      if (p[a] > box[a + 3])
        box[a + 3] = p[a];
    }
  }
}

// The outputs of the element query while they are being built.
struct ElementQuery {
  std::vector<char *> m_names;
  std::vector<int32_t> m_vertexCounts;
  std::vector<float *> m_coordinates;
  std::vector<int32_t> m_setCounts;
  std::vector<int32_t> m_types;
  std::vector<int32_t> m_elementCounts;
  std::vector<int32_t *> m_elementVertices;

  void release() {
    for (char *name : m_names)
      zyrCString_free(name);
    for (float *xyz : m_coordinates)
      zyrMemory_free(xyz, "MeshSelection_getElements");
    for (int32_t *vertices : m_elementVertices)
      zyrMemory_free(vertices, "MeshSelection_getElements");
  }
};

template <class T> T *trackedCopy(const std::vector<T> &values) {
  if (values.empty())
    return nullptr;
  T *copy = zyrMemory_allocateArray<T>(static_cast<int64_t>(values.size()), "MeshSelection_getElements");
  std::memcpy(copy, values.data(), sizeof(T) * values.size());
  return copy;
}

// Adds the selected elements of mesh m to the query. 1, or 0 when a list or the coordinates
// cannot be had.
int queryMesh(MeshSelection *selection, int32_t m, int32_t first, int32_t convention, const char *units,
              ElementQuery *query) {
  ElementMesh *mesh = selection->m_elementMeshes[m];
  const int32_t noOfVertices = ElementMesh_getNoOfVertices(mesh);
  std::vector<int32_t> newNumbers(static_cast<size_t>(noOfVertices > 0 ? noOfVertices : 0), -1);
  const size_t firstSet = query->m_elementVertices.size();
  int32_t sets = 0;
  for (int32_t k = 0; k < selection->m_setsPerMesh[m]; ++k) {
    const int32_t s = first + k;
    if (selection->m_selectedCounts[s] <= 0)
      continue;
    int32_t *vertices = nullptr;
    int32_t nel = 0;
    int32_t width = 0;
    if (!MeshSelection_getElementVertices(selection->m_elementSets[s], convention, noOfVertices, &vertices, &nel,
                                          &width))
      return 0;
    int32_t *picked = selectedElements(selection, s, vertices, nel, width);
    if (picked == nullptr) {
      zyrMemory_free(vertices, __func__);
      return 0;
    }
    if (picked != vertices)
      zyrMemory_free(vertices, __func__);
    const int64_t entries = static_cast<int64_t>(selection->m_selectedCounts[s]) * width;
    for (int64_t i = 0; i < entries; ++i)
      newNumbers[static_cast<size_t>(picked[i])] = 0;
    query->m_types.push_back(ElementSet_getElementType(selection->m_elementSets[s]));
    query->m_elementCounts.push_back(selection->m_selectedCounts[s]);
    query->m_elementVertices.push_back(picked);
    ++sets;
  }
  // Used vertices are numbered in the order of their number in the mesh.
  std::vector<int32_t> used;
  for (int32_t v = 0; v < noOfVertices; ++v)
    if (newNumbers[static_cast<size_t>(v)] == 0) {
      newNumbers[static_cast<size_t>(v)] = static_cast<int32_t>(used.size());
      used.push_back(v);
    }
  for (size_t j = firstSet; j < query->m_elementVertices.size(); ++j) {
    const int32_t width = ElementTopology_getNoOfVertices(query->m_types[j]);
    const int64_t entries = static_cast<int64_t>(query->m_elementCounts[j]) * width;
    int32_t *vertices = query->m_elementVertices[j];
    for (int64_t i = 0; i < entries; ++i)
      vertices[i] = newNumbers[static_cast<size_t>(vertices[i])];
  }
  double *xyz = nullptr;
  const int32_t delivered = used.empty() ? 0
                                         : ElementMesh_getVertexCoordinates(mesh, units, static_cast<int32_t>(used.size()),
                                                                            used.data(), &xyz);
  if (delivered < 0)
    return 0;
  float *coordinates = delivered > 0 ? zyrMemory_allocateArray<float>(3 * static_cast<int64_t>(delivered), __func__)
                                     : nullptr;
  for (int64_t i = 0; i < 3 * static_cast<int64_t>(delivered); ++i)
    coordinates[i] = static_cast<float>(xyz[i]);
  zyrMemory_free(xyz, __func__);
  const Region *region = ElementMesh_getRegion(mesh);
  const char *name = region != nullptr ? Region_getName(region) : nullptr;
  query->m_names.push_back(zyrCString_clone(name != nullptr ? name : ""));
  query->m_vertexCounts.push_back(delivered);
  query->m_coordinates.push_back(coordinates);
  query->m_setCounts.push_back(sets);
  return 1;
}

} // namespace

int32_t MeshSelection_getMeasureCode(const char *measure) {
  static const char *const names[] = {"beta", "volume", "bounding_box", "min_edge_length", "max_edge_length",
                                      "edge_length_ratio"};
  if (measure == nullptr)
    return 0;
  for (int32_t i = 0; i < 6; ++i)
    if (std::strcmp(names[i], measure) == 0)
      return i + 1;
  return 0;
}

int MeshSelection_getStatistics(MeshSelection *selection, const char *measureName, int32_t *noOfValues,
                                double **values) {
  *noOfValues = 0;
  *values = nullptr;
  const int32_t code = MeshSelection_getMeasureCode(measureName);
  if (code == 0)
    return 0;
  const int64_t n = code == BETA           ? MeshSelection_getNoOfSelectedElementsOfType(selection, ZYR_ELEMENT_TETRA_4)
                    : code == BOUNDING_BOX ? 6
                                           : MeshSelection_getNoOfSelectedElements(selection);
  if (n <= 0)
    return 1;
  double *out = zyrMemory_allocateZeroedArray<double>(n, __func__);
  double box[6] = {1.7976931348623157e308, 1.7976931348623157e308, 1.7976931348623157e308,
                   -1.7976931348623157e308, -1.7976931348623157e308, -1.7976931348623157e308};
  int64_t next = 0;
  int ok = 1;
  for (int32_t m = 0, first = 0; m < selection->m_noOfElementMeshes && ok; first += selection->m_setsPerMesh[m++]) {
    double *xyz = nullptr;
    int32_t noOfVertices = -1; // not taken yet
    for (int32_t k = 0; k < selection->m_setsPerMesh[m] && ok; ++k) {
      const int32_t s = first + k;
      const int32_t count = selection->m_selectedCounts[s];
      const int32_t type = ElementSet_getElementType(selection->m_elementSets[s]);
      if (count <= 0 || (code == BETA && type != ZYR_ELEMENT_TETRA_4))
        continue;
      if (noOfVertices < 0) {
        noOfVertices =
            ElementMesh_getVertexCoordinates(selection->m_elementMeshes[m], selection->m_units, 0, nullptr, &xyz);
        if (noOfVertices < 0) {
          ok = 0;
          break;
        }
      }
      if (noOfVertices == 0) {
        // No coordinates: the slots of these elements stay zero so that later values keep their places.
        if (code != BOUNDING_BOX)
          next += count;
        continue;
      }
      int32_t *vertices = nullptr;
      int32_t nel = 0;
      int32_t width = 0;
      if (!MeshSelection_getElementVertices(selection->m_elementSets[s], zyrConvention_ZYR, noOfVertices, &vertices,
                                            &nel, &width)) {
        ok = 0;
        break;
      }
      int32_t *picked = selectedElements(selection, s, vertices, nel, width);
      if (picked == nullptr || next + count > n)
        ok = 0;
      else if (code == BOUNDING_BOX)
        widenBox(static_cast<int64_t>(count) * width, picked, xyz, box);
      else if (!measure(code, type, count, width, picked, xyz, out + next))
        ok = 0;
      else
        next += count;
      if (picked != nullptr && picked != vertices)
        zyrMemory_free(picked, __func__);
      zyrMemory_free(vertices, __func__);
    }
    zyrMemory_free(xyz, __func__);
  }
  if (!ok) {
    zyrMemory_free(out, __func__);
    return 0;
  }
  if (code == BOUNDING_BOX)
    std::memcpy(out, box, sizeof(box));
  *noOfValues = static_cast<int32_t>(n);
  *values = out;
  return 1;
}

int MeshSelection_getElements(MeshSelection *selection, int32_t convention, const char *units, int32_t *noOfMeshes,
                              char ***meshNames, int32_t **noOfVertices, float ***coordinates, int32_t **setCounts,
                              int32_t **elementTypes, int32_t **elementCounts, int32_t ***elementVertices) {
  *noOfMeshes = 0;
  *meshNames = nullptr;
  *noOfVertices = nullptr;
  *coordinates = nullptr;
  *setCounts = nullptr;
  *elementTypes = nullptr;
  *elementCounts = nullptr;
  *elementVertices = nullptr;
  ElementQuery query;
  for (int32_t m = 0, first = 0; m < selection->m_noOfElementMeshes; first += selection->m_setsPerMesh[m++]) {
    bool any = false;
    for (int32_t k = 0; k < selection->m_setsPerMesh[m] && !any; ++k)
      any = selection->m_selectedCounts[first + k] > 0;
    if (any && !queryMesh(selection, m, first, convention, units, &query)) {
      query.release();
      return 0;
    }
  }
  if (query.m_names.empty())
    return 1;
  *noOfMeshes = static_cast<int32_t>(query.m_names.size());
  *meshNames = trackedCopy(query.m_names);
  *noOfVertices = trackedCopy(query.m_vertexCounts);
  *coordinates = trackedCopy(query.m_coordinates);
  *setCounts = trackedCopy(query.m_setCounts);
  *elementTypes = trackedCopy(query.m_types);
  *elementCounts = trackedCopy(query.m_elementCounts);
  *elementVertices = trackedCopy(query.m_elementVertices);
  return 1;
}
