#include "Repository.h"

#include "Database.h"
#include "DefFile.h"
#include "Dictionary.h"
#include "Pair.h"
#include "zyrCString.h"
#include "zyrDirectoryHandle.h"
#include "zyrError.h"
#include "zyrFileUse.h"
#include "zyrHeldTemporary.h"
#include "zyrLeftovers.h"
#include "zyrMemory.h"
#include "zyrPause.h"
#include "zyrPlacement.h"
#include "zyrStateManager.h"
#include "zyrSystem.h"
#include "zyrTypeManager.h"
#include "zyrTrace.h"
#include "zyrUUID.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace {

const int32_t kInitialCheckpoints = 50;
const int32_t kFirstCurrentVersion = DATABASE_FIRST_CURRENT_VERSION;
const char *kCheckpoints = "checkpoints";
const char *kPrimaryModel = "primaryModel";
const char *kScratchName = "_changes";

zyrStateManager *theCurrentManager = nullptr;
Repository *theScratch = nullptr;

RepositoryModelNewHook theModelNew = nullptr;
RepositoryModelUpgradeHook theModelUpgrade = nullptr;
RepositoryModelSetRepositoryHook theModelSetRepository = nullptr;

void closeScratch() {
  if (theScratch == nullptr)
    return;
  Repository *scratch = theScratch;
  theScratch = nullptr;
  Repository_close(scratch, -1);
}

void growCheckpoints(Repository *repository, int32_t capacity) {
  repository->m_checkpoints = zyrMemory_reallocateArray(repository->m_checkpoints, capacity, __func__);
  repository->m_maxNoOfCheckpoints = capacity;
}

// A new, empty database file beside the file (same directory, so that a rename never crosses file
// systems), named for this process and held by `held` from its making to its swap or removal
// (zyrHeldTemporary.h), so that one a killed process left goes at the next look and a live one's
// never does: 1, or 0 with errno.
int heldCopyBeside(const char *file, const char *prefix, zyrHeldTemporary *held) {
  char *directory = nullptr;
  zyrSplitPathName(file, &directory, nullptr);
  char *base = nullptr;
  zyrJoinPathName(directory, prefix, &base);
  const int made = zyrHeldTemporary_make(held, base, ".tmp.zyr", 4);
  zyrCString_free(base);
  zyrCString_free(directory);
  return made;
}

// The state whose "__TYPE__" created the object. Objects are made at states from 1 on: a type
// at state 0 is damage, and would let a change of state go below the Repository's own making.
int32_t creationState(zyrStateManager *manager, const void *object) {
  char key[ZYR_UUID_BASE64_SIZE];
  zyrObject_getUUIDString(object, key);
  int32_t noOfKeys = 0;
  char **keys = nullptr;
  int32_t *offsets = nullptr;
  char **names = nullptr;
  int32_t *whens = nullptr;
  Database_match(zyrStateManager_getDatabase(manager), 1, -1, key, "__TYPE__", &noOfKeys, &keys, &offsets, &names,
                 &whens);
  const int32_t state = noOfKeys > 0 ? whens[0] : zyrStateManager_getAbsoluteState(manager);
  zyrCStringArray_free(keys, static_cast<uint64_t>(noOfKeys));
  zyrCStringArray_free(names, static_cast<uint64_t>(offsets != nullptr ? offsets[noOfKeys] : 0));
  zyrMemory_free(offsets, __func__);
  zyrMemory_free(whens, __func__);
  return state;
}

