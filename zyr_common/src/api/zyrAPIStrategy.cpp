// Strategy-parameter entry points of the procedural interface.
#include "zyrAPI.h"

#include "Model.h"
#include "SessionFile.h"
#include "zyrCString.h"

namespace {

// The end of the model frame: commit on success.
int finish(Model *model, int status) {
  if (status == 1)
    Model_flushChanges(model);
  return status;
}

int record(Model *model, int status, const char *name, int32_t hModel, const char *parameter) {
  if (!SessionFile_record(Model_getRepository(model), status))
    return 0;
  SessionFile_recordString(name);
  SessionFile_recordInteger(hModel);
  SessionFile_recordString(parameter);
  return 1;
}

} // namespace

int zyrStrategy_setStringParameter(int32_t hModel, const char *parameter, const char *value) {
  Model *model = nullptr;
  if (!zyrAPI_getModel(hModel, __func__, &model))
    return 0;
  const int status = Model_setParameter(model, parameter, MODEL_PARAMETER_STRING, value, 0, 0.0);
  if (record(model, status, __func__, hModel, parameter))
    SessionFile_recordString(value);
  return finish(model, status);
}

int zyrStrategy_getStringParameter(int32_t hModel, const char *parameter, char **value) {
  if (!zyrAPI_isGiven(value, __func__, "value"))
    return 0;
  *value = nullptr;
  Model *model = nullptr;
  if (!zyrAPI_getModel(hModel, __func__, &model))
    return 0;
  int32_t integerValue = 0;
  double realValue = 0.0;
  const int status = Model_getParameter(model, parameter, MODEL_PARAMETER_STRING, value, &integerValue, &realValue);
  record(model, status, __func__, hModel, parameter);
  return finish(model, status);
}

int zyrStrategy_setIntegerParameter(int32_t hModel, const char *parameter, int32_t value) {
  Model *model = nullptr;
  if (!zyrAPI_getModel(hModel, __func__, &model))
    return 0;
  const int status = Model_setParameter(model, parameter, MODEL_PARAMETER_INTEGER, nullptr, value, 0.0);
  if (record(model, status, __func__, hModel, parameter))
    SessionFile_recordInteger(value);
  return finish(model, status);
}

int zyrStrategy_getIntegerParameter(int32_t hModel, const char *parameter, int32_t *value) {
  Model *model = nullptr;
  if (!zyrAPI_isGiven(value, __func__, "value") || !zyrAPI_getModel(hModel, __func__, &model))
    return 0;
  char *stringValue = nullptr;
  double realValue = 0.0;
  const int status = Model_getParameter(model, parameter, MODEL_PARAMETER_INTEGER, &stringValue, value, &realValue);
  zyrCString_free(stringValue);
  record(model, status, __func__, hModel, parameter);
  return finish(model, status);
}

int zyrStrategy_setRealParameter(int32_t hModel, const char *parameter, double value) {
  Model *model = nullptr;
  if (!zyrAPI_getModel(hModel, __func__, &model))
    return 0;
  const int status = Model_setParameter(model, parameter, MODEL_PARAMETER_REAL, nullptr, 0, value);
  if (record(model, status, __func__, hModel, parameter))
    SessionFile_recordReal(value);
  return finish(model, status);
}

int zyrStrategy_getRealParameter(int32_t hModel, const char *parameter, double *value) {
  Model *model = nullptr;
  if (!zyrAPI_isGiven(value, __func__, "value") || !zyrAPI_getModel(hModel, __func__, &model))
    return 0;
  char *stringValue = nullptr;
  int32_t integerValue = 0;
  const int status = Model_getParameter(model, parameter, MODEL_PARAMETER_REAL, &stringValue, &integerValue, value);
  zyrCString_free(stringValue);
  record(model, status, __func__, hModel, parameter);
  return finish(model, status);
}
