// A named collection of region definitions and of the names they use. Every name a map knows is
// a composite (defined by one of its definitions) or a primitive: implicit when a definition
// merely uses it, explicit when the map declares it, inherited when the next lower map of the
// atlas holding the map knows it. A map stands alone or fills one slot of a region atlas.
#ifndef REGION_MAP_H
#define REGION_MAP_H

#include "RegionHashTable.h"
#include "RegionStatus.h"
#include "StringList.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>

struct RegionAtlas;
struct RegionDefinition;
struct RegionNameRecord;
struct String;

// Map types: the atlas slots. Levels run ZYR (lowest) < PRIMARY < SECONDARY.
enum : uint32_t {
  REGION_MAP_ZYR = 1,
  REGION_MAP_SECONDARY = 2,
  REGION_MAP_PRIMARY = 3,
};

enum { REGION_MAP_BUCKETS = 25007 };

struct RegionMap {
  char* m_name;
  char* m_owner;                   // free text, or NULL
  RegionAtlas* m_atlas;            // the atlas holding the map, or NULL
  uint32_t m_type;                 // meaningful only while m_atlas is set
  RegionHashTable* m_definitions;  // records of the names the map defines, by id
  RegionHashTable* m_names;        // records of the names it uses, declares explicit or inherits
  RegionNameRecord* m_probe;       // search key for look-ups by name
  String* m_vsnText;               // text of the last RegionMap_getVSN, or NULL
};

RegionStatus* RegionMap_new(RegionMap** map, const char* name);
// Leaves the atlas first; the definitions become free, or are destroyed when deleteDefinitions
// is 1.
RegionStatus* RegionMap_delete(RegionMap** map, int deleteDefinitions);
RegionStatus* RegionMap_setName(RegionMap* map, const char* name);
// An owner must be writable in region-atlas text (RegionDefinition_isWritableWord): 100010
// otherwise. An empty owner clears it.
RegionStatus* RegionMap_setOwner(RegionMap* map, const char* owner);
RegionStatus* RegionMap_getName(const RegionMap* map, const char** name);
RegionStatus* RegionMap_getOwner(const RegionMap* map, const char** owner);
RegionStatus* RegionMap_getType(const RegionMap* map, uint32_t* type);
RegionStatus* RegionMap_getAtlas(const RegionMap* map, RegionAtlas** atlas);
RegionStatus* RegionMap_getNameCount(const RegionMap* map, uint64_t* count);
RegionStatus* RegionMap_clearCache(RegionMap* map);

RegionStatus* RegionMap_regionDefinitionFromName(RegionMap* map, const char* name, RegionDefinition** definition);
RegionStatus* RegionMap_regionDefinitionFromId(RegionMap* map, uint64_t id, RegionDefinition** definition);
RegionStatus* RegionMap_isComposite(RegionMap* map, const char* name, int* flag);
RegionStatus* RegionMap_isPrimitive(RegionMap* map, const char* name, int* flag);
RegionStatus* RegionMap_isExplicitPrimitive(RegionMap* map, const char* name, int* flag);
// record may be NULL.
RegionStatus* RegionMap_findName(RegionMap* map, const char* name, int* found, RegionNameRecord** record);

// Lists: RegionMap_getAll...(map, mode, outputs...) with the StringList contents modes.
RegionStatus* RegionMap_getAllImplicitPrimitives(RegionMap* map, int32_t mode, ...);
RegionStatus* RegionMap_getAllExplicitPrimitives(RegionMap* map, int32_t mode, ...);
RegionStatus* RegionMap_getAllInheritedPrimitives(RegionMap* map, int32_t mode, ...);
RegionStatus* RegionMap_getAllPrimitives(RegionMap* map, int32_t mode, ...);
RegionStatus* RegionMap_getAllCompositeNames(RegionMap* map, int32_t mode, ...);
RegionStatus* RegionMap_getExportedNames(RegionMap* map, int32_t mode, ...);
RegionStatus* RegionMap_getTaggedNames(RegionMap* map, const char* tag, int32_t mode, ...);
RegionStatus* RegionMap_appendExportedNamesExcept(RegionMap* map, StringList* exclusion, StringList* target);
// The definitions in table order, as a new array of which the caller frees only the array.
RegionStatus* RegionMap_getRegionDefinitions(RegionMap* map, RegionDefinition*** definitions, uint64_t* count);

RegionStatus* RegionMap_addRegionDefinition(RegionMap* map, RegionDefinition* definition);
// Detaches without destroying.
RegionStatus* RegionMap_removeRegionDefinition(RegionMap* map, RegionDefinition* definition);
RegionStatus* RegionMap_deleteRegionDefinitionByName(RegionMap* map, const char* name);
RegionStatus* RegionMap_addExplicitPrimitive(RegionMap* map, const char* name);
RegionStatus* RegionMap_removeExplicitPrimitive(RegionMap* map, const char* name);

// Entering and leaving an atlas. RegionAtlas_addMap and RegionAtlas_removeMap are the usual way
// in and out; these two hand over to them when called directly.
RegionStatus* RegionMap_joinAtlas(RegionMap* map, RegionAtlas* atlas, uint32_t type);
RegionStatus* RegionMap_leaveAtlas(RegionMap* map);

void RegionMap_print(const RegionMap* map, FILE* stream);

// For the library's own use.
RegionNameRecord* RegionMap_definedRecord(const RegionMap* map, uint64_t id);
RegionNameRecord* RegionMap_nameRecord(const RegionMap* map, uint64_t id);
// 1 when either table of the map holds this very record.
int RegionMap_holdsRecord(const RegionMap* map, const RegionNameRecord* record);
// Places a definition that passed its checks into the map / takes it out again. A definition
// taken out keeps a record of its own; the old one stays behind as a primitive when the map or
// the atlas still uses it.
RegionStatus* RegionMap_attachDefinition(RegionMap* map, RegionDefinition* definition);
RegionStatus* RegionMap_detachDefinition(RegionMap* map, RegionDefinition* definition);
// Puts back a definition that stood in the map a moment ago; a failure for want of memory is
// tried once more, so that a passing shortage does not leave the definition outside its map.
RegionStatus* RegionMap_reattachDefinition(RegionMap* map, RegionDefinition* definition);
// The join and leave of RegionAtlas_addMap / RegionAtlas_removeMap, once the atlas has filled or
// is about to empty the slot. A failed join leaves the map as it was, outside the atlas.
RegionStatus* RegionMap_enterAtlas(RegionMap* map, RegionAtlas* atlas, uint32_t type);
RegionStatus* RegionMap_exitAtlas(RegionMap* map);
// For tests: 0 makes a map that enters or leaves an atlas holding no other map take the way
// every other map takes (all definitions out and back in), 1 (the default) the one pass that
// leaves the same.
void RegionMap_setOnePassJoins(int on);
// For tests: 0 makes RegionMap_addRegionDefinition search the tables for the definition's name
// again when it attaches it, 1 (the default) use what its check found there a moment before.
// 0 also makes the check and the attach of a map in an atlas search the map's own tables for
// every name, where by default a name the atlas does not know is known to be in none of them.
void RegionMap_setCarriedLookups(int on);
int RegionMap_atlasAnswersFirst();
// Type word of a map type: "ZYR" (1), "PRIMARY" (3), "SECONDARY" (anything else).
const char* RegionMap_typeWord(uint32_t type);

#endif
