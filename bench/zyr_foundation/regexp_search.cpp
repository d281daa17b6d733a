// The regular-expression engine against std::regex in the same run: each pattern searched in
// each of 200,000 generated lines (names, numbers and words as in mesh and log texts), counting
// the lines that match. Reported per pattern: both sides' seconds and the ratio ours / std::regex
// (below 1 means ours is faster); the two counts must agree.
#include "RegularExpression.h"
#include "zyrBenchSupport.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <regex>
#include <string>
#include <vector>

namespace {

using zyrbench::Clock;
using zyrbench::seconds;

const std::vector<std::string> &lines() {
  static const std::vector<std::string> all = [] {
    std::vector<std::string> v;
    const char *const words[] = {"inlet", "outlet", "wall", "Region", "fluid", "solid", "interface", "symmetry"};
    uint64_t state = 42;
    auto next = [&state](uint64_t n) {
      state = state * 6364136223846793005ull + 1442695040888963407ull;
      return (state >> 33) % n;
    };
    for (int i = 0; i < 200000; ++i) {
      std::string line;
      for (uint64_t w = 0, n = 3 + next(6); w < n; ++w) {
        if (w > 0)
          line += next(4) == 0 ? "_" : " ";
        switch (next(4)) {
        case 0: line += std::to_string(next(100000)); break;
        case 1: line += std::to_string(next(1000)) + "_" + words[next(8)]; break;
        default: line += words[next(8)];
        }
      }
      v.push_back(line);
    }
    return v;
  }();
  return all;
}

void BM_Search(benchmark::State &state, const char *pattern) {
  const std::vector<std::string> &v = lines();
  RegularExpression *ours = RegularExpression_new(pattern);
  const std::regex theirs(pattern);
  double oursTime = 0, theirsTime = 0;
  for (auto _ : state) {
    auto t0 = Clock::now();
    int64_t a = 0;
    for (const std::string &line : v)
      a += RegularExpression_match(ours, line.c_str());
    auto t1 = Clock::now();
    int64_t b = 0;
    for (const std::string &line : v)
      b += std::regex_search(line, theirs) ? 1 : 0;
    auto t2 = Clock::now();
    if (a != b) {
      state.SkipWithError("the match counts differ");
      break;
    }
    state.counters["matches"] = static_cast<double>(a);
    oursTime += seconds(t0, t1);
    theirsTime += seconds(t1, t2);
    state.SetIterationTime(seconds(t0, t1));
  }
  RegularExpression_delete(ours);
  state.counters["ours_s"] = oursTime / state.iterations();
  state.counters["std_regex_s"] = theirsTime / state.iterations();
  state.counters["ratio"] = oursTime / theirsTime;
  char label[96];
  std::snprintf(label, sizeof label, "ours/std::regex = %.2f", oursTime / theirsTime);
  state.SetLabel(label);
}

BENCHMARK_CAPTURE(BM_Search, digits_word, "[0-9]+_[a-z]+")->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK_CAPTURE(BM_Search, literal_number, "Region_[0-9]+")->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK_CAPTURE(BM_Search, anchored_word, "^[a-z]+ [0-9]")->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK_CAPTURE(BM_Search, alternatives, "(inlet|outlet)_[a-z]+")->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK_CAPTURE(BM_Search, any_run, "wall.*symmetry")->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK_CAPTURE(BM_Search, not_space, "[^ ]+_[0-9]+$")->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(0.5);

} // namespace

BENCHMARK_MAIN();
