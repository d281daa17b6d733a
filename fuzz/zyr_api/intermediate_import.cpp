// Intermediate mesh files of any bytes imported whole through the procedural interface, as a
// reader's output is: topology, mesh, names and the mesh-to-CAD projection ("M/MESHTOCAD/*"),
// with every data set as the bytes give it (the seeds are real files written by the mesh reader,
// one with a projection, so that mutations damage every kind of data set, strings included).
// The import answers 1 or 0; what it took is walked (regions, their meshes and neighbours, a
// definition file written from it), the database is closed and must open again. Nothing may
// crash, hang or leak, and nothing is written outside the scratch directory.
//
// ZYR_FUZZ_SEED_FROM=<file> ZYR_FUZZ_SEED_OUT=<file> makes the target copy the intermediate file
// with a projection of one edge node added, and stop.
#include "DefFile.h"
#include "Repository.h"
#include "zyrAPI.h"
#include "zyrCString.h"
#include "zyrErrorManager.h"
#include "zyrImportFixtures.h"
#include "zyrMemory.h"
#include "zyrTestSupport.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string theDirectory;

void freeNames(int32_t count, char **names) { zyrCStringArray_free(names, static_cast<uint64_t>(count > 0 ? count : 0)); }

void removeFile(const std::string &name) {
  std::remove(name.c_str());
  std::remove((name + ".lck").c_str());
}

// The seed of a file with a projection: one edge node on the mesh's first vertex.
void addProjection(const char *from, const char *to) {
  zyrtest::writeFile(to, zyrtest::readFile(from));
  DefFile *file = DefFile_new(to);
  if (file == nullptr)
    std::abort();
  zyrtest::writeEdgeNodeProjection(file);
  DefFile_writeCharArray(file, "G/CNAMDB", "EVERY", 0, "study.dsdb", 10);
  DefFile_delete(file);
}

void walk(int32_t hModel) {
  int32_t count = 0;
  char **names = nullptr;
  zyrModel_getRegions(hModel, 15, &count, &names);
  for (int32_t i = 0; i < count && names != nullptr; ++i) {
    int32_t noOfVertices = 0, noOfElements = 0;
    double *xyz = nullptr;
    int32_t *types = nullptr, *vertices = nullptr;
    if (zyrRegion_getMesh(hModel, names[i], 0, "m", &noOfVertices, &xyz, &noOfElements, &types, &vertices) == 1) {
      zyrMemory_free(xyz, "fuzz");
      zyrMemory_free(types, "fuzz");
      zyrMemory_free(vertices, "fuzz");
    }
    int32_t n = 0;
    char **neighbours = nullptr;
    zyrRegion_getNeighbours(hModel, names[i], &n, &neighbours);
    freeNames(n, neighbours);
  }
  freeNames(count, names);
  const std::string exported = theDirectory + "/export.wez";
  zyrModel_exportMesh(hModel, "Def", exported.c_str(), "m", 0);
  removeFile(exported);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  setenv("ZYR_USE_LOCAL_UNITS", "1", 1);
  unsetenv("ZYR_SESSION_FILE");
  // Removed with the process's static objects at its exit.
  static const zyrtest::ScratchDir dir("zyrfuzz_intermediate_import");
  theDirectory = dir.path();
  const char *from = std::getenv("ZYR_FUZZ_SEED_FROM");
  const char *out = std::getenv("ZYR_FUZZ_SEED_OUT");
  if (from != nullptr && out != nullptr) {
    addProjection(from, out);
    std::exit(0);
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string database = theDirectory + "/import.zyr";
  const std::string mesh = theDirectory + "/mesh.gmo";
  removeFile(database);
  removeFile(mesh);
  zyrtest::writeFile(mesh, std::string(reinterpret_cast<const char *>(data), size));
  int32_t hDatabase = -1, hModel = -1;
  if (zyrDatabase_open(database.c_str(), &hDatabase, &hModel) != 1)
    std::abort();
  int32_t count = 0;
  char **assemblies = nullptr;
  const int imported =
      zyrModel_importMesh(hModel, "ZYR_INTERMEDIATE", mesh.c_str(), nullptr, nullptr, "m", 0, &count, &assemblies);
  freeNames(count, assemblies);
  if (imported == 1)
    walk(hModel);
  zyrDatabase_close(hDatabase, -1);
  // Whatever the import took, the database opens again.
  if (zyrDatabase_open(database.c_str(), &hDatabase, &hModel) != 1)
    std::abort();
  walk(hModel);
  zyrDatabase_close(hDatabase, 1);
  Repository_setCurrentStateManager(nullptr);
  zyrErrorManager_clearErrors(zyrErrorManager_get());
  removeFile(database);
  removeFile(mesh);
  return 0;
}
