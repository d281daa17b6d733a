#ifndef ZYR_IMPORTED_MESH_H
#define ZYR_IMPORTED_MESH_H
// One mesh import: the record through which a mesh file becomes the topology, mesh and display
// data of a fresh, empty Model. The type of the import chooses the way:
//
//   "ZYR_DIRECT..."        a definition or results file read in this process
//   "ZYR_INTERMEDIATE..."  the file already is an intermediate mesh file
//   "ZYR_PART..."          one model of a simulation database, through wezdsdbreader.exe
//   anything else          the mesh reader Kelvo.exe ("User": no importer, "Generic": -G,
//                          any other T: -e ImportT.exe)
//
// A reader process writes an intermediate mesh file (a data-set file of "ZYR/..." data sets, see
// GmoContents.h) into the application's working directory, under a name of its own for every
// import, and reports on its standard output with tagged blocks:
//   <ERROR_BEG> ... <ERROR_END>      the import failed (10032, every line as "  %s\n")
//   <WARNING_BEG> ... <WARNING_END>  warnings (3); the import goes on
// A tag counts when the line begins with it. Every line is kept as the import's summary. The
// reader's exit status is examined when it reported no error: only status 0 is success.
//
// The Model sits in a higher layer; it hands the import its parts through hooks that it registers
// (ImportedMesh_setModelHooks) before it makes an import.
#include <cstdint>
#include <cstdio>

struct Assembly;
struct Conduit;
struct Connection;
struct DefFile;
struct Dictionary;
struct Mesh;
struct Model;
struct Process;
struct Region;
struct Representation;
struct Shell;
struct Topology;

struct ImportedMesh {
  char *m_units;
  char *m_type;
  char *m_filename;
  char *m_genericOptions;
  char *m_specificOptions;
  Dictionary *m_names; // owns its keys
  int32_t m_no2DRegions;
  int32_t m_no3DRegions;
  int32_t m_noOfRegions;
  Region **m_regions; // volumes first, then surfaces
  Shell **m_shells;   // one slot per region: a volume's shell
  int32_t m_noOfCompositeNames;
  char **m_compositeNames;
  int32_t *m_noOfComponents;
  char ***m_components;
  int32_t **m_assembly2DRegions;
  int32_t **m_assembly3DRegions;
  int32_t *m_noOfAssembly2DRegions;
  int32_t *m_noOfAssembly3DRegions;
  Region ***m_assemblyRegions;
  int32_t m_noOfRecoveredAssemblies;
  Assembly **m_recoveredAssemblies;
  int32_t m_haveRegionAtlas;
  char *m_summary;
  Topology *m_topology;
  Mesh *m_mesh;
  Representation *m_representation;
  Model *m_model; // not owned
  int32_t m_debugImport;
  int64_t m_summaryLength; // of m_summary, which grows by doubling
  int64_t m_summaryCapacity;
  int32_t m_summaryFull; // 1 once the summary reached its limit
};

// What the import needs of a Model and of the application.
struct ImportedMeshModelHooks {
  Topology *(*m_getTopology)(const Model *model);
  Mesh *(*m_getMesh)(const Model *model);
  Representation *(*m_getRepresentation)(const Model *model);
  // A new copy of the application's working directory, or NULL when none is set.
  char *(*m_getWorkingDirectory)();
};
void ImportedMesh_setModelHooks(const ImportedMeshModelHooks *hooks);

// ---- Creation, dispatch and reader processes ----
// Reads the file into the model and completes it; NULL (errors published) on failure. The
// strings are copied.
ImportedMesh *ImportedMesh_new(Model *model, const char *type, const char *filename, const char *generic,
                               const char *specific, const char *units);
int ImportedMesh_import(ImportedMesh *im);
int ImportedMesh_importUsingKelvo(ImportedMesh *im);
int ImportedMesh_importFromDSDB(ImportedMesh *im);
int ImportedMesh_importFromDef(ImportedMesh *im, const char *file, const char *units);
// Reads the reader's output to its end; 1 unless it reported an error block.
int ImportedMesh_readOutput(ImportedMesh *im, Conduit *conduit);
int ImportedMesh_checkExitStatus(ImportedMesh *im, Process *process);
// A new path in the working directory, unique to this import.
char *ImportedMesh_getIntermediateFileName(ImportedMesh *im);
// Removes the intermediate file and its lock file (only the lock file while the function's DEBUG
// level is 1 or more): the file this process made and holds under the name, while the name still
// leads to it; nothing else.
void ImportedMesh_removeIntermediateFile(ImportedMesh *im, const char *name);

