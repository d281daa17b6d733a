// Composite-name, tag and region-map entry points of the procedural interface.
#include "zyrAPI.h"

#include "Model.h"
#include "SessionFile.h"

int zyrModel_getCompositeNames(int32_t hModel, int32_t *noOfCompositeNames, char ***compositeNames) {
  if (!zyrAPI_isGiven(noOfCompositeNames, __func__, "noOfCompositeNames") ||
      !zyrAPI_isGiven(compositeNames, __func__, "compositeNames"))
    return 0;
  Model *model = nullptr;
  if (!zyrAPI_getModel(hModel, __func__, &model))
    return 0;
  *noOfCompositeNames = Model_getCompositeNames(model, compositeNames);
  zyrAPI_recordModelCall(model, 1, __func__, hModel);
  return zyrAPI_finish(model, 1);
}

int zyrModel_getTaggedCompositeNames(int32_t hModel, const char *vsnTagList, const char *untaggedTag,
                                     const char *otherTag, int32_t *noOfCompositeNames, char ***compositeNames) {
  if (!zyrAPI_isGiven(noOfCompositeNames, __func__, "noOfCompositeNames") ||
      !zyrAPI_isGiven(compositeNames, __func__, "compositeNames"))
    return 0;
  Model *model = nullptr;
  if (!zyrAPI_getModel(hModel, __func__, &model))
    return 0;
  const int status =
      Model_getTaggedCompositeNames(model, vsnTagList, untaggedTag, otherTag, noOfCompositeNames, compositeNames);
  if (zyrAPI_recordModelCall(model, status, __func__, hModel)) {
    SessionFile_recordString(vsnTagList);
    SessionFile_recordString(untaggedTag);
    SessionFile_recordString(otherTag);
  }
  return zyrAPI_finish(model, status);
}

int zyrModel_isCompositeName(int32_t hModel, const char *name, int32_t *isCompositeName) {
  if (!zyrAPI_isGiven(isCompositeName, __func__, "isCompositeName"))
    return 0;
  Model *model = nullptr;
  if (!zyrAPI_getModel(hModel, __func__, &model))
    return 0;
  const int status = Model_isNameComposite(model, name, isCompositeName);
  if (zyrAPI_recordModelCall(model, status, __func__, hModel))
    SessionFile_recordString(name);
  return zyrAPI_finish(model, status);
}

int zyrModel_tagCompositeNames(int32_t hModel, const char *tag, int32_t operation, int32_t noOfCompositeNames,
                               char **compositeNames) {
  Model *model = nullptr;
  if ((noOfCompositeNames > 0 && !zyrAPI_isGiven(compositeNames, __func__, "compositeNames")) ||
      !zyrAPI_getModel(hModel, __func__, &model))
    return 0;
  const int status = Model_tagCompositeNames(model, tag, operation, noOfCompositeNames, compositeNames);
  if (zyrAPI_recordModelCall(model, status, __func__, hModel)) {
    SessionFile_recordString(tag);
    SessionFile_recordInteger(operation);
    SessionFile_recordStringArray(compositeNames, 1, noOfCompositeNames);
  }
  return zyrAPI_finish(model, status);
}

int zyrModel_exportRegionMap(int32_t hModel, char **vsn) {
  if (!zyrAPI_isGiven(vsn, __func__, "vsn"))
    return 0;
  Model *model = nullptr;
  if (!zyrAPI_getModel(hModel, __func__, &model))
    return 0;
  const int status = Model_exportRegionMap(model, vsn);
  zyrAPI_recordModelCall(model, status, __func__, hModel);
  return zyrAPI_finish(model, status);
}

int zyrModel_importRegionMap(int32_t hModel, const char *vsn, int32_t operation, int32_t resolution) {
  Model *model = nullptr;
  if (!zyrAPI_getModel(hModel, __func__, &model))
    return 0;
  const int status = Model_importRegionMap(model, vsn, operation, resolution);
  if (zyrAPI_recordModelCall(model, status, __func__, hModel)) {
    SessionFile_recordStrings(vsn);
    SessionFile_recordInteger(operation);
    SessionFile_recordInteger(resolution);
  }
  return zyrAPI_finish(model, status);
}

