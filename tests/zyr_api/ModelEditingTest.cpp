// Gluing region pairs and editing assemblies and regions, through the Model operations and their
// entry points: names in and out, composite names of former assemblies, conformal joins against
// gluing, chains of joins in one call, transformed copies, renames, priorities, removal, the
// recorded and replayed calls, and undo and redo through checkpoints.
#include "EditingTestSupport.h"

#include "Connection.h"
#include "InterfaceMap.h"
#include "NameManager.h"
#include "Session.h"
#include "SessionFile.h"
#include "SessionKeywords.h"
#include "SessionPlayer.h"
#include "zyrAPI.h"
#include "zyrAffineTransform3D.h"
#include "zyrCString.h"
#include "zyrTestErrors.h"
#include "zyrTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using editingtest::addBlock;
using editingtest::assemblyNames;
using editingtest::lowestX;
using editingtest::strings;

namespace {

using Names = std::vector<std::string>;

class Editing : public testing::Test {
protected:
  void SetUp() override {
    zyrtest::ErrorCapture::clear();
    ASSERT_EQ(zyrDatabase_open(m_dir.file("edit.zyr").c_str(), &m_hDatabase, &m_hModel), 1);
  }
  void TearDown() override {
    zyrDatabase_close(m_hDatabase, 1);
    zyrtest::ErrorCapture::clear();
  }
  Model *model() {
    Model *m = nullptr;
    EXPECT_EQ(zyrAPI_getModel(m_hModel, "test", &m), 1);
    return m;
  }
  Topology *topology() { return Model_getTopology(model()); }
  NameManager *names() { return Topology_getNameManager(topology()); }
  Region *region(const char *name) { return Topology_findRegion(topology(), name); }

  struct Glued {
    int status;
    Names in;
    Names out;
  };
  Glued glue(const Names &pairs, int32_t flags = 0) {
    std::vector<char *> table;
    for (const std::string &name : pairs)
      table.push_back(const_cast<char *>(name.c_str()));
    int32_t nIn = -1, nOut = -1;
    char **in = nullptr, **out = nullptr;
    Glued result;
    result.status = zyrModel_glueRegions(m_hModel, flags, static_cast<int32_t>(pairs.size() / 2), table.data(), &nIn,
                                         &in, &nOut, &out);
    result.in = strings(nIn, in);
    result.out = strings(nOut, out);
    return result;
  }
  // The regions a composite name is defined over (sorted), with its combination and tag.
  Names composite(const char *name, int32_t *combination = nullptr, int32_t *tagged = nullptr) {
    int32_t code = 0, nA = 0, nB = 0;
    char **a = nullptr, **b = nullptr;
    if (NameManager_getCompositeNameDefinition(names(), name, &code, &nA, &a, &nB, &b) != 1)
      return {"<none>"};
    if (combination != nullptr)
      *combination = code;
    if (tagged != nullptr)
      NameManager_compositeNameHasTag(names(), name, "Original Assembly Name", tagged);
    Names components = strings(nA, a);
    strings(nB, b);
    std::sort(components.begin(), components.end());
    return components;
  }
  struct Transformed {
    int status;
    Names names;
  };
  Transformed transform(const char *assembly, int32_t move, int32_t repeat, const zyrAffineTransform3D *t,
                        int32_t match = 0) {
    int32_t n = -1;
    char **out = nullptr;
    Transformed result;
    result.status = zyrAssembly_transform(m_hModel, assembly, move, repeat, t, match, &n, &out);
    result.names = strings(n, out);
    if (n == 0 && out != nullptr)
      result.names.push_back("<array for none>");
    return result;
  }

  zyrtest::EnvGuard m_units{"ZYR_USE_LOCAL_UNITS", "1"};
  zyrtest::EnvGuard m_session{"ZYR_SESSION_FILE", nullptr};
  zyrtest::ScratchDir m_dir{"editing"};
  int32_t m_hDatabase = -1;
  int32_t m_hModel = -1;
};

zyrAffineTransform3D *translation(double dx) {
  zyrAffineTransform3D *t = zyrAffineTransform3D_new();
  const double d[3] = {dx, 0, 0};
  zyrAffineTransform3D_translate(t, d, "m");
  return t;
}

} // namespace

