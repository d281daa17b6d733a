#ifndef ZYR_WORKER_H
#define ZYR_WORKER_H
// Workers: the library's own threads, which compute beside the thread that called the library.
// A worker blocks every signal, so that an interrupt reaches the calling thread as it did before
// there were workers; the calling thread looks at interrupt requests (zyrInterrupt.h), workers
// never do. A worker only touches what its caller handed it: the tracked allocator, the error
// records, the trace and the store each serve one thread.
#include <functional>
#include <thread>

// The threads a kind of work may use: the number in the environment variable when it is set to
// one from 1 up (at most 16), else the processors this process may run on (taskset and cgroup
// cpusets narrow them), at most `most`. Never below 1.
int zyrWorker_count(const char *variable, int most);

// A thread running the work, every signal blocked in it; throws what std::thread throws when no
// thread can be had.
std::thread zyrWorker_thread(std::function<void()> work);

// One piece of work done beside the caller: started, then joined before its results are used.
struct zyrWorker {
  std::thread m_thread;
  std::function<void()> m_postponed; // the work, when no thread could be had
};

// Starts the work on a worker thread. When no thread can be had, the work is done by the join
// instead, on the calling thread, so that the results are the same either way (and work that
// waits for something the caller hands over before the join still gets it).
void zyrWorker_start(zyrWorker *worker, std::function<void()> work);
// Waits until the work is done.
void zyrWorker_join(zyrWorker *worker);

#endif
