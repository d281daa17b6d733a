#ifndef ZYR_MODEL_IMPORT_H
#define ZYR_MODEL_IMPORT_H
// Bringing meshes into a Model. Every source but another database of this library is read into a
// fresh, temporary Model of the same repository by the import machinery, which is then merged
// into the target Model and deleted.
//
// Types: "ZYR_DSDB..." a simulation database (every model it lists, or the one a "-model" option
// names), "ZYR_PARTIAL_DSDB" one model of it, "ZYR" exactly another database of this library,
// "ZYR_DIRECT..." a definition or results file, anything else a mesh format of the mesh reader.
//
// The import runs inside one state: on any failure, a failed merge included, the database goes
// back to the state it had before, and the outputs are 0 and NULL.
#include <cstdint>

struct Assembly;
struct Model;
struct Repository;

// Bit 0 of flags: imported assemblies keep their own names where the model has no such name.
// The names of the assemblies the import made, as the model now calls them (the caller frees
// them with zyrCStringArray_free).
int Model_importMesh(Model *model, const char *type, const char *filename, const char *generic, const char *specific,
                     const char *units, int32_t flags, int32_t *noOfAssemblies, char ***assemblies);
// A fresh Model of the repository holding the file's mesh, or NULL; the assemblies that got
// their imported names back (a new array, the assemblies the Model's).
Model *Model_importFromFile(Repository *repository, double tolerance, const char *type, const char *filename,
                            const char *generic, const char *specific, const char *units, int32_t *noOfNamedAssemblies,
                            Assembly ***namedAssemblies);
// The primary Model of another database file, brought into this repository, or NULL.
Model *Model_importFromDatabase(Repository *repository, const char *filename);
// Moves the other Model's topology, display data and mesh into the model and deletes the other
// Model; the named assemblies keep their names where free. The status of the mesh merge.
int Model_merge(Model *model, Model *other, int32_t noOfNamedAssemblies, Assembly **namedAssemblies);

#endif
