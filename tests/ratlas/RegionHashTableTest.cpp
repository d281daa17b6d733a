#include "RegionHashTable.h"
#include "RegionMemory.h"
#include "RegionNameRecord.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

struct Entry {
  uint64_t m_id;
};

int s_compares = 0;
int countingCompare(const void* a, const void* b) {
  ++s_compares;
  return RegionHashTable_compareIds(a, b);
}

struct Table {
  RegionHashTable* m_table = nullptr;
  explicit Table(uint64_t size, RegionCompareFunction compare = RegionHashTable_compareIds) {
    EXPECT_FALSE(RegionStatus_isError(RegionHashTable_new(&m_table, size, RegionHashTable_hashId, compare)));
  }
  ~Table() { RegionHashTable_delete(&m_table); }
};

std::vector<uint64_t> chain(const RegionHashTable* table, uint64_t bucket) {
  std::vector<uint64_t> ids;
  const RegionHashNode* previous = nullptr;
  for (const RegionHashNode* n = table->m_buckets[bucket]; n; n = n->m_next) {
    EXPECT_EQ(n->m_previous, previous);
    previous = n;
    ids.push_back(static_cast<const Entry*>(n->m_entry)->m_id);
  }
  return ids;
}

std::string capture(void (*print)(const RegionHashTable*, FILE*), const RegionHashTable* table) {
  FILE* f = tmpfile();
  print(table, f);
  std::string out(1 << 12, '\0');
  rewind(f);
  out.resize(fread(&out[0], 1, out.size(), f));
  fclose(f);
  return out;
}

TEST(RegionHashTable, CreationChecks) {
  RegionHashTable* t = nullptr;
  RegionStatus* s = RegionHashTable_new(&t, 0, RegionHashTable_hashId, RegionHashTable_compareIds);
  EXPECT_EQ(RegionStatus_getCode(s), 2u);
  EXPECT_STREQ(s->m_text, "Size of hash table is invalid");
  EXPECT_EQ(t, nullptr);
  s = RegionHashTable_new(nullptr, 3, RegionHashTable_hashId, RegionHashTable_compareIds);
  EXPECT_EQ(RegionStatus_getCode(s), 8u);
  EXPECT_STREQ(s->m_text, "Invalid object pointer - cannot create new object");
  RegionMemory_failAfter(1, 1);
  s = RegionHashTable_new(&t, 3, RegionHashTable_hashId, RegionHashTable_compareIds);
  EXPECT_STREQ(s->m_text, "Unable to allocate memory for new hash table.");
  EXPECT_EQ(t, nullptr);
  // A size no machine can hold fails as no memory.
  s = RegionHashTable_new(&t, UINT64_MAX / 2, RegionHashTable_hashId, RegionHashTable_compareIds);
  EXPECT_EQ(RegionStatus_getCode(s), 7u);
  EXPECT_FALSE(RegionStatus_isError(RegionHashTable_delete(&t)));
}

TEST(RegionHashTable, ChainsStayInAscendingOrder) {
  Table t(1);
  Entry e[] = {{5}, {1}, {9}, {3}, {7}};
  for (Entry& x : e) ASSERT_FALSE(RegionStatus_isError(RegionHashTable_insert(t.m_table, &x)));
  EXPECT_EQ(chain(t.m_table, 0), (std::vector<uint64_t>{1, 3, 5, 7, 9}));
  Entry key{7};
  EXPECT_FALSE(RegionStatus_isError(RegionHashTable_remove(t.m_table, &key)));
  key.m_id = 1;
  EXPECT_FALSE(RegionStatus_isError(RegionHashTable_remove(t.m_table, &key)));
  EXPECT_EQ(chain(t.m_table, 0), (std::vector<uint64_t>{3, 5, 9}));
  key.m_id = 4;
  RegionStatus* s = RegionHashTable_remove(t.m_table, &key);
  EXPECT_EQ(RegionStatus_getCode(s), 800000u);
  EXPECT_STREQ(s->m_text, "No match");
  EXPECT_EQ(RegionHashTable_count(t.m_table, nullptr), 3u);
}

