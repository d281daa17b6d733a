#ifndef ZYR_RADIX_SORT_H
#define ZYR_RADIX_SORT_H
// Stable least-significant-digit radix sort of records by an unsigned integer key, a byte per
// pass. Passes whose byte is the same in every key are skipped, so keys that use few bits cost few
// passes. key(record) gives the key; only its bytes [firstByte, firstByte + bytes) are sorted by.
#include "zyrMemory.h"

#include <cstdint>
#include <cstring>
#include <utility>

template <class Record, class Key>
void zyrRadixSort(Record *data, int64_t n, int firstByte, int bytes, Key key, const char *tag) {
  if (n < 2 || bytes < 1)
    return;
  if (bytes > 8)
    bytes = 8;
  int64_t counts[8][256];
  std::memset(counts, 0, sizeof counts);
  for (int64_t i = 0; i < n; ++i) {
    const uint64_t k = static_cast<uint64_t>(key(data[i]));
    for (int b = 0; b < bytes; ++b)
      ++counts[b][(k >> (8 * (firstByte + b))) & 0xFF];
  }
  Record *buffer = nullptr;
  Record *source = data;
  Record *target = nullptr;
  for (int b = 0; b < bytes; ++b) {
    const int shift = 8 * (firstByte + b);
    const int64_t *count = counts[b];
    if (count[(static_cast<uint64_t>(key(source[0])) >> shift) & 0xFF] == n)
      continue; // every key has the same byte here
    if (buffer == nullptr) {
      buffer = zyrMemory_allocateArray<Record>(n, tag);
      target = buffer;
    }
    int64_t offsets[256];
    int64_t sum = 0;
    for (int v = 0; v < 256; ++v) {
      offsets[v] = sum;
      sum += count[v];
    }
    for (int64_t i = 0; i < n; ++i)
      target[offsets[(static_cast<uint64_t>(key(source[i])) >> shift) & 0xFF]++] = source[i];
    std::swap(source, target);
  }
  if (source != data)
    std::memcpy(static_cast<void *>(data), source, static_cast<size_t>(n) * sizeof(Record));
  zyrMemory_free(buffer, tag);
}

#endif
