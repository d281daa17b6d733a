#include "Visual.h"

#include "FaceMesh.h"
#include "Region.h"
#include "Units.h"
#include "Vertices.h"
#include "zyrAffineTransform3D.h"
#include "zyrBlob.h"
#include "zyrCString.h"
#include "zyrError.h"
#include "zyrMemory.h"
#include "zyrMeshLayer.h"
#include "zyrTrace.h"
#include "zyrUUID.h"
#include "zyrWorker.h"

#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

namespace {

const char *regionName(const Visual *v) { return v->m_region != nullptr ? Region_getName(v->m_region) : ""; }

const int32_t *faceList(const Visual *v) {
  return v->m_faceVertices != nullptr ? static_cast<const int32_t *>(zyrBlob_getData(v->m_faceVertices)) : nullptr;
}

int64_t faceEntries(const Visual *v) {
  return 3 * static_cast<int64_t>(v->m_noOfTriangles) + 4 * static_cast<int64_t>(v->m_noOfQuadrilaterals);
}

int32_t vertexCount(const Visual *v) { return v->m_vertices != nullptr ? Vertices_getNoOfVertices(v->m_vertices) : 0; }

// Makes stored data that does not fit together safe to read: a face list that is missing, too
// short or names a vertex that does not exist leaves the visual without faces.
void ensureConsistent(Visual *v) {
  if (v->m_checked != 0)
    return;
  v->m_checked = 1;
  const int64_t entries = faceEntries(v);
  bool ok = v->m_noOfTriangles >= 0 && v->m_noOfQuadrilaterals >= 0;
  if (ok && entries > 0) {
    const int32_t *faces = faceList(v);
    ok = faces != nullptr && zyrBlob_getType(v->m_faceVertices) == ZYR_TYPE_INT &&
         zyrBlob_getSize(v->m_faceVertices) >= 4 * entries;
    const int32_t nv = vertexCount(v);
    for (int64_t i = 0; ok && i < entries; ++i)
      ok = faces[i] >= 0 && faces[i] < nv;
  }
  if (ok)
    return;
  v->m_noOfTriangles = 0;
  v->m_noOfQuadrilaterals = 0;
  Visual_clearSecondaryData(v);
  char key[ZYR_UUID_BASE64_SIZE];
  zyrObject_getUUIDString(v, key);
  ZYR_ERROR(ZYR_I_INTERNAL_ERROR, "The stored visual %s is inconsistent.\n", key);
}

bool sameTransform(const zyrAffineTransform3D *a, const zyrAffineTransform3D *b) {
  static const double identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  const double *matrixA = a != nullptr ? a->m_A : identity;
  const double *matrixB = b != nullptr ? b->m_A : identity;
  for (int k = 0; k < 9; ++k)
    if (matrixA[k] != matrixB[k])
      return false;
  for (int k = 0; k < 3; ++k)
    if ((a != nullptr ? a->m_v[k] : 0.0) != (b != nullptr ? b->m_v[k] : 0.0))
      return false;
  if (a == nullptr || b == nullptr)
    return true; // a zero shift means the same in every unit
  if (a->m_v[0] == 0 && a->m_v[1] == 0 && a->m_v[2] == 0)
    return true;
  return a->m_units != nullptr && b->m_units != nullptr && std::strcmp(a->m_units, b->m_units) == 0;
}

void noteTransform(Visual *v) {
  zyrAffineTransform3D_delete(v->m_cacheTransform);
  const zyrAffineTransform3D *now = v->m_vertices != nullptr ? Vertices_getTransform(v->m_vertices) : nullptr;
  v->m_cacheTransform = now != nullptr ? zyrAffineTransform3D_copy(now) : nullptr;
}

// Run before any derived data is used.
void checkCaches(Visual *v) {
  ensureConsistent(v);
  if (v->m_flags.m_flags == 0)
    return;
  const zyrAffineTransform3D *now = v->m_vertices != nullptr ? Vertices_getTransform(v->m_vertices) : nullptr;
  if (!sameTransform(v->m_cacheTransform, now))
    Visual_clearSecondaryData(v);
}

// Transformed coordinates in metres, single precision; empty when none can be had.
std::vector<float> metres(Visual *v) {
  std::vector<float> xyz;
  const int32_t n = vertexCount(v);
  if (n < 1)
    return xyz;
  xyz.resize(3 * static_cast<size_t>(n));
  void *out = xyz.data();
  if (Vertices_getCoordinates(v->m_vertices, nullptr, VERTICES_SINGLE, 0, nullptr, &out) != n)
    xyz.clear();
  return xyz;
}

inline bool triangleNormal(const float *xyz, int32_t a, int32_t b, int32_t c, bool reverse, double n[3]) {
  const float *pa = xyz + 3 * static_cast<int64_t>(a);
  const float *pb = xyz + 3 * static_cast<int64_t>(b);
  const float *pc = xyz + 3 * static_cast<int64_t>(c);
  const double u[3] = {static_cast<double>(pb[0]) - pa[0], static_cast<double>(pb[1]) - pa[1],
                       static_cast<double>(pb[2]) - pa[2]};
  const double w[3] = {static_cast<double>(pc[0]) - pa[0], static_cast<double>(pc[1]) - pa[1],
                       static_cast<double>(pc[2]) - pa[2]};
  n[0] = u[1] * w[2] - u[2] * w[1];
  n[1] = u[2] * w[0] - u[0] * w[2];
  n[2] = u[0] * w[1] - u[1] * w[0];
  if (reverse)
    for (int k = 0; k < 3; ++k)
      n[k] = -n[k];
  const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
  if (length == 0.0)
    return false;
  for (int k = 0; k < 3; ++k)
    n[k] /= length;
  return true;
}

// The normal of face f of nt triangles followed by quadrilaterals; false when it has none.
inline bool faceNormal(int32_t nt, const int32_t *faces, const float *xyz, int32_t f, bool reverse, double n[3]) {
  if (f < nt) {
    const int32_t *t = faces + 3 * static_cast<int64_t>(f);
    return triangleNormal(xyz, t[0], t[1], t[2], reverse, n);
  }
  const int32_t *q = faces + 3 * static_cast<int64_t>(nt) + 4 * static_cast<int64_t>(f - nt);
  double n1[3], n2[3];
  const bool has1 = triangleNormal(xyz, q[0], q[1], q[2], reverse, n1);
  const bool has2 = triangleNormal(xyz, q[2], q[3], q[0], reverse, n2);
  if (has1 && has2)
    for (int k = 0; k < 3; ++k)
      n[k] = 0.5 * (n1[k] + n2[k]);
  else if (has1 || has2)
    for (int k = 0; k < 3; ++k)
      n[k] = has1 ? n1[k] : n2[k];
  return has1 || has2;
}

inline double triangleArea(const float *xyz, int32_t a, int32_t b, int32_t c) {
  const float *p0 = xyz + 3 * static_cast<int64_t>(a);
  const float *p1 = xyz + 3 * static_cast<int64_t>(b);
  const float *p2 = xyz + 3 * static_cast<int64_t>(c);
  const double u[3] = {static_cast<double>(p1[0]) - p0[0], static_cast<double>(p1[1]) - p0[1],
                       static_cast<double>(p1[2]) - p0[2]};
  const double w[3] = {static_cast<double>(p2[0]) - p0[0], static_cast<double>(p2[1]) - p0[1],
                       static_cast<double>(p2[2]) - p0[2]};
  const double n[3] = {u[1] * w[2] - u[2] * w[1], u[2] * w[0] - u[0] * w[2], u[0] * w[1] - u[1] * w[0]};
  return 0.5 * std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
}

// The first vertex with the smallest squared distance to the point.
void snap(const std::vector<float> &xyz, const double point[3], double closest[3]) {
  closest[0] = closest[1] = closest[2] = 0.0;
  const size_t n = xyz.size() / 3;
  double best = 0.0;
  for (size_t i = 0; i < n; ++i) {
    double d = 0.0;
    for (int k = 0; k < 3; ++k) {
      const double delta = static_cast<double>(xyz[3 * i + k]) - point[k];
      d += delta * delta;
    }
    if (i == 0 || d < best) {
      best = d;
      for (int k = 0; k < 3; ++k)
        closest[k] = xyz[3 * i + k];
    }
  }
}

// Caches survive a transform only when it keeps lengths and angles; scaling changes the area,
// the feature values and the length of a moved normal.
bool isOrthogonal(const zyrAffineTransform3D *t) {
  if (t == nullptr)
    return true;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      double dot = 0.0;
      for (int k = 0; k < 3; ++k)
        dot += t->m_A[3 * i + k] * t->m_A[3 * j + k];
      if (std::fabs(dot - (i == j ? 1.0 : 0.0)) > 1e-9)
        return false;
    }
  return true;
}

