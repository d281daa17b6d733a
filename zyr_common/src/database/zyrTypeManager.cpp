#include "zyrTypeManager.h"

#include "Repository.h"
#include "zyrBlob.h"
#include "zyrCString.h"
#include "zyrMemory.h"
#include "zyrObject.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// Neutral hooks of a type whose owning layer has not installed its own yet.
int64_t neutralSize() { return static_cast<int64_t>(sizeof(zyrObject)); }
int neutralDump(void *) { return 1; }
int neutralRestore(void *, int32_t) { return 1; }
int neutralDelete(void *object) { return zyrObject_delete(object); }

#define ZYR_NEUTRAL_ROW(id, name) {id, name, neutralSize, neutralDump, neutralRestore, neutralDelete}

const zyrTypeEntry zyrDefaultTypes[] = {
    {ZYR_TYPE_ID_REPOSITORY, "Repository", Repository_sizeHook, neutralDump, Repository_restoreHook,
     Repository_deleteHook},
    {ZYR_TYPE_ID_BLOB, "zyrBlob", zyrBlob_sizeHook, neutralDump, zyrBlob_restoreHook, zyrBlob_deleteHook},
    ZYR_NEUTRAL_ROW(2, "Assembly"),
    ZYR_NEUTRAL_ROW(3, "Atlas"),
    ZYR_NEUTRAL_ROW(4, "Boundary"),
    ZYR_NEUTRAL_ROW(5, "Connection"),
    ZYR_NEUTRAL_ROW(6, "ElementMesh"),
    ZYR_NEUTRAL_ROW(7, "ElementSet"),
    ZYR_NEUTRAL_ROW(8, "FaceMesh"),
    ZYR_NEUTRAL_ROW(9, "FaceSet"),
    ZYR_NEUTRAL_ROW(10, "InterfaceMap"),
    ZYR_NEUTRAL_ROW(11, "Mesh"),
    ZYR_NEUTRAL_ROW(ZYR_TYPE_ID_MODEL, "Model"),
    ZYR_NEUTRAL_ROW(13, "NameManager"),
    ZYR_NEUTRAL_ROW(14, "Region"),
    ZYR_NEUTRAL_ROW(15, "Representation"),
    ZYR_NEUTRAL_ROW(16, "Shell"),
    ZYR_NEUTRAL_ROW(17, "Topology"),
    ZYR_NEUTRAL_ROW(18, "Vertices"),
    ZYR_NEUTRAL_ROW(19, "Visual"),
    ZYR_NEUTRAL_ROW(ZYR_TYPE_ID_PROJECTION, "Projection"),
};

const int32_t kNoOfDefaultTypes = static_cast<int32_t>(sizeof(zyrDefaultTypes) / sizeof(zyrDefaultTypes[0]));
const int32_t kGrowth = 10;
const int32_t kFirstNewId = 100;

zyrTypeManager *theManager = nullptr;

// The declared attributes by type index (NULL: nothing declared).
std::vector<const zyrAttributeRule *> theAttributes;

// Whether the text [begin, end) names the type.
bool names(const char *begin, const char *end, const char *typeName) {
  const size_t length = static_cast<size_t>(end - begin);
  return typeName != nullptr && std::strlen(typeName) == length && std::strncmp(begin, typeName, length) == 0;
}

zyrTypeManager *get() { return theManager != nullptr ? theManager : zyrTypeManager_new(); }

int isIndexValid(const zyrTypeManager *manager, int32_t index) { return index >= 0 && index < manager->m_noOfTypes; }

int isIdUsed(const zyrTypeManager *manager, int32_t id) {
  for (int32_t i = 0; i < manager->m_noOfTypes; ++i)
    if (manager->m_types[i].m_id == id)
      return 1;
  return 0;
}

} // namespace

