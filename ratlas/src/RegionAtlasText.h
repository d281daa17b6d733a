// Region-atlas text: atlases, maps and definitions written and read as blocks of VSN text.
//
//   REGION ATLAS: <atlas>
//     REGION MAP: <map>                  SECONDARY, PRIMARY, ZYR
//   (empty line)
//       Type = ZYR|PRIMARY|SECONDARY      only in an atlas, then an empty line
//       Owner = <owner>                   only when set, then an empty line
//       Explicit Primitive List = a, b    only when the map declares any, then an empty line
//       REGION: <definition>              one block per definition
//         Tags = t1, t2                   only when tagged
//         Combination = Union|...|Alias
//         Region List = c1, c2            (Region List A / Region List B for the two-sided kinds)
//       END # REGION
//   (empty line)
//       PRIMITIVE REGIONS:                only when asked for and there are primitives
//         Primitive Region List = p1, p2
//       END # PRIMITIVE REGIONS
//     END # REGION MAP
//   (empty line)
//   END # REGION ATLAS
//
// Each written text stays in the written object's own buffer until the matching free function
// or the next write of that object.
//
// Readers take an in-out object (NULL asks for a new one, which a failed read does not leave
// behind) and an optional VSN path of the block to read. Without a path the block is the one
// object of its keyword below the current path, or the current path itself when there is none.
#ifndef REGION_ATLAS_TEXT_H
#define REGION_ATLAS_TEXT_H

#include "RegionStatus.h"

#include <cstdint>
#include <cstdio>

struct RegionAtlas;
struct RegionDefinition;
struct RegionMap;
struct vsnHandle;

// Writers.
RegionStatus* RegionDefinition_getVSN(RegionDefinition* definition, const char** text);
RegionStatus* RegionMap_getVSN(RegionMap* map, int withPrimitives, const char** text);
RegionStatus* RegionMap_freeVSN(RegionMap* map);
RegionStatus* RegionAtlas_getVSN(RegionAtlas* atlas, const char** text);
RegionStatus* RegionAtlas_freeVSN(RegionAtlas* atlas);
RegionStatus* RegionMap_writeToFile(RegionMap* map, int withPrimitives, FILE* stream);
RegionStatus* RegionAtlas_writeToFile(RegionAtlas* atlas, FILE* stream);
// Data sets are not written: the arguments are checked, the text built and 4 reported.
RegionStatus* RegionMap_writeToDataset(RegionMap* map, int withPrimitives, void* file, const char* what, const char* where);
RegionStatus* RegionAtlas_writeToDataset(RegionAtlas* atlas, void* file, const char* what, const char* where);

// Block readers on an open handle.
RegionStatus* RegionDefinition_readFromVSN(vsnHandle* handle, RegionDefinition** definition, const char* path);
RegionStatus* RegionMap_readFromVSN(vsnHandle* handle, RegionMap** map, const char* path);
RegionStatus* RegionAtlas_readFromVSN(vsnHandle* handle, RegionAtlas** atlas, const char* path);

// Front ends: lines, a file name, an open stream (and, for definitions, one text of lines).
RegionStatus* RegionDefinition_readFromStrings(RegionDefinition** definition, int32_t count, const char* const* lines,
                                               const char* path);
RegionStatus* RegionDefinition_readFromString(RegionDefinition** definition, const char* text, const char* path);
RegionStatus* RegionDefinition_readFromFile(RegionDefinition** definition, const char* fileName, const char* path);
RegionStatus* RegionDefinition_readFromFILE(RegionDefinition** definition, FILE* stream, const char* path);
RegionStatus* RegionMap_readFromStrings(RegionMap** map, int32_t count, const char* const* lines, const char* path);
RegionStatus* RegionMap_readFromFile(RegionMap** map, const char* fileName, const char* path);
RegionStatus* RegionMap_readFromFILE(RegionMap** map, FILE* stream, const char* path);
RegionStatus* RegionAtlas_readFromStrings(RegionAtlas** atlas, int32_t count, const char* const* lines, const char* path);
RegionStatus* RegionAtlas_readFromFile(RegionAtlas** atlas, const char* fileName, const char* path);
RegionStatus* RegionAtlas_readFromFILE(RegionAtlas** atlas, FILE* stream, const char* path);
// From the character data set what/where/when of an open data-set file (an IO_file), whose
// lines are laid out as RegionText_cutDatasetLines takes them.
RegionStatus* RegionDefinition_readFromDataset(RegionDefinition** definition, void* file, const char* what, const char* where,
                                               int32_t when, const char* path);
RegionStatus* RegionMap_readFromDataset(RegionMap** map, void* file, const char* what, const char* where, int32_t when,
                                        const char* path);
RegionStatus* RegionAtlas_readFromDataset(RegionAtlas** atlas, void* file, const char* what, const char* where, int32_t when,
                                          const char* path);

// The lines of a stream as the stream front ends hand them on: read through a 2048-byte buffer;
// a stretch of 2047 characters without a line end is cut at its last comma (the comma starts the
// next piece) or, without one, where it ends, and continued with a '\'. The lines are freed with
// StringArray_delete. typeWord names the object in an out-of-memory message.
RegionStatus* RegionText_readStreamLines(FILE* stream, const char* typeWord, char*** lines, int32_t* count);
// The lines of a character data set: each line ended by a zero byte and followed by one more
// byte; a last line without its zero byte ends at the end of the characters.
// Writes text as the character data set (what, where, 0) of an open data-set file (IO_file) in the
// layout the dataset readers cut; RS_BAD_FILE "Unable to write definition: File write failed.".
RegionStatus* RegionDefinition_writeTextToDataset(const char* text, void* file, const char* what, const char* where);
RegionStatus* RegionText_cutDatasetLines(const char* characters, uint64_t length, char*** lines, int32_t* count);

#endif
