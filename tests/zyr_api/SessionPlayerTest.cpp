// The session player and its keyword table: replaying records, stopping on broken files, the
// generic reading of every value kind, the echo and help of an interactive session, the error
// handler codes.
#include "ApiTestSupport.h"
#include "Session.h"
#include "SessionFile.h"
#include "SessionKeywords.h"
#include "SessionPlayer.h"
#include "zyrAPI.h"
#include "zyrAffineTransform3D.h"
#include "zyrCString.h"
#include "zyrError.h"
#include "zyrTestErrors.h"
#include "zyrTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

class PlayerTest : public testing::Test {
protected:
  void SetUp() override { zyrtest::ErrorCapture::clear(); }
  void TearDown() override { zyrtest::ErrorCapture::clear(); }

  // Plays the text as a file; the play's result.
  int play(const std::string &text) {
    const std::string path = m_dir.file("play.ses");
    zyrtest::writeFile(path, text);
    return apitest::playSessionFile(path);
  }

  zyrtest::EnvGuard m_units{"ZYR_USE_LOCAL_UNITS", "1"};
  zyrtest::ScratchDir m_dir{"zyrplayer"};
};

// A record that needs no database: it fails on its handle, which queues one 10002.
const std::string kBadHandleRecord = "zyrStrategy_setIntegerParameter\n-1\nNameManager_regionNameStrategy\n2\n";

const char *const kTruncated = "10034: The end of the session file was reached unexpectedly.\nHas it been truncated?\n";

} // namespace

TEST_F(PlayerTest, AnEmptyOrCommentOnlyInputEndsAtOnce) {
  EXPECT_EQ(play(""), 1);
  EXPECT_EQ(play("# Session file started: now\n#\n# nothing else\n"), 1);
  EXPECT_EQ(zyrtest::ErrorCapture::count(), 0);
}

TEST_F(PlayerTest, FailedCallsDoNotStopThePlayAndKeepTheirErrors) {
  EXPECT_EQ(play(kBadHandleRecord + "# between\r\n" + kBadHandleRecord + "end\n" + kBadHandleRecord), 1);
  EXPECT_EQ(zyrtest::ErrorCapture::takeCodes(), (std::vector<int32_t>{10002, 10002}));
}

TEST_F(PlayerTest, CarriageReturnsAndCommentsInsideRecordsReadTheSame) {
  EXPECT_EQ(play("zyrStrategy_getIntegerParameter\r\n# a comment\r\n7\r\n#\r\nNameManager_x\r\nquit\r\n"), 1);
  EXPECT_EQ(zyrtest::ErrorCapture::take(),
            (std::vector<std::string>{"10002: Unable to identify model with handle \"7\".\n"}));
}

TEST_F(PlayerTest, InputEndingAnywhereInsideARecordIsATruncation) {
  const std::string text = kBadHandleRecord + kBadHandleRecord;
  const size_t end = kBadHandleRecord.size();
  for (size_t cut = 0; cut <= text.size(); ++cut) {
    SCOPED_TRACE(cut);
    zyrtest::ErrorCapture errors;
    const int result = play(text.substr(0, cut));
    const std::vector<std::string> queued = errors.take();
    // A record is whole with or without its last line feed.
    const bool whole = cut == 0 || cut == end || cut == end - 1 || cut >= text.size() - 1;
    EXPECT_EQ(result, whole ? 1 : 0);
    if (whole)
      continue;
    ASSERT_FALSE(queued.empty());
    if (text[cut - 1] == '\n') {
      // Whole lines, but too few of them.
      EXPECT_EQ(queued.back(), kTruncated);
    } else {
      // A line cut short reads as a shorter value, a wrong keyword or a refused number.
      const std::string code = queued.back().substr(0, 7);
      EXPECT_TRUE(code == "10034: " || code == "10035: ") << queued.back();
    }
  }
}

