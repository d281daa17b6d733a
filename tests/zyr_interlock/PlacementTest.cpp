// A whole file put in place under a name: through links to the file they lead to, never over what
// is no regular file, with the old file's permissions, under a temporary that fits wherever the
// name fits.
#include "zyrFault.h"
#include "zyrLeftovers.h"
#include "zyrPlacement.h"
#include "zyrTestChild.h"
#include "zyrTestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <climits>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <csignal>
#include <sys/wait.h>
#include <vector>

namespace {

std::string lastPart(const std::string &path) { return path.substr(path.find_last_of('/') + 1); }

// Writes the placement's temporary and puts it in place; the placement's answer.
int put(zyrPlacement *place, const std::string &bytes) {
  zyrtest::writeFile(place->m_temporary.m_name, bytes);
  return zyrPlacement_commit(place);
}

TEST(PlacementTest, ATemporaryFitsWhereverItsNameFits) {
  zyrtest::ScratchDir dir("zyrplace");
  const size_t most = zyrLeftovers_nameMax(dir.path().c_str());
  const long self = static_cast<long>(getpid());
  char temporary[PATH_MAX];
  std::vector<std::string> made;
  for (size_t length : {size_t{1}, most - 24, most - 4}) {
    const std::string name = dir.file(std::string(length - 1, 'n') + "a");
    ASSERT_EQ(zyrLeftovers_name(name.c_str(), ".tmp", 4, temporary, sizeof temporary), 1);
    const std::string last = lastPart(temporary);
    EXPECT_LE(last.size() + 4, most) << length;
    EXPECT_EQ(zyrLeftovers_owner(temporary), self) << last;
    // Short names are kept whole; the cut ones keep their start.
    if (length + 4 + 20 <= most)
      EXPECT_EQ(last, lastPart(name) + ".zyr-pid" + std::to_string(self) + ".tmp");
    else
      EXPECT_EQ(last.substr(0, most - 40), std::string(most - 40, 'n'));
    zyrtest::writeFile(std::string(temporary) + ".lck", "fits");
    made.push_back(temporary);
  }
  // Two long names that differ only where they are cut stay apart.
  const std::string other = dir.file(std::string(most - 5, 'n') + "b");
  ASSERT_EQ(zyrLeftovers_name(other.c_str(), ".tmp", 4, temporary, sizeof temporary), 1);
  EXPECT_NE(std::string(temporary), made.back());
  // A character of several bytes is never split.
  const std::string accented = dir.file(std::string(1, 'x') + [&] {
    std::string text;
    while (text.size() + 2 <= most - 5)
      text += "\xc3\xa9";
    return text;
  }());
  ASSERT_EQ(zyrLeftovers_beside(accented.c_str(), ".zyr-pid1.tmp", 4, temporary, sizeof temporary), 1);
  const std::string cut = lastPart(temporary);
  const size_t mark = cut.find('~');
  ASSERT_NE(mark, std::string::npos) << cut;
  EXPECT_EQ((mark - 1) % 2, 0u) << cut;
  // Nothing fits a suffix longer than the directory takes.
  EXPECT_EQ(zyrLeftovers_beside(other.c_str(), std::string(most, 's').c_str(), 0, temporary, sizeof temporary), 0);
  EXPECT_EQ(temporary[0], '\0');
}

// The file a chain of relative links leads to, in another directory, is replaced, and a link that
// leads nowhere makes its file; the links stay, and no temporary is left anywhere.
TEST(PlacementTest, ThroughLinksTheFileTheyLeadToIsReplaced) {
  zyrtest::ScratchDir dir("zyrplace");
  ASSERT_EQ(mkdir(dir.file("far").c_str(), 0755), 0);
  zyrtest::writeFile(dir.file("far/x"), "old");
  ASSERT_EQ(symlink("far/x", dir.file("hop").c_str()), 0);
  ASSERT_EQ(symlink("hop", dir.file("name").c_str()), 0);
  ASSERT_EQ(symlink("far/new", dir.file("dangling").c_str()), 0);
  zyrPlacement place;
  ASSERT_EQ(zyrPlacement_begin(&place, dir.file("name").c_str(), 0), 1);
  EXPECT_EQ(place.m_target, dir.file("far/x"));
  EXPECT_EQ(place.m_temporary.m_name.rfind(dir.file("far/x.zyr-pid"), 0), 0u) << place.m_temporary.m_name;
  ASSERT_EQ(put(&place, "new"), 1);
  ASSERT_EQ(zyrPlacement_begin(&place, dir.file("dangling").c_str(), 0), 1);
  EXPECT_FALSE(place.m_exists);
  ASSERT_EQ(put(&place, "made"), 1);
  zyrPlacement_end(&place);
  EXPECT_EQ(zyrtest::readFile(dir.file("name")), "new");
  EXPECT_EQ(zyrtest::readFile(dir.file("far/new")), "made");
  for (const char *link : {"hop", "name", "dangling"}) {
    struct stat status;
    ASSERT_EQ(lstat(dir.file(link).c_str(), &status), 0);
    EXPECT_TRUE(S_ISLNK(status.st_mode)) << link;
  }
  EXPECT_EQ(dir.listing(), (std::vector<std::string>{"dangling", "far", "hop", "name"}));
}

// Only a regular file is replaced, keeping its permissions; what else stands under the name is
// refused before a byte is written, also when it comes there while the new file is written.
TEST(PlacementTest, OnlyARegularFileIsReplacedAndItKeepsItsMode) {
  zyrtest::ScratchDir dir("zyrplace");
  for (mode_t mode : {0600, 0444}) {
    zyrtest::writeFile(dir.file("kept"), "old");
    ASSERT_EQ(chmod(dir.file("kept").c_str(), mode), 0);
    zyrPlacement place;
    ASSERT_EQ(zyrPlacement_begin(&place, dir.file("kept").c_str(), 0), 1);
    ASSERT_EQ(put(&place, "new"), 1);
    struct stat status;
    ASSERT_EQ(stat(dir.file("kept").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, mode);
    EXPECT_EQ(zyrtest::readFile(dir.file("kept")), "new");
  }

  ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0600), 0);
  ASSERT_EQ(mkdir(dir.file("folder").c_str(), 0700), 0);
  zyrPlacement place;
  EXPECT_EQ(zyrPlacement_begin(&place, dir.file("fifo").c_str(), 0), 0);
  EXPECT_EQ(place.m_refusal, ZYR_PLACEMENT_NOT_REGULAR);
  EXPECT_EQ(zyrPlacement_reason(&place), "It is not a regular file");
  EXPECT_EQ(zyrPlacement_begin(&place, dir.file("folder").c_str(), 0), 0);
  EXPECT_EQ(place.m_refusal, EISDIR);
  const size_t most = zyrLeftovers_nameMax(dir.path().c_str());
  EXPECT_EQ(zyrPlacement_begin(&place, dir.file(std::string(most - 3, 'l')).c_str(), 4), 0);
  EXPECT_EQ(place.m_refusal, ENAMETOOLONG);

