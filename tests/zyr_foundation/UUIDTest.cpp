#include "TestSupport.h"
#include "zyrUUID.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

// 01234567-89ab-cdef-8f00-e1d2c3b4a596 in its three forms (worked out independently).
const uint32_t kIntegers[4] = {0x01234567u, 0x89abcdefu, 0x8f00e1d2u, 0xc3b4a596u};
const char kText[] = "01234567-89ab-cdef-8f00-e1d2c3b4a596";
const char kBase64[] = "Z0UjAe/Nq4nS4QCPlqW0ww";

std::string text(const zyrUUID *uuid) {
  char buffer[ZYR_UUID_TEXT_SIZE];
  zyrUUID_toString(uuid, buffer);
  return buffer;
}

std::string base64(const zyrUUID *uuid) {
  char buffer[ZYR_UUID_BASE64_SIZE];
  zyrUUID_toBase64(uuid, buffer);
  return buffer;
}

uint64_t timestampOf(const zyrUUID *uuid) {
  return static_cast<uint64_t>(uuid->m_timeHighAndVersion & 0x0FFF) << 48 |
         static_cast<uint64_t>(uuid->m_timeMid) << 32 | uuid->m_timeLow;
}

int clockSequenceOf(const zyrUUID *uuid) {
  return (uuid->m_clockSeqHighAndReserved & 0x3F) << 8 | uuid->m_clockSeqLow;
}

TEST(UUID, ThreeFormsOfOneIdentifier) {
  zyrUUID *uuid = zyrUUID_newFromIntegers(kIntegers[0], kIntegers[1], kIntegers[2], kIntegers[3]);
  EXPECT_EQ(uuid->m_timeLow, 0x01234567u);
  EXPECT_EQ(uuid->m_timeMid, 0x89abu);
  EXPECT_EQ(uuid->m_timeHighAndVersion, 0xcdefu);
  EXPECT_EQ(uuid->m_clockSeqHighAndReserved, 0x8fu);
  EXPECT_EQ(uuid->m_clockSeqLow, 0x00u);
  const uint8_t node[6] = {0xe1, 0xd2, 0xc3, 0xb4, 0xa5, 0x96};
  EXPECT_EQ(std::memcmp(uuid->m_node, node, 6), 0);
  EXPECT_EQ(text(uuid), kText);
  EXPECT_EQ(base64(uuid), kBase64);

  for (zyrUUID *other : {zyrUUID_newFromString(kText), zyrUUID_newFromBase64(kBase64)}) {
    ASSERT_NE(other, nullptr);
    uint32_t integers[4];
    zyrUUID_toIntegers(other, integers);
    EXPECT_TRUE(std::equal(integers, integers + 4, kIntegers));
    EXPECT_EQ(zyrUUID_isEqual(uuid, other), 1);
    zyrUUID_delete(other);
  }
  zyrUUID_delete(uuid);
}

TEST(UUID, NullIdentifierText) {
  EXPECT_EQ(base64(nullptr), "__NULL_UUID__");
  EXPECT_EQ(zyrUUID_newFromBase64("__NULL_UUID__"), nullptr);
  EXPECT_EQ(zyrUUID_isNullString("__NULL_UUID__"), 1);
  EXPECT_EQ(zyrUUID_isNullString("__NULL_UUID_"), 0);
  EXPECT_EQ(zyrUUID_isNullString(nullptr), 0);
}

TEST(UUID, TextParsingRefusesMalformedInput) {
  zyrUUID *upper = zyrUUID_newFromString("01234567-89AB-CDEF-8F00-E1D2C3B4A596");
  ASSERT_NE(upper, nullptr);
  EXPECT_EQ(text(upper), kText);
  zyrUUID_delete(upper);
  const char *const bad[] = {"",
                             "01234567-89ab-cdef-8f00-e1d2c3b4a59",
                             "01234567-89ab-cdef-8f00_e1d2c3b4a596",
                             "0123456789ab-cdef-8f00-e1d2c3b4a596-",
                             "01234567-89ab-cdef-8f00-e1d2c3b4a59g",
                             " 1234567-89ab-cdef-8f00-e1d2c3b4a596",
                             "+1234567-89ab-cdef-8f00-e1d2c3b4a596"};
  for (const char *b : bad)
    EXPECT_EQ(zyrUUID_newFromString(b), nullptr) << b;
  EXPECT_EQ(zyrUUID_newFromString(nullptr), nullptr);
}

