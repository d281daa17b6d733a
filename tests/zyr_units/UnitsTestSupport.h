#ifndef UNITS_TEST_SUPPORT_H
#define UNITS_TEST_SUPPORT_H
// Scratch directories and small file helpers for the units library tests.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace unitstest {

class ScratchDir {
public:
  ScratchDir() {
    std::string templ = (std::filesystem::temp_directory_path() / "zyrunits.XXXXXX").string();
    std::vector<char> buffer(templ.begin(), templ.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr)
      throw std::runtime_error("mkdtemp failed");
    m_path = buffer.data();
  }
  ~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
  }
  ScratchDir(const ScratchDir &) = delete;
  ScratchDir &operator=(const ScratchDir &) = delete;
  const std::string &path() const { return m_path; }
  std::string file(const std::string &name) const { return m_path + "/" + name; }

private:
  std::string m_path;
};

inline std::string readFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

inline void writeFile(const std::string &path, const std::string &contents) {
  std::ofstream out(path, std::ios::binary);
  out << contents;
}

} // namespace unitstest

#endif
