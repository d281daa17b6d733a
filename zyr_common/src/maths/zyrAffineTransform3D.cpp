#include "zyrAffineTransform3D.h"

#include "Units.h"
#include "zyrCString.h"
#include "zyrError.h"
#include "zyrMemory.h"
#include "zyrTrace.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

// The smallest acceptable vector length: ten times the smallest normal double.
const double kTolerance = 2.2250738585072014e-307;
const double kDegreesToRadians = 0.017453292519943295;
// A determinant this small beside the product of the row lengths (its largest possible size)
// belongs to a matrix that is singular up to rounding.
const double kSingularity = 1e-13;

const double kIdentity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
const double kZero[3] = {0, 0, 0};

const char *text(const char *s) { return s != nullptr ? s : ""; }

int missingArgument(const char *function, int line) {
  zyrError *error = zyrError_new(ZYR_U_INVALID_INPUT, function, __FILE__, line);
  zyrError_addMessage(error, "A required argument is missing.\n");
  zyrError_publish(error);
  return 0;
}

int invalidLengthUnits(const char *function, int line, const char *format, const char *units) {
  zyrError *error = zyrError_new(ZYR_U_INVALID_LENGTH_UNITS, function, __FILE__, line);
  zyrError_addMessage(error, format, text(units));
  zyrError_publish(error);
  return 0;
}

// The vector scaled to unit length. A vector shorter than the tolerance (or not finite) gives
// a new, unpublished 10015 record for the caller to complete; NULL on success.
zyrError *normalise(const double in[3], double out[3]) {
  double length = std::sqrt(in[0] * in[0] + in[1] * in[1] + in[2] * in[2]);
  double scaled[3] = {in[0], in[1], in[2]};
  if (!(length > 1e-150 && length < 1e150)) {
    // The squares would under- or overflow: measure the vector relative to its largest part.
    const double m = std::fmax(std::fabs(in[0]), std::fmax(std::fabs(in[1]), std::fabs(in[2])));
    if (m > 0.0 && std::isfinite(m)) {
      for (double &x : scaled)
        x /= m;
      const double r = std::sqrt(scaled[0] * scaled[0] + scaled[1] * scaled[1] + scaled[2] * scaled[2]);
      length = m * r;
      if (length >= kTolerance) {
        for (int i = 0; i < 3; ++i)
          out[i] = scaled[i] / r;
        return nullptr;
      }
    }
    return zyrError_new(ZYR_U_ZERO_LENGTH_VECTOR, __func__, __FILE__, __LINE__);
  }
  for (int i = 0; i < 3; ++i)
    out[i] = in[i] / length;
  return nullptr;
}

double determinant(const double *a) {
  return a[0] * a[4] * a[8] + a[1] * a[5] * a[6] + a[2] * a[3] * a[7] - a[2] * a[4] * a[6] - a[1] * a[3] * a[8] -
         a[0] * a[5] * a[7];
}

// (A, v) <- U after (A, v): A <- AU A, v <- AU v + f vU. The inputs may alias the outputs.
void compose(double A[9], double v[3], const double AU[9], const double vU[3], double f) {
  double a[9];
  double w[3];
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j)
      a[3 * i + j] = AU[3 * i] * A[j] + AU[3 * i + 1] * A[3 + j] + AU[3 * i + 2] * A[6 + j];
    w[i] = AU[3 * i] * v[0] + AU[3 * i + 1] * v[1] + AU[3 * i + 2] * v[2] + f * vU[i];
  }
  std::memcpy(A, a, sizeof a);
  std::memcpy(v, w, sizeof w);
}

void commit(zyrAffineTransform3D *t, const zyrAffineTransform3D *work) {
  std::memcpy(t->m_A, work->m_A, sizeof t->m_A);
  std::memcpy(t->m_v, work->m_v, sizeof t->m_v);
}

