// The strategy parameters of a model: the NameManager's naming strategies and the Model's
// matching tolerance, set and read by name with a declared value type.
#include "Model.h"

#include "NameManager.h"
#include "zyrCString.h"
#include "zyrError.h"
#include "zyrErrorCode.h"

#include <cstring>

namespace {

enum Parameter {
  kUnknown = -1,
  kDefaultAssemblyName,
  kDefaultRegionName,
  kDefaultRegionNameStrategy,
  kRegionNameStrategy,
  kCompositeCopyingStrategy,
  kRelativeTolerance
};

const char *const kNameManagerPrefix = "NameManager_";
const char *const kMeshMatchingPrefix = "MeshMatching_";

struct ParameterRow {
  const char *m_name; // after the prefix
  Parameter m_parameter;
  int32_t m_type;
};

const ParameterRow kNameManagerRows[] = {
    {"defaultAssemblyName", kDefaultAssemblyName, MODEL_PARAMETER_STRING},
    {"defaultRegionName", kDefaultRegionName, MODEL_PARAMETER_STRING},
    {"defaultRegionNameStrategy", kDefaultRegionNameStrategy, MODEL_PARAMETER_INTEGER},
    {"regionNameStrategy", kRegionNameStrategy, MODEL_PARAMETER_INTEGER},
    {"compositeCopyingStrategy", kCompositeCopyingStrategy, MODEL_PARAMETER_INTEGER},
};
const ParameterRow kMeshMatchingRows[] = {
    {"relativeTolerance", kRelativeTolerance, MODEL_PARAMETER_REAL},
};

const char *typeWord(int32_t type) {
  switch (type) {
  case MODEL_PARAMETER_STRING:
    return "a string";
  case MODEL_PARAMETER_INTEGER:
    return "an integer";
  case MODEL_PARAMETER_REAL:
    return "a real";
  default:
    return "an unknown type";
  }
}

// Queued for the caller to read, not shown: a host probing for parameters is not in error.
void queueUnrecognised(const char *caller, const char *parameter) {
  zyrError *error = zyrError_new(ZYR_U_INVALID_INPUT, caller, __FILE__, __LINE__);
  zyrError_addMessage(error, "The parameter \"%s\" has not be recognised.\n", parameter != nullptr ? parameter : "");
}

// Finds the parameter; the NameManager is fetched only for its own names. kUnknown when the
// name is not recognised (queued) or the NameManager is missing (published).
Parameter recognise(Model *model, const char *parameter, const char *caller, int32_t *type, NameManager **nm) {
  *nm = nullptr;
  const ParameterRow *rows = nullptr;
  size_t count = 0;
  const char *rest = nullptr;
  if (parameter != nullptr && std::strncmp(parameter, kNameManagerPrefix, 12) == 0) {
    *nm = Model_getNameManager(model, caller);
    if (*nm == nullptr)
      return kUnknown;
    rows = kNameManagerRows;
    count = sizeof kNameManagerRows / sizeof kNameManagerRows[0];
    rest = parameter + 12;
  } else if (parameter != nullptr && std::strncmp(parameter, kMeshMatchingPrefix, 13) == 0) {
    rows = kMeshMatchingRows;
    count = sizeof kMeshMatchingRows / sizeof kMeshMatchingRows[0];
    rest = parameter + 13;
  }
  for (size_t i = 0; i < count; ++i) {
    if (std::strcmp(rest, rows[i].m_name) == 0) {
      *type = rows[i].m_type;
      return rows[i].m_parameter;
    }
  }
  queueUnrecognised(caller, parameter);
  return kUnknown;
}

// recognise, then a type check. A mismatch is queued like an unknown name and answers kUnknown;
// setting and getting word it apart: the name, verb, the type asked for, middle, the parameter's
// own type, tail.
Parameter recogniseAs(Model *model, const char *parameter, int32_t type, const char *caller, NameManager **nm,
                      const char *verb, const char *middle, const char *tail) {
  int32_t expected = -1;
  const Parameter which = recognise(model, parameter, caller, &expected, nm);
  if (which == kUnknown || type == expected)
    return which;
  zyrError *error = zyrError_new(ZYR_U_INVALID_INPUT, caller, __FILE__, __LINE__);
  zyrError_addMessage(error, "The parameter \"%s\" %s", parameter, verb);
  zyrError_addMessage(error, "%s", typeWord(type));
  zyrError_addMessage(error, "%s", middle);
  zyrError_addMessage(error, "%s", typeWord(expected));
  zyrError_addMessage(error, "%s", tail);
  return kUnknown;
}

void publishInvalid(const char *caller, const char *parameter, int32_t type, const char *stringValue,
                    int32_t integerValue, double realValue) {
  if (type == MODEL_PARAMETER_STRING && stringValue != nullptr)
    ZYR_ERROR_FOR(ZYR_U_INVALID_INPUT, caller,
                  "The value of \"%s\" which has been supplied for parameter\n\"%s\" is not valid.\n", stringValue,
                  parameter);
  else if (type == MODEL_PARAMETER_STRING)
    ZYR_ERROR_FOR(ZYR_U_INVALID_INPUT, caller, "A null pointer has been supplied for parameter \"%s\".\n", parameter);
  else if (type == MODEL_PARAMETER_INTEGER)
    ZYR_ERROR_FOR(ZYR_U_INVALID_INPUT, caller,
                  "The value of %d which has been supplied for parameter\n\"%s\" is not valid.\n", integerValue,
                  parameter);
  else
    ZYR_ERROR_FOR(ZYR_U_INVALID_INPUT, caller,
                  "The value of %e which has been supplied for parameter\n\"%s\" is not valid.\n", realValue,
                  parameter);
}

} // namespace