  ASSERT_EQ(zyrPlacement_begin(&place, dir.file("late").c_str(), 4), 1);
  zyrtest::writeFile(place.m_temporary.m_name, "new");
  zyrtest::writeFile(place.m_temporary.m_name + ".lck", "lock");
  ASSERT_EQ(mkfifo(dir.file("late").c_str(), 0600), 0);
  EXPECT_EQ(zyrPlacement_commit(&place), 0);
  EXPECT_EQ(place.m_refusal, ZYR_PLACEMENT_NOT_REGULAR);
  zyrPlacement_end(&place);
  struct stat status;
  ASSERT_EQ(lstat(dir.file("late").c_str(), &status), 0);
  EXPECT_TRUE(S_ISFIFO(status.st_mode));
  EXPECT_EQ(dir.listing(), (std::vector<std::string>{"fifo", "folder", "kept", "late"}));
}

// Whether some other open of the file could take its real lock now.
bool lockable(const std::string &path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  const bool free = fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0;
  if (fd >= 0)
    close(fd);
  return free;
}

// The file a placement may replace is held, and its temporary kept, until the placement ends or
// goes, whichever way its owner leaves.
TEST(PlacementTest, ThePlacementOwnsItsHoldAndItsTemporary) {
  zyrtest::ScratchDir dir("zyrplace");
  zyrtest::writeFile(dir.file("kept"), "old");
  {
    zyrPlacement place;
    ASSERT_EQ(zyrPlacement_begin(&place, dir.file("kept").c_str(), 0), 1);
    zyrtest::writeFile(place.m_temporary.m_name, "new");
    EXPECT_FALSE(lockable(dir.file("kept")));
    // A second placement of the same name meets the first one's hold.
    zyrPlacement second;
    EXPECT_EQ(zyrPlacement_begin(&second, dir.file("kept").c_str(), 0), 0);
    EXPECT_EQ(second.m_refusal, ZYR_PLACEMENT_IN_USE);
    EXPECT_EQ(zyrPlacement_reason(&second), "It is a database open in this session");
  }
  EXPECT_TRUE(lockable(dir.file("kept")));
  EXPECT_EQ(dir.listing(), (std::vector<std::string>{"kept"}));
  EXPECT_EQ(zyrtest::readFile(dir.file("kept")), "old");
}

