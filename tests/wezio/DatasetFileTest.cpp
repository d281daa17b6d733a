// Data-set files: the information block, whole data sets in every format code, the stored index
// at close and open, and the checks of the file start, against bytes built by hand.
#include "dataset_test_util.h"
#include "io_alloc.h"
#include "io_dataset.h"
#include "io_file.h"
#include "io_header.h"
#include "io_index.h"
#include "iodata.h"
#include "lowlevel_io.h"
#include "wezio_test_util.h"
#include "zyrTestChild.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <zlib.h>

using namespace wezio_test;

namespace {

const std::string E(1, kEscChar);

class DatasetFileTest : public DataFileTest {
protected:
  void TearDown() override {
    io_alloc_fail(-1, 0);
    DataFileTest::TearDown();
  }
  int open(const char *access = "d") { return openRecord(&m_file, access); }
  void close() { EXPECT_EQ(iif_close(&m_file), IO_OK); }
  std::string bytes() {
    if (m_file.m_stream) fflush(m_file.m_stream);
    return readFile(m_name);
  }
};

// ---------------------------------------------------------------------------------------------
// A new file, and one text data set

TEST_F(DatasetFileTest, NewFileIsTheThirtySixByteInformationBlock) {
  ASSERT_EQ(open("d"), IO_OK) << allMessages();
  EXPECT_EQ(bytes(), "*INFO\n" + std::string(19, ' ') + "0\n*ENDINFO\n");
  EXPECT_EQ(bytes().size(), 36u);
  EXPECT_EQ(m_file.m_indexlocation, 36);
  EXPECT_EQ(m_file.m_offsetwidth, 20);
  EXPECT_EQ(indextable_count(m_file.m_indextable), 0);
  EXPECT_EQ(readFile(m_name + ".lck"), "         1\n");
  close();
  // A reader wrote nothing: the block stays, the lock file goes.
  EXPECT_EQ(bytes().size(), 36u);
  EXPECT_FALSE(fileExists(m_name + ".lck"));
}

TEST_F(DatasetFileTest, TextDataSetHasLength772AndTheFileIsCompleteAfterClose) {
  ASSERT_EQ(open("d"), IO_OK);
  Header h("A", "B", 0, "INTR", 0);
  Data d;
  ASSERT_EQ(writeOne(&m_file, "F", h.get(), d.get()), IO_OK) << allMessages();

  const std::string body = "*DATASET\n" + textHeader("A", "B", 0, "INTR", 0, 1) + "*ENDDATASET\n";
  ASSERT_EQ(body.size(), 772u);
  const std::string frame =
      std::string("F\0\n", 3) + textOffset(772, 20) + body + textOffset(772, 20);
  EXPECT_EQ(bytes(), infoBlock(0) + frame + "*CRASH\n");
  EXPECT_EQ(m_file.m_indexlocation, 36 + static_cast<int64_t>(frame.size()));
  close();

  const int64_t indexAt = 36 + static_cast<int64_t>(frame.size());
  std::string index = indexFrame({entryText("A", "B", 0, 772, 36)}, indexAt);
  int64_t total = indexAt + static_cast<int64_t>(index.size());
  EXPECT_EQ(bytes(), infoBlock(total) + frame + index);

  // Read back through the stored index.
  messages().clear();
  ASSERT_EQ(open("r"), IO_OK) << allMessages();
  EXPECT_TRUE(messages().empty()) << allMessages();
  std::vector<Entry> list = entries(&m_file);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].m_position, 36);
  EXPECT_EQ(list[0].m_length, 772);
  Header back;
  Data out;
  char format[3];
  EXPECT_EQ(readAt(&m_file, 36, back.get(), out.get(), format), IO_OK) << allMessages();
  EXPECT_STREQ(back->m_what, "A");
  EXPECT_STREQ(back->m_datatype, "INTR");
  EXPECT_EQ(format[0], 'F');
  close();
  EXPECT_EQ(readFile(m_name), infoBlock(total) + frame + index); // a reader changes nothing
}

