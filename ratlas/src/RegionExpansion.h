// Expansion of region names to the primitive names they stand for, once against a single map
// and once against an atlas. A primitive stands for itself; a composite for what its
// combination makes of its components' sets:
//   Union                 the components' sets joined, in order of first appearance
//   Intersection          the ids every component's set holds (an empty set empties it)
//   Alias                 its one component's set
//   Difference            list A's sets joined, less every id of list B's sets
//   Symmetric Difference  the ids in exactly one of list A's and list B's joined sets
// Results are added to the caller's list, skipping ids it holds already. Shared sub-composites
// are expanded once per call (and once per cache life at atlas level), so a diamond of
// definitions costs its size, not the number of its paths.
#ifndef REGION_EXPANSION_H
#define REGION_EXPANSION_H

#include "RegionStatus.h"
#include "StringList.h"

#include <cstdint>

struct RegionAtlas;
struct RegionDefinition;
struct RegionMap;

RegionStatus* RegionName_expandInMap(const char* name, RegionMap* map, StringList* result);
RegionStatus* RegionId_expandInMap(uint64_t id, RegionMap* map, StringList* result);
RegionStatus* RegionDefinition_expandInMap(RegionDefinition* definition, RegionMap* map, StringList* result);

RegionStatus* RegionName_expandInAtlas(const char* name, RegionAtlas* atlas, StringList* result);
RegionStatus* RegionId_expandInAtlas(uint64_t id, RegionAtlas* atlas, StringList* result);
RegionStatus* RegionDefinition_expandInAtlas(RegionDefinition* definition, RegionAtlas* atlas, StringList* result);

// How deeply Intersections, Differences and Symmetric Differences may nest inside one another
// (Unions and Aliases nest without limit); deeper nesting fails with 2.
enum { REGION_EXPANSION_MAX_NESTING = 256 };

#endif
