// The library's geometry provider: wireframes from the open model, and the renumbering of a
// connectivity list onto a geometrically matching point set.
#include "ZYRGeometricAlgorithms.h"

#include "PointMatch.h"
#include "QIVMessage.h"
#include "ZYRAPI.h"
#include "ZYRAPIExceptions.h"

#include <climits>

namespace qiv {

namespace pointmatch = zyrapi::pointmatch;

ZYRGeometricAlgorithms::~ZYRGeometricAlgorithms() = default;

void ZYRGeometricAlgorithms::calculateWireframe(std::string &location, TripletQIVVector &points,
                                                IntQIVVector &lines, double featureAngle) {
  ZYRAPI::WireframeDisplay display;
  ZYRAPI::instance().getWireframeDisplayForLocation(location, featureAngle, display, false);
  lines.resize(display.lines.size());
  std::copy(display.lines.begin(), display.lines.end(), lines.data());
  points.clear();
  for (size_t i = 0; i + 2 < display.points.size(); i += 3)
    points.push_back(TripletBase<float>(display.points[i], display.points[i + 1], display.points[i + 2]));
}

void ZYRGeometricAlgorithms::reorderConnectivityVector(TripletQIVVector &sourcePoints,
                                                       TripletQIVVector &targetPoints,
                                                       IntQIVVector &connectivity) {
  if (targetPoints.empty())
    return;
  // The host's indices are checked here: one outside the source points would be read past its
  // end.
  int32_t *entries = connectivity.data();
  for (size_t i = 0; i < connectivity.size(); ++i)
    if (entries[i] < 0 || static_cast<size_t>(entries[i]) >= sourcePoints.size())
      throw zyrapi::zyr("ZYRGeometricAlgorithms", "reorderConnectivityVector",
                        _("Connectivity entry %zu is %d, which is not the index of one of the %zu source points.",
                          i, entries[i], sourcePoints.size()),
                        errorTypeError);
  if (targetPoints.size() > static_cast<size_t>(INT_MAX))
    throw zyrapi::zyr("ZYRGeometricAlgorithms", "reorderConnectivityVector",
                      _("%zu target points cannot be indexed by int.", targetPoints.size()), errorTypeError);
  std::vector<pointmatch::Point> source(sourcePoints.size());
  for (size_t i = 0; i < source.size(); ++i)
    source[i] = pointmatch::Point{sourcePoints[i].x(), sourcePoints[i].y(), sourcePoints[i].z()};
  std::vector<pointmatch::Point> target(targetPoints.size());
  for (size_t i = 0; i < target.size(); ++i)
    target[i] = pointmatch::Point{targetPoints[i].x(), targetPoints[i].y(), targetPoints[i].z()};
  pointmatch::reorderByTree(source, target, entries, connectivity.size());
}

} // namespace qiv
