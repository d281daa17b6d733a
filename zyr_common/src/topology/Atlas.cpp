#include "Atlas.h"

#include "Dictionary.h"
#include "RegionAtlas.h"
#include "RegionAtlasText.h"
#include "RegionDefinition.h"
#include "RegionMap.h"
#include "RegionMemory.h"
#include "RegionNameRecord.h"
#include "RegionStatus.h"
#include "StringList.h"
#include "TopologyReferences.h"
#include "zyrCString.h"
#include "zyrError.h"
#include "zyrErrorCode.h"
#include "zyrMemory.h"
#include "zyrTrace.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

const uint32_t kPrimaryLevel = 3;
const char *const kAtlasName = "ZYR atlas";
const char *const kMapName = "Primary map";

const char *combinationName(int32_t combination) {
  static const char *const names[] = {"Union",      "Intersection", "Complement", "Difference",
                                      "Symmetric Difference", "Merge", "Alias"};
  return combination >= 1 && combination <= 7 ? names[combination - 1] : "";
}

// Names the library handed out (plain allocator) as a tracked array; counts beyond int32 are
// refused (the names are released either way).
int32_t importNames(char **names, uint64_t count, char ***out) {
  *out = nullptr;
  if (names == nullptr || count == 0) {
    if (names != nullptr)
      zyrCStringArray_free_external(names, count);
    return 0;
  }
  if (count > static_cast<uint64_t>(INT32_MAX)) {
    zyrCStringArray_free_external(names, count);
    return -1;
  }
  *out = zyrCStringArray_import(names, count);
  return static_cast<int32_t>(count);
}

RegionDefinition *findDefinition(Atlas *atlas, const char *name, const char *caller) {
  RegionDefinition *definition = nullptr;
  if (Atlas_reportError(atlas, RegionMap_regionDefinitionFromName(atlas->m_primaryMap, name, &definition), caller,
                        "RegionMap_regionDefinitionFromName", name))
    return nullptr;
  return definition;
}

// Splits a ", "-joined list into trimmed, non-empty names.
std::vector<std::string> splitList(const char *text) {
  std::vector<std::string> names;
  std::string current;
  auto flush = [&]() {
    size_t first = current.find_first_not_of(" \t\r\n");
    size_t last = current.find_last_not_of(" \t\r\n");
    if (first != std::string::npos)
      names.push_back(current.substr(first, last - first + 1));
    current.clear();
  };
  for (const char *p = text; *p != '\0'; ++p) {
    if (*p == ',')
      flush();
    else
      current += *p;
  }
  flush();
  return names;
}

void keepActive(const Dictionary *active, int32_t *count, char **list) {
  int32_t kept = 0;
  for (int32_t i = 0; i < *count; ++i) {
    char *key = nullptr;
    void *value = nullptr;
    if (Dictionary_findKeyAndValue(active, list[i], &key, &value) && static_cast<intptr_t>(reinterpret_cast<intptr_t>(value)) > 0)
      list[kept++] = list[i];
    else
      zyrCString_free(list[i]);
  }
  for (int32_t i = kept; i < *count; ++i)
    list[i] = nullptr;
  *count = kept;
}

std::string joined(int32_t count, char **list) {
  std::string text;
  for (int32_t i = 0; i < count; ++i) {
    if (i > 0)
      text += ", ";
    text += list[i];
  }
  return text;
}

// A name manager restored from a damaged record can be left without its atlas: every use of it
// then fails with an error instead of reaching the missing atlas.
int lost(const Atlas *atlas, const char *caller) {
  if (atlas != nullptr)
    return 0;
  ZYR_ERROR_FOR(ZYR_I_INTERNAL_ERROR, caller,
                "The name manager has no region atlas; composite names are not available.\n");
  return 1;
}

} // namespace

int64_t Atlas_size() { return static_cast<int64_t>(sizeof(Atlas)); }

