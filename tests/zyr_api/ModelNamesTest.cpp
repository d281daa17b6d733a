// The model's explicit primitive names (kept in the atlas, apart from the regions' names) and counts, and deleting one region with its mesh: the calls the
// command layer makes directly on the model.
#include "QueriesTestSupport.h"

#include <algorithm>

using queriestest::QueriesTest;
using queriestest::strings;

namespace {

std::vector<std::string> primitiveNames(Model *model) {
  int32_t n = -1;
  char **names = nullptr;
  EXPECT_EQ(Model_getPrimitiveNames(model, &n, &names), 1);
  std::vector<std::string> sorted = strings(n, names);
  std::sort(sorted.begin(), sorted.end());
  return sorted;
}

bool isPrimitive(Model *model, const char *name) {
  int32_t flag = -1;
  EXPECT_EQ(Model_isNamePrimitive(model, name, &flag), 1);
  return flag == 1;
}

} // namespace

TEST_F(QueriesTest, PrimitiveNamesComeAndGoWithTheirCounts) {
  addBlock("A", 0, 1);
  // Regions do not make explicit primitive names.
  EXPECT_EQ(primitiveNames(m_model), std::vector<std::string>{});
  EXPECT_EQ(Model_getNoOfPrimitiveNames(m_model), 0);
  EXPECT_FALSE(isPrimitive(m_model, "Alow"));
  EXPECT_FALSE(isPrimitive(m_model, "Spare"));

  ASSERT_EQ(Model_createPrimitiveName(m_model, "Spare"), 1);
  EXPECT_TRUE(isPrimitive(m_model, "Spare"));
  ASSERT_EQ(Model_createPrimitiveName(m_model, "Other"), 1);
  EXPECT_EQ(Model_getNoOfPrimitiveNames(m_model), 2);
  EXPECT_EQ(primitiveNames(m_model), (std::vector<std::string>{"Other", "Spare"}));
  ASSERT_EQ(Model_destroyPrimitiveName(m_model, "Spare"), 1);
  EXPECT_FALSE(isPrimitive(m_model, "Spare"));
  EXPECT_EQ(primitiveNames(m_model), std::vector<std::string>{"Other"});

  EXPECT_EQ(Model_getNoOfCompositeNames(m_model), 0);
  Region *ends[] = {region("Alow"), region("Ahigh")};
  ASSERT_EQ(Model_createCompositeUnion(m_model, "Ends", 2, ends), 1);
  EXPECT_EQ(Model_getNoOfCompositeNames(m_model), 1);
  EXPECT_FALSE(isPrimitive(m_model, "Ends"));
}

TEST_F(QueriesTest, DeletingARegionTakesItsMeshAlone) {
  addBlock("A", 0, 2);
  ASSERT_EQ(faces("Atop"), 2);
  ASSERT_EQ(Model_deleteRegion(m_model, "Atop"), 1);
  EXPECT_EQ(region("Atop"), nullptr);
  EXPECT_EQ(faces("Atop"), -1);
  EXPECT_EQ(faces("Abottom"), 2);
}
