#ifndef ZYR_VISUAL_H
#define ZYR_VISUAL_H
// The stored display surface of one two-dimensional region: its faces as triangles and
// quadrilaterals over a private single-precision copy of their vertices in metres. Made once from
// the region's face mesh, it answers every display and measurement query about the surface
// (wireframe at a feature angle or as a dual line net, facetted display, normal, area, centroids,
// bounding box) without going back to the meshes.
//
// Persistent type "Visual" (id 19). Every attribute is written when it is set; the derived data
// (edges, feature values, normal, area, centroids) is never stored and is rebuilt on first use.
#include "BitField.h"
#include "zyrObject.h"

#include <cstdint>
#include <cstdio>

struct FaceMesh;
struct Region;
struct Vertices;
struct zyrAffineTransform3D;
struct zyrBlob;

// Validity bits of the derived data.
enum { VISUAL_NORMAL_VALID = 1, VISUAL_AREA_VALID = 2, VISUAL_EDGES_VALID = 3 };

struct Visual {
  zyrObject m_object;
  Vertices *m_vertices;         // owned; dimensionality 3, "m", single precision   "vertices"
  int32_t m_noOfTriangles;      //                                                 "noOfTriangles"
  int32_t m_noOfQuadrilaterals; //                                                 "noOfQuadrilaterals"
  zyrBlob *m_faceVertices;      // shared; 3 per triangle, then 4 per quadrilateral "faceVertices"
  Region *m_region;             //                                                 "region"
  // Derived.
  int32_t p_noOfBoundaryEdges;
  int32_t p_noOfInteriorEdges;
  int32_t *m_edges;       // owned; interior edges, then boundary edges (lower, higher)
  float *m_featureValues; // owned; one per interior edge
  double m_normal[3];
  double m_centroid[3];        // area weighted, metres
  double m_snappedCentroid[3]; // metres
  double m_area;               // square metres
  BitField m_flags;
  // The vertices' transform when the derived data was made: an undo that moves the vertices back
  // does not reload the visual, so the caches are checked against it before use.
  zyrAffineTransform3D *m_cacheTransform; // owned; NULL for none
  int32_t m_checked;                      // the stored faces have been checked against the vertices since the restore
};

// Visuals of an empty face mesh are allowed (no faces, no vertices). NULL when the face mesh's
// faces or coordinates cannot be read.
Visual *Visual_newFromFaceMesh(Region *region, FaceMesh *faceMesh);
// A visual of the region with a copy of the vertices (the transform composed into theirs) and the
// face list shared.
Visual *Visual_copy(Visual *visual, Region *region, const zyrAffineTransform3D *transform);
int Visual_delete(void *visual);
void Visual_clearSecondaryData(Visual *visual);
void Visual_print(Visual *visual, FILE *stream);

int Visual_calculateWireframe(Visual *visual);
// Feature angle in degrees; a negative angle gives the dual line net. Arrays are new (tracked
// allocator) and the caller's; on failure none are handed out and the counts are 0.
int Visual_getWireframeDisplay(Visual *visual, const char *units, double featureAngle, int32_t *noOfVertices,
                               float **coordinates, int32_t *noOfEdges, int32_t **edges);
void Visual_getWireframeDual(Visual *visual, const char *units, int32_t *noOfVertices, float **coordinates,
                             int32_t *noOfEdges, int32_t **edges);
int Visual_getFacettedDisplay(Visual *visual, const char *units, int32_t *noOfVertices, float **coordinates,
                              int32_t *noOfTriangles, int32_t *noOfQuadrilaterals, int32_t **faceVertices);
// As Visual_getFacettedDisplay, written into arrays the caller sized: the coordinates at
// `coordinates`, the triangles at `triangles` and the quadrilaterals at `quadrilaterals`, every
// index raised by `offset`. 1 when the coordinates were delivered.
int Visual_writeFacettedDisplay(Visual *visual, const char *units, int32_t offset, float *coordinates,
                                int32_t *triangles, int32_t *quadrilaterals);

int Visual_calculateNormal(Visual *visual);
int Visual_getNormal(Visual *visual, double normal[3]);
int Visual_calculateAreaAndCentroid(Visual *visual);
// Modes: 0 unweighted, 1 unweighted snapped, 10 area weighted, 11 area weighted snapped.
int Visual_getCentroid(Visual *visual, const char *units, int32_t mode, double centroid[3]);
// In the square of the units (NULL: square metres).
int Visual_getArea(Visual *visual, const char *units, double *area);
int Visual_getBoundingBox(Visual *visual, const char *units, double box[6]);
int32_t Visual_getNoOfVertices(Visual *visual);
// The number of faces, with the triangles and quadrilaterals apart.
int32_t Visual_getNoOfFaces(Visual *visual, int32_t *triangles, int32_t *quadrilaterals);
Region *Visual_getRegion(const Visual *visual);
int Visual_transform(Visual *visual, const zyrAffineTransform3D *transform);
// The point and the result in metres.
int Visual_snapToClosestVertex(Visual *visual, const double point[3], double closest[3]);

// The chains of edges that the dual line net keys by the lower vertex of an edge.
struct EdgeMapEntry {
  int32_t m_vertex; // the higher vertex
  int32_t m_index;  // the line vertex made for the edge
  int32_t m_unused; // 0
  int32_t m_next;   // next entry of the chain, -1 at the end
};

struct EdgeMap {
  int32_t m_n;      // chains
  int32_t *m_heads; // first entry of each chain, -1 for an empty one
  EdgeMapEntry *m_entries;
  int32_t m_noOfEntries;
  int32_t m_capacity;
};

// NULL when n < 1.
EdgeMap *EdgeMap_new(int32_t n);
void EdgeMap_delete(EdgeMap *map);
// 1 and the stored index when {a, b} is in the map; else 0 and -1.
int Edgemap_seenEdge(const EdgeMap *map, int32_t a, int32_t b, int32_t *index);
// Stores {a, b} when absent (1); when present, 1 if its index equals the one given, else 0.
int Edgemap_saveEdge(EdgeMap *map, int32_t a, int32_t b, int32_t index);

// Type hooks.
int64_t Visual_getSize();
int Visual_dump(void *visual);
int Visual_restore(void *visual, int32_t flag);

#endif
