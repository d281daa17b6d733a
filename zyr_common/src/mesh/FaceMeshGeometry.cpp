// The geometry of a face mesh: centroid, bounding box, edges with the faces on either side, the
// local length scale of its vertices and the centroid test that matching starts with.
#include "FaceMesh.h"

#include "GeometricAlgorithms.h"
#include "ElementMesh.h"
#include "InterfaceMatching.h"
#include "MatchingThreads.h"
#include "zyrAffineTransform3D.h"
#include "zyrAssert.h"
#include "zyrMemory.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <optional>
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

// The edges of faces in local numbering (nside entries per face, the sentinel ending a short
// face): a chain per smaller vertex, the newest entry first.
struct EdgeTable {
  std::vector<int32_t> m_head;
  std::vector<EdgeEntry> m_entries;
  int32_t m_internal = 0;

  EdgeTable(const int32_t *faces, int32_t nf, int32_t nside, int32_t sentinel, int32_t nv)
      : m_head(static_cast<size_t>(nv > 0 ? nv : 0), -1) {
    m_entries.reserve(static_cast<size_t>(nf) * static_cast<size_t>(nside));
    for (int32_t f = 0; f < nf; ++f) {
      const int32_t *face = faces + static_cast<int64_t>(f) * nside;
      int32_t k = 0;
      while (k < nside && face[k] != sentinel)
        ++k;
      for (int32_t p = 0; p < k; ++p) {
        const int32_t a = face[p];
        const int32_t b = face[p + 1 < k ? p + 1 : 0];
        const int32_t low = std::min(a, b);
        const int32_t high = std::max(a, b);
        int32_t e = m_head[static_cast<size_t>(low)];
        while (e >= 0 && m_entries[static_cast<size_t>(e)].m_other != high)
          e = m_entries[static_cast<size_t>(e)].m_next;
        if (e < 0) {
          m_entries.push_back({high, f, a < b ? -1 : -2, m_head[static_cast<size_t>(low)]});
          m_head[static_cast<size_t>(low)] = static_cast<int32_t>(m_entries.size() - 1);
        } else if (m_entries[static_cast<size_t>(e)].m_second == -1) {
          m_entries[static_cast<size_t>(e)].m_second = f;
        } else {
          m_entries[static_cast<size_t>(e)].m_second = m_entries[static_cast<size_t>(e)].m_first;
          m_entries[static_cast<size_t>(e)].m_first = f;
        }
      }
    }
    for (const EdgeEntry &entry : m_entries)
      if (entry.m_second >= 0)
        ++m_internal;
  }

  // Calls visit(v, entry) in the order of the edge lists: internal edges by smaller vertex, then
  // boundary edges likewise, each chain from its newest entry. The chains are walked once: the
  // boundary edges are noted on the way and visited after.
  template <class Visit> void inOrder(Visit visit) const {
    std::vector<std::pair<int32_t, int32_t>> boundary; // vertex, entry
    for (size_t v = 0; v < m_head.size(); ++v)
      for (int32_t e = m_head[v]; e >= 0; e = m_entries[static_cast<size_t>(e)].m_next) {
        const EdgeEntry &entry = m_entries[static_cast<size_t>(e)];
        if (entry.m_second >= 0)
          visit(static_cast<int32_t>(v), entry);
        else
          boundary.push_back({static_cast<int32_t>(v), e});
      }
    for (const auto &edge : boundary)
      visit(edge.first, m_entries[static_cast<size_t>(edge.second)]);
  }
};

// The lengths of the edges at each vertex added up, and counted.
struct EdgeSums {
  std::vector<double> m_sum;
  std::vector<int32_t> m_count;
};

// The edge lengths at each of the n vertices (coordinates xyz) added up in the order of the edge
// lists, so that every sum adds up the same way. The edge lists come chain by chain, so the sum
// and count of a chain's own vertex are kept at hand while its chain is walked (the same additions
// in the same order). Plain arithmetic on the arrays given, so it may run on another thread.
EdgeSums edgeSums(const EdgeTable &edges, int32_t n, const double *xyz) {
  EdgeSums sums{std::vector<double>(static_cast<size_t>(n), 0.0), std::vector<int32_t>(static_cast<size_t>(n), 0)};
  std::vector<double> &sum = sums.m_sum;
  std::vector<int32_t> &count = sums.m_count;
  int32_t current = -1; // the vertex whose sum and count are at hand
  double currentSum = 0.0;
  int32_t currentCount = 0;
  auto settle = [&]() {
    if (current >= 0) {
      sum[static_cast<size_t>(current)] = currentSum;
      count[static_cast<size_t>(current)] = currentCount;
    }
  };
  edges.inOrder([&](int32_t v, const EdgeEntry &entry) {
    if (v != current) {
      settle();
      current = v;
      currentSum = sum[static_cast<size_t>(v)];
      currentCount = count[static_cast<size_t>(v)];
    }
    const int32_t other = entry.m_other;
    double d2 = 0.0;
    for (int k = 0; k < 3; ++k) {
      const double d = xyz[3 * static_cast<size_t>(v) + k] - xyz[3 * static_cast<size_t>(other) + k];
      d2 += d * d;
    }
    const double length = std::sqrt(d2);
    currentSum += length;
    ++currentCount;
    if (other == v) {
      currentSum += length;
      ++currentCount;
    } else {
      sum[static_cast<size_t>(other)] += length;
      ++count[static_cast<size_t>(other)];
    }
  });
  settle();
  return sums;
}