// ---- gluing ----

TEST_F(Editing, GluingTwoAssembliesMakesOneAndKeepsTheFormerNamesAsTaggedComposites) {
  addBlock(model(), "A", 0);
  addBlock(model(), "B", 1);
  zyrtest::ErrorCapture errors;
  // The touching faces match and are connected; the far faces cannot match and are glued.
  const Glued glued = glue({"Aright", "Bleft", "Aleft", "Bright"});
  ASSERT_EQ(glued.status, 1);
  EXPECT_EQ(glued.in, (Names{"A", "B"}));
  ASSERT_EQ(glued.out.size(), 1u);
  EXPECT_NE(glued.out[0], "A");
  EXPECT_NE(glued.out[0], "B");
  EXPECT_EQ(assemblyNames(model()), glued.out);
  int32_t combination = 0, tagged = 0;
  EXPECT_EQ(composite("A", &combination, &tagged), (Names{"Aleft", "Aright", "Avol"}));
  EXPECT_EQ(combination, 1);
  EXPECT_EQ(tagged, 1);
  tagged = 0;
  EXPECT_EQ(composite("B", nullptr, &tagged), (Names{"Bleft", "Bright", "Bvol"}));
  EXPECT_EQ(tagged, 1);
  Connection *connection = Region_getConnection(region("Aright"));
  ASSERT_NE(connection, nullptr);
  EXPECT_EQ(Connection_getOtherSide(connection, region("Aright")), region("Bleft"));
  EXPECT_NE(Mesh_getInterfaceMap(Model_getMesh(model()), connection), nullptr);
  EXPECT_EQ(Region_getConnection(region("Aleft")), nullptr);
  EXPECT_TRUE(Region_isGluedTo(region("Aleft"), region("Bright")));
  EXPECT_EQ(errors.take(), Names{});
}

// Every join moves the second assembly into the first and deletes it; a later pair must act on
// the assembly its regions lie in now, never on one deleted earlier in the call.
TEST_F(Editing, ChainsOfJoinsInOneCallActOnlyOnAssembliesThatStillExist) {
  addBlock(model(), "A", 0);
  addBlock(model(), "B", 1);
  addBlock(model(), "C", 2);
  Glued glued = glue({"Aright", "Bleft", "Bright", "Cleft"});
  ASSERT_EQ(glued.status, 1);
  EXPECT_EQ(glued.in, (Names{"A", "B", "C"}));
  ASSERT_EQ(glued.out.size(), 1u);
  EXPECT_EQ(assemblyNames(model()), glued.out);
  EXPECT_EQ(composite("B"), (Names{"Bleft", "Bright", "Bvol"}));
  EXPECT_EQ(composite("C"), (Names{"Cleft", "Cright", "Cvol"}));
  Assembly *survivor = Topology_findAssembly(topology(), glued.out[0].c_str());
  ASSERT_NE(survivor, nullptr);
  EXPECT_EQ(Assembly_getNoOfRegions(survivor, 15), 9);

  // The other way round: the assembly joined first is itself absorbed by the second pair.
  addBlock(model(), "D", 10);
  addBlock(model(), "E", 11);
  addBlock(model(), "F", 12);
  glued = glue({"Eright", "Fleft", "Dright", "Eleft"});
  ASSERT_EQ(glued.status, 1);
  EXPECT_EQ(glued.in, (Names{"E", "F", "D"}));
  ASSERT_EQ(glued.out.size(), 1u);
  survivor = Topology_findAssembly(topology(), glued.out[0].c_str());
  ASSERT_NE(survivor, nullptr);
  EXPECT_EQ(Assembly_getNoOfRegions(survivor, 15), 9);
  EXPECT_EQ(Model_getNoOfAssemblies(model()), 2);
  for (const char *former : {"D", "E", "F"})
    EXPECT_EQ(composite(former).size(), 3u) << former;
}

