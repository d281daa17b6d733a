#include "Units.h"

#include "units.h"
#include "zyrError.h"
#include "zyrSystem.h"
#include "zyrTrace.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const int32_t kNoOfDefinitions = 63;

// The order decides which row a look-up finds first ("dam" is the decametre, "-" the cable).
// The angle factors are the rounded values the system has always used, not computed from pi.
UnitDefinition g_definitions[kNoOfDefinitions] = {
    {"exametre", "Em", 1e18, 0, 0, UnitTypeLength},
    {"exameter", "Em", 1e18, 0, 0, UnitTypeLength},
    {"petametre", "Pm", 1e15, 0, 0, UnitTypeLength},
    {"petameter", "Pm", 1e15, 0, 0, UnitTypeLength},
    {"terametre", "Tm", 1e12, 0, 0, UnitTypeLength},
    {"terameter", "Tm", 1e12, 0, 0, UnitTypeLength},
    {"gigametre", "Gm", 1e9, 0, 0, UnitTypeLength},
    {"gigameter", "Gm", 1e9, 0, 0, UnitTypeLength},
    {"megametre", "Mm", 1e6, 0, 0, UnitTypeLength},
    {"megameter", "Mm", 1e6, 0, 0, UnitTypeLength},
    {"kilometre", "km", 1000, 0, 0, UnitTypeLength},
    {"kilometer", "km", 1000, 0, 0, UnitTypeLength},
    {"hectometre", "hm", 100, 0, 0, UnitTypeLength},
    {"hectometer", "hm", 100, 0, 0, UnitTypeLength},
    {"decametre", "dam", 10, 0, 0, UnitTypeLength},
    {"decameter", "dam", 10, 0, 0, UnitTypeLength},
    {"dekametre", "dam", 10, 0, 0, UnitTypeLength},
    {"dekameter", "dam", 10, 0, 0, UnitTypeLength},
    {"decimetre", "dm", 0.1, 0, 0, UnitTypeLength},
    {"decimeter", "dm", 0.1, 0, 0, UnitTypeLength},
    {"metre", "m", 1, 0, 0, UnitTypeLength},
    {"meter", "m", 1, 0, 0, UnitTypeLength},
    {"centimetre", "cm", 0.01, 0, 0, UnitTypeLength},
    {"centimeter", "cm", 0.01, 0, 0, UnitTypeLength},
    {"millimetre", "mm", 0.001, 0, 0, UnitTypeLength},
    {"millimeter", "mm", 0.001, 0, 0, UnitTypeLength},
    {"micrometre", "um", 1e-6, 0, 0, UnitTypeLength},
    {"micrometer", "um", 1e-6, 0, 0, UnitTypeLength},
    {"nanometre", "nm", 1e-9, 0, 0, UnitTypeLength},
    {"nanometer", "nm", 1e-9, 0, 0, UnitTypeLength},
    {"picometre", "pm", 1e-12, 0, 0, UnitTypeLength},
    {"picometer", "pm", 1e-12, 0, 0, UnitTypeLength},
    {"femtometre", "fm", 1e-15, 0, 0, UnitTypeLength},
    {"femtometer", "fm", 1e-15, 0, 0, UnitTypeLength},
    {"attometre", "am", 1e-18, 0, 0, UnitTypeLength},
    {"attometer", "am", 1e-18, 0, 0, UnitTypeLength},
    {"angstrom", "A", 1e-10, 0, 0, UnitTypeLength},
    {"astronomicalunit", "AU", 149597870690, 0, 0, UnitTypeLength},
    {"cable", "-", 219.456, 0, 0, UnitTypeLength},
    {"chain", "ch", 20.1168, 0, 0, UnitTypeLength},
    {"cubit", "-", 0.4572, 0, 0, UnitTypeLength},
    {"fathom", "-", 1.8288, 0, 0, UnitTypeLength},
    {"fermi", "-", 1e-15, 0, 0, UnitTypeLength},
    {"foot", "ft", 0.3048, 0, 0, UnitTypeLength},
    {"furlong", "-", 201.168, 0, 0, UnitTypeLength},
    {"hand", "-", 0.1016, 0, 0, UnitTypeLength},
    {"inch", "in", 0.0254, 0, 0, UnitTypeLength},
    {"league", "-", 4828.03, 0, 0, UnitTypeLength},
    {"lightyear", "lyr", 9.4605e15, 0, 0, UnitTypeLength},
    {"link", "-", 0.201168, 0, 0, UnitTypeLength},
    {"micron", "-", 1e-6, 0, 0, UnitTypeLength},
    {"mile", "mi", 1609.34, 0, 0, UnitTypeLength},
    {"nauticalmile", "-", 1853.18, 0, 0, UnitTypeLength},
    {"parsec", "pc", 3.085678e16, 0, 0, UnitTypeLength},
    {"perch", "-", 5.0292, 0, 0, UnitTypeLength},
    {"pole", "-", 5.0292, 0, 0, UnitTypeLength},
    {"rod", "rd", 5.0292, 0, 0, UnitTypeLength},
    {"thou", "-", 2.54e-5, 0, 0, UnitTypeLength},
    {"yard", "yd", 0.9144, 0, 0, UnitTypeLength},
    {"radian", "rad", 1, 0, 0, UnitTypeAngle},
    {"degree", "deg", 0.0174533, 0, 0, UnitTypeAngle},
    {"grade", "grad", 0.015708, 0, 0, UnitTypeAngle},
    {"revolution", "rev", 6.28318, 0, 0, UnitTypeAngle},
};

