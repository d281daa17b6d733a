#include "RegionAtlas.h"

#include "RegionDefinition.h"
#include "RegionExpansion.h"
#include "RegionMap.h"
#include "RegionMemory.h"
#include "RegionName.h"
#include "RegionNameDictionary.h"
#include "RegionNameRecord.h"
#include "RegionScope.h"
#include "RegionString.h"
#include "ResolutionCache.h"
#include "vsnapi.h"

#include <algorithm>
#include <cinttypes>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace {

const char* const kTypeWord = "Region Atlas";
const char* const kMapWord = "Region Map";
const char* const kNameWord = "Region";
const char* const kDefinitionWord = "Region Definition";

char s_message[REGION_MESSAGE_SIZE];

int s_selectiveInvalidation = 1;

// Above this many ids in its lists the cache is emptied rather than searched.
const uint64_t kSearchedCacheIds = 4096;

RegionStatus* invalidAtlas() { return RegionStatus_failf(s_message, sizeof(s_message), RS_INVALID_ATLAS, "Invalid %s.", kTypeWord); }

RegionStatus* invalidMap() { return RegionStatus_failf(s_message, sizeof(s_message), RS_INVALID_MAP, "Invalid %s.", kMapWord); }

RegionStatus* invalidType() { return RegionStatus_failf(s_message, sizeof(s_message), RS_INVALID_MAP_TYPE, "Invalid %s type.", kMapWord); }

bool validType(uint32_t type) { return type == REGION_MAP_ZYR || type == REGION_MAP_SECONDARY || type == REGION_MAP_PRIMARY; }

RegionMap** slotOf(RegionAtlas* atlas, uint32_t type) {
  if (type == REGION_MAP_ZYR) return &atlas->m_zyrMap;
  if (type == REGION_MAP_PRIMARY) return &atlas->m_primaryMap;
  if (type == REGION_MAP_SECONDARY) return &atlas->m_secondaryMap;
  return nullptr;
}

RegionStatus* emptySlot(uint32_t type) {
  if (type == REGION_MAP_ZYR)
    return RegionStatus_failf(s_message, sizeof(s_message), RS_NO_ZYR_MAP, "ZYR %s doesn't exist in the %s.", kMapWord, kTypeWord);
  if (type == REGION_MAP_PRIMARY)
    return RegionStatus_failf(s_message, sizeof(s_message), RS_NO_PRIMARY_MAP, "Primary %s doesn't exist in the %s.", kMapWord, kTypeWord);
  return RegionStatus_failf(s_message, sizeof(s_message), RS_NO_SECONDARY_MAP, "Secondary %s doesn't exist in the %s.", kMapWord, kTypeWord);
}

const char* nameOfId(uint64_t id) {
  const char* name = nullptr;
  RegionNameDictionary_name(id, &name);
  return name ? name : "";
}

RegionNameRecord* tableRecord(RegionHashTable* table, uint64_t id) {
  if (!table || table->m_count == 0) return nullptr;
  return static_cast<RegionNameRecord*>(RegionHashTable_find(table, &id, nullptr));
}

std::vector<RegionNameRecord*> recordsOf(RegionHashTable* table) {
  std::vector<RegionNameRecord*> records;
  records.reserve(table->m_count);
  for (uint64_t b = 0; b < table->m_size && records.size() < table->m_count; ++b) {
    for (RegionHashNode* n = table->m_buckets[b]; n; n = n->m_next) records.push_back(static_cast<RegionNameRecord*>(n->m_entry));
  }
  return records;
}

RegionStatus* resolver(uint64_t id, void* context, StringList* result) {
  return RegionId_expandInAtlas(id, static_cast<RegionAtlas*>(context), result);
}

RegionMap* highestMap(const RegionAtlas* atlas) {
  if (atlas->m_secondaryMap) return atlas->m_secondaryMap;
  if (atlas->m_primaryMap) return atlas->m_primaryMap;
  return atlas->m_zyrMap;
}

// The exported names of the highest map (an empty list when there is none).
RegionStatus* exportedList(RegionAtlas* atlas, StringList** list) {
  *list = nullptr;
  RegionMap* top = highestMap(atlas);
  if (!top) return StringList_new(list, 0);
  return RegionMap_getExportedNames(top, STRING_LIST_COPY, list);
}

RegionStatus* handOut(StringList* list, int32_t mode, va_list outputs, const char* listWords, uint32_t missingCode,
                      const char* missing) {
  RegionStatus* status = StringList_vcontents(list && list->m_count ? list : nullptr, mode, outputs);
  if (list) StringList_delete(&list);
  if (RegionStatus_getCode(status) == RS_NO_MEMORY) return RegionStatus_outOfMemory(listWords);
  if (RegionStatus_getCode(status) == RS_BAD_POINTER) return RegionStatus_fail(missingCode, missing);
  return status;
}

