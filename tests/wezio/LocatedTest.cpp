// Located data sets: locating one or all matches, the typed readers with their size queries,
// caller buffers and allocations, string lists, and the locate-and-read wrappers.
#include "dataset_test_util.h"
#include "io_alloc.h"
#include "io_file.h"
#include "io_header.h"
#include "get_ds_location.h"
#include "io_located.h"
#include "io_state.h"
#include "iodata.h"
#include "wezio_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

using namespace wezio_test;

namespace {

class LocatedTest : public testing::Test {
protected:
  void SetUp() override {
    messages().clear();
    iif_clear_record(&m_file);
    m_file.m_callback = captureMessage;
    ASSERT_EQ(iif_open(&m_file, m_dir.file("data.wez").c_str(), "d"), IO_OK);
  }
  void TearDown() override {
    io_alloc_fail(-1, 0);
    iif_close(&m_file);
  }

  int64_t write(const std::string &what, int32_t when, const std::string &type, int32_t number,
                Data &data, const char *format = "u5") {
    int64_t position = m_file.m_indexlocation;
    Header h(what, "EVERY", when, type, number);
    EXPECT_EQ(writeOne(&m_file, format, h.get(), data.get()), IO_OK) << allMessages();
    return position;
  }
  int64_t writeChars(const std::string &what, const std::string &text, int32_t when = 0) {
    Data d;
    d.chars(text);
    return write(what, when, "CHAR", static_cast<int32_t>(text.size()), d);
  }
  IO_location locate(const std::string &what, int32_t when = 0) {
    IO_location location = {nullptr, nullptr, 0, 0, 0};
    EXPECT_EQ(ii_locate_single_dataset(&m_file, &location, what.c_str(), "EVERY", when), IO_OK);
    return location;
  }

