// An interrupt request made by a signal handler (or any thread) stays until cleared and wakes a
// wait for another process's output at once.
#include "zyrInterrupt.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <thread>

namespace {

struct Cleared {
  Cleared() { zyrInterrupt_clear(); }
  ~Cleared() { zyrInterrupt_clear(); }
};

TEST(InterruptTest, ARequestStaysUntilClearedAndTheFirstSignalCounts) {
  Cleared cleared;
  EXPECT_EQ(zyrInterrupt_signal(), 0);
  zyrInterrupt_request(SIGTERM);
  zyrInterrupt_request(SIGINT);
  EXPECT_EQ(zyrInterrupt_signal(), SIGTERM);
  EXPECT_EQ(zyrInterrupt_signal(), SIGTERM);
  zyrInterrupt_clear();
  EXPECT_EQ(zyrInterrupt_signal(), 0);
  EXPECT_STREQ(zyrInterrupt_signalName(SIGINT), "SIGINT");
  EXPECT_STREQ(zyrInterrupt_signalName(SIGTERM), "SIGTERM");
  EXPECT_STREQ(zyrInterrupt_signalName(0), "a signal");
}

TEST(InterruptTest, AWaitForOutputEndsAtARequest) {
  Cleared cleared;
  int ends[2];
  ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);
  // Output waiting is seen; nothing to read and a request from another thread, whenever it
  // comes, ends the wait; a cleared request leaves no stale wake-up behind.
  ASSERT_EQ(write(ends[1], "x", 1), 1);
  EXPECT_EQ(zyrInterrupt_waitReadable(ends[0]), 1);
  char byte;
  ASSERT_EQ(read(ends[0], &byte, 1), 1);
  std::thread requester([] { zyrInterrupt_request(SIGINT); });
  EXPECT_EQ(zyrInterrupt_waitReadable(ends[0]), 0);
  requester.join();
  zyrInterrupt_clear();
  ASSERT_EQ(write(ends[1], "y", 1), 1);
  EXPECT_EQ(zyrInterrupt_waitReadable(ends[0]), 1);
  // A signal handler's request, the way the tools make it.
  struct sigaction action = {}, previous;
  action.sa_handler = zyrInterrupt_request;
  sigemptyset(&action.sa_mask);
  ASSERT_EQ(sigaction(SIGUSR1, &action, &previous), 0);
  raise(SIGUSR1);
  EXPECT_EQ(zyrInterrupt_signal(), SIGUSR1);
  EXPECT_EQ(zyrInterrupt_waitReadable(ends[0]), 0);
  sigaction(SIGUSR1, &previous, nullptr);
  close(ends[0]);
  close(ends[1]);
}

} // namespace
