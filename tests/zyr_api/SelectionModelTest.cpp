// A mesh selection made for a Model of the procedural interface reaches that model's mesh and
// topology.
#include "MeshSelection.h"
#include "Model.h"
#include "Region.h"
#include "zyrAPI.h"
#include "zyrArrayUtilities.h"
#include "zyrTestErrors.h"
#include "zyrTestSupport.h"

#include <gtest/gtest.h>

namespace {

TEST(SelectionModelTest, SelectionsFindTheModelsMeshAndTopology) {
  zyrtest::EnvGuard units{"ZYR_USE_LOCAL_UNITS", "1"};
  zyrtest::EnvGuard session{"ZYR_SESSION_FILE", nullptr};
  zyrtest::ScratchDir dir{"zyrselection"};
  int32_t hd = -1;
  int32_t hm = -1;
  ASSERT_EQ(zyrDatabase_open(dir.file("s.zyr").c_str(), &hd, &hm), 1);
  Model *model = nullptr;
  ASSERT_EQ(zyrAPI_getModel(hm, "test", &model), 1);
  ASSERT_NE(Region_new(Model_getTopology(model), nullptr, "Wall", 2), nullptr);

  zyrtest::ErrorCapture errors;
  MeshSelection *selection = MeshSelection_new(model, nullptr);
  EXPECT_EQ(MeshSelection_getModel(selection), model);
  EXPECT_EQ(selection->m_mesh, Model_getMesh(model));
  // A surface without a face mesh gives nothing; an unknown name is the topology's error.
  EXPECT_EQ(MeshSelection_modify(selection, zyrSetUnion, "location Wall"), 1);
  EXPECT_EQ(MeshSelection_getNoOfSelectedElements(selection), 0);
  EXPECT_EQ(MeshSelection_modify(selection, zyrSetUnion, "location Nowhere"), 0);
  const std::vector<int32_t> codes = errors.takeCodes();
  ASSERT_FALSE(codes.empty());
  EXPECT_NE(codes.back(), 20006);
  MeshSelection_delete(selection);
  EXPECT_EQ(zyrDatabase_close(hd, 1), 1);
}

} // namespace
