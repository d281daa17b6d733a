// Growable list of dictionary ids with set operations and an iteration cursor: component lists,
// tag lists, reference lists and every list of names the region-atlas library hands out. Ids are
// compared as whole numbers; texts are looked up only when names are handed out.
#ifndef STRING_LIST_H
#define STRING_LIST_H

#include "RegionStatus.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>

enum : uint8_t {
  STRING_LIST_SORTED = 0x1,     // items in ascending order of id
  STRING_LIST_ITERATING = 0x4,  // the cursor holds the position of an iteration
};

// Contents modes: how a list is handed out.
enum : int32_t {
  STRING_LIST_IDS = 1,     // (uint64_t** ids, uint64_t* count): *ids NULL asks for a new array
  STRING_LIST_NAMES = 2,   // (char*** names, uint64_t* count): new copies of the names
  STRING_LIST_COPY = 3,    // (StringList** list): a new list (any other mode means this too)
  STRING_LIST_JOINED = 4,  // (char** text): the names joined by ", "
};

// A list made with StringList_new keeps its first items in its own block, right after these
// fields (m_room of them); m_items points there until the list outgrows it.
struct StringList {
  uint64_t* m_items;   // NULL when the capacity is 0
  uint8_t m_flags;
  uint32_t m_room;     // items the list's own block holds; 0 for a list not made by StringList_new
  uint64_t m_capacity;
  uint64_t m_count;
  uint64_t m_cursor;
};

// Called with each name in turn; an error status ends the walk.
typedef RegionStatus* (*StringListCallback)(const char* name, void* context);

RegionStatus* StringList_new(StringList** list, uint64_t capacity);
RegionStatus* StringList_delete(StringList** list);
int StringList_isValid(const StringList* list, RegionStatus** status);
RegionStatus* StringList_clear(StringList* list);
RegionStatus* StringList_copy(StringList** list, const StringList* source);
RegionStatus* StringList_size(const StringList* list, uint64_t* count);
RegionStatus* StringList_findId(StringList* list, uint64_t id, int* found);
RegionStatus* StringList_find(StringList* list, const char* name, int* found);
RegionStatus* StringList_add(StringList* list, const char* name);
RegionStatus* StringList_addId(StringList* list, uint64_t id);
RegionStatus* StringList_addNames(StringList* list, const char* const* names, uint64_t count);
RegionStatus* StringList_remove(StringList* list, const char* name);
RegionStatus* StringList_removeId(StringList* list, uint64_t id);

// Sorted union into target; a target of capacity 0 becomes a copy of source in source's order.
RegionStatus* StringList_append(StringList* target, const StringList* source);
// Target keeps the ids source also holds; either list empty changes nothing. Sorts both lists.
RegionStatus* StringList_intersect(StringList* target, StringList* source);
RegionStatus* StringList_subtract(StringList* target, const StringList* source);
// Target gets the ids in exactly one of the two; source is left holding its own share.
RegionStatus* StringList_symmetricDifference(StringList* target, StringList* source);
RegionStatus* StringList_sort(StringList* list);
// A new list of count distinct ids in the given order (capacity count).
RegionStatus* StringList_newFromIds(StringList** list, const uint64_t* ids, uint64_t count);
// For the library's own use: room for at least capacity items (exactly capacity when the list
// has to grow), the items kept. 0 when no memory was left; the list is then as it was.
int StringList_reserve(StringList* list, uint64_t capacity);

// Iteration hands out the dictionary's own texts, which the caller must not free.
RegionStatus* StringList_first(StringList* list, const char** name);
RegionStatus* StringList_next(StringList* list, const char** name);
RegionStatus* StringList_last(StringList* list, const char** name);
RegionStatus* StringList_previous(StringList* list, const char** name);
RegionStatus* StringList_iterate(StringList* list, StringListCallback callback, void* context);

// StringList_contents(list, mode, outputs...) with the outputs of the mode (see above).
RegionStatus* StringList_contents(const StringList* list, int32_t mode, ...);
RegionStatus* StringList_vcontents(const StringList* list, int32_t mode, va_list outputs);
RegionStatus* StringList_joined(const StringList* list, char** text);

void StringList_print(const StringList* list, FILE* stream);

#endif
