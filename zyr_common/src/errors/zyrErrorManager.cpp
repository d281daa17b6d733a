#include "zyrErrorManager.h"

#include "ErrorDisplay.h"
#include "ErrorLog.h"
#include "Set.h"
#include "zyrCString.h"
#include "zyrDebugManager.h"
#include "zyrError.h"
#include "zyrLibrary.h"
#include "zyrMemory.h"
#include "zyrSystem.h"

#include <cstdlib>

namespace {

zyrErrorManager *g_manager = nullptr;
// How deep displays are being shown: a display that raises and publishes an error of its own
// (a broken conduit, say) gets one more round, not an endless one.
int g_displayDepth = 0;
const int kMaximumDisplayDepth = 2;

const char kEquals56[] = "========================================================";

void deleteManager(zyrErrorManager *manager) {
  // Records first (each writes its log entry), then displays, then the log.
  int32_t count = manager->m_noOfErrors;
  zyrError **errors = manager->m_errors;
  manager->m_errors = zyrMemory_allocateArray<zyrError *>(manager->m_maximumNoOfErrors, "zyrErrorManager_delete");
  manager->m_noOfErrors = 0;
  for (int32_t i = 0; i < count; ++i)
    zyrError_delete(errors[i]);
  zyrMemory_free(errors, "zyrErrorManager_delete");

  void **displays = nullptr;
  int32_t noOfDisplays = Set_toArray(manager->m_errorDisplays, &displays);
  for (int32_t i = 0; i < noOfDisplays; ++i)
    ErrorDisplay_delete(static_cast<ErrorDisplay *>(displays[i]));
  zyrMemory_free(displays, "zyrErrorManager_delete");

  ErrorLog_delete(manager->m_errorLog);
  manager->m_errorLog = nullptr;
  Set_delete(manager->m_errorDisplays);
  zyrMemory_free(manager->m_errors, "zyrErrorManager_delete");
  zyrMemory_free(manager, "zyrErrorManager_delete");
}

void deleteAtExit() {
  if (g_manager == nullptr)
    return;
  deleteManager(g_manager);
  g_manager = nullptr;
}

void writeStartLines(ErrorLog *log) {
  char *date = zyrGetDateString();
  char *time = zyrGetTimeString();
  if (date && time)
    ErrorLog_write(log, "Started:        %s %s\n", date, time);
  zyrCString_free(date);
  zyrCString_free(time);
  char *program = zyrLibrary_getProgramName();
  if (program)
    ErrorLog_write(log, "Application:    %s\n", program);
  zyrCString_free(program);
  ErrorLog_write(log, "ZYR build:      %s\n", zyrGetBuildInfo(zyrBuildStamp));
  ErrorLog_write(log, "Release number: %s\n", zyrGetBuildInfo(zyrBuildRelease));
  char *host = zyrGetHostName();
  if (host)
    ErrorLog_write(log, "Running on:     %s\n", host);
  zyrCString_free(host);
  char *directory = zyrGetCurrentDirectory();
  if (directory)
    ErrorLog_write(log, "Running in:     %s\n", directory);
  zyrCString_free(directory);
}

zyrErrorManager *createManager() {
  zyrErrorManager *manager = zyrMemory_allocateZeroedArray<zyrErrorManager>(1, "zyrErrorManager_new");
  manager->m_maximumNoOfErrors = 10;
  manager->m_errors = zyrMemory_allocateArray<zyrError *>(manager->m_maximumNoOfErrors, "zyrErrorManager_new");
  manager->m_errorDisplays = Set_new(5);
  for (int32_t &level : manager->m_errorLevel)
    level = 3;
  // From here on a nested request (the debug manager's creation may raise errors) finds this
  // manager: it can hold records, it merely has no log or options yet.
  g_manager = manager;

  zyrDebugManager *debugManager = zyrDebugManager_get();
  char *logName = zyrReadEnvironmentVariable("ZYR_ERROR_LOG", nullptr);
  if (logName == nullptr)
    logName = zyrCString_clone(zyrDebugManager_getErrorLogName(debugManager));
  if (logName != nullptr) {
    manager->m_isOverridden = 1;
    manager->m_errorLog = ErrorLog_new(logName);
    zyrCString_free(logName);
  }

  if (zyrIsEnvironmentVariableSet("ZYR_SUPPRESS_WARNINGS"))
    manager->m_errorLevel[zyrWarning] = 0;

  if (manager->m_errorLog != nullptr) {
    writeStartLines(manager->m_errorLog);
    ErrorLog_writeHeader(manager->m_errorLog, "zyrErrorManager_new");
    for (int i = 0; i < 5; ++i)
      ErrorLog_write(manager->m_errorLog, "m_errorLevel[%d] = %d\n", i, manager->m_errorLevel[i]);
  }

  std::atexit(deleteAtExit);

  int32_t handle = -1;
  switch (zyrDebugManager_getDisplayErrors(debugManager)) {
  case 1:
    zyrErrorManager_addStreamDisplay(manager, ErrorDisplayRaw, stdout, &handle);
    break;
  case 2:
    zyrErrorManager_addStreamDisplay(manager, ErrorDisplayRaw, stderr, &handle);
    break;
  default:
    break;
  }
  return manager;
}

// Raises error 10020 from the named operation with one piece per argument that is out of range.
void publishInvalidInput(const char *function, int line, const char *piece1, int32_t value1, const char *piece2,
                         int32_t value2) {
  zyrError *error = zyrError_new(ZYR_U_INVALID_INPUT, function, __FILE__, line);
  if (piece1 != nullptr)
    zyrError_addMessage(error, piece1, value1);
  if (piece2 != nullptr)
    zyrError_addMessage(error, piece2, value2);
  zyrError_publish(error);
}

int isFormat(int32_t format) { return format >= ErrorDisplayAssertion && format <= ErrorDisplayVSN; }

// Bookkeeping common to the three ways of adding a display.
int finishAdd(zyrErrorManager *manager, const char *operation, int line, int32_t format, ErrorDisplay *display,
              int32_t *handle) {
  if (display == nullptr) {
    publishInvalidInput(operation, line, "format = %d\n", format, nullptr, 0);
    return 0;
  }
  if (handle != nullptr)
    *handle = display->m_id;
  if (manager->m_errorLog != nullptr) {
    ErrorLog_writeHeader(manager->m_errorLog, operation);
    ErrorLog_write(manager->m_errorLog, "Format = %d\n", format);
    ErrorLog_write(manager->m_errorLog, "Handle = %d\n", display->m_id);
  }
  return 1;
}

} // namespace

