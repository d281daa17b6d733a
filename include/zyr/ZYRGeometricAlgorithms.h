#ifndef ZYR_ZYRGEOMETRIC_ALGORITHMS_H
#define ZYR_ZYRGEOMETRIC_ALGORITHMS_H
// qiv::ZYRGeometricAlgorithms: the library's geometry provider for the host framework. It hands
// out the feature-edge wireframe of a location of the open model (through qiv::ZYRAPI) and
// renumbers a connectivity list from one point set to another, geometrically matching one:
//
//   qiv::ZYRGeometricAlgorithms algorithms;
//   algorithms.reorderConnectivityVector(oldPoints, newPoints, triangles);
//   // triangles now index newPoints: each old point is replaced by the nearest new point.
#include "GeometricAlgorithmInterface.h"
#include "IntQIVVector.h"
#include "TripletQIVVector.h"
#include "zyrExport.h"

#include <string>

namespace qiv {

class ZYR_EXPORT ZYRGeometricAlgorithms : public GeometricAlgorithmInterface {
public:
  ZYRGeometricAlgorithms() = default;
  ZYRGeometricAlgorithms(const ZYRGeometricAlgorithms &) = default;
  ZYRGeometricAlgorithms &operator=(const ZYRGeometricAlgorithms &) = default;
  ~ZYRGeometricAlgorithms() override;

  // The wireframe of location in the open model (ZYRAPI::getWireframeDisplayForLocation): points
  // three floats each in metres, lines two point indices each. Its exceptions pass unchanged and
  // leave points and lines as they were.
  void calculateWireframe(std::string &location, TripletQIVVector &points, IntQIVVector &lines,
                          double featureAngle) override;

  // Each entry of connectivity, an index of sourcePoints, becomes the index of a nearest point of
  // targetPoints. Only target points whose distance from the origin is within a tenth of the
  // targets' range of such distances of the source point's own are considered, and among equally
  // near ones the one nearer the origin wins (a point farther out than every target by more than
  // that band takes the outermost target, one nearer in than every target the innermost).
  // Nothing changes for an empty targetPoints. An entry that is no index of sourcePoints throws
  // qiv::zyrapi::zyr ("ZYRGeometricAlgorithms", "reorderConnectivityVector") before anything
  // changes.
  void reorderConnectivityVector(TripletQIVVector &sourcePoints, TripletQIVVector &targetPoints,
                                 IntQIVVector &connectivity) override;
};

} // namespace qiv

#endif
