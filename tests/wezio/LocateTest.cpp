// Locating data sets in a data-set file: patterns, exact keys, wildcards, the when order,
// arrays too small, and duplicates resolved in favour of the data set written last.
#include "dataset_test_util.h"
#include "get_ds_location.h"
#include "io_file.h"
#include "io_header.h"
#include "io_index.h"
#include "iodata.h"
#include "wezio_test_util.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace wezio_test;

namespace {

TEST(PatternTest, StarsQuestionMarksClassesAndEscapes) {
  EXPECT_TRUE(match_wildcard("", "*"));
  EXPECT_TRUE(match_wildcard("anything", "*"));
  EXPECT_EQ(match_pattern("", "**"), 1);
  EXPECT_EQ(match_pattern("abc", "a*"), 1);
  EXPECT_EQ(match_pattern("abc", "a**c"), 1);
  EXPECT_EQ(match_pattern("abc", "*b*"), 1);
  EXPECT_EQ(match_pattern("abc", "a?c"), 1);
  EXPECT_EQ(match_pattern("ac", "a?c"), -1); // the text ran out
  EXPECT_EQ(match_pattern("abcd", "a?c"), 0);
  EXPECT_EQ(match_pattern("abc", "*d"), -1);
  EXPECT_EQ(match_pattern("abx", "*b"), -1);
  EXPECT_EQ(match_pattern("b7", "[a-c][0-9]"), 1);
  EXPECT_EQ(match_pattern("d7", "[a-c][0-9]"), 0);
  EXPECT_EQ(match_pattern("d", "[^a-c]"), 1);
  EXPECT_EQ(match_pattern("b", "[^a-c]"), 0);
  EXPECT_EQ(match_pattern("]", "[]a]"), 1);
  EXPECT_EQ(match_pattern("]", "[^]a]"), 0);
  EXPECT_EQ(match_pattern("-", "[-a]"), 1);
  EXPECT_EQ(match_pattern("-", "[a-]"), 1);
  EXPECT_EQ(match_pattern("b", "[a-]"), 0);
  EXPECT_EQ(match_pattern("a*", "a\\*"), 1);
  EXPECT_EQ(match_pattern("ab", "a\\*"), 0);
  EXPECT_EQ(match_pattern("a\\", "a\\"), 1); // a backslash ending the pattern is itself
  // A class the pattern leaves open matches nothing, and nothing is read past the pattern.
  EXPECT_EQ(match_pattern("a", "[a"), 0);
  EXPECT_EQ(match_pattern("a", "[a-"), 0);
  EXPECT_EQ(match_pattern("xa", "*[a"), -1);
  EXPECT_FALSE(match_wildcard("abc", "a?"));
  EXPECT_TRUE(match_wildcard("ZN12", "ZN*"));

  EXPECT_TRUE(is_wildcard("a*"));
  EXPECT_TRUE(is_wildcard("a]"));
  EXPECT_TRUE(is_wildcard("?"));
  EXPECT_FALSE(is_wildcard("a\\b"));
  EXPECT_FALSE(is_wildcard(""));

  char where[IO_INDEX_ENTRY_LEN];
  const std::string entry = "A" + std::string(1, kEscChar) + "B" + std::string(1, kEscChar) + "7" +
                            std::string(1, kEscChar) + "100";
  ASSERT_EQ(parsewhere(nullptr, entry.c_str(), where), IO_OK);
  EXPECT_EQ(std::string(where), "B" + std::string(1, kEscChar) + "7" + std::string(1, kEscChar));
  EXPECT_EQ(parsewhere(nullptr, "A", where), IO_DATA_ERR);
  EXPECT_EQ(parsewhere(nullptr, ("A" + std::string(1, kEscChar) + "B").c_str(), where),
            IO_DATA_ERR);
}

struct Found {
  std::string m_what, m_where;
  int32_t m_when;
  int64_t m_position, m_length;
  bool operator==(const Found &o) const {
    return m_what == o.m_what && m_where == o.m_where && m_when == o.m_when &&
           m_position == o.m_position && m_length == o.m_length;
  }
};

class LocateTest : public testing::Test {
protected:
  void SetUp() override {
    messages().clear();
    m_name = m_dir.file("data.wez");
    open("w");
  }
  void TearDown() override {
    if (iif_is_open(&m_file)) iif_close(&m_file);
  }
  void open(const char *access) {
    iif_clear_record(&m_file);
    m_file.m_callback = captureMessage;
    ASSERT_EQ(iif_open(&m_file, m_name.c_str(), access), IO_OK) << allMessages();
  }
  void reopen(const char *access) {
    iif_close(&m_file);
    open(access);
  }
  // Writes a data set holding one INTR value; its position.
  int64_t put(const std::string &what, const std::string &where, int when, int32_t value = 0) {
    Header h(what, where, when, "INTR", 1);
    Data d;
    d.intr({value});
    int64_t position = m_file.m_indexlocation;
    EXPECT_EQ(writeOne(&m_file, "u", h.get(), d.get()), IO_OK) << allMessages();
    return position;
  }
  int locate(const std::string &what, const std::string &where, int when,
             std::vector<Found> *found) {
    Header query(what, where, when);
    Data data;
    found->clear();
    int status = locate_dataset(captureMessage, query.get(), data.get(), &m_file);
    if (status == IO_MEMORY_ERR) {
      EXPECT_EQ(iodata_alloc_arrays(nullptr, data.get()), IO_OK);
      status = locate_dataset(captureMessage, query.get(), data.get(), &m_file);
    }
    if (status != IO_OK) return status;
    IO_data *d = data.get();
    EXPECT_EQ(*d->m_numoffset, 2 * *d->m_numintr);
    EXPECT_EQ(*d->m_numstring, 2 * *d->m_numintr);
    for (int32_t k = 0; k < *d->m_numintr; ++k)
      found->push_back({d->m_stringarray[2 * k], d->m_stringarray[2 * k + 1], d->m_intrarray[k],
                        d->m_offsetarray[2 * k], d->m_offsetarray[2 * k + 1]});
    return status;
  }
  std::vector<std::string> keys(const std::vector<Found> &found) {
    std::vector<std::string> list;
    for (const Found &f : found)
      list.push_back(f.m_what + ":" + f.m_where + ":" + std::to_string(f.m_when));
    return list;
  }
  int32_t readValue(int64_t position) {
    Header h;
    Data d;
    EXPECT_EQ(readAt(&m_file, position, h.get(), d.get()), IO_OK) << allMessages();
    return d.get()->m_intrarray ? d.get()->m_intrarray[0] : -1;
  }
  std::string tagAt(int64_t position) { return readFile(m_name).substr(position, 3); }
  std::string statusAt(int64_t position) {
    for (const Entry &e : entries(&m_file))
      if (e.m_position == position) return e.m_status;
    return "";
  }

