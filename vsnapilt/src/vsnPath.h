// Path resolution against a handle's directory stack, the canonical form of paths, and the stack
// itself (push, pop, change).
#ifndef VSN_PATH_H
#define VSN_PATH_H

#include <cstddef>

struct vsnHandle;
struct vsnEntry;

// Newly allocated canonical absolute path; NULL when memory runs out (or no handle or path).
char* getFullPath(vsnHandle* h, const char* path);
// Whether a canonical path (one that getFullPath gives back unchanged), "/" and this step of n
// bytes are canonical together: true only when they are; false may still be canonical.
bool vsnStepKeepsCanonical(const char* step, size_t n);
// Newly allocated canonical path of the parent ("/" for a step under the root and for "/").
char* getParentPath(vsnHandle* h, const char* path);
// Newly allocated path of a child under parentPath; NULL for kind 0 or when memory runs out.
char* makeChildPath(const char* parentPath, const vsnEntry* child);
// The canonical form of a path, in a new string (see getFullPath); NULL when memory runs out.
char* normalisePath(const char* path);

const char* pushPath(vsnHandle* h, const char* path);
const char* changePath(vsnHandle* h, const char* path);
const char* vsnPushPath(vsnHandle* h, const char* path);
const char* vsnChangePath(vsnHandle* h, const char* path);
const char* popPath(vsnHandle* h);
// vsnPushPath of a path of known length that resolves to itself, with the path table's hash
// state over the path and "/" when the caller has it (else NULL).
struct vsnHashState;
const char* vsnPushCanonicalPath(vsnHandle* h, const char* path, size_t length, const vsnHashState* prefixHash);
// The current path itself, valid until the stack next changes; "" when the stack cannot be made.
const char* getCurrentPathH(vsnHandle* h);
// Joins the current path, name and "/" with nothing between the first two, then pushPath.
const char* pushChildPathH(vsnHandle* h, const char* name);

// Frees the whole stack.
void vsnFreeDirStack(vsnHandle* h);

#endif
