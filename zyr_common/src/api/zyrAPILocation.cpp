// Location and region entry points of the procedural interface: queries on locations, on the
// regions of a model and their relations, the mesh match check and region modification.
#include "zyrAPI.h"

#include "Model.h"
#include "SessionFile.h"
#include "zyrCString.h"
#include "zyrMemory.h"

#include <cstring>

namespace {

// A location query's first recorded values.
int recordLocation(Model *model, int status, const char *name, int32_t hModel, const char *location,
                   int32_t ignoreUnknownNames) {
  if (!zyrAPI_recordModelCall(model, status, name, hModel))
    return 0;
  SessionFile_recordString(location);
  SessionFile_recordInteger(ignoreUnknownNames);
  return 1;
}

} // namespace

int zyrLocation_getBoundingBox(int32_t hModel, const char *location, int32_t ignoreUnknownNames, const char *units,
                               double *xlo, double *xhi, double *ylo, double *yhi, double *zlo, double *zhi) {
  Model *model = nullptr;
  if (!zyrAPI_getModel(hModel, __func__, &model))
    return 0;
  double box[6] = {0, 0, 0, 0, 0, 0};
  const int status = Model_getLocationBoundingBox(model, location, ignoreUnknownNames, units, box);
  if (status == 1) {
    *xlo = box[0];
    *xhi = box[3];
    *ylo = box[1];
    *yhi = box[4];
    *zlo = box[2];
    *zhi = box[5];
  }
  if (recordLocation(model, status, __func__, hModel, location, ignoreUnknownNames))
    SessionFile_recordString(units);
  return zyrAPI_finish(model, status);
}

int zyrLocation_getExtents(int32_t hModel, const char *location, int32_t ignoreUnknownNames, const char *units,
                           int32_t dimensionality, double *extents) {
  Model *model = nullptr;
  if (!zyrAPI_getModel(hModel, __func__, &model))
    return 0;
  const int status = Model_getLocationExtents(model, location, ignoreUnknownNames, units, dimensionality, extents);
  if (recordLocation(model, status, __func__, hModel, location, ignoreUnknownNames)) {
    SessionFile_recordString(units);
    SessionFile_recordInteger(dimensionality);
  }
  return zyrAPI_finish(model, status);
}

int zyrLocation_getCentroid(int32_t hModel, const char *location, int32_t ignoreUnknownNames, const char *units,
                            int32_t method, double *x, double *y, double *z) {
  Model *model = nullptr;
  if (!zyrAPI_getModel(hModel, __func__, &model))
    return 0;
  const int status = Model_getLocationCentroid(model, location, ignoreUnknownNames, units, method, x, y, z);
  if (recordLocation(model, status, __func__, hModel, location, ignoreUnknownNames)) {
    SessionFile_recordString(units);
    SessionFile_recordInteger(method);
  }
  return zyrAPI_finish(model, status);
}

int zyrLocation_getNoOfRegions(int32_t hModel, const char *location, int32_t ignoreUnknownNames,
                               DimensionalityMask dimensionMask, int32_t *noOfRegions) {
  Model *model = nullptr;
  if (!zyrAPI_getModel(hModel, __func__, &model))
    return 0;
  const int status = Model_getNoOfLocationRegions(model, location, ignoreUnknownNames, dimensionMask, noOfRegions);
  if (recordLocation(model, status, __func__, hModel, location, ignoreUnknownNames))
    SessionFile_recordBoolean(dimensionMask);
  return zyrAPI_finish(model, status);
}

int zyrLocation_getRegions(int32_t hModel, const char *location, int32_t ignoreUnknownNames,
                           DimensionalityMask dimensionMask, int32_t *noOfRegions, char ***regionNames) {
  *noOfRegions = 0;
  *regionNames = nullptr;
  Model *model = nullptr;
  if (!zyrAPI_getModel(hModel, __func__, &model))
    return 0;
  const int status =
      Model_getLocationRegionNames(model, location, ignoreUnknownNames, dimensionMask, noOfRegions, regionNames);
  if (recordLocation(model, status, __func__, hModel, location, ignoreUnknownNames))
    SessionFile_recordBoolean(dimensionMask);
  return zyrAPI_finish(model, status);
}

