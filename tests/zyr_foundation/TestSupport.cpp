#include "TestSupport.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

#include <filesystem>

// Allocation-failure tests ask for absurd sizes: let the sanitizer's allocator answer NULL, as the
// system's would, instead of aborting.
extern "C" const char *__asan_default_options() { return "allocator_may_return_null=1"; }

namespace zyrtest {

ScratchDir::ScratchDir() {
  std::string templ = (std::filesystem::temp_directory_path() / "zyrtest.XXXXXX").string();
  std::vector<char> buffer(templ.begin(), templ.end());
  buffer.push_back('\0');
  const char *made = mkdtemp(buffer.data());
  if (made == nullptr)
    throw std::runtime_error("mkdtemp failed");
  m_path = made;
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::remove_all(m_path, ignored);
}

std::string readFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void writeFile(const std::string &path, const std::string &contents) {
  std::ofstream out(path, std::ios::binary);
  out << contents;
}

std::vector<std::string> splitLines(const std::string &text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    lines.push_back(line);
  return lines;
}

} // namespace zyrtest
