// A composite region name: a combination kind applied to the names of other regions (its
// components). Definitions are made free-standing, then placed into at most one region map,
// which checks them against its own rules and those of the atlas levels.
#ifndef REGION_DEFINITION_H
#define REGION_DEFINITION_H

#include "RegionStatus.h"
#include "StringList.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>

struct RegionMap;
struct RegionNameRecord;
struct String;

// Combination kinds. Complement and Merge are known (the text names them) but no definition can
// take them.
enum : int32_t {
  RC_NONE = 0,
  RC_UNION = 1,
  RC_INTERSECTION = 2,
  RC_COMPLEMENT = 3,
  RC_DIFFERENCE = 4,  // list A minus list B
  RC_SYMMETRIC_DIFFERENCE = 5,
  RC_MERGE = 6,
  RC_ALIAS = 7,  // one component at most
};

// Component changes.
enum : int32_t {
  RO_ADD = 1,
  RO_REMOVE = 2,
  RO_CLEAR = 3,
};

struct RegionDefinition {
  RegionNameRecord* m_nameRecord;  // carries the name; points back here
  RegionMap* m_map;                // the map holding the definition, or NULL
  int32_t m_combination;
  StringList* m_listA;             // component ids; the only list of a one-sided kind
  StringList* m_listB;             // second operand of Difference and Symmetric Difference, or NULL
  String* m_vsnText;               // text of the last RegionDefinition_getVSN, or NULL
  StringList* m_tags;              // tag ids, made at the first tag
};

// Counts below 1 (or missing arrays) mean an empty list.
RegionStatus* RegionDefinition_new(RegionDefinition** definition, const char* name, int32_t combination,
                                   const char* const* namesA, const char* const* namesB, int32_t countA,
                                   int32_t countB);
RegionStatus* RegionDefinition_delete(RegionDefinition** definition);
RegionStatus* RegionDefinition_setMap(RegionDefinition* definition, RegionMap* map);
RegionStatus* RegionDefinition_rename(RegionDefinition* definition, const char* name);
// The definition takes the record's name, and the record itself: a free definition owns it
// from then on, a map may swap it for the one record its atlas keeps of that name.
RegionStatus* RegionDefinition_setNameRecord(RegionDefinition* definition, RegionNameRecord* record);
RegionStatus* RegionDefinition_setCombination(RegionDefinition* definition, int32_t combination);
RegionStatus* RegionDefinition_modifyComponents(RegionDefinition* definition, int32_t operation, int32_t side,
                                                const char* const* names, int32_t count);
// 1 when the definition may stand in the map, else 0 with the reason in *status (may be NULL).
int RegionDefinition_checkInMap(RegionDefinition* definition, RegionMap* map, RegionStatus** status);

// What a passed check found of the definition's own name, so that the attach right after it
// (the tables unchanged in between) need not search for it again.
struct RegionNameLookups {
  int m_found;                   // 1 when the two fields below are what the tables hold
  RegionNameRecord* m_inAtlas;   // the atlas's record of the name, NULL when none or no atlas
  RegionNameRecord* m_inNames;   // the map's name-table record of the name, NULL when none
};
// RegionDefinition_checkInMap that also fills *lookups (m_found 0 when it could not tell).
int RegionDefinition_checkInMapFinding(RegionDefinition* definition, RegionMap* map, RegionStatus** status,
                                       RegionNameLookups* lookups);

// The name is the dictionary's own text.
RegionStatus* RegionDefinition_getName(const RegionDefinition* definition, const char** name,
                                       RegionNameRecord** record);
RegionStatus* RegionDefinition_getMap(const RegionDefinition* definition, RegionMap** map);
RegionStatus* RegionDefinition_getCombination(const RegionDefinition* definition, int32_t* combination);
int RegionDefinition_isTwoSided(const RegionDefinition* definition, RegionStatus** status);
// RegionDefinition_getComponents(definition, side, mode, outputs...) with the outputs of the
// StringList contents modes.
RegionStatus* RegionDefinition_getComponents(const RegionDefinition* definition, int32_t side, int32_t mode, ...);
// The ids of one side as a new array (NULL and 0 when the side is empty), freed by
// RegionDefinition_freeComponentIds.
RegionStatus* RegionDefinition_getComponentIds(const RegionDefinition* definition, int32_t side, uint64_t** ids,
                                               uint64_t* count);
RegionStatus* RegionDefinition_freeComponentIds(uint64_t** ids);
// A copy of one side, NULL when the side is empty.
RegionStatus* RegionDefinition_getComponentList(const RegionDefinition* definition, int32_t side, StringList** list);

// Tags are single words of region-atlas text: they may not hold control characters, ',', '#',
// '(' or ')', doubled or surrounding blanks or a final '\' (100010), which the text could not
// give back. A missing or blank tag is accepted and ignored.
RegionStatus* RegionDefinition_addTag(RegionDefinition* definition, const char* tag);
RegionStatus* RegionDefinition_removeTag(RegionDefinition* definition, const char* tag);
RegionStatus* RegionDefinition_taggedWith(const RegionDefinition* definition, const char* tag, int* flag);
RegionStatus* RegionDefinition_isTagged(const RegionDefinition* definition, int* flag);
RegionStatus* RegionDefinition_tags(const RegionDefinition* definition, int32_t mode, ...);
// 1 when text can stand as a tag or owner word in region-atlas text (see above).
int RegionDefinition_isWritableWord(const char* text);

RegionStatus* RegionDefinition_freeVSN(RegionDefinition* definition);
RegionStatus* RegionDefinition_writeToFile(RegionDefinition* definition, FILE* stream);
// Definitions are not stored in data sets: checks, builds the text and reports 4.
RegionStatus* RegionDefinition_writeToDataset(RegionDefinition* definition, void* file, const char* what,
                                              const char* where);
void RegionDefinition_print(const RegionDefinition* definition, FILE* stream);

// Calls the name hook of the atlas of map (or of the definition's own map): operation 1 when the
// name became defined there, 0 when it stopped being defined. 1 when definition and name are given.
int RegionDefinition_notifyAtlas(const RegionDefinition* definition, const RegionMap* map, int operation,
                                 const char* name);

// Words of the combination codes ("Union" ... "Alias"); NULL for other codes.
const char* RegionDefinition_combinationWord(int32_t combination);
// 1 for the codes a definition may take (Union, Intersection, Difference, Symmetric Difference,
// Alias).
int RegionDefinition_isAcceptedCombination(int32_t combination);
int RegionDefinition_isTwoSidedCombination(int32_t combination);

// For the library's own use: gives the definition the record (and the record the definition).
// The former record loses its definition and is freed unless keepFormer is set.
void RegionDefinition_linkRecord(RegionDefinition* definition, RegionNameRecord* record, int keepFormer);
// The name id of a definition, 0 when it has none.
uint64_t RegionDefinition_id(const RegionDefinition* definition);

#endif
