// The data-set access layer: locating the latest when, growing the match buffers, the layouts of
// structures, packed strings and packed UUIDs, attributes and descriptions.
#include "StoreTestSupport.h"

#include "Dataset.h"
#include "DefFile.h"
#include "zyrCString.h"
#include "zyrMemory.h"
#include "zyrUUID.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

class DatasetTest : public storetest::StoreTest {
protected:
  void SetUp() override {
    StoreTest::SetUp();
    m_file = DefFile_new(path("data.wez").c_str());
    ASSERT_NE(m_file, nullptr);
    m_dataset = m_file->m_dataset;
  }
  void TearDown() override {
    DefFile_delete(m_file);
    StoreTest::TearDown();
  }
  std::string chars(const char *what, const char *where, int32_t when) {
    char *data = nullptr;
    int32_t count = -1;
    EXPECT_EQ(Dataset_readChars(m_dataset, what, where, when, &count, &data), 1);
    std::string text(data ? data : "", data ? static_cast<size_t>(count) : 0);
    zyrMemory_free(data, "test");
    return text;
  }
  std::vector<std::string> description(const char *what, int full) {
    int32_t count = 0;
    char **texts = nullptr;
    EXPECT_EQ(DefFile_readDescription(m_file, what, "EVERY", 0, full, &count, &texts), 1);
    std::vector<std::string> out;
    for (int32_t i = 0; i < count; ++i) out.push_back(texts[i]);
    zyrCStringArray_free(texts, static_cast<uint64_t>(count));
    return out;
  }
  DefFile *m_file = nullptr;
  Dataset *m_dataset = nullptr;
};

TEST_F(DatasetTest, LatestWhenIsTheGreatest) {
  for (int32_t when : {3, 7, 5}) EXPECT_EQ(DefFile_writeInt(m_file, "A", "K", when, when * 10), 1);
  int32_t value = 0;
  ASSERT_EQ(DefFile_readInt(m_file, "A", "K", -2, &value), 1);
  EXPECT_EQ(value, 70);
  // The header of the locate names the when found.
  EXPECT_EQ(m_dataset->m_when, 7);
  ASSERT_EQ(DefFile_readInt(m_file, "A", "K", 5, &value), 1);
  EXPECT_EQ(value, 50);
  EXPECT_EQ(DefFile_readInt(m_file, "A", "K", 4, &value), 0);
  EXPECT_EQ(Dataset_locate(m_dataset, "missing", "K", -2), 0);
}

TEST_F(DatasetTest, LatestWhenNeverFallsBelowMinusOneHundred) {
  // With no when found at all the look-up asks for -100 (any when in the library) and finds nothing.
  EXPECT_EQ(Dataset_locate(m_dataset, "A", "K", -2), 0);
  EXPECT_EQ(m_dataset->m_when, -1);
  EXPECT_EQ(DefFile_writeInt(m_file, "A", "K", 0, 1), 1);
  ASSERT_EQ(Dataset_locate(m_dataset, "A", "K", -2), 1);
  EXPECT_EQ(m_dataset->m_when, 0);
}

TEST_F(DatasetTest, ManyMatchesGrowTheCapacity) {
  const int32_t n = 37;
  for (int32_t when = 0; when < n; ++when) ASSERT_EQ(DefFile_writeInt(m_file, "V", "K", when, when), 1);
  EXPECT_EQ(m_dataset->m_capacity, DATASET_INITIAL_CAPACITY);
  int32_t count = 0;
  char **whats = nullptr, **wheres = nullptr;
  int32_t *whens = nullptr;
  ASSERT_EQ(DefFile_match(m_file, "V", "K", -1, 0, &count, &whats, &wheres, &whens), 1);
  ASSERT_EQ(count, n);
  EXPECT_GE(m_dataset->m_capacity, n);
  std::vector<int32_t> seen(whens, whens + n);
  std::sort(seen.begin(), seen.end());
  for (int32_t i = 0; i < n; ++i) EXPECT_EQ(seen[i], i);
  EXPECT_STREQ(whats[n - 1], "V");
  EXPECT_STREQ(wheres[0], "K");
  zyrCStringArray_free(whats, n);
  zyrCStringArray_free(wheres, n);
  zyrMemory_free(whens, "test");
  // The latest of many is found too, and the buffers stay grown.
  int32_t value = 0;
  ASSERT_EQ(DefFile_readInt(m_file, "V", "K", -2, &value), 1);
  EXPECT_EQ(value, n - 1);
  EXPECT_EQ(Dataset_match(m_dataset, "V", "K", -1, 1, nullptr, nullptr, nullptr), n);
}

