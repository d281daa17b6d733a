#include "MatchingThreads.h"

#include "zyrWorker.h"

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

} // namespace

int MatchingThreads_count(void) {
  static const int s_count = zyrWorker_count("ZYR_MATCHING_THREADS", kDefaultMost);
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
  for (int t = 0; t < helpers; ++t) {
    try {
      threads.push_back(zyrWorker_thread(take));
    } catch (...) {
      break; // fewer threads: the calling thread does what they do not
    }
  }
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
  try {
    helper = zyrWorker_thread(background);
  } catch (...) {
  }
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
