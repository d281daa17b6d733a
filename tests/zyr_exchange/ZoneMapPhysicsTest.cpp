// Zone maps built from VSN physics: numbering order, interface types and periodicity, units,
// the definition-file source, and the errors of a failed build.
#include "DefFile.h"
#include "ZoneMapTestSupport.h"
#include "vsnBoundary.h"
#include "vsnDomain.h"
#include "vsnInterface.h"
#include "vsnSubdomain.h"
#include "zyrCString.h"
#include "zyrErrorCode.h"
#include "zyrFault.h"
#include "zyrMemory.h"
#include "zyrZoneMap.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using zyrtest::RaisedError;
using zyrtest::ZoneMapPtr;
using Lines = std::vector<std::string>;
using Names = std::vector<std::string>;

const std::string kProblem = "There was a problem reading the physics VSN.\n";

// One domain block.
Lines domain(const std::string &name, const std::string &type, const std::string &location,
             const std::vector<Lines> &children = {}) {
  Lines lines = {"  DOMAIN: " + name};
  if (!type.empty())
    lines.push_back("    Domain Type = " + type);
  lines.push_back("    Location = " + location);
  for (const Lines &child : children)
    lines.insert(lines.end(), child.begin(), child.end());
  lines.push_back("  END");
  return lines;
}

Lines boundary(const std::string &name, const std::string &location) {
  return {"    BOUNDARY: " + name, "      Location = " + location, "    END"};
}

Lines subdomain(const std::string &name, const std::string &location) {
  return {"    SUBDOMAIN: " + name, "      Location = " + location, "    END"};
}

Lines iface(const std::string &name, const std::string &list1, const std::string &list2, const Lines &body = {}) {
  Lines lines = {"  DOMAIN INTERFACE: " + name, "    Boundary List1 = " + list1, "    Boundary List2 = " + list2};
  lines.insert(lines.end(), body.begin(), body.end());
  lines.push_back("  END");
  return lines;
}

Lines flow(const std::vector<Lines> &blocks) {
  Lines lines = {"FLOW:"};
  for (const Lines &block : blocks)
    lines.insert(lines.end(), block.begin(), block.end());
  lines.push_back("END");
  return lines;
}

Lines connection(const std::string &option) { return {"    MESH CONNECTION:", "      Option = " + option, "    END"}; }

// Two fluid domains with an inlet and an outlet each, for interface tests.
std::vector<Lines> twoDomains() {
  return {domain("Left", "", "L", {boundary("l out", "L out"), boundary("l wall", "L wall")}),
          domain("Right", "", "R", {boundary("r in", "R in")})};
}

vsnInterface *onlyInterface(const zyrZoneMap *map) {
  vsnInterface **interfaces = nullptr;
  EXPECT_EQ(zyrZoneMap_getInterfaces(map, &interfaces), 1);
  vsnInterface *result = interfaces != nullptr ? interfaces[0] : nullptr;
  zyrMemory_free(interfaces, __func__);
  return result;
}

class ZoneMapPhysicsTest : public zyrtest::ErrorCaptureTest {
protected:
  ZoneMapPtr build(const Lines &lines) { return zyrtest::zoneMapFromLines(m_dir, lines); }
  zyrtest::ScratchDir m_dir;
};

TEST_F(ZoneMapPhysicsTest, FluidDomainsComeFirstAndEachGroupSortsByteWise) {
  ZoneMapPtr map = build(flow({domain("Beta", "Solid", "B"), domain("alpha", "Fluid", "A"), domain("Zeta", "", "Z")}));
  ASSERT_NE(map, nullptr);
  // A text file is read as written; ordering is the caller's step.
  EXPECT_EQ(zyrtest::domainNames(map.get()), (Names{"Beta", "alpha", "Zeta"}));
  ASSERT_EQ(zyrZoneMap_order(map.get()), 1);
  EXPECT_EQ(zyrtest::domainNames(map.get()), (Names{"Zeta", "alpha", "Beta"}));
  EXPECT_EQ(zyrtest::printed([&](FILE *s) { zyrZoneMap_printSummary(map.get(), s); }),
            "  DOMAIN (fluid) [ZN]:      1  Zeta\n"
            "  DOMAIN (fluid) [ZN]:      2  alpha\n"
            "  DOMAIN         [ZN]:      3  Beta\n");
}

