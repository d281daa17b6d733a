#include "RegionMap.h"

#include "RegionAtlas.h"
#include "RegionAtlasText.h"
#include "RegionDefinition.h"
#include "RegionMemory.h"
#include "RegionName.h"
#include "RegionNameDictionary.h"
#include "RegionNameRecord.h"
#include "RegionScope.h"
#include "RegionString.h"
#include "ResolutionCache.h"

#include <cinttypes>
#include <cstring>
#include <algorithm>
#include <new>
#include <vector>

// How names are shared. In an atlas each name has one record, held by the atlas's table and by
// the tables of every map that defines, uses, declares or inherits it. A map inherits exactly
// the names its next lower map holds; every change of what a map holds is passed up the slots,
// so the inherited names do not depend on the order in which maps and definitions arrived. A
// record no table holds any more is freed, unless a free definition owns it.

namespace {

const char* const kTypeWord = "Region Map";
const char* const kAtlasWord = "Region Atlas";
const char* const kNameWord = "Region";
const char* const kDefinitionWord = "Region Definition";

char s_message[REGION_MESSAGE_SIZE];

RegionStatus* invalidMap() { return RegionStatus_failf(s_message, sizeof(s_message), RS_INVALID_MAP, "Invalid %s.", kTypeWord); }

RegionStatus* invalidDefinition() {
  return RegionStatus_failf(s_message, sizeof(s_message), RS_INVALID_DEFINITION, "Invalid %s.", kDefinitionWord);
}

RegionNameRecord* tableRecord(RegionHashTable* table, uint64_t id) {
  if (!table || table->m_count == 0) return nullptr;
  return static_cast<RegionNameRecord*>(RegionHashTable_find(table, &id, nullptr));
}

bool tableHolds(RegionHashTable* table, const RegionNameRecord* record) {
  return record && tableRecord(table, record->m_id) == record;
}

void tableDrop(RegionHashTable* table, const RegionNameRecord* record) {
  if (tableHolds(table, record)) RegionHashTable_remove(table, &record->m_id);
}

const char* nameOfId(uint64_t id) {
  const char* name = nullptr;
  RegionNameDictionary_name(id, &name);
  return name ? name : "";
}

bool referencedIn(const RegionNameRecord* record, const RegionMap* map) {
  int flag = 0;
  RegionNameRecord_isReferencedIn(record, map, &flag);
  return flag != 0;
}

bool explicitIn(const RegionNameRecord* record, const RegionMap* map) {
  int flag = 0;
  RegionNameRecord_isExplicitIn(record, map, &flag);
  return flag != 0;
}

bool inheritedIn(const RegionNameRecord* record, const RegionMap* map) {
  int flag = 0;
  RegionNameRecord_isInheritedIn(record, map, &flag);
  return flag != 0;
}

// Whether the map's name table still needs the record.
bool keeps(const RegionMap* map, const RegionNameRecord* record) {
  return referencedIn(record, map) || explicitIn(record, map) || inheritedIn(record, map);
}

// Frees a record that no table holds any more and no free definition owns.
void release(RegionMap* map, RegionNameRecord* record) {
  RegionAtlas* atlas = map->m_atlas;
  if (atlas) {
    if (RegionAtlas_mapsHoldRecord(atlas, record)) return;
    if (RegionAtlas_record(atlas, record->m_id) == record) RegionHashTable_remove(atlas->m_names, &record->m_id);
  } else if (RegionMap_holdsRecord(map, record)) {
    return;
  }
  if (!record->m_definition) RegionNameRecord_delete(&record);
}

// Brings the inheritance of the record in map into line with what the next lower map holds,
// and passes a change of what map holds on up. Only taking up a name needs memory.
RegionStatus* reconcile(RegionMap* map, RegionNameRecord* record) {
  if (!map || !map->m_atlas) return RegionStatus_success();
  RegionMap* lower = RegionAtlas_lowerMap(map->m_atlas, map);
  bool wanted = lower && RegionMap_holdsRecord(lower, record);
  bool inherited = inheritedIn(record, map);
  bool before = RegionMap_holdsRecord(map, record) != 0;
  if (wanted && !inherited) {
    RegionStatus* status = RegionNameRecord_addInheritingMap(record, map);
    if (RegionStatus_isError(status)) return status;
    if (!tableHolds(map->m_names, record)) {
      status = RegionHashTable_insert(map->m_names, record);
      if (RegionStatus_isError(status)) {
        RegionNameRecord_removeInheritingMap(record, map);
        return status;
      }
    }
  } else if (!wanted && inherited) {
    RegionNameRecord_removeInheritingMap(record, map);
    if (!keeps(map, record)) tableDrop(map->m_names, record);
  }
  if ((RegionMap_holdsRecord(map, record) != 0) == before) return RegionStatus_success();
  return reconcile(RegionAtlas_higherMap(map->m_atlas, map), record);
}

RegionStatus* passUp(RegionMap* map, RegionNameRecord* record) {
  if (!map->m_atlas) return RegionStatus_success();
  return reconcile(RegionAtlas_higherMap(map->m_atlas, map), record);
}

// A name the map may have stopped needing: out of the name table, up the slots, and freed when
// nothing holds it.
void settle(RegionMap* map, RegionNameRecord* record) {
  if (!keeps(map, record)) tableDrop(map->m_names, record);
  passUp(map, record);
  release(map, record);
}

void clearCache(RegionMap* map) {
  if (map->m_atlas) RegionAtlas_clearCache(map->m_atlas);
}

// The record a component name takes in the map: the map's, the atlas's or a new one. (Each
// table is searched once: the name table holds this very record exactly when it gave it, and
// entering it there leaves the atlas's table as it was.) In an atlas, whose table holds every
// record of its maps, the atlas is asked first: a name it does not know no map table holds,
// and a name it knows has that one record in the map's tables too.
RegionStatus* componentRecord(RegionMap* map, uint64_t id, RegionNameRecord** record) {
  RegionNameRecord* inAtlas = map->m_atlas ? RegionAtlas_record(map->m_atlas, id) : nullptr;
  const bool searchAll = !map->m_atlas || !RegionMap_atlasAnswersFirst();
  RegionNameRecord* inNames = searchAll || inAtlas ? tableRecord(map->m_names, id) : nullptr;
  RegionNameRecord* r = inNames;
  if (!r && searchAll) r = tableRecord(map->m_definitions, id);
  if (!r) r = inAtlas;
  bool made = false;
  if (!r) {
    RegionStatus* status = RegionNameRecord_newForId(&r, id);
    if (RegionStatus_isError(status)) return status;
    made = true;
  }
  if (!inNames) {
    RegionStatus* status = RegionHashTable_insert(map->m_names, r);
    if (RegionStatus_isError(status)) {
      if (made) RegionNameRecord_delete(&r);
      return status;
    }
  }
  if (map->m_atlas && !inAtlas) {
    RegionStatus* status = RegionHashTable_insert(map->m_atlas->m_names, r);
    if (RegionStatus_isError(status)) {
      tableDrop(map->m_names, r);
      if (made) RegionNameRecord_delete(&r);
      return status;
    }
  }
  *record = r;
  return RegionStatus_success();
}

uint64_t countOf(const StringList* list) { return list ? list->m_count : 0; }

template <class Visit>
void forEachComponent(const RegionDefinition* definition, Visit visit) {
  for (const StringList* list : {definition->m_listA, definition->m_listB}) {
    for (uint64_t i = 0; list && i < list->m_count; ++i) visit(list->m_items[i]);
  }
}

// The component ids of a definition, each once, in the order of their first use (list A, then
// list B). A few are checked against each other; many are sorted by id, position.
std::vector<uint64_t> firstUses(const RegionDefinition* definition) {
  std::vector<uint64_t> ids;
  forEachComponent(definition, [&](uint64_t cid) { ids.push_back(cid); });
  if (ids.size() <= 16) {
    size_t kept = 0;
    for (size_t i = 0; i < ids.size(); ++i) {
      if (std::find(ids.begin(), ids.begin() + kept, ids[i]) == ids.begin() + kept) ids[kept++] = ids[i];
    }
    ids.resize(kept);
    return ids;
  }
  std::vector<std::pair<uint64_t, size_t>> order(ids.size());
  for (size_t i = 0; i < ids.size(); ++i) order[i] = {ids[i], i};
  std::sort(order.begin(), order.end());
  std::vector<char> repeated(ids.size(), 0);
  for (size_t i = 1; i < order.size(); ++i) {
    if (order[i].first == order[i - 1].first) repeated[order[i].second] = 1;
  }
  size_t kept = 0;
  for (size_t i = 0; i < ids.size(); ++i) {
    if (!repeated[i]) ids[kept++] = ids[i];
  }
  ids.resize(kept);
  return ids;
}

// Records of a table, in table order.
std::vector<RegionNameRecord*> recordsOf(RegionHashTable* table) {
  std::vector<RegionNameRecord*> records;
  records.reserve(table->m_count);
  for (uint64_t b = 0; b < table->m_size && records.size() < table->m_count; ++b) {
    for (RegionHashNode* n = table->m_buckets[b]; n; n = n->m_next) records.push_back(static_cast<RegionNameRecord*>(n->m_entry));
  }
  return records;
}

std::vector<RegionDefinition*> definitionsOf(RegionMap* map) {
  std::vector<RegionDefinition*> definitions;
  for (RegionNameRecord* r : recordsOf(map->m_definitions)) {
    if (r->m_definition) definitions.push_back(r->m_definition);
  }
  return definitions;
}

std::vector<uint64_t> explicitIdsOf(RegionMap* map) {
  std::vector<uint64_t> ids;
  for (RegionNameRecord* r : recordsOf(map->m_names)) {
    if (explicitIn(r, map)) ids.push_back(r->m_id);
  }
  return ids;
}

// Hands a list out in the caller's mode; the list is deleted.
RegionStatus* handOut(StringList* list, int32_t mode, va_list outputs, const char* listWords, const char* missing) {
  RegionStatus* status = StringList_vcontents(list && list->m_count ? list : nullptr, mode, outputs);
  if (list) StringList_delete(&list);
  if (RegionStatus_getCode(status) == RS_NO_MEMORY) return RegionStatus_outOfMemory(listWords);
  if (RegionStatus_getCode(status) == RS_BAD_POINTER) return RegionStatus_fail(RS_BAD_POINTER, missing);
  return status;
}

RegionStatus* listFrom(const std::vector<uint64_t>& ids, StringList** list, const char* listWords) {
  RegionStatus* status = StringList_newFromIds(list, ids.data(), ids.size());
  if (RegionStatus_isError(status)) return RegionStatus_outOfMemory(listWords);
  return status;
}

enum Selection { kImplicit, kExplicit, kInherited, kPrimitives };

RegionStatus* selectNames(RegionMap* map, Selection selection, StringList** list, const char* listWords) {
  *list = nullptr;
  std::vector<uint64_t> ids;
  for (RegionNameRecord* r : recordsOf(map->m_names)) {
    bool take = false;
    switch (selection) {
      case kImplicit: take = referencedIn(r, map); break;
      case kExplicit: take = explicitIn(r, map); break;
      case kInherited: take = inheritedIn(r, map); break;
      case kPrimitives: take = !tableHolds(map->m_definitions, r); break;
    }
    if (take) ids.push_back(r->m_id);
  }
  return listFrom(ids, list, listWords);
}

RegionStatus* compositeNames(RegionMap* map, StringList** list) {
  *list = nullptr;
  std::vector<uint64_t> ids;
  for (RegionNameRecord* r : recordsOf(map->m_definitions)) {
    if (!r->m_definition || r->m_definition->m_map != map)
      return RegionStatus_failf(s_message, sizeof(s_message), RS_NOT_IN_MAP, "%s (%s) is not defined in map %s", kDefinitionWord,
                                nameOfId(r->m_id), map->m_name);
    ids.push_back(r->m_id);
  }
  return listFrom(ids, list, "list of composites");
}

RegionStatus* exportedNames(RegionMap* map, StringList** list) {
  *list = nullptr;
  StringList* primitives = nullptr;
  StringList* composites = nullptr;
  RegionStatus* status = selectNames(map, kPrimitives, &primitives, "list of primitives");
  if (!RegionStatus_isError(status)) status = compositeNames(map, &composites);
  if (RegionStatus_isError(status)) {
    if (primitives) StringList_delete(&primitives);
    return status;
  }
  if (primitives->m_count == 0) {
    StringList_delete(&primitives);
    *list = composites;
    return status;
  }
  status = StringList_append(primitives, composites);
  StringList_delete(&composites);
  if (RegionStatus_isError(status)) {
    StringList_delete(&primitives);
    return status;
  }
  *list = primitives;
  return status;
}

template <class Build>
RegionStatus* listOperation(RegionMap* map, int32_t mode, va_list outputs, const char* listWords, const char* missing,
                            Build build) {
  if (!map) return invalidMap();
  StringList* list = nullptr;
  RegionStatus* status = RegionStatus_success();
  try {
    status = build(&list);
  } catch (const std::bad_alloc&) {
    status = RegionStatus_outOfMemory(listWords);
  }
  if (RegionStatus_isError(status)) return status;
  return handOut(list, mode, outputs, listWords, missing);
}

// Takes every definition and explicit primitive out of the map, in an atlas or not.
RegionStatus* emptyMap(RegionMap* map, std::vector<RegionDefinition*>* definitions, std::vector<uint64_t>* explicitIds) {
  *definitions = definitionsOf(map);
  *explicitIds = explicitIdsOf(map);
  // Out in descending order of id and back in ascending order: the references of a name many
  // definitions use are then taken from and added at their end.
  // (The ids are read once: a definition's id lies two pointers away.)
  std::vector<std::pair<uint64_t, RegionDefinition*>> byId(definitions->size());
  for (size_t i = 0; i < byId.size(); ++i) byId[i] = {RegionDefinition_id((*definitions)[i]), (*definitions)[i]};
  std::sort(byId.begin(), byId.end(), [](const std::pair<uint64_t, RegionDefinition*>& a, const std::pair<uint64_t, RegionDefinition*>& b) {
    return a.first > b.first;
  });
  for (size_t i = 0; i < byId.size(); ++i) (*definitions)[i] = byId[i].second;
  for (RegionDefinition* d : *definitions) {
    RegionStatus* status = RegionMap_detachDefinition(map, d);
    if (RegionStatus_isError(status)) return status;
  }
  for (uint64_t id : *explicitIds) {
    RegionNameRecord* r = tableRecord(map->m_names, id);
    if (!r) continue;
    RegionNameRecord_removeExplicitMap(r, map);
    settle(map, r);
  }
  return RegionStatus_success();
}

// Puts definitions and explicit primitives back without checks (they stood there before). A
// step that fails for want of memory is tried once more; a second failure is reported.
RegionStatus* refill(RegionMap* map, const std::vector<RegionDefinition*>& definitions, const std::vector<uint64_t>& explicitIds) {
  RegionStatus* failure = RegionStatus_success();
  for (auto d = definitions.rbegin(); d != definitions.rend(); ++d) {
    if ((*d)->m_map) continue;
    RegionStatus* status = RegionMap_reattachDefinition(map, *d);
    if (RegionStatus_isError(status)) failure = status;
  }
  for (uint64_t id : explicitIds) {
    RegionNameRecord* r = tableRecord(map->m_names, id);
    if (r && explicitIn(r, map)) continue;
    RegionStatus* status = RegionMap_addExplicitPrimitive(map, nameOfId(id));
    if (RegionStatus_isError(status)) status = RegionMap_addExplicitPrimitive(map, nameOfId(id));
    if (RegionStatus_isError(status)) failure = status;
  }
  return failure;
}

// ---------------------------------------------------------------------------------------------
// A map entering an atlas that holds no other map, or leaving one it is the only map of. The
// general way takes every definition out and puts it back (checks and all); with no other map
// to share names with, that leaves every table holding what it held and every definition its
// component lists (kept in ascending order by every entry into a map, and every change in one
// steps out and back in), so the one pass below only enters the map's records in the atlas's
// table (or empties that table) and tells the atlas's name hook what the general way tells it,
// in the same order. What it does not redo is the order inside the records' reference lists,
// which the general way makes ascending: nothing reads them but as sets (searches sort them
// first), so no answer of the library depends on it.

int s_onePassJoins = 1;

bool onlyMapOf(const RegionAtlas* atlas, const RegionMap* map) {
  for (const RegionMap* m : {atlas->m_zyrMap, atlas->m_primaryMap, atlas->m_secondaryMap}) {
    if (m && m != map) return false;
  }
  return true;
}

// The records of both tables; a record the map defines and uses is in both.
std::vector<RegionNameRecord*> heldRecords(RegionMap* map) {
  std::vector<RegionNameRecord*> held = recordsOf(map->m_definitions);
  for (RegionNameRecord* r : recordsOf(map->m_names)) held.push_back(r);
  return held;
}

// The hook hears of each definition as it goes out (descending ids) or comes in (ascending).
void notifyAll(RegionMap* map, int operation) {
  RegionAtlas* atlas = map->m_atlas;
  if (!atlas || !atlas->m_nameManager || !atlas->m_nameManagerFunction || map->m_type == REGION_MAP_ZYR) return;
  std::vector<std::pair<uint64_t, RegionDefinition*>> byId;
  for (RegionDefinition* d : definitionsOf(map)) byId.push_back({RegionDefinition_id(d), d});
  std::sort(byId.begin(), byId.end());
  if (operation == 0) std::reverse(byId.begin(), byId.end());
  for (const auto& entry : byId) RegionDefinition_notifyAtlas(entry.second, map, operation, nameOfId(entry.first));
}

// *done false when the general way must be taken.
RegionStatus* enterAlone(RegionMap* map, RegionAtlas* atlas, uint32_t type, bool* done) {
  *done = false;
  if (!s_onePassJoins || !onlyMapOf(atlas, map) || atlas->m_names->m_count != 0) return RegionStatus_success();
  std::vector<RegionNameRecord*> held = heldRecords(map);
  const size_t defined = size_t(map->m_definitions->m_count);
  RegionStatus* status = RegionHashTable_insertAll(atlas->m_names, reinterpret_cast<void* const*>(held.data()), held.size(), nullptr);
  // Tables that disagree about a name (two records of one id): the general way.
  if (RegionStatus_getCode(status) == RS_INTERNAL) return RegionStatus_success();
  *done = true;
  if (RegionStatus_isError(status)) return status;
  map->m_atlas = atlas;
  map->m_type = type;
  for (size_t i = 0; i < defined; ++i) RegionAtlas_noteDefined(atlas, held[i]->m_id);
  notifyAll(map, 1);
  RegionAtlas_clearCache(atlas);
  return RegionStatus_success();
}

// The atlas of a map that is its only map holds exactly the map's records (a record no map holds
// any more leaves the atlas's table), so the general way leaves that table empty.
RegionStatus* exitAlone(RegionMap* map, bool* done) {
  *done = false;
  RegionAtlas* atlas = map->m_atlas;
  if (!s_onePassJoins || !onlyMapOf(atlas, map)) return RegionStatus_success();
  *done = true;
  notifyAll(map, 0);
  RegionHashTable_clear(atlas->m_names);
  RegionAtlas_forgetDefined(atlas);
  if (atlas->m_zyrMap == map) atlas->m_zyrMap = nullptr;
  if (atlas->m_primaryMap == map) atlas->m_primaryMap = nullptr;
  if (atlas->m_secondaryMap == map) atlas->m_secondaryMap = nullptr;
  map->m_atlas = nullptr;
  map->m_type = 0;
  RegionAtlas_clearCache(atlas);
  return RegionStatus_success();
}

} // namespace