TEST_F(DatasetFileTest, BinaryHeadersU5WithBlockFactorAndUWithout) {
  const std::string dataset = "*DATASET", end = "*ENDDATASET";
  std::string common = binRecord("*HEADER") + binRecord("WHAT" + E + "A") +
                       binRecord("WHERE" + E + "B") + binRecord("WHEN" + E + "0") +
                       binRecord("NUMATTRB" + E + "0") + binRecord("DATATYPE" + E + "INTR") +
                       binRecord("NUMBER" + E + "0");
  std::string u5 = dataset + common + binRecord("BLOCKFACTOR" + E + "100000") + end;
  std::string u = dataset + common + end;

  ASSERT_EQ(open("d"), IO_OK);
  Header h("A", "B", 0, "INTR", 0);
  Data d;
  ASSERT_EQ(writeOne(&m_file, "u5", h.get(), d.get()), IO_OK) << allMessages();
  EXPECT_EQ(*h->m_blockfactor, 100000);
  *h->m_blockfactor = 1;
  ASSERT_EQ(writeOne(&m_file, "U", h.get(), d.get()), IO_OK) << allMessages();
  std::string expected = infoBlock(0) + "u5\n" + le32(static_cast<uint32_t>(u5.size())) + u5 +
                         le32(static_cast<uint32_t>(u5.size())) + std::string("u\0\n", 3) +
                         le32(static_cast<uint32_t>(u.size())) + u +
                         le32(static_cast<uint32_t>(u.size())) + "*CRASH";
  EXPECT_EQ(bytes(), expected);
  EXPECT_EQ(*h->m_blockfactor, 1); // no digit: the block factor stays unset
  close();
}

TEST_F(DatasetFileTest, LongFormatsHaveEightByteLengths) {
  ASSERT_EQ(open("d"), IO_OK);
  Header h("A", "B", 0, "INTR", 3);
  Data d;
  d.intr({1, 2, 3});
  ASSERT_EQ(writeOne(&m_file, "L", h.get(), d.get()), IO_OK) << allMessages();
  std::string body = "*DATASET" + binRecord("*HEADER") + binRecord("WHAT" + E + "A") +
                     binRecord("WHERE" + E + "B") + binRecord("WHEN" + E + "0") +
                     binRecord("NUMATTRB" + E + "0") + binRecord("DATATYPE" + E + "INTR") +
                     binRecord("NUMBER" + E + "3") + le32(5) + "*DATA" + le32(1) + le32(2) +
                     le32(3) + "*ENDDATASET";
  EXPECT_EQ(bytes(), infoBlock(0) + std::string("l\0\n", 3) + le64(body.size()) + body +
                         le64(body.size()) + "*CRASH");
  close();
}