TEST_F(PlayerTest, HelpAndUnknownKeywordsStopAFile) {
  EXPECT_EQ(play("help\n" + kBadHandleRecord), 0);
  EXPECT_EQ(zyrtest::ErrorCapture::take(),
            (std::vector<std::string>{"10035: The format of the session file is not valid.\n\nThe keyword \"help\" "
                                      "has not been recognised.\n"}));
  EXPECT_EQ(play(kBadHandleRecord + "zyrstrategy_setIntegerParameter \n" + kBadHandleRecord), 0);
  EXPECT_EQ(zyrtest::ErrorCapture::take(),
            (std::vector<std::string>{"10002: Unable to identify model with handle \"-1\".\n",
                                      "10035: The format of the session file is not valid.\n\nThe keyword "
                                      "\"zyrstrategy_setIntegerParameter \" has not been recognised.\n"}));
}

TEST_F(PlayerTest, ErrorHandlerCodesInstallTheNullOrDebugHandlerOrNone) {
  auto installed = []() {
    zyrErrorHandler current = nullptr;
    zyrErrorManager_setErrorHandler(zyrErrorManager_get(), nullptr, &current);
    return current;
  };
  EXPECT_EQ(play("zyrApp_setErrorHandler\n1\n"), 1);
  EXPECT_EQ(installed(), &nullErrorHandler);
  EXPECT_EQ(play("zyrApp_setErrorHandler\n2\n"), 1);
  EXPECT_EQ(installed(), &debugErrorHandler);
  // What the recorder writes: no handler, so a replay keeps reporting its errors.
  EXPECT_EQ(play("zyrApp_setErrorHandler\n0\n" + kBadHandleRecord), 1);
  EXPECT_EQ(installed(), nullptr);
  EXPECT_EQ(zyrtest::ErrorCapture::count(), 1);
}

TEST_F(PlayerTest, DatabaseRecordsAreReplayedWithTheirHandles) {
  // The handles the play will be given: one past those of a database opened and closed now.
  int32_t hd = -1;
  int32_t hm = -1;
  ASSERT_EQ(zyrDatabase_open(m_dir.file("probe.zyr").c_str(), &hd, &hm), 1);
  ASSERT_EQ(zyrDatabase_close(hd, 1), 1);
  const std::string d = std::to_string(hd + 1);
  const std::string m = std::to_string(hm + 1);
  const std::string db = m_dir.file("played.zyr");
  EXPECT_EQ(play("zyrDatabase_open\n" + db + "\nzyrStrategy_setIntegerParameter\n" + m +
                 "\nNameManager_regionNameStrategy\n3\nzyrStrategy_setStringParameter\n" + m +
                 "\nNameManager_defaultAssemblyName\nPart\nzyrDatabase_saveCheckpoint\n" + d +
                 "\nzyrDatabase_close\n" + d + "\n0\n"),
            1);
  EXPECT_EQ(zyrtest::ErrorCapture::count(), 0);
  ASSERT_EQ(zyrDatabase_open(db.c_str(), &hd, &hm), 1);
  int32_t value = 0;
  char *name = nullptr;
  int32_t checkpoints = 0;
  EXPECT_EQ(zyrStrategy_getIntegerParameter(hm, "NameManager_regionNameStrategy", &value), 1);
  EXPECT_EQ(value, 3);
  EXPECT_EQ(zyrStrategy_getStringParameter(hm, "NameManager_defaultAssemblyName", &name), 1);
  EXPECT_STREQ(name, "Part");
  zyrCString_free(name);
  EXPECT_EQ(zyrDatabase_getNoOfCheckpoints(hd, &checkpoints), 1);
  // The state the database was made in is a checkpoint of its own.
  EXPECT_EQ(checkpoints, 2);
  EXPECT_EQ(zyrDatabase_close(hd, 1), 1);
}

