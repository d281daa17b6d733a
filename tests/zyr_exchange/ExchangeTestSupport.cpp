#include "ExchangeTestSupport.h"

namespace zyrtest {

std::string toolsDir() {
  std::string helpers = ZYR_TEST_HELPER_DIR;
  return helpers.substr(0, helpers.rfind('/')) + "/tools";
}

} // namespace zyrtest
