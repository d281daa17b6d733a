#ifndef KELVO_THREADS_H
#define KELVO_THREADS_H
// The threads that the mesh reader works on a large mesh with, the calling one included:
// KELVO_THREADS when it is set to a number from 1 up, else the processors the process may run on
// (taskset and cpusets narrow them); at most 16. Work is split into parts whose results are put
// together in part order, so that nothing the reader writes depends on the count.
#include "zyrWorker.h"

#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <new>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

int32_t KelvoThreads_count();
// Overrides the count for tests; 0 goes back to the environment and the processors. Returns the
// override before.
int32_t KelvoThreads_set(int32_t threads);

// The threads for work of `items` items: one below the size worth the threads' start (the
// threshold), else the count.
int32_t KelvoThreads_for(size_t items);
// Sets the threshold (tests make it small to split small meshes); returns the one before.
int64_t KelvoThreads_setFrom(int64_t items);

// The first item of part `part` of `parts` of n items: the parts follow each other in order.
inline size_t KelvoThreads_begin(size_t n, int32_t part, int32_t parts) {
  return static_cast<size_t>(static_cast<unsigned __int128>(n) * static_cast<uint32_t>(part) /
                             static_cast<uint32_t>(parts));
}

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
      others.push_back(zyrWorker_thread([&guarded, started] { guarded(started); }));
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

// Work that runs beside the calling thread until joined (at the latest when destroyed), such as
// handing large memory back to the system; with one thread, or none to be had, it runs at once.
class KelvoAside {
public:
  template <class Work> explicit KelvoAside(Work work) {
    if (KelvoThreads_count() > 1) {
      try {
        m_thread = std::thread(work);
        return;
      } catch (const std::system_error &) {
      }
    }
    work();
  }
  ~KelvoAside() { join(); }
  KelvoAside(const KelvoAside &) = delete;
  KelvoAside &operator=(const KelvoAside &) = delete;
  void join() {
    if (m_thread.joinable())
      m_thread.join();
  }

private:
  std::thread m_thread;
};

// Memory of its own mapping for a large array (throws std::bad_alloc), and giving it back: such
// an array's memory goes back to the system when it is freed, whichever thread frees it.
void *KelvoArray_map(size_t bytes);
void KelvoArray_unmap(void *memory, size_t bytes);
const size_t kKelvoArrayMapped = size_t(4) << 20; // arrays of this many bytes and more

// An allocator whose vectors grow without setting the values they grow by (resize(n) alone):
// for arrays that threads then fill in parts. Zeroing them first would touch, and have the
// system fault in, all their memory on one thread. Large arrays are mapped on their own.
template <class T> struct KelvoUnsetAllocator : std::allocator<T> {
  template <class U> struct rebind {
    typedef KelvoUnsetAllocator<U> other;
  };
  KelvoUnsetAllocator() = default;
  template <class U> KelvoUnsetAllocator(const KelvoUnsetAllocator<U> &) noexcept {}
  T *allocate(size_t n) {
    if (n > SIZE_MAX / sizeof(T) || n * sizeof(T) < kKelvoArrayMapped)
      return std::allocator<T>::allocate(n);
    return static_cast<T *>(KelvoArray_map(n * sizeof(T)));
  }
  void deallocate(T *p, size_t n) {
    if (n * sizeof(T) < kKelvoArrayMapped)
      std::allocator<T>::deallocate(p, n);
    else
      KelvoArray_unmap(p, n * sizeof(T));
  }
  template <class U> void construct(U *p) noexcept { ::new (static_cast<void *>(p)) U; }
  template <class U, class... Args> void construct(U *p, Args &&...args) {
    ::new (static_cast<void *>(p)) U(std::forward<Args>(args)...);
  }
};
template <class T> using KelvoArray = std::vector<T, KelvoUnsetAllocator<T>>;

#endif
