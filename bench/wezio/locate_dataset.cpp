// Locating data sets through locate_dataset among 1,000 and among 100,000 index entries, both
// measured in the same run. "growth" is the cost of one look-up among 100,000 over its cost among
// 1,000; "log_growth" is log(100,000) / log(1,000) = 1.67, what a cost growing with the logarithm
// gives (a linear one would give 100). "map_growth" is the same for std::map look-ups of the same
// keys in the same run: a balanced tree grows with the logarithm too, and shows what the larger
// table's cache misses add on this machine. "ratio_to_map_N" is one of our look-ups' cost over
// one std::map look-up's (of the exact key) among N: ours over the baseline, the same keys found
// (in mode 3 each after a new key of the same kind entered in the map).
//
// Modes: 0 an exact what, where and when; 1 any when of a what and where (five matches, sorted
// by when); 2 a what pattern with an exact where (searched in where order); 3 an exact look-up
// right after each new entry (the table must not be sorted again). In mode 3 the tables grow with
// every look-up: each batch of look-ups starts from a fresh table of its size and adds 1 % to it,
// so that both sizes stay what they say.
#include "get_ds_location.h"
#include "io_file.h"
#include "io_header.h"
#include "io_index.h"
#include "iodata.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
const char kEsc = 27;

// Object-like keys: a few attributes per object, five states each.
std::string what(int i) { return "attr" + std::to_string(i % 7); }
std::string where(int i) {
  char text[32];
  snprintf(text, sizeof text, "obj%018d", i / 35);
  return text;
}
int when(int i) { return (i / 7) % 5; }

std::string entry(int i) {
  const std::string e(1, kEsc);
  return "Y" + e + what(i) + e + where(i) + e + std::to_string(when(i)) + e + "100" + e +
         std::to_string(36 + 100 * static_cast<int64_t>(i));
}

struct Table {
  IO_file m_file;
  int m_size;
  explicit Table(int n) : m_size(n) {
    iif_clear_record(&m_file);
    m_file.m_access = 'r';
    for (int i = 0; i < n; ++i) insert_index(nullptr, &m_file, entry(i).c_str());
  }
  ~Table() { indextable_free(m_file.m_indextable); }
};

struct Query {
  IO_header *m_header = ioheader_alloc(nullptr);
  IO_data *m_data = iodata_alloc(nullptr);
  Query() {
    *m_data->m_numoffset = 2 * 64;
    *m_data->m_numstring = 2 * 64;
    *m_data->m_numintr = 64;
    iodata_alloc_arrays(nullptr, m_data);
  }
  ~Query() {
    iodata_free(nullptr, m_data);
    ioheader_free(nullptr, m_header);
  }
  void set(const std::string &w, const std::string &p, int t) {
    snprintf(m_header->m_what, IO_NAME_LEN, "%s", w.c_str());
    snprintf(m_header->m_where, IO_NAME_LEN, "%s", p.c_str());
    *m_header->m_when = t;
  }
  // Arrays back to their full room: a look-up sets the counts to what it returned.
  int locate(IO_file *file) {
    *m_data->m_numoffset = 2 * 64;
    *m_data->m_numstring = 2 * 64;
    *m_data->m_numintr = 64;
    return locate_dataset(nullptr, m_header, m_data, file);
  }
};

// Seconds per look-up of `count` look-ups in the mode.
double timeLookups(Table *table, int mode, int count, std::mt19937 &random, int *next) {
  Query query;
  auto start = Clock::now();
  for (int k = 0; k < count; ++k) {
    int i = static_cast<int>(random() % static_cast<unsigned>(table->m_size));
    switch (mode) {
    case 0: query.set(what(i), where(i), when(i)); break;
    case 1: query.set(what(i), where(i), -1); break;
    case 2: query.set("attr[0-3]", where(i), when(i)); break;
    default: {
      // A new data set of an existing object, then a look-up of any data set.
      int fresh = (*next)++;
      const std::string e(1, kEsc);
      std::string text = "Y" + e + "late" + e + where(i) + e + std::to_string(fresh) + e + "100" +
                         e + std::to_string(36 + 100 * static_cast<int64_t>(fresh));
      insert_index(nullptr, &table->m_file, text.c_str());
      query.set(what(i), where(i), when(i));
    }
    }
    if (query.locate(&table->m_file) != IO_OK) abort();
  }
  return std::chrono::duration<double>(Clock::now() - start).count() / count;
}

