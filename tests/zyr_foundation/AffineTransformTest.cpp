// Affine transforms, with the built-in unit table (see UnitsTest.cpp for the modes).
#include "ErrorTestSupport.h"
#include "Units.h"
#include "zyrAffineTransform3D.h"
#include "zyrCString.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const int g_localUnits = setenv("ZYR_USE_LOCAL_UNITS", "1", 0);

using Point = std::array<double, 3>;

class AffineTransform : public zyrtest::ErrorTest {
protected:
  void SetUp() override {
    ErrorTest::SetUp();
    ASSERT_EQ(g_localUnits, 0);
    ASSERT_EQ(Units_getMode(), UnitsModeLocal);
    t = zyrAffineTransform3D_new();
  }
  void TearDown() override {
    zyrAffineTransform3D_delete(t);
    zyrAffineTransform3D_delete(saved);
    ErrorTest::TearDown();
  }

  Point apply(Point p, const char *units = "m") {
    EXPECT_EQ(zyrAffineTransform3D_apply(t, units, zyrAffineDouble, 1, p.data()), 1);
    return p;
  }
  // Remembers the transform, to be compared after a failing operation.
  void save() {
    zyrAffineTransform3D_delete(saved);
    saved = zyrAffineTransform3D_copy(t);
  }
  void expectUnchanged() {
    ASSERT_NE(saved, nullptr);
    EXPECT_EQ(std::memcmp(t->m_A, saved->m_A, sizeof t->m_A), 0);
    EXPECT_EQ(std::memcmp(t->m_v, saved->m_v, sizeof t->m_v), 0);
    EXPECT_STREQ(t->m_units, saved->m_units);
  }
  static void expectError(int32_t code, const char *function, const std::string &message) {
    zyrError *error = zyrError_getLast();
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(zyrError_getCode(error), code);
    EXPECT_STREQ(zyrError_getFunction(error), function);
    EXPECT_EQ(std::string(zyrError_getMessage(error) ? zyrError_getMessage(error) : ""), message);
  }

  zyrAffineTransform3D *t = nullptr;
  zyrAffineTransform3D *saved = nullptr;
};

void expectNear(const Point &actual, const Point &expected, double tolerance = 1e-12) {
  for (int i = 0; i < 3; ++i)
    EXPECT_NEAR(actual[i], expected[i], tolerance) << "component " << i;
}

const double kX[3] = {1, 0, 0};
const double kY[3] = {0, 1, 0};
const double kZ[3] = {0, 0, 1};
const double kOrigin[3] = {0, 0, 0};

TEST_F(AffineTransform, NewIsIdentityAndTranslationIsHeldInItsUnit) {
  EXPECT_EQ(apply({1, 2, 3}, "mm"), (Point{1, 2, 3}));
  EXPECT_EQ(zyrAffineTransform3D_translate(t, kX, "m"), 1);
  EXPECT_EQ(apply({1, 2, 3}, "mm"), (Point{1001, 2, 3}));
  const double mm[3] = {0, 500, 0};
  EXPECT_EQ(zyrAffineTransform3D_translate(t, mm, "mm"), 1);
  EXPECT_EQ(t->m_v[1], 0.5);
  double A[9], v[3];
  char *units = nullptr;
  EXPECT_EQ(zyrAffineTransform3D_get(t, A, v, &units), 1);
  EXPECT_STREQ(units, "m");
  EXPECT_NE(units, t->m_units);
  zyrCString_free(units);
  EXPECT_EQ(v[0], 1.0);
  EXPECT_EQ(std::memcmp(A, t->m_A, sizeof A), 0);

  save();
  const double deg[3] = {1, 1, 1};
  EXPECT_EQ(zyrAffineTransform3D_translate(t, deg, "deg"), 0);
  expectError(ZYR_U_INVALID_LENGTH_UNITS, "zyrAffineTransform3D_translate",
              "Supplied units for displacement were: deg.\n");
  expectUnchanged();
}

