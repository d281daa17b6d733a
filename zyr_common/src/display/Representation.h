#ifndef ZYR_REPRESENTATION_H
#define ZYR_REPRESENTATION_H
// The display store of a model: the visual of every two-dimensional region that has one, and the
// geometric and display queries about a location (bounding box, centroid, wireframe and facetted
// display arrays) answered by combining the visuals of the regions it resolves to.
//
// Persistent type "Representation" (id 15). "topology" is written at creation; the region and
// visual lists are written by the dump hook after the map changed. The visuals are not owned.
//
// Display arrays handed out are new (tracked allocator) and the caller's: float coordinates,
// x y z per vertex in the requested length units; wireframe edges 2 indices per line; facetted
// faces 3 indices per triangle for all triangles, then 4 per quadrilateral.
#include "zyrObject.h"

#include <cstdint>
#include <cstdio>

struct HashTable;
struct LinkMap;
struct Region;
struct Topology;
struct Visual;
struct zyrAffineTransform3D;

struct Representation {
  zyrObject m_object;
  LinkMap *m_visuals;   // owned; region -> visual under type 1   "regions", "visuals"
  Topology *m_topology; //                                        "topology"
};

Representation *Representation_new(Topology *topology);
int Representation_delete(void *representation);
void Representation_print(const Representation *representation, FILE *stream);

Visual *Representation_getVisual(const Representation *representation, const Region *region);
// 0 (error 20006) when the visual has no region or its region already shows another visual.
int Representation_addVisual(Representation *representation, Visual *visual);
int Representation_removeVisual(Representation *representation, Visual *visual);
// regionMap: old region -> new region.
int Representation_copyVisuals(Representation *representation, HashTable *regionMap,
                               const zyrAffineTransform3D *transform);
int Representation_moveVisuals(Representation *representation, int32_t count, Region **regions,
                               const zyrAffineTransform3D *transform);
int Representation_deleteRegions(Representation *representation, int32_t count, Region **regions);
// Takes over every link of the other and deletes it.
int Representation_combineRepresentations(Representation *representation, Representation *other);

// The visuals of the regions a location resolves to (volumes give their bounding surfaces), each
// once, in resolution order; *visuals is a new array. ignoreUnknown: names the topology does not
// know are passed over.
int Representation_getVisuals(Representation *representation, const char *location, int32_t ignoreUnknown,
                              int32_t *count, Visual ***visuals);
int Representation_getBoundingBox(Representation *representation, const char *location, int32_t ignoreUnknown,
                                  const char *units, double box[6]);
// Modes as Visual_getCentroid: 0, 1, 10, 11.
int Representation_getCentroid(Representation *representation, const char *location, int32_t ignoreUnknown,
                               const char *units, int32_t mode, double *x, double *y, double *z);
int Representation_getWireframeDisplay(Representation *representation, const char *location, int32_t ignoreUnknown,
                                       const char *units, double featureAngle, int32_t *noOfVertices,
                                       float **coordinates, int32_t *noOfEdges, int32_t **edges);
int Representation_getFacettedDisplay(Representation *representation, const char *location, int32_t ignoreUnknown,
                                      const char *units, int32_t *noOfVertices, float **coordinates,
                                      int32_t *noOfTriangles, int32_t *noOfQuadrilaterals, int32_t **faceVertices);

// Drops the vertices that no index names and renumbers the indices without gaps, keeping the
// order; the coordinate array (3 floats per vertex) only shrinks. 0, with nothing changed, when
// an index is not a vertex.
int purgeUnwantedVertices(int64_t noOfIndices, int32_t *indices, int32_t *noOfVertices, float **coordinates);

// Type hooks.
int64_t Representation_getSize();
int Representation_dump(void *representation);
int Representation_restore(void *representation, int32_t flag);

#endif
