#include "vsnHash.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

// The hash written out a second way: products formed in 64 bits and reduced to 32-bit two's
// complement by hand, remainders truncated towards zero.
int32_t wrap32(int64_t v) {
  uint64_t u = static_cast<uint64_t>(v) & 0xffffffffu;
  return u >= 0x80000000u ? static_cast<int32_t>(static_cast<int64_t>(u) - 0x100000000LL) : static_cast<int32_t>(u);
}

int32_t referenceHash(int32_t size, const std::string& key) {
  int64_t a = 31415, h = 0;
  for (unsigned char byte : key) {
    int64_t c = byte == 126 || byte == 127 ? 0 : (byte > 127 ? byte - 256 : byte);
    int64_t v = wrap32(wrap32(a * h) + c);
    h = v % size;  // C++ remainder has the sign of the dividend, as the hash wants
    if (h < 0) h = -h;
    a = wrap32(a * 27183) % (size - 1);
  }
  return static_cast<int32_t>(h);
}

TEST(VsnHash, PrimeScaleAndRequestedSizes) {
  EXPECT_EQ(vsnPrimeScale[0], 41);
  EXPECT_EQ(vsnPrimeScale[52], 12351967);
  for (int i = 1; i < VSN_PRIME_COUNT; ++i) EXPECT_LT(vsnPrimeScale[i - 1], vsnPrimeScale[i]);
  EXPECT_EQ(vsnPrimeAtLeast(1), 41);
  EXPECT_EQ(vsnPrimeAtLeast(41), 41);
  EXPECT_EQ(vsnPrimeAtLeast(42), 127);
  EXPECT_EQ(vsnPrimeAtLeast(12351967), 12351967);
  EXPECT_EQ(vsnPrimeAtLeast(12351968), 0);

  vsnHash* t = vsnHashNew(1);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->m_size, 41);
  EXPECT_EQ(t->m_numEntries, 0);
  vsnHashFree(t);
  t = vsnHashNew(42);
  EXPECT_EQ(t->m_size, 127);
  vsnHashFree(t);
}

