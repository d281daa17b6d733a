// Opening, copying, removing and checkpointing the database of the ZYRAPI object against the real
// core, with the files it leaves on disk; backups, the working directory and model dumps.
#include "ClassesTestSupport.h"
#include "Database.h"
#include "ZYRAPI.h"
#include "zyrApplication.h"
#include "zyrCString.h"
#include "zyrFault.h"
#include "zyrSystem.h"

#include "zyrAPI.h"
#include "zyrTestChild.h"
#include "zyrTestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const int g_localUnits = setenv("ZYR_USE_LOCAL_UNITS", "1", 0);

using qiv::ZYRAPIInspector;

bool exists(const std::string &path) { return zyrtest::fileExists(path); }
std::string read(const std::string &path) { return zyrtest::readFile(path); }
void write(const std::string &path, const std::string &text) { zyrtest::writeFile(path, text); }

class Lifecycle : public zyrtest::QueueTest {
protected:
  void SetUp() override {
    QueueTest::SetUp();
    ASSERT_EQ(g_localUnits, 0);
  }
  void TearDown() override {
    qiv::ZYRAPI &api = qiv::ZYRAPI::instance();
    if (api.isDBOpen())
      api.removeCurZyr(file("gone.zyr"));
    QueueTest::TearDown();
  }
  std::string file(const std::string &name) const { return m_scratch.file(name); }

  template <class Call> static qiv::zyrapi::zyr failure(const char *method, Call call) {
    try {
      call();
    } catch (const qiv::zyrapi::zyr &e) {
      EXPECT_EQ(e.getClass(), "ZYRAPI");
      EXPECT_EQ(e.getMethod(), method);
      EXPECT_EQ(e.getType(), qiv::errorTypeError);
      EXPECT_EQ(zyrtest::queuedCount(), 0);
      return e;
    }
    ADD_FAILURE() << method << " did not throw";
    return qiv::zyrapi::zyr();
  }

  // Shared with the children of the death tests, which run the test afresh.
  zyrtest::SharedScratchDir m_scratch{"ZYRTEST_LIFECYCLE_DIR", "zyrclasses"};
  const std::string m_dir = m_scratch.path();
};

TEST_F(Lifecycle, OpenCheckpointRestoreAndRemove) {
  qiv::ZYRAPI &api = qiv::ZYRAPI::instance();
  const std::string db = file("run.zyr");

  const qiv::zyrapi::zyr missing = failure("startSimulation", [&] { api.openDB(db, true); });
  EXPECT_EQ(missing.getText(), "Could not find " + db);
  EXPECT_FALSE(api.isDBOpen());
  EXPECT_FALSE(exists(db));

  zyrtest::ReportedMessages reported;
  api.openDB(db, false);
  ASSERT_TRUE(api.isDBOpen());
  EXPECT_GE(ZYRAPIInspector::database(), 0);
  EXPECT_GE(ZYRAPIInspector::model(), 0);
  EXPECT_TRUE(exists(db));
  EXPECT_TRUE(exists(db + ".lck"));
  int strategy = 0;
  ASSERT_EQ(zyrStrategy_getIntegerParameter(ZYRAPIInspector::model(), "NameManager_compositeCopyingStrategy",
                                            &strategy),
            1);
  EXPECT_EQ(strategy, 2);
  EXPECT_TRUE(reported.messages().empty());
  EXPECT_EQ(zyrtest::queuedCount(), 0);

  const int first = api.getCheckpoint();
  EXPECT_GE(first, 0);
  EXPECT_EQ(ZYRAPIInspector::checkpoint(), first);
  api.restoreCheckpoint(first);

  const qiv::zyrapi::zyr bad = failure("restoreZYRCheckpoint", [&] { api.restoreCheckpoint(first + 5); });
  EXPECT_NE(bad.getText().find("is not valid"), std::string::npos) << bad.getText();
  EXPECT_EQ(ZYRAPIInspector::checkpoint(), first);

  api.removeCurZyr(db);
  EXPECT_FALSE(api.isDBOpen());
  EXPECT_EQ(ZYRAPIInspector::database(), -1);
  EXPECT_EQ(ZYRAPIInspector::model(), -1);
  EXPECT_EQ(ZYRAPIInspector::checkpoint(), 0);
  EXPECT_FALSE(exists(db));
  EXPECT_FALSE(exists(db + ".lck"));

  // Without a database: no checkpoint, nothing restored, removal of missing files is no error.
  EXPECT_EQ(api.getCheckpoint(), -1);
  api.restoreCheckpoint(3);
  EXPECT_EQ(ZYRAPIInspector::checkpoint(), 0);
  EXPECT_NO_THROW(api.removeCurZyr(db));
  EXPECT_EQ(zyrtest::queuedCount(), 0);
}

