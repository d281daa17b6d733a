#include "RegionMemory.h"
#include "RegionNameDictionary.h"
#include "StringList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

// Names whose ids ascend in the order given: each test uses names of its own, entered fresh.
std::vector<uint64_t> ids(const std::string& prefix, int count) {
  std::vector<uint64_t> out;
  for (int i = 0; i < count; ++i) {
    uint64_t id = 0;
    std::string name = prefix + std::to_string(i);
    EXPECT_FALSE(RegionStatus_isError(RegionNameDictionary_add(name.c_str(), &id)));
    out.push_back(id);
  }
  return out;
}

StringList* listOf(const std::vector<uint64_t>& items, uint64_t capacity = 10) {
  StringList* list = nullptr;
  EXPECT_FALSE(RegionStatus_isError(StringList_new(&list, capacity)));
  for (uint64_t id : items) EXPECT_FALSE(RegionStatus_isError(StringList_addId(list, id)));
  return list;
}

std::vector<uint64_t> items(const StringList* list) { return std::vector<uint64_t>(list->m_items, list->m_items + list->m_count); }

bool sorted(const StringList* list) { return (list->m_flags & STRING_LIST_SORTED) != 0; }

struct Lists {
  std::vector<StringList*> m_lists;
  ~Lists() {
    for (StringList* l : m_lists) StringList_delete(&l);
  }
  StringList* add(StringList* l) {
    m_lists.push_back(l);
    return l;
  }
};

TEST(StringList, GrowthDoublesFromTen) {
  Lists keep;
  std::vector<uint64_t> n = ids("grow-", 21);
  StringList* l = keep.add(listOf({}, 0));
  EXPECT_EQ(l->m_items, nullptr);
  StringList_addId(l, n[0]);
  EXPECT_EQ(l->m_capacity, 10u);
  for (int i = 1; i < 10; ++i) StringList_addId(l, n[i]);
  EXPECT_EQ(l->m_capacity, 10u);
  StringList_addId(l, n[10]);
  EXPECT_EQ(l->m_capacity, 20u);
  EXPECT_EQ(l->m_count, 11u);
  // Adding a name already present changes nothing.
  StringList_addId(l, n[3]);
  EXPECT_EQ(l->m_count, 11u);
  // When doubling fails, one slot more is tried.
  for (int i = 11; i < 20; ++i) StringList_addId(l, n[i]);
  RegionMemory_failAfter(0, 1);
  EXPECT_FALSE(RegionStatus_isError(StringList_addId(l, n[20])));
  EXPECT_EQ(l->m_capacity, 21u);
  StringList* m = keep.add(listOf(std::vector<uint64_t>(n.begin(), n.begin() + 10)));
  RegionMemory_failAfter(0, 2);
  RegionStatus* s = StringList_addId(m, n[10]);
  EXPECT_STREQ(s->m_text, "Unable to allocate memory for new String List.");
  EXPECT_EQ(m->m_count, 10u);
  EXPECT_EQ(m->m_capacity, 10u);
  // An id the dictionary never handed out is refused.
  EXPECT_EQ(RegionStatus_getCode(StringList_addId(m, 0)), 800000u);
}

TEST(StringList, SortedFlagFollowsTheItems) {
  Lists keep;
  std::vector<uint64_t> n = ids("flag-", 8);  // n[3] < n[4] < n[5] < n[7]
  StringList* l = keep.add(listOf({n[3], n[5], n[7]}));
  EXPECT_TRUE(sorted(l));
  StringList_addId(l, n[4]);
  EXPECT_FALSE(sorted(l));
  StringList_sort(l);
  EXPECT_TRUE(sorted(l));
  EXPECT_EQ(items(l), (std::vector<uint64_t>{n[3], n[4], n[5], n[7]}));
  StringList* one = keep.add(listOf({n[1]}));
  one->m_flags = 0;
  StringList_sort(one);
  EXPECT_TRUE(sorted(one));
}

