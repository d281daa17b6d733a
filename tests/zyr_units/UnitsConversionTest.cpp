// Conversions under the shipped definitions: every unit that the core's local length and angle
// table knows, compound units, temperatures, dimension checks and malformed unit texts.
#include "units.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

const double kPi = 3.14159265358979323846;

class Units : public testing::Test {
protected:
  void SetUp() override {
    int status = -1;
    u_init(ZYR_SOURCE_DIR "/platform/units/units.wez", &status);
    ASSERT_EQ(status, U_OK) << u_message();
  }

  // The factor from -> to, or NaN with the status in *failure.
  static double factor(const char *from, const char *to, int *failure = nullptr) {
    double scale = NAN, offset = NAN;
    int status = -1;
    convert(from, to, &scale, &offset, &status);
    if (failure != nullptr)
      *failure = status;
    if (status != U_OK)
      return NAN;
    EXPECT_EQ(offset, 0.0) << from << " -> " << to;
    return scale;
  }

  static int status(const char *from, const char *to) {
    int failure = -1;
    factor(from, to, &failure);
    return failure;
  }
};

// The core's local table (name, abbreviation or "-", factor as the table rounds it, 0 length or
// 1 angle). The library must know every name and abbreviation with the same size.
struct LocalRow {
  const char *name;
  const char *abbreviation;
  double factor;
  int type;
};

const LocalRow kLocalTable[] = {
    {"exametre", "Em", 1e18, 0},       {"exameter", "Em", 1e18, 0},
    {"petametre", "Pm", 1e15, 0},      {"petameter", "Pm", 1e15, 0},
    {"terametre", "Tm", 1e12, 0},      {"terameter", "Tm", 1e12, 0},
    {"gigametre", "Gm", 1e9, 0},       {"gigameter", "Gm", 1e9, 0},
    {"megametre", "Mm", 1e6, 0},       {"megameter", "Mm", 1e6, 0},
    {"kilometre", "km", 1000, 0},      {"kilometer", "km", 1000, 0},
    {"hectometre", "hm", 100, 0},      {"hectometer", "hm", 100, 0},
    {"decametre", "dam", 10, 0},       {"decameter", "dam", 10, 0},
    {"dekametre", "dam", 10, 0},       {"dekameter", "dam", 10, 0},
    {"decimetre", "dm", 0.1, 0},       {"decimeter", "dm", 0.1, 0},
    {"metre", "m", 1, 0},              {"meter", "m", 1, 0},
    {"centimetre", "cm", 0.01, 0},     {"centimeter", "cm", 0.01, 0},
    {"millimetre", "mm", 0.001, 0},    {"millimeter", "mm", 0.001, 0},
    {"micrometre", "um", 1e-6, 0},     {"micrometer", "um", 1e-6, 0},
    {"nanometre", "nm", 1e-9, 0},      {"nanometer", "nm", 1e-9, 0},
    {"picometre", "pm", 1e-12, 0},     {"picometer", "pm", 1e-12, 0},
    {"femtometre", "fm", 1e-15, 0},    {"femtometer", "fm", 1e-15, 0},
    {"attometre", "am", 1e-18, 0},     {"attometer", "am", 1e-18, 0},
    {"angstrom", "A", 1e-10, 0},       {"astronomicalunit", "AU", 149597870690, 0},
    {"cable", "-", 219.456, 0},        {"chain", "ch", 20.1168, 0},
    {"cubit", "-", 0.4572, 0},         {"fathom", "-", 1.8288, 0},
    {"fermi", "-", 1e-15, 0},          {"foot", "ft", 0.3048, 0},
    {"furlong", "-", 201.168, 0},      {"hand", "-", 0.1016, 0},
    {"inch", "in", 0.0254, 0},         {"league", "-", 4828.03, 0},
    {"lightyear", "lyr", 9.4605e15, 0}, {"link", "-", 0.201168, 0},
    {"micron", "-", 1e-6, 0},          {"mile", "mi", 1609.34, 0},
    {"nauticalmile", "-", 1853.18, 0}, {"parsec", "pc", 3.085678e16, 0},
    {"perch", "-", 5.0292, 0},         {"pole", "-", 5.0292, 0},
    {"rod", "rd", 5.0292, 0},          {"thou", "-", 2.54e-5, 0},
    {"yard", "yd", 0.9144, 0},         {"radian", "rad", 1, 1},
    {"degree", "deg", 0.0174533, 1},   {"grade", "grad", 0.015708, 1},
    {"revolution", "rev", 6.28318, 1},
};

TEST_F(Units, EveryLocalTableUnitHasItsSize) {
  ASSERT_EQ(sizeof kLocalTable / sizeof kLocalTable[0], 63u);
  for (const LocalRow &row : kLocalTable) {
    const char *base = row.type == 0 ? "m" : "rad";
    const char *other = row.type == 0 ? "rad" : "m";
    // The table keeps six significant digits (five for the light year); ours are exact.
    double tolerance = (std::string(row.name) == "lightyear" ? 3e-5 : 5e-6) * row.factor;
    EXPECT_NEAR(factor(row.name, base), row.factor, tolerance) << row.name;
    EXPECT_EQ(status(row.name, other), U_INCOMPATIBLE) << row.name;
    if (std::string(row.abbreviation) != "-") {
      EXPECT_NEAR(factor(row.abbreviation, base), row.factor, tolerance) << row.abbreviation;
      EXPECT_EQ(factor(row.name, row.abbreviation), 1.0) << row.name;
    }
  }
}