// Id tables find an id's chain without a division; the chain must be the remainder's, or every
// listing in table order would change.
TEST(RegionHashTable, RemaindersWithoutDivisionAreExact) {
  std::mt19937_64 random(3);
  const uint64_t sizes[] = {1, 2, 3, 7, 100, 10023, 25007, 1ull << 32, (1ull << 63) + 1, UINT64_MAX};
  for (uint64_t d : sizes) {
    const uint64_t m = UINT64_MAX / d;
    for (uint64_t n : {uint64_t(0), d - 1, d, d + 1, UINT64_MAX, UINT64_MAX - 1}) ASSERT_EQ(RegionRemainder(n, d, m), n % d) << n << " % " << d;
    for (int i = 0; i < 20000; ++i) {
      const uint64_t n = random() >> (random() % 64);
      ASSERT_EQ(RegionRemainder(n, d, m), n % d) << n << " % " << d;
    }
  }
  Table t(25007);
  std::vector<Entry> e(3000);
  for (size_t i = 0; i < e.size(); ++i) {
    e[i].m_id = i * 331 + random() % 331;  // apart, in no bucket order
    RegionHashTable_insert(t.m_table, &e[i]);
  }
  for (const Entry& x : e) ASSERT_NE(RegionHashTable_find(t.m_table, &x, nullptr), nullptr);
  for (uint64_t b = 0; b < 25007; ++b) {
    for (uint64_t id : chain(t.m_table, b)) ASSERT_EQ(id % 25007, b);
  }
}

TEST(RegionHashTable, DuplicateInsertIsReportedAndIgnored) {
  Table t(7);
  Entry a{4}, b{4};
  testing::internal::CaptureStdout();
  EXPECT_FALSE(RegionStatus_isError(RegionHashTable_insert(t.m_table, &a)));
  EXPECT_FALSE(RegionStatus_isError(RegionHashTable_insert(t.m_table, &b)));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Found duplicate\n");
  EXPECT_EQ(RegionHashTable_count(t.m_table, nullptr), 1u);
  EXPECT_EQ(RegionHashTable_find(t.m_table, &b, nullptr), &a);
}

TEST(RegionHashTable, LastHitShortcut) {
  Table t(1, countingCompare);
  std::vector<Entry> e;
  for (uint64_t i = 0; i < 50; ++i) e.push_back({i * 2});
  for (Entry& x : e) RegionHashTable_insert(t.m_table, &x);
  Entry key{90};
  s_compares = 0;
  EXPECT_EQ(RegionHashTable_find(t.m_table, &key, nullptr), &e[45]);
  EXPECT_GT(s_compares, 40);
  s_compares = 0;
  EXPECT_EQ(RegionHashTable_find(t.m_table, &key, nullptr), &e[45]);
  EXPECT_EQ(s_compares, 1);
  EXPECT_EQ(t.m_table->m_lastNode->m_entry, &e[45]);
  // Removal by the remembered node, which is then forgotten.
  s_compares = 0;
  EXPECT_FALSE(RegionStatus_isError(RegionHashTable_remove(t.m_table, &key)));
  EXPECT_EQ(s_compares, 1);
  EXPECT_EQ(t.m_table->m_lastNode, nullptr);
  RegionStatus* s = nullptr;
  EXPECT_EQ(RegionHashTable_find(t.m_table, &key, &s), nullptr);
  EXPECT_EQ(RegionStatus_getCode(s), 800000u);
  // A miss ends at the first larger entry.
  Entry small{1};
  s_compares = 0;
  EXPECT_EQ(RegionHashTable_find(t.m_table, &small, nullptr), nullptr);
  EXPECT_EQ(s_compares, 2);
  // Inserting forgets the last hit as well.
  Entry k{10};
  EXPECT_NE(RegionHashTable_find(t.m_table, &k, nullptr), nullptr);
  Entry odd{11};
  RegionHashTable_insert(t.m_table, &odd);
  EXPECT_EQ(t.m_table->m_lastNode, nullptr);
}