// Composes the linear map R (no translation) after t, through a temporary transform in t's
// units. Units of t that are no length unit are an internal fault: error 20006 for the caller.
int composeLinear(zyrAffineTransform3D *t, const double R[9], const char *function, int line) {
  if (!Units_isLengthUnit(t->m_units)) {
    zyrError *error = zyrError_new(ZYR_I_INTERNAL_ERROR, function, __FILE__, line);
    zyrError_addMessage(error, "A transformation has invalid length units: %s.\n", text(t->m_units));
    zyrError_publish(error);
    return 0;
  }
  zyrAffineTransform3D *temporary = zyrAffineTransform3D_new();
  std::memcpy(temporary->m_A, R, sizeof temporary->m_A);
  zyrCString_reassign(&temporary->m_units, t->m_units);
  const int status = zyrAffineTransform3D_combine(t, temporary);
  zyrAffineTransform3D_delete(temporary);
  return status;
}

// Maps n points of type T in place: p <- A p + w, in double precision.
template <class T> inline void mapRun(const double *A, const double *w, int64_t n, T *p) {
  const double a0 = A[0], a1 = A[1], a2 = A[2], a3 = A[3], a4 = A[4], a5 = A[5], a6 = A[6], a7 = A[7], a8 = A[8];
  const double w0 = w[0], w1 = w[1], w2 = w[2];
  for (int64_t i = 0; i < n; ++i, p += 3) {
    const double x = static_cast<double>(p[0]);
    const double y = static_cast<double>(p[1]);
    const double z = static_cast<double>(p[2]);
    p[0] = static_cast<T>(a0 * x + a1 * y + a2 * z + w0);
    p[1] = static_cast<T>(a3 * x + a4 * y + a5 * z + w1);
    p[2] = static_cast<T>(a6 * x + a7 * y + a8 * z + w2);
  }
}

// In blocks of a fixed count, which the compiler turns into vector code without a run-time
// check of the count; the same arithmetic point by point.
template <class T> void mapPoints(const double *A, const double *w, int64_t n, T *p) {
  const int64_t kBlock = 64;
  int64_t done = 0;
  for (; done + kBlock <= n; done += kBlock, p += 3 * kBlock)
    mapRun(A, w, kBlock, p);
  mapRun(A, w, n - done, p);
}

} // namespace

zyrAffineTransform3D *zyrAffineTransform3D_new() {
  zyrAffineTransform3D *t = zyrMemory_allocateArray<zyrAffineTransform3D>(1, __func__);
  std::memcpy(t->m_A, kIdentity, sizeof t->m_A);
  std::memcpy(t->m_v, kZero, sizeof t->m_v);
  t->m_units = zyrCString_clone("m");
  return t;
}

zyrAffineTransform3D *zyrAffineTransform3D_copy(const zyrAffineTransform3D *t) {
  if (t == nullptr)
    return nullptr;
  zyrAffineTransform3D *copy = zyrMemory_allocateArray<zyrAffineTransform3D>(1, __func__);
  commit(copy, t);
  copy->m_units = zyrCString_clone(t->m_units);
  return copy;
}

void zyrAffineTransform3D_delete(zyrAffineTransform3D *t) {
  if (t == nullptr)
    return;
  zyrCString_free(t->m_units);
  zyrMemory_free(t, __func__);
}

int zyrAffineTransform3D_set(zyrAffineTransform3D *t, const double matrix[9], const double vector[3],
                             const char *units) {
  if (t == nullptr || matrix == nullptr || vector == nullptr)
    return missingArgument(__func__, __LINE__);
  // Only a length unit can measure the translation (an angle unit would pass a plain validity
  // test and fail later in every composition).
  if (!Units_isLengthUnit(units))
    return invalidLengthUnits(__func__, __LINE__, "Supplied units for length were: %s.\n", units);
  zyrCString_reassign(&t->m_units, units);
  std::memmove(t->m_A, matrix, sizeof t->m_A);
  std::memmove(t->m_v, vector, sizeof t->m_v);
  return 1;
}

int zyrAffineTransform3D_get(const zyrAffineTransform3D *t, double matrix[9], double vector[3], char **units) {
  if (t == nullptr)
    return missingArgument(__func__, __LINE__);
  if (matrix != nullptr)
    std::memmove(matrix, t->m_A, sizeof t->m_A);
  if (vector != nullptr)
    std::memmove(vector, t->m_v, sizeof t->m_v);
  if (units != nullptr)
    *units = zyrCString_clone(t->m_units);
  return 1;
}