// The file's Repository. A damaged file can store other objects as Repositories too: the one
// whose primary model is the file's model is taken, else the one made first (with the file) of
// those that store a primary model.
Repository *findRepository(zyrStateManager *manager) {
  int32_t count = 0;
  void **objects = nullptr;
  zyrStateManager_getObjectsByTypeName(manager, "Repository", &count, &objects);
  Repository *found = count == 1 ? static_cast<Repository *>(objects[0]) : nullptr;
  if (count > 1) {
    void *model = zyrStateManager_getSingletonByTypeName(manager, "Model");
    int32_t noOfFound = 0;
    for (int32_t i = 0; i < count; ++i) {
      Repository *candidate = static_cast<Repository *>(objects[i]);
      if (model != nullptr && candidate->m_primaryModel == model) {
        found = candidate;
        ++noOfFound;
      }
    }
    if (noOfFound == 0) {
      // The one made first that stores a primary model (an object that became a Repository by
      // damage stores none).
      int32_t first = INT32_MAX;
      for (int32_t i = 0; i < count; ++i) {
        int changed = 0;
        Database_isParameterChanged(zyrStateManager_getDatabase(manager), -1, -1, zyrObject_getUUID(objects[i]),
                                    kPrimaryModel, &changed);
        const int32_t made = changed ? creationState(manager, objects[i]) : INT32_MAX;
        noOfFound = made < first ? 1 : made == first ? noOfFound + 1 : noOfFound;
        if (made < first) {
          first = made;
          found = static_cast<Repository *>(objects[i]);
        }
      }
    }
    if (noOfFound != 1)
      found = nullptr;
  }
  zyrMemory_free(objects, __func__);
  return found;
}

// Whether the file holds the checkpoint list as it stands.
bool checkpointsStored(Repository *repository) {
  int32_t *stored = nullptr;
  int32_t count = 0;
  Database_getInts(zyrStateManager_getDatabase(repository->m_stateManager), 0, zyrObject_getUUID(repository),
                   kCheckpoints, &stored, &count);
  const bool same = count == repository->m_noOfCheckpoints &&
                    (count == 0 || std::memcmp(stored, repository->m_checkpoints, sizeof(int32_t) * count) == 0);
  zyrMemory_free(stored, "checkpointsStored");
  return same;
}

// Adds the state to the checkpoint list (once); its index. A new entry is a change of the file
// when `claim` is set: -1, with the refusal published, when this process cannot write the file.
int32_t addCheckpoint(Repository *repository, int32_t state, int claim) {
  for (int32_t i = repository->m_noOfCheckpoints - 1; i >= 0; --i)
    if (repository->m_checkpoints[i] == state)
      return i;
  if (claim && !Database_claimWrite(zyrStateManager_getDatabase(repository->m_stateManager), 1))
    return -1;
  if (repository->m_noOfCheckpoints == repository->m_maxNoOfCheckpoints)
    growCheckpoints(repository, repository->m_maxNoOfCheckpoints > 0 ? 2 * repository->m_maxNoOfCheckpoints
                                                                      : kInitialCheckpoints);
  repository->m_checkpoints[repository->m_noOfCheckpoints] = state;
  return repository->m_noOfCheckpoints++;
}

// Ends an open that failed: the file (when it was opened) is closed as it is, and the manager made
// for it goes; the one current before stays current.
void abandonOpen(zyrStateManager *manager, zyrStateManager *previous, bool opened) {
  if (opened)
    zyrStateManager_closeDatabase(manager, -1);
  Repository_setCurrentStateManager(previous);
  zyrStateManager_delete(manager);
}

// An open that could not make its Repository (the file refused the first write).
Repository *refuseOpen(zyrStateManager *manager, zyrStateManager *previous, const char *name) {
  abandonOpen(manager, previous, true);
  ZYR_ERROR(ZYR_U_UNABLE_TO_OPEN_DATABASE, "Unable to open the requested database\n\"%s\".\n", name);
  return nullptr;
}

// An open that may work only on a database of the current release found one of an older release:
// its caller had made sure that the name needed no upgrade, so the file came there meanwhile. It
// is closed as it was found.
Repository *refuseOlder(zyrStateManager *manager, zyrStateManager *previous, const char *name) {
  abandonOpen(manager, previous, true);
  ZYR_ERROR_FOR(ZYR_U_UNABLE_TO_OPEN_DATABASE, "Repository_new",
                "The ZYR database\n\n%s\n\nhas been put under its name meanwhile, and is of an older release: it "
                "has not been opened, and is as it was. Opening it again upgrades it.\n",
                name);
  return nullptr;
}

