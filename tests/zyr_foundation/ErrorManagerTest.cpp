#include "ErrorLog.h"
#include "ErrorTestSupport.h"
#include "TestSupport.h"
#include "zyrCString.h"
#include "zyrLibrary.h"
#include "zyrMemory.h"
#include "zyrSystem.h"

#include <cstdlib>
#include <memory>
#include <regex>

namespace {

using zyrtest::ErrorTest;
using zyrtest::ScratchDir;

using ErrorManager = ErrorTest;

// The newest held record, checked to be a published 10020 with the given message.
void expectInvalidInput(const char *message) {
  zyrError *last = zyrError_getLast();
  ASSERT_NE(last, nullptr);
  EXPECT_EQ(zyrError_getCode(last), ZYR_U_INVALID_INPUT);
  EXPECT_STREQ(zyrError_getMessage(last), message);
}

TEST_F(ErrorManager, PublishedWarningIsDisplayedAndKeptWithoutDisplays) {
  zyrError *warning = zyrError_new(ZYR_W_INFORMATION, __func__, __FILE__, __LINE__);
  zyrError_publish(warning);
  EXPECT_EQ(zyrError_isDisplayed(warning), 1);
  int32_t count = -1;
  zyrError **errors = nullptr;
  ASSERT_EQ(zyrErrorManager_getErrors(manager(), &count, &errors), 1);
  ASSERT_EQ(count, 1);
  EXPECT_EQ(errors[0], warning);
  zyrMemory_free(errors, "test");
}

TEST_F(ErrorManager, GetErrorsReturnsKeptClassesOldestFirst) {
  zyrError_publish(zyrError_new(ZYR_U_INVALID_DATA, "a", nullptr, 0));
  ASSERT_EQ(zyrErrorManager_setErrorHandling(manager(), zyrWarning, 1), 1); // show, do not keep
  zyrError_publish(zyrError_new(ZYR_W_INFORMATION, "b", nullptr, 0));
  zyrError *unpublished = zyrError_new(ZYR_U_MISSING_DATA, "c", nullptr, 0);
  int32_t held = 0, count = 0;
  zyrError **errors = nullptr;
  zyrErrorManager_getNoOfErrors(manager(), &held);
  EXPECT_EQ(held, 3);
  ASSERT_EQ(zyrErrorManager_getErrors(manager(), &count, &errors), 1);
  ASSERT_EQ(count, 2);
  EXPECT_STREQ(zyrError_getFunction(errors[0]), "a");
  EXPECT_EQ(errors[1], unpublished); // queued without publishing still reaches the caller
  zyrMemory_free(errors, "test");

  zyrErrorManager_clearErrors(manager());
  zyrError_publish(zyrError_new(ZYR_W_INFORMATION, "only", nullptr, 0));
  zyrError *dummy = nullptr;
  errors = &dummy;
  ASSERT_EQ(zyrErrorManager_getErrors(manager(), &count, &errors), 1);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(errors, nullptr);
}

TEST_F(ErrorManager, ErrorHandlingLimits) {
  int32_t level = -1;
  EXPECT_EQ(zyrErrorManager_setErrorHandling(manager(), zyrUserError, 1), 0);
  expectInvalidInput("class = 2\nlevel = 1\n");
  EXPECT_EQ(zyrErrorManager_setErrorHandling(manager(), zyrOK, 1), 0);
  expectInvalidInput("class = 0\nlevel = 1\n");
  EXPECT_EQ(zyrErrorManager_setErrorHandling(manager(), 5, 1), 0);
  expectInvalidInput("class = 5\n");
  EXPECT_EQ(zyrErrorManager_setErrorHandling(manager(), zyrWarning, 4), 0);
  expectInvalidInput("level = 4\n");
  EXPECT_EQ(zyrErrorManager_setErrorHandling(manager(), -1, -1), 0);
  expectInvalidInput("class = -1\nlevel = -1\n");
  EXPECT_EQ(zyrErrorManager_getErrorHandling(manager(), 9, &level), 0);
  expectInvalidInput("class = 9\n");

  EXPECT_EQ(zyrErrorManager_setErrorHandling(manager(), zyrWarning, 0), 1);
  EXPECT_EQ(zyrErrorManager_setErrorHandling(manager(), zyrOK, 0), 1);
  EXPECT_EQ(zyrErrorManager_setErrorHandling(manager(), zyrResourceError, 2), 1);
  ASSERT_EQ(zyrErrorManager_getErrorHandling(manager(), zyrWarning, &level), 1);
  EXPECT_EQ(level, 0);
  ASSERT_EQ(zyrErrorManager_getErrorHandling(manager(), zyrResourceError, &level), 1);
  EXPECT_EQ(level, 2);
}

TEST_F(ErrorManager, HeldListDoublesWhenFullAndLosesNothing) {
  int32_t held = 0;
  const int32_t capacity = manager()->m_maximumNoOfErrors;
  std::vector<zyrError *> made;
  for (int32_t i = 0; i <= capacity; ++i)
    made.push_back(zyrError_new(ZYR_U_INVALID_DATA, "filler", nullptr, i + 1));
  EXPECT_EQ(manager()->m_maximumNoOfErrors, 2 * capacity);
  zyrErrorManager_getNoOfErrors(manager(), &held);
  ASSERT_EQ(held, capacity + 1);
  for (int32_t i = 0; i <= capacity; ++i)
    EXPECT_EQ(manager()->m_errors[i], made[i]);
  // Removing from the middle keeps the order of the rest.
  zyrError_delete(made[3]);
  EXPECT_EQ(manager()->m_errors[3], made[4]);
  zyrErrorManager_clearErrors(manager());
  zyrErrorManager_getNoOfErrors(manager(), &held);
  EXPECT_EQ(held, 0);
}

int consumeUserErrors(zyrError *error) { return zyrError_getClass(error) == zyrUserError ? 1 : 0; }
int g_handled = 0;
int countingHandler(zyrError *) { return ++g_handled, 0; }

TEST_F(ErrorManager, HandlerThatAnswersOneConsumesTheRecord) {
  g_handled = 0;
  zyrErrorHandler previous = countingHandler;
  ASSERT_EQ(zyrErrorManager_setErrorHandler(manager(), consumeUserErrors, &previous), 1);
  EXPECT_EQ(previous, nullptr);
  zyrError_publish(zyrError_new(ZYR_U_INVALID_DATA, "consumed", nullptr, 0));
  zyrError *kept = zyrError_new(ZYR_W_INFORMATION, "kept", nullptr, 0);
  zyrError_publish(kept);
  int32_t held = 0;
  zyrErrorManager_getNoOfErrors(manager(), &held);
  EXPECT_EQ(held, 1);
  EXPECT_EQ(zyrError_getLast(), kept);
  ASSERT_EQ(zyrErrorManager_setErrorHandler(manager(), countingHandler, &previous), 1);
  EXPECT_EQ(previous, consumeUserErrors);
  zyrError_publish(zyrError_new(ZYR_U_INVALID_DATA, "counted", nullptr, 0));
  EXPECT_EQ(g_handled, 1);
}

TEST_F(ErrorManager, DisplayHandlesAreNeverReusedAndBadOnesAreReported) {
  int32_t first = -1, second = -1;
  ASSERT_EQ(zyrErrorManager_addStreamDisplay(manager(), 2, nullptr, &first), 1);
  ASSERT_EQ(zyrErrorManager_removeDisplay(manager(), first), 1);
  ASSERT_EQ(zyrErrorManager_addStreamDisplay(manager(), 3, nullptr, &second), 1);
  EXPECT_EQ(second, first + 1);
  EXPECT_EQ(zyrErrorManager_removeDisplay(manager(), first), 0);
  expectInvalidInput(("displayHandle = " + std::to_string(first) + "\n").c_str());
  ASSERT_EQ(zyrErrorManager_removeDisplay(manager(), second), 1);
  int32_t handle = 77;
  EXPECT_EQ(zyrErrorManager_addStreamDisplay(manager(), 5, stderr, &handle), 0);
  expectInvalidInput("format = 5\n");
  EXPECT_EQ(zyrErrorManager_addCallbackDisplay(manager(), -2, nullptr, &handle), 0);
  expectInvalidInput("format = -2\n");
  EXPECT_EQ(handle, 77);
}

TEST_F(ErrorManager, PrintListsHeldRecords) {
  zyrError_new(ZYR_U_INVALID_DATA, "a", nullptr, 0);
  zyrError_new(ZYR_W_INFORMATION, "b", nullptr, 0);
  char *text = nullptr;
  size_t size = 0;
  FILE *stream = open_memstream(&text, &size);
  zyrErrorManager_print(manager(), stream);
  std::fclose(stream);
  std::string dump(text, size);
  std::free(text);
  EXPECT_NE(dump.find("m_errorLevel[0]               = 3\n"), std::string::npos);
  EXPECT_NE(dump.find("m_errorLevel[4]               = 3\n"), std::string::npos);
  EXPECT_NE(dump.find("Current errors:\n~~~~~~~~~~~~~~~\n"
                      "   0: Invalid data has been encountered.\n"
                      "   1: A message for information purposes only.\n"),
            std::string::npos);
}

TEST(ErrorLog, PrefixHeadsEveryLineAndOneLineFeedEndsTheText) {
  ScratchDir dir;
  ErrorLog *log = ErrorLog_new(dir.file("e.log").c_str());
  ASSERT_NE(log, nullptr);
  ErrorLog_write(log, "one\ntwo\nthree");
  ErrorLog_write(log, "%s", "four\nfive\n");
  ErrorLog_write(log, "%s", "50% of %d");
  ErrorLog_writeHeader(log, "Title");
  ErrorLog_delete(log);
  std::vector<std::string> lines = zyrtest::splitLines(zyrtest::readFile(dir.file("e.log")));
  const std::regex prefix("^[A-Z][a-z]{2} [A-Z][a-z]{2} [0-9]{2} [0-9]{4} \\([^)]*\\): (.*)$");
  std::vector<std::string> rest;
  for (const std::string &line : lines) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m, prefix)) << line;
    rest.push_back(m[1]);
  }
  const std::string rule(53, '-');
  EXPECT_EQ(rest, (std::vector<std::string>{"one", "two", "three", "four", "five", "50% of %d", rule, "Title", rule}));
  EXPECT_EQ(ErrorLog_new("/nonexistent-dir/x/e.log"), nullptr);
}

