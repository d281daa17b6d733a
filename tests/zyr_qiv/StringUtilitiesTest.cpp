// String utilities: decimal texts, splitting at separators, and reading quantities typed by a
// user, with the edge cases of each.
#include "StringUtilities.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace {

using Pieces = std::vector<std::string>;
using qiv::StringUtilities;

TEST(QivStrings, ToStringOfIntegers) {
  EXPECT_EQ(StringUtilities::toString(3), "3");
  EXPECT_EQ(StringUtilities::toString(0), "0");
  EXPECT_EQ(StringUtilities::toString(-12), "-12");
  EXPECT_EQ(StringUtilities::toString(INT_MIN), "-2147483648");
  EXPECT_EQ(StringUtilities::toString(static_cast<int64_t>(1) << 40), "1099511627776");
  EXPECT_EQ(StringUtilities::toString(static_cast<size_t>(7)), "7");
}

TEST(QivStrings, SplitAtEverySeparatorAndTrim) {
  EXPECT_EQ(StringUtilities::stringToVector("a, b, c", ','), (Pieces{"a", "b", "c"}));
  EXPECT_EQ(StringUtilities::stringToVector("  Inlet wall ,\tOutlet\r\n", ','),
            (Pieces{"Inlet wall", "Outlet"}));
  EXPECT_EQ(StringUtilities::stringToVector("single", ','), (Pieces{"single"}));
  EXPECT_EQ(StringUtilities::stringToVector("1 [mm];2;3", ';'), (Pieces{"1 [mm]", "2", "3"}));
  // Another separator leaves commas alone.
  EXPECT_EQ(StringUtilities::stringToVector("a,b", ';'), (Pieces{"a,b"}));
}

TEST(QivStrings, SplitKeepsEmptyPieces) {
  EXPECT_EQ(StringUtilities::stringToVector("a,,b", ','), (Pieces{"a", "", "b"}));
  EXPECT_EQ(StringUtilities::stringToVector("a,", ','), (Pieces{"a", ""}));
  EXPECT_EQ(StringUtilities::stringToVector(",a", ','), (Pieces{"", "a"}));
  EXPECT_EQ(StringUtilities::stringToVector(",", ','), (Pieces{"", ""}));
  EXPECT_EQ(StringUtilities::stringToVector(" , ", ','), (Pieces{"", ""}));
}

TEST(QivStrings, EmptyOrBlankTextHasNoPieces) {
  EXPECT_TRUE(StringUtilities::stringToVector("", ',').empty());
  EXPECT_TRUE(StringUtilities::stringToVector(" \t\r\n", ',').empty());
}

TEST(QivStrings, Trim) {
  EXPECT_EQ(StringUtilities::trim("  a b \t"), "a b");
  EXPECT_EQ(StringUtilities::trim(" \n "), "");
  EXPECT_EQ(StringUtilities::trim("x"), "x");
}

struct Reading {
  const char *text;
  float value;
  const char *units;
};

TEST(QivStrings, ValueAsFloatReadsNumberAndUnits) {
  const Reading cases[] = {
      {"1.5", 1.5f, ""},
      {"  -2  ", -2.0f, ""},
      {"+0.25", 0.25f, ""},
      {".5", 0.5f, ""},
      {"-.5", -0.5f, ""},
      {"3.", 3.0f, ""},
      {"1e3", 1000.0f, ""},
      {"2.5E-1", 0.25f, ""},
      {"1.5 [mm]", 1.5f, "mm"},
      {"1.5[mm]", 1.5f, "mm"},
      {"1.5 [ mm ]", 1.5f, "mm"},
      {"1.5 mm", 1.5f, "mm"},
      {"1.5mm", 1.5f, "mm"},
      {"1.5e3mm", 1500.0f, "mm"},
      {"10 [rev min^-1]", 10.0f, "rev min^-1"},
      {"10 rev min^-1 ", 10.0f, "rev min^-1"},
      {"7 []", 7.0f, ""},
      {"1e-400", 0.0f, ""}, // below the range of double: zero
      {"1e-50", 0.0f, ""},  // below the range of float: zero
  };
  for (const Reading &c : cases) {
    float value = -99;
    std::string units = "stale";
    EXPECT_TRUE(StringUtilities::valueAsFloat(c.text, value, units)) << c.text;
    EXPECT_FLOAT_EQ(value, c.value) << c.text;
    EXPECT_EQ(units, c.units) << c.text;
  }
}

TEST(QivStrings, ValueAsFloatRefusesBadNumbers) {
  const char *bad[] = {"",       "   ",       "mm",        "-",          "+",    ".",
                       "-.",     "[mm] 1",    "inf",       "nan",        "-inf", "infinity",
                       "1e39",   "-1e39",     "1e400",     "1 [mm",      "1 mm]", "1 [mm] x",
                       "1 [m]m]", "1 [[m]]", "--1",       "+-1",        "x1",   "1 [[m]"};
  for (const char *text : bad) {
    float value = -99;
    std::string units = "stale";
    EXPECT_FALSE(StringUtilities::valueAsFloat(text, value, units)) << text;
    EXPECT_EQ(value, 0.0f) << text;
    EXPECT_EQ(units, "") << text;
  }
}

TEST(QivStrings, ValueAsFloatAtTheEdgeOfFloat) {
  float value = 0;
  std::string units;
  EXPECT_TRUE(StringUtilities::valueAsFloat("3.4e38", value, units));
  EXPECT_FLOAT_EQ(value, 3.4e38f);
  EXPECT_FALSE(StringUtilities::valueAsFloat("3.5e38", value, units));
  double wide = 0;
  EXPECT_TRUE(StringUtilities::valueAsDouble("3.5e38 [m]", wide, units));
  EXPECT_DOUBLE_EQ(wide, 3.5e38);
  EXPECT_EQ(units, "m");
  // Hexadecimal forms are not numbers here: "0x1p3" reads as 0 in units "x1p3".
  EXPECT_TRUE(StringUtilities::valueAsDouble("0x1p3", wide, units));
  EXPECT_EQ(wide, 0.0);
  EXPECT_EQ(units, "x1p3");
}

TEST(QivStrings, LongDigitStringsAreSafe) {
  double value = -1;
  std::string units;
  const std::string huge = "1" + std::string(400, '0');
  EXPECT_FALSE(StringUtilities::valueAsDouble(huge, value, units));
  const std::string tiny = "0." + std::string(400, '0') + "1 m";
  EXPECT_TRUE(StringUtilities::valueAsDouble(tiny, value, units));
  EXPECT_EQ(value, 0.0);
  EXPECT_EQ(units, "m");
  const std::string longExponent = "1e" + std::string(50, '9');
  EXPECT_FALSE(StringUtilities::valueAsDouble(longExponent, value, units));
  EXPECT_TRUE(StringUtilities::valueAsDouble("1e-" + std::string(50, '9'), value, units));
  EXPECT_EQ(value, 0.0);
}

} // namespace
