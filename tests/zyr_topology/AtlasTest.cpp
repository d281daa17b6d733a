#include "Atlas.h"
#include "Dictionary.h"
#include "RegionNameDictionary.h"
#include "RegionStatus.h"
#include "TopologyTestSupport.h"
#include "zyrCString.h"

#include <cstdint>
#include <string>
#include <vector>

namespace {

class AtlasTest : public TopologyStoreTest {};

std::vector<std::string> strings(char **array, int32_t count) {
  std::vector<std::string> out(array, array + count);
  zyrCStringArray_free(array, static_cast<uint64_t>(count));
  return out;
}

// A name the process-wide region-name dictionary has not met yet, whatever ran before.
std::string unmetName(const std::string &stem) {
  std::string name = stem;
  uint64_t id = 0;
  for (int n = 2; !RegionStatus_isError(RegionNameDictionary_lookup(name.c_str(), &id)); ++n)
    name = stem + " " + std::to_string(n);
  return name;
}

TEST_F(AtlasTest, CompositeSurvivesCommitAndReopen) {
  Atlas *atlas = Atlas_new(nullptr);
  ASSERT_NE(atlas, nullptr);
  const char *walls[] = {"wall a", "wall b"};
  ASSERT_EQ(Atlas_addCompositeToMap(atlas, "Walls", 1, 2, walls, 0, nullptr), 1);
  EXPECT_EQ(Atlas_addCompositeToMap(atlas, "Bad", 8, 2, walls, 0, nullptr), 0);
  Repository_commit(m_repository);
  reopen();

  atlas = static_cast<Atlas *>(Repository_getSingletonByTypeName(m_repository, "Atlas"));
  ASSERT_NE(atlas, nullptr);
  int32_t combination = 0, countA = 0, countB = 0;
  char **listA = nullptr, **listB = nullptr;
  ASSERT_EQ(Atlas_getUserCompositeDefinition(atlas, "Walls", &combination, &countA, &listA, &countB, &listB), 1);
  EXPECT_EQ(combination, 1);
  EXPECT_EQ(strings(listA, countA), (std::vector<std::string>{"wall a", "wall b"}));
  EXPECT_EQ(countB, 0);

  char **names = nullptr;
  int32_t count = -1;
  ASSERT_EQ(Atlas_resolveName(atlas, "Walls", &names, &count), 1);
  EXPECT_EQ(strings(names, count), (std::vector<std::string>{"wall a", "wall b"}));
  // Names the atlas does not define are no error here. The region-name dictionary is one for the
  // process: a text that no atlas of the process has met resolves to nothing, one that some atlas
  // met (here entered by hand) to itself.
  const std::string unmet = unmetName("Met by no atlas");
  ASSERT_EQ(Atlas_resolveName(atlas, unmet.c_str(), &names, &count), 1);
  EXPECT_EQ(names, nullptr);
  EXPECT_EQ(count, 0);
  ASSERT_FALSE(RegionStatus_isError(RegionNameDictionary_add(unmet.c_str(), nullptr)));
  ASSERT_EQ(Atlas_resolveName(atlas, unmet.c_str(), &names, &count), 1);
  EXPECT_EQ(strings(names, count), (std::vector<std::string>{unmet}));
  char *text = nullptr;
  EXPECT_EQ(Atlas_getVSN(atlas, 3, &text), 0);
  EXPECT_EQ(text, nullptr);
  EXPECT_TRUE(takeErrors().empty());
}

TEST_F(AtlasTest, UnreadableStoredMapIsReportedAndTheEmptyMapKept) {
  Atlas *atlas = Atlas_new(nullptr);
  ASSERT_NE(atlas, nullptr);
  Repository_commit(m_repository);
  zyrObject_setString(atlas, "map - primary", "REGION MAP: Primary map\n  REGION: x\n");
  Repository_commit(m_repository);
  reopen();

  atlas = static_cast<Atlas *>(Repository_getSingletonByTypeName(m_repository, "Atlas"));
  ASSERT_NE(atlas, nullptr);
  std::vector<std::string> errors = takeErrors();
  ASSERT_FALSE(errors.empty());
  EXPECT_EQ(errors.back(), "20006: Failed to restore the primary region map.\n");
  char **names = nullptr;
  EXPECT_EQ(Atlas_getCompositeNames(atlas, &names), 0);
  EXPECT_NE(atlas->m_primaryMap, nullptr);
}

TEST_F(AtlasTest, ActiveTextKeepsActiveNamesOnly) {
  Atlas *atlas = Atlas_new(nullptr);
  ASSERT_NE(atlas, nullptr);
  const char *a[] = {"in1", "off1", "in2"};
  const char *b[] = {"off2"};
  const char *c[] = {"off1"};
  ASSERT_EQ(Atlas_addCompositeToMap(atlas, "Cut", 4, 3, a, 1, b), 1);
  ASSERT_EQ(Atlas_addCompositeToMap(atlas, "Dead", 1, 1, c, 0, nullptr), 1);
  ASSERT_EQ(Atlas_addCompositeToMap(atlas, "Xor", 5, 1, c, 3, a), 1);
  Dictionary *active = Dictionary_new(0);
  for (const char *name : {"Cut", "Dead", "Xor", "in1", "in2"})
    Dictionary_add(active, name, reinterpret_cast<void *>(intptr_t{1}));
  Dictionary_add(active, "off1", reinterpret_cast<void *>(intptr_t{0}));
  char *text = nullptr;
  ASSERT_EQ(Atlas_getActiveVSN(atlas, active, &text), 1);
  EXPECT_STREQ(text, "REGION MAP: Primary Map\n\n"
                     "  REGION: Cut\n    Combination = Union\n    Region List = in1, in2\n  END # REGION\n\n"
                     "  REGION: Xor\n    Combination = Union\n    Region List = in1, in2\n  END # REGION\n\n"
                     "END # REGION MAP\n");
  zyrCString_free(text);
  Dictionary_delete(active);
}

TEST_F(AtlasTest, TagsAreCopiedAndAbsentTagsAreNoError) {
  Atlas *atlas = Atlas_new(nullptr);
  ASSERT_NE(atlas, nullptr);
  const char *a[] = {"r"};
  ASSERT_EQ(Atlas_addCompositeToMap(atlas, "From", 1, 1, a, 0, nullptr), 1);
  ASSERT_EQ(Atlas_addCompositeToMap(atlas, "To", 1, 1, a, 0, nullptr), 1);
  EXPECT_EQ(Atlas_copyTags(atlas, "From", "To"), 1);
  ASSERT_EQ(Atlas_tagCompositeName(atlas, "hot", 1, "From"), 1);
  ASSERT_EQ(Atlas_tagCompositeName(atlas, "wet", 1, "From"), 1);
  EXPECT_EQ(Atlas_copyTags(atlas, "From", "To"), 1);
  char *tags = nullptr;
  ASSERT_EQ(Atlas_compositeNameGetTags(atlas, "To", &tags), 1);
  EXPECT_STREQ(tags, "hot, wet");
  zyrCString_free(tags);
  EXPECT_EQ(Atlas_copyTags(atlas, "Nothing", "To"), 0);
  std::vector<std::string> errors = takeErrors();
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[0].rfind("20006: Processing region \"Nothing\".\n\nA problem was encountered in the region atlas.\n\n"
                            "The function \"RegionMap_regionDefinitionFromName\" reported:\n", 0),
            0u);
  EXPECT_EQ(errors[1], "20006: Unable to copy tags for composite To (Nothing).\n");
}

