// The definition reader (good and bad texts, exact messages, nothing lost on failure) and how
// u_init finds its file through WEZ5_UNITS_DIR, WEZ_DATA_DIR and the working directory.
#include "UnitDefinitions.h"
#include "UnitTable.h"
#include "UnitsTestSupport.h"
#include "units.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using unitstest::ScratchDir;
using unitstest::writeFile;

const char kShipped[] = ZYR_SOURCE_DIR "/platform/units/units.wez";

int readText(UnitTable *table, const std::string &text, std::string *message) {
  return UnitTable_read(table, text.data(), text.size(), "t", message);
}

TEST(UnitDefinitions, BuiltInTextIsTheShippedFile) {
  size_t length = 0;
  const char *text = UnitDefinitions_builtin(&length);
  EXPECT_EQ(std::string(text, length), unitstest::readFile(kShipped));
}

TEST(UnitDefinitions, FormatDetails) {
  UnitTable *table = UnitTable_new();
  std::string message;
  const std::string text = "# comment\r\n"
                           "\tdimension length m metre # trailing comment\r\n"
                           "dimension time s\n"
                           "\n"
                           "unit km=1000 m\n"
                           "unit speed_of_light c = 299792458 m s^-1\n"
                           "unit half = 1/2\n"
                           "unit quarter = .5 half\n"
                           "unit two = +2. m\n"
                           "unit tiny = -1e-3*-1e-3 m\n"
                           "unit \xc2\xb5m = 1e-6 m\n"
                           "unit step = 2 m offset -0.5";
  ASSERT_EQ(readText(table, text, &message), U_OK) << message;
  EXPECT_EQ(table->m_dimensions, (std::vector<std::string>{"length", "time"}));
  ASSERT_EQ(table->m_units.size(), 10u);
  UnitValue v;
  auto eval = [&](const char *units) {
    EXPECT_EQ(UnitTable_evaluate(table, units, std::strlen(units), &v, &message), U_OK) << message;
    return v.m_scale;
  };
  EXPECT_EQ(eval("metre"), 1.0);
  EXPECT_EQ(eval("km"), 1000.0);
  EXPECT_EQ(eval("c"), 299792458.0);
  EXPECT_EQ(UnitTable_describeDimension(table, &v), "length time^-1");
  EXPECT_EQ(eval("quarter"), 0.25);
  EXPECT_EQ(UnitTable_describeDimension(table, &v), "1");
  EXPECT_EQ(eval("two"), 2.0);
  EXPECT_DOUBLE_EQ(eval("tiny"), 1e-6);
  EXPECT_DOUBLE_EQ(eval("\xc2\xb5m"), 1e-6);
  // v step is (v - 0.5) * 2 m.
  double scale = 0, offset = 0;
  ASSERT_EQ(UnitTable_convert(table, "step", "m", &scale, &offset, &message), U_OK);
  EXPECT_EQ(3 * scale + offset, 5.0);

  char *listing = nullptr;
  size_t size = 0;
  FILE *stream = open_memstream(&listing, &size);
  UnitTable_print(table, stream);
  std::fclose(stream);
  std::string printed(listing, size);
  std::free(listing);
  EXPECT_EQ(printed.substr(0, 33), "dimension length\ndimension time\nm");
  EXPECT_NE(printed.find("\nspeed_of_light c                         299792458 length time^-1\n"),
            std::string::npos)
      << printed;
  EXPECT_NE(printed.find(" 2 length offset -1\n"), std::string::npos) << printed;
  UnitTable_delete(table);
}

