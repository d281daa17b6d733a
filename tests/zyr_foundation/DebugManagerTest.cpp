#include "HashTable.h"
#include "MemoryMonitor.h"
#include "Source.h"
#include "TestSupport.h"
#include "zyrDebugManager.h"
#include "zyrError.h"
#include "zyrErrorManager.h"
#include "zyrLibrary.h"
#include "zyrMemory.h"
#include "zyrTrace.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

using zyrtest::readFile;
using zyrtest::splitLines;
using zyrtest::writeFile;

const int32_t NotSet = INT32_MIN;

// ---- control text read by a manager of its own ----

struct Levels {
  int32_t v[4];
  bool operator==(const Levels &o) const { return std::equal(v, v + 4, o.v); }
};

std::ostream &operator<<(std::ostream &out, const Levels &l) {
  return out << "{" << l.v[0] << ", " << l.v[1] << ", " << l.v[2] << ", " << l.v[3] << "}";
}

// The messages of the warnings raised since the last call (the records are then cleared).
std::vector<std::string> takeWarnings() {
  zyrErrorManager *manager = zyrErrorManager_get();
  int32_t count = 0;
  zyrError **errors = nullptr;
  zyrErrorManager_getErrors(manager, &count, &errors);
  std::vector<std::string> messages;
  for (int32_t i = 0; i < count; ++i) {
    EXPECT_EQ(zyrError_getCode(errors[i]), ZYR_W_INVALID_DATA_IGNORED);
    messages.push_back(zyrError_getMessage(errors[i]));
  }
  zyrMemory_free(errors, "test");
  zyrErrorManager_clearErrors(manager);
  return messages;
}

class ControlText : public testing::Test {
protected:
  void SetUp() override { takeWarnings(); }
  void TearDown() override { zyrDebugManager_delete(m_manager); }

  void read(const std::string &text) {
    Source *source = Source_newBuffer(text.data(), static_cast<int64_t>(text.size()));
    EXPECT_EQ(zyrDebugManager_readControlSource(m_manager, source, 0), 1);
    Source_delete(source);
  }
  Levels levels(const char *function) {
    Levels l;
    zyrDebugManager_getLevels(m_manager, function, l.v);
    return l;
  }

  zyrDebugManager *m_manager = zyrDebugManager_newEmpty();
};

TEST_F(ControlText, LastMatchingRuleWins) {
  read("<DEBUG>\nRegion_.* : 2\nRegion_new = 0\n</DEBUG>\n");
  EXPECT_EQ(levels("Region_new"), (Levels{{NotSet, NotSet, NotSet, NotSet}}));
  EXPECT_EQ(levels("Region_delete"), (Levels{{2, NotSet, NotSet, NotSet}}));
  EXPECT_EQ(levels("Mesh_new"), (Levels{{NotSet, NotSet, NotSet, NotSet}}));
  EXPECT_EQ(levels("MyRegion_new"), (Levels{{NotSet, NotSet, NotSet, NotSet}})); // whole names only
  EXPECT_TRUE(takeWarnings().empty());
}

TEST_F(ControlText, SectionsCommentsAndOddRules) {
  read("# developer's settings\n"
       "\n"
       "<TIME>\n"
       "  # a comment inside a section\n"
       "Hash.* : 7\n"
       "</TIME>\n"
       "<DEBUG>\n"
       "Region _new : 3\n"  // the blank inside the pattern is dropped
       "Mesh_.*\n"          // no level: 0, which reads as not set
       "Mesh_new : x\n"     // not a number: 0
       "HashTable_new : -4\n"
       "Hash.*=12abc\n"
       "</DEBUG>\n"
       "<TEST>\nRegion_new:1\n</TEST>\n"
       "<DISPLAY>\n.*_new : 9\n</DISPLAY>\n");
  EXPECT_EQ(levels("Region_new"), (Levels{{3, 1, 9, NotSet}}));
  EXPECT_EQ(levels("Mesh_new"), (Levels{{NotSet, NotSet, 9, NotSet}}));
  EXPECT_EQ(levels("HashTable_new"), (Levels{{12, NotSet, 9, 7}}));
  EXPECT_EQ(levels("HashTable_resize"), (Levels{{12, NotSet, NotSet, 7}}));
  EXPECT_TRUE(takeWarnings().empty());
}

