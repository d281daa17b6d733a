#include "ImportTestSupport.h"

#include "ImportedMesh.h"
#include "Mesh.h"
#include "Repository.h"
#include "Representation.h"
#include "Topology.h"
#include "Units.h"
#include "zyrCString.h"
#include "zyrMeshLayer.h"
#include "zyrTopologyLayer.h"

#include <sys/stat.h>

std::string g_importWorkingDirectory;

namespace {

Topology *topologyOf(const Model *model) { return reinterpret_cast<const ImportTestModel *>(model)->m_topology; }
Mesh *meshOf(const Model *model) { return reinterpret_cast<const ImportTestModel *>(model)->m_mesh; }
Representation *representationOf(const Model *model) {
  return reinterpret_cast<const ImportTestModel *>(model)->m_representation;
}
char *workingDirectory() {
  return g_importWorkingDirectory.empty() ? nullptr : zyrCString_clone(g_importWorkingDirectory.c_str());
}

} // namespace

void ImportTest::SetUp() {
  zyrTopologyLayer_initialise();
  zyrMeshLayer_initialise();
  m_units = std::make_unique<zyrtest::EnvGuard>("ZYR_USE_LOCAL_UNITS", "1");
  ASSERT_EQ(Units_areAvailable(), 1);
  m_dir = std::make_unique<zyrtest::ScratchDir>("zyrimport");
  g_importWorkingDirectory = m_dir->path();
  m_binDir = std::make_unique<zyrtest::EnvGuard>("WEZ5BINDIR", m_dir->path().c_str());
  m_execDir = std::make_unique<zyrtest::EnvGuard>("WEZ5EXECDIR", m_dir->path().c_str());
  m_reader = std::make_unique<zyrtest::EnvGuard>("WEZ5_KELVO_EXEC", nullptr);
  static const ImportedMeshModelHooks hooks = {topologyOf, meshOf, representationOf, workingDirectory};
  ImportedMesh_setModelHooks(&hooks);
  m_repository = Repository_new(m_dir->file("db").c_str());
  ASSERT_NE(m_repository, nullptr);
  freshModel();
  zyrtest::ErrorCapture::clear();
}

void ImportTest::TearDown() {
  if (m_repository != nullptr)
    Repository_close(m_repository, -1);
  zyrtest::ErrorCapture::clear();
  g_importWorkingDirectory.clear();
  m_dir.reset();
}

void ImportTest::freshModel() {
  m_model = ImportTestModel();
  m_model.m_topology = Topology_new();
  m_model.m_mesh = Mesh_new(m_model.m_topology);
  m_model.m_representation = Representation_new(m_model.m_topology);
}

ImportedMesh *ImportTest::import(const std::string &type, const std::string &file, const char *generic,
                                 const char *specific, const char *units) {
  return ImportedMesh_new(model(), type.c_str(), file.c_str(), generic, specific, units);
}

std::string ImportTest::script(const std::string &name, const std::string &body) {
  const std::string path = m_dir->file(name);
  zyrtest::writeFile(path, "#!/bin/sh\n" + body);
  chmod(path.c_str(), 0755);
  return path;
}

void ImportTest::useReader(const std::string &path) {
  m_reader.reset(); // the old guard restores its value first
  m_reader = std::make_unique<zyrtest::EnvGuard>("WEZ5_KELVO_EXEC", path.c_str());
}

std::vector<std::string> ImportTest::intermediateFiles() const {
  std::vector<std::string> names;
  for (const std::string &name : m_dir->listing())
    if (name.find(".gmo") != std::string::npos || name.rfind("zyr.zyr-pid", 0) == 0)
      names.push_back(name);
  return names;
}
