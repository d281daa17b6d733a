// Definition files mutated from a valid one and read through the direct import: one tetrahedron
// in one zone with four face sets, a physics name map, an atlas, a zone interface's face pairs.
// The first two bytes pick the release text and the geometric scale; the rest are edits of the
// integer data sets (which data set, which entry, what value, or a change of its length).
// Whatever the edits, the import answers and never reads outside what the file holds.
#include "DefFile.h"
#include "IntSetEdits.h"
#include "ImportedMesh.h"
#include "Repository.h"
#include "zyrErrorManager.h"
#include "zyrImportFixtures.h"
#include "zyrTestSupport.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

using zyrfuzz::IntSet;

// Whether the last input's file was imported.
bool g_imported = false;

const zyrtest::ScratchDir &scratch() {
  static const zyrtest::ScratchDir dir("zyr-direct");
  return dir;
}

std::vector<IntSet> baseline() {
  return {{"G/NZN", "EVERY", {1}},
          {"G/NSF", "EVERY", {4}},
          {"G/NVL", "EVERY", {1}},
          {"G/KVLZN", "EVERY", {1}},
          {"G/IPVLZN", "EVERY", {1, 2}},
          {"G/NVL", "ZN1", {1}},
          {"G/NFS", "ZN1", {4}},
          {"G/KSFFS", "ZN1", {1, 2, 3, 4}},
          {"G/KSFSF", "EVERY", {2, 1, 0, 0}},
          {"G/IPSFVL", "EVERY", {1, 5}},
          {"G/KSFVL", "EVERY", {1, 2, 3, 4}},
          {"G/KPRSF", "EVERY", {0, 2, 0, 0}},
          {"G/KPRVL", "EVERY", {1}},
          {"G/NVX", "ZN1", {4}},
          {"G/NES", "ZN1", {1}},
          {"G/NEL", "ZN1", {1}},
          {"G/NFCFS", "ZN1", {1, 1, 1, 1}},
          {"G/ILTPES", "ZN1", {4}},
          {"G/KESVL", "ZN1", {1}},
          {"G/IPESVL", "ZN1", {1, 2}},
          {"G/KVXPE", "ZN1/ES1", {1, 2, 3, 4}},
          {"G/KELPE", "ZN1/ES1", {1}},
          {"G/KELPF", "ZN1/FS1", {1, 1}},
          {"G/KELPF", "ZN1/FS2", {1, 2}},
          {"G/KELPF", "ZN1/FS3", {1, 3}},
          {"G/KELPF", "ZN1/FS4", {1, 4}},
          {"G/KVLSF", "EVERY", {1, 1, 1, 1}},
          {"G/NZIF", "EVERY", {1}},
          {"G/KZSFZSF", "ZIF1", {1, 2}},
          {"G/KZFCZFC", "ZIF1", {1, 1, 1, 2, 1, 2, 3, 0, 1, 2, 4, 0}},
          {"G/KSFBCP", "EVERY", {3, 4}},
          {"G/IPSFBCP", "EVERY", {1, 3}},
          {"G/ATLAS/KRGAS", "EVERY", {1, 2, 0, 0, 1, 3, 4}}};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static bool ready = false;
  static Repository *repository = nullptr;
  static int32_t clean = 0;
  if (!ready) {
    ready = true;
    repository = zyrtest::openImportStore(scratch().file("db"));
    if (repository == nullptr)
      zyrfuzz::setUpFailed("direct_import", "no store for the imports");
    clean = Repository_commit(repository);
    // The unedited file must import, or every input would only be refused.
    LLVMFuzzerTestOneInput(data, 0);
    if (!g_imported)
      zyrfuzz::setUpFailed("direct_import", "the unedited definition file does not import");
  }
  std::vector<IntSet> sets = baseline();
  const uint8_t release = size > 0 ? data[0] : 0, scaling = size > 1 ? data[1] : 0;
  const uint8_t names = size > 2 ? data[2] : 0;
  zyrfuzz::editIntSets(sets, data + 3, size > 3 ? size - 3 : 0);

  const std::string name = scratch().file("fuzz.def");
  unlink(name.c_str());
  DefFile *file = DefFile_new(name.c_str());
  if (file == nullptr)
    zyrfuzz::setUpFailed("direct_import", "the definition file cannot be written");
  zyrfuzz::writeIntSets(file, sets, "G/N");
  static const char *const kReleases[] = {"6.0 (x) [ZYR]", "5.3 (x)", "5.4.0", "5.4.1", "5.5", "x.y", "", "7"};
  char text[100] = {0};
  strncpy(text, kReleases[release % 8], sizeof text - 1);
  if (release >= 8)
    DefFile_writeCharArray(file, "G/CRELNO", "EVERY", 0, text, 100);
  static const float kScales[] = {1.0f, 0.001f, 0.0f, NAN, -1.0f, INFINITY, 1e-30f, 2.0f};
  DefFile_writeFloat(file, "G/GEOSCL", "EVERY", 0, kScales[scaling % 8]);
  DefFile_writeIoString(file, "G/CGUNIT", "EVERY", 0, scaling & 8 ? "furlong" : "mm");
  const char *topcat[] = {"Fluid", "ZN1",  "DOMAIN", "ZN",  "wall", "BCP1", "BOUNDARY", "BCP",
                          "odd",   "BCP9", "x",      "BCP", "neg",  "ZN-3", "x",        "ZN"};
  DefFile_writeIoStringArray(file, "G/TOPCAT", "EVERY", 0, topcat, 16);
  const char *volumes[] = {"Fluid"}, *surfaces[] = {"a", "b", "wall", "wall"}, *assemblies[] = {"A"};
  DefFile_writeIoStringArray(file, "G/CLBVL", "ZN1", 0, volumes, 1);
  DefFile_writeIoStringArray(file, "G/CLBSF", "ZN1", 0, surfaces, names & 1 ? 3 : 4);
  if (names & 2) {
    const char *atlas[] = {"A = a, b, wall"};
    DefFile_writeIoStringArray(file, "G/ATLAS/PRIMARY", "EVERY", 0, atlas, 1);
    DefFile_writeIoStringArray(file, "G/ATLAS/CLBAS", "EVERY", 0, assemblies, 1);
  }
  const double xyz[] = {0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1};
  DefFile_writeDoubleArray(file, "G/CRDVX", "ZN1/VX", 0, xyz, names & 4 ? 9 : 12, 0);
  DefFile_delete(file);

  zyrtest::freshParts();
  ImportedMesh *im = ImportedMesh_new(zyrtest::hookedModel(), "ZYR_DIRECT", name.c_str(), nullptr, nullptr, "m");
  g_imported = im != nullptr;
  ImportedMesh_delete(im);
  // Every input starts from the same empty store.
  Repository_gotoState(repository, clean);
  zyrErrorManager_clearErrors(zyrErrorManager_get());
  return 0;
}
