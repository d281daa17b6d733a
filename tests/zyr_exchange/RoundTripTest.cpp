// The round trip: a mesh imported through the mesh reader, written as a definition file and read
// back directly gives the same regions, counts and connections; so does a second trip.
#include "Connection.h"
#include "DefFile.h"
#include "DefWriter.h"
#include "ElementMesh.h"
#include "ElementTopology.h"
#include "FaceMesh.h"
#include "FaceSet.h"
#include "ImportTestSupport.h"
#include "ImportedMesh.h"
#include "InterfaceMap.h"
#include "Mesh.h"
#include "NameManager.h"
#include "Region.h"
#include "Repository.h"
#include "Representation.h"
#include "Topology.h"
#include "zyrCString.h"
#include "zyrMemory.h"
#include "zyrStateManager.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iostream>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

Topology *writerTopology(const Model *model) { return reinterpret_cast<const ImportTestModel *>(model)->m_topology; }
Mesh *writerMesh(const Model *model) { return reinterpret_cast<const ImportTestModel *>(model)->m_mesh; }

// What must survive a trip: regions with their mesh sizes, and connections with their maps.
struct Snapshot {
  std::map<std::string, std::pair<int32_t, int32_t>> m_volumes; // name -> (elements, vertices)
  std::map<std::string, int32_t> m_surfaces;                    // name -> faces
  std::set<std::pair<std::string, std::string>> m_connections;  // with an interface map
  std::set<std::pair<std::string, std::string>> m_unmapped;     // without one
  std::set<std::string> m_assemblies;
  bool operator==(const Snapshot &o) const {
    return m_volumes == o.m_volumes && m_surfaces == o.m_surfaces && m_connections == o.m_connections &&
           m_unmapped == o.m_unmapped;
  }
};

void PrintTo(const Snapshot &s, std::ostream *os) {
  for (const auto &v : s.m_volumes)
    *os << "\n  volume " << v.first << " " << v.second.first << " elements";
  for (const auto &f : s.m_surfaces)
    *os << "\n  surface " << f.first << " " << f.second << " faces";
  for (const auto &c : s.m_connections)
    *os << "\n  mapped " << c.first << " <-> " << c.second;
  for (const auto &c : s.m_unmapped)
    *os << "\n  unmapped " << c.first << " <-> " << c.second;
}

class RoundTripTest : public ImportTest, public testing::WithParamInterface<std::string> {
protected:
  Snapshot snapshot() {
    Snapshot s;
    Region **regions = nullptr;
    const int32_t n = Topology_getRegions(m_model.m_topology, 12, &regions);
    for (int32_t i = 0; i < n; ++i) {
      Region *region = regions[i];
      if (Region_getDimensionality(region) == 3) {
        ElementMesh *em = Mesh_getElementMesh(m_model.m_mesh, region);
        int32_t counts[8] = {0}, total = 0;
        if (em != nullptr)
          ElementMesh_getNoOfElementsByType(em, counts);
        for (int32_t c : counts)
          total += c;
        s.m_volumes[Region_getName(region)] = {total, em != nullptr ? ElementMesh_getNoOfVertices(em) : -1};
      } else {
        FaceMesh *fm = Mesh_getFaceMesh(m_model.m_mesh, region);
        s.m_surfaces[Region_getName(region)] = fm != nullptr ? FaceMesh_getNoOfFaces(fm) : -1;
      }
    }
    zyrMemory_free(regions, "test");
    Connection **connections = nullptr;
    const int32_t nc = Topology_getConnections(m_model.m_topology, &connections);
    for (int32_t i = 0; i < nc; ++i) {
      Region *a = nullptr, *b = nullptr;
      Connection_getSides(connections[i], &a, &b);
      std::pair<std::string, std::string> names(Region_getName(a), Region_getName(b));
      if (names.second < names.first)
        std::swap(names.first, names.second);
      (Mesh_getInterfaceMap(m_model.m_mesh, connections[i]) != nullptr ? s.m_connections : s.m_unmapped).insert(names);
    }
    zyrMemory_free(connections, "test");
    return s;
  }

  // A mesh-only definition file of the current model; the write's result.
  int writeDef(const std::string &file) {
    static const DefWriterModelHooks hooks = {writerTopology, writerMesh, nullptr};
    DefWriter_setModelHooks(&hooks);
    return zyrtest::writeDefinition(model(), file, 0, "m");
  }

