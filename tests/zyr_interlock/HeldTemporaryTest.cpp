// Held temporaries: held from their making to their end, lent to this process's borrowers (who keep
// the lock as long as they keep what they were lent), handed over to the file that replaces one
// under its name, taken up from a descriptor only when it holds the file of the name, and reached
// (opened, removed) only while their name leads to the file held.
#include "zyrHeldTemporary.h"
#include "zyrLeftovers.h"
#include "zyrTestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/file.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

TEST(HeldTemporaryTest, ABorrowerKeepsTheLockItWasLent) {
  zyrtest::ScratchDir dir("zyrheld");
  zyrHeldTemporary held;
  ASSERT_EQ(zyrHeldTemporary_make(&held, dir.file("c").c_str(), ".tmp", 4), 1);
  const std::string name = held.m_name;
  EXPECT_EQ(name, dir.file("c.zyr-pid" + std::to_string(static_cast<long>(getpid())) + ".tmp"));
  EXPECT_EQ(zyrLeftovers_isHeld(name.c_str()), 1);
  // A borrower's own lock is refused; it is lent the hold instead. Another file has none to lend.
  const int opened = open(name.c_str(), O_RDONLY | O_CLOEXEC);
  EXPECT_NE(flock(opened, LOCK_SH | LOCK_NB), 0);
  const int lent = zyrHeldTemporary_lend(opened);
  ASSERT_GE(lent, 0);
  zyrtest::writeFile(dir.file("other"), "x");
  const int other = open(dir.file("other").c_str(), O_RDONLY | O_CLOEXEC);
  EXPECT_EQ(zyrHeldTemporary_lend(other), -1);
  close(other);
  // The maker lets go: the borrower still holds the file, until it lets go too.
  zyrHeldTemporary_release(&held);
  EXPECT_TRUE(held.m_name.empty());
  EXPECT_EQ(zyrLeftovers_isHeld(name.c_str()), 1);
  EXPECT_EQ(zyrHeldTemporary_lend(opened), -1);
  close(lent);
  close(opened);
  EXPECT_EQ(zyrLeftovers_isHeld(name.c_str()), 0);
  EXPECT_EQ(zyrLeftovers_removeUnheld(name.c_str()), 1);
}

