// The versioned database: file names, versions valid at a state, listings, rollback, purges,
// importing objects and the version stamp.
#include "StoreTestSupport.h"

#include "Database.h"
#include "DefFile.h"
#include "zyrCString.h"
#include "zyrError.h"
#include "zyrMemory.h"
#include "zyrSystem.h"
#include "zyrTestErrors.h"
#include "zyrUUID.h"

#include <sys/stat.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

using storetest::StoreTest;

std::string normalised(const char *name) {
  char *text = Database_fileName(name);
  std::string out = text;
  zyrCString_free(text);
  return out;
}

TEST(DatabaseFileName, Suffixes) {
  EXPECT_EQ(normalised("model"), "model.zyr");
  EXPECT_EQ(normalised("model.zyr"), "model.zyr");
  EXPECT_EQ(normalised("model.zyr.bak"), "model.zyr.bak");
  EXPECT_EQ(normalised("model.wez"), "model.wez");
  EXPECT_EQ(normalised("model.wez.bak"), "model.wez.bak");
  for (const char *suffix : {".zyr", ".zyr.bak", ".wez", ".wez.bak"}) EXPECT_EQ(normalised(suffix), suffix);
  EXPECT_EQ(normalised("model.ZYR"), "model.ZYR.zyr");
  EXPECT_EQ(normalised("model.bak"), "model.bak.zyr");
  EXPECT_EQ(normalised("zyr"), "zyr.zyr");
  EXPECT_EQ(normalised(""), ".zyr");
}

class DatabaseTest : public storetest::DatabaseTestBase {
protected:
  // Every entry of a listing as (key, name, when), in listing order.
  std::vector<std::tuple<std::string, std::string, int32_t>>
  list(int32_t from, int32_t to, const char *keys, const char *names, std::vector<int32_t> *offsets) {
    int32_t k = -1;
    char **keyTexts = nullptr, **nameTexts = nullptr;
    int32_t *offs = nullptr, *whens = nullptr;
    EXPECT_EQ(Database_match(m_database, from, to, keys, names, &k, &keyTexts, &offs, &nameTexts, &whens), 1);
    std::vector<std::tuple<std::string, std::string, int32_t>> out;
    for (int32_t i = 0; i < k; ++i)
      for (int32_t j = offs[i]; j < offs[i + 1]; ++j) out.emplace_back(keyTexts[i], nameTexts[j], whens[j]);
    if (offsets) offsets->assign(offs, offs + k + 1);
    int32_t total = offs[k];
    zyrCStringArray_free(keyTexts, static_cast<uint64_t>(k));
    zyrCStringArray_free(nameTexts, static_cast<uint64_t>(total));
    zyrMemory_free(offs, "test");
    zyrMemory_free(whens, "test");
    return out;
  }
};

TEST_F(DatabaseTest, NewFileIsStampedAndNotModified) {
  EXPECT_EQ(std::string(Database_getFileName(m_database)), m_name + ".zyr");
  EXPECT_EQ(Database_fileExists(m_name.c_str()), 1);
  EXPECT_EQ(Database_isModified(m_database), 0);
  char *version = nullptr, *created = nullptr;
  ASSERT_EQ(Database_getString(m_database, 0, nullptr, "Version", &version), 1);
  ASSERT_EQ(Database_getString(m_database, 0, nullptr, "Date - created", &created), 1);
  EXPECT_NE(std::string(created).find(" ["), std::string::npos);
  EXPECT_EQ(std::string(created).back(), ']');
  // The build stamp of this library is far newer than the oldest readable database.
  EXPECT_GE(Database_getVersion(m_database), 20030328);
  zyrCString_free(version);
  zyrCString_free(created);
  // Closing an unchanged database stamps nothing.
  reopen();
  EXPECT_EQ(DefFile_exists(Database_getDefFile(m_database), "Date - modified", "GLOBAL", 0), 0);
  ASSERT_EQ(Database_setInt(m_database, 1, m_object, "a", 1), 1);
  EXPECT_EQ(Database_isModified(m_database), 1);
  reopen();
  EXPECT_EQ(DefFile_exists(Database_getDefFile(m_database), "Date - modified", "GLOBAL", 0), 1);
}

TEST_F(DatabaseTest, VersionTexts) {
  auto versionOf = [this](const char *text) {
    EXPECT_EQ(Database_setString(m_database, 0, nullptr, "Version", text), 1);
    return Database_getVersion(m_database);
  };
  EXPECT_EQ(versionOf("5.0 (2003.03.28-10.15)"), 20030328);
  EXPECT_EQ(versionOf("5.0 (2003.03.28-23.59)"), 20030328);
  EXPECT_EQ(versionOf("4.2 (2001.11.02-08.00) extra (9999)"), 20011102);
  EXPECT_EQ(versionOf("5.0 2003.03.28"), -1);
  EXPECT_EQ(versionOf("5.0 (2003.03.28"), -1);
  EXPECT_EQ(versionOf("5.0 ()"), -1);
  EXPECT_EQ(Database_deleteDataSet(m_database, nullptr, "Version"), 1);
  EXPECT_EQ(Database_getVersion(m_database), -1);
}

TEST_F(DatabaseTest, ExistingFileWithoutVersionIsRefused) {
  std::string other = path("plain.wez");
  DefFile *file = DefFile_new(other.c_str());
  ASSERT_EQ(DefFile_writeInt(file, "A", "EVERY", 0, 1), 1);
  DefFile_delete(file);
  EXPECT_EQ(Database_new(other.c_str()), nullptr);
  ASSERT_NE(lastError(), nullptr);
  EXPECT_EQ(zyrError_getCode(lastError()), 10020);
  EXPECT_EQ(std::string(zyrError_getMessage(lastError())),
            "The requested file\n\n" + other + "\n\nexists but is not a valid ZYR database.\n");
  // The file can be opened again: nothing holds it.
  file = DefFile_new(other.c_str());
  EXPECT_NE(file, nullptr);
  DefFile_delete(file);
}

