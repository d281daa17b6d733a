// The shipped example session, played by zyrplay as scripts/demo plays it: the definition file
// it writes is read back through the library's own data-set reader.
#include "DefFile.h"
#include "zyrCString.h"
#include "zyrTestChild.h"
#include "zyrTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace {

std::string buildDir() {
  const std::string helpers = ZYR_TEST_HELPER_DIR;
  return helpers.substr(0, helpers.rfind('/'));
}

std::vector<std::string> texts(DefFile *file, const char *what, const char *where) {
  char **array = nullptr;
  int32_t n = 0;
  std::vector<std::string> result;
  if (DefFile_readIoStrings(file, what, where, 0, &array, &n))
    result.assign(array, array + n);
  if (array != nullptr)
    zyrCStringArray_free(array, uint64_t(n));
  return result;
}

int32_t integer(DefFile *file, const char *what, const char *where) {
  int32_t value = -1;
  return DefFile_readInt(file, what, where, 0, &value) ? value : -1;
}

// The example session with its mesh in a scratch directory, and the programs that play it.
class DemoSessionTest : public testing::Test {
protected:
  void SetUp() override {
    // The tools are built with this test (a missing one is a fault of the build, never a reason
    // to pass).
    ASSERT_TRUE(zyrtest::fileExists(zyrplay)) << zyrplay;
    ASSERT_TRUE(zyrtest::fileExists(kelvo + "/Kelvo.exe")) << kelvo;
    zyrtest::writeFile(dir.file("box-tet.msh"), zyrtest::readFile(source + "/examples/box-tet.msh"));
  }

  const std::string zyrplay = buildDir() + "/tools/zyrplay/zyrplay";
  const std::string kelvo = buildDir() + "/tools/kelvo";
  const std::string source = ZYR_SOURCE_DIR;
  zyrtest::ScratchDir dir{"zyrdemo"};
};

TEST_F(DemoSessionTest, ExampleSessionWritesTheBoxDefinitionFile) {
  const std::string command = "cd '" + dir.path() + "' && env -u ZYR_SESSION_FILE -u WEZ5_KELVO_EXEC " +
                              "ZYR_USE_LOCAL_UNITS=1 WEZ5BINDIR='" + kelvo + "' WEZ5EXECDIR='" + kelvo + "' '" +
                              zyrplay + "' '" + source + "/examples/box-tet.session' > out.txt 2> err.txt";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << zyrtest::readFile(dir.file("err.txt"));
  ASSERT_TRUE(zyrtest::fileExists(dir.file("box-tet.wez")));

  DefFile *file = DefFile_new(dir.file("box-tet.wez").c_str());
  ASSERT_NE(file, nullptr);
  int32_t major = 0, minor = 0, point = 0;
  EXPECT_EQ(DefFile_getVersion(file, &major, &minor, &point), 1);
  EXPECT_GE(major, 6);
  EXPECT_EQ(texts(file, "G/COMMANDS", "EVERY"), (std::vector<std::string>{""}));
  EXPECT_EQ(integer(file, "G/NZN", "EVERY"), 1);
  EXPECT_EQ(integer(file, "G/NVL", "EVERY"), 1);
  EXPECT_EQ(integer(file, "G/NSF", "EVERY"), 3);
  EXPECT_EQ(texts(file, "G/CLBVL", "ZN1"), (std::vector<std::string>{"Fluid"}));
  EXPECT_EQ(texts(file, "G/CLBSF", "ZN1"), (std::vector<std::string>{"inlet", "outlet", "walls"}));
  // The mesh of the zone.
  EXPECT_EQ(integer(file, "G/NEL", "ZN1"), 1125);
  EXPECT_EQ(integer(file, "G/NVX", "ZN1"), 339);
  EXPECT_EQ(integer(file, "G/NFC", "ZN1"), 540);
  DefFile_delete(file);
  // Nothing is left beside the results but the database.
  EXPECT_FALSE(zyrtest::fileExists(dir.file("zyr.gmo")));
  EXPECT_FALSE(zyrtest::fileExists(dir.file("box-tet.zyr.lck")));
}

// The definition file reaches its name through the durable replacement: the new file is on disc
// and the directory that names it too before the export returns. The session is held at the end
// of each replacement; once the file has its name, the temporary has gone.
TEST_F(DemoSessionTest, TheExportPutsTheDefinitionFileInPlaceDurably) {
  zyrtest::ChildProcess play(zyrplay, {source + "/examples/box-tet.session"},
                             {{"ZYR_SESSION_FILE", nullptr},
                              {"WEZ5_KELVO_EXEC", nullptr},
                              {"ZYR_USE_LOCAL_UNITS", "1"},
                              {"WEZ5BINDIR", kelvo.c_str()},
                              {"WEZ5EXECDIR", kelvo.c_str()}},
                             dir.path(), "replace.directory-synced");
  bool inPlace = false;
  for (int replacement = 0; !inPlace && replacement < 10; ++replacement) {
    ASSERT_EQ(play.waitPause(), "replace.directory-synced");
    inPlace = zyrtest::fileExists(dir.file("box-tet.wez"));
    if (inPlace)
      for (const std::string &name : dir.listing())
        EXPECT_EQ(name.find("box-tet.wez.zyr-pid"), std::string::npos) << name;
    play.release();
  }
  EXPECT_TRUE(inPlace);
  EXPECT_EQ(play.wait(), 0);
}

} // namespace