zyrErrorManager *zyrErrorManager_get() {
  if (g_manager == nullptr)
    return createManager();
  return g_manager;
}

int zyrErrorManager_addError(zyrErrorManager *manager, zyrError *error, int32_t *identity) {
  if (manager == nullptr || error == nullptr)
    return 0;
  if (manager->m_noOfErrors == manager->m_maximumNoOfErrors) {
    manager->m_maximumNoOfErrors *= 2;
    manager->m_errors = zyrMemory_reallocateArray(manager->m_errors, manager->m_maximumNoOfErrors, __func__);
  }
  manager->m_errors[manager->m_noOfErrors++] = error;
  if (identity != nullptr)
    *identity = manager->m_totalNoOfErrors;
  manager->m_totalNoOfErrors++;
  return 1;
}

int zyrErrorManager_removeError(zyrErrorManager *manager, zyrError *error) {
  if (manager == nullptr)
    return 0;
  for (int32_t i = manager->m_noOfErrors - 1; i >= 0; --i) {
    if (manager->m_errors[i] != error)
      continue;
    for (int32_t j = i + 1; j < manager->m_noOfErrors; ++j)
      manager->m_errors[j - 1] = manager->m_errors[j];
    manager->m_noOfErrors--;
    return 1;
  }
  return 0;
}

