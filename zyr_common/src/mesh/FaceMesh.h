#ifndef ZYR_FACE_MESH_H
#define ZYR_FACE_MESH_H
// The mesh of one surface: face sets naming faces of the elements of one element mesh. A face mesh
// owns no coordinates or connectivity; everything it answers is derived from its face sets and
// cached.
//
// Vertex numberings: element-mesh numbers (split vertices mapped back to their sources unless asked
// for); local numbers 0 .. n-1 in order of first appearance over the face sets in order; the labels
// of a zone numbering. Face-vertex arrays hold nside entries per face, shorter faces padded with
// the sentinel -1 (never renumbered).
//
// Persistent type "FaceMesh" (id 8). The face-set list is written by the dump hook at commit.
#include "BitField.h"
#include "zyrObject.h"

#include <cstdint>
#include <cstdio>

struct ElementMesh;
struct FaceSet;
struct HashTable;
struct Mesh;
struct Numbering;
struct Region;
struct Set;
struct zyrAffineTransform3D;

// Validity bits of the derived geometry.
enum { FACE_MESH_CENTROID_VALID = 0, FACE_MESH_BOX_VALID = 1 };

struct FaceMesh {
  zyrObject m_object;
  Region *m_region;           // "region"
  Set *m_faceSets;            // owned list of the face sets, in order   "faceSets"
  ElementMesh *m_elementMesh; // "elementMesh"
  // Caches; -1 when not computed.
  int32_t m_noOfVertices;      // split vertices mapped back
  int32_t m_noOfFaces;
  int32_t m_noOfTriangles;
  int32_t m_noOfSplitVertices; // vertices that split vertices add
  int32_t m_minVerticesPerFace;
  int32_t m_maxVerticesPerFace;
  double m_centroid[3];        // metres
  double m_boundingBox[6];     // metres: minimum x, y, z, maximum x, y, z
  BitField m_flags;
};

FaceMesh *FaceMesh_new(Region *region, ElementMesh *elementMesh);
// The copy on the region over the element mesh that the table gives for the old one; face sets
// copied through the same table. A transform moves a valid centroid and drops the box.
FaceMesh *FaceMesh_copy(FaceMesh *faceMesh, Region *region, const zyrAffineTransform3D *transform,
                        HashTable *copyTable);
// Deletes the face mesh (not its face sets).
int FaceMesh_delete(void *faceMesh);
void FaceMesh_print(const FaceMesh *faceMesh, FILE *stream);

// 1 when the list changed; the face set's owner follows.
int FaceMesh_addFaceSet(FaceMesh *faceMesh, FaceSet *faceSet);
int FaceMesh_removeFaceSet(FaceMesh *faceMesh, FaceSet *faceSet);
Region *FaceMesh_getRegion(const FaceMesh *faceMesh);
ElementMesh *FaceMesh_getElementMesh(const FaceMesh *faceMesh);
int32_t FaceMesh_getNoOfFaceSets(const FaceMesh *faceMesh);
// A new array of the face sets in order (NULL when none); the count is returned.
int32_t FaceMesh_getFaceSets(const FaceMesh *faceMesh, FaceSet ***faceSets);

int32_t FaceMesh_getNoOfFaces(FaceMesh *faceMesh);
int32_t FaceMesh_getNoOfTrisAndQuads(FaceMesh *faceMesh, int32_t *triangles, int32_t *quadrilaterals);
int FaceMesh_getNoOfVerticesPerFace(FaceMesh *faceMesh, int32_t *smallest, int32_t *largest);
int32_t FaceMesh_getNoOfVertices(FaceMesh *faceMesh, int withSplitVertices);

// Element-mesh vertex numbers in local order (position i: local vertex i) as a new array.
int32_t FaceMesh_getVertices(FaceMesh *faceMesh, int withSplitVertices, const Numbering *numbering,
                             int32_t **vertices);
// The distinct element-mesh vertex numbers of the faces: in order of first appearance (stable 1)
// or ascending.
int32_t FaceMesh_getElementMeshVertices(FaceMesh *faceMesh, int withSplitVertices, int stable, int32_t **vertices);
// x, y, z per local vertex in the named length unit, as a new array; -1 on failure.
int32_t FaceMesh_getVertexCoordinates(FaceMesh *faceMesh, int withSplitVertices, const char *units,
                                      double **coordinates);
// invert 0: entry k is the local number of the vertex of rank k by element-mesh number;
// invert 1: local number -> rank.
int FaceMesh_getVertexRenumbering(FaceMesh *faceMesh, int invert, int32_t **map);

