#include "HashTable.h"

#include "HashChains.h"
#include "zyrAssert.h"

#include <cstdlib>
#include <cstring>

// Entries are carved from blocks of growing size rather than allocated one by one; a removed
// entry goes to the free list and is reused first. Blocks are released with the table.
//
// In tables of string keys the entries of a block sit in pairs, each pair in one 64-byte line
// together with a 32-bit check word per entry: a second hash of the key, so that a chain walk
// reads a stored key only when its check word matches the searched one. Other tables keep their
// entries packed.
struct EntryGroup {
  HashEntry m_entries[2];
  uint32_t m_checks[2];
  uint64_t m_unused;
};
static_assert(sizeof(EntryGroup) == 64, "an entry pair fills one line");

struct HashEntryBlock {
  HashEntryBlock *m_next;
  void *m_storage;    // entry pairs (64-byte aligned) or packed entries, inside this allocation
  int32_t m_capacity; // entries
  int32_t m_used;
};

namespace {

using namespace zyrHashPrimes;

inline uint32_t &checkOf(HashEntry *entry) {
  const uintptr_t at = reinterpret_cast<uintptr_t>(entry);
  EntryGroup *group = reinterpret_cast<EntryGroup *>(at & ~static_cast<uintptr_t>(63));
  return group->m_checks[entry == &group->m_entries[0] ? 0 : 1];
}

// The check word of a string key (equal strings, equal words).
const uint32_t kCheckSeed = 2166136261u;
inline uint32_t stepCheck(uint32_t g, char c) { return (g ^ static_cast<unsigned char>(c)) * 16777619u; }

uint32_t stringCheck(const char *s) {
  uint32_t g = kCheckSeed;
  for (; *s != '\0'; ++s)
    g = stepCheck(g, *s);
  return g;
}

// The multiplier of the string hash takes the same values for every key at a given bucket
// count: the first of them are worked out here once for every prime.
const int kMultipliers = 48;

inline uint32_t nextMultiplier(uint32_t a, uint64_t primeLessOne) {
  const int32_t ab = static_cast<int32_t>(a * 27183u);
  return static_cast<uint32_t>(static_cast<uint64_t>(static_cast<int64_t>(ab)) % primeLessOne);
}

struct MultiplierRow {
  uint32_t m_a[kMultipliers];
};

constexpr MultiplierRow multipliersFor(uint64_t prime) {
  MultiplierRow row{};
  uint32_t a = 31415;
  for (int k = 0; k < kMultipliers; ++k) {
    row.m_a[k] = a;
    const int32_t ab = static_cast<int32_t>(a * 27183u);
    a = static_cast<uint32_t>(static_cast<uint64_t>(static_cast<int64_t>(ab)) % (prime - 1));
  }
  return row;
}

template <int32_t... I> struct MultiplierTable {
  static constexpr MultiplierRow kRows[sizeof...(I)] = {multipliersFor(static_cast<uint64_t>(kPrimes[I]))...};
};
template <int32_t... I> constexpr MultiplierRow MultiplierTable<I...>::kRows[sizeof...(I)];

using Multipliers = MultiplierTable<0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21,
                                    22, 23, 24, 25, 26, 27>;

// The string hash for a table whose bucket count is the prime at the given index, with the key's
// check word when asked for.
template <bool kWithCheck>
inline uint32_t hashStringAt(const char *s, int32_t index, uint32_t *check) {
  const Divisor &d = divisorsAt(index).m_prime;
  const uint32_t *multipliers = Multipliers::kRows[index].m_a;
  uint32_t h = 0;
  uint32_t g = kCheckSeed;
  int k = 0;
  for (; k < kMultipliers && s[k] != '\0'; ++k) {
    const int32_t c = static_cast<signed char>(s[k]);
    h = wrappedMod(static_cast<int32_t>(multipliers[k] * h + static_cast<uint32_t>(c)), d);
    if (kWithCheck)
      g = stepCheck(g, s[k]);
  }
  if (s[k] != '\0') {
    const uint64_t primeLessOne = static_cast<uint64_t>(d.m_d) - 1;
    uint32_t a = nextMultiplier(multipliers[kMultipliers - 1], primeLessOne);
    for (; s[k] != '\0'; ++k) {
      const int32_t c = static_cast<signed char>(s[k]);
      h = wrappedMod(static_cast<int32_t>(a * h + static_cast<uint32_t>(c)), d);
      a = nextMultiplier(a, primeLessOne);
      if (kWithCheck)
        g = stepCheck(g, s[k]);
    }
  }
  if (kWithCheck)
    *check = g;
  return h;
}

// The same hash for any other bucket count, by plain division. (Counts above 2^31 never reach a
// table; h is kept whole there so that the result stays within 0 to n-1.)
int64_t hashStringAny(const char *s, int64_t n) {
  if (n <= 1)
    return 0;
  const uint64_t m = static_cast<uint64_t>(n);
  uint64_t h = 0;
  uint32_t a = 31415;
  for (; *s != '\0'; ++s) {
    const int32_t c = static_cast<signed char>(*s);
    const int32_t t = static_cast<int32_t>(a * static_cast<uint32_t>(h) + static_cast<uint32_t>(c));
    h = static_cast<uint64_t>(static_cast<int64_t>(t)) % m;
    const int32_t ab = static_cast<int32_t>(a * 27183u);
    a = static_cast<uint32_t>(static_cast<uint64_t>(static_cast<int64_t>(ab)) % (m - 1));
  }
  return static_cast<int64_t>(h);
}

inline uint32_t low32(const void *key) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(key));
}

