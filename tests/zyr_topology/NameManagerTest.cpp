#include "Assembly.h"
#include "Atlas.h"
#include "Database.h"
#include "NameManager.h"
#include "Region.h"
#include "TopologyTestSupport.h"
#include "zyrCString.h"
#include "zyrStateManager.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

class NameManagerTest : public TopologyStoreTest {
protected:
  Assembly *assembly(const char *base) {
    Assembly *a = static_cast<Assembly *>(zyrObject_new("Assembly"));
    a->m_baseName = zyrCString_clone(base);
    return a;
  }
  Region *region(int32_t dimensionality, const char *base) {
    Region *r = static_cast<Region *>(zyrObject_new("Region"));
    r->m_dimensionality = dimensionality;
    r->m_originalName = zyrCString_clone(base);
    r->m_baseName = r->m_originalName;
    return r;
  }
  std::string nameOf(NameManager *nm, Region *r) {
    EXPECT_EQ(NameManager_createRegionName(nm, r), 1);
    return r->m_userName != nullptr ? r->m_userName : "<none>";
  }
  // 1 when the attribute got a version at the state.
  int changedAt(const void *object, int32_t state, const char *name) {
    int changed = -1;
    Database_isParameterChanged(zyrStateManager_getDatabase(Repository_getStateManager(m_repository)), state, state,
                                zyrObject_getUUID(object), name, &changed);
    return changed;
  }
};

TEST_F(NameManagerTest, NamesNewAssembliesAndRegions) {
  NameManager *nm = NameManager_new();
  ASSERT_NE(nm, nullptr);
  const char *expected[] = {"Assembly", "Assembly 2", "Assembly 3"};
  for (int32_t i = 0; i < 3; ++i) {
    Assembly *a = assembly(i == 1 ? "  " : nullptr);
    NameManager_createAssemblyName(nm, a);
    EXPECT_STREQ(Assembly_getName(a), expected[i]);
    EXPECT_EQ(Assembly_getId(a), i + 1);
  }
  for (int i = 0; i < 4; ++i)
    nameOf(nm, region(3, "Inlet"));
  // Region 3.1 is taken by a reservation: the counter still moves on.
  EXPECT_EQ(NameManager_reserveName(nm, "Region 3.5"), 1);
  Region *r = region(3, nullptr);
  EXPECT_EQ(nameOf(nm, r), "Region 3.5 2");
  EXPECT_EQ(Region_getId(r), 5);
  EXPECT_EQ(nameOf(nm, region(2, "Inlet")), "Inlet 5");
  EXPECT_EQ(nameOf(nm, region(2, nullptr)), "Region 2.2");

  // A taken name is refused without advancing the counter.
  Region *supplied = region(1, nullptr);
  EXPECT_EQ(NameManager_useRegionName(nm, supplied, "Region 3.5"), 0);
  EXPECT_EQ(nm->m_noOfCreatedRegions[1], 0);
  EXPECT_EQ(NameManager_useRegionName(nm, supplied, "axis"), 1);
  EXPECT_EQ(Region_getId(supplied), 1);

  int32_t kind = 0;
  EXPECT_NE(NameManager_lookupName(nm, "Assembly 2", &kind), nullptr);
  EXPECT_EQ(kind, NAME_KIND_ASSEMBLY);
  EXPECT_EQ(NameManager_lookupName(nm, "axis", &kind), supplied);
  EXPECT_EQ(kind, NAME_KIND_REGION);
  NameManager_lookupName(nm, "Region 3.5", &kind);
  EXPECT_EQ(kind, NAME_KIND_COMPOSITE);
  NameManager_lookupName(nm, "nothing", &kind);
  EXPECT_EQ(kind, NAME_KIND_UNKNOWN);
}

TEST_F(NameManagerTest, FirstNamesOfTheStrategies) {
  NameManager *nm = NameManager_new();
  ASSERT_NE(nm, nullptr);
  for (int i = 0; i < 4; ++i)
    nameOf(nm, region(3, "x"));
  EXPECT_EQ(nameOf(nm, region(3, nullptr)), "Region 3.5");
  EXPECT_EQ(nameOf(nm, region(2, "Inlet")), "Inlet");
  EXPECT_EQ(nameOf(nm, region(2, "Inlet")), "Inlet 2");
  EXPECT_EQ(NameManager_setRegionNameStrategy(nm, nullptr, 0, 4), 1);
  EXPECT_EQ(nameOf(nm, region(2, "Blade")), "Blade 2");
  EXPECT_EQ(nameOf(nm, region(2, "Blade")), "Blade 3");
  EXPECT_EQ(NameManager_setRegionNameStrategy(nm, "Zone ", 2, 2), 1);
  EXPECT_EQ(nameOf(nm, region(0, nullptr)), "Zone 0.1");
  EXPECT_EQ(NameManager_setRegionNameStrategy(nm, nullptr, 3, 0), 0);
}