TEST_F(DatabaseTest, ReadsTakeTheVersionValidAtTheState) {
  for (int32_t state : {2, 5, 9})
    ASSERT_EQ(Database_setInt(m_database, state, m_object, "a", state * 100), 1);
  int32_t value = -1;
  ASSERT_EQ(Database_getInt(m_database, 7, m_object, "a", &value), 1);
  EXPECT_EQ(value, 500);
  ASSERT_EQ(Database_getInt(m_database, 9, m_object, "a", &value), 1);
  EXPECT_EQ(value, 900);
  ASSERT_EQ(Database_getInt(m_database, 100, m_object, "a", &value), 1);
  EXPECT_EQ(value, 900);
  value = -1;
  EXPECT_EQ(Database_getInt(m_database, 1, m_object, "a", &value), 0);
  EXPECT_EQ(value, -1);
  // At 0 and below only the version of exactly -state counts.
  EXPECT_EQ(Database_getInt(m_database, 0, m_object, "a", &value), 0);
  EXPECT_EQ(Database_getInt(m_database, -4, m_object, "a", &value), 0);
  ASSERT_EQ(Database_setInt(m_database, 4, m_object, "a", 400), 1);
  ASSERT_EQ(Database_setInt(m_database, 0, m_object, "a", 0), 1);
  ASSERT_EQ(Database_getInt(m_database, -4, m_object, "a", &value), 1);
  EXPECT_EQ(value, 400);
  ASSERT_EQ(Database_getInt(m_database, 0, m_object, "a", &value), 1);
  EXPECT_EQ(value, 0);
  EXPECT_EQ(Database_findActiveWhen(m_database, 8, "a"), 5);
  EXPECT_EQ(Database_findActiveWhen(m_database, 3, "missing"), -1);
  // Absence is no error.
  EXPECT_EQ(errorCount(), 0);

  // Allocated reads of an absent version give NULL and 0.
  int32_t *ints = reinterpret_cast<int32_t *>(&value), count = 9;
  EXPECT_EQ(Database_getInts(m_database, 1, m_object, "b", &ints, &count), 0);
  EXPECT_EQ(ints, nullptr);
  EXPECT_EQ(count, 0);
  char *text = reinterpret_cast<char *>(&value);
  EXPECT_EQ(Database_getString(m_database, 1, m_object, "b", &text), 0);
  EXPECT_EQ(text, nullptr);
}

TEST_F(DatabaseTest, EveryKindUnderAnObjectKey) {
  zyrUUID *target = zyrUUID_new();
  const int32_t ints[3] = {1, 2, 3};
  const float floats[2] = {0.5f, 1.5f};
  const double doubles[2] = {1e-9, 2e9};
  const char *strings[2] = {"one", "two"};
  const zyrUUID *refs[2] = {target, nullptr};
  ASSERT_EQ(Database_setInts(m_database, 1, m_object, "ints", ints, 3), 1);
  ASSERT_EQ(Database_setFloats(m_database, 1, m_object, "floats", floats, 2), 1);
  ASSERT_EQ(Database_setDoubles(m_database, 1, m_object, "doubles", doubles, 2), 1);
  ASSERT_EQ(Database_setChars(m_database, 1, m_object, "chars", "abc", 3), 1);
  ASSERT_EQ(Database_setChar(m_database, 1, m_object, "char", 'q'), 1);
  ASSERT_EQ(Database_setFloat(m_database, 1, m_object, "float", 2.5f), 1);
  ASSERT_EQ(Database_setDouble(m_database, 1, m_object, "double", -7.25), 1);
  ASSERT_EQ(Database_setStrings(m_database, 1, m_object, "strings", strings, 2), 1);
  ASSERT_EQ(Database_setPointer(m_database, 1, m_object, "pointer", target), 1);
  ASSERT_EQ(Database_setPointer(m_database, 1, m_object, "null", nullptr), 1);
  ASSERT_EQ(Database_setPointers(m_database, 1, m_object, "pointers", refs, 2), 1);
  ASSERT_EQ(Database_setPointers(m_database, 1, m_object, "none", nullptr, 0), 1);
  reopen();

  int32_t ibuf[3] = {};
  ASSERT_EQ(Database_getIntArray(m_database, 3, m_object, "ints", ibuf, 3), 1);
  EXPECT_EQ(ibuf[2], 3);
  EXPECT_EQ(Database_getIntArray(m_database, 3, m_object, "ints", ibuf, 2), 0);
  float fbuf[2] = {};
  ASSERT_EQ(Database_getFloatArray(m_database, 3, m_object, "floats", fbuf, 2), 1);
  EXPECT_EQ(fbuf[1], 1.5f);
  double dbuf[2] = {};
  ASSERT_EQ(Database_getDoubleArray(m_database, 3, m_object, "doubles", dbuf, 2), 1);
  EXPECT_EQ(dbuf[0], 1e-9);
  double *dalloc = nullptr;
  int32_t count = 0;
  ASSERT_EQ(Database_getDoubles(m_database, 3, m_object, "floats", &dalloc, &count), 1);
  EXPECT_EQ(dalloc[0], 0.5);
  zyrMemory_free(dalloc, "test");
  char cbuf[3] = {};
  ASSERT_EQ(Database_getCharArray(m_database, 3, m_object, "chars", cbuf, 3), 1);
  EXPECT_EQ(std::string(cbuf, 3), "abc");
  char c = 0;
  ASSERT_EQ(Database_getChar(m_database, 3, m_object, "char", &c), 1);
  EXPECT_EQ(c, 'q');
  float f = 0;
  ASSERT_EQ(Database_getFloat(m_database, 3, m_object, "float", &f), 1);
  EXPECT_EQ(f, 2.5f);
  double d = 0;
  ASSERT_EQ(Database_getDouble(m_database, 3, m_object, "double", &d), 1);
  EXPECT_EQ(d, -7.25);
  char *sbuf[2] = {};
  ASSERT_EQ(Database_getStringArray(m_database, 3, m_object, "strings", sbuf, 2), 1);
  EXPECT_STREQ(sbuf[1], "two");
  for (char *s : sbuf) zyrCString_free(s);
  zyrUUID *u = nullptr;
  ASSERT_EQ(Database_getPointer(m_database, 3, m_object, "pointer", &u), 1);
  EXPECT_TRUE(zyrUUID_isEqual(u, target));
  zyrUUID_delete(u);
  u = target;
  ASSERT_EQ(Database_getPointer(m_database, 3, m_object, "null", &u), 1);
  EXPECT_EQ(u, nullptr);
  zyrUUID **us = nullptr;
  ASSERT_EQ(Database_getPointers(m_database, 3, m_object, "pointers", &us, &count), 1);
  ASSERT_EQ(count, 2);
  EXPECT_TRUE(zyrUUID_isEqual(us[0], target));
  EXPECT_EQ(us[1], nullptr);
  zyrUUID_delete(us[0]);
  zyrMemory_free(us, "test");
  zyrUUID *ubuf[2] = {};
  ASSERT_EQ(Database_getPointerArray(m_database, 3, m_object, "pointers", ubuf, 2), 1);
  zyrUUID_delete(ubuf[0]);
  // An empty reference array is stored; reading it gives nothing.
  us = nullptr;
  EXPECT_EQ(Database_getPointers(m_database, 3, m_object, "none", &us, &count), 0);
  EXPECT_EQ(us, nullptr);
  EXPECT_EQ(count, 0);

  int32_t n[6];
  ASSERT_EQ(
      Database_describeData(m_database, 3, m_object, "pointers", &n[0], &n[1], &n[2], &n[3], &n[4], &n[5]),
      1);
  EXPECT_EQ(std::vector<int32_t>(n, n + 6), (std::vector<int32_t>{0, 0, 0, 0, 0, 2}));
  ASSERT_EQ(Database_describeData(m_database, 3, m_object, "chars", &n[0], &n[1], &n[2], &n[3], &n[4], &n[5]),
            1);
  EXPECT_EQ(std::vector<int32_t>(n, n + 6), (std::vector<int32_t>{0, 0, 0, 3, 0, 0}));
  ASSERT_EQ(
      Database_describeData(m_database, 3, m_object, "doubles", &n[0], &n[1], &n[2], &n[3], &n[4], &n[5]), 1);
  EXPECT_EQ(std::vector<int32_t>(n, n + 6), (std::vector<int32_t>{0, 0, 2, 0, 0, 0}));
  EXPECT_EQ(
      Database_describeData(m_database, 0, m_object, "doubles", &n[0], &n[1], &n[2], &n[3], &n[4], &n[5]), 0);
  int32_t texts = 0;
  char **described = nullptr;
  ASSERT_EQ(Database_describe(m_database, 1, m_object, "ints", 0, &texts, &described), 1);
  EXPECT_STREQ(described[0], "integer[3]");
  zyrCStringArray_free(described, static_cast<uint64_t>(texts));
  zyrUUID_delete(target);
}

