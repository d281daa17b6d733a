// Several processes on one database, each a store_driver child: what one of them reports as
// committed is in the file afterwards, what it could not make it is told, one writes at a time,
// and nobody takes away a file or a lock that a live process holds. The interleavings are made
// with pause points, never with timing.
#include "Database.h"
#include "DefFile.h"
#include "StoreTestSupport.h"
#include "zyrFileUse.h"
#include "zyrTestChild.h"
#include "zyrTestErrors.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Driver = std::unique_ptr<zyrtest::ChildProcess>;

const std::string kDriver = std::string(ZYR_TEST_HELPER_DIR) + "/store_driver";

class ProcessesTest : public storetest::StoreTest {
protected:
  Driver driver(const std::string &pauseAt = "",
                const std::vector<std::pair<std::string, const char *>> &environment = {}) {
    return std::make_unique<zyrtest::ChildProcess>(kDriver, std::vector<std::string>{}, environment, dir(), pauseAt);
  }
  // A driver that writes the messages of its failures to the file `said`.
  Driver saying(const std::string &said, const std::string &pauseAt) {
    return std::make_unique<zyrtest::ChildProcess>(
        "/bin/sh", std::vector<std::string>{"-c", "exec \"$0\" 2>\"$1\"", kDriver, said},
        std::vector<std::pair<std::string, const char *>>{{"STORE_DRIVER_MESSAGES", "1"}}, dir(), pauseAt);
  }
  // A database of the name holding the things ("open", then "new" for each, "commit", "close").
  void make(const std::string &name, const std::vector<std::string> &things) {
    Driver d = driver();
    ASSERT_EQ(d->ask("open " + name), "ok 1");
    for (const std::string &thing : things)
      ASSERT_EQ(d->ask("new " + thing), "ok 1");
    ASSERT_EQ(d->ask("commit"), "ok 2");
    ASSERT_EQ(d->ask("close -1"), "ok 1");
  }
  // The things a fresh open finds, as the driver lists them.
  std::string stored(const std::string &name = "s.zyr") {
    Driver d = driver();
    const std::string opened = d->ask("open " + name);
    const std::string things = d->ask("things");
    d->ask("close -1");
    return opened.rfind("ok ", 0) == 0 ? things.substr(3) : opened;
  }
  std::string lockFile(const std::string &name = "s.zyr") { return storetest::readFile(path(name + ".lck")); }
  bool exists(const std::string &name) { return access(path(name).c_str(), F_OK) == 0; }
  // The names in the directory that start with the prefix.
  std::vector<std::string> named(const std::string &prefix) {
    std::vector<std::string> found;
    for (const std::string &name : listing())
      if (name.rfind(prefix, 0) == 0)
        found.push_back(name);
    return found;
  }
  // For each compaction flag and swap pause point, a writer that stored a new value of "a" in
  // "s.zyr" (made holding a=1), committed it and stands at the point in its close; the body gets
  // it with the point and the value.
  void atEachSwap(const std::function<void(const Driver &writer, const std::string &point, int32_t value)> &body) {
    ASSERT_NO_FATAL_FAILURE(make("s.zyr", {"a 1"}));
    int32_t value = 1;
    for (const char *flag : {"0", "1"}) {
      for (const char *point : {"swap.before-rename", "swap.after-rename"}) {
        SCOPED_TRACE(std::string(point) + " with flag " + flag);
        Driver writer = driver(point);
        ASSERT_EQ(writer->ask("open s.zyr").substr(0, 3), "ok ");
        ASSERT_EQ(writer->ask("set a " + std::to_string(++value)), "ok 1");
        ASSERT_EQ(writer->ask("commit").substr(0, 3), "ok ");
        writer->send(std::string("close ") + flag);
        ASSERT_EQ(writer->waitPause(), point);
        body(writer, point, value);
        if (HasFatalFailure())
          return;
      }
    }
  }
  // The reader, which opened the file, finds the value in it; closed, one file of the name is
  // left and no compaction copy.
  void expectCompacted(const Driver &reader, int32_t value) {
    EXPECT_EQ(reader->ask("things"), "ok a=" + std::to_string(value));
    EXPECT_EQ(reader->ask("close -1"), "ok 1");
    EXPECT_EQ(named("s.zyr"), std::vector<std::string>{"s.zyr"});
    EXPECT_TRUE(named("compact").empty());
  }
  static std::string pidStem(const Driver &d) {
    return "compact.zyr-pid" + std::to_string(static_cast<long>(d->pid()));
  }
};

