// The four ways a selection step picks elements: by position against a shape, by a quality
// measure, by element type and by location.
#include "ElementMesh.h"
#include "ElementSet.h"
#include "ElementTopology.h"
#include "FaceMesh.h"
#include "FaceSet.h"
#include "Mesh.h"
#include "MeshSelection.h"
#include "MeshSelectionCommand.h"
#include "MeshSelectionSupport.h"
#include "Region.h"
#include "Topology.h"
#include "zyrArrayUtilities.h"
#include "zyrError.h"
#include "zyrErrorCode.h"
#include "zyrMemory.h"

#include <cstring>
#include <unordered_map>
#include <utility>

namespace {

// Distance in metres within which a vertex lies on a plane or a box face.
const double surfaceTolerance = 1e-6;

bool takesElement(int32_t criterion, int32_t k, const int32_t *sides, const int32_t *vertices) {
  int32_t sum = 0;
  int32_t inside = 0;
  int32_t outside = 0;
  for (int32_t j = 0; j < k; ++j) {
    const int32_t side = sides[vertices[j]];
    sum += side;
    inside += side < 0 ? 1 : 0;
    outside += side > 0 ? 1 : 0;
  }
  switch (criterion) {
  case MESH_SELECTION_INSIDE:
    return inside == k;
  case MESH_SELECTION_INTERSECTING:
    return -k < sum && sum < k;
  case MESH_SELECTION_NOT_OUTSIDE:
    return outside == 0;
  case MESH_SELECTION_OUTSIDE:
    return outside == k;
  case MESH_SELECTION_NOT_INTERSECTING:
    return sum == -k || sum == k;
  case MESH_SELECTION_NOT_INSIDE:
    return inside == 0;
  case MESH_SELECTION_ALL:
    return true;
  default:
    return false;
  }
}

// Selects the set's elements by the side codes of its vertices. 1, or 0 when its lists cannot be had.
int selectBySides(MeshSelection *selection, int32_t s, int32_t criterion, int32_t noOfVertices, const int32_t *sides) {
  int32_t *vertices = nullptr;
  int32_t nel = 0;
  int32_t width = 0;
  if (!MeshSelection_getElementVertices(selection->m_elementSets[s], zyrConvention_ZYR, noOfVertices, &vertices, &nel,
                                        &width))
    return 0;
  int32_t *list = nel > 0 ? zyrMemory_allocateArray<int32_t>(nel, __func__) : nullptr;
  int32_t count = 0;
  for (int32_t e = 0; e < nel; ++e)
    if (takesElement(criterion, width, sides, vertices + static_cast<int64_t>(e) * width))
      list[count++] = e;
  zyrMemory_free(vertices, __func__);
  if (count == nel && nel > 0) { // the whole set
    zyrMemory_free(list, __func__);
    MeshSelection_setNew(selection, s, nel, nullptr);
  } else {
    MeshSelection_setNew(selection, s, count, list);
  }
  return 1;
}

void makeWhole(MeshSelection *selection, int32_t s) {
  MeshSelection_setNew(selection, s, ElementSet_getNoOfElements(selection->m_elementSets[s]), nullptr);
}

} // namespace

void flagPlaneVertices(int32_t n, const double *coordinates, const double *coefficients, int32_t *sides) {
  for (int32_t i = 0; i < n; ++i) {
    const double *p = coordinates + 3 * static_cast<int64_t>(i);
    const double s = coefficients[0] * p[0] + coefficients[1] * p[1] + coefficients[2] * p[2] + coefficients[3];
    sides[i] = s < -surfaceTolerance ? -1 : (s > surfaceTolerance ? 1 : 0);
  }
}

void flagSphereVertices(int32_t n, const double *coordinates, const double *centre, double radius, int32_t *sides) {
  const double r2 = radius * radius;
  for (int32_t i = 0; i < n; ++i) {
    const double *p = coordinates + 3 * static_cast<int64_t>(i);
    const double dx = p[0] - centre[0];
    const double dy = p[1] - centre[1];
    const double dz = p[2] - centre[2];
    const double q = dx * dx + dy * dy + dz * dz;
    sides[i] = r2 > q ? -1 : (q > r2 ? 1 : 0);
  }
}

