#include "RegionHashTable.h"
#include "RegionMemory.h"
#include "RegionName.h"
#include "RegionNameDictionary.h"
#include "RegionNameRecord.h"
#include "StringList.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

uint64_t idOf(const char* name) {
  uint64_t id = 0;
  EXPECT_FALSE(RegionStatus_isError(RegionNameDictionary_add(name, &id)));
  return id;
}

RegionMap* fakeMap(int i) {
  static char maps[8];
  return reinterpret_cast<RegionMap*>(&maps[i]);
}

TEST(RegionName, BlankNames) {
  RegionStatus* s = nullptr;
  EXPECT_EQ(RegionName_isBlank("   ", &s), 1);
  EXPECT_EQ(RegionStatus_getCode(s), 300000u);
  EXPECT_STREQ(s->m_text, "Invalid name - cannot be blank.");
  EXPECT_EQ(RegionName_isBlank("", nullptr), 1);
  EXPECT_EQ(RegionName_isBlank(nullptr, nullptr), 1);
  EXPECT_EQ(RegionName_isBlank(" \t\n\v\f\r", nullptr), 1);
  EXPECT_EQ(RegionName_isBlank(" x ", &s), 0);
  EXPECT_EQ(RegionStatus_isError(s), 0);
  EXPECT_EQ(RegionName_isBlank("\xe4", nullptr), 0);
}

// The quick answer for names starting with '!' to '~' and the scan agree on every first byte,
// with and without more characters after it, in answer and in status.
TEST(RegionName, BlankCheckAgreesWithTheScanForEveryFirstByte) {
  for (int c = 1; c < 256; ++c) {
    for (const char* tail : {"", " ", "x", "\t\xe4"}) {
      const std::string name = std::string(1, char(c)) + tail;
      RegionStatus* quick = nullptr;
      RegionStatus* scanned = nullptr;
      const int blank = RegionName_isBlank(name.c_str(), &quick);
      const uint32_t code = RegionStatus_getCode(quick);
      ASSERT_EQ(blank, RegionName_scanBlank(name.c_str(), &scanned)) << c;
      ASSERT_EQ(code, RegionStatus_getCode(scanned)) << c;
      ASSERT_EQ(quick, scanned) << c;
      ASSERT_EQ(RegionName_isBlank(name.c_str(), nullptr), blank) << c;
    }
  }
  RegionStatus* s = nullptr;
  EXPECT_EQ(RegionName_isBlank(nullptr, &s), 1);
  EXPECT_STREQ(s->m_text, "Invalid name - cannot be blank.");
}

// The quick hash reads the last bytes of a text in one or two loads; it must give what copying
// them byte by byte into a zeroed word gave, for every length, and read nothing past the text
// (each text has a heap block of its exact size, so the sanitizer sees any byte too far).
TEST(RegionNameDictionary, QuickHashOfEveryLengthAsByteByByte) {
  auto byBytes = [](const char* p, size_t* length) {
    size_t n = strlen(p);
    *length = n;
    uint64_t h = UINT64_C(0xCBF29CE484222325) ^ n;
    for (; n >= 8; n -= 8, p += 8) {
      uint64_t w;
      memcpy(&w, p, 8);
      h = (h ^ w) * UINT64_C(0x9E3779B97F4A7C15);
      h ^= h >> 29;
    }
    uint64_t w = 0;
    for (size_t i = 0; i < n; ++i) w |= uint64_t(static_cast<unsigned char>(p[i])) << (8 * i);
    h = (h ^ w) * UINT64_C(0x9E3779B97F4A7C15);
    return h ^ (h >> 32);
  };
  uint64_t state = 5;
  auto next = [&state] {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return state >> 33;
  };
  for (size_t n = 0; n <= 40; ++n) {
    for (int t = 0; t < 50; ++t) {
      std::unique_ptr<char[]> text(new char[n + 1]);
      for (size_t i = 0; i < n; ++i) text[i] = char(1 + next() % 255);
      text[n] = '\0';
      size_t length = 99, expected = 0;
      ASSERT_EQ(RegionHashTable_textKeyAndLength(text.get(), &length), byBytes(text.get(), &expected)) << n;
      ASSERT_EQ(length, n);
      ASSERT_EQ(RegionHashTable_textKey(text.get()), byBytes(text.get(), &expected));
    }
  }
}

