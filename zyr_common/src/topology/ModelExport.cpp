// Model operations that write the model out as a solver definition file.
#include "ModelExport.h"

#include "DefWriter.h"
#include "ElementMesh.h"
#include "Mesh.h"
#include "Model.h"
#include "Region.h"
#include "zyrCString.h"
#include "zyrError.h"
#include "zyrMemory.h"
#include "zyrPause.h"
#include "zyrPlacement.h"
#include "zyrSystem.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

Topology *topologyOf(const Model *model) { return Model_getTopology(model); }
Mesh *meshOf(const Model *model) { return Model_getMesh(model); }
void *projectionOf(const Model *model) { return Model_getProjection(model); }

// Why the definition file is not in place: what stands under the name is kept (it is no regular
// file, or it is in use), or the definition file cannot be made where it was asked for, for the
// placement's own reason or the system's.
void publishRefusal(const char *fileName, const zyrPlacement &place) {
  const std::string reason = zyrPlacement_reason(&place);
  if (zyrPlacement_isKept(&place))
    zyrPublishNotReplaced(fileName, reason.c_str(), "Model_exportMesh");
  else
    ZYR_ERROR_FOR(ZYR_U_UNABLE_TO_EXPORT_MESH, "Model_exportMesh",
                  "Unable to write the definition file\n\n%s\n\n%s.\n", fileName, reason.c_str());
}

// A mesh part that its restore left without vertices or elements (its stored data was damaged):
// a definition file written from it would not hold the model's mesh.
int meshIsWhole(Model *model) {
  ElementMesh **meshes = nullptr;
  const int32_t n = Model_getMesh(model) != nullptr ? Mesh_getElementMeshes(Model_getMesh(model), &meshes) : 0;
  int whole = 1;
  for (int32_t i = 0; i < n && whole; ++i)
    if (ElementMesh_getNoOfVertices(meshes[i]) < 1 || ElementMesh_getNoOfElements(meshes[i]) < 1) {
      const Region *region = ElementMesh_getRegion(meshes[i]);
      ZYR_ERROR_FOR(ZYR_I_INTERNAL_ERROR, "Model_writeDefFile",
                    "The mesh of the region \"%s\" could not be restored whole; no definition file is written.\n",
                    region != nullptr ? Region_getUserName(region) : "");
      whole = 0;
    }
  zyrMemory_free(meshes, __func__);
  return whole;
}

// Writes the file; `shownName` is the file the caller asked for, named when an interrupt stopped
// the writing.
int writeDefFile(Model *model, const char *fileName, const char *shownName, uint32_t flags, int32_t fromDefFile,
                 const char *units) {
  if (model == nullptr || fileName == nullptr)
    return 0;
  static const DefWriterModelHooks hooks = {topologyOf, meshOf, projectionOf};
  DefWriter_setModelHooks(&hooks);
  if (!meshIsWhole(model))
    return 0;
  double tolerance = Model_getActiveRelativeTolerance(model);
  Model_flushChanges(model);
  DefWriter *writer = DefWriter_new(model, fileName, flags, fromDefFile, units, tolerance);
  if (writer == nullptr)
    return 0;
  // The writer stops at its next step when the program asks for the work to be abandoned.
  int status = DefWriter_write(writer);
  DefWriter_delete(writer);
  if (zyrCheckInterrupt(ZYR_U_UNABLE_TO_EXPORT_MESH, "Model_writeDefFile",
                        "The writing of the definition file \"%s\"", shownName))
    status = 0;
  Model_flushChanges(model);
  return status;
}

} // namespace

int Model_writeDefFile(Model *model, const char *fileName, uint32_t flags, int32_t fromDefFile, const char *units) {
  return writeDefFile(model, fileName, fileName, flags, fromDefFile, units);
}

int Model_exportMesh(Model *model, const char *type, const char *fileName, const char *units) {
  if (type == nullptr) {
    ZYR_ERROR(ZYR_U_INVALID_INPUT, "No values was supplied for the export type.\n");
    return 0;
  }
  // The type is examined before the old file is touched: a wrong type must not cost the file.
  if (strcmp(type, "Def") != 0) {
    ZYR_ERROR(ZYR_U_INVALID_INPUT, "The export type \"%s\" is not recognised.\n", type);
    return 0;
  }
  if (model == nullptr)
    return 0;
  if (fileName == nullptr || zyrCString_isBlank(fileName)) {
    ZYR_ERROR(ZYR_U_INVALID_INPUT, "Unable to write the definition file\n\n\"%s\"\n\nNo file name has been supplied.\n",
              fileName != nullptr ? fileName : "");
    return 0;
  }
  // A unit the writer could not convert to would give a file without coordinates.
  if (!Model_checkLengthUnits(units, __func__))
    return 0;

  // Written beside the file the name leads to and moved over it only when complete and on disc,
  // with the old file's permissions; the directory is put on disc after the rename, so that a
  // crash leaves the old file or the new. The temporary carries this process's id: what a killed
  // export left goes at the next look. Its name leaves room for the lock file of the data-set
  // file written under it, as the name itself must.
  // A file in use keeps its place (zyrPlacement.h: a database open here or elsewhere would lose
  // its file under its lock), and one that is not is held until the new file is in place; only a
  // regular file is replaced. The placement lets go of all of it however the export ends.
  zyrPlacement place;
  if (!zyrPlacement_begin(&place, fileName, 4)) {
    publishRefusal(fileName, place);
    return 0;
  }
  // The placement made the temporary (or said why it cannot be made there, under the name asked
  // for) and holds it: the writer writes into it.
  const std::string &temporary = place.m_temporary.m_name;
  const char *lengthUnits = units != nullptr && !zyrCString_isBlank(units) ? units : "m";
  int status = writeDefFile(model, temporary.c_str(), fileName, 0, 0, lengthUnits);
  zyrPause_point("export.before-replace");
  if (status == 1 && zyrCheckInterrupt(ZYR_U_UNABLE_TO_EXPORT_MESH, __func__,
                                       "The writing of the definition file \"%s\"", fileName))
    status = 0;
  if (status == 1 && zyrPlacement_commit(&place) != 1) {
    publishRefusal(fileName, place);
    status = 0;
  }
  return status;
}
