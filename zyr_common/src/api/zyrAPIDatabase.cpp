// Database entry points of the procedural interface.
#include "zyrAPI.h"

#include "Database.h"
#include "DefFile.h"
#include "Model.h"
#include "Repository.h"
#include "SessionFile.h"
#include "Units.h"
#include "zyrError.h"
#include "zyrErrorCode.h"
#include "zyrMemory.h"
#include "zyrObject.h"
#include "zyrStateManager.h"

#include <cstring>

namespace {

// The repository's primary model is a model with its topology, and the one stored at the
// current state.
bool holdsModel(Repository *repository) {
  void *primary = Repository_getPrimaryModel(repository);
  return primary != nullptr && std::strcmp(zyrObject_getTypeName(primary), "Model") == 0 &&
         Model_getTopology(static_cast<Model *>(primary)) != nullptr && Repository_isPrimaryModelStored(repository);
}

} // namespace

int zyrDatabase_open(const char *name, int32_t *hDatabase, int32_t *hModel) {
  if (!zyrAPI_isGiven(hDatabase, __func__, "hDatabase") || !zyrAPI_isGiven(hModel, __func__, "hModel"))
    return 0;
  *hDatabase = -1;
  *hModel = -1;
  if (!zyrAPI_isGiven(name, __func__, "name"))
    return 0;
  zyrAPI_initialise();
  if (!Units_areAvailable())
    return 0;
  // What a creation cut off leaves holds no database to upgrade: the open makes it anew.
  const int exists = Database_fileExists(name, ZYR_U_UNABLE_TO_OPEN_DATABASE, __func__);
  if (exists < 0)
    return 0;
  if (exists > 0 && !Database_isCutOffCreation(name)) {
    int upgraded = 0;
    if (zyrDatabaseUpgrade(name, nullptr, &upgraded, 1) != 1)
      return 0;
  }
  // Whatever the look saw, the open decides whether the database is new; one of an older release
  // that came under the name since is refused, never worked on without its upgrade.
  Repository *repository = Repository_new(name, 1);
  // A damaged file can name anything as its model, lose the model's topology, or lose the model's
  // way back to the file.
  void *primary = repository != nullptr ? Repository_getPrimaryModel(repository) : nullptr;
  if (repository != nullptr && !holdsModel(repository)) {
    ZYR_ERROR(ZYR_I_INTERNAL_ERROR, "The database \"%s\" holds no model.\n", name);
    Repository_close(repository, -1);
    repository = nullptr;
  } else if (repository != nullptr && Model_getRepository(static_cast<Model *>(primary)) != repository) {
    Model_setRepository(static_cast<Model *>(primary), repository);
  }
  if (SessionFile_record(repository, repository != nullptr ? 1 : 0)) {
    SessionFile_recordString(__func__);
    SessionFile_recordString(name);
  }
  if (repository == nullptr)
    return 0;
  *hDatabase = zyrAPI_createDatabaseHandles(repository, hModel);
  return 1;
}

int zyrDatabase_close(int32_t hDatabase, int32_t purgeHistory) {
  Repository *repository = nullptr;
  if (!zyrAPI_getDatabase(hDatabase, __func__, &repository))
    return 0;
  // Written before the close, while the repository still exists.
  if (zyrAPI_recordCall(repository, 1, __func__, hDatabase))
    SessionFile_recordInteger(purgeHistory);
  zyrAPI_releaseDatabaseHandles(hDatabase, repository);
  // The handles are gone whatever happens; a close that could not commit or compact is still
  // a failure the caller must hear of.
  return Repository_close(repository, purgeHistory) == 1 ? 1 : 0;
}

int zyrDatabase_closeAll(int32_t *noOfClosed) {
  int32_t *handles = nullptr;
  const int32_t count = zyrAPI_getDatabaseHandles(&handles);
  int status = 1;
  for (int32_t i = 0; i < count; ++i)
    if (zyrDatabase_close(handles[i], 0) != 1)
      status = 0;
  zyrMemory_free(handles, __func__);
  if (noOfClosed != nullptr)
    *noOfClosed = count;
  return status;
}