const std::string kReader = "         1\n";
const std::string kWriter = "        -1\n";

// A process that failed to open or to write takes nothing of the holder's lock away, and while
// one process holds the file nobody else's change gets in.
TEST_F(ProcessesTest, AFailedOpenerOrWriterLeavesTheHoldersLockAlone) {
  make("s.zyr", {"a 1"});
  Driver a = driver();
  ASSERT_EQ(a->ask("open s.zyr"), "ok 2");
  EXPECT_EQ(lockFile(), kReader);
  Driver b = driver();
  ASSERT_EQ(b->ask("open s.zyr"), "ok 2");
  EXPECT_EQ(b->ask("new b 2"), "fail 0 10012");
  EXPECT_EQ(b->ask("commit"), "fail 0 10010");
  EXPECT_EQ(b->ask("close 0"), "ok 1");
  EXPECT_EQ(lockFile(), kReader);
  Driver c = driver();
  ASSERT_EQ(c->ask("open s.zyr"), "ok 2");
  EXPECT_EQ(c->ask("set a 3"), "fail 0 10012");
  EXPECT_EQ(c->ask("close -1"), "fail 0 10010");
  EXPECT_EQ(lockFile(), kReader);
  // The holder writes; an opener meanwhile is refused and leaves the lock as it is.
  EXPECT_EQ(a->ask("set a 4"), "ok 1");
  EXPECT_EQ(a->ask("commit"), "ok 3");
  EXPECT_EQ(lockFile(), kWriter);
  Driver d = driver();
  EXPECT_EQ(d->ask("open s.zyr"), "fail 0 10012 10003");
  EXPECT_EQ(d->ask("exit"), "");
  EXPECT_EQ(d->wait(), 0);
  EXPECT_EQ(lockFile(), kWriter);
  EXPECT_EQ(a->ask("close -1"), "ok 1");
  EXPECT_FALSE(exists("s.zyr.lck"));
  EXPECT_EQ(stored(), "a=4");
}

// A compaction puts its copy in place while it still holds the file: at no moment can another
// process open the file, and afterwards it opens the new one.
TEST_F(ProcessesTest, ACompactionSwapsItsCopyInWhileItHoldsTheFile) {
  atEachSwap([this](const Driver &a, const std::string &, int32_t value) {
    EXPECT_EQ(lockFile(), kWriter);
    Driver b = driver();
    EXPECT_EQ(b->ask("open s.zyr"), "fail 0 10012 10003");
    a->release();
    EXPECT_EQ(a->readLine(), "ok 1");
    EXPECT_EQ(a->wait(), 0);
    EXPECT_EQ(b->ask("open s.zyr").substr(0, 3), "ok ");
    expectCompacted(b, value);
  });
}

// A compactor killed before or after its swap loses nothing it committed; the next process takes
// over its lock file and removes its copy, each with a warning.
TEST_F(ProcessesTest, ACompactorKilledAtItsSwapLosesNothing) {
  atEachSwap([this](const Driver &a, const std::string &point, int32_t value) {
    a->kill();
    EXPECT_EQ(a->wait(), 128 + 9);
    Driver b = driver();
    const std::string opened = b->ask("open s.zyr");
    // The warnings: the lock file, and before the rename the copy and its lock file.
    const std::string warnings = point == "swap.before-rename" ? " 4 4 4" : " 4";
    EXPECT_EQ(opened.substr(0, 3), "ok ");
    EXPECT_EQ(opened.substr(opened.find(' ', 3)), warnings) << opened;
    expectCompacted(b, value);
  });
}

// A state that a killed writer left open is left out by processes that open the file together,
// none of which can erase it then; the first of them to write erases it before its own state, so
// that nothing of the dead change enters a committed state.
TEST_F(ProcessesTest, AStateAKilledWriterLeftOpenNeverJoinsALaterState) {
  make("s.zyr", {"a 1"});
  Driver a = driver();
  ASSERT_EQ(a->ask("open s.zyr"), "ok 2");
  ASSERT_EQ(a->ask("new x 5"), "ok 1");
  a->kill();
  EXPECT_EQ(a->wait(), 128 + 9);
  Driver b = driver("state.before-recovery");
  b->send("open s.zyr");
  ASSERT_EQ(b->waitPause(), "state.before-recovery");
  Driver c = driver();
  EXPECT_EQ(c->ask("open s.zyr"), "ok 2 4");
  EXPECT_EQ(c->ask("things"), "ok a=1");
  b->release();
  EXPECT_EQ(b->readLine(), "ok 2 4 4");
  EXPECT_EQ(c->ask("close -1"), "ok 1");
  EXPECT_EQ(b->ask("new y 7"), "ok 1");
  EXPECT_EQ(b->ask("commit"), "ok 3");
  EXPECT_EQ(b->ask("things"), "ok a=1,y=7");
  EXPECT_EQ(b->ask("close -1"), "ok 1");
  EXPECT_EQ(stored(), "a=1,y=7");
}

