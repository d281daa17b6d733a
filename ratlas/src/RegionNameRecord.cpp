#include "RegionNameRecord.h"

#include "RegionDefinition.h"
#include "RegionMap.h"
#include "RegionMemory.h"
#include "RegionPool.h"
#include "RegionName.h"
#include "RegionNameDictionary.h"
#include "StringList.h"

#include <algorithm>
#include <cstring>

namespace {

const char* const kTypeWord = "Region";
const char* const kMapWord = "Region Map";

char s_message[REGION_MESSAGE_SIZE];

RegionStatus* invalidRecord() { return RegionStatus_failf(s_message, sizeof(s_message), RS_INVALID_NAME, "Invalid %s name.", kTypeWord); }

RegionStatus* invalidMap() { return RegionStatus_failf(s_message, sizeof(s_message), RS_INVALID_MAP, "Invalid %s.", kMapWord); }

// The common start of the questions: flag cleared, then the flag pointer and the record checked.
RegionStatus* startQuestion(const RegionNameRecord* record, int* flag, const char* missingFlag) {
  if (!flag) return RegionStatus_failf(s_message, sizeof(s_message), RS_BAD_POINTER, missingFlag, kTypeWord, kMapWord);
  *flag = 0;
  if (!record) return invalidRecord();
  return RegionStatus_success();
}

int slotOf(RegionMap* const* slots, const RegionMap* map) {
  for (int i = 0; i < REGION_NAME_MAP_SLOTS; ++i) {
    if (slots[i] == map) return i;
  }
  return -1;
}

// The scan of a slot set: an empty slot or the map itself ends it. 0 when all three slots hold
// other maps.
int addToSlots(RegionMap** slots, RegionMap* map) {
  for (int i = 0; i < REGION_NAME_MAP_SLOTS; ++i) {
    if (slots[i] == map) return 1;
    if (!slots[i]) {
      slots[i] = map;
      return 1;
    }
  }
  return 0;
}

void removeFromSlots(RegionMap** slots, const RegionMap* map) {
  int i = slotOf(slots, map);
  if (i < 0) return;
  for (; i + 1 < REGION_NAME_MAP_SLOTS; ++i) slots[i] = slots[i + 1];
  slots[REGION_NAME_MAP_SLOTS - 1] = nullptr;
}

// Scoped re-entrancy flags: a nested call of the same operation succeeds at once.
bool s_defining = false;
bool s_addingReference = false;
bool s_removingReference = false;

struct Guard {
  bool& m_flag;
  explicit Guard(bool& flag) : m_flag(flag) { m_flag = true; }
  ~Guard() { m_flag = false; }
  Guard(const Guard&) = delete;
  Guard& operator=(const Guard&) = delete;
};

const char* const kDefinitionWord = "Region Definition";

RegionStatus* invalidDefinition() {
  return RegionStatus_failf(s_message, sizeof(s_message), RS_INVALID_DEFINITION, "Invalid %s.", kDefinitionWord);
}

bool listHolds(const StringList* list, uint64_t id) {
  if (!list || list->m_count == 0) return false;
  for (uint64_t i = 0; i < list->m_count; ++i) {
    if (list->m_items[i] == id) return true;
  }
  return false;
}

} // namespace

RegionStatus* RegionNameRecord_new(RegionNameRecord** record, const char* name) {
  if (!record) return RegionStatus_fail(RS_BAD_POINTER, "Invalid object pointer - cannot create new object");
  *record = nullptr;
  RegionStatus* status = nullptr;
  if (RegionName_isBlank(name, &status)) return status;
  RegionNameRecord* r = static_cast<RegionNameRecord*>(RegionPool_allocZeroed(sizeof(RegionNameRecord)));
  if (!r) return RegionStatus_outOfMemory(kTypeWord);
  if (RegionStatus_isError(RegionNameDictionary_add(name, &r->m_id))) {
    RegionPool_free(r, sizeof(RegionNameRecord));
    return RegionStatus_outOfMemory(kTypeWord);
  }
  *record = r;
  return RegionStatus_success();
}

RegionStatus* RegionNameRecord_delete(RegionNameRecord** record) {
  if (record && *record) {
    if ((*record)->m_references) StringList_delete(&(*record)->m_references);
    RegionPool_free(*record, sizeof(RegionNameRecord));
    *record = nullptr;
  }
  return RegionStatus_success();
}

