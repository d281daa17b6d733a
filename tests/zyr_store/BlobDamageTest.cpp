// Blobs stored with damaged versions, and empty ones: an open, a change of state and the open
// after a close show each blob alike at a state, and every close keeps what the process held.
#include "ObjectTestSupport.h"
#include "StoreTestSupport.h"

#include "Dictionary.h"
#include "zyrBlob.h"
#include "zyrMemory.h"
#include "zyrStateManager.h"
#include "zyrTestStore.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using objecttest::keyOf;
using objecttest::listAll;

class BlobDamageTest : public objecttest::ObjectStoreTest {
protected:
  void SetUp() override {
    ObjectStoreTest::SetUp();
    m_name = file("blobs.zyr");
  }
  zyrBlob *blob(Repository *repository, const std::string &key) {
    return static_cast<zyrBlob *>(Dictionary_find(Repository_getStateManager(repository)->m_objects, key.c_str()));
  }
  // Closes with the flag, opens again and expects the objects the process held, as it held them.
  Repository *closeAndReopen(Repository *repository, int32_t flag) {
    const zyrtest::ObjectContents held = zyrtest::liveObjectContents(repository);
    EXPECT_EQ(Repository_close(repository, flag), 1) << testing::PrintToString(takeErrors());
    takeErrors();
    repository = Repository_new(m_name.c_str());
    EXPECT_NE(repository, nullptr) << testing::PrintToString(takeErrors());
    if (repository != nullptr)
      EXPECT_EQ(zyrtest::firstDifference(held, zyrtest::liveObjectContents(repository)), "");
    return repository;
  }
  static int32_t *ints(std::initializer_list<int32_t> values) {
    int32_t *block = zyrMemory_allocateArray<int32_t>(static_cast<int64_t>(values.size()), "test");
    std::copy(values.begin(), values.end(), block);
    return block;
  }
  std::string leftOut(const std::string &key, int32_t when, const std::string &name = "useCount") const {
    return "20006: The version of \"" + name + "\" of the object " + key + " for state " + std::to_string(when) +
           " in the database\n\n" + m_name + "\n\nis damaged and has been left out.\n";
  }

  std::string m_name;
};

// The newest use count of a blob damaged: the open shows the one before it, and so does every way
// back to the state. The process held that count; the file after each kind of close gave the
// damaged version's nothing (0), and a purge kept the damaged version in place of the readable one.
TEST_F(BlobDamageTest, TheOlderReadableUseCountIsShownAtEveryVisitAndKeptByEveryClose) {
  Repository *repository = Repository_new(m_name.c_str());
  ASSERT_NE(repository, nullptr);
  zyrBlob *shared = zyrBlob_new(ints({1, 2, 3}), 12, ZYR_TYPE_INT);
  const std::string key = keyOf(shared);
  const int32_t made = Repository_commit(repository);
  zyrBlob_sharedCopy(shared);
  const int32_t sharedAt = Repository_commit(repository);
  zyrBlob_new(nullptr, 0, ZYR_TYPE_CHAR);
  const int32_t last = Repository_commit(repository);
  Repository_close(repository, -1);
  ASSERT_TRUE(storetest::damageEndTag(m_name, "useCount", key, sharedAt));
  const std::string damaged = zyrtest::readFile(m_name);

  for (const int32_t flag : {1, -1, 0}) {
    SCOPED_TRACE(flag);
    zyrtest::writeFile(m_name, damaged);
    repository = Repository_new(m_name.c_str());
    ASSERT_NE(repository, nullptr) << testing::PrintToString(takeErrors());
    EXPECT_EQ(takeErrors(), std::vector<std::string>{leftOut(key, sharedAt)});
    ASSERT_NE(blob(repository, key), nullptr);
    EXPECT_EQ(zyrBlob_getUseCount(blob(repository, key)), 1);
    const zyrtest::ObjectContents opened = zyrtest::liveObjectContents(repository);
    for (const int32_t state : {made, last, sharedAt, last}) {
      Repository_gotoState(repository, state);
      ASSERT_EQ(Repository_getCurrentState(repository), state);
      EXPECT_EQ(zyrBlob_getUseCount(blob(repository, key)), 1) << state;
    }
    EXPECT_EQ(zyrtest::firstDifference(opened, zyrtest::liveObjectContents(repository)), "");
    takeErrors();
    zyrBlob_new(nullptr, 0, ZYR_TYPE_FLOAT);
    Repository_commit(repository);
    repository = closeAndReopen(repository, flag);
    ASSERT_NE(repository, nullptr);
    EXPECT_EQ(zyrBlob_getUseCount(blob(repository, key)), 1);
    // The purge kept the version that reads: nothing is left out any more.
    if (flag == 1) {
      EXPECT_EQ(takeErrors(), std::vector<std::string>{});
      EXPECT_EQ(listAll(repository, key.c_str(), "useCount"), (std::vector<objecttest::Entry>{{key, "useCount", 1}}));
    }
    Repository_close(repository, -1);
    takeErrors();
  }
}