// An opener whose file was given another's name between its open and its lock notices, and
// opens the file that now has the name.
TEST_F(ProcessesTest, AnOpenerMeetingAReplacedFileOpensTheNewOne) {
  make("s.zyr", {"a 1"});
  make("o.zyr", {"b 2"});
  Driver p = driver("open.before-lock@1");
  p->send("open s.zyr");
  ASSERT_EQ(p->waitPause(), "open.before-lock");
  ASSERT_EQ(rename(path("o.zyr").c_str(), path("s.zyr").c_str()), 0);
  p->release();
  EXPECT_EQ(p->readLine(), "ok 2");
  EXPECT_EQ(p->ask("things"), "ok b=2");
  EXPECT_EQ(p->ask("close -1"), "ok 1");
  EXPECT_EQ(named("s.zyr"), std::vector<std::string>{"s.zyr"});
}

// A database renamed while a process has it open leaves its lock file under the old name. A new
// database opened there takes that lock file over, since nobody holds the file now of that name,
// and says only so: the process counted in it has not ended, and still works on its file.
TEST_F(ProcessesTest, ALockFileLeftByARenamedDatabaseIsTakenOverSayingOnlyWhatIsKnown) {
  ASSERT_EQ(mkdir(path("A").c_str(), 0700), 0);
  make("A/a.zyr", {"a 1"});
  Driver holder = driver();
  ASSERT_EQ(holder->ask("open A/a.zyr"), "ok 2");
  ASSERT_EQ(rename(path("A/a.zyr").c_str(), path("A/old.zyr").c_str()), 0);
  const std::string name = path("A/a.zyr");
  {
    zyrtest::ErrorCapture errors;
    DefFile *file = DefFile_new(name.c_str());
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(errors.take(), std::vector<std::string>{"4: The lock file\n\n" + name +
                                                      ".lck\n\nhas been taken over: no other process holds " +
                                                      name + " any more.\n"});
    DefFile_delete(file);
  }
  EXPECT_EQ(holder->ask("things"), "ok a=1");
  EXPECT_EQ(holder->ask("close -1"), "ok 1");
  EXPECT_EQ(stored("A/old.zyr"), "a=1");
}

// A database is one file whatever name leads to it: a process that opened it through symbolic
// links (a chain, relative ones) holds the file's own lock file, meets a process that opens it by
// its own name there, and its close puts the compacted or purged copy in place of the file, from
// beside it; the links stay links. A link that leads nowhere yet makes the database where it leads.
TEST_F(ProcessesTest, ADatabaseOpenedThroughALinkStaysOneFile) {
  ASSERT_EQ(mkdir(path("real").c_str(), 0777), 0);
  ASSERT_EQ(mkdir(path("links").c_str(), 0777), 0);
  make("real/s.zyr", {"a 1"});
  ASSERT_EQ(symlink("../real/s.zyr", path("links/s.zyr").c_str()), 0);
  ASSERT_EQ(symlink("links/s.zyr", path("s.zyr").c_str()), 0);
  ASSERT_EQ(symlink("real/fresh.zyr", path("fresh.zyr").c_str()), 0);
  const auto links = [this] {
    struct stat status;
    for (const char *name : {"s.zyr", "links/s.zyr", "fresh.zyr"})
      EXPECT_TRUE(lstat(path(name).c_str(), &status) == 0 && S_ISLNK(status.st_mode)) << name;
  };
  int32_t value = 1;
  for (const char *flag : {"0", "1"}) {
    SCOPED_TRACE(std::string("close ") + flag);
    Driver a = driver("swap.before-rename");
    ASSERT_EQ(a->ask("open s.zyr").substr(0, 3), "ok ");
    EXPECT_EQ(lockFile("real/s.zyr"), kReader);
    ASSERT_EQ(a->ask("set a " + std::to_string(++value)), "ok 1");
    ASSERT_EQ(a->ask("commit").substr(0, 3), "ok ");
    a->send(std::string("close ") + flag);
    ASSERT_EQ(a->waitPause(), "swap.before-rename");
    EXPECT_EQ(lockFile("real/s.zyr"), kWriter);
    EXPECT_EQ(driver()->ask("open real/s.zyr"), "fail 0 10012 10003");
    a->release();
    EXPECT_EQ(a->readLine(), "ok 1");
    links();
    EXPECT_EQ(stored("real/s.zyr"), "a=" + std::to_string(value));
  }
  make("fresh.zyr", {"b 2"});
  links();
  EXPECT_EQ(stored("real/fresh.zyr"), "b=2");
  EXPECT_EQ(listing(), (std::vector<std::string>{"fresh.zyr", "links", "real", "s.zyr"}));
  std::vector<std::string> files;
  for (const auto &entry : std::filesystem::directory_iterator(path("real")))
    files.push_back(entry.path().filename());
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (std::vector<std::string>{"fresh.zyr", "s.zyr"}));
}