  // Imports the file directly into a fresh model.
  bool importDirect(const std::string &file) {
    freshModel();
    ImportedMesh *im = import("ZYR_DIRECT", file);
    ImportedMesh_delete(im);
    return im != nullptr;
  }
};

TEST_P(RoundTripTest, ImportExportAndReimportKeepRegionsCountsAndConnections) {
  useReader(zyrtest::toolsDir() + "/kelvo/Kelvo.exe");
  ImportedMesh *im = import("Msh", std::string(ZYR_SOURCE_DIR) + "/tests/data/meshes/" + GetParam());
  ASSERT_NE(im, nullptr) << testing::PrintToString(held());
  ImportedMesh_delete(im);
  const Snapshot imported = snapshot();
  ASSERT_FALSE(imported.m_volumes.empty());
  if (GetParam().rfind("two-blocks", 0) == 0)
    EXPECT_EQ(imported.m_connections.size(), 1u); // the shared face pair

  const std::string first = m_dir->file("first.def");
  ASSERT_EQ(writeDef(first), 1) << testing::PrintToString(held());
  ASSERT_TRUE(importDirect(first)) << testing::PrintToString(held());
  EXPECT_EQ(snapshot(), imported);

  const std::string second = m_dir->file("second.def");
  ASSERT_EQ(writeDef(second), 1) << testing::PrintToString(held());
  ASSERT_TRUE(importDirect(second)) << testing::PrintToString(held());
  EXPECT_EQ(snapshot(), imported);
}

INSTANTIATE_TEST_SUITE_P(GmshMeshes, RoundTripTest,
                         testing::Values("box-hex.v2.msh", "box-hex.v4.msh", "box-tet.v2.msh", "box-tet.v4.msh",
                                         "mixed.v2.msh", "mixed.v4.msh", "two-blocks.v2.msh", "two-blocks.v4.msh"),
                         [](const testing::TestParamInfo<std::string> &info) {
                           std::string name = info.param.substr(0, info.param.rfind('.'));
                           for (char &c : name)
                             if (c == '-' || c == '.')
                               c = '_';
                           return name;
                         });

} // namespace

namespace {

using Lines = std::vector<std::string>;
using Ints = std::vector<int32_t>;

// The two blocks as two domains joined at their shared faces.
class ZoneInterfaceTest : public RoundTripTest {
protected:
  void SetUp() override {
    RoundTripTest::SetUp();
    useReader(zyrtest::toolsDir() + "/kelvo/Kelvo.exe");
    ImportedMesh *im = import("Msh", std::string(ZYR_SOURCE_DIR) + "/tests/data/meshes/two-blocks.v2.msh");
    ASSERT_NE(im, nullptr) << testing::PrintToString(held());
    ImportedMesh_delete(im);
    Connection **connections = nullptr;
    ASSERT_EQ(Topology_getConnections(m_model.m_topology, &connections), 1);
    Region *a = nullptr, *b = nullptr;
    Connection_getSides(connections[0], &a, &b);
    zyrMemory_free(connections, "test");
    // Side names by the volume each bounds.
    const bool aLeft = std::string(Region_getName(Region_getBoundedRegion(a))) == "Left";
    m_left = Region_getName(aLeft ? a : b);
    m_right = Region_getName(aLeft ? b : a);
    m_file = m_dir->file("case.def");
  }

  // Writes the physics text, then the definition file from it; the write's result.
  int writePhysics(const Lines &interfaces) {
    Lines vsn = {"FLOW:",
                 "  SOLUTION UNITS:",
                 "    Length Units = [m]",
                 "  END",
                 "  DOMAIN: Left",
                 "    Location = " + m_leftVolume,
                 "    BOUNDARY: l side",
                 "      Location = " + m_left,
                 "    END",
                 "    BOUNDARY: l walls",
                 "      Location = " + m_leftWalls,
                 "    END",
                 "  END",
                 "  DOMAIN: Right",
                 "    Location = " + m_rightVolume,
                 "    BOUNDARY: r side",
                 "      Location = " + m_right,
                 "    END",
                 "    BOUNDARY: r walls",
                 "      Location = " + m_rightWalls,
                 "    END",
                 "  END"};
    vsn.insert(vsn.end(), interfaces.begin(), interfaces.end());
    vsn.push_back("END");
    EXPECT_TRUE(zyrtest::writeCommands(m_file, vsn));
    static const DefWriterModelHooks hooks = {writerTopology, writerMesh, nullptr};
    DefWriter_setModelHooks(&hooks);
    return zyrtest::writeDefinition(model(), m_file, 1);
  }

