#include "vsnEntry.h"

#include <cstdlib>
#include <cstring>

const char* vsnKindWord(int32_t kind) {
  static const char* const words[] = {"None", "Param", "Object", "Singleton"};
  return kind >= 0 && kind <= 3 ? words[kind] : nullptr;
}

vsnEntry* vsnEntryNew(const char* type, const char* name, const char* value, int32_t kind, uint32_t flags) {
  const char* word = vsnKindWord(kind);
  if (!word || !type) return nullptr;
  // One block: the record, then type, name, value and label, each with its closing zero.
  size_t wordLength = strlen(word);
  size_t typeLength = strlen(type) + 1;
  size_t nameLength = name ? strlen(name) + 1 : 0;
  size_t valueLength = value ? strlen(value) + 1 : 0;
  size_t labelLength = wordLength + 1 + typeLength;
  size_t total = sizeof(vsnEntry) + typeLength + nameLength + valueLength + labelLength;
  vsnEntry* e = static_cast<vsnEntry*>(malloc(total));
  if (!e) return nullptr;
  memset(e, 0, sizeof(vsnEntry));
  char* at = reinterpret_cast<char*>(e + 1);
  auto put = [&at](const char* s, size_t n) {
    char* copy = at;
    memcpy(copy, s, n);
    at += n;
    return copy;
  };
  e->m_type = put(type, typeLength);
  e->m_name = name ? put(name, nameLength) : nullptr;
  e->m_value = value ? put(value, valueLength) : nullptr;
  e->m_valueInBlock = value != nullptr;
  e->m_label = at;
  memcpy(at, word, wordLength);
  at[wordLength] = ':';
  memcpy(at + wordLength + 1, type, typeLength);
  e->m_kind = kind;
  e->m_flags = flags;
  return e;
}

char* vsnEntrySwapValue(vsnEntry* entry, char* value, bool* oldInBlock) {
  char* old = entry->m_value;
  *oldInBlock = entry->m_valueInBlock;
  entry->m_value = value;
  entry->m_valueInBlock = false;
  return old;
}

void vsnEntryFreeOldValue(char* old, bool inBlock) {
  if (!inBlock) free(old);
}

void vsnEntryDelete(vsnEntry* entry) {
  if (!entry) return;
  if (!entry->m_valueInBlock) free(entry->m_value);
  free(entry);
}

void freeVSNEntryTree(vsnEntry* entry) {
  // Splice each entry's children in front of its later siblings, then free it: every entry is
  // visited once and no stack is needed, however deep or wide the tree.
  while (entry) {
    if (entry->m_firstChild) {
      entry->m_lastChild->m_next = entry->m_next;
      entry->m_next = entry->m_firstChild;
    }
    vsnEntry* next = entry->m_next;
    vsnEntryDelete(entry);
    entry = next;
  }
}

void vsnEntryPrint(const vsnEntry* entry, FILE* stream) {
  if (!entry || !stream) return;
  fprintf(stream, "%s type=%s name=%s value=%s kind=%d children=%d flags=0x%x\n",
          entry->m_label ? entry->m_label : "(nul)", entry->m_type ? entry->m_type : "(nul)",
          entry->m_name ? entry->m_name : "(nul)", entry->m_value ? entry->m_value : "(nul)",
          entry->m_kind, entry->m_childCount, entry->m_flags);
}
