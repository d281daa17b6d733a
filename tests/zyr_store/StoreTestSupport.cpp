#include "StoreTestSupport.h"

#include "zyrError.h"
#include "zyrErrorManager.h"

#include <cstdlib>

namespace storetest {

void StoreTest::SetUp() {
  m_scratch = std::make_unique<zyrtest::ScratchDir>("zyrstore");
  m_dir = m_scratch->path();
  m_format = std::make_unique<zyrtest::EnvGuard>("WEZ_FORMAT", nullptr);
  m_version = std::make_unique<zyrtest::EnvGuard>("ZYR_DEFFILE_VERSION", nullptr);
  zyrErrorManager_clearErrors(zyrErrorManager_get());
}

void StoreTest::TearDown() {
  zyrErrorManager_clearErrors(zyrErrorManager_get());
  m_version.reset();
  m_format.reset();
  m_scratch.reset();
}

std::vector<std::string> StoreTest::listing() const { return m_scratch->listing(); }

zyrError *StoreTest::lastError() { return zyrError_getLast(); }

int32_t StoreTest::errorCount() {
  int32_t count = 0;
  zyrErrorManager_getNoOfErrors(zyrErrorManager_get(), &count);
  return count;
}

} // namespace storetest