int Atlas_reportError(const Atlas *, RegionStatus *status, const char *caller, const char *libraryFunction,
                      const char *regionName) {
  if (!RegionStatus_isError(status))
    return 0;
  zyrError *error = zyrError_new(ZYR_I_INTERNAL_ERROR, caller, __FILE__, __LINE__);
  if (regionName != nullptr)
    zyrError_addMessage(error, "Processing region \"%s\".\n\n", regionName);
  zyrError_addMessage(error, "A problem was encountered in the region atlas.\n\nThe function \"%s\" reported:\n",
                      libraryFunction);
  const char *text = RegionStatus_getText(status);
  zyrError_addMessage(error, "\n%s\n", text != nullptr ? text : "");
  char **lines = nullptr;
  uint64_t count = 0;
  if (RegionStatus_getDetails(status, &lines, &count) && count > 0) {
    zyrError_addMessage(error, "\nDetails:\n--------\n\n");
    for (uint64_t i = 0; i < count; ++i)
      zyrError_addMessage(error, "%s\n", lines[i]);
  }
  if (lines != nullptr) {
    for (uint64_t i = 0; i < count; ++i)
      RegionMemory_release(lines[i]);
    RegionMemory_release(lines);
  }
  zyrError_publish(error);
  return 1;
}

int Atlas_create(Atlas *atlas, void *nameManager) {
  RegionAtlas *regionAtlas = nullptr;
  if (Atlas_reportError(atlas, RegionAtlas_new(&regionAtlas, kAtlasName), __func__, "RegionAtlas_new", nullptr))
    return 0;
  RegionMap *map = nullptr;
  if (Atlas_reportError(atlas, RegionMap_new(&map, kMapName), __func__, "RegionMap_new", nullptr)) {
    RegionAtlas_delete(&regionAtlas, 1);
    return 0;
  }
  if (Atlas_reportError(atlas, RegionAtlas_addMap(regionAtlas, map, kPrimaryLevel), __func__, "RegionAtlas_addMap",
                        nullptr)) {
    RegionMap_delete(&map, 1);
    RegionAtlas_delete(&regionAtlas, 1);
    return 0;
  }
  atlas->m_regionAtlas = regionAtlas;
  atlas->m_primaryMap = map;
  atlas->m_nameManager = nameManager;
  return 1;
}

Atlas *Atlas_new(void *nameManager) {
  Atlas *atlas = static_cast<Atlas *>(zyrObject_new("Atlas"));
  if (atlas == nullptr)
    return nullptr;
  if (!Atlas_create(atlas, nameManager)) {
    zyrObject_delete(atlas);
    return nullptr;
  }
  zyrObject_setModified(atlas);
  zyrObject_setPointer(atlas, "nameManager", nameManager);
  return atlas;
}

int Atlas_delete(void *object) {
  Atlas *atlas = static_cast<Atlas *>(object);
  if (atlas->m_regionAtlas != nullptr)
    RegionAtlas_delete(&atlas->m_regionAtlas, 1);
  atlas->m_regionAtlas = nullptr;
  atlas->m_primaryMap = nullptr;
  return zyrObject_delete(atlas);
}

int Atlas_dump(void *object) {
  Atlas *atlas = static_cast<Atlas *>(object);
  if (atlas->m_primaryMap == nullptr)
    return 1;
  const char *text = nullptr;
  if (Atlas_reportError(atlas, RegionMap_getVSN(atlas->m_primaryMap, 0, &text), __func__, "RegionMap_getVSN",
                        nullptr))
    return 0;
  int ok = zyrObject_setString(atlas, "map - primary", text != nullptr ? text : "");
  RegionMap_freeVSN(atlas->m_primaryMap);
  return ok;
}

