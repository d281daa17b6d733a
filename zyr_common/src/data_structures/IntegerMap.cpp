#include "IntegerMap.h"

#include "zyrArrayUtilities.h"
#include "zyrMemory.h"

#include <algorithm>

IntegerMap *IntegerMap_new(int32_t n, int32_t *values) {
  if (n < 1 || values == nullptr || !zyrIsSorted(n, values))
    return nullptr;
  IntegerMap *map = zyrMemory_allocateArray<IntegerMap>(1, __func__);
  map->m_lastIndex = n - 1;
  map->m_minimum = values[0];
  map->m_maximum = values[n - 1];
  map->m_values = values;
  return map;
}

void IntegerMap_delete(IntegerMap *map) {
  if (map == nullptr)
    return;
  zyrMemory_free(map->m_values, __func__);
  zyrMemory_free(map, __func__);
}

void IntegerMap_print(const IntegerMap *map, FILE *stream) {
  std::fprintf(stream, "interval = [0, %d]\n", map->m_lastIndex);
  std::fprintf(stream, "range    = [%d, %d]\n", map->m_minimum, map->m_maximum);
  for (int32_t i = 0; i <= map->m_lastIndex; ++i)
    std::fprintf(stream, "%10d -> %10d\n", i, map->m_values[i]);
}

int32_t IntegerMap_findIndex(const IntegerMap *map, int32_t value) {
  return zyrBinarySearch(map->m_lastIndex, map->m_values, value);
}

void IntegerMap_getInterval(const IntegerMap *map, int32_t *low, int32_t *high) {
  *low = 0;
  *high = map->m_lastIndex;
}

void IntegerMap_getRange(const IntegerMap *map, int32_t *minimum, int32_t *maximum) {
  *minimum = map->m_minimum;
  *maximum = map->m_maximum;
}

int32_t *IntegerMap_getValues(const IntegerMap *map, int32_t *count) {
  *count = map->m_lastIndex + 1;
  return map->m_values;
}

int32_t *IntegerMap_getInverseMap(const IntegerMap *map, int32_t *size, int32_t *offset) {
  // In 64 bits: the range of two 32-bit values does not fit in 32.
  const int64_t wide = static_cast<int64_t>(map->m_maximum) - map->m_minimum + 1;
  *offset = map->m_minimum;
  *size = 0;
  if (wide < 1 || wide > zyrInverseMapSizeLimit(static_cast<int64_t>(map->m_lastIndex) + 1))
    return nullptr;
  int32_t *inverse = zyrMemory_allocateArray<int32_t>(wide, __func__);
  std::fill(inverse, inverse + wide, -1);
  for (int32_t i = 0; i <= map->m_lastIndex; ++i)
    inverse[static_cast<int64_t>(map->m_values[i]) - map->m_minimum] = i;
  *size = static_cast<int32_t>(wide);
  return inverse;
}

void IntegerMap_mapIndices(const IntegerMap *map, int32_t n, int32_t *array) {
  for (int32_t i = 0; i < n; ++i)
    array[i] = array[i] >= 0 && array[i] <= map->m_lastIndex ? map->m_values[array[i]] : -1;
}

int32_t IntegerMap_mapValues(const IntegerMap *map, int32_t n, int32_t *array) {
  for (int32_t i = 0; i < n; ++i)
    array[i] = IntegerMap_findIndex(map, array[i]);
  return n;
}