// Other objects that damage made Repositories, live at the state the writer leaves the file at,
// would give the next open more than one to take the file's from (and it might take none, or
// another): they are deleted there. A purge erases them with the history (purgeUnloaded).
void deleteOtherRepositories(Repository *repository) {
  std::vector<void *> others;
  DictionaryIterator *iterator = DictionaryIterator_new(repository->m_stateManager->m_objects);
  for (Pair *pair = DictionaryIterator_first(iterator); pair != nullptr; pair = DictionaryIterator_next(iterator))
    if (Pair_getSecond(pair) != repository && zyrObject_getTypeId(Pair_getSecond(pair)) == ZYR_TYPE_ID_REPOSITORY)
      others.push_back(Pair_getSecond(pair));
  DictionaryIterator_delete(iterator);
  for (void *other : others)
    zyrObject_deleteByType(other);
}

// Going below the state that created the Repository would unload the Repository itself.
int isReachable(const Repository *repository, int32_t state) { return state >= repository->m_firstState; }

} // namespace

void Repository_setModelHooks(RepositoryModelNewHook newModel, RepositoryModelUpgradeHook upgrade,
                              RepositoryModelSetRepositoryHook setRepository) {
  theModelNew = newModel;
  theModelUpgrade = upgrade;
  theModelSetRepository = setRepository;
}

Repository *Repository_new(const char *name, int currentOnly) {
  zyrStateManager *manager = zyrStateManager_new();
  zyrStateManager *previous = Repository_setCurrentStateManager(manager);
  // Whatever a caller's look saw, another program may put a file under the name until the open.
  zyrPause_point("repository.before-open");
  if (zyrStateManager_openDatabase(manager, name) != 1) {
    ZYR_ERROR(ZYR_U_UNABLE_TO_OPEN_DATABASE, "Unable to open the requested database\n\"%s\".\n",
              name != nullptr ? name : "");
    // Later persistent-object calls must not reach a manager without a file.
    abandonOpen(manager, previous, false);
    return nullptr;
  }
  // A file this open made is not a database until its first state, with the Repository and its
  // model, is committed: a close before then (the open failed) removes it again.
  Database *database = zyrStateManager_getDatabase(manager);
  // Whether the database is new is what this open did (made the file, or found it), whatever a
  // look before it saw: a database put under the name meanwhile is found, and keeps what it holds.
  const int made = Database_isNew(database);
  if (currentOnly && !made && Database_getVersion(database) < kFirstCurrentVersion)
    return refuseOlder(manager, previous, name);
  Database_setCreating(database, made);
  Repository *repository = nullptr;
  // A file whose creation never committed its first state holds nothing: it is made anew.
  if (made || (manager->m_last == 0 && manager->m_current == 0 &&
               zyrStateManager_getSingletonByTypeName(manager, "Repository") == nullptr &&
               zyrStateManager_getSingletonByTypeName(manager, "Model") == nullptr)) {
    repository = static_cast<Repository *>(zyrObject_new("Repository"));
    if (repository == nullptr)
      return refuseOpen(manager, previous, name);
    void *model = theModelNew != nullptr ? theModelNew(repository) : nullptr;
    Repository_setPrimaryModel(repository, model);
  } else {
    repository = findRepository(manager);
    if (repository == nullptr) {
      // Files of older releases hold the model alone.
      void *model = zyrStateManager_getSingletonByTypeName(manager, "Model");
      if (model == nullptr) {
        ZYR_ERROR(ZYR_I_INTERNAL_ERROR, "Unable to locate the primary model in the database\n\"%s\".\n", name);
        abandonOpen(manager, previous, true);
        return nullptr;
      }
      repository = static_cast<Repository *>(zyrObject_new("Repository"));
      if (repository == nullptr)
        return refuseOpen(manager, previous, name);
      Repository_setPrimaryModel(repository, model);
      if (theModelSetRepository != nullptr)
        theModelSetRepository(model, repository);
    }
  }
  repository->m_stateManager = manager;
  zyrStateManager_setOwner(manager, repository);
  zyrMemory_free(repository->m_checkpoints, __func__);
  repository->m_checkpoints = zyrMemory_allocateZeroedArray<int32_t>(kInitialCheckpoints, __func__);
  repository->m_maxNoOfCheckpoints = kInitialCheckpoints;
  repository->m_noOfCheckpoints = 0;

  repository->m_firstState = creationState(manager, repository);

  int32_t *stored = nullptr;
  int32_t count = 0;
  Database_getInts(zyrStateManager_getDatabase(manager), 0, zyrObject_getUUID(repository), kCheckpoints, &stored,
                   &count);
  if (stored != nullptr && count >= 1) {
    if (count > repository->m_maxNoOfCheckpoints)
      growCheckpoints(repository, 2 * count);
    std::memcpy(repository->m_checkpoints, stored, sizeof(int32_t) * static_cast<size_t>(count));
    repository->m_noOfCheckpoints = count;
  } else {
    // The state the file was opened at, named without a change of the file.
    addCheckpoint(repository, Repository_commit(repository), 0);
  }
  zyrMemory_free(stored, __func__);
  if (!zyrStateManager_hasChange(manager) && zyrStateManager_getAbsoluteState(manager) > 0)
    Database_setCreating(database, 0);
  return repository;
}

