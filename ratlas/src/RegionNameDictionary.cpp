#include "RegionNameDictionary.h"

#include "RegionMemory.h"
#include "RegionName.h"

#include <cinttypes>
#include <cstring>

namespace {

const uint64_t kFirstCapacity = 10023;

RegionNameDictionary* s_dictionary = nullptr;

// Each name is kept in a block of its own, its id in front of its text. The table holds the
// texts, which never move when the slot array does, so growing the array never invalidates the
// table and there is no rebuild that could fail half way.
const size_t kHeader = sizeof(uint64_t);

char* newEntry(const char* name, uint64_t id) {
  size_t n = strlen(name) + 1;
  char* block = static_cast<char*>(RegionMemory_alloc(kHeader + n));
  if (!block) return nullptr;
  memcpy(block, &id, kHeader);
  memcpy(block + kHeader, name, n);
  return block + kHeader;
}

uint64_t entryId(const char* text) {
  uint64_t id;
  memcpy(&id, text - kHeader, kHeader);
  return id;
}

void freeEntry(char* text) {
  if (text) RegionMemory_free(text - kHeader);
}

int compareTexts(const void* a, const void* b) {
  int c = strcmp(static_cast<const char*>(a), static_cast<const char*>(b));
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

// Searches go through a quick text hash (the table's index); the bucket hash, a remainder per
// character, then only places new names.
void indexTexts(RegionHashTable* table) { RegionHashTable_setKey(table, RegionHashTable_textKey, 0); }

RegionHashTable* newTable(uint64_t buckets) {
  RegionHashTable* table = nullptr;
  RegionHashTable_new(&table, buckets, RegionNameDictionary_hash, compareTexts);
  return table;
}

bool create() {
  RegionNameDictionary* d = static_cast<RegionNameDictionary*>(RegionMemory_alloc(sizeof(RegionNameDictionary)));
  if (!d) return false;
  d->m_names = static_cast<char**>(RegionMemory_allocZeroed(kFirstCapacity, sizeof(char*)));
  d->m_table = d->m_names ? newTable(kFirstCapacity) : nullptr;
  if (d->m_table) indexTexts(d->m_table);
  if (!d->m_table) {
    RegionMemory_free(d->m_names);
    RegionMemory_free(d);
    return false;
  }
  d->m_capacity = kFirstCapacity;
  d->m_count = 0;
  s_dictionary = d;
  return true;
}

// A larger table for a dictionary that has outgrown its buckets; keeps the old one when a new
// one cannot be had, since the old one is still right.
void widenTable(RegionNameDictionary* d) {
  if (d->m_table->m_size >= d->m_capacity / 2) return;
  RegionHashTable* table = newTable(d->m_capacity);
  if (!table) return;
  for (uint64_t i = 0; i < d->m_count; ++i) {
    if (RegionStatus_isError(RegionHashTable_insert(table, d->m_names[i]))) {
      RegionHashTable_delete(&table);
      return;
    }
  }
  indexTexts(table);  // once, for all the names
  RegionHashTable_delete(&d->m_table);
  d->m_table = table;
}

// 10023, 20046, then 1024 more slots at a time.
bool grow(RegionNameDictionary* d) {
  uint64_t capacity = d->m_capacity < 10024 ? d->m_capacity * 2 : d->m_capacity + 1024;
  char** names = static_cast<char**>(RegionMemory_reallocArray(d->m_names, capacity, sizeof(char*)));
  if (!names) return false;
  memset(names + d->m_capacity, 0, (capacity - d->m_capacity) * sizeof(char*));
  d->m_names = names;
  d->m_capacity = capacity;
  widenTable(d);
  return true;
}

} // namespace

namespace {

// n % d by a multiplication with m = UINT64_MAX / d: the quotient it gives is short by at most
// two, which the subtractions make good. Two divisions a character were most of entering a name.
uint64_t remainderBy(uint64_t n, uint64_t d, uint64_t m) {
  uint64_t r = n - static_cast<uint64_t>((static_cast<unsigned __int128>(n) * m) >> 64) * d;
  while (r >= d) r -= d;
  return r;
}

} // namespace

uint64_t RegionNameDictionary_hash(uint64_t size, const void* text) {
  if (size < 2) return 0;
  const uint64_t bySize = UINT64_MAX / size, byLess1 = UINT64_MAX / (size - 1);
  uint64_t h = 0, a = 31415;
  for (const char* p = static_cast<const char*>(text); *p; ++p) {
    uint64_t c = static_cast<uint64_t>(static_cast<int64_t>(static_cast<signed char>(*p)));
    h = remainderBy(a * h + c, size, bySize);
    a = remainderBy(a * 27183, size - 1, byLess1);
  }
  return h;
}

RegionStatus* RegionNameDictionary_add(const char* name, uint64_t* id) {
  RegionStatus* status = nullptr;
  if (RegionName_isBlank(name, &status)) return status;
  if ((!s_dictionary || s_dictionary->m_capacity == 0) && !create()) return RegionStatus_outOfMemory("Dictionary");
  RegionNameDictionary* d = s_dictionary;
  if (d->m_count > 0) {
    const char* found = static_cast<const char*>(RegionHashTable_find(d->m_table, name, nullptr));
    if (found) {
      if (id) *id = entryId(found);
      return RegionStatus_success();
    }
  }
  if (d->m_count == d->m_capacity && !grow(d)) return RegionStatus_outOfMemory("Dictionary Entry");
  char* text = newEntry(name, d->m_count + 1);
  if (!text) return RegionStatus_outOfMemory("Dictionary Entry");
  if (RegionStatus_isError(RegionHashTable_insert(d->m_table, text))) {
    freeEntry(text);
    return RegionStatus_outOfMemory("Dictionary Entry");
  }
  d->m_names[d->m_count] = text;
  d->m_count += 1;
  if (id) *id = d->m_count;
  return RegionStatus_success();
}

RegionStatus* RegionNameDictionary_lookup(const char* name, uint64_t* id) {
  RegionStatus* status = nullptr;
  if (RegionName_isBlank(name, &status)) return status;
  if (!s_dictionary || s_dictionary->m_count == 0) return RegionStatus_fail(RS_NOT_FOUND, nullptr);
  const char* found = static_cast<const char*>(RegionHashTable_find(s_dictionary->m_table, name, &status));
  if (!found) return status;
  if (id) *id = entryId(found);
  return RegionStatus_success();
}

RegionStatus* RegionNameDictionary_name(uint64_t id, const char** name) {
  if (!s_dictionary || id < 1 || id > s_dictionary->m_count) return RegionStatus_fail(RS_NOT_FOUND, nullptr);
  if (name) *name = s_dictionary->m_names[id - 1];
  return RegionStatus_success();
}

void RegionNameDictionary_destroy() {
  RegionNameDictionary* d = s_dictionary;
  if (!d) return;
  RegionHashTable_delete(&d->m_table);
  for (uint64_t i = 0; i < d->m_count; ++i) freeEntry(d->m_names[i]);
  RegionMemory_free(d->m_names);
  RegionMemory_free(d);
  s_dictionary = nullptr;
}

const RegionNameDictionary* RegionNameDictionary_instance() { return s_dictionary; }

void RegionNameDictionary_print(FILE* stream) {
  if (!stream) return;
  const RegionNameDictionary* d = s_dictionary;
  fprintf(stream, "Region name dictionary: %" PRIu64 " of %" PRIu64 " slots\n", d ? d->m_count : 0, d ? d->m_capacity : 0);
  for (uint64_t i = 0; d && i < d->m_count; ++i) fprintf(stream, "%10" PRIu64 " %s\n", i + 1, d->m_names[i]);
}

int RegionId_bsearch(const uint64_t* ids, uint64_t count, uint64_t id, uint64_t* position) {
  uint64_t low = 0, high = count;
  while (low < high) {
    uint64_t mid = low + (high - low) / 2;
    if (ids[mid] < id) low = mid + 1;
    else high = mid;
  }
  if (position) *position = low;
  return low < count && ids[low] == id ? 1 : 0;
}
