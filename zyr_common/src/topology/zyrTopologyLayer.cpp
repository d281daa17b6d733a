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

namespace {

const int32_t kOptional = ZYR_ATTRIBUTE_OPTIONAL;
const int32_t kOwned = ZYR_ATTRIBUTE_OWNED;

// What each record of the layer stores, for the store's checks of restored records.
// A record may be made at one state and given its references at a later one: those it can be
// without in a sound file are optional.
const zyrAttributeRule kAssembly[] = {{"topology", "Topology", kOptional, nullptr},
                                      {"regions", "Region", kOptional, nullptr},
                                      {"id", nullptr, 0, nullptr},
                                      {nullptr, nullptr, 0, nullptr}};
const zyrAttributeRule kAtlas[] = {{"nameManager", "NameManager", 0, "atlas"}, {nullptr, nullptr, 0, nullptr}};
const zyrAttributeRule kBoundary[] = {
    {"boundedRegion", "Region", 0, "boundary"}, {"shells", "Shell", kOwned, nullptr}, {nullptr, nullptr, 0, nullptr}};
const zyrAttributeRule kConnection[] = {
    {"sides", "Region", 0, nullptr}, {"type", nullptr, 0, nullptr}, {nullptr, nullptr, 0, nullptr}};
const zyrAttributeRule kNameManager[] = {{"atlas", "Atlas", kOwned, nullptr},
                                         {"objects", "Assembly|Region", 0, nullptr},
                                         {"names - primitive", nullptr, 0, nullptr},
                                         {"names - composite", nullptr, 0, nullptr},
                                         {nullptr, nullptr, 0, nullptr}};
const zyrAttributeRule kRegion[] = {{"topology", "Topology", kOptional, nullptr},
                                    {"assembly", "Assembly", kOptional, nullptr},
                                    {"shell", "Shell", kOptional, nullptr},
                                    {"boundary", "Boundary", kOwned | kOptional, nullptr},
                                    {"connection", "Connection", kOptional, nullptr},
                                    {"gluings", "Connection", kOptional, nullptr},
                                    {"dimensionality", nullptr, kOptional, nullptr},
                                    {"id", nullptr, 0, nullptr},
                                    {nullptr, nullptr, 0, nullptr}};
const zyrAttributeRule kShell[] = {
    {"boundary", "Boundary", 0, "shells"}, {"regions", "Region", 0, nullptr}, {nullptr, nullptr, 0, nullptr}};
const zyrAttributeRule kTopology[] = {{"nameManager", "NameManager", kOwned | ZYR_ATTRIBUTE_VITAL, nullptr},
                                      {"assemblies", "Assembly", 0, nullptr},
                                      {"0D regions", "Region", 0, nullptr},
                                      {"1D regions", "Region", 0, nullptr},
                                      {"2D regions", "Region", 0, nullptr},
                                      {"3D regions", "Region", 0, nullptr},
                                      {nullptr, nullptr, 0, nullptr}};

} // namespace

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
  zyrTypeManager_setAttributes("Assembly", kAssembly);
  zyrTypeManager_setAttributes("Atlas", kAtlas);
  zyrTypeManager_setAttributes("Boundary", kBoundary);
  zyrTypeManager_setAttributes("Connection", kConnection);
  zyrTypeManager_setAttributes("NameManager", kNameManager);
  zyrTypeManager_setAttributes("Region", kRegion);
  zyrTypeManager_setAttributes("Shell", kShell);
  zyrTypeManager_setAttributes("Topology", kTopology);
  done = true;
}