int RegionNameRecord_isValid(const RegionNameRecord* record, RegionStatus** status) {
  RegionStatus_set(status, 0, 0, nullptr);
  if (record) return 1;
  RegionStatus* s = invalidRecord();
  if (status) *status = s;
  return 0;
}

const char* RegionNameRecord_getName(const RegionNameRecord* record) {
  const char* name = nullptr;
  if (record && !RegionStatus_isError(RegionNameDictionary_name(record->m_id, &name))) return name;
  return nullptr;
}

uint64_t RegionNameRecord_getId(const RegionNameRecord* record) { return record ? record->m_id : 0; }

RegionStatus* RegionNameRecord_setId(RegionNameRecord* record, uint64_t id) {
  RegionStatus* status = RegionNameDictionary_name(id, nullptr);
  if (RegionStatus_isError(status)) return status;
  if (!RegionNameRecord_isValid(record, &status)) return status;
  record->m_id = id;
  return RegionStatus_success();
}

RegionStatus* RegionNameRecord_rename(RegionNameRecord* record, const char* name) {
  RegionStatus* status = nullptr;
  if (!RegionNameRecord_isValid(record, &status)) return status;
  uint64_t id = 0;
  status = RegionNameDictionary_lookup(name, &id);
  if (RegionStatus_isError(status)) return status;
  record->m_id = id;
  return RegionStatus_success();
}

RegionStatus* RegionNameRecord_getDefinition(const RegionNameRecord* record, RegionDefinition** definition) {
  if (!definition) return RegionStatus_fail(RS_BAD_POINTER, "Invalid object pointer - cannot return result");
  *definition = nullptr;
  if (!record) return invalidRecord();
  if (!record->m_definition) return RegionStatus_failf(s_message, sizeof(s_message), RS_IS_PRIMITIVE, "%s is primitive.", kTypeWord);
  *definition = record->m_definition;
  return RegionStatus_success();
}

RegionStatus* RegionNameRecord_isPrimitive(const RegionNameRecord* record, int* flag) {
  RegionStatus* status = startQuestion(record, flag, "Cannot return whether the %s is a primitive.");
  if (RegionStatus_isError(status)) return status;
  *flag = record->m_definition ? 0 : 1;
  return status;
}

RegionStatus* RegionNameRecord_isDefined(const RegionNameRecord* record, int* flag) {
  RegionStatus* status = startQuestion(record, flag, "Cannot return whether the %s is a defined.");
  if (RegionStatus_isError(status)) return status;
  *flag = record->m_definition ? 1 : 0;
  return status;
}

RegionStatus* RegionNameRecord_isReferenced(const RegionNameRecord* record, int* flag) {
  RegionStatus* status = startQuestion(record, flag, "Cannot return whether the %s is referenced.");
  if (RegionStatus_isError(status)) return status;
  *flag = record->m_references && record->m_references->m_count > 0 ? 1 : 0;
  return status;
}

RegionStatus* RegionNameRecord_isExplicit(const RegionNameRecord* record, int* flag) {
  RegionStatus* status = startQuestion(record, flag, "Cannot return whether the %s is an explicit primitive.");
  if (RegionStatus_isError(status)) return status;
  *flag = record->m_explicit ? 1 : 0;
  return status;
}

RegionStatus* RegionNameRecord_isExplicitIn(const RegionNameRecord* record, const RegionMap* map, int* flag) {
  RegionStatus* status = startQuestion(record, flag, "Cannot return whether the %s is an explicit primitive.");
  if (RegionStatus_isError(status)) return status;
  if (!map) return invalidMap();
  *flag = record->m_explicit && slotOf(record->m_explicitMaps, map) >= 0 ? 1 : 0;
  return status;
}

RegionStatus* RegionNameRecord_isInheritedIn(const RegionNameRecord* record, const RegionMap* map, int* flag) {
  RegionStatus* status = startQuestion(record, flag, "Cannot return whether the %s is inherited in a %s.");
  if (RegionStatus_isError(status)) return status;
  if (!map) return invalidMap();
  *flag = slotOf(record->m_inheritingMaps, map) >= 0 ? 1 : 0;
  return status;
}