std::vector<std::string> compositeNames(Atlas *atlas) {
  char **names = nullptr;
  const int32_t count = Atlas_getCompositeNames(atlas, &names);
  return count < 0 ? std::vector<std::string>{"(failed)"} : strings(names, count);
}

Atlas *storedAtlas(Repository *repository) {
  return static_cast<Atlas *>(Repository_getSingletonByTypeName(repository, "Atlas"));
}

TEST_F(AtlasTest, ReplacedPrimaryMapIsStoredAndABadTextKeepsTheMapInUse) {
  Atlas *atlas = Atlas_new(nullptr);
  ASSERT_NE(atlas, nullptr);
  const char *ab[] = {"a", "b"};
  ASSERT_EQ(Atlas_createUserComposite(atlas, "Inlet", 1, 2, ab, 0, nullptr), 1);
  char *saved = nullptr;
  ASSERT_EQ(Atlas_getVSN(atlas, 2, &saved), 1);
  ASSERT_EQ(Atlas_destroyUserComposite(atlas, "Inlet"), 1);
  ASSERT_EQ(Atlas_createUserComposite(atlas, "Outlet", 1, 1, ab, 0, nullptr), 1);
  Repository_commit(m_repository);

  // The saved text replaces the whole map: what was defined since is gone.
  ASSERT_EQ(Atlas_replacePrimaryMap(atlas, saved), 1);
  EXPECT_EQ(compositeNames(atlas), (std::vector<std::string>{"Inlet"}));
  char *again = nullptr;
  ASSERT_EQ(Atlas_getVSN(atlas, 2, &again), 1);
  EXPECT_STREQ(again, saved);
  zyrCString_free(again);

  EXPECT_EQ(Atlas_replacePrimaryMap(atlas, "REGION MAP: Primary map\n  REGION: x\n"), 0);
  std::vector<std::string> errors = takeErrors();
  ASSERT_FALSE(errors.empty());
  for (const std::string &error : errors)
    EXPECT_EQ(error.rfind("20006: ", 0), 0u) << error;
  EXPECT_EQ(compositeNames(atlas), (std::vector<std::string>{"Inlet"}));

  // The replacement marked the atlas modified: the commit stores it, undo brings back the old map.
  Repository_commit(m_repository);
  reopen();
  atlas = storedAtlas(m_repository);
  ASSERT_NE(atlas, nullptr);
  EXPECT_EQ(compositeNames(atlas), (std::vector<std::string>{"Inlet"}));
  char **names = nullptr;
  int32_t count = -1;
  ASSERT_EQ(Atlas_resolveName(atlas, "Inlet", &names, &count), 1);
  EXPECT_EQ(strings(names, count), (std::vector<std::string>{"a", "b"}));
  Repository_gotoState(m_repository, Repository_getCurrentState(m_repository) - 1);
  atlas = storedAtlas(m_repository);
  ASSERT_NE(atlas, nullptr);
  EXPECT_EQ(compositeNames(atlas), (std::vector<std::string>{"Outlet"}));
  zyrCString_free(saved);
  EXPECT_TRUE(takeErrors().empty());
}

