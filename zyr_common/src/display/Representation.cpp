#include "Representation.h"

#include "HashTable.h"
#include "LinkMap.h"
#include "MeshReferences.h"
#include "Region.h"
#include "Topology.h"
#include "Units.h"
#include "Visual.h"
#include "zyrError.h"
#include "zyrMemory.h"
#include "zyrMeshLayer.h"
#include "zyrUUID.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>
#include <vector>

namespace {

// Links from a region to its visual.
const int32_t kVisualLink = 1;

typedef std::vector<std::pair<Region *, Visual *>> RegionVisuals;

// In the model order of the regions: the link map and the copy tables hash addresses.
template <class T> void sortByRegion(std::vector<std::pair<Region *, T *>> &pairs) {
  typedef std::pair<Region *, T *> Entry;
  std::stable_sort(pairs.begin(), pairs.end(),
                   [](const Entry &a, const Entry &b) { return zyrCompareRegions(a.first, b.first) < 0; });
}

RegionVisuals visualLinks(const Representation *r) {
  RegionVisuals pairs;
  if (r->m_visuals == nullptr)
    return pairs;
  LinkMapIterator *it = LinkMapIterator_new(r->m_visuals);
  for (LinkRecord *link = LinkMapIterator_first(it); link != nullptr; link = LinkMapIterator_next(it))
    if (link->m_type == kVisualLink)
      pairs.emplace_back(static_cast<Region *>(link->m_object), static_cast<Visual *>(link->m_linkedObject));
  LinkMapIterator_delete(it);
  sortByRegion(pairs);
  return pairs;
}

// Only units with a length factor: an angle unit is known to the units service too, but no
// coordinate converts to it.
int checkUnits(const char *function, const char *units) {
  if (units == nullptr || Units_isLengthUnit(units) == 1)
    return 1;
  ZYR_ERROR_FOR(ZYR_U_INVALID_LENGTH_UNITS, function, "Supplied units for length were: %s.\n", units);
  return 0;
}

// The units check, then the visuals of the location.
int visualsFor(const char *function, Representation *r, const char *location, int32_t ignoreUnknown, const char *units,
               std::vector<Visual *> &list) {
  if (!checkUnits(function, units))
    return 0;
  int32_t n = 0;
  Visual **visuals = nullptr;
  const int status = Representation_getVisuals(r, location, ignoreUnknown, &n, &visuals);
  if (status != 1)
    return status;
  list.assign(visuals, visuals + n);
  zyrMemory_free(visuals, __func__);
  return 1;
}

} // namespace

int64_t Representation_getSize() { return static_cast<int64_t>(sizeof(Representation)); }

Representation *Representation_new(Topology *topology) {
  zyrMeshLayer_initialise();
  Representation *r = static_cast<Representation *>(zyrObject_new("Representation"));
  if (r == nullptr)
    return nullptr;
  r->m_visuals = LinkMap_new(200);
  r->m_topology = topology;
  zyrObject_setPointer(r, "topology", topology);
  return r;
}

int Representation_delete(void *object) {
  Representation *r = static_cast<Representation *>(object);
  if (r == nullptr)
    return 0;
  LinkMap_delete(r->m_visuals);
  r->m_visuals = nullptr;
  return zyrObject_delete(r);
}

int Representation_dump(void *object) {
  Representation *r = static_cast<Representation *>(object);
  std::vector<void *> regions;
  std::vector<void *> visuals;
  for (const auto &link : visualLinks(r)) {
    regions.push_back(link.first);
    visuals.push_back(link.second);
  }
  const int32_t n = static_cast<int32_t>(regions.size());
  const int a = zyrObject_setPointers(r, "regions", regions.data(), n);
  const int b = zyrObject_setPointers(r, "visuals", visuals.data(), n);
  return a == 1 && b == 1 ? 1 : 0;
}

