// The session file notation: reading lines and values from files and terminals, the writers'
// exact lines, round trips, and every way a reading can break off.
#include "Session.h"
#include "zyrCString.h"
#include "zyrError.h"
#include "zyrErrorManager.h"
#include "zyrLibrary.h"
#include "zyrMemory.h"
#include "zyrSystem.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const int g_localUnits = setenv("ZYR_USE_LOCAL_UNITS", "1", 0);

class SessionTest : public testing::Test {
protected:
  void SetUp() override {
    ASSERT_EQ(g_localUnits, 0);
    zyrErrorManager_clearErrors(zyrErrorManager_get());
    session = Session_new();
  }
  void TearDown() override {
    Session_delete(session);
    if (input != nullptr)
      std::fclose(input);
    closeOutput();
    zyrErrorManager_clearErrors(zyrErrorManager_get());
    zyrLibrary_clearProgramName();
  }

  // Reads from a file holding exactly these bytes.
  void read(const std::string &bytes, int interactive = 0) {
    if (input != nullptr)
      std::fclose(input);
    input = std::tmpfile();
    ASSERT_NE(input, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), input);
    std::rewind(input);
    Session_setInput(session, input);
    session->m_interactive = interactive;
  }
  // Writes into memory; written() gives the bytes so far.
  void write() {
    closeOutput();
    output = open_memstream(&buffer, &size);
    ASSERT_NE(output, nullptr);
    session->m_output = output;
  }
  std::string written() {
    std::fflush(output);
    return std::string(buffer, size);
  }
  void closeOutput() {
    if (output != nullptr)
      std::fclose(output);
    output = nullptr;
    std::free(buffer);
    buffer = nullptr;
    size = 0;
  }
  // What was written, read back by a fresh file session.
  void readBack() {
    const std::string bytes = written();
    closeOutput();
    session->m_output = stdout;
    read(bytes);
  }
  std::string takeString(char *s) {
    std::string text = s == nullptr ? "<null>" : s;
    zyrCString_free(s);
    return text;
  }
  static void expectLastError(int32_t code, const char *function, const std::string &message) {
    zyrError *error = zyrError_getLast();
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(zyrError_getCode(error), code);
    EXPECT_STREQ(zyrError_getFunction(error), function);
    EXPECT_EQ(std::string(zyrError_getMessage(error)), message);
  }
  static int32_t errorCount() {
    int32_t n = 0;
    zyrErrorManager_getNoOfErrors(zyrErrorManager_get(), &n);
    return n;
  }

  Session *session = nullptr;
  FILE *input = nullptr;
  FILE *output = nullptr;
  char *buffer = nullptr;
  size_t size = 0;
};

// ---- Lines ----

TEST_F(SessionTest, LinesEndInLineFeedsOrCarriageReturnLineFeedsAndCommentsAreSkippedEverywhere) {
  read("# Session file started\r\nzyrDatabase_open\r\n#inside a record\n/tmp/a # b.zyr\r\n"
       "# before the block\n__EOF\n#in the block\nline 1\r\n__EOF\r\n#\n#x\nlast");
  EXPECT_STREQ(Session_readKeyword(session), "zyrDatabase_open");
  EXPECT_EQ(takeString(Session_readString(session, "name")), "/tmp/a # b.zyr");
  int32_t count = -1;
  char **lines = Session_readStrings(session, "vsn", &count);
  ASSERT_EQ(count, 1);
  EXPECT_STREQ(lines[0], "line 1");
  zyrCStringArray_free(lines, 1);
  // A last line without a line feed is read whole.
  EXPECT_STREQ(Session_readKeyword(session), "last");
  EXPECT_EQ(Session_readKeyword(session), nullptr);
  EXPECT_EQ(Session_getState(session), SessionEnded);
}

