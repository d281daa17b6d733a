#include "RegionDefinition.h"

#include "RegionAtlas.h"
#include "RegionAtlasText.h"
#include "RegionMap.h"
#include "RegionMemory.h"
#include "RegionName.h"
#include "RegionNameDictionary.h"
#include "RegionNameRecord.h"
#include "RegionPool.h"
#include "RegionScope.h"
#include "RegionString.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <unordered_set>
#include <vector>

namespace {

const char* const kTypeWord = "Region Definition";
const char* const kMapWord = "Region Map";
const char* const kNameWord = "Region";

char s_message[REGION_MESSAGE_SIZE];

bool s_settingMap = false;
bool s_modifying = false;

const char* const kWords[] = {nullptr, "Union", "Intersection", "Complement", "Difference", "Symmetric Difference",
                              "Merge", "Alias"};

RegionStatus* invalidDefinition() { return RegionStatus_failf(s_message, sizeof(s_message), RS_INVALID_DEFINITION, "Invalid %s.", kTypeWord); }

RegionStatus* invalidCombination() { return RegionStatus_fail(RS_INVALID_COMBINATION, "Invalid combination."); }

const char* nameOf(const RegionDefinition* definition) {
  const char* name = RegionNameRecord_getName(definition ? definition->m_nameRecord : nullptr);
  return name ? name : "";
}

const char* nameOfId(uint64_t id) {
  const char* name = nullptr;
  RegionNameDictionary_name(id, &name);
  return name ? name : "";
}

bool listHolds(const StringList* list, uint64_t id) {
  if (!list) return false;
  for (uint64_t i = 0; i < list->m_count; ++i) {
    if (list->m_items[i] == id) return true;
  }
  return false;
}

uint64_t countOf(const StringList* list) { return list ? list->m_count : 0; }

// Ids of one side: a few on the stack (as most definitions have), more in a vector.
struct SideIds {
  static const size_t kFew = 16;
  uint64_t m_few[kFew];
  std::vector<uint64_t> m_many;
  uint64_t* m_items = m_few;
  size_t m_count = 0;
  SideIds() = default;
  SideIds(const SideIds&) = delete;
  SideIds& operator=(const SideIds&) = delete;
  bool holds(uint64_t id) const {
    for (size_t i = 0; i < m_count; ++i) {
      if (m_items[i] == id) return true;
    }
    return false;
  }
};

// The ids of the names in the given order, each once; blank names are refused. The first
// preparedCount names come prepared for the dictionary (RegionNameDictionary_prepare).
RegionStatus* idsOf(const char* const* names, int32_t count, SideIds* ids, const RegionNamePrepared* prepared = nullptr,
                    size_t preparedCount = 0) {
  const size_t given = names && count > 0 ? size_t(count) : 0;
  if (given > SideIds::kFew) {
    ids->m_many.resize(given);
    ids->m_items = ids->m_many.data();
  }
  uint64_t* v = ids->m_items;
  // Each id once, where it came first: a few compared with each other as they come, many sorted.
  const bool few = given <= 16;
  for (size_t i = 0; i < given; ++i) {
    RegionStatus* status = nullptr;
    if (RegionName_isBlank(names[i], &status)) return status;
    uint64_t id = 0;
    status = RegionNameDictionary_addPrepared(names[i], i < preparedCount ? &prepared[i] : nullptr, &id);
    if (RegionStatus_isError(status)) return status;
    if (few && ids->holds(id)) continue;
    v[ids->m_count++] = id;
  }
  const size_t n = ids->m_count;
  size_t kept = n;
  if (!few) {
    kept = 0;
    std::vector<std::pair<uint64_t, size_t>> order(n);
    for (size_t i = 0; i < n; ++i) order[i] = {v[i], i};
    std::sort(order.begin(), order.end());
    std::vector<char> repeated(n, 0);
    for (size_t i = 1; i < n; ++i) {
      if (order[i].first == order[i - 1].first) repeated[order[i].second] = 1;
    }
    for (size_t i = 0; i < n; ++i) {
      if (!repeated[i]) v[kept++] = v[i];
    }
  }
  ids->m_count = kept;
  return RegionStatus_success();
}

// The counts a kind needs: one-sided kinds at least one component, an Alias at most one, the
// two-sided kinds at least one on each side.
RegionStatus* checkCounts(int32_t combination, uint64_t countA, uint64_t countB) {
  if (RegionDefinition_isTwoSidedCombination(combination)) {
    if (countA == 0)
      return RegionStatus_failf(s_message, sizeof(s_message), RS_NEEDS_COMPONENT, "%s requires at least one component in first list.", kTypeWord);
    if (countB == 0)
      return RegionStatus_failf(s_message, sizeof(s_message), RS_NEEDS_COMPONENT, "%s requires at least one component in second list.", kTypeWord);
    return RegionStatus_success();
  }
  if (countA == 0)
    return RegionStatus_failf(s_message, sizeof(s_message), RS_NEEDS_COMPONENT, "%s requires at least one component.", kTypeWord);
  if (combination == RC_ALIAS && countA >= 2)
    return RegionStatus_failf(s_message, sizeof(s_message), RS_CANNOT_CREATE_DEFINITION, "ALIAS %s requires at most one component.", kTypeWord);
  return RegionStatus_success();
}

RegionStatus* selfReference(const char* name) {
  return RegionStatus_failf(s_message, sizeof(s_message), RS_SELF_REFERENCE, "%s (%s) references itself.", kTypeWord, name);
}

RegionStatus* levelFailure(uint32_t code, const char* name, const char* tail) {
  // The pieces are joined exactly as they always were, blanks and all.
  return RegionStatus_failf(s_message, sizeof(s_message), code, "Cannot add %sto %s because %s(%s) %s%s.", kTypeWord,
                            kMapWord, kTypeWord, name, tail, kMapWord);
}

// The definition standing for an id in the check's context, or NULL for a primitive.
RegionDefinition* contextDefinition(RegionMap* map, RegionAtlas* atlas, uint64_t id) {
  RegionNameRecord* record = atlas ? RegionAtlas_record(atlas, id) : RegionMap_definedRecord(map, id);
  RegionDefinition* definition = record ? record->m_definition : nullptr;
  return definition && definition->m_map ? definition : nullptr;
}

void pushComponents(const RegionDefinition* definition, std::vector<uint64_t>* stack) {
  for (const StringList* list : {definition->m_listA, definition->m_listB}) {
    for (uint64_t i = 0; list && i < list->m_count; ++i) stack->push_back(list->m_items[i]);
  }
}

// Whether the definition's own id can be reached from its components through the context's
// definitions. Any path back is a cycle, whichever combinations it passes through.
bool reachesItself(const RegionDefinition* definition, RegionMap* map, RegionAtlas* atlas) {
  uint64_t self = RegionDefinition_id(definition);
  std::vector<uint64_t> stack;
  std::unordered_set<uint64_t> visited;
  pushComponents(definition, &stack);
  while (!stack.empty()) {
    uint64_t id = stack.back();
    stack.pop_back();
    if (id == self) return true;
    if (!visited.insert(id).second) continue;
    RegionDefinition* component = contextDefinition(map, atlas, id);
    if (component && component != definition) pushComponents(component, &stack);
  }
  return false;
}

int fail(RegionStatus** out, RegionStatus* status) {
  if (out) *out = status;
  return 0;
}

// Swaps the list of a side for another; the old one is handed back.
StringList* installList(RegionDefinition* definition, int32_t side, StringList* list) {
  StringList*& slot = side == 1 ? definition->m_listA : definition->m_listB;
  StringList* old = slot;
  slot = list;
  return old;
}

} // namespace