TEST_F(Lifecycle, FirstOpeningInAProcessGetsHandlesZero) {
  const std::string db = file("fresh.zyr");
  // Threadsafe death tests run the child as a new process: no handle has been issued there.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        qiv::ZYRAPI &api = qiv::ZYRAPI::instance();
        api.openDB(db, false);
        api.removeCurZyr(file("other.zyr"));
        api.openDB(db, true);
        const bool ok = ZYRAPIInspector::database() == 1 && ZYRAPIInspector::model() == 1;
        api.removeCurZyr(db);
        std::exit(ok ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_EXIT(
      {
        qiv::ZYRAPI &api = qiv::ZYRAPI::instance();
        api.openDB(db, false);
        std::exit(ZYRAPIInspector::database() == 0 && ZYRAPIInspector::model() == 0 ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST_F(Lifecycle, WarningsOfTheOpeningReachTheHost) {
  qiv::ZYRAPI &api = qiv::ZYRAPI::instance();
  zyrtest::ReportedMessages reported;
  zyrtest::queueError(3, "Something was ignored.\n");
  api.openDB(file("w.zyr"), false);
  ASSERT_EQ(reported.messages().size(), 1u);
  EXPECT_EQ(reported.messages()[0].getMethod(), "openDB");
  EXPECT_EQ(reported.messages()[0].getMessage(), "Something was ignored.\n");
  EXPECT_EQ(static_cast<int>(reported.messages()[0].getType()), 8);
  EXPECT_EQ(zyrtest::queuedCount(), 0);
}

// An open that fails (the database is held by another, here a reader through the store, so that
// the open's first change is refused) leaves nothing of it held: its count in the lock file goes,
// and the holder then writes without hearing of a stale lock file taken over.
TEST_F(Lifecycle, AFailedOpenHoldsNothing) {
  qiv::ZYRAPI &api = qiv::ZYRAPI::instance();
  const std::string db = file("held.zyr");
  api.openDB(db, false);
  api.openDB(file("other.zyr"), false);
  Database *holder = Database_new(db.c_str());
  ASSERT_NE(holder, nullptr);
  const std::string oneReader = "         1\n";
  EXPECT_EQ(read(db + ".lck"), oneReader);

  failure("openDB", [&] { api.openDB(db, true); });
  EXPECT_FALSE(api.isDBOpen());
  EXPECT_EQ(read(db + ".lck"), oneReader);
  EXPECT_EQ(Database_claimWrite(holder, 1), 1);
  EXPECT_EQ(zyrtest::queuedCount(), 0);
  EXPECT_EQ(Database_close(holder), 1);
  EXPECT_FALSE(exists(db + ".lck"));
}

TEST_F(Lifecycle, ReopeningClosesTheFirstDatabase) {
  qiv::ZYRAPI &api = qiv::ZYRAPI::instance();
  const std::string a = file("a.zyr");
  api.openDB(a, false);
  const int firstHandle = ZYRAPIInspector::database();
  api.openDB(file("b.zyr"), false);
  EXPECT_NE(ZYRAPIInspector::database(), firstHandle);
  EXPECT_FALSE(exists(a + ".lck")); // the first database is closed, not leaked with its lock
  EXPECT_TRUE(exists(a));
  // It can be opened again at once.
  api.openDB(a, true);
  EXPECT_TRUE(exists(a + ".lck"));
}

TEST_F(Lifecycle, CopiesNeverLoseAFile) {
  qiv::ZYRAPI &api = qiv::ZYRAPI::instance();
  const std::string db = file("orig.zyr");
  const std::string other = file("other.zyr");
  write(other, "precious");

  // Without a database the copy fails and the file in the way survives.
  const qiv::zyrapi::zyr none = failure("copyZYR", [&] { api.copyZyr(other, false, false); });
  EXPECT_NE(none.getText().find("Unable to identify database with handle \"-1\""), std::string::npos);
  EXPECT_EQ(read(other), "precious");

  api.openDB(db, false);
  failure("copyZYR", [&] { api.copyZyr(db, false, false); });
  failure("copyZYR", [&] { api.copyZyr(file("orig"), true, false); }); // the same file, named without ".zyr"
  ASSERT_EQ(symlink(db.c_str(), file("link.zyr").c_str()), 0);
  failure("copyZYR", [&] { api.copyZyr(file("link.zyr"), false, false); }); // or through a link
  EXPECT_TRUE(api.isDBOpen());
  EXPECT_TRUE(exists(db));

  api.copyZyr(other, false, false);
  EXPECT_NE(read(other), "precious");
  EXPECT_TRUE(exists(other));
  for (const char *name : {"orig.zyr", "orig.zyr.lck", "other.zyr", "link.zyr"})
    EXPECT_TRUE(exists(file(name))) << name;

  // Working on the copy: the copy becomes the database that may not be a target.
  api.copyZyr(file("third.zyr"), true, false);
  failure("copyZYR", [&] { api.copyZyr(file("third.zyr"), false, false); });
  EXPECT_NO_THROW(api.copyZyr(db, false, false));
  EXPECT_GT(read(db).size(), 0u);

  // Onto a link: the copy takes the place of the file the link leads to, and the link stays.
  write(other, "precious");
  ASSERT_EQ(symlink(other.c_str(), file("to-other.zyr").c_str()), 0);
  api.copyZyr(file("to-other.zyr"), false, false);
  struct stat status;
  EXPECT_TRUE(lstat(file("to-other.zyr").c_str(), &status) == 0 && S_ISLNK(status.st_mode));
  EXPECT_NE(read(other), "precious");

  // What is no regular file is never replaced.
  ASSERT_EQ(mkfifo(file("pipe.zyr").c_str(), 0600), 0);
  ASSERT_EQ(mkdir(file("folder.zyr").c_str(), 0700), 0);
  for (const char *name : {"pipe.zyr", "folder.zyr"}) {
    EXPECT_EQ(failure("copyZYR", [&] { api.copyZyr(file(name), false, false); }).getText(),
              "Unable to overwrite the existing file " + file(name) + ": it is not a regular file")
        << name;
    EXPECT_TRUE(lstat(file(name).c_str(), &status) == 0 && !S_ISREG(status.st_mode)) << name;
  }
}

// Databases told apart by a mark of their own, which a copy carries.
const char *const kMark = "test mark";

// Makes the database of the path (a whole one, with its model) and marks it.
void makeMarked(const std::string &path, const char *mark) {
  int32_t hd = -1, hm = -1;
  ASSERT_EQ(zyrDatabase_open(path.c_str(), &hd, &hm), 1);
  ASSERT_EQ(zyrDatabase_close(hd, 0), 1);
  Database *database = Database_new(path.c_str());
  ASSERT_NE(database, nullptr);
  ASSERT_EQ(Database_setString(database, 0, nullptr, kMark, mark), 1);
  ASSERT_EQ(Database_close(database), 1);
}

// The mark of the database of the path, read without changing the file; "" when there is none.
std::string markOf(const std::string &path) {
  Database *database = Database_openForReading(path.c_str());
  char *mark = nullptr;
  const std::string found =
      database != nullptr && Database_getString(database, 0, nullptr, kMark, &mark) == 1 ? mark : "";
  zyrCString_free(mark);
  Database_delete(database);
  return found;
}

std::string helper(const char *name) { return std::string(ZYR_TEST_HELPER_DIR) + "/" + name; }

// A process copying `source` onto `target` through ZYRAPI::copyZyr (tests/zyr_classes/helpers).
std::unique_ptr<zyrtest::ChildProcess> copyingAs(const std::string &source, const std::string &target, const char *work,
                                                  const std::string &pauseAt) {
  return std::make_unique<zyrtest::ChildProcess>(helper("copy_zyr"),
                                                 std::vector<std::string>{source, target, work},
                                                 std::vector<std::pair<std::string, const char *>>{
                                                     {"ZYR_USE_LOCAL_UNITS", "1"}, {"ZYR_SESSION_FILE", nullptr}},
                                                 "", pauseAt);
}

std::unique_ptr<zyrtest::ChildProcess> copying(const std::string &source, const std::string &target, bool work,
                                                const std::string &pauseAt = "") {
  return copyingAs(source, target, work ? "1" : "0", pauseAt);
}

// A copy to a new name killed at any point it passes leaves no file under that name or the whole
// copy, never a partial one, and nothing that the next open does not clear.
TEST_F(Lifecycle, ACopyToANewNameKilledAnywhereLeavesNoFileOrTheWholeCopy) {
  zyrtest::ScratchDir dir("kill", m_dir);
  const std::string source = dir.file("orig.zyr"), target = dir.file("new.zyr");
  makeMarked(source, "copy");
  const std::string sourceBytes = read(source);
  struct Kill {
    const char *m_point;
    bool m_made;
  };
  for (const Kill &kill : std::vector<Kill>{{"open.created@1", false},
                                            {"swap.before-rename@1", false},
                                            {"swap.after-rename@1", false},
                                            {"copy.before-replace@1", false},
                                            {"replace.directory-synced@1", true}}) {
    SCOPED_TRACE(kill.m_point);
    write(source, sourceBytes);
    ASSERT_EQ(dir.listing(), std::vector<std::string>{"orig.zyr"});
    {
      std::unique_ptr<zyrtest::ChildProcess> copy = copyingAs(source, target, "new", kill.m_point);
      const std::string point = kill.m_point;
      ASSERT_EQ(copy->waitPause(), point.substr(0, point.find('@')));
      copy->kill();
      EXPECT_EQ(copy->wait(), 128 + 9);
    }
    EXPECT_EQ(exists(target), kill.m_made);
    if (kill.m_made)
      EXPECT_EQ(markOf(target), "copy");
    // The next open clears what the copy left beside it.
    int32_t hd = -1, hm = -1;
    EXPECT_EQ(zyrDatabase_open(source.c_str(), &hd, &hm), 1);
    EXPECT_EQ(zyrDatabase_close(hd, -1), 1);
    for (const std::string &name : dir.listing())
      EXPECT_EQ(name.find(".tmp"), std::string::npos) << name;
    zyrtest::ErrorCapture::clear();
    std::remove(target.c_str());
  }
}

// A database works on the file its open found. A host that opens one by a relative name and then
// changes its working directory to where another database of that name lies closes the first in
// its own directory, lock file and all, and the other stays as it was, held by another process or
// not.
TEST_F(Lifecycle, ADatabaseStaysInTheDirectoryItsOpenFound) {
  qiv::ZYRAPI &api = qiv::ZYRAPI::instance();
  zyrtest::ScratchDir a("a", m_dir), b("b", m_dir);
  for (const bool held : {false, true}) {
    SCOPED_TRACE(held ? "held" : "not held");
    makeMarked(b.file("a.zyr"), "theirs");
    std::unique_ptr<zyrtest::ChildProcess> holder;
    if (held) {
      holder = copying(b.file("a.zyr"), b.file("c.zyr"), false);
      ASSERT_EQ(holder->readLine(), "copied");
    }
    const std::string theirs = read(b.file("a.zyr"));
    {
      zyrtest::WorkingDir here(a.path());
      api.openDB("a.zyr", false);
      EXPECT_GE(api.getCheckpoint(), 0);
      ASSERT_EQ(chdir(b.path().c_str()), 0);
      api.openDB("x.zyr", false);
      api.removeCurZyr("x.zyr");
    }
    EXPECT_EQ(read(b.file("a.zyr")), theirs);
    EXPECT_FALSE(exists(a.file("a.zyr.lck")));
    int32_t hd = -1, hm = -1;
    EXPECT_EQ(zyrDatabase_open(a.file("a.zyr").c_str(), &hd, &hm), 1);
    EXPECT_EQ(zyrDatabase_close(hd, -1), 1);
    EXPECT_EQ(a.listing(), std::vector<std::string>{"a.zyr"});
    if (holder) {
      holder->closeInput();
      EXPECT_EQ(holder->wait(), 0);
    }
    EXPECT_EQ(markOf(b.file("a.zyr")), "theirs");
    EXPECT_EQ(b.listing(), held ? (std::vector<std::string>{"a.zyr", "c.zyr"}) : std::vector<std::string>{"a.zyr"});
    std::remove(b.file("a.zyr").c_str());
    std::remove(b.file("c.zyr").c_str());
    std::remove(a.file("a.zyr").c_str());
    zyrtest::ErrorCapture::clear();
  }
}

// A database works on the files of the directory its open found, wherever that directory goes. A
// host opens A/a.zyr, the user renames A to A2 (as a file manager would) and another process may
// open a new A/a.zyr; the first database then closes in A2, compacted, leaving no lock file there,
// and touches nothing at the old name: the other database and its lock file stay as they were.
TEST_F(Lifecycle, ADatabaseWhoseDirectoryIsRenamedClosesWhereItNowIs) {
  qiv::ZYRAPI &api = qiv::ZYRAPI::instance();
  for (const bool absolute : {false, true})
    for (const bool other : {false, true}) {
      SCOPED_TRACE(std::string(absolute ? "absolute" : "relative") + (other ? ", another database at the old name" : ""));
      zyrtest::ScratchDir root("renamed", m_dir);
      const std::string a = root.file("A"), a2 = root.file("A2");
      ASSERT_EQ(mkdir(a.c_str(), 0700), 0);
      zyrtest::WorkingDir here(root.path());
      const std::string name = absolute ? a + "/a.zyr" : "A/a.zyr";
      zyrtest::ReportedMessages reported;
      api.openDB(name, false);
      ASSERT_GE(api.getCheckpoint(), 0);
      struct stat opened;
      ASSERT_EQ(stat((a + "/a.zyr").c_str(), &opened), 0);
      ASSERT_EQ(rename(a.c_str(), a2.c_str()), 0);
      std::unique_ptr<zyrtest::ChildProcess> holder;
      std::string theirs, theirLock;
      if (other) {
        ASSERT_EQ(mkdir(a.c_str(), 0700), 0);
        makeMarked(a + "/a.zyr", "theirs");
        holder = copying(a + "/a.zyr", a + "/c.zyr", false);
        ASSERT_EQ(holder->readLine(), "copied");
        theirs = read(a + "/a.zyr");
        theirLock = read(a + "/a.zyr.lck");
        ASSERT_FALSE(theirLock.empty());
      }
      // A change, so that the close has something to store.
      api.getCheckpoint();
      api.openDB(file("next.zyr"), false);
      for (const qiv::ErrorMsg &message : reported.messages())
        ADD_FAILURE() << message.getMessage();
      EXPECT_EQ(zyrtest::queuedCount(), 0);
      // Compacted in its new place (a compaction puts a new file there), with nothing beside it.
      EXPECT_EQ(zyrtest::listing(a2), std::vector<std::string>{"a.zyr"});
      struct stat closed;
      ASSERT_EQ(stat((a2 + "/a.zyr").c_str(), &closed), 0);
      EXPECT_NE(closed.st_ino, opened.st_ino);
      int32_t hd = -1, hm = -1;
      EXPECT_EQ(zyrDatabase_open((a2 + "/a.zyr").c_str(), &hd, &hm), 1);
      EXPECT_EQ(zyrDatabase_close(hd, -1), 1);
      if (other) {
        EXPECT_EQ(read(a + "/a.zyr"), theirs);
        EXPECT_EQ(read(a + "/a.zyr.lck"), theirLock);
        holder->closeInput();
        EXPECT_EQ(holder->wait(), 0);
        EXPECT_EQ(markOf(a + "/a.zyr"), "theirs");
        EXPECT_EQ(zyrtest::listing(a), (std::vector<std::string>{"a.zyr", "c.zyr"}));
      } else {
        EXPECT_FALSE(exists(a));
      }
      api.removeCurZyr(file("next.zyr"));
      zyrtest::ErrorCapture::clear();
    }
}

// The open database is known by the file it holds, not by the name it was opened by: after its
// directory is renamed and another database is put under the old name, a copy onto its new name is
// a copy onto itself, and so is a restore there, while the other database may be replaced.
TEST_F(Lifecycle, TheOpenDatabaseIsKnownByItsFileNotByTheNameItWasOpenedBy) {
  qiv::ZYRAPI &api = qiv::ZYRAPI::instance();
  zyrtest::ScratchDir root("known", m_dir);
  const std::string a = root.file("A"), a2 = root.file("A2");
  ASSERT_EQ(mkdir(a.c_str(), 0700), 0);
  makeMarked(a + "/a.zyr", "mine");
  api.openDB(a + "/a.zyr", false);
  ASSERT_EQ(rename(a.c_str(), a2.c_str()), 0);
  ASSERT_EQ(mkdir(a.c_str(), 0700), 0);
  makeMarked(a + "/a.zyr", "theirs");
  EXPECT_EQ(failure("copyZYR", [&] { api.copyZyr(a2 + "/a.zyr", false, false); }).getText(),
            "Unable to copy the database onto itself: " + a2 + "/a.zyr");
  write(a2 + "/a.wez.bak", "wez");
  write(a2 + "/a.zyr.bak", "zyr");
  std::string backup = a2 + "/a.wez.bak";
  EXPECT_EQ(failure("restoreBakFiles", [&] { api.restoreBakFiles(backup); }).getText(),
            "Unable to restore " + a2 + "/a.zyr while it is the open database");
  api.copyZyr(a + "/a.zyr", false, false);
  api.removeCurZyr(file("gone.zyr"));
  EXPECT_EQ(markOf(a + "/a.zyr"), "mine");
  EXPECT_EQ(markOf(a2 + "/a.zyr"), "mine");
  EXPECT_EQ(zyrtest::listing(a), std::vector<std::string>{"a.zyr"});
  zyrtest::ErrorCapture::clear();
}

// A copy killed at any point it passes leaves under the target's name the old database or the whole
// copy, never a partial or empty one, and nothing that the next open and the next copy do not clear.
TEST_F(Lifecycle, ACopyKilledAnywhereLeavesTheOldFileOrTheWholeCopy) {
  zyrtest::ScratchDir dir("kill", m_dir);
  const std::string source = dir.file("orig.zyr"), target = dir.file("target.zyr");
  makeMarked(source, "copy");
  makeMarked(target, "old");
  const std::string sourceBytes = read(source), oldBytes = read(target);
  const std::vector<std::string> clean = {"orig.zyr", "target.zyr"};
  // Each point the copy passes, after the two opens of the source (the last pass of a point that
  // renames is after its rename), and whether the copy is in place there.
  struct Kill {
    const char *m_point;
    bool m_inPlace;
  };
  const std::vector<Kill> kept = {{"open.before-lock@3", false},     {"open.created@1", false},
                                  {"open.before-lock@4", false},     {"open.before-lock@5", false},
                                  {"open.created@2", false},         {"swap.before-rename@1", false},
                                  {"swap.after-rename@1", false},    {"copy.before-replace@1", false},
                                  {"replace.directory-synced@1", true}};
  const std::vector<Kill> workedOn = {{"open.before-lock@3", false},        {"open.created@1", false},
                                      {"copy.before-replace@1", false},     {"replace.directory-synced@1", true},
                                      {"open.before-lock@4", true},         {"open.before-lock@5", true},
                                      {"open.created@2", true},             {"swap.before-rename@1", true},
                                      {"swap.after-rename@1", true}};
  for (const bool work : {false, true})
    for (const Kill &kill : work ? workedOn : kept) {
      SCOPED_TRACE(std::string(kill.m_point) + (work ? ", working on the copy" : ""));
      write(source, sourceBytes);
      write(target, oldBytes);
      ASSERT_EQ(dir.listing(), clean);
      {
        std::unique_ptr<zyrtest::ChildProcess> copy = copying(source, target, work, kill.m_point);
        const std::string point = kill.m_point;
        ASSERT_EQ(copy->waitPause(), point.substr(0, point.find('@')));
        copy->kill();
        EXPECT_EQ(copy->wait(), 128 + 9);
      }
      EXPECT_EQ(markOf(target), kill.m_inPlace ? "copy" : "old");
      // The next open takes it as the database it is, and clears what the copy left beside it.
      int32_t hd = -1, hm = -1;
      EXPECT_EQ(zyrDatabase_open(target.c_str(), &hd, &hm), 1);
      EXPECT_EQ(zyrDatabase_close(hd, -1), 1);
      for (const std::string &name : dir.listing())
        EXPECT_EQ(name.find(".tmp"), std::string::npos) << name;
      zyrtest::ErrorCapture::clear();
      // So does the next copy, which makes its whole copy.
      std::unique_ptr<zyrtest::ChildProcess> again = copying(source, target, work);
      EXPECT_EQ(again->readLine(), "copied");
      again->closeInput();
      EXPECT_EQ(again->wait(), 0);
      EXPECT_EQ(dir.listing(), clean);
      EXPECT_EQ(markOf(target), "copy");
    }
}

// The copy keeps the permissions of the file it replaces, working on it or not.
TEST_F(Lifecycle, ACopyKeepsTheModeOfTheFileItReplaces) {
  qiv::ZYRAPI &api = qiv::ZYRAPI::instance();
  api.openDB(file("mode.zyr"), false);
  const mode_t mask = umask(022);
  for (const bool work : {false, true})
    for (const mode_t mode : {0600, 0640}) {
      const std::string target = file("mode-" + std::to_string(mode) + (work ? "-work" : "") + ".zyr");
      write(target, "old");
      ASSERT_EQ(chmod(target.c_str(), mode), 0);
      api.copyZyr(target, work, false);
      struct stat status;
      ASSERT_EQ(stat(target.c_str(), &status), 0);
      EXPECT_EQ(status.st_mode & 07777, mode) << target;
      EXPECT_NE(read(target), "old");
    }
  umask(mask);
}

// And its owner and group, where the process may set them.
TEST_F(Lifecycle, ACopyKeepsTheOwnerOfTheFileItReplaces) {
  if (geteuid() != 0)
    GTEST_SKIP() << "only a privileged process may give a file to another user";
  qiv::ZYRAPI &api = qiv::ZYRAPI::instance();
  api.openDB(file("owner.zyr"), false);
  for (const bool work : {false, true}) {
    const std::string target = file(work ? "theirs-work.zyr" : "theirs.zyr");
    write(target, "old");
    ASSERT_EQ(chown(target.c_str(), 4321, 4321), 0);
    api.copyZyr(target, work, false);
    struct stat status;
    ASSERT_EQ(stat(target.c_str(), &status), 0);
    EXPECT_EQ(status.st_uid, 4321u) << target;
    EXPECT_EQ(status.st_gid, 4321u) << target;
  }
}

// A database that this process has open under another handle, or that another process writes, is
// never replaced by a copy: the copy is refused, naming the reason, and the file stays as it was.
TEST_F(Lifecycle, ACopyOntoADatabaseInUseIsRefused) {
  qiv::ZYRAPI &api = qiv::ZYRAPI::instance();
  api.openDB(file("source.zyr"), false);
  const std::string here = file("here.zyr");
  int32_t hd = -1, hm = -1;
  ASSERT_EQ(zyrDatabase_open(here.c_str(), &hd, &hm), 1);
  const std::string bytes = read(here);
  EXPECT_EQ(failure("copyZYR", [&] { api.copyZyr(here, false, false); }).getText(),
            "Unable to overwrite the existing file " + here + ".\nIt is a database open in this session.\n");
  EXPECT_EQ(read(here), bytes);
  EXPECT_EQ(zyrDatabase_close(hd, -1), 1);

  // Another process works on its copy: the copy is in place under its name, with the lock file of
  // that name, and the process holds it there.
  zyrtest::ScratchDir dir("inuse", m_dir);
  const std::string theirs = dir.file("theirs.zyr");
  write(theirs, "old");
  makeMarked(dir.file("work.zyr"), "work");
  std::unique_ptr<zyrtest::ChildProcess> worker = copying(dir.file("work.zyr"), theirs, true);
  ASSERT_EQ(worker->readLine(), "copied");
  EXPECT_EQ(dir.listing(), (std::vector<std::string>{"theirs.zyr", "theirs.zyr.lck", "work.zyr"}));
  const std::string copied = read(theirs);
  const std::string holder = "It is in use by process " + std::to_string(worker->pid());
  EXPECT_EQ(failure("copyZYR", [&] { api.copyZyr(theirs, true, false); }).getText(),
            "Unable to overwrite the existing file " + theirs + ".\n" + holder + ".\n");
  EXPECT_EQ(read(theirs), copied);
  EXPECT_TRUE(api.isDBOpen());
  worker->closeInput();
  EXPECT_EQ(worker->wait(), 0);
  EXPECT_EQ(dir.listing(), (std::vector<std::string>{"theirs.zyr", "work.zyr"}));
  EXPECT_EQ(markOf(theirs), "work");
  api.copyZyr(theirs, false, false);
  EXPECT_EQ(markOf(theirs), "");
}

// Nothing the class writes or removes as a whole destroys a database in use: a dump, a restore of
// backups and a removal of another process's database, or a dump over this process's own, are
// refused with the reason and leave every file as it was; so are the file copy and its tool. Once
// nobody holds the database, each does its work, and the removal of this process's own database
// closes it first.
TEST_F(Lifecycle, NothingWrittenOrRemovedDestroysADatabaseInUse) {
  qiv::ZYRAPI &api = qiv::ZYRAPI::instance();
  zyrtest::ScratchDir dir("used", m_dir);
  const std::string theirs = dir.file("theirs.zyr"), lock = theirs + ".lck";
  makeMarked(dir.file("work.zyr"), "work");
  std::unique_ptr<zyrtest::ChildProcess> worker = copying(dir.file("work.zyr"), theirs, true);
  ASSERT_EQ(worker->readLine(), "copied");
  write(dir.file("theirs.wez"), "current wez");
  write(dir.file("theirs.wez.bak"), "old wez");
  write(dir.file("theirs.zyr.bak"), "old zyr");
  const std::vector<std::string> files = dir.listing();
  const std::string bytes = read(theirs), lockBytes = read(lock);
  const std::string inUse = ".\nIt is in use by process " + std::to_string(worker->pid()) + ".\n";
  api.openDB(file("mine.zyr"), false);

  const zyrtest::EnvGuard talkative("QIV_NO_DEBUG_OUT", nullptr);
  EXPECT_EQ(failure("zyrDebugPrint", [&] { api.zyrDebugPrint(1, theirs); }).getText(),
            "Unable to overwrite the existing file " + theirs + inUse);
  EXPECT_EQ(failure("zyrDebugPrint", [&] { api.zyrDebugPrint(1, lock); }).getText(),
            "Unable to overwrite the existing file " + lock + ".\nIt is the lock file of " + theirs +
                ", which is in use by process " + std::to_string(worker->pid()) + ".\n");
  const std::string mine = read(file("mine.zyr"));
  EXPECT_EQ(failure("zyrDebugPrint", [&] { api.zyrDebugPrint(1, file("mine.zyr")); }).getText(),
            "Unable to overwrite the existing file " + file("mine.zyr") + ".\nIt is a database open in this session.\n");
  EXPECT_EQ(read(file("mine.zyr")), mine);
  std::string backup = dir.file("theirs.zyr.bak");
  EXPECT_EQ(failure("restoreBakFiles", [&] { api.restoreBakFiles(backup); }).getText(),
            "Unable to overwrite the existing file " + theirs + inUse);
  EXPECT_EQ(backup, dir.file("theirs.zyr.bak"));
  EXPECT_EQ(failure("deleteZyrFile", [&] { api.removeCurZyr(theirs); }).getText(),
            "Unable to remove the file " + theirs + inUse);
  EXPECT_FALSE(api.isDBOpen());
  errno = 0;
  EXPECT_EQ(zyrCopyFile(file("mine.zyr").c_str(), theirs.c_str()), 0);
  EXPECT_EQ(errno, EBUSY);
  zyrtest::ErrorCapture::clear();
  const std::string tools = std::string(ZYR_TEST_HELPER_DIR) + "/../tools";
  for (const std::string &target : {theirs, lock}) {
    zyrtest::ChildProcess copy(tools + "/zyrcopy/zyrcopy", {file("mine.zyr"), target});
    EXPECT_EQ(copy.wait(), 1) << target;
  }
  EXPECT_EQ(read(theirs), bytes);
  EXPECT_EQ(read(lock), lockBytes);
  EXPECT_EQ(read(dir.file("theirs.wez")), "current wez");
  EXPECT_EQ(dir.listing(), files);

  worker->closeInput();
  EXPECT_EQ(worker->wait(), 0);
  EXPECT_EQ(markOf(theirs), "work");
  api.restoreBakFiles(backup);
  EXPECT_EQ(read(theirs), "old zyr");
  EXPECT_EQ(read(dir.file("theirs.wez")), "old wez");
  api.removeCurZyr(theirs);
  EXPECT_EQ(dir.listing(), (std::vector<std::string>{"theirs.wez", "work.zyr"}));
  api.openDB(file("mine.zyr"), false);
  api.removeCurZyr(file("mine.zyr"));
  EXPECT_FALSE(api.isDBOpen());
  EXPECT_FALSE(exists(file("mine.zyr")));
  EXPECT_FALSE(exists(file("mine.zyr.lck")));
}

// A dump never truncates a file it has not found free: whichever look at the name fails, or finds
// nothing where a database another process holds stands, the dump is refused saying why, and the
// database keeps its bytes; with every look answered, it is refused as in use.
TEST_F(Lifecycle, ADumpWhoseLookFailsLeavesADatabaseInUseAsItWas) {
  qiv::ZYRAPI &api = qiv::ZYRAPI::instance();
  zyrtest::ScratchDir dir("dumped", m_dir);
  const std::string theirs = dir.file("theirs.zyr");
  makeMarked(dir.file("work.zyr"), "work");
  std::unique_ptr<zyrtest::ChildProcess> worker = copying(dir.file("work.zyr"), theirs, true);
  ASSERT_EQ(worker->readLine(), "copied");
  const std::vector<std::string> files = dir.listing();
  const std::string bytes = read(theirs);
  api.openDB(file("mine.zyr"), false);
  const zyrtest::EnvGuard talkative("QIV_NO_DEBUG_OUT", nullptr);
  for (const char *error : {"EIO", "ENOENT"}) {
    const int code = std::string(error) == "EIO" ? EIO : ENOENT;
    for (size_t n = 1;; ++n) {
      const std::string plan = "look@" + std::to_string(n) + ":" + error;
      SCOPED_TRACE(plan);
      ASSERT_EQ(zyrFault_arm(plan.c_str(), theirs.c_str()), 1);
      const std::string text = failure("zyrDebugPrint", [&] { api.zyrDebugPrint(1, theirs); }).getText();
      const long failed = zyrFault_failures();
      zyrFault_disarm();
      ASSERT_TRUE(read(theirs) == bytes);
      if (failed == 0) {
        EXPECT_EQ(text, "Unable to overwrite the existing file " + theirs + ".\nIt is in use by process " +
                            std::to_string(worker->pid()) + ".\n");
        EXPECT_GT(n, 1u);
        break;
      }
      ASSERT_LE(n, 3u);
      EXPECT_EQ(text, "Whether the file\n\n" + theirs + "\n\nexists cannot be told (stat: " + std::strerror(code) +
                          ").\n");
    }
  }
  EXPECT_EQ(dir.listing(), files);
  worker->closeInput();
  EXPECT_EQ(worker->wait(), 0);
  EXPECT_EQ(markOf(theirs), "work");
  api.removeCurZyr(file("mine.zyr"));
}

TEST_F(Lifecycle, BackupsAreRestoredInPlace) {
  qiv::ZYRAPI &api = qiv::ZYRAPI::instance();
  write(file("run.zyr"), "new zyr");
  write(file("run.wez"), "new wez");
  write(file("run.zyr.bak"), "old zyr");
  write(file("run.wez.bak"), "old wez");
  std::string name = file("run.zyr.bak");
  api.restoreBakFiles(name);
  EXPECT_EQ(name, file("run.wez"));
  EXPECT_EQ(read(file("run.zyr")), "old zyr");
  EXPECT_EQ(read(file("run.wez")), "old wez");
  EXPECT_FALSE(exists(file("run.zyr.bak")));
  EXPECT_FALSE(exists(file("run.wez.bak")));

  std::string shortName = "x.bak";
  EXPECT_EQ(failure("restoreBakFiles", [&] { api.restoreBakFiles(shortName); }).getText(),
            "x.bak is not a valid backup filename");
  std::string noDot = file("runxzyrxbak");
  failure("restoreBakFiles", [&] { api.restoreBakFiles(noDot); });

  // One backup missing: neither file is touched.
  write(file("only.wez.bak"), "old wez");
  write(file("only.wez"), "current wez");
  write(file("only.zyr"), "current zyr");
  std::string only = file("only.wez.bak");
  EXPECT_EQ(failure("restoreBakFiles", [&] { api.restoreBakFiles(only); }).getText(),
            "Could not find " + file("only.zyr.bak"));
  EXPECT_EQ(read(file("only.wez")), "current wez");
  EXPECT_EQ(read(file("only.zyr")), "current zyr");
  EXPECT_TRUE(exists(file("only.wez.bak")));
  EXPECT_EQ(only, file("only.wez.bak"));
}

// A backup is put back only in place of a regular file or where there is none. Where <base>.wez
// leads to a device through a symbolic link, or <base>.zyr is a pipe (with a reader, so that a
// copy into it would not wait), the restore is refused before anything is touched: nothing is
// written into them, and both backups stay.
TEST_F(Lifecycle, BackupsAreRestoredOnlyOverRegularFiles) {
  qiv::ZYRAPI &api = qiv::ZYRAPI::instance();
  zyrtest::ScratchDir dir("special", m_dir);
  const std::string wez = dir.file("run.wez"), zyr = dir.file("run.zyr");
  write(wez + ".bak", "old wez");
  write(zyr + ".bak", "old zyr");
  for (const std::string &special : {wez, zyr}) {
    const std::string other = special == wez ? zyr : wez;
    write(other, "current");
    int reader = -1;
    if (special == wez) {
      ASSERT_EQ(symlink("/dev/null", wez.c_str()), 0);
    } else {
      ASSERT_EQ(mkfifo(zyr.c_str(), 0600), 0);
      reader = open(zyr.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
      ASSERT_GE(reader, 0);
    }
    const std::vector<std::string> files = dir.listing();
    std::string name = zyr + ".bak";
    EXPECT_EQ(failure("restoreBakFiles", [&] { api.restoreBakFiles(name); }).getText(),
              "Unable to overwrite the existing file " + special + ".\nIt is not a regular file.\n");
    EXPECT_EQ(name, zyr + ".bak");
    EXPECT_EQ(dir.listing(), files);
    EXPECT_EQ(read(wez + ".bak"), "old wez");
    EXPECT_EQ(read(zyr + ".bak"), "old zyr");
    EXPECT_EQ(read(other), "current");
    if (reader >= 0) {
      char byte;
      EXPECT_EQ(::read(reader, &byte, 1), 0) << "the pipe was written into";
      close(reader);
    }
    ASSERT_EQ(unlink(wez.c_str()), 0);
    ASSERT_EQ(unlink(zyr.c_str()), 0);
  }
  // Where neither file is there, both are put back.
  std::string name = wez + ".bak";
  api.restoreBakFiles(name);
  EXPECT_EQ(name, wez);
  EXPECT_EQ(read(wez), "old wez");
  EXPECT_EQ(read(zyr), "old zyr");
  EXPECT_EQ(dir.listing(), (std::vector<std::string>{"run.wez", "run.zyr"}));
}

// A backup is a database too, which a process may have opened under its name: while another process
// or this object has it open, neither the restore nor the removal of the backups touches a file,
// and each says why. Once it is closed, both do their work.
TEST_F(Lifecycle, BackupsInUseAreKept) {
  qiv::ZYRAPI &api = qiv::ZYRAPI::instance();
  zyrtest::ScratchDir dir("bak", m_dir);
  const std::string zyrBak = dir.file("run.zyr.bak"), wezBak = dir.file("run.wez.bak");
  makeMarked(zyrBak, "backup");
  write(wezBak, "old wez");
  write(dir.file("run.zyr"), "current zyr");
  std::string name = zyrBak;
  const auto refused = [&](const std::string &why) {
    const std::vector<std::string> files = dir.listing();
    std::vector<std::string> bytes;
    for (const std::string &file : files)
      bytes.push_back(read(dir.file(file)));
    const std::string text = "Unable to remove the file " + zyrBak + ".\n" + why + ".\n";
    EXPECT_EQ(failure("restoreBakFiles", [&] { api.restoreBakFiles(name); }).getText(), text);
    EXPECT_EQ(failure("removeBakFiles", [&] { api.removeBakFiles(dir.file("run")); }).getText(), text);
    EXPECT_EQ(name, zyrBak);
    ASSERT_EQ(dir.listing(), files);
    for (size_t i = 0; i < files.size(); ++i)
      EXPECT_EQ(read(dir.file(files[i])), bytes[i]) << files[i];
  };

  std::unique_ptr<zyrtest::ChildProcess> holder = copying(zyrBak, dir.file("copy.zyr"), false);
  ASSERT_EQ(holder->readLine(), "copied");
  ASSERT_TRUE(exists(zyrBak + ".lck"));
  refused("It is in use by process " + std::to_string(holder->pid()));
  holder->closeInput();
  EXPECT_EQ(holder->wait(), 0);
  api.openDB(zyrBak, true);
  refused("It is a database open in this session");

  api.openDB(file("mine.zyr"), false);
  api.restoreBakFiles(name);
  EXPECT_EQ(markOf(dir.file("run.zyr")), "backup");
  EXPECT_EQ(read(dir.file("run.wez")), "old wez");
  write(zyrBak, "again");
  write(wezBak, "again");
  api.removeBakFiles(dir.file("run"));
  EXPECT_EQ(dir.listing(), (std::vector<std::string>{"copy.zyr", "run.wez", "run.zyr"}));
}

// A holder of a backup killed while it had it open leaves the backup's lock file, which backs
// nobody: the restore and the removal of the backups take it away with the backup.
TEST_F(Lifecycle, TheRemoversOfBackupsLeaveNoLockFileOfAKilledHolder) {
  qiv::ZYRAPI &api = qiv::ZYRAPI::instance();
  for (const bool restoring : {true, false}) {
    SCOPED_TRACE(restoring ? "restoreBakFiles" : "removeBakFiles");
    zyrtest::ScratchDir dir("bak", m_dir);
    const std::string zyrBak = dir.file("run.zyr.bak"), wezBak = dir.file("run.wez.bak");
    makeMarked(zyrBak, "backup");
    write(wezBak, "old wez");
    write(dir.file("run.zyr"), "current zyr");
    {
      std::unique_ptr<zyrtest::ChildProcess> holder = copying(zyrBak, dir.file("copy.zyr"), false);
      ASSERT_EQ(holder->readLine(), "copied");
      holder->kill();
      EXPECT_EQ(holder->wait(), 128 + 9);
    }
    ASSERT_TRUE(exists(zyrBak + ".lck"));
    std::string name = zyrBak;
    if (restoring)
      api.restoreBakFiles(name);
    else
      api.removeBakFiles(dir.file("run"));
    const std::vector<std::string> left = dir.listing();
    for (const std::string &backup : {"run.zyr.bak", "run.zyr.bak.lck", "run.wez.bak", "run.wez.bak.lck"})
      EXPECT_EQ(std::count(left.begin(), left.end(), backup), 0) << backup;
    if (restoring)
      EXPECT_EQ(markOf(dir.file("run.zyr")), "backup");
    else
      EXPECT_EQ(read(dir.file("run.zyr")), "current zyr");
  }
}

const char *const kRestoreFiles[] = {"run.zyr", "run.wez", "run.zyr.bak", "run.wez.bak"};

// The bytes that writeRestoreFiles gives the file of the name: large enough to take more than one
// write to copy.
std::string restoreBytes(const std::string &name) { return name + std::string(300000, name[5]) + name; }

// A restore of <dir>/run whose four files hold bytes of their own.
void writeRestoreFiles(const zyrtest::ScratchDir &dir) {
  for (const char *name : kRestoreFiles)
    write(dir.file(name), restoreBytes(name));
}

// The four files of a restore of <dir>/run: what each is, and for a regular file whose bytes of
// the four it holds. Nothing is opened but a regular file, so a look at a pipe does not wait.
std::vector<std::string> restoreState(const zyrtest::ScratchDir &dir) {
  std::vector<std::string> state;
  for (const char *name : kRestoreFiles) {
    const std::string path = dir.file(name);
    struct stat status;
    char target[256] = {};
    std::string what = "other bytes";
    if (lstat(path.c_str(), &status) != 0)
      what = "missing";
    else if (S_ISLNK(status.st_mode) && readlink(path.c_str(), target, sizeof target - 1) > 0)
      what = std::string("a link to ") + target;
    else if (!S_ISREG(status.st_mode))
      what = S_ISDIR(status.st_mode) ? "a directory" : "special";
    else
      for (const char *original : kRestoreFiles)
        if (read(path) == restoreBytes(original))
          what = std::string("the bytes of ") + original;
    state.push_back(std::string(name) + ": " + what);
  }
  return state;
}

// A restore in a child of this process (it may be armed with faults, run as another user, or
// hang): "restored", or the exception's method text, code and text.
std::string restoreInChild(const std::string &backup, const char *faultPlan = nullptr, const char *faultFile = nullptr,
                           long user = -1) {
  return zyrtest::inChild(
      [&] {
        if (faultPlan != nullptr && zyrFault_arm(faultPlan, faultFile) != 1)
          return std::string("the seam cannot be armed");
        if (user >= 0 && !zyrtest::becomeUser(static_cast<uid_t>(user)))
          return std::string("the user cannot be taken");
        std::string name = backup;
        try {
          qiv::ZYRAPI::instance().restoreBakFiles(name);
          return std::string("restored");
        } catch (const qiv::zyrapi::zyr &e) {
          return e.getMethod() + " " + std::to_string(e.getCode()) + " " + e.getText();
        }
      },
      20);
}

// A restore in a process of its own, held at the pause point.
std::unique_ptr<zyrtest::ChildProcess> restoring(const std::string &backup, const std::string &pauseAt) {
  return std::make_unique<zyrtest::ChildProcess>(helper("restore_bak"), std::vector<std::string>{backup},
                                                 std::vector<std::pair<std::string, const char *>>{
                                                     {"ZYR_USE_LOCAL_UNITS", "1"}, {"ZYR_SESSION_FILE", nullptr}},
                                                 "", pauseAt);
}

// A backup that is a directory or a pipe is refused as one that cannot be copied, saying why, before
// anything is touched: a pipe without a writer keeps nothing waiting.
TEST_F(Lifecycle, ABackupThatIsNoRegularFileChangesNothing) {
  for (const char *backup : {"run.zyr.bak", "run.wez.bak"})
    for (const bool pipe : {false, true}) {
      SCOPED_TRACE(std::string(backup) + (pipe ? " a pipe" : " a directory"));
      zyrtest::ScratchDir dir("bak", m_dir);
      writeRestoreFiles(dir);
      ASSERT_EQ(unlink(dir.file(backup).c_str()), 0);
      ASSERT_EQ(pipe ? mkfifo(dir.file(backup).c_str(), 0600) : mkdir(dir.file(backup).c_str(), 0700), 0);
      const std::vector<std::string> files = dir.listing(), state = restoreState(dir);
      EXPECT_EQ(restoreInChild(dir.file("run.zyr.bak")),
                "zyrCopyFile 10020 Unable to copy the file " + dir.file(backup) + ".\n" +
                    (pipe ? "It is not a regular file" : "Is a directory") + ".\n");
      EXPECT_EQ(restoreState(dir), state);
      EXPECT_EQ(dir.listing(), files);
    }
}

// A disc that fills while either copy is made leaves all four files as they were, and says so.
TEST_F(Lifecycle, ARestoreOntoAFullDiscChangesNothing) {
  for (const char *filling : {"run.zyr", "run.wez"}) {
    SCOPED_TRACE(filling);
    zyrtest::ScratchDir dir("full", m_dir);
    writeRestoreFiles(dir);
    const std::vector<std::string> files = dir.listing(), state = restoreState(dir);
    // Only the copy beside the one file meets the full disc.
    EXPECT_EQ(restoreInChild(dir.file("run.wez.bak"), "full@1", filling),
              "zyrCopyFile 10005 Unable to copy the file " + dir.file(filling) + ".bak.\nNo space left on device.\n");
    EXPECT_EQ(restoreState(dir), state);
    EXPECT_EQ(dir.listing(), files);
  }
}

// A backup the caller may not read cannot be copied, and is refused as such before anything is
// touched (its lock cannot be tried either, which tells nothing of its use). Root reads every file,
// so a privileged test restores as a user that nobody is, in a directory of that user's, from
// whom one backup of root's is kept.
TEST_F(Lifecycle, AnUnreadableBackupIsOneThatCannotBeCopied) {
  const bool privileged = geteuid() == 0;
  const uid_t user = privileged ? zyrtest::unusedUserId() : geteuid();
  if (privileged) {
    ASSERT_EQ(chmod(m_dir.c_str(), 0711), 0);
    if (!zyrtest::othersCanReach(m_dir))
      GTEST_SKIP() << "another user cannot reach " << m_dir << ": a directory on its way lets only its owner in";
  }
  for (const char *unreadable : {"run.zyr.bak", "run.wez.bak"}) {
    SCOPED_TRACE(unreadable);
    zyrtest::ScratchDir dir("unreadable", m_dir);
    writeRestoreFiles(dir);
    const std::vector<std::string> files = dir.listing(), state = restoreState(dir);
    const std::string backup = dir.file(unreadable);
    for (const char *name : kRestoreFiles)
      if (privileged && dir.file(name) != backup)
        ASSERT_EQ(chown(dir.file(name).c_str(), user, user), 0);
    ASSERT_EQ(chown(dir.path().c_str(), user, user), 0);
    ASSERT_EQ(chmod(backup.c_str(), privileged ? 0600 : 0), 0);
    if (!privileged && access(backup.c_str(), R_OK) == 0)
      GTEST_SKIP() << "this process reads files whatever their modes, and cannot be another user";
    EXPECT_EQ(restoreInChild(dir.file("run.zyr.bak"), nullptr, nullptr, privileged ? static_cast<long>(user) : -1),
              "zyrCopyFile 10005 Unable to copy the file " + backup + ".\nPermission denied.\n");
    ASSERT_EQ(chmod(backup.c_str(), 0644), 0);
    EXPECT_EQ(restoreState(dir), state);
    EXPECT_EQ(dir.listing(), files);
  }
}

// A file that another takes the place of after the restore looked at it (here a link to a device)
// is kept, and so is every other file: the names are looked at again before either is renamed.
TEST_F(Lifecycle, AFileReplacedAfterTheLookKeepsTheRestoreFromBoth) {
  for (const char *replaced : {"run.zyr", "run.wez"}) {
    SCOPED_TRACE(replaced);
    zyrtest::ScratchDir dir("link", m_dir);
    writeRestoreFiles(dir);
    const std::vector<std::string> files = dir.listing();
    std::unique_ptr<zyrtest::ChildProcess> restore = restoring(dir.file("run.zyr.bak"), "restore.looked");
    ASSERT_EQ(restore->waitPause(), "restore.looked");
    ASSERT_EQ(symlink("/dev/null", dir.file("link").c_str()), 0);
    ASSERT_EQ(rename(dir.file("link").c_str(), dir.file(replaced).c_str()), 0);
    const std::vector<std::string> state = restoreState(dir);
    restore->release();
    EXPECT_EQ(restore->readLine(), "threw restoreBakFiles 10020 Unable to overwrite the existing file " +
                                       dir.file(replaced) +
                                       ".|Another file has taken its name while the new one was written.|");
    EXPECT_EQ(restore->wait(), 1);
    EXPECT_EQ(restoreState(dir), state);
    EXPECT_EQ(dir.listing(), files);
    EXPECT_EQ(read("/dev/null"), "");
  }
}

// Should the second rename be refused all the same (another file took the name of run.wez after
// the look), run.zyr stays restored, and the refusal says so: which file was restored and which
// not, with both backups kept.
TEST_F(Lifecycle, ASecondRenameRefusedTellsWhatWasRestored) {
  zyrtest::ScratchDir dir("between", m_dir);
  writeRestoreFiles(dir);
  write(dir.file("other"), "another file");
  std::vector<std::string> state = restoreState(dir);
  state[0] = "run.zyr: the bytes of run.zyr.bak";
  state[1] = "run.wez: other bytes";
  std::unique_ptr<zyrtest::ChildProcess> restore = restoring(dir.file("run.zyr.bak"), "restore.between");
  ASSERT_EQ(restore->waitPause(), "restore.between");
  ASSERT_EQ(rename(dir.file("other").c_str(), dir.file("run.wez").c_str()), 0);
  restore->release();
  EXPECT_EQ(restore->readLine(), "threw restoreBakFiles 10020 Unable to overwrite the existing file " +
                                     dir.file("run.wez") +
                                     ".|Another file has taken its name while the new one was written.|" +
                                     dir.file("run.zyr") + " has been restored from its backup, " +
                                     dir.file("run.wez") + " has not; both backups are kept.|");
  EXPECT_EQ(restore->wait(), 1);
  EXPECT_EQ(restoreState(dir), state);
  EXPECT_EQ(read(dir.file("run.wez")), "another file");
  EXPECT_EQ(dir.listing(), (std::vector<std::string>{"run.wez", "run.wez.bak", "run.zyr", "run.zyr.bak"}));
}

// A restore killed between its two renames leaves each file whole: the database restored, the
// definition file as it was, and both backups, which the next restore puts back (clearing what the
// killed one left beside them).
TEST_F(Lifecycle, ARestoreKilledBetweenItsRenamesLeavesEachFileWhole) {
  qiv::ZYRAPI &api = qiv::ZYRAPI::instance();
  zyrtest::ScratchDir dir("kill", m_dir);
  writeRestoreFiles(dir);
  std::vector<std::string> state = restoreState(dir);
  state[0] = "run.zyr: the bytes of run.zyr.bak";
  {
    std::unique_ptr<zyrtest::ChildProcess> restore = restoring(dir.file("run.zyr.bak"), "restore.between");
    ASSERT_EQ(restore->waitPause(), "restore.between");
    restore->kill();
    EXPECT_EQ(restore->wait(), 128 + 9);
  }
  EXPECT_EQ(restoreState(dir), state);
  std::string name = dir.file("run.wez.bak");
  api.restoreBakFiles(name);
  EXPECT_EQ(name, dir.file("run.wez"));
  EXPECT_EQ(dir.listing(), (std::vector<std::string>{"run.wez", "run.zyr"}));
  EXPECT_EQ(read(dir.file("run.zyr")), restoreBytes("run.zyr.bak"));
  EXPECT_EQ(read(dir.file("run.wez")), restoreBytes("run.wez.bak"));
}

// Once both files are in place the restore is done, whatever becomes of the backups: a backup that
// another process opened after the first look stays under its holder, the other goes, the name of
// the definition file is handed back, and a warning tells the host that both files were restored
// and why the backup stays.
TEST_F(Lifecycle, ABackupOpenedOnceBothFilesArePlacedIsKeptWithAWarning) {
  zyrtest::ScratchDir dir("placed", m_dir);
  writeRestoreFiles(dir);
  const std::string zyr = dir.file("run.zyr"), wez = dir.file("run.wez"), zyrBak = zyr + ".bak";
  ASSERT_EQ(unlink(zyrBak.c_str()), 0);
  makeMarked(zyrBak, "backup");
  std::unique_ptr<zyrtest::ChildProcess> restore = restoring(zyrBak, "restore.placed");
  ASSERT_EQ(restore->waitPause(), "restore.placed");
  std::unique_ptr<zyrtest::ChildProcess> holder = copying(zyrBak, dir.file("copy.zyr"), false);
  ASSERT_EQ(holder->readLine(), "copied");
  restore->release();
  EXPECT_EQ(restore->readLine(), "restored " + wez);
  EXPECT_EQ(restore->readLine(), "warned restoreBakFiles " + zyr + " and " + wez +
                                     " have been restored from their backups, but " + zyrBak +
                                     " is kept.|Unable to remove the file " + zyrBak + ".|It is in use by process " +
                                     std::to_string(holder->pid()) + ".|");
  EXPECT_EQ(restore->readLine(), "");
  EXPECT_EQ(restore->wait(), 0);
  EXPECT_EQ(dir.listing(),
            (std::vector<std::string>{"copy.zyr", "run.wez", "run.zyr", "run.zyr.bak", "run.zyr.bak.lck"}));
  EXPECT_EQ(read(wez), restoreBytes("run.wez.bak"));
  holder->closeInput();
  EXPECT_EQ(holder->wait(), 0);
  EXPECT_EQ(markOf(zyr), "backup");
}

// A final look at the backups that cannot try their locks (the restore is left no descriptor to
// open them with) keeps both, and says what is known: whether a process uses them cannot be told,
// and why. A backup reached through a symbolic link, whose lock is tried only through the name of
// its lock file, is told as itself, not as the lock file of a file in use.
TEST_F(Lifecycle, ABackupWhoseLockCannotBeTriedAtTheEndIsKeptAndToldSo) {
  zyrtest::ScratchDir dir("untried", m_dir);
  writeRestoreFiles(dir);
  const std::string zyr = dir.file("run.zyr"), wez = dir.file("run.wez");
  const std::string zyrBak = zyr + ".bak", wezBak = wez + ".bak";
  ASSERT_EQ(rename(wezBak.c_str(), dir.file("old.wez").c_str()), 0);
  ASSERT_EQ(symlink("old.wez", wezBak.c_str()), 0);
  // Given back once the call has returned: the sanitizers' checks of the rest need descriptors.
  std::unique_ptr<zyrtest::ChildProcess> restore = restoring(zyrBak, "restore.placed,restore_bak.returned");
  ASSERT_EQ(restore->waitPause(), "restore.placed");
  struct rlimit was;
  ASSERT_EQ(prlimit(restore->pid(), RLIMIT_NOFILE, nullptr, &was), 0);
  const struct rlimit none = {0, was.rlim_max};
  ASSERT_EQ(prlimit(restore->pid(), RLIMIT_NOFILE, &none, nullptr), 0);
  restore->release();
  ASSERT_EQ(restore->waitPause(), "restore_bak.returned");
  ASSERT_EQ(prlimit(restore->pid(), RLIMIT_NOFILE, &was, nullptr), 0);
  restore->release();
  const std::string untried =
      ".|Whether another process is using it cannot be told (its lock cannot be tried: Too many open files).|";
  EXPECT_EQ(restore->readLine(), "restored " + wez);
  EXPECT_EQ(restore->readLine(), "warned restoreBakFiles " + zyr + " and " + wez +
                                     " have been restored from their backups, but " + wezBak + " and " + zyrBak +
                                     " are kept.|Unable to remove the file " + wezBak + untried +
                                     "Unable to remove the file " + zyrBak + untried);
  EXPECT_EQ(restore->wait(), 0);
  EXPECT_EQ(dir.listing(), (std::vector<std::string>{"old.wez", "run.wez", "run.wez.bak", "run.zyr", "run.zyr.bak"}));
  EXPECT_EQ(read(zyr), restoreBytes("run.zyr.bak"));
  EXPECT_EQ(read(wez), restoreBytes("run.wez.bak"));
}

// The sweeps of every look of a copy or a restore, each look failing once (EIO) or finding nothing
// where a file stands (ENOENT), as shards that share the cases.
class LifecycleSweep : public Lifecycle, public testing::WithParamInterface<int> {
protected:
  // The plan of the case: the looks of the whole run fail in turn, then find nothing in turn.
  static std::string planOf(long number, long looks) {
    const bool nothing = number >= looks;
    return "look@" + std::to_string(number % looks + 1) + (nothing ? ":ENOENT" : ":EIO");
  }
  static int errorOf(const std::string &plan) { return plan.find("ENOENT") != std::string::npos ? ENOENT : EIO; }
};

// Whichever look of a copy over another database fails, once, or finds nothing, the answer is what
// stands on the disc: copied, the name holds the copy and the other database is gone (also where
// the copy could not be opened to work on, which the refusal says); refused, the name holds the
// other database as it was, and nothing of it lies under the library's mark.
TEST_P(LifecycleSweep, ACopyOverADatabaseAnswersAsTheDiscStandsWhicheverLookFails) {
  long number = 0, walked = 0;
  for (const bool work : {false, true}) {
    SCOPED_TRACE(work ? "working on the copy" : "working on the original");
    // The copy of the database open in the child, with the seam armed once it is open.
    const auto copy = [&](const zyrtest::ScratchDir &dir, const std::string &plan) {
      return zyrtest::inChild([&] {
        qiv::ZYRAPI &api = qiv::ZYRAPI::instance();
        api.openDB(dir.file("src.zyr"), true);
        zyrFault_arm(plan.c_str(), dir.path().c_str());
        std::string answer = "copied";
        try {
          api.copyZyr(dir.file("dst.zyr"), work, false);
        } catch (const qiv::Error &e) {
          answer = "threw " + e.getText();
        }
        const long looks = zyrFault_passes(ZYR_FAULT_LOOK);
        zyrFault_disarm();
        zyrDatabase_closeAll(nullptr);
        return plan.empty() ? std::to_string(looks) : answer;
      });
    };
    zyrtest::ScratchDir counted("count", m_dir);
    makeMarked(counted.file("src.zyr"), "source");
    makeMarked(counted.file("dst.zyr"), "other");
    const long looks = std::stol(copy(counted, ""));
    ASSERT_GT(looks, 4);
    for (long n = 0; n < 2 * looks; ++n, ++number) {
      if (!zyrtest::inShard(number, GetParam()))
        continue;
      ++walked;
      const std::string plan = planOf(n, looks);
      SCOPED_TRACE(plan);
      zyrtest::ScratchDir dir("looks", m_dir);
      makeMarked(dir.file("src.zyr"), "source");
      makeMarked(dir.file("dst.zyr"), "other");
      const std::string others = read(dir.file("dst.zyr"));
      const std::string answer = copy(dir, plan);
      // A copy made that could not be opened to work on says that it has been made.
      const bool copied = answer == "copied" || answer.find("has been copied to") != std::string::npos;
      EXPECT_EQ(markOf(dir.file("dst.zyr")), copied ? "source" : "other") << answer;
      if (answer != "copied") {
        // The look is told as itself.
        EXPECT_NE(answer.find(std::strerror(errorOf(plan))), std::string::npos) << answer;
        EXPECT_EQ(answer.find("already exist"), std::string::npos) << answer;
      }
      EXPECT_EQ(markOf(dir.file("src.zyr")), "source");
      for (const std::string &name : dir.listing())
        if (name != "dst.zyr")
          EXPECT_TRUE(read(dir.file(name)) != others) << name << " holds the other database";
    }
  }
  EXPECT_GT(walked, 0);
}

// Whichever look of a restore fails, once, or finds nothing, the answer is what stands on the disc:
// a file the answer says is restored holds its backup's bytes, and one it says is not holds its
// own; refused, both backups are kept. The bytes a restored file held before are gone, not kept
// under the library's mark.
TEST_P(LifecycleSweep, ARestoreAnswersAsTheDiscStandsWhicheverLookFails) {
  zyrtest::ScratchDir counted("count", m_dir);
  writeRestoreFiles(counted);
  const long looks = std::stol(zyrtest::inChild([&] {
    zyrFault_arm("", counted.path().c_str());
    std::string name = counted.file("run.zyr.bak");
    qiv::ZYRAPI::instance().restoreBakFiles(name);
    return std::to_string(zyrFault_passes(ZYR_FAULT_LOOK));
  }));
  ASSERT_GT(looks, 4);
  for (long n = 0; n < 2 * looks; ++n) {
    if (!zyrtest::inShard(n, GetParam()))
      continue;
    const std::string plan = planOf(n, looks);
    SCOPED_TRACE(plan);
    zyrtest::ScratchDir dir("looks", m_dir);
    writeRestoreFiles(dir);
    const std::string answer = restoreInChild(dir.file("run.zyr.bak"), plan.c_str(), dir.path().c_str());
    const bool zyrBack = answer == "restored" || answer.find(dir.file("run.zyr") + " has been restored") != std::string::npos;
    const bool wezBack = answer == "restored" || answer.find(dir.file("run.wez") + " has been restored") != std::string::npos;
    std::vector<std::string> state = restoreState(dir);
    EXPECT_EQ(state[0], std::string("run.zyr: the bytes of ") + (zyrBack ? "run.zyr.bak" : "run.zyr")) << answer;
    EXPECT_EQ(state[1], std::string("run.wez: the bytes of ") + (wezBack ? "run.wez.bak" : "run.wez")) << answer;
    if (answer != "restored") {
      // A backup that the first looks find nothing under is not found: that is their own answer.
      const bool told = answer.find(std::strerror(errorOf(plan))) != std::string::npos ||
                        (errorOf(plan) == ENOENT && answer.find("Could not find") != std::string::npos);
      EXPECT_TRUE(told) << answer;
      EXPECT_EQ(state[2], "run.zyr.bak: the bytes of run.zyr.bak") << answer;
      EXPECT_EQ(state[3], "run.wez.bak: the bytes of run.wez.bak") << answer;
    }
    for (const std::string &name : dir.listing())
      if (name.find(".zyr-pid") != std::string::npos || name.find(".wez-pid") != std::string::npos)
        EXPECT_TRUE(read(dir.file(name)) != restoreBytes("run.zyr") && read(dir.file(name)) != restoreBytes("run.wez"))
            << name << " holds the bytes a restored file held";
  }
}

INSTANTIATE_TEST_SUITE_P(Shard, LifecycleSweep, testing::Range(0, zyrtest::kSweepShards));

// A backup whose removal fails once both files are restored (the disc failed) is kept, and the
// warning says so with the system's reason, as for a backup in use; the other backup goes.
TEST_F(Lifecycle, ABackupWhoseRemovalFailsAtTheEndIsKeptWithAWarning) {
  for (const std::string error : {"EIO", "ENOSPC"}) {
    SCOPED_TRACE(error);
    zyrtest::ScratchDir dir("unremoved", m_dir);
    writeRestoreFiles(dir);
    const std::string zyr = dir.file("run.zyr"), wez = dir.file("run.wez"), zyrBak = zyr + ".bak";
    const std::string plan = "remove@1:" + error;
    zyrtest::ChildProcess restore(helper("restore_bak"), {zyrBak},
                                  {{"ZYR_USE_LOCAL_UNITS", "1"},
                                   {"ZYR_SESSION_FILE", nullptr},
                                   {"ZYR_FAULT_AT", plan.c_str()},
                                   {"ZYR_FAULT_FILE", "run.zyr.bak"}});
    EXPECT_EQ(restore.readLine(), "restored " + wez);
    EXPECT_EQ(restore.readLine(), "warned restoreBakFiles " + zyr + " and " + wez +
                                      " have been restored from their backups, but " + zyrBak +
                                      " is kept.|Unable to remove the file " + zyrBak + ".|" +
                                      strerror(error == "EIO" ? EIO : ENOSPC) + ".|");
    EXPECT_EQ(restore.readLine(), "");
    EXPECT_EQ(restore.wait(), 0);
    EXPECT_EQ(dir.listing(), (std::vector<std::string>{"run.wez", "run.zyr", "run.zyr.bak"}));
    EXPECT_EQ(read(zyr), restoreBytes("run.zyr.bak"));
    EXPECT_EQ(read(zyrBak), restoreBytes("run.zyr.bak"));
  }
}

// A dump is written into the file under the name, which stays the same file: every hard link to it
// shows the dump. A database in use stays as it is, whichever name leads to it.
TEST_F(Lifecycle, ADumpIsWrittenIntoTheFileItself) {
  qiv::ZYRAPI &api = qiv::ZYRAPI::instance();
  const zyrtest::EnvGuard talkative("QIV_NO_DEBUG_OUT", nullptr);
  api.openDB(file("dump.zyr"), false);
  const std::string dump = file("dump.txt"), linked = file("linked.txt");
  write(dump, "old");
  ASSERT_EQ(link(dump.c_str(), linked.c_str()), 0);
  api.zyrDebugPrint(0, linked);
  EXPECT_NE(read(dump), "old");
  EXPECT_EQ(read(linked), read(dump));

  zyrtest::ScratchDir dir("held", m_dir);
  const std::string theirs = dir.file("theirs.zyr"), alias = dir.file("alias.txt");
  makeMarked(dir.file("work.zyr"), "work");
  std::unique_ptr<zyrtest::ChildProcess> worker = copying(dir.file("work.zyr"), theirs, true);
  ASSERT_EQ(worker->readLine(), "copied");
  ASSERT_EQ(link(theirs.c_str(), alias.c_str()), 0);
  const std::string bytes = read(theirs);
  EXPECT_EQ(failure("zyrDebugPrint", [&] { api.zyrDebugPrint(0, alias); }).getText(),
            "Unable to overwrite the existing file " + alias + ".\nIt is in use by process " +
                std::to_string(worker->pid()) + ".\n");
  EXPECT_EQ(read(theirs), bytes);
  worker->closeInput();
  EXPECT_EQ(worker->wait(), 0);
}

// A file that an ordinary user may write gets the dump in a directory where the user may make no
// file.
TEST_F(Lifecycle, ADumpReachesAFileTheUserMayWriteInADirectoryTheyMayNot) {
  if (geteuid() != 0)
    GTEST_SKIP() << "needs an ordinary user, whom a read-only directory keeps out";
  qiv::ZYRAPI &api = qiv::ZYRAPI::instance();
  const zyrtest::EnvGuard talkative("QIV_NO_DEBUG_OUT", nullptr);
  api.openDB(file("dump.zyr"), false);
  api.zyrDebugPrint(0, file("dump.txt"));
  const std::string expected = read(file("dump.txt"));
  ASSERT_NE(expected, "");
  zyrtest::ScratchDir shut("shut", m_dir);
  const std::string open = shut.file("open.txt");
  write(open, "old");
  ASSERT_EQ(chmod(open.c_str(), 0666), 0);
  ASSERT_EQ(chmod(shut.path().c_str(), 0555), 0);
  // Entered first: the directories above it may be closed to the user.
  const std::string found = zyrtest::inChild([&] {
    if (chdir(shut.path().c_str()) != 0 || setgid(65534) != 0 || setuid(65534) != 0)
      return std::string("the user cannot be changed");
    try {
      api.zyrDebugPrint(0, "open.txt");
    } catch (const qiv::Error &e) {
      return e.getText();
    }
    return std::string();
  });
  EXPECT_EQ(found, "");
  EXPECT_EQ(read(open), expected);
  EXPECT_EQ(shut.listing(), std::vector<std::string>{"open.txt"});
}

// A name that a look cannot tell of is refused, saying why, and nothing is opened, removed,
// restored, copied or written by what the look could not see.
TEST_F(Lifecycle, ANameThatCannotBeLookedAtIsRefusedWithWhy) {
  qiv::ZYRAPI &api = qiv::ZYRAPI::instance();
  const zyrtest::EnvGuard talkative("QIV_NO_DEBUG_OUT", nullptr);
  const auto cannotTell = [](const std::string &name) {
    return "Whether the file\n\n" + name + "\n\nexists cannot be told (stat: " + std::strerror(EIO) + ").\n";
  };
  for (const char *name : {"seen.zyr", "seen.wez", "seen.zyr.bak", "seen.wez.bak"})
    write(file(name), name);
  zyrFault_arm("look@1+", "seen.zyr");
  EXPECT_EQ(failure("startSimulation", [&] { api.openDB(file("seen.zyr"), true); }).getText(),
            cannotTell(file("seen.zyr")));
  // The removal's look at whether the database is in use is the first to fail.
  EXPECT_EQ(failure("deleteZyrFile", [&] { api.removeCurZyr(file("seen.zyr")); }).getText(),
            "Unable to remove the file " + file("seen.zyr") +
                ".\nWhether another process is using it cannot be told (it cannot be looked at: " +
                std::strerror(EIO) + ").\n");
  // The backups are looked at first, then the files they go back to.
  std::string backup = file("seen.zyr.bak");
  for (const char *plan : {"look@1", "look@2"}) {
    zyrFault_arm(plan, "seen.wez");
    EXPECT_EQ(failure("restoreBakFiles", [&] { api.restoreBakFiles(backup); }).getText(),
              cannotTell(file(plan[5] == '1' ? "seen.wez.bak" : "seen.wez")));
  }
  zyrFault_disarm();
  api.openDB(file("open.zyr"), false);
  zyrFault_arm("look@1+", "seen");
  EXPECT_EQ(failure("copyZYR", [&] { api.copyZyr(file("seen.zyr"), false, false); }).getText(),
            cannotTell(file("seen.zyr")));
  EXPECT_EQ(failure("zyrDebugPrint", [&] { api.zyrDebugPrint(0, file("seen.txt")); }).getText(),
            cannotTell(file("seen.txt")));
  zyrFault_disarm();
  for (const char *name : {"seen.zyr", "seen.wez", "seen.zyr.bak", "seen.wez.bak"})
    EXPECT_EQ(read(file(name)), name);
  EXPECT_FALSE(exists(file("seen.txt")));
}

TEST_F(Lifecycle, WorkingDirectoryLosesOneTrailingSeparator) {
  qiv::ZYRAPI &api = qiv::ZYRAPI::instance();
  api.setWorkingDirectory(m_dir + "/");
  char *stored = zyrApplication_getWorkingDirectory();
  ASSERT_NE(stored, nullptr);
  char *expected = realpath(m_dir.c_str(), nullptr);
  EXPECT_STREQ(stored, expected);
  free(expected);
  zyrCString_free(stored);

  for (const char *empty : {"/", "\\", ""})
    EXPECT_EQ(failure("setWorkingDirectory", [&] { api.setWorkingDirectory(empty); }).getText(),
              "Empty directory provided for ZYR working directory.")
        << empty;
  const qiv::zyrapi::zyr missing =
      failure("setWorkingDirectory", [&] { api.setWorkingDirectory(file("absent") + "/"); });
  EXPECT_FALSE(missing.getText().empty());
}

TEST_F(Lifecycle, FilesAndPaths) {
  qiv::ZYRAPI &api = qiv::ZYRAPI::instance();
  char *real = realpath(m_dir.c_str(), nullptr);
  const std::string dir = real;
  free(real);
  EXPECT_EQ(api.getAbsolutePath(m_dir + "/."), dir);
  EXPECT_EQ(api.getAbsolutePath(file("absent")), "");
  EXPECT_EQ(api.getAbsoluteFileName(m_dir + "/./x.zyr"), dir + "/x.zyr");

  // Dumps go nowhere while QIV_NO_DEBUG_OUT is set, to any value.
  api.openDB(file("dump.zyr"), false);
  {
    const zyrtest::EnvGuard quiet("QIV_NO_DEBUG_OUT", "");
    api.zyrDebugPrint(0, file("dump.txt"));
    EXPECT_FALSE(exists(file("dump.txt")));
  }
  const zyrtest::EnvGuard talkative("QIV_NO_DEBUG_OUT", nullptr);
  api.zyrDebugPrint(0, file("dump.txt"));
  EXPECT_TRUE(exists(file("dump.txt")));

  // A file that exists but cannot be removed (here: a directory) fails with nothing queued.
  ASSERT_EQ(mkdir(file("stuck.zyr").c_str(), 0700), 0);
  const qiv::zyrapi::zyr stuck = failure("deleteZyrFile", [&] { api.removeCurZyr(file("stuck.zyr")); });
  EXPECT_EQ(stuck.getText(), "Unable to retrieve error from ZYR");
  EXPECT_FALSE(api.isDBOpen());
}

} // namespace

namespace {

// A host that set neither the units' directory nor the built-in table is told so, with the core's
// code: the words of the error are in its text, after the variables it looked at (the error's own
// two messages, which stay first).
TEST_F(Lifecycle, AnOpenWithoutUnitsSaysSoWithTheErrorsCode) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const std::string db = file("units.zyr");
  const std::string empty = m_scratch.path();
  EXPECT_EXIT(
      {
        unsetenv("ZYR_USE_LOCAL_UNITS");
        unsetenv("WEZ5_UNITS_DIR");
        unsetenv("WEZ_DATA_DIR");
        if (chdir(empty.c_str()) != 0)
          std::exit(2);
        try {
          qiv::ZYRAPI::instance().openDB(db, false);
        } catch (const qiv::Error &e) {
          std::fprintf(stderr, "code=%d text=%s\n", e.getCode(), e.getText().c_str());
          std::exit(0);
        }
        std::exit(1);
      },
      testing::ExitedWithCode(0),
      "code=20009 text=WEZ5_UNITS_DIR = NOT SET\nWEZ_DATA_DIR   = NOT SET\nThe unit definition file was not "
      "found\\. Set WEZ5_UNITS_DIR");
}

} // namespace
