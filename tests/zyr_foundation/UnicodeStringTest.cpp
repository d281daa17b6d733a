#include "UnicodeString.h"
#include "vsnNameCharacters.h"
#include "zyrCString.h"
#include "zyrMemory.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using Codes = std::vector<int32_t>;

struct Text {
  char *p;
  explicit Text(char *q) : p(q) {}
  ~Text() { zyrCString_free(p); }
  bool null() const { return p == nullptr; }
  std::string s() const { return p ? std::string(p) : std::string("<null>"); }
};

struct Str {
  UnicodeString *u = UnicodeString_new();
  ~Str() { UnicodeString_delete(u); }
  Codes codes() const { return Codes(u->m_codePoints, u->m_codePoints + u->m_length); }
  void set(const Codes &c) {
    // Code points no decoder produces (negative, 0, beyond UTF-8) are set directly.
    zyrMemory_free(u->m_codePoints, "test");
    u->m_codePoints = zyrMemory_allocateArray<int32_t>(static_cast<int64_t>(c.size()), "test");
    std::copy(c.begin(), c.end(), u->m_codePoints);
    u->m_length = static_cast<int32_t>(c.size());
  }
};

TEST(UnicodeString, UTF8KnownSequences) {
  Str s;
  ASSERT_EQ(UnicodeString_fromUTF8(s.u, "\x41\xC3\xA9"), 1);
  EXPECT_EQ(s.codes(), Codes({0x41, 0xE9}));
  EXPECT_EQ(Text(UnicodeString_toUTF8(s.u)).s(), "\x41\xC3\xA9");

  // One character of every length, at both ends of its range.
  const Codes all = {0x7F, 0x80, 0x7FF, 0x800, 0xFFFF, 0x10000, 0x1FFFFF, 0x200000, 0x3FFFFFF,
                     0x4000000, 0x7FFFFFFF, 0xD800};
  s.set(all);
  Text utf8(UnicodeString_toUTF8(s.u));
  ASSERT_FALSE(utf8.null());
  EXPECT_EQ(utf8.s().substr(0, 13), "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF\xF0\x90");
  EXPECT_EQ(utf8.s().size(), 1u + 2 + 2 + 3 + 3 + 4 + 4 + 5 + 5 + 6 + 6 + 3);
  EXPECT_EQ(utf8.s().substr(utf8.s().size() - 9, 6), "\xFD\xBF\xBF\xBF\xBF\xBF");
  Str back;
  ASSERT_EQ(UnicodeString_fromUTF8(back.u, utf8.p), 1);
  EXPECT_EQ(back.codes(), all);
}

TEST(UnicodeString, UTF8RefusesOverlongTruncatedAndStrayBytes) {
  Str s;
  ASSERT_EQ(UnicodeString_fromUTF8(s.u, "ok"), 1);
  for (const char *bad : {"\xC0\x80", "\xC1\xBF", "\xE0\x80\x80", "\xE0\x9F\xBF", "\xF0\x8F\xBF\xBF",
                          "\xF8\x87\xBF\xBF\xBF", "\xFC\x83\xBF\xBF\xBF\xBF", "a\xC3", "\xE2\x82",
                          "\x80", "\xBF", "\xFE", "\xFF", "\xC3\x41", "\xE2\x28\xA1", ""}) {
    EXPECT_EQ(UnicodeString_fromUTF8(s.u, bad), 0) << std::string(bad);
    EXPECT_EQ(s.codes(), Codes({'o', 'k'})); // unchanged
  }
  EXPECT_EQ(UnicodeString_fromUTF8(s.u, nullptr), 0);

  int32_t code = -5;
  const unsigned char c3[] = {0xC3, 0xA9};
  EXPECT_EQ(utf8_decodeChar(c3, 1, &code), -2); // too short, following bytes not looked at
  EXPECT_EQ(utf8_decodeChar(c3, 0, &code), -2);
  EXPECT_EQ(utf8_decodeChar(c3, 2, &code), 2);
  EXPECT_EQ(code, 0xE9);
  unsigned char out[6];
  EXPECT_EQ(utf8_encodeChar(-1, out), -1);
  EXPECT_EQ(utf8_encodeChar(INT32_MIN, out), -1);
}