const char* RegionDefinition_combinationWord(int32_t combination) {
  return combination >= 1 && combination <= 7 ? kWords[combination] : nullptr;
}

int RegionDefinition_isAcceptedCombination(int32_t combination) {
  return combination == RC_UNION || combination == RC_INTERSECTION || combination == RC_DIFFERENCE ||
                 combination == RC_SYMMETRIC_DIFFERENCE || combination == RC_ALIAS
             ? 1
             : 0;
}

int RegionDefinition_isTwoSidedCombination(int32_t combination) {
  return combination == RC_DIFFERENCE || combination == RC_SYMMETRIC_DIFFERENCE ? 1 : 0;
}

uint64_t RegionDefinition_id(const RegionDefinition* definition) {
  return definition ? RegionNameRecord_getId(definition->m_nameRecord) : 0;
}

void RegionDefinition_linkRecord(RegionDefinition* definition, RegionNameRecord* record, int keepFormer) {
  RegionNameRecord* former = definition->m_nameRecord;
  definition->m_nameRecord = record;
  record->m_definition = definition;
  if (former && former != record) {
    former->m_definition = nullptr;
    if (!keepFormer) RegionNameRecord_delete(&former);
  }
}

RegionStatus* RegionDefinition_new(RegionDefinition** definition, const char* name, int32_t combination,
                                   const char* const* namesA, const char* const* namesB, int32_t countA,
                                   int32_t countB) {
  if (!definition) return RegionStatus_fail(RS_BAD_POINTER, "Invalid object pointer - cannot create new object");
  *definition = nullptr;
  RegionStatus* status = nullptr;
  if (RegionName_isBlank(name, &status)) return status;
  if (!RegionDefinition_isAcceptedCombination(combination)) return invalidCombination();
  bool twoSided = RegionDefinition_isTwoSidedCombination(combination) != 0;
  uint64_t givenA = namesA && countA > 0 ? uint64_t(countA) : 0;
  uint64_t givenB = twoSided && namesB && countB > 0 ? uint64_t(countB) : 0;
  status = checkCounts(combination, givenA, twoSided ? givenB : 1);
  if (RegionStatus_isError(status)) return status;
  StringList* listA = nullptr;
  StringList* listB = nullptr;
  RegionNameRecord* record = nullptr;
  try {
    // The index slots of the name and of its first components are fetched together.
    const size_t kPrepared = 4;
    RegionNamePrepared prepared[kPrepared + 1];
    const size_t preparedA = std::min(kPrepared, size_t(givenA));
    RegionNameDictionary_prepare(name, &prepared[kPrepared]);
    for (size_t i = 0; i < preparedA; ++i) RegionNameDictionary_prepare(namesA[i], &prepared[i]);
    SideIds idsA, idsB;
    status = idsOf(namesA, countA, &idsA, prepared, preparedA);
    if (!RegionStatus_isError(status) && twoSided) status = idsOf(namesB, countB, &idsB);
    uint64_t self = 0;
    if (!RegionStatus_isError(status)) status = RegionNameDictionary_addPrepared(name, &prepared[kPrepared], &self);
    if (!RegionStatus_isError(status) && (idsA.holds(self) || idsB.holds(self))) status = selfReference(name);
    if (!RegionStatus_isError(status)) status = StringList_newFromIds(&listA, idsA.m_items, idsA.m_count);
    if (!RegionStatus_isError(status) && twoSided) status = StringList_newFromIds(&listB, idsB.m_items, idsB.m_count);
    // The name is in the dictionary already: its record by id.
    if (!RegionStatus_isError(status)) status = RegionNameRecord_newForId(&record, self);
  } catch (const std::bad_alloc&) {
    status = RegionStatus_outOfMemory(kTypeWord);
  }
  RegionDefinition* d = nullptr;
  if (!RegionStatus_isError(status)) {
    d = static_cast<RegionDefinition*>(RegionPool_alloc(sizeof(RegionDefinition)));
    if (!d) status = RegionStatus_outOfMemory(kTypeWord);
  }
  if (RegionStatus_isError(status)) {
    if (RegionStatus_getCode(status) == RS_NO_MEMORY) status = RegionStatus_outOfMemory(kTypeWord);
    if (listA) StringList_delete(&listA);
    if (listB) StringList_delete(&listB);
    RegionNameRecord_delete(&record);
    return status;
  }
  // Every field set here: clearing the block first cost more than the fields themselves.
  d->m_nameRecord = record;
  d->m_map = nullptr;
  d->m_combination = combination;
  d->m_listA = listA;
  d->m_listB = listB;
  d->m_vsnText = nullptr;
  d->m_tags = nullptr;
  record->m_definition = d;
  *definition = d;
  return RegionStatus_success();
}

