#include "ObjectTestSupport.h"

#include "Database.h"
#include "zyrCString.h"
#include "zyrLeftovers.h"
#include "zyrMemory.h"
#include "zyrStateManager.h"
#include "zyrUUID.h"

#include <algorithm>
#include <map>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using objecttest::Entry;
using objecttest::keyOf;
using objecttest::listAll;
using objecttest::TestModel;
using objecttest::TestThing;
using objecttest::Thing_new;
using objecttest::Thing_setCount;

class StateTest : public objecttest::ObjectStoreTest {
protected:
  void SetUp() override {
    ObjectStoreTest::SetUp();
    m_name = file("states.zyr");
    open();
  }
  void TearDown() override {
    if (m_repository != nullptr)
      Repository_close(m_repository, -1);
    ObjectStoreTest::TearDown();
  }
  void open() {
    m_repository = Repository_new(m_name.c_str());
    ASSERT_NE(m_repository, nullptr);
  }
  void close(int32_t flag) {
    Repository_close(m_repository, flag);
    m_repository = nullptr;
  }
  zyrStateManager *manager() { return Repository_getStateManager(m_repository); }
  TestThing *live(const std::string &key) {
    return static_cast<TestThing *>(zyrStateManager_pointerFromUUIDString(manager(), key.c_str()));
  }
  TestThing *theThing() {
    return static_cast<TestThing *>(Repository_getSingletonByTypeName(m_repository, "Assembly"));
  }
  int32_t stored(Database *database, const char *name) {
    int32_t value = -99;
    Database_getInt(database, 0, nullptr, name, &value);
    return value;
  }
  // Commits states up to the given one, each setting the thing's count to its own number.
  void commitStates(TestThing *thing, int32_t upTo) {
    while (Repository_getCurrentState(m_repository) < upTo) {
      Thing_setCount(thing, zyrStateManager_openState(manager()));
      Repository_commit(m_repository);
    }
  }

  std::string m_name;
  Repository *m_repository = nullptr;
};

TEST_F(StateTest, NewFileHasRepositoryModelAndFirstCheckpoint) {
  EXPECT_GE(Repository_getCurrentState(m_repository), 1);
  EXPECT_EQ(Repository_getNoOfCheckpoints(m_repository), 1);
  EXPECT_EQ(Repository_getCheckpoints(m_repository)[0], Repository_getCurrentState(m_repository));
  TestModel *model = static_cast<TestModel *>(Repository_getPrimaryModel(m_repository));
  ASSERT_NE(model, nullptr);
  EXPECT_EQ(model->m_repository, m_repository);
  EXPECT_EQ(Repository_getSingletonByTypeName(m_repository, "Repository"), m_repository);
  EXPECT_EQ(Repository_getSingletonByTypeName(m_repository, "Model"), model);
  EXPECT_EQ(Repository_getSingletonByTypeName(m_repository, "Assembly"), nullptr);
  // The model's cached name was flushed at the commit.
  EXPECT_EQ(listAll(m_repository, keyOf(model).c_str(), "name").size(), 1u);
  EXPECT_GE(Repository_getVersion(m_repository), 20030328);
}

TEST_F(StateTest, GoingBackReloadsOnlyWhatChanged) {
  TestThing *thing = Thing_new();
  Thing_setCount(thing, 5);
  objecttest::Thing_setLabel(thing, "a");
  const int32_t s1 = Repository_commit(m_repository);
  Thing_setCount(thing, 6);
  const int32_t s2 = Repository_commit(m_repository);
  EXPECT_EQ(s2, s1 + 1);
  thing->m_reads = 0;
  thing->m_restores = 0;

  Repository_gotoState(m_repository, s1);
  EXPECT_EQ(Repository_getCurrentState(m_repository), s1);
  EXPECT_EQ(theThing(), thing);
  EXPECT_EQ(thing->m_restores, 1);
  EXPECT_EQ(thing->m_lastFlag, 1);
  EXPECT_EQ(thing->m_reads, 1);
  EXPECT_EQ(thing->m_count, 5);
  EXPECT_STREQ(thing->m_label, "a");

  Repository_gotoState(m_repository, s2);
  EXPECT_EQ(thing->m_count, 6);
  EXPECT_EQ(thing->m_restores, 2);
  EXPECT_TRUE(takeErrors().empty());
}

