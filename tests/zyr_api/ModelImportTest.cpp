// Importing meshes into a database's model through the procedural interface: reader failures and
// warnings, the state bracket (nothing of a failed import stays), simulation databases of several
// models imported all or none, and a real mesh that survives closing and reopening.
#include "Assembly.h"
#include "Database.h"
#include "DefFile.h"
#include "Model.h"
#include "ModelImport.h"
#include "Projection.h"
#include "Region.h"
#include "Repository.h"
#include "Topology.h"
#include "zyrAPI.h"
#include "zyrCString.h"
#include "zyrMemory.h"
#include "zyrImportFixtures.h"
#include "zyrTestErrors.h"
#include "zyrTestApplication.h"
#include "zyrTestSupport.h"

#include "zyrError.h"

#include <gtest/gtest.h>

#include <cstdio>

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Names = std::vector<std::string>;
using zyrtest::RaisedError;

std::string toolsDir() {
  const std::string helpers = ZYR_TEST_HELPER_DIR;
  return helpers.substr(0, helpers.rfind('/')) + "/tools";
}

const std::string kKelvo = toolsDir() + "/kelvo/Kelvo.exe";
const std::string kMeshes = std::string(ZYR_SOURCE_DIR) + "/tests/data/meshes/";

// In a child process: the projection an import stored, with its units and its one kept vertex.
void projectionChild(const std::string &database) {
  int32_t hd = -1;
  int32_t hm = -1;
  Model *model = nullptr;
  if (zyrDatabase_open(database.c_str(), &hd, &hm) != 1 || zyrAPI_getModel(hm, "test", &model) != 1)
    zyrtest::leaveChild(1);
  auto *projection = static_cast<Projection *>(Model_getProjection(model));
  if (projection == nullptr)
    zyrtest::leaveChild(2);
  const char *units = Projection_getUnits(projection);
  if (units == nullptr || std::string(units) != "m" || projection->m_nvx != 1 || projection->m_kvxen[0] != 0)
    zyrtest::leaveChild(3);
  zyrtest::leaveChild(0);
}

class ModelImportTest : public testing::Test {
protected:
  void SetUp() override {
    zyrtest::ErrorCapture::clear();
    ASSERT_EQ(zyrApp_setWorkingDirectory(m_dir.path().c_str()), 1);
    ASSERT_EQ(zyrDatabase_open(m_dir.file("case.zyr").c_str(), &m_hDatabase, &m_hModel), 1);
    ASSERT_EQ(zyrAPI_getDatabase(m_hDatabase, "test", &m_repository), 1);
  }
  void TearDown() override {
    if (m_hDatabase >= 0)
      zyrDatabase_close(m_hDatabase, 1);
    zyrtest::ErrorCapture::clear();
  }
  // Opens (makes) another database of the name, holding a box of hexahedra.
  static void openWithBox(const std::string &name, int32_t *hDatabase, int32_t *hModel) {
    ASSERT_EQ(zyrDatabase_open(name.c_str(), hDatabase, hModel), 1);
    int32_t n = 0;
    char **names = nullptr;
    ASSERT_EQ(zyrModel_importMesh(*hModel, "Msh", (kMeshes + "box-hex.v2.msh").c_str(), nullptr, nullptr, "m", 0, &n,
                                  &names),
              1);
    zyrCStringArray_free(names, static_cast<uint64_t>(n));
  }
  std::string script(const std::string &name, const std::string &body) {
    const std::string path = m_dir.file(name);
    zyrtest::writeFile(path, "#!/bin/sh\n" + body);
    chmod(path.c_str(), 0755);
    return path;
  }
  // The import's result, and the names it gave back (released as a caller must).
  int importMesh(const std::string &type, const std::string &file, const char *generic, Names *names,
                 int32_t flags = 0) {
    int32_t n = -1;
    char **assemblies = reinterpret_cast<char **>(1);
    const int status =
        zyrModel_importMesh(m_hModel, type.c_str(), file.c_str(), generic, nullptr, "m", flags, &n, &assemblies);
    if (status != 1) {
      EXPECT_EQ(n, 0);
      EXPECT_EQ(assemblies, nullptr);
    }
    names->assign(assemblies, assemblies + (assemblies != nullptr ? n : 0));
    zyrCStringArray_free(assemblies, static_cast<uint64_t>(n > 0 ? n : 0));
    return status;
  }
  Names regions(int32_t mask) {
    Model *model = static_cast<Model *>(Repository_getPrimaryModel(m_repository));
    Region **list = nullptr;
    const int32_t n = Topology_getRegions(Model_getTopology(model), mask, &list);
    Names names;
    for (int32_t i = 0; i < n; ++i)
      names.push_back(Region_getName(list[i]));
    zyrMemory_free(list, "test");
    std::sort(names.begin(), names.end());
    return names;
  }
  // An intermediate file of a Gmsh mesh, made by the real reader.
  std::string gmo(const std::string &mesh, const std::string &name) {
    const std::string path = m_dir.file(name);
    const std::string command = "'" + kKelvo + "' -I '" + path + "' '" + kMeshes + mesh + "' > /dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0);
    return path;
  }

