#ifndef ZYR_TOPOLOGY_TEST_SUPPORT_H
#define ZYR_TOPOLOGY_TEST_SUPPORT_H
// A fixture for the stored records of the topology layer: a database in a scratch directory
// (the working directory while the test runs), the layer initialised, and the published errors.
#include "Repository.h"
#include "zyrTestErrors.h"
#include "zyrTestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

class TopologyStoreTest : public testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;
  // Closes the database and opens it again; objects must be fetched anew.
  void reopen();
  // Messages of the published errors (then cleared), each prefixed with its code and ": ".
  std::vector<std::string> takeErrors() { return zyrtest::ErrorCapture::take(); }

  Repository *m_repository = nullptr;
  std::unique_ptr<zyrtest::ScratchDir> m_dir;
  std::unique_ptr<zyrtest::WorkingDir> m_workingDir;
};

#endif
