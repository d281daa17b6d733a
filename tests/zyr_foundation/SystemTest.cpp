#include "TestSupport.h"
#include "zyrCString.h"
#include "zyrSystem.h"

#include <sys/time.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <csignal>
#include <regex>

namespace {

std::string take(char *text) {
  std::string out = text ? text : "<NULL>";
  zyrCString_free(text);
  return out;
}

TEST(System, EnvironmentReadTestAndSet) {
  const char *name = "ZYRTEST_SYSTEM_VARIABLE";
  unsetenv(name);
  EXPECT_EQ(zyrIsEnvironmentVariableSet(name), 0);
  EXPECT_EQ(zyrReadEnvironmentVariable(name, nullptr), nullptr);
  EXPECT_EQ(take(zyrReadEnvironmentVariable(name, "fallback")), "fallback");
  EXPECT_EQ(zyrSetEnvironmentVariable(name, "value one"), 1);
  EXPECT_EQ(zyrIsEnvironmentVariableSet(name), 1);
  EXPECT_EQ(take(zyrReadEnvironmentVariable(name, "fallback")), "value one");
  EXPECT_EQ(zyrSetEnvironmentVariable(nullptr, "x"), 0);
  EXPECT_EQ(zyrSetEnvironmentVariable("BAD=NAME", "x"), 0);
  EXPECT_EQ(zyrIsEnvironmentVariableSet(nullptr), 0);
  unsetenv(name);
}

TEST(System, DateTimeHostAndDirectory) {
  EXPECT_TRUE(std::regex_match(take(zyrGetDateString()), std::regex("[A-Z][a-z]{2} [A-Z][a-z]{2} [0-9]{2} [0-9]{4}")));
  EXPECT_NE(take(zyrGetTimeString()), "<NULL>");
  // A fixed moment is told the same on every machine, in any time zone.
  zyrSetFixedTime(946730096); // 2000-01-01 12:34:56 UTC
  EXPECT_EQ(take(zyrGetDateString()), "Sat Jan 01 2000");
  EXPECT_EQ(take(zyrGetTimeString()), "12:34:56 GMT");
  zyrSetFixedTime(-1);
  EXPECT_NE(take(zyrGetDateString()), "Sat Jan 01 2000");
  char host[HOST_NAME_MAX + 1] = {0};
  ASSERT_EQ(gethostname(host, sizeof host - 1), 0);
  EXPECT_EQ(take(zyrGetHostName()), host);
  char cwd[PATH_MAX];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  EXPECT_EQ(take(zyrGetCurrentDirectory()), cwd);
}

void noteAlarm(int) {}

// In a child: a signal that interrupts the sleep does not shorten it; nothing or less waits not
// at all. 0 when both hold.
int sleepThroughASignal() {
  struct sigaction action = {};
  action.sa_handler = noteAlarm; // no SA_RESTART: the sleep sees EINTR
  sigaction(SIGALRM, &action, nullptr);
  const itimerval soon = {{0, 0}, {0, 200000}};
  setitimer(ITIMER_REAL, &soon, nullptr);
  const auto start = std::chrono::steady_clock::now();
  zyrSleep(1);
  const auto slept = std::chrono::steady_clock::now() - start;
  zyrSleep(0);
  zyrSleep(-3);
  const auto none = std::chrono::steady_clock::now() - start - slept;
  return slept >= std::chrono::milliseconds(990) && none < std::chrono::milliseconds(500) ? 0 : 1;
}

void leaveOnTrap(int) { zyrtest::leaveChild(0); }

TEST(SystemDeathTest, SleepAndTheDebuggerTrap) {
  EXPECT_EXIT(zyrtest::leaveChild(sleepThroughASignal()), testing::ExitedWithCode(0), "");
  // Without a debugger the trap signal reaches the process: caught here, it ends the child with 0.
  EXPECT_EXIT(
      {
        signal(SIGTRAP, leaveOnTrap);
        zyrDebugBreak();
        zyrtest::leaveChild(2);
      },
      testing::ExitedWithCode(0), "");
}

TEST(System, LongWorkingDirectoryIsReadWhole) {
  zyrtest::ScratchDir dir;
  char previous[PATH_MAX];
  ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
  std::string deep = dir.path();
  for (int i = 0; i < 8; ++i) {
    deep += "/" + std::string(100, static_cast<char>('a' + i));
    ASSERT_EQ(mkdir(deep.c_str(), 0700), 0);
  }
  ASSERT_EQ(chdir(deep.c_str()), 0);
  std::string seen = take(zyrGetCurrentDirectory());
  ASSERT_EQ(chdir(previous), 0);
  EXPECT_EQ(seen.size(), deep.size()); // beyond the first 512-byte attempt
}

TEST(System, FileExistsForFilesAndDirectories) {
  zyrtest::ScratchDir dir;
  zyrtest::writeFile(dir.file("f"), "");
  EXPECT_EQ(zyrDoesFileExist(dir.path().c_str()), 1);
  EXPECT_EQ(zyrDoesFileExist(dir.file("f").c_str()), 1);
  EXPECT_EQ(zyrDoesFileExist(dir.file("g").c_str()), 0);
  EXPECT_EQ(zyrDoesFileExist(nullptr), 0);
}

} // namespace
