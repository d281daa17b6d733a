// Path resolution against a handle's directory stack, the canonical form of paths, and the stack
// itself (push, pop, change).
#ifndef VSN_PATH_H
#define VSN_PATH_H

struct vsnHandle;
struct vsnEntry;

// Newly allocated canonical absolute path; NULL when memory runs out (or no handle or path).
char* getFullPath(vsnHandle* h, const char* path);
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
// The current path itself, valid until the stack next changes; "" when the stack cannot be made.
const char* getCurrentPathH(vsnHandle* h);
// Joins the current path, name and "/" with nothing between the first two, then pushPath.
const char* pushChildPathH(vsnHandle* h, const char* name);

// Frees the whole stack.
void vsnFreeDirStack(vsnHandle* h);

#endif