inline uint32_t bucketOf(const HashTable *table, const void *key) {
  if (table->m_hash == HashTable_hashString)
    return hashStringAt<false>(static_cast<const char *>(key), table->m_sizeIndex, nullptr);
  if (table->m_hash == HashTable_hashInteger) {
    const Divisor &d = divisorsAt(table->m_sizeIndex).m_prime;
    return fastmod(low32(key), d.m_reciprocal, d.m_d);
  }
  const int64_t bucket = table->m_hash(key, table->m_n);
  zyrAssert(bucket >= 0 && bucket < table->m_n);
  return static_cast<uint32_t>(bucket);
}

// Where a key goes: its bucket and, in tables of string keys, its check word.
struct KeyProbe {
  uint32_t m_bucket;
  uint32_t m_check;
};

inline KeyProbe probeOf(const HashTable *table, const void *key) {
  KeyProbe probe{0, 0};
  if (table->m_compare != HashTable_compareStrings)
    probe.m_bucket = bucketOf(table, key);
  else if (table->m_hash == HashTable_hashString)
    probe.m_bucket = hashStringAt<true>(static_cast<const char *>(key), table->m_sizeIndex, &probe.m_check);
  else {
    probe.m_bucket = bucketOf(table, key);
    probe.m_check = stringCheck(static_cast<const char *>(key));
  }
  return probe;
}

// The first entry of the chain matching the key, with its predecessor (NULL at the head).
template <class Same>
inline HashEntry *walkChain(HashEntry *head, HashEntry **previous, Same same) {
  HashEntry *before = nullptr;
  for (HashEntry *e = head; e != nullptr; before = e, e = e->m_next)
    if (same(e)) {
      *previous = before;
      return e;
    }
  return nullptr;
}

} // namespace

// Finds the entry of a key: its bucket and its predecessor in the chain.
static HashEntry *HashTable_findEntry(const HashTable *table, const void *key, const KeyProbe &probe,
                                      HashEntry **previous) {
  HashEntry *head = table->m_buckets[probe.m_bucket];
  *previous = nullptr;
  if (table->m_compare == HashTable_compareStrings) {
    const char *text = static_cast<const char *>(key);
    const uint32_t check = probe.m_check;
    return walkChain(head, previous, [text, check](HashEntry *e) {
      return checkOf(e) == check && std::strcmp(static_cast<const char *>(e->m_key), text) == 0;
    });
  }
  if (table->m_compare == HashTable_compareIntegers)
    return walkChain(head, previous, [key](HashEntry *e) { return e->m_key == key; });
  HashTable_CompareFunction compare = table->m_compare;
  return walkChain(head, previous, [compare, key](HashEntry *e) { return compare(e->m_key, key) != 0; });
}