TEST(StringList, RemovalShrinksTheArray) {
  Lists keep;
  std::vector<uint64_t> n = ids("shrink-", 1500);
  StringList* small = keep.add(listOf({n[0], n[1], n[2], n[3], n[4]}));
  EXPECT_EQ(small->m_capacity, 10u);
  const char* name = nullptr;
  RegionNameDictionary_name(n[2], &name);
  EXPECT_FALSE(RegionStatus_isError(StringList_remove(small, name)));
  EXPECT_EQ(small->m_capacity, 4u);
  EXPECT_EQ(items(small), (std::vector<uint64_t>{n[0], n[1], n[3], n[4]}));

  StringList* big = keep.add(listOf(n, 2000));
  StringList_removeId(big, n[10]);
  EXPECT_EQ(big->m_capacity, 2000u);
  EXPECT_EQ(big->m_count, 1499u);
  while (big->m_count > 1001) StringList_removeId(big, big->m_items[big->m_count - 1]);
  EXPECT_EQ(big->m_capacity, 2000u);
  StringList_removeId(big, big->m_items[0]);
  EXPECT_EQ(big->m_capacity, 1000u);
  EXPECT_EQ(big->m_count, 1000u);

  // The last item goes without a reallocation to nothing.
  StringList* last = keep.add(listOf({n[0]}));
  StringList_removeId(last, n[0]);
  EXPECT_EQ(last->m_count, 0u);
  EXPECT_EQ(last->m_capacity, 10u);

  RegionStatus* s = StringList_remove(small, "shrink-never");
  EXPECT_EQ(RegionStatus_getCode(s), 900000u);
  EXPECT_STREQ(s->m_text, "String \"shrink-never\" is not in the list");
  EXPECT_EQ(RegionStatus_getCode(StringList_remove(small, "  ")), 300000u);
  // A message longer than the buffer is cut to fit.
  std::string longName(3000, 'x');
  s = StringList_remove(small, longName.c_str());
  EXPECT_EQ(strlen(s->m_text), size_t(REGION_MESSAGE_SIZE - 1));
}

TEST(StringList, AppendIsASortedUnionOrACopy) {
  Lists keep;
  std::vector<uint64_t> n = ids("append-", 5);
  StringList* target = keep.add(listOf({n[1], n[3]}));
  StringList* source = keep.add(listOf({n[2], n[3]}));
  EXPECT_FALSE(RegionStatus_isError(StringList_append(target, source)));
  EXPECT_EQ(items(target), (std::vector<uint64_t>{n[1], n[2], n[3]}));
  EXPECT_TRUE(sorted(target));

  StringList* unsortedSource = keep.add(listOf({n[4], n[0], n[2]}));
  StringList* empty = keep.add(listOf({}, 0));
  StringList_append(empty, unsortedSource);
  EXPECT_EQ(items(empty), (std::vector<uint64_t>{n[4], n[0], n[2]}));
  EXPECT_FALSE(sorted(empty));
  EXPECT_EQ(empty->m_capacity, 3u);

  // With capacity, an unsorted source is sorted into the union.
  StringList* roomy = keep.add(listOf({n[3]}, 1));
  StringList_append(roomy, unsortedSource);
  EXPECT_EQ(items(roomy), (std::vector<uint64_t>{n[0], n[2], n[3], n[4]}));
  EXPECT_EQ(roomy->m_capacity, 4u);
  EXPECT_TRUE(sorted(roomy));

  // An empty source changes nothing; a missing list is refused.
  StringList* none = keep.add(listOf({}));
  StringList_append(target, none);
  EXPECT_EQ(target->m_count, 3u);
  RegionStatus* s = StringList_append(target, nullptr);
  EXPECT_EQ(RegionStatus_getCode(s), 100009u);
  EXPECT_STREQ(s->m_text, "Invalid String List.");
  StringList_append(target, target);
  EXPECT_EQ(items(target), (std::vector<uint64_t>{n[1], n[2], n[3]}));

  // Growth failure leaves the target as it was.
  StringList* tight = keep.add(listOf({n[0]}, 1));
  RegionMemory_failAfter(0, 1);
  s = StringList_append(tight, source);
  EXPECT_STREQ(s->m_text, "Unable to allocate memory for new String List.");
  EXPECT_EQ(items(tight), (std::vector<uint64_t>{n[0]}));
}

