// Moving surface faces between primitive regions through zyrModel_modifyRegions: the checks made
// before anything changes, new regions per shell, deleted sources, repeated sources and faces,
// the roll-back of a failure part-way, and the session record of a call and its replay.
#include "QueriesTestSupport.h"
#include "Session.h"
#include "SessionFile.h"
#include "SessionPlayer.h"

#include <algorithm>
#include <cstdio>

using queriestest::QueriesTest;
using queriestest::strings;

namespace {

struct Outcome {
  int status = -1;
  std::string actualName;
  std::vector<std::string> lists[3];
};

// One component per source: its name and the faces to move.
using Components = std::vector<std::pair<std::string, std::vector<int32_t>>>;

Outcome modify(int32_t hModel, int32_t operation, const Components &components, const char *target,
               int32_t recordChanges = 1) {
  std::vector<char *> names;
  std::vector<int32_t> counts;
  std::vector<int32_t *> lists;
  for (const auto &component : components) {
    names.push_back(const_cast<char *>(component.first.c_str()));
    counts.push_back(static_cast<int32_t>(component.second.size()));
    lists.push_back(const_cast<int32_t *>(component.second.data()));
  }
  Outcome outcome;
  char *actual = nullptr;
  int32_t modified[3] = {-1, -1, -1};
  char **modifiedNames[3] = {nullptr, nullptr, nullptr};
  outcome.status =
      zyrModel_modifyRegions(hModel, operation, static_cast<int32_t>(components.size()), names.data(), counts.data(),
                             lists.data(), target, recordChanges, &actual, modified, modifiedNames);
  outcome.actualName = actual != nullptr ? actual : "<none>";
  zyrCString_free(actual);
  for (int i = 0; i < 3; ++i)
    outcome.lists[i] = strings(modified[i], modifiedNames[i]);
  return outcome;
}

std::vector<std::string> queuedMessages() {
  int32_t n = 0;
  zyrError **errors = nullptr;
  zyrApp_getErrors(&n, &errors);
  std::vector<std::string> messages;
  for (int32_t i = 0; i < n; ++i)
    messages.push_back(std::to_string(zyrError_getCode(errors[i])) + ": " + zyrError_getMessage(errors[i]));
  zyrMemory_free(errors, "test");
  zyrApp_clearErrors();
  return messages;
}

} // namespace

TEST_F(QueriesTest, ModificationsAreCheckedBeforeAnythingChanges) {
  addBlock("A", 0, 2);
  addBlock("B", 2, 2);
  ASSERT_NE(Region_connectNeighbour(region("Ahigh"), region("Blow")), nullptr);
  zyrtest::ErrorCapture errors;
  const int32_t state = Model_flushChanges(m_model);

  EXPECT_EQ(modify(m_hModel, 2, {{"Abottom", {0}}}, "X").status, 0);
  EXPECT_EQ(modify(m_hModel, 0, {}, "X").status, 0);
  EXPECT_EQ(modify(m_hModel, 0, {{"Abottom", {0}}, {"nowhere", {0}}}, "X").status, 0);
  EXPECT_EQ(modify(m_hModel, 0, {{"Abottom", {0}}, {"Ahigh", {0}}, {"Atop", {0}}}, "X").status, 0);
  EXPECT_EQ(modify(m_hModel, 1, {{"Abottom", {0}}}, "Bhigh").status, 0);
  EXPECT_EQ(modify(m_hModel, 1, {{"Atop", {0}}}, "Ahigh").status, 0);
  // Face numbers outside the source, and repeated ones past it, are refused before any change.
  EXPECT_EQ(modify(m_hModel, 0, {{"Abottom", {0, 2}}}, "X").status, 0);
  EXPECT_EQ(modify(m_hModel, 0, {{"Abottom", {-1}}}, "X").status, 0);
  EXPECT_EQ(
      errors.take(),
      (std::vector<std::string>{
          "10020: The requested operation, 2, has not been recognised.\n",
          "10020: An invalid number of components, 0, has been supplied.\n",
          "10036: \"nowhere\" is not a primitive region.\n",
          "20003: The current implementation does not allow the manipulation of\npaired primitive regions. The "
          "following regions are paired:\n\n\"Ahigh\"\n",
          "10020: An attempt has been made to move mesh elements into an inconsistent\nprimitive region.\n\n"
          "The target region \"Bhigh\" bounds \"Bvol\" while\nthe source region \"Abottom\" bounds \"Avol\".\n",
          "20003: The current implementation does not allow the manipulation of\npaired primitive regions. The "
          "following regions are paired:\n\n\"Ahigh\"\n",
          "10020: The element 2 is out of range for the primitive region \"Abottom\",\nwhich has 2 elements.\n",
          "10020: The element -1 is out of range for the primitive region \"Abottom\",\nwhich has 2 elements.\n"}));
  EXPECT_EQ(Model_flushChanges(m_model), state);
  EXPECT_EQ(faces("Abottom"), 2);
}

