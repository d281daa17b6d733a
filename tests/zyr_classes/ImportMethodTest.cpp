// Importing through the ZYRAPI object: the default assembly name it leaves set, the names it
// hands back, warnings delivered to the host's progress reporter, and failures thrown with the
// method text "importmeshToModel".
#include "ClassesTestSupport.h"
#include "ZYRAPI.h"
#include "zyrAPI.h"
#include "zyrTestApplication.h"
#include "zyrTestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

const int g_localUnits = setenv("ZYR_USE_LOCAL_UNITS", "1", 0);

std::string toolsDir() {
  const std::string helpers = ZYR_TEST_HELPER_DIR;
  return helpers.substr(0, helpers.rfind('/')) + "/tools";
}

class ImportMethod : public zyrtest::QueueTest {
protected:
  void TearDown() override {
    qiv::ZYRAPI &api = qiv::ZYRAPI::instance();
    if (api.isDBOpen())
      api.removeCurZyr(m_dir.file("case.zyr"));
    QueueTest::TearDown();
  }
  std::string script(const std::string &body) {
    const std::string path = m_dir.file("reader");
    zyrtest::writeFile(path, "#!/bin/sh\n" + body);
    chmod(path.c_str(), 0755);
    return path;
  }
  zyrtest::ApplicationDirectoryGuard m_keepWorkingDirectory; // the tests store their own
  zyrtest::ScratchDir m_dir{"zyrimportclass"};
  zyrtest::EnvGuard m_bin{"WEZ5BINDIR", m_dir.path().c_str()};
  zyrtest::EnvGuard m_exec{"WEZ5EXECDIR", m_dir.path().c_str()};
  const std::string m_mesh = std::string(ZYR_SOURCE_DIR) + "/tests/data/meshes/box-hex.v4.msh";
};

TEST_F(ImportMethod, WarningsReachTheHostAndNamesComeBack) {
  ASSERT_EQ(g_localUnits, 0);
  const std::string kelvo = toolsDir() + "/kelvo/Kelvo.exe";
  zyrtest::EnvGuard reader("WEZ5_KELVO_EXEC", script("'" + kelvo +
                                                     "' \"$@\" || exit $?\n"
                                                     "echo '<WARNING_BEG>'\necho 'Lines left out'\n"
                                                     "echo '<WARNING_END>'\n")
                                                  .c_str());
  qiv::ZYRAPI &api = qiv::ZYRAPI::instance();
  api.openDB(m_dir.file("case.zyr"), false);
  api.setWorkingDirectory(m_dir.path());
  zyrtest::ReportedMessages reported;
  std::vector<std::string> assemblies = {"stale"};
  api.importMeshToModel("Msh", m_mesh, "", "", "m", "Pump", false, assemblies);
  EXPECT_EQ(assemblies, std::vector<std::string>{"Pump"});
  ASSERT_EQ(reported.messages().size(), 1u);
  EXPECT_EQ(reported.messages()[0].getMethod(), "importmeshToModel");
  EXPECT_EQ(reported.messages()[0].getMessage(),
            "The importing process reported the following warning(s) while importing\n"
            "the mesh from the requested file:\n\n  Lines left out\n");
  EXPECT_EQ(zyrtest::queuedCount(), 0);
  // The name stays the model's default: a second import is named after it too.
  api.importMeshToModel("Msh", m_mesh, "", "", "m", "Pump", false, assemblies);
  ASSERT_EQ(assemblies.size(), 1u);
  EXPECT_EQ(assemblies[0].rfind("Pump", 0), 0u) << assemblies[0];
  EXPECT_NE(assemblies[0], "Pump");
}

TEST_F(ImportMethod, FailuresAreThrown) {
  zyrtest::EnvGuard reader("WEZ5_KELVO_EXEC", script("echo '<ERROR_BEG>'\necho 'No.'\necho '<ERROR_END>'\n").c_str());
  qiv::ZYRAPI &api = qiv::ZYRAPI::instance();
  std::vector<std::string> assemblies = {"stale"};
  // No database: the bad-handle error.
  try {
    api.importMeshToModel("Msh", m_mesh, "", "", "m", "A", false, assemblies);
    ADD_FAILURE() << "no exception";
  } catch (const qiv::zyrapi::zyr &e) {
    EXPECT_EQ(e.getClass(), "ZYRAPI");
    EXPECT_EQ(e.getMethod(), "importmeshToModel");
    EXPECT_NE(e.getText().find("Unable to identify model with handle \"-1\""), std::string::npos) << e.getText();
  }
  EXPECT_TRUE(assemblies.empty());

  api.openDB(m_dir.file("case.zyr"), false);
  // The intermediate file is made before the reader runs: in a directory that exists.
  api.setWorkingDirectory(m_dir.path());
  assemblies = {"stale"};
  try {
    api.importMeshToModel("Msh", m_mesh, "", "", "m", "A", false, assemblies);
    ADD_FAILURE() << "no exception";
  } catch (const qiv::zyrapi::zyr &e) {
    EXPECT_EQ(e.getText(), "There was a problem importing the mesh from the requested file.\n"
                           "The importing process reported the following problem:\n\n  No.\n");
  }
  EXPECT_TRUE(assemblies.empty());
  EXPECT_EQ(zyrtest::queuedCount(), 0);
}

} // namespace
