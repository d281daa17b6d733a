#include "vsnHandle.h"
#include "vsnListing.h"
#include "vsnPath.h"
#include "vsnValue.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class VsnListing : public testing::Test {
 protected:
  void SetUp() override { h = createVSNHandle(); }
  void TearDown() override { destroyVSNHandle(h); }
  void object(const char* path, int fromLibrary = 0) { ASSERT_EQ(vsnCreateObject(h, path, fromLibrary), nullptr) << path; }
  void param(const char* path) { ASSERT_EQ(vsnCreateParam(h, path, "v"), nullptr) << path; }

  std::vector<std::string> strings(char** array) {
    std::vector<std::string> out;
    for (char** p = array; p && *p; ++p) out.push_back(*p);
    freeStringArray(array);
    return out;
  }
  std::vector<std::string> byType(const char* type) {
    char** paths = nullptr;
    EXPECT_EQ(getObjectsByTypeH(h, type, &paths), nullptr);
    return strings(paths);
  }
  std::vector<std::string> byName(const char* name) {
    char** paths = nullptr;
    EXPECT_EQ(getObjectsByNameH(h, name, &paths), nullptr);
    return strings(paths);
  }

  vsnHandle* h = nullptr;
};

using Strings = std::vector<std::string>;

TEST_F(VsnListing, ChildTriplesAndGroups) {
  object("/FLOW");
  param("/FLOW/Option");
  object("/FLOW/DOMAIN:d1");
  param("/FLOW/Version");
  object("/FLOW/SOLUTION UNITS");
  object("/FLOW/DOMAIN:d2");

  int childCount = -1, groupCount = -1;
  vsnChildInfo* children = nullptr;
  vsnGroupInfo* groups = nullptr;
  ASSERT_EQ(getChildList(h, "FLOW", &childCount, &children, &groupCount, &groups), nullptr);
  ASSERT_EQ(childCount, 5);
  Strings triples;
  for (int i = 0; i < childCount; ++i) {
    triples.push_back(std::string(children[i].m_name) + "|" + children[i].m_kind + "|" + children[i].m_type);
  }
  EXPECT_EQ(triples, (Strings{"Option|Param|String", "d1|Object|DOMAIN", "Version|Param|String",
                              "SOLUTION UNITS|Singleton|SOLUTION UNITS", "d2|Object|DOMAIN"}));
  // Groups in the reverse order of the labels' first appearance, indices descending.
  ASSERT_EQ(groupCount, 3);
  Strings listed;
  for (int g = 0; g < groupCount; ++g) {
    std::string s = std::to_string(groups[g].m_count) + "|" + groups[g].m_kindName + "|" + groups[g].m_type + "|";
    for (int i = 0; i < groups[g].m_count; ++i) s += std::to_string(groups[g].m_indices[i]) + ",";
    listed.push_back(s);
  }
  EXPECT_EQ(listed, (Strings{"1|Singleton|SOLUTION UNITS|3,", "2|Object|DOMAIN|4,1,", "2|Parameter|String|2,0,"}));
  freeChildArray(children, childCount);
  freeGroupArray(groups, groupCount);
}

TEST_F(VsnListing, LabelsABAGiveGroupsBThenA) {
  object("/P");
  object("/P/A:x");
  object("/P/B:y");
  object("/P/A:z");
  int groupCount = 0;
  vsnGroupInfo* groups = nullptr;
  ASSERT_EQ(getChildList(h, "/P", nullptr, nullptr, &groupCount, &groups), nullptr);
  ASSERT_EQ(groupCount, 2);
  EXPECT_STREQ(groups[0].m_type, "B");
  EXPECT_STREQ(groups[1].m_type, "A");
  ASSERT_EQ(groups[1].m_count, 2);
  EXPECT_EQ(groups[1].m_indices[0], 2);
  EXPECT_EQ(groups[1].m_indices[1], 0);
  freeGroupArray(groups, groupCount);
}

