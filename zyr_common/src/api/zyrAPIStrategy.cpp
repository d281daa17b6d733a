// Strategy-parameter entry points of the procedural interface.
#include "zyrAPI.h"

#include "Model.h"
#include "SessionFile.h"
#include "zyrCString.h"

namespace {

// The three setters differ only in the type and the slot holding the value; the value is
// recorded after the parameter's name.
int setParameter(const char *caller, int32_t hModel, const char *parameter, int32_t type, const char *stringValue,
                 int32_t integerValue, double realValue) {
  Model *model = nullptr;
  if (!zyrAPI_getModel(hModel, caller, &model))
    return 0;
  const int status = Model_setParameter(model, parameter, type, stringValue, integerValue, realValue);
  if (zyrAPI_recordModelCall(model, status, caller, hModel)) {
    SessionFile_recordString(parameter);
    if (type == MODEL_PARAMETER_STRING)
      SessionFile_recordString(stringValue);
    else if (type == MODEL_PARAMETER_INTEGER)
      SessionFile_recordInteger(integerValue);
    else
      SessionFile_recordReal(realValue);
  }
  return zyrAPI_finish(model, status);
}

// Likewise the getters; the caller frees the string slot when it did not ask for a string.
int getParameter(const char *caller, int32_t hModel, const char *parameter, int32_t type, char **stringValue,
                 int32_t *integerValue, double *realValue) {
  Model *model = nullptr;
  if (!zyrAPI_getModel(hModel, caller, &model))
    return 0;
  const int status = Model_getParameter(model, parameter, type, stringValue, integerValue, realValue);
  if (zyrAPI_recordModelCall(model, status, caller, hModel))
    SessionFile_recordString(parameter);
  return zyrAPI_finish(model, status);
}

} // namespace

int zyrStrategy_setStringParameter(int32_t hModel, const char *parameter, const char *value) {
  return setParameter(__func__, hModel, parameter, MODEL_PARAMETER_STRING, value, 0, 0.0);
}

int zyrStrategy_getStringParameter(int32_t hModel, const char *parameter, char **value) {
  if (!zyrAPI_isGiven(value, __func__, "value"))
    return 0;
  *value = nullptr;
  int32_t integerValue = 0;
  double realValue = 0.0;
  return getParameter(__func__, hModel, parameter, MODEL_PARAMETER_STRING, value, &integerValue, &realValue);
}

int zyrStrategy_setIntegerParameter(int32_t hModel, const char *parameter, int32_t value) {
  return setParameter(__func__, hModel, parameter, MODEL_PARAMETER_INTEGER, nullptr, value, 0.0);
}

int zyrStrategy_getIntegerParameter(int32_t hModel, const char *parameter, int32_t *value) {
  if (!zyrAPI_isGiven(value, __func__, "value"))
    return 0;
  char *stringValue = nullptr;
  double realValue = 0.0;
  const int status =
      getParameter(__func__, hModel, parameter, MODEL_PARAMETER_INTEGER, &stringValue, value, &realValue);
  zyrCString_free(stringValue);
  return status;
}

int zyrStrategy_setRealParameter(int32_t hModel, const char *parameter, double value) {
  return setParameter(__func__, hModel, parameter, MODEL_PARAMETER_REAL, nullptr, 0, value);
}

int zyrStrategy_getRealParameter(int32_t hModel, const char *parameter, double *value) {
  if (!zyrAPI_isGiven(value, __func__, "value"))
    return 0;
  char *stringValue = nullptr;
  int32_t integerValue = 0;
  const int status =
      getParameter(__func__, hModel, parameter, MODEL_PARAMETER_REAL, &stringValue, &integerValue, value);
  zyrCString_free(stringValue);
  return status;
}
