#ifndef ZYR_STORE_TEST_SUPPORT_H
#define ZYR_STORE_TEST_SUPPORT_H
// Shared by the object-store tests: a fixture with a scratch directory (removed at the end), the
// error manager emptied before and after, and the environment variables that change what the
// store writes unset.
#include <gtest/gtest.h>

#include <string>
#include <vector>

struct zyrError;

namespace storetest {

class StoreTest : public testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;
  std::string path(const std::string &name) const { return m_dir + "/" + name; }
  const std::string &dir() const { return m_dir; }
  // The names in the scratch directory, sorted.
  std::vector<std::string> listing() const;
  // The newest published error, or NULL.
  static zyrError *lastError();
  static int32_t errorCount();

private:
  std::string m_dir;
};

std::string readFile(const std::string &path);
void writeFile(const std::string &path, const std::string &contents);

} // namespace storetest

#endif
