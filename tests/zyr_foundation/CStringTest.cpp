#include "MemoryMonitor.h"
#include "zyrCString.h"
#include "zyrMemory.h"
#include "zyrTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Str {
  char *p;
  explicit Str(char *q) : p(q) {}
  ~Str() { zyrCString_free(p); }
  std::string s() const { return p ? std::string(p) : std::string("<null>"); }
};

TEST(CString, CombiningAndCutting) {
  EXPECT_EQ(Str(zyrCString_merge("a", "bc", "", "d", nullptr)).s(), "abcd");
  EXPECT_EQ(Str(zyrCString_cat(nullptr, "only", nullptr)).s(), "only");
  char *base = zyrCString_clone("x");
  base = zyrCString_cat(base, "y", "z", nullptr);
  EXPECT_EQ(Str(base).s(), "xyz");
  EXPECT_EQ(Str(zyrCString_substring("abcdef", 1, 4)).s(), "bcd");
  EXPECT_EQ(Str(zyrCString_substring("abcdef", 3, 3)).s(), "");
  EXPECT_EQ(zyrCString_clone(nullptr), nullptr);
  EXPECT_EQ(zyrCString_length(nullptr), 0);
  EXPECT_EQ(zyrCString_length("four"), 4);

  char *v = zyrCString_clone("old");
  EXPECT_EQ(std::string(zyrCString_reassign(&v, "new")), "new");
  EXPECT_EQ(zyrCString_reassign(&v, nullptr), nullptr);
  EXPECT_EQ(v, nullptr);
}

TEST(CString, BuildOfAnyLength) {
  std::string big(100000, 'q');
  Str s(zyrCString_build("<%s|%d>", big.c_str(), 42));
  EXPECT_EQ(s.s(), "<" + big + "|42>");
  EXPECT_EQ(Str(zyrCString_build("%s", "")).s(), "");
}

TEST(CString, BlankAndWhiteSpace) {
  EXPECT_EQ(zyrCString_isBlank(nullptr), 1);
  EXPECT_EQ(zyrCString_isBlank(" \t\n"), 1);
  EXPECT_EQ(zyrCString_isBlank(" x "), 0);
  EXPECT_EQ(Str(zyrCString_collapseWhiteSpace("  a \t b  ")).s(), "a b");
  EXPECT_EQ(Str(zyrCString_collapseWhiteSpace(" \n ")).s(), "");
}

TEST(CString, TrimDropsBlankLinesAtTheEnds) {
  const char *text = "\n\n  word  \n \n";
  EXPECT_EQ(Str(zyrCString_trim(text, 3)).s(), "  word  ");
  EXPECT_EQ(Str(zyrCString_trim(text, 2)).s(), "\n\n  word  ");
  EXPECT_EQ(Str(zyrCString_trim(text, 1)).s(), "  word  \n \n");
  EXPECT_EQ(Str(zyrCString_trim(text, 0)).s(), text);
  EXPECT_EQ(Str(zyrCString_trim(text, -4)).s(), text);
  EXPECT_EQ(Str(zyrCString_trim("  tail  ", 3)).s(), "  tail  "); // runs without line feeds stay
  EXPECT_EQ(zyrCString_trim(nullptr, 3), nullptr);
}

std::vector<std::string> unpack(const char *packed, char sep) {
  char **array = nullptr;
  uint64_t count = 99;
  EXPECT_EQ(zyrCStringArray_newFromPackedString(packed, sep, &array, &count), 1);
  std::vector<std::string> out;
  for (uint64_t i = 0; i < count; ++i)
    out.push_back(array[i]);
  zyrCStringArray_free(array, count);
  return out;
}

TEST(CStringArray, PackAndUnpack) {
  using V = std::vector<std::string>;
  EXPECT_EQ(unpack("a,b", ','), (V{"a", "b"}));
  EXPECT_EQ(unpack("a,", ','), (V{"a"}));
  EXPECT_EQ(unpack(",a", ','), (V{"", "a"}));
  EXPECT_EQ(unpack("a,,b", ','), (V{"a", "", "b"}));
  EXPECT_EQ(unpack(",", ','), (V{""}));
  EXPECT_EQ(unpack("", ','), V{});
  EXPECT_EQ(unpack(nullptr, ','), V{});

  char a[] = "a", b[] = "b";
  char *withNull[] = {a, nullptr, b};
  EXPECT_EQ(Str(zyrCStringArray_pack(withNull, 3, ',')).s(), "a,,b");
  EXPECT_EQ(zyrCStringArray_pack(withNull, 0, ','), nullptr);

  // Round trip of arrays whose last entry is not empty and whose entries hold no separator.
  char e[] = "", long1[] = "first entry", long2[] = "x";
  char *entries[] = {e, long1, e, long2};
  Str packed(zyrCStringArray_pack(entries, 4, ';'));
  EXPECT_EQ(unpack(packed.p, ';'), (V{"", "first entry", "", "x"}));

  char **copy = zyrCStringArray_clone(withNull, 3);
  EXPECT_STREQ(copy[0], "a");
  EXPECT_EQ(copy[1], nullptr);
  EXPECT_STREQ(copy[2], "b");
  zyrCStringArray_free(copy, 3);
  EXPECT_EQ(zyrCStringArray_clone(withNull, 0), nullptr);
}

// Strings the runtime heap gave out go back to it, every one, and not through the tracked
// allocator, whose log hears nothing of them; NULL entries and NULL arrays are allowed.
TEST(CStringArray, RuntimeHeapStringsAreFreedThere) {
  zyrtest::ScratchDir dir;
  MemoryMonitor *previous = zyrMemory_setMonitor(MemoryMonitor_new(dir.file("m.log").c_str()));
  const int64_t before = zyrtest::heapInUse();
  zyrCString_free_external(strdup("runtime"));
  zyrCString_free_external(nullptr);
  char **array = static_cast<char **>(malloc(3 * sizeof(char *)));
  array[0] = strdup("a");
  array[1] = nullptr;
  array[2] = strdup("c");
  zyrCStringArray_free_external(array, 3);
  zyrCStringArray_free_external(nullptr, 2);
  EXPECT_EQ(zyrtest::heapInUse(), before);
  MemoryMonitor_delete(zyrMemory_setMonitor(previous));
  // The log holds the monitor's own record and its release, nothing else.
  EXPECT_EQ(zyrtest::splitLines(zyrtest::readFile(dir.file("m.log"))).size(), 2u);
}

} // namespace