TEST(RegionNameDictionary, HashOfTexts) {
  EXPECT_EQ(RegionNameDictionary_hash(10023, "ab"), 8955u);
  EXPECT_EQ(RegionNameDictionary_hash(10023, "Wall"), 7947u);
  // Bytes above 127 count as negative numbers.
  EXPECT_EQ(RegionNameDictionary_hash(10023, "W\xe4l"), 8132u);
  EXPECT_EQ(RegionNameDictionary_hash(7, "ab"), 4u);
  EXPECT_EQ(RegionNameDictionary_hash(10023, ""), 0u);
}

// The hash takes its remainders by multiplication; it must give what plain division gives, for
// every size (two and three, table sizes, sizes past 32 bits where the products wrap) and for
// texts with bytes above 127 (whose negative values wrap the sum).
TEST(RegionNameDictionary, HashEqualsThePlainRemainderForm) {
  auto plain = [](uint64_t size, const char* text) {
    uint64_t h = 0, a = 31415;
    for (const char* p = text; *p; ++p) {
      uint64_t c = static_cast<uint64_t>(static_cast<int64_t>(static_cast<signed char>(*p)));
      h = (a * h + c) % size;
      a = (a * 27183) % (size - 1);
    }
    return h;
  };
  uint64_t state = 99;
  auto next = [&state] {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return state;
  };
  const uint64_t sizes[] = {2, 3, 7, 10023, 25007, 100007, 4294967291ull, 4294967296ull, 4294967311ull,
                            (1ull << 40) + 15, UINT64_MAX / 3, UINT64_MAX};
  for (uint64_t size : sizes) {
    for (int t = 0; t < 300; ++t) {
      char text[24];
      const int length = 1 + static_cast<int>(next() >> 60);
      for (int i = 0; i < length; ++i) {
        char c = static_cast<char>(next() >> 56);
        text[i] = c ? c : 'x';
      }
      text[length] = '\0';
      ASSERT_EQ(RegionNameDictionary_hash(size, text), plain(size, text)) << size;
    }
  }
}

TEST(RegionNameDictionary, IdsFromOneAndNeverRepeated) {
  RegionNameDictionary_destroy();
  uint64_t id = 0;
  RegionStatus* s = RegionNameDictionary_lookup("first", &id);
  EXPECT_EQ(RegionStatus_getCode(s), 800000u);
  EXPECT_EQ(s->m_text, nullptr);
  EXPECT_EQ(idOf("first"), 1u);
  EXPECT_EQ(idOf("second"), 2u);
  EXPECT_EQ(idOf("first"), 1u);
  EXPECT_EQ(RegionNameDictionary_instance()->m_count, 2u);
  EXPECT_FALSE(RegionStatus_isError(RegionNameDictionary_lookup("second", &id)));
  EXPECT_EQ(id, 2u);
  s = RegionNameDictionary_lookup("third", &id);
  EXPECT_EQ(RegionStatus_getCode(s), 800000u);
  EXPECT_STREQ(s->m_text, "No match");
  s = RegionNameDictionary_add("   ", &id);
  EXPECT_EQ(RegionStatus_getCode(s), 300000u);
  EXPECT_STREQ(s->m_text, "Invalid name - cannot be blank.");
  EXPECT_EQ(RegionStatus_getCode(RegionNameDictionary_lookup("", &id)), 300000u);

  const char* name = nullptr;
  EXPECT_FALSE(RegionStatus_isError(RegionNameDictionary_name(2, &name)));
  EXPECT_STREQ(name, "second");
  s = RegionNameDictionary_name(0, &name);
  EXPECT_EQ(RegionStatus_getCode(s), 800000u);
  EXPECT_EQ(s->m_text, nullptr);
  EXPECT_EQ(RegionStatus_getCode(RegionNameDictionary_name(3, &name)), 800000u);
  // Names are case and blank sensitive.
  EXPECT_EQ(idOf("First"), 3u);
  EXPECT_EQ(idOf(" first"), 4u);
}

