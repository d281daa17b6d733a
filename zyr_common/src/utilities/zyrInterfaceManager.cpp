#include "zyrInterfaceManager.h"

#include "Interface.h"
#include "Set.h"
#include "zyrMemory.h"

#include <cstdlib>

namespace {

zyrInterfaceManager *g_manager = nullptr;

void deleteAtExit() {
  zyrInterfaceManager *manager = g_manager;
  g_manager = nullptr;
  if (manager != nullptr)
    zyrInterfaceManager_delete(manager);
}

} // namespace

zyrInterfaceManager *zyrInterfaceManager_get() {
  if (g_manager == nullptr) {
    zyrInterfaceManager *manager = zyrMemory_allocateZeroedArray<zyrInterfaceManager>(1, "zyrInterfaceManager_new");
    manager->m_interfaces = Set_new(5);
    manager->m_nextId = 0;
    g_manager = manager;
    std::atexit(deleteAtExit);
  }
  return g_manager;
}

int32_t zyrInterfaceManager_addInterface(zyrInterfaceManager *manager, Interface *interface) {
  if (manager == nullptr || interface == nullptr || !Set_add(manager->m_interfaces, interface))
    return -1;
  return manager->m_nextId++;
}

int zyrInterfaceManager_removeInterface(zyrInterfaceManager *manager, Interface *interface) {
  if (manager == nullptr)
    return 0;
  return Set_remove(manager->m_interfaces, interface);
}

int zyrInterfaceManager_terminate(zyrInterfaceManager *manager, int normal) {
  if (manager == nullptr)
    return 0;
  void **members = nullptr;
  int32_t count = Set_toArray(manager->m_interfaces, &members);
  for (int32_t i = 0; i < count; ++i)
    Interface_terminate(static_cast<Interface *>(members[i]), normal);
  zyrMemory_free(members, __func__);
  return 1;
}

void zyrInterfaceManager_delete(zyrInterfaceManager *manager) {
  if (manager == nullptr)
    return;
  // Interface_delete unregisters from the set, so walk a copy of it.
  void **members = nullptr;
  int32_t count = Set_toArray(manager->m_interfaces, &members);
  for (int32_t i = 0; i < count; ++i)
    Interface_delete(static_cast<Interface *>(members[i]));
  zyrMemory_free(members, __func__);
  Set_delete(manager->m_interfaces);
  if (g_manager == manager)
    g_manager = nullptr;
  zyrMemory_free(manager, __func__);
}