TEST(VsnHash, OversizedRequestUsesLargestPrimeAndWarnsOnlyFarBeyond) {
  vsnHash t{};
  testing::internal::CaptureStderr();
  ASSERT_EQ(vsnHashInit(&t, 12351968), 1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(t.m_size, 12351967);
  vsnHashClear(&t);

  // 101 times the largest prime: the table is not made that big, and says so.
  testing::internal::CaptureStderr();
  ASSERT_EQ(vsnHashInit(&t, 12351967 * 101 + 100), 1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "WARNING: requested table size is much larger than the maximum-sized available table, forcing poor "
            "hash table performance.  Please increase the vsnPrimeScale[] table.\n");
  EXPECT_EQ(t.m_size, 12351967);
  vsnHashClear(&t);
}

TEST(VsnHash, StringHashValuesWorkedByHand) {
  EXPECT_EQ(vsnHashString(41, ""), 0);
  // h = 97 mod 41.
  EXPECT_EQ(vsnHashString(41, "a"), 15);
  // a becomes 31415 * 27183 mod 40 = 25; h = (25 * 15 + 98) mod 41.
  EXPECT_EQ(vsnHashString(41, "ab"), 22);
  // Bytes 126 and 127 count as 0: "~" hashes like a zero byte would.
  EXPECT_EQ(vsnHashString(41, "~"), 0);
  EXPECT_EQ(vsnHashString(41, "\x7f"), 0);
  // A byte above 127 counts negatively: -56 mod 41 = -15, negated.
  EXPECT_EQ(vsnHashString(41, "\xc8"), 15);
}

// The hash takes its remainders by multiplication: the same values as the divisions written out.
TEST(VsnHash, StringHashWrapsLikeThirtyTwoBitArithmetic) {
  std::mt19937 rng(7);
  for (int32_t size : {2, 3, 41, 127, 9739, 65536, 1060991, 12351967, 2147483647}) {
    for (int i = 0; i < 200; ++i) {
      std::string key;
      int n = static_cast<int>(rng() % 40);
      for (int j = 0; j < n; ++j) key.push_back(static_cast<char>(1 + rng() % 255));
      int32_t h = vsnHashString(size, key.c_str());
      EXPECT_EQ(h, referenceHash(size, key)) << size << " " << key;
      EXPECT_GE(h, 0);
      EXPECT_LT(h, size);
    }
  }
  // Keys long enough for every product to wrap many times over.
  for (int i = 0; i < 50; ++i) {
    std::string key(200 + rng() % 200, 'a');
    for (char& ch : key) ch = static_cast<char>(1 + rng() % 255);
    EXPECT_EQ(vsnHashString(12351967, key.c_str()), referenceHash(12351967, key));
    EXPECT_EQ(vsnHashString(2147483647, key.c_str()), referenceHash(2147483647, key));
  }
  std::string path = "/FLOW/DOMAIN:rotor/BOUNDARY:inlet/Boundary Type";
  EXPECT_EQ(vsnHashString(12351967, path.c_str()), referenceHash(12351967, path));
}

// Sizes of the prime scale take their first multipliers from a table: keys shorter and longer
// than it, fed whole and in pieces that cross its end, hash as the divisions written out.
TEST(VsnHash, EverySizeOfTheScaleHashesAsWrittenOutInPiecesAndWhole) {
  std::mt19937 rng(11);
  for (int32_t size : vsnPrimeScale) {
    for (int i = 0; i < 12; ++i) {
      std::string key;
      int n = static_cast<int>(rng() % 300);
      for (int j = 0; j < n; ++j) key.push_back(static_cast<char>(1 + rng() % 255));
      int32_t expected = referenceHash(size, key);
      ASSERT_EQ(vsnHashString(size, key.c_str()), expected) << size << " " << n;
      vsnHashState state;
      vsnHashStart(&state, size);
      for (size_t at = 0; at < key.size();) {
        size_t piece = std::min(key.size() - at, static_cast<size_t>(rng() % 70));
        vsnHashFeed(&state, key.data() + at, piece);
        at += piece;
      }
      ASSERT_EQ(state.m_h, expected) << size << " " << n;
    }
  }
}

TEST(VsnHash, InsertReplaceLookupRemove) {
  vsnHash* t = vsnHashNew(1);
  int a = 1, b = 2;
  EXPECT_EQ(vsnHashInsert(t, "key", &a), 1);
  EXPECT_EQ(vsnHashInsert(t, "key", &b), 1);
  EXPECT_EQ(t->m_numEntries, 1);
  EXPECT_EQ(vsnHashLookup(t, "key"), &b);
  EXPECT_EQ(vsnHashLookup(t, "other"), nullptr);
  EXPECT_EQ(vsnHashLookup(nullptr, "key"), nullptr);
  void* v = nullptr;
  EXPECT_EQ(vsnHashRemove(t, "other", &v), 0);
  EXPECT_EQ(vsnHashRemove(t, "key", &v), 1);
  EXPECT_EQ(v, &b);
  EXPECT_EQ(t->m_numEntries, 0);
  EXPECT_EQ(vsnHashLookup(t, "key"), nullptr);
  vsnHashFree(t);
}

// Keys of one bucket, found by the hash itself.
std::vector<std::string> keysOfBucket(int32_t size, int32_t bucket, size_t count) {
  std::vector<std::string> keys;
  for (int i = 0; keys.size() < count; ++i) {
    std::string k = "k" + std::to_string(i);
    if (vsnHashString(size, k.c_str()) == bucket) keys.push_back(k);
  }
  return keys;
}

TEST(VsnHash, ChainsSurviveRemovalOfHeadMiddleAndLast) {
  vsnHash* t = vsnHashNew(1);
  std::vector<std::string> keys = keysOfBucket(41, 5, 3);
  int values[3] = {0, 1, 2};
  for (int i = 0; i < 3; ++i) vsnHashInsert(t, keys[i].c_str(), &values[i]);
  ASSERT_EQ(vsnHashLayOut(t), 1);
  EXPECT_EQ(t->m_buckets[5].m_count, 3);

  // The head of the chain: the others stay findable.
  EXPECT_EQ(vsnHashRemove(t, keys[0].c_str(), nullptr), 1);
  EXPECT_EQ(vsnHashLookup(t, keys[1].c_str()), &values[1]);
  EXPECT_EQ(vsnHashLookup(t, keys[2].c_str()), &values[2]);
  EXPECT_EQ(t->m_buckets[5].m_count, 2);
  // A node that is not the head: the head still counts its bucket.
  const char* second = t->m_buckets[5].m_next->m_key;
  std::string secondKey = second;
  EXPECT_EQ(vsnHashRemove(t, secondKey.c_str(), nullptr), 1);
  EXPECT_EQ(t->m_buckets[5].m_count, 1);
  // The last key of the bucket: the bucket stays usable.
  std::string lastKey = t->m_buckets[5].m_key;
  EXPECT_EQ(vsnHashRemove(t, lastKey.c_str(), nullptr), 1);
  EXPECT_EQ(t->m_buckets[5].m_count, 0);
  EXPECT_EQ(t->m_numEntries, 0);
  EXPECT_EQ(vsnHashInsert(t, keys[2].c_str(), &values[2]), 1);
  EXPECT_EQ(vsnHashLookup(t, keys[2].c_str()), &values[2]);
  vsnHashFree(t);
}

TEST(VsnHash, GrowsAtTheEntryAfterThreePerBucket) {
  vsnHash* t = vsnHashNew(1);
  for (int i = 0; i < 126; ++i) {
    ASSERT_EQ(vsnHashInsert(t, ("p" + std::to_string(i)).c_str(), t), 1);
  }
  EXPECT_EQ(t->m_size, 41);
  ASSERT_EQ(vsnHashInsert(t, "p126", t), 1);
  EXPECT_EQ(t->m_size, 127);
  EXPECT_EQ(t->m_numEntries, 127);
  for (int i = 0; i < 127; ++i) EXPECT_EQ(vsnHashLookup(t, ("p" + std::to_string(i)).c_str()), t);

  // Reserving for many more skips steps of the prime list at once.
  ASSERT_EQ(vsnHashReserve(t, 3000), 1);
  EXPECT_EQ(t->m_size, vsnPrimeAtLeast(2 * ((127 + 3000) / 3)));
  EXPECT_EQ(vsnHashLookup(t, "p99"), t);
  vsnHashFree(t);
}

TEST(VsnHash, AgreesWithAMapUnderRandomOperations) {
  vsnHash* t = vsnHashNew(1);
  std::map<std::string, intptr_t> model;
  std::mt19937 rng(11);
  for (int step = 0; step < 20000; ++step) {
    std::string k = "/k" + std::to_string(rng() % 3000);
    intptr_t v = static_cast<intptr_t>(rng() % 1000 + 1);
    if (rng() % 3 == 0) {
      void* got = nullptr;
      int removed = vsnHashRemove(t, k.c_str(), &got);
      auto it = model.find(k);
      ASSERT_EQ(removed, it != model.end() ? 1 : 0);
      if (removed) {
        EXPECT_EQ(reinterpret_cast<intptr_t>(got), it->second);
        model.erase(it);
      }
    } else {
      ASSERT_EQ(vsnHashInsert(t, k.c_str(), reinterpret_cast<void*>(v)), 1);
      model[k] = v;
    }
    ASSERT_EQ(t->m_numEntries, static_cast<int32_t>(model.size()));
  }
  for (const auto& kv : model) EXPECT_EQ(reinterpret_cast<intptr_t>(vsnHashLookup(t, kv.first.c_str())), kv.second);
  ASSERT_EQ(vsnHashLayOut(t), 1);
  // Every head counts exactly the entries of its chain.
  for (int32_t b = 0; b < t->m_size; ++b) {
    int32_t n = 0;
    for (vsnHashNode* p = &t->m_buckets[b]; p && p->m_key; p = p->m_next) ++n;
    EXPECT_EQ(t->m_buckets[b].m_count, n);
  }
  vsnHashFree(t);
}

int32_t firstLetter(int32_t size, const char* key) { return (key[0] & 0x7f) % size; }

// Every chain, head first: the layout the table shows.
std::vector<std::string> chainsOf(vsnHash* t) {
  std::vector<std::string> chains;
  EXPECT_EQ(vsnHashLayOut(t), 1);
  for (int32_t b = 0; b < t->m_size; ++b) {
    std::string chain = std::to_string(t->m_buckets[b].m_count) + ":";
    for (const vsnHashNode* p = &t->m_buckets[b]; p && p->m_key; p = p->m_next) chain += std::string(p->m_key) + ",";
    chains.push_back(chain);
  }
  return chains;
}

// A table looking up through its index against one that lost its index to vsnHashAddNew: the
// same answers and the same chains through growth, removals of heads and chain nodes, a new
// hash function, clearing and refilling.
TEST(VsnHash, TheIndexAnswersAsTheChainsDo) {
  vsnHash* indexed = vsnHashNew(1);
  vsnHash* plain = vsnHashNew(1);
  ASSERT_EQ(vsnHashAddNew(plain, vsnHashString(plain->m_size, "/seed"), "/seed", 5, plain), 1);
  ASSERT_EQ(vsnHashInsert(indexed, "/seed", plain), 1);
  ASSERT_EQ(plain->m_index, nullptr);
  std::mt19937 rng(23);
  for (int step = 0; step < 30000; ++step) {
    if (step == 15000) {
      ASSERT_EQ(vsnHashSetFunction(indexed, firstLetter), 1);
      ASSERT_EQ(vsnHashSetFunction(plain, firstLetter), 1);
    }
    if (step == 22000) {
      vsnHashClear(indexed);
      vsnHashClear(plain);
      // A cleared table starts afresh, index and all.
      ASSERT_EQ(vsnHashInsert(indexed, "/seed", plain), 1);
      ASSERT_EQ(vsnHashInsert(plain, "/seed", plain), 1);
      ASSERT_NE(plain->m_index, nullptr);
      ASSERT_EQ(vsnHashRemove(plain, "/seed", nullptr), 1);
      ASSERT_EQ(vsnHashAddNew(plain, vsnHashString(plain->m_size, "/seed"), "/seed", 5, plain), 1);
    }
    // Keys of one length and many alike, so that the quick hash and the lengths are put to work.
    std::string k = "/FLOW/DOMAIN:d" + std::to_string(rng() % 40) + "/b" + std::to_string(rng() % 100);
    intptr_t v = static_cast<intptr_t>(rng() % 1000 + 1);
    switch (rng() % 4) {
      case 0: {
        void* a = nullptr;
        void* b = nullptr;
        ASSERT_EQ(vsnHashRemove(indexed, k.c_str(), &a), vsnHashRemove(plain, k.c_str(), &b)) << k;
        ASSERT_EQ(a, b);
        break;
      }
      case 1:
        ASSERT_EQ(vsnHashLookup(indexed, k.c_str()), vsnHashLookup(plain, k.c_str())) << k;
        ASSERT_EQ(vsnHashLookup(indexed, (k + "x").c_str()), nullptr);
        break;
      default:
        ASSERT_EQ(vsnHashInsert(indexed, k.c_str(), reinterpret_cast<void*>(v)), 1);
        ASSERT_EQ(vsnHashInsert(plain, k.c_str(), reinterpret_cast<void*>(v)), 1);
        break;
    }
    if (step % 1000 == 999) ASSERT_EQ(chainsOf(indexed), chainsOf(plain)) << step;
  }
  ASSERT_NE(indexed->m_index, nullptr);
  EXPECT_EQ(plain->m_index, nullptr);
  EXPECT_EQ(chainsOf(indexed), chainsOf(plain));
  ASSERT_EQ(vsnHashLayOut(plain), 1);
  for (int32_t b = 0; b < plain->m_size; ++b) {
    for (const vsnHashNode* p = &plain->m_buckets[b]; p && p->m_key; p = p->m_next) {
      EXPECT_EQ(vsnHashLookup(indexed, p->m_key), p->m_value) << p->m_key;
    }
  }
  vsnHashFree(indexed);
  vsnHashFree(plain);
}

TEST(VsnHash, ChangingTheFunctionKeepsEveryEntryFindable) {
  vsnHash* t = vsnHashNew(1);
  for (int i = 0; i < 50; ++i) vsnHashInsert(t, ("x" + std::to_string(i)).c_str(), t);
  EXPECT_EQ(vsnHashSetFunction(nullptr, firstLetter), 0);
  EXPECT_EQ(vsnHashSetFunction(t, firstLetter), 1);
  for (int i = 0; i < 50; ++i) EXPECT_EQ(vsnHashLookup(t, ("x" + std::to_string(i)).c_str()), t);
  ASSERT_EQ(vsnHashLayOut(t), 1);
  EXPECT_EQ(t->m_buckets['x' % 41].m_count, 50);
  vsnHashFree(t);
}

TEST(VsnHash, ClearedTableIsUsableAgain) {
  vsnHash* t = vsnHashNew(100);
  vsnHashInsert(t, "a", t);
  vsnHashClear(t);
  EXPECT_EQ(t->m_numEntries, 0);
  EXPECT_EQ(vsnHashLookup(t, "a"), nullptr);
  EXPECT_EQ(vsnHashInsert(t, "b", t), 1);
  EXPECT_EQ(vsnHashLookup(t, "b"), t);
  vsnHashFree(t);
}

TEST(VsnHash, StatisticsListBucketsAndSummary) {
  vsnHash* t = vsnHashNew(1);
  // Two keys in bucket 15 and one in bucket 22; "a" hashes to 15, "ab" to 22.
  std::vector<std::string> more = keysOfBucket(41, 15, 1);
  vsnHashInsert(t, "a", t);
  vsnHashInsert(t, more[0].c_str(), t);
  vsnHashInsert(t, "ab", t);
  testing::internal::CaptureStdout();
  EXPECT_EQ(vsnHashStatistics(t, 2), 2);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "0-14 none\n15: 2\n16-21 none\n22: 1\n"
            "\ntsize\tempty\tnumobj\ts|ldep\tav dep\tidl av dep\t% empty\n"
            "41\t39\t3\t(1|2)\t1.50\t0.07\t\t95.12%\n\n");
  testing::internal::CaptureStdout();
  EXPECT_EQ(vsnHashStatistics(t, 0), 2);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  // A table that miscounts its entries says so.
  t->m_numEntries = 4;
  testing::internal::CaptureStdout();
  vsnHashStatistics(t, 1);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("WARNING: counted 3 entries, but the table claims to contain 4\n\n"), std::string::npos);
  t->m_numEntries = 3;
  vsnHashFree(t);
}

} // namespace
