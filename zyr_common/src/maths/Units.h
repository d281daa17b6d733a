#ifndef ZYR_UNITS_H
#define ZYR_UNITS_H
// Length and angle units: is a name a known unit, what factor turns values in one unit into
// values in another, and conversion of arrays in place. The module works in one of three modes,
// chosen at first use and again at every Units_areAvailable:
//   0 (UnitsModeLocal)   the built-in table of 63 units, when ZYR_USE_LOCAL_UNITS is set;
//   1 (UnitsModeLibrary) the units library, reading "units.wez" from $WEZ5_UNITS_DIR, else
//                        $WEZ_DATA_DIR, else the working directory;
//   2 (UnitsModeNone)    no unit definitions (that file was not found): every test and every
//                        conversion fails.
// Unknown names, names of different kinds and a missing units library give 0 results, never
// errors; the only error raised here is 20009, when the library cannot be initialised.
#include <cstdint>
#include <cstdio>

enum { UnitsModeLocal = 0, UnitsModeLibrary = 1, UnitsModeNone = 2 };
enum { UnitTypeLength = 0, UnitTypeAngle = 1 };

// One row of the built-in table. factor is the size of the unit in metres (lengths) or radians
// (angles); the lengths are filled in by Units_initialise.
struct UnitDefinition {
  const char *m_name;
  const char *m_abbreviation; // "-" where the unit has none
  double m_factor;
  int32_t m_nameLength;
  int32_t m_abbreviationLength;
  int32_t m_type;
};

// 1 when the name is a known length or angle unit in the current mode.
int Units_isValid(const char *units);
// 1 when the name is a known length unit in the current mode (a factor to metres exists).
int Units_isLengthUnit(const char *units);
// 0 when no factor exists; 1 with the factor; 2 when both names denote the same unit (factor 1).
// A value in from times the factor is the value in to.
int Units_computeConversionFactor(const char *from, const char *to, double *factor);
// 1 when Units_computeConversionFactor gives 1 or 2, else 0.
int Units_getConversionFactor(const char *from, const char *to, double *factor);
// Converts n values in place. A NULL to, or the same unit: nothing changes, result 1. No factor
// (or a negative n, or no array for n > 0): nothing changes, result 0.
int Units_convertDoubles(const char *from, const char *to, int32_t n, double *values);
// As Units_convertDoubles; each value is widened to double, multiplied and narrowed back.
int Units_convertFloats(const char *from, const char *to, int32_t n, float *values);
// Initialises again and answers 1 unless there are no unit definitions.
int Units_areAvailable();
void Units_print(FILE *stream);

// Row of the built-in table found by abbreviation, else by name; 0 when neither matches.
int Units_findUnit(const char *name, int32_t *row);
// The first row in table order whose abbreviation (or name) equals the text exactly.
int Units_findByAbbreviation(const char *name, int32_t *row);
int Units_findByName(const char *name, int32_t *row);
void Units_initialise();

// The current mode (initialising on first use), the table's size and its rows (NULL outside
// 0 to 62).
int32_t Units_getMode();
int32_t Units_getNoOfDefinitions();
const UnitDefinition *Units_getDefinition(int32_t row);

// 1 when the units library was initialised; 0 after publishing error 20009.
int UnitsLibrary_initialise();
// 1 when the unit definition file exists.
int UnitsLibrary_findDefinitions();
// 1 when the library can convert the unit to "m" or, failing that, to "rad"; 0 in mode 2.
int UnitsLibrary_isValid(const char *units);
// 0 in mode 2 or when the library fails; 2 for a factor of exactly 1.0; otherwise 1.
int UnitsLibrary_getConversionFactor(const char *from, const char *to, double *factor);

#endif
