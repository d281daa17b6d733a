#include "ObjectTestSupport.h"

#include "Database.h"
#include "zyrStateManager.h"
#include "zyrSystem.h"

#include <cstdlib>

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

TEST_F(ScratchTest, DestroyUnloadsWithoutDeleting) {
  Repository *repository = Repository_new("destroy");
  TestThing *thing = objecttest::Thing_new();
  objecttest::Thing_setCount(thing, 3);
  const std::string key = objecttest::keyOf(thing);
  Repository_commit(repository);
  const int32_t deletes = objecttest::thingDeletes();
  EXPECT_EQ(zyrObject_destroy(thing), 1);
  EXPECT_EQ(objecttest::thingDeletes(), deletes + 1);
  EXPECT_EQ(objecttest::listAll(repository, key.c_str(), "__DELETED__").size(), 0u);
  EXPECT_EQ(Repository_commit(repository), Repository_getCurrentState(repository));
  EXPECT_EQ(Repository_getSingletonByTypeName(repository, "Assembly"), nullptr);
  Repository_close(repository, -1);
  // Still stored: the next open loads it.
  repository = Repository_new("destroy");
  thing = static_cast<TestThing *>(Repository_getSingletonByTypeName(repository, "Assembly"));
  ASSERT_NE(thing, nullptr);
  EXPECT_EQ(thing->m_count, 3);
  Repository_close(repository, -1);
}

TEST_F(ScratchTest, CalledAfterCloseTheClosedFileIsNotTouched) {
  Repository *repository = Repository_new("closed");
  Repository_close(repository, -1);
  EXPECT_EQ(Repository_setCurrentStateManager(nullptr), nullptr);
}

} // namespace
