// Mesh-selection entry points of the procedural interface. Selections are not stored: they
// change nothing in the database, so these entry points never commit. The recorder is asked with
// the repository of the selection's model.
#include "zyrAPI.h"

#include "ElementTopology.h"
#include "MeshSelection.h"
#include "Model.h"
#include "SessionFile.h"
#include "zyrMemory.h"

namespace {

int record(const MeshSelection *selection, int status, const char *name) {
  const Model *model = selection != nullptr ? MeshSelection_getModel(selection) : nullptr;
  if (!SessionFile_record(model != nullptr ? Model_getRepository(model) : nullptr, status))
    return 0;
  SessionFile_recordString(name);
  return 1;
}

} // namespace

int zyrSelection_create(int32_t hModel, const char *operation, int32_t *hSelection) {
  if (!zyrAPI_isGiven(hSelection, __func__, "hSelection"))
    return 0;
  *hSelection = -1;
  Model *model = nullptr;
  if (!zyrAPI_getModel(hModel, __func__, &model))
    return 0;
  // The operation is applied as the first union; whatever that step reports, the selection
  // exists and gets its handle.
  MeshSelection *selection = MeshSelection_new(model, operation);
  *hSelection = zyrAPI_createSelectionHandle(selection);
  if (zyrAPI_recordModelCall(model, 1, __func__, hModel))
    SessionFile_recordString(operation);
  return 1;
}

int zyrSelection_copy(int32_t hSelection, int32_t *hSelection2) {
  if (!zyrAPI_isGiven(hSelection2, __func__, "hSelection2"))
    return 0;
  *hSelection2 = -1;
  MeshSelection *selection = nullptr;
  if (!zyrAPI_getSelection(hSelection, __func__, &selection))
    return 0;
  *hSelection2 = zyrAPI_createSelectionHandle(MeshSelection_copy(selection));
  if (record(selection, 1, __func__))
    SessionFile_recordInteger(hSelection);
  return 1;
}

int zyrSelection_destroy(int32_t hSelection) {
  MeshSelection *selection = nullptr;
  if (!zyrAPI_getSelection(hSelection, __func__, &selection))
    return 0;
  // The record needs the model, which goes with the selection.
  const Model *model = MeshSelection_getModel(selection);
  Repository *repository = model != nullptr ? Model_getRepository(model) : nullptr;
  MeshSelection_delete(selection);
  zyrAPI_releaseSelectionHandle(hSelection);
  zyrAPI_recordCall(repository, 1, __func__, hSelection);
  return 1;
}

int zyrSelection_modify(int32_t hSelection, int32_t combination, const char *operation) {
  MeshSelection *selection = nullptr;
  if (!zyrAPI_getSelection(hSelection, __func__, &selection))
    return 0;
  const int status = MeshSelection_modify(selection, combination, operation);
  if (record(selection, status, __func__)) {
    SessionFile_recordInteger(hSelection);
    SessionFile_recordInteger(combination);
    SessionFile_recordString(operation);
  }
  return status;
}

int zyrSelection_analyse(int32_t hSelection, const char *statistic, int32_t *noOfEntries, double **data) {
  if (!zyrAPI_isGiven(noOfEntries, __func__, "noOfEntries") || !zyrAPI_isGiven(data, __func__, "data"))
    return 0;
  *noOfEntries = 0;
  *data = nullptr;
  MeshSelection *selection = nullptr;
  if (!zyrAPI_getSelection(hSelection, __func__, &selection))
    return 0;
  const int status = MeshSelection_getStatistics(selection, statistic, noOfEntries, data);
  if (record(selection, status, __func__)) {
    SessionFile_recordInteger(hSelection);
    SessionFile_recordString(statistic);
  }
  return status;
}

int zyrSelection_query(int32_t hSelection, int32_t convention, const char *units, int32_t *noOfRegions, char ***regions,
                       int32_t **noOfVertices, float ***coordinates, int32_t **noOfElementSets, int32_t **elementType,
                       int32_t **noOfElements, int32_t ***elementVertices) {
  if (!zyrAPI_isGiven(noOfRegions, __func__, "noOfRegions") || !zyrAPI_isGiven(regions, __func__, "regions") ||
      !zyrAPI_isGiven(noOfVertices, __func__, "noOfVertices") ||
      !zyrAPI_isGiven(coordinates, __func__, "coordinates") ||
      !zyrAPI_isGiven(noOfElementSets, __func__, "noOfElementSets") ||
      !zyrAPI_isGiven(elementType, __func__, "elementType") ||
      !zyrAPI_isGiven(noOfElements, __func__, "noOfElements") ||
      !zyrAPI_isGiven(elementVertices, __func__, "elementVertices"))
    return 0;
  *elementType = nullptr;
  MeshSelection *selection = nullptr;
  if (!zyrAPI_getSelection(hSelection, __func__, &selection))
    return 0;
  int32_t *types = nullptr;
  const int status = MeshSelection_getElements(selection, convention, units, noOfRegions, regions, noOfVertices,
                                               coordinates, noOfElementSets, &types, noOfElements, elementVertices);
  if (status == 1) {
    int64_t total = 0;
    for (int32_t r = 0; r < *noOfRegions; ++r)
      total += (*noOfElementSets)[r];
    if (total > 0) {
      int32_t *translated = zyrMemory_allocateArray<int32_t>(total, __func__);
      for (int64_t k = 0; k < total; ++k)
        translated[k] = ElementTopology_getConventionElementType(types[k], convention);
      *elementType = translated;
    }
  }
  zyrMemory_free(types, __func__);
  if (record(selection, status, __func__)) {
    SessionFile_recordInteger(hSelection);
    SessionFile_recordInteger(convention);
    SessionFile_recordString(units);
  }
  return status;
}
