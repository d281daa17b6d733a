// The open proves frames from bytes read ahead into memory, on several threads, and asks the
// stream only about the rest: both readings must take every frame the same way, whole or damaged,
// and the open must leave out and report the same entries whatever the number of threads. Also
// the readings of numbers and the order built in one sort that the open's speed rests on.
#include "dataset_test_util.h"
#include "io_file.h"
#include "io_frame.h"
#include "io_header.h"
#include "io_index.h"
#include "io_order.h"
#include "io_pipeline.h"
#include "io_source.h"
#include "lowlevel_io.h"
#include "wezio_test_util.h"
#include "zyrTestChild.h"
#include "zyrTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <pthread.h>
#include <random>

using namespace wezio_test;

namespace {

// A file of data sets of every kind of format, some with attributes.
class FrameSourceTest : public DataFileTest {
protected:
  // whatOrder: the stored index lists the entries in what order, not in the order of the file.
  void write(const std::vector<const char *> &formats, int count, bool whatOrder = false) {
    IO_file w;
    ASSERT_EQ(openRecord(&w, "w"), IO_OK) << allMessages();
    for (int i = 0; i < count; ++i) {
      Header h("value" + std::to_string(i % 3), "object" + std::to_string(i), i % 4, "INTR", 1);
      *h->m_numattrb = i % 3;
      for (int a = 0; a < *h->m_numattrb; ++a) snprintf(h->m_attributes[a], IO_STRING_LEN, "attribute %d", a);
      Data d;
      d.intr({i});
      ASSERT_EQ(writeOne(&w, formats[static_cast<size_t>(i) % formats.size()], h.get(), d.get()), IO_OK)
          << allMessages();
    }
    if (whatOrder) indextable_sort(w.m_indextable);
    m_entries = entries(&w);
    iif_close(&w);
    m_good = readFile(m_name);
  }

  // The file written last with `count` bytes changed in frames chosen by the seed (a length, a name,
  // a record name, a line of a text frame), written over it.
  std::string damageFrames(int count, unsigned seed) {
    std::string bytes = m_good;
    std::mt19937 random(seed);
    for (int i = 0; i < count; ++i) {
      const Entry &e = m_entries[random() % m_entries.size()];
      bytes[static_cast<size_t>(e.m_position) + 5 + random() % 60] ^= static_cast<char>(1 + random() % 8);
    }
    writeFile(m_name, bytes);
    return bytes;
  }

  // What the stored index says of the entry, as the check looks it up.
  static IO_match matchOf(const Entry &e) {
    IO_match entry = {};
    snprintf(entry.m_what, sizeof entry.m_what, "%s", e.m_what.c_str());
    snprintf(entry.m_where, sizeof entry.m_where, "%s", e.m_where.c_str());
    entry.m_when = e.m_when;
    entry.m_length = e.m_length;
    entry.m_position = e.m_position;
    return entry;
  }

