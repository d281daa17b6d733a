#ifndef ZYR_PROJECTION_H
#define ZYR_PROJECTION_H
// The mesh-to-CAD projection of an imported mesh: for the mesh nodes that lie on CAD edges and
// faces, which edge or face they belong to and where on it, with the maps from contiguous to
// actual CAD ids. Read from the "M/MESHTOCAD/..." data sets of the file a mesh is imported from
// and kept in the database as the persistent type "Projection" (id 100).
//
// Vertex numbers in KVXEN and KVXFN are 1-based numbers into the source file's vertices (0 for
// none) when read, and 0-based indices into CRDVX (-1 for none) once stored: only the vertices
// that nodes use are kept.
//
// The arrays are in memory only while used: they are released once stored, and reloaded (through
// the restore hook) by Projection_print and Projection_getUnits.
#include "zyrObject.h"

#include <cstdint>
#include <cstdio>

struct DefFile;

struct Projection {
  zyrObject m_object;
  int32_t m_ncb, m_ncf, m_nce, m_ncx, m_nen, m_nfn;
  int32_t *m_kcbcf; // NCF: contiguous face -> contiguous body
  int32_t *m_kcbce; // NCE: contiguous edge -> contiguous body
  int32_t *m_kcbcx; // NCX: contiguous vertex -> contiguous body
  int32_t *m_kcvcb; // NCB: contiguous body -> CAD body
  int32_t *m_kcscf; // NCF: contiguous face -> CAD id
  int32_t *m_kccce; // NCE: contiguous edge -> CAD id
  int32_t *m_kcpcx; // NCX: contiguous vertex -> CAD id
  int32_t *m_kceen; // NEN: CAD edge of each edge node
  int32_t *m_kenen; // 2 NEN: edge nodes before and after
  int32_t *m_kvxen; // NEN: vertex of each edge node
  double *m_kuven;  // NEN: parametric coordinate on the edge
  int32_t *m_kcffn; // NFN: CAD face of each face node
  int32_t *m_kvxfn; // NFN: vertex of each face node
  double *m_kuvfn;  // 2 NFN: parametric coordinates on the face
  int32_t m_nvx;
  double *m_crdvx; // 3 NVX
  char *m_units;
  char *m_database; // name of the CAD database, or NULL
};

// A stored projection read from the open file (NULL when the file holds none, or one that does
// not fit together; nothing is published). Coordinates without a unit take the default units.
Projection *Projection_new(DefFile *file, const char *defaultUnits);
// Fills the members and stores them. 1 or 0 (the file handle keeps a failed read's error).
int Projection_readFromDef(Projection *projection, DefFile *file, const char *defaultUnits);
// Reloads the arrays and answers the units (the projection's; they stay loaded).
const char *Projection_getUnits(Projection *projection);
void Projection_print(Projection *projection, FILE *stream);
// Releases the arrays held in memory.
void Projection_release(Projection *projection);

// Type hooks.
int Projection_registerType();
int64_t Projection_getSize();
int Projection_dump(void *projection);
int Projection_restore(void *projection, int32_t flag);
int Projection_delete(void *projection);

#endif
