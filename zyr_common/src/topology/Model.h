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
struct FaceMesh;
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

// 1 when the units name a known length unit or are none or blank (the caller's default then
// holds); else error 10013 "Supplied units for length were: %s.\n" is published under the
// caller's name and the result is 0. Checked before anything is made, stored or written.
int Model_checkLengthUnits(const char *units, const char *caller);

// Commits the open state; the current state number.
int32_t Model_flushChanges(Model *model);
// Commits the open state: 1, or 0 when the commit failed (its changes are then undone in memory
// and in the file, and the error is published). A model lives at state 1 or later.
int Model_commitChanges(Model *model);
// Returns the database to the state.
void Model_rollback(Model *model, int32_t state);
// The database's one live Projection, or NULL.
void *Model_getProjection(const Model *model);

// ---- Locations, regions, composite names and region modification ----
// Name lists handed out are the caller's (zyrCString_free, zyrCStringArray_free); region arrays
// are new (zyrMemory_free). A dimension mask selects dimensionality d with bit d.

// The primitive regions of a location, those of the selected dimensionalities kept in their
// order; an empty location gives 0 regions and 1. regions may be NULL.
int Model_getLocationRegions(Model *model, const char *location, int32_t ignoreUnknownNames, int32_t dimensionMask,
                             int32_t *noOfRegions, Region ***regions);
int Model_getNoOfLocationRegions(Model *model, const char *location, int32_t ignoreUnknownNames,
                                 int32_t dimensionMask, int32_t *noOfRegions);
int Model_getLocationRegionNames(Model *model, const char *location, int32_t ignoreUnknownNames,
                                 int32_t dimensionMask, int32_t *noOfRegions, char ***regionNames);
// The composite names all of whose regions are among the location's.
int Model_getLocationCompositeNames(Model *model, const char *location, int32_t ignoreUnknownNames,
                                    int32_t dimensionMask, int32_t *noOfCompositeNames, char ***compositeNames);
// xlo, ylo, zlo, xhi, yhi, zhi.
int Model_getLocationBoundingBox(Model *model, const char *location, int32_t ignoreUnknownNames, const char *units,
                                 double box[6]);
// Only the area of the surfaces (dimensionality 2) is known; other values are refused with an
// error that is queued but not shown.
int Model_getLocationExtents(Model *model, const char *location, int32_t ignoreUnknownNames, const char *units,
                             int32_t dimensionality, double *extents);
// method: 0, 1, 10 or 11 (see Visual_getCentroid).
int Model_getLocationCentroid(Model *model, const char *location, int32_t ignoreUnknownNames, const char *units,
                              int32_t method, double *x, double *y, double *z);
// countsByType: 8 entries, one per element type.
int Model_getMeshSize(Model *model, const char *location, int32_t ignoreUnknownNames, int32_t dimensionMask,
                      int32_t *noOfVertices, int32_t *noOfElements, int32_t countsByType[8]);
int Model_getLocationWireframeDisplay(Model *model, const char *location, int32_t ignoreUnknownNames,
                                      const char *units, double angle, int32_t *noOfVertices, float **coordinates,
                                      int32_t *noOfEdges, int32_t **endVertices);
int Model_getLocationFacettedDisplay(Model *model, const char *location, int32_t ignoreUnknownNames,
                                     const char *units, int32_t *noOfVertices, float **coordinates,
                                     int32_t *noOfTriangles, int32_t *noOfQuadrilaterals, int32_t **faceVertices);
int Model_getRegionMesh(Model *model, const char *region, int32_t convention, const char *units,
                        int32_t *noOfVertices, double **coordinates, int32_t *noOfElements, int32_t **elementTypes,
                        int32_t **elementVertices);
int32_t Model_getNoOfRegions(Model *model, int32_t dimensionMask);
// The names in the topology's order (NULL when none); their count.
int32_t Model_getRegions(Model *model, int32_t dimensionMask, char ***regionNames);
// The region the region bounds, or NULL.
int Model_getBoundedRegion(Model *model, const char *region, char **boundedRegion);
int Model_getBoundingRegions(Model *model, const char *region, int32_t *noOfBoundingRegions,
                             char ***boundingRegions);
// type: bit 0 direct connections, bit 1 gluings (1 to 3). Glued neighbours win over a direct one.
int Model_getPairedRegions(Model *model, int32_t type, const char *region, int32_t *noOfPairedRegions,
                           char ***pairedRegions);
int Model_getAllPairedRegions(Model *model, int32_t type, int32_t *noOfPairedRegions,
                              char ***pairedRegionNamesSide1, char ***pairedRegionNamesSide2);
