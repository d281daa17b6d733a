// Database files whose history was damaged: opened, changed and closed, they are refused or open
// with the damage left out and reported, and a file that opened opens again after the close.
#include "ObjectTestSupport.h"

#include "Database.h"
#include "Dictionary.h"
#include "zyrError.h"
#include "zyrFault.h"
#include "zyrStateManager.h"
#include "zyrTestChild.h"
#include "zyrTestErrors.h"
#include "zyrTestStore.h"
#include "zyrTestSupport.h"
#include "zyrUUID.h"

#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace {

using objecttest::keyOf;
using objecttest::TestThing;
using objecttest::Thing_new;

class StoreDamageTest : public objecttest::ObjectStoreTest {
protected:
  // A Repository and two things, each made at a state of its own; closed with its history.
  void SetUp() override {
    ObjectStoreTest::SetUp();
    m_name = file("damaged.zyr");
    Repository *repository = Repository_new(m_name.c_str());
    ASSERT_NE(repository, nullptr);
    m_repository = keyOf(repository);
    m_first = keyOf(Thing_new());
    Repository_commit(repository);
    m_second = keyOf(Thing_new());
    Repository_commit(repository);
    Repository_close(repository, -1);
    takeErrors();
  }
  // Changes the closed file through the versioned database.
  template <class Change> void damage(Change change) {
    Database *database = Database_new(m_name.c_str());
    ASSERT_NE(database, nullptr);
    change(database);
    Database_delete(database);
  }
  static zyrUUID *uuid(const std::string &key) { return zyrUUID_newFromBase64(key.c_str()); }
  // Stores the object's type again at the state, then breaks that data set in the file: the last
  // character of the first `part` ("NUMATTRB": its header, "*DATA": its data) after its header.
  void damageTypeRecord(const std::string &object, int32_t state, const std::string &part) {
    damage([&](Database *database) {
      int32_t last = 0;
      ASSERT_EQ(Database_getInt(database, 0, nullptr, "State - last", &last), 1);
      zyrUUID *key = uuid(object);
      int32_t type = 0;
      ASSERT_EQ(Database_getInt(database, last, key, "__TYPE__", &type), 1);
      Database_setInt(database, state, key, "__TYPE__", type);
      zyrUUID_delete(key);
    });
    std::string bytes = zyrtest::readFile(m_name);
    size_t record = std::string::npos;
    for (size_t at = bytes.find("*HEADER"); at != std::string::npos; at = bytes.find("*HEADER", at + 1)) {
      const std::string head = bytes.substr(at, 64);
      if (head.find("__TYPE__") != std::string::npos && head.find(object) != std::string::npos)
        record = at;
    }
    ASSERT_NE(record, std::string::npos);
    const size_t found = bytes.find(part, record);
    ASSERT_NE(found, std::string::npos);
    bytes[found + part.size() - 1] = 'X';
    zyrtest::writeFile(m_name, bytes);
  }
  // The Repository's type at the last state (*last).
  void damageLastTypeRecord(const std::string &part, int32_t *last) {
    damage([last](Database *database) { ASSERT_EQ(Database_getInt(database, 0, nullptr, "State - last", last), 1); });
    damageTypeRecord(m_repository, *last, part);
  }
  static bool isLive(Repository *repository, const std::string &key) {
    return Dictionary_find(Repository_getStateManager(repository)->m_objects, key.c_str()) != nullptr;
  }
  // The file with the index entry of the second thing's type record made to name the Repository's
  // type at that state, so that a read through it fails and rebuilds the index, and with the first
  // deleted frame's first length field reaching past the end of the file (the rebuild fails) or
  // into the stored index.
  std::string misnamedEntryAndDeletedFrame(bool intoTheIndex) {
    std::string bytes = zyrtest::readFile(m_name);
    const size_t index = bytes.rfind("*INDEX\n");
    const std::string esc(1, '\x1b');
    const size_t line = bytes.find(esc + "__TYPE__" + esc + m_second + esc, index);
    EXPECT_NE(line, std::string::npos);
    bytes.replace(line + 10, m_second.size(), m_repository);
    const size_t deleted = bytes.find("\nN" + esc, index) + 1;
    const size_t end = bytes.find('\n', deleted);
    const size_t frame = std::stoul(bytes.substr(bytes.rfind(esc, end) + 1, end));
    EXPECT_EQ(bytes.substr(frame, 3), "D\xb5\n");
    // From the frame's data start (after its tag and length field), past the closing length field,
    // to the second entry line of the index (after its tag, count and first entry).
    const size_t landing = bytes.find('\n', index + 7 + 21) + 1;
    const uint32_t length = static_cast<uint32_t>(intoTheIndex ? landing - 4 - (frame + 7) : 2 * bytes.size());
    bytes.replace(frame + 3, 4, std::string(reinterpret_cast<const char *>(&length), 4));
    return bytes;
  }
  // Commits what the open repository holds and closes it with the flag: the next open, answered
  // (the caller closes it), must hold the objects the close kept.
  Repository *closeAndReopen(Repository *repository, int32_t flag) {
    Repository_commit(repository);
    const std::set<std::string> live = zyrtest::liveObjectKeys(repository);
    Repository_close(repository, flag);
    takeErrors();
    repository = Repository_new(m_name.c_str());
    EXPECT_NE(repository, nullptr) << testing::PrintToString(takeErrors());
    if (repository != nullptr)
      EXPECT_EQ(zyrtest::liveObjectKeys(repository), live);
    return repository;
  }
  // Opens the file, then commits a change (unless told not to) and closes it with the flag: the
  // next open takes the file as the first did, the same objects live. The open's errors.
  std::vector<std::string> expectKeptByAWrite(int32_t flag, bool change = true,
                                              const std::function<void(Repository *)> &atOpen = nullptr) {
    Repository *repository = Repository_new(m_name.c_str());
    const std::vector<std::string> opened = takeErrors();
    EXPECT_NE(repository, nullptr) << testing::PrintToString(opened);
    if (repository == nullptr)
      return opened;
    EXPECT_EQ(keyOf(repository), m_repository);
    if (atOpen)
      atOpen(repository);
    const std::string made = change ? keyOf(Thing_new()) : m_repository;
    repository = closeAndReopen(repository, flag);
    if (repository == nullptr)
      return opened;
    EXPECT_EQ(keyOf(repository), m_repository);
    EXPECT_TRUE(isLive(repository, made));
    Repository_close(repository, -1);
    takeErrors();
    return opened;
  }
  // The position of the data set of the name and key (its one version) in the stored index.
  static size_t frameOf(const std::string &bytes, const std::string &name, const std::string &key) {
    const std::string esc(1, '\x1b');
    const size_t line = bytes.find(esc + name + esc + key + esc, bytes.rfind("*INDEX\n"));
    EXPECT_NE(line, std::string::npos) << name << " " << key;
    const size_t end = bytes.find('\n', line);
    return std::stoul(bytes.substr(bytes.rfind(esc, end) + 1, end));
  }
  // One character of the key that the header of the frame at the position names changed
  // (renamedKey).
  static void renameInFrame(std::string *bytes, size_t frame, const std::string &key) {
    const size_t at = bytes->find("WHERE\x1b" + key, frame) + 6;
    (*bytes)[at] = renamedKey(key)[0];
  }
  static std::string renamedKey(std::string key) {
    key[0] = key[0] == 'A' ? 'B' : 'A';
    return key;
  }

