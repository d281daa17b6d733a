#include "ObjectTestSupport.h"

#include "Database.h"
#include "zyrCString.h"
#include "zyrDirectoryHandle.h"
#include "zyrFault.h"
#include "zyrHeldTemporary.h"
#include "zyrLeftovers.h"
#include "zyrStateManager.h"
#include "zyrSystem.h"
#include "zyrTestChild.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

namespace {

using objecttest::keyOf;
using objecttest::TestModel;
using objecttest::TestThing;

class ImportTest : public objecttest::ObjectStoreTest {
protected:
  void TearDown() override {
    if (m_repository != nullptr)
      Repository_close(m_repository, -1);
    ObjectStoreTest::TearDown();
  }
  // A database whose model's topology is referred to by a thing of count 8; count 9 was undone.
  void makeSource(const std::string &name) {
    Repository *source = Repository_new(name.c_str());
    ASSERT_NE(source, nullptr);
    TestModel *model = static_cast<TestModel *>(Repository_getPrimaryModel(source));
    m_sourceModelKey = keyOf(model);
    m_sourceRepositoryKey = keyOf(source);
    TestThing *thing = objecttest::Thing_new();
    objecttest::Thing_setOther(thing, model->m_topology);
    objecttest::Thing_setCount(thing, 8);
    const int32_t state = Repository_commit(source);
    objecttest::Thing_setCount(thing, 9);
    zyrObject_new("Region");
    Repository_commit(source);
    Repository_gotoState(source, state);
    Repository_close(source, -1);
  }