// Texts are compared by length and bytes: names that are prefixes of each other, or differ only
// in their last byte, each keep their own id, also past the first 8 bytes.
TEST(RegionNameDictionary, PrefixesAndLastBytesAreOtherNames) {
  RegionNameDictionary_destroy();
  std::vector<std::string> texts;
  for (size_t n = 1; n <= 70; ++n) {
    for (const char* last : {"w", "v", "\xe4"}) texts.push_back(std::string(n - 1, 'w') + last);
  }
  for (size_t i = 0; i < texts.size(); ++i) EXPECT_EQ(idOf(texts[i].c_str()), i + 1) << i;
  for (size_t i = 0; i < texts.size(); ++i) {
    uint64_t id = 0;
    ASSERT_FALSE(RegionStatus_isError(RegionNameDictionary_lookup(texts[i].c_str(), &id)));
    EXPECT_EQ(id, i + 1);
  }
  uint64_t id = 0;
  EXPECT_EQ(RegionStatus_getCode(RegionNameDictionary_lookup(std::string(71, 'w').c_str(), &id)), 800000u);
  EXPECT_EQ(RegionNameDictionary_count(), texts.size());
  RegionNameDictionary_destroy();
}

TEST(RegionNameDictionary, GrowthKeepsIds) {
  RegionNameDictionary_destroy();
  std::vector<std::string> names;
  for (int i = 0; i < 21071; ++i) names.push_back("growth name " + std::to_string(i));
  for (size_t i = 0; i < 10023; ++i) ASSERT_EQ(idOf(names[i].c_str()), i + 1);
  EXPECT_EQ(RegionNameDictionary_instance()->m_capacity, 10023u);
  idOf(names[10023].c_str());
  EXPECT_EQ(RegionNameDictionary_instance()->m_capacity, 20046u);
  for (size_t i = 10024; i < 20046; ++i) idOf(names[i].c_str());
  EXPECT_EQ(RegionNameDictionary_instance()->m_capacity, 20046u);
  EXPECT_EQ(idOf(names[20046].c_str()), 20047u);
  EXPECT_EQ(RegionNameDictionary_instance()->m_capacity, 21070u);
  for (size_t i = 20047; i < 21071; ++i) idOf(names[i].c_str());
  EXPECT_EQ(RegionNameDictionary_instance()->m_capacity, 22094u);
  for (size_t i = 0; i < names.size(); i += 97) {
    uint64_t id = 0;
    ASSERT_FALSE(RegionStatus_isError(RegionNameDictionary_lookup(names[i].c_str(), &id)));
    EXPECT_EQ(id, i + 1);
    const char* text = nullptr;
    RegionNameDictionary_name(i + 1, &text);
    EXPECT_EQ(names[i], text);
  }
  RegionNameDictionary_destroy();
}

