#include "KelvoElements.h"

#include <cstddef>

namespace {

// Faces and labels as the library's element tables define them; the solver numbers vertices from
// 1 in native order except that a hexahedron swaps its third and fourth, and seventh and eighth,
// vertices.
const KelvoElementType kTypes[KELVO_KINDS] = {
    {"triangles", "triangle", 2, 3, 0, 2, {3}, {{0, 1, 2}}, {0, 1, 2}, {1}},
    {"quadrilaterals", "quadrilateral", 2, 4, 0, 3, {4}, {{0, 1, 2, 3}}, {0, 1, 2, 3}, {1}},
    {"tetrahedra",
     "tetrahedron",
     3,
     4,
     4,
     4,
     {3, 3, 3, 3},
     {{0, 2, 1}, {0, 1, 3}, {1, 2, 3}, {2, 0, 3}},
     {0, 1, 2, 3},
     {1, 2, 3, 4}},
    {"pyramids",
     "pyramid",
     3,
     5,
     5,
     7,
     {4, 3, 3, 3, 3},
     {{0, 3, 2, 1}, {0, 1, 4}, {1, 2, 4}, {2, 3, 4}, {3, 0, 4}},
     {0, 1, 2, 3, 4},
     {5, 3, 2, 4, 1}},
    {"prisms",
     "prism",
     3,
     6,
     5,
     5,
     {4, 4, 4, 3, 3},
     {{0, 1, 4, 3}, {1, 2, 5, 4}, {2, 0, 3, 5}, {0, 2, 1}, {3, 4, 5}},
     {0, 1, 2, 3, 4, 5},
     {2, 3, 1, 4, 5}},
    {"hexahedra",
     "hexahedron",
     3,
     8,
     6,
     6,
     {4, 4, 4, 4, 4, 4},
     {{0, 3, 2, 1}, {0, 1, 5, 4}, {1, 2, 6, 5}, {2, 3, 7, 6}, {0, 4, 7, 3}, {4, 5, 6, 7}},
     {0, 1, 3, 2, 4, 5, 7, 6},
     {5, 3, 2, 4, 1, 6}},
};

const KelvoGmshType kGmshTypes[] = {
    {1, 2, 1, KELVO_OTHER, 1, "2-node lines"},
    {2, 3, 2, KELVO_TRI, 1, "3-node triangles"},
    {3, 4, 2, KELVO_QUAD, 1, "4-node quadrilaterals"},
    {4, 4, 3, KELVO_TETRA, 1, "4-node tetrahedra"},
    {5, 8, 3, KELVO_HEXA, 1, "8-node hexahedra"},
    {6, 6, 3, KELVO_PENTA, 1, "6-node prisms"},
    {7, 5, 3, KELVO_PYRA, 1, "5-node pyramids"},
    {8, 3, 1, KELVO_OTHER, 2, "3-node lines"},
    {9, 6, 2, KELVO_TRI, 2, "6-node triangles"},
    {10, 9, 2, KELVO_QUAD, 2, "9-node quadrilaterals"},
    {11, 10, 3, KELVO_TETRA, 2, "10-node tetrahedra"},
    {12, 27, 3, KELVO_HEXA, 2, "27-node hexahedra"},
    {13, 18, 3, KELVO_PENTA, 2, "18-node prisms"},
    {14, 14, 3, KELVO_PYRA, 2, "14-node pyramids"},
    {15, 1, 0, KELVO_OTHER, 1, "points"},
    {16, 8, 2, KELVO_QUAD, 2, "8-node quadrilaterals"},
    {17, 20, 3, KELVO_HEXA, 2, "20-node hexahedra"},
    {18, 15, 3, KELVO_PENTA, 2, "15-node prisms"},
    {19, 13, 3, KELVO_PYRA, 2, "13-node pyramids"},
    {20, 9, 2, KELVO_TRI, 3, "9-node triangles"},
    {21, 10, 2, KELVO_TRI, 3, "10-node triangles"},
    {22, 12, 2, KELVO_TRI, 4, "12-node triangles"},
    {23, 15, 2, KELVO_TRI, 4, "15-node triangles"},
    {24, 15, 2, KELVO_TRI, 5, "15-node triangles"},
    {25, 21, 2, KELVO_TRI, 5, "21-node triangles"},
    {26, 4, 1, KELVO_OTHER, 3, "4-node lines"},
    {27, 5, 1, KELVO_OTHER, 4, "5-node lines"},
    {28, 6, 1, KELVO_OTHER, 5, "6-node lines"},
    {29, 20, 3, KELVO_TETRA, 3, "20-node tetrahedra"},
    {30, 35, 3, KELVO_TETRA, 4, "35-node tetrahedra"},
    {31, 56, 3, KELVO_TETRA, 5, "56-node tetrahedra"},
    {36, 16, 2, KELVO_QUAD, 3, "16-node quadrilaterals"},
    {37, 25, 2, KELVO_QUAD, 4, "25-node quadrilaterals"},
    {38, 36, 2, KELVO_QUAD, 5, "36-node quadrilaterals"},
    {92, 64, 3, KELVO_HEXA, 3, "64-node hexahedra"},
    {93, 125, 3, KELVO_HEXA, 4, "125-node hexahedra"},
};

} // namespace

const KelvoElementType *KelvoElements_get(int32_t kind) {
  if (kind < 0 || kind >= KELVO_KINDS)
    return nullptr;
  return &kTypes[kind];
}

void KelvoElements_toWez5(int32_t kind, int64_t count, const int32_t *native, int32_t *wez5) {
  const KelvoElementType *type = KelvoElements_get(kind);
  if (type == nullptr)
    return;
  const int32_t n = type->m_noOfVertices;
  for (int64_t e = 0; e < count; ++e) {
    const int32_t *from = native + e * n;
    int32_t *to = wez5 + e * n;
    for (int32_t i = 0; i < n; ++i)
      to[type->m_wez5Position[i]] = from[i];
  }
}

const KelvoGmshType *KelvoElements_gmshType(int32_t type) {
  for (const KelvoGmshType &t : kGmshTypes)
    if (t.m_type == type)
      return &t;
  return nullptr;
}