RegionStatus* RegionDefinition_delete(RegionDefinition** definition) {
  if (!definition || !*definition) return invalidDefinition();
  RegionDefinition* d = *definition;
  if (d->m_map) {
    // A definition its map will not let go of stays, listed and alive.
    RegionStatus* status = RegionMap_removeRegionDefinition(d->m_map, d);
    if (RegionStatus_isError(status)) return status;
  }
  RegionNameRecord* record = d->m_nameRecord;
  if (record && record->m_definition == d) record->m_definition = nullptr;
  RegionNameRecord_delete(&record);
  if (d->m_listA) StringList_delete(&d->m_listA);
  if (d->m_listB) StringList_delete(&d->m_listB);
  if (d->m_tags) StringList_delete(&d->m_tags);
  if (d->m_vsnText) String_delete(d->m_vsnText, 1);
  RegionPool_free(d, sizeof(RegionDefinition));
  *definition = nullptr;
  return RegionStatus_success();
}

RegionStatus* RegionDefinition_setMap(RegionDefinition* definition, RegionMap* map) {
  if (s_settingMap) return RegionStatus_success();
  RegionReentryGuard guard(s_settingMap);
  if (!definition) return invalidDefinition();
  if (!map) return RegionStatus_failf(s_message, sizeof(s_message), RS_INVALID_MAP, "Invalid %s.", kMapWord);
  return RegionMap_addRegionDefinition(map, definition);
}