TEST_F(DatabaseTest, MatchSortsAndGroupsByKey) {
  zyrUUID *second = zyrUUID_new();
  char a[ZYR_UUID_BASE64_SIZE], b[ZYR_UUID_BASE64_SIZE];
  zyrUUID_toBase64(m_object, a);
  zyrUUID_toBase64(second, b);
  ASSERT_EQ(Database_setInt(m_database, 3, m_object, "zeta", 1), 1);
  ASSERT_EQ(Database_setInt(m_database, 1, m_object, "zeta", 1), 1);
  ASSERT_EQ(Database_setInt(m_database, 2, m_object, "alpha", 1), 1);
  ASSERT_EQ(Database_setInt(m_database, 10, second, "beta", 1), 1);
  ASSERT_EQ(Database_setInt(m_database, 9, second, "beta", 1), 1);
  ASSERT_EQ(Database_setInt(m_database, 4, second, "__TYPE__", 1), 1);

  std::string lo = std::string(a) < b ? a : b, hi = std::string(a) < b ? b : a;
  std::vector<int32_t> offsets;
  auto entries = list(1, -1, "*", "*", &offsets);
  std::vector<std::tuple<std::string, std::string, int32_t>> forA = {
      {a, "alpha", 2}, {a, "zeta", 1}, {a, "zeta", 3}};
  std::vector<std::tuple<std::string, std::string, int32_t>> forB = {
      {b, "__TYPE__", 4}, {b, "beta", 9}, {b, "beta", 10}};
  auto expected = lo == a ? forA : forB;
  auto rest = lo == a ? forB : forA;
  expected.insert(expected.end(), rest.begin(), rest.end());
  EXPECT_EQ(entries, expected);
  EXPECT_EQ(offsets, (std::vector<int32_t>{0, 3, 6}));

  // The range bounds are inclusive; -1 is no bound; GLOBAL data at 0 is left out by from 1.
  EXPECT_EQ(list(3, 9, "*", "*", nullptr).size(), 3u);
  EXPECT_EQ(list(-1, 2, b, "*", nullptr).size(), 0u);
  EXPECT_EQ(list(-1, -1, "*", "__*", nullptr).size(), 1u);
  EXPECT_EQ(list(0, 0, "GLOBAL", "*", nullptr).size(), 2u); // Version and Date - created
  // Nothing found: no keys, the single offset 0.
  EXPECT_TRUE(list(11, -1, "*", "*", &offsets).empty());
  EXPECT_EQ(offsets, std::vector<int32_t>{0});

  int changed = -1;
  ASSERT_EQ(Database_isParameterChanged(m_database, 4, 8, m_object, "zeta", &changed), 1);
  EXPECT_EQ(changed, 0);
  ASSERT_EQ(Database_isParameterChanged(m_database, 3, 8, m_object, "zeta", &changed), 1);
  EXPECT_EQ(changed, 1);
  ASSERT_EQ(Database_isParameterChanged(m_database, -1, 0, m_object, "zeta", &changed), 1);
  EXPECT_EQ(changed, 1);
  ASSERT_EQ(Database_isParameterChanged(m_database, -1, 0, m_object, "none", &changed), 1);
  EXPECT_EQ(changed, 0);
  zyrUUID_delete(second);
}

