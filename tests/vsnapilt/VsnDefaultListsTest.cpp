// The list and logical readers of the process's default handle, an entry's one-line print, and
// the copy of a pointer array.
#include "vsnArray.h"
#include "vsnDefaultHandle.h"
#include "vsnEntry.h"
#include "vsnValue.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct DefaultLists : ::testing::Test {
  void SetUp() override {
    destroyDefaultVSNHandle();
    ASSERT_NE(defaultCreateRootObject(), nullptr);
    m_flow = defaultVsnUpdateObject(nullptr, "FLOW", "", nullptr, VSN_KIND_SINGLETON, 0);
    ASSERT_NE(m_flow, nullptr);
  }
  void TearDown() override { destroyDefaultVSNHandle(); }
  vsnEntry* set(const char* name, const char* value) {
    return defaultVsnUpdateObject(m_flow, nullptr, name, value, VSN_KIND_PARAM, 0);
  }
  vsnEntry* m_flow = nullptr;
};

TEST_F(DefaultLists, ListsAndLogicalsReadThroughTheDefaultHandle) {
  ASSERT_NE(set("S", "a, f(b, c)"), nullptr);
  ASSERT_NE(set("N", "4, -2"), nullptr);
  ASSERT_NE(set("B", "yes, off"), nullptr);
  ASSERT_NE(set("L", "no"), nullptr);

  char** strings = nullptr;
  int count = -1;
  ASSERT_EQ(defaultGetStringList("/FLOW/S", &strings, &count), nullptr);
  ASSERT_EQ(count, 2);
  EXPECT_STREQ(strings[0], "a");
  EXPECT_STREQ(strings[1], "f(b, c)");
  freeStringArray(strings);

  int* ints = nullptr;
  ASSERT_EQ(defaultGetIntegerList("/FLOW/N", &ints, &count), nullptr);
  ASSERT_EQ(count, 2);
  EXPECT_EQ(std::vector<int>(ints, ints + 2), (std::vector<int>{4, -2}));
  freeVSNBlock(ints);
  ASSERT_EQ(defaultGetLogicalList("/FLOW/B", &ints, &count), nullptr);
  ASSERT_EQ(count, 2);
  EXPECT_EQ(std::vector<int>(ints, ints + 2), (std::vector<int>{-1, 0}));
  freeVSNBlock(ints);

  int value = -5;
  ASSERT_EQ(defaultGetLogicalValue("/FLOW/L", &value), nullptr);
  EXPECT_EQ(value, 0);
  EXPECT_STREQ(defaultGetLogicalValue("/FLOW/none", &value), "getLogicalValue: unable to find value");
  EXPECT_STREQ(defaultGetIntegerList("/FLOW/none", &ints, &count), "getStringList: unable to find value");
}

TEST_F(DefaultLists, WithoutTheHandleListsFail) {
  destroyDefaultVSNHandle();
  char** strings = nullptr;
  int* ints = nullptr;
  int count = 0;
  int value = 0;
  EXPECT_STREQ(defaultGetStringList("/FLOW/S", &strings, &count), VSN_NO_DEFAULT_HANDLE_TEXT);
  EXPECT_STREQ(defaultGetIntegerList("/FLOW/N", &ints, &count), VSN_NO_DEFAULT_HANDLE_TEXT);
  EXPECT_STREQ(defaultGetLogicalList("/FLOW/B", &ints, &count), VSN_NO_DEFAULT_HANDLE_TEXT);
  EXPECT_STREQ(defaultGetLogicalValue("/FLOW/L", &value), VSN_NO_DEFAULT_HANDLE_TEXT);
}

TEST_F(DefaultLists, EntryPrintsOnOneLine) {
  ASSERT_NE(set("Passes", "3"), nullptr);
  char* buffer = nullptr;
  size_t size = 0;
  FILE* stream = open_memstream(&buffer, &size);
  vsnEntryPrint(m_flow, stream);
  vsnEntryPrint(nullptr, stream);  // nothing for no entry
  std::fclose(stream);
  const std::string text(buffer, size);
  std::free(buffer);
  // An object has no value: the "(nul)" form; its one parameter is counted.
  EXPECT_EQ(text, "Singleton:FLOW type=FLOW name= value=(nul) kind=3 children=1 flags=0x0\n");
}

TEST(VsnPointerArray, CopyHoldsThePointersAndOnlyForPointerArrays) {
  vsnArray* array = vsnArrayNew(VSN_ARRAY_POINTER);
  int a = 0, b = 0;
  ASSERT_TRUE(vsnArrayAddPointer(array, &a));
  ASSERT_TRUE(vsnArrayAddPointer(array, &b));
  void** copy = vsnArrayCopyPointers(array);
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy, vsnArrayPointers(array));
  EXPECT_EQ(copy[0], &a);
  EXPECT_EQ(copy[1], &b);
  std::free(copy);
  vsnArrayRelease(array);

  vsnArray* ints = vsnArrayNew(VSN_ARRAY_INT);
  EXPECT_EQ(vsnArrayCopyPointers(ints), nullptr);
  vsnArrayFree(ints);
}

} // namespace
