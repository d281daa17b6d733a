#include "vsnEntry.h"

#include "vsnArray.h"

#include <cstdlib>
#include <cstring>

const char* vsnKindWord(int32_t kind) {
  static const char* const words[] = {"None", "Param", "Object", "Singleton"};
  return kind >= 0 && kind <= 3 ? words[kind] : nullptr;
}

vsnEntry* vsnEntryNew(const char* type, const char* name, const char* value, int32_t kind, uint32_t flags) {
  const char* word = vsnKindWord(kind);
  if (!word || !type) return nullptr;
  vsnArray* ctx = vsnArrayNew(VSN_ARRAY_POINTER);
  if (!ctx) return nullptr;
  vsnEntry* e = static_cast<vsnEntry*>(vsnCtxCalloc(ctx, 1, sizeof(vsnEntry)));
  size_t labelLength = strlen(word) + 1 + strlen(type) + 1;
  char* label = static_cast<char*>(vsnCtxMalloc(ctx, labelLength));
  bool ok = e && label;
  if (ok) {
    e->m_type = vsnCtxStrdup(ctx, type);
    e->m_name = name ? vsnCtxStrdup(ctx, name) : nullptr;
    e->m_value = value ? vsnCtxStrdup(ctx, value) : nullptr;
    ok = e->m_type && (!name || e->m_name) && (!value || e->m_value);
  }
  if (!ok) {
    vsnArrayFree(ctx);
    return nullptr;
  }
  snprintf(label, labelLength, "%s:%s", word, type);
  e->m_label = label;
  e->m_kind = kind;
  e->m_flags = flags;
  vsnArrayRelease(ctx);
  return e;
}

void vsnEntryDelete(vsnEntry* entry) {
  if (!entry) return;
  free(entry->m_type);
  free(entry->m_name);
  free(entry->m_value);
  free(entry->m_label);
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
