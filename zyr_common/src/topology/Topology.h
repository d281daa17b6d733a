#ifndef ZYR_TOPOLOGY_H
#define ZYR_TOPOLOGY_H
// TEMPORARY stand-in until the topology graph lands: a Topology that holds its NameManager and
// nothing else. Removed before merging.
#include "zyrObject.h"

#include <cstdio>

struct Assembly;
struct NameManager;
struct Region;

struct Topology {
  zyrObject m_object;
  NameManager *m_nameManager;
};

Topology *Topology_new();
int Topology_delete(void *topology);
int64_t Topology_getSize();
int Topology_restore(void *topology, int32_t flag);
NameManager *Topology_getNameManager(const Topology *topology);
Region *Topology_findRegion(const Topology *topology, const char *name);
Assembly *Topology_findAssembly(const Topology *topology, const char *name);
void Topology_print(const Topology *topology, FILE *stream);

#endif
