#include "Set.h"
#include "zyrMemory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

namespace {

void *P(uintptr_t v) { return reinterpret_cast<void *>(v); }

std::vector<void *> members(const Set *set) {
  void **array = nullptr;
  int32_t n = Set_toArray(set, &array);
  std::vector<void *> out(array, array + n);
  zyrMemory_free(array, "test");
  return out;
}

TEST(Set, ArrayConstructionKeepsFirstAppearance) {
  void *p = P(0x10), *q = P(0x20);
  void *input[] = {p, q, p};
  Set *s = Set_newFromArray(3, input);
  EXPECT_EQ(Set_getNoOfMembers(s), 2);
  EXPECT_EQ(s->m_capacity, 3);
  EXPECT_EQ(members(s), (std::vector<void *>{p, q}));
  Set_delete(s);

  Set *empty = Set_newFromArray(0, nullptr);
  EXPECT_EQ(Set_getNoOfMembers(empty), 0);
  EXPECT_EQ(empty->m_capacity, 5);
  void *sentinel = nullptr;
  void **array = &sentinel;
  EXPECT_EQ(Set_toArray(empty, &array), 0);
  EXPECT_EQ(array, nullptr);
  Set_delete(empty);
}

TEST(Set, AddRemoveAndGrowth) {
  Set *s = Set_new(1);
  EXPECT_EQ(Set_add(s, P(1)), 1);
  EXPECT_EQ(Set_add(s, P(1)), 0);
  EXPECT_EQ(Set_add(s, P(2)), 1); // full: capacity doubles
  EXPECT_EQ(s->m_capacity, 2);
  EXPECT_EQ(Set_add(s, P(3)), 1);
  EXPECT_EQ(s->m_capacity, 4);
  EXPECT_EQ(Set_remove(s, P(1)), 1); // first of three: the rest keep their order
  EXPECT_EQ(members(s), (std::vector<void *>{P(2), P(3)}));
  EXPECT_EQ(Set_remove(s, P(1)), 0);
  EXPECT_EQ(Set_contains(s, P(3)), 1);
  EXPECT_EQ(Set_contains(s, P(1)), 0);

  EXPECT_EQ(Set_resize(s, 1), 0); // below the count
  EXPECT_EQ(Set_resize(s, 0), 0);
  EXPECT_EQ(Set_resize(s, 2), 1);
  EXPECT_EQ(s->m_capacity, 2);

  EXPECT_EQ(Set_clear(s), 1);
  EXPECT_EQ(Set_getNoOfMembers(s), 0);
  EXPECT_EQ(s->m_capacity, 2);
  EXPECT_EQ(Set_contains(s, P(2)), 0);
  Set_delete(s);
}

TEST(Set, AddSetGrowsOnceAndSkipsMembers) {
  Set *a = Set_new(4);
  Set *b = Set_new(4);
  Set_add(a, P(1));
  Set_add(a, P(2));
  Set_add(b, P(2));
  Set_add(b, P(3));
  EXPECT_EQ(Set_addSet(a, b), 1); // 2 + 2 >= 4: capacity (4 * 3) / 2
  EXPECT_EQ(a->m_capacity, 6);
  EXPECT_EQ(members(a), (std::vector<void *>{P(1), P(2), P(3)}));
  EXPECT_EQ(members(b), (std::vector<void *>{P(2), P(3)}));
  EXPECT_EQ(Set_addSet(a, a), 1);
  EXPECT_EQ(members(a), (std::vector<void *>{P(1), P(2), P(3)}));

  Set *copy = Set_newCopy(a);
  EXPECT_EQ(copy->m_capacity, a->m_capacity);
  EXPECT_EQ(members(copy), members(a));
  Set_delete(copy);
  Set_delete(a);
  Set_delete(b);
}

TEST(Set, Iteration) {
  Set *s = Set_new(3);
  SetIterator *it = SetIterator_new(s);
  EXPECT_EQ(SetIterator_first(it), nullptr);
  Set_add(s, P(7));
  Set_add(s, P(8));
  EXPECT_EQ(SetIterator_first(it), P(7));
  EXPECT_EQ(SetIterator_next(it), P(8));
  EXPECT_EQ(SetIterator_next(it), nullptr);
  EXPECT_EQ(SetIterator_next(it), nullptr);
  EXPECT_EQ(SetIterator_first(it), P(7));
  SetIterator_delete(it);
  Set_delete(s);
}

// The plain scanning set: every add, test and removal walks the array. The set under test answers
// membership from an index once it grows; its array, count, capacity and every result must match
// this model exactly over long mixed runs, across the point where the index is built.
struct ScanningSet {
  std::vector<void *> items;
  int32_t capacity;

