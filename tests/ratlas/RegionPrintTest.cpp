// The diagnostic prints of the atlas records, and the look-ups by id and by name that only
// diagnostics and the command layer use: one small atlas, each record printed to a memory stream.
#include "RegionNameRecord.h"
#include "RegionTestSupport.h"
#include "ResolutionCache.h"
#include "zyrTestSupport.h"

#include <cstdio>
#include <cstdlib>
#include <functional>

using namespace region_test;

namespace {

using zyrtest::contains;
using zyrtest::printed;

TEST(RegionPrint, NoneFormsOfEveryRecord) {
  EXPECT_EQ(printed([](FILE* f) { StringList_print(nullptr, f); }), "String List: none\n");
  EXPECT_EQ(printed([](FILE* f) { RegionMap_print(nullptr, f); }), "Region Map: none\n");
  EXPECT_EQ(printed([](FILE* f) { RegionAtlas_print(nullptr, f); }), "Region Atlas: none\n");
  EXPECT_EQ(printed([](FILE* f) { RegionNameRecord_print(nullptr, f); }), "Region name record: none\n");
  EXPECT_EQ(printed([](FILE* f) { ResolutionCache_print(nullptr, f); }), "Resolution cache: none\n");
  RegionStatus* status = nullptr;
  EXPECT_EQ(StringList_isValid(nullptr, &status), 0);
  EXPECT_TRUE(RegionStatus_isError(status));
}

TEST(RegionPrint, StringsAndListsShowTheirNames) {
  String* string = nullptr;
  ASSERT_OK(String_new(&string, "rp text"));
  EXPECT_EQ(printed([&](FILE* f) { String_print(string, f); }), "String: rp text\n");
  EXPECT_OK(String_delete(string, 1));

  StringList* list = nullptr;
  ASSERT_OK(StringList_new(&list, 4));
  EXPECT_EQ(StringList_isValid(list, nullptr), 1);
  EXPECT_OK(StringList_add(list, "rp one"));
  EXPECT_OK(StringList_add(list, "rp two"));
  const std::string text = printed([&](FILE* f) { StringList_print(list, f); });
  EXPECT_TRUE(contains(text, "String List (2 of ")) << text;
  EXPECT_TRUE(contains(text, " rp one, rp two\n")) << text;
  EXPECT_OK(StringList_delete(&list));

  const std::string dictionary = printed([](FILE* f) { RegionNameDictionary_print(f); });
  EXPECT_TRUE(contains(dictionary, "Region name dictionary: ")) << dictionary;
  EXPECT_TRUE(contains(dictionary, " rp one\n")) << dictionary;
}

struct RegionPrintAtlas : ::testing::Test {
  RegionAtlas* m_atlas = nullptr;
  RegionMap* m_map = nullptr;
  void SetUp() override {
    ASSERT_OK(RegionAtlas_new(&m_atlas, "RPA"));
    ASSERT_OK(RegionMap_new(&m_map, "RPM"));
    ASSERT_OK(RegionMap_addRegionDefinition(m_map, make("rp comp", RC_UNION, {"rp p1", "rp p2"})));
    ASSERT_OK(RegionAtlas_addMap(m_atlas, m_map, REGION_MAP_PRIMARY));
  }
  void TearDown() override {
    if (m_atlas) EXPECT_OK(RegionAtlas_delete(&m_atlas, 1));
  }
};

TEST_F(RegionPrintAtlas, AtlasMapRecordAndDefinition) {
  const std::string atlas = printed([&](FILE* f) { RegionAtlas_print(m_atlas, f); });
  EXPECT_TRUE(contains(atlas, "Region Atlas \"RPA\": ")) << atlas;
  EXPECT_TRUE(contains(atlas, "  Region Map \"RPM\", ")) << atlas;
  EXPECT_TRUE(contains(atlas, ": 1 definitions, ")) << atlas;

  int found = 0;
  RegionNameRecord* record = nullptr;
  ASSERT_OK(RegionAtlas_findName(m_atlas, "rp comp", &found, &record));
  ASSERT_EQ(found, 1);
  const std::string recordText = printed([&](FILE* f) { RegionNameRecord_print(record, f); });
  EXPECT_TRUE(contains(recordText, "Region name record \"rp comp\" (id ")) << recordText;
  EXPECT_TRUE(contains(recordText, "): composite, ")) << recordText;
  int defined = 0;
  EXPECT_OK(RegionNameRecord_isDefinedIn(record, m_map, &defined));
  EXPECT_EQ(defined, 1);

  RegionNameRecord* inMap = nullptr;
  ASSERT_OK(RegionMap_findName(m_map, "rp comp", &found, &inMap));
  EXPECT_EQ(found, 1);
  EXPECT_EQ(RegionNameRecord_getName(inMap), std::string("rp comp"));
  ASSERT_OK(RegionMap_findName(m_map, "rp absent", &found, &inMap));
  EXPECT_EQ(found, 0);
  EXPECT_EQ(inMap, nullptr);

  uint64_t id = 0;
  ASSERT_OK(RegionNameDictionary_lookup("rp comp", &id));
  RegionDefinition* fromMap = nullptr;
  RegionDefinition* fromAtlas = nullptr;
  ASSERT_OK(RegionMap_regionDefinitionFromId(m_map, id, &fromMap));
  ASSERT_OK(RegionAtlas_regionDefinitionFromId(m_atlas, id, &fromAtlas));
  EXPECT_EQ(fromMap, fromAtlas);
  EXPECT_EQ(printed([&](FILE* f) { RegionDefinition_print(fromMap, f); }), " rp comp");

  uint64_t primitive = 0;
  ASSERT_OK(RegionNameDictionary_lookup("rp p1", &primitive));
  EXPECT_EQ(RegionStatus_getCode(RegionMap_regionDefinitionFromId(m_map, primitive, &fromMap)), uint32_t(RS_NOT_IN_MAP));
  EXPECT_EQ(fromMap, nullptr);
  EXPECT_EQ(RegionStatus_getCode(RegionAtlas_regionDefinitionFromId(m_atlas, primitive, &fromAtlas)), uint32_t(RS_NOT_DEFINED));
}

TEST_F(RegionPrintAtlas, CacheListsEachResolvedName) {
  char** names = nullptr;
  uint64_t count = 0;
  ASSERT_OK(RegionAtlas_resolveName(m_atlas, "rp comp", &names, &count));
  EXPECT_EQ(takeNames(names, count).size(), 2u);
  const std::string atlas = printed([&](FILE* f) { RegionAtlas_print(m_atlas, f); });
  EXPECT_FALSE(contains(atlas, " 0 cached")) << atlas;
  const std::string cache = printed([&](FILE* f) { ResolutionCache_print(m_atlas->m_cache, f); });
  EXPECT_TRUE(contains(cache, "Resolution cache: ")) << cache;
  EXPECT_TRUE(contains(cache, "rp p1")) << cache;
}

} // namespace
