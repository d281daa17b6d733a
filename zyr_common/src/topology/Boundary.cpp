#include "Boundary.h"

#include "Region.h"
#include "Set.h"
#include "Shell.h"
#include "TopologyReferences.h"
#include "zyrMemory.h"
#include "zyrUUID.h"

namespace {

int s_addingShell = 0;
int s_removingShell = 0;
int s_settingBoundedRegion = 0;
int s_unsettingBoundedRegion = 0;

Set *shellsOf(Boundary *boundary) {
  if (boundary->m_shells == nullptr)
    boundary->m_shells = Set_new(5);
  return boundary->m_shells;
}

} // namespace

int64_t Boundary_getSize() { return static_cast<int64_t>(sizeof(Boundary)); }

Boundary *Boundary_new() {
  Boundary *boundary = static_cast<Boundary *>(zyrObject_new("Boundary"));
  if (boundary == nullptr)
    return nullptr;
  boundary->m_shells = Set_new(5);
  zyrObject_setModified(boundary);
  return boundary;
}

Boundary *Boundary_duplicate(const Boundary *boundary, HashTable *regionMap) {
  Boundary *copy = Boundary_new();
  if (copy == nullptr)
    return nullptr;
  const int32_t n = boundary->m_shells != nullptr ? boundary->m_shells->m_count : 0;
  for (int32_t i = 0; i < n; ++i) {
    Shell *shell = Shell_duplicate(static_cast<Shell *>(boundary->m_shells->m_items[i]), copy, regionMap);
    if (shell != nullptr)
      Set_add(copy->m_shells, shell);
  }
  zyrObject_setModified(copy);
  return copy;
}

void Boundary_destroy(Boundary *boundary, int32_t withShells, int32_t deleteRegions) {
  if (boundary == nullptr)
    return;
  if (withShells && boundary->m_shells != nullptr) {
    void **shells = nullptr;
    const int32_t n = Set_toArray(boundary->m_shells, &shells);
    for (int32_t i = 0; i < n; ++i)
      Shell_destroy(static_cast<Shell *>(shells[i]), deleteRegions);
    zyrMemory_free(shells, __func__);
  }
  Boundary_free(boundary);
}

int Boundary_free(void *object) {
  Boundary *boundary = static_cast<Boundary *>(object);
  Set_delete(boundary->m_shells);
  boundary->m_shells = nullptr;
  return zyrObject_delete(boundary);
}

int Boundary_dump(void *object) {
  Boundary *boundary = static_cast<Boundary *>(object);
  return zyrObject_setSet(boundary, "shells", boundary->m_shells);
}

int Boundary_restore(void *object, int32_t flag) {
  Boundary *boundary = static_cast<Boundary *>(object);
  void *target = boundary->m_boundedRegion;
  int ok = TopologyReferences_read(boundary, flag, "boundedRegion", TOPOLOGY_TYPE_REGION, &target);
  boundary->m_boundedRegion = static_cast<Region *>(target);
  // A boundary destroys its shells: the store leaves out one that another boundary holds.
  ok &= TopologyReferences_readSet(boundary, flag, "shells", TOPOLOGY_TYPE_SHELL, &boundary->m_shells);
  shellsOf(boundary);
  return ok;
}

void Boundary_print(const Boundary *boundary, FILE *stream) {
  const char *rule = "==============================================\n";
  char uuid[ZYR_UUID_BASE64_SIZE];
  zyrObject_getUUIDString(boundary, uuid);
  std::fprintf(stream, "\n%sBoundary: %s\n%s\n", rule, uuid, rule);
  std::fprintf(stream, "Bounds: %s\n",
               boundary->m_boundedRegion != nullptr ? Region_getName(boundary->m_boundedRegion) : "");
  std::fprintf(stream, "Contains:\n");
  const int32_t n = boundary->m_shells != nullptr ? boundary->m_shells->m_count : 0;
  for (int32_t i = 0; i < n; ++i) {
    zyrObject_getUUIDString(boundary->m_shells->m_items[i], uuid);
    std::fprintf(stream, "  Shell: %s\n", uuid);
  }
  std::fprintf(stream, "%s\n", rule);
  std::fflush(stream);
}