int zyrLocation_getCompositeNames(int32_t hModel, const char *location, int32_t ignoreUnknownNames,
                                  DimensionalityMask dimensionMask, int32_t *noOfCompositeNames,
                                  char ***compositeNames) {
  *noOfCompositeNames = 0;
  *compositeNames = nullptr;
  Model *model = nullptr;
  if (!zyrAPI_getModel(hModel, __func__, &model))
    return 0;
  const int status = Model_getLocationCompositeNames(model, location, ignoreUnknownNames, dimensionMask,
                                                     noOfCompositeNames, compositeNames);
  if (recordLocation(model, status, __func__, hModel, location, ignoreUnknownNames))
    SessionFile_recordBoolean(dimensionMask);
  return zyrAPI_finish(model, status);
}

int zyrLocation_getWireframeDisplay(int32_t hModel, const char *location, int32_t ignoreUnknownNames, const char *units,
                                    double angle, int32_t *noOfVertices, float **coordinates, int32_t *noOfEdges,
                                    int32_t **endVertices) {
  *noOfVertices = 0;
  *coordinates = nullptr;
  *noOfEdges = 0;
  *endVertices = nullptr;
  Model *model = nullptr;
  if (!zyrAPI_getModel(hModel, __func__, &model))
    return 0;
  const int status = Model_getLocationWireframeDisplay(model, location, ignoreUnknownNames, units, angle, noOfVertices,
                                                       coordinates, noOfEdges, endVertices);
  if (recordLocation(model, status, __func__, hModel, location, ignoreUnknownNames)) {
    SessionFile_recordString(units);
    SessionFile_recordReal(angle);
  }
  return zyrAPI_finish(model, status);
}

int zyrLocation_getFacettedDisplay(int32_t hModel, const char *location, int32_t ignoreUnknownNames, const char *units,
                                   int32_t *noOfVertices, float **coordinates, int32_t *noOfTriangles,
                                   int32_t *noOfQuadrilaterals, int32_t **faceVertices) {
  *noOfVertices = 0;
  *coordinates = nullptr;
  *noOfTriangles = 0;
  *noOfQuadrilaterals = 0;
  *faceVertices = nullptr;
  Model *model = nullptr;
  if (!zyrAPI_getModel(hModel, __func__, &model))
    return 0;
  const int status = Model_getLocationFacettedDisplay(model, location, ignoreUnknownNames, units, noOfVertices,
                                                      coordinates, noOfTriangles, noOfQuadrilaterals, faceVertices);
  if (recordLocation(model, status, __func__, hModel, location, ignoreUnknownNames))
    SessionFile_recordString(units);
  return zyrAPI_finish(model, status);
}

int zyrLocation_getMeshSize(int32_t hModel, const char *location, int32_t ignoreUnknownNames,
                            DimensionalityMask dimensionMask, int32_t *noOfVertices, int32_t *noOfElements,
                            int32_t *noOfElementsByType) {
  *noOfVertices = 0;
  *noOfElements = 0;
  Model *model = nullptr;
  if (!zyrAPI_getModel(hModel, __func__, &model))
    return 0;
  // The counts by type are optional.
  int32_t byType[8];
  const int status = Model_getMeshSize(model, location, ignoreUnknownNames, dimensionMask, noOfVertices, noOfElements,
                                       noOfElementsByType != nullptr ? noOfElementsByType : byType);
  if (recordLocation(model, status, __func__, hModel, location, ignoreUnknownNames))
    SessionFile_recordBoolean(dimensionMask);
  return zyrAPI_finish(model, status);
}

