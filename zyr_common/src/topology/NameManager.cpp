#include "NameManager.h"

#include "Assembly.h"
#include "Atlas.h"
#include "Dictionary.h"
#include "Pair.h"
#include "Region.h"
#include "Repository.h"
#include "TopologyReferences.h"
#include "vsnNameEncoding.h"
#include "zyrCString.h"
#include "zyrError.h"
#include "zyrErrorCode.h"
#include "zyrMemory.h"
#include "zyrStateManager.h"

#include <cctype>
#include <cstring>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace {

const int32_t kAssemblyTypeId = 2;
const int32_t kRegionTypeId = 14;
const int32_t kFirstNumber = 2;

// Every key of the dictionary (the NameManager owns them), collected before the dictionary changes.
std::vector<char *> keysOf(const Dictionary *dictionary) {
  std::vector<char *> keys;
  DictionaryIterator *iterator = DictionaryIterator_new(dictionary);
  for (Pair *pair = DictionaryIterator_first(iterator); pair != nullptr; pair = DictionaryIterator_next(iterator))
    keys.push_back(static_cast<char *>(Pair_getFirst(pair)));
  DictionaryIterator_delete(iterator);
  return keys;
}

using StemCache = std::unordered_map<std::string, int32_t>;

StemCache *stemCache(NameManager *nm) {
  if (nm->m_stemCache == nullptr)
    nm->m_stemCache = new StemCache();
  return static_cast<StemCache *>(nm->m_stemCache);
}

void dropStemCache(NameManager *nm) {
  delete static_cast<StemCache *>(nm->m_stemCache);
  nm->m_stemCache = nullptr;
}

} // namespace

void NameManager_forgetStem(NameManager *nm, const char *name) {
  if (nm->m_stemCache == nullptr || name == nullptr)
    return;
  const char *end = name + std::strlen(name);
  const char *digits = end;
  while (digits > name && std::isdigit(static_cast<unsigned char>(digits[-1])))
    --digits;
  if (digits == end || digits == name || digits[-1] != ' ')
    return;
  static_cast<StemCache *>(nm->m_stemCache)->erase(std::string(name, static_cast<size_t>(digits - 1 - name)));
}

namespace {

void freeNames(Dictionary *dictionary) {
  if (dictionary == nullptr)
    return;
  std::vector<char *> keys = keysOf(dictionary);
  Dictionary_delete(dictionary);
  for (char *key : keys)
    zyrCString_free(key);
}

void setManagedName(void *object, char *name) {
  if (zyrObject_getTypeId(object) == kAssemblyTypeId)
    Assembly_setUniqueName(static_cast<Assembly *>(object), name);
  else
    Region_setUserName(static_cast<Region *>(object), name);
}

} // namespace

void NameManager_releaseResolved(NameManager *nm) {
  zyrCStringArray_free(nm->m_resolvedNames, static_cast<uint64_t>(nm->m_noOfResolved > 0 ? nm->m_noOfResolved : 0));
  if (nm->m_resolvedRegions != nullptr)
    for (int32_t i = 0; i < nm->m_noOfResolved; ++i)
      zyrMemory_free(nm->m_resolvedRegions[i], __func__);
  zyrMemory_free(nm->m_resolvedRegions, __func__);
  zyrMemory_free(nm->m_resolvedCounts, __func__);
  nm->m_resolvedNames = nullptr;
  nm->m_resolvedRegions = nullptr;
  nm->m_resolvedCounts = nullptr;
  nm->m_noOfResolved = 0;
  nm->m_resolvedValid = 0;
}

