// zyrCopyFile of a 256 MiB file beside the plainest copy of the same bytes in the same run: ours
// copies the file to a new name (a side file renamed into place, as the library does), the
// baseline reads it and writes it into a new file in a loop with a 1 MiB buffer. Counters:
// copy_MBps, baseline_MBps, and ratio_baseline = our time / the baseline's time. Both copies go to
// names that do not exist yet, so neither is flushed to the disc; the source stays in the page
// cache, so the figures are those of the copying itself.

#include "zyrBenchSupport.h"
#include "zyrSystem.h"
#include "zyrTestSupport.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using zyrbench::Clock;
using zyrbench::seconds;
const size_t kBytes = size_t{256} << 20;

struct Scratch {
  zyrtest::ScratchDir m_scratch{"zyr-bench-copy"};
  std::string m_dir = m_scratch.path();
  std::string m_source = m_scratch.file("source");
  Scratch() {
    std::vector<unsigned char> block(size_t{1} << 20);
    uint32_t x = 1;
    const int fd = open(m_source.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    for (size_t done = 0; done < kBytes; done += block.size()) {
      for (unsigned char &b : block) {
        x = x * 1664525u + 1013904223u;
        b = static_cast<unsigned char>(x >> 24);
      }
      if (write(fd, block.data(), block.size()) != static_cast<ssize_t>(block.size()))
        std::abort();
    }
    close(fd);
  }
};

void plainCopy(const char *from, const char *to) {
  std::vector<char> buffer(size_t{1} << 20);
  const int in = open(from, O_RDONLY | O_CLOEXEC);
  const int out = open(to, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  for (ssize_t n; (n = read(in, buffer.data(), buffer.size())) > 0;)
    if (write(out, buffer.data(), static_cast<size_t>(n)) != n)
      std::abort();
  close(in);
  close(out);
}

void BM_CopyFile(benchmark::State &state) {
  Scratch scratch;
  const std::string a = scratch.m_dir + "/a", b = scratch.m_dir + "/b";
  double copySeconds = 0, baseSeconds = 0;
  for (auto _ : state) {
    unlink(a.c_str());
    unlink(b.c_str());
    const Clock::time_point t0 = Clock::now();
    plainCopy(scratch.m_source.c_str(), b.c_str());
    const Clock::time_point t1 = Clock::now();
    if (!zyrCopyFile(scratch.m_source.c_str(), a.c_str()))
      state.SkipWithError("zyrCopyFile failed");
    const Clock::time_point t2 = Clock::now();
    baseSeconds += seconds(t0, t1);
    copySeconds += seconds(t1, t2);
    state.SetIterationTime(seconds(t1, t2));
  }
  unlink(a.c_str());
  unlink(b.c_str());
  const double total = static_cast<double>(kBytes) * static_cast<double>(state.iterations());
  state.SetBytesProcessed(static_cast<int64_t>(total));
  state.counters["copy_MBps"] = total / copySeconds / 1e6;
  state.counters["baseline_MBps"] = total / baseSeconds / 1e6;
  zyrbench::reportTotals(state, "copy", copySeconds, "baseline", baseSeconds, 3);
}
BENCHMARK(BM_CopyFile)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