TEST(RegionHashTable, MissingArguments) {
  Table t(3);
  RegionStatus* s = RegionHashTable_insert(nullptr, &t);
  EXPECT_EQ(RegionStatus_getCode(s), 2u);
  EXPECT_STREQ(s->m_text, "Invalid Hash Table");
  s = RegionHashTable_insert(t.m_table, nullptr);
  EXPECT_EQ(RegionStatus_getCode(s), 100007u);
  EXPECT_STREQ(s->m_text, "Invalid Entry.");
  s = RegionHashTable_remove(nullptr, &t);
  EXPECT_EQ(RegionStatus_getCode(s), 100007u);
  EXPECT_STREQ(s->m_text, "Invalid Hash Table");
  EXPECT_EQ(RegionHashTable_count(nullptr, &s), 0u);
  EXPECT_EQ(RegionStatus_getCode(s), 2u);
  EXPECT_STREQ(s->m_text, "Invalid hash table");
  s = RegionHashTable_iterate(t.m_table, nullptr, nullptr);
  EXPECT_EQ(RegionStatus_getCode(s), 3u);
  EXPECT_STREQ(s->m_text, "Function is missing");
  Entry e{1};
  RegionMemory_failAfter(0, 1);
  s = RegionHashTable_insert(t.m_table, &e);
  EXPECT_STREQ(s->m_text, "Unable to allocate memory for new hash element.");
  EXPECT_EQ(RegionHashTable_count(t.m_table, nullptr), 0u);
}

struct Walk {
  std::vector<uint64_t> m_seen;
  uint64_t m_failAt = UINT64_MAX;
};

RegionStatus* dropEven(void** entry, void* context) {
  Walk* walk = static_cast<Walk*>(context);
  uint64_t id = static_cast<Entry*>(*entry)->m_id;
  walk->m_seen.push_back(id);
  if (id % 2 == 0) *entry = nullptr;
  if (id == walk->m_failAt) return RegionStatus_fail(1, "stop");
  return RegionStatus_success();
}

TEST(RegionHashTable, IterateDeletesClearedEntriesAndStopsOnFailure) {
  Table t(4);
  std::vector<Entry> e;
  for (uint64_t i = 1; i <= 12; ++i) e.push_back({i});
  for (Entry& x : e) RegionHashTable_insert(t.m_table, &x);
  Entry key{6};
  ASSERT_NE(RegionHashTable_find(t.m_table, &key, nullptr), nullptr);

  Walk walk;
  walk.m_failAt = 6;  // bucket 2 holds 2, 6, 10
  RegionStatus* s = RegionHashTable_iterate(t.m_table, dropEven, &walk);
  EXPECT_EQ(RegionStatus_getCode(s), 1u);
  EXPECT_EQ(walk.m_seen, (std::vector<uint64_t>{4, 8, 12, 1, 5, 9, 2, 6}));
  EXPECT_EQ(RegionHashTable_count(t.m_table, nullptr), 7u);
  EXPECT_EQ(t.m_table->m_lastNode, nullptr);  // the remembered node was dropped

  walk = Walk();
  EXPECT_FALSE(RegionStatus_isError(RegionHashTable_iterate(t.m_table, dropEven, &walk)));
  EXPECT_EQ(walk.m_seen, (std::vector<uint64_t>{1, 5, 9, 10, 3, 7, 11}));
  EXPECT_EQ(RegionHashTable_count(t.m_table, nullptr), 6u);
  EXPECT_EQ(chain(t.m_table, 2), std::vector<uint64_t>{});
}

TEST(RegionHashTable, CollectHandsOutEntryPlaces) {
  Table t(5);
  uint64_t count = 9;
  RegionStatus* s = nullptr;
  EXPECT_EQ(RegionHashTable_collect(t.m_table, sizeof(void**), &count, &s), nullptr);
  EXPECT_EQ(count, 0u);
  EXPECT_FALSE(RegionStatus_isError(s));
  Entry e[] = {{3}, {8}, {4}};
  for (Entry& x : e) RegionHashTable_insert(t.m_table, &x);
  void*** places = static_cast<void***>(RegionHashTable_collect(t.m_table, sizeof(void**), &count, &s));
  ASSERT_NE(places, nullptr);
  ASSERT_EQ(count, 3u);
  // Bucket 3 holds 3 then 8, bucket 4 holds 4.
  EXPECT_EQ(*places[0], &e[0]);
  EXPECT_EQ(*places[1], &e[1]);
  EXPECT_EQ(*places[2], &e[2]);
  RegionMemory_release(places);
  EXPECT_EQ(RegionHashTable_collect(nullptr, sizeof(void**), &count, &s), nullptr);
  EXPECT_EQ(RegionStatus_getCode(s), 2u);
  RegionMemory_failAfter(0, 1);
  EXPECT_EQ(RegionHashTable_collect(t.m_table, sizeof(void**), &count, &s), nullptr);
  EXPECT_STREQ(s->m_text, "Unable to allocate memory for new returned objects.");
}

