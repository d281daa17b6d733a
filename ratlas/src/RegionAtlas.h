// Up to three region maps stacked in fixed slots, ZYR at the bottom, PRIMARY above it and
// SECONDARY on top, with one name table across them so that any name resolves to the primitive
// names it stands for. Higher maps may use names that lower maps define; a lower map never uses
// a name a higher map defines, and a name is defined in one map only.
#ifndef REGION_ATLAS_H
#define REGION_ATLAS_H

#include "RegionHashTable.h"
#include "RegionStatus.h"
#include "StringList.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>

struct RegionDefinition;
struct RegionMap;
struct RegionNameRecord;
struct ResolutionCache;
struct String;

// The host's hook: operation 1 when a name became defined in a map of the atlas other than the
// ZYR map, 0 when it stopped being defined there.
typedef void (*RegionNameHook)(void* object, int operation, const char* name);

enum { REGION_ATLAS_BUCKETS = 100007 };

struct RegionAtlas {
  char* m_name;
  RegionMap* m_zyrMap;
  RegionMap* m_primaryMap;
  RegionMap* m_secondaryMap;
  void* m_nameManager;
  RegionNameHook m_nameManagerFunction;
  RegionHashTable* m_names;   // the one record of each name known in any map
  ResolutionCache* m_cache;   // primitives of the ids resolved since the last change
  RegionNameRecord* m_probe;  // search key for look-ups by name
  String* m_vsnText;          // text of the last RegionAtlas_getVSN, or NULL
  // A bit for each id a map of the atlas has defined since the atlas last stood empty (more than
  // it defines now: bits are only set), so that an expansion passes a name whose bit is clear
  // as a primitive without looking for its record. Memory from malloc; without it (or after a
  // failed growth, m_definedLost) every name is looked up.
  uint64_t* m_defined;
  uint64_t m_definedWords;
  int m_definedLost;
};

// Notes that a map of the atlas defines id / that the atlas has no map any more.
void RegionAtlas_noteDefined(RegionAtlas* atlas, uint64_t id);
void RegionAtlas_forgetDefined(RegionAtlas* atlas);
// 0 only when no map of the atlas can define id.
inline int RegionAtlas_mayDefine(const RegionAtlas* atlas, uint64_t id) {
  if (atlas->m_definedLost) return 1;
  const uint64_t word = id >> 6;
  return word < atlas->m_definedWords && (atlas->m_defined[word] >> (id & 63) & 1) ? 1 : 0;
}

RegionStatus* RegionAtlas_new(RegionAtlas** atlas, const char* name);
// Removes the ZYR, PRIMARY and SECONDARY maps in that order and deletes them with their
// definitions when deleteMaps is 1; clears the pointer.
RegionStatus* RegionAtlas_delete(RegionAtlas** atlas, int deleteMaps);
RegionStatus* RegionAtlas_setName(RegionAtlas* atlas, const char* name);
// *name NULL: receives a copy the caller frees; otherwise *name is set to NULL.
RegionStatus* RegionAtlas_getName(const RegionAtlas* atlas, char** name);
RegionStatus* RegionAtlas_setNameManager(RegionAtlas* atlas, void* object, RegionNameHook function);
int RegionAtlas_getNameManager(const RegionAtlas* atlas, void** object, RegionNameHook* function);

RegionStatus* RegionAtlas_addMap(RegionAtlas* atlas, RegionMap* map, uint32_t type);
RegionStatus* RegionAtlas_removeMap(RegionAtlas* atlas, RegionMap* map);
RegionStatus* RegionAtlas_getMap(const RegionAtlas* atlas, uint32_t type, RegionMap** map);

// The primitives of a name as new strings (freed with StringArray_delete).
RegionStatus* RegionAtlas_resolveName(RegionAtlas* atlas, const char* name, char*** names, uint64_t* count);
RegionStatus* RegionAtlas_resolveDefinition(RegionAtlas* atlas, RegionDefinition* definition, char*** names,
                                            uint64_t* count);
