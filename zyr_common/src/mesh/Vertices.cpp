#include "Vertices.h"

#include "Units.h"
#include "zyrAffineTransform3D.h"
#include "zyrBlob.h"
#include "zyrCString.h"
#include "zyrError.h"
#include "zyrMemory.h"
#include "zyrTrace.h"
#include "zyrTypeManager.h"
#include "zyrUUID.h"

#include <cfloat>
#include <cstring>

namespace {

const double kHuge = DBL_MAX;

int64_t valueSize(int32_t precision) { return precision == VERTICES_SINGLE ? 4 : 8; }

// Coordinate i of the stored array, widened to double.
inline double stored(const Vertices *v, int64_t i) {
  const void *data = v->m_xyz != nullptr ? zyrBlob_getData(v->m_xyz) : nullptr;
  return v->m_precision == VERTICES_SINGLE ? static_cast<const float *>(data)[i] : static_cast<const double *>(data)[i];
}

inline void put(void *out, int32_t precision, int64_t i, double value) {
  if (precision == VERTICES_SINGLE)
    static_cast<float *>(out)[i] = static_cast<float>(value);
  else
    static_cast<double *>(out)[i] = value;
}

// The base vertex whose position vertex n takes.
inline int32_t baseOf(const Vertices *v, int32_t n) {
  return n < v->m_noOfVertices ? n : v->m_splitVertices[n - v->m_noOfVertices];
}

Vertices *allocate() {
  Vertices_registerType();
  return static_cast<Vertices *>(zyrObject_new("Vertices"));
}

// Stores every attribute of a new record.
void writeAll(Vertices *v) {
  zyrObject_setAffineTransform3D(v, "transform", v->m_transform);
  zyrObject_setInt(v, "dimensionality", v->m_dimensionality);
  zyrObject_setString(v, "units", v->m_units);
  zyrObject_setInt(v, "noOfVertices", v->m_noOfVertices);
  zyrObject_setInt(v, "precision", v->m_precision);
  zyrObject_setPointer(v, "xyz", v->m_xyz);
  if (v->m_noOfSplitVertices > 0)
    zyrObject_setInts(v, "splitVertices", v->m_splitVertices, v->m_noOfSplitVertices);
}

// Transform (record units, given precision) then unit conversion of n points in place.
int toModel(const Vertices *v, const char *units, int32_t precision, int32_t n, void *out) {
  if (n == 0)
    return 1;
  if (v->m_transform != nullptr &&
      zyrAffineTransform3D_apply(v->m_transform, v->m_units,
                                 precision == VERTICES_SINGLE ? zyrAffineFloat : zyrAffineDouble, n, out) != 1)
    return 0;
  const int32_t values = n * v->m_dimensionality;
  return precision == VERTICES_SINGLE ? Units_convertFloats(v->m_units, units, values, static_cast<float *>(out))
                                      : Units_convertDoubles(v->m_units, units, values, static_cast<double *>(out));
}

void computeBoundingBox(Vertices *v) {
  for (int k = 0; k < 3; ++k) {
    v->m_boundingBoxMin[k] = kHuge;
    v->m_boundingBoxMax[k] = -kHuge;
  }
  const int32_t n = v->m_noOfVertices;
  const int32_t d = v->m_dimensionality;
  if (n > 0) {
    double *points = zyrMemory_allocateArray<double>(3 * static_cast<int64_t>(n), __func__);
    for (int64_t i = 0; i < 3 * static_cast<int64_t>(n); ++i)
      points[i] = stored(v, i);
    if (v->m_transform != nullptr)
      zyrAffineTransform3D_apply(v->m_transform, v->m_units, zyrAffineDouble, n, points);
    for (int64_t i = 0; i < n; ++i)
      for (int k = 0; k < d; ++k) {
        const double x = points[3 * i + k];
        if (x < v->m_boundingBoxMin[k])
          v->m_boundingBoxMin[k] = x;
        if (x > v->m_boundingBoxMax[k])
          v->m_boundingBoxMax[k] = x;
      }
    zyrMemory_free(points, __func__);
  }
  v->m_boundingBoxValid = 1;
}

void computeCentroid(Vertices *v) {
  const int32_t n = v->m_noOfVertices;
  const int32_t d = v->m_dimensionality;
  double sum[3] = {0.0, 0.0, 0.0};
  for (int64_t i = 0; i < n; ++i)
    for (int k = 0; k < d; ++k)
      sum[k] += stored(v, 3 * i + k);
  for (int k = 0; k < 3; ++k)
    v->m_centroid[k] = n > 0 ? sum[k] / n : 0.0;
  double best = kHuge;
  v->m_nearestVertex = -1;
  for (int32_t i = 0; i < n; ++i) {
    double distance = 0.0;
    for (int k = 0; k < d; ++k) {
      const double delta = stored(v, 3 * static_cast<int64_t>(i) + k) - v->m_centroid[k];
      distance += delta * delta;
    }
    if (distance < best) {
      best = distance;
      v->m_nearestVertex = i;
    }
  }
  v->m_centroidValid = 1;
}

// Makes stored data that does not fit together safe to read: the count is cut to what the blob
// holds and split sources outside the base vertices are dropped. 1 when nothing had to change.
int checkConsistency(Vertices *v) {
  int ok = 1;
  if (v->m_dimensionality < 1 || v->m_dimensionality > 3) {
    v->m_dimensionality = 3;
    ok = 0;
  }
  if (v->m_xyz != nullptr) {
    const int32_t type = zyrBlob_getType(v->m_xyz);
    const int32_t precision = type == ZYR_TYPE_FLOAT ? VERTICES_SINGLE : VERTICES_DOUBLE;
    if (precision != v->m_precision || (type != ZYR_TYPE_FLOAT && type != ZYR_TYPE_DOUBLE)) {
      v->m_precision = precision;
      ok = 0;
    }
  }
  const int64_t size = v->m_xyz != nullptr && zyrBlob_getData(v->m_xyz) != nullptr ? zyrBlob_getSize(v->m_xyz) : 0;
  const int64_t fits = size / (3 * valueSize(v->m_precision));
  if (v->m_xyz == nullptr ||
      zyrBlob_getType(v->m_xyz) != (v->m_precision == VERTICES_SINGLE ? ZYR_TYPE_FLOAT : ZYR_TYPE_DOUBLE)) {
    if (v->m_noOfVertices != 0)
      ok = 0;
    v->m_noOfVertices = 0;
  } else if (v->m_noOfVertices < 0 || v->m_noOfVertices > fits) {
    v->m_noOfVertices = v->m_noOfVertices < 0 ? 0 : static_cast<int32_t>(fits);
    ok = 0;
  }
  int32_t kept = 0;
  for (int32_t s = 0; s < v->m_noOfSplitVertices; ++s)
    if (v->m_splitVertices[s] >= 0 && v->m_splitVertices[s] < v->m_noOfVertices)
      v->m_splitVertices[kept++] = v->m_splitVertices[s];
  if (kept != v->m_noOfSplitVertices)
    ok = 0;
  v->m_noOfSplitVertices = kept;
  return ok;
}

// Run before stored data is read: restored records are checked once against their blob.
void ensureConsistent(Vertices *v) {
  if (v->m_checked != 0)
    return;
  v->m_checked = 1;
  if (checkConsistency(v) == 1)
    return;
  v->m_boundingBoxValid = 0;
  v->m_centroidValid = 0;
  char key[ZYR_UUID_BASE64_SIZE];
  zyrObject_getUUIDString(v, key);
  ZYR_ERROR(ZYR_I_INTERNAL_ERROR, "The stored vertices %s are inconsistent.\n", key);
}

} // namespace

