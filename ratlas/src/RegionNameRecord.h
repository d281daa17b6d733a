// What a region name is in a map or an atlas: defined by a definition (a composite) or not (a
// primitive), referenced by definitions, declared explicit primitive by up to three maps,
// inherited by up to three maps. Maps and atlases keep the records in their tables; a free
// definition owns its own.
#ifndef REGION_NAME_RECORD_H
#define REGION_NAME_RECORD_H

#include "RegionStatus.h"

#include <cstdint>
#include <cstdio>

struct RegionDefinition;
struct RegionMap;
struct StringList;

enum { REGION_NAME_MAP_SLOTS = 3 };

// Begins with the id, so that id-keyed tables (RegionHashTable_hashId) can hold it.
struct RegionNameRecord {
  uint64_t m_id;                   // dictionary id
  RegionDefinition* m_definition;  // the defining definition, or NULL for a primitive
  StringList* m_references;        // ids of the definitions using the name; NULL when none
  int32_t m_explicit;              // 1 while a map declares the name explicit
  RegionMap* m_explicitMaps[REGION_NAME_MAP_SLOTS];    // filled from the first, no gaps
  RegionMap* m_inheritingMaps[REGION_NAME_MAP_SLOTS];  // filled from the first, no gaps
};

RegionStatus* RegionNameRecord_new(RegionNameRecord** record, const char* name);
RegionStatus* RegionNameRecord_delete(RegionNameRecord** record);
int RegionNameRecord_isValid(const RegionNameRecord* record, RegionStatus** status);
const char* RegionNameRecord_getName(const RegionNameRecord* record);
uint64_t RegionNameRecord_getId(const RegionNameRecord* record);
RegionStatus* RegionNameRecord_setId(RegionNameRecord* record, uint64_t id);
RegionStatus* RegionNameRecord_rename(RegionNameRecord* record, const char* name);
RegionStatus* RegionNameRecord_getDefinition(const RegionNameRecord* record, RegionDefinition** definition);

RegionStatus* RegionNameRecord_isPrimitive(const RegionNameRecord* record, int* flag);
RegionStatus* RegionNameRecord_isDefined(const RegionNameRecord* record, int* flag);
RegionStatus* RegionNameRecord_isReferenced(const RegionNameRecord* record, int* flag);
RegionStatus* RegionNameRecord_isExplicit(const RegionNameRecord* record, int* flag);
RegionStatus* RegionNameRecord_isExplicitIn(const RegionNameRecord* record, const RegionMap* map, int* flag);
RegionStatus* RegionNameRecord_isInheritedIn(const RegionNameRecord* record, const RegionMap* map, int* flag);

// Whether the map defines the name / one of the definitions using the name is defined in the map.
RegionStatus* RegionNameRecord_isDefinedIn(const RegionNameRecord* record, const RegionMap* map, int* flag);
RegionStatus* RegionNameRecord_isReferencedIn(const RegionNameRecord* record, const RegionMap* map, int* flag);

// Links the record and a definition (800004 when the record has a definition already).
RegionStatus* RegionNameRecord_define(RegionNameRecord* record, RegionDefinition* definition);

// References: the definition uses the name on a side (its component list gets the name too).
RegionStatus* RegionNameRecord_addReference(RegionNameRecord* record, RegionDefinition* definition, int32_t side);
// Forgets the definition's use of the name (or the record's own definition) without touching the
// definition.
RegionStatus* RegionNameRecord_dropReference(RegionNameRecord* record, const RegionDefinition* definition);
// Takes the name out of the definition's component lists and forgets the use.
RegionStatus* RegionNameRecord_removeReference(RegionNameRecord* record, RegionDefinition* definition);

// Called by RegionNameRecord_copy with the old and the new record; an error undoes the copy.
typedef RegionStatus* (*RegionNameRecordCallback)(void* context, RegionNameRecord* oldRecord,
                                                  RegionNameRecord* newRecord);
// Hands the record's state (references, definition, explicit and inheriting maps) to a new record
// of the same name and calls the callback.
RegionStatus* RegionNameRecord_copy(RegionNameRecord* record, void* context, RegionNameRecordCallback callback);

RegionStatus* RegionNameRecord_addExplicitMap(RegionNameRecord* record, RegionMap* map);
RegionStatus* RegionNameRecord_removeExplicitMap(RegionNameRecord* record, const RegionMap* map);
RegionStatus* RegionNameRecord_addInheritingMap(RegionNameRecord* record, RegionMap* map);
RegionStatus* RegionNameRecord_removeInheritingMap(RegionNameRecord* record, const RegionMap* map);

// Never implemented: the name a record stands for has no meaning of its own here.
RegionStatus* RegionNameRecord_getRepresentedName(const RegionNameRecord* record, char** name);

// For the library's own use: a new record of a dictionary id; adding and removing one id in the
// references list.
RegionStatus* RegionNameRecord_newForId(RegionNameRecord** record, uint64_t id);
RegionStatus* RegionNameRecord_addReferenceId(RegionNameRecord* record, uint64_t id);
// The same for an id the list cannot hold yet (no search).
RegionStatus* RegionNameRecord_appendReferenceId(RegionNameRecord* record, uint64_t id);
void RegionNameRecord_removeReferenceId(RegionNameRecord* record, uint64_t id);

void RegionNameRecord_print(const RegionNameRecord* record, FILE* stream);

#endif
