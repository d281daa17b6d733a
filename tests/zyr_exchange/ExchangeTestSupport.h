#ifndef ZYR_EXCHANGE_TEST_SUPPORT_H
#define ZYR_EXCHANGE_TEST_SUPPORT_H
// Shared by the import and export tests, beside the helpers every layer shares.
#include "zyrTestErrors.h"
#include "zyrTestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

struct Model;

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

// Writes the lines as the problem's command text ("G/COMMANDS") of a definition file; true when written.
bool writeCommands(const std::string &file, const std::vector<std::string> &lines);

// Writes the definition file of `model` with a fresh writer: the write's result, -1 when no writer was made.
int writeDefinition(Model *model, const std::string &file, int32_t fromDefFile, const char *units = nullptr);

// The integers of one data set of a definition file; empty when it has none.
std::vector<int32_t> definitionInts(const std::string &file, const char *what, const char *where = "EVERY");

} // namespace zyrtest

#endif
