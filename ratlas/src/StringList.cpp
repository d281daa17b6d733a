#include "StringList.h"

#include "RegionMemory.h"
#include "RegionPool.h"
#include "RegionName.h"
#include "RegionNameDictionary.h"

#include <algorithm>
#include <cinttypes>
#include <cstring>

namespace {

const char* const kTypeWord = "String List";

char s_message[REGION_MESSAGE_SIZE];

RegionStatus* invalidList() { return RegionStatus_failf(s_message, sizeof(s_message), RS_INVALID_STRING_LIST, "Invalid %s.", kTypeWord); }

bool isSorted(const StringList* list) { return (list->m_flags & STRING_LIST_SORTED) != 0; }

// Position of an id without touching the cursor.
bool locate(const StringList* list, uint64_t id, uint64_t* position) {
  if (list->m_count == 0) return false;
  if (isSorted(list)) return RegionId_bsearch(list->m_items, list->m_count, id, position) == 1;
  for (uint64_t i = 0; i < list->m_count; ++i) {
    if (list->m_items[i] == id) {
      *position = i;
      return true;
    }
  }
  return false;
}

bool contains(const StringList* list, uint64_t id) {
  uint64_t position = 0;
  return locate(list, id, &position);
}

// The room counter sits in the padding after the flags: the other fields keep their places.
static_assert(sizeof(StringList) == 5 * sizeof(uint64_t), "the room counter lives in the padding after the flags");

// Room a list made with capacity 0 keeps in its own block: enough for what most resolutions and
// copies put into such a list, so that filling it needs no second block.
const uint32_t kSpareRoom = 4;

uint64_t* ownItems(StringList* list) { return reinterpret_cast<uint64_t*>(list + 1); }

// Bytes of a list's own block: its fields and room for `room` items.
size_t blockBytes(uint64_t room) { return sizeof(StringList) + size_t(room) * sizeof(uint64_t); }

// Sets the capacity, keeping the items: in the list's own block while they fit there and have
// not left it, otherwise in a block of their own.
bool resize(StringList* list, uint64_t capacity) {
  uint64_t* own = ownItems(list);
  bool inOwnBlock = list->m_items == own;
  if ((inOwnBlock || !list->m_items) && capacity <= list->m_room) {
    list->m_items = own;
    list->m_capacity = capacity;
    return true;
  }
  void* items = nullptr;
  if (inOwnBlock) {
    items = RegionMemory_allocArray(capacity, sizeof(uint64_t));
    if (items) memcpy(items, own, std::min(list->m_count, capacity) * sizeof(uint64_t));
  } else {
    items = RegionMemory_reallocArray(list->m_items, capacity, sizeof(uint64_t));
  }
  if (!items) return false;
  list->m_items = static_cast<uint64_t*>(items);
  list->m_capacity = capacity;
  return true;
}

// Room for one more item: doubling (10 from nothing), or one slot more when doubling fails.
bool makeRoom(StringList* list) {
  if (list->m_count < list->m_capacity) return true;
  uint64_t capacity = list->m_capacity == 0 ? 10 : list->m_capacity * 2;
  if (capacity > list->m_capacity && resize(list, capacity)) return true;
  return list->m_capacity > 0 && resize(list, list->m_capacity + 1);
}

bool reserveExactly(StringList* list, uint64_t capacity) { return list->m_capacity >= capacity || resize(list, capacity); }

// Ids in ascending order. Most lists hold a handful of ids, for which a plain insertion sort
// is quicker than setting up the general one.
void sortIds(uint64_t* items, uint64_t count) {
  if (count > 16) {
    std::sort(items, items + count);
    return;
  }
  for (uint64_t i = 1; i < count; ++i) {
    uint64_t id = items[i], j = i;
    for (; j > 0 && items[j - 1] > id; --j) items[j] = items[j - 1];
    items[j] = id;
  }
}

void sortUnique(StringList* list) {
  uint64_t* begin = list->m_items;
  if (!isSorted(list)) sortIds(begin, list->m_count);
  list->m_count = uint64_t(std::unique(begin, begin + list->m_count) - begin);
  list->m_flags |= STRING_LIST_SORTED;
}

void removeAt(StringList* list, uint64_t position) {
  memmove(list->m_items + position, list->m_items + position + 1, (list->m_count - position - 1) * sizeof(uint64_t));
  list->m_count -= 1;
  // The cursor steps back so that the next step lands on the item after the removed one.
  list->m_cursor = position;
  if (list->m_cursor == 0) list->m_flags &= uint8_t(~STRING_LIST_ITERATING);
  else list->m_cursor -= 1;
  // Shrinking is a courtesy: a list that cannot shrink keeps its room.
  if (list->m_count >= 1 && (list->m_capacity < 1000 || list->m_capacity - list->m_count >= 1000))
    resize(list, list->m_count);
}

RegionStatus* nameAt(const StringList* list, uint64_t position, const char** name) {
  return RegionNameDictionary_name(list->m_items[position], name);
}

// A view of a saved item array, for use as the source of a set operation.
StringList viewOf(uint64_t* items, uint64_t count, uint8_t flags) {
  StringList view;
  view.m_items = items;
  view.m_flags = flags;
  view.m_room = 0;
  view.m_capacity = count;
  view.m_count = count;
  view.m_cursor = 0;
  return view;
}

uint64_t* saveItems(const StringList* list) {
  uint64_t* copy = static_cast<uint64_t*>(RegionMemory_allocArray(list->m_count, sizeof(uint64_t)));
  if (copy && list->m_count) memcpy(copy, list->m_items, list->m_count * sizeof(uint64_t));
  return copy;
}

void restoreItems(StringList* list, const uint64_t* items, uint64_t count, uint8_t flags) {
  if (count) memcpy(list->m_items, items, count * sizeof(uint64_t));
  list->m_count = count;
  list->m_flags = flags;
}

char* join(const StringList* list, RegionStatus** status) {
  size_t length = 0;
  for (uint64_t i = 0; i < list->m_count; ++i) {
    const char* name = nullptr;
    RegionStatus* s = nameAt(list, i, &name);
    if (RegionStatus_isError(s)) {
      *status = s;
      return nullptr;
    }
    length += strlen(name) + (i ? 2 : 0);
  }
  char* text = static_cast<char*>(RegionMemory_alloc(length + 1));
  if (!text) {
    *status = RegionStatus_outOfMemory("contents");
    return nullptr;
  }
  char* p = text;
  for (uint64_t i = 0; i < list->m_count; ++i) {
    const char* name = nullptr;
    nameAt(list, i, &name);
    if (i) {
      memcpy(p, ", ", 2);
      p += 2;
    }
    size_t n = strlen(name);
    memcpy(p, name, n);
    p += n;
  }
  *p = '\0';
  return text;
}

} // namespace

