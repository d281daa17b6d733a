#ifndef UNIT_TABLE_H
#define UNIT_TABLE_H
// A set of unit definitions: base dimensions, named units, and the evaluation of unit texts such as
// "rev min^-1" against them. The text format is described at the top of units.wez. Functions that
// can fail return a units status (U_OK, 0, on success; see units.h) and put a one-line reason in
// *message (which may be NULL).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <unordered_map>
#include <vector>

#define UNITS_MAX_DIMENSIONS 16
#define UNITS_MAX_NAME 63                // bytes in a unit or dimension name
#define UNITS_MAX_FACTOR_EXPONENT 99     // |n| in one factor "name^n"
#define UNITS_MAX_TOTAL_EXPONENT 999     // |exponent| of any dimension of a unit text
#define UNITS_MAX_TEXT (1 << 20)         // bytes of a definition text

// A unit text evaluated: a value v in it is v * m_scale + m_offset in the base units, whose
// dimension is the product of the base dimensions raised to m_exponents.
struct UnitValue {
  double m_scale;
  double m_offset;
  int32_t m_exponents[UNITS_MAX_DIMENSIONS];
};

struct UnitEntry {
  std::vector<std::string> m_names;
  UnitValue m_value;
};

struct UnitTable {
  std::vector<std::string> m_dimensions;
  std::vector<UnitEntry> m_units;
  std::unordered_map<std::string, int32_t> m_byName; // every name of every unit -> its entry
};

UnitTable *UnitTable_new();
void UnitTable_delete(UnitTable *table);
void UnitTable_print(const UnitTable *table, FILE *stream);

// Adds the definitions of a text to the table; source names the text in messages
// ("<source>:<line>: <reason>"). On failure the table is left as it was before the call.
int UnitTable_read(UnitTable *table, const char *text, size_t length, const char *source,
                   std::string *message);
// Evaluates a unit text: factors separated by blanks, each a unit name with an optional "^" and a
// signed integer exponent. Only a text of one factor with no exponent (or "^1") keeps the unit's
// offset; every other text measures differences and has offset 0.
int UnitTable_evaluate(const UnitTable *table, const char *text, size_t length, UnitValue *value,
                       std::string *message);
// scale and offset turn a value in from into to: to = from * scale + offset.
int UnitTable_convert(const UnitTable *table, const char *from, const char *to, double *scale,
                      double *offset, std::string *message);
// The dimension as text, base dimensions in table order: "length time^-1"; "1" when dimensionless.
std::string UnitTable_describeDimension(const UnitTable *table, const UnitValue *value);

int UnitValue_sameDimension(const UnitValue *a, const UnitValue *b);

#endif
