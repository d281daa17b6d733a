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

RegionStatus* RegionNameRecord_addExplicitMap(RegionNameRecord* record, RegionMap* map);
RegionStatus* RegionNameRecord_removeExplicitMap(RegionNameRecord* record, const RegionMap* map);
RegionStatus* RegionNameRecord_addInheritingMap(RegionNameRecord* record, RegionMap* map);
RegionStatus* RegionNameRecord_removeInheritingMap(RegionNameRecord* record, const RegionMap* map);

// Never implemented: the name a record stands for has no meaning of its own here.
RegionStatus* RegionNameRecord_getRepresentedName(const RegionNameRecord* record, char** name);

void RegionNameRecord_print(const RegionNameRecord* record, FILE* stream);

#endif
