#ifndef QIV_TRIPLET_QIV_VECTOR_H
#define QIV_TRIPLET_QIV_VECTOR_H
// qiv::TripletQIVVector: a vector of float triplets (display points, point sets).
#include "zyrExport.h"
#include "QIVVector.h"
#include "TripletBase.h"

namespace qiv {

class ZYR_EXPORT TripletQIVVector : public QIVVector<TripletBase<float>> {
public:
  TripletQIVVector() = default;
  // n triplets of 0.
  explicit TripletQIVVector(size_t n) { resize(n); }
};

} // namespace qiv

#endif