// Moves the caches of `to` (a copy of the caches valid before the transform) with the transform.
void moveCaches(Visual *to, const zyrAffineTransform3D *transform) {
  if (transform == nullptr)
    return;
  if (!isOrthogonal(transform)) {
    Visual_clearSecondaryData(to);
    return;
  }
  if (BitField_isSet(&to->m_flags, VISUAL_AREA_VALID)) {
    double points[6];
    std::memcpy(points, to->m_centroid, sizeof to->m_centroid);
    std::memcpy(points + 3, to->m_snappedCentroid, sizeof to->m_snappedCentroid);
    if (zyrAffineTransform3D_apply(transform, "m", zyrAffineDouble, 2, points) == 1) {
      std::memcpy(to->m_centroid, points, sizeof to->m_centroid);
      std::memcpy(to->m_snappedCentroid, points + 3, sizeof to->m_snappedCentroid);
    } else {
      BitField_clearBit(&to->m_flags, VISUAL_AREA_VALID);
    }
  }
  if (BitField_isSet(&to->m_flags, VISUAL_NORMAL_VALID)) {
    double points[6] = {to->m_normal[0], to->m_normal[1], to->m_normal[2], 0.0, 0.0, 0.0};
    if (zyrAffineTransform3D_apply(transform, "m", zyrAffineDouble, 2, points) == 1) {
      for (int k = 0; k < 3; ++k)
        to->m_normal[k] = points[k] - points[3 + k];
    } else {
      BitField_clearBit(&to->m_flags, VISUAL_NORMAL_VALID);
    }
  }
}

void clearOutputs(int32_t *noOfVertices, float **coordinates, int32_t *noOfEdges, int32_t **edges) {
  *noOfVertices = 0;
  *coordinates = nullptr;
  *noOfEdges = 0;
  *edges = nullptr;
}

} // namespace

// ---- edge map ---------------------------------------------------------------------------------

EdgeMap *EdgeMap_new(int32_t n) {
  if (n < 1)
    return nullptr;
  EdgeMap *map = zyrMemory_allocateArray<EdgeMap>(1, __func__);
  map->m_n = n;
  map->m_heads = zyrMemory_allocateArray<int32_t>(n, __func__);
  std::fill(map->m_heads, map->m_heads + n, -1);
  map->m_entries = nullptr;
  map->m_noOfEntries = 0;
  map->m_capacity = 0;
  return map;
}

void EdgeMap_delete(EdgeMap *map) {
  if (map == nullptr)
    return;
  zyrMemory_free(map->m_heads, __func__);
  zyrMemory_free(map->m_entries, __func__);
  zyrMemory_free(map, __func__);
}

namespace {

inline int32_t findEdge(const EdgeMap *map, int32_t low, int32_t high) {
  for (int32_t e = map->m_heads[low]; e >= 0; e = map->m_entries[e].m_next)
    if (map->m_entries[e].m_vertex == high)
      return e;
  return -1;
}

} // namespace

int Edgemap_seenEdge(const EdgeMap *map, int32_t a, int32_t b, int32_t *index) {
  *index = -1;
  const int32_t low = a < b ? a : b;
  const int32_t high = a < b ? b : a;
  if (map == nullptr || low < 0 || low >= map->m_n)
    return 0;
  const int32_t e = findEdge(map, low, high);
  if (e < 0)
    return 0;
  *index = map->m_entries[e].m_index;
  return 1;
}

int Edgemap_saveEdge(EdgeMap *map, int32_t a, int32_t b, int32_t index) {
  const int32_t low = a < b ? a : b;
  const int32_t high = a < b ? b : a;
  if (map == nullptr || low < 0 || low >= map->m_n)
    return 0;
  const int32_t e = findEdge(map, low, high);
  if (e >= 0)
    return map->m_entries[e].m_index == index ? 1 : 0;
  if (map->m_noOfEntries == map->m_capacity) {
    const int64_t capacity = map->m_capacity > 0 ? 2 * static_cast<int64_t>(map->m_capacity) : 64;
    map->m_capacity = capacity > INT32_MAX ? INT32_MAX : static_cast<int32_t>(capacity);
    map->m_entries = zyrMemory_reallocateArray(map->m_entries, map->m_capacity, __func__);
  }
  EdgeMapEntry &entry = map->m_entries[map->m_noOfEntries];
  entry.m_vertex = high;
  entry.m_index = index;
  entry.m_unused = 0;
  entry.m_next = map->m_heads[low];
  map->m_heads[low] = map->m_noOfEntries++;
  return 1;
}