TEST(UnitDefinitions, BadLinesAreReportedWithTheirLine) {
  const struct {
    const char *line;
    const char *message;
  } cases[] = {
      {"unit", "missing \"=\""},
      {"metre m", "expected \"dimension\" or \"unit\" at \"metre\""},
      {"Unit km = 1000 m", "expected \"dimension\" or \"unit\" at \"Unit\""},
      {"unit km 1000 m", "missing \"=\""},
      {"unit = 1000 m", "a unit needs at least one name before \"=\""},
      {"unit km =", "missing number after \"=\""},
      {"unit km = m", "bad number \"m\""},
      {"unit km = 1000 parsec", "unknown unit \"parsec\""},
      {"unit km = 1000 m^", "bad unit factor \"m^\""},
      {"unit km = 1000 m^200", "exponent out of range in \"m^200\""},
      {"unit km = 1/0 m", "division by zero in \"1/0\""},
      {"unit km = 1e999 m", "bad number \"1e999\""},
      {"unit km = 1e300*1e300 m", "number out of range in \"1e300*1e300\""},
      {"unit km = inf m", "bad number \"inf\""},
      {"unit km = nan m", "bad number \"nan\""},
      {"unit km = 0x10 m", "bad number \"0x10\""},
      {"unit km = 1e m", "bad number \"1e\""},
      {"unit km = . m", "bad number \".\""},
      {"unit km = 2* m", "bad number \"2*\""},
      {"unit km = 2**3 m", "bad number \"2**3\""},
      {"unit km = 0 m", "the number of a unit must be positive"},
      {"unit km = -1 m", "the number of a unit must be positive"},
      {"unit km = 1e300 Em", "the unit's factor or offset is out of range"},
      {"unit km = 1 Em^-20", "factor out of range in \"Em^-20\""},
      {"unit m = 1 m", "\"m\" is already defined"},
      {"unit km km = 1000 m", "\"km\" is already defined"},
      {"unit pi = 3.14", "\"pi\" is a reserved word"},
      {"unit offset = 1", "\"offset\" is a reserved word"},
      {"unit 2km = 2000 m", "\"2km\" is not a valid name"},
      {"unit k-m = 1000 m", "\"k-m\" is not a valid name"},
      {"unit k\x01m = 1000 m", "\"k\x01m\" is not a valid name"},
      {"unit km = 1000 m = 1 m", "unexpected \"=\""},
      {"unit km = 1000 m offset", "\"offset\" takes exactly one number"},
      {"unit km = 1000 m offset 1 2", "\"offset\" takes exactly one number"},
      {"unit km = 1000 m offset x", "bad number \"x\""},
      {"dimension", "a dimension needs a name and at least one unit name"},
      {"dimension mass", "a dimension needs a name and at least one unit name"},
      {"dimension length kg", "dimension \"length\" is already defined"},
      {"dimension mass m", "\"m\" is already defined"},
      {"dimension unit kg", "\"unit\" is a reserved word"},
      {"dimension 1mass kg", "\"1mass\" is not a valid name"},
  };
  for (const auto &c : cases) {
    UnitTable *table = UnitTable_new();
    std::string message;
    std::string text =
        "dimension length m\nunit Em = 1e18 m\n" + std::string(c.line) + "\nunit mm = 0.001 m\n";
    EXPECT_EQ(readText(table, text, &message), U_BAD_DEFINITIONS) << c.line;
    EXPECT_EQ(message, "t:3: " + std::string(c.message)) << c.line;
    UnitTable_delete(table);
  }
}

TEST(UnitDefinitions, LimitsOfNamesDimensionsAndSize) {
  std::string message;
  UnitTable *table = UnitTable_new();
  std::string name63(63, 'n'), name64(64, 'n');
  EXPECT_EQ(readText(table, "dimension d " + name63, &message), U_OK) << message;
  EXPECT_EQ(readText(table, "unit " + name64 + " = 1", &message), U_BAD_DEFINITIONS);
  EXPECT_EQ(message, "t:1: \"" + name64 + "\" is not a valid name");

  std::string dimensions;
  for (int i = 1; i <= 16; i++)
    dimensions += "dimension d" + std::to_string(i) + " u" + std::to_string(i) + "\n";
  UnitTable *full = UnitTable_new();
  EXPECT_EQ(readText(full, dimensions, &message), U_OK) << message;
  EXPECT_EQ(readText(full, "dimension d17 u17", &message), U_BAD_DEFINITIONS);
  EXPECT_EQ(message, "t:1: too many dimensions (at most 16)");

  std::string huge(UNITS_MAX_TEXT + 1, '\n');
  EXPECT_EQ(readText(table, huge, &message), U_BAD_DEFINITIONS);
  EXPECT_EQ(message, "t: longer than 1048576 bytes");
  UnitTable_delete(full);
  UnitTable_delete(table);
}