TEST_F(QueriesTest, SomeRefusalsAreQueuedWithoutBeingShown) {
  addBlock("A", 0, 1);
  addBlock("B", 1, 1);
  zyrtest::ErrorCapture errors;
  EXPECT_EQ(modify(m_hModel, 0, {{"Avol", {0}}, {"Atop", {0}}}, "X").status, 0);
  EXPECT_EQ(modify(m_hModel, 0, {{"Avol", {0}}, {"Bvol", {0}}}, "X").status, 0);
  EXPECT_EQ(modify(m_hModel, 1, {{"Atop", {0}}}, "Bvol").status, 0);
  EXPECT_TRUE(errors.published().empty());
  EXPECT_EQ(queuedMessages(),
            (std::vector<std::string>{
                "10020: The input primitive regions have differing dimensionalities:\n\n3D - \"Avol\"\n2D - \"Atop\"\n",
                "20003: The current implementation only allows 2D primitive regions\nto be modified.\n",
                "10020: The target region, \"Bvol\", has a different\ndimensionality, (3D), to the source regions, "
                "(2D).\n"}));
}

TEST_F(QueriesTest, MovingFacesWithinOneShell) {
  addBlock("A", 0, 2);
  Outcome made = modify(m_hModel, 0, {{"Abottom", {1}}}, "Front");
  ASSERT_EQ(made.status, 1);
  EXPECT_EQ(made.actualName, "<none>");
  EXPECT_EQ(made.lists[0], (std::vector<std::string>{"Front"}));
  EXPECT_EQ(made.lists[1], (std::vector<std::string>{"Abottom"}));
  EXPECT_EQ(made.lists[2], std::vector<std::string>{});
  EXPECT_EQ(faces("Abottom"), 1);
  EXPECT_EQ(faces("Front"), 1);
  EXPECT_EQ(Region_getShell(region("Front")), Region_getShell(region("Abottom")));
  char *bounded = nullptr;
  ASSERT_EQ(zyrRegion_getBoundedRegion(m_hModel, "Front", &bounded), 1);
  EXPECT_STREQ(bounded, "Avol");
  zyrCString_free(bounded);
  double area = 0;
  ASSERT_EQ(zyrLocation_getExtents(m_hModel, "Front", 0, "m", 2, &area), 1);
  EXPECT_NEAR(area, 1.0, 1e-12);
  ASSERT_EQ(zyrLocation_getExtents(m_hModel, "Abottom", 0, "m", 2, &area), 1);
  EXPECT_NEAR(area, 1.0, 1e-12);

  // Every face of a source moved: the source goes, with its visual. A source given twice, with
  // a face repeated, is one source.
  Outcome moved = modify(m_hModel, 1, {{"Atop", {1}}, {"Atop", {0, 1}}, {"Front", {}}}, "Abottom");
  ASSERT_EQ(moved.status, 1);
  EXPECT_EQ(moved.lists[0], std::vector<std::string>{});
  EXPECT_EQ(moved.lists[1], (std::vector<std::string>{"Abottom", "Front"}));
  EXPECT_EQ(moved.lists[2], (std::vector<std::string>{"Atop"}));
  EXPECT_EQ(region("Atop"), nullptr);
  EXPECT_EQ(faces("Abottom"), 3);
  ASSERT_EQ(zyrLocation_getExtents(m_hModel, "A", 0, "m", 2, &area), 1);
  EXPECT_NEAR(area, 6.0, 1e-12);

  // Without recordChanges the lists stay empty; a target among the sources is left alone.
  Outcome quiet = modify(m_hModel, 1, {{"Abottom", {0}}, {"Front", {0}}}, "Abottom", 0);
  ASSERT_EQ(quiet.status, 1);
  EXPECT_EQ(quiet.lists[1], std::vector<std::string>{});
  EXPECT_EQ(region("Front"), nullptr);
  EXPECT_EQ(faces("Abottom"), 4);
}