TEST_F(Editing, GluingWithinOneAssemblyRenamesItAndAPairThatCannotJoinOnlyWarns) {
  addBlock(model(), "A", 0);
  addBlock(model(), "B", 1);
  zyrtest::ErrorCapture errors;
  const Glued glued = glue({"Aleft", "Aright", "Aleft", "Aright"});
  ASSERT_EQ(glued.status, 1);
  EXPECT_EQ(glued.in, (Names{"A"}));
  ASSERT_EQ(glued.out.size(), 1u);
  EXPECT_NE(glued.out[0], "A");
  EXPECT_EQ(composite("A"), (Names{"Aleft", "Aright", "Avol"}));
  EXPECT_TRUE(Region_isGluedTo(region("Aleft"), region("Aright")));
  EXPECT_EQ(errors.take(), (Names{"3: Unable to glue the following pair of regions:\n\nAleft\nAright\n"}));
}

TEST_F(Editing, OneNameThatIsNoPrimitiveRegionGluesNothing) {
  addBlock(model(), "A", 0);
  addBlock(model(), "B", 1);
  zyrtest::ErrorCapture errors;
  const Glued glued = glue({"Aright", "Bleft", "Aleft", "A"});
  EXPECT_EQ(glued.status, 0);
  EXPECT_TRUE(glued.in.empty());
  EXPECT_TRUE(glued.out.empty());
  EXPECT_EQ(errors.take(), (Names{"10036: \"A\" is not a primitive region.\n",
                                  "10020: Unable to glue the supplied regions because some of them do not\n"
                                  "appear to be primitive regions.\n"}));
  EXPECT_EQ(assemblyNames(model()), (Names{"A", "B"}));
  EXPECT_EQ(Region_getConnection(region("Aright")), nullptr);
  EXPECT_EQ(Topology_getNoOfCompositeNames(topology()), 0);
}

TEST_F(Editing, WithoutCompositeNamesTheFormerNameIsFreeAgainAndAnEmptyModelFailsQuietly) {
  zyrtest::ErrorCapture errors;
  EXPECT_EQ(glue({"Aright", "Bleft"}).status, 0);
  EXPECT_EQ(errors.take(), Names{});
  addBlock(model(), "A", 0);
  addBlock(model(), "B", 1);
  const Glued glued = glue({"Aright", "Bleft"}, 1);
  ASSERT_EQ(glued.status, 1);
  EXPECT_EQ(glued.out, (Names{"A"}));
  EXPECT_EQ(Topology_getNoOfCompositeNames(topology()), 0);
}

// ---- transforms ----

TEST_F(Editing, RepeatedCopiesLieAtMultiplesOfTheTransformAndNegativeCountsUseTheInverse) {
  addBlock(model(), "A", 0);
  zyrAffineTransform3D *t = translation(2);
  Transformed copies = transform("A", 0, 3, t);
  ASSERT_EQ(copies.status, 1);
  ASSERT_EQ(copies.names.size(), 4u);
  EXPECT_EQ(copies.names[0], "A");
  EXPECT_DOUBLE_EQ(lowestX(model(), "A"), 0.0);
  for (int k = 1; k <= 3; ++k)
    EXPECT_DOUBLE_EQ(lowestX(model(), copies.names[k].c_str()), 2.0 * k) << k;
  EXPECT_EQ(Model_getNoOfAssemblies(model()), 4);
  EXPECT_EQ(Topology_getNoOfRegions(topology(), 15), 12);

  copies = transform("A", 0, -2, t);
  ASSERT_EQ(copies.status, 1);
  ASSERT_EQ(copies.names.size(), 3u);
  EXPECT_DOUBLE_EQ(lowestX(model(), copies.names[1].c_str()), -2.0);
  EXPECT_DOUBLE_EQ(lowestX(model(), copies.names[2].c_str()), -4.0);
  // The caller's transform is never changed.
  double matrix[9], vector[3];
  char *units = nullptr;
  zyrAffineTransform3D_get(t, matrix, vector, &units);
  zyrCString_free(units);
  EXPECT_EQ(vector[0], 2.0);

  // A move by the inverse, and a call that asks for nothing.
  copies = transform("A", -1, 0, t);
  EXPECT_EQ(copies.status, 1);
  EXPECT_TRUE(copies.names.empty());
  EXPECT_DOUBLE_EQ(lowestX(model(), "A"), -2.0);
  copies = transform("A", 0, 0, t);
  EXPECT_EQ(copies.status, 1);
  EXPECT_TRUE(copies.names.empty());
  zyrAffineTransform3D_delete(t);
}