int Model_setParameter(Model *model, const char *parameter, int32_t type, const char *stringValue,
                       int32_t integerValue, double realValue) {
  NameManager *nm = nullptr;
  const Parameter which = recogniseAs(model, parameter, type, __func__, &nm, "has been passed ",
                                      " value when it is\nexpecting ", " value.\n");
  if (which == kUnknown)
    return 0;
  int accepted = 1;
  switch (which) {
  case kDefaultAssemblyName:
    accepted = stringValue != nullptr && NameManager_setDefaultAssemblyName(nm, stringValue);
    break;
  case kDefaultRegionName:
    accepted = stringValue != nullptr && NameManager_setRegionNameStrategy(nm, stringValue, 0, 0);
    break;
  case kDefaultRegionNameStrategy:
    accepted = NameManager_setRegionNameStrategy(nm, nullptr, integerValue, 0);
    break;
  case kRegionNameStrategy:
    accepted = NameManager_setRegionNameStrategy(nm, nullptr, 0, integerValue);
    break;
  case kCompositeCopyingStrategy:
    accepted = NameManager_setCompositeNameStrategy(nm, integerValue);
    break;
  case kRelativeTolerance:
    Model_setRelativeTolerance(model, realValue);
    break;
  case kUnknown:
    break;
  }
  if (!accepted) {
    publishInvalid(__func__, parameter, type, stringValue, integerValue, realValue);
    return 0;
  }
  return 1;
}

int Model_getParameter(Model *model, const char *parameter, int32_t type, char **stringValue, int32_t *integerValue,
                       double *realValue) {
  *stringValue = nullptr;
  *integerValue = 0;
  *realValue = 0.0;
  NameManager *nm = nullptr;
  const Parameter which = recogniseAs(model, parameter, type, __func__, &nm, "is not ", " parameter but \n", ".\n");
  if (which == kUnknown)
    return 0;
  char *name = nullptr;
  int32_t defaultStrategy = 0;
  int32_t regionStrategy = 0;
  switch (which) {
  case kDefaultAssemblyName:
    NameManager_getDefaultAssemblyName(nm, stringValue);
    break;
  case kDefaultRegionName:
    NameManager_getRegionNameStrategy(nm, stringValue, &defaultStrategy, &regionStrategy);
    break;
  case kDefaultRegionNameStrategy:
    NameManager_getRegionNameStrategy(nm, &name, integerValue, &regionStrategy);
    break;
  case kRegionNameStrategy:
    NameManager_getRegionNameStrategy(nm, &name, &defaultStrategy, integerValue);
    break;
  case kCompositeCopyingStrategy:
    NameManager_getCompositeNameStrategy(nm, integerValue);
    break;
  case kRelativeTolerance:
    *realValue = Model_getRelativeTolerance(model);
    break;
  case kUnknown:
    break;
  }
  zyrCString_free(name);
  return 1;
}
