// The transform class over the core's transform: what it builds, and the affine3D exceptions
// that carry the core's reasons.
#include "ClassesTestSupport.h"
#include "ZYRAffineTransform3D.h"
#include "zyrAffineTransform3D.h"
#include "zyrCString.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

const int g_localUnits = setenv("ZYR_USE_LOCAL_UNITS", "1", 0);

using Triplet = qiv::TripletBase<float>;

class TransformClass : public zyrtest::QueueTest {
protected:
  void SetUp() override {
    QueueTest::SetUp();
    ASSERT_EQ(g_localUnits, 0);
  }

  static void expectMaps(const qiv::ZYRAffineTransform3D &t, const double in[3], const double out[3]) {
    double p[3] = {in[0], in[1], in[2]};
    ASSERT_EQ(zyrAffineTransform3D_apply(t.getTransform(), "m", zyrAffineDouble, 1, p), 1);
    for (int i = 0; i < 3; ++i)
      EXPECT_NEAR(p[i], out[i], 1e-6) << i;
  }

  // Runs the step, which must throw affine3D for method; returns the message.
  template <class Step> static std::string failure(const char *method, Step step) {
    try {
      step();
    } catch (const qiv::zyrapi::affine3D &e) {
      EXPECT_EQ(e.getName(), "zyrapi::affine3D");
      EXPECT_EQ(e.getClass(), "ZYRAffineTransform3D");
      EXPECT_EQ(e.getMethod(), method);
      EXPECT_EQ(e.getType(), qiv::errorTypeError);
      EXPECT_EQ(zyrtest::queuedCount(), 0);
      return e.getText();
    }
    ADD_FAILURE() << method << " did not throw";
    return std::string();
  }
};

TEST_F(TransformClass, NewIsTheIdentityInMetresAndCopiesAreIndependent) {
  qiv::ZYRAffineTransform3D t;
  double matrix[9];
  double vector[3];
  char *units = nullptr;
  ASSERT_EQ(zyrAffineTransform3D_get(t.getTransform(), matrix, vector, &units), 1);
  EXPECT_STREQ(units, "m");
  zyrCString_free(units);
  const double identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  EXPECT_EQ(std::memcmp(matrix, identity, sizeof matrix), 0);
  EXPECT_EQ(vector[0] + vector[1] + vector[2], 0.0);

  qiv::ZYRAffineTransform3D copy(t);
  copy.translate(Triplet(1, 2, 3), "m");
  const double origin[3] = {0, 0, 0};
  const double moved[3] = {1, 2, 3};
  expectMaps(t, origin, origin);
  expectMaps(copy, origin, moved);

  t = copy;
  expectMaps(t, origin, moved);
  qiv::ZYRAffineTransform3D &same = t;
  t = same; // self-assignment keeps the record
  expectMaps(t, origin, moved);
}

TEST_F(TransformClass, StepsApplyInTheOrderGiven) {
  qiv::ZYRAffineTransform3D t;
  t.translate(Triplet(1000, 0, 0), "mm");
  t.simpleRotate(Triplet(0, 0, 1), qiv::Quantity(90, "deg"));
  const double in[3] = {0, 0, 0};
  const double out[3] = {0, 1, 0}; // moved to x = 1 m, then turned onto y
  expectMaps(t, in, out);

  const double m[3][3] = {{2, 0, 0}, {0, 2, 0}, {0, 0, 2}};
  qiv::ZYRAffineTransform3D doubling(m, Triplet(0, 0, 5), "m");
  t.combine(doubling);
  const double combined[3] = {0, 2, 5};
  expectMaps(t, in, combined);

  t.invert();
  expectMaps(t, combined, in);
}

TEST_F(TransformClass, AngleUnitsByTheirBeginning) {
  qiv::ZYRAffineTransform3D t;
  for (const char *units : {"degree", "deg", "radian", "rad"})
    EXPECT_NO_THROW(t.simpleRotate(Triplet(0, 0, 1), qiv::Quantity(0, units))) << units;
  EXPECT_EQ(failure("simpleRotate", [&] { t.simpleRotate(Triplet(0, 0, 1), qiv::Quantity(1, "grad")); }),
            "Supplied units for angle were: grad.\n");
  EXPECT_EQ(failure("rotate", [&] {
              t.rotate(Triplet(0, 0, 0), "m", Triplet(0, 0, 1), qiv::Quantity(1, "turn"));
            }).find("Supplied units for angle were: turn.\n"),
            0u);
}

TEST_F(TransformClass, SingularInverseCarriesThePrintedMatrix) {
  const double flat[3][3] = {{1, 2, 3}, {2, 4, 6}, {0, 0, 1}};
  qiv::ZYRAffineTransform3D t(flat, Triplet(0, 0, 0), "m");
  const std::string message = failure("invert", [&] { t.invert(); });
  EXPECT_NE(message.find("Matrix:\n  1.000000e+00 2.000000e+00 3.000000e+00\n"
                         "  2.000000e+00 4.000000e+00 6.000000e+00\n"
                         "  0.000000e+00 0.000000e+00 1.000000e+00\n"),
            std::string::npos)
      << message;
  // The failed step changed nothing.
  const double in[3] = {1, 0, 0};
  const double out[3] = {1, 2, 0};
  expectMaps(t, in, out);
}

TEST_F(TransformClass, UnknownLengthUnitsPerMethod) {
  qiv::ZYRAffineTransform3D t;
  const double m[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  const Triplet p(0, 0, 0);
  const Triplet n(0, 0, 1);
  EXPECT_EQ(failure("translate", [&] { t.translate(p, "lightyard"); }),
            "Supplied units for displacement were: lightyard.\n");
  EXPECT_EQ(failure("set", [&] { t.set(m, p, "smoot"); }), "Supplied units for length were: smoot.\n");
  EXPECT_EQ(failure("ZYRAffineTransform3D", [&] { qiv::ZYRAffineTransform3D bad(m, p, "zorkmid"); }),
            "Supplied units for length were: zorkmid.\n");
  EXPECT_EQ(failure("scale", [&] { t.scale(p, "lightyard", Triplet(2, 2, 2)); }),
            "Supplied units for offset coordinates were: lightyard.\n");
  EXPECT_EQ(failure("reflect", [&] { t.reflect(p, "lightyard", n); }),
            "Supplied units for offset coordinates were: lightyard.\n");
  EXPECT_EQ(failure("rotate", [&] { t.rotate(p, "lightyard", n, qiv::Quantity(1, "rad")); }),
            "Supplied units for coordinates were: lightyard.\n");
  EXPECT_FALSE(failure("frameChange", [&] {
                 t.frameChange(p, "lightyard", Triplet(1, 0, 0), Triplet(0, 1, 0), n);
               }).empty());
  const double origin[3] = {0, 0, 0};
  expectMaps(t, origin, origin);
}

} // namespace