  zyrtest::EnvGuard m_units{"ZYR_USE_LOCAL_UNITS", "1"};
  zyrtest::EnvGuard m_session{"ZYR_SESSION_FILE", nullptr};
  zyrtest::ApplicationDirectoryGuard m_keepWorkingDirectory; // the tests store their own
  zyrtest::ScratchDir m_dir{"zyrimport"};
  zyrtest::EnvGuard m_bin{"WEZ5BINDIR", m_dir.path().c_str()};
  zyrtest::EnvGuard m_exec{"WEZ5EXECDIR", m_dir.path().c_str()};
  zyrtest::EnvGuard m_reader{"WEZ5_KELVO_EXEC", kKelvo.c_str()};
  zyrtest::EnvGuard m_dsdb{"WEZ5_WEZDSDBREADER_EXEC", (toolsDir() + "/wezdsdbreader/wezdsdbreader.exe").c_str()};
  int32_t m_hDatabase = -1, m_hModel = -1;
  Repository *m_repository = nullptr;
};

TEST_F(ModelImportTest, ErrorBlockLeavesTheDatabaseAsItWas) {
  zyrtest::EnvGuard reader(
      "WEZ5_KELVO_EXEC",
      script("reader", "echo '<ERROR_BEG>'\necho 'Unknown element 99'\necho '<ERROR_END>'\n").c_str());
  const int32_t state = Repository_getCurrentState(m_repository);
  Names names;
  EXPECT_EQ(importMesh("Msh", kMeshes + "box-hex.v2.msh", nullptr, &names), 0);
  // The reader's own 10032 says it all: no summary is added.
  EXPECT_EQ(zyrtest::ErrorCapture::held(),
            (std::vector<RaisedError>{{10032, "There was a problem importing the mesh from the requested file.\n"
                                              "The importing process reported the following problem:\n\n"
                                              "  Unknown element 99\n"}}));
  EXPECT_EQ(Repository_getCurrentState(m_repository), state);
  EXPECT_EQ(regions(15), Names{});
}

TEST_F(ModelImportTest, ExitStatusAndSummary) {
  zyrtest::EnvGuard reader("WEZ5_KELVO_EXEC", script("reader", "exit 3\n").c_str());
  Names names;
  EXPECT_EQ(importMesh("Msh", kMeshes + "box-hex.v2.msh", nullptr, &names), 0);
  EXPECT_EQ(zyrtest::ErrorCapture::held(),
            (std::vector<RaisedError>{{10032, "The mesh import process did not terminate successfully.\n\n"
                                              "The import process returned with status 3.\n"}}));
  zyrtest::ErrorCapture::clear();

  // A failure of another kind gets the summary of what was asked.
  EXPECT_EQ(importMesh("ZYR_INTERMEDIATE", kMeshes + "box-hex.v2.msh", "-x", &names), 0);
  const std::vector<RaisedError> errors = zyrtest::ErrorCapture::held();
  ASSERT_FALSE(errors.empty());
  EXPECT_EQ(errors.back(), (RaisedError{10032, "Unable to import the requested mesh:\n"
                                               "Type             = \"ZYR_INTERMEDIATE\".\n"
                                               "File             = \"" +
                                                   kMeshes +
                                                   "box-hex.v2.msh\".\n"
                                                   "Generic  options = \"-x\".\n"
                                                   "Specific options = \"\".\n"}));
}

