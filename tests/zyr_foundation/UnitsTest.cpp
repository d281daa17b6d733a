// Length and angle units. The mode is chosen once per process at first use, so this test
// program runs with the built-in table (ZYR_USE_LOCAL_UNITS) unless its environment says
// otherwise; the units library and the "no units" mode are tested in child processes.
#include "ErrorTestSupport.h"
#include "TestSupport.h"
#include "Units.h"
#include "zyrAffineTransform3D.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const int g_localUnits = setenv("ZYR_USE_LOCAL_UNITS", "1", 0);

using zyrtest::ScratchDir;

class LocalUnits : public zyrtest::ErrorTest {
protected:
  void SetUp() override {
    ErrorTest::SetUp();
    ASSERT_EQ(g_localUnits, 0);
    ASSERT_EQ(Units_getMode(), UnitsModeLocal);
  }
};

int32_t rowOf(const char *name) {
  int32_t row = -1;
  return Units_findUnit(name, &row) ? row : -1;
}

double factorOf(const char *from, const char *to, int *result = nullptr) {
  double f = -1.0;
  const int r = Units_computeConversionFactor(from, to, &f);
  if (result != nullptr)
    *result = r;
  return r ? f : -1.0;
}

TEST_F(LocalUnits, TableRowsInOrder) {
  ASSERT_EQ(Units_getNoOfDefinitions(), 63);
  const struct {
    int32_t row;
    const char *name, *abbreviation;
    double factor;
    int32_t type;
  } rows[] = {
      // Order: each prefix spelt "metre" then "meter", deca before deka.
      {0, "exametre", "Em", 1e18, 0},  {14, "decametre", "dam", 10, 0}, {17, "dekameter", "dam", 10, 0},
      {21, "meter", "m", 1, 0},        {38, "cable", "-", 219.456, 0},
      // Factors that are not the exact ones, kept as the system has always had them.
      {47, "league", "-", 4828.03, 0}, {51, "mile", "mi", 1609.34, 0},  {52, "nauticalmile", "-", 1853.18, 0},
      {60, "degree", "deg", 0.0174533, 1}, {61, "grade", "grad", 0.015708, 1}, {62, "revolution", "rev", 6.28318, 1},
  };
  for (const auto &r : rows) {
    const UnitDefinition *d = Units_getDefinition(r.row);
    ASSERT_NE(d, nullptr) << r.row;
    EXPECT_STREQ(d->m_name, r.name) << r.row;
    EXPECT_STREQ(d->m_abbreviation, r.abbreviation) << r.row;
    EXPECT_EQ(d->m_factor, r.factor) << r.row;
    EXPECT_EQ(d->m_type, r.type) << r.row;
    EXPECT_EQ(d->m_nameLength, static_cast<int32_t>(strlen(r.name)));
  }
  EXPECT_EQ(Units_getDefinition(63), nullptr);
  EXPECT_EQ(Units_getDefinition(-1), nullptr);
}

TEST_F(LocalUnits, LookUpByAbbreviationFirstThenNameExactly) {
  EXPECT_EQ(rowOf("inch"), 46);
  EXPECT_EQ(rowOf("in"), 46);
  EXPECT_EQ(rowOf("dam"), 14);
  EXPECT_EQ(rowOf("-"), 38);
  EXPECT_EQ(rowOf("A"), 36);
  EXPECT_EQ(rowOf("micron"), 50);
  EXPECT_EQ(rowOf("MM"), -1);
  EXPECT_EQ(rowOf("Metre"), -1);
  EXPECT_EQ(rowOf("metres"), -1);
  EXPECT_EQ(rowOf("met"), -1);
  EXPECT_EQ(rowOf(""), -1);
  EXPECT_EQ(rowOf(nullptr), -1);
  int32_t row = -1;
  EXPECT_EQ(Units_findByName("in", &row), 0);
  EXPECT_EQ(Units_findByAbbreviation("inch", &row), 0);
  EXPECT_EQ(Units_isValid("deg"), 1);
  EXPECT_EQ(Units_isValid("mm "), 0);
  EXPECT_EQ(Units_isLengthUnit("ft"), 1);
  EXPECT_EQ(Units_isLengthUnit("rad"), 0);
}

