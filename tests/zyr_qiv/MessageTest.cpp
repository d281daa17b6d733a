// The message function, messages for the host, and the progress reporter that receives them.
#include "ErrorMsg.h"
#include "ErrorProgressReporter.h"
#include "QIVMessage.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdint>
#include <string>
#include <vector>

namespace {

TEST(QivMessage, TextWithoutConversionsIsUnchanged) {
  EXPECT_EQ(qiv::_("Empty directory provided for ZYR working directory."),
            "Empty directory provided for ZYR working directory.");
  EXPECT_EQ(qiv::_("No axis information provided when querying a rotating match."),
            "No axis information provided when querying a rotating match.");
}

TEST(QivMessage, ConversionsFollowPrintf) {
  EXPECT_EQ(qiv::_("Error loading vsn in pgtAPI: %s", "pgtLoadVSN: bad line 3"),
            "Error loading vsn in pgtAPI: pgtLoadVSN: bad line 3");
  EXPECT_EQ(qiv::_("Error extracting axis data from pgtAPI: %s", ""),
            "Error extracting axis data from pgtAPI: ");
  EXPECT_EQ(qiv::_("%d%% of %u, %5.2f|%-4s|%c", -7, 12u, 3.14159, "ab", 'z'),
            "-7% of 12,  3.14|ab  |z");
  EXPECT_EQ(qiv::_("%lld %zu %" PRId64, -9000000000LL, static_cast<size_t>(42),
                   static_cast<int64_t>(1) << 40),
            "-9000000000 42 1099511627776");
  // The argument's own percent signs are data, not conversions.
  EXPECT_EQ(qiv::_("%s", "100%s %d"), "100%s %d");
}

TEST(QivMessage, LengthIsExactAtEveryBoundary) {
  for (size_t length : {254u, 255u, 256u, 257u, 4096u, 100000u}) {
    const std::string piece(length, 'x');
    const std::string text = qiv::_("<%s>", piece.c_str());
    ASSERT_EQ(text.size(), length + 2) << length;
    EXPECT_EQ(text, "<" + piece + ">");
  }
}

TEST(QivMessage, NullOrEmptyFormatGivesEmptyText) {
  // Through a pointer, as a caller with a computed format would reach it.
  std::string (*message)(const char *, ...) = &qiv::_;
  EXPECT_EQ(message(nullptr), "");
  EXPECT_EQ(message(""), "");
}

TEST(QivMessage, ErrorMsgKeepsItsTexts) {
  const qiv::ErrorMsg warning("ZYRAPI", "openDB", "Region renamed.\n\nMesh skipped.",
                              qiv::errorTypeWarning);
  EXPECT_EQ(warning.getClass(), "ZYRAPI");
  EXPECT_EQ(warning.getMethod(), "openDB");
  EXPECT_EQ(warning.getMessage(), "Region renamed.\n\nMesh skipped.");
  EXPECT_EQ(static_cast<int>(warning.getType()), 8);
  EXPECT_EQ(warning.toString(), "Warning in ZYRAPI::openDB: Region renamed.\n\nMesh skipped.");
}

class Reporter : public testing::Test {
protected:
  void SetUp() override { reset(); }
  void TearDown() override { reset(); }
  static void reset() {
    qiv::ErrorProgressReporter::instance().setHandler(nullptr);
    qiv::ErrorProgressReporter::instance().takeReports();
  }
  static qiv::ErrorMsg warning(const std::string &text) {
    return qiv::ErrorMsg("ZYRAPI", "importmeshToModel", text, qiv::errorTypeWarning);
  }
};

TEST_F(Reporter, IsOneObject) {
  EXPECT_EQ(&qiv::ErrorProgressReporter::instance(), &qiv::ErrorProgressReporter::instance());
}

TEST_F(Reporter, HandlerReceivesWarningsInOrder) {
  auto &reporter = qiv::ErrorProgressReporter::instance();
  std::vector<std::string> seen;
  reporter.setHandler([&seen](const qiv::ErrorMsg &m) {
    seen.push_back(m.getMethod() + "|" + m.getMessage() + "|" +
                   std::to_string(static_cast<int>(m.getType())));
  });
  reporter.reportError(warning("one"));
  reporter.reportError(qiv::ErrorMsg("ZYRAPI", "openDB", "two", qiv::errorTypeWarning));
  reporter.reportError(warning("three"));
  EXPECT_EQ(seen, (std::vector<std::string>{"importmeshToModel|one|8", "openDB|two|8",
                                            "importmeshToModel|three|8"}));
  EXPECT_EQ(reporter.pendingCount(), 0u);
}

TEST_F(Reporter, WithoutHandlerMessagesWaitInOrder) {
  auto &reporter = qiv::ErrorProgressReporter::instance();
  reporter.reportError(warning("a"));
  reporter.reportError(warning("b"));
  EXPECT_EQ(reporter.pendingCount(), 2u);
  std::vector<qiv::ErrorMsg> reports = reporter.takeReports();
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0].getMessage(), "a");
  EXPECT_EQ(reports[1].getMessage(), "b");
  EXPECT_TRUE(reporter.takeReports().empty());

  // A handler installed later does not receive what was kept; it stays for takeReports.
  reporter.reportError(warning("kept"));
  int calls = 0;
  reporter.setHandler([&calls](const qiv::ErrorMsg &) { ++calls; });
  reporter.reportError(warning("handled"));
  EXPECT_EQ(calls, 1);
  reports = reporter.takeReports();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].getMessage(), "kept");
}

