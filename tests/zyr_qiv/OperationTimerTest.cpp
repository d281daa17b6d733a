// Operation timers: one report per timer when it ends, however the operation ends.
#include "OperationTimer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

class Timer : public testing::Test {
protected:
  void SetUp() override {
    qiv::OperationTimer::setReporter([this](const std::string &label, double seconds) {
      m_reports.emplace_back(label, seconds);
    });
  }
  void TearDown() override { qiv::OperationTimer::setReporter(nullptr); }
  std::vector<std::pair<std::string, double>> m_reports;
};

using Clock = std::chrono::steady_clock;

double secondsBetween(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

// The interval lies between what the test reads from the same clock just inside and just outside
// the timer's life; the operation lasts at least 20 ms (the test waits for the clock), so a timer
// that counted in other units, from another moment or not at all is caught.
TEST_F(Timer, ReportsLabelAndElapsedTimeWhenDestroyed) {
  Clock::time_point before, started, working, after;
  double inside = -1;
  {
    before = Clock::now();
    qiv::OperationTimer timer("ZYRAPI: open db");
    started = Clock::now();
    EXPECT_EQ(timer.label(), "ZYRAPI: open db");
    do
      working = Clock::now();
    while (secondsBetween(started, working) < 0.02);
    inside = timer.elapsed();
    EXPECT_GE(inside, secondsBetween(started, working));
    EXPECT_LE(inside, secondsBetween(before, Clock::now()));
    EXPECT_TRUE(m_reports.empty());
  }
  after = Clock::now();
  ASSERT_EQ(m_reports.size(), 1u);
  EXPECT_EQ(m_reports[0].first, "ZYRAPI: open db");
  EXPECT_GE(m_reports[0].second, inside);
  EXPECT_LE(m_reports[0].second, secondsBetween(before, after));
}

TEST_F(Timer, ReportsWhenAnExceptionPasses) {
  EXPECT_THROW(
      {
        qiv::OperationTimer timer("ZYRAPI: import mesh");
        throw std::runtime_error("failed");
      },
      std::runtime_error);
  ASSERT_EQ(m_reports.size(), 1u);
  EXPECT_EQ(m_reports[0].first, "ZYRAPI: import mesh");
}

TEST_F(Timer, NestedTimersReportInnerFirst) {
  {
    qiv::OperationTimer outer("ZYRAPI: remove current ZYR");
    { qiv::OperationTimer inner("ZYRAPI: copy zyr"); }
  }
  ASSERT_EQ(m_reports.size(), 2u);
  EXPECT_EQ(m_reports[0].first, "ZYRAPI: copy zyr");
  EXPECT_EQ(m_reports[1].first, "ZYRAPI: remove current ZYR");
  EXPECT_LE(m_reports[0].second, m_reports[1].second);
}

TEST_F(Timer, ThrowingReporterIsContained) {
  qiv::OperationTimer::Reporter previous = qiv::OperationTimer::setReporter(
      [](const std::string &, double) { throw std::runtime_error("reporter"); });
  EXPECT_NO_THROW({ qiv::OperationTimer timer("ZYRAPI: transform mesh"); });
  qiv::OperationTimer::setReporter(previous);
  { qiv::OperationTimer timer("after"); }
  ASSERT_EQ(m_reports.size(), 1u);
  EXPECT_EQ(m_reports[0].first, "after");
}

} // namespace
