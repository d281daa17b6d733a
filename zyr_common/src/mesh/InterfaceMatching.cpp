#include "InterfaceMatching.h"

#include "ElementTopology.h"
#include "FaceMesh.h"
#include "Region.h"
#include "Units.h"
#include "zyrAffineTransform3D.h"
#include "zyrArrayUtilities.h"
#include "zyrMemory.h"
#include "zyrTrace.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <map>
#include <tuple>
#include <vector>

namespace {

// Faces of a face mesh without split vertices, in local numbering.
struct Faces {
  int32_t *m_rows = nullptr;
  int32_t m_n = 0;
  int32_t m_width = 0;
  bool m_owned = true; // else the caller's rows
  Faces() = default;
  Faces(int32_t *rows, int32_t n, int32_t width) : m_rows(rows), m_n(n), m_width(width), m_owned(false) {}
  Faces(const Faces &) = delete;
  Faces &operator=(const Faces &) = delete;
  ~Faces() {
    if (m_owned)
      zyrMemory_free(m_rows, __func__);
  }
  const int32_t *row(int32_t f) const { return m_rows + static_cast<int64_t>(f) * m_width; }
  int32_t size(int32_t f) const {
    int32_t k = 0;
    while (k < m_width && row(f)[k] != -1)
      ++k;
    return k;
  }
};

void readFaces(FaceMesh *fm, int withSplitVertices, Faces &faces) {
  int32_t mixed = 0;
  int32_t sentinel = -1;
  faces.m_width = 0;
  faces.m_n = FaceMesh_getFaceVertices(fm, withSplitVertices, 1, 0, nullptr, 0, &faces.m_rows, &faces.m_width, &mixed,
                                       &sentinel);
}

inline int64_t sentinelLast(int32_t a) { return a == -1 ? int64_t{INT32_MAX} : int64_t{a}; }

void sortAnyFace(int32_t *tuple, int32_t width) {
  std::sort(tuple, tuple + width, [](int32_t a, int32_t b) { return sentinelLast(a) < sentinelLast(b); });
}

// Sorts each face's entries ascending with the sentinel last. Triangles and quadrilaterals go
// through a sorting network: the same result, since only the sentinel and the largest integer
// share a key (and a face holding that integer takes the general sort).
inline void sortFaceVertices(int32_t *tuple, int32_t width) {
  if ((width != 3 && width != 4) || tuple[0] == INT32_MAX || tuple[1] == INT32_MAX || tuple[2] == INT32_MAX ||
      (width == 4 && tuple[3] == INT32_MAX)) {
    sortAnyFace(tuple, width);
    return;
  }
  auto order = [tuple](int i, int j) {
    const int32_t a = tuple[i];
    const int32_t b = tuple[j];
    const bool swap = sentinelLast(b) < sentinelLast(a);
    tuple[i] = swap ? b : a;
    tuple[j] = swap ? a : b;
  };
  if (width == 3) {
    order(0, 1), order(1, 2), order(0, 1);
  } else {
    order(0, 1), order(2, 3), order(0, 2), order(1, 3), order(1, 2);
  }
}

void buildIncidence(FaceMap *lookup) {
  const int32_t nv = lookup->m_noOfVertices;
  lookup->m_incidenceStart = zyrMemory_allocateZeroedArray<int32_t>(static_cast<int64_t>(nv) + 1, __func__);
  const int64_t size = static_cast<int64_t>(lookup->m_noOfFaces) * lookup->m_width;
  for (int32_t f = 0; f < lookup->m_noOfFaces; ++f) {
    const int32_t *t = lookup->m_tuples + static_cast<int64_t>(f) * lookup->m_width;
    for (int32_t k = 0; k < lookup->m_width; ++k)
      if (t[k] >= 0 && t[k] < nv && (k == 0 || t[k] != t[k - 1]))
        ++lookup->m_incidenceStart[t[k] + 1];
  }
  for (int32_t v = 0; v < nv; ++v)
    lookup->m_incidenceStart[v + 1] += lookup->m_incidenceStart[v];
  lookup->m_incidence = zyrMemory_allocateArray<int32_t>(size > 0 ? size : 1, __func__);
  std::vector<int32_t> at(lookup->m_incidenceStart, lookup->m_incidenceStart + nv);
  for (int32_t f = 0; f < lookup->m_noOfFaces; ++f) {
    const int32_t *t = lookup->m_tuples + static_cast<int64_t>(f) * lookup->m_width;
    for (int32_t k = 0; k < lookup->m_width; ++k)
      if (t[k] >= 0 && t[k] < nv && (k == 0 || t[k] != t[k - 1]))
        lookup->m_incidence[at[static_cast<size_t>(t[k])]++] = f;
  }
}

int32_t countOf(const FaceMap *lookup, int32_t f, int32_t a, int32_t b) {
  const int32_t *t = lookup->m_tuples + static_cast<int64_t>(f) * lookup->m_width;
  int32_t count = 0;
  for (int32_t k = 0; k < lookup->m_width; ++k)
    if (t[k] == a || t[k] == b)
      ++count;
  return count;
}

// The side-0 faces of the direct pass, seen through the permutation and sorted, in an
// open-addressing table by their whole tuple, so that a search reads one slot (and the slots
// after it). The chains of FaceMap hold a vertex's faces newest first and the search takes the
// first free one of the same size with the same entries: that is the first free slot with the
// same tuple along the probe, the faces having gone in newest first. Faces whose smallest entry
// is no vertex are on no chain and stay out.
class FaceTable {
public:
  // faces: nf rows of width entries, overwritten by their sorted images.
  FaceTable(int32_t *faces, int32_t nf, int32_t width, int32_t nv, const int32_t *perm)
      : m_width(width), m_stride(width + 1), m_nv(nv) {
    const int64_t size = static_cast<int64_t>(nf) * width;
    for (int64_t i = 0; i < size; ++i)
      if (faces[i] >= 0 && faces[i] < nv)
        faces[i] = perm[faces[i]];
    size_t slots = 16;
    while (slots < 2 * static_cast<size_t>(nf))
      slots *= 2;
    m_mask = slots - 1;
    m_slots.assign(slots * static_cast<size_t>(m_stride), int32_t{kEmpty});
    for (int32_t f = 0; f < nf; ++f)
      sortFaceVertices(faces + static_cast<int64_t>(f) * width, width);
    const int32_t ahead = 32;
    for (int32_t f = nf - 1; f >= 0; --f) {
      if (f >= ahead)
        fetch(faces + static_cast<int64_t>(f - ahead) * width);
      const int32_t *t = faces + static_cast<int64_t>(f) * width;
      if (t[0] < 0 || t[0] >= nv)
        continue;
      size_t h = home(t);
      while (slot(h)[0] != kEmpty)
        h = (h + 1) & m_mask;
      int32_t *to = slot(h);
      std::copy(t, t + width, to);
      to[width] = f;
    }
  }

