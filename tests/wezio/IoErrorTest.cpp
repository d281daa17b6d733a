// Message expansion, delivery, system-error and memory reports, and the trace switch.
#include "io_alloc.h"
#include "io_error.h"
#include "wezio_test_util.h"
#include "zyrTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cinttypes>
#include <cstdlib>
#include <fcntl.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace wezio_test;

namespace {

class IoErrorTest : public testing::Test {
protected:
  void SetUp() override { messages().clear(); }
  void TearDown() override { io_alloc_fail(-1, 0); }
};

TEST_F(IoErrorTest, ExpandsTheFiveConversionsAndAppendsOneNewline) {
  io_report_error(captureMessage, "copy_all_ds: copy_dataset failed on %s/%s/%d", "A", "B", 3);
  ASSERT_EQ(messages().size(), 1u);
  EXPECT_EQ(messages()[0], "copy_all_ds: copy_dataset failed on A/B/3\n");
  EXPECT_EQ(messages()[0].size(), 42u);

  io_report_error(captureMessage, "100%% %c %d %" PRId64 " %s\n", 'x', -7, INT64_MIN, "end");
  EXPECT_EQ(messages()[1], "100% x -7 -9223372036854775808 end\n");
  // The expander's own spelling of a 64-bit integer (hidden from the compiler's check).
  const char *format = "%I64d|%lld|%d";
  io_report_error(captureMessage, format, INT64_MAX, static_cast<long long>(-1), 5);
  EXPECT_EQ(messages()[2], "9223372036854775807|-1|5\n");
}

TEST_F(IoErrorTest, UnknownConversionIsKeptAndSkipsItsArgument) {
  const char *other = "%I32d then %s";
  const char *lone = "ends in a lone %";
  io_report_error(captureMessage, "a %x b %d", 5, 7);
  io_report_error(captureMessage, other, 1, "s");
  io_report_error(captureMessage, lone, 0);
  EXPECT_EQ(messages()[0], "a %x b 7\n");
  EXPECT_EQ(messages()[1], "%I32d then s\n");
  EXPECT_EQ(messages()[2], "ends in a lone %\n");
}

TEST_F(IoErrorTest, ExpansionAndCopy) {
  const char *lone = "no conversions %";
  char *plain = io_copy_message(lone, 0);
  char *expanded = io_copy_message("n=%d", 12);
  char *copied = io_copy_message("plain");
  EXPECT_STREQ(plain, "no conversions %");
  EXPECT_STREQ(expanded, "n=12");
  EXPECT_STREQ(copied, "plain");
  io_free(plain);
  io_free(expanded);
  io_free(copied);
  // A long expansion grows the buffer several times.
  std::string big(5000, 'q');
  char *grown = io_copy_message("<%s|%s>", big.c_str(), big.c_str());
  EXPECT_EQ(std::string(grown), "<" + big + "|" + big + ">");
  io_free(grown);
}

TEST_F(IoErrorTest, NullCallbackAndNullFormatDeliverNothing) {
  io_report_error(nullptr, "nobody listens %d", 1);
  io_report_error(captureMessage, nullptr);
  EXPECT_TRUE(messages().empty());
}

TEST_F(IoErrorTest, SystemErrorsCarryTheSystemText) {
  errno = ENOENT;
  wezsystemErr(captureMessage, "iif_open: can't open file x");
  EXPECT_EQ(messages()[0], "iif_open: can't open file x: No such file or directory\n");
  errno = EACCES;
  io_report_syserr(captureMessage,
                   "wezgotoIndexLocation: (fseek rel %" PRId64 " failed) syserr:",
                   static_cast<int64_t>(-21));
  EXPECT_EQ(messages()[1],
            "wezgotoIndexLocation: (fseek rel -21 failed) syserr:: Permission denied\n");
}

TEST_F(IoErrorTest, MemoryReport) {
  io_report_malloc_error(captureMessage, "iif_create_empty: error allocating new index",
                         2560256);
  EXPECT_EQ(messages()[0],
            "iif_create_empty: error allocating new index: malloc of 2560256 bytes failed\n");
}

TEST_F(IoErrorTest, FallbacksWhenMemoryRunsOut) {
  // Nothing can be allocated: the format itself is delivered.
  io_alloc_fail(0, -1);
  io_report_error(captureMessage, "f %d", 1);
  ASSERT_EQ(messages().size(), 1u);
  EXPECT_EQ(messages()[0], "f %d");

  // The expansion succeeds but the newline cannot be added.
  io_alloc_fail(1, -1);
  io_report_error(captureMessage, "f %d", 1);
  EXPECT_EQ(messages()[1], "f 1");

  // The memory report cannot build its line: it prints it and delivers a short text.
  io_alloc_fail(0, -1);
  testing::internal::CaptureStdout();
  io_report_malloc_error(captureMessage, "thing", 99);
  std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_EQ(printed, "thing: malloc of 99 bytes failed\n");
  EXPECT_EQ(messages()[2], "memory allocation failure");

  testing::internal::CaptureStdout();
  wezsystemErr(captureMessage, "text");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "wezsystemErr: malloc failed\n");
  io_alloc_fail(-1, 0);
  EXPECT_EQ(messages().size(), 3u);
}