// The name is looked at again when the new file is put in place: a file that took the name
// meanwhile, or a file there that came into use, stays as it is.
TEST(PlacementTest, WhatTookTheNameMeanwhileStays) {
  zyrtest::ScratchDir dir("zyrplace");
  zyrtest::writeFile(dir.file("old"), "old");
  for (const char *name : {"made", "old"}) {
    zyrPlacement place;
    ASSERT_EQ(zyrPlacement_begin(&place, dir.file(name).c_str(), 0), 1) << name;
    zyrtest::writeFile(place.m_temporary.m_name, "new");
    // Made where there was none, or renamed over the file that was there.
    zyrtest::writeFile(dir.file("other"), "theirs");
    ASSERT_EQ(rename(dir.file("other").c_str(), dir.file(name).c_str()), 0);
    EXPECT_EQ(zyrPlacement_commit(&place), 0) << name;
    EXPECT_EQ(place.m_refusal, ZYR_PLACEMENT_REPLACED);
    EXPECT_EQ(zyrPlacement_reason(&place), "Another file has taken its name while the new one was written");
    EXPECT_EQ(zyrPlacement_isKept(&place), 1);
  }
  // Made and held meanwhile: in use.
  zyrPlacement place;
  ASSERT_EQ(zyrPlacement_begin(&place, dir.file("held").c_str(), 0), 1);
  zyrtest::writeFile(place.m_temporary.m_name, "new");
  zyrtest::writeFile(dir.file("held"), "theirs");
  const int holder = open(dir.file("held").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(flock(holder, LOCK_SH), 0);
  EXPECT_EQ(zyrPlacement_commit(&place), 0);
  EXPECT_EQ(place.m_refusal, ZYR_PLACEMENT_IN_USE);
  close(holder);
  zyrPlacement_end(&place);
  EXPECT_EQ(dir.listing(), (std::vector<std::string>{"held", "made", "old"}));
  for (const char *name : {"held", "made", "old"})
    EXPECT_EQ(zyrtest::readFile(dir.file(name)), "theirs") << name;
}

} // namespace

namespace {

// The temporary is made by the placement and held from that moment to its rename: nobody takes
// it for free, replaces it or removes it as a leftover meanwhile.
TEST(PlacementTest, TheTemporaryIsHeldFromItsMakingToItsRename) {
  zyrtest::ScratchDir dir("zyrplace");
  zyrPlacement place;
  ASSERT_EQ(zyrPlacement_begin(&place, dir.file("out").c_str(), 4), 1);
  const std::string temporary = place.m_temporary.m_name;
  ASSERT_TRUE(zyrtest::fileExists(temporary));
  EXPECT_FALSE(lockable(temporary));
  zyrFileUse use;
  EXPECT_EQ(zyrFileUse_check(temporary.c_str(), &use, nullptr), 1);
  EXPECT_EQ(use.m_kind, ZYR_USE_HELD);
  zyrPlacement onto;
  EXPECT_EQ(zyrPlacement_begin(&onto, temporary.c_str(), 0), 0);
  EXPECT_EQ(onto.m_refusal, ZYR_PLACEMENT_IN_USE);
  EXPECT_EQ(zyrLeftovers_removeUnheld(temporary.c_str()), 0);
  // Written through a descriptor of the writer's own.
  const int fd = zyrPlacement_openTemporary(&place);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, "new", 3), 3);
  close(fd);
  EXPECT_FALSE(lockable(temporary));
  ASSERT_EQ(zyrPlacement_commit(&place), 1);
  EXPECT_EQ(zyrtest::readFile(dir.file("out")), "new");
  EXPECT_TRUE(lockable(dir.file("out")));
  EXPECT_EQ(dir.listing(), std::vector<std::string>{"out"});
}

