#ifndef ZYR_LOCATION_STRING_H
#define ZYR_LOCATION_STRING_H
// Location strings: names of regions, assemblies and composites separated by commas. White space
// around a name is not part of it, empty or blank items are ignored, and there is no quoting (a
// name cannot hold a comma). Built strings separate the names by ", ".
#include <cstdint>

// The names joined by ", " in order (not trimmed or checked); NULL when there are none.
char *LocationString_build(int32_t count, char *const *names);
// Splits the string into its names: 1, a new array of new strings (zyrCStringArray_free) and
// their count; count 0 and no array when it holds none. With no string: error 10020, 0.
int LocationString_parse(const char *location, int32_t *count, char ***names);

#endif
