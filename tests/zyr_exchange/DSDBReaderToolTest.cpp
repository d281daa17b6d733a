// wezdsdbreader.exe on its own: exact output, exit statuses, bad command lines and bad
// databases, and the export of one model's mesh.
#include "Command.h"
#include "Conduit.h"
#include "ExchangeTestSupport.h"
#include "Process.h"
#include "zyrMemory.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace {

const std::string kReader = zyrtest::toolsDir() + "/wezdsdbreader/wezdsdbreader.exe";

const std::string kUsage = "Usage: wezdsdbreader.exe -list <database> [-server_mode]\n"
                           "       wezdsdbreader.exe -export <database> <intermediate file> [-model <index>] "
                           "[-server_mode]\n";

struct ReaderRun {
  std::string output; // standard output and error together, as the library sees them
  int32_t how = -9;
  int32_t value = -9;
};

ReaderRun runReader(const std::vector<std::string> &arguments) {
  ReaderRun run;
  Command *command = Command_new(nullptr, kReader.c_str(), CommandExplicitPath);
  for (const std::string &argument : arguments)
    Command_addLiteralArgument(command, argument.c_str());
  Conduit *conduit = nullptr;
  Process *process = Process_new(command, "pipe: 1.0", &conduit);
  EXPECT_NE(process, nullptr);
  if (process != nullptr) {
    char buffer[4096];
    for (int64_t got; (got = Conduit_read(conduit, buffer, sizeof buffer)) > 0;)
      run.output.append(buffer, static_cast<size_t>(got));
    Process_wait(process);
    Process_getExitStatus(process, &run.how, &run.value);
    Conduit_delete(conduit);
    Process_delete(process);
  }
  Command_delete(command);
  return run;
}

class ReaderTool : public testing::Test {
protected:
  void SetUp() override { ASSERT_EQ(access(kReader.c_str(), X_OK), 0) << "wezdsdbreader.exe is not built"; }
  // Lists a database of the given text.
  ReaderRun list(const std::string &text) {
    zyrtest::writeFile(m_dir.file("db.dsdb"), text);
    return runReader({"-list", m_dir.file("db.dsdb"), "-server_mode"});
  }
  static void expectExit(const ReaderRun &run, int32_t status) {
    EXPECT_EQ(run.how, ProcessExited) << run.output;
    EXPECT_EQ(run.value, status) << run.output;
  }
  zyrtest::ScratchDir m_dir;
};

TEST_F(ReaderTool, ListingIsExactAndConduitWordsAreIgnored) {
  zyrtest::writeFile(m_dir.file("a.gmo"), "A");
  zyrtest::writeFile(m_dir.file("db.dsdb"), "ZYR_DSDB 1\n"
                                            "model Model A\n number 1\n kind Solid\n mesh a.gmo\nend\n"
                                            "model Model B\n number -2\n kind Fluid\n mesh b.gmo\nend\n");
  ReaderRun run = runReader({"-list", m_dir.file("db.dsdb"), "-server_mode", "-conduit", "pipe", "3.4"});
  expectExit(run, 0);
  EXPECT_EQ(run.output, "<WARNING_BEG>\n"
                        "Line 7: the mesh file \"b.gmo\" of model \"Model B\" does not exist.\n"
                        "<WARNING_END>\n"
                        "<MODELS_BEG>\n2\n"
                        "0\nModel A\n1\nSolid\n"
                        "1\nModel B\n-2\nFluid\n"
                        "<MODELS_END>\n");
}

TEST_F(ReaderTool, BadCommandLines) {
  ReaderRun run = runReader({});
  expectExit(run, 2);
  EXPECT_EQ(run.output, "<ERROR_BEG>\nEither -list or -export must be given.\n" + kUsage + "<ERROR_END>\n");

  run = runReader({"-server_mode", "-list"});
  expectExit(run, 2);
  EXPECT_EQ(run.output, "<ERROR_BEG>\n-list must be followed by the database's file name.\n" + kUsage + "<ERROR_END>\n");

  run = runReader({"-list", "a", "-export", "b", "c", "-model", "-1"});
  expectExit(run, 2);
  EXPECT_EQ(run.output, "<ERROR_BEG>\nOnly one of -list and -export may be given.\n"
                        "-model must be followed by a model index from 0, not \"-1\".\n" +
                            kUsage + "<ERROR_END>\n");

  // Unknown words are only warned about; a file name that looks like an option is still a name.
  zyrtest::writeFile(m_dir.file("-odd"), "ZYR_DSDB 1\nmodel M\nmesh -odd\nend\n");
  run = runReader({"-verbose", "-list", m_dir.file("-odd"), "stray\nword"});
  expectExit(run, 0);
  EXPECT_EQ(run.output, "<WARNING_BEG>\n"
                        "The argument \"-verbose\" is not understood and was ignored.\n"
                        "The argument \"stray?word\" is not understood and was ignored.\n"
                        "<WARNING_END>\n"
                        "<MODELS_BEG>\n1\n0\nM\n1\nMesh\n<MODELS_END>\n");
}