  Repository *m_repository = nullptr;
  std::string m_sourceModelKey;
  std::string m_sourceRepositoryKey;
};

TEST_F(ImportTest, ModelOfAnotherDatabaseArrivesUnderNewKeys) {
  makeSource(file("source.zyr"));
  m_repository = Repository_new(file("target").c_str());
  ASSERT_NE(m_repository, nullptr);
  const int32_t before = Repository_commit(m_repository);
  void *imported = nullptr;
  ASSERT_EQ(Repository_importModel(m_repository, file("source").c_str(), &imported), 1);
  ASSERT_NE(imported, nullptr);
  EXPECT_EQ(Repository_getCurrentState(m_repository), -(before + 1));
  TestModel *model = static_cast<TestModel *>(imported);
  EXPECT_NE(keyOf(model), m_sourceModelKey);
  EXPECT_NE(model, Repository_getPrimaryModel(m_repository));
  // The other file's Repository became this one.
  EXPECT_EQ(model->m_repository, m_repository);
  EXPECT_EQ(Repository_getSingletonByTypeName(m_repository, "Repository"), m_repository);
  ASSERT_NE(model->m_topology, nullptr);
  TestThing *thing = static_cast<TestThing *>(Repository_getSingletonByTypeName(m_repository, "Assembly"));
  ASSERT_NE(thing, nullptr);
  EXPECT_EQ(thing->m_other, model->m_topology);
  // Only what the other file held at its current state.
  EXPECT_EQ(thing->m_count, 8);
  EXPECT_EQ(Repository_getSingletonByTypeName(m_repository, "Region"), nullptr);
  EXPECT_TRUE(takeErrors().empty());

  // Undo takes the imported objects away again.
  Repository_commit(m_repository);
  Repository_gotoState(m_repository, before);
  EXPECT_EQ(Repository_getSingletonByTypeName(m_repository, "Assembly"), nullptr);
}

TEST_F(ImportTest, ImportFailures) {
  m_repository = Repository_new(file("target").c_str());
  const int32_t before = Repository_commit(m_repository);
  void *model = m_repository;
  EXPECT_EQ(Repository_importModel(m_repository, file("absent").c_str(), &model), 0);
  EXPECT_EQ(model, nullptr);
  Database *empty = Database_new(file("empty").c_str());
  Database_delete(empty);
  EXPECT_EQ(Repository_importModel(m_repository, file("empty").c_str(), &model), 0);
  EXPECT_EQ(takeErrors(),
            (std::vector<std::string>{"10026: The ZYR database\n\n" + file("absent.zyr") + "\n\ndoes not exist.\n",
                                      "10020: The requested ZYR database\n\n" + file("empty.zyr") +
                                          "\n\ndoes not appear to contain a valid model.\n"}));
  EXPECT_EQ(Repository_getCurrentState(m_repository), before);
}

class UpgradeTest : public objecttest::ObjectStoreTest {
protected:
  // A database stamped with an old version text, history kept at states 1 to 3.
  void makeOld(const std::string &name, const char *version, int32_t count = 2) {
    Repository *repository = Repository_new(name.c_str());
    TestThing *thing = objecttest::Thing_new();
    objecttest::Thing_setCount(thing, 1);
    Repository_commit(repository);
    objecttest::Thing_setCount(thing, count);
    Repository_commit(repository);
    Repository_close(repository, -1);
    Database *database = Database_new(name.c_str());
    Database_setString(database, 0, nullptr, "Version", version);
    Database_delete(database);
  }
  // The count of the one thing of the database (-1: none could be read).
  int32_t countOf(const std::string &name) {
    Repository *repository = Repository_new(name.c_str());
    if (repository == nullptr)
      return -1;
    TestThing *thing = static_cast<TestThing *>(Repository_getSingletonByTypeName(repository, "Assembly"));
    const int32_t count = thing != nullptr ? thing->m_count : -1;
    Repository_close(repository, -1);
    return count;
  }
  int32_t versionOf(const std::string &name) {
    Database *database = Database_new(name.c_str());
    const int32_t version = Database_getVersion(database);
    Database_delete(database);
    return version;
  }
};

TEST_F(UpgradeTest, CurrentFilesNeedNothing) {
  makeOld(file("new.zyr"), "11.0 (2003.03.28-00.00)");
  int upgraded = 5;
  EXPECT_EQ(zyrDatabaseUpgrade(file("new").c_str(), "", &upgraded), 1);
  EXPECT_EQ(upgraded, 0);
  EXPECT_EQ(versionOf(file("new.zyr")), 20030328);
}

TEST_F(UpgradeTest, InPlaceAndToANewName) {
  makeOld(file("old.zyr"), "5.0 (2003.03.27-23.59)");
  zyrStateManager *current = Repository_setCurrentStateManager(nullptr);
  Repository_setCurrentStateManager(current);
  int upgraded = 0;
  EXPECT_EQ(zyrDatabaseUpgrade(file("old.zyr").c_str(), file("other").c_str(), &upgraded), 1);
  EXPECT_EQ(upgraded, 1);
  EXPECT_EQ(versionOf(file("old.zyr")), 20030327);
  EXPECT_GE(versionOf(file("other.zyr")), 20030328);
  EXPECT_EQ(zyrDatabaseUpgrade(file("old.zyr").c_str(), file("other").c_str(), &upgraded), 0);

  EXPECT_EQ(zyrDatabaseUpgrade(file("old.zyr").c_str(), nullptr, &upgraded), 1);
  EXPECT_EQ(upgraded, 1);
  EXPECT_GE(versionOf(file("old.zyr")), 20030328);
  EXPECT_EQ(Repository_setCurrentStateManager(current), current);
  // Only the two databases are left, with no temporary file beside them.
  int files = 0;
  zyrDirectory *listing = zyrDirectory_open(m_dir.c_str());
  for (const char *name = zyrDirectory_next(listing); name != nullptr; name = zyrDirectory_next(listing))
    if (name[0] != '.')
      ++files;
  zyrDirectory_close(listing);
  EXPECT_EQ(files, 2);

  // The history went: the upgraded file holds state 1 only.
  Repository *repository = Repository_new(file("old.zyr").c_str());
  ASSERT_NE(repository, nullptr);
  EXPECT_EQ(Repository_getCurrentState(repository), 1);
  TestThing *thing = static_cast<TestThing *>(Repository_getSingletonByTypeName(repository, "Assembly"));
  ASSERT_NE(thing, nullptr);
  EXPECT_EQ(thing->m_count, 2);
  Repository_close(repository, -1);

  EXPECT_EQ(takeErrors(), (std::vector<std::string>{
                              "10020: The ZYR database can not be upgraded because the file\n\n" + file("other.zyr") +
                              "\n\nalready exists.\n"}));
  EXPECT_EQ(zyrDatabaseUpgrade(file("missing").c_str(), "", &upgraded), 0);
  EXPECT_EQ(takeErrors(), (std::vector<std::string>{"10026: The ZYR database\n\n" + file("missing.zyr") +
                                                    "\n\ndoes not exist.\n"}));
}

// An upgrade to a new name that cannot be looked at is refused saying so, before anything is
// copied: the file under the name keeps its bytes, and nothing is left beside it.
TEST_F(UpgradeTest, ANewNameThatCannotBeLookedAtIsRefusedAsSuch) {
  makeOld(file("old.zyr"), "5.0 (2003.03.27-23.59)");
  makeOld(file("other.zyr"), "5.0 (2003.03.27-23.59)", 7);
  const std::string bytes = zyrtest::readFile(file("other.zyr"));
  const std::vector<std::string> names = zyrtest::listing(m_dir);
  int upgraded = 0;
  ASSERT_EQ(zyrFault_arm("look@1", file("other.zyr").c_str()), 1);
  EXPECT_EQ(zyrDatabaseUpgrade(file("old.zyr").c_str(), file("other").c_str(), &upgraded), 0);
  EXPECT_EQ(zyrFault_failures(), 1);
  zyrFault_disarm();
  EXPECT_EQ(takeErrors(), (std::vector<std::string>{"10020: Whether the file\n\n" + file("other.zyr") +
                                                    "\n\nexists cannot be told (stat: " + std::strerror(EIO) +
                                                    ").\n"}));
  EXPECT_TRUE(zyrtest::readFile(file("other.zyr")) == bytes);
  EXPECT_EQ(zyrtest::listing(m_dir), names);
  EXPECT_EQ(versionOf(file("old.zyr")), 20030327);
}

// Through symbolic links an upgrade works on the files they lead to: in place, its copy is made
// beside the file and put in the file's place; to a new name that is a link leading nowhere yet,
// the database is made where the link leads. The links stay links, and nothing else is left.
TEST_F(UpgradeTest, ThroughLinksTheFilesAreUpgradedAndTheLinksStay) {
  const zyrtest::ScratchDir real("real", m_dir);
  makeOld(real.file("old.zyr"), "5.0 (2003.03.27-23.59)");
  ASSERT_EQ(symlink(real.file("old.zyr").c_str(), file("old.zyr").c_str()), 0);
  ASSERT_EQ(symlink(real.file("new.zyr").c_str(), file("new.zyr").c_str()), 0);
  int upgraded = 0;
  EXPECT_EQ(zyrDatabaseUpgrade(file("old").c_str(), file("new").c_str(), &upgraded), 1);
  EXPECT_EQ(zyrDatabaseUpgrade(file("old").c_str(), nullptr, &upgraded), 1);
  EXPECT_EQ(upgraded, 1);
  EXPECT_TRUE(takeErrors().empty());
  struct stat status;
  for (const char *name : {"old.zyr", "new.zyr"}) {
    EXPECT_TRUE(lstat(file(name).c_str(), &status) == 0 && S_ISLNK(status.st_mode)) << name;
    EXPECT_GE(versionOf(real.file(name)), 20030328) << name;
  }
  EXPECT_EQ(real.listing(), (std::vector<std::string>{"new.zyr", "old.zyr"}));
  EXPECT_EQ(m_scratch->listing().size(), 3u);
}

// An upgrade in place replaces the file only while nobody else has it open: another process's
// later changes would otherwise go with the old file.
TEST_F(UpgradeTest, InPlaceIsRefusedWhileAnotherProcessHoldsTheFile) {
  makeOld(file("old.zyr"), "5.0 (2003.03.27-23.59)");
  const std::string bytes = zyrtest::readFile(file("old.zyr"));
  zyrtest::ChildProcess other(std::string(ZYR_TEST_HELPER_DIR) + "/store_driver", {}, {}, m_dir);
  ASSERT_EQ(other.ask("open old.zyr"), "ok 3");
  int upgraded = 0;
  EXPECT_EQ(zyrDatabaseUpgrade(file("old.zyr").c_str(), nullptr, &upgraded), 0);
  EXPECT_EQ(upgraded, 0);
  const std::vector<std::string> errors = takeErrors();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].rfind("10012: The database\n\n", 0), 0u) << errors[0];
  EXPECT_EQ(zyrtest::readFile(file("old.zyr")), bytes);
  EXPECT_EQ(other.ask("close -1"), "ok 1");
  EXPECT_EQ(zyrDatabaseUpgrade(file("old.zyr").c_str(), nullptr, &upgraded), 1);
  EXPECT_EQ(upgraded, 1);
}

