// Leftovers carry the library's mark and their maker's process id; only regular files of this user
// that carry the mark (or the older shape of a process that no longer runs) and that nobody holds go.
#include "zyrHeldTemporary.h"
#include "zyrLeftovers.h"
#include "zyrPlacement.h"
#include "zyrTestChild.h"
#include "zyrTestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <csignal>
#include <memory>
#include <string>
#include <vector>

namespace {

TEST(LeftoversTest, NamesCarryTheMarkAndTheProcess) {
  const std::string self = std::to_string(static_cast<long>(getpid()));
  char stem[64];
  ASSERT_EQ(zyrLeftovers_stem("dir/compact", stem, sizeof stem), 1);
  EXPECT_EQ(std::string(stem), "dir/compact.zyr-pid" + self);
  char name[256];
  ASSERT_EQ(zyrLeftovers_name("dir/a.wez", ".tmp", 4, name, sizeof name), 1);
  EXPECT_EQ(std::string(name), "dir/a.wez.zyr-pid" + self + ".tmp");
  EXPECT_EQ(zyrLeftovers_owner((std::string(stem) + ".Ab+=Cd.tmp").c_str()), static_cast<long>(getpid()));
  // Marked, and of the older shape.
  for (const std::string &prefix : {".zyr-pid", ".pid"}) {
    EXPECT_EQ(zyrLeftovers_owner(("a.zyr.lck" + prefix + "42.tmp").c_str()), 42) << prefix;
    EXPECT_EQ(zyrLeftovers_owner(("/x/compact" + prefix + "7.U.tmp.lck").c_str()), 7) << prefix;
    EXPECT_EQ(zyrLeftovers_owner(("update" + prefix + "8.U.tmp.zyr").c_str()), 8) << prefix;
    EXPECT_EQ(zyrLeftovers_owner(("update" + prefix + "8.U.tmp.zyr.lck").c_str()), 8) << prefix;
  }
  for (const char *none : {"compact.tmp", "compact.pid.U.tmp", "compact.pidx7.U.tmp", "report.2024.final.tmp",
                           "pid7.tmp", "a.pid7.U.V.tmp", "a.pid7.U.txt", "a.pid0.tmp", "a.pid7.zyr",
                           "a.pid7.tmp.wez", "a.zyr-pid.tmp", "a.zyrpid7.tmp", "a.zyr-pidx7.tmp", "zyr-pid7.tmp",
                           "a.zyr-pid7.U.V.tmp", "a.zyr-pid0.tmp", "a.zyr-pid7.zyr"})
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

std::vector<std::string> sorted(std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  return names;
}

// What ended processes left goes, marked or of the older shape, and so does a marked one that nobody
// holds whatever process runs under its id; a held one stays, and so does a name of the older
// shape while a process of its id runs.
TEST(LeftoversTest, RemovalTakesOnlyWhatEndedProcessesLeft) {
  zyrtest::ScratchDir dir("zyrleft");
  const std::string ended = std::to_string(static_cast<long>(zyrtest::endedProcess()));
  const std::string self = std::to_string(static_cast<long>(getpid()));
  const std::string a = "compact.zyr-pid" + ended + ".A.tmp", h = "compact.zyr-pid" + ended + ".H.tmp";
  const std::string older = "compact.pid" + ended + ".C.tmp", other = "other.zyr-pid" + ended + ".tmp";
  const std::string unheld = "compact.zyr-pid" + self + ".B.tmp";
  const std::vector<std::string> staying = {"compact.pid" + self + ".0123456789abcdef.tmp", "plain.tmp"};
  for (const std::vector<std::string> &names :
       {std::vector<std::string>{a, a + ".lck", older, other, h, h + ".lck", unheld}, staying})
    for (const std::string &name : names)
      zyrtest::writeFile(dir.file(name), "x");
  const int held = open(dir.file(h).c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(flock(held, LOCK_EX), 0);
  std::vector<std::string> removed;
  EXPECT_EQ(zyrLeftovers_remove(dir.path().c_str(), "compact", noteRemoval, &removed), 4);
  EXPECT_EQ(sorted(removed), sorted({dir.file(a) + " " + ended, dir.file(a + ".lck") + " " + ended,
                                     dir.file(older) + " " + ended, dir.file(unheld) + " " + self}));
  std::vector<std::string> kept = staying;
  kept.insert(kept.end(), {h, h + ".lck", other});
  EXPECT_EQ(dir.listing(), sorted(kept));
  close(held);
  // Without a prefix every leftover kind goes; a missing directory removes nothing.
  EXPECT_EQ(zyrLeftovers_remove(dir.path().c_str(), nullptr, nullptr, nullptr), 3);
  EXPECT_EQ(dir.listing(), sorted(staying));
  EXPECT_EQ(zyrLeftovers_remove(dir.file("missing").c_str(), nullptr, nullptr, nullptr), 0);
}

// Every marked temporary is held for as long as its maker has it: once nobody holds it, it goes
// whatever process runs under the id in its name (its maker may have been that id in a pid
// namespace of its own), and the id is told. Held ones stay: this process's own, as it makes them
// (a made name, a placement's, a copy held as the store holds its copies), and one that a live
// child holds. Names of the older shape, which another program may use without a lock, stay while
// a process of their id runs.
TEST(LeftoversTest, AMarkedTemporaryIsJudgedByItsLockWhateverTheIdInItsName) {
  zyrtest::ScratchDir dir("zyrleft");
  const std::string parent = std::to_string(static_cast<long>(getppid()));
  const std::string self = std::to_string(static_cast<long>(getpid()));
  ASSERT_EQ(zyrLeftovers_isAlive(static_cast<long>(getppid())), 1);
  std::vector<std::string> unheld = {"a.wez.zyr-pid" + parent + ".tmp", "a.wez.zyr-pid" + parent + ".tmp.lck",
                                     "b.wez.zyr-pid1.0123456789abcdef.tmp",
                                     "b.wez.zyr-pid1.0123456789abcdef.tmp.lck", "c.zyr-pid" + self + ".tmp",
                                     "compact.zyr-pid" + self + ".Ab+=Cd.tmp", "zyr.zyr-pid1.0.tmp",
                                     "update.zyr-pid1.0123456789abcdef.tmp.zyr"};
  const std::vector<std::string> spared = {"report.pid" + parent + ".tmp", "data.pid1.0123456789abcdef.tmp",
                                           "data.pid1.0123456789abcdef.tmp.lck"};
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
  auto copy = std::make_unique<zyrHeldTemporary>();
  ASSERT_EQ(zyrHeldTemporary_make(copy.get(), dir.file("update").c_str(), ".tmp.zyr", 4), 1);
  EXPECT_EQ(copy->m_name, dir.file("update.zyr-pid" + self + ".tmp.zyr"));
  zyrtest::writeFile(copy->m_name + ".lck", "x");
  // One a live child holds.
  const std::string theirs = dir.file("f.wez.zyr-pid" + parent + ".tmp");
  zyrtest::writeFile(theirs, "x");
  auto holder = std::make_unique<zyrtest::LockHolder>(theirs, LOCK_SH);
  ASSERT_TRUE(holder->holds());

  std::vector<std::string> removed;
  EXPECT_EQ(zyrLeftovers_remove(dir.path().c_str(), nullptr, noteRemoval, &removed), 8);
  std::vector<std::string> told;
  for (const std::string &name : unheld)
    told.push_back(dir.file(name) + " " + std::to_string(zyrLeftovers_owner(name.c_str())));
  EXPECT_EQ(sorted(removed), sorted(told));
  std::vector<std::string> kept = spared;
  for (const std::string &name : {std::string(own), std::string(own) + ".lck", place->m_temporary.m_name, copy->m_name,
                                  copy->m_name + ".lck", theirs})
    kept.push_back(name.substr(name.rfind('/') + 1));
  EXPECT_EQ(dir.listing(), sorted(kept));

  holder.reset();
  close(ownFd);
  place.reset();
  zyrHeldTemporary_release(copy.get());
  // Let go of, they go too.
  EXPECT_EQ(zyrLeftovers_remove(dir.path().c_str(), nullptr, nullptr, nullptr), 5);
  EXPECT_EQ(dir.listing(), sorted(spared));
}

// Only a regular file can be a temporary this library made: a pipe, a symbolic link or a directory
// under a leftover's name stays, whether the name carries the mark or is of the older shape, and
// nothing opens a pipe to try its lock. The lock file of one stays too.
TEST(LeftoversTest, WhatIsNoRegularFileStaysWhateverItsName) {
  zyrtest::ScratchDir dir("zyrleft");
  const std::string ended = std::to_string(static_cast<long>(zyrtest::endedProcess()));
  const std::vector<std::string> pipes = {"fifo.pid1.tmp", "fifo.pid" + ended + ".tmp",
                                          "fifo.zyr-pid" + ended + ".tmp"};
  for (const std::string &name : pipes)
    ASSERT_EQ(mkfifo(dir.file(name).c_str(), 0600), 0) << name;
  zyrtest::writeFile(dir.file("fifo.zyr-pid" + ended + ".tmp.lck"), "x");
  zyrtest::writeFile(dir.file("target"), "x");
  const std::string link = "link.zyr-pid" + ended + ".tmp", dangling = "gone.zyr-pid" + ended + ".tmp.lck";
  ASSERT_EQ(symlink("target", dir.file(link).c_str()), 0);
  ASSERT_EQ(symlink("nowhere", dir.file(dangling).c_str()), 0);
  const std::string directory = "dir.zyr-pid" + ended + ".tmp";
  ASSERT_EQ(mkdir(dir.file(directory).c_str(), 0700), 0);
  // A regular file of this user beside them goes.
  zyrtest::writeFile(dir.file("file.zyr-pid" + ended + ".tmp"), "x");
  const std::vector<std::string> before = dir.listing();

  EXPECT_EQ(zyrLeftovers_remove(dir.path().c_str(), nullptr, nullptr, nullptr), 1);
  std::vector<std::string> after = before;
  after.erase(std::find(after.begin(), after.end(), "file.zyr-pid" + ended + ".tmp"));
  EXPECT_EQ(dir.listing(), after);
  for (const std::string &name : {pipes[2], link, dangling})
    EXPECT_EQ(zyrLeftovers_removeUnheld(dir.file(name).c_str()), 0) << name;
  EXPECT_EQ(dir.listing(), after);
}

// Another user's files stay, whatever their names: those of a live process that takes no lock,
// under its own id, marked or of the older shape, and those under the id of a process that has
// ended. This user's own file of the same names' kind goes.
TEST(LeftoversTest, AnotherUsersFilesStayWhateverTheirNames) {
  if (geteuid() != 0)
    GTEST_SKIP() << "needs a second user, which only a privileged process can become";
  zyrtest::ScratchDir dir("zyrleft");
  ASSERT_EQ(chmod(dir.path().c_str(), 0777), 0);
  if (!zyrtest::othersCanReach(dir.path()))
    GTEST_SKIP() << "another user cannot reach " << dir.path() << ": a directory on its way lets only its owner in";
  const std::string ended = std::to_string(static_cast<long>(zyrtest::endedProcess()));
  zyrtest::OtherUserFiles theirs(dir.path(), [&](long pid) {
    const std::string id = std::to_string(pid);
    return std::vector<std::string>{"report.pid" + id + ".tmp",
                                    "data.pid" + id + ".0123456789abcdef.tmp",
                                    "report.zyr-pid" + id + ".tmp",
                                    "data.zyr-pid" + id + ".0123456789abcdef.tmp",
                                    "data.zyr-pid" + id + ".0123456789abcdef.tmp.lck",
                                    "old.pid" + ended + ".tmp",
                                    "old.zyr-pid" + ended + ".tmp",
                                    "old.zyr-pid" + ended + ".tmp.lck"};
  });
  ASSERT_TRUE(theirs.holds());
  zyrtest::writeFile(dir.file("mine.zyr-pid" + ended + ".tmp"), "x");
  std::vector<std::string> removed;
  EXPECT_EQ(zyrLeftovers_remove(dir.path().c_str(), nullptr, noteRemoval, &removed), 1);
  EXPECT_EQ(removed, std::vector<std::string>{dir.file("mine.zyr-pid" + ended + ".tmp") + " " + ended});
  EXPECT_EQ(dir.listing(), sorted(theirs.names()));
  for (const std::string &name : theirs.names())
    EXPECT_EQ(zyrLeftovers_removeUnheld(dir.file(name).c_str()), 0) << name;
  EXPECT_EQ(dir.listing(), sorted(theirs.names()));
}

// The id in a name is that of the maker's pid namespace: a writer killed as process 1 of a
// namespace of its own leaves names of id 1, which runs here. While it lives, what it holds stays
// (a placement's temporary with the lock file its data-set writer made, a copy held as the store
// holds its copies) and what it left unheld goes; once it has been killed, the rest goes too.
TEST(LeftoversTest, AKilledWritersTemporariesGoAlsoFromAPidNamespaceOfItsOwn) {
  zyrtest::ScratchDir dir("zyrleft");
  // The starter tells the writer's id as this process sees it (0: no namespace could be made); the
  // writer tells its own id once it has made its files.
  int started[2], made[2];
  ASSERT_EQ(pipe(started), 0);
  ASSERT_EQ(pipe(made), 0);
  fflush(nullptr);
  const pid_t starter = fork();
  ASSERT_GE(starter, 0);
  if (starter == 0) {
    pid_t writer = 0;
    if (zyrtest::enterPidNamespace())
      writer = fork();
    if (writer == 0 && getpid() == 1) {
      zyrPlacement place;
      zyrHeldTemporary copy;
      char stem[PATH_MAX];
      pid_t self = -1;
      if (zyrPlacement_begin(&place, dir.file("w.wez").c_str(), 4) == 1 &&
          zyrHeldTemporary_make(&copy, dir.file("update").c_str(), ".tmp.zyr", 4) == 1 &&
          zyrLeftovers_stem(dir.file("compact").c_str(), stem, sizeof stem) == 1) {
        zyrtest::writeFile(place.m_temporary.m_name + ".lck", "x");
        zyrtest::writeFile(std::string(stem) + ".Ab+=Cd.tmp", "x");
        self = getpid();
      }
      if (write(made[1], &self, sizeof self) != sizeof self)
        zyrtest::leaveChild(1);
      pause();
      zyrtest::leaveChild(0);
    }
    if (write(started[1], &writer, sizeof writer) != sizeof writer)
      zyrtest::leaveChild(1);
    if (writer > 0)
      waitpid(writer, nullptr, 0);
    zyrtest::leaveChild(0);
  }
  close(started[1]);
  close(made[1]);
  pid_t writer = 0, inside = 0;
  const bool told = read(started[0], &writer, sizeof writer) == sizeof writer;
  if (told && writer > 0)
    EXPECT_EQ(read(made[0], &inside, sizeof inside), static_cast<ssize_t>(sizeof inside));
  close(started[0]);
  close(made[0]);
  const auto end = [&] {
    if (writer > 0)
      kill(writer, SIGKILL);
    waitpid(starter, nullptr, 0);
  };
  if (!told || writer == 0 || inside != 1)
    end();
  ASSERT_TRUE(told);
  if (writer == 0)
    GTEST_SKIP() << "no pid namespace can be made here";
  ASSERT_EQ(inside, 1);

  const std::vector<std::string> held = {"update.zyr-pid1.tmp.zyr", "w.wez.zyr-pid1.tmp", "w.wez.zyr-pid1.tmp.lck"};
  std::vector<std::string> left = held;
  left.insert(left.begin(), "compact.zyr-pid1.Ab+=Cd.tmp");
  EXPECT_EQ(dir.listing(), left);
  std::vector<std::string> removed;
  EXPECT_EQ(zyrLeftovers_remove(dir.path().c_str(), nullptr, noteRemoval, &removed), 1);
  EXPECT_EQ(dir.listing(), held);
  end();
  EXPECT_EQ(zyrLeftovers_remove(dir.path().c_str(), nullptr, noteRemoval, &removed), 3);
  std::vector<std::string> named;
  for (const std::string &name : left)
    named.push_back(dir.file(name) + " 1");
  EXPECT_EQ(sorted(removed), sorted(named));
  EXPECT_EQ(dir.listing(), std::vector<std::string>{});
}

const std::string kChild = std::string(ZYR_TEST_HELPER_DIR) + "/leftovers_child";

// Only the regular file that a look saw is opened to try its lock: what takes the data file's name
// between the look and the open (a pipe, another file) is neither opened, not even for reading
// without waiting, nor removed, and neither is the lock file beside it. The judge is a process held
// between its look and its open.
TEST(LeftoversTest, WhatTakesTheNameAfterTheLookIsNeitherOpenedNorRemoved) {
  zyrtest::ScratchDir dir("zyrleft");
  const std::string ended = std::to_string(static_cast<long>(zyrtest::endedProcess()));
  const std::string data = dir.file("d.wez.zyr-pid" + ended + ".tmp"), other = dir.file("other");
  const struct {
    const char *judged; // the name judged: the data file or its lock file
    bool pipe;          // what takes the data file's name: a pipe, or another regular file
  } cases[] = {{".lck", true}, {"", true}, {"", false}, {".lck", false}};
  for (const auto &c : cases) {
    SCOPED_TRACE(std::string(c.judged) + (c.pipe ? " pipe" : " file"));
    zyrtest::writeFile(data, "x");
    zyrtest::writeFile(data + ".lck", "x");
    if (c.pipe)
      ASSERT_EQ(mkfifo(other.c_str(), 0600), 0);
    else
      zyrtest::writeFile(other, "another");
    zyrtest::OpenWatch watch(other);
    zyrtest::ChildProcess judge(kChild, {data + c.judged}, {}, "", "leftovers.looked");
    ASSERT_EQ(judge.waitPause(), "leftovers.looked");
    ASSERT_EQ(rename(other.c_str(), data.c_str()), 0);
    judge.release();
    EXPECT_EQ(judge.readLine(), "0");
    EXPECT_EQ(judge.wait(), 0);
    EXPECT_EQ(watch.opens(), 0);
    // The watch does see an open of it, as the judge would have made it.
    const int reader = open(data.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    close(reader);
    EXPECT_EQ(watch.opens(), 1);
    EXPECT_EQ(dir.listing(), (std::vector<std::string>{"d.wez.zyr-pid" + ended + ".tmp",
                                                       "d.wez.zyr-pid" + ended + ".tmp.lck"}));
    struct stat status;
    ASSERT_EQ(lstat(data.c_str(), &status), 0);
    EXPECT_EQ(S_ISFIFO(status.st_mode), c.pipe);
    EXPECT_EQ(zyrtest::readFile(data + ".lck"), "x");
    ASSERT_EQ(unlink(data.c_str()), 0);
  }
  // Left as it was looked at, the file is opened to try its lock, and goes.
  zyrtest::writeFile(data, "x");
  zyrtest::OpenWatch watch(data);
  zyrtest::ChildProcess judge(kChild, {data + ".lck"}, {}, "", "leftovers.looked");
  ASSERT_EQ(judge.waitPause(), "leftovers.looked");
  judge.release();
  EXPECT_EQ(judge.readLine(), "1");
  EXPECT_EQ(judge.wait(), 0);
  EXPECT_EQ(watch.opens(), 1);
  EXPECT_EQ(dir.listing(), std::vector<std::string>{"d.wez.zyr-pid" + ended + ".tmp"});
}

} // namespace
