#include "zyrMD5.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string hexOf(const void *data, size_t n) {
  unsigned char digest[ZYR_MD5_DIGEST_SIZE];
  char text[ZYR_MD5_HEX_SIZE];
  zyrMD5_digest(data, n, digest);
  return zyrMD5_toHex(digest, text);
}

std::string hexOf(const std::string &s) { return hexOf(s.data(), s.size()); }

std::string hexOfContext(zyrMD5Context *context) {
  unsigned char digest[ZYR_MD5_DIGEST_SIZE];
  char text[ZYR_MD5_HEX_SIZE];
  MD5Final(digest, context);
  return zyrMD5_toHex(digest, text);
}

// Bytes that are not all alike, so a misplaced byte changes the digest.
std::vector<unsigned char> pattern(size_t n) {
  std::vector<unsigned char> bytes(n);
  uint32_t x = 12345;
  for (size_t i = 0; i < n; ++i) {
    x = x * 1103515245u + 12345u;
    bytes[i] = static_cast<unsigned char>(x >> 16);
  }
  return bytes;
}

TEST(MD5, RfcAppendixSuite) {
  const struct {
    const char *text;
    const char *hex;
  } suite[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"1234567890123456789012345678901234567890"
       "1234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto &t : suite) {
    EXPECT_EQ(hexOf(t.text), t.hex) << '"' << t.text << '"';
    zyrMD5Context context;
    MD5Init(&context);
    MD5Update(&context, t.text, std::strlen(t.text));
    EXPECT_EQ(hexOfContext(&context), t.hex) << '"' << t.text << '"';
  }
}

// Lengths either side of where the padding spills into a second block, and of block ends.
TEST(MD5, PaddingAndBlockBoundaries) {
  const struct {
    size_t n;
    const char *hex;
  } as[] = {
      {55, "ef1772b6dff9a122358552954ad0df65"},  {56, "3b0c8ac703f828b04c6c197006d17218"},
      {57, "652b906d60af96844ebd21b674f35e93"},  {63, "b06521f39153d618550606be297466d5"},
      {64, "014842d480b571495a4a0363793f7367"},  {65, "c743a45e0d2e6a95cb859adae0248435"},
      {119, "8a7bd0732ed6a28ce75f6dabc90e1613"}, {120, "5f61c0ccad4cac44c75ff505e1f1e537"},
      {127, "020406e1d05cdc2aa287641f7ae2cc39"}, {128, "e510683b3f5ffe4093d021808bc6ff70"},
  };
  for (const auto &t : as) EXPECT_EQ(hexOf(std::string(t.n, 'a')), t.hex) << t.n;

  unsigned char all[256];
  for (int i = 0; i < 256; ++i) all[i] = static_cast<unsigned char>(i);
  EXPECT_EQ(hexOf(all, sizeof all), "e2c865db4162bed963bfaa9ef6ac18f0");
}

TEST(MD5, MillionAsInUnevenPieces) {
  const std::string piece(997, 'a');
  zyrMD5Context context;
  MD5Init(&context);
  size_t left = 1000000;
  while (left > 0) {
    const size_t n = left < piece.size() ? left : piece.size();
    MD5Update(&context, piece.data(), n);
    left -= n;
  }
  EXPECT_EQ(hexOfContext(&context), "7707d6ae4e027c70eea2a935c2296f21");
}

TEST(MD5, EverySplitAgreesWithOneShot) {
  const std::vector<unsigned char> bytes = pattern(200);
  for (size_t n = 0; n <= bytes.size(); ++n) {
    const std::string whole = hexOf(bytes.data(), n);
    for (size_t cut = 0; cut <= n; ++cut) {
      zyrMD5Context context;
      MD5Init(&context);
      MD5Update(&context, bytes.data(), cut);
      MD5Update(&context, bytes.data() + cut, n - cut);
      ASSERT_EQ(hexOfContext(&context), whole) << "length " << n << " cut " << cut;
    }
  }

  // One byte at a time.
  const size_t n = 150;
  const std::string whole = hexOf(bytes.data(), n);
  zyrMD5Context context;
  MD5Init(&context);
  for (size_t i = 0; i < n; ++i) MD5Update(&context, &bytes[i], 1);
  EXPECT_EQ(hexOfContext(&context), whole);
}