// A copy of a compaction or a purge is the compactor's only while its name leads to it: another
// database renamed onto it (before the first copy of a purge is opened again, or before the last
// copy is swapped in) is neither swapped in nor removed, and the close says that the compaction
// failed. The file keeps its own content, the change included.
TEST_F(ProcessesTest, ADatabaseRenamedOntoACompactionsCopyIsNeitherSwappedInNorRemoved) {
  make("s.zyr", {"a 1"});
  make("other.zyr", {"b 7"});
  const std::string others = storetest::readFile(path("other.zyr"));
  int32_t value = 1;
  for (const auto &[flag, point] : std::vector<std::pair<std::string, std::string>>{
           {"0", "swap.before-rename"}, {"1", "purge.copied"}, {"1", "swap.before-rename"}}) {
    SCOPED_TRACE("close " + flag + " at " + point);
    storetest::writeFile(path("other.zyr"), others);
    Driver c = driver(point);
    ASSERT_EQ(c->ask("open s.zyr").substr(0, 3), "ok ");
    ASSERT_EQ(c->ask("set a " + std::to_string(++value)), "ok 1");
    ASSERT_EQ(c->ask("commit").substr(0, 3), "ok ");
    c->send("close " + flag);
    ASSERT_EQ(c->waitPause(), point);
    std::vector<std::string> copy = named(pidStem(c));
    const auto isLockFile = [](const std::string &name) { return name.rfind(".lck") == name.size() - 4; };
    copy.erase(std::remove_if(copy.begin(), copy.end(), isLockFile), copy.end());
    ASSERT_EQ(copy.size(), 1u);
    ASSERT_EQ(rename(path("other.zyr").c_str(), path(copy[0]).c_str()), 0);
    c->release();
    const std::string answer = c->readLine();
    EXPECT_EQ(answer.substr(0, 7), "fail 0 ") << answer;
    EXPECT_EQ(answer.substr(answer.size() - 2), " 5") << answer;
    EXPECT_EQ(c->ask("exit"), "");
    // The other file stays where it was put, as it was.
    EXPECT_TRUE(storetest::readFile(path(copy[0])) == others) << "the other file has changed";
    ASSERT_EQ(unlink(path(copy[0]).c_str()), 0);
    EXPECT_EQ(stored(), "a=" + std::to_string(value));
  }
}

// A database renamed onto the name right after a compaction's copy took it stays there as it was:
// it is not exchanged back onto the copy's name, where the next clean-up would take it for a
// leftover. The copy and the old file, the library's own, go; the close does not answer success,
// and says why, the purge as well as the compaction.
TEST_F(ProcessesTest, ADatabaseRenamedOntoTheNameRightAfterACompactionsSwapStaysThere) {
  make("other.zyr", {"b 7"});
  const std::string others = storetest::readFile(path("other.zyr"));
  const std::string said = path("said");
  for (const char *flag : {"0", "1"}) {
    SCOPED_TRACE(std::string("close ") + flag);
    make("s.zyr", {"a 1"});
    Driver c = saying(said, "place.exchanged");
    ASSERT_EQ(c->ask("open s.zyr").substr(0, 3), "ok ");
    ASSERT_EQ(c->ask("set a 2"), "ok 1");
    ASSERT_EQ(c->ask("commit").substr(0, 3), "ok ");
    c->send(std::string("close ") + flag);
    ASSERT_EQ(c->waitPause(), "place.exchanged");
    storetest::writeFile(path("taker"), others);
    ASSERT_EQ(rename(path("taker").c_str(), path("s.zyr").c_str()), 0);
    c->release();
    const std::string answer = c->readLine();
    EXPECT_EQ(answer.substr(0, 7), "fail 0 ") << answer;
    EXPECT_EQ(c->ask("exit"), "");
    EXPECT_NE(storetest::readFile(said).find("IO library reported:\n\niif_swap_in: another file has taken the name "
                                             "s.zyr meanwhile, once the copy was in place; it stays there\n"),
              std::string::npos)
        << storetest::readFile(said);
    EXPECT_TRUE(storetest::readFile(path("s.zyr")) == others) << "the other file has changed";
    // The lock file stays, as a renamed database's does, for the next open to take over.
    EXPECT_EQ(listing(), (std::vector<std::string>{"other.zyr", "s.zyr", "s.zyr.lck", "said"}));
    // The next open there, which cleans the directory up, finds the other database.
    EXPECT_EQ(stored(), "b=7");
    EXPECT_EQ(listing(), (std::vector<std::string>{"other.zyr", "s.zyr", "said"}));
    ASSERT_EQ(unlink(path("s.zyr").c_str()), 0);
  }
}

