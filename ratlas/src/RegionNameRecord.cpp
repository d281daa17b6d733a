#include "RegionNameRecord.h"

#include "RegionMemory.h"
#include "RegionName.h"
#include "RegionNameDictionary.h"
#include "StringList.h"

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

} // namespace

RegionStatus* RegionNameRecord_new(RegionNameRecord** record, const char* name) {
  if (!record) return RegionStatus_fail(RS_BAD_POINTER, "Invalid object pointer - cannot create new object");
  *record = nullptr;
  RegionStatus* status = nullptr;
  if (RegionName_isBlank(name, &status)) return status;
  RegionNameRecord* r = static_cast<RegionNameRecord*>(RegionMemory_allocZeroed(1, sizeof(RegionNameRecord)));
  if (!r) return RegionStatus_outOfMemory(kTypeWord);
  if (RegionStatus_isError(RegionNameDictionary_add(name, &r->m_id))) {
    RegionMemory_free(r);
    return RegionStatus_outOfMemory(kTypeWord);
  }
  *record = r;
  return RegionStatus_success();
}

RegionStatus* RegionNameRecord_delete(RegionNameRecord** record) {
  if (record && *record) {
    if ((*record)->m_references) StringList_delete(&(*record)->m_references);
    RegionMemory_free(*record);
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
