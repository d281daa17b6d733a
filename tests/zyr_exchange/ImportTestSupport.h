#ifndef IMPORT_TEST_SUPPORT_H
#define IMPORT_TEST_SUPPORT_H
// The import tests' fixture: a database in a scratch directory (also the working directory of
// the imports), a fresh model's parts handed to the import through its hooks, the installation
// variables pointing into the scratch directory, and fake readers written as shell scripts.
#include "ExchangeTestSupport.h"

#include <memory>
#include <string>
#include <vector>

struct ImportedMesh;
struct Mesh;
struct Model;
struct Repository;
struct Representation;
struct Topology;

// Stands in for the Model of the layer above.
struct ImportTestModel {
  Topology *m_topology = nullptr;
  Mesh *m_mesh = nullptr;
  Representation *m_representation = nullptr;
};

class ImportTest : public zyrtest::ErrorCaptureTest {
protected:
  void SetUp() override;
  void TearDown() override;

  // A new fresh model (the previous one stays in the store).
  void freshModel();
  Model *model() { return reinterpret_cast<Model *>(&m_model); }
  ImportedMesh *import(const std::string &type, const std::string &file, const char *generic = nullptr,
                       const char *specific = nullptr, const char *units = "m");
  // An executable shell script in the scratch directory; the body follows "#!/bin/sh".
  std::string script(const std::string &name, const std::string &body);
  // Makes the script the mesh reader (WEZ5_KELVO_EXEC).
  void useReader(const std::string &path);
  // Names of the scratch directory's files that hold ".gmo", and the intermediate files of imports
  // ("zyr.zyr-pid<N>...").
  std::vector<std::string> intermediateFiles() const;

  std::unique_ptr<zyrtest::ScratchDir> m_dir;
  Repository *m_repository = nullptr;
  ImportTestModel m_model;
  std::unique_ptr<zyrtest::EnvGuard> m_binDir, m_execDir, m_reader, m_units;
};

extern std::string g_importWorkingDirectory;

#endif
