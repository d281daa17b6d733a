#include "Dictionary.h"

#include "zyrAssert.h"
#include "zyrCString.h"
#include "zyrMemory.h"
#include "zyrTrace.h"

#include <cstdio>

namespace {

const int32_t kSizeHint = 500;

void freeOwnedKeys(Dictionary *dictionary) {
  if (!dictionary->m_ownsKeys)
    return;
  HashTableIterator *iterator = HashTableIterator_new(dictionary->m_table);
  for (Pair *pair = HashTableIterator_first(iterator); pair != nullptr; pair = HashTableIterator_next(iterator))
    zyrCString_free(static_cast<char *>(Pair_getFirst(pair)));
  HashTableIterator_delete(iterator);
}

// Present even when stored with a NULL value.
int isPresent(const Dictionary *dictionary, const char *key) {
  void *storedKey;
  void *value;
  return HashTable_findKeyAndValue(dictionary->m_table, key, &storedKey, &value);
}

} // namespace

Dictionary *Dictionary_new(int ownsKeys) {
  Dictionary *dictionary = zyrMemory_allocateArray<Dictionary>(1, __func__);
  dictionary->m_table = HashTable_new(kSizeHint, nullptr, nullptr);
  dictionary->m_ownsKeys = ownsKeys;
  dictionary->m_duplicateKeyStrategy = 1;
  return dictionary;
}

void Dictionary_delete(Dictionary *dictionary) {
  if (dictionary == nullptr)
    return;
  freeOwnedKeys(dictionary);
  HashTable_delete(dictionary->m_table);
  zyrMemory_free(dictionary, __func__);
}

void Dictionary_print(const Dictionary *dictionary, FILE *stream) {
  std::fprintf(stream, "\n=============================================================\nDictionary (%p)\n"
                       "=============================================================\n\n",
               static_cast<const void *>(dictionary));
  std::fprintf(stream, "m_ownsKeys             = %d\n", dictionary->m_ownsKeys);
  std::fprintf(stream, "m_duplicateKeyStrategy = %d\n", dictionary->m_duplicateKeyStrategy);
  std::fprintf(stream, "\n");
  std::fprintf(stream, "No. of entries = %d\n",
               dictionary->m_table != nullptr ? HashTable_getNoOfEntries(dictionary->m_table) : 0);
  if (dictionary->m_table != nullptr) {
    std::fprintf(stream, "\n-------------------------------------------------------------\n"
                         "Name                                               | Pointer\n"
                         "-------------------------------------------------------------\n");
    HashTableIterator *iterator = HashTableIterator_new(dictionary->m_table);
    for (Pair *pair = HashTableIterator_first(iterator); pair != nullptr; pair = HashTableIterator_next(iterator))
      std::fprintf(stream, "%-50s - %p\n", static_cast<const char *>(Pair_getFirst(pair)), Pair_getSecond(pair));
    HashTableIterator_delete(iterator);
  }
  std::fprintf(stream, "\n=============================================================\n\n");
}

void Dictionary_add(Dictionary *dictionary, const char *key, void *value) {
  if (dictionary->m_duplicateKeyStrategy == 0 || dictionary->m_duplicateKeyStrategy == 1) {
    if (isPresent(dictionary, key)) {
      if (dictionary->m_duplicateKeyStrategy == 0)
        return;
      void *storedKey = nullptr;
      HashTable_removeKeyAndValue(dictionary->m_table, key, &storedKey, nullptr);
      if (dictionary->m_ownsKeys)
        zyrCString_free(static_cast<char *>(storedKey));
    }
  }
  const char *toStore = dictionary->m_ownsKeys ? zyrCString_clone(key) : key;
  HashTable_insert(dictionary->m_table, toStore, value);
}