TEST_F(Reporter, FullBacklogDropsTheOldest) {
  auto &reporter = qiv::ErrorProgressReporter::instance();
  const size_t total = qiv::ErrorProgressReporter::backlogLimit + 5;
  for (size_t i = 0; i < total; ++i)
    reporter.reportError(warning(std::to_string(i)));
  EXPECT_EQ(reporter.pendingCount(), qiv::ErrorProgressReporter::backlogLimit);
  EXPECT_EQ(reporter.droppedCount(), 5u);
  const std::vector<qiv::ErrorMsg> reports = reporter.takeReports();
  EXPECT_EQ(reports.front().getMessage(), "5");
  EXPECT_EQ(reports.back().getMessage(), std::to_string(total - 1));
  EXPECT_EQ(reporter.droppedCount(), 0u);
}

TEST_F(Reporter, SetHandlerReturnsThePreviousOne) {
  auto &reporter = qiv::ErrorProgressReporter::instance();
  std::string last;
  reporter.setHandler([&last](const qiv::ErrorMsg &m) { last = "first:" + m.getMessage(); });
  qiv::ErrorProgressReporter::Handler previous =
      reporter.setHandler([&last](const qiv::ErrorMsg &m) { last = "second:" + m.getMessage(); });
  reporter.reportError(warning("x"));
  EXPECT_EQ(last, "second:x");
  reporter.setHandler(previous);
  reporter.reportError(warning("y"));
  EXPECT_EQ(last, "first:y");
}

TEST_F(Reporter, HandlerMayRemoveItselfWhileRunning) {
  auto &reporter = qiv::ErrorProgressReporter::instance();
  int calls = 0;
  reporter.setHandler([&calls, &reporter](const qiv::ErrorMsg &) {
    ++calls;
    reporter.setHandler(nullptr);
  });
  reporter.reportError(warning("1"));
  reporter.reportError(warning("2"));
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(reporter.pendingCount(), 1u);
}

TEST_F(Reporter, HandlerExceptionReachesTheCaller) {
  auto &reporter = qiv::ErrorProgressReporter::instance();
  reporter.setHandler([](const qiv::ErrorMsg &) { throw 17; });
  EXPECT_THROW(reporter.reportError(warning("x")), int);
  EXPECT_EQ(reporter.pendingCount(), 0u);
}

} // namespace