  // Reads the frames of the entries from `first` on that begin before `last` from the bytes both
  // ways, through a stream over them and in memory, and expects the same.
  void expectSameReadings(std::string bytes, const std::string &what, int64_t first = 0, int64_t last = INT64_MAX) {
    IO_file r;
    iif_clear_record(&r);
    r.m_stream = fmemopen(bytes.data(), bytes.size(), "r");
    ASSERT_NE(r.m_stream, nullptr);
    r.m_offsetwidth = 20;
    const int64_t size = static_cast<int64_t>(bytes.size());
    IO_header *streamHeader = ioheader_alloc(nullptr), *bytesHeader = ioheader_alloc(nullptr);
    for (const Entry &e : m_entries) {
      if (e.m_position + e.m_length + 60 < first || e.m_position > last) continue;
      const IO_match entry = matchOf(e);
      IO_frame fromStream, fromBytes;
      const int streamStatus = ioframe_read(&r, size, e.m_position, &entry, streamHeader, &fromStream);
      // The whole file in memory, then the file's start only up to a cut: a reading that runs
      // past bytes that do not reach the file's end proves nothing.
      for (const int64_t cut : {size, e.m_position + 40, e.m_position + 200}) {
        IO_bytes_source source;
        source.m_bytes = bytes.data();
        source.m_size = std::min(cut, size);
        source.m_whole = source.m_size == size;
        const int bytesStatus = ioframe_read_bytes(source, 20, size, e.m_position, &entry, bytesHeader, &fromBytes);
        SCOPED_TRACE(what + ", entry " + e.m_what + ":" + e.m_where + ", bytes up to " + std::to_string(cut));
        if (!source.m_whole && (source.m_beyond || bytesStatus != IO_OK)) continue;
        ASSERT_EQ(bytesStatus == IO_OK, streamStatus == IO_OK);
        ASSERT_EQ(memcmp(&fromBytes, &fromStream, sizeof fromBytes), 0);
        if (streamStatus != IO_OK) continue;
        EXPECT_STREQ(bytesHeader->m_what, streamHeader->m_what);
        EXPECT_STREQ(bytesHeader->m_where, streamHeader->m_where);
        EXPECT_EQ(*bytesHeader->m_numattrb, *streamHeader->m_numattrb);
        EXPECT_STREQ(bytesHeader->m_datatype, streamHeader->m_datatype);
        EXPECT_EQ(*bytesHeader->m_number, *streamHeader->m_number);
        EXPECT_EQ(*bytesHeader->m_blockfactor, *streamHeader->m_blockfactor);
      }
    }
    ioheader_free(nullptr, streamHeader);
    ioheader_free(nullptr, bytesHeader);
    io_forget_stream(r.m_stream);
    fclose(r.m_stream);
  }

