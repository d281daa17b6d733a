// Operation timers: one report per timer when it ends, however the operation ends.
#include "OperationTimer.h"

#include <gtest/gtest.h>

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

TEST_F(Timer, ReportsLabelAndElapsedTimeWhenDestroyed) {
  {
    qiv::OperationTimer timer("ZYRAPI: open db");
    EXPECT_EQ(timer.label(), "ZYRAPI: open db");
    EXPECT_GE(timer.elapsed(), 0.0);
    EXPECT_TRUE(m_reports.empty());
  }
  ASSERT_EQ(m_reports.size(), 1u);
  EXPECT_EQ(m_reports[0].first, "ZYRAPI: open db");
  EXPECT_GE(m_reports[0].second, 0.0);
  EXPECT_LT(m_reports[0].second, 60.0);
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
