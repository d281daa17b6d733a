#ifndef ZYR_MESH_REFERENCES_H
#define ZYR_MESH_REFERENCES_H
// Checks of restored link maps of the mesh layer that go beyond what the store checks of every
// reference (its type and ownership).
#include <cstdint>

// A stored map of links (a[i] with b[i], every stride-th entry of the arrays) whose records own
// what they link: an object linked twice would be deleted twice. Every link repeating an object
// already linked is reported (one report) and left out (both ends NULL); 0 when any was.
int MeshReferences_dropRepeatedLinks(void *owner, const char *key, const char *caller, void **a, void **b, int64_t n,
                                     int64_t stride);

#endif
