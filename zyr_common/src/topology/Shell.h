#ifndef ZYR_SHELL_H
#define ZYR_SHELL_H
// One closed skin of surface regions of a volume's boundary ("Shell", type id 16). A region lies
// in at most one shell; a shell belongs to at most one boundary. Links are kept on both sides.
#include "zyrObject.h"

#include <cstdint>
#include <cstdio>

struct Boundary;
struct HashTable;
struct Region;
struct Set;

struct Shell {
  zyrObject m_object;
  Boundary *m_boundary;
  Set *m_regions;
};

Shell *Shell_new();
// A shell of the given boundary (set directly) holding the copies of the shell's regions in
// order; a region without a copy in the map is left out.
Shell *Shell_duplicate(const Shell *shell, Boundary *boundary, HashTable *regionMap);
// Deletes the regions (deleteRegions) or takes them out of the shell, leaves the boundary and
// releases the shell.
void Shell_destroy(Shell *shell, int32_t deleteRegions);
int Shell_free(void *shell);
int Shell_dump(void *shell);
int Shell_restore(void *shell, int32_t flag);
int64_t Shell_getSize();
void Shell_print(const Shell *shell, FILE *stream);

int Shell_addRegion(Shell *shell, Region *region);
int Shell_removeRegion(Shell *shell, Region *region);
int Shell_setBoundary(Shell *shell, Boundary *boundary);
int Shell_unsetBoundary(Shell *shell);

Boundary *Shell_getBoundary(const Shell *shell);
int32_t Shell_getNoOfRegions(const Shell *shell);
int32_t Shell_getRegions(const Shell *shell, Region ***regions);
Region *Shell_getBoundedRegion(const Shell *shell);

#endif
