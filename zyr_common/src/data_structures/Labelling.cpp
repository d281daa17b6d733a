#include "Labelling.h"

#include "HashTable.h"
#include "zyrMemory.h"

namespace {
const char kRule[] = "=============================================================";
const char kThinRule[] = "-------------------------------------------------------------";
} // namespace

LabellingEntry *LabellingEntry_new(int32_t label) {
  LabellingEntry *entry = zyrMemory_allocateArray<LabellingEntry>(1, __func__);
  entry->m_label = label;
  return entry;
}

void LabellingEntry_delete(LabellingEntry *entry) { zyrMemory_free(entry, __func__); }

Labelling *Labelling_new() {
  Labelling *labelling = zyrMemory_allocateArray<Labelling>(1, __func__);
  labelling->m_table = HashTable_new(500, HashTable_hashInteger, HashTable_compareIntegers);
  return labelling;
}

void Labelling_delete(Labelling *labelling) {
  if (labelling == nullptr)
    return;
  HashTableIterator *it = HashTableIterator_new(labelling->m_table);
  for (Pair *p = HashTableIterator_first(it); p != nullptr; p = HashTableIterator_next(it))
    LabellingEntry_delete(static_cast<LabellingEntry *>(p->m_second));
  HashTableIterator_delete(it);
  HashTable_delete(labelling->m_table);
  zyrMemory_free(labelling, __func__);
}

void Labelling_print(const Labelling *labelling, FILE *stream) {
  std::fprintf(stream, "\n%s\nLabelling (%p)\n%s\n\n", kRule, static_cast<const void *>(labelling),
               kRule);
  const HashTable *table = labelling->m_table;
  std::fprintf(stream, "No. of entries = %d\n", table ? HashTable_getNoOfEntries(table) : 0);
  if (table != nullptr) {
    std::fprintf(stream, "\n%s\nPointer  |                                                 Id\n%s\n",
                 kThinRule, kThinRule);
    HashTableIterator *it = HashTableIterator_new(table);
    for (Pair *p = HashTableIterator_first(it); p != nullptr; p = HashTableIterator_next(it))
      std::fprintf(stream, "%p - %50d\n", p->m_first,
                   static_cast<const LabellingEntry *>(p->m_second)->m_label);
    HashTableIterator_delete(it);
  }
  std::fprintf(stream, "\n%s\n\n", kRule);
}

void Labelling_setLabel(Labelling *labelling, const void *object, int32_t label) {
  LabellingEntry *entry = static_cast<LabellingEntry *>(HashTable_find(labelling->m_table, object));
  if (entry != nullptr)
    entry->m_label = label;
  else
    HashTable_insert(labelling->m_table, object, LabellingEntry_new(label));
}

int Labelling_getLabel(const Labelling *labelling, const void *object, int32_t *label) {
  const LabellingEntry *entry =
      static_cast<const LabellingEntry *>(HashTable_find(labelling->m_table, object));
  if (entry == nullptr)
    return 0;
  *label = entry->m_label;
  return 1;
}

int Labelling_removeLabel(Labelling *labelling, const void *object) {
  void *value = nullptr;
  if (!HashTable_removeKeyAndValue(labelling->m_table, object, nullptr, &value))
    return 0;
  LabellingEntry_delete(static_cast<LabellingEntry *>(value));
  return 1;
}