// ---- wireframe edges ------------------------------------------------------------------------

namespace {

// The wireframe's edge table: one chain per lower vertex, new entries at the head; an entry holds
// the higher vertex and the first two faces. The second face is -1 while one face uses the edge,
// and -3 or less once three or more do. It is worked out from the faces alone and touches
// nothing shared, so that it can be made on a worker thread.
struct EdgeTable {
  struct Entry {
    int32_t m_other;
    int32_t m_first;
    int32_t m_second;
    int32_t m_next;
  };
  std::vector<int32_t> m_heads;
  std::vector<Entry> m_entries;
  int32_t m_boundary = 0;
  int32_t m_interior = 0;
};

// The edges of nt triangles followed by nq quadrilaterals over nv vertices, faces in order.
void buildEdgeTable(const int32_t *faces, int32_t nt, int32_t nq, int32_t nv, EdgeTable *table) {
  std::vector<int32_t> &heads = table->m_heads;
  std::vector<EdgeTable::Entry> &entries = table->m_entries;
  heads.assign(static_cast<size_t>(nv > 0 ? nv : 0), -1);
  entries.clear();
  entries.reserve(static_cast<size_t>(3 * static_cast<int64_t>(nt) + 4 * static_cast<int64_t>(nq)));
  int32_t boundary = 0;
  int32_t interior = 0;
  auto add = [&](int32_t a, int32_t b, int32_t f) {
    if (a == b)
      return;
    const int32_t low = a < b ? a : b;
    const int32_t high = a < b ? b : a;
    for (int32_t e = heads[static_cast<size_t>(low)]; e >= 0; e = entries[static_cast<size_t>(e)].m_next) {
      EdgeTable::Entry &entry = entries[static_cast<size_t>(e)];
      if (entry.m_other != high)
        continue;
      if (entry.m_second == -1) {
        --boundary;
        ++interior;
        entry.m_second = f;
      } else if (entry.m_second <= -2) {
        --entry.m_second;
      } else {
        entry.m_second = -3;
      }
      return;
    }
    entries.push_back({high, f, -1, heads[static_cast<size_t>(low)]});
    heads[static_cast<size_t>(low)] = static_cast<int32_t>(entries.size() - 1);
    ++boundary;
  };
  for (int32_t t = 0; t < nt; ++t) {
    const int32_t *p = faces + 3 * static_cast<int64_t>(t);
    add(p[0], p[1], t);
    add(p[1], p[2], t);
    add(p[2], p[0], t);
  }
  const int32_t *quads = faces != nullptr ? faces + 3 * static_cast<int64_t>(nt) : nullptr;
  for (int32_t q = 0; q < nq; ++q) {
    const int32_t *p = quads + 4 * static_cast<int64_t>(q);
    add(p[0], p[1], nt + q);
    add(p[1], p[2], nt + q);
    add(p[2], p[3], nt + q);
    add(p[3], p[0], nt + q);
  }
  table->m_boundary = boundary;
  table->m_interior = interior;
}

// Writes the table's interior edges, then its boundary edges, in chain order into `edges`
// (2 per edge) and the interior edges' feature values into `values`, from the face normals over
// `xyz` (metres; empty when the coordinates could not be had: every value is then -1).
void layOutEdges(const EdgeTable &table, const int32_t *faces, int32_t nt, int32_t nq, const std::vector<float> &xyz,
                 int32_t *edges, float *values) {
  // Face normals once per face rather than once per edge side.
  const int32_t nf = nt + nq;
  std::vector<double> normals;
  std::vector<char> hasNormal;
  if (table.m_interior > 0 && !xyz.empty()) {
    normals.resize(3 * static_cast<size_t>(nf));
    hasNormal.resize(static_cast<size_t>(nf));
    for (int32_t f = 0; f < nf; ++f)
      hasNormal[static_cast<size_t>(f)] =
          faceNormal(nt, faces, xyz.data(), f, false, &normals[3 * static_cast<size_t>(f)]);
  }
  int64_t inner = 0;
  int64_t outer = table.m_interior;
  const int32_t nv = static_cast<int32_t>(table.m_heads.size());
  for (int32_t low = 0; low < nv; ++low)
    for (int32_t e = table.m_heads[static_cast<size_t>(low)]; e >= 0;
         e = table.m_entries[static_cast<size_t>(e)].m_next) {
      const EdgeTable::Entry &entry = table.m_entries[static_cast<size_t>(e)];
      if (entry.m_second == -1) {
        edges[2 * outer] = low;
        edges[2 * outer + 1] = entry.m_other;
        ++outer;
        continue;
      }
      edges[2 * inner] = low;
      edges[2 * inner + 1] = entry.m_other;
      float value = -1.0f;
      if (entry.m_second >= 0 && !normals.empty()) {
        const size_t f1 = static_cast<size_t>(entry.m_first);
        const size_t f2 = static_cast<size_t>(entry.m_second);
        if (hasNormal[f1] && hasNormal[f2]) {
          const double *n1 = &normals[3 * f1];
          const double *n2 = &normals[3 * f2];
          value = static_cast<float>(n1[0] * n2[0] + n1[1] * n2[1] + n1[2] * n2[2]);
        }
      }
      values[inner] = value;
      ++inner;
    }
}

// Face-list entries from which a new visual's wireframe is worked out beside the store's writes.
const int64_t kWireframeBesideFrom = 1 << 16;

// The edge arrays are the wireframe calculation's, wherever it runs from.
const char *const kWireframe = "Visual_calculateWireframe";

void dropEdges(Visual *v) {
  if (BitField_isSet(&v->m_flags, VISUAL_EDGES_VALID)) {
    zyrMemory_freeAndClear(&v->m_edges, kWireframe);
    zyrMemory_freeAndClear(&v->m_featureValues, kWireframe);
  }
  v->p_noOfBoundaryEdges = 0;
  v->p_noOfInteriorEdges = 0;
}

// The edge and value arrays at their exact sizes (none for a count of 0).
void allocateEdges(Visual *v, const EdgeTable &table) {
  const int64_t total = static_cast<int64_t>(table.m_boundary) + table.m_interior;
  v->m_edges = total > 0 ? zyrMemory_allocateArray<int32_t>(2 * total, kWireframe) : nullptr;
  v->m_featureValues = table.m_interior > 0 ? zyrMemory_allocateArray<float>(table.m_interior, kWireframe) : nullptr;
}

void finishEdges(Visual *v, const EdgeTable &table) {
  v->p_noOfBoundaryEdges = table.m_boundary;
  v->p_noOfInteriorEdges = table.m_interior;
  if (v->m_flags.m_flags == 0)
    noteTransform(v);
  BitField_setBit(&v->m_flags, VISUAL_EDGES_VALID);
}

// The wireframe of a visual being made, worked out on a worker: the edge table from the faces at
// once, the edges and feature values once the calling thread hands over the coordinates (after
// making the vertices). The edge arrays come from the allocator's own malloc, for the calling
// thread to hand to the tracked allocator.
struct NewWireframe {
  const int32_t *m_faces;
  int32_t m_nt;
  int32_t m_nq;
  int32_t m_nv;
  EdgeTable m_table;
  std::mutex m_mutex;
  std::condition_variable m_handed;
  bool m_ready = false;
  bool m_go = false;
  std::vector<float> m_xyz;
  int32_t *m_edges = nullptr;
  float *m_values = nullptr;
  bool m_laidOut = false;

