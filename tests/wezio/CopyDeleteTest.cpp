// Deleting data sets in place (the delete tag of every format letter), walking over deleted data
// sets when the index is rebuilt, and copying data sets between files.
#include "dataset_test_util.h"
#include "get_ds_location.h"
#include "io_copy.h"
#include "io_delete.h"
#include "io_file.h"
#include "io_header.h"
#include "io_index.h"
#include "io_lock.h"
#include "iodata.h"
#include "lowlevel_io.h"
#include "wezio_test_util.h"
#include "zyrFault.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>

using namespace wezio_test;

namespace {

const std::string E(1, kEscChar);

std::string num32(uint32_t value, bool big) { return big ? be32(value) : le32(value); }
std::string num64(uint64_t value, bool big) { return big ? be64(value) : le64(value); }

// A binary data set of INTR values, by hand, in either byte order.
std::string binFrame(char letter, char digit, const std::string &what, const std::string &where,
                     int when, const std::vector<int32_t> &values) {
  bool big = letter == 'U' || letter == 'L';
  bool wide = letter == 'L' || letter == 'l';
  auto record = [big](const std::string &text) {
    return num32(static_cast<uint32_t>(text.size()), big) + text;
  };
  std::string body = "*DATASET" + record("*HEADER") + record("WHAT" + E + what) +
                     record("WHERE" + E + where) + record("WHEN" + E + std::to_string(when)) +
                     record("NUMATTRB" + E + "0") + record("DATATYPE" + E + "INTR") +
                     record("NUMBER" + E + std::to_string(values.size()));
  if (digit) body += record("BLOCKFACTOR" + E + "100000");
  if (!values.empty()) {
    body += num32(5, big) + "*DATA";
    for (int32_t v : values) body += num32(static_cast<uint32_t>(v), big);
  }
  body += "*ENDDATASET";
  uint64_t n = body.size();
  std::string length = wide ? num64(n, big) : num32(static_cast<uint32_t>(n), big);
  return std::string{letter, digit, '\n'} + length + body + length;
}

// A text data set of no values in a file of offset width `width`.
std::string textFrame(const std::string &what, int when, size_t width = 20) {
  std::string body = "*DATASET\n" + textHeader(what, "B", when, "INTR", 0, 1) + "*ENDDATASET\n";
  return std::string("F\0\n", 3) + textOffset(static_cast<int64_t>(body.size()), width) + body +
         textOffset(static_cast<int64_t>(body.size()), width);
}

class CopyDeleteTest : public testing::Test {
protected:
  void SetUp() override {
    messages().clear();
    m_name = m_dir.file("data.wez");
    m_copy = m_dir.file("copy.wez");
    iif_clear_record(&m_file);
    iif_clear_record(&m_dest);
  }
  void TearDown() override {
    if (iif_is_open(&m_file)) iif_close(&m_file);
    if (iif_is_open(&m_dest)) iif_close(&m_dest);
  }
  int open(IO_file *record, const std::string &name, const char *access) {
    iif_clear_record(record);
    record->m_callback = captureMessage;
    int status = iif_open(record, name.c_str(), access);
    if (status != IO_OK) iif_release_record(record);
    return status;
  }
  int64_t put(IO_file *record, const char *format, const std::string &what,
              const std::string &where, int when, const std::vector<int32_t> &values) {
    Header h(what, where, when, "INTR", static_cast<int>(values.size()));
    Data d;
    d.intr(values);
    int64_t position = record->m_indexlocation;
    EXPECT_EQ(writeOne(record, format, h.get(), d.get()), IO_OK) << allMessages();
    return position;
  }
  std::vector<int32_t> valuesAt(IO_file *record, int64_t position) {
    Header h;
    Data d;
    EXPECT_EQ(readAt(record, position, h.get(), d.get()), IO_OK) << allMessages();
    const IO_data *data = d.get();
    return std::vector<int32_t>(data->m_intrarray, data->m_intrarray + *data->m_numintr);
  }
  std::string bytes(IO_file *record, const std::string &name) {
    if (record->m_stream) fflush(record->m_stream);
    return readFile(name);
  }
  int deleteKey(IO_file *record, const std::string &what, const std::string &where, int when) {
    Header h(what, where, when);
    EXPECT_EQ(setfilebusyflag(captureMessage, record), IO_OK);
    return delete_ds(captureMessage, h.get(), record);
  }
  // Every valid entry of a record: "what:where:when" -> position.
  std::map<std::string, int64_t> valid(IO_file *record) {
    std::map<std::string, int64_t> list;
    for (const Entry &e : entries(record))
      if (e.m_status == "Y")
        list[e.m_what + ":" + e.m_where + ":" + std::to_string(e.m_when)] = e.m_position;
    return list;
  }
  bool said(const std::string &message) {
    for (const std::string &m : messages())
      if (m == message) return true;
    return false;
  }

