// A translational-periodic interface between the bottom and the top of one block of hexahedra:
// matched through the periodic translation, within one zone, so its vertex pairs are written too.
#include "DefFile.h"
#include "DefWriter.h"
#include "DefWriterInternal.h"
#include "ImportTestSupport.h"
#include "ImportedMesh.h"
#include "Mesh.h"
#include "Zone.h"
#include "ZoneInterface.h"
#include "ZoneMapTestSupport.h"
#include "vsnInterface.h"
#include "zyrImportFixtures.h"
#include "zyrMemory.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

using Ints = std::vector<int32_t>;

Topology *writerTopology(const Model *model) { return reinterpret_cast<const ImportTestModel *>(model)->m_topology; }
Mesh *writerMesh(const Model *model) { return reinterpret_cast<const ImportTestModel *>(model)->m_mesh; }

class PeriodicInterfaceTest : public ImportTest {
protected:
  static const int32_t kCells = 3, kLayers = 2, kRow = kCells + 1, kPlane = kRow * kRow;

  // m x m x 2 hexahedra of 1 cm; the top's faces come in reverse order.
  void block() { zyrtest::makePeriodicBlock(m_model.m_topology, m_model.m_mesh, kCells, true); }

  int write(const std::string &option) {
    commands(option);
    return zyrtest::writeDefinition(model(), m_file, 1);
  }

  // The physics written into the file, and the writer's hooks set.
  void commands(const std::string &option) {
    const std::vector<std::string> lines = zyrtest::periodicPhysics(option);
    m_file = m_dir->file("periodic.def");
    EXPECT_TRUE(zyrtest::writeCommands(m_file, lines));
    static const DefWriterModelHooks hooks = {writerTopology, writerMesh, nullptr};
    DefWriter_setModelHooks(&hooks);
  }

  Ints ints(const char *what, const char *where) { return zyrtest::definitionInts(m_file, what, where); }

  std::string m_file;
};

TEST_F(PeriodicInterfaceTest, TranslationalPeriodicSidesMatchAndPairEveryVertexOnce) {
  block();
  ASSERT_EQ(write("Translational Periodicity"), 1) << testing::PrintToString(held());
  EXPECT_EQ(ints("G/KZNZIF", "EVERY"), (Ints{1})); // both sides in zone 1, once
  EXPECT_EQ(ints("G/NFCZIF", "ZIF1"), (Ints{kCells * kCells}));
  // Zone vertices are the block's vertices from 1: bottom vertex v pairs with v + 2 planes.
  Ints expected;
  for (int32_t v = 1; v <= kPlane; ++v)
    expected.insert(expected.end(), {v, v + kLayers * kPlane});
  EXPECT_EQ(ints("G/NVXZIF", "ZIF1"), (Ints{kPlane}));
  EXPECT_EQ(ints("G/KZVXZVX", "ZIF1"), expected);
  // Every face pair joins a bottom face to the top face above it, vertex by vertex.
  const Ints records = ints("G/KZFCZFC", "ZIF1");
  ASSERT_EQ(records.size(), size_t(12 * kCells * kCells));
  for (size_t r = 0; r < records.size(); r += 12)
    for (int k = 0; k < 4; ++k)
      EXPECT_EQ(records[r + 8 + size_t(k)], records[r + 4 + size_t(k)] + kLayers * kPlane);
  // The top was rewritten in the bottom's face order: its face numbers follow the records.
  const Ints top = ints("G/KFCPF", "ZN1/FS2");
  ASSERT_EQ(top.size(), size_t(kCells * kCells));
  for (size_t k = 0; k < top.size(); ++k)
    EXPECT_EQ(records[12 * k + 3], top[k]);
}