RegionStatus* RegionDefinition_rename(RegionDefinition* definition, const char* name) {
  if (!definition) return invalidDefinition();
  RegionStatus* status = nullptr;
  if (RegionName_isBlank(name, &status)) return status;
  uint64_t newId = 0;
  status = RegionNameDictionary_add(name, &newId);
  if (RegionStatus_isError(status)) return status;
  if (listHolds(definition->m_listA, newId) || listHolds(definition->m_listB, newId)) return selfReference(name);
  uint64_t oldId = RegionDefinition_id(definition);
  if (newId == oldId) return RegionStatus_success();
  RegionMap* map = definition->m_map;
  if (!map) return RegionNameRecord_setId(definition->m_nameRecord, newId);
  status = RegionMap_detachDefinition(map, definition);
  if (RegionStatus_isError(status)) {
    if (RegionStatus_getCode(status) == RS_NO_MEMORY)
      return RegionStatus_failf(s_message, sizeof(s_message), RS_NO_MEMORY, "Unable to allocate memory while renaming %s %s",
                                kTypeWord, nameOfId(oldId));
    return status;
  }
  // Out of the map the definition has a record of its own, which simply takes the new id.
  definition->m_nameRecord->m_id = newId;
  status = RegionMap_addRegionDefinition(map, definition);
  if (!RegionStatus_isError(status)) return status;
  bool recovered = true;
  status = RegionStatus_keepAcross(status, [&] {
    definition->m_nameRecord->m_id = oldId;
    recovered = !RegionStatus_isError(RegionMap_reattachDefinition(map, definition));
  });
  if (!recovered) return RegionStatus_fail(RS_INTERNAL, "Fatal Internal Error: Unable to recover.");
  if (RegionStatus_getCode(status) == RS_NO_MEMORY)
    return RegionStatus_failf(s_message, sizeof(s_message), RS_NO_MEMORY, "Unable to allocate memory while renaming %s %s",
                              kTypeWord, nameOfId(oldId));
  return status;
}

RegionStatus* RegionDefinition_setNameRecord(RegionDefinition* definition, RegionNameRecord* record) {
  if (!definition) return invalidDefinition();
  if (!record) return RegionStatus_failf(s_message, sizeof(s_message), RS_INVALID_NAME, "Invalid %s name.", kNameWord);
  if (definition->m_nameRecord == record) {
    record->m_definition = definition;
    return RegionStatus_success();
  }
  if (record->m_definition && record->m_definition != definition)
    return RegionStatus_failf(s_message, sizeof(s_message), RS_ALREADY_DEFINED, "%s (%s) is already defined.", kNameWord,
                              nameOfId(record->m_id));
  if (listHolds(definition->m_listA, record->m_id) || listHolds(definition->m_listB, record->m_id))
    return selfReference(nameOfId(record->m_id));
  RegionMap* map = definition->m_map;
  if (!map) {
    RegionDefinition_linkRecord(definition, record, 0);
    return RegionStatus_success();
  }
  RegionStatus* status = RegionMap_detachDefinition(map, definition);
  if (RegionStatus_isError(status)) return status;
  RegionNameRecord* own = definition->m_nameRecord;
  RegionDefinition_linkRecord(definition, record, 1);
  status = RegionMap_addRegionDefinition(map, definition);
  if (!RegionStatus_isError(status)) {
    RegionNameRecord_delete(&own);
    return status;
  }
  bool recovered = true;
  status = RegionStatus_keepAcross(status, [&] {
    RegionDefinition_linkRecord(definition, own, 1);
    recovered = !RegionStatus_isError(RegionMap_reattachDefinition(map, definition));
  });
  if (!recovered) return RegionStatus_fail(RS_INTERNAL, "Fatal Internal Error: Unable to recover.");
  if (RegionStatus_getCode(status) == RS_NO_MEMORY)
    return RegionStatus_failf(s_message, sizeof(s_message), RS_NO_MEMORY, "Unable to allocate memory while renaming %s %s",
                              kTypeWord, nameOfId(record->m_id));
  return status;
}

RegionStatus* RegionDefinition_setCombination(RegionDefinition* definition, int32_t combination) {
  if (!definition) return invalidDefinition();
  if (!RegionDefinition_isAcceptedCombination(combination)) return invalidCombination();
  // A kind whose count rules the present lists break could be neither expanded nor written back
  // as readable text; it is refused.
  bool twoSided = RegionDefinition_isTwoSidedCombination(combination) != 0;
  if (combination == RC_ALIAS && countOf(definition->m_listA) >= 2)
    return RegionStatus_failf(s_message, sizeof(s_message), RS_CANNOT_CREATE_DEFINITION, "ALIAS %s requires at most one component.", kTypeWord);
  if (twoSided && countOf(definition->m_listB) == 0)
    return RegionStatus_failf(s_message, sizeof(s_message), RS_NEEDS_COMPONENT, "%s requires at least one component in second list.", kTypeWord);
  // In a map the definition steps out and back in, so that the names of a dropped list B lose
  // its references, the name hook hears 0 and then 1, and the atlas's cache is discarded.
  RegionMap* map = definition->m_map;
  if (map) {
    RegionStatus* status = RegionMap_detachDefinition(map, definition);
    if (RegionStatus_isError(status)) return status;
  }
  int32_t oldCombination = definition->m_combination;
  StringList* dropped = twoSided ? nullptr : definition->m_listB;
  definition->m_listB = twoSided ? definition->m_listB : nullptr;
  definition->m_combination = combination;
  RegionStatus* status = map ? RegionMap_attachDefinition(map, definition) : RegionStatus_success();
  if (RegionStatus_isError(status)) {
    return RegionStatus_keepAcross(status, [&] {
      definition->m_combination = oldCombination;
      if (!twoSided) definition->m_listB = dropped;
      dropped = nullptr;
      RegionMap_reattachDefinition(map, definition);
    });
  }
  if (dropped) StringList_delete(&dropped);
  return status;
}