TEST_F(Editing, CopiesWhoseMeshesMeetAreMergedWhenAsked) {
  addBlock(model(), "A", 0);
  zyrAffineTransform3D *t = translation(1);
  const Transformed copies = transform("A", 0, 2, t, 1);
  zyrAffineTransform3D_delete(t);
  ASSERT_EQ(copies.status, 1);
  ASSERT_EQ(copies.names.size(), 1u);
  EXPECT_EQ(assemblyNames(model()), copies.names);
  Assembly *merged = Topology_findAssembly(topology(), copies.names[0].c_str());
  ASSERT_NE(merged, nullptr);
  EXPECT_EQ(Assembly_getNoOfRegions(merged, 15), 9);
  InterfaceMap **maps = nullptr;
  EXPECT_EQ(Mesh_getInterfaceMaps(Model_getMesh(model()), &maps), 2);
  zyrMemory_free(maps, "test");
}

TEST_F(Editing, TransformingAnUnknownAssemblyFails) {
  zyrAffineTransform3D *t = translation(1);
  zyrtest::ErrorCapture errors;
  EXPECT_EQ(transform("Nowhere", 1, 1, t).status, 0);
  EXPECT_EQ(errors.take(), (Names{"10037: \"Nowhere\" is not an assembly.\n"}));
  zyrAffineTransform3D_delete(t);
}

// ---- merging, removal, renames and priorities ----

TEST_F(Editing, MergingChecksEveryNameAndReturnsTheAssembliesThatRemain) {
  addBlock(model(), "A", 0);
  addBlock(model(), "B", 1);
  zyrtest::ErrorCapture errors;
  int32_t n = -1;
  char **out = nullptr;
  EXPECT_EQ(zyrModel_mergeAssemblies(m_hModel, 0, 0, nullptr, &n, &out), 1);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(out, nullptr);
  char *unknown[] = {const_cast<char *>("X"), const_cast<char *>("A"), const_cast<char *>("Y")};
  EXPECT_EQ(zyrModel_mergeAssemblies(m_hModel, 0, 3, unknown, &n, &out), 0);
  EXPECT_EQ(errors.take(), (Names{"10037: \"X\" is not an assembly.\n", "10037: \"Y\" is not an assembly.\n"}));
  char *both[] = {const_cast<char *>("A"), const_cast<char *>("B")};
  ASSERT_EQ(zyrModel_mergeAssemblies(m_hModel, 0, 2, both, &n, &out), 1);
  const Names remaining = strings(n, out);
  ASSERT_EQ(remaining.size(), 1u);
  EXPECT_EQ(assemblyNames(model()), remaining);
  EXPECT_NE(Region_getConnection(region("Aright")), nullptr);
}

TEST_F(Editing, RemovingAnAssemblyDeletesItsRegionsAndMeshesAndFreesItsName) {
  addBlock(model(), "A", 0);
  addBlock(model(), "B", 1);
  ASSERT_EQ(zyrAssembly_delete(m_hModel, "A"), 1);
  EXPECT_EQ(assemblyNames(model()), (Names{"B"}));
  EXPECT_EQ(region("Avol"), nullptr);
  EXPECT_EQ(Topology_getNoOfRegions(topology(), 15), 3);
  ElementMesh **meshes = nullptr;
  EXPECT_EQ(Mesh_getElementMeshes(Model_getMesh(model()), &meshes), 1);
  zyrMemory_free(meshes, "test");
  char *given = nullptr;
  ASSERT_EQ(zyrAssembly_rename(m_hModel, "B", "A", 0, &given), 1);
  EXPECT_STREQ(given, "A");
  zyrCString_free(given);
  zyrtest::ErrorCapture errors;
  EXPECT_EQ(zyrAssembly_delete(m_hModel, "B"), 0);
  EXPECT_EQ(errors.take(), (Names{"10037: \"B\" is not an assembly.\n"}));
}

