// Making definitions: the fields of a new definition, the component lists over random name lists,
// and every allocation failure of RegionDefinition_new.
#include "RegionMemory.h"
#include "RegionNameRecord.h"
#include "RegionPool.h"
#include "RegionTestSupport.h"

using namespace region_test;

namespace {

std::vector<uint64_t> idsOf(const StringList* list) {
  return list ? std::vector<uint64_t>(list->m_items, list->m_items + list->m_count) : std::vector<uint64_t>{};
}

uint64_t idOf(const std::string& name) {
  uint64_t id = 0;
  EXPECT_OK(RegionNameDictionary_add(name.c_str(), &id));
  return id;
}

// A block used before (tags, text, map) comes back for the next definition: nothing of it stays.
TEST(RegionDefinitionNew, ReusedBlocksStartClean) {
  {
    RegionAtlas* atlas = nullptr;
    RegionMap* map = nullptr;
    EXPECT_OK(RegionAtlas_new(&atlas, "clean atlas"));
    EXPECT_OK(RegionMap_new(&map, "clean map"));
    EXPECT_OK(RegionAtlas_addMap(atlas, map, REGION_MAP_PRIMARY));
    for (int round = 0; round < 3; ++round) {
      RegionDefinition* d = make("clean def", RC_DIFFERENCE, {"clean a"}, {"clean b"});
      EXPECT_EQ(d->m_map, nullptr);
      EXPECT_EQ(d->m_vsnText, nullptr);
      EXPECT_EQ(d->m_tags, nullptr);
      EXPECT_EQ(d->m_combination, RC_DIFFERENCE);
      EXPECT_EQ(d->m_nameRecord->m_definition, d);
      EXPECT_EQ(d->m_nameRecord->m_id, idOf("clean def"));
      EXPECT_EQ(idsOf(d->m_listB), std::vector<uint64_t>{idOf("clean b")});
      EXPECT_OK(RegionDefinition_addTag(d, "cleantag"));
      EXPECT_OK(RegionMap_addRegionDefinition(map, d));
      EXPECT_OK(RegionDefinition_delete(&d));
    }
    EXPECT_OK(RegionAtlas_delete(&atlas, 1));
  }
}

// Lists of up to 40 names from a few: the ids of each name once, where it came first, flagged
// sorted exactly when they are ascending.
TEST(RegionDefinitionNew, ComponentListsOverRandomNames) {
  uint64_t state = 7;
  auto next = [&state] {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return state >> 33;
  };
  for (int round = 0; round < 400; ++round) {
    std::vector<std::string> texts;
    for (uint64_t i = 0, n = 1 + next() % 40; i < n; ++i) texts.push_back("random part " + std::to_string(next() % 24));
    std::vector<const char*> given;
    for (const std::string& text : texts) given.push_back(text.c_str());
    RegionDefinition* d = nullptr;
    ASSERT_OK(define(&d, "random whole", RC_UNION, given));
    std::vector<uint64_t> expected;
    for (const std::string& text : texts) {
      const uint64_t id = idOf(text);
      if (std::find(expected.begin(), expected.end(), id) == expected.end()) expected.push_back(id);
    }
    ASSERT_EQ(idsOf(d->m_listA), expected) << round;
    ASSERT_EQ((d->m_listA->m_flags & STRING_LIST_SORTED) != 0, std::is_sorted(expected.begin(), expected.end())) << round;
    ASSERT_OK(RegionDefinition_delete(&d));
  }
}

// Each allocation of a definition whose names are partly new fails in turn: the names before the
// failure are entered in the given order (components, second side, then the name), the later
// ones are not, the status is the definition's, and no block is left behind.
TEST(RegionDefinitionNew, EachFailedAllocationEntersTheSameNames) {
  const uint64_t blocksBefore = RegionPool_blocksInUse();
  // Names that no earlier run of this test has entered into the process-wide dictionary.
  std::string run = "fail ";
  uint64_t seen = 0;
  for (int r = 2; !RegionStatus_isError(RegionNameDictionary_lookup((run + "1 a1").c_str(), &seen)); ++r)
    run = "fail run " + std::to_string(r) + " ";
  bool made = false;
  for (int64_t k = 0; k < 40 && !made; ++k) {
    const std::string tag = run + std::to_string(k) + " ";
    const std::vector<std::string> fresh = {tag + "a1", tag + "b1", tag + "b2", tag + "name"};
    const std::string a[] = {fresh[0], "shared old", fresh[0]};
    const std::string b[] = {fresh[1], "shared old", fresh[2]};
    idOf("shared old");
    const uint64_t firstNew = RegionNameDictionary_count() + 1;
    const char* namesA[] = {a[0].c_str(), a[1].c_str(), a[2].c_str()};
    const char* namesB[] = {b[0].c_str(), b[1].c_str(), b[2].c_str()};
    RegionDefinition* d = nullptr;
    RegionMemory_failAfter(k, 1);
    RegionStatus* s = RegionDefinition_new(&d, fresh[3].c_str(), RC_SYMMETRIC_DIFFERENCE, namesA, namesB, 3, 3);
    RegionMemory_failAfter(-1, 0);
    const size_t entered = std::min<size_t>(size_t(k), fresh.size());
    made = !RegionStatus_isError(s);
    if (!made) {
      EXPECT_EQ(RegionStatus_getCode(s), uint64_t(RS_NO_MEMORY)) << k;
      EXPECT_EQ(textOf(s), "Unable to allocate memory for new Region Definition.") << k;
      EXPECT_EQ(d, nullptr);
      EXPECT_EQ(RegionPool_blocksInUse(), blocksBefore) << k;
    }
    ASSERT_EQ(RegionNameDictionary_count(), firstNew - 1 + entered) << k;
    for (size_t i = 0; i < fresh.size(); ++i) {
      uint64_t id = 0;
      const bool found = !RegionStatus_isError(RegionNameDictionary_lookup(fresh[i].c_str(), &id));
      ASSERT_EQ(found, i < entered) << k << " " << fresh[i];
      if (found) EXPECT_EQ(id, firstNew + i) << k;
    }
    if (made) {
      EXPECT_EQ(k, int64_t(fresh.size()) + 4);  // the texts, two lists, the record, the definition
      EXPECT_EQ(idsOf(d->m_listA), (std::vector<uint64_t>{firstNew, idOf("shared old")}));
      EXPECT_EQ(idsOf(d->m_listB), (std::vector<uint64_t>{firstNew + 1, idOf("shared old"), firstNew + 2}));
      EXPECT_OK(RegionDefinition_delete(&d));
    }
  }
  EXPECT_TRUE(made);
}

} // namespace
