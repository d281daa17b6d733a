// Unit definitions and the evaluation of unit texts. Scales of unit texts are multiplied in long
// double so that a product of many factors loses as little as possible before the final rounding.
#include "UnitTable.h"

#include "units.h"

#include <charconv>
#include <cfloat>
#include <cmath>
#include <cstdarg>
#include <cstring>

namespace {

struct Token {
  const char *m_text;
  size_t m_length;
};

const double kPi = 3.14159265358979323846;

const char *const g_reserved[] = {"dimension", "unit", "offset", "pi"};

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isNameStart(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || u == '_' || u >= 0x80;
}
bool isNameChar(char c) { return isNameStart(c) || isDigit(c); }

bool isNameText(const char *text, size_t length) {
  if (length == 0 || !isNameStart(text[0]))
    return false;
  for (size_t i = 1; i < length; i++)
    if (!isNameChar(text[i]))
      return false;
  return true;
}
bool isName(const char *text, size_t length) {
  return length <= UNITS_MAX_NAME && isNameText(text, length);
}

bool equals(Token t, const char *word) {
  return t.m_length == std::strlen(word) && std::memcmp(t.m_text, word, t.m_length) == 0;
}

bool isReserved(Token t) {
  for (const char *word : g_reserved)
    if (equals(t, word))
      return true;
  return false;
}

// Texts from outside go into messages shortened, so a message stays one short line.
std::string quoted(const char *text, size_t length) {
  const size_t limit = 64;
  std::string q = "\"";
  q.append(text, length > limit ? limit : length);
  if (length > limit)
    q += "...";
  q += "\"";
  return q;
}
std::string quoted(Token t) { return quoted(t.m_text, t.m_length); }

std::string format(const char *pattern, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char *pattern, ...) {
  char buffer[512];
  va_list arguments;
  va_start(arguments, pattern);
  std::vsnprintf(buffer, sizeof buffer, pattern, arguments);
  va_end(arguments);
  return buffer;
}

int fail(std::string *message, int status, const std::string &reason) {
  if (message != nullptr)
    *message = reason;
  return status;
}

// Splits [text, text + length) at blanks; '=' is a token of its own.
std::vector<Token> tokenise(const char *text, size_t length) {
  std::vector<Token> tokens;
  size_t i = 0;
  while (i < length) {
    if (isBlank(text[i])) {
      i++;
      continue;
    }
    size_t start = i;
    if (text[i] == '=')
      i++;
    else
      while (i < length && !isBlank(text[i]) && text[i] != '=')
        i++;
    tokens.push_back({text + start, i - start});
  }
  return tokens;
}

UnitValue dimensionless() {
  UnitValue v;
  v.m_scale = 1.0;
  v.m_offset = 0.0;
  for (int32_t &e : v.m_exponents)
    e = 0;
  return v;
}

// Products are formed in long double, whose wider range lets "Em^20 am^20 m^-40" cancel; the
// result must then be a normal double.
bool isUsableStep(long double scale) { return std::isfinite(scale) && scale > 0.0L; }
bool isUsable(long double scale) {
  return isUsableStep(scale) && scale >= static_cast<long double>(DBL_MIN) &&
         scale <= static_cast<long double>(DBL_MAX);
}

// One term of a number: an optional sign, then "pi" or a decimal number.
int parseTerm(const char *text, size_t length, double *value) {
  size_t i = 0;
  double sign = 1.0;
  if (i < length && (text[i] == '+' || text[i] == '-')) {
    sign = text[i] == '-' ? -1.0 : 1.0;
    i++;
  }
  if (length - i == 2 && text[i] == 'p' && text[i + 1] == 'i') {
    *value = sign * kPi;
    return 1;
  }
  // from_chars would also take "inf", "nan" and hexadecimal forms; only plain decimals are numbers.
  size_t start = i, digits = 0;
  while (i < length && isDigit(text[i]))
    i++, digits++;
  if (i < length && text[i] == '.') {
    i++;
    while (i < length && isDigit(text[i]))
      i++, digits++;
  }
  if (digits == 0)
    return 0;
  if (i < length && (text[i] == 'e' || text[i] == 'E')) {
    i++;
    if (i < length && (text[i] == '+' || text[i] == '-'))
      i++;
    size_t exponentDigits = 0;
    while (i < length && isDigit(text[i]))
      i++, exponentDigits++;
    if (exponentDigits == 0)
      return 0;
  }
  if (i != length)
    return 0;
  double magnitude = 0.0;
  std::from_chars_result r = std::from_chars(text + start, text + length, magnitude);
  if (r.ec != std::errc() || r.ptr != text + length || !std::isfinite(magnitude))
    return 0;
  *value = sign * magnitude;
  return 1;
}

// A number of a definition: terms joined by '*' and '/', evaluated left to right ("pi/180").
int parseNumber(Token t, double *value, std::string *reason) {
  double result = 0.0;
  char op = 0;
  size_t i = 0;
  while (true) {
    size_t start = i;
    // A sign belongs to the term; an operator can only follow its first character.
    while (i < t.m_length && (i == start || (t.m_text[i] != '*' && t.m_text[i] != '/')))
      i++;
    double term = 0.0;
    if (!parseTerm(t.m_text + start, i - start, &term)) {
      *reason = "bad number " + quoted(t);
      return 0;
    }
    if (op == 0)
      result = term;
    else if (op == '*')
      result *= term;
    else if (term == 0.0) {
      *reason = "division by zero in " + quoted(t);
      return 0;
    } else
      result /= term;
    if (!std::isfinite(result)) {
      *reason = "number out of range in " + quoted(t);
      return 0;
    }
    if (i == t.m_length)
      break;
    op = t.m_text[i++];
    if (i == t.m_length) {
      *reason = "bad number " + quoted(t);
      return 0;
    }
  }
  *value = result;
  return 1;
}

// Multiplies one factor "name" or "name^n" into the running product.
int applyFactor(const UnitTable *table, Token t, long double *scale, int32_t *exponents,
                int *exponentOne, const UnitEntry **unit, std::string *reason) {
  size_t nameLength = 0;
  while (nameLength < t.m_length && t.m_text[nameLength] != '^')
    nameLength++;
  if (!isNameText(t.m_text, nameLength))
    return fail(reason, U_BAD_SYNTAX, "bad unit factor " + quoted(t));
  int32_t power = 1;
  *exponentOne = 1;
  if (nameLength < t.m_length) {
    size_t i = nameLength + 1;
    int32_t sign = 1;
    if (i < t.m_length && (t.m_text[i] == '+' || t.m_text[i] == '-'))
      sign = t.m_text[i++] == '-' ? -1 : 1;
    if (i == t.m_length)
      return fail(reason, U_BAD_SYNTAX, "bad unit factor " + quoted(t));
    int32_t magnitude = 0;
    for (; i < t.m_length; i++) {
      if (!isDigit(t.m_text[i]))
        return fail(reason, U_BAD_SYNTAX, "bad unit factor " + quoted(t));
      if (magnitude <= UNITS_MAX_FACTOR_EXPONENT)
        magnitude = magnitude * 10 + (t.m_text[i] - '0');
    }
    if (magnitude > UNITS_MAX_FACTOR_EXPONENT)
      return fail(reason, U_OUT_OF_RANGE, "exponent out of range in " + quoted(t));
    power = sign * magnitude;
    *exponentOne = power == 1;
  }
  if (nameLength > UNITS_MAX_NAME)
    return fail(reason, U_UNKNOWN_UNIT, "unknown unit " + quoted(t.m_text, nameLength));
  auto found = table->m_byName.find(std::string(t.m_text, nameLength));
  if (found == table->m_byName.end())
    return fail(reason, U_UNKNOWN_UNIT, "unknown unit " + quoted(t.m_text, nameLength));
  const UnitEntry &entry = table->m_units[static_cast<size_t>(found->second)];
  *unit = &entry;
  for (size_t d = 0; d < UNITS_MAX_DIMENSIONS; d++) {
    int32_t e = exponents[d] + power * entry.m_value.m_exponents[d];
    if (e > UNITS_MAX_TOTAL_EXPONENT || e < -UNITS_MAX_TOTAL_EXPONENT)
      return fail(reason, U_OUT_OF_RANGE, "exponent out of range in " + quoted(t));
    exponents[d] = e;
  }
  long double s = entry.m_value.m_scale;
  if (power == 1)
    *scale *= s;
  else if (power == -1)
    *scale /= s;
  else
    *scale *= std::pow(s, static_cast<long double>(power));
  if (!isUsableStep(*scale))
    return fail(reason, U_OUT_OF_RANGE, "factor out of range in " + quoted(t));
  return U_OK;
}

int evaluate(const UnitTable *table, const char *text, size_t length, UnitValue *value,
             std::string *reason) {
  UnitValue v = dimensionless();
  long double scale = 1.0L;
  size_t factors = 0;
  int exponentOne = 0;
  const UnitEntry *last = nullptr;
  size_t i = 0;
  while (i < length) {
    if (isBlank(text[i])) {
      i++;
      continue;
    }
    size_t start = i;
    while (i < length && !isBlank(text[i]))
      i++;
    int status = applyFactor(table, {text + start, i - start}, &scale, v.m_exponents, &exponentOne,
                             &last, reason);
    if (status != U_OK)
      return status;
    factors++;
  }
  if (factors == 0)
    return fail(reason, U_BAD_SYNTAX, "empty unit text");
  if (!isUsable(scale))
    return fail(reason, U_OUT_OF_RANGE, "factor out of range in " + quoted(text, length));
  v.m_scale = static_cast<double>(scale);
  // Only a unit on its own keeps its zero: "C" is a temperature, "C s^-1" a rate of change.
  if (factors == 1 && exponentOne)
    v.m_offset = last->m_value.m_offset;
  *value = v;
  return U_OK;
}

int checkNewName(const UnitTable *table, Token t, std::string *reason) {
  if (isReserved(t))
    return fail(reason, U_BAD_DEFINITIONS, quoted(t) + " is a reserved word");
  if (!isName(t.m_text, t.m_length))
    return fail(reason, U_BAD_DEFINITIONS, quoted(t) + " is not a valid name");
  if (table->m_byName.count(std::string(t.m_text, t.m_length)) != 0)
    return fail(reason, U_BAD_DEFINITIONS, quoted(t) + " is already defined");
  return U_OK;
}

int addUnit(UnitTable *table, const std::vector<Token> &tokens, size_t first, size_t end,
            const UnitValue &value, std::string *reason) {
  UnitEntry entry;
  entry.m_value = value;
  int32_t index = static_cast<int32_t>(table->m_units.size());
  for (size_t i = first; i < end; i++) {
    // Checked one by one against what is already added, which catches a name given twice.
    if (checkNewName(table, tokens[i], reason) != U_OK)
      return U_BAD_DEFINITIONS;
    std::string name(tokens[i].m_text, tokens[i].m_length);
    table->m_byName.emplace(name, index);
    entry.m_names.push_back(name);
  }
  table->m_units.push_back(entry);
  return U_OK;
}

// "dimension <dimension> <name>..."
int readDimension(UnitTable *table, const std::vector<Token> &tokens, std::string *reason) {
  if (tokens.size() < 3)
    return fail(reason, U_BAD_DEFINITIONS, "a dimension needs a name and at least one unit name");
  Token name = tokens[1];
  if (isReserved(name))
    return fail(reason, U_BAD_DEFINITIONS, quoted(name) + " is a reserved word");
  if (!isName(name.m_text, name.m_length))
    return fail(reason, U_BAD_DEFINITIONS, quoted(name) + " is not a valid name");
  for (const std::string &d : table->m_dimensions)
    if (equals(name, d.c_str()))
      return fail(reason, U_BAD_DEFINITIONS, "dimension " + quoted(name) + " is already defined");
  if (table->m_dimensions.size() >= UNITS_MAX_DIMENSIONS)
    return fail(reason, U_BAD_DEFINITIONS,
                format("too many dimensions (at most %d)", UNITS_MAX_DIMENSIONS));
  UnitValue value = dimensionless();
  value.m_exponents[table->m_dimensions.size()] = 1;
  if (addUnit(table, tokens, 2, tokens.size(), value, reason) != U_OK)
    return U_BAD_DEFINITIONS;
  table->m_dimensions.emplace_back(name.m_text, name.m_length);
  return U_OK;
}

// "unit <name>... = <number> [<units>] [offset <number>]"
int readUnit(UnitTable *table, const std::vector<Token> &tokens, std::string *reason) {
  size_t equal = 1;
  while (equal < tokens.size() && !equals(tokens[equal], "="))
    equal++;
  if (equal == tokens.size())
    return fail(reason, U_BAD_DEFINITIONS, "missing \"=\"");
  if (equal == 1)
    return fail(reason, U_BAD_DEFINITIONS, "a unit needs at least one name before \"=\"");
  if (equal + 1 == tokens.size())
    return fail(reason, U_BAD_DEFINITIONS, "missing number after \"=\"");
  double number = 0.0;
  if (!parseNumber(tokens[equal + 1], &number, reason))
    return U_BAD_DEFINITIONS;
  if (number <= 0.0)
    return fail(reason, U_BAD_DEFINITIONS, "the number of a unit must be positive");

  size_t unitsEnd = equal + 2;
  while (unitsEnd < tokens.size() && !equals(tokens[unitsEnd], "offset"))
    unitsEnd++;
  double offset = 0.0;
  if (unitsEnd < tokens.size()) {
    if (unitsEnd + 2 != tokens.size())
      return fail(reason, U_BAD_DEFINITIONS, "\"offset\" takes exactly one number");
    if (!parseNumber(tokens[unitsEnd + 1], &offset, reason))
      return U_BAD_DEFINITIONS;
  }
  UnitValue base = dimensionless();
  if (unitsEnd > equal + 2) {
    for (size_t i = equal + 2; i < unitsEnd; i++)
      if (equals(tokens[i], "="))
        return fail(reason, U_BAD_DEFINITIONS, "unexpected \"=\"");
    const char *start = tokens[equal + 2].m_text;
    const char *end = tokens[unitsEnd - 1].m_text + tokens[unitsEnd - 1].m_length;
    std::string why;
    if (evaluate(table, start, static_cast<size_t>(end - start), &base, &why) != U_OK)
      return fail(reason, U_BAD_DEFINITIONS, why);
  }
  // v in the new unit is (v + offset) * number in the base text.
  UnitValue value = base;
  long double scale = static_cast<long double>(number) * base.m_scale;
  long double zero = static_cast<long double>(offset) * scale + base.m_offset;
  if (!isUsable(scale) || !std::isfinite(zero) || std::fabs(zero) > DBL_MAX)
    return fail(reason, U_BAD_DEFINITIONS, "the unit's factor or offset is out of range");
  value.m_scale = static_cast<double>(scale);
  value.m_offset = static_cast<double>(zero);
  return addUnit(table, tokens, 1, equal, value, reason);
}

int readLine(UnitTable *table, const char *line, size_t length, std::string *reason) {
  size_t end = 0;
  while (end < length && line[end] != '#')
    end++;
  std::vector<Token> tokens = tokenise(line, end);
  if (tokens.empty())
    return U_OK;
  if (equals(tokens[0], "dimension"))
    return readDimension(table, tokens, reason);
  if (equals(tokens[0], "unit"))
    return readUnit(table, tokens, reason);
  return fail(reason, U_BAD_DEFINITIONS,
              "expected \"dimension\" or \"unit\" at " + quoted(tokens[0]));
}

} // namespace

