// The simulation-database query against real child processes: a scripted stand-in reader that
// prints given output and ends as told, and the real wezdsdbreader.exe over database files.
#include "ExchangeTestSupport.h"
#include "Command.h"
#include "Conduit.h"
#include "Pipe.h"
#include "Process.h"
#include "zyrCString.h"
#include "zyrDSDBQuery.h"
#include "zyrErrorCode.h"
#include "zyrErrorManager.h"
#include "zyrMemory.h"

#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using zyrtest::RaisedError;

const std::string kFakeReader = std::string(ZYR_TEST_HELPER_DIR) + "/dsdb_fake_reader";
const std::string kReaderDir = zyrtest::toolsDir() + "/wezdsdbreader";

const std::string kQueryProblem = "There was a problem querying the meshing database. The\n"
                                  "following problem was reported:\n\n";
const std::string kQueryWarning = "The process of querying the meshing database reported the\n"
                                  "following warning(s):\n\n";
const std::string kParseProblem = "There was a problem parsing the output from wezdsdbreader.\n";
const std::string kNotEnded = "The process of querying the meshing database did not terminate successfully.\n\n";

struct Model {
  int32_t first;
  std::string firstText;
  int32_t second;
  std::string secondText;
  bool operator==(const Model &other) const {
    return first == other.first && firstText == other.firstText && second == other.second &&
           secondText == other.secondText;
  }
};

void PrintTo(const Model &model, std::ostream *stream) {
  *stream << "{" << model.first << ", " << testing::PrintToString(model.firstText) << ", " << model.second << ", "
          << testing::PrintToString(model.secondText) << "}";
}

struct Answer {
  int result = -1;
  int32_t count = -1;
  bool arraysNull = false; // all four outputs NULL
  std::vector<Model> models;
};

// Takes the outputs apart and releases them as a caller must.
Answer takeAnswer(int result, int32_t count, int32_t *first, int32_t *second, char **firstTexts, char **secondTexts) {
  Answer answer;
  answer.result = result;
  answer.count = count;
  answer.arraysNull = first == nullptr && second == nullptr && firstTexts == nullptr && secondTexts == nullptr;
  for (int32_t i = 0; i < count && !answer.arraysNull; ++i)
    answer.models.push_back({first[i], firstTexts[i], second[i], secondTexts[i]});
  zyrMemory_free(first, "takeAnswer");
  zyrMemory_free(second, "takeAnswer");
  zyrCStringArray_free(firstTexts, static_cast<uint64_t>(count));
  zyrCStringArray_free(secondTexts, static_cast<uint64_t>(count));
  return answer;
}

Answer query(const std::string &file) {
  int32_t count = -1;
  int32_t *first = reinterpret_cast<int32_t *>(1), *second = reinterpret_cast<int32_t *>(1);
  char **firstTexts = reinterpret_cast<char **>(1), **secondTexts = reinterpret_cast<char **>(1);
  int result = zyrDSDBQuery_getModels(file.c_str(), &count, &first, &second, &firstTexts, &secondTexts);
  return takeAnswer(result, count, first, second, firstTexts, secondTexts);
}

std::string lines(std::initializer_list<const char *> list, const char *end = "\n") {
  std::string text;
  for (const char *line : list)
    text += std::string(line) + end;
  return text;
}

// Output of the scripted reader, run through the override variable.
class ScriptedReader : public zyrtest::ErrorCaptureTest {
protected:
  Answer run(const std::string &output, const std::string &ending = "") {
    const std::string file = m_dir.file("db");
    zyrtest::writeFile(file, output);
    if (!ending.empty())
      zyrtest::writeFile(file + ".end", ending);
    return query(file);
  }
  zyrtest::ScratchDir m_dir;
  zyrtest::EnvGuard m_bin{"WEZ5BINDIR", m_dir.path().c_str()};
  zyrtest::EnvGuard m_exec{"WEZ5EXECDIR", m_dir.path().c_str()};
  zyrtest::EnvGuard m_override{"WEZ5_WEZDSDBREADER_EXEC", kFakeReader.c_str()};
};

