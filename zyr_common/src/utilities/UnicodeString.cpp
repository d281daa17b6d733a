// Unicode strings. Every whole-text conversion runs in two passes: the first checks and sizes
// the input (any bad character fails the conversion before anything is allocated), the second
// fills an array of the exact size.
#include "UnicodeString.h"

#include "vsnNameCharacters.h"
#include "zyrMemory.h"

#include <cstring>

namespace {

// Longest escape sequence: the escape character and six pairs of digits.
const int kMaxUTF8Bytes = 6;

int failCodes(int32_t **codes, int *count) {
  *codes = nullptr;
  *count = 0;
  return 0;
}

int failBytes(char **bytes, int *count, int result) {
  *bytes = nullptr;
  *count = 0;
  return result;
}

// Byte count of the UTF-8 form of a code point read as unsigned; -1 from 0x80000000 up.
int utf8Length(uint32_t u) {
  if (u < 0x80u)
    return 1;
  if (u < 0x800u)
    return 2;
  if (u < 0x10000u)
    return 3;
  if (u < 0x200000u)
    return 4;
  if (u < 0x4000000u)
    return 5;
  if (u < 0x80000000u)
    return 6;
  return -1;
}

int hexValue(unsigned char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  return -1;
}

inline bool isAsciiEscape(char escape) {
  const unsigned char e = static_cast<unsigned char>(escape);
  return e != 0 && e < 0x80;
}

// Reads one escape sequence starting at bytes[at] (the escape character): its code point and
// the number of input bytes it takes, or -1 when no whole UTF-8 character follows.
int readEscape(const unsigned char *bytes, int n, int at, int32_t *code) {
  unsigned char pairs[kMaxUTF8Bytes];
  int count = 0;
  int p = at + 1;
  while (count < kMaxUTF8Bytes && p + 1 < n) {
    const int high = hexValue(bytes[p]), low = hexValue(bytes[p + 1]);
    if (high < 0 || low < 0)
      break;
    pairs[count++] = static_cast<unsigned char>(high * 16 + low);
    p += 2;
  }
  if (count == 0)
    return -1;
  const int used = utf8_decodeChar(pairs, count, code);
  return used < 0 ? -1 : 1 + 2 * used;
}

// Replaces the string's code points by a new array.
void install(UnicodeString *string, int32_t *codes, int count) {
  zyrMemory_free(string->m_codePoints, __func__);
  string->m_codePoints = codes;
  string->m_length = count;
}

// Length of a zero-terminated text as an int, or -1 when it is too long to convert.
int textLength(const char *text) {
  if (text == nullptr)
    return 0;
  const size_t length = std::strlen(text);
  return length > static_cast<size_t>(INT32_MAX / 16) ? -1 : static_cast<int>(length);
}

bool holdsZero(const UnicodeString *string) {
  for (int32_t i = 0; i < string->m_length; ++i)
    if (string->m_codePoints[i] == 0)
      return true;
  return false;
}

} // namespace

int utf8_decodeChar(const unsigned char *s, int n, int32_t *code) {
  if (n < 1)
    return -2;
  const unsigned char lead = s[0];
  if (lead < 0x80) {
    *code = lead;
    return 1;
  }
  if (lead < 0xC2)
    return -1; // a continuation byte, or an overlong two-byte form
  int length;
  uint32_t value;
  unsigned char leastSecond = 0x80; // smallest second byte that is not an overlong form
  if (lead <= 0xDF) {
    length = 2;
    value = lead & 0x1Fu;
  } else if (lead <= 0xEF) {
    length = 3;
    value = lead & 0x0Fu;
    if (lead == 0xE0)
      leastSecond = 0xA0;
  } else if (lead <= 0xF7) {
    length = 4;
    value = lead & 0x07u;
    if (lead == 0xF0)
      leastSecond = 0x90;
  } else if (lead <= 0xFB) {
    length = 5;
    value = lead & 0x03u;
    if (lead == 0xF8)
      leastSecond = 0x88;
  } else if (lead <= 0xFD) {
    length = 6;
    value = lead & 0x01u;
    if (lead == 0xFC)
      leastSecond = 0x84;
  } else {
    return -1;
  }
  if (n < length)
    return -2;
  for (int k = 1; k < length; ++k) {
    if ((s[k] ^ 0x80u) >= 0x40u)
      return -1;
    value = (value << 6) | (s[k] & 0x3Fu);
  }
  if (s[1] < leastSecond)
    return -1;
  *code = static_cast<int32_t>(value);
  return length;
}