  std::string m_name;
  std::string m_repository, m_first, m_second;
};

TEST_F(StoreDamageTest, AFileThatLostItsStateCountersIsRefusedNotMadeAnew) {
  damage([](Database *database) {
    Database_deleteDataSet(database, nullptr, "State - current");
    Database_deleteDataSet(database, nullptr, "State - last");
  });
  EXPECT_EQ(Repository_new(m_name.c_str()), nullptr);
  const std::vector<std::string> errors = takeErrors();
  ASSERT_FALSE(errors.empty());
  EXPECT_EQ(errors[0], "10003: The ZYR database\n\n" + m_name + "\n\nholds changes but no record of its states; it is "
                                                                "damaged.\n");
}

// A read the disc fails while the file is opened (a sample of them, each alone) is told as the
// system's failure, never as a file that is no database or is damaged, and nothing is written: the
// open is refused and the file stays as it was; or, where the read decided nothing (of a lock
// file), the open finds what it finds without the fault.
TEST_F(StoreDamageTest, AReadTheDiscFailsWhileOpeningIsToldAsSuchAndChangesNothing) {
  const std::string intact = zyrtest::readFile(m_name);
  const std::string counted = zyrtest::inChild([&] {
    zyrFault_arm("", m_name.c_str());
    Repository *repository = Repository_new(m_name.c_str());
    const long reads = zyrFault_passes(ZYR_FAULT_READ);
    Repository_close(repository, -1);
    takeErrors();
    return std::to_string(reads);
  });
  const long reads = std::atol(counted.c_str());
  ASSERT_GT(reads, 10) << counted;
  for (long n = 1; n <= reads; n += 1 + reads / 40) {
    zyrtest::writeFile(m_name, intact);
    std::remove((m_name + ".lck").c_str());
    const std::string problems = zyrtest::inChild([&] {
      zyrFault_arm(("read@" + std::to_string(n)).c_str(), m_name.c_str());
      Repository *repository = Repository_new(m_name.c_str());
      zyrFault_disarm();
      const std::vector<std::string> errors = takeErrors();
      const std::string told = testing::PrintToString(errors);
      if (repository != nullptr) {
        const bool whole = isLive(repository, m_first) && isLive(repository, m_second);
        Repository_close(repository, -1);
        takeErrors();
        return whole ? std::string() : "opened without its things: " + told;
      }
      std::string found;
      if (!zyrtest::contains(told, strerror(EIO)))
        found += "the reason is not told: " + told + "\n";
      if (zyrtest::contains(told, "not a valid") || zyrtest::contains(told, "is damaged"))
        found += "a failed read is told as damage: " + told + "\n";
      if (zyrtest::readFile(m_name) != intact)
        found += "the refused open changed the file\n";
      return found;
    });
    EXPECT_EQ(problems, "") << "read@" << n << " of " << reads;
  }
}

