#include "BitField.h"
#include "HandleManager.h"
#include "HashTable.h"
#include "IntegerMap.h"
#include "Labelling.h"
#include "LinkMap.h"
#include "zyrMemory.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace {

using V = std::vector<int32_t>;

// What a dump function writes, with every pointer replaced by "P" (its text is platform's own).
template <class F> std::string dump(F print) {
  char *buffer = nullptr;
  size_t size = 0;
  FILE *stream = open_memstream(&buffer, &size);
  print(stream);
  std::fclose(stream);
  std::string text(buffer, size);
  std::free(buffer);
  return std::regex_replace(text, std::regex("0x[0-9a-f]+|\\(nil\\)"), "P");
}

IntegerMap *mapOf(const V &values) {
  int32_t *a = zyrMemory_allocateArray<int32_t>(static_cast<int64_t>(values.size()), "test");
  std::copy(values.begin(), values.end(), a);
  return IntegerMap_new(static_cast<int32_t>(values.size()), a);
}

TEST(IntegerMap, LooksUpBothWays) {
  IntegerMap *map = mapOf({3, 5, 9});
  ASSERT_NE(map, nullptr);
  int32_t low, high;
  IntegerMap_getInterval(map, &low, &high);
  EXPECT_EQ(low, 0);
  EXPECT_EQ(high, 2);
  IntegerMap_getRange(map, &low, &high);
  EXPECT_EQ(low, 3);
  EXPECT_EQ(high, 9);
  EXPECT_EQ(IntegerMap_findIndex(map, 9), 2);
  EXPECT_EQ(IntegerMap_findIndex(map, 3), 0);
  EXPECT_EQ(IntegerMap_findIndex(map, 4), -1);
  EXPECT_EQ(IntegerMap_findIndex(map, 10), -1);
  EXPECT_EQ(IntegerMap_findIndex(map, INT_MIN), -1);

  V indices = {0, 2, 3, -1};
  IntegerMap_mapIndices(map, 4, indices.data());
  EXPECT_EQ(indices, V({3, 9, -1, -1}));
  V values = {9, 4, 3, 5};
  EXPECT_EQ(IntegerMap_mapValues(map, 4, values.data()), 4);
  EXPECT_EQ(values, V({2, -1, 0, 1}));

  int32_t size = -1, offset = -1;
  int32_t *inverse = IntegerMap_getInverseMap(map, &size, &offset);
  ASSERT_EQ(size, 7);
  EXPECT_EQ(offset, 3);
  EXPECT_EQ(V(inverse, inverse + 7), V({0, -1, 1, -1, -1, -1, 2}));
  zyrMemory_free(inverse, "test");

  int32_t count;
  EXPECT_EQ(IntegerMap_getValues(map, &count), map->m_values);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(dump([&](FILE *f) { IntegerMap_print(map, f); }),
            "interval = [0, 2]\n"
            "range    = [3, 9]\n"
            "         0 ->          3\n"
            "         1 ->          5\n"
            "         2 ->          9\n");
  IntegerMap_delete(map);
}

TEST(IntegerMap, WideRangesAndBadInput) {
  // max - min + 1 does not fit in 32 bits: refused, no wrap, no huge allocation.
  IntegerMap *map = mapOf({INT_MIN, 0, INT_MAX});
  ASSERT_NE(map, nullptr);
  int32_t size = 5, offset = 0;
  EXPECT_EQ(IntegerMap_getInverseMap(map, &size, &offset), nullptr);
  EXPECT_EQ(size, 0);
  EXPECT_EQ(offset, INT_MIN);
  EXPECT_EQ(IntegerMap_findIndex(map, INT_MAX), 2);
  IntegerMap_delete(map);

  map = mapOf({-5, 1000000}); // sparse: two values over a million slots
  EXPECT_EQ(IntegerMap_getInverseMap(map, &size, &offset), nullptr);
  IntegerMap_delete(map);
  map = mapOf({-5, -4, 7});
  int32_t *inverse = IntegerMap_getInverseMap(map, &size, &offset);
  ASSERT_EQ(size, 13);
  EXPECT_EQ(inverse[12], 2);
  zyrMemory_free(inverse, "test");
  IntegerMap_delete(map);

  int32_t *unsorted = zyrMemory_allocateArray<int32_t>(2, "test");
  unsorted[0] = 2;
  unsorted[1] = 1;
  EXPECT_EQ(IntegerMap_new(2, unsorted), nullptr); // the array stays the caller's
  EXPECT_EQ(IntegerMap_new(0, unsorted), nullptr);
  zyrMemory_free(unsorted, "test");
}

