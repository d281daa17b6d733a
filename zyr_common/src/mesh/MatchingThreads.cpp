#include "MatchingThreads.h"

#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

const int kDefaultMost = 4;
const int kMost = 16;

std::atomic<int> s_threads{0};
std::atomic<int64_t> s_smallestRange{0};

int fromEnvironment() {
  const char *text = std::getenv("ZYR_MATCHING_THREADS");
  if (text == nullptr || *text == '\0')
    return 0;
  char *end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (*end != '\0' || value < 1)
    return 0;
  return static_cast<int>(std::min<long>(value, kMost));
}

// The processors this process may run on (taskset and cgroup cpusets narrow it).
int fromHardware() {
  cpu_set_t set;
  CPU_ZERO(&set);
  int n = 0;
  if (sched_getaffinity(0, sizeof set, &set) == 0)
    n = CPU_COUNT(&set);
  if (n < 1)
    n = static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN));
  return std::clamp(n, 1, kDefaultMost);
}

} // namespace

int MatchingThreads_count(void) {
  static const int s_count = [] {
    const int n = fromEnvironment();
    return n > 0 ? n : fromHardware();
  }();
  const int set = s_threads.load();
  return set > 0 ? set : s_count;
}

void MatchingThreads_set(int threads, int64_t smallestRange) {
  s_threads = std::clamp(threads, 0, kMost);
  s_smallestRange = std::max<int64_t>(smallestRange, 0);
}

void MatchingThreads_run(int parts, const std::function<void(int)> &work) {
  std::atomic<int> next{0};
  auto take = [&]() {
    for (int part = next++; part < parts; part = next++)
      work(part);
  };
  const int helpers = std::min(MatchingThreads_count(), parts) - 1;
  if (helpers < 1) {
    take();
    return;
  }
  std::vector<std::thread> threads;
  sigset_t all;
  sigset_t before;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, &before);
  for (int t = 0; t < helpers; ++t) {
    try {
      threads.emplace_back(take);
    } catch (...) {
      break; // fewer threads: the calling thread does what they do not
    }
  }
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
  take();
  for (std::thread &thread : threads)
    thread.join();
}

void MatchingThreads_alongside(const std::function<void()> &background, const std::function<void()> &foreground) {
  if (MatchingThreads_count() < 2) {
    foreground();
    background();
    return;
  }
  std::thread helper;
  sigset_t all;
  sigset_t before;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, &before);
  try {
    helper = std::thread(background);
  } catch (...) {
  }
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
  foreground();
  if (helper.joinable())
    helper.join();
  else
    background();
}

int MatchingThreads_ranges(int64_t n, int64_t grain) {
  if (s_smallestRange.load() > 0)
    grain = s_smallestRange.load();
  const int64_t most = std::max<int64_t>(1, n / std::max<int64_t>(grain, 1));
  return static_cast<int>(std::min<int64_t>(most, 4 * static_cast<int64_t>(MatchingThreads_count())));
}

void MatchingThreads_forRanges(int64_t n, int parts, const std::function<void(int, int64_t, int64_t)> &work) {
  if (n <= 0 || parts < 1)
    return;
  MatchingThreads_run(parts, [&](int part) { work(part, n * part / parts, n * (part + 1) / parts); });
}