  // The search of the direct pass for a side-1 face of size k, sorted, padded with the sentinel
  // to at least m_width + 1 entries: the face found is taken. -1 when there is none.
  int32_t take(int32_t k, const int32_t *tuple) {
    if (k > m_width || tuple[0] < 0 || tuple[0] >= m_nv)
      return -1;
    for (size_t h = home(tuple);; h = (h + 1) & m_mask) {
      int32_t *t = slot(h);
      if (t[0] == kEmpty)
        return -1;
      if (t[m_width] >= 0 && std::equal(t, t + m_width, tuple)) {
        const int32_t f = t[m_width];
        t[m_width] = -1 - f; // taken
        return f;
      }
    }
  }

  void fetch(const int32_t *tuple) const {
    const int32_t *at = slot(home(tuple));
    asm volatile("" : "+r"(at)); // else the compiler may drop a hint whose address takes a loop
    __builtin_prefetch(at);
  }

  const int32_t m_width;

private:
  static constexpr int32_t kEmpty = INT32_MIN;
  int32_t *slot(size_t h) { return m_slots.data() + h * static_cast<size_t>(m_stride); }
  const int32_t *slot(size_t h) const { return m_slots.data() + h * static_cast<size_t>(m_stride); }
  size_t home(const int32_t *tuple) const {
    uint64_t h = 0;
    for (int32_t k = 0; k < m_width; ++k)
      h = (h + static_cast<uint32_t>(tuple[k])) * 0x9E3779B97F4A7C15ULL;
    return static_cast<size_t>(h >> 20) & m_mask;
  }
  const int32_t m_stride;
  const int32_t m_nv;
  size_t m_mask = 0;
  std::vector<int32_t> m_slots; // m_width entries and the face (-1 - face once taken) per slot
};

} // namespace

FaceMap *FaceMap_new(FaceMesh *fm, int32_t noOfVertices, const int32_t *permutation) {
  Faces faces;
  readFaces(fm, 0, faces);
  if (faces.m_n < 1 || noOfVertices < 1)
    return nullptr;
  FaceMap *lookup = zyrMemory_allocateArray<FaceMap>(1, __func__);
  lookup->m_width = faces.m_width;
  lookup->m_noOfFaces = faces.m_n;
  lookup->m_noOfVertices = noOfVertices;
  lookup->m_tuples = faces.m_rows;
  faces.m_rows = nullptr;
  lookup->m_incidence = nullptr;
  lookup->m_incidenceStart = nullptr;
  const int64_t size = static_cast<int64_t>(lookup->m_noOfFaces) * lookup->m_width;
  if (permutation != nullptr)
    for (int64_t i = 0; i < size; ++i)
      if (lookup->m_tuples[i] >= 0 && lookup->m_tuples[i] < noOfVertices)
        lookup->m_tuples[i] = permutation[lookup->m_tuples[i]];
  lookup->m_heads = zyrMemory_allocateArray<int32_t>(noOfVertices, __func__);
  std::fill(lookup->m_heads, lookup->m_heads + noOfVertices, -1);
  lookup->m_entries = zyrMemory_allocateArray<int32_t>(2 * static_cast<int64_t>(lookup->m_noOfFaces), __func__);
  for (int32_t f = 0; f < lookup->m_noOfFaces; ++f) {
    int32_t *t = lookup->m_tuples + static_cast<int64_t>(f) * lookup->m_width;
    sortFaceVertices(t, lookup->m_width);
    lookup->m_entries[2 * f] = f;
    lookup->m_entries[2 * f + 1] = -1;
    if (t[0] >= 0 && t[0] < noOfVertices) {
      lookup->m_entries[2 * f + 1] = lookup->m_heads[t[0]];
      lookup->m_heads[t[0]] = f;
    }
  }
  return lookup;
}

