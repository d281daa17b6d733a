#include "ElementConversion.h"

#include "ElementTopology.h"

#include <cstring>

namespace {

// The position permutation of one element: result[j] = element[p[j]]. Found by reordering the
// identity, which works because reordering only moves positions.
int vertexPermutation(int32_t type, int32_t convention, int mirrored, int32_t direction, int32_t *p, int32_t *n) {
  *n = ElementTopology_getNoOfVertices(type);
  if (*n < 1)
    return 0;
  for (int32_t j = 0; j < *n; ++j)
    p[j] = j;
  return ElementTopology_reorder(type, convention, mirrored, ELEMENT_TOPOLOGY_VERTICES, direction, 1, p);
}

template <int V> void permute(int64_t nel, const int32_t *p, const int32_t *in, int32_t *out) {
  int32_t q[V];
  for (int j = 0; j < V; ++j)
    q[j] = p[j];
  if (in != out) {
    for (int64_t e = 0; e < nel; ++e) {
      const int32_t *a = in + e * V;
      int32_t *b = out + e * V;
      for (int j = 0; j < V; ++j)
        b[j] = a[q[j]];
    }
    return;
  }
  for (int64_t e = 0; e < nel; ++e) {
    int32_t block[V];
    int32_t *b = out + e * V;
    for (int j = 0; j < V; ++j)
      block[j] = b[j];
    for (int j = 0; j < V; ++j)
      b[j] = block[q[j]];
  }
}

} // namespace

int ElementConversion_isVertexOrderNative(int32_t type, int32_t convention, int mirrored) {
  int32_t p[ELEMENT_TOPOLOGY_MAX_VERTICES];
  int32_t n = 0;
  if (!vertexPermutation(type, convention, mirrored, 0, p, &n))
    return -1;
  for (int32_t j = 0; j < n; ++j)
    if (p[j] != j)
      return 0;
  return 1;
}

int ElementConversion_reorderVertices(int32_t type, int32_t convention, int mirrored, int32_t direction, int64_t nel,
                                      const int32_t *in, int32_t *out) {
  int32_t p[ELEMENT_TOPOLOGY_MAX_VERTICES];
  int32_t n = 0;
  if (nel < 0 || !vertexPermutation(type, convention, mirrored, direction, p, &n))
    return 0;
  if (nel == 0)
    return 1;
  bool identity = true;
  for (int32_t j = 0; j < n; ++j)
    identity = identity && p[j] == j;
  if (identity) {
    if (in != out)
      std::memcpy(out, in, static_cast<size_t>(nel) * static_cast<size_t>(n) * sizeof(int32_t));
    return 1;
  }
  switch (n) {
  case 1:
    permute<1>(nel, p, in, out);
    break;
  case 2:
    permute<2>(nel, p, in, out);
    break;
  case 3:
    permute<3>(nel, p, in, out);
    break;
  case 4:
    permute<4>(nel, p, in, out);
    break;
  case 5:
    permute<5>(nel, p, in, out);
    break;
  case 6:
    permute<6>(nel, p, in, out);
    break;
  case 8:
    permute<8>(nel, p, in, out);
    break;
  default:
    return 0;
  }
  return 1;
}

int ElementConversion_revalueFaces(int32_t type, int32_t convention, int mirrored, int32_t direction, int64_t n,
                                   int32_t *faces) {
  const int32_t nf = ElementTopology_getNoOfFaces(type);
  if (nf < 1 || n < 0)
    return 0;
  // The value map over every number the table accepts (one more label than faces going back).
  const int32_t size = direction == 0 ? nf : nf + 1;
  int32_t map[ELEMENT_TOPOLOGY_MAX_FACES + 1];
  for (int32_t j = 0; j < size; ++j)
    map[j] = j;
  if (!ElementTopology_revalue(type, convention, mirrored, ELEMENT_TOPOLOGY_FACES, direction, size, map))
    return 0;
  // Going back, a number must name a native face (a conversion without a table leaves the map as
  // the identity, whose last entry is no face).
  for (int64_t i = 0; i < n; ++i)
    if (faces[i] < 0 || faces[i] >= size || map[faces[i]] < 0 || (direction == 1 && map[faces[i]] >= nf))
      return 0;
  for (int64_t i = 0; i < n; ++i)
    faces[i] = map[faces[i]];
  return 1;
}