const std::vector<Model> kTwoModels = {{0, "Model A", 1, "Solid"}, {1, "Model B", 2, "Fluid"}};
const char *const kTwoModelLines[] = {"<MODELS_BEG>", "2", "0", "Model A", "1", "Solid",
                                      "1", "Model B", "2", "Fluid", "<MODELS_END>"};

std::string twoModels(const char *end = "\n") {
  std::string text;
  for (const char *line : kTwoModelLines)
    text += std::string(line) + end;
  return text;
}

TEST_F(ScriptedReader, ListingGivesEveryGroupAndTheCommandLineIsExact) {
  Answer answer = run("reader banner\n" + twoModels());
  EXPECT_EQ(answer.result, 1);
  EXPECT_EQ(answer.count, 2);
  EXPECT_EQ(answer.models, kTwoModels);
  EXPECT_TRUE(held().empty());
  EXPECT_EQ(zyrtest::readFile(m_dir.file("db.args")), "-list\n" + m_dir.file("db") + "\n-server_mode\n");

  // The count line is read as "%d" reads it; the integer lines likewise.
  answer = run(lines({"<MODELS_BEG>", "  1 model", "+7 first", "Only", "-3", " Kind "}));
  EXPECT_EQ(answer.result, 1);
  EXPECT_EQ(answer.models, (std::vector<Model>{{7, "Only", -3, " Kind "}}));
}

// A caller that runs a reader itself hands its conduit to the output reader: here "cat" echoes
// the listing written into it.
TEST_F(ScriptedReader, OutputOfAConduitTheCallerStarted) {
  Command *command = Command_new(nullptr, "/bin/cat", CommandExplicitPath);
  Conduit *conduit = nullptr;
  Process *process = Process_new(command, "pipe: 1.0", &conduit);
  ASSERT_NE(process, nullptr);
  ASSERT_NE(conduit, nullptr);
  for (const char *line : kTwoModelLines)
    ASSERT_EQ(Conduit_putLine(conduit, line), 1);
  Pipe_closeWrite(conduit->m_writePipe);
  int32_t count = -1;
  int32_t *first = nullptr, *second = nullptr;
  char **firstTexts = nullptr, **secondTexts = nullptr;
  const int result = zyrDSDBQuery_readOutput(conduit, &count, &first, &second, &firstTexts, &secondTexts);
  const Answer answer = takeAnswer(result, count, first, second, firstTexts, secondTexts);
  EXPECT_EQ(answer.result, 1);
  EXPECT_EQ(answer.models, kTwoModels);
  EXPECT_TRUE(held().empty());
  EXPECT_EQ(Process_wait(process), 1);
  Process_delete(process);
  Conduit_delete(conduit);
  Command_delete(command);
}

TEST_F(ScriptedReader, CarriageReturnsAreDroppedAndTheLastLineNeedsNoEnd) {
  Answer answer = run(twoModels("\r\n"));
  EXPECT_EQ(answer.result, 1);
  EXPECT_EQ(answer.models, kTwoModels);

  // Only the one carriage return before the line end goes; the block need not be closed.
  answer = run("<MODELS_BEG>\n1\n0\nA\r\r\n1\nB");
  EXPECT_EQ(answer.result, 1);
  EXPECT_EQ(answer.models, (std::vector<Model>{{0, "A\r", 1, "B"}}));
  EXPECT_TRUE(held().empty());
}

TEST_F(ScriptedReader, NoListingIsSuccessWithNoModels) {
  for (const std::string &output : {std::string(), std::string("just talk\n <MODELS_BEG>\n3\n"),
                                    std::string("<MODELS_BEG>\n<MODELS_END>\n")}) {
    Answer answer = run(output);
    EXPECT_EQ(answer.result, 1) << output;
    EXPECT_EQ(answer.count, 0);
    EXPECT_TRUE(answer.arraysNull);
  }
  EXPECT_TRUE(held().empty());
}