TEST_F(StoreDamageTest, AnObjectGivenAnotherTypeAtALaterStateIsLeftOutAndPurged) {
  // The second thing stored as a Repository at the state after its making.
  damage([this](Database *database) {
    int32_t last = 0;
    ASSERT_EQ(Database_getInt(database, 0, nullptr, "State - last", &last), 1);
    zyrUUID *key = uuid(m_second);
    Database_setInt(database, last + 1, key, "__TYPE__", 0);
    Database_setInt(database, 0, nullptr, "State - current", last + 1);
    Database_setInt(database, 0, nullptr, "State - last", last + 1);
    zyrUUID_delete(key);
  });
  Repository *repository = Repository_new(m_name.c_str());
  ASSERT_NE(repository, nullptr);
  EXPECT_FALSE(isLive(repository, m_second));
  EXPECT_TRUE(isLive(repository, m_first));
  const std::vector<std::string> errors = takeErrors();
  ASSERT_FALSE(errors.empty());
  EXPECT_EQ(errors[0], "20006: The stored object " + m_second +
                           " is of type 2 at one state and of type 0 at another; it has been left out.\n");
  // The purge at close keeps the live objects alone: the object does not come back as either type.
  Repository_close(repository, 1);
  repository = Repository_new(m_name.c_str());
  ASSERT_NE(repository, nullptr);
  EXPECT_EQ(keyOf(repository), m_repository);
  EXPECT_FALSE(isLive(repository, m_second));
  EXPECT_EQ(takeErrors(), std::vector<std::string>{});
  Repository_close(repository, -1);
}

TEST_F(StoreDamageTest, AChangeMadeAfterGoingBackLeavesInTheFileTheObjectsThisProcessHolds) {
  // The second thing's type stored again, damaged: naming the Repository's type for the state after
  // the last (the thing is kept out), a type no registry knows for state 1 (kept out too), or
  // unreadable at state 1 (the thing is made by its readable type of state 2). A change after going
  // back erases the later states, and with them the type that decided whether the thing is made:
  // the next open brought back a thing this process never held, or lost one it held.
  int32_t last = 0;
  damage([&last](Database *database) { ASSERT_EQ(Database_getInt(database, 0, nullptr, "State - last", &last), 1); });
  const std::string good = zyrtest::readFile(m_name);
  const auto storeType = [this](int32_t state, int32_t type) {
    return [=](Database *database) {
      zyrUUID *key = uuid(m_second);
      Database_setInt(database, state, key, "__TYPE__", type);
      zyrUUID_delete(key);
    };
  };
  struct Case {
    std::function<void()> m_damage;
    int32_t m_back;
    bool m_live;
  };
  const std::vector<Case> cases = {
      {[&] {
         damage(storeType(last + 1, 0));
         damage([&](Database *database) {
           Database_setInt(database, 0, nullptr, "State - current", last + 1);
           Database_setInt(database, 0, nullptr, "State - last", last + 1);
         });
       },
       last, false},
      {[&] { damage(storeType(1, -75)); }, 1, false},
      {[&] { damageTypeRecord(m_second, 1, "*DATA"); }, 1, true},
  };
  for (size_t c = 0; c < cases.size(); ++c)
    for (const int32_t flag : {-1, 0}) {
      SCOPED_TRACE(testing::Message() << "case " << c << ", flag " << flag);
      zyrtest::writeFile(m_name, good);
      ASSERT_NO_FATAL_FAILURE(cases[c].m_damage());
      Repository *repository = Repository_new(m_name.c_str());
      ASSERT_NE(repository, nullptr) << testing::PrintToString(takeErrors());
      Repository_gotoState(repository, cases[c].m_back);
      ASSERT_EQ(Repository_getCurrentState(repository), cases[c].m_back);
      EXPECT_EQ(isLive(repository, m_second), cases[c].m_live);
      Thing_new();
      repository = closeAndReopen(repository, flag);
      ASSERT_NE(repository, nullptr);
      Repository_close(repository, -1);
      takeErrors();
    }
}

