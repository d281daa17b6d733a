#include "vsnWrapLines.h"

#include "zyrCString.h"
#include "zyrMemory.h"

#include <cctype>
#include <climits>
#include <cstring>

namespace {

// Where the piece that begins at start ends (exclusive): the last character that fits, moved
// back over white space so the next piece starts on a printing character.
int64_t cutAfter(const char *line, int64_t start, int64_t width) {
  int64_t cut = start + width - 1;
  while (cut > start && std::isspace(static_cast<unsigned char>(line[cut])))
    --cut;
  if (cut == start)
    cut = start + width - 1;
  return cut;
}

// The number of pieces a line of the given length becomes (1 when it fits).
int64_t countPieces(const char *line, int64_t length, int64_t width) {
  int64_t pieces = 1;
  for (int64_t start = 0; start + width < length; ++pieces)
    start = cutAfter(line, start, width);
  return pieces;
}

} // namespace

int vsnWrapLines(int width, int *count, char ***lines) {
  if (width < 2 || count == nullptr || lines == nullptr || *count < 0)
    return 0;
  const int64_t w = width;
  char **old = *lines;
  const int oldCount = *count;
  if (oldCount > 0 && old == nullptr)
    return 0;

  // Count first, so that nothing changes when the result cannot be held.
  int64_t total = 0;
  for (int i = 0; i < oldCount; ++i)
    total += old[i] ? countPieces(old[i], static_cast<int64_t>(std::strlen(old[i])), w) : 1;
  if (total == oldCount)
    return 1;
  if (total > INT_MAX)
    return 0;

  char **wrapped = zyrMemory_allocateArray<char *>(total, __func__);
  int64_t at = 0;
  for (int i = 0; i < oldCount; ++i) {
    char *line = old[i];
    const int64_t length = line ? static_cast<int64_t>(std::strlen(line)) : 0;
    if (length <= w) {
      wrapped[at++] = line;
      continue;
    }
    int64_t start = 0;
    while (start + w < length) {
      const int64_t cut = cutAfter(line, start, w);
      char *piece = static_cast<char *>(zyrMemory_allocateAndSet(w + 1, 0, __func__));
      std::memcpy(piece, line + start, static_cast<size_t>(cut - start));
      piece[cut - start] = '\\';
      wrapped[at++] = piece;
      start = cut;
    }
    wrapped[at++] = zyrCString_clone(line + start);
    zyrCString_free(line);
  }
  zyrMemory_free(old, __func__);
  *lines = wrapped;
  *count = static_cast<int>(total);
  return 1;
}
