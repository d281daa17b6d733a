// Recording a session in one process and replaying it with zyrplay in another: the recorded
// lines, the replayed database, the exit status and recording suspended during a replay.
#include "zyrAPI.h"
#include "zyrTestErrors.h"
#include "zyrTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace {

std::string zyrplayPath() {
  const std::string helpers = ZYR_TEST_HELPER_DIR;
  return helpers.substr(0, helpers.rfind('/')) + "/tools/zyrplay/zyrplay";
}

// Runs a shell command line; its exit status.
int run(const std::string &command) {
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The recorded lines without comments, each frame line cut to its first words.
std::vector<std::string> recorded(const std::string &path) {
  std::vector<std::string> result;
  for (const std::string &line : zyrtest::splitLines(zyrtest::readFile(path))) {
    if (line.rfind("# Session file started: ", 0) == 0)
      result.push_back("# started");
    else if (line.rfind("# Session file stopped: ", 0) == 0)
      result.push_back("# stopped");
    else if (line.rfind("#", 0) != 0)
      result.push_back(line);
  }
  return result;
}

void require(bool ok, int code) {
  if (!ok)
    zyrtest::leaveChild(code);
}

// In a fresh process (handles from 0, the recorder deciding anew): open, set, fail, close.
void recordChild(const std::string &database) {
  int32_t hd = -1, hm = -1;
  require(zyrDatabase_open(database.c_str(), &hd, &hm) == 1, 1);
  require(zyrStrategy_setIntegerParameter(hm, "NameManager_compositeCopyingStrategy", 2) == 1, 2);
  require(zyrStrategy_setIntegerParameter(hm, "NameManager_nothing", 2) == 0, 3);
  zyrErrorHandler old = nullptr;
  require(zyrApp_setErrorHandler(nullptr, &old) == 1, 4);
  require(zyrDatabase_close(hd, 0) == 1, 5);
  // The exit callbacks write the recording's last line.
  std::exit(0);
}

class ZyrplayTest : public testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(zyrtest::fileExists(zyrplayPath())) << zyrplayPath() << " is not built";
  }
  void record(const char *level) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    zyrtest::EnvGuard file("ZYR_SESSION_FILE", m_session.c_str());
    zyrtest::EnvGuard levelGuard("ZYR_SESSION_FILE_LEVEL", level);
    EXPECT_EXIT(recordChild(m_database), testing::ExitedWithCode(0), "");
  }
  std::string play(const std::string &session, int *status) {
    *status = run(zyrplayPath() + " < '" + session + "' > '" + file("out.txt") + "' 2> '" +
                  file("err.txt") + "'");
    return zyrtest::readFile(file("err.txt"));
  }

  // The recording child is this test run again in a new process: it finds the parent's
  // directory through the environment.
  static std::string sharedDir(std::unique_ptr<zyrtest::ScratchDir> &owned) {
    if (const char *inherited = std::getenv("ZYRTEST_ZYRPLAY_DIR"))
      return inherited;
    owned = std::make_unique<zyrtest::ScratchDir>("zyrplay");
    return owned->path();
  }

  zyrtest::EnvGuard m_units{"ZYR_USE_LOCAL_UNITS", "1"};
  std::unique_ptr<zyrtest::ScratchDir> m_owned;
  std::string m_path = sharedDir(m_owned);
  zyrtest::EnvGuard m_shared{"ZYRTEST_ZYRPLAY_DIR", m_path.c_str()};
  std::string m_database = m_path + "/demo.zyr";
  std::string m_session = m_path + "/demo.ses";
  std::string file(const std::string &name) const { return m_path + "/" + name; }
};

} // namespace

TEST_F(ZyrplayTest, ARecordingReplaysInANewProcess) {
  record(nullptr);
  const std::vector<std::string> expected = {"# started",
                                             "zyrDatabase_open",
                                             m_database,
                                             "zyrStrategy_setIntegerParameter",
                                             "0",
                                             "NameManager_compositeCopyingStrategy",
                                             "2",
                                             "zyrApp_setErrorHandler",
                                             "0",
                                             "zyrDatabase_close",
                                             "0",
                                             "0",
                                             "# stopped"};
  EXPECT_EQ(recorded(m_session), expected);

  ASSERT_EQ(std::remove(m_database.c_str()), 0);
  // The replay records nothing, though the recorder's variable names the very file it reads.
  const std::string before = zyrtest::readFile(m_session);
  int status = -1;
  {
    zyrtest::EnvGuard file("ZYR_SESSION_FILE", m_session.c_str());
    EXPECT_EQ(play(m_session, &status), "");
  }
  EXPECT_EQ(status, 0);
  EXPECT_EQ(zyrtest::readFile(m_session), before);
  ASSERT_TRUE(zyrtest::fileExists(m_database));

  zyrtest::ErrorCapture errors;
  int32_t hd = -1;
  int32_t hm = -1;
  ASSERT_EQ(zyrDatabase_open(m_database.c_str(), &hd, &hm), 1);
  int32_t value = 0;
  EXPECT_EQ(zyrStrategy_getIntegerParameter(hm, "NameManager_compositeCopyingStrategy", &value), 1);
  EXPECT_EQ(value, 2);
  EXPECT_EQ(zyrDatabase_close(hd, 1), 1);
}

TEST_F(ZyrplayTest, LevelThreeRecordsFailedCallsToo) {
  record("3");
  const std::vector<std::string> lines = recorded(m_session);
  const std::vector<std::string> failed = {"zyrStrategy_setIntegerParameter", "0", "NameManager_nothing", "2"};
  EXPECT_NE(std::search(lines.begin(), lines.end(), failed.begin(), failed.end()), lines.end());
  // A replay of it fails on that call, goes on, and says so in its exit status.
  ASSERT_EQ(std::remove(m_database.c_str()), 0);
  int status = -1;
  const std::string errors = play(m_session, &status);
  EXPECT_EQ(status, 1);
  EXPECT_NE(errors.find("The parameter \"NameManager_nothing\" has not be recognised."), std::string::npos);
  EXPECT_TRUE(zyrtest::fileExists(m_database));
}

TEST_F(ZyrplayTest, BrokenFilesEndWithAFailureStatus) {
  int status = -1;
  zyrtest::writeFile(m_session, "zyrDatabase_open\n" + m_database + "\nzyrDatabase_close\n0\n");
  std::string errors = play(m_session, &status);
  EXPECT_EQ(status, 1);
  EXPECT_NE(errors.find("Error code:  ZYR_U_UNEXPECTED_END_OF_FILE (10034)\n"), std::string::npos);
  EXPECT_NE(errors.find("Message:\nThe end of the session file was reached unexpectedly.\nHas it been truncated?\n"),
            std::string::npos);

  zyrtest::writeFile(m_session, "help\n");
  errors = play(m_session, &status);
  EXPECT_EQ(status, 1);
  EXPECT_NE(errors.find("The keyword \"help\" has not been recognised."), std::string::npos);

  // A file argument is read like the standard input; one that cannot be read is a usage error.
  zyrtest::writeFile(m_session, "# nothing\n");
  EXPECT_EQ(run(zyrplayPath() + " '" + m_session + "'"), 0);
  EXPECT_EQ(run(zyrplayPath() + " '" + file("missing.ses") + "' 2> /dev/null"), 2);
}
