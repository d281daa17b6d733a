#ifndef ZYR_POINT_MATCH_H
#define ZYR_POINT_MATCH_H
// Renumbering a connectivity list from one point set to another by geometric nearness, as
// ZYRGeometricAlgorithms does it. Each point carries a key, its distance from the origin; a
// source point is matched among the target points whose keys lie within a band of a tenth of the
// targets' key range around its own key, taking the first nearest in key order.
//
// Two ways give the same answers: the band scan itself, whose cost grows with the band (a tenth
// of all points for evenly spread sets), and a k-d tree that finds the nearest distance over all
// targets first; when a target in the band reaches that distance, only the few targets whose keys
// can be that near need looking at. The scan stays for the cases the tree cannot settle and as the
// reference the tests and the benchmark compare with.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace qiv {
namespace zyrapi {
namespace pointmatch {

struct Point {
  float x;
  float y;
  float z;
};

// sqrt(x*x + y*y + z*z) in double.
double keyOf(const Point &p);
// Differences in float, squares summed in double.
double distanceOf(const Point &a, const Point &b);

// Each entry of connectivity (an index of source, which the caller has checked) becomes the
// index of its matching target point. Nothing changes when target is empty.
void reorderByScan(const std::vector<Point> &source, const std::vector<Point> &target, int32_t *connectivity,
                   size_t count);
void reorderByTree(const std::vector<Point> &source, const std::vector<Point> &target, int32_t *connectivity,
                   size_t count);

} // namespace pointmatch
} // namespace zyrapi
} // namespace qiv

#endif