// A copy to a name that was free takes it only while it is: whatever took it meanwhile (before the
// copy looked at the name, before the copy's rename, or right after it), a database, a directory, a
// pipe or a database another process holds, stays as it is, and the copy is refused as one to a
// name taken from the start, also when it may replace a file (as copyZyr does). Nothing of the copy
// is left, and the next clean-up of the directory leaves the other file.
TEST_F(ProcessesTest, ACopyToANameTakenMeanwhileIsRefusedAsTakenAndLeavesWhatTookIt) {
  make("s.zyr", {"a 1"});
  make("other.zyr", {"b 7"});
  const std::string others = storetest::readFile(path("other.zyr"));
  struct Case {
    const char *m_point;
    const char *m_taker;
    const char *m_replace;
  };
  for (const Case &each : {Case{"place.begin", "database", "0"}, Case{"place.begin", "directory", "0"},
                           Case{"place.begin", "pipe", "0"}, Case{"place.begin", "holder", "0"},
                           Case{"copy.before-replace", "directory", "1"}, Case{"copy.before-replace", "pipe", "1"},
                           Case{"copy.before-replace", "holder", "1"}, Case{"copy.before-replace", "database", "1"},
                           Case{"place.renamed", "database", "0"}, Case{"place.renamed", "database", "1"}}) {
    const std::string taker = each.m_taker;
    SCOPED_TRACE(taker + " at " + each.m_point + ", replacing " + each.m_replace);
    const std::string said = path("said");
    Driver copier = saying(said, each.m_point);
    ASSERT_EQ(copier->ask("open s.zyr").substr(0, 3), "ok ");
    copier->send(std::string("copy new.zyr ") + each.m_replace);
    ASSERT_EQ(copier->waitPause(), each.m_point);
    Driver holder;
    if (taker == "database") {
      storetest::writeFile(path("taker"), others);
      ASSERT_EQ(rename(path("taker").c_str(), path("new.zyr").c_str()), 0);
    } else if (taker == "directory") {
      ASSERT_EQ(mkdir(path("new.zyr").c_str(), 0700), 0);
    } else if (taker == "pipe") {
      ASSERT_EQ(mkfifo(path("new.zyr").c_str(), 0600), 0);
    } else {
      holder = driver();
      ASSERT_EQ(holder->ask("open new.zyr"), "ok 1");
    }
    copier->release();
    EXPECT_EQ(copier->readLine(), "fail 0 10005");
    EXPECT_EQ(copier->ask("close -1"), "ok 1");
    EXPECT_EQ(copier->ask("exit"), "");
    EXPECT_EQ(storetest::readFile(said), "10005: Unable to copy the database as the file new.zyr already exists.\n\n");
    ASSERT_EQ(unlink(said.c_str()), 0);
    if (holder != nullptr) {
      EXPECT_EQ(holder->ask("new c 3"), "ok 1");
      EXPECT_EQ(holder->ask("commit"), "ok 2");
      EXPECT_EQ(holder->ask("close -1"), "ok 1");
    }
    // The next open there cleans the directory up.
    EXPECT_EQ(stored(), "a=1");
    EXPECT_EQ(listing(), (std::vector<std::string>{"new.zyr", "other.zyr", "s.zyr"}));
    struct stat status;
    ASSERT_EQ(lstat(path("new.zyr").c_str(), &status), 0);
    if (taker == "database")
      EXPECT_TRUE(storetest::readFile(path("new.zyr")) == others) << "the other file has changed";
    else if (taker == "holder")
      EXPECT_EQ(stored("new.zyr"), "c=3");
    else
      EXPECT_TRUE(taker == "directory" ? S_ISDIR(status.st_mode) : S_ISFIFO(status.st_mode));
    ASSERT_EQ(taker == "directory" ? rmdir(path("new.zyr").c_str()) : unlink(path("new.zyr").c_str()), 0);
  }
}

