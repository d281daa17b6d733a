// The diagnostic prints of the data structures and utilities: each record printed to a memory
// stream, checked on the lines a developer reads (counts, members, the inactive/NULL forms).
#include "ErrorLog.h"
#include "HashSet.h"
#include "HashTable.h"
#include "LinkMap.h"
#include "Pair.h"
#include "RegularExpression.h"
#include "Set.h"
#include "UnicodeString.h"
#include "zyrArrayUtilities.h"
#include "zyrTestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

namespace {

using zyrtest::contains;
using zyrtest::printed;

void *P(uintptr_t v) { return reinterpret_cast<void *>(v); }

TEST(FoundationPrint, ContainersShowTheirCountsAndMembers) {
  Pair *pair = Pair_new();
  Pair_set(pair, P(0x10), nullptr);
  const std::string pairText = printed([&](FILE *f) { Pair_print(pair, f); });
  EXPECT_TRUE(contains(pairText, "m_first  = 0x10\n")) << pairText;
  Pair_delete(pair);

  Set *set = Set_new(4);
  Set_add(set, P(0x20));
  Set_add(set, P(0x30));
  Set_add(set, P(0x20));
  const std::string setText = printed([&](FILE *f) { Set_print(set, f); });
  EXPECT_TRUE(contains(setText, "m_count    = 2\n")) << setText;
  EXPECT_TRUE(contains(setText, "m_items[1] = 0x30\n")) << setText;
  EXPECT_FALSE(contains(setText, "m_items[2]")) << setText;
  Set_delete(set);

  HashSet *hashSet = HashSet_new(0);
  for (uintptr_t i = 1; i <= 3; ++i)
    HashSet_add(hashSet, P(i * 8));
  const std::string hashSetText = printed([&](FILE *f) { HashSet_print(hashSet, f); });
  EXPECT_TRUE(contains(hashSetText, "HashSet (")) << hashSetText;
  EXPECT_TRUE(contains(hashSetText, "m_count           = 3\n")) << hashSetText;
  HashSet_delete(hashSet);

  HashTable *table = HashTable_new(0, HashTable_hashString, HashTable_compareStrings);
  HashTable_insert(table, "alpha", P(1));
  HashTable_insert(table, "beta", P(2));
  EXPECT_EQ(HashTable_find(table, "beta"), P(2));
  EXPECT_EQ(HashTable_find(table, "gamma"), nullptr);
  const std::string tableText = printed([&](FILE *f) { HashTable_print(table, f); });
  EXPECT_TRUE(contains(tableText, "m_count           = 2\n")) << tableText;
  HashTable_delete(table);
}

TEST(FoundationPrint, LinkMapListsEachLinkOnce) {
  LinkMap *map = LinkMap_new(0);
  ASSERT_EQ(LinkMap_addLink(map, P(0x100), P(0x200), 3), 1);
  const std::string text = printed([&](FILE *f) { LinkMap_print(map, f); });
  EXPECT_TRUE(contains(text, "No. of links = 1\n")) << text;
  EXPECT_TRUE(contains(text, "0x100 -> 0x200 (3)\n")) << text;
  EXPECT_FALSE(contains(text, "(-3)")) << text; // the reverse half is internal
  LinkMap_delete(map);
}

TEST(FoundationPrint, TextRecordsShowCodePointsGroupsAndState) {
  UnicodeString *string = UnicodeString_new();
  ASSERT_EQ(UnicodeString_fromLatin1(string, "A\xe9"), 1);
  const std::string unicodeText = printed([&](FILE *f) { UnicodeString_print(string, f); });
  EXPECT_TRUE(contains(unicodeText, "m_length     = 2\n")) << unicodeText;
  EXPECT_TRUE(contains(unicodeText, "m_codePoints = U+0041 U+00E9\n")) << unicodeText;
  UnicodeString_delete(string);

  EXPECT_EQ(printed([](FILE *f) { RegularExpression_print(nullptr, f); }), "RegularExpression: NULL\n");
  RegularExpression *expression = RegularExpression_new("a(b*)c");
  ASSERT_NE(expression, nullptr);
  ASSERT_EQ(RegularExpression_match(expression, "xabbcy"), 1);
  const std::string regexText = printed([&](FILE *f) { RegularExpression_print(expression, f); });
  EXPECT_TRUE(contains(regexText, "  m_pattern = \"a(b*)c\"\n")) << regexText;
  EXPECT_TRUE(contains(regexText, "  group 0   = \"abbc\"\n")) << regexText;
  EXPECT_TRUE(contains(regexText, "  group 1   = \"bb\"\n")) << regexText;
  RegularExpression_delete(expression);

  EXPECT_TRUE(contains(printed([](FILE *f) { ErrorLog_print(nullptr, f); }), "  ErrorLog is inactive.\n"));
}

TEST(FoundationPrint, PointerDescendingOrdersHighAddressesFirst) {
  void *items[3] = {P(0x10), P(0x30), P(0x20)};
  std::qsort(items, 3, sizeof(void *), zyrComparePointerDescending);
  EXPECT_EQ(items[0], P(0x30));
  EXPECT_EQ(items[1], P(0x20));
  EXPECT_EQ(items[2], P(0x10));
}

} // namespace
