#include "zyrBenchSupport.h"

#include <cstdarg>
#include <cstdio>
#include <string>

namespace zyrbench {

double seconds(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

void reportRatio(benchmark::State &state, const char *ours, double ourSeconds, const char *baseline,
                 double baselineSeconds, int decimals) {
  const double ratio = ourSeconds / baselineSeconds;
  state.SetIterationTime(ourSeconds);
  state.counters[std::string(ours) + "_s"] = ourSeconds;
  state.counters[std::string(baseline) + "_s"] = baselineSeconds;
  state.counters["ratio_" + std::string(baseline)] = ratio;
  setLabel(state, "%s/%s = %.*f", ours, baseline, decimals, ratio);
}

void setLabel(benchmark::State &state, const char *format, ...) {
  char label[256];
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(label, sizeof label, format, arguments);
  va_end(arguments);
  state.SetLabel(label);
}

} // namespace zyrbench