RegionStatus* RegionNameRecord_addExplicitMap(RegionNameRecord* record, RegionMap* map) {
  if (!record) return invalidRecord();
  if (!map) return invalidMap();
  if (!addToSlots(record->m_explicitMaps, map))
    return RegionStatus_fail(RS_CANNOT_BE_EXPLICIT, "Name is already an explicit primitive in three maps");
  record->m_explicit = 1;
  return RegionStatus_success();
}

RegionStatus* RegionNameRecord_removeExplicitMap(RegionNameRecord* record, const RegionMap* map) {
  if (!record) return invalidRecord();
  if (!map) return invalidMap();
  if (record->m_explicit) {
    removeFromSlots(record->m_explicitMaps, map);
    if (!record->m_explicitMaps[0]) record->m_explicit = 0;
  }
  return RegionStatus_success();
}

RegionStatus* RegionNameRecord_addInheritingMap(RegionNameRecord* record, RegionMap* map) {
  if (!record) return invalidRecord();
  if (!map) return invalidMap();
  if (!addToSlots(record->m_inheritingMaps, map))
    return RegionStatus_fail(RS_INTERNAL, "Name is already an inherited by three maps");
  return RegionStatus_success();
}

RegionStatus* RegionNameRecord_removeInheritingMap(RegionNameRecord* record, const RegionMap* map) {
  if (!record) return invalidRecord();
  if (!map) return invalidMap();
  removeFromSlots(record->m_inheritingMaps, map);
  return RegionStatus_success();
}

RegionStatus* RegionNameRecord_getRepresentedName(const RegionNameRecord* record, char** name) {
  if (!name) return RegionStatus_failf(s_message, sizeof(s_message), RS_BAD_POINTER, "Cannot return the name the %s represents.", kTypeWord);
  (void)record;
  return RegionStatus_fail(RS_INTERNAL, "Internal Error.");
}

void RegionNameRecord_print(const RegionNameRecord* record, FILE* stream) {
  if (!stream) return;
  if (!record) {
    fputs("Region name record: none\n", stream);
    return;
  }
  const char* name = RegionNameRecord_getName(record);
  int explicitMaps = 0, inheritingMaps = 0;
  for (int i = 0; i < REGION_NAME_MAP_SLOTS; ++i) {
    explicitMaps += record->m_explicitMaps[i] != nullptr;
    inheritingMaps += record->m_inheritingMaps[i] != nullptr;
  }
  fprintf(stream, "Region name record \"%s\" (id %llu): %s, %llu references, explicit in %d maps, inherited by %d maps\n",
          name ? name : "", static_cast<unsigned long long>(record->m_id), record->m_definition ? "composite" : "primitive",
          static_cast<unsigned long long>(record->m_references ? record->m_references->m_count : 0), explicitMaps,
          inheritingMaps);
}

RegionStatus* RegionNameRecord_newForId(RegionNameRecord** record, uint64_t id) {
  if (!record) return RegionStatus_fail(RS_BAD_POINTER, "Invalid object pointer - cannot create new object");
  *record = nullptr;
  // The id is in the dictionary already: no text to hash again.
  if (RegionStatus_isError(RegionNameDictionary_name(id, nullptr))) return RegionStatus_fail(RS_NOT_FOUND, "No match");
  RegionNameRecord* r = static_cast<RegionNameRecord*>(RegionPool_allocZeroed(sizeof(RegionNameRecord)));
  if (!r) return RegionStatus_outOfMemory(kTypeWord);
  r->m_id = id;
  *record = r;
  return RegionStatus_success();
}

namespace {

// References are appended as definitions arrive and put in order only when one has to be found,
// so a name that many definitions use costs one sort, whatever order they come and go in.
void orderReferences(StringList* list) {
  if (list->m_flags & STRING_LIST_SORTED) return;
  std::sort(list->m_items, list->m_items + list->m_count);
  list->m_flags |= STRING_LIST_SORTED;
}

bool roomForReference(StringList* list) {
  if (list->m_count < list->m_capacity) return true;
  return StringList_reserve(list, list->m_capacity ? list->m_capacity * 2 : 10) != 0;
}

RegionStatus* ensureReferences(RegionNameRecord* record) {
  if (record->m_references) return RegionStatus_success();
  RegionStatus* status = StringList_new(&record->m_references, 10);
  if (RegionStatus_isError(status)) return RegionStatus_outOfMemory(kTypeWord);
  record->m_references->m_flags |= STRING_LIST_SORTED;
  return status;
}

} // namespace