// The volumes across the region's bounding surfaces, each once, first found first.
int Model_getNeighbours(Model *model, const char *region, int32_t *noOfNeighbours, char ***neighbours);

// Composite names, tags and the primary region map (see the NameManager).
int Model_isNameComposite(Model *model, const char *name, int32_t *isCompositeName);
int Model_isNamePrimitive(Model *model, const char *name, int32_t *isPrimitiveName);
int Model_createPrimitiveName(Model *model, const char *name);
int Model_destroyPrimitiveName(Model *model, const char *name);
int Model_getPrimitiveNames(Model *model, int32_t *count, char ***names);
// -1 when the names cannot be listed.
int32_t Model_getNoOfPrimitiveNames(Model *model);
int32_t Model_getNoOfCompositeNames(Model *model);
int32_t Model_getCompositeNames(Model *model, char ***names);
int Model_getTaggedCompositeNames(Model *model, const char *vsnTagList, const char *untaggedTag, const char *otherTag,
                                  int32_t *noOfCompositeNames, char ***compositeNames);
// The name must be usable as it is: not taken and not changed by normalisation.
int Model_createCompositeName(Model *model, const char *name, int32_t combination, int32_t noOfComponentsA,
                              const char *const *componentsA, int32_t noOfComponentsB,
                              const char *const *componentsB);
// A Union of the regions' names; 0 without a message when there is none.
int Model_createCompositeUnion(Model *model, const char *name, int32_t noOfRegions, Region *const *regions);
int Model_destroyCompositeName(Model *model, const char *name);
int Model_getCompositeNameDefinition(Model *model, const char *name, int32_t *combination, int32_t *noOfComponentsA,
                                     char ***componentsA, int32_t *noOfComponentsB, char ***componentsB);
// Every definition naming oldName is rewritten to newName; with addAlias oldName stays as a union
// of newName. All or nothing.
int Model_renameCompositeName(Model *model, const char *oldName, const char *newName, int32_t addAlias,
                              char **actualName);
// operation: 1 adds the tag, 0 removes it. All or nothing.
int Model_tagCompositeNames(Model *model, const char *tag, int32_t operation, int32_t noOfCompositeNames,
                            const char *const *compositeNames);
int Model_compositeNameHasTag(Model *model, const char *name, const char *tag, int32_t *hasTag);
int Model_compositeNameGetTags(Model *model, const char *name, char **tags);
int Model_exportRegionMap(Model *model, char **text);
// All or nothing.
int Model_importRegionMap(Model *model, const char *text, int32_t operation, int32_t resolution);

// Moves faces of 2-D primitive regions that are not paired: operation 0 into a new region named
// after targetName (one per shell, joined by a composite union named actualName), operation 1
// into the existing region targetName. Sources left without faces are deleted. With
// recordChanges the created, changed and deleted regions' names come back in the three lists.
// Everything is checked before anything changes; a failure part-way rolls back.
int Model_modifyRegions(Model *model, int32_t operation, int32_t noOfComponents, char *const *regions,
                        const int32_t *noOfElements, const int32_t *const *elements, const char *targetName,
                        int32_t recordChanges, char **actualName, int32_t noOfModifiedRegions[3],
                        char **modifiedRegions[3]);
// The steps of Model_modifyRegions, without its checks. A new region named after name in the
// first source's assembly (and shell), receiving the listed faces of each source.
int Model_createRegion(Model *model, const char *name, int32_t n, Region *const *sources, const int32_t *noOfElements,
                       const int32_t *const *elements, Region **newRegion);
// Moves the listed faces of each source into the target; sources left without faces are deleted.
int Model_modifyRegion(Model *model, Region *target, int32_t n, Region *const *sources, const int32_t *noOfElements,
                       const int32_t *const *elements);
// Replaces the region's visual by one of the face mesh, or removes it when there is none.
int Model_updateVisual(Model *model, Region *region, FaceMesh *faceMesh);

// Whether the surfaces of two locations match face for face: type 1 in place, 2 and 3 after the
// periodic transformation of kind type - 1 about the axis (written into transformation when
// given), otherwise after the transformation given. 0 no, 1 yes, 2 yes with some pairs already
// connected, 3 all already connected (or, with status 0, a surface without a mesh).
int Model_doesMeshMatch(Model *model, const char *location1, const char *location2, int32_t type,
                        const double axisRoot[3], const double axisTip[3], const char *units,
                        zyrAffineTransform3D *transformation, int32_t *doesMeshMatch);

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