TEST_F(StateTest, UndoingACreationDeletesAndRedoCreatesAgain) {
  const int32_t s = Repository_commit(m_repository);
  TestThing *thing = Thing_new();
  Thing_setCount(thing, 42);
  objecttest::Thing_setCached(thing, 7);
  const std::string key = keyOf(thing);
  EXPECT_EQ(Repository_commit(m_repository), s + 1);
  const int32_t deletes = objecttest::thingDeletes();

  Repository_gotoState(m_repository, s);
  EXPECT_EQ(objecttest::thingDeletes(), deletes + 1);
  EXPECT_EQ(theThing(), nullptr);
  // Unloading writes nothing: the object is still stored.
  EXPECT_EQ(listAll(m_repository, key.c_str(), "__DELETED__").size(), 0u);

  Repository_gotoState(m_repository, s + 1);
  TestThing *again = theThing();
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(keyOf(again), key);
  EXPECT_EQ(again->m_restores, 1);
  EXPECT_EQ(again->m_lastFlag, 0);
  EXPECT_EQ(again->m_count, 42);
  EXPECT_EQ(again->m_cached, 7);
  EXPECT_TRUE(takeErrors().empty());
}

TEST_F(StateTest, WritingAfterGoingBackErasesTheRedoHistory) {
  TestThing *thing = Thing_new();
  commitStates(thing, 5);
  const std::string key = keyOf(thing);
  Repository_gotoState(m_repository, 3);
  EXPECT_EQ(thing->m_count, 3);
  Thing_setCount(thing, 100);
  EXPECT_EQ(Repository_getCurrentState(m_repository), -4);
  EXPECT_EQ(manager()->m_last, -4);
  for (const Entry &entry : listAll(m_repository))
    EXPECT_LE(entry.when, 4) << entry.key << " " << entry.name;
  Repository_commit(m_repository);
  EXPECT_EQ(zyrStateManager_changeState(manager(), 0, 5), 0);
  EXPECT_EQ(Repository_getCurrentState(m_repository), 4);
}

TEST_F(StateTest, ChangesOfStateRefused) {
  TestThing *thing = Thing_new();
  commitStates(thing, 4);
  Thing_setCount(thing, 9); // state 5 open
  EXPECT_EQ(zyrStateManager_changeState(manager(), 1, 1), 0);
  EXPECT_EQ(zyrStateManager_changeState(manager(), 0, 5), 1); // already there
  EXPECT_EQ(zyrStateManager_changeState(manager(), 0, -1), 0);
  // Back out of the open state and forward into it again: it is open again.
  EXPECT_EQ(zyrStateManager_changeState(manager(), 1, -1), 1);
  EXPECT_EQ(Repository_getCurrentState(m_repository), 4);
  EXPECT_EQ(thing->m_count, 4);
  EXPECT_EQ(zyrStateManager_changeState(manager(), 1, 1), 1);
  EXPECT_EQ(Repository_getCurrentState(m_repository), -5);
  EXPECT_EQ(thing->m_count, 9);
}

TEST_F(StateTest, TheRepositoryIsNeverUnloadedByGoingBack) {
  const int32_t s = Repository_commit(m_repository);
  Repository_gotoState(m_repository, 0);
  EXPECT_EQ(Repository_getCurrentState(m_repository), s);
  EXPECT_EQ(Repository_getSingletonByTypeName(m_repository, "Repository"), m_repository);
}

TEST_F(StateTest, CreatedAndDeletedInsideTheRangeIsLeftAlone) {
  const int32_t s = Repository_commit(m_repository);
  TestThing *thing = Thing_new();
  Repository_commit(m_repository);
  zyrObject_delete(thing);
  Repository_commit(m_repository);
  const int32_t deletes = objecttest::thingDeletes();
  Repository_gotoState(m_repository, s);
  Repository_gotoState(m_repository, s + 2);
  EXPECT_EQ(objecttest::thingDeletes(), deletes);
  EXPECT_EQ(theThing(), nullptr);
  EXPECT_TRUE(takeErrors().empty());
}

