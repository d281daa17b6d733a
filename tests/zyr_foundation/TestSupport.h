#ifndef ZYR_TEST_SUPPORT_H
#define ZYR_TEST_SUPPORT_H
// Shared by the foundation tests: a scratch directory removed at the end of each test, and file
// reading.
#include <gtest/gtest.h>

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
std::vector<std::string> splitLines(const std::string &text);

} // namespace zyrtest

#endif
