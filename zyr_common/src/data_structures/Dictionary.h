#ifndef ZYR_DICTIONARY_H
#define ZYR_DICTIONARY_H
// A map from strings to pointers over a HashTable (509 buckets to start, string hash). It may own
// copies of its keys, and its duplicate-key strategy decides what adding a present key does:
// 0 keeps the old entry, 1 (the default) replaces it, 2 or more adds a second entry in front.
// Values are never freed by the dictionary.
#include "HashTable.h"

#include <cstdint>
#include <cstdio>

struct Dictionary {
  HashTable *m_table;
  int m_ownsKeys;
  int m_duplicateKeyStrategy;
};

struct DictionaryIterator {
  HashTableIterator *m_iterator;
};

Dictionary *Dictionary_new(int ownsKeys);
void Dictionary_delete(Dictionary *dictionary);
void Dictionary_print(const Dictionary *dictionary, FILE *stream);

void Dictionary_add(Dictionary *dictionary, const char *key, void *value);
// 1 when an entry was removed (its owned key freed), 0 when absent.
int Dictionary_remove(Dictionary *dictionary, const char *key);
void Dictionary_clear(Dictionary *dictionary);
void *Dictionary_find(const Dictionary *dictionary, const char *key);
int Dictionary_findKeyAndValue(const Dictionary *dictionary, const char *key, char **storedKey, void **value);
int32_t Dictionary_getNoOfEntries(const Dictionary *dictionary);
// Replaces *key (a heap string of the caller's) by the first of: the key itself, "key m",
// "key m+1", ... that the dictionary does not hold. With reserve non-zero the key itself is never
// taken. The dictionary holds the same entries afterwards.
void Dictionary_makeKeyUnique(Dictionary *dictionary, char **key, int reserve, int first);
// Moves the value of oldKey to newKey; 0 when newKey is present or oldKey has no value.
int Dictionary_changeKey(Dictionary *dictionary, const char *oldKey, const char *newKey);

DictionaryIterator *DictionaryIterator_new(const Dictionary *dictionary);
void DictionaryIterator_delete(DictionaryIterator *iterator);
// The iterator's own pair (key, value); NULL at the end.
Pair *DictionaryIterator_first(DictionaryIterator *iterator);
Pair *DictionaryIterator_next(DictionaryIterator *iterator);

#endif
