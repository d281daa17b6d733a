// The definition-file writer updating an existing file of any bytes: a real model (a mesh of
// hexahedra imported at the start) is written into it from the physics text the file holds
// (zyrModel_writeDefFile), then exported over it (zyrModel_exportMesh). Whatever the file held,
// each write answers 1 or 0 and nothing crashes, hangs or leaks; a write that answered 1 leaves a
// file that opens and reads back its commands, and nothing is left in the directory but the file
// and the database.
//
// ZYR_FUZZ_SEED_OUT=<file> makes the target write a definition file with physics text and the
// model's mesh, and stop.
#include "DefFile.h"
#include "Repository.h"
#include "zyrAPI.h"
#include "zyrCString.h"
#include "zyrErrorManager.h"
#include "zyrTestSupport.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

namespace {

const zyrtest::ScratchDir *theDirectory = nullptr;
int32_t theModel = -1;

void removeFile(const std::string &name) {
  std::remove(name.c_str());
  std::remove((name + ".lck").c_str());
}

// A file that a write answered 1 for opens and gives back its physics text.
void checkWritten(const std::string &name) {
  DefFile *file = DefFile_new(name.c_str());
  if (file == nullptr)
    std::abort();
  char **commands = nullptr;
  int32_t count = 0;
  if (DefFile_readIoStrings(file, "G/COMMANDS", "EVERY", 0, &commands, &count) != 1)
    std::abort();
  zyrCStringArray_free(commands, static_cast<uint64_t>(count > 0 ? count : 0));
  DefFile_delete(file);
}

// Nothing but the database and the definition file stays in the directory.
void checkDirectory() {
  static const std::set<std::string> kept{"model.zyr", "model.zyr.lck", "case.wez"};
  for (const std::string &name : theDirectory->listing())
    if (kept.count(name) == 0)
      std::abort();
}

void writeSeed(const char *out) {
  static const char *const kPhysics[] = {"FLOW:",
                                         "  SOLUTION UNITS:",
                                         "    Length Units = [m]",
                                         "  END",
                                         "  DOMAIN: Box",
                                         "    Location = Block",
                                         "    BOUNDARY: lid",
                                         "      Location = top",
                                         "    END",
                                         "    BOUNDARY: floor",
                                         "      Location = bottom",
                                         "    END",
                                         "    BOUNDARY: walls",
                                         "      Location = sides",
                                         "    END",
                                         "  END",
                                         "END"};
  DefFile *file = DefFile_new(out);
  if (file == nullptr ||
      DefFile_writeIoStringArray(file, "G/COMMANDS", "EVERY", 0, kPhysics, sizeof kPhysics / sizeof kPhysics[0]) != 1)
    std::abort();
  DefFile_delete(file);
  if (zyrModel_writeDefFile(theModel, out, 0) != 1)
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  setenv("ZYR_USE_LOCAL_UNITS", "1", 1);
  unsetenv("ZYR_SESSION_FILE");
  // Removed with the process's static objects at its exit.
  static const zyrtest::ScratchDir dir("zyrfuzz_def_update");
  theDirectory = &dir;
  int32_t hDatabase = -1;
  int32_t count = 0;
  char **assemblies = nullptr;
  // The import opens and locks the mesh file: it reads a copy in the scratch directory, so that
  // nothing is made (nor left, by a kill) beside the seed in the checkout.
  const std::string mesh = dir.file("box-hex.v4.gmo");
  const std::string seed =
      zyrtest::readFile(std::string(ZYR_SOURCE_DIR) + "/fuzz/corpus/intermediate_import/box-hex.v4.gmo");
  if (seed.empty())
    std::abort();
  zyrtest::writeFile(mesh, seed);
  if (zyrDatabase_open(dir.file("model.zyr").c_str(), &hDatabase, &theModel) != 1 ||
      zyrModel_importMesh(theModel, "ZYR_INTERMEDIATE", mesh.c_str(), nullptr, nullptr, "m", 0, &count,
                          &assemblies) != 1)
    std::abort();
  zyrCStringArray_free(assemblies, static_cast<uint64_t>(count));
  removeFile(mesh);
  if (const char *out = std::getenv("ZYR_FUZZ_SEED_OUT")) {
    writeSeed(out);
    std::exit(0);
  }
  zyrErrorManager_clearErrors(zyrErrorManager_get());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string name = theDirectory->file("case.wez");
  removeFile(name);
  const int32_t flags = size > 0 ? data[0] & 15 : 0;
  zyrtest::writeFile(name, std::string(reinterpret_cast<const char *>(data), size));
  if (zyrModel_writeDefFile(theModel, name.c_str(), flags) == 1)
    checkWritten(name);
  checkDirectory();
  if (zyrModel_exportMesh(theModel, "Def", name.c_str(), "m", 0) == 1)
    checkWritten(name);
  checkDirectory();
  zyrErrorManager_clearErrors(zyrErrorManager_get());
  removeFile(name);
  return 0;
}