void flagBoxVertices(int32_t n, const double *coordinates, const double *box, int32_t *sides) {
  const double t = surfaceTolerance;
  for (int32_t i = 0; i < n; ++i) {
    const double *p = coordinates + 3 * static_cast<int64_t>(i);
    bool outside = false;
    bool inside = true;
    for (int a = 0; a < 3; ++a) {
      if (p[a] < box[a] - t || p[a] > box[a + 3] + t)
        outside = true;
      if (!(box[a] + t < p[a] && p[a] < box[a + 3] - t))
        inside = false;
    }
    sides[i] = outside ? 1 : (inside ? -1 : 0);
  }
}

int MeshSelection_geometricSelect(MeshSelection *selection, int32_t criterion, int32_t shape, const double *numbers) {
  if (shape < MESH_SELECTION_PLANE || shape > MESH_SELECTION_BOX) {
    ZYR_ERROR(ZYR_U_INVALID_INPUT,
              "The requested geometric selection criterion, type = %d,\nhas not been recognised.\n", shape);
    return 0;
  }
  if (criterion < MESH_SELECTION_NONE || criterion > MESH_SELECTION_ALL) {
    ZYR_ERROR(ZYR_U_INVALID_INPUT,
              "The requested geometric selection criterion, intersection = %d,\nhas not been recognised.\n", criterion);
    return 0;
  }
  for (int32_t m = 0, first = 0; m < selection->m_noOfElementMeshes; first += selection->m_setsPerMesh[m++]) {
    double *xyz = nullptr;
    const int32_t n =
        ElementMesh_getVertexCoordinates(selection->m_elementMeshes[m], selection->m_units, 0, nullptr, &xyz);
    if (n < 0)
      return 0;
    if (n == 0) {
      zyrMemory_free(xyz, __func__);
      continue;
    }
    int32_t *sides = zyrMemory_allocateArray<int32_t>(n, __func__);
    if (shape == MESH_SELECTION_PLANE)
      flagPlaneVertices(n, xyz, numbers, sides);
    else if (shape == MESH_SELECTION_SPHERE)
      flagSphereVertices(n, xyz, numbers, numbers[3], sides);
    else
      flagBoxVertices(n, xyz, numbers, sides);
    zyrMemory_free(xyz, __func__);
    int result = 1;
    for (int32_t k = 0; k < selection->m_setsPerMesh[m] && result; ++k)
      result = selectBySides(selection, first + k, criterion, n, sides);
    zyrMemory_free(sides, __func__);
    if (!result)
      return 0;
  }
  return 1;
}

int MeshSelection_qualitySelect(MeshSelection *selection, const char *measure, const double *bounds,
                                const int32_t *boundFlags) {
  const int32_t code = MeshSelection_getMeasureCode(measure);
  if (code == 0)
    return 0;
  if (code == 3) {
    // Six values for the whole selection: nothing to compare element by element.
    ZYR_ERROR(ZYR_U_INVALID_INPUT, "The quality measure %s has no value per element and cannot select elements.\n",
              measure);
    return 0;
  }
  // Statistics are taken over the whole mesh: put the current selection aside meanwhile.
  const int32_t sets = selection->m_noOfElementSets;
  int32_t *savedCounts = selection->m_selectedCounts;
  int32_t **savedLists = selection->m_selectedLists;
  int32_t *wholeCounts = sets > 0 ? zyrMemory_allocateArray<int32_t>(sets, __func__) : nullptr;
  int32_t **noLists = sets > 0 ? zyrMemory_allocateZeroedArray<int32_t *>(sets, __func__) : nullptr;
  for (int32_t s = 0; s < sets; ++s)
    wholeCounts[s] = ElementSet_getNoOfElements(selection->m_elementSets[s]);
  selection->m_selectedCounts = wholeCounts;
  selection->m_selectedLists = noLists;

  int32_t noOfValues = 0;
  double *values = nullptr;
  const int result = MeshSelection_getStatistics(selection, measure, &noOfValues, &values);
  if (result) {
    int64_t next = 0;
    for (int32_t s = 0; s < sets; ++s) {
      if (code == 1 && ElementSet_getElementType(selection->m_elementSets[s]) != ZYR_ELEMENT_TETRA_4)
        continue;
      const int32_t nel = wholeCounts[s];
      int32_t *list = nel > 0 ? zyrMemory_allocateArray<int32_t>(nel, __func__) : nullptr;
      int32_t count = 0;
      for (int32_t e = 0; e < nel && next < noOfValues; ++e, ++next) {
        const double v = values[next];
        if ((!boundFlags[0] || v > bounds[0]) && (!boundFlags[1] || v < bounds[1]))
          list[count++] = e;
      }
      MeshSelection_setNew(selection, s, count, list);
    }
  }
  selection->m_selectedCounts = savedCounts;
  selection->m_selectedLists = savedLists;
  zyrMemory_free(wholeCounts, __func__);
  zyrMemory_free(noLists, __func__);
  zyrMemory_free(values, __func__);
  return result;
}