TEST(RegionHashTable, PrintListsNameRecordsByBucket) {
  Table t(2);
  RegionNameRecord *a = nullptr, *b = nullptr, *c = nullptr;
  RegionNameRecord_new(&a, "print-a");
  RegionNameRecord_new(&b, "print-b");
  RegionNameRecord_new(&c, "print-c");
  RegionHashTable_insert(t.m_table, a);
  RegionHashTable_insert(t.m_table, b);
  RegionHashTable_insert(t.m_table, c);
  std::string expected = "Hash Table\n";
  char line[256];
  for (uint64_t bucket = 0; bucket < 2; ++bucket) {
    uint64_t place = 0;
    for (RegionHashNode* n = t.m_table->m_buckets[bucket]; n; n = n->m_next) {
      const RegionNameRecord* r = static_cast<const RegionNameRecord*>(n->m_entry);
      snprintf(line, sizeof(line), "Entry %10lu off element %10lu: %s (%p)\n", static_cast<unsigned long>(++place),
               static_cast<unsigned long>(bucket), RegionNameRecord_getName(r), n->m_entry);
      expected += line;
    }
  }
  expected += "Hash Table\n";
  EXPECT_EQ(capture(RegionHashTable_print, t.m_table), expected);

  // The longest chain and the first bucket that has it.
  Table u(3);
  Entry e[] = {{1}, {4}, {2}, {5}, {8}};
  for (Entry& x : e) RegionHashTable_insert(u.m_table, &x);
  EXPECT_EQ(capture(RegionHashTable_printStatistics, u.m_table), "Maximum Chain Length 3 at table pos 2.\n");
  RegionNameRecord_delete(&a);
  RegionNameRecord_delete(&b);
  RegionNameRecord_delete(&c);
}

// The look-up index must answer exactly as the chains do. The same random run of inserts,
// duplicates, finds, removals and iterations that clear or replace entries goes to a table with
// the index (ids, and texts under the text key) and to one without it (a compare the table does
// not know); finds, failures, counts and the entries of every chain in order must stay equal.
int plainIds(const void* a, const void* b) { return RegionHashTable_compareIds(a, b); }

struct Swap {
  std::vector<Entry>* m_spare;
  uint64_t m_step = 0;
};

RegionStatus* clearOrReplace(void** entry, void* context) {
  Swap* swap = static_cast<Swap*>(context);
  Entry* e = static_cast<Entry*>(*entry);
  ++swap->m_step;
  if (e->m_id % 7 == 0) *entry = nullptr;
  // A replacement by an entry of the same id (the only replacement that keeps a chain sound).
  if (e->m_id % 11 == 0) {
    (*swap->m_spare)[e->m_id] = *e;
    *entry = &(*swap->m_spare)[e->m_id];
  }
  return RegionStatus_success();
}

std::vector<uint64_t> allChains(const RegionHashTable* table) {
  std::vector<uint64_t> ids;
  for (uint64_t b = 0; b < table->m_size; ++b)
    for (const RegionHashNode* n = table->m_buckets[b]; n; n = n->m_next) ids.push_back(static_cast<const Entry*>(n->m_entry)->m_id);
  return ids;
}

// Every chain in ascending order of id, linked both ways, its last node noted as its tail (an
// entry after the tail is linked there without a walk) and, in id tables, the tail's id noted:
// then an insertion lands where a walk along the chain would have put it (the table compared
// by a function of its own notes no ids and walks: both must hold the same chains).
void expectOrderedChains(const RegionHashTable* table) {
  for (uint64_t b = 0; b < table->m_size; ++b) {
    const RegionHashNode* last = nullptr;
    for (const RegionHashNode* n = table->m_buckets[b]; n; n = n->m_next) {
      ASSERT_EQ(n->m_previous, last) << b;
      if (last) ASSERT_LT(static_cast<const Entry*>(last->m_entry)->m_id, static_cast<const Entry*>(n->m_entry)->m_id) << b;
      last = n;
    }
    ASSERT_EQ(table->m_buckets[table->m_size + b], last) << b;
    // Id tables test "after the last" against the id kept for the tail.
    if (last && table->m_compare == RegionHashTable_compareIds) {
      uint64_t kept = 0;
      memcpy(&kept, &table->m_buckets[2 * table->m_size + b], sizeof(kept));
      ASSERT_EQ(kept, static_cast<const Entry*>(last->m_entry)->m_id) << b;
    }
  }
}