// A temporary of this process's name that another process holds (one of the same id in another pid
// namespace) is left as it is, and the placement takes another name; one that nobody holds was
// left by an ended process, and goes.
TEST(PlacementTest, ATemporaryNameThatIsHeldIsLeftAndAnotherTaken) {
  zyrtest::ScratchDir dir("zyrplace");
  const std::string target = dir.file("out");
  char plain[PATH_MAX];
  ASSERT_EQ(zyrLeftovers_name(target.c_str(), ".tmp", 0, plain, sizeof plain), 1);
  zyrtest::writeFile(plain, "ended");
  zyrtest::writeFile(std::string(plain) + ".lck", "ended");
  {
    zyrPlacement place;
    ASSERT_EQ(zyrPlacement_begin(&place, target.c_str(), 0), 1);
    EXPECT_EQ(place.m_temporary.m_name, plain);
    EXPECT_EQ(zyrtest::readFile(plain), "");
    EXPECT_FALSE(zyrtest::fileExists(std::string(plain) + ".lck"));
  }
  zyrtest::writeFile(plain, "theirs");
  // Another process holds the file.
  zyrtest::LockHolder holder(plain, LOCK_EX);
  ASSERT_TRUE(holder.holds());
  zyrPlacement place;
  ASSERT_EQ(zyrPlacement_begin(&place, target.c_str(), 0), 1);
  EXPECT_NE(place.m_temporary.m_name, plain);
  EXPECT_EQ(zyrLeftovers_owner(place.m_temporary.m_name.c_str()), static_cast<long>(getpid()));
  zyrtest::writeFile(place.m_temporary.m_name, "mine");
  ASSERT_EQ(zyrPlacement_commit(&place), 1);
  EXPECT_EQ(zyrtest::readFile(plain), "theirs");
  EXPECT_EQ(zyrtest::readFile(target), "mine");
  // What is no regular file, under the name or under its lock file's name, is not taken for a
  // leftover: it stays, and another name is taken.
  const std::string piped = dir.file("piped");
  char name[PATH_MAX];
  ASSERT_EQ(zyrLeftovers_name(piped.c_str(), ".tmp", 0, name, sizeof name), 1);
  for (const std::string &fifo : {std::string(name), std::string(name) + ".lck"}) {
    SCOPED_TRACE(fifo);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    {
      zyrPlacement other;
      ASSERT_EQ(zyrPlacement_begin(&other, piped.c_str(), 4), 1);
      EXPECT_NE(other.m_temporary.m_name, name);
    }
    struct stat status;
    ASSERT_EQ(lstat(fifo.c_str(), &status), 0);
    EXPECT_TRUE(S_ISFIFO(status.st_mode));
    ASSERT_EQ(unlink(fifo.c_str()), 0);
  }
}