// Mean length of the edges at each of the n vertices, from their sums. A vertex on no edge is an
// assertion failure.
double *meanEdgeLengths(const EdgeSums &sums, int32_t n, const char *tag) {
  const std::vector<int32_t> &count = sums.m_count;
  double *mean = zyrMemory_allocateArray<double>(n, tag);
  for (int32_t i = 0; i < n; ++i) {
    zyrAssert(count[i] != 0);
    mean[i] = sums.m_sum[static_cast<size_t>(i)] / count[static_cast<size_t>(i)];
  }
  return mean;
}

} // namespace

namespace {

// Centroid and box of the n vertices xyz, each when asked for or not valid, as matching asks for
// both.
void fillGeometry(FaceMesh *fm, const double *xyz, size_t n, bool centroid, bool box) {
  centroid = centroid || !BitField_isSet(&fm->m_flags, FACE_MESH_CENTROID_VALID);
  box = box || !BitField_isSet(&fm->m_flags, FACE_MESH_BOX_VALID);
  // One pass over the points for both; each sum and extreme is taken in point order all the same.
  double sum[3] = {0.0, 0.0, 0.0};
  double low[3] = {DBL_MAX, DBL_MAX, DBL_MAX};
  double high[3] = {-DBL_MAX, -DBL_MAX, -DBL_MAX};
  for (size_t i = 0; i < n; ++i)
    for (int k = 0; k < 3; ++k) {
      const double x = xyz[3 * i + k];
      sum[k] += x;
      low[k] = std::min(low[k], x);
      high[k] = std::max(high[k], x);
    }
  if (centroid) {
    for (int k = 0; k < 3; ++k)
      fm->m_centroid[k] = n > 0 ? sum[k] / static_cast<double>(n) : 0.0;
    BitField_setBit(&fm->m_flags, FACE_MESH_CENTROID_VALID);
  }
  if (box) {
    for (int k = 0; k < 3; ++k) {
      fm->m_boundingBox[k] = low[k];
      fm->m_boundingBox[3 + k] = high[k];
    }
    BitField_setBit(&fm->m_flags, FACE_MESH_BOX_VALID);
  }
}

// Centroid and box from one read of the coordinates.
void calculate(FaceMesh *fm, bool centroid, bool box) {
  const std::vector<double> xyz = localCoordinates(fm);
  fillGeometry(fm, xyz.data(), xyz.size() / 3, centroid, box);
}

// What matching reads of a face mesh, once: its faces in local numbering without split vertices
// and the coordinates of its local vertices in metres (m_n as FaceMesh_getVertexCoordinates
// answers: 0 without vertices, -1 when the coordinates cannot be had).
struct LocalMesh {
  int32_t *m_faces = nullptr;
  int32_t m_nf = 0;
  int32_t m_width = 0;
  double *m_xyz = nullptr;
  int32_t m_n = 0;

  explicit LocalMesh(FaceMesh *fm) {
    int32_t mixed = 0;
    int32_t *vertices = nullptr;
    int32_t nv = 0;
    m_nf = FaceMesh_getLocalFaces(fm, &m_faces, &m_width, &mixed, &vertices, &nv);
    ElementMesh *mesh = FaceMesh_getElementMesh(fm);
    if (nv > 0) {
      m_n = mesh == nullptr ? -1 : ElementMesh_getVertexCoordinates(mesh, "m", nv, vertices, &m_xyz);
      if (m_n != nv) {
        zyrMemory_freeAndClear(&m_xyz, __func__);
        m_n = -1;
      }
    }
    zyrMemory_free(vertices, __func__);
  }
  ~LocalMesh() {
    zyrMemory_free(m_faces, __func__);
    zyrMemory_free(m_xyz, __func__);
  }
  LocalMesh(const LocalMesh &) = delete;
  LocalMesh &operator=(const LocalMesh &) = delete;

