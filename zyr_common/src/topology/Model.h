#ifndef ZYR_MODEL_H
#define ZYR_MODEL_H
// The Model ("Model", type id 12): one meshed geometry of a database, tying its Topology
// (assemblies, regions, names), its Representation (display visuals) and its Mesh together with
// the Repository that stores it and the relative tolerance of all its mesh matching.
//
// Operations that change the database run inside one state of the Repository's state manager:
// Model_flushChanges commits what is open and gives the state number, which an operation that
// can fail part-way keeps and hands to Model_rollback on failure.
//
// The Mesh and the Representation are made, deleted, printed and upgraded through hooks that
// the layer owning them registers (Model_setMeshHooks, Model_setRepresentationHooks); while no
// hook is registered a Model has none of that part.
#include "zyrObject.h"

#include <cstdint>
#include <cstdio>

struct Assembly;
struct Mesh;
struct NameManager;
struct Region;
struct Repository;
struct Representation;
struct Topology;
struct zyrAffineTransform3D;

#define MODEL_DEFAULT_RELATIVE_TOLERANCE 0.005

struct Model {
  zyrObject m_object;
  Topology *m_topology;             // owned
  Representation *m_representation; // owned
  Mesh *m_mesh;                     // owned
  Repository *m_repository;         // the owner
  double m_relativeTolerance;
};

// What the Model needs of the layers that own its Mesh and Representation.
struct ModelPartHooks {
  void *(*m_new)(Topology *topology);
  int (*m_delete)(void *part);
  void (*m_print)(const void *part, FILE *stream);
  // Mesh only: brings the part's stored data of older releases to the current form (1 on success).
  int (*m_upgrade)(void *part);
};
void Model_setMeshHooks(const ModelPartHooks *hooks);
void Model_setRepresentationHooks(const ModelPartHooks *hooks);

// A new Model in the open state, with a new Topology, Representation and Mesh.
Model *Model_new(Repository *repository);
// Deletes the owned parts (unless the store is destroying objects) and the object.
int Model_delete(void *model);
void Model_print(const Model *model, FILE *stream);
// 0 Model, 200 Topology, 201 NameManager, 300 Mesh, 400 Representation, 500 Repository; any
// other code prints nothing.
void Model_dump(const Model *model, int32_t what, FILE *stream);

// Type hooks.
int64_t Model_getSize();
int Model_save(void *model);
int Model_saveParameters(Model *model);
int Model_restore(void *model, int32_t flag);
int Model_restoreParameters(Model *model, int32_t flag);
int Model_upgrade(void *model);

Topology *Model_getTopology(const Model *model);
Representation *Model_getRepresentation(const Model *model);
Mesh *Model_getMesh(const Model *model);
Repository *Model_getRepository(const Model *model);
int Model_setRepository(Model *model, Repository *repository);

// The stored tolerance; no range check.
void Model_setRelativeTolerance(Model *model, double tolerance);
double Model_getRelativeTolerance(const Model *model);
// The tolerance in force: the number ZYR_OVERRIDE_MATCHING_TOLERANCE holds (announced on the
// standard output at every call), and once it has held one that number for the rest of the
// process; else the stored tolerance.
double Model_getActiveRelativeTolerance(const Model *model);

// The NameManager of the Topology; NULL with error 20006 published under the caller's name.
NameManager *Model_getNameManager(const Model *model, const char *caller);
// 1 and the region (10036 published, 0 and NULL otherwise).
int Model_findPrimitiveRegion(const Model *model, const char *name, Region **region);
// 1 and the assembly (10037 published, 0 and NULL otherwise).
int Model_findAssembly(const Model *model, const char *name, Assembly **assembly);

// Commits the open state; the current state number.
int32_t Model_flushChanges(Model *model);
// Returns the database to the state.
void Model_rollback(Model *model, int32_t state);
// The database's one live Projection, or NULL.
void *Model_getProjection(const Model *model);

// Strategy parameters. Type codes: 0 string, 1 integer, 2 real.
enum { MODEL_PARAMETER_STRING = 0, MODEL_PARAMETER_INTEGER = 1, MODEL_PARAMETER_REAL = 2 };
// Only the value of the declared type is read. Unknown names and wrong types are queued
// (10020) without being shown; refused values are published.
int Model_setParameter(Model *model, const char *parameter, int32_t type, const char *stringValue,
                       int32_t integerValue, double realValue);
// The three outputs are cleared, then the one of the declared type filled (a string is the
// caller's, freed with zyrCString_free). The tolerance given is the stored one.
int Model_getParameter(Model *model, const char *parameter, int32_t type, char **stringValue, int32_t *integerValue,
                       double *realValue);

// ---- Gluing and editing of assemblies and regions ----
// Glue, transform, merge, assembly removal and assembly renaming commit before and after and
// never roll back: pairs or copies that failed leave the others in place. Names handed out are
// the caller's (zyrCString_free, zyrCStringArray_free).

// Joins each pair (pairedRegions: two names per pair) conformally when the face meshes match,
// else by gluing; every assembly that took part is renamed. Without bit 0 of flags each former
// assembly name becomes a composite over its former regions, tagged "Original Assembly Name".
// assembliesIn: the former names of the assemblies involved; assembliesOut: the new names of
// those that remain.
int Model_glueRegions(Model *model, int32_t flags, int32_t noOfgluedPairs, char *const *pairedRegions,
                      int32_t *noOfAssembliesIn, char ***assembliesIn, int32_t *noOfAssembliesOut,
                      char ***assembliesOut);
// Moves the assembly by the transform raised to moveCount, then makes |repeatCount| copies, copy k
// at the transform (its inverse for a negative count) applied k times; with matchMesh 1 copies
// whose meshes meet are merged. The names: the assembly's first, then the copies that remain.
int Model_transformAssembly(Model *model, const char *assemblyName, int32_t moveCount, int32_t repeatCount,
                            const zyrAffineTransform3D *transform, int32_t matchMesh, int32_t *noOfAssemblies,
                            char ***assemblies);
// Merges the named assemblies whose meshes match; the names of those that remain. Bit 0 of flags
// keeps the former names from becoming composite names.
int Model_mergeAssemblies(Model *model, int32_t flags, int32_t noOfAssembliesIn, char *const *assembliesIn,
                          int32_t *noOfAssembliesOut, char ***assembliesOut);
// Deletes the assembly with its regions, their meshes and visuals.
int Model_removeAssembly(Model *model, const char *assemblyName);
// Deletes one primitive region with its mesh and visual (no commit).
int Model_deleteRegion(Model *model, const char *regionName);
// actualName: the name given, which the naming rules may have adjusted (10030 when refused).
int Model_renameAssembly(Model *model, const char *oldName, const char *newName, int32_t addAlias,
                         char **actualName);
int Model_renameRegion(Model *model, const char *oldName, const char *newName, int32_t addAlias,
                       char **actualName);
int Model_setRegionPriority(Model *model, const char *regionName, int32_t priority);
int Model_getRegionPriority(Model *model, const char *regionName, int32_t *priority);
int32_t Model_getNoOfAssemblies(Model *model);
// The assemblies' names in the topology's order (NULL when none); their count.
int32_t Model_getAssemblies(Model *model, char ***names);

#endif
