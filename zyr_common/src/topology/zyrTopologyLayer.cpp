#include "zyrTopologyLayer.h"

#include "Atlas.h"
#include "zyrTypeManager.h"

void zyrTopologyLayer_initialise() {
  static bool done = false;
  if (done)
    return;
  zyrTypeManager_setHooks("Atlas", Atlas_size, Atlas_dump, Atlas_restore, Atlas_delete);
  done = true;
}