TEST(LinkMap, LinksAreFoundFromEitherEnd) {
  int a, b, c;
  LinkMap *map = LinkMap_new(10);
  EXPECT_EQ(LinkMap_addLink(map, &a, &b, 0), 0);
  EXPECT_EQ(LinkMap_addLink(map, &a, &b, -1), 0);
  EXPECT_EQ(LinkMap_getNoOfLinks(map), 0);
  EXPECT_EQ(LinkMap_addLink(map, &a, &b, 2), 1);
  EXPECT_EQ(LinkMap_findLinkedObject(map, &a, 2), &b);
  EXPECT_EQ(LinkMap_findLinkedObject(map, &b, -2), &a);
  EXPECT_EQ(LinkMap_findLinkedObject(map, &b, 2), nullptr);
  EXPECT_EQ(LinkMap_findLinkedObject(map, &a, 1), nullptr);
  EXPECT_EQ(LinkMap_getNoOfLinks(map), 1);

  // Removal from either end takes both entries.
  EXPECT_EQ(LinkMap_removeLink(map, &b, 2), 1);
  EXPECT_EQ(LinkMap_getNoOfLinks(map), 0);
  EXPECT_EQ(LinkMap_findLinkedObject(map, &a, 2), nullptr);
  EXPECT_EQ(LinkMap_removeLink(map, &b, 2), 0);
  LinkMap_addLink(map, &a, &b, 2);
  EXPECT_EQ(LinkMap_removeLink(map, &a, 2), 1);
  EXPECT_EQ(LinkMap_removeLink(map, &a, 2), 0);
  EXPECT_EQ(LinkMap_removeLink(map, &c, 2), 0);
  EXPECT_EQ(HashTable_getNoOfEntries(map->m_table), 0);
  LinkMap_delete(map);
}

TEST(LinkMap, RemovalTouchesOnlyTheOneLink) {
  // Two regions linked to one mesh under the same type: removing one link must leave the other
  // whole, whichever entry the table finds first.
  int r1, r2, mesh;
  LinkMap *map = LinkMap_new(4);
  LinkMap_addLink(map, &r1, &mesh, 1);
  LinkMap_addLink(map, &r2, &mesh, 1);
  EXPECT_EQ(LinkMap_removeLink(map, &r1, 1), 1);
  EXPECT_EQ(LinkMap_getNoOfLinks(map), 1);
  EXPECT_EQ(LinkMap_findLinkedObject(map, &mesh, -1), &r2);
  EXPECT_EQ(LinkMap_findLinkedObject(map, &r2, 1), &mesh);
  EXPECT_EQ(LinkMap_findLinkedObject(map, &r1, 1), nullptr);
  LinkMap_addLink(map, &r1, &mesh, 1);
  EXPECT_EQ(LinkMap_removeLink(map, &r2, 1), 1); // the older link this time
  EXPECT_EQ(LinkMap_findLinkedObject(map, &mesh, -1), &r1);
  EXPECT_EQ(LinkMap_findLinkedObject(map, &r2, 1), nullptr);
  EXPECT_EQ(LinkMap_getNoOfLinks(map), 1);
  LinkMap_delete(map);

  // Many links through one object, removed in a scrambled order, with the table resizing.
  std::vector<int> objects(300);
  int hub;
  map = LinkMap_new(1);
  for (int &o : objects)
    LinkMap_addLink(map, &o, &hub, 3);
  std::set<const void *> left;
  for (int &o : objects)
    left.insert(&o);
  for (size_t k = 0; k < objects.size(); ++k) {
    int *o = &objects[(k * 7) % objects.size()];
    ASSERT_EQ(LinkMap_removeLink(map, o, 3), 1);
    left.erase(o);
    ASSERT_EQ(LinkMap_getNoOfLinks(map), static_cast<int32_t>(left.size()));
    void *back = LinkMap_findLinkedObject(map, &hub, -3);
    ASSERT_EQ(back == nullptr, left.empty());
    if (back) {
      ASSERT_TRUE(left.count(back));
    }
  }
  LinkMap_delete(map);
}

