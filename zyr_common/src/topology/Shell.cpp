#include "Shell.h"

#include "Boundary.h"
#include "HashTable.h"
#include "Region.h"
#include "Set.h"
#include "TopologyReferences.h"
#include "zyrMemory.h"
#include "zyrUUID.h"

namespace {

int s_addingRegion = 0;
int s_removingRegion = 0;
int s_settingBoundary = 0;
int s_unsettingBoundary = 0;

Set *regionsOf(Shell *shell) {
  if (shell->m_regions == nullptr)
    shell->m_regions = Set_new(20);
  return shell->m_regions;
}

} // namespace

int64_t Shell_getSize() { return static_cast<int64_t>(sizeof(Shell)); }

Shell *Shell_new() {
  Shell *shell = static_cast<Shell *>(zyrObject_new("Shell"));
  if (shell == nullptr)
    return nullptr;
  shell->m_regions = Set_new(20);
  zyrObject_setModified(shell);
  return shell;
}

Shell *Shell_duplicate(const Shell *shell, Boundary *boundary, HashTable *regionMap) {
  Shell *copy = static_cast<Shell *>(zyrObject_new("Shell"));
  if (copy == nullptr)
    return nullptr;
  const int32_t n = Shell_getNoOfRegions(shell);
  copy->m_regions = Set_new(n < 1 ? 5 : n);
  copy->m_boundary = boundary;
  zyrObject_setPointer(copy, "boundary", boundary);
  for (int32_t i = 0; i < n; ++i) {
    Region *region = static_cast<Region *>(HashTable_find(regionMap, shell->m_regions->m_items[i]));
    if (region != nullptr)
      Shell_addRegion(copy, region);
  }
  zyrObject_setModified(copy);
  return copy;
}

void Shell_destroy(Shell *shell, int32_t deleteRegions) {
  if (shell == nullptr)
    return;
  void **regions = nullptr;
  const int32_t n = shell->m_regions != nullptr ? Set_toArray(shell->m_regions, &regions) : 0;
  for (int32_t i = 0; i < n; ++i) {
    Region *region = static_cast<Region *>(regions[i]);
    if (deleteRegions)
      Region_delete(region);
    else
      Region_unsetShell(region);
  }
  zyrMemory_free(regions, __func__);
  Shell_unsetBoundary(shell);
  Shell_free(shell);
}

int Shell_free(void *object) {
  Shell *shell = static_cast<Shell *>(object);
  Set_delete(shell->m_regions);
  shell->m_regions = nullptr;
  return zyrObject_delete(shell);
}

int Shell_dump(void *object) {
  Shell *shell = static_cast<Shell *>(object);
  return zyrObject_setSet(shell, "regions", shell->m_regions);
}

int Shell_restore(void *object, int32_t flag) {
  Shell *shell = static_cast<Shell *>(object);
  void *target = shell->m_boundary;
  int ok = TopologyReferences_read(shell, flag, "boundary", TOPOLOGY_TYPE_BOUNDARY, &target);
  shell->m_boundary = static_cast<Boundary *>(target);
  ok &= TopologyReferences_readSet(shell, flag, "regions", TOPOLOGY_TYPE_REGION, &shell->m_regions);
  regionsOf(shell);
  return ok;
}

void Shell_print(const Shell *shell, FILE *stream) {
  const char *rule = "==============================================\n";
  char uuid[ZYR_UUID_BASE64_SIZE];
  zyrObject_getUUIDString(shell, uuid);
  std::fprintf(stream, "\n%sShell: %s\n%s\n", rule, uuid, rule);
  zyrObject_getUUIDString(shell->m_boundary, uuid);
  std::fprintf(stream, "Bounds boundary: %s\n", uuid);
  std::fprintf(stream, "Contains:\n");
  const int32_t n = Shell_getNoOfRegions(shell);
  for (int32_t i = 0; i < n; ++i)
    std::fprintf(stream, "  \"%s\"\n", Region_getName(static_cast<Region *>(shell->m_regions->m_items[i])));
  std::fprintf(stream, "%s\n", rule);
  std::fflush(stream);
}

int Shell_addRegion(Shell *shell, Region *region) {
  if (s_addingRegion)
    return 1;
  if (region == nullptr || (region->m_shell != nullptr && region->m_shell != shell))
    return 0;
  s_addingRegion = 1;
  const int accepted = Region_setShell(region, shell);
  s_addingRegion = 0;
  if (!accepted)
    return 0;
  Set_add(regionsOf(shell), region);
  zyrObject_setModified(shell);
  return 1;
}

int Shell_removeRegion(Shell *shell, Region *region) {
  if (s_removingRegion)
    return 1;
  if (region == nullptr || region->m_shell != shell)
    return 0;
  s_removingRegion = 1;
  Region_unsetShell(region);
  s_removingRegion = 0;
  zyrObject_setModified(shell);
  return shell->m_regions != nullptr ? Set_remove(shell->m_regions, region) : 0;
}

int Shell_setBoundary(Shell *shell, Boundary *boundary) {
  if (s_settingBoundary)
    return 1;
  if (shell->m_boundary != nullptr || boundary == nullptr)
    return 0;
  s_settingBoundary = 1;
  const int accepted = Boundary_addShell(boundary, shell);
  s_settingBoundary = 0;
  if (!accepted)
    return 0;
  shell->m_boundary = boundary;
  zyrObject_setPointer(shell, "boundary", boundary);
  return 1;
}

int Shell_unsetBoundary(Shell *shell) {
  if (s_unsettingBoundary || shell->m_boundary == nullptr)
    return 1;
  s_unsettingBoundary = 1;
  Boundary_removeShell(shell->m_boundary, shell);
  s_unsettingBoundary = 0;
  shell->m_boundary = nullptr;
  zyrObject_setPointer(shell, "boundary", nullptr);
  return 1;
}

Boundary *Shell_getBoundary(const Shell *shell) { return shell->m_boundary; }

int32_t Shell_getNoOfRegions(const Shell *shell) { return shell->m_regions != nullptr ? shell->m_regions->m_count : 0; }

int32_t Shell_getRegions(const Shell *shell, Region ***regions) {
  *regions = nullptr;
  return shell->m_regions != nullptr ? Set_toArray(shell->m_regions, reinterpret_cast<void ***>(regions)) : 0;
}

Region *Shell_getBoundedRegion(const Shell *shell) {
  return shell->m_boundary != nullptr ? Boundary_getBoundedRegion(shell->m_boundary) : nullptr;
}