int Atlas_restore(void *object, int32_t flag) {
  ZYR_TRACE_BEGIN();
  Atlas *atlas = static_cast<Atlas *>(object);
  TopologyReferences_read(atlas, flag, "nameManager", TOPOLOGY_TYPE_NAME_MANAGER, &atlas->m_nameManager);
  if (atlas->m_regionAtlas == nullptr && !Atlas_create(atlas, atlas->m_nameManager))
    return 0;
  int ok = 1;
  if (zyrObject_checkAttribute(atlas, flag, "map - primary")) {
    char *text = nullptr;
    if (!zyrObject_getString(atlas, flag, "map - primary", &text) || !Atlas_resetRegionAtlasPrimaryMap(atlas, text)) {
      ZYR_ERROR(ZYR_I_INTERNAL_ERROR, "Failed to restore the primary region map.\n");
      ok = 0;
    }
    zyrCString_free(text);
  }
  if (ZYR_TRACE_DEBUG(1) && zyrTrace_getLog() != nullptr) {
    std::fprintf(zyrTrace_getLog(), "Restored atlas:\n---------------\n");
    Atlas_print(atlas, zyrTrace_getLog());
  }
  return ok;
}

int RegionMap_readFromString(RegionMap **map, const char *text) {
  if (text == nullptr)
    return 1;
  char **lines = nullptr;
  uint64_t count = 0;
  if (!zyrCStringArray_newFromPackedString(text, '\n', &lines, &count))
    return 0;
  if (count > static_cast<uint64_t>(INT32_MAX)) {
    zyrCStringArray_free(lines, count);
    return 0;
  }
  int failed = Atlas_reportError(nullptr,
                                 RegionMap_readFromStrings(map, static_cast<int32_t>(count), lines, nullptr),
                                 __func__, "RegionMap_readFromStrings", nullptr);
  zyrCStringArray_free(lines, count);
  return failed ? 0 : 1;
}

int Atlas_resetRegionAtlasPrimaryMap(Atlas *atlas, const char *text) {
  if (lost(atlas, __func__))
    return 0;
  RegionMap *map = nullptr;
  if (Atlas_reportError(atlas, RegionMap_new(&map, kMapName), __func__, "RegionMap_new", nullptr))
    return 0;
  if (!RegionMap_readFromString(&map, text)) {
    RegionMap_delete(&map, 1);
    return 0;
  }
  RegionMap *old = atlas->m_primaryMap;
  if (old != nullptr && Atlas_reportError(atlas, RegionAtlas_removeMap(atlas->m_regionAtlas, old), __func__,
                                          "RegionAtlas_removeMap", nullptr)) {
    RegionMap_delete(&map, 1);
    return 0;
  }
  if (Atlas_reportError(atlas, RegionAtlas_addMap(atlas->m_regionAtlas, map, kPrimaryLevel), __func__,
                        "RegionAtlas_addMap", nullptr)) {
    if (old != nullptr)
      RegionAtlas_addMap(atlas->m_regionAtlas, old, kPrimaryLevel);
    RegionMap_delete(&map, 1);
    return 0;
  }
  atlas->m_primaryMap = map;
  if (old == nullptr)
    return 1;
  return Atlas_reportError(atlas, RegionMap_delete(&old, 1), __func__, "RegionMap_delete", nullptr) ? 0 : 1;
}

int Atlas_replacePrimaryMap(Atlas *atlas, const char *text) {
  if (lost(atlas, __func__))
    return 0;
  if (!Atlas_resetRegionAtlasPrimaryMap(atlas, text))
    return 0;
  zyrObject_setModified(atlas);
  return 1;
}

int Atlas_addCompositeToMap(Atlas *atlas, const char *name, int32_t combination, int32_t countA,
                            const char *const *listA, int32_t countB, const char *const *listB) {
  if (lost(atlas, __func__))
    return 0;
  if (combination < 1 || combination > 7)
    return 0;
  RegionDefinition *definition = nullptr;
  if (Atlas_reportError(atlas, RegionDefinition_new(&definition, name, combination, listA, listB, countA, countB),
                        __func__, "RegionDefinition_new", name))
    return 0;
  if (Atlas_reportError(atlas, RegionDefinition_setMap(definition, atlas->m_primaryMap), __func__,
                        "RegionDefinition_setMap", name)) {
    RegionDefinition_delete(&definition);
    return 0;
  }
  zyrObject_setModified(atlas);
  return 1;
}