int Dictionary_remove(Dictionary *dictionary, const char *key) {
  // The key freed is the one of the entry actually removed: a shrink ahead of the removal can
  // reorder entries that share a key.
  void *storedKey = nullptr;
  if (!HashTable_removeKeyAndValue(dictionary->m_table, key, &storedKey, nullptr))
    return 0;
  if (dictionary->m_ownsKeys)
    zyrCString_free(static_cast<char *>(storedKey));
  return 1;
}

void Dictionary_clear(Dictionary *dictionary) {
  freeOwnedKeys(dictionary);
  HashTable_delete(dictionary->m_table);
  dictionary->m_table = HashTable_new(kSizeHint, nullptr, nullptr);
}

void *Dictionary_find(const Dictionary *dictionary, const char *key) {
  return HashTable_find(dictionary->m_table, key);
}

int Dictionary_findKeyAndValue(const Dictionary *dictionary, const char *key, char **storedKey, void **value) {
  void *found = nullptr;
  if (!HashTable_findKeyAndValue(dictionary->m_table, key, &found, value))
    return 0;
  *storedKey = static_cast<char *>(found);
  return 1;
}

int32_t Dictionary_getNoOfEntries(const Dictionary *dictionary) {
  return HashTable_getNoOfEntries(dictionary->m_table);
}

void Dictionary_makeKeyUnique(Dictionary *dictionary, char **key, int reserve, int first) {
  ZYR_TRACE_BEGIN_DESC("Modify a key to make it unique within a dictionary.");
  char *base = *key;
  char *reservation = nullptr;
  if (reserve && !isPresent(dictionary, base)) {
    reservation = zyrCString_clone(base);
    HashTable_insert(dictionary->m_table, reservation, nullptr);
  }

  char *candidate = base;
  int number = first;
  while (isPresent(dictionary, candidate)) {
    if (ZYR_TRACE_DEBUG(1))
      zyrTrace_printf("Duplicate - %s\n", candidate);
    if (candidate != base)
      zyrCString_free(candidate);
    char digits[16];
    std::snprintf(digits, sizeof digits, "%d", number++);
    candidate = zyrCString_merge(base, " ", digits, nullptr);
  }

  if (reservation != nullptr) {
    void *storedKey = nullptr;
    HashTable_removeKeyAndValue(dictionary->m_table, reservation, &storedKey, nullptr);
    zyrCString_free(reservation);
  }

  if (candidate != base) {
    if (ZYR_TRACE_DEBUG(1))
      zyrTrace_printf("\"%s\" -> \"%s\"\n", base, candidate);
    zyrCString_free(base);
    *key = candidate;
  } else if (ZYR_TRACE_DEBUG(1)) {
    zyrTrace_printf("\"%s\" is unique.\n", base);
  }
}

int Dictionary_changeKey(Dictionary *dictionary, const char *oldKey, const char *newKey) {
  if (Dictionary_find(dictionary, newKey) != nullptr)
    return 0;
  void *value = Dictionary_find(dictionary, oldKey);
  if (value == nullptr)
    return 0;
  const int status = Dictionary_remove(dictionary, oldKey);
  zyrAssert(status == 1);
  Dictionary_add(dictionary, newKey, value);
  return 1;
}

DictionaryIterator *DictionaryIterator_new(const Dictionary *dictionary) {
  DictionaryIterator *iterator = zyrMemory_allocateArray<DictionaryIterator>(1, __func__);
  iterator->m_iterator = HashTableIterator_new(dictionary->m_table);
  return iterator;
}

void DictionaryIterator_delete(DictionaryIterator *iterator) {
  if (iterator == nullptr)
    return;
  HashTableIterator_delete(iterator->m_iterator);
  zyrMemory_free(iterator, __func__);
}

Pair *DictionaryIterator_first(DictionaryIterator *iterator) { return HashTableIterator_first(iterator->m_iterator); }

Pair *DictionaryIterator_next(DictionaryIterator *iterator) { return HashTableIterator_next(iterator->m_iterator); }