int utf8_encodeChar(int32_t code, unsigned char *s) {
  static const unsigned char prefix[7] = {0, 0, 0xC0, 0xE0, 0xF0, 0xF8, 0xFC};
  uint32_t u = static_cast<uint32_t>(code);
  const int length = utf8Length(u);
  if (length < 0)
    return -1;
  if (length == 1) {
    s[0] = static_cast<unsigned char>(u);
    return 1;
  }
  for (int k = length - 1; k > 0; --k) {
    s[k] = static_cast<unsigned char>((u & 0x3Fu) | 0x80u);
    u >>= 6;
  }
  s[0] = static_cast<unsigned char>(u | prefix[length]);
  return length;
}

int latin1_to_unicode(const char *bytes, int n, int32_t **codes, int *count) {
  if (n < 1)
    return failCodes(codes, count);
  int32_t *out = zyrMemory_allocateArray<int32_t>(n, __func__);
  for (int i = 0; i < n; ++i)
    out[i] = static_cast<unsigned char>(bytes[i]);
  *codes = out;
  *count = n;
  return 1;
}

int unicode_to_latin1(const int32_t *codes, int n, char **bytes, int *count) {
  if (n < 1)
    return failBytes(bytes, count, 0);
  char *out = zyrMemory_allocateZeroedArray<char>(static_cast<int64_t>(n) + 1, __func__);
  for (int i = 0; i < n; ++i) {
    if (codes[i] < 0 || codes[i] > 255) {
      zyrMemory_free(out, __func__);
      return failBytes(bytes, count, 0);
    }
    out[i] = static_cast<char>(static_cast<unsigned char>(codes[i]));
  }
  *bytes = out;
  *count = n;
  return 1;
}

int utf8_to_unicode(const char *bytes, int n, int32_t **codes, int *count) {
  if (n < 1)
    return failCodes(codes, count);
  const unsigned char *s = reinterpret_cast<const unsigned char *>(bytes);
  int characters = 0;
  int32_t code;
  for (int at = 0; at < n; ++characters) {
    const int used = utf8_decodeChar(s + at, n - at, &code);
    if (used < 0)
      return failCodes(codes, count);
    at += used;
  }
  int32_t *out = zyrMemory_allocateArray<int32_t>(characters, __func__);
  for (int at = 0, k = 0; at < n; ++k)
    at += utf8_decodeChar(s + at, n - at, &out[k]);
  *codes = out;
  *count = characters;
  return 1;
}

int unicode_to_utf8(const int32_t *codes, int n, char **bytes, int *count) {
  if (n < 1)
    return failBytes(bytes, count, 0);
  int64_t size = 0;
  for (int i = 0; i < n; ++i) {
    const int length = utf8Length(static_cast<uint32_t>(codes[i]));
    if (length < 0)
      return failBytes(bytes, count, 0);
    size += length;
  }
  if (size >= INT32_MAX)
    return failBytes(bytes, count, 0);
  char *out = zyrMemory_allocateZeroedArray<char>(size + 1, __func__);
  unsigned char *s = reinterpret_cast<unsigned char *>(out);
  for (int i = 0; i < n; ++i)
    s += utf8_encodeChar(codes[i], s);
  *bytes = out;
  *count = static_cast<int>(size);
  return 1;
}

int pqutf8_to_unicode(char escape, const char *bytes, int n, int32_t **codes, int *count) {
  if (n < 1 || !isAsciiEscape(escape))
    return failCodes(codes, count);
  const unsigned char *s = reinterpret_cast<const unsigned char *>(bytes);
  const unsigned char e = static_cast<unsigned char>(escape);
  int characters = 0;
  int32_t code;
  for (int at = 0; at < n; ++characters) {
    if (s[at] != e) {
      ++at;
      continue;
    }
    const int used = readEscape(s, n, at, &code);
    if (used < 0)
      return failCodes(codes, count);
    at += used;
  }
  int32_t *out = zyrMemory_allocateArray<int32_t>(characters, __func__);
  for (int at = 0, k = 0; at < n; ++k) {
    if (s[at] != e) {
      // Printed-quotable text is ASCII; another byte passes as its signed value.
      out[k] = static_cast<signed char>(s[at]);
      ++at;
    } else {
      at += readEscape(s, n, at, &out[k]);
    }
  }
  *codes = out;
  *count = characters;
  return 1;
}