// The exported names kept by keep(record or NULL, id).
template <class Keep>
RegionStatus* filteredExports(RegionAtlas* atlas, StringList** list, const char* listWords, Keep keep) {
  *list = nullptr;
  StringList* exported = nullptr;
  RegionStatus* status = exportedList(atlas, &exported);
  if (RegionStatus_isError(status)) return status;
  std::vector<uint64_t> ids;
  for (uint64_t i = 0; exported && i < exported->m_count; ++i) {
    uint64_t id = exported->m_items[i];
    if (keep(RegionAtlas_record(atlas, id))) ids.push_back(id);
  }
  if (exported) StringList_delete(&exported);
  status = StringList_newFromIds(list, ids.data(), ids.size());
  if (RegionStatus_isError(status)) return RegionStatus_outOfMemory(listWords);
  return status;
}

template <class Build>
RegionStatus* listOperation(RegionAtlas* atlas, int32_t mode, va_list outputs, const char* listWords, uint32_t missingCode,
                            const char* missing, Build build) {
  if (!atlas) return invalidAtlas();
  StringList* list = nullptr;
  RegionStatus* status = RegionStatus_success();
  try {
    status = build(&list);
  } catch (const std::bad_alloc&) {
    status = RegionStatus_outOfMemory(listWords);
  }
  if (RegionStatus_isError(status)) {
    if (list) StringList_delete(&list);
    return status;
  }
  return handOut(list, mode, outputs, listWords, missingCode, missing);
}

// A list operation handing out the exported names kept by keep.
template <class Keep>
RegionStatus* filteredListOperation(RegionAtlas* atlas, int32_t mode, va_list outputs, const char* listWords,
                                    const char* missing, Keep keep) {
  return listOperation(atlas, mode, outputs, listWords, RS_BAD_POINTER, missing,
                       [&](StringList** l) { return filteredExports(atlas, l, listWords, keep); });
}

bool definedIn(const RegionMap* map, uint64_t id) { return map && RegionMap_definedRecord(map, id); }

// Step 4 of adding a map: its composites against the names the atlas knows.
RegionStatus* checkComposites(RegionAtlas* atlas, RegionMap* map, uint32_t type) {
  // An atlas that knows no name has nothing to check against.
  if (atlas->m_names->m_count == 0) return RegionStatus_success();
  for (RegionNameRecord* r : recordsOf(map->m_definitions)) {
    RegionNameRecord* known = RegionAtlas_record(atlas, r->m_id);
    if (!known) continue;
    const char* name = nameOfId(r->m_id);
    if (known->m_definition) {
      RegionStatus* status = RegionStatus_failf(s_message, sizeof(s_message), RS_DEFINED_IN_ATLAS, "%s already defines %s (%s) that is also defined in %s.",
                                                kTypeWord, kNameWord, name, kMapWord);
      char detail[REGION_MESSAGE_SIZE];
      snprintf(detail, sizeof(detail), "Cannot add %s to %s (%s)", kMapWord, kTypeWord, atlas->m_name);
      RegionStatus_appendDetail(status, detail);
      return status;
    }
    int referenced = 0;
    RegionNameRecord_isReferenced(known, &referenced);
    if (type == REGION_MAP_SECONDARY && (atlas->m_zyrMap || atlas->m_primaryMap) && referenced)
      return RegionStatus_failf(s_message, sizeof(s_message), RS_REFERENCED_LOWER, "Lower %s already uses %s (%s) that is defined in Secondary %s.",
                                kMapWord, kNameWord, name, kMapWord);
    if (type == REGION_MAP_PRIMARY && atlas->m_zyrMap && RegionMap_holdsRecord(atlas->m_zyrMap, known))
      return RegionStatus_failf(s_message, sizeof(s_message), RS_REFERENCED_LOWER, "ZYR %s already uses %s (%s) that is defined in Primary %s.",
                                kMapWord, kNameWord, name, kMapWord);
  }
  return RegionStatus_success();
}

// Step 5: its primitives against the maps above it.
RegionStatus* checkPrimitives(RegionAtlas* atlas, RegionMap* map, uint32_t type) {
  if (type == REGION_MAP_SECONDARY) return RegionStatus_success();
  if (!atlas->m_secondaryMap && (type != REGION_MAP_ZYR || !atlas->m_primaryMap)) return RegionStatus_success();
  // (Whether the map defines the name itself is asked last: mostly no map stands above.)
  for (RegionNameRecord* r : recordsOf(map->m_names)) {
    bool above = definedIn(atlas->m_secondaryMap, r->m_id) || (type == REGION_MAP_ZYR && definedIn(atlas->m_primaryMap, r->m_id));
    if (above && !RegionMap_definedRecord(map, r->m_id))
      return RegionStatus_failf(s_message, sizeof(s_message), RS_DEFINED_HIGHER, "Primitive (%s) in %s is alreaady defined in a higher %s",
                                nameOfId(r->m_id), kMapWord, kMapWord);
  }
  return RegionStatus_success();
}

} // namespace