TEST_F(ScriptedReader, MalformedListingsAreParseErrorsWithNoModels) {
  const std::vector<std::string> outputs = {
      lines({"<MODELS_BEG>", "0", "<MODELS_END>"}),                                  // count below 1
      lines({"<MODELS_BEG>", "-1"}),                                                 // likewise
      lines({"<MODELS_BEG>", "two", "0", "A", "1", "B"}),                            // not an integer
      lines({"<MODELS_BEG>", "99999999999", "0", "A", "1", "B"}),                    // beyond 32 bits
      lines({"<MODELS_BEG>", "2", "0", "A", "1", "B", "1", "C", "2", "<MODELS_END>"}), // seven lines
      lines({"<MODELS_BEG>", "1", "0", "A", "1", "B", "extra", "<MODELS_END>"}),     // beyond the count
      lines({"<MODELS_BEG>", "1", "zero", "A", "1", "B"}),                           // first integer
      lines({"<MODELS_BEG>", "1", "0", "A", "one", "B"}),                            // second integer
      // The arrays follow the groups that arrive, not the count.
      lines({"<MODELS_BEG>", "2000000000", "0", "A", "1", "B", "<MODELS_END>"}),
      // A listing once found bad is not taken up again.
      lines({"<MODELS_BEG>", "x", "<MODELS_BEG>", "1", "0", "A", "1", "B", "<MODELS_END>"}),
  };
  for (const std::string &output : outputs) {
    Answer answer = run(output);
    EXPECT_EQ(answer.result, 0) << output;
    EXPECT_EQ(answer.count, 0) << output;
    EXPECT_TRUE(answer.arraysNull) << output;
    EXPECT_EQ(held(), (std::vector<RaisedError>{{ZYR_U_INVALID_RESULT, kParseProblem}})) << output;
    zyrErrorManager_clearErrors(zyrErrorManager_get());
  }
}

TEST_F(ScriptedReader, EachErrorBlockIsItsOwnErrorAndTheModelsStillCome) {
  Answer answer = run(lines({"<ERROR_BEG>extra text", "first problem", "<WARNING_BEG>", "<ERROR_END>",
                             " <ERROR_BEG>", "<ERROR_BEG>", "second problem", "<ERROR_END>"}) +
                      twoModels());
  EXPECT_EQ(answer.result, 0);
  EXPECT_EQ(answer.models, kTwoModels);
  const std::vector<RaisedError> expected = {
      {ZYR_U_INVALID_RESULT, kQueryProblem + "  first problem\n  <WARNING_BEG>\n"},
      {ZYR_U_INVALID_RESULT, kQueryProblem + "  second problem\n"}};
  EXPECT_EQ(held(), expected);
  EXPECT_EQ(published(), expected);
}

TEST_F(ScriptedReader, WarningBlocksJoinInOneWarning) {
  Answer answer = run(lines({"<WARNING_BEG>", "first", "<WARNING_END>", "<WARNING_BEG>", "second", "<MODELS_BEG>",
                             "<WARNING_END> and more"}) +
                      twoModels());
  EXPECT_EQ(answer.result, 1);
  EXPECT_EQ(answer.models, kTwoModels);
  EXPECT_EQ(published(), (std::vector<RaisedError>{
                             {ZYR_W_INVALID_RESULT_IGNORED, kQueryWarning + "  first\n\n  second\n  <MODELS_BEG>\n"}}));
}

TEST_F(ScriptedReader, ErrorBlockInsideAWarningBlockAndOneLeftOpen) {
  // The error block interrupts the warning block, which goes on after it; the warning is
  // published at the end, before the error block that was never closed.
  Answer answer = run(lines({"<WARNING_BEG>", "w1", "<ERROR_BEG>", "e1", "<ERROR_END>", "w2", "<WARNING_END>",
                             "<ERROR_BEG>", "e2"}));
  EXPECT_EQ(answer.result, 0);
  EXPECT_EQ(answer.count, 0);
  EXPECT_EQ(published(), (std::vector<RaisedError>{{ZYR_U_INVALID_RESULT, kQueryProblem + "  e1\n"},
                                                  {ZYR_W_INVALID_RESULT_IGNORED, kQueryWarning + "  w1\n  w2\n"},
                                                  {ZYR_U_INVALID_RESULT, kQueryProblem + "  e2\n"}}));
}