  NewWireframe(const int32_t *faces, int32_t nt, int32_t nq, int32_t nv)
      : m_faces(faces), m_nt(nt), m_nq(nq), m_nv(nv) {}

  // Calling thread: the coordinates in metres, or no go when the vertices were not made.
  void hand(bool go, std::vector<float> xyz) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_go = go;
    m_xyz = std::move(xyz);
    m_ready = true;
    m_handed.notify_one();
  }

  void work() {
    buildEdgeTable(m_faces, m_nt, m_nq, m_nv, &m_table);
    {
      std::unique_lock<std::mutex> lock(m_mutex);
      m_handed.wait(lock, [this] { return m_ready; });
    }
    const int64_t total = static_cast<int64_t>(m_table.m_boundary) + m_table.m_interior;
    if (!m_go)
      return;
    m_edges = total > 0 ? static_cast<int32_t *>(std::malloc(static_cast<size_t>(8 * total))) : nullptr;
    m_values = m_table.m_interior > 0 ? static_cast<float *>(std::malloc(4 * static_cast<size_t>(m_table.m_interior)))
                                      : nullptr;
    if ((total > 0 && m_edges == nullptr) || (m_table.m_interior > 0 && m_values == nullptr))
      return;
    layOutEdges(m_table, m_faces, m_nt, m_nq, m_xyz, m_edges, m_values);
    m_laidOut = true;
  }
};

} // namespace

// ---- the record -------------------------------------------------------------------------------

int64_t Visual_getSize() { return static_cast<int64_t>(sizeof(Visual)); }

int Visual_dump(void *) { return 1; }

int Visual_restore(void *object, int32_t flag) {
  Visual *v = static_cast<Visual *>(object);
  static const char *const surface[] = {"vertices", "noOfTriangles", "noOfQuadrilaterals", "faceVertices"};
  int changed = flag == 0;
  for (const char *name : surface)
    changed = changed || zyrObject_checkAttribute(v, flag, name);
  void *pointer = v->m_vertices;
  zyrObject_getPointer(v, flag, "vertices", &pointer);
  v->m_vertices = static_cast<Vertices *>(pointer);
  zyrObject_getInt(v, flag, "noOfTriangles", &v->m_noOfTriangles);
  zyrObject_getInt(v, flag, "noOfQuadrilaterals", &v->m_noOfQuadrilaterals);
  pointer = v->m_faceVertices;
  zyrObject_getPointer(v, flag, "faceVertices", &pointer);
  v->m_faceVertices = static_cast<zyrBlob *>(pointer);
  pointer = v->m_region;
  zyrObject_getPointer(v, flag, "region", &pointer);
  v->m_region = static_cast<Region *>(pointer);
  if (changed)
    Visual_clearSecondaryData(v);
  // The blob may not be loaded yet: the faces are checked against the vertices on first use.
  v->m_checked = 0;
  return 1;
}

void Visual_clearSecondaryData(Visual *v) {
  dropEdges(v);
  BitField_clearAll(&v->m_flags);
}

Visual *Visual_newFromFaceMesh(Region *region, FaceMesh *faceMesh) {
  zyrMeshLayer_initialise();
  if (faceMesh == nullptr)
    return nullptr;
  double *xyz = nullptr;
  const int32_t n = FaceMesh_getVertexCoordinates(faceMesh, 1, "m", &xyz);
  int32_t *faces = nullptr;
  int32_t triangles = 0;
  int32_t quadrilaterals = 0;
  const int32_t expected = FaceMesh_getNoOfFaces(faceMesh);
  const int32_t got =
      n >= 0 ? FaceMesh_getTrisAndQuads(faceMesh, 1, 1, nullptr, &faces, &triangles, &quadrilaterals) : 0;
  const int64_t entries = 3 * static_cast<int64_t>(triangles) + 4 * static_cast<int64_t>(quadrilaterals);
  if (n < 0 || got != (expected > 0 ? expected : 0) || entries > INT32_MAX) {
    zyrMemory_free(xyz, __func__);
    zyrMemory_free(faces, __func__);
    ZYR_ERROR(ZYR_I_INTERNAL_ERROR, "Unable to create the visual for region \"%s\" from its face mesh.\n",
              region != nullptr ? Region_getName(region) : "");
    return nullptr;
  }
  Visual *v = static_cast<Visual *>(zyrObject_new("Visual"));
  if (v == nullptr) {
    zyrMemory_free(xyz, __func__);
    zyrMemory_free(faces, __func__);
    return nullptr;
  }
  v->m_region = region;
  zyrObject_setPointer(v, "region", region);
  // The wireframe needs only the faces and the coordinates: it is worked out on a worker while
  // the store compresses and writes them (the faces are only read until the worker is joined).
  // A small surface is written quicker than a thread starts: its wireframe follows the writes.
  NewWireframe job(faces, triangles, quadrilaterals, n);
  zyrWorker worker;
  const bool beside = entries >= kWireframeBesideFrom;
  if (beside)
    zyrWorker_start(&worker, [&job] { job.work(); });
  v->m_vertices = Vertices_new(3, "m", VERTICES_SINGLE_REQUEST, n, xyz);
  zyrObject_setPointer(v, "vertices", v->m_vertices);
  // With its vertices made, the visual holds the coordinates the calculation works on.
  const bool made = vertexCount(v) == n;
  job.hand(made, made ? metres(v) : std::vector<float>());
  v->m_noOfTriangles = triangles;
  v->m_noOfQuadrilaterals = quadrilaterals;
  zyrObject_setInt(v, "noOfTriangles", triangles);
  zyrObject_setInt(v, "noOfQuadrilaterals", quadrilaterals);
  v->m_faceVertices = zyrBlob_new(faces, 4 * entries, ZYR_TYPE_INT);
  zyrObject_setPointer(v, "faceVertices", v->m_faceVertices);
  v->m_checked = 1;
  if (beside)
    zyrWorker_join(&worker);
  else
    job.work();
  if (job.m_laidOut) {
    // Handed to the tracked allocator where the calculation makes its arrays.
    const int64_t total = static_cast<int64_t>(job.m_table.m_boundary) + job.m_table.m_interior;
    zyrMemory_register(8 * total, job.m_edges, kWireframe);
    zyrMemory_register(4 * static_cast<int64_t>(job.m_table.m_interior), job.m_values, kWireframe);
    v->m_edges = job.m_edges;
    v->m_featureValues = job.m_values;
    finishEdges(v, job.m_table);
  } else {
    std::free(job.m_edges);
    std::free(job.m_values);
    Visual_calculateWireframe(v);
  }
  return v;
}