void RegionMap_setOnePassJoins(int on) { s_onePassJoins = on ? 1 : 0; }

RegionNameRecord* RegionMap_definedRecord(const RegionMap* map, uint64_t id) {
  return map ? tableRecord(map->m_definitions, id) : nullptr;
}

RegionNameRecord* RegionMap_nameRecord(const RegionMap* map, uint64_t id) {
  return map ? tableRecord(map->m_names, id) : nullptr;
}

int RegionMap_holdsRecord(const RegionMap* map, const RegionNameRecord* record) {
  return map && record && (tableHolds(map->m_definitions, record) || tableHolds(map->m_names, record)) ? 1 : 0;
}

const char* RegionMap_typeWord(uint32_t type) {
  if (type == REGION_MAP_ZYR) return "ZYR";
  if (type == REGION_MAP_PRIMARY) return "PRIMARY";
  return "SECONDARY";
}

RegionStatus* RegionMap_new(RegionMap** map, const char* name) {
  if (!map) return RegionStatus_fail(RS_BAD_POINTER, "Invalid object pointer - cannot create new object");
  *map = nullptr;
  RegionStatus* status = nullptr;
  if (RegionName_isBlank(name, &status)) return status;
  RegionMap* m = static_cast<RegionMap*>(RegionMemory_allocZeroed(1, sizeof(RegionMap)));
  if (!m) return RegionStatus_outOfMemory(kTypeWord);
  m->m_name = RegionMemory_strdup(name);
  status = m->m_name ? RegionStatus_success() : RegionStatus_outOfMemory(kTypeWord);
  if (!RegionStatus_isError(status))
    status = RegionHashTable_new(&m->m_definitions, REGION_MAP_BUCKETS, RegionHashTable_hashId, RegionHashTable_compareIds);
  if (!RegionStatus_isError(status))
    status = RegionHashTable_new(&m->m_names, REGION_MAP_BUCKETS, RegionHashTable_hashId, RegionHashTable_compareIds);
  if (!RegionStatus_isError(status)) status = RegionNameRecord_new(&m->m_probe, "DummyName");
  if (RegionStatus_isError(status)) {
    RegionHashTable_delete(&m->m_definitions);
    RegionHashTable_delete(&m->m_names);
    RegionMemory_free(m->m_name);
    RegionMemory_free(m);
    return RegionStatus_outOfMemory(kTypeWord);
  }
  *map = m;
  return RegionStatus_success();
}

