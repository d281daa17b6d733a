#include "zyrBase64.h"

#include <cctype>

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Value of an alphabet character, -1 for anything else.
struct DecodeTable {
  signed char m_value[256];
  DecodeTable() {
    for (int i = 0; i < 256; ++i)
      m_value[i] = -1;
    for (int i = 0; i < 64; ++i)
      m_value[static_cast<unsigned char>(kAlphabet[i])] = static_cast<signed char>(i);
  }
};
const DecodeTable kDecode;

inline bool isSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

} // namespace

int64_t zyrBase64_encode(const void *bytes, int64_t count, char *text, int64_t capacity) {
  if (count < 0 || text == nullptr || capacity < 0 || (bytes == nullptr && count > 0))
    return -1;
  const unsigned char *in = static_cast<const unsigned char *>(bytes);
  int64_t written = 0;
  for (int64_t i = 0; i < count; i += 3) {
    if (capacity - written < 4)
      return -1;
    const int64_t left = count - i;
    const uint32_t b0 = in[i];
    const uint32_t b1 = left > 1 ? in[i + 1] : 0;
    const uint32_t b2 = left > 2 ? in[i + 2] : 0;
    const uint32_t group = (b0 << 16) | (b1 << 8) | b2;
    text[written] = kAlphabet[(group >> 18) & 63];
    text[written + 1] = kAlphabet[(group >> 12) & 63];
    text[written + 2] = left > 1 ? kAlphabet[(group >> 6) & 63] : '=';
    text[written + 3] = left > 2 ? kAlphabet[group & 63] : '=';
    written += 4;
  }
  if (capacity - written < 1)
    return -1;
  text[written] = '\0';
  return written;
}

int64_t zyrBase64_decode(const char *text, void *bytes, int64_t capacity) {
  if (text == nullptr || (bytes != nullptr && capacity < 0))
    return -1;
  unsigned char *out = static_cast<unsigned char *>(bytes);
  int64_t produced = 0;
  uint32_t group = 0; // bits of the characters of the current group
  int inGroup = 0;    // characters of the current group so far
  const char *p = text;

  auto emit = [&](uint32_t value) -> bool {
    if (out != nullptr) {
      if (produced >= capacity)
        return false;
      out[produced] = static_cast<unsigned char>(value);
    }
    ++produced;
    return true;
  };

  for (; *p != '\0' && *p != '='; ++p) {
    if (isSpace(*p))
      continue;
    const int value = kDecode.m_value[static_cast<unsigned char>(*p)];
    if (value < 0)
      return -1;
    group = (group << 6) | static_cast<uint32_t>(value);
    if (++inGroup == 4) {
      if (!emit(group >> 16) || !emit(group >> 8) || !emit(group))
        return -1;
      group = 0;
      inGroup = 0;
    }
  }

  if (*p == '\0')
    return inGroup == 0 ? produced : -1;

  // Padding: a group of two characters needs "==", one of three a single '='.
  if (inGroup < 2)
    return -1;
  ++p;
  if (inGroup == 2) {
    while (isSpace(*p))
      ++p;
    if (*p != '=')
      return -1;
    ++p;
  }
  for (; *p != '\0'; ++p)
    if (!isSpace(*p))
      return -1;

  if (inGroup == 2) {
    // Twelve bits: one byte and four bits that must be zero.
    if (out != nullptr && (group & 0xF) != 0)
      return -1;
    if (!emit(group >> 4))
      return -1;
  } else {
    // Eighteen bits: two bytes and two bits that must be zero.
    if (out != nullptr && (group & 0x3) != 0)
      return -1;
    if (!emit(group >> 10) || !emit(group >> 2))
      return -1;
  }
  return produced;
}