TEST_F(NameManagerTest, RemovingReservingAndReleasing) {
  NameManager *nm = NameManager_new();
  ASSERT_NE(nm, nullptr);
  Region *r = region(2, "Wall");
  nameOf(nm, r);
  EXPECT_EQ(NameManager_reserveName(nm, "Wall"), 0);
  EXPECT_EQ(NameManager_reserveName(nm, "Spare"), 1);
  EXPECT_EQ(NameManager_getNoOfCompositeNames(nm), 1);
  EXPECT_EQ(NameManager_getNoOfNames(nm), 2);
  // A release never strips a region of its name.
  EXPECT_EQ(NameManager_releaseName(nm, "Wall"), 0);
  EXPECT_STREQ(Region_getUserName(r), "Wall");
  EXPECT_EQ(NameManager_releaseName(nm, "Spare"), 1);
  EXPECT_EQ(NameManager_getNoOfCompositeNames(nm), 0);
  EXPECT_EQ(NameManager_removeName(nm, "Wall"), 1);
  EXPECT_EQ(Region_getUserName(r), nullptr);
  EXPECT_EQ(Region_getId(r), 0);
  EXPECT_EQ(NameManager_removeName(nm, "Wall"), 0);
  EXPECT_EQ(NameManager_getNoOfNames(nm), 0);
  char *unique = nullptr;
  EXPECT_EQ(NameManager_makeUniqueName(nm, " # ", &unique), 0);
  EXPECT_EQ(unique, nullptr);
}

TEST_F(NameManagerTest, NamesAndStrategiesSurviveReopenAndUndo) {
  NameManager *nm = NameManager_new();
  ASSERT_NE(nm, nullptr);
  Assembly *a = assembly("Rotor");
  NameManager_createAssemblyName(nm, a);
  Region *r = region(3, "Fluid");
  nameOf(nm, r);
  NameManager_reserveName(nm, "Kept");
  Atlas *atlas = NameManager_getAtlas(nm);
  const char *list[] = {"Fluid"};
  ASSERT_EQ(Atlas_addCompositeToMap(atlas, "All", 1, 1, list, 0, nullptr), 1);
  ASSERT_EQ(NameManager_setRegionNameStrategy(nm, nullptr, 2, 4), 1);
  const int32_t s1 = Repository_commit(m_repository);

  // A change of a default name stores the strategies only.
  ASSERT_EQ(NameManager_setDefaultAssemblyName(nm, "Part"), 1);
  const int32_t s2 = Repository_commit(m_repository);
  EXPECT_EQ(changedAt(nm, s2, "strategy"), 1);
  EXPECT_EQ(changedAt(nm, s2, "defaultNames"), 1);
  EXPECT_EQ(changedAt(nm, s2, "names - primitive"), 0);
  EXPECT_EQ(changedAt(nm, s2, "noOfCreatedRegions"), 0);

  // Undo and redo of a change of names keep the strategies.
  ASSERT_EQ(NameManager_reserveName(nm, "Later"), 1);
  const int32_t s3 = Repository_commit(m_repository);
  Repository_gotoState(m_repository, s2);
  EXPECT_EQ(NameManager_isNameUsed(nm, "Later"), 0);
  EXPECT_EQ(nm->m_regionNameStrategy, 4);
  EXPECT_STREQ(nm->m_defaultAssemblyName, "Part");
  Repository_gotoState(m_repository, s3);
  EXPECT_EQ(NameManager_isNameUsed(nm, "Later"), 1);
  EXPECT_EQ(nm->m_defaultNameStrategy, 2);
  EXPECT_EQ(nm->m_regionNameStrategy, 4);
  Repository_gotoState(m_repository, s1);
  EXPECT_STREQ(nm->m_defaultAssemblyName, "Assembly");
  Repository_gotoState(m_repository, s3);
  // A name removed and the removal undone: the region gets its name back, and loses it again.
  ASSERT_EQ(NameManager_removeName(nm, "Fluid"), 1);
  const int32_t s4 = Repository_commit(m_repository);
  Repository_gotoState(m_repository, s3);
  EXPECT_STREQ(Region_getUserName(r), "Fluid");
  Repository_gotoState(m_repository, s4);
  EXPECT_EQ(Region_getUserName(r), nullptr);
  Repository_gotoState(m_repository, s3);

  reopen();
  nm = static_cast<NameManager *>(Repository_getSingletonByTypeName(m_repository, "NameManager"));
  ASSERT_NE(nm, nullptr);
  int32_t kind = 0;
  a = static_cast<Assembly *>(NameManager_lookupName(nm, "Rotor", &kind));
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(kind, NAME_KIND_ASSEMBLY);
  EXPECT_STREQ(Assembly_getName(a), "Rotor");
  EXPECT_EQ(Assembly_getId(a), 1);
  r = static_cast<Region *>(NameManager_lookupName(nm, "Fluid", &kind));
  ASSERT_NE(r, nullptr);
  EXPECT_STREQ(Region_getUserName(r), "Fluid");
  EXPECT_EQ(Region_getId(r), 1);
  EXPECT_EQ(NameManager_getNoOfCompositeNames(nm), 2);
  EXPECT_EQ(nm->m_noOfCreatedRegions[3], 1);
  EXPECT_EQ(nm->m_useStem, 1);
  EXPECT_STREQ(nm->m_defaultAssemblyName, "Part");
  ASSERT_NE(NameManager_getAtlas(nm), nullptr);
  char **names = nullptr;
  int32_t count = 0;
  ASSERT_EQ(Atlas_resolveName(NameManager_getAtlas(nm), "All", &names, &count), 1);
  ASSERT_EQ(count, 1);
  EXPECT_STREQ(names[0], "Fluid");
  zyrCStringArray_free(names, 1);
  EXPECT_TRUE(takeErrors().empty());
}

