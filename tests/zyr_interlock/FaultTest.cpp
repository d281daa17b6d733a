// The fault seam fails exactly the pass the environment or a test names, as a full disc or a
// failing device would, and leaves every other call to the C library.
#include "zyrFault.h"
#include "zyrTestChild.h"
#include "zyrTestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace {

const std::string kChild = std::string(ZYR_TEST_HELPER_DIR) + "/fault_child";

// What the helper printed, one line per call.
std::string run(const std::vector<std::string> &calls, const std::vector<std::pair<std::string, const char *>> &env,
                const zyrtest::ScratchDir &dir) {
  std::vector<std::string> arguments = {dir.file("data")};
  arguments.insert(arguments.end(), calls.begin(), calls.end());
  zyrtest::ChildProcess child(kChild, arguments, env, dir.path());
  std::string lines;
  for (size_t i = 0; i < calls.size(); ++i)
    lines += child.readLine() + "\n";
  EXPECT_EQ(child.wait(), 0);
  return lines;
}

TEST(FaultTest, TheEnvironmentFailsTheNamedPassesOfEachKind) {
  zyrtest::ScratchDir dir("zyrfault");
  EXPECT_EQ(run({"write", "write", "flush", "sync", "write", "flush", "sync"},
                {{"ZYR_FAULT_AT", "write@2,sync@2:ENOSPC,flush@1"}}, dir),
            "write ok\nwrite ENOSPC\nflush ok\nsync ok\nwrite ok\nflush ENOSPC\nsync ENOSPC\n");
  // A failing write puts half in place and leaves nothing held (so the flush after it has nothing
  // to write, and does not count); a failing flush loses what the stream held.
  EXPECT_EQ(zyrtest::readFile(dir.file("data")), "abcdab");
  // Unarmed, nothing fails; and a file filter that the file does not match keeps it so.
  EXPECT_EQ(run({"write", "flush", "sync"}, {{"ZYR_FAULT_AT", nullptr}}, dir), "write ok\nflush ok\nsync ok\n");
  EXPECT_EQ(run({"write", "flush"}, {{"ZYR_FAULT_AT", "write@1"}, {"ZYR_FAULT_FILE", "elsewhere"}}, dir),
            "write ok\nflush ok\n");
}

TEST(FaultTest, AFullDiscFailsEveryWriteAndFlushThatWouldLengthenTheFileFromItsPassOn) {
  zyrtest::ScratchDir dir("zyrfault");
  EXPECT_EQ(run({"write", "flush", "write", "write", "flush", "sync", "read"}, {{"ZYR_FAULT_AT", "full@2"}}, dir),
            "write ok\nflush ok\nwrite ENOSPC\nwrite ENOSPC\nflush ok\nsync ok\nread ok\n");
  EXPECT_EQ(zyrtest::readFile(dir.file("data")), "abcd");
  EXPECT_EQ(run({"write", "flush", "sync", "sync", "read", "read"}, {{"ZYR_FAULT_AT", "sync@1+,read@2"}}, dir),
            "write ok\nflush ok\nsync EIO\nsync EIO\nread ok\nread EIO\n");
}

// As a real full disc does, the seam's takes no byte beyond the end of a file but lets those
// within it through; after a write it refused the stream goes on where the disc stopped and reads
// what the file holds. A read that fails leaves the stream's error indicator set, as the
// system's failure does.
TEST(FaultTest, AFullDiscRefusesOnlyWhatWouldLengthenAFile) {
  zyrtest::ScratchDir dir("zyrfault");
  FILE *file = std::fopen(dir.file("data").c_str(), "w+e");
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(zyrFault_arm("full@2,read@2", dir.path().c_str()), 1);
  EXPECT_EQ(zyrFault_fwrite("abcdefgh", 1, 8, file), 8u);
  EXPECT_EQ(zyrFault_fflush(file), 0);
  ASSERT_EQ(zyrFault_fseeko(file, 6, SEEK_SET), 0);
  errno = 0;
  EXPECT_EQ(zyrFault_fwrite("XYZ", 1, 3, file), 2u);
  EXPECT_EQ(errno, ENOSPC);
  EXPECT_TRUE(ferror(file));
  EXPECT_EQ(ftello(file), 8);
  ASSERT_EQ(zyrFault_fseeko(file, 0, SEEK_SET), 0);
  EXPECT_EQ(zyrFault_fwrite("AB", 1, 2, file), 2u);
  EXPECT_EQ(zyrFault_fflush(file), 0);
  char bytes[9] = {0};
  ASSERT_EQ(zyrFault_fseeko(file, 0, SEEK_SET), 0);
  clearerr(file);
  EXPECT_EQ(zyrFault_fread(bytes, 1, 8, file), 8u);
  EXPECT_STREQ(bytes, "ABcdefXY");
  EXPECT_FALSE(ferror(file));
  ASSERT_EQ(zyrFault_fseeko(file, 0, SEEK_SET), 0);
  EXPECT_EQ(zyrFault_fread(bytes, 1, 8, file), 4u);
  EXPECT_EQ(errno, EIO);
  EXPECT_TRUE(ferror(file));
  EXPECT_EQ(zyrFault_failures(), 2);
  zyrFault_disarm();
  EXPECT_EQ(zyrFault_fclose(file), 0);
  EXPECT_EQ(zyrtest::readFile(dir.file("data")), "ABcdefXY");
}

