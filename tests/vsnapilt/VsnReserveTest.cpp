// A reservation sizes a path table's look-up index at once: the table then answers as one whose
// index grew entry by entry and lays its chains out as one without an index.
#include "vsnHash.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

std::vector<std::string> chainsOf(vsnHash* t) {
  std::vector<std::string> out;
  if (!vsnHashLayOut(t)) return out;
  for (int32_t b = 0; b < t->m_size; ++b) {
    std::string chain;
    for (vsnHashNode* n = &t->m_buckets[b]; n && n->m_key; n = n->m_next) chain += std::string(n->m_key) + "|";
    out.push_back(chain);
  }
  return out;
}

TEST(VsnHashReserve, AReservedIndexAnswersAsOneThatGrew) {
  vsnHash* reserved = vsnHashNew(1);
  vsnHash* grown = vsnHashNew(1);
  vsnHash* plain = vsnHashNew(1);
  plain->m_indexed = -1;  // chains only, laid out as entries come
  ASSERT_EQ(vsnHashReserve(reserved, 5000), 1);
  ASSERT_EQ(vsnHashReserve(plain, 5000), 1);
  EXPECT_EQ(plain->m_index, nullptr);
  ASSERT_NE(reserved->m_index, nullptr);
  const vsnHashSlot* index = reserved->m_index;
  std::vector<std::string> keys;
  for (int i = 0; i < 5000; ++i) keys.push_back("/FLOW/DOMAIN:D" + std::to_string(i % 97) + "/P" + std::to_string(i));
  for (size_t i = 0; i < keys.size(); ++i) {
    void* v = reinterpret_cast<void*>(static_cast<intptr_t>(i + 1));
    ASSERT_EQ(vsnHashInsert(reserved, keys[i].c_str(), v), 1);
    ASSERT_EQ(vsnHashInsert(grown, keys[i].c_str(), v), 1);
    ASSERT_EQ(vsnHashInsert(plain, keys[i].c_str(), v), 1);
  }
  EXPECT_EQ(reserved->m_index, index) << "the index grew although it was reserved";
  for (size_t i = 0; i < keys.size(); ++i) {
    ASSERT_EQ(vsnHashLookup(reserved, keys[i].c_str()), vsnHashLookup(grown, keys[i].c_str()));
    std::string absent = keys[i] + "x";
    ASSERT_EQ(vsnHashLookup(reserved, absent.c_str()), nullptr);
  }
  // The chains are those of a table that had the same reservation and no index.
  EXPECT_EQ(reserved->m_size, plain->m_size);
  EXPECT_EQ(chainsOf(reserved), chainsOf(plain));
  vsnHashFree(reserved);
  vsnHashFree(grown);
  vsnHashFree(plain);
}

// A cleared table takes no index from a reservation (its next insertion makes it anew), and one
// that was given entries by bucket keeps none.
TEST(VsnHashReserve, ClearedAndBucketFilledTablesStayAsTheyWere) {
  for (bool used : {false, true}) {
    vsnHash* t = vsnHashNew(1);
    if (used) ASSERT_EQ(vsnHashInsert(t, "/a", t), 1);
    vsnHashClear(t);
    EXPECT_EQ(vsnHashReserve(t, 1000), 0);
    EXPECT_EQ(t->m_index, nullptr);
    ASSERT_EQ(vsnHashInsert(t, "/b", t), 1);
    EXPECT_EQ(vsnHashLookup(t, "/b"), t);
    EXPECT_EQ(vsnHashLookup(t, "/a"), nullptr);
    vsnHashFree(t);
  }

  vsnHash* byBucket = vsnHashNew(7);
  vsnHashState state;
  vsnHashStart(&state, byBucket->m_size);
  vsnHashFeed(&state, "/k", 2);
  ASSERT_EQ(vsnHashAddNew(byBucket, vsnHashStateBucket(byBucket, &state), "/k", 2, byBucket), 1);
  ASSERT_EQ(vsnHashReserve(byBucket, 1000), 1);
  EXPECT_EQ(byBucket->m_index, nullptr);
  EXPECT_EQ(vsnHashLookup(byBucket, "/k"), byBucket);
  vsnHashFree(byBucket);
}

} // namespace
