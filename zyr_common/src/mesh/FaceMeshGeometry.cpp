// The geometry of a face mesh: centroid, bounding box, edges with the faces on either side, the
// local length scale of its vertices and the centroid test that matching starts with.
#include "FaceMesh.h"

#include "GeometricAlgorithms.h"
#include "InterfaceMatching.h"
#include "zyrAffineTransform3D.h"
#include "zyrAssert.h"
#include "zyrMemory.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <vector>

namespace {

// Coordinates in metres of the local vertices without split vertices.
std::vector<double> localCoordinates(FaceMesh *fm) {
  double *xyz = nullptr;
  const int32_t n = FaceMesh_getVertexCoordinates(fm, 0, "m", &xyz);
  std::vector<double> result;
  if (n > 0)
    result.assign(xyz, xyz + 3 * static_cast<int64_t>(n));
  zyrMemory_free(xyz, __func__);
  return result;
}

// One edge entry of a vertex's chain.
struct EdgeEntry {
  int32_t m_other; // the larger vertex
  int32_t m_first;
  int32_t m_second; // a face, or -1 / -2 for a boundary edge running up / down its face
  int32_t m_next;
};

} // namespace

namespace {

// Centroid and box from one read of the coordinates; the one not asked for is filled too when it
// is not valid, as matching asks for both.
void calculate(FaceMesh *fm, bool centroid, bool box) {
  centroid = centroid || !BitField_isSet(&fm->m_flags, FACE_MESH_CENTROID_VALID);
  box = box || !BitField_isSet(&fm->m_flags, FACE_MESH_BOX_VALID);
  const std::vector<double> xyz = localCoordinates(fm);
  const size_t n = xyz.size() / 3;
  if (centroid) {
    double sum[3] = {0.0, 0.0, 0.0};
    for (size_t i = 0; i < n; ++i)
      for (int k = 0; k < 3; ++k)
        sum[k] += xyz[3 * i + k];
    for (int k = 0; k < 3; ++k)
      fm->m_centroid[k] = n > 0 ? sum[k] / static_cast<double>(n) : 0.0;
    BitField_setBit(&fm->m_flags, FACE_MESH_CENTROID_VALID);
  }
  if (box) {
    for (int k = 0; k < 3; ++k) {
      fm->m_boundingBox[k] = DBL_MAX;
      fm->m_boundingBox[3 + k] = -DBL_MAX;
    }
    for (size_t i = 0; i < n; ++i)
      for (int k = 0; k < 3; ++k) {
        fm->m_boundingBox[k] = std::min(fm->m_boundingBox[k], xyz[3 * i + k]);
        fm->m_boundingBox[3 + k] = std::max(fm->m_boundingBox[3 + k], xyz[3 * i + k]);
      }
    BitField_setBit(&fm->m_flags, FACE_MESH_BOX_VALID);
  }
}

} // namespace

int FaceMesh_calculateCentroid(FaceMesh *fm) {
  BitField_clearBit(&fm->m_flags, FACE_MESH_CENTROID_VALID);
  calculate(fm, true, false);
  return 1;
}

int FaceMesh_calculateBoundingBox(FaceMesh *fm) {
  BitField_clearBit(&fm->m_flags, FACE_MESH_BOX_VALID);
  calculate(fm, false, true);
  return 1;
}

int FaceMesh_getCentroid(FaceMesh *fm, double centroid[3]) {
  if (!BitField_isSet(&fm->m_flags, FACE_MESH_CENTROID_VALID))
    calculate(fm, true, false);
  for (int k = 0; k < 3; ++k)
    centroid[k] = fm->m_centroid[k];
  return 1;
}

int FaceMesh_getBoundingBox(FaceMesh *fm, double box[6]) {
  if (!BitField_isSet(&fm->m_flags, FACE_MESH_BOX_VALID))
    calculate(fm, false, true);
  for (int k = 0; k < 6; ++k)
    box[k] = fm->m_boundingBox[k];
  return 1;
}

