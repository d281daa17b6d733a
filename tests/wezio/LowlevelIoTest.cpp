// Typed values in text and binary form, both byte orders, against layouts written out by hand.
#include "io_alloc.h"
#include "lowlevel_io.h"
#include "wezio_test_util.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>

using namespace wezio_test;

namespace {

class LowlevelIoTest : public testing::Test {
protected:
  void SetUp() override { messages().clear(); }
  void TearDown() override { io_alloc_fail(-1, 0); }
  ScratchStream m_file;
  FILE *fp() { return m_file.m_stream; }
};

// ---------------------------------------------------------------------------------------------
// Text form of numbers

TEST_F(LowlevelIoTest, TextIntrEightToALineOfWidthTen) {
  int32_t values[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  ASSERT_EQ(wezwriteIntr(captureMessage, "F", values, 10, 8, 10, fp()), IO_OK);
  std::string line1, line2;
  for (int i = 1; i <= 8; ++i) line1 += std::string(9, ' ') + std::to_string(i);
  line2 = std::string(9, ' ') + "9" + std::string(8, ' ') + "10";
  EXPECT_EQ(m_file.bytes(), line1 + "\n" + line2 + "\n");
  EXPECT_EQ(line1.size(), 80u);

  rewind(fp());
  int32_t back[10] = {};
  ASSERT_EQ(wezreadIntr(captureMessage, "F", back, 10, 8, 10, fp()), IO_OK);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(back[i], values[i]);
  EXPECT_TRUE(messages().empty());
}

TEST_F(LowlevelIoTest, PartialTextReadLeavesTheStreamAtTheNextBlank) {
  int32_t values[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  ASSERT_EQ(wezwriteIntr(captureMessage, "F", values, 8, 8, 10, fp()), IO_OK);
  rewind(fp());
  int32_t first[3], rest[5];
  ASSERT_EQ(wezreadIntr(captureMessage, "F", first, 3, 8, 10, fp()), IO_OK);
  EXPECT_EQ(io_tell(fp()), 30);
  ASSERT_EQ(wezreadIntr(captureMessage, "F", rest, 5, 8, 10, fp()), IO_OK);
  EXPECT_EQ(first[2], 3);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(rest[i], 4 + i);
  EXPECT_EQ(io_tell(fp()), 81);
}

TEST_F(LowlevelIoTest, ValuesFillingTheirFieldKeepABlankSeparator) {
  int32_t values[4] = {1, 1234567890, INT32_MIN, -999999999};
  ASSERT_EQ(wezwriteLong(captureMessage, "F", values, 4, 8, 10, fp()), IO_OK);
  EXPECT_EQ(m_file.bytes(), "         1 1234567890 -2147483648 -999999999\n");
  rewind(fp());
  int32_t back[4];
  ASSERT_EQ(wezreadLong(captureMessage, "F", back, 4, 8, 10, fp()), IO_OK);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(back[i], values[i]);
}

TEST_F(LowlevelIoTest, TextRealAndDble) {
  float reals[5] = {1.5f, -2.25f, 0.0f, 1024.0f, 7.0f};
  ASSERT_EQ(wezwriteReal(captureMessage, "F", reals, 5, 4, 20, fp()), IO_OK);
  std::string expected = "   1.50000000000E+00  -2.25000000000E+00   0.00000000000E+00"
                         "   1.02400000000E+03\n"
                         "   7.00000000000E+00\n";
  EXPECT_EQ(m_file.bytes(), expected);
  rewind(fp());
  float back[5];
  ASSERT_EQ(wezreadReal(captureMessage, "F", back, 5, 4, 20, fp()), IO_OK);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(back[i], reals[i]);
  EXPECT_TRUE(messages().empty());

  // Doubles are narrowed to single precision, with a warning on every call.
  m_file.reset("");
  double dbles[2] = {0.1, -3.0};
  ASSERT_EQ(wezwriteDble(captureMessage, "F", dbles, 2, 4, 20, fp()), IO_OK);
  EXPECT_EQ(m_file.bytes(), "   1.00000001490E-01  -3.00000000000E+00\n");
  ASSERT_EQ(messages().size(), 1u);
  EXPECT_EQ(messages()[0],
            "Warning: formatted floating point data is only written to single-precision "
            "accuracy\n");
  rewind(fp());
  double dback[2];
  ASSERT_EQ(wezreadDble(captureMessage, "F", dback, 2, 4, 20, fp()), IO_OK);
  EXPECT_EQ(static_cast<float>(dback[0]), 0.1f);
  EXPECT_NE(dback[0], 0.1);
  EXPECT_EQ(dback[1], -3.0);
}

TEST_F(LowlevelIoTest, TextLoglSixteenToALineOfWidthFive) {
  char values[20];
  for (int i = 0; i < 20; ++i) values[i] = i % 3 ? 'T' : 'F';
  ASSERT_EQ(wezwriteLogl(captureMessage, "F", values, 20, 16, 5, fp()), IO_OK);
  std::string expected;
  for (int i = 0; i < 20; ++i) {
    expected += std::string(4, ' ') + values[i];
    if (i == 15 || i == 19) expected += "\n";
  }
  EXPECT_EQ(m_file.bytes(), expected);
  rewind(fp());
  char back[20];
  ASSERT_EQ(wezreadLogl(captureMessage, "F", back, 20, 16, 5, fp()), IO_OK);
  EXPECT_EQ(std::string(back, 20), std::string(values, 20));
}

TEST_F(LowlevelIoTest, LineParserTakesValuesAcrossLinesAndIgnoresTrailingBlanks) {
  m_file.reset("    1    2   \n\n 3 4\n");
  int32_t values[2];
  int32_t got = -1;
  ASSERT_EQ(readIntFmtData(captureMessage, fp(), values, 2, &got), IO_OK);
  EXPECT_EQ(got, 2);
  // Only blanks remain on the line: it yields nothing, and so does the empty line.
  ASSERT_EQ(readIntFmtData(captureMessage, fp(), values, 2, &got), IO_OK);
  EXPECT_EQ(got, 0);
  int32_t more[2];
  ASSERT_EQ(wezreadIntr(captureMessage, "F", more, 2, 8, 10, fp()), IO_OK);
  EXPECT_EQ(more[0], 3);
  EXPECT_EQ(more[1], 4);
  int32_t none[1];
  EXPECT_EQ(wezreadIntr(captureMessage, "F", none, 1, 8, 10, fp()), IO_READ_ERR);
  EXPECT_EQ(allMessages().rfind("readIntFmtData: (fgets failed) syserr:: ", 0), 0u);
}

TEST_F(LowlevelIoTest, LongTextLinesAreNotCutInsideAValue) {
  std::string line;
  int32_t values[300];
  for (int i = 0; i < 300; ++i) {
    values[i] = 1000000 + i * 7;
    line += rightAligned(std::to_string(values[i]), 10);
  }
  m_file.reset(line + "\n");
  int32_t back[300];
  ASSERT_EQ(wezreadIntr(captureMessage, "F", back, 300, 8, 10, fp()), IO_OK);
  for (int i = 0; i < 300; ++i) ASSERT_EQ(back[i], values[i]) << i;
}

// ---------------------------------------------------------------------------------------------
// Binary form, both byte orders

TEST_F(LowlevelIoTest, BinaryIntrInBothByteOrders) {
  int32_t values[2] = {1, -2};
  ASSERT_EQ(wezwriteIntr(captureMessage, "u", values, 2, 8, 10, fp()), IO_OK);
  ASSERT_EQ(wezwriteIntr(captureMessage, "U5", values, 2, 8, 10, fp()), IO_OK);
  EXPECT_EQ(values[0], 1);
  EXPECT_EQ(values[1], -2);
  EXPECT_EQ(m_file.bytes(), le32(1) + le32(0xFFFFFFFE) + be32(1) + be32(0xFFFFFFFE));

  rewind(fp());
  int32_t little[2], big[2];
  ASSERT_EQ(wezreadIntr(captureMessage, "u", little, 2, 8, 10, fp()), IO_OK);
  ASSERT_EQ(wezreadIntr(captureMessage, "U", big, 2, 8, 10, fp()), IO_OK);
  EXPECT_EQ(little[1], -2);
  EXPECT_EQ(big[0], 1);
  EXPECT_EQ(big[1], -2);
}

TEST_F(LowlevelIoTest, BigEndianValuesAreReversedPerValueButLogicalsAreNot) {
  m_file.reset(be32(0x01020304) + be32(floatBits(1.5f)) + be64(doubleBits(-0.25)) +
               be32(0xFFFFFF85) + "TF");
  int32_t intr;
  float real;
  double dble;
  int32_t along;
  char logl[2];
  ASSERT_EQ(wezreadIntr(captureMessage, "L", &intr, 1, 8, 10, fp()), IO_OK);
  ASSERT_EQ(wezreadReal(captureMessage, "U", &real, 1, 4, 20, fp()), IO_OK);
  ASSERT_EQ(wezreadDble(captureMessage, "X", &dble, 1, 4, 20, fp()), IO_OK);
  ASSERT_EQ(wezreadLong(captureMessage, "d", &along, 1, 8, 10, fp()), IO_OK);
  ASSERT_EQ(wezreadLogl(captureMessage, "U", logl, 2, 16, 5, fp()), IO_OK);
  EXPECT_EQ(intr, 0x01020304);
  EXPECT_EQ(real, 1.5f);
  EXPECT_EQ(dble, -0.25);
  EXPECT_EQ(along, -123);
  EXPECT_EQ(std::string(logl, 2), "TF");
}

TEST_F(LowlevelIoTest, BinaryWritersOfEveryTypeAndOrder) {
  float real = 1.5f;
  double dble = -0.25;
  int32_t along = 258;
  char logl[2] = {'T', 'F'};
  ASSERT_EQ(wezwriteReal(captureMessage, "u", &real, 1, 4, 20, fp()), IO_OK);
  ASSERT_EQ(wezwriteReal(captureMessage, "U", &real, 1, 4, 20, fp()), IO_OK);
  ASSERT_EQ(wezwriteDble(captureMessage, "l", &dble, 1, 4, 20, fp()), IO_OK);
  ASSERT_EQ(wezwriteDble(captureMessage, "L", &dble, 1, 4, 20, fp()), IO_OK);
  ASSERT_EQ(wezwriteLong(captureMessage, "l", &along, 1, 8, 10, fp()), IO_OK);
  ASSERT_EQ(wezwriteLong(captureMessage, "L", &along, 1, 8, 10, fp()), IO_OK);
  ASSERT_EQ(wezwriteLogl(captureMessage, "U", logl, 2, 16, 5, fp()), IO_OK);
  EXPECT_EQ(m_file.bytes(), le32(floatBits(1.5f)) + be32(floatBits(1.5f)) +
                                le64(doubleBits(-0.25)) + be64(doubleBits(-0.25)) + le32(258) +
                                be32(258) + "TF");
  EXPECT_TRUE(messages().empty());
  // Large arrays go through the reversing scratch buffer in pieces.
  m_file.reset("");
  std::vector<int32_t> many(1500);
  for (size_t i = 0; i < many.size(); ++i) many[i] = static_cast<int32_t>(i * 65537);
  ASSERT_EQ(wezwriteIntr(captureMessage, "U", many.data(), 1500, 8, 10, fp()), IO_OK);
  std::string expected;
  for (int32_t v : many) expected += be32(static_cast<uint32_t>(v));
  EXPECT_EQ(m_file.bytes(), expected);
}

// Reversal goes by whole vectors, then value by value, in chunks: every count around those
// edges (and past one chunk), for 4- and 8-byte values, from an unaligned array, gives the
// bytes of a plain value-by-value reversal, and the caller's values stay as they were.
TEST_F(LowlevelIoTest, ReversedWritesOfEveryLengthMatchValueByValueReversal) {
  const int32_t kChunkInts = (1 << 20) / 4;
  std::vector<int32_t> counts = {1, 2, 3, 7, 8, 9, 15, 16, 17, 31, 33, kChunkInts - 1,
                                 kChunkInts, kChunkInts + 5, 2 * kChunkInts + 3};
  for (int32_t n : counts) {
    std::vector<int32_t> store(static_cast<size_t>(n) + 1);
    int32_t *ints = store.data() + 1; // not 8-byte aligned when the vector is
    for (int32_t i = 0; i < n; ++i) ints[i] = static_cast<int32_t>(0x01020304u * (i + 1) + i);
    std::vector<double> reals(static_cast<size_t>(n));
    for (int32_t i = 0; i < n; ++i) reals[i] = i * 1.25 - 7e10;
    m_file.reset("");
    ASSERT_EQ(wezwriteIntr(captureMessage, "U", ints, n, 8, 10, fp()), IO_OK);
    ASSERT_EQ(wezwriteDble(captureMessage, "L", reals.data(), n, 4, 20, fp()), IO_OK);
    std::string expected;
    for (int32_t i = 0; i < n; ++i) expected += be32(static_cast<uint32_t>(ints[i]));
    for (double v : reals) expected += be64(doubleBits(v));
    ASSERT_EQ(m_file.bytes() == expected, true) << n << " values";
    for (int32_t i = 0; i < n; ++i)
      ASSERT_EQ(ints[i], static_cast<int32_t>(0x01020304u * (i + 1) + i));
  }
  EXPECT_TRUE(messages().empty());
}

TEST_F(LowlevelIoTest, ShortBinaryReads) {
  m_file.reset(le32(7));
  int32_t two[2];
  EXPECT_EQ(wezreadIntr(captureMessage, "u", two, 2, 8, 10, fp()), IO_READ_ERR);
  ASSERT_EQ(messages().size(), 1u);
  EXPECT_EQ(messages()[0].rfind("wezreadIntr: fread failed or short read of 1/2 items, syserr: ", 0),
            0u);

  messages().clear();
  rewind(fp());
  EXPECT_EQ(wezreadLong(captureMessage, "u", two, 2, 8, 10, fp()), IO_READ_ERR);
  EXPECT_TRUE(messages().empty());

  rewind(fp());
  double d;
  EXPECT_EQ(wezreadDble(captureMessage, "l", &d, 1, 4, 20, fp()), IO_READ_ERR);
  EXPECT_EQ(messages()[0].rfind("wezreadDble: (fread failed) syserr:: ", 0), 0u);
}

TEST_F(LowlevelIoTest, BadArgumentsAndBadLetters) {
  int32_t v = 1;
  EXPECT_EQ(wezwriteIntr(captureMessage, "u", &v, 0, 8, 10, fp()), IO_MEMORY_ERR);
  EXPECT_EQ(wezreadReal(captureMessage, "u", nullptr, 1, 8, 10, fp()), IO_MEMORY_ERR);
  EXPECT_EQ(wezwriteLogl(captureMessage, "u", "T", 1, 0, 10, fp()), IO_MEMORY_ERR);
  EXPECT_EQ(wezreadString(captureMessage, "F", reinterpret_cast<char *>(&v), 1, 1, 0, fp()),
            IO_MEMORY_ERR);
  EXPECT_EQ(wezwriteIntr(captureMessage, nullptr, &v, 1, 8, 10, fp()), IO_MEMORY_ERR);
  EXPECT_EQ(wezwriteIntr(captureMessage, "Q", &v, 1, 8, 10, fp()), IO_FORMAT_ERR);
  EXPECT_EQ(wezwriteIntr(captureMessage, "Q7", &v, 1, 8, 10, fp()), IO_FORMAT_ERR);
  EXPECT_EQ(wezreadIntr(captureMessage, "q", &v, 1, 8, 10, fp()), IO_FORMAT_ERR);
  EXPECT_EQ(wezwriteDble(captureMessage, "", nullptr, 1, 8, 10, fp()), IO_MEMORY_ERR);
  std::vector<std::string> expected = {
      "wezwriteIntr: passing parameters are wrong\n",
      "wezreadReal: passing parameters are wrong\n",
      "wezwriteLogl: passing parameters are wrong\n",
      "wezreadString: passing parameters are wrong\n",
      "wezwriteIntr: passing parameters are wrong\n",
      "wezwriteIntr: wrong dataset format Q \n",
      "wezwriteIntr: wrong dataset format Q7\n",
      "wezreadIntr: wrong dataset format\n",
      "wezwriteDble: passing parameters are wrong\n",
  };
  EXPECT_EQ(messages(), expected);
  EXPECT_EQ(m_file.bytes(), "");
}

TEST_F(LowlevelIoTest, FailedWritesReportTheSystemError) {
  FILE *full = openFullDevice();
  ASSERT_NE(full, nullptr);
  int32_t v = 5;
  char text[] = "abc";
  EXPECT_EQ(wezwriteIntr(captureMessage, "u", &v, 1, 8, 10, full), IO_WRITE_ERR);
  EXPECT_EQ(wezwriteIntr(captureMessage, "F", &v, 1, 8, 10, full), IO_WRITE_ERR);
  EXPECT_EQ(wezwriteString(captureMessage, "F", text, 3, 1, 8, full), IO_WRITE_ERR);
  EXPECT_EQ(wezwriteString(captureMessage, "u", text, 3, 1, 8, full), IO_WRITE_ERR);
  EXPECT_EQ(wezwriteOffset(captureMessage, "F", 36, 20, full), IO_WRITE_ERR);
  EXPECT_EQ(wezwriteOffset(captureMessage, "l", 36, 20, full), IO_WRITE_ERR);
  EXPECT_EQ(wezwriteHdrString(captureMessage, "u", "abc", 80, full), IO_WRITE_ERR);
  fclose(full);
  std::vector<std::string> expected = {
      "wezwriteIntr: (fwrite failed) syserr:: No space left on device\n",
      "wezwriteIntr: (fputs failed) syserr:: No space left on device\n",
      "wezwriteString: (fputs failed) syserr:: No space left on device\n",
      "wezwriteString: (fwrite failed) syserr:: No space left on device\n",
      "wezwriteOffset: (fputs failed) syserr:: No space left on device\n",
      "wezwriteOffset: (fwrite failed) syserr:: No space left on device\n",
      "wezwriteIntr: (fwrite failed) syserr:: No space left on device\n",
      "wezwriteHdrString: fail to write string length\n",
  };
  EXPECT_EQ(messages(), expected);
}

// ---------------------------------------------------------------------------------------------
// Strings

TEST_F(LowlevelIoTest, TextStringsArePaddedCutAndTrimmed) {
  const char twoLines[] = "ab\nxyz";
  ASSERT_EQ(wezwriteString(captureMessage, "F", "abc", 3, 1, 8, fp()), IO_OK);
  ASSERT_EQ(wezwriteString(captureMessage, "F", "abcdefghij", 10, 1, 4, fp()), IO_OK);
  ASSERT_EQ(wezwriteString(captureMessage, "F", twoLines, 6, 1, 5, fp()), IO_OK);
  ASSERT_EQ(wezwriteString(captureMessage, "F", "    ", 4, 1, 4, fp()), IO_OK);
  // The text never reaches past the count the caller owns.
  ASSERT_EQ(wezwriteString(captureMessage, "F", "xyNOT", 2, 1, 6, fp()), IO_OK);
  EXPECT_EQ(m_file.bytes(), "abc     \nabcd\nab   \n    \nxy    \n");

  rewind(fp());
  char buffer[16];
  memset(buffer, 'Z', sizeof buffer);
  ASSERT_EQ(wezreadString(captureMessage, "F", buffer, 3, 1, 8, fp()), IO_OK);
  // Exactly the count long: no terminator.
  EXPECT_EQ(std::string(buffer, 4), "abcZ");
  ASSERT_EQ(wezreadString(captureMessage, "F", buffer, 10, 1, 4, fp()), IO_OK);
  EXPECT_STREQ(buffer, "abcd");
  ASSERT_EQ(wezreadString(captureMessage, "F", buffer, 10, 1, 5, fp()), IO_OK);
  EXPECT_STREQ(buffer, "ab");
  ASSERT_EQ(wezreadString(captureMessage, "F", buffer, 10, 1, 4, fp()), IO_OK);
  EXPECT_STREQ(buffer, " ");
  EXPECT_TRUE(messages().empty());
}

TEST_F(LowlevelIoTest, TextStringReadRefusesMoreThanTheCount) {
  m_file.reset("abcdef  \n");
  char buffer[8];
  EXPECT_EQ(wezreadString(captureMessage, "F", buffer, 3, 1, 10, fp()), IO_MEMORY_ERR);
  ASSERT_EQ(messages().size(), 1u);
  EXPECT_EQ(messages()[0], "wezreadString: read too many characters: def\n");

  // A line too wide for the reader's own buffer takes one from the heap.
  io_alloc_fail(0, 1);
  rewind(fp());
  EXPECT_EQ(wezreadString(captureMessage, "F", buffer, 3, 1, 1000, fp()), IO_ALLOC_ERR);
  io_alloc_fail(-1, 0);
  EXPECT_EQ(messages()[1].rfind("wezreadString: (malloc failed) syserr:: ", 0), 0u);
}

TEST_F(LowlevelIoTest, BinaryStringsAreBareBytes) {
  ASSERT_EQ(wezwriteString(captureMessage, "u", "abc\ndef", 7, 1, 1, fp()), IO_OK);
  EXPECT_EQ(m_file.bytes(), "abc\ndef");
  rewind(fp());
  char buffer[10];
  ASSERT_EQ(wezreadString(captureMessage, "U", buffer, 7, 1, 1, fp()), IO_OK);
  EXPECT_EQ(std::string(buffer, 7), "abc\ndef");
  rewind(fp());
  char big[10];
  EXPECT_EQ(wezreadString(captureMessage, "u", big, 9, 1, 1, fp()), IO_READ_ERR);
  EXPECT_EQ(messages()[0], "wezreadString: fread failed: read 7 bytes, expected 9\n");
}

// ---------------------------------------------------------------------------------------------
// Header strings

TEST_F(LowlevelIoTest, TextHeaderStrings) {
  std::string what = "WHAT\x1b" "A";
  ASSERT_EQ(wezwriteHdrString(captureMessage, "F", what.c_str(), 80, fp()), IO_OK);
  ASSERT_EQ(wezwriteHdrString(captureMessage, "F", "", 7, fp()), IO_OK);
  std::string full(80, 'x');
  ASSERT_EQ(wezwriteHdrString(captureMessage, "F", full.c_str(), 80, fp()), IO_OK);
  EXPECT_EQ(m_file.bytes(), what + std::string(74, ' ') + "\n" + "       \n" + full + "\n");

  rewind(fp());
  char buffer[82];
  ASSERT_EQ(wezreadHdrString(captureMessage, "F", buffer, 82, fp()), IO_OK);
  EXPECT_EQ(std::string(buffer), what);
  ASSERT_EQ(wezreadHdrString(captureMessage, "F", buffer, 82, fp()), IO_OK);
  EXPECT_STREQ(buffer, " ");
  // A field as wide as the buffer cannot be terminated: it is refused, never left open.
  char small[80];
  EXPECT_EQ(wezreadHdrString(captureMessage, "F", small, 80, fp()), IO_MEMORY_ERR);
  EXPECT_EQ(messages().back(), "wezreadHdrString: error reading from file\n");
}

TEST_F(LowlevelIoTest, TextHeaderStringOfFullWidthIsTerminated) {
  std::string full(80, 'y');
  m_file.reset(full + "\n");
  char buffer[81];
  memset(buffer, 'Z', sizeof buffer);
  ASSERT_EQ(wezreadHdrString(captureMessage, "F", buffer, 81, fp()), IO_OK);
  EXPECT_EQ(buffer[80], '\0');
  EXPECT_EQ(std::string(buffer), full);
}

TEST_F(LowlevelIoTest, BinaryHeaderStringsInBothOrders) {
  ASSERT_EQ(wezwriteHdrString(captureMessage, "u5", "abc", 80, fp()), IO_OK);
  ASSERT_EQ(wezwriteHdrString(captureMessage, "U", "de", 80, fp()), IO_OK);
  ASSERT_EQ(wezwriteHdrString(captureMessage, "l", "", 80, fp()), IO_OK);
  EXPECT_EQ(m_file.bytes(), le32(3) + "abc" + be32(2) + "de" + le32(0));
  rewind(fp());
  char buffer[10];
  ASSERT_EQ(wezreadHdrString(captureMessage, "u5", buffer, 10, fp()), IO_OK);
  EXPECT_STREQ(buffer, "abc");
  ASSERT_EQ(wezreadHdrString(captureMessage, "U", buffer, 10, fp()), IO_OK);
  EXPECT_STREQ(buffer, "de");
  ASSERT_EQ(wezreadHdrString(captureMessage, "l", buffer, 10, fp()), IO_OK);
  EXPECT_STREQ(buffer, "");
  EXPECT_TRUE(messages().empty());
}

TEST_F(LowlevelIoTest, HeaderStringLimits) {
  EXPECT_EQ(wezwriteHdrString(captureMessage, "F", "abcdef", 5, fp()), IO_WRITE_ERR);
  EXPECT_EQ(wezwriteHdrString(captureMessage, "u", "abcdef", 5, fp()), IO_WRITE_ERR);
  EXPECT_EQ(wezwriteHdrString(captureMessage, "Q", "abc", 5, fp()), IO_FORMAT_ERR);
  EXPECT_EQ(m_file.bytes(), "");

  // A negative length from the file is refused before anything is read.
  m_file.reset(le32(0xFFFFFFFF) + "xxxx");
  char buffer[10];
  memset(buffer, 'Z', sizeof buffer);
  EXPECT_EQ(wezreadHdrString(captureMessage, "u", buffer, 10, fp()), IO_READ_ERR);
  EXPECT_EQ(buffer[0], 'Z');
  m_file.reset(be32(10) + "0123456789");
  EXPECT_EQ(wezreadHdrString(captureMessage, "U", buffer, 10, fp()), IO_MEMORY_ERR);
  m_file.reset(le32(8) + "0123");
  EXPECT_EQ(wezreadHdrString(captureMessage, "u", buffer, 10, fp()), IO_READ_ERR);
  EXPECT_EQ(wezreadHdrString(captureMessage, "Z", buffer, 10, fp()), IO_FORMAT_ERR);
  std::vector<std::string> expected = {
      "wezwriteHdrString: string too long for format (6 > 5)\n",
      "wezwriteHdrString: string too long for format (6 > 5)\n",
      "wezwriteHdrString: bad format Q \n",
      "wezreadHdrString: bad string length -1\n",
      "wezreadHdrString: not enough buffer space for string: have 10, require > 10\n",
      "wezreadString: fread failed: read 4 bytes, expected 8\n",
      "wezreadHdrString: unable to read string data\n",
      "wezreadHdrString: bad format Z?\n",
  };
  EXPECT_EQ(messages(), expected);
}

// ---------------------------------------------------------------------------------------------
// Offsets and the index position

TEST_F(LowlevelIoTest, TextOffsetsInTheFileWidth) {
  ASSERT_EQ(wezwriteOffset(captureMessage, "F", 36, 20, fp()), IO_OK);
  ASSERT_EQ(wezwriteOffset(captureMessage, "F", -1, 10, fp()), IO_OK);
  ASSERT_EQ(wezwriteOffset(captureMessage, "F", 9999999999LL, 10, fp()), IO_OK);
  EXPECT_EQ(wezwriteOffset(captureMessage, "F", 12345678901LL, 10, fp()), IO_FORMAT_ERR);
  EXPECT_EQ(m_file.bytes(), std::string(18, ' ') + "36\n" + std::string(8, ' ') + "-1\n" +
                                "9999999999\n");
  EXPECT_EQ(allMessages(), "writeOffset: offset 12345678901 too large for current offset "
                           "format 10.  Possibly a dataset >2Gb.\n");
  rewind(fp());
  int64_t a, b, c;
  ASSERT_EQ(wezreadOffset(captureMessage, "F", &a, fp()), IO_OK);
  ASSERT_EQ(wezreadOffset(captureMessage, "F", &b, fp()), IO_OK);
  ASSERT_EQ(wezreadOffset(captureMessage, "F", &c, fp()), IO_OK);
  EXPECT_EQ(a, 36);
  EXPECT_EQ(b, -1);
  EXPECT_EQ(c, 9999999999LL);
  m_file.reset("   123 and the rest\n");
  ASSERT_EQ(wezreadOffset(captureMessage, "F", &a, fp()), IO_OK);
  EXPECT_EQ(a, 123);
  EXPECT_EQ(io_tell(fp()), 20);
}

TEST_F(LowlevelIoTest, FourByteOffsets) {
  ASSERT_EQ(wezwriteOffset(captureMessage, "u", -1, 20, fp()), IO_OK);
  ASSERT_EQ(wezwriteOffset(captureMessage, "U5", 0x01020304, 20, fp()), IO_OK);
  EXPECT_EQ(wezwriteOffset(captureMessage, "u", 2147483648LL, 20, fp()), IO_FORMAT_ERR);
  EXPECT_EQ(m_file.bytes(), le32(0xFFFFFFFF) + be32(0x01020304));
  EXPECT_EQ(allMessages(), "writeOffset: offset 2147483648 too large for integer,\nwould be "
                           "written as -2147483648.  Possibly a dataset >2Gb.\n");
  rewind(fp());
  int64_t a, b;
  ASSERT_EQ(wezreadOffset(captureMessage, "u", &a, fp()), IO_OK);
  ASSERT_EQ(wezreadOffset(captureMessage, "U", &b, fp()), IO_OK);
  EXPECT_EQ(a, -1);
  EXPECT_EQ(b, 0x01020304);
  // A short read answers 10 without a message.
  messages().clear();
  EXPECT_EQ(wezreadOffset(captureMessage, "u", &a, fp()), IO_READ_ERR);
  EXPECT_TRUE(messages().empty());
}

TEST_F(LowlevelIoTest, EightByteOffsets) {
  int64_t big = 0x0102030405060708LL;
  ASSERT_EQ(wezwriteOffset(captureMessage, "l", big, 20, fp()), IO_OK);
  ASSERT_EQ(wezwriteOffset(captureMessage, "L", big, 20, fp()), IO_OK);
  ASSERT_EQ(wezwriteOffset(captureMessage, "l5", -2, 20, fp()), IO_OK);
  EXPECT_EQ(m_file.bytes(), le64(big) + be64(big) + le64(static_cast<uint64_t>(-2)));
  rewind(fp());
  int64_t a, b, c;
  ASSERT_EQ(wezreadOffset(captureMessage, "l", &a, fp()), IO_OK);
  ASSERT_EQ(wezreadOffset(captureMessage, "L", &b, fp()), IO_OK);
  ASSERT_EQ(wezreadOffset(captureMessage, "l", &c, fp()), IO_OK);
  EXPECT_EQ(a, big);
  EXPECT_EQ(b, big);
  EXPECT_EQ(c, -2);
}

TEST_F(LowlevelIoTest, OffsetsOfDeletedOrUnknownLettersAreRefused) {
  int64_t a = 0;
  EXPECT_EQ(wezwriteOffset(captureMessage, "D", 1, 20, fp()), IO_FORMAT_ERR);
  EXPECT_EQ(wezwriteOffset(captureMessage, "x5", 1, 20, fp()), IO_FORMAT_ERR);
  EXPECT_EQ(wezreadOffset(captureMessage, "D", &a, fp()), IO_FORMAT_ERR);
  std::vector<std::string> expected = {
      "wezwriteOffset: bad dataset format D \n",
      "wezwriteOffset: bad dataset format x5\n",
      "wezreadOffset: bad dataset format D?\n",
  };
  EXPECT_EQ(messages(), expected);
}

TEST_F(LowlevelIoTest, IndexLocationFromTheLastLine) {
  int64_t offset = -5;
  EXPECT_EQ(wezgotoIndexLocation(captureMessage, &offset, 20, fp()), IO_EMPTY_FILE);
  EXPECT_EQ(offset, 0);

  std::string body = "*INFO\n" + std::string(20, ' ') + "\n0123456789";
  m_file.reset(body + rightAligned("6", 20) + "\n");
  ASSERT_EQ(wezgotoIndexLocation(captureMessage, &offset, 20, fp()), IO_OK);
  EXPECT_EQ(offset, 6);
  EXPECT_EQ(io_tell(fp()), 6);

  m_file.reset(body + rightAligned("12", 10) + "\n");
  ASSERT_EQ(wezgotoIndexLocation(captureMessage, &offset, 10, fp()), IO_OK);
  EXPECT_EQ(offset, 12);
  EXPECT_EQ(io_tell(fp()), 12);
  EXPECT_TRUE(messages().empty());

  m_file.reset("tiny\n");
  EXPECT_EQ(wezgotoIndexLocation(captureMessage, &offset, 20, fp()), IO_SEEK_ERR);
  EXPECT_EQ(allMessages().rfind("wezgotoIndexLocation: (fseek rel -21 failed) syserr:: ", 0), 0u);
}

// ---------------------------------------------------------------------------------------------
// Letters, positions and byte order

TEST_F(LowlevelIoTest, MakeNative) {
  char a[] = "U5", b[] = "d", c[] = "L", d[] = "X", e[] = "F", f[] = "D", q[] = "Q";
  EXPECT_EQ(iofmt_make_native(captureMessage, a), IO_OK);
  EXPECT_EQ(iofmt_make_native(captureMessage, b), IO_OK);
  EXPECT_EQ(iofmt_make_native(captureMessage, c), IO_OK);
  EXPECT_EQ(iofmt_make_native(captureMessage, d), IO_OK);
  EXPECT_EQ(iofmt_make_native(captureMessage, e), IO_OK);
  EXPECT_EQ(iofmt_make_native(captureMessage, f), IO_OK);
  EXPECT_STREQ(a, "u5");
  EXPECT_STREQ(b, "D");
  EXPECT_STREQ(c, "l");
  EXPECT_STREQ(d, "x");
  EXPECT_STREQ(e, "F");
  EXPECT_STREQ(f, "D");
  EXPECT_EQ(iofmt_make_native(captureMessage, q), IO_FORMAT_ERR);
  EXPECT_STREQ(q, "Q");
  EXPECT_EQ(allMessages(), "iofmt_make_native: unrecognised format Q \n");
}

TEST_F(LowlevelIoTest, SwapBytes) {
  unsigned char four[4] = {1, 2, 3, 4}, eight[8] = {1, 2, 3, 4, 5, 6, 7, 8}, three[3] = {1, 2, 3};
  io_swap_bytes(four, 4);
  io_swap_bytes(eight, 8);
  io_swap_bytes(three, 3);
  EXPECT_EQ(std::string(reinterpret_cast<char *>(four), 4), std::string("\4\3\2\1", 4));
  EXPECT_EQ(std::string(reinterpret_cast<char *>(eight), 8),
            std::string("\10\7\6\5\4\3\2\1", 8));
  EXPECT_EQ(std::string(reinterpret_cast<char *>(three), 3), std::string("\3\2\1", 3));
}

TEST_F(LowlevelIoTest, SeekFromEveryOrigin) {
  // Buffered output counts towards the end of a writable stream.
  fwrite("0123456789", 1, 10, fp());
  ASSERT_EQ(io_seek(fp(), -3, 2), 0);
  EXPECT_EQ(io_tell(fp()), 7);
  ASSERT_EQ(io_seek(fp(), 2, 1), 0);
  EXPECT_EQ(io_tell(fp()), 9);
  ASSERT_EQ(io_seek(fp(), 4, 0), 0);
  EXPECT_EQ(fgetc(fp()), '4');
  EXPECT_NE(io_seek(fp(), -20, 1), 0);
  EXPECT_NE(io_seek(fp(), -11, 2), 0);
  EXPECT_NE(io_seek(fp(), 0, 3), 0);
  EXPECT_EQ(io_tell(nullptr), -1);

  // A memory stream has no file-system size: its own end is used.
  char memory[] = "abcdef";
  FILE *in = fmemopen(memory, 6, "rb");
  ASSERT_EQ(io_seek(in, -2, 2), 0);
  EXPECT_EQ(fgetc(in), 'e');
  fclose(in);
}

} // namespace
