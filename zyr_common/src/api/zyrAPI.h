#ifndef ZYR_API_H
#define ZYR_API_H
// The procedural interface: the flat, handle-based entry points through which the exported
// classes and the session player reach a database. It is internal to the library.
//
// Callers hold handles, small integers naming an open database, a model or a mesh selection.
// Each kind is issued 0, 1, 2, ... in order of creation and never reissued; a released handle,
// a negative one or one never issued fails with error 10002.
//
// Every entry point resolves its handles, calls one Model or Repository operation, lets the
// session recorder write the call (its name and inputs, never its outputs), and commits the
// open state when the operation succeeded. The result is 1 on success, 0 on failure; the
// details of a failure are in the error manager's queue (zyrApp_getErrors). Strings and arrays
// handed out belong to the caller (zyrCString_free, zyrMemory_free).
#include "zyrErrorManager.h"

#include <cstdint>
#include <cstdio>

struct MeshSelection;
struct Model;
struct Repository;
struct zyrError;
struct zyrAffineTransform3D;

// Makes the layers below ready for opening databases (type hooks, the primary model of new
// files). Idempotent; every entry point that opens or upgrades a file calls it.
void zyrAPI_initialise();

// Resolvers: 1 and the object; 0 with error 10002 published under the caller's name. A resolved
// model or database becomes the current one of the object store.
int zyrAPI_getModel(int32_t hModel, const char *caller, Model **model);
int zyrAPI_getDatabase(int32_t hDatabase, const char *caller, Repository **repository);
int zyrAPI_getSelection(int32_t hSelection, const char *caller, MeshSelection **selection);
// Issues the next selection handle for the selection.
int32_t zyrAPI_createSelectionHandle(MeshSelection *selection);
void zyrAPI_releaseSelectionHandle(int32_t hSelection);
// The handles of a newly opened database and its primary model; and their release at its close
// (every model handle of the repository, then the database handle).
int32_t zyrAPI_createDatabaseHandles(Repository *repository, int32_t *hModel);
void zyrAPI_releaseDatabaseHandles(int32_t hDatabase, Repository *repository);

// Bit 0 points, bit 1 curves, bit 2 surfaces, bit 3 volumes.
typedef char DimensionalityMask;
void zyrDimensionMask_unpack(DimensionalityMask mask, int flags[4]);

// Databases.
int zyrDatabase_open(const char *name, int32_t *hDatabase, int32_t *hModel);
// Releases the database's handles in every case once it resolved; the result is the close's.
int zyrDatabase_close(int32_t hDatabase, int32_t purgeHistory);
int zyrDatabase_copy(int32_t hDatabase, const char *filename, int32_t workOnCopy, int32_t purgeHistory);
int zyrDatabase_saveCheckpoint(int32_t hDatabase, int32_t *checkpoint);
int zyrDatabase_restoreCheckpoint(int32_t hDatabase, int32_t checkpoint);
int zyrDatabase_getNoOfCheckpoints(int32_t hDatabase, int32_t *noOfCheckpoints);
int zyrDatabase_upgrade(const char *name, const char *newName, int *upgraded);

// The application. The errors array is the caller's (zyrMemory_free); the records stay with
// the error manager until cleared.
int zyrApp_getErrors(int32_t *noOfErrors, zyrError ***errors);
int zyrApp_clearErrors();
int zyrApp_setErrorHandler(zyrErrorHandler errorHandler, zyrErrorHandler *oldErrorHandler);
int zyrApp_setWorkingDirectory(const char *directory);
int zyrApp_getWorkingDirectory(char **directory);

// Strategy parameters (see Model_setParameter).
int zyrStrategy_setStringParameter(int32_t hModel, const char *parameter, const char *value);
int zyrStrategy_getStringParameter(int32_t hModel, const char *parameter, char **value);
int zyrStrategy_setIntegerParameter(int32_t hModel, const char *parameter, int32_t value);
int zyrStrategy_getIntegerParameter(int32_t hModel, const char *parameter, int32_t *value);
int zyrStrategy_setRealParameter(int32_t hModel, const char *parameter, double value);
int zyrStrategy_getRealParameter(int32_t hModel, const char *parameter, double *value);

// Models.
int zyrModel_dump(int32_t hModel, int32_t type, FILE *stream);
// A mesh-only definition file of the type ("Def"); flags are recorded but not used.
int zyrModel_exportMesh(int32_t hModel, const char *type, const char *filename, const char *units, int32_t flags);
// A definition file from the physics text the file already holds; the flags switch interface
// matching off per interface type (1, 2 Unmatched, 4 Automatic, 8 Matched).
int zyrModel_writeDefFile(int32_t hModel, const char *filename, int32_t flags);
// Imports a mesh file into the model (see Model_importMesh); the names of the assemblies it made
// are the caller's (zyrCStringArray_free). Both outputs are cleared first.
int zyrModel_importMesh(int32_t hModel, const char *type, const char *filename, const char *generic,
                        const char *specific, const char *units, int32_t flags, int32_t *noOfAssemblies,
                        char ***assemblies);

// Editing assemblies and regions (see Model_glueRegions and the operations beside it). Glued
// pairs are given as two names per pair.
int zyrModel_glueRegions(int32_t hModel, int32_t flags, int32_t noOfgluedPairs, char **pairedRegions,
                         int32_t *noOfAssembliesIn, char ***assembliesIn, int32_t *noOfAssembliesOut,
                         char ***assembliesOut);
int zyrModel_mergeAssemblies(int32_t hModel, int32_t flags, int32_t noOfAssembliesIn, char **assembliesIn,
                             int32_t *noOfAssembliesOut, char ***assembliesOut);
int zyrModel_getNoOfAssemblies(int32_t hModel, int32_t *noOfAssemblies);
int zyrModel_getAssemblies(int32_t hModel, int32_t *noOfAssemblies, char ***assemblies);
int zyrAssembly_transform(int32_t hModel, const char *assembly, int32_t moveCount, int32_t repeatCount,
                          const zyrAffineTransform3D *transform, int32_t matchMesh, int32_t *noOfAssemblies,
                          char ***assemblies);
int zyrAssembly_delete(int32_t hModel, const char *assembly);
int zyrAssembly_rename(int32_t hModel, const char *oldName, const char *newName, int32_t addAlias,
                       char **actualName);
int zyrRegion_rename(int32_t hModel, const char *oldName, const char *newName, int32_t addAlias, char **actualName);
int zyrRegion_setPriority(int32_t hModel, const char *region, int32_t priority);
int zyrRegion_getPriority(int32_t hModel, const char *region, int32_t *priority);

#endif
