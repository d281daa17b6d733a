// The memory log. Live-block records come from the runtime heap, never from the tracked
// allocator, so that logging never logs itself. Besides the newest-first list the monitor keeps
// an index by address, so a release costs the same with a million live blocks as with ten; the
// index always answers the record that a search from the head of the list would find.
#include "MemoryMonitor.h"

#include <cinttypes>
#include <cstdlib>
#include <new>
#include <unordered_map>
#include <vector>

namespace {
struct LiveBlock {
  void *m_pointer;
  int64_t m_size;
  uint64_t m_order; // position in the list: greater is nearer the head
  LiveBlock *m_newer;
  LiveBlock *m_older;
};
} // namespace

struct MemoryMonitor {
  int64_t m_total;
  LiveBlock *m_blocks; // head: the newest record
  uint64_t m_nextOrder;
  FILE *m_stream;
  std::unordered_map<void *, std::vector<LiveBlock *>> *m_index;
};

namespace {

void indexAdd(MemoryMonitor *monitor, LiveBlock *block) {
  (*monitor->m_index)[block->m_pointer].push_back(block);
}

void indexRemove(MemoryMonitor *monitor, LiveBlock *block) {
  auto it = monitor->m_index->find(block->m_pointer);
  if (it == monitor->m_index->end())
    return;
  std::vector<LiveBlock *> &v = it->second;
  for (size_t i = 0; i < v.size(); ++i)
    if (v[i] == block) {
      v.erase(v.begin() + static_cast<std::ptrdiff_t>(i));
      break;
    }
  if (v.empty())
    monitor->m_index->erase(it);
}

// The record that a search from the head would find first: the one nearest the head.
LiveBlock *findBlock(MemoryMonitor *monitor, void *pointer) {
  auto it = monitor->m_index->find(pointer);
  if (it == monitor->m_index->end())
    return nullptr;
  LiveBlock *best = nullptr;
  for (LiveBlock *b : it->second)
    if (best == nullptr || b->m_order > best->m_order)
      best = b;
  return best;
}

LiveBlock *pushBlock(MemoryMonitor *monitor, void *pointer, int64_t size) {
  LiveBlock *block = static_cast<LiveBlock *>(std::calloc(1, sizeof(LiveBlock)));
  if (block == nullptr)
    return nullptr;
  block->m_pointer = pointer;
  block->m_size = size;
  block->m_order = monitor->m_nextOrder++;
  block->m_older = monitor->m_blocks;
  if (monitor->m_blocks != nullptr)
    monitor->m_blocks->m_newer = block;
  monitor->m_blocks = block;
  indexAdd(monitor, block);
  return block;
}

void unlinkBlock(MemoryMonitor *monitor, LiveBlock *block) {
  indexRemove(monitor, block);
  if (block->m_newer != nullptr)
    block->m_newer->m_older = block->m_older;
  else
    monitor->m_blocks = block->m_older;
  if (block->m_older != nullptr)
    block->m_older->m_newer = block->m_newer;
  std::free(block);
}

void logLine(MemoryMonitor *monitor, const char *tag, int64_t size, void *pointer, char kind) {
  std::fprintf(monitor->m_stream, "%-35s %12" PRId64 " %12" PRId64 " %c %p\n", tag, size,
               monitor->m_total, kind, pointer);
  std::fflush(monitor->m_stream);
}

} // namespace