RegionStatus* RegionDefinition_modifyComponents(RegionDefinition* definition, int32_t operation, int32_t side,
                                                const char* const* names, int32_t count) {
  if (s_modifying) return RegionStatus_success();
  RegionReentryGuard guard(s_modifying);
  if (!definition) return invalidDefinition();
  if (side != 1 && side != 2) return RegionStatus_fail(RS_INVALID_SIDE, "Invalid side on which to perform operation.");
  if (operation < RO_ADD || operation > RO_CLEAR) return RegionStatus_fail(RS_INVALID_OPERATION, "Invalid operation.");
  if (side == 2 && !RegionDefinition_isTwoSidedCombination(definition->m_combination))
    return RegionStatus_failf(s_message, sizeof(s_message), RS_INVALID_SIDE, "Invalid side for type of %s.", kTypeWord);
  const StringList* present = side == 1 ? definition->m_listA : definition->m_listB;
  RegionMap* map = definition->m_map;
  StringList* assembled = nullptr;
  RegionStatus* status = RegionStatus_success();
  try {
    std::vector<uint64_t> result;
    if (operation == RO_ADD) {
      if (present) result.assign(present->m_items, present->m_items + present->m_count);
      std::unordered_set<uint64_t> seen(result.begin(), result.end());
      SideIds given;
      status = idsOf(names, count, &given);
      if (RegionStatus_isError(status)) return status;
      uint64_t self = RegionDefinition_id(definition);
      for (size_t i = 0; i < given.m_count; ++i) {
        const uint64_t id = given.m_items[i];
        if (id == self) return selfReference(nameOf(definition));
        if (seen.insert(id).second) result.push_back(id);
      }
      if (definition->m_combination == RC_ALIAS && result.size() >= 2)
        return RegionStatus_failf(s_message, sizeof(s_message), RS_OPERATION_REFUSED,
                                  "Invalid operation (RO_ADD) for an valid RC_ALIAS %s.", kTypeWord);
    } else if (operation == RO_REMOVE) {
      std::unordered_set<uint64_t> removed;
      for (int32_t i = 0; names && i < count; ++i) {
        uint64_t id = 0;
        const char* name = names[i] ? names[i] : "";
        if (RegionStatus_isError(RegionNameDictionary_lookup(name, &id)) || !listHolds(present, id))
          return RegionStatus_failf(s_message, sizeof(s_message), RS_NOT_FOUND, "Component \"%s\" is not in the component list", name);
        removed.insert(id);
      }
      for (uint64_t i = 0; present && i < present->m_count; ++i) {
        if (!removed.count(present->m_items[i])) result.push_back(present->m_items[i]);
      }
      // Judged by what is left, so that naming a component twice cannot empty the list.
      if (result.empty()) return RegionStatus_fail(RS_WOULD_BE_INVALID, "Component list cannot be empty.");
    } else if (map) {
      return RegionStatus_failf(s_message, sizeof(s_message), RS_OPERATION_REFUSED, "Invalid operation (RO_CLEAR) for a %s in a %s.",
                                kTypeWord, kMapWord);
    }
    std::sort(result.begin(), result.end());
    if (!result.empty() || side == 1) status = StringList_newFromIds(&assembled, result.data(), result.size());
  } catch (const std::bad_alloc&) {
    status = RegionStatus_outOfMemory("list");
  }
  if (RegionStatus_isError(status)) {
    if (RegionStatus_getCode(status) == RS_NO_MEMORY) return RegionStatus_fail(RS_NO_MEMORY, "Insufficient memory to modify components.");
    return status;
  }
  if (map) {
    status = RegionMap_detachDefinition(map, definition);
    if (RegionStatus_isError(status)) {
      if (assembled) StringList_delete(&assembled);
      return status;
    }
  }
  StringList* old = installList(definition, side, assembled);
  if (map) {
    if (operation == RO_ADD && !RegionDefinition_checkInMap(definition, map, &status)) {
      return RegionStatus_keepAcross(status, [&] {
        StringList* refused = installList(definition, side, old);
        if (refused) StringList_delete(&refused);
        RegionMap_reattachDefinition(map, definition);
      });
    }
    status = RegionMap_attachDefinition(map, definition);
    if (RegionStatus_isError(status)) {
      return RegionStatus_keepAcross(status, [&] {
        StringList* refused = installList(definition, side, old);
        if (refused) StringList_delete(&refused);
        RegionMap_reattachDefinition(map, definition);
      });
    }
  }
  if (old) StringList_delete(&old);
  return RegionStatus_success();
}

int RegionDefinition_checkInMap(RegionDefinition* definition, RegionMap* map, RegionStatus** status) {
  return RegionDefinition_checkInMapFinding(definition, map, status, nullptr);
}

