// Values crossing between the exported classes and the core: packed string tables, tables and
// strings handed back by the core, composite combination codes, indexed names and the records.
#include "ZYRAPI.h"
#include "ZYRAPIBoundary.h"
#include "zyrCString.h"
#include "zyrMemory.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

namespace boundary = qiv::zyrapi::boundary;

TEST(PackedStrings, OneBufferInVectorOrder) {
  boundary::PackedStrings packed({"Inlet", "", "Wall 2"});
  ASSERT_EQ(packed.count(), 3);
  char **table = packed.table();
  ASSERT_NE(table, nullptr);
  EXPECT_STREQ(table[0], "Inlet");
  EXPECT_STREQ(table[1], ""); // a lone NUL inside the buffer
  EXPECT_STREQ(table[2], "Wall 2");
  const std::vector<char> &buffer = packed.buffer();
  EXPECT_EQ(std::string(buffer.begin(), buffer.end()), std::string("Inlet\0\0Wall 2\0", 14));
  EXPECT_EQ(table[0], buffer.data());
  EXPECT_EQ(table[1], buffer.data() + 6);
  EXPECT_EQ(table[2], buffer.data() + 7);

  boundary::PackedStrings none({});
  EXPECT_EQ(none.count(), 0);
  EXPECT_EQ(none.table(), nullptr);
}

TEST(PackedStrings, ManyLongStringsKeepTheirPointers) {
  // Growth of the buffer while filling would leave the first pointers dangling.
  std::vector<std::string> names;
  for (int i = 0; i < 500; ++i)
    names.push_back(std::string(static_cast<size_t>(i % 37), 'a' + i % 26) + std::to_string(i));
  boundary::PackedStrings packed(names);
  ASSERT_EQ(packed.count(), 500);
  for (int i = 0; i < 500; ++i)
    ASSERT_EQ(std::string(packed.table()[i]), names[static_cast<size_t>(i)]);
}

TEST(CoreResults, TablesAndStringsAreCopiedAndReleased) {
  std::vector<std::string> out{"stale"};
  {
    boundary::CoreStringTable table;
    *table.countOut() = 2;
    char **array = zyrMemory_allocateArray<char *>(2, __func__);
    array[0] = zyrCString_clone("A");
    array[1] = zyrCString_clone("B b");
    *table.out() = array;
    table.copyTo(out);
  }
  EXPECT_EQ(out, (std::vector<std::string>{"A", "B b"}));
  {
    boundary::CoreStringTable empty;
    empty.copyTo(out); // no table replaces what the vector held
  }
  EXPECT_TRUE(out.empty());

  boundary::CoreString text;
  EXPECT_EQ(text.str(), "");
  *text.out() = zyrCString_clone("region map");
  EXPECT_EQ(text.str(), "region map");

  boundary::CoreArray<int> values("qiv::ZYRAPI::test");
  EXPECT_TRUE(values.take(3).empty());
  *values.out() = zyrMemory_allocateArray<int>(3, __func__);
  for (int i = 0; i < 3; ++i)
    (*values.out())[i] = 10 * i;
  EXPECT_EQ(values.take(3), (std::vector<int>{0, 10, 20}));
}

TEST(CompositeCodes, RecordTypesAreOneBelowTheCoreCodesWithUnionAsFallBack) {
  for (int type = 1; type <= 6; ++type) {
    EXPECT_EQ(boundary::compositeCodeOfType(type), type + 1);
    EXPECT_EQ(boundary::compositeTypeOfCode(type + 1), type);
  }
  for (int type : {0, 7, -1, 100})
    EXPECT_EQ(boundary::compositeCodeOfType(type), 1) << type;
  for (int code : {1, 0, 8, -3})
    EXPECT_EQ(boundary::compositeTypeOfCode(code), 0) << code;
}

TEST(IndexedNames, MadeAndSplit) {
  EXPECT_EQ(boundary::makeIndexedName("region", 3), "region:3");
  int index = -7;
  EXPECT_EQ(boundary::splitIndexedName("region:3", index), "region");
  EXPECT_EQ(index, 2);
  EXPECT_EQ(boundary::splitIndexedName("a:b:12", index), "a:b");
  EXPECT_EQ(index, 11);
  EXPECT_EQ(boundary::splitIndexedName(boundary::makeIndexedName("Inlet 2", 1), index), "Inlet 2");
  EXPECT_EQ(index, 0);
  for (const char *bad : {"region:3x", "", "region:", "region:3 ", "region:99999999999", "region:-2147483648"})
    EXPECT_EQ(boundary::splitIndexedName(bad, index), "") << bad;
}

TEST(Records, CompositeDefEqualityAndCopies) {
  qiv::ZYRAPI::CompositeDef a;
  EXPECT_EQ(a.type, 0);
  EXPECT_TRUE(a.name.empty() && a.componentsA.empty() && a.componentsB.empty());
  a.name = "walls";
  a.type = 3;
  a.componentsA = {"w1", "w2"};
  a.componentsB = {"w2"};
  qiv::ZYRAPI::CompositeDef b(a);
  EXPECT_TRUE(a == b);
  EXPECT_FALSE(a != b);
  b.componentsA = {"w2", "w1"}; // order matters
  EXPECT_TRUE(a != b);
  b = a;
  b.componentsB.clear();
  EXPECT_FALSE(a == b);
  b = a;
  b.type = 4;
  EXPECT_NE(a, b);

  qiv::ZYRAPI::PrimitiveDef p;
  EXPECT_EQ(p.type, 0);
  p.name = "patch";
  p.entries = {"Inlet:1", "Inlet:2"};
  qiv::ZYRAPI::PrimitiveDef q;
  q = p;
  EXPECT_EQ(q.entries, p.entries);
  EXPECT_EQ(q.name, "patch");
}

} // namespace
