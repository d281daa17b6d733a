#ifndef ZYR_SET_H
#define ZYR_SET_H
// A set of pointers kept in an array in the order they were added; members are compared by
// pointer equality. The set never frees what its members point to.
//
// Membership is answered by a scan while the set is short; once it holds more than a few dozen
// members the set keeps a private index of its members beside the array, so that adds, tests and
// removals stay fast for sets of thousands of members. The array, and with it every result and
// every order, is the same either way.
#include <cstdint>
#include <cstdio>

struct SetIndex;

struct Set {
  void **m_items;
  int32_t m_count;
  int32_t m_capacity;
  SetIndex *m_index; // membership index of long sets, NULL while short
};

struct SetIterator {
  const Set *m_set;
  int32_t m_index; // -1 before the first step
};

// capacity must be at least 1 (a smaller value is taken as 1).
Set *Set_new(int32_t capacity);
Set *Set_newCopy(const Set *set);
// The array's distinct pointers in order of first appearance, capacity n; n < 1 gives an empty
// set of capacity 5.
Set *Set_newFromArray(int32_t n, void *const *array);
void Set_delete(Set *set);
void Set_print(const Set *set, FILE *stream);

int32_t Set_getNoOfMembers(const Set *set);
// 1 when added, 0 when already a member.
int Set_add(Set *set, void *item);
// 0 when the capacity is below the count or below 1.
int Set_resize(Set *set, int32_t capacity);
int Set_addSet(Set *set, const Set *other);
int Set_remove(Set *set, const void *item);
int Set_clear(Set *set);
int Set_contains(const Set *set, const void *item);
// Number of members, with a new array of them in order (NULL when empty) owned by the caller.
int32_t Set_toArray(const Set *set, void ***array);

SetIterator *SetIterator_new(const Set *set);
void SetIterator_delete(SetIterator *iterator);
void *SetIterator_first(SetIterator *iterator);
void *SetIterator_next(SetIterator *iterator);

#endif
