// Domain interfaces of the physics reader: connection types, boundary lists, periodicity, axes.
#include "PgtSample.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace pgttest;

namespace {

class PgtInterface : public testing::Test {
 protected:
  void SetUp() override {
    h = pgtNew();
    ASSERT_NE(h, nullptr);
    ASSERT_EQ(load(h, sampleLines()), 0) << errorText(h);
  }
  void TearDown() override { EXPECT_EQ(pgtDelete(h), 0); }

  std::string iface(const char* name) { return std::string("/FLOW/DOMAIN INTERFACE:") + name; }
  int type(const char* name) { return pgtInterfaceType(h, iface(name).c_str()); }
  int periodicity(const char* name) { return pgtInterfacePeriodicity(h, iface(name).c_str()); }
  std::vector<std::string> side(const char* name, int n) {
    std::string i = iface(name);
    char** list = n == 1 ? pgtInterfaceBoundaryList1(h, i.c_str()) : pgtInterfaceBoundaryList2(h, i.c_str());
    if (!list) return {"(nul)"};
    std::vector<std::string> out = strings(list);
    pgtFreeBoundaryHandles(h, list);
    return out;
  }
  // The axis as "result: from | to".
  std::string axis(const char* name, const char* units) {
    double from[3] = {-1, -1, -1}, to[3] = {-1, -1, -1};
    int r = pgtInterfaceAxis(h, iface(name).c_str(), units, from, to);
    char text[200];
    snprintf(text, sizeof text, "%d: %g %g %g | %g %g %g", r, from[0], from[1], from[2], to[0], to[1], to[2]);
    return text;
  }
  pgtHandle* h = nullptr;
};

TEST_F(PgtInterface, ListedInCreationOrderAndFoundByName) {
  EXPECT_EQ(pgtNumInterfaces(h), 6);
  char** all = pgtInterfaceHandles(h);
  ASSERT_NE(all, nullptr);
  EXPECT_EQ(strings(all).size(), 6u);
  EXPECT_STREQ(all[0], "/FLOW/DOMAIN INTERFACE:Rotor Stator");
  EXPECT_STREQ(pgtInterfaceName(h, all[5]), "Plain");
  pgtFreeInterfaceHandles(h, all);

  char* found = pgtInterfaceByName(h, "Periodic Rot");
  EXPECT_STREQ(found, "/FLOW/DOMAIN INTERFACE:Periodic Rot");
  pgtFreeInterfaceHandle(h, found);
  EXPECT_EQ(pgtInterfaceByName(h, "Missing"), nullptr);
  EXPECT_EQ(pgtGetError(h, nullptr), 6);
  EXPECT_EQ(errorText(h),
            "pgtInterfaceByName: no such DOMAIN INTERFACE Missing in /FLOW: pushPath: path is not found");
}

TEST_F(PgtInterface, ConnectionTypes) {
  EXPECT_EQ(type("Rotor Stator"), 2);
  EXPECT_EQ(type("Periodic Rot"), 0);
  EXPECT_EQ(type("Half Axis"), 1);
  EXPECT_EQ(type("Periodic Trans"), 1);  // no MESH CONNECTION
  EXPECT_EQ(type("Odd"), -1);            // "Automatic Connection" is not a type
}

TEST_F(PgtInterface, BoundaryListsResolveToTheFirstDomain) {
  EXPECT_EQ(side("Rotor Stator", 1), (std::vector<std::string>{"/FLOW/DOMAIN:Rotor/BOUNDARY:rotor out"}));
  EXPECT_EQ(side("Rotor Stator", 2), (std::vector<std::string>{"/FLOW/DOMAIN:Stator/BOUNDARY:stator in"}));
  EXPECT_EQ(side("Periodic Rot", 1),
            (std::vector<std::string>{"/FLOW/DOMAIN:Rotor/BOUNDARY:per1", "/FLOW/DOMAIN:Rotor/BOUNDARY:wall"}));
  EXPECT_EQ(side("Plain", 1), (std::vector<std::string>{"/FLOW/DOMAIN:Rotor/BOUNDARY:wall"}));

  EXPECT_EQ(side("Odd", 1), (std::vector<std::string>{"(nul)"}));
  EXPECT_EQ(pgtGetError(h, nullptr), 2);
  EXPECT_EQ(errorText(h), "Boundary nowhere for interface Odd could not be found");
  EXPECT_EQ(side("Plain", 2), (std::vector<std::string>{"(nul)"}));
  EXPECT_EQ(pgtGetError(h, nullptr), 1);
}

TEST_F(PgtInterface, Periodicity) {
  EXPECT_EQ(periodicity("Plain"), 0);           // no Interface Type
  EXPECT_EQ(periodicity("Periodic Rot"), 1);
  EXPECT_EQ(periodicity("Periodic Trans"), 2);  // Interface Type without an option
  EXPECT_EQ(periodicity("Half Axis"), 0);       // General
  EXPECT_EQ(periodicity("Odd"), -1);
  EXPECT_EQ(pgtGetError(h, nullptr), 2);
  EXPECT_EQ(errorText(h), "The \"Periodic Type\" of the interface, \"Helical Periodicity\", was not recognised.");
}

TEST_F(PgtInterface, AxisFromAFrameOrTwoPoints) {
  // Coord 1's third axis is base x, its origin (1, 2, 3) m.
  EXPECT_EQ(axis("Periodic Rot", "m"), "1: 1 2 3 | 2 2 3");
  EXPECT_EQ(axis("Periodic Rot", "mm"), "1: 1000 2000 3000 | 2000 2000 3000");
  EXPECT_EQ(axis("Periodic Trans", "m"), "1: 0 0 0 | 0 0 1");
  EXPECT_EQ(axis("Periodic Trans", "cm"), "1: 0 0 0 | 0 0 100");
  EXPECT_EQ(axis("Plain", "m"), "0: -1 -1 -1 | -1 -1 -1");

  EXPECT_EQ(axis("Half Axis", "m"), "-1: -1 -1 -1 | -1 -1 -1");
  EXPECT_EQ(pgtGetError(h, nullptr), 2);
  EXPECT_EQ(errorText(h), "\"Rotation Axis From\" was set but \"Rotation Axis To\" was not.");
  EXPECT_EQ(axis("Odd", "m"), "-1: -1 -1 -1 | -1 -1 -1");
  EXPECT_EQ(errorText(h), "The \"Rotation Axis\", \"Coord 1\", was not recognised.");
  EXPECT_EQ(axis("Periodic Trans", "deg"), "-1: -1 -1 -1 | -1 -1 -1");
  EXPECT_EQ(errorText(h), "Problem parsing \"Rotation Axis From\", \"0 [m], 0 [m], 0 [m]\".");
}

TEST(PgtInterfaceAxis, FrameAxesAndTheirFailures) {
  pgtHandle* h = pgtNew();
  auto axisText = [&](const char* value, const char* units = "m") {
    std::vector<std::string> lines = {"FLOW:", "DOMAIN INTERFACE: i", "INTERFACE MODELS:", "AXIS DEFINITION:",
                                      std::string("Rotation Axis = ") + value, "END", "END", "END", "END"};
    EXPECT_EQ(load(h, lines), 0);
    double from[3] = {0, 0, 0}, to[3] = {0, 0, 0};
    int r = pgtInterfaceAxis(h, "/FLOW/DOMAIN INTERFACE:i", units, from, to);
    char text[200];
    snprintf(text, sizeof text, "%d: %g %g %g | %g %g %g", r, from[0], from[1], from[2], to[0], to[1], to[2]);
    return r == -1 ? std::string(text) + " " + errorText(h) : std::string(text);
  };
  EXPECT_EQ(axisText("Coord 0.2"), "1: 0 0 0 | 0 1 0");
  EXPECT_EQ(axisText("Coord 0.3", "mm"), "1: 0 0 0 | 0 0 1000");
  const std::string unrecognised = "-1: 0 0 0 | 0 0 0 The \"Rotation Axis\", ";
  EXPECT_EQ(axisText("Coord 0.4"), unrecognised + "\"Coord 0.4\", was not recognised.");
  EXPECT_EQ(axisText("Coord 0."), unrecognised + "\"Coord 0.\", was not recognised.");
  EXPECT_EQ(axisText(".1"), unrecognised + "\".1\", was not recognised.");
  EXPECT_EQ(axisText("Coord 0.1x"), unrecognised + "\"Coord 0.1x\", was not recognised.");
  EXPECT_EQ(axisText("Coord 9.1"), "-1: 0 0 0 | 0 0 0 Unable to convert the supplied axis into base coordinates.");

  // A cylindrical frame: its second axis is still a direction, not a point at radius 0.
  ASSERT_EQ(load(h, {"FLOW:", "COORD FRAME: Cyl", "Coord Frame Type = Cylindrical",
                     "Origin Point = 0 [m], 0 [m], 1 [m]", "Axis 3 Point = 0 [m], 0 [m], 2 [m]",
                     "Plane 13 Point = 1 [m], 0 [m], 1 [m]", "END", "END"}),
            0);
  EXPECT_EQ(axisText("Cyl.2"), "1: 0 0 1 | 0 1 1");
  EXPECT_EQ(pgtDelete(h), 0);
}

// A side naming a boundary that no domain has: no list, and the error names both.
TEST(PgtInterfaceData, UnknownBoundaryOfASideIsADataError) {
  pgtHandle* h = pgtNew();
  ASSERT_NE(h, nullptr);
  ASSERT_EQ(load(h, {"FLOW:", "  DOMAIN: D", "    Location = B", "    BOUNDARY: wall", "      Location = W", "    END",
                     "  END", "  DOMAIN INTERFACE: Bad", "    Boundary List1 = wall", "    Boundary List2 = missing",
                     "    Interface Type = Fluid Fluid", "  END", "END"}),
            0)
      << errorText(h);
  char** first = pgtInterfaceBoundaryList1(h, "/FLOW/DOMAIN INTERFACE:Bad");
  EXPECT_EQ(strings(first), std::vector<std::string>{"/FLOW/DOMAIN:D/BOUNDARY:wall"});
  pgtFreeBoundaryHandles(h, first);
  EXPECT_EQ(pgtInterfaceBoundaryList2(h, "/FLOW/DOMAIN INTERFACE:Bad"), nullptr);
  EXPECT_EQ(pgtGetError(h, nullptr), PGT_E_DATA);
  EXPECT_EQ(errorText(h), "Boundary missing for interface Bad could not be found");
  EXPECT_EQ(pgtDelete(h), 0);
}

} // namespace