TEST(StringList, IntersectionAndSubtraction) {
  Lists keep;
  std::vector<uint64_t> n = ids("inter-", 7);
  StringList* target = keep.add(listOf({n[4], n[1], n[2], n[3]}));
  StringList* source = keep.add(listOf({n[6], n[2], n[4]}));
  EXPECT_FALSE(RegionStatus_isError(StringList_intersect(target, source)));
  EXPECT_EQ(items(target), (std::vector<uint64_t>{n[2], n[4]}));
  EXPECT_EQ(items(source), (std::vector<uint64_t>{n[2], n[4], n[6]}));  // sorted as a side effect
  StringList* empty = keep.add(listOf({}));
  StringList_intersect(target, empty);
  EXPECT_EQ(items(target), (std::vector<uint64_t>{n[2], n[4]}));

  StringList* minuend = keep.add(listOf({n[5], n[1], n[3], n[2]}));
  StringList* subtrahend = keep.add(listOf({n[3], n[0], n[5]}));
  EXPECT_FALSE(RegionStatus_isError(StringList_subtract(minuend, subtrahend)));
  EXPECT_EQ(items(minuend), (std::vector<uint64_t>{n[1], n[2]}));  // its own order kept
  EXPECT_EQ(items(subtrahend), (std::vector<uint64_t>{n[3], n[0], n[5]}));
  StringList_subtract(minuend, minuend);
  EXPECT_EQ(minuend->m_count, 0u);
}

TEST(StringList, SymmetricDifference) {
  Lists keep;
  std::vector<uint64_t> n = ids("symdiff-", 7);
  StringList* target = keep.add(listOf({n[1], n[2], n[3]}));
  StringList* source = keep.add(listOf({n[2], n[3], n[4]}));
  EXPECT_FALSE(RegionStatus_isError(StringList_symmetricDifference(target, source)));
  EXPECT_EQ(items(target), (std::vector<uint64_t>{n[1], n[4]}));
  EXPECT_EQ(items(source), (std::vector<uint64_t>{n[4]}));

  // A failed step restores both lists.
  StringList* a = keep.add(listOf({n[1], n[2], n[3]}, 3));
  StringList* b = keep.add(listOf({n[3], n[4], n[5], n[6]}));
  RegionMemory_failAfter(2, 1);  // the two backups succeed, the growth of the target fails
  RegionStatus* s = StringList_symmetricDifference(a, b);
  EXPECT_EQ(RegionStatus_getCode(s), 7u);
  EXPECT_EQ(items(a), (std::vector<uint64_t>{n[1], n[2], n[3]}));
  EXPECT_EQ(items(b), (std::vector<uint64_t>{n[3], n[4], n[5], n[6]}));
  EXPECT_FALSE(RegionStatus_isError(StringList_symmetricDifference(a, b)));
  EXPECT_EQ(items(a), (std::vector<uint64_t>{n[1], n[2], n[4], n[5], n[6]}));
}