TEST_F(DatasetTest, StructuresAndPlainArrays) {
  std::vector<int32_t> values(12);
  for (int32_t i = 0; i < 12; ++i) values[i] = i * i;
  ASSERT_EQ(DefFile_writeIntArray(m_file, "S", "EVERY", 0, values.data(), 3, 4), 1);
  char *type = nullptr;
  ASSERT_EQ(DefFile_getDataType(m_file, "S", "EVERY", 0, &type), 1);
  EXPECT_STREQ(type, "STRC{INTR:3}");
  zyrCString_free(type);
  EXPECT_EQ(m_dataset->m_nstrct, 4);
  int32_t *read = nullptr, count = -1;
  ASSERT_EQ(Dataset_readInts(m_dataset, "S", "EVERY", 0, &count, &read), 1);
  EXPECT_EQ(std::vector<int32_t>(read, read + count), values);
  zyrMemory_free(read, "test");

  ASSERT_EQ(DefFile_writeIntArray(m_file, "P", "EVERY", 0, values.data(), 5, 0), 1);
  ASSERT_EQ(DefFile_getDataType(m_file, "P", "EVERY", 0, &type), 1);
  EXPECT_STREQ(type, "INTR");
  EXPECT_EQ(m_dataset->m_nstrct, 5);
  zyrCString_free(type);
  // A caller's array too small fails with the number needed.
  int32_t small[2] = {-1, -1};
  int32_t *into = small;
  count = 2;
  EXPECT_EQ(Dataset_readInts(m_dataset, "P", "EVERY", 0, &count, &into), 0);
  EXPECT_EQ(count, 5);
  EXPECT_EQ(small[0], -1);
  // An empty array reads as no values.
  ASSERT_EQ(DefFile_writeIntArray(m_file, "E", "EVERY", 0, nullptr, 0, 0), 1);
  int32_t buffer[3] = {};
  count = 3;
  ASSERT_EQ(DefFile_readIntArray(m_file, "E", "EVERY", 0, buffer, &count), 1);
  EXPECT_EQ(count, 0);
}

// The single requests with the header and arrays set by hand: a write, a read of the located
// data set, and a read converted to the type the header asks for.
TEST_F(DatasetTest, SingleRequestsByHand) {
  int32_t values[4] = {7, -1, 0, 1 << 30};
  int32_t count = 4;
  ASSERT_EQ(Dataset_setHeader(m_dataset, "RAW", "EVERY", 3, 0), 1);
  snprintf(m_dataset->m_istrct, sizeof m_dataset->m_istrct, "INTR");
  m_dataset->m_nstrct = 4;
  m_dataset->m_numoffset = 0;
  m_dataset->m_numstring = 0;
  m_dataset->m_data.m_intrarray = values;
  m_dataset->m_data.m_numintr = &count;
  ASSERT_EQ(Dataset_write(m_dataset), 1) << (m_dataset->m_lastError ? m_dataset->m_lastError : "");
  Dataset_reset(m_dataset);

  ASSERT_EQ(Dataset_locate(m_dataset, "RAW", "EVERY", 3), 1);
  int32_t back[4] = {};
  count = 4;
  m_dataset->m_data.m_intrarray = back;
  m_dataset->m_data.m_numintr = &count;
  ASSERT_EQ(Dataset_readLocated(m_dataset), 1);
  Dataset_reset(m_dataset);
  EXPECT_EQ(std::vector<int32_t>(back, back + 4), std::vector<int32_t>(values, values + 4));

  // REAL values read as DBLE.
  const float reals[2] = {0.5f, -2.25f};
  ASSERT_EQ(DefFile_writeFloatArray(m_file, "F", "EVERY", 0, reals, 2, 0), 1);
  ASSERT_EQ(Dataset_locate(m_dataset, "F", "EVERY", 0), 1);
  snprintf(m_dataset->m_istrct, sizeof m_dataset->m_istrct, "DBLE");
  m_dataset->m_nstrct = 2;
  double doubles[2] = {};
  count = 2;
  m_dataset->m_data.m_dblearray = doubles;
  m_dataset->m_data.m_numdble = &count;
  ASSERT_EQ(Dataset_readLocatedAs(m_dataset), 1) << (m_dataset->m_lastError ? m_dataset->m_lastError : "");
  Dataset_reset(m_dataset);
  EXPECT_EQ(doubles[0], 0.5);
  EXPECT_EQ(doubles[1], -2.25);

  // A read of nothing located fails.
  Dataset_reset(m_dataset);
  EXPECT_EQ(Dataset_locate(m_dataset, "ABSENT", "EVERY", 0), 0);
}

