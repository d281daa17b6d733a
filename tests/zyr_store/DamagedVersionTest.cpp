// Reads of versions that are damaged in the file: what the readers into a caller's buffer hand
// over, and which versions a read and a purge take when a version's data type is one the store
// never writes; what the readers into a caller's buffer stage a version in, and for how long.
#include "StoreTestSupport.h"

#include "Database.h"
#include "DatabaseStaging.h"
#include "MemoryMonitor.h"
#include "io_pipeline.h"
#include "zyrCString.h"
#include "zyrMemory.h"
#include "zyrTestChild.h"
#include "zyrTestDataSets.h"
#include "zyrTestErrors.h"
#include "zyrUUID.h"

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

class DamagedVersionTest : public storetest::DatabaseTestBase {
protected:
  void close() {
    Database_delete(m_database);
    m_database = nullptr;
  }
  std::string file() const { return m_name + ".zyr"; }
  std::string leftOut(const char *name, int32_t when) const {
    return "20006: The version of \"" + std::string(name) + "\" of the object " + key() + " for state " +
           std::to_string(when) + " in the database\n\n" + file() + "\n\nis damaged and has been left out.\n";
  }
};

// ---- The readers into a caller's buffer, one kind each ----
// first(): the one value of the older version; second(): the two of the damaged newer one; other():
// a version of another kind, of which the reader takes no values. text() shows an entry of the
// buffer, "-" one the read left as the caller filled it.

zyrUUID *reference(uint32_t n) { return zyrUUID_newFromIntegers(n, n + 1, n + 2, n + 3); }

std::string referenceText(const zyrUUID *uuid) {
  char text[ZYR_UUID_BASE64_SIZE];
  zyrUUID_toBase64(uuid, text);
  return text;
}

int writeOtherInts(Database *database, const zyrUUID *object, const char *name) {
  const int32_t values[1] = {7};
  return Database_setInts(database, 1, object, name, values, 1);
}

template <class T, int (*Read)(Database *, int32_t, const zyrUUID *, const char *, T *, int32_t)> struct Numbers {
  using Value = T;
  static constexpr auto read = Read;
  static Value untouched() { return static_cast<T>(-1); }
  static std::string text(Value value) { return value == untouched() ? "-" : std::to_string(value); }
  static void release(Value) {}
};

struct Ints : Numbers<int32_t, Database_getIntArray> {
  static int write(Database *database, int32_t state, const zyrUUID *object, const char *name, bool second) {
    const int32_t values[2] = {second ? 21 : 11, 22};
    return Database_setInts(database, state, object, name, values, second ? 2 : 1);
  }
  static std::vector<std::string> first() { return {"11"}; }
  static int writeOther(Database *database, const zyrUUID *object, const char *name) {
    const double values[1] = {7.5};
    return Database_setDoubles(database, 1, object, name, values, 1);
  }
};

struct Floats : Numbers<float, Database_getFloatArray> {
  static int write(Database *database, int32_t state, const zyrUUID *object, const char *name, bool second) {
    const float values[2] = {second ? 2.5f : 1.5f, 3.5f};
    return Database_setFloats(database, state, object, name, values, second ? 2 : 1);
  }
  static std::vector<std::string> first() { return {std::to_string(1.5f)}; }
  static int writeOther(Database *database, const zyrUUID *object, const char *name) {
    return writeOtherInts(database, object, name);
  }
};

struct Doubles : Numbers<double, Database_getDoubleArray> {
  static int write(Database *database, int32_t state, const zyrUUID *object, const char *name, bool second) {
    const double values[2] = {second ? 2.5 : 1.5, 3.5};
    return Database_setDoubles(database, state, object, name, values, second ? 2 : 1);
  }
  static std::vector<std::string> first() { return {std::to_string(1.5)}; }
  static int writeOther(Database *database, const zyrUUID *object, const char *name) {
    return writeOtherInts(database, object, name);
  }
};