TEST_F(ZoneMapPhysicsTest, BoundariesSortByDomainAndNameAndSubdomainsFollowTheDomains) {
  ZoneMapPtr map = build(flow({domain("Fluid", "", "F", {boundary("in", "F in"), subdomain("z", "F2"), subdomain("a", "F1")}),
                               domain("Fluid 2", "", "G", {boundary("out", "G out"), subdomain("m", "G1")})}));
  ASSERT_NE(map, nullptr);
  ASSERT_EQ(zyrZoneMap_order(map.get()), 1);
  // "Fluid 2:out" sorts before "Fluid:in" since a blank comes before ':'.
  EXPECT_EQ(zyrtest::boundaryNames(map.get()), (Names{"out", "in"}));
  EXPECT_EQ(zyrtest::domainNames(map.get()), (Names{"Fluid", "Fluid 2"}));
  EXPECT_EQ(zyrtest::subdomainNames(map.get()), (Names{"a", "z", "m"}));
  EXPECT_EQ(zyrtest::printed([&](FILE *s) { zyrZoneMap_printSummary(map.get(), s); }),
            "  DOMAIN (fluid) [ZN]:      1  Fluid\n"
            "  DOMAIN (fluid) [ZN]:      2  Fluid 2\n"
            "  SUBDOMAIN      [VP]:      1  a\n"
            "  SUBDOMAIN      [VP]:      2  z\n"
            "  SUBDOMAIN      [VP]:      3  m\n"
            "  BOUNDARY      [BCP]:      1  out\n"
            "  BOUNDARY      [BCP]:      2  in\n");
  vsnBoundary **boundaries = nullptr;
  ASSERT_EQ(zyrZoneMap_getBoundaries(map.get(), &boundaries), 2);
  EXPECT_STREQ(vsnDomain_getName(vsnBoundary_getDomain(boundaries[0])), "Fluid 2");
  EXPECT_STREQ(vsnBoundary_getLocationString(boundaries[0]), "G out");
  zyrMemory_free(boundaries, __func__);
  EXPECT_TRUE(published().empty());
}

TEST_F(ZoneMapPhysicsTest, ConnectionTypesGiveInterfaceTypes) {
  std::vector<Lines> blocks = twoDomains();
  blocks.push_back(iface("D", "l out", "r in", connection("Direct")));
  blocks.push_back(iface("A", "l out", "r in", connection("Automatic")));
  blocks.push_back(iface("G", "l out", "r in", connection("GGI")));
  blocks.push_back(iface("N", "l out", "r in"));
  ZoneMapPtr map = build(flow(blocks));
  ASSERT_NE(map, nullptr);
  ASSERT_EQ(zyrZoneMap_order(map.get()), 1);
  EXPECT_EQ(zyrtest::interfaceNames(map.get()), (Names{"A", "D", "G", "N"}));
  vsnInterface **interfaces = nullptr;
  ASSERT_EQ(zyrZoneMap_getInterfaces(map.get(), &interfaces), 4);
  EXPECT_EQ(vsnInterface_getType(interfaces[0]), VSN_INTERFACE_AUTOMATIC);
  EXPECT_EQ(vsnInterface_getType(interfaces[1]), VSN_INTERFACE_MATCHED);
  EXPECT_EQ(vsnInterface_getType(interfaces[2]), VSN_INTERFACE_UNMATCHED);
  EXPECT_EQ(vsnInterface_getType(interfaces[3]), VSN_INTERFACE_AUTOMATIC);
  EXPECT_STREQ(vsnInterface_getLocationString(interfaces[0], 0), "L out");
  EXPECT_STREQ(vsnInterface_getLocationString(interfaces[0], 1), "R in");
  zyrMemory_free(interfaces, __func__);
}

TEST_F(ZoneMapPhysicsTest, AnUnknownConnectionTypeFailsTheBuild) {
  std::vector<Lines> blocks = twoDomains();
  blocks.push_back(iface("Odd One", "l out", "r in", connection("Automatic Connection")));
  EXPECT_EQ(build(flow(blocks)), nullptr);
  EXPECT_EQ(published(), (std::vector<RaisedError>{
                             {10041, "An unrecognised \"Connection Type\" has been detected for\n"
                                     "DOMAIN INTERFACE: Odd One.\n"},
                             {10041, kProblem}}));
}

