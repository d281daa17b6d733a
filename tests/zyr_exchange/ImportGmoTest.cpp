// Intermediate mesh files imported into a fresh model: the topology, mesh and display data they
// make, the completion (assemblies, composite names, empty surfaces purged), and the errors of
// files that do not hold a valid mesh.
#include "Assembly.h"
#include "Connection.h"
#include "DefFile.h"
#include "ElementMesh.h"
#include "ElementSet.h"
#include "ElementTopology.h"
#include "FaceMesh.h"
#include "GmoBuilder.h"
#include "GmoContents.h"
#include "ImportTestSupport.h"
#include "ImportedMesh.h"
#include "InterfaceMap.h"
#include "Mesh.h"
#include "NameManager.h"
#include "Region.h"
#include "Representation.h"
#include "Topology.h"
#include "zyrCString.h"
#include "zyrHeldTemporary.h"
#include "zyrMemory.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

using zyrtest::RaisedError;
using Names = std::vector<std::string>;

class ImportGmoTest : public ImportTest {
protected:
  ImportedMesh *importFile(const GmoBuilder &builder) {
    const std::string path = m_dir->file("mesh.gmo");
    builder.write(path);
    return import("ZYR_INTERMEDIATE", path);
  }
  Region *region(const char *name) { return Topology_findRegion(m_model.m_topology, name); }
  Names regionNames(int32_t mask) {
    Region **regions = nullptr;
    const int32_t n = Topology_getRegions(m_model.m_topology, mask, &regions);
    Names names;
    for (int32_t i = 0; i < n; ++i)
      names.push_back(Region_getName(regions[i]));
    zyrMemory_free(regions, "test");
    std::sort(names.begin(), names.end());
    return names;
  }
  Names assemblyNames() {
    Assembly **assemblies = nullptr;
    const int32_t n = Topology_getAssemblies(m_model.m_topology, &assemblies);
    Names names;
    for (int32_t i = 0; i < n; ++i)
      names.push_back(Assembly_getName(assemblies[i]));
    zyrMemory_free(assemblies, "test");
    return names;
  }
  std::string invalidTopology(const std::string &path) {
    return "The intermediate file\n\n" + path + "\n\ndoes not contain a valid problem topology.\n";
  }
};

// The intermediate file that goes after an import is the one the import made and holds, with its
// lock file: another file renamed onto its name meanwhile stays, and so does its lock file.
TEST_F(ImportGmoTest, OnlyTheIntermediateFileTheImportHoldsIsRemoved) {
  for (const bool renamedOnto : {true, false}) {
    SCOPED_TRACE(renamedOnto ? "another file renamed onto it" : "its own");
    const std::string name = m_dir->file("zyr.intermediate.tmp");
    zyrHeldTemporary held;
    ASSERT_EQ(zyrHeldTemporary_create(&held, name.c_str()), 1);
    zyrtest::writeFile(name + ".lck", "         1\n");
    if (renamedOnto) {
      zyrtest::writeFile(m_dir->file("other"), "another program's");
      ASSERT_EQ(rename(m_dir->file("other").c_str(), name.c_str()), 0);
    }
    ImportedMesh_removeIntermediateFile(nullptr, name.c_str());
    EXPECT_EQ(zyrtest::fileExists(name), renamedOnto);
    EXPECT_EQ(zyrtest::fileExists(name + ".lck"), renamedOnto);
    if (renamedOnto)
      EXPECT_EQ(zyrtest::readFile(name), "another program's");
    zyrHeldTemporary_release(&held);
    std::remove(name.c_str());
    std::remove((name + ".lck").c_str());
  }
}