TEST_F(Units, FactorsAreExact) {
  EXPECT_EQ(factor("mile", "m"), 1609.344);
  EXPECT_EQ(factor("inch", "m"), 0.0254);
  EXPECT_EQ(factor("ft", "m"), 0.3048);
  EXPECT_EQ(factor("yd", "m"), 0.9144);
  EXPECT_EQ(factor("AU", "m"), 149597870700.0);
  EXPECT_EQ(factor("lyr", "m"), 9460730472580800.0);
  EXPECT_DOUBLE_EQ(factor("league", "m"), 4828.032);
  EXPECT_DOUBLE_EQ(factor("nauticalmile", "m"), 1853.184);
  EXPECT_DOUBLE_EQ(factor("pc", "AU"), 648000 / kPi);
  EXPECT_EQ(factor("deg", "rad"), kPi / 180);
  EXPECT_EQ(factor("grad", "rad"), kPi / 200);
  EXPECT_EQ(factor("rev", "rad"), 2 * kPi);
  EXPECT_DOUBLE_EQ(factor("rev", "deg"), 360.0);
  EXPECT_DOUBLE_EQ(factor("deg", "arcsec"), 3600.0);
  // A factor and its inverse are each rounded once from the exact quotient.
  EXPECT_EQ(factor("mm", "m"), 0.001);
  EXPECT_EQ(factor("m", "mm"), 1000.0);
  EXPECT_EQ(factor("cm", "m"), 0.01);
  EXPECT_EQ(factor("metre", "m"), 1.0);
}

TEST_F(Units, CompoundUnits) {
  EXPECT_DOUBLE_EQ(factor("rev min^-1", "radian s^-1"), 2 * kPi / 60);
  EXPECT_DOUBLE_EQ(factor("rpm", "radian s^-1"), 2 * kPi / 60);
  EXPECT_DOUBLE_EQ(factor("m s^-1", "km h^-1"), 3.6);
  EXPECT_DOUBLE_EQ(factor("  m\ts^-1  ", "s^-1 m"), 1.0);
  EXPECT_DOUBLE_EQ(factor("kg m s^-2", "N"), 1.0);
  EXPECT_DOUBLE_EQ(factor("N m^-2", "Pa"), 1.0);
  EXPECT_DOUBLE_EQ(factor("bar", "kPa"), 100.0);
  EXPECT_DOUBLE_EQ(factor("cm^3", "L"), 0.001);
  EXPECT_DOUBLE_EQ(factor("m^+2", "cm^2"), 1e4);
  EXPECT_DOUBLE_EQ(factor("m^0 s", "ms"), 1000.0);
  EXPECT_DOUBLE_EQ(factor("Hz", "min^-1"), 60.0);
  EXPECT_DOUBLE_EQ(factor("W", "J s^-1"), 1.0);
  // Factors beyond the double range cancel inside one text.
  EXPECT_DOUBLE_EQ(factor("Em^20 Em^-20 s", "s"), 1.0);
  EXPECT_NEAR(factor("Em^20 am^20 m^-40", "rad rad^-1"), 1.0, 1e-12);
}

TEST_F(Units, DimensionsMustAgree) {
  EXPECT_EQ(status("m", "deg"), U_INCOMPATIBLE);
  EXPECT_STREQ(u_message(), "cannot convert \"m\" (length) to \"deg\" (angle)");
  EXPECT_EQ(status("m s^-1", "m"), U_INCOMPATIBLE);
  EXPECT_STREQ(u_message(), "cannot convert \"m s^-1\" (length time^-1) to \"m\" (length)");
  EXPECT_EQ(status("rev min^-1", "Hz"), U_INCOMPATIBLE);
  EXPECT_EQ(status("K", "kg"), U_INCOMPATIBLE);
  EXPECT_EQ(status("rad rad^-1", "m m^-1"), U_OK);
}

