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
  // The record and its strings are one block; a value set later is a block of its own.
  bool m_valueInBlock;
  // The pool block the record was carved from; NULL for a record of its own.
  struct vsnEntryBlock* m_block;
};

// Records of one handle's tree are carved from large blocks rather than allocated one by one. A
// block goes back when its last entry is deleted and the pool has moved on from it, so deleting
// entries gives their memory back as before, block by block.
struct vsnEntryBlock {
  size_t m_used;      // bytes handed out
  size_t m_capacity;  // bytes after the header
  int64_t m_live;     // entries in the block, plus one while a pool fills it
};

struct vsnEntryPool {
  vsnEntryBlock* m_block;  // the block being filled, or NULL
};

// "None", "Param", "Object" or "Singleton"; NULL outside 0..3.
const char* vsnKindWord(int32_t kind);

// A new unlinked entry with copies of its strings, all in one block; NULL when memory runs out.
vsnEntry* vsnEntryNew(const char* type, const char* name, const char* value, int32_t kind, uint32_t flags);
// vsnEntryNew with the strings' lengths given (name and value may be NULL), the record carved
// from pool (a record of its own when pool is NULL or the record is large).
vsnEntry* vsnEntryNewIn(vsnEntryPool* pool, const char* type, size_t typeLength, const char* name, size_t nameLength,
                        const char* value, size_t valueLength, int32_t kind, uint32_t flags);
// The pool lets go of its block; entries still in it keep it until they go.
void vsnEntryPoolRelease(vsnEntryPool* pool);
// Gives an entry a new value, a malloc'd string that it takes over, and returns the old one,
// still readable until vsnEntryFreeOldValue (old, *oldInBlock) releases it.
char* vsnEntrySwapValue(vsnEntry* entry, char* value, bool* oldInBlock);
void vsnEntryFreeOldValue(char* old, bool inBlock);
// Frees one entry's strings and record, not its children.
void vsnEntryDelete(vsnEntry* entry);
// Frees an entry with its children and its later siblings, without recursion.
void freeVSNEntryTree(vsnEntry* entry);
void vsnEntryPrint(const vsnEntry* entry, FILE* stream);

#endif