TEST_F(ModelImportTest, DirectImportDeclinesAndTheReaderIsTried) {
  const std::string args = m_dir.file("args");
  zyrtest::EnvGuard reader("WEZ5_KELVO_EXEC", script("reader", "echo \"$5 $6\" >> '" + args + "'\nexit 4\n").c_str());
  const int32_t state = Repository_getCurrentState(m_repository);
  // A definition file of a release the direct way does not read.
  const std::string old = m_dir.file("old.def");
  DefFile *file = DefFile_new(old.c_str());
  ASSERT_NE(file, nullptr);
  char release[100] = "5.3 (2000.01.01-00.00) [ZYR]";
  ASSERT_EQ(DefFile_writeCharArray(file, "G/CRELNO", "EVERY", 0, release, 100), 1);
  ASSERT_EQ(DefFile_writeInt(file, "G/NVX", "ZN1", 0, 8), 1);
  DefFile_delete(file);
  Names names;
  EXPECT_EQ(importMesh("ZYR_DIRECT", old, nullptr, &names), 0);
  // The retry ran the reader with the definition-file importer; the decline itself said nothing.
  // The reader's error stays queued, and the last names the type that was asked for, not "Def".
  EXPECT_EQ(zyrtest::readFile(args), "-e ImportDef.exe\n");
  EXPECT_EQ(zyrtest::ErrorCapture::held(),
            (std::vector<RaisedError>{{10032, "The mesh import process did not terminate successfully.\n\n"
                                              "The import process returned with status 4.\n"},
                                      {10032, "Unable to import the requested mesh:\n"
                                              "Type             = \"ZYR_DIRECT\".\n"
                                              "File             = \"" +
                                                  old +
                                                  "\".\n"
                                                  "Generic  options = \"\".\n"
                                                  "Specific options = \"\".\n"}}));
  EXPECT_EQ(Repository_getCurrentState(m_repository), state);

  // A file that is no data-set file at all is refused with the file layer's 10020: no retry.
  zyrtest::ErrorCapture::clear();
  EXPECT_EQ(importMesh("ZYR_DIRECT", kMeshes + "box-hex.v2.msh", nullptr, &names), 0);
  EXPECT_EQ(zyrtest::readFile(args), "-e ImportDef.exe\n");
  ASSERT_FALSE(zyrtest::ErrorCapture::held().empty());
  EXPECT_EQ(zyrtest::ErrorCapture::held().back().code, 10020);
  EXPECT_EQ(Repository_getCurrentState(m_repository), state);

  // An older 10020 still queued is not taken for the decline's outcome: the reader is tried.
  std::remove(args.c_str());
  zyrError_publish(zyrError_new(10020, "earlier", __FILE__, __LINE__));
  EXPECT_EQ(importMesh("ZYR_DIRECT", old, nullptr, &names), 0);
  EXPECT_EQ(zyrtest::readFile(args), "-e ImportDef.exe\n");
  EXPECT_EQ(zyrtest::ErrorCapture::held().back().code, 10032);
}

TEST_F(ModelImportTest, WarningsStayQueuedOnSuccess) {
  zyrtest::EnvGuard reader("WEZ5_KELVO_EXEC",
                           script("reader", "'" + kKelvo +
                                                "' \"$@\" || exit $?\n"
                                                "echo '<WARNING_BEG>'\necho 'Points left out'\necho '<WARNING_END>'\n")
                               .c_str());
  Names names;
  ASSERT_EQ(importMesh("Msh", kMeshes + "box-tet.v4.msh", nullptr, &names), 1);
  EXPECT_EQ(names.size(), 1u);
  EXPECT_EQ(zyrtest::ErrorCapture::held(),
            (std::vector<RaisedError>{{3, "The importing process reported the following warning(s) while importing\n"
                                          "the mesh from the requested file:\n\n  Points left out\n"}}));
  EXPECT_EQ(regions(8), Names{"Fluid"});
}

TEST_F(ModelImportTest, RealMeshSurvivesReopening) {
  Names names;
  ASSERT_EQ(importMesh("Msh", kMeshes + "two-blocks.v4.msh", nullptr, &names), 1)
      << testing::PrintToString(zyrtest::ErrorCapture::held());
  ASSERT_EQ(names.size(), 1u);
  // A second import of the same mesh gets names of its own.
  Names again;
  ASSERT_EQ(importMesh("Msh", kMeshes + "two-blocks.v2.msh", nullptr, &again), 1);
  ASSERT_EQ(again.size(), 1u);
  EXPECT_NE(again[0], names[0]);
  const Names volumes = regions(8);
  const Names surfaces = regions(4);
  EXPECT_EQ(volumes.size(), 4u);
  EXPECT_NE(std::find(volumes.begin(), volumes.end(), "Left"), volumes.end());

  ASSERT_EQ(zyrDatabase_close(m_hDatabase, 0), 1);
  m_hDatabase = -1;
  ASSERT_EQ(zyrDatabase_open(m_dir.file("case.zyr").c_str(), &m_hDatabase, &m_hModel), 1);
  ASSERT_EQ(zyrAPI_getDatabase(m_hDatabase, "test", &m_repository), 1);
  EXPECT_EQ(regions(8), volumes);
  EXPECT_EQ(regions(4), surfaces);
  // No intermediate file is left in the working directory.
  for (const std::string &file : m_dir.listing())
    EXPECT_EQ(file.find(".gmo"), std::string::npos) << file;
}