int RegionDefinition_checkInMapFinding(RegionDefinition* definition, RegionMap* map, RegionStatus** status,
                                       RegionNameLookups* lookups) {
  if (lookups) lookups->m_found = 0;
  RegionStatus_set(status, 0, 0, nullptr);
  if (!definition) return fail(status, invalidDefinition());
  if (!map) return fail(status, RegionStatus_failf(s_message, sizeof(s_message), RS_INVALID_MAP, "Invalid %s.", kMapWord));
  bool twoSided = RegionDefinition_isTwoSidedCombination(definition->m_combination) != 0;
  RegionStatus* s = checkCounts(definition->m_combination, countOf(definition->m_listA), twoSided ? countOf(definition->m_listB) : 1);
  if (RegionStatus_isError(s)) return fail(status, s);
  uint64_t id = RegionDefinition_id(definition);
  // The name is wanted only for a refusal's message.
  auto name = [definition] { return nameOf(definition); };
  RegionAtlas* atlas = map->m_atlas;
  // The atlas's table holds every record of its maps: a name it does not know is in no table of
  // the map either.
  RegionNameRecord* shared = atlas ? RegionAtlas_record(atlas, id) : nullptr;
  const bool mapSearched = !atlas || shared || !RegionMap_atlasAnswersFirst();
  RegionNameRecord* known = mapSearched ? RegionMap_definedRecord(map, id) : nullptr;
  const bool namesSearched = !known;
  if (!known && mapSearched) known = RegionMap_nameRecord(map, id);
  if (known && known->m_definition)
    return fail(status, RegionStatus_failf(s_message, sizeof(s_message), RS_ALREADY_DEFINED, "%s (%s) is already defined.", kTypeWord, name()));
  // A name another map of the atlas defines cannot be defined a second time.
  if (shared && shared->m_definition && shared->m_definition != definition && shared->m_definition->m_map)
    return fail(status, RegionStatus_failf(s_message, sizeof(s_message), RS_ALREADY_DEFINED, "%s (%s) is already defined.", kTypeWord, name()));
  int flag = 0;
  if (known && !RegionStatus_isError(RegionNameRecord_isExplicitIn(known, map, &flag)) && flag)
    return fail(status, RegionStatus_failf(s_message, sizeof(s_message), RS_EXPLICIT_CANNOT_DEFINE,
                                           "Explicit primitive %s (%s) cannot be defined in the %s.", kNameWord, name(), kMapWord));
  if (atlas) {
    // The level rules hold for every definition, referenced or not.
    RegionMap* lower = RegionAtlas_lowerMap(atlas, map);
    RegionNameRecord* below = lower ? RegionMap_nameRecord(lower, id) : nullptr;
    if (below) {
      int referenced = 0, declared = 0, inherited = 0;
      RegionNameRecord_isReferencedIn(below, lower, &referenced);
      RegionNameRecord_isExplicitIn(below, lower, &declared);
      RegionNameRecord_isInheritedIn(below, lower, &inherited);
      if (referenced || declared || inherited) return fail(status, levelFailure(RS_REFERENCED_LOWER, name(), "is referenced from a lower "));
    }
    RegionMap* higher = nullptr;
    RegionMap* highest = nullptr;
    if (map->m_type == REGION_MAP_ZYR) {
      higher = atlas->m_primaryMap ? atlas->m_primaryMap : atlas->m_secondaryMap;
      if (higher == atlas->m_primaryMap) highest = atlas->m_secondaryMap;
    } else if (map->m_type == REGION_MAP_PRIMARY) {
      higher = atlas->m_secondaryMap;
    }
    for (const StringList* list : {definition->m_listA, twoSided ? definition->m_listB : nullptr}) {
      for (uint64_t i = 0; list && i < list->m_count; ++i) {
        uint64_t component = list->m_items[i];
        if ((higher && RegionMap_definedRecord(higher, component)) || (highest && RegionMap_definedRecord(highest, component)))
          return fail(status, levelFailure(RS_DEFINED_HIGHER, nameOfId(component), "is defined in a higher."));
      }
    }
  }
  // Only a name some definition uses can be reached again from the definition's components.
  RegionNameRecord* context = atlas ? shared : known;
  int referenced = 0;
  if (context) RegionNameRecord_isReferenced(context, &referenced);
  if (referenced) {
    bool cycle = false;
    try {
      cycle = reachesItself(definition, map, atlas);
    } catch (const std::bad_alloc&) {
      return fail(status, RegionStatus_outOfMemory("Primitives"));
    }
    if (cycle)
      return fail(status, RegionStatus_failf(s_message, sizeof(s_message), RS_SELF_REFERENCE, "%s (%s) cannot reference itself.",
                                             kTypeWord, name()));
  }
  if (lookups && namesSearched) {
    lookups->m_found = 1;
    lookups->m_inAtlas = shared;
    lookups->m_inNames = known;
  }
  return 1;
}