int zyrAffineTransform3D_translate(zyrAffineTransform3D *t, const double displacement[3], const char *units) {
  if (t == nullptr || displacement == nullptr)
    return missingArgument(__func__, __LINE__);
  double f = 1.0;
  if (!Units_getConversionFactor(units, t->m_units, &f))
    return invalidLengthUnits(__func__, __LINE__, "Supplied units for displacement were: %s.\n", units);
  for (int i = 0; i < 3; ++i)
    t->m_v[i] += f * displacement[i];
  return 1;
}

int zyrAffineTransform3D_scale(zyrAffineTransform3D *t, const double centre[3], const char *units,
                               const double factors[3]) {
  if (t == nullptr || centre == nullptr || factors == nullptr)
    return missingArgument(__func__, __LINE__);
  if (!Units_isLengthUnit(units))
    return invalidLengthUnits(__func__, __LINE__, "Supplied units for offset coordinates were: %s.\n", units);
  // The three steps work on a copy, so that a failing one leaves the transform as it was.
  zyrAffineTransform3D *work = zyrAffineTransform3D_copy(t);
  const double minus[3] = {-centre[0], -centre[1], -centre[2]};
  int status = zyrAffineTransform3D_translate(work, minus, units);
  if (status) {
    // Scaling about the origin: the diagonal matrix composed after the transform.
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j)
        work->m_A[3 * i + j] *= factors[i];
      work->m_v[i] *= factors[i];
    }
    status = zyrAffineTransform3D_translate(work, centre, units);
  }
  if (status)
    commit(t, work);
  zyrAffineTransform3D_delete(work);
  return status;
}

int zyrAffineTransform3D_simpleRotate(zyrAffineTransform3D *t, const double axis[3], double angle,
                                      const char *angleUnits) {
  if (t == nullptr || axis == nullptr)
    return missingArgument(__func__, __LINE__);
  double theta = angle;
  if (angleUnits != nullptr && std::strncmp(angleUnits, "rad", 3) == 0) {
    // radians as given
  } else if (angleUnits != nullptr && std::strncmp(angleUnits, "deg", 3) == 0) {
    theta = angle * kDegreesToRadians;
  } else {
    zyrError *error = zyrError_new(ZYR_U_INVALID_ANGLE_UNITS, __func__, __FILE__, __LINE__);
    zyrError_addMessage(error, "Supplied units for angle were: %s.\n", text(angleUnits));
    zyrError_publish(error);
    return 0;
  }
  double n[3];
  if (zyrError *error = normalise(axis, n)) {
    zyrError_addMessage(error, "The axis of rotation has zero length.\n");
    zyrError_publish(error);
    return 0;
  }
  const double c = std::cos(theta);
  const double s = std::sin(theta);
  const double u = 1.0 - c;
  double R[9];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      R[3 * i + j] = u * n[i] * n[j] + (i == j ? c : 0.0);
  R[1] -= s * n[2];
  R[2] += s * n[1];
  R[3] += s * n[2];
  R[5] -= s * n[0];
  R[6] -= s * n[1];
  R[7] += s * n[0];
  return composeLinear(t, R, __func__, __LINE__);
}

int zyrAffineTransform3D_rotate(zyrAffineTransform3D *t, const double point[3], const char *units,
                                const double axis[3], double angle, const char *angleUnits) {
  if (t == nullptr || point == nullptr || axis == nullptr)
    return missingArgument(__func__, __LINE__);
  if (!Units_isLengthUnit(units))
    return invalidLengthUnits(__func__, __LINE__, "Supplied units for coordinates were: %s.\n", units);
  zyrAffineTransform3D *work = zyrAffineTransform3D_copy(t);
  const double minus[3] = {-point[0], -point[1], -point[2]};
  int status = zyrAffineTransform3D_translate(work, minus, units) &&
               zyrAffineTransform3D_simpleRotate(work, axis, angle, angleUnits) &&
               zyrAffineTransform3D_translate(work, point, units);
  if (status)
    commit(t, work);
  zyrAffineTransform3D_delete(work);
  return status;
}

