// Definition files back into a database through the procedural interface: an exported model
// comes back with its regions, connections and assembly names; a file of a release the direct
// way declines goes to the mesh reader as "Def", which has no importer for it.
#include "Assembly.h"
#include "DefFile.h"
#include "Model.h"
#include "Region.h"
#include "Repository.h"
#include "Topology.h"
#include "zyrAPI.h"
#include "zyrCString.h"
#include "zyrMemory.h"
#include "zyrTestErrors.h"
#include "zyrTestApplication.h"
#include "zyrTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Names = std::vector<std::string>;

std::string toolsDir() {
  const std::string helpers = ZYR_TEST_HELPER_DIR;
  return helpers.substr(0, helpers.rfind('/')) + "/tools";
}

const std::string kKelvo = toolsDir() + "/kelvo/Kelvo.exe";
const std::string kMeshes = std::string(ZYR_SOURCE_DIR) + "/tests/data/meshes/";

class DirectImportTest : public testing::Test {
protected:
  void SetUp() override {
    zyrtest::ErrorCapture::clear();
    ASSERT_EQ(zyrApp_setWorkingDirectory(m_dir.path().c_str()), 1);
    open("first.zyr");
  }
  void TearDown() override {
    close();
    zyrtest::ErrorCapture::clear();
  }
  void open(const std::string &name) {
    ASSERT_EQ(zyrDatabase_open(m_dir.file(name).c_str(), &m_hDatabase, &m_hModel), 1);
    ASSERT_EQ(zyrAPI_getDatabase(m_hDatabase, "test", &m_repository), 1);
  }
  void close() {
    if (m_hDatabase >= 0)
      zyrDatabase_close(m_hDatabase, 1);
    m_hDatabase = -1;
  }
  int importMesh(const std::string &type, const std::string &file, Names *assemblies) {
    int32_t n = 0;
    char **names = nullptr;
    const int status = zyrModel_importMesh(m_hModel, type.c_str(), file.c_str(), nullptr, nullptr, "m", 0, &n, &names);
    assemblies->assign(names, names + (names != nullptr ? n : 0));
    zyrCStringArray_free(names, uint64_t(n > 0 ? n : 0));
    return status;
  }
  Topology *topology() { return Model_getTopology(static_cast<Model *>(Repository_getPrimaryModel(m_repository))); }
  Names regions() {
    Region **list = nullptr;
    const int32_t n = Topology_getRegions(topology(), 15, &list);
    Names names;
    for (int32_t i = 0; i < n; ++i)
      names.push_back(std::string(Region_getName(list[i])) + (Region_getNeighbour(list[i]) != nullptr ? " +" : ""));
    zyrMemory_free(list, "test");
    std::sort(names.begin(), names.end());
    return names;
  }
  Names assemblies() {
    Assembly **list = nullptr;
    const int32_t n = Topology_getAssemblies(topology(), &list);
    Names names;
    for (int32_t i = 0; i < n; ++i)
      names.push_back(Assembly_getName(list[i]));
    zyrMemory_free(list, "test");
    std::sort(names.begin(), names.end());
    return names;
  }

  zyrtest::EnvGuard m_units{"ZYR_USE_LOCAL_UNITS", "1"};
  zyrtest::EnvGuard m_session{"ZYR_SESSION_FILE", nullptr};
  zyrtest::EnvGuard m_version{"ZYR_DEFFILE_VERSION", nullptr};
  zyrtest::ApplicationDirectoryGuard m_keepWorkingDirectory; // the tests store their own
  zyrtest::ScratchDir m_dir{"zyrdirect"};
  zyrtest::EnvGuard m_bin{"WEZ5BINDIR", m_dir.path().c_str()};
  zyrtest::EnvGuard m_exec{"WEZ5EXECDIR", m_dir.path().c_str()};
  zyrtest::EnvGuard m_reader{"WEZ5_KELVO_EXEC", kKelvo.c_str()};
  int32_t m_hDatabase = -1, m_hModel = -1;
  Repository *m_repository = nullptr;
};

// An exported model comes back with its regions and assembly names, also a name of the
// exporter's own choosing (the writer stores them as plain strings, which the direct import once
// read as io strings only, finding none and leaving the default names).
TEST_F(DirectImportTest, ExportedModelComesBackWithRegionsConnectionsAndAssemblyNames) {
  Names made;
  ASSERT_EQ(importMesh("Msh", kMeshes + "two-blocks.v2.msh", &made), 1)
      << testing::PrintToString(zyrtest::ErrorCapture::held());
  ASSERT_FALSE(made.empty());
  char *given = nullptr;
  ASSERT_EQ(zyrAssembly_rename(m_hModel, made[0].c_str(), "Left part", 0, &given), 1)
      << testing::PrintToString(zyrtest::ErrorCapture::held());
  zyrCString_free(given);
  const Names before = regions(), assembliesBefore = assemblies();
  ASSERT_NE(std::find(assembliesBefore.begin(), assembliesBefore.end(), "Left part"), assembliesBefore.end());
  const std::string file = m_dir.file("case.def");
  ASSERT_EQ(zyrModel_exportMesh(m_hModel, "Def", file.c_str(), "m", 0), 1)
      << testing::PrintToString(zyrtest::ErrorCapture::held());
  close();

  open("second.zyr");
  Names back;
  ASSERT_EQ(importMesh("ZYR_DIRECT", file, &back), 1) << testing::PrintToString(zyrtest::ErrorCapture::held());
  EXPECT_EQ(regions(), before);
  EXPECT_EQ(assemblies(), assembliesBefore);
  std::sort(back.begin(), back.end());
  EXPECT_EQ(back, assembliesBefore); // the recovered names are handed back
}

TEST_F(DirectImportTest, DeclinedReleaseIsTriedThroughTheMeshReader) {
  Names made;
  ASSERT_EQ(importMesh("Msh", kMeshes + "box-hex.v2.msh", &made), 1);
  const std::string file = m_dir.file("old.def");
  ASSERT_EQ(zyrModel_exportMesh(m_hModel, "Def", file.c_str(), "m", 0), 1);
  DefFile *def = DefFile_new(file.c_str());
  char release[100] = "5.3 (2000.01.01-00.00) [ZYR]";
  ASSERT_EQ(DefFile_writeCharArray(def, "G/CRELNO", "EVERY", 0, release, 100), 1);
  DefFile_delete(def);
  zyrtest::ErrorCapture::clear();

  const int32_t state = Repository_getCurrentState(m_repository);
  const Names before = regions();
  Names names;
  EXPECT_EQ(importMesh("ZYR_DIRECT", file, &names), 0);
  const std::vector<zyrtest::RaisedError> errors = zyrtest::ErrorCapture::held();
  ASSERT_GE(errors.size(), 2u);
  // The reader's own refusal speaks of "Def"; the last error names the type that was asked for.
  EXPECT_EQ(errors[errors.size() - 2].code, 10032);
  EXPECT_NE(errors[errors.size() - 2].message.find("\"Def\""), std::string::npos) << errors[errors.size() - 2].message;
  EXPECT_EQ(errors.back().code, 10032);
  EXPECT_EQ(errors.back().message.rfind("Unable to import the requested mesh:\nType             = \"ZYR_DIRECT\".\n", 0), 0u)
      << errors.back().message;
  EXPECT_EQ(Repository_getCurrentState(m_repository), state);
  EXPECT_EQ(regions(), before);
}

} // namespace
