#ifndef ZYR_INTEGER_MAP_H
#define ZYR_INTEGER_MAP_H
// A sorted array of integers read both ways: index to value and value to index. It covers the
// index interval [0, last index] and the value range [minimum, maximum] (vertex and element maps
// of element meshes).
#include <cstdint>
#include <cstdio>

struct IntegerMap {
  int32_t m_lastIndex; // entry count - 1
  int32_t m_minimum;   // the first entry
  int32_t m_maximum;   // the last entry
  int32_t *m_values;   // ascending, tracked, owned by the map
};

// Takes over the tracked array of n ascending values. NULL, with the array left to the caller,
// when n is below 1 or the values are not ascending.
IntegerMap *IntegerMap_new(int32_t n, int32_t *values);
void IntegerMap_delete(IntegerMap *map);
void IntegerMap_print(const IntegerMap *map, FILE *stream);

// Index of the value, or -1 when absent.
int32_t IntegerMap_findIndex(const IntegerMap *map, int32_t value);
void IntegerMap_getInterval(const IntegerMap *map, int32_t *low, int32_t *high);
void IntegerMap_getRange(const IntegerMap *map, int32_t *minimum, int32_t *maximum);
// The map's own value array (lent, not a copy) and its count.
int32_t *IntegerMap_getValues(const IntegerMap *map, int32_t *count);
// New array (the caller's) of *size = maximum - minimum + 1 entries indexed by value - minimum,
// holding the index of each value and -1 where none maps; *offset = minimum. A value range wider
// than zyrInverseMapSizeLimit of the entry count gives NULL and *size 0: callers then use
// IntegerMap_findIndex.
int32_t *IntegerMap_getInverseMap(const IntegerMap *map, int32_t *size, int32_t *offset);
// In place: each entry in [0, last index] becomes the value at that index, any other -1.
void IntegerMap_mapIndices(const IntegerMap *map, int32_t n, int32_t *array);
// In place: each entry becomes its index (-1 when absent); answers n.
int32_t IntegerMap_mapValues(const IntegerMap *map, int32_t n, int32_t *array);

#endif
