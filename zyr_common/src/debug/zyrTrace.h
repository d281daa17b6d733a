#ifndef ZYR_TRACE_H
#define ZYR_TRACE_H
// Function tracing. A traced function keeps, for the life of the process, a first-call flag and
// its four debug levels (debug, self-testing, display, timing). On entry, when the debug log is
// open, the first call fetches the levels from the debug manager and writes the function banner
// with them; later calls write the banner alone. Details are written only when the function's
// level reaches the threshold it chooses.
//
//   void HashTable_resize(...) {
//     ZYR_TRACE_BEGIN();
//     if (ZYR_TRACE_DEBUG(1)) zyrTrace_printf("old size = %d\n", n);
//   }
#include <cstdint>
#include <cstdio>

enum zyrTraceCategory { zyrTraceDebug = 0, zyrTraceTest = 1, zyrTraceDisplay = 2, zyrTraceTime = 3 };

// A level that no rule sets.
#define ZYR_TRACE_NOT_SET INT32_MIN

struct zyrTraceState {
  int m_firstCall;
  int32_t m_levels[4];
};

// Called on entry of a traced function; answers 1 when the debug log is open (the banner has
// been written), else 0.
int zyrTrace_enter(const char *function, const char *description, zyrTraceState *state);
// Formatted write to the debug log (flushed); nothing when there is none.
void zyrTrace_printf(const char *format, ...) __attribute__((format(printf, 1, 2)));
// The debug log, or NULL when tracing is off.
FILE *zyrTrace_getLog();

#define ZYR_TRACE_BEGIN_DESC(description)                                                          \
  static zyrTraceState zyr_trace_state_ = {1, {ZYR_TRACE_NOT_SET, ZYR_TRACE_NOT_SET,              \
                                               ZYR_TRACE_NOT_SET, ZYR_TRACE_NOT_SET}};             \
  const int zyr_trace_on_ = zyrTrace_enter(__func__, (description), &zyr_trace_state_)
#define ZYR_TRACE_BEGIN() ZYR_TRACE_BEGIN_DESC(nullptr)

// True when tracing is on and the function's level of the category reaches the threshold.
#define ZYR_TRACE_LEVEL(category, threshold)                                                       \
  (zyr_trace_on_ && zyr_trace_state_.m_levels[(category)] >= (threshold))
#define ZYR_TRACE_DEBUG(threshold) ZYR_TRACE_LEVEL(zyrTraceDebug, threshold)

#endif
