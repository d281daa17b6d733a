#ifndef ZYR_SPLITTING_H
#define ZYR_SPLITTING_H
// Two ways for the element meshes of an imported mesh to stop sharing vertices.
//
// A Splitting keeps, for every element mesh of a Mesh, the ascending list of the vertex numbers
// its elements use (an IntegerMap, index -> shared vertex). The Mesh localises its element meshes
// through it, and interface maps between them translate local vertices back to shared ones.
//
// Shared-vertex splitting works inside one element mesh: where a surface lies inside its volume
// (a baffle: both sides bound the same volume), the elements on its two sides share vertices
// that the solver must see apart. Around every vertex on the chosen faces the elements are grouped
// into pieces that stay connected without crossing those faces; every piece after the first gets a
// new vertex at the same position (a split vertex).
#include <cstdint>
#include <cstdio>

struct ElementMesh;
struct FaceMesh;
struct HashTable;
struct IntegerMap;
struct Mesh;

struct Splitting {
  HashTable *m_maps; // element mesh -> IntegerMap (owned)
};

// One working record of the element lists around a vertex: the most recently pushed is first.
struct ParentElement {
  int32_t m_elementSetIndex;
  int32_t m_elementIndex;
  ParentElement *m_next;
};

Splitting *Splitting_new(Mesh *mesh);
int Splitting_delete(Splitting *splitting);
void Splitting_print(const Splitting *splitting, FILE *stream);
// Calculates the mesh's vertex map and enters it (replacing an earlier one); 1 when it has one.
int Splitting_createVertexMap(Splitting *splitting, ElementMesh *elementMesh);
const IntegerMap *Splitting_getVertexMap(const Splitting *splitting, const ElementMesh *elementMesh);

ParentElement *ParentElement_new(int32_t elementSetIndex, int32_t elementIndex, ParentElement *next);
void ParentElement_delete(ParentElement *element);

// Splits shared vertices on the volume's internal thin surfaces, or on all its bounding surfaces
// when ZYR_BETA_SPLIT_ALL_VERTICES is set. 0 when the volume has no bounding regions.
int ElementMesh_splitSharedVertices(ElementMesh *elementMesh, Mesh *mesh);
int ElementMesh_splitSharedVerticesOnFaces(ElementMesh *elementMesh, int32_t noOfFaceMeshes,
                                           FaceMesh *const *faceMeshes);
// Reports the volume's internal thin surfaces in the debug log; changes nothing.
int ElementMesh_correctInternalThinSurfaces(ElementMesh *elementMesh, Mesh *mesh);

#endif