ErrorLog *zyrErrorManager_getErrorLog(zyrErrorManager *manager) { return manager ? manager->m_errorLog : nullptr; }

zyrError *zyrErrorManager_getLastError(zyrErrorManager *manager) {
  if (manager == nullptr || manager->m_noOfErrors == 0)
    return nullptr;
  return manager->m_errors[manager->m_noOfErrors - 1];
}

int zyrErrorManager_getNoOfErrors(zyrErrorManager *manager, int32_t *noOfErrors) {
  if (manager == nullptr || noOfErrors == nullptr)
    return 0;
  *noOfErrors = manager->m_noOfErrors;
  return 1;
}

int zyrErrorManager_getErrors(zyrErrorManager *manager, int32_t *noOfErrors, zyrError ***errors) {
  if (manager == nullptr || noOfErrors == nullptr || errors == nullptr)
    return 0;
  *errors = nullptr;
  *noOfErrors = manager->m_noOfErrors;
  if (manager->m_noOfErrors == 0)
    return 1;
  zyrError **kept = zyrMemory_allocateArray<zyrError *>(manager->m_noOfErrors, __func__);
  int32_t count = 0;
  for (int32_t i = 0; i < manager->m_noOfErrors; ++i) {
    zyrError *error = manager->m_errors[i];
    if (manager->m_errorLevel[zyrError_getClass(error)] & 2)
      kept[count++] = error;
  }
  *noOfErrors = count;
  if (count == 0)
    zyrMemory_free(kept, __func__);
  else
    *errors = kept;
  return 1;
}

int zyrErrorManager_clearErrors(zyrErrorManager *manager) {
  if (manager == nullptr)
    return 0;
  // Detach the list first so that each deletion finds nothing to shift.
  int32_t count = manager->m_noOfErrors;
  zyrError **errors = manager->m_errors;
  manager->m_errors = zyrMemory_allocateArray<zyrError *>(manager->m_maximumNoOfErrors, __func__);
  manager->m_noOfErrors = 0;
  for (int32_t i = 0; i < count; ++i)
    zyrError_delete(errors[i]);
  zyrMemory_free(errors, __func__);
  return 1;
}

int zyrErrorManager_setErrorHandler(zyrErrorManager *manager, zyrErrorHandler handler, zyrErrorHandler *previous) {
  if (manager == nullptr)
    return 0;
  if (previous != nullptr)
    *previous = manager->m_errorHandler;
  manager->m_errorHandler = handler;
  return 1;
}

int zyrErrorManager_openErrorLog(zyrErrorManager *manager, const char *fileName) {
  if (manager == nullptr)
    return 0;
  if (manager->m_isOverridden)
    return 1;
  if (manager->m_errorLog != nullptr) {
    ErrorLog_delete(manager->m_errorLog);
    manager->m_errorLog = nullptr;
  }
  manager->m_errorLog = ErrorLog_new(fileName);
  if (manager->m_errorLog == nullptr) {
    zyrError *error = zyrError_new(ZYR_U_UNABLE_TO_OPEN_FILE, __func__, __FILE__, __LINE__);
    zyrError_addMessage(error, "Unable to open file \"%s\".\n", fileName ? fileName : "");
    zyrError_publish(error);
    return 0;
  }
  ErrorLog_writeHeader(manager->m_errorLog, __func__);
  ErrorLog_write(manager->m_errorLog, "File name = %s\n", fileName ? fileName : "stderr");
  ErrorLog_write(manager->m_errorLog, "Status    = %d\n", 1);
  return 1;
}

int zyrErrorManager_closeErrorLog(zyrErrorManager *manager) {
  if (manager == nullptr)
    return 0;
  if (manager->m_isOverridden)
    return 1;
  if (manager->m_errorLog != nullptr) {
    ErrorLog_writeHeader(manager->m_errorLog, __func__);
    ErrorLog_delete(manager->m_errorLog);
    manager->m_errorLog = nullptr;
  }
  return 1;
}