  Ints ints(const char *what, const char *where) { return zyrtest::definitionInts(m_file, what, where); }

  static Lines join(const std::string &name, const std::string &list1, const std::string &list2,
                    const std::string &option = "Direct") {
    return {"  DOMAIN INTERFACE: " + name,
            "    Boundary List1 = " + list1,
            "    Boundary List2 = " + list2,
            "    Interface Type = Fluid Fluid",
            "    INTERFACE MODELS:",
            "      Option = General",
            "    END",
            "    MESH CONNECTION:",
            "      Option = " + option,
            "    END",
            "  END"};
  }

  std::string m_left, m_right, m_file;
  std::string m_leftVolume = "Left", m_rightVolume = "Right", m_leftWalls = "left walls", m_rightWalls = "right walls";
};

TEST_F(ZoneInterfaceTest, DirectInterfaceWritesItsFacePairsAndReadsBackAsMatchedMesh) {
  const Snapshot before = snapshot();
  ASSERT_EQ(writePhysics(join("Join", "l side", "r side")), 1) << testing::PrintToString(held());

  // Boundaries: Left's two, then Right's two, by name: l side 1, l walls 2, r side 3, r walls 4.
  EXPECT_EQ(ints("G/KBCPZIF", "ZIF1"), (Ints{1, 3}));
  EXPECT_EQ(ints("G/IPBCPZIF", "ZIF1"), (Ints{1, 2, 3}));
  EXPECT_EQ(ints("G/NSFZIF", "ZIF1"), (Ints{1}));
  const Ints records = ints("G/KZFCZFC", "ZIF1");
  const Ints count = ints("G/NFCZIF", "ZIF1");
  ASSERT_EQ(count.size(), 1u);
  ASSERT_EQ(records.size(), 12u * size_t(count[0]));
  EXPECT_EQ(count[0], before.m_surfaces.at(m_left));
  for (size_t r = 0; r < records.size(); r += 12) {
    EXPECT_EQ(records[r], 1); // Left is zone 1
    EXPECT_EQ(records[r + 1], 2);
    EXPECT_EQ(records[r + 7], 0); // triangles: no fourth vertex on either side
    EXPECT_EQ(records[r + 11], 0);
  }
  EXPECT_EQ(ints("G/KZNZIF", "EVERY"), (Ints{1, 2}));
  EXPECT_EQ(ints("G/IPZNZIF", "EVERY"), (Ints{1, 3}));
  // Two different zones, not periodic: no vertex pairs.
  EXPECT_TRUE(ints("G/NVXZIF", "ZIF1").empty());

  // The face pairs carry the match back: the connection gets its map without geometry.
  ASSERT_TRUE(importDirect(m_file)) << testing::PrintToString(held());
  const Snapshot after = snapshot();
  EXPECT_EQ(after.m_connections.size(), 1u);
  EXPECT_EQ(after.m_surfaces, before.m_surfaces);
  EXPECT_EQ(after.m_volumes, before.m_volumes);
}

TEST_F(ZoneInterfaceTest, SideOneInTheLowerZoneIsListedFirst) {
  ASSERT_EQ(writePhysics(join("Join", "r side", "l side")), 1) << testing::PrintToString(held());
  EXPECT_EQ(ints("G/KBCPZIF", "ZIF1"), (Ints{3, 1}));
  const Ints surfaces = ints("G/KZSFZSF", "ZIF1");
  ASSERT_EQ(surfaces.size(), 2u);
  const Ints records = ints("G/KZFCZFC", "ZIF1");
  ASSERT_FALSE(records.empty());
  EXPECT_EQ(records[0], 1);
  EXPECT_EQ(records[1], 2);
  // The same pairs as with the sides the other way round.
  const Ints swapped = records;
  ASSERT_EQ(writePhysics(join("Join", "l side", "r side")), 1);
  EXPECT_EQ(ints("G/KZSFZSF", "ZIF1"), surfaces);
  EXPECT_EQ(ints("G/KZFCZFC", "ZIF1"), swapped);
}

TEST_F(ZoneInterfaceTest, UnmatchedMatchedInterfaceIsReportedAfterEverythingIsWritten) {
  ASSERT_EQ(writePhysics({join("Walls", "l walls", "r walls")}), 0);
  EXPECT_EQ(published(),
            (std::vector<zyrtest::RaisedError>{
                {10041, "A one-to-one mesh matching could not be identified on one or more domain interface that "
                        "was specified as having one. The problem interfaces are:\n\nWalls\n"}}));
  EXPECT_EQ(ints("G/IPBCPZIF", "ZIF1"), (Ints{1, 2, 3}));
  EXPECT_TRUE(ints("G/NSFZIF", "ZIF1").empty());
  EXPECT_EQ(ints("G/KZNZIF", "EVERY"), (Ints{1, 2}));
}

} // namespace