namespace {

void strategiesChanged(NameManager *nm) {
  nm->m_useStem = nm->m_regionNameStrategy >= 3 ? 1 : 0;
  zyrCString_free(nm->m_collapsedDefaultRegionName);
  nm->m_collapsedDefaultRegionName = zyrCString_collapseWhiteSpace(nm->m_defaultRegionName);
}

void markStrategies(NameManager *nm) {
  BitField_setBit(&nm->m_changes, NAME_MANAGER_STRATEGIES_CHANGED);
  zyrObject_setModified(nm);
}

// The old names are about to be freed: live assemblies and regions must not keep pointing at
// them (those named again get their new key). Objects the store already dropped are not touched.
void clearManagedNames(const Dictionary *dictionary) {
  std::unordered_set<void *> live;
  for (int32_t typeId : {kAssemblyTypeId, kRegionTypeId}) {
    int32_t count = 0;
    void **objects = nullptr;
    zyrStateManager_getObjectsByTypeID(Repository_getCurrentStateManager(), typeId, &count, &objects);
    live.insert(objects, objects + (objects != nullptr ? count : 0));
    zyrMemory_free(objects, __func__);
  }
  DictionaryIterator *iterator = DictionaryIterator_new(dictionary);
  for (Pair *pair = DictionaryIterator_first(iterator); pair != nullptr; pair = DictionaryIterator_next(iterator)) {
    void *object = Pair_getSecond(pair);
    if (object == nullptr || live.count(object) == 0)
      continue;
    if (zyrObject_getTypeId(object) == kAssemblyTypeId)
      static_cast<Assembly *>(object)->m_userName = nullptr;
    else
      Region_setUserName(static_cast<Region *>(object), nullptr);
  }
  DictionaryIterator_delete(iterator);
}

// Restores the names from the current keys. A damaged record (lists of different lengths) or one
// without the current keys keeps the dictionary as it is.
void restoreNames(NameManager *nm, int32_t flag) {
  char **primitive = nullptr, **composite = nullptr;
  int32_t noOfPrimitive = 0, noOfComposite = 0, noOfObjects = 0;
  void **objects = nullptr;
  // The store answers 0 for an empty stored array: that is an empty list, not a missing one.
  auto read = [nm](int status, const char *name) { return status == 1 || zyrObject_hasAttribute(nm, name); };
  const int okPrimitive =
      read(zyrObject_getStrings(nm, flag, "names - primitive", &primitive, &noOfPrimitive), "names - primitive");
  const int okObjects = read(zyrObject_getPointers(nm, flag, "objects", &objects, &noOfObjects), "objects");
  const int okComposite =
      read(zyrObject_getStrings(nm, flag, "names - composite", &composite, &noOfComposite), "names - composite");
  if (!okPrimitive || !okObjects || noOfPrimitive != noOfObjects) {
    if (okPrimitive && okObjects)
      ZYR_ERROR(ZYR_I_INTERNAL_ERROR, "The stored names and objects of the name manager do not match.\n");
    zyrCStringArray_free(primitive, static_cast<uint64_t>(noOfPrimitive));
    zyrCStringArray_free(composite, static_cast<uint64_t>(noOfComposite));
    zyrMemory_free(objects, __func__);
    return;
  }
  if (!okComposite)
    noOfComposite = 0;
  clearManagedNames(nm->m_nameDictionary);
  freeNames(nm->m_nameDictionary);
  dropStemCache(nm);
  nm->m_nameDictionary = Dictionary_new(0);
  nm->m_noOfCompositeNames = 0;
  auto enter = [nm](char *name, void *object) {
    if (name == nullptr)
      return;
    if (NameManager_isNameUsed(nm, name)) {
      zyrCString_free(name);
      return;
    }
    Dictionary_add(nm->m_nameDictionary, name, object);
    if (object != nullptr)
      setManagedName(object, name);
    else
      nm->m_noOfCompositeNames += 1;
  };
  int32_t noOfBad = 0;
  int32_t noOfRenamed = 0;
  std::unordered_set<void *> named;
  for (int32_t i = 0; i < noOfPrimitive; ++i) {
    // A primitive name must lead to a live assembly or region: anything else would be written
    // into as one (and a lost one would pass for a composite name).
    if (!TopologyReferences_isOfType(objects[i], TOPOLOGY_TYPE_ASSEMBLY) &&
        !TopologyReferences_isOfType(objects[i], TOPOLOGY_TYPE_REGION)) {
      zyrCString_free(primitive[i]);
      ++noOfBad;
      continue;
    }
    // An object has one name: a second would stay behind, leading to freed memory, when the
    // object is deleted under its own.
    if (!named.insert(objects[i]).second) {
      zyrCString_free(primitive[i]);
      ++noOfRenamed;
      continue;
    }
    enter(primitive[i], objects[i]);
  }
  if (noOfBad > 0)
    ZYR_ERROR(ZYR_I_INTERNAL_ERROR,
              "Names of the name manager that lead to no assembly or region have been left out.\n");
  if (noOfRenamed > 0)
    ZYR_ERROR(ZYR_I_INTERNAL_ERROR,
              "Names of the name manager that lead to an object named already have been left out.\n");
  for (int32_t i = 0; i < noOfComposite; ++i)
    enter(composite[i], nullptr);
  zyrMemory_free(primitive, __func__);
  zyrMemory_free(composite, __func__);
  zyrMemory_free(objects, __func__);
}

} // namespace