Visual *Visual_copy(Visual *source, Region *region, const zyrAffineTransform3D *transform) {
  if (source == nullptr)
    return nullptr;
  checkCaches(source);
  Visual *v = static_cast<Visual *>(zyrObject_new("Visual"));
  if (v == nullptr)
    return nullptr;
  v->m_region = region;
  zyrObject_setPointer(v, "region", region);
  v->m_noOfTriangles = source->m_noOfTriangles;
  v->m_noOfQuadrilaterals = source->m_noOfQuadrilaterals;
  zyrObject_setInt(v, "noOfTriangles", v->m_noOfTriangles);
  zyrObject_setInt(v, "noOfQuadrilaterals", v->m_noOfQuadrilaterals);
  v->m_faceVertices = zyrBlob_sharedCopy(source->m_faceVertices);
  zyrObject_setPointer(v, "faceVertices", v->m_faceVertices);
  v->m_vertices = source->m_vertices != nullptr ? Vertices_copy(source->m_vertices, transform) : nullptr;
  zyrObject_setPointer(v, "vertices", v->m_vertices);
  v->m_checked = 1;

  v->m_flags = source->m_flags;
  if (BitField_isSet(&source->m_flags, VISUAL_EDGES_VALID)) {
    v->p_noOfBoundaryEdges = source->p_noOfBoundaryEdges;
    v->p_noOfInteriorEdges = source->p_noOfInteriorEdges;
    const int64_t edges = static_cast<int64_t>(v->p_noOfBoundaryEdges) + v->p_noOfInteriorEdges;
    v->m_edges =
        edges > 0 ? static_cast<int32_t *>(zyrMemory_duplicate(source->m_edges, 8 * edges, __func__)) : nullptr;
    v->m_featureValues = v->p_noOfInteriorEdges > 0
                             ? static_cast<float *>(zyrMemory_duplicate(
                                   source->m_featureValues, 4 * static_cast<int64_t>(v->p_noOfInteriorEdges), __func__))
                             : nullptr;
  }
  v->m_area = source->m_area;
  std::memcpy(v->m_centroid, source->m_centroid, sizeof v->m_centroid);
  std::memcpy(v->m_snappedCentroid, source->m_snappedCentroid, sizeof v->m_snappedCentroid);
  std::memcpy(v->m_normal, source->m_normal, sizeof v->m_normal);
  moveCaches(v, transform);
  noteTransform(v);
  return v;
}

int Visual_delete(void *object) {
  Visual *v = static_cast<Visual *>(object);
  if (v == nullptr)
    return 0;
  if (zyrObject_canDelete(v)) {
    if (v->m_vertices != nullptr)
      Vertices_delete(v->m_vertices);
    if (v->m_faceVertices != nullptr)
      zyrBlob_delete(v->m_faceVertices);
  }
  v->m_vertices = nullptr;
  v->m_faceVertices = nullptr;
  Visual_clearSecondaryData(v);
  zyrAffineTransform3D_delete(v->m_cacheTransform);
  v->m_cacheTransform = nullptr;
  return zyrObject_delete(v);
}

int32_t Visual_getNoOfVertices(Visual *v) { return vertexCount(v); }

int32_t Visual_getNoOfFaces(Visual *v, int32_t *triangles, int32_t *quadrilaterals) {
  ensureConsistent(v);
  *triangles = v->m_noOfTriangles;
  *quadrilaterals = v->m_noOfQuadrilaterals;
  return v->m_noOfTriangles + v->m_noOfQuadrilaterals;
}

Region *Visual_getRegion(const Visual *v) { return v->m_region; }

// ---- wireframe --------------------------------------------------------------------------------

int Visual_calculateWireframe(Visual *v) {
  checkCaches(v);
  dropEdges(v);
  const int32_t nt = v->m_noOfTriangles;
  const int32_t nq = v->m_noOfQuadrilaterals;
  const int32_t *faces = faceList(v);
  EdgeTable table;
  buildEdgeTable(faces, nt, nq, vertexCount(v), &table);
  const std::vector<float> xyz = table.m_interior > 0 ? metres(v) : std::vector<float>();
  allocateEdges(v, table);
  layOutEdges(table, faces, nt, nq, xyz, v->m_edges, v->m_featureValues);
  finishEdges(v, table);
  return 1;
}