  // The edge lengths at each local vertex added up (none without coordinates): plain arithmetic
  // on the arrays read, so it may run on another thread.
  EdgeSums sums() const {
    if (m_n < 1)
      return {};
    const EdgeTable edges(m_faces, m_nf > 0 ? m_nf : 0, m_width, -1, m_n);
    return edgeSums(edges, m_n, m_xyz);
  }
  // The local length scale (new array of m_n) from the sums, NULL when there are no coordinates.
  double *lengthScale(const EdgeSums &sums) const {
    return m_n < 1 ? nullptr : meanEdgeLengths(sums, m_n, "FaceMesh_getLocalLengthScale");
  }
  double *lengthScale() const { return lengthScale(sums()); }
};

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
  const EdgeTable edges(faces, nf, nside, sentinel, FaceMesh_getNoOfVertices(fm, withSplitVertices));
  zyrMemory_free(faces, __func__);
  const int32_t nInternal = edges.m_internal;
  const int32_t total = static_cast<int32_t>(edges.m_entries.size());
  int32_t *vertices = zyrMemory_allocateArray<int32_t>(2 * static_cast<int64_t>(total), __func__);
  int32_t *sides = zyrMemory_allocateArray<int32_t>(2 * static_cast<int64_t>(total), __func__);
  int32_t at = 0;
  edges.inOrder([&](int32_t v, const EdgeEntry &entry) {
    const bool down = entry.m_second == -2;
    vertices[2 * at] = down ? entry.m_other : v;
    vertices[2 * at + 1] = down ? v : entry.m_other;
    sides[2 * at] = entry.m_first;
    sides[2 * at + 1] = entry.m_second;
    ++at;
  });
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
  const LocalMesh local(fm);
  *scale = local.lengthScale();
  return *scale != nullptr ? local.m_n : 0;
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
  // Each side's faces and coordinates are read once and serve the box test (when the centroid or
  // box is not known yet), the length scale, the vertex search and the face map.
  auto known = [](const FaceMesh *fm) {
    return BitField_isSet(&fm->m_flags, FACE_MESH_CENTROID_VALID) && BitField_isSet(&fm->m_flags, FACE_MESH_BOX_VALID);
  };
  const bool boxesKnown = known(fm0) && known(fm1);
  if (boxesKnown && !FaceMesh_centroidsMatch(fm0, fm1, transform, 0.01, 1e-6))
    return 0;
  // Side 0's edge lengths are added up on another thread while side 1 is read (both are needed
  // unless the box test or the vertex counts end the match first).
  LocalMesh side0(fm0);
  std::optional<LocalMesh> read1;
  EdgeSums sums0;
  bool summed = false;
  auto readSide1 = [&read1, fm1]() { read1.emplace(fm1); };
  if (side0.m_n > 0 && MatchingThreads_count() > 1) {
    MatchingThreads_alongside([&side0, &sums0]() { sums0 = side0.sums(); }, readSide1);
    summed = true;
  } else {
    readSide1();
  }
  LocalMesh &side1 = *read1;
  if (!boxesKnown) {
    fillGeometry(fm0, side0.m_xyz, side0.m_n > 0 ? static_cast<size_t>(side0.m_n) : 0, false, false);
    fillGeometry(fm1, side1.m_xyz, side1.m_n > 0 ? static_cast<size_t>(side1.m_n) : 0, false, false);
    if (!FaceMesh_centroidsMatch(fm0, fm1, transform, 0.01, 1e-6))
      return 0;
  }
  const int32_t n0 = side0.m_n;
  int32_t *permutation = nullptr;
  if (n0 > 0 && n0 == side1.m_n) {
    const double reference[3] = {side1.m_xyz[0], side1.m_xyz[1], side1.m_xyz[2]};
    double *tolerances = summed ? side0.lengthScale(sums0) : side0.lengthScale();
    if (tolerances != nullptr) {
      for (int32_t i = 0; i < n0; ++i)
        tolerances[i] *= scaleFactor;
      if (transform == nullptr || zyrAffineTransform3D_apply(transform, "m", zyrAffineDouble, n0, side0.m_xyz) == 1)
        permutation = GA_matchVertices(n0, side0.m_xyz, side1.m_xyz, tolerances, reference);
    }
    zyrMemory_free(tolerances, "FaceMesh_getLocalLengthScale");
  }
  if (permutation == nullptr)
    return 0;
  if (!vertexMapOnly) {
    FaceMesh *const pair[2] = {fm0, fm1};
    int32_t *map = nullptr;
    if (faceMap == nullptr ||
        MA_calculateFaceMapOfFaces(pair, n0, permutation, side0.m_faces, side0.m_nf, side0.m_width, side1.m_faces,
                                   side1.m_nf, side1.m_width, &map) != 1) {
      zyrMemory_free(permutation, __func__);
      return 0;
    }
    *faceMap = map;
  }
  *vertexPermutation = permutation;
  return 1;
}