TEST_F(ReaderTool, FilesThatAreNoDatabase) {
  ReaderRun run = runReader({"-list", m_dir.path()});
  expectExit(run, 1);
  EXPECT_EQ(run.output, "<ERROR_BEG>\nUnable to open the simulation database \"" + m_dir.path() +
                            "\": Is a directory.\n<ERROR_END>\n");

  // A FIFO would block the reader until someone writes to it.
  ASSERT_EQ(mkfifo(m_dir.file("fifo").c_str(), 0600), 0);
  run = runReader({"-list", m_dir.file("fifo")});
  expectExit(run, 1);
  EXPECT_EQ(run.output, "<ERROR_BEG>\nUnable to open the simulation database \"" + m_dir.file("fifo") +
                            "\": it is not a regular file.\n<ERROR_END>\n");

  // A name that holds a line end cannot break the output into lines of its own.
  run = runReader({"-list", m_dir.file("x\n<ERROR_END>")});
  expectExit(run, 1);
  EXPECT_EQ(run.output, "<ERROR_BEG>\nUnable to open the simulation database \"" + m_dir.file("x?<ERROR_END>") +
                            "\": No such file or directory.\n<ERROR_END>\n");

  run = list("");
  expectExit(run, 1);
  EXPECT_EQ(run.output, "<ERROR_BEG>\nThe file holds no statement: a simulation database begins with "
                        "\"ZYR_DSDB 1\".\n<ERROR_END>\n");

  run = list(std::string("\x7f" "ELF\x02\x01\x01\0\0\0", 10));
  expectExit(run, 1);
  EXPECT_EQ(run.output, "<ERROR_BEG>\nLine 1: this is not a simulation database: its first statement must be \"ZYR_DSDB 1\".\n"
                        "<ERROR_END>\n");

  run = list("# made by hand\nZYR_DSDB 1.0\nmodel A\nend\n");
  expectExit(run, 1);
  EXPECT_EQ(run.output, "<ERROR_BEG>\nLine 2: version \"1.0\" of the simulation database format is not supported "
                        "(only 1 is).\n<ERROR_END>\n");
}

TEST_F(ReaderTool, MistakesInADatabase) {
  ReaderRun run = list("ZYR_DSDB 1\n"
                 "model <MODELS_END>\n"  // would end the listing early
                 "  kind <ERROR_BEG>\n"  // would start an error block
                 "  number 2147483648\n"
                 "  number 1\n"
                 "model\n"
                 "  mesh\n"
                 "  end\n"
                 "mesh a.gmo\n"
                 "ZYR_DSDB 1\n"
                 "model tab\there\x01\n" +
                 std::string(5000, 'x') +
                 "\n"
                 "model Last\n");
  expectExit(run, 1);
  EXPECT_EQ(run.output, "<ERROR_BEG>\n"
                        "Line 2: a model name may not begin with \"<\".\n"
                        "Line 3: a model kind may not begin with \"<\".\n"
                        "Line 4: the number of model \"<MODELS_END>\" must be a 32-bit integer, not "
                        "\"2147483648\".\n"
                        "Line 5: model \"<MODELS_END>\" is given a number twice.\n"
                        "Line 6: model \"\" begins before model \"<MODELS_END>\" of line 2 has ended.\n"
                        "Line 6: a model needs a name.\n"
                        "Line 7: model \"\" names no mesh file after \"mesh\".\n"
                        "Line 9: \"mesh\" outside a model.\n"
                        "Line 10: \"ZYR_DSDB\" may only begin the file.\n"
                        "Line 11: the line holds a control character.\n"
                        "Line 12: the line is longer than 4096 bytes.\n"
                        "Line 13: model \"Last\" has no \"end\".\n"
                        "<ERROR_END>\n");
}