// A held intermediate file is read only as the file held, however the data-set library spells its
// name (through the directory it holds): another file renamed onto the name is not opened for it.
TEST_F(ImportGmoTest, AHeldIntermediateFileIsReadOnlyAsTheFileHeld) {
  const std::string name = m_dir->file("zyr.held.tmp"), other = m_dir->file("other.gmo");
  GmoBuilder::twoBlocks().write(other);
  const std::string theirs = zyrtest::readFile(other);
  for (const bool renamedOnto : {false, true}) {
    SCOPED_TRACE(renamedOnto ? "another file renamed onto it" : "its own");
    freshModel();
    zyrHeldTemporary own;
    ASSERT_EQ(zyrHeldTemporary_create(&own, name.c_str()), 1);
    ASSERT_EQ(write(own.m_hold, theirs.data(), theirs.size()), static_cast<ssize_t>(theirs.size()));
    if (renamedOnto) {
      zyrtest::writeFile(m_dir->file("theirs"), theirs);
      ASSERT_EQ(rename(m_dir->file("theirs").c_str(), name.c_str()), 0);
    }
    ImportedMesh *im = import("ZYR_INTERMEDIATE", name);
    const std::vector<RaisedError> errors = held();
    EXPECT_EQ(im != nullptr, !renamedOnto) << testing::PrintToString(errors);
    EXPECT_EQ(regionNames(8), renamedOnto ? Names{} : (Names{"Left", "Right"}));
    if (renamedOnto) {
      ASSERT_FALSE(errors.empty());
      EXPECT_NE(errors.front().message.find(name + " is no longer the file this process made there"),
                std::string::npos)
          << errors.front().message;
      EXPECT_EQ(zyrtest::readFile(name), theirs);
    }
    ImportedMesh_delete(im);
    zyrtest::ErrorCapture::clear();
    zyrHeldTemporary_end(&own);
    std::remove(name.c_str());
  }
}

TEST_F(ImportGmoTest, TwoBlocksMakeTheWholeModel) {
  ImportedMesh *im = importFile(GmoBuilder::twoBlocks());
  ASSERT_NE(im, nullptr) << testing::PrintToString(held());
  EXPECT_EQ(held(), std::vector<RaisedError>{});

  EXPECT_EQ(regionNames(8), (Names{"Left", "Right"}));
  // The surface without faces is gone, with its visual.
  EXPECT_EQ(regionNames(4), (Names{"Left side", "Left walls", "Right side", "Right walls"}));
  EXPECT_EQ(Region_getPriority(region("Right")), 3);
  EXPECT_EQ(Region_getPriority(region("Left side")), 7);
  EXPECT_EQ(Region_getPriority(region("Left")), 0);

  // The partnered sides are connected with an interface map; the walls are glued.
  Connection *connection = Region_getConnection(region("Left side"));
  ASSERT_NE(connection, nullptr);
  EXPECT_EQ(Connection_getOtherSide(connection, region("Left side")), region("Right side"));
  InterfaceMap *map = Mesh_getInterfaceMap(m_model.m_mesh, connection);
  ASSERT_NE(map, nullptr);
  EXPECT_EQ(InterfaceMap_getNoOfMatchedVertices(map), 4);
  EXPECT_EQ(Region_isGluedTo(region("Left walls"), region("Right walls")), 1);
  InterfaceMap **maps = nullptr;
  EXPECT_EQ(Mesh_getInterfaceMaps(m_model.m_mesh, &maps), 1);
  zyrMemory_free(maps, "test");

  // Each volume has its own eight vertices; each surface its faces and a visual.
  for (const char *volume : {"Left", "Right"}) {
    ElementMesh *em = Mesh_getElementMesh(m_model.m_mesh, region(volume));
    ASSERT_NE(em, nullptr);
    EXPECT_EQ(ElementMesh_getNoOfVertices(em), 8) << volume;
    EXPECT_EQ(ElementMesh_getNoOfElements(em), 1) << volume;
  }
  const std::vector<std::pair<const char *, int32_t>> faces = {
      {"Left walls", 5}, {"Left side", 1}, {"Right side", 1}, {"Right walls", 5}};
  for (const auto &surface : faces) {
    FaceMesh *fm = Mesh_getFaceMesh(m_model.m_mesh, region(surface.first));
    ASSERT_NE(fm, nullptr) << surface.first;
    EXPECT_EQ(FaceMesh_getNoOfFaces(fm), surface.second) << surface.first;
    EXPECT_NE(Representation_getVisual(m_model.m_representation, region(surface.first)), nullptr);
  }
  FaceMesh **faceMeshes = nullptr;
  EXPECT_EQ(Mesh_getFaceMeshes(m_model.m_mesh, &faceMeshes), 4);
  zyrMemory_free(faceMeshes, "test");

  // One connected group, one assembly: clumped under a placeholder name that no composite name
  // can meet, then named after the default assembly name, which stays as it was.
  EXPECT_EQ(assemblyNames(), (Names{"Assembly"}));
  char *defaultName = nullptr;
  NameManager_getDefaultAssemblyName(Topology_getNameManager(m_model.m_topology), &defaultName);
  EXPECT_STREQ(defaultName, "Assembly");
  zyrCString_free(defaultName);
  char **composites = nullptr;
  const int32_t n = Topology_getCompositeNames(m_model.m_topology, &composites);
  Names compositeNames(composites, composites + n);
  zyrCStringArray_free(composites, static_cast<uint64_t>(n));
  std::sort(compositeNames.begin(), compositeNames.end());
  EXPECT_EQ(compositeNames, (Names{"Everything", "Sides"}));
  EXPECT_EQ(im->m_noOfRecoveredAssemblies, 0);
  Assembly **recovered = nullptr;
  EXPECT_EQ(ImportedMesh_getRecoveredAssemblies(im, &recovered), 0);
  EXPECT_EQ(recovered, nullptr);
  ImportedMesh_delete(im);
}