// The default format decides the form of data sets written afterwards: text in form F.
TEST_F(DatasetTest, DefaultFormatOfLaterWrites) {
  EXPECT_EQ(Dataset_setDefaultFormat(m_dataset, nullptr), 0);
  ASSERT_EQ(Dataset_setDefaultFormat(m_dataset, "F"), 1);
  ASSERT_EQ(DefFile_writeInt(m_file, "TEXT", "EVERY", 0, 987654321), 1);
  EXPECT_NE(zyrtest::readFile(path("data.wez")).find("987654321"), std::string::npos);
  int32_t value = 0;
  ASSERT_EQ(DefFile_readInt(m_file, "TEXT", "EVERY", 0, &value), 1);
  EXPECT_EQ(value, 987654321);
}

TEST_F(DatasetTest, PackedStringsLayout) {
  ASSERT_EQ(Dataset_addAttribute(m_dataset, "units", "m"), 1);
  const char *strings[3] = {"a", nullptr, "bc"};
  ASSERT_EQ(DefFile_writeStringArray(m_file, "S", "EVERY", 0, strings, 3), 1);
  EXPECT_EQ(chars("S", "EVERY", 0), std::string("a\0\0bc\0", 6));
  int32_t count = 0;
  char **names = nullptr, **values = nullptr;
  ASSERT_EQ(DefFile_readAttributes(m_file, "S", "EVERY", 0, &count, &names, &values), 1);
  ASSERT_EQ(count, 2);
  EXPECT_STREQ(names[0], "units");
  EXPECT_STREQ(names[1], "t");
  EXPECT_STREQ(values[1], "s");
  zyrCStringArray_free(names, 2);
  zyrCStringArray_free(values, 2);
  // The pending list is as it was: the next data set carries "units=m" alone.
  EXPECT_EQ(m_dataset->m_noOfAttributes, 1);
  ASSERT_EQ(DefFile_writeInt(m_file, "I", "EVERY", 0, 1), 1);
  ASSERT_EQ(DefFile_readAttributes(m_file, "I", "EVERY", 0, &count, &names, &values), 1);
  ASSERT_EQ(count, 1);
  EXPECT_STREQ(values[0], "m");
  zyrCStringArray_free(names, 1);
  zyrCStringArray_free(values, 1);
  DefFile_clearAttributes(m_file);

  // Characters after the last terminator belong to no string.
  ASSERT_EQ(DefFile_writeCharArray(m_file, "T", "EVERY", 0, "ab\0cd", 5), 1);
  char **read = nullptr;
  ASSERT_EQ(DefFile_readStrings(m_file, "T", "EVERY", 0, &read, &count), 1);
  ASSERT_EQ(count, 1);
  EXPECT_STREQ(read[0], "ab");
  zyrCStringArray_free(read, 1);
  // A caller's list too short fails with the number found.
  char *list[1] = {nullptr};
  count = 1;
  EXPECT_EQ(DefFile_readStringArray(m_file, "S", "EVERY", 0, list, &count), 0);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(list[0], nullptr);
}