int Repository_close(Repository *repository, int32_t flag) {
  if (repository == nullptr)
    return 0;
  if (repository == theScratch)
    theScratch = nullptr;
  zyrStateManager *manager = repository->m_stateManager;
  zyrStateManager *previous = theCurrentManager;
  Repository_makeCurrent(repository);
  Database *database = zyrStateManager_getDatabase(manager);
  int saved = 1;
  if (database != nullptr) {
    // The model is the one the file was opened with, or the first a change of state found
    // (Repository_restore), whatever a damaged history names elsewhere: a close that leaves the file
    // at this process's state leaves it naming that model there.
    if ((flag == 1 || Database_isWriter(database)) && repository->m_modelKept &&
        repository->m_primaryModel != nullptr && Repository_isPrimaryModelStored(repository) != 1)
      Repository_setPrimaryModel(repository, repository->m_primaryModel);
    if (flag != 1 && Database_isWriter(database))
      deleteOtherRepositories(repository);
    if (zyrStateManager_commitChange(manager) != 1)
      saved = 0;
    // The list is the writer's to store, and only when it changed; a purge drops it with the
    // history it names.
    if (flag != 1 && Database_isWriter(database) && !checkpointsStored(repository) &&
        Database_setInts(database, 0, zyrObject_getUUID(repository), kCheckpoints, repository->m_checkpoints,
                         repository->m_noOfCheckpoints) != 1) {
      ZYR_ERROR(ZYR_I_INTERNAL_ERROR, "Unable to save checkpoint history.\n");
      saved = 0;
    }
  }
  // The close unloads every object, the Repository among them.
  const int status = zyrStateManager_closeDatabase(manager, flag) == 1 && saved ? 1 : 0;
  // Another open database stays current; the closed one never does.
  theCurrentManager = previous != manager ? previous : nullptr;
  zyrStateManager_delete(manager);
  return status;
}

void Repository_dump(const Repository *repository, FILE *stream) {
  const char *rule = "==============================================";
  char key[ZYR_UUID_BASE64_SIZE + 16];
  zyrObject_getUUIDString(repository, key);
  std::fprintf(stream, "\n%s\nRepository: %s\n%s\n\n", rule, key, rule);
  if (repository->m_primaryModel != nullptr) {
    char model[ZYR_UUID_BASE64_SIZE + 16];
    zyrObject_getUUIDString(repository->m_primaryModel, model);
    std::fprintf(stream, "m_primaryModel = %s\n", model);
  } else {
    std::fprintf(stream, "m_primaryModel = NOT SET\n");
  }
  std::fprintf(stream, "m_stateManager = %p\n", static_cast<const void *>(repository->m_stateManager));
  zyrStateManager_print(repository->m_stateManager, stream);
  std::fprintf(stream, "%s\n\n", rule);
  std::fflush(stream);
}