RegionStatus* RegionMap_delete(RegionMap** map, int deleteDefinitions) {
  if (!map) return RegionStatus_fail(RS_BAD_POINTER, "Invalid object pointer - cannot delete object");
  if (!*map) return invalidMap();
  RegionMap* m = *map;
  if (m->m_atlas) {
    RegionStatus* status = RegionMap_leaveAtlas(m);
    if (RegionStatus_isError(status)) return status;
  }
  std::vector<RegionDefinition*> definitions;
  std::vector<uint64_t> explicitIds;
  RegionStatus* status = RegionStatus_success();
  try {
    status = emptyMap(m, &definitions, &explicitIds);
  } catch (const std::bad_alloc&) {
    status = RegionStatus_outOfMemory(kTypeWord);
  }
  if (RegionStatus_isError(status)) return RegionStatus_keepAcross(status, [&] { refill(m, definitions, explicitIds); });
  if (deleteDefinitions == 1) {
    for (RegionDefinition* d : definitions) RegionDefinition_delete(&d);
  }
  // Whatever is left (nothing, unless memory ran out on the way) goes with the map.
  for (RegionHashTable* table : {m->m_definitions, m->m_names}) {
    for (RegionNameRecord* r : recordsOf(table)) {
      RegionHashTable_remove(table, &r->m_id);
      if (!r->m_definition && !RegionMap_holdsRecord(m, r)) RegionNameRecord_delete(&r);
    }
  }
  RegionHashTable_delete(&m->m_definitions);
  RegionHashTable_delete(&m->m_names);
  RegionNameRecord_delete(&m->m_probe);
  if (m->m_vsnText) String_delete(m->m_vsnText, 1);
  RegionMemory_free(m->m_name);
  RegionMemory_free(m->m_owner);
  RegionMemory_free(m);
  *map = nullptr;
  return RegionStatus_success();
}

