#ifndef ZYR_EXCHANGE_TEST_SUPPORT_H
#define ZYR_EXCHANGE_TEST_SUPPORT_H
// Shared by the import and export tests: scratch directories, files, environment variables set
// for one test, and the errors a test raised (held by the error manager, and published).
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace zyrtest {

class ScratchDir {
public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir &) = delete;
  ScratchDir &operator=(const ScratchDir &) = delete;
  const std::string &path() const { return m_path; }
  std::string file(const std::string &name) const { return m_path + "/" + name; }

private:
  std::string m_path;
};

std::string readFile(const std::string &path);
void writeFile(const std::string &path, const std::string &contents);

// Sets (or with NULL unsets) a variable until the end of the scope.
class EnvGuard {
public:
  EnvGuard(const char *name, const char *value);
  ~EnvGuard();
  EnvGuard(const EnvGuard &) = delete;
  EnvGuard &operator=(const EnvGuard &) = delete;

private:
  std::string m_name, m_old;
  bool m_had = false;
};

struct RaisedError {
  int32_t code;
  std::string message;
  bool operator==(const RaisedError &other) const { return code == other.code && message == other.message; }
};
void PrintTo(const RaisedError &error, std::ostream *stream);

// Starts with an empty error queue and records what is published; leaves the queue empty.
class ErrorCapture : public testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;
  // The records held by the error manager, oldest first.
  static std::vector<RaisedError> held();
  // The records published since the test began, in publishing order.
  static const std::vector<RaisedError> &published();
};

// The directory holding the build's tools ("<build>/tools").
std::string toolsDir();

} // namespace zyrtest

#endif