int Vertices_registerType() {
  static int registered = 0;
  if (registered == 0)
    registered =
        zyrTypeManager_setHooks("Vertices", Vertices_getSize, Vertices_dump, Vertices_restore, Vertices_delete);
  return registered;
}

int64_t Vertices_getSize() { return static_cast<int64_t>(sizeof(Vertices)); }

int Vertices_dump(void *) { return 1; }

int Vertices_restore(void *object, int32_t flag) {
  Vertices *v = static_cast<Vertices *>(object);
  // Anything the caches are computed from clears them.
  static const char *const sources[] = {"xyz",   "transform - A", "transform - v", "transform - units",
                                        "units", "noOfVertices",  "precision"};
  int changed = flag == 0;
  for (const char *name : sources)
    changed = changed || zyrObject_checkAttribute(v, flag, name);
  zyrObject_getAffineTransform3D(v, flag, "transform", &v->m_transform);
  zyrObject_getInt(v, flag, "noOfVertices", &v->m_noOfVertices);
  void *xyz = v->m_xyz;
  zyrObject_getPointer(v, flag, "xyz", &xyz);
  v->m_xyz = static_cast<zyrBlob *>(xyz);
  zyrObject_getString(v, flag, "units", &v->m_units);
  // Coordinates in units that cannot be converted answer no question about lengths.
  if (changed && v->m_units != nullptr && Units_isLengthUnit(v->m_units) != 1) {
    char key[ZYR_UUID_BASE64_SIZE];
    zyrObject_getUUIDString(v, key);
    ZYR_ERROR(ZYR_I_INTERNAL_ERROR, "The stored vertices %s are in units \"%s\", which are not a known length unit.\n",
              key, v->m_units);
  }
  zyrObject_getInt(v, flag, "precision", &v->m_precision);
  zyrObject_getInt(v, flag, "dimensionality", &v->m_dimensionality);
  if (flag == 0 || zyrObject_checkAttribute(v, flag, "splitVertices")) {
    int32_t *split = nullptr;
    int32_t n = 0;
    zyrObject_getInts(v, 0, "splitVertices", &split, &n);
    zyrMemory_free(v->m_splitVertices, __func__);
    v->m_splitVertices = split;
    v->m_noOfSplitVertices = split != nullptr ? n : 0;
  }
  if (changed) {
    v->m_boundingBoxValid = 0;
    v->m_centroidValid = 0;
  }
  // The blob may not be loaded yet: its agreement with the count is checked on first use.
  v->m_checked = 0;
  return 1;
}

