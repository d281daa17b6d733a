// A command-language handle: one tree of objects and parameters keyed by canonical full paths,
// the directory stack that gives relative paths their meaning, the handler lists, the parser's
// state and the last error text.
//
// Result convention: NULL on success, else an error text that the caller never frees (either a
// fixed text or one formatted into the handle's error slot, valid until the next formatted error
// on the handle or its destruction).
#ifndef VSN_HANDLE_H
#define VSN_HANDLE_H

#include "vsnEntry.h"
#include "vsnHandler.h"
#include "vsnHash.h"

#include <cstdint>

struct vsnDirNode {
  char* m_path;  // in the node's own block; a changed path takes a new node
  vsnDirNode* m_next;
  size_t m_length;
  bool m_canonical;           // the path is known to resolve to itself
  vsnHashState m_prefixHash;  // the path table's hash over the path and "/" ("/" alone for the root)
};

struct vsnHandle {
  vsnDirNode* m_dirStack;  // top node; the bottom node holds "/"
  vsnEntry* m_root;
  vsnHash* m_pathTable;    // canonical full path -> entry
  vsnChangeHandlerPair* m_changeHandlers;
  vsnReplaceHandlerPair* m_replaceHandlers;
  vsnActionHandlerTriple* m_actionHandlers;
  char* m_pendingLine;     // continued line gathered by the parser
  uint32_t* m_flagStack;   // one flag word per open nesting level; level 0 is the load's
  int32_t m_flagCapacity;
  int32_t m_depth;         // objects the parser holds open: the handle's state
  char* m_errorText;
  int32_t m_userWord;
  vsnEntryPool m_entryPool;  // the tree's records
};

// Returned when an operation is given no handle.
extern const char* const VSN_NO_HANDLE_TEXT;

vsnHandle* createVSNHandle();
int destroyVSNHandle(vsnHandle* h);
const char* getVSNStateH(vsnHandle* h, int* state);
int resetVSNStateH(vsnHandle* h, int depth);
void setVSNUserWordH(vsnHandle* h, int word);
int getVSNUserWordH(vsnHandle* h);

vsnEntry* createRootObjectH(vsnHandle* h);
vsnEntry* findEntryH(vsnHandle* h, const char* path);
vsnEntry* getCurrentObjectH(vsnHandle* h);

vsnEntry* vsnUpdateObject(vsnHandle* h, vsnEntry* parent, const char* type, const char* name, const char* value,
                          int kind, unsigned flags);
// vsnUpdateObject for names already in canonical form and free of "/" and ":" (as the parser's
// cleaning and name checks leave them), of known lengths (type is not used for a parameter);
// value, NULL for an object, of valueLength bytes. parentFresh promises that every child of parent was made by
// an update since parent itself was made, the tree changing in no other way: a short child list
// is then searched instead of the path table. *created (may be NULL) tells whether the entry is
// new.
vsnEntry* vsnUpdateCleanObject(vsnHandle* h, vsnEntry* parent, bool parentFresh, const char* type, size_t typeLength,
                               const char* name, size_t nameLength, const char* value, size_t valueLength, int kind,
                               unsigned flags, bool* created);
const char* vsnCreateObject(vsnHandle* h, const char* path, int fromLibrary);
const char* vsnCreateParam(vsnHandle* h, const char* path, const char* value);
const char* vsnRemoveObjectH(vsnHandle* h, const char* path);
const char* deleteParamH(vsnHandle* h, const char* path);
const char* deleteObjH(vsnHandle* h, const char* path);
const char* setStringValue(vsnHandle* h, const char* path, const char* value);

int vsnPathExists(vsnHandle* h, const char* path);
int getEntryType(vsnHandle* h, const char* path);
int isLibraryObject(vsnHandle* h, const char* path);
int getValid(vsnHandle* h, const char* path);
const char* setValid(vsnHandle* h, const char* path, int mode);

#endif
