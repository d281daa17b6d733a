#include "zyrBase64.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

std::string encode(const std::string &bytes) {
  std::vector<char> text(bytes.size() * 2 + 8);
  const int64_t n = zyrBase64_encode(bytes.data(), static_cast<int64_t>(bytes.size()), text.data(),
                                     static_cast<int64_t>(text.size()));
  EXPECT_EQ(n, static_cast<int64_t>(std::strlen(text.data())));
  return n < 0 ? "<fail>" : std::string(text.data());
}

// The decoded bytes, or "<fail>".
std::string decode(const char *text, int64_t capacity = 64) {
  std::vector<char> bytes(static_cast<size_t>(capacity) + 1);
  const int64_t n = zyrBase64_decode(text, bytes.data(), capacity);
  return n < 0 ? "<fail>" : std::string(bytes.data(), static_cast<size_t>(n));
}

TEST(Base64, KnownVectors) {
  const char *const vectors[][2] = {{"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},
                                    {"foo", "Zm9v"},  {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="},
                                    {"foobar", "Zm9vYmFy"}};
  for (const auto &v : vectors) {
    EXPECT_EQ(encode(v[0]), v[1]);
    EXPECT_EQ(decode(v[1]), v[0]) << v[1];
    EXPECT_EQ(zyrBase64_decode(v[1], nullptr, 0), static_cast<int64_t>(std::strlen(v[0])));
  }
  EXPECT_EQ(encode(std::string("\xfb\xff\xbf", 3)), "+/+/");
}

TEST(Base64, EncodingChecksCapacityIncludingTerminator) {
  char text[8];
  EXPECT_EQ(zyrBase64_encode("f", 1, text, 4), -1);
  EXPECT_EQ(zyrBase64_encode("f", 1, text, 5), 4);
  EXPECT_STREQ(text, "Zg==");
  EXPECT_EQ(zyrBase64_encode("foob", 4, text, 7), -1);
  EXPECT_EQ(zyrBase64_encode("", 0, text, 0), -1);
  EXPECT_EQ(zyrBase64_encode("", 0, text, 1), 0);
  EXPECT_EQ(zyrBase64_encode("f", -1, text, 8), -1);
}

TEST(Base64, DecodingPaddingRules) {
  EXPECT_EQ(decode("Zg="), "<fail>");
  EXPECT_EQ(decode("Zg==="), "<fail>");
  EXPECT_EQ(decode("Zg= \n="), "f");
  EXPECT_EQ(decode("Zm8=="), "<fail>");
  EXPECT_EQ(decode("Z==="), "<fail>");
  EXPECT_EQ(decode("===="), "<fail>");
  EXPECT_EQ(decode("Zm9v="), "<fail>");
  EXPECT_EQ(decode("Zg==x"), "<fail>");
  EXPECT_EQ(decode("Zg==  \t\n"), "f");
  EXPECT_EQ(decode("Zm9"), "<fail>");
  EXPECT_EQ(decode("Z"), "<fail>");
}

TEST(Base64, DecodingRefusesStrayCharactersAndSkipsWhiteSpace) {
  EXPECT_EQ(decode("Zm$v"), "<fail>");
  EXPECT_EQ(decode("Zm9v-"), "<fail>");
  EXPECT_EQ(decode("Zm9v\x80"), "<fail>");
  EXPECT_EQ(decode(" Zm 9v\nYm\tFy "), "foobar");
  EXPECT_EQ(zyrBase64_decode(nullptr, nullptr, 0), -1);
}

TEST(Base64, LeftoverBitsMustBeZeroWhenDecodingIntoABuffer) {
  EXPECT_EQ(decode("Zh=="), "<fail>");
  EXPECT_EQ(decode("Zm9="), "<fail>");
  // Counting alone does not look at the bits.
  EXPECT_EQ(zyrBase64_decode("Zh==", nullptr, 0), 1);
}

TEST(Base64, DecodingChecksEveryByteAgainstCapacity) {
  EXPECT_EQ(decode("Zm9vYmFy", 5), "<fail>");
  EXPECT_EQ(decode("Zm9vYmFy", 6), "foobar");
  EXPECT_EQ(decode("Zm9vYg==", 3), "<fail>");
  EXPECT_EQ(decode("Zm9vYg==", 4), "foob");
}

TEST(Base64, RandomRoundTrips) {
  std::mt19937 random(7);
  for (int length = 0; length < 200; ++length) {
    std::string bytes(static_cast<size_t>(length), '\0');
    for (char &c : bytes)
      c = static_cast<char>(random());
    const std::string text = encode(bytes);
    EXPECT_EQ(text.size(), static_cast<size_t>((length + 2) / 3 * 4));
    EXPECT_EQ(decode(text.c_str(), length), bytes);
  }
}

} // namespace