RegionNameRecord* RegionAtlas_record(const RegionAtlas* atlas, uint64_t id) { return atlas ? tableRecord(atlas->m_names, id) : nullptr; }

RegionMap* RegionAtlas_slot(const RegionAtlas* atlas, uint32_t type) {
  if (!atlas) return nullptr;
  if (type == REGION_MAP_ZYR) return atlas->m_zyrMap;
  if (type == REGION_MAP_PRIMARY) return atlas->m_primaryMap;
  if (type == REGION_MAP_SECONDARY) return atlas->m_secondaryMap;
  return nullptr;
}

RegionMap* RegionAtlas_lowerMap(const RegionAtlas* atlas, const RegionMap* map) {
  if (!atlas || !map) return nullptr;
  if (map->m_type == REGION_MAP_PRIMARY) return atlas->m_zyrMap;
  if (map->m_type == REGION_MAP_SECONDARY) return atlas->m_primaryMap ? atlas->m_primaryMap : atlas->m_zyrMap;
  return nullptr;
}

RegionMap* RegionAtlas_higherMap(const RegionAtlas* atlas, const RegionMap* map) {
  if (!atlas || !map) return nullptr;
  if (map->m_type == REGION_MAP_ZYR) return atlas->m_primaryMap ? atlas->m_primaryMap : atlas->m_secondaryMap;
  if (map->m_type == REGION_MAP_PRIMARY) return atlas->m_secondaryMap;
  return nullptr;
}

int RegionAtlas_mapsHoldRecord(const RegionAtlas* atlas, const RegionNameRecord* record) {
  if (!atlas) return 0;
  for (const RegionMap* m : {atlas->m_zyrMap, atlas->m_primaryMap, atlas->m_secondaryMap}) {
    if (m && m->m_atlas == atlas && RegionMap_holdsRecord(m, record)) return 1;
  }
  return 0;
}

void RegionAtlas_notify(const RegionAtlas* atlas, int operation, const char* name) {
  if (atlas && atlas->m_nameManager && atlas->m_nameManagerFunction)
    atlas->m_nameManagerFunction(atlas->m_nameManager, operation, name);
}

RegionStatus* RegionAtlas_new(RegionAtlas** atlas, const char* name) {
  if (!atlas) return RegionStatus_fail(RS_BAD_POINTER, "Invalid object pointer - cannot create new object");
  *atlas = nullptr;
  RegionStatus* status = nullptr;
  if (RegionName_isBlank(name, &status)) return status;
  RegionAtlas* a = static_cast<RegionAtlas*>(RegionMemory_allocZeroed(1, sizeof(RegionAtlas)));
  if (!a) return RegionStatus_outOfMemory(kTypeWord);
  a->m_name = RegionMemory_strdup(name);
  status = a->m_name ? RegionStatus_success() : RegionStatus_outOfMemory(kTypeWord);
  if (!RegionStatus_isError(status))
    status = RegionHashTable_new(&a->m_names, REGION_ATLAS_BUCKETS, RegionHashTable_hashId, RegionHashTable_compareIds);
  if (!RegionStatus_isError(status)) status = ResolutionCache_new(&a->m_cache, REGION_ATLAS_BUCKETS, a, resolver);
  if (!RegionStatus_isError(status)) status = RegionNameRecord_new(&a->m_probe, "DummyName");
  if (RegionStatus_isError(status)) {
    if (a->m_cache) ResolutionCache_delete(&a->m_cache);
    RegionHashTable_delete(&a->m_names);
    RegionMemory_free(a->m_name);
    RegionMemory_free(a);
    return RegionStatus_outOfMemory(kTypeWord);
  }
  *atlas = a;
  return RegionStatus_success();
}

RegionStatus* RegionAtlas_delete(RegionAtlas** atlas, int deleteMaps) {
  if (!atlas || !*atlas) return invalidAtlas();
  RegionAtlas* a = *atlas;
  for (uint32_t type : {uint32_t(REGION_MAP_ZYR), uint32_t(REGION_MAP_PRIMARY), uint32_t(REGION_MAP_SECONDARY)}) {
    RegionMap* map = RegionAtlas_slot(a, type);
    if (!map) continue;
    RegionAtlas_removeMap(a, map);
    if (deleteMaps == 1) RegionMap_delete(&map, 1);
  }
  // Nothing should be left; a record still here belongs to nobody else.
  for (RegionNameRecord* r : recordsOf(a->m_names)) {
    RegionHashTable_remove(a->m_names, &r->m_id);
    if (!r->m_definition) RegionNameRecord_delete(&r);
  }
  RegionNameRecord_delete(&a->m_probe);
  ResolutionCache_delete(&a->m_cache);
  RegionHashTable_delete(&a->m_names);
  if (a->m_vsnText) String_delete(a->m_vsnText, 1);
  free(a->m_defined);
  RegionMemory_free(a->m_name);
  RegionMemory_free(a);
  *atlas = nullptr;
  return RegionStatus_success();
}

