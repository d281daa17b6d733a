// Opening, copying, removing and checkpointing the database of the ZYRAPI object against the real
// core, with the files it leaves on disk; backups, the working directory and model dumps.
#include "ClassesTestSupport.h"
#include "Database.h"
#include "ZYRAPI.h"
#include "zyrApplication.h"
#include "zyrCString.h"

#include "zyrAPI.h"
#include "zyrTestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

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
// and the holder then writes without hearing of a lock left by a program that ended.
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
  failure("restoreBakFiles", [&] { api.restoreBakFiles(only); });
  EXPECT_EQ(read(file("only.wez")), "current wez");
  EXPECT_EQ(read(file("only.zyr")), "current zyr");
  EXPECT_TRUE(exists(file("only.wez.bak")));
  EXPECT_EQ(only, file("only.wez.bak"));
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