void Repository_print(const Repository *repository, FILE *stream) { Repository_dump(repository, stream); }

int Repository_copyDatabase(Repository *repository, const char *name, int32_t workOnCopy, int32_t flag,
                            int replace) {
  Repository_makeCurrent(repository);
  return zyrStateManager_copyDatabase(repository->m_stateManager, name, workOnCopy, flag, replace);
}

int32_t Repository_commit(Repository *repository) {
  Repository_makeCurrent(repository);
  return zyrStateManager_commitState(repository->m_stateManager);
}

void Repository_gotoState(Repository *repository, int32_t state) {
  Repository_makeCurrent(repository);
  if (isReachable(repository, state))
    zyrStateManager_changeState(repository->m_stateManager, 0, state);
}

int32_t Repository_externalCheckpoint(Repository *repository) {
  const int changed = zyrStateManager_hasChange(repository->m_stateManager);
  const int32_t state = Repository_commit(repository);
  // A change that could not be committed leaves no state to name.
  if (state <= 0 && changed)
    return -1;
  return addCheckpoint(repository, state, 1);
}

int Repository_gotoExternalCheckpoint(Repository *repository, int32_t index) {
  if (index < 0 || index > repository->m_noOfCheckpoints - 1 ||
      !isReachable(repository, repository->m_checkpoints[index])) {
    ZYR_ERROR(ZYR_U_INVALID_CHECKPOINT, "The supplied checkpoint, %d, is not valid.\n", index);
    return 0;
  }
  Repository_makeCurrent(repository);
  return zyrStateManager_changeState(repository->m_stateManager, 0, repository->m_checkpoints[index]);
}

int32_t Repository_getNoOfCheckpoints(const Repository *repository) { return repository->m_noOfCheckpoints; }

const int32_t *Repository_getCheckpoints(const Repository *repository) { return repository->m_checkpoints; }

void Repository_truncateCheckpoints(Repository *repository, int32_t state) {
  while (repository->m_noOfCheckpoints > 0 && repository->m_checkpoints[repository->m_noOfCheckpoints - 1] > state)
    --repository->m_noOfCheckpoints;
}

void *Repository_getPrimaryModel(const Repository *repository) { return repository->m_primaryModel; }

int Repository_isPrimaryModelStored(Repository *repository) {
  void *stored = nullptr;
  return zyrObject_getPointer(repository, 0, kPrimaryModel, &stored) == 1 && stored != nullptr &&
                 stored == repository->m_primaryModel
             ? 1
             : 0;
}

int Repository_setPrimaryModel(Repository *repository, void *model) {
  repository->m_primaryModel = model;
  zyrObject_setPointer(repository, kPrimaryModel, model);
  return 1;
}

int Repository_importModel(Repository *repository, const char *name, void **model) {
  const int32_t state = Repository_commit(repository);
  *model = nullptr;
  const int status = zyrStateManager_importModel(repository->m_stateManager, name, model);
  if (status != 1) {
    zyrStateManager_changeState(repository->m_stateManager, 0, state);
    *model = nullptr;
    return 0;
  }
  return 1;
}

void *Repository_getSingletonByTypeName(Repository *repository, const char *typeName) {
  return zyrStateManager_getSingletonByTypeName(repository->m_stateManager, typeName);
}

int32_t Repository_getCurrentState(const Repository *repository) {
  return zyrStateManager_getCurrentState(repository->m_stateManager);
}

int32_t Repository_getVersion(const Repository *repository) {
  Database *database = zyrStateManager_getDatabase(repository->m_stateManager);
  return database != nullptr ? Database_getVersion(database) : -1;
}

int Repository_setVersion(Repository *repository) {
  Database *database = zyrStateManager_getDatabase(repository->m_stateManager);
  return database != nullptr ? Database_setVersion(database) : 0;
}

