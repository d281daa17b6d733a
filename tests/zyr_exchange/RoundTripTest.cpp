// The round trip: a mesh imported through the mesh reader, written as a definition file and read
// back directly gives the same regions, counts and connections; so does a second trip.
#include "Connection.h"
#include "DefFile.h"
#include "DefWriter.h"
#include "ElementMesh.h"
#include "FaceMesh.h"
#include "ImportTestSupport.h"
#include "ImportedMesh.h"
#include "InterfaceMap.h"
#include "Mesh.h"
#include "Region.h"
#include "Topology.h"
#include "zyrMemory.h"

#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

Topology *writerTopology(const Model *model) { return reinterpret_cast<const ImportTestModel *>(model)->m_topology; }
Mesh *writerMesh(const Model *model) { return reinterpret_cast<const ImportTestModel *>(model)->m_mesh; }

// What must survive a trip: regions with their mesh sizes, and connections with their maps.
struct Snapshot {
  std::map<std::string, std::pair<int32_t, int32_t>> m_volumes;  // name -> (elements, vertices)
  std::map<std::string, int32_t> m_surfaces;                     // name -> faces
  std::set<std::pair<std::string, std::string>> m_connections;   // with an interface map
  std::set<std::pair<std::string, std::string>> m_unmapped;      // without one
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
      (Mesh_getInterfaceMap(m_model.m_mesh, connections[i]) != nullptr ? s.m_connections : s.m_unmapped)
          .insert(names);
    }
    zyrMemory_free(connections, "test");
    return s;
  }

  // A mesh-only definition file of the current model; the write's result.
  int writeDef(const std::string &file) {
    static const DefWriterModelHooks hooks = {writerTopology, writerMesh};
    DefWriter_setModelHooks(&hooks);
    DefWriter *writer = DefWriter_new(model(), file.c_str(), 0, 0, "m", 0.005);
    if (writer == nullptr)
      return -1;
    const int result = DefWriter_write(writer);
    DefWriter_delete(writer);
    return result;
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