Vertices *Vertices_new(int32_t dimensionality, const char *units, int32_t precision, int32_t noOfVertices,
                       double *coordinates) {
  if (noOfVertices < 0 || (noOfVertices > 0 && coordinates == nullptr) || dimensionality < 1 || dimensionality > 3 ||
      units == nullptr) {
    zyrMemory_free(coordinates, __func__);
    ZYR_ERROR(ZYR_U_INVALID_INPUT, "The vertices cannot be made from %d vertices with these arguments.\n",
              noOfVertices);
    return nullptr;
  }
  Vertices *v = allocate();
  if (v == nullptr) {
    zyrMemory_free(coordinates, __func__);
    return nullptr;
  }
  const int64_t values = 3 * static_cast<int64_t>(noOfVertices);
  v->m_dimensionality = dimensionality;
  v->m_units = zyrCString_clone(units);
  v->m_noOfVertices = noOfVertices;
  if (precision == VERTICES_SINGLE_REQUEST) {
    v->m_precision = VERTICES_SINGLE;
    float *narrow = reinterpret_cast<float *>(coordinates);
    // Narrowing in place is safe going forwards: float i lies below double i.
    for (int64_t i = 0; i < values; ++i) {
      const float x = static_cast<float>(coordinates[i]);
      std::memcpy(narrow + i, &x, sizeof x);
    }
    if (values > 0)
      coordinates = static_cast<double *>(zyrMemory_reallocate(coordinates, values * 4, __func__));
    v->m_xyz = zyrBlob_new(coordinates, values * 4, ZYR_TYPE_FLOAT);
  } else {
    v->m_precision = VERTICES_DOUBLE;
    v->m_xyz = zyrBlob_new(coordinates, values * 8, ZYR_TYPE_DOUBLE);
  }
  v->m_nearestVertex = -1;
  v->m_checked = 1;
  writeAll(v);
  return v;
}

