// The physics reader: loading, its sticky errors, domains, subdomains, boundaries and units.
#include "PgtSample.h"
#include "zyrTestSupport.h"

#include "units.h"

#include <gtest/gtest.h>

#include <cstring>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <unistd.h>
#include <string>

using namespace pgttest;

namespace {

class PgtReader : public testing::Test {
 protected:
  void SetUp() override {
    h = pgtNew();
    ASSERT_NE(h, nullptr);
    ASSERT_EQ(load(h, sampleLines()), 0) << errorText(h);
  }
  void TearDown() override { EXPECT_EQ(pgtDelete(h), 0); }
  std::string domain(const char* name) {
    char* d = pgtDomainByName(h, name);
    std::string s = orNul(d);
    pgtFreeDomainHandle(h, d);
    return s;
  }
  pgtHandle* h = nullptr;
};

TEST(PgtHandle, NewDeleteAndEmptyReader) {
  EXPECT_EQ(pgtDelete(nullptr), 5);
  pgtHandle* h = pgtNew();
  ASSERT_NE(h, nullptr);
  const char* text = nullptr;
  EXPECT_EQ(pgtGetError(h, &text), 0);
  EXPECT_STREQ(text, "");
  EXPECT_EQ(pgtGetError(h, nullptr), 0);
  // Nothing loaded: /FLOW cannot be listed.
  EXPECT_EQ(pgtNumDomains(h), -1);
  EXPECT_EQ(errorText(h), "pgtNumDomains: unable to retrieve information for /FLOW: "
                          "getChildList: unable to find the requested path");
  EXPECT_EQ(pgtDomainHandles(h), nullptr);
  EXPECT_EQ(pgtNumSubdomains(h), -1);
  EXPECT_EQ(pgtBoundaryHandles(h), nullptr);
  EXPECT_EQ(pgtDelete(h), 0);
}

TEST(PgtHandle, SetErrorFormatsOnlyPercentDAndS) {
  pgtHandle* h = pgtNew();
  EXPECT_EQ(pgtSetError(h, 2, "a %f b %s %d%% %", 1.5, "x", 42), 2);
  // %f is kept and uses up its value, so %s takes the next one.
  EXPECT_EQ(errorText(h), "a %f b x 42% %");
  EXPECT_EQ(pgtSetError(h, 6, "plain text"), 6);
  EXPECT_EQ(errorText(h), "plain text");
  EXPECT_EQ(pgtGetError(h, nullptr), 6);
  std::string many(300, 'x');
  pgtSetError(h, 1, "%s|%s|%s|%s", many.c_str(), many.c_str(), nullptr, many.c_str());
  EXPECT_EQ(errorText(h), many + "|" + many + "|(nul)|" + many);
  EXPECT_EQ(pgtDelete(h), 0);
}

TEST(PgtHandle, LoadCountsUpToNullAndReportsParserErrors) {
  pgtHandle* h = pgtNew();
  const char* lines[] = {"FLOW:", "  DOMAIN: a", "  END", "END", nullptr, "FLOW:", "DOMAIN: b", "END", "END"};
  EXPECT_EQ(pgtLoadVSN(h, lines, -1), 0);
  EXPECT_EQ(pgtNumDomains(h), 1);
  // With an explicit count the lines after the NULL are not reached either: it is refused.
  EXPECT_EQ(pgtLoadVSN(h, lines, 9), 1);
  EXPECT_EQ(errorText(h).rfind("pgtLoadVSN: error from VSN API: ", 0), 0u) << errorText(h);
  const char* bad[] = {"FLOW:", "!power", "END"};
  EXPECT_EQ(pgtLoadVSN(h, bad, 3), 1);
  EXPECT_EQ(pgtGetError(h, nullptr), 1);
  EXPECT_EQ(errorText(h).rfind("pgtLoadVSN: error from VSN API: parseVSNData: unable to handle power syntax", 0), 0u)
      << errorText(h);
  EXPECT_EQ(pgtNumDomains(h), 1);  // what was loaded stays
  EXPECT_EQ(pgtLoadVSN(nullptr, lines, -1), 3);
  EXPECT_EQ(pgtDelete(h), 0);
}

TEST(PgtHandle, LoadFileWithCarriageReturns) {
  zyrtest::ScratchDir dir("zyr_pgt");
  std::string path = dir.file("physics.vsn");
  {
    std::ofstream out(path, std::ios::binary);
    for (const std::string& line : sampleLines()) out << line << "\r\n";
  }
  pgtHandle* h = pgtNew();
  EXPECT_EQ(pgtLoadVSNFile(h, path.c_str(), "vsn"), 0) << errorText(h);
  EXPECT_EQ(pgtNumDomains(h), 3);
  EXPECT_EQ(pgtNumCoordFrames(h), 10);
  EXPECT_STREQ(pgtSolverLengthUnits(h), "mm");
  EXPECT_EQ(pgtLoadVSNFile(h, dir.file("missing.vsn").c_str(), "vsn"), 1);
  EXPECT_EQ(errorText(h).rfind("pgtLoadVSNFile: error from VSN API: ", 0), 0u) << errorText(h);
  EXPECT_EQ(pgtDelete(h), 0);
}

// Run in a child: the units library keeps its definitions for the process.
void loadWithBrokenUnitsFile() {
  int code;
  std::string text;
  {
    zyrtest::ScratchDir dir("zyr_pgtu");
    zyrtest::writeFile(dir.file("units.wez"), "this is not a definition\n");
    setenv("WEZ5_UNITS_DIR", dir.path().c_str(), 1);
    pgtHandle* h = pgtNew();
    const char* lines[] = {"FLOW:", "END"};
    code = pgtLoadVSN(h, lines, 2);
    text = errorText(h);
    pgtDelete(h);
  }
  fprintf(stderr, "%d %s\n", code, text.c_str());
  exit(0);
}

TEST(PgtHandle, UnitsLibraryFailureFailsTheLoad) {
  EXPECT_EXIT(loadWithBrokenUnitsFile(), testing::ExitedWithCode(0),
              "1 pgtLoadVSN: error 7 initialising units library");
}

TEST_F(PgtReader, DomainsInCreationOrderWithTheirDefaults) {
  EXPECT_EQ(pgtNumDomains(h), 3);
  char** domains = pgtDomainHandles(h);
  EXPECT_EQ(strings(domains),
            (std::vector<std::string>{"/FLOW/DOMAIN:Rotor", "/FLOW/DOMAIN:Stator", "/FLOW/DOMAIN:Casing"}));
  const char* rotor = domains[0];
  const char* stator = domains[1];
  EXPECT_STREQ(pgtDomainName(h, rotor), "Rotor");
  EXPECT_EQ(pgtDomainName(h, rotor), rotor + strlen("/FLOW/DOMAIN:"));  // points into the handle
  EXPECT_STREQ(pgtDomainType(h, rotor), "Fluid");
  EXPECT_STREQ(pgtDomainLocation(h, rotor), "R1");
  EXPECT_STREQ(pgtDomainLocation(h, stator), "S1, S2");
  EXPECT_STREQ(pgtDomainType(h, domains[2]), "Solid");

  // A missing parameter with a default still records error 1.
  EXPECT_STREQ(pgtDomainType(h, stator), "Fluid");
  EXPECT_EQ(pgtGetError(h, nullptr), 1);
  EXPECT_EQ(errorText(h), "pgtDomainType: unable to retrieve information for Domain Type in /FLOW/DOMAIN:Stator: "
                          "getStringValue: value \"/FLOW/DOMAIN:Stator/Domain Type\" does not exist");
  EXPECT_EQ(pgtDomainLocation(h, "/FLOW/DOMAIN:Nowhere"), nullptr);

  EXPECT_EQ(pgtDomainNumberOfPassages(h, rotor, 0), 12);
  EXPECT_EQ(pgtDomainNumberOfPassages(h, rotor, 1), 3);
  EXPECT_EQ(pgtDomainNumberOfPassages(h, stator, 0), -1);
  pgtFreeDomainHandles(h, domains);

  EXPECT_EQ(domain("Stator"), "/FLOW/DOMAIN:Stator");
  EXPECT_EQ(domain("Nowhere"), "(nul)");
  EXPECT_EQ(pgtGetError(h, nullptr), 6);
  EXPECT_EQ(errorText(h), "pgtDomainByName: no such DOMAIN Nowhere in /FLOW: pushPath: path is not found");
  // Names cannot lead elsewhere in the tree.
  EXPECT_EQ(domain("x/../../FLOW"), "(nul)");
  EXPECT_EQ(domain("Rotor/BOUNDARY:wall"), "(nul)");
  EXPECT_EQ(domain(""), "(nul)");
  EXPECT_EQ(pgtGetError(h, nullptr), 6);
}

TEST_F(PgtReader, SubdomainsAndBoundariesDomainByDomain) {
  EXPECT_EQ(pgtNumSubdomains(h), 1);
  EXPECT_EQ(pgtNumBoundaries(h), 6);
  char** all = pgtBoundaryHandles(h);
  EXPECT_EQ(strings(all), (std::vector<std::string>{
                              "/FLOW/DOMAIN:Rotor/BOUNDARY:rotor out", "/FLOW/DOMAIN:Rotor/BOUNDARY:per1",
                              "/FLOW/DOMAIN:Rotor/BOUNDARY:wall", "/FLOW/DOMAIN:Stator/BOUNDARY:stator in",
                              "/FLOW/DOMAIN:Stator/BOUNDARY:per2", "/FLOW/DOMAIN:Stator/BOUNDARY:wall"}));
  EXPECT_STREQ(pgtBoundaryName(h, all[3]), "stator in");
  EXPECT_STREQ(pgtBoundaryLocation(h, all[3]), "S1 in");
  EXPECT_STREQ(pgtBoundaryType(h, all[5]), "WALL");
  char* parent = pgtBoundaryParent(h, all[5]);
  EXPECT_STREQ(parent, "/FLOW/DOMAIN:Stator");
  pgtFreeDomainHandle(h, parent);
  // A handle kept from a list outlives the list and is freed on its own.
  char* kept = strdup(all[3]);
  pgtFreeBoundaryHandles(h, all);
  EXPECT_STREQ(pgtBoundaryName(h, kept), "stator in");
  pgtFreeBoundaryHandle(h, kept);

  char** subdomains = pgtSubdomainHandles(h);
  EXPECT_EQ(strings(subdomains), (std::vector<std::string>{"/FLOW/DOMAIN:Stator/SUBDOMAIN:s1"}));
  EXPECT_STREQ(pgtSubdomainName(h, subdomains[0]), "s1");
  EXPECT_STREQ(pgtSubdomainLocation(h, subdomains[0]), "S2");
  parent = pgtSubdomainParent(h, subdomains[0]);
  EXPECT_STREQ(parent, "/FLOW/DOMAIN:Stator");
  pgtFreeDomainHandle(h, parent);
  kept = strdup(subdomains[0]);
  pgtFreeSubdomainHandles(h, subdomains);
  EXPECT_STREQ(pgtSubdomainName(h, kept), "s1");
  pgtFreeSubdomainHandle(h, kept);

  // A domain without subdomains or boundaries gives an empty list, not a failure.
  EXPECT_EQ(pgtDomainNumSubdomains(h, "/FLOW/DOMAIN:Rotor"), 0);
  EXPECT_EQ(pgtDomainNumBoundaries(h, "/FLOW/DOMAIN:Casing"), 0);
  char** none = pgtDomainBoundaries(h, "/FLOW/DOMAIN:Casing");
  ASSERT_NE(none, nullptr);
  EXPECT_EQ(none[0], nullptr);
  pgtFreeBoundaryHandles(h, none);
  EXPECT_EQ(pgtDomainNumBoundaries(h, "/FLOW/DOMAIN:Rotor"), 3);
  EXPECT_EQ(pgtDomainSubdomains(h, "/FLOW/DOMAIN:Nowhere"), nullptr);
  EXPECT_EQ(pgtGetError(h, nullptr), 1);
}

TEST_F(PgtReader, BadHandlesNameTheQuery) {
  EXPECT_EQ(pgtDomainName(h, "/FLOW"), nullptr);
  EXPECT_EQ(pgtGetError(h, nullptr), 3);
  EXPECT_EQ(errorText(h), "pgtDomainName: bad handle");
  EXPECT_EQ(pgtBoundaryName(h, "/FLOW/DOMAIN:a/BOUNDARY:"), nullptr);
  EXPECT_EQ(errorText(h), "pgtBoundaryName: bad handle");
  EXPECT_EQ(pgtInterfaceName(h, "/FLOW/DOMAIN:a/x"), nullptr);
  EXPECT_EQ(errorText(h), "pgtInterfaceName: bad handle");
  EXPECT_EQ(pgtSubdomainParent(h, "/FLOW/DOMAIN:a/"), nullptr);
  EXPECT_EQ(errorText(h), "pgtSubdomainParent: bad handle");
  EXPECT_EQ(pgtBoundaryParent(h, "nothing"), nullptr);
  EXPECT_EQ(pgtDomainName(h, nullptr), nullptr);
  EXPECT_EQ(pgtDomainLocation(h, nullptr), nullptr);
  EXPECT_EQ(pgtGetError(h, nullptr), 3);
}

TEST_F(PgtReader, MotionVelocityAndAxis) {
  EXPECT_STREQ(pgtDomainMotion(h, "/FLOW/DOMAIN:Rotor"), "Rotating");
  EXPECT_STREQ(pgtDomainMotion(h, "/FLOW/DOMAIN:Stator"), "Stationary");
  EXPECT_DOUBLE_EQ(pgtDomainRotationVelocity(h, "/FLOW/DOMAIN:Rotor"), 100 * M_PI);
  EXPECT_EQ(pgtDomainRotationVelocity(h, "/FLOW/DOMAIN:Stator"), 0.0);
  // An unreadable velocity is not taken for a stationary domain.
  EXPECT_TRUE(std::isnan(pgtDomainRotationVelocity(h, "/FLOW/DOMAIN:Casing")));
  EXPECT_EQ(pgtGetError(h, nullptr), 2);

  double point[3], second[3], direction[3];
  // "Coord 2.1": the first axis of Coord 2 in base coordinates.
  ASSERT_STREQ(pgtDomainRotationAxis(h, "/FLOW/DOMAIN:Rotor", point, second, direction), "m") << errorText(h);
  EXPECT_EQ(std::vector<double>(point, point + 3), (std::vector<double>{6, 2, 3}));
  EXPECT_EQ(std::vector<double>(direction, direction + 3), (std::vector<double>{0, 0, 1}));
  EXPECT_EQ(std::vector<double>(second, second + 3), (std::vector<double>{0, 0, 0}));
  // Defaults: "Coord 0.1".
  ASSERT_STREQ(pgtDomainRotationAxis(h, "/FLOW/DOMAIN:Stator", point, second, direction), "m");
  EXPECT_EQ(std::vector<double>(point, point + 3), (std::vector<double>{0, 0, 0}));
  EXPECT_EQ(std::vector<double>(direction, direction + 3), (std::vector<double>{1, 0, 0}));
  // Two points, read from the axis definition.
  ASSERT_STREQ(pgtDomainRotationAxis(h, "/FLOW/DOMAIN:Casing", point, second, direction), "m");
  EXPECT_EQ(std::vector<double>(point, point + 3), (std::vector<double>{0, 0, 1}));
  EXPECT_EQ(std::vector<double>(direction, direction + 3), (std::vector<double>{0, 0, 1}));
}

TEST(PgtMotion, SingletonsAndBadAxes) {
  pgtHandle* h = pgtNew();
  ASSERT_EQ(load(h, {"FLOW:", "DOMAIN: d", "DOMAIN MODELS:", "END", "DOMAIN MODELS: extra", "END", "END",
                     "DOMAIN: e", "DOMAIN MODELS:", "DOMAIN MOTION:", "Axis Type = Coordinate Axis",
                     "Rotation Axis = Coord 7.2", "AXIS DEFINITION:", "Option = Helix", "END", "END", "END", "END",
                     "DOMAIN: f", "DOMAIN MODELS:", "DOMAIN MOTION:", "AXIS DEFINITION:", "Option = Helix", "END",
                     "END", "END", "END", "END"}),
            0);
  EXPECT_STREQ(pgtDomainMotion(h, "/FLOW/DOMAIN:d"), "Stationary");
  EXPECT_EQ(pgtGetError(h, nullptr), 7);
  EXPECT_EQ(errorText(h), "pgtDomainMotion: DOMAIN MODELS in /FLOW/DOMAIN:d is not a singleton");
  // The axis definition's Option is its axis type, not the domain's motion.
  EXPECT_STREQ(pgtDomainMotion(h, "/FLOW/DOMAIN:f"), "Stationary");
  double p[3], s[3], d[3] = {9, 9, 9};
  EXPECT_EQ(pgtDomainRotationAxis(h, "/FLOW/DOMAIN:e", p, s, d), nullptr);
  EXPECT_EQ(errorText(h), "Unable to identify the requested coordinate frame.");
  EXPECT_EQ(d[0], 9);
  EXPECT_EQ(pgtDomainRotationAxis(h, "/FLOW/DOMAIN:f", p, s, d), nullptr);
  EXPECT_EQ(errorText(h), "The \"Axis Type\", \"Helix\", was not recognised.");
  EXPECT_EQ(pgtDelete(h), 0);

  // A point of a two-point axis that cannot be read names the parameter and its text.
  h = pgtNew();
  ASSERT_EQ(load(h, {"FLOW:", "DOMAIN: g", "DOMAIN MODELS:", "DOMAIN MOTION:", "Option = Rotating",
                     "AXIS DEFINITION:", "Option = Two Points", "Rotation Axis From = 0 [m], nowhere",
                     "Rotation Axis To = 0 [m], 0 [m], 1 [m]", "END", "END", "END", "END", "END"}),
            0);
  EXPECT_EQ(pgtDomainRotationAxis(h, "/FLOW/DOMAIN:g", p, s, d), nullptr);
  EXPECT_EQ(pgtGetError(h, nullptr), 2);
  EXPECT_EQ(errorText(h), "Problem parsing \"Rotation Axis From\", \"0 [m], nowhere\".");
  EXPECT_EQ(d[0], 9);
  EXPECT_EQ(pgtDelete(h), 0);
}

TEST_F(PgtReader, SolverLengthUnitsFollowLaterLoads) {
  EXPECT_STREQ(pgtSolverLengthUnits(h), "mm");
  EXPECT_EQ(pgtSolverLengthUnits(h), pgtSolverLengthUnits(h));
  ASSERT_EQ(load(h, {"FLOW:", "SOLUTION UNITS:", "Length Units = [cm]", "END", "END"}), 0);
  EXPECT_STREQ(pgtSolverLengthUnits(h), "cm");
  EXPECT_EQ(pgtNumDomains(h), 3);  // loads add to the tree

  pgtHandle* bare = pgtNew();
  ASSERT_EQ(load(bare, {"FLOW:", "END"}), 0);
  EXPECT_EQ(pgtSolverLengthUnits(bare), nullptr);
  EXPECT_EQ(errorText(bare).rfind("pgtSolverLengthUnits: unable to retrieve solution unit information: ", 0), 0u);
  EXPECT_EQ(pgtNumDomains(bare), 0);
  char** none = pgtDomainHandles(bare);
  ASSERT_NE(none, nullptr);
  EXPECT_EQ(none[0], nullptr);
  pgtFreeDomainHandles(bare, none);
  EXPECT_EQ(pgtDelete(bare), 0);
}

TEST_F(PgtReader, ValueQueriesShareOneReturnedString) {
  const char* first = pgtBoundaryLocation(h, "/FLOW/DOMAIN:Rotor/BOUNDARY:wall");
  EXPECT_EQ(first, h->m_lastReturn);
  const char* second = pgtBoundaryLocation(h, "/FLOW/DOMAIN:Stator/BOUNDARY:wall");
  EXPECT_EQ(second, h->m_lastReturn);
  EXPECT_STREQ(second, "S1 wall");
}

} // namespace
