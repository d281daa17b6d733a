#ifndef ZYR_REPOSITORY_H
#define ZYR_REPOSITORY_H
// One open database as the layers above see it: the persistent object that names the primary
// model of the file, owns the file's state manager and keeps the checkpoints (the states the host
// saved and may return to). Also the process-wide current state manager, through which every
// persistent-object call reaches its store, and the upgrade of files of older releases.
//
// The primary model belongs to the model layer, which registers how a model is made, upgraded
// and attached to its Repository (Repository_setModelHooks) at its initialisation.
#include "zyrObject.h"

#include <cstdint>
#include <cstdio>

struct zyrStateManager;

struct Repository {
  zyrObject m_object;
  void *m_primaryModel;
  zyrStateManager *m_stateManager; // owned
  int32_t *m_checkpoints;          // owned, in the order recorded
  int32_t m_noOfCheckpoints;
  int32_t m_maxNoOfCheckpoints;
  int32_t m_firstState; // the state that created this object: no change of state goes below it
  int32_t m_modelKept;  // 1 once a change of state kept the model where the file may name another
};

// What the store needs of the model layer.
typedef void *(*RepositoryModelNewHook)(Repository *repository);
typedef int (*RepositoryModelUpgradeHook)(void *model);
typedef int (*RepositoryModelSetRepositoryHook)(void *model, Repository *repository);
void Repository_setModelHooks(RepositoryModelNewHook newModel, RepositoryModelUpgradeHook upgrade,
                              RepositoryModelSetRepositoryHook setRepository);

// Opens or creates the database; NULL on failure (the current state manager is then the one
// that was current before). The file is new when this open made it, whatever a look before said.
// With currentOnly, a database of an older release that the open finds is refused as it is (the
// caller has made sure that the name needed no upgrade: it was put there meanwhile).
Repository *Repository_new(const char *name, int currentOnly = 0);
// flag 1 purges the history, -1 closes without compaction, other values compact keeping history.
int Repository_close(Repository *repository, int32_t flag);
void Repository_dump(const Repository *repository, FILE *stream);
void Repository_print(const Repository *repository, FILE *stream);

// zyrStateManager_copyDatabase: `replace` lets the copy take the place of a file under the name.
int Repository_copyDatabase(Repository *repository, const char *name, int32_t workOnCopy, int32_t flag,
                            int replace = 0);
int32_t Repository_commit(Repository *repository);
void Repository_gotoState(Repository *repository, int32_t state);
int32_t Repository_externalCheckpoint(Repository *repository);
int Repository_gotoExternalCheckpoint(Repository *repository, int32_t index);
int32_t Repository_getNoOfCheckpoints(const Repository *repository);
const int32_t *Repository_getCheckpoints(const Repository *repository);
void Repository_truncateCheckpoints(Repository *repository, int32_t state);
void *Repository_getPrimaryModel(const Repository *repository);
// 1 when the primary model stored at the current state is the one the repository holds (a
// damaged history can name another object at some states).
int Repository_isPrimaryModelStored(Repository *repository);
int Repository_setPrimaryModel(Repository *repository, void *model);
int Repository_importModel(Repository *repository, const char *name, void **model);
void *Repository_getSingletonByTypeName(Repository *repository, const char *typeName);
int32_t Repository_getCurrentState(const Repository *repository);
int32_t Repository_getVersion(const Repository *repository);
int Repository_setVersion(Repository *repository);
zyrStateManager *Repository_getStateManager(const Repository *repository);
// Makes the repository's state manager the current one (with several databases open, the layer
// that resolves a database handle calls this before working on it).
void Repository_makeCurrent(Repository *repository);

// The current state manager; with none, the scratch database "_changes" is opened first.
zyrStateManager *Repository_getCurrentStateManager();
// Makes the manager current and returns the previous one.
zyrStateManager *Repository_setCurrentStateManager(zyrStateManager *manager);

int Repository_restore(Repository *repository, int32_t flag);
int Repository_delete(Repository *repository);

// Type hooks.
int64_t Repository_sizeHook();
int Repository_restoreHook(void *object, int32_t flag);
int Repository_deleteHook(void *object);

// Brings a file of an older release to the current format, in place (blank newName) or into a
// new file; *upgraded tells whether anything was done. `opening`: the caller opens the file next
// (in place), and that open tells what it leaves out; a file that needs no upgrade is then only
// looked at here, without telling it twice. Such a caller has seen the file: a look here that
// finds nothing cannot tell, and refuses saying so.
int zyrDatabaseUpgrade(const char *name, const char *newName, int *upgraded, int opening = 0);

#endif