TEST(StringList, IterationCursor) {
  Lists keep;
  ids("iter-", 3);
  StringList* l = keep.add(listOf({}));
  StringList_add(l, "iter-0");
  const char* name = nullptr;
  EXPECT_FALSE(RegionStatus_isError(StringList_first(l, &name)));
  EXPECT_STREQ(name, "iter-0");
  RegionStatus* s = StringList_next(l, &name);
  EXPECT_EQ(RegionStatus_getCode(s), 900002u);
  EXPECT_STREQ(s->m_text, "No more strings in list");

  StringList* empty = keep.add(listOf({}));
  s = StringList_last(empty, &name);
  EXPECT_EQ(RegionStatus_getCode(s), 900001u);
  EXPECT_STREQ(s->m_text, "P_List is empty - cannot go to last string");
  s = StringList_first(empty, &name);
  EXPECT_EQ(RegionStatus_getCode(s), 900002u);
  EXPECT_STREQ(s->m_text, "StringList is empty - cannot go to first string");
  EXPECT_STREQ(StringList_first(empty, nullptr)->m_text, "Invalid object pointer - cannot return first in list");
  EXPECT_STREQ(StringList_next(empty, nullptr)->m_text, "Invalid object pointer - cannot return next in list");
  EXPECT_STREQ(StringList_last(empty, nullptr)->m_text, "Invalid object pointer - cannot return last in list");
  EXPECT_STREQ(StringList_previous(empty, nullptr)->m_text, "Invalid object pointer - cannot return previous in list");

  StringList_add(l, "iter-1");
  StringList_add(l, "iter-2");
  // A fresh walk backwards starts at the last item.
  l->m_flags &= uint8_t(~STRING_LIST_ITERATING);
  std::vector<std::string> seen;
  for (s = StringList_previous(l, &name); !RegionStatus_isError(s); s = StringList_previous(l, &name)) seen.push_back(name);
  EXPECT_EQ(seen, (std::vector<std::string>{"iter-2", "iter-1", "iter-0"}));
  EXPECT_EQ(RegionStatus_getCode(s), 900002u);

  // Removing the current item: the walk goes on with the item after it.
  StringList_first(l, &name);
  StringList_next(l, &name);
  EXPECT_STREQ(name, "iter-1");
  StringList_remove(l, "iter-1");
  StringList_next(l, &name);
  EXPECT_STREQ(name, "iter-2");
  StringList_remove(l, "iter-0");  // at the front: the iteration ends
  StringList_next(l, &name);
  EXPECT_STREQ(name, "iter-2");
  EXPECT_EQ(RegionStatus_getCode(StringList_next(l, &name)), 900002u);
}

TEST(StringList, FindSetsTheCursor) {
  Lists keep;
  std::vector<uint64_t> n = ids("find-", 4);
  StringList* l = keep.add(listOf({n[2], n[0], n[3]}));
  int found = 7;
  EXPECT_FALSE(RegionStatus_isError(StringList_find(l, "find-3", &found)));
  EXPECT_EQ(found, 1);
  EXPECT_EQ(l->m_cursor, 2u);
  StringList_find(l, "find-1", &found);
  EXPECT_EQ(found, 0);
  EXPECT_EQ(l->m_cursor, 2u);
  RegionStatus* s = StringList_find(l, "find-never-entered", &found);
  EXPECT_FALSE(RegionStatus_isError(s));
  EXPECT_EQ(found, 0);
  s = StringList_find(l, " ", &found);
  EXPECT_EQ(RegionStatus_getCode(s), 300000u);
  s = StringList_find(l, "find-0", nullptr);
  EXPECT_STREQ(s->m_text, "Invalid object pointer - cannot return result");
  StringList_findId(nullptr, n[0], &found);
  EXPECT_EQ(found, 0);
  StringList_sort(l);
  StringList_findId(l, n[3], &found);
  EXPECT_EQ(found, 1);
  EXPECT_EQ(l->m_cursor, 2u);
  uint64_t size = 9;
  EXPECT_FALSE(RegionStatus_isError(StringList_size(l, &size)));
  EXPECT_EQ(size, 3u);
  s = StringList_size(nullptr, &size);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(RegionStatus_getCode(s), 100009u);
  EXPECT_STREQ(StringList_size(l, nullptr)->m_text, "Invalid object pointer - cannot return size of list");
}

struct Collected {
  std::vector<std::string> m_names;
  size_t m_failAfter = 100;
};

RegionStatus* collect(const char* name, void* context) {
  Collected* c = static_cast<Collected*>(context);
  c->m_names.push_back(name);
  return c->m_names.size() >= c->m_failAfter ? RegionStatus_fail(1, "enough") : RegionStatus_success();
}

