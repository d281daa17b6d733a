#ifndef ZYR_AFFINE_TRANSFORM_3D_H
#define ZYR_AFFINE_TRANSFORM_3D_H
// The 3-D affine map x' = A x + v. A is unitless; v is held in a named length unit, so that
// transforms built from points in different units compose and apply to coordinates in any unit.
// Every building operation composes its elementary map after the current one: the transform
// always means "first what it already did, then the new map".
//
// Operations answer 1 on success and 0 on failure, with the reason published to the error
// manager. A failing operation leaves the transform exactly as it was. Points, vectors and axes
// are arrays of three doubles; units are names known to the units module (Units.h), and every
// unit of a position or of the transform itself must be a length unit.
#include <cstdint>
#include <cstdio>

struct zyrAffineTransform3D {
  double m_A[9];   // row by row: m_A[0] m_A[1] m_A[2] is the first row
  double m_v[3];
  char *m_units;   // owned; the length unit of m_v
};

// The coordinate types of zyrAffineTransform3D_apply; any type but 1 means double.
enum { zyrAffineFloat = 1, zyrAffineDouble = 2 };

// Identity in "m".
zyrAffineTransform3D *zyrAffineTransform3D_new();
zyrAffineTransform3D *zyrAffineTransform3D_copy(const zyrAffineTransform3D *t);
void zyrAffineTransform3D_delete(zyrAffineTransform3D *t);

// Replaces A, v and the units; units that are not a length unit: error 10013.
int zyrAffineTransform3D_set(zyrAffineTransform3D *t, const double matrix[9], const double vector[3],
                             const char *units);
// Copies A and v out and gives a new copy of the units name (the caller frees it with
// zyrCString_free); any output may be NULL.
int zyrAffineTransform3D_get(const zyrAffineTransform3D *t, double matrix[9], double vector[3], char **units);

int zyrAffineTransform3D_translate(zyrAffineTransform3D *t, const double displacement[3], const char *units);
// Scaling by the three factors about the centre.
int zyrAffineTransform3D_scale(zyrAffineTransform3D *t, const double centre[3], const char *units,
                               const double factors[3]);
// Right-handed rotation about the axis through the origin. Angle units beginning with "rad" are
// radians, with "deg" degrees; others fail with error 10014.
int zyrAffineTransform3D_simpleRotate(zyrAffineTransform3D *t, const double axis[3], double angle,
                                      const char *angleUnits);
// Rotation about the axis through the point.
int zyrAffineTransform3D_rotate(zyrAffineTransform3D *t, const double point[3], const char *units,
                                const double axis[3], double angle, const char *angleUnits);
// Rotation about the axis through point1 and point2 by the signed angle that turns a towards b.
int zyrAffineTransform3D_rotateAboutAxis(zyrAffineTransform3D *t, const double point1[3], const double point2[3],
                                         const char *axisUnits, const double a[3], const double b[3],
                                         const char *pointUnits);
// Reflection in the plane through the origin (or through the point) with the normal.
int zyrAffineTransform3D_simpleReflect(zyrAffineTransform3D *t, const double normal[3]);
int zyrAffineTransform3D_reflect(zyrAffineTransform3D *t, const double point[3], const char *units,
                                 const double normal[3]);
// The map from frame coordinates (a, b, c) to origin + a e1 + b e2 + c e3; the axes are used as
// given (neither normalised nor tested for orthogonality).
int zyrAffineTransform3D_frameChange(zyrAffineTransform3D *t, const double origin[3], const char *units,
                                     const double e1[3], const double e2[3], const double e3[3]);
// t becomes the map that applies t and then u; t keeps its units. u may be t.
int zyrAffineTransform3D_combine(zyrAffineTransform3D *t, const zyrAffineTransform3D *u);
// Singular matrix: error 10016.
int zyrAffineTransform3D_invert(zyrAffineTransform3D *t);
// t applied n times; 0 gives the identity (units kept); n < 0 the inverse applied -n times.
int zyrAffineTransform3D_power(zyrAffineTransform3D *t, int32_t n);
// Maps n points (3n coordinates of the given type) in place; the points are in the given
// length units.
int zyrAffineTransform3D_apply(const zyrAffineTransform3D *t, const char *units, int32_t type, int32_t n,
                               void *coordinates);
// Re-expresses the transform in another length unit.
int zyrAffineTransform3D_setUnits(zyrAffineTransform3D *t, const char *units);

double zyrAffineTransform3D_getDeterminant(const zyrAffineTransform3D *t);
int zyrAffineTransform3D_preservesOrientation(const zyrAffineTransform3D *t);
int zyrAffineTransform3D_reversesOrientation(const zyrAffineTransform3D *t);

void zyrAffineTransform3D_print(const zyrAffineTransform3D *t, FILE *stream);

#endif