// The commit reaches the temporary through its hold: another file renamed onto the temporary's name
// is neither opened nor put in place, and stays where it was put. A temporary that has gone, or
// whose directory has been renamed, is told as what it is, and goes from where it is.
TEST(PlacementTest, TheCommitPutsInPlaceOnlyTheTemporaryItHolds) {
  zyrtest::ScratchDir dir("zyrplace");
  zyrtest::writeFile(dir.file("old"), "old");
  for (const char *name : {"old", "made"}) {
    SCOPED_TRACE(name);
    zyrPlacement place;
    ASSERT_EQ(zyrPlacement_begin(&place, dir.file(name).c_str(), 0), 1);
    const std::string temporary = place.m_temporary.m_name;
    zyrtest::writeFile(temporary, "new");
    zyrtest::writeFile(dir.file("other"), "theirs");
    zyrtest::OpenWatch watch(dir.file("other"));
    ASSERT_EQ(rename(dir.file("other").c_str(), temporary.c_str()), 0);
    EXPECT_EQ(zyrPlacement_commit(&place), 0);
    EXPECT_EQ(zyrPlacement_reason(&place), "Another file has been put under the name of the new one meanwhile");
    EXPECT_EQ(watch.opens(), 0);
    zyrPlacement_end(&place);
    EXPECT_EQ(zyrtest::readFile(temporary), "theirs");
    ASSERT_EQ(unlink(temporary.c_str()), 0);
  }
  zyrPlacement place;
  ASSERT_EQ(zyrPlacement_begin(&place, dir.file("old").c_str(), 0), 1);
  ASSERT_EQ(unlink(place.m_temporary.m_name.c_str()), 0);
  EXPECT_EQ(zyrPlacement_commit(&place), 0);
  EXPECT_EQ(zyrPlacement_reason(&place), "The new file is no longer under its temporary name");
  zyrPlacement_end(&place);
  EXPECT_EQ(dir.listing(), std::vector<std::string>{"old"});
  EXPECT_EQ(zyrtest::readFile(dir.file("old")), "old");
  // The directory renamed, and another made under its name.
  const std::string made = dir.file("B"), moved = dir.file("B2");
  ASSERT_EQ(mkdir(made.c_str(), 0700), 0);
  ASSERT_EQ(zyrPlacement_begin(&place, (made + "/made").c_str(), 4), 1);
  zyrtest::writeFile(place.m_temporary.m_name, "new");
  ASSERT_EQ(rename(made.c_str(), moved.c_str()), 0);
  ASSERT_EQ(mkdir(made.c_str(), 0700), 0);
  EXPECT_EQ(zyrPlacement_commit(&place), 0);
  EXPECT_EQ(zyrPlacement_reason(&place), "Its directory has been renamed meanwhile");
  EXPECT_EQ(zyrPlacement_isKept(&place), 0);
  zyrPlacement_end(&place);
  EXPECT_EQ(zyrtest::listing(made), std::vector<std::string>{});
  EXPECT_EQ(zyrtest::listing(moved), std::vector<std::string>{});
}

// The rename replaces only the file it expects: a file that came where none was, or that took the
// old one's place, stays, and so does what was to be put in place.
TEST(PlacementTest, TheRenameReplacesOnlyTheFileItExpects) {
  zyrtest::ScratchDir dir("zyrplace");
  const std::string from = dir.file("new"), to = dir.file("name");
  zyrtest::writeFile(from, "new");
  zyrtest::writeFile(to, "came");
  EXPECT_EQ(zyrPlacement_renameOver(from.c_str(), to.c_str(), nullptr), ZYR_PLACEMENT_REPLACED);
  struct stat old;
  ASSERT_EQ(stat(to.c_str(), &old), 0);
  zyrtest::writeFile(dir.file("other"), "other");
  ASSERT_EQ(rename(dir.file("other").c_str(), to.c_str()), 0);
  EXPECT_EQ(zyrPlacement_renameOver(from.c_str(), to.c_str(), &old), ZYR_PLACEMENT_REPLACED);
  EXPECT_EQ(zyrtest::readFile(to), "other");
  EXPECT_EQ(zyrtest::readFile(from), "new");
  ASSERT_EQ(stat(to.c_str(), &old), 0);
  EXPECT_EQ(zyrPlacement_renameOver(from.c_str(), to.c_str(), &old), 0);
  EXPECT_EQ(zyrtest::readFile(to), "new");
  EXPECT_EQ(zyrPlacement_renameOver(to.c_str(), dir.file("fresh").c_str(), nullptr), 0);
  EXPECT_EQ(dir.listing(), std::vector<std::string>{"fresh"});
}