TEST_F(SessionTest, EndOfInputEndsASessionNormallyOnlyWhereAKeywordIsExpected) {
  read("");
  EXPECT_EQ(Session_readKeyword(session), nullptr);
  EXPECT_EQ(Session_getState(session), SessionEnded);

  read("# comments only\n#\n");
  EXPECT_EQ(Session_readKeyword(session), nullptr);
  EXPECT_EQ(Session_getState(session), SessionEnded);

  read("zyrDatabase_close\n");
  EXPECT_STREQ(Session_readKeyword(session), "zyrDatabase_close");
  EXPECT_EQ(Session_readInteger(session, "hDatabase"), 0);
  EXPECT_EQ(Session_getState(session), SessionTruncated);
  EXPECT_EQ(errorCount(), 0) << "the player reports the truncation, not the reader";
}

TEST_F(SessionTest, AfterTheReadingBrokeOffEveryReaderReturnsANeutralValueAndReadsNothing) {
  read("x\n3\n7\n");
  session->m_state = SessionInvalid;
  EXPECT_EQ(Session_readKeyword(session), nullptr);
  EXPECT_EQ(Session_readInteger(session, "a"), 0);
  EXPECT_EQ(Session_readReal(session, "b"), 0.0);
  EXPECT_EQ(Session_readBoolean(session, "c"), 0);
  EXPECT_EQ(takeString(Session_readString(session, "d")), "");
  int32_t count = -1;
  EXPECT_EQ(Session_readIntArray(session, "n", "items", &count), nullptr);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(Session_readStringArray(session, "n", "items", 2, &count), nullptr);
  EXPECT_EQ(Session_readStrings(session, "text", &count), nullptr);
  zyrAffineTransform3D *t = nullptr;
  EXPECT_EQ(Session_readTransformation(session, &t), -1);
  ASSERT_NE(t, nullptr);
  zyrAffineTransform3D_delete(t);
  EXPECT_EQ(std::ftell(input), 0);
  EXPECT_EQ(Session_getState(session), SessionInvalid);
  EXPECT_EQ(errorCount(), 0);
}

TEST_F(SessionTest, LongLinesAreReadWholeUpToTheLimitAndRefusedBeyondIt) {
  const std::string longValue(5000, 'r');
  read(longValue + "\r\n" + std::string(1022, 's') + "\n7\n");
  EXPECT_EQ(takeString(Session_readString(session, "location")), longValue);
  EXPECT_EQ(takeString(Session_readString(session, "location")), std::string(1022, 's'));
  EXPECT_EQ(Session_readInteger(session, "flags"), 7);

  // A comment of any length is skipped; a value line beyond the limit is never cut into values.
  const std::string tooLong(SESSION_MAX_LINE + 1, '9');
  read("#" + tooLong + "\n" + std::string(SESSION_MAX_LINE, '8') + "\n" + tooLong + "\n5\n");
  EXPECT_EQ(takeString(Session_readString(session, "a")).size(), static_cast<size_t>(SESSION_MAX_LINE));
  EXPECT_EQ(Session_readInteger(session, "b"), 0);
  EXPECT_EQ(Session_getState(session), SessionInvalid);
  expectLastError(10035, "Session_readline",
                  "The format of the session file is not valid.\n\nA line is longer than 16777216 characters.\n");
  EXPECT_EQ(Session_readInteger(session, "c"), 0);

  // At a terminal the line is refused and the next one read.
  read(tooLong + "\n5\n", 1);
  testing::internal::CaptureStderr();
  EXPECT_EQ(Session_readInteger(session, nullptr), 5);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "The line has been ignored: it is longer than 16777216 characters.\n");
}

TEST_F(SessionTest, ALineHoldingAZeroByteIsRefused) {
  read(std::string("zyrApp_clearErrors\0junk\n", 24));
  EXPECT_EQ(Session_readKeyword(session), nullptr);
  EXPECT_EQ(Session_getState(session), SessionInvalid);
  expectLastError(10035, "Session_readline",
                  "The format of the session file is not valid.\n\nThe line \"zyrApp_clearErrors\" holds a zero byte.\n");
}

// ---- Values ----

