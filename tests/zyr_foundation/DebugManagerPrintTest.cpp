// The print of the debug manager: the log names read from the control text, "(none)" for the
// ones it did not name, and every rule under its category.
#include "Source.h"
#include "zyrDebugManager.h"
#include "zyrTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

TEST(DebugManagerPrint, NamesAndRulesOfTheControlText) {
  zyrDebugManager *manager = zyrDebugManager_newEmpty();
  const std::string control = "<LOGS>\nerror = err.log\n</LOGS>\n"
                              "<DEBUG>\nRegion_.* : 2\n</DEBUG>\n<TIME>\nHash.* : 7\n</TIME>\n";
  Source *source = Source_newBuffer(control.data(), static_cast<int64_t>(control.size()));
  ASSERT_EQ(zyrDebugManager_readControlSource(manager, source, 0), 1);
  Source_delete(source);

  const std::string text = zyrtest::printed([manager](FILE *stream) {
    zyrDebugManager_print(manager, stream);
    zyrDebugManager_print(nullptr, stream);
  });
  EXPECT_EQ(text.rfind("zyrDebugManager:\n", 0), 0u) << text;
  EXPECT_NE(text.find("  m_errorLogName    = err.log\n"), std::string::npos) << text;
  EXPECT_NE(text.find("  m_sessionFileName = (none)\n"), std::string::npos) << text;
  EXPECT_NE(text.find("  DEBUG   Region_.* : 2\n"), std::string::npos) << text;
  EXPECT_NE(text.find("  TIME    Hash.* : 7\n"), std::string::npos) << text;
  EXPECT_NE(text.find("zyrDebugManager: NULL\n"), std::string::npos) << text;
  zyrDebugManager_delete(manager);
}

} // namespace