namespace {

int recordValues(SessionCall *) { return 1; }

// A row reading one value of every kind.
const SessionKeyword kEveryKind = {
    "test_everyKind",
    nullptr,
    8,
    {SessionInput{SessionInputInteger, "integer", nullptr, 0, 0, nullptr, 0},
     SessionInput{SessionInputReal, "real", nullptr, 0, 0, nullptr, 0},
     SessionInput{SessionInputString, "nullable", nullptr, 0, 1, nullptr, 0},
     SessionInput{SessionInputByte, "mask", nullptr, 0, 0, nullptr, 0},
     SessionInput{SessionInputStringArray, "noOfPairs", "pairs", 2, 0, nullptr, 0},
     SessionInput{SessionInputText, "vsn", nullptr, 0, 0, nullptr, 0},
     SessionInput{SessionInputTransformation, "transformation", nullptr, 8, 0, nullptr, 0},
     SessionInput{SessionInputString, "plain", nullptr, 0, 0, nullptr, 0}},
    0,
    {},
    recordValues,
    nullptr,
    nullptr};

} // namespace

TEST_F(PlayerTest, EveryValueKindRoundTripsThroughTheRecordersWriters) {
  const std::string path = m_dir.file("values.ses");
  FILE *output = std::fopen(path.c_str(), "w");
  ASSERT_NE(output, nullptr);
  Session *writer = Session_new();
  writer->m_output = output;
  char *pairs[] = {const_cast<char *>("a"), const_cast<char *>("b"), const_cast<char *>("# c"),
                   const_cast<char *>("d")};
  char *lines[] = {const_cast<char *>("LIBRARY:"), const_cast<char *>("  __EOF"), const_cast<char *>("END")};
  zyrAffineTransform3D *t = zyrAffineTransform3D_new();
  const double matrix[9] = {0.1, 0.2, 1.0 / 3.0, 0, 1, 0, 0, 0, 1};
  const double vector[3] = {1e-300, -2.5, 3};
  ASSERT_EQ(zyrAffineTransform3D_set(t, matrix, vector, "mm"), 1);
  Session_writeInteger(writer, -42);
  Session_writeReal(writer, 0.1);
  Session_writeString(writer, nullptr);
  Session_writeBoolean(writer, 15);
  Session_writeStringArray(writer, pairs, 2, 2);
  Session_writeStrings(writer, lines, 3, "__EOF");
  Session_writeTransformation(writer, t);
  Session_writeString(writer, "");
  Session_delete(writer);
  std::fclose(output);
  // The same file with carriage returns before every line feed reads the same.
  std::string crlf;
  for (char c : zyrtest::readFile(path))
    crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  zyrtest::writeFile(m_dir.file("crlf.ses"), crlf);

  for (const std::string &file : {path, m_dir.file("crlf.ses")}) {
    SCOPED_TRACE(file);
    FILE *input = std::fopen(file.c_str(), "r");
    ASSERT_NE(input, nullptr);
    Session *reader = Session_new();
    Session_setInput(reader, input);
    SessionCall call;
    SessionCall_init(&call, &kEveryKind, reader);
    ASSERT_EQ(SessionCall_readInputs(&call), 1);
    EXPECT_EQ(call.m_inputs[0].m_integer, -42);
    EXPECT_EQ(call.m_inputs[1].m_real, 0.1);
    EXPECT_EQ(call.m_inputs[2].m_string, nullptr);
    EXPECT_EQ(call.m_inputs[3].m_integer, 15);
    ASSERT_EQ(call.m_inputs[4].m_count, 2);
    EXPECT_STREQ(call.m_inputs[4].m_strings[2], "# c");
    EXPECT_STREQ(call.m_inputs[4].m_strings[3], "d");
    EXPECT_STREQ(call.m_inputs[5].m_string, "LIBRARY:\n  __EOF\nEND");
    double m[9];
    double v[3];
    char *units = nullptr;
    zyrAffineTransform3D_get(call.m_inputs[6].m_transformation, m, v, &units);
    EXPECT_EQ(std::memcmp(m, matrix, sizeof m), 0);
    EXPECT_EQ(std::memcmp(v, vector, sizeof v), 0);
    EXPECT_STREQ(units, "mm");
    zyrCString_free(units);
    EXPECT_STREQ(call.m_inputs[7].m_string, "");
    EXPECT_EQ(Session_readKeyword(reader), nullptr);
    EXPECT_EQ(Session_getState(reader), SessionEnded);
    SessionCall_free(&call);
    Session_delete(reader);
    std::fclose(input);
  }
  zyrAffineTransform3D_delete(t);
}

