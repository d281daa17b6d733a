// Pause points hold a process exactly where the environment says, and nowhere else.
#include "zyrPause.h"
#include "zyrTestChild.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace {

const std::string kChild = std::string(ZYR_TEST_HELPER_DIR) + "/pause_child";

TEST(PauseTest, APointNamedIsHeldUntilReleasedAndOthersAreNot) {
  zyrtest::ChildProcess child(kChild, {"a", "b", "c", "b"}, {}, "", "b,c@9");
  EXPECT_EQ(child.readLine(), "passed a");
  EXPECT_EQ(child.waitPause(), "b");
  child.release();
  EXPECT_EQ(child.readLine(), "passed b");
  // c is held only at its ninth pass; b at every one.
  EXPECT_EQ(child.readLine(), "passed c");
  EXPECT_EQ(child.waitPause(), "b");
  child.release();
  EXPECT_EQ(child.readLine(), "passed b");
  EXPECT_EQ(child.wait(), 0);
}

TEST(PauseTest, TheNthPassAloneIsHeld) {
  zyrtest::ChildProcess child(kChild, {"p", "p", "p"}, {}, "", "p@2");
  EXPECT_EQ(child.readLine(), "passed p");
  EXPECT_EQ(child.waitPause(), "p");
  child.release();
  EXPECT_EQ(child.readLine(), "passed p");
  EXPECT_EQ(child.readLine(), "passed p");
  EXPECT_EQ(child.wait(), 0);
}

TEST(PauseTest, AHeldProcessCanBeKilledThere) {
  zyrtest::ChildProcess child(kChild, {"x", "y"}, {}, "", "x");
  EXPECT_EQ(child.waitPause(), "x");
  child.kill();
  EXPECT_EQ(child.wait(), 128 + SIGKILL);
  EXPECT_EQ(child.readLine(), "");
}

TEST(PauseTest, WithoutAChannelTheProcessStopsItself) {
  zyrtest::ChildProcess child(kChild, {"s"}, {{"ZYR_PAUSE_AT", "s"}, {"ZYR_PAUSE_FD", nullptr}});
  int status = 0;
  ASSERT_EQ(waitpid(child.pid(), &status, WUNTRACED), child.pid());
  ASSERT_TRUE(WIFSTOPPED(status));
  kill(child.pid(), SIGCONT);
  EXPECT_EQ(child.readLine(), "passed s");
  EXPECT_EQ(child.wait(), 0);
}

TEST(PauseTest, UnarmedPointsCostNothingAndHoldNothing) {
  zyrtest::ChildProcess child(kChild, {"a"}, {{"ZYR_PAUSE_AT", nullptr}});
  EXPECT_EQ(child.readLine(), "passed a");
  EXPECT_EQ(child.wait(), 3);
}

} // namespace