  ScratchDir m_dir;
  std::string m_name;
  IO_file m_file;
};

TEST_F(LocateTest, ExactKeysEndAtTheirSeparators) {
  put("A", "B", 1);
  put("AB", "B", 1);
  put("A", "BC", 1);
  put("A", "B", 10);
  std::vector<Found> found;
  ASSERT_EQ(locate("A", "B", 1, &found), IO_OK);
  EXPECT_EQ(keys(found), std::vector<std::string>{"A:B:1"});
  EXPECT_EQ(found[0].m_position, 36);
  ASSERT_EQ(locate("A", "B", 10, &found), IO_OK);
  EXPECT_EQ(keys(found), std::vector<std::string>{"A:B:10"});
  EXPECT_EQ(locate("A", "B", 0, &found), IO_NO_MATCH);
  EXPECT_EQ(locate("", "B", 1, &found), IO_NO_MATCH);
  ASSERT_EQ(locate("A", "B", -1, &found), IO_OK);
  EXPECT_EQ(keys(found), (std::vector<std::string>{"A:B:10", "A:B:1"}));
  EXPECT_EQ(messages().size(), 0u) << allMessages();
}

TEST_F(LocateTest, AnyWhenListsTheHighestFirstNumerically) {
  for (int when : {2, 10, 9, 1, 100, 0}) put("V", "OBJ", when, when * 3);
  put("W", "OBJ", 50);
  std::vector<Found> found;
  ASSERT_EQ(locate("V", "OBJ", -1, &found), IO_OK);
  EXPECT_EQ(keys(found), (std::vector<std::string>{"V:OBJ:100", "V:OBJ:10", "V:OBJ:9", "V:OBJ:2",
                                                   "V:OBJ:1", "V:OBJ:0"}));
  for (const Found &f : found) EXPECT_EQ(readValue(f.m_position), f.m_when * 3);
  // Ties of when go by the what compared from its third character.
  put("xxB", "OBJ", 5);
  put("yyA", "OBJ", 5);
  ASSERT_EQ(locate("*", "OBJ", -1, &found), IO_OK);
  ASSERT_EQ(found.size(), 9u);
  EXPECT_EQ(keys(found)[0], "V:OBJ:100");
  EXPECT_EQ(keys(found)[1], "W:OBJ:50");
  EXPECT_EQ(keys(found)[4], "yyA:OBJ:5");
  EXPECT_EQ(keys(found)[5], "xxB:OBJ:5");
}

TEST_F(LocateTest, WildcardsInWhatWhereOrBoth) {
  put("ZN1", "EVERY", 0);
  put("ZN12", "EVERY", 0);
  put("ZN2", "OTHER", 0);
  put("ZIF1", "EVERY", 3);
  put("X", "ZN1", 0);
  put("X", "ZN2", 4);
  std::vector<Found> found;
  ASSERT_EQ(locate("ZN*", "EVERY", 0, &found), IO_OK);
  EXPECT_EQ(keys(found).size(), 2u);
  ASSERT_EQ(locate("Z?1", "EVERY", -1, &found), IO_OK);
  EXPECT_EQ(keys(found), std::vector<std::string>{"ZN1:EVERY:0"});
  ASSERT_EQ(locate("X", "ZN*", -1, &found), IO_OK);
  EXPECT_EQ(keys(found), (std::vector<std::string>{"X:ZN2:4", "X:ZN1:0"}));
  ASSERT_EQ(locate("X", "ZN[13]", 0, &found), IO_OK);
  EXPECT_EQ(keys(found), std::vector<std::string>{"X:ZN1:0"});
  ASSERT_EQ(locate("Z*", "*", -1, &found), IO_OK);
  EXPECT_EQ(keys(found).size(), 4u);
  EXPECT_EQ(keys(found)[0], "ZIF1:EVERY:3");
  ASSERT_EQ(locate("*", "*", 0, &found), IO_OK);
  EXPECT_EQ(keys(found).size(), 4u);
  EXPECT_EQ(locate("Q*", "*", -1, &found), IO_NO_MATCH);
  // Data sets written after a where search are found by the next one.
  put("ZN3", "EVERY", 0);
  ASSERT_EQ(locate("ZN*", "EVERY", 0, &found), IO_OK);
  EXPECT_EQ(keys(found).size(), 3u);
  EXPECT_EQ(messages().size(), 0u) << allMessages();
}

TEST_F(LocateTest, ArraysTooSmallGiveTheSizesNeededAndAnEmptyTableNoMatch) {
  Header query("*", "EVERY", -1);
  Data data;
  IO_data *d = data.get();
  *d->m_numoffset = *d->m_numintr = *d->m_numstring = 5;
  EXPECT_EQ(locate_dataset(captureMessage, query.get(), d, &m_file), IO_NO_MATCH);
  EXPECT_EQ(*d->m_numoffset, 0);
  EXPECT_EQ(*d->m_numintr, 0);
  EXPECT_EQ(*d->m_numstring, 0);
  for (int i = 0; i < 3; ++i) put("S" + std::to_string(i), "EVERY", i);
  *d->m_numoffset = 6;
  *d->m_numintr = 3;
  *d->m_numstring = 5;
  iodata_alloc_arrays(nullptr, d);
  EXPECT_EQ(locate_dataset(captureMessage, query.get(), d, &m_file), IO_MEMORY_ERR);
  EXPECT_EQ(*d->m_numoffset, 6);
  EXPECT_EQ(*d->m_numintr, 3);
  EXPECT_EQ(*d->m_numstring, 6);
  iodata_alloc_arrays(nullptr, d);
  ASSERT_EQ(locate_dataset(captureMessage, query.get(), d, &m_file), IO_OK);
  EXPECT_EQ(d->m_intrarray[0], 2);
  EXPECT_STREQ(d->m_stringarray[0], "S2");
  EXPECT_STREQ(d->m_stringarray[1], "EVERY");
  EXPECT_EQ(messages().size(), 0u) << allMessages(); // 14 and 17 are silent
  // No count references at all: the arrays are too small, whatever the table holds.
  IO_data bare;
  memset(&bare, 0, sizeof bare);
  EXPECT_EQ(locate_dataset(captureMessage, query.get(), &bare, &m_file), IO_MEMORY_ERR);
}

TEST_F(LocateTest, TheLaterOfTwoWritesWinsAndTheEarlierIsDeletedInAWritableFile) {
  int64_t first = put("A", "B", 3, 1);
  int64_t second = put("A", "B", 3, 2);
  EXPECT_EQ(statusAt(first), "Y");
  EXPECT_EQ(statusAt(second), "Y");
  std::vector<Found> found;
  ASSERT_EQ(locate("A", "B", 3, &found), IO_OK);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].m_position, second);
  EXPECT_EQ(readValue(second), 2);
  EXPECT_EQ(statusAt(first), "N");
  EXPECT_EQ(statusAt(second), "Y");
  EXPECT_EQ(tagAt(first), std::string("Du\n"));
  EXPECT_EQ(tagAt(second), std::string("u\0\n", 3));
  // The resolution is stored with the index, and the file reads the same after reopening.
  reopen("r");
  EXPECT_EQ(entries(&m_file).size(), 2u);
  EXPECT_EQ(statusAt(first), "N");
  ASSERT_EQ(locate("A", "B", -1, &found), IO_OK);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].m_position, second);
}