RegionStatus* StringList_new(StringList** list, uint64_t capacity) {
  if (!list) return RegionStatus_fail(RS_BAD_POINTER, "Invalid object pointer - cannot create new object");
  *list = nullptr;
  // One block: the fields and then the items (a few spare slots when no capacity is asked for).
  uint64_t room = capacity > 0 ? capacity : kSpareRoom;
  if (room > (SIZE_MAX - sizeof(StringList)) / sizeof(uint64_t)) return RegionStatus_outOfMemory(kTypeWord);
  StringList* l = static_cast<StringList*>(RegionPool_alloc(blockBytes(room)));
  if (!l) return RegionStatus_outOfMemory(kTypeWord);
  l->m_items = capacity > 0 ? ownItems(l) : nullptr;
  l->m_room = uint32_t(std::min<uint64_t>(room, UINT32_MAX));
  l->m_flags = 0;
  l->m_capacity = capacity;
  l->m_count = 0;
  l->m_cursor = 0;
  *list = l;
  return RegionStatus_success();
}

RegionStatus* StringList_delete(StringList** list) {
  if (!list || !*list) return invalidList();
  if ((*list)->m_items != ownItems(*list)) RegionMemory_free((*list)->m_items);
  RegionPool_free(*list, blockBytes((*list)->m_room));
  *list = nullptr;
  return RegionStatus_success();
}

int StringList_isValid(const StringList* list, RegionStatus** status) {
  RegionStatus_set(status, 0, 0, nullptr);
  if (list) return 1;
  RegionStatus* s = invalidList();
  if (status) *status = s;
  return 0;
}

RegionStatus* StringList_clear(StringList* list) {
  if (!list) return invalidList();
  list->m_count = 0;
  return RegionStatus_success();
}