  ScratchDir m_dir;
  std::string m_name, m_copy;
  IO_file m_file, m_dest;
};

TEST_F(CopyDeleteTest, HandBuiltFramesAreTheLibrarysOwn) {
  ASSERT_EQ(open(&m_file, m_name, "w"), IO_OK);
  std::map<std::string, std::pair<int64_t, std::string>> written;
  for (const char *format : {"u", "u5", "l", "l5"}) {
    int64_t at = put(&m_file, format, "A", "B", 2, {1, -2, 3});
    written[format] = {at, binFrame(format[0], format[1], "A", "B", 2, {1, -2, 3})};
  }
  std::string file = bytes(&m_file, m_name);
  for (const auto &w : written)
    EXPECT_EQ(file.substr(w.second.first, w.second.second.size()), w.second.second) << w.first;
}

TEST_F(CopyDeleteTest, EveryFormatLetterGetsItsDeleteTagAndTheRebuildSkipsThem) {
  // Big-endian data sets as another machine writes them, then this machine's own.
  std::string file = infoBlock(0);
  std::map<std::string, int64_t> at;
  for (const char *format : {"U", "U5", "L", "L5"}) {
    at[format] = static_cast<int64_t>(file.size());
    file += binFrame(format[0], format[1], std::string("big") + format, "B", 0, {7, 8});
  }
  writeFile(m_name, file + "*CRASH");
  ASSERT_EQ(open(&m_file, m_name, "w"), IO_OK) << allMessages();
  ASSERT_EQ(valid(&m_file).size(), 4u);
  for (const char *format : {"F", "u", "u5", "l", "l5"})
    at[format] = put(&m_file, format, std::string("own") + format, "B", 0, {7, 8});
  EXPECT_EQ(valuesAt(&m_file, at["U5"]), (std::vector<int32_t>{7, 8}));

  const std::string before = bytes(&m_file, m_name);
  ASSERT_EQ(deleteKey(&m_file, "*", "B", 0), IO_OK) << allMessages();
  EXPECT_TRUE(valid(&m_file).empty());
  const std::map<std::string, std::string> tags = {
      {"F", "DF\n"}, {"u", "Du\n"}, {"u5", "D\xB5\n"}, {"l", "xl\n"}, {"l5", "x\xB5\n"},
      {"U", "DU\n"}, {"U5", "D5\n"}, {"L", "XL\n"},   {"L5", "X5\n"}};
  std::string after = bytes(&m_file, m_name);
  ASSERT_EQ(after.size(), before.size());
  for (const auto &t : tags) EXPECT_EQ(after.substr(at[t.first], 3), t.second) << t.first;
  // Only the tags changed.
  for (const auto &t : tags) after.replace(at[t.first], 2, before.substr(at[t.first], 2));
  EXPECT_EQ(after, before);

  // Deleting again, or deleting what does not exist, writes nothing.
  after = bytes(&m_file, m_name);
  EXPECT_EQ(deleteKey(&m_file, "own*", "*", -1), IO_OK);
  EXPECT_EQ(deleteKey(&m_file, "nothing", "B", 0), IO_OK);
  EXPECT_EQ(delete_process_sub(captureMessage, m_file.m_stream, at["u5"]), IO_OK);
  EXPECT_EQ(bytes(&m_file, m_name), after);
  const int64_t end = m_file.m_indexlocation;
  iif_close(&m_file);

  // The closed file lists them all as deleted; with a wrong recorded size the walk skips them.
  ASSERT_EQ(open(&m_file, m_name, "r"), IO_OK);
  EXPECT_EQ(entries(&m_file).size(), 9u);
  EXPECT_TRUE(valid(&m_file).empty());
  iif_close(&m_file);
  file = readFile(m_name);
  file.replace(6, 21, textOffset(1, 20));
  writeFile(m_name, file);
  messages().clear();
  ASSERT_EQ(open(&m_file, m_name, "d"), IO_OK) << allMessages();
  EXPECT_TRUE(entries(&m_file).empty());
  // The walk also passes the old index stored at the end.
  EXPECT_EQ(file.substr(end, 3), std::string("F\0\n", 3));
  EXPECT_EQ(m_file.m_indexlocation, static_cast<int64_t>(file.size()));
}

TEST_F(CopyDeleteTest, OldStyleDeleteTagsAreSkippedByTheFirstFormatThatFits) {
  std::string u = binFrame('u', 0, "A", "B", 0, {1});
  std::string U = binFrame('U', 0, "A", "B", 1, {2});
  std::string f = textFrame("A", 2);
  std::string file = infoBlock(0);
  for (std::string *frame : {&u, &U, &f}) {
    (*frame)[0] = 'D';
    (*frame)[1] = '\0';
    file += *frame;
  }
  const std::string live = textFrame("LIVE", 3);
  writeFile(m_name, file + live + "*CRASH\n");
  ASSERT_EQ(open(&m_file, m_name, "r"), IO_OK) << allMessages();
  std::vector<Entry> list = entries(&m_file);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].m_what, "LIVE");
  EXPECT_EQ(list[0].m_position, static_cast<int64_t>(file.size()));
  iif_close(&m_file);

  // An old-style tag before bytes that fit no format.
  std::string bad = u;
  bad.replace(bad.size() - 4, 4, le32(3));
  writeFile(m_name, infoBlock(0) + bad + live);
  messages().clear();
  EXPECT_EQ(open(&m_file, m_name, "r"), IO_BAD_FILE);
  EXPECT_NE(allMessages().find("recreate_indextable: Bad file: final dataset length field 0 is "
                               "bad, or differs from original dataset length field 0 in deleted "
                               "dataset with old-style format D\n"),
            std::string::npos)
      << allMessages();
}

