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
// 1 when the caller gave the pointer; 0 with error 10020 naming the argument, published under
// the caller's name. Entry points check their pointers before they clear or resolve anything.
int zyrAPI_isGiven(const void *pointer, const char *caller, const char *argument);
// The end of a model entry point: commits the open state when the operation succeeded; answers
// the status.
int zyrAPI_finish(Model *model, int status);
// Asks the session recorder whether to write the call; when it does, writes the entry point's
// name and its first handle (a database, model or selection) and answers 1 so the caller can add
// its further inputs.
int zyrAPI_recordCall(Repository *repository, int status, const char *name, int32_t handle);
// The same for a call on the model's repository.
int zyrAPI_recordModelCall(Model *model, int status, const char *name, int32_t hModel);
// Issues the next selection handle for the selection.
int32_t zyrAPI_createSelectionHandle(MeshSelection *selection);
void zyrAPI_releaseSelectionHandle(int32_t hSelection);
// The handles of a newly opened database and its primary model; and their release at its close
// (every model handle of the repository, then the database handle).
int32_t zyrAPI_createDatabaseHandles(Repository *repository, int32_t *hModel);
void zyrAPI_releaseDatabaseHandles(int32_t hDatabase, Repository *repository);
// The handles of the open databases, ascending, in a new array (the caller's; NULL when none).
int32_t zyrAPI_getDatabaseHandles(int32_t **handles);

// Bit 0 points, bit 1 curves, bit 2 surfaces, bit 3 volumes.
typedef char DimensionalityMask;
void zyrDimensionMask_unpack(DimensionalityMask mask, int flags[4]);

// Databases.
int zyrDatabase_open(const char *name, int32_t *hDatabase, int32_t *hModel);
// Releases the database's handles in every case once it resolved; the result is the close's.
int zyrDatabase_close(int32_t hDatabase, int32_t purgeHistory);
// Closes every database still open, in the order of their handles, each as zyrDatabase_close
// with purgeHistory 0: what a program calls on its way out, also after an interrupt
// (zyrInterrupt.h) or a broken session, so that nothing it opened stays open. *noOfClosed (may
// be NULL) gets their number; the result is 1 when every close succeeded.
int zyrDatabase_closeAll(int32_t *noOfClosed);
int zyrDatabase_copy(int32_t hDatabase, const char *filename, int32_t workOnCopy, int32_t purgeHistory);
// The exported class's copy: as zyrDatabase_copy, but a file under the name is replaced by the copy
// once it is whole (Repository_copyDatabase with `replace`). A session records it as
// zyrDatabase_copy.
int zyrDatabase_copyOver(int32_t hDatabase, const char *filename, int32_t workOnCopy, int32_t purgeHistory);
int zyrDatabase_saveCheckpoint(int32_t hDatabase, int32_t *checkpoint);
int zyrDatabase_restoreCheckpoint(int32_t hDatabase, int32_t checkpoint);
int zyrDatabase_getNoOfCheckpoints(int32_t hDatabase, int32_t *noOfCheckpoints);
int zyrDatabase_upgrade(const char *name, const char *newName, int *upgraded);
// 1 when the name leads to the file the open database holds, whatever name it was opened by and
// wherever that file or its directory has been renamed to since; else 0 (with 10002 for a handle
// that names no open database). Not recorded in a session: the exported class asks it of itself.
int zyrDatabase_isFile(int32_t hDatabase, const char *name);

// The application. The errors array is the caller's (zyrMemory_free); the records stay with
// the error manager until cleared.
int zyrApp_getErrors(int32_t *noOfErrors, zyrError ***errors);
int zyrApp_clearErrors();
int zyrApp_setErrorHandler(zyrErrorHandler errorHandler, zyrErrorHandler *oldErrorHandler);
int zyrApp_setWorkingDirectory(const char *directory);
int zyrApp_getWorkingDirectory(char **directory);

// Locations: comma-separated names of regions, assemblies and composites (see
// Model_getLocationRegions and the queries beside it).
int zyrLocation_getBoundingBox(int32_t hModel, const char *location, int32_t ignoreUnknownNames, const char *units,
                               double *xlo, double *xhi, double *ylo, double *yhi, double *zlo, double *zhi);
int zyrLocation_getExtents(int32_t hModel, const char *location, int32_t ignoreUnknownNames, const char *units,
                           int32_t dimensionality, double *extents);
int zyrLocation_getCentroid(int32_t hModel, const char *location, int32_t ignoreUnknownNames, const char *units,
                            int32_t method, double *x, double *y, double *z);
int zyrLocation_getNoOfRegions(int32_t hModel, const char *location, int32_t ignoreUnknownNames,
                               DimensionalityMask dimensionMask, int32_t *noOfRegions);
int zyrLocation_getRegions(int32_t hModel, const char *location, int32_t ignoreUnknownNames,
                           DimensionalityMask dimensionMask, int32_t *noOfRegions, char ***regionNames);
int zyrLocation_getCompositeNames(int32_t hModel, const char *location, int32_t ignoreUnknownNames,
                                  DimensionalityMask dimensionMask, int32_t *noOfCompositeNames,
                                  char ***compositeNames);
int zyrLocation_getWireframeDisplay(int32_t hModel, const char *location, int32_t ignoreUnknownNames,
                                    const char *units, double angle, int32_t *noOfVertices, float **coordinates,
                                    int32_t *noOfEdges, int32_t **endVertices);