TEST_F(SessionTest, NumbersAreReadFromTheStartOfTheLine) {
  read("42\n  -7 trailing\n15\n256\n-1\n-129\n0.1\n1e400\n 2.5e-3x\n");
  EXPECT_EQ(Session_readInteger(session, "a"), 42);
  EXPECT_EQ(Session_readInteger(session, "b"), -7);
  EXPECT_EQ(Session_readBoolean(session, "c"), 15);
  EXPECT_EQ(Session_readBoolean(session, "d"), 0);
  EXPECT_EQ(Session_readBoolean(session, "e"), -1);
  EXPECT_EQ(Session_readBoolean(session, "f"), 127);
  EXPECT_EQ(Session_readReal(session, "g"), 0.1);
  EXPECT_EQ(Session_readReal(session, "h"), HUGE_VAL);
  EXPECT_EQ(Session_readReal(session, "i"), 2.5e-3);
  EXPECT_EQ(Session_getState(session), SessionReading);
}

TEST_F(SessionTest, ALineThatIsNoNumberMakesAFileInvalidAndIsAskedAgainAtATerminal) {
  read("abc\n3\n");
  EXPECT_EQ(Session_readInteger(session, "hModel"), 0);
  EXPECT_EQ(Session_getState(session), SessionInvalid);
  expectLastError(10035, "Session_readInteger",
                  "The format of the session file is not valid.\n\nThe line \"abc\" is not an integer.\n");

  read("2147483648\n");
  Session_readBoolean(session, "mask");
  expectLastError(10035, "Session_readBoolean",
                  "The format of the session file is not valid.\n\nThe line \"2147483648\" is not an integer.\n");
  read("\n");
  Session_readReal(session, "angle");
  expectLastError(10035, "Session_readReal",
                  "The format of the session file is not valid.\n\nThe line \"\" is not a real number.\n");

  read("x\n\n12\n", 1);
  write();
  testing::internal::CaptureStderr();
  EXPECT_EQ(Session_readInteger(session, "hModel"), 12);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "The value \"x\" is not an integer.\nThe value \"\" is not an integer.\n");
  EXPECT_EQ(written(), "hModel              ? hModel              ? hModel              ? ");
  EXPECT_EQ(Session_getState(session), SessionReading);
}

TEST_F(SessionTest, WritersWriteTheSpecifiedLines) {
  write();
  Session_writeString(session, "zyrModel_importRegionMap");
  Session_writeInteger(session, -12);
  Session_writeReal(session, 1.5);
  Session_writeReal(session, 0.1);
  Session_writeReal(session, -2.0e-300);
  Session_writeBoolean(session, static_cast<char>(-3));
  Session_writeString(session, nullptr);
  const int32_t numbers[] = {4, 5};
  Session_writeIntegerArray(session, numbers, 2);
  Session_writeIntegerArray(session, nullptr, 0);
  char a[] = "a", b[] = "b", c[] = "c", d[] = "d";
  char *pairs[] = {a, b, c, d};
  Session_writeStringArray(session, pairs, 2, 2);
  Session_writeStringArray(session, nullptr, 1, -1);
  char *lines[] = {a, b, c};
  Session_writeStrings(session, lines, 3, "__EOF");
  Session_writeStrings(session, nullptr, 0, "__EOF");
  EXPECT_EQ(written(), "zyrModel_importRegionMap\n-12\n1.500000e+00\n1.000000e-01\n-2.000000e-300\n-3\n\n"
                       "2\n4\n5\n0\n2\na\nb\nc\nd\n-1\n__EOF\na\nb\nc\n__EOF\n__EOF\n__EOF\n");
}

TEST_F(SessionTest, RealsKeepEveryDigitTheyNeed) {
  const double values[] = {1.0 / 3.0, 0.1 + 0.2, -1.2345678e-10, 6.02214076e23, 4.9e-324, 1.7976931348623157e308,
                           -0.0, 1.0, 123456.0};
  write();
  for (double v : values)
    Session_writeReal(session, v);
  Session_writeReal(session, INFINITY);
  Session_writeReal(session, NAN);
  const std::string text = written();
  EXPECT_EQ(text.substr(0, text.find('\n')), "3.333333333333333e-01");
  readBack();
  for (double v : values) {
    const double back = Session_readReal(session, "x");
    EXPECT_EQ(back, v);
    EXPECT_EQ(std::signbit(back), std::signbit(v));
  }
  EXPECT_EQ(Session_readReal(session, "x"), INFINITY);
  EXPECT_TRUE(std::isnan(Session_readReal(session, "x")));
  EXPECT_EQ(Session_getState(session), SessionReading);
}

