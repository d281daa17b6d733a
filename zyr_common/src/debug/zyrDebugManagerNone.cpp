// No debug control file is read yet: there is no debug manager, so nothing names an error log
// and no published errors are echoed to a standard stream.
#include "zyrDebugManager.h"

zyrDebugManager *zyrDebugManager_get() { return nullptr; }

const char *zyrDebugManager_getErrorLogName(zyrDebugManager *) { return nullptr; }

int zyrDebugManager_getDisplayErrors(zyrDebugManager *) { return 0; }