zyrTypeManager *zyrTypeManager_new() {
  if (theManager != nullptr)
    return theManager;
  zyrTypeManager *manager = zyrMemory_allocateZeroedArray<zyrTypeManager>(1, __func__);
  manager->m_noOfTypes = kNoOfDefaultTypes;
  manager->m_maxNoOfTypes = kNoOfDefaultTypes + kGrowth;
  manager->m_types = zyrMemory_allocateZeroedArray<zyrTypeEntry>(manager->m_maxNoOfTypes, __func__);
  std::memcpy(manager->m_types, zyrDefaultTypes, sizeof(zyrDefaultTypes));
  theManager = manager;
  static const zyrAttributeRule repository[] = {{"primaryModel", "Model", 0, nullptr}, {nullptr, nullptr, 0, nullptr}};
  zyrTypeManager_setAttributes("Repository", repository);
  return manager;
}

void zyrTypeManager_print(FILE *stream) {
  const zyrTypeManager *manager = get();
  const char *rule = "==============================================";
  std::fprintf(stream, "\n%s\nzyrTypeManager:\n%s\n\n", rule, rule);
  std::fprintf(stream, "No. of known types [max] = %d [%d]\n", manager->m_noOfTypes, manager->m_maxNoOfTypes);
  std::fprintf(stream, "No. of new types         = %d\n\n", manager->m_noOfNewTypes);
  for (int32_t i = 0; i < manager->m_noOfTypes; ++i)
    std::fprintf(stream, "%4d %s\n", manager->m_types[i].m_id, manager->m_types[i].m_name);
  std::fprintf(stream, "%s\n\n", rule);
  std::fflush(stream);
}

int zyrTypeManager_registerType(const char *name, int32_t, zyrTypeSizeHook size, zyrTypeDumpHook dump,
                                zyrTypeRestoreHook restore, zyrTypeDeleteHook destroy) {
  zyrTypeManager *manager = get();
  if (name == nullptr || zyrTypeManager_findType(name) >= 0)
    return 0;
  int32_t id = kFirstNewId + 1;
  while (isIdUsed(manager, id))
    ++id;
  if (manager->m_noOfTypes + 1 >= manager->m_maxNoOfTypes) {
    manager->m_maxNoOfTypes += kGrowth;
    manager->m_types = zyrMemory_reallocateArray(manager->m_types, manager->m_maxNoOfTypes, __func__);
  }
  zyrTypeEntry *entry = &manager->m_types[manager->m_noOfTypes];
  entry->m_id = id;
  entry->m_name = zyrCString_clone(name);
  entry->m_size = size != nullptr ? size : neutralSize;
  entry->m_dump = dump != nullptr ? dump : neutralDump;
  entry->m_restore = restore != nullptr ? restore : neutralRestore;
  entry->m_delete = destroy != nullptr ? destroy : neutralDelete;
  ++manager->m_noOfTypes;
  ++manager->m_noOfNewTypes;
  return 1;
}

int zyrTypeManager_setHooks(const char *name, zyrTypeSizeHook size, zyrTypeDumpHook dump, zyrTypeRestoreHook restore,
                            zyrTypeDeleteHook destroy) {
  const int32_t index = zyrTypeManager_findType(name);
  if (index < 0)
    return 0;
  zyrTypeEntry *entry = &get()->m_types[index];
  if (size != nullptr)
    entry->m_size = size;
  if (dump != nullptr)
    entry->m_dump = dump;
  if (restore != nullptr)
    entry->m_restore = restore;
  if (destroy != nullptr)
    entry->m_delete = destroy;
  return 1;
}

int zyrTypeManager_setAttributes(const char *name, const zyrAttributeRule *rules) {
  const int32_t index = zyrTypeManager_findType(name);
  if (index < 0)
    return 0;
  if (theAttributes.size() <= static_cast<size_t>(index))
    theAttributes.resize(static_cast<size_t>(index) + 1, nullptr);
  theAttributes[static_cast<size_t>(index)] = rules;
  return 1;
}

int zyrTypeManager_hasAttributes(int32_t index) {
  return index >= 0 && static_cast<size_t>(index) < theAttributes.size() &&
                 theAttributes[static_cast<size_t>(index)] != nullptr
             ? 1
             : 0;
}

const zyrAttributeRule *zyrTypeManager_findAttribute(int32_t index, const char *name) {
  if (!zyrTypeManager_hasAttributes(index) || name == nullptr)
    return nullptr;
  for (const zyrAttributeRule *rule = theAttributes[static_cast<size_t>(index)]; rule->m_name != nullptr; ++rule)
    if (std::strcmp(rule->m_name, name) == 0)
      return rule;
  return nullptr;
}