zyrStateManager *Repository_getStateManager(const Repository *repository) { return repository->m_stateManager; }

void Repository_makeCurrent(Repository *repository) {
  if (repository != nullptr && repository->m_stateManager != nullptr)
    theCurrentManager = repository->m_stateManager;
}

zyrStateManager *Repository_getCurrentStateManager() {
  if (theCurrentManager == nullptr && theScratch == nullptr) {
    static int registered = 0;
    theScratch = Repository_new(kScratchName);
    if (theScratch != nullptr && !registered) {
      registered = 1;
      std::atexit(closeScratch);
    }
  }
  return theCurrentManager;
}

zyrStateManager *Repository_setCurrentStateManager(zyrStateManager *manager) {
  zyrStateManager *previous = theCurrentManager;
  theCurrentManager = manager;
  return previous;
}

int Repository_restore(Repository *repository, int32_t flag) {
  // The model of an open file never changes: a change of state that re-reads a damaged reference
  // keeps the one the file was opened with. The store leaves out a stored model of another type.
  if (repository->m_primaryModel != nullptr) {
    if (zyrObject_checkAttribute(repository, flag, kPrimaryModel))
      repository->m_modelKept = 1;
    return 1;
  }
  void *model = nullptr;
  const int status = zyrObject_getPointer(repository, flag, kPrimaryModel, &model);
  repository->m_primaryModel = model;
  return status;
}

int Repository_delete(Repository *repository) {
  if (repository == nullptr)
    return 0;
  zyrMemory_freeAndClear(&repository->m_checkpoints, __func__);
  repository->m_noOfCheckpoints = 0;
  repository->m_maxNoOfCheckpoints = 0;
  return zyrObject_delete(repository);
}

int64_t Repository_sizeHook() { return static_cast<int64_t>(sizeof(Repository)); }

int Repository_restoreHook(void *object, int32_t flag) {
  return Repository_restore(static_cast<Repository *>(object), flag);
}

int Repository_deleteHook(void *object) { return Repository_delete(static_cast<Repository *>(object)); }