// The lower-level import makes a model of its own with the tolerance given; merged into the
// database's model it hands over its regions. A file that cannot be read gives no model.
TEST_F(ModelImportTest, AFileImportsIntoAModelOfItsOwn) {
  int32_t n = -1;
  Assembly **named = nullptr;
  Model *fresh = Model_importFromFile(m_repository, 0.0025, "Msh", (kMeshes + "two-blocks.v4.msh").c_str(), nullptr,
                                      nullptr, "m", &n, &named);
  ASSERT_NE(fresh, nullptr) << testing::PrintToString(zyrtest::ErrorCapture::held());
  EXPECT_EQ(Model_getRelativeTolerance(fresh), 0.0025);
  Region **list = nullptr;
  EXPECT_EQ(Topology_getRegions(Model_getTopology(fresh), 8, &list), 2);
  zyrMemory_free(list, "test");
  EXPECT_GE(n, 0);
  zyrMemory_free(named, "test");
  EXPECT_TRUE(regions(8).empty());
  Model *primary = static_cast<Model *>(Repository_getPrimaryModel(m_repository));
  ASSERT_EQ(Model_merge(primary, fresh, 0, nullptr), 1);
  EXPECT_EQ(regions(8).size(), 2u);

  zyrtest::ErrorCapture::clear();
  n = -1;
  EXPECT_EQ(Model_importFromFile(m_repository, 0.001, "Msh", m_dir.file("absent.msh").c_str(), nullptr, nullptr, "m",
                                 &n, &named),
            nullptr);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(named, nullptr);
  const std::vector<RaisedError> raised = zyrtest::ErrorCapture::held();
  ASSERT_FALSE(raised.empty());
  EXPECT_NE(raised.back().message.find("File             = \"" + m_dir.file("absent.msh") + "\"."), std::string::npos)
      << raised.back().message;
  EXPECT_EQ(regions(8).size(), 2u);
  zyrtest::ErrorCapture::clear();
}

// A database of an old version is upgraded with its model and mesh into a new file, which opens
// with the same regions; the old file stays as it was.
TEST_F(ModelImportTest, AnOldDatabaseIsUpgradedWithItsMesh) {
  Names names;
  ASSERT_EQ(importMesh("Msh", kMeshes + "two-blocks.v4.msh", nullptr, &names), 1);
  const Names volumes = regions(8);
  ASSERT_EQ(zyrDatabase_close(m_hDatabase, 0), 1);
  m_hDatabase = -1;
  Database *database = Database_new(m_dir.file("case.zyr").c_str());
  ASSERT_NE(database, nullptr);
  Database_setString(database, 0, nullptr, "Version", "5.0 (2003.03.27-23.59)");
  Database_delete(database);

  int upgraded = 0;
  ASSERT_EQ(zyrDatabase_upgrade(m_dir.file("case.zyr").c_str(), m_dir.file("upgraded").c_str(), &upgraded), 1)
      << testing::PrintToString(zyrtest::ErrorCapture::held());
  EXPECT_EQ(upgraded, 1);
  ASSERT_EQ(zyrDatabase_open(m_dir.file("upgraded.zyr").c_str(), &m_hDatabase, &m_hModel), 1);
  ASSERT_EQ(zyrAPI_getDatabase(m_hDatabase, "test", &m_repository), 1);
  EXPECT_EQ(regions(8), volumes);
  database = Database_new(m_dir.file("case.zyr").c_str());
  EXPECT_EQ(Database_getVersion(database), 20030327);
  Database_delete(database);
}

