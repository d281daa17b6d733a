// The read-only questions the host asks of a model: the primitive regions of a location and
// their names, the composite names consistent with them, geometry and display data of a
// location, and the neighbourhood of one region.
#include "Connection.h"
#include "Mesh.h"
#include "Model.h"
#include "NameManager.h"
#include "Region.h"
#include "Representation.h"
#include "Topology.h"
#include "Units.h"
#include "Visual.h"
#include "zyrAPI.h"
#include "zyrCString.h"
#include "zyrError.h"
#include "zyrErrorCode.h"
#include "zyrMemory.h"

#include <algorithm>
#include <vector>

namespace {

// Copies of the regions' user names (NULL when none).
char **userNames(int32_t count, Region *const *regions) {
  if (count < 1)
    return nullptr;
  char **names = zyrMemory_allocateArray<char *>(count, __func__);
  for (int32_t i = 0; i < count; ++i)
    names[i] = zyrCString_clone(Region_getUserName(regions[i]));
  return names;
}

char **userNames(const std::vector<Region *> &regions) {
  return userNames(static_cast<int32_t>(regions.size()), regions.data());
}

// Created, and so queued for the host, but neither shown nor handed to the error handler.
int queueInvalid(const char *caller, const char *message) {
  zyrError *error = zyrError_new(ZYR_U_INVALID_INPUT, caller, __FILE__, __LINE__);
  zyrError_addMessage(error, "%s", message);
  return 0;
}

} // namespace

int Model_getLocationRegions(Model *model, const char *location, int32_t ignoreUnknownNames, int32_t dimensionMask,
                             int32_t *noOfRegions, Region ***regions) {
  *noOfRegions = 0;
  if (regions != nullptr)
    *regions = nullptr;
  int32_t count = 0;
  Region **resolved = nullptr;
  const int status = Topology_resolveLocation(model->m_topology, location, 0, 1, ignoreUnknownNames, &count, &resolved);
  if (status != 1)
    return status;
  int flags[4];
  zyrDimensionMask_unpack(static_cast<DimensionalityMask>(dimensionMask), flags);
  int32_t kept = 0;
  for (int32_t i = 0; i < count; ++i) {
    const int32_t d = Region_getDimensionality(resolved[i]);
    if (d >= 0 && d <= 3 && flags[d])
      resolved[kept++] = resolved[i];
  }
  if (regions != nullptr && kept > 0)
    *regions = zyrMemory_reallocateArray(resolved, kept, __func__);
  else
    zyrMemory_free(resolved, __func__);
  *noOfRegions = kept;
  return 1;
}

int Model_getNoOfLocationRegions(Model *model, const char *location, int32_t ignoreUnknownNames, int32_t dimensionMask,
                                 int32_t *noOfRegions) {
  return Model_getLocationRegions(model, location, ignoreUnknownNames, dimensionMask, noOfRegions, nullptr);
}

int Model_getLocationRegionNames(Model *model, const char *location, int32_t ignoreUnknownNames, int32_t dimensionMask,
                                 int32_t *noOfRegions, char ***regionNames) {
  if (regionNames != nullptr)
    *regionNames = nullptr;
  Region **regions = nullptr;
  const int status =
      Model_getLocationRegions(model, location, ignoreUnknownNames, dimensionMask, noOfRegions, &regions);
  if (status == 1 && regionNames != nullptr)
    *regionNames = userNames(*noOfRegions, regions);
  zyrMemory_free(regions, __func__);
  return status;
}

int Model_getLocationCompositeNames(Model *model, const char *location, int32_t ignoreUnknownNames,
                                    int32_t dimensionMask, int32_t *noOfCompositeNames, char ***compositeNames) {
  *noOfCompositeNames = 0;
  *compositeNames = nullptr;
  NameManager *nm = Model_getNameManager(model, __func__);
  if (nm == nullptr)
    return 0;
  int32_t count = 0;
  Region **regions = nullptr;
  int status = Model_getLocationRegions(model, location, ignoreUnknownNames, dimensionMask, &count, &regions);
  if (status == 1 && count > 0)
    status = NameManager_getConsistentCompositeNames(nm, count, regions, noOfCompositeNames, compositeNames);
  zyrMemory_free(regions, __func__);
  return status;
}

int Model_getLocationBoundingBox(Model *model, const char *location, int32_t ignoreUnknownNames, const char *units,
                                 double box[6]) {
  return Representation_getBoundingBox(model->m_representation, location, ignoreUnknownNames, units, box);
}

