#ifndef ELEMENT_TOPOLOGY_H
#define ELEMENT_TOPOLOGY_H
// The element types of the mesh database and the labelling conventions in which lists of element
// vertices, edges and faces are read and written. The tables are constant; each (type,
// convention) record completes its inverse and mirrored tables and its flags on first use.
//
// A numbering holds, at slot i, the convention's label of native item i. A numbering without a
// label 0 is shifted (labels start at 1); one that is not the identity (0-based, or 1-based when
// shifted) is reordered. A table whose first slot is ELEMENT_TOPOLOGY_NO_ENTRY does not exist: the
// convention cannot express that kind of item of that type. A kind of which the type has no items
// (the edges of a vertex, the faces of a bar) has an empty numbering that is defined, neither
// shifted nor reordered.
//
// Inverse numberings have one slot more than items: entry L holds the native item with label L;
// the unused end (label 0 when shifted, label n otherwise) holds -1. Mirrored numberings are those
// of the reflected element: position i of a reflected element takes item mirror[i] of the
// unreflected one.
//
// Type and convention arguments outside the tables are refused: counts of 0, no tables, names of
// NULL, status 0.
#include "zyrElementVertices.h" // ElementTopology_getNoOfVertices

#include <cstdint>
#include <cstdio>

// Element types.
enum {
  ZYR_ELEMENT_NODE = 0,
  ZYR_ELEMENT_BAR_2 = 1,
  ZYR_ELEMENT_TRI_3 = 2,
  ZYR_ELEMENT_QUAD_4 = 3,
  ZYR_ELEMENT_TETRA_4 = 4,
  ZYR_ELEMENT_PYRA_5 = 5,
  ZYR_ELEMENT_PENTA_6 = 6,
  ZYR_ELEMENT_HEXA_8 = 7
};

// Labelling conventions; 0 is the library's own (native) one.
enum {
  zyrConvention_ZYR = 0,
  zyrConvention_CGNS = 1,
  zyrConvention_WEZ5 = 2,
  zyrConvention_QO = 3,
  zyrConvention_TARVEL = 4,
  zyrConvention_POLDIX = 5,
  zyrConvention_VTK = 6,
  zyrConvention_BRUN = 7
};

// Kinds of item for the conversions.
enum { ELEMENT_TOPOLOGY_VERTICES = 0, ELEMENT_TOPOLOGY_EDGES = 1, ELEMENT_TOPOLOGY_FACES = 2 };

// The "no entry" value of every table.
#define ELEMENT_TOPOLOGY_NO_ENTRY (-99999)

#define ELEMENT_TOPOLOGY_MAX_VERTICES 8
#define ELEMENT_TOPOLOGY_MAX_EDGES 12
#define ELEMENT_TOPOLOGY_MAX_FACES 6
#define ELEMENT_TOPOLOGY_MAX_FACE_VERTICES 4

int32_t ElementTopology_getNoOfElementTypes();
int32_t ElementTopology_getNoOfConventions();
// New tracked arrays of the 8 ids in table order; the count is returned, the caller frees.
int32_t ElementTopology_getElementTypes(int32_t **types);
int32_t ElementTopology_getConventions(int32_t **conventions);
// Shared texts, not to be freed.
const char *ElementTopology_getElementTypeName(int32_t type);
const char *ElementTopology_getConventionName(int32_t convention);
// The convention's own name of the type ("HEXA_8", "VTK_WEDGE", ...).
const char *ElementTopology_getConventionElementName(int32_t type, int32_t convention);

int32_t ElementTopology_getDimensionality(int32_t type);
// ElementTopology_getNoOfVertices comes with the error records (zyrElementVertices.h).
int32_t ElementTopology_getNoOfEdges(int32_t type);
int32_t ElementTopology_getNoOfFaces(int32_t type);
// The convention's code of the type, or -1 when it has none.
int32_t ElementTopology_getConventionElementType(int32_t type, int32_t convention);

// E and the shared native edge list (two vertices per edge); the convention is not used.
int ElementTopology_getEdgeVertices(int32_t type, int32_t convention, int32_t *count, const int32_t **pairs);
// F, the shared vertex counts (6 slots) and vertex lists (4 slots per face, -1 after a
// triangle's third vertex) of the faces, native; the convention is not used.
int ElementTopology_getFaceVertices(int32_t type, int32_t convention, int32_t *count, const int32_t **vertexCounts,
                                    const int32_t **vertexLists);
// The edges of each face in the walk of its vertex list (4 slots per face, -1 padded), and per
// edge 1 when the walk runs against the edge's own vertex pair.
int ElementTopology_getFaceEdges(int32_t type, int32_t *count, const int32_t **edgeLists, const int32_t **reversed);
int32_t ElementTopology_getMinNoOfVerticesPerFace(int32_t type);
int32_t ElementTopology_getMaxNoOfVerticesPerFace(int32_t type);
void ElementTopology_getMaxSizes(int32_t *vertices, int32_t *edges, int32_t *faces, int32_t *verticesPerFace);

// Lookups per kind on the (type, convention) record: defined 1/0; shifted and reordered 1, 0 or
// -1 when not defined; the forward or inverse numbering, mirrored when asked, or NULL when not
// defined.
int ElementTopology_isVertexNumberingDefined(int32_t type, int32_t convention);
int ElementTopology_isVertexNumberingShifted(int32_t type, int32_t convention);
int ElementTopology_isVertexNumberingReordered(int32_t type, int32_t convention);
const int32_t *ElementTopology_getVertexNumbering(int32_t type, int32_t convention, int mirrored);
const int32_t *ElementTopology_getInverseVertexNumbering(int32_t type, int32_t convention, int mirrored);
int ElementTopology_isEdgeNumberingDefined(int32_t type, int32_t convention);
int ElementTopology_isEdgeNumberingShifted(int32_t type, int32_t convention);
int ElementTopology_isEdgeNumberingReordered(int32_t type, int32_t convention);
const int32_t *ElementTopology_getEdgeNumbering(int32_t type, int32_t convention, int mirrored);
const int32_t *ElementTopology_getInverseEdgeNumbering(int32_t type, int32_t convention, int mirrored);
int ElementTopology_isFaceNumberingDefined(int32_t type, int32_t convention);
int ElementTopology_isFaceNumberingShifted(int32_t type, int32_t convention);
int ElementTopology_isFaceNumberingReordered(int32_t type, int32_t convention);
const int32_t *ElementTopology_getFaceNumbering(int32_t type, int32_t convention, int mirrored);
const int32_t *ElementTopology_getInverseFaceNumbering(int32_t type, int32_t convention, int mirrored);

// Permutes, in place, the positions inside each of count consecutive blocks of per-item values
// (one block of V, E or F items per element). Direction 0 goes from native to the convention
// (native item i moves to the position of its label), 1 back. Answers 1, or 0 for a bad kind or
// direction, a negative count, or a numbering with no entry (items untouched).
int ElementTopology_reorder(int32_t type, int32_t convention, int mirrored, int32_t kind, int32_t direction,
                            int32_t count, int32_t *items);
// Replaces each of count local item numbers in place by its label (direction 0) or by the native
// item of the label (direction 1; a label no item has gives -1). Answers 1, or 0 for a bad kind
// or direction, a numbering with no entry, or a number outside the table (items untouched).
int ElementTopology_revalue(int32_t type, int32_t convention, int mirrored, int32_t kind, int32_t direction,
                            int32_t count, int32_t *items);

// A report of all the tables.
void ElementTopology_print(FILE *stream);

#endif
