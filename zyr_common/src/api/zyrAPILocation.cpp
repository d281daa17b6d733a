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
  if (!zyrAPI_isGiven(xlo, __func__, "xlo") || !zyrAPI_isGiven(xhi, __func__, "xhi") ||
      !zyrAPI_isGiven(ylo, __func__, "ylo") || !zyrAPI_isGiven(yhi, __func__, "yhi") ||
      !zyrAPI_isGiven(zlo, __func__, "zlo") || !zyrAPI_isGiven(zhi, __func__, "zhi"))
    return 0;
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
  if (!zyrAPI_isGiven(extents, __func__, "extents"))
    return 0;
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
  if (!zyrAPI_isGiven(x, __func__, "x") || !zyrAPI_isGiven(y, __func__, "y") || !zyrAPI_isGiven(z, __func__, "z"))
    return 0;
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
  if (!zyrAPI_isGiven(noOfRegions, __func__, "noOfRegions"))
    return 0;
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
  if (!zyrAPI_isGiven(noOfRegions, __func__, "noOfRegions") || !zyrAPI_isGiven(regionNames, __func__, "regionNames"))
    return 0;
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
  if (!zyrAPI_isGiven(noOfCompositeNames, __func__, "noOfCompositeNames") ||
      !zyrAPI_isGiven(compositeNames, __func__, "compositeNames"))
    return 0;
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
  if (!zyrAPI_isGiven(noOfVertices, __func__, "noOfVertices") ||
      !zyrAPI_isGiven(coordinates, __func__, "coordinates") || !zyrAPI_isGiven(noOfEdges, __func__, "noOfEdges") ||
      !zyrAPI_isGiven(endVertices, __func__, "endVertices"))
    return 0;
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
  if (!zyrAPI_isGiven(noOfVertices, __func__, "noOfVertices") ||
      !zyrAPI_isGiven(coordinates, __func__, "coordinates") ||
      !zyrAPI_isGiven(noOfTriangles, __func__, "noOfTriangles") ||
      !zyrAPI_isGiven(noOfQuadrilaterals, __func__, "noOfQuadrilaterals") ||
      !zyrAPI_isGiven(faceVertices, __func__, "faceVertices"))
    return 0;
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
  if (!zyrAPI_isGiven(noOfVertices, __func__, "noOfVertices") ||
      !zyrAPI_isGiven(noOfElements, __func__, "noOfElements") ||
      !zyrAPI_isGiven(noOfElementsByType, __func__, "noOfElementsByType"))
    return 0;
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
  if (!zyrAPI_isGiven(doesMeshMatch, __func__, "doesMeshMatch"))
    return 0;
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
  if (!zyrAPI_isGiven(noOfRegions, __func__, "noOfRegions"))
    return 0;
  Model *model = nullptr;
  if (!zyrAPI_getModel(hModel, __func__, &model))
    return 0;
  *noOfRegions = Model_getNoOfRegions(model, dimensionMask);
  if (zyrAPI_recordModelCall(model, 1, __func__, hModel))
    SessionFile_recordBoolean(dimensionMask);
  return zyrAPI_finish(model, 1);
}

int zyrModel_getRegions(int32_t hModel, DimensionalityMask dimensionMask, int32_t *noOfRegions, char ***regionNames) {
  if (!zyrAPI_isGiven(noOfRegions, __func__, "noOfRegions") || !zyrAPI_isGiven(regionNames, __func__, "regionNames"))
    return 0;
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
  if (!zyrAPI_isGiven(noOfPairedRegions, __func__, "noOfPairedRegions") ||
      !zyrAPI_isGiven(pairedRegionNamesSide1, __func__, "pairedRegionNamesSide1") ||
      !zyrAPI_isGiven(pairedRegionNamesSide2, __func__, "pairedRegionNamesSide2"))
    return 0;
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
  if ((noOfComponents > 0 &&
       (!zyrAPI_isGiven(regions, __func__, "regions") || !zyrAPI_isGiven(noOfElements, __func__, "noOfElements") ||
        !zyrAPI_isGiven(elements, __func__, "elements"))) ||
      !zyrAPI_isGiven(actualName, __func__, "actualName") ||
      !zyrAPI_isGiven(noOfModifiedRegions, __func__, "noOfModifiedRegions") ||
      !zyrAPI_isGiven(modifiedRegions, __func__, "modifiedRegions"))
    return 0;
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
  if (!zyrAPI_isGiven(noOfVertices, __func__, "noOfVertices") ||
      !zyrAPI_isGiven(coordinates, __func__, "coordinates") ||
      !zyrAPI_isGiven(noOfElements, __func__, "noOfElements") ||
      !zyrAPI_isGiven(elementTypes, __func__, "elementTypes") ||
      !zyrAPI_isGiven(elementVertices, __func__, "elementVertices"))
    return 0;
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
  if (!zyrAPI_isGiven(boundedRegion, __func__, "boundedRegion"))
    return 0;
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
  if (!zyrAPI_isGiven(noOfBoundingRegions, __func__, "noOfBoundingRegions") ||
      !zyrAPI_isGiven(boundingRegions, __func__, "boundingRegions"))
    return 0;
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
  if (!zyrAPI_isGiven(noOfPairedRegions, __func__, "noOfPairedRegions") ||
      !zyrAPI_isGiven(pairedRegions, __func__, "pairedRegions"))
    return 0;
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
  if (!zyrAPI_isGiven(noOfNeighbours, __func__, "noOfNeighbours") ||
      !zyrAPI_isGiven(neighbours, __func__, "neighbours"))
    return 0;
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
