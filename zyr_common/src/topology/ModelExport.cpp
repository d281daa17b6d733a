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
#include "zyrSystem.h"

#include <cstring>
#include <string>
#include <unistd.h>

namespace {

void publish(int32_t code, const char *function, const char *format, const char *argument) {
  zyrError *error = zyrError_new(code, function, __FILE__, __LINE__);
  zyrError_addMessage(error, format, argument);
  zyrError_publish(error);
}

Topology *topologyOf(const Model *model) { return Model_getTopology(model); }
Mesh *meshOf(const Model *model) { return Model_getMesh(model); }
void *projectionOf(const Model *model) { return Model_getProjection(model); }

void removeWithLock(const std::string &name) {
  if (zyrDoesFileExist(name.c_str()))
    zyrRemoveFile(name.c_str());
  const std::string lock = name + ".lck";
  if (zyrDoesFileExist(lock.c_str()))
    zyrRemoveFile(lock.c_str());
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
      publish(ZYR_I_INTERNAL_ERROR, "Model_writeDefFile",
              "The mesh of the region \"%s\" could not be restored whole; no definition file is written.\n",
              region != nullptr ? Region_getUserName(region) : "");
      whole = 0;
    }
  zyrMemory_free(meshes, __func__);
  return whole;
}

} // namespace

int Model_writeDefFile(Model *model, const char *fileName, uint32_t flags, int32_t fromDefFile, const char *units) {
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
  int status = DefWriter_write(writer);
  DefWriter_delete(writer);
  Model_flushChanges(model);
  return status;
}

int Model_exportMesh(Model *model, const char *type, const char *fileName, const char *units) {
  if (type == nullptr) {
    zyrError *error = zyrError_new(ZYR_U_INVALID_INPUT, __func__, __FILE__, __LINE__);
    zyrError_addMessage(error, "No values was supplied for the export type.\n");
    zyrError_publish(error);
    return 0;
  }
  // The type is examined before the old file is touched: a wrong type must not cost the file.
  if (strcmp(type, "Def") != 0) {
    publish(ZYR_U_INVALID_INPUT, __func__, "The export type \"%s\" is not recognised.\n", type);
    return 0;
  }
  if (model == nullptr || fileName == nullptr || *fileName == '\0')
    return 0;

  // Written beside the final name and moved over it only when complete.
  const std::string temporary = std::string(fileName) + ".new." + std::to_string(long(getpid()));
  removeWithLock(temporary);
  const char *lengthUnits = units != nullptr && !zyrCString_isBlank(units) ? units : "m";
  int status = Model_writeDefFile(model, temporary.c_str(), 0, 0, lengthUnits);
  if (status == 1 && zyrRenameFile(temporary.c_str(), fileName) != 1) {
    publish(ZYR_U_INVALID_INPUT, __func__, "Unable to overwrite the existing file %s.\n", fileName);
    status = 0;
  }
  removeWithLock(temporary);
  return status;
}