Vertices *Vertices_newSubset(const Vertices *source, int32_t count, const int32_t *vertices) {
  if (source != nullptr)
    ensureConsistent(const_cast<Vertices *>(source));
  if (source == nullptr || count < 0 || (count > 0 && vertices == nullptr)) {
    ZYR_ERROR(ZYR_U_INVALID_INPUT, "A subset of %d vertices cannot be made with these arguments.\n", count);
    return nullptr;
  }
  for (int32_t i = 0; i < count; ++i)
    if (vertices[i] < 0 || vertices[i] >= source->m_noOfVertices) {
      ZYR_ERROR(ZYR_U_INVALID_INPUT, "Vertex %d is not a base vertex of the source.\n", vertices[i]);
      return nullptr;
    }
  const int64_t bytes = 3 * static_cast<int64_t>(count) * valueSize(source->m_precision);
  void *data = count > 0 ? zyrMemory_allocate(bytes, __func__) : nullptr;
  for (int32_t i = 0; i < count; ++i)
    for (int k = 0; k < 3; ++k)
      put(data, source->m_precision, 3 * static_cast<int64_t>(i) + k,
          stored(source, 3 * static_cast<int64_t>(vertices[i]) + k));
  Vertices *v = allocate();
  if (v == nullptr) {
    zyrMemory_free(data, __func__);
    return nullptr;
  }
  v->m_transform = source->m_transform != nullptr ? zyrAffineTransform3D_copy(source->m_transform) : nullptr;
  v->m_noOfVertices = count;
  v->m_units = zyrCString_clone(source->m_units);
  v->m_precision = source->m_precision;
  v->m_dimensionality = source->m_dimensionality;
  v->m_xyz = zyrBlob_new(data, bytes, source->m_precision == VERTICES_SINGLE ? ZYR_TYPE_FLOAT : ZYR_TYPE_DOUBLE);
  v->m_nearestVertex = -1;
  v->m_checked = 1;
  writeAll(v);
  return v;
}

Vertices *Vertices_copy(const Vertices *source, const zyrAffineTransform3D *transform) {
  if (source == nullptr)
    return nullptr;
  ensureConsistent(const_cast<Vertices *>(source));
  Vertices *v = allocate();
  if (v == nullptr)
    return nullptr;
  // Everything but the header: the caches stay valid for the same coordinates.
  std::memcpy(reinterpret_cast<char *>(v) + sizeof(zyrObject),
              reinterpret_cast<const char *>(source) + sizeof(zyrObject), sizeof(Vertices) - sizeof(zyrObject));
  v->m_xyz = zyrBlob_copy(source->m_xyz);
  v->m_units = zyrCString_clone(source->m_units);
  v->m_splitVertices =
      source->m_noOfSplitVertices > 0
          ? static_cast<int32_t *>(zyrMemory_duplicate(source->m_splitVertices,
                                                       4 * static_cast<int64_t>(source->m_noOfSplitVertices), __func__))
          : nullptr;
  v->m_transform = source->m_transform != nullptr ? zyrAffineTransform3D_copy(source->m_transform) : nullptr;
  if (transform != nullptr) {
    if (v->m_transform == nullptr)
      v->m_transform = zyrAffineTransform3D_new();
    zyrAffineTransform3D_combine(v->m_transform, transform);
    v->m_boundingBoxValid = 0;
  }
  writeAll(v);
  return v;
}

int Vertices_delete(void *object) {
  Vertices *v = static_cast<Vertices *>(object);
  if (v == nullptr)
    return 0;
  if (zyrObject_canDelete(v) && v->m_xyz != nullptr)
    zyrBlob_delete(v->m_xyz);
  v->m_xyz = nullptr;
  zyrCString_free(v->m_units);
  v->m_units = nullptr;
  zyrMemory_freeAndClear(&v->m_splitVertices, __func__);
  zyrAffineTransform3D_delete(v->m_transform);
  v->m_transform = nullptr;
  return zyrObject_delete(v);
}

int32_t Vertices_getNoOfVertices(const Vertices *v) {
  // Callers size arrays by the count: a restored one is first checked against the blob.
  ensureConsistent(const_cast<Vertices *>(v));
  return v->m_noOfVertices + v->m_noOfSplitVertices;
}

int32_t Vertices_getDimensionality(const Vertices *v) { return v->m_dimensionality; }

int32_t Vertices_getPrecision(const Vertices *v) { return v->m_precision; }

char *Vertices_getUnits(const Vertices *v) { return zyrCString_clone(v->m_units); }

int Vertices_setUnits(Vertices *v, const char *units) {
  if (units == nullptr || Units_isValid(units) != 1)
    return 0;
  zyrCString_reassign(&v->m_units, units);
  v->m_boundingBoxValid = 0; // the box is kept in the record's units; the transform's are its own
  return zyrObject_setString(v, "units", units);
}

int Vertices_transform(Vertices *v, const zyrAffineTransform3D *transform) {
  if (transform == nullptr)
    return 0;
  if (v->m_transform == nullptr)
    v->m_transform = zyrAffineTransform3D_new();
  const int ok = zyrAffineTransform3D_combine(v->m_transform, transform);
  zyrObject_setAffineTransform3D(v, "transform", v->m_transform);
  v->m_boundingBoxValid = 0;
  return ok;
}

