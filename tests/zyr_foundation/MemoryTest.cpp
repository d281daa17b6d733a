#include "MemoryMonitor.h"
#include "TestSupport.h"
#include "zyrMemory.h"

#include <cstdlib>
#include <memory>

namespace {

using zyrtest::ScratchDir;

struct LogLine {
  std::string tag;
  std::string size, total, kind;
};

// "%-35s %12d %12d A %p": fixed columns up to the kind letter; pointers are not compared.
LogLine parse(const std::string &line) {
  LogLine l;
  l.tag = line.substr(0, 35);
  while (!l.tag.empty() && l.tag.back() == ' ')
    l.tag.pop_back();
  l.size = line.substr(36, 12);
  l.total = line.substr(49, 12);
  l.kind = line.substr(62, 1);
  return l;
}

std::string num(long v) {
  char b[32];
  std::snprintf(b, sizeof b, "%12ld", v);
  return b;
}

TEST(Memory, ZeroSizedRequestsGiveNullAndNoLogLine) {
  ScratchDir dir;
  MemoryMonitor *previous = zyrMemory_setMonitor(MemoryMonitor_new(dir.file("m.log").c_str()));
  EXPECT_EQ(zyrMemory_allocate(0, "t"), nullptr);
  EXPECT_EQ(zyrMemory_tryAllocate(0, "t"), nullptr);
  EXPECT_EQ(zyrMemory_allocateAndSet(0, 7, "t"), nullptr);
  EXPECT_EQ(zyrMemory_duplicate("x", 0, "t"), nullptr);
  zyrMemory_free(nullptr, "t");
  char *p = nullptr;
  zyrMemory_freeAndClear(&p, "t");
  MemoryMonitor_delete(zyrMemory_setMonitor(previous));
  auto lines = zyrtest::splitLines(zyrtest::readFile(dir.file("m.log")));
  ASSERT_EQ(lines.size(), 2u); // the monitor's own record, and its release at deletion
  EXPECT_EQ(parse(lines[0]).tag, "MemoryMonitor_new");
  EXPECT_EQ(parse(lines[1]).tag, "MemoryMonitor_delete");
}

TEST(Memory, LogLinesCarryTagsSizesAndRunningTotals) {
  ScratchDir dir;
  MemoryMonitor *monitor = MemoryMonitor_new(dir.file("m.log").c_str());
  ASSERT_NE(monitor, nullptr);
  long self = MemoryMonitor_getTotal(monitor);
  MemoryMonitor *previous = zyrMemory_setMonitor(monitor);

  void *a = zyrMemory_allocate(100, "first");
  void *b = zyrMemory_allocateAndSet(20, 0xAB, "second");
  EXPECT_EQ(static_cast<unsigned char *>(b)[19], 0xAB);
  a = zyrMemory_reallocate(a, 150, "grow");
  void *c = zyrMemory_reallocate(nullptr, 8, "fromNull");
  zyrMemory_free(b, "releaseB");
  int outside = 0;
  zyrMemory_free_external(std::malloc(4), "ext"); // never logged
  zyrMemory_register(12, &outside, "registered");
  EXPECT_EQ(zyrMemory_reallocate(c, 0, "shrinkToNothing"), nullptr);
  void *unknown = std::malloc(16);
  zyrMemory_free(unknown, "unknown");
  MemoryMonitor_delete(zyrMemory_setMonitor(previous));
  zyrMemory_free(a, "after"); // no monitor: nothing written

  auto lines = zyrtest::splitLines(zyrtest::readFile(dir.file("m.log")));
  ASSERT_EQ(lines.size(), 12u);
  struct Expect { const char *tag; long size; long total; const char *kind; };
  const Expect expected[] = {
      {"MemoryMonitor_new", self, self, "A"},
      {"first", 100, self + 100, "A"},
      {"second", 20, self + 120, "A"},
      {"grow", 50, self + 170, "R"},
      {"fromNull", 8, self + 178, "R"},
      {"releaseB", -20, self + 158, "F"},
      {"registered", 12, self + 170, "A"},
      {"shrinkToNothing", -8, self + 162, "F"},
  };
  for (size_t i = 0; i < 8; ++i) {
    LogLine l = parse(lines[i]);
    EXPECT_EQ(l.tag, expected[i].tag) << i;
    EXPECT_EQ(l.size, num(expected[i].size)) << i;
    EXPECT_EQ(l.total, num(expected[i].total)) << i;
    EXPECT_EQ(l.kind, expected[i].kind) << i;
  }
  EXPECT_EQ(lines[8].substr(0, 63), std::string("unknown") + std::string(28, ' ') +
                                        "            ?            ? F");
  // Deletion releases what is left, newest first, down to zero.
  EXPECT_EQ(parse(lines[9]).tag, "MemoryMonitor_delete");
  EXPECT_EQ(parse(lines[9]).size, num(-12));
  EXPECT_EQ(parse(lines[10]).size, num(-150));
  EXPECT_EQ(parse(lines[10]).total, num(self));
  EXPECT_EQ(parse(lines[11]).size, num(-self));
  EXPECT_EQ(parse(lines[11]).total, num(0));
}

TEST(Memory, ReleaseFindsNewestRecordAmongManyLiveBlocks) {
  ScratchDir dir;
  MemoryMonitor *fresh = MemoryMonitor_new(dir.file("m.log").c_str());
  const long self = MemoryMonitor_getTotal(fresh);
  MemoryMonitor *previous = zyrMemory_setMonitor(fresh);
  std::vector<void *> blocks;
  for (int i = 1; i <= 2000; ++i)
    blocks.push_back(zyrMemory_allocate(i, "many"));
  for (size_t i = 0; i < blocks.size(); i += 2)
    zyrMemory_free(blocks[i], "many");
  MemoryMonitor *monitor = zyrMemory_setMonitor(previous);
  long live = 0;
  for (int i = 2; i <= 2000; i += 2)
    live += i;
  EXPECT_EQ(MemoryMonitor_getTotal(monitor), self + live);
  MemoryMonitor_delete(monitor);
  auto lines = zyrtest::splitLines(zyrtest::readFile(dir.file("m.log")));
  // 1 + 2000 + 1000 lines, then the 1000 odd-indexed blocks and the monitor at deletion.
  ASSERT_EQ(lines.size(), 1u + 2000u + 1000u + 1000u + 1u);
  EXPECT_EQ(parse(lines[3001]).size, num(-2000)); // newest live block first
  EXPECT_EQ(parse(lines.back()).tag, "MemoryMonitor_delete");
  EXPECT_EQ(parse(lines.back()).total, num(0));
  for (size_t i = 1; i < blocks.size(); i += 2)
    std::free(blocks[i]);
}

TEST(MemoryDeathTest, EnvironmentStartsTheLogAtFirstAllocation) {
  // A fresh process (the allocator reads the environment once): the child re-runs this test from
  // the start, so it takes the log path from the parent through the environment.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  std::unique_ptr<ScratchDir> dir;
  std::string log;
  if (const char *inherited = std::getenv("ZYRTEST_MEMORY_LOG_PATH")) {
    log = inherited;
  } else {
    dir = std::make_unique<ScratchDir>();
    log = dir->file("env.log");
    setenv("ZYRTEST_MEMORY_LOG_PATH", log.c_str(), 1);
  }
  EXPECT_EXIT(
      {
        setenv("ZYR_MEMORY_LOG", log.c_str(), 1);
        void *p = zyrMemory_allocate(24, "firstCall");
        zyrMemory_free(p, "firstCall");
        std::exit(0);
      },
      testing::ExitedWithCode(0), "");
  unsetenv("ZYRTEST_MEMORY_LOG_PATH");
  auto lines = zyrtest::splitLines(zyrtest::readFile(log));
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(parse(lines[0]).tag, "MemoryMonitor_new");
  EXPECT_EQ(parse(lines[1]).tag, "firstCall");
  EXPECT_EQ(parse(lines[1]).kind, "A");
  EXPECT_EQ(parse(lines[2]).kind, "F");
}

TEST(MemoryDeathTest, FailedAllocationEndsProcessNamingTheTag) {
  EXPECT_EXIT(zyrMemory_allocate(INT64_C(1) << 60, "hugeRequester"), testing::ExitedWithCode(1),
              "Unable to allocate enough memory in function\n\nhugeRequester\n\n  Requested number "
              "of bytes was 1152921504606846976");
  EXPECT_EQ(zyrMemory_tryAllocate(INT64_C(1) << 60, "t"), nullptr);
}

TEST(MemoryMonitor, UnopenableLogFileLeavesNoMonitor) {
  testing::internal::CaptureStderr();
  EXPECT_EQ(MemoryMonitor_new("/nonexistent-dir/x/m.log"), nullptr);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err, "\n\nERROR: Unable to open memory logging file /nonexistent-dir/x/m.log.\n"
                 "       Memory logging has not been activated.\n\n");
}

} // namespace