int Visual_getWireframeDisplay(Visual *v, const char *units, double featureAngle, int32_t *noOfVertices,
                               float **coordinates, int32_t *noOfEdges, int32_t **edges) {
  clearOutputs(noOfVertices, coordinates, noOfEdges, edges);
  if (featureAngle < 0.0) {
    Visual_getWireframeDual(v, units, noOfVertices, coordinates, noOfEdges, edges);
    return 1;
  }
  checkCaches(v);
  if (!BitField_isSet(&v->m_flags, VISUAL_EDGES_VALID))
    Visual_calculateWireframe(v);
  const double threshold = featureAngle == 0.0     ? 1.1
                           : featureAngle >= 180.0 ? -1.1
                                                   : std::cos(featureAngle * 0.017453292519943295);
  const int32_t interior = v->p_noOfInteriorEdges;
  const int32_t boundary = v->p_noOfBoundaryEdges;
  const int32_t nv = vertexCount(v);
  std::vector<char> shown(static_cast<size_t>(interior));
  int64_t count = boundary;
  for (int32_t e = 0; e < interior; ++e)
    if (threshold > static_cast<double>(v->m_featureValues[e])) {
      shown[static_cast<size_t>(e)] = 1;
      ++count;
    }
  std::vector<int32_t> renumber(static_cast<size_t>(nv > 0 ? nv : 0), -1);
  for (int32_t e = 0; e < interior; ++e)
    if (shown[static_cast<size_t>(e)]) {
      renumber[static_cast<size_t>(v->m_edges[2 * static_cast<int64_t>(e)])] = 0;
      renumber[static_cast<size_t>(v->m_edges[2 * static_cast<int64_t>(e) + 1])] = 0;
    }
  for (int64_t e = interior; e < static_cast<int64_t>(interior) + boundary; ++e) {
    renumber[static_cast<size_t>(v->m_edges[2 * e])] = 0;
    renumber[static_cast<size_t>(v->m_edges[2 * e + 1])] = 0;
  }
  int32_t flagged = 0;
  for (int32_t i = 0; i < nv; ++i)
    if (renumber[static_cast<size_t>(i)] == 0)
      renumber[static_cast<size_t>(i)] = flagged++;

  float *all = nullptr;
  if (nv < 1 || Vertices_getCoordinates(v->m_vertices, units, VERTICES_SINGLE, 0, nullptr,
                                        reinterpret_cast<void **>(&all)) != nv) {
    zyrMemory_free(all, __func__);
    return 0;
  }
  if (flagged == nv) {
    // Every vertex takes part: the numbers stay and so does the array.
    *coordinates = all;
  } else {
    float *out = flagged > 0 ? zyrMemory_allocateArray<float>(3 * static_cast<int64_t>(flagged), __func__) : nullptr;
    for (int32_t i = 0; i < nv; ++i) {
      const int32_t to = renumber[static_cast<size_t>(i)];
      if (to >= 0)
        std::memcpy(out + 3 * static_cast<int64_t>(to), all + 3 * static_cast<int64_t>(i), 3 * sizeof(float));
    }
    zyrMemory_free(all, __func__);
    *coordinates = out;
  }
  int32_t *lines = count > 0 ? zyrMemory_allocateArray<int32_t>(2 * count, __func__) : nullptr;
  int64_t at = 0;
  for (int32_t e = 0; e < interior; ++e)
    if (shown[static_cast<size_t>(e)]) {
      lines[at++] = renumber[static_cast<size_t>(v->m_edges[2 * static_cast<int64_t>(e)])];
      lines[at++] = renumber[static_cast<size_t>(v->m_edges[2 * static_cast<int64_t>(e) + 1])];
    }
  for (int64_t e = interior; e < static_cast<int64_t>(interior) + boundary; ++e) {
    lines[at++] = renumber[static_cast<size_t>(v->m_edges[2 * e])];
    lines[at++] = renumber[static_cast<size_t>(v->m_edges[2 * e + 1])];
  }
  *noOfVertices = flagged;
  *noOfEdges = static_cast<int32_t>(count);
  *edges = lines;
  return 1;
}

void Visual_getWireframeDual(Visual *v, const char *units, int32_t *noOfVertices, float **coordinates,
                             int32_t *noOfEdges, int32_t **edges) {
  clearOutputs(noOfVertices, coordinates, noOfEdges, edges);
  checkCaches(v);
  const int32_t nv = vertexCount(v);
  const int32_t nt = v->m_noOfTriangles;
  const int32_t nq = v->m_noOfQuadrilaterals;
  const int64_t lineCount = 3 * static_cast<int64_t>(nt) + 4 * static_cast<int64_t>(nq);
  const int64_t most = 4 * static_cast<int64_t>(nt) + 5 * static_cast<int64_t>(nq);
  float *xyz = nullptr;
  if (nv < 1 || lineCount > INT32_MAX || most > INT32_MAX ||
      Vertices_getCoordinates(v->m_vertices, units, VERTICES_SINGLE, 0, nullptr, reinterpret_cast<void **>(&xyz)) !=
          nv) {
    zyrMemory_free(xyz, __func__);
    return;
  }
  EdgeMap *map = EdgeMap_new(nv);
  float *points = most > 0 ? zyrMemory_allocateArray<float>(3 * most, __func__) : nullptr;
  int32_t *lines = lineCount > 0 ? zyrMemory_allocateArray<int32_t>(2 * lineCount, __func__) : nullptr;
  int32_t made = 0;
  int64_t at = 0;
  const int32_t *faces = faceList(v);
  auto point = [&](int32_t i) { return xyz + 3 * static_cast<int64_t>(i); };
  auto midpoint = [&](int32_t a, int32_t b) {
    int32_t index = -1;
    if (Edgemap_seenEdge(map, a, b, &index))
      return index;
    const float *pa = point(a);
    const float *pb = point(b);
    float *out = points + 3 * static_cast<int64_t>(made);
    for (int k = 0; k < 3; ++k)
      out[k] = (pa[k] + pb[k]) / 2.0f;
    Edgemap_saveEdge(map, a, b, made);
    return made++;
  };
  auto star = [&](const int32_t *p, int k) {
    int32_t mids[4];
    for (int i = 0; i < k; ++i)
      mids[i] = midpoint(p[i], p[(i + 1) % k]);
    float *centre = points + 3 * static_cast<int64_t>(made);
    for (int c = 0; c < 3; ++c) {
      float sum = 0.0f;
      for (int i = 0; i < k; ++i)
        sum += point(p[i])[c];
      centre[c] = sum / static_cast<float>(k);
    }
    const int32_t middle = made++;
    for (int i = 0; i < k; ++i) {
      lines[at++] = mids[i];
      lines[at++] = middle;
    }
  };
  for (int32_t t = 0; t < nt; ++t)
    star(faces + 3 * static_cast<int64_t>(t), 3);
  for (int32_t q = 0; q < nq; ++q)
    star(faces + 3 * static_cast<int64_t>(nt) + 4 * static_cast<int64_t>(q), 4);
  EdgeMap_delete(map);
  zyrMemory_free(xyz, __func__);
  if (made > 0 && made < most)
    points = zyrMemory_reallocateArray(points, 3 * static_cast<int64_t>(made), __func__);
  *noOfVertices = made;
  *coordinates = points;
  *noOfEdges = static_cast<int32_t>(lineCount);
  *edges = lines;
}

// ---- facetted display -------------------------------------------------------------------------