void FaceMap_delete(FaceMap *lookup) {
  if (lookup == nullptr)
    return;
  zyrMemory_free(lookup->m_entries, __func__);
  zyrMemory_free(lookup->m_heads, __func__);
  zyrMemory_free(lookup->m_tuples, __func__);
  zyrMemory_free(lookup->m_incidence, __func__);
  zyrMemory_free(lookup->m_incidenceStart, __func__);
  zyrMemory_free(lookup, __func__);
}

int32_t FaceMap_findFace(const FaceMap *lookup, int32_t k, const int32_t *tuple) {
  if (lookup == nullptr || k < 1 || k > lookup->m_width || tuple[0] < 0 || tuple[0] >= lookup->m_noOfVertices)
    return -1;
  for (int32_t e = lookup->m_heads[tuple[0]]; e >= 0; e = lookup->m_entries[2 * e + 1]) {
    const int32_t f = lookup->m_entries[2 * e];
    if (std::equal(tuple, tuple + k, lookup->m_tuples + static_cast<int64_t>(f) * lookup->m_width))
      return f;
  }
  return -1;
}

int32_t FaceMap_findNeighbour(FaceMap *lookup, int32_t face, int32_t a, int32_t b) {
  if (lookup == nullptr)
    return -1;
  // The faces holding a or b, ascending, answer as a scan over all faces would.
  if (a < 0 || b < 0 || a >= lookup->m_noOfVertices || b >= lookup->m_noOfVertices) {
    for (int32_t f = 0; f < lookup->m_noOfFaces; ++f)
      if (f != face && countOf(lookup, f, a, b) == 2)
        return f;
    return -1;
  }
  if (lookup->m_incidence == nullptr)
    buildIncidence(lookup);
  const int32_t *pa = lookup->m_incidence + lookup->m_incidenceStart[a];
  const int32_t *ea = lookup->m_incidence + lookup->m_incidenceStart[a + 1];
  const int32_t *pb = lookup->m_incidence + lookup->m_incidenceStart[b];
  const int32_t *eb = lookup->m_incidence + lookup->m_incidenceStart[b + 1];
  while (pa < ea || pb < eb) {
    int32_t f;
    if (pb >= eb || (pa < ea && *pa < *pb))
      f = *pa++;
    else if (pa >= ea || *pb < *pa)
      f = *pb++;
    else {
      f = *pa++;
      ++pb;
    }
    if (f != face && countOf(lookup, f, a, b) == 2)
      return f;
  }
  return -1;
}

int checkPermutationIsInjective(int32_t n, const int32_t *permutation, FILE *stream) {
  if (n < 1)
    return 1;
  int32_t largest = -1;
  for (int32_t i = 0; i < n; ++i)
    largest = std::max(largest, permutation[i]);
  std::vector<int32_t> first(static_cast<size_t>(largest + 1), -1);
  int ok = 1;
  for (int32_t i = 0; i < n; ++i) {
    const int32_t target = permutation[i];
    if (target < 0) {
      ok = 0;
      if (stream == nullptr)
        return 0;
      std::fprintf(stream, "checkPermutationIsInjective: %d is unmapped.\n", i);
      continue;
    }
    if (first[static_cast<size_t>(target)] >= 0) {
      ok = 0;
      if (stream == nullptr)
        return 0;
      std::fprintf(stream, "checkPermutationIsInjective: %d and %d map onto %d.\n", first[static_cast<size_t>(target)],
                   i, target);
      continue;
    }
    first[static_cast<size_t>(target)] = i;
  }
  return ok;
}

