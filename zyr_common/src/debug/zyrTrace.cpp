// Tracing entry points over the debug manager. While the debug log is closed a traced function
// costs one call and a few tests.
#include "zyrTrace.h"

#include "zyrDebugManager.h"

#include <cstdarg>

int zyrTrace_enter(const char *function, const char *description, zyrTraceState *state) {
  if (!zyrDebugManager_isLogOpen())
    return 0;
  // The levels are fixed at the first call made while the log is open.
  const int first = state->m_firstCall;
  if (first) {
    zyrDebugManager_getLevels(zyrDebugManager_get(), function, state->m_levels);
    state->m_firstCall = 0;
  }
  zyrDebugManager_printHeader(function, description, state->m_levels, first);
  return 1;
}

void zyrTrace_printf(const char *format, ...) {
  va_list arguments;
  va_start(arguments, format);
  zyrDebugManager_vprintf(format, arguments);
  va_end(arguments);
}

FILE *zyrTrace_getLog() { return zyrDebugManager_getLog(); }
