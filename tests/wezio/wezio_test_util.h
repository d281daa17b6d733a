#ifndef WEZIO_TEST_UTIL_H
#define WEZIO_TEST_UTIL_H
// Shared helpers of the data-set library tests: a callback that keeps every message, scratch
// streams that vanish when closed, streams whose writes fail, and byte builders for layouts
// written out by hand.
#include "io_records.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace wezio_test {

// Every message delivered to captureMessage, in order.
std::vector<std::string> &messages();
int captureMessage(const char *message, int32_t length);
// The messages joined, for compact comparisons.
std::string allMessages();

// A scratch stream (tmpfile, "w+b"): removed when closed.
struct ScratchStream {
  FILE *m_stream;
  ScratchStream();
  ~ScratchStream();
  ScratchStream(const ScratchStream &) = delete;
  ScratchStream &operator=(const ScratchStream &) = delete;
  // The whole content; the position is kept.
  std::string bytes();
  // Replaces the content and goes back to the start.
  void reset(const std::string &content);
};

// An unbuffered stream whose every write fails with ENOSPC.
FILE *openFullDevice();

// Bytes built by hand.
std::string be32(uint32_t value);
std::string le32(uint32_t value);
std::string be64(uint64_t value);
std::string le64(uint64_t value);
uint32_t floatBits(float value);
uint64_t doubleBits(double value);
// `n` blanks, then the text.
std::string rightAligned(const std::string &text, size_t width);

} // namespace wezio_test

#endif
