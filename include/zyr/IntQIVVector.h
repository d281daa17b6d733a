#ifndef QIV_INT_QIV_VECTOR_H
#define QIV_INT_QIV_VECTOR_H
// qiv::IntQIVVector: a vector of int (connectivity and line lists).
#include "zyrExport.h"
#include "QIVVector.h"

namespace qiv {

class ZYR_EXPORT IntQIVVector : public QIVVector<int> {
public:
  IntQIVVector() = default;
  // n zeros.
  explicit IntQIVVector(size_t n) { resize(n); }
};

} // namespace qiv

#endif
