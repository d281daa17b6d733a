#include "vsnDefaultHandle.h"
#include "vsnHandle.h"
#include "vsnLoader.h"
#include "vsnValue.h"

#include <gtest/gtest.h>

#include <string>

namespace {

void noteChange(const char* path, int code, const char*, const char*, void* context) {
  *static_cast<std::string*>(context) += std::string(path) + ":" + std::to_string(code) + ";";
}

TEST(VsnDefaultHandle, FormsThatNeedTheHandleFailWithout) {
  destroyDefaultVSNHandle();
  EXPECT_EQ(getDefaultVSNHandle(), nullptr);
  EXPECT_STREQ(defaultPopPath(), VSN_NO_DEFAULT_HANDLE_TEXT);
  EXPECT_STREQ(defaultPushPath("/"), VSN_NO_DEFAULT_HANDLE_TEXT);
  char* value = nullptr;
  EXPECT_STREQ(defaultGetStringValue("/x", &value), VSN_NO_DEFAULT_HANDLE_TEXT);
  int n = 0;
  EXPECT_STREQ(defaultGetIntegerValue("/x", &n), VSN_NO_DEFAULT_HANDLE_TEXT);
  EXPECT_EQ(defaultVsnPathExists("/"), 0);
  EXPECT_EQ(defaultGetEntryType("/"), -1);
  EXPECT_EQ(defaultGetValid("/"), -1);
  EXPECT_EQ(defaultIsLibraryObject("/"), -1);
  EXPECT_STREQ(defaultSetValid("/", 1), VSN_NO_DEFAULT_HANDLE_TEXT);
  defaultSetVSNUserWord(3);
  EXPECT_EQ(defaultGetVSNUserWord(), 0);
  EXPECT_EQ(getDefaultVSNHandle(), nullptr);
}

TEST(VsnDefaultHandle, CreatingFormsMakeItOnFirstUse) {
  destroyDefaultVSNHandle();
  int state = -1;
  ASSERT_EQ(defaultGetVSNState(&state), nullptr);
  EXPECT_EQ(state, 0);
  vsnHandle* h = getDefaultVSNHandle();
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(initDefaultVSNHandle(), nullptr);
  EXPECT_EQ(getDefaultVSNHandle(), h);  // one handle for the process

  std::string seen;
  ASSERT_EQ(defaultAddChangeHandler(noteChange, &seen), nullptr);
  ASSERT_NE(defaultCreateRootObject(), nullptr);
  vsnEntry* flow = defaultVsnUpdateObject(nullptr, "FLOW", "", nullptr, VSN_KIND_SINGLETON, 0);
  ASSERT_NE(flow, nullptr);
  EXPECT_STREQ(defaultGetCurrentPath(), "/FLOW");
  ASSERT_NE(defaultVsnUpdateObject(flow, nullptr, "Passes", "2.5", VSN_KIND_PARAM, 0), nullptr);
  ASSERT_EQ(defaultPopPath(), nullptr);
  EXPECT_STREQ(defaultGetCurrentPath(), "/");
  EXPECT_EQ(seen, "/FLOW:1;/FLOW/Passes:0;");

  int n = 0;
  ASSERT_EQ(defaultGetIntegerValue("/FLOW/Passes", &n), nullptr);
  EXPECT_EQ(n, 3);
  EXPECT_EQ(defaultGetEntryType("/FLOW"), 1);
  int childCount = 0;
  vsnChildInfo* children = nullptr;
  ASSERT_EQ(defaultGetChildList("/FLOW", &childCount, &children, nullptr, nullptr), nullptr);
  EXPECT_EQ(childCount, 1);
  freeChildArray(children, childCount);
  EXPECT_EQ(destroyDefaultVSNHandle(), 0);
  EXPECT_EQ(getDefaultVSNHandle(), nullptr);
}

void noteReplace(const char* path, void* context) { *static_cast<std::string*>(context) += std::string(path) + ";"; }

// Text loaded into the default handle (made on first use), its replace notifications, a pushed
// path and the reset of the state the parser keeps.
TEST(VsnDefaultHandle, LoadingReplacingAndPathsThroughTheDefaultHandle) {
  destroyDefaultVSNHandle();
  const char* first[] = {"FLOW:", "  Option = a", "  Other = b", "END"};
  ASSERT_EQ(defaultLoadVSNData(first, 4), nullptr);
  ASSERT_NE(getDefaultVSNHandle(), nullptr);
  std::string replaced;
  ASSERT_EQ(defaultAddReplaceHandler(noteReplace, &replaced), nullptr);
  const char* second[] = {"&replace FLOW:", "  Option = new", "END"};
  ASSERT_EQ(defaultLoadVSNData(second, 3), nullptr);
  EXPECT_EQ(replaced, "/FLOW;");
  char* value = nullptr;
  ASSERT_EQ(defaultGetStringValue("/FLOW/Option", &value), nullptr);
  EXPECT_STREQ(value, "new");
  freeVSNBlock(value);
  EXPECT_EQ(defaultVsnPathExists("/FLOW/Other"), 0);

  ASSERT_EQ(defaultVsnPushPath("/FLOW"), nullptr);
  EXPECT_STREQ(defaultGetCurrentPath(), "/FLOW");
  vsnHandle* h = getDefaultVSNHandle();
  h->m_depth = 1; // as the parser counts the object it holds open
  EXPECT_EQ(defaultResetVSNState(0), 0);
  int state = -1;
  ASSERT_EQ(defaultGetVSNState(&state), nullptr);
  EXPECT_EQ(state, 0);
  EXPECT_STREQ(defaultGetCurrentPath(), "/");
  EXPECT_EQ(destroyDefaultVSNHandle(), 0);
}

} // namespace
