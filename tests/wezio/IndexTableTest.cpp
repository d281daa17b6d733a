// The index table: its what order against a full sort, table order, entry parsing, and the
// stored index taken only when whole and consistent.
#include "dataset_test_util.h"
#include "io_alloc.h"
#include "io_file.h"
#include "io_format.h"
#include "io_index.h"
#include "io_located.h"
#include "io_order.h"
#include "lowlevel_io.h"
#include "wezio_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

using namespace wezio_test;

namespace {

const std::string E(1, kEscChar);

class IndexTableTest : public testing::Test {
protected:
  void SetUp() override {
    messages().clear();
    iif_clear_record(&m_file);
    m_file.m_callback = captureMessage;
  }
  void TearDown() override {
    io_alloc_fail(-1, 0);
    if (iif_is_open(&m_file)) iif_close(&m_file);
    indextable_free(m_file.m_indextable);
    m_file.m_indextable = nullptr;
  }
  // Slots in what order as a full sort gives them (texts from the third character, ties by slot).
  std::vector<int32_t> sortedSlots() {
    std::vector<int32_t> slots(indextable_count(m_file.m_indextable));
    for (size_t i = 0; i < slots.size(); ++i) slots[i] = static_cast<int32_t>(i);
    std::sort(slots.begin(), slots.end(), [this](int32_t a, int32_t b) {
      int c = strcmp(indextable_what_key(indextable_entry(m_file.m_indextable, a)),
                     indextable_what_key(indextable_entry(m_file.m_indextable, b)));
      return c != 0 ? c < 0 : a < b;
    });
    return slots;
  }
  std::vector<int32_t> tableOrder() {
    std::vector<int32_t> slots;
    IO_index_cursor cursor;
    indextable_begin(m_file.m_indextable, &cursor);
    for (int32_t s; (s = indextable_next(m_file.m_indextable, &cursor)) >= 0;) slots.push_back(s);
    return slots;
  }
  IO_file m_file;
};

TEST_F(IndexTableTest, WhatOrderIsTheOrderOfAFullSortWhileEntriesArrive) {
  std::mt19937 random(7);
  auto word = [&random](int letters) {
    std::string w;
    int n = 1 + static_cast<int>(random() % letters);
    for (int i = 0; i < n; ++i) w += static_cast<char>('A' + random() % 3);
    return w;
  };
  for (int i = 0; i < 5000; ++i) {
    std::string entry =
        entryText(word(4), word(2), static_cast<int>(random() % 12), 100 + i, 36 + i);
    ASSERT_EQ(insert_index(captureMessage, &m_file, entry.c_str()), IO_OK);
    if (i % 997 == 0 || i == 4999) {
      std::vector<int32_t> expected = sortedSlots();
      const IO_order &order = m_file.m_indextable->m_whatorder;
      ASSERT_EQ(order.m_total, static_cast<int32_t>(expected.size()));
      IO_order_cursor cursor;
      ioorder_seek(&order, 0, &cursor);
      for (size_t r = 0; r < expected.size(); ++r, ioorder_next(&order, &cursor)) {
        ASSERT_EQ(ioorder_entry(&order, &cursor), expected[r]) << r;
        ASSERT_EQ(ioorder_at(&order, static_cast<int32_t>(r)), expected[r]) << r;
      }
    }
  }
  // The run of any key prefix is the run a linear scan finds.
  std::vector<int32_t> sorted = sortedSlots();
  for (int k = 0; k < 300; ++k) {
    std::string key = word(4) + (k % 2 ? E : "") + (k % 3 == 0 ? word(2) + E : "");
    int32_t first, end;
    indextable_what_bounds(m_file.m_indextable, key.data(), key.size(), &first, &end);
    int32_t a = -1, z = -1;
    for (int32_t r = 0; r < static_cast<int32_t>(sorted.size()); ++r) {
      const char *text = indextable_what_key(indextable_entry(m_file.m_indextable, sorted[r]));
      if (strncmp(text, key.data(), key.size()) == 0) {
        if (a < 0) a = r;
        z = r + 1;
      }
    }
    if (a < 0) {
      EXPECT_EQ(first, end) << key;
    } else {
      EXPECT_EQ(first, a) << key;
      EXPECT_EQ(end, z) << key;
    }
  }
}

TEST_F(IndexTableTest, KeysEndingInTheSeparatorDoNotMatchLongerFields) {
  for (const std::string &entry : {entryText("AB", "X", 1, 5, 100), entryText("A", "X", 10, 5, 200),
                                   entryText("A", "X", 1, 5, 300), entryText("A", "XY", 1, 5, 400)})
    ASSERT_EQ(insert_index(captureMessage, &m_file, entry.c_str()), IO_OK);
  int32_t first, end;
  std::string what = "A" + E;
  indextable_what_bounds(m_file.m_indextable, what.data(), what.size(), &first, &end);
  EXPECT_EQ(end - first, 3); // "AB" sorts after every "A" entry
  std::string exact = "A" + E + "X" + E + "1" + E;
  indextable_what_bounds(m_file.m_indextable, exact.data(), exact.size(), &first, &end);
  ASSERT_EQ(end - first, 1);
  EXPECT_EQ(ioorder_at(&m_file.m_indextable->m_whatorder, first), 2);
}

TEST_F(IndexTableTest, TableOrderIsSortedEntriesThenThoseAddedSince) {
  const char *whats[] = {"E", "C", "A", "D", "B"};
  int position = 36;
  for (const char *w : whats)
    ASSERT_EQ(insert_index(captureMessage, &m_file, entryText(w, "x", 0, 1, position++).c_str()),
              IO_OK);
  EXPECT_EQ(tableOrder(), (std::vector<int32_t>{0, 1, 2, 3, 4}));
  indextable_sort(m_file.m_indextable);
  EXPECT_EQ(m_file.m_indextable->m_sorted, -1);
  EXPECT_EQ(tableOrder(), (std::vector<int32_t>{2, 4, 1, 3, 0}));
  ASSERT_EQ(insert_index(captureMessage, &m_file, entryText("Z", "x", 0, 1, position++).c_str()),
            IO_OK);
  ASSERT_EQ(insert_index(captureMessage, &m_file, entryText("0", "x", 0, 1, position++).c_str()),
            IO_OK);
  EXPECT_EQ(m_file.m_indextable->m_sorted, 0);
  EXPECT_EQ(tableOrder(), (std::vector<int32_t>{2, 4, 1, 3, 0, 5, 6}));
  // Appending in what order keeps the table sorted.
  indextable_sort(m_file.m_indextable);
  ASSERT_EQ(insert_index_unsorted(captureMessage, &m_file,
                                  entryText("ZZ", "x", 0, 1, position++).c_str()),
            IO_OK);
  EXPECT_EQ(m_file.m_indextable->m_sorted, -1);
  EXPECT_EQ(tableOrder(), (std::vector<int32_t>{6, 2, 4, 1, 3, 0, 5, 7}));

  // The index data set lists them in table order.
  ScratchStream file;
  m_file.m_stream = file.m_stream;
  m_file.m_offsetwidth = 20;
  ASSERT_EQ(write_index(captureMessage, &m_file, 8, m_file.m_indextable), IO_OK) << allMessages();
  m_file.m_stream = nullptr;
  std::vector<std::string> lines;
  for (int32_t slot : tableOrder()) lines.push_back(indextable_entry(m_file.m_indextable, slot));
  EXPECT_EQ(file.bytes(), indexFrame(lines, 0));
}

TEST_F(IndexTableTest, TableGrowsPastItsFirstRoomAndSurvivesMemoryFailures) {
  for (int i = 0; i < 25000; ++i)
    ASSERT_EQ(insert_index(captureMessage, &m_file,
                           entryText("w" + std::to_string(i % 977), "x", i, 1, i).c_str()),
              IO_OK);
  EXPECT_EQ(indextable_count(m_file.m_indextable), 25000);
  // Growing fails: the table stays as it was.
  int32_t before = indextable_count(m_file.m_indextable);
  bool refused = false;
  for (int i = 0; i < 5000 && !refused; ++i) {
    io_alloc_fail(0, 1);
    refused = insert_index(captureMessage, &m_file, entryText("q", "x", i, 1, i).c_str()) != IO_OK;
    io_alloc_fail(-1, 0);
    if (!refused) ++before;
  }
  EXPECT_TRUE(refused);
  EXPECT_EQ(indextable_count(m_file.m_indextable), before);
  EXPECT_EQ(m_file.m_indextable->m_whatorder.m_total, before);
  std::vector<int32_t> expected = sortedSlots();
  for (size_t r = 0; r < expected.size(); r += 101)
    ASSERT_EQ(ioorder_at(&m_file.m_indextable->m_whatorder, static_cast<int32_t>(r)), expected[r]);
  // Texts that are not entries.
  EXPECT_EQ(insert_index(captureMessage, &m_file, std::string(256, 'Y').c_str()), IO_MEMORY_ERR);
  EXPECT_EQ(insert_index(captureMessage, &m_file, "Y\nA"), IO_MEMORY_ERR);
}

TEST_F(IndexTableTest, ParseIndexNamesTheMissingField) {
  struct Case {
    std::string m_text, m_message;
  };
  const std::vector<Case> cases = {
      {"", "parseindex: bad index: missing status code\n"},
      {"Y", "parseindex: bad index: missing what\n"},
      {"Y" + E + "A", "parseindex: bad index: missing where in dataset A:?:?\n"},
      {"Y" + E + "A" + E + "B", "parseindex: bad index: missing when in dataset A:B:?\n"},
      {"Y" + E + "A" + E + "B" + E + "3",
       "parseindex: bad index: missing dslength for dataset A:B:3\n"},
      {"Y" + E + "A" + E + "B" + E + "3" + E + "10",
       "parseindex: bad index: missing location for dataset A:B:3\n"},
  };
  IO_match match;
  for (const Case &c : cases) {
    messages().clear();
    EXPECT_EQ(parseindex(captureMessage, c.m_text.c_str(), &match), IO_DATA_ERR);
    EXPECT_EQ(allMessages(), c.m_message);
  }
  messages().clear();
  EXPECT_EQ(parseindex(captureMessage, nullptr, &match), IO_DATA_ERR);
  EXPECT_TRUE(messages().empty());
  ASSERT_EQ(
      parseindex(captureMessage, entryText("what", "where", 12, 772, 5000000000).c_str(), &match),
      IO_OK);
  EXPECT_STREQ(match.m_what, "what");
  EXPECT_STREQ(match.m_where, "where");
  EXPECT_EQ(match.m_when, 12);
  EXPECT_EQ(match.m_length, 772);
  EXPECT_EQ(match.m_position, 5000000000);
}

// ---------------------------------------------------------------------------------------------
// The stored index

class StoredIndexTest : public testing::Test {
protected:
  void SetUp() override {
    messages().clear();
    m_name = m_dir.file("data.wez");
    IO_file w;
    iif_clear_record(&w);
    w.m_callback = captureMessage;
    ASSERT_EQ(iif_open(&w, m_name.c_str(), "w"), IO_OK);
    for (int i = 0; i < 30; ++i) {
      Data d;
      d.intr({i, i + 1});
      Header h("set" + std::to_string(i), "EVERY", i, "INTR", 2);
      ASSERT_EQ(writeOne(&w, i == 1 ? "F" : "u", h.get(), d.get()), IO_OK);
      m_positions.push_back(entries(&w).back().m_position);
    }
    m_indexAt = w.m_indexlocation;
    iif_close(&w);
    m_good = readFile(m_name);
  }
  // Opens the file holding `bytes` for reading; the positions of its entries in table order.
  std::vector<int64_t> openWith(const std::string &bytes, int expected = IO_OK) {
    writeFile(m_name, bytes);
    messages().clear();
    IO_file r;
    iif_clear_record(&r);
    r.m_callback = captureMessage;
    EXPECT_EQ(iif_open(&r, m_name.c_str(), "r"), expected) << allMessages();
    std::vector<int64_t> positions;
    for (const Entry &e : entries(&r)) positions.push_back(e.m_position);
    if (iif_is_open(&r))
      iif_close(&r);
    else
      iif_release_record(&r);
    return positions;
  }
  bool rebuilt() {
    return allMessages().find("iif_open: unable to read the stored index, attempting to rebuild "
                              "it\n") != std::string::npos;
  }
  // The good file with the `n`-th occurrence (from the index on) of `from` replaced.
  std::string mutated(const std::string &from, const std::string &to, int n = 0) {
    std::string bytes = m_good;
    size_t at = static_cast<size_t>(m_indexAt);
    for (int i = 0; i <= n; ++i) at = bytes.find(from, i == 0 ? at : at + 1);
    EXPECT_NE(at, std::string::npos) << from;
    EXPECT_EQ(from.size(), to.size());
    return bytes.replace(at, from.size(), to);
  }