TEST_F(ReaderTool, ManyProblemsAndManyModels) {
  std::string text = "ZYR_DSDB 1\n";
  for (int i = 0; i < 25; ++i)
    text += "end\n";
  ReaderRun run = list(text);
  expectExit(run, 1);
  std::string expected = "<ERROR_BEG>\n";
  for (int i = 0; i < 20; ++i)
    expected += "Line " + std::to_string(i + 2) + ": \"end\" outside a model.\n";
  expected += "... and 5 more.\n<ERROR_END>\n";
  EXPECT_EQ(run.output, expected);

  text = "ZYR_DSDB 1\n";
  for (int i = 0; i <= 10000; ++i)
    text += "model M\nend\n";
  run = list(text);
  expectExit(run, 1);
  EXPECT_NE(run.output.find("Line 20002: the simulation database holds more than 10000 models.\n"), std::string::npos)
      << run.output.substr(0, 2000);
  EXPECT_EQ(run.output.find("<MODELS_BEG>"), std::string::npos);
}

TEST_F(ReaderTool, NamesUsedTwiceAreWarnings) {
  zyrtest::writeFile(m_dir.file("m.gmo"), "");
  ReaderRun run = list("ZYR_DSDB 1\nmodel A\nmesh m.gmo\nend\nmodel A\nmesh m.gmo\nend trailing\n");
  expectExit(run, 0);
  EXPECT_EQ(run.output, "<WARNING_BEG>\n"
                        "Line 7: text after \"end\" ignored: \"trailing\".\n"
                        "Line 5: model \"A\" has the name of the model of line 2.\n"
                        "<WARNING_END>\n"
                        "<MODELS_BEG>\n2\n0\nA\n1\nMesh\n1\nA\n2\nMesh\n<MODELS_END>\n");
}

TEST_F(ReaderTool, ExportCopiesTheModelsMeshWhole) {
  std::string mesh;
  for (int i = 0; i < 200000; ++i)
    mesh += static_cast<char>(i * 7 % 256);
  std::filesystem::create_directory(m_dir.file("meshes"));
  zyrtest::writeFile(m_dir.file("meshes/b.gmo"), mesh);
  zyrtest::writeFile(m_dir.file("db.dsdb"), "ZYR_DSDB 1\nmodel A\nend\nmodel B\nmesh meshes/b.gmo\nend\n");
  const std::string target = m_dir.file("zyr.gmo");
  zyrtest::writeFile(target, "old");

  ReaderRun run = runReader({"-export", m_dir.file("db.dsdb"), target, "-model", "1", "-server_mode"});
  expectExit(run, 0);
  EXPECT_EQ(run.output, "Model 1 (\"B\") written to \"" + target + "\".\n");
  EXPECT_EQ(zyrtest::readFile(target), mesh);

  // A model without a mesh, or beyond the count, leaves the file as it was.
  zyrtest::writeFile(target, "old");
  run = runReader({"-export", m_dir.file("db.dsdb"), target, "-server_mode"});
  expectExit(run, 1);
  EXPECT_EQ(run.output, "<ERROR_BEG>\nLine 2: model \"A\" names no mesh file.\n<ERROR_END>\n");
  run = runReader({"-export", m_dir.file("db.dsdb"), target, "-model", "2"});
  expectExit(run, 1);
  EXPECT_EQ(run.output, "<ERROR_BEG>\nModel 2 does not exist: the simulation database \"" + m_dir.file("db.dsdb") +
                            "\" holds 2 models.\n<ERROR_END>\n");
  EXPECT_EQ(zyrtest::readFile(target), "old");

  // A target that cannot be written leaves no temporary file behind.
  run = runReader({"-export", m_dir.file("db.dsdb"), m_dir.file("meshes"), "-model", "1"});
  expectExit(run, 1);
  EXPECT_EQ(run.output.rfind("<ERROR_BEG>\nUnable to write the intermediate file \"" + m_dir.file("meshes") + "\": ", 0),
            0u)
      << run.output;
  std::vector<std::string> left;
  for (const auto &entry : std::filesystem::directory_iterator(m_dir.path()))
    left.push_back(entry.path().filename());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"db.dsdb", "meshes", "zyr.gmo"}));
}

} // namespace