TEST(StringList, IterateCallsBackInOrder) {
  Lists keep;
  ids("walk-", 3);
  StringList* l = keep.add(listOf({}));
  const char* names[] = {"walk-2", "walk-0", "walk-1"};
  StringList_addNames(l, names, 3);
  Collected c;
  EXPECT_FALSE(RegionStatus_isError(StringList_iterate(l, collect, &c)));
  EXPECT_EQ(c.m_names, (std::vector<std::string>{"walk-2", "walk-0", "walk-1"}));
  Collected stop;
  stop.m_failAfter = 2;
  EXPECT_EQ(RegionStatus_getCode(StringList_iterate(l, collect, &stop)), 1u);
  EXPECT_EQ(stop.m_names.size(), 2u);
  Collected none;
  StringList* empty = keep.add(listOf({}));
  EXPECT_FALSE(RegionStatus_isError(StringList_iterate(empty, collect, &none)));
  EXPECT_TRUE(none.m_names.empty());
  RegionStatus* s = StringList_iterate(l, nullptr, nullptr);
  EXPECT_EQ(RegionStatus_getCode(s), 3u);
  EXPECT_STREQ(s->m_text, "Iterate Function not supplied.");
  EXPECT_EQ(RegionStatus_getCode(StringList_iterate(nullptr, collect, &none)), 100009u);
  // addNames stops at the first failure.
  const char* bad[] = {"walk-3", " ", "walk-4"};
  EXPECT_EQ(RegionStatus_getCode(StringList_addNames(l, bad, 3)), 300000u);
  EXPECT_EQ(l->m_count, 4u);
}

TEST(StringList, ContentsModes) {
  Lists keep;
  ids("contents-", 3);
  StringList* l = keep.add(listOf({}));
  StringList_add(l, "contents-2");
  StringList_add(l, "contents-0");
  StringList_add(l, "contents-1");

  char* text = nullptr;
  EXPECT_FALSE(RegionStatus_isError(StringList_contents(l, STRING_LIST_JOINED, &text)));
  EXPECT_STREQ(text, "contents-2, contents-0, contents-1");
  RegionMemory_release(text);

  char** names = nullptr;
  uint64_t count = 0;
  EXPECT_FALSE(RegionStatus_isError(StringList_contents(l, STRING_LIST_NAMES, &names, &count)));
  ASSERT_EQ(count, 3u);
  EXPECT_STREQ(names[1], "contents-0");
  for (uint64_t i = 0; i < count; ++i) RegionMemory_release(names[i]);
  RegionMemory_release(names);

  uint64_t* array = nullptr;
  StringList_contents(l, STRING_LIST_IDS, &array, &count);
  EXPECT_EQ(std::vector<uint64_t>(array, array + count), items(l));
  uint64_t mine[3] = {0, 0, 0};
  uint64_t* into = mine;
  StringList_contents(l, STRING_LIST_IDS, &into, &count);
  EXPECT_EQ(into, mine);
  EXPECT_EQ(mine[2], l->m_items[2]);
  RegionMemory_release(array);

  StringList* copy = nullptr;
  EXPECT_FALSE(RegionStatus_isError(StringList_contents(l, STRING_LIST_COPY, &copy)));
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->m_count, 3u);
  EXPECT_TRUE(sorted(copy));  // a copy is built by a union
  StringList_delete(&copy);
  StringList_contents(l, 99, &copy);
  ASSERT_NE(copy, nullptr);
  StringList_delete(&copy);

  RegionStatus* s = StringList_contents(l, STRING_LIST_NAMES, nullptr, &count);
  EXPECT_EQ(RegionStatus_getCode(s), 8u);
  EXPECT_STREQ(s->m_text, "Unable to return list of names");
  EXPECT_STREQ(StringList_contents(l, STRING_LIST_JOINED, nullptr)->m_text, "Unable to return list of names");

  // Missing and empty lists give nothing.
  StringList* empty = keep.add(listOf({}));
  names = reinterpret_cast<char**>(&count);
  count = 5;
  EXPECT_FALSE(RegionStatus_isError(StringList_contents(nullptr, STRING_LIST_NAMES, &names, &count)));
  EXPECT_EQ(names, nullptr);
  EXPECT_EQ(count, 0u);
  text = reinterpret_cast<char*>(&count);
  StringList_joined(empty, &text);
  EXPECT_EQ(text, nullptr);
  StringList_contents(empty, STRING_LIST_COPY, &copy);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->m_count, 0u);
  StringList_delete(&copy);
  StringList_contents(nullptr, STRING_LIST_COPY, &copy);
  EXPECT_EQ(copy, nullptr);

  // Out of memory part way: nothing is handed out.
  RegionMemory_failAfter(2, 1);
  s = StringList_contents(l, STRING_LIST_NAMES, &names, &count);
  EXPECT_STREQ(s->m_text, "Unable to allocate memory for new contents.");
  EXPECT_EQ(names, nullptr);
  EXPECT_EQ(count, 0u);
  RegionMemory_failAfter(0, 1);
  s = StringList_joined(l, &text);
  EXPECT_EQ(RegionStatus_getCode(s), 7u);
  EXPECT_EQ(text, nullptr);
}

