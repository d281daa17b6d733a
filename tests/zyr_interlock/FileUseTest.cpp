// Whether a file is in use is decided by trying its own lock; the system's lists only name holders,
// and only live ones.
#include "zyrFault.h"
#include "zyrFileUse.h"
#include "zyrLeftovers.h"
#include "zyrPlacement.h"
#include "zyrTestChild.h"
#include "zyrTestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

// A file that this process cannot open to try its lock counts as in use, whoever holds it or not:
// a writer never concludes from the system's lists that such a file is free. Where the lists do
// show a holder, the reason names it.
TEST(FileUseTest, AFileWhoseLockCannotBeTriedIsInUse) {
  if (geteuid() != 0)
    GTEST_SKIP() << "needs a second user, whose file this one cannot read";
  zyrtest::ScratchDir dir("zyruse");
  ASSERT_EQ(chmod(dir.path().c_str(), 0777), 0);
  const std::string file = dir.file("theirs");
  zyrtest::writeFile(file, "root's");
  ASSERT_EQ(chmod(file.c_str(), 0600), 0);
  const std::string unknown =
      "Whether another process is using it cannot be told (its lock cannot be tried: Permission denied)";
  const auto asNobody = [&](const std::string &expected) {
    return zyrtest::inChild([&] {
      // Entered first: the directories above may be closed to that user.
      if (chdir(dir.path().c_str()) != 0 || setgid(65534) != 0 || setuid(65534) != 0)
        return std::string("the user cannot be changed");
      const char *name = "theirs";
      std::string wrong;
      zyrFileUse use;
      int hold = -2;
      if (zyrFileUse_check(name, &use, &hold) != 1 || use.m_kind != ZYR_USE_UNKNOWN || hold != -1)
        wrong += "the check; ";
      if (zyrFileUse_reason(&use) != expected)
        wrong += "the reason: " + zyrFileUse_reason(&use) + "; ";
      if (zyrFileUse_isHeld(name) != 1)
        wrong += "isHeld; ";
      // Nor is it replaced or removed as a leftover.
      zyrPlacement place;
      if (zyrPlacement_begin(&place, name, 0) != 0 || place.m_refusal != ZYR_PLACEMENT_IN_USE)
        wrong += "the placement; ";
      if (zyrLeftovers_removeUnheld(name) != 0)
        wrong += "the removal; ";
      return wrong;
    });
  };
  EXPECT_EQ(asNobody(unknown), "");
  const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(flock(fd, LOCK_SH), 0);
  EXPECT_EQ(asNobody("It is in use by process " + std::to_string(static_cast<long>(getpid()))), "");
  close(fd);
  EXPECT_EQ(zyrtest::readFile(file), "root's");
}

// The lock file of a file whose lock cannot be tried (here a symbolic link that leads to itself)
// counts as in use too, and its reason says only what is known: whether a process uses that file
// cannot be told, and why; never that another process uses it.
TEST(FileUseTest, TheLockFileOfAFileWhoseLockCannotBeTriedIsToldSo) {
  zyrtest::ScratchDir dir("zyruse");
  const std::string loop = dir.file("loop");
  ASSERT_EQ(symlink("loop", loop.c_str()), 0);
  zyrFileUse use;
  EXPECT_EQ(zyrFileUse_check((loop + ".lck").c_str(), &use, nullptr), 1);
  EXPECT_EQ(use.m_kind, ZYR_USE_LOCK_FILE);
  EXPECT_EQ(use.m_error, ELOOP);
  EXPECT_EQ(zyrFileUse_reason(&use), "It is the lock file of " + loop +
                                         ", and whether another process is using that file cannot be told (its lock "
                                         "cannot be tried: Too many levels of symbolic links)");
  // A file that is tried and held is named as held, whether or not the system's lists name it.
  zyrtest::writeFile(dir.file("held"), "x");
  const zyrtest::LockHolder holder(dir.file("held"), LOCK_SH);
  ASSERT_TRUE(holder.holds());
  EXPECT_EQ(zyrFileUse_check(dir.file("held.lck").c_str(), &use, nullptr), 1);
  EXPECT_EQ(use.m_error, 0);
  EXPECT_EQ(zyrFileUse_reason(&use),
            "It is the lock file of " + dir.file("held") + ", which is in use by process " + std::to_string(holder.pid()));
}