// The look-up index of a string table: one slot per distinct key, holding an entry with that
// key, the key's check word and how many entries have the key. A key held once is answered from
// its slot; a key held more than once is left to the chain walk, which knows which of its entries
// comes first. Entries never move (a resize only relinks them), so the slots stay right through
// resizes. Slot memory comes from malloc: an index that cannot be had is dropped whole.
struct HashTableSlot {
  HashEntry *m_entry;
  uint32_t m_check;
  int32_t m_count; // 0 on a free slot
};

namespace {

const int32_t kFirstIndexBits = 4;

inline uint32_t homeOf(const HashTable *table, uint32_t check) {
  return (check * 2654435769u) >> table->m_indexShift;
}

inline uint32_t indexMask(const HashTable *table) { return (UINT32_MAX >> table->m_indexShift); }

// Frees slot `hole` of an open-addressing index of mask + 1 slots, moving later slots of its run
// back so that no probe stops short: a slot may fill the hole when its home does not lie
// cyclically in (hole, i]. occupied(i) and home(i) tell of slot i; move(to, from) and vacate(i)
// change the slots.
template <class Occupied, class Home, class Move, class Vacate>
void closeHole(uint64_t hole, uint64_t mask, Occupied occupied, Home home, Move move, Vacate vacate) {
  for (uint64_t i = (hole + 1) & mask; occupied(i); i = (i + 1) & mask)
    if (((i - home(i)) & mask) >= ((i - hole) & mask)) {
      move(hole, i);
      hole = i;
    }
  vacate(hole);
}

void dropIndex(HashTable *table) {
  std::free(table->m_index);
  table->m_index = nullptr;
  table->m_indexUsed = 0;
}

HashTableSlot *indexFind(const HashTable *table, const char *key, uint32_t check) {
  const uint32_t mask = indexMask(table);
  for (uint32_t i = homeOf(table, check);; i = (i + 1) & mask) {
    HashTableSlot *slot = &table->m_index[i];
    if (slot->m_count == 0)
      return nullptr;
    if (slot->m_check == check && std::strcmp(static_cast<const char *>(slot->m_entry->m_key), key) == 0)
      return slot;
  }
}

void indexPlace(HashTable *table, const HashTableSlot &from) {
  const uint32_t mask = indexMask(table);
  uint32_t i = homeOf(table, from.m_check);
  while (table->m_index[i].m_count != 0)
    i = (i + 1) & mask;
  table->m_index[i] = from;
}

// Doubles the slots, placing the old ones again by their check words.
bool indexGrow(HashTable *table) {
  HashTableSlot *old = table->m_index;
  const uint32_t oldSlots = indexMask(table) + 1;
  if (table->m_indexShift <= 1)
    return false;
  HashTableSlot *fresh = static_cast<HashTableSlot *>(std::calloc(static_cast<size_t>(oldSlots) * 2, sizeof(HashTableSlot)));
  if (fresh == nullptr)
    return false;
  table->m_index = fresh;
  --table->m_indexShift;
  for (uint32_t i = 0; i < oldSlots; ++i)
    if (old[i].m_count != 0)
      indexPlace(table, old[i]);
  std::free(old);
  return true;
}

void indexAdd(HashTable *table, HashEntry *entry, uint32_t check) {
  if (table->m_index == nullptr)
    return;
  HashTableSlot *slot = indexFind(table, static_cast<const char *>(entry->m_key), check);
  if (slot != nullptr) {
    ++slot->m_count;
    return;
  }
  if (10 * (static_cast<int64_t>(table->m_indexUsed) + 1) > 7 * (static_cast<int64_t>(indexMask(table)) + 1) &&
      !indexGrow(table)) {
    dropIndex(table);
    return;
  }
  indexPlace(table, HashTableSlot{entry, check, 1});
  ++table->m_indexUsed;
}

// After entry was unlinked from the chain of bucket: one entry fewer with its key.
void indexRemove(HashTable *table, HashEntry *entry, uint32_t check, uint32_t bucket) {
  if (table->m_index == nullptr)
    return;
  const char *key = static_cast<const char *>(entry->m_key);
  HashTableSlot *slot = indexFind(table, key, check);
  if (slot == nullptr)
    return;
  if (--slot->m_count > 0) {
    if (slot->m_entry == entry) {
      // Another entry with the key stays; all of them share the bucket.
      for (HashEntry *e = table->m_buckets[bucket]; e != nullptr; e = e->m_next)
        if (checkOf(e) == check && std::strcmp(static_cast<const char *>(e->m_key), key) == 0) {
          slot->m_entry = e;
          break;
        }
    }
    return;
  }
  HashTableSlot *slots = table->m_index;
  closeHole(
      static_cast<uint64_t>(slot - slots), indexMask(table), [slots](uint64_t i) { return slots[i].m_count != 0; },
      [table, slots](uint64_t i) { return homeOf(table, slots[i].m_check); },
      [slots](uint64_t to, uint64_t from) { slots[to] = slots[from]; }, [slots](uint64_t i) { slots[i].m_count = 0; });
  --table->m_indexUsed;
}

// The entry a chain walk would find first for a string key: from the index when the key is
// held once or not at all; NULL in found when the chains must decide.
inline HashEntry *indexLookup(const HashTable *table, const char *key, bool *decided) {
  HashTableSlot *slot = indexFind(table, key, stringCheck(key));
  *decided = slot == nullptr || slot->m_count == 1;
  return slot != nullptr ? slot->m_entry : nullptr;
}

} // namespace

