// The definition-file writer over a hand-built topology (no meshes): the data sets of the whole
// problem, the name map, the region atlas and surface groups, the consistency checks, and a
// rewrite that leaves nothing of an earlier problem.
#include "Assembly.h"
#include "Boundary.h"
#include "DefFile.h"
#include "DefWriter.h"
#include "ExchangeTestSupport.h"
#include "NameManager.h"
#include "Region.h"
#include "Repository.h"
#include "Shell.h"
#include "Topology.h"
#include "zyrCString.h"
#include "zyrMemory.h"
#include "Zone.h"
#include "zyrTopologyLayer.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace {

using zyrtest::RaisedError;
using Lines = std::vector<std::string>;
using Ints = std::vector<int32_t>;

Topology *s_topology = nullptr;
Topology *topologyOf(const Model *) { return s_topology; }
Mesh *noMesh(const Model *) { return nullptr; }

class DefWriterTest : public zyrtest::ErrorCaptureTest {
protected:
  void SetUp() override {
    zyrTopologyLayer_initialise();
    m_repository = Repository_new("writer");
    ASSERT_NE(m_repository, nullptr);
    m_topology = s_topology = Topology_new();
    static const DefWriterModelHooks hooks = {topologyOf, noMesh, nullptr};
    DefWriter_setModelHooks(&hooks);
    m_file = m_dir.path() + "/case.wez";
  }
  void TearDown() override {
    DefWriter_setModelHooks(nullptr);
    Topology_delete(m_topology);
    s_topology = nullptr;
    Repository_close(m_repository, -1);
  }

  Region *volume(Assembly *assembly, const std::string &name, const Lines &surfaces) {
    Region *v = Region_new(m_topology, assembly, name.c_str(), 3);
    Boundary *boundary = Boundary_new();
    Shell *shell = Shell_new();
    for (const std::string &s : surfaces)
      EXPECT_EQ(Shell_addRegion(shell, Region_new(m_topology, assembly, s.c_str(), 2)), 1);
    EXPECT_EQ(Boundary_addShell(boundary, shell), 1);
    EXPECT_EQ(Region_setBoundary(v, boundary), 1);
    return v;
  }

  void physics(const Lines &lines) { ASSERT_TRUE(zyrtest::writeCommands(m_file, lines)); }

  // Builds a writer and writes; the write's result, or -1 when no writer was made.
  int write(int32_t fromDefFile, const char *units = nullptr) {
    return zyrtest::writeDefinition(m_model, m_file, fromDefFile, units);
  }

  Ints ints(const char *what, const char *where = "EVERY") { return zyrtest::definitionInts(m_file, what, where); }

  Lines strings(const char *what, bool io = true, const char *where = "EVERY") {
    DefFile *file = DefFile_new(m_file.c_str());
    char **array = nullptr;
    int32_t n = 0;
    Lines values;
    if (io ? DefFile_readIoStrings(file, what, where, 0, &array, &n) : DefFile_readStrings(file, what, where, 0, &array, &n))
      values.assign(array, array + n);
    if (array != nullptr)
      zyrCStringArray_free(array, uint64_t(n));
    DefFile_delete(file);
    return values;
  }

  bool exists(const char *what, const char *where) {
    DefFile *file = DefFile_new(m_file.c_str());
    int found = DefFile_exists(file, what, where, 0);
    DefFile_delete(file);
    return found == 1;
  }

  zyrtest::ScratchDir m_dir;
  zyrtest::WorkingDir m_here{m_dir.path()};
  Repository *m_repository = nullptr;
  Topology *m_topology = nullptr;
  Model *m_model = reinterpret_cast<Model *>(&m_topology); // only handed to the hooks
  std::string m_file;
};

Lines flow(const Lines &body) {
  Lines lines = {"FLOW:", "  SOLUTION UNITS:", "    Length Units = [m]", "  END"};
  lines.insert(lines.end(), body.begin(), body.end());
  lines.push_back("END");
  return lines;
}