int unicode_to_pqutf8(char escape, int mode, const int32_t *codes, int n, char **bytes,
                      int *count) {
  if (!isAsciiEscape(escape))
    return failBytes(bytes, count, -1);
  const int32_t e = static_cast<unsigned char>(escape);
  auto literal = [&](int i) {
    const int32_t c = codes[i];
    return c >= 0 && c < 128 && c != e &&
           vsnNameCharNeedsEscape(mode, i, static_cast<unsigned char>(c)) == 0;
  };
  int64_t size = 0;
  for (int i = 0; i < n; ++i) {
    if (literal(i)) {
      size += 1;
      continue;
    }
    const int length = utf8Length(static_cast<uint32_t>(codes[i]));
    if (length < 0)
      return failBytes(bytes, count, -1);
    size += 1 + 2 * length;
  }
  if (size >= INT32_MAX)
    return failBytes(bytes, count, -1);
  static const char digits[] = "0123456789ABCDEF";
  char *out = zyrMemory_allocateZeroedArray<char>(size + 1, __func__);
  char *p = out;
  for (int i = 0; i < n; ++i) {
    if (literal(i)) {
      *p++ = static_cast<char>(codes[i]);
      continue;
    }
    unsigned char utf8[kMaxUTF8Bytes];
    const int length = utf8_encodeChar(codes[i], utf8);
    *p++ = escape;
    for (int k = 0; k < length; ++k) {
      *p++ = digits[utf8[k] >> 4];
      *p++ = digits[utf8[k] & 0x0F];
    }
  }
  *bytes = out;
  *count = static_cast<int>(size);
  return 1;
}

UnicodeString *UnicodeString_new() {
  UnicodeString *string = zyrMemory_allocateArray<UnicodeString>(1, __func__);
  string->m_codePoints = nullptr;
  string->m_length = 0;
  return string;
}

void UnicodeString_delete(UnicodeString *string) {
  if (string == nullptr)
    return;
  zyrMemory_free(string->m_codePoints, __func__);
  zyrMemory_free(string, __func__);
}

void UnicodeString_print(const UnicodeString *string, FILE *stream) {
  std::fprintf(stream, "UnicodeString (%p)\n", static_cast<const void *>(string));
  std::fprintf(stream, "m_length     = %d\n", string->m_length);
  std::fprintf(stream, "m_codePoints =");
  for (int32_t i = 0; i < string->m_length; ++i)
    std::fprintf(stream, " U+%04X", static_cast<unsigned>(string->m_codePoints[i]));
  std::fprintf(stream, "\n");
}

int UnicodeString_fromLatin1(UnicodeString *string, const char *text) {
  int32_t *codes;
  int count;
  const int n = textLength(text);
  if (n < 1 || !latin1_to_unicode(text, n, &codes, &count))
    return 0;
  install(string, codes, count);
  return 1;
}

char *UnicodeString_toLatin1(const UnicodeString *string) {
  char *bytes;
  int count;
  if (holdsZero(string) || !unicode_to_latin1(string->m_codePoints, string->m_length, &bytes, &count))
    return nullptr;
  return bytes;
}

int UnicodeString_fromUTF8(UnicodeString *string, const char *text) {
  int32_t *codes;
  int count;
  const int n = textLength(text);
  if (n < 1 || !utf8_to_unicode(text, n, &codes, &count))
    return 0;
  install(string, codes, count);
  return 1;
}

char *UnicodeString_toUTF8(const UnicodeString *string) {
  char *bytes;
  int count;
  if (holdsZero(string) || !unicode_to_utf8(string->m_codePoints, string->m_length, &bytes, &count))
    return nullptr;
  return bytes;
}

int UnicodeString_fromPrintedQuotable(UnicodeString *string, char escape, const char *text) {
  int32_t *codes;
  int count;
  const int n = textLength(text);
  if (n < 1 || !pqutf8_to_unicode(escape, text, n, &codes, &count))
    return 0;
  install(string, codes, count);
  return 1;
}

char *UnicodeString_toPrintedQuotable(const UnicodeString *string, char escape, int mode) {
  char *bytes;
  int count;
  if (string->m_length < 1 ||
      unicode_to_pqutf8(escape, mode, string->m_codePoints, string->m_length, &bytes, &count) != 1)
    return nullptr;
  return bytes;
}