int Representation_restore(void *object, int32_t flag) {
  Representation *r = static_cast<Representation *>(object);
  void *pointer = r->m_topology;
  zyrObject_getPointer(r, flag, "topology", &pointer);
  r->m_topology = static_cast<Topology *>(pointer);
  if (flag == 0 || r->m_visuals == nullptr || zyrObject_checkAttribute(r, flag, "regions") ||
      zyrObject_checkAttribute(r, flag, "visuals")) {
    void **regions = nullptr;
    void **visuals = nullptr;
    int32_t noOfRegions = 0;
    int32_t noOfVisuals = 0;
    if (zyrObject_getPointers(r, 0, "regions", &regions, &noOfRegions) != 1 || regions == nullptr)
      noOfRegions = 0;
    if (zyrObject_getPointers(r, 0, "visuals", &visuals, &noOfVisuals) != 1 || visuals == nullptr)
      noOfVisuals = 0;
    const int32_t n = noOfRegions < noOfVisuals ? noOfRegions : noOfVisuals;
    // Each visual belongs to one region, and is deleted with it.
    MeshReferences_dropRepeatedLinks(r, "visuals", __func__, regions, visuals, n, 1);
    LinkMap_delete(r->m_visuals);
    r->m_visuals = LinkMap_new(n + 50);
    // A damaged record can hold lists of different lengths or empty references: only whole pairs
    // are linked.
    for (int32_t i = 0; i < n; ++i)
      if (regions[i] != nullptr && visuals[i] != nullptr)
        LinkMap_addLink(r->m_visuals, regions[i], visuals[i], kVisualLink);
    zyrMemory_free(regions, __func__);
    zyrMemory_free(visuals, __func__);
    if (noOfRegions != noOfVisuals) {
      char key[ZYR_UUID_BASE64_SIZE];
      zyrObject_getUUIDString(r, key);
      ZYR_ERROR(ZYR_I_INTERNAL_ERROR, "The stored representation %s lists %d regions and %d visuals.\n", key,
                noOfRegions, noOfVisuals);
    }
  }
  return 1;
}

Visual *Representation_getVisual(const Representation *r, const Region *region) {
  if (r == nullptr || region == nullptr)
    return nullptr;
  return static_cast<Visual *>(LinkMap_findLinkedObject(r->m_visuals, region, kVisualLink));
}

int Representation_addVisual(Representation *r, Visual *visual) {
  if (r == nullptr || visual == nullptr)
    return 0;
  Region *region = Visual_getRegion(visual);
  Visual *present = Representation_getVisual(r, region);
  if (present == visual)
    return 1;
  // The map takes any number of links per region; a second visual would make every look-up of
  // the region ambiguous.
  if (region == nullptr || present != nullptr) {
    if (region == nullptr)
      ZYR_ERROR(ZYR_I_INTERNAL_ERROR, "A visual without a region cannot be shown.\n");
    else
      ZYR_ERROR(ZYR_I_INTERNAL_ERROR, "Region \"%s\" already has a visual.\n", Region_getName(region));
    return 0;
  }
  zyrObject_setModified(r);
  return LinkMap_addLink(r->m_visuals, region, visual, kVisualLink);
}

int Representation_removeVisual(Representation *r, Visual *visual) {
  if (r == nullptr || visual == nullptr)
    return 0;
  zyrObject_setModified(r);
  return LinkMap_removeLink(r->m_visuals, visual, kVisualLink);
}

int Representation_copyVisuals(Representation *r, HashTable *regionMap, const zyrAffineTransform3D *transform) {
  if (r == nullptr)
    return 0;
  if (regionMap == nullptr)
    return 1;
  std::vector<std::pair<Region *, Region *>> pairs;
  HashTableIterator *it = HashTableIterator_new(regionMap);
  for (Pair *pair = HashTableIterator_first(it); pair != nullptr; pair = HashTableIterator_next(it))
    pairs.emplace_back(static_cast<Region *>(Pair_getFirst(pair)), static_cast<Region *>(Pair_getSecond(pair)));
  HashTableIterator_delete(it);
  sortByRegion(pairs);
  int ok = 1;
  for (const auto &pair : pairs) {
    Visual *visual = Representation_getVisual(r, pair.first);
    if (visual == nullptr)
      continue;
    Visual *copy = Visual_copy(visual, pair.second, transform);
    if (copy == nullptr || Representation_addVisual(r, copy) != 1) {
      if (copy != nullptr)
        Visual_delete(copy);
      ok = 0;
    }
  }
  return ok;
}