// A change refused because another process holds the file is told once, fails its commit and is
// undone in memory; the next change gets the next state number and its own content.
TEST_F(ProcessesTest, ARefusedChangeIsUndoneAndPoisonsNothing) {
  make("s.zyr", {"a 1", "b 2"});
  Driver a = driver();
  Driver b = driver();
  ASSERT_EQ(a->ask("open s.zyr"), "ok 2");
  ASSERT_EQ(b->ask("open s.zyr"), "ok 2");
  EXPECT_EQ(a->ask("new x 5"), "fail 0 10012");
  EXPECT_EQ(a->ask("set a 5"), "fail 0");
  EXPECT_EQ(a->ask("del b"), "fail 0");
  EXPECT_EQ(a->ask("things"), "ok a=5");
  EXPECT_EQ(a->ask("commit"), "fail 0 10010");
  EXPECT_EQ(a->ask("things"), "ok a=1,b=2");
  EXPECT_EQ(b->ask("close -1"), "ok 1");
  EXPECT_EQ(a->ask("new y 3"), "ok 1");
  EXPECT_EQ(a->ask("commit"), "ok 3");
  EXPECT_EQ(a->ask("things"), "ok a=1,b=2,y=3");
  EXPECT_EQ(a->ask("close -1"), "ok 1");
  Driver c = driver();
  EXPECT_EQ(c->ask("open s.zyr"), "ok 3");
  EXPECT_EQ(c->ask("things"), "ok a=1,b=2,y=3");
  EXPECT_EQ(c->ask("redo"), "fail 3");
  EXPECT_EQ(c->ask("undo"), "ok 2");
  EXPECT_EQ(c->ask("things"), "ok a=1,b=2");
  EXPECT_EQ(c->ask("close -1"), "ok 1");
}

// A compaction's copy is the live compactor's until it is in place: another process's open-time
// clean-up leaves it alone; and a compaction that fails fails the close.
TEST_F(ProcessesTest, TheCleanUpLeavesALiveCompactionAloneAndAFailedOneFailsTheClose) {
  make("s.zyr", {"a 1"});
  Driver a = driver("swap.before-rename");
  ASSERT_EQ(a->ask("open s.zyr"), "ok 2");
  ASSERT_EQ(a->ask("set a 2"), "ok 1");
  ASSERT_EQ(a->ask("commit"), "ok 3");
  a->send("close 0");
  ASSERT_EQ(a->waitPause(), "swap.before-rename");
  const std::vector<std::string> copy = named(pidStem(a));
  ASSERT_EQ(copy.size(), 2u); // the copy and its lock file
  Driver b = driver();
  EXPECT_EQ(b->ask("open o.zyr"), "ok 1");
  EXPECT_EQ(named(pidStem(a)), copy);
  a->release();
  EXPECT_EQ(a->readLine(), "ok 1");
  EXPECT_EQ(b->ask("close -1"), "ok 1");
  EXPECT_EQ(stored(), "a=2");

  // The copy taken away before its rename: the compaction, and with it the close, fails; the
  // file keeps what was committed.
  Driver c = driver("swap.before-rename");
  ASSERT_EQ(c->ask("open s.zyr").substr(0, 3), "ok ");
  ASSERT_EQ(c->ask("set a 3"), "ok 1");
  ASSERT_EQ(c->ask("commit").substr(0, 3), "ok ");
  c->send("close 1");
  ASSERT_EQ(c->waitPause(), "swap.before-rename");
  for (const std::string &name : named(pidStem(c)))
    ASSERT_EQ(unlink(path(name).c_str()), 0);
  c->release();
  // Why, in the system's words (10006), then that the compaction failed (5).
  EXPECT_EQ(c->readLine(), "fail 0 10006 5");
  EXPECT_TRUE(named("compact").empty());
  EXPECT_EQ(stored(), "a=3");
}