TEST_F(VsnListing, EmptyAndMissing) {
  object("/EMPTY");
  int childCount = -1, groupCount = -1;
  vsnChildInfo* children = reinterpret_cast<vsnChildInfo*>(1);
  vsnGroupInfo* groups = reinterpret_cast<vsnGroupInfo*>(1);
  ASSERT_EQ(getChildList(h, "/EMPTY", &childCount, &children, &groupCount, &groups), nullptr);
  EXPECT_EQ(childCount, 0);
  EXPECT_EQ(children, nullptr);
  EXPECT_EQ(groupCount, 0);
  EXPECT_EQ(groups, nullptr);
  EXPECT_STREQ(getChildList(h, "/NONE", &childCount, &children, nullptr, nullptr),
               "getChildList: unable to find the requested path");
  // The child count must agree with the chain.
  findEntryH(h, "/EMPTY")->m_childCount = 1;
  EXPECT_STREQ(getChildList(h, "/EMPTY", &childCount, &children, nullptr, nullptr),
               "getChildList: childCount larger than length of linked list");
  findEntryH(h, "/EMPTY")->m_childCount = 0;

  char** names = reinterpret_cast<char**>(1);
  int count = -1;
  ASSERT_EQ(getChildObjectList(h, "/EMPTY", 1, 1, &count, &names), nullptr);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(names, nullptr);
  const char* err = getChildObjectList(h, "EMPTY / x", 1, 1, &count, &names);
  EXPECT_STREQ(err, "getChildObjectList: path \"/EMPTY/x\" does not exist");
}

TEST_F(VsnListing, ChildObjectListNamesSteps) {
  object("/FLOW");
  param("/FLOW/Option");
  object("/FLOW/DOMAIN:d1");
  object("/FLOW/SOLUTION UNITS");
  char** names = nullptr;
  int count = 0;
  ASSERT_EQ(getChildObjectList(h, "/FLOW", 1, 1, &count, &names), nullptr);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(strings(names), (Strings{"Option", "DOMAIN:d1", "SOLUTION UNITS"}));
  ASSERT_EQ(getChildObjectList(h, "/FLOW", 1, 0, &count, &names), nullptr);
  EXPECT_EQ(strings(names), (Strings{"DOMAIN:d1", "SOLUTION UNITS"}));
  ASSERT_EQ(getChildObjectList(h, "/FLOW", 0, 1, &count, &names), nullptr);
  EXPECT_EQ(strings(names), (Strings{"Option"}));
}

TEST_F(VsnListing, SearchesByNameAndTypeSkipLibraries) {
  object("/FLOW");
  object("/FLOW/DOMAIN:d1");
  object("/FLOW/DOMAIN:d1/BOUNDARY:inlet");
  param("/FLOW/DOMAIN:d1/BOUNDARY:inlet/Location");
  object("/FLOW/DOMAIN:d1/BOUNDARY:wall");
  object("/FLOW/DOMAIN:d2");
  object("/FLOW/DOMAIN:d2/BOUNDARY:inlet");
  object("/FLOW/LIB", 1);
  object("/FLOW/LIB/BOUNDARY:inlet");
  object("/FLOW/BOUNDARY");
  object("/X:X1");
  object("/X:X1/X:X1");  // a match is listed before its own children

  EXPECT_EQ(byType("BOUNDARY"), (Strings{"/FLOW/DOMAIN:d1/BOUNDARY:inlet", "/FLOW/DOMAIN:d1/BOUNDARY:wall",
                                         "/FLOW/DOMAIN:d2/BOUNDARY:inlet", "/FLOW/BOUNDARY"}));
  EXPECT_EQ(byName("inlet"), (Strings{"/FLOW/DOMAIN:d1/BOUNDARY:inlet", "/FLOW/DOMAIN:d2/BOUNDARY:inlet"}));
  EXPECT_EQ(byName("BOUNDARY"), (Strings{"/FLOW/BOUNDARY"}));
  EXPECT_EQ(byName("X1"), (Strings{"/X:X1", "/X:X1/X:X1"}));
  EXPECT_EQ(byType("LIB"), Strings{});
  EXPECT_EQ(byName("Location"), Strings{});
  // Below the current path only.
  ASSERT_EQ(pushPath(h, "/FLOW/DOMAIN:d2"), nullptr);
  EXPECT_EQ(byType("BOUNDARY"), (Strings{"/FLOW/DOMAIN:d2/BOUNDARY:inlet"}));
  EXPECT_EQ(byType("DOMAIN"), Strings{});
  ASSERT_EQ(vsnChangePath(h, "/gone"), nullptr);
  char** paths = reinterpret_cast<char**>(1);
  EXPECT_STREQ(getObjectsByTypeH(h, "DOMAIN", &paths), "getPartialVSNH: object does not exist");
  EXPECT_EQ(paths, nullptr);
}

} // namespace
