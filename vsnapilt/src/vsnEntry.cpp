#include "vsnEntry.h"

#include <cstdlib>
#include <cstring>

const char* vsnKindWord(int32_t kind) {
  static const char* const words[] = {"None", "Param", "Object", "Singleton"};
  return kind >= 0 && kind <= 3 ? words[kind] : nullptr;
}

namespace {

const size_t kBlockBytes = 64 * 1024 - sizeof(vsnEntryBlock) - 64;  // a little under 64 KB with malloc's header
const size_t kLargestPooled = 2048;

void releaseBlock(vsnEntryBlock* block) {
  if (--block->m_live == 0) free(block);
}

// Room for total bytes (a multiple of the record's alignment) from the pool, or from malloc.
void* carve(vsnEntryPool* pool, size_t total, vsnEntryBlock** from) {
  *from = nullptr;
  if (!pool || total > kLargestPooled) return malloc(total);
  vsnEntryBlock* block = pool->m_block;
  if (!block || block->m_capacity - block->m_used < total) {
    vsnEntryBlock* fresh = static_cast<vsnEntryBlock*>(malloc(sizeof(vsnEntryBlock) + kBlockBytes));
    if (!fresh) return malloc(total);  // a record of its own may still be had
    fresh->m_used = 0;
    fresh->m_capacity = kBlockBytes;
    fresh->m_live = 1;
    if (block) releaseBlock(block);
    pool->m_block = block = fresh;
  }
  void* at = reinterpret_cast<char*>(block + 1) + block->m_used;
  block->m_used += total;
  block->m_live += 1;
  *from = block;
  // The next records go just after: their lines are fetched while this one is filled.
  __builtin_prefetch(static_cast<char*>(at) + 256, 1);
  return at;
}

} // namespace

vsnEntry* vsnEntryNewIn(vsnEntryPool* pool, const char* type, size_t typeSize, const char* name, size_t nameSize,
                        const char* value, size_t valueSize, int32_t kind, uint32_t flags) {
  static const size_t wordLengths[] = {4, 5, 6, 9};  // of the kind words
  const char* word = vsnKindWord(kind);
  if (!word || !type) return nullptr;
  // One block: the record, then type, name, value and label, each with its closing zero.
  size_t wordLength = wordLengths[kind];
  size_t typeLength = typeSize + 1;
  size_t nameLength = name ? nameSize + 1 : 0;
  size_t valueLength = value ? valueSize + 1 : 0;
  size_t labelLength = wordLength + 1 + typeLength;
  // Sizes come from strings in memory: their sum cannot overflow.
  size_t total = sizeof(vsnEntry) + typeLength + nameLength + valueLength + labelLength;
  total = (total + alignof(vsnEntry) - 1) & ~(alignof(vsnEntry) - 1);
  vsnEntryBlock* block;
  vsnEntry* e = static_cast<vsnEntry*>(carve(pool, total, &block));
  if (!e) return nullptr;
  memset(e, 0, sizeof(vsnEntry));
  e->m_block = block;
  char* at = reinterpret_cast<char*>(e + 1);
  auto put = [&at](const char* s, size_t n) {
    char* copy = at;
    memcpy(copy, s, n - 1);
    copy[n - 1] = '\0';
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
  memcpy(at + wordLength + 1, type, typeLength - 1);
  at[wordLength + typeLength] = '\0';
  e->m_kind = kind;
  e->m_flags = flags;
  return e;
}

vsnEntry* vsnEntryNew(const char* type, const char* name, const char* value, int32_t kind, uint32_t flags) {
  if (!type) return nullptr;
  return vsnEntryNewIn(nullptr, type, strlen(type), name, name ? strlen(name) : 0, value, value ? strlen(value) : 0,
                       kind, flags);
}

void vsnEntryPoolRelease(vsnEntryPool* pool) {
  if (!pool || !pool->m_block) return;
  releaseBlock(pool->m_block);
  pool->m_block = nullptr;
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
  if (entry->m_block) {
    releaseBlock(entry->m_block);
  } else {
    free(entry);
  }
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
