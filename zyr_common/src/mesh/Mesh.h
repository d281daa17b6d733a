#ifndef ZYR_MESH_H
#define ZYR_MESH_H
// The mesh half of a model: every element mesh (keyed by its volume), face mesh (keyed by its
// surface) and interface map (keyed by its connection) of one topology. Each kind is kept in a
// link map under link type 1, so the mesh of a region is found from the region and the region
// from the mesh.
//
// Persistent type "Mesh" (id 11). The three link lists are written by the dump hook, each only
// when it changed since the last dump, as arrays of (object, key) pairs.
#include "BitField.h"
#include "zyrObject.h"

#include <cstdint>
#include <cstdio>

struct Assembly;
struct Connection;
struct ElementMesh;
struct FaceMesh;
struct HashTable;
struct InterfaceMap;
struct LinkMap;
struct Region;
struct Splitting;
struct Topology;
struct Vertices;
struct zyrAffineTransform3D;

// Change bits: the link list changed since the last dump.
enum { MESH_ELEMENT_MESHES_CHANGED = 1, MESH_FACE_MESHES_CHANGED = 2, MESH_INTERFACE_MAPS_CHANGED = 3 };

// Matching modes of Mesh_matchMeshes.
enum { MESH_MATCH_COUNT = 0, MESH_MATCH_NEW_MAPS = 1, MESH_MATCH_CONNECT = 2 };

struct Mesh {
  zyrObject m_object;
  LinkMap *m_elementMeshes;  // volume -> element mesh       "elementMeshes"
  LinkMap *m_faceMeshes;     // surface -> face mesh         "faceMeshes"
  LinkMap *m_interfaceMaps;  // connection -> interface map  "interfaceMaps"
  Topology *m_topology;      //                              "topology"
  BitField m_changes;
};

Mesh *Mesh_new(Topology *topology);
// Deletes the link maps and the object; the meshes stay.
int Mesh_delete(void *mesh);
void Mesh_print(const Mesh *mesh, FILE *stream);
// Brings the interface maps of an older release to the current layout (1 when all succeeded).
int Mesh_upgrade(Mesh *mesh);

// 1 on success. A region (connection) has one mesh (map) of its kind: a previous one is unlinked.
int Mesh_addElementMesh(Mesh *mesh, ElementMesh *elementMesh);
int Mesh_addFaceMesh(Mesh *mesh, FaceMesh *faceMesh);
int Mesh_addInterfaceMap(Mesh *mesh, InterfaceMap *interfaceMap);
int Mesh_removeElementMesh(Mesh *mesh, ElementMesh *elementMesh);
int Mesh_removeFaceMesh(Mesh *mesh, FaceMesh *faceMesh);
int Mesh_removeInterfaceMap(Mesh *mesh, InterfaceMap *interfaceMap);
// New arrays (NULL when none); the count is returned.
int32_t Mesh_getElementMeshes(const Mesh *mesh, ElementMesh ***elementMeshes);
int32_t Mesh_getFaceMeshes(const Mesh *mesh, FaceMesh ***faceMeshes);
int32_t Mesh_getInterfaceMaps(const Mesh *mesh, InterfaceMap ***interfaceMaps);
ElementMesh *Mesh_getElementMesh(const Mesh *mesh, const Region *region);
FaceMesh *Mesh_getFaceMesh(const Mesh *mesh, const Region *region);
InterfaceMap *Mesh_getInterfaceMap(const Mesh *mesh, const Connection *connection);
int Mesh_setTopology(Mesh *mesh, Topology *topology);
Topology *Mesh_getTopology(const Mesh *mesh);

// Copies the meshes of copied regions (region pairs: old -> new) and the interface maps of copied
// connections (connection pairs: old -> new), moving the copies by the transform when given.
int Mesh_copyRegions(Mesh *mesh, HashTable *regionPairs, HashTable *connectionPairs,
                     const zyrAffineTransform3D *transform);
// After the topology moved the regions: element meshes move their vertices, face meshes forget
// their geometry. Regions without a mesh of their dimension are passed over.
int Mesh_moveRegions(Mesh *mesh, int32_t n, Region *const *regions, const zyrAffineTransform3D *transform);
// Deletes the meshes of the regions with their sets, and the interface maps of their connections.
int Mesh_deleteRegions(Mesh *mesh, int32_t n, Region *const *regions);
// Vertices and elements of the regions; countsByType (8 entries) per element type.
int Mesh_getMeshSize(Mesh *mesh, int32_t n, Region *const *regions, int32_t *noOfVertices, int32_t *noOfElements,
                     int32_t countsByType[8]);
// Moves every mesh and map of the source into the target, then deletes the source Mesh.
int Mesh_combineMeshes(Mesh *target, Mesh *source);
// Gives every element mesh its own subset of the shared vertices; the splitting that holds the
// vertex maps (the caller's), or NULL on failure.
Splitting *Mesh_localise(Mesh *mesh, const Vertices *vertices);
int Mesh_splitSharedVertices(Mesh *mesh);
// The mesh of a region as plain arrays for display and export (the caller's): a surface's faces as
// triangles (type 2) and quadrilaterals (type 3) packed 3 or 4 per element, or a volume's elements
// in the convention; coordinates in the units.
int Mesh_getRegionMesh(Mesh *mesh, Region *region, int32_t convention, const char *units, int32_t *noOfVertices,
                       double **coordinates, int32_t *noOfElements, int32_t **elementTypes, int32_t **connectivity);

// Matches side-0 face meshes against side-1 face meshes (first match wins); see the modes above.
// Answers the number of side-0 face meshes that found a partner. In mode 1 the new interface
// maps (the caller's) are handed out, NULL when none matched.
int32_t Mesh_matchMeshes(Mesh *mesh, double scaleFactor, const int32_t counts[2], FaceMesh **const faceMeshes[2],
                         const zyrAffineTransform3D *transform, int32_t mode, InterfaceMap ***interfaceMaps);
// Connects the free surfaces of assemblies whose meshes meet and keeps the surviving assemblies
// in the array (in their old order). With keepAssemblyNames, the old name of every assembly that
// took part becomes a composite name over its former regions, tagged "Original Assembly Name".
int Mesh_mergeAssemblies(Mesh *mesh, double scaleFactor, int32_t keepAssemblyNames, int32_t *noOfAssemblies,
                         Assembly **assemblies);

// Type hooks.
int64_t Mesh_getSize();
int Mesh_dump(void *mesh);
int Mesh_restore(void *mesh, int32_t flag);

#endif