// An upgrade in place holds its copy from its making to its swap, through the copy's own open, the
// purge of it and its close: run as process 1 of a pid namespace of its own (as in a container),
// it meets another process's open beside it, which leaves the copy (and the purge's copy of it)
// alone, though a process of id 1 always runs here. Killed, it leaves them to the next open, and the
// old file as it was.
TEST_F(UpgradeTest, AKilledUpgradesCopiesGoAlsoFromAPidNamespaceOfItsOwn) {
  makeOld(file("old.zyr"), "5.0 (2003.03.27-23.59)");
  const std::string bytes = zyrtest::readFile(file("old.zyr"));
  zyrtest::ChildProcess upgrading(std::string(ZYR_TEST_HELPER_DIR) + "/store_driver", {}, {}, m_dir,
                                  "swap.before-rename@1", true);
  if (!upgrading.inOwnPidNamespace())
    GTEST_SKIP() << "no pid namespace can be made here";
  ASSERT_TRUE(upgrading.send("upgrade old.zyr"));
  ASSERT_EQ(upgrading.waitPause(), "swap.before-rename");
  // The upgraded copy and the purge's copy of it, each with its lock file, beside the held file.
  const std::vector<std::string> copies = zyrtest::listing(m_dir);
  const auto count = [&copies](const std::string &prefix) {
    return std::count_if(copies.begin(), copies.end(),
                         [&prefix](const std::string &name) { return name.rfind(prefix, 0) == 0; });
  };
  ASSERT_EQ(copies.size(), 6u) << testing::PrintToString(copies);
  EXPECT_EQ(count("compact.zyr-pid1."), 2);
  EXPECT_EQ(count("update.zyr-pid1."), 2);
  EXPECT_EQ(count("old.zyr"), 2);
  Repository *other = Repository_new(file("other.zyr").c_str());
  ASSERT_NE(other, nullptr);
  Repository_close(other, -1);
  std::vector<std::string> beside = copies;
  beside.push_back("other.zyr");
  std::sort(beside.begin(), beside.end());
  EXPECT_EQ(zyrtest::listing(m_dir), beside);
  EXPECT_TRUE(takeErrors().empty());

  upgrading.kill();
  EXPECT_EQ(upgrading.wait(), 128 + 9);
  other = Repository_new(file("other.zyr").c_str());
  ASSERT_NE(other, nullptr);
  Repository_close(other, -1);
  EXPECT_EQ(zyrtest::listing(m_dir), (std::vector<std::string>{"old.zyr", "old.zyr.lck", "other.zyr"}));
  EXPECT_EQ(takeErrors().size(), 4u);
  EXPECT_EQ(zyrtest::readFile(file("old.zyr")), bytes);
}

// An upgrade in place works on the file its open holds. Held once it holds the file, the upgrade
// meets its directory renamed (as a file manager does) and another old database put under the old
// name: the held file is upgraded from itself, and the other file keeps its bytes.
TEST_F(UpgradeTest, InPlaceUpgradesTheFileItHoldsWhateverTheNameLeadsToMeanwhile) {
  const std::string a = file("A"), a2 = file("A2");
  ASSERT_EQ(mkdir(a.c_str(), 0700), 0);
  makeOld(a + "/old.zyr", "5.0 (2003.03.27-23.59)", 2);
  zyrtest::ChildProcess upgrading(std::string(ZYR_TEST_HELPER_DIR) + "/store_driver", {}, {}, m_dir,
                                  "upgrade.held");
  ASSERT_TRUE(upgrading.send("upgrade A/old.zyr"));
  ASSERT_EQ(upgrading.waitPause(), "upgrade.held");
  ASSERT_EQ(rename(a.c_str(), a2.c_str()), 0);
  ASSERT_EQ(mkdir(a.c_str(), 0700), 0);
  makeOld(a + "/old.zyr", "5.0 (2003.03.27-23.59)", 7);
  const std::string others = zyrtest::readFile(a + "/old.zyr");
  upgrading.release();
  EXPECT_EQ(upgrading.readLine(), "ok 1");
  EXPECT_EQ(zyrtest::readFile(a + "/old.zyr"), others);
  EXPECT_EQ(zyrtest::listing(a2), std::vector<std::string>{"old.zyr"});
  EXPECT_GE(versionOf(a2 + "/old.zyr"), 20030328);
  Repository *repository = Repository_new((a2 + "/old.zyr").c_str());
  ASSERT_NE(repository, nullptr);
  TestThing *thing = static_cast<TestThing *>(Repository_getSingletonByTypeName(repository, "Assembly"));
  ASSERT_NE(thing, nullptr);
  EXPECT_EQ(thing->m_count, 2);
  Repository_close(repository, -1);
  EXPECT_TRUE(takeErrors().empty());
}