TEST_F(PlayerTest, AnInteractiveEchoLinesUpNamesAndListsOutputs) {
  Session *session = Session_new();
  session->m_interactive = 1;
  SessionCall call;
  SessionCall_init(&call, SessionKeyword_find("zyrDatabase_open"), session);
  call.m_inputs[0].m_string = zyrCString_clone("/tmp/a.zyr");
  call.m_outputs[0].m_integer = 3;
  call.m_outputs[1].m_integer = 4;
  call.m_status = 1;
  testing::internal::CaptureStdout();
  SessionCall_echo(&call);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "zyrDatabase_open\n"
                                                    "> name      = /tmp/a.zyr\n"
                                                    "< hDatabase = 3\n"
                                                    "< hModel    = 4\n"
                                                    "< return    = 1\n");
  SessionCall_free(&call);

  SessionCall_init(&call, SessionKeyword_find("zyrStrategy_getStringParameter"), session);
  call.m_inputs[0].m_integer = 0;
  call.m_inputs[1].m_string = zyrCString_clone("NameManager_x");
  testing::internal::CaptureStdout();
  SessionCall_echo(&call);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "zyrStrategy_getStringParameter\n"
                                                    "> hModel    = 0\n"
                                                    "> parameter = NameManager_x\n"
                                                    "< value     = <null>\n"
                                                    "< return    = 0\n");
  SessionCall_free(&call);

  // A file session echoes nothing.
  session->m_interactive = 0;
  testing::internal::CaptureStdout();
  SessionCall_init(&call, SessionKeyword_find("zyrApp_clearErrors"), session);
  SessionCall_echo(&call);
  Session_echoHelp(session);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  Session_delete(session);
}

// An interactive session shows the queued errors of a failed call (and empties the queue); the
// debug handler shows one record in full; the null handler shows nothing.
TEST_F(PlayerTest, AnInteractiveSessionShowsErrorsAndTheDebugHandlerShowsTheRecord) {
  Session *session = Session_new();
  session->m_interactive = 1;
  zyrError *queued = zyrError_new(10002, "replayedCall", "here.cpp", 12);
  zyrError_addMessage(queued, "%s", "Unable to identify model with handle \"-1\".");
  testing::internal::CaptureStdout();
  Session_echoError(session, 1); // a success shows nothing
  Session_echoError(session, 0);
  const std::string shown = testing::internal::GetCapturedStdout();
  EXPECT_NE(shown.find("Error code:  "), std::string::npos) << shown;
  EXPECT_NE(shown.find("(10002)\nDescription: "), std::string::npos) << shown;
  EXPECT_NE(shown.find("Function:    replayedCall\nFile:        here.cpp\nLine number: 12\n"), std::string::npos)
      << shown;
  EXPECT_NE(shown.find("Message:\nUnable to identify model with handle \"-1\"."), std::string::npos) << shown;
  EXPECT_EQ(zyrtest::ErrorCapture::count(), 0);

  zyrError *record = zyrError_new(10002, "handled", "there.cpp", 7);
  zyrError_addMessage(record, "%s", "the message");
  Session_setDebugSession(session);
  testing::internal::CaptureStdout();
  EXPECT_EQ(nullErrorHandler(record), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  testing::internal::CaptureStdout();
  EXPECT_EQ(debugErrorHandler(record), 1);
  const std::vector<std::string> lines = zyrtest::splitLines(testing::internal::GetCapturedStdout());
  Session_setDebugSession(nullptr);
  Session_delete(session);
  auto has = [&](const std::string &line) { return std::find(lines.begin(), lines.end(), line) != lines.end(); };
  EXPECT_TRUE(has("Subroutine:  handled"));
  EXPECT_TRUE(has("the message"));
  EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string &l) { return l.rfind("Code:        ", 0) == 0; }));
  zyrtest::ErrorCapture::clear();
}