TEST_F(LocateTest, AReadOnlyFileResolvesDuplicatesInMemoryOnly) {
  int64_t first = put("A", "B", 0, 1);
  int64_t second = put("A", "B", 0, 2);
  put("C", "B", 0);
  // A stored index that still lists both as valid (as a crash before the index is rewritten
  // would leave): the file is not touched by a reader.
  reopen("r");
  const std::string before = readFile(m_name);
  std::vector<Found> found;
  ASSERT_EQ(locate("*", "B", 0, &found), IO_OK);
  // Where order compares the position texts: 164, 292, 36; the search probes the middle first.
  EXPECT_EQ(keys(found), (std::vector<std::string>{"C:B:0", "A:B:0"}));
  EXPECT_EQ(found[1].m_position, second);
  EXPECT_EQ(statusAt(first), "N");
  EXPECT_EQ(readFile(m_name), before);
}

TEST_F(LocateTest, UpdateIndexResolvesEveryKeyWithoutTouchingTheFile) {
  for (int round = 0; round < 3; ++round) {
    put("A", "B", 1, round);
    put("A", "B", 2, round);
    put("A", "C", 1, round);
  }
  const std::string before = readFile(m_name);
  ASSERT_EQ(update_index(captureMessage, &m_file), IO_OK);
  int valid = 0;
  for (const Entry &e : entries(&m_file)) {
    if (e.m_status == "Y") {
      ++valid;
      EXPECT_EQ(readValue(e.m_position), 2);
    }
  }
  EXPECT_EQ(valid, 3);
  fflush(m_file.m_stream);
  EXPECT_EQ(readFile(m_name), before);
}

