#ifndef ZYR_EXCHANGE_TEST_SUPPORT_H
#define ZYR_EXCHANGE_TEST_SUPPORT_H
// Shared by the import and export tests, beside the helpers every layer shares.
#include "zyrTestErrors.h"
#include "zyrTestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace zyrtest {

// Starts with an empty error queue and records what is published; leaves the queue empty.
class ErrorCaptureTest : public testing::Test {
protected:
  std::vector<RaisedError> held() const { return m_errors.held(); }
  const std::vector<RaisedError> &published() const { return m_errors.published(); }

private:
  ErrorCapture m_errors;
};

// The directory holding the build's tools ("<build>/tools").
std::string toolsDir();

} // namespace zyrtest

#endif