RegionStatus* RegionMap_setName(RegionMap* map, const char* name) {
  if (!map) return invalidMap();
  RegionStatus* status = nullptr;
  if (RegionName_isBlank(name, &status)) return status;
  char* copy = RegionMemory_strdup(name);
  if (!copy) return RegionStatus_failf(s_message, sizeof(s_message), RS_NO_MEMORY, "Unable to allocate memory for new %s name.", kTypeWord);
  RegionMemory_free(map->m_name);
  map->m_name = copy;
  return RegionStatus_success();
}

RegionStatus* RegionMap_setOwner(RegionMap* map, const char* owner) {
  if (!map) return invalidMap();
  if (owner && *owner && !RegionDefinition_isWritableWord(owner))
    return RegionStatus_failf(s_message, sizeof(s_message), RS_INVALID_STRING, "Owner \"%s\" cannot be written in region-atlas text.", owner);
  char* copy = nullptr;
  if (owner && *owner) {
    copy = RegionMemory_strdup(owner);
    if (!copy) return RegionStatus_failf(s_message, sizeof(s_message), RS_NO_MEMORY, "Unable to allocate memory for new %s owner.", kTypeWord);
  }
  RegionMemory_free(map->m_owner);
  map->m_owner = copy;
  return RegionStatus_success();
}

RegionStatus* RegionMap_getName(const RegionMap* map, const char** name) {
  if (!name) return RegionStatus_failf(s_message, sizeof(s_message), RS_BAD_POINTER, "Cannot return the name of the %s.", kTypeWord);
  *name = nullptr;
  if (!map) return invalidMap();
  if (!map->m_name || !*map->m_name) return RegionStatus_failf(s_message, sizeof(s_message), RS_INTERNAL, "%s is unnamed.", kTypeWord);
  *name = map->m_name;
  return RegionStatus_success();
}

RegionStatus* RegionMap_getOwner(const RegionMap* map, const char** owner) {
  if (!owner) return RegionStatus_failf(s_message, sizeof(s_message), RS_BAD_POINTER, "Cannot return the owner of the %s.", kTypeWord);
  *owner = nullptr;
  if (!map) return invalidMap();
  if (!map->m_owner || !*map->m_owner)
    return RegionStatus_failf(s_message, sizeof(s_message), RS_NO_OWNER, "%s does not have an owner", kTypeWord);
  *owner = map->m_owner;
  return RegionStatus_success();
}

RegionStatus* RegionMap_getType(const RegionMap* map, uint32_t* type) {
  if (!type) return RegionStatus_failf(s_message, sizeof(s_message), RS_BAD_POINTER, "Cannot return the type of the %s.", kTypeWord);
  *type = 0;
  if (!map) return invalidMap();
  if (!map->m_atlas) return RegionStatus_failf(s_message, sizeof(s_message), RS_MAP_NOT_IN_ATLAS, "%s is not in a %s", kTypeWord, kAtlasWord);
  *type = map->m_type;
  return RegionStatus_success();
}

RegionStatus* RegionMap_getAtlas(const RegionMap* map, RegionAtlas** atlas) {
  if (!atlas)
    return RegionStatus_failf(s_message, sizeof(s_message), RS_BAD_POINTER, "Cannot return the %s the %s is in.", kAtlasWord, kTypeWord);
  *atlas = nullptr;
  if (!map) return invalidMap();
  if (!map->m_atlas) return RegionStatus_failf(s_message, sizeof(s_message), RS_MAP_NOT_IN_ATLAS, "%s is not in a %s", kTypeWord, kAtlasWord);
  *atlas = map->m_atlas;
  return RegionStatus_success();
}

