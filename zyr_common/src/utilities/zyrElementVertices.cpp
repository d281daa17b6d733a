#include "zyrElementVertices.h"

namespace {
const int32_t kVertexCounts[] = {1, 2, 3, 4, 4, 5, 6, 8};
}

int32_t ElementTopology_getNoOfVertices(int32_t elementType) {
  if (elementType < 0 || elementType >= static_cast<int32_t>(sizeof kVertexCounts / sizeof kVertexCounts[0]))
    return 0;
  return kVertexCounts[elementType];
}
