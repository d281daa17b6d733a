#ifndef QIV_GEOMETRIC_ALGORITHM_INTERFACE_H
#define QIV_GEOMETRIC_ALGORITHM_INTERFACE_H
// qiv::GeometricAlgorithmInterface: what the framework asks of a geometry provider. The two
// operations keep their table slots 0 and 1; the virtual destructor is declared after them so
// that an implementation can be deleted through this interface without moving them.
#include "zyrExport.h"
#include "IntQIVVector.h"
#include "TripletQIVVector.h"

#include <string>

namespace qiv {

class ZYR_EXPORT GeometricAlgorithmInterface {
public:
  // The feature-edge wireframe of a location: points (three floats each) and lines (two point
  // indices each).
  virtual void calculateWireframe(std::string &location, TripletQIVVector &points,
                                  IntQIVVector &lines, double featureAngle) = 0;
  // Renumbers connectivity, whose entries index sourcePoints, to index the geometrically
  // matching points of targetPoints.
  virtual void reorderConnectivityVector(TripletQIVVector &sourcePoints,
                                         TripletQIVVector &targetPoints,
                                         IntQIVVector &connectivity) = 0;
  virtual ~GeometricAlgorithmInterface();

protected:
  GeometricAlgorithmInterface() = default;
  GeometricAlgorithmInterface(const GeometricAlgorithmInterface &) = default;
  GeometricAlgorithmInterface &operator=(const GeometricAlgorithmInterface &) = default;
};

} // namespace qiv

#endif