TEST(LinkMap, ArraysIteratorAndSelections) {
  int a, b, c, d;
  LinkMap *map = LinkMap_new(0);
  void **firsts, **seconds;
  int32_t *types;
  EXPECT_EQ(LinkMap_toArray(map, &firsts, &seconds, &types), 0);
  EXPECT_EQ(firsts, nullptr);
  EXPECT_EQ(types, nullptr);
  LinkMap_addLink(map, &a, &b, 1);
  LinkMap_addLink(map, &c, &d, 2);
  LinkMap_addLink(map, &d, &a, 1);
  ASSERT_EQ(LinkMap_toArray(map, &firsts, &seconds, &types), 3);
  std::set<std::tuple<void *, void *, int>> links;
  for (int i = 0; i < 3; ++i)
    links.emplace(firsts[i], seconds[i], types[i]);
  EXPECT_EQ(links, (std::set<std::tuple<void *, void *, int>>{
                       {&a, &b, 1}, {&c, &d, 2}, {&d, &a, 1}}));

  // The iterator walks the same links in the same order.
  LinkMapIterator *it = LinkMapIterator_new(map);
  int i = 0;
  for (LinkRecord *l = LinkMapIterator_first(it); l != nullptr; l = LinkMapIterator_next(it), ++i) {
    EXPECT_EQ(l->m_object, firsts[i]);
    EXPECT_EQ(l->m_linkedObject, seconds[i]);
    EXPECT_EQ(l->m_type, types[i]);
  }
  EXPECT_EQ(i, 3);
  EXPECT_EQ(LinkMapIterator_next(it), nullptr);
  LinkMapIterator_delete(it);
  zyrMemory_free(firsts, "test");
  zyrMemory_free(seconds, "test");
  zyrMemory_free(types, "test");

  void **found;
  ASSERT_EQ(LinkMap_findObjects(map, 1, 1, &found), 2);
  EXPECT_EQ((std::set<void *>{found[0], found[1]}), (std::set<void *>{&a, &b}));
  zyrMemory_free(found, "test");
  ASSERT_EQ(LinkMap_findObjects(map, 0, 2, &found), 1);
  EXPECT_EQ(found[0], &c);
  zyrMemory_free(found, "test");
  EXPECT_EQ(LinkMap_findObjects(map, 0, 7, &found), 0);
  EXPECT_EQ(found, nullptr);
  EXPECT_EQ(LinkMap_findObjects(map, 0, -1, &found), 0);
  ASSERT_EQ(LinkMap_findObjects(map, 1, 0, &found), 3);
  zyrMemory_free(found, "test");
  LinkMap_delete(map);
}

TEST(Labelling, LabelsAndDump) {
  int x, y;
  Labelling *l = Labelling_new();
  int32_t label = 77;
  EXPECT_EQ(Labelling_getLabel(l, &x, &label), 0);
  EXPECT_EQ(label, 77);
  Labelling_setLabel(l, &x, 4);
  Labelling_setLabel(l, &x, -9);
  EXPECT_EQ(HashTable_getNoOfEntries(l->m_table), 1);
  EXPECT_EQ(Labelling_getLabel(l, &x, &label), 1);
  EXPECT_EQ(label, -9);
  Labelling_setLabel(l, &y, 12);
  EXPECT_EQ(Labelling_removeLabel(l, &y), 1);
  EXPECT_EQ(Labelling_removeLabel(l, &y), 0);
  EXPECT_EQ(Labelling_getLabel(l, &y, &label), 0);

  const std::string rule = "=============================================================";
  const std::string thin = "-------------------------------------------------------------";
  char line[128];
  std::snprintf(line, sizeof line, "P - %50d\n", -9);
  EXPECT_EQ(dump([&](FILE *f) { Labelling_print(l, f); }),
            "\n" + rule + "\nLabelling (P)\n" + rule + "\n\nNo. of entries = 1\n\n" + thin +
                "\nPointer  |                                                 Id\n" + thin + "\n" +
                line + "\n" + rule + "\n\n");
  Labelling_delete(l);
}

