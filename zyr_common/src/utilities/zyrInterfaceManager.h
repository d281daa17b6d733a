#ifndef ZYR_INTERFACE_MANAGER_H
#define ZYR_INTERFACE_MANAGER_H
// The process-wide register of output interfaces. Created on first use; deleted at process exit
// together with every interface still registered.
#include <cstdint>

struct Interface;
struct Set;

struct zyrInterfaceManager {
  Set *m_interfaces;
  int32_t m_nextId;
};

zyrInterfaceManager *zyrInterfaceManager_get();
// The new interface's id, or -1 when it is registered already.
int32_t zyrInterfaceManager_addInterface(zyrInterfaceManager *manager, Interface *interface);
int zyrInterfaceManager_removeInterface(zyrInterfaceManager *manager, Interface *interface);
// Terminates every interface in registration order.
int zyrInterfaceManager_terminate(zyrInterfaceManager *manager, int normal);
void zyrInterfaceManager_delete(zyrInterfaceManager *manager);

#endif