TEST_F(ControlText, LogsAndOptions) {
  read("<LOGS>\n"
       "memory = mem.log\n"
       "Error : first.log\n"
       "ERROR : err.log\n"
       "session=rec.ses\n"
       "debug = dbg.log\n"
       "other = ignored\n"
       "</LOGS>\n"
       "<OPTIONS>\n"
       "displayerrors = 1\n"
       "</OPTIONS>\n");
  EXPECT_STREQ(zyrDebugManager_getMemoryLogName(m_manager), "mem.log");
  EXPECT_STREQ(zyrDebugManager_getErrorLogName(m_manager), "err.log");
  EXPECT_STREQ(zyrDebugManager_getSessionFileName(m_manager), "rec.ses");
  EXPECT_STREQ(m_manager->m_debugLogName, "dbg.log");
  EXPECT_EQ(zyrDebugManager_getDisplayErrors(m_manager), 0); // the option's name is case-sensitive
  read("<OPTIONS>\nDisplayErrors = 2\n</OPTIONS>\n");
  EXPECT_EQ(zyrDebugManager_getDisplayErrors(m_manager), 2);
  EXPECT_TRUE(takeWarnings().empty());

  EXPECT_EQ(zyrDebugManager_getErrorLogName(nullptr), nullptr);
  EXPECT_EQ(zyrDebugManager_getDisplayErrors(nullptr), 0);
}

TEST_F(ControlText, MalformedContentIsWarnedAboutAndSkipped) {
  read("stray line\n"
       "</DEBUG>\n"
       "<FOO>\n"
       "Region_new : 5\n"
       "</FOO>\n"
       "<DEBUG>\n"
       "Region_(new : 4\n" // would end the process if patterns were fatal
       "a** : 4\n"
       "Region_.* : 2\n"
       "</DEBUG>\n"
       "<BAR\n");
  EXPECT_EQ(levels("Region_new"), (Levels{{2, NotSet, NotSet, NotSet}}));
  EXPECT_EQ(m_manager->m_rules[0]->m_next, nullptr);
  EXPECT_EQ(takeWarnings(),
            (std::vector<std::string>{
                "Incorrectly nested tags in zyr.debug.\nProblem with tag: \"stray line\"\n",
                "Incorrectly nested tags in zyr.debug.\nProblem with tag: \"</DEBUG>\"\n",
                "\"<FOO>\" is an unrecognised tag.\n",
                "Invalid pattern \"Region_(new\" in zyr.debug: unmatched ().\n"
                "The rule has been ignored.\n",
                "Invalid pattern \"a**\" in zyr.debug: nested *?+.\n"
                "The rule has been ignored.\n",
                "\"<BAR\" is an unrecognised tag.\n"}));
}

TEST_F(ControlText, UnclosedSectionRunsToTheEnd) {
  read("<DEBUG>\nf : 1\n<TEST>\ng : 2\n");
  EXPECT_EQ(levels("f"), (Levels{{1, NotSet, NotSet, NotSet}}));
  EXPECT_EQ(levels("<TEST>"), (Levels{{NotSet, NotSet, NotSet, NotSet}})); // a rule, not a tag
  EXPECT_EQ(levels("g"), (Levels{{2, NotSet, NotSet, NotSet}}));
  const std::string longRule = "<DEBUG>\n" + std::string(3000, 'x') + " : 1\n";
  read(longRule); // arrives in pieces of 1023 characters, each of them a rule
  EXPECT_EQ(levels(std::string(1023, 'x').c_str()).v[0], NotSet);
  EXPECT_EQ(levels(std::string(3000 - 2 * 1023, 'x').c_str()).v[0], 1);
  EXPECT_TRUE(takeWarnings().empty());
}

TEST(DebugManager, InactiveManagerWritesNothing) {
  zyrDebugManager *manager = zyrDebugManager_newEmpty();
  EXPECT_EQ(zyrDebugManager_getLogStream(manager), nullptr);
  zyrDebugManager_stop(manager);
  EXPECT_EQ(zyrDebugManager_getLogStream(nullptr), nullptr);
  zyrDebugManager_delete(manager);
}

// ---- the process-wide manager, in fresh processes ----

// The scratch directory of a test whose body runs in a fresh process. The child re-runs the test
// from its start, so the parent hands the directory over through the environment.
class ChildScratch {
public:
  ChildScratch() {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    if (const char *inherited = std::getenv("ZYRTEST_DEBUG_DIR")) {
      m_path = inherited;
    } else {
      m_owned = std::make_unique<zyrtest::ScratchDir>();
      m_path = std::filesystem::canonical(m_owned->path()).string();
      setenv("ZYRTEST_DEBUG_DIR", m_path.c_str(), 1);
    }
  }
  ~ChildScratch() {
    if (m_owned)
      unsetenv("ZYRTEST_DEBUG_DIR");
  }
  std::string file(const std::string &name) const { return m_path + "/" + name; }
  const std::string &path() const { return m_path; }

private:
  std::unique_ptr<zyrtest::ScratchDir> m_owned;
  std::string m_path;
};