TEST(RegionNameDictionary, OutOfMemoryChangesNothing) {
  RegionNameDictionary_destroy();
  RegionMemory_failAfter(0, 1);
  RegionStatus* s = RegionNameDictionary_add("x", nullptr);
  EXPECT_STREQ(s->m_text, "Unable to allocate memory for new Dictionary.");
  EXPECT_EQ(RegionNameDictionary_instance(), nullptr);
  EXPECT_EQ(idOf("x"), 1u);
  RegionMemory_failAfter(0, 1);
  s = RegionNameDictionary_add("y", nullptr);
  EXPECT_STREQ(s->m_text, "Unable to allocate memory for new Dictionary Entry.");
  EXPECT_EQ(RegionNameDictionary_instance()->m_count, 1u);
  EXPECT_EQ(idOf("y"), 2u);
  // A full dictionary that cannot grow keeps what it has.
  for (int i = 2; i < 10023; ++i) idOf(("fill " + std::to_string(i)).c_str());
  RegionMemory_failAfter(0, 1);
  s = RegionNameDictionary_add("over", nullptr);
  EXPECT_STREQ(s->m_text, "Unable to allocate memory for new Dictionary Entry.");
  EXPECT_EQ(RegionNameDictionary_instance()->m_capacity, 10023u);
  EXPECT_EQ(idOf("over"), 10024u);
  EXPECT_EQ(idOf("y"), 2u);
  // Nor does one whose search index cannot grow (at 16385 names).
  for (int i = 10025; i <= 16384; ++i) idOf(("fill " + std::to_string(i)).c_str());
  RegionMemory_failAfter(0, 1);
  s = RegionNameDictionary_add("index", nullptr);
  EXPECT_STREQ(s->m_text, "Unable to allocate memory for new Dictionary Entry.");
  EXPECT_EQ(RegionNameDictionary_instance()->m_count, 16384u);
  EXPECT_EQ(idOf("index"), 16385u);
  for (int i = 2; i <= 16384; i += 101) EXPECT_EQ(idOf(("fill " + std::to_string(i)).c_str()), uint64_t(i < 10023 ? i + 1 : i)) << i;
  RegionNameDictionary_destroy();
}

// Texts share blocks, yet a failure of memory comes at the same name as when each text had a
// block of its own: every new name passes the memory layer once, whether it fits in the block in
// use, starts a new one or (being long) gets one of its own. The name that fails is not entered;
// every text kept stays as it was.
TEST(RegionNameDictionary, EveryNewTextCountsAsOneAllocation) {
  RegionNameDictionary_destroy();
  EXPECT_EQ(idOf("start"), 1u);
  std::vector<std::string> entered{"start"};
  uint64_t state = 3;
  auto next = [&state] {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return state >> 33;
  };
  const size_t lengths[] = {5, 3000, 20000};
  for (int64_t allowed = 0; allowed < 40; ++allowed) {
    RegionMemory_failAfter(allowed, 1);
    for (int64_t i = 0; i <= allowed; ++i) {
      std::string text = std::to_string(entered.size()) + ":" + std::string(lengths[next() % 3], char('a' + next() % 26));
      uint64_t id = 0;
      RegionStatus* s = RegionNameDictionary_add(text.c_str(), &id);
      if (i < allowed) {
        ASSERT_FALSE(RegionStatus_isError(s)) << allowed << " " << i;
        entered.push_back(text);
        ASSERT_EQ(id, entered.size());
      } else {
        ASSERT_STREQ(s->m_text, "Unable to allocate memory for new Dictionary Entry.") << allowed;
        ASSERT_EQ(RegionStatus_getCode(RegionNameDictionary_lookup(text.c_str(), &id)), 800000u);
      }
    }
  }
  ASSERT_EQ(RegionNameDictionary_count(), entered.size());
  for (size_t i = 0; i < entered.size(); ++i) {
    const char* text = nullptr;
    RegionNameDictionary_name(i + 1, &text);
    ASSERT_EQ(entered[i], text);
    EXPECT_EQ(idOf(entered[i].c_str()), i + 1);
  }
  RegionNameDictionary_destroy();
}

