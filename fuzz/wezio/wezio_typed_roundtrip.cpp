// Values from arbitrary bytes written and read back in every format letter: integers, reals
// and offsets must come back exactly, in text and binary form and in both byte orders.
#include "lowlevel_io.h"
#include "zyrTestSupport.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>
#include <vector>

namespace {

int discard(const char *, int32_t) { return 0; }

// A file of the target's scratch directory (tmpfile would make one in /tmp, whatever TMPDIR says).
FILE *scratch() {
  // Removed with the process's static objects at its exit.
  static const zyrtest::ScratchDir dir("zyrfuzz_typed_roundtrip");
  static FILE *stream = fopen(dir.file("values").c_str(), "w+b");
  if (!stream || ftruncate(fileno(stream), 0) != 0) abort();
  rewind(stream);
  return stream;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 2) return 0;
  static const char *const kFormats[] = {"F", "u", "U5", "l", "L"};
  const char *format = kFormats[data[0] % 5];
  int32_t perLine = 1 + data[1] % 9;
  data += 2;
  size -= 2;
  size_t n = size / 8;
  if (n == 0) return 0;
  std::vector<int32_t> ints(n);
  std::vector<float> reals(n);
  std::vector<int64_t> offsets(n);
  for (size_t i = 0; i < n; ++i) {
    memcpy(&ints[i], data + 8 * i, 4);
    memcpy(&reals[i], data + 8 * i + 4, 4);
    if (std::isnan(reals[i])) reals[i] = 0.0f;
    memcpy(&offsets[i], data + 8 * i, 8);
  }
  int32_t count = static_cast<int32_t>(n);

  FILE *stream = scratch();
  if (wezwriteIntr(discard, format, ints.data(), count, perLine, 10, stream) != IO_OK) abort();
  if (wezwriteReal(discard, format, reals.data(), count, perLine, 20, stream) != IO_OK) abort();
  bool wide = format[0] == 'F' || format[0] == 'l' || format[0] == 'L';
  for (size_t i = 0; i < n; ++i) {
    int64_t value = offsets[i];
    if (!wide) value = static_cast<int32_t>(value);
    if (wezwriteOffset(discard, format, value, 20, stream) != IO_OK) abort();
  }
  rewind(stream);
  std::vector<int32_t> intsBack(n);
  std::vector<float> realsBack(n);
  if (wezreadIntr(discard, format, intsBack.data(), count, perLine, 10, stream) != IO_OK) abort();
  if (wezreadReal(discard, format, realsBack.data(), count, perLine, 20, stream) != IO_OK) abort();
  for (size_t i = 0; i < n; ++i) {
    int64_t back;
    if (wezreadOffset(discard, format, &back, stream) != IO_OK) abort();
    int64_t expected = wide ? offsets[i] : static_cast<int32_t>(offsets[i]);
    if (back != expected) abort();
  }
  if (intsBack != ints) abort();
  for (size_t i = 0; i < n; ++i)
    if (memcmp(&realsBack[i], &reals[i], 4) != 0 && !(realsBack[i] == 0 && reals[i] == 0)) abort();
  return 0;
}
