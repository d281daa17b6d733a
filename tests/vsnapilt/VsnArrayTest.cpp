#include "vsnArray.h"
#include "vsnEntry.h"
#include "vsnHandle.h"
#include "vsnHash.h"
#include "vsnMessage.h"
#include "zyrTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string takeString(char* s) {
  std::string out = s ? s : "<null>";
  free(s);
  return out;
}

TEST(VsnArray, StringArrayGrowsByDoubling) {
  vsnArray* a = vsnArrayNew(VSN_ARRAY_STRING);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->m_capacity, 10);
  for (int i = 0; i < 10; ++i) ASSERT_EQ(vsnArrayAddStringCopy(a, "ab"), 1);
  EXPECT_EQ(a->m_capacity, 10);
  ASSERT_EQ(vsnArrayAddStringCopy(a, "abc"), 1);
  EXPECT_EQ(a->m_capacity, 20);
  EXPECT_EQ(vsnArrayCount(a), 11);
  EXPECT_EQ(a->m_length, 23);
  // The new places are zero.
  EXPECT_EQ(vsnArrayStrings(a)[11], nullptr);
  EXPECT_EQ(vsnArrayStrings(a)[19], nullptr);
  // Accessors of another kind give nothing.
  EXPECT_EQ(vsnArrayInts(a), nullptr);
  EXPECT_EQ(vsnArrayAddInt(a, 3), 0);
  EXPECT_EQ(vsnArrayCount(nullptr), 0);
  vsnArrayFree(a);
}

TEST(VsnArray, CharacterArrayKeepsItsClosingZero) {
  vsnArray* a = vsnArrayNew(VSN_ARRAY_CHAR);
  for (char c : std::string("hello world, twelve+")) ASSERT_EQ(vsnArrayAddChar(a, c), 1);
  EXPECT_STREQ(vsnArrayChars(a), "hello world, twelve+");
  EXPECT_EQ(a->m_length, 20);
  EXPECT_EQ(takeString(vsnArrayCopyChars(a)), "hello world, twelve+");
  vsnArrayClearItems(a);
  EXPECT_STREQ(vsnArrayChars(a), "");
  vsnArrayFree(a);
}

TEST(VsnArray, StringOperations) {
  vsnArray* a = vsnArrayNew(VSN_ARRAY_STRING);
  EXPECT_EQ(takeString(vsnArrayJoinStrings(a)), "");
  vsnArrayAddStringCopy(a, "one");
  vsnArrayAddString(a, nullptr);
  vsnArrayAddStringCopy(a, "three");
  EXPECT_EQ(takeString(vsnArrayJoinStrings(a)), "onethree");

  char** copy = vsnArrayCopyStrings(a);
  EXPECT_STREQ(copy[0], "one");
  EXPECT_EQ(copy[1], nullptr);
  EXPECT_STREQ(copy[2], "three");
  EXPECT_NE(copy[0], vsnArrayStrings(a)[0]);
  for (int i = 0; i < 3; ++i) free(copy[i]);
  free(copy);

  char** detached = vsnArrayDetachStrings(a);
  EXPECT_EQ(vsnArrayCount(a), 0);
  EXPECT_EQ(a->m_length, 0);
  EXPECT_STREQ(detached[2], "three");
  free(detached[0]);
  free(detached[2]);
  free(detached);
  // The array goes on after the detach.
  EXPECT_EQ(vsnArrayAddStringCopy(a, "again"), 1);
  EXPECT_STREQ(vsnArrayStrings(a)[0], "again");
  vsnArrayClear(a);
  EXPECT_EQ(vsnArrayCount(a), 0);
  vsnArrayFree(a);
}

TEST(VsnArray, PrintShowsEachKind) {
  vsnArray* s = vsnArrayNew(VSN_ARRAY_STRING);
  vsnArrayAddStringCopy(s, "a");
  vsnArrayAddString(s, nullptr);
  vsnArray* n = vsnArrayNew(VSN_ARRAY_INT);
  vsnArrayAddInt(n, -4);
  vsnArray* c = vsnArrayNew(VSN_ARRAY_CHAR);
  vsnArrayAddChar(c, 'q');
  testing::internal::CaptureStdout();
  vsnArrayPrint(s);
  vsnArrayPrint(n);
  vsnArrayPrint(c);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "0: a\n1: (nul)\n\n0: -4\n\nq\n\n");
  freeVSNItems("CCC", s, n, c);
}