int Atlas_createUserComposite(Atlas *atlas, const char *name, int32_t combination, int32_t countA,
                              const char *const *listA, int32_t countB, const char *const *listB) {
  return Atlas_addCompositeToMap(atlas, name, combination, countA, listA, countB, listB);
}

int Atlas_addAlias(Atlas *atlas, const char *newName, const char *oldName) {
  const char *list[1] = {newName};
  return Atlas_addCompositeToMap(atlas, oldName, 7, 1, list, 0, nullptr);
}

int Atlas_destroyUserComposite(Atlas *atlas, const char *name) {
  if (lost(atlas, __func__))
    return 0;
  // The library only detaches the definition from its map; it is released here.
  RegionDefinition *definition = nullptr;
  RegionStatus *found = RegionMap_regionDefinitionFromName(atlas->m_primaryMap, name, &definition);
  if (Atlas_reportError(atlas, RegionMap_deleteRegionDefinitionByName(atlas->m_primaryMap, name), __func__,
                        "RegionMap_deleteRegionDefinitionByName", name))
    return 0;
  if (!RegionStatus_isError(found) && definition != nullptr)
    RegionDefinition_delete(&definition);
  zyrObject_setModified(atlas);
  return 1;
}

int Atlas_getUserCompositeDefinition(Atlas *atlas, const char *name, int32_t *combination, int32_t *countA,
                                     char ***listA, int32_t *countB, char ***listB) {
  *combination = 0;
  *countA = 0;
  *listA = nullptr;
  *countB = 0;
  *listB = nullptr;
  if (lost(atlas, __func__))
    return 0;
  RegionDefinition *definition = findDefinition(atlas, name, __func__);
  if (definition == nullptr)
    return 0;
  int32_t kind = 0;
  if (Atlas_reportError(atlas, RegionDefinition_getCombination(definition, &kind), __func__,
                        "RegionDefinition_getCombination", name))
    return 0;
  if (kind < 1 || kind > 7)
    return 0;
  char **names = nullptr;
  uint64_t count = 0;
  if (Atlas_reportError(atlas, RegionDefinition_getComponents(definition, 1, STRING_LIST_NAMES, &names, &count),
                        __func__, "RegionDefinition_getComponents", name))
    return 0;
  int32_t n = importNames(names, count, listA);
  if (n < 0)
    return 0;
  *countA = n;
  if (RegionDefinition_isTwoSided(definition, nullptr) == 1) {
    names = nullptr;
    count = 0;
    if (Atlas_reportError(atlas, RegionDefinition_getComponents(definition, 2, STRING_LIST_NAMES, &names, &count),
                          __func__, "RegionDefinition_getComponents", name) ||
        (n = importNames(names, count, listB)) < 0) {
      zyrCStringArray_free(*listA, static_cast<uint64_t>(*countA));
      *listA = nullptr;
      *countA = 0;
      return 0;
    }
    *countB = n;
  }
  *combination = kind;
  return 1;
}

int32_t Atlas_getCompositeNames(Atlas *atlas, char ***names) {
  *names = nullptr;
  if (lost(atlas, __func__))
    return -1;
  char **list = nullptr;
  uint64_t count = 0;
  if (Atlas_reportError(atlas, RegionMap_getAllCompositeNames(atlas->m_primaryMap, STRING_LIST_NAMES, &list, &count),
                        __func__, "RegionMap_getAllCompositeNames", nullptr))
    return -1;
  return importNames(list, count, names);
}

