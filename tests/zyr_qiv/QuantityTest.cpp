// Unit conversion of values and quantities through the units library: factors, zeros of
// temperature scales, float range, every kind of failure, and loading the definitions on first
// use in a fresh process.
#include "Quantity.h"
#include "UnitsConverter.h"
#include "zyrTestSupport.h"

#include "units.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

const double kPi = 3.14159265358979323846;

class Units : public testing::Test {
protected:
  void SetUp() override {
    int status = -1;
    u_init(ZYR_SOURCE_DIR "/platform/units/units.wez", &status);
    ASSERT_EQ(status, U_OK) << u_message();
  }
  const qiv::UnitsConverter &converter = qiv::UnitsConverter::instance();
};

TEST_F(Units, ConvertsLengthsAndAnglesByFactor) {
  float x = 1500.0f;
  EXPECT_TRUE(converter.convertUnits(x, "mm", "m", true));
  EXPECT_FLOAT_EQ(x, 1.5f);
  EXPECT_EQ(converter.lastMessage(), "");
  double inches = 2;
  EXPECT_TRUE(converter.convertUnits(inches, "ft", "in", true));
  EXPECT_DOUBLE_EQ(inches, 24.0);
  double angle = 90;
  EXPECT_TRUE(converter.convertUnits(angle, "deg", "rad", false));
  EXPECT_DOUBLE_EQ(angle, kPi / 2);
  double speed = 60;
  EXPECT_TRUE(converter.convertUnits(speed, "rev min^-1", "rad s^-1", true));
  EXPECT_DOUBLE_EQ(speed, 2 * kPi);
}

TEST_F(Units, AbsoluteCountsTheZerosOfTheScales) {
  double t = 20;
  EXPECT_TRUE(converter.convertUnits(t, "C", "K", true));
  EXPECT_DOUBLE_EQ(t, 293.15);
  double difference = 20;
  EXPECT_TRUE(converter.convertUnits(difference, "C", "K", false));
  EXPECT_DOUBLE_EQ(difference, 20.0);
  float f = 212.0f;
  EXPECT_TRUE(converter.convertUnits(f, "F", "C", true));
  EXPECT_NEAR(f, 100.0f, 1e-4);
}

TEST_F(Units, FailuresLeaveTheValueAndSayWhy) {
  struct Case {
    const char *from, *to;
  } cases[] = {{"m", "s"},   {"mm", "rad"}, {"furlongs", "m"}, {"m", "nope"},
               {"m^", "m"},  {"", "m"},     {"m", ""},         {"kg m s^-2", "Pa"}};
  for (const Case &c : cases) {
    double value = 42;
    EXPECT_FALSE(converter.convertUnits(value, c.from, c.to, true)) << c.from << " " << c.to;
    EXPECT_EQ(value, 42) << c.from << " " << c.to;
    EXPECT_NE(converter.lastMessage(), "") << c.from << " " << c.to;
    float narrow = 42;
    EXPECT_FALSE(converter.convertUnits(narrow, c.from, c.to, false));
    EXPECT_EQ(narrow, 42.0f);
  }
  // A success afterwards clears the reason.
  double value = 1;
  EXPECT_TRUE(converter.convertUnits(value, "km", "m", true));
  EXPECT_EQ(converter.lastMessage(), "");
}

TEST_F(Units, ResultsOutsideTheTypeFail) {
  float big = 1e33f;
  EXPECT_FALSE(converter.convertUnits(big, "km", "mm", true));
  EXPECT_EQ(big, 1e33f);
  double wide = 1e33;
  EXPECT_TRUE(converter.convertUnits(wide, "km", "mm", true));
  EXPECT_DOUBLE_EQ(wide, 1e39);
  double huge = 1e306;
  EXPECT_FALSE(converter.convertUnits(huge, "lyr", "mm", true));
  EXPECT_EQ(huge, 1e306);
  double notANumber = NAN;
  EXPECT_FALSE(converter.convertUnits(notANumber, "m", "m", true));
  EXPECT_TRUE(std::isnan(notANumber));
}