TEST_F(SessionTest, StringsComeBackAsWrittenWhateverTheyHold) {
  const std::vector<std::string> values = {"plain", "", "#not a comment", "\\#one backslash", "\\\\server\\share",
                                           "\\", "ends in CR\r", "\r\r", " blanks ", "__EOF", "# \\"};
  write();
  for (const std::string &v : values)
    Session_writeString(session, v.c_str());
  Session_writeString(session, nullptr);
  Session_writeString(session, "two\nlines");
  EXPECT_NE(written().find("\n\\#not a comment\n\\\\#one backslash\n\\\\server\\share\n"), std::string::npos);
  readBack();
  for (const std::string &v : values)
    EXPECT_EQ(takeString(Session_readString(session, "s")), v);
  // A null string comes back empty; a line feed cannot stay inside its line.
  EXPECT_EQ(takeString(Session_readString(session, "s")), "");
  EXPECT_EQ(takeString(Session_readString(session, "s")), "two lines");
  EXPECT_EQ(Session_readKeyword(session), nullptr);
  EXPECT_EQ(Session_getState(session), SessionEnded);
}

TEST_F(SessionTest, IntegersAndBytesRoundTrip) {
  write();
  const int32_t values[] = {0, 1, -1, INT32_MAX, INT32_MIN};
  for (int32_t v : values)
    Session_writeInteger(session, v);
  for (int v = -128; v < 128; ++v)
    Session_writeBoolean(session, static_cast<char>(v));
  readBack();
  for (int32_t v : values)
    EXPECT_EQ(Session_readInteger(session, "i"), v);
  for (int v = -128; v < 128; ++v)
    EXPECT_EQ(Session_readBoolean(session, "b"), static_cast<char>(v));
}

// ---- Arrays and text blocks ----

TEST_F(SessionTest, ArraysReadTheirCountThenCountTimesWidthItems) {
  read("0\n3\na1\na2\nb1\nb2\nc1\nc2\n-4\n2\n10\n-20\nrest\n");
  int32_t count = -1;
  EXPECT_EQ(Session_readStringArray(session, "noOfgluedPairs", "pairedRegions", 2, &count), nullptr);
  EXPECT_EQ(count, 0);
  char **pairs = Session_readStringArray(session, "noOfgluedPairs", "pairedRegions", 2, &count);
  ASSERT_EQ(count, 3);
  for (int i = 0; i < 6; ++i)
    EXPECT_EQ(pairs[i], std::string(1, static_cast<char>('a' + i / 2)) + std::to_string(1 + i % 2));
  zyrCStringArray_free(pairs, 6);
  EXPECT_EQ(Session_readIntArray(session, "n", "values", &count), nullptr);
  EXPECT_EQ(count, -4);
  int32_t *values = Session_readIntArray(session, "n", "values", &count);
  ASSERT_EQ(count, 2);
  EXPECT_EQ(values[0], 10);
  EXPECT_EQ(values[1], -20);
  zyrMemory_free(values, "test");
  EXPECT_EQ(takeString(Session_readString(session, "next")), "rest");
}

TEST_F(SessionTest, AFalseCountCostsNoMoreThanTheLinesThatAreThere) {
  read("2000000000\na\nb\n");
  int32_t count = -1;
  EXPECT_EQ(Session_readStringArray(session, "n", "items", 2, &count), nullptr);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(Session_getState(session), SessionTruncated);

  read("2147483647\n1\n2\n");
  EXPECT_EQ(Session_readIntArray(session, "n", "items", &count), nullptr);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(Session_getState(session), SessionTruncated);

  // Past the first allocation the arrays grow with the lines read.
  std::string text = "3000\n";
  for (int i = 0; i < 3000; ++i)
    text += std::to_string(i) + "\n";
  read(text + text);
  int32_t *values = Session_readIntArray(session, "n", "items", &count);
  ASSERT_EQ(count, 3000);
  EXPECT_EQ(values[2999], 2999);
  zyrMemory_free(values, "test");
  char **strings = Session_readStringArray(session, "n", "items", 1, &count);
  ASSERT_EQ(count, 3000);
  EXPECT_STREQ(strings[2999], "2999");
  zyrCStringArray_free(strings, 3000);
}

