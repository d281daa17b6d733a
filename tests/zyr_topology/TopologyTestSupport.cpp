#include "TopologyTestSupport.h"

#include "zyrError.h"
#include "zyrErrorManager.h"
#include "zyrMemory.h"
#include "zyrTopologyLayer.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

void TopologyStoreTest::SetUp() {
  zyrTopologyLayer_initialise();
  std::string templ = (std::filesystem::temp_directory_path() / "zyrtopo.XXXXXX").string();
  std::vector<char> buffer(templ.begin(), templ.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr)
    throw std::runtime_error("mkdtemp failed");
  m_dir = buffer.data();
  m_previousDir = std::filesystem::current_path().string();
  std::filesystem::current_path(m_dir);
  zyrErrorManager_clearErrors(zyrErrorManager_get());
  m_repository = Repository_new("topology");
  ASSERT_NE(m_repository, nullptr);
}

void TopologyStoreTest::TearDown() {
  if (m_repository != nullptr)
    Repository_close(m_repository, -1);
  zyrErrorManager_clearErrors(zyrErrorManager_get());
  std::filesystem::current_path(m_previousDir);
  std::error_code ignored;
  std::filesystem::remove_all(m_dir, ignored);
}

void TopologyStoreTest::reopen() {
  Repository_close(m_repository, 0);
  m_repository = Repository_new("topology");
  ASSERT_NE(m_repository, nullptr);
}

std::vector<std::string> TopologyStoreTest::takeErrors() {
  std::vector<std::string> messages;
  int32_t n = 0;
  zyrError **errors = nullptr;
  zyrErrorManager_getErrors(zyrErrorManager_get(), &n, &errors);
  for (int32_t i = 0; i < n; ++i)
    messages.push_back(std::to_string(zyrError_getCode(errors[i])) + ": " +
                       (zyrError_getMessage(errors[i]) != nullptr ? zyrError_getMessage(errors[i]) : ""));
  zyrMemory_free(errors, __func__);
  zyrErrorManager_clearErrors(zyrErrorManager_get());
  return messages;
}
