// Worker threads that leave every signal to the thread that started them.
#include "zyrWorker.h"

#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include <system_error>
#include <utility>

int zyrWorker_count(const char *variable, int most) {
  const int kMost = 16;
  const char *text = variable != nullptr ? std::getenv(variable) : nullptr;
  if (text != nullptr && *text != '\0') {
    char *end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (*end == '\0' && value >= 1)
      return static_cast<int>(std::min<long>(value, kMost));
  }
  cpu_set_t set;
  CPU_ZERO(&set);
  int n = 0;
  if (sched_getaffinity(0, sizeof set, &set) == 0)
    n = CPU_COUNT(&set);
  if (n < 1)
    n = static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN));
  return std::max(1, std::min({n, most, kMost}));
}

std::thread zyrWorker_thread(std::function<void()> work) {
  // A new thread inherits the mask of the one that starts it: block everything while starting,
  // then restore the caller's own mask, also when the start fails.
  sigset_t all, before;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, &before);
  struct Restore {
    const sigset_t *m_mask;
    ~Restore() { pthread_sigmask(SIG_SETMASK, m_mask, nullptr); }
  } restore{&before};
  return std::thread(std::move(work));
}

void zyrWorker_start(zyrWorker *worker, std::function<void()> work) {
  try {
    worker->m_thread = zyrWorker_thread(work);
  } catch (const std::system_error &) {
    worker->m_postponed = std::move(work);
  }
}

void zyrWorker_join(zyrWorker *worker) {
  if (worker->m_thread.joinable())
    worker->m_thread.join();
  if (worker->m_postponed) {
    std::function<void()> work = std::move(worker->m_postponed);
    worker->m_postponed = nullptr;
    work();
  }
}