RegionStatus* RegionAtlas_setName(RegionAtlas* atlas, const char* name) {
  if (!atlas) return invalidAtlas();
  RegionStatus* status = nullptr;
  if (RegionName_isBlank(name, &status)) return status;
  char* copy = RegionMemory_strdup(name);
  if (!copy) return RegionStatus_outOfMemory("name");
  RegionMemory_free(atlas->m_name);
  atlas->m_name = copy;
  return RegionStatus_success();
}

RegionStatus* RegionAtlas_getName(const RegionAtlas* atlas, char** name) {
  if (!name)
    return RegionStatus_failf(s_message, sizeof(s_message), RS_BAD_POINTER, "Invalid object pointer - cannot return %s name.", kTypeWord);
  if (*name) {
    *name = nullptr;
    return RegionStatus_success();
  }
  if (!atlas) return invalidAtlas();
  *name = RegionMemory_strdup(atlas->m_name);
  if (!*name) return RegionStatus_outOfMemory("name");
  return RegionStatus_success();
}

RegionStatus* RegionAtlas_setNameManager(RegionAtlas* atlas, void* object, RegionNameHook function) {
  if (!atlas) return invalidAtlas();
  if (!object || !function) return RegionStatus_fail(RS_INVALID_NAME_MANAGER, "Name manager object is invalid");
  atlas->m_nameManager = object;
  atlas->m_nameManagerFunction = function;
  return RegionStatus_success();
}

int RegionAtlas_getNameManager(const RegionAtlas* atlas, void** object, RegionNameHook* function) {
  if (!atlas || !atlas->m_nameManager || !atlas->m_nameManagerFunction) return 0;
  if (object) *object = atlas->m_nameManager;
  if (function) *function = atlas->m_nameManagerFunction;
  return 1;
}

RegionStatus* RegionAtlas_addMap(RegionAtlas* atlas, RegionMap* map, uint32_t type) {
  if (!atlas) return invalidAtlas();
  if (!map) return invalidMap();
  if (!validType(type)) return invalidType();
  RegionStatus* status = RegionStatus_success();
  if (map->m_atlas) {
    status = RegionStatus_failf(s_message, sizeof(s_message), RS_MAP_IN_ATLAS, "%s is already in a %s", kMapWord, kTypeWord);
  } else if (RegionMap** slot = slotOf(atlas, type); *slot) {
    if (type == REGION_MAP_ZYR)
      status = RegionStatus_failf(s_message, sizeof(s_message), RS_ZYR_MAP_EXISTS, "%s already contains a ZYR %s.", kTypeWord, kMapWord);
    else if (type == REGION_MAP_PRIMARY)
      status = RegionStatus_failf(s_message, sizeof(s_message), RS_PRIMARY_MAP_EXISTS, "%s already contains a primary %s.", kTypeWord, kMapWord);
    else
      status = RegionStatus_failf(s_message, sizeof(s_message), RS_SECONDARY_MAP_EXISTS, "%s already contains a secondary %s.", kTypeWord, kMapWord);
  } else {
    try {
      status = checkComposites(atlas, map, type);
      if (!RegionStatus_isError(status)) status = checkPrimitives(atlas, map, type);
    } catch (const std::bad_alloc&) {
      status = RegionStatus_outOfMemory(kMapWord);
    }
    if (!RegionStatus_isError(status)) {
      *slot = map;
      map->m_type = type;
      status = RegionMap_enterAtlas(map, atlas, type);
      // A join that could not be undone leaves the map in its slot, as far as it got.
      if (RegionStatus_isError(status) && !map->m_atlas) *slot = nullptr;
    }
  }
  RegionAtlas_clearCache(atlas);
  return status;
}

RegionStatus* RegionAtlas_removeMap(RegionAtlas* atlas, RegionMap* map) {
  if (!atlas) return invalidAtlas();
  if (!map) return invalidMap();
  uint32_t type = 0;
  if (atlas->m_zyrMap == map) type = REGION_MAP_ZYR;
  else if (atlas->m_secondaryMap == map) type = REGION_MAP_SECONDARY;
  else if (atlas->m_primaryMap == map) type = REGION_MAP_PRIMARY;
  if (!type || map->m_atlas != atlas)
    return RegionStatus_failf(s_message, sizeof(s_message), RS_MAP_NOT_IN_ATLAS, "%s is not present in %s.", kMapWord, kTypeWord);
  RegionStatus* status = RegionMap_exitAtlas(map);
  if (!map->m_atlas) *slotOf(atlas, type) = nullptr;
  RegionAtlas_clearCache(atlas);
  return status;
}