TEST(VsnContext, FreesEverythingItRecorded) {
  vsnArray* ctx = vsnArrayNew(VSN_ARRAY_POINTER);
  char* a = vsnCtxStrdup(ctx, "alpha");
  void* b = vsnCtxCalloc(ctx, 4, 8);
  void* c = vsnCtxMalloc(ctx, 16);
  ASSERT_TRUE(a && b && c);
  EXPECT_EQ(vsnArrayCount(ctx), 3);
  c = vsnCtxRealloc(ctx, c, 4096);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(vsnArrayPointers(ctx)[2], c);
  int outside;
  EXPECT_EQ(vsnCtxRealloc(ctx, &outside, 8), nullptr);
  vsnCtxFree(ctx, b);
  EXPECT_EQ(vsnArrayPointers(ctx)[1], nullptr);
  vsnCtxFree(ctx, &outside);  // not recorded: left alone
  // Another kind is no context.
  vsnArray* s = vsnArrayNew(VSN_ARRAY_STRING);
  EXPECT_EQ(vsnCtxMalloc(s, 8), nullptr);
  EXPECT_EQ(vsnCtxMalloc(nullptr, 8), nullptr);
  vsnArrayFree(s);
  vsnArrayFree(ctx);  // frees a and c: the sanitizer would report a leak otherwise
}

TEST(VsnContext, PrintsItselfAtDebugLevelTwo) {
  vsnArray* ctx = vsnArrayNew(VSN_ARRAY_POINTER);
  setVSNDebugLevel(2);
  testing::internal::CaptureStdout();
  void* block = vsnCtxMalloc(ctx, 1);
  std::string out = testing::internal::GetCapturedStdout();
  setVSNDebugLevel(0);
  char expected[64];
  snprintf(expected, sizeof expected, "0: 0x%lx\n\n", static_cast<unsigned long>(reinterpret_cast<uintptr_t>(block)));
  EXPECT_EQ(out, expected);
  vsnArrayFree(ctx);
}

TEST(VsnFormat, KnowsOnlyFourConversions) {
  EXPECT_EQ(takeString(vsnFormat("plain text")), "plain text");
  EXPECT_EQ(takeString(vsnFormat("100%% of %d", 7)), "100% of 7");
  EXPECT_EQ(takeString(vsnFormat("%s: %d missing END statement(s)%c", "x", -2, '!')), "x: -2 missing END statement(s)!");
  // A width has no effect: the conversion stands as written and uses up its value.
  EXPECT_EQ(takeString(vsnFormat("[%5d] %s", 3, "next")), "[%5d] next");
  EXPECT_EQ(takeString(vsnFormat("%f then %s", 1, "s")), "%f then s");
  EXPECT_EQ(takeString(vsnFormat("%s and %s", nullptr, "b")), "(nul) and b");
  EXPECT_EQ(takeString(vsnFormat("ends with %")), "ends with %");
  EXPECT_EQ(takeString(vsnFormat("missing %s and %d")), "missing (nul) and 0");
  std::string big(100000, 'x');
  EXPECT_EQ(takeString(vsnFormat("near \"%s\"", big.c_str())), "near \"" + big + "\"");
}

TEST(VsnFormat, ErrorSlotKeepsTheLatestText) {
  vsnHandle* h = createVSNHandle();
  const char* first = setVSNErrorH(h, "error %d", 1);
  EXPECT_STREQ(first, "error 1");
  EXPECT_EQ(h->m_errorText, first);
  const char* second = setVSNErrorH(h, "%s went wrong", "this");
  EXPECT_STREQ(second, "this went wrong");
  EXPECT_EQ(h->m_errorText, second);
  destroyVSNHandle(h);
}

