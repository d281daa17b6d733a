#include "VsnTextSupport.h"

#include "vsnArray.h"
#include "vsnHandler.h"
#include "vsnListing.h"
#include "vsnParser.h"
#include "vsnPath.h"
#include "zyrMD5.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using vsntest::Lines;

namespace {

class VsnParser : public testing::Test {
 protected:
  void SetUp() override { h = createVSNHandle(); }
  void TearDown() override { destroyVSNHandle(h); }

  const char* load(const Lines& lines) { return vsntest::load(h, lines); }
  std::string value(const char* path) {
    char* v = nullptr;
    const char* err = getStringValue(h, path, &v);
    if (err) return std::string("ERROR: ") + err;
    std::string s = v ? v : "(nul)";
    freeVSNString(v);
    return s;
  }
  int depth() {
    int d = -1;
    EXPECT_EQ(getVSNStateH(h, &d), nullptr);
    return d;
  }

  vsnHandle* h = nullptr;
};

TEST_F(VsnParser, LineKinds) {
  ASSERT_EQ(load({"Option = a:b", "DOMAIN: rotor", "END", "FLOW:", "END", "FLOW: FLOW", "x = 1", "END",
                  "  SOLUTION\tUNITS  :  ", "END", "%pct = ok"}),
            nullptr);
  EXPECT_EQ(value("/Option"), "a:b");
  EXPECT_EQ(getEntryType(h, "/DOMAIN:rotor"), 2);
  EXPECT_EQ(getEntryType(h, "/FLOW"), 1);
  EXPECT_EQ(value("/FLOW/x"), "1");
  EXPECT_EQ(getEntryType(h, "/SOLUTION UNITS"), 1);
  EXPECT_EQ(value("/%pct"), "ok");
  // FLOW: and FLOW: FLOW open the same singleton.
  int count = 0;
  EXPECT_EQ(getChildObjectList(h, "/", 1, 1, &count, nullptr), nullptr);
  EXPECT_EQ(count, 5);
  // A singleton read with nothing after the colon has the empty name.
  vsnEntry* flow = findEntryH(h, "/FLOW");
  ASSERT_NE(flow, nullptr);
  ASSERT_NE(flow->m_name, nullptr);
  EXPECT_STREQ(flow->m_name, "");
}

TEST_F(VsnParser, CleaningOfValues) {
  ASSERT_EQ(load({"a = one    two", "b = x\\#y", "c = x#y", "d = \t tab\tinside \t", "# a comment", "   # indented",
                  "e = 1 # note", "f =", "g = x = y"}),
            nullptr);
  EXPECT_EQ(value("/a"), "one two");
  EXPECT_EQ(value("/b"), "x\\#y");
  EXPECT_EQ(value("/c"), "x");
  EXPECT_EQ(value("/d"), "tab inside");
  EXPECT_EQ(value("/e"), "1");
  EXPECT_EQ(value("/f"), "");
  EXPECT_EQ(value("/g"), "x = y");
}

TEST_F(VsnParser, Continuations) {
  ASSERT_EQ(load({"a = one \\", "two", "b = one\\", "  two", "c = x\\", "\\", "y", "# comment \\", "d = swallowed",
                  "e = 1"}),
            nullptr);
  EXPECT_EQ(value("/a"), "one two");
  EXPECT_EQ(value("/b"), "onetwo");
  EXPECT_EQ(value("/c"), "xy");
  EXPECT_EQ(vsnPathExists(h, "/d"), 0);  // belonged to the comment
  EXPECT_EQ(value("/e"), "1");
}

TEST_F(VsnParser, TrailingContinuationEndsWithTheInput) {
  ASSERT_EQ(load({"a = 1 \\"}), nullptr);
  EXPECT_EQ(value("/a"), "1");
  EXPECT_EQ(h->m_pendingLine, nullptr);
  // The next load starts afresh.
  ASSERT_EQ(load({"b = 2"}), nullptr);
  EXPECT_EQ(value("/b"), "2");
  EXPECT_EQ(value("/a"), "1");

  // Fed line by line, a continued line waits for its last piece.
  ASSERT_EQ(parseVSNLineH(h, "c = x \\", 0), nullptr);
  ASSERT_NE(h->m_pendingLine, nullptr);
  ASSERT_EQ(parseVSNLineH(h, "y", 0), nullptr);
  EXPECT_EQ(value("/c"), "x y");

  // A continued END closes its object at the end of the input.
  ASSERT_EQ(load({"X:", "EN\\", "D\\"}), nullptr);
  EXPECT_EQ(depth(), 0);
}

TEST_F(VsnParser, ErrorTexts) {
  struct Case {
    Lines lines;
    std::string text;
  };
  const std::vector<Case> cases = {
      {{"!include x"}, "parseVSNData: unable to handle power syntax with this version of the parser"},
      {{"&include x"}, "parseVSNLineH: unknown directive near \"&include x\""},
      {{"&replace"}, "parseVSNLineH: unknown directive near \"&replace\""},
      {{"just   words"}, "parseVSNLineH: syntax error near \"just words\""},
      {{"just \\", "words"}, "parseVSNLineH: syntax error near \"just words\""},
      {{"END"}, "parseVSNLineH: unmatched END"},
      {{"A:B = c"}, "invalid parameter name \"A:B\": contains invalid character ':'"},
      {{"1x = c"}, "invalid parameter name \"1x\": leading character must be alphabetic or '_'"},
      {{" = c"}, "invalid parameter name: must be non-empty."},
      {{": name"}, "invalid object type: must be non-empty."},
      {{"DOMAIN: a,b"}, "invalid object name \"a,b\": contains invalid character ','"},
      {{"x = a\x01"}, "invalid parameter value \"a\x01\": control character number 1 is not allowed."},
      {{">save now"}, "no handler was found for action line"},
      {{"x = 1", "x:"}, "parseVSNLineH: vsnUpdateObject failed"},
  };
  for (const Case& c : cases) {
    vsnHandle* fresh = createVSNHandle();
    const char* err = vsntest::load(fresh, c.lines);
    EXPECT_STREQ(err, c.text.c_str()) << c.lines[0];
    int d = -1;
    getVSNStateH(fresh, &d);
    EXPECT_EQ(d, 0) << c.lines[0];
    EXPECT_EQ(fresh->m_pendingLine, nullptr);
    destroyVSNHandle(fresh);
  }
}

TEST_F(VsnParser, FailureKeepsEarlierEntriesAndRestoresDepth) {
  ASSERT_EQ(vsnCreateObject(h, "/HOME", 0), nullptr);
  ASSERT_EQ(pushPath(h, "/HOME"), nullptr);
  EXPECT_STREQ(load({"A:", "x = 1", "B:", "y = 2", "bad line", "z = 3"}), "parseVSNLineH: syntax error near \"bad line\"");
  EXPECT_EQ(depth(), 0);
  EXPECT_STREQ(getCurrentPathH(h), "/HOME");  // the caller's path is still there
  EXPECT_EQ(value("/HOME/A/x"), "1");
  EXPECT_EQ(value("/HOME/A/B/y"), "2");
  EXPECT_EQ(vsnPathExists(h, "/HOME/A/B/z"), 0);

  // A refused object line pushes nothing, so the reset pops nothing of the caller's.
  EXPECT_STREQ(load({"A:", "x:"}), "parseVSNLineH: vsnUpdateObject failed");
  EXPECT_STREQ(getCurrentPathH(h), "/HOME");
}

TEST_F(VsnParser, EndBalance) {
  EXPECT_STREQ(load({"A:", "B:", "x = 1"}), "2 missing END statement(s) in input");
  EXPECT_EQ(depth(), 0);
  EXPECT_STREQ(getCurrentPathH(h), "/");
  EXPECT_EQ(value("/A/B/x"), "1");

  // Objects left open by line-by-line parsing.
  ASSERT_EQ(parseVSNLineH(h, "P:", 0), nullptr);
  ASSERT_EQ(parseVSNLineH(h, "Q:", 0), nullptr);
  EXPECT_EQ(depth(), 2);
  EXPECT_STREQ(load({"R:", "END", "END"}), "1 too many END statement(s) in input");
  EXPECT_EQ(depth(), 1);
  EXPECT_STREQ(getCurrentPathH(h), "/P");
  ASSERT_EQ(parseVSNLineH(h, "END", 0), nullptr);
  EXPECT_EQ(depth(), 0);
  EXPECT_STREQ(parseVSNLineH(h, "END", 0), "parseVSNLineH: unmatched END");
}

TEST_F(VsnParser, LibraryBitIsReplacedByALaterOrdinaryLoad) {
  std::vector<const char*> lib = {"FLOW:", "x = 1", "END"};
  ASSERT_EQ(loadLibraryDataH(h, lib.data(), 3), nullptr);
  EXPECT_EQ(isLibraryObject(h, "/FLOW"), 1);
  EXPECT_EQ(isLibraryObject(h, "/FLOW/x"), 1);
  ASSERT_EQ(load({"FLOW:", "x = 1", "END"}), nullptr);
  EXPECT_EQ(isLibraryObject(h, "/FLOW"), 0);
  EXPECT_EQ(isLibraryObject(h, "/FLOW/x"), 0);
}

void noteReplace(const char* path, void* context) { static_cast<Lines*>(context)->push_back(path); }

TEST_F(VsnParser, ReplaceBlockKeepsOnlyWhatItNames) {
  ASSERT_EQ(load({"FLOW:", "Option = a", "Other = b", "DOMAIN: d1", "Location = B1", "Gone = 1", "BOUNDARY: in",
                  "END", "END", "DOMAIN: d2", "END", "SOLUTION UNITS:", "END", "END", "KEEP:", "END"}),
            nullptr);
  Lines replaced;
  ASSERT_EQ(addReplaceHandlerH(h, noteReplace, &replaced), nullptr);
  ASSERT_EQ(load({"&replace FLOW:", "Option = new", "DOMAIN: d1", "Location = B2", "END", "END"}), nullptr);
  EXPECT_EQ(vsntest::written(h), (Lines{"FLOW:", "  Option = new", "  DOMAIN: d1", "    Location = B2", "  END", "END",
                                        "KEEP:", "END"}));
  // Only the replace line itself is reported.
  EXPECT_EQ(replaced, (Lines{"/FLOW"}));
  // The tags are gone from the children; the object that opened the block keeps its own.
  EXPECT_EQ(findEntryH(h, "/FLOW/Option")->m_flags & VSN_FLAG_REPLACE, 0u);
  EXPECT_EQ(findEntryH(h, "/FLOW/DOMAIN:d1")->m_flags & VSN_FLAG_REPLACE, 0u);
  EXPECT_NE(findEntryH(h, "/FLOW")->m_flags & VSN_FLAG_REPLACE, 0u);

  // A replace line for a parameter is reported with the enclosing object's path.
  ASSERT_EQ(load({"KEEP:", "&replace p = 1", "END"}), nullptr);
  EXPECT_EQ(replaced, (Lines{"/FLOW", "/KEEP"}));
}

TEST_F(VsnParser, ReplaceBlockNestedInOrdinaryText) {
  ASSERT_EQ(load({"A:", "B:", "x = 1", "y = 2", "END", "z = 3", "END"}), nullptr);
  ASSERT_EQ(load({"A:", "&replace B:", "y = 5", "END # of B", "END"}), nullptr);
  EXPECT_EQ(vsntest::written(h), (Lines{"A:", "  B:", "    y = 5", "  END", "  z = 3", "END"}));
}

int countAction(vsnHandle*, const char* name, char** arguments, void* context) {
  static_cast<Lines*>(context)->push_back(std::string(name) + "(" + (arguments ? arguments[0] : "-") + ")");
  return strcmp(name, "fail") != 0;
}

TEST_F(VsnParser, ActionLines) {
  Lines calls;
  ASSERT_EQ(addActionHandlerH(h, "save", countAction, &calls), nullptr);
  ASSERT_EQ(addDefaultActionHandlerH(h, countAction, &calls), nullptr);
  ASSERT_EQ(load({">>  save   file.out  # comment", ">stop", "A:", "> fail", "END"}),
            std::string("action invocation returned with error status"));
  EXPECT_EQ(calls, (Lines{"save(file.out)", "stop(-)", "fail(-)"}));
  EXPECT_EQ(depth(), 0);
}

TEST_F(VsnParser, DigestMarksUnchangedInput) {
  const Lines text = {"FLOW:", "Option = a", "DOMAIN: d1", "Location = B1", "END", "END", "top = 1"};
  unsigned char first[16], second[16];
  ASSERT_EQ(vsntest::load(h, text, nullptr, first), nullptr);
  std::string joined;
  for (const std::string& s : text) joined += s;
  unsigned char expected[16];
  zyrMD5_digest(joined.data(), joined.size(), expected);
  EXPECT_EQ(memcmp(first, expected, 16), 0);
  EXPECT_EQ(getValid(h, "/FLOW/Option"), 0);

  ASSERT_EQ(vsntest::load(h, text, first, second), nullptr);
  EXPECT_EQ(memcmp(first, second, 16), 0);
  EXPECT_EQ(getValid(h, "/FLOW/Option"), 2);
  EXPECT_EQ(getValid(h, "/FLOW/DOMAIN:d1"), 2);
  EXPECT_EQ(getValid(h, "/FLOW"), 0);
  EXPECT_EQ(getValid(h, "/"), 0);

  // One changed character: a new digest and no marks.
  Lines changed = text;
  changed[1] = "Option = b";
  ASSERT_EQ(vsntest::load(h, changed, first, second), nullptr);
  EXPECT_NE(memcmp(first, second, 16), 0);
  EXPECT_EQ(getValid(h, "/FLOW/Option"), 0);

  // Line boundaries are not part of the digest.
  vsnArray* one = vsnArrayNew(VSN_ARRAY_STRING);
  vsnArray* two = vsnArrayNew(VSN_ARRAY_STRING);
  ASSERT_TRUE(vsnArrayAddStringCopy(one, "ab"));
  ASSERT_TRUE(vsnArrayAddStringCopy(two, "a"));
  ASSERT_TRUE(vsnArrayAddStringCopy(two, "b"));
  unsigned char ab[16], aAndB[16];
  vsnDigestLines(one, ab);
  vsnDigestLines(two, aAndB);
  EXPECT_EQ(memcmp(ab, aAndB, 16), 0);
  vsnArrayFree(one);
  vsnArrayFree(two);
}

int moveTo(vsnHandle* h, const char*, char** arguments, void*) {
  return arguments && pushPath(h, arguments[0]) == nullptr;
}

// An action may move the current path; the lines after it follow the new one.
TEST_F(VsnParser, LinesAfterAnActionFollowItsPath) {
  ASSERT_EQ(addActionHandlerH(h, "cd", moveTo, nullptr), nullptr);
  ASSERT_EQ(load({"B:", "END", "A:", ">cd /B", "x = 1", "END"}), nullptr);
  EXPECT_EQ(value("/B/x"), "1");
  EXPECT_EQ(vsnPathExists(h, "/A/x"), 0);
}

} // namespace