RegionStatus* RegionAtlas_getMap(const RegionAtlas* atlas, uint32_t type, RegionMap** map) {
  if (!map) return RegionStatus_failf(s_message, sizeof(s_message), RS_BAD_POINTER, "Invalid object pointer - cannot create return %s", kMapWord);
  *map = nullptr;
  if (!atlas) return invalidAtlas();
  if (!validType(type)) return invalidType();
  RegionMap* m = RegionAtlas_slot(atlas, type);
  if (!m) return emptySlot(type);
  *map = m;
  return RegionStatus_success();
}

RegionStatus* RegionAtlas_resolveName(RegionAtlas* atlas, const char* name, char*** names, uint64_t* count) {
  if (!names || !count) return RegionStatus_fail(RS_BAD_POINTER, "Invalid object pointer - cannot return primitives");
  *names = nullptr;
  *count = 0;
  if (!atlas) return invalidAtlas();
  RegionStatus* status = nullptr;
  if (RegionName_isBlank(name, &status)) return status;
  uint64_t id = 0;
  if (RegionStatus_isError(RegionNameDictionary_lookup(name, &id)))
    return RegionStatus_failf(s_message, sizeof(s_message), RS_NOT_FOUND, "%s is not defined in the %s", kNameWord, kTypeWord);
  StringList* primitives = nullptr;
  status = StringList_new(&primitives, 0);
  if (RegionStatus_isError(status)) return RegionStatus_outOfMemory("primitives");
  status = ResolutionCache_resolve(atlas->m_cache, id, primitives);
  if (!RegionStatus_isError(status)) status = StringList_contents(primitives, STRING_LIST_NAMES, names, count);
  StringList_delete(&primitives);
  if (RegionStatus_getCode(status) == RS_NO_MEMORY) return RegionStatus_outOfMemory("primitives");
  return status;
}

RegionStatus* RegionAtlas_resolveDefinition(RegionAtlas* atlas, RegionDefinition* definition, char*** names, uint64_t* count) {
  if (!names || !count) return RegionStatus_fail(RS_BAD_POINTER, "Invalid object pointer - cannot return components");
  *names = nullptr;
  *count = 0;
  if (!atlas) return invalidAtlas();
  StringList* primitives = nullptr;
  RegionStatus* status = StringList_new(&primitives, 0);
  if (RegionStatus_isError(status)) return RegionStatus_outOfMemory("resolved primitives");
  status = RegionDefinition_expandInAtlas(definition, atlas, primitives);
  if (!RegionStatus_isError(status)) status = StringList_contents(primitives, STRING_LIST_NAMES, names, count);
  StringList_delete(&primitives);
  if (RegionStatus_getCode(status) == RS_NO_MEMORY) return RegionStatus_outOfMemory("resolved primitives");
  return status;
}

RegionStatus* RegionAtlas_isPrimitive(RegionAtlas* atlas, const char* name, int* flag) {
  if (!flag)
    return RegionStatus_failf(s_message, sizeof(s_message), RS_BAD_POINTER, "Cannot return whether the %s is primitive", kNameWord);
  *flag = 1;
  if (!atlas) return invalidAtlas();
  uint64_t id = 0;
  if (RegionName_isBlank(name, nullptr) || RegionStatus_isError(RegionNameDictionary_lookup(name, &id))) return RegionStatus_success();
  RegionNameRecord* r = RegionAtlas_record(atlas, id);
  if (r) RegionNameRecord_isPrimitive(r, flag);
  return RegionStatus_success();
}

RegionStatus* RegionAtlas_findName(RegionAtlas* atlas, const char* name, int* found, RegionNameRecord** record) {
  if (record) *record = nullptr;
  if (!found) return RegionStatus_fail(RS_BAD_POINTER, "Cannot return whether the name is known.");
  *found = 0;
  if (!atlas) return invalidAtlas();
  RegionStatus* status = nullptr;
  if (RegionName_isBlank(name, &status)) return status;
  uint64_t id = 0;
  if (RegionStatus_isError(RegionNameDictionary_lookup(name, &id))) return RegionStatus_success();
  RegionNameRecord* r = RegionAtlas_record(atlas, id);
  *found = r ? 1 : 0;
  if (record) *record = r;
  return RegionStatus_success();
}

