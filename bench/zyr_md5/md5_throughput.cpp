// MD5 throughput on a 256 MiB buffer in memory, beside a plain summing pass over the same bytes
// (how fast the memory can merely be read). Counters: md5_MBps, baseline_MBps and
// ratio = md5_MBps / baseline_MBps. A second case hashes short messages one at a time, where
// the set-up and padding costs show, against the same byte sum.

#include "zyrMD5.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const std::vector<unsigned char> &buffer() {
  static const std::vector<unsigned char> *bytes = [] {
    auto *v = new std::vector<unsigned char>(size_t{256} << 20);
    uint32_t x = 1;
    for (unsigned char &b : *v) {
      x = x * 1664525u + 1013904223u;
      b = static_cast<unsigned char>(x >> 24);
    }
    return v;
  }();
  return *bytes;
}

// The baseline reads eight bytes at a time, as plain code reads memory fastest.
uint64_t byteSum(const unsigned char *p, size_t n) {
  uint64_t sum = 0;
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t word;
    std::memcpy(&word, p + i, sizeof word);
    sum += word;
  }
  for (; i < n; ++i) sum += p[i];
  return sum;
}

double seconds(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

void report(benchmark::State &state, double bytes, double md5Seconds, double baseSeconds) {
  const double md5 = bytes / md5Seconds / 1e6;
  const double base = bytes / baseSeconds / 1e6;
  state.counters["md5_MBps"] = md5;
  state.counters["baseline_MBps"] = base;
  state.counters["ratio"] = md5 / base;
}

// Timed by hand: each iteration runs the baseline and the digest back to back, so a change in
// the machine's speed touches both; the iteration time reported is the digest's alone.
void BM_MD5Buffer(benchmark::State &state) {
  const std::vector<unsigned char> &bytes = buffer();
  double md5Seconds = 0, baseSeconds = 0;
  for (auto _ : state) {
    const Clock::time_point t0 = Clock::now();
    uint64_t sum = byteSum(bytes.data(), bytes.size());
    benchmark::DoNotOptimize(sum);
    const Clock::time_point t1 = Clock::now();
    unsigned char digest[ZYR_MD5_DIGEST_SIZE];
    zyrMD5_digest(bytes.data(), bytes.size(), digest);
    benchmark::DoNotOptimize(digest);
    benchmark::ClobberMemory();
    const Clock::time_point t2 = Clock::now();
    baseSeconds += seconds(t0, t1);
    md5Seconds += seconds(t1, t2);
    state.SetIterationTime(seconds(t1, t2));
  }
  const double total = static_cast<double>(bytes.size()) * static_cast<double>(state.iterations());
  state.SetBytesProcessed(static_cast<int64_t>(total));
  report(state, total, md5Seconds, baseSeconds);
}
BENCHMARK(BM_MD5Buffer)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

// Many messages of one size (bytes = range(0)), each with its own init, update and final.
void BM_MD5Messages(benchmark::State &state) {
  const std::vector<unsigned char> &bytes = buffer();
  const size_t size = static_cast<size_t>(state.range(0));
  const size_t span = size_t{32} << 20;
  const size_t count = span / size;
  double md5Seconds = 0, baseSeconds = 0;
  for (auto _ : state) {
    const Clock::time_point t0 = Clock::now();
    for (size_t i = 0; i < count; ++i) {
      uint64_t sum = byteSum(bytes.data() + i * size, size);
      benchmark::DoNotOptimize(sum);
    }
    const Clock::time_point t1 = Clock::now();
    for (size_t i = 0; i < count; ++i) {
      unsigned char digest[ZYR_MD5_DIGEST_SIZE];
      zyrMD5_digest(bytes.data() + i * size, size, digest);
      benchmark::DoNotOptimize(digest);
    }
    const Clock::time_point t2 = Clock::now();
    baseSeconds += seconds(t0, t1);
    md5Seconds += seconds(t1, t2);
    state.SetIterationTime(seconds(t1, t2));
  }
  const double total =
      static_cast<double>(count * size) * static_cast<double>(state.iterations());
  state.SetBytesProcessed(static_cast<int64_t>(total));
  report(state, total, md5Seconds, baseSeconds);
}
BENCHMARK(BM_MD5Messages)
    ->Arg(16)
    ->Arg(64)
    ->Arg(1024)
    ->UseManualTime()
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