  explicit ScanningSet(int32_t c) : capacity(c < 1 ? 1 : c) {}
  bool contains(void *p) const { return std::find(items.begin(), items.end(), p) != items.end(); }
  int add(void *p) {
    if (contains(p))
      return 0;
    if (static_cast<int32_t>(items.size()) == capacity)
      capacity *= 2;
    items.push_back(p);
    return 1;
  }
  int remove(void *p) {
    auto at = std::find(items.begin(), items.end(), p);
    if (at == items.end())
      return 0;
    items.erase(at);
    return 1;
  }
  void addSet(const ScanningSet &other) {
    int64_t together = static_cast<int64_t>(items.size()) + static_cast<int64_t>(other.items.size());
    if (together >= capacity)
      capacity = static_cast<int32_t>(together * 3 / 2);
    std::vector<void *> snapshot = other.items;
    for (void *p : snapshot)
      add(p);
  }
};

void expectSame(const Set *s, const ScanningSet &m) {
  ASSERT_EQ(Set_getNoOfMembers(s), static_cast<int32_t>(m.items.size()));
  ASSERT_EQ(s->m_capacity, m.capacity);
  ASSERT_TRUE(std::equal(m.items.begin(), m.items.end(), s->m_items));
}

TEST(Set, IndexedMembershipMatchesScanningModel) {
  std::mt19937_64 rng(12345);
  // Pointers from a small range so that adds often meet members; NULL is among them.
  auto pick = [&](uintptr_t range) { return P((rng() % range) * 8); };
  for (int round = 0; round < 6; ++round) {
    uintptr_t range = round < 3 ? 80 : 6000;
    Set *s = Set_new(1);
    ScanningSet m(1);
    Set *other = Set_new(3);
    ScanningSet mo(3);
    bool sawIndex = false;
    for (int step = 0; step < 12000; ++step) {
      void *p = pick(range);
      switch (rng() % 10) {
      case 0:
      case 1:
      case 2:
      case 3:
        ASSERT_EQ(Set_add(s, p), m.add(p));
        break;
      case 4:
      case 5:
        ASSERT_EQ(Set_remove(s, p), m.remove(p));
        break;
      case 6:
        ASSERT_EQ(Set_contains(s, p), m.contains(p) ? 1 : 0);
        break;
      case 7:
        ASSERT_EQ(Set_add(other, p), mo.add(p));
        break;
      case 8:
        if (rng() % 50 == 0) {
          Set_addSet(s, other);
          m.addSet(mo);
        } else if (rng() % 400 == 0) {
          Set_addSet(s, s);
          m.addSet(m);
        }
        break;
      default:
        if (rng() % 2000 == 0) {
          Set_clear(s);
          m.items.clear();
        } else if (rng() % 1000 == 0) {
          // Copies and array rebuilds carry the same members (and so the same later answers).
          Set *copy = Set_newCopy(s);
          Set_delete(s);
          s = copy;
        } else {
          ASSERT_EQ(Set_contains(s, p), m.contains(p) ? 1 : 0);
        }
      }
      if (range < 100 || step % 97 == 0)
        expectSame(s, m);
      sawIndex = sawIndex || s->m_index != nullptr;
    }
    expectSame(s, m);
    EXPECT_TRUE(sawIndex); // the runs reach the indexed regime
    // A rebuilt set from an array with repeats keeps first appearances.
    std::vector<void *> withRepeats = m.items;
    withRepeats.insert(withRepeats.end(), m.items.rbegin(), m.items.rend());
    Set *rebuilt = Set_newFromArray(static_cast<int32_t>(withRepeats.size()), withRepeats.data());
    EXPECT_EQ(members(rebuilt), m.items);
    for (void *p : m.items)
      EXPECT_EQ(Set_contains(rebuilt, p), 1);
    Set_delete(rebuilt);
    Set_delete(other);
    Set_delete(s);
  }
}

} // namespace
