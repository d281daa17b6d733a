#ifndef ZYR_INTERFACE_MATCHING_H
#define ZYR_INTERFACE_MATCHING_H
// Matching algorithms over two face meshes, side 0 and side 1, that coincide after an optional
// periodic transformation: the periodic transformation from the sides' centroids, the face map
// from a vertex permutation (repairing the permutation where the vertex search paired wrongly),
// the split-vertex map, an injectivity check and the grouping of elements around a vertex.
// Vertex numbers are face-mesh local numbers without split vertices unless said otherwise; faces
// are in face-mesh order; lengths in metres. Failures are results, never error records.
#include <cstdint>
#include <cstdio>

struct FaceMesh;
struct zyrAffineTransform3D;

// Periodic types.
enum { MA_PERIODIC_NONE = 0, MA_PERIODIC_TRANSLATION = 1, MA_PERIODIC_ROTATION = 2 };

// The transform taking side 0 onto side 1 from the mean centroids of the n face meshes of each
// side. Type 0 or n < 1: 1 and no transform. The axis points are in axisUnits.
int MA_findPeriodicTransformation(int32_t type, const double axisPoint1[3], const double axisPoint2[3],
                                  const char *axisUnits, int32_t n, FaceMesh *const *const faceMeshLists[2],
                                  zyrAffineTransform3D **transform);
int MA_makePeriodicTransformation(int32_t type, const double axisPoint1[3], const double axisPoint2[3],
                                  const char *axisUnits, const double side0Point[3], const double side1Point[3],
                                  zyrAffineTransform3D **transform);

// The face map (new array) of two face meshes from the permutation, which may be corrected in
// place. 1 only when every face of side 0 has its own partner of the same size.
int MA_calculateFaceMap(FaceMesh *const faceMeshes[2], int32_t noOfVertices, int32_t *vertexPermutation,
                        int32_t **faceMap);
// As MA_calculateFaceMap, with the faces of both sides already read (without split vertices, in
// local numbering, sentinel -1, as FaceMesh_getFaceVertices gives them). The rows of side 0 are
// overwritten; both stay the caller's.
int MA_calculateFaceMapOfFaces(FaceMesh *const faceMeshes[2], int32_t noOfVertices, int32_t *vertexPermutation,
                               int32_t *faces0, int32_t noOfFaces0, int32_t width0, int32_t *faces1,
                               int32_t noOfFaces1, int32_t width1, int32_t **faceMap);
// Side-1 vertices (with split vertices) against each side-0 vertex: values offsets[v] ..
// offsets[v+1]-1. With no split vertex, values is the permutation itself when mayUsePerm is 1.
int MA_calculateSplitVertexMap(FaceMesh *const faceMeshes[2], int32_t noOfVertices, int32_t *vertexPermutation,
                               int32_t noOfFaces, const int32_t *faceMap, int mayUsePerm, int32_t counts[2],
                               int32_t **offsets, int32_t **values);
// Groups the elements around a vertex into components joined across shared faces not masked
// (bit f of faceMasks[e] masks face f). groups[e] gets the 1-based group of element e.
int MA_groupElements(int32_t vertex, int32_t noOfElements, const int32_t *faceMasks, const int32_t *elementTypes,
                     int32_t spare, const int32_t *vertices, int32_t *noOfGroups, int32_t *groups);
// 1 when no two entries share a target and none is -1. With a stream every fault is written and
// the check goes on; without, it stops at the first.
int checkPermutationIsInjective(int32_t n, const int32_t *permutation, FILE *stream);

// Lookup of a face mesh's faces by their sorted vertex tuples (vertices through the permutation
// when given), chained by each face's smallest vertex.
struct FaceMap {
  int32_t *m_entries;   // per face: face index, next face of the chain
  int32_t *m_heads;     // per vertex: the newest face whose smallest vertex it is, or -1
  int32_t m_width;      // entries per face
  int32_t *m_tuples;    // width sorted entries per face, the sentinel -1 last
  int32_t m_noOfVertices;
  int32_t m_noOfFaces;
  int32_t *m_incidence; // faces of each vertex, ascending (built on first neighbour search)
  int32_t *m_incidenceStart;
};

FaceMap *FaceMap_new(FaceMesh *faceMesh, int32_t noOfVertices, const int32_t *permutation);
// The first face of the chain whose first k sorted entries are those of the sorted tuple, or -1.
int32_t FaceMap_findFace(const FaceMap *lookup, int32_t k, const int32_t *sortedTuple);
// The first face other than `face` holding exactly two entries equal to a or b, or -1.
int32_t FaceMap_findNeighbour(FaceMap *lookup, int32_t face, int32_t a, int32_t b);
void FaceMap_delete(FaceMap *lookup);

#endif