RegionStatus* RegionAtlas_isPrimitive(RegionAtlas* atlas, const char* name, int* flag);
// record may be NULL.
RegionStatus* RegionAtlas_findName(RegionAtlas* atlas, const char* name, int* found, RegionNameRecord** record);
RegionStatus* RegionAtlas_regionDefinitionFromName(RegionAtlas* atlas, const char* name,
                                                   RegionDefinition** definition);
RegionStatus* RegionAtlas_regionDefinitionFromId(RegionAtlas* atlas, uint64_t id, RegionDefinition** definition);

// Lists with the StringList contents modes.
RegionStatus* RegionAtlas_getExportedNames(RegionAtlas* atlas, int32_t mode, ...);
RegionStatus* RegionAtlas_getMapExportedNames(RegionAtlas* atlas, uint32_t type, int32_t mode, ...);
RegionStatus* RegionAtlas_getAllPrimitives(RegionAtlas* atlas, int32_t mode, ...);
RegionStatus* RegionAtlas_getAllCompositeNames(RegionAtlas* atlas, int32_t mode, ...);
RegionStatus* RegionAtlas_getTaggedNames(RegionAtlas* atlas, const char* tag, int32_t mode, ...);
RegionStatus* RegionAtlas_appendExportedNamesExcept(RegionAtlas* atlas, StringList* exclusion, StringList* target);
RegionStatus* RegionAtlas_getNameCount(RegionAtlas* atlas, uint64_t* count);
// Composite names ordered by the comma-separated tag order; the untagged and rest words may be
// NULL. When the rest word places the remaining names, the complete order is also written to
// standard error, one name a line.
RegionStatus* RegionAtlas_namesByTagOrder(RegionAtlas* atlas, const char* tagOrder, const char* untaggedWord,
                                          const char* restWord, int32_t mode, ...);

// The name table. Adding a name already there gives 800004 without a message; removing removes
// only that very record; replacing swaps the record in the atlas and in each map.
RegionStatus* RegionAtlas_addName(RegionAtlas* atlas, RegionNameRecord* record);
RegionStatus* RegionAtlas_removeName(RegionAtlas* atlas, RegionNameRecord* record);
RegionStatus* RegionAtlas_replaceName(RegionAtlas* atlas, RegionNameRecord* oldRecord, RegionNameRecord* newRecord);
RegionStatus* RegionAtlas_clearCache(RegionAtlas* atlas);
// The cache after a name that had no definition in the atlas got one: only what may have met the
// name goes (see RegionAtlas.cpp); everything when that cannot be told cheaply.
RegionStatus* RegionAtlas_nameDefined(RegionAtlas* atlas, uint64_t id);
// For tests: 0 makes RegionAtlas_nameDefined empty the whole cache, as every other change does;
// 1 (the default) keeps what the new definition cannot change.
void RegionAtlas_setSelectiveInvalidation(int on);

void RegionAtlas_print(const RegionAtlas* atlas, FILE* stream);

// For the library's own use.
RegionNameRecord* RegionAtlas_record(const RegionAtlas* atlas, uint64_t id);
// The map of a slot (NULL when empty or for another type).
RegionMap* RegionAtlas_slot(const RegionAtlas* atlas, uint32_t type);
// Next lower / next higher map of a map in the atlas, NULL when there is none.
RegionMap* RegionAtlas_lowerMap(const RegionAtlas* atlas, const RegionMap* map);
RegionMap* RegionAtlas_higherMap(const RegionAtlas* atlas, const RegionMap* map);
// 1 when any map of the atlas holds this very record in one of its tables.
int RegionAtlas_mapsHoldRecord(const RegionAtlas* atlas, const RegionNameRecord* record);
void RegionAtlas_notify(const RegionAtlas* atlas, int operation, const char* name);

#endif