namespace {

// Definition files written from a real mesh and then altered the way older releases or other
// writers leave them.
class DirectImportTest : public RoundTripTest {
protected:
  void written(const std::string &mesh) {
    useReader(zyrtest::toolsDir() + "/kelvo/Kelvo.exe");
    ImportedMesh *im = import("Msh", std::string(ZYR_SOURCE_DIR) + "/tests/data/meshes/" + mesh);
    ASSERT_NE(im, nullptr) << testing::PrintToString(held());
    ImportedMesh_delete(im);
    m_original = snapshot();
    m_file = m_dir->file("case.def");
    ASSERT_EQ(writeDef(m_file), 1) << testing::PrintToString(held());
    zyrtest::ErrorCapture::clear();
  }

  template <class Edit> void edit(Edit change) {
    DefFile *file = DefFile_new(m_file.c_str());
    ASSERT_NE(file, nullptr);
    change(file);
    DefFile_delete(file);
  }

  void release(const char *text) {
    edit([&](DefFile *file) {
      char buffer[100] = {0};
      strncpy(buffer, text, sizeof buffer - 1);
      EXPECT_EQ(DefFile_writeCharArray(file, "G/CRELNO", "EVERY", 0, buffer, 100), 1);
    });
  }

  // Moves a data set from one location to another.
  void move(const char *what, const char *from, const char *to, bool strings) {
    edit([&](DefFile *file) {
      if (strings) {
        char **array = nullptr;
        int32_t n = 0;
        ASSERT_EQ(DefFile_readIoStrings(file, what, from, 0, &array, &n), 1) << what;
        EXPECT_EQ(DefFile_writeIoStringArray(file, what, to, 0, array, n), 1);
        zyrCStringArray_free(array, uint64_t(n));
      } else {
        int32_t *array = nullptr, n = 0;
        ASSERT_EQ(DefFile_readInts(file, what, from, 0, &array, &n), 1) << what;
        if (n == 1)
          EXPECT_EQ(DefFile_writeInt(file, what, to, 0, array[0]), 1);
        else
          EXPECT_EQ(DefFile_writeIntArray(file, what, to, 0, array, n, 0), 1);
        zyrMemory_free(array, "test");
      }
      EXPECT_EQ(DefFile_erase(file, what, from, 0), 1);
    });
  }

  Ints ints(const char *what, const char *where) { return zyrtest::definitionInts(m_file, what, where); }

  // The first vertex of the first volume in metres.
  std::vector<double> firstVertex() {
    Region **regions = nullptr;
    const int32_t n = Topology_getRegions(m_model.m_topology, 8, &regions);
    std::vector<double> point;
    if (n > 0) {
      ElementMesh *em = Mesh_getElementMesh(m_model.m_mesh, regions[0]);
      double *xyz = nullptr;
      if (em != nullptr && ElementMesh_getVertexCoordinates(em, "m", 0, nullptr, &xyz) > 0)
        point.assign(xyz, xyz + 3);
      zyrMemory_free(xyz, "test");
    }
    zyrMemory_free(regions, "test");
    return point;
  }