int64_t NameManager_getSize() { return static_cast<int64_t>(sizeof(NameManager)); }

void NameManager_setDefaults(NameManager *nm) {
  zyrCString_reassign(&nm->m_defaultAssemblyName, "Assembly");
  zyrCString_reassign(&nm->m_defaultRegionName, "Region");
  nm->m_defaultNameStrategy = 1;
  nm->m_regionNameStrategy = 2;
  nm->m_compositeCopyingStrategy = 1;
  strategiesChanged(nm);
}

NameManager *NameManager_new() {
  NameManager *nm = static_cast<NameManager *>(zyrObject_new("NameManager"));
  if (nm == nullptr)
    return nullptr;
  nm->m_nameDictionary = Dictionary_new(0);
  NameManager_setDefaults(nm);
  nm->m_atlas = Atlas_new(nm);
  zyrObject_setPointer(nm, "atlas", nm->m_atlas);
  // The strategies are stored from the start, so that every state of the file holds them.
  BitField_setBit(&nm->m_changes, NAME_MANAGER_NAMES_CHANGED);
  BitField_setBit(&nm->m_changes, NAME_MANAGER_STRATEGIES_CHANGED);
  zyrObject_setModified(nm);
  return nm;
}

int NameManager_delete(void *object) {
  NameManager *nm = static_cast<NameManager *>(object);
  if (nm->m_atlas != nullptr && zyrObject_canDelete(nm))
    Atlas_delete(nm->m_atlas);
  nm->m_atlas = nullptr;
  freeNames(nm->m_nameDictionary);
  nm->m_nameDictionary = nullptr;
  dropStemCache(nm);
  zyrCString_free(nm->m_defaultAssemblyName);
  zyrCString_free(nm->m_defaultRegionName);
  zyrCString_free(nm->m_collapsedDefaultRegionName);
  nm->m_defaultAssemblyName = nm->m_defaultRegionName = nm->m_collapsedDefaultRegionName = nullptr;
  NameManager_releaseResolved(nm);
  NameManager_releaseDuplication(nm);
  return zyrObject_delete(nm);
}

Atlas *NameManager_getAtlas(const NameManager *nm) { return nm->m_atlas; }

void NameManager_touch(NameManager *nm) {
  BitField_setBit(&nm->m_changes, NAME_MANAGER_NAMES_CHANGED);
  zyrObject_setModified(nm);
  nm->m_resolvedValid = 0;
}

char *NameManager_normaliseName(const NameManager *, const char *name, int keepLeadingBlank, int keepTrailingBlank) {
  if (name == nullptr)
    return nullptr;
  char *encoded = vsnEncodeName(name);
  const size_t length = std::strlen(name);
  const bool leading = keepLeadingBlank && length > 0 && std::isspace(static_cast<unsigned char>(name[0]));
  const bool trailing = keepTrailingBlank && length > 0 && std::isspace(static_cast<unsigned char>(name[length - 1]));
  if (!leading && !trailing)
    return encoded;
  if (encoded == nullptr || *encoded == '\0') {
    zyrCString_free(encoded);
    return zyrCString_clone(" ");
  }
  char *result = zyrCString_merge(leading ? " " : "", encoded, trailing ? " " : "", nullptr);
  zyrCString_free(encoded);
  return result;
}

// ---- naming of new objects ----------------------------------------------------------------

