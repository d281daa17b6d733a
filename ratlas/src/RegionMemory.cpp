#include "RegionMemory.h"

#include <cstdlib>
#include <cstring>

namespace {

// Larger requests cannot be met on any machine we run on; refusing them keeps a bad size from
// reaching the allocator (which may abort on it under the sanitizers).
const size_t kLargestBlock = size_t(1) << 40;

int64_t s_allowed = -1;
int64_t s_failures = 0;

bool refuse(size_t size) {
  if (size > kLargestBlock) return true;
  if (s_allowed < 0) return false;
  if (s_allowed > 0) {
    --s_allowed;
    return false;
  }
  if (s_failures <= 0) {
    s_allowed = -1;
    return false;
  }
  --s_failures;
  return true;
}

} // namespace

void* RegionMemory_alloc(size_t size) {
  if (refuse(size)) return nullptr;
  return malloc(size ? size : 1);
}

void* RegionMemory_allocZeroed(size_t count, size_t size) {
  if (size && count > kLargestBlock / size) return nullptr;
  if (refuse(count * size)) return nullptr;
  return calloc(count ? count : 1, size ? size : 1);
}

void* RegionMemory_realloc(void* block, size_t size) {
  if (refuse(size)) return nullptr;
  return realloc(block, size ? size : 1);
}

void* RegionMemory_allocArray(uint64_t count, size_t size) {
  if (size && count > kLargestBlock / size) return nullptr;
  return RegionMemory_alloc(static_cast<size_t>(count) * size);
}

void* RegionMemory_reallocArray(void* block, uint64_t count, size_t size) {
  if (size && count > kLargestBlock / size) return nullptr;
  return RegionMemory_realloc(block, static_cast<size_t>(count) * size);
}

char* RegionMemory_strdup(const char* text) {
  if (!text) return nullptr;
  size_t n = strlen(text) + 1;
  char* copy = static_cast<char*>(RegionMemory_alloc(n));
  if (copy) memcpy(copy, text, n);
  return copy;
}

void RegionMemory_free(void* block) { free(block); }

bool RegionMemory_admit(size_t size) { return !refuse(size); }

void RegionMemory_release(void* block) { free(block); }

void RegionMemory_failAfter(int64_t allowed, int64_t failures) {
  s_allowed = allowed < 0 || failures <= 0 ? -1 : allowed;
  s_failures = failures;
}
