#ifndef ZYR_ERROR_TEST_SUPPORT_H
#define ZYR_ERROR_TEST_SUPPORT_H
// Shared by the error tests: a fixture that leaves the process-wide error manager as it found it
// (no records, no displays added by the test, default levels), and masking of the parts of a
// rendering that depend on the moment, the machine or the build.
#include "zyrError.h"
#include "zyrErrorManager.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zyrtest {

class ErrorTest : public testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;
  zyrErrorManager *manager() const { return m_manager; }
  // Adds a display and remembers it for removal at the end of the test.
  int32_t addCallback(int32_t format, ErrorDisplayCallback callback);
  int32_t addStream(int32_t format, FILE *stream);

private:
  zyrErrorManager *m_manager = nullptr;
  std::vector<int32_t> m_handles;
};

// Replaces the record's date and time, the host, the working directory, the release and the
// build stamp by @DATE@, @TIME@, @HOST@, @DIR@, @RELEASE@ and @STAMP@, and the record's identity
// in id="..." by @ID@.
std::string mask(const std::string &text, const zyrError *error);
std::string replaceAll(std::string text, const std::string &from, const std::string &to);

} // namespace zyrtest

#endif