TEST_F(AffineTransform, SetAcceptsOnlyLengthUnits) {
  const double A[9] = {0, -1, 0, 1, 0, 0, 0, 0, 1};
  const double v[3] = {12, 0, 0};
  EXPECT_EQ(zyrAffineTransform3D_set(t, A, v, "in"), 1);
  expectNear(apply({1, 0, 0}, "ft"), {1, 1, 0}); // a quarter turn, then a foot along x
  save();
  // An angle unit is a known unit, but cannot measure a translation.
  EXPECT_EQ(zyrAffineTransform3D_set(t, A, v, "deg"), 0);
  expectError(ZYR_U_INVALID_LENGTH_UNITS, "zyrAffineTransform3D_set", "Supplied units for length were: deg.\n");
  expectUnchanged();
  EXPECT_EQ(zyrAffineTransform3D_set(t, A, v, "inches"), 0);
  EXPECT_EQ(zyrAffineTransform3D_set(t, A, v, nullptr), 0);
  expectError(ZYR_U_INVALID_LENGTH_UNITS, "zyrAffineTransform3D_set", "Supplied units for length were: .\n");
  expectUnchanged();
}

TEST_F(AffineTransform, SimpleRotationIsRightHandedInDegreesOrRadians) {
  const double axis[3] = {0, 0, 2};
  EXPECT_EQ(zyrAffineTransform3D_simpleRotate(t, axis, 90, "deg"), 1);
  expectNear(apply({1, 0, 0}), {0, 1, 0});
  zyrAffineTransform3D_power(t, 0);
  EXPECT_EQ(zyrAffineTransform3D_simpleRotate(t, axis, 90, "degree"), 1);
  expectNear(apply({1, 0, 0}), {0, 1, 0});
  zyrAffineTransform3D_power(t, 0);
  EXPECT_EQ(zyrAffineTransform3D_simpleRotate(t, kX, M_PI / 2, "radian"), 1);
  expectNear(apply({0, 1, 0}), {0, 0, 1});
  zyrAffineTransform3D_power(t, 0);
  EXPECT_EQ(zyrAffineTransform3D_simpleRotate(t, kY, M_PI / 2, "rad"), 1);
  expectNear(apply({0, 0, 1}), {1, 0, 0});
  EXPECT_EQ(zyrAffineTransform3D_preservesOrientation(t), 1);
  EXPECT_NEAR(zyrAffineTransform3D_getDeterminant(t), 1.0, 1e-15);

  save();
  EXPECT_EQ(zyrAffineTransform3D_simpleRotate(t, axis, 90, "grad"), 0);
  expectError(ZYR_U_INVALID_ANGLE_UNITS, "zyrAffineTransform3D_simpleRotate", "Supplied units for angle were: grad.\n");
  expectUnchanged();
  EXPECT_EQ(zyrAffineTransform3D_simpleRotate(t, axis, 90, nullptr), 0);
  expectUnchanged();
}

TEST_F(AffineTransform, ZeroAxisFailsAndChangesNothing) {
  zyrAffineTransform3D_translate(t, kX, "m");
  save();
  EXPECT_EQ(zyrAffineTransform3D_simpleRotate(t, kOrigin, 90, "deg"), 0);
  expectError(ZYR_U_ZERO_LENGTH_VECTOR, "normalise", "The axis of rotation has zero length.\n");
  expectUnchanged();
  // About a point: the translation to the point is not kept either.
  const double point[3] = {5, 6, 7};
  EXPECT_EQ(zyrAffineTransform3D_rotate(t, point, "m", kOrigin, 90, "deg"), 0);
  expectError(ZYR_U_ZERO_LENGTH_VECTOR, "normalise", "The axis of rotation has zero length.\n");
  expectUnchanged();
  const double nan[3] = {NAN, 0, 1};
  EXPECT_EQ(zyrAffineTransform3D_simpleRotate(t, nan, 90, "deg"), 0);
  expectUnchanged();
  const double below[3] = {1e-307, 0, 0};
  EXPECT_EQ(zyrAffineTransform3D_simpleRotate(t, below, 90, "deg"), 0);
  expectUnchanged();
  // Axes whose squares would under- or overflow still have a direction.
  const double tiny[3] = {0, 0, 1e-300};
  EXPECT_EQ(zyrAffineTransform3D_simpleRotate(t, tiny, 90, "deg"), 1);
  expectNear(apply({0, 0, 0}), {0, 1, 0});
  const double huge[3] = {0, 0, 1e300};
  EXPECT_EQ(zyrAffineTransform3D_simpleRotate(t, huge, -90, "deg"), 1);
  expectNear(apply({0, 0, 0}), {1, 0, 0});
}

TEST_F(AffineTransform, RotationAboutAPoint) {
  const double point[3] = {1000, 1000, 0};
  EXPECT_EQ(zyrAffineTransform3D_rotate(t, point, "mm", kZ, 90, "deg"), 1);
  expectNear(apply({2, 1, 0}), {1, 2, 0});
  save();
  EXPECT_EQ(zyrAffineTransform3D_rotate(t, point, "rad", kZ, 90, "deg"), 0);
  expectError(ZYR_U_INVALID_LENGTH_UNITS, "zyrAffineTransform3D_rotate", "Supplied units for coordinates were: rad.\n");
  expectUnchanged();
}

