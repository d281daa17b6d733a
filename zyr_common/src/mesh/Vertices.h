#ifndef ZYR_VERTICES_H
#define ZYR_VERTICES_H
// The coordinates of the vertices of one element mesh or display object: 3 values per vertex in
// single or double precision, kept in a shared blob in their own length unit. Moving or rescaling
// never rewrites the coordinates: the optional transform and the unit conversion are applied to
// what a caller asks for. Split vertices (extra vertices at the position of a base vertex) follow
// the base vertices: split vertex s is vertex noOfVertices + s.
//
// Persistent type "Vertices" (id 18). Every attribute is written when it changes, so the dump
// hook has nothing to do.
#include "zyrObject.h"

#include <cstdint>
#include <cstdio>

struct zyrAffineTransform3D;
struct zyrBlob;

// Precision request of Vertices_new that stores single precision.
enum { VERTICES_SINGLE_REQUEST = 21 };
// Stored precisions.
enum { VERTICES_SINGLE = 1, VERTICES_DOUBLE = 2 };

struct Vertices {
  zyrObject m_object;
  zyrAffineTransform3D *m_transform; // owned; NULL is the identity      "transform"
  int32_t m_noOfVertices;            // base vertices                     "noOfVertices"
  zyrBlob *m_xyz;                    // shared; float or double values    "xyz"
  char *m_units;                     // owned                             "units"
  int32_t m_precision;               // VERTICES_SINGLE or VERTICES_DOUBLE "precision"
  int32_t m_dimensionality;          //                                   "dimensionality"
  int32_t m_noOfSplitVertices;       //                                   "splitVertices"
  int32_t *m_splitVertices;          // owned; the base vertex of each split vertex
  int32_t m_boundingBoxValid;
  int32_t m_centroidValid;
  double m_boundingBoxMin[3]; // of the transformed coordinates, in m_units
  double m_boundingBoxMax[3];
  double m_centroid[3];    // of the stored coordinates, in m_units
  int32_t m_nearestVertex; // base vertex closest to m_centroid
  int32_t m_checked;       // the fields have been checked against the blob since the last restore
};

// Installs the hooks of the type "Vertices"; may be called any number of times.
int Vertices_registerType();

// Takes over 3 * noOfVertices doubles (tracked allocator; NULL when there are none). Request
// VERTICES_SINGLE_REQUEST narrows them to floats in place. NULL (error 10020) for a bad argument;
// the array is released then too.
Vertices *Vertices_new(int32_t dimensionality, const char *units, int32_t precision, int32_t noOfVertices,
                       double *coordinates);
// The listed base vertices of the source, in list order; NULL (error 10020) for a number that is
// not a base vertex.
Vertices *Vertices_newSubset(const Vertices *source, int32_t count, const int32_t *vertices);
// Shares the source's coordinates; the transform, when given, is applied after the source's.
Vertices *Vertices_copy(const Vertices *source, const zyrAffineTransform3D *transform);
int Vertices_delete(void *vertices);
void Vertices_print(const Vertices *vertices, FILE *stream);

// Base and split vertices.
int32_t Vertices_getNoOfVertices(const Vertices *vertices);
int32_t Vertices_getDimensionality(const Vertices *vertices);
int32_t Vertices_getPrecision(const Vertices *vertices);
// A copy for the caller to free (zyrCString_free).
char *Vertices_getUnits(const Vertices *vertices);
// Relabels the coordinates; 0 for a unit the units service does not know.
int Vertices_setUnits(Vertices *vertices, const char *units);
int Vertices_transform(Vertices *vertices, const zyrAffineTransform3D *transform);
const zyrAffineTransform3D *Vertices_getTransform(const Vertices *vertices);
int Vertices_isInverted(const Vertices *vertices);

// Transformed coordinates in the given units (NULL: the record's own) and precision (1 float,
// 2 double). Count 0 means every vertex, split ones after the base ones; otherwise the listed
// vertices. *coordinates NULL: a new array (tracked allocator) is handed out, else it must hold
// 3 values per delivered vertex. Answers the number delivered, 0 when there are no base vertices,
// -1 on failure (bad precision, vertex number, transform or unit).
int32_t Vertices_getCoordinates(Vertices *vertices, const char *units, int32_t precision, int32_t count,
                                const int32_t *list, void **coordinates);
// Minimum x, y, z then maximum x, y, z; the result of the unit conversion.
int Vertices_getBoundingBox(Vertices *vertices, const char *units, double box[6]);
// The centroid of the base vertices, or with snap 1 the nearest base vertex, transformed and in
// the given units; *vertex gets the nearest base vertex (-1 when there is none, result 0).
int Vertices_getCentroid(Vertices *vertices, const char *units, int32_t snap, double centroid[3], int32_t *vertex);

// Adds count split vertices with the given sources (taken over, tracked allocator). A source that
// is itself a split vertex stands for its base vertex. 0 (error 10020, nothing changed) for a
// source that is not a vertex.
int Vertices_split(Vertices *vertices, int32_t count, int32_t *sources);
// The number of split vertices; *sources gets the record's own list (not a copy).
int32_t Vertices_getSplitVertices(const Vertices *vertices, const int32_t **sources);

// Type hooks.
int64_t Vertices_getSize();
int Vertices_dump(void *vertices);
int Vertices_restore(void *vertices, int32_t flag);

#endif