RegionStatus* RegionDefinition_getName(const RegionDefinition* definition, const char** name, RegionNameRecord** record) {
  if (!name || !record) return RegionStatus_failf(s_message, sizeof(s_message), RS_BAD_POINTER, "Name of %s cannot be returned.", kTypeWord);
  *name = nullptr;
  *record = nullptr;
  if (!definition) return invalidDefinition();
  *name = RegionNameRecord_getName(definition->m_nameRecord);
  *record = definition->m_nameRecord;
  return RegionStatus_success();
}

RegionStatus* RegionDefinition_getMap(const RegionDefinition* definition, RegionMap** map) {
  if (!map)
    return RegionStatus_failf(s_message, sizeof(s_message), RS_BAD_POINTER, "%s of which %s is a member cannot be returned.",
                              kMapWord, kTypeWord);
  *map = nullptr;
  if (!definition) return invalidDefinition();
  if (!definition->m_map) return RegionStatus_failf(s_message, sizeof(s_message), RS_NOT_IN_MAP, "%s not in a %s.", kTypeWord, kMapWord);
  *map = definition->m_map;
  return RegionStatus_success();
}

RegionStatus* RegionDefinition_getCombination(const RegionDefinition* definition, int32_t* combination) {
  if (!combination) return RegionStatus_fail(RS_BAD_POINTER, "Combination cannot be returned.");
  *combination = 0;
  if (!definition) return invalidDefinition();
  *combination = definition->m_combination;
  return RegionStatus_success();
}

int RegionDefinition_isTwoSided(const RegionDefinition* definition, RegionStatus** status) {
  RegionStatus_set(status, 0, 0, nullptr);
  if (!definition) return fail(status, invalidDefinition());
  return RegionDefinition_isTwoSidedCombination(definition->m_combination);
}

namespace {

RegionStatus* sideList(const RegionDefinition* definition, int32_t side, const StringList** list) {
  *list = nullptr;
  if (!definition) return invalidDefinition();
  if (side != 1 && side != 2) return RegionStatus_fail(RS_INVALID_SIDE, "Invalid side on which to perform operation.");
  if (side == 2 && !RegionDefinition_isTwoSidedCombination(definition->m_combination))
    return RegionStatus_failf(s_message, sizeof(s_message), RS_OPERATION_REFUSED, "Invalid side for type of %s", kTypeWord);
  *list = side == 1 ? definition->m_listA : definition->m_listB;
  return RegionStatus_success();
}

} // namespace

RegionStatus* RegionDefinition_getComponents(const RegionDefinition* definition, int32_t side, int32_t mode, ...) {
  const StringList* list = nullptr;
  RegionStatus* status = sideList(definition, side, &list);
  if (RegionStatus_isError(status)) return status;
  va_list outputs;
  va_start(outputs, mode);
  status = StringList_vcontents(list, mode, outputs);
  va_end(outputs);
  return status;
}

RegionStatus* RegionDefinition_getComponentIds(const RegionDefinition* definition, int32_t side, uint64_t** ids,
                                               uint64_t* count) {
  if (!ids || !count) return RegionStatus_fail(RS_BAD_POINTER, "Components cannot be returned.");
  *ids = nullptr;
  *count = 0;
  const StringList* list = nullptr;
  RegionStatus* status = sideList(definition, side, &list);
  if (RegionStatus_isError(status)) return status;
  if (!list || list->m_count == 0) return RegionStatus_success();
  uint64_t* copy = static_cast<uint64_t*>(RegionMemory_allocArray(list->m_count, sizeof(uint64_t)));
  if (!copy) return RegionStatus_outOfMemory("list of components");
  memcpy(copy, list->m_items, list->m_count * sizeof(uint64_t));
  *ids = copy;
  *count = list->m_count;
  return RegionStatus_success();
}

RegionStatus* RegionDefinition_freeComponentIds(uint64_t** ids) {
  if (ids) {
    RegionMemory_free(*ids);
    *ids = nullptr;
  }
  return RegionStatus_success();
}

RegionStatus* RegionDefinition_getComponentList(const RegionDefinition* definition, int32_t side, StringList** list) {
  if (!list) return RegionStatus_fail(RS_BAD_POINTER, "Components cannot be returned.");
  *list = nullptr;
  const StringList* source = nullptr;
  RegionStatus* status = sideList(definition, side, &source);
  if (RegionStatus_isError(status)) return status;
  if (!source || source->m_count == 0) return RegionStatus_success();
  status = StringList_copy(list, source);
  if (RegionStatus_getCode(status) == RS_NO_MEMORY) return RegionStatus_outOfMemory("list of components");
  return status;
}

int RegionDefinition_isWritableWord(const char* text) {
  if (!text || !*text) return 0;
  size_t n = strlen(text);
  if (text[0] == ' ' || text[n - 1] == ' ' || text[n - 1] == '\\') return 0;
  for (size_t i = 0; i < n; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7f || strchr(",#()", c)) return 0;
    if (c == ' ' && text[i + 1] == ' ') return 0;
  }
  return 1;
}