char *NameManager_createUniqueAssemblyName(NameManager *nm, const char *baseName, int32_t) {
  char *name = NameManager_normaliseName(nm, baseName, 0, 0);
  if (name == nullptr || *name == '\0') {
    zyrCString_free(name);
    name = zyrCString_clone(nm->m_defaultAssemblyName);
  }
  NameManager_makeKeyUnique(nm, &name, 0);
  return name;
}

void NameManager_registerAssemblyName(NameManager *nm, Assembly *assembly, char *name, int32_t id) {
  Assembly_setUniqueName(assembly, name);
  Assembly_setId(assembly, id);
  Dictionary_add(nm->m_nameDictionary, name, assembly);
}

void NameManager_createAssemblyName(NameManager *nm, Assembly *assembly) {
  nm->m_noOfCreatedAssemblies += 1;
  const int32_t id = nm->m_noOfCreatedAssemblies;
  char *name = NameManager_createUniqueAssemblyName(nm, Assembly_getBaseName(assembly), id);
  NameManager_registerAssemblyName(nm, assembly, name, id);
  NameManager_touch(nm);
}

char *NameManager_createDefaultName(NameManager *nm, int32_t strategy, int32_t dimensionality, int32_t id) {
  char number[32];
  std::snprintf(number, sizeof number, "%d.%d", dimensionality, id);
  if (strategy == 1)
    return zyrCString_merge(nm->m_collapsedDefaultRegionName, " ", number, nullptr);
  return zyrCString_merge(nm->m_defaultRegionName, number, nullptr);
}

char *NameManager_createUniqueRegionName(NameManager *nm, Region *region, const char *baseName, int32_t id) {
  char *name = NameManager_normaliseName(nm, baseName, 0, 0);
  if (name == nullptr || *name == '\0') {
    zyrCString_free(name);
    name = NameManager_createDefaultName(nm, nm->m_defaultNameStrategy, Region_getDimensionality(region), id);
  }
  NameManager_makeKeyUnique(nm, &name, nm->m_useStem);
  return name;
}

void NameManager_registerRegionName(NameManager *nm, Region *region, char *name, int32_t id) {
  Dictionary_add(nm->m_nameDictionary, name, region);
  Region_setUserName(region, name);
  Region_setId(region, id);
}

int NameManager_createRegionName(NameManager *nm, Region *region) {
  const int32_t d = Region_getDimensionality(region);
  if (d < 0 || d > 3) {
    ZYR_ERROR(ZYR_I_FAILED_ASSERTION, "Region dimensionality %d is not 0 to 3.\n", d);
    return 0;
  }
  const bool useBase = nm->m_regionNameStrategy == 2 || nm->m_regionNameStrategy == 4;
  const char *base = useBase ? Region_getBaseName(region) : nullptr;
  nm->m_noOfCreatedRegions[d] += 1;
  const int32_t id = nm->m_noOfCreatedRegions[d];
  char *name = NameManager_createUniqueRegionName(nm, region, base, id);
  NameManager_registerRegionName(nm, region, name, id);
  NameManager_touch(nm);
  return 1;
}

int NameManager_useRegionName(NameManager *nm, Region *region, const char *name) {
  const int32_t d = Region_getDimensionality(region);
  if (name == nullptr || d < 0 || d > 3 || NameManager_isNameUsed(nm, name))
    return 0;
  nm->m_noOfCreatedRegions[d] += 1;
  NameManager_registerRegionName(nm, region, zyrCString_clone(name), nm->m_noOfCreatedRegions[d]);
  NameManager_touch(nm);
  return 1;
}

void NameManager_makeKeyUnique(NameManager *nm, char **name, int32_t force) {
  char *base = *name;
  if (!force && !NameManager_isNameUsed(nm, base))
    return;
  StemCache *cache = stemCache(nm);
  const std::string stem(base);
  auto known = cache->find(stem);
  int32_t number = known != cache->end() && known->second > kFirstNumber ? known->second : kFirstNumber;
  char *candidate = nullptr;
  while (true) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%d", number);
    candidate = zyrCString_merge(base, " ", digits, nullptr);
    if (!NameManager_isNameUsed(nm, candidate))
      break;
    zyrCString_free(candidate);
    ++number;
  }
  (*cache)[stem] = number;
  zyrCString_free(base);
  *name = candidate;
}