// Runs body in a fresh process with the environment variable set (the manager reads it once) and
// expects status 0. The child re-runs the whole test; the log path travels in the environment.
std::string logPathForChild(std::unique_ptr<ScratchDir> &dir, const char *variable) {
  if (const char *inherited = std::getenv(variable))
    return inherited;
  dir = std::make_unique<ScratchDir>();
  std::string path = dir->file("errors.log");
  setenv(variable, path.c_str(), 1);
  return path;
}

// In a fresh process: with ZYR_SUPPRESS_WARNINGS set a published warning is held but neither
// shown nor returned. Exits 0 when that holds.
[[noreturn]] void publishSuppressedWarning() {
  setenv("ZYR_SUPPRESS_WARNINGS", "", 1);
  zyrErrorManager *manager = zyrErrorManager_get();
  zyrError *warning = zyrError_new(ZYR_W_INFORMATION, "w", nullptr, 0);
  zyrError_publish(warning);
  int32_t held = 0;
  int32_t count = -1;
  zyrError **errors = nullptr;
  zyrErrorManager_getNoOfErrors(manager, &held);
  zyrErrorManager_getErrors(manager, &count, &errors);
  std::exit(held == 1 && count == 0 && errors == nullptr && !zyrError_isDisplayed(warning) ? 0 : 3);
}

