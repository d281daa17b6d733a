// Element-list conversions with arguments and numbers as a file could hold them: reorder and
// revalue never read or write outside their tables and blocks, a refusal changes nothing, and
// every accepted conversion is undone by the opposite direction.
// Input: type, convention, mirrored, kind and direction bytes, a block count byte, then the
// items as signed bytes.
#include "ElementTopology.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

void require(bool condition) {
  if (!condition)
    std::abort();
}

int32_t itemCount(int32_t type, int32_t kind) {
  switch (kind) {
  case 0:
    return ElementTopology_getNoOfVertices(type);
  case 1:
    return ElementTopology_getNoOfEdges(type);
  case 2:
    return ElementTopology_getNoOfFaces(type);
  default:
    return 0;
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 6)
    return 0;
  // Mostly valid arguments, now and then one outside the tables.
  const int32_t type = static_cast<int8_t>(data[0]) % 10;
  const int32_t convention = static_cast<int8_t>(data[1]) % 10;
  const int mirrored = data[2] & 1;
  const int32_t kind = static_cast<int8_t>(data[3]) % 4;
  const int32_t direction = static_cast<int8_t>(data[4]) % 3;
  const int32_t blocks = data[5] % 8;
  std::vector<int32_t> items;
  for (size_t i = 6; i < size; ++i)
    items.push_back(static_cast<int8_t>(data[i]) % 16);

  // Reorder: whole blocks only.
  const int32_t n = type >= 0 && type < 8 ? itemCount(type, kind) : 0;
  const int32_t usable = n > 0 ? static_cast<int32_t>(items.size()) / n : 0;
  const int32_t count = blocks < usable ? blocks : usable;
  std::vector<int32_t> moved = items;
  if (ElementTopology_reorder(type, convention, mirrored, kind, direction, count, moved.data())) {
    std::vector<int32_t> back = moved;
    require(ElementTopology_reorder(type, convention, mirrored, kind, 1 - direction, count, back.data()) == 1);
    require(back == items);
  } else {
    require(moved == items);
  }

  // Revalue: any numbers.
  std::vector<int32_t> renamed = items;
  const int32_t numbers = static_cast<int32_t>(renamed.size());
  if (ElementTopology_revalue(type, convention, mirrored, kind, direction, numbers, renamed.data())) {
    for (size_t i = 0; i < renamed.size(); ++i) {
      if (renamed[i] == items[i])
        continue;
      require(renamed[i] >= -1 && renamed[i] <= n);
      // A number that came out as a label goes back to the native item it was.
      if (direction == 0 && renamed[i] >= 0) {
        int32_t one = renamed[i];
        require(ElementTopology_revalue(type, convention, mirrored, kind, 1, 1, &one) == 1);
        require(one == items[i]);
      }
    }
  } else {
    require(renamed == items);
  }
  return 0;
}
