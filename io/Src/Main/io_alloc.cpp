// Allocation of the data-set library. Failure is answered with NULL, never with an exit.
#include "io_alloc.h"

#include <cstdlib>
#include <cstring>

namespace {
// Allocations still allowed before the injected failures start (-1: no injection), and the
// failures still to come (-1: all).
int64_t s_allocationsLeft = -1;
int64_t s_failuresLeft = 0;

bool allocationAllowed() {
  if (s_allocationsLeft < 0) return true;
  if (s_allocationsLeft > 0) {
    --s_allocationsLeft;
    return true;
  }
  if (s_failuresLeft == 0) {
    s_allocationsLeft = -1;
    return true;
  }
  if (s_failuresLeft > 0) --s_failuresLeft;
  return false;
}
} // namespace

void io_alloc_fail(int64_t skip, int64_t failures) {
  s_allocationsLeft = skip < 0 ? -1 : skip;
  s_failuresLeft = failures;
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
