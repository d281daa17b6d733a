#include "Assembly.h"
#include "Atlas.h"
#include "Dictionary.h"
#include "HashTable.h"
#include "Labelling.h"
#include "NameManager.h"
#include "Region.h"
#include "Topology.h"
#include "TopologyTestSupport.h"
#include "zyrCString.h"
#include "zyrMemory.h"

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace {

std::vector<std::string> take(int32_t n, char **names) {
  std::vector<std::string> result;
  for (int32_t i = 0; i < n; ++i)
    result.push_back(names[i]);
  zyrCStringArray_free(names, static_cast<uint64_t>(n > 0 ? n : 0));
  return result;
}

std::vector<std::string> sorted(std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  return names;
}

class CompositeNamesTest : public TopologyStoreTest {
protected:
  void SetUp() override {
    TopologyStoreTest::SetUp();
    m_topology = Topology_new();
    m_nm = Topology_getNameManager(m_topology);
    m_rotor = Assembly_new(m_topology, "Rotor");
    for (const char *name : {"Inlet", "Outlet", "Wall"})
      Region_new(m_topology, m_rotor, name, 2);
    Region_new(m_topology, m_rotor, "Fluid", 3);
  }

  std::vector<std::string> definition(const char *name, int32_t *combination = nullptr) {
    int32_t kind = 0, countA = 0, countB = 0;
    char **listA = nullptr, **listB = nullptr;
    EXPECT_EQ(NameManager_getCompositeNameDefinition(m_nm, name, &kind, &countA, &listA, &countB, &listB), 1);
    if (combination != nullptr)
      *combination = kind;
    zyrCStringArray_free(listB, static_cast<uint64_t>(countB));
    // The atlas keeps its own order of components.
    return sorted(take(countA, listA));
  }

  int create(const char *name, std::vector<const char *> list, int32_t combination = 1) {
    return NameManager_createCompositeName(m_nm, name, combination, static_cast<int32_t>(list.size()), list.data(), 0,
                                           nullptr);
  }

  Topology *m_topology = nullptr;
  NameManager *m_nm = nullptr;
  Assembly *m_rotor = nullptr;
};

TEST_F(CompositeNamesTest, CreatingDestroyingAndResolving) {
  ASSERT_EQ(create("Ends", {"Inlet", "Outlet"}), 1);
  EXPECT_EQ(create("Rotor", {"Inlet"}), 0);
  EXPECT_EQ(create("Ends", {"Inlet"}), 0);
  EXPECT_EQ(create("Wall", {"Inlet"}), 0);
  EXPECT_EQ(takeErrors(),
            (std::vector<std::string>{
                "10020: The name \"Rotor\" can not be used as a composite name as\nthere is already an assembly with "
                "the same name.\n",
                "10020: The name \"Ends\" can not be used as a composite name as\nthere is already a composite "
                "region with the same name.\n",
                "10020: The name \"Wall\" can not be used as a composite name as\nthere is already a primitive "
                "region with the same name.\n"}));
  EXPECT_EQ(NameManager_destroyCompositeName(m_nm, "Rotor"), 0);
  EXPECT_EQ(NameManager_destroyCompositeName(m_nm, "Fluid"), 0);
  EXPECT_EQ(takeErrors(), (std::vector<std::string>{
                              "10020: The supplied name, \"Rotor\",\nis not a composite name.\n\nThere is an assembly "
                              "with this name.\n",
                              "10020: The supplied name, \"Fluid\",\nis not a composite name.\n\nThere is a primitive "
                              "region with this name.\n"}));

  // Resolution of one composite and of all of them; coverage by a set of regions.
  ASSERT_EQ(create("All", {"Rotor"}), 1);
  ASSERT_EQ(create("Odd", {"Inlet", "Ghost"}), 1);
  NameManager_reserveName(m_nm, "Held");
  int32_t n = 0;
  Region **regions = nullptr;
  EXPECT_EQ(NameManager_resolveCompositeName(m_nm, "Odd", &n, &regions), 0);
  EXPECT_EQ(NameManager_resolveCompositeName(m_nm, "Ends", &n, &regions), 1);
  EXPECT_EQ(n, 2);
  zyrMemory_free(regions, "test");
  EXPECT_EQ(NameManager_isNameResolvable(m_nm, "All"), 1);
  EXPECT_EQ(NameManager_isNameResolvable(m_nm, "Odd"), 0);
  EXPECT_EQ(NameManager_isNameResolvable(m_nm, "Held"), 0);
  EXPECT_EQ(NameManager_isNameResolvable(m_nm, "Wall"), 1);
  Region *inlet = Topology_findRegion(m_topology, "Inlet");
  Region *outlet = Topology_findRegion(m_topology, "Outlet");
  Region *given[] = {inlet, outlet, inlet};
  char **names = nullptr;
  ASSERT_EQ(NameManager_getConsistentCompositeNames(m_nm, 3, given, &n, &names), 1);
  EXPECT_EQ(take(n, names), (std::vector<std::string>{"Ends"}));
  // The cache follows the names: a new composite is seen at once.
  ASSERT_EQ(create("In", {"Inlet"}), 1);
  ASSERT_EQ(NameManager_getConsistentCompositeNames(m_nm, 1, given, &n, &names), 1);
  EXPECT_EQ(take(n, names), (std::vector<std::string>{"In"}));
  EXPECT_EQ(NameManager_destroyCompositeName(m_nm, "In"), 1);
  EXPECT_EQ(NameManager_isNameUsed(m_nm, "In"), 0);
  EXPECT_EQ(sorted(take(NameManager_getCompositeNames(m_nm, &names), names)),
            (std::vector<std::string>{"All", "Ends", "Held", "Odd"}));

  // Explicit primitive names live in the atlas only.
  NameManager_createPrimitiveName(m_nm, "Spare");
  EXPECT_EQ(NameManager_isNamePrimitive(m_nm, "Spare"), 1);
  EXPECT_EQ(NameManager_isNameUsed(m_nm, "Spare"), 0);
  ASSERT_EQ(NameManager_getPrimitiveNames(m_nm, &n, &names), 1);
  EXPECT_EQ(take(n, names), (std::vector<std::string>{"Spare"}));
  NameManager_destroyPrimitiveName(m_nm, "Spare");
  EXPECT_EQ(NameManager_isNamePrimitive(m_nm, "Spare"), 0);

  // The active text holds what the labelled regions use.
  Labelling *inUse = Labelling_new();
  Labelling_setLabel(inUse, inlet, 1);
  char *text = nullptr;
  ASSERT_EQ(NameManager_getActiveVSN(m_nm, inUse, &text), 1);
  EXPECT_NE(std::string(text).find("REGION: Ends\n    Combination = Union\n    Region List = Inlet\n"),
            std::string::npos);
  EXPECT_NE(std::string(text).find("REGION: All\n    Combination = Union\n    Region List = Rotor\n"),
            std::string::npos);
  zyrCString_free(text);
  Labelling_delete(inUse);
  EXPECT_TRUE(takeErrors().empty());
}

TEST_F(CompositeNamesTest, Tags) {
  ASSERT_EQ(create("Ends", {"Inlet", "Outlet"}), 1);
  ASSERT_EQ(create("Skin", {"Wall"}), 1);
  ASSERT_EQ(create("Body", {"Fluid"}), 1);
  // One name that is not a composite: nothing is tagged.
  const char *mixed[] = {"Ends", "Wall", "Skin"};
  EXPECT_EQ(NameManager_tagCompositeNames(m_nm, "Boundary", 1, 3, mixed), 0);
  EXPECT_EQ(takeErrors().size(), 1u);
  int32_t flag = -1;
  ASSERT_EQ(NameManager_compositeNameHasTag(m_nm, "Ends", "Boundary", &flag), 1);
  EXPECT_EQ(flag, 0);
  const char *surfaces[] = {"Ends", "Skin"};
  ASSERT_EQ(NameManager_tagCompositeNames(m_nm, "Boundary", 1, 2, surfaces), 1);
  ASSERT_EQ(NameManager_tagCompositeNames(m_nm, "Walls", 1, 1, surfaces + 1), 1);
  char *tags = nullptr;
  ASSERT_EQ(NameManager_compositeNameGetTags(m_nm, "Skin", &tags), 1);
  EXPECT_STREQ(tags, "Boundary, Walls");
  zyrCString_free(tags);
  int32_t n = 0;
  char **names = nullptr;
  ASSERT_EQ(NameManager_getTaggedCompositeNames(m_nm, "Walls, Boundary", "", "", &n, &names), 1);
  EXPECT_EQ(take(n, names), (std::vector<std::string>{"Skin", "Ends"}));
  ASSERT_EQ(NameManager_tagCompositeNames(m_nm, "Boundary", 0, 1, surfaces), 1);
  ASSERT_EQ(NameManager_compositeNameHasTag(m_nm, "Ends", "Boundary", &flag), 1);
  EXPECT_EQ(flag, 0);
  EXPECT_EQ(NameManager_compositeNameHasTag(m_nm, "Wall", "Boundary", &flag), 0);
  takeErrors();
}

TEST_F(CompositeNamesTest, ImportingRegionMaps) {
  ASSERT_EQ(create("Ends", {"Inlet", "Outlet"}), 1);
  // Texts of another topology's map.
  Topology *other = Topology_new();
  NameManager *source = Topology_getNameManager(other);
  const char *walls[] = {"Wall", "Outlet"};
  const char *ends[] = {"Inlet"};
  ASSERT_EQ(NameManager_createCompositeName(source, "Walls", 1, 2, walls, 0, nullptr), 1);
  ASSERT_EQ(NameManager_createCompositeName(source, "Fluid", 1, 1, ends, 0, nullptr), 1);
  char *text = nullptr;
  ASSERT_EQ(NameManager_getVSN(source, 2, &text), 1);

  // A clash with a region name without ignoring: 10020, and the clashing name is not entered.
  EXPECT_EQ(NameManager_importPrimaryMap(m_nm, text, 0, 0), 0);
  EXPECT_EQ(takeErrors(), (std::vector<std::string>{"10020: The imported region map contains composite names that "
                                                    "clash with existing\nprimitive names:\n\nFluid\n"}));
  EXPECT_EQ(NameManager_isNameComposite(m_nm, "Walls"), 1);
  EXPECT_EQ(NameManager_isNameUsed(m_nm, "Ends"), 0);
  // Ignoring: code 3, and the definition leaves the map.
  ASSERT_EQ(create("Ends", {"Inlet", "Outlet"}), 1);
  EXPECT_EQ(NameManager_importPrimaryMap(m_nm, text, 1, 1), 1);
  EXPECT_EQ(takeErrors(), (std::vector<std::string>{"3: One or more composite name in the imported region map has "
                                                    "been\nignored as it clashes with an existing primitive name:\n\n"
                                                    "Fluid\n"}));
  // Merged: the current definitions stay beside the imported ones.
  EXPECT_EQ(definition("Ends"), (std::vector<std::string>{"Inlet", "Outlet"}));
  EXPECT_EQ(definition("Walls"), (std::vector<std::string>{"Outlet", "Wall"}));
  char *merged = nullptr;
  ASSERT_EQ(NameManager_getVSN(m_nm, 2, &merged), 1);
  EXPECT_EQ(std::string(merged).find("Fluid\n"), std::string::npos);
  // One map block holds them all: one "REGION MAP" line and its end.
  const std::string mergedText(merged);
  EXPECT_EQ(mergedText.find("REGION MAP"), mergedText.rfind("REGION MAP", mergedText.rfind("END # REGION MAP") - 1));
  zyrCString_free(merged);
  zyrCString_free(text);

  // A map that cannot be read changes nothing.
  EXPECT_EQ(NameManager_importPrimaryMap(m_nm, "REGION MAP: Primary map\n  REGION: x\n", 0, 0), 0);
  takeErrors();
  EXPECT_EQ(NameManager_isNameComposite(m_nm, "Ends"), 1);
  EXPECT_EQ(definition("Walls"), (std::vector<std::string>{"Outlet", "Wall"}));
}

TEST_F(CompositeNamesTest, CompositesOfAnImportedMesh) {
  // Imported regions: one whose base name is Wall took the managed name "Wall 2".
  Region *imported[] = {Region_new(m_topology, m_rotor, "Wall", 2), Region_new(m_topology, m_rotor, "Blade", 2)};
  ASSERT_STREQ(Region_getUserName(imported[0]), "Wall 2");
  char *names[] = {const_cast<char *>("Blade"), const_cast<char *>("Wall"),  const_cast<char *>("Both"),
                   const_cast<char *>("Clash"), const_cast<char *>("Empty"), const_cast<char *>("Rotor")};
  const char *blade[] = {"Blade"};
  const char *wall[] = {"Wall"};
  const char *both[] = {"Wall", "Rotor"};
  const char *clash[] = {"Blade", "Wall"};
  const char *rotor[] = {"Blade"};
  const int32_t counts[] = {1, 1, 2, 2, 0, 1};
  const char *const *lists[] = {blade, wall, both, clash, nullptr, rotor};
  // A composite named like an imported region's base name, with other components, is ignored.
  char *blades[] = {const_cast<char *>("Blade")};
  const int32_t bladeCounts[] = {2};
  const char *const *bladeLists[] = {clash};
  ASSERT_EQ(NameManager_addImportedComposites(m_nm, 2, imported, 1, blades, bladeCounts,
                                              const_cast<char *const *const *>(bladeLists)),
            1);
  EXPECT_EQ(takeErrors(), (std::vector<std::string>{"3: One or more imported composite names have been ignored as\n"
                                                    "they clash with an imported primitive name:\n\nBlade\n"}));
  ASSERT_EQ(
      NameManager_addImportedComposites(m_nm, 2, imported, 6, names, counts, const_cast<char *const *const *>(lists)),
      1);
  for (auto &e : takeErrors())
    ADD_FAILURE() << e;
  // Blade = Blade (the region's own name) is dropped; Wall = Wall is kept over the region "Wall 2",
  // under a name made unique; Rotor is renamed (the assembly has the name), and so is every use.
  EXPECT_EQ(NameManager_isNameComposite(m_nm, "Blade"), 0);
  EXPECT_EQ(definition("Wall 3"), (std::vector<std::string>{"Wall 2"}));
  EXPECT_EQ(definition("Both"), (std::vector<std::string>{"Rotor 2", "Wall 2"}));
  EXPECT_EQ(definition("Clash"), (std::vector<std::string>{"Blade", "Wall 2"}));
  EXPECT_EQ(definition("Rotor 2"), (std::vector<std::string>{"Blade"}));
  EXPECT_EQ(NameManager_isNameUsed(m_nm, "Empty"), 0);
}

TEST_F(CompositeNamesTest, Renaming) {
  Region *inlet = Topology_findRegion(m_topology, "Inlet");
  ASSERT_EQ(create("Ends", {"Inlet", "Outlet"}), 1);
  // Inlet is used by a composite: with alias mode 1 the old name stays as an alias.
  ASSERT_EQ(Region_changeName(inlet, "Inflow", 1), 1);
  EXPECT_STREQ(Region_getUserName(inlet), "Inflow");
  EXPECT_STREQ(Region_getBaseName(inlet), "Inflow");
  int32_t combination = 0;
  EXPECT_EQ(definition("Inlet", &combination), (std::vector<std::string>{"Inflow"}));
  EXPECT_EQ(combination, 7);
  int32_t count = 0;
  Region **regions = nullptr;
  ASSERT_EQ(Topology_resolveLocation(m_topology, "Ends", 0, 0, 0, &count, &regions), 1);
  EXPECT_EQ(count, 2);
  zyrMemory_free(regions, "test");
  // Mode 1 leaves none for a name that no composite uses and that is no explicit primitive: the
  // old name is free again.
  Region *fluid = Topology_findRegion(m_topology, "Fluid");
  ASSERT_EQ(Region_changeName(fluid, "Liquid", 1), 1);
  EXPECT_EQ(NameManager_isNameUsed(m_nm, "Fluid"), 0);
  EXPECT_EQ(NameManager_isNameComposite(m_nm, "Fluid"), 0);
  // A name declared explicit is needed too, but the atlas defines no composite under a declared
  // primitive: its refusal is reported and the rename goes on without an alias.
  ASSERT_EQ(NameManager_createPrimitiveName(m_nm, "Liquid"), 1);
  ASSERT_EQ(Region_changeName(fluid, "Water", 1), 1);
  std::vector<std::string> refused = takeErrors();
  ASSERT_EQ(refused.size(), 1u);
  EXPECT_EQ(refused[0].rfind("20006: Processing region \"Liquid\".\n", 0), 0u) << refused[0];
  EXPECT_NE(refused[0].find("Explicit primitive name cannot be defined"), std::string::npos) << refused[0];
  EXPECT_STREQ(Region_getUserName(fluid), "Water");
  EXPECT_EQ(NameManager_isNameUsed(m_nm, "Liquid"), 0);
  // Renaming again goes through the alias: Inflow is used by the composite Inlet now.
  ASSERT_EQ(Region_changeName(inlet, "Intake", 1), 1);
  EXPECT_EQ(definition("Inflow"), (std::vector<std::string>{"Intake"}));
  // Mode 0 leaves no alias; mode 2 always does.
  Region *wall = Topology_findRegion(m_topology, "Wall");
  ASSERT_EQ(Region_changeName(wall, "Skin", 0), 1);
  EXPECT_EQ(NameManager_isNameUsed(m_nm, "Wall"), 0);
  ASSERT_EQ(Region_changeName(wall, "Hull", 2), 1);
  EXPECT_EQ(definition("Skin"), (std::vector<std::string>{"Hull"}));

  // Assemblies: same name changes nothing; a taken name is numbered.
  Assembly *stator = Assembly_new(m_topology, "Stator");
  EXPECT_EQ(Assembly_changeName(m_rotor, "Rotor", 0), 1);
  EXPECT_STREQ(Assembly_getName(m_rotor), "Rotor");
  ASSERT_EQ(Assembly_changeName(m_rotor, "Stator", 0), 1);
  EXPECT_STREQ(Assembly_getName(m_rotor), "Stator 2");
  EXPECT_STREQ(Assembly_getBaseName(m_rotor), "Stator");
  EXPECT_EQ(Topology_findAssembly(m_topology, "Stator"), stator);
  EXPECT_EQ(Topology_findAssembly(m_topology, "Rotor"), nullptr);
  EXPECT_EQ(Assembly_changeName(m_rotor, "  ", 0), 1);
  EXPECT_STREQ(Assembly_getName(m_rotor), "Assembly");

  // Under region-name strategy 1 the managed name is the default one.
  ASSERT_EQ(NameManager_setRegionNameStrategy(m_nm, nullptr, 0, 1), 1);
  Region *plain = Region_new(m_topology, nullptr, "Plain", 1);
  EXPECT_STREQ(Region_getUserName(plain), "Region 1.1");
  EXPECT_EQ(Region_changeName(plain, "Anything", 0), 1);
  EXPECT_STREQ(Region_getUserName(plain), "Region 1.1");
  EXPECT_STREQ(Region_getBaseName(plain), "Plain");
  EXPECT_TRUE(takeErrors().empty());
}

TEST_F(CompositeNamesTest, DuplicatingForCopiesOfAnAssembly) {
  ASSERT_EQ(create("Walls", {"Inlet", "Wall"}), 1);
  ASSERT_EQ(create("Other", {"Inlet", "Rotor"}), 1);
  const char *walls[] = {"Walls"};
  ASSERT_EQ(NameManager_tagCompositeNames(m_nm, "Boundary", 1, 1, walls), 1);
  // Under strategy 1 nothing happens.
  HashTable *map = HashTable_new(100, HashTable_hashInteger, HashTable_compareIntegers);
  EXPECT_EQ(NameManager_beginNameDuplication(m_nm, m_rotor, 3), 1);
  EXPECT_EQ(NameManager_duplicateNames(m_nm, map), 1);
  EXPECT_EQ(NameManager_endNameDuplication(m_nm), 1);
  EXPECT_EQ(NameManager_getNoOfCompositeNames(m_nm), 2);

  ASSERT_EQ(NameManager_setCompositeNameStrategy(m_nm, 2), 1);
  // A reserved name has no definition: it is passed over without a message.
  ASSERT_EQ(NameManager_reserveName(m_nm, "Held"), 1);
  EXPECT_EQ(NameManager_beginNameDuplication(m_nm, m_rotor, 0), 0);
  EXPECT_EQ(takeErrors().size(), 1u);
  EXPECT_EQ(NameManager_duplicateNames(m_nm, map), 0);
  ASSERT_EQ(NameManager_beginNameDuplication(m_nm, m_rotor, 3), 1);
  for (int copy = 0; copy < 3; ++copy) {
    HashTable *regionMap = HashTable_new(100, HashTable_hashInteger, HashTable_compareIntegers);
    HashTable *connections = HashTable_new(100, HashTable_hashInteger, HashTable_compareIntegers);
    ASSERT_NE(Assembly_duplicate(m_rotor, nullptr, regionMap, connections), nullptr);
    if (copy == 1) // a copy that lost its Wall: the duplicate leaves it out
      HashTable_remove(regionMap, Topology_findRegion(m_topology, "Wall"));
    EXPECT_EQ(NameManager_duplicateNames(m_nm, regionMap), 1);
    HashTable_delete(regionMap);
    HashTable_delete(connections);
  }
  EXPECT_EQ(takeErrors(), (std::vector<std::string>{"20006: Unable to find the region called Wall.\n"}));
  EXPECT_EQ(NameManager_duplicateNames(m_nm, map), 0);
  EXPECT_EQ(takeErrors(),
            (std::vector<std::string>{"20006: Too many copy operations were encountered; 3 were expected.\n"}));
  EXPECT_EQ(NameManager_endNameDuplication(m_nm), 1);
  EXPECT_EQ(definition("Walls 2"), (std::vector<std::string>{"Inlet 2", "Wall 2"}));
  EXPECT_EQ(definition("Walls 3"), (std::vector<std::string>{"Inlet 3"}));
  EXPECT_EQ(definition("Walls 4"), (std::vector<std::string>{"Inlet 4", "Wall 4"}));
  EXPECT_EQ(definition("Entire Walls"), (std::vector<std::string>{"Walls", "Walls 2", "Walls 3", "Walls 4"}));
  int32_t flag = 0;
  ASSERT_EQ(NameManager_compositeNameHasTag(m_nm, "Walls 3", "Boundary", &flag), 1);
  EXPECT_EQ(flag, 1);
  ASSERT_EQ(NameManager_compositeNameHasTag(m_nm, "Entire Walls", "Boundary", &flag), 1);
  EXPECT_EQ(flag, 1);
  // "Other" names an assembly: it is not duplicated.
  EXPECT_EQ(NameManager_isNameUsed(m_nm, "Other 2"), 0);
  EXPECT_EQ(NameManager_endNameDuplication(m_nm), 0);
  HashTable_delete(map);
  EXPECT_TRUE(takeErrors().empty());
}

TEST_F(CompositeNamesTest, StrategyParametersAreKept) {
  EXPECT_EQ(NameManager_setStrategyParameter(m_nm, "NameManager_regionNameStrategy", nullptr, 5), 0);
  EXPECT_EQ(NameManager_setStrategyParameter(m_nm, "NameManager_regionNameStrategy", nullptr, 4), 1);
  EXPECT_EQ(NameManager_setStrategyParameter(m_nm, "NameManager_defaultRegionName", "Zone ", 0), 1);
  EXPECT_EQ(NameManager_setStrategyParameter(m_nm, "NameManager_defaultRegionNameStrategy", nullptr, 2), 1);
  EXPECT_EQ(NameManager_setStrategyParameter(m_nm, "NameManager_defaultAssemblyName", "Part", 0), 1);
  EXPECT_EQ(NameManager_setStrategyParameter(m_nm, "NameManager_compositeCopyingStrategy", nullptr, 2), 1);
  EXPECT_EQ(NameManager_setStrategyParameter(m_nm, "MeshMatching_relativeTolerance", nullptr, 2), -1);
  const int32_t first = Repository_commit(m_repository);
  EXPECT_STREQ(Region_getUserName(Region_new(m_topology, nullptr, nullptr, 3)), "Zone 3.2 2");
  ASSERT_EQ(NameManager_setStrategyParameter(m_nm, "NameManager_regionNameStrategy", nullptr, 2), 1);
  const int32_t second = Repository_commit(m_repository);
  Repository_gotoState(m_repository, first);
  char *text = nullptr;
  int32_t value = 0;
  ASSERT_EQ(NameManager_getStrategyParameter(m_nm, "NameManager_regionNameStrategy", &text, &value), 1);
  EXPECT_EQ(value, 4);
  Repository_gotoState(m_repository, second);
  reopen();
  m_nm = static_cast<NameManager *>(Repository_getSingletonByTypeName(m_repository, "NameManager"));
  ASSERT_EQ(NameManager_getStrategyParameter(m_nm, "NameManager_regionNameStrategy", &text, &value), 1);
  EXPECT_EQ(value, 2);
  ASSERT_EQ(NameManager_getStrategyParameter(m_nm, "NameManager_defaultRegionName", &text, &value), 1);
  EXPECT_STREQ(text, "Zone ");
  zyrCString_free(text);
  ASSERT_EQ(NameManager_getStrategyParameter(m_nm, "NameManager_defaultAssemblyName", &text, &value), 1);
  EXPECT_STREQ(text, "Part");
  zyrCString_free(text);
  ASSERT_EQ(NameManager_getStrategyParameter(m_nm, "NameManager_compositeCopyingStrategy", &text, &value), 1);
  EXPECT_EQ(value, 2);
}

// Unique names come from a per-stem cache of the next number to probe; they must be those the
// plain probe from " 2" gives, whatever names come and go.
TEST_F(CompositeNamesTest, StemCacheGivesTheProbedNames) {
  std::mt19937 random(7);
  std::vector<std::string> stems = {"wall", "wall 2", "inlet", "x"};
  std::vector<std::string> held;
  for (int step = 0; step < 3000; ++step) {
    const std::string &stem = stems[random() % stems.size()];
    const int32_t force = static_cast<int32_t>(random() % 2);
    char *expected = zyrCString_clone(stem.c_str());
    Dictionary_makeKeyUnique(m_nm->m_nameDictionary, &expected, force, 2);
    char *got = zyrCString_clone(stem.c_str());
    NameManager_makeKeyUnique(m_nm, &got, force);
    ASSERT_STREQ(got, expected) << "step " << step;
    zyrCString_free(expected);
    if (random() % 3 != 0) {
      NameManager_reserveName(m_nm, got);
      held.push_back(got);
    }
    zyrCString_free(got);
    if (!held.empty() && random() % 4 == 0) {
      const size_t victim = random() % held.size();
      NameManager_releaseName(m_nm, held[victim].c_str());
      held.erase(held.begin() + static_cast<long>(victim));
    }
  }
  EXPECT_GT(held.size(), 500u);
}

} // namespace