TEST(VsnText, TrimCollapseStrip) {
  char a[] = " \t  a   b \t c \r\n";
  EXPECT_STREQ(trimWhiteSpace(a), "a   b \t c");
  EXPECT_STREQ(collapseWhiteSpace(a), "a b c");
  char b[] = "\t\tx\n\ny  ";
  EXPECT_STREQ(collapseWhiteSpace(b), " x y ");
  char c[] = "Value = a\\#b # comment";
  EXPECT_STREQ(stripComment(c), "Value = a\\#b ");
  char d[] = "# whole line";
  EXPECT_STREQ(stripComment(d), "");
  char e[] = "no comment";
  EXPECT_STREQ(stripComment(e), "no comment");
  char f[] = "   ";
  EXPECT_STREQ(trimWhiteSpace(f), "");
}

TEST(VsnDebugLevel, ReadFromTheEnvironment) {
  EXPECT_EXIT(
      {
        setenv("VSN_DEBUG_LEVEL", "3", 1);
        int ok = initVSNDebugLevel() == 3 && getVSNDebugLevel() == 3;
        unsetenv("VSN_DEBUG_LEVEL");
        ok = ok && initVSNDebugLevel() == 0;
        exit(ok ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
  EXPECT_EQ(setVSNDebugLevel(5), 5);
  EXPECT_EQ(getVSNDebugLevel(), 5);
  setVSNDebugLevel(0);
}

// Each letter frees its own kind of item and takes only its own arguments (an unknown letter
// takes none): everything is given back but the blocks of a released context, which stay usable.
TEST(VsnItems, FreesEachKindInOrder) {
  const int64_t before = zyrtest::heapInUse();
  vsnArray* strings = vsnArrayNew(VSN_ARRAY_STRING);
  vsnArrayAddStringCopy(strings, "s");
  vsnArray* ctx = vsnArrayNew(VSN_ARRAY_POINTER);
  char* kept = vsnCtxStrdup(ctx, "kept");
  vsnHash* table = vsnHashNew(1);
  vsnHashInsert(table, "k", table);
  vsnEntry* tree = vsnEntryNew("T", "n", nullptr, VSN_KIND_OBJECT, 0);
  vsnEntry* child = vsnEntryNew("String", "p", "v", VSN_KIND_PARAM, 0);
  tree->m_firstChild = tree->m_lastChild = child;
  char** list = static_cast<char**>(malloc(2 * sizeof(char*)));
  list[0] = strdup("x");
  list[1] = strdup("y");
  char* block = strdup("block");
  freeVSNItems("CxchONs", strings, ctx, table, tree, 2, list, block);
  EXPECT_STREQ(kept, "kept");  // "c" released the context but not its blocks
  EXPECT_GT(zyrtest::heapInUse(), before);
  free(kept);
  EXPECT_EQ(zyrtest::heapInUse(), before);
}

TEST(VsnEntry, LabelsAndDeepTreesWithoutRecursion) {
  vsnEntry* e = vsnEntryNew("String", "Option", "a", VSN_KIND_PARAM, 0);
  EXPECT_STREQ(e->m_label, "Param:String");
  vsnEntryDelete(e);
  e = vsnEntryNew("FLOW", nullptr, nullptr, VSN_KIND_SINGLETON, 0);
  EXPECT_STREQ(e->m_label, "Singleton:FLOW");
  EXPECT_EQ(e->m_name, nullptr);
  EXPECT_EQ(vsnEntryNew("X", nullptr, nullptr, 4, 0), nullptr);
  // A chain 200000 deep, each with a sibling: freed without a deep call stack.
  vsnEntry* top = e;
  for (int i = 0; i < 200000; ++i) {
    vsnEntry* c = vsnEntryNew("D", "d", nullptr, VSN_KIND_OBJECT, 0);
    vsnEntry* s = vsnEntryNew("String", "p", "v", VSN_KIND_PARAM, 0);
    c->m_next = s;
    e->m_firstChild = c;
    e->m_lastChild = s;
    e = c;
  }
  freeVSNEntryTree(top);
}

} // namespace
