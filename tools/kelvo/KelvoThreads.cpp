#include "KelvoThreads.h"

#include <cstdlib>

#include <sched.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

const int32_t kMaxThreads = 16;

int32_t g_override = 0;

// Work of fewer items runs on the calling thread alone.
size_t g_from = 50000;

int32_t fromEnvironment() {
  const char *text = getenv("KELVO_THREADS");
  if (text == nullptr || *text == '\0')
    return 0;
  char *end = nullptr;
  const long value = strtol(text, &end, 10);
  if (*end != '\0' || value < 1)
    return 0;
  return value > kMaxThreads ? kMaxThreads : static_cast<int32_t>(value);
}

int32_t fromProcessors() {
  cpu_set_t set;
  CPU_ZERO(&set);
  int32_t n = 0;
  if (sched_getaffinity(0, sizeof set, &set) == 0)
    n = CPU_COUNT(&set);
  if (n < 1)
    n = static_cast<int32_t>(sysconf(_SC_NPROCESSORS_ONLN));
  if (n < 1)
    n = 1;
  return n > kMaxThreads ? kMaxThreads : n;
}

} // namespace

int32_t KelvoThreads_count() {
  if (g_override > 0)
    return g_override;
  static const int32_t count = [] {
    const int32_t given = fromEnvironment();
    return given > 0 ? given : fromProcessors();
  }();
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