RegionStatus* RegionAtlas_regionDefinitionFromId(RegionAtlas* atlas, uint64_t id, RegionDefinition** definition) {
  if (!definition)
    return RegionStatus_failf(s_message, sizeof(s_message), RS_BAD_POINTER, "Cannot return %s for %s", kDefinitionWord, kNameWord);
  *definition = nullptr;
  if (!atlas) return invalidAtlas();
  RegionNameRecord* r = RegionAtlas_record(atlas, id);
  if (!r || !r->m_definition || !r->m_definition->m_map)
    return RegionStatus_failf(s_message, sizeof(s_message), RS_NOT_DEFINED, "Cannot locate %s (%" PRIu64 ") in %s,", kDefinitionWord, id,
                              kTypeWord);
  *definition = r->m_definition;
  return RegionStatus_success();
}

RegionStatus* RegionAtlas_regionDefinitionFromName(RegionAtlas* atlas, const char* name, RegionDefinition** definition) {
  if (!definition)
    return RegionStatus_failf(s_message, sizeof(s_message), RS_BAD_POINTER, "Cannot return %s for %s", kDefinitionWord, kNameWord);
  *definition = nullptr;
  if (!atlas) return invalidAtlas();
  RegionStatus* status = nullptr;
  if (RegionName_isBlank(name, &status)) return status;
  uint64_t id = 0;
  RegionNameRecord* r = RegionStatus_isError(RegionNameDictionary_lookup(name, &id)) ? nullptr : RegionAtlas_record(atlas, id);
  if (!r || !r->m_definition || !r->m_definition->m_map)
    return RegionStatus_failf(s_message, sizeof(s_message), RS_NOT_DEFINED, "Cannot locate %s (%s) in %s,", kDefinitionWord, name, kTypeWord);
  *definition = r->m_definition;
  return RegionStatus_success();
}

RegionStatus* RegionAtlas_getExportedNames(RegionAtlas* atlas, int32_t mode, ...) {
  va_list outputs;
  va_start(outputs, mode);
  RegionStatus* status = listOperation(atlas, mode, outputs, "list of exported names", RS_BAD_CALL, "Unable to return exported names.",
                                       [&](StringList** l) { return exportedList(atlas, l); });
  va_end(outputs);
  return status;
}

RegionStatus* RegionAtlas_getMapExportedNames(RegionAtlas* atlas, uint32_t type, int32_t mode, ...) {
  va_list outputs;
  va_start(outputs, mode);
  RegionStatus* status = listOperation(atlas, mode, outputs, "list of exported names", RS_BAD_POINTER, "Cannot return list of exported names",
                                       [&](StringList** l) {
                                         RegionMap* map = nullptr;
                                         RegionStatus* s = RegionAtlas_getMap(atlas, type, &map);
                                         if (RegionStatus_isError(s)) return s;
                                         return RegionMap_getExportedNames(map, STRING_LIST_COPY, l);
                                       });
  va_end(outputs);
  return status;
}

RegionStatus* RegionAtlas_getAllPrimitives(RegionAtlas* atlas, int32_t mode, ...) {
  va_list outputs;
  va_start(outputs, mode);
  RegionStatus* status = filteredListOperation(atlas, mode, outputs, "list of primitives", "Unable to return list of primitives",
                                               [](RegionNameRecord* r) { return !r || !r->m_definition; });
  va_end(outputs);
  return status;
}

RegionStatus* RegionAtlas_getAllCompositeNames(RegionAtlas* atlas, int32_t mode, ...) {
  va_list outputs;
  va_start(outputs, mode);
  RegionStatus* status = filteredListOperation(atlas, mode, outputs, "list of composites", "Unable to return list of composites",
                                               [](RegionNameRecord* r) { return r && r->m_definition; });
  va_end(outputs);
  return status;
}

RegionStatus* RegionAtlas_getTaggedNames(RegionAtlas* atlas, const char* tag, int32_t mode, ...) {
  va_list outputs;
  va_start(outputs, mode);
  RegionStatus* status = filteredListOperation(atlas, mode, outputs, "list of tagged names", "Unable to return list of tagged names",
                                               [&](RegionNameRecord* r) {
                                                 int tagged = 0;
                                                 if (r && r->m_definition) RegionDefinition_taggedWith(r->m_definition, tag, &tagged);
                                                 return tagged != 0;
                                               });
  va_end(outputs);
  return status;
}

RegionStatus* RegionAtlas_appendExportedNamesExcept(RegionAtlas* atlas, StringList* exclusion, StringList* target) {
  if (!atlas) return invalidAtlas();
  if (!target) return RegionStatus_fail(RS_INVALID_STRING_LIST, "Invalid String List.");
  RegionMap* top = highestMap(atlas);
  if (!top) return RegionStatus_success();
  return RegionMap_appendExportedNamesExcept(top, exclusion, target);
}

