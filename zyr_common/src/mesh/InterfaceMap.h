#ifndef ZYR_INTERFACE_MAP_H
#define ZYR_INTERFACE_MAP_H
// The record that the meshes of two surfaces match vertex for vertex and face for face: the two
// face meshes (side 0 and side 1), the connection between their regions, the matched counts and
// the vertex permutation (local vertex of side 0 -> local vertex of side 1). The face map and the
// split-vertex map are derived on first use and never stored.
//
// Persistent type "InterfaceMap" (id 10). Every attribute is written at creation; an identity
// permutation is stored as the single value 0.
#include "zyrObject.h"

#include <cstdint>
#include <cstdio>

struct Connection;
struct FaceMesh;
struct HashTable;
struct IntegerMap;
struct Mesh;
struct Splitting;

struct InterfaceMap {
  zyrObject m_object;
  Connection *m_connection;           // or NULL             "connection"
  FaceMesh *m_faceMeshes[2];          //                     "faceMeshes"
  int32_t m_noOfMatchedVertices;      //                     "noOfMatchedVertices"
  int32_t m_noOfMatchedFaces;         //                     "noOfMatchedFaces"
  int32_t *m_vertexPermutation;       // owned, or NULL      "vertexPermutation"
  int32_t *m_faceMap;                 // derived
  int32_t *m_splitVertexOffsets;      // derived
  int32_t *m_splitVertexValues;       // derived; may be m_vertexPermutation itself
  int32_t m_splitVertexCounts[2];     // derived
};

// Takes over the permutation and face map (either may be NULL). NULL, with error 20006 and the
// arrays released, when the two face meshes do not have the same numbers of vertices and faces.
InterfaceMap *InterfaceMap_new(FaceMesh *faceMesh0, FaceMesh *faceMesh1, Connection *connection,
                               int32_t *vertexPermutation, int32_t *faceMap);
// The interface map of two face meshes of a mesh imported with shared vertices: each side's local
// vertices become global vertex numbers through its element mesh's vertex map (index -> global
// vertex, as a splitting keeps them), and the vertices of equal rank in global order pair up. NULL
// (error 20006) when the two sides do not hold the same global vertices, or as InterfaceMap_new.
InterfaceMap *InterfaceMap_newFromVertexMaps(FaceMesh *faceMesh0, FaceMesh *faceMesh1, Connection *connection,
                                             const IntegerMap *vertexMap0, const IntegerMap *vertexMap1);
// The interface map of the connection's two surfaces in the mesh, their vertices paired through
// the splitting's vertex maps of their element meshes (see above). NULL when a face mesh is missing.
InterfaceMap *InterfaceMap_newFromSplitting(Mesh *mesh, Connection *connection, const Splitting *splitting);
// A copy between the face meshes the table gives for the old ones.
InterfaceMap *InterfaceMap_copy(const InterfaceMap *map, Connection *connection, HashTable *copyTable);
int InterfaceMap_delete(void *map);
void InterfaceMap_print(InterfaceMap *map, FILE *stream);

int32_t InterfaceMap_getNoOfMatchedVertices(const InterfaceMap *map);
int32_t InterfaceMap_getNoOfMatchedFaces(const InterfaceMap *map);
Connection *InterfaceMap_getConnection(const InterfaceMap *map);
int InterfaceMap_getFaceMeshes(const InterfaceMap *map, FaceMesh **side0, FaceMesh **side1);
// The map's own permutation; answers the matched vertex count.
int32_t InterfaceMap_getVertexPermutation(const InterfaceMap *map, int32_t **permutation);
// The map's own face map, computed on first use; -1 when it cannot be computed.
int32_t InterfaceMap_getFaceMap(InterfaceMap *map, int32_t **faceMap);
int InterfaceMap_calculateFaceMap(InterfaceMap *map);
// The map's own split-vertex map (see MA_calculateSplitVertexMap); answers the number of values,
// -1 when it cannot be computed.
int32_t InterfaceMap_getSplitVertexMap(InterfaceMap *map, int32_t counts[2], int32_t **offsets, int32_t **values);
void InterfaceMap_clearSecondaryData(InterfaceMap *map);
// Converts a permutation that relates the vertices of each side ranked by element-mesh number
// into one that relates local numbers, and stores it.
int InterfaceMap_upgrade(InterfaceMap *map);
// Replaces a restored single 0 by the identity of the matched vertex count.
int InterfaceMap_restoreVertexPermutation(InterfaceMap *map, int32_t count, int32_t *stored);

// Type hooks.
int64_t InterfaceMap_getSize();
int InterfaceMap_dump(void *map);
int InterfaceMap_restore(void *map, int32_t flag);

#endif