TEST_F(DatasetTest, PackedUUIDsLayout) {
  zyrUUID *a = zyrUUID_new(), *b = zyrUUID_new();
  const zyrUUID *refs[3] = {a, nullptr, b};
  ASSERT_EQ(DefFile_writeUUIDArray(m_file, "U", "EVERY", 0, refs, 3), 1);
  char ta[ZYR_UUID_BASE64_SIZE], tb[ZYR_UUID_BASE64_SIZE];
  zyrUUID_toBase64(a, ta);
  zyrUUID_toBase64(b, tb);
  std::string expected =
      std::string(ta, 22) + std::string("__NULL_UUID__\0\0\0\0\0\0\0\0\0", 22) + std::string(tb, 22);
  EXPECT_EQ(chars("U", "EVERY", 0), expected);
  int32_t count = 0;
  char **names = nullptr, **values = nullptr;
  ASSERT_EQ(DefFile_readAttributes(m_file, "U", "EVERY", 0, &count, &names, &values), 1);
  ASSERT_EQ(count, 1);
  EXPECT_STREQ(names[0], "t");
  EXPECT_STREQ(values[0], "u");
  zyrCStringArray_free(names, 1);
  zyrCStringArray_free(values, 1);
  int32_t c[7];
  ASSERT_EQ(DefFile_readSignature(m_file, "U", "EVERY", 0, &c[0], &c[1], &c[2], &c[3], &c[4], &c[5], &c[6]),
            1);
  EXPECT_EQ(std::vector<int32_t>(c, c + 7), (std::vector<int32_t>{0, 0, 0, 0, 0, 0, 3}));
  // A null UUID alone is a scalar reference to nothing.
  ASSERT_EQ(DefFile_writeUUID(m_file, "N", "EVERY", 0, nullptr), 1);
  zyrUUID *read = a;
  ASSERT_EQ(DefFile_readUUID(m_file, "N", "EVERY", 0, &read), 1);
  EXPECT_EQ(read, nullptr);
  zyrUUID *none[1] = {};
  count = 0;
  EXPECT_EQ(DefFile_readUUIDArray(m_file, "U", "EVERY", 0, none, &count), 0);
  EXPECT_EQ(m_file->m_errorCode, 0);
  zyrUUID_delete(a);
  zyrUUID_delete(b);
}

TEST_F(DatasetTest, AttributeParsingAndLimits) {
  ASSERT_EQ(Dataset_addAttribute(m_dataset, "  units ", " m"), 1);
  std::string name40(40, 'n'), value39(39, 'v');
  ASSERT_EQ(Dataset_addAttribute(m_dataset, name40.c_str(), value39.c_str()), 1);
  EXPECT_EQ(std::string(m_dataset->m_attributes[1], 80), name40 + "=" + value39);
  EXPECT_EQ(Dataset_addAttribute(m_dataset, (name40 + "n").c_str(), value39.c_str()), 0);
  EXPECT_EQ(m_dataset->m_noOfAttributes, 2);
  ASSERT_EQ(DefFile_writeInt(m_file, "A", "EVERY", 0, 1), 1);
  int32_t count = 0;
  char **names = nullptr, **values = nullptr;
  ASSERT_EQ(DefFile_readAttributes(m_file, "A", "EVERY", 0, &count, &names, &values), 1);
  ASSERT_EQ(count, 2);
  EXPECT_STREQ(names[0], "units ");
  EXPECT_STREQ(values[0], "m");
  EXPECT_EQ(std::string(names[1]), name40);
  EXPECT_EQ(std::string(values[1]), value39);
  zyrCStringArray_free(names, 2);
  zyrCStringArray_free(values, 2);
  // The lists hold 20 entries and no more.
  Dataset_clearAttributes(m_dataset);
  for (int i = 0; i < DATASET_MAX_ATTRIBUTES; ++i) ASSERT_EQ(Dataset_addAttribute(m_dataset, "k", "v"), 1);
  EXPECT_EQ(Dataset_addAttribute(m_dataset, "k", "v"), 0);
  // The string writer has no room left for its marking attribute: it refuses rather than
  // writing an unmarked data set.
  const char *one[1] = {"x"};
  EXPECT_EQ(DefFile_writeStringArray(m_file, "S", "EVERY", 0, one, 1), 0);
  EXPECT_EQ(m_dataset->m_noOfAttributes, DATASET_MAX_ATTRIBUTES);
  Dataset_clearAttributes(m_dataset);
}

