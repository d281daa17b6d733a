// The physics-reading class: axes of domain interfaces from loaded VSN lines, successive loads
// into one reader, and the exceptions of failed loads and look-ups.
#include "PGT.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

const int g_localUnits = setenv("ZYR_USE_LOCAL_UNITS", "1", 0);

// Frame "Turn": axis 3 runs along base x from the origin (1, 2, 3) m.
const std::vector<std::string> kFrame = {
    "FLOW:",
    "  COORD FRAME: Turn",
    "    Coord Frame Type = Cartesian",
    "    Option = Axis Points",
    "    Origin Point = 1000 [mm], 2 [m], 300 [cm]",
    "    Axis 3 Point = 2 [m], 2 [m], 3 [m]",
    "    Plane 13 Point = 1 [m], 3 [m], 3 [m]",
    "  END",
    "  DOMAIN INTERFACE: By Frame",
    "    Interface Type = Fluid Fluid",
    "    INTERFACE MODELS:",
    "      Option = Rotational Periodicity",
    "      AXIS DEFINITION:",
    "        Option = Coordinate Axis",
    "        Rotation Axis = Turn.3",
    "      END",
    "    END",
    "  END",
    "END",
};

const std::vector<std::string> kPoints = {
    "FLOW:",
    "  DOMAIN INTERFACE: By Points",
    "    Interface Type = Fluid Fluid",
    "    INTERFACE MODELS:",
    "      AXIS DEFINITION:",
    "        Rotation Axis From = 0 [m], 0 [m], 1 [m]",
    "        Rotation Axis To = 0 [mm], 0 [mm], 2500 [mm]",
    "      END",
    "    END",
    "  END",
    "  DOMAIN INTERFACE: Half",
    "    Interface Type = Fluid Fluid",
    "    INTERFACE MODELS:",
    "      AXIS DEFINITION:",
    "        Rotation Axis From = 0 [m], 0 [m], 1 [m]",
    "      END",
    "    END",
    "  END",
    "END",
};

using Point = qiv::TripletBase<float>;

// The exception a call throws, with its texts.
template <class F> qiv::pgt::error thrown(F call) {
  try {
    call();
  } catch (const qiv::pgt::error &e) {
    return e;
  }
  ADD_FAILURE() << "nothing thrown";
  return qiv::pgt::error();
}

TEST(PGTTest, FrameAxisGivesOriginAndOneUnitAlongTheAxis) {
  (void)g_localUnits;
  qiv::PGT pgt;
  pgt.loadVSN(kFrame);
  Point from, to;
  pgt.getInterfaceAxis("By Frame", "m", from, to);
  EXPECT_EQ(from, Point(1, 2, 3));
  EXPECT_EQ(to, Point(2, 2, 3));
  pgt.getInterfaceAxis("By Frame", "mm", from, to);
  EXPECT_EQ(from, Point(1000, 2000, 3000));
  EXPECT_EQ(to, Point(2000, 2000, 3000));
}

TEST(PGTTest, SecondLoadAddsToTheSameReader) {
  qiv::PGT pgt;
  pgt.loadVSN(kFrame);
  pgt.loadVSN(kPoints);
  Point from, to;
  pgt.getInterfaceAxis("By Points", "m", from, to);
  EXPECT_EQ(from, Point(0, 0, 1));
  EXPECT_EQ(to, Point(0, 0, 2.5f));
  pgt.getInterfaceAxis("By Frame", "m", from, to);
  EXPECT_EQ(from, Point(1, 2, 3));
}

TEST(PGTTest, FailuresThrowPgtErrorsAndLeaveThePointsAlone) {
  qiv::PGT pgt;
  pgt.loadVSN(kPoints);
  Point from(7, 7, 7), to(8, 8, 8);
  qiv::pgt::error e = thrown([&] { pgt.getInterfaceAxis("Nowhere", "m", from, to); });
  EXPECT_EQ(e.getName(), "pgt::error");
  EXPECT_EQ(e.getClass(), "PGT");
  EXPECT_EQ(e.getMethod(), "getInterfaceAxis");
  EXPECT_EQ(e.getType(), qiv::errorTypeError);
  EXPECT_EQ(e.getText().rfind("Error extracting axis data from pgtAPI: ", 0), 0u) << e.getText();
  EXPECT_NE(e.getText().find("Nowhere"), std::string::npos) << e.getText();
  EXPECT_EQ(from, Point(7, 7, 7));
  EXPECT_EQ(to, Point(8, 8, 8));

  e = thrown([&] { pgt.getInterfaceAxis("Half", "m", from, to); });
  EXPECT_EQ(e.getText(), "Error extracting axis data from pgtAPI: \"Rotation Axis From\" was set but \"Rotation "
                         "Axis To\" was not.");
  EXPECT_EQ(from, Point(7, 7, 7));

  e = thrown([&] { pgt.loadVSN({"FLOW:", "  DOMAIN: D", "END", "END", "END"}); });
  EXPECT_EQ(e.getMethod(), "loadVSN");
  EXPECT_EQ(e.getText().rfind("Error loading vsn in pgtAPI: pgtLoadVSN: error from VSN API: ", 0), 0u)
      << e.getText();
  // The exception is caught as the framework's base class too.
  try {
    pgt.getInterfaceAxis("Nowhere", "m", from, to);
    FAIL();
  } catch (const qiv::Error &base) {
    EXPECT_EQ(base.getMethod(), "getInterfaceAxis");
  }
}

} // namespace