TEST_F(ModelImportTest, ProjectionOfAnIntermediateFileIsKeptInTheDatabase) {
  // A reader's file with a projection of one edge node on the mesh's first vertex.
  const std::string path = gmo("box-hex.v2.msh", "projected.gmo");
  DefFile *file = DefFile_new(path.c_str());
  zyrtest::writeEdgeNodeProjection(file);
  DefFile_delete(file);
  Names names;
  ASSERT_EQ(importMesh("ZYR_INTERMEDIATE", path, nullptr, &names), 1)
      << testing::PrintToString(zyrtest::ErrorCapture::held());
  ASSERT_EQ(zyrDatabase_close(m_hDatabase, 0), 1);
  m_hDatabase = -1;

  // Read back from the database after reopening it.
  const std::string database = m_dir.file("case.zyr");
  EXPECT_EXIT(projectionChild(database), testing::ExitedWithCode(0), "");
}

TEST_F(ModelImportTest, SimulationDatabaseImportsEveryModelOrNone) {
  const std::string left = gmo("box-hex.v2.msh", "first.gmo");
  const std::string right = gmo("box-tet.v2.msh", "second.gmo");
  const std::string database = m_dir.file("cases.dsdb");
  zyrtest::writeFile(database,
                     "ZYR_DSDB 1\nmodel First\n  mesh " + left + "\nend\nmodel Second\n  mesh " + right + "\nend\n");
  Names names;
  ASSERT_EQ(importMesh("ZYR_DSDB", database, nullptr, &names), 1)
      << testing::PrintToString(zyrtest::ErrorCapture::held());
  EXPECT_EQ(names.size(), 2u);
  EXPECT_EQ(regions(8), (Names{"Block", "Fluid"}));

  // The second model's mesh is broken: neither model's import stays.
  const int32_t state = Repository_getCurrentState(m_repository);
  zyrtest::writeFile(right, "not a data-set file");
  EXPECT_EQ(importMesh("ZYR_DSDB", database, nullptr, &names), 0);
  EXPECT_EQ(Repository_getCurrentState(m_repository), state);
  EXPECT_EQ(regions(8), (Names{"Block", "Fluid"}));

  // A "-model" option imports that model alone.
  zyrtest::ErrorCapture::clear();
  ASSERT_EQ(importMesh("ZYR_DSDB", database, "-model 0", &names), 1)
      << testing::PrintToString(zyrtest::ErrorCapture::held());
  EXPECT_EQ(regions(8).size(), 3u);
}

TEST_F(ModelImportTest, AnotherDatabaseKeepsItsAssemblyNamesWhereFree) {
  // A database whose one assembly was renamed.
  int32_t hOther = -1, hOtherModel = -1;
  const std::string other = m_dir.file("other.zyr");
  openWithBox(other, &hOther, &hOtherModel);
  Model *otherModel = nullptr;
  ASSERT_EQ(zyrAPI_getModel(hOtherModel, "test", &otherModel), 1);
  Assembly **assemblies = nullptr;
  ASSERT_EQ(Topology_getAssemblies(Model_getTopology(otherModel), &assemblies), 1);
  ASSERT_EQ(Assembly_changeName(assemblies[0], "Pump", 0), 1);
  zyrMemory_free(assemblies, "test");
  ASSERT_EQ(zyrDatabase_close(hOther, 0), 1);

  Names first, second;
  ASSERT_EQ(importMesh("ZYR", other, nullptr, &first, 1), 1) << testing::PrintToString(zyrtest::ErrorCapture::held());
  EXPECT_EQ(first, Names{"Pump"});
  ASSERT_EQ(importMesh("ZYR", other, nullptr, &second, 1), 1);
  ASSERT_EQ(second.size(), 1u);
  EXPECT_NE(second[0], "Pump");
  EXPECT_EQ(regions(8), (Names{"Block", "Block 2"}));
}

