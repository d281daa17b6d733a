#include "HashTable.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <random>
#include <string>
#include <vector>

namespace {

void *V(uintptr_t v) { return reinterpret_cast<void *>(v); }

const int64_t kPrimes[28] = {13,        31,        61,        127,       251,       509,       1021,
                             2039,      4093,      8191,      16381,     32749,     65521,     131071,
                             262139,    524287,    1048573,   2097143,   4194301,   8388593,   16777213,
                             33554393,  67108859,  134217689, 268435399, 536870909, 1073741789, 2147483647};

// The string hash worked out from its definition with wide arithmetic: wrap a product to signed
// 32 bits by hand, read a negative value as 2^64 plus it, and reduce in 128 bits.
int64_t referenceHash(const std::string &s, int64_t m) {
  auto wrap32 = [](int64_t x) {
    int64_t r = x % 4294967296LL;
    if (r < 0)
      r += 4294967296LL;
    return r >= 2147483648LL ? r - 4294967296LL : r;
  };
  auto asUnsignedMod = [](int64_t v, int64_t mod) {
    unsigned __int128 u = v >= 0 ? static_cast<unsigned __int128>(v)
                                 : (static_cast<unsigned __int128>(1) << 64) - static_cast<unsigned __int128>(-v);
    return static_cast<int64_t>(u % static_cast<unsigned __int128>(mod));
  };
  int64_t h = 0, a = 31415;
  for (unsigned char byte : s) {
    int64_t c = byte >= 128 ? static_cast<int64_t>(byte) - 256 : byte;
    h = asUnsignedMod(wrap32(a * h + c), m);
    a = asUnsignedMod(wrap32(a * 27183), m - 1);
  }
  return h;
}

std::string freeListLine(const HashTable *t) {
  char *text = nullptr;
  size_t size = 0;
  FILE *f = open_memstream(&text, &size);
  HashTable_printStatistics(t, f);
  std::fclose(f);
  std::string s(text, size);
  std::free(text);
  return s;
}

std::vector<std::pair<void *, void *>> walk(const HashTable *t) {
  std::vector<std::pair<void *, void *>> out;
  HashTableIterator *it = HashTableIterator_new(t);
  for (Pair *p = HashTableIterator_first(it); p != nullptr; p = HashTableIterator_next(it))
    out.emplace_back(Pair_getFirst(p), Pair_getSecond(p));
  EXPECT_EQ(HashTableIterator_next(it), nullptr);
  HashTableIterator_delete(it);
  return out;
}

TEST(HashTable, SizeHints) {
  const int32_t hints[] = {-4, 0, 12, 13, 500, 134217688};
  const int32_t expected[] = {13, 13, 13, 31, 509, 134217689};
  for (int i = 0; i < 5; ++i) { // the last would allocate a gigabyte of buckets
    HashTable *t = HashTable_new(hints[i], nullptr, nullptr);
    EXPECT_EQ(t->m_n, expected[i]) << hints[i];
    EXPECT_EQ(t->m_shrinkThreshold, expected[i] / 2);
    EXPECT_EQ(t->m_growThreshold, 3 * expected[i]);
    HashTable_delete(t);
  }
}

TEST(HashTable, StringHashGoldenBuckets) {
  // Worked out separately from the definition (signed bytes, 32-bit wrap, unsigned reduction).
  struct Case {
    const char *key;
    int64_t b13, b31, b509, bLargest;
  } cases[] = {{"", 0, 0, 0, 0},
               {"a", 6, 4, 97, 97},
               {"Region 1", 2, 17, 91, 1145772350},
               {"Region 123456", 6, 28, 182, 981921260},
               {"\xc3\xa9t\xc3\xa9", 3, 6, 65, 2108835065},
               {"\xff\xfe\x80", 1, 9, 264, 1789497596},
               {"zyr", 1, 22, 439, 247300289}};
  for (const Case &c : cases) {
    EXPECT_EQ(HashTable_hashString(c.key, 13), c.b13) << c.key;
    EXPECT_EQ(HashTable_hashString(c.key, 31), c.b31) << c.key;
    EXPECT_EQ(HashTable_hashString(c.key, 509), c.b509) << c.key;
    EXPECT_EQ(HashTable_hashString(c.key, 2147483647), c.bLargest) << c.key;
  }
}

TEST(HashTable, HashesAgreeWithReferenceForEveryPrimeAndOtherSizes) {
  std::mt19937_64 rng(7);
  std::vector<int64_t> sizes(kPrimes, kPrimes + 28);
  sizes.insert(sizes.end(), {2, 3, 100, 4096, 1000003, 4294967311LL});
  for (int i = 0; i < 3000; ++i) {
    std::string s(rng() % 24, ' ');
    for (char &c : s) {
      c = static_cast<char>(rng() % 255 + 1);
    }
    for (int64_t m : sizes) {
      int64_t b = HashTable_hashString(s.c_str(), m);
      ASSERT_GE(b, 0);
      ASSERT_LT(b, m);
      if (m < 2147483648LL) { // beyond, the reference's 32-bit h no longer holds: no table meets it
        ASSERT_EQ(b, referenceHash(s, m)) << m;
      }
    }
    uint64_t key = rng();
    for (int64_t m : sizes)
      ASSERT_EQ(HashTable_hashInteger(V(key), m), static_cast<int64_t>((key & 0xFFFFFFFFu) % static_cast<uint64_t>(m)));
  }
  for (uint64_t key : {UINT64_C(0), UINT64_C(0xFFFFFFFF), UINT64_C(0x123456789ABCDEF0), UINT64_C(2147483647)})
    for (int64_t m : sizes)
      ASSERT_EQ(HashTable_hashInteger(V(key), m), static_cast<int64_t>((key & 0xFFFFFFFFu) % static_cast<uint64_t>(m)));
}

TEST(HashTable, DuplicateKeysNewestFirst) {
  HashTable *t = HashTable_new(0, nullptr, nullptr);
  std::string k1 = "key", k2 = "key";
  EXPECT_EQ(HashTable_insert(t, k1.c_str(), V(1)), 1);
  EXPECT_EQ(HashTable_insert(t, k2.c_str(), V(2)), 2);
  EXPECT_EQ(HashTable_find(t, "key"), V(2));
  void *stored = nullptr, *value = nullptr;
  EXPECT_EQ(HashTable_findKeyAndValue(t, "key", &stored, &value), 1);
  EXPECT_EQ(stored, k2.c_str());
  EXPECT_EQ(HashTable_remove(t, "key"), 1);
  EXPECT_EQ(HashTable_find(t, "key"), V(1));
  EXPECT_EQ(HashTable_removeKeyAndValue(t, "key", &stored, &value), 1);
  EXPECT_EQ(stored, k1.c_str());
  EXPECT_EQ(value, V(1));
  EXPECT_EQ(HashTable_find(t, "key"), nullptr);
  stored = V(9);
  EXPECT_EQ(HashTable_findKeyAndValue(t, "key", &stored, &value), 0);
  EXPECT_EQ(stored, V(9)); // untouched when absent
  EXPECT_EQ(HashTable_remove(t, "key"), 0);
  EXPECT_EQ(HashTable_getNoOfEntries(t), 0);
  EXPECT_EQ(freeListLine(t).find("No of items in free list   = 2\n") != std::string::npos, true);
  HashTable_delete(t);
}

// Integer tables find through a loop of their own: it must answer as the general search does,
// equal keys included, over growth, shrinkage and keys that share a bucket.
int plainIntegerCompare(const void *a, const void *b) { return HashTable_compareIntegers(a, b); }

TEST(HashTable, IntegerFindAnswersAsTheGeneralSearch) {
  HashTable *t = HashTable_new(0, HashTable_hashInteger, HashTable_compareIntegers);
  // The same operations on a table that compares through the named function behind a pointer of
  // the caller's, so without the inline comparison: it must find the same entries.
  HashTable *general = HashTable_new(0, HashTable_hashInteger, plainIntegerCompare);
  const uintptr_t kKeys = 20000;
  auto key = [](uintptr_t i) { return reinterpret_cast<void *>(i * 65537u + (i % 7) * (uintptr_t(1) << 33)); };
  for (HashTable *table : {t, general}) {
    for (uintptr_t i = 0; i < kKeys; ++i)
      HashTable_insert(table, key(i), V(i));
    for (uintptr_t i = 0; i < kKeys; i += 3)
      HashTable_insert(table, key(i), V(i + kKeys)); // a second entry of the same key
    for (uintptr_t i = 0; i < kKeys; i += 2)
      HashTable_remove(table, key(i));
  }
  for (uintptr_t i = 0; i < kKeys + 50; ++i) {
    void *stored = nullptr, *value = nullptr;
    const int found = HashTable_findKeyAndValue(t, key(i), &stored, &value);
    ASSERT_EQ(HashTable_find(t, key(i)), found ? value : nullptr) << i;
    ASSERT_EQ(HashTable_find(general, key(i)), found ? value : nullptr) << i;
    // (Which of two equal keys comes first depends on the resizes; both searches see the same.)
    const int entries = i >= kKeys ? 0 : 1 + (i % 3 == 0) - (i % 2 == 0); // less the one removed
    EXPECT_EQ(found, entries > 0 ? 1 : 0) << i;
    if (found)
      EXPECT_TRUE(value == V(i) || (i % 3 == 0 && value == V(i + kKeys))) << i;
  }
  HashTable_delete(t);
  HashTable_delete(general);
}

// The named comparison itself, behind a pointer of the caller's: the table cannot take its fast
// path, so the chains answer through the named function.
int plainStringCompare(const void *a, const void *b) { return HashTable_compareStrings(a, b); }

// A string table answers through its look-up index; a table with the same hash and a compare
// function of the caller's (so no index) answers from its chains alone. Both get the same
// operations - keys held two and three times, removals down to one and to none, growth and
// shrinkage that reverse duplicates - and must find the same entry for every key.
TEST(HashTable, StringIndexFindsWhatTheChainsFind) {
  HashTable *indexed = HashTable_new(0, nullptr, nullptr);
  HashTable *plain = HashTable_new(0, HashTable_hashString, plainStringCompare);
  std::deque<std::string> keys; // stable storage: the tables keep pointers
  for (int i = 0; i < 3000; ++i)
    keys.push_back("Region " + std::to_string(i));
  std::mt19937 rng(5);
  auto check = [&](int step) {
    for (size_t i = 0; i < keys.size(); ++i) {
      const char *k = keys[i].c_str();
      const std::string copy = keys[i]; // found by its text, not its address
      ASSERT_EQ(HashTable_find(indexed, copy.c_str()), HashTable_find(plain, copy.c_str())) << step << " " << k;
      void *storedA = nullptr, *valueA = nullptr, *storedB = nullptr, *valueB = nullptr;
      ASSERT_EQ(HashTable_findKeyAndValue(indexed, k, &storedA, &valueA), HashTable_findKeyAndValue(plain, k, &storedB, &valueB));
      ASSERT_EQ(storedA, storedB);
      ASSERT_EQ(valueA, valueB);
    }
    ASSERT_EQ(HashTable_find(indexed, "Region"), nullptr);
  };
  intptr_t serial = 0;
  for (int step = 0; step < 60000; ++step) {
    const char *k = keys[rng() % (step < 40000 ? keys.size() : 300)].c_str();
    if (rng() % 5 < (step < 30000 ? 3u : 1u)) {
      ++serial;
      ASSERT_EQ(HashTable_insert(indexed, k, V(serial)), HashTable_insert(plain, k, V(serial)));
    } else {
      void *keyA = nullptr, *valueA = nullptr, *keyB = nullptr, *valueB = nullptr;
      ASSERT_EQ(HashTable_removeKeyAndValue(indexed, k, &keyA, &valueA), HashTable_removeKeyAndValue(plain, k, &keyB, &valueB));
      ASSERT_EQ(valueA, valueB) << step;
    }
    if (step % 5000 == 4999)
      check(step);
  }
  check(60000);
  ASSERT_NE(indexed->m_index, nullptr);
  EXPECT_EQ(plain->m_index, nullptr);
  HashTable_delete(indexed);
  HashTable_delete(plain);
}

// A large table of integer keys answers through its look-up index; a table comparing through a
// function of the caller's answers from its chains alone. The same operations - keys held up to
// three times, removals down to one and to none, growth of the index and of the chains, shrinkage
// - must find the same entry for every key, absent keys included.
TEST(HashTable, IntegerIndexFindsWhatTheChainsFind) {
  HashTable *indexed = HashTable_new(0, HashTable_hashInteger, HashTable_compareIntegers);
  HashTable *plain = HashTable_new(0, HashTable_hashInteger, plainIntegerCompare);
  const uintptr_t kKeys = 30000;
  auto key = [](uintptr_t i) { return reinterpret_cast<void *>(i * 2654435761u + (i % 5) * (uintptr_t(1) << 40)); };
  std::mt19937 rng(9);
  auto check = [&](int step) {
    for (uintptr_t i = 0; i < kKeys + 100; ++i) {
      ASSERT_EQ(HashTable_find(indexed, key(i)), HashTable_find(plain, key(i))) << step << " " << i;
      void *storedA = nullptr, *valueA = nullptr, *storedB = nullptr, *valueB = nullptr;
      ASSERT_EQ(HashTable_findKeyAndValue(indexed, key(i), &storedA, &valueA),
                HashTable_findKeyAndValue(plain, key(i), &storedB, &valueB));
      ASSERT_EQ(storedA, storedB);
      ASSERT_EQ(valueA, valueB);
    }
  };
  uintptr_t serial = 0;
  bool indexedOnce = false;
  for (int step = 0; step < 200000; ++step) {
    // Mostly insertions at first, then mostly removals of a few keys held several times.
    const uintptr_t i = rng() % (step < 120000 ? kKeys : 500);
    if (rng() % 5 < (step < 90000 ? 3u : 1u)) {
      ++serial;
      ASSERT_EQ(HashTable_insert(indexed, key(i), V(serial)), HashTable_insert(plain, key(i), V(serial)));
    } else {
      void *keyA = nullptr, *valueA = nullptr, *keyB = nullptr, *valueB = nullptr;
      ASSERT_EQ(HashTable_removeKeyAndValue(indexed, key(i), &keyA, &valueA),
                HashTable_removeKeyAndValue(plain, key(i), &keyB, &valueB));
      ASSERT_EQ(valueA, valueB) << step;
    }
    indexedOnce = indexedOnce || indexed->m_integers != nullptr;
    if (step % 20000 == 19999)
      check(step);
  }
  check(200000);
  EXPECT_TRUE(indexedOnce);
  EXPECT_EQ(plain->m_integers, nullptr);
  HashTable_delete(indexed);
  HashTable_delete(plain);
}

TEST(HashTable, GrowthAndShrinkAreTestedBeforeTheChange) {
  HashTable *t = HashTable_new(0, HashTable_hashInteger, HashTable_compareIntegers);
  for (uintptr_t i = 1; i <= 40; ++i)
    HashTable_insert(t, V(i), V(i));
  EXPECT_EQ(t->m_n, 13); // the 40th insertion saw 39 > 39: false
  HashTable_insert(t, V(41), V(41));
  EXPECT_EQ(t->m_n, 31); // the 41st saw 40 > 39
  EXPECT_EQ(HashTable_getNoOfEntries(t), 41);
  for (uintptr_t i = 1; i <= 41; ++i)
    ASSERT_EQ(HashTable_find(t, V(i)), V(i));

  // Shrink threshold at 31 buckets is 15: removals at counts 41..15 keep 31 buckets, the
  // removal that sees 14 shrinks first, even when its key is absent.
  for (uintptr_t i = 1; i <= 27; ++i)
    ASSERT_EQ(HashTable_remove(t, V(i)), 1);
  EXPECT_EQ(HashTable_getNoOfEntries(t), 14);
  EXPECT_EQ(t->m_n, 31);
  EXPECT_EQ(HashTable_remove(t, V(999)), 0);
  EXPECT_EQ(t->m_n, 13);
  EXPECT_EQ(HashTable_getNoOfEntries(t), 14);
  for (uintptr_t i = 28; i <= 41; ++i)
    ASSERT_EQ(HashTable_find(t, V(i)), V(i));
  // The free list survived the resize and is used before new entries.
  EXPECT_NE(freeListLine(t).find("No of items in free list   = 27\n"), std::string::npos);
  HashTable_insert(t, V(100), V(100));
  EXPECT_NE(freeListLine(t).find("No of items in free list   = 26\n"), std::string::npos);

  // At the smallest size nothing shrinks.
  for (uintptr_t i = 28; i <= 41; ++i)
    HashTable_remove(t, V(i));
  HashTable_remove(t, V(100));
  EXPECT_EQ(t->m_n, 13);
  EXPECT_EQ(HashTable_getNoOfEntries(t), 0);
  HashTable_delete(t);
}

TEST(HashTable, IterationEndsAndStaysEnded) {
  HashTable *t = HashTable_new(0, nullptr, nullptr);
  HashTableIterator *it = HashTableIterator_new(t);
  EXPECT_EQ(HashTableIterator_first(it), nullptr);
  EXPECT_EQ(HashTableIterator_next(it), nullptr);
  HashTable_insert(t, "only", V(5));
  Pair *p = HashTableIterator_first(it);
  ASSERT_NE(p, nullptr);
  EXPECT_STREQ(static_cast<const char *>(Pair_getFirst(p)), "only");
  EXPECT_EQ(HashTableIterator_next(it), nullptr);
  EXPECT_EQ(HashTableIterator_next(it), nullptr);
  HashTableIterator_delete(it);
  HashTable_delete(t);
}

TEST(HashTable, StatisticsText) {
  HashTable *t = HashTable_new(0, HashTable_hashInteger, HashTable_compareIntegers);
  HashTable_insert(t, V(1), nullptr);
  HashTable_insert(t, V(14), nullptr); // same bucket as 1
  HashTable_insert(t, V(2), nullptr);
  EXPECT_EQ(freeListLine(t), "Min. no of items in a list = 0\n"
                             "Max. no of items in a list = 2\n"
                             "No of items in free list   = 0\n");
  HashTable_delete(t);
}

int caselessCompare(const void *a, const void *b) {
  return strcasecmp(static_cast<const char *>(a), static_cast<const char *>(b)) == 0;
}
int64_t firstLetterHash(const void *key, int64_t n) {
  return (static_cast<const unsigned char *>(key)[0] | 0x20) % n;
}

TEST(HashTable, CallerFunctions) {
  HashTable *t = HashTable_new(3, firstLetterHash, caselessCompare);
  HashTable_insert(t, "Alpha", V(1));
  HashTable_insert(t, "beta", V(2));
  EXPECT_EQ(HashTable_find(t, "ALPHA"), V(1));
  EXPECT_EQ(HashTable_find(t, "Beta"), V(2));
  EXPECT_EQ(HashTable_find(t, "gamma"), nullptr);
  HashTable_delete(t);

  // A caller's hash with the default string comparison.
  std::string a1 = "apple", a2 = "avocado";
  t = HashTable_new(0, firstLetterHash, nullptr);
  HashTable_insert(t, a1.c_str(), V(1));
  HashTable_insert(t, a2.c_str(), V(2));
  EXPECT_EQ(HashTable_find(t, "apple"), V(1));
  EXPECT_EQ(HashTable_find(t, "avocado"), V(2));
  EXPECT_EQ(HashTable_find(t, "apricot"), nullptr);
  EXPECT_EQ(HashTable_remove(t, "apple"), 1);
  EXPECT_EQ(HashTable_find(t, "avocado"), V(2));
  HashTable_delete(t);
}

// An independent model of the table: chains as vectors (front = head), the resize walk, the
// growth and shrink tests and the free-list count, with the reference hash above.
struct ModelTable {
  bool strings;
  int index;
  std::vector<std::vector<std::pair<void *, void *>>> buckets;
  int64_t count = 0, freeCount = 0;