TEST_F(SessionTest, TextBlocksEndAtTheirOwnFirstLine) {
  read("__EOF\n__EOF\nEND\none\n\ntwo\nEND\n!\n__EOF\n!\n");
  int32_t count = -1;
  EXPECT_EQ(Session_readStrings(session, "vsn", &count), nullptr);
  EXPECT_EQ(count, 0);
  char **lines = Session_readStrings(session, "vsn", &count);
  ASSERT_EQ(count, 3);
  EXPECT_STREQ(lines[0], "one");
  EXPECT_STREQ(lines[1], "");
  EXPECT_STREQ(lines[2], "two");
  zyrCStringArray_free(lines, 3);
  lines = Session_readStrings(session, "vsn", &count);
  ASSERT_EQ(count, 1);
  EXPECT_STREQ(lines[0], "__EOF");
  zyrCStringArray_free(lines, 1);

  // A line equal to the delimiter ends the block early.
  read("__EOF\na\n__EOF\nb\n__EOF\n");
  lines = Session_readStrings(session, "vsn", &count);
  ASSERT_EQ(count, 1);
  zyrCStringArray_free(lines, 1);
  EXPECT_EQ(takeString(Session_readString(session, "next")), "b");

  // 250 lines outgrow the first table twice.
  std::string text = "__EOF\n";
  for (int i = 0; i < 250; ++i)
    text += "line " + std::to_string(i) + "\n";
  read(text + "__EOF\n");
  lines = Session_readStrings(session, "vsn", &count);
  ASSERT_EQ(count, 250);
  EXPECT_STREQ(lines[249], "line 249");
  zyrCStringArray_free(lines, 250);

  read("__EOF\na\nb\n");
  EXPECT_EQ(Session_readStrings(session, "vsn", &count), nullptr);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(Session_getState(session), SessionTruncated);
}

TEST_F(SessionTest, TextBlocksRoundTripWithADelimiterNoLineEquals) {
  char l0[] = "REGION ATLAS", l1[] = "# a comment\nsecond", l2[] = "__EOF", l3[] = "__EOF1", l4[] = "", l5[] = "x\r";
  char *lines[] = {l0, l1, l2, l3, l4, l5};
  write();
  Session_writeStrings(session, lines, 6, "__EOF");
  Session_writeInteger(session, 1);
  EXPECT_EQ(written(), "__EOF2\nREGION ATLAS\n\\# a comment\nsecond\n__EOF\n__EOF1\n\nx\r\r\n__EOF2\n1\n");
  readBack();
  int32_t count = -1;
  char **back = Session_readStrings(session, "vsn", &count);
  ASSERT_EQ(count, 7);
  const char *expected[] = {"REGION ATLAS", "# a comment", "second", "__EOF", "__EOF1", "", "x\r"};
  for (int i = 0; i < 7; ++i)
    EXPECT_STREQ(back[i], expected[i]);
  zyrCStringArray_free(back, 7);
  EXPECT_EQ(Session_readInteger(session, "operation"), 1);
}

TEST_F(SessionTest, ArraysRoundTrip) {
  char a[] = "#1", b[] = "", c[] = "three";
  char *items[] = {a, b, c, nullptr};
  const int32_t numbers[] = {7, -8, 9};
  write();
  Session_writeStringArray(session, items, 2, 2);
  Session_writeIntegerArray(session, numbers, 3);
  Session_writeStringArray(session, items, 1, 0);
  readBack();
  int32_t count = -1;
  char **strings = Session_readStringArray(session, "n", "items", 2, &count);
  ASSERT_EQ(count, 2);
  EXPECT_STREQ(strings[0], "#1");
  EXPECT_STREQ(strings[1], "");
  EXPECT_STREQ(strings[2], "three");
  EXPECT_STREQ(strings[3], "");
  zyrCStringArray_free(strings, 4);
  int32_t *values = Session_readIntArray(session, "n", "items", &count);
  ASSERT_EQ(count, 3);
  EXPECT_EQ(values[1], -8);
  zyrMemory_free(values, "test");
  EXPECT_EQ(Session_readStringArray(session, "n", "items", 1, &count), nullptr);
  EXPECT_EQ(count, 0);
}

