// Typed value I/O against plain stdio doing the same work in the same run. Each benchmark's
// "ratio" counter is our time over the baseline's (1.0 = as fast as plain stdio).
#include "lowlevel_io.h"
#include "zyrBenchSupport.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <unistd.h>
#include <vector>

namespace {

int discard(const char *, int32_t) { return 0; }

using zyrbench::Clock;
using zyrbench::seconds;

void emptyStream(FILE *stream) {
  fflush(stream);
  if (ftruncate(fileno(stream), 0) != 0) abort();
  rewind(stream);
}

const int32_t kValues = 100000;

// Times the baseline and our operation in turn on the same stream, each after `reset`, and sets
// the "ratio" counter; the iteration time is ours. Closes the stream.
template <typename Reset, typename Baseline, typename Ours>
void compare(benchmark::State &state, FILE *stream, Reset reset, Baseline baseline, Ours ours) {
  double oursTotal = 0, baseTotal = 0;
  for (auto _ : state) {
    reset(stream);
    auto t0 = Clock::now();
    baseline();
    auto t1 = Clock::now();
    reset(stream);
    auto t2 = Clock::now();
    ours();
    auto t3 = Clock::now();
    baseTotal += seconds(t0, t1);
    oursTotal += seconds(t2, t3);
    state.SetIterationTime(seconds(t2, t3));
  }
  state.counters["ratio"] = baseTotal > 0 ? oursTotal / baseTotal : 0;
  fclose(stream);
}

// Binary doubles in machine order, against one fwrite of the array.
void BM_BinaryDbleWrite(benchmark::State &state) {
  std::vector<double> values(kValues);
  for (int32_t i = 0; i < kValues; ++i) values[i] = i * 0.5;
  FILE *stream = tmpfile();
  compare(
      state, stream, emptyStream,
      [&] {
        fwrite(values.data(), sizeof(double), values.size(), stream);
        fflush(stream);
      },
      [&] {
        wezwriteDble(discard, "l", values.data(), kValues, 4, 20, stream);
        fflush(stream);
      });
}
BENCHMARK(BM_BinaryDbleWrite)->UseManualTime()->Unit(benchmark::kMicrosecond);

// Big-endian integers (reversed through the scratch buffer), against a plain fwrite.
void BM_BigEndianIntrWrite(benchmark::State &state) {
  std::vector<int32_t> values(kValues);
  for (int32_t i = 0; i < kValues; ++i) values[i] = i * 7;
  FILE *stream = tmpfile();
  compare(
      state, stream, emptyStream,
      [&] {
        fwrite(values.data(), sizeof(int32_t), values.size(), stream);
        fflush(stream);
      },
      [&] {
        wezwriteIntr(discard, "U", values.data(), kValues, 8, 10, stream);
        fflush(stream);
      });
}
BENCHMARK(BM_BigEndianIntrWrite)->UseManualTime()->Unit(benchmark::kMicrosecond);

// Text integers, 8 of width 10 to a line, against fprintf of the same layout.
void BM_TextIntrWrite(benchmark::State &state) {
  std::vector<int32_t> values(kValues);
  for (int32_t i = 0; i < kValues; ++i) values[i] = i * 13 - 5000;
  FILE *stream = tmpfile();
  compare(
      state, stream, emptyStream,
      [&] {
        for (int32_t i = 0; i < kValues; ++i)
          fprintf(stream, (i % 8 == 7 || i + 1 == kValues) ? "%10d\n" : "%10d", values[i]);
        fflush(stream);
      },
      [&] {
        wezwriteIntr(discard, "F", values.data(), kValues, 8, 10, stream);
        fflush(stream);
      });
}
BENCHMARK(BM_TextIntrWrite)->UseManualTime()->Unit(benchmark::kMicrosecond);

// Text integers read back, against fscanf of the same file.
void BM_TextIntrRead(benchmark::State &state) {
  std::vector<int32_t> values(kValues), back(kValues);
  for (int32_t i = 0; i < kValues; ++i) values[i] = i * 13 - 5000;
  FILE *stream = tmpfile();
  wezwriteIntr(discard, "F", values.data(), kValues, 8, 10, stream);
  fflush(stream);
  compare(
      state, stream, rewind,
      [&] {
        for (int32_t i = 0; i < kValues; ++i)
          if (fscanf(stream, "%d", &back[i]) != 1) abort();
      },
      [&] { wezreadIntr(discard, "F", back.data(), kValues, 8, 10, stream); });
}
BENCHMARK(BM_TextIntrRead)->UseManualTime()->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