int32_t FaceMesh_getEdges(FaceMesh *fm, int withSplitVertices, int local, const Numbering *numbering,
                          int32_t **edgeVertices, int32_t **edgeFaces, int32_t *internal, int32_t *boundary) {
  *edgeVertices = nullptr;
  *edgeFaces = nullptr;
  *internal = 0;
  *boundary = 0;
  int32_t *faces = nullptr;
  int32_t nside = 0;
  int32_t mixed = 0;
  int32_t sentinel = -1;
  const int32_t nf = FaceMesh_getFaceVertices(fm, withSplitVertices, 1, 0, nullptr, 0, &faces, &nside, &mixed, &sentinel);
  if (nf < 1)
    return 0;
  const int32_t nv = FaceMesh_getNoOfVertices(fm, withSplitVertices);
  std::vector<int32_t> head(static_cast<size_t>(nv > 0 ? nv : 0), -1);
  std::vector<EdgeEntry> entries;
  entries.reserve(static_cast<size_t>(nf) * static_cast<size_t>(nside));
  for (int32_t f = 0; f < nf; ++f) {
    const int32_t *face = faces + static_cast<int64_t>(f) * nside;
    int32_t k = 0;
    while (k < nside && face[k] != sentinel)
      ++k;
    for (int32_t p = 0; p < k; ++p) {
      const int32_t a = face[p];
      const int32_t b = face[(p + 1) % k];
      const int32_t low = std::min(a, b);
      const int32_t high = std::max(a, b);
      int32_t e = head[static_cast<size_t>(low)];
      while (e >= 0 && entries[static_cast<size_t>(e)].m_other != high)
        e = entries[static_cast<size_t>(e)].m_next;
      if (e < 0) {
        entries.push_back({high, f, a < b ? -1 : -2, head[static_cast<size_t>(low)]});
        head[static_cast<size_t>(low)] = static_cast<int32_t>(entries.size() - 1);
      } else if (entries[static_cast<size_t>(e)].m_second == -1) {
        entries[static_cast<size_t>(e)].m_second = f;
      } else {
        entries[static_cast<size_t>(e)].m_second = entries[static_cast<size_t>(e)].m_first;
        entries[static_cast<size_t>(e)].m_first = f;
      }
    }
  }
  zyrMemory_free(faces, __func__);
  int32_t nInternal = 0;
  for (const EdgeEntry &entry : entries)
    if (entry.m_second >= 0)
      ++nInternal;
  const int32_t total = static_cast<int32_t>(entries.size());
  int32_t *vertices = zyrMemory_allocateArray<int32_t>(2 * static_cast<int64_t>(total), __func__);
  int32_t *sides = zyrMemory_allocateArray<int32_t>(2 * static_cast<int64_t>(total), __func__);
  int32_t inAt = 0;
  int32_t outAt = nInternal;
  for (int32_t v = 0; v < nv; ++v)
    for (int32_t e = head[static_cast<size_t>(v)]; e >= 0; e = entries[static_cast<size_t>(e)].m_next) {
      const EdgeEntry &entry = entries[static_cast<size_t>(e)];
      const int32_t at = entry.m_second >= 0 ? inAt++ : outAt++;
      const bool down = entry.m_second == -2;
      vertices[2 * at] = down ? entry.m_other : v;
      vertices[2 * at + 1] = down ? v : entry.m_other;
      sides[2 * at] = entry.m_first;
      sides[2 * at + 1] = entry.m_second;
    }
  if (!local) {
    int32_t *list = nullptr;
    FaceMesh_getElementMeshVertices(fm, withSplitVertices, 1, &list);
    for (int64_t i = 0; i < 2 * static_cast<int64_t>(total); ++i)
      vertices[i] = list[vertices[i]];
    zyrMemory_free(list, __func__);
    if (numbering != nullptr && !FaceMesh_relabelVertices(fm, numbering, 2 * static_cast<int64_t>(total), vertices)) {
      zyrMemory_free(vertices, __func__);
      zyrMemory_free(sides, __func__);
      return 0;
    }
  }
  *edgeVertices = vertices;
  *edgeFaces = sides;
  *internal = nInternal;
  *boundary = total - nInternal;
  return total;
}