// The workers of the compression and of the open allocate too (a message is made for
// WEZ_IO_DEBUG_ERRORS even where no callback hears it): the injected failures are counted exactly
// whichever threads allocate, and allocation works again after them.
TEST_F(IoErrorTest, InjectedFailuresAreCountedExactlyAcrossThreads) {
  const int threads = 4;
  const int64_t each = 100000, skip = 1000, failures = 150000;
  std::atomic<int64_t> failed{0};
  std::atomic<int> ready{0};
  io_alloc_fail(skip, failures);
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t)
    workers.emplace_back([&] {
      // All start together, so that their allocations meet.
      for (++ready; ready.load() < threads;)
        std::this_thread::yield();
      for (int64_t i = 0; i < each; ++i) {
        void *block = io_malloc(8);
        if (block == nullptr)
          ++failed;
        io_free(block);
      }
    });
  for (std::thread &worker : workers)
    worker.join();
  EXPECT_EQ(failed.load(), failures);
  void *block = io_malloc(8);
  EXPECT_NE(block, nullptr);
  io_free(block);
}

TEST_F(IoErrorTest, DefaultCallbackWritesToStandardError) {
  testing::internal::CaptureStderr();
  io_report_error(io_default_error_callback, "read_header: bad format string %c%c", 'Q', '?');
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "IO: read_header: bad format string Q?\n");
}

TEST_F(IoErrorTest, DebugBreakSwitchWithoutDebuggerOnlyReports) {
  setenv("WEZ_IO_DEBUG_ERRORS", "1", 1);
  io_report_error(captureMessage, "still reported");
  unsetenv("WEZ_IO_DEBUG_ERRORS");
  EXPECT_EQ(messages()[0], "still reported\n");
}

TEST_F(IoErrorTest, StatusTexts) {
  EXPECT_STREQ(io_status_text(IO_OK), "success");
  EXPECT_STREQ(io_status_text(IO_READ_ERR), "read failed");
  EXPECT_STREQ(io_status_text(999), "unknown status");
}

// The trace switch is read once per process, so each case runs in a fresh child.
std::string traceOutputOf(void (*body)()) {
  zyrtest::ScratchDir scratch("wezio-trace");
  const std::string name = scratch.file("stdout");
  int fd = open(name.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  fflush(stdout);
  int saved = dup(1);
  dup2(fd, 1);
  body();
  fflush(stdout);
  dup2(saved, 1);
  close(saved);
  std::string content;
  lseek(fd, 0, SEEK_SET);
  char buffer[1024];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof buffer)) > 0) content.append(buffer, static_cast<size_t>(n));
  close(fd);
  return content;
}

TEST(IoTraceDeathTest, TraceLinesWhenSwitchedOn) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        setenv("WEZ_IO_TRACE", "", 1);
        std::string out = traceOutputOf([] {
          io_trace("iif_close: Closing file %s", "a%b");
          io_trace("Returning %d matches\n", 2);
          io_report_error(captureMessage, "file %s", "100%s.dat");
        });
        exit(out == "TRACE> iif_close: Closing file a%b\n"
                    "TRACE> Returning 2 matches\n"
                    "TRACE> file 100%s.dat\n"
                 ? 0
                 : 1);
      },
      testing::ExitedWithCode(0), "");
}

TEST(IoTraceDeathTest, SwitchIsDecidedOnFirstUse) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        unsetenv("WEZ_IO_TRACE");
        std::string out = traceOutputOf([] {
          io_trace("before");
          setenv("WEZ_IO_TRACE", "1", 1);
          io_trace("after");
        });
        exit(out.empty() ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

} // namespace