int Visual_writeFacettedDisplay(Visual *v, const char *units, int32_t offset, float *coordinates, int32_t *triangles,
                                int32_t *quadrilaterals) {
  checkCaches(v);
  const int32_t nv = vertexCount(v);
  if (nv > 0) {
    void *out = coordinates;
    if (Vertices_getCoordinates(v->m_vertices, units, VERTICES_SINGLE, 0, nullptr, &out) != nv)
      return 0;
  }
  const int32_t *faces = faceList(v);
  const int64_t nt = 3 * static_cast<int64_t>(v->m_noOfTriangles);
  const int64_t nq = 4 * static_cast<int64_t>(v->m_noOfQuadrilaterals);
  const bool invert = v->m_vertices != nullptr && Vertices_isInverted(v->m_vertices);
  for (int64_t i = 0; i < nt; i += 3) {
    triangles[i] = faces[i] + offset;
    triangles[i + 1] = faces[i + (invert ? 2 : 1)] + offset;
    triangles[i + 2] = faces[i + (invert ? 1 : 2)] + offset;
  }
  const int32_t *quads = faces != nullptr ? faces + nt : nullptr;
  for (int64_t i = 0; i < nq; i += 4) {
    quadrilaterals[i] = quads[i] + offset;
    quadrilaterals[i + 1] = quads[i + (invert ? 3 : 1)] + offset;
    quadrilaterals[i + 2] = quads[i + 2] + offset;
    quadrilaterals[i + 3] = quads[i + (invert ? 1 : 3)] + offset;
  }
  return 1;
}

int Visual_getFacettedDisplay(Visual *v, const char *units, int32_t *noOfVertices, float **coordinates,
                              int32_t *noOfTriangles, int32_t *noOfQuadrilaterals, int32_t **faceVertices) {
  checkCaches(v);
  *noOfVertices = 0;
  *coordinates = nullptr;
  *noOfTriangles = 0;
  *noOfQuadrilaterals = 0;
  *faceVertices = nullptr;
  const int32_t nv = vertexCount(v);
  const int64_t entries = faceEntries(v);
  float *xyz = nv > 0 ? zyrMemory_allocateArray<float>(3 * static_cast<int64_t>(nv), __func__) : nullptr;
  int32_t *faces = entries > 0 ? zyrMemory_allocateArray<int32_t>(entries, __func__) : nullptr;
  if (Visual_writeFacettedDisplay(v, units, 0, xyz, faces,
                                  faces != nullptr ? faces + 3 * static_cast<int64_t>(v->m_noOfTriangles) : nullptr) !=
      1) {
    zyrMemory_free(xyz, __func__);
    zyrMemory_free(faces, __func__);
    return 0;
  }
  *noOfVertices = nv;
  *coordinates = xyz;
  *noOfTriangles = v->m_noOfTriangles;
  *noOfQuadrilaterals = v->m_noOfQuadrilaterals;
  *faceVertices = faces;
  return 1;
}

// ---- measures ---------------------------------------------------------------------------------

int Visual_calculateNormal(Visual *v) {
  checkCaches(v);
  v->m_normal[0] = v->m_normal[1] = v->m_normal[2] = 0.0;
  const std::vector<float> xyz = metres(v);
  const bool reverse = v->m_vertices != nullptr && Vertices_isInverted(v->m_vertices);
  double centre[3];
  int32_t pivot = -1;
  if (v->m_vertices != nullptr)
    Vertices_getCentroid(v->m_vertices, nullptr, 0, centre, &pivot);
  const int32_t *faces = faceList(v);
  int32_t count = 0;
  if (pivot >= 0 && !xyz.empty()) {
    const int32_t nt = v->m_noOfTriangles;
    const int32_t nf = nt + v->m_noOfQuadrilaterals;
    for (int32_t f = 0; f < nf; ++f) {
      const int32_t *p = f < nt ? faces + 3 * static_cast<int64_t>(f)
                                : faces + 3 * static_cast<int64_t>(nt) + 4 * static_cast<int64_t>(f - nt);
      const int k = f < nt ? 3 : 4;
      bool uses = false;
      for (int i = 0; i < k; ++i)
        uses = uses || p[i] == pivot;
      double n[3];
      if (uses && faceNormal(nt, faces, xyz.data(), f, reverse, n)) {
        for (int c = 0; c < 3; ++c)
          v->m_normal[c] += n[c];
        ++count;
      }
    }
  }
  if (count == 0)
    ZYR_ERROR(ZYR_I_INTERNAL_ERROR, "Unable to calculate the normal for the visual associated\nwith region \"%s\".\n",
              regionName(v));
  else
    for (int c = 0; c < 3; ++c)
      v->m_normal[c] /= count;
  if (v->m_flags.m_flags == 0)
    noteTransform(v);
  BitField_setBit(&v->m_flags, VISUAL_NORMAL_VALID);
  return count > 0 ? 1 : 0;
}

int Visual_getNormal(Visual *v, double normal[3]) {
  checkCaches(v);
  if (!BitField_isSet(&v->m_flags, VISUAL_NORMAL_VALID))
    Visual_calculateNormal(v);
  std::memcpy(normal, v->m_normal, sizeof v->m_normal);
  return 1;
}

int Visual_calculateAreaAndCentroid(Visual *v) {
  checkCaches(v);
  v->m_area = 0.0;
  for (int k = 0; k < 3; ++k)
    v->m_centroid[k] = v->m_snappedCentroid[k] = 0.0;
  const std::vector<float> xyz = metres(v);
  const int32_t *faces = faceList(v);
  double sum[3] = {0.0, 0.0, 0.0};
  double area = 0.0;
  if (!xyz.empty()) {
    const float *p = xyz.data();
    for (int32_t t = 0; t < v->m_noOfTriangles; ++t) {
      const int32_t *f = faces + 3 * static_cast<int64_t>(t);
      const double a = triangleArea(p, f[0], f[1], f[2]);
      const double w = a * 0.3333333333333333;
      for (int k = 0; k < 3; ++k)
        sum[k] += w * (static_cast<double>(p[3 * static_cast<int64_t>(f[0]) + k]) +
                       p[3 * static_cast<int64_t>(f[1]) + k] + p[3 * static_cast<int64_t>(f[2]) + k]);
      area += a;
    }
    const int32_t *quads = faces != nullptr ? faces + 3 * static_cast<int64_t>(v->m_noOfTriangles) : nullptr;
    for (int32_t q = 0; q < v->m_noOfQuadrilaterals; ++q) {
      const int32_t *f = quads + 4 * static_cast<int64_t>(q);
      const double a = triangleArea(p, f[0], f[1], f[2]) + triangleArea(p, f[2], f[3], f[0]);
      const double w = 0.25 * a;
      for (int k = 0; k < 3; ++k)
        sum[k] +=
            w * (static_cast<double>(p[3 * static_cast<int64_t>(f[0]) + k]) + p[3 * static_cast<int64_t>(f[1]) + k] +
                 p[3 * static_cast<int64_t>(f[2]) + k] + p[3 * static_cast<int64_t>(f[3]) + k]);
      area += a;
    }
  }
  v->m_area = area;
  int ok = 0;
  // A surface whose faces have no area has no weighted centroid either: it is treated like one
  // without faces instead of dividing by zero.
  if (!(area > 0.0)) {
    ZYR_ERROR(ZYR_I_INTERNAL_ERROR,
              "Unable to calculate the area weighted centroid for the visual\nassociated with region \"%s\".\n",
              regionName(v));
  } else {
    for (int k = 0; k < 3; ++k)
      v->m_centroid[k] = sum[k] / area;
    snap(xyz, v->m_centroid, v->m_snappedCentroid);
    ok = 1;
  }
  if (v->m_flags.m_flags == 0)
    noteTransform(v);
  BitField_setBit(&v->m_flags, VISUAL_AREA_VALID);
  return ok;
}