  ScratchDir m_dir;
  IO_file m_file;
};

// ---------------------------------------------------------------------------------------------
// Locating

TEST_F(LocatedTest, LocatingOneDataSet) {
  IO_location location = {nullptr, nullptr, 0, 0, 0};
  EXPECT_EQ(ii_locate_single_dataset(&m_file, &location, "A", "EVERY", 0), IO_NO_MATCH);
  EXPECT_EQ(iif_entry_count(&m_file), 0);

  int64_t p = writeChars("A", "first", 4);
  writeChars("A", "second", 5);
  writeChars("AB", "third", 4);
  EXPECT_EQ(iif_entry_count(&m_file), 3);

  ASSERT_EQ(ii_locate_single_dataset(&m_file, &location, "A", "EVERY", 4), IO_OK);
  EXPECT_STREQ(location.m_what, "A");
  EXPECT_STREQ(location.m_where, "EVERY");
  EXPECT_EQ(location.m_when, 4);
  EXPECT_EQ(location.m_position, p);
  EXPECT_EQ(location.m_length, entries(&m_file)[0].m_length);
  ii_free_location(&location);

  // Two whens match any when; nothing matches when 6.
  EXPECT_EQ(ii_locate_single_dataset(&m_file, &location, "A", "EVERY", -1), IO_MULTIPLE_MATCH);
  EXPECT_EQ(ii_locate_single_dataset(&m_file, &location, "A", "EVERY", 6), IO_NO_MATCH);
  EXPECT_EQ(ii_locate_single_dataset(&m_file, &location, "A?", "EVERY", -1), IO_OK);
  EXPECT_STREQ(location.m_what, "AB");
  ii_free_location(&location);
  EXPECT_TRUE(messages().empty()) << allMessages();
}

TEST_F(LocatedTest, LocatingEveryMatchKeepsTheLocateOrderHowEverManyThereAre) {
  IO_location_list *list = nullptr;
  EXPECT_EQ(ii_locate_dataset(&m_file, &list, "*", "*", -1), IO_NO_MATCH);
  EXPECT_EQ(list, nullptr);
  // More matches than the first guess of room: the list is still whole and in order.
  std::vector<int64_t> positions;
  for (int32_t when = 0; when < 70; ++when)
    positions.push_back(writeChars("SERIES", std::to_string(when), when));
  writeChars("OTHER", "x");
  ASSERT_EQ(ii_locate_dataset(&m_file, &list, "SERIES", "EVERY", -1), IO_OK) << allMessages();
  ASSERT_EQ(list->m_count, 70);
  EXPECT_EQ(list->m_capacity, 70);
  for (int32_t i = 0; i < 70; ++i) {
    EXPECT_EQ(list->m_locations[i].m_when, 69 - i);
    EXPECT_EQ(list->m_locations[i].m_position, positions[69 - i]);
    EXPECT_STREQ(list->m_locations[i].m_what, "SERIES");
  }
  ii_free_location_list(list);

  ASSERT_EQ(ii_locate_dataset(&m_file, &list, "*", "EVERY", 0), IO_OK);
  ASSERT_EQ(list->m_count, 2);
  ii_free_location_list(list);
  EXPECT_EQ(ii_locate_dataset(&m_file, &list, "NONE", "EVERY", 0), IO_NO_MATCH);
  ii_free_location_list(ii_new_location_list(3));
  EXPECT_EQ(ii_new_location_list(-1), nullptr);
  EXPECT_TRUE(messages().empty()) << allMessages();
}

TEST_F(LocatedTest, OutOfMemoryWhileLocatingLeavesNothingBehind) {
  writeChars("A", "text");
  IO_location location = {nullptr, nullptr, 0, 0, 0};
  for (int64_t skip = 0; skip < 8; ++skip) {
    io_alloc_fail(skip, 1);
    int status = ii_locate_single_dataset(&m_file, &location, "A", "EVERY", 0);
    io_alloc_fail(-1, 0);
    if (status == IO_OK) {
      ii_free_location(&location);
      break;
    }
    EXPECT_EQ(status, IO_ALLOC_ERR) << skip;
    EXPECT_EQ(location.m_what, nullptr);
    EXPECT_EQ(location.m_where, nullptr);
  }
  EXPECT_EQ(iodata_leak_check(nullptr), IO_OK);
  EXPECT_EQ(ioheader_leak_check(nullptr), IO_OK);
}

// ---------------------------------------------------------------------------------------------
// Typed readers

TEST_F(LocatedTest, CharactersBySizeQueryCallerBufferOrAllocation) {
  const std::string text = "twenty-five characters!!!";
  ASSERT_EQ(text.size(), 25u);
  writeChars("TEXT", text);
  IO_location location = locate("TEXT");

  int32_t count = -7;
  EXPECT_EQ(ii_read_located_char(&m_file, &location, nullptr, &count, 0), IO_OK);
  EXPECT_EQ(count, 25);
  EXPECT_TRUE(messages().empty());

  // Too small a buffer: 14 and the size needed; the buffer stays the caller's.
  char small[10];
  memset(small, '.', sizeof small);
  char *buffer = small;
  count = 10;
  EXPECT_EQ(ii_read_located_char(&m_file, &location, &buffer, &count, 0), IO_MEMORY_ERR);
  EXPECT_EQ(count, 25);
  EXPECT_EQ(buffer, small);
  EXPECT_EQ(std::string(small, 10), std::string(10, '.'));
  EXPECT_EQ(allMessages(), "ii_read_located_char: ii_read_located_dataset failed\n");

  char big[40] = {};
  buffer = big;
  count = 40;
  ASSERT_EQ(ii_read_located_char(&m_file, &location, &buffer, &count, 0), IO_OK);
  EXPECT_EQ(count, 25);
  EXPECT_EQ(std::string(big, 25), text);

  buffer = nullptr;
  count = 0;
  ASSERT_EQ(ii_read_located_char(&m_file, &location, &buffer, &count, 0), IO_OK);
  ASSERT_NE(buffer, nullptr);
  EXPECT_EQ(std::string(buffer, count), text);
  free(buffer);

  // Through the wrapper that locates first.
  buffer = nullptr;
  ASSERT_EQ(ii_read_char(&m_file, "TEXT", "EVERY", 0, &buffer, &count, 0), IO_OK);
  EXPECT_EQ(std::string(buffer, count), text);
  free(buffer);
  EXPECT_EQ(ii_read_char(&m_file, "NONE", "EVERY", 0, &buffer, &count, 0), IO_NO_MATCH);
  ii_free_location(&location);
}

TEST_F(LocatedTest, NumbersAreConvertedToTheTypeAsked) {
  Data ints, doubles, logicals;
  ints.intr({1, -2, 3});
  doubles.dble({0.25, 1e300});
  *logicals.get()->m_numlogl = 4;
  iodata_alloc_arrays(nullptr, logicals.get());
  memcpy(logicals.get()->m_loglarray, "TFFT", 4);
  write("I", 0, "INTR", 3, ints);
  write("D", 0, "DBLE", 2, doubles, "F");
  write("L", 0, "LOGL", 4, logicals);

  int32_t *intr = nullptr;
  int32_t count = 0;
  ASSERT_EQ(ii_read_intr(&m_file, "I", "EVERY", 0, &intr, &count, 0), IO_OK);
  EXPECT_EQ(std::vector<int32_t>(intr, intr + count), (std::vector<int32_t>{1, -2, 3}));
  free(intr);

  float *real = nullptr;
  ASSERT_EQ(ii_read_real(&m_file, "D", "EVERY", 0, &real, &count, 0), IO_OK);
  ASSERT_EQ(count, 2);
  EXPECT_EQ(real[0], 0.25f);
  free(real);
  double *dble = nullptr;
  ASSERT_EQ(ii_read_dble(&m_file, "D", "EVERY", 0, &dble, &count, 0), IO_OK);
  EXPECT_EQ(dble[0], 0.25);
  free(dble);

  char *logl = nullptr;
  ASSERT_EQ(ii_read_logl(&m_file, "L", "EVERY", 0, &logl, &count, 0), IO_OK);
  EXPECT_EQ(std::string(logl, count), "TFFT");
  free(logl);

  // Integers are no characters.
  char *chars = nullptr;
  EXPECT_EQ(ii_read_char(&m_file, "I", "EVERY", 0, &chars, &count, 0), IO_CONVERT_ERR);
  EXPECT_EQ(chars, nullptr);
  EXPECT_EQ(messages().back(), "ii_read_located_char: ii_read_located_dataset failed\n");
}

TEST_F(LocatedTest, StringsAsSlotsAndAsSeparateTexts) {
  const std::string full(80, 'z');
  Data d;
  d.strings({"one", "", full});
  write("S", 0, "STRI", 3, d);
  IO_location location = locate("S");

  IO_string *slots = nullptr;
  int32_t count = 0;
  ASSERT_EQ(ii_read_located_stri(&m_file, &location, &slots, &count, 0), IO_OK);
  EXPECT_EQ(count, 3);
  EXPECT_STREQ(slots[0], "one");
  free(slots);
  // By name, the same slots.
  slots = nullptr;
  count = 0;
  ASSERT_EQ(ii_read_stri(&m_file, "S", "EVERY", 0, &slots, &count, 0), IO_OK);
  ASSERT_EQ(count, 3);
  EXPECT_STREQ(slots[1], "");
  EXPECT_EQ(std::string(slots[2], 80), full);
  free(slots);
  EXPECT_EQ(ii_read_stri(&m_file, "NONE", "EVERY", 0, &slots, &count, 0), IO_NO_MATCH);

  // A list of the caller's with room to spare gets its end marked.
  char *room[5] = {nullptr, nullptr, nullptr, reinterpret_cast<char *>(1), nullptr};
  char **list = room;
  count = 5;
  ASSERT_EQ(ii_read_located_strarray(&m_file, &location, &list, &count, 0), IO_OK);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(list, room);
  EXPECT_STREQ(room[0], "one");
  EXPECT_STREQ(room[1], "");
  EXPECT_EQ(room[2], full);
  EXPECT_EQ(room[3], nullptr);
  for (int i = 0; i < 3; ++i) free(room[i]);
  ii_free_location(&location);
}

// The diagnostic dumps on standard output name the entries, the matches and the header.
TEST_F(LocatedTest, DumpsOnStandardOutput) {
  writeChars("A", "first", 4);
  writeChars("AB", "second", 5);
  Header query("A*", "EVERY", -1, "CHAR", 0);
  IO_match_list matches;
  iomatchlist_init(&matches);
  ASSERT_EQ(io_search(captureMessage, IO_SCAN_ALL, query.get(), &m_file, &matches), IO_OK);
  ASSERT_EQ(matches.m_count, 2);
  Header header("A", "EVERY", 4, "CHAR", 5);
  IO_state *state = iostate_alloc();
  ASSERT_NE(state, nullptr);

  testing::internal::CaptureStdout();
  indextable_dump(m_file.m_indextable);
  iomatchlist_print(&matches, &m_file);
  ioheader_dump(header.get());
  iostate_print(state);
  iostate_print(nullptr);
  const std::vector<std::string> lines = zyrtest::splitLines(testing::internal::GetCapturedStdout());
  iostate_free(state);
  iomatchlist_free(&matches);

  auto has = [&](const std::string &text) {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string &l) { return l.find(text) != std::string::npos; });
  };
  EXPECT_TRUE(has("index table of 2 entries"));
  EXPECT_TRUE(has("A:EVERY:4:"));
  EXPECT_TRUE(has("AB:EVERY:5:"));
  EXPECT_TRUE(has("Writing 2 entries"));
  EXPECT_TRUE(has("A:EVERY:4 "));
  EXPECT_TRUE(has("header A:EVERY:4, 0 attributes, 5 records of CHAR"));
  EXPECT_TRUE(has("IO_state: primary (closed), secondary (closed), text (closed), current none, default format (none)"));
  EXPECT_EQ(lines.back(), "IO_state: none");
}