// A look at the name that fails for another reason than that nothing is there tells nothing of
// what stands under it: a free file, a file another process holds and a missing name alike count
// as in use, nothing is held, the reason names the look and why it failed, and a placement refuses
// the name before a byte is written. One that finds nothing leaves the answer to the file's lock.
TEST(FileUseTest, ANameThatCannotBeLookedAtCountsAsInUse) {
  zyrtest::ScratchDir dir("zyruse");
  const std::string free = dir.file("free"), held = dir.file("held");
  zyrtest::writeFile(free, "free");
  zyrtest::writeFile(held, "held");
  const zyrtest::LockHolder holder(held, LOCK_SH);
  ASSERT_TRUE(holder.holds());
  const std::string unseen =
      "Whether another process is using it cannot be told (it cannot be looked at: Input/output error)";
  for (const std::string &name : {free, held, dir.file("missing")}) {
    SCOPED_TRACE(name);
    zyrFileUse use;
    int hold = -2;
    ASSERT_EQ(zyrFault_arm("look@1", name.c_str()), 1);
    EXPECT_EQ(zyrFileUse_check(name.c_str(), &use, &hold), 1);
    EXPECT_EQ(zyrFault_failures(), 1);
    zyrFault_disarm();
    EXPECT_EQ(use.m_kind, ZYR_USE_UNKNOWN);
    EXPECT_EQ(hold, -1);
    EXPECT_EQ(zyrFileUse_reason(&use), unseen);
    zyrPlacement place;
    ASSERT_EQ(zyrFault_arm("look@1", name.c_str()), 1);
    EXPECT_EQ(zyrPlacement_begin(&place, name.c_str(), 0), 0);
    zyrFault_disarm();
    EXPECT_EQ(place.m_refusal, ZYR_PLACEMENT_IN_USE);
    EXPECT_EQ(zyrPlacement_reason(&place), unseen);
  }
  // A look that finds nothing where a file stands answers nothing either: whether the file is in
  // use is tried on its lock as for any other, a free one is held and a held one is in use.
  for (const std::string &name : {free, held}) {
    SCOPED_TRACE(name + ", found nothing");
    zyrFileUse use;
    int hold = -2;
    ASSERT_EQ(zyrFault_arm("look@1:ENOENT", name.c_str()), 1);
    EXPECT_EQ(zyrFileUse_check(name.c_str(), &use, &hold), name == held ? 1 : 0);
    EXPECT_EQ(zyrFault_failures(), 1);
    zyrFault_disarm();
    EXPECT_EQ(use.m_kind, name == held ? ZYR_USE_HELD : ZYR_USE_NONE);
    EXPECT_EQ(hold >= 0, name == free);
    if (hold >= 0)
      close(hold);
  }
  EXPECT_EQ(zyrtest::readFile(free), "free");
  EXPECT_EQ(zyrtest::readFile(held), "held");
  EXPECT_EQ(dir.listing(), (std::vector<std::string>{"free", "held"}));
}

// The open of what a look saw opens that file and nothing else: a pipe, or another regular file,
// that takes the name after the look is never opened, not even for reading without waiting, and
// the open says the name leads elsewhere (ESTALE), whether the look followed links or not.
TEST(FileUseTest, TheOpenOfWhatALookSawOpensNothingElse) {
  for (const bool follow : {false, true})
    for (const bool pipe : {true, false}) {
      SCOPED_TRACE(std::string(follow ? "stat, " : "lstat, ") + (pipe ? "a pipe" : "another file"));
      zyrtest::ScratchDir dir("zyruse");
      const std::string name = dir.file("seen"), other = dir.file("other");
      zyrtest::writeFile(name, "seen");
      struct stat looked, opened;
      ASSERT_EQ(follow ? stat(name.c_str(), &looked) : lstat(name.c_str(), &looked), 0);
      // Still there, the file the look saw is opened.
      zyrtest::OpenWatch seen(name);
      int fd = zyrFileUse_openLooked(name.c_str(), looked, follow, &opened);
      ASSERT_GE(fd, 0);
      EXPECT_TRUE(zyrFileUse_isSame(opened, looked));
      close(fd);
      EXPECT_EQ(seen.opens(), 1);

      if (pipe)
        ASSERT_EQ(mkfifo(other.c_str(), 0600), 0);
      else
        zyrtest::writeFile(other, "other");
      zyrtest::OpenWatch watch(other);
      ASSERT_EQ(rename(other.c_str(), name.c_str()), 0);
      errno = 0;
      fd = zyrFileUse_openLooked(name.c_str(), looked, follow, &opened);
      EXPECT_EQ(fd, -1);
      EXPECT_EQ(errno, ESTALE);
      if (fd >= 0)
        close(fd);
      EXPECT_EQ(watch.opens(), 0);
    }
}

// A lock taken by a process that has ended, whose child keeps the descriptor, is that child's: the
// reason names the live process, never the ended one.
TEST(FileUseTest, AHolderIsNamedByALiveProcess) {
  zyrtest::ScratchDir dir("zyruse");
  const std::string file = dir.file("held");
  zyrtest::writeFile(file, "x");
  int ready[2], done[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(done), 0);
  const pid_t taker = fork();
  if (taker == 0) {
    const int fd = open(file.c_str(), O_RDONLY);
    if (fd < 0 || flock(fd, LOCK_EX) != 0)
      _exit(1);
    // The child keeps the descriptor, and the lock with it, until the test lets it go.
    const pid_t keeper = fork();
    if (keeper == 0) {
      char c;
      close(ready[0]);
      close(done[1]);
      const long self = static_cast<long>(getpid());
      if (write(ready[1], &self, sizeof self) != sizeof self)
        _exit(1);
      while (read(done[0], &c, 1) < 0) {
      }
      _exit(0);
    }
    _exit(keeper > 0 ? 0 : 1);
  }
  close(ready[1]);
  close(done[0]);
  long keeper = 0;
  ASSERT_EQ(read(ready[0], &keeper, sizeof keeper), static_cast<ssize_t>(sizeof keeper));
  int status = 0;
  ASSERT_EQ(waitpid(taker, &status, 0), taker);
  ASSERT_EQ(zyrLeftovers_isAlive(static_cast<long>(taker)), 0);
  zyrFileUse use;
  EXPECT_EQ(zyrFileUse_check(file.c_str(), &use, nullptr), 1);
  EXPECT_EQ(zyrFileUse_reason(&use), "It is in use by process " + std::to_string(keeper));
  close(done[1]); // lets the keeper go
  close(ready[0]);
  // The keeper is init's child now: it is gone once its lock is.
  for (int i = 0; i < 6000 && zyrFileUse_isHeld(file.c_str()); ++i)
    usleep(10000);
  EXPECT_EQ(zyrFileUse_isHeld(file.c_str()), 0);
}

} // namespace