int32_t FaceMesh_getLocalLengthScale(FaceMesh *fm, double **scale) {
  *scale = nullptr;
  int32_t *vertices = nullptr;
  int32_t *faces = nullptr;
  int32_t internal = 0;
  int32_t boundary = 0;
  const int32_t ne = FaceMesh_getEdges(fm, 0, 1, nullptr, &vertices, &faces, &internal, &boundary);
  const std::vector<double> xyz = localCoordinates(fm);
  const int32_t n = static_cast<int32_t>(xyz.size() / 3);
  if (n < 1) {
    zyrMemory_free(vertices, __func__);
    zyrMemory_free(faces, __func__);
    return 0;
  }
  double *sum = zyrMemory_allocateZeroedArray<double>(n, __func__);
  std::vector<int32_t> count(static_cast<size_t>(n), 0);
  for (int32_t e = 0; e < ne; ++e) {
    const int32_t a = vertices[2 * e];
    const int32_t b = vertices[2 * e + 1];
    double d2 = 0.0;
    for (int k = 0; k < 3; ++k) {
      const double d = xyz[3 * static_cast<size_t>(a) + k] - xyz[3 * static_cast<size_t>(b) + k];
      d2 += d * d;
    }
    const double length = std::sqrt(d2);
    sum[a] += length;
    sum[b] += length;
    ++count[static_cast<size_t>(a)];
    ++count[static_cast<size_t>(b)];
  }
  zyrMemory_free(vertices, __func__);
  zyrMemory_free(faces, __func__);
  for (int32_t i = 0; i < n; ++i) {
    zyrAssert(count[i] != 0);
    sum[i] /= count[static_cast<size_t>(i)];
  }
  *scale = sum;
  return n;
}

int FaceMesh_centroidsMatch(FaceMesh *fm0, FaceMesh *fm1, const zyrAffineTransform3D *transform, double factor,
                            double floor) {
  double c0[3];
  double c1[3];
  FaceMesh_getCentroid(fm0, c0);
  FaceMesh_getCentroid(fm1, c1);
  if (transform != nullptr)
    zyrAffineTransform3D_apply(transform, "m", zyrAffineDouble, 1, c0);
  double box0[6];
  double box1[6];
  FaceMesh_getBoundingBox(fm0, box0);
  FaceMesh_getBoundingBox(fm1, box1);
  double d0 = 0.0;
  double d1 = 0.0;
  for (int k = 0; k < 3; ++k) {
    d0 += (box0[3 + k] - box0[k]) * (box0[3 + k] - box0[k]);
    d1 += (box1[3 + k] - box1[k]) * (box1[3 + k] - box1[k]);
  }
  const double limit = std::max(factor * factor * std::max(d0, d1), floor);
  double sum = 0.0;
  for (int k = 0; k < 3; ++k) {
    sum += (c0[k] - c1[k]) * (c0[k] - c1[k]);
    if (sum > limit)
      return 0;
  }
  return 1;
}

int FaceMesh_match(FaceMesh *fm0, FaceMesh *fm1, const zyrAffineTransform3D *transform, double scaleFactor,
                   int vertexMapOnly, int32_t **vertexPermutation, int32_t **faceMap) {
  *vertexPermutation = nullptr;
  if (faceMap != nullptr)
    *faceMap = nullptr;
  const int32_t nf = FaceMesh_getNoOfFaces(fm0);
  if (fm0 == fm1 || nf < 1 || nf != FaceMesh_getNoOfFaces(fm1))
    return 0;
  if (!FaceMesh_centroidsMatch(fm0, fm1, transform, 0.01, 1e-6))
    return 0;
  double *xyz0 = nullptr;
  double *xyz1 = nullptr;
  const int32_t n0 = FaceMesh_getVertexCoordinates(fm0, 0, "m", &xyz0);
  const int32_t n1 = FaceMesh_getVertexCoordinates(fm1, 0, "m", &xyz1);
  int32_t *permutation = nullptr;
  if (n0 > 0 && n0 == n1) {
    const double reference[3] = {xyz1[0], xyz1[1], xyz1[2]};
    double *tolerances = nullptr;
    if (FaceMesh_getLocalLengthScale(fm0, &tolerances) == n0) {
      for (int32_t i = 0; i < n0; ++i)
        tolerances[i] *= scaleFactor;
      if (transform == nullptr || zyrAffineTransform3D_apply(transform, "m", zyrAffineDouble, n0, xyz0) == 1)
        permutation = GA_matchVertices(n0, xyz0, xyz1, tolerances, reference);
    }
    zyrMemory_free(tolerances, __func__);
  }
  zyrMemory_free(xyz0, __func__);
  zyrMemory_free(xyz1, __func__);
  if (permutation == nullptr)
    return 0;
  if (!vertexMapOnly) {
    FaceMesh *const pair[2] = {fm0, fm1};
    int32_t *map = nullptr;
    if (faceMap == nullptr || MA_calculateFaceMap(pair, n0, permutation, &map) != 1) {
      zyrMemory_free(permutation, __func__);
      return 0;
    }
    *faceMap = map;
  }
  *vertexPermutation = permutation;
  return 1;
}
