// Until the mesh container is available the mesh half of an import and its completion decline.
#include "ImportedMesh.h"
#include "ImportedMeshGMO.h"

#include "zyrError.h"
#include "zyrErrorCode.h"

namespace {
int notYet(const char *function) {
  zyrError *error = zyrError_new(ZYR_I_NOT_IMPLEMENTED_YET, function, __FILE__, __LINE__);
  zyrError_addMessage(error, "The mesh of an import cannot be built yet.\n");
  zyrError_publish(error);
  return 0;
}
} // namespace

int ImportedMesh_loadMeshFromGMO(ImportedMesh *, GmoContents *, const char *) { return notYet(__func__); }
int ImportedMesh_completeModel(ImportedMesh *) { return notYet(__func__); }