TEST_F(AtlasTest, UserCompositesKeepBothSidesAndRefuseBadCombinations) {
  Atlas *atlas = Atlas_new(nullptr);
  ASSERT_NE(atlas, nullptr);
  const char *a[] = {"x", "y", "z"};
  const char *b[] = {"y"};
  ASSERT_EQ(Atlas_createUserComposite(atlas, "Cut", 4, 3, a, 1, b), 1);
  // Combinations run from 1 to 7; others are refused before the library sees them.
  EXPECT_EQ(Atlas_createUserComposite(atlas, "None", 0, 1, a, 0, nullptr), 0);
  EXPECT_EQ(Atlas_createUserComposite(atlas, "Eight", 8, 1, a, 0, nullptr), 0);
  EXPECT_TRUE(takeErrors().empty());
  EXPECT_EQ(compositeNames(atlas), (std::vector<std::string>{"Cut"}));
  Repository_commit(m_repository);
  reopen();

  atlas = storedAtlas(m_repository);
  ASSERT_NE(atlas, nullptr);
  int32_t combination = 0, countA = 0, countB = 0;
  char **listA = nullptr, **listB = nullptr;
  ASSERT_EQ(Atlas_getUserCompositeDefinition(atlas, "Cut", &combination, &countA, &listA, &countB, &listB), 1);
  EXPECT_EQ(combination, 4);
  EXPECT_EQ(strings(listA, countA), (std::vector<std::string>{"x", "y", "z"}));
  EXPECT_EQ(strings(listB, countB), (std::vector<std::string>{"y"}));
  char **names = nullptr;
  int32_t count = -1;
  ASSERT_EQ(Atlas_resolveName(atlas, "Cut", &names, &count), 1);
  EXPECT_EQ(strings(names, count), (std::vector<std::string>{"x", "z"}));
  EXPECT_EQ(Atlas_getUserCompositeDefinition(atlas, "Missing", &combination, &countA, &listA, &countB, &listB), 0);
  EXPECT_EQ(combination, 0);
  EXPECT_EQ(listA, nullptr);
  EXPECT_FALSE(takeErrors().empty());
}