TEST_F(AffineTransform, ScalingAboutACentreAfterWhatCameBefore) {
  const double centre[3] = {1, 1, 1};
  const double two[3] = {2, 2, 2};
  EXPECT_EQ(zyrAffineTransform3D_scale(t, centre, "m", two), 1);
  expectNear(apply({1, 1, 1}), {1, 1, 1});
  expectNear(apply({2, 1, 1}), {3, 1, 1});

  zyrAffineTransform3D_power(t, 0);
  zyrAffineTransform3D_simpleRotate(t, kZ, 90, "deg");
  const double stretch[3] = {2, 1, 1};
  EXPECT_EQ(zyrAffineTransform3D_scale(t, kOrigin, "m", stretch), 1);
  expectNear(apply({1, 0, 0}), {0, 1, 0});
  expectNear(apply({0, 1, 0}), {-2, 0, 0});
  EXPECT_NEAR(zyrAffineTransform3D_getDeterminant(t), 2.0, 1e-15);

  save();
  EXPECT_EQ(zyrAffineTransform3D_scale(t, centre, "deg", two), 0);
  expectError(ZYR_U_INVALID_LENGTH_UNITS, "zyrAffineTransform3D_scale",
              "Supplied units for offset coordinates were: deg.\n");
  expectUnchanged();
}

TEST_F(AffineTransform, ReflectionReversesOrientation) {
  const double normal[3] = {0, 0, 5};
  EXPECT_EQ(zyrAffineTransform3D_simpleReflect(t, normal), 1);
  EXPECT_EQ(apply({1, 2, 3}), (Point{1, 2, -3}));
  EXPECT_EQ(zyrAffineTransform3D_reversesOrientation(t), 1);
  EXPECT_EQ(zyrAffineTransform3D_preservesOrientation(t), 0);
  EXPECT_EQ(zyrAffineTransform3D_getDeterminant(t), -1.0);
  EXPECT_EQ(zyrAffineTransform3D_invert(t), 1);
  EXPECT_EQ(apply({1, 2, 3}), (Point{1, 2, -3}));

  zyrAffineTransform3D_power(t, 0);
  const double point[3] = {0, 0, 1000};
  EXPECT_EQ(zyrAffineTransform3D_reflect(t, point, "mm", normal), 1);
  expectNear(apply({1, 2, 3}), {1, 2, -1});

  save();
  EXPECT_EQ(zyrAffineTransform3D_simpleReflect(t, kOrigin), 0);
  expectError(ZYR_U_ZERO_LENGTH_VECTOR, "normalise",
              "The normal to the plane of reflection is undefined as it has zero length.\n");
  expectUnchanged();
  EXPECT_EQ(zyrAffineTransform3D_reflect(t, point, "furlongs", normal), 0);
  expectError(ZYR_U_INVALID_LENGTH_UNITS, "zyrAffineTransform3D_reflect",
              "Supplied units for offset coordinates were: furlongs.\n");
  expectUnchanged();
}

TEST_F(AffineTransform, FrameChangeMapsFrameCoordinates) {
  const double origin[3] = {1, 2, 3};
  const double e2[3] = {-1, 0, 0};
  EXPECT_EQ(zyrAffineTransform3D_frameChange(t, origin, "mm", kY, e2, kZ), 1);
  expectNear(apply({1, 0, 0}, "mm"), {1, 3, 3});
  expectNear(apply({0, 2, 0}, "mm"), {-1, 2, 3});
  // Composed after the transform: first the translation, then the frame.
  zyrAffineTransform3D_power(t, 0);
  zyrAffineTransform3D_translate(t, kX, "m");
  const double twice[3] = {2, 0, 0};
  EXPECT_EQ(zyrAffineTransform3D_frameChange(t, kOrigin, "m", twice, kY, kZ), 1);
  expectNear(apply({0, 0, 0}), {2, 0, 0});

  save();
  EXPECT_EQ(zyrAffineTransform3D_frameChange(t, origin, "deg", kY, e2, kZ), 0);
  expectError(ZYR_U_INVALID_LENGTH_UNITS, "zyrAffineTransform3D_translate",
              "Supplied units for displacement were: deg.\n");
  expectUnchanged();
}