TEST_F(DatasetFileTest, TextValuesAndAttributes) {
  ASSERT_EQ(open("d"), IO_OK);
  Header h("name", "ZN1", 7, "INTR", 10);
  *h->m_numattrb = 2;
  memset(h->m_attributes, 0, 2 * sizeof(IO_string));
  strcpy(h->m_attributes[0], "units = m");
  memset(h->m_attributes[1], 'x', sizeof(IO_string)); // a full slot, no terminator
  Data d;
  d.intr({1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
  ASSERT_EQ(writeOne(&m_file, "F", h.get(), d.get()), IO_OK) << allMessages();
  std::string header = textRecord("*HEADER", 7) + textRecord("WHAT" + E + "name", 80) +
                       textRecord("WHERE" + E + "ZN1", 80) + textRecord("WHEN" + E + "7", 80) +
                       textRecord("NUMATTRB" + E + "2", 80) + textRecord("units = m", 80) +
                       std::string(80, 'x') + "\n" + textRecord("DATATYPE" + E + "INTR", 256) +
                       textRecord("NUMBER" + E + "10", 80) +
                       textRecord("BLOCKFACTOR" + E + "1", 80);
  std::string values;
  for (int i = 1; i <= 8; ++i) values += rightAligned(std::to_string(i), 10);
  values += "\n" + rightAligned("9", 10) + rightAligned("10", 10) + "\n";
  std::string body = "*DATASET\n" + header + "*DATA\n" + values + "*ENDDATASET\n";
  std::string frame = std::string("F\0\n", 3) + textOffset(static_cast<int64_t>(body.size()), 20) +
                      body + textOffset(static_cast<int64_t>(body.size()), 20);
  EXPECT_EQ(bytes(), infoBlock(0) + frame + "*CRASH\n");

  Header back;
  Data out;
  ASSERT_EQ(readAt(&m_file, 36, back.get(), out.get()), IO_OK) << allMessages();
  EXPECT_EQ(*back->m_numattrb, 2);
  EXPECT_STREQ(back->m_attributes[0], "units = m");
  EXPECT_EQ(std::string(back->m_attributes[1], 80), std::string(80, 'x'));
  EXPECT_EQ(*back->m_when, 7);
  ASSERT_EQ(*out.get()->m_numintr, 10);
  EXPECT_EQ(out.get()->m_intrarray[9], 10);
  close();
}

// ---------------------------------------------------------------------------------------------
// Chunks of compressed data sets

// The chunks of the data part of a u5 INTR data set: decompressed sizes, in order.
std::vector<size_t> chunkSizes(const std::string &file, size_t dataAt, size_t end) {
  std::vector<size_t> sizes;
  size_t at = dataAt;
  while (at + 4 <= end) {
    uint32_t length;
    memcpy(&length, file.data() + at, 4);
    at += 4;
    std::vector<unsigned char> out(1 << 20);
    uLongf outLength = out.size();
    uLong inLength = length;
    if (uncompress2(out.data(), &outLength, reinterpret_cast<const Bytef *>(file.data() + at),
                    &inLength) != Z_OK)
      break;
    sizes.push_back(outLength);
    at += length;
  }
  return sizes;
}

TEST_F(DatasetFileTest, CompressedDataSetIsWrittenAndReadInBlocks) {
  ASSERT_EQ(open("d"), IO_OK);
  const int n = 250000;
  std::vector<int32_t> values(n);
  for (int i = 0; i < n; ++i) values[i] = i % 1000;
  Data d;
  d.intr(values);
  Header h("big", "EVERY", 0, "INTR", n);
  ASSERT_EQ(writeOne(&m_file, "u5", h.get(), d.get()), IO_OK) << allMessages();
  EXPECT_EQ(*h->m_blockfactor, 100000);
  std::string file = bytes();
  std::string record = binRecord("BLOCKFACTOR" + E + "100000");
  size_t bf = file.find(record);
  ASSERT_NE(bf, std::string::npos);
  size_t dataAt = bf + record.size() + 4 + 5; // the "*DATA" tag
  size_t end = file.rfind("*ENDDATASET");
  EXPECT_EQ(chunkSizes(file, dataAt, end), (std::vector<size_t>{400000, 400000, 200000}));

  Header back;
  Data out;
  ASSERT_EQ(readAt(&m_file, 36, back.get(), out.get()), IO_OK) << allMessages();
  ASSERT_EQ(*out.get()->m_numintr, n);
  EXPECT_EQ(0, memcmp(out.get()->m_intrarray, values.data(), values.size() * 4));

  // Without a digit the same records go at once and no BLOCKFACTOR is stored.
  Header plain("plain", "EVERY", 0, "INTR", n);
  int64_t at = m_file.m_indexlocation;
  ASSERT_EQ(writeOne(&m_file, "u", plain.get(), d.get()), IO_OK);
  file = bytes();
  EXPECT_EQ(file.find("BLOCKFACTOR", static_cast<size_t>(at)), std::string::npos);
  EXPECT_EQ(file.size(),
            static_cast<size_t>(at) + 3 + 4 + 8 + 4 * n + 4 + 5 + 11 + 4 + 6 +
                binRecord("*HEADER").size() + binRecord("WHAT" + E + "plain").size() +
                binRecord("WHERE" + E + "EVERY").size() + binRecord("WHEN" + E + "0").size() +
                binRecord("NUMATTRB" + E + "0").size() + binRecord("DATATYPE" + E + "INTR").size() +
                binRecord("NUMBER" + E + "250000").size());
  close();
}

TEST_F(DatasetFileTest, ReadingConvertsBetweenRealAndDoubleInBlocks) {
  ASSERT_EQ(open("d"), IO_OK);
  const int n = 230;
  std::vector<double> values(n);
  for (int i = 0; i < n; ++i) values[i] = i * 0.5;
  Data d;
  d.dble(values);
  Header h("x", "y", 1, "DBLE", n);
  *h->m_blockfactor = 100;
  ASSERT_EQ(writeOne(&m_file, "l5", h.get(), d.get()), IO_OK) << allMessages();
  Header back;
  Data out;
  ASSERT_EQ(readAt(&m_file, 36, back.get(), out.get(), nullptr, "REAL"), IO_OK) << allMessages();
  EXPECT_EQ(*back->m_blockfactor, 100);
  ASSERT_EQ(*out.get()->m_numreal, n);
  for (int i = 0; i < n; ++i) ASSERT_FLOAT_EQ(out.get()->m_realarray[i], float(i * 0.5)) << i;
  // Types that do not convert are refused before any value is read.
  Data none;
  EXPECT_EQ(readAt(&m_file, 36, back.get(), none.get(), nullptr, "INTR"), IO_CONVERT_ERR);
  EXPECT_NE(allMessages().find("read_located_dataset_as: data not compatible with conversion\n"),
            std::string::npos);
  close();
}

// ---------------------------------------------------------------------------------------------
// Round trips and the stored index

TEST_F(DatasetFileTest, EveryFormatRoundTripsThroughTheStoredIndex) {
  const char *formats[] = {"F", "u", "U", "u1", "u9", "l", "L", "l5", "U5"};
  ASSERT_EQ(open("d"), IO_OK);
  int when = 0;
  for (const char *format : formats) {
    std::vector<int32_t> values(150 + when);
    for (size_t i = 0; i < values.size(); ++i) values[i] = static_cast<int32_t>(i * 7 - when);
    Data d;
    d.intr(values);
    Header h("values", format, when, "INTR", static_cast<int>(values.size()));
    ASSERT_EQ(writeOne(&m_file, format, h.get(), d.get()), IO_OK) << format << allMessages();
    Data s;
    s.strings({"first", "second", std::string(80, 'z')});
    Header hs("names", format, when, "STRI", 3);
    ASSERT_EQ(writeOne(&m_file, format, hs.get(), s.get()), IO_OK) << format << allMessages();
    ++when;
  }
  close();
  messages().clear();
  ASSERT_EQ(open("r"), IO_OK);
  EXPECT_TRUE(messages().empty()) << allMessages();
  std::vector<Entry> list = entries(&m_file);
  ASSERT_EQ(list.size(), 2 * std::size(formats));
  for (const Entry &e : list) {
    Header back;
    Data out;
    char format[3];
    ASSERT_EQ(readAt(&m_file, e.m_position, back.get(), out.get(), format), IO_OK)
        << e.m_what << e.m_where << allMessages();
    EXPECT_EQ(back->m_what, e.m_what);
    EXPECT_EQ(back->m_where, e.m_where);
    EXPECT_EQ(*back->m_when, e.m_when);
    // Writers use this machine's byte order.
    EXPECT_EQ(format[0],
              e.m_where[0] == 'F' ? 'F' : (e.m_where[0] == 'U' || e.m_where[0] == 'u' ? 'u' : 'l'));
    if (e.m_what == "values") {
      ASSERT_EQ(*out.get()->m_numintr, 150 + e.m_when);
      for (int32_t i = 0; i < *out.get()->m_numintr; ++i)
        ASSERT_EQ(out.get()->m_intrarray[i], i * 7 - e.m_when);
    } else {
      ASSERT_EQ(*out.get()->m_numstring, 3);
      EXPECT_STREQ(out.get()->m_stringarray[1], "second");
      EXPECT_EQ(std::string(out.get()->m_stringarray[2], 80), std::string(80, 'z'));
    }
  }
  close();
}

TEST_F(DatasetFileTest, OlderFileWithOffsetWidthTenKeepsIt) {
  writeFile(m_name, infoBlock(26, 10));
  ASSERT_EQ(open("d"), IO_OK) << allMessages();
  EXPECT_EQ(m_file.m_offsetwidth, 10);
  EXPECT_EQ(m_file.m_indexlocation, 26);
  Header h("A", "B", 0, "INTR", 0);
  Data d;
  ASSERT_EQ(writeOne(&m_file, "F", h.get(), d.get()), IO_OK);
  close();
  const std::string body = "*DATASET\n" + textHeader("A", "B", 0, "INTR", 0, 1) + "*ENDDATASET\n";
  const std::string frame =
      std::string("F\0\n", 3) + textOffset(772, 10) + body + textOffset(772, 10);
  const int64_t indexAt = 26 + static_cast<int64_t>(frame.size());
  const std::string index = indexFrame({entryText("A", "B", 0, 772, 26)}, indexAt, 10);
  EXPECT_EQ(readFile(m_name),
            infoBlock(indexAt + static_cast<int64_t>(index.size()), 10) + frame + index);
  messages().clear();
  ASSERT_EQ(open("r"), IO_OK);
  EXPECT_TRUE(messages().empty()) << allMessages();
  EXPECT_EQ(entries(&m_file).size(), 1u);
}

TEST_F(DatasetFileTest, DataSetsAppendedAfterReopeningGoWhereTheIndexStood) {
  ASSERT_EQ(open("w"), IO_OK);
  Header h("A", "B", 0, "INTR", 0);
  Data d;
  ASSERT_EQ(writeOne(&m_file, "u", h.get(), d.get()), IO_OK);
  int64_t indexAt = m_file.m_indexlocation;
  close();
  ASSERT_EQ(open("d"), IO_OK);
  EXPECT_EQ(m_file.m_indexlocation, indexAt);
  Header h2("A", "B", 1, "INTR", 0);
  ASSERT_EQ(writeOne(&m_file, "u", h2.get(), d.get()), IO_OK);
  close();
  ASSERT_EQ(open("r"), IO_OK);
  std::vector<Entry> list = entries(&m_file);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[1].m_position, indexAt);
  EXPECT_EQ(list[1].m_when, 1);
}

// ---------------------------------------------------------------------------------------------
// Failures of writing and reading

TEST_F(DatasetFileTest, InvalidNameHidesThePartialFrameBehindTheEndTag) {
  ASSERT_EQ(open("d"), IO_OK);
  Header h("A", "", 0, "INTR", 0);
  Data d;
  EXPECT_EQ(writeOne(&m_file, "F", h.get(), d.get()), IO_DATA_ERR);
  EXPECT_EQ(messages().front(), "write_header: invalid dataset name A::0\n");
  EXPECT_EQ(m_file.m_indexlocation, 36);
  EXPECT_EQ(indextable_count(m_file.m_indextable), 0);
  // Tag, length field and start tag were written; "*CRASH" covers their start.
  EXPECT_EQ(bytes(), infoBlock(0) + "*CRASH\n" + std::string(15, ' ') + "0\n" + "*DATASET\n");
  // A name holding ESC or a line feed would break the index entry: refused as well.
  Header esc(std::string("A") + E + "B", "B", 0, "INTR", 0);
  EXPECT_EQ(writeOne(&m_file, "u", esc.get(), d.get()), IO_DATA_ERR);
  Header lf("A\nB", "B", 0, "INTR", 0);
  EXPECT_EQ(writeOne(&m_file, "u", lf.get(), d.get()), IO_DATA_ERR);
  Header negative("A", "B", -1, "INTR", 0);
  EXPECT_EQ(writeOne(&m_file, "u", negative.get(), d.get()), IO_DATA_ERR);
  EXPECT_EQ(indextable_count(m_file.m_indextable), 0);
  close();
  ASSERT_EQ(open("r"), IO_OK);
  EXPECT_EQ(indextable_count(m_file.m_indextable), 0);
}

TEST_F(DatasetFileTest, ArraysThatDoNotHoldNumberAreRefusedBeforeWriting) {
  ASSERT_EQ(open("d"), IO_OK);
  Header h("A", "B", 0, "INTR", 5);
  Data d;
  d.intr({1, 2});
  EXPECT_EQ(writeOne(&m_file, "u", h.get(), d.get()), IO_MEMORY_ERR);
  EXPECT_EQ(*d.get()->m_numintr, 5);
  EXPECT_EQ(bytes(), infoBlock(0));
  Header bad("A", "B", 0, "INTR", 0);
  EXPECT_EQ(writeOne(&m_file, "Q", bad.get(), d.get()), IO_FORMAT_ERR);
}

TEST_F(DatasetFileTest, ReadFailuresGiveTheirMessages) {
  ASSERT_EQ(open("d"), IO_OK);
  Header h("A", "B", 0, "INTR", 3);
  Data d;
  d.intr({1, 2, 3});
  ASSERT_EQ(writeOne(&m_file, "u", h.get(), d.get()), IO_OK);
  Header back;
  // Arrays too small: 14 without a message, the counts hold the needs.
  Data small;
  messages().clear();
  ASSERT_EQ(io_seek(m_file.m_stream, 36, 0), 0);
  char format[3];
  EXPECT_EQ(read_located_dataset(captureMessage, format, back.get(), small.get(), &m_file),
            IO_MEMORY_ERR);
  EXPECT_EQ(*small.get()->m_numintr, 3);
  EXPECT_TRUE(messages().empty()) << allMessages();

  // Not at a tag.
  ASSERT_EQ(io_seek(m_file.m_stream, 0, 0), 0);
  EXPECT_EQ(read_located_dataset(captureMessage, format, back.get(), small.get(), &m_file),
            IO_READ_ERR);
  EXPECT_EQ(messages().front(), "read_located_dataset_start: the data set location is incorrect "
                                "(invalid format char '*'\n");

  close();

  // A deleted tag has no length field.
  const std::string good = readFile(m_name);
  std::string file = good;
  file[36] = 'D';
  writeFile(m_name, file);
  ASSERT_EQ(open("r"), IO_OK) << allMessages();
  messages().clear();
  ASSERT_EQ(io_seek(m_file.m_stream, 36, 0), 0);
  EXPECT_NE(read_located_dataset(captureMessage, format, back.get(), small.get(), &m_file), IO_OK);
  EXPECT_NE(allMessages().find("read_located_dataset_start: can't read data set length\n"),
            std::string::npos);
  close();

  // An overwritten end tag.
  file = good;
  size_t end = file.find("*ENDDATASET");
  file[end + 1] = 'X';
  writeFile(m_name, file);
  ASSERT_EQ(open("r"), IO_OK);
  messages().clear();
  Data big;
  EXPECT_EQ(readAt(&m_file, 36, back.get(), big.get()), IO_DATA_ERR);
  EXPECT_EQ(messages().back(), "read_located_dataset: bad data set end tag: expected *ENDDATASET "
                               "got \"*XNDDATASET\"\n");
}

TEST_F(DatasetFileTest, CompressedBinaryDataSetWithoutBlockFactorRecordIsRefused) {
  std::string body = "*DATASET" + binRecord("*HEADER") + binRecord("WHAT" + E + "A") +
                     binRecord("WHERE" + E + "B") + binRecord("WHEN" + E + "0") +
                     binRecord("NUMATTRB" + E + "0") + binRecord("DATATYPE" + E + "INTR") +
                     binRecord("NUMBER" + E + "1") + le32(5) + "*DATA" + le32(7) + "*ENDDATASET";
  std::string frame = "u5\n" + le32(body.size()) + body + le32(body.size());
  writeFile(m_name, infoBlock(0) + frame + "*CRASH");
  ASSERT_EQ(open("r"), IO_READ_ERR);
  EXPECT_NE(allMessages().find("read_header: blockfactor missing for compressed dataset in "
                               "dataset A:B:0 of format u5\n"),
            std::string::npos)
      << allMessages();
}

TEST_F(DatasetFileTest, TextCharactersThatEndALineOrAValueAreRefusedBeforeWriting) {
  ASSERT_EQ(open("d"), IO_OK);
  const std::string bad[] = {"a\nb", "a" + E + "b", std::string("a\0b", 3)};
  for (const std::string &value : bad) {
    for (const char *type : {"CHAR", "LOGL"}) {
      Header h("A", "B", 0, type, 3);
      Data d;
      d.chars(value);
      if (std::string(type) == "LOGL") {
        IO_data *data = d.get();
        std::swap(data->m_loglarray, data->m_chararray);
        std::swap(data->m_numlogl, data->m_numchar);
      }
      messages().clear();
      EXPECT_EQ(writeOne(&m_file, "F", h.get(), d.get()), IO_DATA_ERR) << type;
      EXPECT_EQ(allMessages(), std::string("write_dataset: ") + type +
                                   " value 2 of dataset A:B:0 holds a line feed, ESC or NUL "
                                   "character, which the text format cannot store\n");
      if (std::string(type) == "LOGL") {
        IO_data *data = d.get();
        std::swap(data->m_loglarray, data->m_chararray);
        std::swap(data->m_numlogl, data->m_numchar);
      }
    }
  }
  EXPECT_TRUE(entries(&m_file).empty());
  // Binary formats store every byte.
  Header h("A", "B", 0, "CHAR", 3);
  Data d;
  d.chars(std::string("a\0\n", 3));
  ASSERT_EQ(writeOne(&m_file, "u", h.get(), d.get()), IO_OK);
  Header back;
  Data got;
  ASSERT_EQ(readAt(&m_file, entries(&m_file)[0].m_position, back.get(), got.get()), IO_OK);
  EXPECT_EQ(std::string(got.get()->m_chararray, 3), std::string("a\0\n", 3));
  close();
}

TEST_F(DatasetFileTest, LevelZeroDataSetsCarryABlockFactorRecordAndReadWithOrWithoutIt) {
  // Another writer's "u0": a digit, so a block factor record, and plain values.
  const std::string common = "*DATASET" + binRecord("*HEADER") + binRecord("WHAT" + E + "A") +
                             binRecord("WHERE" + E + "B") + binRecord("WHEN" + E + "0") +
                             binRecord("NUMATTRB" + E + "0") + binRecord("DATATYPE" + E + "INTR") +
                             binRecord("NUMBER" + E + "2");
  const std::string data = le32(5) + "*DATA" + le32(41) + le32(42) + "*ENDDATASET";
  const std::string withRecord = common + binRecord("BLOCKFACTOR" + E + "1") + data;
  const std::string without = common + data; // as this library once wrote it
  for (const std::string &body : {withRecord, without}) {
    std::string frame = "u0\n" + le32(body.size()) + body + le32(body.size());
    writeFile(m_name, infoBlock(0) + frame + "*CRASH");
    ASSERT_EQ(open("r"), IO_OK) << allMessages();
    Header h;
    Data d;
    ASSERT_EQ(readAt(&m_file, 36, h.get(), d.get()), IO_OK) << allMessages();
    EXPECT_EQ(d.get()->m_intrarray[0], 41);
    EXPECT_EQ(d.get()->m_intrarray[1], 42);
    close();
  }
  // Written under "u0" directly, the layout is that of the tag.
  writeFile(m_name, "");
  ASSERT_EQ(open("d"), IO_OK);
  Header h("A", "B", 0, "INTR", 2);
  Data d;
  d.intr({41, 42});
  ASSERT_EQ(writeOne(&m_file, "u0", h.get(), d.get()), IO_OK) << allMessages();
  EXPECT_EQ(bytes().substr(36, 3 + 4 + withRecord.size()), "u0\n" + le32(withRecord.size()) + withRecord);
  close();
}

// ---------------------------------------------------------------------------------------------
// Checks of the file start

struct StartCase {
  std::string m_bytes;
  int m_status;
  std::string m_message;
};

TEST_F(DatasetFileTest, FileStartChecksGiveTheirMessages) {
  const std::vector<StartCase> cases = {
      {"*INFO\r\n" + std::string(19, ' ') + "0\r\n", IO_BAD_FILE,
       "openfile: corrupt file: the file contains Windows-style CR-LF line endings.  If this is a "
       "copy of the original file, please try again, ensuring you do the copy in binary mode.\n"},
      {"*INFO\rX" + std::string(20, ' '), IO_BAD_FILE,
       "openfile: corrupt file: the line endings are incorrect.  If this is a copy of the "
       "original file, please try again, ensuring you do the copy in binary mode.\n"},
      {"*INFOX\n" + std::string(20, ' '), IO_BAD_FILE,
       "openfile: corrupt file: trailing garbage after start tag.\n"},
      {"#INFO\n" + std::string(20, ' '), IO_BAD_FILE,
       "iif_open: the file is not in WEZ-5.x format\n"},
      {"*INFO\n" + std::string(14, ' ') + "0\n*ENDINFO\n", IO_READ_ERR,
       "iif_open: offset format 15 is not currently supported (or bad file header)\n"},
      // (Part of the information block of a new file would be what a creation cut off leaves.)
      {"*INFO\r", IO_READ_ERR, "iif_open: can't read the first seven characters: Success\n"},
  };
  for (const StartCase &c : cases) {
    writeFile(m_name, c.m_bytes);
    messages().clear();
    EXPECT_EQ(open("d"), c.m_status) << c.m_message;
    ASSERT_FALSE(messages().empty()) << c.m_message;
    EXPECT_EQ(messages().front(), c.m_message);
    EXPECT_FALSE(iif_is_open(&m_file));
    // A failed open leaves no lock behind and the file as it was.
    EXPECT_FALSE(fileExists(m_name + ".lck")) << c.m_message;
    EXPECT_EQ(readFile(m_name), c.m_bytes);
  }
}

// A pipe under the name is refused at once, in every mode, rather than waited on for a writer.
TEST_F(DatasetFileTest, APipeIsRefusedRatherThanWaitedOn) {
  ASSERT_EQ(mkfifo(m_name.c_str(), 0644), 0);
  EXPECT_EQ(zyrtest::inChild(
                [&] {
                  std::string found;
                  for (const char *access : {"r", "d", "w"}) {
                    messages().clear();
                    if (open(access) != IO_OPEN_ERR || allMessages().find("Illegal seek") == std::string::npos)
                      found += std::string(access) + ": " + allMessages();
                  }
                  return found;
                },
                20),
            "");
}

TEST_F(DatasetFileTest, OpenArgumentsAndMissingFiles) {
  EXPECT_EQ(open("x"), IO_OPEN_ERR);
  EXPECT_EQ(messages().back(), "iif_open: unknown access code x\n");
  EXPECT_FALSE(fileExists(m_name));
  EXPECT_EQ(iif_open_file(&m_file, nullptr, "r"), IO_OPEN_ERR);
  EXPECT_EQ(messages().back(), "iif_open: filename is NULL\n");
  messages().clear();
  EXPECT_EQ(open("r"), IO_OPEN_ERR);
  EXPECT_EQ(messages().back(),
            "iif_open: can't open file " + m_name + ": No such file or directory\n");
  EXPECT_FALSE(fileExists(m_name));
  EXPECT_FALSE(fileExists(m_name + ".lck"));
}

TEST_F(DatasetFileTest, OpeningForWritingNeverTruncates) {
  ASSERT_EQ(open("w"), IO_OK);
  Header h("A", "B", 0, "INTR", 0);
  Data d;
  ASSERT_EQ(writeOne(&m_file, "u", h.get(), d.get()), IO_OK);
  close();
  std::string before = readFile(m_name);
  ASSERT_EQ(open("w"), IO_OK);
  EXPECT_EQ(bytes(), before);
  EXPECT_EQ(entries(&m_file).size(), 1u);
}

TEST_F(DatasetFileTest, DescriptorsAreCloseOnExec) {
  ASSERT_EQ(open("d"), IO_OK);
  int flags = fcntl(fileno(m_file.m_stream), F_GETFD);
  EXPECT_TRUE(flags & FD_CLOEXEC);
}

TEST_F(DatasetFileTest, OpenNewReleasesEverythingOnFailure) {
  writeFile(m_name, "garbage!");
  IO_file *record = reinterpret_cast<IO_file *>(1);
  EXPECT_EQ(iif_open_new(&record, m_name.c_str(), "d"), IO_BAD_FILE);
  EXPECT_EQ(record, nullptr);
  EXPECT_FALSE(fileExists(m_name + ".lck"));
  ASSERT_EQ(iif_open_new(&record, m_dir.file("new.wez").c_str(), "d"), IO_OK);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(iif_close_free(record), IO_OK);
}

TEST_F(DatasetFileTest, OwnFormatFollowsWezFormat) {
  EXPECT_EXIT(
      {
        unsetenv("WEZ_FORMAT");
        IO_file f;
        iif_clear_record(&f);
        f.m_callback = captureMessage;
        bool ok = strcmp(iif_get_format(&f), "u5") == 0;
        iif_set_format(&f, "L");
        ok = ok && strcmp(iif_get_format(&f), "l") == 0;
        iif_free_contents(&f);
        setenv("WEZ_FORMAT", "Q1", 1);
        ok = ok && strcmp(iif_get_format(&f), "u5") == 0 &&
             messages().back() ==
                 "Invalid format string \"Q1\" in WEZ_FORMAT environment variable\n";
        iif_free_contents(&f);
        setenv("WEZ_FORMAT", "U9x", 1);
        ok = ok && strcmp(iif_get_format(&f), "u9x") == 0;
        iif_set_format(&f, "F"); // the environment decides
        ok = ok && strcmp(iif_get_format(&f), "u9x") == 0;
        iif_free_contents(&f);
        zyrtest::leaveChild(ok ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

} // namespace

namespace {

TEST_F(DatasetFileTest, PlainTextFilesHaveNoInformationBlock) {
  ASSERT_EQ(iif_open_plain(&m_file, m_name.c_str(), "w"), IO_OK) << allMessages();
  EXPECT_EQ(readFile(m_name + ".lck"), "        -1\n");
  ASSERT_GE(fputs("free text\n", m_file.m_stream), 0);
  EXPECT_EQ(iif_close_text(&m_file), IO_OK);
  EXPECT_FALSE(iif_is_open(&m_file));
  EXPECT_EQ(readFile(m_name), "free text\n");
  EXPECT_FALSE(fileExists(m_name + ".lck"));
}

} // namespace
