#ifndef QIV_VECTOR_H
#define QIV_VECTOR_H
// qiv::QIVVector: the framework's growable array, the base of its typed vectors
// (TripletQIVVector, IntQIVVector). Elements are stored contiguously; data() may be read and
// written in place for size() elements. operator[] does not check the index, at() does and
// throws std::out_of_range. resize is virtual so that a vector type can keep data of its own
// in step with the size.
#include "zyrExport.h"
#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

namespace qiv {

template <typename T> class ZYR_EXPORT QIVVector {
public:
  using value_type = T;
  using iterator = typename std::vector<T>::iterator;
  using const_iterator = typename std::vector<T>::const_iterator;

  QIVVector() = default;
  QIVVector(const QIVVector &) = default;
  QIVVector &operator=(const QIVVector &) = default;
  virtual ~QIVVector() = default;

  // New elements are value-initialised (0 for numbers).
  virtual void resize(size_t size) { m_items.resize(size); }

  bool empty() const { return m_items.empty(); }
  size_t size() const { return m_items.size(); }
  void clear() { m_items.clear(); }
  void reserve(size_t size) { m_items.reserve(size); }
  void push_back(const T &item) { m_items.push_back(item); }

  T &operator[](size_t i) { return m_items[i]; }
  const T &operator[](size_t i) const { return m_items[i]; }
  T &at(size_t i) { return m_items.at(i); }
  const T &at(size_t i) const { return m_items.at(i); }

  T *data() { return m_items.data(); }
  const T *data() const { return m_items.data(); }
  iterator begin() { return m_items.begin(); }
  iterator end() { return m_items.end(); }
  const_iterator begin() const { return m_items.begin(); }
  const_iterator end() const { return m_items.end(); }

  bool operator==(const QIVVector &other) const { return m_items == other.m_items; }
  bool operator!=(const QIVVector &other) const { return m_items != other.m_items; }

private:
  std::vector<T> m_items;
};

} // namespace qiv

#endif