int32_t g_mode = UnitsModeLocal;
// 0 until the module has been initialised: the trigger of initialisation on first use.
int32_t g_noOfDefinitions = 0;

void initialiseOnFirstUse() {
  if (g_noOfDefinitions == 0)
    Units_initialise();
}

// The first row whose text (name or abbreviation, as chosen) equals the given one exactly.
int findRow(const char *text, bool byAbbreviation, int32_t *row) {
  initialiseOnFirstUse();
  if (text == nullptr)
    return 0;
  const size_t length = std::strlen(text);
  for (int32_t i = 0; i < g_noOfDefinitions; ++i) {
    const UnitDefinition &d = g_definitions[i];
    const char *candidate = byAbbreviation ? d.m_abbreviation : d.m_name;
    const int32_t candidateLength = byAbbreviation ? d.m_abbreviationLength : d.m_nameLength;
    if (static_cast<size_t>(candidateLength) == length && std::memcmp(candidate, text, length) == 0) {
      if (row != nullptr)
        *row = i;
      return 1;
    }
  }
  return 0;
}

// The library's factor and offset between two unit texts; 1 when it converts.
int libraryConvert(const char *from, const char *to, double *factor, double *offset) {
  if (from == nullptr || to == nullptr)
    return 0;
  int status = -1;
  convert(from, to, factor, offset, &status);
  return status == 0;
}

} // namespace

void Units_initialise() {
  g_noOfDefinitions = kNoOfDefinitions;
  for (UnitDefinition &d : g_definitions) {
    d.m_nameLength = static_cast<int32_t>(std::strlen(d.m_name));
    d.m_abbreviationLength = static_cast<int32_t>(std::strlen(d.m_abbreviation));
  }
  // The local table is asked for explicitly; the mode it finds is kept (0 on first use).
  if (zyrIsEnvironmentVariableSet("ZYR_USE_LOCAL_UNITS"))
    return;
  g_mode = 2 - UnitsLibrary_initialise();
}

int32_t Units_getMode() {
  initialiseOnFirstUse();
  return g_mode;
}

int32_t Units_getNoOfDefinitions() {
  initialiseOnFirstUse();
  return g_noOfDefinitions;
}

const UnitDefinition *Units_getDefinition(int32_t row) {
  initialiseOnFirstUse();
  if (row < 0 || row >= g_noOfDefinitions)
    return nullptr;
  return &g_definitions[row];
}

int Units_findByAbbreviation(const char *name, int32_t *row) { return findRow(name, true, row); }

int Units_findByName(const char *name, int32_t *row) { return findRow(name, false, row); }

int Units_findUnit(const char *name, int32_t *row) {
  return Units_findByAbbreviation(name, row) || Units_findByName(name, row);
}

int Units_isValid(const char *units) {
  initialiseOnFirstUse();
  if (g_mode == UnitsModeLocal)
    return Units_findUnit(units, nullptr);
  return UnitsLibrary_isValid(units);
}

int Units_isLengthUnit(const char *units) {
  initialiseOnFirstUse();
  if (g_mode == UnitsModeLocal) {
    int32_t row = -1;
    return Units_findUnit(units, &row) && g_definitions[row].m_type == UnitTypeLength;
  }
  if (g_mode == UnitsModeNone)
    return 0;
  double factor = 0.0;
  double offset = 0.0;
  return libraryConvert(units, "m", &factor, &offset);
}

int Units_computeConversionFactor(const char *from, const char *to, double *factor) {
  initialiseOnFirstUse();
  if (g_mode != UnitsModeLocal)
    return UnitsLibrary_getConversionFactor(from, to, factor);
  int32_t fromRow = -1;
  int32_t toRow = -1;
  if (!Units_findUnit(from, &fromRow) || !Units_findUnit(to, &toRow))
    return 0;
  const UnitDefinition &f = g_definitions[fromRow];
  const UnitDefinition &t = g_definitions[toRow];
  if (f.m_type != t.m_type)
    return 0;
  if (factor != nullptr)
    *factor = f.m_factor / t.m_factor;
  return fromRow == toRow ? 2 : 1;
}