TEST_F(LocateTest, SearchModesListTheRunInBinarySearchOrder) {
  // Seven data sets of one what: a binary search over the sorted table first probes the middle
  // of the whole table, so the run comes from there downwards, then upwards.
  for (int i = 0; i < 7; ++i) put("K", "W" + std::to_string(i), 0);
  put("A", "W", 0);
  put("Z", "W", 0);
  Header query("K", "*", -1);
  IO_match matches[16];
  int32_t count = 0;
  ASSERT_EQ(get_ds_location(captureMessage, IO_SORT_WHAT, query.get(), &m_file, &count, matches),
            IO_OK);
  ASSERT_EQ(count, 7);
  // Ranks 0 A, 1-7 K/W0..W6, 8 Z: the first probe is rank 4 (K/W3).
  std::vector<std::string> wheres;
  for (int i = 0; i < count; ++i) wheres.push_back(matches[i].m_where);
  EXPECT_EQ(wheres, (std::vector<std::string>{"W3", "W2", "W1", "W0", "W4", "W5", "W6"}));
  EXPECT_EQ(get_ds_location(captureMessage, 99, query.get(), &m_file, &count, matches),
            IO_MEMORY_ERR);
  EXPECT_EQ(get_ds_location(captureMessage, IO_SORT_WHAT, query.get(), &m_file, nullptr, matches),
            IO_MEMORY_ERR);
  Header wild("K*", "W", -1);
  messages().clear();
  ASSERT_EQ(get_ds_location(captureMessage, IO_SORT_WHAT, wild.get(), &m_file, &count, matches),
            IO_OK);
  EXPECT_EQ(allMessages(), "INST: get_ds_sortwhat_location with IO_SORT_WHAT when WHAT is a "
                           "wildcard in get_ds_location\n");
}

} // namespace