  std::vector<Entry> m_entries;
  std::string m_good;
};

TEST_F(FrameSourceTest, BytesInMemoryAndTheStreamTakeEveryDamagedFrameAlike) {
  write({"F", "U5", "u", "l", "L0"}, 10);
  expectSameReadings(m_good, "the file as written");
  // Every byte of the frames changed to values that matter to their grammar: digits, blanks,
  // line feeds, NULs, the separator, and letters of the record names.
  const size_t end = static_cast<size_t>(m_entries.back().m_position + m_entries.back().m_length + 60);
  for (size_t at = 27; at < std::min(end, m_good.size()); ++at)
    for (const char value : {'\0', ' ', '\n', '0', '-', 'A', char(27)}) {
      if (m_good[at] == value) continue;
      std::string bytes = m_good;
      bytes[at] = value;
      expectSameReadings(bytes, "byte " + std::to_string(at) + " made " + std::to_string(int(value)),
                         static_cast<int64_t>(at), static_cast<int64_t>(at));
      if (HasFatalFailure()) return;
    }
}

TEST_F(FrameSourceTest, TheOpenLeavesOutTheSameEntriesWhateverItsThreads) {
  write({"U5", "F"}, 3000);
  // Damage spread over the file.
  const std::string bytes = damageFrames(40, 3);
  std::string said[3];
  std::vector<Entry> tables[3];
  int64_t skipped[3];
  const int threads[3] = {1, 2, 5};
  for (int t = 0; t < 3; ++t) {
    io_set_pipeline_threads(threads[t]);
    messages().clear();
    IO_file r;
    EXPECT_EQ(openRecord(&r, "r"), IO_OK) << allMessages();
    said[t] = allMessages();
    tables[t] = entries(&r);
    skipped[t] = r.m_skippedbytes;
    iif_close(&r);
  }
  io_set_pipeline_threads(0);
  EXPECT_NE(said[0], "");
  for (int t = 1; t < 3; ++t) {
    EXPECT_EQ(said[t], said[0]);
    EXPECT_EQ(skipped[t], skipped[0]);
    ASSERT_EQ(tables[t].size(), tables[0].size());
    for (size_t k = 0; k < tables[0].size(); ++k) EXPECT_EQ(tables[t][k].m_status, tables[0][k].m_status) << k;
  }
  EXPECT_EQ(readFile(m_name), bytes);
}

// Windows of a few frames each, so that the entries the open leaves out lie in many of them and
// are looked up in a table whose slots are not in file order: the open leaves out exactly what a
// reading of the frames one by one on the stream does not take, under any number of threads.
TEST_F(FrameSourceTest, SmallWindowsLeaveOutWhatTheStreamDoesNotTake) {
  write({"U5", "F", "u", "l"}, 120, true);
  std::string bytes = damageFrames(12, 7);
  // The stream's verdict on every entry, by position.
  std::map<int64_t, bool> holds;
  int64_t firstLeftOut = INT64_MAX;
  {
    IO_file r;
    iif_clear_record(&r);
    r.m_stream = fmemopen(bytes.data(), bytes.size(), "r");
    ASSERT_NE(r.m_stream, nullptr);
    r.m_offsetwidth = 20;
    IO_header *header = ioheader_alloc(nullptr);
    for (const Entry &e : m_entries) {
      const IO_match entry = matchOf(e);
      IO_frame frame;
      holds[e.m_position] =
          ioframe_read(&r, static_cast<int64_t>(bytes.size()), e.m_position, &entry, header, &frame) == IO_OK;
      if (!holds[e.m_position]) firstLeftOut = std::min(firstLeftOut, e.m_position);
    }
    ioheader_free(nullptr, header);
    io_forget_stream(r.m_stream);
    fclose(r.m_stream);
  }
  const int64_t leftOut = std::count_if(holds.begin(), holds.end(), [](const auto &h) { return !h.second; });
  ASSERT_GT(leftOut, 3);
  ASSERT_LT(leftOut, static_cast<int64_t>(holds.size()));
  ASSERT_FALSE(std::is_sorted(m_entries.begin(), m_entries.end(),
                              [](const Entry &a, const Entry &b) { return a.m_position < b.m_position; }));
  for (const int64_t window : {64, 300, 1500})
    for (const int threads : {1, 2, 8}) {
      SCOPED_TRACE("windows of " + std::to_string(window) + " bytes, " + std::to_string(threads) + " threads");
      ioframe_set_window(window);
      io_set_pipeline_threads(threads);
      IO_file r;
      const int status = openRecord(&r, "r");
      ioframe_set_window(0);
      io_set_pipeline_threads(0);
      ASSERT_EQ(status, IO_OK) << allMessages();
      for (const Entry &e : entries(&r)) EXPECT_EQ(e.m_status == "Y", holds.at(e.m_position)) << e.m_position;
      EXPECT_EQ(r.m_skippedcount, leftOut);
      EXPECT_EQ(r.m_skippedfrom, firstLeftOut);
      iif_close(&r);
      if (HasFailure()) return;
    }
}

TEST(NumberReadingTest, TheIntegerReaderIsTheCLibrarysInTheCLocale) {
  const char *texts[] = {"0", "42", "-42", "+7", "  \t\n\v\f\r12x", "007", "", "-", "+", " - 1", "12 34",
                         "9223372036854775807", "9223372036854775808", "-9223372036854775808",
                         "-9223372036854775809", "99999999999999999999999", "-99999999999999999999999",
                         "2147483648", "-2147483649", "1e5", "0x10", "\x1b" "5", "5\x1b" "6"};
  for (const char *text : texts) EXPECT_EQ(io_parse_integer(text), strtoll(text, nullptr, 10)) << text;
  std::mt19937_64 random(5);
  for (int i = 0; i < 20000; ++i) {
    char text[32];
    snprintf(text, sizeof text, "%s%llu", i % 2 ? "-" : "", static_cast<unsigned long long>(random() >> (i % 64)));
    EXPECT_EQ(io_parse_integer(text), strtoll(text, nullptr, 10)) << text;
  }
}

// The keys of IO_order tests: entries of an index, their what keys sharing long starts.
struct KeyedEntries {
  std::vector<std::string> m_keys;
  static const char *keyOf(const void *owner, int32_t entry) {
    return static_cast<const KeyedEntries *>(owner)->m_keys[static_cast<size_t>(entry)].c_str();
  }
  std::vector<int32_t> walk(const IO_order &order) const {
    std::vector<int32_t> slots;
    for (int32_t r = 0; r < order.m_total; ++r) slots.push_back(ioorder_at(&order, r));
    return slots;
  }
};

TEST(OrderBuildTest, OneSortGivesTheOrderOfInsertionsOneByOne) {
  KeyedEntries keyed;
  std::mt19937 random(11);
  for (int i = 0; i < 9000; ++i) {
    // Few distinct starts, equal keys, prefixes of one another, and bytes above 127.
    std::string key = "attr" + std::to_string(random() % 4) + "\x1b" + "obj" + std::string(random() % 3, '0');
    key += std::to_string(random() % 400);
    if (random() % 5 == 0) key += "\xe9";
    if (random() % 7 == 0) key.resize(random() % key.size());
    // Long keys that agree beyond what the sort holds of each, and end at every place around it.
    if (random() % 3 == 0) key = std::string(24 + random() % 24, 'k') + key;
    keyed.m_keys.push_back(key);
  }
  IO_order inserted, built;
  ioorder_init(&inserted, KeyedEntries::keyOf, &keyed);
  ioorder_init(&built, KeyedEntries::keyOf, &keyed);
  for (int32_t i = 0; i < 6000; ++i) ASSERT_EQ(ioorder_insert(&inserted, i), IO_OK);
  ASSERT_EQ(ioorder_build(&built, 6000), IO_OK);
  EXPECT_EQ(keyed.walk(built), keyed.walk(inserted));
  // Entries added to the built order take their places as in the other.
  for (int32_t i = 6000; i < 9000; ++i) {
    ASSERT_EQ(ioorder_insert(&inserted, i), IO_OK);
    ASSERT_EQ(ioorder_insert(&built, i), IO_OK);
  }
  EXPECT_EQ(keyed.walk(built), keyed.walk(inserted));
  for (const char *prefix : {"attr1\x1bobj00", "attr3", "attr2\x1bobj1"}) {
    const size_t n = strlen(prefix);
    EXPECT_EQ(ioorder_bound(&built, prefix, n, 0), ioorder_bound(&inserted, prefix, n, 0)) << prefix;
    EXPECT_EQ(ioorder_bound(&built, prefix, n, 1), ioorder_bound(&inserted, prefix, n, 1)) << prefix;
  }
  ioorder_free(&inserted);
  ioorder_free(&built);
}

// McIlroy's arrangement of 4,000 ranks against the median of three, made once.
const std::vector<int32_t> &killerRanks(int64_t *modelled) {
  static int64_t comparisons = 0;
  static const std::vector<int32_t> ranks = zyrtest::quicksortKiller(4000, &comparisons);
  *modelled = comparisons;
  return ranks;
}

// Index keys whose eight bytes after `start` are the ranks (divided by `divisor`, so that equal
// keys come in runs), `end` after them.
KeyedEntries rankKeys(const std::vector<int32_t> &ranks, const std::string &start, int32_t divisor,
                      const std::string &end) {
  KeyedEntries keyed;
  for (const int32_t rank : ranks) {
    char digits[16];
    snprintf(digits, sizeof digits, "%08d", rank / divisor);
    keyed.m_keys.push_back(start + digits + end);
  }
  return keyed;
}

// The arrangement made the sort of 4,000 keys take some 4 million steps, the stack one frame for
// every four keys or so: bad splits are now bounded, and what remains is sorted by whole
// comparisons in the same order, wherever in the keys the arrangement lies.
TEST(OrderBuildTest, KeysArrangedAgainstTheMedianOfThreeTakeFewStepsAndKeepTheirOrder) {
  int64_t modelled = 0;
  const std::vector<int32_t> &ranks = killerRanks(&modelled);
  const size_t n = ranks.size();
  EXPECT_GT(modelled, static_cast<int64_t>(n * n / 5)); // quadratic for a quicksort without a bound
  const double bound = 6 * static_cast<double>(n) * std::log2(static_cast<double>(n));
  struct Shape {
    const char *m_what;
    std::string m_start;
    int32_t m_divisor;
    std::string m_end;
  };
  const Shape shapes[] = {
      {"in the first eight bytes", "", 1, ""},
      {"after eight equal bytes, as in a stored index", "attr\x1bobj", 1, "\x1b" "0\x1b" "96\x1b" "1234"},
      {"beyond the bytes held beside each entry", std::string(40, 'k'), 1, "\xe9"},
      {"with every key twice", "attr\x1bobj", 2, ""},
      {"with every key twice, beyond the bytes held", std::string(40, 'k'), 2, "z"},
  };
  for (const Shape &shape : shapes) {
    SCOPED_TRACE(shape.m_what);
    KeyedEntries keyed = rankKeys(ranks, shape.m_start, shape.m_divisor, shape.m_end);
    IO_order inserted, built;
    ioorder_init(&inserted, KeyedEntries::keyOf, &keyed);
    ioorder_init(&built, KeyedEntries::keyOf, &keyed);
    ASSERT_EQ(ioorder_build(&built, static_cast<int32_t>(n)), IO_OK);
    EXPECT_LE(static_cast<double>(ioorder_sort_steps()), bound);
    for (int32_t i = 0; i < static_cast<int32_t>(n); ++i) ASSERT_EQ(ioorder_insert(&inserted, i), IO_OK);
    EXPECT_EQ(keyed.walk(built), keyed.walk(inserted));
    ioorder_free(&inserted);
    ioorder_free(&built);
  }
  // The same keys in no hostile order stay far within the bound.
  std::vector<int32_t> shuffled = ranks;
  std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(2));
  KeyedEntries keyed = rankKeys(shuffled, "attr\x1bobj", 1, "");
  IO_order built;
  ioorder_init(&built, KeyedEntries::keyOf, &keyed);
  ASSERT_EQ(ioorder_build(&built, static_cast<int32_t>(n)), IO_OK);
  EXPECT_LE(static_cast<double>(ioorder_sort_steps()), bound / 2);
  ioorder_free(&built);
}

