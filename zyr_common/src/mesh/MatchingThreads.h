#ifndef MATCHING_THREADS_H
#define MATCHING_THREADS_H
// Work of the mesh matching split into parts that may run on several threads. Each part reads
// what all share and writes only what is its own, and what the parts find is put together in
// part order, so results depend neither on the number of threads nor on how the work is split.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <type_traits>

// The threads that matching may use: the processors this process may run on, at most 4. The
// environment variable ZYR_MATCHING_THREADS (1 to 16) sets it, read once.
int MatchingThreads_count(void);

// Calls work(part) for every part 0 .. parts - 1 on up to MatchingThreads_count() threads, the
// calling thread among them, and returns when all are done. The other threads block every
// signal, so that an interrupt still reaches the calling thread.
void MatchingThreads_run(int parts, const std::function<void(int)> &work);

// Calls background() on another thread while foreground() runs on the calling thread, and
// returns when both are done (one after the other when matching may use one thread). background()
// must touch nothing that foreground() touches, nor the tracked allocator or the error records.
void MatchingThreads_alongside(const std::function<void()> &background, const std::function<void()> &foreground);

// The number of ranges to split n items into: a few per thread, each of at least `grain` items.
int MatchingThreads_ranges(int64_t n, int64_t grain);
// Calls work(part, begin, end) for `parts` consecutive ranges that cover 0 .. n - 1, as the parts
// of MatchingThreads_run.
void MatchingThreads_forRanges(int64_t n, int parts, const std::function<void(int, int64_t, int64_t)> &work);

// For tests and measurements: the number of threads (0 goes back to the one above) and the
// smallest range, which overrides every caller's grain (0 goes back to the callers' own).
void MatchingThreads_set(int threads, int64_t smallestRange);

// An array of plain items that are all written before they are read: made without setting them,
// so that the threads that fill it are the first to touch its memory, each its own range.
template <class T> class WorkArray {
  static_assert(std::is_trivially_default_constructible<T>::value, "plain items");

public:
  // n items, unset (the items already there are kept only when n fits).
  void resize(size_t n) {
    if (n > m_capacity) {
      m_items.reset(new T[n]);
      m_capacity = n;
    }
    m_size = n;
  }
  size_t size() const { return m_size; }
  T *data() { return m_items.get(); }
  const T *data() const { return m_items.get(); }
  T &operator[](size_t i) { return m_items[i]; }
  const T &operator[](size_t i) const { return m_items[i]; }
  T *begin() { return m_items.get(); }
  T *end() { return m_items.get() + m_size; }
  const T *begin() const { return m_items.get(); }
  const T *end() const { return m_items.get() + m_size; }

private:
  std::unique_ptr<T[]> m_items;
  size_t m_size = 0;
  size_t m_capacity = 0;
};

#endif