int Representation_moveVisuals(Representation *r, int32_t count, Region **regions,
                               const zyrAffineTransform3D *transform) {
  if (r == nullptr)
    return 1;
  for (int32_t i = 0; i < count; ++i) {
    Visual *visual = Representation_getVisual(r, regions[i]);
    if (visual != nullptr)
      Visual_transform(visual, transform);
  }
  return 1;
}

int Representation_deleteRegions(Representation *r, int32_t count, Region **regions) {
  if (r == nullptr)
    return 1;
  for (int32_t i = 0; i < count; ++i) {
    // Asked whatever the dimensionality says (a damaged record can say another): no visual may
    // outlive its region.
    if (regions[i] == nullptr)
      continue;
    Visual *visual = Representation_getVisual(r, regions[i]);
    if (visual == nullptr)
      continue;
    Representation_removeVisual(r, visual);
    Visual_delete(visual);
  }
  return 1;
}

int Representation_combineRepresentations(Representation *r, Representation *other) {
  if (r == nullptr || other == nullptr || r == other)
    return 0;
  zyrObject_setModified(r);
  void **first = nullptr;
  void **second = nullptr;
  int32_t *types = nullptr;
  const int32_t n = LinkMap_toArray(other->m_visuals, &first, &second, &types);
  for (int32_t i = 0; i < n; ++i)
    LinkMap_addLink(r->m_visuals, first[i], second[i], types[i]);
  zyrMemory_free(first, __func__);
  zyrMemory_free(second, __func__);
  zyrMemory_free(types, __func__);
  Representation_delete(other);
  return 1;
}

// ---- queries ----------------------------------------------------------------------------------

int Representation_getVisuals(Representation *r, const char *location, int32_t ignoreUnknown, int32_t *count,
                              Visual ***visuals) {
  *count = 0;
  *visuals = nullptr;
  if (r == nullptr || r->m_topology == nullptr) {
    ZYR_ERROR(ZYR_I_INTERNAL_ERROR, "The representation has no topology to resolve \"%s\" in.\n",
              location != nullptr ? location : "");
    return 0;
  }
  int32_t n = 0;
  Region **regions = nullptr;
  const int status = Topology_resolveLocation(r->m_topology, location, 1, 0, ignoreUnknown, &n, &regions);
  if (status != 1)
    return status;
  // A location can reach a region twice (a volume and one of its walls): it is shown and
  // weighted once.
  std::unordered_set<const Region *> seen;
  seen.reserve(static_cast<size_t>(n));
  int32_t kept = 0;
  for (int32_t i = 0; i < n; ++i)
    if (seen.insert(regions[i]).second)
      regions[kept++] = regions[i];
  Visual **list = kept > 0 ? zyrMemory_allocateArray<Visual *>(kept, __func__) : nullptr;
  std::vector<const Region *> missing;
  int32_t found = 0;
  for (int32_t i = 0; i < kept; ++i) {
    Visual *visual = Representation_getVisual(r, regions[i]);
    if (visual != nullptr)
      list[found++] = visual;
    else
      missing.push_back(regions[i]);
  }
  if (!missing.empty()) {
    zyrError *error = zyrError_new(ZYR_I_INTERNAL_ERROR, __func__, __FILE__, __LINE__);
    zyrError_addMessage(error, "Couldn't locate a visual for the following region(s):\n\n");
    for (const Region *region : missing)
      zyrError_addMessage(error, "  \"%s\"\n", Region_getName(region));
    zyrError_publish(error);
    zyrMemory_free(list, __func__);
    zyrMemory_free(regions, __func__);
    return 0;
  }
  zyrMemory_free(regions, __func__);
  *count = found;
  *visuals = list;
  return 1;
}

int Representation_getBoundingBox(Representation *r, const char *location, int32_t ignoreUnknown, const char *units,
                                  double box[6]) {
  std::vector<Visual *> visuals;
  const int status = visualsFor(__func__, r, location, ignoreUnknown, units, visuals);
  if (status != 1)
    return status;
  for (int k = 0; k < 3; ++k) {
    box[k] = 1.7976931348623157e308;
    box[3 + k] = -1.7976931348623157e308;
  }
  for (Visual *visual : visuals) {
    double b[6];
    if (Visual_getBoundingBox(visual, units, b) != 1)
      continue;
    for (int k = 0; k < 3; ++k) {
      if (b[k] < box[k])
        box[k] = b[k];
      if (b[3 + k] > box[3 + k])
        box[3 + k] = b[3 + k];
    }
  }
  return 1;
}

