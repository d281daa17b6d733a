// Composite names, tags and the region map through the procedural interface: the validity of
// new names, renaming with the definitions that use a name, and the all-or-nothing operations.
#include "QueriesTestSupport.h"

#include <algorithm>

using queriestest::QueriesTest;
using queriestest::strings;

namespace {

struct Definition {
  int32_t combination = -1;
  std::vector<std::string> a;
  std::vector<std::string> b;
  bool operator==(const Definition &o) const { return combination == o.combination && a == o.a && b == o.b; }
};
void PrintTo(const Definition &d, std::ostream *out) {
  *out << d.combination << " {";
  for (const std::string &s : d.a)
    *out << " " << s;
  *out << " } {";
  for (const std::string &s : d.b)
    *out << " " << s;
  *out << " }";
}

Definition definition(int32_t hModel, const char *name) {
  Definition d;
  int32_t na = 0, nb = 0;
  char **a = nullptr, **b = nullptr;
  EXPECT_EQ(zyrCompositeName_getDefinition(hModel, name, &d.combination, &na, &a, &nb, &b), 1) << name;
  // The atlas keeps no order among the components of one list.
  d.a = strings(na, a);
  d.b = strings(nb, b);
  std::sort(d.a.begin(), d.a.end());
  std::sort(d.b.begin(), d.b.end());
  return d;
}

std::vector<std::string> composites(int32_t hModel) {
  int32_t n = 0;
  char **names = nullptr;
  EXPECT_EQ(zyrModel_getCompositeNames(hModel, &n, &names), 1);
  std::vector<std::string> sorted = strings(n, names);
  std::sort(sorted.begin(), sorted.end());
  return sorted;
}

char *mutableName(const char *name) { return const_cast<char *>(name); }

} // namespace

TEST_F(QueriesTest, ANewCompositeNameMustBeUsableAsItStands) {
  addBlock("A", 0, 1);
  char *low[] = {mutableName("Alow")};
  zyrtest::ErrorCapture errors;
  const char *const refused[] = {"Avol", "Ends ", "A/B"};
  for (const char *name : refused) {
    EXPECT_EQ(zyrCompositeName_create(m_hModel, name, 1, 1, low, 0, nullptr), 0) << name;
    EXPECT_EQ(errors.take(), (std::vector<std::string>{"10020: The name \"" + std::string(name) +
                                                       "\" can not be used as a composite name as it\nis either "
                                                       "already being used or it is not a valid VSN object name."}));
  }
  EXPECT_EQ(composites(m_hModel), std::vector<std::string>{});
  EXPECT_EQ(Model_createCompositeName(m_model, nullptr, 1, 1, low, 0, nullptr), 0);
  EXPECT_EQ(errors.take(),
            (std::vector<std::string>{"10020: A null pointer has been passed when a name string was expected."}));
  // A union of no regions is refused without a word.
  EXPECT_EQ(Model_createCompositeUnion(m_model, "Empty", 0, nullptr), 0);
  EXPECT_TRUE(errors.take().empty());
  Region *regions[] = {region("Alow"), region("Ahigh")};
  ASSERT_EQ(Model_createCompositeUnion(m_model, "Ends", 2, regions), 1);
  EXPECT_EQ(definition(m_hModel, "Ends"), (Definition{1, {"Ahigh", "Alow"}, {}}));
  int32_t flag = -1;
  ASSERT_EQ(zyrModel_isCompositeName(m_hModel, "Ends", &flag), 1);
  EXPECT_EQ(flag, 1);
  ASSERT_EQ(zyrModel_isCompositeName(m_hModel, "Alow", &flag), 1);
  EXPECT_EQ(flag, 0);
}