TEST_F(LocatedTest, StringListsTooSmallOrAllocated) {
  Data d;
  d.strings({"a", "bc", "def"});
  write("S", 0, "STRI", 3, d);
  IO_location location = locate("S");

  char *room[2] = {nullptr, nullptr};
  char **list = room;
  int32_t count = 2;
  EXPECT_EQ(ii_read_located_strarray(&m_file, &location, &list, &count, 0), IO_MEMORY_ERR);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(room[0], nullptr);
  EXPECT_TRUE(messages().empty());

  list = nullptr;
  count = 0;
  ASSERT_EQ(ii_read_strarray(&m_file, "S", "EVERY", 0, &list, &count, 0), IO_OK);
  ASSERT_EQ(count, 3);
  EXPECT_STREQ(list[0], "a");
  EXPECT_STREQ(list[1], "bc");
  EXPECT_STREQ(list[2], "def");
  EXPECT_EQ(list[3], nullptr);
  for (int i = 0; i < 3; ++i) free(list[i]);
  free(list);
  ii_free_location(&location);
}

// ---------------------------------------------------------------------------------------------
// Whole data sets and headers

TEST_F(LocatedTest, WholeDataSetsStaticOrAllocatedAndHeadersAlone) {
  Data values;
  values.intr({4, 5, 6, 7});
  write("W", 2, "INTR", 4, values);
  IO_location location = locate("W", 2);

  Header header;
  Data data;
  EXPECT_EQ(ii_read_located_dataset_static(&m_file, &location, header.get(), data.get(), ""),
            IO_MEMORY_ERR);
  EXPECT_EQ(*data.get()->m_numintr, 4);
  EXPECT_EQ(data.get()->m_intrarray, nullptr);
  EXPECT_TRUE(messages().empty());
  ASSERT_EQ(ii_read_located_dataset(&m_file, &location, header.get(), data.get(), "INTR"), IO_OK);
  EXPECT_EQ(std::vector<int32_t>(data.get()->m_intrarray, data.get()->m_intrarray + 4),
            (std::vector<int32_t>{4, 5, 6, 7}));
  EXPECT_EQ(*header->m_when, 2);

  // The file's own format code is left alone by these reads.
  memcpy(m_file.m_writeformat, "XY", 3);
  Header other;
  Data again;
  ASSERT_EQ(ii_read_dataset_alloc(&m_file, "W", "EVERY", 2, other.get(), again.get(), nullptr),
            IO_OK);
  EXPECT_EQ(*again.get()->m_numintr, 4);
  EXPECT_EQ(ii_read_dataset(&m_file, "W", "EVERY", 2, other.get(), again.get(), nullptr), IO_OK);
  EXPECT_STREQ(m_file.m_writeformat, "XY");

  Header only;
  char format[3] = {};
  ASSERT_EQ(ii_read_located_header(&m_file, &location, only.get(), format), IO_OK);
  EXPECT_STREQ(format, "u5");
  EXPECT_STREQ(only->m_what, "W");
  EXPECT_EQ(*only->m_number, 4);

  // A position where no data set stands, and one beyond reach.
  location.m_position = 0;
  EXPECT_EQ(ii_read_located_header(&m_file, &location, only.get(), nullptr), IO_READ_ERR);
  EXPECT_EQ(messages().back(), "ii_read_located_header: read of dataset start block failed\n");
  location.m_position = -5;
  int32_t count = 0;
  EXPECT_EQ(ii_read_located_intr(&m_file, &location, nullptr, &count, 0), IO_SEEK_ERR);
  EXPECT_EQ(messages().back().rfind(
                "ii_read_located_dataset_static: can't go to dataset location: ", 0),
            0u);
  ii_free_location(&location);
}

} // namespace