TEST_F(NameManagerTest, StrategyQueriesGiveTheNormalisedSettingsBackAfterReopen) {
  NameManager *nm = NameManager_new();
  ASSERT_NE(nm, nullptr);
  char *text = nullptr;
  int32_t defaultStrategy = -1, regionStrategy = -1, compositeStrategy = -1;
  NameManager_getDefaultAssemblyName(nm, &text);
  EXPECT_STREQ(text, "Assembly");
  zyrCString_free(text);
  NameManager_getRegionNameStrategy(nm, &text, &defaultStrategy, &regionStrategy);
  EXPECT_STREQ(text, "Region");
  zyrCString_free(text);
  EXPECT_EQ(defaultStrategy, 1);
  EXPECT_EQ(regionStrategy, 2);
  NameManager_getCompositeNameStrategy(nm, &compositeStrategy);
  EXPECT_EQ(compositeStrategy, 1);

  // Separators of a path cannot be part of a name.
  ASSERT_EQ(NameManager_setDefaultAssemblyName(nm, "Rotor part/2"), 1);
  ASSERT_EQ(NameManager_setRegionNameStrategy(nm, "Wall:x", 1, 3), 1);
  // Out of range is refused; 0 keeps what is set.
  EXPECT_EQ(NameManager_setRegionNameStrategy(nm, nullptr, 3, 0), 0);
  EXPECT_EQ(NameManager_setRegionNameStrategy(nm, nullptr, 0, 5), 0);
  EXPECT_EQ(NameManager_setRegionNameStrategy(nm, nullptr, 0, 0), 1);
  ASSERT_EQ(NameManager_setCompositeNameStrategy(nm, 2), 1);
  EXPECT_EQ(NameManager_setCompositeNameStrategy(nm, 0), 1);
  EXPECT_EQ(NameManager_setCompositeNameStrategy(nm, 3), 0);
  ASSERT_EQ(NameManager_reserveOrReleaseName(nm, 1, "Spare"), 1);
  EXPECT_EQ(NameManager_isNameUsed(nm, "Spare"), 1);
  ASSERT_EQ(NameManager_reserveOrReleaseName(nm, 1, "Kept"), 1);
  ASSERT_EQ(NameManager_reserveOrReleaseName(nm, 0, "Spare"), 1);
  EXPECT_EQ(NameManager_isNameUsed(nm, "Spare"), 0);
  Repository_commit(m_repository);
  reopen();

  nm = static_cast<NameManager *>(Repository_getSingletonByTypeName(m_repository, "NameManager"));
  ASSERT_NE(nm, nullptr);
  NameManager_getDefaultAssemblyName(nm, &text);
  EXPECT_STREQ(text, "Rotor part 2");
  zyrCString_free(text);
  NameManager_getRegionNameStrategy(nm, &text, &defaultStrategy, &regionStrategy);
  EXPECT_STREQ(text, "Wall x");
  zyrCString_free(text);
  EXPECT_EQ(defaultStrategy, 1);
  EXPECT_EQ(regionStrategy, 3);
  NameManager_getCompositeNameStrategy(nm, &compositeStrategy);
  EXPECT_EQ(compositeStrategy, 2);
  EXPECT_EQ(NameManager_isNameUsed(nm, "Kept"), 1);
  EXPECT_EQ(NameManager_isNameUsed(nm, "Spare"), 0);
  EXPECT_TRUE(takeErrors().empty());
}