TEST_F(AffineTransform, CombineAppliesTheOtherAfterwardsInItsUnits) {
  zyrAffineTransform3D *u = zyrAffineTransform3D_new();
  const double five[3] = {5, 0, 0};
  zyrAffineTransform3D_setUnits(u, "mm");
  zyrAffineTransform3D_translate(u, five, "mm");
  zyrAffineTransform3D_translate(t, kX, "m");
  EXPECT_EQ(zyrAffineTransform3D_combine(t, u), 1);
  EXPECT_EQ(t->m_v[0], 1.005);
  EXPECT_STREQ(t->m_units, "m");

  // Order: t (translate by x) then u (quarter turn about z).
  zyrAffineTransform3D_power(t, 0);
  zyrAffineTransform3D_power(u, 0);
  zyrAffineTransform3D_translate(t, kX, "m");
  zyrAffineTransform3D_simpleRotate(u, kZ, 90, "deg");
  EXPECT_EQ(zyrAffineTransform3D_combine(t, u), 1);
  expectNear(apply({0, 0, 0}), {0, 1, 0});
  // With itself: applied twice.
  EXPECT_EQ(zyrAffineTransform3D_combine(t, t), 1);
  expectNear(apply({0, 0, 0}), {-1, 1, 0});

  save();
  zyrCString_reassign(&u->m_units, "bogus");
  EXPECT_EQ(zyrAffineTransform3D_combine(t, u), 0);
  expectError(ZYR_I_INTERNAL_ERROR, "zyrAffineTransform3D_combine",
              "A transformation has invalid length units: bogus or m.\n");
  EXPECT_EQ(zyrError_isFatal(zyrError_getLast()), 1);
  expectUnchanged();
  zyrAffineTransform3D_delete(u);
}

TEST_F(AffineTransform, ElementaryMapsNeedTheTransformsOwnUnitsToBeValid) {
  zyrCString_reassign(&t->m_units, "bogus");
  save();
  EXPECT_EQ(zyrAffineTransform3D_simpleRotate(t, kZ, 1, "rad"), 0);
  expectError(ZYR_I_INTERNAL_ERROR, "zyrAffineTransform3D_simpleRotate",
              "A transformation has invalid length units: bogus.\n");
  expectUnchanged();
  EXPECT_EQ(zyrAffineTransform3D_frameChange(t, kOrigin, "m", kX, kY, kZ), 0);
  expectError(ZYR_I_INTERNAL_ERROR, "zyrAffineTransform3D_frameChange",
              "A transformation has invalid length units: bogus.\n");
  expectUnchanged();
}

