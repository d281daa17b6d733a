// Entry points of the procedural interface that edit assemblies and regions: gluing, merging,
// transforming, deleting and renaming assemblies, renaming regions and their priorities, and the
// assembly lists.
#include "zyrAPI.h"

#include "Model.h"
#include "SessionFile.h"

int zyrModel_glueRegions(int32_t hModel, int32_t flags, int32_t noOfgluedPairs, char **pairedRegions,
                         int32_t *noOfAssembliesIn, char ***assembliesIn, int32_t *noOfAssembliesOut,
                         char ***assembliesOut) {
  Model *model = nullptr;
  // The recorder writes the pair list even for a failed call.
  if ((noOfgluedPairs > 0 && !zyrAPI_isGiven(pairedRegions, __func__, "pairedRegions")) ||
      !zyrAPI_isGiven(noOfAssembliesIn, __func__, "noOfAssembliesIn") ||
      !zyrAPI_isGiven(assembliesIn, __func__, "assembliesIn") ||
      !zyrAPI_isGiven(noOfAssembliesOut, __func__, "noOfAssembliesOut") ||
      !zyrAPI_isGiven(assembliesOut, __func__, "assembliesOut") || !zyrAPI_getModel(hModel, __func__, &model))
    return 0;
  const int status = Model_glueRegions(model, flags, noOfgluedPairs, pairedRegions, noOfAssembliesIn, assembliesIn,
                                       noOfAssembliesOut, assembliesOut);
  if (zyrAPI_recordModelCall(model, status, __func__, hModel)) {
    SessionFile_recordInteger(flags);
    SessionFile_recordStringArray(pairedRegions, 2, noOfgluedPairs);
  }
  return zyrAPI_finish(model, status);
}

int zyrModel_mergeAssemblies(int32_t hModel, int32_t flags, int32_t noOfAssembliesIn, char **assembliesIn,
                             int32_t *noOfAssembliesOut, char ***assembliesOut) {
  Model *model = nullptr;
  if ((noOfAssembliesIn > 0 && !zyrAPI_isGiven(assembliesIn, __func__, "assembliesIn")) ||
      !zyrAPI_isGiven(noOfAssembliesOut, __func__, "noOfAssembliesOut") ||
      !zyrAPI_isGiven(assembliesOut, __func__, "assembliesOut") || !zyrAPI_getModel(hModel, __func__, &model))
    return 0;
  const int status =
      Model_mergeAssemblies(model, flags, noOfAssembliesIn, assembliesIn, noOfAssembliesOut, assembliesOut);
  if (zyrAPI_recordModelCall(model, status, __func__, hModel)) {
    SessionFile_recordInteger(flags);
    SessionFile_recordStringArray(assembliesIn, 1, noOfAssembliesIn);
  }
  return zyrAPI_finish(model, status);
}

int zyrModel_getNoOfAssemblies(int32_t hModel, int32_t *noOfAssemblies) {
  Model *model = nullptr;
  if (!zyrAPI_isGiven(noOfAssemblies, __func__, "noOfAssemblies") || !zyrAPI_getModel(hModel, __func__, &model))
    return 0;
  *noOfAssemblies = Model_getNoOfAssemblies(model);
  zyrAPI_recordModelCall(model, 1, __func__, hModel);
  return zyrAPI_finish(model, 1);
}

int zyrModel_getAssemblies(int32_t hModel, int32_t *noOfAssemblies, char ***assemblies) {
  if (!zyrAPI_isGiven(noOfAssemblies, __func__, "noOfAssemblies") ||
      !zyrAPI_isGiven(assemblies, __func__, "assemblies"))
    return 0;
  *noOfAssemblies = 0;
  *assemblies = nullptr;
  Model *model = nullptr;
  if (!zyrAPI_getModel(hModel, __func__, &model))
    return 0;
  *noOfAssemblies = Model_getAssemblies(model, assemblies);
  zyrAPI_recordModelCall(model, 1, __func__, hModel);
  return zyrAPI_finish(model, 1);
}