struct Chars {
  using Value = char;
  static constexpr auto read = Database_getCharArray;
  static Value untouched() { return '-'; }
  static std::string text(Value value) { return std::string(1, value); }
  static void release(Value) {}
  static int write(Database *database, int32_t state, const zyrUUID *object, const char *name, bool second) {
    return Database_setChars(database, state, object, name, second ? "bc" : "a", second ? 2 : 1);
  }
  static std::vector<std::string> first() { return {"a"}; }
  static int writeOther(Database *database, const zyrUUID *object, const char *name) {
    return writeOtherInts(database, object, name);
  }
};

char untouchedText[] = "untouched";

struct Strings {
  using Value = char *;
  static constexpr auto read = Database_getStringArray;
  static Value untouched() { return untouchedText; }
  static std::string text(Value value) { return value == untouched() ? "-" : value ? value : "null"; }
  static void release(Value value) {
    if (value != untouched()) zyrCString_free(value);
  }
  static int write(Database *database, int32_t state, const zyrUUID *object, const char *name, bool second) {
    const char *const values[2] = {second ? "two" : "one", "three"};
    return Database_setStrings(database, state, object, name, values, second ? 2 : 1);
  }
  static std::vector<std::string> first() { return {"one"}; }
  static int writeOther(Database *database, const zyrUUID *object, const char *name) {
    return writeOtherInts(database, object, name);
  }
};

zyrUUID untouchedReference = {};

struct Pointers {
  using Value = zyrUUID *;
  static constexpr auto read = Database_getPointerArray;
  static Value untouched() { return &untouchedReference; }
  static std::string text(Value value) { return value == untouched() ? "-" : value ? referenceText(value) : "null"; }
  static void release(Value value) {
    if (value != untouched()) zyrUUID_delete(value);
  }
  static int write(Database *database, int32_t state, const zyrUUID *object, const char *name, bool second) {
    zyrUUID *values[2] = {reference(second ? 20 : 10), reference(30)};
    const int written = Database_setPointers(database, state, object, name, values, second ? 2 : 1);
    for (zyrUUID *value : values) zyrUUID_delete(value);
    return written;
  }
  static std::vector<std::string> first() {
    zyrUUID *value = reference(10);
    const std::string text = referenceText(value);
    zyrUUID_delete(value);
    return {text};
  }
  static int writeOther(Database *database, const zyrUUID *object, const char *name) {
    return writeOtherInts(database, object, name);
  }
};

template <class Kind> class BufferReaderTest : public DamagedVersionTest {
protected:
  // A read at state 2 into a buffer of 3 that the caller filled: its answer and the buffer.
  std::pair<int, std::vector<std::string>> readAtTwo(const char *name) {
    typename Kind::Value buffer[3] = {Kind::untouched(), Kind::untouched(), Kind::untouched()};
    const int read = Kind::read(m_database, 2, m_object, name, buffer, 3);
    std::vector<std::string> shown;
    for (auto value : buffer) {
      shown.push_back(Kind::text(value));
      Kind::release(value);
    }
    return {read, shown};
  }
};

using BufferReaders = testing::Types<Ints, Floats, Doubles, Chars, Strings, Pointers>;
TYPED_TEST_SUITE(BufferReaderTest, BufferReaders);

