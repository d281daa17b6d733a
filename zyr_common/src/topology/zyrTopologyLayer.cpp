#include "zyrTopologyLayer.h"

#include "Assembly.h"
#include "Atlas.h"
#include "Boundary.h"
#include "Connection.h"
#include "NameManager.h"
#include "Region.h"
#include "Shell.h"
#include "Topology.h"
#include "zyrTypeManager.h"

void zyrTopologyLayer_initialise() {
  static bool done = false;
  if (done)
    return;
  zyrTypeManager_setHooks("Atlas", Atlas_size, Atlas_dump, Atlas_restore, Atlas_delete);
  zyrTypeManager_setHooks("NameManager", NameManager_getSize, NameManager_dump, NameManager_restore,
                          NameManager_delete);
  zyrTypeManager_setHooks("Assembly", Assembly_getSize, Assembly_dump, Assembly_restore, Assembly_delete);
  zyrTypeManager_setHooks("Region", Region_getSize, Region_dump, Region_restore, Region_delete);
  zyrTypeManager_setHooks("Connection", Connection_getSize, Connection_dump, Connection_restore, Connection_delete);
  zyrTypeManager_setHooks("Boundary", Boundary_getSize, Boundary_dump, Boundary_restore, Boundary_free);
  zyrTypeManager_setHooks("Shell", Shell_getSize, Shell_dump, Shell_restore, Shell_free);
  zyrTypeManager_setHooks("Topology", Topology_getSize, Topology_dump, Topology_restore, Topology_delete);
  done = true;
}
