#ifndef KELVO_MODEL_H
#define KELVO_MODEL_H
// The imported mesh as the intermediate mesh file describes it: volumes with their element sets,
// surfaces (2-D regions, each bounding exactly one volume) with their face sets, the pairing of
// the two sides of every internal surface, and composite names.
//
// From a Gmsh mesh:
// - Each physical volume group becomes a volume (elements outside every physical group: one
//   volume per elementary entity). Its elements form one element set per element kind.
// - Faces are matched by their vertex sets. A boundary element of a physical surface group
//   names the volume faces that it covers: on the outside of one volume they form one surface;
//   between two volumes, or inside one volume (a baffle), they form one surface on each side,
//   paired with each other. A group that so falls into several surfaces names them
//   "<group> <volume>" (with " to <other volume>", or " side 1"/" side 2" for a baffle, where a
//   volume holds several of them), and the group's name becomes a composite name over them.
// - Outer faces of a volume that no group names form the surface "<volume> Default"; untagged
//   faces between two volumes form the pair "<A> to <B>" and "<B> to <A>".
// - Names are made unique by appending " 2", " 3", ...
// Vertices are the nodes that volume elements use, numbered from 0 in file order.
#include "MshFile.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct KelvoElementSet {
  int32_t m_kind; // KelvoKind of a volume element
  int32_t m_volume;
  std::vector<int32_t> m_vertices; // native vertex order, vertex numbers from 0
};

struct KelvoFaceSet {
  int32_t m_elementSet;
  std::vector<int32_t> m_elements; // element indices in the set, from 0
  std::vector<int32_t> m_faces;    // native local face numbers, from 0
};

struct KelvoVolume {
  std::string m_name;
  std::vector<int32_t> m_elementSets;
  std::vector<int32_t> m_surfaces; // the surfaces that bound it
};

struct KelvoSurface {
  std::string m_name;
  int32_t m_volume;  // the volume that it bounds
  int32_t m_partner; // the surface on its other side, or -1
  std::vector<int32_t> m_faceSets;
  int64_t m_noOfFaces;
};

struct KelvoComposite {
  std::string m_name;
  std::vector<std::string> m_components;
};

struct KelvoModel {
  std::vector<double> m_coordinates; // 3 per vertex
  std::vector<KelvoVolume> m_volumes;
  std::vector<KelvoSurface> m_surfaces;
  std::vector<KelvoElementSet> m_elementSets;
  std::vector<KelvoFaceSet> m_faceSets;
  std::vector<KelvoComposite> m_composites;
  std::string m_units;                 // length unit to record, empty for none
  std::vector<std::string> m_warnings; // one each, of one line or more
};

KelvoModel *KelvoModel_new();
void KelvoModel_delete(KelvoModel *model);
// The summary: one line per volume, surface and composite name.
void KelvoModel_print(const KelvoModel *model, FILE *stream);

// Builds the model of a mesh read from a Gmsh file. 1 on success; else 0 with a message in
// *error. Warnings go to m_warnings: what was left out (boundary elements that are no face of a
// volume element, a skipped $Periodic section, ...) and groups named otherwise than the file says
// (a physical group without a name in $PhysicalNames), each with what became of it.
int KelvoModel_build(KelvoModel *model, const MshFile *mesh, std::string *error);

// Faces are matched in partitions of about this many face uses (by their hashes); the result does
// not depend on it. Tests make it small to have many partitions. Returns the size before.
int64_t KelvoModel_setPartitionSize(int64_t uses);

// Number of vertices.
int64_t KelvoModel_getNoOfVertices(const KelvoModel *model);

#endif
