#include "HashSet.h"
#include "zyrMemory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

void *P(uintptr_t v) { return reinterpret_cast<void *>(v); }

std::vector<void *> members(const HashSet *s) {
  void **array = nullptr;
  int32_t n = HashSet_toArray(s, &array);
  std::vector<void *> out(array, array + n);
  zyrMemory_free(array, "test");
  return out;
}

std::string statistics(const HashSet *s) {
  char *text = nullptr;
  size_t size = 0;
  FILE *f = open_memstream(&text, &size);
  HashSet_printStatistics(s, f);
  std::fclose(f);
  std::string out(text, size);
  std::free(text);
  return out;
}

TEST(HashSet, AddDoesNotTestMembership) {
  HashSet *s = HashSet_new(0);
  EXPECT_EQ(s->m_n, 13);
  EXPECT_EQ(HashSet_add(s, P(8)), 1);
  EXPECT_EQ(HashSet_add(s, P(8)), 2);
  EXPECT_EQ(HashSet_remove(s, P(8)), 1);
  EXPECT_EQ(HashSet_contains(s, P(8)), 1);
  EXPECT_EQ(HashSet_remove(s, P(8)), 1);
  EXPECT_EQ(HashSet_contains(s, P(8)), 0);
  EXPECT_EQ(HashSet_remove(s, P(8)), 0);
  void *sentinel = nullptr;
  void **array = &sentinel;
  EXPECT_EQ(HashSet_toArray(s, &array), 0);
  EXPECT_EQ(array, nullptr);
  HashSet_delete(s);
}

TEST(HashSet, AddSetMovesMembersOnce) {
  void *a1[] = {P(1), P(2), P(3)};
  void *b1[] = {P(3), P(4), P(4), P(5)};
  HashSet *a = HashSet_newFromArray(3, a1);
  HashSet *b = HashSet_newFromArray(4, b1);
  EXPECT_EQ(HashSet_getNoOfMembers(b), 4);
  EXPECT_EQ(HashSet_addSet(a, b), 1);
  EXPECT_EQ(HashSet_getNoOfMembers(b), 0);
  EXPECT_EQ(members(a), (std::vector<void *>{P(1), P(2), P(3), P(4), P(5)}));
  EXPECT_EQ(statistics(b), "Min. no of items in a list = 0\n"
                           "Max. no of items in a list = 0\n"
                           "No of items in free list   = 4\n");

  // A set added to itself keeps every member, once.
  EXPECT_EQ(HashSet_addSet(a, a), 1);
  EXPECT_EQ(members(a), (std::vector<void *>{P(1), P(2), P(3), P(4), P(5)}));
  HashSet_delete(a);
  HashSet_delete(b);

  // Large self-add across what would be growth steps.
  HashSet *big = HashSet_new(0);
  for (uintptr_t i = 1; i <= 39; ++i)
    HashSet_add(big, P(i));
  const auto before = members(big);
  HashSet_addSet(big, big);
  EXPECT_EQ(members(big), before);
  HashSet_delete(big);
}

TEST(HashSet, CopyKeepsChainsAndStartsWithoutFreeList) {
  HashSet *s = HashSet_new(0);
  for (uintptr_t i = 0; i < 60; ++i)
    HashSet_add(s, P(i * 13 + 1)); // crowd one bucket at 13
  HashSet_remove(s, P(1));
  HashSet *copy = HashSet_newCopy(s);
  EXPECT_EQ(copy->m_n, s->m_n);
  EXPECT_EQ(copy->m_sizeIndex, s->m_sizeIndex);
  EXPECT_EQ(HashSet_getNoOfMembers(copy), HashSet_getNoOfMembers(s));
  EXPECT_EQ(members(copy), members(s));
  EXPECT_NE(statistics(s).find("free list   = 1\n"), std::string::npos);
  EXPECT_NE(statistics(copy).find("free list   = 0\n"), std::string::npos);
  HashSet_clear(s);
  EXPECT_EQ(HashSet_getNoOfMembers(s), 0);
  EXPECT_NE(statistics(s).find("free list   = 60\n"), std::string::npos);
  EXPECT_EQ(s->m_n, copy->m_n); // clearing does not shrink

  HashSetIterator *it = HashSetIterator_new(copy);
  std::vector<void *> walked;
  for (void *m = HashSetIterator_first(it); m != nullptr; m = HashSetIterator_next(it))
    walked.push_back(m);
  EXPECT_EQ(HashSetIterator_next(it), nullptr);
  EXPECT_EQ(walked, members(copy));
  HashSetIterator_delete(it);
  HashSet_delete(copy);
  HashSet_delete(s);
}

// Independent model: chains as vectors (front = head), bucket = low 32 bits modulo n, the
// table's growth, shrink and re-linking rules.
TEST(HashSet, OrderMatchesModel) {
  const int64_t primes[] = {13, 31, 61, 127, 251, 509, 1021, 2039};
  std::mt19937_64 rng(99);
  HashSet *s = HashSet_new(0);
  int index = 0;
  std::vector<std::vector<void *>> buckets(13);
  int64_t count = 0;
  auto bucket = [](void *p, int64_t n) {
    return static_cast<size_t>((reinterpret_cast<uintptr_t>(p) & 0xFFFFFFFFu) % static_cast<uint64_t>(n));
  };
  auto resize = [&](int next) {
    std::vector<std::vector<void *>> fresh(static_cast<size_t>(primes[next]));
    for (auto &chain : buckets)
      for (void *p : chain)
        fresh[bucket(p, primes[next])].insert(fresh[bucket(p, primes[next])].begin(), p);
    buckets.swap(fresh);
    index = next;
  };
  for (int round = 0; round < 6; ++round) {
    bool filling = round % 2 == 0;
    for (int step = 0; step < 2000; ++step) {
      void *p = P((rng() % 3000) * 0x100000007ULL);
      if (rng() % 10 < (filling ? 8u : 2u)) {
        if (count > 3 * primes[index])
          resize(index + 1);
        auto &chain = buckets[bucket(p, primes[index])];
        chain.insert(chain.begin(), p);
        ++count;
        ASSERT_EQ(HashSet_add(s, p), count);
      } else {
        if (count < primes[index] / 2 && index != 0)
          resize(index - 1);
        auto &chain = buckets[bucket(p, primes[index])];
        int removed = 0;
        for (auto it = chain.begin(); it != chain.end(); ++it)
          if (*it == p) {
            chain.erase(it);
            --count;
            removed = 1;
            break;
          }
        ASSERT_EQ(HashSet_remove(s, p), removed);
      }
    }
    std::vector<void *> order;
    for (auto &chain : buckets)
      order.insert(order.end(), chain.begin(), chain.end());
    ASSERT_EQ(s->m_n, primes[index]);
    ASSERT_EQ(members(s), order);
  }
  HashSet_delete(s);
}

} // namespace