TEST_F(DefWriterTest, OneDomainOneBoundaryInPhysicsMode) {
  volume(Topology_addAssembly(m_topology, "A"), "V", {"wall"});
  const Lines vsn = flow({"  DOMAIN: Fluid", "    Location = V", "    BOUNDARY: walls", "      Location = wall",
                          "    END", "  END"});
  physics(vsn);
  ASSERT_EQ(write(1), 1);

  const Lines names = {"Fluid", "ZN1", "DOMAIN", "ZN", "walls", "BCP1", "BOUNDARY", "BCP"};
  EXPECT_EQ(strings("G/NAMEMAP"), names);
  EXPECT_EQ(strings("G/TOPCAT"), names);
  EXPECT_EQ(strings("G/COMMANDS"), vsn); // the host's physics stays
  DefFile *file = DefFile_new(m_file.c_str());
  int32_t major = 0, minor = 0, point = 0;
  ASSERT_EQ(DefFile_getVersion(file, &major, &minor, &point), 1);
  EXPECT_GE(major * 100 + minor, 600);
  char *unit = nullptr;
  float scale = 0.0f;
  EXPECT_EQ(DefFile_readIoString(file, "G/CGUNIT", "EVERY", 0, &unit), 1);
  EXPECT_STREQ(unit, "m");
  zyrCString_free(unit);
  EXPECT_EQ(DefFile_readFloat(file, "G/GEOSCL", "EVERY", 0, &scale), 1);
  EXPECT_EQ(scale, 1.0f);
  DefFile_delete(file);

  EXPECT_EQ(ints("G/NVL"), (Ints{1}));
  EXPECT_EQ(ints("G/NZIF"), (Ints{0}));
  EXPECT_EQ(ints("G/KSFBCP"), (Ints{1}));
  EXPECT_EQ(ints("G/IPSFBCP"), (Ints{1, 2}));
  EXPECT_EQ(ints("G/KSFFS", "ZN1"), (Ints{1}));
  EXPECT_EQ(ints("G/IPSFFS", "ZN1"), (Ints{1, 2}));
  EXPECT_EQ(strings("G/CLBVL", true, "ZN1"), (Lines{"V"}));
  // Without subdomains no zone gets a subdomain count and no volume-patch lists exist.
  EXPECT_FALSE(exists("G/NVP", "ZN1"));
  EXPECT_FALSE(exists("G/KVLVP", "EVERY"));
  EXPECT_EQ(strings("G/ATLAS/CLBAS", false), (Lines{"A"}));
  EXPECT_EQ(ints("G/ATLAS/KRGAS"), (Ints{1, 1, 0, 0, 1, 1}));
  EXPECT_TRUE(exists("G/ATLAS/PRIMARY", "EVERY"));
  // Physics mode writes no surface groups.
  EXPECT_FALSE(exists("POST/SURFACE_GROUPS", "EVERY"));
  EXPECT_TRUE(held().empty());
}

TEST_F(DefWriterTest, SurfacesGroupedByVolumeAndVolumesByZone) {
  Assembly *a = Topology_addAssembly(m_topology, "A");
  volume(a, "V1", {"s1", "s3"});
  volume(a, "V2", {"s2"});
  physics(flow({"  DOMAIN: D", "    Location = V1, V2", "    BOUNDARY: all", "      Location = s1, s2, s3",
                "    END", "    SUBDOMAIN: second", "      Location = V2", "    END", "  END"}));
  ASSERT_EQ(write(1), 1);
  EXPECT_EQ(ints("G/KVLSF"), (Ints{1, 2, 1}));
  EXPECT_EQ(ints("G/KSFVL"), (Ints{1, 3, 2}));
  EXPECT_EQ(ints("G/IPSFVL"), (Ints{1, 3, 4}));
  EXPECT_EQ(ints("G/KIDSF"), (Ints{1, 2, 3}));
  EXPECT_EQ(ints("G/KSFSF"), (Ints{0, 0, 0}));
  EXPECT_EQ(ints("G/KZNVL"), (Ints{1, 1}));
  EXPECT_EQ(ints("G/KVLZN"), (Ints{1, 2}));
  EXPECT_EQ(ints("G/IPVLZN"), (Ints{1, 3}));
  EXPECT_EQ(ints("G/KVLVP"), (Ints{2}));
  EXPECT_EQ(ints("G/IPVLVP"), (Ints{1, 2}));
  // In the zone, volume-patch lists hold local positions in the domain's volume list.
  EXPECT_EQ(ints("G/NVP", "ZN1"), (Ints{1}));
  EXPECT_EQ(ints("G/KVLVP", "ZN1"), (Ints{2}));
  EXPECT_EQ(ints("G/ATLAS/KRGAS"), (Ints{2, 3, 0, 0, 1, 2, 1, 2, 3}));
}