TEST(FaultTest, AKillEndsTheProcessBeforeItsNthHandOverAndLosesWhatTheStreamHeld) {
  zyrtest::ScratchDir dir("zyrfault");
  // Writes that fit the stream's buffer hand nothing over; flushes do.
  zyrtest::ChildProcess child(kChild, {dir.file("data"), "write", "flush", "write", "write", "flush", "write"},
                              {{"ZYR_FAULT_AT", "kill@2"}}, dir.path());
  EXPECT_EQ(child.readLine(), "write ok");
  EXPECT_EQ(child.readLine(), "flush ok");
  EXPECT_EQ(child.readLine(), "write ok");
  EXPECT_EQ(child.readLine(), "write ok");
  EXPECT_EQ(child.wait(), 128 + 9);
  EXPECT_EQ(zyrtest::readFile(dir.file("data")), "abcd");
}

TEST(FaultTest, TheCountsOfAProcessAreWrittenAtItsEnd) {
  zyrtest::ScratchDir dir("zyrfault");
  const std::string counts = dir.file("counts");
  run({"write", "flush", "write", "sync", "read", "look"}, {{"ZYR_FAULT_COUNT", counts.c_str()}}, dir);
  EXPECT_EQ(zyrtest::readFile(counts), "write 2\nflush 1\nsync 1\nread 1\nlook 1\nremove 0\nopen 0\n");
}

// A look fails as a failing device makes it fail, changing nothing; only looks at names that hold
// the file's text count, a name beneath a directory's descriptor read as the directory's path and
// the name.
TEST(FaultTest, ALookAtANameFailsAsNamed) {
  zyrtest::ScratchDir dir("zyrfault");
  zyrtest::writeFile(dir.file("seen"), "x");
  zyrtest::writeFile(dir.file("other"), "y");
  EXPECT_EQ(run({"look", "look"}, {{"ZYR_FAULT_AT", "look@2"}}, dir), "look ok\nlook EIO\n");
  ASSERT_EQ(zyrFault_arm("look@2+:ENOENT", "seen"), 1);
  struct stat status;
  EXPECT_EQ(zyrFault_stat(dir.file("seen").c_str(), &status), 0);
  EXPECT_EQ(zyrFault_lstat(dir.file("other").c_str(), &status), 0);
  EXPECT_EQ(zyrFault_access(dir.path().c_str(), F_OK), 0);
  const int directory = open(dir.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(directory, 0);
  errno = 0;
  EXPECT_EQ(zyrFault_fstatat(directory, "seen", &status, AT_SYMLINK_NOFOLLOW), -1);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(zyrFault_access(dir.file("seen").c_str(), F_OK), -1);
  close(directory);
  EXPECT_EQ(zyrFault_passes(ZYR_FAULT_LOOK), 3);
  EXPECT_EQ(zyrFault_failures(), 2);
  zyrFault_disarm();
  EXPECT_EQ(zyrFault_stat(dir.file("seen").c_str(), &status), 0);
  EXPECT_EQ(zyrtest::readFile(dir.file("seen")), "x");
}

TEST(FaultTest, ATestArmsCountsAndDisarmsTheSeamInItsOwnProcess) {
  zyrtest::ScratchDir dir("zyrfault");
  EXPECT_EQ(zyrFault_arm("write@", nullptr), 0);
  EXPECT_EQ(zyrFault_arm("jump@1", nullptr), 0);
  ASSERT_EQ(zyrFault_arm("write@2:EIO", dir.path().c_str()), 1);
  FILE *file = std::fopen(dir.file("data").c_str(), "we");
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(zyrFault_fwrite("abcd", 1, 4, file), 4u);
  errno = 0;
  EXPECT_EQ(zyrFault_fwrite("efgh", 2, 2, file), 1u);
  EXPECT_EQ(errno, EIO);
  EXPECT_EQ(zyrFault_fwrite("ijkl", 1, 4, file), 4u);
  EXPECT_EQ(zyrFault_passes(ZYR_FAULT_WRITE), 3);
  EXPECT_EQ(zyrFault_failures(), 1);
  zyrFault_disarm();
  EXPECT_EQ(zyrFault_passes(ZYR_FAULT_WRITE), 0);
  EXPECT_EQ(zyrFault_fclose(file), 0);
  EXPECT_EQ(zyrtest::readFile(dir.file("data")), "abcdefijkl");
}

// A removal is counted by the name it is given; the one that fails leaves its file.
TEST(FaultTest, ARemovalFailsAtItsPassAndLeavesTheFile) {
  zyrtest::ScratchDir dir("zyrfault");
  for (const char *name : {"kept.a", "kept.b", "other"})
    zyrtest::writeFile(dir.file(name), name);
  ASSERT_EQ(zyrFault_arm("remove@2", "kept."), 1);
  EXPECT_EQ(zyrFault_unlink(dir.file("kept.a").c_str()), 0);
  EXPECT_EQ(zyrFault_unlink(dir.file("other").c_str()), 0);
  errno = 0;
  EXPECT_EQ(zyrFault_unlink(dir.file("kept.b").c_str()), -1);
  EXPECT_EQ(errno, EIO);
  EXPECT_EQ(zyrFault_passes(ZYR_FAULT_REMOVE), 2);
  zyrFault_disarm();
  EXPECT_EQ(dir.listing(), std::vector<std::string>{"kept.b"});
}

} // namespace