TEST_F(StateTest, ReopeningLoadsTheStoredCurrentState) {
  TestThing *thing = Thing_new();
  commitStates(thing, 6);
  TestModel *model = static_cast<TestModel *>(Repository_getPrimaryModel(m_repository));
  const std::string modelKey = keyOf(model);
  Repository_gotoState(m_repository, 4);
  close(0);
  open();
  EXPECT_EQ(Repository_getCurrentState(m_repository), 4);
  ASSERT_NE(theThing(), nullptr);
  EXPECT_EQ(theThing()->m_count, 4);
  model = static_cast<TestModel *>(Repository_getPrimaryModel(m_repository));
  ASSERT_NE(model, nullptr);
  EXPECT_EQ(keyOf(model), modelKey);
  EXPECT_EQ(model->m_repository, m_repository);
  EXPECT_STREQ(model->m_name, "primary");
  EXPECT_NE(model->m_topology, nullptr);
  Repository_gotoState(m_repository, 6);
  EXPECT_EQ(theThing()->m_count, 6);
  EXPECT_TRUE(takeErrors().empty());
}

// A failed operation goes back to the state before it and leaves its own state open; the close
// erases that state, so the next open finds a database that was closed properly.
TEST_F(StateTest, AStateLeftByGoingBackGoesWithTheClose) {
  TestThing *thing = Thing_new();
  commitStates(thing, 3);
  Thing_setCount(thing, 100);
  objecttest::Thing_new();
  ASSERT_EQ(Repository_getCurrentState(m_repository), -4);
  Repository_gotoState(m_repository, 3);
  ASSERT_EQ(manager()->m_last, -4);
  for (const int32_t flag : {0, -1}) {
    SCOPED_TRACE(flag);
    close(flag);
    open();
    EXPECT_EQ(Repository_getCurrentState(m_repository), 3);
    EXPECT_EQ(manager()->m_last, 3);
    ASSERT_NE(theThing(), nullptr);
    EXPECT_EQ(theThing()->m_count, 3);
    for (const Entry &entry : listAll(m_repository))
      EXPECT_LE(entry.when, 3) << entry.key << " " << entry.name;
    EXPECT_TRUE(takeErrors().empty());
    Thing_setCount(theThing(), 100);
    Repository_gotoState(m_repository, 3);
  }
}

TEST_F(StateTest, CloseWithPurgeLeavesOneVersionAtStateOne) {
  TestThing *kept = Thing_new();
  TestThing *gone = Thing_new();
  Thing_setCount(gone, 1);
  commitStates(kept, 5);
  const std::string goneKey = keyOf(gone);
  zyrObject_delete(gone);
  commitStates(kept, 7);
  close(1);

  Database *database = Database_new(m_name.c_str());
  ASSERT_NE(database, nullptr);
  EXPECT_EQ(stored(database, "State - first"), 0);
  EXPECT_EQ(stored(database, "State - current"), 1);
  EXPECT_EQ(stored(database, "State - last"), 1);
  int32_t noOfKeys = 0;
  char **keys = nullptr;
  int32_t *offsets = nullptr;
  char **names = nullptr;
  int32_t *whens = nullptr;
  Database_match(database, -1, -1, "*", "*", &noOfKeys, &keys, &offsets, &names, &whens);
  std::set<std::pair<std::string, std::string>> seen;
  for (int32_t k = 0; k < noOfKeys; ++k) {
    EXPECT_NE(goneKey, keys[k]);
    for (int32_t j = offsets[k]; j < offsets[k + 1]; ++j) {
      EXPECT_TRUE(seen.insert({keys[k], names[j]}).second) << keys[k] << " " << names[j];
      EXPECT_EQ(whens[j], std::string(keys[k]) == "GLOBAL" ? 0 : 1) << keys[k] << " " << names[j];
    }
  }
  zyrCStringArray_free(keys, static_cast<uint64_t>(noOfKeys));
  zyrCStringArray_free(names, static_cast<uint64_t>(offsets[noOfKeys]));
  zyrMemory_free(offsets, "test");
  zyrMemory_free(whens, "test");
  Database_delete(database);

  open();
  EXPECT_EQ(Repository_getCurrentState(m_repository), 1);
  ASSERT_NE(theThing(), nullptr);
  EXPECT_EQ(theThing()->m_count, 7);
  EXPECT_EQ(Repository_getNoOfCheckpoints(m_repository), 1);
  EXPECT_EQ(Repository_getCheckpoints(m_repository)[0], 1);
}

