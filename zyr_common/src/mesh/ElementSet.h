#ifndef ZYR_ELEMENT_SET_H
#define ZYR_ELEMENT_SET_H
// The connectivity of a group of elements of one type inside one element mesh: per element its
// vertex numbers, which index the mesh's Vertices. Stored in the native vertex order; callers hand
// lists in and take them out in any labelling convention, mirrored when the mesh is reflected.
//
// Persistent type "ElementSet" (id 7). Attributes are written as they change, so the dump hook
// has nothing to do. Stored data is checked against itself on first use after a restore: a set
// whose counts or vertex numbers do not fit is reported (error 20006) and read as empty.
#include "zyrObject.h"

#include <cstdint>
#include <cstdio>

struct ElementMesh;
struct HashTable;
struct IntegerMap;
struct Numbering;
struct zyrBlob;

struct ElementSet {
  zyrObject m_object;
  ElementMesh *m_elementMesh; // owner, or NULL   "elementMesh"
  int32_t m_type;             // element type      "type"
  int32_t m_nel;              // elements          "nel"
  zyrBlob *m_kvxel;           // nel * V integers  "kvxel"
  int32_t m_checked;          // the fields have been checked since the last restore
};

// Takes over the length vertex numbers (tracked allocator), given in the convention. NULL, with
// the array released, for a bad argument (error 10020) or a convention that cannot express the
// type's vertices (error 20006).
ElementSet *ElementSet_new(int32_t type, int32_t convention, int32_t length, int32_t *vertices);
// Shares the connectivity; (set, copy) is entered in the copy table (keyed by object).
ElementSet *ElementSet_copy(ElementSet *set, HashTable *copyTable);
int ElementSet_delete(void *set);
void ElementSet_print(const ElementSet *set, FILE *stream);

int32_t ElementSet_getNoOfElements(const ElementSet *set);
int32_t ElementSet_getElementType(const ElementSet *set);
ElementMesh *ElementSet_getElementMesh(const ElementSet *set);
int32_t ElementSet_getNoOfVerticesPerElement(const ElementSet *set);
int32_t ElementSet_getNoOfFacesPerElement(const ElementSet *set);
int32_t ElementSet_getConventionElementType(const ElementSet *set, int32_t convention);

// The element numbers 0 .. nel-1 as a new array; with a zone numbering each is offset by the
// set's first label in it, and a numbering that does not hold the set answers 0.
int ElementSet_getElements(const ElementSet *set, const Numbering *numbering, int32_t **elements, int32_t *count);
// A new copy of the connectivity in the convention, mirrored when asked and the mesh is reflected;
// with a zone numbering the vertex numbers are its labels. 0 with no array when the convention
// cannot express the type, or the numbering does not number the set's mesh or one of its vertices.
int ElementSet_getElementVertices(const ElementSet *set, int32_t convention, const Numbering *numbering, int mirror,
                                  int32_t **vertices, int32_t *nel, int32_t *noOfVerticesPerElement);
// As ElementSet_getElementVertices, but the native unmirrored list is the set's own array, lent
// until ElementSet_releaseElementVertexPointer.
int ElementSet_getElementVertexPointer(const ElementSet *set, int32_t convention, const Numbering *numbering,
                                       int mirror, int32_t **vertices, int32_t *nel, int32_t *noOfVerticesPerElement);
int ElementSet_releaseElementVertexPointer(const ElementSet *set, int32_t **vertices);
// The vertices of one element into buffer (at least 8 entries), labelled as above when a
// numbering is given; 0 for a bad index, conversion or numbering.
int ElementSet_getElement(const ElementSet *set, int32_t element, int32_t convention, const Numbering *numbering,
                          int mirror, int32_t *noOfVertices, int32_t *buffer);

int ElementSet_isInverted(const ElementSet *set);
// Moves the set between meshes (NULL: none), keeping both sides in step.
int ElementSet_setElementMesh(ElementSet *set, ElementMesh *mesh);
// Every vertex number v becomes its index in the map (-1 when absent); shared data is copied first.
int ElementSet_renumberVertices(ElementSet *set, const IntegerMap *map);
// Replaces type and connectivity (taken over, given in the convention); 0 as ElementSet_new.
int ElementSet_modifyElementTopology(ElementSet *set, int32_t type, int32_t convention, int32_t length,
                                     int32_t *vertices);

// The largest vertex number of the set, -1 when it has none.
int32_t ElementSet_getLargestVertex(const ElementSet *set);

// Type hooks.
int64_t ElementSet_getSize();
int ElementSet_dump(void *set);
int ElementSet_restore(void *set, int32_t flag);

#endif
