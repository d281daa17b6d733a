// Point identification and vertex matching on any coordinates: the cell grid over the sweep
// window gives exactly the plain window scan's answer (ties, windows and non-finite points
// included), and vertex matching returns a permutation or nothing.
// Input: a scale byte, then points as three signed bytes each (a byte of -128 stands for a
// value that is not finite); the first half of the points is set 1, the rest set 2.
#include "GeometricAlgorithms.h"
#include "zyrMemory.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <vector>

namespace {

void require(bool condition) {
  if (!condition)
    std::abort();
}

double decode(uint8_t byte, double scale, int which) {
  const int8_t value = static_cast<int8_t>(byte);
  if (value != -128)
    return value * scale;
  const double odd[] = {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                        -std::numeric_limits<double>::infinity()};
  return odd[which % 3];
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1)
    return 0;
  // Scales from 2^-40 to 2^23: near-tolerance spacings appear when the extent is large against it.
  const double scale = std::ldexp(1.0, static_cast<int>(data[0] % 64) - 40);
  std::vector<double> points;
  for (size_t i = 1; i + 2 < size; i += 3)
    for (int c = 0; c < 3; ++c)
      points.push_back(decode(data[i + c], scale, static_cast<int>(i)));
  const int32_t total = static_cast<int32_t>(points.size() / 3);
  const int32_t n1 = total / 2, n2 = total - n1;
  const double *set1 = points.data(), *set2 = points.data() + 3 * n1;

  int32_t matchedGrid = -1, matchedScan = -2, matchedChosen = -3;
  int32_t *grid = nullptr, *scan = nullptr, *chosen = nullptr;
  require(GA_identifyPointsByGrid(n1, set1, n2, set2, &matchedGrid, &grid) == 1);
  require(GA_identifyPointsBySweep(n1, set1, n2, set2, &matchedScan, &scan) == 1);
  require(GA_identifyPoints(n1, set1, n2, set2, &matchedChosen, &chosen) == 1);
  require(matchedGrid == matchedScan && matchedGrid == matchedChosen);
  int32_t mapped = 0;
  for (int32_t i = 0; i < n1; ++i) {
    require(grid[i] == scan[i] && grid[i] == chosen[i]);
    require(grid[i] >= -1 && grid[i] < n2);
    mapped += grid[i] >= 0;
  }
  require(mapped == matchedGrid);
  zyrMemory_free(grid, "fuzz");
  zyrMemory_free(scan, "fuzz");
  zyrMemory_free(chosen, "fuzz");

  // Vertex matching of the two halves (equal sizes), tolerances from the data.
  const int32_t n = n1 < n2 ? n1 : n2;
  if (n > 0) {
    std::vector<double> tolerances(static_cast<size_t>(n));
    for (int32_t i = 0; i < n; ++i)
      tolerances[static_cast<size_t>(i)] = std::fabs(set2[3 * i]) * 0.125;
    int32_t *permutation = GA_matchVertices(n, set1, set2, tolerances.data(), set2);
    if (permutation != nullptr) {
      std::vector<bool> seen(static_cast<size_t>(n), false);
      for (int32_t i = 0; i < n; ++i) {
        require(permutation[i] >= 0 && permutation[i] < n && !seen[static_cast<size_t>(permutation[i])]);
        seen[static_cast<size_t>(permutation[i])] = true;
      }
      zyrMemory_free(permutation, "fuzz");
    }
  }
  return 0;
}
