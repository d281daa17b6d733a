// Entry points of the procedural interface that write a model out.
#include "zyrAPI.h"

#include "Model.h"
#include "ModelExport.h"
#include "SessionFile.h"

int zyrModel_exportMesh(int32_t hModel, const char *type, const char *filename, const char *units, int32_t flags) {
  Model *model = nullptr;
  if (!zyrAPI_getModel(hModel, __func__, &model))
    return 0;
  const int status = Model_exportMesh(model, type, filename, units);
  if (SessionFile_record(Model_getRepository(model), status)) {
    SessionFile_recordString(__func__);
    SessionFile_recordInteger(hModel);
    SessionFile_recordString(type);
    SessionFile_recordString(filename);
    SessionFile_recordString(units);
    SessionFile_recordInteger(flags);
  }
  if (status == 1)
    Model_flushChanges(model);
  return status;
}

int zyrModel_writeDefFile(int32_t hModel, const char *filename, int32_t flags) {
  Model *model = nullptr;
  if (!zyrAPI_getModel(hModel, __func__, &model))
    return 0;
  const int status = Model_writeDefFile(model, filename, uint32_t(flags), 1, nullptr);
  if (SessionFile_record(Model_getRepository(model), status)) {
    SessionFile_recordString(__func__);
    SessionFile_recordInteger(hModel);
    SessionFile_recordString(filename);
    SessionFile_recordInteger(flags);
  }
  if (status == 1)
    Model_flushChanges(model);
  return status;
}