TEST_F(ZoneMapPhysicsTest, PeriodicityDependsOnKindAndAxis) {
  const Lines rotationalNoAxis = {"    Interface Type = Fluid Fluid", "    INTERFACE MODELS:",
                                  "      Option = Rotational Periodicity", "    END"};
  const Lines translationalNoAxis = {"    Interface Type = Fluid Fluid", "    INTERFACE MODELS:",
                                     "      Option = Translational Periodicity", "    END"};
  const Lines rotationalAxis = {"    Interface Type = Fluid Fluid",
                                "    INTERFACE MODELS:",
                                "      Option = Rotational Periodicity",
                                "      AXIS DEFINITION:",
                                "        Rotation Axis From = 0 [m], 0 [m], 1 [m]",
                                "        Rotation Axis To = 0 [mm], 0 [mm], 3000 [mm]",
                                "      END",
                                "    END"};
  struct Case {
    Lines body;
    int32_t stored;
    int32_t unsignedPeriodicity;
  };
  const std::vector<Case> cases = {
      {rotationalNoAxis, 0, 0}, {translationalNoAxis, -1, 1}, {rotationalAxis, 2, 2}, {{}, 0, 0}};
  for (const Case &c : cases) {
    std::vector<Lines> blocks = twoDomains();
    blocks.push_back(iface("P", "l out", "r in", c.body));
    ZoneMapPtr map = build(flow(blocks));
    ASSERT_NE(map, nullptr);
    vsnInterface *p = onlyInterface(map.get());
    EXPECT_EQ(p->m_periodicity, c.stored);
    EXPECT_EQ(vsnInterface_getPeriodicity(p), c.unsignedPeriodicity);
    double root[3] = {-7, -7, -7}, tip[3] = {-7, -7, -7};
    if (c.stored < 1) {
      EXPECT_EQ(vsnInterface_getAxis(p, "m", root, tip), 0);
      EXPECT_EQ(root[2], -7.0);
    } else {
      // Stored in metres, handed out in the units asked for.
      ASSERT_EQ(vsnInterface_getAxis(p, "mm", root, tip), 1);
      EXPECT_DOUBLE_EQ(root[2], 1000.0);
      EXPECT_DOUBLE_EQ(tip[2], 3000.0);
      EXPECT_EQ(vsnInterface_getAxis(p, "no such unit", root, tip), -1);
    }
  }
}

TEST_F(ZoneMapPhysicsTest, SidesFindBoundariesByNameTheDomainReadLastWinning) {
  ZoneMapPtr map = build(flow({domain("One", "", "A", {boundary("wall", "A wall")}),
                               domain("Two", "", "B", {boundary("wall", "B wall"), boundary("in", "B in")}),
                               iface("I", "wall", "in")}));
  ASSERT_NE(map, nullptr);
  vsnInterface *i = onlyInterface(map.get());
  vsnBoundary **side = nullptr;
  ASSERT_EQ(vsnInterface_getBoundaries(i, 0, &side), 1);
  EXPECT_STREQ(vsnDomain_getName(vsnBoundary_getDomain(side[0])), "Two");
  zyrMemory_free(side, __func__);
  EXPECT_STREQ(vsnInterface_getLocationString(i, 0), "B wall");
}

TEST_F(ZoneMapPhysicsTest, AnInterfaceNamingAnUnknownBoundaryFails) {
  std::vector<Lines> blocks = twoDomains();
  blocks.push_back(iface("I", "l out, nowhere", "r in"));
  EXPECT_EQ(build(flow(blocks)), nullptr);
  ASSERT_EQ(published().size(), 2u);
  EXPECT_EQ(published()[0].code, 10041);
  EXPECT_NE(published()[0].message.find("nowhere"), std::string::npos) << published()[0].message;
  EXPECT_EQ(published()[1], (RaisedError{10041, kProblem}));
}

TEST_F(ZoneMapPhysicsTest, SolutionUnitsAreKeptWithoutBracketsAndChecked) {
  ZoneMapPtr map = build({"FLOW:", "  SOLUTION UNITS:", "    Length Units = [ mm ]", "  END", "END"});
  ASSERT_NE(map, nullptr);
  char *units = zyrZoneMap_getSolutionUnits(map.get());
  EXPECT_STREQ(units, "mm");
  zyrCString_free(units);

  EXPECT_EQ(build({"FLOW:", "  SOLUTION UNITS:", "    Length Units = [leagues of woe]", "  END", "END"}), nullptr);
  EXPECT_EQ(published(), (std::vector<RaisedError>{{10041, "The solver units \"[leagues of woe]\" are not valid.\n"},
                                                   {10041, kProblem}}));
}