  ScratchDir m_dir;
  std::string m_name, m_good;
  int64_t m_indexAt = 0;
  std::vector<int64_t> m_positions;
};

TEST_F(StoredIndexTest, AWholeIndexIsTakenAsItStands) {
  EXPECT_EQ(openWith(m_good), m_positions);
  EXPECT_TRUE(messages().empty()) << allMessages();
}

TEST_F(StoredIndexTest, AnInconsistentIndexIsRebuiltByScanning) {
  const std::string count = textOffset(30, 20);
  const std::string position = std::to_string(m_positions[2]);
  const std::string cases[][2] = {
      {count, textOffset(31, 20)},                                         // count above the lines
      {count, textOffset(29, 20)},                                         // count below the lines
      {"*ENDINDEX", "*ENDINDEY"},                                          // end tag
      {"Y" + E + "set1", "Q" + E + "set1"},                                // status
      {E + position + "\n", E + std::string(position.size(), 'x') + "\n"}, // position
      {E + "EVERY" + E + "2", E + "EVERY" + E + "-"},                      // when
      // a seventh field: the position would be read from the sixth or from the last
      {E + position + "\n", E + position.substr(0, position.size() - 2) + E + position.back() + "\n"},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(openWith(mutated(c[0], c[1])), m_positions) << c[1];
    EXPECT_TRUE(rebuilt()) << c[1] << allMessages();
  }
  // The closing length field and the position line.
  std::string bytes = m_good;
  size_t last = bytes.size() - 21;
  std::string second = bytes.substr(last - 21, 21);
  bytes.replace(last - 21, 21, textOffset(std::stoll(second) + 1, 20));
  EXPECT_EQ(openWith(bytes), m_positions);
  EXPECT_TRUE(rebuilt());
  bytes = m_good;
  bytes.replace(last, 21, textOffset(36, 20));
  EXPECT_EQ(openWith(bytes), m_positions);
  EXPECT_TRUE(rebuilt());
  // Trailing bytes after the position line.
  EXPECT_EQ(openWith(m_good.substr(0, 6) + textOffset(static_cast<int64_t>(m_good.size()) + 7, 20) +
                     m_good.substr(27) + "*CRASH\n"),
            m_positions);
}

TEST_F(StoredIndexTest, DataWrittenOverTheOldIndexIsNeverHiddenByIt) {
  // A writer appends a small text data set where the index stood and dies: the file keeps its
  // length (so its recorded size), and its last line still names the old index position, where
  // a text data set now stands.
  IO_file w;
  iif_clear_record(&w);
  w.m_callback = captureMessage;
  ASSERT_EQ(iif_open(&w, m_name.c_str(), "d"), IO_OK);
  Header h("x", "y", 0, "INTR", 0);
  Data d;
  ASSERT_EQ(writeOne(&w, "F", h.get(), d.get()), IO_OK);
  fflush(w.m_stream);
  std::string crashed = readFile(m_name);
  ASSERT_GE(m_good.size(), crashed.size());
  crashed += m_good.substr(crashed.size());
  iif_close(&w);
  ASSERT_EQ(crashed.size(), m_good.size());
  std::vector<int64_t> expected = m_positions;
  expected.push_back(m_indexAt);
  // The write itself set the recorded size to 0, so the open rebuilds without looking at the
  // stored index.
  EXPECT_EQ(crashed.substr(6, 21), textOffset(0, 20));
  EXPECT_EQ(openWith(crashed), expected);
  crashed.replace(6, 21, m_good.substr(6, 21));
  EXPECT_EQ(openWith(crashed), expected);
  EXPECT_TRUE(rebuilt()) << allMessages();
}

TEST_F(StoredIndexTest, AnEntryThatItsDataSetDisagreesWithIsLeftOutByTheOpen) {
  // One byte changed each time, the stored index staying well-formed: the entry of set12 made to
  // point at set13's data set, or renamed; the first length field of set12's frame cut by one; its
  // tag made a delete tag. Reads went by the entry, copies by the frame: the open now leaves such a
  // data set out, once, and every later look-up and copy sees the table it made.
  int i = 12;
  while (std::to_string(m_positions[i]).size() != std::to_string(m_positions[i + 1]).size()) ++i;
  const std::string what = "set" + std::to_string(i);
  const std::string mine = std::to_string(m_positions[i]), theirs = std::to_string(m_positions[i + 1]);
  const size_t line = m_good.find(E + what + E, static_cast<size_t>(m_indexAt));
  const size_t lengthAt = m_good.find(E, line + what.size() + 9) + 1;
  const std::string length = m_good.substr(lengthAt, m_good.find(E, lengthAt) - lengthAt);
  const std::string other = what + ":EVERY:" + std::to_string(i) + " of length " + length;
  const size_t frame = static_cast<size_t>(m_positions[i]);
  struct Case {
    std::string m_bytes;
    int64_t m_leftOutAt;
    std::string m_said;
  };
  std::vector<Case> cases(4, Case{m_good, m_positions[i], ""});
  cases[0].m_bytes.replace(m_good.find(E + mine + "\n", line), mine.size() + 1, E + theirs);
  cases[0].m_leftOutAt = m_positions[i + 1];
  cases[0].m_said = other + " at offset " + theirs + " but the dataset there is set" + std::to_string(i + 1) +
                    ":EVERY:" + std::to_string(i + 1) + " of length " + length;
  cases[1].m_bytes[line + 1] = 'S';
  cases[1].m_said = "S" + other.substr(1) + " at offset " + mine + " but the dataset there is " + other;
  cases[2].m_bytes[frame + 3] = static_cast<char>(cases[2].m_bytes[frame + 3] - 1);
  cases[2].m_said = other + " at offset " + mine + " but the dataset there is " + what + ":EVERY:" +
                    std::to_string(i) + " of length " + std::to_string(std::stoi(length) - 1);
  cases[3].m_bytes.replace(frame, 2, "Du");
  cases[3].m_said = other + " at offset " + mine + " but no whole dataset stands there";
  for (const Case &c : cases) {
    SCOPED_TRACE(c.m_said);
    writeFile(m_name, c.m_bytes);
    messages().clear();
    IO_file r;
    iif_clear_record(&r);
    r.m_callback = captureMessage;
    ASSERT_EQ(iif_open(&r, m_name.c_str(), "r"), IO_OK) << allMessages();
    EXPECT_EQ(allMessages(), "iif_open: the index names " + c.m_said + "; it is left out\n");
    EXPECT_EQ(r.m_rebuilds, 0);
    EXPECT_EQ(r.m_skippedfrom, c.m_leftOutAt);
    EXPECT_EQ(r.m_skippedbytes, 3 + 8 + std::stoll(length));
    for (const Entry &e : entries(&r))
      EXPECT_EQ(e.m_status, e.m_what == (&c == &cases[1] ? "S" + what.substr(1) : what) ? "N" : "Y") << e.m_what;
    IO_location location = {nullptr, nullptr, 0, 0, 0};
    EXPECT_EQ(ii_locate_single_dataset(&r, &location, what.c_str(), "EVERY", i), IO_NO_MATCH);
    Header h;
    Data d;
    ASSERT_EQ(readAt(&r, m_positions[i + 1], h.get(), d.get()), IO_OK) << allMessages();
    EXPECT_EQ(d.get()->m_intrarray[0], i + 1);
    iif_close(&r);
    // The open changed nothing.
    EXPECT_EQ(readFile(m_name), c.m_bytes);
  }
}

TEST_F(StoredIndexTest, ARecordedSizeThatDiffersRebuildsAndTheNextWriterStoresAFreshIndex) {
  std::string bytes = m_good;
  bytes.replace(6, 21, textOffset(12345, 20));
  writeFile(m_name, bytes);
  IO_file w;
  iif_clear_record(&w);
  w.m_callback = captureMessage;
  ASSERT_EQ(iif_open(&w, m_name.c_str(), "d"), IO_OK);
  EXPECT_EQ(w.m_lock, -1);
  EXPECT_EQ(entries(&w).size(), 30u);
  // The scan walked over the old index: the next data set goes after it.
  EXPECT_EQ(w.m_indexlocation, static_cast<int64_t>(bytes.size()));
  iif_close(&w);
  EXPECT_EQ(openWith(readFile(m_name)), m_positions);
  EXPECT_TRUE(messages().empty()) << allMessages();
}

} // namespace