// ---- Transformations ----

TEST_F(SessionTest, TransformationsRoundTripExactly) {
  zyrAffineTransform3D *t = zyrAffineTransform3D_new();
  const double axis[3] = {1.0, 2.0, 3.0};
  const double point[3] = {0.25, -1.0 / 7.0, 10.0};
  ASSERT_EQ(zyrAffineTransform3D_rotate(t, point, "mm", axis, 30.0, "deg"), 1);
  write();
  Session_writeTransformation(session, t);
  readBack();
  zyrAffineTransform3D *back = nullptr;
  EXPECT_EQ(Session_readTransformation(session, &back), 1);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(std::memcmp(back->m_A, t->m_A, sizeof t->m_A), 0);
  EXPECT_EQ(std::memcmp(back->m_v, t->m_v, sizeof t->m_v), 0);
  EXPECT_STREQ(back->m_units, t->m_units);
  zyrAffineTransform3D_delete(back);
  zyrAffineTransform3D_delete(t);

  write();
  t = zyrAffineTransform3D_new();
  Session_writeTransformation(session, t);
  EXPECT_EQ(written(), "1.000000e+00\n0.000000e+00\n0.000000e+00\n0.000000e+00\n1.000000e+00\n0.000000e+00\n"
                       "0.000000e+00\n0.000000e+00\n1.000000e+00\n0.000000e+00\n0.000000e+00\n0.000000e+00\nm\n");
  zyrAffineTransform3D_delete(t);
}

const char *const g_badUnits = "1\n0\n0\n0\n1\n0\n0\n0\n1\n5\n6\n7\ndeg\n";

TEST_F(SessionTest, AFileTransformationInAnUnknownUnitIsInvalid) {
  read(std::string(g_badUnits) + "1\n");
  zyrAffineTransform3D *t = nullptr;
  EXPECT_EQ(Session_readTransformation(session, &t), -1);
  ASSERT_NE(t, nullptr);
  zyrAffineTransform3D_delete(t);
  EXPECT_EQ(Session_getState(session), SessionInvalid);
  expectLastError(10035, "Session_readTransformation",
                  "The format of the session file is not valid.\n\nAffine transformation information is invalid.\n");
  int32_t n = 0;
  zyrError **errors = nullptr;
  zyrErrorManager_getErrors(zyrErrorManager_get(), &n, &errors);
  ASSERT_EQ(n, 2);
  EXPECT_EQ(zyrError_getCode(errors[0]), 10013);
  zyrMemory_free(errors, "test");
}