TEST_F(CopyDeleteTest, DeletedFramesWithBadLengthsStopTheWalk) {
  std::string frame = binFrame('u', '5', "A", "B", 0, {1});
  frame[0] = 'D';
  frame[1] = static_cast<char>('5' + 128);
  const std::string base = infoBlock(0);
  // Length fields that differ: the first decides, as for a live data set (which is indexed and
  // readable so, and must stay walkable once deleted).
  std::string odd = frame;
  odd.replace(odd.size() - 4, 4, le32(5));
  writeFile(m_name, base + odd + textFrame("LIVE", 1) + "*CRASH\n");
  ASSERT_EQ(open(&m_file, m_name, "r"), IO_OK) << allMessages();
  ASSERT_EQ(entries(&m_file).size(), 1u);
  EXPECT_EQ(entries(&m_file)[0].m_position, static_cast<int64_t>(base.size() + odd.size()));
  iif_close(&m_file);
  // A negative length would turn the walk back; one beyond the file would leave it.
  for (int32_t length : {-20, 0x7fffffff}) {
    std::string bent = frame;
    bent.replace(3, 4, le32(static_cast<uint32_t>(length)));
    writeFile(m_name, base + bent + textFrame("LIVE", 1));
    messages().clear();
    EXPECT_EQ(open(&m_file, m_name, "r"), IO_FORMAT_ERR);
    EXPECT_TRUE(said("recreate_indextable: bad dataset length " + std::to_string(length) + "\n"))
        << allMessages();
  }
  // A delete tag naming no format that has length fields.
  std::string strange = frame;
  strange[1] = 'x';
  writeFile(m_name, base + strange + textFrame("LIVE", 1));
  messages().clear();
  EXPECT_EQ(open(&m_file, m_name, "r"), IO_READ_ERR);
  EXPECT_TRUE(said("recreate_indextable: error reading initial dataset length in dataset of "
                   "format Dx, starting at offset 36\n"))
      << allMessages();
  // Cut off after the first length field, with nothing after it: the walk ends there.
  writeFile(m_name, base + frame.substr(0, frame.size() - 2));
  messages().clear();
  EXPECT_EQ(open(&m_file, m_name, "r"), IO_OK);
  EXPECT_EQ(entries(&m_file).size(), 0u);
  EXPECT_EQ(m_file.m_indexlocation, static_cast<int64_t>(base.size()));
  iif_close(&m_file);
}

