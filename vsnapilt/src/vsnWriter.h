// Writing (part of) a handle's tree back as VSN text lines: each nesting level indented by two
// more blanks than its object's header, every object closed by END. Reads the tree only.
#ifndef VSN_WRITER_H
#define VSN_WRITER_H

struct vsnHandle;
struct vsnArray;

// Appends the text of the children of the object at fullPath (canonical, not resolved) to lines
// (a string array), each line starting with indent. Objects whose flags share no bit with a
// non-zero includeMask, or share a bit with a non-zero excludeMask, are left out with their
// contents; parameters are never left out.
const char* getPartialVSNH(vsnHandle* h, const char* fullPath, const char* indent, vsnArray* lines,
                           unsigned includeMask, unsigned excludeMask);

// The object at path with its header and END (the root without them), as a NULL-terminated
// array the caller frees with freeStringArray. Objects read from libraries are left out unless
// includeLibrary is non-zero. *lines stays NULL when the handle holds no tree yet.
const char* getExpandedVSNH(vsnHandle* h, const char* path, char*** lines, int includeLibrary);
// The whole tree without library objects.
const char* getAllVSNH(vsnHandle* h, char*** lines);

// Default-handle forms; the default handle must exist.
const char* defaultGetExpandedVSN(const char* path, char*** lines, int includeLibrary);
const char* defaultGetAllVSN(char*** lines);

#endif