TEST_F(StateTest, CheckpointsRecordedRestoredAndTruncated) {
  TestThing *thing = Thing_new();
  Repository_commit(m_repository);
  ASSERT_EQ(Repository_getCheckpoints(m_repository)[0], 1);
  commitStates(thing, 4);
  EXPECT_EQ(Repository_externalCheckpoint(m_repository), 1);
  EXPECT_EQ(Repository_externalCheckpoint(m_repository), 1); // nothing changed
  commitStates(thing, 6);
  EXPECT_EQ(Repository_externalCheckpoint(m_repository), 2);
  commitStates(thing, 9);
  EXPECT_EQ(Repository_externalCheckpoint(m_repository), 3);
  EXPECT_EQ(std::vector<int32_t>(Repository_getCheckpoints(m_repository), Repository_getCheckpoints(m_repository) + 4),
            (std::vector<int32_t>{1, 4, 6, 9}));

  EXPECT_EQ(Repository_gotoExternalCheckpoint(m_repository, 1), 1);
  EXPECT_EQ(thing->m_count, 4);
  EXPECT_EQ(Repository_gotoExternalCheckpoint(m_repository, -1), 0);
  EXPECT_EQ(Repository_gotoExternalCheckpoint(m_repository, 4), 0);
  EXPECT_EQ(takeErrors(), (std::vector<std::string>{"10043: The supplied checkpoint, -1, is not valid.\n",
                                                    "10043: The supplied checkpoint, 4, is not valid.\n"}));
  EXPECT_EQ(Repository_getCurrentState(m_repository), 4);

  Repository_gotoState(m_repository, 5);
  Thing_setCount(thing, 55);
  EXPECT_EQ(Repository_getNoOfCheckpoints(m_repository), 2);
  EXPECT_EQ(Repository_getCheckpoints(m_repository)[1], 4);

  // The list survives a close that keeps history.
  close(-1);
  open();
  EXPECT_EQ(std::vector<int32_t>(Repository_getCheckpoints(m_repository), Repository_getCheckpoints(m_repository) + 2),
            (std::vector<int32_t>{1, 4}));
  EXPECT_EQ(Repository_getNoOfCheckpoints(m_repository), 2);
}

TEST_F(StateTest, LongStoredCheckpointListDoublesTheCapacity) {
  const std::string repositoryKey = keyOf(m_repository);
  close(-1);
  Database *database = Database_new(m_name.c_str());
  std::vector<int32_t> list(120, 1);
  zyrUUID *uuid = zyrUUID_newFromBase64(repositoryKey.c_str());
  ASSERT_EQ(Database_setInts(database, 0, uuid, "checkpoints", list.data(), 120), 1);
  zyrUUID_delete(uuid);
  Database_delete(database);
  open();
  EXPECT_EQ(Repository_getNoOfCheckpoints(m_repository), 120);
  EXPECT_EQ(m_repository->m_maxNoOfCheckpoints, 240);
}

TEST_F(StateTest, ObjectsOfAType) {
  TestThing *a = Thing_new();
  TestThing *b = Thing_new();
  Repository_commit(m_repository);
  zyrObject_delete(a);
  int32_t count = 0;
  void **objects = nullptr;
  EXPECT_EQ(zyrStateManager_getObjectsByTypeName(manager(), "Assembly", &count, &objects), 1);
  ASSERT_EQ(count, 1);
  EXPECT_EQ(objects[0], b);
  zyrMemory_free(objects, "test");
  EXPECT_EQ(zyrStateManager_getObjectsByTypeName(manager(), "Region", &count, &objects), 1);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(objects, nullptr);
  EXPECT_EQ(zyrStateManager_getObjectsByTypeID(manager(), 55, &count, &objects), 0);
  EXPECT_EQ(zyrStateManager_getTypeIndexOfKey(manager(), keyOf(b).c_str()), 2);
  EXPECT_EQ(zyrStateManager_getTypeIndexOfKey(manager(), "AAAAAAAAAAAAAAAAAAAAAA"), -1);
}

TEST_F(StateTest, DumpListing) {
  char *text = nullptr;
  size_t size = 0;
  FILE *stream = open_memstream(&text, &size);
  Repository_dump(m_repository, stream);
  std::fclose(stream);
  char expected[512];
  const char *rule = "==============================================";
  std::snprintf(expected, sizeof expected, "\n%s\nRepository: %s\n%s\n\nm_primaryModel = %s\nm_stateManager = %p\n%s\n\n",
                rule, keyOf(m_repository).c_str(), rule, keyOf(Repository_getPrimaryModel(m_repository)).c_str(),
                static_cast<void *>(manager()), rule);
  EXPECT_STREQ(text, expected);
  std::free(text);
}