// A list's items live in the list's own block until they outgrow it, then in a block of their
// own. Wherever they are, the list must report the capacities it always has: doubling from 10
// (one more when doubling fails), shrinking to the count on removal, exactly the union's size
// when a union needs more, the source's size when an empty list takes a copy.
struct Expected {
  std::vector<uint64_t> m_items;
  uint64_t m_capacity = 0;

  void add(uint64_t id) {
    if (std::find(m_items.begin(), m_items.end(), id) != m_items.end()) return;
    if (m_items.size() == m_capacity) m_capacity = m_capacity ? m_capacity * 2 : 10;
    m_items.push_back(id);
  }
  void remove(uint64_t id) {
    auto at = std::find(m_items.begin(), m_items.end(), id);
    if (at == m_items.end()) return;
    m_items.erase(at);
    uint64_t count = m_items.size();
    if (count >= 1 && (m_capacity < 1000 || m_capacity - count >= 1000)) m_capacity = count;
  }
  void append(const Expected& source) {
    if (source.m_items.empty()) return;
    if (m_capacity == 0) {
      m_items = source.m_items;
      m_capacity = m_items.size();
      return;
    }
    m_capacity = std::max<uint64_t>(m_capacity, m_items.size() + source.m_items.size());
    m_items.insert(m_items.end(), source.m_items.begin(), source.m_items.end());
    std::sort(m_items.begin(), m_items.end());
    m_items.erase(std::unique(m_items.begin(), m_items.end()), m_items.end());
  }
  void subtract(const std::vector<uint64_t>& ids) {
    if (m_items.empty() || ids.empty()) return;
    std::vector<uint64_t> kept;
    for (uint64_t id : m_items) {
      if (std::find(ids.begin(), ids.end(), id) == ids.end()) kept.push_back(id);
    }
    m_items = kept;
  }
};

