#include "RegionMemory.h"
#include "RegionStatus.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::string printed(const RegionStatus* status) {
  FILE* f = tmpfile();
  RegionStatus_print(status, f);
  std::string out(256, '\0');
  rewind(f);
  out.resize(fread(&out[0], 1, out.size(), f));
  fclose(f);
  return out;
}

std::vector<std::string> details(const RegionStatus* status, int* result = nullptr) {
  char** lines = nullptr;
  uint64_t count = 99;
  int r = RegionStatus_getDetails(status, &lines, &count);
  if (result) *result = r;
  std::vector<std::string> out;
  for (uint64_t i = 0; i < count; ++i) {
    out.emplace_back(lines[i]);
    free(lines[i]);
  }
  free(lines);
  return out;
}

TEST(RegionStatus, TableTextsIncludingTheRowStoredOutOfOrder) {
  RegionStatus* s = RegionStatus_fail(800006, "x");
  EXPECT_STREQ(RegionStatus_getText(s), "Map defines a region already in the atlas");
  s = RegionStatus_fail(123, "x");
  EXPECT_STREQ(RegionStatus_getText(s), "Unknown Error.");
  EXPECT_STREQ(RegionStatus_textOfCode(0), "No Error");
  EXPECT_STREQ(RegionStatus_textOfCode(900002), "End of list");
  EXPECT_STREQ(RegionStatus_textOfCode(600000), "Explicit primitive name cannot be defined");
  EXPECT_STREQ(RegionStatus_textOfCode(200002), "Unknown Error.");
  EXPECT_STREQ(RegionStatus_textOfCode(800005), "Component is not a referenced by the Region");
  EXPECT_STREQ(RegionStatus_getText(nullptr), "No Error");
  EXPECT_STREQ(RegionStatus_typeName(), "Error");
}

TEST(RegionStatus, SuccessAndErrorRecords) {
  RegionStatus* ok = nullptr;
  EXPECT_EQ(RegionStatus_set(&ok, 0, 7, "ignored"), 1);
  ASSERT_NE(ok, nullptr);
  EXPECT_EQ(RegionStatus_getCode(ok), 0u);
  EXPECT_STREQ(ok->m_text, "No Error.");
  EXPECT_EQ(RegionStatus_isError(ok), 0);
  EXPECT_EQ(RegionStatus_isError(nullptr), 0);
  EXPECT_EQ(RegionStatus_getCode(nullptr), 0u);

  RegionStatus* e = nullptr;
  EXPECT_EQ(RegionStatus_set(&e, 1, 2, "boom"), 1);
  EXPECT_EQ(e->m_flags, REGION_STATUS_ERROR | REGION_STATUS_INTERNAL);
  EXPECT_EQ(RegionStatus_isInternal(e), 1);
  RegionStatus* e2 = nullptr;
  RegionStatus_set(&e2, 1, 400002, "second");
  EXPECT_EQ(e2, e);  // one process-wide error record
  EXPECT_EQ(e->m_flags, REGION_STATUS_ERROR);
  // A kept pointer shows the later failure.
  EXPECT_EQ(RegionStatus_getCode(e), 400002u);
  EXPECT_STREQ(e->m_text, "second");
  EXPECT_NE(ok, e);
  EXPECT_STREQ(ok->m_text, "No Error.");

  RegionStatus_set(&e, 1, 5, nullptr);
  EXPECT_EQ(e->m_text, nullptr);
  // Setting the error from its own text is safe.
  RegionStatus_set(&e, 1, 5, "own");
  RegionStatus_set(&e, 1, 6, e->m_text);
  EXPECT_STREQ(e->m_text, "own");

  EXPECT_STREQ(RegionStatus_outOfMemory("Region Map")->m_text, "Unable to allocate memory for new Region Map.");
  EXPECT_EQ(RegionStatus_getCode(RegionStatus_outOfMemory("x")), 7u);

  // A failed message copy keeps the new code and flags, with no text.
  RegionMemory_failAfter(0, 1);
  EXPECT_EQ(RegionStatus_set(&e, 1, 2, "lost"), 0);
  EXPECT_EQ(e->m_code, 2u);
  EXPECT_EQ(e->m_text, nullptr);
  EXPECT_EQ(e->m_flags, REGION_STATUS_ERROR | REGION_STATUS_INTERNAL);
}

TEST(RegionStatus, DetailLinesJoinWithFullStops) {
  RegionStatus* s = RegionStatus_fail(1, "a");
  EXPECT_EQ(RegionStatus_appendDetail(s, "b"), 1);
  EXPECT_STREQ(s->m_text, "a.\nb");
  s = RegionStatus_fail(1, "a.");
  EXPECT_EQ(RegionStatus_appendDetail(s, "b"), 1);
  EXPECT_STREQ(s->m_text, "a.\nb");
  s = RegionStatus_fail(1, nullptr);
  EXPECT_EQ(RegionStatus_appendDetail(s, "only"), 1);
  EXPECT_STREQ(s->m_text, "only");
  EXPECT_EQ(RegionStatus_appendDetail(s, ""), 0);
  EXPECT_EQ(RegionStatus_appendDetail(s, nullptr), 0);
  EXPECT_EQ(RegionStatus_appendDetail(RegionStatus_success(), "x"), 0);
  EXPECT_STREQ(RegionStatus_success()->m_text, "No Error.");
  // Appending the text to itself.
  s = RegionStatus_fail(1, "self");
  EXPECT_EQ(RegionStatus_appendDetail(s, s->m_text), 1);
  EXPECT_STREQ(s->m_text, "self.\nself");
}