TEST_F(ScriptedReader, WarningComesBeforeTheParseError) {
  Answer answer = run(lines({"<WARNING_BEG>", "careful", "<WARNING_END>", "<MODELS_BEG>", "1", "0", "A"}));
  EXPECT_EQ(answer.result, 0);
  EXPECT_EQ(published(), (std::vector<RaisedError>{{ZYR_W_INVALID_RESULT_IGNORED, kQueryWarning + "  careful\n"},
                                                  {ZYR_U_INVALID_RESULT, kParseProblem}}));
}

TEST_F(ScriptedReader, AReaderThatFailsOrCrashesFailsTheQuery) {
  Answer answer = run(twoModels(), "exit 3");
  EXPECT_EQ(answer.result, 0);
  EXPECT_EQ(answer.count, 0);
  EXPECT_TRUE(answer.arraysNull);
  EXPECT_EQ(held(), (std::vector<RaisedError>{
                        {ZYR_U_INVALID_RESULT, kNotEnded + "The query process returned with status 3.\n"}}));
  zyrErrorManager_clearErrors(zyrErrorManager_get());

  // A crash before any output would otherwise read as an empty database.
  answer = run("", "signal " + std::to_string(SIGKILL));
  EXPECT_EQ(answer.result, 0);
  EXPECT_EQ(answer.count, 0);
  EXPECT_EQ(held(), (std::vector<RaisedError>{{ZYR_U_INVALID_RESULT,
                                               kNotEnded + "The query process was terminated with signal " +
                                                   std::to_string(SIGKILL) + ".\n"}}));
  zyrErrorManager_clearErrors(zyrErrorManager_get());

  // A reader that said what went wrong is not blamed twice for its status.
  answer = run(lines({"<ERROR_BEG>", "no such file", "<ERROR_END>"}), "exit 1");
  EXPECT_EQ(answer.result, 0);
  EXPECT_EQ(held(), (std::vector<RaisedError>{{ZYR_U_INVALID_RESULT, kQueryProblem + "  no such file\n"}}));
}

TEST_F(ScriptedReader, FileNamesReachTheReaderAsTheyAre) {
  for (const char *name : {"-list", "a b > c", "x < y 'q' \"r\""}) {
    const std::string file = m_dir.file(name);
    zyrtest::writeFile(file, twoModels());
    Answer answer = query(file);
    EXPECT_EQ(answer.result, 1) << name;
    EXPECT_EQ(answer.models, kTwoModels) << name;
    EXPECT_EQ(zyrtest::readFile(file + ".args"), "-list\n" + file + "\n-server_mode\n") << name;
  }
}

TEST_F(ScriptedReader, UnwantedOutputsMayBeNull) {
  zyrtest::writeFile(m_dir.file("db"), twoModels());
  int32_t count = 0;
  char **names = nullptr;
  EXPECT_EQ(zyrDSDBQuery_getModels(m_dir.file("db").c_str(), &count, nullptr, nullptr, &names, nullptr), 1);
  ASSERT_EQ(count, 2);
  EXPECT_STREQ(names[1], "Model B");
  zyrCStringArray_free(names, 2);
  EXPECT_EQ(zyrDSDBQuery_getModels(m_dir.file("db").c_str(), nullptr, nullptr, nullptr, nullptr, nullptr), 1);
}

class QueryFailure : public zyrtest::ErrorCaptureTest {};

