// One entry of a handle's tree: the root, an object (named or singleton) or a parameter.
#ifndef VSN_ENTRY_H
#define VSN_ENTRY_H

#include <cstdint>
#include <cstdio>

enum vsnEntryKind : int32_t {
  VSN_KIND_NONE = 0,
  VSN_KIND_PARAM = 1,
  VSN_KIND_OBJECT = 2,
  VSN_KIND_SINGLETON = 3,
};

enum vsnEntryFlag : uint32_t {
  VSN_FLAG_LIBRARY = 0x1,
  VSN_FLAG_VALID = 0x100,
  VSN_FLAG_REPLACE = 0x200,
  VSN_FLAG_CONTENTS_VALID = 0x400,
};

struct vsnEntry {
  char* m_type;   // "String" for a parameter, "/" for the root
  char* m_name;   // NULL for a singleton made by vsnCreateObject
  char* m_value;  // NULL for an object
  char* m_label;  // kind word ":" type, e.g. "Object:DOMAIN"
  int32_t m_kind;
  int32_t m_childCount;
  uint32_t m_flags;
  vsnEntry* m_firstChild;
  vsnEntry* m_lastChild;
  vsnEntry* m_next;
  // Links back, so that unlinking a child and walking to the root need no path look-ups.
  vsnEntry* m_parent;
  vsnEntry* m_prev;
};

// "None", "Param", "Object" or "Singleton"; NULL outside 0..3.
const char* vsnKindWord(int32_t kind);

// A new unlinked entry, its pieces made in one memory context; NULL when memory runs out.
vsnEntry* vsnEntryNew(const char* type, const char* name, const char* value, int32_t kind, uint32_t flags);
// Frees one entry's strings and record, not its children.
void vsnEntryDelete(vsnEntry* entry);
// Frees an entry with its children and its later siblings, without recursion.
void freeVSNEntryTree(vsnEntry* entry);
void vsnEntryPrint(const vsnEntry* entry, FILE* stream);

#endif