TEST_F(StoreDamageTest, AChangeOfStateTakesAnObjectAsAnOpenAtTheStateItReachesWould) {
  // The second thing deleted at a state of its own, then a second deletion mark, or a second type
  // record, stored for it at the state after. Going back across the second mark, or forward across
  // the second type, was taken for the thing's making and brought it to life at a state where
  // its whole history has it deleted; a change made there kept it, and the next open did not.
  Repository *repository = Repository_new(m_name.c_str());
  ASSERT_NE(repository, nullptr);
  zyrObject_deleteByType(Dictionary_find(Repository_getStateManager(repository)->m_objects, m_second.c_str()));
  Repository_commit(repository);
  const int32_t deleted = Repository_getCurrentState(repository);
  Repository_close(repository, -1);
  takeErrors();
  const std::string good = zyrtest::readFile(m_name);
  for (const char *mark : {"__DELETED__", "__TYPE__"}) {
    SCOPED_TRACE(mark);
    zyrtest::writeFile(m_name, good);
    damage([&](Database *database) {
      zyrUUID *key = uuid(m_second);
      int32_t type = 0;
      ASSERT_EQ(Database_getInt(database, deleted, key, "__TYPE__", &type), 1);
      Database_setInt(database, deleted + 1, key, mark, std::strcmp(mark, "__TYPE__") == 0 ? type : 0);
      Database_setInt(database, 0, nullptr, "State - current", deleted + 1);
      Database_setInt(database, 0, nullptr, "State - last", deleted + 1);
      zyrUUID_delete(key);
    });
    repository = Repository_new(m_name.c_str());
    ASSERT_NE(repository, nullptr) << testing::PrintToString(takeErrors());
    for (const int32_t state : {deleted + 1, deleted, deleted - 1, deleted + 1, deleted}) {
      Repository_gotoState(repository, state);
      ASSERT_EQ(Repository_getCurrentState(repository), state);
      EXPECT_EQ(isLive(repository, m_second), state < deleted) << state;
    }
    Thing_new();
    repository = closeAndReopen(repository, -1);
    ASSERT_NE(repository, nullptr);
    Repository_close(repository, -1);
    takeErrors();
  }
}

TEST_F(StoreDamageTest, ADeletionMarkAtStateZeroNeitherHidesNorPurgesALiveObject) {
  damage([this](Database *database) {
    for (const std::string &key : {m_repository, m_first}) {
      zyrUUID *object = uuid(key);
      Database_setInt(database, 0, object, "__DELETED__", 0);
      zyrUUID_delete(object);
    }
  });
  for (int pass = 0; pass < 2; ++pass) {
    Repository *repository = Repository_new(m_name.c_str());
    ASSERT_NE(repository, nullptr) << testing::PrintToString(takeErrors());
    EXPECT_EQ(keyOf(repository), m_repository);
    EXPECT_TRUE(isLive(repository, m_first));
    Repository_close(repository, 1);
  }
}

TEST_F(StoreDamageTest, AStateAtWhichTheHistoryDeletesTheRepositoryIsNotGoneTo) {
  int32_t last = 0;
  damage([this, &last](Database *database) {
    ASSERT_EQ(Database_getInt(database, 0, nullptr, "State - last", &last), 1);
    zyrUUID *key = uuid(m_repository);
    Database_setInt(database, last + 1, key, "__DELETED__", 0);
    Database_setInt(database, 0, nullptr, "State - last", last + 1);
    zyrUUID_delete(key);
  });
  Repository *repository = Repository_new(m_name.c_str());
  ASSERT_NE(repository, nullptr);
  Repository_gotoState(repository, last + 1);
  EXPECT_EQ(Repository_getCurrentState(repository), last);
  EXPECT_EQ(takeErrors(), std::vector<std::string>{"20006: State " + std::to_string(last + 1) +
                                                   " of the ZYR database\n\n" + m_name +
                                                   "\n\nis damaged: its stored record " + m_repository +
                                                   " (Repository) is deleted there. The database has been left at "
                                                   "state " +
                                                   std::to_string(last) + ".\n"});
  // The file stays at a state it opens at.
  Repository_close(repository, -1);
  repository = Repository_new(m_name.c_str());
  ASSERT_NE(repository, nullptr);
  EXPECT_EQ(Repository_getCurrentState(repository), last);
  Repository_close(repository, -1);
}

