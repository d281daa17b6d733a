#ifndef ZYR_MESH_SELECTION_SUPPORT_H
#define ZYR_MESH_SELECTION_SUPPORT_H
// Pieces shared by the sources of the mesh selection; not for other callers.
#include <cstdint>

struct ElementSet;
struct MeshSelection;
struct Topology;

// The element vertex lists of the set in the convention, mirrored when the mesh is reflected (a
// new array), with every vertex number checked to lie below noOfVertices. 0 with no array (and
// error 20006 for a number out of range) when they cannot be had.
int MeshSelection_getElementVertices(const ElementSet *set, int32_t convention, int32_t noOfVertices,
                                     int32_t **vertices, int32_t *nel, int32_t *verticesPerElement);
// The model's topology through the registered hooks, or NULL.
Topology *MeshSelection_getTopology(const MeshSelection *selection);
// Replaces the new selection of set s: nothing, the whole set, or the list (taken over, count > 0).
void MeshSelection_setNew(MeshSelection *selection, int32_t s, int32_t count, int32_t *list);

#endif
