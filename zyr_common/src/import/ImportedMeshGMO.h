#ifndef ZYR_IMPORTED_MESH_GMO_H
#define ZYR_IMPORTED_MESH_GMO_H
// The two halves of reading an intermediate mesh file, from contents already read and checked.
#include <cstdint>

struct DefFile;
struct GmoContents;
struct ImportedMesh;

// Regions (volumes, then surfaces), priorities, connections, gluings, shells, the region map,
// the composite names (moved out of the contents) and boundaries. 1 or 0 (error published).
int ImportedMesh_loadTopologyFromGMO(ImportedMesh *im, DefFile *file, GmoContents *contents);
// Vertices, element sets and face sets (their lists are handed over and cleared in the
// contents), element meshes, face meshes and the interface maps of direct connections.
int ImportedMesh_loadMeshFromGMO(ImportedMesh *im, GmoContents *contents, const char *units);

#endif
