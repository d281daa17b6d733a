#ifndef QIV_STRING_UTILITIES_H
#define QIV_STRING_UTILITIES_H
// qiv::StringUtilities: text helpers of the framework.
#include "zyrExport.h"
#include <string>
#include <type_traits>
#include <vector>

namespace qiv {

class ZYR_EXPORT StringUtilities {
public:
  // The decimal text of an integer: "-12", "3".
  template <typename Integer> static std::string toString(Integer value) {
    static_assert(std::is_integral<Integer>::value, "toString takes integers");
    return std::to_string(value);
  }

  // Splits text at every separator. Each piece loses the blanks, tabs, carriage returns and line
  // feeds at its ends, so "a, b" gives "a" and "b"; empty pieces are kept, so "a,,b" gives three
  // pieces and "a," two. A text that is empty or only white space gives no pieces.
  static std::vector<std::string> stringToVector(const std::string &text, char separator);

  // Reads a quantity typed by a user: a decimal number (optional sign, digits with an optional
  // point, optional exponent), then optionally its units, either bracketed ("1.5 [mm]",
  // "1.5[mm]") or bare ("1.5 mm", "1.5mm"); white space is allowed around each part. The number
  // is read in the C locale whatever the process locale is. The units are the text between the
  // brackets, or the rest of the text, without surrounding white space, and are not checked
  // here; a number alone gives empty units. A value too small for the type reads as 0.
  // Returns true with value and units set; on failure (no number, a value that is not finite or
  // beyond the range of float, an unclosed or nested bracket, a bracket in bare units, text
  // after the closing bracket) returns false with value 0 and empty units.
  static bool valueAsFloat(const std::string &text, float &value, std::string &units);
  // The same in double precision.
  static bool valueAsDouble(const std::string &text, double &value, std::string &units);

  // The text without white space (blank, tab, CR, LF) at either end.
  static std::string trim(const std::string &text);
};

} // namespace qiv

#endif