TEST_F(NameManagerTest, EmptyListsAreReadAndDamagedListsReported) {
  NameManager *nm = NameManager_new();
  ASSERT_NE(nm, nullptr);
  NameManager_reserveName(nm, "Kept");
  Repository_commit(m_repository);
  reopen();
  nm = static_cast<NameManager *>(Repository_getSingletonByTypeName(m_repository, "NameManager"));
  ASSERT_NE(nm, nullptr);
  EXPECT_EQ(NameManager_isNameUsed(nm, "Kept"), 1);
  EXPECT_EQ(NameManager_getNoOfCompositeNames(nm), 1);
  // A damaged record: names and objects of different lengths.
  char *two[] = {const_cast<char *>("a"), const_cast<char *>("b")};
  zyrObject_setStrings(nm, "names - primitive", two, 2);
  zyrObject_setStrings(nm, "names - zyr", two, 2);
  Repository_commit(m_repository);
  reopen();
  nm = static_cast<NameManager *>(Repository_getSingletonByTypeName(m_repository, "NameManager"));
  ASSERT_NE(nm, nullptr);
  std::vector<std::string> errors = takeErrors();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0], "20006: The stored names and objects of the name manager do not match.\n");
  EXPECT_EQ(NameManager_getNoOfNames(nm), 0);
  EXPECT_EQ(nm->m_regionNameStrategy, 2);
}

TEST_F(NameManagerTest, SummaryPrint) {
  NameManager *nm = NameManager_new();
  ASSERT_NE(nm, nullptr);
  NameManager_createAssemblyName(nm, assembly(nullptr));
  NameManager_reserveName(nm, "Spare");
  char *buffer = nullptr;
  size_t size = 0;
  FILE *stream = open_memstream(&buffer, &size);
  NameManager_print(nm, stream);
  std::fclose(stream);
  const std::string text(buffer, size);
  std::free(buffer);
  const std::string head =
      "\n========================================================\n"
      "==                Name manager summary                ==\n"
      "========================================================\n\n"
      "No. of assemblies created:        1\n"
      "No. of 0D regions created:        0\n"
      "No. of 1D regions created:        0\n"
      "No. of 2D regions created:        0\n"
      "No. of 3D regions created:        0\n\n"
      "~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~\nNaming strategy\n"
      "~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~\n\n"
      "Assembly naming strategy:\n"
      "  Default assembly name:          \"Assembly\"\n\n"
      "Region naming strategy:\n"
      "  Default name strategy:          1 [Default name + \" \" + region ID]\n"
      "  Default region name:            \"Region\"\n"
      "  Region name strategy:           2 [Use base name]\n\n"
      "~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~\nManaged names\n"
      "~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~\n\n"
      "Total no. of names managed:       2\n"
      "No. of composite names managed:   1\n\n"
      "--------------------------------------------------------\nComposite names:\n"
      "--------------------------------------------------------\nSpare\n\n"
      "--------------------------------------------------------\nRegion atlas:\n"
      "--------------------------------------------------------\n";
  EXPECT_EQ(text.substr(0, head.size()), head);
  EXPECT_EQ(text.substr(text.size() - 58), "\n========================================================\n");
}

} // namespace
