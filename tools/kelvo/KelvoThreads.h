#ifndef KELVO_THREADS_H
#define KELVO_THREADS_H
// The threads that the mesh reader works on a large mesh with, the calling one included:
// KELVO_THREADS when it is set to a number from 1 up, else the processors the process may run on
// (taskset and cpusets narrow them); at most 16. Work is split into parts whose results are put
// together in part order, so that nothing the reader writes depends on the count.
#include <cstdint>
#include <exception>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

int32_t KelvoThreads_count();
// Overrides the count for tests; 0 goes back to the environment and the processors. Returns the
// override before.
int32_t KelvoThreads_set(int32_t threads);

// Runs work(part, parts) for each part from 0 to parts - 1, each on a thread of its own (part 0
// on the calling one). When no more threads are to be had, the parts left run one after the
// other on the calling thread. The first exception of a part is thrown again once all are done.
template <class Work> void KelvoThreads_run(int32_t parts, Work work) {
  if (parts <= 1) {
    work(0, 1);
    return;
  }
  std::vector<std::exception_ptr> failures(static_cast<size_t>(parts));
  std::vector<std::thread> others;
  auto guarded = [&](int32_t part) {
    try {
      work(part, parts);
    } catch (...) {
      failures[static_cast<size_t>(part)] = std::current_exception();
    }
  };
  int32_t started = 1;
  try {
    others.reserve(static_cast<size_t>(parts - 1));
    for (; started < parts; ++started)
      others.emplace_back(guarded, started);
  } catch (const std::system_error &) { // no thread to be had: the rest here
  } catch (const std::bad_alloc &) {
  }
  guarded(0);
  for (int32_t part = started; part < parts; ++part)
    guarded(part);
  for (std::thread &t : others)
    t.join();
  for (const std::exception_ptr &failure : failures)
    if (failure)
      std::rethrow_exception(failure);
}

#endif
