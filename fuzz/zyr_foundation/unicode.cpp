// Feeds arbitrary bytes to the UTF-8 and printed-quotable decoders. Whatever a decoder accepts
// must survive a round trip through the matching encoder: UTF-8 back to the very same bytes,
// printed-quotable (in every mode) back to the same code points.
#include "UnicodeString.h"
#include "zyrCString.h"
#include "zyrMemory.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void check(bool condition) {
  if (!condition)
    std::abort();
}

void roundTripCodes(const int32_t *codes, int count) {
  for (int i = 0; i < count; ++i)
    if (codes[i] < 0)
      return; // stray non-ASCII bytes of printed-quotable text: no encoder takes them
  for (int mode = 0; mode < 4; ++mode) {
    char *text;
    int length;
    check(unicode_to_pqutf8('%', mode, codes, count, &text, &length) == 1);
    int32_t *again;
    int againCount;
    check(count == 0 || pqutf8_to_unicode('%', text, length, &again, &againCount) == 1);
    if (count > 0) {
      check(againCount == count && std::memcmp(again, codes, sizeof(int32_t) * count) == 0);
      zyrMemory_free(again, "fuzz");
    }
    zyrCString_free(text);
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size > 1 << 16)
    return 0;
  const char *bytes = reinterpret_cast<const char *>(data);
  const int n = static_cast<int>(size);

  int32_t *codes;
  int count;
  if (utf8_to_unicode(bytes, n, &codes, &count)) {
    char *text;
    int length;
    check(unicode_to_utf8(codes, count, &text, &length) == 1);
    check(length == n && std::memcmp(text, bytes, size) == 0);
    zyrCString_free(text);
    roundTripCodes(codes, count);
    zyrMemory_free(codes, "fuzz");
  }

  if (pqutf8_to_unicode('%', bytes, n, &codes, &count)) {
    roundTripCodes(codes, count);
    zyrMemory_free(codes, "fuzz");
  }

  // The whole-text interface on the same bytes, cut at the first zero byte.
  std::string text(bytes, size);
  UnicodeString *string = UnicodeString_new();
  if (UnicodeString_fromPrintedQuotable(string, '%', text.c_str())) {
    char *out = UnicodeString_toUTF8(string);
    if (out != nullptr) {
      UnicodeString *again = UnicodeString_new();
      check(UnicodeString_fromUTF8(again, out) == 1);
      check(again->m_length == string->m_length);
      zyrCString_free(out);
      UnicodeString_delete(again);
    }
  }
  if (UnicodeString_fromLatin1(string, text.c_str()))
    zyrCString_free(UnicodeString_toLatin1(string));
  UnicodeString_delete(string);
  return 0;
}
