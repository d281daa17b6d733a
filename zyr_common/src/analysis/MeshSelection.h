#ifndef ZYR_MESH_SELECTION_H
#define ZYR_MESH_SELECTION_H
// A working set of mesh elements of one model, built step by step from command texts (see
// MeshSelectionCommand.h) and combined with the selection so far by union, intersection,
// difference or symmetric difference. Not persistent: it lives in tracked memory until deleted.
//
// The selection of each element set is a pair (count, list): count 0 and no list is nothing,
// count n and no list the whole set, count n and a list the n listed 0-based indices (ascending,
// no repeats). Outside a modification every new count is 0 and every new list none.
//
// The element meshes and sets are the mesh's, taken when the selection is made; a selection must
// not outlive changes to them. All coordinates, bounds and measures are in metres.
//
// The Model belongs to a higher layer: its Topology and Mesh are reached through hooks that layer
// registers (MeshSelection_setModelHooks). Without hooks a selection has no elements.
#include <cstdint>
#include <cstdio>

struct ElementMesh;
struct ElementSet;
struct Mesh;
struct Model;
struct Topology;

struct MeshSelectionModelHooks {
  Topology *(*m_getTopology)(const Model *model);
  Mesh *(*m_getMesh)(const Model *model);
};
// NULL clears them.
void MeshSelection_setModelHooks(const MeshSelectionModelHooks *hooks);

struct MeshSelection {
  Model *m_model;
  Mesh *m_mesh;
  int32_t m_noOfElementMeshes;
  ElementMesh **m_elementMeshes; // owned array, shared meshes
  int32_t *m_setsPerMesh;        // owned, one per element mesh
  int32_t m_noOfElementSets;
  ElementSet **m_elementSets; // owned array, shared sets, mesh by mesh
  int32_t **m_selectedLists;  // owned lists, one per set
  int32_t **m_newLists;       // owned lists, one per set
  int32_t *m_selectedCounts;
  int32_t *m_newCounts;
  char *m_units; // owned, "m"
};

// A selection over the model's mesh with every set empty; with a text, that step is applied as a
// union, and the selection is returned whatever its outcome.
MeshSelection *MeshSelection_new(Model *model, const char *text);
MeshSelection *MeshSelection_copy(const MeshSelection *selection);
void MeshSelection_delete(MeshSelection *selection);
// Combination: zyrSetUnion, zyrSetIntersection, zyrSetDifference or zyrSetSymmetricDifference
// (zyrArrayUtilities.h). A text of white space only changes nothing and succeeds. 0 with error
// 10020 for another combination or a syntax error (the selection unchanged), or when the step
// fails.
int MeshSelection_modify(MeshSelection *selection, int32_t combination, const char *text);
Model *MeshSelection_getModel(const MeshSelection *selection);
int32_t MeshSelection_getNoOfSelectedElements(const MeshSelection *selection);
int32_t MeshSelection_getNoOfSelectedElementsOfType(const MeshSelection *selection, int32_t type);
void MeshSelection_print(const MeshSelection *selection, FILE *stream);

// The steps. Each fills only the new counts and lists of the sets it decides.
// Criterion and shape codes of MeshSelectionCommand.h; numbers as the shape takes them. 0 with
// error 10020 for a code out of range.
int MeshSelection_geometricSelect(MeshSelection *selection, int32_t criterion, int32_t shape, const double *numbers);
// Side codes of points (x, y, z each): -1 inside, 0 on the surface, 1 outside. Planes and boxes
// take a vertex within 1e-6 m of the surface as on it; spheres have no tolerance.
void flagPlaneVertices(int32_t n, const double *coordinates, const double *coefficients, int32_t *sides);
void flagSphereVertices(int32_t n, const double *coordinates, const double *centre, double radius, int32_t *sides);
void flagBoxVertices(int32_t n, const double *coordinates, const double *box, int32_t *sides);
// The elements whose measure lies strictly between the given bounds ("beta" decides only the
// tetrahedral sets). 0 for an unknown measure, for "bounding_box" (it has no value per element)
// or when the measure fails; the current selection is kept in every case.
int MeshSelection_qualitySelect(MeshSelection *selection, const char *measure, const double *bounds,
                                const int32_t *boundFlags);
// Whole sets of the given element types, nothing of the others. 1.
int MeshSelection_typeSelect(MeshSelection *selection, int32_t noOfTypes, const int32_t *types);
// Volumes of the location give all their elements, surfaces the elements that own their faces.
// 1, or the failing result of resolving the location.
int MeshSelection_locationSelect(MeshSelection *selection, const char *location);

// Measure codes: "beta" 1, "volume" 2, "bounding_box" 3, "min_edge_length" 4,
// "max_edge_length" 5, "edge_length_ratio" 6; 0 for any other name.
int32_t MeshSelection_getMeasureCode(const char *measure);
// One value per selected element (for "beta" per selected tetrahedron), sets in order, a set's
// elements in list order; for "bounding_box" the smallest x, y, z and the largest x, y, z of the
// selected elements' vertices. No values and 1 when nothing counts. 0 with no values for an
// unknown measure or when a measure fails.
int MeshSelection_getStatistics(MeshSelection *selection, const char *measure, int32_t *noOfValues,
                                double **values);
// The selected elements as compact arrays per element mesh that holds any (the caller's, tracked
// allocator): region names, vertex counts, single-precision coordinates in the units, number of
// selected sets per mesh, and per selected set its element type, element count and element
// vertices in the convention, numbered into the mesh's delivered coordinates. 0 with every output
// cleared when the convention or the units cannot be served.
int MeshSelection_getElements(MeshSelection *selection, int32_t convention, const char *units, int32_t *noOfMeshes,
                              char ***meshNames, int32_t **noOfVertices, float ***coordinates, int32_t **setCounts,
                              int32_t **elementTypes, int32_t **elementCounts, int32_t ***elementVertices);

#endif