TEST(RegionStatus, DetailsSplitIntoLines) {
  EXPECT_EQ(details(RegionStatus_fail(1, "x.\ny")), (std::vector<std::string>{"x.\n", "y.\n"}));
  EXPECT_EQ(details(RegionStatus_fail(1, "a.")), (std::vector<std::string>{"a..\n"}));
  EXPECT_EQ(details(RegionStatus_fail(1, "a\n\nb\n")), (std::vector<std::string>{"a\n", "\n", "b\n"}));
  int result = 1;
  EXPECT_TRUE(details(RegionStatus_fail(1, nullptr), &result).empty());
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(details(RegionStatus_fail(1, ""), &result).empty());
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(details(nullptr, &result).empty());
  EXPECT_EQ(result, 0);
  // Running out of memory on the second line frees the first and clears the outputs.
  RegionStatus* s = RegionStatus_fail(1, "one\ntwo\nthree");
  RegionMemory_failAfter(2, 1);
  EXPECT_TRUE(details(s, &result).empty());
  EXPECT_EQ(result, 0);
  EXPECT_EQ(details(s).size(), 3u);
}

TEST(RegionStatus, PrintAddsAFullStopOnlyWhenMissing) {
  EXPECT_EQ(printed(RegionStatus_fail(1, "a")), "a.\n");
  EXPECT_EQ(printed(RegionStatus_fail(1, "a.")), "a.\n");
  EXPECT_EQ(printed(RegionStatus_success()), "No Error.\n");
  EXPECT_EQ(printed(RegionStatus_fail(800000, nullptr)), "Region could not be found.\n");
}

TEST(RegionStatus, SavesComeBackInReverseOrder) {
  const int32_t depth = RegionStatus_savedCount();
  for (int i = 0; i < 11; ++i) {
    std::string text = "failure " + std::to_string(i);
    ASSERT_EQ(RegionStatus_save(RegionStatus_fail(100000 + uint32_t(i), text.c_str())), 1);
  }
  EXPECT_EQ(RegionStatus_savedCount(), depth + 11);
  RegionStatus_fail(1, "latest");
  for (int i = 10; i >= 0; --i) {
    RegionStatus* s = RegionStatus_restore();
    ASSERT_EQ(RegionStatus_isError(s), 1);
    EXPECT_EQ(RegionStatus_getCode(s), 100000 + uint32_t(i));
    EXPECT_EQ(std::string(s->m_text), "failure " + std::to_string(i));
  }
  EXPECT_EQ(RegionStatus_savedCount(), depth);
}

TEST(RegionStatus, RestoringASuccessLeavesTheErrorAlone) {
  ASSERT_EQ(RegionStatus_save(RegionStatus_success()), 1);
  RegionStatus* e = RegionStatus_fail(3, "present");
  RegionStatus* r = RegionStatus_restore();
  EXPECT_EQ(RegionStatus_isError(r), 0);
  EXPECT_EQ(RegionStatus_getCode(e), 3u);
  EXPECT_STREQ(e->m_text, "present");
  // An empty stack restores success.
  while (RegionStatus_savedCount() > 0) RegionStatus_restore();
  EXPECT_EQ(RegionStatus_isError(RegionStatus_restore()), 0);
}

TEST(RegionStatus, AStatusWithoutTextIsSavedToo) {
  ASSERT_EQ(RegionStatus_save(RegionStatus_fail(4, "older")), 1);
  ASSERT_EQ(RegionStatus_save(RegionStatus_fail(800000, nullptr)), 1);
  RegionStatus* r = RegionStatus_restore();
  EXPECT_EQ(RegionStatus_getCode(r), 800000u);
  EXPECT_EQ(r->m_text, nullptr);
  r = RegionStatus_restore();
  EXPECT_EQ(RegionStatus_getCode(r), 4u);
  EXPECT_STREQ(r->m_text, "older");
}

TEST(RegionStatus, AFailedSaveLeavesTheStackAsItWas) {
  const int32_t depth = RegionStatus_savedCount();
  RegionStatus* s = RegionStatus_fail(1, "x");
  RegionMemory_failAfter(0, 1);  // the copy
  EXPECT_EQ(RegionStatus_save(s), 0);
  RegionMemory_failAfter(1, 1);  // its text
  EXPECT_EQ(RegionStatus_save(s), 0);
  EXPECT_EQ(RegionStatus_savedCount(), depth);
}

TEST(RegionStatus, FreeSparesTheProcessRecords) {
  RegionStatus_free(RegionStatus_success());
  RegionStatus_free(RegionStatus_fail(1, "kept"));
  RegionStatus_free(nullptr);
  EXPECT_STREQ(RegionStatus_success()->m_text, "No Error.");
  EXPECT_STREQ(RegionStatus_fail(1, "again")->m_text, "again");
}

} // namespace