const zyrAffineTransform3D *Vertices_getTransform(const Vertices *v) { return v->m_transform; }

int Vertices_isInverted(const Vertices *v) {
  return v->m_transform != nullptr ? zyrAffineTransform3D_reversesOrientation(v->m_transform) : 0;
}

int32_t Vertices_getCoordinates(Vertices *v, const char *units, int32_t precision, int32_t count, const int32_t *list,
                                void **coordinates) {
  ensureConsistent(v);
  if (v->m_noOfVertices == 0)
    return 0;
  const int32_t total = Vertices_getNoOfVertices(v);
  if ((precision != VERTICES_SINGLE && precision != VERTICES_DOUBLE) || coordinates == nullptr || count < 0 ||
      (count > 0 && list == nullptr && count != total))
    return -1;
  int all = count == 0 || list == nullptr;
  if (!all && count == total) {
    all = 1;
    for (int32_t i = 0; i < count && all; ++i)
      all = list[i] == i;
  }
  if (!all)
    for (int32_t i = 0; i < count; ++i)
      if (list[i] < 0 || list[i] >= total) {
        ZYR_ERROR(ZYR_U_INVALID_INPUT, "Vertex %d does not exist.\n", list[i]);
        return -1;
      }
  const int32_t n = all ? total : count;
  const int allocated = *coordinates == nullptr;
  if (allocated)
    *coordinates = zyrMemory_allocate(3 * static_cast<int64_t>(n) * valueSize(precision), __func__);
  void *out = *coordinates;
  if (all && precision == v->m_precision) {
    std::memcpy(out, zyrBlob_getData(v->m_xyz), 3 * static_cast<int64_t>(v->m_noOfVertices) * valueSize(precision));
    for (int32_t s = 0; s < v->m_noOfSplitVertices; ++s)
      for (int k = 0; k < 3; ++k)
        put(out, precision, 3 * (static_cast<int64_t>(v->m_noOfVertices) + s) + k,
            stored(v, 3 * static_cast<int64_t>(v->m_splitVertices[s]) + k));
  } else {
    for (int32_t i = 0; i < n; ++i) {
      const int64_t from = 3 * static_cast<int64_t>(baseOf(v, all ? i : list[i]));
      for (int k = 0; k < 3; ++k)
        put(out, precision, 3 * static_cast<int64_t>(i) + k, stored(v, from + k));
    }
  }
  if (toModel(v, units, precision, n, out) != 1) {
    if (allocated)
      zyrMemory_freeAndClear(coordinates, __func__);
    return -1;
  }
  return n;
}

int Vertices_getBoundingBox(Vertices *v, const char *units, double box[6]) {
  ensureConsistent(v);
  if (v->m_boundingBoxValid == 0)
    computeBoundingBox(v);
  for (int k = 0; k < 3; ++k) {
    box[k] = v->m_boundingBoxMin[k];
    box[3 + k] = v->m_boundingBoxMax[k];
  }
  if (v->m_noOfVertices > 0)
    return Units_convertDoubles(v->m_units, units, 6, box);
  // The empty box stays at its limits, which a factor above 1 would turn into infinities.
  double factor = 1.0;
  return units == nullptr ? 1 : Units_getConversionFactor(v->m_units, units, &factor);
}

int Vertices_getCentroid(Vertices *v, const char *units, int32_t snap, double centroid[3], int32_t *vertex) {
  ensureConsistent(v);
  if (v->m_centroidValid == 0)
    computeCentroid(v);
  if (vertex != nullptr)
    *vertex = v->m_nearestVertex;
  if (v->m_nearestVertex < 0) {
    centroid[0] = centroid[1] = centroid[2] = 0.0;
    return 0;
  }
  for (int k = 0; k < 3; ++k)
    centroid[k] = snap == 1 ? stored(v, 3 * static_cast<int64_t>(v->m_nearestVertex) + k) : v->m_centroid[k];
  return toModel(v, units, VERTICES_DOUBLE, 1, centroid);
}