TEST_F(StateTest, FileOfAnOlderReleaseWithoutRepository) {
  const std::string repositoryKey = keyOf(m_repository);
  const std::string modelKey = keyOf(Repository_getPrimaryModel(m_repository));
  close(-1);
  Database *database = Database_new(m_name.c_str());
  zyrUUID *uuid = zyrUUID_newFromBase64(repositoryKey.c_str());
  ASSERT_EQ(Database_deleteObject(database, uuid), 1);
  zyrUUID_delete(uuid);
  Database_delete(database);
  open();
  EXPECT_NE(keyOf(m_repository), repositoryKey);
  TestModel *model = static_cast<TestModel *>(Repository_getPrimaryModel(m_repository));
  ASSERT_NE(model, nullptr);
  EXPECT_EQ(keyOf(model), modelKey);
  EXPECT_EQ(model->m_repository, m_repository);
  EXPECT_EQ(Repository_getSingletonByTypeName(m_repository, "Repository"), m_repository);
}

TEST_F(StateTest, OpenFailuresLeaveTheCurrentManager) {
  zyrStateManager *current = Repository_setCurrentStateManager(manager());
  EXPECT_EQ(current, manager());
  objecttest::writeFile(file("junk.zyr"), "not a database\n");
  EXPECT_EQ(Repository_new(file("junk.zyr").c_str()), nullptr);
  EXPECT_EQ(Repository_setCurrentStateManager(manager()), manager());
  const std::vector<std::string> errors = takeErrors();
  ASSERT_FALSE(errors.empty());
  EXPECT_EQ(errors.back(), "10003: Unable to open the requested database\n\"" + file("junk.zyr") + "\".\n");
}

TEST_F(StateTest, ANewFileThatRefusesItsFirstWriteIsNotOpened) {
  // The name fits, but the name of its lock file does not.
  const std::string name = file(std::string(zyrLeftovers_nameMax(file("x").c_str()) - 7, 'n') + ".zyr");
  zyrStateManager *current = Repository_setCurrentStateManager(manager());
  EXPECT_EQ(Repository_new(name.c_str()), nullptr);
  EXPECT_EQ(Repository_setCurrentStateManager(current), manager());
  const std::vector<std::string> errors = takeErrors();
  ASSERT_FALSE(errors.empty());
  EXPECT_EQ(errors.back(), "10003: Unable to open the requested database\n\"" + name + "\".\n");
}

TEST_F(StateTest, FileWithRenumberedTypesIsRefusedBeforeLoading) {
  close(-1);
  Database *database = Database_new(m_name.c_str());
  int32_t *ids = nullptr;
  int32_t n = 0;
  ASSERT_EQ(Database_getInts(database, 0, nullptr, "Type - ids", &ids, &n), 1);
  std::swap(ids[2], ids[12]); // Assembly and Model trade ids
  Database_setInts(database, 0, nullptr, "Type - ids", ids, n);
  zyrMemory_free(ids, "test");
  Database_delete(database);
  const int32_t deletes = objecttest::thingDeletes();
  EXPECT_EQ(Repository_new(m_name.c_str()), nullptr);
  EXPECT_EQ(objecttest::thingDeletes(), deletes);
  const std::vector<std::string> errors = takeErrors();
  ASSERT_GE(errors.size(), 2u);
  EXPECT_EQ(errors[0], "20006: Unable to recognise some of the types of object in the ZYR database:\n\n" + m_name +
                           "\n\n");
  // The file was let go: it opens again.
  database = Database_new(m_name.c_str());
  EXPECT_NE(database, nullptr);
  Database_delete(database);
}

