#ifndef ZYR_FACE_SET_H
#define ZYR_FACE_SET_H
// Faces of the elements of one element set that lie on one surface: per face its element (index
// in the set) and its local face number in the native numbering. Face vertices are never stored;
// they come from the element connectivity when asked for.
//
// Persistent type "FaceSet" (id 9). Attributes are written as they change. Stored data is checked
// on first use after a restore: faces that do not fit the element set are reported (error 20006)
// and the set is read as empty.
#include "zyrObject.h"

#include <cstdint>
#include <cstdio>

struct ElementSet;
struct FaceMesh;
struct HashTable;
struct Numbering;
struct zyrBlob;

struct FaceSet {
  zyrObject m_object;
  FaceMesh *m_faceMesh;     // owner, or NULL          "faceMesh"
  ElementSet *m_elementSet; //                         "elementSet"
  int32_t m_nfc;            // faces                   "nfc"
  zyrBlob *m_kelfc;         // element of each face    "kelfc"
  zyrBlob *m_krffc;         // native local face       "krffc"
  int32_t m_minVerticesPerFace; // cache; -1 when not computed
  int32_t m_maxVerticesPerFace;
  int32_t m_checked; // the fields have been checked since the last restore
};

// Takes over both arrays of nfc entries (tracked allocator), the local faces given in the
// convention. NULL, with the arrays released, for an element or face that the element set does not
// have (error 10020) or a convention that cannot express the type's faces (error 20006).
FaceSet *FaceSet_new(ElementSet *elementSet, int32_t convention, int32_t nfc, int32_t *elements,
                     int32_t *localFaces);
// Shares the lists; face mesh and element set are the copies the table gives (the element set
// itself when the table has none); (set, copy) is entered in the table.
FaceSet *FaceSet_copy(FaceSet *set, HashTable *copyTable);
// A new set on the same element set, without face mesh, holding the listed faces moved out of set.
FaceSet *FaceSet_split(FaceSet *set, int32_t count, const int32_t *faces);
// Appends the listed faces of `from` (distinct indices) to `to`, in list order. 1, or 0 (nothing
// changed) for a bad list or two sets on different element sets.
int FaceSet_moveFaces(FaceSet *from, FaceSet *to, int32_t count, const int32_t *faces);
int FaceSet_delete(void *set);
void FaceSet_print(const FaceSet *set, FILE *stream);

int32_t FaceSet_getNoOfFaces(const FaceSet *set);
ElementSet *FaceSet_getElementSet(const FaceSet *set);
FaceMesh *FaceSet_getFaceMesh(const FaceSet *set);
int FaceSet_setFaceMesh(FaceSet *set, FaceMesh *faceMesh);
// Smallest and largest number of vertices of the set's faces (0 and 0 without faces).
int FaceSet_getNoOfVerticesPerFace(const FaceSet *set, int32_t *smallest, int32_t *largest);
// Three-vertex faces and the others; answers nfc.
int32_t FaceSet_getNoOfTrisAndQuads(const FaceSet *set, int32_t *triangles, int32_t *others);

// Copies of the element and local face lists (into the caller's arrays when given), the faces in
// the convention, mirrored when asked and the mesh is reflected. 0 (error 20006) when the
// convention cannot express the faces; a zone numbering answers 0.
int FaceSet_getFaces(const FaceSet *set, int32_t convention, const Numbering *numbering, int mirror, int32_t *nfc,
                     int32_t **elements, int32_t **localFaces);
// One row of *stride vertices per face (native face walk, padded with *padValue = -1), into the
// caller's array (room for *stride per face) or a new one. The stride grows to the largest face;
// a caller's array whose stride is too small is refused. Faces are reversed when mirroring is
// asked for and the mesh is reflected. Answers nfc, or 0 with an error.
int32_t FaceSet_getFaceVertices(const FaceSet *set, int32_t convention, const Numbering *numbering, int mirror,
                                int32_t *stride, int32_t **vertices, int32_t *padded, int32_t *padValue);
// The distinct vertex numbers of the faces: in order of first appearance (stable 1) or ascending.
// Into the caller's array when given, else a new one; answers the count.
int32_t FaceSet_getVertices(const FaceSet *set, const Numbering *numbering, int stable, int32_t **vertices);

// Type hooks.
int64_t FaceSet_getSize();
int FaceSet_dump(void *set);
int FaceSet_restore(void *set, int32_t flag);

#endif
