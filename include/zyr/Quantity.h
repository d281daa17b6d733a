#ifndef QIV_QUANTITY_H
#define QIV_QUANTITY_H
// qiv::Quantity: a value with the unit text it is measured in ("90", "deg"). Conversions go
// through qiv::UnitsConverter and leave the quantity unchanged when they fail.
#include "zyrExport.h"
#include <string>

namespace qiv {

class ZYR_EXPORT Quantity {
public:
  // 0 with no units.
  Quantity();
  Quantity(double value, const std::string &units);

  double getValue() const { return m_value; }
  const std::string &getUnits() const { return m_units; }
  void setValue(double value) { m_value = value; }
  void setUnits(const std::string &units) { m_units = units; }

  // The value in other units, in value; false (value untouched) when the conversion fails.
  // absolute as in UnitsConverter::convertUnits.
  bool getValueIn(const std::string &units, double &value, bool absolute = true) const;
  // Re-expresses the quantity in other units.
  bool convertTo(const std::string &units, bool absolute = true);

  // Same value and the same unit text, byte for byte (no conversion).
  bool operator==(const Quantity &other) const;
  bool operator!=(const Quantity &other) const { return !(*this == other); }

private:
  double m_value;
  std::string m_units;
};

} // namespace qiv

#endif