TEST_F(DatabaseTest, RollbackErasesLaterVersions) {
  for (int32_t state : {2, 5, 9}) ASSERT_EQ(Database_setInt(m_database, state, m_object, "a", state), 1);
  ASSERT_EQ(Database_setInt(m_database, 0, m_object, "a", 0), 1);
  ASSERT_EQ(Database_setInt(m_database, 7, m_object, "b", 7), 1);
  ASSERT_EQ(Database_rollback(m_database, 5), 1);
  auto entries = list(-1, -1, key().c_str(), "*", nullptr);
  std::vector<std::tuple<std::string, std::string, int32_t>> expected = {
      {key(), "a", 0}, {key(), "a", 2}, {key(), "a", 5}};
  EXPECT_EQ(entries, expected);
  // GLOBAL data at 0 stays.
  EXPECT_GE(Database_getVersion(m_database), 20030328);
}

TEST_F(DatabaseTest, AttributeNamesAreExactKeysNeverPatterns) {
  ASSERT_EQ(Database_setInt(m_database, 2, m_object, "ab", 1), 1);
  ASSERT_EQ(Database_setInt(m_database, 2, m_object, "m1", 3), 1);
  ASSERT_EQ(Database_setInt(m_database, 3, m_object, "m[1]", 7), 1);
  ASSERT_EQ(Database_setInt(m_database, 3, m_object, "*", 9), 1);
  int32_t value = 0;
  EXPECT_EQ(Database_getInt(m_database, 3, m_object, "a?", &value), 0) << "a? is no name of \"ab\"";
  EXPECT_EQ(Database_findActiveWhen(m_database, 3, "a?"), -1);
  ASSERT_EQ(Database_getInt(m_database, 3, m_object, "m[1]", &value), 1);
  EXPECT_EQ(value, 7);
  ASSERT_EQ(Database_getInt(m_database, 3, m_object, "m1", &value), 1);
  EXPECT_EQ(value, 3);
  ASSERT_EQ(Database_getInt(m_database, 3, m_object, "*", &value), 1);
  EXPECT_EQ(value, 9);
  int changed = 1;
  ASSERT_EQ(Database_isParameterChanged(m_database, 3, 3, m_object, "m?", &changed), 1);
  EXPECT_EQ(changed, 0);
  ASSERT_EQ(Database_isParameterChanged(m_database, 2, 2, m_object, "*", &changed), 1);
  EXPECT_EQ(changed, 0);
  // Erasing and rolling back take the exact name too.
  Database_deleteDataSet(m_database, m_object, "a?"); // there is none of that name
  EXPECT_EQ(Database_getInt(m_database, 3, m_object, "ab", &value), 1);
  ASSERT_EQ(Database_setInt(m_database, 5, m_object, "m?", 5), 1);
  ASSERT_EQ(Database_setInt(m_database, 5, m_object, "m1", 6), 1);
  ASSERT_EQ(Database_rollback(m_database, 3), 1);
  auto entries = list(-1, -1, key().c_str(), "*", nullptr);
  std::vector<std::tuple<std::string, std::string, int32_t>> expected = {
      {key(), "*", 3}, {key(), "ab", 2}, {key(), "m1", 2}, {key(), "m[1]", 3}};
  EXPECT_EQ(entries, expected);
  ASSERT_EQ(Database_purgeModifiedData(m_database, 3), 1);
  ASSERT_EQ(Database_getInt(m_database, 1, m_object, "m[1]", &value), 1);
  EXPECT_EQ(value, 7);
  ASSERT_EQ(Database_getInt(m_database, 1, m_object, "m1", &value), 1);
  EXPECT_EQ(value, 3);
}

// A version whose data set ends in a damaged tag gives way: each read at a state takes the newest
// older version that reads (saying what it left out) and describes that one. A whole version of
// another type above it gives way to nothing: the integer read fails there without a word, and
// the purge keeps it, so that the purged file reads the same without a word.
TEST_F(DatabaseTest, ADamagedVersionGivesWayToTheNewestOlderOneAWholeOneOfAnotherTypeDoesNot) {
  ASSERT_EQ(Database_setInt(m_database, 1, m_object, "n", 1), 1);
  ASSERT_EQ(Database_setInt(m_database, 2, m_object, "n", 2), 1);
  ASSERT_EQ(Database_setDouble(m_database, 3, m_object, "n", 3.5), 1);
  ASSERT_EQ(Database_setInt(m_database, 2, m_object, "other", 20), 1);
  Database_delete(m_database);
  m_database = nullptr;
  const std::string file = m_name + ".zyr";
  ASSERT_TRUE(storetest::damageEndTag(file, "n", key(), 2));
  reopen();

  zyrtest::ErrorCapture errors;
  const std::vector<std::string> leftOut = {"20006: The version of \"n\" of the object " + key() +
                                            " for state 2 in the database\n\n" + file +
                                            "\n\nis damaged and has been left out.\n"};
  for (const int32_t state : {2, 1}) {
    SCOPED_TRACE(state);
    int32_t value = 0;
    ASSERT_EQ(Database_getInt(m_database, state, m_object, "n", &value), 1);
    EXPECT_EQ(value, 1);
    EXPECT_EQ(errors.take(), state == 2 ? leftOut : std::vector<std::string>{});
  }
  for (const int32_t state : {3, 7}) {
    SCOPED_TRACE(state);
    int32_t value = -1;
    EXPECT_EQ(Database_getInt(m_database, state, m_object, "n", &value), 0);
    EXPECT_EQ(value, -1);
    double real = 0;
    ASSERT_EQ(Database_getDouble(m_database, state, m_object, "n", &real), 1);
    EXPECT_EQ(real, 3.5);
    EXPECT_EQ(errors.take(), std::vector<std::string>{});
  }
  // A reader into the caller's buffer tries the older version with the buffer it was given.
  int32_t buffer[1] = {0};
  ASSERT_EQ(Database_getIntArray(m_database, 2, m_object, "n", buffer, 1), 1);
  EXPECT_EQ(buffer[0], 1);
  EXPECT_EQ(errors.take(), leftOut);
  int32_t counts[6];
  ASSERT_EQ(Database_describeData(m_database, 2, m_object, "n", &counts[0], &counts[1], &counts[2], &counts[3],
                                  &counts[4], &counts[5]),
            1);
  EXPECT_EQ(std::vector<int32_t>(counts, counts + 6), (std::vector<int32_t>{1, 0, 0, 0, 0, 0}));
  // Read exactly, at state 0 and below, the damaged version is not stood in for.
  int32_t value = 0;
  EXPECT_EQ(Database_getInt(m_database, -2, m_object, "n", &value), 0);
  EXPECT_EQ(errors.take(), leftOut);

  ASSERT_EQ(Database_purgeModifiedData(m_database, 3), 1);
  EXPECT_EQ(list(-1, -1, key().c_str(), "*", nullptr),
            (std::vector<std::tuple<std::string, std::string, int32_t>>{{key(), "n", 1}, {key(), "other", 1}}));
  double real = 0;
  ASSERT_EQ(Database_getDouble(m_database, 1, m_object, "n", &real), 1);
  EXPECT_EQ(real, 3.5);
  EXPECT_EQ(errors.take(), std::vector<std::string>{});
}