// A clean environment for the child's singletons.
void clearDebugEnvironment() {
  for (const char *name : {"ZYR_DEBUG_CONTROL", "ZYR_DEBUG_LOG", "ZYR_MEMORY_LOG", "ZYR_ERROR_LOG",
                           "ZYR_SUPPRESS_WARNINGS"})
    unsetenv(name);
}

// Ends the child with a status naming the first failed check.
#define CHILD_CHECK(condition, status)                                                             \
  do {                                                                                             \
    if (!(condition)) {                                                                            \
      std::fprintf(stderr, "child check failed: %s\n", #condition);                                \
      std::exit(status);                                                                           \
    }                                                                                              \
  } while (0)

int tracedForTest() {
  ZYR_TRACE_BEGIN_DESC("A function traced by the tests.");
  if (ZYR_TRACE_DEBUG(2))
    zyrTrace_printf("detail at level 2\n");
  if (ZYR_TRACE_DEBUG(3))
    zyrTrace_printf("detail at level 3\n");
  return zyr_trace_on_;
}

int untracedByRules() {
  ZYR_TRACE_BEGIN();
  return ZYR_TRACE_DEBUG(1) ? 1 : 0;
}

void growTable() {
  HashTable *table = HashTable_new(0, HashTable_hashInteger, HashTable_compareIntegers);
  for (intptr_t i = 1; i <= 41; ++i)
    HashTable_insert(table, reinterpret_cast<void *>(i), nullptr);
  HashTable_delete(table);
}

const std::string kEquals(80, '=');
const std::string kDashes(80, '-');

TEST(DebugManagerDeathTest, ControlFileInWorkingDirectoryDrivesTracingAndLogs) {
  ChildScratch dir;
  writeFile(dir.file("zyr.debug"), "# tracing for the tests\n"
                                   "<DEBUG>\n"
                                   "tracedForTest : 2\n"
                                   "HashTable_resize = 1\n"
                                   "bad(pattern : 4\n"
                                   "</DEBUG>\n"
                                   "<TEST>\n"
                                   "tracedForTest : 5\n"
                                   "</TEST>\n"
                                   "<LOGS>\n"
                                   "debug = " + dir.file("dbg.log") + "\n"
                                   "memory = " + dir.file("mem.log") + "\n"
                                   "error = " + dir.file("err.log") + "\n"
                                   "</LOGS>\n");
  EXPECT_EXIT(
      {
        clearDebugEnvironment();
        CHILD_CHECK(chdir(dir.path().c_str()) == 0, 2);
        zyrLibrary_setProgramName("zyrtest");
        CHILD_CHECK(tracedForTest() == 1, 3);
        CHILD_CHECK(tracedForTest() == 1, 4);
        CHILD_CHECK(untracedByRules() == 0, 5);
        growTable();
        zyrDebugManager *manager = zyrDebugManager_get();
        CHILD_CHECK(manager != nullptr && manager->m_active == 1, 6);
        CHILD_CHECK(zyrErrorManager_getErrorLog(zyrErrorManager_get()) != nullptr, 7);
        zyrError *warning = zyrError_getLast();
        CHILD_CHECK(warning != nullptr && zyrError_getCode(warning) == ZYR_W_INVALID_DATA_IGNORED, 8);
        zyrDebugManager_stop(manager);
        CHILD_CHECK(tracedForTest() == 0, 9);
        // Started again: a new start banner, tracing resumes, free text goes to the same log.
        zyrDebugManager_start(manager);
        CHILD_CHECK(tracedForTest() == 1, 10);
        zyrDebugManager_printf("printed %d\n", 42);
        zyrDebugManager_stop(manager);
        std::exit(0);
      },
      testing::ExitedWithCode(0), "");

  const auto log = splitLines(readFile(dir.file("dbg.log")));
  ASSERT_GE(log.size(), 9u);
  EXPECT_EQ(log[0], kEquals);
  EXPECT_EQ(log[1].rfind("Started:        ", 0), 0u);
  EXPECT_NE(log[1], "Started:        UNKNOWN");
  EXPECT_EQ(log[2], kEquals);
  EXPECT_EQ(log[3], "Application:    zyrtest");
  EXPECT_EQ(log[4], std::string("ZYR build:      ") + zyrGetBuildInfo(zyrBuildStamp));
  EXPECT_EQ(log[5], std::string("Release number: ") + zyrGetBuildInfo(zyrBuildRelease));
  EXPECT_EQ(log[6].rfind("Running on:     ", 0), 0u);
  EXPECT_EQ(log[7], "Running in:     " + dir.path());
  EXPECT_EQ(log[8], kEquals);

  // Every line after the start banner; the table's address varies.
  std::string rest;
  for (size_t i = 9; i < log.size(); ++i)
    rest += (log[i].rfind("Resizing hash table", 0) == 0 ? "Resizing hash table @ from 13 to 31." : log[i]) + "\n";
  std::string pairs;
  for (int i = 0; i < 40; ++i)
    pairs += "- ";
  const std::string banner = "\n" + kDashes + "\ntracedForTest:\n" + pairs + "\nA function traced by the tests.\n" +
                             kDashes + "\n";
  const std::string expected = banner +
                               "Debug level        = 2\n"
                               "Self-testing level = 5\n" +
                               std::string(70, '-') + "\n" + "detail at level 2\n" + banner +
                               "detail at level 2\n"
                               "\n" + kDashes + "\nHashTable_resize:\n" + pairs +
                               "\nIncrease or decrease the size of a hash table.\n" + kDashes +
                               "\nDebug level        = 1\n" + std::string(70, '-') +
                               "\nResizing hash table @ from 13 to 31.\n" + kEquals + "\n";
  EXPECT_EQ(rest.substr(0, expected.size()), expected);
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log[log.size() - 3], kEquals);
  EXPECT_EQ(log[log.size() - 2].rfind("Stopped:        ", 0), 0u);
  EXPECT_EQ(log.back(), kEquals);
  EXPECT_EQ(std::count_if(log.begin(), log.end(), [](const std::string &l) { return l.rfind("Started:", 0) == 0; }), 2);
  EXPECT_EQ(std::count_if(log.begin(), log.end(), [](const std::string &l) { return l.rfind("Stopped:", 0) == 0; }), 2);
  EXPECT_EQ(log[log.size() - 4], "printed 42");

  // The memory log started while the control file was read.
  const auto memory = splitLines(readFile(dir.file("mem.log")));
  ASSERT_FALSE(memory.empty());
  EXPECT_EQ(memory[0].rfind("MemoryMonitor_new", 0), 0u);
  EXPECT_NE(readFile(dir.file("err.log")).find("zyrErrorManager_new"), std::string::npos);
}