  ModelTable(bool s, int hint) : strings(s) {
    index = 0;
    while (index < 23 && kPrimes[index] <= hint)
      ++index;
    buckets.assign(static_cast<size_t>(kPrimes[index]), {});
  }
  int64_t n() const { return kPrimes[index]; }
  int64_t hash(void *key, int64_t m) const {
    if (strings)
      return referenceHash(static_cast<const char *>(key), m);
    return static_cast<int64_t>((reinterpret_cast<uintptr_t>(key) & 0xFFFFFFFFu) % static_cast<uint64_t>(m));
  }
  bool same(void *a, void *b) const {
    return strings ? std::strcmp(static_cast<char *>(a), static_cast<char *>(b)) == 0 : a == b;
  }
  void resize(int step) {
    int next = index + step;
    if (next < 0 || next > 27)
      return;
    std::vector<std::vector<std::pair<void *, void *>>> fresh(static_cast<size_t>(kPrimes[next]));
    for (auto &chain : buckets)
      for (auto &e : chain) {
        auto &target = fresh[static_cast<size_t>(hash(e.first, kPrimes[next]))];
        target.insert(target.begin(), e);
      }
    buckets.swap(fresh);
    index = next;
  }
  void insert(void *key, void *value) {
    if (count > 3 * n() && index != 27)
      resize(+1);
    auto &chain = buckets[static_cast<size_t>(hash(key, n()))];
    chain.insert(chain.begin(), {key, value});
    ++count;
    if (freeCount > 0)
      --freeCount;
  }
  int remove(void *key) {
    if (count < n() / 2 && index != 0)
      resize(-1);
    auto &chain = buckets[static_cast<size_t>(hash(key, n()))];
    for (auto it = chain.begin(); it != chain.end(); ++it)
      if (same(it->first, key)) {
        chain.erase(it);
        --count;
        ++freeCount;
        return 1;
      }
    return 0;
  }
  void *find(void *key) const {
    for (auto &e : buckets[static_cast<size_t>(hash(key, n()))])
      if (same(e.first, key))
        return e.second;
    return nullptr;
  }
  std::vector<std::pair<void *, void *>> order() const {
    std::vector<std::pair<void *, void *>> out;
    for (auto &chain : buckets)
      out.insert(out.end(), chain.begin(), chain.end());
    return out;
  }
};

void runAgainstModel(bool strings, uint64_t seed) {
  std::mt19937_64 rng(seed);
  // Keys: a pool with repeats (equal strings at different addresses), bytes above 0x7F included.
  std::deque<std::string> texts;
  std::vector<void *> pool;
  for (int i = 0; i < 700; ++i) {
    if (strings) {
      std::string s = "Region " + std::to_string(rng() % 500);
      if (rng() % 5 == 0)
        s += "\xc3\xa9\xff";
      texts.push_back(s);
      pool.push_back(const_cast<char *>(texts.back().c_str()));
    } else {
      pool.push_back(V((rng() % 400) * 0x100000001ULL));
    }
  }
  HashTable *t = strings ? HashTable_new(0, nullptr, nullptr)
                         : HashTable_new(0, HashTable_hashInteger, HashTable_compareIntegers);
  ModelTable m(strings, 0);
  for (int phase = 0; phase < 8; ++phase) {
    // Alternate filling and draining so that the table climbs and descends several sizes.
    int insertShare = phase % 2 == 0 ? 8 : 2;
    for (int step = 0; step < 1500; ++step) {
      void *key = pool[rng() % pool.size()];
      if (static_cast<int>(rng() % 10) < insertShare) {
        void *value = V(rng() % 1000 + 1);
        HashTable_insert(t, key, value);
        m.insert(key, value);
      } else {
        ASSERT_EQ(HashTable_remove(t, key), m.remove(key));
      }
      ASSERT_EQ(HashTable_find(t, key), m.find(key));
    }
    ASSERT_EQ(t->m_n, m.n());
    ASSERT_EQ(HashTable_getNoOfEntries(t), m.count);
    ASSERT_EQ(walk(t), m.order());
    ASSERT_NE(freeListLine(t).find("No of items in free list   = " + std::to_string(m.freeCount) + "\n"),
              std::string::npos);
  }
  HashTable_delete(t);
}

TEST(HashTable, IterationOrderMatchesModelOverGrowthAndShrinkage) {
  runAgainstModel(true, 1);
  runAgainstModel(true, 2);
  runAgainstModel(false, 3);
}

} // namespace
