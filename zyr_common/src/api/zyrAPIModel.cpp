// Model entry points of the procedural interface.
#include "zyrAPI.h"

#include "Model.h"
#include "SessionFile.h"

int zyrModel_dump(int32_t hModel, int32_t type, FILE *stream) {
  Model *model = nullptr;
  if (!zyrAPI_isGiven(stream, __func__, "stream") || !zyrAPI_getModel(hModel, __func__, &model))
    return 0;
  Model_dump(model, type, stream);
  if (SessionFile_record(Model_getRepository(model), 1)) {
    SessionFile_recordString(__func__);
    SessionFile_recordInteger(hModel);
    SessionFile_recordInteger(type);
  }
  return 1;
}