int zyrErrorManager_displayError(zyrErrorManager *manager, zyrError *error, int force, int *displayed) {
  if (displayed != nullptr)
    *displayed = 0;
  if (manager == nullptr || error == nullptr)
    return 0;
  if (!force && !(manager->m_errorLevel[zyrError_getClass(error)] & 1))
    return 1;
  if (g_displayDepth >= kMaximumDisplayDepth)
    return 1;
  g_displayDepth++;
  // Walk a copy: a display may be removed (or added) by what it calls.
  void **displays = nullptr;
  int32_t count = Set_toArray(manager->m_errorDisplays, &displays);
  for (int32_t i = 0; i < count; ++i)
    if (Set_contains(manager->m_errorDisplays, displays[i]))
      ErrorDisplay_display(static_cast<ErrorDisplay *>(displays[i]), error);
  zyrMemory_free(displays, __func__);
  g_displayDepth--;
  if (displayed != nullptr)
    *displayed = 1;
  return 1;
}

int zyrErrorManager_handleError(zyrErrorManager *manager, zyrError *error) {
  if (manager == nullptr)
    return 0;
  zyrErrorHandler handler = manager->m_errorHandler;
  if (handler == nullptr)
    return 1;
  int status = handler(error);
  if (status == 1)
    zyrError_delete(error);
  if (manager->m_errorLog != nullptr) {
    ErrorLog_writeHeader(manager->m_errorLog, __func__);
    ErrorLog_write(manager->m_errorLog, "Handler = %p\n", reinterpret_cast<void *>(handler));
    ErrorLog_write(manager->m_errorLog, "Status  = %d\n", status);
  }
  return 1;
}

int zyrErrorManager_addStreamDisplay(zyrErrorManager *manager, int32_t format, FILE *stream, int32_t *handle) {
  if (manager == nullptr)
    return 0;
  ErrorDisplay *display = isFormat(format) ? ErrorDisplay_newStream(format, stream) : nullptr;
  return finishAdd(manager, __func__, __LINE__, format, display, handle);
}

int zyrErrorManager_addConduitDisplay(zyrErrorManager *manager, int32_t format, Conduit *conduit, int32_t *handle) {
  if (manager == nullptr)
    return 0;
  ErrorDisplay *display = isFormat(format) ? ErrorDisplay_newConduit(format, conduit) : nullptr;
  return finishAdd(manager, __func__, __LINE__, format, display, handle);
}

int zyrErrorManager_addCallbackDisplay(zyrErrorManager *manager, int32_t format, ErrorDisplayCallback callback,
                                       int32_t *handle) {
  if (manager == nullptr)
    return 0;
  ErrorDisplay *display = isFormat(format) ? ErrorDisplay_newCallback(format, callback) : nullptr;
  return finishAdd(manager, __func__, __LINE__, format, display, handle);
}

int zyrErrorManager_removeDisplay(zyrErrorManager *manager, int32_t handle) {
  if (manager == nullptr)
    return 0;
  ErrorDisplay *found = nullptr;
  void **displays = nullptr;
  int32_t count = Set_toArray(manager->m_errorDisplays, &displays);
  for (int32_t i = 0; i < count && found == nullptr; ++i)
    if (static_cast<ErrorDisplay *>(displays[i])->m_id == handle)
      found = static_cast<ErrorDisplay *>(displays[i]);
  zyrMemory_free(displays, __func__);
  if (manager->m_errorLog != nullptr) {
    ErrorLog_writeHeader(manager->m_errorLog, __func__);
    ErrorLog_write(manager->m_errorLog, "Handle = %d\n", handle);
    ErrorLog_write(manager->m_errorLog, "Status = %d\n", found != nullptr ? 1 : 0);
  }
  if (found == nullptr) {
    publishInvalidInput(__func__, __LINE__, "displayHandle = %d\n", handle, nullptr, 0);
    return 0;
  }
  ErrorDisplay_delete(found);
  return 1;
}