TEST_F(DatasetTest, Descriptions) {
  std::vector<int32_t> ints(12, 4);
  ASSERT_EQ(DefFile_writeInt(m_file, "I1", "EVERY", 0, 17), 1);
  ASSERT_EQ(DefFile_writeIntArray(m_file, "I12", "EVERY", 0, ints.data(), 12, 0), 1);
  ASSERT_EQ(DefFile_writeDouble(m_file, "D1", "EVERY", 0, 0.5), 1);
  ASSERT_EQ(DefFile_writeFloatArray(m_file, "F2", "EVERY", 0, std::vector<float>{1, 2}.data(), 2, 0), 1);
  ASSERT_EQ(DefFile_writeIoString(m_file, "O1", "EVERY", 0, "io text"), 1);
  ASSERT_EQ(DefFile_writeString(m_file, "S1", "EVERY", 0, "one string"), 1);
  const char *two[2] = {"first\nsecond", "third"};
  ASSERT_EQ(DefFile_writeStringArray(m_file, "S2", "EVERY", 0, two, 2), 1);
  ASSERT_EQ(DefFile_writeCharArray(m_file, "C5", "EVERY", 0, "abcde", 5), 1);
  zyrUUID *u = zyrUUID_new();
  const zyrUUID *refs[2] = {u, u};
  ASSERT_EQ(DefFile_writeUUIDArray(m_file, "U2", "EVERY", 0, refs, 2), 1);
  ASSERT_EQ(DefFile_writeIntArray(m_file, "E", "EVERY", 0, nullptr, 0, 0), 1);

  EXPECT_EQ(description("I1", 0), std::vector<std::string>{"17"});
  EXPECT_EQ(description("I12", 0), std::vector<std::string>{"integer[12]"});
  EXPECT_EQ(description("I12", 1).size(), 12u);
  EXPECT_EQ(description("D1", 0), std::vector<std::string>{"5.000000e-01"});
  EXPECT_EQ(description("F2", 0), std::vector<std::string>{"real[2]"});
  EXPECT_EQ(description("F2", 1), (std::vector<std::string>{"1.000000e+00", "2.000000e+00"}));
  EXPECT_EQ(description("O1", 0), std::vector<std::string>{"\"io text\""});
  EXPECT_EQ(description("S1", 0), std::vector<std::string>{"\"one string\""});
  EXPECT_EQ(description("S2", 0), std::vector<std::string>{"string[2] (1 lines)"});
  EXPECT_EQ(description("S2", 1), (std::vector<std::string>{"\"first\\n\"", "\"second\"", "\"third\""}));
  EXPECT_EQ(description("C5", 0), std::vector<std::string>{"char[5]"});
  EXPECT_EQ(description("C5", 1), (std::vector<std::string>{"a", "b", "c", "d", "e"}));
  EXPECT_EQ(description("U2", 0), std::vector<std::string>{"UUID[2]"});
  char text[ZYR_UUID_BASE64_SIZE];
  zyrUUID_toBase64(u, text);
  EXPECT_EQ(description("U2", 1), (std::vector<std::string>{text, text}));
  EXPECT_EQ(description("E", 0), std::vector<std::string>{"***No entries***"});
  EXPECT_TRUE(description("E", 1).empty());
  zyrUUID_delete(u);

  int32_t count = 5;
  char **texts = nullptr;
  EXPECT_EQ(DefFile_readDescription(m_file, "none", "EVERY", 0, 0, &count, &texts), 0);
  EXPECT_EQ(m_file->m_errorCode, 10009);
  EXPECT_STREQ(m_file->m_description, "Unable to create a description of the requested data set.");
}

TEST_F(DatasetTest, KeysLongerThanTheBuffersAreRefused) {
  std::string what79(79, 'w'), what80(80, 'w');
  EXPECT_EQ(Dataset_setHeader(m_dataset, what79.c_str(), "K", 0, 0), 1);
  EXPECT_EQ(Dataset_setHeader(m_dataset, what80.c_str(), "K", 0, 0), 0);
  EXPECT_EQ(DefFile_writeInt(m_file, what80.c_str(), "K", 0, 1), 0);
  EXPECT_EQ(m_file->m_errorCode, 10010);
  EXPECT_NE(std::string(m_file->m_io_error).find("longer than 79 characters"), std::string::npos);
  // The library's own limit (75 for a what) is reported by the library.
  EXPECT_EQ(DefFile_writeInt(m_file, what79.c_str(), "K", 0, 1), 0);
  EXPECT_NE(m_file->m_io_error, nullptr);
  int32_t value = 0;
  EXPECT_EQ(DefFile_readInt(m_file, std::string(200, 'x').c_str(), "K", 0, &value), 0);
}