RegionStatus* RegionMap_getNameCount(const RegionMap* map, uint64_t* count) {
  if (!count) return RegionStatus_fail(RS_BAD_POINTER, "Invalid object pointer - cannot return count");
  *count = 0;
  if (!map) return invalidMap();
  *count = map->m_definitions->m_count + map->m_names->m_count;
  return RegionStatus_success();
}

RegionStatus* RegionMap_clearCache(RegionMap* map) {
  if (!map) return invalidMap();
  clearCache(map);
  return RegionStatus_success();
}

RegionStatus* RegionMap_regionDefinitionFromId(RegionMap* map, uint64_t id, RegionDefinition** definition) {
  if (!definition) return RegionStatus_fail(RS_BAD_POINTER, "Invalid object pointer - cannot return definition");
  *definition = nullptr;
  if (!map) return invalidMap();
  RegionNameRecord* r = tableRecord(map->m_definitions, id);
  if (!r || !r->m_definition)
    return RegionStatus_failf(s_message, sizeof(s_message), RS_NOT_IN_MAP, "%s (%" PRIu64 ") is not defined in the %s.", kDefinitionWord,
                              id, kTypeWord);
  *definition = r->m_definition;
  return RegionStatus_success();
}

RegionStatus* RegionMap_regionDefinitionFromName(RegionMap* map, const char* name, RegionDefinition** definition) {
  if (!definition) return RegionStatus_fail(RS_BAD_POINTER, "Invalid object pointer - cannot return definition");
  *definition = nullptr;
  if (!map) return invalidMap();
  RegionStatus* status = nullptr;
  if (RegionName_isBlank(name, &status)) return status;
  uint64_t id = 0;
  RegionNameRecord* r = RegionStatus_isError(RegionNameDictionary_lookup(name, &id)) ? nullptr : tableRecord(map->m_definitions, id);
  if (!r || !r->m_definition)
    return RegionStatus_failf(s_message, sizeof(s_message), RS_NOT_IN_MAP, "%s (%s) is not defined in the %s.", kDefinitionWord, name,
                              kTypeWord);
  *definition = r->m_definition;
  return RegionStatus_success();
}

namespace {

// The common start of the questions by name: the id, or 0 for a name never entered.
RegionStatus* askAbout(RegionMap* map, const char* name, int* flag, uint64_t* id, const char* missing) {
  if (!flag) return RegionStatus_fail(RS_BAD_POINTER, missing);
  *flag = 0;
  *id = 0;
  if (!map) return invalidMap();
  RegionStatus* status = nullptr;
  if (RegionName_isBlank(name, &status)) return status;
  RegionNameDictionary_lookup(name, id);
  return RegionStatus_success();
}

} // namespace

RegionStatus* RegionMap_isComposite(RegionMap* map, const char* name, int* flag) {
  uint64_t id = 0;
  RegionStatus* status = askAbout(map, name, flag, &id, "Cannot return whether the name is a composite.");
  if (RegionStatus_isError(status)) return status;
  *flag = id && tableRecord(map->m_definitions, id) ? 1 : 0;
  return status;
}

RegionStatus* RegionMap_isPrimitive(RegionMap* map, const char* name, int* flag) {
  uint64_t id = 0;
  RegionStatus* status = askAbout(map, name, flag, &id, "Cannot return whether the name is a primitive.");
  if (RegionStatus_isError(status)) {
    if (flag) *flag = 1;
    return status;
  }
  if (map->m_atlas && map->m_type == REGION_MAP_ZYR) *flag = id && tableRecord(map->m_names, id) ? 1 : 0;
  else *flag = id && tableRecord(map->m_definitions, id) ? 0 : 1;
  return status;
}

RegionStatus* RegionMap_isExplicitPrimitive(RegionMap* map, const char* name, int* flag) {
  uint64_t id = 0;
  RegionStatus* status = askAbout(map, name, flag, &id, "Cannot return whether the name is an explicit primitive.");
  if (RegionStatus_isError(status)) return status;
  RegionNameRecord* r = id ? tableRecord(map->m_names, id) : nullptr;
  *flag = r && explicitIn(r, map) ? 1 : 0;
  return status;
}

RegionStatus* RegionMap_findName(RegionMap* map, const char* name, int* found, RegionNameRecord** record) {
  if (record) *record = nullptr;
  uint64_t id = 0;
  RegionStatus* status = askAbout(map, name, found, &id, "Cannot return whether the name is known.");
  if (RegionStatus_isError(status)) return status;
  RegionNameRecord* r = id ? tableRecord(map->m_definitions, id) : nullptr;
  if (!r && id) r = tableRecord(map->m_names, id);
  *found = r ? 1 : 0;
  if (record) *record = r;
  return status;
}

RegionStatus* RegionMap_getAllImplicitPrimitives(RegionMap* map, int32_t mode, ...) {
  va_list outputs;
  va_start(outputs, mode);
  RegionStatus* status = listOperation(map, mode, outputs, "list of implicit primitives", "Unable to return list of implicit primitives",
                                       [&](StringList** l) { return selectNames(map, kImplicit, l, "list of implicit primitives"); });
  va_end(outputs);
  return status;
}

RegionStatus* RegionMap_getAllExplicitPrimitives(RegionMap* map, int32_t mode, ...) {
  va_list outputs;
  va_start(outputs, mode);
  RegionStatus* status = listOperation(map, mode, outputs, "list of explicit primitives", "Unable to return list of explicit primitives",
                                       [&](StringList** l) { return selectNames(map, kExplicit, l, "list of explicit primitives"); });
  va_end(outputs);
  return status;
}

RegionStatus* RegionMap_getAllInheritedPrimitives(RegionMap* map, int32_t mode, ...) {
  va_list outputs;
  va_start(outputs, mode);
  RegionStatus* status =
      listOperation(map, mode, outputs, "list of inherited primitives", "Unable to return list of inherited primitives",
                    [&](StringList** l) { return selectNames(map, kInherited, l, "list of inherited primitives"); });
  va_end(outputs);
  return status;
}

RegionStatus* RegionMap_getAllPrimitives(RegionMap* map, int32_t mode, ...) {
  va_list outputs;
  va_start(outputs, mode);
  RegionStatus* status = listOperation(map, mode, outputs, "list of primitives", "Unable to return list of primitives",
                                       [&](StringList** l) { return selectNames(map, kPrimitives, l, "list of primitives"); });
  va_end(outputs);
  return status;
}

RegionStatus* RegionMap_getAllCompositeNames(RegionMap* map, int32_t mode, ...) {
  va_list outputs;
  va_start(outputs, mode);
  RegionStatus* status = listOperation(map, mode, outputs, "list of composites", "Unable to return list of composites",
                                       [&](StringList** l) { return compositeNames(map, l); });
  va_end(outputs);
  return status;
}