TEST_F(PlayerTest, TakingTheErrorsAtTheEndWritesAndEmptiesTheQueueAndSaysWhetherOneIsAnError) {
  // A warning alone is no failure; a NULL stream writes nothing.
  zyrError_new(ZYR_W_INVALID_DATA_IGNORED, "warned", "w.cpp", 1);
  EXPECT_EQ(Session_takeErrors(nullptr), 0);
  EXPECT_EQ(zyrtest::ErrorCapture::count(), 0);

  zyrError_new(ZYR_W_INVALID_DATA_IGNORED, "warned", "w.cpp", 1);
  zyrError_new(10002, "failed", "f.cpp", 2);
  const std::string path = m_dir.file("errors.txt");
  FILE *stream = std::fopen(path.c_str(), "w");
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(Session_takeErrors(stream), 1);
  EXPECT_EQ(Session_takeErrors(stream), 0); // nothing left, nothing written
  std::fclose(stream);
  const std::string written = zyrtest::readFile(path);
  const size_t warned = written.find("Function:    warned\n");
  EXPECT_NE(warned, std::string::npos) << written;
  EXPECT_NE(written.find("Function:    failed\n", warned), std::string::npos) << written;
  EXPECT_EQ(zyrtest::ErrorCapture::count(), 0);
}

// The interactive player reads its records from the standard input (here a file, so it echoes
// nothing) until "quit".
int playStandardInput(const std::string &path) {
  if (std::freopen(path.c_str(), "r", stdin) == nullptr)
    return 9;
  return SessionFile_playInteractive();
}

TEST_F(PlayerTest, TheInteractivePlayerReadsTheStandardInput) {
  const std::string path = m_dir.file("typed.ses");
  zyrtest::writeFile(path, "# typed\n" + kBadHandleRecord + "quit\n");
  EXPECT_EXIT(zyrtest::leaveChild(playStandardInput(path) == 1 && zyrtest::ErrorCapture::count() == 1 ? 0 : 1),
              testing::ExitedWithCode(0), "");
}

TEST_F(PlayerTest, HelpListsEveryDescribedKeywordWithinSeventyNineColumns) {
  Session *session = Session_new();
  session->m_interactive = 1;
  testing::internal::CaptureStdout();
  Session_echoHelp(session);
  const std::vector<std::string> lines = zyrtest::splitLines(testing::internal::GetCapturedStdout());
  Session_delete(session);
  ASSERT_GT(lines.size(), 12u);
  EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 9),
            (std::vector<std::string>{"", "Commands", "--------",
                                      "end                             - Quit the session.",
                                      "help                            - Display this help.",
                                      "quit                            - Quit the session.", "", "ZYR API functions",
                                      "-----------------"}));
  EXPECT_EQ(lines[9], "zyrApp_clearErrors               - Clear any errors associated with the");
  EXPECT_EQ(lines[10], std::string(35, ' ') + "application.");
  std::string text;
  for (const std::string &line : lines) {
    EXPECT_LE(line.size(), 79u) << line;
    text += line + "\n";
  }
  int32_t count = 0;
  const SessionKeyword *rows = SessionKeyword_getTable(&count);
  for (int32_t i = 0; i < count; ++i) {
    const bool listed = text.find("\n" + std::string(rows[i].m_keyword) + " ") != std::string::npos;
    EXPECT_EQ(listed, rows[i].m_help != nullptr) << rows[i].m_keyword;
  }
}
