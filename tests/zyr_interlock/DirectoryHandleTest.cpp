// A held directory: its files are reached through it wherever it goes, and are named as given.
#include "zyrDirectoryHandle.h"
#include "zyrTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace {

TEST(DirectoryHandleTest, AFileIsReachedThroughItsDirectoryWhereverItGoes) {
  zyrtest::ScratchDir scratch("held");
  zyrtest::WorkingDir here(scratch.path());
  ASSERT_EQ(mkdir("A", 0700), 0);
  zyrtest::writeFile("A/a.zyr", "mine");
  int fd = -1;
  const std::string reached = zyrDirectoryHandle_hold("A/a.zyr", &fd);
  ASSERT_GE(fd, 0);
  ASSERT_FALSE(reached.empty());
  EXPECT_TRUE(zyrDirectoryHandle_leadsThrough(reached.c_str()));
  EXPECT_FALSE(zyrDirectoryHandle_leadsThrough("A/a.zyr"));
  // A name through a held directory is not held again.
  int again = -1;
  EXPECT_EQ(zyrDirectoryHandle_hold(reached.c_str(), &again), "");
  EXPECT_EQ(again, -1);

  // Renamed, with another file at the old name: the held one is reached, the other left alone.
  ASSERT_EQ(rename("A", "A2"), 0);
  ASSERT_EQ(mkdir("A", 0700), 0);
  zyrtest::writeFile("A/a.zyr", "theirs");
  EXPECT_EQ(zyrtest::readFile(reached), "mine");
  zyrtest::writeFile(reached + ".lck", "1");
  EXPECT_EQ(zyrtest::listing("A2"), (std::vector<std::string>{"a.zyr", "a.zyr.lck"}));
  EXPECT_EQ(zyrtest::listing("A"), std::vector<std::string>{"a.zyr"});
  // So from another working directory.
  ASSERT_EQ(chdir("/"), 0);
  EXPECT_EQ(zyrtest::readFile(reached), "mine");

  // Messages name the files, and the directory itself, as the caller gave them.
  const std::string directory = reached.substr(0, reached.rfind('/'));
  EXPECT_EQ(zyrDirectoryHandle_shown(("The file " + reached + ".lck and " + reached + " in " + directory + ".").c_str()),
            "The file A/a.zyr.lck and A/a.zyr in A.");
  EXPECT_EQ(zyrDirectoryHandle_shown("/proc/self/fd/x and /proc/self/fd/ and /proc/self/fd/99999/b"),
            "/proc/self/fd/x and /proc/self/fd/ and /proc/self/fd/99999/b");

  zyrDirectoryHandle_release(fd);
  EXPECT_FALSE(zyrDirectoryHandle_leadsThrough(reached.c_str()));
  EXPECT_EQ(zyrDirectoryHandle_shown(reached.c_str()), reached);
}

TEST(DirectoryHandleTest, ABareNameIsShownBare) {
  zyrtest::ScratchDir scratch("held");
  zyrtest::WorkingDir here(scratch.path());
  zyrtest::writeFile("b.zyr", "");
  int fd = -1;
  const std::string reached = zyrDirectoryHandle_hold("b.zyr", &fd);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(zyrDirectoryHandle_shown(reached.c_str()), "b.zyr");
  EXPECT_EQ(zyrDirectoryHandle_shown(reached.substr(0, reached.rfind('/')).c_str()), ".");
  zyrDirectoryHandle_release(fd);
  // Nothing to hold: no name, no directory, a directory that is not there.
  for (const char *name : {"", "dir/", "no/such/dir/c.zyr"}) {
    EXPECT_EQ(zyrDirectoryHandle_hold(name, &fd), "") << name;
    EXPECT_EQ(fd, -1) << name;
  }
}

} // namespace