// A file that took the name just before the exchange comes out under the new file's name: it is
// put back under the name, and the new file goes back to its own, also when the look at the name
// after the exchange cannot tell (it fails, or finds nothing there).
TEST(PlacementTest, AFileThatTookTheNameIsPutBackWhenTheLookAtTheNameCannotTell) {
  zyrtest::ScratchDir dir("zyrplace");
  const std::string from = dir.file("new"), to = dir.file("name");
  for (const char *plan : {"look@2", "look@2:ENOENT"}) {
    SCOPED_TRACE(plan);
    zyrtest::writeFile(from, "new");
    zyrtest::writeFile(to, "old");
    struct stat old, fresh;
    ASSERT_EQ(stat(to.c_str(), &old), 0);
    ASSERT_EQ(stat(from.c_str(), &fresh), 0);
    zyrtest::writeFile(dir.file("other"), "other");
    ASSERT_EQ(rename(dir.file("other").c_str(), to.c_str()), 0);
    // The looks: at the new file, then at the name after the exchange, then at the new file's name.
    ASSERT_EQ(zyrFault_arm(plan, dir.path().c_str()), 1);
    EXPECT_EQ(zyrPlacement_renameOver(from.c_str(), to.c_str(), &old, &fresh), ZYR_PLACEMENT_REPLACED);
    EXPECT_EQ(zyrFault_failures(), 1);
    zyrFault_disarm();
    EXPECT_EQ(zyrtest::readFile(to), "other");
    EXPECT_EQ(zyrtest::readFile(from), "new");
    EXPECT_EQ(dir.listing(), (std::vector<std::string>{"name", "new"}));
    unlink(from.c_str());
    unlink(to.c_str());
  }
}

// A look that fails is told as what it is, never as another file under a name. Before the rename
// it moves nothing; after it, it undoes nothing in words: the rename the system made is answered
// as made, and the old file is gone.
TEST(PlacementTest, ALookThatFailsIsToldAsSuch) {
  zyrtest::ScratchDir dir("zyrplace");
  const std::string from = dir.file("new"), to = dir.file("name");
  for (const bool replacing : {true, false}) {
    // Each look of the rename (at the new file, then after the rename at each name) fails once.
    for (int n = 1;; ++n) {
      SCOPED_TRACE((replacing ? "over the old file, look@" : "to a free name, look@") + std::to_string(n));
      unlink(to.c_str());
      zyrtest::writeFile(from, "new");
      if (replacing)
        zyrtest::writeFile(to, "old");
      struct stat old, fresh;
      ASSERT_EQ(stat(from.c_str(), &fresh), 0);
      if (replacing)
        ASSERT_EQ(stat(to.c_str(), &old), 0);
      ASSERT_EQ(zyrFault_arm(("look@" + std::to_string(n)).c_str(), dir.path().c_str()), 1);
      errno = 0;
      const int renamed = zyrPlacement_renameOver(from.c_str(), to.c_str(), replacing ? &old : nullptr, &fresh);
      const int reason = errno;
      const long failures = zyrFault_failures();
      zyrFault_disarm();
      if (failures == 0) {
        EXPECT_EQ(renamed, 0);
        ASSERT_GT(n, 1);
        break;
      }
      if (n == 1) {
        EXPECT_EQ(renamed, ZYR_PLACEMENT_UNSEEN);
        EXPECT_EQ(reason, EIO);
        EXPECT_EQ(zyrtest::readFile(to), replacing ? "old" : "");
        EXPECT_EQ(zyrtest::readFile(from), "new");
      } else {
        EXPECT_EQ(renamed, 0);
        EXPECT_EQ(zyrtest::readFile(to), "new");
        EXPECT_EQ(dir.listing(), std::vector<std::string>{"name"});
      }
      unlink(from.c_str());
    }
  }
  zyrtest::writeFile(to, "new");
  // The commit's looks at its hold, and at what it wrote.
  for (const char *plan : {"look@1", "look@2"}) {
    SCOPED_TRACE(plan);
    zyrPlacement place;
    ASSERT_EQ(zyrPlacement_begin(&place, to.c_str(), 0), 1);
    zyrtest::writeFile(place.m_temporary.m_name, "newer");
    ASSERT_EQ(zyrFault_arm(plan, dir.path().c_str()), 1);
    EXPECT_EQ(zyrPlacement_commit(&place), 0);
    zyrFault_disarm();
    EXPECT_EQ(zyrPlacement_reason(&place), "It could not be looked at: Input/output error");
    zyrPlacement_end(&place);
  }
  EXPECT_EQ(zyrtest::readFile(to), "new");
  EXPECT_EQ(dir.listing(), std::vector<std::string>{"name"});
}

} // namespace
