#ifndef ZYR_ERROR_MANAGER_H
#define ZYR_ERROR_MANAGER_H
// The process-wide owner of every error record. It numbers the records and holds them in
// creation order until they are cleared; for each error class a level says whether a published
// record is shown on the registered displays (bit 0) and kept for the caller (bit 1). It runs an
// optional handler that may consume a record and writes every step to the error log when one is
// open (ZYR_ERROR_LOG, or the ERROR entry of the debug control file). ZYR_SUPPRESS_WARNINGS
// (any value) makes warnings neither shown nor kept. Operations return 1 on success, 0 on
// failure (published as error 10020).
#include "ErrorDisplay.h"

#include <cstdint>
#include <cstdio>

struct zyrError;
struct ErrorLog;
struct Set;

// 1 means the handler consumed the record (it is then deleted).
typedef int (*zyrErrorHandler)(zyrError *error);

struct zyrErrorManager {
  int32_t m_errorLevel[5];
  zyrError **m_errors;
  int32_t m_noOfErrors;
  int32_t m_maximumNoOfErrors;
  ErrorLog *m_errorLog;
  int m_isOverridden;
  int32_t m_totalNoOfErrors;
  int32_t m_totalNoOfErrorDisplays;
  Set *m_errorDisplays;
  zyrErrorHandler m_errorHandler;
};

// The manager, created on first use.
zyrErrorManager *zyrErrorManager_get();

int zyrErrorManager_addError(zyrErrorManager *manager, zyrError *error, int32_t *identity);
int zyrErrorManager_removeError(zyrErrorManager *manager, zyrError *error);
ErrorLog *zyrErrorManager_getErrorLog(zyrErrorManager *manager);
zyrError *zyrErrorManager_getLastError(zyrErrorManager *manager);
int zyrErrorManager_getNoOfErrors(zyrErrorManager *manager, int32_t *noOfErrors);
// A new array (the caller releases the array, not the records) of the held records whose class
// is kept, oldest first; NULL when there are none.
int zyrErrorManager_getErrors(zyrErrorManager *manager, int32_t *noOfErrors, zyrError ***errors);
int zyrErrorManager_clearErrors(zyrErrorManager *manager);
int zyrErrorManager_setErrorHandler(zyrErrorManager *manager, zyrErrorHandler handler, zyrErrorHandler *previous);

// Both do nothing while the log name comes from the environment or the debug control file.
int zyrErrorManager_openErrorLog(zyrErrorManager *manager, const char *fileName);
int zyrErrorManager_closeErrorLog(zyrErrorManager *manager);

int zyrErrorManager_displayError(zyrErrorManager *manager, zyrError *error, int force, int *displayed);
int zyrErrorManager_handleError(zyrErrorManager *manager, zyrError *error);

// Formats -1 to 4 (see ErrorDisplay.h); the handle names the display for removeDisplay.
int zyrErrorManager_addStreamDisplay(zyrErrorManager *manager, int32_t format, FILE *stream, int32_t *handle);
int zyrErrorManager_addConduitDisplay(zyrErrorManager *manager, int32_t format, Conduit *conduit, int32_t *handle);
int zyrErrorManager_addCallbackDisplay(zyrErrorManager *manager, int32_t format, ErrorDisplayCallback callback,
                                       int32_t *handle);
int zyrErrorManager_removeDisplay(zyrErrorManager *manager, int32_t handle);
// Called by the display's constructor and destructor.
int zyrErrorManager_registerDisplay(zyrErrorManager *manager, ErrorDisplay *display, int32_t *handle);
int zyrErrorManager_unregisterDisplay(zyrErrorManager *manager, ErrorDisplay *display);

// Levels 0 to 3 per class 0 to 4; class OK accepts only 0, the error classes only 2 and 3 (errors
// are always kept for the caller).
int zyrErrorManager_setErrorHandling(zyrErrorManager *manager, int32_t errorClass, int32_t level);
int zyrErrorManager_getErrorHandling(zyrErrorManager *manager, int32_t errorClass, int32_t *level);

void zyrErrorManager_print(const zyrErrorManager *manager, FILE *stream);

#endif