// A blob stored as integers, then doubles, then integers again, its newest data damaged: the open
// shows the doubles, of their kind and with their values, and names the damaged version alone;
// every close keeps that blob. The kind once came from one walk over the versions (the doubles)
// and the data from another, whose read of integers took the doubles for no integers: an empty
// integer blob, which a purge then did not keep.
TEST_F(BlobDamageTest, ADamagedVersionGivesWayToAnOlderOneOfAnotherKindWithItsData) {
  Repository *repository = Repository_new(m_name.c_str());
  ASSERT_NE(repository, nullptr);
  zyrBlob *changing = zyrBlob_new(ints({1, 2, 3}), 12, ZYR_TYPE_INT);
  const std::string key = keyOf(changing);
  Repository_commit(repository);
  double *values = zyrMemory_allocateArray<double>(2, "test");
  values[0] = 0.5;
  values[1] = -2.25;
  zyrBlob_setData(changing, values, 16, ZYR_TYPE_DOUBLE);
  Repository_commit(repository);
  zyrBlob_setData(changing, ints({4, 5}), 8, ZYR_TYPE_INT);
  const int32_t last = Repository_commit(repository);
  Repository_close(repository, -1);
  ASSERT_TRUE(storetest::damageEndTag(m_name, "data", key, last));
  const std::string damaged = zyrtest::readFile(m_name);
  const auto expectDoubles = [&](Repository *open) {
    const zyrBlob *shown = blob(open, key);
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(zyrBlob_getType(shown), ZYR_TYPE_DOUBLE);
    ASSERT_EQ(zyrBlob_getSize(shown), 16);
    const double *data = static_cast<const double *>(zyrBlob_getData(shown));
    EXPECT_EQ(std::vector<double>(data, data + 2), (std::vector<double>{0.5, -2.25}));
  };

  for (const int32_t flag : {1, -1, 0}) {
    SCOPED_TRACE(flag);
    zyrtest::writeFile(m_name, damaged);
    repository = Repository_new(m_name.c_str());
    ASSERT_NE(repository, nullptr) << testing::PrintToString(takeErrors());
    EXPECT_EQ(takeErrors(), std::vector<std::string>{leftOut(key, last, "data")});
    expectDoubles(repository);
    zyrBlob_new(nullptr, 0, ZYR_TYPE_CHAR);
    Repository_commit(repository);
    repository = closeAndReopen(repository, flag);
    ASSERT_NE(repository, nullptr);
    expectDoubles(repository);
    // The purge kept the doubles: nothing is left out any more.
    if (flag == 1)
      EXPECT_EQ(takeErrors(), std::vector<std::string>{});
    Repository_close(repository, -1);
    takeErrors();
  }
}

