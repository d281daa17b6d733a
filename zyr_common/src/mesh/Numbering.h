#ifndef ZYR_NUMBERING_H
#define ZYR_NUMBERING_H
// Zone-wide labels of the vertices, elements and faces of the meshes of one solver zone, used
// while the zone is written. Elements and faces are numbered consecutively over the element
// meshes, element sets, face meshes and face sets in the order given; vertices over all element
// meshes (split vertices included), after gluing the vertices that the zone's internal interfaces
// pair, so that each glued class has one label.
//
// While gluing, entry i of the label array points at a smaller vertex of its class (i itself for
// the class's representative, always its smallest vertex); once final, it is the label of i.
#include <cstdint>
#include <cstdio>

struct ElementMesh;
struct FaceMesh;
struct InterfaceMap;
struct Labelling;
struct Set;

struct Numbering {
  int32_t m_labelsFinal;
  int32_t *m_vertexLabels;        // owned, one entry per vertex of all element meshes
  int32_t m_noOfVertices;
  int32_t m_noOfDistinctVertices; // -1 when not counted
  int32_t m_noOfElements;
  int32_t m_noOfFaces;
  int32_t m_elementLabelBase;
  int32_t m_faceLabelBase;
  int32_t m_vertexLabelBase;
  Labelling *m_elementLabelling;  // element mesh / element set -> elements before it
  Labelling *m_faceLabelling;     // face mesh / face set -> faces before it
  Labelling *m_vertexLabelling;   // element mesh -> its first vertex
  int32_t m_gluing;
  Set *m_gluedInterfaces;
};

Numbering *Numbering_new(int32_t noOfElementMeshes, ElementMesh *const *elementMeshes, int32_t noOfFaceMeshes,
                         FaceMesh *const *faceMeshes);
void Numbering_delete(Numbering *numbering);
void Numbering_print(const Numbering *numbering, FILE *stream);

// Glues each interface in turn, then makes the labels final.
int Numbering_glueInterfaces(Numbering *numbering, int32_t count, InterfaceMap *const *interfaceMaps);
// Glues the vertices the interface pairs. After the labels were made final, the earlier glues are
// made again first. 0 when a side's element mesh is not numbered or its pairs cannot be computed.
int Numbering_glueInterface(Numbering *numbering, InterfaceMap *interfaceMap);
// Joins the classes of the vertex pairs (zone vertex indices, two per pair); the answer is the
// number of pairs that were already in one class. Final labels are first undone as for an
// interface (pairs joined directly before are not joined again).
int64_t Numbering_glueVertexPairs(Numbering *numbering, int64_t noOfPairs, const int32_t *pairs);

// The labels seen from the mesh's first vertex (entry v: the label of the mesh's vertex v), made
// final first unless gluing is under way; NULL when the mesh is not numbered.
const int32_t *Numbering_getVertexLabels(const Numbering *numbering, const ElementMesh *elementMesh);
// The label of the first element (face) of an element set or element mesh (face set or face
// mesh); 0 when the numbering does not hold it.
int Numbering_getElementSetOffset(const Numbering *numbering, const void *object, int32_t *offset);
int Numbering_getFaceSetOffset(const Numbering *numbering, const void *object, int32_t *offset);
int32_t Numbering_getNoOfVertices(Numbering *numbering);
// Keeps, in place and in zone order, the triple of the first vertex of each label.
int32_t Numbering_compactCoordinates(Numbering *numbering, double *coordinates);
void Numbering_finaliseLabels(Numbering *numbering);
void Numbering_setVertexLabelBase(Numbering *numbering, int32_t base);
void Numbering_setElementLabelBase(Numbering *numbering, int32_t base);
void Numbering_setFaceLabelBase(Numbering *numbering, int32_t base);

#endif
