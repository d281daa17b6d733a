#ifndef ZYR_MEMORY_H
#define ZYR_MEMORY_H
// The tracked allocator. Every block the core hands around comes from here, tagged with the
// calling function's name. A request for zero bytes (or fewer) gives NULL; a request the system
// cannot meet ends the process, so callers never test for NULL after a positive request. With
// ZYR_MEMORY_LOG set (or a LOGS MEMORY entry in the debug control file) every allocation,
// reallocation and release is written to the memory log with a running total.
#include <cstdint>

struct MemoryMonitor;

void *zyrMemory_allocate(int64_t size, const char *tag);
void *zyrMemory_tryAllocate(int64_t size, const char *tag);
void *zyrMemory_allocateAndSet(int64_t size, int value, const char *tag);
void *zyrMemory_reallocate(void *block, int64_t size, const char *tag);
void *zyrMemory_duplicate(const void *source, int64_t size, const char *tag);
void zyrMemory_register(int64_t size, void *block, const char *tag);
void zyrMemory_free(void *block, const char *tag);
void zyrMemory_free_external(void *block, const char *tag);
// Installs a monitor (or none) as the memory log; returns the previous one for the caller to
// dispose of.
MemoryMonitor *zyrMemory_setMonitor(MemoryMonitor *monitor);

// Releases *block and clears the pointer.
template <class T> inline void zyrMemory_freeAndClear(T **block, const char *tag) {
  if (block == nullptr)
    return;
  zyrMemory_free(static_cast<void *>(*block), tag);
  *block = nullptr;
}

// Typed conveniences over the allocator: count elements of T.
template <class T> inline T *zyrMemory_allocateArray(int64_t count, const char *tag) {
  return static_cast<T *>(zyrMemory_allocate(count * static_cast<int64_t>(sizeof(T)), tag));
}
template <class T> inline T *zyrMemory_allocateZeroedArray(int64_t count, const char *tag) {
  return static_cast<T *>(zyrMemory_allocateAndSet(count * static_cast<int64_t>(sizeof(T)), 0, tag));
}
template <class T> inline T *zyrMemory_reallocateArray(T *block, int64_t count, const char *tag) {
  return static_cast<T *>(zyrMemory_reallocate(block, count * static_cast<int64_t>(sizeof(T)), tag));
}

#endif