TEST(DebugManagerDeathTest, DebugLogVariableSendsTheBannersToStandardError) {
  ChildScratch dir;
  writeFile(dir.file("control"), "<LOGS>\nDEBUG = " + dir.file("ignored.log") +
                                     "\n</LOGS>\n<DEBUG>\ntracedForTest: 1\n</DEBUG>\n");
  EXPECT_EXIT(
      {
        clearDebugEnvironment();
        setenv("ZYR_DEBUG_CONTROL", dir.file("control").c_str(), 1);
        setenv("ZYR_DEBUG_LOG", "stderr", 1);
        CHILD_CHECK(tracedForTest() == 1, 2);
        CHILD_CHECK(zyrDebugManager_getLog() == stderr, 3);
        std::exit(0);
      },
      testing::ExitedWithCode(0), "=\nStarted:        .*\nRunning in:     .*\ntracedForTest:\n.*Debug level        = 1\n");
  EXPECT_FALSE(std::filesystem::exists(dir.file("ignored.log")));
}

TEST(DebugManagerDeathTest, NoControlFileLeavesTracingOff) {
  ChildScratch dir;
  EXPECT_EXIT(
      {
        clearDebugEnvironment();
        CHILD_CHECK(chdir(dir.path().c_str()) == 0, 2);
        CHILD_CHECK(tracedForTest() == 0, 3);
        zyrDebugManager *manager = zyrDebugManager_get();
        CHILD_CHECK(manager != nullptr && manager->m_active == 0 && manager->m_log == nullptr, 4);
        CHILD_CHECK(zyrDebugManager_getLog() == nullptr, 5);
        CHILD_CHECK(zyrError_getLast() == nullptr, 6);
        std::exit(0);
      },
      testing::ExitedWithCode(0), "");
}