MemoryMonitor *MemoryMonitor_new(const char *fileName) {
  MemoryMonitor *monitor = static_cast<MemoryMonitor *>(std::calloc(1, sizeof(MemoryMonitor)));
  std::unordered_map<void *, std::vector<LiveBlock *>> *index =
      monitor ? new (std::nothrow) std::unordered_map<void *, std::vector<LiveBlock *>>() : nullptr;
  if (monitor == nullptr || index == nullptr) {
    std::free(monitor);
    std::fprintf(stderr, "\n\nERROR: Unable to allocate enough memory for memory logging.\n");
    std::fprintf(stderr, "       Memory logging has not been activated.\n\n");
    return nullptr;
  }
  monitor->m_index = index;
  monitor->m_stream = fileName ? std::fopen(fileName, "we") : nullptr;
  if (monitor->m_stream == nullptr) {
    delete index;
    std::free(monitor);
    std::fprintf(stderr, "\n\nERROR: Unable to open memory logging file %s.\n",
                 fileName ? fileName : "(null)");
    std::fprintf(stderr, "       Memory logging has not been activated.\n\n");
    return nullptr;
  }
  MemoryMonitor_recordAllocation(monitor, monitor, static_cast<int64_t>(sizeof(MemoryMonitor)),
                                 "MemoryMonitor_new");
  return monitor;
}

void MemoryMonitor_delete(MemoryMonitor *monitor) {
  if (monitor == nullptr)
    return;
  while (monitor->m_blocks != nullptr) {
    LiveBlock *block = monitor->m_blocks;
    monitor->m_total -= block->m_size;
    logLine(monitor, "MemoryMonitor_delete", -block->m_size, block->m_pointer, 'F');
    unlinkBlock(monitor, block);
  }
  std::fflush(monitor->m_stream);
  std::fclose(monitor->m_stream);
  delete monitor->m_index;
  std::free(monitor);
}

void MemoryMonitor_print(const MemoryMonitor *monitor, FILE *stream) {
  if (monitor == nullptr) {
    std::fprintf(stream, "MemoryMonitor: NULL\n");
    return;
  }
  size_t live = 0;
  for (const LiveBlock *b = monitor->m_blocks; b != nullptr; b = b->m_older)
    ++live;
  std::fprintf(stream, "MemoryMonitor:\n");
  std::fprintf(stream, "  m_total  = %" PRId64 "\n", monitor->m_total);
  std::fprintf(stream, "  m_blocks = %zu live\n", live);
  std::fprintf(stream, "  m_stream = %p\n", static_cast<void *>(monitor->m_stream));
}

void MemoryMonitor_recordAllocation(MemoryMonitor *monitor, void *pointer, int64_t size, const char *tag) {
  monitor->m_total += size;
  logLine(monitor, tag, size, pointer, 'A');
  pushBlock(monitor, pointer, size);
}

void MemoryMonitor_recordRelease(MemoryMonitor *monitor, void *pointer, const char *tag) {
  LiveBlock *block = findBlock(monitor, pointer);
  if (block == nullptr) {
    std::fprintf(monitor->m_stream, "%-35s            ?            ? F %p\n", tag, pointer);
    std::fflush(monitor->m_stream);
    return;
  }
  monitor->m_total -= block->m_size;
  logLine(monitor, tag, -block->m_size, pointer, 'F');
  unlinkBlock(monitor, block);
}

void MemoryMonitor_recordReallocation(MemoryMonitor *monitor, void *oldPointer, void *newPointer,
                                      int64_t size, const char *tag) {
  LiveBlock *block = oldPointer == nullptr ? pushBlock(monitor, nullptr, 0) : findBlock(monitor, oldPointer);
  if (block == nullptr) {
    std::fprintf(monitor->m_stream, "%-35s            ?            ? R %p %p\n", tag, newPointer,
                 oldPointer);
    std::fflush(monitor->m_stream);
    return;
  }
  monitor->m_total = monitor->m_total - block->m_size + size;
  std::fprintf(monitor->m_stream, "%-35s %12" PRId64 " %12" PRId64 " R %p %p\n", tag,
               size - block->m_size, monitor->m_total, newPointer, oldPointer);
  std::fflush(monitor->m_stream);
  indexRemove(monitor, block);
  block->m_pointer = newPointer;
  block->m_size = size;
  indexAdd(monitor, block);
}

int64_t MemoryMonitor_getTotal(const MemoryMonitor *monitor) { return monitor ? monitor->m_total : 0; }
