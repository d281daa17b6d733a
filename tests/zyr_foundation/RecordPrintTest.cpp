// The prints of the process, listing, source, memory-log and error-display records, and the
// directory choices of an environment taken from other variables.
#include "Environment.h"
#include "ErrorDisplay.h"
#include "MemoryMonitor.h"
#include "ProcessStartup.h"
#include "Source.h"
#include "zyrCString.h"
#include "zyrSystem.h"
#include "zyrTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

namespace {

using zyrtest::contains;
using zyrtest::printed;

std::string take(char *text) {
  std::string out = text != nullptr ? text : "(null)";
  zyrCString_free(text);
  return out;
}

TEST(RecordPrint, StartupListsStreamsAndInheritedDescriptors) {
  ProcessStartup *startup = ProcessStartup_new();
  EXPECT_EQ(printed([&](FILE *f) { ProcessStartup_print(startup, f); }),
            "m_standard     = -1 -1 -1\nm_useStandard  = 0\nm_inherited    =\n");
  ASSERT_EQ(ProcessStartup_setStandardStream(startup, 1, 7), 1);
  ASSERT_EQ(ProcessStartup_inherit(startup, 9), 1);
  EXPECT_EQ(printed([&](FILE *f) { ProcessStartup_print(startup, f); }),
            "m_standard     = -1 7 -1\nm_useStandard  = 1\nm_inherited    = 9\n");
  ProcessStartup_delete(startup);
}

TEST(RecordPrint, ListingSourceMonitorAndDisplay) {
  zyrtest::ScratchDir dir;
  zyrtest::writeFile(dir.file("a"), "x");
  EXPECT_EQ(printed([](FILE *f) { zyrDirectory_print(nullptr, f); }), "zyrDirectory: NULL\n");
  zyrDirectory *listing = zyrDirectory_new(dir.path().c_str());
  ASSERT_NE(listing, nullptr);
  const std::string listingText = printed([&](FILE *f) { zyrDirectory_print(listing, f); });
  EXPECT_TRUE(contains(listingText, "m_handle = open\n")) << listingText;
  EXPECT_TRUE(contains(listingText, "m_count  = 0\n")) << listingText;
  // ".", ".." and "a"; the name line shows the entry returned last.
  const char *last = nullptr;
  for (const char *name = zyrDirectory_next(listing); name != nullptr; name = zyrDirectory_next(listing))
    last = name;
  ASSERT_NE(last, nullptr);
  const std::string walked = printed([&](FILE *f) { zyrDirectory_print(listing, f); });
  EXPECT_TRUE(contains(walked, "m_count  = 3\n")) << walked;
  zyrDirectory_delete(listing);

  EXPECT_EQ(printed([](FILE *f) { Source_print(nullptr, f); }), "Source: NULL\n");
  Source *source = Source_newBuffer("abc", 3);
  ASSERT_NE(source, nullptr);
  EXPECT_TRUE(contains(printed([&](FILE *f) { Source_print(source, f); }), "  memory  = 0 of 3 bytes read\n"));
  Source_delete(source);

  EXPECT_EQ(printed([](FILE *f) { MemoryMonitor_print(nullptr, f); }), "MemoryMonitor: NULL\n");
  MemoryMonitor *monitor = MemoryMonitor_new(dir.file("memory.log").c_str());
  ASSERT_NE(monitor, nullptr);
  int block = 0;
  MemoryMonitor_recordAllocation(monitor, &block, 100, "test");
  const std::string monitorText = printed([&](FILE *f) { MemoryMonitor_print(monitor, f); });
  EXPECT_TRUE(contains(monitorText, "  m_total  = " + std::to_string(MemoryMonitor_getTotal(monitor)) + "\n")) << monitorText;
  EXPECT_TRUE(contains(monitorText, "  m_blocks = 2 live\n")) << monitorText; // the monitor's own and ours
  MemoryMonitor_recordRelease(monitor, &block, "test");
  MemoryMonitor_delete(monitor);

  EXPECT_EQ(ErrorDisplay_getId(nullptr), -1);
  ErrorDisplay *first = ErrorDisplay_newStream(2, nullptr);
  ErrorDisplay *second = ErrorDisplay_newStream(2, nullptr);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_NE(ErrorDisplay_getId(first), ErrorDisplay_getId(second));
  const std::string displayText = printed([&](FILE *f) { ErrorDisplay_print(second, f); });
  EXPECT_TRUE(contains(displayText, "m_format       = 2\n")) << displayText;
  EXPECT_TRUE(contains(displayText, "m_id           = " + std::to_string(ErrorDisplay_getId(second)) + "\n")) << displayText;
  ErrorDisplay_delete(second);
  ErrorDisplay_delete(first);
}

TEST(RecordPrint, EnvironmentDirectoriesFromOtherVariables) {
  zyrtest::EnvGuard b("ZYRQBINDIR", "/q/b"), e("ZYRQEXECDIR", "/q/e"), t("TMPDIR", nullptr);
  zyrtest::EnvGuard alt("ZYRTEST_ALT_DIR", "/alt"), unset("ZYRTEST_UNSET_DIR", nullptr);
  Environment *environment = Environment_new("ZYRQ");
  ASSERT_NE(environment, nullptr);
  EXPECT_EQ(Environment_useExecDirVariable(environment, "ZYRTEST_UNSET_DIR"), 0);
  EXPECT_EQ(Environment_useTempDirVariable(environment, "ZYRTEST_UNSET_DIR"), 0);
  EXPECT_EQ(take(Environment_getExecDir(environment)), "/q/e");
  EXPECT_EQ(take(Environment_getTempDir(environment)), ".");
  EXPECT_EQ(Environment_useExecDirVariable(environment, "ZYRTEST_ALT_DIR"), 1);
  EXPECT_EQ(Environment_useTempDirVariable(environment, "ZYRTEST_ALT_DIR"), 1);
  Environment_overrideBinDir(environment, "/over");
  EXPECT_EQ(take(Environment_getExecDir(environment)), "/alt");
  EXPECT_EQ(take(Environment_getTempDir(environment)), "/alt");
  EXPECT_EQ(take(Environment_getBinDir(environment)), "/over");
  const std::string text = printed([&](FILE *f) { Environment_print(environment, f); });
  EXPECT_TRUE(contains(text, "Scripts    directory:  Explicitly overriden")) << text;
  EXPECT_TRUE(contains(text, "Temporary  directory:  Set from the non-standard environment variable \"ZYRTEST_ALT_DIR")) << text;
  Environment_delete(environment);
}

} // namespace