  Snapshot m_original;
  std::string m_file;
};

TEST_F(DirectImportTest, OlderReleasesAreDeclinedWithoutAnError) {
  written("two-blocks.v2.msh"); // its surfaces are connected
  struct Case {
    const char *release;
    bool accepted;
  };
  for (const Case &c : {Case{"5.3 (2001.01.01-00.00) [ZYR]", false}, Case{"4.9", false}, Case{"1.9", false},
                        Case{"5.4.0", false}, Case{"5.4.1", true}, Case{"6.0 (x)", true}}) {
    release(c.release);
    zyrtest::ErrorCapture::clear();
    EXPECT_EQ(importDirect(m_file), c.accepted) << c.release << testing::PrintToString(held());
    if (!c.accepted)
      EXPECT_TRUE(held().empty()) << c.release << testing::PrintToString(held());
  }
  // Without a release text a one-zone file has no known version and is read.
  edit([](DefFile *file) { EXPECT_EQ(DefFile_erase(file, "G/CRELNO", "EVERY", 0), 1); });
  EXPECT_TRUE(importDirect(m_file));
}

TEST_F(DirectImportTest, Release540IsReadWhenNoSurfacesAreConnected) {
  written("box-hex.v2.msh");
  release("5.4.0");
  EXPECT_TRUE(importDirect(m_file)) << testing::PrintToString(held());
  EXPECT_EQ(snapshot(), m_original);
}

TEST_F(DirectImportTest, FileWithoutZoneVerticesIsNotAMesh) {
  written("box-hex.v2.msh");
  edit([](DefFile *file) { EXPECT_EQ(DefFile_erase(file, "G/NVX", "ZN1", 0), 1); });
  EXPECT_FALSE(importDirect(m_file));
  EXPECT_EQ(held(), (std::vector<zyrtest::RaisedError>{
                        {10020, "The definition/results file\n\n" + m_file + "\n\ndoes not contain a valid mesh.\n"}}));
}

// A required data set that cannot be read is the file layer's description under the import's
// code, whether the topology or the mesh was being read; the topology's summary follows.
TEST_F(DirectImportTest, MissingRequiredDataSetIsAnInternalError) {
  written("box-hex.v2.msh");
  for (const char *what : {"G/NZN", "G/KSFVL"}) {
    edit([&](DefFile *file) { EXPECT_EQ(DefFile_erase(file, what, "EVERY", 0), 1); });
    zyrtest::ErrorCapture::clear();
    EXPECT_FALSE(importDirect(m_file)) << what;
    const std::vector<zyrtest::RaisedError> errors = held();
    ASSERT_EQ(errors.size(), 2u) << what << testing::PrintToString(errors);
    EXPECT_EQ(errors[0].code, 20006) << errors[0].message;
    EXPECT_NE(errors[0].message.find(std::string("What  = ") + what + "\n"), std::string::npos) << errors[0].message;
    EXPECT_EQ(errors[1], (zyrtest::RaisedError{20006, "The definition/results file\n\n" + m_file +
                                                          "\n\ndoes not contain a valid problem topology. Are you "
                                                          "sure\nthat it contains a mesh?\n"}));
    written("box-hex.v2.msh");
  }
  // One the mesh load needs: no summary of the topology.
  edit([](DefFile *file) { EXPECT_EQ(DefFile_erase(file, "G/KVLSF", "EVERY", 0), 1); });
  zyrtest::ErrorCapture::clear();
  EXPECT_FALSE(importDirect(m_file));
  ASSERT_EQ(held().size(), 1u) << testing::PrintToString(held());
  EXPECT_EQ(held()[0].code, 20006);
  EXPECT_NE(held()[0].message.find("What  = G/KVLSF\n"), std::string::npos) << held()[0].message;
}

// An empty face set, and a face list of another volume whose surface has no partner to flip to,
// decline the file without an error: the caller then tries the mesh reader.
TEST_F(DirectImportTest, EmptyFaceSetAndUnflippableFaceListDeclineWithoutAnError) {
  written("box-hex.v2.msh");
  edit([](DefFile *file) {
    int32_t *counts = nullptr, n = 0;
    ASSERT_EQ(DefFile_readInts(file, "G/NFCFS", "ZN1", 0, &counts, &n), 1);
    ASSERT_GE(n, 1);
    counts[0] = 0;
    EXPECT_EQ(DefFile_writeIntArray(file, "G/NFCFS", "ZN1", 0, counts, n, 0), 1);
    zyrMemory_free(counts, "test");
  });
  EXPECT_FALSE(importDirect(m_file));
  EXPECT_TRUE(held().empty()) << testing::PrintToString(held());

  // The zone of several volumes: a face list of the first volume's surface made to name an
  // element of another volume.
  written("mixed.v2.msh");
  int32_t zone = 0;
  for (int32_t z = 1; z <= 2 && zone == 0; ++z)
    if (ints("G/IPESVL", ("ZN" + std::to_string(z)).c_str()).size() > 2)
      zone = z;
  ASSERT_NE(zone, 0);
  const std::string zn = "ZN" + std::to_string(zone);
  const Ints pointer = ints("G/IPESVL", zn.c_str()), sets = ints("G/KESVL", zn.c_str());
  const Ints other = ints("G/KELPE", (zn + "/ES" + std::to_string(sets[size_t(pointer[1] - 1)])).c_str());
  ASSERT_FALSE(other.empty());
  const Ints surfaces = ints("G/KSFFS", zn.c_str()), partners = ints("G/KSFSF", "EVERY");
  const Ints bounded = ints("G/KVLSF", "EVERY"), volumes = ints("G/KVLZN", "EVERY");
  const Ints zoneVolumes = ints("G/IPVLZN", "EVERY");
  const int32_t firstVolume = volumes[size_t(zoneVolumes[size_t(zone) - 1] - 1)];
  int32_t faceSet = 0;
  for (size_t i = 0; i < surfaces.size() && faceSet == 0; ++i)
    if (bounded[size_t(surfaces[i] - 1)] == firstVolume && partners[size_t(surfaces[i] - 1)] == 0)
      faceSet = int32_t(i) + 1;
  ASSERT_NE(faceSet, 0);
  const std::string fs = zn + "/FS" + std::to_string(faceSet);
  edit([&](DefFile *file) {
    int32_t *pairs = nullptr, n = 0;
    ASSERT_EQ(DefFile_readInts(file, "G/KELPF", fs.c_str(), 0, &pairs, &n), 1);
    for (int32_t f = 0; f < n; f += 2)
      pairs[f] = other[0];
    EXPECT_EQ(DefFile_writeIntArray(file, "G/KELPF", fs.c_str(), 0, pairs, n, 0), 1);
    zyrMemory_free(pairs, "test");
  });
  EXPECT_FALSE(importDirect(m_file));
  EXPECT_TRUE(held().empty()) << testing::PrintToString(held());
}

// Failures that once ended the load with an empty queue publish why; an element mesh the model
// did not take is not left in the store.
TEST_F(DirectImportTest, UnknownElementTypeAndRefusedMeshArePublished) {
  written("box-hex.v2.msh");
  edit([](DefFile *file) { EXPECT_EQ(DefFile_writeIntArray(file, "G/ILTPES", "ZN1", 0, std::vector<int32_t>{9}.data(), 1, 0), 1); });
  EXPECT_FALSE(importDirect(m_file));
  EXPECT_EQ(held(), (std::vector<zyrtest::RaisedError>{
                        {20006, "The data set [\"G/ILTPES\", \"ZN1\", 0] is not consistent with the rest of the file.\n"}}));

  written("box-hex.v2.msh");
  zyrStateManager *manager = Repository_getStateManager(m_repository);
  auto elementMeshes = [manager] {
    int32_t count = 0;
    void **objects = nullptr;
    EXPECT_EQ(zyrStateManager_getObjectsByTypeName(manager, "ElementMesh", &count, &objects), 1);
    zyrMemory_free(objects, "test");
    return count;
  };
  freshModel();
  const int32_t before = elementMeshes();
  m_model.m_mesh = nullptr; // a model without a mesh takes none
  EXPECT_EQ(import("ZYR_DIRECT", m_file), nullptr);
  ASSERT_EQ(held().size(), 1u) << testing::PrintToString(held());
  EXPECT_EQ(held()[0].code, 20006);
  EXPECT_EQ(held()[0].message.rfind("Unable to add the mesh of region ", 0), 0u) << held()[0].message;
  EXPECT_EQ(elementMeshes(), before);
}

TEST_F(DirectImportTest, OneZoneFileWithItsDataAtEveryReadsTheSame) {
  written("box-hex.v2.msh");
  move("G/NFS", "ZN1", "EVERY", false);
  move("G/KSFFS", "ZN1", "EVERY", false);
  move("G/CLBSF", "ZN1", "EVERY", true);
  move("G/CLBVL", "ZN1", "EVERY", true);
  ASSERT_TRUE(importDirect(m_file)) << testing::PrintToString(held());
  EXPECT_EQ(snapshot(), m_original);
}

TEST_F(DirectImportTest, VolumesWithoutNamesAreNamedAfterTheirZone) {
  written("mixed.v2.msh"); // two zones: the tetrahedra, then the others
  edit([](DefFile *file) {
    EXPECT_EQ(DefFile_erase(file, "G/CLBVL", "ZN1", 0), 1);
    EXPECT_EQ(DefFile_erase(file, "G/CLBVL", "ZN2", 0), 1);
  });
  ASSERT_TRUE(importDirect(m_file)) << testing::PrintToString(held());
  std::vector<std::string> volumes;
  for (const auto &v : snapshot().m_volumes)
    volumes.push_back(v.first);
  // Which assembly becomes zone 1 depends on the names the import gave the assemblies.
  const bool firstHoldsOne = volumes == std::vector<std::string>{"ZN1.VL1", "ZN2.VL1", "ZN2.VL2"};
  const bool firstHoldsTwo = volumes == std::vector<std::string>{"ZN1.VL1", "ZN1.VL2", "ZN2.VL1"};
  EXPECT_TRUE(firstHoldsOne || firstHoldsTwo) << testing::PrintToString(volumes);
}

TEST_F(DirectImportTest, WithoutAtlasThePhysicsLocationsBecomeCompositeNames) {
  written("mixed.v2.msh");
  edit([](DefFile *file) {
    EXPECT_EQ(DefFile_erase(file, "G/ATLAS/PRIMARY", "EVERY", 0), 1);
    EXPECT_EQ(DefFile_erase(file, "G/ATLAS/CLBAS", "EVERY", 0), 1);
  });
  ASSERT_TRUE(importDirect(m_file)) << testing::PrintToString(held());
  EXPECT_EQ(snapshot(), m_original);
  // The zones (one per assembly) and the boundary come back as names over their regions.
  char **names = nullptr;
  const int32_t n = NameManager_getCompositeNames(Topology_getNameManager(m_model.m_topology), &names);
  std::set<std::string> composites(names, names + std::max(n, 0));
  zyrCStringArray_free(names, uint64_t(std::max(n, 0)));
  DefFile *file = DefFile_new(m_file.c_str());
  char **topcat = nullptr;
  int32_t entries = 0;
  ASSERT_EQ(DefFile_readIoStrings(file, "G/TOPCAT", "EVERY", 0, &topcat, &entries), 1);
  DefFile_delete(file);
  int32_t zones = 0;
  for (int32_t i = 0; i + 3 < entries; i += 4)
    if (std::string(topcat[i + 3]) == "ZN") {
      ++zones;
      EXPECT_TRUE(composites.count(topcat[i]) == 1 || m_original.m_volumes.count(topcat[i]) == 1) << topcat[i];
    }
  zyrCStringArray_free(topcat, uint64_t(entries));
  EXPECT_EQ(zones, 2);

  // The one number that has no negative names no volume of a zone: the import refuses the file
  // without overflowing.
  edit([](DefFile *file) {
    int32_t *list = nullptr, count = 0;
    ASSERT_EQ(DefFile_readInts(file, "G/KVLZN", "EVERY", 0, &list, &count), 1);
    list[0] = INT32_MIN;
    EXPECT_EQ(DefFile_writeIntArray(file, "G/KVLZN", "EVERY", 0, list, count, 0), 1);
    zyrMemory_free(list, "test");
  });
  zyrtest::ErrorCapture::clear();
  EXPECT_FALSE(importDirect(m_file));
  EXPECT_FALSE(held().empty());
}

TEST_F(DirectImportTest, GeometricScaleDividesTheCoordinatesUnlessItIsUnusable) {
  written("box-hex.v2.msh");
  ASSERT_TRUE(importDirect(m_file));
  const std::vector<double> plain = firstVertex();
  ASSERT_EQ(plain.size(), 3u);

  edit([](DefFile *file) { EXPECT_EQ(DefFile_writeFloat(file, "G/GEOSCL", "EVERY", 0, 0.001f), 1); });
  ASSERT_TRUE(importDirect(m_file));
  const std::vector<double> scaled = firstVertex();
  ASSERT_EQ(scaled.size(), 3u);
  for (int k = 0; k < 3; ++k)
    EXPECT_DOUBLE_EQ(scaled[size_t(k)], plain[size_t(k)] * (1.0 / double(0.001f)));

  // 0 or NaN would make every coordinate infinite: a warning, and the file's coordinates as they are.
  for (float bad : {0.0f, std::nanf("")}) {
    edit([&](DefFile *file) { EXPECT_EQ(DefFile_writeFloat(file, "G/GEOSCL", "EVERY", 0, bad), 1); });
    zyrtest::ErrorCapture::clear();
    ASSERT_TRUE(importDirect(m_file));
    EXPECT_EQ(firstVertex(), plain);
    ASSERT_EQ(held().size(), 1u);
    EXPECT_EQ(held()[0].code, 3);
  }
}

TEST_F(DirectImportTest, UnknownCoordinateUnitIsWarnedAboutAndTheGivenOneUsed) {
  written("box-hex.v2.msh");
  edit([](DefFile *file) { EXPECT_EQ(DefFile_writeIoString(file, "G/CGUNIT", "EVERY", 0, "wibble"), 1); });
  ASSERT_TRUE(importDirect(m_file));
  EXPECT_EQ(held(), (std::vector<zyrtest::RaisedError>{
                        {3, "The coordinates in the definition file are stored in an unrecognised\nset of units, "
                            "\"wibble\". These have been ignored and the default units,\n\"m\", have been used "
                            "instead.\n"}}));
}

} // namespace