TEST_F(LocalUnits, ConversionFactors) {
  int result = -1;
  EXPECT_EQ(factorOf("mm", "m", &result), 0.001);
  EXPECT_EQ(result, 1);
  EXPECT_EQ(factorOf("m", "mm"), 1000.0);
  EXPECT_EQ(factorOf("deg", "rad"), 0.0174533);
  EXPECT_EQ(factorOf("rev", "deg"), 6.28318 / 0.0174533);
  EXPECT_EQ(factorOf("mile", "ft"), 1609.34 / 0.3048);
  EXPECT_EQ(factorOf("m", "deg", &result), -1.0);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(factorOf("m", "furlongs", &result), -1.0);
  EXPECT_EQ(result, 0);
  // Same row: 2; same size but another row: 1.
  EXPECT_EQ(factorOf("metre", "m", &result), 1.0);
  EXPECT_EQ(result, 2);
  EXPECT_EQ(factorOf("meter", "m", &result), 1.0);
  EXPECT_EQ(result, 1);
  EXPECT_EQ(factorOf("rod", "pole", &result), 1.0);
  EXPECT_EQ(result, 1);
  double f = 0.0;
  EXPECT_EQ(Units_getConversionFactor("metre", "m", &f), 1);
  EXPECT_EQ(Units_getConversionFactor("m", "rad", &f), 0);
}

TEST_F(LocalUnits, ConvertArraysInPlace) {
  double d[3] = {1, -2, 2.5};
  EXPECT_EQ(Units_convertDoubles("mm", "m", 3, d), 1);
  EXPECT_EQ(d[0], 0.001);
  EXPECT_EQ(d[1], -0.002);
  EXPECT_EQ(d[2], 2.5 * 0.001);
  double e[2] = {1, 2};
  EXPECT_EQ(Units_convertDoubles("m", nullptr, 2, e), 1);
  EXPECT_EQ(Units_convertDoubles("metre", "m", 2, e), 1);
  EXPECT_EQ(Units_convertDoubles("m", "deg", 2, e), 0);
  EXPECT_EQ(Units_convertDoubles("m", "cm", -1, e), 0);
  EXPECT_EQ(Units_convertDoubles("m", "cm", 1, nullptr), 0);
  EXPECT_EQ(e[0], 1.0);
  EXPECT_EQ(e[1], 2.0);
  EXPECT_EQ(Units_convertDoubles("m", "cm", 0, nullptr), 1);

  float g[2] = {0.1f, 3.0f};
  EXPECT_EQ(Units_convertFloats("m", "mm", 2, g), 1);
  EXPECT_EQ(g[0], static_cast<float>(static_cast<double>(0.1f) * 1000.0));
  EXPECT_EQ(g[1], 3000.0f);
  EXPECT_EQ(Units_convertFloats("rad", "mm", 2, g), 0);
  EXPECT_EQ(g[1], 3000.0f);
  EXPECT_EQ(zyrError_getLast(), nullptr); // unknown units are no errors
}

TEST_F(LocalUnits, Listing) {
  char *buffer = nullptr;
  size_t size = 0;
  FILE *stream = open_memstream(&buffer, &size);
  Units_print(stream);
  fclose(stream);
  const std::string text(buffer, size);
  free(buffer);
  const std::string head = "\nUnits - Using local conversion factors.\n"
                           "\nUnit                 Abbreviation    Type  Conversion factor\n"
                           "exametre             Em                  0 1.000000e+18\n";
  EXPECT_EQ(text.substr(0, head.size()), head);
  EXPECT_NE(text.find("\ndegree               deg                 1 1.745330e-02\n"), std::string::npos);
  const std::string tail = "revolution           rev                 1 6.283180e+00\n\n";
  EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
  // blank, title, blank, heading, the rows, blank
  EXPECT_EQ(zyrtest::splitLines(text).size(), 4u + 63u + 1u);
}

// ---------------------------------------------------------------------------------------------
// Modes chosen from the environment, each in a fresh process. The child re-runs its test from
// the start, so the parent's scratch directory reaches it through the environment; the child
// reports what it found on its standard error stream for the parent to match.

class SharedScratch {
public:
  SharedScratch() {
    if (const char *inherited = std::getenv("ZYRTEST_UNITS_SCRATCH")) {
      m_path = inherited;
    } else {
      m_owner = std::make_unique<ScratchDir>();
      m_path = m_owner->path();
      setenv("ZYRTEST_UNITS_SCRATCH", m_path.c_str(), 1);
    }
  }
  ~SharedScratch() {
    if (m_owner)
      unsetenv("ZYRTEST_UNITS_SCRATCH");
  }
  std::string dir(const std::string &name) const {
    const std::string path = m_path + "/" + name;
    mkdir(path.c_str(), 0700);
    return path;
  }

private:
  std::unique_ptr<ScratchDir> m_owner;
  std::string m_path;
};