// The sort's stack stays small whatever the order of the keys: a thread of 64 KiB builds the
// order of the arrangement, in a child process, which a stack overflow would end.
TEST(OrderBuildTest, KeysArrangedAgainstTheMedianOfThreeNeedLittleStack) {
  int64_t modelled = 0;
  KeyedEntries keyed = rankKeys(killerRanks(&modelled), "attr\x1bobj", 1, "");
  struct Build {
    KeyedEntries *m_keyed;
    int m_status;
    static void *run(void *self) {
      Build *build = static_cast<Build *>(self);
      IO_order order;
      ioorder_init(&order, KeyedEntries::keyOf, build->m_keyed);
      build->m_status = ioorder_build(&order, static_cast<int32_t>(build->m_keyed->m_keys.size()));
      ioorder_free(&order);
      return nullptr;
    }
  };
  const std::string said = zyrtest::inChild([&keyed] {
    Build build = {&keyed, -1};
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, 64 * 1024);
    pthread_t thread;
    const bool started = pthread_create(&thread, &attributes, Build::run, &build) == 0;
    pthread_attr_destroy(&attributes);
    if (!started) return std::string("no thread\n");
    pthread_join(thread, nullptr);
    return build.m_status == IO_OK ? std::string() : "status " + std::to_string(build.m_status) + "\n";
  });
  EXPECT_EQ(said, "");
}

} // namespace
