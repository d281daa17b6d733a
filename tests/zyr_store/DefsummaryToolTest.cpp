// defsummary, the tool that reports what a definition file holds, as a user runs it: it only
// reads (nothing created, rewritten or left beside the file, not even the index a read had to
// rebuild) and says in one line why a name is no definition file.
#include "StoreTestSupport.h"

#include "DefFile.h"

#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <vector>

namespace {

using storetest::StoreTest;

struct ToolRun {
  int status;
  std::string out;
  std::string err;
};

class DefsummaryToolTest : public StoreTest {
protected:
  // Runs the tool on the name; its output is kept outside the scratch directory.
  ToolRun summarise(const std::string &name) {
    const std::string out = m_output.file("out"), err = m_output.file("err");
    const int status = std::system(("'" + tool() + "' '" + name + "' > '" + out + "' 2> '" + err + "'").c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, zyrtest::readFile(out), zyrtest::readFile(err)};
  }
  static std::string tool() {
    const std::string helpers = ZYR_TEST_HELPER_DIR;
    return helpers.substr(0, helpers.rfind('/')) + "/tools/defsummary/defsummary";
  }
  zyrtest::ScratchDir m_output{"defsummary-output"};
};

TEST_F(DefsummaryToolTest, ReadsOnlyAndSaysWhyANameIsNoDefinitionFile) {
  ASSERT_TRUE(zyrtest::fileExists(tool())) << tool() << " is not built";
  // A definition file whose recorded size no longer vouches for its index: reading it rebuilds
  // the index in memory, which a writer would store at its close.
  const std::string name = path("box.wez");
  DefFile *file = DefFile_new(name.c_str());
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(DefFile_writeInt(file, "G/NZN", "EVERY", 0, 0), 1);
  DefFile_delete(file);
  std::string bytes = zyrtest::readFile(name);
  bytes.replace(6, 20, std::string(19, ' ') + "0");
  zyrtest::writeFile(name, bytes);
  zyrtest::writeFile(path("empty.wez"), "");
  zyrtest::writeFile(path("box.msh"), "$MeshFormat\n4.1 0 8\n$EndMeshFormat\n");
  ASSERT_EQ(mkdir(path("folder").c_str(), 0755), 0);
  const std::vector<std::string> before = listing();

  ToolRun run = summarise(name);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(zyrtest::contains(run.out, "  zones           0\n")) << run.out;
  EXPECT_EQ(run.err, "");

  const std::vector<std::pair<std::string, std::string>> refused = {
      {"typo.wez", "no such file"},
      {"empty.wez", "is not a data-set file"},
      {"box.msh", "is not a data-set file"},
      {"folder", "is a directory"}};
  for (const auto &[file, reason] : refused) {
    run = summarise(path(file));
    EXPECT_EQ(run.status, 1) << file;
    EXPECT_EQ(run.out, "") << file;
    EXPECT_EQ(run.err, "defsummary: " + path(file) + ": " + reason + "\n");
  }

  EXPECT_EQ(zyrtest::readFile(name), bytes);
  EXPECT_EQ(zyrtest::fileSize(path("empty.wez")), 0);
  EXPECT_EQ(listing(), before);
}

TEST_F(DefsummaryToolTest, SaysWhatTheOpenLeftOutOfTheFile) {
  const std::string name = path("box.wez");
  ASSERT_TRUE(storetest::writeIntDataSets(name, {{"G/NZN", 0}, {"G/NVL", 7}}));
  // The index entry of the volume count claims one byte more than its frame holds.
  const std::string bytes = storetest::lengthenEntry(zyrtest::readFile(name), "G/NVL");
  zyrtest::writeFile(name, bytes);

  const ToolRun run = summarise(name);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(zyrtest::contains(run.out, "  volumes         -1\n")) << run.out;
  EXPECT_EQ(run.err.rfind("defsummary: warning: The file\n\n" + name + "\n\nholds data sets whose names are damaged", 0),
            0u)
      << run.err;
  EXPECT_TRUE(zyrtest::contains(run.err, "(the first: the data set G/NVL:EVERY:0); 1 data set of ")) << run.err;
  EXPECT_EQ(zyrtest::readFile(name), bytes);
}

} // namespace