TEST(ErrorManagerDeathTest, SuppressedWarningsAreNeitherShownNorReturnedButStayHeld) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(publishSuppressedWarning(), testing::ExitedWithCode(0), "");
}

TEST(ErrorManagerDeathTest, EnvironmentLogRecordsEveryStepInAlignedBlocks) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  std::unique_ptr<ScratchDir> dir;
  const std::string path = logPathForChild(dir, "ZYRTEST_ERROR_LOG_PATH");
  EXPECT_EXIT(
      {
        setenv("ZYR_ERROR_LOG", path.c_str(), 1);
        unsetenv("ZYR_SUPPRESS_WARNINGS");
        zyrLibrary_setProgramName("logtest");
        zyrErrorManager *manager = zyrErrorManager_get();
        ErrorLog *log = zyrErrorManager_getErrorLog(manager);
        // The name came from the environment: the program cannot switch the log.
        if (log == nullptr || zyrErrorManager_openErrorLog(manager, "/nonexistent/x.log") != 1 ||
            zyrErrorManager_closeErrorLog(manager) != 1 || zyrErrorManager_getErrorLog(manager) != log)
          std::exit(3);
        zyrError *error = zyrError_new(ZYR_U_INVALID_INPUT, "fn", "f.cpp", 12);
        zyrError_addMessage(error, "first\n");
        zyrError_addMessage(error, "second\n");
        zyrError_addRegion(error, 2, 3, 4);
        zyrError_markFatal(error);
        zyrError_publish(error);
        std::exit(0); // the manager's exit callback deletes the record
      },
      testing::ExitedWithCode(0), "");
  unsetenv("ZYRTEST_ERROR_LOG_PATH");

  std::vector<std::string> lines = zyrtest::splitLines(zyrtest::readFile(path));
  const std::regex prefix("^([A-Z][a-z]{2} [A-Z][a-z]{2} [0-9]{2} [0-9]{4}) \\(([^)]*)\\): (.*)$");
  std::vector<std::string> rest;
  for (const std::string &line : lines) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m, prefix)) << line;
    // Mask the moment (the clock may tick between a record's creation and its log lines).
    std::string text = m[3];
    for (const char *label : {"Started:        ", "Date        = ", "Time        = "})
      if (text.rfind(label, 0) == 0)
        text = label + std::string(label[0] == 'S' ? "@DATE@ @TIME@" : label[0] == 'D' ? "@DATE@" : "@TIME@");
    rest.push_back(text);
  }
  char *host = zyrGetHostName();
  char *directory = zyrGetCurrentDirectory();
  const std::string rule(53, '-');
  std::vector<std::string> expected = {
      "Started:        @DATE@ @TIME@",
      "Application:    logtest",
      std::string("ZYR build:      ") + zyrGetBuildInfo(zyrBuildStamp),
      std::string("Release number: ") + zyrGetBuildInfo(zyrBuildRelease),
      std::string("Running on:     ") + host,
      std::string("Running in:     ") + directory,
      rule, "zyrErrorManager_new", rule,
      "m_errorLevel[0] = 3", "m_errorLevel[1] = 3", "m_errorLevel[2] = 3", "m_errorLevel[3] = 3",
      "m_errorLevel[4] = 3",
      rule, "zyrError_new", rule,
      "Identity    = 0",
      "Class       = zyrUserError",
      "Program     = logtest",
      "Function    = fn",
      "File        = f.cpp",
      "Line number = 12",
      "Error code  = 10020",
      "Description = Invalid input has been encountered.",
      "Fatal       = 0",
      "Date        = @DATE@",
      "Time        = @TIME@",
      rule, "zyrError_addMessage", rule,
      "Identity    = 0", "Message     = \\", "first",
      rule, "zyrError_addMessage", rule,
      "Identity    = 0", "Message     = \\", "first", "second",
      rule, "zyrError_addRegion", rule,
      "Identity       = 0", "Dimensionality = 2", "Region         = (3, 4)",
      rule, "zyrError_markFatal", rule,
      "Identity = 0", "Fatal    = 1",
      rule, "zyrError_publish", rule,
      "Identity    = 0", "Displayed   = 1",
      rule, "zyrError_delete", rule,
      "Identity    = 0"};
  zyrCString_free(host);
  zyrCString_free(directory);
  EXPECT_EQ(rest, expected);
}