// Each version was read straight into the caller's buffer, and failed only on the damaged end after
// its values: the values stayed there under the older version's, under a version of another kind
// that gives none (answered as a success), and under a failure when no older version was left.
TYPED_TEST(BufferReaderTest, AVersionToldAsDamagedLeavesNothingInTheBuffer) {
  Database *database = this->m_database;
  const zyrUUID *object = this->m_object;
  ASSERT_EQ(TypeParam::write(database, 1, object, "older", false), 1);
  ASSERT_EQ(TypeParam::writeOther(database, object, "other"), 1);
  for (const char *name : {"older", "other", "alone"})
    ASSERT_EQ(TypeParam::write(database, 2, object, name, true), 1);
  this->close();
  for (const char *name : {"older", "other", "alone"})
    ASSERT_TRUE(storetest::damageEndTag(this->file(), name, this->key(), 2));
  this->reopen();
  zyrtest::ErrorCapture errors;

  std::vector<std::string> older = TypeParam::first();
  older.resize(3, "-");
  const std::vector<std::string> untouched = {"-", "-", "-"};
  for (const char *name : {"older", "other", "alone"}) {
    SCOPED_TRACE(name);
    const auto expected = std::string(name) == "older" ? std::make_pair(1, older)
                          : std::string(name) == "other" ? std::make_pair(1, untouched)
                                                         : std::make_pair(0, untouched);
    EXPECT_EQ(this->readAtTwo(name), expected);
    EXPECT_EQ(errors.take(), std::vector<std::string>{this->leftOut(name, 2)});
  }
}

// A few values read into an untouched buffer of 64 Mi: each version was staged in a zero-filled
// copy of the whole buffer (hundreds of megabytes for one value), on every read. In a child of its
// own, whose peak resident size says what the read touched: the read reaches only the entries it
// hands over, stages no more than the version and adds nothing to the peak.
TYPED_TEST(BufferReaderTest, AFewValuesIntoAnUntouchedHugeBufferCostNothingOfItsSize) {
  using Value = typename TypeParam::Value;
  ASSERT_EQ(TypeParam::write(this->m_database, 1, this->m_object, "few", false), 1);
  this->close();
  const std::string file = this->file();
  const zyrUUID *object = this->m_object;
  const std::string found = zyrtest::inChild([&] {
    Database *database = Database_openForReading(file.c_str());
    if (database == nullptr) return std::string("the database did not open");
    const int32_t n = int32_t{64} << 20;
    std::unique_ptr<Value[]> buffer(new Value[n]);
    for (int32_t i : {0, 1, 2, n - 1}) buffer[i] = TypeParam::untouched();
    zyrtest::resetPeakResident();
    const int64_t before = zyrtest::peakResidentBytes();
    const int read = TypeParam::read(database, 1, object, "few", buffer.get(), n);
    const int64_t grown = zyrtest::peakResidentBytes() - before;
    std::vector<std::string> shown;
    for (int32_t i : {0, 1, 2, n - 1}) {
      shown.push_back(TypeParam::text(buffer[i]));
      TypeParam::release(buffer[i]);
    }
    const int64_t staged = Database_largestStaging(database);
    Database_delete(database);
    std::vector<std::string> expected = TypeParam::first();
    expected.resize(4, "-");
    std::string problems;
    if (read != 1 || shown != expected) problems += "read " + std::to_string(read) + ": " + testing::PrintToString(shown) + "\n";
    if (staged > 1024) problems += "staged " + std::to_string(staged) + " bytes\n";
    if (grown >= (int64_t{4} << 20)) problems += "the peak grew by " + std::to_string(grown) + " bytes\n";
    return problems;
  });
  EXPECT_EQ(found, "");
  this->reopen();
}