// An upgrade reads the file its open holds. Held once it holds the file, it meets that file renamed
// within its directory and another old database put under the name. To a new name the new database
// is made from the held file; where the held file can be reached only by its name (no /proc), the
// upgrade is refused and makes nothing. In place it is refused either way: the name is no longer
// the held file's to replace. The other file keeps its bytes, and the held one its contents.
TEST_F(UpgradeTest, AFileRenamedInItsDirectoryIsUpgradedFromItselfOrNotAtAll) {
  for (const bool inPlace : {false, true}) {
    for (const bool proc : {true, false}) {
      SCOPED_TRACE(std::string(inPlace ? "in place" : "to a new name") + (proc ? "" : ", without /proc"));
      const zyrtest::ScratchDir a("A", m_dir), b("B", m_dir);
      makeOld(a.file("old.zyr"), "5.0 (2003.03.27-23.59)", 2);
      zyrtest::ChildProcess upgrading(std::string(ZYR_TEST_HELPER_DIR) + "/store_driver", {}, {}, m_dir,
                                      "upgrade.held");
      if (!proc)
        ASSERT_EQ(upgrading.ask("noproc"), "ok 0");
      ASSERT_TRUE(upgrading.send("upgrade " + a.file("old.zyr") + (inPlace ? "" : " " + b.file("new.zyr"))));
      ASSERT_EQ(upgrading.waitPause(), "upgrade.held");
      ASSERT_EQ(rename(a.file("old.zyr").c_str(), a.file("mine.zyr").c_str()), 0);
      makeOld(a.file("old.zyr"), "5.0 (2003.03.27-23.59)", 7);
      // The other file took over the lock file that the held one left under the name.
      EXPECT_EQ(takeErrors().size(), 1u);
      const std::string others = zyrtest::readFile(a.file("old.zyr"));
      upgrading.release();
      const bool made = !inPlace && proc;
      // In place, the swap's own refusal (the name is no longer the held file's) comes first;
      // without /proc the held file is not copied at all.
      EXPECT_EQ(upgrading.readLine(), made ? "ok 1" : inPlace && proc ? "fail 0 10008 10007" : "fail 0 10007");
      EXPECT_EQ(upgrading.ask("exit"), "");
      EXPECT_EQ(zyrtest::readFile(a.file("old.zyr")), others);
      EXPECT_EQ(a.listing(), (std::vector<std::string>{"mine.zyr", "old.zyr"}));
      EXPECT_EQ(b.listing(), made ? std::vector<std::string>{"new.zyr"} : std::vector<std::string>{});
      if (made) {
        EXPECT_GE(versionOf(b.file("new.zyr")), 20030328);
        EXPECT_EQ(countOf(b.file("new.zyr")), 2);
      }
      EXPECT_EQ(versionOf(a.file("mine.zyr")), 20030327);
      EXPECT_EQ(countOf(a.file("mine.zyr")), 2);
      EXPECT_EQ(takeErrors(), std::vector<std::string>{});
    }
  }
}

// An upgrade to a new name makes nothing under it until the whole upgraded file takes it, by a
// rename that never replaces: a database that another program makes there meanwhile (and holds
// open, or not) is refused as a file there from the start, and keeps its bytes; its holder goes on
// with it. Of two upgrades to one name, the second is refused so, and the first's result stays.
TEST_F(UpgradeTest, ANewNameTakenMeanwhileKeepsWhatItsMakerPutThere) {
  const std::string driver = std::string(ZYR_TEST_HELPER_DIR) + "/store_driver";
  for (const char *taker : {"holder", "closed", "upgrade"}) {
    SCOPED_TRACE(taker);
    const zyrtest::ScratchDir dir("D", m_dir);
    makeOld(dir.file("old.zyr"), "5.0 (2003.03.27-23.59)", 2);
    zyrtest::ChildProcess upgrading(driver, {}, {}, dir.path(), "upgrade.held");
    ASSERT_TRUE(upgrading.send("upgrade old.zyr new.zyr"));
    ASSERT_EQ(upgrading.waitPause(), "upgrade.held");
    std::unique_ptr<zyrtest::ChildProcess> other;
    if (std::string(taker) == "holder") {
      other = std::make_unique<zyrtest::ChildProcess>(driver, std::vector<std::string>{},
                                                      std::vector<std::pair<std::string, const char *>>{},
                                                      dir.path());
      ASSERT_EQ(other->ask("open new.zyr"), "ok 1");
    } else if (std::string(taker) == "closed") {
      makeOld(dir.file("new.zyr"), "5.0 (2003.03.27-23.59)", 7);
    } else {
      other = std::make_unique<zyrtest::ChildProcess>(driver, std::vector<std::string>{},
                                                      std::vector<std::pair<std::string, const char *>>{},
                                                      dir.path());
      ASSERT_EQ(other->ask("upgrade old.zyr new.zyr"), "ok 1");
      ASSERT_EQ(other->ask("exit"), "");
      other.reset();
    }
    const std::string theirs = zyrtest::readFile(dir.file("new.zyr"));
    upgrading.release();
    EXPECT_EQ(upgrading.readLine(), "fail 0 10020");
    EXPECT_EQ(upgrading.ask("exit"), "");
    EXPECT_TRUE(zyrtest::readFile(dir.file("new.zyr")) == theirs) << "the other file has changed";
    if (other != nullptr) {
      EXPECT_EQ(dir.listing(), (std::vector<std::string>{"new.zyr", "new.zyr.lck", "old.zyr"}));
      EXPECT_EQ(other->ask("new mine 5"), "ok 1");
      EXPECT_EQ(other->ask("commit"), "ok 2");
      EXPECT_EQ(other->ask("close -1"), "ok 1");
    }
    EXPECT_EQ(dir.listing(), (std::vector<std::string>{"new.zyr", "old.zyr"}));
    EXPECT_EQ(versionOf(dir.file("old.zyr")), 20030327);
    EXPECT_EQ(countOf(dir.file("new.zyr")), std::string(taker) == "holder" ? 5 : std::string(taker) == "closed" ? 7 : 2);
    EXPECT_EQ(takeErrors(), std::vector<std::string>{});
  }
}

