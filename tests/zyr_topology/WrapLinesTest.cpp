#include "vsnWrapLines.h"
#include "zyrCString.h"
#include "zyrMemory.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A tracked line array as the definition-file writer hands it over.
struct Lines {
  int count = 0;
  char **lines = nullptr;
  explicit Lines(const std::vector<std::string> &texts) {
    count = static_cast<int>(texts.size());
    lines = zyrMemory_allocateArray<char *>(count, "test");
    for (int i = 0; i < count; ++i)
      lines[i] = zyrCString_clone(texts[i].c_str());
  }
  ~Lines() { zyrCStringArray_free(lines, static_cast<uint64_t>(count)); }
  std::vector<std::string> texts() const {
    std::vector<std::string> out;
    for (int i = 0; i < count; ++i)
      out.push_back(lines[i] ? lines[i] : "<null>");
    return out;
  }
};

// The lines again, each continued piece joined to the next without its backslash.
std::vector<std::string> unwrap(const std::vector<std::string> &pieces) {
  std::vector<std::string> out;
  std::string pending;
  for (const std::string &p : pieces) {
    if (!p.empty() && p.back() == '\\') {
      pending += p.substr(0, p.size() - 1);
    } else {
      out.push_back(pending + p);
      pending.clear();
    }
  }
  return out;
}

TEST(WrapLines, LinesThatFitStayTheSame) {
  const std::string exact(79, 'x');
  Lines l({exact, "short", ""});
  char **array = l.lines;
  char *first = l.lines[0];
  EXPECT_EQ(vsnWrapLines(79, &l.count, &l.lines), 1);
  EXPECT_EQ(l.lines, array);
  EXPECT_EQ(l.lines[0], first);
  EXPECT_EQ(l.count, 3);
}

TEST(WrapLines, OneCharacterTooLongWithoutBlanks) {
  const std::string line(80, 'x');
  Lines l({"before", line, "after"});
  char *kept = l.lines[0];
  ASSERT_EQ(vsnWrapLines(79, &l.count, &l.lines), 1);
  EXPECT_EQ(l.texts(), (std::vector<std::string>{"before", std::string(78, 'x') + "\\", "xx", "after"}));
  EXPECT_EQ(l.lines[0], kept);
}

TEST(WrapLines, CutsMoveBackOverWhiteSpace) {
  Lines l({"abcdefgh   ijklmnop"});
  ASSERT_EQ(vsnWrapLines(10, &l.count, &l.lines), 1);
  EXPECT_EQ(l.texts(), (std::vector<std::string>{"abcdefg\\", "h   ijklm\\", "nop"}));
}

TEST(WrapLines, BlankStretchIsCutAtFullWidth) {
  Lines l({"a" + std::string(12, ' ') + "b"});
  ASSERT_EQ(vsnWrapLines(5, &l.count, &l.lines), 1);
  EXPECT_EQ(l.texts(), (std::vector<std::string>{"a   \\", "    \\", "    \\", " b"}));
}

TEST(WrapLines, PiecesFitAndJoinToTheOriginal) {
  std::vector<std::string> texts;
  unsigned seed = 7;
  for (int n = 0; n < 200; ++n) {
    std::string s;
    const int length = static_cast<int>(seed % 300);
    for (int i = 0; i < length; ++i) {
      seed = seed * 1103515245u + 12345u;
      s += (seed >> 16) % 4 == 0 ? ' ' : static_cast<char>('a' + (seed >> 16) % 26);
    }
    texts.push_back(s);
  }
  for (int width : {2, 3, 17, 79}) {
    Lines l(texts);
    ASSERT_EQ(vsnWrapLines(width, &l.count, &l.lines), 1);
    for (const std::string &piece : l.texts())
      EXPECT_LE(piece.size(), static_cast<size_t>(width));
    EXPECT_EQ(unwrap(l.texts()), texts) << "width " << width;
  }
}

TEST(WrapLines, NarrowWidthsAndBadArgumentsChangeNothing) {
  // A width of 1 leaves no room beside the backslash: the cut could never advance.
  Lines l({"abc", "de"});
  char **array = l.lines;
  for (int width : {1, 0, -5}) {
    EXPECT_EQ(vsnWrapLines(width, &l.count, &l.lines), 0);
    EXPECT_EQ(l.lines, array);
    EXPECT_EQ(l.count, 2);
  }
  EXPECT_EQ(vsnWrapLines(79, nullptr, &l.lines), 0);
  EXPECT_EQ(vsnWrapLines(79, &l.count, nullptr), 0);
  int negative = -1;
  EXPECT_EQ(vsnWrapLines(79, &negative, &l.lines), 0);

  int none = 0;
  char **empty = nullptr;
  EXPECT_EQ(vsnWrapLines(79, &none, &empty), 1);
  EXPECT_EQ(empty, nullptr);
}

TEST(WrapLines, NullEntriesAreKept) {
  Lines l({"x", "abcdef"});
  zyrCString_free(l.lines[0]);
  l.lines[0] = nullptr;
  ASSERT_EQ(vsnWrapLines(4, &l.count, &l.lines), 1);
  EXPECT_EQ(l.texts(), (std::vector<std::string>{"<null>", "abc\\", "def"}));
}

} // namespace