int zyrLocation_doesMeshMatch(int32_t hModel, const char *location1, const char *location2, int32_t type,
                              const double axisRoot[3], const double axisTip[3], const char *units,
                              zyrAffineTransform3D *transform, int32_t *doesMeshMatch) {
  Model *model = nullptr;
  if (!zyrAPI_getModel(hModel, __func__, &model))
    return 0;
  const int status =
      Model_doesMeshMatch(model, location1, location2, type, axisRoot, axisTip, units, transform, doesMeshMatch);
  if (zyrAPI_recordModelCall(model, status, __func__, hModel)) {
    SessionFile_recordString(location1);
    SessionFile_recordString(location2);
    SessionFile_recordInteger(type);
    if (type == 3) {
      for (int i = 0; i < 3; ++i)
        SessionFile_recordReal(axisRoot != nullptr ? axisRoot[i] : 0.0);
      for (int i = 0; i < 3; ++i)
        SessionFile_recordReal(axisTip != nullptr ? axisTip[i] : 0.0);
      SessionFile_recordString(units);
    } else if (type == 4) {
      SessionFile_recordTransformation(transform);
    }
  }
  return zyrAPI_finish(model, status);
}

int zyrModel_getNoOfRegions(int32_t hModel, DimensionalityMask dimensionMask, int32_t *noOfRegions) {
  Model *model = nullptr;
  if (!zyrAPI_getModel(hModel, __func__, &model))
    return 0;
  *noOfRegions = Model_getNoOfRegions(model, dimensionMask);
  if (zyrAPI_recordModelCall(model, 1, __func__, hModel))
    SessionFile_recordBoolean(dimensionMask);
  return zyrAPI_finish(model, 1);
}

int zyrModel_getRegions(int32_t hModel, DimensionalityMask dimensionMask, int32_t *noOfRegions, char ***regionNames) {
  *noOfRegions = 0;
  *regionNames = nullptr;
  Model *model = nullptr;
  if (!zyrAPI_getModel(hModel, __func__, &model))
    return 0;
  *noOfRegions = Model_getRegions(model, dimensionMask, regionNames);
  if (zyrAPI_recordModelCall(model, 1, __func__, hModel))
    SessionFile_recordBoolean(dimensionMask);
  return zyrAPI_finish(model, 1);
}

int zyrModel_getPairedRegions(int32_t hModel, int32_t type, int32_t *noOfPairedRegions, char ***pairedRegionNamesSide1,
                              char ***pairedRegionNamesSide2) {
  *noOfPairedRegions = 0;
  *pairedRegionNamesSide1 = nullptr;
  *pairedRegionNamesSide2 = nullptr;
  Model *model = nullptr;
  if (!zyrAPI_getModel(hModel, __func__, &model))
    return 0;
  const int status =
      Model_getAllPairedRegions(model, type, noOfPairedRegions, pairedRegionNamesSide1, pairedRegionNamesSide2);
  if (zyrAPI_recordModelCall(model, status, __func__, hModel))
    SessionFile_recordInteger(type);
  return zyrAPI_finish(model, status);
}

int zyrModel_modifyRegions(int32_t hModel, int32_t operation, int32_t noOfComponents, char **regions,
                           int32_t *noOfElements, int32_t **elements, const char *targetName, int32_t recordChanges,
                           char **actualName, int32_t noOfModifiedRegions[3], char **modifiedRegions[3]) {
  *actualName = nullptr;
  for (int i = 0; i < 3; ++i) {
    noOfModifiedRegions[i] = 0;
    modifiedRegions[i] = nullptr;
  }
  Model *model = nullptr;
  if (!zyrAPI_getModel(hModel, __func__, &model))
    return 0;
  const int status = Model_modifyRegions(model, operation, noOfComponents, regions, noOfElements, elements, targetName,
                                         recordChanges, actualName, noOfModifiedRegions, modifiedRegions);
  if (zyrAPI_recordModelCall(model, status, __func__, hModel)) {
    // The three per-component lists one after the other, as the player reads them back.
    SessionFile_recordInteger(operation);
    SessionFile_recordInteger(noOfComponents);
    // A failed call may have missing lists: the record keeps its layout with blanks and zeros.
    for (int32_t i = 0; i < noOfComponents; ++i)
      SessionFile_recordString(regions != nullptr ? regions[i] : nullptr);
    for (int32_t i = 0; i < noOfComponents; ++i)
      SessionFile_recordInteger(noOfElements != nullptr ? noOfElements[i] : 0);
    for (int32_t i = 0; i < noOfComponents && noOfElements != nullptr; ++i)
      for (int32_t j = 0; j < noOfElements[i]; ++j)
        SessionFile_recordInteger(elements != nullptr && elements[i] != nullptr ? elements[i][j] : 0);
    SessionFile_recordString(targetName);
    SessionFile_recordInteger(recordChanges);
  }
  return zyrAPI_finish(model, status);
}