TEST_F(QueriesTest, FacesOfSeveralShellsMakeOneRegionPerShellUnderOneName) {
  addBlock("A", 0, 2);
  addBlock("B", 2, 1);
  Outcome made = modify(m_hModel, 0, {{"Abottom", {0}}, {"Bbottom", {0}}, {"Atop", {1}}}, "Floor");
  ASSERT_EQ(made.status, 1);
  EXPECT_EQ(made.actualName, "Floor");
  ASSERT_EQ(made.lists[0].size(), 2u);
  EXPECT_EQ(made.lists[1], (std::vector<std::string>{"Abottom", "Atop"}));
  EXPECT_EQ(made.lists[2], (std::vector<std::string>{"Bbottom"}));
  // The union names both new regions, one in each shell.
  std::vector<std::string> members = locationRegions("Floor", 4);
  std::sort(members.begin(), members.end());
  std::vector<std::string> created = made.lists[0];
  std::sort(created.begin(), created.end());
  EXPECT_EQ(members, created);
  EXPECT_EQ(faces(made.lists[0][0].c_str()) + faces(made.lists[0][1].c_str()), 3);
  EXPECT_NE(Region_getShell(region(made.lists[0][0].c_str())), Region_getShell(region(made.lists[0][1].c_str())));

  // A name already taken is made unique for the union.
  Outcome again = modify(m_hModel, 0, {{"Abottom", {0}}, {"Btop", {0}}}, "Floor");
  ASSERT_EQ(again.status, 1);
  EXPECT_NE(again.actualName, "Floor");
  EXPECT_NE(again.actualName, "<none>");
}

TEST_F(QueriesTest, AnUnusableNameForTheUnionChangesNothing) {
  addBlock("A", 0, 2);
  addBlock("B", 2, 1);
  // No unique name can be made from an empty one.
  zyrtest::ErrorCapture errors;
  Outcome failed = modify(m_hModel, 0, {{"Abottom", {0}}, {"Bbottom", {0}}}, "");
  EXPECT_EQ(failed.status, 0);
  EXPECT_EQ(failed.actualName, "<none>");
  EXPECT_EQ(faces("Abottom"), 2);
  EXPECT_EQ(faces("Bbottom"), 1);
  int32_t n = 0;
  EXPECT_EQ(zyrModel_getNoOfRegions(m_hModel, 4, &n), 1);
  EXPECT_EQ(n, 8);
}

TEST_F(QueriesTest, AModificationIsRecordedListByListAndReplays) {
  addBlock("A", 0, 3);
  int32_t checkpoint = -1;
  ASSERT_EQ(zyrDatabase_saveCheckpoint(m_hDatabase, &checkpoint), 1);
  const std::string file = m_dir.file("modify.ses");
  SessionFile_open(file.c_str(), 2);
  ASSERT_EQ(modify(m_hModel, 1, {{"Abottom", {2, 0}}, {"Atop", {1}}}, "Abottom").status, 1);
  SessionFile_close();
  std::vector<std::string> lines;
  for (const std::string &line : zyrtest::splitLines(zyrtest::readFile(file)))
    if (line.empty() || line[0] != '#')
      lines.push_back(line);
  const std::string h = std::to_string(m_hModel);
  EXPECT_EQ(lines, (std::vector<std::string>{"zyrModel_modifyRegions", h, "1", "2", "Abottom", "Atop", "2", "1", "2",
                                             "0", "1", "Abottom", "1"}));

  ASSERT_EQ(zyrDatabase_restoreCheckpoint(m_hDatabase, checkpoint), 1);
  ASSERT_EQ(faces("Atop"), 3);
  EXPECT_EQ(apitest::playSessionFile(file), 1);
  EXPECT_EQ(faces("Atop"), 2);
  EXPECT_EQ(faces("Abottom"), 4);
}