// A version larger than the staging that used to be kept (16 MiB): that staging was let go after
// every read, so that each read of the version took fresh memory from the system and faulted in
// every page of it again. The second read takes no staging and gives none back, the copy out of
// the staging, split over three threads, hands the version over entire, and the close gives the
// staging back.
TEST_F(DamagedVersionTest, ALargeStagingIsKeptUntilTheClose) {
  const int32_t count = (int32_t{5} << 20) + 3; // in pieces of unequal sizes
  std::vector<int32_t> values(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) values[static_cast<size_t>(i)] = i % 1000 * 7 + i / 1000;
  ASSERT_EQ(Database_setInts(m_database, 1, m_object, "large", values.data(), count), 1);
  reopen();
  io_set_pipeline_threads(3);
  const std::string log = path("memory.log");
  MemoryMonitor *previous = zyrMemory_setMonitor(MemoryMonitor_new(log.c_str()));
  std::vector<int32_t> buffer(static_cast<size_t>(count), -1);
  EXPECT_EQ(Database_getIntArray(m_database, 1, m_object, "large", buffer.data(), count), 1);
  const size_t afterFirst = zyrtest::splitLines(zyrtest::readFile(log)).size();
  std::fill(buffer.begin(), buffer.end(), -1);
  EXPECT_EQ(Database_getIntArray(m_database, 1, m_object, "large", buffer.data(), count), 1);
  const size_t afterSecond = zyrtest::splitLines(zyrtest::readFile(log)).size();
  EXPECT_TRUE(buffer == values);
  EXPECT_EQ(Database_largestStaging(m_database), static_cast<int64_t>(count) * 4);
  close();
  MemoryMonitor_delete(zyrMemory_setMonitor(previous));
  io_set_pipeline_threads(0);

  // Each line: tag, size, running total, A (allocated) or F (freed), address.
  std::vector<std::vector<std::string>> lines;
  for (const std::string &line : zyrtest::splitLines(zyrtest::readFile(log))) {
    std::istringstream words(line);
    lines.emplace_back(std::istream_iterator<std::string>(words), std::istream_iterator<std::string>());
  }
  ASSERT_GE(lines.size(), afterSecond);
  std::string staging;
  for (size_t i = 0; i < afterFirst; ++i)
    if (lines[i].size() == 5 && lines[i][0] == "stagingFor" && lines[i][3] == "A") staging = lines[i][4];
  ASSERT_NE(staging, "");
  // The lines of the staging and of any other, from the first read's end to the staging's release.
  std::vector<std::string> secondRead, released;
  for (size_t i = afterFirst; i < lines.size() && released.empty(); ++i) {
    if (lines[i].size() != 5 || (lines[i][0] != "stagingFor" && lines[i][4] != staging)) continue;
    (i < afterSecond ? secondRead : released).push_back(lines[i][0] + " " + lines[i][3]);
  }
  EXPECT_EQ(secondRead, std::vector<std::string>{});
  EXPECT_EQ(released, std::vector<std::string>{"freeHandle F"});
}

// A version of thousands of values, more than a new handle's staging holds, read into a buffer of a
// million: the staging grows to the version's size, each version tried read whole into it. The
// damaged newer one leaves nothing in the buffer, the older one is handed over entire, and a buffer
// one value too small for it is refused and left as it was.
TEST_F(DamagedVersionTest, AStagingGrowsToTheVersionNotToTheBuffer) {
  std::vector<int32_t> older(3000), newer(5000);
  for (size_t i = 0; i < older.size(); ++i) older[i] = static_cast<int32_t>(3 * i + 1);
  for (size_t i = 0; i < newer.size(); ++i) newer[i] = static_cast<int32_t>(7 * i + 2);
  ASSERT_EQ(Database_setInts(m_database, 1, m_object, "big", older.data(), 3000), 1);
  ASSERT_EQ(Database_setInts(m_database, 2, m_object, "big", newer.data(), 5000), 1);
  close();
  ASSERT_TRUE(storetest::damageEndTag(file(), "big", key(), 2));
  reopen();
  zyrtest::ErrorCapture errors;

  const int32_t n = int32_t{1} << 20;
  std::vector<int32_t> buffer(static_cast<size_t>(n), -1);
  ASSERT_EQ(Database_getIntArray(m_database, 2, m_object, "big", buffer.data(), n), 1);
  EXPECT_EQ(std::vector<int32_t>(buffer.begin(), buffer.begin() + 3000), older);
  EXPECT_EQ(std::count(buffer.begin() + 3000, buffer.end(), -1), n - 3000);
  EXPECT_EQ(errors.take(), std::vector<std::string>{leftOut("big", 2)});
  const int64_t staged = Database_largestStaging(m_database);
  EXPECT_GE(staged, static_cast<int64_t>(5000 * sizeof(int32_t)));
  EXPECT_LT(staged, static_cast<int64_t>(2 * 5000 * sizeof(int32_t)));

  std::vector<int32_t> small(2999, -1);
  EXPECT_EQ(Database_getIntArray(m_database, 1, m_object, "big", small.data(), 2999), 0);
  EXPECT_EQ(small, std::vector<int32_t>(2999, -1));
  EXPECT_EQ(errors.take(), std::vector<std::string>{});
}