// ---- queries and housekeeping -------------------------------------------------------------

void *NameManager_lookupName(const NameManager *nm, const char *name, int32_t *kind) {
  char *key = nullptr;
  void *object = nullptr;
  if (name == nullptr || !Dictionary_findKeyAndValue(nm->m_nameDictionary, name, &key, &object)) {
    *kind = NAME_KIND_UNKNOWN;
    return nullptr;
  }
  if (object == nullptr)
    *kind = NAME_KIND_COMPOSITE;
  else
    *kind = zyrObject_getTypeId(object) == kAssemblyTypeId ? NAME_KIND_ASSEMBLY : NAME_KIND_REGION;
  return object;
}

int NameManager_isNameUsed(const NameManager *nm, const char *name) {
  char *key = nullptr;
  void *object = nullptr;
  return name != nullptr && Dictionary_findKeyAndValue(nm->m_nameDictionary, name, &key, &object) ? 1 : 0;
}

int32_t NameManager_getNoOfNames(const NameManager *nm) { return Dictionary_getNoOfEntries(nm->m_nameDictionary); }

int32_t NameManager_getNoOfCompositeNames(const NameManager *nm) { return nm->m_noOfCompositeNames; }

int NameManager_removeName(NameManager *nm, const char *name) {
  char *key = nullptr;
  void *object = nullptr;
  if (name == nullptr || !Dictionary_findKeyAndValue(nm->m_nameDictionary, name, &key, &object))
    return 0;
  if (object == nullptr) {
    nm->m_noOfCompositeNames -= 1;
  } else if (zyrObject_getTypeId(object) == kAssemblyTypeId) {
    Assembly *assembly = static_cast<Assembly *>(object);
    assembly->m_userName = nullptr;
    Assembly_setId(assembly, 0);
  } else {
    Region *region = static_cast<Region *>(object);
    Region_setUserName(region, nullptr);
    Region_setId(region, 0);
  }
  NameManager_forgetStem(nm, key);
  Dictionary_remove(nm->m_nameDictionary, key);
  zyrCString_free(key);
  NameManager_touch(nm);
  return 1;
}

int NameManager_insertReservedName(NameManager *nm, const char *name) {
  if (name == nullptr || NameManager_isNameUsed(nm, name))
    return 0;
  Dictionary_add(nm->m_nameDictionary, zyrCString_clone(name), nullptr);
  nm->m_noOfCompositeNames += 1;
  NameManager_touch(nm);
  return 1;
}

int NameManager_deleteReservedName(NameManager *nm, const char *name) {
  int32_t kind = NAME_KIND_UNKNOWN;
  NameManager_lookupName(nm, name, &kind);
  // Releasing a reservation must never strip an assembly or region of its name.
  if (kind != NAME_KIND_COMPOSITE)
    return 0;
  return NameManager_removeName(nm, name);
}

int NameManager_reserveName(NameManager *nm, const char *name) { return NameManager_insertReservedName(nm, name); }

int NameManager_releaseName(NameManager *nm, const char *name) { return NameManager_deleteReservedName(nm, name); }

int NameManager_reserveOrReleaseName(NameManager *nm, int32_t flag, const char *name) {
  return flag == 1 ? NameManager_insertReservedName(nm, name) : NameManager_deleteReservedName(nm, name);
}

int NameManager_makeUniqueName(NameManager *nm, const char *name, char **uniqueName) {
  *uniqueName = nullptr;
  char *normalised = NameManager_normaliseName(nm, name, 0, 0);
  if (normalised == nullptr || *normalised == '\0') {
    zyrCString_free(normalised);
    return 0;
  }
  NameManager_makeKeyUnique(nm, &normalised, 0);
  *uniqueName = normalised;
  return 1;
}

// ---- strategies ---------------------------------------------------------------------------