RegionStatus* RegionMap_getExportedNames(RegionMap* map, int32_t mode, ...) {
  va_list outputs;
  va_start(outputs, mode);
  RegionStatus* status = listOperation(map, mode, outputs, "list of exported names", "Unable to return list of exported names",
                                       [&](StringList** l) { return exportedNames(map, l); });
  va_end(outputs);
  return status;
}

RegionStatus* RegionMap_getTaggedNames(RegionMap* map, const char* tag, int32_t mode, ...) {
  va_list outputs;
  va_start(outputs, mode);
  RegionStatus* status = listOperation(map, mode, outputs, "list of tagged names", "Unable to return list of tagged names",
                                       [&](StringList** l) {
                                         std::vector<uint64_t> ids;
                                         for (RegionNameRecord* r : recordsOf(map->m_definitions)) {
                                           int tagged = 0;
                                           if (r->m_definition) RegionDefinition_taggedWith(r->m_definition, tag, &tagged);
                                           if (tagged) ids.push_back(r->m_id);
                                         }
                                         return listFrom(ids, l, "list of tagged names");
                                       });
  va_end(outputs);
  return status;
}

RegionStatus* RegionMap_appendExportedNamesExcept(RegionMap* map, StringList* exclusion, StringList* target) {
  if (!map) return invalidMap();
  if (!target) return RegionStatus_fail(RS_INVALID_STRING_LIST, "Invalid String List.");
  StringList* exported = nullptr;
  RegionStatus* status = RegionStatus_success();
  try {
    status = exportedNames(map, &exported);
  } catch (const std::bad_alloc&) {
    status = RegionStatus_outOfMemory("list of exported names");
  }
  if (RegionStatus_isError(status)) return status;
  if (exclusion) status = StringList_subtract(exported, exclusion);
  if (!RegionStatus_isError(status)) status = StringList_append(target, exported);
  StringList_delete(&exported);
  return status;
}

RegionStatus* RegionMap_getRegionDefinitions(RegionMap* map, RegionDefinition*** definitions, uint64_t* count) {
  if (!definitions || !count) return RegionStatus_fail(RS_BAD_POINTER, "Invalid object pointer - cannot return definitions");
  *definitions = nullptr;
  *count = 0;
  if (!map) return invalidMap();
  try {
    std::vector<RegionDefinition*> all = definitionsOf(map);
    if (all.empty()) return RegionStatus_success();
    RegionDefinition** array = static_cast<RegionDefinition**>(RegionMemory_allocArray(all.size(), sizeof(RegionDefinition*)));
    if (!array) return RegionStatus_outOfMemory("definitions");
    memcpy(array, all.data(), all.size() * sizeof(RegionDefinition*));
    *definitions = array;
    *count = all.size();
  } catch (const std::bad_alloc&) {
    return RegionStatus_outOfMemory("definitions");
  }
  return RegionStatus_success();
}

namespace {

int s_carriedLookups = 1;

// found: what the check just before found of the name (NULL: search the tables).
RegionStatus* attach(RegionMap* map, RegionDefinition* definition, const RegionNameLookups* found) {
  if (!map) return invalidMap();
  if (!definition || !definition->m_nameRecord) return invalidDefinition();
  RegionAtlas* atlas = map->m_atlas;
  RegionNameRecord* own = definition->m_nameRecord;
  uint64_t id = own->m_id;
  // One record per name: the atlas's or the map's when there is one.
  RegionNameRecord* inAtlas = !atlas ? nullptr : found ? found->m_inAtlas : RegionAtlas_record(atlas, id);
  RegionNameRecord* chosen = inAtlas;
  if (!chosen) chosen = found ? found->m_inNames : tableRecord(map->m_names, id);
  if (!chosen) chosen = own;
  if (chosen->m_definition && chosen->m_definition != definition)
    return RegionStatus_failf(s_message, sizeof(s_message), RS_ALREADY_DEFINED, "%s (%s) is already defined.", kDefinitionWord, nameOfId(id));
  // The tables first: a definition whose record could not be entered keeps its own record.
  RegionStatus* status = RegionHashTable_insert(map->m_definitions, chosen);
  if (!RegionStatus_isError(status) && atlas && !inAtlas) {
    status = RegionHashTable_insert(atlas->m_names, chosen);
    if (RegionStatus_isError(status)) tableDrop(map->m_definitions, chosen);
  }
  if (RegionStatus_isError(status)) return status;
  if (chosen != own) RegionDefinition_linkRecord(definition, chosen, 0);
  else chosen->m_definition = definition;
  definition->m_map = map;
  if (atlas) RegionAtlas_noteDefined(atlas, id);
  // Components: every name gets its record in the map and learns that this definition uses it.
  // (A few components, as most definitions have, are handled without allocating.)
  const size_t kFew = 16;
  uint64_t fewIds[kFew];
  RegionNameRecord* fewRecords[kFew];
  std::vector<uint64_t> manyIds;
  std::vector<RegionNameRecord*> manyRecords;
  RegionNameRecord** components = fewRecords;
  size_t componentCount = 0;
  try {
    const uint64_t* ids = fewIds;
    size_t idCount = 0;
    if (countOf(definition->m_listA) + countOf(definition->m_listB) <= kFew) {
      forEachComponent(definition, [&](uint64_t cid) {
        if (std::find(fewIds, fewIds + idCount, cid) == fewIds + idCount) fewIds[idCount++] = cid;
      });
    } else {
      manyIds = firstUses(definition);
      manyRecords.resize(manyIds.size());
      ids = manyIds.data();
      idCount = manyIds.size();
      components = manyRecords.data();
    }
    for (size_t i = 0; i < idCount && !RegionStatus_isError(status); ++i) {
      RegionNameRecord* r = nullptr;
      status = componentRecord(map, ids[i], &r);
      // A definition is attached once, so its id is not among the references yet.
      if (!RegionStatus_isError(status)) status = RegionNameRecord_appendReferenceId(r, id);
      if (!RegionStatus_isError(status)) components[componentCount++] = r;
    }
  } catch (const std::bad_alloc&) {
    status = RegionStatus_outOfMemory(kTypeWord);
  }
  if (RegionStatus_isError(status)) {
    return RegionStatus_keepAcross(status, [&] { RegionMap_detachDefinition(map, definition); });
  }
  // In a map the lists hold their ids in ascending order.
  if (definition->m_listA) StringList_sort(definition->m_listA);
  if (definition->m_listB) StringList_sort(definition->m_listB);
  // What the map now holds goes on up to the map above it, where there is one.
  if (atlas && RegionAtlas_higherMap(atlas, map)) {
    status = passUp(map, chosen);
    for (size_t i = 0; i < componentCount && !RegionStatus_isError(status); ++i) status = passUp(map, components[i]);
  }
  if (RegionStatus_isError(status)) {
    return RegionStatus_keepAcross(status, [&] { RegionMap_detachDefinition(map, definition); });
  }
  // The name had no definition in the atlas (it would have had this record): only what may
  // have met it is forgotten.
  if (atlas) RegionAtlas_nameDefined(atlas, id);
  RegionDefinition_notifyAtlas(definition, map, 1, nameOfId(id));
  return RegionStatus_success();
}

} // namespace

