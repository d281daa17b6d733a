// Repository_commit of a one-attribute change beside the plainest durable write of the same
// bytes in the same run: write(2) of as many bytes as the commit added to the file, then
// fdatasync, into a file of its own in the same directory. Counters: commit_us, baseline_us and
// ratio = commit_us / baseline_us (aim: under 1.5).

#include "Repository.h"
#include "zyrBenchSupport.h"
#include "zyrObject.h"
#include "zyrTestSupport.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace {

using zyrbench::Clock;
using zyrbench::seconds;

int64_t sizeOf(const std::string &name) {
  struct stat info;
  return stat(name.c_str(), &info) == 0 ? static_cast<int64_t>(info.st_size) : 0;
}

void BM_CommitLatency(benchmark::State &state) {
  zyrtest::ScratchDir dir("zyr-bench-commit");
  const std::string name = dir.file("bench.zyr"), plain = dir.file("plain");
  Repository *repository = Repository_new(name.c_str());
  if (repository == nullptr) {
    state.SkipWithError("Repository_new failed");
    return;
  }
  void *object = zyrObject_new("Assembly");
  Repository_commit(repository);
  const int fd = open(plain.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  std::vector<char> bytes(size_t{1} << 20, 'x');
  double commitSeconds = 0, baseSeconds = 0;
  int32_t value = 0;
  for (auto _ : state) {
    const int64_t before = sizeOf(name);
    const Clock::time_point t0 = Clock::now();
    zyrObject_setInt(object, "count", ++value);
    if (Repository_commit(repository) <= 0)
      state.SkipWithError("Repository_commit failed");
    const Clock::time_point t1 = Clock::now();
    int64_t added = sizeOf(name) - before;
    if (added < 1)
      added = 1;
    if (added > static_cast<int64_t>(bytes.size()))
      added = static_cast<int64_t>(bytes.size());
    const Clock::time_point t2 = Clock::now();
    if (write(fd, bytes.data(), static_cast<size_t>(added)) != added || fdatasync(fd) != 0)
      state.SkipWithError("write failed");
    const Clock::time_point t3 = Clock::now();
    commitSeconds += seconds(t0, t1);
    baseSeconds += seconds(t2, t3);
  }
  close(fd);
  Repository_close(repository, -1);
  const double n = static_cast<double>(state.iterations());
  state.counters["commit_us"] = 1e6 * commitSeconds / n;
  state.counters["baseline_us"] = 1e6 * baseSeconds / n;
  state.counters["ratio"] = baseSeconds > 0 ? commitSeconds / baseSeconds : 0;
}

BENCHMARK(BM_CommitLatency)->Iterations(300)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
