// A reading open of a data-set file that another process reads, on a machine where many idle
// processes hold many files each, against the same open on a machine without them, measured in
// the same run: "ratio_quiet" is the one over the other. The open finds its lock file counting a
// reader and asks whether somebody really holds the file; that is told by trying the file's own
// lock, never by searching every process's descriptors (which cost 180-430 ms an open with 500 to
// 1,000 such processes, and kept every other open of the directory waiting). The open should cost
// what it costs on a quiet machine, within 1.5 times.
#include "IntDataSets.h"
#include "zyrBenchSupport.h"
#include "zyrTestSupport.h"

#include <benchmark/benchmark.h>

#include <csignal>
#include <fcntl.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

// Processes that each hold `files` descriptors of the directory's files and wait to be killed.
class IdleProcesses {
public:
  IdleProcesses(size_t count, size_t files, const std::string &file) {
    for (size_t i = 0; i < count; ++i) {
      int ready[2];
      if (pipe(ready) != 0) break;
      const pid_t pid = fork();
      if (pid == 0) {
        close(ready[0]);
        for (size_t f = 0; f < files; ++f)
          if (open(file.c_str(), O_RDONLY) < 0) _exit(1);
        const char held = 'h';
        if (write(ready[1], &held, 1) != 1) _exit(1);
        for (;;) pause();
      }
      close(ready[1]);
      char held = 0;
      if (pid > 0 && read(ready[0], &held, 1) == 1) m_pids.push_back(pid);
      close(ready[0]);
    }
  }
  ~IdleProcesses() {
    for (pid_t pid : m_pids) kill(pid, SIGKILL);
    for (pid_t pid : m_pids) waitpid(pid, nullptr, 0);
  }
  size_t size() const { return m_pids.size(); }

private:
  std::vector<pid_t> m_pids;
};

// A reader of the file in a process of its own, for as long as the object lives.
class Reader {
public:
  explicit Reader(const std::string &path) {
    int ready[2], done[2];
    if (pipe(ready) != 0 || pipe(done) != 0) return;
    m_pid = fork();
    if (m_pid == 0) {
      close(ready[0]);
      close(done[1]);
      IO_file record;
      iif_clear_record(&record);
      const char opened = iif_open(&record, path.c_str(), "r") == IO_OK ? 'r' : 'x';
      if (write(ready[1], &opened, 1) != 1) _exit(1);
      char c;
      while (read(done[0], &c, 1) > 0) {
      }
      iif_close(&record);
      _exit(0);
    }
    close(ready[1]);
    close(done[0]);
    m_done = done[1];
    char opened = 0;
    m_reading = read(ready[0], &opened, 1) == 1 && opened == 'r';
    close(ready[0]);
  }
  ~Reader() {
    if (m_done >= 0) close(m_done);
    if (m_pid > 0) waitpid(m_pid, nullptr, 0);
  }
  bool reading() const { return m_reading; }

private:
  pid_t m_pid = -1;
  int m_done = -1;
  bool m_reading = false;
};

// Seconds of one open for reading and its close; negative when the open fails.
double timedOpen(const std::string &path) {
  IO_file record;
  iif_clear_record(&record);
  const auto a = zyrbench::Clock::now();
  const int opened = iif_open(&record, path.c_str(), "r");
  iif_close(&record);
  const auto b = zyrbench::Clock::now();
  return opened == IO_OK ? zyrbench::seconds(a, b) : -1;
}

// The quiet side first, then as many opens among the idle processes, made once for them all.
void BM_OpenBesideIdleProcesses(benchmark::State &state) {
  const size_t processes = static_cast<size_t>(state.range(0));
  zyrtest::ScratchDir scratch("bench_open_busy");
  const std::string path = scratch.file("read.wez");
  if (!writeIntDataSets(path, "U5", 100, [](size_t i, IO_header *header) {
        snprintf(header->m_what, IO_NAME_LEN, "attr");
        snprintf(header->m_where, IO_NAME_LEN, "obj%08zu", i);
        return static_cast<int32_t>(i);
      })) {
    state.SkipWithError("the file could not be made");
    return;
  }
  Reader reader(path);
  if (!reader.reading()) {
    state.SkipWithError("the other reader could not open the file");
    return;
  }
  double busy = 0, quiet = 0;
  for (auto _ : state) {
    const double q = timedOpen(path);
    if (q < 0) {
      state.SkipWithError("an open failed");
      return;
    }
    quiet += q;
  }
  const size_t iterations = state.iterations();
  IdleProcesses idle(processes, 100, path);
  if (idle.size() != processes) {
    state.SkipWithError("the idle processes could not all be made");
    return;
  }
  for (size_t i = 0; i < iterations; ++i) {
    const double b = timedOpen(path);
    if (b < 0) {
      state.SkipWithError("an open failed");
      return;
    }
    busy += b;
  }
  zyrbench::reportTotals(state, "busy", busy, "quiet", quiet, 2);
}
BENCHMARK(BM_OpenBesideIdleProcesses)->Arg(500)->Unit(benchmark::kMillisecond)->Iterations(200);

} // namespace

BENCHMARK_MAIN();
