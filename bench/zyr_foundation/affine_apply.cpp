// zyrAffineTransform3D_apply on 10 million points, in double and in float coordinates, beside a
// plain 3-by-3 loop over an identical copy of the points in the same run. Counters:
// apply_Mpts (million points a second), baseline_Mpts and ratio = apply time / baseline time
// (1.0 means no cost beyond the plain loop).

#include "zyrAffineTransform3D.h"
#include "zyrBenchSupport.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

using zyrbench::Clock;
using zyrbench::seconds;

const int32_t kPoints = 10000000;

// A rotation about a skew axis with a translation, in the unit the points are given in.
zyrAffineTransform3D *makeTransform() {
  // The built-in unit table: the benchmark needs no definition file.
  setenv("ZYR_USE_LOCAL_UNITS", "1", 0);
  zyrAffineTransform3D *t = zyrAffineTransform3D_new();
  const double axis[3] = {1, 2, 3};
  const double point[3] = {0.5, -0.25, 2};
  const double shift[3] = {1e-3, 2e-3, -1e-3};
  zyrAffineTransform3D_rotate(t, point, "m", axis, 0.3, "rad");
  zyrAffineTransform3D_translate(t, shift, "m");
  return t;
}

template <class T> std::vector<T> makePoints() {
  std::vector<T> p(static_cast<size_t>(kPoints) * 3);
  uint32_t x = 12345;
  for (T &c : p) {
    x = x * 1664525u + 1013904223u;
    c = static_cast<T>(static_cast<double>(x >> 8) / 16777216.0 - 0.5);
  }
  return p;
}

// The baseline: what a caller would write by hand, in double arithmetic as apply does.
template <class T> void plainLoop(const double *A, const double *v, int64_t n, T *p) {
  for (int64_t i = 0; i < n; ++i, p += 3) {
    const double x = p[0], y = p[1], z = p[2];
    p[0] = static_cast<T>(A[0] * x + A[1] * y + A[2] * z + v[0]);
    p[1] = static_cast<T>(A[3] * x + A[4] * y + A[5] * z + v[1]);
    p[2] = static_cast<T>(A[6] * x + A[7] * y + A[8] * z + v[2]);
  }
}

template <class T> void run(benchmark::State &state, int32_t type) {
  zyrAffineTransform3D *t = makeTransform();
  std::vector<T> points = makePoints<T>();
  std::vector<T> baseline = points;
  double A[9], v[3];
  zyrAffineTransform3D_get(t, A, v, nullptr);
  double applySeconds = 0, baseSeconds = 0;
  int ok = 1;
  for (auto _ : state) {
    // Alternating the order keeps a warmer cache from favouring either side.
    const bool baselineFirst = (state.iterations() & 1) == 0;
    Clock::time_point t0, t1, t2, t3;
    if (baselineFirst) {
      t0 = Clock::now();
      plainLoop(A, v, kPoints, baseline.data());
      benchmark::ClobberMemory();
      t1 = Clock::now();
    }
    t2 = Clock::now();
    ok &= zyrAffineTransform3D_apply(t, "m", type, kPoints, points.data());
    benchmark::ClobberMemory();
    t3 = Clock::now();
    if (!baselineFirst) {
      t0 = Clock::now();
      plainLoop(A, v, kPoints, baseline.data());
      benchmark::ClobberMemory();
      t1 = Clock::now();
    }
    baseSeconds += seconds(t0, t1);
    applySeconds += seconds(t2, t3);
    state.SetIterationTime(seconds(t2, t3));
  }
  if (!ok || points != baseline)
    state.SkipWithError("apply and the plain loop disagree");
  const double total = static_cast<double>(kPoints) * static_cast<double>(state.iterations());
  state.SetItemsProcessed(static_cast<int64_t>(total));
  state.counters["apply_Mpts"] = total / applySeconds / 1e6;
  state.counters["baseline_Mpts"] = total / baseSeconds / 1e6;
  state.counters["ratio"] = applySeconds / baseSeconds;
  zyrAffineTransform3D_delete(t);
}

void BM_ApplyDouble(benchmark::State &state) { run<double>(state, zyrAffineDouble); }
void BM_ApplyFloat(benchmark::State &state) { run<float>(state, zyrAffineFloat); }

BENCHMARK(BM_ApplyDouble)->UseManualTime()->Iterations(6)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ApplyFloat)->UseManualTime()->Iterations(6)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