TEST_F(ErrorManager, ProgramLogCanBeOpenedAndClosedWhenNotFromTheEnvironment) {
  if (manager()->m_isOverridden)
    GTEST_SKIP() << "ZYR_ERROR_LOG is set for this run";
  ScratchDir dir;
  ASSERT_EQ(zyrErrorManager_openErrorLog(manager(), dir.file("p.log").c_str()), 1);
  zyrError_delete(zyrError_new(ZYR_W_INFORMATION, "logged", nullptr, 0));
  ASSERT_EQ(zyrErrorManager_closeErrorLog(manager()), 1);
  EXPECT_EQ(zyrErrorManager_getErrorLog(manager()), nullptr);
  std::string text = zyrtest::readFile(dir.file("p.log"));
  EXPECT_NE(text.find("zyrErrorManager_openErrorLog\n"), std::string::npos);
  EXPECT_NE(text.find("File name = " + dir.file("p.log") + "\n"), std::string::npos);
  EXPECT_NE(text.find("Function    = logged\n"), std::string::npos);
  EXPECT_NE(text.find("zyrErrorManager_closeErrorLog\n"), std::string::npos);

  EXPECT_EQ(zyrErrorManager_openErrorLog(manager(), "/nonexistent-dir/x/p.log"), 0);
  zyrError *last = zyrError_getLast();
  ASSERT_NE(last, nullptr);
  EXPECT_EQ(zyrError_getCode(last), ZYR_U_UNABLE_TO_OPEN_FILE);
  EXPECT_STREQ(zyrError_getMessage(last), "Unable to open file \"/nonexistent-dir/x/p.log\".\n");
}

} // namespace
