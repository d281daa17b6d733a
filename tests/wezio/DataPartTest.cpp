// Data parts of data sets, text and binary in both byte orders, against layouts built by hand.
#include "data_part.h"
#include "io_alloc.h"
#include "iodata.h"
#include "lowlevel_io.h"
#include "wezio_test_util.h"

#include <gtest/gtest.h>

#include <climits>
#include <memory>

using namespace wezio_test;

namespace {

const std::string kEsc(1, '\x1b');

class DataPartTest : public testing::Test {
protected:
  void SetUp() override {
    messages().clear();
    m_data = iodata_alloc(captureMessage);
  }
  void TearDown() override {
    io_alloc_fail(-1, 0);
    iodata_free(captureMessage, m_data);
  }
  // Sizes the arrays of m_data for NUMBER records of the type (the reader's two-step dance).
  void size(const char *format, int64_t number, const char *type) {
    check_memory(captureMessage, format, number, type, m_data);
    ASSERT_EQ(iodata_alloc_arrays(captureMessage, m_data), IO_OK);
  }
  // Writes NUMBER records with write_data and answers the bytes written.
  std::string written(const char *format, int64_t number, const char *type) {
    m_file.reset("");
    EXPECT_EQ(write_data(captureMessage, format, fp(), number, type, m_data), IO_OK)
        << allMessages();
    return m_file.bytes();
  }
  // Reads NUMBER records from the given bytes into a fresh record, enlarging it on 14.
  IO_data *readBack(const std::string &bytes, const char *format, int64_t number, const char *type,
                    int expected = IO_OK) {
    m_file.reset(bytes);
    IO_data *back = iodata_alloc(captureMessage);
    m_back.reset(back);
    int status = read_data(captureMessage, format, fp(), number, type, back);
    if (status == IO_MEMORY_ERR) {
      EXPECT_EQ(io_tell(fp()), 0);
      EXPECT_EQ(iodata_alloc_arrays(captureMessage, back), IO_OK);
      status = read_data(captureMessage, format, fp(), number, type, back);
    }
    EXPECT_EQ(status, expected) << allMessages();
    return back;
  }
  struct Freer {
    void operator()(IO_data *d) const { iodata_free(nullptr, d); }
  };
  ScratchStream m_file;
  IO_data *m_data = nullptr;
  std::unique_ptr<IO_data, Freer> m_back;
  FILE *fp() { return m_file.m_stream; }
};

// ---------------------------------------------------------------------------------------------
// The tag

TEST_F(DataPartTest, DataTagInEveryForm) {
  ASSERT_EQ(write_datatag(captureMessage, "F", fp()), IO_OK);
  EXPECT_EQ(m_file.bytes(), "*DATA\n");
  m_file.reset("");
  ASSERT_EQ(write_datatag(captureMessage, "u5", fp()), IO_OK);
  EXPECT_EQ(m_file.bytes(), le32(5) + "*DATA");

  m_file.reset("*DATA   \n");
  EXPECT_EQ(read_datatag(captureMessage, "F", fp()), IO_OK);
  m_file.reset(be32(5) + "*DATA");
  EXPECT_EQ(read_datatag(captureMessage, "U", fp()), IO_OK);
  m_file.reset(le32(5) + "*DATA");
  EXPECT_EQ(read_datatag(captureMessage, "l", fp()), IO_OK);
  EXPECT_TRUE(messages().empty()) << allMessages();

  m_file.reset(le32(6) + "*DATA!");
  EXPECT_EQ(read_datatag(captureMessage, "u", fp()), IO_FORMAT_ERR);
  EXPECT_EQ(allMessages(), "read_datatag: bad tag length, read 6, should be 5\n");
  messages().clear();
  m_file.reset(le32(5) + "*DATO");
  EXPECT_EQ(read_datatag(captureMessage, "u", fp()), IO_READ_ERR);
  EXPECT_EQ(allMessages(), "read_datatag: read data tag failed\n");
  messages().clear();
  m_file.reset("*DATASET\n");
  EXPECT_EQ(read_datatag(captureMessage, "F", fp()), IO_MEMORY_ERR);
  EXPECT_NE(allMessages().find("read_datatag: read data tag failed\n"), std::string::npos);
  messages().clear();
  m_file.reset(le32(5) + "*DA");
  EXPECT_EQ(read_datatag(captureMessage, "u", fp()), IO_READ_ERR);
}

// ---------------------------------------------------------------------------------------------
// Plain arrays

TEST_F(DataPartTest, IntrArrayInTextAndBothByteOrders) {
  *m_data->m_numintr = 10;
  ASSERT_EQ(iodata_alloc_arrays(captureMessage, m_data), IO_OK);
  for (int i = 0; i < 10; ++i) m_data->m_intrarray[i] = i == 9 ? -70000 : i + 1;

  std::string text;
  for (int i = 1; i <= 8; ++i) text += rightAligned(std::to_string(i), 10);
  text += "\n" + rightAligned("9", 10) + rightAligned("-70000", 10) + "\n";
  EXPECT_EQ(written("F", 10, "INTR"), text);
  // Two values a record: the same values, the same layout.
  EXPECT_EQ(written("F", 5, "STRC{INTR:2}"), text);

  std::string little, big;
  for (int i = 0; i < 10; ++i) {
    little += le32(static_cast<uint32_t>(m_data->m_intrarray[i]));
    big += be32(static_cast<uint32_t>(m_data->m_intrarray[i]));
  }
  EXPECT_EQ(written("u", 10, "INTR"), little);
  EXPECT_EQ(written("l5", 10, "INTR"), little); // too few values to compress

  std::vector<std::pair<std::string, const char *>> forms = {
      {text, "F"}, {little, "u"}, {big, "U"}, {big, "L9"}};
  for (const auto &[bytes, format] : forms) {
    IO_data *back = readBack(bytes, format, 10, "INTR");
    ASSERT_EQ(*back->m_numintr, 10);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(back->m_intrarray[i], m_data->m_intrarray[i]) << format;
    EXPECT_EQ(io_tell(fp()), static_cast<int64_t>(bytes.size()));
  }
  EXPECT_TRUE(messages().empty()) << allMessages();
}

TEST_F(DataPartTest, RealDbleAndLoglArrays) {
  *m_data->m_numreal = 5;
  *m_data->m_numdble = 2;
  *m_data->m_numlogl = 17;
  ASSERT_EQ(iodata_alloc_arrays(captureMessage, m_data), IO_OK);
  const float reals[5] = {1.5f, -2.25f, 0.0f, 1024.0f, 7.0f};
  memcpy(m_data->m_realarray, reals, sizeof reals);
  m_data->m_dblearray[0] = 0.1;
  m_data->m_dblearray[1] = -3.0;
  for (int i = 0; i < 17; ++i) m_data->m_loglarray[i] = i % 2 ? 'T' : 'F';

  // Every write sets the counts to what its type needs: give them back before the next one.
  auto counts = [this]() {
    *m_data->m_numreal = 5;
    *m_data->m_numdble = 2;
    *m_data->m_numlogl = 17;
  };
  EXPECT_EQ(written("F", 5, "REAL"), "   1.50000000000E+00  -2.25000000000E+00   0.00000000000E+00"
                                     "   1.02400000000E+03\n   7.00000000000E+00\n");
  // Plain text doubles are narrowed to single precision, with the warning.
  messages().clear();
  m_file.reset("");
  counts();
  ASSERT_EQ(write_data(captureMessage, "F", fp(), 2, "DBLE", m_data), IO_OK);
  EXPECT_EQ(m_file.bytes(), "   1.00000001490E-01  -3.00000000000E+00\n");
  EXPECT_EQ(
      allMessages(),
      "Warning: formatted floating point data is only written to single-precision accuracy\n");
  messages().clear();
  std::string logl;
  for (int i = 0; i < 16; ++i) logl += std::string(4, ' ') + (i % 2 ? "T" : "F");
  counts();
  EXPECT_EQ(written("F", 17, "LOGL"), logl + "\n    F\n");

  std::string reals32, dbles64, logls;
  for (float v : reals) reals32 += be32(floatBits(v));
  dbles64 = be64(doubleBits(0.1)) + be64(doubleBits(-3.0));
  for (int i = 0; i < 17; ++i) logls += m_data->m_loglarray[i];
  IO_data *back = readBack(reals32, "U", 5, "REAL");
  for (int i = 0; i < 5; ++i) EXPECT_EQ(back->m_realarray[i], reals[i]);
  back = readBack(dbles64, "L", 2, "DBLE");
  EXPECT_EQ(back->m_dblearray[0], 0.1);
  EXPECT_EQ(back->m_dblearray[1], -3.0);
  back = readBack(logls, "U", 17, "LOGL"); // single bytes have no order
  EXPECT_EQ(std::string(back->m_loglarray, 17), logls);
  back = readBack("   1.00000001490E-01  -3.00000000000E+00\n", "F", 2, "DBLE");
  EXPECT_EQ(static_cast<float>(back->m_dblearray[0]), 0.1f);
}

TEST_F(DataPartTest, StringArraysPadAndTerminate) {
  *m_data->m_numstring = 3;
  ASSERT_EQ(iodata_alloc_arrays(captureMessage, m_data), IO_OK);
  memset(m_data->m_stringarray, 'X', 3 * sizeof(IO_string)); // what lies after a terminator
  strcpy(m_data->m_stringarray[0], "abc");
  strcpy(m_data->m_stringarray[1], "");
  memcpy(m_data->m_stringarray[2], "123456", 6); // longer than the item, no terminator

  EXPECT_EQ(written("F", 3, "STRI:5"), "abc  \n     \n12345\n");
  // Binary: c bytes a string, NULs after the text rather than the slot's leftovers.
  std::string bytes = std::string("abc\0\0", 5) + std::string(5, '\0') + "12345";
  EXPECT_EQ(written("u", 3, "STRI:5"), bytes);

  IO_data *back = readBack(bytes, "U", 3, "STRI:5");
  ASSERT_EQ(*back->m_numstring, 3);
  EXPECT_STREQ(back->m_stringarray[0], "abc");
  EXPECT_STREQ(back->m_stringarray[1], "");
  EXPECT_STREQ(back->m_stringarray[2], "12345");
  // Text loses trailing blanks; an all-blank string keeps one blank.
  back = readBack("abc  \n     \n12345\n", "F", 3, "STRI:5");
  EXPECT_STREQ(back->m_stringarray[0], "abc");
  EXPECT_STREQ(back->m_stringarray[1], " ");
  EXPECT_STREQ(back->m_stringarray[2], "12345");

  // A line longer than its string is bad data (12), not a call for larger arrays (14).
  messages().clear();
  readBack("abcdefg\n", "F", 1, "STRI:5", IO_DATA_ERR);
  EXPECT_EQ(allMessages(), "wezreadString: read too many characters: f\n");

  // Full 80-character slots lie back to back and are read in one piece.
  std::string full(160, 'q');
  full[79] = 'Z';
  back = readBack(full, "u", 2, "STRI");
  EXPECT_EQ(std::string(back->m_stringarray[0], 80), full.substr(0, 80));
  EXPECT_EQ(std::string(back->m_stringarray[1], 80), full.substr(80));
}

TEST_F(DataPartTest, CharArrayIsOneLineOrTheBytes) {
  ASSERT_EQ(iodata_set_chars(captureMessage, m_data, "ab cd", -1), IO_OK);
  EXPECT_EQ(written("F", 5, "CHAR"), "ab cd\n");
  // One item, even in a structure string, is a plain array.
  EXPECT_EQ(written("F", 1, "STRC{CHAR:5}"), "ab cd\n");
  EXPECT_EQ(written("u", 5, "CHAR"), "ab cd");
  *m_data->m_numlogl = 1;
  ASSERT_EQ(iodata_alloc_arrays(captureMessage, m_data), IO_OK);
  m_data->m_loglarray[0] = 'd';
  EXPECT_EQ(written("F", 1, "STRC{CHAR:4 LOGL:1}"), "ab c" + kEsc + "d" + kEsc + "\n");
  IO_data *back = readBack("ab   \n", "F", 5, "CHAR");
  EXPECT_EQ(std::string(back->m_chararray, 5), std::string("ab\0\0\0", 5));
}

// ---------------------------------------------------------------------------------------------
// Structures

TEST_F(DataPartTest, BinaryStructureIsOneBlockOfPackedRecords) {
  size("u", 3, "STRC{INTR:2 REAL:1}");
  for (int r = 0; r < 3; ++r) {
    m_data->m_intrarray[2 * r] = r;
    m_data->m_intrarray[2 * r + 1] = -r - 100;
    m_data->m_realarray[r] = 0.5f * static_cast<float>(r);
  }
  std::string little, big;
  for (int r = 0; r < 3; ++r) {
    little += le32(static_cast<uint32_t>(r)) + le32(static_cast<uint32_t>(-r - 100)) +
              le32(floatBits(0.5f * static_cast<float>(r)));
    big += be32(static_cast<uint32_t>(r)) + be32(static_cast<uint32_t>(-r - 100)) +
           be32(floatBits(0.5f * static_cast<float>(r)));
  }
  EXPECT_EQ(written("u", 3, "STRC{INTR:2 REAL:1}"), little);
  EXPECT_EQ(little.size(), 36u);
  EXPECT_EQ(written("l7", 3, "STRC{INTR:2 REAL:1}"), little); // under 100 bytes: not compressed

  IO_data *back = readBack(big, "U", 3, "STRC{INTR:2 REAL:1}");
  ASSERT_EQ(*back->m_numintr, 6);
  ASSERT_EQ(*back->m_numreal, 3);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(back->m_intrarray[i], m_data->m_intrarray[i]);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(back->m_realarray[i], m_data->m_realarray[i]);

  // The binary structure reader by items takes the big-endian block the same way.
  const int32_t types[2] = {IO_TYPE_INTR, IO_TYPE_REAL}, counts[2] = {2, 1};
  m_file.reset(big);
  IO_data *items = iodata_alloc(captureMessage);
  m_back.reset(items);
  check_memory(captureMessage, "U", 3, "STRC{INTR:2 REAL:1}", items);
  ASSERT_EQ(iodata_alloc_arrays(captureMessage, items), IO_OK);
  ASSERT_EQ(read_unfmt_structure(captureMessage, "U", fp(), 3, types, counts, 12, 2, items), IO_OK) << allMessages();
  for (int i = 0; i < 6; ++i) EXPECT_EQ(items->m_intrarray[i], m_data->m_intrarray[i]);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(items->m_realarray[i], m_data->m_realarray[i]);
  EXPECT_EQ(read_unfmt_structure(captureMessage, "F", fp(), 3, types, counts, 12, 2, items), IO_MEMORY_ERR);
  EXPECT_EQ(allMessages(), "read_unfmt_structure: passing parameters are wrong\n");
  messages().clear();

  // One plain array written alone is the array's bytes, in the format's order.
  m_file.reset("");
  ASSERT_EQ(write_single_dataarray(captureMessage, "U", fp(), 3, IO_TYPE_REAL, 1, m_data), IO_OK) << allMessages();
  std::string reals;
  for (int r = 0; r < 3; ++r) reals += be32(floatBits(0.5f * static_cast<float>(r)));
  EXPECT_EQ(m_file.bytes(), reals);
  EXPECT_EQ(write_single_dataarray(captureMessage, "U", fp(), 3, IO_TYPE_REAL, -1, m_data), IO_MEMORY_ERR);
  EXPECT_EQ(allMessages(), "write_single_dataarray: passing parameters are wrong\n");
}

TEST_F(DataPartTest, StringItemsTakeTheirOwnLength) {
  // An STRI:c item packs c bytes, so the record is 4 + 5 + 8 = 17 bytes.
  int32_t types[3] = {IO_TYPE_INTR, IO_TYPE_STRI, IO_TYPE_DBLE};
  int32_t counts[3] = {1, 5, 1};
  int64_t width = 0, totals[IO_TYPE_END];
  ASSERT_EQ(structure_sizes(captureMessage, "u", 3, types, counts, &width, totals), IO_OK);
  EXPECT_EQ(width, 17);
  EXPECT_EQ(totals[IO_TYPE_STRI], 1);
  ASSERT_EQ(structure_sizes(captureMessage, "F", 3, types, counts, &width, totals), IO_OK);
  EXPECT_EQ(width, 12 + 6 + 21);

  const char *type = "STRC{INTR:1 STRI:5 DBLE:1}";
  size("u", 2, type);
  memset(m_data->m_stringarray, 'X', 2 * sizeof(IO_string));
  m_data->m_intrarray[0] = 7;
  m_data->m_intrarray[1] = -8;
  strcpy(m_data->m_stringarray[0], "hi");
  strcpy(m_data->m_stringarray[1], "world!");
  m_data->m_dblearray[0] = 0.25;
  m_data->m_dblearray[1] = 1e300;
  std::string bytes = le32(7) + std::string("hi\0\0\0", 5) + le64(doubleBits(0.25)) +
                      le32(static_cast<uint32_t>(-8)) + "world" + le64(doubleBits(1e300));
  EXPECT_EQ(written("u", 2, type), bytes);
  IO_data *back = readBack(bytes, "u", 2, type);
  EXPECT_STREQ(back->m_stringarray[0], "hi");
  EXPECT_STREQ(back->m_stringarray[1], "world");
  EXPECT_EQ(back->m_dblearray[1], 1e300);
  EXPECT_EQ(back->m_intrarray[1], -8);
}

TEST_F(DataPartTest, TextStructureIsOneLineARecord) {
  const char *type = "STRC{INTR:2 REAL:1}";
  size("F", 3, type);
  for (int r = 0; r < 3; ++r) {
    m_data->m_intrarray[2 * r] = r;
    m_data->m_intrarray[2 * r + 1] = r == 2 ? INT32_MIN : 10 * r;
    m_data->m_realarray[r] = 1.5f + static_cast<float>(r);
  }
  std::string expected;
  const char *reals[3] = {"   1.50000000000E+00", "   2.50000000000E+00", "   3.50000000000E+00"};
  for (int r = 0; r < 3; ++r)
    expected += rightAligned(std::to_string(r), 10) + kEsc +
                rightAligned(std::to_string(m_data->m_intrarray[2 * r + 1]), 10) + kEsc + reals[r] +
                kEsc + "\n";
  EXPECT_EQ(written("F", 3, type), expected);
  EXPECT_NE(expected.find("-2147483648" + kEsc), std::string::npos); // wider, never cut

  IO_data *back = readBack(expected, "F", 3, type);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(back->m_intrarray[i], m_data->m_intrarray[i]);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(back->m_realarray[i], m_data->m_realarray[i]);

  // The structure calls by items give the same lines and read them back the same.
  const int32_t types[2] = {IO_TYPE_INTR, IO_TYPE_REAL}, counts[2] = {2, 1};
  int64_t width = 0, totals[IO_TYPE_END];
  ASSERT_EQ(structure_sizes(captureMessage, "F", 2, types, counts, &width, totals), IO_OK);
  m_file.reset("");
  ASSERT_EQ(write_fmt_structure(captureMessage, fp(), 3, types, counts, width, 2, m_data), IO_OK) << allMessages();
  EXPECT_EQ(m_file.bytes(), expected);
  m_file.reset(expected);
  IO_data *items = iodata_alloc(captureMessage);
  m_back.reset(items);
  check_memory(captureMessage, "F", 3, type, items);
  ASSERT_EQ(iodata_alloc_arrays(captureMessage, items), IO_OK);
  ASSERT_EQ(read_fmt_structure(captureMessage, fp(), 3, types, counts, width, 2, items), IO_OK) << allMessages();
  for (int i = 0; i < 6; ++i) EXPECT_EQ(items->m_intrarray[i], m_data->m_intrarray[i]);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(items->m_realarray[i], m_data->m_realarray[i]);
  EXPECT_EQ(write_fmt_structure(captureMessage, nullptr, 3, types, counts, width, 2, m_data), IO_MEMORY_ERR);
  EXPECT_EQ(read_fmt_structure(captureMessage, fp(), 3, types, counts, width, 2, nullptr), IO_MEMORY_ERR);
  EXPECT_EQ(allMessages(), "write_fmt_structure: passing parameters are wrong\n"
                           "read_fmt_structure: passing parameters are wrong\n");
}

TEST_F(DataPartTest, TextStructureCarriesStringsCharsAndFullDoubles) {
  const char *type = "STRC{STRI:6 CHAR:3 LOGL:2 DBLE:1}";
  size("F", 2, type);
  strcpy(m_data->m_stringarray[0], "a b ");
  strcpy(m_data->m_stringarray[1], "");
  memcpy(m_data->m_chararray, "xy\0pqr", 6);
  memcpy(m_data->m_loglarray, "TFFT", 4);
  m_data->m_dblearray[0] = 0.1;
  m_data->m_dblearray[1] = -2.0;
  std::string expected = "a b " + kEsc + "xy" + kEsc + "T" + kEsc + "F" + kEsc +
                         "   1.00000000000E-01" + kEsc + "\n" + kEsc + "pqr" + kEsc + "F" + kEsc +
                         "T" + kEsc + "  -2.00000000000E+00" + kEsc + "\n";
  messages().clear();
  EXPECT_EQ(written("F", 2, type), expected);
  EXPECT_TRUE(messages().empty()) << allMessages(); // full precision here, no warning

  IO_data *back = readBack(expected, "F", 2, type);
  EXPECT_STREQ(back->m_stringarray[0], "a b "); // the ESC keeps trailing blanks
  EXPECT_STREQ(back->m_stringarray[1], "");     // an empty string stays a value of its own
  EXPECT_EQ(std::string(back->m_chararray, 6), std::string("xy\0pqr", 6));
  EXPECT_EQ(std::string(back->m_loglarray, 4), "TFFT");
  EXPECT_EQ(back->m_dblearray[0], 0.1);
  EXPECT_EQ(back->m_dblearray[1], -2.0);
}

TEST_F(DataPartTest, TextStructureLinesShortOrWithoutSeparators) {
  const char *type = "STRC{INTR:2 REAL:1}";
  IO_data *back = readBack("        42" + kEsc + "\n", "F", 1, type);
  EXPECT_EQ(back->m_intrarray[0], 42);
  EXPECT_EQ(back->m_intrarray[1], 0); // the record ended early
  EXPECT_EQ(back->m_realarray[0], 0.0f);

  messages().clear();
  readBack("        42\n", "F", 1, type, IO_DATA_ERR);
  EXPECT_EQ(allMessages(), "read_data: no string terminator to seperate different data\n");
  messages().clear();
  size("F", 1, type);
  m_file.reset("");
  EXPECT_EQ(read_data(captureMessage, "F", fp(), 1, type, m_data), IO_READ_ERR);
  EXPECT_NE(allMessages().find("read_data: read data failed\n"), std::string::npos);
}

// ---------------------------------------------------------------------------------------------
// Memory check

TEST_F(DataPartTest, ReaderAsksForArraysThenReads) {
  std::string records;
  for (int r = 0; r < 3; ++r)
    records += le32(static_cast<uint32_t>(6 * r)) + le32(static_cast<uint32_t>(6 * r + 3)) +
               le32(floatBits(1.0f + static_cast<float>(r)));
  m_file.reset(records);
  const char *type = "STRC{INTR:2 REAL:1}";
  *m_data->m_numlogl = 12; // counts are set to the needs, also those not needed
  EXPECT_EQ(read_data(captureMessage, "u", fp(), 3, type, m_data), IO_MEMORY_ERR);
  EXPECT_EQ(*m_data->m_numintr, 6);
  EXPECT_EQ(*m_data->m_numreal, 3);
  EXPECT_EQ(*m_data->m_numlogl, 0);
  EXPECT_EQ(io_tell(fp()), 0);
  EXPECT_TRUE(messages().empty());
  ASSERT_EQ(iodata_alloc_arrays(captureMessage, m_data), IO_OK);
  ASSERT_EQ(read_data(captureMessage, "u", fp(), 3, type, m_data), IO_OK);
  EXPECT_EQ(m_data->m_intrarray[5], 15);
  EXPECT_EQ(m_data->m_realarray[2], 3.0f);

  // Larger arrays than needed: the counts shrink to the needs.
  *m_data->m_numintr = 20;
  ASSERT_EQ(iodata_alloc_arrays(captureMessage, m_data), IO_OK);
  EXPECT_EQ(check_memory(captureMessage, "u", 3, type, m_data), IO_OK);
  EXPECT_EQ(*m_data->m_numintr, 6);
}

TEST_F(DataPartTest, NullCountReferencesMeanAbsentArrays) {
  IO_data data;
  iodata_init(captureMessage, &data);
  int32_t intrs[4] = {1, 2, 3, 4};
  int32_t numintr = 4;
  data.m_intrarray = intrs;
  data.m_numintr = &numintr;
  data.m_numchar = nullptr;
  data.m_numreal = nullptr;
  data.m_numdble = nullptr;
  data.m_numlogl = nullptr;
  data.m_numstring = nullptr;
  EXPECT_EQ(check_memory(captureMessage, "u", 4, "INTR", &data), IO_OK);
  ASSERT_EQ(write_data(captureMessage, "u", fp(), 4, "INTR", &data), IO_OK);
  EXPECT_EQ(m_file.bytes(), le32(1) + le32(2) + le32(3) + le32(4));
  // A needed type without a count cannot be held, and nothing is written through the NULL.
  EXPECT_EQ(check_memory(captureMessage, "u", 4, "STRC{INTR:1 REAL:1}", &data), IO_MEMORY_ERR);
  EXPECT_EQ(numintr, 4);
  m_file.reset(std::string(32, '\0'));
  EXPECT_EQ(read_data(captureMessage, "u", fp(), 4, "STRC{INTR:1 REAL:1}", &data), IO_MEMORY_ERR);
}

TEST_F(DataPartTest, SizesAreSixtyFourBitAndBoundedByTheStream) {
  // 2^31 records of one value cannot be counted in 32 bits: refused, counts untouched.
  *m_data->m_numintr = 7;
  EXPECT_EQ(check_memory(captureMessage, "u", int64_t(1) << 31, "INTR", m_data), IO_FORMAT_ERR);
  EXPECT_EQ(*m_data->m_numintr, 7);
  EXPECT_EQ(check_memory(captureMessage, "u", 1 << 30, "STRC{INTR:1 INTR:1}", m_data),
            IO_FORMAT_ERR);
  EXPECT_EQ(check_memory(captureMessage, "u", 1 << 30, "INTR", m_data), IO_MEMORY_ERR);
  EXPECT_EQ(*m_data->m_numintr, 1 << 30);
  *m_data->m_numintr = 0;

  // A NUMBER that the rest of the file cannot hold is refused before any array is asked for.
  messages().clear();
  m_file.reset(std::string(1000, '\0'));
  EXPECT_EQ(read_data(captureMessage, "u", fp(), 1000000, "DBLE", m_data), IO_READ_ERR);
  EXPECT_EQ(allMessages(),
            "read_data: 1000000 records of \"DBLE\" need at least 8000000 bytes, only 1000 are "
            "left\n");
  EXPECT_EQ(*m_data->m_numdble, 0);
  EXPECT_EQ(io_tell(fp()), 0);
  // Compressed data may be that small; text values take a byte each.
  EXPECT_EQ(read_data(captureMessage, "u5", fp(), 100000, "DBLE", m_data), IO_MEMORY_ERR);
  EXPECT_EQ(*m_data->m_numdble, 100000);
  EXPECT_EQ(read_data(captureMessage, "F", fp(), 1001, "INTR", m_data), IO_READ_ERR);
  EXPECT_EQ(read_data(captureMessage, "F", fp(), 2000, "STRC{STRI:8 INTR:1}", m_data), IO_READ_ERR);
}

TEST_F(DataPartTest, MalformedTypesAndFormats) {
  EXPECT_EQ(read_data(captureMessage, "u", fp(), 0, nullptr, m_data), IO_OK); // nothing to do
  EXPECT_EQ(read_data(captureMessage, "u", fp(), 1, nullptr, m_data), IO_DATA_ERR);
  EXPECT_EQ(write_data(captureMessage, "u", fp(), 1, nullptr, m_data), IO_DATA_ERR);
  EXPECT_EQ(check_memory(captureMessage, "u", 1, nullptr, m_data), IO_DATA_ERR);
  EXPECT_EQ(allMessages(), "read_data: datatype string is null\nwrite_data: datatype string is "
                           "null\ncheck_memory: datatype string is null\n");
  messages().clear();
  EXPECT_EQ(write_data(captureMessage, "u", fp(), 1, "STRC{}", m_data), IO_DATA_ERR);
  EXPECT_EQ(allMessages(),
            "parseStructure: data type string is wrong\nwrite_data: parseStructure failed\n");
  messages().clear();
  EXPECT_EQ(write_data(captureMessage, "u", fp(), 2, "STRC{INTR:1 REAL:1}", m_data), IO_MEMORY_ERR);
  EXPECT_EQ(allMessages(), "write_data: checkdata failed\n");

  size("Q", 2, "STRC{INTR:1 REAL:1}");
  messages().clear();
  EXPECT_EQ(write_data(captureMessage, "Q", fp(), 2, "STRC{INTR:1 REAL:1}", m_data), IO_FORMAT_ERR);
  m_file.reset(std::string(16, '\0'));
  EXPECT_EQ(read_data(captureMessage, "Q", fp(), 2, "STRC{INTR:1 REAL:1}", m_data), IO_DATA_ERR);
  EXPECT_EQ(allMessages(), "Bad format string in write_data\nBad format string Q?\n");

  int32_t types[2] = {IO_TYPE_INTR, 9}, counts[2] = {1, 1};
  messages().clear();
  EXPECT_EQ(write_unfmt_structure(captureMessage, "u", fp(), 1, types, counts, 8, 2, m_data),
            IO_FORMAT_ERR);
  EXPECT_EQ(read_single_dataarray(captureMessage, "u", fp(), 1, 7, 1, m_data), IO_FORMAT_ERR);
  EXPECT_EQ(allMessages(), "write_unfmt_structure: unknown data format 9\n"
                           "read_single_dataarray: unknown data format 7\n");
}

TEST_F(DataPartTest, WriteFailuresAreReported) {
  size("u", 2, "STRC{INTR:1 REAL:1}");
  FILE *full = openFullDevice();
  ASSERT_NE(full, nullptr);
  messages().clear();
  EXPECT_EQ(write_data(captureMessage, "u", full, 2, "STRC{INTR:1 REAL:1}", m_data), IO_WRITE_ERR);
  EXPECT_NE(allMessages().find("write_data: write data failed\n"), std::string::npos);
  messages().clear();
  EXPECT_EQ(write_data(captureMessage, "F", full, 2, "STRC{INTR:1 REAL:1}", m_data), IO_WRITE_ERR);
  EXPECT_NE(allMessages().find("write_data: write data failed\n"), std::string::npos);
  messages().clear();
  EXPECT_EQ(write_datatag(captureMessage, "u", full), IO_WRITE_ERR);
  EXPECT_NE(allMessages().find("write_data: write datatag length\n"), std::string::npos);
  fclose(full);

  messages().clear();
  io_alloc_fail(0, 1);
  EXPECT_EQ(write_data(captureMessage, "u", fp(), 2, "STRC{INTR:1 REAL:1}", m_data), IO_MEMORY_ERR);
  EXPECT_EQ(allMessages().rfind("write_unfmt_structure: (malloc failed) syserr:", 0), 0u);
  messages().clear();
  io_alloc_fail(0, 1);
  EXPECT_EQ(write_data(captureMessage, "F", fp(), 2, "STRC{INTR:1 REAL:1}", m_data), IO_MEMORY_ERR);
  EXPECT_EQ(allMessages().rfind("write_fmt_structure: (malloc failed) syserr:", 0), 0u);
}

// ---------------------------------------------------------------------------------------------
// Conversion

TEST_F(DataPartTest, ConvertWidensAndNarrowsFloatsOnly) {
  const char *stored = "STRC{INTR:2 REAL:1}";
  size("u", 3, stored);
  for (int r = 0; r < 3; ++r) {
    m_data->m_intrarray[2 * r] = r;
    m_data->m_intrarray[2 * r + 1] = r * r;
    m_data->m_realarray[r] = 0.1f * static_cast<float>(r + 1);
  }
  IO_data *out = iodata_alloc(captureMessage);
  m_back.reset(out);
  int32_t convert = -1;
  EXPECT_EQ(convert_data(captureMessage, 3, stored, "STRC{INTR:2 DBLE:1}", &convert, m_data, out),
            IO_MEMORY_ERR);
  EXPECT_EQ(convert, 1);
  EXPECT_EQ(*out->m_numintr, 6);
  EXPECT_EQ(*out->m_numdble, 3);
  ASSERT_EQ(iodata_alloc_arrays(captureMessage, out), IO_OK);
  ASSERT_EQ(convert_data(captureMessage, 3, stored, "STRC{INTR:2 DBLE:1}", &convert, m_data, out),
            IO_OK);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(out->m_intrarray[i], m_data->m_intrarray[i]);
  for (int r = 0; r < 3; ++r)
    EXPECT_EQ(out->m_dblearray[r], static_cast<double>(m_data->m_realarray[r]));

  // Same types: nothing to do. Other kinds of change: refused after every item is checked.
  EXPECT_EQ(convert_data(captureMessage, 3, stored, stored, &convert, m_data, out), IO_OK);
  EXPECT_EQ(convert, 0);
  messages().clear();
  EXPECT_EQ(convert_data(captureMessage, 3, stored, "STRC{INTR:3}", &convert, m_data, out),
            IO_CONVERT_ERR);
  EXPECT_EQ(allMessages(), "convert_data: cannot convert from STRC{INTR:2 REAL:1} to "
                           "STRC{INTR:3}: different total number of items\n");
  messages().clear();
  EXPECT_EQ(convert_data(captureMessage, 3, stored, "STRC{INTR:1 INTR:1}", &convert, m_data, out),
            IO_CONVERT_ERR);
  EXPECT_EQ(allMessages(),
            "convert_data: cannot convert from STRC{INTR:2 REAL:1} to STRC{INTR:1 INTR:1}: counts "
            "differ for item 0\nconvert_data: cannot convert from STRC{INTR:2 REAL:1} to "
            "STRC{INTR:1 INTR:1}: incompatible types for item 1\n");

  // Narrowing a plain array; a source without values is refused.
  *m_data->m_numdble = 2;
  ASSERT_EQ(iodata_alloc_arrays(captureMessage, m_data), IO_OK);
  m_data->m_dblearray[0] = 0.5;
  m_data->m_dblearray[1] = 1e10;
  ASSERT_EQ(convert_data(captureMessage, 2, "DBLE", "REAL", &convert, m_data, out), IO_MEMORY_ERR);
  ASSERT_EQ(iodata_alloc_arrays(captureMessage, out), IO_OK);
  ASSERT_EQ(convert_data(captureMessage, 2, "DBLE", "REAL", &convert, m_data, out), IO_OK);
  EXPECT_EQ(out->m_realarray[1], 1e10f);
  messages().clear();
  EXPECT_EQ(convert_data(captureMessage, 3, "DBLE", "REAL", &convert, m_data, out), IO_MEMORY_ERR);
  ASSERT_EQ(iodata_alloc_arrays(captureMessage, out), IO_OK);
  EXPECT_EQ(convert_data(captureMessage, 3, "DBLE", "REAL", &convert, m_data, out), IO_MEMORY_ERR);
  EXPECT_EQ(allMessages(), "convert_data: not enough dble input data\n");
}

} // namespace
