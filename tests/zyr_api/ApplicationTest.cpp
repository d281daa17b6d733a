// Application services: the working directory, exit callbacks, exit codes, the installation's
// directory variables and the start-up that sends errors to the standard output.
#include "zyrApplication.h"
#include "zyrCString.h"
#include "zyrError.h"
#include "zyrErrorManager.h"
#include "zyrLibrary.h"
#include "zyrMemory.h"
#include "zyrTestApplication.h"
#include "zyrTestSupport.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

std::string lastMessage() {
  int32_t n = 0;
  zyrError **errors = nullptr;
  zyrErrorManager_getErrors(zyrErrorManager_get(), &n, &errors);
  std::string message = n > 0 ? zyrError_getMessage(errors[n - 1]) : "";
  zyrMemory_free(errors, "lastMessage");
  zyrErrorManager_clearErrors(zyrErrorManager_get());
  return message;
}

std::string g_calls;
void callA() { g_calls += "A"; }
void callB() { g_calls += "B"; }

} // namespace

// Nothing is stored until a directory is set: a fresh process tells, since the directory is
// process-wide and other tests store theirs.
TEST(ApplicationDeathTest, NoWorkingDirectoryUntilOneIsSet) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(zyrtest::leaveChild(zyrApplication_getWorkingDirectory() == nullptr ? 0 : 1),
              testing::ExitedWithCode(0), "");
}

TEST(ApplicationTest, WorkingDirectoryIsAbsoluteAndKeptOnFailure) {
  zyrtest::ApplicationDirectoryGuard keep;
  zyrtest::ScratchDir scratch("zyrAppDir");
  zyrtest::WorkingDir here(scratch.path());
  ASSERT_EQ(zyrApplication_setWorkingDirectory("."), 1);
  char cwd[PATH_MAX];
  ASSERT_NE(realpath(".", cwd), nullptr);
  char *stored = zyrApplication_getWorkingDirectory();
  EXPECT_STREQ(stored, cwd);
  zyrCString_free(stored);

  const std::string file = scratch.file("file");
  zyrtest::writeFile(file, "");
  EXPECT_EQ(zyrApplication_setWorkingDirectory(file.c_str()), 0);
  EXPECT_EQ(lastMessage(), "The supplied directory\n\n" + file + "\n\n does not exist.\n");
  EXPECT_EQ(zyrApplication_setWorkingDirectory(nullptr), 0);
  EXPECT_EQ(lastMessage(), "A null pointer has been supplied when a null terminated string\n"
                           "containing a path to a working directory was expected.\n");
  stored = zyrApplication_getWorkingDirectory();
  EXPECT_STREQ(stored, cwd);
  zyrCString_free(stored);
}

TEST(ApplicationTest, CallBacksRunNewestFirstOnNegativeExitOnly) {
  g_calls.clear();
  zyrApplication_registerCallBack(callA);
  zyrApplication_registerCallBack(callB);
  zyrApplication_exit(0);
  EXPECT_EQ(g_calls, "");
  zyrApplication_exit(-1);
  EXPECT_EQ(g_calls, "BA");
  zyrApplication_unregisterCallBack(callA);
  zyrApplication_runCallBacks();
  EXPECT_EQ(g_calls, "BAB");
  zyrApplication_unregisterCallBack(callB);
  zyrApplication_runCallBacks();
  EXPECT_EQ(g_calls, "BAB");
}

TEST(ApplicationDeathTest, ExitCodesReachTheProcessStatus) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // A failure is not ended as a success.
  EXPECT_EXIT(zyrApplication_exit(3), testing::ExitedWithCode(1), "");
  EXPECT_EXIT(zyrApplication_terminate(0), testing::ExitedWithCode(0), "");
  EXPECT_EXIT(zyrApplication_terminate(2), testing::KilledBySignal(SIGABRT), "");
}

TEST(ApplicationDeathTest, InitialiseSendsErrorsToStdoutOnlyWithInitialPath) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        setenv("P3_INITIAL_PATH", "/", 1);
        if (zyrApplication_useStdoutErrors() != 0)
          zyrtest::leaveChild(2);
        zyrApplication_initialise("appTest");
        char *name = zyrLibrary_getProgramName();
        int named = name != nullptr && std::string(name) == "appTest";
        zyrCString_free(name);
        unsetenv("P3_INITIAL_PATH");
        zyrtest::leaveChild(named && zyrApplication_useStdoutErrors() == 0 ? 0 : 3);
      },
      testing::ExitedWithCode(0), "");
}

TEST(ApplicationTest, BaseDirectorySetsThreeVariables) {
  zyrtest::ScratchDir scratch("zyrAppRoot");
  zyrtest::EnvGuard bin("WEZ5BINDIR", nullptr), exec("WEZ5EXECDIR", nullptr), units("WEZ5_UNITS_DIR", nullptr);
  const std::string root = scratch.path();
  ASSERT_EQ(zyrApplication_setWEZBaseDirectory(root.c_str(), nullptr), 1);
  EXPECT_EQ(std::string(std::getenv("WEZ5BINDIR")), root + "/bin");
  EXPECT_EQ(std::string(std::getenv("WEZ5EXECDIR")), root + "/bin/winnt-amd64");
  EXPECT_EQ(std::string(std::getenv("WEZ5_UNITS_DIR")), root + "/etc");
  EXPECT_EQ(zyrApplication_setWEZBaseDirectory(scratch.file("gone").c_str(), "x"), 0);
}

// Contexts are not kept: pushing and popping refuse, and the context stays 0 whatever came first.
TEST(ApplicationTest, ContextsAreRefused) {
  EXPECT_EQ(zyrApplication_pushContext(), -1);
  EXPECT_EQ(zyrApplication_getContext(), 0);
  EXPECT_EQ(zyrApplication_popContext(1), -1);
  EXPECT_EQ(zyrApplication_popContext(0), -1);
  EXPECT_EQ(zyrApplication_getContext(), 0);
}
