// Renaming of assemblies and regions, with the optional alias that keeps composites written
// against the old name working.
#include "Assembly.h"
#include "Atlas.h"
#include "Dictionary.h"
#include "NameManager.h"
#include "Region.h"
#include "zyrCString.h"

#include <cstring>

namespace {

// Moves the dictionary entry from the old name to the new one and, when asked, keeps the old
// name as an alias of the new one. The old string is freed by the caller afterwards.
void moveEntry(NameManager *nm, const char *oldName, char *newName, void *object, int32_t aliasMode) {
  if (oldName != nullptr)
    NameManager_forgetStem(nm, oldName);
  if (oldName == nullptr || !Dictionary_changeKey(nm->m_nameDictionary, oldName, newName))
    Dictionary_add(nm->m_nameDictionary, newName, object);
  if (oldName == nullptr)
    return;
  // Mode 1 keeps the old name only where the atlas still needs it; a name nothing refers to is
  // let go (the library would call any unknown name primitive).
  if (aliasMode == 2 || (aliasMode == 1 && Atlas_isUsedPrimitive(nm->m_atlas, oldName))) {
    if (Atlas_addAlias(nm->m_atlas, newName, oldName))
      NameManager_insertReservedName(nm, oldName);
  }
}

} // namespace

int NameManager_changeAssemblyName(NameManager *nm, Assembly *assembly, const char *name, int32_t aliasMode) {
  char *wanted = NameManager_normaliseName(nm, name, 0, 0);
  if (wanted == nullptr || *wanted == '\0') {
    zyrCString_free(wanted);
    wanted = zyrCString_clone(nm->m_defaultAssemblyName);
  }
  char *old = assembly->m_userName;
  if (old != nullptr && std::strcmp(wanted, old) == 0) {
    zyrCString_free(wanted);
    return 1;
  }
  NameManager_makeKeyUnique(nm, &wanted, 0);
  if (zyrCString_isBlank(wanted)) {
    zyrCString_free(wanted);
    return 0;
  }
  moveEntry(nm, old, wanted, assembly, aliasMode);
  Assembly_setUniqueName(assembly, wanted);
  zyrCString_free(old);
  NameManager_touch(nm);
  return 1;
}

int NameManager_changeRegionName(NameManager *nm, Region *region, const char *name, int32_t aliasMode) {
  const bool useBase = nm->m_regionNameStrategy == 2 || nm->m_regionNameStrategy == 4;
  char *wanted = useBase ? NameManager_normaliseName(nm, name, 0, 0) : nullptr;
  if (wanted == nullptr || *wanted == '\0') {
    zyrCString_free(wanted);
    wanted = NameManager_createDefaultName(nm, nm->m_defaultNameStrategy, Region_getDimensionality(region),
                                           Region_getId(region));
  }
  char *old = region->m_userName;
  if (old != nullptr && std::strcmp(wanted, old) == 0) {
    zyrCString_free(wanted);
    return 1;
  }
  NameManager_makeKeyUnique(nm, &wanted, nm->m_useStem);
  if (zyrCString_isBlank(wanted)) {
    zyrCString_free(wanted);
    return 0;
  }
  moveEntry(nm, old, wanted, region, aliasMode);
  Region_setUserName(region, wanted);
  zyrCString_free(old);
  Region_setBaseName(region, name);
  NameManager_touch(nm);
  return 1;
}