RegionStatus* StringList_copy(StringList** list, const StringList* source) {
  if (!list) return RegionStatus_fail(RS_BAD_POINTER, "Invalid object pointer - cannot create new object");
  *list = nullptr;
  if (!source) return invalidList();
  StringList* copy = nullptr;
  RegionStatus* status = StringList_new(&copy, source->m_count);
  if (RegionStatus_isError(status)) return status;
  status = StringList_append(copy, source);
  if (RegionStatus_isError(status)) {
    StringList_delete(&copy);
    return status;
  }
  *list = copy;
  return RegionStatus_success();
}

RegionStatus* StringList_size(const StringList* list, uint64_t* count) {
  if (!count) return RegionStatus_fail(RS_BAD_POINTER, "Invalid object pointer - cannot return size of list");
  *count = 0;
  if (!list) return invalidList();
  *count = list->m_count;
  return RegionStatus_success();
}

RegionStatus* StringList_findId(StringList* list, uint64_t id, int* found) {
  if (!found) return RegionStatus_fail(RS_BAD_POINTER, "Invalid object pointer - cannot return result");
  *found = 0;
  uint64_t position = 0;
  if (list && locate(list, id, &position)) {
    *found = 1;
    list->m_cursor = position;
  }
  return RegionStatus_success();
}

RegionStatus* StringList_find(StringList* list, const char* name, int* found) {
  if (!found) return RegionStatus_fail(RS_BAD_POINTER, "Invalid object pointer - cannot return result");
  *found = 0;
  RegionStatus* status = nullptr;
  if (RegionName_isBlank(name, &status)) return status;
  uint64_t id = 0;
  if (RegionStatus_isError(RegionNameDictionary_lookup(name, &id))) return RegionStatus_success();
  return StringList_findId(list, id, found);
}

RegionStatus* StringList_add(StringList* list, const char* name) {
  if (!list) return invalidList();
  RegionStatus* status = nullptr;
  if (RegionName_isBlank(name, &status)) return status;
  uint64_t id = 0;
  status = RegionNameDictionary_add(name, &id);
  if (RegionStatus_isError(status)) return status;
  return StringList_addId(list, id);
}

RegionStatus* StringList_addId(StringList* list, uint64_t id) {
  if (!list) return invalidList();
  RegionStatus* status = RegionNameDictionary_name(id, nullptr);
  if (RegionStatus_isError(status)) return status;
  if (contains(list, id)) return RegionStatus_success();
  if (!makeRoom(list)) return RegionStatus_outOfMemory(kTypeWord);
  if (list->m_count == 0) {
    list->m_flags |= STRING_LIST_SORTED;
    list->m_flags &= uint8_t(~STRING_LIST_ITERATING);
  } else if (isSorted(list) && id < list->m_items[list->m_count - 1]) {
    list->m_flags &= uint8_t(~(STRING_LIST_SORTED | STRING_LIST_ITERATING));
  }
  list->m_items[list->m_count] = id;
  list->m_count += 1;
  return RegionStatus_success();
}

RegionStatus* StringList_addNames(StringList* list, const char* const* names, uint64_t count) {
  if (!list) return invalidList();
  if (count > 0 && !names) return RegionStatus_fail(RS_BAD_POINTER, "Invalid object pointer supplied");
  for (uint64_t i = 0; i < count; ++i) {
    RegionStatus* status = StringList_add(list, names[i]);
    if (RegionStatus_isError(status)) return status;
  }
  return RegionStatus_success();
}

RegionStatus* StringList_remove(StringList* list, const char* name) {
  if (!list) return invalidList();
  RegionStatus* status = nullptr;
  if (RegionName_isBlank(name, &status)) return status;
  uint64_t id = 0, position = 0;
  if (RegionStatus_isError(RegionNameDictionary_lookup(name, &id)) || !locate(list, id, &position))
    return RegionStatus_failf(s_message, sizeof(s_message), RS_NOT_IN_LIST, "String \"%s\" is not in the list", name);
  removeAt(list, position);
  return RegionStatus_success();
}

