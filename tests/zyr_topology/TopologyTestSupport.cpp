#include "TopologyTestSupport.h"

#include "zyrTopologyLayer.h"

void TopologyStoreTest::SetUp() {
  zyrTopologyLayer_initialise();
  m_dir = std::make_unique<zyrtest::ScratchDir>("zyrtopo");
  m_workingDir = std::make_unique<zyrtest::WorkingDir>(m_dir->path());
  zyrtest::ErrorCapture::clear();
  m_repository = Repository_new("topology");
  ASSERT_NE(m_repository, nullptr);
}

void TopologyStoreTest::TearDown() {
  if (m_repository != nullptr)
    Repository_close(m_repository, -1);
  zyrtest::ErrorCapture::clear();
  m_workingDir.reset();
  m_dir.reset();
}

void TopologyStoreTest::reopen() {
  Repository_close(m_repository, 0);
  m_repository = Repository_new("topology");
  ASSERT_NE(m_repository, nullptr);
}
