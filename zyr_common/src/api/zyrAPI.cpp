// The handle tables of the procedural interface and what every entry point shares.
#include "zyrAPI.h"

#include "HandleManager.h"
#include "Mesh.h"
#include "MeshSelection.h"
#include "Model.h"
#include "Projection.h"
#include "Representation.h"
#include "Repository.h"
#include "SessionFile.h"
#include "zyrError.h"
#include "zyrErrorCode.h"
#include "zyrMemory.h"
#include "zyrMeshLayer.h"
#include "zyrTopologyLayer.h"
#include "zyrTypeManager.h"

namespace {

// Created on first use, never freed: they only point at objects owned elsewhere.
HandleManager *theModels = nullptr;
HandleManager *theDatabases = nullptr;
HandleManager *theSelections = nullptr;

HandleManager *table(HandleManager **table) {
  if (*table == nullptr)
    *table = HandleManager_new();
  return *table;
}

void *resolve(HandleManager **handles, int32_t handle, const char *caller, const char *what) {
  void *object = HandleManager_getObject(table(handles), handle);
  if (object == nullptr) {
    ZYR_ERROR_FOR(ZYR_U_BAD_HANDLE, caller, "Unable to identify %s with handle \"%d\".\n", what, handle);
  }
  return object;
}

void *newModel(Repository *repository) { return Model_new(repository); }
int setRepository(void *model, Repository *repository) {
  return Model_setRepository(static_cast<Model *>(model), repository);
}

// A Model owns one Mesh and one Representation over its Topology.
void *newMesh(Topology *topology) { return Mesh_new(topology); }
void printMesh(const void *mesh, FILE *stream) { Mesh_print(static_cast<const Mesh *>(mesh), stream); }
int upgradeMesh(void *mesh) { return Mesh_upgrade(static_cast<Mesh *>(mesh)); }
void *newRepresentation(Topology *topology) { return Representation_new(topology); }
void printRepresentation(const void *representation, FILE *stream) {
  Representation_print(static_cast<const Representation *>(representation), stream);
}

} // namespace

void zyrAPI_initialise() {
  static bool done = false;
  if (done)
    return;
  zyrTopologyLayer_initialise();
  zyrMeshLayer_initialise();
  // Imported meshes may bring a mesh-to-CAD projection into the database.
  Projection_registerType();
  const ModelPartHooks meshHooks = {newMesh, Mesh_delete, printMesh, upgradeMesh};
  Model_setMeshHooks(&meshHooks);
  static const ModelPartHooks representation = {newRepresentation, Representation_delete,
                                                printRepresentation, nullptr};
  Model_setRepresentationHooks(&representation);
  zyrTypeManager_setHooks("Model", Model_getSize, Model_save, Model_restore, Model_delete);
  // A model cannot live without its topology and mesh: a file that lost either is not opened.
  static const zyrAttributeRule model[] = {
      {"repository", "Repository", 0, nullptr},
      {"topology", "Topology", ZYR_ATTRIBUTE_OWNED | ZYR_ATTRIBUTE_VITAL, nullptr},
      {"representation", "Representation", ZYR_ATTRIBUTE_OWNED | ZYR_ATTRIBUTE_OPTIONAL, nullptr},
      {"mesh", "Mesh", ZYR_ATTRIBUTE_OWNED | ZYR_ATTRIBUTE_VITAL, nullptr},
      {nullptr, nullptr, 0, nullptr}};
  zyrTypeManager_setAttributes("Model", model);
  Repository_setModelHooks(newModel, Model_upgrade, setRepository);
  // Selections live in the mesh layer and reach their model's parts through these.
  const MeshSelectionModelHooks selectionModel = {Model_getTopology, Model_getMesh};
  MeshSelection_setModelHooks(&selectionModel);
  done = true;
}

int zyrAPI_getModel(int32_t hModel, const char *caller, Model **model) {
  *model = static_cast<Model *>(resolve(&theModels, hModel, caller, "model"));
  if (*model == nullptr)
    return 0;
  Repository_makeCurrent(Model_getRepository(*model));
  return 1;
}

