// Unit conversion through the units library, with the library loaded on first need.
#include "UnitsConverter.h"

#include "units.h"

#include <cfloat>
#include <cmath>

namespace qiv {

UnitsConverter &UnitsConverter::instance() {
  static UnitsConverter *converter = new UnitsConverter();
  return *converter;
}

bool UnitsConverter::ensureDefinitions() const {
  // The database layer (re)loads the definitions when it opens a database; this only covers
  // conversions asked for before that.
  if (u_source()[0] != '\0')
    return true;
  int status = -1;
  u_init(nullptr, &status);
  if (status == U_OK)
    return true;
  m_message = std::string("no unit definitions: ") + u_message();
  return false;
}

bool UnitsConverter::factors(const std::string &from, const std::string &to, double &scale,
                             double &offset) const {
  if (!ensureDefinitions())
    return false;
  if (from.empty() || to.empty()) {
    m_message = from.empty() ? "no units to convert from" : "no units to convert to";
    return false;
  }
  int status = -1;
  convert(from.c_str(), to.c_str(), &scale, &offset, &status);
  if (status != U_OK) {
    m_message = u_message();
    if (m_message.empty())
      m_message = "cannot convert " + from + " to " + to;
    return false;
  }
  return true;
}

bool UnitsConverter::convertUnits(double &value, const std::string &from, const std::string &to,
                                  bool absolute) const {
  double scale = 1, offset = 0;
  if (!factors(from, to, scale, offset))
    return false;
  const double result = value * scale + (absolute ? offset : 0.0);
  if (!std::isfinite(result)) {
    m_message = "the value is out of range in " + to;
    return false;
  }
  value = result;
  m_message.clear();
  return true;
}

bool UnitsConverter::convertUnits(float &value, const std::string &from, const std::string &to,
                                  bool absolute) const {
  double wide = value;
  if (!convertUnits(wide, from, to, absolute))
    return false;
  if (std::fabs(wide) > FLT_MAX) {
    m_message = "the value is out of range in " + to;
    return false;
  }
  value = static_cast<float>(wide);
  return true;
}

bool UnitsConverter::isValidUnits(const std::string &units) const {
  return ensureDefinitions() && u_is_valid(units.c_str()) == 1;
}

bool UnitsConverter::areCompatible(const std::string &a, const std::string &b) const {
  return ensureDefinitions() && u_compatible(a.c_str(), b.c_str()) == 1;
}

} // namespace qiv