int Units_getConversionFactor(const char *from, const char *to, double *factor) {
  return Units_computeConversionFactor(from, to, factor) != 0;
}

namespace {

// Scales the values in place; the product is formed in double whatever their type.
template <class T> int convertValues(const char *from, const char *to, int32_t n, T *values) {
  if (to == nullptr)
    return 1;
  double factor = 1.0;
  const int result = Units_computeConversionFactor(from, to, &factor);
  if (result == 0 || n < 0 || (n > 0 && values == nullptr))
    return 0;
  if (result == 2)
    return 1;
  for (int32_t i = 0; i < n; ++i)
    values[i] = static_cast<T>(static_cast<double>(values[i]) * factor);
  return 1;
}

} // namespace

int Units_convertDoubles(const char *from, const char *to, int32_t n, double *values) {
  return convertValues(from, to, n, values);
}

int Units_convertFloats(const char *from, const char *to, int32_t n, float *values) {
  return convertValues(from, to, n, values);
}

int Units_areAvailable() {
  Units_initialise();
  return g_mode != UnitsModeNone;
}

void Units_print(FILE *stream) {
  initialiseOnFirstUse();
  std::fprintf(stream, "\nUnits - ");
  switch (g_mode) {
  case UnitsModeLocal:
    std::fprintf(stream, "Using local conversion factors.\n");
    break;
  case UnitsModeLibrary:
    std::fprintf(stream, "Using standard conversion factors.\n");
    break;
  default:
    std::fprintf(stream, "Failed to find units definitions.\n");
    break;
  }
  if (g_mode != UnitsModeLocal)
    return;
  std::fprintf(stream, "\nUnit                 Abbreviation    Type  Conversion factor\n");
  for (int32_t i = 0; i < g_noOfDefinitions; ++i) {
    const UnitDefinition &d = g_definitions[i];
    std::fprintf(stream, "%-20s %-15s %5d %e\n", d.m_name, d.m_abbreviation, d.m_type, d.m_factor);
  }
  std::fprintf(stream, "\n");
}

int UnitsLibrary_findDefinitions() {
  const std::string path = u_definitions_path(std::getenv("WEZ5_UNITS_DIR"), std::getenv("WEZ_DATA_DIR"));
  return zyrDoesFileExist(path.c_str());
}

int UnitsLibrary_initialise() {
  ZYR_TRACE_BEGIN_DESC("Initialise the units library.");
  // The library would fall back on its own built-in definitions; without the file the system
  // is meant to run with no units at all, so the file is looked for here first.
  const int found = UnitsLibrary_findDefinitions();
  int status = -1;
  if (found) {
    u_init(nullptr, &status);
    if (ZYR_TRACE_DEBUG(1))
      zyrTrace_printf("definitions = %s, status = %d\n", u_source(), status);
    if (status == 0)
      return 1;
  }
  const char *unitsDir = std::getenv("WEZ5_UNITS_DIR");
  const char *dataDir = std::getenv("WEZ_DATA_DIR");
  zyrError *error = zyrError_new(ZYR_I_NO_UNIT_DEFINITIONS, __func__, __FILE__, __LINE__);
  zyrError_addMessage(error, "WEZ5_UNITS_DIR = %s\n", unitsDir ? unitsDir : "NOT SET");
  zyrError_addMessage(error, "WEZ_DATA_DIR   = %s\n", dataDir ? dataDir : "NOT SET");
  // After the error's own two, a hint in its own words (a host sees the messages of an error, not
  // its description); a file that is there but cannot be used says why.
  if (!found)
    zyrError_addMessage(error, "The unit definition file was not found. Set WEZ5_UNITS_DIR to the directory that "
                               "holds units.wez, or ZYR_USE_LOCAL_UNITS to use the built-in units.\n");
  else
    zyrError_addMessage(error, "%s\n", u_message());
  zyrError_publish(error);
  return 0;
}

int UnitsLibrary_isValid(const char *units) {
  if (g_mode == UnitsModeNone)
    return 0;
  double factor = 0.0;
  double offset = 0.0;
  return libraryConvert(units, "m", &factor, &offset) || libraryConvert(units, "rad", &factor, &offset);
}

int UnitsLibrary_getConversionFactor(const char *from, const char *to, double *factor) {
  if (g_mode == UnitsModeNone)
    return 0;
  double scale = 0.0;
  double offset = 0.0;
  if (!libraryConvert(from, to, &scale, &offset))
    return 0;
  // A conversion that needs an offset (temperatures) cannot be expressed as a factor.
  if (offset != 0.0)
    return 0;
  if (factor != nullptr)
    *factor = scale;
  return scale == 1.0 ? 2 : 1;
}