TEST_F(StoreDamageTest, AnObjectOfNoKnownTypeThatAChangeBringsIsReportedAndLeftOut) {
  // A later state makes an object of a type no registry knows.
  int32_t last = 0;
  std::string stranger;
  damage([&last, &stranger](Database *database) {
    ASSERT_EQ(Database_getInt(database, 0, nullptr, "State - last", &last), 1);
    zyrUUID *key = zyrUUID_newFromIntegers(1, 2, 3, 4);
    char text[ZYR_UUID_BASE64_SIZE];
    zyrUUID_toBase64(key, text);
    stranger = text;
    Database_setInt(database, last + 1, key, "__TYPE__", 987654);
    Database_setInt(database, 0, nullptr, "State - last", last + 1);
    zyrUUID_delete(key);
  });
  Repository *repository = Repository_new(m_name.c_str());
  ASSERT_NE(repository, nullptr);
  EXPECT_EQ(Repository_getCurrentState(repository), last);
  Repository_gotoState(repository, last + 1);
  EXPECT_EQ(Repository_getCurrentState(repository), last + 1);
  EXPECT_FALSE(isLive(repository, stranger));
  EXPECT_TRUE(isLive(repository, m_second));
  ASSERT_NE(zyrtest::ErrorCapture::last(), nullptr);
  EXPECT_STREQ(zyrError_getFunction(zyrtest::ErrorCapture::last()), "zyrStateManager_changeState");
  EXPECT_EQ(takeErrors(),
            std::vector<std::string>{"20006: Unable to determine type of restored object " + stranger + ".\n"});
  Repository_close(repository, -1);
}

TEST_F(StoreDamageTest, AFirstStateRecordOtherThanZeroIsIgnoredAndTheFileOpensAgain) {
  int32_t last = 0;
  damage([&last](Database *database) { ASSERT_EQ(Database_getInt(database, 0, nullptr, "State - last", &last), 1); });
  for (const int32_t first : {INT32_MIN, -3, 1, last + 5}) {
    SCOPED_TRACE(first);
    damage([first](Database *database) { Database_setInt(database, 0, nullptr, "State - first", first); });
    Repository *repository = Repository_new(m_name.c_str());
    ASSERT_NE(repository, nullptr) << testing::PrintToString(takeErrors());
    EXPECT_EQ(keyOf(repository), m_repository);
    EXPECT_TRUE(isLive(repository, m_second));
    EXPECT_EQ(takeErrors(), std::vector<std::string>{"4: The record of the first state of the database\n\n" +
                                                     m_name + "\n\nis damaged (" + std::to_string(first) +
                                                     "); every state it holds is kept.\n"});
    // Every state stays reachable.
    Repository_gotoState(repository, 1);
    EXPECT_EQ(Repository_getCurrentState(repository), 1);
    Repository_gotoState(repository, last);
    Thing_new();
    Repository_commit(repository);
    Repository_close(repository, -1);
    repository = Repository_new(m_name.c_str());
    ASSERT_NE(repository, nullptr) << testing::PrintToString(takeErrors());
    EXPECT_EQ(keyOf(repository), m_repository);
    Repository_close(repository, -1);
    takeErrors();
    last = last + 1;
  }
}

TEST_F(StoreDamageTest, ALastStateRecordOfTheLargestNumberIsTaken) {
  // The open looked for versions from the state after the last one on, a number past the largest.
  damage([](Database *database) { Database_setInt(database, 0, nullptr, "State - last", INT32_MAX); });
  expectKeptByAWrite(1);
}

TEST_F(StoreDamageTest, APurgeThatCannotFinishLeavesTheFileAsItWas) {
  int32_t last = 0;
  damage([&last](Database *database) { ASSERT_EQ(Database_getInt(database, 0, nullptr, "State - last", &last), 1); });
  const std::string before = zyrtest::readFile(m_name);
  Repository *repository = Repository_new(m_name.c_str());
  ASSERT_NE(repository, nullptr) << testing::PrintToString(takeErrors());
  takeErrors();
  // The purged copies cannot be written. The purge once erased in the file itself, then failed to
  // compact, and the next open made a new, empty Repository. It works on copies, which are not
  // made: the file stays as it was.
  zyrFault_arm("write@1+", (file("") + "compact").c_str());
  EXPECT_EQ(Repository_close(repository, 1), 0);
  zyrFault_disarm();
  const std::vector<std::string> errors = takeErrors();
  ASSERT_FALSE(errors.empty());
  EXPECT_EQ(errors.back(), "5: Unable to compact the database\n\n" + m_name + "\n\n");
  EXPECT_EQ(zyrtest::readFile(m_name), before);
  // Nothing of the copies is left beside the file.
  std::vector<std::string> beside;
  if (DIR *directory = opendir(file("").c_str())) {
    while (const dirent *entry = readdir(directory))
      if (entry->d_name[0] != '.')
        beside.push_back(entry->d_name);
    closedir(directory);
  }
  EXPECT_EQ(beside, std::vector<std::string>{"damaged.zyr"});
  repository = Repository_new(m_name.c_str());
  ASSERT_NE(repository, nullptr) << testing::PrintToString(takeErrors());
  EXPECT_EQ(keyOf(repository), m_repository);
  EXPECT_TRUE(isLive(repository, m_first));
  EXPECT_TRUE(isLive(repository, m_second));
  EXPECT_EQ(Repository_getCurrentState(repository), last);
  Repository_close(repository, -1);
}