TEST_F(PeriodicInterfaceTest, WithoutPeriodicityTheDistantSidesDoNotMatch) {
  block();
  EXPECT_EQ(write("General"), 0);
  ASSERT_EQ(published().size(), 1u);
  EXPECT_EQ(published()[0].code, 10041);
  EXPECT_TRUE(ints("G/NSFZIF", "ZIF1").empty());
  EXPECT_EQ(ints("G/KBCPZIF", "ZIF1"), (Ints{1, 2}));
}

// The writer, a zone and the zone interface between the block's two sides, made as a write makes
// them, print what they hold (volumes by their user names: the assembly has the name "Block").
TEST_F(PeriodicInterfaceTest, WriterZoneAndZoneInterfacePrintWhatTheyHold) {
  block();
  commands("Translational Periodicity");
  DefWriter *made = DefWriter_new(model(), m_file.c_str(), 0, 1, nullptr, 0.005);
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(DefWriter_inWrite(), 0);
  const std::vector<std::string> writerLines =
      zyrtest::splitLines(zyrtest::printed([&](FILE *s) { DefWriter_print(made, s); }));
  ASSERT_GE(writerLines.size(), 9u);
  EXPECT_EQ(std::vector<std::string>(writerLines.begin(), writerLines.begin() + 9),
            (std::vector<std::string>{"DefWriter:", "  m_noOfDomains    = 1", "  m_noOfSubdomains = 0",
                                      "  m_noOfBoundaries = 2", "  m_noOfInterfaces = 1", "  m_noOfVolumes    = 1",
                                      "    1 \"Block 2\"", "  m_noOfSurfaces   = 2", "    1 \"bottom\""}));
  EXPECT_NE(std::find(writerLines.begin(), writerLines.end(), "  m_file           = " + m_file), writerLines.end());

  Mesh *mesh = m_model.m_mesh;
  Zone *zones[2] = {nullptr, Zone_new(mesh, made->m_domains[0], made->m_labelling)};
  ASSERT_NE(zones[1], nullptr);
  const std::string zoneText = zyrtest::printed([&](FILE *s) { Zone_print(zones[1], s); });
  EXPECT_NE(zoneText.find("Zone 1\n"), std::string::npos) << zoneText;
  EXPECT_NE(zoneText.find("Domain    = \"Block\"\n"), std::string::npos) << zoneText;
  EXPECT_NE(zoneText.find("No. of element meshes = 1\n"), std::string::npos) << zoneText;
  EXPECT_NE(zoneText.find("No. of face meshes    = 2\n"), std::string::npos) << zoneText;
  EXPECT_NE(zoneText.find("No. of interface maps = 0\n"), std::string::npos) << zoneText;

  int useExisting = 0, matchNew = 0;
  DefWriter_getMatching(0, vsnInterface_getType(made->m_interfaces[0]), &useExisting, &matchNew);
  ZoneInterface *zi =
      ZoneInterface_new(mesh, made->m_interfaces[0], useExisting, matchNew, 0.005, made->m_labelling, zones);
  ASSERT_NE(zi, nullptr);
  EXPECT_EQ(ZoneInterface_getNoOfMatchedMeshes(zi), 1);
  const std::vector<std::string> ziLines =
      zyrtest::splitLines(zyrtest::printed([&](FILE *s) { ZoneInterface_print(zi, s); }));
  auto has = [&](const std::string &line) { return std::find(ziLines.begin(), ziLines.end(), line) != ziLines.end(); };
  EXPECT_TRUE(has("ZoneInterface 1"));
  EXPECT_TRUE(has("No of matched meshes   = 1"));
  EXPECT_TRUE(has("No of matched faces                         = " + std::to_string(kCells * kCells)));
  EXPECT_TRUE(has("No of matched vertices (without duplicates) = " + std::to_string(kPlane)));
  EXPECT_TRUE(has("     0      1            9           16   bottom"));
  EXPECT_TRUE(has("     1      1            9           16   top"));
  ZoneInterface_delete(zi);
  Zone_delete(zones[1]);
  DefWriter_delete(made);
}

} // namespace