TEST(UnitDefinitions, FailedReadLeavesTableAsItWas) {
  UnitTable *table = UnitTable_new();
  std::string message;
  ASSERT_EQ(readText(table, "dimension length m\nunit km = 1000 m\n", &message), U_OK);
  EXPECT_EQ(readText(table, "dimension angle rad\nunit mm = 0.001 m\nunit bad = x\n", &message),
            U_BAD_DEFINITIONS);
  EXPECT_EQ(message, "t:3: bad number \"x\"");
  EXPECT_EQ(table->m_dimensions.size(), 1u);
  EXPECT_EQ(table->m_units.size(), 2u);
  EXPECT_EQ(table->m_byName.count("mm"), 0u);
  EXPECT_EQ(table->m_byName.count("rad"), 0u);
  UnitTable_delete(table);

  // The same through the process-wide definitions: a bad text keeps the ones in use.
  int status = -1;
  u_init_text("dimension length m\nunit km = 1000 m\n", 35, "good", &status);
  ASSERT_EQ(status, U_OK) << u_message();
  u_init_text("dimension length m\nunit mm = 0.01 cm\n", 37, "bad", &status);
  EXPECT_EQ(status, U_BAD_DEFINITIONS);
  EXPECT_STREQ(u_message(), "bad:2: unknown unit \"cm\"");
  u_init_text("# nothing\n", 10, "empty", &status);
  EXPECT_EQ(status, U_BAD_DEFINITIONS);
  EXPECT_STREQ(u_message(), "empty: no unit definitions");
  EXPECT_STREQ(u_source(), "good");
  double scale = 0;
  convert("km", "m", &scale, nullptr, &status);
  EXPECT_EQ(status, U_OK);
  EXPECT_EQ(scale, 1000.0);
  // The print names where the definitions in use came from, then lists them.
  char *listing = nullptr;
  size_t size = 0;
  FILE *stream = open_memstream(&listing, &size);
  u_print(stream);
  std::fclose(stream);
  const std::string printed(listing, size);
  std::free(listing);
  EXPECT_EQ(printed.rfind("Unit definitions from good\ndimension length\n", 0), 0u) << printed;
  EXPECT_NE(printed.find("\nkm "), std::string::npos) << printed;
  EXPECT_EQ(printed.find("mm"), std::string::npos) << printed;
}

TEST(UnitDefinitions, ExplicitFiles) {
  ScratchDir dir;
  int status = -1;
  u_init(kShipped, &status);
  ASSERT_EQ(status, U_OK) << u_message();
  EXPECT_STREQ(u_source(), kShipped);

  u_init(dir.file("missing.wez").c_str(), &status);
  EXPECT_EQ(status, U_FILE_ERROR);
  EXPECT_EQ(u_message(), "cannot open " + dir.file("missing.wez") + ": No such file or directory");
  u_init(dir.path().c_str(), &status);
  EXPECT_EQ(status, U_FILE_ERROR);
  EXPECT_EQ(u_message(), "cannot read " + dir.path() + ": not a regular file");
  ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0600), 0);
  u_init(dir.file("fifo").c_str(), &status); // must not wait for a writer
  EXPECT_EQ(status, U_FILE_ERROR);
  writeFile(dir.file("big.wez"), std::string(UNITS_MAX_TEXT + 1, '#'));
  u_init(dir.file("big.wez").c_str(), &status);
  EXPECT_EQ(status, U_FILE_ERROR);
  EXPECT_EQ(u_message(), "cannot read " + dir.file("big.wez") + ": longer than 1048576 bytes");
  writeFile(dir.file("bad.wez"), "dimension length m\nunit ft = 0.3048 metre\n");
  u_init(dir.file("bad.wez").c_str(), &status);
  EXPECT_EQ(status, U_BAD_DEFINITIONS);
  EXPECT_EQ(u_message(), dir.file("bad.wez") + ":2: unknown unit \"metre\"");
  EXPECT_STREQ(u_source(), kShipped);
  EXPECT_TRUE(u_is_valid("rev min^-1"));
}

TEST(UnitDefinitions, PathFromTheEnvironmentValues) {
  EXPECT_EQ(u_definitions_path("/a", "/b"), "/a/units.wez");
  EXPECT_EQ(u_definitions_path(nullptr, "/b"), "/b/units.wez");
  EXPECT_EQ(u_definitions_path(nullptr, nullptr), "units.wez");
  EXPECT_EQ(u_definitions_path("", "/b"), "/units.wez");
}