int zyrAPI_getDatabase(int32_t hDatabase, const char *caller, Repository **repository) {
  *repository = static_cast<Repository *>(resolve(&theDatabases, hDatabase, caller, "database"));
  if (*repository == nullptr)
    return 0;
  Repository_makeCurrent(*repository);
  return 1;
}

int zyrAPI_getSelection(int32_t hSelection, const char *caller, MeshSelection **selection) {
  *selection = static_cast<MeshSelection *>(resolve(&theSelections, hSelection, caller, "selection"));
  return *selection != nullptr;
}

int zyrAPI_isGiven(const void *pointer, const char *caller, const char *argument) {
  if (pointer != nullptr)
    return 1;
  ZYR_ERROR_FOR(ZYR_U_INVALID_INPUT, caller, "A null pointer has been supplied for the argument \"%s\".\n", argument);
  return 0;
}

int zyrAPI_finish(Model *model, int status) {
  // A call whose changes could not be committed has failed: they are undone.
  if (status == 1 && Model_commitChanges(model) != 1)
    return 0;
  return status;
}

int zyrAPI_recordModelCall(Model *model, int status, const char *name, int32_t hModel) {
  return zyrAPI_recordCall(Model_getRepository(model), status, name, hModel);
}

int zyrAPI_recordCall(Repository *repository, int status, const char *name, int32_t handle) {
  if (!SessionFile_record(repository, status))
    return 0;
  SessionFile_recordString(name);
  SessionFile_recordInteger(handle);
  return 1;
}

int32_t zyrAPI_createSelectionHandle(MeshSelection *selection) {
  return HandleManager_createHandle(table(&theSelections), selection);
}

void zyrAPI_releaseSelectionHandle(int32_t hSelection) {
  HandleManager_destroyHandle(table(&theSelections), hSelection);
}

void zyrDimensionMask_unpack(DimensionalityMask mask, int flags[4]) {
  for (int bit = 0; bit < 4; ++bit)
    flags[bit] = (mask >> bit) & 1;
}

// Shared with the database entry points.
int32_t zyrAPI_createDatabaseHandles(Repository *repository, int32_t *hModel) {
  const int32_t hDatabase = HandleManager_createHandle(table(&theDatabases), repository);
  *hModel = HandleManager_createHandle(table(&theModels), Repository_getPrimaryModel(repository));
  return hDatabase;
}

int32_t zyrAPI_getDatabaseHandles(int32_t **handles) {
  return HandleManager_getAllActiveHandles(table(&theDatabases), handles);
}

void zyrAPI_releaseDatabaseHandles(int32_t hDatabase, Repository *repository) {
  // A selection holds its model's meshes: it cannot outlive the database, and a handle left to
  // it would lead a later call into freed records.
  int32_t *selections = nullptr;
  const int32_t noOfSelections = HandleManager_getAllActiveHandles(table(&theSelections), &selections);
  for (int32_t i = 0; i < noOfSelections; ++i) {
    MeshSelection *selection = static_cast<MeshSelection *>(HandleManager_getObject(theSelections, selections[i]));
    const Model *model = selection != nullptr ? MeshSelection_getModel(selection) : nullptr;
    if (model != nullptr && Model_getRepository(model) == repository) {
      MeshSelection_delete(selection);
      HandleManager_destroyHandle(theSelections, selections[i]);
    }
  }
  zyrMemory_free(selections, __func__);
  int32_t *handles = nullptr;
  const int32_t count = HandleManager_getAllActiveHandles(table(&theModels), &handles);
  for (int32_t i = 0; i < count; ++i) {
    Model *model = static_cast<Model *>(HandleManager_getObject(theModels, handles[i]));
    if (model != nullptr && Model_getRepository(model) == repository)
      HandleManager_destroyHandle(theModels, handles[i]);
  }
  zyrMemory_free(handles, __func__);
  HandleManager_destroyHandle(table(&theDatabases), hDatabase);
}