TEST_F(CopyDeleteTest, MissingStaleOrCorruptIndexesAreRebuiltAndStoredAfresh) {
  // Deleted data sets of every style ahead of live ones of every format, then a closed file.
  std::string oldStyle = binFrame('U', 0, "gone1", "B", 0, {1});
  oldStyle[0] = 'D';
  oldStyle[1] = '\0';
  std::string bigDeleted = binFrame('L', '5', "gone2", "B", 0, {2});
  bigDeleted[0] = 'X';
  std::string start = infoBlock(0) + oldStyle + bigDeleted + binFrame('U', '5', "big", "B", 1, {3}) +
                      textFrame("text", 2) + "*CRASH\n";
  writeFile(m_name, start);
  ASSERT_EQ(open(&m_file, m_name, "w"), IO_OK) << allMessages();
  put(&m_file, "u5", "own", "B", 3, {4});
  put(&m_file, "l", "gone3", "B", 4, {5});
  put(&m_file, "F", "gone4", "B", 5, {6});
  put(&m_file, "u", "last", "B", 6, {7});
  ASSERT_EQ(deleteKey(&m_file, "gone?", "B", -1), IO_OK);
  const std::map<std::string, int64_t> expected = valid(&m_file);
  ASSERT_EQ(expected.size(), 4u);
  const int64_t indexAt = m_file.m_indexlocation;
  iif_close(&m_file);
  const std::string closed = readFile(m_name);

  auto check = [&](const std::string &bytes, const std::string &label,
                   const std::map<std::string, int64_t> &want) {
    writeFile(m_name, bytes);
    messages().clear();
    ASSERT_EQ(open(&m_file, m_name, "d"), IO_OK) << label << allMessages();
    EXPECT_EQ(valid(&m_file), want) << label;
    EXPECT_EQ(m_file.m_lock, -1) << label; // the index is stored at close
    iif_close(&m_file);
    const std::string after = readFile(m_name);
    EXPECT_EQ(after.substr(6, 21), textOffset(static_cast<int64_t>(after.size()), 20)) << label;
    messages().clear();
    ASSERT_EQ(open(&m_file, m_name, "r"), IO_OK) << label;
    EXPECT_EQ(valid(&m_file), want) << label;
    EXPECT_EQ(m_file.m_lock, 1) << label; // taken as stored
    EXPECT_EQ(messages().size(), 0u) << label << allMessages();
    iif_close(&m_file);
  };
  // No index at all.
  check(closed.substr(0, indexAt), "missing", expected);
  // A corrupt index in a file of the recorded size.
  std::string corrupt = closed;
  corrupt[indexAt + 3 + 21 + 7 + 5] = '7';
  check(corrupt, "corrupt", expected);
  // A stale index: data sets written after it by a writer that never closed.
  writeFile(m_name, closed);
  ASSERT_EQ(open(&m_file, m_name, "w"), IO_OK);
  std::map<std::string, int64_t> more = expected;
  more["late1:B:7"] = put(&m_file, "u", "late1", "B", 7, {8});
  more["late2:B:8"] = put(&m_file, "F", "late2", "B", 8, {9});
  fflush(m_file.m_stream);
  const std::string crashed = readFile(m_name);
  iif_release_record(&m_file);
  remove((m_name + ".lck").c_str());
  check(crashed, "stale", more);
}

TEST_F(CopyDeleteTest, DeleteTakesOnlyTheEntryOfTheExactKey) {
  // Positions 36 and 365: the key of the first is the start of the second's.
  m_file.m_callback = captureMessage;
  m_file.m_access = 'r';
  ASSERT_EQ(insert_index(nullptr, &m_file, entryText("A", "B", 0, 772, 365).c_str()), IO_OK);
  ASSERT_EQ(insert_index(nullptr, &m_file, entryText("A", "B", 0, 772, 36).c_str()), IO_OK);
  ASSERT_EQ(insert_index(nullptr, &m_file, entryText("A", "B", 0, 77, 2).c_str()), IO_OK);
  Header where("*", "B", -1);
  Data data;
  ASSERT_EQ(locate_dataset(nullptr, where.get(), data.get(), &m_file), IO_MEMORY_ERR);
  ASSERT_NE(m_file.m_indextable->m_whereorder, nullptr);
  for (int i = 0; i < 3; ++i) indextable_entry(m_file.m_indextable, i)[0] = 'Y';
  ASSERT_EQ(delete_ds_entry(captureMessage, "A", "B", 0, 36, 772, &m_file), IO_OK);
  EXPECT_EQ(indextable_entry(m_file.m_indextable, 0)[0], 'Y');
  EXPECT_EQ(indextable_entry(m_file.m_indextable, 1)[0], 'N');
  EXPECT_EQ(indextable_entry(m_file.m_indextable, 2)[0], 'Y');
  EXPECT_EQ(delete_ds_entry(captureMessage, "A", "B", 0, 3, 772, &m_file), IO_OK);
  EXPECT_EQ(messages().size(), 0u) << allMessages();
  indextable_free(m_file.m_indextable);
  m_file.m_indextable = nullptr;
}