int Model_getLocationExtents(Model *model, const char *location, int32_t ignoreUnknownNames, const char *units,
                             int32_t dimensionality, double *extents) {
  *extents = 0.0;
  if (dimensionality == 1 || dimensionality == 3)
    return queueInvalid(__func__, "Currently this function only supports the determination of the\ncombined area "
                                  "of the 2D component of a location.\n");
  if (dimensionality != 2)
    return queueInvalid(__func__, "The dimensionality argument must be in the range [1, 3].\n");
  int32_t count = 0;
  Region **regions = nullptr;
  int status = Model_getLocationRegions(model, location, ignoreUnknownNames, 4, &count, &regions);
  double total = 0.0;
  for (int32_t i = 0; status == 1 && i < count; ++i) {
    Visual *visual = Representation_getVisual(model->m_representation, regions[i]);
    if (visual == nullptr)
      continue;
    double area = 0.0;
    status = Visual_getArea(visual, units, &area);
    total += area;
  }
  zyrMemory_free(regions, __func__);
  if (status == 1)
    *extents = total;
  return status;
}

int Model_getLocationCentroid(Model *model, const char *location, int32_t ignoreUnknownNames, const char *units,
                              int32_t method, double *x, double *y, double *z) {
  if (method != 0 && method != 1 && method != 10 && method != 11) {
    ZYR_ERROR(ZYR_U_INVALID_INPUT, "The supplied value for the method parameter, %d, is invalid.\n", method);
    return 0;
  }
  return Representation_getCentroid(model->m_representation, location, ignoreUnknownNames, units, method, x, y, z);
}

int Model_getLocationWireframeDisplay(Model *model, const char *location, int32_t ignoreUnknownNames, const char *units,
                                      double angle, int32_t *noOfVertices, float **coordinates, int32_t *noOfEdges,
                                      int32_t **endVertices) {
  // The visuals compute and keep their wireframes on demand: those changes are committed apart
  // from whatever the caller had open.
  Model_flushChanges(model);
  const int status = Representation_getWireframeDisplay(model->m_representation, location, ignoreUnknownNames, units,
                                                        angle, noOfVertices, coordinates, noOfEdges, endVertices);
  Model_flushChanges(model);
  return status;
}

int Model_getLocationFacettedDisplay(Model *model, const char *location, int32_t ignoreUnknownNames, const char *units,
                                     int32_t *noOfVertices, float **coordinates, int32_t *noOfTriangles,
                                     int32_t *noOfQuadrilaterals, int32_t **faceVertices) {
  Model_flushChanges(model);
  const int status =
      Representation_getFacettedDisplay(model->m_representation, location, ignoreUnknownNames, units, noOfVertices,
                                        coordinates, noOfTriangles, noOfQuadrilaterals, faceVertices);
  Model_flushChanges(model);
  return status;
}

int Model_getMeshSize(Model *model, const char *location, int32_t ignoreUnknownNames, int32_t dimensionMask,
                      int32_t *noOfVertices, int32_t *noOfElements, int32_t countsByType[8]) {
  *noOfVertices = 0;
  *noOfElements = 0;
  for (int t = 0; t < 8; ++t)
    countsByType[t] = 0;
  int32_t count = 0;
  Region **regions = nullptr;
  int status = Model_getLocationRegions(model, location, ignoreUnknownNames, dimensionMask, &count, &regions);
  if (status == 1 && model->m_mesh != nullptr)
    status = Mesh_getMeshSize(model->m_mesh, count, regions, noOfVertices, noOfElements, countsByType);
  zyrMemory_free(regions, __func__);
  return status;
}

int Model_getRegionMesh(Model *model, const char *region, int32_t convention, const char *units, int32_t *noOfVertices,
                        double **coordinates, int32_t *noOfElements, int32_t **elementTypes,
                        int32_t **elementVertices) {
  *noOfVertices = 0;
  *coordinates = nullptr;
  *noOfElements = 0;
  *elementTypes = nullptr;
  *elementVertices = nullptr;
  // A known unit that is not a length (an angle) would give no factor either.
  if (units == nullptr || !Units_isLengthUnit(units)) {
    ZYR_ERROR(ZYR_U_INVALID_LENGTH_UNITS, "Supplied units for length were: %s.\n", units != nullptr ? units : "(null)");
    return 0;
  }
  Region *found = nullptr;
  if (!Model_findPrimitiveRegion(model, region, &found))
    return 0;
  if (model->m_mesh == nullptr)
    return 0;
  return Mesh_getRegionMesh(model->m_mesh, found, convention, units, noOfVertices, coordinates, noOfElements,
                            elementTypes, elementVertices);
}

int32_t Model_getNoOfRegions(Model *model, int32_t dimensionMask) {
  return model->m_topology != nullptr ? Topology_getNoOfRegions(model->m_topology, dimensionMask) : 0;
}

int32_t Model_getRegions(Model *model, int32_t dimensionMask, char ***regionNames) {
  *regionNames = nullptr;
  if (model->m_topology == nullptr)
    return 0;
  Region **regions = nullptr;
  const int32_t count = Topology_getRegions(model->m_topology, dimensionMask, &regions);
  *regionNames = userNames(count, regions);
  zyrMemory_free(regions, __func__);
  return count > 0 ? count : 0;
}

