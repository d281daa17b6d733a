#ifndef ZYR_ZONE_INTERFACE_H
#define ZYR_ZONE_INTERFACE_H
// The solver's view of one domain interface: the boundaries on its two sides, the zones behind
// them and the pairs of surfaces whose face meshes match one to one. Written at "ZIF<n>" after
// every zone has been written; matched side-1 face sets of new matches are rewritten in side-0
// face order first, so that the zone's faces and the interface's face pairs agree.
#include <cstdint>
#include <cstdio>

struct DefFile;
struct FaceMesh;
struct Labelling;
struct MatchedMesh;
struct Mesh;
struct Zone;
struct vsnBoundary;
struct vsnInterface;
struct zyrAffineTransform3D;

struct ZoneInterface {
  int32_t m_number;
  vsnInterface *m_interface;    // not owned
  Mesh *m_mesh;                 // not owned
  const Labelling *m_labelling; // not owned
  int32_t m_periodic;
  int32_t m_noOfBoundaries[2];
  vsnBoundary **m_boundaries[2]; // owned arrays
  Zone **m_boundaryZones[2];     // owned arrays: the zone of each boundary's domain
  int32_t m_noOfMatchedMeshes;
  MatchedMesh **m_matchedMeshes; // owned, with the entries
  int32_t m_noOfSurfaces[2];
  // Caches, -1 until computed.
  int32_t m_noOfMatchedFaces;
  int32_t m_noOfMatchedVertices;
  int32_t m_noOfDistinctMatchedVertices;
  int32_t m_noOfDistinctZones[2]; // -1 until computed
  Zone **m_distinctZones[2];      // owned arrays, first-seen order
};

// zones is indexed by zone number from 1. None when the interface has no number (nothing
// published) or its sides cannot be resolved (20006 published).
ZoneInterface *ZoneInterface_new(Mesh *mesh, vsnInterface *iface, int32_t useExisting, int32_t matchNew,
                                 double tolerance, const Labelling *labelling, Zone *const *zones);
void ZoneInterface_delete(ZoneInterface *zi);
void ZoneInterface_print(ZoneInterface *zi, FILE *stream);
int ZoneInterface_write(ZoneInterface *zi, DefFile *file);

// The distinct zones of a side (0 or 1) in a new array (the caller's); -1 for another side.
int32_t ZoneInterface_getZones(ZoneInterface *zi, int side, Zone ***zones);
int32_t ZoneInterface_getNoOfZones(ZoneInterface *zi, int side);
// 0 nothing matched, 2 every surface of both sides matched, else 1.
int ZoneInterface_getMatchStatus(const ZoneInterface *zi);
int32_t ZoneInterface_getNoOfMatchedMeshes(const ZoneInterface *zi);
// Faces of the side-0 face meshes; -1 when a surface has no face mesh.
int32_t ZoneInterface_getNoOfMatchedFaces(ZoneInterface *zi);
// distinct 0: vertices of the side-0 face meshes; 1: different zone vertex numbers among them.
int32_t ZoneInterface_getNoOfMatchedVertices(ZoneInterface *zi, int distinct);
int ZoneInterface_calculateDistinctZones(ZoneInterface *zi);
// The transform taking side 0 onto side 1 for a periodic interface, or NULL.
zyrAffineTransform3D *ZoneInterface_findPeriodicTransformation(const ZoneInterface *zi, int32_t n,
                                                               FaceMesh *const *const faceMeshes[2]);

#endif