TEST_F(AtlasTest, ExplicitPrimitivesSurviveReopenAndAnAbsentOneIsReported) {
  Atlas *atlas = Atlas_new(nullptr);
  ASSERT_NE(atlas, nullptr);
  ASSERT_EQ(Atlas_addExplicitPrimitive(atlas, "p2"), 1);
  ASSERT_EQ(Atlas_addExplicitPrimitive(atlas, "p1"), 1);
  EXPECT_EQ(Atlas_addExplicitPrimitive(atlas, "p1"), 1); // once is enough
  const char *parts[] = {"p1", "r"};
  ASSERT_EQ(Atlas_createUserComposite(atlas, "C", 1, 2, parts, 0, nullptr), 1);
  Repository_commit(m_repository);
  reopen();

  atlas = storedAtlas(m_repository);
  ASSERT_NE(atlas, nullptr);
  int32_t count = -1;
  char **names = nullptr;
  ASSERT_EQ(Atlas_getExplicitPrimitives(atlas, &count, &names), 1);
  EXPECT_EQ(strings(names, count), (std::vector<std::string>{"p2", "p1"}));
  EXPECT_EQ(Atlas_isExplicitPrimitive(atlas, "p1"), 1);
  EXPECT_EQ(Atlas_isExplicitPrimitive(atlas, "r"), 0);
  // Any name the map does not define as a composite is a primitive, an unknown one too; only
  // the names a composite uses or that are declared explicit are needed by the map.
  EXPECT_EQ(Atlas_isPrimitive(atlas, "r"), 1);
  EXPECT_EQ(Atlas_isPrimitive(atlas, "C"), 0);
  EXPECT_EQ(Atlas_isPrimitive(atlas, "unknown"), 1);
  EXPECT_EQ(Atlas_isUsedPrimitive(atlas, "r"), 1);
  EXPECT_EQ(Atlas_isUsedPrimitive(atlas, "p1"), 1);
  EXPECT_EQ(Atlas_isUsedPrimitive(atlas, "p2"), 1);
  EXPECT_EQ(Atlas_isUsedPrimitive(atlas, "C"), 0);
  EXPECT_EQ(Atlas_isUsedPrimitive(atlas, "unknown"), 0);
  ASSERT_EQ(Atlas_destroyUserComposite(atlas, "C"), 1);
  EXPECT_EQ(Atlas_isUsedPrimitive(atlas, "r"), 0);
  EXPECT_EQ(Atlas_isUsedPrimitive(atlas, "p1"), 1);
  EXPECT_EQ(Atlas_isPrimitive(atlas, "r"), 1);

  ASSERT_EQ(Atlas_removeExplicitPrimitive(atlas, "p1"), 1);
  EXPECT_EQ(Atlas_isExplicitPrimitive(atlas, "p1"), 0);
  EXPECT_TRUE(takeErrors().empty());
  EXPECT_EQ(Atlas_removeExplicitPrimitive(atlas, "zz"), 0);
  std::vector<std::string> errors = takeErrors();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].rfind("20006: Processing region \"zz\".\n\nA problem was encountered in the region atlas.\n\n"
                            "The function \"RegionMap_removeExplicitPrimitive\" reported:\n",
                            0),
            0u)
      << errors[0];
  ASSERT_EQ(Atlas_getExplicitPrimitives(atlas, &count, &names), 1);
  EXPECT_EQ(strings(names, count), (std::vector<std::string>{"p2"}));
}

TEST_F(AtlasTest, AliasesResolveAndTagsOrderTheNames) {
  Atlas *atlas = Atlas_new(nullptr);
  ASSERT_NE(atlas, nullptr);
  // The old name becomes a composite of the new one.
  ASSERT_EQ(Atlas_addAlias(atlas, "New", "Old"), 1);
  char **names = nullptr;
  int32_t count = -1;
  ASSERT_EQ(Atlas_resolveName(atlas, "Old", &names, &count), 1);
  EXPECT_EQ(strings(names, count), (std::vector<std::string>{"New"}));
  int32_t combination = 0, countA = 0, countB = 0;
  char **listA = nullptr, **listB = nullptr;
  ASSERT_EQ(Atlas_getUserCompositeDefinition(atlas, "Old", &combination, &countA, &listA, &countB, &listB), 1);
  EXPECT_EQ(combination, 7);
  EXPECT_EQ(strings(listA, countA), (std::vector<std::string>{"New"}));

  const char *x[] = {"x"};
  for (const char *name : {"C", "D", "E"})
    ASSERT_EQ(Atlas_createUserComposite(atlas, name, 1, 1, x, 0, nullptr), 1);
  ASSERT_EQ(Atlas_tagCompositeName(atlas, "hot", 1, "D"), 1);
  ASSERT_EQ(Atlas_tagCompositeName(atlas, "cold", 1, "E"), 1);
  ASSERT_EQ(Atlas_tagCompositeName(atlas, "hot", 1, "C"), 1);
  int32_t flag = -1;
  ASSERT_EQ(Atlas_compositeNameHasTag(atlas, "D", "hot", &flag), 1);
  EXPECT_EQ(flag, 1);
  ASSERT_EQ(Atlas_compositeNameHasTag(atlas, "E", "hot", &flag), 1);
  EXPECT_EQ(flag, 0);
  count = Atlas_getTaggedCompositeNames(atlas, "cold, hot", "UNTAGGED", "REST", &names);
  EXPECT_EQ(strings(names, count), (std::vector<std::string>{"E", "C", "D"}));
  ASSERT_EQ(Atlas_tagCompositeName(atlas, "hot", 0, "D"), 1);
  ASSERT_EQ(Atlas_compositeNameHasTag(atlas, "D", "hot", &flag), 1);
  EXPECT_EQ(flag, 0);
  EXPECT_TRUE(takeErrors().empty());

  // An unknown composite: no flag, and the library's complaint published.
  EXPECT_EQ(Atlas_compositeNameHasTag(atlas, "Z", "hot", &flag), 0);
  EXPECT_EQ(flag, 0);
  std::vector<std::string> errors = takeErrors();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("\"RegionMap_regionDefinitionFromName\" reported:\n\nRegion is not defined in Map\n"),
            std::string::npos)
      << errors[0];
}

} // namespace