TEST(RegionHashTable, TheIndexAnswersAsTheChainsDo) {
  Table indexed(97), plain(97, plainIds);
  ASSERT_NE(indexed.m_table->m_key, nullptr);
  ASSERT_EQ(plain.m_table->m_key, nullptr);
  const uint64_t kIds = 3000;
  std::vector<Entry> a(kIds), b(kIds), spareA(kIds), spareB(kIds);
  for (uint64_t i = 0; i < kIds; ++i) a[i] = b[i] = {i};
  uint64_t state = 7;
  auto next = [&state](uint64_t n) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return (state >> 33) % n;
  };
  testing::internal::CaptureStdout();  // duplicates are reported on standard output
  for (int step = 0; step < 40000; ++step) {
    const uint64_t id = next(kIds);
    const uint64_t what = next(100);
    if (what < 45) {
      EXPECT_EQ(RegionStatus_isError(RegionHashTable_insert(indexed.m_table, &a[id])),
                RegionStatus_isError(RegionHashTable_insert(plain.m_table, &b[id])));
    } else if (what < 75) {
      Entry key{id};
      RegionStatus *s1 = nullptr, *s2 = nullptr;
      const Entry* x = static_cast<const Entry*>(RegionHashTable_find(indexed.m_table, &key, &s1));
      const Entry* y = static_cast<const Entry*>(RegionHashTable_find(plain.m_table, &key, &s2));
      ASSERT_EQ(x == nullptr, y == nullptr) << id;
      if (x) EXPECT_EQ(x->m_id, y->m_id);
      EXPECT_EQ(RegionStatus_getCode(s1), RegionStatus_getCode(s2));
    } else if (what < 99) {
      Entry key{id};
      EXPECT_EQ(RegionStatus_getCode(RegionHashTable_remove(indexed.m_table, &key)),
                RegionStatus_getCode(RegionHashTable_remove(plain.m_table, &key)));
    } else {
      Swap s1{&spareA}, s2{&spareB};
      ASSERT_FALSE(RegionStatus_isError(RegionHashTable_iterate(indexed.m_table, clearOrReplace, &s1)));
      ASSERT_FALSE(RegionStatus_isError(RegionHashTable_iterate(plain.m_table, clearOrReplace, &s2)));
      EXPECT_EQ(s1.m_step, s2.m_step);
    }
    ASSERT_EQ(RegionHashTable_count(indexed.m_table, nullptr), RegionHashTable_count(plain.m_table, nullptr));
    if (step % 500 == 0) {
      expectOrderedChains(indexed.m_table);
      expectOrderedChains(plain.m_table);
    }
  }
  expectOrderedChains(indexed.m_table);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(allChains(indexed.m_table), allChains(plain.m_table));
  EXPECT_GT(RegionHashTable_count(indexed.m_table, nullptr), 100u);
  // Every entry still in the table is found through the index, and only those.
  for (uint64_t i = 0; i < kIds; ++i) {
    Entry key{i};
    EXPECT_EQ(RegionHashTable_find(indexed.m_table, &key, nullptr) != nullptr,
              RegionHashTable_find(plain.m_table, &key, nullptr) != nullptr);
  }
}

uint64_t textBucket(uint64_t size, const void* text) { return strlen(static_cast<const char*>(text)) % size; }
int textCompare(const void* a, const void* b) { return strcmp(static_cast<const char*>(a), static_cast<const char*>(b)); }