TEST(StringList, CapacitiesAreTheSameWhereverTheItemsLive) {
  std::vector<uint64_t> n = ids("block-", 40);
  std::mt19937 random(7);
  auto pick = [&](uint64_t bound) { return uint64_t(random() % bound); };
  auto someIds = [&] {
    std::vector<uint64_t> chosen;
    for (uint64_t i = 0, count = pick(8); i < count; ++i) {
      uint64_t id = n[pick(n.size())];
      if (std::find(chosen.begin(), chosen.end(), id) == chosen.end()) chosen.push_back(id);
    }
    return chosen;
  };
  const uint64_t kCapacities[] = {0, 1, 2, 3, 4, 5, 10, 12};
  // Lists made empty with every capacity, from ids (full at once) and as copies; remade now and
  // then, so that many lists outgrow their blocks.
  std::vector<StringList*> lists(12, nullptr);
  std::vector<Expected> expected(lists.size());
  auto remake = [&](size_t i) {
    StringList_delete(&lists[i]);
    std::vector<uint64_t> chosen = someIds();
    if (i % 3 == 0) {
      uint64_t capacity = kCapacities[pick(8)];
      EXPECT_FALSE(RegionStatus_isError(StringList_new(&lists[i], capacity)));
      expected[i] = Expected{{}, capacity};
    } else if (i % 3 == 1) {
      EXPECT_FALSE(RegionStatus_isError(StringList_newFromIds(&lists[i], chosen.data(), chosen.size())));
      expected[i] = Expected{chosen, chosen.size()};
    } else {
      StringList* from = nullptr;
      EXPECT_FALSE(RegionStatus_isError(StringList_newFromIds(&from, chosen.data(), chosen.size())));
      EXPECT_FALSE(RegionStatus_isError(StringList_copy(&lists[i], from)));
      StringList_delete(&from);
      std::sort(chosen.begin(), chosen.end());
      expected[i] = Expected{chosen, chosen.size()};
    }
  };
  for (size_t i = 0; i < lists.size(); ++i) remake(i);
  int failed = 0, moved = 0;
  for (int step = 0; step < 4000 && !::testing::Test::HasFailure(); ++step) {
    if (step % 50 == 0) remake(size_t(pick(lists.size())));
    size_t a = size_t(pick(lists.size())), b = size_t(pick(lists.size()));
    StringList* target = lists[a];
    StringList* source = lists[b];
    Expected before = expected[a], sourceBefore = expected[b];
    bool inOwnBlock = target->m_items == reinterpret_cast<uint64_t*>(target + 1);
    bool injected = pick(3) == 0;
    if (injected) RegionMemory_failAfter(int64_t(pick(3)), 1);
    RegionStatus* s = nullptr;
    uint64_t id = n[pick(n.size())];
    switch (pick(8)) {
      case 0:
      case 1:
        s = StringList_addId(target, id);
        expected[a].add(id);
        break;
      case 2:
        if (target->m_count) id = target->m_items[pick(target->m_count)];
        s = StringList_removeId(target, id);
        expected[a].remove(id);
        break;
      case 3:
        s = StringList_append(target, source);
        if (a == b) expected[a].append(Expected{});
        else expected[a].append(expected[b]);
        if (a == b) {
          std::sort(expected[a].m_items.begin(), expected[a].m_items.end());
          expected[a].m_items.erase(std::unique(expected[a].m_items.begin(), expected[a].m_items.end()),
                                    expected[a].m_items.end());
        }
        break;
      case 4:
        s = StringList_subtract(target, source);
        if (a == b) expected[a].m_items.clear();
        else expected[a].subtract(expected[b].m_items);
        break;
      case 5:
        s = StringList_symmetricDifference(target, source);
        if (a == b) {
          expected[a].m_items.clear();
        } else {
          expected[a].subtract(sourceBefore.m_items);
          expected[b].subtract(before.m_items);
          expected[a].append(expected[b]);
        }
        break;
      case 6: {
        uint64_t capacity = pick(24);
        s = StringList_reserve(target, capacity) ? RegionStatus_success() : RegionStatus_outOfMemory("String List");
        expected[a].m_capacity = std::max(expected[a].m_capacity, capacity);
        break;
      }
      default:
        s = StringList_clear(target);
        expected[a].m_items.clear();
        break;
    }
    RegionMemory_failAfter(-1, 0);
    if (RegionStatus_getCode(s) == 7u) {
      // Out of memory: both lists exactly as they were.
      ASSERT_TRUE(injected) << step;
      ++failed;
      expected[a] = before;
      expected[b] = a == b ? before : sourceBefore;
    } else if (RegionStatus_getCode(s) == 900000u) {
      ASSERT_EQ(before.m_items, expected[a].m_items) << step;
    } else {
      ASSERT_FALSE(RegionStatus_isError(s)) << step << ": " << s->m_text;
      // A failed doubling or shrink takes another size; the model follows the list there.
      if (injected) expected[a].m_capacity = target->m_capacity;
    }
    moved += inOwnBlock && target->m_items != reinterpret_cast<uint64_t*>(target + 1);
    for (size_t i : {a, b}) {
      ASSERT_EQ(items(lists[i]), expected[i].m_items) << "step " << step << " list " << i;
      ASSERT_EQ(lists[i]->m_capacity, expected[i].m_capacity) << "step " << step << " list " << i;
      ASSERT_LE(lists[i]->m_count, lists[i]->m_capacity);
      ASSERT_EQ(lists[i]->m_capacity == 0, lists[i]->m_items == nullptr);
    }
  }
  for (StringList*& l : lists) StringList_delete(&l);
  // The history reached what it is about.
  EXPECT_GT(failed, 50);
  EXPECT_GT(moved, 20);
}