int zyrCompositeName_create(int32_t hModel, const char *name, int32_t combination, int32_t noOfComponentsA,
                            char **componentsA, int32_t noOfComponentsB, char **componentsB) {
  Model *model = nullptr;
  if ((noOfComponentsA > 0 && !zyrAPI_isGiven(componentsA, __func__, "componentsA")) ||
      (noOfComponentsB > 0 && !zyrAPI_isGiven(componentsB, __func__, "componentsB")) ||
      !zyrAPI_getModel(hModel, __func__, &model))
    return 0;
  const int status =
      Model_createCompositeName(model, name, combination, noOfComponentsA, componentsA, noOfComponentsB, componentsB);
  if (zyrAPI_recordModelCall(model, status, __func__, hModel)) {
    SessionFile_recordString(name);
    SessionFile_recordInteger(combination);
    SessionFile_recordStringArray(componentsA, 1, noOfComponentsA);
    SessionFile_recordStringArray(componentsB, 1, noOfComponentsB);
  }
  return zyrAPI_finish(model, status);
}

int zyrCompositeName_destroy(int32_t hModel, const char *name) {
  Model *model = nullptr;
  if (!zyrAPI_getModel(hModel, __func__, &model))
    return 0;
  const int status = Model_destroyCompositeName(model, name);
  if (zyrAPI_recordModelCall(model, status, __func__, hModel))
    SessionFile_recordString(name);
  return zyrAPI_finish(model, status);
}

int zyrCompositeName_getDefinition(int32_t hModel, const char *name, int32_t *combination, int32_t *noOfComponentsA,
                                   char ***componentsA, int32_t *noOfComponentsB, char ***componentsB) {
  if (!zyrAPI_isGiven(combination, __func__, "combination") ||
      !zyrAPI_isGiven(noOfComponentsA, __func__, "noOfComponentsA") ||
      !zyrAPI_isGiven(componentsA, __func__, "componentsA") ||
      !zyrAPI_isGiven(noOfComponentsB, __func__, "noOfComponentsB") ||
      !zyrAPI_isGiven(componentsB, __func__, "componentsB"))
    return 0;
  Model *model = nullptr;
  if (!zyrAPI_getModel(hModel, __func__, &model))
    return 0;
  const int status = Model_getCompositeNameDefinition(model, name, combination, noOfComponentsA, componentsA,
                                                      noOfComponentsB, componentsB);
  if (zyrAPI_recordModelCall(model, status, __func__, hModel))
    SessionFile_recordString(name);
  return zyrAPI_finish(model, status);
}

int zyrCompositeName_rename(int32_t hModel, const char *oldName, const char *newName, int32_t addAlias,
                            char **actualName) {
  if (!zyrAPI_isGiven(actualName, __func__, "actualName"))
    return 0;
  Model *model = nullptr;
  if (!zyrAPI_getModel(hModel, __func__, &model))
    return 0;
  const int status = Model_renameCompositeName(model, oldName, newName, addAlias, actualName);
  if (zyrAPI_recordModelCall(model, status, __func__, hModel)) {
    SessionFile_recordString(oldName);
    SessionFile_recordString(newName);
    SessionFile_recordInteger(addAlias);
  }
  return zyrAPI_finish(model, status);
}

int zyrCompositeName_hasTag(int32_t hModel, const char *name, const char *tag, int32_t *hasTag) {
  if (!zyrAPI_isGiven(hasTag, __func__, "hasTag"))
    return 0;
  Model *model = nullptr;
  if (!zyrAPI_getModel(hModel, __func__, &model))
    return 0;
  const int status = Model_compositeNameHasTag(model, name, tag, hasTag);
  if (zyrAPI_recordModelCall(model, status, __func__, hModel)) {
    SessionFile_recordString(name);
    SessionFile_recordString(tag);
  }
  return zyrAPI_finish(model, status);
}

int zyrCompositeName_getTags(int32_t hModel, const char *name, char **tags) {
  if (!zyrAPI_isGiven(tags, __func__, "tags"))
    return 0;
  Model *model = nullptr;
  if (!zyrAPI_getModel(hModel, __func__, &model))
    return 0;
  const int status = Model_compositeNameGetTags(model, name, tags);
  if (zyrAPI_recordModelCall(model, status, __func__, hModel))
    SessionFile_recordString(name);
  return zyrAPI_finish(model, status);
}