TEST(UUID, Base64ParsingRefusesMalformedInput) {
  std::string s = kBase64;
  const std::string bad[] = {s.substr(0, 21), s.substr(0, 10) + " " + s.substr(11), s.substr(0, 21) + "=",
                             s.substr(0, 21) + "x", // leftover bits not zero
                             s.substr(0, 5) + "-" + s.substr(6), ""};
  for (const std::string &b : bad)
    EXPECT_EQ(zyrUUID_newFromBase64(b.c_str()), nullptr) << b;
  EXPECT_EQ(zyrUUID_newFromBase64(nullptr), nullptr);
}

TEST(UUID, Base64PiecesOfAPackedArrayNeedNoTerminator) {
  zyrUUID *a = zyrUUID_new();
  zyrUUID *b = zyrUUID_new();
  const std::string packed = base64(a) + base64(b) + "__NULL_UUID__";
  zyrUUID *a2 = zyrUUID_newFromBase64(packed.c_str());
  zyrUUID *b2 = zyrUUID_newFromBase64(packed.c_str() + 22);
  ASSERT_NE(a2, nullptr);
  ASSERT_NE(b2, nullptr);
  EXPECT_EQ(zyrUUID_isEqual(a, a2), 1);
  EXPECT_EQ(zyrUUID_isEqual(b, b2), 1);
  EXPECT_EQ(zyrUUID_newFromBase64(packed.c_str() + 44), nullptr);
  for (zyrUUID *u : {a, b, a2, b2})
    zyrUUID_delete(u);
}

TEST(UUID, TimeBasedLayoutAndGregorianClock) {
  struct timespec before;
  clock_gettime(CLOCK_REALTIME, &before);
  zyrUUID *uuid = zyrUUID_new();
  const uint64_t unixTicks = static_cast<uint64_t>(before.tv_sec) * 10000000u + static_cast<uint64_t>(before.tv_nsec) / 100;
  EXPECT_EQ(uuid->m_timeHighAndVersion >> 12, 1);
  EXPECT_EQ(uuid->m_clockSeqHighAndReserved >> 6, 2);
  const uint64_t stamp = timestampOf(uuid);
  const uint64_t gregorian = unixTicks + UINT64_C(122192928000000000);
  EXPECT_GE(stamp + 10, gregorian);
  EXPECT_LT(stamp, gregorian + UINT64_C(600000000)); // within a minute
  const std::string t = text(uuid);
  ASSERT_EQ(t.size(), 36u);
  EXPECT_EQ(t[14], '1');
  zyrUUID *back = zyrUUID_newFromString(t.c_str());
  EXPECT_EQ(zyrUUID_compare(uuid, back), 0);
  zyrUUID_delete(back);
  zyrUUID_delete(uuid);
}

TEST(UUID, MillionInARowAreDistinctAndAscending) {
  const int count = 1000000;
  std::vector<std::array<uint32_t, 4>> all(count);
  uint64_t previous = 0;
  bool ascending = true;
  for (int i = 0; i < count; ++i) {
    zyrUUID *uuid = zyrUUID_new();
    zyrUUID_toIntegers(uuid, all[static_cast<size_t>(i)].data());
    const uint64_t stamp = timestampOf(uuid);
    ascending = ascending && stamp > previous;
    previous = stamp;
    zyrUUID_delete(uuid);
  }
  EXPECT_TRUE(ascending);
  std::sort(all.begin(), all.end());
  EXPECT_EQ(std::adjacent_find(all.begin(), all.end()), all.end());
}