// A database with garbage after its end, as a killed writer leaves one: every way in said what
// it left out once, though the upgrade's look at its version opened it before the open proper.
TEST_F(ModelImportTest, WhatADamagedDatabaseLeftOutIsToldOnceByEachWayIn) {
  const std::string other = m_dir.file("other.zyr");
  int32_t hOther = -1, hOtherModel = -1;
  openWithBox(other, &hOther, &hOtherModel);
  ASSERT_EQ(zyrDatabase_close(hOther, 0), 1);
  zyrtest::writeFile(other, zyrtest::readFile(other) + "*DATA garbage\n");
  const auto told = [&] {
    const std::string said = "The ZYR database\n\n" + other + "\n\nis damaged or incomplete from byte ";
    int count = 0;
    for (const RaisedError &e : zyrtest::ErrorCapture::held())
      count += e.code == 4 && e.message.compare(0, said.size(), said) == 0 ? 1 : 0;
    zyrtest::ErrorCapture::clear();
    return count;
  };
  zyrtest::ErrorCapture::clear();
  int upgraded = -1;
  ASSERT_EQ(zyrDatabase_upgrade(other.c_str(), "", &upgraded), 1);
  EXPECT_EQ(upgraded, 0);
  EXPECT_EQ(told(), 1);
  Names imported;
  ASSERT_EQ(importMesh("ZYR", other, nullptr, &imported, 1), 1)
      << testing::PrintToString(zyrtest::ErrorCapture::held());
  EXPECT_EQ(told(), 1);
  ASSERT_EQ(zyrDatabase_open(other.c_str(), &hOther, &hOtherModel), 1);
  EXPECT_EQ(told(), 1);
  ASSERT_EQ(zyrDatabase_close(hOther, 0), 1);
}

// A reader's intermediate file, a temporary one, with garbage after its end: what its open left
// out is told of the file the user named, never of the temporary, which is gone when the import
// ends.
TEST_F(ModelImportTest, WhatAReadersFileLeftOutIsToldOfTheFileTheUserNamed) {
  const std::string damaged = gmo("box-hex.v2.msh", "damaged.gmo");
  zyrtest::writeFile(damaged, zyrtest::readFile(damaged) + "*DATA garbage\n");
  const std::string mesh = kMeshes + "box-tet.v2.msh";
  zyrtest::EnvGuard reader("WEZ5_KELVO_EXEC", script("reader", "cp '" + damaged + "' \"$2\"\n").c_str());
  const std::string simulation = m_dir.file("case.dsdb");
  zyrtest::writeFile(simulation, "ZYR_DSDB 1\nmodel First\n  mesh " + damaged + "\nend\n");
  for (const auto &[type, file] : std::vector<std::pair<std::string, std::string>>{{"Msh", mesh},
                                                                                   {"ZYR_DSDB", simulation}}) {
    SCOPED_TRACE(type);
    zyrtest::ErrorCapture::clear();
    Names names;
    ASSERT_EQ(importMesh(type, file, nullptr, &names), 1) << testing::PrintToString(zyrtest::ErrorCapture::held());
    const std::vector<RaisedError> said = zyrtest::ErrorCapture::held();
    ASSERT_EQ(said.size(), 1u) << testing::PrintToString(said);
    EXPECT_EQ(said[0].code, 4);
    EXPECT_EQ(said[0].message.rfind("The mesh read from\n\n" + file + "\n\nis damaged or incomplete from byte ", 0),
              0u)
        << said[0].message;
  }
}

} // namespace

namespace {

// A session file replayed by zyrplay in a new process, as a user runs one: open a database,
// import a mesh through the real reader, close; the database then holds the mesh's regions.
TEST_F(ModelImportTest, SessionReplayImportsAMesh) {
  const std::string zyrplay = toolsDir() + "/zyrplay/zyrplay";
  ASSERT_TRUE(zyrtest::fileExists(zyrplay)) << zyrplay << " is not built";
  const std::string database = m_dir.file("replayed.zyr");
  const std::string session = m_dir.file("import.session");
  zyrtest::writeFile(session, "zyrApp_setWorkingDirectory\n" + m_dir.path() + "\nzyrDatabase_open\n" + database +
                                  "\nzyrModel_importMesh\n0\nMsh\n" + kMeshes +
                                  "two-blocks.v4.msh\n\n\nm\n0\n"
                                  "zyrDatabase_close\n0\n0\n");
  const std::string command = "'" + zyrplay + "' < '" + session + "' > '" + m_dir.file("play.out") + "' 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0) << zyrtest::readFile(m_dir.file("play.out"));

  int32_t hd = -1, hm = -1;
  ASSERT_EQ(zyrDatabase_open(database.c_str(), &hd, &hm), 1);
  Repository *repository = nullptr;
  ASSERT_EQ(zyrAPI_getDatabase(hd, "test", &repository), 1);
  Model *model = static_cast<Model *>(Repository_getPrimaryModel(repository));
  EXPECT_EQ(Topology_getNoOfRegions(Model_getTopology(model), 8), 2);
  EXPECT_EQ(zyrDatabase_close(hd, 0), 1);
}

} // namespace