int NameManager_setDefaultAssemblyName(NameManager *nm, const char *name) {
  char *normalised = NameManager_normaliseName(nm, name, 0, 0);
  if (normalised == nullptr || *normalised == '\0') {
    zyrCString_free(normalised);
    return 0;
  }
  zyrCString_free(nm->m_defaultAssemblyName);
  nm->m_defaultAssemblyName = normalised;
  markStrategies(nm);
  return 1;
}

void NameManager_getDefaultAssemblyName(const NameManager *nm, char **name) {
  *name = vsnUnencodeName(nm->m_defaultAssemblyName);
}

int NameManager_setRegionNameStrategy(NameManager *nm, const char *defaultRegionName, int32_t defaultNameStrategy,
                                      int32_t regionNameStrategy) {
  if (defaultNameStrategy < 0 || defaultNameStrategy > 2 || regionNameStrategy < 0 || regionNameStrategy > 4)
    return 0;
  if (defaultRegionName != nullptr) {
    char *normalised = NameManager_normaliseName(nm, defaultRegionName, 0, 1);
    if (normalised == nullptr || *normalised == '\0') {
      zyrCString_free(normalised);
      return 0;
    }
    zyrCString_free(nm->m_defaultRegionName);
    nm->m_defaultRegionName = normalised;
  }
  if (defaultNameStrategy != 0)
    nm->m_defaultNameStrategy = defaultNameStrategy;
  if (regionNameStrategy != 0)
    nm->m_regionNameStrategy = regionNameStrategy;
  strategiesChanged(nm);
  markStrategies(nm);
  return 1;
}

void NameManager_getRegionNameStrategy(const NameManager *nm, char **defaultRegionName, int32_t *defaultNameStrategy,
                                       int32_t *regionNameStrategy) {
  *defaultRegionName = zyrCString_clone(nm->m_defaultRegionName);
  *defaultNameStrategy = nm->m_defaultNameStrategy;
  *regionNameStrategy = nm->m_regionNameStrategy;
}

int NameManager_setCompositeNameStrategy(NameManager *nm, int32_t strategy) {
  if (strategy < 0 || strategy > 2)
    return 0;
  if (strategy == 0)
    return 1;
  nm->m_compositeCopyingStrategy = strategy;
  markStrategies(nm);
  return 1;
}

void NameManager_getCompositeNameStrategy(const NameManager *nm, int32_t *strategy) {
  *strategy = nm->m_compositeCopyingStrategy;
}

int NameManager_setStrategyParameter(NameManager *nm, const char *parameter, const char *text, int32_t value) {
  if (parameter == nullptr)
    return -1;
  const std::string name(parameter);
  if (name == "NameManager_defaultAssemblyName")
    return NameManager_setDefaultAssemblyName(nm, text);
  if (name == "NameManager_defaultRegionName")
    return text != nullptr ? NameManager_setRegionNameStrategy(nm, text, 0, 0) : 0;
  if (name == "NameManager_defaultRegionNameStrategy")
    return NameManager_setRegionNameStrategy(nm, nullptr, value, 0);
  if (name == "NameManager_regionNameStrategy")
    return NameManager_setRegionNameStrategy(nm, nullptr, 0, value);
  if (name == "NameManager_compositeCopyingStrategy")
    return NameManager_setCompositeNameStrategy(nm, value);
  return -1;
}

int NameManager_getStrategyParameter(const NameManager *nm, const char *parameter, char **text, int32_t *value) {
  *text = nullptr;
  *value = 0;
  if (parameter == nullptr)
    return -1;
  const std::string name(parameter);
  if (name == "NameManager_defaultAssemblyName") {
    NameManager_getDefaultAssemblyName(nm, text);
    return 1;
  }
  if (name == "NameManager_defaultRegionName") {
    *text = zyrCString_clone(nm->m_defaultRegionName);
    return 1;
  }
  if (name == "NameManager_defaultRegionNameStrategy")
    *value = nm->m_defaultNameStrategy;
  else if (name == "NameManager_regionNameStrategy")
    *value = nm->m_regionNameStrategy;
  else if (name == "NameManager_compositeCopyingStrategy")
    *value = nm->m_compositeCopyingStrategy;
  else
    return -1;
  return 1;
}

