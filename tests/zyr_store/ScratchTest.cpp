#include "ObjectTestSupport.h"

#include "Database.h"
#include "zyrStateManager.h"
#include "zyrSystem.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

using objecttest::TestThing;

class ScratchTest : public objecttest::ObjectStoreTest {};

// The current state manager is process-wide: tested in a child.
TEST_F(ScratchTest, ObjectCallsWithoutADatabaseUseTheScratchDatabase) {
  EXPECT_EXIT(
      {
        if (Repository_setCurrentStateManager(nullptr) != nullptr)
          std::exit(2);
        TestThing *thing = objecttest::Thing_new();
        if (thing == nullptr || !zyrDoesFileExist("_changes.zyr"))
          std::exit(3);
        if (objecttest::Thing_setCount(thing, 4) != 1)
          std::exit(4);
        std::exit(0); // the exit callback closes the scratch database
      },
      testing::ExitedWithCode(0), "");
  // Closed at exit: no lock is left, and the object is stored.
  EXPECT_FALSE(zyrDoesFileExist("_changes.zyr.lck"));
  Repository *repository = Repository_new("_changes");
  ASSERT_NE(repository, nullptr);
  TestThing *thing = static_cast<TestThing *>(Repository_getSingletonByTypeName(repository, "Assembly"));
  ASSERT_NE(thing, nullptr);
  EXPECT_EQ(thing->m_count, 4);
  Repository_close(repository, -1);
}

TEST_F(ScratchTest, DestroyOfAnObjectWhoseHookDeletesItRecordsTheDeletion) {
  Repository *repository = Repository_new("destroy");
  TestThing *thing = objecttest::Thing_new();
  objecttest::Thing_setCount(thing, 3);
  const std::string key = objecttest::keyOf(thing);
  const int32_t created = Repository_commit(repository);
  const int32_t deletes = objecttest::thingDeletes();
  // The hook calls zyrObject_delete whatever zyrObject_isDestroying says: a deletion, marked.
  EXPECT_EQ(zyrObject_destroy(thing), 1);
  EXPECT_EQ(objecttest::thingDeletes(), deletes + 1);
  EXPECT_EQ(objecttest::listAll(repository, key.c_str(), "__DELETED__").size(), 1u);
  EXPECT_EQ(Repository_commit(repository), created + 1);
  EXPECT_EQ(Repository_getSingletonByTypeName(repository, "Assembly"), nullptr);
  Repository_close(repository, -1);
  repository = Repository_new("destroy");
  EXPECT_EQ(Repository_getSingletonByTypeName(repository, "Assembly"), nullptr);
  // Undoing the deletion brings it back.
  Repository_gotoState(repository, created);
  thing = static_cast<TestThing *>(Repository_getSingletonByTypeName(repository, "Assembly"));
  ASSERT_NE(thing, nullptr);
  EXPECT_EQ(thing->m_count, 3);
  Repository_close(repository, -1);
}

TEST_F(ScratchTest, TwoOpenDatabasesKeepTheirOwnObjects) {
  Repository *first = Repository_new("first");
  Repository *second = Repository_new("second");
  // Each operation works on its own file, whichever was opened last.
  Repository_makeCurrent(first);
  TestThing *thing = objecttest::Thing_new();
  objecttest::Thing_setCount(thing, 1);
  EXPECT_EQ(Repository_commit(first), 2);
  EXPECT_EQ(Repository_getSingletonByTypeName(second, "Assembly"), nullptr);
  EXPECT_EQ(Repository_getCurrentState(second), 1);
  // Closing one leaves the other current; the closed one is never current again.
  Repository_makeCurrent(second);
  Repository_close(first, -1);
  EXPECT_EQ(Repository_setCurrentStateManager(Repository_getStateManager(second)), Repository_getStateManager(second));
  Repository_close(second, -1);
  EXPECT_EQ(Repository_setCurrentStateManager(nullptr), nullptr);
}

} // namespace

namespace {

// The listings of a change of state and of a flush go to the debug log at level 1. The debug
// manager reads its environment once: the child is a fresh process of this test alone.
TEST_F(ScratchTest, ChangeOfStateListingsInTheDebugLog) {
  // The re-run child finds the variables that the parent set.
  if (getenv("ZYR_DEBUG_LOG") == nullptr) {
    objecttest::writeFile(file("control"), "<DEBUG>\nzyrStateManager_changeState : 1\n"
                                           "zyrStateManager_flushCache : 1\n</DEBUG>\n");
    setenv("ZYR_DEBUG_CONTROL", file("control").c_str(), 1);
    setenv("ZYR_DEBUG_LOG", file("debug.log").c_str(), 1);
  }
  const std::string log = getenv("ZYR_DEBUG_LOG");
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        const std::string keyFile = log + ".key";
        Repository *repository = Repository_new("traced");
        const int32_t s = Repository_commit(repository);
        TestThing *thing = objecttest::Thing_new();
        objecttest::Thing_setCached(thing, 1);
        Repository_commit(repository);
        objecttest::Thing_setCount(thing, 2);
        Repository_commit(repository);
        objecttest::writeFile(keyFile, objecttest::keyOf(thing));
        Repository_gotoState(repository, s);
        Repository_close(repository, -1);
        // This child made its own scratch directory.
        const std::string own = m_dir;
        std::filesystem::current_path("/");
        std::filesystem::remove_all(own);
        std::exit(0);
      },
      testing::ExitedWithCode(0), "");
  unsetenv("ZYR_DEBUG_CONTROL");
  unsetenv("ZYR_DEBUG_LOG");
  GTEST_FLAG_SET(death_test_style, "fast");
  std::ifstream keyStream(log + ".key");
  std::string key;
  std::getline(keyStream, key);
  ASSERT_EQ(key.size(), 22u);
  std::ifstream logStream(log);
  std::stringstream text;
  text << logStream.rdbuf();
  EXPECT_NE(text.str().find("Cached: " + key + "    2 [Assembly]\n"), std::string::npos) << text.str();
  EXPECT_NE(text.str().find("Number of deleted objects  = 1\n  " + key +
                            " - 2\nNumber of modified objects = 0\nNumber of restored objects = 0\n"),
            std::string::npos)
      << text.str();
}

} // namespace
