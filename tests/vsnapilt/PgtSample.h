// A small physics set-up for the physics-reading tests, and helpers to load text into a reader.
//
// Frames (worked out by hand, 90-degree rotations so that results are exact):
//   Coord 1: axes e1 -> (0,1,0), e2 -> (0,0,1), e3 -> (1,0,0), origin (1,2,3) m;
//            a local point (x,y,z) lies at (z+1, x+2, y+3).
//   Coord 2: the same rotation inside Coord 1, origin (0,0,5) there; in base coordinates its
//            axes are (0,0,1), (1,0,0), (0,1,0) and its origin (6,2,3); (x,y,z) lies at
//            (y+6, z+2, x+3).
#ifndef PGT_SAMPLE_H
#define PGT_SAMPLE_H

#include "pgtapi.h"

#include <string>
#include <vector>

namespace pgttest {

using Lines = std::vector<std::string>;

inline Lines sampleLines() {
  return {
      "# Sample physics set-up",
      "FLOW:",
      "  SOLUTION UNITS:",
      "    Length Units = [ mm ]",
      "  END",
      "  DOMAIN: Rotor",
      "    Domain Type = Fluid",
      "    Location = R1",
      "    Number of Passages in 360 = 12",
      "    Number of Passages in Component = 2.5",
      "    DOMAIN MODELS:",
      "      DOMAIN MOTION:",
      "        Option = Rotating",
      "        Angular Velocity = 3000 [rev min^-1]",
      "        AXIS DEFINITION:",
      "          Option = Coordinate Axis",
      "          Rotation Axis = Coord 2.1",
      "        END",
      "      END",
      "    END",
      "    BOUNDARY: rotor out",
      "      Boundary Type = INTERFACE",
      "      Location = R1 out",
      "    END",
      "    BOUNDARY: per1",
      "      Boundary Type = INTERFACE",
      "      Location = R1 per",
      "    END",
      "    BOUNDARY: wall",
      "      Boundary Type = WALL",
      "      Location = R1 wall",
      "    END",
      "  END",
      "  DOMAIN: Stator\r",
      "    Location = S1, \\",
      "               S2   # joined to the line above",
      "    SUBDOMAIN: s1",
      "      Location = S2",
      "    END",
      "    BOUNDARY: stator in",
      "      Location = S1 in",
      "    END",
      "    BOUNDARY: per2",
      "      Location = S1 per",
      "    END",
      "    BOUNDARY: wall",
      "      Boundary Type = WALL",
      "      Location = S1 wall",
      "    END",
      "  END",
      "  DOMAIN: Casing",
      "    Domain Type = Solid",
      "    Location = C1",
      "    DOMAIN MODELS:",
      "      DOMAIN MOTION:",
      "        Option = Rotating",
      "        Angular Velocity = fast [rpm]",
      "        AXIS DEFINITION:",
      "          Option = Two Points",
      "          Rotation Axis From = 0 [m], 0 [m], 1 [m]",
      "          Rotation Axis To = 0 [m], 0 [m], 3 [m]",
      "        END",
      "      END",
      "    END",
      "  END",
      "  DOMAIN INTERFACE: Rotor Stator",
      "    Boundary List1 = rotor out",
      "    Boundary List2 = stator in",
      "    MESH CONNECTION:",
      "      Option = GGI",
      "    END",
      "  END",
      "  DOMAIN INTERFACE: Periodic Rot",
      "    Interface Type = Fluid Fluid",
      "    Boundary List1 = per1, wall",
      "    Boundary List2 = per2",
      "    MESH CONNECTION:",
      "      Option = Direct",
      "    END",
      "    INTERFACE MODELS:",
      "      Option = Rotational Periodicity",
      "      AXIS DEFINITION:",
      "        Option = Coordinate Axis",
      "        Rotation Axis = Coord 1.3",
      "      END",
      "    END",
      "  END",
      "  DOMAIN INTERFACE: Periodic Trans",
      "    Interface Type = Fluid Fluid",
      "    Boundary List1 = per1",
      "    Boundary List2 = per2",
      "    INTERFACE MODELS:",
      "      AXIS DEFINITION:",
      "        Rotation Axis From = 0 [m], 0 [m], 0 [m]",
      "        Rotation Axis To = 0 [mm], 0 [mm], 1000 [mm]",
      "      END",
      "    END",
      "  END",
      "  DOMAIN INTERFACE: Half Axis",
      "    Interface Type = Fluid Fluid",
      "    MESH CONNECTION:",
      "      Option = Automatic",
      "    END",
      "    INTERFACE MODELS:",
      "      Option = General",
      "      AXIS DEFINITION:",
      "        Rotation Axis From = 0 [m], 0 [m], 0 [m]",
      "      END",
      "    END",
      "  END",
      "  DOMAIN INTERFACE: Odd",
      "    Interface Type = Fluid Fluid",
      "    Boundary List1 = nowhere",
      "    MESH CONNECTION:",
      "      Option = Automatic Connection",
      "    END",
      "    INTERFACE MODELS:",
      "      Option = Helical Periodicity",
      "      AXIS DEFINITION:",
      "        Rotation Axis = Coord 1",
      "      END",
      "    END",
      "  END",
      "  DOMAIN INTERFACE: Plain",
      "    Boundary List1 = wall",
      "  END",
      "  COORD FRAME: Coord 1",
      "    Coord Frame Type = Cartesian",
      "    Option = Axis Points",
      "    Origin Point = 1000 [mm], 2 [m], 300 [cm]",
      "    Axis 3 Point = 2 [m], 2 [m], 3 [m]",
      "    Plane 13 Point = 1 [m], 3 [m], 3 [m]",
      "  END",
      "  COORD FRAME: Coord 2",
      "    Coord Frame Type = Cartesian",
      "    Reference Coord Frame = Coord 1",
      "    Origin Point = 0 [m], 0 [m], 5 [m]",
      "    Axis 3 Point = 1 [m], 0 [m], 5 [m]",
      "    Plane 13 Point = 0 [m], 1 [m], 5 [m]",
      "  END",
      "  COORD FRAME: Loop A",
      "    Coord Frame Type = Cartesian",
      "    Reference Coord Frame = Loop B",
      "    Origin Point = 0 [m], 0 [m], 0 [m]",
      "    Axis 3 Point = 0 [m], 0 [m], 1 [m]",
      "    Plane 13 Point = 1 [m], 0 [m], 0 [m]",
      "  END",
      "  COORD FRAME: Loop B",
      "    Coord Frame Type = Cartesian",
      "    Reference Coord Frame = Loop A",
      "    Origin Point = 0 [m], 0 [m], 0 [m]",
      "    Axis 3 Point = 0 [m], 0 [m], 1 [m]",
      "    Plane 13 Point = 1 [m], 0 [m], 0 [m]",
      "  END",
      "  COORD FRAME: Orphan",
      "    Coord Frame Type = Cartesian",
      "    Reference Coord Frame = Nowhere",
      "    Origin Point = 0 [m], 0 [m], 0 [m]",
      "    Axis 3 Point = 0 [m], 0 [m], 1 [m]",
      "    Plane 13 Point = 1 [m], 0 [m], 0 [m]",
      "  END",
      "  COORD FRAME: Flat",
      "    Coord Frame Type = Cartesian",
      "    Origin Point = 1 [m], 1 [m], 1 [m]",
      "    Axis 3 Point = 1 [m], 1 [m], 1 [m]",
      "    Plane 13 Point = 2 [m], 1 [m], 1 [m]",
      "  END",
      "  COORD FRAME: Cyl",
      "    Coord Frame Type = Cylindrical",
      "    Origin Point = 0 [m], 0 [m], 0 [m]",
      "    Axis 3 Point = 0 [m], 0 [m], 1 [m]",
      "    Plane 13 Point = 1 [m], 0 [m], 0 [m]",
      "  END",
      "  COORD FRAME: PN",
      "    Option = Point and Normal",
      "    Origin = 0 [m], 0 [m], 1 [m]",
      "    Point on Axis 3 = 0 [m], 0 [m], 2 [m]",
      "    Point on Plane 13 = 1 [m], 0 [m], 1 [m]",
      "  END",
      "  COORD FRAME: Typeless",
      "    Origin Point = 0 [m], 0 [m], 0 [m]",
      "    Axis 3 Point = 0 [m], 0 [m], 1 [m]",
      "    Plane 13 Point = 1 [m], 0 [m], 0 [m]",
      "  END",
      "  COORD FRAME: Chained Bad",
      "    Coord Frame Type = Cartesian",
      "    Reference Coord Frame = Flat",
      "    Origin Point = 0 [m], 0 [m], 0 [m]",
      "    Axis 3 Point = 0 [m], 0 [m], 1 [m]",
      "    Plane 13 Point = 1 [m], 0 [m], 0 [m]",
      "  END",
      "END",
  };
}

inline int load(pgtHandle* h, const Lines& lines) {
  std::vector<const char*> p;
  for (const std::string& s : lines) p.push_back(s.c_str());
  p.push_back(nullptr);
  return pgtLoadVSN(h, p.data(), -1);
}

inline std::string errorText(pgtHandle* h) {
  const char* text = nullptr;
  pgtGetError(h, &text);
  return text ? text : "(nul)";
}

inline std::vector<std::string> strings(char** handles) {
  std::vector<std::string> out;
  for (char** p = handles; p && *p; ++p) out.push_back(*p);
  return out;
}

inline std::string orNul(const char* s) { return s ? s : "(nul)"; }

} // namespace pgttest

#endif
