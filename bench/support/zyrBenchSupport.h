#ifndef ZYR_BENCH_SUPPORT_H
#define ZYR_BENCH_SUPPORT_H
// Shared by the benchmark programs: every one times its own work and a baseline in the same run
// and reports the ratio, absolute times being noise on a shared machine.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

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
// The same counters and label for times summed over all iterations, after the loop; the
// iteration times are left as the loop set them.
void reportTotals(benchmark::State &state, const char *ours, double ourSeconds, const char *baseline,
                  double baselineSeconds, int decimals);

// The plainest reading of bytes in memory, eight at a time: their sum.
uint64_t byteSum(const unsigned char *bytes, size_t count);

// Baselines of file work, the plainest a program can do with POSIX calls.
// A whole file read in 1 MiB blocks; empty when it cannot be read.
std::string readRaw(const std::string &path);
// The bytes written into a new (or emptied) file and flushed to the disc (fsync); false on failure.
bool writeRaw(const std::string &path, const std::string &bytes);
// The bytes put in place of a file durably: written beside it and flushed, renamed over it, the
// directory flushed; false on failure.
bool replaceRaw(const std::string &path, const std::string &bytes);

// The run's label, printf-style.
void setLabel(benchmark::State &state, const char *format, ...) __attribute__((format(printf, 2, 3)));

} // namespace zyrbench

#endif