int32_t Atlas_getTaggedCompositeNames(Atlas *atlas, const char *tagOrder, const char *untaggedWord,
                                      const char *restWord, char ***names) {
  *names = nullptr;
  if (lost(atlas, __func__))
    return -1;
  char **list = nullptr;
  uint64_t count = 0;
  if (Atlas_reportError(atlas,
                        RegionAtlas_namesByTagOrder(atlas->m_regionAtlas, tagOrder, untaggedWord, restWord,
                                                    STRING_LIST_NAMES, &list, &count),
                        __func__, "RegionAtlas_namesByTagOrder", nullptr))
    return -1;
  return importNames(list, count, names);
}

int Atlas_tagCompositeName(Atlas *atlas, const char *tag, int32_t add, const char *name) {
  if (lost(atlas, __func__))
    return 0;
  RegionDefinition *definition = findDefinition(atlas, name, __func__);
  if (definition == nullptr)
    return 0;
  int failed = add == 1 ? Atlas_reportError(atlas, RegionDefinition_addTag(definition, tag), __func__,
                                            "RegionDefinition_addTag", name)
                        : Atlas_reportError(atlas, RegionDefinition_removeTag(definition, tag), __func__,
                                            "RegionDefinition_removeTag", name);
  if (failed)
    return 0;
  zyrObject_setModified(atlas);
  return 1;
}

int Atlas_compositeNameHasTag(Atlas *atlas, const char *name, const char *tag, int32_t *flag) {
  *flag = 0;
  if (lost(atlas, __func__))
    return 0;
  RegionDefinition *definition = findDefinition(atlas, name, __func__);
  if (definition == nullptr)
    return 0;
  int answer = 0;
  if (Atlas_reportError(atlas, RegionDefinition_taggedWith(definition, tag, &answer), __func__,
                        "RegionDefinition_taggedWith", name))
    return 0;
  *flag = answer == 1 ? 1 : 0;
  return 1;
}

int Atlas_compositeNameGetTags(Atlas *atlas, const char *name, char **text) {
  *text = nullptr;
  if (lost(atlas, __func__))
    return 0;
  RegionDefinition *definition = findDefinition(atlas, name, __func__);
  if (definition == nullptr)
    return 0;
  char *tags = nullptr;
  if (Atlas_reportError(atlas, RegionDefinition_tags(definition, STRING_LIST_JOINED, &tags), __func__,
                        "RegionDefinition_tags", name))
    return 0;
  if (tags != nullptr && *tags != '\0')
    *text = zyrCString_clone(tags);
  RegionMemory_release(tags);
  return 1;
}

int Atlas_copyTags(Atlas *atlas, const char *fromName, const char *toName) {
  if (lost(atlas, __func__))
    return 0;
  char *tags = nullptr;
  if (!Atlas_compositeNameGetTags(atlas, fromName, &tags)) {
    ZYR_ERROR(ZYR_I_INTERNAL_ERROR, "Unable to copy tags for composite %s (%s).\n", toName, fromName);
    return 0;
  }
  if (tags == nullptr)
    return 1;
  std::vector<std::string> names = splitList(tags);
  zyrCString_free(tags);
  for (const std::string &tag : names) {
    if (!Atlas_tagCompositeName(atlas, tag.c_str(), 1, toName)) {
      ZYR_ERROR(ZYR_I_INTERNAL_ERROR, "Unable to copy tags for composite %s (%s).\n", toName, fromName);
      return 0;
    }
  }
  return 1;
}

int Atlas_addExplicitPrimitive(Atlas *atlas, const char *name) {
  if (lost(atlas, __func__))
    return 0;
  if (Atlas_reportError(atlas, RegionMap_addExplicitPrimitive(atlas->m_primaryMap, name), __func__,
                        "RegionMap_addExplicitPrimitive", name))
    return 0;
  zyrObject_setModified(atlas);
  return 1;
}

int Atlas_removeExplicitPrimitive(Atlas *atlas, const char *name) {
  if (lost(atlas, __func__))
    return 0;
  if (Atlas_reportError(atlas, RegionMap_removeExplicitPrimitive(atlas->m_primaryMap, name), __func__,
                        "RegionMap_removeExplicitPrimitive", name))
    return 0;
  zyrObject_setModified(atlas);
  return 1;
}