// u_init(NULL) in a child whose environment and working directory are set here; the child exits 0
// when the definitions came from expected and define the unit probe.
void initialiseIn(const char *unitsDir, const char *dataDir, const std::string &cwd,
                  const std::string &expected, const char *probe) {
  if (unitsDir)
    setenv("WEZ5_UNITS_DIR", unitsDir, 1);
  else
    unsetenv("WEZ5_UNITS_DIR");
  if (dataDir)
    setenv("WEZ_DATA_DIR", dataDir, 1);
  else
    unsetenv("WEZ_DATA_DIR");
  if (chdir(cwd.c_str()) != 0)
    std::exit(2);
  int status = -1;
  u_init(nullptr, &status);
  if (status != U_OK) {
    std::fprintf(stderr, "status %d: %s\n", status, u_message());
    std::exit(3);
  }
  if (expected != u_source()) {
    std::fprintf(stderr, "source %s\n", u_source());
    std::exit(4);
  }
  std::exit(u_is_valid(probe) ? 0 : 5);
}

class UnitsSearchDeathTest : public testing::Test {
protected:
  void SetUp() override {
    writeFile(m_units.file("units.wez"), "dimension length m\nunit alpha = 1 m\n");
    writeFile(m_data.file("units.wez"), "dimension length m\nunit beta = 1 m\n");
    writeFile(m_cwd.file("units.wez"), "dimension length m\nunit gamma = 1 m\n");
  }
  ScratchDir m_units, m_data, m_cwd, m_empty;
};

TEST_F(UnitsSearchDeathTest, UnitsDirFirst) {
  std::string units = m_units.path(), data = m_data.path();
  EXPECT_EXIT(
      initialiseIn(units.c_str(), data.c_str(), m_cwd.path(), units + "/units.wez", "alpha"),
      testing::ExitedWithCode(0), "");
}

TEST_F(UnitsSearchDeathTest, DataDirWhenUnitsDirIsNotSet) {
  std::string data = m_data.path();
  EXPECT_EXIT(initialiseIn(nullptr, data.c_str(), m_cwd.path(), data + "/units.wez", "beta"),
              testing::ExitedWithCode(0), "");
}

TEST_F(UnitsSearchDeathTest, WorkingDirectoryWhenNeitherIsSet) {
  EXPECT_EXIT(initialiseIn(nullptr, nullptr, m_cwd.path(), "units.wez", "gamma"),
              testing::ExitedWithCode(0), "");
}

// The variable that is set names the one place to look, as for the core's check that the file
// exists; without a file there the built-in definitions serve.
TEST_F(UnitsSearchDeathTest, BuiltInWhenTheChosenDirectoryHasNoFile) {
  std::string empty = m_empty.path(), data = m_data.path();
  EXPECT_EXIT(initialiseIn(empty.c_str(), data.c_str(), m_cwd.path(), "built-in", "rpm"),
              testing::ExitedWithCode(0), "");
  EXPECT_EXIT(initialiseIn(nullptr, nullptr, empty, "built-in", "rpm"), testing::ExitedWithCode(0),
              "");
}

TEST_F(UnitsSearchDeathTest, BadFileFailsAndIsNamed) {
  writeFile(m_units.file("units.wez"), "dimension length m\nunit alpha = 1 m\nunit\n");
  std::string units = m_units.path();
  EXPECT_EXIT(initialiseIn(units.c_str(), nullptr, m_cwd.path(), "", "alpha"),
              testing::ExitedWithCode(3), "status 7: .*/units.wez:3: missing \"=\"");
}

TEST_F(UnitsSearchDeathTest, ReinitialisingPicksUpANewFile) {
  std::string units = m_units.path();
  auto twice = [&] {
    setenv("WEZ5_UNITS_DIR", units.c_str(), 1);
    int status = -1;
    u_init(nullptr, &status);
    if (status != U_OK || !u_is_valid("alpha") || u_is_valid("delta"))
      std::exit(1);
    writeFile(units + "/units.wez", "dimension length m\nunit delta = 1 m\n");
    u_init(nullptr, &status);
    std::exit(status == U_OK && u_is_valid("delta") && !u_is_valid("alpha") ? 0 : 2);
  };
  EXPECT_EXIT(twice(), testing::ExitedWithCode(0), "");
}

TEST(UnitsFreshProcessDeathTest, ConvertBeforeInitialisationFails) {
  // Re-run in a new process image, so that no definitions are loaded yet.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  auto child = [] {
    double scale = 5.0;
    int status = -1;
    convert("m", "mm", &scale, nullptr, &status);
    std::exit(status == U_NOT_INITIALISED && scale == 5.0 && !u_is_valid("m") ? 0 : 1);
  };
  EXPECT_EXIT(child(), testing::ExitedWithCode(0), "");
}

} // namespace
