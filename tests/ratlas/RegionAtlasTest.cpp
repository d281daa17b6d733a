#include "RegionAtlasText.h"
#include "RegionExpansion.h"
#include "RegionMemory.h"
#include "RegionNameRecord.h"
#include "RegionTestSupport.h"
#include "ResolutionCache.h"

#include <utility>

using namespace region_test;

namespace {

using Names = std::vector<std::string>;

void expectFailure(RegionStatus* s, uint32_t code, const char* text) {
  EXPECT_TRUE(RegionStatus_isError(s));
  EXPECT_EQ(RegionStatus_getCode(s), code);
  if (text) {
    EXPECT_EQ(textOf(s), text);
  }
}

RegionMap* newMap(const char* name, std::vector<RegionDefinition*> definitions) {
  RegionMap* map = nullptr;
  EXPECT_OK(RegionMap_new(&map, name));
  for (RegionDefinition* d : definitions) EXPECT_OK(RegionMap_addRegionDefinition(map, d));
  return map;
}

Names resolve(RegionAtlas* atlas, const char* name) {
  char** names = nullptr;
  uint64_t count = 0;
  RegionStatus* s = RegionAtlas_resolveName(atlas, name, &names, &count);
  EXPECT_FALSE(RegionStatus_isError(s)) << textOf(s);
  return sorted(takeNames(names, count));
}

struct AtlasFixture : ::testing::Test {
  RegionAtlas* m_atlas = nullptr;
  void SetUp() override { ASSERT_OK(RegionAtlas_new(&m_atlas, "AT")); }
  void TearDown() override {
    if (m_atlas) EXPECT_OK(RegionAtlas_delete(&m_atlas, 1));
  }
};

TEST_F(AtlasFixture, SlotsAndMembership) {
  RegionMap* p1 = newMap("P1", {make("at a", RC_UNION, {"at p"})});
  RegionMap* p2 = newMap("P2", {});
  expectFailure(RegionAtlas_addMap(m_atlas, p1, 4), RS_INVALID_MAP_TYPE, "Invalid Region Map type.");
  expectFailure(RegionAtlas_addMap(nullptr, p1, REGION_MAP_PRIMARY), RS_INVALID_ATLAS, "Invalid Region Atlas.");
  expectFailure(RegionAtlas_addMap(m_atlas, nullptr, REGION_MAP_PRIMARY), RS_INVALID_MAP, "Invalid Region Map.");
  ASSERT_OK(RegionAtlas_addMap(m_atlas, p1, REGION_MAP_PRIMARY));
  uint32_t type = 0;
  EXPECT_OK(RegionMap_getType(p1, &type));
  EXPECT_EQ(type, uint32_t(REGION_MAP_PRIMARY));
  expectFailure(RegionAtlas_addMap(m_atlas, p2, REGION_MAP_PRIMARY), RS_PRIMARY_MAP_EXISTS, "Region Atlas already contains a primary Region Map.");
  RegionAtlas* other = nullptr;
  ASSERT_OK(RegionAtlas_new(&other, "other"));
  expectFailure(RegionAtlas_addMap(other, p1, REGION_MAP_ZYR), RS_MAP_IN_ATLAS, "Region Map is already in a Region Atlas");
  RegionMap* map = nullptr;
  expectFailure(RegionAtlas_getMap(m_atlas, REGION_MAP_ZYR, &map), RS_NO_ZYR_MAP, "ZYR Region Map doesn't exist in the Region Atlas.");
  expectFailure(RegionAtlas_getMap(m_atlas, REGION_MAP_SECONDARY, &map), RS_NO_SECONDARY_MAP,
                "Secondary Region Map doesn't exist in the Region Atlas.");
  EXPECT_OK(RegionAtlas_getMap(m_atlas, REGION_MAP_PRIMARY, &map));
  EXPECT_EQ(map, p1);
  expectFailure(RegionAtlas_removeMap(m_atlas, p2), RS_MAP_NOT_IN_ATLAS, "Region Map is not present in Region Atlas.");
  EXPECT_OK(RegionAtlas_removeMap(m_atlas, p1));
  expectFailure(RegionAtlas_removeMap(m_atlas, p1), RS_MAP_NOT_IN_ATLAS, "Region Map is not present in Region Atlas.");
  // Out of the atlas the map keeps its definitions.
  EXPECT_EQ(listed(RegionMap_getAllCompositeNames, p1), (Names{"at a"}));
  uint64_t count = 9;
  RegionAtlas_getNameCount(m_atlas, &count);
  EXPECT_EQ(count, 0u);
  RegionAtlas_delete(&other, 1);
  RegionMap_delete(&p1, 1);
  RegionMap_delete(&p2, 1);
}

TEST_F(AtlasFixture, NamesAndHook) {
  char* name = nullptr;
  EXPECT_OK(RegionAtlas_getName(m_atlas, &name));
  EXPECT_STREQ(name, "AT");
  char* copy = name;
  // A pointer that is already set is cleared, not filled.
  EXPECT_OK(RegionAtlas_getName(m_atlas, &name));
  EXPECT_EQ(name, nullptr);
  RegionMemory_release(copy);
  expectFailure(RegionAtlas_setNameManager(m_atlas, nullptr, nullptr), RS_INVALID_NAME_MANAGER, "Name manager object is invalid");
  EXPECT_EQ(RegionAtlas_getNameManager(m_atlas, nullptr, nullptr), 0);
  static std::vector<std::pair<int, std::string>> calls;
  calls.clear();
  int object = 0;
  auto hook = [](void*, int operation, const char* n) { calls.emplace_back(operation, n); };
  EXPECT_OK(RegionAtlas_setNameManager(m_atlas, &object, hook));
  EXPECT_EQ(RegionAtlas_getNameManager(m_atlas, nullptr, nullptr), 1);
  RegionMap* zyr = newMap("Z", {make("hook z", RC_UNION, {"hz"})});
  RegionMap* primary = newMap("P", {make("hook p", RC_UNION, {"hp"})});
  ASSERT_OK(RegionAtlas_addMap(m_atlas, zyr, REGION_MAP_ZYR));
  ASSERT_OK(RegionAtlas_addMap(m_atlas, primary, REGION_MAP_PRIMARY));
  EXPECT_EQ(calls, (std::vector<std::pair<int, std::string>>{{1, "hook p"}}));
  calls.clear();
  RegionDefinition* d = make("hook q", RC_UNION, {"hq"});
  EXPECT_OK(RegionMap_addRegionDefinition(primary, d));
  EXPECT_OK(RegionMap_addRegionDefinition(zyr, make("hook y", RC_UNION, {"hy"})));
  EXPECT_OK(RegionMap_removeRegionDefinition(primary, d));
  EXPECT_EQ(calls, (std::vector<std::pair<int, std::string>>{{1, "hook q"}, {0, "hook q"}}));
  RegionDefinition_delete(&d);
}

TEST_F(AtlasFixture, LevelRulesOfWholeMaps) {
  RegionMap* primary = newMap("P", {make("A", RC_UNION, {"p"})});
  ASSERT_OK(RegionAtlas_addMap(m_atlas, primary, REGION_MAP_PRIMARY));
  // A lower map may not use a name a higher map defines.
  RegionMap* usesA = newMap("Z1", {make("Z", RC_UNION, {"A"})});
  expectFailure(RegionAtlas_addMap(m_atlas, usesA, REGION_MAP_ZYR), RS_DEFINED_HIGHER,
                "Primitive (A) in Region Map is alreaady defined in a higher Region Map");
  EXPECT_EQ(usesA->m_atlas, nullptr);
  RegionMap_delete(&usesA, 1);
  // It may define a name the higher map uses; the higher definitions then resolve through it.
  RegionMap* definesP = newMap("Z2", {make("p", RC_UNION, {"p1", "p2"})});
  ASSERT_OK(RegionAtlas_addMap(m_atlas, definesP, REGION_MAP_ZYR));
  EXPECT_EQ(resolve(m_atlas, "A"), (Names{"p1", "p2"}));
  EXPECT_EQ(resolve(m_atlas, "p"), (Names{"p1", "p2"}));
  // Two maps cannot define one name.
  RegionMap* twice = newMap("S", {make("A", RC_UNION, {"s"})});
  RegionStatus* s = RegionAtlas_addMap(m_atlas, twice, REGION_MAP_SECONDARY);
  expectFailure(s, RS_DEFINED_IN_ATLAS, "Region Atlas already defines Region (A) that is also defined in Region Map.\nCannot add Region Map to Region Atlas (AT)");
  char** lines = nullptr;
  uint64_t count = 0;
  EXPECT_EQ(RegionStatus_getDetails(s, &lines, &count), 1);
  EXPECT_EQ(count, 2u);
  StringArray_delete(&lines, count);
  RegionMap_delete(&twice, 1);
}

TEST_F(AtlasFixture, ReferencedNamesCannotBeDefinedAbove) {
  RegionMap* zyr = newMap("Z", {make("Z", RC_UNION, {"x"})});
  ASSERT_OK(RegionAtlas_addMap(m_atlas, zyr, REGION_MAP_ZYR));
  RegionMap* primary = newMap("P", {make("x", RC_UNION, {"x1"})});
  expectFailure(RegionAtlas_addMap(m_atlas, primary, REGION_MAP_PRIMARY), RS_REFERENCED_LOWER,
                "ZYR Region Map already uses Region (x) that is defined in Primary Region Map.");
  RegionMap* secondary = newMap("S", {make("x", RC_UNION, {"x1"})});
  expectFailure(RegionAtlas_addMap(m_atlas, secondary, REGION_MAP_SECONDARY), RS_REFERENCED_LOWER,
                "Lower Region Map already uses Region (x) that is defined in Secondary Region Map.");
  RegionMap_delete(&primary, 1);
  RegionMap_delete(&secondary, 1);
}

TEST_F(AtlasFixture, LevelRulesOfSingleDefinitions) {
  RegionMap* zyr = newMap("Z", {make("low", RC_UNION, {"y"})});
  RegionMap* primary = newMap("P", {make("high", RC_UNION, {"low"})});
  ASSERT_OK(RegionAtlas_addMap(m_atlas, zyr, REGION_MAP_ZYR));
  ASSERT_OK(RegionAtlas_addMap(m_atlas, primary, REGION_MAP_PRIMARY));
  EXPECT_EQ(resolve(m_atlas, "high"), (Names{"y"}));
  RegionDefinition* d = make("uses high", RC_UNION, {"high"});
  expectFailure(RegionMap_addRegionDefinition(zyr, d), RS_DEFINED_HIGHER,
                "Cannot add Region Definitionto Region Map because Region Definition(high) is defined in a higher.Region Map.");
  RegionDefinition_delete(&d);
  d = make("y", RC_UNION, {"y0"});
  expectFailure(RegionMap_addRegionDefinition(primary, d), RS_REFERENCED_LOWER,
                "Cannot add Region Definitionto Region Map because Region Definition(y) is referenced from a lower Region Map.");
  // The same name in the lower map is fine, and seen from above.
  EXPECT_OK(RegionMap_addRegionDefinition(zyr, d));
  EXPECT_EQ(resolve(m_atlas, "high"), (Names{"y0"}));
  // A name one map defines cannot be defined in another.
  d = make("low", RC_UNION, {"z"});
  expectFailure(RegionMap_addRegionDefinition(primary, d), RS_ALREADY_DEFINED, "Region Definition (low) is already defined.");
  RegionDefinition_delete(&d);
  RegionMap* secondary = newMap("S", {});
  ASSERT_OK(RegionAtlas_addMap(m_atlas, secondary, REGION_MAP_SECONDARY));
  d = make("high", RC_UNION, {"z"});
  expectFailure(RegionMap_addRegionDefinition(secondary, d), RS_ALREADY_DEFINED, "Region Definition (high) is already defined.");
  RegionDefinition_delete(&d);
  // An explicit primitive cannot be declared below the map that defines it.
  expectFailure(RegionMap_addExplicitPrimitive(zyr, "high"), RS_CANNOT_BE_EXPLICIT,
                "Region cannot be made explicitly primitive in a lower Region Map than it is defined in.");
}

TEST_F(AtlasFixture, Inheritance) {
  RegionMap* zyr = newMap("Z", {make("za", RC_UNION, {"zp"})});
  ASSERT_OK(RegionAtlas_addMap(m_atlas, zyr, REGION_MAP_ZYR));
  RegionMap* secondary = newMap("S", {make("sa", RC_UNION, {"za", "sp"})});
  ASSERT_OK(RegionAtlas_addMap(m_atlas, secondary, REGION_MAP_SECONDARY));
  EXPECT_EQ(listed(RegionMap_getAllInheritedPrimitives, secondary), (Names{"za", "zp"}));
  RegionMap* primary = newMap("P", {make("pa", RC_UNION, {"pp"})});
  ASSERT_OK(RegionAtlas_addMap(m_atlas, primary, REGION_MAP_PRIMARY));
  EXPECT_EQ(listed(RegionMap_getAllInheritedPrimitives, primary), (Names{"za", "zp"}));
  EXPECT_EQ(listed(RegionMap_getAllInheritedPrimitives, secondary), (Names{"pa", "pp", "za", "zp"}));
  // Names a lower map takes up later are passed all the way up.
  EXPECT_OK(RegionMap_addRegionDefinition(zyr, make("zb", RC_UNION, {"zq"})));
  EXPECT_EQ(listed(RegionMap_getAllInheritedPrimitives, secondary), (Names{"pa", "pp", "za", "zb", "zp", "zq"}));
  EXPECT_EQ(listed(RegionAtlas_getExportedNames, m_atlas), (Names{"pa", "pp", "sa", "sp", "za", "zb", "zp", "zq"}));
  EXPECT_EQ(listed(RegionAtlas_getAllCompositeNames, m_atlas), (Names{"pa", "sa", "za", "zb"}));
  EXPECT_EQ(listed(RegionAtlas_getAllPrimitives, m_atlas), (Names{"pp", "sp", "zp", "zq"}));
  int flag = 0;
  EXPECT_OK(RegionMap_isPrimitive(zyr, "pa", &flag));
  EXPECT_EQ(flag, 0);
  EXPECT_OK(RegionMap_isPrimitive(zyr, "zq", &flag));
  EXPECT_EQ(flag, 1);
  // The middle map leaves: the top map inherits from the bottom one directly.
  EXPECT_OK(RegionAtlas_removeMap(m_atlas, primary));
  EXPECT_EQ(listed(RegionMap_getAllInheritedPrimitives, secondary), (Names{"za", "zb", "zp", "zq"}));
  EXPECT_TRUE(listed(RegionMap_getAllInheritedPrimitives, primary).empty());
  EXPECT_EQ(listed(RegionMap_getExportedNames, primary), (Names{"pa", "pp"}));
  // A definition taken out of the bottom map stops being inherited, unless something still uses it.
  RegionDefinition* zb = nullptr;
  RegionMap_regionDefinitionFromName(zyr, "zb", &zb);
  EXPECT_OK(RegionMap_removeRegionDefinition(zyr, zb));
  EXPECT_EQ(listed(RegionMap_getAllInheritedPrimitives, secondary), (Names{"za", "zp"}));
  RegionDefinition* za = nullptr;
  RegionMap_regionDefinitionFromName(zyr, "za", &za);
  EXPECT_OK(RegionMap_removeRegionDefinition(zyr, za));
  EXPECT_EQ(resolve(m_atlas, "sa"), (Names{"sp", "za"}));
  EXPECT_EQ(listed(RegionMap_getAllPrimitives, secondary), (Names{"sp", "za"}));
  RegionDefinition_delete(&zb);
  RegionDefinition_delete(&za);
  RegionMap_delete(&primary, 1);
}

// The state of an atlas does not depend on the order in which its maps and definitions came.
TEST_F(AtlasFixture, OrderOfArrivalDoesNotMatter) {
  auto build = [](RegionAtlas* atlas, bool mapsFirst, bool topDown) {
    RegionMap* z = newMap("Z", {});
    RegionMap* p = newMap("P", {});
    RegionMap* s = newMap("S", {});
    std::vector<std::pair<RegionMap*, uint32_t>> maps = {{z, REGION_MAP_ZYR}, {p, REGION_MAP_PRIMARY}, {s, REGION_MAP_SECONDARY}};
    if (topDown) std::reverse(maps.begin(), maps.end());
    auto fill = [&] {
      EXPECT_OK(RegionMap_addRegionDefinition(z, make("o zd", RC_UNION, {"o z1", "o z2"})));
      EXPECT_OK(RegionMap_addExplicitPrimitive(z, "o zx"));
      EXPECT_OK(RegionMap_addRegionDefinition(p, make("o pd", RC_DIFFERENCE, {"o zd", "o p1"}, {"o z1"})));
      EXPECT_OK(RegionMap_addRegionDefinition(s, make("o sd", RC_UNION, {"o pd", "o zx", "o s1"})));
      EXPECT_OK(RegionMap_addExplicitPrimitive(s, "o sx"));
    };
    if (!mapsFirst) fill();
    for (auto& m : maps) EXPECT_OK(RegionAtlas_addMap(atlas, m.first, m.second));
    if (mapsFirst) fill();
  };
  std::string first;
  for (int way = 0; way < 4; ++way) {
    RegionAtlas* atlas = nullptr;
    ASSERT_OK(RegionAtlas_new(&atlas, "order"));
    build(atlas, way & 1, way & 2);
    const char* text = nullptr;
    ASSERT_OK(RegionAtlas_getVSN(atlas, &text));
    if (way == 0) first = text;
    else EXPECT_EQ(text, first) << "way " << way;
    EXPECT_EQ(resolve(atlas, "o sd"), (Names{"o p1", "o s1", "o z2", "o zx"}));
    EXPECT_OK(RegionAtlas_delete(&atlas, 1));
  }
  EXPECT_NE(first.find("Primitive Region List"), std::string::npos);
}

TEST_F(AtlasFixture, AFailedJoinLeavesTheMapAsItWas) {
  RegionMap* zyr = newMap("Z", {});
  EXPECT_OK(RegionMap_addExplicitPrimitive(zyr, "j x"));
  ASSERT_OK(RegionAtlas_addMap(m_atlas, zyr, REGION_MAP_ZYR));
  // The whole-map checks pass, but x is declared explicit below: the definition cannot stand.
  RegionMap* secondary = newMap("S", {make("j a", RC_UNION, {"j b"}), make("j x", RC_UNION, {"j y"})});
  RegionStatus* s = RegionAtlas_addMap(m_atlas, secondary, REGION_MAP_SECONDARY);
  EXPECT_EQ(RegionStatus_getCode(s), RS_REFERENCED_LOWER);
  EXPECT_EQ(secondary->m_atlas, nullptr);
  EXPECT_EQ(m_atlas->m_secondaryMap, nullptr);
  EXPECT_EQ(listed(RegionMap_getAllCompositeNames, secondary), (Names{"j a", "j x"}));
  EXPECT_EQ(listed(RegionMap_getAllPrimitives, secondary), (Names{"j b", "j y"}));
  EXPECT_EQ(listed(RegionAtlas_getExportedNames, m_atlas), (Names{"j x"}));
  RegionMap_delete(&secondary, 1);
}

TEST_F(AtlasFixture, Resolution) {
  RegionMap* primary = newMap("P", {make("r A", RC_UNION, {"r p", "r q"}), make("r B", RC_INTERSECTION, {"r A", "r q"})});
  ASSERT_OK(RegionAtlas_addMap(m_atlas, primary, REGION_MAP_PRIMARY));
  char** names = nullptr;
  uint64_t count = 0;
  expectFailure(RegionAtlas_resolveName(m_atlas, "a name the dictionary never saw", &names, &count), RS_NOT_FOUND,
                "Region is not defined in the Region Atlas");
  expectFailure(RegionAtlas_resolveName(m_atlas, "r A", nullptr, &count), RS_BAD_POINTER, "Invalid object pointer - cannot return primitives");
  EXPECT_EQ(resolve(m_atlas, "r A"), (Names{"r p", "r q"}));
  EXPECT_EQ(resolve(m_atlas, "r B"), (Names{"r q"}));
  EXPECT_EQ(resolve(m_atlas, "r p"), (Names{"r p"}));
  // Known to the dictionary, defined nowhere here: itself.
  RegionNameDictionary_add("r known elsewhere", nullptr);
  EXPECT_EQ(resolve(m_atlas, "r known elsewhere"), (Names{"r known elsewhere"}));
  EXPECT_EQ(m_atlas->m_cache->m_entryCount, 4u);
  RegionDefinition* free = make("r C", RC_DIFFERENCE, {"r A"}, {"r B"});
  EXPECT_OK(RegionAtlas_resolveDefinition(m_atlas, free, &names, &count));
  EXPECT_EQ(takeNames(names, count), (Names{"r p"}));
  RegionDefinition* b = nullptr;
  EXPECT_OK(RegionAtlas_regionDefinitionFromName(m_atlas, "r B", &b));
  expectFailure(RegionAtlas_regionDefinitionFromName(m_atlas, "r p", &b), RS_NOT_DEFINED, "Cannot locate Region Definition (r p) in Region Atlas,");
  int flag = 0;
  EXPECT_OK(RegionAtlas_isPrimitive(m_atlas, "r A", &flag));
  EXPECT_EQ(flag, 0);
  EXPECT_OK(RegionAtlas_isPrimitive(m_atlas, "r p", &flag));
  EXPECT_EQ(flag, 1);
  RegionNameRecord* record = nullptr;
  EXPECT_OK(RegionAtlas_findName(m_atlas, "r q", &flag, &record));
  EXPECT_EQ(flag, 1);
  EXPECT_OK(RegionAtlas_findName(m_atlas, "never entered 42", &flag, &record));
  EXPECT_EQ(flag, 0);
  // A change empties the cache, and the answers follow the change.
  const char* more[] = {"r s"};
  RegionDefinition* a = nullptr;
  RegionMap_regionDefinitionFromName(primary, "r A", &a);
  EXPECT_OK(RegionDefinition_modifyComponents(a, RO_ADD, 1, more, 1));
  EXPECT_EQ(m_atlas->m_cache->m_entryCount, 0u);
  EXPECT_EQ(resolve(m_atlas, "r A"), (Names{"r p", "r q", "r s"}));
  RegionAtlas_regionDefinitionFromName(m_atlas, "r B", &b);
  EXPECT_OK(RegionDefinition_setCombination(b, RC_UNION));
  EXPECT_EQ(resolve(m_atlas, "r B"), (Names{"r p", "r q", "r s"}));
  RegionDefinition_delete(&free);
}

int s_calls = 0;

RegionStatus* countingResolver(uint64_t id, void* context, StringList* result) {
  ++s_calls;
  return RegionId_expandInAtlas(id, static_cast<RegionAtlas*>(context), result);
}

// Entering through the map, expanding a name through the atlas, the map's own cache reset, and
// the atlas's name table edited by hand: each edit empties the cache.
TEST_F(AtlasFixture, MapEntryExpansionAndTheNameTable) {
  RegionMap* primary = newMap("P", {make("rn A", RC_UNION, {"rn p", "rn q"})});
  expectFailure(RegionMap_joinAtlas(nullptr, m_atlas, REGION_MAP_PRIMARY), RS_INVALID_MAP, "Invalid Region Map.");
  expectFailure(RegionMap_joinAtlas(primary, nullptr, REGION_MAP_PRIMARY), RS_INVALID_ATLAS, "Invalid Region Atlas.");
  ASSERT_OK(RegionMap_joinAtlas(primary, m_atlas, REGION_MAP_PRIMARY));
  EXPECT_EQ(RegionAtlas_slot(m_atlas, REGION_MAP_PRIMARY), primary);
  EXPECT_EQ(primary->m_atlas, m_atlas);

  StringList* result = nullptr;
  ASSERT_OK(StringList_new(&result, 0));
  EXPECT_OK(RegionName_expandInAtlas("rn A", m_atlas, result));
  EXPECT_EQ(sorted(namesOf(result)), (Names{"rn p", "rn q"}));
  StringList_delete(&result);
  ASSERT_OK(StringList_new(&result, 0));
  EXPECT_OK(RegionName_expandInAtlas("rn never defined", m_atlas, result));
  EXPECT_EQ(namesOf(result), Names{"rn never defined"});
  StringList_delete(&result);
  expectFailure(RegionName_expandInAtlas("rn A", m_atlas, nullptr), RS_BAD_CALL, "Unable to resolve name.");

  EXPECT_EQ(resolve(m_atlas, "rn A"), (Names{"rn p", "rn q"}));
  EXPECT_GT(m_atlas->m_cache->m_entryCount, 0u);
  EXPECT_OK(RegionMap_clearCache(primary));
  EXPECT_EQ(m_atlas->m_cache->m_entryCount, 0u);
  expectFailure(RegionMap_clearCache(nullptr), RS_INVALID_MAP, "Invalid Region Map.");

  uint64_t before = 0;
  ASSERT_OK(RegionAtlas_getNameCount(m_atlas, &before));
  RegionNameRecord* added = nullptr;
  ASSERT_OK(RegionNameRecord_new(&added, "rn added"));
  resolve(m_atlas, "rn A");
  EXPECT_OK(RegionAtlas_addName(m_atlas, added));
  EXPECT_EQ(m_atlas->m_cache->m_entryCount, 0u);
  uint64_t count = 0;
  ASSERT_OK(RegionAtlas_getNameCount(m_atlas, &count));
  EXPECT_EQ(count, before + 1);
  EXPECT_EQ(RegionAtlas_record(m_atlas, added->m_id), added);
  expectFailure(RegionAtlas_addName(m_atlas, added), RS_ALREADY_DEFINED, nullptr);
  expectFailure(RegionAtlas_addName(m_atlas, nullptr), RS_INVALID_NAME, "Invalid Region name.");
  expectFailure(RegionAtlas_addName(nullptr, added), RS_INVALID_ATLAS, "Invalid Region Atlas.");

  // Replacing needs the same id; the new record takes the old one's place.
  RegionNameRecord* other = nullptr;
  ASSERT_OK(RegionNameRecord_new(&other, "rn other"));
  expectFailure(RegionAtlas_replaceName(m_atlas, added, other), RS_INVALID_NAME, "Invalid Region name.");
  RegionNameRecord* twin = nullptr;
  ASSERT_OK(RegionNameRecord_newForId(&twin, added->m_id));
  EXPECT_OK(RegionAtlas_replaceName(m_atlas, added, twin));
  EXPECT_EQ(RegionAtlas_record(m_atlas, added->m_id), twin);
  // Removing removes only that very record.
  EXPECT_OK(RegionAtlas_removeName(m_atlas, added));
  EXPECT_EQ(RegionAtlas_record(m_atlas, added->m_id), twin);
  resolve(m_atlas, "rn A");
  EXPECT_OK(RegionAtlas_removeName(m_atlas, twin));
  EXPECT_EQ(m_atlas->m_cache->m_entryCount, 0u);
  EXPECT_EQ(RegionAtlas_record(m_atlas, added->m_id), nullptr);
  ASSERT_OK(RegionAtlas_getNameCount(m_atlas, &count));
  EXPECT_EQ(count, before);
  expectFailure(RegionAtlas_removeName(m_atlas, nullptr), RS_INVALID_NAME, "Invalid Region name.");

  // A record a map holds is swapped in the map too, and the answers stay.
  int found = 0;
  RegionNameRecord* held = nullptr;
  ASSERT_OK(RegionMap_findName(primary, "rn p", &found, &held));
  ASSERT_EQ(found, 1);
  RegionNameRecord* swapped = nullptr;
  ASSERT_OK(RegionNameRecord_newForId(&swapped, held->m_id));
  EXPECT_OK(RegionAtlas_replaceName(m_atlas, held, swapped));
  RegionNameRecord* now = nullptr;
  ASSERT_OK(RegionMap_findName(primary, "rn p", &found, &now));
  EXPECT_EQ(now, swapped);
  EXPECT_EQ(resolve(m_atlas, "rn A"), (Names{"rn p", "rn q"}));
  EXPECT_OK(RegionAtlas_replaceName(m_atlas, swapped, held));
  ASSERT_OK(RegionMap_findName(primary, "rn p", &found, &now));
  EXPECT_EQ(now, held);

  RegionNameRecord_delete(&swapped);
  RegionNameRecord_delete(&added);
  RegionNameRecord_delete(&twin);
  RegionNameRecord_delete(&other);
}

TEST_F(AtlasFixture, CacheCallsTheResolverOncePerChange) {
  RegionMap* primary = newMap("P", {make("c A", RC_UNION, {"c p", "c q"})});
  ASSERT_OK(RegionAtlas_addMap(m_atlas, primary, REGION_MAP_PRIMARY));
  ResolutionCache* cache = nullptr;
  expectFailure(ResolutionCache_new(&cache, 0, nullptr, countingResolver), RS_BAD_POINTER, "Unable to create resolution cache.");
  ASSERT_OK(ResolutionCache_new(&cache, 0, m_atlas, countingResolver));
  EXPECT_EQ(cache->m_table->m_size, 100u);
  uint64_t id = 0;
  RegionNameDictionary_lookup("c A", &id);
  s_calls = 0;
  for (int i = 0; i < 3; ++i) {
    StringList* result = nullptr;
    StringList_new(&result, 0);
    EXPECT_OK(ResolutionCache_resolve(cache, id, result));
    EXPECT_EQ(sorted(namesOf(result)), (Names{"c p", "c q"}));
    StringList_delete(&result);
  }
  EXPECT_EQ(s_calls, 1);
  EXPECT_OK(ResolutionCache_invalidate(cache));
  EXPECT_EQ(cache->m_table->m_count, 0u);
  StringList* result = nullptr;
  StringList_new(&result, 0);
  EXPECT_OK(ResolutionCache_resolve(cache, id, result));
  EXPECT_EQ(s_calls, 2);
  // A result that holds something gets the sorted union.
  StringList* more = nullptr;
  StringList_new(&more, 4);
  StringList_add(more, "c q");
  StringList_add(more, "zzz after");
  EXPECT_OK(ResolutionCache_resolve(cache, id, more));
  EXPECT_EQ(s_calls, 2);
  EXPECT_EQ(more->m_count, 3u);
  EXPECT_TRUE(more->m_flags & STRING_LIST_SORTED);
  StringList_delete(&more);
  StringList_delete(&result);
  expectFailure(ResolutionCache_resolve(cache, id, nullptr), RS_BAD_POINTER, "Invalid object pointer - cannot resolve name.");
  EXPECT_OK(ResolutionCache_delete(&cache));
  EXPECT_EQ(cache, nullptr);
  expectFailure(ResolutionCache_delete(&cache), RS_BAD_POINTER, "Invalid object pointer - cannot destroy object");
  expectFailure(ResolutionCache_invalidate(nullptr), RS_BAD_POINTER, "Invalid object pointer - cannot invalidate cache.");
}

// Emptying the cache through its entry array leaves exactly what the walk over every bucket
// left: an empty table that answers every id afresh.
TEST_F(AtlasFixture, InvalidationByEntriesEqualsTheBucketWalk) {
  std::vector<RegionDefinition*> definitions;
  for (int i = 0; i < 300; ++i) {
    std::string n = "inv " + std::to_string(i), c = "inv leaf " + std::to_string(i % 7);
    definitions.push_back(make(n.c_str(), RC_UNION, {c.c_str()}));
  }
  RegionMap* primary = newMap("P", definitions);
  ASSERT_OK(RegionAtlas_addMap(m_atlas, primary, REGION_MAP_PRIMARY));
  for (int i = 0; i < 300; i += 3) resolve(m_atlas, ("inv " + std::to_string(i)).c_str());
  ResolutionCache* cache = m_atlas->m_cache;
  EXPECT_EQ(cache->m_entryCount, 100u);
  EXPECT_EQ(cache->m_table->m_count, 100u);
  EXPECT_OK(RegionAtlas_clearCache(m_atlas));
  EXPECT_EQ(cache->m_table->m_count, 0u);
  uint64_t filled = 0;
  for (uint64_t b = 0; b < cache->m_table->m_size; ++b) filled += cache->m_table->m_buckets[b] != nullptr;
  EXPECT_EQ(filled, 0u);
  EXPECT_EQ(resolve(m_atlas, "inv 10"), (Names{"inv leaf 3"}));
  EXPECT_EQ(cache->m_entryCount, 1u);
}

TEST_F(AtlasFixture, NamesByTagOrder) {
  auto tagged = [](const char* name, std::vector<const char*> tags) {
    RegionDefinition* d = make(name, RC_UNION, {"tag leaf"});
    for (const char* t : tags) EXPECT_OK(RegionDefinition_addTag(d, t));
    return d;
  };
  RegionMap* primary = newMap("P", {tagged("tb2", {"b"}), tagged("ta1", {"a"}), tagged("tn2", {}), tagged("tb1", {"b", "a"}),
                                     tagged("tn1", {}), tagged("tc1", {"c"})});
  ASSERT_OK(RegionAtlas_addMap(m_atlas, primary, REGION_MAP_PRIMARY));
  char** names = nullptr;
  uint64_t count = 0;
  ::testing::internal::CaptureStderr();
  EXPECT_OK(RegionAtlas_namesByTagOrder(m_atlas, "a, R, b", nullptr, "R", STRING_LIST_NAMES, &names, &count));
  std::string echoed = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(takeNames(names, count), (Names{"ta1", "tb1", "tc1", "tn1", "tn2", "tb2"}));
  EXPECT_EQ(echoed, "ta1\ntb1\ntc1\ntn1\ntn2\ntb2\n");
  // Without a rest word the unplaced names are left out; the untagged word picks the untagged.
  ::testing::internal::CaptureStderr();
  EXPECT_OK(RegionAtlas_namesByTagOrder(m_atlas, "b,none", "none", nullptr, STRING_LIST_NAMES, &names, &count));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(takeNames(names, count), (Names{"tb1", "tb2", "tn1", "tn2"}));
  StringList* list = reinterpret_cast<StringList*>(1);
  EXPECT_OK(RegionAtlas_namesByTagOrder(m_atlas, "nothing tagged so", nullptr, nullptr, STRING_LIST_COPY, &list));
  EXPECT_EQ(list, nullptr);
  expectFailure(RegionAtlas_namesByTagOrder(m_atlas, "a", nullptr, nullptr, STRING_LIST_COPY, nullptr), RS_BAD_CALL,
                "Unable to return tagged regions.");
  EXPECT_EQ(listed(RegionAtlas_getTaggedNames, m_atlas, "a"), (Names{"ta1", "tb1"}));
  EXPECT_EQ(listed(RegionMap_getTaggedNames, primary, "b"), (Names{"tb1", "tb2"}));
}

TEST_F(AtlasFixture, ExportedNamesExcept) {
  RegionMap* primary = newMap("P", {make("e A", RC_UNION, {"e p", "e q"})});
  ASSERT_OK(RegionAtlas_addMap(m_atlas, primary, REGION_MAP_PRIMARY));
  StringList* exclusion = nullptr;
  StringList_new(&exclusion, 2);
  StringList_add(exclusion, "e q");
  StringList* target = nullptr;
  StringList_new(&target, 2);
  StringList_add(target, "e z");
  EXPECT_OK(RegionAtlas_appendExportedNamesExcept(m_atlas, exclusion, target));
  EXPECT_EQ(sorted(namesOf(target)), (Names{"e A", "e p", "e z"}));
  StringList_delete(&exclusion);
  StringList_delete(&target);
  EXPECT_EQ(listed(RegionAtlas_getMapExportedNames, m_atlas, uint32_t(REGION_MAP_PRIMARY)), (Names{"e A", "e p", "e q"}));
  char** names = nullptr;
  uint64_t count = 0;
  EXPECT_EQ(RegionStatus_getCode(RegionAtlas_getMapExportedNames(m_atlas, REGION_MAP_ZYR, STRING_LIST_NAMES, &names, &count)), RS_NO_ZYR_MAP);
}

TEST_F(AtlasFixture, DeletingAMapInAnAtlasLeavesFirst) {
  RegionMap* zyr = newMap("Z", {make("d low", RC_UNION, {"d y"})});
  RegionMap* primary = newMap("P", {make("d high", RC_UNION, {"d low"})});
  ASSERT_OK(RegionAtlas_addMap(m_atlas, zyr, REGION_MAP_ZYR));
  ASSERT_OK(RegionAtlas_addMap(m_atlas, primary, REGION_MAP_PRIMARY));
  EXPECT_OK(RegionMap_delete(&zyr, 1));
  EXPECT_EQ(m_atlas->m_zyrMap, nullptr);
  EXPECT_EQ(resolve(m_atlas, "d high"), (Names{"d low"}));
  EXPECT_TRUE(listed(RegionMap_getAllInheritedPrimitives, primary).empty());
  uint64_t count = 0;
  RegionAtlas_getNameCount(m_atlas, &count);
  EXPECT_EQ(count, 2u);
}

}  // namespace