UnitTable *UnitTable_new() { return new UnitTable(); }

void UnitTable_delete(UnitTable *table) { delete table; }

void UnitTable_print(const UnitTable *table, FILE *stream) {
  for (size_t d = 0; d < table->m_dimensions.size(); d++)
    std::fprintf(stream, "dimension %s\n", table->m_dimensions[d].c_str());
  for (const UnitEntry &unit : table->m_units) {
    std::string names;
    for (const std::string &name : unit.m_names)
      names += (names.empty() ? "" : " ") + name;
    std::fprintf(stream, "%-40s %.17g %s", names.c_str(), unit.m_value.m_scale,
                 UnitTable_describeDimension(table, &unit.m_value).c_str());
    if (unit.m_value.m_offset != 0.0)
      std::fprintf(stream, " offset %.17g", unit.m_value.m_offset);
    std::fputc('\n', stream);
  }
}

int UnitTable_read(UnitTable *table, const char *text, size_t length, const char *source,
                   std::string *message) {
  const char *name = source != nullptr ? source : "definitions";
  if (text == nullptr && length > 0)
    return fail(message, U_BAD_DEFINITIONS, format("%s: no text", name));
  if (length > UNITS_MAX_TEXT)
    return fail(message, U_BAD_DEFINITIONS,
                format("%s: longer than %d bytes", name, UNITS_MAX_TEXT));
  // Read into a copy so that a bad line leaves the table as it was.
  UnitTable work = *table;
  size_t start = 0;
  long lineNumber = 0;
  while (start < length) {
    lineNumber++;
    const void *newline = std::memchr(text + start, '\n', length - start);
    size_t end = newline ? static_cast<size_t>(static_cast<const char *>(newline) - text) : length;
    std::string reason;
    if (readLine(&work, text + start, end - start, &reason) != U_OK)
      return fail(message, U_BAD_DEFINITIONS,
                  format("%s:%ld: %s", name, lineNumber, reason.c_str()));
    start = end + 1;
  }
  *table = std::move(work);
  return U_OK;
}

