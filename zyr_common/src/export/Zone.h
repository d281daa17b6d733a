#ifndef ZYR_ZONE_H
#define ZYR_ZONE_H
// The solver's view of one domain: the element meshes of its volumes, the face meshes of its
// boundary surfaces, the interface maps that join its volumes inside it, and one numbering of
// vertices, elements and faces over all of them (vertices paired by those maps count once).
//
// Face set k of the zone ("ZN<z>/FS<k>") is its k-th face mesh; element set e ("ZN<z>/ES<e>") is
// the e-th element set met walking the element meshes in order, each one's sets in order.
#include <cstdint>
#include <cstdio>

struct DefFile;
struct ElementMesh;
struct FaceMesh;
struct InterfaceMap;
struct Labelling;
struct Mesh;
struct Numbering;
struct Region;
struct vsnDomain;

struct Zone {
  int32_t m_number;
  vsnDomain *m_domain; // not owned
  Mesh *m_mesh;        // not owned
  int32_t m_noOfElementMeshes;
  int32_t m_noOfFaceMeshes;
  int32_t m_noOfInterfaceMaps;
  ElementMesh **m_elementMeshes;   // owned array, the domain's volume order
  FaceMesh **m_faceMeshes;         // owned array, the domain's boundary-surface order
  InterfaceMap **m_interfaceMaps;  // owned array of interior maps (maps not owned)
  Numbering *m_numbering;          // owned
};

// None (nothing published) when the domain has no number in the labelling or there is no mesh.
Zone *Zone_new(Mesh *mesh, vsnDomain *domain, const Labelling *labelling);
void Zone_delete(Zone *zone);
void Zone_print(const Zone *zone, FILE *stream);
// Writes the zone's data sets with coordinates in the units; 1 or 0.
int Zone_write(Zone *zone, DefFile *file, const char *units);

int32_t Zone_getNumber(const Zone *zone);
Numbering *Zone_getNumbering(const Zone *zone);
// k (from 1) when the surface's face mesh is the zone's k-th face mesh, else -1.
int32_t Zone_getFaceSetNumber(const Zone *zone, const Region *surface);

// The extents of n coordinate triples: component minima and maxima (from the largest double and
// its negative) and the smallest and largest distance from the origin.
void Zone_getExtents(int32_t n, const double *xyz, double minimum[3], double maximum[3], double *nearest,
                     double *farthest);

#endif