int zyrLocation_getFacettedDisplay(int32_t hModel, const char *location, int32_t ignoreUnknownNames,
                                   const char *units, int32_t *noOfVertices, float **coordinates,
                                   int32_t *noOfTriangles, int32_t *noOfQuadrilaterals, int32_t **faceVertices);
// noOfElementsByType: 8 entries, one per element type.
int zyrLocation_getMeshSize(int32_t hModel, const char *location, int32_t ignoreUnknownNames,
                            DimensionalityMask dimensionMask, int32_t *noOfVertices, int32_t *noOfElements,
                            int32_t *noOfElementsByType);
// The axis and units are used (and recorded) for type 3 only, the transform for type 4 only;
// types 2 and 3 write the periodic transformation found into the transform when one is given.
int zyrLocation_doesMeshMatch(int32_t hModel, const char *location1, const char *location2, int32_t type,
                              const double axisRoot[3], const double axisTip[3], const char *units,
                              zyrAffineTransform3D *transform, int32_t *doesMeshMatch);

// Regions of a model and their relations.
int zyrModel_getNoOfRegions(int32_t hModel, DimensionalityMask dimensionMask, int32_t *noOfRegions);
int zyrModel_getRegions(int32_t hModel, DimensionalityMask dimensionMask, int32_t *noOfRegions, char ***regionNames);
int zyrModel_getPairedRegions(int32_t hModel, int32_t type, int32_t *noOfPairedRegions,
                              char ***pairedRegionNamesSide1, char ***pairedRegionNamesSide2);
// elements[i] lists noOfElements[i] faces of regions[i]; the three lists come back only with
// recordChanges (created, changed, deleted regions).
int zyrModel_modifyRegions(int32_t hModel, int32_t operation, int32_t noOfComponents, char **regions,
                           int32_t *noOfElements, int32_t **elements, const char *targetName, int32_t recordChanges,
                           char **actualName, int32_t noOfModifiedRegions[3], char **modifiedRegions[3]);
int zyrRegion_getMesh(int32_t hModel, const char *region, int32_t convention, const char *units,
                      int32_t *noOfVertices, double **coordinates, int32_t *noOfElements, int32_t **elementTypes,
                      int32_t **elementVertices);
int zyrRegion_getBoundedRegion(int32_t hModel, const char *region, char **boundedRegion);
int zyrRegion_getBoundingRegions(int32_t hModel, const char *region, int32_t *noOfBoundingRegions,
                                 char ***boundingRegions);
int zyrRegion_getPairedRegions(int32_t hModel, int32_t type, const char *region, int32_t *noOfPairedRegions,
                               char ***pairedRegions);
int zyrRegion_getNeighbours(int32_t hModel, const char *region, int32_t *noOfNeighbours, char ***neighbours);

// Composite names, tags and the primary region map.
int zyrModel_getCompositeNames(int32_t hModel, int32_t *noOfCompositeNames, char ***compositeNames);
int zyrModel_getTaggedCompositeNames(int32_t hModel, const char *vsnTagList, const char *untaggedTag,
                                     const char *otherTag, int32_t *noOfCompositeNames, char ***compositeNames);
int zyrModel_isCompositeName(int32_t hModel, const char *name, int32_t *isCompositeName);
int zyrModel_tagCompositeNames(int32_t hModel, const char *tag, int32_t operation, int32_t noOfCompositeNames,
                               char **compositeNames);
int zyrModel_exportRegionMap(int32_t hModel, char **vsn);
int zyrModel_importRegionMap(int32_t hModel, const char *vsn, int32_t operation, int32_t resolution);
int zyrCompositeName_create(int32_t hModel, const char *name, int32_t combination, int32_t noOfComponentsA,
                            char **componentsA, int32_t noOfComponentsB, char **componentsB);
int zyrCompositeName_destroy(int32_t hModel, const char *name);
int zyrCompositeName_getDefinition(int32_t hModel, const char *name, int32_t *combination, int32_t *noOfComponentsA,
                                   char ***componentsA, int32_t *noOfComponentsB, char ***componentsB);
int zyrCompositeName_rename(int32_t hModel, const char *oldName, const char *newName, int32_t addAlias,
                            char **actualName);
int zyrCompositeName_hasTag(int32_t hModel, const char *name, const char *tag, int32_t *hasTag);
int zyrCompositeName_getTags(int32_t hModel, const char *name, char **tags);

// Mesh selections (see MeshSelection). A selection belongs to its model; destroy it before the
// database is closed.
int zyrSelection_create(int32_t hModel, const char *operation, int32_t *hSelection);
int zyrSelection_copy(int32_t hSelection, int32_t *hSelection2);
int zyrSelection_destroy(int32_t hSelection);
int zyrSelection_modify(int32_t hSelection, int32_t combination, const char *operation);
int zyrSelection_analyse(int32_t hSelection, const char *statistic, int32_t *noOfEntries, double **data);
// Per region its name, vertices and coordinates, and element sets; per element set its type in
// the convention (-1 where it has none; NULL when there are no element sets), its element count
// and vertices.
int zyrSelection_query(int32_t hSelection, int32_t convention, const char *units, int32_t *noOfRegions,
                       char ***regions, int32_t **noOfVertices, float ***coordinates, int32_t **noOfElementSets,
                       int32_t **elementType, int32_t **noOfElements, int32_t ***elementVertices);

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
