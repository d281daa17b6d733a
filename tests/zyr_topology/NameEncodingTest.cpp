#include "vsnNameEncoding.h"
#include "zyrCString.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// A tracked result string, shown as "<null>" when there is none.
std::string take(char *text) {
  std::string s = text ? std::string(text) : std::string("<null>");
  zyrCString_free(text);
  return s;
}

std::string legal(const char *name) { return take(vsnMakeLegalName(name)); }
std::string encode(const char *name) { return take(vsnEncodeName(name)); }
std::string decode(const char *name) { return take(vsnUnencodeName(name)); }

std::string collapsed(const std::string &name) { return take(zyrCString_collapseWhiteSpace(name.c_str())); }

// Checks made inside a child process report through its exit status and standard error.
struct ChildChecks {
  std::string failures;
  void equal(const std::string &what, const std::string &got, const std::string &want) {
    if (got != want)
      failures += what + ": got \"" + got + "\", want \"" + want + "\"\n";
  }
  [[noreturn]] void finish() {
    std::fputs(failures.c_str(), stderr);
    std::exit(failures.empty() ? 0 : 1);
  }
};

const std::vector<std::string> &roundTripNames() {
  static const std::vector<std::string> names = {
      "Inlet",       "  Inlet \t  Wall\n",  "3 a#b",          "%25",       "%",
      "50%",         "a%b%%c",              "Caf\xC3\xA9",    "\xE2\x82\xAC uro",
      "x\x01y\x7Fz", "!\"#$&'()*+,-/:;<=>?@\\^`~", "[a]{b}|c_d.e", "\xF0\x9F\x98\x80",
      "1A",          "%41",                 "0 1 2",          "a  b   c"};
  return names;
}

TEST(NameCharacters, ClassTableCopy) {
  int32_t classes[256];
  LocationString_getCharacterClasses(classes);
  int counts[5] = {0, 0, 0, 0, 0};
  for (int c = 0; c < 256; ++c) {
    ASSERT_GE(classes[c], 0);
    ASSERT_LE(classes[c], 4);
    ++counts[classes[c]];
  }
  EXPECT_EQ(counts[0], 33);
  EXPECT_EQ(counts[1], 4);
  EXPECT_EQ(counts[2], 21);
  EXPECT_EQ(counts[3], 10);
  EXPECT_EQ(counts[4], 188);
  EXPECT_EQ(classes[int{'%'}], 1);
  EXPECT_EQ(classes[int{'-'}], 2);
  EXPECT_EQ(classes[int{'|'}], 4);
  EXPECT_EQ(classes[0xFF], 4);
}

TEST(MakeLegalName, ReplacesIllegalCharactersAndCollapses) {
  EXPECT_EQ(legal("3 a#b"), "n3 a b");
  EXPECT_EQ(legal(" 12"), "n12");
  EXPECT_EQ(legal("-5x"), "n5x");
  EXPECT_EQ(legal("  Inlet\t\tWall \n"), "Inlet Wall");
  EXPECT_EQ(legal("a,b$c%d"), "a b c d");
  EXPECT_EQ(legal("x\x01y\x7Fz"), "x y z");
  EXPECT_EQ(legal("[a]{b}|c_d.e"), "[a]{b}|c_d.e");
  EXPECT_EQ(legal("A9"), "A9");
}

TEST(MakeLegalName, NamesOfOnlyIllegalCharactersBecomeEmpty) {
  std::string all;
  for (int c = 1; c < 128; ++c) {
    const std::string one(1, static_cast<char>(c));
    const bool illegal = vsnNameCharClass(static_cast<unsigned char>(c)) < 3;
    if (illegal) {
      all += one;
      EXPECT_EQ(legal(one.c_str()), "") << "byte " << c;
    }
  }
  EXPECT_EQ(all.size(), 57u);
  EXPECT_EQ(legal(all.c_str()), "");
  EXPECT_EQ(legal(""), "");
  EXPECT_EQ(legal(nullptr), "<null>");
}