TEST_F(CopyDeleteTest, DeleteProcessSubRefusesBytesThatAreNoTag) {
  ScratchStream s;
  s.reset("*INFO\nQQ\nrest");
  EXPECT_EQ(delete_process_sub(captureMessage, s.m_stream, 6), IO_FORMAT_ERR);
  EXPECT_EQ(allMessages(), "delete_process_sub: invalid format tag or dataset already deleted\n");
  EXPECT_EQ(delete_process_sub(captureMessage, s.m_stream, 12), IO_READ_ERR);
  EXPECT_EQ(s.bytes(), "*INFO\nQQ\nrest");
  // A tag with no data set after its length field (a damaged index naming the wrong offset) is
  // left as it is.
  messages().clear();
  s.reset(std::string("*INFO\nF\0\n", 9));
  EXPECT_EQ(delete_process_sub(captureMessage, s.m_stream, 6), IO_FORMAT_ERR);
  EXPECT_EQ(allMessages(), "delete_process_sub: no dataset starts at offset 6; the index is wrong\n");
  EXPECT_EQ(s.bytes(), std::string("*INFO\nF\0\n", 9));
  const std::string frame = std::string("F\0\n", 3) + std::string(17, ' ') + "123\n*DATASET\n";
  s.reset("*INFO\n" + frame);
  EXPECT_EQ(delete_process_sub(captureMessage, s.m_stream, 6), IO_OK);
  EXPECT_EQ(s.bytes(), "*INFO\nDF\n" + frame.substr(3));
}

// ---------------------------------------------------------------------------------------------
// Copying

TEST_F(CopyDeleteTest, ACopyIsTheSameDataUnderANewKeyAndEndsInTheFileEndTag) {
  ASSERT_EQ(open(&m_file, m_name, "w"), IO_OK);
  std::vector<int32_t> many(150);
  for (int i = 0; i < 150; ++i) many[i] = i * i;
  std::map<std::string, int64_t> at;
  at["F"] = put(&m_file, "F", "text", "EVERY", 0, {4, 5, 6});
  at["u5"] = put(&m_file, "u5", "packed", "EVERY", 0, many);
  at["l"] = put(&m_file, "l", "long", "EVERY", 0, {-1});
  ASSERT_EQ(open(&m_dest, m_copy, "w"), IO_OK);
  ASSERT_EQ(setfilebusyflag(captureMessage, &m_dest), IO_OK);
  int when = 1;
  for (const auto &a : at) {
    int64_t position = m_dest.m_indexlocation;
    ASSERT_EQ(io_seek(m_file.m_stream, a.second, 0), 0);
    ASSERT_EQ(copy_dataset(captureMessage, ("copy" + a.first).c_str(), "ZN1", when, &m_dest,
                           &m_file, nullptr),
              IO_OK)
        << allMessages();
    const std::string src = bytes(&m_file, m_name), dst = bytes(&m_dest, m_copy);
    // Same tag; the data part and end tag byte for byte; both length fields agree.
    EXPECT_EQ(dst.substr(position, 3), src.substr(a.second, 3));
    size_t srcData = src.find("*DATA", src.find("*DATASET", a.second) + 8);
    size_t dstData = dst.find("*DATA", dst.find("*DATASET", position) + 8);
    size_t srcEnd = src.find("*ENDDATASET", srcData), dstEnd = dst.find("*ENDDATASET", dstData);
    EXPECT_EQ(dst.substr(dstData, dstEnd - dstData), src.substr(srcData, srcEnd - srcData));
    std::vector<Entry> list = entries(&m_dest);
    const Entry &e = list.back();
    EXPECT_EQ(e.m_what, "copy" + a.first);
    EXPECT_EQ(e.m_where, "ZN1");
    EXPECT_EQ(e.m_when, when);
    EXPECT_EQ(e.m_position, position);
    const bool text = a.first == "F";
    const int64_t field = text ? 21 : (a.first == "l" ? 8 : 4);
    EXPECT_EQ(m_dest.m_indexlocation, position + 3 + field + e.m_length + field);
    EXPECT_EQ(dst.substr(m_dest.m_indexlocation), text ? "*CRASH\n" : "*CRASH");
    if (text) {
      EXPECT_EQ(dst.substr(position + 3, 21), textOffset(e.m_length, 20));
      EXPECT_EQ(dst.substr(m_dest.m_indexlocation - 21, 21), textOffset(e.m_length, 20));
    }
    EXPECT_EQ(valuesAt(&m_dest, position), valuesAt(&m_file, a.second));
    ++when;
  }
  iif_close(&m_dest);
  ASSERT_EQ(open(&m_dest, m_copy, "r"), IO_OK);
  EXPECT_EQ(valid(&m_dest).size(), 3u);
  EXPECT_EQ(valuesAt(&m_dest, valid(&m_dest)["copyu5:ZN1:3"]), many);
  EXPECT_EQ(messages().size(), 0u) << allMessages();
}