TEST_F(StoreDamageTest, APurgeKeepsTheTypeRecordTheObjectWasRestoredBy) {
  // The data of the Repository's type record at the last state damaged: the open restores the
  // Repository by its first type record. A purge that kept the damaged one left a file whose
  // Repository no later open could make.
  int32_t last = 0;
  ASSERT_NO_FATAL_FAILURE(damageLastTypeRecord("*DATA", &last));

  Repository *repository = Repository_new(m_name.c_str());
  ASSERT_NE(repository, nullptr) << testing::PrintToString(takeErrors());
  EXPECT_EQ(Repository_close(repository, 1), 1) << testing::PrintToString(takeErrors());
  takeErrors();
  repository = Repository_new(m_name.c_str());
  ASSERT_NE(repository, nullptr) << testing::PrintToString(takeErrors());
  EXPECT_EQ(keyOf(repository), m_repository);
  EXPECT_TRUE(isLive(repository, m_first));
  EXPECT_TRUE(isLive(repository, m_second));
  EXPECT_EQ(Repository_getCurrentState(repository), 1);
  Repository_close(repository, -1);
}

TEST_F(StoreDamageTest, APurgeLeavesOutADataSetThatItsEntryDoesNotName) {
  // The purge copied the thing's type record under the Repository's key, and the next open took
  // the Repository for a thing and refused the file.
  zyrtest::writeFile(m_name, misnamedEntryAndDeletedFrame(false));
  expectKeptByAWrite(1);
}

TEST_F(StoreDamageTest, ARebuildThatRunsPastTheEndOfTheDataSetsIsNotTaken) {
  // The walk jumped from the deleted frame into the stored index, took its text for the damaged
  // tail of a file cut short and made a table of the frames before the deleted one alone, which
  // replaced the whole one and was stored at the close.
  const std::string damaged = misnamedEntryAndDeletedFrame(true);
  for (const int32_t flag : {-1, 1}) {
    zyrtest::writeFile(m_name, damaged);
    expectKeptByAWrite(flag);
  }
}

TEST_F(StoreDamageTest, APurgeKeepsAnObjectRestoredByATypeRecordAtStateZero) {
  // The second thing's type record made unreadable, and another stored at state 0 (damage), from
  // which the open takes the thing's type. The purge kept that one, at state 0, where no open
  // looks for the objects a file makes: the thing was gone.
  damage([this](Database *database) {
    int32_t last = 0;
    ASSERT_EQ(Database_getInt(database, 0, nullptr, "State - last", &last), 1);
    zyrUUID *key = uuid(m_second);
    int32_t type = 0;
    ASSERT_EQ(Database_getInt(database, last, key, "__TYPE__", &type), 1);
    Database_setInt(database, 0, key, "__TYPE__", type);
    zyrUUID_delete(key);
  });
  std::string bytes = zyrtest::readFile(m_name);
  const size_t record = bytes.find("__TYPE__\x1c" + std::string(3, '\0') + "WHERE\x1b" + m_second);
  ASSERT_NE(record, std::string::npos);
  bytes[bytes.find("*DATA", bytes.find("DATATYPE", record)) + 4] = 'X';
  zyrtest::writeFile(m_name, bytes);
  expectKeptByAWrite(1);
}

TEST_F(StoreDamageTest, ATypeRecordThatARebuildBringsToLightIsNotKeptByTheClose) {
  // The index entry of the type names made to name the frame of the type ids, and one id in that
  // frame damaged. The open's read of the names fails and rebuilds the index, so the open goes by
  // the registry; the rebuilt index names both records, which disagree with it. The close (with a
  // change or without, which stores the rebuilt index all the same) kept them, and the next open
  // refused the file.
  std::string bytes = zyrtest::readFile(m_name);
  const size_t index = bytes.rfind("*INDEX\n");
  const std::string esc(1, '\x1b');
  const auto offsetField = [&](const std::string &name) {
    const size_t line = bytes.find(esc + name + esc + "GLOBAL" + esc + "0" + esc, index);
    EXPECT_NE(line, std::string::npos);
    const size_t end = bytes.find('\n', line);
    return std::make_pair(bytes.rfind(esc, end) + 1, end);
  };
  const auto names = offsetField("Type - names");
  const auto ids = offsetField("Type - ids");
  const std::string idsAt = bytes.substr(ids.first, ids.second - ids.first);
  ASSERT_EQ(idsAt.size(), names.second - names.first);
  bytes.replace(names.first, idsAt.size(), idsAt);
  const size_t data = bytes.find("*DATA", bytes.find("*HEADER", std::stoul(idsAt)) + 7) + 5;
  bytes[data + 4 * 7 + 3] = 7;
  for (const bool change : {true, false})
    for (const int32_t flag : {-1, 0, 1}) {
      SCOPED_TRACE(testing::Message() << "change " << change << ", flag " << flag);
      zyrtest::writeFile(m_name, bytes);
      expectKeptByAWrite(flag, change);
    }
}