TEST_F(SessionTest, ATerminalTransformationInAnUnknownUnitIsDroppedAndTheSessionGoesOn) {
  read(std::string(g_badUnits) + "zyrApp_clearErrors\n", 1);
  write();
  zyrAffineTransform3D *t = nullptr;
  testing::internal::CaptureStderr();
  EXPECT_EQ(Session_readTransformation(session, &t), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Affine transformation information is invalid.\n");
  zyrAffineTransform3D_delete(t);
  EXPECT_EQ(Session_getState(session), SessionReading);
  expectLastError(10013, "zyrAffineTransform3D_set", "Supplied units for length were: deg.\n");
  EXPECT_STREQ(Session_readKeyword(session), "zyrApp_clearErrors");
  EXPECT_EQ(written(), "transformation      ?\nA[0][0]             ? A[0][1]             ? A[0][2]             ? "
                       "A[1][0]             ? A[1][1]             ? A[1][2]             ? A[2][0]             ? "
                       "A[2][1]             ? A[2][2]             ? v[0]                ? v[1]                ? "
                       "v[2]                ? units               ? ");
}

TEST_F(SessionTest, ATransformationCutShortPublishesNothing) {
  read("1\n0\n0\n0\n1\n");
  zyrAffineTransform3D *t = nullptr;
  EXPECT_EQ(Session_readTransformation(session, &t), -1);
  zyrAffineTransform3D_delete(t);
  EXPECT_EQ(Session_getState(session), SessionTruncated);
  EXPECT_EQ(errorCount(), 0);
}

// ---- Prompts ----

TEST_F(SessionTest, PromptsAppearOnlyAtATerminalEachLabelOnce) {
  read("zyrModel_mergeAssemblies\n2\nA\nB\n0\n__EOF\nx\n__EOF\n", 1);
  write();
  EXPECT_STREQ(Session_readKeyword(session), "zyrModel_mergeAssemblies");
  int32_t count = 0;
  char **names = Session_readStringArray(session, "noOfAssembliesIn", "assembliesIn", 1, &count);
  zyrCStringArray_free(names, 2);
  EXPECT_EQ(Session_readStringArray(session, "noOfComponentsB", "componentsB", 1, &count), nullptr);
  char **lines = Session_readStrings(session, "vsn", &count);
  zyrCStringArray_free(lines, 1);
  Session_prompt(session, "elements[3]", 1);
  EXPECT_EQ(written(), "noOfAssembliesIn    ? assembliesIn        ?\nnoOfComponentsB     ? vsn                 ?\n"
                       "elements[3]         ?\n");

  read("5\n");
  write();
  EXPECT_EQ(Session_readInteger(session, "hModel"), 5);
  EXPECT_EQ(written(), "");
}

TEST_F(SessionTest, TheInputBeingATerminalDecidesThePrompts) {
  int master = -1, slave = -1;
  ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  FILE *terminal = fdopen(slave, "r");
  ASSERT_NE(terminal, nullptr);
  Session_setInput(session, terminal);
  EXPECT_EQ(session->m_interactive, 1);
  ASSERT_EQ(::write(master, "3\n", 2), 2);
  write();
  EXPECT_EQ(Session_readInteger(session, "checkpoint"), 3);
  EXPECT_EQ(written(), "checkpoint          ? ");
  std::fclose(terminal);
  close(master);

  read("3\n");
  EXPECT_EQ(session->m_interactive, 0);
  Session_setInput(session, input);
  EXPECT_EQ(session->m_interactive, 0);
}

// ---- Recording ----

TEST_F(SessionTest, ARecordingIsFramedByCommentLines) {
  zyrLibrary_setProgramName("sessiontest");
  write();
  EXPECT_EQ(Session_startRecording(session, output), 1);
  Session_writeString(session, "zyrApp_clearErrors");
  EXPECT_EQ(Session_stopRecording(session), 1);
  EXPECT_EQ(session->m_output, nullptr);
  EXPECT_EQ(Session_writeInteger(session, 1), 0);

  char *build = zyrLibrary_getBuild(), *release = zyrLibrary_getRelease();
  char *cwd = zyrGetCurrentDirectory(), *host = zyrGetHostName();
  const std::string text = written();
  std::vector<std::string> lines;
  for (size_t from = 0, end; (end = text.find('\n', from)) != std::string::npos; from = end + 1)
    lines.push_back(text.substr(from, end - from));
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_EQ(lines[0].rfind("# Session file started: ", 0), 0u);
  EXPECT_EQ(lines[1], "# Application:          sessiontest");
  EXPECT_EQ(lines[2], std::string("# ZYR build:            ") + build);
  EXPECT_EQ(lines[3], std::string("# Release number:       ") + release);
  EXPECT_EQ(lines[4], std::string("# Running on:           ") + host);
  EXPECT_EQ(lines[5], std::string("# Running in:           ") + cwd);
  EXPECT_EQ(lines[6], "zyrApp_clearErrors");
  EXPECT_EQ(lines[7].rfind("# Session file stopped: ", 0), 0u);
  for (char *s : {build, release, cwd, host})
    zyrCString_free(s);

  // Replayed, the frame is all comment.
  readBack();
  EXPECT_STREQ(Session_readKeyword(session), "zyrApp_clearErrors");
  EXPECT_EQ(Session_readKeyword(session), nullptr);
  EXPECT_EQ(Session_getState(session), SessionEnded);
}

} // namespace