// References whose stored keys are damaged: the reader made each and, finding one that is no key,
// deleted them and cleared the caller's entries it had filled.
TEST_F(DamagedVersionTest, ReferencesThatAreNoKeysLeaveNothingInTheBuffer) {
  zyrUUID *first = reference(10), *second[2] = {reference(20), reference(30)};
  ASSERT_EQ(Database_setPointer(m_database, 1, m_object, "older", first), 1);
  for (const char *name : {"older", "alone"})
    ASSERT_EQ(Database_setPointers(m_database, 2, m_object, name, second, 2), 1);
  close();
  std::string bytes = storetest::readFile(file());
  for (const char *name : {"older", "alone"})
    ASSERT_TRUE(zyrtest::replaceValueByte(bytes, name, key(), 2, 30, '!'));
  storetest::writeFile(file(), bytes);
  reopen();
  zyrtest::ErrorCapture errors;

  for (const char *name : {"older", "alone"}) {
    SCOPED_TRACE(name);
    zyrUUID *buffer[3] = {&untouchedReference, &untouchedReference, &untouchedReference};
    const int read = Database_getPointerArray(m_database, 2, m_object, name, buffer, 3);
    std::vector<std::string> shown;
    for (zyrUUID *value : buffer) {
      shown.push_back(Pointers::text(value));
      Pointers::release(value);
    }
    if (std::string(name) == "older")
      EXPECT_EQ(std::make_pair(read, shown), std::make_pair(1, std::vector<std::string>{referenceText(first), "-", "-"}));
    else
      EXPECT_EQ(std::make_pair(read, shown), std::make_pair(0, std::vector<std::string>{"-", "-", "-"}));
    EXPECT_EQ(errors.take(), std::vector<std::string>{leftOut(name, 2)});
  }
  zyrUUID_delete(first);
  for (zyrUUID *value : second) zyrUUID_delete(value);
}

// A version of references one of which is no key does not read whole as what it was stored as, yet
// every reader but the reference readers took it: the characters reader handed over the damaged
// characters without a word, and the integer reader answered it as a sound version of another kind.
TEST_F(DamagedVersionTest, ReferencesThatAreNoKeysAreDamageForEveryReader) {
  zyrUUID *first = reference(10), *second[2] = {reference(20), reference(30)};
  ASSERT_EQ(Database_setPointer(m_database, 1, m_object, "r", first), 1);
  ASSERT_EQ(Database_setPointers(m_database, 2, m_object, "r", second, 2), 1);
  ASSERT_EQ(Database_setPointers(m_database, 2, m_object, "alone", second, 2), 1);
  close();
  std::string bytes = storetest::readFile(file());
  for (const char *name : {"r", "alone"})
    ASSERT_TRUE(zyrtest::replaceValueByte(bytes, name, key(), 2, 30, '!'));
  storetest::writeFile(file(), bytes);
  reopen();
  zyrtest::ErrorCapture errors;

  char *chars = nullptr;
  int32_t n = 0;
  ASSERT_EQ(Database_getChars(m_database, 2, m_object, "r", &chars, &n), 1);
  EXPECT_EQ(std::string(chars, static_cast<size_t>(n)), referenceText(first));
  zyrMemory_free(chars, "test");
  EXPECT_EQ(errors.take(), std::vector<std::string>{leftOut("r", 2)});
  int32_t *ints = nullptr;
  EXPECT_EQ(Database_getInts(m_database, 2, m_object, "alone", &ints, &n), 0);
  EXPECT_EQ(ints, nullptr);
  EXPECT_EQ(errors.take(), std::vector<std::string>{leftOut("alone", 2)});
  zyrUUID_delete(first);
  for (zyrUUID *value : second) zyrUUID_delete(value);
}