// A compactor in a pid namespace of its own (process 1 there, as in a container) holds its copy
// from its making: another process's open beside it leaves the copy alone while it lives, though a
// process of id 1 always runs here; killed, its copy goes at the next open, told with that id.
TEST_F(ProcessesTest, AKilledCompactorsCopyGoesAlsoFromAPidNamespaceOfItsOwn) {
  make("s.zyr", {"a 1"});
  auto a = std::make_unique<zyrtest::ChildProcess>(kDriver, std::vector<std::string>{},
                                                   std::vector<std::pair<std::string, const char *>>{}, dir(),
                                                   "swap.before-rename", true);
  if (!a->inOwnPidNamespace())
    GTEST_SKIP() << "no pid namespace can be made here";
  ASSERT_EQ(a->ask("open s.zyr"), "ok 2");
  ASSERT_EQ(a->ask("set a 2"), "ok 1");
  ASSERT_EQ(a->ask("commit"), "ok 3");
  a->send("close 0");
  ASSERT_EQ(a->waitPause(), "swap.before-rename");
  // The copy and its lock file.
  const std::vector<std::string> copy = named("compact.zyr-pid1.");
  ASSERT_EQ(copy.size(), 2u);
  Driver b = driver();
  EXPECT_EQ(b->ask("open o.zyr"), "ok 1");
  EXPECT_EQ(b->ask("close -1"), "ok 1");
  EXPECT_EQ(named("compact"), copy);
  a->kill();
  EXPECT_EQ(a->wait(), 128 + 9);
  // The lock file of s.zyr is taken over, and the copy and its lock file go.
  Driver c = driver();
  EXPECT_EQ(c->ask("open s.zyr"), "ok 3 4 4 4");
  EXPECT_EQ(c->ask("things"), "ok a=2");
  EXPECT_EQ(c->ask("close -1"), "ok 1");
  EXPECT_TRUE(named("compact").empty());
}

// A reader that changed nothing leaves the file as it is and closes without a word, whatever the
// flag, while another reader has the file open; a purge it asks for is refused, once.
TEST_F(ProcessesTest, AReaderThatChangedNothingClosesCleanly) {
  make("s.zyr", {"a 1"});
  const std::string bytes = storetest::readFile(path("s.zyr"));
  Driver a = driver();
  ASSERT_EQ(a->ask("open s.zyr"), "ok 2");
  for (const char *flag : {"-1", "0"}) {
    Driver b = driver();
    ASSERT_EQ(b->ask("open s.zyr"), "ok 2");
    EXPECT_EQ(b->ask("checkpoint"), "fail -1 10012");
    EXPECT_EQ(b->ask("undo"), "ok 1");
    EXPECT_EQ(b->ask("things"), "ok -");
    EXPECT_EQ(b->ask(std::string("close ") + flag), "ok 1");
  }
  Driver c = driver();
  ASSERT_EQ(c->ask("open s.zyr"), "ok 2");
  EXPECT_EQ(c->ask("close 1"), "fail 0 10012 5");
  EXPECT_EQ(lockFile(), kReader);
  EXPECT_EQ(a->ask("close -1"), "ok 1");
  EXPECT_FALSE(exists("s.zyr.lck"));
  EXPECT_EQ(storetest::readFile(path("s.zyr")), bytes);
}

