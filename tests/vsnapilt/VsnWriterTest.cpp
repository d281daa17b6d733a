#include "VsnTextSupport.h"

#include "vsnArray.h"
#include "vsnListing.h"
#include "vsnParser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using vsntest::Lines;

namespace {

class VsnWriter : public testing::Test {
 protected:
  void SetUp() override { h = createVSNHandle(); }
  void TearDown() override { destroyVSNHandle(h); }

  vsnHandle* h = nullptr;
};

const Lines kExample = {"FLOW:", "Option = a", "DOMAIN: d1", "Location = B1", "END", "END"};

TEST_F(VsnWriter, WholeTreeAndOneObject) {
  ASSERT_EQ(vsntest::load(h, kExample), nullptr);
  EXPECT_EQ(vsntest::written(h), (Lines{"FLOW:", "  Option = a", "  DOMAIN: d1", "    Location = B1", "  END", "END"}));
  EXPECT_EQ(vsntest::written(h, "/FLOW"), (Lines{"FLOW:", "Option = a", "DOMAIN: d1", "  Location = B1", "END", "END"}));
  EXPECT_EQ(vsntest::written(h, "/FLOW/DOMAIN:d1"), (Lines{"DOMAIN: d1", "Location = B1", "END"}));
  EXPECT_EQ(vsntest::written(h, "/FLOW/Option"), (Lines{"Option = a"}));
  EXPECT_EQ(vsntest::written(h, "/NOTHING"), (Lines{"ERROR: getObjectVSNH: path not found"}));
}

TEST_F(VsnWriter, EmptyHandlesAndObjects) {
  char** lines = reinterpret_cast<char**>(1);
  EXPECT_EQ(getAllVSNH(h, &lines), nullptr);
  EXPECT_EQ(lines, nullptr);  // nothing was ever loaded

  ASSERT_EQ(vsntest::load(h, {"EMPTY:", "END", "NAMED: n", "END"}), nullptr);
  EXPECT_EQ(vsntest::written(h), (Lines{"EMPTY:", "END", "NAMED: n", "END"}));
  ASSERT_EQ(deleteObjH(h, "/"), nullptr);
  ASSERT_EQ(getAllVSNH(h, &lines), nullptr);
  ASSERT_NE(lines, nullptr);
  EXPECT_EQ(lines[0], nullptr);
  freeStringArray(lines);
}

TEST_F(VsnWriter, MasksChooseObjectsNeverParameters) {
  ASSERT_EQ(vsntest::load(h, {"top = 1", "A:", "a = 1", "END"}), nullptr);
  std::vector<const char*> lib = {"LIB:", "x = 1", "INNER:", "END", "END", "libtop = 2"};
  ASSERT_EQ(loadLibraryDataH(h, lib.data(), static_cast<int>(lib.size())), nullptr);
  EXPECT_EQ(vsntest::written(h), (Lines{"top = 1", "A:", "  a = 1", "END", "libtop = 2"}));
  EXPECT_EQ(vsntest::written(h, "/", 1),
            (Lines{"top = 1", "A:", "  a = 1", "END", "LIB:", "  x = 1", "  INNER:", "  END", "END", "libtop = 2"}));

  vsnArray* out = vsnArrayNew(VSN_ARRAY_STRING);
  ASSERT_EQ(getPartialVSNH(h, "/", "> ", out, VSN_FLAG_LIBRARY, 0), nullptr);
  Lines got;
  for (int i = 0; i < vsnArrayCount(out); ++i) got.push_back(vsnArrayStrings(out)[i]);
  EXPECT_EQ(got, (Lines{"> top = 1", "> LIB:", ">   x = 1", ">   INNER:", ">   END", "> END", "> libtop = 2"}));
  EXPECT_STREQ(getPartialVSNH(h, "/MISSING", "", out, 0, 0), "getPartialVSNH: object does not exist");
  vsnArrayFree(out);

  // The by-type search leaves library objects out as well.
  char** paths = nullptr;
  ASSERT_EQ(getObjectsByTypeH(h, "INNER", &paths), nullptr);
  ASSERT_NE(paths, nullptr);
  EXPECT_EQ(paths[0], nullptr);
  freeStringArray(paths);
}

TEST_F(VsnWriter, ValuesReadBackUnchanged) {
  ASSERT_EQ(vsntest::load(h, {"a = x\\#y", "b = ends\\ # with a backslash", "c = \\ #", "d =", "e = = x"}), nullptr);
  Lines text = vsntest::written(h);
  EXPECT_EQ(text, (Lines{"a = x\\#y", "b = ends\\ #", "c = \\ #", "d = ", "e = = x"}));
  vsnHandle* again = createVSNHandle();
  ASSERT_EQ(vsntest::load(again, text), nullptr);
  EXPECT_EQ(vsntest::describe(again), vsntest::describe(h));
  destroyVSNHandle(again);
}

TEST_F(VsnWriter, DeepTrees) {
  Lines text;
  const int levels = 1500;
  for (int i = 0; i < levels; ++i) text.push_back("L:");
  text.push_back("x = 1");
  text.insert(text.end(), levels, "END");
  ASSERT_EQ(vsntest::load(h, text), nullptr);
  EXPECT_GT(h->m_flagCapacity, levels);
  Lines out = vsntest::written(h);
  ASSERT_EQ(out.size(), text.size());
  EXPECT_EQ(out[levels], std::string(2 * levels, ' ') + "x = 1");
  EXPECT_EQ(out.back(), "END");
}

// Generated text, loaded (sometimes only in part), written, loaded again: the same tree, and the
// same text when written once more.
TEST(VsnRoundTrip, GeneratedTexts) {
  int failedLoads = 0;
  size_t entries = 0;
  for (unsigned seed = 1; seed <= 300; ++seed) {
    vsntest::TextGenerator generator(seed);
    Lines text = generator.lines(5 + static_cast<int>(seed % 60));
    vsnHandle* first = createVSNHandle();
    if (vsntest::load(first, text)) ++failedLoads;
    Lines out = vsntest::written(first);
    vsnHandle* second = createVSNHandle();
    const char* err = vsntest::load(second, out);
    EXPECT_EQ(err, nullptr) << "seed " << seed << ": " << err;
    std::string tree = vsntest::describe(first);
    EXPECT_EQ(vsntest::describe(second), tree) << "seed " << seed;
    EXPECT_EQ(vsntest::written(second), out) << "seed " << seed;
    entries += static_cast<size_t>(std::count(tree.begin(), tree.end(), '\n'));
    destroyVSNHandle(first);
    destroyVSNHandle(second);
  }
  // The generator must exercise both outcomes.
  EXPECT_GT(failedLoads, 10);
  EXPECT_LT(failedLoads, 290);
  EXPECT_GT(entries, 1000u);
}

} // namespace