namespace {

TEST(DeleteTagTest, EveryLiveTagHasItsDeleteTagAndBack) {
  struct Case {
    std::string m_live, m_deleted, m_recovered;
  };
  const std::vector<Case> cases = {
      {std::string("F\0", 2), "DF", "F"},
      {"F5", "DF", "F"},
      {"U5", "D5", "U5"},
      {std::string("U\0", 2), "DU", "U"},
      {"u5", "D\xb5", "u5"},
      {std::string("u\0", 2), "Du", "u"},
      {"L7", "X7", "L7"},
      {std::string("L\0", 2), "XL", "L"},
      {"l9", "x\xb9", "l9"},
      {std::string("l\0", 2), "xl", "l"},
  };
  for (const Case &c : cases) {
    char deleted[2];
    iofmt_delete_tag(c.m_live.data(), deleted);
    EXPECT_EQ(std::string(deleted, 2), c.m_deleted) << c.m_live;
    char again[2];
    iofmt_delete_tag(deleted, again); // deleting again changes nothing
    EXPECT_EQ(std::string(again, 2), c.m_deleted);
    char format[3];
    EXPECT_EQ(iofmt_deleted_format(deleted, format), 0);
    EXPECT_STREQ(format, c.m_recovered.c_str()) << c.m_live;
  }
  char format[3];
  EXPECT_EQ(iofmt_deleted_format(std::string("D\0", 2).data(), format), 1);
  EXPECT_EQ(iofmt_deleted_format("u5", format), -1);
}

} // namespace