TEST_F(QueriesTest, RenamingACompositeRewritesTheDefinitionsThatUseIt) {
  addBlock("A", 0, 1);
  char *ends[] = {mutableName("Alow"), mutableName("Ahigh")};
  char *useEnds[] = {mutableName("Ends")};
  char *top[] = {mutableName("Atop")};
  char *walls[] = {mutableName("Atop"), mutableName("Ends")};
  ASSERT_EQ(zyrCompositeName_create(m_hModel, "Ends", 1, 2, ends, 0, nullptr), 1);
  ASSERT_EQ(zyrCompositeName_create(m_hModel, "Walls", 1, 2, walls, 0, nullptr), 1);
  ASSERT_EQ(zyrCompositeName_create(m_hModel, "NotEnds", 4, 1, top, 1, useEnds), 1);

  char *actual = nullptr;
  ASSERT_EQ(zyrCompositeName_rename(m_hModel, "Ends", "Sides", 0, &actual), 1);
  EXPECT_STREQ(actual, "Sides");
  zyrCString_free(actual);
  EXPECT_EQ(composites(m_hModel), (std::vector<std::string>{"NotEnds", "Sides", "Walls"}));
  EXPECT_EQ(definition(m_hModel, "Sides"), (Definition{1, {"Ahigh", "Alow"}, {}}));
  EXPECT_EQ(definition(m_hModel, "Walls"), (Definition{1, {"Atop", "Sides"}, {}}));
  EXPECT_EQ(definition(m_hModel, "NotEnds"), (Definition{4, {"Atop"}, {"Sides"}}));

  // With an alias the old name stays, as a union of the new one.
  ASSERT_EQ(zyrCompositeName_rename(m_hModel, "Sides", "Ends", 1, &actual), 1);
  zyrCString_free(actual);
  EXPECT_EQ(definition(m_hModel, "Sides"), (Definition{1, {"Ends"}, {}}));
  EXPECT_EQ(definition(m_hModel, "Walls"), (Definition{1, {"Atop", "Ends"}, {}}));

  // A clash changes nothing.
  zyrtest::ErrorCapture errors;
  actual = mutableName("untouched");
  EXPECT_EQ(zyrCompositeName_rename(m_hModel, "Ends", "Walls", 0, &actual), 0);
  EXPECT_EQ(actual, nullptr);
  EXPECT_EQ(errors.takeCodes(), (std::vector<int32_t>{10020}));
  EXPECT_EQ(composites(m_hModel), (std::vector<std::string>{"Ends", "NotEnds", "Sides", "Walls"}));
  EXPECT_EQ(definition(m_hModel, "Walls"), (Definition{1, {"Atop", "Ends"}, {}}));
  EXPECT_EQ(definition(m_hModel, "Ends"), (Definition{1, {"Ahigh", "Alow"}, {}}));
  // So does an old name that is no composite.
  EXPECT_EQ(zyrCompositeName_rename(m_hModel, "Alow", "Bottom", 0, &actual), 0);
  EXPECT_EQ(composites(m_hModel), (std::vector<std::string>{"Ends", "NotEnds", "Sides", "Walls"}));
  errors.clear();

  // The rename is one step for undo: it survives a reopen and goes back with a checkpoint.
  int32_t checkpoint = -1;
  ASSERT_EQ(zyrDatabase_saveCheckpoint(m_hDatabase, &checkpoint), 1);
  ASSERT_EQ(zyrCompositeName_rename(m_hModel, "Walls", "Box", 0, &actual), 1);
  zyrCString_free(actual);
  ASSERT_EQ(zyrDatabase_restoreCheckpoint(m_hDatabase, checkpoint), 1);
  EXPECT_EQ(composites(m_hModel), (std::vector<std::string>{"Ends", "NotEnds", "Sides", "Walls"}));
}

