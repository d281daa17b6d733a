// The open of a data-set file whose stored index lists its entries in the arrangement that
// McIlroy's adversary makes against the sort of the index's what order (zyrtest::quicksortKiller),
// against the open of the same entries listed in a shuffled order, measured in the same run:
// "ratio_shuffled" is the one over the other. A quicksort without a bound on its bad splits took
// quadratic time there (100,000 entries: 10 to 19 s against 0.2 s) and overflowed the stack; the
// open should cost about what a shuffled index costs, within 1.5 times. Both files hold the same
// 100,000 data sets of one integer each, every one well formed.
#include "IntDataSets.h"
#include "io_index.h"
#include "zyrBenchSupport.h"
#include "zyrTestSupport.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

// Writes data sets "attr" at "obj<rank>" in the order of the ranks given: the stored index lists
// the entries as written, and the keys differ in their second eight bytes only, the digits.
bool makeFile(const std::string &path, const std::vector<int32_t> &ranks) {
  return writeIntDataSets(path, "U5", ranks.size(), [&](size_t i, IO_header *header) {
    snprintf(header->m_what, IO_NAME_LEN, "attr");
    snprintf(header->m_where, IO_NAME_LEN, "obj%08d", ranks[i]);
    return ranks[i];
  });
}

// Seconds of one open for reading, or a negative number when it fails or leaves entries out.
double timedOpen(const std::string &path, int32_t entries) {
  IO_file record;
  iif_clear_record(&record);
  const auto a = zyrbench::Clock::now();
  const int opened = iif_open(&record, path.c_str(), "r");
  const auto b = zyrbench::Clock::now();
  if (opened != IO_OK) return -1;
  const bool whole = indextable_count(record.m_indextable) == entries && record.m_skippedbytes == 0;
  iif_close(&record);
  return whole ? zyrbench::seconds(a, b) : -1;
}

void BM_KillerOpen(benchmark::State &state) {
  const size_t n = static_cast<size_t>(state.range(0));
  zyrtest::ScratchDir scratch("bench_open_killer");
  const std::string killer = scratch.file("killer.wez"), shuffled = scratch.file("shuffled.wez");
  std::vector<int32_t> ranks = zyrtest::quicksortKiller(n);
  bool made = makeFile(killer, ranks);
  std::shuffle(ranks.begin(), ranks.end(), std::mt19937(7));
  made = made && makeFile(shuffled, ranks);
  if (!made) {
    state.SkipWithError("the files could not be made");
    return;
  }
  double ours = 0, base = 0;
  for (auto _ : state) {
    const double k = timedOpen(killer, static_cast<int32_t>(n));
    const double s = timedOpen(shuffled, static_cast<int32_t>(n));
    if (k < 0 || s < 0) {
      state.SkipWithError("an open failed or left entries out");
      break;
    }
    ours += k;
    base += s;
  }
  zyrbench::reportTotals(state, "killer", ours, "shuffled", base, 2);
}
BENCHMARK(BM_KillerOpen)->Arg(100000)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

BENCHMARK_MAIN();