// ---- storage ------------------------------------------------------------------------------

int NameManager_dump(void *object) {
  NameManager *nm = static_cast<NameManager *>(object);
  int ok = 1;
  if (BitField_isSet(&nm->m_changes, NAME_MANAGER_NAMES_CHANGED)) {
    std::vector<char *> primitive, composite;
    std::vector<void *> objects;
    DictionaryIterator *iterator = DictionaryIterator_new(nm->m_nameDictionary);
    for (Pair *pair = DictionaryIterator_first(iterator); pair != nullptr; pair = DictionaryIterator_next(iterator)) {
      char *name = static_cast<char *>(Pair_getFirst(pair));
      void *value = Pair_getSecond(pair);
      if (value != nullptr) {
        primitive.push_back(name);
        objects.push_back(value);
      } else {
        composite.push_back(name);
      }
    }
    DictionaryIterator_delete(iterator);
    ok &= zyrObject_setStrings(nm, "names - primitive", primitive.data(), static_cast<int32_t>(primitive.size()));
    ok &= zyrObject_setPointers(nm, "objects", objects.data(), static_cast<int32_t>(objects.size()));
    ok &= zyrObject_setStrings(nm, "names - composite", composite.data(), static_cast<int32_t>(composite.size()));
    ok &= zyrObject_setInt(nm, "noOfCreatedAssemblies", nm->m_noOfCreatedAssemblies);
    ok &= zyrObject_setInts(nm, "noOfCreatedRegions", nm->m_noOfCreatedRegions, 4);
  }
  if (BitField_isSet(&nm->m_changes, NAME_MANAGER_STRATEGIES_CHANGED)) {
    const int32_t strategy[3] = {nm->m_defaultNameStrategy, nm->m_regionNameStrategy, nm->m_compositeCopyingStrategy};
    char *names[2] = {nm->m_defaultAssemblyName, nm->m_defaultRegionName};
    ok &= zyrObject_setInts(nm, "strategy", strategy, 3);
    ok &= zyrObject_setStrings(nm, "defaultNames", names, 2);
  }
  BitField_clearAll(&nm->m_changes);
  return ok ? 1 : 0;
}

int NameManager_restore(void *object, int32_t flag) {
  NameManager *nm = static_cast<NameManager *>(object);
  if (nm->m_nameDictionary == nullptr)
    nm->m_nameDictionary = Dictionary_new(0);
  // A damaged record can name another object as the atlas, or one another name manager holds:
  // it is left out, and the name manager works without composite names.
  void *atlas = nm->m_atlas;
  TopologyReferences_read(nm, flag, "atlas", TOPOLOGY_TYPE_ATLAS, &atlas);
  nm->m_atlas = static_cast<Atlas *>(atlas);

  // Strategies. An undo or redo that did not change them keeps the current ones; a record
  // without them (or with damaged ones) gets the defaults.
  if (zyrObject_checkAttribute(nm, flag, "strategy")) {
    int32_t strategy[3] = {0, 0, 0};
    if (zyrObject_getIntArray(nm, flag, "strategy", strategy, 3) == 1 && strategy[0] >= 1 && strategy[0] <= 2 &&
        strategy[1] >= 1 && strategy[1] <= 4 && strategy[2] >= 1 && strategy[2] <= 2) {
      nm->m_defaultNameStrategy = strategy[0];
      nm->m_regionNameStrategy = strategy[1];
      nm->m_compositeCopyingStrategy = strategy[2];
    } else {
      NameManager_setDefaults(nm);
    }
  } else if (nm->m_defaultAssemblyName == nullptr) {
    NameManager_setDefaults(nm);
  }
  if (zyrObject_checkAttribute(nm, flag, "defaultNames")) {
    char **names = nullptr;
    int32_t count = 0;
    if (zyrObject_getStrings(nm, flag, "defaultNames", &names, &count) == 1 && count == 2 && names != nullptr &&
        names[0] != nullptr && names[1] != nullptr) {
      zyrCString_reassign(&nm->m_defaultAssemblyName, names[0]);
      zyrCString_reassign(&nm->m_defaultRegionName, names[1]);
    }
    zyrCStringArray_free(names, static_cast<uint64_t>(count > 0 ? count : 0));
  }
  if (nm->m_defaultAssemblyName == nullptr || nm->m_defaultRegionName == nullptr)
    NameManager_setDefaults(nm);
  strategiesChanged(nm);

  if (zyrObject_checkAttribute(nm, flag, "names - zyr") || zyrObject_checkAttribute(nm, flag, "names - primary") ||
      zyrObject_checkAttribute(nm, flag, "objects"))
    restoreNames(nm, flag);

  int32_t assemblies = nm->m_noOfCreatedAssemblies;
  if (zyrObject_getInt(nm, flag, "noOfCreatedAssemblies", &assemblies) == 1)
    nm->m_noOfCreatedAssemblies = assemblies;
  int32_t regions[4] = {nm->m_noOfCreatedRegions[0], nm->m_noOfCreatedRegions[1], nm->m_noOfCreatedRegions[2],
                        nm->m_noOfCreatedRegions[3]};
  if (zyrObject_getIntArray(nm, flag, "noOfCreatedRegions", regions, 4) == 1)
    std::memcpy(nm->m_noOfCreatedRegions, regions, sizeof regions);
  nm->m_resolvedValid = 0;
  return 1;
}