// The counting sort against the scan it replaces: every volume in turn, surfaces ascending.
TEST(DefWriterGrouping, CountingSortEqualsPerVolumeScan) {
  std::mt19937 random(7);
  for (int round = 0; round < 200; ++round) {
    const int32_t nvl = int32_t(random() % 12), nsf = int32_t(random() % 40);
    Ints volumeOf(static_cast<size_t>(nsf));
    for (int32_t &v : volumeOf)
      v = int32_t(random() % (nvl + 3)) - 1; // some outside 1..nvl
    Ints expected, expectedIp{1};
    for (int32_t v = 1; v <= nvl; ++v) {
      for (int32_t s = 0; s < nsf; ++s)
        if (volumeOf[static_cast<size_t>(s)] == v)
          expected.push_back(s + 1);
      expectedIp.push_back(int32_t(expected.size()) + 1);
    }
    Ints grouped(static_cast<size_t>(nsf), -7), ip(static_cast<size_t>(nvl) + 1);
    DefWriter_groupSurfacesByVolume(nvl, nsf, volumeOf.data(), grouped.data(), ip.data());
    grouped.resize(static_cast<size_t>(ip.back() - 1));
    ASSERT_EQ(grouped, expected) << "round " << round;
    ASSERT_EQ(ip, expectedIp) << "round " << round;
  }
}

TEST(DefWriterLines, LastLineIsKeptWithoutNewline) {
  auto split = [](const char *text) {
    char **lines = nullptr;
    int32_t n = DefWriter_splitLines(text, &lines);
    Lines result(lines, lines + n);
    if (lines != nullptr)
      zyrCStringArray_free(lines, uint64_t(n));
    return result;
  };
  EXPECT_EQ(split("REGION MAP: a\nEND"), (Lines{"REGION MAP: a", "END"}));
  EXPECT_EQ(split("a\n\nb\n"), (Lines{"a", "", "b"}));
  EXPECT_EQ(split(""), Lines{});
}

TEST_F(DefWriterTest, AllOffencesGoIntoOneErrorInKindOrder) {
  Assembly *a = Topology_addAssembly(m_topology, "A");
  volume(a, "V1", {"a", "b", "c"});
  volume(a, "V2", {"d"});
  physics(flow({"  DOMAIN: D1", "    Location = V1", "    SUBDOMAIN: S", "      Location = V2", "    END",
                "    BOUNDARY: B1", "      Location = d", "    END", "    BOUNDARY: B2", "      Location = b, c",
                "    END", "    BOUNDARY: B3", "      Location = b", "    END", "  END"}));
  EXPECT_EQ(write(1), -1);
  EXPECT_EQ(published().back(),
            (RaisedError{10041, "Subdomains contain regions that do not appear in any domain.\n\n"
                                "Subdomain \"S\" contains region \"V2\".\n"
                                "\nBoundaries contain regions that do not appear in any domain boundary.\n\n"
                                "Boundary \"B1\" contains region \"d\".\n"
                                "\nThere are 2D regions that bound domains and have no boundary\n"
                                "conditions set on them. There are no boundary conditions on:\n\n"
                                "Region \"a\" which bounds domain \"D1\".\n"
                                "\nThere are 2D regions that are used in more than one boundary condition.\n"
                                "\nRegion \"b\" appears in boundaries:\n\"B2\".\n\"B3\".\n"}));
}