int zyrAssembly_transform(int32_t hModel, const char *assembly, int32_t moveCount, int32_t repeatCount,
                          const zyrAffineTransform3D *transform, int32_t matchMesh, int32_t *noOfAssemblies,
                          char ***assemblies) {
  Model *model = nullptr;
  if (!zyrAPI_isGiven(noOfAssemblies, __func__, "noOfAssemblies") ||
      !zyrAPI_isGiven(assemblies, __func__, "assemblies") || !zyrAPI_getModel(hModel, __func__, &model))
    return 0;
  const int status = Model_transformAssembly(model, assembly, moveCount, repeatCount, transform, matchMesh,
                                             noOfAssemblies, assemblies);
  if (zyrAPI_recordModelCall(model, status, __func__, hModel)) {
    SessionFile_recordString(assembly);
    SessionFile_recordInteger(moveCount);
    SessionFile_recordInteger(repeatCount);
    SessionFile_recordTransformation(transform);
    SessionFile_recordInteger(matchMesh);
  }
  return zyrAPI_finish(model, status);
}

int zyrAssembly_delete(int32_t hModel, const char *assembly) {
  Model *model = nullptr;
  if (!zyrAPI_getModel(hModel, __func__, &model))
    return 0;
  const int status = Model_removeAssembly(model, assembly);
  if (zyrAPI_recordModelCall(model, status, __func__, hModel))
    SessionFile_recordString(assembly);
  return zyrAPI_finish(model, status);
}

int zyrAssembly_rename(int32_t hModel, const char *oldName, const char *newName, int32_t addAlias, char **actualName) {
  Model *model = nullptr;
  if (!zyrAPI_isGiven(actualName, __func__, "actualName") || !zyrAPI_getModel(hModel, __func__, &model))
    return 0;
  const int status = Model_renameAssembly(model, oldName, newName, addAlias, actualName);
  if (zyrAPI_recordModelCall(model, status, __func__, hModel)) {
    SessionFile_recordString(oldName);
    SessionFile_recordString(newName);
    SessionFile_recordInteger(addAlias);
  }
  return zyrAPI_finish(model, status);
}

int zyrRegion_rename(int32_t hModel, const char *oldName, const char *newName, int32_t addAlias, char **actualName) {
  if (!zyrAPI_isGiven(actualName, __func__, "actualName"))
    return 0;
  *actualName = nullptr;
  Model *model = nullptr;
  if (!zyrAPI_getModel(hModel, __func__, &model))
    return 0;
  const int status = Model_renameRegion(model, oldName, newName, addAlias, actualName);
  if (zyrAPI_recordModelCall(model, status, __func__, hModel)) {
    SessionFile_recordString(oldName);
    SessionFile_recordString(newName);
    SessionFile_recordInteger(addAlias);
  }
  return zyrAPI_finish(model, status);
}

int zyrRegion_setPriority(int32_t hModel, const char *region, int32_t priority) {
  Model *model = nullptr;
  if (!zyrAPI_getModel(hModel, __func__, &model))
    return 0;
  const int status = Model_setRegionPriority(model, region, priority);
  if (zyrAPI_recordModelCall(model, status, __func__, hModel)) {
    SessionFile_recordString(region);
    SessionFile_recordInteger(priority);
  }
  return zyrAPI_finish(model, status);
}

int zyrRegion_getPriority(int32_t hModel, const char *region, int32_t *priority) {
  Model *model = nullptr;
  if (!zyrAPI_isGiven(priority, __func__, "priority") || !zyrAPI_getModel(hModel, __func__, &model))
    return 0;
  const int status = Model_getRegionPriority(model, region, priority);
  if (zyrAPI_recordModelCall(model, status, __func__, hModel))
    SessionFile_recordString(region);
  return zyrAPI_finish(model, status);
}