int Atlas_isExplicitPrimitive(Atlas *atlas, const char *name) {
  int flag = 0;
  if (atlas == nullptr)
    return 0;
  return !RegionStatus_isError(RegionMap_isExplicitPrimitive(atlas->m_primaryMap, name, &flag)) && flag == 1;
}

int Atlas_isPrimitive(Atlas *atlas, const char *name) {
  int flag = 0;
  if (atlas == nullptr)
    return 0;
  return !RegionStatus_isError(RegionAtlas_isPrimitive(atlas->m_regionAtlas, name, &flag)) && flag == 1;
}

int Atlas_isUsedPrimitive(Atlas *atlas, const char *name) {
  if (atlas == nullptr || atlas->m_primaryMap == nullptr)
    return 0;
  int found = 0;
  RegionNameRecord *record = nullptr;
  if (RegionStatus_isError(RegionMap_findName(atlas->m_primaryMap, name, &found, &record)) || !found ||
      record == nullptr)
    return 0;
  int defined = 0, referenced = 0;
  if (RegionStatus_isError(RegionNameRecord_isDefinedIn(record, atlas->m_primaryMap, &defined)) || defined)
    return 0;
  if (!RegionStatus_isError(RegionNameRecord_isReferencedIn(record, atlas->m_primaryMap, &referenced)) && referenced)
    return 1;
  return Atlas_isExplicitPrimitive(atlas, name);
}

int Atlas_getExplicitPrimitives(Atlas *atlas, int32_t *count, char ***names) {
  *count = 0;
  *names = nullptr;
  if (lost(atlas, __func__))
    return 0;
  char **list = nullptr;
  uint64_t n = 0;
  if (Atlas_reportError(atlas, RegionMap_getAllExplicitPrimitives(atlas->m_primaryMap, STRING_LIST_NAMES, &list, &n),
                        __func__, "RegionMap_getAllExplicitPrimitives", nullptr))
    return 0;
  int32_t imported = importNames(list, n, names);
  if (imported < 0)
    return 0;
  *count = imported;
  return 1;
}

int Atlas_resolveName(Atlas *atlas, const char *name, char ***names, int32_t *count) {
  *names = nullptr;
  *count = 0;
  if (lost(atlas, __func__))
    return 0;
  char **list = nullptr;
  uint64_t n = 0;
  RegionStatus *status = RegionAtlas_resolveName(atlas->m_regionAtlas, name, &list, &n);
  if (RegionStatus_isError(status)) {
    uint32_t code = RegionStatus_getCode(status);
    if (code >= 800000 && code <= 800003)
      return 1;
    Atlas_reportError(atlas, status, __func__, "RegionAtlas_resolveName", name);
    return 0;
  }
  int32_t imported = importNames(list, n, names);
  if (imported < 0)
    return 0;
  *count = imported;
  return 1;
}

int Atlas_getVSN(Atlas *atlas, int32_t mode, char **text) {
  *text = nullptr;
  if (lost(atlas, __func__))
    return 0;
  const char *written = nullptr;
  if (mode == 1) {
    if (Atlas_reportError(atlas, RegionAtlas_getVSN(atlas->m_regionAtlas, &written), __func__, "RegionAtlas_getVSN",
                          nullptr))
      return 0;
    *text = zyrCString_clone(written != nullptr ? written : "");
    RegionAtlas_freeVSN(atlas->m_regionAtlas);
    return 1;
  }
  if (mode != 2 && mode < 11)
    return 0;
  if (Atlas_reportError(atlas, RegionMap_getVSN(atlas->m_primaryMap, mode >= 11 ? 1 : 0, &written), __func__,
                        "RegionMap_getVSN", nullptr))
    return 0;
  *text = zyrCString_clone(written != nullptr ? written : "");
  RegionMap_freeVSN(atlas->m_primaryMap);
  return 1;
}

