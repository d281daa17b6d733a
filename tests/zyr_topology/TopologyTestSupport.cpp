#include "TopologyTestSupport.h"

#include "zyrTestErrors.h"
#include "zyrTopologyLayer.h"

void TopologyStoreTest::SetUp() {
  zyrTopologyLayer_initialise();
  m_scratch = std::make_unique<zyrtest::ScratchDir>("zyrtopo");
  m_dir = m_scratch->path();
  m_here = std::make_unique<zyrtest::WorkingDir>(m_dir);
  zyrtest::ErrorCapture::clear();
  m_repository = Repository_new("topology");
  ASSERT_NE(m_repository, nullptr);
}

void TopologyStoreTest::TearDown() {
  if (m_repository != nullptr)
    Repository_close(m_repository, -1);
  zyrtest::ErrorCapture::clear();
  m_here.reset();
  m_scratch.reset();
}

void TopologyStoreTest::reopen() {
  Repository_close(m_repository, 0);
  m_repository = Repository_new("topology");
  ASSERT_NE(m_repository, nullptr);
}

std::vector<std::string> TopologyStoreTest::takeErrors() { return zyrtest::ErrorCapture::take(); }
