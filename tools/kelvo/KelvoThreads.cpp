#include "KelvoThreads.h"

#include "zyrWorker.h"

#include <cstdlib>

#include <sys/mman.h>
#include <unistd.h>

namespace {

const int32_t kMaxThreads = 16;

int32_t g_override = 0;

// Work of fewer items runs on the calling thread alone.
size_t g_from = 50000;

} // namespace

int32_t KelvoThreads_count() {
  if (g_override > 0)
    return g_override;
  static const int32_t count = zyrWorker_count("KELVO_THREADS", kMaxThreads);
  return count;
}

int32_t KelvoThreads_set(int32_t threads) {
  const int32_t before = g_override;
  g_override = threads > 0 ? (threads > kMaxThreads ? kMaxThreads : threads) : 0;
  return before;
}

int32_t KelvoThreads_for(size_t items) { return items >= g_from ? KelvoThreads_count() : 1; }

int64_t KelvoThreads_setFrom(int64_t items) {
  const int64_t before = static_cast<int64_t>(g_from);
  g_from = static_cast<size_t>(items > 0 ? items : 0);
  return before;
}

void *KelvoArray_map(size_t bytes) {
  void *memory = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (memory == MAP_FAILED)
    throw std::bad_alloc();
  return memory;
}

void KelvoArray_unmap(void *memory, size_t bytes) { munmap(memory, bytes); }