TEST(UUID, NameBasedVectors) {
  zyrUUID *dns = zyrUUID_newFromString("6ba7b810-9dad-11d1-80b4-00c04fd430c8");
  ASSERT_NE(dns, nullptr);
  zyrUUID *widgets = zyrUUID_newFromName(dns, "www.widgets.com", 15);
  zyrUUID *python = zyrUUID_newFromName(dns, "python.org", 10);
  EXPECT_EQ(text(widgets), "3d813cbb-47fb-32ba-91df-831e1593ac29");
  EXPECT_EQ(text(python), "6fa459ea-ee8a-3ca4-894e-db77e160355e");
  EXPECT_EQ(zyrUUID_newFromName(nullptr, "x", 1), nullptr);
  for (zyrUUID *u : {dns, widgets, python})
    zyrUUID_delete(u);
}

TEST(UUID, OrderingComparesFieldsAsUnsignedNumbers) {
  zyrUUID *small = zyrUUID_newFromIntegers(1, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu);
  zyrUUID *large = zyrUUID_newFromIntegers(0x80000000u, 0, 0, 0);
  EXPECT_EQ(zyrUUID_compare(small, large), -1);
  EXPECT_EQ(zyrUUID_compare(large, small), 1);
  zyrUUID *a = zyrUUID_newFromIntegers(5, 6, 0x80000000u, 1);
  zyrUUID *b = zyrUUID_newFromIntegers(5, 6, 0x7FFFFFFFu, 2);
  EXPECT_EQ(zyrUUID_compare(a, b), 1);
  zyrUUID *c = zyrUUID_newFromIntegers(5, 6, 0x80000000u, 0x00000100u);
  EXPECT_EQ(zyrUUID_compare(a, c), -1); // node byte 4 decides
  EXPECT_EQ(zyrUUID_isEqual(a, a), 1);
  EXPECT_EQ(zyrUUID_isEqual(a, b), 0);
  for (zyrUUID *u : {small, large, a, b, c})
    zyrUUID_delete(u);
}

TEST(UUID, HashFollowsTheStringHashScheme) {
  zyrUUID *uuid = zyrUUID_newFromIntegers(kIntegers[0], kIntegers[1], kIntegers[2], kIntegers[3]);
  // Worked out independently from the scheme.
  EXPECT_EQ(zyrUUID_hash(uuid, 509), 170);
  EXPECT_EQ(zyrUUID_hash(uuid, 2), 1);
  EXPECT_EQ(zyrUUID_hash(uuid, 1000003), 405687);
  EXPECT_EQ(zyrUUID_hash(uuid, UINT64_C(8589934593)), 1158993540);
  EXPECT_EQ(zyrUUID_hash(nullptr, 509), 253);
  EXPECT_EQ(zyrUUID_hash(nullptr, 1000003), 469311);
  zyrUUID_delete(uuid);
}

TEST(UUID, PrintWritesTheTextAndALineFeed) {
  zyrtest::ScratchDir dir;
  zyrUUID *uuid = zyrUUID_newFromString(kText);
  FILE *stream = std::fopen(dir.file("out").c_str(), "w");
  ASSERT_NE(stream, nullptr);
  zyrUUID_print(uuid, stream);
  std::fclose(stream);
  EXPECT_EQ(zyrtest::readFile(dir.file("out")), std::string(kText) + "\n");
  zyrUUID_delete(uuid);
}

// The generator reads "nodeid" and "state" once per process: each case runs in a fresh process
// (the test binary started again, never a fork of a parent whose generator may have run) that
// starts in a directory of its own (and leaves by _exit, its records unreleased). The child finds
// the parent's directory through the environment.
void inDirectory(const std::string &path) {
  if (chdir(path.c_str()) != 0)
    zyrtest::leaveChild(3);
}

