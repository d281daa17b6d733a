#ifndef ZYR_GMO_CONTENTS_H
#define ZYR_GMO_CONTENTS_H
// What an intermediate mesh file holds, read into plain arrays and checked before the import
// makes a single object of it. A reader process writes the file, so nothing in it is trusted:
// every count, index pointer and index is checked against what it counts or indexes.
//
// Data sets, all at "EVERY" and time 0 unless named (surfaces and volumes numbered from 0 in the
// order of their name arrays, element sets and face sets at "ES%d" and "FS%d" from 0):
//
//   ZYR/NSF, ZYR/NVL, ZYR/CLBSF, ZYR/CLBVL        counts and names
//   ZYR/KPRSF, ZYR/KPRVL                          optional priorities (used only at full length)
//   ZYR/KSFSF                                     partner surface or -1
//   ZYR/CONTACT                                   optional surface pairs to glue
//   ZYR/IPSFVL, ZYR/KSFVL                         the surfaces bounding each volume
//   ZYR/ATLAS/PRIMARY                             optional region-map text (read by the import)
//   ZYR/NCN, ZYR/CLBCN, ZYR/CNMCN, ZYR/IPNMCN     optional composite names
//   ZYR/CRDVX (time -2), ZYR/UNITS                coordinates and their optional unit
//   ZYR/NES; ZYR/TYPE, ZYR/KVXPE at "ES%d"        element sets (type codes 1 to 7)
//   ZYR/NFS; ZYR/KPEPF, ZYR/KRFPF, ZYR/ES at "FS%d"  face sets
//   ZYR/KESVL, ZYR/IPESVL, ZYR/KFSSF, ZYR/IPFSSF  element sets of volumes, face sets of surfaces
//
// A read that fails, or a data set that does not fit, stores the error in the file handle with
// code 20006; the caller publishes it (DefFile_reportError).
#include <cstdint>
#include <cstdio>

struct DefFile;

struct GmoContents {
  // Topology.
  int32_t m_nsf;
  int32_t m_nvl;
  char **m_surfaceNames;        // m_nsf
  char **m_volumeNames;         // m_nvl
  int32_t *m_surfacePriorities; // m_nsf, or NULL
  int32_t *m_volumePriorities;  // m_nvl, or NULL
  int32_t *m_partners;          // m_nsf: surface or -1
  int32_t m_noOfContacts;       // pairs
  int32_t *m_contacts;          // 2 per pair, or NULL
  int32_t *m_shellPointer;      // m_nvl + 1
  int32_t *m_shellSurfaces;     // m_shellPointer[m_nvl]
  int32_t m_ncn;                // composite names
  char **m_compositeNames;      // m_ncn
  int32_t *m_componentPointer;  // m_ncn + 1
  char **m_componentNames;      // m_componentPointer[m_ncn]

  // Mesh.
  int32_t m_noOfVertices;
  double *m_coordinates; // 3 per vertex
  char *m_units;         // or NULL
  int32_t m_nes;
  int32_t *m_elementTypes;     // m_nes: the file's codes 1 to 7
  int32_t *m_elementLengths;   // m_nes: entries of each vertex list
  int32_t **m_elementVertices; // m_nes lists (tracked allocator, may be handed over: set NULL)
  int32_t m_nfs;
  int32_t *m_faceCounts;        // m_nfs
  int32_t *m_faceElementSets;   // m_nfs
  int32_t **m_faceElements;     // m_nfs lists (may be handed over)
  int32_t **m_localFaces;       // m_nfs lists (may be handed over)
  int32_t *m_elementSetPointer; // m_nvl + 1
  int32_t *m_volumeElementSets;
  int32_t *m_faceSetPointer; // m_nsf + 1
  int32_t *m_surfaceFaceSets;
  int32_t *m_boundedVolume; // m_nsf: the volume whose shell holds the surface
};

GmoContents *GmoContents_new();
void GmoContents_delete(GmoContents *contents);
void GmoContents_print(const GmoContents *contents, FILE *stream);

// The topology data sets (all but the region map). 1 when all required ones were read and fit.
int GmoContents_readTopology(GmoContents *contents, DefFile *file);
// The mesh data sets, checked against the topology read before. 1 when all were read and fit.
int GmoContents_readMesh(GmoContents *contents, DefFile *file);

// The library's element type of a file's type code, or -1 for a code outside 1 to 7.
int32_t GmoContents_elementType(int32_t code);

#endif