// The look-up index of a table of integer keys (HashTable_hashInteger with
// HashTable_compareIntegers) once it holds kIntegersFrom entries: open addressing by key, one slot
// per distinct key, holding an entry with that key; the low bit of the entry pointer marks a key
// that was entered more than once, which the chain walk answers (it knows which entry comes
// first). Such a mark may outlive the key's entries (the chains then answer that the key is
// absent); growing the index checks every marked key again. Entries never move, so the slots stay
// right through resizes of the chains.
struct HashTableIntegerSlot {
  uintptr_t m_key;
  uintptr_t m_entry; // 0 on a free slot
};

namespace {

const int32_t kIntegersFrom = 4096;

inline bool integerTable(const HashTable *table) {
  return table->m_hash == HashTable_hashInteger && table->m_compare == HashTable_compareIntegers;
}

inline uint64_t integerHome(const HashTable *table, uintptr_t key) {
  return (static_cast<uint64_t>(key) * UINT64_C(0x9E3779B97F4A7C15)) >> table->m_integerShift;
}

inline uint64_t integerMask(const HashTable *table) { return (UINT64_C(1) << (64 - table->m_integerShift)) - 1; }

inline HashTableIntegerSlot *integerFind(const HashTable *table, uintptr_t key) {
  const uint64_t mask = integerMask(table);
  for (uint64_t i = integerHome(table, key);; i = (i + 1) & mask) {
    HashTableIntegerSlot *slot = &table->m_integers[i];
    if (slot->m_entry == 0 || slot->m_key == key)
      return slot;
  }
}

void dropIntegers(HashTable *table) {
  std::free(table->m_integers);
  table->m_integers = nullptr;
  table->m_integersUsed = 0;
}

// Enters one entry's key (a key already there becomes marked). The caller has made room.
void integerPlace(HashTable *table, const HashEntry *entry) {
  const uintptr_t key = reinterpret_cast<uintptr_t>(entry->m_key);
  HashTableIntegerSlot *slot = integerFind(table, key);
  if (slot->m_entry != 0) {
    slot->m_entry |= 1;
    return;
  }
  *slot = HashTableIntegerSlot{key, reinterpret_cast<uintptr_t>(entry)};
  ++table->m_integersUsed;
}

// An index of 2^bits free slots in place of the table's own (which the caller keeps).
bool integerSlots(HashTable *table, int32_t bits) {
  HashTableIntegerSlot *fresh =
      static_cast<HashTableIntegerSlot *>(std::calloc(static_cast<size_t>(1) << bits, sizeof(HashTableIntegerSlot)));
  if (fresh == nullptr)
    return false;
  table->m_integers = fresh;
  table->m_integerShift = 64 - bits;
  table->m_integersUsed = 0;
  return true;
}

// The first entry of the chains with the key and how many there are (2 for two or more).
const HashEntry *integerEntries(const HashTable *table, uintptr_t key, int *count) {
  const HashEntry *first = nullptr;
  *count = 0;
  for (const HashEntry *e = table->m_buckets[bucketOf(table, reinterpret_cast<const void *>(key))];
       e != nullptr && *count < 2; e = e->m_next)
    if (reinterpret_cast<uintptr_t>(e->m_key) == key && ++*count == 1)
      first = e;
  return first;
}

// After an entry was linked: its key into the index. The index is made from the chains once the
// table is large enough, and doubles when seven slots in ten are taken (marked keys are checked
// against the chains on the way).
void integerAdd(HashTable *table, const HashEntry *entry) {
  if (table->m_integers == nullptr) {
    if (table->m_count != kIntegersFrom || !integerTable(table) || !integerSlots(table, 14))
      return;
    for (int32_t b = 0; b < table->m_n; ++b)
      for (const HashEntry *e = table->m_buckets[b]; e != nullptr; e = e->m_next)
        integerPlace(table, e);
    return;
  }
  const uint64_t slots = integerMask(table) + 1;
  if (10 * (static_cast<uint64_t>(table->m_integersUsed) + 1) > 7 * slots) {
    HashTableIntegerSlot *old = table->m_integers;
    if (!integerSlots(table, 65 - table->m_integerShift)) {
      table->m_integers = old;
      dropIntegers(table);
      return;
    }
    for (uint64_t i = 0; i < slots; ++i) {
      if (old[i].m_entry == 0)
        continue;
      if ((old[i].m_entry & 1) == 0) {
        HashTableIntegerSlot *slot = integerFind(table, old[i].m_key);
        *slot = old[i];
        ++table->m_integersUsed;
        continue;
      }
      int count = 0;
      const HashEntry *first = integerEntries(table, old[i].m_key, &count);
      if (count == 0)
        continue;
      HashTableIntegerSlot *slot = integerFind(table, old[i].m_key);
      *slot = HashTableIntegerSlot{old[i].m_key, reinterpret_cast<uintptr_t>(first) | (count > 1 ? 1 : 0)};
      ++table->m_integersUsed;
    }
    std::free(old);
  }
  integerPlace(table, entry);
}

// After entry was unlinked: a key held once leaves the index; a marked key stays for the chains to
// answer.
void integerRemove(HashTable *table, const HashEntry *entry) {
  if (table->m_integers == nullptr)
    return;
  HashTableIntegerSlot *slot = integerFind(table, reinterpret_cast<uintptr_t>(entry->m_key));
  if (slot->m_entry != reinterpret_cast<uintptr_t>(entry))
    return;
  HashTableIntegerSlot *slots = table->m_integers;
  closeHole(
      static_cast<uint64_t>(slot - slots), integerMask(table), [slots](uint64_t i) { return slots[i].m_entry != 0; },
      [table, slots](uint64_t i) { return integerHome(table, slots[i].m_key); },
      [slots](uint64_t to, uint64_t from) { slots[to] = slots[from]; }, [slots](uint64_t i) { slots[i].m_entry = 0; });
  --table->m_integersUsed;
}

// As probeOf, for an insertion or removal that will visit an index: the check word first, so
// that the key's slot is on its way from memory while the bucket hash is worked out.
inline KeyProbe probeForChange(const HashTable *table, const void *key) {
  if (table->m_integers != nullptr) // the key's slot on its way while the chain is walked
    __builtin_prefetch(&table->m_integers[integerHome(table, reinterpret_cast<uintptr_t>(key))]);
  if (table->m_index == nullptr)
    return probeOf(table, key);
  KeyProbe probe;
  probe.m_check = stringCheck(static_cast<const char *>(key));
  __builtin_prefetch(&table->m_index[homeOf(table, probe.m_check)]);
  probe.m_bucket = bucketOf(table, key);
  return probe;
}

} // namespace

