// Application entry points of the procedural interface: the error queue, the error handler and
// the working directory. They resolve no handle and give the recorder no repository.
#include "zyrAPI.h"

#include "SessionFile.h"
#include "zyrApplication.h"
#include "zyrErrorManager.h"

int zyrApp_getErrors(int32_t *noOfErrors, zyrError ***errors) {
  if (!zyrAPI_isGiven(noOfErrors, __func__, "noOfErrors") || !zyrAPI_isGiven(errors, __func__, "errors"))
    return 0;
  *noOfErrors = 0;
  *errors = nullptr;
  const int status = zyrErrorManager_getErrors(zyrErrorManager_get(), noOfErrors, errors);
  if (SessionFile_record(nullptr, status))
    SessionFile_recordString(__func__);
  return status;
}

int zyrApp_clearErrors() {
  const int status = zyrErrorManager_clearErrors(zyrErrorManager_get());
  if (SessionFile_record(nullptr, status))
    SessionFile_recordString(__func__);
  return status;
}

int zyrApp_setErrorHandler(zyrErrorHandler errorHandler, zyrErrorHandler *oldErrorHandler) {
  const int status = zyrErrorManager_setErrorHandler(zyrErrorManager_get(), errorHandler, oldErrorHandler);
  if (SessionFile_record(nullptr, status)) {
    SessionFile_recordString(__func__);
    // A handler cannot be written down. Recording "no handler" keeps a replay's errors where the
    // replay can report them; a stand-in that consumed them would hide every later failure.
    SessionFile_recordInteger(0);
  }
  return status;
}

int zyrApp_setWorkingDirectory(const char *directory) {
  const int status = zyrApplication_setWorkingDirectory(directory);
  if (status == 0)
    return 0;
  if (SessionFile_record(nullptr, status)) {
    SessionFile_recordString(__func__);
    SessionFile_recordString(directory);
  }
  return status;
}

int zyrApp_getWorkingDirectory(char **directory) {
  if (!zyrAPI_isGiven(directory, __func__, "directory"))
    return 0;
  *directory = zyrApplication_getWorkingDirectory();
  if (SessionFile_record(nullptr, 1))
    SessionFile_recordString(__func__);
  return 1;
}