int Representation_getCentroid(Representation *r, const char *location, int32_t ignoreUnknown, const char *units,
                               int32_t mode, double *x, double *y, double *z) {
  if (mode != 0 && mode != 1 && mode != 10 && mode != 11) {
    ZYR_ERROR(ZYR_U_INVALID_INPUT, "The supplied value for the method parameter, %d, is invalid.\n", mode);
    return 0;
  }
  std::vector<Visual *> visuals;
  const int status = visualsFor(__func__, r, location, ignoreUnknown, units, visuals);
  if (status != 1)
    return status;
  double result[3] = {0.0, 0.0, 0.0};
  int ok = 1;
  if (visuals.size() == 1) {
    ok = Visual_getCentroid(visuals[0], units, mode, result);
  } else {
    const int32_t plain = mode < 10 ? 0 : 10;
    double sum[3] = {0.0, 0.0, 0.0};
    double total = 0.0;
    for (Visual *visual : visuals) {
      double c[3] = {0.0, 0.0, 0.0};
      Visual_getCentroid(visual, units, plain, c);
      double weight = 0.0;
      if (plain == 0)
        weight = Visual_getNoOfVertices(visual);
      else
        Visual_getArea(visual, nullptr, &weight);
      for (int k = 0; k < 3; ++k)
        sum[k] += weight * c[k];
      total += weight;
    }
    const double scale = total > 0.0 ? 1.0 / total : 1.0;
    for (int k = 0; k < 3; ++k)
      result[k] = sum[k] * scale;
    if (mode == 1 || mode == 11) {
      // Snapping works in metres; the winner goes back to the requested units.
      double toMetres = 1.0;
      if (units != nullptr && Units_getConversionFactor(units, "m", &toMetres) != 1)
        ok = 0;
      double point[3];
      for (int k = 0; k < 3; ++k)
        point[k] = result[k] * toMetres;
      double best = 0.0;
      bool any = false;
      double winner[3] = {0.0, 0.0, 0.0};
      for (Visual *visual : visuals) {
        if (Visual_getNoOfVertices(visual) < 1)
          continue;
        double c[3];
        Visual_snapToClosestVertex(visual, point, c);
        double d = 0.0;
        for (int k = 0; k < 3; ++k)
          d += (c[k] - point[k]) * (c[k] - point[k]);
        if (!any || d < best) {
          best = d;
          any = true;
          std::memcpy(winner, c, sizeof winner);
        }
      }
      if (any) {
        std::memcpy(result, winner, sizeof result);
        if (Units_convertDoubles("m", units, 3, result) != 1)
          ok = 0;
      }
    }
  }
  *x = result[0];
  *y = result[1];
  *z = result[2];
  return ok;
}

