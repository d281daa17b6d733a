#ifndef QIV_UNITS_CONVERTER_H
#define QIV_UNITS_CONVERTER_H
// qiv::UnitsConverter: conversion of values between unit texts ("mm", "deg", "rev min^-1") by
// the units library. The definitions are the library's current ones; when none have been loaded
// yet, the first conversion loads them the way the library finds them by default (see u_init).
// A conversion either succeeds completely or leaves the value untouched and returns false, with
// the reason in lastMessage().
#include "zyrExport.h"
#include <string>

namespace qiv {

class ZYR_EXPORT UnitsConverter {
public:
  // Created on first use, never destroyed.
  static UnitsConverter &instance();

  // Converts value from the units from into the units to. With absolute set the value is a
  // reading on a scale, so the zeros of the two units count (20 C is 293.15 K); clear, it is a
  // difference (20 C is 20 K). Fails for empty, unknown or malformed unit texts, units of
  // different kinds, and a result that is not finite (or, for float, out of its range).
  bool convertUnits(float &value, const std::string &from, const std::string &to,
                    bool absolute) const;
  bool convertUnits(double &value, const std::string &from, const std::string &to,
                    bool absolute) const;

  // Whether the text is a unit text of the current definitions.
  bool isValidUnits(const std::string &units) const;
  // Whether both texts are valid and measure the same kind of quantity.
  bool areCompatible(const std::string &a, const std::string &b) const;
  // Why the last failed call failed; "" after a success.
  const std::string &lastMessage() const { return m_message; }

  UnitsConverter(const UnitsConverter &) = delete;
  UnitsConverter &operator=(const UnitsConverter &) = delete;

private:
  UnitsConverter() = default;
  ~UnitsConverter() = default;
  bool ensureDefinitions() const;
  bool factors(const std::string &from, const std::string &to, double &scale,
               double &offset) const;

  mutable std::string m_message;
};

} // namespace qiv

#endif