RegionStatus* RegionAtlas_getNameCount(RegionAtlas* atlas, uint64_t* count) {
  if (!count) return RegionStatus_fail(RS_BAD_POINTER, "Invalid object pointer - cannot return count");
  *count = 0;
  if (!atlas) return invalidAtlas();
  *count = atlas->m_names->m_count;
  return RegionStatus_success();
}

namespace {

struct Placed {
  const char* m_name;
  RegionDefinition* m_definition;
  bool m_placed;
};

RegionStatus* orderByTags(RegionAtlas* atlas, const char* tagOrder, const char* untaggedWord, const char* restWord, StringList** list) {
  *list = nullptr;
  StringList* composites = nullptr;
  RegionStatus* status = filteredExports(atlas, &composites, "ordered names", [](RegionNameRecord* r) { return r && r->m_definition; });
  if (RegionStatus_isError(status)) return status;
  std::vector<Placed> names;
  for (uint64_t i = 0; i < composites->m_count; ++i) {
    RegionNameRecord* r = RegionAtlas_record(atlas, composites->m_items[i]);
    names.push_back({nameOfId(composites->m_items[i]), r ? r->m_definition : nullptr, false});
  }
  StringList_delete(&composites);
  std::sort(names.begin(), names.end(), [](const Placed& a, const Placed& b) { return strcmp(a.m_name, b.m_name) < 0; });
  char** tags = nullptr;
  int tagCount = 0;
  if (!tagOrder || splitStringString(tagOrder, &tags, &tagCount)) {
    tags = nullptr;
    tagCount = 0;
  }
  std::vector<size_t> order;  // indices into names, in the order placed
  bool hasRest = false;
  size_t restAt = 0;
  for (int t = 0; t < tagCount && order.size() < names.size(); ++t) {
    const char* tag = tags[t];
    if (restWord && *restWord && strcmp(tag, restWord) == 0) {
      hasRest = true;
      restAt = order.size();
      continue;
    }
    bool untagged = untaggedWord && *untaggedWord && strcmp(tag, untaggedWord) == 0;
    for (size_t i = 0; i < names.size(); ++i) {
      Placed& p = names[i];
      if (p.m_placed || !p.m_definition) continue;
      int flag = 0;
      if (untagged) {
        RegionDefinition_isTagged(p.m_definition, &flag);
        flag = !flag;
      } else {
        RegionDefinition_taggedWith(p.m_definition, tag, &flag);
      }
      if (flag) {
        p.m_placed = true;
        order.push_back(i);
      }
    }
  }
  freeStringArray(tags);
  if (hasRest && order.size() < names.size()) {
    std::vector<size_t> rest;
    for (size_t i = 0; i < names.size(); ++i) {
      if (!names[i].m_placed && names[i].m_definition) rest.push_back(i);
    }
    order.insert(order.begin() + long(restAt), rest.begin(), rest.end());
    for (size_t i : order) fprintf(stderr, "%s\n", names[i].m_name);
  }
  std::vector<uint64_t> ids;
  for (size_t i : order) ids.push_back(RegionDefinition_id(names[i].m_definition));
  status = StringList_newFromIds(list, ids.data(), ids.size());
  if (RegionStatus_isError(status)) return RegionStatus_outOfMemory("ordered names");
  return status;
}

} // namespace

RegionStatus* RegionAtlas_namesByTagOrder(RegionAtlas* atlas, const char* tagOrder, const char* untaggedWord, const char* restWord,
                                          int32_t mode, ...) {
  va_list outputs;
  va_start(outputs, mode);
  RegionStatus* status = listOperation(atlas, mode, outputs, "ordered names", RS_BAD_CALL, "Unable to return tagged regions.",
                                       [&](StringList** l) { return orderByTags(atlas, tagOrder, untaggedWord, restWord, l); });
  va_end(outputs);
  return status;
}

RegionStatus* RegionAtlas_addName(RegionAtlas* atlas, RegionNameRecord* record) {
  if (!atlas) return invalidAtlas();
  if (!record) return RegionStatus_failf(s_message, sizeof(s_message), RS_INVALID_NAME, "Invalid %s name.", kNameWord);
  RegionStatus* status = RegionStatus_success();
  if (RegionAtlas_record(atlas, record->m_id)) status = RegionStatus_fail(RS_ALREADY_DEFINED, nullptr);
  else status = RegionHashTable_insert(atlas->m_names, record);
  RegionAtlas_clearCache(atlas);
  return status;
}