RegionStatus* StringList_removeId(StringList* list, uint64_t id) {
  if (!list) return invalidList();
  uint64_t position = 0;
  if (!locate(list, id, &position)) {
    const char* name = nullptr;
    RegionNameDictionary_name(id, &name);
    return RegionStatus_failf(s_message, sizeof(s_message), RS_NOT_IN_LIST, "String \"%s\" is not in the list",
                              name ? name : "");
  }
  removeAt(list, position);
  return RegionStatus_success();
}

RegionStatus* StringList_append(StringList* target, const StringList* source) {
  if (!target || !source) return invalidList();
  if (source->m_count == 0) return RegionStatus_success();
  if (target == source) {
    sortUnique(target);
    return RegionStatus_success();
  }
  if (target->m_capacity == 0) {
    if (!resize(target, source->m_count)) return RegionStatus_outOfMemory(kTypeWord);
    memcpy(target->m_items, source->m_items, source->m_count * sizeof(uint64_t));
    target->m_count = source->m_count;
    target->m_flags = uint8_t((target->m_flags & ~STRING_LIST_SORTED) | (source->m_flags & STRING_LIST_SORTED));
    return RegionStatus_success();
  }
  uint64_t n = target->m_count, m = source->m_count;
  if (n > UINT64_MAX - m || !reserveExactly(target, n + m)) return RegionStatus_outOfMemory(kTypeWord);
  uint64_t* t = target->m_items;
  const uint64_t* s = source->m_items;
  if (isSorted(target) && isSorted(source)) {
    // Both in order: merge from the back, in place.
    uint64_t i = n, j = m, k = n + m;
    while (j > 0) {
      if (i > 0 && t[i - 1] > s[j - 1]) t[--k] = t[--i];
      else t[--k] = s[--j];
    }
    target->m_count = n + m;
  } else {
    memcpy(t + n, s, m * sizeof(uint64_t));
    target->m_count = n + m;
    target->m_flags &= uint8_t(~STRING_LIST_SORTED);
  }
  sortUnique(target);
  return RegionStatus_success();
}

RegionStatus* StringList_sort(StringList* list) {
  if (!list) return invalidList();
  if (!isSorted(list)) {
    if (list->m_count > 1) sortIds(list->m_items, list->m_count);
    list->m_flags |= STRING_LIST_SORTED;
  }
  return RegionStatus_success();
}

RegionStatus* StringList_intersect(StringList* target, StringList* source) {
  if (!target || !source) return invalidList();
  if (target->m_count == 0 || source->m_count == 0) return RegionStatus_success();
  StringList_sort(target);
  StringList_sort(source);
  if (target == source) return RegionStatus_success();
  uint64_t kept = 0, j = 0;
  for (uint64_t i = 0; i < target->m_count; ++i) {
    uint64_t id = target->m_items[i];
    while (j < source->m_count && source->m_items[j] < id) ++j;
    if (j < source->m_count && source->m_items[j] == id) target->m_items[kept++] = id;
  }
  target->m_count = kept;
  return RegionStatus_success();
}

RegionStatus* StringList_subtract(StringList* target, const StringList* source) {
  if (!target || !source) return invalidList();
  if (target->m_count == 0 || source->m_count == 0) return RegionStatus_success();
  if (target == source) {
    target->m_count = 0;
    return RegionStatus_success();
  }
  // An unsorted source is searched through a sorted copy; the verdicts are the same.
  uint64_t* sorted = nullptr;
  const uint64_t* ids = source->m_items;
  if (!isSorted(source)) {
    sorted = saveItems(source);
    if (!sorted) return RegionStatus_outOfMemory(kTypeWord);
    std::sort(sorted, sorted + source->m_count);
    ids = sorted;
  }
  uint64_t kept = 0;
  for (uint64_t i = 0; i < target->m_count; ++i) {
    uint64_t id = target->m_items[i];
    if (!RegionId_bsearch(ids, source->m_count, id, nullptr)) target->m_items[kept++] = id;
  }
  target->m_count = kept;
  RegionMemory_free(sorted);
  return RegionStatus_success();
}