TEST(HeldTemporaryTest, TheHoldGoesOverToTheFileThatReplacesItsFile) {
  zyrtest::ScratchDir dir("zyrheld");
  zyrHeldTemporary held;
  ASSERT_EQ(zyrHeldTemporary_create(&held, dir.file("i.tmp").c_str()), 1);
  zyrHeldTemporary second;
  EXPECT_EQ(zyrHeldTemporary_create(&second, dir.file("i.tmp").c_str()), 0);
  EXPECT_EQ(errno, EEXIST);
  const int old = open(held.m_name.c_str(), O_RDONLY | O_CLOEXEC);
  // A copy that holds its own lock is renamed over it, as a compaction swaps its copy in.
  zyrtest::writeFile(dir.file("copy"), "new");
  const int copy = open(dir.file("copy").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(flock(copy, LOCK_EX | LOCK_NB), 0);
  ASSERT_EQ(rename(dir.file("copy").c_str(), held.m_name.c_str()), 0);
  zyrHeldTemporary_handOver(old, copy);
  close(old);
  close(copy);
  EXPECT_EQ(zyrLeftovers_isHeld(held.m_name.c_str()), 1);
  // Its end removes the file now under the name, the one it holds, with its lock file.
  zyrtest::writeFile(held.m_name + ".lck", "x");
  zyrHeldTemporary_end(&held);
  EXPECT_EQ(dir.listing(), std::vector<std::string>{});
}

TEST(HeldTemporaryTest, AHoldHandedDownIsTakenUpOnlyForTheFileItHolds) {
  zyrtest::ScratchDir dir("zyrheld");
  zyrHeldTemporary maker;
  ASSERT_EQ(zyrHeldTemporary_create(&maker, dir.file("i.tmp").c_str()), 1);
  zyrtest::writeFile(dir.file("other"), "x");
  const int inherited = fcntl(maker.m_hold, F_DUPFD, 0);
  zyrHeldTemporary reader;
  EXPECT_EQ(zyrHeldTemporary_adopt(&reader, dir.file("other").c_str(), inherited), 0);
  EXPECT_EQ(errno, ESTALE);
  EXPECT_EQ(zyrHeldTemporary_adopt(&reader, dir.file("i.tmp").c_str(), -1), 0);
  EXPECT_EQ(errno, EBADF);
  // A descriptor of its own on the file holds no lock there: another does.
  const int own = open(dir.file("i.tmp").c_str(), O_RDONLY | O_CLOEXEC);
  EXPECT_EQ(zyrHeldTemporary_adopt(&reader, dir.file("i.tmp").c_str(), own), 0);
  close(own);
  ASSERT_EQ(zyrHeldTemporary_adopt(&reader, dir.file("i.tmp").c_str(), inherited), 1);
  EXPECT_EQ(fcntl(inherited, F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);
  // Let go of by the reader, the file stays its maker's.
  zyrHeldTemporary_release(&reader);
  EXPECT_EQ(zyrLeftovers_isHeld(maker.m_name.c_str()), 1);
  zyrHeldTemporary_end(&maker);
  EXPECT_EQ(dir.listing(), std::vector<std::string>{"other"});
}

// Another file renamed onto a temporary's name is not the temporary: opened by that name it is
// refused without being opened, and it is never removed for it. The temporary itself is opened as
// the very file held, and removed in the directory it was made in, wherever that has gone.
TEST(HeldTemporaryTest, ATemporaryIsReachedOnlyWhileItsNameLeadsToIt) {
  zyrtest::ScratchDir dir("zyrheld");
  zyrHeldTemporary held;
  ASSERT_EQ(zyrHeldTemporary_make(&held, dir.file("c").c_str(), ".tmp", 4), 1);
  const std::string name = held.m_name;
  ASSERT_EQ(write(held.m_hold, "mine", 4), 4);
  EXPECT_EQ(zyrHeldTemporary_check(name.c_str()), 1);
  EXPECT_EQ(zyrHeldTemporary_check(dir.file("other").c_str()), 0);
  bool named = false;
  int fd = zyrHeldTemporary_open(name.c_str(), O_RDONLY, &named);
  EXPECT_TRUE(named);
  ASSERT_GE(fd, 0);
  char bytes[8] = {};
  EXPECT_EQ(pread(fd, bytes, sizeof bytes, 0), 4);
  EXPECT_EQ(std::string(bytes), "mine");
  close(fd);
  EXPECT_EQ(zyrHeldTemporary_open(dir.file("other").c_str(), O_RDONLY, &named), -1);
  EXPECT_FALSE(named);

  // A pipe renamed onto the name: nothing waits, nothing opens it, nothing removes it.
  const std::string pipe = dir.file("pipe");
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  ASSERT_EQ(rename(pipe.c_str(), name.c_str()), 0);
  EXPECT_EQ(zyrHeldTemporary_check(name.c_str()), -1);
  EXPECT_FALSE(zyrHeldTemporary_isThere(&held));
  errno = 0;
  EXPECT_EQ(zyrHeldTemporary_open(name.c_str(), O_WRONLY, &named), -1);
  EXPECT_EQ(errno, ESTALE);
  EXPECT_EQ(zyrHeldTemporary_removeNamed(name.c_str(), false), 0);
  zyrHeldTemporary_end(&held);
  struct stat status;
  ASSERT_EQ(lstat(name.c_str(), &status), 0);
  EXPECT_TRUE(S_ISFIFO(status.st_mode));
  ASSERT_EQ(unlink(name.c_str()), 0);

  // The directory renamed: the temporary goes from where it is now, with its lock file.
  const zyrtest::ScratchDir inner("inner", dir.path());
  ASSERT_EQ(zyrHeldTemporary_make(&held, inner.file("c").c_str(), ".tmp", 4), 1);
  const std::string base = held.m_name.substr(held.m_name.rfind('/') + 1);
  zyrtest::writeFile(held.m_name + ".lck", "         1\n");
  const std::string moved = dir.file("moved");
  ASSERT_EQ(rename(inner.path().c_str(), moved.c_str()), 0);
  EXPECT_TRUE(zyrHeldTemporary_isThere(&held));
  EXPECT_EQ(zyrHeldTemporary_removeNamed(held.m_name.c_str(), true), 1);
  EXPECT_EQ(zyrtest::listing(moved), std::vector<std::string>{base});
  zyrHeldTemporary_end(&held);
  EXPECT_TRUE(zyrtest::listing(moved).empty());
  ASSERT_EQ(rename(moved.c_str(), inner.path().c_str()), 0);
}

} // namespace