RegionStatus* RegionNameRecord_appendReferenceId(RegionNameRecord* record, uint64_t id) {
  if (!record) return invalidRecord();
  RegionStatus* status = ensureReferences(record);
  if (RegionStatus_isError(status)) return status;
  StringList* list = record->m_references;
  if (!roomForReference(list)) return RegionStatus_outOfMemory(kTypeWord);
  if (list->m_count > 0 && id < list->m_items[list->m_count - 1]) list->m_flags &= uint8_t(~STRING_LIST_SORTED);
  list->m_items[list->m_count++] = id;
  return RegionStatus_success();
}

RegionStatus* RegionNameRecord_addReferenceId(RegionNameRecord* record, uint64_t id) {
  if (!record) return invalidRecord();
  RegionStatus* status = ensureReferences(record);
  if (RegionStatus_isError(status)) return status;
  StringList* list = record->m_references;
  orderReferences(list);
  uint64_t position = 0;
  if (RegionId_bsearch(list->m_items, list->m_count, id, &position)) return RegionStatus_success();
  if (!roomForReference(list)) return RegionStatus_outOfMemory(kTypeWord);
  memmove(list->m_items + position + 1, list->m_items + position, (list->m_count - position) * sizeof(uint64_t));
  list->m_items[position] = id;
  list->m_count += 1;
  return RegionStatus_success();
}

void RegionNameRecord_removeReferenceId(RegionNameRecord* record, uint64_t id) {
  if (!record || !record->m_references) return;
  StringList* list = record->m_references;
  orderReferences(list);
  uint64_t position = 0;
  if (RegionId_bsearch(list->m_items, list->m_count, id, &position)) {
    memmove(list->m_items + position, list->m_items + position + 1, (list->m_count - position - 1) * sizeof(uint64_t));
    list->m_count -= 1;
  }
  if (list->m_count == 0) StringList_delete(&record->m_references);
}

RegionStatus* RegionNameRecord_isDefinedIn(const RegionNameRecord* record, const RegionMap* map, int* flag) {
  RegionStatus* status = startQuestion(record, flag, "Cannot return whether the %s is a defined.");
  if (RegionStatus_isError(status)) return status;
  if (!map) return invalidMap();
  if (!RegionNameRecord_getName(record)) return RegionStatus_fail(RS_INTERNAL, "Internal Error.");
  RegionNameRecord* defined = RegionMap_definedRecord(map, record->m_id);
  *flag = defined && defined->m_definition && defined->m_definition->m_map == map ? 1 : 0;
  return status;
}

RegionStatus* RegionNameRecord_isReferencedIn(const RegionNameRecord* record, const RegionMap* map, int* flag) {
  RegionStatus* status = startQuestion(record, flag, "Cannot return whether the %s is referenced by a %s.");
  if (RegionStatus_isError(status)) return status;
  if (!map) return invalidMap();
  const StringList* refs = record->m_references;
  for (uint64_t i = 0; refs && i < refs->m_count; ++i) {
    if (RegionMap_definedRecord(map, refs->m_items[i])) {
      *flag = 1;
      break;
    }
  }
  return RegionStatus_success();
}

RegionStatus* RegionNameRecord_define(RegionNameRecord* record, RegionDefinition* definition) {
  if (s_defining) return RegionStatus_success();
  Guard guard(s_defining);
  if (!record) return invalidRecord();
  if (!definition) return invalidDefinition();
  if (record->m_definition) {
    const char* name = RegionNameRecord_getName(record);
    if (!name) return RegionStatus_failf(s_message, sizeof(s_message), RS_ALREADY_DEFINED, "%s is already defined.", kTypeWord);
    return RegionStatus_failf(s_message, sizeof(s_message), RS_ALREADY_DEFINED, "%s (%s) is already defined.", kTypeWord, name);
  }
  if (definition->m_nameRecord == record) {
    record->m_definition = definition;
    return RegionStatus_success();
  }
  return RegionDefinition_setNameRecord(definition, record);
}