TEST(UnicodeString, EncodersRefuseWhatTheyCannotCarry) {
  Str s;
  EXPECT_TRUE(Text(UnicodeString_toUTF8(s.u)).null()); // empty
  EXPECT_TRUE(Text(UnicodeString_toLatin1(s.u)).null());
  EXPECT_TRUE(Text(UnicodeString_toPrintedQuotable(s.u, '%', 2)).null());
  s.set({0x41, -3});
  EXPECT_TRUE(Text(UnicodeString_toUTF8(s.u)).null());
  EXPECT_TRUE(Text(UnicodeString_toPrintedQuotable(s.u, '%', 0)).null());
  s.set({0x20AC});
  EXPECT_TRUE(Text(UnicodeString_toLatin1(s.u)).null());
  // Code point 0 would cut a zero-terminated text short.
  s.set({'a', 0, 'b'});
  EXPECT_TRUE(Text(UnicodeString_toUTF8(s.u)).null());
  EXPECT_TRUE(Text(UnicodeString_toLatin1(s.u)).null());
  EXPECT_EQ(Text(UnicodeString_toPrintedQuotable(s.u, '%', 0)).s(), "a%00b");
  EXPECT_TRUE(Text(UnicodeString_toPrintedQuotable(s.u, '\0', 0)).null());
  EXPECT_TRUE(Text(UnicodeString_toPrintedQuotable(s.u, '\xA7', 0)).null());
}

TEST(UnicodeString, Latin1RoundTrip) {
  std::string all;
  for (int c = 1; c < 256; ++c)
    all.push_back(static_cast<char>(c));
  Str s;
  ASSERT_EQ(UnicodeString_fromLatin1(s.u, all.c_str()), 1);
  ASSERT_EQ(s.u->m_length, 255);
  EXPECT_EQ(s.u->m_codePoints[0xE8], 0xE9);
  EXPECT_EQ(Text(UnicodeString_toLatin1(s.u)).s(), all);
  EXPECT_EQ(UnicodeString_fromLatin1(s.u, ""), 0);
  EXPECT_EQ(s.u->m_length, 255);
  // Latin-1 in, UTF-8 out.
  ASSERT_EQ(UnicodeString_fromLatin1(s.u, "caf\xE9"), 1);
  EXPECT_EQ(Text(UnicodeString_toUTF8(s.u)).s(), "caf\xC3\xA9");
}

TEST(UnicodeString, PrintedQuotableEncoding) {
  Str s;
  s.set({'a', '%', 'b', '\t'});
  EXPECT_EQ(Text(UnicodeString_toPrintedQuotable(s.u, '%', 0)).s(), "a%25b%09");
  // Mode 2: the first character always, then separators and punctuation; digits, letters,
  // blanks and name punctuation stay.
  ASSERT_EQ(UnicodeString_fromUTF8(s.u, "ab c.1_[x]{|}-#\xC3\xA9"), 1);
  EXPECT_EQ(Text(UnicodeString_toPrintedQuotable(s.u, '%', 2)).s(), "%61b c.1_[x]{|}%2D%23%C3A9");
  EXPECT_EQ(Text(UnicodeString_toPrintedQuotable(s.u, '%', 1)).s(), "ab c.1_[x]{|}-%23%C3A9");
  EXPECT_EQ(Text(UnicodeString_toPrintedQuotable(s.u, '%', 3)).s(),
            "%61%62%20%63%2E%31%5F%5B%78%5D%7B%7C%7D%2D%23%C3A9");
  s.set({0x7FFFFFFF});
  EXPECT_EQ(Text(UnicodeString_toPrintedQuotable(s.u, '%', 0)).s(), "%FDBFBFBFBFBF");

  char *bytes = reinterpret_cast<char *>(&s);
  int count = 9;
  EXPECT_EQ(unicode_to_pqutf8('%', 2, nullptr, 0, &bytes, &count), 1);
  ASSERT_NE(bytes, nullptr);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(bytes[0], '\0');
  zyrCString_free(bytes);
}