TEST_F(StoreDamageTest, ADataSetThatItsIndexEntryDisagreesWithIsLeftOutAlikeByTheOpenAndEveryClose) {
  // The open went by the index, the copies of a compaction or purge by the frames, and a read
  // that met a frame naming another key rebuilt the index behind the open's back: a close could
  // lose an object the open showed, bring back one it had erased, or one no open showed.
  Repository *repository = Repository_new(m_name.c_str());
  ASSERT_NE(repository, nullptr);
  zyrObject_deleteByType(Dictionary_find(Repository_getStateManager(repository)->m_objects, m_first.c_str()));
  Repository_commit(repository);
  Repository_close(repository, -1);
  takeErrors();
  const std::string good = zyrtest::readFile(m_name);
  const size_t type = frameOf(good, "__TYPE__", m_second), deleted = frameOf(good, "__DELETED__", m_first);
  struct Case {
    const char *m_what;
    std::string m_bytes;
    size_t m_frame;
    std::string m_leftOut; // the name and key of the data set left out, as its frame holds them
    bool m_firstLive, m_secondLive;
    std::string m_entry; // the name and key its entry gives, when they differ
  };
  std::vector<Case> cases = {
      {"a type record's frame a byte shorter than its entry says", good, type, "__TYPE__\" of the object " + m_second,
       false, false, ""},
      {"a type record's frame names another object", good, type,
       "__TYPE__\" of the object " + renamedKey(m_second), false, false, "__TYPE__\" of the object " + m_second},
      {"a deletion mark's frame names another object", good, deleted,
       "__DELETED__\" of the object " + renamedKey(m_first), true, true, "__DELETED__\" of the object " + m_first},
  };
  cases[0].m_bytes[type + 3] = static_cast<char>(cases[0].m_bytes[type + 3] - 1);
  renameInFrame(&cases[1].m_bytes, type, m_second);
  renameInFrame(&cases[2].m_bytes, deleted, m_first);
  for (const Case &c : cases)
    for (const int32_t flag : {-1, 0, 1}) {
      SCOPED_TRACE(testing::Message() << c.m_what << ", flag " << flag);
      zyrtest::writeFile(m_name, c.m_bytes);
      const std::vector<std::string> opened = expectKeptByAWrite(flag, true, [&](Repository *open) {
        EXPECT_EQ(isLive(open, m_first), c.m_firstLive);
        EXPECT_EQ(isLive(open, m_second), c.m_secondLive);
      });
      const std::string said = "4: The ZYR database\n\n" + m_name +
                               "\n\nholds data sets whose names are damaged or that do not stand as its index "
                               "says, from byte " +
                               std::to_string(c.m_frame) + " on (the first: the version of \"" + c.m_leftOut +
                               " for state ";
      const std::string entry = "; its index entry names the version of \"" + c.m_entry + " for state ";
      EXPECT_TRUE(std::any_of(opened.begin(), opened.end(),
                              [&](const std::string &e) {
                                return e.compare(0, said.size(), said) == 0 &&
                                       zyrtest::contains(e, c.m_entry.empty() ? "; its index entry" : entry) ==
                                           !c.m_entry.empty();
                              }))
          << testing::PrintToString(opened);
    }
  // A type record whose header does not read at all: the Repository is restored by its older one.
  zyrtest::writeFile(m_name, good);
  int32_t last = 0;
  ASSERT_NO_FATAL_FAILURE(damageLastTypeRecord("NUMATTRB", &last));
  const std::string unread = zyrtest::readFile(m_name);
  for (const int32_t flag : {-1, 0, 1}) {
    SCOPED_TRACE(flag);
    zyrtest::writeFile(m_name, unread);
    expectKeptByAWrite(flag);
  }
}

TEST_F(StoreDamageTest, TheOpenAndTheReopenTakeTheSameRepositoryWhenItsModelRecordIsDamaged) {
  // An impostor Repository made at a later state, the header of a newer type record of the
  // Repository made unreadable (so that no rebuild of the index can walk the file), and the
  // frame of the Repository's "primaryModel" record naming another object. The open took the
  // Repository whose entry of that record the index still held; the ordinary close left the
  // record out, and the next open took neither Repository.
  int32_t last = 0;
  damage([&last](Database *database) {
    ASSERT_EQ(Database_getInt(database, 0, nullptr, "State - last", &last), 1);
    zyrUUID *key = zyrUUID_newFromIntegers(1, 2, 3, 4);
    Database_setInt(database, last + 1, key, "__TYPE__", 0);
    Database_setInt(database, 0, nullptr, "State - current", last + 1);
    Database_setInt(database, 0, nullptr, "State - last", last + 1);
    zyrUUID_delete(key);
  });
  ASSERT_NO_FATAL_FAILURE(damageLastTypeRecord("NUMATTRB", &last));
  std::string bytes = zyrtest::readFile(m_name);
  renameInFrame(&bytes, frameOf(bytes, "primaryModel", m_repository), m_repository);
  for (const int32_t flag : {0, -1, 1}) {
    SCOPED_TRACE(flag);
    zyrtest::writeFile(m_name, bytes);
    Repository *repository = Repository_new(m_name.c_str());
    ASSERT_NE(repository, nullptr) << testing::PrintToString(takeErrors());
    const std::string owner = keyOf(repository);
    Thing_new();
    repository = closeAndReopen(repository, flag);
    ASSERT_NE(repository, nullptr);
    EXPECT_EQ(keyOf(repository), owner);
    Repository_close(repository, -1);
    takeErrors();
  }
}

