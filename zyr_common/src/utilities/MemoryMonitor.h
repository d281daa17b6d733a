#ifndef ZYR_MEMORYMONITOR_H
#define ZYR_MEMORYMONITOR_H
// The memory log: one line per allocation ("A"), reallocation ("R") and release ("F") with the
// tag, the size, the running total and the address; the live blocks are kept newest first.
#include <cstdint>
#include <cstdio>

struct MemoryMonitor;

// Opens the log file (truncating it); NULL after a message on the standard error stream.
MemoryMonitor *MemoryMonitor_new(const char *fileName);
// Writes an "F" line for every block still live (newest first), closes the file.
void MemoryMonitor_delete(MemoryMonitor *monitor);
void MemoryMonitor_print(const MemoryMonitor *monitor, FILE *stream);

void MemoryMonitor_recordAllocation(MemoryMonitor *monitor, void *pointer, int64_t size, const char *tag);
void MemoryMonitor_recordRelease(MemoryMonitor *monitor, void *pointer, const char *tag);
void MemoryMonitor_recordReallocation(MemoryMonitor *monitor, void *oldPointer, void *newPointer,
                                      int64_t size, const char *tag);
int64_t MemoryMonitor_getTotal(const MemoryMonitor *monitor);

#endif
