#ifndef ZYR_FUZZ_INT_SET_EDITS_H
#define ZYR_FUZZ_INT_SET_EDITS_H
// Integer data sets of a definition file that an input edits before they are written: shared by
// the targets that read what a writer produced.
#include "DefFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace zyrfuzz {

// A target whose set-up fails would pass every input untried: it stops the run instead.
[[noreturn]] inline void setUpFailed(const char *target, const char *what) {
  std::fprintf(stderr, "%s: %s\n", target, what);
  std::abort();
}

struct IntSet {
  const char *what;
  const char *where;
  std::vector<int32_t> values;
};

// Edits of 6 bytes from `data`: data set, entry, operation (set, truncate, insert) and a small
// signed value, or an extreme one when the last byte is 0xff.
inline void editIntSets(std::vector<IntSet> &sets, const uint8_t *data, size_t size) {
  for (size_t at = 0; at + 6 <= size; at += 6) {
    IntSet &set = sets[data[at] % sets.size()];
    const size_t entry = data[at + 1];
    int32_t value = static_cast<int16_t>(data[at + 3] | (data[at + 4] << 8));
    if (data[at + 5] == 0xff)
      value = data[at + 3] & 1 ? INT32_MAX : INT32_MIN;
    switch (data[at + 2] % 4) {
    case 0:
    case 1:
      if (!set.values.empty())
        set.values[entry % set.values.size()] = value;
      break;
    case 2:
      set.values.resize(entry % 24);
      break;
    default:
      set.values.insert(set.values.begin() + static_cast<std::ptrdiff_t>(entry % (set.values.size() + 1)), value);
      break;
    }
  }
}

// Writes the sets; a one-value set whose name starts with `scalarPrefix` as a single integer.
inline void writeIntSets(DefFile *file, const std::vector<IntSet> &sets, const char *scalarPrefix) {
  const size_t prefix = strlen(scalarPrefix);
  for (const IntSet &set : sets)
    if (set.values.size() == 1 && strncmp(set.what, scalarPrefix, prefix) == 0)
      DefFile_writeInt(file, set.what, set.where, 0, set.values[0]);
    else
      DefFile_writeIntArray(file, set.what, set.where, 0, set.values.data(), static_cast<int32_t>(set.values.size()),
                            0);
}

} // namespace zyrfuzz

#endif