int zyrTypeManager_allowsTarget(const zyrAttributeRule *rule, int32_t position, const char *typeName) {
  if (rule == nullptr || rule->m_types == nullptr)
    return 0;
  // The turn of the position among the ","-separated groups, then any of its "|" alternatives.
  int32_t turns = 1;
  for (const char *c = rule->m_types; *c != '\0'; ++c)
    turns += *c == ',' ? 1 : 0;
  int32_t turn = position % turns;
  const char *group = rule->m_types;
  for (; turn > 0; --turn)
    group = std::strchr(group, ',') + 1;
  const char *groupEnd = std::strchr(group, ',');
  if (groupEnd == nullptr)
    groupEnd = group + std::strlen(group);
  for (const char *begin = group; begin < groupEnd;) {
    const char *end = std::find(begin, groupEnd, '|');
    if (names(begin, end, typeName))
      return 1;
    begin = end + 1;
  }
  return 0;
}

int32_t zyrTypeManager_findType(const char *name) {
  const zyrTypeManager *manager = get();
  if (name == nullptr)
    return -1;
  for (int32_t i = 0; i < manager->m_noOfTypes; ++i)
    if (std::strcmp(manager->m_types[i].m_name, name) == 0)
      return i;
  return -1;
}

int32_t zyrTypeManager_findTypeId(int32_t id) {
  const zyrTypeManager *manager = get();
  for (int32_t i = 0; i < manager->m_noOfTypes; ++i)
    if (manager->m_types[i].m_id == id)
      return i;
  return -1;
}

const char *zyrTypeManager_getNameOfId(int32_t id) { return zyrTypeManager_getNameOfIndex(zyrTypeManager_findTypeId(id)); }

int32_t zyrTypeManager_getIdOfName(const char *name) { return zyrTypeManager_getIdOfIndex(zyrTypeManager_findType(name)); }

int32_t zyrTypeManager_getIdOfIndex(int32_t index) {
  const zyrTypeManager *manager = get();
  return isIndexValid(manager, index) ? manager->m_types[index].m_id : -1;
}

const char *zyrTypeManager_getNameOfIndex(int32_t index) {
  const zyrTypeManager *manager = get();
  return isIndexValid(manager, index) ? manager->m_types[index].m_name : nullptr;
}

int32_t zyrTypeManager_getNoOfTypes() { return get()->m_noOfTypes; }

zyrTypeSizeHook zyrTypeManager_getSizeHook(int32_t index) { return get()->m_types[index].m_size; }
zyrTypeDumpHook zyrTypeManager_getDumpHook(int32_t index) { return get()->m_types[index].m_dump; }
zyrTypeRestoreHook zyrTypeManager_getRestoreHook(int32_t index) { return get()->m_types[index].m_restore; }
zyrTypeDeleteHook zyrTypeManager_getDeleteHook(int32_t index) { return get()->m_types[index].m_delete; }

int32_t zyrTypeManager_getKnownTypes(char ***names, int32_t **ids) {
  const zyrTypeManager *manager = get();
  const int32_t n = manager->m_noOfTypes;
  *names = zyrMemory_allocateZeroedArray<char *>(n, __func__);
  *ids = zyrMemory_allocateZeroedArray<int32_t>(n, __func__);
  for (int32_t i = 0; i < n; ++i) {
    (*names)[i] = zyrCString_clone(manager->m_types[i].m_name);
    (*ids)[i] = manager->m_types[i].m_id;
  }
  return n;
}

int zyrTypeManager_checkTypes(int32_t n, char *const *names, const int32_t *ids) {
  const zyrTypeManager *manager = get();
  if (n > manager->m_noOfTypes)
    return 0;
  for (int32_t i = 0; i < n; ++i) {
    const int32_t index = zyrTypeManager_findType(names[i]);
    if (index < 0 || manager->m_types[index].m_id != ids[i])
      return 0;
  }
  return manager->m_noOfTypes > n ? 2 : 1;
}