TEST(RegionHashTable, TextKeysFindTextsThatCollideInTheirBuckets) {
  RegionHashTable* t = nullptr;
  ASSERT_FALSE(RegionStatus_isError(RegionHashTable_new(&t, 5, textBucket, textCompare)));
  std::vector<std::string> texts;
  for (int i = 0; i < 500; ++i) texts.push_back("name " + std::to_string(i * 37));
  for (size_t i = 0; i < 250; ++i) RegionHashTable_insert(t, &texts[i][0]);
  RegionHashTable_setKey(t, RegionHashTable_textKey, 0);  // indexes what is there
  for (size_t i = 250; i < texts.size(); ++i) RegionHashTable_insert(t, &texts[i][0]);
  for (size_t i = 0; i < texts.size(); i += 2) ASSERT_FALSE(RegionStatus_isError(RegionHashTable_remove(t, texts[i].c_str())));
  for (size_t i = 0; i < texts.size(); ++i) {
    std::string copy = texts[i];  // found by its text, not its address
    const char* found = static_cast<const char*>(RegionHashTable_find(t, copy.c_str(), nullptr));
    if (i % 2) EXPECT_EQ(found, texts[i].c_str()) << copy;
    else EXPECT_EQ(found, nullptr) << copy;
  }
  std::string missing = "name 1";
  EXPECT_EQ(RegionHashTable_find(t, missing.c_str(), nullptr), nullptr);
  EXPECT_EQ(RegionHashTable_count(t, nullptr), 250u);
  RegionHashTable_delete(&t);
}

} // namespace

namespace {

// Filling in one go: the same chains as inserting one by one; an entry held already is passed
// over; an equal entry or a node that cannot be had leaves the table as it was, index included.
TEST(RegionHashTable, InsertAllFillsAsSingleInsertionsAndUndoesAFailure) {
  Table together(13), single(13);
  std::vector<Entry> e(400);
  for (uint64_t i = 0; i < e.size(); ++i) e[i] = {(i * 7919) % 1000};
  std::vector<void*> first, second;
  for (uint64_t i = 0; i < 150; ++i) first.push_back(&e[i]);
  for (uint64_t i = 100; i < 400; ++i) second.push_back(&e[i]);  // 50 of them held already
  ASSERT_FALSE(RegionStatus_isError(RegionHashTable_insertAll(together.m_table, first.data(), first.size(), nullptr)));
  uint64_t added = 0;
  ASSERT_FALSE(RegionStatus_isError(RegionHashTable_insertAll(together.m_table, second.data(), second.size(), &added)));
  EXPECT_EQ(added, 250u);
  for (Entry& x : e) RegionHashTable_insert(single.m_table, &x);
  EXPECT_EQ(allChains(together.m_table), allChains(single.m_table));
  expectOrderedChains(together.m_table);
  const std::vector<uint64_t> before = allChains(together.m_table);
  // A different entry equal to a held one, after some new ones.
  std::vector<Entry> more = {{1001}, {1002}, {e[3].m_id}, {1003}};
  std::vector<void*> clash = {&more[0], &e[5], &more[1], &more[2], &more[3]};
  RegionStatus* s = RegionHashTable_insertAll(together.m_table, clash.data(), clash.size(), &added);
  EXPECT_EQ(RegionStatus_getCode(s), 2u);
  EXPECT_STREQ(s->m_text, "Found duplicate");
  EXPECT_EQ(added, 0u);
  EXPECT_EQ(allChains(together.m_table), before);
  expectOrderedChains(together.m_table);
  Entry key{1001};
  EXPECT_EQ(RegionHashTable_find(together.m_table, &key, nullptr), nullptr);
  // Out of nodes part way: a table whose blocks are full needs a new one.
  std::vector<Entry> many(5000);
  std::vector<void*> manyPointers;
  for (uint64_t i = 0; i < many.size(); ++i) {
    many[i] = {2000 + i};
    manyPointers.push_back(&many[i]);
  }
  RegionMemory_failAfter(0, 1);
  s = RegionHashTable_insertAll(together.m_table, manyPointers.data(), manyPointers.size(), nullptr);
  RegionMemory_failAfter(-1, 0);
  EXPECT_STREQ(s->m_text, "Unable to allocate memory for new hash element.");
  EXPECT_EQ(allChains(together.m_table), before);
  expectOrderedChains(together.m_table);
  for (Entry& x : e) EXPECT_EQ(RegionHashTable_find(together.m_table, &x, nullptr), &x);
  // Emptied, and filled again.
  RegionHashTable_clear(together.m_table);
  EXPECT_EQ(RegionHashTable_count(together.m_table, nullptr), 0u);
  expectOrderedChains(together.m_table);
  EXPECT_EQ(RegionHashTable_find(together.m_table, &e[0], nullptr), nullptr);
  ASSERT_FALSE(RegionStatus_isError(RegionHashTable_insertAll(together.m_table, manyPointers.data(), manyPointers.size(), nullptr)));
  expectOrderedChains(together.m_table);
  for (Entry& x : many) EXPECT_EQ(RegionHashTable_find(together.m_table, &x, nullptr), &x);
}

}  // namespace