std::string definitions(const char *zork) {
  return std::string("# a small test set\n"
                     "dimension length metre meter m\n"
                     "dimension angle radian rad\n"
                     "unit millimetre mm = 0.001 m\n"
                     "unit degree deg = pi/180 rad\n"
                     "unit zork = ") +
         zork + " m\n";
}

// The environment of a child before its first use of the units.
void startChild(const char *unitsDir, const char *dataDir, const std::string &workingDir) {
  unsetenv("ZYR_USE_LOCAL_UNITS");
  unsetenv("ZYR_SUPPRESS_WARNINGS");
  if (unitsDir)
    setenv("WEZ5_UNITS_DIR", unitsDir, 1);
  else
    unsetenv("WEZ5_UNITS_DIR");
  if (dataDir)
    setenv("WEZ_DATA_DIR", dataDir, 1);
  else
    unsetenv("WEZ_DATA_DIR");
  if (chdir(workingDir.c_str()) != 0)
    std::exit(7);
}

// The size of the test unit "zork" in metres, which tells which definition file was read.
std::string zork() {
  double f = 0.0;
  if (!Units_getConversionFactor("zork", "m", &f))
    return "none";
  return std::to_string(static_cast<int>(f));
}

std::string lastError() {
  zyrError *error = zyrError_getLast();
  if (error == nullptr)
    return "none";
  return std::to_string(zyrError_getCode(error)) + " in " + zyrError_getFunction(error) + ": " +
         zyrtest::replaceAll(zyrError_getMessage(error), "\n", "|");
}

TEST(UnitsDeathTest, LibraryDefinitionsAreSearchedInOrderAndMayDisappear) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  SharedScratch scratch;
  const std::string a = scratch.dir("a"), b = scratch.dir("b"), c = scratch.dir("c");
  zyrtest::writeFile(a + "/units.wez", definitions("2"));
  zyrtest::writeFile(b + "/units.wez", definitions("3"));
  zyrtest::writeFile(c + "/units.wez", definitions("5"));
  EXPECT_EXIT(
      {
        startChild(a.c_str(), b.c_str(), c);
        std::string r = "mode=" + std::to_string(Units_getMode()) + " units=" + zork();
        unsetenv("WEZ5_UNITS_DIR");
        r += " available=" + std::to_string(Units_areAvailable()) + " data=" + zork();
        unsetenv("WEZ_DATA_DIR");
        r += " available=" + std::to_string(Units_areAvailable()) + " cwd=" + zork();
        std::remove((c + "/units.wez").c_str());
        r += " available=" + std::to_string(Units_areAvailable()) + " mode=" + std::to_string(Units_getMode());
        r += " error=" + lastError();
        double d[1] = {1.0};
        r += " valid=" + std::to_string(Units_isValid("m")) + " convert=" +
             std::to_string(Units_convertDoubles("mm", "m", 1, d)) + " value=" + std::to_string(d[0]);
        zyrtest::writeFile(c + "/units.wez", definitions("7"));
        r += " later=" + std::to_string(Units_areAvailable()) + " zork=" + zork();
        std::fprintf(stderr, "%s\n", r.c_str());
        std::exit(0);
      },
      testing::ExitedWithCode(0),
      "mode=1 units=2 available=1 data=3 available=1 cwd=5 available=0 mode=2 "
      "error=20009 in UnitsLibrary_initialise: WEZ5_UNITS_DIR = NOT SET\\|WEZ_DATA_DIR   = NOT SET\\|The unit "
      "definition file was not found\\. Set WEZ5_UNITS_DIR to the directory that holds units\\.wez, or "
      "ZYR_USE_LOCAL_UNITS to use the built-in units\\.\\| "
      "valid=0 convert=0 value=1.000000 later=1 zork=7");
}