RegionStatus* RegionAtlas_removeName(RegionAtlas* atlas, RegionNameRecord* record) {
  if (!atlas) return invalidAtlas();
  if (!record) return RegionStatus_failf(s_message, sizeof(s_message), RS_INVALID_NAME, "Invalid %s name.", kNameWord);
  if (RegionAtlas_record(atlas, record->m_id) == record) RegionHashTable_remove(atlas->m_names, &record->m_id);
  RegionAtlas_clearCache(atlas);
  return RegionStatus_success();
}

RegionStatus* RegionAtlas_replaceName(RegionAtlas* atlas, RegionNameRecord* oldRecord, RegionNameRecord* newRecord) {
  if (!atlas) return invalidAtlas();
  if (!oldRecord || !newRecord || oldRecord->m_id != newRecord->m_id)
    return RegionStatus_failf(s_message, sizeof(s_message), RS_INVALID_NAME, "Invalid %s name.", kNameWord);
  std::vector<RegionHashTable*> tables = {atlas->m_names};
  for (RegionMap* m : {atlas->m_zyrMap, atlas->m_primaryMap, atlas->m_secondaryMap}) {
    if (!m) continue;
    tables.push_back(m->m_definitions);
    tables.push_back(m->m_names);
  }
  RegionStatus* status = RegionStatus_success();
  for (RegionHashTable* table : tables) {
    if (tableRecord(table, oldRecord->m_id) != oldRecord) continue;
    RegionHashTable_remove(table, &oldRecord->m_id);
    RegionStatus* s = RegionHashTable_insert(table, newRecord);
    if (RegionStatus_isError(s)) status = s;
  }
  RegionAtlas_clearCache(atlas);
  return status;
}

void RegionAtlas_noteDefined(RegionAtlas* atlas, uint64_t id) {
  if (!atlas || atlas->m_definedLost) return;
  const uint64_t word = id >> 6;
  if (word >= atlas->m_definedWords) {
    // Room for the ids the dictionary has handed out, with some to spare.
    uint64_t words = (RegionNameDictionary_count() >> 6) + 1;
    if (words <= word) words = word + 1;
    words += words / 4;
    void* grown = words < (uint64_t(1) << 40) ? realloc(atlas->m_defined, words * sizeof(uint64_t)) : nullptr;
    if (!grown) {
      atlas->m_definedLost = 1;
      return;
    }
    atlas->m_defined = static_cast<uint64_t*>(grown);
    memset(atlas->m_defined + atlas->m_definedWords, 0, (words - atlas->m_definedWords) * sizeof(uint64_t));
    atlas->m_definedWords = words;
  }
  atlas->m_defined[word] |= UINT64_C(1) << (id & 63);
}

void RegionAtlas_forgetDefined(RegionAtlas* atlas) {
  if (!atlas) return;
  if (atlas->m_defined) memset(atlas->m_defined, 0, atlas->m_definedWords * sizeof(uint64_t));
  atlas->m_definedLost = 0;
}

RegionStatus* RegionAtlas_clearCache(RegionAtlas* atlas) {
  if (!atlas) return invalidAtlas();
  return ResolutionCache_invalidate(atlas->m_cache);
}

// A name that gets a definition changes what an expansion makes of that one name only: every
// other name keeps its record, its definition and its bit, so an expansion that never met the
// name goes exactly as before. An entry the atlas's resolver made by itself holds every name
// its expansion met as a primitive (Unions, Aliases and Intersections of one pour all of them
// into the result, and the cached lists they take in are made the same way), so an entry whose
// list lacks the name stays right. The sets of Intersections and (Symmetric) Differences leave
// names out and are the ones stored through ResolutionCache_store: after one of those, or when
// the lists are too long to search, the whole cache goes.
RegionStatus* RegionAtlas_nameDefined(RegionAtlas* atlas, uint64_t id) {
  if (!atlas) return invalidAtlas();
  ResolutionCache* cache = atlas->m_cache;
  if (!s_selectiveInvalidation || cache->m_stored) return ResolutionCache_invalidate(cache);
  return ResolutionCache_invalidateHolding(cache, id, kSearchedCacheIds);
}

void RegionAtlas_setSelectiveInvalidation(int on) { s_selectiveInvalidation = on ? 1 : 0; }

void RegionAtlas_print(const RegionAtlas* atlas, FILE* stream) {
  if (!stream) return;
  if (!atlas) {
    fputs("Region Atlas: none\n", stream);
    return;
  }
  fprintf(stream, "Region Atlas \"%s\": %" PRIu64 " names, %" PRIu64 " cached\n", atlas->m_name ? atlas->m_name : "",
          atlas->m_names->m_count, atlas->m_cache ? atlas->m_cache->m_entryCount : 0);
  for (const RegionMap* m : {atlas->m_secondaryMap, atlas->m_primaryMap, atlas->m_zyrMap}) {
    if (m) {
      fputs("  ", stream);
      RegionMap_print(m, stream);
    }
  }
}
