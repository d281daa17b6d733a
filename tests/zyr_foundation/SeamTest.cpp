#include "zyrAssert.h"
#include "zyrTrace.h"

#include <gtest/gtest.h>

namespace {

int tracedFunction() {
  ZYR_TRACE_BEGIN();
  return ZYR_TRACE_DEBUG(1) ? 1 : 0;
}

TEST(Tracing, QuietWithoutDebugLog) {
  EXPECT_EQ(tracedFunction(), 0);
  EXPECT_EQ(zyrTrace_getLog(), nullptr);
}

TEST(AssertionDeathTest, FailedCheckEndsProcessWithStatusOne) {
  int value = 3;
  EXPECT_EXIT(zyrAssert(value == 4), testing::ExitedWithCode(1), "value == 4");
  zyrAssert(value == 3);
}

} // namespace
