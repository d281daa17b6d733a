#include "TestSupport.h"
#include "zyrCString.h"
#include "zyrSystem.h"

#include <unistd.h>

#include <climits>
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
  char host[HOST_NAME_MAX + 1] = {0};
  ASSERT_EQ(gethostname(host, sizeof host - 1), 0);
  EXPECT_EQ(take(zyrGetHostName()), host);
  char cwd[PATH_MAX];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  EXPECT_EQ(take(zyrGetCurrentDirectory()), cwd);
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