// Creation of either manager may start the other; either way there is one of each, and a
// control file that cannot be opened leaves the debug manager inactive with error 10020 held.
void checkUnopenableControlFile(const std::string &name, bool errorManagerFirst) {
  clearDebugEnvironment();
  setenv("ZYR_DEBUG_CONTROL", name.c_str(), 1);
  zyrErrorManager *errors = errorManagerFirst ? zyrErrorManager_get() : nullptr;
  zyrDebugManager *debug = zyrDebugManager_get();
  if (!errorManagerFirst)
    errors = zyrErrorManager_get();
  CHILD_CHECK(debug != nullptr && debug->m_active == 0, 2);
  CHILD_CHECK(zyrDebugManager_get() == debug && zyrErrorManager_get() == errors, 3);
  zyrError *error = zyrError_getLast();
  CHILD_CHECK(error != nullptr && zyrError_getCode(error) == ZYR_U_INVALID_INPUT, 4);
  CHILD_CHECK(std::string(zyrError_getMessage(error)) == "Unable to open file " + name + ".\n", 5);
  int32_t count = 0;
  zyrErrorManager_getNoOfErrors(errors, &count);
  CHILD_CHECK(count == 1, 6);
  CHILD_CHECK(tracedForTest() == 0, 7);
  std::exit(0);
}

TEST(DebugManagerDeathTest, UnopenableControlFileWithDebugManagerFirst) {
  ChildScratch dir;
  EXPECT_EXIT(checkUnopenableControlFile(dir.file("missing.debug"), false), testing::ExitedWithCode(0), "");
}

TEST(DebugManagerDeathTest, UnopenableControlFileWithErrorManagerFirst) {
  ChildScratch dir;
  EXPECT_EXIT(checkUnopenableControlFile(dir.file("missing.debug"), true), testing::ExitedWithCode(0), "");
}

TEST(DebugManagerDeathTest, WarningsReachTheErrorLogAndDisplayNamedByTheControlFile) {
  // The warning comes before the LOGS and OPTIONS sections; it is raised once the debug manager is
  // complete, so the error manager it creates already has the log and the display.
  ChildScratch dir;
  writeFile(dir.file("control"), "stray line\n<LOGS>\nerror = " + dir.file("err.log") +
                                     "\n</LOGS>\n<OPTIONS>\nDisplayErrors = 2\n</OPTIONS>\n");
  EXPECT_EXIT(
      {
        clearDebugEnvironment();
        setenv("ZYR_DEBUG_CONTROL", dir.file("control").c_str(), 1);
        setenv("ZYR_DEBUG_LOG", dir.file("dbg.log").c_str(), 1);
        zyrDebugManager_get();
        zyrError *warning = zyrError_getLast();
        CHILD_CHECK(warning != nullptr && zyrError_isDisplayed(warning), 2);
        std::exit(0);
      },
      testing::ExitedWithCode(0), "Problem with tag: \"stray line\"");
  const std::string errorLog = readFile(dir.file("err.log"));
  EXPECT_NE(errorLog.find("zyrError_display"), std::string::npos);
  EXPECT_NE(errorLog.find("Function    = zyrDebugManager_readControlFile"), std::string::npos);
}

TEST(DebugManagerDeathTest, UnopenableDebugLogLeavesTracingOff) {
  ChildScratch dir;
  writeFile(dir.file("control"), "<DEBUG>\ntracedForTest : 1\n</DEBUG>\n");
  const std::string logName = dir.file("no/such/dir/dbg.log");
  EXPECT_EXIT(
      {
        clearDebugEnvironment();
        setenv("ZYR_DEBUG_CONTROL", dir.file("control").c_str(), 1);
        setenv("ZYR_DEBUG_LOG", logName.c_str(), 1);
        CHILD_CHECK(tracedForTest() == 0, 2);
        CHILD_CHECK(zyrDebugManager_get()->m_active == 0, 3);
        std::exit(0);
      },
      testing::ExitedWithCode(0),
      "\n\nERROR: Unable to open debug logging file .*no/such/dir/dbg.log.\n"
      "       Debug logging has not been activated.\n\n");
}

TEST(DebugManagerDeathTest, ControlFileWithoutLogNameTracesToStandardOutput) {
  ChildScratch dir;
  writeFile(dir.file("control"), "<DEBUG>\ntracedForTest : 1\n</DEBUG>\n");
  EXPECT_EXIT(
      {
        clearDebugEnvironment();
        setenv("ZYR_DEBUG_CONTROL", dir.file("control").c_str(), 1);
        CHILD_CHECK(std::freopen(dir.file("out.txt").c_str(), "w", stdout) != nullptr, 2);
        CHILD_CHECK(tracedForTest() == 1, 3);
        zyrDebugManager *manager = zyrDebugManager_get();
        CHILD_CHECK(manager->m_log == stdout && std::string(manager->m_debugLogName) == "stdout", 4);
        std::exit(0);
      },
      testing::ExitedWithCode(0), "");
  const std::string out = readFile(dir.file("out.txt"));
  EXPECT_EQ(out.rfind(kEquals + "\nStarted:        ", 0), 0u);
  EXPECT_NE(out.find("\ntracedForTest:\n"), std::string::npos);
}

} // namespace
