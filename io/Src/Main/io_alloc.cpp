// Allocation of the data-set library. Failure is answered with NULL, never with an exit.
#include "io_alloc.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {
// Allocations still allowed before the injected failures start (-1: no injection), and the
// failures still to come (-1: all). The workers of the compression and of the open allocate too
// (a message with WEZ_IO_DEBUG_ERRORS set): the counts change under a lock, and an allocation
// without injection, the usual case, only reads the flag.
std::atomic<bool> s_injecting{false};
std::mutex s_injection;
int64_t s_allocationsLeft = -1;
int64_t s_failuresLeft = 0;

bool allocationAllowed() {
  if (!s_injecting.load(std::memory_order_acquire)) return true;
  std::lock_guard<std::mutex> hold(s_injection);
  if (s_allocationsLeft < 0) return true;
  if (s_allocationsLeft > 0) {
    --s_allocationsLeft;
    return true;
  }
  if (s_failuresLeft == 0) {
    s_allocationsLeft = -1;
    s_injecting.store(false, std::memory_order_release);
    return true;
  }
  if (s_failuresLeft > 0) --s_failuresLeft;
  return false;
}
} // namespace

void io_alloc_fail(int64_t skip, int64_t failures) {
  std::lock_guard<std::mutex> hold(s_injection);
  s_allocationsLeft = skip < 0 ? -1 : skip;
  s_failuresLeft = failures;
  s_injecting.store(skip >= 0, std::memory_order_release);
}

void *io_malloc(size_t size) {
  if (!allocationAllowed()) return nullptr;
  return malloc(size == 0 ? 1 : size);
}

void *io_calloc(size_t count, size_t size) {
  if (!allocationAllowed()) return nullptr;
  if (count == 0 || size == 0) return calloc(1, 1);
  return calloc(count, size);
}

void *io_realloc(void *pointer, size_t size) {
  if (!allocationAllowed()) return nullptr;
  return realloc(pointer, size == 0 ? 1 : size);
}

void io_free(void *pointer) { free(pointer); }

char *io_strdup(const char *text) {
  if (!text) return nullptr;
  size_t n = strlen(text) + 1;
  char *copy = static_cast<char *>(io_malloc(n));
  if (copy) memcpy(copy, text, n);
  return copy;
}