// ---- The record and the intermediate file ----
void ImportedMesh_print(const ImportedMesh *im, FILE *stream);
Model *ImportedMesh_getModel(const ImportedMesh *im);
// Fresh copies of the four strings (NULL stays NULL); the last copy is also the result.
char *ImportedMesh_getOptions(const ImportedMesh *im, char **type, char **filename, char **generic, char **specific);
// `madeFrom`: the file the user named, of which a reader made `file` (NULL when the user named
// `file`): what the open of `file` leaves out is told of it.
int ImportedMesh_importFromGMO(ImportedMesh *im, const char *file, const char *units,
                               const char *madeFrom = nullptr);
// Reads the region map data set into the topology's name manager; 1 also when there is none.
int ImportedMesh_readRegionMap(ImportedMesh *im, DefFile *file, const char *what, const char *where, int32_t when);
// The distinct connections and gluings of the regions in a new array; the count.
int32_t ImportedMesh_collectConnections(int32_t noOfRegions, Region *const *regions, Connection ***connections);
// The debug listing of the loaded mesh: every element mesh, every face mesh, then the
// connections (fn tags the memory).
void ImportedMesh_printLoadedMesh(const ImportedMesh *im, const char *fn);

// ---- Definition and results files read directly ----
// The relative matching tolerance of a Model (0.005 until the Model's layer gives its own).
void ImportedMesh_setToleranceHook(double (*getRelativeTolerance)(const Model *model));
// Declines (0, nothing published) a file of a release before 5.4, or of 5.4.0 with connected
// surfaces; the caller then tries the mesh reader with the type "Def".
// A direct import in progress: the file, and what its topology load leaves for its mesh load.
struct DirectImport;
int ImportedMesh_loadTopologyFromDef(ImportedMesh *im, DirectImport *direct);
int ImportedMesh_loadMeshFromDef(ImportedMesh *im, DirectImport *direct, const char *units);
int ImportedMesh_reserveNames(ImportedMesh *im, DefFile *file);
int ImportedMesh_reserveAssemblyNames(ImportedMesh *im, DefFile *file);
int ImportedMesh_reservePhysicsNames(ImportedMesh *im, DefFile *file);
// The maps take a surface or volume number (1 to the count) to its index in m_regions (-1 when
// absent).
int ImportedMesh_resolveNames(ImportedMesh *im, int32_t noOfSurfaces, const int32_t *surfaceMap, int32_t noOfVolumes,
                              const int32_t *volumeMap);
int ImportedMesh_resolveAssemblyNames(ImportedMesh *im, int32_t noOfSurfaces, const int32_t *surfaceMap,
                                      int32_t noOfVolumes, const int32_t *volumeMap);
int ImportedMesh_createCompositeLocations(ImportedMesh *im, int32_t noOfSurfaces, const int32_t *surfaceMap,
                                          int32_t noOfVolumes, const int32_t *volumeMap);
// The connection both regions have, or NULL.
Connection *ImportedMesh_findCommonConnection(Region *a, Region *b);

// ---- Completion ----
int ImportedMesh_completeModel(ImportedMesh *im);
int ImportedMesh_restoreAssemblyNames(ImportedMesh *im);
int ImportedMesh_purgeEmptyRegions(ImportedMesh *im);
// A new array of the assemblies that got their imported names back (NULL when none); the count.
int32_t ImportedMesh_getRecoveredAssemblies(const ImportedMesh *im, Assembly ***assemblies);
// Frees the record; the Model and its objects stay.
void ImportedMesh_delete(ImportedMesh *im);

// Shared by the import's sources: the working directory through the hook (a new string or NULL)
// and the summary's growth.
char *ImportedMesh_workingDirectory();
void ImportedMesh_appendSummary(ImportedMesh *im, const char *line, int64_t length);

#endif
