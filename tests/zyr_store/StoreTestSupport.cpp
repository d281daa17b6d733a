#include "StoreTestSupport.h"

#include "zyrError.h"
#include "zyrErrorManager.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace storetest {

void StoreTest::SetUp() {
  std::string templ = (std::filesystem::temp_directory_path() / "zyrstore.XXXXXX").string();
  std::vector<char> buffer(templ.begin(), templ.end());
  buffer.push_back('\0');
  ASSERT_NE(mkdtemp(buffer.data()), nullptr);
  m_dir = buffer.data();
  unsetenv("WEZ_FORMAT");
  unsetenv("ZYR_DEFFILE_VERSION");
  zyrErrorManager_clearErrors(zyrErrorManager_get());
}

void StoreTest::TearDown() {
  zyrErrorManager_clearErrors(zyrErrorManager_get());
  std::error_code ignored;
  std::filesystem::remove_all(m_dir, ignored);
}

std::vector<std::string> StoreTest::listing() const {
  std::vector<std::string> names;
  for (const auto &entry : std::filesystem::directory_iterator(m_dir))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

zyrError *StoreTest::lastError() { return zyrError_getLast(); }

int32_t StoreTest::errorCount() {
  int32_t count = 0;
  zyrErrorManager_getNoOfErrors(zyrErrorManager_get(), &count);
  return count;
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

} // namespace storetest
