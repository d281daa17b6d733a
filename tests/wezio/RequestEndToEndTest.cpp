// A file driven through the request interface alone: data sets of every type in every format
// code are written and the file closed; two states open it and read it at once; one copies it
// into another file, deletes part of the copy and renames one data set by copying; and every
// data set reads back as written wherever it went.
#include "dataset_test_util.h"
#include "iocnt.h"
#include "request_test_util.h"
#include "wezio_test_util.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

using namespace wezio_test;

namespace {

// The values of one data set, as the arrays of a data block hold them.
struct Values {
  std::vector<int32_t> m_intr;
  std::vector<float> m_real;
  std::vector<double> m_dble;
  std::string m_logl;
  std::string m_chars;
  std::vector<std::string> m_strings;
  bool operator==(const Values &o) const {
    return m_intr == o.m_intr && m_real == o.m_real && m_dble == o.m_dble && m_logl == o.m_logl &&
           m_chars == o.m_chars && m_strings == o.m_strings;
  }
};

std::ostream &operator<<(std::ostream &out, const Values &v) {
  return out << "intr " << v.m_intr.size() << " real " << v.m_real.size() << " dble "
             << v.m_dble.size() << " logl " << v.m_logl.size() << " chars " << v.m_chars.size()
             << " strings " << v.m_strings.size();
}

struct DataSet {
  std::string m_what;
  int32_t m_when;
  std::string m_format;
  std::string m_type;
  int32_t m_number;
  int32_t m_blockFactor;
  Values m_values;
};

// Values that every form keeps exactly: text REAL keeps 12 digits, text DBLE arrays keep single
// precision, text strings lose trailing blanks.
std::string word(int32_t i, size_t length) {
  std::string w;
  for (size_t k = 0; k < length; ++k) w += static_cast<char>('a' + (i * 7 + k * 3) % 26);
  return w;
}

Values makeValues(const std::string &type, int32_t n, int32_t seed) {
  Values v;
  for (int32_t i = 0; i < n; ++i) {
    int32_t k = seed * 1000 + i;
    if (type == "INTR") v.m_intr.push_back(k * (i % 2 ? -37 : 41));
    if (type == "REAL") v.m_real.push_back(static_cast<float>(k) / 64.0f - 3.0f);
    if (type == "DBLE") v.m_dble.push_back(static_cast<double>(k) * 0.125 - 1e6);
    if (type == "LOGL") v.m_logl += (k % 3) ? 'T' : 'F';
    if (type == "CHAR") v.m_chars += static_cast<char>('A' + k % 26);
    if (type == "STRI") v.m_strings.push_back(word(k, 1 + i % 79));
    if (type == "STRI:12") v.m_strings.push_back(word(k, 12));
    if (type.rfind("STRC", 0) == 0) {
      // STRC{INTR:2 DBLE:1 STRI:8 LOGL:1 CHAR:3 REAL:1}
      v.m_intr.push_back(k);
      v.m_intr.push_back(-k);
      v.m_dble.push_back(k * 0.25 - 1e5);
      v.m_strings.push_back(word(k, 1 + i % 8));
      v.m_logl += (k % 2) ? 'T' : 'F';
      v.m_chars += word(k, 3);
      v.m_real.push_back(static_cast<float>(k) * 0.5f);
    }
  }
  return v;
}

void setValues(Requester &r, const Values &v) {
  r.clear();
  r.intr(v.m_intr);
  r.real(v.m_real);
  r.dble(v.m_dble);
  r.logl(v.m_logl);
  r.chars(v.m_chars);
  r.strings(v.m_strings);
}

Values valuesOf(const Requester &r) {
  return {r.intrValues(), r.realValues(), r.dbleValues(),
          r.loglValues(), r.charValues(), r.stringValues()};
}

const char *const kStructure = "STRC{INTR:2 DBLE:1 STRI:8 LOGL:1 CHAR:3 REAL:1}";

std::vector<DataSet> everyTypeAndFormat() {
  const std::vector<std::string> formats = {"F", "u", "u1", "u5", "u9", "U7", "l", "l5", "L3"};
  const std::vector<std::string> types = {"INTR", "REAL", "DBLE", "LOGL",
                                          "CHAR", "STRI", "STRI:12", kStructure};
  const std::vector<std::string> names = {"INTR", "REAL", "DBLE", "LOGL",
                                          "CHAR", "STRI", "STRN", "STRC"};
  std::vector<DataSet> list;
  int32_t seed = 0;
  for (const std::string &format : formats) {
    for (size_t t = 0; t < types.size(); ++t) {
      // 150 values of each array: enough to be compressed where the format says so.
      list.push_back({names[t] + "_" + format, seed % 4, format, types[t], 150, 1,
                      makeValues(types[t], 150, seed)});
      ++seed;
    }
  }
  // Records in several compressed chunks, and a data set without records.
  DataSet chunked{"CHUNKED", 1, "u5", "INTR", 250, 100, makeValues("INTR", 250, 99)};
  DataSet empty{"EMPTY", 0, "l5", "DBLE", 0, 1, {}};
  list.push_back(chunked);
  list.push_back(empty);
  return list;
}

std::string nativeOf(std::string format) {
  if (format[0] == 'U') format[0] = 'u';
  if (format[0] == 'L') format[0] = 'l';
  return format;
}

int writeDataSet(Requester &r, const DataSet &d) {
  r.chars(d.m_format + std::string(1, '\0'));
  int status = r.send(IO_SET_DEFAULT_FORMAT);
  if (status != IO_OK) return status;
  r.key(d.m_what, "EVERY", d.m_when);
  r.type(d.m_type, d.m_number);
  *r.m_header->m_blockfactor = d.m_blockFactor;
  setValues(r, d.m_values);
  return r.send(IO_WRITE_DATASET);
}

// Locates the data set in the primary file and reads it; the status, and the values in *got.
int readBack(Requester &r, const std::string &what, int32_t when, Values *got) {
  r.key(what, "EVERY", when);
  int status = r.locate(IO_LOCATE_PRIMARY_DS);
  if (status != IO_OK) return status;
  if (*r.m_data->m_numintr != 1) return IO_MULTIPLE_MATCH;
  status = r.readAt(r.offsetValues()[0], IO_READ_LOCATED_PRIMARY_DS);
  *got = valuesOf(r);
  return status;
}

TEST(RequestEndToEndTest, EveryTypeAndFormatSurvivesWritingSharingCopyingAndDeleting) {
  unsetenv("WEZ_FORMAT");
  messages().clear();
  ScratchDir dir;
  const std::string name = dir.file("all.wez"), copy = dir.file("copy.wez");
  const std::vector<DataSet> sets = everyTypeAndFormat();

  {
    Requester writer;
    ASSERT_EQ(writer.open(IO_OPEN_PRIMARY, name), IO_OK) << allMessages();
    for (const DataSet &d : sets)
      ASSERT_EQ(writeDataSet(writer, d), IO_OK) << d.m_what << ": " << allMessages();
    ASSERT_EQ(writer.send(IO_CLOSE_PRIMARY), IO_OK);
  }
  EXPECT_FALSE(fileExists(name + ".lck"));
  const std::string bytes = readFile(name);

  // Two states read the file at once; the second may not write while the first reads.
  Requester first, second;
  ASSERT_EQ(first.open(IO_OPEN_PRIMARY, name), IO_OK) << allMessages();
  ASSERT_EQ(second.open(IO_OPEN_PRIMARY, name), IO_OK) << allMessages();
  EXPECT_EQ(readFile(name + ".lck"), "         2\n");
  for (size_t i = 0; i < sets.size(); ++i) {
    const DataSet &d = sets[i];
    Requester &reader = i % 2 ? first : second;
    Values got;
    ASSERT_EQ(readBack(reader, d.m_what, d.m_when, &got), IO_OK) << d.m_what << allMessages();
    EXPECT_EQ(got, d.m_values) << d.m_what;
    EXPECT_EQ(*reader.m_header->m_number, d.m_number) << d.m_what;
    EXPECT_EQ(std::string(reader.m_header->m_datatype), d.m_type) << d.m_what;
    // Every tag was written in this machine's order.
    EXPECT_EQ(std::string(reader.m_state->m_primary.m_writeformat), nativeOf(d.m_format));
  }
  second.key("NEW", "EVERY", 0);
  second.type("INTR", 0);
  second.clear();
  EXPECT_EQ(second.send(IO_WRITE_DATASET), IO_LOCK_ERR);
  ASSERT_EQ(second.send(IO_CLOSE_PRIMARY), IO_OK);

  // The first copies everything into a file of its own, then renames one data set by copying
  // and deletes every third one there.
  ASSERT_EQ(first.open(IO_OPEN_SECONDARY, copy), IO_OK);
  ASSERT_EQ(first.send(IO_COPY_ALLVALID_DS), IO_OK) << allMessages();
  const DataSet &renamed = sets[3];
  first.key(renamed.m_what, "EVERY", renamed.m_when);
  ASSERT_EQ(first.locate(IO_LOCATE_PRIMARY_DS), IO_OK);
  int64_t position = first.offsetValues()[0];
  first.key("RENAMED", "ELSEWHERE", 42);
  first.clear();
  first.offsets({position});
  ASSERT_EQ(first.send(IO_COPY_DATASET), IO_OK) << allMessages();
  for (size_t i = 0; i < sets.size(); i += 3) {
    first.key(sets[i].m_what, "EVERY", sets[i].m_when);
    ASSERT_EQ(first.send(IO_DELETE_DS), IO_OK) << allMessages();
  }
  EXPECT_EQ(first.current(), &first.m_state->m_secondary);
  ASSERT_EQ(first.send(IO_CLOSE_SECONDARY), IO_OK);
  ASSERT_EQ(first.send(IO_CLOSE_PRIMARY), IO_OK);
  EXPECT_FALSE(fileExists(name + ".lck"));
  EXPECT_FALSE(fileExists(copy + ".lck"));
  EXPECT_EQ(readFile(name), bytes) << "reading and copying never change the source";

  // The copy, opened afresh, holds what was left of it, as written.
  Requester check;
  ASSERT_EQ(check.open(IO_OPEN_PRIMARY, copy), IO_OK) << allMessages();
  for (size_t i = 0; i < sets.size(); ++i) {
    const DataSet &d = sets[i];
    Values got;
    int status = readBack(check, d.m_what, d.m_when, &got);
    if (i % 3 == 0) {
      EXPECT_EQ(status, IO_NO_MATCH) << d.m_what;
      continue;
    }
    ASSERT_EQ(status, IO_OK) << d.m_what << allMessages();
    EXPECT_EQ(got, d.m_values) << d.m_what;
  }
  check.key("RENAMED", "ELSEWHERE", 42);
  ASSERT_EQ(check.locate(IO_LOCATE_PRIMARY_DS), IO_OK);
  ASSERT_EQ(check.readAt(check.offsetValues()[0], IO_READ_LOCATED_PRIMARY_DS), IO_OK);
  EXPECT_EQ(valuesOf(check), renamed.m_values);
  EXPECT_STREQ(check.m_header->m_where, "ELSEWHERE");
  // Every data set of the copy is valid: the deleted ones and the renamed one.
  check.key("*", "*", -1);
  ASSERT_EQ(check.locate(IO_LOCATE_PRIMARY_DS), IO_OK);
  EXPECT_EQ(*check.m_data->m_numintr,
            static_cast<int32_t>(sets.size() - (sets.size() + 2) / 3 + 1));
}

} // namespace
