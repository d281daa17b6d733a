#ifndef QIV_TRIPLET_BASE_H
#define QIV_TRIPLET_BASE_H
// qiv::TripletBase: three values x, y, z of one type (a point, a vector, an axis, scale factors).
#include "zyrExport.h"

namespace qiv {

template <typename T> class ZYR_EXPORT TripletBase {
public:
  TripletBase() : m_x(), m_y(), m_z() {}
  TripletBase(T x, T y, T z) : m_x(x), m_y(y), m_z(z) {}

  T x() const { return m_x; }
  T y() const { return m_y; }
  T z() const { return m_z; }
  void setX(T x) { m_x = x; }
  void setY(T y) { m_y = y; }
  void setZ(T z) { m_z = z; }
  void set(T x, T y, T z) {
    m_x = x;
    m_y = y;
    m_z = z;
  }

  bool operator==(const TripletBase &other) const {
    return m_x == other.m_x && m_y == other.m_y && m_z == other.m_z;
  }
  bool operator!=(const TripletBase &other) const { return !(*this == other); }

private:
  T m_x, m_y, m_z;
};

} // namespace qiv

#endif