void RegionMap_setCarriedLookups(int on) { s_carriedLookups = on ? 1 : 0; }

int RegionMap_atlasAnswersFirst() { return s_carriedLookups; }

RegionStatus* RegionMap_attachDefinition(RegionMap* map, RegionDefinition* definition) { return attach(map, definition, nullptr); }

RegionStatus* RegionMap_reattachDefinition(RegionMap* map, RegionDefinition* definition) {
  RegionStatus* status = RegionMap_attachDefinition(map, definition);
  if (RegionStatus_isError(status) && !definition->m_map) status = RegionMap_attachDefinition(map, definition);
  return status;
}

RegionStatus* RegionMap_detachDefinition(RegionMap* map, RegionDefinition* definition) {
  if (!map) return invalidMap();
  if (!definition || !definition->m_nameRecord) return invalidDefinition();
  RegionAtlas* atlas = map->m_atlas;
  RegionNameRecord* record = definition->m_nameRecord;
  uint64_t id = record->m_id;
  // Made first: the old record may have to stay behind as a primitive.
  RegionNameRecord* fresh = nullptr;
  RegionStatus* status = RegionNameRecord_newForId(&fresh, id);
  if (RegionStatus_isError(status)) return RegionStatus_outOfMemory(kNameWord);
  tableDrop(map->m_definitions, record);
  record->m_definition = nullptr;
  definition->m_map = nullptr;
  try {
    std::vector<uint64_t> ids;
    forEachComponent(definition, [&](uint64_t cid) { ids.push_back(cid); });
    for (uint64_t cid : ids) {
      RegionNameRecord* r = tableRecord(map->m_names, cid);
      if (!r) continue;
      RegionNameRecord_removeReferenceId(r, id);
      settle(map, r);
    }
  } catch (const std::bad_alloc&) {
    // Only the list of ids could not be made; the references it would have dropped stay.
  }
  passUp(map, record);
  bool stays = tableHolds(map->m_names, record) || (atlas && RegionAtlas_mapsHoldRecord(atlas, record));
  if (stays) {
    RegionDefinition_linkRecord(definition, fresh, 1);
    fresh = nullptr;
  } else {
    record->m_definition = definition;
    if (atlas && RegionAtlas_record(atlas, id) == record) RegionHashTable_remove(atlas->m_names, &id);
  }
  if (fresh) RegionNameRecord_delete(&fresh);
  clearCache(map);
  RegionDefinition_notifyAtlas(definition, map, 0, nameOfId(id));
  return RegionStatus_success();
}

RegionStatus* RegionMap_addRegionDefinition(RegionMap* map, RegionDefinition* definition) {
  if (!map) return invalidMap();
  if (!definition) return invalidDefinition();
  RegionStatus* status = nullptr;
  RegionNameLookups found{};
  if (!RegionDefinition_checkInMapFinding(definition, map, &status, &found)) return status;
  if (definition->m_map) {
    // Taking it out of a map changes the tables the check searched.
    found.m_found = 0;
    status = RegionMap_removeRegionDefinition(definition->m_map, definition);
    if (RegionStatus_isError(status)) return status;
  }
  return attach(map, definition, s_carriedLookups && found.m_found ? &found : nullptr);
}

RegionStatus* RegionMap_removeRegionDefinition(RegionMap* map, RegionDefinition* definition) {
  if (!map) return invalidMap();
  if (!definition) return invalidDefinition();
  if (definition->m_map != map)
    return RegionStatus_failf(s_message, sizeof(s_message), RS_NOT_IN_MAP, "%s not declared in %s (%s).", kNameWord, kTypeWord, map->m_name);
  return RegionMap_detachDefinition(map, definition);
}

RegionStatus* RegionMap_deleteRegionDefinitionByName(RegionMap* map, const char* name) {
  RegionDefinition* definition = nullptr;
  RegionStatus* status = RegionMap_regionDefinitionFromName(map, name, &definition);
  if (RegionStatus_isError(status)) return status;
  return RegionMap_removeRegionDefinition(map, definition);
}

RegionStatus* RegionMap_addExplicitPrimitive(RegionMap* map, const char* name) {
  if (!map) return invalidMap();
  RegionStatus* status = nullptr;
  if (RegionName_isBlank(name, &status)) return status;
  uint64_t id = 0;
  status = RegionNameDictionary_add(name, &id);
  if (RegionStatus_isError(status)) return status;
  if (tableRecord(map->m_definitions, id))
    return RegionStatus_failf(s_message, sizeof(s_message), RS_CANNOT_BE_EXPLICIT, "%s cannot be made explicitly primitive in the %s that defines it.",
                              kNameWord, kTypeWord);
  RegionAtlas* atlas = map->m_atlas;
  RegionNameRecord* r = tableRecord(map->m_names, id);
  bool added = false;
  if (!r && atlas) {
    r = RegionAtlas_record(atlas, id);
    if (r) {
      bool definedAbove = false;
      if (map->m_type == REGION_MAP_ZYR) definedAbove = r->m_definition != nullptr;
      else if (map->m_type == REGION_MAP_PRIMARY) definedAbove = atlas->m_secondaryMap && tableRecord(atlas->m_secondaryMap->m_definitions, id);
      if (definedAbove)
        return RegionStatus_failf(s_message, sizeof(s_message), RS_CANNOT_BE_EXPLICIT,
                                  "%s cannot be made explicitly primitive in a lower %s than it is defined in.", kNameWord, kTypeWord);
      status = RegionHashTable_insert(map->m_names, r);
      if (RegionStatus_isError(status)) return status;
      added = true;
    }
  }
  if (!r) {
    status = componentRecord(map, id, &r);
    if (RegionStatus_isError(status)) return status;
    added = true;
  }
  status = RegionNameRecord_addExplicitMap(r, map);
  if (RegionStatus_isError(status)) {
    if (added) return RegionStatus_keepAcross(status, [&] { settle(map, r); });
    return status;
  }
  if (added) status = passUp(map, r);
  if (RegionStatus_isError(status)) {
    return RegionStatus_keepAcross(status, [&] {
      RegionNameRecord_removeExplicitMap(r, map);
      settle(map, r);
    });
  }
  clearCache(map);
  return RegionStatus_success();
}

RegionStatus* RegionMap_removeExplicitPrimitive(RegionMap* map, const char* name) {
  if (!map) return invalidMap();
  RegionStatus* status = nullptr;
  if (RegionName_isBlank(name, &status)) return status;
  uint64_t id = 0;
  RegionNameRecord* r = RegionStatus_isError(RegionNameDictionary_lookup(name, &id)) ? nullptr : tableRecord(map->m_names, id);
  if (!r || !explicitIn(r, map))
    return RegionStatus_failf(s_message, sizeof(s_message), RS_NOT_EXPLICIT, "%s %s is not an explicit primtitive of %s (%s)", kNameWord,
                              name, kTypeWord, map->m_name);
  RegionNameRecord_removeExplicitMap(r, map);
  settle(map, r);
  clearCache(map);
  return RegionStatus_success();
}