// An old database renamed onto the new name right after the upgraded copy took it stays there as
// it was: it is neither renamed back onto the copy's name, where the next clean-up would take it for
// a leftover, nor taken for the upgrade, which is refused as one to a name taken from the start.
TEST_F(UpgradeTest, AFileRenamedOntoTheNewNameRightAfterTheUpgradeTookItStaysThere) {
  const zyrtest::ScratchDir dir("D", m_dir);
  makeOld(dir.file("old.zyr"), "5.0 (2003.03.27-23.59)", 2);
  makeOld(dir.file("other.zyr"), "5.0 (2003.03.27-23.59)", 7);
  const std::string theirs = zyrtest::readFile(dir.file("other.zyr"));
  const std::string said = m_dir + "/said";
  zyrtest::ChildProcess upgrading("/bin/sh",
                                  {"-c", "exec \"$0\" 2>\"$1\"", std::string(ZYR_TEST_HELPER_DIR) + "/store_driver", said},
                                  {{"STORE_DRIVER_MESSAGES", "1"}}, dir.path(), "place.renamed");
  ASSERT_TRUE(upgrading.send("upgrade old.zyr new.zyr"));
  ASSERT_EQ(upgrading.waitPause(), "place.renamed");
  ASSERT_EQ(rename(dir.file("other.zyr").c_str(), dir.file("new.zyr").c_str()), 0);
  upgrading.release();
  EXPECT_EQ(upgrading.readLine(), "fail 0 10020");
  EXPECT_EQ(upgrading.ask("exit"), "");
  EXPECT_EQ(zyrtest::readFile(said),
            "10020: The ZYR database can not be upgraded because the file\n\nnew.zyr\n\nalready exists.\n\n");
  EXPECT_EQ(dir.listing(), (std::vector<std::string>{"new.zyr", "old.zyr"}));
  EXPECT_EQ(versionOf(dir.file("old.zyr")), 20030327);
  // The next open there cleans the directory up, and leaves the other file.
  EXPECT_EQ(countOf(dir.file("fresh.zyr")), -1);
  EXPECT_EQ(dir.listing(), (std::vector<std::string>{"fresh.zyr", "new.zyr", "old.zyr"}));
  EXPECT_TRUE(zyrtest::readFile(dir.file("new.zyr")) == theirs) << "the other file has changed";
  takeErrors();
}