TEST(MakeLegalName, HighBytesSurviveUnchanged) {
  std::string high;
  for (int c = 128; c < 256; ++c)
    high += static_cast<char>(c);
  EXPECT_EQ(legal(high.c_str()), high);
  EXPECT_EQ(legal("Caf\xC3\xA9 #1"), "Caf\xC3\xA9 1");
}

TEST(NameEncodingDeathTest, WithoutTheVariableNamesAreSanitised) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        unsetenv("ZYR_ENCODE_NAMES");
        ChildChecks c;
        c.equal("encode", encode("3 a#b"), "n3 a b");
        c.equal("encode high bytes", encode("Caf\xC3\xA9"), "Caf\xC3\xA9");
        c.equal("encode blank", encode("  \t"), "");
        c.equal("encode null", encode(nullptr), "<null>");
        c.equal("decode copies", decode("%49nlet"), "%49nlet");
        c.equal("decode null", decode(nullptr), "<null>");
        // Read once: setting the variable afterwards changes nothing.
        setenv("ZYR_ENCODE_NAMES", "1", 1);
        c.equal("encode after setenv", encode("a#b"), "a b");
        c.finish();
      },
      testing::ExitedWithCode(0), "");
}

TEST(NameEncodingDeathTest, WithTheVariableNamesAreEncoded) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        setenv("ZYR_ENCODE_NAMES", "", 1); // set to anything, even empty
        ChildChecks c;
        c.equal("first character", encode("Inlet"), "%49nlet");
        c.equal("collapsed", encode("  Inlet \t  Wall\n"), "%49nlet Wall");
        c.equal("separator", encode("a#b"), "%61%23b");
        c.equal("escape character", encode("a%b"), "%61%25b");
        c.equal("punctuation", encode("x-y/z"), "%78%2Dy%2Fz");
        c.equal("two bytes", encode("Caf\xC3\xA9"), "%43af%C3A9");
        c.equal("four bytes", encode("\xF0\x9F\x98\x80!"), "%F09F9880%21");
        c.equal("digits pass after the first", encode("1A 2"), "%31A 2");
        c.equal("blank", encode(" \t\n "), "<null>");
        c.equal("empty", encode(""), "<null>");
        c.equal("null", encode(nullptr), "<null>");
        c.equal("not UTF-8", encode("Caf\xE9"), "<null>");

        c.equal("decode", decode("%49nlet Wall"), "Inlet Wall");
        c.equal("decode literal", decode("Inlet"), "Inlet");
        c.equal("decode pairs after a character", decode("%C3A9A9"), "\xC3\xA9" "A9");
        c.equal("decode bad hex", decode("%G1"), "<null>");
        c.equal("decode truncated", decode("a%C3"), "<null>");
        c.equal("decode lone escape", decode("%"), "<null>");
        c.equal("decode zero byte", decode("%00"), "<null>");
        c.equal("decode empty", decode(""), "<null>");
        c.equal("decode null", decode(nullptr), "<null>");

        for (const std::string &name : roundTripNames()) {
          char *e = vsnEncodeName(name.c_str());
          if (e == nullptr || e[0] != '%')
            c.failures += "encoded \"" + name + "\" does not begin with %\n";
          for (const char *p = e; p && *p; ++p)
            if (static_cast<unsigned char>(*p) < 32 || static_cast<unsigned char>(*p) > 126)
              c.failures += "encoded \"" + name + "\" is not printable ASCII\n";
          c.equal("round trip of \"" + name + "\"", decode(e), collapsed(name));
          zyrCString_free(e);
        }

        // Read once: removing the variable afterwards changes nothing ...
        unsetenv("ZYR_ENCODE_NAMES");
        c.equal("after unsetenv", encode("a#b"), "%61%23b");
        // ... until the setting is read again on purpose.
        vsnReadEncodeNamesSetting();
        c.equal("after reading again", encode("a#b"), "a b");
        c.finish();
      },
      testing::ExitedWithCode(0), "");
}

} // namespace