// A version without values whose data type word is damaged read as empty, for every reader: the
// read at its state took it without a word, and the purge kept it over the sound older version,
// whose values it erased. It is damage: told, left out, and neither read nor kept over 201, 202.
TEST_F(DamagedVersionTest, AnEmptyVersionOfATypeTheStoreNeverWritesIsDamage) {
  const int32_t values[2] = {201, 202};
  for (const char *type : {"JNTR", "IOTR", "INUR", "INTS"}) {
    SCOPED_TRACE(type);
    ASSERT_EQ(Database_setInts(m_database, 1, m_object, "n", nullptr, 0), 1);
    ASSERT_EQ(Database_setInts(m_database, 2, m_object, "n", values, 2), 1);
    ASSERT_EQ(Database_setInts(m_database, 3, m_object, "n", nullptr, 0), 1);
    close();
    ASSERT_TRUE(storetest::damageDataType(file(), "n", key(), 3, type));
    reopen();
    zyrtest::ErrorCapture errors;
    const auto ints = [&] {
      int32_t *read = nullptr, n = 0;
      std::vector<int32_t> got;
      if (Database_getInts(m_database, 3, m_object, "n", &read, &n) == 1) got.assign(read, read + n);
      zyrMemory_free(read, "test");
      return got;
    };
    EXPECT_EQ(ints(), (std::vector<int32_t>{201, 202}));
    EXPECT_EQ(errors.take(), std::vector<std::string>{leftOut("n", 3)});
    int32_t counts[6];
    ASSERT_EQ(Database_describeData(m_database, 3, m_object, "n", &counts[0], &counts[1], &counts[2], &counts[3],
                                    &counts[4], &counts[5]),
              1);
    EXPECT_EQ(std::vector<int32_t>(counts, counts + 6), (std::vector<int32_t>{2, 0, 0, 0, 0, 0}));

    ASSERT_EQ(Database_purgeModifiedData(m_database, 3), 1);
    EXPECT_EQ(ints(), (std::vector<int32_t>{201, 202}));
    reopen();
    EXPECT_EQ(ints(), (std::vector<int32_t>{201, 202}));
    EXPECT_EQ(errors.take(), std::vector<std::string>{});
    ASSERT_EQ(Database_deleteDataSet(m_database, m_object, "n"), 1);
  }
}

// Characters whose type was made LOGL, one that the library reads but the store never writes: every
// reader found no values of its kind in them, and the purge kept them over the sound older version.
TEST_F(DamagedVersionTest, AVersionOfATypeTheLibraryReadsButTheStoreNeverWritesIsDamage) {
  ASSERT_EQ(Database_setChars(m_database, 1, m_object, "c", "abc", 3), 1);
  ASSERT_EQ(Database_setChars(m_database, 2, m_object, "c", "de", 2), 1);
  close();
  ASSERT_TRUE(storetest::damageDataType(file(), "c", key(), 2, "LOGL"));
  reopen();
  zyrtest::ErrorCapture errors;
  const auto chars = [&] {
    char *read = nullptr;
    int32_t n = 0;
    std::string got = "(failed)";
    if (Database_getChars(m_database, 2, m_object, "c", &read, &n) == 1) got.assign(read, static_cast<size_t>(n));
    zyrMemory_free(read, "test");
    return got;
  };
  EXPECT_EQ(chars(), "abc");
  EXPECT_EQ(errors.take(), std::vector<std::string>{leftOut("c", 2)});
  ASSERT_EQ(Database_purgeModifiedData(m_database, 2), 1);
  reopen();
  EXPECT_EQ(chars(), "abc");
  EXPECT_EQ(errors.take(), std::vector<std::string>{});
}

} // namespace