// An array read of a whole version stored with another type takes no values from it, and no older
// version stands in: the number and character readers answer an empty array, the buffer readers
// leave the buffer, the string and reference readers answer none. Nothing is told: the version is
// sound. One of another type that does not read is damage, told and stood in for as ever.
TEST_F(DatabaseTest, AnArrayReadOfAVersionOfAnotherTypeTakesNoValuesAndIsNoDamage) {
  const int32_t first[2] = {7, 8};
  const double second[1] = {2.5};
  const char *const texts[1] = {"older"};
  for (const char *name : {"a", "damaged"}) {
    ASSERT_EQ(Database_setInts(m_database, 1, m_object, name, first, 2), 1);
    ASSERT_EQ(Database_setDoubles(m_database, 2, m_object, name, second, 1), 1);
  }
  ASSERT_EQ(Database_setStrings(m_database, 1, m_object, "s", texts, 1), 1);
  ASSERT_EQ(Database_setDoubles(m_database, 2, m_object, "s", second, 1), 1);
  ASSERT_EQ(Database_setDoubles(m_database, 1, m_object, "empty", nullptr, 0), 1);
  Database_delete(m_database);
  m_database = nullptr;
  ASSERT_TRUE(storetest::damageEndTag(m_name + ".zyr", "damaged", key(), 2));
  reopen();
  zyrtest::ErrorCapture errors;

  const auto ints = [&](const char *name, int32_t state) {
    int32_t *values = nullptr, n = -1;
    const int read = Database_getInts(m_database, state, m_object, name, &values, &n);
    std::vector<int32_t> got = values ? std::vector<int32_t>(values, values + n) : std::vector<int32_t>{};
    zyrMemory_free(values, "test");
    return std::make_pair(read, got);
  };
  EXPECT_EQ(ints("a", 2), std::make_pair(1, std::vector<int32_t>{}));
  EXPECT_EQ(ints("empty", 1), std::make_pair(1, std::vector<int32_t>{}));
  int32_t buffer[2] = {-1, -1};
  EXPECT_EQ(Database_getIntArray(m_database, 2, m_object, "a", buffer, 2), 1);
  EXPECT_EQ(std::vector<int32_t>(buffer, buffer + 2), (std::vector<int32_t>{-1, -1}));
  float *floats = nullptr;
  int32_t n = -1;
  EXPECT_EQ(Database_getFloats(m_database, 2, m_object, "a", &floats, &n), 1);
  EXPECT_EQ(floats, nullptr);
  for (const char *name : {"a", "s"}) {
    SCOPED_TRACE(name);
    char **strings = nullptr;
    EXPECT_EQ(Database_getStrings(m_database, 2, m_object, name, &strings, &n), 0);
    EXPECT_EQ(strings, nullptr);
    zyrUUID **references = nullptr;
    EXPECT_EQ(Database_getPointers(m_database, 2, m_object, name, &references, &n), 0);
    EXPECT_EQ(n, 0);
  }
  EXPECT_EQ(errors.take(), std::vector<std::string>{});

  const std::vector<std::string> damaged = {"20006: The version of \"damaged\" of the object " + key() +
                                            " for state 2 in the database\n\n" + m_name +
                                            ".zyr\n\nis damaged and has been left out.\n"};
  EXPECT_EQ(ints("damaged", 2), std::make_pair(1, std::vector<int32_t>{7, 8}));
  EXPECT_EQ(errors.take(), damaged);
  char **strings = nullptr;
  EXPECT_EQ(Database_getStrings(m_database, 2, m_object, "damaged", &strings, &n), 0);
  EXPECT_EQ(errors.take(), damaged);
}