int zyrRegion_getMesh(int32_t hModel, const char *region, int32_t convention, const char *units, int32_t *noOfVertices,
                      double **coordinates, int32_t *noOfElements, int32_t **elementTypes, int32_t **elementVertices) {
  *noOfVertices = 0;
  *coordinates = nullptr;
  *noOfElements = 0;
  *elementTypes = nullptr;
  *elementVertices = nullptr;
  Model *model = nullptr;
  if (!zyrAPI_getModel(hModel, __func__, &model))
    return 0;
  const int status = Model_getRegionMesh(model, region, convention, units, noOfVertices, coordinates, noOfElements,
                                         elementTypes, elementVertices);
  if (zyrAPI_recordModelCall(model, status, __func__, hModel)) {
    SessionFile_recordString(region);
    SessionFile_recordInteger(convention);
    SessionFile_recordString(units);
  }
  return zyrAPI_finish(model, status);
}

int zyrRegion_getBoundedRegion(int32_t hModel, const char *region, char **boundedRegion) {
  *boundedRegion = nullptr;
  Model *model = nullptr;
  if (!zyrAPI_getModel(hModel, __func__, &model))
    return 0;
  const int status = Model_getBoundedRegion(model, region, boundedRegion);
  if (zyrAPI_recordModelCall(model, status, __func__, hModel))
    SessionFile_recordString(region);
  return zyrAPI_finish(model, status);
}

int zyrRegion_getBoundingRegions(int32_t hModel, const char *region, int32_t *noOfBoundingRegions,
                                 char ***boundingRegions) {
  *noOfBoundingRegions = 0;
  *boundingRegions = nullptr;
  Model *model = nullptr;
  if (!zyrAPI_getModel(hModel, __func__, &model))
    return 0;
  const int status = Model_getBoundingRegions(model, region, noOfBoundingRegions, boundingRegions);
  if (zyrAPI_recordModelCall(model, status, __func__, hModel))
    SessionFile_recordString(region);
  return zyrAPI_finish(model, status);
}

int zyrRegion_getPairedRegions(int32_t hModel, int32_t type, const char *region, int32_t *noOfPairedRegions,
                               char ***pairedRegions) {
  *noOfPairedRegions = 0;
  *pairedRegions = nullptr;
  Model *model = nullptr;
  if (!zyrAPI_getModel(hModel, __func__, &model))
    return 0;
  const int status = Model_getPairedRegions(model, type, region, noOfPairedRegions, pairedRegions);
  if (zyrAPI_recordModelCall(model, status, __func__, hModel)) {
    SessionFile_recordInteger(type);
    SessionFile_recordString(region);
  }
  return zyrAPI_finish(model, status);
}

int zyrRegion_getNeighbours(int32_t hModel, const char *region, int32_t *noOfNeighbours, char ***neighbours) {
  *noOfNeighbours = 0;
  *neighbours = nullptr;
  Model *model = nullptr;
  if (!zyrAPI_getModel(hModel, __func__, &model))
    return 0;
  const int status = Model_getNeighbours(model, region, noOfNeighbours, neighbours);
  if (zyrAPI_recordModelCall(model, status, __func__, hModel))
    SessionFile_recordString(region);
  return zyrAPI_finish(model, status);
}
