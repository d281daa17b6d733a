#include "Set.h"

#include "zyrMemory.h"

#include <cinttypes>
#include <climits>
#include <cstring>

// Membership index of a long set: open addressing with linear probing over a power-of-two slot
// array, holding every member of the set's item array once. NULL marks an empty slot, so a NULL
// member is recorded by a flag of its own. Removal shifts later entries of the probe run back,
// so no tombstones build up.
struct SetIndex {
  void **m_slots;
  uint64_t m_mask;
  int m_shift;
  int64_t m_used;
  int m_hasNull;
};

namespace {

// Sets of up to this many members are scanned; beyond it the index is built.
const int32_t kIndexThreshold = 32;

inline uint64_t slotOf(const SetIndex *index, const void *item) {
  return (static_cast<uint64_t>(reinterpret_cast<uintptr_t>(item)) * UINT64_C(0x9E3779B97F4A7C15)) >>
         index->m_shift;
}

void index_place(SetIndex *index, void *item) {
  uint64_t i = slotOf(index, item);
  while (index->m_slots[i] != nullptr)
    i = (i + 1) & index->m_mask;
  index->m_slots[i] = item;
}

void index_allocate(SetIndex *index, int bits) {
  index->m_slots = zyrMemory_allocateZeroedArray<void *>(INT64_C(1) << bits, "Set_add");
  index->m_mask = (UINT64_C(1) << bits) - 1;
  index->m_shift = 64 - bits;
}

// Room for at least twice the members (load at most one half).
int bitsFor(int64_t members) {
  int bits = 6;
  while ((INT64_C(1) << bits) < 2 * members + 2)
    ++bits;
  return bits;
}

int index_contains(const SetIndex *index, const void *item) {
  if (item == nullptr)
    return index->m_hasNull;
  uint64_t i = slotOf(index, item);
  for (;;) {
    const void *slot = index->m_slots[i];
    if (slot == item)
      return 1;
    if (slot == nullptr)
      return 0;
    i = (i + 1) & index->m_mask;
  }
}

// The caller has checked that the item is not yet in the index.
void index_insert(SetIndex *index, void *item) {
  if (item == nullptr) {
    index->m_hasNull = 1;
    return;
  }
  if (2 * (index->m_used + 1) > static_cast<int64_t>(index->m_mask + 1)) {
    void **old = index->m_slots;
    uint64_t oldSize = index->m_mask + 1;
    index_allocate(index, 64 - index->m_shift + 1);
    for (uint64_t i = 0; i < oldSize; ++i)
      if (old[i] != nullptr)
        index_place(index, old[i]);
    zyrMemory_free(old, "Set_add");
  }
  index_place(index, item);
  ++index->m_used;
}

void index_erase(SetIndex *index, const void *item) {
  if (item == nullptr) {
    index->m_hasNull = 0;
    return;
  }
  uint64_t i = slotOf(index, item);
  while (index->m_slots[i] != item) {
    if (index->m_slots[i] == nullptr)
      return;
    i = (i + 1) & index->m_mask;
  }
  // Backward-shift: move up every later entry of the run whose home slot does not lie
  // cyclically within (hole, its position].
  uint64_t hole = i;
  uint64_t j = i;
  for (;;) {
    j = (j + 1) & index->m_mask;
    void *entry = index->m_slots[j];
    if (entry == nullptr)
      break;
    uint64_t home = slotOf(index, entry);
    if (((j - home) & index->m_mask) >= ((j - hole) & index->m_mask)) {
      index->m_slots[hole] = entry;
      hole = j;
    }
  }
  index->m_slots[hole] = nullptr;
  --index->m_used;
}

SetIndex *index_new(void *const *items, int32_t count) {
  SetIndex *index = zyrMemory_allocateArray<SetIndex>(1, "Set_add");
  index->m_used = 0;
  index->m_hasNull = 0;
  index_allocate(index, bitsFor(count));
  for (int32_t i = 0; i < count; ++i) {
    if (items[i] == nullptr)
      index->m_hasNull = 1;
    else {
      index_place(index, items[i]);
      ++index->m_used;
    }
  }
  return index;
}

void index_delete(SetIndex *index) {
  if (index == nullptr)
    return;
  zyrMemory_free(index->m_slots, "Set_delete");
  zyrMemory_free(index, "Set_delete");
}

int32_t scanFor(const Set *set, const void *item) {
  for (int32_t i = 0; i < set->m_count; ++i)
    if (set->m_items[i] == item)
      return i;
  return -1;
}

int32_t clampCapacity(int64_t capacity) {
  return capacity > INT32_MAX ? INT32_MAX : static_cast<int32_t>(capacity);
}

Set *newEmpty(int32_t capacity, const char *tag) {
  if (capacity < 1)
    capacity = 1;
  Set *set = zyrMemory_allocateArray<Set>(1, tag);
  set->m_items = zyrMemory_allocateArray<void *>(capacity, tag);
  set->m_count = 0;
  set->m_capacity = capacity;
  set->m_index = nullptr;
  return set;
}

void appendMember(Set *set, void *item) {
  if (set->m_count == set->m_capacity)
    Set_resize(set, clampCapacity(2 * static_cast<int64_t>(set->m_capacity)));
  set->m_items[set->m_count++] = item;
  if (set->m_index != nullptr)
    index_insert(set->m_index, item);
  else if (set->m_count > kIndexThreshold)
    set->m_index = index_new(set->m_items, set->m_count);
}

} // namespace