// The copy an upgrade in place makes is the upgrade's only while its name leads to it: another old
// database renamed onto it is neither upgraded nor put in place, and stays where it was put; the
// old file keeps its content. Without names through descriptors, an upgrade whose directory is
// renamed meanwhile is refused and removes its copy in that directory, wherever it is now.
TEST_F(UpgradeTest, AnUpgradeInPlaceUpgradesOnlyItsOwnCopyAndLeavesNoneBehind) {
  const std::string driver = std::string(ZYR_TEST_HELPER_DIR) + "/store_driver";
  for (const bool proc : {true, false}) {
    SCOPED_TRACE(proc ? "with /proc" : "without /proc");
    const zyrtest::ScratchDir a("A", m_dir);
    makeOld(a.file("old.zyr"), "5.0 (2003.03.27-23.59)", 2);
    makeOld(a.file("other.zyr"), "5.0 (2003.03.27-23.59)", 7);
    const std::string others = zyrtest::readFile(a.file("other.zyr"));
    zyrtest::ChildProcess upgrading(driver, {}, {}, m_dir, "upgrade.held");
    if (!proc)
      ASSERT_EQ(upgrading.ask("noproc"), "ok 0");
    ASSERT_TRUE(upgrading.send("upgrade " + a.file("old.zyr")));
    ASSERT_EQ(upgrading.waitPause(), "upgrade.held");
    std::string copy;
    for (const std::string &name : a.listing())
      if (name.rfind("update.zyr-pid", 0) == 0)
        copy = name;
    ASSERT_FALSE(copy.empty());
    ASSERT_EQ(rename(a.file("other.zyr").c_str(), a.file(copy).c_str()), 0);
    upgrading.release();
    const std::string answer = upgrading.readLine();
    EXPECT_EQ(answer.rfind("fail 0 ", 0), 0u) << answer;
    EXPECT_EQ(upgrading.ask("exit"), "");
    EXPECT_TRUE(zyrtest::readFile(a.file(copy)) == others) << "the other file has changed";
    EXPECT_EQ(a.listing(), (std::vector<std::string>{"old.zyr", copy}));
    // The next open there takes the other file for what it is named: a leftover of the upgrade.
    EXPECT_EQ(versionOf(a.file("old.zyr")), 20030327);
    EXPECT_EQ(countOf(a.file("old.zyr")), 2);
    takeErrors();
  }
  const zyrtest::ScratchDir b("B", m_dir);
  makeOld(b.file("old.zyr"), "5.0 (2003.03.27-23.59)", 2);
  zyrtest::ChildProcess upgrading(driver, {}, {}, m_dir, "upgrade.held");
  ASSERT_EQ(upgrading.ask("noproc"), "ok 0");
  ASSERT_TRUE(upgrading.send("upgrade " + b.file("old.zyr")));
  ASSERT_EQ(upgrading.waitPause(), "upgrade.held");
  const std::string moved = b.path() + "-moved";
  ASSERT_EQ(rename(b.path().c_str(), moved.c_str()), 0);
  upgrading.release();
  EXPECT_EQ(upgrading.readLine(), "fail 0 10007");
  EXPECT_EQ(upgrading.ask("exit"), "");
  // The lock file stays: without names through descriptors the file's own close cannot follow its
  // directory, and the next open takes the lock file over.
  EXPECT_EQ(zyrtest::listing(moved), (std::vector<std::string>{"old.zyr", "old.zyr.lck"}));
  ASSERT_EQ(rename(moved.c_str(), b.path().c_str()), 0);
  EXPECT_EQ(takeErrors(), std::vector<std::string>{});
}

// The held file that cannot be opened again for its copy (its permissions taken away meanwhile) is
// told as what it is, not as a file whose name leads elsewhere; and nothing is made.
TEST_F(UpgradeTest, AHeldFileThatCannotBeOpenedAgainIsToldWhy) {
  const zyrtest::ScratchDir dir("D", m_dir);
  ASSERT_EQ(chmod(dir.path().c_str(), 0777), 0);
  makeOld(dir.file("old.zyr"), "5.0 (2003.03.27-23.59)", 2);
  ASSERT_EQ(chmod(dir.file("old.zyr").c_str(), 0644), 0);
  // Root may open anything: the upgrade then runs as another user.
  std::vector<std::pair<std::string, const char *>> environment = {{"STORE_DRIVER_MESSAGES", "1"}};
  if (geteuid() == 0)
    environment.emplace_back("STORE_DRIVER_UID", "65534");
  const std::string said = m_dir + "/said";
  zyrtest::ChildProcess upgrading("/bin/sh",
                                  {"-c", "exec \"$0\" 2>\"$1\"", std::string(ZYR_TEST_HELPER_DIR) + "/store_driver", said},
                                  environment, dir.path(), "upgrade.held");
  ASSERT_TRUE(upgrading.send("upgrade old.zyr new.zyr"));
  ASSERT_EQ(upgrading.waitPause(), "upgrade.held");
  ASSERT_EQ(chmod(dir.file("old.zyr").c_str(), 0), 0);
  upgrading.release();
  EXPECT_EQ(upgrading.readLine(), "fail 0 10007");
  EXPECT_EQ(upgrading.ask("exit"), "");
  EXPECT_EQ(zyrtest::readFile(said), "10007: Unable to upgrade the ZYR database\n\nold.zyr\n\nIt cannot be opened again: "
                                     "Permission denied.\n\n");
  EXPECT_EQ(dir.listing(), std::vector<std::string>{"old.zyr"});
  ASSERT_EQ(chmod(dir.file("old.zyr").c_str(), 0644), 0);
  EXPECT_EQ(versionOf(dir.file("old.zyr")), 20030327);
  takeErrors();
}