namespace {

// Rising ids go to the end of their chains without a walk, from free nodes, into empty index
// slots. Runs of rising ids with removals of the newest ones (their nodes come back), older and
// repeated ids among them, and node blocks refused now and then must leave an id table as a
// table of the same entries that takes every insertion the general way: the same statuses and
// texts, the same chains, the same finds.
TEST(RegionHashTable, RisingIdsEndAsTheGeneralPathEnds) {
  Table ids(31), plain(31, plainIds);
  const uint64_t kIds = 6000;
  std::vector<Entry> a(kIds), b(kIds);
  for (uint64_t i = 0; i < kIds; ++i) a[i] = b[i] = {i};
  uint64_t state = 11;
  auto next = [&state](uint64_t n) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return (state >> 33) % n;
  };
  uint64_t rising = 0, refused = 0;
  std::vector<uint64_t> newest;
  for (int step = 0; step < 20000; ++step) {
    const uint64_t what = next(100);
    if (what < 70) {
      uint64_t id = what < 55 && rising < kIds ? rising++ : next(rising + 1 < kIds ? rising + 1 : kIds);
      if (what >= 62 && !newest.empty()) id = newest.back();  // the last of its chain again
      const bool refuse = next(2) == 0;
      if (refuse) RegionMemory_failAfter(0, 1);
      testing::internal::CaptureStdout();  // where a repeated id is reported
      RegionStatus* s = RegionHashTable_insert(ids.m_table, &a[id]);
      const std::string said = testing::internal::GetCapturedStdout();
      const uint32_t code = RegionStatus_getCode(s);
      const std::string text = s->m_text ? s->m_text : "";
      if (refuse) RegionMemory_failAfter(0, 1);
      testing::internal::CaptureStdout();
      s = RegionHashTable_insert(plain.m_table, &b[id]);
      ASSERT_EQ(said, testing::internal::GetCapturedStdout()) << step;
      RegionMemory_failAfter(-1, 0);
      ASSERT_EQ(code, RegionStatus_getCode(s)) << step;
      ASSERT_EQ(text, s->m_text ? s->m_text : "") << step;
      if (code != 0) ++refused;
      else newest.push_back(id);
    } else {
      uint64_t id = next(kIds);
      if (what < 92 && !newest.empty()) {
        id = newest.back();
        newest.pop_back();
      }
      Entry key{id};
      ASSERT_EQ(RegionStatus_getCode(RegionHashTable_remove(ids.m_table, &key)),
                RegionStatus_getCode(RegionHashTable_remove(plain.m_table, &key)));
    }
    ASSERT_EQ(RegionHashTable_count(ids.m_table, nullptr), RegionHashTable_count(plain.m_table, nullptr));
    if (step % 1000 == 0) expectOrderedChains(ids.m_table);
  }
  EXPECT_GT(refused, 4u);  // blocks grow, so few insertions need one
  EXPECT_GT(RegionHashTable_count(ids.m_table, nullptr), 1000u);
  expectOrderedChains(ids.m_table);
  EXPECT_EQ(allChains(ids.m_table), allChains(plain.m_table));
  for (uint64_t i = 0; i < kIds; ++i) {
    const Entry* x = static_cast<const Entry*>(RegionHashTable_find(ids.m_table, &a[i], nullptr));
    const Entry* y = static_cast<const Entry*>(RegionHashTable_find(plain.m_table, &b[i], nullptr));
    ASSERT_EQ(x == &a[i], y == &b[i]) << i;
    ASSERT_EQ(x == nullptr, y == nullptr) << i;
  }
}

}  // namespace
