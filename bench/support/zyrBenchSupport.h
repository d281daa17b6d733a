#ifndef ZYR_BENCH_SUPPORT_H
#define ZYR_BENCH_SUPPORT_H
// Shared by the benchmark programs: every one times its own work and a baseline in the same run
// and reports the ratio, absolute times being noise on a shared machine.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>

namespace zyrbench {

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point from, Clock::time_point to);

// Well-spread 64-bit keys from a counter (the splitmix64 finaliser): the same keys every run.
uint64_t mix(uint64_t x);

// One measured side against its baseline: the iteration's time is ourSeconds; the counters
// "<ours>_s", "<baseline>_s" and "ratio_<baseline>" hold both sides and the ratio; the label
// reads "<ours>/<baseline> = <ratio>" with the given decimals.
void reportRatio(benchmark::State &state, const char *ours, double ourSeconds, const char *baseline,
                 double baselineSeconds, int decimals);

// The run's label, printf-style.
void setLabel(benchmark::State &state, const char *format, ...) __attribute__((format(printf, 2, 3)));

} // namespace zyrbench

#endif