TEST_F(StateTest, CopiesOfTheDatabase) {
  TestThing *thing = Thing_new();
  commitStates(thing, 4);
  EXPECT_EQ(Repository_copyDatabase(m_repository, "", 0, 1), 0);
  EXPECT_EQ(Repository_copyDatabase(m_repository, m_name.c_str(), 0, 1), 0);
  EXPECT_EQ(takeErrors(), (std::vector<std::string>{
                              "10020: No file name has been supplied for the copied database.\n",
                              "10005: Unable to copy the database as the file " + m_name + " already exists.\n"}));
  // A purged copy beside the file, which goes on.
  EXPECT_EQ(Repository_copyDatabase(m_repository, file("copy").c_str(), 0, 1), 1);
  Thing_setCount(thing, 50);
  Repository_commit(m_repository);
  EXPECT_STREQ(Database_getFileName(zyrStateManager_getDatabase(manager())), m_name.c_str());
  // Work on a copy: later changes go to it.
  EXPECT_EQ(Repository_copyDatabase(m_repository, file("work.zyr").c_str(), 1, -1), 1);
  EXPECT_EQ(Database_getFileName(zyrStateManager_getDatabase(manager())), file("work.zyr"));
  Thing_setCount(thing, 60);
  close(-1);

  m_name = file("copy.zyr");
  open();
  EXPECT_EQ(Repository_getCurrentState(m_repository), 1);
  EXPECT_EQ(Repository_getNoOfCheckpoints(m_repository), 1);
  EXPECT_EQ(Repository_getCheckpoints(m_repository)[0], 1);
  ASSERT_NE(theThing(), nullptr);
  EXPECT_EQ(theThing()->m_count, 4);
  close(-1);
  m_name = file("states.zyr");
  open();
  EXPECT_EQ(theThing()->m_count, 50);
  close(-1);
  m_name = file("work.zyr");
  open();
  EXPECT_EQ(theThing()->m_count, 60);
}

TEST_F(StateTest, QueriesFollowCommitsGoingBackAndOpeningAState) {
  TestThing *thing = Thing_new();
  commitStates(thing, 4);
  int32_t current = -1, first = -1, last = -1;
  ASSERT_EQ(zyrStateManager_getStoredStates(manager(), &current, &first, &last), 1);
  EXPECT_EQ(current, 4);
  EXPECT_EQ(last, 4);
  EXPECT_EQ(zyrStateManager_getAbsoluteState(manager()), 4);
  EXPECT_EQ(zyrStateManager_getTypeIdOfObject(manager(), thing), 2);
  EXPECT_EQ(zyrStateManager_checkTypes(manager()), 1);

  // Going back keeps the later states for a redo.
  Repository_gotoState(m_repository, 2);
  ASSERT_EQ(zyrStateManager_getStoredStates(manager(), &current, &first, &last), 1);
  EXPECT_EQ(current, 2);
  EXPECT_EQ(last, 4);
  EXPECT_EQ(thing->m_count, 2);

  // A change opens state 3 (negative while open) and drops them.
  Thing_setCount(thing, 50);
  ASSERT_EQ(zyrStateManager_getStoredStates(manager(), &current, &first, &last), 1);
  EXPECT_EQ(current, -3);
  EXPECT_EQ(last, -3);
  EXPECT_EQ(zyrStateManager_getAbsoluteState(manager()), 3);

  // A reload replaces what the object holds in memory by what is stored for it.
  thing->m_count = 7;
  ASSERT_EQ(zyrObject_reload(thing), 1);
  EXPECT_EQ(thing->m_count, 50);
  thing->m_count = 8;
  ASSERT_EQ(zyrStateManager_reloadObject(manager(), thing), 1);
  EXPECT_EQ(thing->m_count, 50);
  EXPECT_EQ(zyrObject_isDestroying(thing), 0);
  EXPECT_TRUE(takeErrors().empty());
}

// A database whose directory is removed while it is open refuses a change for the true reason:
// the directory is gone, and nothing can be made beside the database (its lock file's new value).
TEST_F(StateTest, AChangeInADirectoryRemovedMeanwhileTellsThatItIsGone) {
  close(-1);
  const std::string directory = file("gone");
  ASSERT_EQ(mkdir(directory.c_str(), 0700), 0);
  // Opened again, it is not yet its file's writer: the change claims the file.
  for (int open = 0; open < 2; ++open) {
    if (m_repository != nullptr)
      close(-1);
    m_repository = Repository_new((directory + "/states.zyr").c_str());
    ASSERT_NE(m_repository, nullptr);
  }
  for (const std::string &name : zyrtest::listing(directory))
    ASSERT_EQ(unlink((directory + "/" + name).c_str()), 0) << name;
  ASSERT_EQ(rmdir(directory.c_str()), 0);
  takeErrors();
  EXPECT_LE(zyrStateManager_openState(manager()), 0);
  const std::vector<std::string> errors = takeErrors();
  ASSERT_FALSE(errors.empty());
  for (const std::string &error : errors)
    EXPECT_FALSE(zyrtest::contains(error, "Operation not permitted")) << error;
  EXPECT_TRUE(zyrtest::contains(errors.back(), "No such file or directory")) << testing::PrintToString(errors);
}

} // namespace