TEST_F(CopyDeleteTest, CopiesFromOtherLayoutsAndByteOrders) {
  // A file of offset width 10 and a big-endian data set, copied into a new file (width 20).
  const std::string text = textFrame("T", 3, 10);
  const std::string big = binFrame('U', '5', "BIG", "B", 4, {70000, -3});
  writeFile(m_name, infoBlock(0, 10) + text + big);
  ASSERT_EQ(open(&m_file, m_name, "r"), IO_OK) << allMessages();
  ASSERT_EQ(open(&m_dest, m_copy, "w"), IO_OK);
  ASSERT_EQ(setfilebusyflag(captureMessage, &m_dest), IO_OK);
  ASSERT_EQ(copy_allvalid_ds(captureMessage, &m_dest, &m_file), IO_OK) << allMessages();
  std::map<std::string, int64_t> copied = valid(&m_dest);
  ASSERT_EQ(copied.size(), 2u);
  const std::string dst = bytes(&m_dest, m_copy);
  EXPECT_EQ(dst.substr(copied["BIG:B:4"], 3), std::string("U5\n"));
  EXPECT_EQ(valuesAt(&m_dest, copied["BIG:B:4"]), (std::vector<int32_t>{70000, -3}));
  EXPECT_EQ(dst.substr(copied["T:B:3"] + 3, 21),
            textOffset(static_cast<int64_t>(text.size()) - 3 - 22, 20));
  Header h;
  Data d;
  EXPECT_EQ(readAt(&m_dest, copied["T:B:3"], h.get(), d.get()), IO_OK) << allMessages();
  EXPECT_STREQ(h->m_what, "T");
}

TEST_F(CopyDeleteTest, CopyingAllLeavesDeletedAndSupersededDataSetsBehind) {
  ASSERT_EQ(open(&m_file, m_name, "w"), IO_OK);
  put(&m_file, "u", "A", "B", 0, {1});
  put(&m_file, "u", "A", "B", 0, {2}); // supersedes the first
  put(&m_file, "u", "C", "B", 0, {3});
  put(&m_file, "u", "D", "B", 5, {4});
  put(&m_file, "u", "E", "B", 0, {5});
  ASSERT_EQ(deleteKey(&m_file, "C", "B", 0), IO_OK);
  iif_close(&m_file);
  ASSERT_EQ(open(&m_file, m_name, "r"), IO_OK);

  ASSERT_EQ(open(&m_dest, m_copy, "w"), IO_OK);
  ASSERT_EQ(setfilebusyflag(captureMessage, &m_dest), IO_OK);
  ASSERT_EQ(copy_allvalid_ds(captureMessage, &m_dest, &m_file), IO_OK) << allMessages();
  std::map<std::string, int64_t> copied = valid(&m_dest);
  ASSERT_EQ(copied.size(), 3u);
  EXPECT_EQ(valuesAt(&m_dest, copied["A:B:0"]), std::vector<int32_t>{2});
  EXPECT_EQ(valuesAt(&m_dest, copied["D:B:5"]), std::vector<int32_t>{4});
  // In the source's what order.
  std::vector<Entry> list = entries(&m_dest);
  EXPECT_EQ(list[0].m_what, "A");
  EXPECT_EQ(list[1].m_what, "D");
  EXPECT_EQ(list[2].m_what, "E");
  iif_close(&m_dest);

  remove(m_copy.c_str());
  ASSERT_EQ(open(&m_dest, m_copy, "w"), IO_OK);
  ASSERT_EQ(setfilebusyflag(captureMessage, &m_dest), IO_OK);
  ASSERT_EQ(copy_when0_ds(captureMessage, &m_dest, &m_file), IO_OK);
  copied = valid(&m_dest);
  EXPECT_EQ(copied.size(), 2u);
  EXPECT_EQ(copied.count("D:B:5"), 0u);
}