TEST_F(ZoneMapPhysicsTest, PhysicsWithoutDomainsDumpsAnEmptyMapOfUnknownUnits) {
  ZoneMapPtr map = build({"FLOW:", "END"});
  ASSERT_NE(map, nullptr);
  EXPECT_EQ(zyrZoneMap_getSolutionUnits(map.get()), nullptr);
  const std::string rule = "==============================================\n";
  EXPECT_EQ(zyrtest::printed([&](FILE *s) { zyrZoneMap_print(map.get(), s); }),
            "\n" + rule + "zyrZoneMap\n" + rule + "\nSolution units    = [UNKNOWN]\n\n" +
                "No. of domains    = 0\nNo. of subdomains = 0\nNo. of boundaries = 0\nNo. of interface  = 0\n\n\n" +
                rule);
  EXPECT_TRUE(published().empty());
}

TEST_F(ZoneMapPhysicsTest, DumpListsDomainsSortedSubdomainsAndInterfaceSides) {
  std::vector<Lines> blocks = {
      domain("Left", "", "L", {subdomain("z", "L2"), subdomain("a", "L1"), boundary("l out", "L out")}),
      domain("Right", "", "R", {boundary("r in", "R in")}), iface("I", "l out", "r in")};
  blocks.insert(blocks.begin(), Lines{"  SOLUTION UNITS:", "    Length Units = [m]", "  END"});
  ZoneMapPtr map = build(flow(blocks));
  ASSERT_NE(map, nullptr);
  const std::string rule = "==============================================\n";
  EXPECT_EQ(zyrtest::printed([&](FILE *s) { zyrZoneMap_print(map.get(), s); }),
            "\n" + rule + "zyrZoneMap\n" + rule + "\nSolution units    = [m]\n\n" +
                "No. of domains    = 2\nNo. of subdomains = 2\nNo. of boundaries = 2\nNo. of interface  = 1\n\n" +
                "\nDOMAIN: \"Left\"\n  SUBDOMAIN: \"a\"\n  SUBDOMAIN: \"z\"\n  BOUNDARY: \"l out\"\n" +
                "\nDOMAIN: \"Right\"\n  BOUNDARY: \"r in\"\n" +
                "\nINTERFACE: \"I\"\n  Side 0:\n    BOUNDARY: \"l out\"\n  Side 1:\n    BOUNDARY: \"r in\"\n" +
                "\n" + rule);
}

TEST_F(ZoneMapPhysicsTest, TextFileFailures) {
  zyrZoneMap *map = zyrZoneMap_new();
  ASSERT_NE(map, nullptr);
  // Only modes 0 and 1 exist; another is refused without a word.
  EXPECT_EQ(zyrZoneMap_buildUsingPGT(map, m_dir.file("x").c_str(), 2), 0);
  EXPECT_TRUE(published().empty());
  zyrZoneMap_delete(map);

  EXPECT_EQ(zyrZoneMap_newFromFile(m_dir.file("missing.vsn").c_str()), nullptr);
  ASSERT_EQ(published().size(), 2u);
  EXPECT_EQ(published()[1], (RaisedError{10041, kProblem}));

  // No name at all fails in both modes, closing with the same message.
  EXPECT_EQ(zyrZoneMap_newFromFile(nullptr), nullptr);
  EXPECT_EQ(published().back(), (RaisedError{10041, kProblem}));
  EXPECT_EQ(zyrZoneMap_newFromDefFile(nullptr), nullptr);
  EXPECT_EQ(published().back(), (RaisedError{10041, kProblem}));

  // A domain without a location is not usable physics.
  EXPECT_EQ(build({"FLOW:", "  DOMAIN: D", "  END", "END"}), nullptr);
  EXPECT_EQ(published().back(), (RaisedError{10041, kProblem}));
}

class ZoneMapDefFileTest : public zyrtest::ErrorCaptureTest {
protected:
  // A definition file whose physics data set holds the lines (none: no data set).
  std::string defFile(const Lines *lines) {
    const std::string path = m_dir.file("run.def");
    DefFile *file = DefFile_new(path.c_str());
    EXPECT_NE(file, nullptr);
    if (lines != nullptr) {
      std::vector<const char *> pointers;
      for (const std::string &line : *lines)
        pointers.push_back(line.c_str());
      EXPECT_EQ(DefFile_writeIoStringArray(file, "G/COMMANDS", "EVERY", 0, pointers.data(),
                                           static_cast<int32_t>(pointers.size())),
                1);
    } else {
      EXPECT_EQ(DefFile_writeInt(file, "G/NZN", "EVERY", 0, 1), 1);
    }
    DefFile_delete(file);
    return path;
  }
  zyrtest::ScratchDir m_dir;
};