TEST_F(AffineTransform, InversionAndSingularMatrices) {
  const double axis[3] = {1, 2, 3};
  const double point[3] = {4, -5, 6};
  const double factors[3] = {2, 0.5, -3};
  zyrAffineTransform3D_rotate(t, point, "cm", axis, 33, "deg");
  zyrAffineTransform3D_scale(t, point, "ft", factors);
  zyrAffineTransform3D_translate(t, axis, "in");
  zyrAffineTransform3D *inverse = zyrAffineTransform3D_copy(t);
  EXPECT_EQ(zyrAffineTransform3D_invert(inverse), 1);
  EXPECT_NEAR(zyrAffineTransform3D_getDeterminant(inverse) * zyrAffineTransform3D_getDeterminant(t), 1.0, 1e-12);
  EXPECT_EQ(zyrAffineTransform3D_combine(t, inverse), 1);
  zyrAffineTransform3D_delete(inverse);
  expectNear(apply({0.3, -7, 11}), {0.3, -7, 11}, 1e-12);

  // Small but ordinary entries are inverted.
  const double small[9] = {1e-5, 0, 0, 0, 1e-5, 0, 0, 0, 1e-5};
  const double v[3] = {1, 0, 0};
  zyrAffineTransform3D_set(t, small, v, "m");
  EXPECT_EQ(zyrAffineTransform3D_invert(t), 1);
  EXPECT_NEAR(t->m_A[0], 1e5, 1e-6);
  EXPECT_NEAR(t->m_v[0], -1e5, 1e-6);

  const double zeroRow[9] = {1, 2, 3, 0, 0, 0, 7, 8, 9};
  zyrAffineTransform3D_set(t, zeroRow, v, "m");
  save();
  EXPECT_EQ(zyrAffineTransform3D_invert(t), 0);
  expectError(ZYR_U_SINGULAR_MATRIX, "zyrAffineTransform3D_invert",
              "Matrix:\n  1.000000e+00 2.000000e+00 3.000000e+00\n  0.000000e+00 0.000000e+00 0.000000e+00\n"
              "  7.000000e+00 8.000000e+00 9.000000e+00\n");
  expectUnchanged();
  // Singular up to rounding.
  const double dependent[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  zyrAffineTransform3D_set(t, dependent, v, "m");
  EXPECT_EQ(zyrAffineTransform3D_invert(t), 0);
  EXPECT_EQ(zyrAffineTransform3D_power(t, -2), 0);
  EXPECT_EQ(zyrError_getCode(zyrError_getLast()), ZYR_U_SINGULAR_MATRIX);
}

TEST_F(AffineTransform, Powers) {
  zyrAffineTransform3D_setUnits(t, "mm");
  zyrAffineTransform3D_translate(t, kX, "m");
  save();
  EXPECT_EQ(zyrAffineTransform3D_power(t, 2), 1);
  EXPECT_EQ(t->m_v[0], 2000.0);
  zyrAffineTransform3D_power(t, 0);
  zyrAffineTransform3D_combine(t, saved);
  EXPECT_EQ(zyrAffineTransform3D_power(t, -1), 1);
  EXPECT_EQ(t->m_v[0], -1000.0);
  EXPECT_EQ(zyrAffineTransform3D_power(t, 0), 1);
  EXPECT_EQ(apply({1, 2, 3}), (Point{1, 2, 3}));
  EXPECT_STREQ(t->m_units, "mm");

  zyrAffineTransform3D_simpleRotate(t, kZ, 30, "deg");
  EXPECT_EQ(zyrAffineTransform3D_power(t, 3), 1);
  expectNear(apply({1, 0, 0}), {0, 1, 0});
}

// power finds the unit factor once instead of at every step: the result is the one of
// combining the step transform (t in metres) again and again, to the last bit.
TEST_F(AffineTransform, PowerEqualsRepeatedCombination) {
  const double point[3] = {4, -5, 6};
  const double axis[3] = {1, 2, 3};
  const double factors[3] = {1.1, 0.9, 1.05};
  zyrAffineTransform3D_setUnits(t, "in");
  zyrAffineTransform3D_rotate(t, point, "cm", axis, 17, "deg");
  zyrAffineTransform3D_scale(t, point, "mm", factors);
  for (int32_t n : {1, 2, 7, -1, -5}) {
    zyrAffineTransform3D *step = zyrAffineTransform3D_new();
    ASSERT_EQ(zyrAffineTransform3D_combine(step, t), 1);
    zyrAffineTransform3D *expected = zyrAffineTransform3D_copy(t);
    if (n < 0) {
      ASSERT_EQ(zyrAffineTransform3D_invert(step), 1);
      ASSERT_EQ(zyrAffineTransform3D_invert(expected), 1);
    }
    for (int32_t i = 1; i < std::abs(n); ++i)
      ASSERT_EQ(zyrAffineTransform3D_combine(expected, step), 1);
    zyrAffineTransform3D *actual = zyrAffineTransform3D_copy(t);
    ASSERT_EQ(zyrAffineTransform3D_power(actual, n), 1);
    EXPECT_EQ(std::memcmp(actual->m_A, expected->m_A, sizeof actual->m_A), 0) << n;
    EXPECT_EQ(std::memcmp(actual->m_v, expected->m_v, sizeof actual->m_v), 0) << n;
    zyrAffineTransform3D_delete(actual);
    zyrAffineTransform3D_delete(expected);
    zyrAffineTransform3D_delete(step);
  }
}

TEST_F(AffineTransform, SetUnitsReexpressesTheTranslation) {
  zyrAffineTransform3D_simpleRotate(t, kZ, 10, "deg");
  zyrAffineTransform3D_translate(t, kX, "m");
  save();
  EXPECT_EQ(zyrAffineTransform3D_setUnits(t, "mm"), 1);
  EXPECT_EQ(t->m_v[0], 1000.0);
  EXPECT_STREQ(t->m_units, "mm");
  EXPECT_EQ(std::memcmp(t->m_A, saved->m_A, sizeof t->m_A), 0);
  save();
  EXPECT_EQ(zyrAffineTransform3D_setUnits(t, "deg"), 0);
  expectError(ZYR_U_INVALID_LENGTH_UNITS, "zyrAffineTransform3D_setUnits", "Supplied units for length were: deg.\n");
  expectUnchanged();
}

TEST_F(AffineTransform, RotationTurningOnePointTowardsAnother) {
  const double p1[3] = {1, 1, 0}, p2[3] = {1, 1, 5};
  const double a[3] = {2000, 1000, 0}, b[3] = {1000, 2000, 7}; // b's height along the axis is ignored
  EXPECT_EQ(zyrAffineTransform3D_rotateAboutAxis(t, p1, p2, "m", a, b, "mm"), 1);
  expectNear(apply({2, 1, 0}), {1, 2, 0});
  zyrAffineTransform3D_power(t, 0);
  EXPECT_EQ(zyrAffineTransform3D_rotateAboutAxis(t, p1, p2, "m", b, a, "mm"), 1);
  expectNear(apply({2, 1, 0}), {1, 0, 0});

  save();
  EXPECT_EQ(zyrAffineTransform3D_rotateAboutAxis(t, p1, p1, "m", a, b, "mm"), 0);
  expectError(ZYR_U_ZERO_LENGTH_VECTOR, "zyrAffineTransform3D_rotateAboutAxis", "");
  expectUnchanged();
  EXPECT_EQ(zyrAffineTransform3D_rotateAboutAxis(t, p1, p2, "deg", a, b, "mm"), 0);
  expectError(ZYR_U_INVALID_LENGTH_UNITS, "zyrAffineTransform3D_rotateAboutAxis",
              "Supplied units for axis coordinates were: deg.\n");
  EXPECT_EQ(zyrAffineTransform3D_rotateAboutAxis(t, p1, p2, "m", a, b, "xx"), 0);
  expectError(ZYR_U_INVALID_LENGTH_UNITS, "zyrAffineTransform3D_rotateAboutAxis",
              "Supplied units for point coordinates were: xx.\n");
  expectUnchanged();
}

TEST_F(AffineTransform, ApplyToFloatsAndDoubles) {
  const double axis[3] = {1, 1, 1};
  zyrAffineTransform3D_simpleRotate(t, axis, 120, "deg");
  zyrAffineTransform3D_translate(t, kX, "m");
  float f[6] = {1, 2, 3, -4, 0.5f, 1e3f};
  double d[6] = {1, 2, 3, -4, 0.5, 1e3};
  EXPECT_EQ(zyrAffineTransform3D_apply(t, "mm", zyrAffineFloat, 2, f), 1);
  EXPECT_EQ(zyrAffineTransform3D_apply(t, "mm", zyrAffineDouble, 2, d), 1);
  for (int i = 0; i < 6; ++i)
    EXPECT_EQ(f[i], static_cast<float>(d[i])) << i; // worked in double, narrowed once
  EXPECT_NEAR(d[0], 3 + 1000, 1e-9);
  EXPECT_NEAR(d[1], 1, 1e-9);
  EXPECT_NEAR(d[2], 2, 1e-9);

  const float before[6] = {f[0], f[1], f[2], f[3], f[4], f[5]};
  EXPECT_EQ(zyrAffineTransform3D_apply(t, "rad", zyrAffineFloat, 2, f), 0);
  expectError(ZYR_U_INVALID_LENGTH_UNITS, "zyrAffineTransform3D_apply", "Supplied units for coordinates were: rad.\n");
  EXPECT_EQ(std::memcmp(f, before, sizeof f), 0);
  EXPECT_EQ(zyrAffineTransform3D_apply(t, "mm", zyrAffineFloat, -1, f), 0);
}

TEST_F(AffineTransform, Print) {
  zyrAffineTransform3D_translate(t, kX, "m");
  zyrAffineTransform3D_setUnits(t, "cm");
  char *buffer = nullptr;
  size_t size = 0;
  FILE *stream = open_memstream(&buffer, &size);
  zyrAffineTransform3D_print(t, stream);
  fclose(stream);
  EXPECT_EQ(std::string(buffer, size), "\n"
                                       "----------------------------------------------\n"
                                       "Affine transformation:\n"
                                       "----------------------------------------------\n"
                                       "\n"
                                       "A     = (1.000000e+00, 0.000000e+00, 0.000000e+00)\n"
                                       "        (0.000000e+00, 1.000000e+00, 0.000000e+00)\n"
                                       "        (0.000000e+00, 0.000000e+00, 1.000000e+00)\n"
                                       "v     = (1.000000e+02, 0.000000e+00, 0.000000e+00)\n"
                                       "Units = cm\n"
                                       "\n");
  free(buffer);
}

} // namespace