static HashEntry *HashTable_newHashEntry(HashTable *table, const void *key, void *value, uint32_t check) {
  const bool checked = table->m_compare == HashTable_compareStrings;
  const char *tag = __func__;
  HashEntry *entry = zyrHashChains::takeEntry(
      table,
      [checked, tag](int32_t capacity) {
        const size_t bytes = sizeof(HashEntryBlock) + (checked ? 63 + sizeof(EntryGroup) * static_cast<size_t>(capacity / 2)
                                                               : sizeof(HashEntry) * static_cast<size_t>(capacity));
        HashEntryBlock *fresh =
            static_cast<HashEntryBlock *>(zyrMemory_allocate(static_cast<int64_t>(bytes), tag));
        uintptr_t storage = reinterpret_cast<uintptr_t>(fresh + 1);
        if (checked)
          storage = (storage + 63) & ~static_cast<uintptr_t>(63);
        fresh->m_storage = reinterpret_cast<void *>(storage);
        return fresh;
      },
      [checked](HashEntryBlock *block, int32_t at) {
        return checked ? &static_cast<EntryGroup *>(block->m_storage)[at / 2].m_entries[at % 2]
                       : static_cast<HashEntry *>(block->m_storage) + at;
      });
  entry->m_key = const_cast<void *>(key);
  entry->m_value = value;
  if (checked)
    checkOf(entry) = check;
  return entry;
}