int Visual_getCentroid(Visual *v, const char *units, int32_t mode, double centroid[3]) {
  checkCaches(v);
  if (mode == 0 || mode == 1) {
    if (v->m_vertices == nullptr) {
      centroid[0] = centroid[1] = centroid[2] = 0.0;
      return 0;
    }
    int32_t vertex = -1;
    return Vertices_getCentroid(v->m_vertices, units, mode, centroid, &vertex);
  }
  if (mode != 10 && mode != 11)
    return 0;
  if (!BitField_isSet(&v->m_flags, VISUAL_AREA_VALID))
    Visual_calculateAreaAndCentroid(v);
  std::memcpy(centroid, mode == 10 ? v->m_centroid : v->m_snappedCentroid, 3 * sizeof(double));
  return Units_convertDoubles("m", units, 3, centroid);
}

int Visual_getArea(Visual *v, const char *units, double *area) {
  checkCaches(v);
  if (!BitField_isSet(&v->m_flags, VISUAL_AREA_VALID))
    Visual_calculateAreaAndCentroid(v);
  *area = v->m_area;
  if (units == nullptr)
    return 1;
  double factor = 1.0;
  const int ok = Units_getConversionFactor("m", units, &factor);
  if (ok == 1)
    *area *= factor * factor;
  return ok;
}

int Visual_getBoundingBox(Visual *v, const char *units, double box[6]) {
  checkCaches(v);
  if (v->m_vertices == nullptr)
    return 0;
  return Vertices_getBoundingBox(v->m_vertices, units, box);
}

int Visual_snapToClosestVertex(Visual *v, const double point[3], double closest[3]) {
  checkCaches(v);
  snap(metres(v), point, closest);
  return 1;
}

int Visual_transform(Visual *v, const zyrAffineTransform3D *transform) {
  if (transform == nullptr || v->m_vertices == nullptr)
    return 0;
  checkCaches(v);
  moveCaches(v, transform);
  const int ok = Vertices_transform(v->m_vertices, transform);
  noteTransform(v);
  return ok;
}

// ---- listing ----------------------------------------------------------------------------------

void Visual_print(Visual *v, FILE *stream) {
  ZYR_TRACE_BEGIN_DESC("Print out the current state of a visual.");
  checkCaches(v);
  const char *rule = "==============================================";
  char key[ZYR_UUID_BASE64_SIZE];
  zyrObject_getUUIDString(v, key);
  std::fprintf(stream, "\n%s\nVisual: %s\n%s\n\n", rule, key, rule);
  std::fprintf(stream, "Triangles       = %d\n", v->m_noOfTriangles);
  std::fprintf(stream, "Quadrilaterals  = %d\n", v->m_noOfQuadrilaterals);
  std::fprintf(stream, "Vertices        = %d\n", vertexCount(v));
  std::fprintf(stream, "Region          = %s\n", regionName(v));
  static const int32_t modes[] = {0, 1, 10, 11};
  for (int32_t mode : modes) {
    double c[3] = {0.0, 0.0, 0.0};
    Visual_getCentroid(v, nullptr, mode, c);
    std::fprintf(stream, "Centroid (%2d)   = (%e, %e, %e)\n", mode, c[0], c[1], c[2]);
  }
  double n[3];
  Visual_getNormal(v, n);
  std::fprintf(stream, "Normal          = (%e, %e, %e)\n", n[0], n[1], n[2]);
  double box[6] = {0, 0, 0, 0, 0, 0};
  Visual_getBoundingBox(v, nullptr, box);
  std::fprintf(stream, "Bounding box    = (%e, %e, %e) -\n                  (%e, %e, %e)\n", box[0], box[1], box[2],
               box[3], box[4], box[5]);
  double area = 0.0;
  Visual_getArea(v, nullptr, &area);
  std::fprintf(stream, "Area            = %e\n", area);
  if (ZYR_TRACE_DEBUG(1)) {
    if (!BitField_isSet(&v->m_flags, VISUAL_EDGES_VALID))
      Visual_calculateWireframe(v);
    std::fprintf(stream, "\np_noOfBoundaryEdges = %d\np_noOfInteriorEdges = %d\n", v->p_noOfBoundaryEdges,
                 v->p_noOfInteriorEdges);
    int32_t e = 0;
    for (; e < v->p_noOfInteriorEdges; ++e)
      std::fprintf(stream, "  [%8d][%8d..%8d] %8d %8d %e\n", e, 2 * e, 2 * e + 1, v->m_edges[2 * e],
                   v->m_edges[2 * e + 1], static_cast<double>(v->m_featureValues[e]));
    for (; e < v->p_noOfInteriorEdges + v->p_noOfBoundaryEdges; ++e)
      std::fprintf(stream, "  [%8d][%8d..%8d] %8d %8d\n", e, 2 * e, 2 * e + 1, v->m_edges[2 * e],
                   v->m_edges[2 * e + 1]);
  }
  if (ZYR_TRACE_DEBUG(2)) {
    const int32_t *faces = faceList(v);
    std::fprintf(stream, "\n");
    for (int32_t t = 0; t < v->m_noOfTriangles; ++t)
      std::fprintf(stream, "  [%8d][%8d..%8d] %8d %8d %8d\n", t, 3 * t, 3 * t + 2, faces[3 * t], faces[3 * t + 1],
                   faces[3 * t + 2]);
    const int32_t base = 3 * v->m_noOfTriangles;
    for (int32_t q = 0; q < v->m_noOfQuadrilaterals; ++q) {
      const int32_t at = base + 4 * q;
      std::fprintf(stream, "  [%8d][%8d..%8d] %8d %8d %8d %8d\n", v->m_noOfTriangles + q, at, at + 3, faces[at],
                   faces[at + 1], faces[at + 2], faces[at + 3]);
    }
  }
  if (ZYR_TRACE_DEBUG(3) && v->m_vertices != nullptr)
    Vertices_print(v->m_vertices, stream);
  std::fflush(stream);
}
