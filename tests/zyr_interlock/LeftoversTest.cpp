// Leftovers carry their maker's process id; only those of ended processes that nobody holds go.
#include "zyrLeftovers.h"
#include "zyrPlacement.h"
#include "zyrTestChild.h"
#include "zyrTestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <csignal>
#include <memory>
#include <string>
#include <vector>

namespace {

TEST(LeftoversTest, NamesCarryTheProcess) {
  char stem[64];
  ASSERT_EQ(zyrLeftovers_stem("dir/compact", stem, sizeof stem), 1);
  EXPECT_EQ(std::string(stem), "dir/compact.pid" + std::to_string(static_cast<long>(getpid())));
  EXPECT_EQ(zyrLeftovers_owner((std::string(stem) + ".Ab+=Cd.tmp").c_str()), static_cast<long>(getpid()));
  EXPECT_EQ(zyrLeftovers_owner("a.zyr.lck.pid42.tmp"), 42);
  EXPECT_EQ(zyrLeftovers_owner("/x/compact.pid7.U.tmp.lck"), 7);
  EXPECT_EQ(zyrLeftovers_owner("update.pid8.U.tmp.zyr"), 8);
  EXPECT_EQ(zyrLeftovers_owner("update.pid8.U.tmp.zyr.lck"), 8);
  for (const char *none : {"compact.tmp", "compact.pid.U.tmp", "compact.pidx7.U.tmp", "report.2024.final.tmp",
                           "pid7.tmp", "a.pid7.U.V.tmp", "a.pid7.U.txt", "a.pid0.tmp", "a.pid7.zyr",
                           "a.pid7.tmp.wez"})
    EXPECT_EQ(zyrLeftovers_owner(none), 0) << none;
  char small[8];
  EXPECT_EQ(zyrLeftovers_stem("long stem", small, sizeof small), 0);
  EXPECT_EQ(small[0], '\0');
}

TEST(LeftoversTest, LivenessAndHolds) {
  EXPECT_EQ(zyrLeftovers_isAlive(static_cast<long>(getpid())), 1);
  EXPECT_EQ(zyrLeftovers_isAlive(1), 1); // another user's process counts
  EXPECT_EQ(zyrLeftovers_isAlive(static_cast<long>(zyrtest::endedProcess())), 0);
  EXPECT_EQ(zyrLeftovers_isAlive(0), 0);
  zyrtest::ScratchDir dir("zyrleft");
  const std::string file = dir.file("f");
  zyrtest::writeFile(file, "x");
  EXPECT_EQ(zyrLeftovers_isHeld(file.c_str()), 0);
  const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(flock(fd, LOCK_SH), 0);
  EXPECT_EQ(zyrLeftovers_isHeld(file.c_str()), 1);
  close(fd);
  EXPECT_EQ(zyrLeftovers_isHeld(dir.file("missing").c_str()), 0);
}

void noteRemoval(const char *path, long pid, void *context) {
  static_cast<std::vector<std::string> *>(context)->push_back(std::string(path) + " " + std::to_string(pid));
}

TEST(LeftoversTest, RemovalTakesOnlyWhatEndedProcessesLeft) {
  zyrtest::ScratchDir dir("zyrleft");
  const std::string ended = std::to_string(static_cast<long>(zyrtest::endedProcess()));
  const std::string self = std::to_string(static_cast<long>(getpid()));
  for (const std::string &name : std::vector<std::string>{"compact.pid" + ended + ".A.tmp", "compact.pid" + ended + ".A.tmp.lck",
                                  "other.pid" + ended + ".tmp", "compact.pid" + self + ".B.tmp",
                                  "compact.pid" + ended + ".H.tmp", "compact.pid" + ended + ".H.tmp.lck", "plain.tmp"})
    zyrtest::writeFile(dir.file(name), "x");
  const int held = open(dir.file("compact.pid" + ended + ".H.tmp").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(flock(held, LOCK_EX), 0);
  std::vector<std::string> removed;
  EXPECT_EQ(zyrLeftovers_remove(dir.path().c_str(), "compact", noteRemoval, &removed), 2);
  std::sort(removed.begin(), removed.end());
  EXPECT_EQ(removed, (std::vector<std::string>{dir.file("compact.pid" + ended + ".A.tmp") + " " + ended,
                                               dir.file("compact.pid" + ended + ".A.tmp.lck") + " " + ended}));
  std::vector<std::string> kept = {"compact.pid" + ended + ".H.tmp", "compact.pid" + ended + ".H.tmp.lck",
                                   "compact.pid" + self + ".B.tmp", "other.pid" + ended + ".tmp", "plain.tmp"};
  std::sort(kept.begin(), kept.end());
  EXPECT_EQ(dir.listing(), kept);
  close(held);
  // Without a prefix every leftover kind goes; a missing directory removes nothing.
  EXPECT_EQ(zyrLeftovers_remove(dir.path().c_str(), nullptr, nullptr, nullptr), 3);
  EXPECT_EQ(zyrLeftovers_remove(dir.file("missing").c_str(), nullptr, nullptr, nullptr), 0);
}

// A temporary that zyrLeftovers_make makes is held for as long as its maker has it: once nobody
// holds it, it goes whatever process runs under the id in its name (its maker may have been that
// id in a pid namespace of its own), and the id is told. Held ones stay: this process's own, as
// it makes them, and one that a live child holds. Names of files that their maker leaves unheld
// for moments stay while a process of their id runs.
TEST(LeftoversTest, AMadeTemporaryIsJudgedByItsLockWhateverTheIdInItsName) {
  zyrtest::ScratchDir dir("zyrleft");
  const std::string parent = std::to_string(static_cast<long>(getppid()));
  const std::string self = std::to_string(static_cast<long>(getpid()));
  ASSERT_EQ(zyrLeftovers_isAlive(static_cast<long>(getppid())), 1);
  std::vector<std::string> unheld = {"a.wez.pid" + parent + ".tmp", "a.wez.pid" + parent + ".tmp.lck",
                                     "b.wez.pid1.0123456789abcdef.tmp", "b.wez.pid1.0123456789abcdef.tmp.lck",
                                     "c.pid" + self + ".tmp"};
  const std::vector<std::string> spared = {"compact.pid" + self + ".Ab+=Cd.tmp", "zyr.pid1.0.tmp",
                                           "update.pid1.0123456789abcdef.tmp.zyr"};
  for (const std::vector<std::string> &names : {unheld, spared})
    for (const std::string &name : names)
      zyrtest::writeFile(dir.file(name), "x");
  // This process's own, held since their making.
  char own[4096];
  int ownFd = -1;
  ASSERT_EQ(zyrLeftovers_make(dir.file("d.wez").c_str(), ".tmp", 4, own, sizeof own, &ownFd), 1);
  zyrtest::writeFile(std::string(own) + ".lck", "x");
  auto place = std::make_unique<zyrPlacement>();
  ASSERT_EQ(zyrPlacement_begin(place.get(), dir.file("e.wez").c_str(), 4), 1);
  // One a live child holds.
  const std::string theirs = dir.file("f.wez.pid" + parent + ".tmp");
  zyrtest::writeFile(theirs, "x");
  auto holder = std::make_unique<zyrtest::LockHolder>(theirs, LOCK_SH);
  ASSERT_TRUE(holder->holds());

  std::vector<std::string> removed;
  EXPECT_EQ(zyrLeftovers_remove(dir.path().c_str(), nullptr, noteRemoval, &removed), 5);
  std::sort(removed.begin(), removed.end());
  std::vector<std::string> told;
  for (const std::string &name : unheld)
    told.push_back(dir.file(name) + " " + std::to_string(zyrLeftovers_owner(name.c_str())));
  std::sort(told.begin(), told.end());
  EXPECT_EQ(removed, told);
  std::vector<std::string> kept = spared;
  for (const std::string &name : {std::string(own), std::string(own) + ".lck", place->m_temporary, theirs})
    kept.push_back(name.substr(name.rfind('/') + 1));
  std::sort(kept.begin(), kept.end());
  EXPECT_EQ(dir.listing(), kept);

  holder.reset();
  close(ownFd);
  place.reset();
  // Let go of, they go too.
  EXPECT_EQ(zyrLeftovers_remove(dir.path().c_str(), nullptr, nullptr, nullptr), 3);
  std::vector<std::string> left = spared;
  std::sort(left.begin(), left.end());
  EXPECT_EQ(dir.listing(), left);
}

} // namespace