int Representation_getWireframeDisplay(Representation *r, const char *location, int32_t ignoreUnknown,
                                       const char *units, double featureAngle, int32_t *noOfVertices,
                                       float **coordinates, int32_t *noOfEdges, int32_t **edges) {
  *noOfVertices = 0;
  *coordinates = nullptr;
  *noOfEdges = 0;
  *edges = nullptr;
  std::vector<Visual *> visuals;
  const int status = visualsFor(__func__, r, location, ignoreUnknown, units, visuals);
  if (status != 1)
    return status;
  if (visuals.empty())
    return 1;
  if (visuals.size() == 1)
    return Visual_getWireframeDisplay(visuals[0], units, featureAngle, noOfVertices, coordinates, noOfEdges, edges);

  struct Part {
    int32_t m_vertices;
    float *m_coordinates;
    int32_t m_edges;
    int32_t *m_lines;
  };
  std::vector<Part> parts(visuals.size());
  int64_t totalVertices = 0;
  int64_t totalEdges = 0;
  for (size_t i = 0; i < visuals.size(); ++i) {
    Part &p = parts[i];
    if (Visual_getWireframeDisplay(visuals[i], units, featureAngle, &p.m_vertices, &p.m_coordinates, &p.m_edges,
                                   &p.m_lines) != 1)
      p = {0, nullptr, 0, nullptr};
    totalVertices += p.m_vertices;
    totalEdges += p.m_edges;
  }
  const bool tooLarge = totalVertices > INT32_MAX || 2 * totalEdges > INT32_MAX;
  float *xyz = !tooLarge && totalVertices > 0 ? zyrMemory_allocateArray<float>(3 * totalVertices, __func__) : nullptr;
  int32_t *lines = !tooLarge && totalEdges > 0 ? zyrMemory_allocateArray<int32_t>(2 * totalEdges, __func__) : nullptr;
  int64_t vertexAt = 0;
  int64_t lineAt = 0;
  for (Part &p : parts) {
    if (!tooLarge) {
      if (p.m_vertices > 0)
        std::memcpy(xyz + 3 * vertexAt, p.m_coordinates, 3 * sizeof(float) * static_cast<size_t>(p.m_vertices));
      const int32_t offset = static_cast<int32_t>(vertexAt);
      for (int64_t k = 0; k < 2 * static_cast<int64_t>(p.m_edges); ++k)
        lines[lineAt + k] = p.m_lines[k] + offset;
      vertexAt += p.m_vertices;
      lineAt += 2 * static_cast<int64_t>(p.m_edges);
    }
    zyrMemory_free(p.m_coordinates, __func__);
    zyrMemory_free(p.m_lines, __func__);
  }
  if (tooLarge) {
    ZYR_ERROR(ZYR_R_INSUFFICIENT_MEMORY_AVAILABLE, "The display arrays of the location are too large.\n");
    return 0;
  }
  int32_t n = static_cast<int32_t>(totalVertices);
  if (purgeUnwantedVertices(2 * totalEdges, lines, &n, &xyz) != 1) {
    zyrMemory_free(xyz, __func__);
    zyrMemory_free(lines, __func__);
    return 0;
  }
  *noOfVertices = n;
  *coordinates = xyz;
  *noOfEdges = static_cast<int32_t>(totalEdges);
  *edges = lines;
  return 1;
}

int Representation_getFacettedDisplay(Representation *r, const char *location, int32_t ignoreUnknown, const char *units,
                                      int32_t *noOfVertices, float **coordinates, int32_t *noOfTriangles,
                                      int32_t *noOfQuadrilaterals, int32_t **faceVertices) {
  *noOfVertices = 0;
  *coordinates = nullptr;
  *noOfTriangles = 0;
  *noOfQuadrilaterals = 0;
  *faceVertices = nullptr;
  std::vector<Visual *> visuals;
  const int status = visualsFor(__func__, r, location, ignoreUnknown, units, visuals);
  if (status != 1)
    return status;
  if (visuals.empty())
    return 1;
  if (visuals.size() == 1)
    return Visual_getFacettedDisplay(visuals[0], units, noOfVertices, coordinates, noOfTriangles, noOfQuadrilaterals,
                                     faceVertices);

  // Every visual writes straight into the combined arrays; one whose coordinates cannot be
  // delivered writes no faces and its vertex slots are taken by the next one.
  int64_t totalVertices = 0;
  int64_t totalTriangles = 0;
  int64_t totalQuadrilaterals = 0;
  for (Visual *visual : visuals) {
    int32_t t = 0;
    int32_t q = 0;
    Visual_getNoOfFaces(visual, &t, &q);
    totalVertices += Visual_getNoOfVertices(visual);
    totalTriangles += t;
    totalQuadrilaterals += q;
  }
  const int64_t entries = 3 * totalTriangles + 4 * totalQuadrilaterals;
  if (totalVertices > INT32_MAX || entries > INT32_MAX) {
    ZYR_ERROR(ZYR_R_INSUFFICIENT_MEMORY_AVAILABLE, "The display arrays of the location are too large.\n");
    return 0;
  }
  float *xyz = totalVertices > 0 ? zyrMemory_allocateArray<float>(3 * totalVertices, __func__) : nullptr;
  int32_t *faces = entries > 0 ? zyrMemory_allocateArray<int32_t>(entries, __func__) : nullptr;
  int64_t vertexAt = 0;
  int64_t triangleAt = 0;
  int64_t quadrilateralAt = 3 * totalTriangles;
  int64_t triangles = 0;
  int64_t quadrilaterals = 0;
  for (Visual *visual : visuals) {
    if (Visual_writeFacettedDisplay(visual, units, static_cast<int32_t>(vertexAt), xyz + 3 * vertexAt,
                                    faces + triangleAt, faces + quadrilateralAt) != 1)
      continue;
    int32_t t = 0;
    int32_t q = 0;
    Visual_getNoOfFaces(visual, &t, &q);
    vertexAt += Visual_getNoOfVertices(visual);
    triangleAt += 3 * static_cast<int64_t>(t);
    quadrilateralAt += 4 * static_cast<int64_t>(q);
    triangles += t;
    quadrilaterals += q;
  }
  if (triangleAt < 3 * totalTriangles && quadrilaterals > 0)
    std::memmove(faces + triangleAt, faces + 3 * totalTriangles,
                 sizeof(int32_t) * static_cast<size_t>(4 * quadrilaterals));
  const int64_t used = 3 * triangles + 4 * quadrilaterals;
  if (used == 0)
    zyrMemory_freeAndClear(&faces, __func__);
  else if (used < entries)
    faces = zyrMemory_reallocateArray(faces, used, __func__);
  int32_t n = static_cast<int32_t>(vertexAt);
  if (n == 0)
    zyrMemory_freeAndClear(&xyz, __func__);
  else if (vertexAt < totalVertices)
    xyz = zyrMemory_reallocateArray(xyz, 3 * vertexAt, __func__);
  if (purgeUnwantedVertices(used, faces, &n, &xyz) != 1) {
    zyrMemory_free(xyz, __func__);
    zyrMemory_free(faces, __func__);
    return 0;
  }
  *noOfVertices = n;
  *coordinates = xyz;
  *noOfTriangles = static_cast<int32_t>(triangles);
  *noOfQuadrilaterals = static_cast<int32_t>(quadrilaterals);
  *faceVertices = faces;
  return 1;
}