// The only use count of the state a change goes back to cannot be read: the blob shows none there,
// as an open at that state does, not the count it held at the state it came from.
TEST_F(BlobDamageTest, AChangeOfStateToAStateWithoutAReadableCountShowsWhatAnOpenThereShows) {
  Repository *repository = Repository_new(m_name.c_str());
  ASSERT_NE(repository, nullptr);
  zyrBlob *shared = zyrBlob_new(ints({4, 5}), 8, ZYR_TYPE_INT);
  const std::string key = keyOf(shared);
  const int32_t made = Repository_commit(repository);
  zyrBlob_sharedCopy(shared);
  Repository_commit(repository);
  Repository_close(repository, -1);
  ASSERT_TRUE(storetest::damageEndTag(m_name, "useCount", key, made));

  repository = Repository_new(m_name.c_str());
  ASSERT_NE(repository, nullptr) << testing::PrintToString(takeErrors());
  EXPECT_EQ(zyrBlob_getUseCount(blob(repository, key)), 2);
  Repository_gotoState(repository, made);
  ASSERT_EQ(Repository_getCurrentState(repository), made);
  EXPECT_EQ(zyrBlob_getUseCount(blob(repository, key)), 0);
  // A change made here drops the later state: the file then opens at a state like this one.
  zyrBlob_new(nullptr, 0, ZYR_TYPE_INT);
  Repository_commit(repository);
  takeErrors();
  repository = closeAndReopen(repository, -1);
  ASSERT_NE(repository, nullptr);
  EXPECT_EQ(zyrBlob_getUseCount(blob(repository, key)), 0);
  Repository_close(repository, -1);
}

// A blob stored empty keeps its type (its empty array is stored with it), and a state at which a
// blob is empty shows it empty, not with the data of the state the change came from.
TEST_F(BlobDamageTest, AnEmptyBlobKeepsItsTypeThroughChangesOfStateAndReopens) {
  Repository *repository = Repository_new(m_name.c_str());
  ASSERT_NE(repository, nullptr);
  std::vector<std::string> empties;
  for (const int32_t type : {ZYR_TYPE_INT, ZYR_TYPE_FLOAT, ZYR_TYPE_DOUBLE, ZYR_TYPE_CHAR, ZYR_TYPE_POINTER})
    empties.push_back(keyOf(zyrBlob_new(nullptr, 0, type)));
  zyrBlob *emptied = zyrBlob_new(ints({7, 8, 9}), 12, ZYR_TYPE_INT);
  const std::string key = keyOf(emptied);
  const int32_t full = Repository_commit(repository);
  zyrBlob_setData(emptied, nullptr, 0, ZYR_TYPE_DOUBLE);
  const int32_t empty = Repository_commit(repository);
  Repository_gotoState(repository, full);
  ASSERT_EQ(zyrBlob_getSize(blob(repository, key)), 12);
  EXPECT_EQ(static_cast<const int32_t *>(zyrBlob_getData(blob(repository, key)))[2], 9);
  Repository_gotoState(repository, empty);
  EXPECT_EQ(zyrBlob_getSize(blob(repository, key)), 0);
  EXPECT_EQ(zyrBlob_getData(blob(repository, key)), nullptr);
  EXPECT_EQ(zyrBlob_getType(blob(repository, key)), ZYR_TYPE_DOUBLE);
  EXPECT_EQ(takeErrors(), std::vector<std::string>{});

  repository = closeAndReopen(repository, -1);
  ASSERT_NE(repository, nullptr);
  for (int32_t type = ZYR_TYPE_INT; type <= ZYR_TYPE_POINTER; ++type)
    EXPECT_EQ(zyrBlob_getType(blob(repository, empties[static_cast<size_t>(type)])), type);
  EXPECT_EQ(zyrBlob_getType(blob(repository, key)), ZYR_TYPE_DOUBLE);
  Repository_close(repository, -1);
}

} // namespace