// Seconds per look-up of `count` look-ups of mode 3 among `size` entries, in batches of 1 % of
// the size, each on a fresh table (made, and its first look-up made, outside the timing).
double timeAfterNewEntries(int size, int count, std::mt19937 &random) {
  const int batch = size / 100 > 0 ? size / 100 : 1;
  double total = 0;
  for (int done = 0; done < count; done += batch) {
    Table table(size);
    int next = 1000000;
    timeLookups(&table, 3, 1, random, &next);
    total += timeLookups(&table, 3, batch, random, &next) * batch;
  }
  return total / count;
}

// Seconds per look-up of `count` std::map look-ups of the exact keys of a table of `size`; with
// `insert`, each after a new key of the kind mode 3 adds (the map changed as the table is).
double timeMap(std::map<std::string, int> &map, int size, int count, std::mt19937 &random, bool insert = false) {
  const std::string e(1, kEsc);
  int64_t found = 0;
  int fresh = 1000000;
  auto start = Clock::now();
  for (int k = 0; k < count; ++k) {
    int i = static_cast<int>(random() % static_cast<unsigned>(size));
    if (insert) {
      map.emplace("late" + e + where(i) + e + std::to_string(fresh) + e, fresh);
      ++fresh;
    }
    found += map.count(what(i) + e + where(i) + e + std::to_string(when(i)) + e);
  }
  benchmark::DoNotOptimize(found);
  return std::chrono::duration<double>(Clock::now() - start).count() / count;
}

// timeMap with insertions, in the batches of timeAfterNewEntries, each on a fresh copy of the map.
double timeMapAfterNewEntries(const std::map<std::string, int> &map, int size, int count, std::mt19937 &random) {
  const int batch = size / 100 > 0 ? size / 100 : 1;
  double total = 0;
  for (int done = 0; done < count; done += batch) {
    std::map<std::string, int> copy = map;
    total += timeMap(copy, size, batch, random, true) * batch;
  }
  return total / count;
}

std::map<std::string, int> mapOf(int n) {
  const std::string e(1, kEsc);
  std::map<std::string, int> map;
  for (int i = 0; i < n; ++i) map[what(i) + e + where(i) + e + std::to_string(when(i)) + e] = i;
  return map;
}

void BM_LocateSmallAgainstLarge(benchmark::State &state) {
  const int mode = static_cast<int>(state.range(0));
  Table small(1000), large(100000);
  std::map<std::string, int> smallMap = mapOf(1000), largeMap = mapOf(100000);
  std::mt19937 random(static_cast<unsigned>(mode + 1));
  int nextSmall = 1000000, nextLarge = 1000000;
  // A first look-up of each kind builds what it builds once (the where order) outside the timing.
  timeLookups(&small, mode, 1, random, &nextSmall);
  timeLookups(&large, mode, 1, random, &nextLarge);
  double smallTime = 0, largeTime = 0, smallMapTime = 0, largeMapTime = 0;
  int rounds = 0;
  for (auto _ : state) {
    // Alternate, so that both sizes see the same machine load.
    if (mode == 3) {
      smallTime += timeAfterNewEntries(1000, 2000, random);
      largeTime += timeAfterNewEntries(100000, 2000, random);
    } else {
      smallTime += timeLookups(&small, mode, 2000, random, &nextSmall);
      largeTime += timeLookups(&large, mode, 2000, random, &nextLarge);
    }
    if (mode == 3) {
      smallMapTime += timeMapAfterNewEntries(smallMap, 1000, 2000, random);
      largeMapTime += timeMapAfterNewEntries(largeMap, 100000, 2000, random);
    } else {
      smallMapTime += timeMap(smallMap, 1000, 2000, random);
      largeMapTime += timeMap(largeMap, 100000, 2000, random);
    }
    ++rounds;
  }
  state.counters["map_growth"] = smallMapTime > 0 ? largeMapTime / smallMapTime : 0;
  state.counters["ns_per_lookup_1000"] = rounds ? 1e9 * smallTime / rounds : 0;
  state.counters["ns_per_lookup_100000"] = rounds ? 1e9 * largeTime / rounds : 0;
  state.counters["growth"] = smallTime > 0 ? largeTime / smallTime : 0;
  state.counters["log_growth"] = std::log(100000.0) / std::log(1000.0);
  // One look-up against one std::map look-up of the same keys, at each size.
  state.counters["ratio_to_map_1000"] = smallMapTime > 0 ? smallTime / smallMapTime : 0;
  state.counters["ratio_to_map_100000"] = largeMapTime > 0 ? largeTime / largeMapTime : 0;
  const char *labels[] = {"exact", "any when", "what pattern", "after each new entry"};
  state.SetLabel(labels[mode]);
}
BENCHMARK(BM_LocateSmallAgainstLarge)->DenseRange(0, 3)->MinTime(0.3);

} // namespace

BENCHMARK_MAIN();