// The dictionary searches through its own index and makes its chained table only when looked
// at. Against a plain map of texts to ids and a table filled name by name at the bucket count
// the dictionary had when it kept its table up to date at every growth: same ids, same chains.
TEST(RegionNameDictionary, IndexAndTableAnswerAsAPlainMapAndATableFilledByName) {
  RegionNameDictionary_destroy();
  uint64_t state = 7;
  auto next = [&state] {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return state >> 33;
  };
  std::map<std::string, uint64_t> plain;
  std::vector<std::string> byId;
  uint64_t capacity = 10023, buckets = 10023;
  for (int step = 0; step < 60000; ++step) {
    // Texts of many lengths (the index hashes eight bytes at a time), some differing in one byte.
    std::string text = "n" + std::to_string(next() % 40000);
    if (next() % 3 == 0) text += std::string(next() % 20, char('a' + next() % 26));
    if (next() % 5 == 0) text = "\xe4" + text;
    uint64_t id = 0;
    if (next() % 4 == 0) {
      RegionStatus* s = RegionNameDictionary_lookup(text.c_str(), &id);
      auto known = plain.find(text);
      ASSERT_EQ(RegionStatus_isError(s) ? 0u : id, known == plain.end() ? 0u : known->second) << text;
      continue;
    }
    ASSERT_FALSE(RegionStatus_isError(RegionNameDictionary_add(text.c_str(), &id)));
    auto inserted = plain.emplace(text, plain.size() + 1);
    ASSERT_EQ(id, inserted.first->second) << text;
    if (inserted.second) {
      byId.push_back(text);
      if (byId.size() > capacity) {
        capacity = capacity < 10024 ? capacity * 2 : capacity + 1024;
        if (buckets < capacity / 2) buckets = capacity;
      }
    }
    if (step % 20000 == 19999 || step == 500) {
      const RegionNameDictionary* d = RegionNameDictionary_instance();
      ASSERT_NE(d->m_table, nullptr);
      ASSERT_EQ(d->m_capacity, capacity);
      ASSERT_EQ(d->m_table->m_size, buckets);
      RegionHashTable* reference = nullptr;
      RegionHashTable_new(&reference, buckets, RegionNameDictionary_hash, [](const void* a, const void* b) {
        int c = strcmp(static_cast<const char*>(a), static_cast<const char*>(b));
        return c < 0 ? -1 : (c > 0 ? 1 : 0);
      });
      // Filled in another order than the dictionary's: chains are ordered by text.
      for (size_t i = byId.size(); i > 0; --i) RegionHashTable_insert(reference, d->m_names[i - 1]);
      ASSERT_EQ(d->m_table->m_count, reference->m_count);
      for (uint64_t b = 0; b < buckets; ++b) {
        const RegionHashNode* x = d->m_table->m_buckets[b];
        const RegionHashNode* y = reference->m_buckets[b];
        for (; x && y; x = x->m_next, y = y->m_next) ASSERT_EQ(x->m_entry, y->m_entry) << b;
        ASSERT_EQ(x, y) << b;
      }
      RegionHashTable_delete(&reference);
      for (size_t i = 0; i < byId.size(); ++i) ASSERT_STREQ(d->m_names[i], byId[i].c_str());
    }
  }
  RegionNameDictionary_destroy();
}

