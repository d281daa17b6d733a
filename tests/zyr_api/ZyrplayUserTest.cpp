// Sessions played with zyrplay as a user plays them, where the user meets a refusal: an unknown
// length unit is refused before anything is made, stored or written.
#include "zyrTestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct Played {
  int status;
  std::string err;
};

class ZyrplayUserTest : public testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(zyrtest::fileExists(buildDir() + "/tools/zyrplay/zyrplay"));
    ASSERT_TRUE(zyrtest::fileExists(buildDir() + "/tools/kelvo/Kelvo.exe"));
  }
  static std::string buildDir() {
    const std::string helpers = ZYR_TEST_HELPER_DIR;
    return helpers.substr(0, helpers.rfind('/'));
  }
  // Plays the session (its lines) in the work directory; `otherUser`: run as a user who does not
  // own that directory (nobody, for a test run by root).
  Played play(const std::vector<std::string> &lines, bool otherUser = false) {
    std::string text;
    for (const std::string &line : lines)
      text += line + "\n";
    zyrtest::writeFile(m_output.file("session"), text);
    const int in = open(m_output.file("session").c_str(), O_RDONLY | O_CLOEXEC);
    const int err = open(m_output.file("err").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const std::string zyrplay = buildDir() + "/tools/zyrplay/zyrplay", kelvo = buildDir() + "/tools/kelvo";
    const pid_t pid = fork();
    if (pid == 0) {
      dup2(in, 0);
      dup2(err, 2);
      const int out = open("/dev/null", O_WRONLY);
      dup2(out, 1);
      unsetenv("ZYR_SESSION_FILE");
      unsetenv("WEZ5_KELVO_EXEC");
      setenv("ZYR_USE_LOCAL_UNITS", "1", 1);
      setenv("WEZ5BINDIR", kelvo.c_str(), 1);
      setenv("WEZ5EXECDIR", kelvo.c_str(), 1);
      if (chdir(m_work.path().c_str()) != 0 ||
          (otherUser && geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)))
        zyrtest::leaveChild(126);
      execl(zyrplay.c_str(), zyrplay.c_str(), static_cast<char *>(nullptr));
      zyrtest::leaveChild(127);
    }
    close(in);
    close(err);
    int status = 0;
    waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, zyrtest::readFile(m_output.file("err"))};
  }
  static int count(const std::string &text, const std::string &part) {
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
      ++n;
    return n;
  }
  std::string file(const std::string &name) const { return m_work.file(name); }

  zyrtest::ScratchDir m_work{"zyrplay-user"};
  zyrtest::ScratchDir m_output{"zyrplay-user-output"};
};

TEST_F(ZyrplayUserTest, AnUnknownLengthUnitIsRefusedBeforeAnythingIsStoredOrWritten) {
  zyrtest::writeFile(file("box-tet.msh"), zyrtest::readFile(std::string(ZYR_SOURCE_DIR) + "/examples/box-tet.msh"));
  Played played = play({"zyrDatabase_open", "box.zyr", "zyrModel_importMesh", "0", "Msh", "box-tet.msh", "", "", "m",
                        "0", "zyrModel_exportMesh", "0", "Def", "box.wez", "m", "0", "zyrDatabase_close", "0", "0"});
  ASSERT_EQ(played.status, 0) << played.err;
  const std::string written = zyrtest::readFile(file("box.wez"));

  played = play({"zyrDatabase_open", "box.zyr", "zyrModel_importMesh", "0", "Msh", "box-tet.msh", "", "", "furlongz",
                 "0", "zyrModel_exportMesh", "0", "Def", "box.wez", "furlongz", "0", "zyrDatabase_close", "0", "0"});
  EXPECT_EQ(played.status, 1);
  // The two refusals and nothing else: no import was started, no file was written.
  EXPECT_EQ(count(played.err, "Error code:"), 2) << played.err;
  EXPECT_EQ(count(played.err, "Error code:  ZYR_U_INVALID_LENGTH_UNITS (10013)\n"), 2) << played.err;
  EXPECT_EQ(count(played.err, "Supplied units for length were: furlongz.\n"), 2) << played.err;
  EXPECT_EQ(zyrtest::readFile(file("box.wez")), written);
  EXPECT_FALSE(zyrtest::contains(zyrtest::readFile(file("box.zyr")), "furlongz"));

  // The database holds no trace of the unit: its next open says nothing.
  played = play({"zyrDatabase_open", "box.zyr", "zyrDatabase_close", "0", "0"});
  EXPECT_EQ(played.status, 0);
  EXPECT_EQ(played.err, "");
}

} // namespace