namespace {

int copyDatabase(const char *function, int32_t hDatabase, const char *filename, int32_t workOnCopy,
                 int32_t purgeHistory, int replace) {
  Repository *repository = nullptr;
  if (!zyrAPI_isGiven(filename, function, "filename") || !zyrAPI_getDatabase(hDatabase, function, &repository))
    return 0;
  const int status = Repository_copyDatabase(repository, filename, workOnCopy, purgeHistory, replace);
  if (zyrAPI_recordCall(repository, status, "zyrDatabase_copy", hDatabase)) {
    SessionFile_recordString(filename);
    SessionFile_recordInteger(workOnCopy);
    SessionFile_recordInteger(purgeHistory);
  }
  if (status == 1)
    Repository_commit(repository);
  return status;
}

} // namespace

int zyrDatabase_copy(int32_t hDatabase, const char *filename, int32_t workOnCopy, int32_t purgeHistory) {
  return copyDatabase(__func__, hDatabase, filename, workOnCopy, purgeHistory, 0);
}

int zyrDatabase_copyOver(int32_t hDatabase, const char *filename, int32_t workOnCopy, int32_t purgeHistory) {
  return copyDatabase(__func__, hDatabase, filename, workOnCopy, purgeHistory, 1);
}

int zyrDatabase_saveCheckpoint(int32_t hDatabase, int32_t *checkpoint) {
  Repository *repository = nullptr;
  if (!zyrAPI_isGiven(checkpoint, __func__, "checkpoint") || !zyrAPI_getDatabase(hDatabase, __func__, &repository))
    return 0;
  *checkpoint = Repository_externalCheckpoint(repository);
  // -1: the state could not be committed or the list cannot be written (said already).
  const int status = *checkpoint >= 0 ? 1 : 0;
  zyrAPI_recordCall(repository, status, __func__, hDatabase);
  return status;
}

int zyrDatabase_restoreCheckpoint(int32_t hDatabase, int32_t checkpoint) {
  Repository *repository = nullptr;
  if (!zyrAPI_getDatabase(hDatabase, __func__, &repository))
    return 0;
  const int32_t state = Repository_getCurrentState(repository);
  int status = Repository_gotoExternalCheckpoint(repository, checkpoint);
  if (status == 1 && !holdsModel(repository)) {
    // A damaged history can lose the model's topology at another state: the database stays at
    // the state it was at, where the model is whole.
    Repository_gotoState(repository, state < 0 ? -state : state);
    ZYR_ERROR(ZYR_I_INTERNAL_ERROR,
              "The checkpoint %d of the database \"%s\" holds no model; the database has been left as it was.\n",
              checkpoint, Database_getFileName(zyrStateManager_getDatabase(Repository_getStateManager(repository))));
    status = 0;
  }
  if (zyrAPI_recordCall(repository, status, __func__, hDatabase))
    SessionFile_recordInteger(checkpoint);
  return status;
}

int zyrDatabase_getNoOfCheckpoints(int32_t hDatabase, int32_t *noOfCheckpoints) {
  Repository *repository = nullptr;
  if (!zyrAPI_isGiven(noOfCheckpoints, __func__, "noOfCheckpoints") || !zyrAPI_getDatabase(hDatabase, __func__, &repository))
    return 0;
  *noOfCheckpoints = Repository_getNoOfCheckpoints(repository);
  zyrAPI_recordCall(repository, 1, __func__, hDatabase);
  return 1;
}

int zyrDatabase_isFile(int32_t hDatabase, const char *name) {
  Repository *repository = nullptr;
  if (name == nullptr || !zyrAPI_getDatabase(hDatabase, __func__, &repository))
    return 0;
  const Database *database = zyrStateManager_getDatabase(Repository_getStateManager(repository));
  return database != nullptr ? DefFile_isFile(Database_getDefFile(database), name) : 0;
}

int zyrDatabase_upgrade(const char *name, const char *newName, int *upgraded) {
  if (!zyrAPI_isGiven(name, __func__, "name") || !zyrAPI_isGiven(upgraded, __func__, "upgraded"))
    return 0;
  zyrAPI_initialise();
  const int status = zyrDatabaseUpgrade(name, newName, upgraded);
  // Written only into a recording already under way: an upgrade does not start one.
  if (status == 1 && SessionFile_isRecording()) {
    SessionFile_recordString(__func__);
    SessionFile_recordString(name);
    SessionFile_recordString(newName);
  }
  return status;
}