// The model an open finds is the Repository's for as long as the file is open, whatever a damaged
// history names at the states gone to: here none at the last state, the model at the first. The
// process closed holding the model of the first state while the file still named none where it
// closed, and the next open found no model.
TEST_F(StoreDamageTest, EveryCloseLeavesTheFileNamingThePrimaryModelTheProcessHeld) {
  int32_t last = 0;
  damage([this, &last](Database *database) {
    ASSERT_EQ(Database_getInt(database, 0, nullptr, "State - last", &last), 1);
    zyrUUID *key = uuid(m_repository);
    Database_setPointer(database, last, key, "primaryModel", nullptr);
    zyrUUID_delete(key);
  });
  const std::string bytes = zyrtest::readFile(m_name);
  for (const int32_t flag : {-1, 0, 1}) {
    SCOPED_TRACE(flag);
    zyrtest::writeFile(m_name, bytes);
    Repository *repository = Repository_new(m_name.c_str());
    ASSERT_NE(repository, nullptr) << testing::PrintToString(takeErrors());
    EXPECT_EQ(Repository_getPrimaryModel(repository), nullptr);
    Repository_gotoState(repository, 1);
    Repository_gotoState(repository, last);
    ASSERT_NE(Repository_getPrimaryModel(repository), nullptr);
    const std::string model = keyOf(Repository_getPrimaryModel(repository));
    Thing_new();
    Repository_commit(repository);
    const zyrtest::ObjectContents held = zyrtest::liveObjectContents(repository);
    EXPECT_EQ(Repository_close(repository, flag), 1) << testing::PrintToString(takeErrors());
    repository = Repository_new(m_name.c_str());
    ASSERT_NE(repository, nullptr) << testing::PrintToString(takeErrors());
    ASSERT_NE(Repository_getPrimaryModel(repository), nullptr);
    EXPECT_EQ(keyOf(Repository_getPrimaryModel(repository)), model);
    EXPECT_EQ(zyrtest::firstDifference(held, zyrtest::liveObjectContents(repository)), "");
    Repository_close(repository, -1);
    takeErrors();
  }
}

// The first thing stored as a second Repository of the file, made with it and naming its model,
// and deleted at a later state, where the file is opened. A change made after going back to where
// the thing lives kept it in the file beside the Repository, and the next open could tell neither
// from the other.
TEST_F(StoreDamageTest, ACloseLeavesTheFileOneRepositoryWhereAChangeBroughtBackAnother) {
  int32_t last = 0;
  damage([this, &last](Database *database) {
    ASSERT_EQ(Database_getInt(database, 0, nullptr, "State - last", &last), 1);
    zyrUUID *owner = uuid(m_repository);
    zyrUUID *model = nullptr;
    ASSERT_EQ(Database_getPointer(database, 1, owner, "primaryModel", &model), 1);
    zyrUUID *key = uuid(m_first);
    Database_deleteDataSet(database, key, "__TYPE__");
    Database_setInt(database, 1, key, "__TYPE__", 0);
    Database_setPointer(database, 1, key, "primaryModel", model);
    Database_setInt(database, last + 1, key, "__DELETED__", 0);
    Database_setInt(database, 0, nullptr, "State - current", last + 1);
    Database_setInt(database, 0, nullptr, "State - last", last + 1);
    zyrUUID_delete(key);
    zyrUUID_delete(model);
    zyrUUID_delete(owner);
  });
  const std::string bytes = zyrtest::readFile(m_name);
  for (const int32_t flag : {-1, 0}) {
    SCOPED_TRACE(flag);
    zyrtest::writeFile(m_name, bytes);
    Repository *repository = Repository_new(m_name.c_str());
    ASSERT_NE(repository, nullptr) << testing::PrintToString(takeErrors());
    ASSERT_EQ(keyOf(repository), m_repository);
    Repository_gotoState(repository, 1);
    ASSERT_TRUE(isLive(repository, m_first));
    Thing_new();
    repository = closeAndReopen(repository, flag);
    ASSERT_NE(repository, nullptr);
    EXPECT_EQ(keyOf(repository), m_repository);
    EXPECT_FALSE(isLive(repository, m_first));
    Repository_close(repository, -1);
    takeErrors();
  }
}

} // namespace