namespace {

// A second copy of the blocks: the first copy's left block against the second copy's right block
// meet without a connection, so the writer matches them itself.
class NewMatchTest : public ZoneInterfaceTest {
protected:
  // Puts the surface's faces in reverse order, so that its face order differs from its partner's.
  void reverseFaces(const std::string &name) {
    Region *region = nullptr;
    Region **regions = nullptr;
    const int32_t n = Topology_getRegions(m_model.m_topology, 4, &regions);
    for (int32_t i = 0; i < n; ++i)
      if (name == Region_getName(regions[i]))
        region = regions[i];
    zyrMemory_free(regions, "test");
    FaceMesh *fm = Mesh_getFaceMesh(m_model.m_mesh, region);
    ASSERT_NE(fm, nullptr);
    FaceSet **sets = nullptr;
    ASSERT_EQ(FaceMesh_getFaceSets(fm, &sets), 1);
    FaceSet *old = sets[0];
    zyrMemory_free(sets, "test");
    int32_t nfc = 0, *elements = nullptr, *faces = nullptr;
    ASSERT_EQ(FaceSet_getFaces(old, zyrConvention_WEZ5, nullptr, 0, &nfc, &elements, &faces), 1);
    std::reverse(elements, elements + nfc);
    std::reverse(faces, faces + nfc);
    FaceSet *reversed = FaceSet_new(FaceSet_getElementSet(old), zyrConvention_WEZ5, nfc, elements, faces);
    ASSERT_NE(reversed, nullptr);
    ASSERT_EQ(FaceMesh_removeFaceSet(fm, old), 1);
    ASSERT_EQ(FaceMesh_addFaceSet(fm, reversed), 1);
    FaceMesh_invalidate(fm);
  }