// A typed read at the state of a version of another type left it out as damaged, and the purge
// then erased it: its doubles were gone, also from the file.
TEST_F(DatabaseTest, AVersionOfAnotherTypeThatAnArrayReadMetIsKeptByThePurge) {
  const int32_t first[2] = {7, 8};
  const double second[1] = {2.5};
  ASSERT_EQ(Database_setInts(m_database, 1, m_object, "a", first, 2), 1);
  ASSERT_EQ(Database_setDoubles(m_database, 2, m_object, "a", second, 1), 1);
  zyrtest::ErrorCapture errors;
  const auto doubles = [&] {
    double *values = nullptr;
    int32_t n = 0;
    std::vector<double> got;
    if (Database_getDoubles(m_database, 2, m_object, "a", &values, &n) == 1) got.assign(values, values + n);
    zyrMemory_free(values, "test");
    return got;
  };
  int32_t *ints = nullptr, n = 0;
  EXPECT_EQ(Database_getInts(m_database, 2, m_object, "a", &ints, &n), 1);
  EXPECT_EQ(n, 0);
  zyrMemory_free(ints, "test");
  EXPECT_EQ(errors.take(), std::vector<std::string>{});
  EXPECT_EQ(doubles(), std::vector<double>{2.5});

  ASSERT_EQ(Database_purgeModifiedData(m_database, 2), 1);
  EXPECT_EQ(list(-1, -1, key().c_str(), "*", nullptr),
            (std::vector<std::tuple<std::string, std::string, int32_t>>{{key(), "a", 1}}));
  EXPECT_EQ(doubles(), std::vector<double>{2.5});
  reopen();
  EXPECT_EQ(doubles(), std::vector<double>{2.5});
  EXPECT_EQ(errors.take(), std::vector<std::string>{});
}

// A scalar read of a whole version stored with another type was taken for damage: told, left out,
// answered with the older version, and the purge then erased the sound one.
TEST_F(DatabaseTest, AScalarReadOfAVersionOfAnotherTypeFailsAndThePurgeKeepsIt) {
  ASSERT_EQ(Database_setInt(m_database, 1, m_object, "a", 5), 1);
  ASSERT_EQ(Database_setDouble(m_database, 2, m_object, "a", 2.5), 1);
  ASSERT_EQ(Database_setDouble(m_database, 1, m_object, "b", 0.5), 1);
  ASSERT_EQ(Database_setInt(m_database, 2, m_object, "b", 7), 1);
  zyrtest::ErrorCapture errors;

  int32_t integer = -1;
  EXPECT_EQ(Database_getInt(m_database, 2, m_object, "a", &integer), 0);
  EXPECT_EQ(integer, -1);
  char *text = nullptr;
  EXPECT_EQ(Database_getString(m_database, 2, m_object, "a", &text), 0);
  EXPECT_EQ(text, nullptr);
  zyrUUID *target = nullptr;
  EXPECT_EQ(Database_getPointer(m_database, 2, m_object, "a", &target), 0);
  EXPECT_EQ(target, nullptr);
  double real = -1;
  EXPECT_EQ(Database_getDouble(m_database, 2, m_object, "b", &real), 0);
  EXPECT_EQ(real, -1);
  EXPECT_EQ(errors.take(), std::vector<std::string>{});

  const auto expectStateTwo = [&] {
    double a = 0;
    int32_t b = 0;
    EXPECT_EQ(Database_getDouble(m_database, 2, m_object, "a", &a), 1);
    EXPECT_EQ(a, 2.5);
    EXPECT_EQ(Database_getInt(m_database, 2, m_object, "b", &b), 1);
    EXPECT_EQ(b, 7);
  };
  ASSERT_EQ(Database_purgeModifiedData(m_database, 2), 1);
  EXPECT_EQ(list(-1, -1, key().c_str(), "*", nullptr),
            (std::vector<std::tuple<std::string, std::string, int32_t>>{{key(), "a", 1}, {key(), "b", 1}}));
  expectStateTwo();
  reopen();
  expectStateTwo();
  EXPECT_EQ(errors.take(), std::vector<std::string>{});
}

// A purge keeps of every name the newest version that reads whole: a damaged one that no read met
// before goes, and the sound older one stays, also after a reopen.
TEST_F(DatabaseTest, APurgeKeepsTheSoundOlderVersionOfADamagedOneNoReadMet) {
  const int32_t two[2] = {7, 8};
  ASSERT_EQ(Database_setInt(m_database, 1, m_object, "n", 5), 1);
  ASSERT_EQ(Database_setInts(m_database, 2, m_object, "n", two, 2), 1);
  Database_delete(m_database);
  m_database = nullptr;
  ASSERT_TRUE(storetest::damageEndTag(m_name + ".zyr", "n", key(), 2));
  reopen();
  zyrtest::ErrorCapture errors;
  ASSERT_EQ(Database_purgeModifiedData(m_database, 2), 1);
  for (const bool reopened : {false, true}) {
    SCOPED_TRACE(reopened);
    if (reopened)
      reopen();
    int32_t value = 0;
    EXPECT_EQ(Database_getInt(m_database, 2, m_object, "n", &value), 1);
    EXPECT_EQ(value, 5);
  }
  EXPECT_EQ(errors.take(), std::vector<std::string>{});
}

// A caller's buffer too small for a sound version was taken for the version's damage: told, left
// out, filled from an older version that fits, and the purge then erased the sound one. So was a
// scalar read of a version of more than one value.
TEST_F(DatabaseTest, AReadThatFailsForTheCallersBufferFailsAndThePurgeKeepsTheVersion) {
  const int32_t two[2] = {7, 8};
  const char *const one[1] = {"x"};
  const char *const pair[2] = {"y", "z"};
  ASSERT_EQ(Database_setInt(m_database, 1, m_object, "n", 5), 1);
  ASSERT_EQ(Database_setInts(m_database, 2, m_object, "n", two, 2), 1);
  ASSERT_EQ(Database_setStrings(m_database, 1, m_object, "s", one, 1), 1);
  ASSERT_EQ(Database_setStrings(m_database, 2, m_object, "s", pair, 2), 1);
  zyrtest::ErrorCapture errors;

  int32_t small[1] = {-1};
  EXPECT_EQ(Database_getIntArray(m_database, 2, m_object, "n", small, 1), 0);
  EXPECT_EQ(small[0], -1);
  int32_t integer = -1;
  EXPECT_EQ(Database_getInt(m_database, 2, m_object, "n", &integer), 0);
  EXPECT_EQ(integer, -1);
  char *texts[1] = {nullptr};
  EXPECT_EQ(Database_getStringArray(m_database, 2, m_object, "s", texts, 1), 0);
  EXPECT_EQ(texts[0], nullptr);
  zyrCString_free(texts[0]);
  EXPECT_EQ(errors.take(), std::vector<std::string>{});

  const auto expectStateTwo = [&] {
    int32_t ints[2] = {0, 0};
    EXPECT_EQ(Database_getIntArray(m_database, 2, m_object, "n", ints, 2), 1);
    EXPECT_EQ(std::vector<int32_t>(ints, ints + 2), (std::vector<int32_t>{7, 8}));
    char *strings[2] = {nullptr, nullptr};
    EXPECT_EQ(Database_getStringArray(m_database, 2, m_object, "s", strings, 2), 1);
    std::vector<std::string> got;
    for (char *string : strings) {
      got.push_back(string != nullptr ? string : "(none)");
      zyrCString_free(string);
    }
    EXPECT_EQ(got, (std::vector<std::string>{"y", "z"}));
  };
  ASSERT_EQ(Database_purgeModifiedData(m_database, 2), 1);
  EXPECT_EQ(list(-1, -1, key().c_str(), "*", nullptr),
            (std::vector<std::tuple<std::string, std::string, int32_t>>{{key(), "n", 1}, {key(), "s", 1}}));
  expectStateTwo();
  reopen();
  expectStateTwo();
  EXPECT_EQ(errors.take(), std::vector<std::string>{});
}