int purgeUnwantedVertices(int64_t noOfIndices, int32_t *indices, int32_t *noOfVertices, float **coordinates) {
  const int32_t n = *noOfVertices;
  for (int64_t i = 0; i < noOfIndices; ++i)
    if (indices[i] < 0 || indices[i] > n - 1)
      return 0;
  if (n < 1)
    return 1;
  std::vector<int32_t> renumber(static_cast<size_t>(n), -1);
  for (int64_t i = 0; i < noOfIndices; ++i)
    renumber[static_cast<size_t>(indices[i])] = 0;
  int32_t kept = 0;
  float *xyz = *coordinates;
  for (int32_t v = 0; v < n; ++v) {
    if (renumber[static_cast<size_t>(v)] < 0)
      continue;
    if (kept != v)
      std::memcpy(xyz + 3 * static_cast<int64_t>(kept), xyz + 3 * static_cast<int64_t>(v), 3 * sizeof(float));
    renumber[static_cast<size_t>(v)] = kept++;
  }
  if (kept == n)
    return 1; // every vertex is used: the numbers stand
  for (int64_t i = 0; i < noOfIndices; ++i)
    indices[i] = renumber[static_cast<size_t>(indices[i])];
  if (kept == 0)
    zyrMemory_freeAndClear(coordinates, __func__);
  else
    *coordinates = zyrMemory_reallocateArray(xyz, 3 * static_cast<int64_t>(kept), __func__);
  *noOfVertices = kept;
  return 1;
}

void Representation_print(const Representation *r, FILE *stream) {
  const char *rule = "==============================================";
  char key[ZYR_UUID_BASE64_SIZE];
  char topology[ZYR_UUID_BASE64_SIZE];
  zyrObject_getUUIDString(r, key);
  zyrObject_getUUIDString(r->m_topology, topology);
  std::fprintf(stream, "\n%s\nRepresentation: %s\n%s\n\n", rule, key, rule);
  std::fprintf(stream, "Topology       = %s\n", topology);
  const RegionVisuals links = visualLinks(r);
  std::fprintf(stream, "No. of visuals = %d\n", static_cast<int32_t>(links.size()));
  for (const auto &link : links) {
    char visual[ZYR_UUID_BASE64_SIZE];
    zyrObject_getUUIDString(link.second, visual);
    std::fprintf(stream, "%s -> %s\n", visual, Region_getName(link.first));
  }
  std::fprintf(stream, "%s\n\n", rule);
  std::fflush(stream);
}
