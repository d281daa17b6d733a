#ifndef ZYR_DEBUG_MANAGER_H
#define ZYR_DEBUG_MANAGER_H
// The debug manager: reads the debug control file once and answers the log names and options
// that other services ask for. The getters take the manager and accept NULL (no manager, or one
// still being created) as "none".

struct zyrDebugManager;

// The process-wide manager, created on first use. While the manager is being created (its
// creation may raise errors, whose error manager asks it for names) this answers NULL.
zyrDebugManager *zyrDebugManager_get();
// The ERROR entry of the control file's LOGS section (not a copy), or NULL.
const char *zyrDebugManager_getErrorLogName(zyrDebugManager *manager);
// The DisplayErrors option: 0 none, 1 the standard output, 2 the standard error stream.
int zyrDebugManager_getDisplayErrors(zyrDebugManager *manager);

#endif