int zyrAffineTransform3D_rotateAboutAxis(zyrAffineTransform3D *t, const double point1[3], const double point2[3],
                                         const char *axisUnits, const double a[3], const double b[3],
                                         const char *pointUnits) {
  if (t == nullptr || point1 == nullptr || point2 == nullptr || a == nullptr || b == nullptr)
    return missingArgument(__func__, __LINE__);
  if (!Units_isLengthUnit(axisUnits))
    return invalidLengthUnits(__func__, __LINE__, "Supplied units for axis coordinates were: %s.\n", axisUnits);
  if (!Units_isLengthUnit(pointUnits))
    return invalidLengthUnits(__func__, __LINE__, "Supplied units for point coordinates were: %s.\n",
                              pointUnits);
  const double d[3] = {point2[0] - point1[0], point2[1] - point1[1], point2[2] - point1[2]};
  double u[3];
  if (zyrError *error = normalise(d, u)) {
    // The record names this operation, the one whose arguments were at fault.
    zyrError_setFunction(error, __func__);
    zyrError_publish(error);
    return 0;
  }
  double origin[3] = {point1[0], point1[1], point1[2]};
  if (!Units_convertDoubles(axisUnits, pointUnits, 3, origin))
    return 0;
  const double p[3] = {a[0] - origin[0], a[1] - origin[1], a[2] - origin[2]};
  const double q[3] = {b[0] - origin[0], b[1] - origin[1], b[2] - origin[2]};
  const double cross[3] = {p[1] * q[2] - p[2] * q[1], p[2] * q[0] - p[0] * q[2], p[0] * q[1] - p[1] * q[0]};
  const double pu = p[0] * u[0] + p[1] * u[1] + p[2] * u[2];
  const double qu = q[0] * u[0] + q[1] * u[1] + q[2] * u[2];
  const double pq = p[0] * q[0] + p[1] * q[1] + p[2] * q[2];
  const double theta = std::atan2(cross[0] * u[0] + cross[1] * u[1] + cross[2] * u[2], pq - pu * qu);
  return zyrAffineTransform3D_rotate(t, origin, pointUnits, u, theta, "radian");
}

int zyrAffineTransform3D_simpleReflect(zyrAffineTransform3D *t, const double normal[3]) {
  if (t == nullptr || normal == nullptr)
    return missingArgument(__func__, __LINE__);
  double n[3];
  if (zyrError *error = normalise(normal, n)) {
    zyrError_addMessage(error, "The normal to the plane of reflection is undefined as it has zero length.\n");
    zyrError_publish(error);
    return 0;
  }
  double R[9];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      R[3 * i + j] = (i == j ? 1.0 : 0.0) - 2.0 * n[i] * n[j];
  return composeLinear(t, R, __func__, __LINE__);
}

int zyrAffineTransform3D_reflect(zyrAffineTransform3D *t, const double point[3], const char *units,
                                 const double normal[3]) {
  if (t == nullptr || point == nullptr || normal == nullptr)
    return missingArgument(__func__, __LINE__);
  if (!Units_isLengthUnit(units))
    return invalidLengthUnits(__func__, __LINE__, "Supplied units for offset coordinates were: %s.\n", units);
  zyrAffineTransform3D *work = zyrAffineTransform3D_copy(t);
  const double minus[3] = {-point[0], -point[1], -point[2]};
  int status = zyrAffineTransform3D_translate(work, minus, units) &&
               zyrAffineTransform3D_simpleReflect(work, normal) && zyrAffineTransform3D_translate(work, point, units);
  if (status)
    commit(t, work);
  zyrAffineTransform3D_delete(work);
  return status;
}

int zyrAffineTransform3D_frameChange(zyrAffineTransform3D *t, const double origin[3], const char *units,
                                     const double e1[3], const double e2[3], const double e3[3]) {
  if (t == nullptr || origin == nullptr || e1 == nullptr || e2 == nullptr || e3 == nullptr)
    return missingArgument(__func__, __LINE__);
  const double R[9] = {e1[0], e2[0], e3[0], e1[1], e2[1], e3[1], e1[2], e2[2], e3[2]};
  // On a copy: a bad unit of the origin is found only by the translation after the matrix.
  zyrAffineTransform3D *work = zyrAffineTransform3D_copy(t);
  const int status = composeLinear(work, R, __func__, __LINE__) && zyrAffineTransform3D_translate(work, origin, units);
  if (status)
    commit(t, work);
  zyrAffineTransform3D_delete(work);
  return status;
}

