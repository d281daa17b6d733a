#ifndef ZYR_MATCHED_MESH_H
#define ZYR_MATCHED_MESH_H
// One pair of surfaces across a zone interface whose face meshes match one to one.
//
// Surface 0 lies on the interface's side 0. Side A is surface [swapped], side B surface
// [1 - swapped], so A's zone number is never higher than B's. The map's side 0 is surface
// [reversed]; A is the map's side 0 exactly when swapped XOR reversed is 0.
#include <cstdint>

struct InterfaceMap;
struct Region;
struct Zone;
struct vsnBoundary;

struct MatchedMesh {
  vsnBoundary *m_boundary[2]; // not owned; NULL when the side has a single boundary
  Region *m_surface[2];
  Zone *m_zone[2]; // not owned
  InterfaceMap *m_interfaceMap;
  int32_t m_swapped;
  int32_t m_reversed;
  int32_t m_ownsMap; // the map was made by the zone interface's own matching
};

MatchedMesh *MatchedMesh_new();
// Deletes the map too when the matched mesh owns it.
void MatchedMesh_delete(MatchedMesh *matched);
// 1 when the sides A and B are the map's sides 1 and 0.
int MatchedMesh_isFlipped(const MatchedMesh *matched);

#endif