int zyrErrorManager_registerDisplay(zyrErrorManager *manager, ErrorDisplay *display, int32_t *handle) {
  if (manager == nullptr || display == nullptr)
    return 0;
  if (!Set_add(manager->m_errorDisplays, display)) {
    if (handle != nullptr)
      *handle = -1;
    return 0;
  }
  if (handle != nullptr)
    *handle = manager->m_totalNoOfErrorDisplays;
  manager->m_totalNoOfErrorDisplays++;
  return 1;
}

int zyrErrorManager_unregisterDisplay(zyrErrorManager *manager, ErrorDisplay *display) {
  if (manager == nullptr)
    return 0;
  return Set_remove(manager->m_errorDisplays, display);
}

int zyrErrorManager_setErrorHandling(zyrErrorManager *manager, int32_t errorClass, int32_t level) {
  if (manager == nullptr)
    return 0;
  const int badClass = errorClass < zyrOK || errorClass > zyrResourceError;
  const int badLevel = level < 0 || level > 3;
  if (badClass || badLevel) {
    publishInvalidInput(__func__, __LINE__, badClass ? "class = %d\n" : nullptr, errorClass,
                        badLevel ? "level = %d\n" : nullptr, level);
    return 0;
  }
  // Nothing may ask for OK records, and errors are always kept for the caller.
  const int refused = (errorClass == zyrOK && level > 0) || (errorClass >= zyrUserError && level < 2);
  if (refused) {
    publishInvalidInput(__func__, __LINE__, "class = %d\n", errorClass, "level = %d\n", level);
    return 0;
  }
  manager->m_errorLevel[errorClass] = level;
  if (manager->m_errorLog != nullptr) {
    ErrorLog_writeHeader(manager->m_errorLog, __func__);
    ErrorLog_write(manager->m_errorLog, "m_errorLevel[%d] = %d\n", errorClass, level);
  }
  return 1;
}

int zyrErrorManager_getErrorHandling(zyrErrorManager *manager, int32_t errorClass, int32_t *level) {
  if (manager == nullptr)
    return 0;
  if (errorClass < zyrOK || errorClass > zyrResourceError) {
    publishInvalidInput(__func__, __LINE__, "class = %d\n", errorClass, nullptr, 0);
    return 0;
  }
  if (level != nullptr)
    *level = manager->m_errorLevel[errorClass];
  return 1;
}

void zyrErrorManager_print(const zyrErrorManager *manager, FILE *stream) {
  std::fprintf(stream, "%s\n zyrErrorManager (%p):\n%s\n", kEquals56, static_cast<const void *>(manager), kEquals56);
  if (manager != nullptr) {
    for (int i = 0; i < 5; ++i)
      std::fprintf(stream, "m_errorLevel[%d]               = %d\n", i, manager->m_errorLevel[i]);
    std::fprintf(stream, "m_noOfErrors                  = %d\n", manager->m_noOfErrors);
    std::fprintf(stream, "m_maximumNoOfErrors           = %d\n", manager->m_maximumNoOfErrors);
    std::fprintf(stream, "m_errorLog                    = %p\n", static_cast<const void *>(manager->m_errorLog));
    std::fprintf(stream, "m_isOverridden                = %d\n", manager->m_isOverridden);
    std::fprintf(stream, "m_totalNoOfErrors             = %d\n", manager->m_totalNoOfErrors);
    std::fprintf(stream, "m_totalNoOfErrorDisplays      = %d\n", manager->m_totalNoOfErrorDisplays);
    std::fprintf(stream, "m_errorHandler                = %p\n", reinterpret_cast<void *>(manager->m_errorHandler));
    if (manager->m_noOfErrors > 0) {
      std::fprintf(stream, "Current errors:\n~~~~~~~~~~~~~~~\n");
      for (int32_t i = 0; i < manager->m_noOfErrors; ++i)
        std::fprintf(stream, "%4d: %s\n", i, zyrError_getDescription(manager->m_errors[i]));
    }
  }
  std::fprintf(stream, "%s\n", kEquals56);
}
