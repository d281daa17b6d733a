#ifndef KELVO_ELEMENTS_H
#define KELVO_ELEMENTS_H
// The element kinds that the mesh reader hands over, with the library's own (native) vertex and
// face numbering and the solver's numbering that the intermediate mesh file uses, and the Gmsh
// element types with the kind each one is read as.
//
// Native numbering: vertices of a tetrahedron 0-2 around the base and 3 the apex, of a pyramid
// 0-3 around the base and 4 the apex, of a prism 0-2 below and 3-5 above, of a hexahedron 0-3
// below and 4-7 above. Gmsh numbers the corners of its elements the same way, so its corner
// lists are native lists.
#include <cstdint>

enum KelvoKind {
  KELVO_TRI = 0,
  KELVO_QUAD = 1,
  KELVO_TETRA = 2,
  KELVO_PYRA = 3,
  KELVO_PENTA = 4,
  KELVO_HEXA = 5,
  KELVO_KINDS = 6,
  KELVO_OTHER = -1 // points, lines and types the reader does not keep
};

struct KelvoElementType {
  const char *m_name; // plural, for the summary ("tetrahedra")
  const char *m_singular;
  int32_t m_dimension; // 2 or 3
  int32_t m_noOfVertices;
  int32_t m_noOfFaces; // faces of a volume element; 0 for a surface element
  int32_t m_wez5Code;  // the solver's element type code ("ZYR/TYPE")
  int32_t m_faceSize[6];
  int32_t m_faceVertices[6][4]; // native vertices of each native face, outward orientation
  int32_t m_wez5Position[8];    // where native vertex i goes in the solver's vertex list
  int32_t m_wez5Face[6];        // the solver's label (from 1) of native face i
};

// The table entry of a kind (KELVO_TRI ... KELVO_HEXA), or nullptr.
const KelvoElementType *KelvoElements_get(int32_t kind);

// Writes the vertices of `count` elements of a kind from native order into the solver's order.
void KelvoElements_toWez5(int32_t kind, int64_t count, const int32_t *native, int32_t *wez5);

// A Gmsh element type: its node count, dimension and the kind it is read as (its corner nodes
// come first, so a higher-order element is read as the first-order element of its corners).
struct KelvoGmshType {
  int32_t m_type;
  int32_t m_noOfNodes;
  int32_t m_dimension;
  int32_t m_kind;  // KelvoKind, KELVO_OTHER for points and lines
  int32_t m_order; // 1 for first-order elements
  const char *m_name;
};

// The entry of a Gmsh element type, or nullptr when the reader does not know the type.
const KelvoGmshType *KelvoElements_gmshType(int32_t type);

#endif