TEST(UnitsDeathTest, MissingOrBrokenFileNamesTheDirectories) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  SharedScratch scratch;
  const std::string empty = scratch.dir("empty"), broken = scratch.dir("broken");
  zyrtest::writeFile(broken + "/units.wez", "dimension length m\nunit zork = 2 furlong\n");
  EXPECT_EXIT(
      {
        startChild(empty.c_str(), nullptr, empty);
        std::string r = "available=" + std::to_string(Units_areAvailable()) + " error=" + lastError();
        setenv("WEZ_DATA_DIR", broken.c_str(), 1);
        unsetenv("WEZ5_UNITS_DIR");
        r += " broken=" + std::to_string(Units_areAvailable()) + " error=" + lastError();
        std::fprintf(stderr, "%s\n", r.c_str());
        std::exit(0);
      },
      testing::ExitedWithCode(0),
      "available=0 error=20009 in UnitsLibrary_initialise: WEZ5_UNITS_DIR = " + empty +
          "\\|WEZ_DATA_DIR   = NOT SET\\|The unit definition file was not found\\. Set WEZ5_UNITS_DIR to the "
          "directory that holds units\\.wez, or ZYR_USE_LOCAL_UNITS to use the built-in units\\.\\| broken=0 "
          "error=20009 in UnitsLibrary_initialise: WEZ5_UNITS_DIR = NOT SET\\|WEZ_DATA_DIR   = " +
          broken + "\\|[^|]*furlong");
}

TEST(UnitsDeathTest, LocalTableWhenAskedForEvenWithDefinitions) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  SharedScratch scratch;
  const std::string a = scratch.dir("a");
  zyrtest::writeFile(a + "/units.wez", definitions("2"));
  EXPECT_EXIT(
      {
        startChild(a.c_str(), nullptr, a);
        setenv("ZYR_USE_LOCAL_UNITS", "", 1);
        double f = 0.0;
        std::string r = "mode=" + std::to_string(Units_getMode()) + " zork=" + zork();
        r += " mile=" + std::to_string(Units_getConversionFactor("mi", "m", &f)) + ":" + std::to_string(f);
        r += " available=" + std::to_string(Units_areAvailable()) + " mode=" + std::to_string(Units_getMode());
        r += " error=" + lastError();
        std::fprintf(stderr, "%s\n", r.c_str());
        std::exit(0);
      },
      testing::ExitedWithCode(0), "mode=0 zork=none mile=1:1609.340000 available=1 mode=0 error=none");
}

// What the shipped definitions give, in the child of LibraryModeWithTheShippedDefinitions.
std::string factor(const char *from, const char *to) {
  double f = -1.0;
  const int r = Units_computeConversionFactor(from, to, &f);
  char text[64];
  std::snprintf(text, sizeof text, "%d:%.10g", r, r ? f : -1.0);
  return text;
}

std::string shippedReport() {
  std::string r = "mode=" + std::to_string(Units_getMode());
  r += " valid=" + std::to_string(Units_isValid("m")) + std::to_string(Units_isValid("deg")) +
       std::to_string(Units_isValid("in")) + std::to_string(Units_isValid("m s^-1")) +
       std::to_string(Units_isValid("kg")) + std::to_string(Units_isValid("K"));
  r += " length=" + std::to_string(Units_isLengthUnit("ft")) + std::to_string(Units_isLengthUnit("deg"));
  r += " mm=" + factor("mm", "m") + " same=" + factor("m", "metre") + " mile=" + factor("mile", "m");
  r += " angle=" + factor("m", "deg") + " celsius=" + factor("C", "K") + " rpm=" + factor("rpm", "rad s^-1");
  // A transform in feet applied to inches.
  zyrAffineTransform3D *t = zyrAffineTransform3D_new();
  const double one[3] = {1, 0, 0};
  double p[3] = {0, 0, 0};
  r += " transform=" + std::to_string(zyrAffineTransform3D_setUnits(t, "ft")) +
       std::to_string(zyrAffineTransform3D_translate(t, one, "ft")) +
       std::to_string(zyrAffineTransform3D_apply(t, "in", 2, 1, p)) + ":" + std::to_string(p[0]);
  zyrAffineTransform3D_delete(t);
  return r;
}

TEST(UnitsDeathTest, LibraryModeWithTheShippedDefinitions) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  SharedScratch scratch;
  const std::string work = scratch.dir("work");
  const std::string shipped = std::string(ZYR_SOURCE_DIR) + "/platform/units";
  EXPECT_EXIT(
      {
        startChild(nullptr, shipped.c_str(), work);
        std::string r = shippedReport();
        r += " error=" + lastError();
        std::fprintf(stderr, "%s\n", r.c_str());
        std::exit(0);
      },
      testing::ExitedWithCode(0),
      "mode=1 valid=111000 length=10 mm=1:0.001 same=2:1 mile=1:1609.344 angle=0:-1 celsius=0:-1 "
      "rpm=1:0.1047197551 transform=111:12.000000 error=none");
}

} // namespace