namespace {

const char *const kUpgrading = "zyrDatabaseUpgrade";

// A string of the library's, freed here.
std::string taken(char *text) {
  std::string kept = text != nullptr ? text : "";
  zyrCString_free(text);
  return kept;
}

// The open of the file to upgrade, *version its version. The version is read without changing the
// file; only an upgrade in place opens it for writing. What an open left out is told once: by that
// open for writing, by the caller's open of a file that needs no upgrade, else by this look.
Database *openToUpgrade(const char *name, bool inPlace, int opening, int32_t *version) {
  Database *database = Database_openToLook(name);
  *version = database != nullptr ? Database_getVersion(database) : -1;
  if (database != nullptr && *version < kFirstCurrentVersion && inPlace) {
    Database_delete(database);
    database = Database_new(name);
    *version = database != nullptr ? Database_getVersion(database) : -1;
  } else if (!opening) {
    Database_tellLeftOut(database);
  }
  return database;
}

// Whether the held copy is still under its name, by which the upgrade opens, purges and places
// it: else the refusal is published, saying what became of it.
bool copyStillNamed(const zyrHeldTemporary *copy, const std::string &source) {
  const std::string loss = zyrHeldTemporary_loss(copy);
  if (loss.empty())
    return true;
  ZYR_ERROR_FOR(ZYR_U_UNABLE_TO_UPGRADE_DATABASE, kUpgrading,
                "Unable to upgrade the ZYR database\n\n%s\n\nIts copy %s is no longer the file it made there: %s.\n",
                source.c_str(), zyrDirectoryHandle_shown(copy->m_name.c_str()).c_str(), loss.c_str());
  return false;
}

// Copies the file the open holds into the held copy, while the copy is under its name: 1, or 0
// with the failure published. The bytes are read through that open: a name, even one inside the
// held directory, may lead to another file by now (renamed there, another put in its place). Where
// the file can only be reached by its name and the name leads elsewhere, nothing is copied.
int copyHeld(Database *database, const zyrHeldTemporary *copy, const std::string &source,
             const std::string &target) {
  if (!copyStillNamed(copy, source))
    return 0;
  const int reading = DefFile_openHeld(Database_getDefFile(database));
  if (reading < 0) {
    const std::string reason = errno == ESTALE ? "Its name no longer leads to the file that was opened"
                                               : std::string("It cannot be opened again: ") + strerror(errno);
    ZYR_ERROR_FOR(ZYR_U_UNABLE_TO_UPGRADE_DATABASE, kUpgrading, "Unable to upgrade the ZYR database\n\n%s\n\n%s.\n",
                  source.c_str(), reason.c_str());
    return 0;
  }
  const int copied = zyrCopyFileInto(reading, copy->m_hold);
  const int reason = errno;
  close(reading);
  if (!copied)
    ZYR_ERROR_FOR(ZYR_U_INVALID_INPUT, kUpgrading, "Unable to create the ZYR database\n\n%s\n\n(%s).\n",
                  target.c_str(), strerror(reason));
  return copied;
}

// Upgrades the database in the held copy, opened through its hold, and closes it whole: 1, or 0
// with the failure published.
int upgradeCopy(const zyrHeldTemporary *copy, const std::string &source, zyrStateManager *remembered) {
  Repository *repository = Repository_new(copy->m_name.c_str());
  if (repository == nullptr) {
    Repository_setCurrentStateManager(remembered);
    return 0;
  }
  void *model = Repository_getPrimaryModel(repository);
  // A version that cannot be written is a failed write of the database, which makes the close
  // below answer 0 as well, so no failure reaches this check alone: it stays so that the upgrade
  // never rests on the close having noticed.
  int upgraded = model != nullptr && (theModelUpgrade == nullptr || theModelUpgrade(model) == 1) &&
                 Repository_setVersion(repository) == 1;
  // A copy whose close could not store all of it is no upgrade either.
  if (Repository_close(repository, 1) != 1)
    upgraded = 0;
  Repository_setCurrentStateManager(remembered);
  if (!upgraded)
    ZYR_ERROR_FOR(ZYR_U_UNABLE_TO_UPGRADE_DATABASE, kUpgrading, "Unable to upgrade the ZYR database\n\n%s\n\n",
                  source.c_str());
  return upgraded;
}

// Puts the upgraded copy in place: in place of the file the open holds (`inPlace`, the open then
// the file's writer), by one atomic rename while the old file is still held, so that there is no
// moment without a file under the name and a failure leaves the old file as it was; else under the
// new name by a rename that never replaces, so that a file another program made there meanwhile
// stays as it is. Either rename moves only the copy the hold holds. 1, or 0 with the failure
// published; the copy then goes with its hold.
int placeUpgraded(Database *inPlace, const zyrHeldTemporary *copy, const std::string &source,
                  const std::string &target) {
  if (inPlace != nullptr) {
    if (DefFile_replaceWith(Database_getDefFile(inPlace), copy->m_name.c_str()) == 1)
      return 1;
    // Why the swap failed (what the data-set library said of it) comes first.
    DefFile_reportError(Database_getDefFile(inPlace), kUpgrading);
    ZYR_ERROR_FOR(ZYR_U_UNABLE_TO_UPGRADE_DATABASE, kUpgrading,
                  "Unable to upgrade the ZYR database\n\n%s\n\nin place.\n", source.c_str());
    return 0;
  }
  struct stat made;
  int renamed = 0, reason = 0;
  if (fstat(copy->m_hold, &made) != 0) {
    renamed = errno;
  } else {
    zyrDirectoryGuard guard(target.c_str());
    renamed = zyrPlacement_renameOver(copy->m_name.c_str(), target.c_str(), nullptr, &made);
    reason = errno;
  }
  if (renamed == 0) {
    zyrSyncDirectory(zyrLeftovers_directory(target.c_str()).c_str());
    return 1;
  }
  if (renamed == ZYR_PLACEMENT_REPLACED) {
    zyrStateManager_publishExists(target.c_str(), 1);
    return 0;
  }
  zyrPlacement refused;
  refused.m_refusal = renamed;
  refused.m_error = renamed == ZYR_PLACEMENT_UNSEEN ? reason : 0;
  ZYR_ERROR_FOR(ZYR_U_INVALID_INPUT, kUpgrading, "Unable to create the ZYR database\n\n%s\n\n(%s).\n",
                target.c_str(), zyrPlacement_reason(&refused).c_str());
  return 0;
}

} // namespace