static inline void HashTable_freeEntry(HashTable *table, HashEntry *entry) {
  entry->m_next = table->m_buckets[table->m_n];
  table->m_buckets[table->m_n] = entry;
}

static void HashTable_resize(HashTable *table, int step) {
  ZYR_TRACE_BEGIN_DESC("Increase or decrease the size of a hash table.");
  zyrHashChains::resize(table, step, ZYR_TRACE_DEBUG(1), "hash table",
                        [](const HashTable *t, const HashEntry *e) { return bucketOf(t, e->m_key); }, __func__);
}

HashTable *HashTable_new(int32_t sizeHint, HashTable_HashFunction hash, HashTable_CompareFunction compare) {
  HashTable *table = zyrMemory_allocateArray<HashTable>(1, __func__);
  zyrHashChains::setSize(table, indexForHint(sizeHint));
  table->m_hash = hash != nullptr ? hash : HashTable_hashString;
  table->m_compare = compare != nullptr ? compare : HashTable_compareStrings;
  table->m_count = 0;
  table->m_blocks = nullptr;
  table->m_buckets = zyrMemory_allocateZeroedArray<HashEntry *>(static_cast<int64_t>(table->m_n) + 1, __func__);
  table->m_index = nullptr;
  table->m_indexShift = 32 - kFirstIndexBits;
  table->m_indexUsed = 0;
  table->m_integers = nullptr;
  table->m_integerShift = 60;
  table->m_integersUsed = 0;
  if (table->m_compare == HashTable_compareStrings)
    table->m_index = static_cast<HashTableSlot *>(std::calloc(static_cast<size_t>(1) << kFirstIndexBits, sizeof(HashTableSlot)));
  return table;
}

void HashTable_delete(HashTable *table) {
  if (table == nullptr)
    return;
  for (HashEntryBlock *block = table->m_blocks; block != nullptr;) {
    HashEntryBlock *next = block->m_next;
    zyrMemory_free(block, __func__);
    block = next;
  }
  zyrMemory_free(table->m_buckets, __func__);
  std::free(table->m_index);
  std::free(table->m_integers);
  zyrMemory_free(table, __func__);
}

void HashTable_print(const HashTable *table, FILE *stream) {
  std::fprintf(stream, "HashTable (%p)\n", static_cast<const void *>(table));
  std::fprintf(stream, "m_n               = %d\n", table->m_n);
  std::fprintf(stream, "m_sizeIndex       = %d\n", table->m_sizeIndex);
  std::fprintf(stream, "m_count           = %d\n", table->m_count);
  std::fprintf(stream, "m_shrinkThreshold = %d\n", table->m_shrinkThreshold);
  std::fprintf(stream, "m_growThreshold   = %d\n", table->m_growThreshold);
  HashTable_printStatistics(table, stream);
}