int MeshSelection_typeSelect(MeshSelection *selection, int32_t noOfTypes, const int32_t *types) {
  for (int32_t s = 0; s < selection->m_noOfElementSets; ++s) {
    const int32_t type = ElementSet_getElementType(selection->m_elementSets[s]);
    bool chosen = false;
    for (int32_t t = 0; t < noOfTypes && !chosen; ++t)
      chosen = types[t] == type;
    if (chosen)
      makeWhole(selection, s);
    else
      MeshSelection_setNew(selection, s, 0, nullptr);
  }
  return 1;
}

int MeshSelection_locationSelect(MeshSelection *selection, const char *location) {
  Topology *topology = MeshSelection_getTopology(selection);
  if (topology == nullptr || selection->m_mesh == nullptr) {
    ZYR_ERROR(ZYR_I_INTERNAL_ERROR, "The selection has no model topology or mesh to find a location in.\n");
    return 0;
  }
  int32_t count = 0;
  Region **regions = nullptr;
  const int result = Topology_resolveLocation(topology, location, 0, 1, 0, &count, &regions);
  if (!result) {
    zyrMemory_free(regions, __func__);
    return result;
  }
  std::unordered_map<const void *, std::pair<int32_t, int32_t>> meshIndex; // mesh, first set
  std::unordered_map<const void *, int32_t> setIndex;
  for (int32_t m = 0, s = 0; m < selection->m_noOfElementMeshes; ++m) {
    meshIndex.emplace(selection->m_elementMeshes[m], std::make_pair(m, s));
    for (int32_t k = 0; k < selection->m_setsPerMesh[m]; ++k, ++s)
      setIndex.emplace(selection->m_elementSets[s], s);
  }
  for (int32_t r = 0; r < count; ++r) {
    const int32_t dimensionality = Region_getDimensionality(regions[r]);
    if (dimensionality == 3) {
      const auto found = meshIndex.find(Mesh_getElementMesh(selection->m_mesh, regions[r]));
      if (found == meshIndex.end())
        continue;
      for (int32_t k = 0; k < selection->m_setsPerMesh[found->second.first]; ++k)
        makeWhole(selection, found->second.second + k);
    } else if (dimensionality == 2) {
      FaceMesh *faceMesh = Mesh_getFaceMesh(selection->m_mesh, regions[r]);
      if (faceMesh == nullptr)
        continue;
      FaceSet **faceSets = nullptr;
      const int32_t noOfFaceSets = FaceMesh_getFaceSets(faceMesh, &faceSets);
      for (int32_t f = 0; f < noOfFaceSets; ++f) {
        const auto found = setIndex.find(FaceSet_getElementSet(faceSets[f]));
        if (found == setIndex.end())
          continue;
        const int32_t s = found->second;
        if (selection->m_newCounts[s] > 0 && selection->m_newLists[s] == nullptr)
          continue; // already whole
        int32_t nfc = 0;
        int32_t *elements = nullptr;
        int32_t *localFaces = nullptr;
        if (!FaceSet_getFaces(faceSets[f], zyrConvention_ZYR, nullptr, 0, &nfc, &elements, &localFaces))
          continue;
        int32_t merged = 0;
        int32_t *list = nullptr;
        zyrMergeArrays(selection->m_newCounts[s], selection->m_newLists[s], nfc, elements, &merged, &list);
        MeshSelection_setNew(selection, s, merged, list);
        zyrMemory_free(elements, __func__);
        zyrMemory_free(localFaces, __func__);
      }
      zyrMemory_free(faceSets, __func__);
    }
  }
  zyrMemory_free(regions, __func__);
  return 1;
}