RegionStatus* RegionMap_enterAtlas(RegionMap* map, RegionAtlas* atlas, uint32_t type) {
  std::vector<RegionDefinition*> definitions;
  std::vector<uint64_t> explicitIds;
  RegionStatus* status = RegionStatus_success();
  try {
    bool done = false;
    status = enterAlone(map, atlas, type, &done);
    if (done) return status;
    status = emptyMap(map, &definitions, &explicitIds);
    if (RegionStatus_isError(status)) {
      refill(map, definitions, explicitIds);
      return status;
    }
    map->m_atlas = atlas;
    map->m_type = type;
    // Everything the next lower map holds is inherited; the maps above already inherit all of it.
    RegionMap* lower = RegionAtlas_lowerMap(atlas, map);
    if (lower) {
      std::vector<RegionNameRecord*> held = recordsOf(lower->m_definitions);
      for (RegionNameRecord* r : recordsOf(lower->m_names)) held.push_back(r);
      for (size_t i = 0; i < held.size() && !RegionStatus_isError(status); ++i) status = reconcile(map, held[i]);
    }
    for (size_t i = definitions.size(); i > 0 && !RegionStatus_isError(status); --i) {
      RegionDefinition* d = definitions[i - 1];
      status = RegionMap_addRegionDefinition(map, d);
    }
    for (size_t i = 0; i < explicitIds.size() && !RegionStatus_isError(status); ++i)
      status = RegionMap_addExplicitPrimitive(map, nameOfId(explicitIds[i]));
  } catch (const std::bad_alloc&) {
    status = RegionStatus_outOfMemory(kTypeWord);
  }
  if (RegionStatus_isError(status)) {
    // The whole join is undone: the map goes back to standing alone with all it held.
    return RegionStatus_keepAcross(status, [&] {
      if (map->m_atlas) RegionMap_exitAtlas(map);
      refill(map, definitions, explicitIds);
    });
  }
  RegionAtlas_clearCache(atlas);
  return RegionStatus_success();
}

RegionStatus* RegionMap_exitAtlas(RegionMap* map) {
  RegionAtlas* atlas = map->m_atlas;
  if (!atlas) return RegionStatus_success();
  std::vector<RegionDefinition*> definitions;
  std::vector<uint64_t> explicitIds;
  RegionStatus* status = RegionStatus_success();
  try {
    bool done = false;
    status = exitAlone(map, &done);
    if (done) return status;
    std::vector<uint64_t> held;
    for (RegionNameRecord* r : recordsOf(map->m_definitions)) held.push_back(r->m_id);
    for (RegionNameRecord* r : recordsOf(map->m_names)) held.push_back(r->m_id);
    RegionMap* higher = RegionAtlas_higherMap(atlas, map);
    status = emptyMap(map, &definitions, &explicitIds);
    if (RegionStatus_isError(status)) {
      // Put back and tried once more; failing again, the map stays in the atlas as it was.
      refill(map, definitions, explicitIds);
      status = emptyMap(map, &definitions, &explicitIds);
      if (RegionStatus_isError(status))
        return RegionStatus_keepAcross(status, [&] { refill(map, definitions, explicitIds); });
    }
    // What is left is inherited: it goes, and the maps above learn that this map holds nothing.
    for (RegionNameRecord* r : recordsOf(map->m_names)) {
      RegionNameRecord_removeInheritingMap(r, map);
      tableDrop(map->m_names, r);
    }
    // The slot empties here; the map above now inherits from the map below instead.
    if (atlas->m_zyrMap == map) atlas->m_zyrMap = nullptr;
    if (atlas->m_primaryMap == map) atlas->m_primaryMap = nullptr;
    if (atlas->m_secondaryMap == map) atlas->m_secondaryMap = nullptr;
    map->m_atlas = nullptr;
    map->m_type = 0;
    for (uint64_t id : held) {
      RegionNameRecord* r = RegionAtlas_record(atlas, id);
      if (!r) continue;
      if (higher) {
        RegionStatus* s = reconcile(higher, r);
        if (RegionStatus_isError(s) && !RegionStatus_isError(status)) status = s;
      }
      if (!RegionAtlas_mapsHoldRecord(atlas, r)) {
        RegionHashTable_remove(atlas->m_names, &id);
        if (!r->m_definition) RegionNameRecord_delete(&r);
      }
    }
    // A lower map's names reach the map above it directly now.
    RegionMap* lower = higher ? RegionAtlas_lowerMap(atlas, higher) : nullptr;
    if (lower) {
      std::vector<RegionNameRecord*> below = recordsOf(lower->m_definitions);
      for (RegionNameRecord* r : recordsOf(lower->m_names)) below.push_back(r);
      for (RegionNameRecord* r : below) {
        RegionStatus* s = reconcile(higher, r);
        if (RegionStatus_isError(s) && !RegionStatus_isError(status)) status = s;
      }
    }
  } catch (const std::bad_alloc&) {
    status = RegionStatus_outOfMemory(kTypeWord);
  }
  RegionStatus* refilled = refill(map, definitions, explicitIds);
  if (!RegionStatus_isError(status)) status = refilled;
  RegionAtlas_clearCache(atlas);
  return status;
}

RegionStatus* RegionMap_joinAtlas(RegionMap* map, RegionAtlas* atlas, uint32_t type) {
  if (!map) return invalidMap();
  if (!atlas) return RegionStatus_failf(s_message, sizeof(s_message), RS_INVALID_ATLAS, "Invalid %s.", kAtlasWord);
  return RegionAtlas_addMap(atlas, map, type);
}

RegionStatus* RegionMap_leaveAtlas(RegionMap* map) {
  if (!map) return invalidMap();
  if (!map->m_atlas)
    return RegionStatus_failf(s_message, sizeof(s_message), RS_MAP_NOT_IN_ATLAS, "%s (%s) is not in %s.", kTypeWord,
                              map->m_name && *map->m_name ? map->m_name : "unnamed", kAtlasWord);
  return RegionAtlas_removeMap(map->m_atlas, map);
}

void RegionMap_print(const RegionMap* map, FILE* stream) {
  if (!stream) return;
  if (!map) {
    fputs("Region Map: none\n", stream);
    return;
  }
  fprintf(stream, "Region Map \"%s\"%s%s: %" PRIu64 " definitions, %" PRIu64 " other names", map->m_name ? map->m_name : "",
          map->m_atlas ? ", " : "", map->m_atlas ? RegionMap_typeWord(map->m_type) : "", map->m_definitions->m_count,
          map->m_names->m_count);
  if (map->m_owner) fprintf(stream, ", owner \"%s\"", map->m_owner);
  fputc('\n', stream);
}