TEST(MD5, UnalignedInputGivesTheSameDigest) {
  const std::vector<unsigned char> bytes = pattern(1000);
  const std::string expected = hexOf(bytes.data(), bytes.size());
  std::vector<unsigned char> shifted(bytes.size() + 16);
  for (size_t offset = 0; offset < 16; ++offset) {
    std::memcpy(shifted.data() + offset, bytes.data(), bytes.size());
    EXPECT_EQ(hexOf(shifted.data() + offset, bytes.size()), expected) << offset;
  }
}

TEST(MD5, LengthCountCarriesAcrossWords) {
  zyrMD5Context context;
  MD5Init(&context);
  // 2^29 - 1 bytes seen so far: one more byte carries into the high word.
  context.m_count[0] = 0xfffffff8u;
  MD5Update(&context, "x", 1);
  EXPECT_EQ(context.m_count[0], 0u);
  EXPECT_EQ(context.m_count[1], 1u);
  MD5Update(&context, "xy", 2);
  EXPECT_EQ(context.m_count[0], 16u);
  EXPECT_EQ(context.m_count[1], 1u);

  // The length is kept modulo 2^64 bits.
  context.m_count[0] = 0xfffffff8u;
  context.m_count[1] = 0xffffffffu;
  MD5Update(&context, "x", 1);
  EXPECT_EQ(context.m_count[0], 0u);
  EXPECT_EQ(context.m_count[1], 0u);
}

TEST(MD5, FinalClearsTheContextAndNullsAreHarmless) {
  zyrMD5Context context;
  MD5Init(&context);
  MD5Update(&context, "secret", 6);
  unsigned char digest[ZYR_MD5_DIGEST_SIZE];
  MD5Final(digest, &context);
  const zyrMD5Context zero = {};
  EXPECT_EQ(std::memcmp(&context, &zero, sizeof context), 0);

  // No digest wanted: the context is still cleared.
  MD5Init(&context);
  MD5Update(&context, "abc", 3);
  MD5Final(nullptr, &context);
  EXPECT_EQ(std::memcmp(&context, &zero, sizeof context), 0);

  MD5Init(nullptr);
  MD5Update(nullptr, "abc", 3);
  MD5Final(digest, nullptr);
  MD5Init(&context);
  MD5Update(&context, nullptr, 10);
  MD5Update(&context, "abc", 3);
  EXPECT_EQ(hexOfContext(&context), "900150983cd24fb0d6963f7d28e17f72");

  char text[ZYR_MD5_HEX_SIZE] = "x";
  EXPECT_STREQ(zyrMD5_toHex(nullptr, text), "");
  EXPECT_EQ(zyrMD5_toHex(digest, nullptr), nullptr);
}

TEST(MD5, ContextRecord) {
  zyrMD5Context *context = zyrMD5Context_new();
  ASSERT_NE(context, nullptr);
  char *text = nullptr;
  size_t size = 0;
  FILE *stream = open_memstream(&text, &size);
  ASSERT_NE(stream, nullptr);
  zyrMD5Context_print(context, stream);
  zyrMD5Context_print(nullptr, stream);
  std::fclose(stream);
  EXPECT_STREQ(text, "MD5 state 67452301 efcdab89 98badcfe 10325476 bytes 0\n");
  std::free(text);
  MD5Update(context, "abc", 3);
  EXPECT_EQ(hexOfContext(context), "900150983cd24fb0d6963f7d28e17f72");
  zyrMD5Context_delete(context);
  zyrMD5Context_delete(nullptr);
}

} // namespace