void NameManager_print(const NameManager *nm, FILE *stream) {
  const char *equals = "========================================================\n";
  const char *tildes = "~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~\n";
  const char *dashes = "--------------------------------------------------------\n";
  std::fprintf(stream, "\n%s==                Name manager summary                ==\n%s\n", equals, equals);
  std::fprintf(stream, "No. of assemblies created:        %d\n", nm->m_noOfCreatedAssemblies);
  for (int d = 0; d < 4; ++d)
    std::fprintf(stream, "No. of %dD regions created:        %d\n", d, nm->m_noOfCreatedRegions[d]);
  std::fprintf(stream, "\n%sNaming strategy\n%s\n", tildes, tildes);
  std::fprintf(stream, "Assembly naming strategy:\n");
  std::fprintf(stream, "  Default assembly name:          \"%s\"\n", nm->m_defaultAssemblyName);
  std::fprintf(stream, "\nRegion naming strategy:\n");
  std::fprintf(stream, "  Default name strategy:          %d", nm->m_defaultNameStrategy);
  std::fputs(nm->m_defaultNameStrategy == 1 ? " [Default name + \" \" + region ID]\n" : " [Default name + region ID]\n",
             stream);
  std::fprintf(stream, "  Default region name:            \"%s\"\n", nm->m_defaultRegionName);
  std::fprintf(stream, "  Region name strategy:           %d", nm->m_regionNameStrategy);
  static const char *const meanings[] = {" [Use default name]\n", " [Use base name]\n", " [Use default name as stem]\n",
                                         " [Use base name as stem]\n"};
  const int32_t s = nm->m_regionNameStrategy;
  std::fputs(s >= 1 && s <= 4 ? meanings[s - 1] : " [UNKNOWN]\n", stream);
  std::fprintf(stream, "\n%sManaged names\n%s\n", tildes, tildes);
  std::fprintf(stream, "Total no. of names managed:       %d\n", NameManager_getNoOfNames(nm));
  std::fprintf(stream, "No. of composite names managed:   %d\n\n", nm->m_noOfCompositeNames);
  std::fprintf(stream, "%sComposite names:\n%s", dashes, dashes);
  DictionaryIterator *iterator = DictionaryIterator_new(nm->m_nameDictionary);
  for (Pair *pair = DictionaryIterator_first(iterator); pair != nullptr; pair = DictionaryIterator_next(iterator))
    if (Pair_getSecond(pair) == nullptr)
      std::fprintf(stream, "%s\n", static_cast<const char *>(Pair_getFirst(pair)));
  DictionaryIterator_delete(iterator);
  std::fprintf(stream, "\n%sRegion atlas:\n%s", dashes, dashes);
  if (nm->m_atlas != nullptr)
    Atlas_print(nm->m_atlas, stream);
  std::fprintf(stream, "\n%s", equals);
}
