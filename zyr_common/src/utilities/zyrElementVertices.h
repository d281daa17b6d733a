#ifndef ZYR_ELEMENT_VERTICES_H
#define ZYR_ELEMENT_VERTICES_H
// Vertex counts of the element types (0 vertex, 1 bar, 2 triangle, 3 quadrilateral,
// 4 tetrahedron, 5 pyramid, 6 prism, 7 hexahedron). Kept down here because error records carry
// mesh elements; the mesh layer's element-type table reuses it.
#include <cstdint>

// The most vertices any element type has.
#define ZYR_MAX_ELEMENT_VERTICES 8

// The number of vertices of the type; a type outside the table has none.
int32_t ElementTopology_getNoOfVertices(int32_t elementType);

#endif