TEST_F(ZoneMapDefFileTest, PhysicsDataSetIsReadAndOrdered) {
  const Lines lines = flow({domain("b", "", "B"), domain("a", "Solid", "A"), domain("c", "", "C")});
  zyrtest::ZoneMapPtr map(zyrZoneMap_newFromDefFile(defFile(&lines).c_str()));
  ASSERT_NE(map, nullptr);
  EXPECT_EQ(zyrtest::domainNames(map.get()), (Names{"b", "c", "a"}));
  EXPECT_TRUE(published().empty());
}

TEST_F(ZoneMapDefFileTest, MissingOrBlankPhysicsIsReported) {
  EXPECT_EQ(zyrZoneMap_newFromDefFile(defFile(nullptr).c_str()), nullptr);
  EXPECT_EQ(published(), (std::vector<RaisedError>{
                             {10041, "The definition file does not contain any physics VSN. This\n"
                                     "should appear in the data set [G/COMMANDS, EVERY, 0].\n"},
                             {10041, kProblem}}));
  const Lines blank = {"   "};
  EXPECT_EQ(zyrZoneMap_newFromDefFile(defFile(&blank).c_str()), nullptr);
  EXPECT_EQ(published()[2], (RaisedError{20006, "The definition file does not contain any physics VSN. The\n"
                                                "data set [G/COMMANDS, EVERY, 0] contains a blank string.\n"}));
  EXPECT_EQ(published()[3], (RaisedError{10041, kProblem}));
}

TEST_F(ZoneMapDefFileTest, AMissingFileIsNotCreated) {
  const std::string path = m_dir.file("absent.def");
  EXPECT_EQ(zyrZoneMap_newFromDefFile(path.c_str()), nullptr);
  EXPECT_EQ(published(), (std::vector<RaisedError>{{10020, "The file named \"" + path + "\" does not exist.\n"},
                                                   {10041, kProblem}}));
  EXPECT_FALSE(std::filesystem::exists(path));
  // Nor is one that a look cannot tell of: that is what is said.
  zyrFault_arm("look@1", path.c_str());
  EXPECT_EQ(zyrZoneMap_newFromDefFile(path.c_str()), nullptr);
  zyrFault_disarm();
  EXPECT_EQ(published()[2], (RaisedError{10020, "Whether the file\n\n" + path + "\n\nexists cannot be told (stat: " +
                                                    strerror(EIO) + ").\n"}));
  EXPECT_FALSE(std::filesystem::exists(path));
}

} // namespace

namespace {

// Tracing needs a debug manager made from a control file, so it runs in a child of its own.
TEST(ZoneMapDeathTest, TracedBuildAndOrderWriteTheMapToTheDebugLog) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  zyrtest::ScratchDir dir;
  const std::string path = dir.path();
  EXPECT_EXIT(
      {
        zyrtest::writeFile(path + "/control", "<LOGS>\nDEBUG = " + path + "/debug.log\n</LOGS>\n"
                                              "<DEBUG>\nzyrZoneMap_.*: 2\n</DEBUG>\n");
        setenv("ZYR_DEBUG_CONTROL", (path + "/control").c_str(), 1);
        unsetenv("ZYR_DEBUG_LOG");
        zyrtest::ZoneMapPtr map = zyrtest::zoneMapFromLines(
            dir, flow({domain("b", "Solid", "B"), domain("a", "", "A", {boundary("w", "A w")})}));
        const int ordered = map != nullptr ? zyrZoneMap_order(map.get()) : 0;
        const std::string log = zyrtest::readFile(path + "/debug.log");
        map.reset();
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
        if (ordered != 1)
          std::exit(2);
        if (log.find("Create a new zone map based on VSN in a text file.") == std::string::npos ||
            log.find("\nzyrZoneMap\n") == std::string::npos)
          std::exit(3);
        if (log.find("Before sorting alphabetically:\n------------------------------\n"
                     "  DOMAIN         [ZN]:      1  b\n  DOMAIN (fluid) [ZN]:      2  a\n") == std::string::npos)
          std::exit(4);
        if (log.find("After sorting alphabetically:\n-----------------------------\n"
                     "  DOMAIN (fluid) [ZN]:      1  a\n") == std::string::npos)
          std::exit(5);
        std::exit(0);
      },
      testing::ExitedWithCode(0), "");
}

} // namespace
