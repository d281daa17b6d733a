#ifndef ZYR_BOUNDARY_H
#define ZYR_BOUNDARY_H
// The boundary of a volume region ("Boundary", type id 4): the shells (closed skins of surface
// regions) that bound it. The links region <-> boundary and boundary <-> shell are kept on both
// sides, as all links of the topology are (see Region.h).
#include "zyrObject.h"

#include <cstdint>
#include <cstdio>

struct HashTable;
struct Region;
struct Set;
struct Shell;

struct Boundary {
  zyrObject m_object;
  Region *m_boundedRegion;
  Set *m_shells;
};

Boundary *Boundary_new();
// A boundary of copies of the shells, each holding the copies (regionMap: region -> copy) of the
// shell's regions in order. The bounded region is left for the caller to set.
Boundary *Boundary_duplicate(const Boundary *boundary, HashTable *regionMap);
// With withShells, destroys the shells too (deleting their regions with deleteRegions); then
// releases the boundary. The bounded region is not told.
void Boundary_destroy(Boundary *boundary, int32_t withShells, int32_t deleteRegions);
// Releases the record without unlinking anything (the store's delete hook).
int Boundary_free(void *boundary);
int Boundary_dump(void *boundary);
int Boundary_restore(void *boundary, int32_t flag);
int64_t Boundary_getSize();
void Boundary_print(const Boundary *boundary, FILE *stream);

int Boundary_addShell(Boundary *boundary, Shell *shell);
int Boundary_removeShell(Boundary *boundary, Shell *shell);
int Boundary_setBoundedRegion(Boundary *boundary, Region *region);
int Boundary_unsetBoundedRegion(Boundary *boundary);

Region *Boundary_getBoundedRegion(const Boundary *boundary);
int32_t Boundary_getNoOfShells(const Boundary *boundary);
int32_t Boundary_getShells(const Boundary *boundary, Shell ***shells);
int32_t Boundary_getNoOfBoundingRegions(const Boundary *boundary);
// The regions shell by shell, each shell's in order; a new array, none when there are none.
int32_t Boundary_getBoundingRegions(const Boundary *boundary, Region ***regions);

#endif