// A name hashed ahead (its index slot fetched meanwhile) is entered and found as by
// RegionNameDictionary_add, also when other names came in between and the index grew.
TEST(RegionNameDictionary, PreparedNamesAnswerAsPlainAdds) {
  RegionNameDictionary_destroy();
  RegionNamePrepared early;
  RegionNameDictionary_prepare("first", &early);
  EXPECT_EQ(early.m_ready, 0);  // no dictionary yet: the add hashes by itself
  uint64_t id = 0;
  ASSERT_FALSE(RegionStatus_isError(RegionNameDictionary_addPrepared("first", &early, &id)));
  EXPECT_EQ(id, 1u);
  std::map<std::string, uint64_t> plain{{"first", 1}};
  uint64_t state = 11;
  auto next = [&state] {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return state >> 33;
  };
  for (int round = 0; round < 6000; ++round) {
    std::vector<std::string> texts;
    for (uint64_t i = 0, n = 1 + next() % 6; i < n; ++i)
      texts.push_back("p" + std::to_string(next() % 30000) + std::string(next() % 12, char('a' + next() % 26)));
    std::vector<RegionNamePrepared> prepared(texts.size());
    for (size_t i = 0; i < texts.size(); ++i) RegionNameDictionary_prepare(texts[i].c_str(), &prepared[i]);
    // Names entered in between (the index doubles at 16,384 and 32,768 names).
    for (uint64_t i = 0, n = next() % 8; i < n; ++i) {
      std::string between = "b" + std::to_string(round) + "." + std::to_string(i);
      ASSERT_FALSE(RegionStatus_isError(RegionNameDictionary_add(between.c_str(), &id)));
      plain.emplace(between, plain.size() + 1);
    }
    for (size_t i = 0; i < texts.size(); ++i) {
      ASSERT_EQ(prepared[i].m_ready, 1);
      ASSERT_FALSE(RegionStatus_isError(RegionNameDictionary_addPrepared(texts[i].c_str(), &prepared[i], &id)));
      auto entered = plain.emplace(texts[i], plain.size() + 1);
      ASSERT_EQ(id, entered.first->second) << texts[i];
    }
  }
  ASSERT_GT(plain.size(), 32768u);
  for (const auto& entry : plain) {
    ASSERT_FALSE(RegionStatus_isError(RegionNameDictionary_lookup(entry.first.c_str(), &id)));
    ASSERT_EQ(id, entry.second);
  }
  // Blank and missing names are refused as by a plain add.
  RegionNamePrepared blank, missing;
  RegionNameDictionary_prepare("  ", &blank);
  RegionNameDictionary_prepare(nullptr, &missing);
  EXPECT_EQ(missing.m_ready, 0);
  EXPECT_EQ(RegionStatus_getCode(RegionNameDictionary_addPrepared("  ", &blank, &id)), 300000u);
  EXPECT_EQ(RegionStatus_getCode(RegionNameDictionary_addPrepared(nullptr, &missing, &id)), 300000u);
  EXPECT_EQ(RegionNameDictionary_count(), plain.size());
  RegionNameDictionary_destroy();
}

TEST(RegionNameDictionary, IdSearch) {
  const uint64_t ids[] = {2, 4, 9, 10};
  uint64_t at = 0;
  EXPECT_EQ(RegionId_bsearch(ids, 4, 9, &at), 1);
  EXPECT_EQ(at, 2u);
  EXPECT_EQ(RegionId_bsearch(ids, 4, 5, &at), 0);
  EXPECT_EQ(at, 2u);
  EXPECT_EQ(RegionId_bsearch(ids, 4, 11, &at), 0);
  EXPECT_EQ(at, 4u);
  EXPECT_EQ(RegionId_bsearch(ids, 0, 2, &at), 0);
}

TEST(RegionNameRecord, CreationAndNames) {
  RegionNameRecord* r = nullptr;
  RegionStatus* s = RegionNameRecord_new(nullptr, "x");
  EXPECT_EQ(RegionStatus_getCode(s), 8u);
  EXPECT_STREQ(s->m_text, "Invalid object pointer - cannot create new object");
  EXPECT_EQ(RegionStatus_getCode(RegionNameRecord_new(&r, " ")), 300000u);
  EXPECT_EQ(r, nullptr);
  ASSERT_FALSE(RegionStatus_isError(RegionNameRecord_new(&r, "record one")));
  EXPECT_STREQ(RegionNameRecord_getName(r), "record one");
  EXPECT_EQ(RegionNameRecord_getId(r), idOf("record one"));
  EXPECT_EQ(RegionNameRecord_getId(nullptr), 0u);
  EXPECT_EQ(RegionNameRecord_getName(nullptr), nullptr);
  EXPECT_EQ(r->m_definition, nullptr);
  EXPECT_EQ(r->m_references, nullptr);
  EXPECT_EQ(r->m_explicit, 0);

  EXPECT_FALSE(RegionStatus_isError(RegionNameRecord_setId(r, idOf("record two"))));
  EXPECT_STREQ(RegionNameRecord_getName(r), "record two");
  EXPECT_EQ(RegionStatus_getCode(RegionNameRecord_setId(r, 0)), 800000u);
  s = RegionNameRecord_setId(nullptr, idOf("record two"));
  EXPECT_EQ(RegionStatus_getCode(s), 100007u);
  EXPECT_STREQ(s->m_text, "Invalid Region name.");
  EXPECT_FALSE(RegionStatus_isError(RegionNameRecord_rename(r, "record one")));
  EXPECT_STREQ(RegionNameRecord_getName(r), "record one");
  EXPECT_EQ(RegionStatus_getCode(RegionNameRecord_rename(r, "never entered name")), 800000u);
  EXPECT_STREQ(RegionNameRecord_getName(r), "record one");

  RegionDefinition* d = nullptr;
  s = RegionNameRecord_getDefinition(r, &d);
  EXPECT_EQ(RegionStatus_getCode(s), 800001u);
  EXPECT_STREQ(s->m_text, "Region is primitive.");
  EXPECT_EQ(RegionNameRecord_isValid(r, &s), 1);
  EXPECT_EQ(RegionNameRecord_isValid(nullptr, &s), 0);
  EXPECT_EQ(RegionStatus_getCode(s), 100007u);

  RegionMemory_failAfter(0, 1);
  RegionNameRecord* lost = nullptr;
  s = RegionNameRecord_new(&lost, "never made");
  EXPECT_STREQ(s->m_text, "Unable to allocate memory for new Region.");
  EXPECT_EQ(lost, nullptr);

  RegionNameRecord_delete(&r);
  EXPECT_EQ(r, nullptr);
  EXPECT_FALSE(RegionStatus_isError(RegionNameRecord_delete(&r)));
}