  void SetUp() override {
    ZoneInterfaceTest::SetUp();
    // A second import into a fresh model, merged into the first as a model import does.
    const ImportTestModel first = m_model;
    freshModel();
    ImportedMesh *im = import("Msh", std::string(ZYR_SOURCE_DIR) + "/tests/data/meshes/two-blocks.v2.msh");
    ASSERT_NE(im, nullptr) << testing::PrintToString(held());
    ImportedMesh_delete(im);
    const ImportTestModel second = m_model;
    m_model = first;
    ASSERT_EQ(Topology_combineTopologies(m_model.m_topology, second.m_topology, 0, nullptr), 1);
    ASSERT_EQ(Representation_combineRepresentations(m_model.m_representation, second.m_representation), 1);
    ASSERT_EQ(Mesh_combineMeshes(m_model.m_mesh, second.m_mesh), 1);
    m_left = "interface Left";
    m_right = "interface Right 2";
    reverseFaces(m_right);
    m_rightVolume = "Right 2";
    m_rightWalls = "right walls 2";
  }
};

TEST_F(NewMatchTest, NewlyMatchedSideOneFaceSetIsRewrittenInSideZeroOrder) {
  ASSERT_EQ(writePhysics(join("Join", "l side", "r side")), 1) << testing::PrintToString(held());
  const Ints records = ints("G/KZFCZFC", "ZIF1");
  ASSERT_EQ(ints("G/NSFZIF", "ZIF1"), (Ints{1}));
  const Ints sideA = ints("G/KFCPF", "ZN1/FS1"), sideB = ints("G/KFCPF", "ZN2/FS1");
  ASSERT_EQ(records.size(), 12 * sideA.size());
  ASSERT_EQ(sideB.size(), sideA.size());
  bool permuted = false;
  for (size_t k = 0; k < sideA.size(); ++k) {
    EXPECT_EQ(records[12 * k + 2], sideA[k]);
    EXPECT_EQ(records[12 * k + 3], sideB[k]); // face k of side 1 is now the partner of face k of side 0
    permuted = permuted || sideB[k] != sideB[0] + int32_t(k);
  }
  EXPECT_TRUE(permuted); // the two sides' faces did not come in the same order
  // The element faces moved with their face numbers.
  EXPECT_EQ(ints("G/KELPF", "ZN2/FS1").size(), 2 * sideB.size());
}

} // namespace
