// The session recorder. Its singleton reads the environment once per process, so each case runs
// in a fresh child (the threadsafe death-test style re-runs the test there); the recording's path
// travels to the child through the environment.
#include "SessionFile.h"
#include "zyrAffineTransform3D.h"
#include "zyrTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// The lines of the file, the comment lines cut to their first three words.
std::vector<std::string> lines(const std::string &path) {
  std::ifstream in(path);
  std::vector<std::string> result;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("# Session file", 0) == 0)
      line = line.substr(0, line.find(':') + 1);
    else if (line.rfind("#", 0) == 0)
      continue;
    result.push_back(line);
  }
  return result;
}

void fail(int code) { zyrtest::leaveChild(code); }

} // namespace

TEST(SessionFileDeathTest, EnvironmentDecidesOnceAndLevelsFilterCalls) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  zyrtest::SharedScratchDir scratch("ZYRTEST_RECORDER_DIR", "zyrRecorder");
  const std::string dir = scratch.path();
  const std::string file = dir + "/run.ses";
  // Default level: failed calls are left out; values, text blocks and transforms are written.
  EXPECT_EXIT(
      {
        setenv("ZYR_SESSION_FILE", file.c_str(), 1);
        unsetenv("ZYR_SESSION_FILE_LEVEL");
        if (SessionFile_record(nullptr, 0) != 0)
          fail(2);
        if (SessionFile_record(nullptr, 1) != 1)
          fail(3);
        SessionFile_recordString("zyrModel_importRegionMap");
        SessionFile_recordStrings("a\nb\nc");
        SessionFile_recordStrings(nullptr);
        zyrAffineTransform3D *t = zyrAffineTransform3D_new();
        SessionFile_recordTransformation(t);
        zyrAffineTransform3D_delete(t);
        std::exit(0); // the exit callback writes the footer
      },
      testing::ExitedWithCode(0), "");
  // A second run appends; level 0 writes the frame only; a level that is no integer is 2.
  EXPECT_EXIT(
      {
        setenv("ZYR_SESSION_FILE", file.c_str(), 1);
        setenv("ZYR_SESSION_FILE_LEVEL", "0", 1);
        if (SessionFile_record(nullptr, 1) != 0)
          fail(2);
        SessionFile_recordInteger(7); // the writers write whenever a file is open
        setenv("ZYR_SESSION_FILE_LEVEL", "three", 1);
        SessionFile_open(file.c_str(), 3);
        if (SessionFile_record(nullptr, 0) != 1)
          fail(3);
        SessionFile_close();
        if (SessionFile_record(nullptr, 1) != 0) // closed for good: no new decision
          fail(4);
        std::exit(0);
      },
      testing::ExitedWithCode(0), "");
  const std::vector<std::string> expected = {
      "# Session file started:", "zyrModel_importRegionMap", "__EOF", "a", "b", "c", "__EOF", "__EOF", "__EOF",
      "1.000000e+00", "0.000000e+00", "0.000000e+00", "0.000000e+00", "1.000000e+00", "0.000000e+00",
      "0.000000e+00", "0.000000e+00", "1.000000e+00", "0.000000e+00", "0.000000e+00", "0.000000e+00", "m",
      "# Session file stopped:", "# Session file started:", "7", "# Session file stopped:",
      "# Session file started:", "# Session file stopped:"};
  EXPECT_EQ(lines(file), expected);
}

TEST(SessionFileDeathTest, DebugControlFileNamesTheSessionLog) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  zyrtest::SharedScratchDir scratch("ZYRTEST_RECORDER_DIR", "zyrRecorder");
  const std::string dir = scratch.path();
  const std::string file = dir + "/log.ses";
  const std::string control = dir + "/control";
  std::ofstream(control) << "<LOGS>\nSESSION = " << file << "\n</LOGS>\n";
  EXPECT_EXIT(
      {
        unsetenv("ZYR_SESSION_FILE");
        setenv("ZYR_DEBUG_CONTROL", control.c_str(), 1);
        setenv("ZYR_SESSION_FILE_LEVEL", "3", 1);
        if (SessionFile_record(nullptr, 0) != 1)
          fail(2);
        SessionFile_recordInteger(-4);
        std::exit(0);
      },
      testing::ExitedWithCode(0), "");
  const std::vector<std::string> expected = {"# Session file started:", "-4", "# Session file stopped:"};
  EXPECT_EQ(lines(file), expected);
}

TEST(SessionFileDeathTest, NoNameOrUnwritableFileRecordsNothing) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        unsetenv("ZYR_SESSION_FILE");
        setenv("ZYR_DEBUG_CONTROL", "/nonexistent/control", 1);
        if (SessionFile_record(nullptr, 1) != 0)
          fail(2);
        setenv("ZYR_SESSION_FILE", "/tmp/never.ses", 1);
        if (SessionFile_record(nullptr, 1) != 0) // decided at the first call
          fail(3);
        SessionFile_open("/nonexistent/dir/x.ses", 2);
        if (SessionFile_get() != nullptr || SessionFile_record(nullptr, 1) != 0)
          fail(4);
        SessionFile_recordString("ignored");
        std::exit(0);
      },
      testing::ExitedWithCode(0), "");
}