TEST_F(Editing, RenamesReturnTheNameGivenAndRefusalsSayWhat) {
  addBlock(model(), "A", 0);
  addBlock(model(), "B", 1);
  char *given = nullptr;
  ASSERT_EQ(zyrAssembly_rename(m_hModel, "A", "B", 0, &given), 1);
  ASSERT_NE(given, nullptr);
  EXPECT_STRNE(given, "B"); // taken: the naming rules adjust it
  EXPECT_EQ(assemblyNames(model()), (Names{"B", given}));
  zyrCString_free(given);
  given = nullptr;
  ASSERT_EQ(zyrRegion_rename(m_hModel, "Avol", "Inner", 0, &given), 1);
  EXPECT_STREQ(given, "Inner");
  zyrCString_free(given);
  EXPECT_NE(region("Inner"), nullptr);

  // An empty name asks for the default name; the name given comes back.
  ASSERT_EQ(zyrAssembly_rename(m_hModel, "B", "", 0, &given), 1);
  ASSERT_NE(given, nullptr);
  EXPECT_EQ(assemblyNames(model()).size(), 2u);
  EXPECT_NE(Topology_findAssembly(topology(), given), nullptr);
  zyrCString_free(given);

  zyrtest::ErrorCapture errors;
  given = const_cast<char *>("untouched");
  EXPECT_EQ(zyrRegion_rename(m_hModel, "Nowhere", "X", 0, &given), 0);
  EXPECT_EQ(given, nullptr); // cleared
  EXPECT_EQ(zyrAssembly_rename(m_hModel, "Nowhere", "X", 0, &given), 0);
  EXPECT_EQ(errors.take(),
            (Names{"10036: \"Nowhere\" is not a primitive region.\n", "10037: \"Nowhere\" is not an assembly.\n"}));
}

TEST_F(Editing, PrioritiesAreKeptPerRegion) {
  addBlock(model(), "A", 0);
  ASSERT_EQ(zyrRegion_setPriority(m_hModel, "Aleft", 7), 1);
  int32_t priority = -1;
  ASSERT_EQ(zyrRegion_getPriority(m_hModel, "Aleft", &priority), 1);
  EXPECT_EQ(priority, 7);
  ASSERT_EQ(zyrRegion_getPriority(m_hModel, "Aright", &priority), 1);
  EXPECT_EQ(priority, 0);
  zyrtest::ErrorCapture errors;
  EXPECT_EQ(zyrRegion_setPriority(m_hModel, "A", 1), 0);
  EXPECT_EQ(errors.take(), (Names{"10036: \"A\" is not a primitive region.\n"}));
  int32_t n = -1;
  ASSERT_EQ(zyrModel_getNoOfAssemblies(m_hModel, &n), 1);
  EXPECT_EQ(n, 1);
  char **list = nullptr;
  ASSERT_EQ(zyrModel_getAssemblies(m_hModel, &n, &list), 1);
  EXPECT_EQ(strings(n, list), (Names{"A"}));
}

// ---- checkpoints, recording and replay ----

TEST_F(Editing, EditsAreUndoneAndRedoneThroughCheckpoints) {
  addBlock(model(), "A", 0);
  addBlock(model(), "B", 1);
  int32_t before = -1, glued = -1, copied = -1;
  ASSERT_EQ(zyrDatabase_saveCheckpoint(m_hDatabase, &before), 1);
  const Glued join = glue({"Aright", "Bleft"});
  ASSERT_EQ(join.status, 1);
  ASSERT_EQ(zyrDatabase_saveCheckpoint(m_hDatabase, &glued), 1);
  zyrAffineTransform3D *t = translation(5);
  const Transformed copies = transform(join.out[0].c_str(), 0, 1, t);
  zyrAffineTransform3D_delete(t);
  ASSERT_EQ(copies.status, 1);
  ASSERT_EQ(zyrRegion_setPriority(m_hModel, "Avol", 3), 1);
  ASSERT_EQ(zyrDatabase_saveCheckpoint(m_hDatabase, &copied), 1);

  ASSERT_EQ(zyrDatabase_restoreCheckpoint(m_hDatabase, before), 1);
  EXPECT_EQ(assemblyNames(model()), (Names{"A", "B"}));
  EXPECT_EQ(Topology_getNoOfCompositeNames(topology()), 0);
  EXPECT_EQ(Region_getConnection(region("Aright")), nullptr);

  ASSERT_EQ(zyrDatabase_restoreCheckpoint(m_hDatabase, copied), 1);
  EXPECT_EQ(Model_getNoOfAssemblies(model()), 2);
  EXPECT_DOUBLE_EQ(lowestX(model(), copies.names[1].c_str()), 5.0);
  int32_t priority = 0;
  ASSERT_EQ(zyrRegion_getPriority(m_hModel, "Avol", &priority), 1);
  EXPECT_EQ(priority, 3);
  EXPECT_EQ(composite("A").size(), 3u);

  ASSERT_EQ(zyrDatabase_restoreCheckpoint(m_hDatabase, glued), 1);
  EXPECT_EQ(assemblyNames(model()), join.out);
  EXPECT_NE(Region_getConnection(region("Aright")), nullptr);
}