RegionStatus* RegionNameRecord_addReference(RegionNameRecord* record, RegionDefinition* definition, int32_t side) {
  if (!record) return invalidRecord();
  if (!definition) return invalidDefinition();
  if (side != 1 && !RegionDefinition_isTwoSidedCombination(definition->m_combination))
    return RegionStatus_fail(RS_INVALID_SIDE, "Invalid side on which to perform operation");
  if (!record->m_references) {
    RegionStatus* status = StringList_new(&record->m_references, 10);
    if (RegionStatus_isError(status)) return RegionStatus_outOfMemory(kTypeWord);
  }
  if (!s_addingReference) {
    Guard guard(s_addingReference);
    const char* name = RegionNameRecord_getName(record);
    RegionStatus* status = RegionDefinition_modifyComponents(definition, RO_ADD, side, &name, 1);
    if (RegionStatus_isError(status)) {
      if (record->m_references->m_count == 0) StringList_delete(&record->m_references);
      return status;
    }
  }
  return RegionNameRecord_addReferenceId(record, RegionDefinition_id(definition));
}

RegionStatus* RegionNameRecord_dropReference(RegionNameRecord* record, const RegionDefinition* definition) {
  if (!record) return invalidRecord();
  if (!definition) return invalidDefinition();
  if (record->m_definition == definition) {
    record->m_definition = nullptr;
    return RegionStatus_success();
  }
  RegionNameRecord_removeReferenceId(record, RegionDefinition_id(definition));
  return RegionStatus_success();
}

RegionStatus* RegionNameRecord_removeReference(RegionNameRecord* record, RegionDefinition* definition) {
  if (s_removingReference) return RegionStatus_success();
  Guard guard(s_removingReference);
  if (!record) return invalidRecord();
  if (!definition) return invalidDefinition();
  if (record->m_definition == definition) {
    record->m_definition = nullptr;
    return RegionStatus_success();
  }
  uint64_t definitionId = RegionDefinition_id(definition);
  uint64_t position = 0;
  StringList* refs = record->m_references;
  if (refs) orderReferences(refs);
  if (!refs || !RegionId_bsearch(refs->m_items, refs->m_count, definitionId, &position)) {
    const char* definitionName = nullptr;
    RegionNameDictionary_name(definitionId, &definitionName);
    const char* name = RegionNameRecord_getName(record);
    return RegionStatus_failf(s_message, sizeof(s_message), RS_NOT_REFERENCED, "%s (%s) doesn't reference %s (%s)",
                              kDefinitionWord, definitionName ? definitionName : "", kTypeWord, name ? name : "");
  }
  const char* name = RegionNameRecord_getName(record);
  if (listHolds(definition->m_listA, record->m_id)) {
    RegionStatus* status = RegionDefinition_modifyComponents(definition, RO_REMOVE, 1, &name, 1);
    if (RegionStatus_isError(status)) return status;
  }
  if (RegionDefinition_isTwoSidedCombination(definition->m_combination) && listHolds(definition->m_listB, record->m_id)) {
    RegionStatus* status = RegionDefinition_modifyComponents(definition, RO_REMOVE, 2, &name, 1);
    if (RegionStatus_isError(status)) return status;
  }
  return RegionNameRecord_dropReference(record, definition);
}

RegionStatus* RegionNameRecord_copy(RegionNameRecord* record, void* context, RegionNameRecordCallback callback) {
  if (!record) return invalidRecord();
  // Without a callback nothing would take the new record.
  if (!callback) return RegionStatus_fail(RS_BAD_CALL, "Function is missing");
  RegionNameRecord* copy = nullptr;
  RegionStatus* status = RegionNameRecord_newForId(&copy, record->m_id);
  if (RegionStatus_isError(status)) return status;
  copy->m_references = record->m_references;
  record->m_references = nullptr;
  copy->m_definition = record->m_definition;
  record->m_definition = nullptr;
  if (copy->m_definition) copy->m_definition->m_nameRecord = copy;
  copy->m_explicit = record->m_explicit;
  for (int i = 0; i < REGION_NAME_MAP_SLOTS; ++i) {
    copy->m_explicitMaps[i] = record->m_explicitMaps[i];
    copy->m_inheritingMaps[i] = record->m_inheritingMaps[i];
  }
  status = callback(context, record, copy);
  if (RegionStatus_isError(status)) {
    // Everything moved goes back before the copy is dropped.
    record->m_references = copy->m_references;
    copy->m_references = nullptr;
    record->m_definition = copy->m_definition;
    if (record->m_definition) record->m_definition->m_nameRecord = record;
    RegionNameRecord_delete(&copy);
  }
  return status;
}