TEST_F(DatabaseTest, PurgeHistoryKeepsTheValidVersionsAtOne) {
  for (int32_t state : {2, 5, 9}) ASSERT_EQ(Database_setInt(m_database, state, m_object, "a", state), 1);
  ASSERT_EQ(Database_setInt(m_database, 8, m_object, "late", 8), 1);
  ASSERT_EQ(Database_setInt(m_database, 0, m_object, "zero", 0), 1);
  ASSERT_EQ(Database_purgeModifiedData(m_database, 7), 1);
  auto entries = list(-1, -1, key().c_str(), "*", nullptr);
  std::vector<std::tuple<std::string, std::string, int32_t>> expected = {{key(), "a", 1}, {key(), "zero", 0}};
  EXPECT_EQ(entries, expected);
  int32_t value = 0;
  ASSERT_EQ(Database_getInt(m_database, 1, m_object, "a", &value), 1);
  EXPECT_EQ(value, 5);
  // Only the file and the lock file of its open handle: no temporary or backup file.
  EXPECT_EQ(listing(), (std::vector<std::string>{"model.zyr", "model.zyr.lck"}));
}

TEST_F(DatabaseTest, PurgeMarkedObjectsAndDeleteObject) {
  zyrUUID *dead = zyrUUID_new(), *later = zyrUUID_new();
  ASSERT_EQ(Database_setInt(m_database, 1, dead, "__TYPE__", 101), 1);
  ASSERT_EQ(Database_setInt(m_database, 2, dead, "size", 1), 1);
  ASSERT_EQ(Database_setInt(m_database, 3, dead, "__DELETED__", 0), 1);
  ASSERT_EQ(Database_setInt(m_database, 1, later, "__TYPE__", 101), 1);
  ASSERT_EQ(Database_setInt(m_database, 6, later, "__DELETED__", 0), 1);
  ASSERT_EQ(Database_setInt(m_database, 1, m_object, "__TYPE__", 101), 1);
  ASSERT_EQ(Database_purgeMarkedObjects(m_database, 4, "__DELETED__*"), 1);
  EXPECT_TRUE(list(-1, -1, "*", "*", nullptr).size() == 2u + 2u + 1u); // GLOBAL two, later two, object one
  int32_t value;
  EXPECT_EQ(Database_getInt(m_database, 9, dead, "size", &value), 0);
  ASSERT_EQ(Database_getInt(m_database, 9, later, "__TYPE__", &value), 1);
  ASSERT_EQ(Database_deleteObject(m_database, later), 1);
  EXPECT_EQ(Database_getInt(m_database, 9, later, "__TYPE__", &value), 0);
  ASSERT_EQ(Database_deleteDataSet(m_database, m_object, "__TYPE__"), 1);
  EXPECT_EQ(Database_deleteDataSet(m_database, m_object, "__TYPE__"), 0);
  zyrUUID_delete(dead);
  zyrUUID_delete(later);
}

TEST_F(DatabaseTest, CompactKeepsEveryVersion) {
  for (int32_t state : {1, 2, 3}) ASSERT_EQ(Database_setInt(m_database, state, m_object, "a", state), 1);
  ASSERT_EQ(Database_setInt(m_database, 3, m_object, "a", 33), 1);
  ASSERT_EQ(Database_compact(m_database), 1);
  EXPECT_EQ(list(-1, -1, key().c_str(), "*", nullptr).size(), 3u);
  int32_t value = 0;
  ASSERT_EQ(Database_getInt(m_database, 3, m_object, "a", &value), 1);
  EXPECT_EQ(value, 33);
}