// Links an entry at the head of its bucket's chain.
static void HashTable_insertEntry(HashTable *table, HashEntry *entry, uint32_t bucket) {
  zyrHashChains::linkAtHead(table, entry, bucket);
}

int32_t HashTable_insert(HashTable *table, const void *key, void *value) {
  if (zyrHashChains::full(table))
    HashTable_resize(table, +1);
  const KeyProbe probe = probeForChange(table, key);
  HashEntry *entry = HashTable_newHashEntry(table, key, value, probe.m_check);
  HashTable_insertEntry(table, entry, probe.m_bucket);
  indexAdd(table, entry, probe.m_check);
  integerAdd(table, entry);
  return table->m_count;
}

int HashTable_removeKeyAndValue(HashTable *table, const void *key, void **storedKey, void **value) {
  if (table->m_count < table->m_shrinkThreshold && table->m_sizeIndex != 0)
    HashTable_resize(table, -1);
  const KeyProbe probe = probeForChange(table, key);
  HashEntry *previous;
  HashEntry *entry = HashTable_findEntry(table, key, probe, &previous);
  if (entry == nullptr)
    return 0;
  if (previous != nullptr)
    previous->m_next = entry->m_next;
  else
    table->m_buckets[probe.m_bucket] = entry->m_next;
  indexRemove(table, entry, probe.m_check, probe.m_bucket);
  integerRemove(table, entry);
  if (storedKey != nullptr)
    *storedKey = entry->m_key;
  if (value != nullptr)
    *value = entry->m_value;
  HashTable_freeEntry(table, entry);
  --table->m_count;
  return 1;
}

int HashTable_remove(HashTable *table, const void *key) {
  return HashTable_removeKeyAndValue(table, key, nullptr, nullptr);
}

void *HashTable_find(const HashTable *table, const void *key) {
  if (table->m_integers != nullptr) {
    const HashTableIntegerSlot *slot = integerFind(table, reinterpret_cast<uintptr_t>(key));
    if ((slot->m_entry & 1) == 0)
      return slot->m_entry != 0 ? reinterpret_cast<const HashEntry *>(slot->m_entry)->m_value : nullptr;
  }
  if (table->m_hash == HashTable_hashInteger && table->m_compare == HashTable_compareIntegers) {
    // The commonest table (object pointers) walks its chain with nothing else in the loop, so
    // that the look-ups of a caller's loop overlap their cache misses.
    const Divisor &d = divisorsAt(table->m_sizeIndex).m_prime;
    for (const HashEntry *e = table->m_buckets[fastmod(low32(key), d.m_reciprocal, d.m_d)]; e != nullptr; e = e->m_next)
      if (e->m_key == key)
        return e->m_value;
    return nullptr;
  }
  if (table->m_index != nullptr) {
    bool decided;
    HashEntry *entry = indexLookup(table, static_cast<const char *>(key), &decided);
    if (decided)
      return entry != nullptr ? entry->m_value : nullptr;
  }
  HashEntry *previous;
  HashEntry *entry = HashTable_findEntry(table, key, probeOf(table, key), &previous);
  return entry != nullptr ? entry->m_value : nullptr;
}

int HashTable_findKeyAndValue(const HashTable *table, const void *key, void **storedKey, void **value) {
  HashEntry *previous;
  bool decided = false;
  HashEntry *entry = table->m_index != nullptr ? indexLookup(table, static_cast<const char *>(key), &decided) : nullptr;
  if (table->m_integers != nullptr) {
    const HashTableIntegerSlot *slot = integerFind(table, reinterpret_cast<uintptr_t>(key));
    decided = (slot->m_entry & 1) == 0;
    entry = reinterpret_cast<HashEntry *>(slot->m_entry & ~static_cast<uintptr_t>(1));
  }
  if (!decided)
    entry = HashTable_findEntry(table, key, probeOf(table, key), &previous);
  if (entry == nullptr)
    return 0;
  *storedKey = entry->m_key;
  *value = entry->m_value;
  return 1;
}