// A subdomain or boundary holding a region of another domain than its own stops the write.
TEST_F(DefWriterTest, RegionOfAnotherDomainInASubdomainOrBoundaryStopsTheWrite) {
  Assembly *a = Topology_addAssembly(m_topology, "A");
  volume(a, "V1", {"a"});
  volume(a, "V2", {"b"});
  const Lines domains = {"  DOMAIN: D2", "    Location = V2", "    BOUNDARY: B2", "      Location = b", "    END", "  END"};
  Lines subdomain = {"  DOMAIN: D1", "    Location = V1", "    SUBDOMAIN: S", "      Location = V2", "    END",
                     "    BOUNDARY: B1", "      Location = a", "    END", "  END"};
  subdomain.insert(subdomain.end(), domains.begin(), domains.end());
  physics(flow(subdomain));
  EXPECT_EQ(write(1), 0);
  EXPECT_EQ(published().back(),
            (RaisedError{10041, "There is an inconsistency in the problem definition. The subdomain \"S\"\n"
                                "contains a region \"V2\" that is part of domain \"D2\" rather than\n"
                                "the subdomain's parent domain \"D1\".\n"}));

  physics(flow({"  DOMAIN: D1", "    Location = V1", "    BOUNDARY: B1", "      Location = a, b", "    END", "  END",
                "  DOMAIN: D2", "    Location = V2", "  END"}));
  EXPECT_EQ(write(1), 0);
  EXPECT_EQ(published().back(),
            (RaisedError{10041, "There is an inconsistency in the problem definition. The boundary \"B1\"\n"
                                "contains a region \"b\" that is part of domain \"D2\" rather than\n"
                                "the boundary's parent domain \"D1\".\n"}));
}

TEST_F(DefWriterTest, ModelWithoutVolumesIsRefused) {
  Assembly *a = Topology_addAssembly(m_topology, "A");
  Region_new(m_topology, a, "sheet", 2);
  EXPECT_EQ(write(0, "m"), -1);
  EXPECT_EQ(published().back(), (RaisedError{10042, "The current model does not contain any 3D regions.\n"}));
}

TEST_F(DefWriterTest, MeshOnlyModeWritesBlankPhysicsAndSurfaceGroups) {
  Assembly *a = Topology_addAssembly(m_topology, "A");
  volume(a, "V1", {"in", "out"});
  NameManager *nm = Topology_getNameManager(m_topology);
  const char *members[] = {"V1"};
  ASSERT_EQ(NameManager_createCompositeName(nm, "inside", 1, 1, members, 0, nullptr), 1);
  ASSERT_EQ(write(0, "mm"), 1);
  EXPECT_EQ(strings("G/COMMANDS"), (Lines{""}));
  EXPECT_EQ(strings("POST/SURFACE_GROUPS"),
            (Lines{"SURFACE GROUP: inside", "  Location List = in, out", "  Visibility = Off", "END"}));
  // The pseudo map: the assembly is the domain, its volume a subdomain, each surface a boundary.
  EXPECT_EQ(strings("G/NAMEMAP"), (Lines{"A", "ZN1", "DOMAIN", "ZN", "in", "BCP1", "BOUNDARY", "BCP", "out",
                                         "BCP2", "BOUNDARY", "BCP", "V1", "VP1", "SUBDOMAIN", "VP"}));
}

TEST_F(DefWriterTest, RewriteLeavesNothingOfAnEarlierProblem) {
  volume(Topology_addAssembly(m_topology, "A"), "V", {"wall"});
  physics(flow({"  DOMAIN: Fluid", "    Location = V", "    BOUNDARY: walls", "      Location = wall", "    END",
                "  END"}));
  {
    DefFile *file = DefFile_new(m_file.c_str());
    const int32_t one[] = {1};
    ASSERT_EQ(DefFile_writeIntArray(file, "G/KVXPE", "ZN3/ES1", 0, one, 1, 0), 1);
    ASSERT_EQ(DefFile_writeInt(file, "G/NFCZIF", "ZIF1", 0, 4), 1);
    ASSERT_EQ(DefFile_writeInt(file, "M/MESHTOCAD/NCB", "EVERY", 0, 2), 1);
    ASSERT_EQ(DefFile_writeIntArray(file, "G/KVLVP", "EVERY", 0, one, 1, 0), 1);
    ASSERT_EQ(DefFile_writeInt(file, "G/HOSTDATA", "EVERY", 0, 9), 1);
    DefFile_delete(file);
  }
  ASSERT_EQ(write(1), 1);
  EXPECT_FALSE(exists("G/KVXPE", "ZN3/ES1"));
  EXPECT_FALSE(exists("G/NFCZIF", "ZIF1"));
  EXPECT_FALSE(exists("M/MESHTOCAD/NCB", "EVERY"));
  EXPECT_FALSE(exists("G/KVLVP", "EVERY"));
  EXPECT_EQ(ints("G/HOSTDATA"), (Ints{9}));
  EXPECT_EQ(ints("G/NZN"), (Ints{1}));
}