TEST_F(ImportGmoTest, WithoutNamesTheDefaultAssemblyNameStays) {
  GmoBuilder b = GmoBuilder::twoBlocks();
  b.composites.clear();
  b.contacts.clear();
  b.partners = {-1, -1, -1, -1, -1};
  ImportedMesh *im = importFile(b);
  ASSERT_NE(im, nullptr) << testing::PrintToString(held());
  // Two groups now: the blocks are neither connected nor glued.
  Names names = assemblyNames();
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names.size(), 2u);
  EXPECT_EQ(names[0].rfind("Assembly", 0), 0u) << names[0];
  InterfaceMap **maps = nullptr;
  EXPECT_EQ(Mesh_getInterfaceMaps(m_model.m_mesh, &maps), 0);
  zyrMemory_free(maps, "test");
  ImportedMesh_delete(im);
}

TEST_F(ImportGmoTest, UnitsOfTheFileOrTheImport) {
  GmoBuilder b = GmoBuilder::twoBlocks();
  b.units = "furlongs";
  ImportedMesh *im = importFile(b);
  ASSERT_NE(im, nullptr);
  EXPECT_EQ(held(),
            (std::vector<RaisedError>{{3, "The coordinates of the imported mesh are stored in an unrecognised\n"
                                          "set of units, \"furlongs\". These have been ignored and the default units,\n"
                                          "\"m\", have been used instead.\n"}}));
  ImportedMesh_delete(im);
}

TEST_F(ImportGmoTest, InvalidFilesFailWithTheDataSetAtFault) {
  const std::string path = m_dir->file("mesh.gmo");
  GmoBuilder b = GmoBuilder::twoBlocks();
  b.omit.insert("ZYR/KSFVL@EVERY");
  EXPECT_EQ(importFile(b), nullptr);
  std::vector<RaisedError> errors = held();
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[0].code, 20006);
  EXPECT_NE(errors[0].message.find("What  = ZYR/KSFVL\nWhere = EVERY\nWhen  = 0\n"), std::string::npos);
  EXPECT_EQ(errors[1], (RaisedError{10020, invalidTopology(path)}));
  zyrtest::ErrorCapture::clear();

  // A bad element type is a mesh problem: the data-file error alone.
  b = GmoBuilder::twoBlocks();
  b.elementSets[0].code = 8;
  freshModel();
  EXPECT_EQ(importFile(b), nullptr);
  errors = held();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].code, 20006);
  EXPECT_NE(errors[0].message.find("The element type code is not valid.\n"), std::string::npos);
  EXPECT_NE(errors[0].message.find("What  = ZYR/TYPE\nWhere = ES0\n"), std::string::npos);
  // Nothing was made of the file.
  EXPECT_EQ(regionNames(15), Names{});
}