TEST_F(QueryFailure, NoFileNameMissingEnvironmentAndNoReader) {
  zyrtest::ScratchDir empty;
  zyrtest::EnvGuard bin("WEZ5BINDIR", empty.path().c_str());
  zyrtest::EnvGuard exec("WEZ5EXECDIR", empty.path().c_str());
  zyrtest::EnvGuard override("WEZ5_WEZDSDBREADER_EXEC", nullptr);

  Answer answer = query("");
  EXPECT_EQ(answer.result, 0);
  EXPECT_EQ(held(), (std::vector<RaisedError>{{ZYR_U_INVALID_INPUT, "No file name has been supplied.\n"}}));
  zyrErrorManager_clearErrors(zyrErrorManager_get());

  answer = query(empty.file("db"));
  EXPECT_EQ(answer.result, 0);
  EXPECT_EQ(answer.count, 0);
  EXPECT_TRUE(answer.arraysNull);
  EXPECT_EQ(held(), (std::vector<RaisedError>{{ZYR_U_UNABLE_TO_SPAWN_PROCESS,
                                               "Unable to run wezdsdbreader. Are you sure that the appropriate\n"
                                               "executable exists?\n"}}));
  zyrErrorManager_clearErrors(zyrErrorManager_get());

  zyrtest::EnvGuard unset("WEZ5BINDIR", nullptr);
  answer = query(empty.file("db"));
  EXPECT_EQ(answer.result, 0);
  std::vector<RaisedError> errors = held();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].code, ZYR_U_ENVIRONMENT_VARIABLE_NOT_SET);
}

// The real reader, found in the installation's directories.
class RealReader : public zyrtest::ErrorCaptureTest {
protected:
  void SetUp() override {
    zyrtest::ErrorCaptureTest::SetUp();
    ASSERT_EQ(access((kReaderDir + "/wezdsdbreader.exe").c_str(), X_OK), 0) << "wezdsdbreader.exe is not built";
  }
  zyrtest::ScratchDir m_dir;
  zyrtest::EnvGuard m_bin{"WEZ5BINDIR", m_dir.path().c_str()};
  zyrtest::EnvGuard m_exec{"WEZ5EXECDIR", kReaderDir.c_str()};
  zyrtest::EnvGuard m_override{"WEZ5_WEZDSDBREADER_EXEC", nullptr};
};

TEST_F(RealReader, ListsTheModelsOfADatabase) {
  zyrtest::writeFile(m_dir.file("rotor.gmo"), "mesh");
  zyrtest::writeFile(m_dir.file("stator.gmo"), "mesh");
  zyrtest::writeFile(m_dir.file("db.dsdb"), "# two stages\r\n"
                                            "ZYR_DSDB 1\r\n"
                                            "model Rotor Passage\r\n"
                                            "  number 7\r\n"
                                            "  kind Fluid\r\n"
                                            "  mesh rotor.gmo\r\n"
                                            "end\r\n"
                                            "\r\n"
                                            "model Stator\n"
                                            "\tmesh " +
                                                m_dir.file("stator.gmo") +
                                                "\n"
                                                "end\n"
                                                "model Casing\n"
                                                "  kind Solid body\n"
                                                "  mesh stator.gmo\n"
                                                "end\n");
  Answer answer = query(m_dir.file("db.dsdb"));
  EXPECT_EQ(answer.result, 1);
  EXPECT_EQ(answer.models,
            (std::vector<Model>{{0, "Rotor Passage", 7, "Fluid"}, {1, "Stator", 2, "Mesh"}, {2, "Casing", 3, "Solid body"}}));
  EXPECT_TRUE(held().empty());
}

TEST_F(RealReader, EmptyDatabaseGivesNoModelsAndAWarning) {
  const std::string file = m_dir.file("empty.dsdb");
  zyrtest::writeFile(file, "ZYR_DSDB 1\n");
  Answer answer = query(file);
  EXPECT_EQ(answer.result, 1);
  EXPECT_EQ(answer.count, 0);
  EXPECT_EQ(held(), (std::vector<RaisedError>{{ZYR_W_INVALID_RESULT_IGNORED,
                                               kQueryWarning + "  The simulation database \"" + file +
                                                   "\" holds no models.\n"}}));
}