// An upgrade to a new name works on its copy only while the copy's name leads to it. Held once it
// made the copy, the upgrade meets another old database renamed onto the copy's name, the copy
// removed, the copy renamed away, or the directory renamed and a new one made under its name: it
// refuses, saying what became of the copy, and opens, changes and makes nothing there. With names
// through descriptors or without.
TEST_F(UpgradeTest, ANewNamesCopyIsUpgradedOnlyWhileItsNameLeadsToIt) {
  const std::string said = m_dir + "/said";
  for (const std::string what : {"taken", "removed", "renamed", "directory"}) {
    for (const bool proc : {true, false}) {
      SCOPED_TRACE(what + (proc ? "" : ", without /proc"));
      const zyrtest::ScratchDir a("A", m_dir), b("B", m_dir);
      makeOld(a.file("old.zyr"), "5.0 (2003.03.27-23.59)", 2);
      makeOld(a.file("other.zyr"), "5.0 (2003.03.27-23.59)", 7);
      const std::string old = zyrtest::readFile(a.file("old.zyr")), others = zyrtest::readFile(a.file("other.zyr"));
      zyrtest::ChildProcess upgrading(
          "/bin/sh", {"-c", "exec \"$0\" 2>\"$1\"", std::string(ZYR_TEST_HELPER_DIR) + "/store_driver", said},
          {{"STORE_DRIVER_MESSAGES", "1"}}, m_dir, "upgrade.held");
      if (!proc)
        ASSERT_EQ(upgrading.ask("noproc"), "ok 0");
      ASSERT_TRUE(upgrading.send("upgrade " + a.file("old.zyr") + " " + b.file("new.zyr")));
      ASSERT_EQ(upgrading.waitPause(), "upgrade.held");
      const std::vector<std::string> made = b.listing();
      ASSERT_EQ(made.size(), 1u);
      const std::string copy = made[0];
      std::vector<std::string> inA = {"old.zyr", "other.zyr"}, inB;
      std::string loss;
      std::unique_ptr<zyrtest::OpenWatch> watch;
      if (what == "taken") {
        ASSERT_EQ(rename(a.file("other.zyr").c_str(), b.file(copy).c_str()), 0);
        watch = std::make_unique<zyrtest::OpenWatch>(b.file(copy));
        inA = {"old.zyr"};
        inB = {copy};
        loss = "another file has taken its name";
      } else if (what == "removed") {
        ASSERT_EQ(unlink(b.file(copy).c_str()), 0);
        loss = "it is gone";
      } else if (what == "renamed") {
        // Renamed away, it still has a name: that nothing is under its own is a look that
        // cannot tell where it went.
        ASSERT_EQ(rename(b.file(copy).c_str(), b.file("away.zyr").c_str()), 0);
        inB = {"away.zyr"};
        loss = std::string("it cannot be looked at: ") + std::strerror(ENOENT);
      } else {
        ASSERT_EQ(rename(b.path().c_str(), (b.path() + "2").c_str()), 0);
        ASSERT_EQ(mkdir(b.path().c_str(), 0700), 0);
        loss = "the directory it was made in has been renamed";
      }
      upgrading.release();
      EXPECT_EQ(upgrading.readLine(), "fail 0 10007");
      EXPECT_EQ(upgrading.ask("exit"), "");
      EXPECT_EQ(zyrtest::readFile(said), "10007: Unable to upgrade the ZYR database\n\n" + a.file("old.zyr") +
                                             "\n\nIts copy " + b.file(copy) +
                                             " is no longer the file it made there: " + loss + ".\n\n");
      EXPECT_EQ(a.listing(), inA);
      EXPECT_EQ(b.listing(), inB);
      EXPECT_EQ(zyrtest::readFile(a.file("old.zyr")), old);
      if (watch != nullptr) {
        EXPECT_EQ(watch->opens(), 0);
        EXPECT_TRUE(zyrtest::readFile(b.file(copy)) == others) << "the other file has changed";
      }
      if (what == "directory") {
        EXPECT_EQ(zyrtest::listing(b.path() + "2"), std::vector<std::string>{});
        ASSERT_EQ(rmdir(b.path().c_str()), 0);
        ASSERT_EQ(rename((b.path() + "2").c_str(), b.path().c_str()), 0);
      }
      EXPECT_EQ(takeErrors(), std::vector<std::string>{});
    }
  }
}

// A temporary of this process is opened only through its hold, under the very name it is held by,
// whatever an open would otherwise make of that name (an absolute one, one through a held
// directory): another file renamed onto the name is neither opened nor changed, and nothing is made
// under the name of one that is gone. The refusal says what became of it, and nothing else.
TEST_F(UpgradeTest, AnOpenOfAHeldTemporarysNameGoesThroughItsHold) {
  struct Names {
    ~Names() { zyrDirectoryHandle_setEnabled(1); }
  } names;
  ASSERT_EQ(mkdir("T", 0700), 0);
  for (const bool taken : {true, false}) {
    for (const bool proc : {true, false}) {
      SCOPED_TRACE(std::string(taken ? "taken" : "gone") + (proc ? "" : ", without /proc"));
      zyrDirectoryHandle_setEnabled(proc ? 1 : 0);
      zyrHeldTemporary held;
      ASSERT_EQ(zyrHeldTemporary_make(&held, "T/copy", ".tmp.zyr", 4), 1);
      const std::string name = held.m_name, base = name.substr(2);
      makeOld("T/other.zyr", "5.0 (2003.03.27-23.59)", 7);
      const std::string others = zyrtest::readFile("T/other.zyr");
      takeErrors();
      std::unique_ptr<zyrtest::OpenWatch> watch;
      if (taken) {
        ASSERT_EQ(rename("T/other.zyr", name.c_str()), 0);
        watch = std::make_unique<zyrtest::OpenWatch>(name);
      } else {
        ASSERT_EQ(unlink(name.c_str()), 0);
      }
      EXPECT_EQ(Repository_new(name.c_str()), nullptr);
      EXPECT_EQ(takeErrors(),
                (std::vector<std::string>{"10020: The supplied file name, " + name +
                                              ", can not\nbe opened.\n\n  IO library reported:\n\niif_open: " + name +
                                              " is no longer the file this process made there (" +
                                              (taken ? "another file has taken its name" : "it is gone") +
                                              "): nothing under its name has been opened\niocnt: open the primary "
                                              "file failed\n\n",
                                          "10003: Unable to open the requested database\n\"" + name + "\".\n"}));
      EXPECT_EQ(zyrtest::listing("T"), std::vector<std::string>{taken ? base : "other.zyr"});
      if (taken) {
        EXPECT_EQ(watch->opens(), 0);
        EXPECT_TRUE(zyrtest::readFile(name) == others) << "the other file has changed";
      }
      unlink(name.c_str());
      unlink("T/other.zyr");
    }
  }
}