int Boundary_addShell(Boundary *boundary, Shell *shell) {
  if (s_addingShell)
    return 1;
  s_addingShell = 1;
  const int accepted = Shell_setBoundary(shell, boundary);
  s_addingShell = 0;
  if (!accepted)
    return 0;
  if (!Set_add(shellsOf(boundary), shell))
    return 0;
  zyrObject_setModified(boundary);
  return 1;
}

int Boundary_removeShell(Boundary *boundary, Shell *shell) {
  if (s_removingShell)
    return 1;
  if (shell->m_boundary != nullptr && shell->m_boundary != boundary)
    return 0;
  s_removingShell = 1;
  Shell_unsetBoundary(shell);
  s_removingShell = 0;
  const int removed = boundary->m_shells != nullptr ? Set_remove(boundary->m_shells, shell) : 0;
  zyrObject_setModified(boundary);
  return removed;
}

int Boundary_setBoundedRegion(Boundary *boundary, Region *region) {
  if (s_settingBoundedRegion)
    return 1;
  if (region == nullptr || (boundary->m_boundedRegion != nullptr && boundary->m_boundedRegion != region))
    return 0;
  s_settingBoundedRegion = 1;
  const int accepted = Region_setBoundary(region, boundary);
  s_settingBoundedRegion = 0;
  if (!accepted)
    return 0;
  boundary->m_boundedRegion = region;
  zyrObject_setPointer(boundary, "boundedRegion", region);
  return 1;
}

int Boundary_unsetBoundedRegion(Boundary *boundary) {
  if (s_unsettingBoundedRegion || boundary->m_boundedRegion == nullptr)
    return 1;
  s_unsettingBoundedRegion = 1;
  const int accepted = Region_unsetBoundary(boundary->m_boundedRegion);
  s_unsettingBoundedRegion = 0;
  if (!accepted)
    return 0;
  boundary->m_boundedRegion = nullptr;
  zyrObject_setPointer(boundary, "boundedRegion", nullptr);
  return 1;
}

Region *Boundary_getBoundedRegion(const Boundary *boundary) { return boundary->m_boundedRegion; }

int32_t Boundary_getNoOfShells(const Boundary *boundary) {
  return boundary->m_shells != nullptr ? boundary->m_shells->m_count : 0;
}

int32_t Boundary_getShells(const Boundary *boundary, Shell ***shells) {
  *shells = nullptr;
  return boundary->m_shells != nullptr ? Set_toArray(boundary->m_shells, reinterpret_cast<void ***>(shells)) : 0;
}

int32_t Boundary_getNoOfBoundingRegions(const Boundary *boundary) {
  int32_t n = 0;
  const int32_t shells = Boundary_getNoOfShells(boundary);
  for (int32_t i = 0; i < shells; ++i)
    n += Shell_getNoOfRegions(static_cast<Shell *>(boundary->m_shells->m_items[i]));
  return n;
}

int32_t Boundary_getBoundingRegions(const Boundary *boundary, Region ***regions) {
  *regions = nullptr;
  const int32_t n = Boundary_getNoOfBoundingRegions(boundary);
  if (n < 1)
    return 0;
  Region **out = zyrMemory_allocateArray<Region *>(n, __func__);
  int32_t at = 0;
  const int32_t shells = Boundary_getNoOfShells(boundary);
  for (int32_t i = 0; i < shells; ++i) {
    const Set *members = static_cast<Shell *>(boundary->m_shells->m_items[i])->m_regions;
    for (int32_t j = 0; members != nullptr && j < members->m_count; ++j)
      out[at++] = static_cast<Region *>(members->m_items[j]);
  }
  *regions = out;
  return at;
}
