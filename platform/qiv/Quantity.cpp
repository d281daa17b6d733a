// Quantities and their conversion.
#include "Quantity.h"

#include "UnitsConverter.h"

namespace qiv {

Quantity::Quantity() : m_value(0) {}

Quantity::Quantity(double value, const std::string &units) : m_value(value), m_units(units) {}

bool Quantity::getValueIn(const std::string &units, double &value, bool absolute) const {
  double converted = m_value;
  if (!UnitsConverter::instance().convertUnits(converted, m_units, units, absolute))
    return false;
  value = converted;
  return true;
}

bool Quantity::convertTo(const std::string &units, bool absolute) {
  double converted = 0;
  if (!getValueIn(units, converted, absolute))
    return false;
  m_value = converted;
  m_units = units;
  return true;
}

bool Quantity::operator==(const Quantity &other) const {
  return m_value == other.m_value && m_units == other.m_units;
}

} // namespace qiv
