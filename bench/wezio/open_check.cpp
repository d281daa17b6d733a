// The open of a data-set file of 60,000 small data sets, binary (U5, the default) and text (F):
// the open reads the stored index and then checks every entry against the frame it names. The
// baseline is the reading of the stored index alone (create_indextable on the same open file),
// measured in the same run: "ratio_index" is the whole checked open over it, and "check_share"
// the check alone over it. Before the check existed the open cost about what its index costs.
#include "IntDataSets.h"
#include "io_frame.h"
#include "io_index.h"
#include "zyrBenchSupport.h"
#include "zyrTestSupport.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

namespace {

const int kEntries = 60000;

// Object-like keys, a few attributes per object and several states, each data set one integer.
bool makeFile(const std::string &path, const char *format) {
  return writeIntDataSets(path, format, kEntries, [](size_t i, IO_header *header) {
    snprintf(header->m_what, IO_NAME_LEN, "attr%d", static_cast<int>(i % 7));
    snprintf(header->m_where, IO_NAME_LEN, "obj%018d", static_cast<int>(i / 7));
    *header->m_when = static_cast<int32_t>(i % 5);
    return static_cast<int32_t>(i);
  });
}

void BM_CheckedOpen(benchmark::State &state) {
  const char *format = state.range(0) == 0 ? "U5" : "F";
  zyrtest::ScratchDir scratch("bench_open_check");
  const std::string path = scratch.path() + "/data.wez";
  if (!makeFile(path, format)) {
    state.SkipWithError("the file could not be made");
    return;
  }
  double open = 0, index = 0, check = 0;
  for (auto _ : state) {
    IO_file record;
    iif_clear_record(&record);
    auto a = zyrbench::Clock::now();
    const int opened = iif_open(&record, path.c_str(), "r");
    auto b = zyrbench::Clock::now();
    if (opened != IO_OK) {
      state.SkipWithError("the open failed");
      break;
    }
    // The index alone, read again from the same file, then the check alone.
    indextable_free(record.m_indextable);
    record.m_indextable = nullptr;
    auto c = zyrbench::Clock::now();
    const int read = create_indextable(nullptr, &record);
    auto d = zyrbench::Clock::now();
    const int checked = ioframe_check_table(&record);
    auto e = zyrbench::Clock::now();
    if (read != IO_OK || checked != IO_OK || record.m_skippedbytes != 0) {
      state.SkipWithError("the index did not read whole");
      break;
    }
    iif_close(&record);
    open += zyrbench::seconds(a, b);
    index += zyrbench::seconds(c, d);
    check += zyrbench::seconds(d, e);
  }
  zyrbench::reportTotals(state, "open", open, "index", index, 2);
  state.counters["check_share"] = index > 0 ? check / index : 0;
}
BENCHMARK(BM_CheckedOpen)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(1.0);

} // namespace

BENCHMARK_MAIN();
