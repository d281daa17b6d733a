// Held temporaries: held from their making to their end, lent to this process's borrowers (who keep
// the lock as long as they keep what they were lent), handed over to the file that replaces one
// under its name, and taken up from a descriptor only when it holds the file of the name.
#include "zyrHeldTemporary.h"
#include "zyrLeftovers.h"
#include "zyrTestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <string>

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

} // namespace