TEST_F(Units, ValidityAndCompatibility) {
  EXPECT_TRUE(converter.isValidUnits("m s^-1"));
  EXPECT_FALSE(converter.isValidUnits("metres"));
  EXPECT_FALSE(converter.isValidUnits(""));
  EXPECT_TRUE(converter.areCompatible("rpm", "Hz rad"));
  EXPECT_FALSE(converter.areCompatible("m", "rad"));
}

TEST_F(Units, QuantityEqualityComparesTextNotSize) {
  EXPECT_EQ(qiv::Quantity(), qiv::Quantity(0, ""));
  EXPECT_EQ(qiv::Quantity(90, "deg"), qiv::Quantity(90, "deg"));
  EXPECT_NE(qiv::Quantity(90, "deg"), qiv::Quantity(90, "degree"));
  EXPECT_NE(qiv::Quantity(90, "deg"), qiv::Quantity(91, "deg"));
}

TEST_F(Units, QuantityConverts) {
  qiv::Quantity angle(180, "deg");
  double radians = 0;
  EXPECT_TRUE(angle.getValueIn("rad", radians));
  EXPECT_DOUBLE_EQ(radians, kPi);
  EXPECT_EQ(angle, qiv::Quantity(180, "deg"));

  EXPECT_TRUE(angle.convertTo("rev"));
  EXPECT_DOUBLE_EQ(angle.getValue(), 0.5);
  EXPECT_EQ(angle.getUnits(), "rev");

  qiv::Quantity temperature(0, "C");
  EXPECT_TRUE(temperature.convertTo("K"));
  EXPECT_DOUBLE_EQ(temperature.getValue(), 273.15);
  qiv::Quantity rise(10, "C");
  EXPECT_TRUE(rise.convertTo("K", false));
  EXPECT_DOUBLE_EQ(rise.getValue(), 10.0);
}

TEST_F(Units, QuantityFailuresChangeNothing) {
  qiv::Quantity length(3, "mm");
  double out = -1;
  EXPECT_FALSE(length.getValueIn("s", out));
  EXPECT_EQ(out, -1);
  EXPECT_FALSE(length.convertTo("bogus"));
  EXPECT_EQ(length, qiv::Quantity(3, "mm"));
  qiv::Quantity bare(3, "");
  EXPECT_FALSE(bare.convertTo("m"));
  EXPECT_EQ(bare, qiv::Quantity(3, ""));
}

// In a fresh process (re-executed, so that nothing has loaded definitions yet), with the
// variables and the working directory given; returns 0 when km converts to m correctly, 1 when
// the conversion fails with the "no unit definitions" reason, 2 otherwise.
int convertInFreshProcess(const char *definitionText) {
  zyrtest::ScratchDir scratch("zyrqiv");
  zyrtest::WorkingDir here(scratch.path());
  const std::string dir = scratch.path();
  unsetenv("WEZ_DATA_DIR");
  if (definitionText != nullptr) {
    std::ofstream(dir + "/units.wez") << definitionText;
    setenv("WEZ5_UNITS_DIR", dir.c_str(), 1);
  } else {
    unsetenv("WEZ5_UNITS_DIR");
  }
  int result = 2;
  if (u_source()[0] == '\0') {
    double value = 2;
    const qiv::UnitsConverter &converter = qiv::UnitsConverter::instance();
    if (converter.convertUnits(value, "km", "m", true))
      result = value == 2000 ? 0 : 2;
    else if (converter.lastMessage().rfind("no unit definitions: ", 0) == 0)
      result = 1;
  }
  return result;
}

TEST(UnitsFirstUse, LoadsTheBuiltInDefinitionsWhenNoFileIsFound) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(zyrtest::leaveChild(convertInFreshProcess(nullptr)), testing::ExitedWithCode(0), "");
}

TEST(UnitsFirstUse, ABadDefinitionFileMakesConversionsFail) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(zyrtest::leaveChild(convertInFreshProcess("this is not a definition\n")),
              testing::ExitedWithCode(1), "");
}

} // namespace
