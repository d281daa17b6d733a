// TEMPORARY stand-in until the topology graph lands. Removed before merging.
#include "Topology.h"

#include "NameManager.h"
#include "zyrTypeManager.h"

namespace {
struct Hooks {
  Hooks() { zyrTypeManager_setHooks("Topology", Topology_getSize, nullptr, Topology_restore, Topology_delete); }
};
} // namespace

Topology *Topology_new() {
  static Hooks hooks;
  Topology *topology = static_cast<Topology *>(zyrObject_new("Topology"));
  topology->m_nameManager = NameManager_new();
  zyrObject_setPointer(topology, "nameManager", topology->m_nameManager);
  return topology;
}

int Topology_delete(void *object) {
  Topology *topology = static_cast<Topology *>(object);
  if (topology->m_nameManager != nullptr && zyrObject_canDelete(topology))
    NameManager_delete(topology->m_nameManager);
  topology->m_nameManager = nullptr;
  return zyrObject_delete(topology);
}

int64_t Topology_getSize() {
  static Hooks hooks;
  return static_cast<int64_t>(sizeof(Topology));
}

int Topology_restore(void *object, int32_t flag) {
  Topology *topology = static_cast<Topology *>(object);
  return zyrObject_getPointer(topology, flag, "nameManager", reinterpret_cast<void **>(&topology->m_nameManager));
}

NameManager *Topology_getNameManager(const Topology *topology) { return topology->m_nameManager; }
Region *Topology_findRegion(const Topology *, const char *) { return nullptr; }
Assembly *Topology_findAssembly(const Topology *, const char *) { return nullptr; }
void Topology_print(const Topology *topology, FILE *stream) { std::fprintf(stream, "Topology %p\n", (void *)topology); }
