// Splitting, trimming and reading numbers with units.
#include "StringUtilities.h"

#include <cfloat>
#include <charconv>
#include <cmath>

namespace qiv {

namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// For a decimal number text without sign, roughly the power of ten of its first significant
// digit: positive for numbers of 1 and above. The exponent saturates, so any length is safe.
long decimalMagnitude(const char *p, const char *end) {
  long magnitude = 0;
  bool significant = false, fraction = false;
  for (; p < end && *p != 'e' && *p != 'E'; ++p) {
    if (*p == '.') {
      fraction = true;
    } else if (!significant && *p == '0') {
      if (fraction)
        --magnitude;
    } else {
      significant = true;
      if (!fraction && magnitude < 100000)
        ++magnitude;
    }
  }
  if (p < end) {
    ++p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-'))
      negative = *p++ == '-';
    long exponent = 0;
    for (; p < end && exponent < 100000; ++p)
      exponent = exponent * 10 + (*p - '0');
    magnitude += negative ? -exponent : exponent;
  }
  return magnitude;
}

// The number at the start of text[begin, end): the end of it, or begin when there is none.
// from_chars takes no leading '+' and would accept "inf", "nan" and hexadecimal forms, which a
// user's quantity never is, so the sign and the first digit are checked here.
size_t readNumber(const std::string &text, size_t begin, size_t end, double &value) {
  size_t i = begin;
  bool negative = false;
  if (i < end && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  const size_t digits = i;
  if (digits < end && text[digits] == '.')
    ++i;
  if (i >= end || text[i] < '0' || text[i] > '9')
    return begin;
  double magnitude = 0;
  const char *first = text.data() + digits;
  const auto result = std::from_chars(first, text.data() + end, magnitude,
                                      std::chars_format::general);
  if (result.ec == std::errc::invalid_argument)
    return begin;
  if (result.ec == std::errc::result_out_of_range) {
    // Beyond the range of double: too large fails, too small is zero.
    value = decimalMagnitude(first, result.ptr) > 0 ? HUGE_VAL : 0.0;
    return static_cast<size_t>(result.ptr - text.data());
  }
  value = negative ? -magnitude : magnitude;
  return static_cast<size_t>(result.ptr - text.data());
}

} // namespace

std::string StringUtilities::trim(const std::string &text) {
  size_t begin = 0, end = text.size();
  while (begin < end && isSpace(text[begin]))
    ++begin;
  while (end > begin && isSpace(text[end - 1]))
    --end;
  return text.substr(begin, end - begin);
}

std::vector<std::string> StringUtilities::stringToVector(const std::string &text,
                                                         char separator) {
  std::vector<std::string> pieces;
  if (trim(text).empty())
    return pieces;
  size_t start = 0;
  while (true) {
    const size_t next = text.find(separator, start);
    if (next == std::string::npos) {
      pieces.push_back(trim(text.substr(start)));
      return pieces;
    }
    pieces.push_back(trim(text.substr(start, next - start)));
    start = next + 1;
  }
}

bool StringUtilities::valueAsDouble(const std::string &text, double &value, std::string &units) {
  value = 0;
  units.clear();
  size_t begin = 0, end = text.size();
  while (begin < end && isSpace(text[begin]))
    ++begin;
  while (end > begin && isSpace(text[end - 1]))
    --end;
  double number = 0;
  size_t i = readNumber(text, begin, end, number);
  if (i == begin || !std::isfinite(number))
    return false;
  while (i < end && isSpace(text[i]))
    ++i;
  std::string unitText;
  if (i < end && text[i] == '[') {
    if (text[end - 1] != ']')
      return false;
    const size_t close = text.find_first_of("[]", i + 1);
    if (close != end - 1)
      return false;
    unitText = trim(text.substr(i + 1, close - i - 1));
  } else if (i < end) {
    if (text.find_first_of("[]", i) != std::string::npos)
      return false;
    unitText = text.substr(i, end - i);
  }
  value = number;
  units = unitText;
  return true;
}

bool StringUtilities::valueAsFloat(const std::string &text, float &value, std::string &units) {
  double number = 0;
  if (!valueAsDouble(text, number, units) || std::fabs(number) > FLT_MAX) {
    value = 0;
    units.clear();
    return false;
  }
  value = static_cast<float>(number);
  return true;
}

} // namespace qiv