int zyrAffineTransform3D_combine(zyrAffineTransform3D *t, const zyrAffineTransform3D *u) {
  if (t == nullptr || u == nullptr)
    return missingArgument(__func__, __LINE__);
  double f = 1.0;
  if (!Units_getConversionFactor(u->m_units, t->m_units, &f)) {
    zyrError *error = zyrError_new(ZYR_I_INTERNAL_ERROR, __func__, __FILE__, __LINE__);
    zyrError_addMessage(error, "A transformation has invalid length units: %s or %s.\n", text(u->m_units),
                        text(t->m_units));
    zyrError_publish(error);
    return 0;
  }
  double AU[9];
  double vU[3];
  std::memcpy(AU, u->m_A, sizeof AU); // u may be t
  std::memcpy(vU, u->m_v, sizeof vU);
  compose(t->m_A, t->m_v, AU, vU, f);
  return 1;
}

int zyrAffineTransform3D_invert(zyrAffineTransform3D *t) {
  ZYR_TRACE_BEGIN_DESC("Invert an affine transformation.");
  if (t == nullptr)
    return missingArgument(__func__, __LINE__);
  const double *a = t->m_A;
  const double d = determinant(a);
  double rows = 1.0;
  for (int i = 0; i < 3; ++i)
    rows *= std::sqrt(a[3 * i] * a[3 * i] + a[3 * i + 1] * a[3 * i + 1] + a[3 * i + 2] * a[3 * i + 2]);
  const double r = 1.0 / d;
  // (1/d) times the adjugate.
  const double inverse[9] = {
      r * (a[4] * a[8] - a[5] * a[7]), r * (a[2] * a[7] - a[1] * a[8]), r * (a[1] * a[5] - a[2] * a[4]),
      r * (a[5] * a[6] - a[3] * a[8]), r * (a[0] * a[8] - a[2] * a[6]), r * (a[2] * a[3] - a[0] * a[5]),
      r * (a[3] * a[7] - a[4] * a[6]), r * (a[1] * a[6] - a[0] * a[7]), r * (a[0] * a[4] - a[1] * a[3])};
  bool singular = !std::isfinite(d) || !(std::fabs(d) > kSingularity * rows);
  for (double x : inverse)
    singular = singular || !std::isfinite(x);
  if (singular) {
    zyrError *error = zyrError_new(ZYR_U_SINGULAR_MATRIX, __func__, __FILE__, __LINE__);
    zyrError_addMessage(error, "Matrix:\n  %e %e %e\n  %e %e %e\n  %e %e %e\n", a[0], a[1], a[2], a[3], a[4], a[5],
                        a[6], a[7], a[8]);
    zyrError_publish(error);
    return 0;
  }
  const double *v = t->m_v;
  const double w[3] = {-(inverse[0] * v[0] + inverse[1] * v[1] + inverse[2] * v[2]),
                       -(inverse[3] * v[0] + inverse[4] * v[1] + inverse[5] * v[2]),
                       -(inverse[6] * v[0] + inverse[7] * v[1] + inverse[8] * v[2])};
  std::memcpy(t->m_A, inverse, sizeof inverse);
  std::memcpy(t->m_v, w, sizeof w);
  if (ZYR_TRACE_DEBUG(2))
    zyrAffineTransform3D_print(t, zyrTrace_getLog());
  return 1;
}

