#include "zyrBenchSupport.h"

#include <cstdarg>
#include <cstdio>
#include <string>

namespace zyrbench {

double seconds(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

uint64_t mix(uint64_t x) {
  x += UINT64_C(0x9E3779B97F4A7C15);
  x = (x ^ (x >> 30)) * UINT64_C(0xBF58476D1CE4E5B9);
  x = (x ^ (x >> 27)) * UINT64_C(0x94D049BB133111EB);
  return x ^ (x >> 31);
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
