#include "RegionNameDictionary.h"

#include "RegionHashTable.h"
#include "RegionMemory.h"
#include "RegionName.h"

#include <cinttypes>
#include <cstring>

namespace {

const uint64_t kFirstCapacity = 10023;

RegionNameDictionary* s_dictionary = nullptr;

const size_t kTextBlock = 65536;

// Each text is kept with its length in front of it, carved from the dictionary's blocks: the
// texts never move when the slot array does, so growing the array invalidates neither the index
// nor the table, and a search compares lengths before it reads a text. Carving spares a malloc
// per name; each text still passes the memory layer once, as an allocation of its own did, so
// that a failure comes (and is reported) at the same name as ever.
char* newEntry(RegionNameDictionary* d, const char* name, size_t length) {
  const size_t size = (sizeof(size_t) + length + 1 + 7) & ~size_t(7);  // lengths stay aligned
  char* at = nullptr;
  if (size <= d->m_blockLeft) {
    if (!RegionMemory_admit(size)) return nullptr;
    at = d->m_blockFree;
    d->m_blockFree += size;
    d->m_blockLeft -= size;
  } else {
    // The rest of a shared block stays unused; a long text does not start a new shared block.
    const bool own = size > kTextBlock / 4;
    char* block = static_cast<char*>(RegionMemory_alloc(own ? sizeof(char*) + size : kTextBlock));
    if (!block) return nullptr;
    memcpy(block, &d->m_blocks, sizeof(char*));
    d->m_blocks = block;
    at = block + sizeof(char*);
    if (!own) {
      d->m_blockFree = at + size;
      d->m_blockLeft = kTextBlock - sizeof(char*) - size;
    }
  }
  memcpy(at, &length, sizeof(size_t));
  memcpy(at + sizeof(size_t), name, length + 1);
  return at + sizeof(size_t);
}

void freeTexts(RegionNameDictionary* d) {
  while (char* block = d->m_blocks) {
    memcpy(&d->m_blocks, block, sizeof(char*));
    RegionMemory_free(block);
  }
}

bool isText(const char* text, const char* name, size_t length) {
  size_t kept;
  memcpy(&kept, text - sizeof(size_t), sizeof(size_t));
  return kept == length && memcmp(text, name, length) == 0;
}

int compareTexts(const void* a, const void* b) {
  int c = strcmp(static_cast<const char*>(a), static_cast<const char*>(b));
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

// ---------------------------------------------------------------------------------------------
// The search index: (high half of a quick hash, id) in open addressing with linear probing. A search costs one
// hash of the text, mostly one slot and one comparison of texts; the chained table of the
// dictionary (its bucket hash is a remainder per character, and its chains are kept in order)
// is made only when somebody looks at it.

const uint64_t kFirstIndexSlots = 32768;  // half full at 16384 names

// The text's quick hash (the text-key hash of the hash tables); also gives the length.
uint64_t quickHash(const char* text, size_t* length) { return RegionHashTable_textKeyAndLength(text, length); }

const uint64_t kIdBits = 0xFFFFFFFFu;

// The id of the text with this hash, or 0; *slot is where the search ended (an empty slot when
// the text is new). Slots are placed by the high half of the hash, which they hold, so that the
// index grows without hashing the names again.
uint64_t indexFind(const RegionNameDictionary* d, const char* text, size_t length, uint64_t hash, uint64_t* slot) {
  const uint64_t mask = d->m_indexMask, tag = hash & ~kIdBits;
  for (uint64_t i = (hash >> 32) & mask;; i = (i + 1) & mask) {
    const uint64_t s = d->m_index[i];
    if (s == 0) {
      *slot = i;
      return 0;
    }
    if ((s & ~kIdBits) == tag && isText(d->m_names[(s & kIdBits) - 1], text, length)) {
      *slot = i;
      return s & kIdBits;
    }
  }
}

// Doubles the index; false (and the index as it was) without memory.
bool growIndex(RegionNameDictionary* d) {
  const uint64_t size = (d->m_indexMask + 1) * 2, mask = size - 1;
  uint64_t* slots = static_cast<uint64_t*>(RegionMemory_allocZeroed(size, sizeof(uint64_t)));
  if (!slots) return false;
  for (uint64_t i = 0; i <= d->m_indexMask; ++i) {
    const uint64_t s = d->m_index[i];
    if (s == 0) continue;
    uint64_t j = (s >> 32) & mask;
    while (slots[j]) j = (j + 1) & mask;
    slots[j] = s;
  }
  RegionMemory_free(d->m_index);
  d->m_index = slots;
  d->m_indexMask = mask;
  return true;
}

bool create() {
  RegionNameDictionary* d = static_cast<RegionNameDictionary*>(RegionMemory_allocZeroed(1, sizeof(RegionNameDictionary)));
  if (!d) return false;
  d->m_names = static_cast<char**>(RegionMemory_allocZeroed(kFirstCapacity, sizeof(char*)));
  d->m_index = d->m_names ? static_cast<uint64_t*>(RegionMemory_allocZeroed(kFirstIndexSlots, sizeof(uint64_t))) : nullptr;
  if (!d->m_index) {
    RegionMemory_free(d->m_names);
    RegionMemory_free(d);
    return false;
  }
  d->m_indexMask = kFirstIndexSlots - 1;
  d->m_capacity = kFirstCapacity;
  d->m_count = 0;
  d->m_table = nullptr;
  d->m_tableSize = kFirstCapacity;
  d->m_blocks = nullptr;
  d->m_blockFree = nullptr;
  d->m_blockLeft = 0;
  s_dictionary = d;
  return true;
}

// 10023, 20046, then 1024 more slots at a time. The table widens to the slot count whenever it
// has fewer buckets than half the slots.
bool grow(RegionNameDictionary* d) {
  uint64_t capacity = d->m_capacity < 10024 ? d->m_capacity * 2 : d->m_capacity + 1024;
  char** names = static_cast<char**>(RegionMemory_reallocArray(d->m_names, capacity, sizeof(char*)));
  if (!names) return false;
  memset(names + d->m_capacity, 0, (capacity - d->m_capacity) * sizeof(char*));
  d->m_names = names;
  d->m_capacity = capacity;
  if (d->m_tableSize < capacity / 2) d->m_tableSize = capacity;
  return true;
}

// Brings the table up to the names entered: the names come in id order and are never taken
// out, so a table of the right size only lacks the newest ones.
void updateTable(RegionNameDictionary* d) {
  if (d->m_table && d->m_table->m_size != d->m_tableSize) RegionHashTable_delete(&d->m_table);
  if (!d->m_table && RegionStatus_isError(RegionHashTable_new(&d->m_table, d->m_tableSize, RegionNameDictionary_hash, compareTexts)))
    return;
  for (uint64_t i = d->m_table->m_count; i < d->m_count; ++i) {
    if (RegionStatus_isError(RegionHashTable_insert(d->m_table, d->m_names[i]))) {
      RegionHashTable_delete(&d->m_table);
      return;
    }
  }
}

} // namespace

uint64_t RegionNameDictionary_hash(uint64_t size, const void* text) {
  if (size < 2) return 0;
  const uint64_t bySize = UINT64_MAX / size, byLess1 = UINT64_MAX / (size - 1);
  uint64_t h = 0, a = 31415;
  for (const char* p = static_cast<const char*>(text); *p; ++p) {
    uint64_t c = static_cast<uint64_t>(static_cast<int64_t>(static_cast<signed char>(*p)));
    h = RegionRemainder(a * h + c, size, bySize);
    a = RegionRemainder(a * 27183, size - 1, byLess1);
  }
  return h;
}

void RegionNameDictionary_prepare(const char* name, RegionNamePrepared* prepared) {
  prepared->m_ready = 0;
  const RegionNameDictionary* d = s_dictionary;
  if (!name || !d || !d->m_index) return;
  prepared->m_hash = quickHash(name, &prepared->m_length);
  prepared->m_ready = 1;
  __builtin_prefetch(&d->m_index[(prepared->m_hash >> 32) & d->m_indexMask]);
}

RegionStatus* RegionNameDictionary_add(const char* name, uint64_t* id) { return RegionNameDictionary_addPrepared(name, nullptr, id); }

RegionStatus* RegionNameDictionary_addPrepared(const char* name, const RegionNamePrepared* prepared, uint64_t* id) {
  RegionStatus* status = nullptr;
  if (RegionName_isBlank(name, &status)) return status;
  if ((!s_dictionary || s_dictionary->m_capacity == 0) && !create()) return RegionStatus_outOfMemory("Dictionary");
  RegionNameDictionary* d = s_dictionary;
  size_t length = 0;
  uint64_t hash = 0;
  // The hash depends on the text alone: one made before the index grew is still the name's.
  if (prepared && prepared->m_ready) {
    hash = prepared->m_hash;
    length = prepared->m_length;
  } else {
    hash = quickHash(name, &length);
  }
  uint64_t slot = 0;
  const uint64_t found = indexFind(d, name, length, hash, &slot);
  if (found) {
    if (id) *id = found;
    return RegionStatus_success();
  }
  if (d->m_count == d->m_capacity && (d->m_count >= kIdBits || !grow(d))) return RegionStatus_outOfMemory("Dictionary Entry");
  if (2 * (d->m_count + 1) > d->m_indexMask + 1) {
    // Placed by 32 bits of the hash: the index cannot have more slots (nor the ids more bits).
    if (d->m_indexMask >= kIdBits) return RegionStatus_outOfMemory("Dictionary Entry");
    if (!growIndex(d)) return RegionStatus_outOfMemory("Dictionary Entry");
    indexFind(d, name, length, hash, &slot);
  }
  char* text = newEntry(d, name, length);
  if (!text) return RegionStatus_outOfMemory("Dictionary Entry");
  d->m_names[d->m_count] = text;
  d->m_count += 1;
  d->m_index[slot] = (hash & ~kIdBits) | d->m_count;
  if (id) *id = d->m_count;
  return RegionStatus_success();
}

RegionStatus* RegionNameDictionary_lookup(const char* name, uint64_t* id) {
  RegionStatus* status = nullptr;
  if (RegionName_isBlank(name, &status)) return status;
  if (!s_dictionary || s_dictionary->m_count == 0) return RegionStatus_fail(RS_NOT_FOUND, nullptr);
  size_t length = 0;
  uint64_t slot = 0;
  const uint64_t hash = quickHash(name, &length);
  const uint64_t found = indexFind(s_dictionary, name, length, hash, &slot);
  if (!found) return RegionStatus_fail(RS_NOT_FOUND, "No match");
  if (id) *id = found;
  return RegionStatus_success();
}

RegionStatus* RegionNameDictionary_name(uint64_t id, const char** name) {
  if (!s_dictionary || id < 1 || id > s_dictionary->m_count) return RegionStatus_fail(RS_NOT_FOUND, nullptr);
  if (name) *name = s_dictionary->m_names[id - 1];
  return RegionStatus_success();
}

uint64_t RegionNameDictionary_count() { return s_dictionary ? s_dictionary->m_count : 0; }

void RegionNameDictionary_destroy() {
  RegionNameDictionary* d = s_dictionary;
  if (!d) return;
  if (d->m_table) RegionHashTable_delete(&d->m_table);
  RegionMemory_free(d->m_index);
  freeTexts(d);
  RegionMemory_free(d->m_names);
  RegionMemory_free(d);
  s_dictionary = nullptr;
}

const RegionNameDictionary* RegionNameDictionary_instance() {
  if (s_dictionary && s_dictionary->m_capacity > 0) updateTable(s_dictionary);
  return s_dictionary;
}

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