TEST_F(ImportGmoTest, RegionMapIsRestoredOrWarnedAbout) {
  GmoBuilder b = GmoBuilder::twoBlocks();
  b.atlas = {"this is not region-map text"};
  ImportedMesh *im = importFile(b);
  ASSERT_NE(im, nullptr);
  EXPECT_EQ(im->m_haveRegionAtlas, 1);
  ASSERT_FALSE(held().empty());
  EXPECT_EQ(held().back(), (RaisedError{5, "Unable to restore composite names from the primary region map.\n"
                                           "Composite names will be unavailable.\n"}));
  ImportedMesh_delete(im);
}

} // namespace

namespace {

// Each volume's vertices are made in one pass instead of localising the shared vertices after the
// element sets: the outcome must be what localising gives, the ascending list of the shared
// vertices each volume's elements use, with the element lists renumbered to it.
class LocaliseTest : public ImportGmoTest, public testing::WithParamInterface<std::string> {};

TEST_P(LocaliseTest, LocaliseIsIdentical) {
  const std::string path = m_dir->file("mesh.gmo");
  if (GetParam() == "builder") {
    GmoBuilder::twoBlocks().write(path);
  } else if (GetParam() == "spare vertices") {
    // Vertices that no element uses: each volume takes a small part of them.
    GmoBuilder b = GmoBuilder::twoBlocks();
    for (int i = 0; i < 200; ++i)
      b.coordinates.insert(b.coordinates.end(), {0.5 * i, -1.0, 0.0});
    b.write(path);
  } else {
    const std::string command = "'" + zyrtest::toolsDir() + "/kelvo/Kelvo.exe' -I '" + path + "' '" +
                                std::string(ZYR_SOURCE_DIR) + "/tests/data/meshes/" + GetParam() + "' > /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
  }
  // What the file holds, read apart.
  DefFile *file = DefFile_new(path.c_str());
  GmoContents *c = GmoContents_new();
  ASSERT_EQ(GmoContents_readTopology(c, file), 1);
  ASSERT_EQ(GmoContents_readMesh(c, file), 1);
  DefFile_delete(file);

  ImportedMesh *im = import("ZYR_INTERMEDIATE", path);
  ASSERT_NE(im, nullptr) << testing::PrintToString(held());
  for (int32_t v = 0; v < c->m_nvl; ++v) {
    ElementMesh *em = Mesh_getElementMesh(m_model.m_mesh, region(c->m_volumeNames[v]));
    ASSERT_NE(em, nullptr);
    std::vector<int32_t> used;
    for (int32_t i = c->m_elementSetPointer[v]; i < c->m_elementSetPointer[v + 1]; ++i) {
      const int32_t set = c->m_volumeElementSets[i];
      used.insert(used.end(), c->m_elementVertices[set], c->m_elementVertices[set] + c->m_elementLengths[set]);
    }
    std::sort(used.begin(), used.end());
    used.erase(std::unique(used.begin(), used.end()), used.end());

    double *xyz = nullptr;
    ASSERT_EQ(ElementMesh_getVertexCoordinates(em, "m", 0, nullptr, &xyz), static_cast<int32_t>(used.size()));
    for (size_t j = 0; j < used.size(); ++j)
      for (int d = 0; d < 3; ++d)
        ASSERT_EQ(xyz[3 * j + static_cast<size_t>(d)],
                  c->m_coordinates[3 * static_cast<size_t>(used[j]) + static_cast<size_t>(d)]);
    zyrMemory_free(xyz, "test");

    ElementSet **sets = nullptr;
    const int32_t n = ElementMesh_getElementSets(em, &sets);
    ASSERT_EQ(n, c->m_elementSetPointer[v + 1] - c->m_elementSetPointer[v]);
    for (int32_t i = 0; i < n; ++i) {
      const int32_t set = c->m_volumeElementSets[c->m_elementSetPointer[v] + i];
      int32_t *vertices = nullptr, nel = 0, perElement = 0;
      ASSERT_EQ(ElementSet_getElementVertices(sets[i], zyrConvention_WEZ5, nullptr, 0, &vertices, &nel, &perElement),
                1);
      ASSERT_EQ(static_cast<int64_t>(nel) * perElement, c->m_elementLengths[set]);
      for (int32_t k = 0; k < c->m_elementLengths[set]; ++k)
        ASSERT_EQ(used[static_cast<size_t>(vertices[k])], c->m_elementVertices[set][k]);
      zyrMemory_free(vertices, "test");
    }
    zyrMemory_free(sets, "test");
  }
  GmoContents_delete(c);
  ImportedMesh_delete(im);
}

INSTANTIATE_TEST_SUITE_P(Files, LocaliseTest,
                         testing::Values("builder", "spare vertices", "mixed.v4.msh", "two-blocks.v2.msh"),
                         [](const testing::TestParamInfo<std::string> &info) {
                           std::string name = info.param.substr(0, info.param.find('.'));
                           std::replace(name.begin(), name.end(), '-', '_');
                           std::replace(name.begin(), name.end(), ' ', '_');
                           return name;
                         });

} // namespace