RegionStatus* RegionDefinition_addTag(RegionDefinition* definition, const char* tag) {
  if (!definition) return invalidDefinition();
  if (RegionName_isBlank(tag, nullptr)) return RegionStatus_success();
  if (!RegionDefinition_isWritableWord(tag))
    return RegionStatus_failf(s_message, sizeof(s_message), RS_INVALID_STRING, "Tag \"%s\" cannot be written in region-atlas text.", tag);
  uint64_t id = 0;
  RegionStatus* status = RegionNameDictionary_add(tag, &id);
  if (RegionStatus_isError(status)) return status;
  if (!definition->m_tags) {
    status = StringList_new(&definition->m_tags, 1);
    if (RegionStatus_isError(status)) return status;
  }
  return StringList_addId(definition->m_tags, id);
}

RegionStatus* RegionDefinition_removeTag(RegionDefinition* definition, const char* tag) {
  if (!definition) return invalidDefinition();
  if (RegionName_isBlank(tag, nullptr)) return RegionStatus_success();
  uint64_t id = 0;
  if (RegionStatus_isError(RegionNameDictionary_lookup(tag, &id)) || !listHolds(definition->m_tags, id))
    return RegionStatus_success();
  return StringList_removeId(definition->m_tags, id);
}

RegionStatus* RegionDefinition_taggedWith(const RegionDefinition* definition, const char* tag, int* flag) {
  if (!flag) return RegionStatus_failf(s_message, sizeof(s_message), RS_BAD_POINTER, "Unable to return whether %s is tagged.", kTypeWord);
  *flag = 0;
  if (!definition) return invalidDefinition();
  if (RegionName_isBlank(tag, nullptr)) return RegionStatus_success();
  uint64_t id = 0;
  if (RegionStatus_isError(RegionNameDictionary_lookup(tag, &id))) return RegionStatus_success();
  *flag = listHolds(definition->m_tags, id) ? 1 : 0;
  return RegionStatus_success();
}

RegionStatus* RegionDefinition_isTagged(const RegionDefinition* definition, int* flag) {
  if (!flag) return RegionStatus_failf(s_message, sizeof(s_message), RS_BAD_POINTER, "Unable to return whether %s is tagged.", kTypeWord);
  *flag = 0;
  if (!definition) return invalidDefinition();
  *flag = countOf(definition->m_tags) > 0 ? 1 : 0;
  return RegionStatus_success();
}

RegionStatus* RegionDefinition_tags(const RegionDefinition* definition, int32_t mode, ...) {
  if (!definition) return invalidDefinition();
  va_list outputs;
  va_start(outputs, mode);
  RegionStatus* status = StringList_vcontents(definition->m_tags, mode, outputs);
  va_end(outputs);
  return status;
}

RegionStatus* RegionDefinition_freeVSN(RegionDefinition* definition) {
  if (!definition) return invalidDefinition();
  if (definition->m_vsnText) String_delete(definition->m_vsnText, 1);
  definition->m_vsnText = nullptr;
  return RegionStatus_success();
}

RegionStatus* RegionDefinition_writeToFile(RegionDefinition* definition, FILE* stream) {
  if (!stream) return RegionStatus_fail(RS_BAD_CALL, "Unable to write definition: File Descriptor is invalid.");
  const char* text = nullptr;
  RegionStatus* status = RegionDefinition_getVSN(definition, &text);
  if (RegionStatus_isError(status)) return status;
  bool written = fputs(text, stream) >= 0;
  RegionDefinition_freeVSN(definition);
  if (!written) return RegionStatus_fail(RS_BAD_FILE, "Unable to write definition: File write failed.");
  return RegionStatus_success();
}

RegionStatus* RegionDefinition_writeToDataset(RegionDefinition* definition, void* file, const char* what,
                                              const char* where) {
  if (!file) return RegionStatus_fail(RS_BAD_CALL, "Unable to write definition: File Descriptor is invalid.");
  if (!what || !*what || !where || !*where)
    return RegionStatus_fail(RS_BAD_CALL, "Unable to write definition: Dataset specified (WHAT/WHERE/WHEN) is invalid.");
  const char* text = nullptr;
  RegionStatus* status = RegionDefinition_getVSN(definition, &text);
  if (RegionStatus_isError(status)) return status;
  status = RegionDefinition_writeTextToDataset(text, file, what, where);
  RegionDefinition_freeVSN(definition);
  return status;
}

void RegionDefinition_print(const RegionDefinition* definition, FILE* stream) {
  if (!stream) return;
  fprintf(stream, " %s", nameOf(definition));
  fflush(stream);
}

int RegionDefinition_notifyAtlas(const RegionDefinition* definition, const RegionMap* map, int operation,
                                 const char* name) {
  if (!definition || !name) return 0;
  const RegionMap* m = map ? map : definition->m_map;
  if (m && m->m_atlas && m->m_type != REGION_MAP_ZYR) RegionAtlas_notify(m->m_atlas, operation, name);
  return 1;
}