int zyrAffineTransform3D_power(zyrAffineTransform3D *t, int32_t n) {
  ZYR_TRACE_BEGIN_DESC("Raise an affine transformation to an integer power.");
  if (t == nullptr)
    return missingArgument(__func__, __LINE__);
  if (n == 0) {
    std::memcpy(t->m_A, kIdentity, sizeof t->m_A);
    std::memcpy(t->m_v, kZero, sizeof t->m_v);
    return 1;
  }
  // The step W is t expressed in metres.
  zyrAffineTransform3D *step = zyrAffineTransform3D_new();
  zyrAffineTransform3D *work = zyrAffineTransform3D_copy(t);
  int status = zyrAffineTransform3D_combine(step, t);
  if (status && n < 0)
    status = zyrAffineTransform3D_invert(step) && zyrAffineTransform3D_invert(work);
  // Each further application composes W after the result, as zyrAffineTransform3D_combine would;
  // the factor from W's units to t's is the same every time, so it is found once.
  double f = 1.0;
  if (status && !Units_getConversionFactor(step->m_units, work->m_units, &f))
    status = zyrAffineTransform3D_combine(work, step); // cannot succeed: it reports why
  const int64_t count = n < 0 ? -static_cast<int64_t>(n) : n;
  for (int64_t i = 1; status && i < count; ++i)
    compose(work->m_A, work->m_v, step->m_A, step->m_v, f);
  if (status)
    commit(t, work);
  if (ZYR_TRACE_DEBUG(1))
    zyrTrace_printf("n = %d, status = %d\n", n, status);
  zyrAffineTransform3D_delete(work);
  zyrAffineTransform3D_delete(step);
  return status;
}

int zyrAffineTransform3D_apply(const zyrAffineTransform3D *t, const char *units, int32_t type, int32_t n,
                               void *coordinates) {
  ZYR_TRACE_BEGIN_DESC("Apply an affine transformation to points.");
  if (t == nullptr)
    return missingArgument(__func__, __LINE__);
  double f = 1.0;
  if (!Units_getConversionFactor(t->m_units, units, &f))
    return invalidLengthUnits(__func__, __LINE__, "Supplied units for coordinates were: %s.\n", units);
  if (n < 0 || (n > 0 && coordinates == nullptr))
    return missingArgument(__func__, __LINE__);
  const double w[3] = {f * t->m_v[0], f * t->m_v[1], f * t->m_v[2]};
  if (ZYR_TRACE_DEBUG(1))
    zyrTrace_printf("%d points of type %d in %s\n", n, type, units);
  if (type == zyrAffineFloat)
    mapPoints(t->m_A, w, n, static_cast<float *>(coordinates));
  else
    mapPoints(t->m_A, w, n, static_cast<double *>(coordinates));
  return 1;
}

int zyrAffineTransform3D_setUnits(zyrAffineTransform3D *t, const char *units) {
  if (t == nullptr)
    return missingArgument(__func__, __LINE__);
  double f = 1.0;
  if (!Units_isLengthUnit(units) || !Units_getConversionFactor(t->m_units, units, &f))
    return invalidLengthUnits(__func__, __LINE__, "Supplied units for length were: %s.\n", units);
  for (double &x : t->m_v)
    x *= f;
  zyrCString_reassign(&t->m_units, units);
  return 1;
}

double zyrAffineTransform3D_getDeterminant(const zyrAffineTransform3D *t) { return determinant(t->m_A); }

int zyrAffineTransform3D_preservesOrientation(const zyrAffineTransform3D *t) {
  return zyrAffineTransform3D_getDeterminant(t) > 0.0;
}

int zyrAffineTransform3D_reversesOrientation(const zyrAffineTransform3D *t) {
  return zyrAffineTransform3D_getDeterminant(t) < 0.0;
}

void zyrAffineTransform3D_print(const zyrAffineTransform3D *t, FILE *stream) {
  const double *a = t->m_A;
  std::fprintf(stream, "\n");
  std::fprintf(stream, "----------------------------------------------\n");
  std::fprintf(stream, "Affine transformation:\n");
  std::fprintf(stream, "----------------------------------------------\n");
  std::fprintf(stream, "\n");
  std::fprintf(stream, "A     = (%e, %e, %e)\n        (%e, %e, %e)\n        (%e, %e, %e)\n", a[0], a[1], a[2], a[3],
               a[4], a[5], a[6], a[7], a[8]);
  std::fprintf(stream, "v     = (%e, %e, %e)\n", t->m_v[0], t->m_v[1], t->m_v[2]);
  std::fprintf(stream, "Units = %s\n", text(t->m_units));
  std::fprintf(stream, "\n");
}