TEST_F(DatasetTest, EraseAndChangeWhen) {
  for (int32_t when : {1, 2, 3}) ASSERT_EQ(DefFile_writeInt(m_file, "A", "K", when, when), 1);
  ASSERT_EQ(DefFile_writeInt(m_file, "B", "K", 1, 9), 1);
  ASSERT_EQ(DefFile_erase(m_file, "A", "K", 2), 1);
  EXPECT_EQ(Dataset_match(m_dataset, "A", "K", -1, 1, nullptr, nullptr, nullptr), 2);
  EXPECT_EQ(DefFile_erase(m_file, "A", "K", 2), 0);
  EXPECT_EQ(m_file->m_errorCode, 10011);
  EXPECT_STREQ(m_file->m_description, "Unable to erase the requested data set(s).");

  ASSERT_EQ(Dataset_changeWhen(m_dataset, "A", "K", 3, 8), 1);
  int32_t value = 0;
  ASSERT_EQ(DefFile_readInt(m_file, "A", "K", 8, &value), 1);
  EXPECT_EQ(value, 3);
  EXPECT_EQ(DefFile_exists(m_file, "A", "K", 3), 0);
  EXPECT_EQ(Dataset_changeWhen(m_dataset, "A", "K", 8, 8), 1);
  EXPECT_EQ(Dataset_changeWhen(m_dataset, "A", "K", 5, 6), 0);

  // Every name under a key goes with a wildcard.
  ASSERT_EQ(DefFile_erase(m_file, "*", "K", -1), 1);
  EXPECT_EQ(DefFile_exists(m_file, "B", "K", -1), 0);
  EXPECT_EQ(DefFile_exists(m_file, "A", "K", -1), 0);
}

TEST_F(DatasetTest, ReadingAnotherKindGivesNoValues) {
  // More values than the match buffers hold, so that a count raised by the library on one of
  // them would reach past it.
  std::vector<int32_t> ints(64, 3);
  ASSERT_EQ(DefFile_writeIntArray(m_file, "I", "EVERY", 0, ints.data(), 64, 0), 1);
  float *floats = reinterpret_cast<float *>(&ints[0]);
  int32_t count = -1;
  ASSERT_EQ(Dataset_readFloats(m_dataset, "I", "EVERY", 0, &count, &floats), 1);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(floats, nullptr);
  char *chars = nullptr;
  count = -1;
  ASSERT_EQ(Dataset_readChars(m_dataset, "I", "EVERY", 0, &count, &chars), 1);
  EXPECT_EQ(count, 0);
  float scalar = 0;
  EXPECT_EQ(DefFile_readFloat(m_file, "I", "EVERY", 0, &scalar), 0);
  // The record's own buffers still serve the next look-ups.
  EXPECT_EQ(Dataset_match(m_dataset, "I", "*", -1, 1, nullptr, nullptr, nullptr), 1);
  int32_t *read = nullptr;
  ASSERT_EQ(DefFile_readInts(m_file, "I", "EVERY", -2, &read, &count), 1);
  EXPECT_EQ(count, 64);
  zyrMemory_free(read, "test");
}

TEST_F(DatasetTest, IoStringsLongerThanTheSlotAreRefused) {
  std::string text79(79, 's'), text80(80, 's');
  const char *ok[1] = {text79.c_str()};
  const char *bad[2] = {"fine", text80.c_str()};
  EXPECT_EQ(DefFile_writeIoStringArray(m_file, "O", "EVERY", 0, ok, 1), 1);
  EXPECT_EQ(DefFile_writeIoStringArray(m_file, "P", "EVERY", 0, bad, 2), 0);
  EXPECT_EQ(DefFile_exists(m_file, "P", "EVERY", 0), 0);
  EXPECT_EQ(DefFile_writeIoStringArray(m_file, "Q", "EVERY", 0, ok, 0), 0);
}

} // namespace