TEST_F(Editing, GluedPairsAreRecordedTwoNamesPerCountedPairAndReplay) {
  addBlock(model(), "A", 0);
  addBlock(model(), "B", 1);
  const std::string file = m_dir.file("glue.ses");
  // The child records into its own recorder; the parent's stays as it is.
  GTEST_FLAG_SET(death_test_style, "fast");
  EXPECT_EXIT(
      {
        SessionFile_open(file.c_str(), 2);
        const Glued glued = glue({"Aright", "Bleft", "Aleft", "Bright"});
        SessionFile_close();
        zyrtest::leaveChild(glued.status == 1 ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
  const Names lines = zyrtest::splitLines(zyrtest::readFile(file));
  const auto record = std::find(lines.begin(), lines.end(), "zyrModel_glueRegions");
  ASSERT_GE(lines.end() - record, 8);
  // The name, the model handle, then the flags and the pairs.
  EXPECT_EQ(Names(record + 2, record + 8), (Names{"0", "2", "Aright", "Bleft", "Aleft", "Bright"}));

  // Records played back: a copy of B seven along, then the join of the touching faces.
  const std::string play = m_dir.file("play.ses");
  const std::string h = std::to_string(m_hModel);
  zyrtest::writeFile(play, "zyrAssembly_transform\n" + h + "\nB\n0\n1\n1\n0\n0\n0\n1\n0\n0\n0\n1\n7\n0\n0\nm\n0\n" +
                               "zyrModel_glueRegions\n" + h + "\n0\n1\nAright\nBleft\n");
  EXPECT_EQ(apitest::playSessionFile(play), 1);
  EXPECT_EQ(zyrtest::ErrorCapture::takeCodes(), std::vector<int32_t>{});
  EXPECT_NE(Region_getConnection(region("Aright")), nullptr);
  EXPECT_EQ(Model_getNoOfAssemblies(model()), 2);
  EXPECT_EQ(Topology_getNoOfRegions(topology(), 15), 9);
}

TEST_F(Editing, TheTransformEchoShowsItsTransformationAfterTheOtherInputs) {
  Session *session = Session_new();
  session->m_interactive = 1;
  SessionCall call;
  SessionCall_init(&call, SessionKeyword_find("zyrAssembly_transform"), session);
  call.m_inputs[1].m_string = zyrCString_clone("A");
  call.m_inputs[3].m_integer = 1;
  call.m_inputs[4].m_transformation = translation(7);
  call.m_outputs[0].m_count = 2;
  call.m_outputs[0].m_strings =
      zyrCStringArray_clone(std::vector<char *>{const_cast<char *>("A"), const_cast<char *>("A 2")}.data(), 2);
  call.m_status = 1;
  testing::internal::CaptureStdout();
  SessionCall_echo(&call);
  std::string expected = "zyrAssembly_transform\n> hModel         = 0\n> assembly       = A\n"
                         "> moveCount      = 0\n> repeatCount    = 1\n> matchMesh      = 0\n";
  for (int row = 0; row < 3; ++row)
    for (int column = 0; column < 3; ++column)
      expected += "> A[" + std::to_string(row) + "][" + std::to_string(column) +
                  "]        = " + (row == column ? "1.000000e+00" : "0.000000e+00") + "\n";
  expected += "> v[0]           = 7.000000e+00\n> v[1]           = 0.000000e+00\n"
              "> v[2]           = 0.000000e+00\n> units          = m\n"
              "< noOfAssemblies = 2\n< assemblies     =\n  [0] A\n  [1] A 2\n< return         = 1\n";
  EXPECT_EQ(testing::internal::GetCapturedStdout(), expected);
  SessionCall_free(&call);
  Session_delete(session);
}