namespace {

TEST_F(ImportGmoTest, EmptyConnectedSurfacesArePurgedWithTheirMap) {
  GmoBuilder b = GmoBuilder::twoBlocks();
  // "Spare" gets a partner without faces on the right block.
  b.surfaces.push_back("Spare 2");
  b.partners = {-1, 2, 1, -1, 5, 4};
  b.shells[1].push_back(5);
  b.surfaceFaceSets.push_back({});
  b.surfacePriorities.push_back(0);
  ImportedMesh *im = importFile(b);
  ASSERT_NE(im, nullptr) << testing::PrintToString(held());
  EXPECT_EQ(regionNames(4), (Names{"Left side", "Left walls", "Right side", "Right walls"}));
  InterfaceMap **maps = nullptr;
  EXPECT_EQ(Mesh_getInterfaceMaps(m_model.m_mesh, &maps), 1);
  zyrMemory_free(maps, "test");
  Connection **connections = nullptr;
  const int32_t n = Topology_getConnections(m_model.m_topology, &connections);
  zyrMemory_free(connections, "test");
  EXPECT_EQ(n, 2); // the sides' connection and the walls' gluing
  ImportedMesh_delete(im);
}

} // namespace

namespace {

// The debug manager reads its control file once, when a process first traces, so the mesh
// load's listing is made in a child that inherits the control file's name; the child writes its
// debug log into the parent's scratch directory.
TEST_F(ImportGmoTest, MeshLoadListsItsMeshesThenItsConnections) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  zyrtest::SharedScratchDir dir("ZYRTEST_GMO_LISTING_DIR", "zyrgmolisting");
  if (dir.owner())
    zyrtest::writeFile(dir.file("control"), "<LOGS>\nDEBUG = " + dir.file("debug.log") +
                                                "\n</LOGS>\n<DEBUG>\nImportedMesh_loadMeshFromGMO: 1\n</DEBUG>\n");
  zyrtest::EnvGuard control("ZYR_DEBUG_CONTROL", dir.file("control").c_str());
  zyrtest::EnvGuard log("ZYR_DEBUG_LOG", nullptr);
  EXPECT_EXIT(
      {
        ImportedMesh *im = importFile(GmoBuilder::twoBlocks());
        const int status = im != nullptr ? 0 : 2;
        ImportedMesh_delete(im);
        TearDown();
        std::exit(status);
      },
      testing::ExitedWithCode(0), "");
  // The element meshes by volume, the face meshes by surface (the empty one not yet purged), then
  // the connections.
  Names outline;
  for (const std::string &line : zyrtest::splitLines(zyrtest::readFile(dir.file("debug.log"))))
    if (line.rfind("Region ", 0) == 0 || line.rfind("Number of faces", 0) == 0 ||
        line.rfind("No. of connections", 0) == 0 || line.find(" <===> ") != std::string::npos)
      outline.push_back(line);
  EXPECT_EQ(outline,
            (Names{"Region                 = \"Left\"", "Region                 = \"Right\"",
                   "Number of faces        = 1", "Region                 = \"Left side\"", "Number of faces        = 5",
                   "Region                 = \"Left walls\"", "Number of faces        = 1",
                   "Region                 = \"Right side\"", "Number of faces        = 5",
                   "Region                 = \"Right walls\"", "Number of faces        = 0",
                   "Region                 = \"Spare\"", "No. of connections = 2",
                   "\"Left walls\" <===> \"Right walls\"", "\"Left side\" <===> \"Right side\""}));
}

} // namespace
