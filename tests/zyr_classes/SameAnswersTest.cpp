// One session played in two processes whose heaps are laid out differently (zyrplay as it comes,
// and a helper that holds blocks of assorted sizes first): the definition files they write agree
// byte for byte, the build stamp aside, and so does every list that the model's queries give
// afterwards in two more processes laid out differently again. Where objects lie in memory must
// never decide an order that a caller or a file sees.
#include "zyrTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <string>
#include <sys/wait.h>

namespace {

std::string buildDir() {
  const std::string helpers = ZYR_TEST_HELPER_DIR;
  return helpers.substr(0, helpers.rfind('/'));
}

// Two blocks meshed by gmsh, the walls of one renamed, composite names over surfaces and over
// volumes (written as surface groups of their bounding surfaces), two copies of the assembly with
// their composite names duplicated, and a mesh-only definition file.
const char *const kSession = R"(zyrApp_setWorkingDirectory
.
zyrDatabase_open
case.zyr
zyrStrategy_setIntegerParameter
0
NameManager_compositeCopyingStrategy
2
zyrModel_importMesh
0
Msh
two-blocks.v4.msh


m
0
zyrRegion_rename
0
left walls
LW
1
zyrCompositeName_create
0
Walls
1
2
right walls
LW
0
zyrCompositeName_create
0
Both blocks
1
2
Left
Right
0
zyrCompositeName_create
0
Sides
1
3
interface Right
right walls
interface Left
0
zyrAssembly_transform
0
Assembly
0
2
1
0
0
0
1
0
0
0
1
0
0
2
m
0
zyrModel_exportMesh
0
Def
case.wez
m
0
zyrDatabase_close
0
0
)";

class SameAnswers : public testing::Test {
protected:
  void SetUp() override {
    // Built with this test: a missing program is a fault of the build, never a reason to pass.
    for (const std::string &program : {m_zyrplay, m_helper, m_kelvo + "/Kelvo.exe"})
      ASSERT_TRUE(zyrtest::fileExists(program)) << program;
    zyrtest::writeFile(m_dir.file("case.session"), kSession);
    const std::string mesh =
        zyrtest::readFile(std::string(ZYR_SOURCE_DIR) + "/tests/data/meshes/two-blocks.v4.msh");
    for (const char *place : {"first", "second"}) {
      const std::string dir = m_dir.file(place);
      ASSERT_EQ(system(("mkdir '" + dir + "'").c_str()), 0);
      zyrtest::writeFile(dir + "/two-blocks.v4.msh", mesh);
    }
  }

  // Runs the command in the directory with the reader found and nothing recorded; its standard
  // output, and the exit status through *status.
  std::string run(const std::string &place, const std::string &command, int *status) {
    const std::string dir = m_dir.file(place);
    const std::string line = "cd '" + dir + "' && env -u ZYR_SESSION_FILE -u WEZ5_KELVO_EXEC ZYR_USE_LOCAL_UNITS=1 " +
                             "WEZ5BINDIR='" + m_kelvo + "' WEZ5EXECDIR='" + m_kelvo + "' " + command +
                             " > out.txt 2> err.txt";
    const int raw = std::system(line.c_str());
    *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return zyrtest::readFile(dir + "/out.txt");
  }
  std::string errors(const std::string &place) { return zyrtest::readFile(m_dir.file(place) + "/err.txt"); }

  zyrtest::ScratchDir m_dir{"zyrsame"};
  const std::string m_zyrplay = buildDir() + "/tools/zyrplay/zyrplay";
  const std::string m_kelvo = buildDir() + "/tools/kelvo";
  const std::string m_helper = std::string(ZYR_TEST_HELPER_DIR) + "/replay_lists";
};

// The release text with its build date and time, as the writer stamps a definition file.
std::string withoutStamps(const std::string &bytes) {
  static const std::regex stamp(R"(\d+\.\d+(\.\d+)? \(\d{4}\.\d\d\.\d\d-\d\d\.\d\d\) \[ZYR\])");
  return std::regex_replace(bytes, stamp, "<stamp>");
}

TEST_F(SameAnswers, OneSessionInTwoProcessesWritesTheSameFileAndListsTheSame) {
  int status = -1;
  run("first", "'" + m_zyrplay + "' ../case.session", &status);
  ASSERT_EQ(status, 0) << errors("first");
  // The second process plays the session with its heap laid out otherwise, then lists.
  const std::string second = run("second", "'" + m_helper + "' 1 case.zyr ../case.session", &status);
  ASSERT_EQ(status, 0) << errors("second") << second;

  const std::string a = zyrtest::readFile(m_dir.file("first/case.wez"));
  const std::string b = zyrtest::readFile(m_dir.file("second/case.wez"));
  ASSERT_FALSE(a.empty());
  EXPECT_NE(a.find("SURFACE GROUP: Sides"), std::string::npos);
  EXPECT_TRUE(withoutStamps(a) == withoutStamps(b)) << "the definition files differ";

  // The first database listed in a third process, laid out otherwise again.
  const std::string first = run("first", "'" + m_helper + "' 2 case.zyr", &status);
  ASSERT_EQ(status, 0) << errors("first") << first;
  EXPECT_NE(first.find("composites: ["), std::string::npos) << first;
  EXPECT_EQ(first.find("threw"), std::string::npos) << first;
  // Line by line, so that a difference shows where it is.
  const std::vector<std::string> linesA = zyrtest::splitLines(first), linesB = zyrtest::splitLines(second);
  ASSERT_EQ(linesA.size(), linesB.size());
  for (size_t i = 0; i < linesA.size(); ++i)
    EXPECT_EQ(linesA[i], linesB[i]) << "line " << i + 1;
}

} // namespace
