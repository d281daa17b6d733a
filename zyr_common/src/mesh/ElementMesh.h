#ifndef ZYR_ELEMENT_MESH_H
#define ZYR_ELEMENT_MESH_H
// The volume mesh of one three-dimensional region: element sets whose vertex numbers index one
// Vertices record owned by the mesh.
//
// Persistent type "ElementMesh" (id 6). The membership of the element sets is written by the dump
// hook at commit; the other attributes as they change.
#include "zyrObject.h"

#include <cstdint>
#include <cstdio>

struct ElementSet;
struct HashTable;
struct IntegerMap;
struct Region;
struct Set;
struct Splitting;
struct Vertices;
struct zyrAffineTransform3D;

struct ElementMesh {
  zyrObject m_object;
  Set *m_elementSets;     // owned collection of references     "elementSets"
  Vertices *m_vertices;   // owned, or NULL                      "vertices"
  Region *m_region;       //                                     "region"
  int32_t m_noOfElements; // cache; -1 when not counted
};

ElementMesh *ElementMesh_new(Region *region);
// A copy on the given region whose vertices share the source's coordinates (moved by the
// transform when given) and whose element sets are copies; every copy is entered in the table.
ElementMesh *ElementMesh_copy(ElementMesh *mesh, Region *region, const zyrAffineTransform3D *transform,
                              HashTable *copyTable);
// Deletes the mesh and its vertices (not its element sets).
int ElementMesh_delete(void *mesh);
void ElementMesh_print(const ElementMesh *mesh, FILE *stream);

// 1 when the collection changed; the set's owner follows.
int ElementMesh_addElementSet(ElementMesh *mesh, ElementSet *set);
int ElementMesh_removeElementSet(ElementMesh *mesh, ElementSet *set);
int32_t ElementMesh_getNoOfElementSets(const ElementMesh *mesh);
// A new array of the sets in order (NULL when none); the count is returned.
int32_t ElementMesh_getElementSets(const ElementMesh *mesh, ElementSet ***sets);
int32_t ElementMesh_getNoOfElements(ElementMesh *mesh);
// Adds each set's count to counts[type] (8 entries) and returns the total.
int32_t ElementMesh_getNoOfElementsByType(ElementMesh *mesh, int32_t *counts);

Region *ElementMesh_getRegion(const ElementMesh *mesh);
// Takes over the vertices; the previous record is deleted.
int ElementMesh_setVertices(ElementMesh *mesh, Vertices *vertices);
Vertices *ElementMesh_getVertices(const ElementMesh *mesh);
// Base and split vertices; 0 without vertices.
int32_t ElementMesh_getNoOfVertices(const ElementMesh *mesh);
// Double coordinates of all (count 0) or the listed vertices; see Vertices_getCoordinates.
int32_t ElementMesh_getVertexCoordinates(ElementMesh *mesh, const char *units, int32_t count,
                                         const int32_t *vertices, double **coordinates);
int32_t ElementMesh_getSplitVertices(const ElementMesh *mesh, const int32_t **sources);
int ElementMesh_transform(ElementMesh *mesh, const zyrAffineTransform3D *transform);
int ElementMesh_isInverted(const ElementMesh *mesh);

// The distinct vertex numbers the elements use, ascending, as a new map (NULL when none).
IntegerMap *ElementMesh_calculateMap(const ElementMesh *mesh);
int ElementMesh_renumberVertices(ElementMesh *mesh, const IntegerMap *map);
// Gives the mesh its own vertices: the subset of the shared source that its elements use (the
// splitting's vertex map of the mesh), with compact vertex numbers. The source stays.
int ElementMesh_localise(ElementMesh *mesh, const Splitting *splitting, const Vertices *source);

// Type hooks.
int64_t ElementMesh_getSize();
int ElementMesh_dump(void *mesh);
int ElementMesh_restore(void *mesh, int32_t flag);

#endif