int UnitTable_evaluate(const UnitTable *table, const char *text, size_t length, UnitValue *value,
                       std::string *message) {
  if (text == nullptr)
    return fail(message, U_BAD_SYNTAX, "no unit text");
  return evaluate(table, text, length, value, message);
}

int UnitTable_convert(const UnitTable *table, const char *from, const char *to, double *scale,
                      double *offset, std::string *message) {
  if (from == nullptr || to == nullptr)
    return fail(message, U_BAD_SYNTAX, "no unit text");
  UnitValue f, t;
  int status = evaluate(table, from, std::strlen(from), &f, message);
  if (status == U_OK)
    status = evaluate(table, to, std::strlen(to), &t, message);
  if (status != U_OK)
    return status;
  if (!UnitValue_sameDimension(&f, &t))
    return fail(message, U_INCOMPATIBLE,
                "cannot convert " + quoted(from, std::strlen(from)) + " (" +
                    UnitTable_describeDimension(table, &f) + ") to " + quoted(to, std::strlen(to)) +
                    " (" + UnitTable_describeDimension(table, &t) + ")");
  long double s = static_cast<long double>(f.m_scale) / t.m_scale;
  long double o = (static_cast<long double>(f.m_offset) - t.m_offset) / t.m_scale;
  if (!isUsable(s) || !std::isfinite(o) || std::fabs(o) > DBL_MAX)
    return fail(message, U_OUT_OF_RANGE,
                "the factor from " + quoted(from, std::strlen(from)) + " to " +
                    quoted(to, std::strlen(to)) + " is out of range");
  // Rounded once from the exact quotient, so "mm" to "m" gives exactly 0.001.
  if (scale != nullptr)
    *scale = static_cast<double>(s);
  if (offset != nullptr)
    *offset = static_cast<double>(o);
  return U_OK;
}

std::string UnitTable_describeDimension(const UnitTable *table, const UnitValue *value) {
  std::string text;
  for (size_t d = 0; d < UNITS_MAX_DIMENSIONS; d++) {
    int32_t e = value->m_exponents[d];
    if (e == 0)
      continue;
    if (!text.empty())
      text += ' ';
    text += d < table->m_dimensions.size() ? table->m_dimensions[d] : "?";
    if (e != 1)
      text += "^" + std::to_string(e);
  }
  return text.empty() ? "1" : text;
}

int UnitValue_sameDimension(const UnitValue *a, const UnitValue *b) {
  return std::memcmp(a->m_exponents, b->m_exponents, sizeof a->m_exponents) == 0;
}
