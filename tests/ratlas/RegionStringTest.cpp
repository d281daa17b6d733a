#include "RegionMemory.h"
#include "RegionString.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(RegionString, AppendBuildsTheText) {
  String* s = nullptr;
  ASSERT_FALSE(RegionStatus_isError(String_new(&s, "a")));
  EXPECT_FALSE(RegionStatus_isError(String_append(s, "b")));
  EXPECT_STREQ(String_value(s), "ab");
  EXPECT_FALSE(RegionStatus_isError(String_append(s, "")));
  EXPECT_EQ(String_length(s), 2u);
  std::string expected = "ab";
  for (int i = 0; i < 1000; ++i) {
    std::string piece = "piece " + std::to_string(i) + "\n";
    ASSERT_FALSE(RegionStatus_isError(String_append(s, piece.c_str())));
    expected += piece;
  }
  EXPECT_EQ(expected, String_value(s));
  EXPECT_EQ(String_length(s), expected.size());
  String_delete(s, 1);

  String* empty = nullptr;
  String_new(&empty, nullptr);
  EXPECT_EQ(String_value(empty), nullptr);
  EXPECT_EQ(String_length(empty), 0u);
  String_append(empty, "first");
  EXPECT_STREQ(String_value(empty), "first");
  // The caller may keep the text.
  char* kept = empty->m_text;
  String_delete(empty, 0);
  EXPECT_STREQ(kept, "first");
  RegionMemory_release(kept);
}

TEST(RegionString, Refusals) {
  RegionStatus* st = String_new(nullptr, "x");
  EXPECT_EQ(RegionStatus_getCode(st), 8u);
  EXPECT_STREQ(st->m_text, "Cannot return the created String.");
  st = String_append(nullptr, "x");
  EXPECT_EQ(RegionStatus_getCode(st), 100010u);
  EXPECT_STREQ(st->m_text, "Invalid string.");
  String* s = nullptr;
  String_new(&s, "x");
  st = String_append(s, nullptr);
  EXPECT_EQ(RegionStatus_getCode(st), 3u);
  EXPECT_STREQ(st->m_text, "Invalid string.");
  RegionMemory_failAfter(0, 1);
  st = String_append(s, "more");
  EXPECT_STREQ(st->m_text, "Unable to allocate memory for new string.");
  EXPECT_STREQ(String_value(s), "x");

  char* copy = nullptr;
  EXPECT_STREQ(String_copyValue(s, nullptr)->m_text, "Cannot return String value.");
  EXPECT_EQ(RegionStatus_getCode(String_copyValue(nullptr, &copy)), 100010u);
  EXPECT_FALSE(RegionStatus_isError(String_copyValue(s, &copy)));
  EXPECT_STREQ(copy, "x");
  EXPECT_NE(copy, s->m_text);
  RegionMemory_release(copy);
  EXPECT_EQ(RegionStatus_getCode(String_delete(nullptr, 1)), 100010u);
  String_delete(s, 1);
}

TEST(RegionString, Comparisons) {
  String *a = nullptr, *b = nullptr, *c = nullptr, *d = nullptr;
  String_new(&a, nullptr);
  String_new(&b, nullptr);
  String_new(&c, "t");
  String_new(&d, "t");
  EXPECT_EQ(String_equals(a, b), 1);
  EXPECT_EQ(String_equals(a, c), 0);
  EXPECT_EQ(String_equals(c, d), 1);
  EXPECT_EQ(String_equals(c, nullptr), 0);
  EXPECT_EQ(String_equalsText(c, "t"), 1);
  EXPECT_EQ(String_equalsText(a, "t"), 0);
  EXPECT_EQ(String_equalsText(c, nullptr), 0);
  for (String* s : {a, b, c, d}) String_delete(s, 1);

  EXPECT_EQ(String_hasKeyPrefix("REGION", "REGION:x"), 1);
  EXPECT_EQ(String_hasKeyPrefix("REGION", "REGION:"), 1);
  EXPECT_EQ(String_hasKeyPrefix("REGION", "REGION"), 0);
  EXPECT_EQ(String_hasKeyPrefix("REGION", "REGION MAP:x"), 0);
  EXPECT_EQ(String_hasKeyPrefix("REGION", "region:x"), 0);
  EXPECT_EQ(String_hasKeyPrefix(nullptr, "x"), 0);
}

TEST(RegionString, ArraysAreReleased) {
  char** array = static_cast<char**>(RegionMemory_alloc(2 * sizeof(char*)));
  array[0] = RegionMemory_strdup("a");
  array[1] = RegionMemory_strdup("b");
  EXPECT_FALSE(RegionStatus_isError(StringArray_delete(&array, 2)));
  EXPECT_EQ(array, nullptr);
  RegionStatus* s = StringArray_delete(&array, 2);
  EXPECT_EQ(RegionStatus_getCode(s), 8u);
  EXPECT_STREQ(s->m_text, "Invalid object pointer - cannot destroy array.");
  EXPECT_EQ(RegionStatus_getCode(StringArray_delete(nullptr, 0)), 8u);

  void* block = RegionMemory_alloc(8);
  EXPECT_FALSE(RegionStatus_isError(RegionArray_delete(&block)));
  EXPECT_EQ(block, nullptr);
  EXPECT_EQ(RegionStatus_getCode(RegionArray_delete(&block)), 8u);
  RegionArray_free(&block);
  RegionArray_free(nullptr);
  block = RegionMemory_alloc(8);
  RegionArray_free(&block);
  EXPECT_EQ(block, nullptr);
  RegionMemory_release(nullptr);
}

} // namespace