int Model_getBoundedRegion(Model *model, const char *region, char **boundedRegion) {
  *boundedRegion = nullptr;
  Region *found = nullptr;
  if (!Model_findPrimitiveRegion(model, region, &found))
    return 0;
  const Region *bounded = Region_getBoundedRegion(found);
  if (bounded != nullptr)
    *boundedRegion = zyrCString_clone(Region_getUserName(bounded));
  return 1;
}

int Model_getBoundingRegions(Model *model, const char *region, int32_t *noOfBoundingRegions, char ***boundingRegions) {
  *noOfBoundingRegions = 0;
  *boundingRegions = nullptr;
  Region *found = nullptr;
  if (!Model_findPrimitiveRegion(model, region, &found))
    return 0;
  Region **bounding = nullptr;
  const int32_t count = Region_getBoundingRegions(found, &bounding);
  *boundingRegions = userNames(count, bounding);
  *noOfBoundingRegions = count > 0 ? count : 0;
  zyrMemory_free(bounding, __func__);
  return 1;
}

int Model_getPairedRegions(Model *model, int32_t type, const char *region, int32_t *noOfPairedRegions,
                           char ***pairedRegions) {
  *noOfPairedRegions = 0;
  *pairedRegions = nullptr;
  if (type < 1 || type > 3) {
    ZYR_ERROR(ZYR_U_INVALID_INPUT, "The supplied value for type, %d, is invalid.\n", type);
    return 0;
  }
  Region *found = nullptr;
  if (!Model_findPrimitiveRegion(model, region, &found))
    return 0;
  if (type & 2) {
    Region **glued = nullptr;
    const int32_t count = Region_getGluedNeighbour(found, &glued);
    if (count > 0) {
      *pairedRegions = userNames(count, glued);
      *noOfPairedRegions = count;
    }
    zyrMemory_free(glued, __func__);
    if (count > 0)
      return 1;
  }
  if (type & 1) {
    Region *neighbour = Region_getNeighbour(found);
    if (neighbour != nullptr) {
      *pairedRegions = userNames(1, &neighbour);
      *noOfPairedRegions = 1;
    }
  }
  return 1;
}

int Model_getAllPairedRegions(Model *model, int32_t type, int32_t *noOfPairedRegions, char ***pairedRegionNamesSide1,
                              char ***pairedRegionNamesSide2) {
  *noOfPairedRegions = 0;
  *pairedRegionNamesSide1 = nullptr;
  *pairedRegionNamesSide2 = nullptr;
  if (type < 1 || type > 3) {
    ZYR_ERROR(ZYR_U_INVALID_INPUT, "The supplied value for type, %d, is invalid.\n", type);
    return 0;
  }
  Connection **connections = nullptr;
  const int32_t count = model->m_topology != nullptr ? Topology_getConnections(model->m_topology, &connections) : 0;
  std::vector<Region *> side1;
  std::vector<Region *> side2;
  for (int32_t i = 0; i < count; ++i) {
    const bool wanted =
        ((type & 1) && Connection_isDirect(connections[i])) || ((type & 2) && Connection_isGluing(connections[i]));
    if (!wanted)
      continue;
    Region *a = nullptr;
    Region *b = nullptr;
    Connection_getSides(connections[i], &a, &b);
    side1.push_back(a);
    side2.push_back(b);
  }
  zyrMemory_free(connections, __func__);
  *pairedRegionNamesSide1 = userNames(side1);
  *pairedRegionNamesSide2 = userNames(side2);
  *noOfPairedRegions = static_cast<int32_t>(side1.size());
  return 1;
}

int Model_getNeighbours(Model *model, const char *region, int32_t *noOfNeighbours, char ***neighbours) {
  *noOfNeighbours = 0;
  *neighbours = nullptr;
  Region *found = nullptr;
  if (!Model_findPrimitiveRegion(model, region, &found))
    return 0;
  std::vector<Region *> answer;
  auto add = [&answer](Region *candidate) {
    if (candidate != nullptr && std::find(answer.begin(), answer.end(), candidate) == answer.end())
      answer.push_back(candidate);
  };
  Region **bounding = nullptr;
  const int32_t count = Region_getBoundingRegions(found, &bounding);
  for (int32_t i = 0; i < count; ++i) {
    Region **glued = nullptr;
    const int32_t noOfGlued = Region_getGluedNeighbour(bounding[i], &glued);
    if (noOfGlued > 0) {
      for (int32_t j = 0; j < noOfGlued; ++j)
        add(Region_getBoundedRegion(glued[j]));
    } else if (Region *neighbour = Region_getNeighbour(bounding[i])) {
      add(Region_getBoundedRegion(neighbour));
    }
    zyrMemory_free(glued, __func__);
  }
  zyrMemory_free(bounding, __func__);
  *neighbours = userNames(answer);
  *noOfNeighbours = static_cast<int32_t>(answer.size());
  return 1;
}