// *nside is the smallest width wanted on entry and the width used on return. Answers the number of
// faces (0 on failure, with no array).
int32_t FaceMesh_getFaceVertices(FaceMesh *faceMesh, int withSplitVertices, int local, int32_t convention,
                                 const Numbering *numbering, int correctOrientation, int32_t **faces, int32_t *nside,
                                 int32_t *mixed, int32_t *sentinel);
// In one read, what FaceMesh_getFaceVertices (without split vertices, local numbering, native
// convention, no orientation correction, sentinel -1) and FaceMesh_getElementMeshVertices (without
// split vertices, stable) give: the faces (new array, *nside per face) and the element-mesh vertex
// of each local number (new array of *noOfVertices, NULL when there is none). Answers the number
// of faces (0 with no arrays on failure).
int32_t FaceMesh_getLocalFaces(FaceMesh *faceMesh, int32_t **faces, int32_t *nside, int32_t *mixed, int32_t **vertices,
                               int32_t *noOfVertices);
int FaceMesh_getFaces(FaceMesh *faceMesh, const Numbering *numbering, int32_t **faces, int32_t *n);
int FaceMesh_getElementFaces(FaceMesh *faceMesh, int32_t convention, const Numbering *numbering,
                             int correctOrientation, int32_t *n, int32_t **elements, int32_t **localFaces);
// The faces with the triangles first (3 entries each), then the quadrilaterals (4 each).
int32_t FaceMesh_getTrisAndQuads(FaceMesh *faceMesh, int withSplitVertices, int local, const Numbering *numbering,
                                 int32_t **faces, int32_t *triangles, int32_t *quadrilaterals);

// The face map of the interface map of the region's connection when this face mesh is its side 1
// and the map is not the identity: 1 and the map's own array; else 0 and NULL.
int FaceMesh_getInterfaceFaceMap(FaceMesh *faceMesh, Mesh *mesh, int32_t **faceMap);

// Moves the listed faces (indices in the source's face order) to the target face mesh.
int FaceMesh_move(FaceMesh *source, FaceMesh *target, int32_t n, const int32_t *faces);
int FaceMesh_transform(FaceMesh *faceMesh);
int FaceMesh_sharedVerticesSplit(FaceMesh *faceMesh);
void FaceMesh_clearSharedVertexData(FaceMesh *faceMesh);
void FaceMesh_invalidate(FaceMesh *faceMesh);
// Element-mesh vertex numbers (the sentinel -1 kept) to the labels of the numbering; 0 when the
// element mesh is not numbered.
int FaceMesh_relabelVertices(const FaceMesh *faceMesh, const Numbering *numbering, int64_t n, int32_t *vertices);

// Geometry, lengths in metres.
// Edges as vertex pairs with the faces on either side: internal edges (smaller, larger) with the
// face in which they run upwards first, then boundary edges in their face's direction with the
// second face -1 (upwards) or -2 (downwards). New arrays of 2 integers per edge.
int32_t FaceMesh_getEdges(FaceMesh *faceMesh, int withSplitVertices, int local, const Numbering *numbering,
                          int32_t **edgeVertices, int32_t **edgeFaces, int32_t *internal, int32_t *boundary);
int FaceMesh_getCentroid(FaceMesh *faceMesh, double centroid[3]);
int FaceMesh_getBoundingBox(FaceMesh *faceMesh, double box[6]);
int FaceMesh_calculateCentroid(FaceMesh *faceMesh);
int FaceMesh_calculateBoundingBox(FaceMesh *faceMesh);
// Mean edge length at each local vertex (split vertices mapped back) as a new array.
int32_t FaceMesh_getLocalLengthScale(FaceMesh *faceMesh, double **scale);
// 1 when the centroids lie within factor of the larger box diagonal, or within sqrt(floor).
int FaceMesh_centroidsMatch(FaceMesh *faceMesh0, FaceMesh *faceMesh1, const zyrAffineTransform3D *transform,
                            double factor, double floor);

// Whether two face meshes carry the same mesh (face mesh 0 moved by the transform when given):
// the vertex permutation (local vertex of 0 -> local vertex of 1) and, unless vertexMapOnly, the
// face map, both new arrays for the caller. The vertex tolerance is the local length scale of face
// mesh 0 times scaleFactor. 0, with no arrays, when they do not match; never with itself.
int FaceMesh_match(FaceMesh *faceMesh0, FaceMesh *faceMesh1, const zyrAffineTransform3D *transform, double scaleFactor,
                   int vertexMapOnly, int32_t **vertexPermutation, int32_t **faceMap);

// Type hooks.
int64_t FaceMesh_getSize();
int FaceMesh_dump(void *faceMesh);
int FaceMesh_restore(void *faceMesh, int32_t flag);

#endif