TEST(UnicodeString, PrintedQuotableDecoding) {
  Str s;
  ASSERT_EQ(UnicodeString_fromPrintedQuotable(s.u, '%', "a%25b"), 1);
  EXPECT_EQ(s.codes(), Codes({'a', '%', 'b'}));
  ASSERT_EQ(UnicodeString_fromPrintedQuotable(s.u, '%', "%41BC"), 1);
  EXPECT_EQ(s.codes(), Codes({'A', 'B', 'C'}));
  ASSERT_EQ(UnicodeString_fromPrintedQuotable(s.u, '%', "%C3A9"), 1);
  EXPECT_EQ(s.codes(), Codes({0xE9}));
  ASSERT_EQ(UnicodeString_fromPrintedQuotable(s.u, '%', "%c3a9ff%e2%82%ac"), 0);
  ASSERT_EQ(UnicodeString_fromPrintedQuotable(s.u, '%', "%c3a9ff%e282ac"), 1);
  EXPECT_EQ(s.codes(), Codes({0xE9, 'f', 'f', 0x20AC}));
  ASSERT_EQ(UnicodeString_fromPrintedQuotable(s.u, '%', "%FDBFBFBFBFBF41"), 1);
  EXPECT_EQ(s.codes(), Codes({0x7FFFFFFF, '4', '1'}));
  // A byte above 0x7F is not printed-quotable; it passes as a negative code point, which no
  // encoder accepts.
  ASSERT_EQ(UnicodeString_fromPrintedQuotable(s.u, '%', "x\xE9"), 1);
  EXPECT_EQ(s.codes(), Codes({'x', -23}));
  EXPECT_TRUE(Text(UnicodeString_toUTF8(s.u)).null());

  ASSERT_EQ(UnicodeString_fromPrintedQuotable(s.u, '%', "keep"), 1);
  for (const char *bad : {"%C3%A9", "%C3", "%", "ab%", "%G1", "%4", "%C0%80", "%E08080", "%FE", ""})
    EXPECT_EQ(UnicodeString_fromPrintedQuotable(s.u, '%', bad), 0) << bad;
  EXPECT_EQ(s.codes(), Codes({'k', 'e', 'e', 'p'}));
}

TEST(UnicodeString, NameEncodingRoundTrips) {
  std::mt19937 rng(21);
  std::uniform_int_distribution<int> small(1, 0x17F), any(1, 0x7FFFFFFF), pick(0, 9);
  for (int round = 0; round < 2000; ++round) {
    Codes c(1 + rng() % 12);
    for (auto &x : c)
      x = pick(rng) == 0 ? any(rng) : small(rng);
    Str s;
    s.set(c);
    for (int mode = 0; mode < 4; ++mode) {
      Text pq(UnicodeString_toPrintedQuotable(s.u, '%', mode));
      ASSERT_FALSE(pq.null());
      for (const char *p = pq.p; *p; ++p)
        ASSERT_TRUE(static_cast<unsigned char>(*p) < 0x80 && *p >= 0x20) << pq.s();
      Str back;
      ASSERT_EQ(UnicodeString_fromPrintedQuotable(back.u, '%', pq.p), 1) << pq.s();
      ASSERT_EQ(back.codes(), c) << pq.s();
    }
    Text utf8(UnicodeString_toUTF8(s.u));
    Str back;
    ASSERT_EQ(UnicodeString_fromUTF8(back.u, utf8.p), 1);
    ASSERT_EQ(back.codes(), c);
  }
}

TEST(UnicodeString, NameCharacterClasses) {
  EXPECT_EQ(vsnNameCharClass(0x00), 0);
  EXPECT_EQ(vsnNameCharClass(0x1F), 0);
  EXPECT_EQ(vsnNameCharClass(0x7F), 0);
  const std::string one = "#$%,", two = "!\"&'()*+-/:;<=>?@\\^`~";
  for (int c = 0x20; c < 0x7F; ++c) {
    int expected = 4;
    if (one.find(static_cast<char>(c)) != std::string::npos)
      expected = 1;
    else if (two.find(static_cast<char>(c)) != std::string::npos)
      expected = 2;
    else if (c >= '0' && c <= '9')
      expected = 3;
    EXPECT_EQ(vsnNameCharClass(static_cast<unsigned char>(c)), expected) << char(c);
  }
  EXPECT_EQ(vsnNameCharClass(0x80), 4);
  EXPECT_EQ(vsnNameCharClass(0xFF), 4);
  EXPECT_EQ(vsnNameCharClasses()[0x7E], 2);

  EXPECT_EQ(vsnNameCharNeedsEscape(0, 0, '\n'), 1);
  EXPECT_EQ(vsnNameCharNeedsEscape(0, 0, '#'), 0);
  EXPECT_EQ(vsnNameCharNeedsEscape(1, 3, '#'), 1);
  EXPECT_EQ(vsnNameCharNeedsEscape(1, 3, '-'), 0);
  EXPECT_EQ(vsnNameCharNeedsEscape(2, 3, '-'), 1);
  EXPECT_EQ(vsnNameCharNeedsEscape(2, 3, '7'), 0);
  EXPECT_EQ(vsnNameCharNeedsEscape(2, 0, 'a'), 1);
  EXPECT_EQ(vsnNameCharNeedsEscape(1, 0, 'a'), 0);
  EXPECT_EQ(vsnNameCharNeedsEscape(3, 5, 'a'), 1);
  EXPECT_EQ(vsnNameCharNeedsEscape(7, 5, 0xE9), 1);
  EXPECT_EQ(vsnNameCharNeedsEscape(-1, 5, 0), 0);
}

} // namespace
