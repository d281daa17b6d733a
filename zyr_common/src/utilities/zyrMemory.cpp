// The tracked allocator: the system heap behind one flag test and one pointer test per call, plus
// the memory log when one is active.
#include "zyrMemory.h"

#include "MemoryMonitor.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int g_initialised = 0;
MemoryMonitor *g_monitor = nullptr;

void initialise() {
  g_initialised = 1;
  const char *name = std::getenv("ZYR_MEMORY_LOG");
  if (name != nullptr && g_monitor == nullptr)
    g_monitor = MemoryMonitor_new(name);
}

inline void ensureInitialised() {
  if (!g_initialised)
    initialise();
}

[[noreturn]] void outOfMemory(int64_t size, const char *tag) {
  std::fprintf(stderr, "  Unable to allocate enough memory in function\n\n%s\n\n", tag ? tag : "");
  std::fprintf(stderr, "  Requested number of bytes was %" PRId64 ".\n\n", size);
  std::fflush(stderr);
  std::exit(1);
}

void *tracked(void *block, int64_t size, const char *tag) {
  if (g_monitor != nullptr)
    MemoryMonitor_recordAllocation(g_monitor, block, size, tag);
  return block;
}

} // namespace

// The memory log is told of a block's old address after the block has been released or moved:
// the address is only a key there, never dereferenced.
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ >= 12
#pragma GCC diagnostic ignored "-Wuse-after-free"
#endif

void *zyrMemory_allocate(int64_t size, const char *tag) {
  ensureInitialised();
  if (size <= 0)
    return nullptr;
  void *block = std::malloc(static_cast<size_t>(size));
  if (block == nullptr)
    outOfMemory(size, tag);
  return tracked(block, size, tag);
}

void *zyrMemory_tryAllocate(int64_t size, const char *tag) {
  ensureInitialised();
  if (size <= 0)
    return nullptr;
  void *block = std::malloc(static_cast<size_t>(size));
  return block ? tracked(block, size, tag) : nullptr;
}

void *zyrMemory_allocateAndSet(int64_t size, int value, const char *tag) {
  ensureInitialised();
  if (size <= 0)
    return nullptr;
  void *block = value == 0 ? std::calloc(1, static_cast<size_t>(size)) : std::malloc(static_cast<size_t>(size));
  if (block == nullptr)
    outOfMemory(size, tag);
  if (value != 0)
    std::memset(block, value, static_cast<size_t>(size));
  return tracked(block, size, tag);
}

void *zyrMemory_reallocate(void *block, int64_t size, const char *tag) {
  ensureInitialised();
  if (size <= 0) {
    zyrMemory_free(block, tag);
    return nullptr;
  }
  void *moved = std::realloc(block, static_cast<size_t>(size));
  if (moved == nullptr)
    outOfMemory(size, tag);
  if (g_monitor != nullptr)
    MemoryMonitor_recordReallocation(g_monitor, block, moved, size, tag);
  return moved;
}

void *zyrMemory_duplicate(const void *source, int64_t size, const char *tag) {
  void *block = zyrMemory_allocate(size, tag);
  if (block != nullptr)
    std::memcpy(block, source, static_cast<size_t>(size));
  return block;
}

void zyrMemory_register(int64_t size, void *block, const char *tag) {
  ensureInitialised();
  if (size <= 0)
    return;
  tracked(block, size, tag);
}

void zyrMemory_free(void *block, const char *tag) {
  ensureInitialised();
  if (block == nullptr)
    return;
  std::free(block);
  if (g_monitor != nullptr)
    MemoryMonitor_recordRelease(g_monitor, block, tag);
}

void zyrMemory_free_external(void *block, const char *) { std::free(block); }

MemoryMonitor *zyrMemory_setMonitor(MemoryMonitor *monitor) {
  MemoryMonitor *previous = g_monitor;
  g_monitor = monitor;
  return previous;
}