// An upgrade is done only when its copy was written whole: a write or a sync of the copy that
// fails (a full disc, a failing device), in its version, its commit or its close, leaves no
// upgrade; and it answers as the disc stands whichever look fails, or finds nothing where a file
// stands, before its rename or after it: a copy is never taken for a new, empty database.
// The upgrade answers 1 exactly when the file under the name is then of the current release; else
// nothing is put in place, the old file keeps its bytes, and the copy goes.
TEST_F(UpgradeTest, AWriteOfTheCopyThatFailedLeavesNoUpgrade) {
  for (const bool inPlace : {true, false}) {
    SCOPED_TRACE(inPlace ? "in place" : "to a new name");
    long syncs = 0, writes = 0, looks = 0;
    // Writes and syncs fail in the copy; looks anywhere, by whichever name the file is reached.
    const auto upgrade = [&](const zyrtest::ScratchDir &dir, const std::string &plan, int *upgraded) {
      zyrFault_arm(plan.c_str(), plan.rfind("look", 0) == 0 ? nullptr : ".zyr-pid");
      const int status = zyrDatabaseUpgrade(dir.file("old.zyr").c_str(),
                                            inPlace ? nullptr : dir.file("new.zyr").c_str(), upgraded);
      syncs = zyrFault_passes(ZYR_FAULT_SYNC);
      writes = zyrFault_passes(ZYR_FAULT_WRITE);
      looks = zyrFault_passes(ZYR_FAULT_LOOK);
      zyrFault_disarm();
      return status;
    };
    int upgraded = 0;
    const zyrtest::ScratchDir counted("C", m_dir);
    makeOld(counted.file("old.zyr"), "5.0 (2003.03.27-23.59)");
    ASSERT_EQ(upgrade(counted, "", &upgraded), 1);
    const long allSyncs = syncs, allWrites = writes;
    const zyrtest::ScratchDir lookedAt("L", m_dir);
    makeOld(lookedAt.file("old.zyr"), "5.0 (2003.03.27-23.59)");
    ASSERT_EQ(upgrade(lookedAt, "look@1000000", &upgraded), 1);
    ASSERT_GE(allSyncs, 3);
    ASSERT_GE(looks, 4);
    std::vector<std::string> plans;
    for (long n = 1; n <= allSyncs; n += n < 4 ? 1 : 3)
      plans.push_back("sync@" + std::to_string(n) + ":EIO");
    for (long n = 1; n <= allWrites; n += n < 3 ? 1 : 47)
      plans.push_back("write@" + std::to_string(n));
    for (long n = 1; n <= looks; ++n) {
      plans.push_back("look@" + std::to_string(n));
      plans.push_back("look@" + std::to_string(n) + ":ENOENT");
    }
    for (const std::string &plan : plans) {
      SCOPED_TRACE(plan);
      const zyrtest::ScratchDir dir("D", m_dir);
      makeOld(dir.file("old.zyr"), "5.0 (2003.03.27-23.59)");
      const std::string bytes = zyrtest::readFile(dir.file("old.zyr"));
      takeErrors();
      const int status = upgrade(dir, plan, &upgraded);
      const std::vector<std::string> errors = takeErrors();
      EXPECT_EQ(upgraded, status);
      // A temporary whose removal could not look at its name stays for the next clean-up, which
      // takes it: it is one of the library's own, that nobody holds, and holds no old bytes.
      for (const std::string &name : dir.listing())
        if (name.find(".zyr-pid") != std::string::npos)
          EXPECT_NE(zyrtest::readFile(dir.file(name)), bytes) << name;
      zyrLeftovers_remove(dir.path().c_str(), nullptr, nullptr, nullptr);
      if (status == 1) {
        // The whole upgrade: the current release, its history gone.
        EXPECT_EQ(dir.listing(), (inPlace ? std::vector<std::string>{"old.zyr"}
                                          : std::vector<std::string>{"new.zyr", "old.zyr"}));
        Repository *repository = Repository_new(dir.file(inPlace ? "old.zyr" : "new.zyr").c_str());
        ASSERT_NE(repository, nullptr);
        EXPECT_GE(Repository_getVersion(repository), 20030328);
        EXPECT_EQ(Repository_getCurrentState(repository), 1);
        const TestThing *thing = static_cast<TestThing *>(Repository_getSingletonByTypeName(repository, "Assembly"));
        EXPECT_TRUE(thing != nullptr && thing->m_count == 2);
        Repository_close(repository, -1);
        continue;
      }
      EXPECT_TRUE(zyrtest::readFile(dir.file("old.zyr")) == bytes) << "the old file has changed";
      EXPECT_EQ(dir.listing(), std::vector<std::string>{"old.zyr"});
      ASSERT_FALSE(errors.empty());
      if (plan.rfind("look", 0) == 0) {
        // The look is told as itself: one that found nothing where a file stands as well.
        const bool nothing = plan.find("ENOENT") != std::string::npos;
        const std::string all = ::testing::PrintToString(errors);
        // The first look, at the old file's name, is the upgrade's own question, and its answer.
        if (nothing && plan == "look@1:ENOENT") {
          EXPECT_EQ(errors, std::vector<std::string>{"10026: The ZYR database\n\n" + dir.file("old.zyr") +
                                                     "\n\ndoes not exist.\n"});
          continue;
        }
        EXPECT_NE(all.find(std::strerror(nothing ? ENOENT : EIO)), std::string::npos) << all;
        for (const char *other : {"elsewhere", "it is gone", "has been renamed"})
          EXPECT_EQ(all.find(other), std::string::npos) << all;
        continue;
      }
      const std::string refusal = "10007: Unable to upgrade the ZYR database\n\n" + dir.file("old.zyr") + "\n\n";
      EXPECT_EQ(errors.back().rfind(refusal, 0), 0u) << ::testing::PrintToString(errors);
    }
  }
}

} // namespace