TEST(RegionNameRecord, Questions) {
  RegionNameRecord* r = nullptr;
  RegionNameRecord_new(&r, "questions");
  int flag = 7;
  EXPECT_FALSE(RegionStatus_isError(RegionNameRecord_isPrimitive(r, &flag)));
  EXPECT_EQ(flag, 1);
  EXPECT_FALSE(RegionStatus_isError(RegionNameRecord_isDefined(r, &flag)));
  EXPECT_EQ(flag, 0);
  EXPECT_FALSE(RegionStatus_isError(RegionNameRecord_isReferenced(r, &flag)));
  EXPECT_EQ(flag, 0);
  StringList_new(&r->m_references, 10);
  StringList_add(r->m_references, "user");
  RegionNameRecord_isReferenced(r, &flag);
  EXPECT_EQ(flag, 1);

  // Each answer is the one error record, so the texts are checked one at a time.
  EXPECT_STREQ(RegionNameRecord_isPrimitive(r, nullptr)->m_text, "Cannot return whether the Region is a primitive.");
  EXPECT_STREQ(RegionNameRecord_isDefined(r, nullptr)->m_text, "Cannot return whether the Region is a defined.");
  EXPECT_STREQ(RegionNameRecord_isReferenced(r, nullptr)->m_text, "Cannot return whether the Region is referenced.");
  EXPECT_STREQ(RegionNameRecord_isExplicit(r, nullptr)->m_text, "Cannot return whether the Region is an explicit primitive.");
  EXPECT_STREQ(RegionNameRecord_isInheritedIn(r, fakeMap(0), nullptr)->m_text,
               "Cannot return whether the Region is inherited in a Region Map.");
  RegionStatus* s = RegionNameRecord_isExplicitIn(r, nullptr, &flag);
  EXPECT_EQ(RegionStatus_getCode(s), 100001u);
  EXPECT_STREQ(s->m_text, "Invalid Region Map.");
  flag = 3;
  s = RegionNameRecord_isInheritedIn(nullptr, fakeMap(0), &flag);
  EXPECT_EQ(RegionStatus_getCode(s), 100007u);
  EXPECT_EQ(flag, 0);
  RegionNameRecord_delete(&r);
}

