// The import paths that run a reader: its command line, the tagged output, the exit status, and
// what happens to the intermediate file, through fake readers written as shell scripts.
#include "ImportTestSupport.h"
#include "ImportedMesh.h"
#include "zyrFault.h"
#include "zyrTestChild.h"

#include <sys/file.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

namespace {

using zyrtest::RaisedError;

const std::string kProblem = "There was a problem importing the mesh from the requested file.\n"
                             "The importing process reported the following problem:\n\n";
const std::string kWarning = "The importing process reported the following warning(s) while importing\n"
                             "the mesh from the requested file:\n\n";
const std::string kNotEnded = "The mesh import process did not terminate successfully.\n\n";

class ReaderProcessTest : public ImportTest {
protected:
  void SetUp() override {
    ImportTest::SetUp();
    m_mesh = m_dir->file("in.msh");
    zyrtest::writeFile(m_mesh, "not read by the fake readers\n");
  }
  std::string m_mesh;
};

TEST_F(ReaderProcessTest, ErrorBlocksJoinOneErrorAfterTheWarnings) {
  useReader(script("reader", "echo 'Reading the mesh'\n"
                             "echo '<ERROR_BEG>'\necho 'Bad element 7'\necho 'in line 12'\necho '<ERROR_END>'\n"
                             "echo '<WARNING_BEG>'\necho 'Points left out'\necho '<WARNING_END>'\n"
                             "echo ' <ERROR_BEG> is not a tag'\n"
                             "echo '<ERROR_BEG>extra'\necho 'Second problem'\necho '<ERROR_END>'\nexit 1\n"));
  EXPECT_EQ(import("Msh", m_mesh), nullptr);
  // The exit status is not examined once the reader has reported an error.
  EXPECT_EQ(published(),
            (std::vector<RaisedError>{{3, kWarning + "  Points left out\n"},
                                      {10032, kProblem + "  Bad element 7\n  in line 12\n\n  Second problem\n"}}));
  EXPECT_EQ(intermediateFiles(), std::vector<std::string>{});
}

TEST_F(ReaderProcessTest, VerboseImportEchoesEveryLine) {
  useReader(script("reader", "echo 'Reading'\necho '<ERROR_BEG>'\necho 'Bad'\necho '<ERROR_END>'\n"));
  testing::internal::CaptureStdout();
  EXPECT_EQ(import("Msh", m_mesh, "-v"), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Reading\n<ERROR_BEG>\nBad\n<ERROR_END>\n");
  // Without "-v" nothing is echoed.
  testing::internal::CaptureStdout();
  EXPECT_EQ(import("Msh", m_mesh, "-x"), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST_F(ReaderProcessTest, ExitStatusAndSignalAreFailures) {
  useReader(script("reader", "echo fine\nexit 3\n"));
  EXPECT_EQ(import("Msh", m_mesh), nullptr);
  EXPECT_EQ(published(),
            (std::vector<RaisedError>{{10032, kNotEnded + "The import process returned with status 3.\n"}}));
  zyrtest::ErrorCapture::clear();

  useReader(script("crashing", "kill -9 $$\n"));
  EXPECT_EQ(import("Msh", m_mesh), nullptr);
  EXPECT_EQ(published().back(), (RaisedError{10032, kNotEnded + "The import process was terminated with signal 9.\n"}));
}

TEST_F(ReaderProcessTest, CommandLineHoldsEveryArgumentLiterally) {
  const std::string args = m_dir->file("args");
  useReader(script("reader", "for a in \"$@\"; do echo \"$a\" >> '" + args + "'; done\nexit 1\n"));
  {
    zyrtest::WorkingDir here(m_dir->path());
    EXPECT_EQ(import("Msh", "in.msh", "-v 'two words' >", "> out.txt  -x"), nullptr);
  }
  std::vector<std::string> lines = zyrtest::splitLines(zyrtest::readFile(args));
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0], "-I");
  // In the working directory, named for this process, as what it leaves when killed.
  EXPECT_EQ(lines[1].rfind(m_dir->path() + "/zyr.zyr-pid" + std::to_string(static_cast<long>(getpid())) + ".", 0), 0u)
      << lines[1];
  EXPECT_EQ(lines[1].substr(lines[1].size() - 4), ".tmp");
  lines.erase(lines.begin(), lines.begin() + 2);
  // Last, the descriptor through which the reader holds the file it writes (made and held here).
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[lines.size() - 2], "-hold");
  EXPECT_GT(std::stoi(lines.back()), 2);
  lines.resize(lines.size() - 2);
  // The relative mesh name reaches the reader as an absolute one; "-v" is the reader's option,
  // and ">" is a word like any other.
  EXPECT_EQ(lines, (std::vector<std::string>{"-B", "Assembly", "-e", "ImportMsh.exe", "-v", "two words", ">", m_mesh,
                                             ">", "out.txt", "-x"}));
  EXPECT_FALSE(zyrtest::fileExists(m_dir->file("out.txt")));
}

TEST_F(ReaderProcessTest, TypesChooseTheImporterArguments) {
  const std::string args = m_dir->file("args");
  useReader(script("reader", "echo \"$5\" > '" + args + "'\nexit 1\n"));
  const std::vector<std::pair<std::string, std::string>> cases = {{"User", m_mesh}, {"Generic", "-G"}, {"Def", "-e"}};
  for (const auto &c : cases) {
    EXPECT_EQ(import(c.first, m_mesh), nullptr);
    EXPECT_EQ(zyrtest::readFile(args), c.second + "\n") << c.first;
  }
}

TEST_F(ReaderProcessTest, ReaderThatCannotStart) {
  useReader(m_dir->file("missing-reader"));
  EXPECT_EQ(import("Msh", m_mesh), nullptr);
  EXPECT_EQ(published(),
            (std::vector<RaisedError>{
                {10032, "Unable to run the mesh import process. Are you sure that the appropriate\n"
                        "Kelvo.exe executable exists?\n"
                        "\nYou appear to have overridden the standard location by setting\n\n  WEZ5_KELVO_EXEC = " +
                            m_dir->file("missing-reader") + "\n"}}));
}

TEST_F(ReaderProcessTest, MissingInstallationOrFile) {
  {
    zyrtest::EnvGuard unset("WEZ5EXECDIR", nullptr);
    EXPECT_EQ(import("Msh", m_mesh), nullptr);
    ASSERT_EQ(held().size(), 2u);
    EXPECT_EQ(held()[0].code, 10019);
    EXPECT_EQ(held()[1],
              (RaisedError{10032, "The environment variables WEZ5BINDIR and WEZ5EXECDIR have not been set.\n"}));
  }
  zyrtest::ErrorCapture::clear();
  EXPECT_EQ(import("Msh", ""), nullptr);
  EXPECT_EQ(held(), (std::vector<RaisedError>{{10020, "No file name has been supplied.\n"}}));
  zyrtest::ErrorCapture::clear();
  EXPECT_EQ(import("Msh", m_dir->file("nothing.msh")), nullptr);
  EXPECT_EQ(held(), (std::vector<RaisedError>{{10020, "The file from which the mesh is to be imported, \"" +
                                                          m_dir->file("nothing.msh") + "\",\ndoes not exist.\n"}}));
  // A look that cannot tell says so, and why.
  zyrtest::ErrorCapture::clear();
  zyrFault_arm("look@1", m_mesh.c_str());
  EXPECT_EQ(import("Msh", m_mesh), nullptr);
  zyrFault_disarm();
  EXPECT_EQ(held(), (std::vector<RaisedError>{{10020, "Whether the file\n\n" + m_mesh +
                                                          "\n\nexists cannot be told (stat: " + strerror(EIO) + ").\n"}}));
}

TEST_F(ReaderProcessTest, IntermediateNamesNeverMeetAnExistingFile) {
  // A file called like an intermediate file, even the one being imported, is left alone.
  const std::string own = m_dir->file("zyr.gmo");
  zyrtest::writeFile(own, "mine");
  useReader(script("reader", "echo \"$2\" >> '" + m_dir->file("names") + "'\ntouch \"$2\"\nexit 2\n"));
  EXPECT_EQ(import("Msh", own), nullptr);
  EXPECT_EQ(import("Msh", own), nullptr);
  const std::vector<std::string> names = zyrtest::splitLines(zyrtest::readFile(m_dir->file("names")));
  ASSERT_EQ(names.size(), 2u);
  EXPECT_NE(names[0], names[1]);
  EXPECT_NE(names[0], own);
  EXPECT_EQ(zyrtest::readFile(own), "mine");
  // What a failed reader left is removed.
  EXPECT_EQ(intermediateFiles(), std::vector<std::string>{"zyr.gmo"});
}

// What imports and readers that were killed left in the working directory goes when the next
// import starts, each told as a warning, also under the older names without the library's mark,
// and under the id of a process that runs (a killed import of a pid namespace of its own) when
// nobody holds the file; files of live processes stay.
TEST_F(ReaderProcessTest, AnImportRemovesWhatKilledImportsLeft) {
  const std::string ended = std::to_string(static_cast<long>(zyrtest::endedProcess()));
  const std::string dead = "zyr.zyr-pid" + ended + ".0.tmp";
  const std::string contained = "zyr.zyr-pid1.0.tmp", older = "zyr.pid1.0.tmp", live = "zyr.zyr-pid1.1.tmp";
  // The last: a killed reader's file beside the intermediate file of an import still running.
  const std::vector<std::string> gone = {dead, dead + ".lck", "zyr.pid" + ended + ".0.tmp", contained,
                                         live + ".zyr-pid" + ended + ".tmp"};
  for (const std::string &name : gone)
    zyrtest::writeFile(m_dir->file(name), "partial");
  zyrtest::writeFile(m_dir->file(live), "partial");
  zyrtest::writeFile(m_dir->file(older), "partial");
  zyrtest::LockHolder holder(m_dir->file(live), LOCK_EX);
  ASSERT_TRUE(holder.holds());
  useReader(script("reader", "exit 1\n"));
  EXPECT_EQ(import("Msh", m_mesh), nullptr);
  const std::vector<std::string> names = m_dir->listing();
  for (const std::string &name : gone)
    EXPECT_EQ(std::count(names.begin(), names.end(), name), 0) << name;
  EXPECT_EQ(std::count(names.begin(), names.end(), live), 1);
  EXPECT_EQ(std::count(names.begin(), names.end(), older), 1);
  EXPECT_EQ(std::count_if(published().begin(), published().end(), [](const RaisedError &e) { return e.code == 4; }),
            5);
}

} // namespace
