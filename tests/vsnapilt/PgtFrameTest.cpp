// Coordinate frames and quantities with units in the physics reader.
#include "PgtSample.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

using namespace pgttest;

namespace {

std::vector<double> vec(const double* v) { return std::vector<double>(v, v + 3); }

class PgtFrame : public testing::Test {
 protected:
  void SetUp() override {
    h = pgtNew();
    ASSERT_NE(h, nullptr);
    ASSERT_EQ(load(h, sampleLines()), 0) << errorText(h);
  }
  void TearDown() override { EXPECT_EQ(pgtDelete(h), 0); }
  CoordFrame* frame(const char* name) {
    for (int i = 0; i < h->m_noOfCoordFrames; ++i)
      if (std::string(CoordFrame_getName(h->m_coordFrames[i])) == name) return h->m_coordFrames[i];
    return nullptr;
  }
  // The base point of a local one, or the error text.
  std::string toBase(const char* name, double x, double y, double z) {
    const double local[3] = {x, y, z};
    double out[3];
    if (!pgtFrameToBase(h, name, local, "m", out)) return errorText(h);
    char text[100];
    snprintf(text, sizeof text, "%.12g %.12g %.12g", out[0] + 0.0, out[1] + 0.0, out[2] + 0.0);
    return text;
  }
  pgtHandle* h = nullptr;
};

TEST_F(PgtFrame, BuiltInTheOrderOfTheText) {
  EXPECT_EQ(pgtNumCoordFrames(h), 10);
  ASSERT_EQ(h->m_noOfCoordFrames, 10);
  char** handles = pgtCoordFrameHandles(h);
  EXPECT_STREQ(handles[1], "/FLOW/COORD FRAME:Coord 2");
  EXPECT_STREQ(pgtCoordFrameName(h, handles[1]), "Coord 2");
  pgtFreeCoordFrameHandles(h, handles);
  char* byName = pgtCoordFrameByName(h, "Cyl");
  EXPECT_STREQ(byName, "/FLOW/COORD FRAME:Cyl");
  pgtFreeCoordFrameHandle(h, byName);

  EXPECT_EQ(frame("Coord 1")->m_status, COORD_FRAME_DEFINED);
  EXPECT_EQ(frame("Coord 1")->m_reference, nullptr);
  EXPECT_EQ(frame("Coord 2")->m_reference, frame("Coord 1"));
  EXPECT_EQ(frame("Orphan")->m_status, COORD_FRAME_BAD);
  EXPECT_EQ(frame("Flat")->m_status, COORD_FRAME_UNREADABLE);
  EXPECT_EQ(frame("Typeless")->m_status, COORD_FRAME_UNREADABLE);
  EXPECT_EQ(frame("Cyl")->m_type, COORD_FRAME_CYLINDRICAL);
  EXPECT_EQ(frame("PN")->m_type, COORD_FRAME_CYLINDRICAL);
  EXPECT_EQ(frame("PN")->m_pointType, 0);
  // Coord 1 in its own terms: columns are the axes.
  const CoordFrame* c1 = frame("Coord 1");
  EXPECT_EQ(vec(c1->m_origin), (std::vector<double>{1, 2, 3}));
  EXPECT_EQ((std::vector<double>{c1->m_axes[0][2], c1->m_axes[1][2], c1->m_axes[2][2]}),
            (std::vector<double>{1, 0, 0}));
}

TEST_F(PgtFrame, ChainedFramesMapThroughEachOther) {
  EXPECT_EQ(toBase("Coord 0", 1, 2, 3), "1 2 3");
  EXPECT_EQ(toBase("Coord 1", 1, 0, 0), "1 3 3");
  EXPECT_EQ(toBase("Coord 1", 0, 0, 1), "2 2 3");
  EXPECT_EQ(frame("Coord 1")->m_status, COORD_FRAME_RESOLVED);
  // (x, y, z) in Coord 2 lies at (y + 6, z + 2, x + 3).
  EXPECT_EQ(toBase("Coord 2", 1, 0, 0), "6 2 4");
  EXPECT_EQ(toBase("Coord 2", 0, 7, 0), "13 2 3");
  EXPECT_EQ(toBase("Coord 2", 0, 0, -2), "6 0 3");
  EXPECT_EQ(frame("Coord 2")->m_status, COORD_FRAME_RESOLVED);
  EXPECT_EQ(toBase("Coord 2", 0, 0, 0), "6 2 3");  // resolved once, not again

  double axes[3][3], origin[3];
  EXPECT_EQ(pgtCoordFrameTransform(h, "/FLOW/COORD FRAME:Coord 2", "m", axes, origin, 1), 1);
  EXPECT_EQ(vec(origin), (std::vector<double>{6, 2, 3}));
  EXPECT_EQ((std::vector<double>{axes[0][0], axes[1][0], axes[2][0]}), (std::vector<double>{0, 0, 1}));
  EXPECT_EQ(pgtCoordFrameTransform(h, "Coord 0", "m", axes, origin, 1), 0);
  EXPECT_EQ(vec(origin), (std::vector<double>{0, 0, 0}));
  EXPECT_EQ(axes[1][1], 1);
  EXPECT_EQ(pgtCoordFrameTransform(h, "Orphan", "m", axes, origin, 1), -1);
  EXPECT_EQ(pgtGetError(h, nullptr), 6);
  EXPECT_EQ(errorText(h), "Unable to identify the requested coordinate frame.");
}

TEST_F(PgtFrame, BadFramesAndTheirMessages) {
  EXPECT_EQ(toBase("Nowhere", 0, 0, 0), "Unable to identify the requested coordinate frame.");
  EXPECT_EQ(pgtGetError(h, nullptr), 6);
  EXPECT_EQ(toBase("Orphan", 0, 0, 0), "Coordinate frame refers to a bad coordinate frame.");
  EXPECT_EQ(pgtGetError(h, nullptr), 2);
  EXPECT_EQ(toBase("Flat", 0, 0, 0), "Coordinate frame refers to a bad coordinate frame.");
  EXPECT_EQ(toBase("Typeless", 0, 0, 0), "Coordinate frame refers to a bad coordinate frame.");
  // A frame whose reference is unreadable cannot be brought into base coordinates.
  EXPECT_EQ(toBase("Chained Bad", 0, 0, 0),
            "Unable to establish the transformation from a coordinate frame to the base coordinate frame.");

  // Two frames referring to each other: both end bad.
  EXPECT_EQ(toBase("Loop A", 0, 0, 0),
            "Unable to establish the transformation from a coordinate frame to the base coordinate frame.");
  EXPECT_EQ(frame("Loop A")->m_status, COORD_FRAME_BAD);
  EXPECT_EQ(frame("Loop B")->m_status, COORD_FRAME_BAD);
  EXPECT_EQ(toBase("Loop B", 0, 0, 0), "Coordinate frame refers to a bad coordinate frame.");
  EXPECT_EQ(toBase("Loop A", 0, 0, 0), "Coordinate frame refers to a bad coordinate frame.");
}

TEST_F(PgtFrame, CylindricalAndPointAndNormalPoints) {
  EXPECT_EQ(toBase("Cyl", 2, M_PI / 2, 0), "1.22464679915e-16 2 0");
  EXPECT_EQ(toBase("Cyl", 2, 0, 5), "2 0 5");
  // A point-and-normal frame without a frame type reads Cartesian points.
  EXPECT_EQ(toBase("PN", 0, 1, 0), "0 1 1");
}

TEST(PgtFrames, ZeroLengthAxisAndNoFrames) {
  pgtHandle* h = pgtNew();
  ASSERT_EQ(load(h, {"FLOW:", "COORD FRAME: Flat", "Coord Frame Type = Cartesian",
                     "Origin Point = 1 [m], 1 [m], 1 [m]", "Axis 3 Point = 1 [m], 1 [m], 1 [m]",
                     "Plane 13 Point = 2 [m], 1 [m], 1 [m]", "END", "END"}),
            0);
  EXPECT_EQ(pgtGetError(h, nullptr), 2);
  EXPECT_EQ(errorText(h), "One or more of the coordinate frame axes has zero length.");
  EXPECT_EQ(pgtDelete(h), 0);

  // No frames at all: only the base frame is known.
  h = pgtNew();
  ASSERT_EQ(load(h, {"FLOW:", "END"}), 0);
  EXPECT_EQ(h->m_noOfCoordFrames, 0);
  const double p[3] = {1, 2, 3};
  double out[3];
  EXPECT_EQ(pgtFrameToBase(h, "Coord 0", p, "m", out), 1);
  EXPECT_EQ(vec(out), vec(p));
  EXPECT_EQ(pgtFrameToBase(h, "Coord 1", p, "m", out), 0);
  EXPECT_EQ(pgtGetError(h, nullptr), 6);
  EXPECT_EQ(pgtDelete(h), 0);
}

TEST(PgtFrames, LongChainsAndCyclesResolveWithoutRecursion) {
  const int n = 3000;
  Lines lines = {"FLOW:"};
  for (int i = 1; i <= n; ++i) {
    lines.push_back("COORD FRAME: F" + std::to_string(i));
    lines.push_back("Coord Frame Type = Cartesian");
    if (i > 1) lines.push_back("Reference Coord Frame = F" + std::to_string(i - 1));
    lines.push_back("Origin Point = 0 [m], 0 [m], 1 [mm]");
    lines.push_back("Axis 3 Point = 0 [m], 0 [m], 2 [m]");
    lines.push_back("Plane 13 Point = 1 [m], 0 [m], 0 [m]");
    lines.push_back("END");
  }
  // A cycle of three.
  for (int i = 0; i < 3; ++i) {
    lines.push_back("COORD FRAME: C" + std::to_string(i));
    lines.push_back("Coord Frame Type = Cartesian");
    lines.push_back("Reference Coord Frame = C" + std::to_string((i + 1) % 3));
    lines.push_back("Origin Point = 0 [m], 0 [m], 0 [m]");
    lines.push_back("Axis 3 Point = 0 [m], 0 [m], 1 [m]");
    lines.push_back("Plane 13 Point = 1 [m], 0 [m], 0 [m]");
    lines.push_back("END");
  }
  lines.push_back("END");
  pgtHandle* h = pgtNew();
  ASSERT_EQ(load(h, lines), 0);
  const double zero[3] = {0, 0, 0};
  double out[3];
  ASSERT_EQ(pgtFrameToBase(h, ("F" + std::to_string(n)).c_str(), zero, "m", out), 1) << errorText(h);
  EXPECT_NEAR(out[2], n * 0.001, 1e-9);
  EXPECT_EQ(pgtFrameToBase(h, "C1", zero, "m", out), 0);
  for (int i = n; i < n + 3; ++i) EXPECT_EQ(h->m_coordFrames[i]->m_status, COORD_FRAME_BAD);
  EXPECT_EQ(pgtDelete(h), 0);
}

TEST(PgtQuantity, QuantitiesVectorsAndPoints) {
  pgtHandle* h = pgtNew();
  ASSERT_EQ(load(h, {"FLOW:", "Centre X Coord = 1 [cm]", "Centre Y Coord = 2 [mm]", "Centre Z Coord = 3 [m]",
                     "Edge X Coord = 1 [cm]", "Edge Z Coord = 1 [cm]", "END"}),
            0);
  double v = -1;
  EXPECT_EQ(pgtReadQuantity(h, "1 [ cm ]", "m", &v), 1);
  EXPECT_DOUBLE_EQ(v, 0.01);
  EXPECT_EQ(pgtReadQuantity(h, "1.5e3[mm]", "m", &v), 1);
  EXPECT_DOUBLE_EQ(v, 1.5);
  EXPECT_EQ(pgtReadQuantity(h, "20 [C]", "K", &v), 1);  // a quantity keeps the offset
  EXPECT_DOUBLE_EQ(v, 293.15);
  v = -1;
  EXPECT_EQ(pgtReadQuantity(h, "1 [m]", "deg", &v), 0);
  EXPECT_EQ(pgtReadQuantity(h, "1", "m", &v), 0);
  EXPECT_EQ(pgtReadQuantity(h, "[m]", "m", &v), 0);
  EXPECT_EQ(pgtReadQuantity(h, "nan [m]", "m", &v), 0);
  EXPECT_EQ(pgtReadQuantity(h, "1e308 [km]", "m", &v), 0);
  EXPECT_EQ(v, -1);

  double p[3] = {-1, -1, -1};
  EXPECT_EQ(pgtReadVector(h, "1 [cm], 2 [cm]", "m", p), 0);
  EXPECT_EQ(p[0], -1);
  EXPECT_EQ(pgtReadVector(h, "1 [cm], 2 [mm] , 3[m]", "m", p), 1);
  EXPECT_DOUBLE_EQ(p[0], 0.01);
  EXPECT_DOUBLE_EQ(p[1], 0.002);
  EXPECT_DOUBLE_EQ(p[2], 3);
  EXPECT_EQ(pgtReadVector(h, "1 [C], 0 [K], 0 [K]", "K", p), 1);  // a point does not
  EXPECT_DOUBLE_EQ(p[0], 1);
  EXPECT_EQ(pgtReadVector(h, "1 [m], 2 [m], 3 [s]", "m", p), 0);

  EXPECT_EQ(pgtReadPoint(h, "/FLOW", "Centre", "mm", p), 1);
  EXPECT_DOUBLE_EQ(p[0], 10);
  EXPECT_DOUBLE_EQ(p[1], 2);
  EXPECT_DOUBLE_EQ(p[2], 3000);
  EXPECT_EQ(pgtReadPoint(h, "/FLOW", "Edge", "mm", p), 0);
  EXPECT_EQ(errorText(h).rfind("pgtReadPoint: unable to retrieve information for Edge Y Coord in /FLOW: ", 0), 0u);

  double zero[3] = {0, 1e-301, 0};
  EXPECT_EQ(pgtNormalise(h, zero), 0);
  EXPECT_EQ(zero[1], 1e-301);
  double w[3] = {3, 4, 0};
  EXPECT_EQ(pgtNormalise(h, w), 1);
  EXPECT_DOUBLE_EQ(w[0], 0.6);
  EXPECT_DOUBLE_EQ(w[1], 0.8);
  double huge[3] = {1e300, 0, -1e300};
  EXPECT_EQ(pgtNormalise(h, huge), 1);
  EXPECT_DOUBLE_EQ(huge[0], std::sqrt(0.5));
  EXPECT_EQ(cloneString(h, nullptr), nullptr);
  EXPECT_EQ(pgtDelete(h), 0);
}

} // namespace