// A clone makes its copy beside the name and takes the name only when nothing stands there: what
// does (a directory, a pipe) is refused and stays, and nothing of the copy is left.
TEST_F(DatabaseTest, ACloneRemovesNothingButItsOwnCopy) {
  ASSERT_EQ(mkdir(path("folder.zyr").c_str(), 0700), 0);
  ASSERT_EQ(mkfifo(path("pipe.zyr").c_str(), 0600), 0);
  const std::vector<std::string> before = listing();
  zyrtest::ErrorCapture errors;
  for (const char *name : {"folder", "pipe"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(Database_clone(m_database, path(name).c_str()), nullptr);
    EXPECT_EQ(errors.take().size(), 1u);
  }
  EXPECT_EQ(listing(), before);
  struct stat status;
  ASSERT_EQ(lstat(path("pipe.zyr").c_str(), &status), 0);
  EXPECT_TRUE(S_ISFIFO(status.st_mode));
}

TEST_F(DatabaseTest, CloneAndRename) {
  ASSERT_EQ(Database_setInt(m_database, 1, m_object, "a", 5), 1);
  Database *copy = Database_clone(m_database, path("copy").c_str());
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(std::string(Database_getFileName(copy)), path("copy.zyr"));
  EXPECT_EQ(Database_isModified(copy), 1);
  EXPECT_FALSE(zyrUUID_isEqual(copy->m_uuid, m_database->m_uuid));
  int32_t value = 0;
  ASSERT_EQ(Database_getInt(copy, 1, m_object, "a", &value), 1);
  EXPECT_EQ(value, 5);
  EXPECT_EQ(Database_clone(m_database, path("copy").c_str()), nullptr);
  Database_delete(copy);

  ASSERT_EQ(Database_rename(m_database, path("renamed.wez").c_str()), 1);
  EXPECT_EQ(std::string(Database_getFileName(m_database)), path("renamed.wez"));
  ASSERT_EQ(Database_getInt(m_database, 1, m_object, "a", &value), 1);
  EXPECT_EQ(Database_fileExists(m_name.c_str()), 0);
}

// A rename moves the file by its name: refused, and nothing moved, once that name leads to another
// file (the open one renamed meanwhile, another put in its place).
TEST_F(DatabaseTest, ARenameMovesNothingOnceTheNameLeadsToAnotherFile) {
  ASSERT_EQ(Database_setInt(m_database, 1, m_object, "a", 5), 1);
  const std::string name = m_name + ".zyr";
  ASSERT_EQ(std::rename(name.c_str(), path("away.zyr").c_str()), 0);
  storetest::writeFile(name, "another file");
  EXPECT_EQ(Database_rename(m_database, path("renamed.wez").c_str()), 0);
  EXPECT_EQ(storetest::readFile(name), "another file");
  EXPECT_EQ(zyrDoesFileExist(path("renamed.wez").c_str()), 0);
  int32_t value = 0;
  ASSERT_EQ(Database_getInt(m_database, 1, m_object, "a", &value), 1);
  EXPECT_EQ(value, 5);
}

TEST_F(DatabaseTest, ImportObjectsUnderNewKeys) {
  Database *source = Database_new(path("other").c_str());
  ASSERT_NE(source, nullptr);
  zyrUUID *repository = zyrUUID_new(), *owner = zyrUUID_new();
  zyrUUID *objects[2] = {zyrUUID_new(), zyrUUID_new()};
  ASSERT_EQ(Database_setInt(source, 1, objects[0], "__TYPE__", 12), 1);
  ASSERT_EQ(Database_setInt(source, 2, objects[0], "size", 4), 1);
  ASSERT_EQ(Database_setPointer(source, 2, objects[0], "repository", repository), 1);
  ASSERT_EQ(Database_setInt(source, 1, objects[1], "__TYPE__", 101), 1);
  const zyrUUID *refs[2] = {objects[0], nullptr};
  ASSERT_EQ(Database_setPointers(source, 3, objects[1], "links", refs, 2), 1);

  char keyTexts[2][ZYR_UUID_BASE64_SIZE];
  for (int i = 0; i < 2; ++i) zyrUUID_toBase64(objects[i], keyTexts[i]);
  const char *keys[2] = {keyTexts[0], keyTexts[1]};
  const int32_t offsets[3] = {0, 3, 5};
  const char *names[5] = {"__TYPE__", "repository", "size", "__TYPE__", "links"};
  const int32_t whens[5] = {1, 2, 2, 1, 3};
  char *newKeys = nullptr;
  ASSERT_EQ(Database_importObjects(m_database, source, 4, repository, owner, 2, keys, offsets, names, whens,
                                   &newKeys),
            1);
  ASSERT_NE(newKeys, nullptr);
  zyrUUID *model = zyrUUID_newFromBase64(newKeys);
  zyrUUID *other = zyrUUID_newFromBase64(newKeys + ZYR_UUID_BASE64_SIZE);
  ASSERT_NE(model, nullptr);
  ASSERT_NE(other, nullptr);
  EXPECT_EQ(strlen(newKeys), 22u);
  int32_t value = 0;
  ASSERT_EQ(Database_getInt(m_database, 4, model, "size", &value), 1);
  EXPECT_EQ(value, 4);
  EXPECT_EQ(Database_findActiveWhen(m_database, 4, "size"), 4);
  zyrUUID *u = nullptr;
  ASSERT_EQ(Database_getPointer(m_database, 4, model, "repository", &u), 1);
  EXPECT_TRUE(zyrUUID_isEqual(u, owner));
  zyrUUID_delete(u);
  zyrUUID **links = nullptr;
  int32_t count = 0;
  ASSERT_EQ(Database_getPointers(m_database, 4, other, "links", &links, &count), 1);
  ASSERT_EQ(count, 2);
  EXPECT_TRUE(zyrUUID_isEqual(links[0], model));
  EXPECT_EQ(links[1], nullptr);
  zyrUUID_delete(links[0]);
  zyrMemory_free(links, "test");
  EXPECT_EQ(Database_isModified(m_database), 1);
  // The source is usable afterwards.
  ASSERT_EQ(Database_getInt(source, 2, objects[0], "size", &value), 1);

  char *none = reinterpret_cast<char *>(&value);
  EXPECT_EQ(Database_importObjects(m_database, source, 4, nullptr, nullptr, 0, nullptr, nullptr, nullptr,
                                   nullptr, &none),
            1);
  EXPECT_EQ(none, nullptr);
  // Without the repository pair the reference to it cannot be translated.
  EXPECT_EQ(
      Database_importObjects(m_database, source, 5, nullptr, nullptr, 2, keys, offsets, names, whens, &none),
      0);
  EXPECT_EQ(none, nullptr);

  zyrMemory_free(newKeys, "test");
  zyrUUID_delete(model);
  zyrUUID_delete(other);
  for (auto *o : objects) zyrUUID_delete(o);
  zyrUUID_delete(repository);
  zyrUUID_delete(owner);
  Database_delete(source);
}

} // namespace