int Vertices_split(Vertices *v, int32_t count, int32_t *sources) {
  ensureConsistent(v);
  if (count == 0) {
    zyrMemory_free(sources, __func__);
    return 1;
  }
  const int32_t total = Vertices_getNoOfVertices(v);
  int bad = count < 0 || sources == nullptr;
  for (int32_t i = 0; i < count && !bad; ++i)
    bad = sources[i] < 0 || sources[i] >= total;
  if (bad) {
    zyrMemory_free(sources, __func__);
    ZYR_ERROR(ZYR_U_INVALID_INPUT, "The split vertices cannot be made: %d sources, not all of them vertices.\n", count);
    return 0;
  }
  for (int32_t i = 0; i < count; ++i)
    sources[i] = baseOf(v, sources[i]);
  if (v->m_noOfSplitVertices == 0) {
    zyrMemory_free(v->m_splitVertices, __func__);
    v->m_splitVertices = zyrMemory_reallocateArray(sources, count, __func__);
  } else {
    // Splitting again adds to the list so that split vertices already handed out keep their source.
    v->m_splitVertices =
        zyrMemory_reallocateArray(v->m_splitVertices, v->m_noOfSplitVertices + static_cast<int64_t>(count), __func__);
    std::memcpy(v->m_splitVertices + v->m_noOfSplitVertices, sources, 4 * static_cast<size_t>(count));
    zyrMemory_free(sources, __func__);
  }
  v->m_noOfSplitVertices += count;
  return zyrObject_setInts(v, "splitVertices", v->m_splitVertices, v->m_noOfSplitVertices);
}

int32_t Vertices_getSplitVertices(const Vertices *v, const int32_t **sources) {
  if (sources != nullptr)
    *sources = v->m_splitVertices;
  return v->m_noOfSplitVertices;
}

void Vertices_print(const Vertices *vertices, FILE *stream) {
  ZYR_TRACE_BEGIN_DESC("Print out the current state of a collection of vertices.");
  Vertices *v = const_cast<Vertices *>(vertices); // the caches are filled on the way
  ensureConsistent(v);
  const char *rule = "==============================================";
  char key[ZYR_UUID_BASE64_SIZE];
  zyrObject_getUUIDString(v, key);
  std::fprintf(stream, "\n%s\nVertices: %s\n%s\n\n", rule, key, rule);
  std::fprintf(stream, "Number of vertices       = %d\n", v->m_noOfVertices);
  std::fprintf(stream, "Dimensionality           = %d\n", v->m_dimensionality);
  std::fprintf(stream, "Units                    = %s\n", v->m_units != nullptr ? v->m_units : "");
  std::fprintf(stream, "Precision                = %d %s", v->m_precision,
               v->m_precision == VERTICES_SINGLE ? "[single]\n" : "[double]\n");
  std::fprintf(stream, "Number of split vertices = %d\n", v->m_noOfSplitVertices);
  std::fprintf(stream, "Transformation           = %p ", static_cast<void *>(v->m_transform));
  if (v->m_transform != nullptr)
    zyrAffineTransform3D_print(v->m_transform, stream);
  else
    std::fprintf(stream, "\n");
  double c[3];
  int32_t nearest = -1;
  Vertices_getCentroid(v, nullptr, 0, c, &nearest);
  std::fprintf(stream, "Centroid                 = (%e, %e, %e)\n", c[0], c[1], c[2]);
  Vertices_getCentroid(v, nullptr, 1, c, &nearest);
  std::fprintf(stream, "Centroid                 = (%e, %e, %e) (Snapped to vertex %d)\n", c[0], c[1], c[2], nearest);
  double box[6];
  Vertices_getBoundingBox(v, nullptr, box);
  std::fprintf(stream, "Bounding box             = (%e, %e, %e) -\n                           (%e, %e, %e)\n", box[0],
               box[1], box[2], box[3], box[4], box[5]);
  if (ZYR_TRACE_DEBUG(1)) {
    std::fprintf(stream, "\nVertex coordinates:\n-------------------\n\n");
    for (int32_t i = 0; i < v->m_noOfVertices; ++i) {
      std::fprintf(stream, "  [%d][%d..%d]", i, 3 * i, 3 * i + 2);
      for (int k = 0; k < 3; ++k)
        std::fprintf(stream, " %e", stored(v, 3 * static_cast<int64_t>(i) + k));
      std::fprintf(stream, "\n");
    }
    std::fprintf(stream, "\nSplit vertices:\n---------------\n\n");
    for (int32_t s = 0; s < v->m_noOfSplitVertices; ++s)
      std::fprintf(stream, "  [%d] %d\n", v->m_noOfVertices + s, v->m_splitVertices[s]);
  }
  std::fflush(stream);
}