TEST_F(DefWriterTest, InterfaceThatCannotBeWrittenStopsTheWrite) {
  Assembly *a = Topology_addAssembly(m_topology, "A");
  volume(a, "L", {"l out", "l wall"});
  volume(a, "R", {"r in", "r wall"});
  physics(flow({"  DOMAIN: Left", "    Location = L", "    BOUNDARY: lo", "      Location = l out", "    END",
                "    BOUNDARY: lw", "      Location = l wall", "    END", "  END", "  DOMAIN: Right",
                "    Location = R", "    BOUNDARY: ri", "      Location = r in", "    END", "    BOUNDARY: rw",
                "      Location = r wall", "    END", "  END", "  DOMAIN INTERFACE: join",
                "    Boundary List1 = lo", "    Boundary List2 = ri", "  END"}));
  EXPECT_EQ(write(1), 0);
  EXPECT_EQ(published().back().code, 20006);
  EXPECT_EQ(ints("G/NZIF"), (Ints{1}));
  EXPECT_EQ(strings("G/NAMEMAP").back(), "ZIF");
}

TEST_F(DefWriterTest, FileThatCannotBeOpenedFailsConstruction) {
  volume(Topology_addAssembly(m_topology, "A"), "V", {"wall"});
  m_file = m_dir.path() + "/missing/case.wez";
  EXPECT_EQ(write(0, "m"), -1);
  ASSERT_FALSE(published().empty());
  EXPECT_FALSE(zyrtest::fileExists(m_file));
}

TEST_F(DefWriterTest, UnreadablePhysicsNamesTheFile) {
  volume(Topology_addAssembly(m_topology, "A"), "V", {"wall"});
  EXPECT_EQ(write(1), -1);
  EXPECT_EQ(published().back().code, 10041);
  EXPECT_NE(published().back().message.find("the file \"" + m_file + "\". This could be because:"), std::string::npos);
}

TEST(DefWriterMatching, FlagsSwitchMatchingPerInterfaceType) {
  int use = 0, match = 0;
  DefWriter_getMatching(8, 0, &use, &match);
  EXPECT_EQ(use * 10 + match, 10);
  DefWriter_getMatching(4, 1, &use, &match);
  EXPECT_EQ(use * 10 + match, 10);
  DefWriter_getMatching(8 | 4, 2, &use, &match);
  EXPECT_EQ(use * 10 + match, 11);
  DefWriter_getMatching(1 | 2, 2, &use, &match);
  EXPECT_EQ(use * 10 + match, 0);
  DefWriter_getMatching(15, 7, &use, &match);
  EXPECT_EQ(use * 10 + match, 11);
}

} // namespace

namespace {

TEST(ZoneExtents, DistancesAndTheEmptyZone) {
  const double xyz[] = {3.0, 4.0, 0.0, -1.0, 0.0, 0.0, 0.0, -2.0, 12.0};
  double lo[3], hi[3], nearest = 0.0, farthest = 0.0;
  Zone_getExtents(3, xyz, lo, hi, &nearest, &farthest);
  EXPECT_EQ(std::vector<double>(lo, lo + 3), (std::vector<double>{-1.0, -2.0, 0.0}));
  EXPECT_EQ(std::vector<double>(hi, hi + 3), (std::vector<double>{3.0, 4.0, 12.0}));
  EXPECT_DOUBLE_EQ(nearest, 1.0);
  EXPECT_DOUBLE_EQ(farthest, std::sqrt(148.0));
  // No vertex: minima from the largest double, maxima from its negative.
  Zone_getExtents(0, nullptr, lo, hi, &nearest, &farthest);
  EXPECT_EQ(lo[0], DBL_MAX);
  EXPECT_EQ(hi[2], -DBL_MAX);
}

} // namespace
