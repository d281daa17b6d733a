#include "zyrTopologyLayer.h"

#include "Assembly.h"
#include "Atlas.h"
#include "NameManager.h"
#include "Region.h"
#include "zyrTypeManager.h"

void zyrTopologyLayer_initialise() {
  static bool done = false;
  if (done)
    return;
  zyrTypeManager_setHooks("Atlas", Atlas_size, Atlas_dump, Atlas_restore, Atlas_delete);
  zyrTypeManager_setHooks("NameManager", NameManager_getSize, NameManager_dump, NameManager_restore,
                          NameManager_delete);
  // The records below are so far only what naming needs; their dump hooks come with them.
  zyrTypeManager_setHooks("Assembly", Assembly_getSize, nullptr, Assembly_restore, Assembly_delete);
  zyrTypeManager_setHooks("Region", Region_getSize, nullptr, Region_restore, Region_delete);
  done = true;
}