int Atlas_getActiveVSN(Atlas *atlas, const Dictionary *active, char **text) {
  *text = nullptr;
  if (lost(atlas, __func__))
    return 0;
  char **names = nullptr;
  int32_t noOfNames = Atlas_getCompositeNames(atlas, &names);
  if (noOfNames < 0)
    return 0;
  std::string out = "REGION MAP: Primary Map\n\n";
  for (int32_t i = 0; i < noOfNames; ++i) {
    char *key = nullptr;
    void *value = nullptr;
    if (!Dictionary_findKeyAndValue(active, names[i], &key, &value) || reinterpret_cast<intptr_t>(value) <= 0)
      continue;
    int32_t combination = 0, countA = 0, countB = 0;
    char **listA = nullptr, **listB = nullptr;
    if (!Atlas_getUserCompositeDefinition(atlas, names[i], &combination, &countA, &listA, &countB, &listB))
      continue;
    const int32_t allocatedA = countA, allocatedB = countB;
    keepActive(active, &countA, listA);
    keepActive(active, &countB, listB);
    bool write = countA > 0;
    char **shownA = listA;
    int32_t shownCountA = countA;
    if (!write && countB > 0 && combination == 5) {
      write = true;
      shownA = listB;
      shownCountA = countB;
      countB = 0;
      combination = 1;
    }
    if ((combination == 4 || combination == 5) && countB == 0)
      combination = 1;
    if (write) {
      out += "  REGION: ";
      out += names[i];
      out += "\n    Combination = ";
      out += combinationName(combination);
      if (combination == 4 || combination == 5) {
        out += "\n    Region List A = " + joined(shownCountA, shownA);
        out += "\n    Region List B = " + joined(countB, listB);
      } else {
        out += "\n    Region List = " + joined(shownCountA, shownA);
      }
      out += "\n  END # REGION\n\n";
    }
    zyrCStringArray_free(listA, static_cast<uint64_t>(allocatedA));
    zyrCStringArray_free(listB, static_cast<uint64_t>(allocatedB));
  }
  out += "END # REGION MAP\n";
  zyrCStringArray_free(names, static_cast<uint64_t>(noOfNames));
  char *buffer = static_cast<char *>(zyrMemory_allocateAndSet(static_cast<int64_t>(out.size() + 1), 0, __func__));
  std::memcpy(buffer, out.data(), out.size());
  *text = buffer;
  return 1;
}

void Atlas_print(const Atlas *atlas, FILE *stream) {
  const std::string line = "\n" + std::string(68, '-') + "\n";
  std::fputs(line.c_str(), stream);
  if (atlas->m_regionAtlas != nullptr)
    RegionAtlas_writeToFile(atlas->m_regionAtlas, stream);
  if (atlas->m_primaryMap != nullptr) {
    std::fprintf(stream, "\nPrimary map:\n------------\n");
    struct Listing {
      const char *label;
      RegionStatus *(*get)(RegionMap *, int32_t, ...);
    };
    const Listing listings[] = {{"Explicit primitives ", RegionMap_getAllExplicitPrimitives},
                                {"Implicit primitives ", RegionMap_getAllImplicitPrimitives},
                                {"Composite names     ", RegionMap_getAllCompositeNames}};
    for (const Listing &listing : listings) {
      char **names = nullptr;
      uint64_t count = 0;
      if (RegionStatus_isError(listing.get(atlas->m_primaryMap, STRING_LIST_NAMES, &names, &count))) {
        std::fprintf(stream, "%s : Unable to retrieve names\n", listing.label);
        continue;
      }
      std::fprintf(stream, "%s = %d\n", listing.label, static_cast<int>(count));
      for (uint64_t i = 0; i < count; ++i)
        std::fprintf(stream, "  \"%s\"\n", names[i]);
      if (names != nullptr)
        zyrCStringArray_free_external(names, count);
    }
  }
  std::fputs(line.c_str(), stream);
}