int MA_makePeriodicTransformation(int32_t type, const double axisPoint1[3], const double axisPoint2[3],
                                  const char *axisUnits, const double side0Point[3], const double side1Point[3],
                                  zyrAffineTransform3D **transform) {
  ZYR_TRACE_BEGIN();
  *transform = zyrAffineTransform3D_new();
  int result = 0;
  if (type == MA_PERIODIC_TRANSLATION) {
    const double d[3] = {side1Point[0] - side0Point[0], side1Point[1] - side0Point[1], side1Point[2] - side0Point[2]};
    result = zyrAffineTransform3D_translate(*transform, d, "m");
    if (ZYR_TRACE_DEBUG(1))
      zyrTrace_printf("Periodic translation: Displacement  = (%le, %le, %le)\n", d[0], d[1], d[2]);
  } else if (type == MA_PERIODIC_ROTATION) {
    double axis[3];
    for (int k = 0; k < 3; ++k)
      axis[k] = axisPoint2[k] - axisPoint1[k];
    const double length = std::sqrt(axis[0] * axis[0] + axis[1] * axis[1] + axis[2] * axis[2]);
    // The origin is a position and goes to metres; the axis is only a direction.
    double origin[3] = {axisPoint1[0], axisPoint1[1], axisPoint1[2]};
    if (length >= 1e-300 && Units_convertDoubles(axisUnits, "m", 3, origin) == 1) {
      double n[3];
      double a[3];
      double b[3];
      for (int k = 0; k < 3; ++k) {
        n[k] = axis[k] / length;
        a[k] = side0Point[k] - origin[k];
        b[k] = side1Point[k] - origin[k];
      }
      const double cross[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
      const double an = a[0] * n[0] + a[1] * n[1] + a[2] * n[2];
      const double bn = b[0] * n[0] + b[1] * n[1] + b[2] * n[2];
      const double ab = a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
      const double angle = std::atan2(cross[0] * n[0] + cross[1] * n[1] + cross[2] * n[2], ab - an * bn);
      result = zyrAffineTransform3D_rotate(*transform, origin, "m", n, angle, "radian");
      if (ZYR_TRACE_DEBUG(1))
        zyrTrace_printf("Periodic rotation: Axis  = (%le, %le, %le)\n                   Angle = %le\n", n[0], n[1],
                        n[2], angle);
    }
  }
  if (result != 1) {
    zyrAffineTransform3D_delete(*transform);
    *transform = nullptr;
    return 0;
  }
  return 1;
}

int MA_findPeriodicTransformation(int32_t type, const double axisPoint1[3], const double axisPoint2[3],
                                  const char *axisUnits, int32_t n, FaceMesh *const *const faceMeshLists[2],
                                  zyrAffineTransform3D **transform) {
  ZYR_TRACE_BEGIN();
  *transform = nullptr;
  if (type == MA_PERIODIC_NONE || n < 1)
    return 1;
  double points[2][3] = {{0, 0, 0}, {0, 0, 0}};
  if (ZYR_TRACE_DEBUG(2))
    zyrTrace_printf("Matched face meshes:\n\n               NVX      NFC  Centroid                      Name\n");
  for (int side = 0; side < 2; ++side) {
    for (int32_t i = 0; i < n; ++i) {
      double c[3];
      FaceMesh_getCentroid(faceMeshLists[side][i], c);
      for (int k = 0; k < 3; ++k)
        points[side][k] += c[k];
      if (ZYR_TRACE_DEBUG(2)) {
        const Region *region = FaceMesh_getRegion(faceMeshLists[side][i]);
        const char *name = region != nullptr ? Region_getBaseName(region) : nullptr;
        zyrTrace_printf("%2d %6d %8d %8d: (%le, %le, %le) \"%s\"\n", side, i,
                        FaceMesh_getNoOfVertices(faceMeshLists[side][i], 0), FaceMesh_getNoOfFaces(faceMeshLists[side][i]),
                        c[0], c[1], c[2], name != nullptr ? name : "");
      }
    }
    for (int k = 0; k < 3; ++k)
      points[side][k] /= n;
  }
  return MA_makePeriodicTransformation(type, axisPoint1, axisPoint2, axisUnits, points[0], points[1], transform);
}

namespace {

// One face map being made: the faces of both sides, the map so far and, once a face fails to
// match, the lists that repair the permutation. Flags are kept in side-0 numbers.
struct FaceMatch {
  FaceMatch(FaceMesh *const faceMeshes[2], int32_t noOfVertices, int32_t *perm, int32_t nf, const Faces &faces1,
            bool trace)
      : m_faceMeshes(faceMeshes), m_nv(noOfVertices), m_perm(perm), m_nf(nf), m_faces1(faces1), m_trace(trace),
        m_map(static_cast<size_t>(nf), -1), m_used(static_cast<size_t>(nf), 0) {}

  // Side-0 vertices by their side-1 image (a list per image), so that flags stay in side-0
  // numbers; made when a face first fails to match.
  void makeHolders() {
    m_flag.assign(static_cast<size_t>(m_nv), 0);
    m_suspect.assign(static_cast<size_t>(m_nv), 0);
    m_holder.assign(static_cast<size_t>(m_nv), -1);
    m_nextHolder.assign(static_cast<size_t>(m_nv), -1);
    for (int32_t v = m_nv - 1; v >= 0; --v) {
      m_nextHolder[static_cast<size_t>(v)] = m_holder[static_cast<size_t>(m_perm[v])];
      m_holder[static_cast<size_t>(m_perm[v])] = v;
    }
  }

  // The side-0 vertices whose images lie on side-1 face i are suspect.
  void suspectImagesOn(int32_t i, int32_t k) {
    for (int32_t p = 0; p < k; ++p) {
      const int32_t w = m_faces1.row(i)[p];
      if (w >= 0 && w < m_nv)
        for (int32_t v = m_holder[static_cast<size_t>(w)]; v >= 0; v = m_nextHolder[static_cast<size_t>(v)])
          m_suspect[static_cast<size_t>(v)] = 1;
    }
  }

  // Vertex v takes image w: out of the list of its old image, into that of the new one. It is
  // trusted now, and every other vertex of that image is not.
  void giveImage(int32_t v, int32_t w) {
    int32_t *link = &m_holder[static_cast<size_t>(m_perm[v])];
    while (*link != v)
      link = &m_nextHolder[static_cast<size_t>(*link)];
    *link = m_nextHolder[static_cast<size_t>(v)];
    m_perm[v] = w;
    m_nextHolder[static_cast<size_t>(v)] = m_holder[static_cast<size_t>(w)];
    m_holder[static_cast<size_t>(w)] = v;
    m_flag[static_cast<size_t>(v)] = 0;
    for (int32_t u = m_holder[static_cast<size_t>(w)]; u >= 0; u = m_nextHolder[static_cast<size_t>(u)])
      if (u != v) {
        m_flag[static_cast<size_t>(u)] = 1;
        if (m_trace)
          zyrTrace_printf("Flagged vertex %d\n", u);
      }
  }

  FaceMesh *const *m_faceMeshes;
  const int32_t m_nv;
  int32_t *m_perm;
  const int32_t m_nf;
  const Faces &m_faces1;
  const bool m_trace;         // the debug listing
  std::vector<int32_t> m_map; // side-1 face of each side-0 face, -1 while unmatched
  std::vector<char> m_used;   // side-1 faces taken
  std::vector<char> m_flag;
  std::vector<char> m_suspect;
  std::vector<int32_t> m_holder;
  std::vector<int32_t> m_nextHolder;
};

// Direct pass: every side-1 face looked up among the side-0 faces seen through the permutation
// (rows0 is overwritten by their images). The number of side-1 faces left unmatched.
int32_t matchDirectly(FaceMatch &m, Faces &rows0) {
  const Faces &faces1 = m.m_faces1;
  const int32_t nf = m.m_nf;
  FaceTable lookup0(rows0.m_rows, rows0.m_n, rows0.m_width, m.m_nv, m.m_perm);
  // The side-1 faces sorted first, so that the search of each face can be fetched ahead. Each row
  // is padded with the sentinel to one entry more than the wider side, so that the entry after a
  // face's last one can always be read.
  const int32_t width = std::max(faces1.m_width, lookup0.m_width) + 1;
  std::vector<int32_t> sorted1(static_cast<size_t>(nf) * static_cast<size_t>(width), -1);
  for (int32_t i = 0; i < nf; ++i) {
    int32_t *tuple = sorted1.data() + static_cast<int64_t>(i) * width;
    std::copy(faces1.row(i), faces1.row(i) + faces1.m_width, tuple);
    sortFaceVertices(tuple, faces1.m_width);
  }
  int32_t bad = 0;
  const int32_t ahead = 32;
  for (int32_t i = 0; i < nf; ++i) {
    if (i + ahead < nf)
      lookup0.fetch(sorted1.data() + static_cast<int64_t>(i + ahead) * width);
    const int32_t *tuple = sorted1.data() + static_cast<int64_t>(i) * width;
    const int32_t k = faces1.size(i);
    const int32_t j = k == lookup0.m_width || tuple[k] == -1 ? lookup0.take(k, tuple) : -1;
    if (j >= 0) {
      m.m_map[static_cast<size_t>(j)] = i;
      m.m_used[static_cast<size_t>(i)] = 1;
      continue;
    }
    if (bad++ == 0)
      m.makeHolders();
    m.suspectImagesOn(i, k);
    if (m.m_trace) {
      zyrTrace_printf("Couldn't match face %d on side 1 [%d", i, faces1.row(i)[0]);
      for (int32_t p = 1; p < k; ++p)
        zyrTrace_printf(", %d", faces1.row(i)[p]);
      zyrTrace_printf("].\n");
    }
  }
  return bad;
}

// A vertex is inconsistent when its image lies on an unmatched side-1 face and no matched side-0
// face vouches for it. Flagging every vertex of the unmatched faces would leave no trusted edge to
// repair from.
void flagInconsistentVertices(FaceMatch &m, const Faces &faces0, int32_t bad) {
  std::vector<char> vouched(static_cast<size_t>(m.m_nv), 0);
  for (int32_t j = 0; j < faces0.m_n && j < m.m_nf; ++j)
    if (m.m_map[static_cast<size_t>(j)] != -1)
      for (int32_t p = 0; p < faces0.size(j); ++p)
        vouched[static_cast<size_t>(faces0.row(j)[p])] = 1;
  int32_t flagged = 0;
  for (int32_t v = 0; v < m.m_nv; ++v) {
    m.m_flag[static_cast<size_t>(v)] = m.m_suspect[static_cast<size_t>(v)] && !vouched[static_cast<size_t>(v)];
    flagged += m.m_flag[static_cast<size_t>(v)];
  }
  if (!m.m_trace)
    return;
  zyrTrace_printf("Unmatched faces: %d\n", bad);
  zyrTrace_printf("Inconsistently matched vertices:\n%d\n", flagged);
  double *xyz = nullptr;
  const int32_t n1 = FaceMesh_getVertexCoordinates(m.m_faceMeshes[1], 0, "m", &xyz);
  for (int32_t v = 0; v < m.m_nv; ++v)
    if (m.m_flag[static_cast<size_t>(v)] && m.m_perm[v] < n1)
      zyrTrace_printf("%le %le %le\n", xyz[3 * m.m_perm[v]], xyz[3 * m.m_perm[v] + 1], xyz[3 * m.m_perm[v] + 2]);
  zyrMemory_free(xyz, __func__);
  for (int32_t v = 0; v < m.m_nv; ++v)
    if (m.m_flag[static_cast<size_t>(v)])
      zyrTrace_printf("%d\n", v);
}

// Where the edge from a to b starts in a face's row of k entries, and the way it runs along the
// row (1 or -1); -1 when the face has no such edge.
int32_t edgeStart(const int32_t *row, int32_t k, int32_t a, int32_t b, int32_t *step) {
  for (int32_t s = 0; s < k; ++s) {
    if (row[s] != a)
      continue;
    if (row[(s + 1) % k] == b) {
      *step = 1;
      return s;
    }
    if (row[(s + k - 1) % k] == b) {
      *step = -1;
      return s;
    }
  }
  return -1;
}

// Unmatched side-0 face i matched across its first edge with trusted ends whose neighbour is
// matched and whose image, on the neighbour's partner, borders a free side-1 face of the same
// size: the face's other vertices take their images from that face, walked the way the edge
// runs. Whether it was matched.
bool matchThroughNeighbour(FaceMatch &m, const Faces &faces0, FaceMap *plain0, FaceMap *plain1, int32_t i) {
  const int32_t *f0 = faces0.row(i);
  const int32_t k = faces0.size(i);
  for (int32_t p = 0; p < k; ++p) {
    const int32_t q = (p + 1) % k;
    if (m.m_flag[static_cast<size_t>(f0[p])] || m.m_flag[static_cast<size_t>(f0[q])])
      continue;
    const int32_t nb = FaceMap_findNeighbour(plain0, i, f0[p], f0[q]);
    if (nb < 0) {
      if (m.m_trace)
        zyrTrace_printf("Not found!\n");
      continue;
    }
    if (m.m_map[static_cast<size_t>(nb)] == -1)
      continue;
    if (m.m_trace)
      zyrTrace_printf("Neighbour is matched!\n");
    const int32_t nb1 = m.m_map[static_cast<size_t>(nb)];
    const int32_t a = m.m_perm[f0[p]];
    const int32_t b = m.m_perm[f0[q]];
    const int32_t f1 = FaceMap_findNeighbour(plain1, nb1, a, b);
    // The partner must be free and of the same size.
    if (f1 < 0 || m.m_used[static_cast<size_t>(f1)] || m.m_faces1.size(f1) != k)
      continue;
    const int32_t *row1 = m.m_faces1.row(f1);
    int32_t step = 0;
    const int32_t r = edgeStart(row1, k, a, b, &step);
    if (r < 0)
      continue;
    int32_t qq = q;
    int32_t rr = (r + step + k) % k;
    for (int32_t s = 0; s < k - 2; ++s) {
      qq = (qq + 1) % k;
      rr = (rr + step + k) % k;
      m.giveImage(f0[qq], row1[rr]);
    }
    m.m_map[static_cast<size_t>(i)] = f1;
    m.m_used[static_cast<size_t>(f1)] = 1;
    if (m.m_trace)
      zyrTrace_printf("Face %d -> %d\n", i, f1);
    return true;
  }
  return false;
}

// The matches of side-0 faces that hold a flagged vertex are undone; the number undone.
int32_t unmatchFlaggedFaces(FaceMatch &m, const Faces &faces0) {
  int32_t undone = 0;
  for (int32_t i = 0; i < m.m_nf; ++i) {
    if (m.m_map[static_cast<size_t>(i)] == -1)
      continue;
    const int32_t k = faces0.size(i);
    for (int32_t p = 0; p < k; ++p)
      if (m.m_flag[static_cast<size_t>(faces0.row(i)[p])]) {
        m.m_used[static_cast<size_t>(m.m_map[static_cast<size_t>(i)])] = 0;
        m.m_map[static_cast<size_t>(i)] = -1;
        ++undone;
        break;
      }
  }
  return undone;
}

// The repair of the faces the direct pass left: passes over the unmatched side-0 faces, each
// matched from a matched neighbour, while a pass leaves fewer unmatched (at most a quarter of the
// faces' passes, ten at least). The number left unmatched.
int32_t repairFromNeighbours(FaceMatch &m, int32_t bad) {
  Faces faces0;
  readFaces(m.m_faceMeshes[0], 0, faces0);
  flagInconsistentVertices(m, faces0, bad);
  FaceMap *plain0 = FaceMap_new(m.m_faceMeshes[0], m.m_nv, nullptr);
  FaceMap *plain1 = FaceMap_new(m.m_faceMeshes[1], m.m_nv, nullptr);
  const int32_t limit = std::max<int32_t>(10, m.m_nf / 4);
  for (int32_t pass = 0; pass < limit && bad > 0 && plain0 != nullptr && plain1 != nullptr; ++pass) {
    const int32_t previous = bad;
    bad = 0;
    if (m.m_trace)
      zyrTrace_printf("------------------\nnbad = %d (%d)\n------------------\n", previous, pass);
    for (int32_t i = 0; i < m.m_nf; ++i)
      if (m.m_map[static_cast<size_t>(i)] == -1 && !matchThroughNeighbour(m, faces0, plain0, plain1, i))
        ++bad;
    bad += unmatchFlaggedFaces(m, faces0);
    if (bad >= previous)
      break;
  }
  FaceMap_delete(plain0);
  FaceMap_delete(plain1);
  return bad;
}

// The face map, from the faces of both sides when given (without split vertices, in local
// numbering; side 0's rows are overwritten), else read here. Traced as MA_calculateFaceMap,
// whichever way it was asked for.
int faceMapOf(FaceMesh *const faceMeshes[2], int32_t noOfVertices, int32_t *perm, Faces *given0, Faces *given1,
              int32_t **faceMap) {
  static zyrTraceState zyr_trace_state_ = {
      1, {ZYR_TRACE_NOT_SET, ZYR_TRACE_NOT_SET, ZYR_TRACE_NOT_SET, ZYR_TRACE_NOT_SET}};
  const int zyr_trace_on_ = zyrTrace_enter("MA_calculateFaceMap", nullptr, &zyr_trace_state_);
  const char *const tag = "MA_calculateFaceMap";
  *faceMap = nullptr;
  const bool selfTest = ZYR_TRACE_LEVEL(zyrTraceTest, 1);
  if (selfTest)
    checkPermutationIsInjective(noOfVertices, perm, zyrTrace_getLog());
  const int32_t nf = FaceMesh_getNoOfFaces(faceMeshes[0]);
  if (nf != FaceMesh_getNoOfFaces(faceMeshes[1]) || nf < 1 || noOfVertices < 1 || perm == nullptr)
    return 0;
  for (int32_t v = 0; v < noOfVertices; ++v)
    if (perm[v] < 0 || perm[v] >= noOfVertices)
      return 0;
  Faces read0;
  Faces read1;
  if (given0 == nullptr)
    readFaces(faceMeshes[0], 0, read0);
  if (given1 == nullptr)
    readFaces(faceMeshes[1], 0, read1);
  Faces &rows0 = given0 != nullptr ? *given0 : read0;
  const Faces &faces1 = given1 != nullptr ? *given1 : read1;
  if (rows0.m_n < 1 || faces1.m_n != nf)
    return 0;
  FaceMatch m(faceMeshes, noOfVertices, perm, nf, faces1, ZYR_TRACE_DEBUG(1));
  int32_t bad = matchDirectly(m, rows0);
  if (bad > 0)
    bad = repairFromNeighbours(m, bad);
  // Result 1 only for a complete bijection of faces over a bijection of vertices.
  if (bad > 0 || checkPermutationIsInjective(nf, m.m_map.data(), nullptr) != 1 ||
      checkPermutationIsInjective(noOfVertices, perm, nullptr) != 1) {
    if (selfTest) {
      zyrTrace_printf("Check face   permutation is injective:\n");
      checkPermutationIsInjective(nf, m.m_map.data(), zyrTrace_getLog());
      zyrTrace_printf("Check vertex permutation is injective:\n");
      checkPermutationIsInjective(noOfVertices, perm, zyrTrace_getLog());
    }
    return 0;
  }
  int32_t *result = zyrMemory_allocateArray<int32_t>(nf, tag);
  std::copy(m.m_map.begin(), m.m_map.end(), result);
  *faceMap = result;
  return 1;
}

} // namespace

int MA_calculateFaceMap(FaceMesh *const faceMeshes[2], int32_t noOfVertices, int32_t *perm, int32_t **faceMap) {
  return faceMapOf(faceMeshes, noOfVertices, perm, nullptr, nullptr, faceMap);
}

int MA_calculateFaceMapOfFaces(FaceMesh *const faceMeshes[2], int32_t noOfVertices, int32_t *perm, int32_t *faces0,
                               int32_t nf0, int32_t width0, int32_t *faces1, int32_t nf1, int32_t width1,
                               int32_t **faceMap) {
  Faces side0(faces0, nf0, width0);
  Faces side1(faces1, nf1, width1);
  return faceMapOf(faceMeshes, noOfVertices, perm, &side0, &side1, faceMap);
}

int MA_calculateSplitVertexMap(FaceMesh *const faceMeshes[2], int32_t noOfVertices, int32_t *perm, int32_t noOfFaces,
                               const int32_t *faceMap, int mayUsePerm, int32_t counts[2], int32_t **offsets,
                               int32_t **values) {
  *offsets = nullptr;
  *values = nullptr;
  Faces plain[2];
  Faces split[2];
  int32_t without[2];
  for (int side = 0; side < 2; ++side) {
    readFaces(faceMeshes[side], 0, plain[side]);
    readFaces(faceMeshes[side], 1, split[side]);
    without[side] = FaceMesh_getNoOfVertices(faceMeshes[side], 0);
    counts[side] = FaceMesh_getNoOfVertices(faceMeshes[side], 1);
    if (plain[side].m_n != noOfFaces || split[side].m_n != noOfFaces)
      return 0;
  }
  if (perm == nullptr || noOfVertices != without[0])
    return 0;
  int32_t *offs = zyrMemory_allocateArray<int32_t>(static_cast<int64_t>(counts[0]) + 1, __func__);
  if (counts[0] == without[0] && counts[1] == without[1]) {
    for (int32_t v = 0; v <= counts[0]; ++v)
      offs[v] = v;
    *offsets = offs;
    *values = mayUsePerm ? perm
                         : static_cast<int32_t *>(zyrMemory_duplicate(perm, 4 * static_cast<int64_t>(noOfVertices), __func__));
    return 1;
  }
  std::vector<int32_t> pairs;
  for (int32_t i = 0; i < noOfFaces; ++i) {
    const int32_t j = faceMap[i];
    if (j < 0 || j >= noOfFaces) {
      zyrMemory_free(offs, __func__);
      return 0;
    }
    for (int32_t p = 0; p < plain[0].m_width; ++p) {
      const int32_t v = plain[0].row(i)[p];
      if (v == -1)
        continue;
      const int32_t w = perm[v];
      int32_t r = 0;
      while (r < plain[1].m_width && plain[1].row(j)[r] != w)
        ++r;
      // An image that is not on the partner face makes no pair: the map cannot be made.
      if (r == plain[1].m_width) {
        zyrMemory_free(offs, __func__);
        return 0;
      }
      pairs.push_back(split[0].row(i)[p]);
      pairs.push_back(split[1].row(j)[r]);
    }
  }
  const int32_t npairs = static_cast<int32_t>(pairs.size() / 2);
  zyrSortIntTuplesLexically(1, npairs, 2, pairs.data());
  std::vector<int32_t> kept;
  for (int32_t k = 0; k < npairs; ++k)
    if (k + 1 == npairs || pairs[2 * static_cast<size_t>(k)] != pairs[2 * static_cast<size_t>(k) + 2] ||
        pairs[2 * static_cast<size_t>(k) + 1] != pairs[2 * static_cast<size_t>(k) + 3]) {
      kept.push_back(pairs[2 * static_cast<size_t>(k)]);
      kept.push_back(pairs[2 * static_cast<size_t>(k) + 1]);
    }
  const int32_t nkept = static_cast<int32_t>(kept.size() / 2);
  int32_t *vals = zyrMemory_allocateArray<int32_t>(nkept > 0 ? nkept : 1, __func__);
  int32_t c = 0;
  for (int32_t k = 0; k < nkept; ++k) {
    vals[k] = kept[2 * static_cast<size_t>(k) + 1];
    if (kept[2 * static_cast<size_t>(k)] == c)
      offs[c++] = k;
  }
  if (c != counts[0]) {
    zyrMemory_free(offs, __func__);
    zyrMemory_free(vals, __func__);
    return 0;
  }
  offs[counts[0]] = nkept;
  *offsets = offs;
  *values = vals;
  return 1;
}

int MA_groupElements(int32_t vertex, int32_t noOfElements, const int32_t *faceMasks, const int32_t *elementTypes,
                     int32_t, const int32_t *vertices, int32_t *noOfGroups, int32_t *groups) {
  ZYR_TRACE_BEGIN();
  *noOfGroups = 0;
  if (noOfElements < 1)
    return 1;
  std::vector<int32_t> parent(static_cast<size_t>(noOfElements));
  for (int32_t e = 0; e < noOfElements; ++e)
    parent[static_cast<size_t>(e)] = e;
  auto root = [&parent](int32_t e) {
    while (parent[static_cast<size_t>(e)] != e)
      e = parent[static_cast<size_t>(e)];
    return e;
  };
  // Unmatched faces by their keys; among equal keys the earliest waiting face is taken.
  std::map<std::tuple<int32_t, int32_t, int32_t>, std::vector<int32_t>> waiting;
  int64_t at = 0;
  for (int32_t e = 0; e < noOfElements; ++e) {
    const int32_t type = elementTypes[e];
    const int32_t *element = vertices + at;
    at += ElementTopology_getNoOfVertices(type);
    int32_t nf = 0;
    const int32_t *sizes = nullptr;
    const int32_t *lists = nullptr;
    ElementTopology_getFaceVertices(type, 0, &nf, &sizes, &lists);
    for (int32_t f = 0; f < nf; ++f) {
      if (faceMasks != nullptr && (faceMasks[e] >> f) & 1)
        continue;
      std::vector<int32_t> others;
      bool contains = false;
      for (int32_t k = 0; k < sizes[f]; ++k) {
        const int32_t v = element[lists[4 * f + k]];
        if (v == vertex)
          contains = true;
        else
          others.push_back(v);
      }
      if (!contains || others.empty())
        continue;
      std::sort(others.begin(), others.end());
      const auto key = std::make_tuple(others[0], others.size() > 1 ? others[1] : others[0],
                                       others.size() > 2 ? others[2] : (others.size() > 1 ? others[1] : others[0]));
      auto found = waiting.find(key);
      if (found != waiting.end() && !found->second.empty()) {
        const int32_t other = found->second.front();
        found->second.erase(found->second.begin());
        const int32_t a = root(e);
        const int32_t b = root(other);
        if (a != b)
          parent[static_cast<size_t>(std::max(a, b))] = std::min(a, b);
      } else {
        waiting[key].push_back(e);
      }
    }
  }
  std::vector<int32_t> label(static_cast<size_t>(noOfElements), 0);
  int32_t n = 0;
  for (int32_t e = 0; e < noOfElements; ++e)
    if (root(e) == e)
      label[static_cast<size_t>(e)] = ++n;
  for (int32_t e = 0; e < noOfElements; ++e)
    groups[e] = label[static_cast<size_t>(root(e))];
  *noOfGroups = n;
  if (ZYR_TRACE_DEBUG(1)) {
    zyrTrace_printf("No of groups = %d\nVertex       = %d\n", n, vertex);
    zyrTrace_printf("\n    Group Type 01234567                      Vertices\n");
    int64_t offset = 0;
    for (int32_t e = 0; e < noOfElements; ++e) {
      zyrTrace_printf("%4d %4d %4d ", e, groups[e], elementTypes[e]);
      for (int32_t f = 0; f < ElementTopology_getNoOfFaces(elementTypes[e]); ++f)
        zyrTrace_printf("%s", faceMasks != nullptr && ((faceMasks[e] >> f) & 1) ? "x" : "_");
      for (int32_t k = 0; k < ElementTopology_getNoOfVertices(elementTypes[e]); ++k)
        zyrTrace_printf(" %8d", vertices[offset + k]);
      offset += ElementTopology_getNoOfVertices(elementTypes[e]);
      zyrTrace_printf("\n");
    }
  }
  return 1;
}
