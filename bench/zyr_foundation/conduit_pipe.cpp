// 100 MB of doubles through a pipe conduit (Conduit_putDoubleArray / Conduit_getDoubleArray in
// blocks of 8192, a reader thread holding the other end as a child would), beside raw write and
// read of the same bytes in the same blocks on a plain pipe. Counters: conduit_MBps,
// raw_MBps and ratio = conduit time / raw time (lower is better; the aim is at most 1.5).
#include "Conduit.h"
#include "Pipe.h"
#include "zyrBenchSupport.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

using zyrbench::Clock;
using zyrbench::seconds;

constexpr int32_t kBlock = 8192;
constexpr int64_t kTotal = 100 * 1000 * 1000 / sizeof(double) / kBlock * kBlock;

std::vector<double> block() {
  std::vector<double> values(kBlock);
  for (int32_t i = 0; i < kBlock; ++i)
    values[i] = i * 0.5;
  return values;
}

void rawRead(int fd, void *buffer, size_t count) {
  char *at = static_cast<char *>(buffer);
  while (count > 0) {
    ssize_t got = read(fd, at, count);
    if (got <= 0)
      return;
    at += got;
    count -= static_cast<size_t>(got);
  }
}

double runRaw(const std::vector<double> &values) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0)
    return 0;
  std::thread reader([&] {
    std::vector<double> in(kBlock);
    for (int64_t done = 0; done < kTotal; done += kBlock) {
      int32_t count;
      rawRead(fds[0], &count, sizeof count);
      rawRead(fds[0], in.data(), sizeof(double) * static_cast<size_t>(count));
      benchmark::DoNotOptimize(in.data());
    }
  });
  auto start = Clock::now();
  for (int64_t done = 0; done < kTotal; done += kBlock) {
    int32_t count = kBlock;
    if (write(fds[1], &count, sizeof count) != sizeof count ||
        write(fds[1], values.data(), sizeof(double) * kBlock) != static_cast<ssize_t>(sizeof(double) * kBlock))
      break;
  }
  reader.join();
  double elapsed = seconds(start, Clock::now());
  close(fds[0]);
  close(fds[1]);
  return elapsed;
}

double runConduit(const std::vector<double> &values) {
  Conduit *parent = Conduit_newBeforeSpawn("pipe");
  std::string description = "pipe " + std::to_string(dup(Pipe_getReadFd(parent->m_writePipe))) + ".";
  Conduit *child = Conduit_newChildEnd(description.c_str());
  Conduit_afterSpawn(parent);
  std::thread reader([&] {
    std::vector<double> in(kBlock);
    int32_t count = 0;
    for (int64_t done = 0; done < kTotal; done += kBlock) {
      Conduit_getDoubleArray(child, in.data(), kBlock, &count);
      benchmark::DoNotOptimize(in.data());
    }
  });
  auto start = Clock::now();
  for (int64_t done = 0; done < kTotal; done += kBlock)
    if (Conduit_putDoubleArray(parent, values.data(), kBlock) != 1)
      break;
  reader.join();
  double elapsed = seconds(start, Clock::now());
  Conduit_delete(child);
  Conduit_delete(parent);
  return elapsed;
}

void BM_ConduitPipeDoubles(benchmark::State &state) {
  const std::vector<double> values = block();
  double raw = 0, conduit = 0;
  for (auto _ : state) {
    raw += runRaw(values);
    double t = runConduit(values);
    conduit += t;
    state.SetIterationTime(t);
  }
  const double bytes = static_cast<double>(kTotal) * sizeof(double) * static_cast<double>(state.iterations());
  state.counters["conduit_MBps"] = bytes / conduit / 1e6;
  state.counters["raw_MBps"] = bytes / raw / 1e6;
  state.counters["ratio"] = conduit / raw;
}

BENCHMARK(BM_ConduitPipeDoubles)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