int zyrDatabaseUpgrade(const char *name, const char *newName, int *upgraded, int opening) {
  ZYR_TRACE_BEGIN();
  *upgraded = 0;
  zyrStateManager *remembered = theCurrentManager;
  const std::string source = taken(Database_fileName(name));
  const int exists = Database_fileExists(name, ZYR_U_UNABLE_TO_UPGRADE_DATABASE, __func__);
  if (exists < 0)
    return 0;
  // An open that saw the file asks for its upgrade: a look that now finds nothing there cannot tell.
  if (exists == 0 && opening) {
    errno = ENOENT;
    zyrPublishCannotTell(ZYR_U_UNABLE_TO_OPEN_DATABASE, source.c_str(), __func__);
    return 0;
  }
  if (exists == 0) {
    ZYR_ERROR(ZYR_U_FILE_DOES_NOT_EXIST, "The ZYR database\n\n%s\n\ndoes not exist.\n", source.c_str());
    return 0;
  }
  const bool inPlace = newName == nullptr || zyrCString_isBlank(newName);
  int32_t version = -1;
  // In place, the old file is held as its writer from its copy to its replacement: changes that
  // another process made meanwhile would go with the old file. To a new name, the look holds the
  // file (as its reader) until it has been copied.
  struct Held {
    Database *m_database;
    ~Held() { Database_delete(m_database); }
  } held{openToUpgrade(name, inPlace, opening, &version)};
  if (held.m_database == nullptr)
    return 0;
  if (ZYR_TRACE_DEBUG(1))
    zyrTrace_printf("Current version = %ld\n", static_cast<long>(version));
  if (version >= kFirstCurrentVersion) {
    if (ZYR_TRACE_DEBUG(1))
      zyrTrace_printf("Update is not required.\n");
    return 1;
  }
  if (inPlace && !Database_claimWrite(held.m_database, 1))
    return 0;
  // Either way the upgraded file is made as a copy of its own beside the file it becomes (that the
  // old name leads to, or that the new name leads to: a link stays a link), held from its making,
  // and written into where it stands; it takes the name only when it is whole.
  const std::string target = inPlace ? source : taken(zyrResolveLinks(taken(Database_fileName(newName)).c_str()));
  // A new name that cannot be looked at is refused as such, before anything is copied.
  const int found = inPlace ? 0 : zyrLookForFile(target.c_str());
  if (found < 0) {
    zyrPublishCannotTell(ZYR_U_INVALID_INPUT, target.c_str(), "zyrDatabaseUpgrade");
    return 0;
  }
  if (found > 0) {
    zyrStateManager_publishExists(target.c_str(), 1);
    return 0;
  }
  zyrHeldTemporary update;
  if (!heldCopyBeside(inPlace ? Database_getDefFile(held.m_database)->m_primaryFile : target.c_str(), "update",
                      &update)) {
    ZYR_ERROR(ZYR_U_INVALID_INPUT, "Unable to create the ZYR database\n\n%s\n\n(%s).\n", target.c_str(),
              strerror(errno));
    return 0;
  }
  zyrPause_point("upgrade.held");
  if (!copyHeld(held.m_database, &update, source, target))
    return 0;
  if (!inPlace)
    Database_delete(std::exchange(held.m_database, nullptr));
  if (!upgradeCopy(&update, source, remembered) || !placeUpgraded(held.m_database, &update, source, target))
    return 0;
  *upgraded = 1;
  return 1;
}