Set *Set_new(int32_t capacity) { return newEmpty(capacity, __func__); }

Set *Set_newCopy(const Set *set) {
  Set *copy = newEmpty(set->m_capacity, __func__);
  if (set->m_count > 0)
    std::memcpy(copy->m_items, set->m_items, sizeof(void *) * static_cast<size_t>(set->m_count));
  copy->m_count = set->m_count;
  if (copy->m_count > kIndexThreshold)
    copy->m_index = index_new(copy->m_items, copy->m_count);
  return copy;
}

Set *Set_newFromArray(int32_t n, void *const *array) {
  if (n < 1 || array == nullptr)
    return newEmpty(n < 1 ? 5 : n, __func__);
  Set *set = newEmpty(n, __func__);
  for (int32_t i = 0; i < n; ++i)
    Set_add(set, array[i]);
  return set;
}

void Set_delete(Set *set) {
  if (set == nullptr)
    return;
  index_delete(set->m_index);
  zyrMemory_free(set->m_items, __func__);
  zyrMemory_free(set, __func__);
}

void Set_print(const Set *set, FILE *stream) {
  std::fprintf(stream, "Set (%p)\n", static_cast<const void *>(set));
  std::fprintf(stream, "m_count    = %d\n", set->m_count);
  std::fprintf(stream, "m_capacity = %d\n", set->m_capacity);
  for (int32_t i = 0; i < set->m_count; ++i)
    std::fprintf(stream, "m_items[%d] = %p\n", i, set->m_items[i]);
}

int32_t Set_getNoOfMembers(const Set *set) { return set->m_count; }

int Set_add(Set *set, void *item) {
  if (Set_contains(set, item))
    return 0;
  appendMember(set, item);
  return 1;
}

int Set_resize(Set *set, int32_t capacity) {
  if (capacity < set->m_count || capacity < 1)
    return 0;
  set->m_items = zyrMemory_reallocateArray<void *>(set->m_items, capacity, __func__);
  set->m_capacity = capacity;
  return 1;
}

int Set_addSet(Set *set, const Set *other) {
  int64_t together = static_cast<int64_t>(set->m_count) + other->m_count;
  if (together >= set->m_capacity)
    Set_resize(set, clampCapacity(together * 3 / 2));
  // Adding a set to itself adds nothing; the count is fixed first so the walk stays bounded.
  const int32_t n = other->m_count;
  for (int32_t i = 0; i < n; ++i)
    Set_add(set, other->m_items[i]);
  return 1;
}

int Set_remove(Set *set, const void *item) {
  if (set->m_index != nullptr && !index_contains(set->m_index, item))
    return 0;
  int32_t at = scanFor(set, item);
  if (at < 0)
    return 0;
  std::memmove(set->m_items + at, set->m_items + at + 1, sizeof(void *) * static_cast<size_t>(set->m_count - at - 1));
  --set->m_count;
  if (set->m_index != nullptr)
    index_erase(set->m_index, item);
  return 1;
}

int Set_clear(Set *set) {
  set->m_count = 0;
  index_delete(set->m_index);
  set->m_index = nullptr;
  return 1;
}

int Set_contains(const Set *set, const void *item) {
  if (set->m_index != nullptr)
    return index_contains(set->m_index, item);
  return scanFor(set, item) >= 0 ? 1 : 0;
}

int32_t Set_toArray(const Set *set, void ***array) {
  if (set->m_count < 1) {
    *array = nullptr;
    return 0;
  }
  *array = zyrMemory_allocateArray<void *>(set->m_count, __func__);
  std::memcpy(*array, set->m_items, sizeof(void *) * static_cast<size_t>(set->m_count));
  return set->m_count;
}

SetIterator *SetIterator_new(const Set *set) {
  SetIterator *iterator = zyrMemory_allocateArray<SetIterator>(1, __func__);
  iterator->m_set = set;
  iterator->m_index = -1;
  return iterator;
}

void SetIterator_delete(SetIterator *iterator) { zyrMemory_free(iterator, __func__); }

void *SetIterator_first(SetIterator *iterator) {
  iterator->m_index = 0;
  if (iterator->m_set->m_count < 1)
    return nullptr;
  return iterator->m_set->m_items[0];
}

void *SetIterator_next(SetIterator *iterator) {
  const Set *set = iterator->m_set;
  if (iterator->m_index + 1 >= set->m_count) {
    iterator->m_index = set->m_count;
    return nullptr;
  }
  return set->m_items[++iterator->m_index];
}