RegionStatus* StringList_symmetricDifference(StringList* target, StringList* source) {
  if (!target || !source) return invalidList();
  if (target == source) {
    target->m_count = 0;
    return RegionStatus_success();
  }
  uint64_t targetCount = target->m_count, sourceCount = source->m_count;
  uint8_t targetFlags = target->m_flags, sourceFlags = source->m_flags;
  uint64_t* targetItems = saveItems(target);
  uint64_t* sourceItems = targetItems ? saveItems(source) : nullptr;
  if (!targetItems || !sourceItems) {
    RegionMemory_free(targetItems);
    return RegionStatus_outOfMemory(kTypeWord);
  }
  StringList before = viewOf(targetItems, targetCount, targetFlags);
  RegionStatus* status = StringList_subtract(target, source);
  if (!RegionStatus_isError(status)) status = StringList_subtract(source, &before);
  if (!RegionStatus_isError(status)) status = StringList_append(target, source);
  if (RegionStatus_isError(status)) {
    restoreItems(target, targetItems, targetCount, targetFlags);
    restoreItems(source, sourceItems, sourceCount, sourceFlags);
  }
  RegionMemory_free(targetItems);
  RegionMemory_free(sourceItems);
  return status;
}

RegionStatus* StringList_first(StringList* list, const char** name) {
  if (!name) return RegionStatus_fail(RS_BAD_POINTER, "Invalid object pointer - cannot return first in list");
  if (!list) return invalidList();
  if (list->m_count == 0) return RegionStatus_fail(RS_END_OF_LIST, "StringList is empty - cannot go to first string");
  list->m_cursor = 0;
  list->m_flags |= STRING_LIST_ITERATING;
  return nameAt(list, 0, name);
}

RegionStatus* StringList_next(StringList* list, const char** name) {
  if (!name) return RegionStatus_fail(RS_BAD_POINTER, "Invalid object pointer - cannot return next in list");
  if (!list) return invalidList();
  if (!(list->m_flags & STRING_LIST_ITERATING)) return StringList_first(list, name);
  if (list->m_count == 0 || list->m_cursor + 1 >= list->m_count)
    return RegionStatus_fail(RS_END_OF_LIST, "No more strings in list");
  list->m_cursor += 1;
  return nameAt(list, list->m_cursor, name);
}

RegionStatus* StringList_last(StringList* list, const char** name) {
  if (!name) return RegionStatus_fail(RS_BAD_POINTER, "Invalid object pointer - cannot return last in list");
  if (!list) return invalidList();
  if (list->m_count == 0) return RegionStatus_fail(RS_LIST_EMPTY, "P_List is empty - cannot go to last string");
  list->m_cursor = list->m_count - 1;
  list->m_flags |= STRING_LIST_ITERATING;
  return nameAt(list, list->m_cursor, name);
}

RegionStatus* StringList_previous(StringList* list, const char** name) {
  if (!name) return RegionStatus_fail(RS_BAD_POINTER, "Invalid object pointer - cannot return previous in list");
  if (!list) return invalidList();
  if (!(list->m_flags & STRING_LIST_ITERATING)) return StringList_last(list, name);
  // A cursor left beyond a list that has since shrunk has nothing before it to show.
  if (list->m_cursor == 0 || list->m_cursor > list->m_count)
    return RegionStatus_fail(RS_END_OF_LIST, "No more strings in list");
  list->m_cursor -= 1;
  return nameAt(list, list->m_cursor, name);
}

RegionStatus* StringList_iterate(StringList* list, StringListCallback callback, void* context) {
  if (!list) return invalidList();
  if (!callback) return RegionStatus_fail(RS_BAD_CALL, "Iterate Function not supplied.");
  const char* name = nullptr;
  RegionStatus* status = StringList_first(list, &name);
  while (!RegionStatus_isError(status)) {
    status = callback(name, context);
    if (RegionStatus_isError(status)) return status;
    status = StringList_next(list, &name);
  }
  return RegionStatus_getCode(status) == RS_END_OF_LIST ? RegionStatus_success() : status;
}

