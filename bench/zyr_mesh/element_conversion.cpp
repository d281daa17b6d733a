// Converting element connectivity between conventions, the work of reading a mesh in and writing
// it out: 10 million hexahedra to the WEZ5 vertex order and back (one copy each way, as element
// sets do), against a plain memcpy of the same integers both ways in the same run. Reported:
// convert / memcpy (aim: under 3). The converted lists are checked against the element tables.
#include "ElementConversion.h"
#include "ElementTopology.h"
#include "zyrBenchSupport.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

using zyrbench::Clock;
using zyrbench::seconds;

void BM_HexahedraToWez5AndBack(benchmark::State &state) {
  const int64_t nel = state.range(0);
  std::vector<int32_t> native(static_cast<size_t>(8 * nel));
  for (size_t i = 0; i < native.size(); ++i)
    native[i] = static_cast<int32_t>(i * 2654435761u % 100000000u);
  std::vector<int32_t> wez5(native.size());
  std::vector<int32_t> back(native.size());
  for (auto _ : state) {
    const auto m0 = Clock::now();
    std::memcpy(wez5.data(), native.data(), native.size() * 4);
    std::memcpy(back.data(), wez5.data(), native.size() * 4);
    const auto m1 = Clock::now();
    benchmark::DoNotOptimize(back.data());
    const auto c0 = Clock::now();
    ElementConversion_reorderVertices(ZYR_ELEMENT_HEXA_8, zyrConvention_WEZ5, 0, 0, nel, native.data(), wez5.data());
    ElementConversion_reorderVertices(ZYR_ELEMENT_HEXA_8, zyrConvention_WEZ5, 0, 1, nel, wez5.data(), back.data());
    const auto c1 = Clock::now();
    benchmark::DoNotOptimize(back.data());
    if (back != native || wez5[2] != native[3] || wez5[3] != native[2])
      state.SkipWithError("the conversion does not round-trip");
    std::vector<int32_t> sample(native.begin(), native.begin() + 64);
    ElementTopology_reorder(ZYR_ELEMENT_HEXA_8, zyrConvention_WEZ5, 0, 0, 0, 8, sample.data());
    if (!std::equal(sample.begin(), sample.end(), wez5.begin()))
      state.SkipWithError("the conversion differs from the element tables");
    const double convert = seconds(c0, c1);
    const double copy = seconds(m0, m1);
    zyrbench::reportRatio(state, "convert", convert, "memcpy", copy, 2);
  }
}

BENCHMARK(BM_HexahedraToWez5AndBack)
    ->Arg(10000000)
    ->Iterations(1)
    ->Repetitions(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