TEST_F(RealReader, WarningsOfTheReaderArePassedOn) {
  const std::string file = m_dir.file("db.dsdb");
  zyrtest::writeFile(file, "ZYR_DSDB 1\nmodel A\n colour red\nend\n");
  Answer answer = query(file);
  EXPECT_EQ(answer.result, 1);
  EXPECT_EQ(answer.models, (std::vector<Model>{{0, "A", 1, "Mesh"}}));
  EXPECT_EQ(held(), (std::vector<RaisedError>{{ZYR_W_INVALID_RESULT_IGNORED,
                                               kQueryWarning + "  Line 3: unknown keyword \"colour\" ignored.\n"
                                                               "  Line 2: model \"A\" names no mesh file.\n"}}));
}

TEST_F(RealReader, BadDatabasesAreReportedOnce) {
  const std::string file = m_dir.file("bad.dsdb");
  zyrtest::writeFile(file, "ZYR_DSDB 1\nmodel A\n number x\nend\nend\n");
  Answer answer = query(file);
  EXPECT_EQ(answer.result, 0);
  EXPECT_EQ(answer.count, 0);
  EXPECT_EQ(held(), (std::vector<RaisedError>{
                        {ZYR_U_INVALID_RESULT, kQueryProblem +
                                                   "  Line 3: the number of model \"A\" must be a 32-bit integer, "
                                                   "not \"x\".\n"
                                                   "  Line 5: \"end\" outside a model.\n"}}));
  zyrErrorManager_clearErrors(zyrErrorManager_get());

  answer = query(m_dir.file("missing.dsdb"));
  EXPECT_EQ(answer.result, 0);
  EXPECT_EQ(held(), (std::vector<RaisedError>{{ZYR_U_INVALID_RESULT,
                                               kQueryProblem + "  Unable to open the simulation database \"" +
                                                   m_dir.file("missing.dsdb") +
                                                   "\": No such file or directory.\n"}}));
}

TEST_F(RealReader, FoundInTheScriptsDirectoryToo) {
  zyrtest::ScratchDir other;
  zyrtest::EnvGuard exec("WEZ5EXECDIR", other.path().c_str());
  zyrtest::EnvGuard bin("WEZ5BINDIR", kReaderDir.c_str());
  zyrtest::writeFile(m_dir.file("db.dsdb"), "ZYR_DSDB 1\nmodel A\nkind K\nmesh db.dsdb\nend\n");
  Answer answer = query(m_dir.file("db.dsdb"));
  EXPECT_EQ(answer.result, 1);
  EXPECT_EQ(answer.models, (std::vector<Model>{{0, "A", 1, "K"}}));
}

} // namespace

namespace {

// Tracing needs a debug manager made from a control file, so it runs in a child of its own
// (which cleans up its own scratch directory).
TEST(DSDBQueryDeathTest, ReaderLinesGoToTheDebugLogWithoutCarriageReturns) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  zyrtest::ScratchDir dir;
  const std::string path = dir.path();
  EXPECT_EXIT(
      {
        zyrtest::writeFile(path + "/control", "<LOGS>\nDEBUG = " + path + "/debug.log\n</LOGS>\n"
                                              "<DEBUG>\nreadOutput: 1\n</DEBUG>\n");
        zyrtest::writeFile(path + "/db", "<MODELS_BEG>\r\n1\r\n0\r\nA\r\n1\r\nB\r\n<MODELS_END>\r\n");
        setenv("ZYR_DEBUG_CONTROL", (path + "/control").c_str(), 1);
        unsetenv("ZYR_DEBUG_LOG");
        setenv("WEZ5BINDIR", path.c_str(), 1);
        setenv("WEZ5EXECDIR", path.c_str(), 1);
        setenv("WEZ5_WEZDSDBREADER_EXEC", kFakeReader.c_str(), 1);
        Answer answer = query(path + "/db");
        const std::string log = zyrtest::readFile(path + "/debug.log");
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
        if (answer.result != 1 || answer.count != 1)
          std::exit(2);
        if (log.find("Read mesh data from zyrDSDBReader.exe.") == std::string::npos)
          std::exit(3);
        if (log.find("\n<MODELS_BEG>\n1\n0\nA\n1\nB\n<MODELS_END>\n") == std::string::npos)
          std::exit(4);
        std::exit(0);
      },
      testing::ExitedWithCode(0), "");
}

} // namespace
