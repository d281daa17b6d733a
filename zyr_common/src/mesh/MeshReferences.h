#ifndef ZYR_MESH_REFERENCES_H
#define ZYR_MESH_REFERENCES_H
// Checked reading of the references that the records of the mesh layer store. A damaged record
// can name any stored object: a restored reference that does not lead to an object of the
// expected type is reported (error 20006) and left out (NULL) rather than used as one.
#include <cstdint>

// *target unchanged and 1 when it is NULL or of the type; otherwise NULL and 0.
int MeshReferences_check(void *owner, const char *key, const char *typeName, const char *caller, void **target);
// The same for n references (one report for all); 0 when any was left out.
int MeshReferences_checkArray(void *owner, const char *key, const char *typeName, const char *caller,
                              void **targets, int64_t n);

// A stored map of links (a[i] with b[i], every stride-th entry of the arrays) whose records own
// what they link: an object linked twice would be deleted twice. Every link repeating an object
// already linked is reported (one report) and left out (both ends NULL); 0 when any was.
int MeshReferences_dropRepeatedLinks(void *owner, const char *key, const char *caller, void **a, void **b, int64_t n,
                                     int64_t stride);

#endif
