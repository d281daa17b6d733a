// Model entry points of the procedural interface.
#include "zyrAPI.h"

#include "Model.h"
#include "SessionFile.h"

int zyrModel_dump(int32_t hModel, int32_t type, FILE *stream) {
  Model *model = nullptr;
  if (!zyrAPI_isGiven(stream, __func__, "stream") || !zyrAPI_getModel(hModel, __func__, &model))
    return 0;
  Model_dump(model, type, stream);
  if (zyrAPI_recordModelCall(model, 1, __func__, hModel))
    SessionFile_recordInteger(type);
  return 1;
}
