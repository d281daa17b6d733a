// The mesh reader's .msh parser and the model built from what it read, on any bytes: either
// a message or a model, never a crash, a hang or an allocation beyond the input's size.
#include "KelvoModel.h"
#include "MshFile.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  MshFile *mesh = MshFile_new();
  std::string error;
  if (MshFile_parse(mesh, reinterpret_cast<const char *>(data), size, &error)) {
    KelvoModel *model = KelvoModel_new();
    if (!KelvoModel_build(model, mesh, &error) && error.empty())
      __builtin_trap();
    KelvoModel_delete(model);
  } else if (error.empty()) {
    __builtin_trap();
  }
  MshFile_delete(mesh);
  return 0;
}