TEST_F(CopyDeleteTest, ADataSetThatItsEntryDoesNotNameIsNeitherReadNorCopied) {
  // A read through the renamed entry fails: the copy must not make the data set readable under
  // the entry's key, nor leave it out while the open counted it.
  ASSERT_EQ(open(&m_file, m_name, "w"), IO_OK);
  put(&m_file, "u", "A", "B", 0, {1});
  const int64_t renamed = put(&m_file, "u", "C", "B", 0, {2});
  put(&m_file, "u", "E", "B", 0, {3});
  iif_close(&m_file);
  std::string bytes = readFile(m_name);
  bytes[bytes.find(E + "C" + E, bytes.rfind("*INDEX\n")) + 1] = 'D';
  writeFile(m_name, bytes);
  ASSERT_EQ(open(&m_file, m_name, "r"), IO_OK) << allMessages();
  const std::string length = std::to_string(entries(&m_file)[1].m_length);
  const std::string entry = "the index names D:B:0 of length " + length + " at offset " + std::to_string(renamed) +
                            " but the dataset there is C:B:0 of length " + length;
  EXPECT_EQ(allMessages(), "iif_open: " + entry + "; it is left out\n");
  ASSERT_EQ(open(&m_dest, m_copy, "w"), IO_OK);
  ASSERT_EQ(setfilebusyflag(captureMessage, &m_dest), IO_OK);
  ASSERT_EQ(copy_allvalid_ds(captureMessage, &m_dest, &m_file), IO_OK) << allMessages();
  std::map<std::string, int64_t> copied = valid(&m_dest);
  EXPECT_EQ(copied.size(), 2u);
  EXPECT_EQ(valuesAt(&m_dest, copied["E:B:0"]), std::vector<int32_t>{3});
  // Named by that entry, the one data set is not copied either.
  messages().clear();
  IO_match named;
  ASSERT_EQ(parseindex(nullptr, entryText("D", "B", 0, std::stoll(length), renamed).c_str(), &named), IO_OK);
  ASSERT_EQ(io_seek(m_file.m_stream, renamed, 0), 0);
  EXPECT_EQ(copy_dataset(captureMessage, "D", "B", 0, &m_dest, &m_file, &named), IO_BAD_FILE);
  EXPECT_EQ(allMessages(), "copy_dataset: " + entry + "; it is not copied\n");
  EXPECT_EQ(valid(&m_dest).size(), 2u);
}

TEST_F(CopyDeleteTest, CompressedWhensKeepTheGreatestWhenOfEachKey) {
  ASSERT_EQ(open(&m_file, m_name, "w"), IO_OK);
  put(&m_file, "u", "P", "B", 0, {0});
  put(&m_file, "u", "Q", "B", 3, {3});
  put(&m_file, "u", "R", "B", 7, {7});
  // One what and where at several states: "10" sorts before "9" as text.
  for (int when : {0, 3, 10, 9, 7}) put(&m_file, "u", "K", "W", when, {100 + when});
  ASSERT_EQ(open(&m_dest, m_copy, "w"), IO_OK);
  ASSERT_EQ(setfilebusyflag(captureMessage, &m_dest), IO_OK);
  ASSERT_EQ(copy_all_ds_compress_when(captureMessage, &m_dest, &m_file), IO_OK) << allMessages();
  std::map<std::string, int64_t> copied = valid(&m_dest);
  EXPECT_EQ(entries(&m_dest).size(), 5u);
  ASSERT_EQ(copied.size(), 5u);
  EXPECT_EQ(valuesAt(&m_dest, copied["P:B:0"]), std::vector<int32_t>{0});
  EXPECT_EQ(valuesAt(&m_dest, copied["Q:B:1"]), std::vector<int32_t>{3});
  EXPECT_EQ(valuesAt(&m_dest, copied["R:B:1"]), std::vector<int32_t>{7});
  EXPECT_EQ(valuesAt(&m_dest, copied["K:W:0"]), std::vector<int32_t>{100});
  EXPECT_EQ(valuesAt(&m_dest, copied["K:W:1"]), std::vector<int32_t>{110});
}

