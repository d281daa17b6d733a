#include "MeshSelectionCommand.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

MeshSelectionStep parsed(const char *text) {
  MeshSelectionStep step;
  EXPECT_EQ(MeshSelectionCommand_parse(text, 0, &step), 1) << text;
  return step;
}

TEST(MeshSelectionCommand, NotTurnsOnlyTheCriterionKeywordsAfterIt) {
  EXPECT_EQ(parsed("not inside sphere 0 0 0 1").m_criterion, MESH_SELECTION_NOT_INSIDE);
  EXPECT_EQ(parsed("inside not sphere 0 0 0 1").m_criterion, MESH_SELECTION_INSIDE);
  EXPECT_EQ(parsed("not outside box 0 0 0 1 1 1").m_criterion, MESH_SELECTION_NOT_OUTSIDE);
  EXPECT_EQ(parsed("not intersecting planez 0").m_criterion, MESH_SELECTION_NOT_INTERSECTING);
  // Without a criterion keyword a shape takes the elements it cuts; the last keyword wins.
  EXPECT_EQ(parsed("sphere 0 0 0 1").m_criterion, MESH_SELECTION_INTERSECTING);
  EXPECT_EQ(parsed("outside sphere 0 0 0 1 inside").m_criterion, MESH_SELECTION_INSIDE);
}

TEST(MeshSelectionCommand, ShapesGiveTheirNumbers) {
  MeshSelectionStep step = parsed("planex 2.5");
  EXPECT_EQ(step.m_shape, MESH_SELECTION_PLANE);
  EXPECT_EQ(std::vector<double>(step.m_numbers, step.m_numbers + 4), (std::vector<double>{-1, 0, 0, 2.5}));
  step = parsed("planey -1");
  EXPECT_EQ(std::vector<double>(step.m_numbers, step.m_numbers + 4), (std::vector<double>{0, -1, 0, -1}));
  step = parsed("planez 3");
  EXPECT_EQ(std::vector<double>(step.m_numbers, step.m_numbers + 4), (std::vector<double>{0, 0, -1, 3}));
  step = parsed("planei 1 2 3 4");
  EXPECT_EQ(std::vector<double>(step.m_numbers, step.m_numbers + 4), (std::vector<double>{1, 2, 3, 4}));
  step = parsed("box 0 1 2 3 4 5\tsphere 1 2 3 0.5");
  EXPECT_EQ(step.m_shape, MESH_SELECTION_SPHERE);
  EXPECT_EQ(std::vector<double>(step.m_numbers, step.m_numbers + 4), (std::vector<double>{1, 2, 3, 0.5}));
  // Numbers as sscanf("%le") takes them: a numeric prefix is enough.
  step = parsed("sphere 1e2 100ergs 0x10 .5");
  EXPECT_EQ(std::vector<double>(step.m_numbers, step.m_numbers + 4), (std::vector<double>{100, 100, 16, 0.5}));
  double expected = -1;
  MeshSelectionStep odd;
  EXPECT_EQ(MeshSelectionCommand_parse("sphere 0 0 0 1e", 0, &odd), std::sscanf("1e", "%le", &expected) == 1 ? 1 : 0);
}

TEST(MeshSelectionCommand, QualityTypeAndLocation) {
  MeshSelectionStep step = parsed("beta 0.1 *");
  EXPECT_EQ(step.m_kind, MESH_SELECTION_QUALITY);
  EXPECT_STREQ(step.m_measure, "beta");
  EXPECT_EQ(step.m_bounds[0], 0.1);
  EXPECT_EQ(step.m_boundFlags[0], 1);
  EXPECT_EQ(step.m_boundFlags[1], 0);
  step = parsed("volume * * edge_length_ratio 0.2 0.9");
  EXPECT_STREQ(step.m_measure, "edge_length_ratio");
  EXPECT_EQ(step.m_boundFlags[0] + step.m_boundFlags[1], 2);

  step = parsed("sphere 0 0 0 1 type hexahedra prisms prisms nodes");
  EXPECT_EQ(step.m_kind, MESH_SELECTION_TYPE);
  EXPECT_EQ(std::vector<int32_t>(step.m_types, step.m_types + step.m_noOfTypes), (std::vector<int32_t>{0, 6, 7}));
  step = parsed("type");
  EXPECT_EQ(step.m_kind, MESH_SELECTION_TYPE);
  EXPECT_EQ(step.m_noOfTypes, 0);

  // The raw rest after exactly one delimiter, blanks kept; nothing after it is read.
  EXPECT_EQ(parsed("box 0 0 0 1 1 1 location  Inlet, Wall 2 ").m_location, " Inlet, Wall 2 ");
  step = parsed("location\tnot a keyword");
  EXPECT_EQ(step.m_kind, MESH_SELECTION_LOCATION);
  EXPECT_EQ(step.m_location, "not a keyword");
  EXPECT_EQ(parsed("location").m_location, "");
  EXPECT_EQ(parsed("location ").m_location, "");
}

TEST(MeshSelectionCommand, SyntaxErrors) {
  for (const char *text : {"inside", "not", "sphere 0 0 0", "sphere 0 0 zero 1", "planex", "box 0 0 0 1 1",
                           "volume 1", "volume a *", "beta ** 1", "type prisms walls", "bounding_box * *",
                           "Sphere 0 0 0 1", "sphere 0 0 0 1 extra"}) {
    MeshSelectionStep step;
    EXPECT_EQ(MeshSelectionCommand_parse(text, 0, &step), 0) << text;
  }
}

} // namespace

#include "MeshSelection.h"
#include "zyrArrayUtilities.h"
#include "zyrTestSupport.h"

#include <cstdlib>
#include <memory>

namespace {

// In a child process, as the debug manager reads its environment once.
[[noreturn]] void modifyWithDebugLog(const std::string &dir) {
  for (const char *name : {"ZYR_MEMORY_LOG", "ZYR_ERROR_LOG"})
    unsetenv(name);
  setenv("ZYR_DEBUG_CONTROL", (dir + "/control").c_str(), 1);
  setenv("ZYR_DEBUG_LOG", (dir + "/debug.log").c_str(), 1);
  MeshSelection *selection = MeshSelection_new(nullptr, nullptr);
  const int ok = MeshSelection_modify(selection, zyrSetIntersection, "not  type prisms");
  MeshSelection_delete(selection);
  std::exit(ok == 1 ? 0 : 2);
}

TEST(MeshSelectionDeathTest, ModificationsAreLoggedAtDebugLevelOne) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  std::string dir;
  std::unique_ptr<zyrtest::ScratchDir> owner;
  if (const char *inherited = std::getenv("ZYRTEST_SELECTION_DIR")) {
    dir = inherited;
  } else {
    owner = std::make_unique<zyrtest::ScratchDir>("zyrselectionlog");
    dir = owner->path();
    setenv("ZYRTEST_SELECTION_DIR", dir.c_str(), 1);
    zyrtest::writeFile(dir + "/control", "<DEBUG>\nMeshSelection_modify: 1\n</DEBUG>\n");
  }
  EXPECT_EXIT(modifyWithDebugLog(dir), testing::ExitedWithCode(0), "");
  const std::string log = zyrtest::readFile(dir + "/debug.log");
  EXPECT_NE(log.find("\nCombination = zyrSetIntersection\nOperation   = \"not  type prisms\"\n"
                     "Key word = |not|\nKey word = |type|\n"),
            std::string::npos)
      << log;
  unsetenv("ZYRTEST_SELECTION_DIR");
}

} // namespace
