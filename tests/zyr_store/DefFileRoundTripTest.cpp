// Every value kind in every shape written through a DefFile and read back, also after the file
// was closed and opened again, in the binary formats (the text format keeps neither line feeds
// and terminators in characters nor the full precision of plain double arrays).
#include "StoreTestSupport.h"

#include "DefFile.h"
#include "zyrCString.h"
#include "zyrMemory.h"
#include "zyrUUID.h"

#include <cstdlib>
#include <string>
#include <vector>

namespace {

using storetest::StoreTest;

class DefFileRoundTrip : public StoreTest, public testing::WithParamInterface<const char *> {
protected:
  void SetUp() override {
    StoreTest::SetUp();
    if (GetParam()[0]) setenv("WEZ_FORMAT", GetParam(), 1);
  }
  void TearDown() override {
    unsetenv("WEZ_FORMAT");
    StoreTest::TearDown();
  }
};

void writeAll(DefFile *file, const std::vector<zyrUUID *> &uuids) {
  const int32_t ints[6] = {1, -2, 3, 2147483647, -2147483647 - 1, 0};
  const float floats[3] = {1.5f, -2.25f, 3.0e10f};
  const double doubles[4] = {0.1, -1e300, 3.0, 6.02214076e23};
  const char *ioStrings[3] = {"first", "",
                              "a string of exactly seventy-nine characters.........................end"};
  const char *strings[4] = {"alpha", nullptr, "", "delta with spaces"};
  const zyrUUID *refs[3] = {uuids[0], nullptr, uuids[1]};
  EXPECT_EQ(DefFile_writeInt(file, "I", "EVERY", 0, 42), 1);
  EXPECT_EQ(DefFile_writeIntArray(file, "IA", "EVERY", 0, ints, 6, 0), 1);
  EXPECT_EQ(DefFile_writeIntArray(file, "IS", "EVERY", 0, ints, 3, 2), 1);
  EXPECT_EQ(DefFile_writeFloat(file, "F", "EVERY", 0, -0.5f), 1);
  EXPECT_EQ(DefFile_writeFloatArray(file, "FA", "EVERY", 0, floats, 3, 0), 1);
  EXPECT_EQ(DefFile_writeDouble(file, "D", "EVERY", 0, 2.718281828459045), 1);
  EXPECT_EQ(DefFile_writeDoubleArray(file, "DA", "EVERY", 0, doubles, 2, 2), 1);
  EXPECT_EQ(DefFile_writeChar(file, "C", "EVERY", 0, 'z'), 1);
  EXPECT_EQ(DefFile_writeCharArray(file, "CA", "EVERY", 0, "chars\nwith a line", 17), 1);
  EXPECT_EQ(DefFile_writeIoString(file, "O", "EVERY", 0, "one io string"), 1);
  EXPECT_EQ(DefFile_writeIoStringArray(file, "OA", "EVERY", 0, ioStrings, 3), 1);
  EXPECT_EQ(DefFile_writeString(file, "S", "EVERY", 0, "a string"), 1);
  EXPECT_EQ(DefFile_writeStringArray(file, "SA", "EVERY", 0, strings, 4), 1);
  EXPECT_EQ(DefFile_writeUUID(file, "U", "EVERY", 0, uuids[2]), 1);
  EXPECT_EQ(DefFile_writeUUIDArray(file, "UA", "EVERY", 0, refs, 3), 1);
  EXPECT_EQ(DefFile_writeStringAsChars(file, "T", "EVERY", 0, "text as characters"), 1);
}

void readAll(DefFile *file, const std::vector<zyrUUID *> &uuids) {
  int32_t i = 0;
  ASSERT_EQ(DefFile_readInt(file, "I", "EVERY", 0, &i), 1);
  EXPECT_EQ(i, 42);

  int32_t *ints = nullptr, count = 0;
  ASSERT_EQ(DefFile_readInts(file, "IA", "EVERY", 0, &ints, &count), 1);
  EXPECT_EQ(std::vector<int32_t>(ints, ints + count),
            (std::vector<int32_t>{1, -2, 3, 2147483647, -2147483647 - 1, 0}));
  zyrMemory_free(ints, "test");
  int32_t buffer[8] = {};
  count = 8;
  ASSERT_EQ(DefFile_readIntArray(file, "IS", "EVERY", 0, buffer, &count), 1);
  EXPECT_EQ(std::vector<int32_t>(buffer, buffer + count),
            (std::vector<int32_t>{1, -2, 3, 2147483647, -2147483647 - 1, 0}));

  float f = 0;
  ASSERT_EQ(DefFile_readFloat(file, "F", "EVERY", 0, &f), 1);
  EXPECT_EQ(f, -0.5f);
  float *floats = nullptr;
  ASSERT_EQ(DefFile_readFloats(file, "FA", "EVERY", 0, &floats, &count), 1);
  ASSERT_EQ(count, 3);
  EXPECT_EQ(floats[0], 1.5f);
  EXPECT_EQ(floats[1], -2.25f);
  EXPECT_EQ(floats[2], 3.0e10f);
  zyrMemory_free(floats, "test");
  float fbuffer[3] = {};
  count = 3;
  ASSERT_EQ(DefFile_readFloatArray(file, "FA", "EVERY", 0, fbuffer, &count), 1);
  EXPECT_EQ(fbuffer[1], -2.25f);

  double d = 0;
  ASSERT_EQ(DefFile_readDouble(file, "D", "EVERY", 0, &d), 1);
  EXPECT_EQ(d, 2.718281828459045);
  double *doubles = nullptr;
  ASSERT_EQ(DefFile_readDoubles(file, "DA", "EVERY", 0, &doubles, &count), 1);
  ASSERT_EQ(count, 4);
  EXPECT_EQ(doubles[0], 0.1);
  EXPECT_EQ(doubles[1], -1e300);
  EXPECT_EQ(doubles[3], 6.02214076e23);
  zyrMemory_free(doubles, "test");
  double dbuffer[4] = {};
  count = 4;
  ASSERT_EQ(DefFile_readDoubleArray(file, "DA", "EVERY", 0, dbuffer, &count), 1);
  EXPECT_EQ(dbuffer[2], 3.0);
  // Floats read as doubles are converted.
  ASSERT_EQ(DefFile_readDouble(file, "F", "EVERY", 0, &d), 1);
  EXPECT_EQ(d, -0.5);
  ASSERT_EQ(DefFile_readDoubles(file, "FA", "EVERY", 0, &doubles, &count), 1);
  ASSERT_EQ(count, 3);
  EXPECT_EQ(doubles[1], -2.25);
  zyrMemory_free(doubles, "test");

  char c = 0;
  ASSERT_EQ(DefFile_readChar(file, "C", "EVERY", 0, &c), 1);
  EXPECT_EQ(c, 'z');
  char *chars = nullptr;
  ASSERT_EQ(DefFile_readChars(file, "CA", "EVERY", 0, &chars, &count), 1);
  EXPECT_EQ(std::string(chars, static_cast<size_t>(count)), "chars\nwith a line");
  zyrMemory_free(chars, "test");
  char cbuffer[20] = {};
  count = 20;
  ASSERT_EQ(DefFile_readCharArray(file, "CA", "EVERY", 0, cbuffer, &count), 1);
  EXPECT_EQ(count, 17);
  char *text = nullptr;
  ASSERT_EQ(DefFile_readCharsAsString(file, "T", "EVERY", 0, &text), 1);
  EXPECT_STREQ(text, "text as characters");
  zyrCString_free(text);

  char *s = nullptr;
  ASSERT_EQ(DefFile_readIoString(file, "O", "EVERY", 0, &s), 1);
  EXPECT_STREQ(s, "one io string");
  zyrCString_free(s);
  char **strings = nullptr;
  ASSERT_EQ(DefFile_readIoStrings(file, "OA", "EVERY", 0, &strings, &count), 1);
  ASSERT_EQ(count, 3);
  EXPECT_STREQ(strings[0], "first");
  EXPECT_STREQ(strings[2], "a string of exactly seventy-nine characters.........................end");
  zyrCStringArray_free(strings, 3);
  char *sbuffer[4] = {};
  count = 4;
  ASSERT_EQ(DefFile_readIoStringArray(file, "OA", "EVERY", 0, sbuffer, &count), 1);
  EXPECT_EQ(count, 3);
  EXPECT_STREQ(sbuffer[0], "first");
  for (int k = 0; k < 3; ++k) zyrCString_free(sbuffer[k]);

  ASSERT_EQ(DefFile_readString(file, "S", "EVERY", 0, &s), 1);
  EXPECT_STREQ(s, "a string");
  zyrCString_free(s);
  ASSERT_EQ(DefFile_readStrings(file, "SA", "EVERY", 0, &strings, &count), 1);
  ASSERT_EQ(count, 4);
  EXPECT_STREQ(strings[0], "alpha");
  EXPECT_STREQ(strings[1], "");
  EXPECT_STREQ(strings[2], "");
  EXPECT_STREQ(strings[3], "delta with spaces");
  zyrCStringArray_free(strings, 4);
  count = 4;
  ASSERT_EQ(DefFile_readStringArray(file, "SA", "EVERY", 0, sbuffer, &count), 1);
  EXPECT_STREQ(sbuffer[3], "delta with spaces");
  for (int k = 0; k < 4; ++k) zyrCString_free(sbuffer[k]);

  zyrUUID *u = nullptr;
  ASSERT_EQ(DefFile_readUUID(file, "U", "EVERY", 0, &u), 1);
  EXPECT_TRUE(zyrUUID_isEqual(u, uuids[2]));
  zyrUUID_delete(u);
  zyrUUID **refs = nullptr;
  ASSERT_EQ(DefFile_readUUIDs(file, "UA", "EVERY", 0, &refs, &count), 1);
  ASSERT_EQ(count, 3);
  EXPECT_TRUE(zyrUUID_isEqual(refs[0], uuids[0]));
  EXPECT_EQ(refs[1], nullptr);
  EXPECT_TRUE(zyrUUID_isEqual(refs[2], uuids[1]));
  for (int k = 0; k < 3; ++k) zyrUUID_delete(refs[k]);
  zyrMemory_free(refs, "test");
  zyrUUID *ubuffer[3] = {};
  count = 3;
  ASSERT_EQ(DefFile_readUUIDArray(file, "UA", "EVERY", 0, ubuffer, &count), 1);
  EXPECT_TRUE(zyrUUID_isEqual(ubuffer[2], uuids[1]));
  for (auto *p : ubuffer) zyrUUID_delete(p);
}

TEST_P(DefFileRoundTrip, EveryKindAndShape) {
  std::vector<zyrUUID *> uuids = {zyrUUID_new(), zyrUUID_new(), zyrUUID_new()};
  std::string name = path("kinds.wez");
  DefFile *file = DefFile_new(name.c_str());
  ASSERT_NE(file, nullptr);
  writeAll(file, uuids);
  EXPECT_EQ(DefFile_isModified(file), 1);
  readAll(file, uuids);
  DefFile_delete(file);

  file = DefFile_new(name.c_str());
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(DefFile_isModified(file), 0);
  readAll(file, uuids);
  EXPECT_EQ(file->m_errorCode, 0) << (file->m_description ? file->m_description : "");
  DefFile_delete(file);
  for (auto *u : uuids) zyrUUID_delete(u);
}

INSTANTIATE_TEST_SUITE_P(Formats, DefFileRoundTrip, testing::Values("", "u", "l5", "u9"),
                         [](const testing::TestParamInfo<const char *> &info) {
                           std::string name = info.param[0] ? info.param : "default";
                           return name;
                         });

TEST_F(StoreTest, TextFormatKeepsIntegersAndIoStrings) {
  setenv("WEZ_FORMAT", "F", 1);
  std::string name = path("text.wez");
  DefFile *file = DefFile_new(name.c_str());
  ASSERT_NE(file, nullptr);
  const int32_t ints[4] = {7, 8, 9, 10};
  const char *strings[2] = {"x", "yz"};
  EXPECT_EQ(DefFile_writeIntArray(file, "IS", "EVERY", 3, ints, 2, 2), 1);
  EXPECT_EQ(DefFile_writeIoStringArray(file, "OA", "EVERY", 3, strings, 2), 1);
  DefFile_delete(file);
  unsetenv("WEZ_FORMAT");
  EXPECT_EQ(storetest::readFile(name).at(36), 'F');
  file = DefFile_new(name.c_str());
  int32_t *read = nullptr, count = 0;
  ASSERT_EQ(DefFile_readInts(file, "IS", "EVERY", -2, &read, &count), 1);
  EXPECT_EQ(std::vector<int32_t>(read, read + count), (std::vector<int32_t>{7, 8, 9, 10}));
  zyrMemory_free(read, "test");
  char **texts = nullptr;
  ASSERT_EQ(DefFile_readIoStrings(file, "OA", "EVERY", 3, &texts, &count), 1);
  ASSERT_EQ(count, 2);
  EXPECT_STREQ(texts[1], "yz");
  zyrCStringArray_free(texts, 2);
  DefFile_delete(file);
}

} // namespace