// A database file the user cannot write is opened for reading only: every change is refused with
// one error that names the file, and its bytes, owner and mode never change.
TEST_F(ProcessesTest, AFileTheUserCannotWriteIsOpenedForReadingOnly) {
  make("s.zyr", {"a 1"});
  ASSERT_EQ(chmod(path("s.zyr").c_str(), 0444), 0);
  // A test run by root gives the file to root and runs the driver as another user.
  std::vector<std::pair<std::string, const char *>> environment;
  if (geteuid() == 0) {
    ASSERT_EQ(chmod(dir().c_str(), 0777), 0);
    environment.emplace_back("STORE_DRIVER_UID", "65534");
  }
  struct stat before;
  ASSERT_EQ(stat(path("s.zyr").c_str(), &before), 0);
  const std::string bytes = storetest::readFile(path("s.zyr"));
  Driver a = driver("", environment);
  EXPECT_EQ(a->ask("open s.zyr"), "ok 2 2");
  EXPECT_EQ(a->ask("new b 2"), "fail 0 10010");
  EXPECT_EQ(a->ask("set a 2"), "fail 0");
  EXPECT_EQ(a->ask("commit"), "fail 0 10010");
  EXPECT_EQ(a->ask("things"), "ok a=1");
  EXPECT_EQ(a->ask("close 0"), "ok 1");
  Driver b = driver("", environment);
  EXPECT_EQ(b->ask("open s.zyr"), "ok 2 2");
  EXPECT_EQ(b->ask("close 1"), "fail 0 10010 5");
  struct stat after;
  ASSERT_EQ(stat(path("s.zyr").c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_uid, before.st_uid);
  EXPECT_EQ(after.st_mode, before.st_mode);
  EXPECT_EQ(storetest::readFile(path("s.zyr")), bytes);
  EXPECT_EQ(named("s.zyr"), std::vector<std::string>{"s.zyr"});
}

// Whether another process has the file is told by trying its lock, never by searching every
// process's descriptors (slow where many processes run, while every opener of the directory
// waits): a reader's and a writer's open of a file another process reads, and an open that takes
// over the lock a killed writer left, search nothing. Only a refusal that names the holder does.
TEST_F(ProcessesTest, AnOpenSearchesNoOtherProcess) {
  make("s.zyr", {"a 1"});
  Driver a = driver();
  ASSERT_EQ(a->ask("open s.zyr"), "ok 2");
  ASSERT_EQ(lockFile(), kReader);
  long searches = zyrFileUse_searches();
  Database *reader = Database_openForReading(path("s.zyr").c_str());
  ASSERT_NE(reader, nullptr);
  Database *writer = Database_new(path("s.zyr").c_str());
  ASSERT_NE(writer, nullptr);
  EXPECT_EQ(zyrFileUse_searches(), searches);
  EXPECT_EQ(Database_close(writer), 1);
  EXPECT_EQ(Database_close(reader), 1);

  // A writer refuses the open, which names it.
  ASSERT_EQ(a->ask("set a 2"), "ok 1");
  ASSERT_EQ(a->ask("commit"), "ok 3");
  ASSERT_EQ(lockFile(), kWriter);
  EXPECT_EQ(Database_new(path("s.zyr").c_str()), nullptr);
  EXPECT_GT(zyrFileUse_searches(), searches);

  a->kill();
  EXPECT_EQ(a->wait(), 128 + 9);
  ASSERT_EQ(lockFile(), kWriter);
  searches = zyrFileUse_searches();
  writer = Database_new(path("s.zyr").c_str());
  ASSERT_NE(writer, nullptr);
  EXPECT_EQ(zyrFileUse_searches(), searches);
  EXPECT_EQ(Database_close(writer), 1);
}

// Writers and readers in rounds, all at once: writers make, change and delete things, commit,
// go back and forth, keep checkpoints, close with every flag or kill themselves; readers look
// and leave. Afterwards the file holds every change a writer saw committed, and nothing else.
TEST_F(ProcessesTest, WritersAndReadersAtOnceLoseNoCommittedChange) {
  make("s.zyr", {"a 1"});
  const int kRounds = 5, kWriters = 3, kReaders = 2, kSessions = 25;
  std::vector<std::string> logs;
  for (int round = 0; round < kRounds; ++round) {
    std::vector<Driver> drivers;
    for (int i = 0; i < kWriters + kReaders; ++i) {
      const bool writer = i < kWriters;
      const std::string id = (writer ? "w" : "r") + std::to_string(i) + "x" + std::to_string(round);
      logs.push_back("log." + id);
      drivers.push_back(driver());
      drivers.back()->send("stress " + std::string(writer ? "writer " : "reader ") + id + " " +
                           std::to_string(1000 * round + i) + " " + std::to_string(kSessions) + " s.zyr " +
                           logs.back());
    }
    for (Driver &d : drivers) {
      const std::string answer = d->readLine();
      const int status = d->wait();
      // Done, or killed by itself.
      EXPECT_TRUE((answer == "ok done" && status == 0) || (answer.empty() && status == 128 + 9))
          << answer << " " << status;
    }
  }
  std::map<std::string, std::string> expected = {{"a", "1"}};
  int changes = 0;
  for (const std::string &log : logs) {
    std::istringstream lines(storetest::readFile(path(log)));
    for (std::string line; std::getline(lines, line);) {
      std::istringstream words(line);
      std::string kind, label, count;
      words >> kind >> label >> count;
      if (kind == "set" || kind == "del") {
        expected[label] = kind == "set" ? count : "";
        ++changes;
      } else {
        ADD_FAILURE() << log << ": " << line;
      }
    }
  }
  EXPECT_GT(changes, 5) << "the writers hardly wrote";
  std::vector<std::string> things;
  for (const auto &entry : expected)
    if (!entry.second.empty())
      things.push_back(entry.first + "=" + entry.second);
  std::sort(things.begin(), things.end());
  std::string wanted;
  for (const std::string &thing : things)
    wanted += (wanted.empty() ? "" : ",") + thing;
  EXPECT_EQ(stored(), wanted);
  EXPECT_TRUE(named("compact").empty());
}

} // namespace
