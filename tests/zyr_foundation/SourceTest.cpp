#include "Source.h"
#include "TestSupport.h"
#include "zyrError.h"
#include "zyrErrorManager.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

Source *over(const std::string &text) { return Source_newBuffer(text.data(), static_cast<int64_t>(text.size())); }

std::vector<std::string> keptLines(const std::string &text, int32_t style) {
  Source *source = over(text);
  Source_setStyle(source, style);
  std::vector<std::string> lines;
  char buffer[64];
  while (Source_getLine(source, buffer, sizeof buffer))
    lines.push_back(buffer);
  Source_delete(source);
  return lines;
}

struct Split {
  int result;
  std::string key;
  std::string value;
};

Split split(const char *line, bool upper = false) {
  std::vector<char> key(strlen(line) + 1), value(strlen(line) + 1);
  int result = upper ? Source_splitUpperKeyValue(line, key.data(), value.data())
                     : Source_splitKeyValue(line, key.data(), value.data());
  return {result, key.data(), value.data()};
}

TEST(Source, StylesChooseTheLinesKept) {
  const std::string text = "one\n\n   \t\n! bang\n  # hash\n#\n  !x\nlast";
  EXPECT_EQ(keptLines(text, 0).size(), 8u);
  EXPECT_EQ(keptLines(text, 1),
            (std::vector<std::string>{"one\n", "  # hash\n", "#\n", "  !x\n", "last"}));
  EXPECT_EQ(keptLines(text, 2), (std::vector<std::string>{"one\n", "! bang\n", "  !x\n", "last"}));
}

TEST(Source, LongLinesArriveInPieces) {
  const std::string text = std::string(10, 'a') + "\nb\n";
  Source *source = over(text);
  char buffer[5];
  std::vector<std::string> pieces;
  while (Source_readLine(source, buffer, sizeof buffer))
    pieces.push_back(buffer);
  EXPECT_EQ(pieces, (std::vector<std::string>{"aaaa", "aaaa", "aa\n", "b\n"}));
  Source_delete(source);

  // The file reader gives the same pieces as the memory reader.
  zyrtest::ScratchDir dir;
  zyrtest::writeFile(dir.file("f"), text);
  Source *file = Source_newFile(dir.file("f").c_str());
  ASSERT_NE(file, nullptr);
  std::vector<std::string> filePieces;
  while (Source_readLine(file, buffer, sizeof buffer))
    filePieces.push_back(buffer);
  EXPECT_EQ(filePieces, pieces);
  Source_delete(file);
}

TEST(Source, MissingFileIsReported) {
  zyrtest::ScratchDir dir;
  const std::string name = dir.file("absent.debug");
  EXPECT_EQ(Source_newFile(name.c_str()), nullptr);
  zyrError *error = zyrError_getLast();
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(zyrError_getCode(error), ZYR_U_INVALID_INPUT);
  EXPECT_EQ(std::string(zyrError_getMessage(error)), "Unable to open file " + name + ".\n");
  EXPECT_STREQ(zyrError_getFunction(error), "Source_newFile");
  zyrErrorManager_clearErrors(zyrErrorManager_get());
}

TEST(Source, Tags) {
  int32_t start = -1, length = -1;
  EXPECT_EQ(Source_parseTag("  <DEBUG>\n", &start, &length), 1);
  EXPECT_EQ(start, 3);
  EXPECT_EQ(length, 5);
  EXPECT_EQ(Source_parseTag("\t</LOGS> trailing\n", &start, &length), 2);
  EXPECT_EQ(start, 3);
  EXPECT_EQ(length, 4);
  EXPECT_EQ(Source_parseTag("<open", &start, &length), 1);
  EXPECT_EQ(length, 4);
  EXPECT_EQ(Source_parseTag("x <DEBUG>", &start, &length), 0);
  EXPECT_EQ(Source_parseTag("   \n", &start, &length), 0);

  EXPECT_EQ(Source_isOpeningTag("<DEBUG>\n", "DEBUG"), 1);
  EXPECT_EQ(Source_isOpeningTag("<DEBUG >\n", "DEBUG"), 0);
  EXPECT_EQ(Source_isOpeningTag("<debug>\n", "DEBUG"), 0);
  EXPECT_EQ(Source_isOpeningTag("</DEBUG>\n", "DEBUG"), 0);
  EXPECT_EQ(Source_isClosingTag(" </DEBUG>\n", "DEBUG"), 1);
  EXPECT_EQ(Source_isClosingTag("</DEBUGGER>\n", "DEBUG"), 0);

  Source *source = over("a\n</OTHER>\n<X>\n</X>\nafter\n");
  char line[64] = "<X>\n";
  skipTag(line, sizeof line, source);
  EXPECT_STREQ(line, "</X>\n");
  ASSERT_EQ(Source_getLine(source, line, sizeof line), 1);
  EXPECT_STREQ(line, "after\n");
  Source_delete(source);
}

TEST(Source, KeyValueSplitting) {
  Split s = split("  Region _new : 2 \n");
  EXPECT_EQ(s.result, 0);
  EXPECT_EQ(s.key, "Region_new");
  EXPECT_EQ(s.value, "2");
  s = split("a=b:c\n"); // the first separator splits
  EXPECT_EQ(s.key, "a");
  EXPECT_EQ(s.value, "b:c");
  s = split("key :   \n");
  EXPECT_EQ(s.result, 1);
  EXPECT_EQ(s.value, "");
  s = split("no separator here\n");
  EXPECT_EQ(s.result, 1);
  EXPECT_EQ(s.key, "noseparatorhere");
  s = split("k =\t two words \t \n"); // only the space counts as a blank
  EXPECT_EQ(s.key, "k");
  EXPECT_EQ(s.value, "\t two words \t");
  s = split("memory = Mem.Log\n", true);
  EXPECT_EQ(s.key, "MEMORY");
  EXPECT_EQ(s.value, "Mem.Log");

  char text[] = "  a b  ";
  Source_trimBlanks(text, 1);
  EXPECT_STREQ(text, "a b  ");
  Source_trimBlanks(text, 2);
  EXPECT_STREQ(text, "a b");
  Source_trimBlanks(text, 0);
  EXPECT_STREQ(text, "ab");
  char both[] = "   ";
  Source_trimBlanks(both, 3);
  EXPECT_STREQ(both, "");
  char upper[] = "displayErrors1";
  EXPECT_EQ(Source_toUpperCase(upper), 14);
  EXPECT_STREQ(upper, "DISPLAYERRORS1");
}

TEST(SourceDeathTest, StyleOutsideTheRangeFailsAnAssertion) {
  Source *source = over("x");
  EXPECT_EQ(Source_setStyle(source, 2), 0);
  EXPECT_EQ(Source_setStyle(source, 1), 2);
  EXPECT_EQ(Source_getStyle(source), 1);
  EXPECT_EXIT(Source_setStyle(source, 3), testing::ExitedWithCode(1), "style < 0 \\|\\| style > 2");
  Source_delete(source);
}

} // namespace