TEST_F(QueriesTest, TaggingIsAllOrNothing) {
  addBlock("A", 0, 1);
  char *low[] = {mutableName("Alow")};
  ASSERT_EQ(zyrCompositeName_create(m_hModel, "One", 1, 1, low, 0, nullptr), 1);
  ASSERT_EQ(zyrCompositeName_create(m_hModel, "Two", 1, 1, low, 0, nullptr), 1);
  char *mixed[] = {mutableName("One"), mutableName("Alow"), mutableName("Two")};
  zyrtest::ErrorCapture errors;
  EXPECT_EQ(zyrModel_tagCompositeNames(m_hModel, "Inlet", 1, 3, mixed), 0);
  EXPECT_FALSE(errors.take().empty());
  int32_t has = -1;
  ASSERT_EQ(zyrCompositeName_hasTag(m_hModel, "One", "Inlet", &has), 1);
  EXPECT_EQ(has, 0);

  char *both[] = {mutableName("One"), mutableName("Two")};
  ASSERT_EQ(zyrModel_tagCompositeNames(m_hModel, "Inlet", 1, 2, both), 1);
  ASSERT_EQ(zyrModel_tagCompositeNames(m_hModel, "Wall", 1, 1, both), 1);
  ASSERT_EQ(zyrCompositeName_hasTag(m_hModel, "Two", "Inlet", &has), 1);
  EXPECT_EQ(has, 1);
  char *tags = nullptr;
  ASSERT_EQ(zyrCompositeName_getTags(m_hModel, "One", &tags), 1);
  EXPECT_STREQ(tags, "Inlet, Wall");
  zyrCString_free(tags);
  int32_t n = 0;
  char **names = nullptr;
  ASSERT_EQ(zyrModel_getTaggedCompositeNames(m_hModel, "Wall, Inlet", "", "", &n, &names), 1);
  EXPECT_EQ(strings(n, names), (std::vector<std::string>{"One", "Two"}));
  ASSERT_EQ(zyrModel_tagCompositeNames(m_hModel, "Wall", 0, 1, both), 1);
  ASSERT_EQ(zyrCompositeName_hasTag(m_hModel, "One", "Wall", &has), 1);
  EXPECT_EQ(has, 0);
}

TEST_F(QueriesTest, AClashingRegionMapIsRolledBack) {
  addBlock("A", 0, 1);
  char *ends[] = {mutableName("Alow"), mutableName("Ahigh")};
  ASSERT_EQ(zyrCompositeName_create(m_hModel, "Ends", 1, 2, ends, 0, nullptr), 1);
  char *text = nullptr;
  ASSERT_EQ(zyrModel_exportRegionMap(m_hModel, &text), 1);
  ASSERT_NE(text, nullptr);
  std::string map = text;
  zyrCString_free(text);
  ASSERT_NE(map.find("Ends"), std::string::npos) << map;

  // The same map imported again over an empty one brings the name back.
  ASSERT_EQ(zyrCompositeName_destroy(m_hModel, "Ends"), 1);
  EXPECT_EQ(composites(m_hModel), std::vector<std::string>{});
  ASSERT_EQ(zyrModel_importRegionMap(m_hModel, map.c_str(), 0, 0), 1);
  EXPECT_EQ(composites(m_hModel), (std::vector<std::string>{"Ends"}));
  EXPECT_EQ(definition(m_hModel, "Ends"), (Definition{1, {"Ahigh", "Alow"}, {}}));

  // A map whose composite takes a region's name is refused, and the map in force stays.
  std::string clash = map;
  for (size_t at = clash.find("Ends"); at != std::string::npos; at = clash.find("Ends", at))
    clash.replace(at, 4, "Avol");
  zyrtest::ErrorCapture errors;
  EXPECT_EQ(zyrModel_importRegionMap(m_hModel, clash.c_str(), 0, 0), 0);
  EXPECT_FALSE(errors.take().empty());
  EXPECT_EQ(composites(m_hModel), (std::vector<std::string>{"Ends"}));
  EXPECT_EQ(definition(m_hModel, "Ends"), (Definition{1, {"Ahigh", "Alow"}, {}}));
  ASSERT_EQ(zyrModel_exportRegionMap(m_hModel, &text), 1);
  EXPECT_EQ(std::string(text), map);
  zyrCString_free(text);
}