TEST(BitField, FlagsAndDump) {
  BitField *f = BitField_new();
  BitField_clearBit(f, 3);
  EXPECT_EQ(BitField_isSet(f, 3), 0);
  BitField_setBit(f, 7);
  BitField_setBit(f, 0);
  EXPECT_EQ(BitField_isSet(f, 7), 128);
  EXPECT_EQ(BitField_isSet(f, 0), 1);
  BitField_setBit(f, 0); // setting twice keeps it set
  BitField_clearBit(f, 7);
  BitField_clearBit(f, 7);
  EXPECT_EQ(BitField_isSet(f, 7), 0);
  BitField_setBit(f, 7);
  EXPECT_EQ(dump([&](FILE *s) { BitField_print(f, s); }), "\nBitField (P): 10000001\n");
  BitField *copy = BitField_copy(f);
  BitField_setAll(f);
  EXPECT_EQ(f->m_flags, 255);
  EXPECT_EQ(copy->m_flags, 129);
  BitField_clearAll(copy);
  EXPECT_EQ(copy->m_flags, 0);
  BitField_delete(copy);
  BitField_delete(f);
}

TEST(BitFieldDeathTest, BitOutOfRangeFailsTheAssertion) {
  BitField field = {0};
  EXPECT_EXIT(BitField_setBit(&field, 8), testing::ExitedWithCode(1), "bit > -1 && bit < 8");
  EXPECT_EXIT(BitField_clearBit(&field, -1), testing::ExitedWithCode(1), "bit > -1 && bit < 8");
  EXPECT_EXIT(BitField_isSet(&field, 99), testing::ExitedWithCode(1), "bit > -1 && bit < 8");
}

TEST(HandleManager, HandlesAreNeverReused) {
  HandleManager *table = HandleManager_new();
  int32_t *active = reinterpret_cast<int32_t *>(table);
  EXPECT_EQ(HandleManager_getAllActiveHandles(table, &active), 0);
  EXPECT_EQ(active, nullptr);
  EXPECT_EQ(HandleManager_getObject(table, 0), nullptr);
  std::vector<int> objects(13);
  for (int i = 0; i < 11; ++i)
    EXPECT_EQ(HandleManager_createHandle(table, &objects[i]), i);
  EXPECT_EQ(table->m_maximumNoOfHandles, 20);
  HandleManager_destroyHandle(table, 4);
  HandleManager_destroyHandle(table, 99); // out of range: nothing
  HandleManager_destroyHandle(table, -1);
  EXPECT_EQ(HandleManager_getObject(table, 4), nullptr);
  EXPECT_EQ(HandleManager_isInRange(table, 4), 1);
  EXPECT_EQ(HandleManager_isValidHandle(table, 4), 0);
  EXPECT_EQ(HandleManager_isValidHandle(table, 5), 1);
  EXPECT_EQ(HandleManager_getObject(table, 5), &objects[5]);
  EXPECT_EQ(HandleManager_createHandle(table, &objects[11]), 11);
  EXPECT_EQ(HandleManager_getObject(table, -1), nullptr);
  EXPECT_EQ(HandleManager_getObject(table, 12), nullptr);
  EXPECT_EQ(HandleManager_isInRange(table, 12), 0);
  ASSERT_EQ(HandleManager_getAllActiveHandles(table, &active), 11);
  EXPECT_EQ(V(active, active + 11), V({0, 1, 2, 3, 5, 6, 7, 8, 9, 10, 11}));
  zyrMemory_free(active, "test");

  // A stale handle keeps failing however many handles follow.
  for (int i = 0; i < 100; ++i)
    HandleManager_createHandle(table, &objects[12]);
  EXPECT_EQ(table->m_noOfHandles, 112);
  EXPECT_EQ(table->m_maximumNoOfHandles, 160);
  EXPECT_EQ(HandleManager_getObject(table, 4), nullptr);
  for (int h = 0; h < 112; ++h)
    HandleManager_destroyHandle(table, h);
  EXPECT_EQ(HandleManager_getAllActiveHandles(table, &active), 0);
  EXPECT_EQ(active, nullptr);
  HandleManager_delete(table);

  table = HandleManager_new();
  HandleManager_createHandle(table, &objects[0]);
  HandleManager_createHandle(table, nullptr);
  const std::string rule = "=============================================================";
  EXPECT_EQ(dump([&](FILE *f) { HandleManager_print(table, f); }),
            "\n" + rule + "\nHandleManager (P)\n" + rule +
                "\n\nm_noOfHandles        = 2\nm_maximumNoOfHandles = 10\n    0 P\n    1 P\n\n" +
                rule + "\n\n");
  HandleManager_delete(table);
}

} // namespace
