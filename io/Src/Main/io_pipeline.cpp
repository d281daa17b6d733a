// Ordered jobs with their pure step on worker threads.
#include "io_pipeline.h"

#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace {

const int kMaxThreads = 16;
// Jobs prepared ahead of the one being emitted, per thread: enough to keep every thread busy
// while the calling thread writes, few enough to bound the buffers held.
const int kJobsAheadPerThread = 2;

int s_override = 0;

int fromEnvironment() {
  const char *text = getenv("WEZ_COMPRESS_THREADS");
  if (!text || !*text) return 0;
  char *end = nullptr;
  long value = strtol(text, &end, 10);
  if (*end != '\0' || value < 1) return 0;
  return value > kMaxThreads ? kMaxThreads : static_cast<int>(value);
}

// The processors this process may run on (taskset and cgroups cpusets narrow it).
int fromHardware() {
  cpu_set_t set;
  CPU_ZERO(&set);
  int n = 0;
  if (sched_getaffinity(0, sizeof set, &set) == 0) n = CPU_COUNT(&set);
  if (n < 1) n = static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN));
  if (n < 1) n = 1;
  return n > kMaxThreads ? kMaxThreads : n;
}

// What the calling thread and the workers share: the prepared jobs not yet taken, and which of
// the jobs in the window are computed (a ring indexed by job number).
struct Shared {
  std::mutex m_mutex;
  std::condition_variable m_work; // a job was queued, or the run ends
  std::condition_variable m_done; // a job was computed
  std::deque<int64_t> m_queue;
  std::vector<char> m_computed;
  int64_t m_running = 0; // jobs being computed by workers
  bool m_quit = false;
  const IO_pipeline *m_pipeline = nullptr;

  char &computed(int64_t job) { return m_computed[static_cast<size_t>(job) % m_computed.size()]; }

  void worker() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
      m_work.wait(lock, [this] { return m_quit || !m_queue.empty(); });
      if (m_queue.empty()) return;
      int64_t job = m_queue.front();
      m_queue.pop_front();
      ++m_running;
      lock.unlock();
      m_pipeline->m_compute(job);
      lock.lock();
      --m_running;
      computed(job) = 1;
      m_done.notify_all();
    }
  }
};

int runSerially(int64_t count, const IO_pipeline &pipeline) {
  for (int64_t i = 0; i < count; ++i) {
    bool prepared = pipeline.m_prepare(i);
    if (prepared) pipeline.m_compute(i);
    int status = pipeline.m_emit(i);
    if (status != 0 || !prepared) return status;
  }
  return 0;
}

} // namespace

int io_pipeline_threads(void) {
  static const int s_resolved = [] {
    int n = fromEnvironment();
    return n > 0 ? n : fromHardware();
  }();
  return s_override > 0 ? s_override : s_resolved;
}

void io_set_pipeline_threads(int threads) {
  s_override = threads < 0 ? 0 : threads > kMaxThreads ? kMaxThreads : threads;
}

int64_t io_pipeline_window(int threads) {
  if (threads <= 0) threads = io_pipeline_threads();
  if (threads > kMaxThreads) threads = kMaxThreads;
  return threads <= 1 ? 1 : static_cast<int64_t>(threads) * kJobsAheadPerThread;
}

int io_run_pipeline(int64_t count, int threads, const IO_pipeline &pipeline) {
  if (threads <= 0) threads = io_pipeline_threads();
  if (threads > kMaxThreads) threads = kMaxThreads;
  if (threads <= 1 || count <= 1) return runSerially(count, pipeline);

  int64_t window = io_pipeline_window(threads);
  Shared shared;
  shared.m_pipeline = &pipeline;
  shared.m_computed.assign(static_cast<size_t>(window), 0);
  std::vector<std::thread> workers;
  int64_t wanted = threads - 1 < count - 1 ? threads - 1 : count - 1;
  // The workers block every signal, so that an interrupt still reaches the calling thread, as
  // it did before there were workers.
  sigset_t all, before;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, &before);
  for (int64_t w = 0; w < wanted; ++w) {
    try {
      workers.emplace_back(&Shared::worker, &shared);
    } catch (const std::system_error &) {
      break; // fewer workers: the calling thread computes what they do not
    }
  }
  pthread_sigmask(SIG_SETMASK, &before, nullptr);

  int64_t prepared = 0, emitted = 0;
  bool stopped = false; // a prepare failed: nothing after it is prepared
  int status = 0;
  std::unique_lock<std::mutex> lock(shared.m_mutex);
  auto fill = [&] {
    while (!stopped && prepared < count && prepared - emitted < window) {
      int64_t job = prepared++;
      shared.computed(job) = 0;
      lock.unlock();
      bool ok = pipeline.m_prepare(job);
      lock.lock();
      if (ok) {
        shared.m_queue.push_back(job);
        shared.m_work.notify_one();
      } else {
        shared.computed(job) = 1;
        stopped = true;
      }
    }
  };
  fill();
  while (emitted < prepared) {
    // Help with the queue while the next job in order is not computed yet.
    while (!shared.computed(emitted)) {
      if (shared.m_queue.empty()) {
        shared.m_done.wait(lock);
        continue;
      }
      int64_t job = shared.m_queue.front();
      shared.m_queue.pop_front();
      lock.unlock();
      pipeline.m_compute(job);
      lock.lock();
      shared.computed(job) = 1;
    }
    lock.unlock();
    status = pipeline.m_emit(emitted);
    lock.lock();
    ++emitted;
    if (status != 0) break;
    fill();
  }
  // After a failure: take back what no worker started, wait for the rest, then release them all.
  shared.m_queue.clear();
  shared.m_done.wait(lock, [&] { return shared.m_running == 0; });
  shared.m_quit = true;
  shared.m_work.notify_all();
  lock.unlock();
  for (std::thread &worker : workers) worker.join();
  for (int64_t job = emitted; job < prepared; ++job) pipeline.m_discard(job);
  return status;
}