RegionStatus* StringList_vcontents(const StringList* list, int32_t mode, va_list outputs) {
  const char* const missing = "Unable to return list of names";
  if (mode == STRING_LIST_IDS) {
    uint64_t** ids = va_arg(outputs, uint64_t**);
    uint64_t* count = va_arg(outputs, uint64_t*);
    if (!ids || !count) return RegionStatus_fail(RS_BAD_POINTER, missing);
    *count = 0;
    if (!list || list->m_count == 0) {
      return RegionStatus_success();
    }
    if (!*ids) {
      *ids = saveItems(list);
      if (!*ids) return RegionStatus_outOfMemory("contents");
    } else {
      memcpy(*ids, list->m_items, list->m_count * sizeof(uint64_t));
    }
    *count = list->m_count;
    return RegionStatus_success();
  }
  if (mode == STRING_LIST_NAMES) {
    char*** names = va_arg(outputs, char***);
    uint64_t* count = va_arg(outputs, uint64_t*);
    if (!names || !count) return RegionStatus_fail(RS_BAD_POINTER, missing);
    *names = nullptr;
    *count = 0;
    if (!list || list->m_count == 0) return RegionStatus_success();
    char** array = static_cast<char**>(RegionMemory_allocArray(list->m_count, sizeof(char*)));
    if (!array) return RegionStatus_outOfMemory("contents");
    for (uint64_t i = 0; i < list->m_count; ++i) {
      const char* name = nullptr;
      RegionStatus* status = nameAt(list, i, &name);
      array[i] = RegionStatus_isError(status) ? nullptr : RegionMemory_strdup(name);
      if (!array[i]) {
        for (uint64_t k = 0; k < i; ++k) RegionMemory_free(array[k]);
        RegionMemory_free(array);
        return RegionStatus_isError(status) ? status : RegionStatus_outOfMemory("contents");
      }
    }
    *names = array;
    *count = list->m_count;
    return RegionStatus_success();
  }
  if (mode == STRING_LIST_JOINED) {
    char** text = va_arg(outputs, char**);
    if (!text) return RegionStatus_fail(RS_BAD_POINTER, missing);
    *text = nullptr;
    if (!list || list->m_count == 0) return RegionStatus_success();
    RegionStatus* status = RegionStatus_success();
    *text = join(list, &status);
    return status;
  }
  StringList** copy = va_arg(outputs, StringList**);
  if (!copy) return RegionStatus_fail(RS_BAD_POINTER, missing);
  *copy = nullptr;
  if (!list) return RegionStatus_success();
  RegionStatus* status = StringList_copy(copy, list);
  return RegionStatus_getCode(status) == RS_NO_MEMORY ? RegionStatus_outOfMemory("contents") : status;
}

RegionStatus* StringList_contents(const StringList* list, int32_t mode, ...) {
  va_list outputs;
  va_start(outputs, mode);
  RegionStatus* status = StringList_vcontents(list, mode, outputs);
  va_end(outputs);
  return status;
}

RegionStatus* StringList_joined(const StringList* list, char** text) { return StringList_contents(list, STRING_LIST_JOINED, text); }

void StringList_print(const StringList* list, FILE* stream) {
  if (!stream) return;
  if (!list) {
    fputs("String List: none\n", stream);
    return;
  }
  fprintf(stream, "String List (%" PRIu64 " of %" PRIu64 "%s):", list->m_count, list->m_capacity,
          isSorted(list) ? ", sorted" : "");
  for (uint64_t i = 0; i < list->m_count; ++i) {
    const char* name = nullptr;
    RegionNameDictionary_name(list->m_items[i], &name);
    fprintf(stream, "%s %s", i ? "," : "", name ? name : "?");
  }
  fputc('\n', stream);
}

RegionStatus* StringList_newFromIds(StringList** list, const uint64_t* ids, uint64_t count) {
  if (!list) return RegionStatus_fail(RS_BAD_POINTER, "Invalid object pointer - cannot create new object");
  *list = nullptr;
  if (count > 0 && !ids) return RegionStatus_fail(RS_BAD_POINTER, "Invalid object pointer supplied");
  StringList* l = nullptr;
  RegionStatus* status = StringList_new(&l, count);
  if (RegionStatus_isError(status)) return status;
  // Copied and checked for order in one pass (a call to memcpy costs more for a few ids).
  bool sorted = true;
  for (uint64_t i = 0; i < count; ++i) {
    l->m_items[i] = ids[i];
    if (i > 0 && ids[i] < ids[i - 1]) sorted = false;
  }
  l->m_count = count;
  if (sorted) l->m_flags |= STRING_LIST_SORTED;
  *list = l;
  return RegionStatus_success();
}

int StringList_reserve(StringList* list, uint64_t capacity) {
  if (!list) return 0;
  return reserveExactly(list, capacity) ? 1 : 0;
}