TEST_F(CopyDeleteTest, AFailedCopyLeavesAnUnfinishedDataSetThatTheNextWriteReplaces) {
  const std::string frame = binFrame('u', 0, "A", "B", 0, {1, 2});
  writeFile(m_name, infoBlock(0) + frame + "*CRASH");
  ASSERT_EQ(open(&m_file, m_name, "r"), IO_OK);
  // A source whose length claims more bytes than its file holds is refused before anything is
  // written.
  ScratchStream bent;
  bent.reset(infoBlock(0) + frame.substr(0, 3) + le32(static_cast<uint32_t>(frame.size() + 100)) + frame.substr(7));
  const auto copyFrom = [this](FILE *stream, IO_file *destination, const char *plan) {
    FILE *own = m_file.m_stream;
    m_file.m_stream = stream;
    EXPECT_EQ(io_seek(stream, 36, 0), 0);
    zyrFault_arm(plan, m_name.c_str());
    const int status = copy_dataset(captureMessage, "A", "B", 1, destination, &m_file, nullptr);
    const long reads = zyrFault_passes(ZYR_FAULT_READ);
    zyrFault_disarm();
    m_file.m_stream = own;
    return std::make_pair(status, reads);
  };
  ASSERT_EQ(open(&m_dest, m_copy, "w"), IO_OK);
  ASSERT_EQ(setfilebusyflag(captureMessage, &m_dest), IO_OK);
  put(&m_dest, "u", "KEEP", "B", 0, {9});
  const int64_t location = m_dest.m_indexlocation;
  const std::string before = bytes(&m_dest, m_copy);
  messages().clear();
  EXPECT_EQ(copyFrom(bent.m_stream, &m_dest, "").first, IO_BAD_FILE);
  EXPECT_EQ(allMessages(), "copy_dataset: the data set at offset 36 is not whole; it is not copied\n");
  EXPECT_EQ(bytes(&m_dest, m_copy), before);

  // The reads of a whole copy, counted on a copy elsewhere; then the last of them (the data)
  // fails: the copy stops after its tag and first length field.
  IO_file counted;
  iif_clear_record(&counted);
  ASSERT_EQ(open(&counted, m_dir.file("counted.wez"), "w"), IO_OK);
  ASSERT_EQ(setfilebusyflag(captureMessage, &counted), IO_OK);
  const auto [status, reads] = copyFrom(m_file.m_stream, &counted, "");
  ASSERT_EQ(status, IO_OK) << allMessages();
  iif_close(&counted);
  messages().clear();
  EXPECT_EQ(copyFrom(m_file.m_stream, &m_dest, ("read@" + std::to_string(reads)).c_str()).first, IO_READ_ERR);
  EXPECT_NE(allMessages().find("copy_dataset: read data block 0/1 failed"), std::string::npos) << allMessages();
  EXPECT_EQ(m_dest.m_indexlocation, location);
  EXPECT_EQ(entries(&m_dest).size(), 1u);
  // As the file stands now (say the process ended here), the walk takes the unfinished copy as
  // an interrupted write.
  const std::string now = bytes(&m_dest, m_copy);
  EXPECT_EQ(now.substr(location, 7), std::string("u\0\n", 3) + le32(0));
  const std::string crashed = m_dir.file("crashed.wez");
  writeFile(crashed, now);
  IO_file other;
  messages().clear();
  ASSERT_EQ(open(&other, crashed, "r"), IO_OK) << allMessages();
  EXPECT_EQ(entries(&other).size(), 1u);
  EXPECT_EQ(other.m_indexlocation, location);
  iif_close(&other);
  // The next write goes over it.
  EXPECT_EQ(put(&m_dest, "u", "NEXT", "B", 0, {8}), location);

  // A failure names the data set in copy_all_ds.
  messages().clear();
  zyrFault_arm("read@1+", m_name.c_str());
  EXPECT_EQ(copy_all_ds(captureMessage, &m_dest, &m_file, 2), IO_READ_ERR);
  zyrFault_disarm();
  EXPECT_TRUE(said("copy_all_ds: copy_dataset failed on A/B/0\n")) << allMessages();
}

TEST_F(CopyDeleteTest, ADeletedDataSetIsNotCopied) {
  std::string frame = binFrame('u', 0, "A", "B", 0, {1});
  frame[0] = 'D';
  writeFile(m_name, infoBlock(0) + frame);
  ASSERT_EQ(open(&m_file, m_name, "r"), IO_OK) << allMessages();
  ASSERT_EQ(open(&m_dest, m_copy, "w"), IO_OK);
  const std::string before = bytes(&m_dest, m_copy);
  ASSERT_EQ(io_seek(m_file.m_stream, 36, 0), 0);
  EXPECT_EQ(copy_dataset(captureMessage, "A", "B", 0, &m_dest, &m_file, nullptr), IO_OK);
  EXPECT_EQ(bytes(&m_dest, m_copy), before);
  EXPECT_EQ(entries(&m_dest).size(), 0u);
  ASSERT_EQ(io_seek(m_file.m_stream, 6, 0), 0);
  EXPECT_EQ(copy_dataset(captureMessage, "A", "B", 0, &m_dest, &m_file, nullptr), IO_READ_ERR);
  EXPECT_TRUE(said("copy_dataset: the source data set location is incorrect: bad format type in "
                   "  \n"))
      << allMessages();
}

} // namespace