TEST_F(Units, MalformedUnitTexts) {
  const struct {
    const char *text;
    int status;
    const char *message;
  } cases[] = {
      {"", U_BAD_SYNTAX, "empty unit text"},
      {"   ", U_BAD_SYNTAX, "empty unit text"},
      {"m^", U_BAD_SYNTAX, "bad unit factor \"m^\""},
      {"m^-", U_BAD_SYNTAX, "bad unit factor \"m^-\""},
      {"m^x", U_BAD_SYNTAX, "bad unit factor \"m^x\""},
      {"m^2^3", U_BAD_SYNTAX, "bad unit factor \"m^2^3\""},
      {"^2", U_BAD_SYNTAX, "bad unit factor \"^2\""},
      {"m*s", U_BAD_SYNTAX, "bad unit factor \"m*s\""},
      {"m/s", U_BAD_SYNTAX, "bad unit factor \"m/s\""},
      {"[m]", U_BAD_SYNTAX, "bad unit factor \"[m]\""},
      {"2m", U_BAD_SYNTAX, "bad unit factor \"2m\""},
      {"furlongs", U_UNKNOWN_UNIT, "unknown unit \"furlongs\""},
      {"M", U_UNKNOWN_UNIT, "unknown unit \"M\""},
      {"Metre", U_UNKNOWN_UNIT, "unknown unit \"Metre\""},
      {"-", U_BAD_SYNTAX, "bad unit factor \"-\""},
      {"m^100", U_OUT_OF_RANGE, "exponent out of range in \"m^100\""},
      {"m^99999999999999999999", U_OUT_OF_RANGE, nullptr},
      {"Em^99 Em^99 Em^99", U_OUT_OF_RANGE, nullptr},
      {"m^99 m^99 m^99 m^99 m^99 m^99 m^99 m^99 m^99 m^99 m^99", U_OUT_OF_RANGE, nullptr},
  };
  for (const auto &c : cases) {
    int failure = -1;
    double scale = 7.0, offset = 8.0;
    convert(c.text, "m", &scale, &offset, &failure);
    EXPECT_EQ(failure, c.status) << '"' << c.text << "\": " << u_message();
    if (c.message != nullptr)
      EXPECT_STREQ(u_message(), c.message) << c.text;
    EXPECT_EQ(scale, 7.0);
    EXPECT_EQ(offset, 8.0);
    EXPECT_FALSE(u_is_valid(c.text)) << c.text;
  }
  std::string longName(5000, 'x');
  EXPECT_EQ(status(longName.c_str(), "m"), U_UNKNOWN_UNIT);
  EXPECT_LT(std::string(u_message()).size(), 100u);

  int failure = -1;
  convert(nullptr, "m", nullptr, nullptr, &failure);
  EXPECT_EQ(failure, U_BAD_SYNTAX);
  convert("m", nullptr, nullptr, nullptr, &failure);
  EXPECT_EQ(failure, U_BAD_SYNTAX);
  convert("m", "mm", nullptr, nullptr, nullptr); // no outputs wanted: nothing to crash on
  EXPECT_STREQ(u_message(), "");
}

TEST_F(Units, TemperaturesCarryTheirZero) {
  double scale = 0, offset = 0;
  int status = -1;
  convert("C", "K", &scale, &offset, &status);
  ASSERT_EQ(status, U_OK);
  EXPECT_EQ(scale, 1.0);
  EXPECT_DOUBLE_EQ(offset, 273.15);
  convert("K", "degC", &scale, &offset, &status);
  EXPECT_DOUBLE_EQ(offset, -273.15);
  convert("F", "C", &scale, &offset, &status);
  ASSERT_EQ(status, U_OK);
  EXPECT_DOUBLE_EQ(212 * scale + offset, 100.0);
  EXPECT_NEAR(32 * scale + offset, 0.0, 1e-12);
  EXPECT_NEAR(-40 * scale + offset, -40.0, 1e-12);
  convert("R", "K", &scale, &offset, &status);
  EXPECT_DOUBLE_EQ(scale, 5.0 / 9.0);
  EXPECT_EQ(offset, 0.0);
  // A unit inside a product or with an exponent measures differences.
  convert("C s^-1", "K s^-1", &scale, &offset, &status);
  EXPECT_EQ(scale, 1.0);
  EXPECT_EQ(offset, 0.0);
  convert("C^1", "K", &scale, &offset, &status);
  EXPECT_DOUBLE_EQ(offset, 273.15);
}

TEST_F(Units, Queries) {
  char text[64];
  EXPECT_TRUE(u_dimension("m s^-1", text, sizeof text));
  EXPECT_STREQ(text, "length time^-1");
  EXPECT_TRUE(u_dimension("rpm", text, sizeof text));
  EXPECT_STREQ(text, "time^-1 angle");
  EXPECT_TRUE(u_dimension("Pa", text, sizeof text));
  EXPECT_STREQ(text, "length^-1 mass time^-2");
  EXPECT_TRUE(u_dimension("deg rad^-1", text, sizeof text));
  EXPECT_STREQ(text, "1");
  EXPECT_FALSE(u_dimension("m s^-1", text, 14)); // "length time^-1" needs 15 bytes
  EXPECT_TRUE(u_dimension("m s^-1", text, 15));
  EXPECT_FALSE(u_dimension("parsnip", text, sizeof text));
  EXPECT_FALSE(u_dimension("m", nullptr, 10));

  EXPECT_TRUE(u_is_valid("radian s^-1"));
  EXPECT_FALSE(u_is_valid(nullptr));
  EXPECT_TRUE(u_compatible("in", "lyr"));
  EXPECT_TRUE(u_compatible("rev min^-1", "rad s^-1"));
  EXPECT_FALSE(u_compatible("m", "rad"));
  EXPECT_FALSE(u_compatible("m", "nonsense"));
}

} // namespace