TEST(StringList, AnEmptyListTakesASmallCopyWithoutAllocating) {
  Lists keep;
  std::vector<uint64_t> n = ids("spare-", 6);
  StringList* four = keep.add(listOf({n[3], n[0], n[1], n[2]}));
  StringList* five = keep.add(listOf({n[0], n[1], n[2], n[3], n[4]}));
  StringList* small = keep.add(listOf({}, 0));
  RegionMemory_failAfter(0, 1);
  EXPECT_FALSE(RegionStatus_isError(StringList_append(small, four)));
  RegionMemory_failAfter(-1, 0);
  EXPECT_EQ(items(small), (std::vector<uint64_t>{n[3], n[0], n[1], n[2]}));
  EXPECT_EQ(small->m_capacity, 4u);
  // Past that room the copy needs a block, and a list that cannot have one stays empty.
  StringList* large = keep.add(listOf({}, 0));
  RegionMemory_failAfter(0, 1);
  EXPECT_EQ(RegionStatus_getCode(StringList_append(large, five)), 7u);
  RegionMemory_failAfter(-1, 0);
  EXPECT_EQ(large->m_items, nullptr);
  EXPECT_EQ(large->m_capacity, 0u);
  EXPECT_FALSE(RegionStatus_isError(StringList_append(large, five)));
  EXPECT_EQ(items(large), items(five));
  // The small copy grows out of its block with its items.
  EXPECT_FALSE(RegionStatus_isError(StringList_addId(small, n[5])));
  EXPECT_EQ(small->m_capacity, 8u);
  EXPECT_EQ(items(small), (std::vector<uint64_t>{n[3], n[0], n[1], n[2], n[5]}));
  // A list made from ids is one allocation.
  StringList* made = nullptr;
  RegionMemory_failAfter(0, 1);
  EXPECT_EQ(RegionStatus_getCode(StringList_newFromIds(&made, n.data(), 3)), 7u);
  RegionMemory_failAfter(-1, 0);
  EXPECT_EQ(made, nullptr);
  EXPECT_EQ(StringList_reserve(nullptr, 3), 0);
}

TEST(StringList, CreationAndDeletion) {
  StringList* l = nullptr;
  RegionStatus* s = StringList_new(nullptr, 3);
  EXPECT_STREQ(s->m_text, "Invalid object pointer - cannot create new object");
  // The list and its items are one block: its one allocation fails.
  RegionMemory_failAfter(0, 1);
  s = StringList_new(&l, 3);
  EXPECT_STREQ(s->m_text, "Unable to allocate memory for new String List.");
  EXPECT_EQ(l, nullptr);
  EXPECT_EQ(RegionStatus_getCode(StringList_new(&l, UINT64_MAX)), 7u);
  EXPECT_EQ(l, nullptr);
  s = StringList_delete(&l);
  EXPECT_EQ(RegionStatus_getCode(s), 100009u);
  ASSERT_FALSE(RegionStatus_isError(StringList_new(&l, 3)));
  ids("clear-", 2);
  StringList_add(l, "clear-1");
  StringList_add(l, "clear-0");
  StringList_clear(l);
  EXPECT_EQ(l->m_count, 0u);
  EXPECT_EQ(l->m_capacity, 3u);
  EXPECT_FALSE(RegionStatus_isError(StringList_delete(&l)));
  EXPECT_EQ(l, nullptr);
}

} // namespace