void writeState(const std::string &path, uint64_t timestamp, const uint8_t node[6], uint16_t sequence) {
  std::string bytes;
  for (int i = 0; i < 8; ++i)
    bytes += static_cast<char>(timestamp >> (8 * i));
  bytes.append(reinterpret_cast<const char *>(node), 6);
  bytes += static_cast<char>(sequence & 0xFF);
  bytes += static_cast<char>(sequence >> 8);
  zyrtest::writeFile(path, bytes);
}

TEST(UUIDGeneratorDeathTest, NodeFileGivesTheNode) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  zyrtest::SharedScratchDir dir("ZYRTEST_UUID_DIR");
  zyrtest::writeFile(dir.file("nodeid"), "ABCDEFGH");
  EXPECT_EXIT(
      {
        inDirectory(dir.path());
        zyrUUID *uuid = zyrUUID_new();
        zyrtest::leaveChild(std::memcmp(uuid->m_node, "ABCDEF", 6) == 0 ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

TEST(UUIDGeneratorDeathTest, RandomNodeHasTopBitAndClockSequencesVary) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  zyrtest::SharedScratchDir dir("ZYRTEST_UUID_DIR");
  zyrtest::writeFile(dir.file("nodeid"), "ABC"); // too short to be a node
  EXPECT_EXIT(
      {
        inDirectory(dir.path());
        zyrUUID_seedRandom(42); // the draws are the same in every run
        zyrUUID *first = zyrUUID_new();
        bool sameNode = true;
        bool varied = false;
        for (int i = 0; i < 50; ++i) {
          zyrUUID *next = zyrUUID_new();
          sameNode = sameNode && std::memcmp(next->m_node, first->m_node, 6) == 0;
          varied = varied || clockSequenceOf(next) != clockSequenceOf(first);
        }
        zyrtest::leaveChild((first->m_node[0] & 0x80) && sameNode && varied ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

TEST(UUIDGeneratorDeathTest, StateFileOfTheSameNodeKeepsItsClockSequence) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  zyrtest::SharedScratchDir dir("ZYRTEST_UUID_DIR");
  const uint8_t node[6] = {'n', 'o', 'd', 'e', '4', '2'};
  zyrtest::writeFile(dir.file("nodeid"), "node42");
  writeState(dir.file("state"), 1000, node, 0x1234);
  EXPECT_EXIT(
      {
        inDirectory(dir.path());
        zyrUUID *a = zyrUUID_new();
        zyrUUID *b = zyrUUID_new();
        const bool ok = clockSequenceOf(a) == 0x1234 && clockSequenceOf(b) == 0x1234 &&
                        a->m_clockSeqHighAndReserved == 0x92 && timestampOf(b) > timestampOf(a);
        zyrtest::leaveChild(ok ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

TEST(UUIDGeneratorDeathTest, StateFromTheFutureAdvancesTheClockSequenceOnce) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  zyrtest::SharedScratchDir dir("ZYRTEST_UUID_DIR");
  const uint8_t node[6] = {'n', 'o', 'd', 'e', '4', '2'};
  zyrtest::writeFile(dir.file("nodeid"), "node42");
  writeState(dir.file("state"), UINT64_C(0x0FFFFFFFFFFFFFFF), node, 0x3FFF);
  EXPECT_EXIT(
      {
        inDirectory(dir.path());
        zyrUUID *a = zyrUUID_new();
        zyrUUID *b = zyrUUID_new();
        zyrtest::leaveChild(clockSequenceOf(a) == 0 && clockSequenceOf(b) == 0 ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

// A state that is cut short or was left by another node is no state: the first identifier draws
// its clock sequence just as it does where there is none. The draws are made repeatable by a fixed
// seed, so that the comparison never depends on a random value missing the stored one.
TEST(UUIDGeneratorDeathTest, ShortOrForeignStateIsIgnored) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const uint8_t other[6] = {1, 2, 3, 4, 5, 6};
  zyrtest::SharedScratchDir none("ZYRTEST_UUID_DIR");
  zyrtest::writeFile(none.file("nodeid"), "node42");
  zyrtest::SharedScratchDir foreign("ZYRTEST_UUID_FOREIGN_DIR");
  zyrtest::writeFile(foreign.file("nodeid"), "node42");
  writeState(foreign.file("state"), 1000, other, 0x1234);
  zyrtest::SharedScratchDir shortDir("ZYRTEST_UUID_SHORT_DIR");
  zyrtest::writeFile(shortDir.file("nodeid"), "node42");
  zyrtest::writeFile(shortDir.file("state"), "0123456789");
  for (const zyrtest::SharedScratchDir *d : {&none, &foreign, &shortDir}) {
    EXPECT_EXIT(
        {
          inDirectory(d->path());
          zyrUUID_seedRandom(42);
          zyrUUID *u = zyrUUID_new();
          zyrtest::writeFile("drawn", std::to_string(clockSequenceOf(u)));
          zyrtest::leaveChild(0);
        },
        testing::ExitedWithCode(0), "");
  }
  const std::string drawn = zyrtest::readFile(none.file("drawn"));
  ASSERT_NE(drawn, "");
  ASSERT_NE(drawn, std::to_string(0x1234)); // the seed keeps the draw apart from the stored sequence
  EXPECT_EQ(zyrtest::readFile(foreign.file("drawn")), drawn);
  EXPECT_EQ(zyrtest::readFile(shortDir.file("drawn")), drawn);
}

} // namespace

namespace {

// The first identifiers a child process makes after zyrUUID_makeRepeatable(seed), written to a
// file `name` of the scratch directory it works in, which holds a node and a state of its own.
void makeRepeatably(const zyrtest::SharedScratchDir &dir, const char *name, uint64_t seed) {
  EXPECT_EXIT(
      {
        inDirectory(dir.path());
        // Identifiers made before do not change those made after.
        zyrUUID_delete(zyrUUID_new());
        zyrUUID_makeRepeatable(seed);
        std::string made;
        for (int i = 0; i < 20; ++i) {
          zyrUUID *uuid = zyrUUID_new();
          made += text(uuid) + "\n";
          zyrUUID_delete(uuid);
        }
        zyrtest::writeFile(name, made);
        zyrtest::leaveChild(0);
      },
      testing::ExitedWithCode(0), "");
}

} // namespace

// Tests and fuzz targets make the same files in every process: a seeded generator gives the same
// identifiers in every process and on every machine, whatever the clock, the node file or the
// state file say, and identifiers that stay distinct.
TEST(UUIDGeneratorDeathTest, RepeatableIdentifiersAreTheSameInEveryProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  zyrtest::SharedScratchDir bare("ZYRTEST_UUID_DIR");
  zyrtest::SharedScratchDir stated("ZYRTEST_UUID_FOREIGN_DIR");
  const uint8_t node[6] = {'n', 'o', 'd', 'e', '4', '2'};
  zyrtest::writeFile(stated.file("nodeid"), "node42");
  writeState(stated.file("state"), 1000, node, 0x1234);
  makeRepeatably(bare, "first", 7);
  makeRepeatably(stated, "second", 7);
  makeRepeatably(bare, "other", 8);
  const std::string first = zyrtest::readFile(bare.file("first"));
  ASSERT_EQ(first.size(), 20u * 37u);
  EXPECT_EQ(zyrtest::readFile(stated.file("second")), first);
  std::vector<std::string> lines;
  for (size_t at = 0; at < first.size(); at += 37) lines.push_back(first.substr(at, 36));
  std::sort(lines.begin(), lines.end());
  EXPECT_EQ(std::unique(lines.begin(), lines.end()), lines.end());
  // Another seed, another node: its identifiers never meet the first seed's.
  const std::string other = zyrtest::readFile(bare.file("other"));
  ASSERT_EQ(other.size(), first.size());
  EXPECT_NE(other.substr(24, 12), first.substr(24, 12));
}