TEST(RegionNameRecord, ThreeExplicitMaps) {
  RegionNameRecord* r = nullptr;
  RegionNameRecord_new(&r, "explicit");
  int flag = 0;
  for (int i = 0; i < 3; ++i) ASSERT_FALSE(RegionStatus_isError(RegionNameRecord_addExplicitMap(r, fakeMap(i))));
  EXPECT_FALSE(RegionStatus_isError(RegionNameRecord_addExplicitMap(r, fakeMap(1))));  // already there
  RegionStatus* s = RegionNameRecord_addExplicitMap(r, fakeMap(3));
  EXPECT_EQ(RegionStatus_getCode(s), 600003u);
  EXPECT_STREQ(s->m_text, "Name is already an explicit primitive in three maps");
  RegionNameRecord_isExplicitIn(r, fakeMap(3), &flag);
  EXPECT_EQ(flag, 0);
  RegionNameRecord_isExplicitIn(r, fakeMap(2), &flag);
  EXPECT_EQ(flag, 1);

  RegionNameRecord_removeExplicitMap(r, fakeMap(0));
  EXPECT_EQ(r->m_explicitMaps[0], fakeMap(1));
  EXPECT_EQ(r->m_explicitMaps[1], fakeMap(2));
  EXPECT_EQ(r->m_explicitMaps[2], nullptr);
  RegionNameRecord_removeExplicitMap(r, fakeMap(5));  // not there: nothing changes
  EXPECT_EQ(r->m_explicitMaps[1], fakeMap(2));
  RegionNameRecord_isExplicit(r, &flag);
  EXPECT_EQ(flag, 1);
  RegionNameRecord_removeExplicitMap(r, fakeMap(2));
  RegionNameRecord_removeExplicitMap(r, fakeMap(1));
  RegionNameRecord_isExplicit(r, &flag);
  EXPECT_EQ(flag, 0);
  EXPECT_EQ(r->m_explicitMaps[0], nullptr);
  EXPECT_EQ(RegionStatus_getCode(RegionNameRecord_addExplicitMap(r, nullptr)), 100001u);
  EXPECT_EQ(RegionStatus_getCode(RegionNameRecord_addExplicitMap(nullptr, fakeMap(0))), 100007u);
  RegionNameRecord_delete(&r);
}

TEST(RegionNameRecord, ThreeInheritingMaps) {
  RegionNameRecord* r = nullptr;
  RegionNameRecord_new(&r, "inherited");
  int flag = 0;
  for (int i = 0; i < 3; ++i) ASSERT_FALSE(RegionStatus_isError(RegionNameRecord_addInheritingMap(r, fakeMap(i))));
  RegionStatus* s = RegionNameRecord_addInheritingMap(r, fakeMap(4));
  EXPECT_EQ(RegionStatus_getCode(s), 2u);
  EXPECT_EQ(RegionStatus_isInternal(s), 1);
  EXPECT_STREQ(s->m_text, "Name is already an inherited by three maps");
  RegionNameRecord_removeInheritingMap(r, fakeMap(0));
  EXPECT_EQ(r->m_inheritingMaps[0], fakeMap(1));
  EXPECT_EQ(r->m_inheritingMaps[1], fakeMap(2));
  EXPECT_EQ(r->m_inheritingMaps[2], nullptr);
  RegionNameRecord_isInheritedIn(r, fakeMap(0), &flag);
  EXPECT_EQ(flag, 0);
  RegionNameRecord_isInheritedIn(r, fakeMap(2), &flag);
  EXPECT_EQ(flag, 1);
  EXPECT_FALSE(RegionStatus_isError(RegionNameRecord_addInheritingMap(r, fakeMap(4))));
  EXPECT_EQ(r->m_inheritingMaps[2], fakeMap(4));
  RegionNameRecord_delete(&r);
}

TEST(RegionNameRecord, RepresentedNameIsNotProvided) {
  char* name = nullptr;
  EXPECT_EQ(RegionStatus_getCode(RegionNameRecord_getRepresentedName(nullptr, &name)), 2u);
  RegionStatus* s = RegionNameRecord_getRepresentedName(nullptr, nullptr);
  EXPECT_EQ(RegionStatus_getCode(s), 8u);
  EXPECT_STREQ(s->m_text, "Cannot return the name the Region represents.");
}

} // namespace
