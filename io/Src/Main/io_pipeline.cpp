// Ordered jobs with their pure step on worker threads.
#include "io_pipeline.h"

#include "zyrWorker.h"


#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace {

const int kMaxThreads = 16;
// Jobs prepared ahead of the one being emitted, per thread: enough to keep every thread busy
// while the calling thread writes, few enough to bound the buffers held.
const int kJobsAheadPerThread = 2;
static_assert(kMaxThreads * kJobsAheadPerThread <= IO_PIPELINE_MAX_WINDOW, "window");

int s_override = 0;

int clampThreads(int threads) {
  if (threads <= 0) threads = io_pipeline_threads();
  return threads > kMaxThreads ? kMaxThreads : threads;
}

// What the calling thread and the workers share. Jobs are queued in their order, so the queue is
// the run of job numbers from m_nextToTake up to m_queued; which jobs of the window are computed
// is a ring indexed by job number.
struct Shared {
  std::mutex m_mutex;
  std::condition_variable m_work; // a job was queued, or the run ends
  std::condition_variable m_done; // a job was computed
  int64_t m_nextToTake = 0;
  int64_t m_queued = 0;
  char m_computed[IO_PIPELINE_MAX_WINDOW] = {};
  int64_t m_window = 1;
  int64_t m_running = 0; // jobs being computed by workers
  bool m_quit = false;
  const IO_pipeline *m_pipeline = nullptr;

  char &computed(int64_t job) { return m_computed[job % m_window]; }
  bool queueEmpty() const { return m_nextToTake >= m_queued; }

  void worker() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
      m_work.wait(lock, [this] { return m_quit || !queueEmpty(); });
      if (queueEmpty()) return;
      int64_t job = m_nextToTake++;
      ++m_running;
      lock.unlock();
      m_pipeline->m_compute(m_pipeline->m_context, job);
      lock.lock();
      --m_running;
      computed(job) = 1;
      m_done.notify_all();
    }
  }
};

int runSerially(int64_t count, const IO_pipeline &pipeline) {
  for (int64_t i = 0; i < count; ++i) {
    bool prepared = pipeline.m_prepare(pipeline.m_context, i);
    if (prepared) pipeline.m_compute(pipeline.m_context, i);
    int status = pipeline.m_emit(pipeline.m_context, i);
    if (status != 0 || !prepared) return status;
  }
  return 0;
}

} // namespace

int io_pipeline_threads(void) {
  static const int s_resolved = zyrWorker_count("WEZ_COMPRESS_THREADS", kMaxThreads);
  return s_override > 0 ? s_override : s_resolved;
}

void io_set_pipeline_threads(int threads) {
  s_override = threads < 0 ? 0 : threads > kMaxThreads ? kMaxThreads : threads;
}

int64_t io_pipeline_window(int threads) {
  threads = clampThreads(threads);
  return threads <= 1 ? 1 : static_cast<int64_t>(threads) * kJobsAheadPerThread;
}

int io_run_pipeline(int64_t count, int threads, const IO_pipeline &pipeline) {
  threads = clampThreads(threads);
  if (threads <= 1 || count <= 1) return runSerially(count, pipeline);

  Shared shared;
  shared.m_pipeline = &pipeline;
  shared.m_window = io_pipeline_window(threads);
  std::thread workers[kMaxThreads];
  int started = 0;
  int wanted = static_cast<int>(threads - 1 < count - 1 ? threads - 1 : count - 1);
  // The workers block every signal, so that an interrupt still reaches the calling thread.
  for (; started < wanted; ++started) {
    try {
      workers[started] = zyrWorker_thread([&shared] { shared.worker(); });
    } catch (...) {
      break; // fewer workers: the calling thread computes what they do not
    }
  }

  const IO_pipeline &p = pipeline;
  int64_t prepared = 0, emitted = 0;
  bool stopped = false; // a prepare failed: nothing after it is prepared
  int status = 0;
  std::unique_lock<std::mutex> lock(shared.m_mutex);
  auto fill = [&] {
    while (!stopped && prepared < count && prepared - emitted < shared.m_window) {
      int64_t job = prepared++;
      shared.computed(job) = 0;
      lock.unlock();
      bool ok = p.m_prepare(p.m_context, job);
      lock.lock();
      if (ok) {
        shared.m_queued = job + 1;
        shared.m_work.notify_one();
      } else {
        // Not queued: the jobs queued are those before it.
        shared.computed(job) = 1;
        stopped = true;
      }
    }
  };
  fill();
  while (emitted < prepared) {
    // Help with the queue while the next job in order is not computed yet.
    while (!shared.computed(emitted)) {
      if (shared.queueEmpty()) {
        shared.m_done.wait(lock);
        continue;
      }
      int64_t job = shared.m_nextToTake++;
      lock.unlock();
      p.m_compute(p.m_context, job);
      lock.lock();
      shared.computed(job) = 1;
    }
    lock.unlock();
    status = p.m_emit(p.m_context, emitted);
    lock.lock();
    ++emitted;
    if (status != 0) break;
    fill();
  }
  // After a failure: take back what no worker started, wait for the rest, then release them all.
  shared.m_nextToTake = shared.m_queued;
  shared.m_done.wait(lock, [&] { return shared.m_running == 0; });
  shared.m_quit = true;
  shared.m_work.notify_all();
  lock.unlock();
  for (int w = 0; w < started; ++w) workers[w].join();
  for (int64_t job = emitted; job < prepared; ++job) p.m_discard(p.m_context, job);
  return status;
}
