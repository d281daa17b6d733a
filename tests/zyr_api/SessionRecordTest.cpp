// The recorder's writers for lists and flags, and the prints of the recorder and its session.
// The recorder is a per-process singleton fixed at its first use, so the case runs in a fresh
// child (threadsafe death-test style) and the recording's directory travels through the
// environment.
#include "Session.h"
#include "SessionFile.h"
#include "zyrTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> recordedLines(const std::string &path) {
  std::ifstream in(path);
  std::vector<std::string> result;
  for (std::string line; std::getline(in, line);)
    if (line.rfind("#", 0) != 0)
      result.push_back(line);
  return result;
}

std::string printed(void (*print)(FILE *)) {
  char *buffer = nullptr;
  size_t size = 0;
  FILE *stream = open_memstream(&buffer, &size);
  print(stream);
  std::fclose(stream);
  std::string text(buffer, size);
  std::free(buffer);
  return text;
}

bool has(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

// Runs in the child: records, checks the prints, exits with a code naming the first fault.
[[noreturn]] void recordLists(const std::string &file) {
  setenv("ZYR_SESSION_FILE", file.c_str(), 1);
  setenv("ZYR_SESSION_FILE_LEVEL", "2", 1);
  if (SessionFile_record(nullptr, 1) != 1)
    zyrtest::leaveChild(2);
  char a[] = "left", b[] = "right", c[] = "up", d[] = "down";
  char *pairs[] = {a, b, c, d};
  SessionFile_recordStringArray(pairs, 2, 2);
  SessionFile_recordStringArray(nullptr, 1, 3); // no values: an empty list, not garbage
  const int32_t ints[] = {4, -5};
  SessionFile_recordIntegerArray(ints, 2);
  SessionFile_recordBoolean(1);
  SessionFile_recordBoolean(0);
  const std::string recorder = printed([](FILE *f) { SessionFile_print(SessionFile_get(), f); });
  if (!has(recorder, "m_level:        2\n") || !has(recorder, "m_repositories: "))
    zyrtest::leaveChild(3);
  const std::string session = printed([](FILE *f) { Session_print(SessionFile_get()->m_session, f); });
  if (!has(session, "Session: 0x") || !has(session, "  m_interactive  = 0\n"))
    zyrtest::leaveChild(4);
  if (printed([](FILE *f) { Session_print(nullptr, f); }) != "Session: NULL\n")
    zyrtest::leaveChild(5);
  if (printed([](FILE *f) { SessionFile_print(nullptr, f); }).find("SessionFile: ") != 0)
    zyrtest::leaveChild(6);
  std::exit(0);
}

} // namespace

TEST(SessionRecordDeathTest, ListsAndFlagsAreWrittenCountFirst) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  zyrtest::SharedScratchDir scratch("ZYRTEST_RECORD_LISTS_DIR", "zyrRecordLists");
  const std::string file = scratch.path() + "/lists.ses";
  EXPECT_EXIT(recordLists(file), testing::ExitedWithCode(0), "");
  const std::vector<std::string> expected = {"2", "left", "right", "up", "down", "0", "2", "4", "-5", "1", "0"};
  EXPECT_EQ(recordedLines(file), expected);
}