int32_t HashTable_getNoOfEntries(const HashTable *table) { return table->m_count; }

void HashTable_printStatistics(const HashTable *table, FILE *stream) {
  int32_t shortest = 2147483647;
  int32_t longest = 0;
  for (int32_t b = 0; b < table->m_n; ++b) {
    int32_t length = 0;
    for (const HashEntry *e = table->m_buckets[b]; e != nullptr; e = e->m_next)
      ++length;
    if (length < shortest)
      shortest = length;
    if (length > longest)
      longest = length;
  }
  int32_t free = 0;
  for (const HashEntry *e = table->m_buckets[table->m_n]; e != nullptr; e = e->m_next)
    ++free;
  std::fprintf(stream, "Min. no of items in a list = %d\n", shortest);
  std::fprintf(stream, "Max. no of items in a list = %d\n", longest);
  std::fprintf(stream, "No of items in free list   = %d\n", free);
}

int64_t HashTable_hashString(const void *key, int64_t n) {
  const int32_t index = indexOf(n);
  if (index >= 0)
    return hashStringAt<false>(static_cast<const char *>(key), index, nullptr);
  return hashStringAny(static_cast<const char *>(key), n);
}

int HashTable_compareStrings(const void *storedKey, const void *key) {
  return std::strcmp(static_cast<const char *>(storedKey), static_cast<const char *>(key)) == 0 ? 1 : 0;
}

int64_t HashTable_hashInteger(const void *key, int64_t n) {
  const int32_t index = indexOf(n);
  if (index >= 0) {
    const Divisor &d = divisorsAt(index).m_prime;
    return fastmod(low32(key), d.m_reciprocal, d.m_d);
  }
  return n > 0 ? static_cast<int64_t>(low32(key) % static_cast<uint64_t>(n)) : 0;
}

int HashTable_compareIntegers(const void *storedKey, const void *key) { return storedKey == key ? 1 : 0; }

HashTableIterator *HashTableIterator_new(const HashTable *table) {
  HashTableIterator *iterator = zyrMemory_allocateArray<HashTableIterator>(1, __func__);
  iterator->m_pair = Pair_new();
  iterator->m_table = table;
  iterator->m_current = nullptr;
  iterator->m_index = 0;
  return iterator;
}

void HashTableIterator_delete(HashTableIterator *iterator) {
  if (iterator == nullptr)
    return;
  Pair_delete(iterator->m_pair);
  zyrMemory_free(iterator, __func__);
}

namespace {

// Moves to the head of the first non-empty bucket from the given one on; NULL past the end.
Pair *settleFrom(HashTableIterator *iterator, int32_t from) {
  const HashTable *table = iterator->m_table;
  for (int32_t b = from; b < table->m_n; ++b)
    if (table->m_buckets[b] != nullptr) {
      iterator->m_index = b;
      iterator->m_current = table->m_buckets[b];
      Pair_set(iterator->m_pair, iterator->m_current->m_key, iterator->m_current->m_value);
      return iterator->m_pair;
    }
  iterator->m_current = nullptr;
  iterator->m_index = 0;
  return nullptr;
}

} // namespace

Pair *HashTableIterator_first(HashTableIterator *iterator) {
  if (iterator->m_table->m_count < 1) {
    iterator->m_current = nullptr;
    iterator->m_index = 0;
    return nullptr;
  }
  return settleFrom(iterator, 0);
}

Pair *HashTableIterator_next(HashTableIterator *iterator) {
  HashEntry *current = iterator->m_current;
  if (current == nullptr)
    return nullptr;
  if (current->m_next != nullptr) {
    iterator->m_current = current->m_next;
    Pair_set(iterator->m_pair, iterator->m_current->m_key, iterator->m_current->m_value);
    return iterator->m_pair;
  }
  return settleFrom(iterator, iterator->m_index + 1);
}
