// HashTable against std::unordered_map doing the same work in the same run: insert every key,
// find every key, remove every key. Reported: each side's seconds per phase and the ratio
// HashTable / unordered_map (below 1 means HashTable is faster).
//   1 million string keys ("Region 123456" style), default string hash and compare;
//   5 million integer keys, HashTable_hashInteger and HashTable_compareIntegers.
#include "HashTable.h"
#include "zyrBenchSupport.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace {

using zyrbench::Clock;
using zyrbench::mix;
using zyrbench::seconds;

struct Phases {
  double insert = 0, find = 0, remove = 0;
  double total() const { return insert + find + remove; }
};

void report(benchmark::State &state, const Phases &table, const Phases &map) {
  state.counters["table_s"] = table.total();
  state.counters["map_s"] = map.total();
  state.counters["ratio"] = table.total() / map.total();
  state.counters["ratio_insert"] = table.insert / map.insert;
  state.counters["ratio_find"] = table.find / map.find;
  state.counters["ratio_remove"] = table.remove / map.remove;
  char label[96];
  std::snprintf(label, sizeof label, "HashTable/unordered_map = %.2f", table.total() / map.total());
  state.SetLabel(label);
}

// Keys laid out one after another, as names read from a file would be.
struct StringKeys {
  std::vector<char> text;
  std::vector<const char *> keys;
  explicit StringKeys(int n) {
    text.resize(static_cast<size_t>(n) * 16);
    keys.reserve(static_cast<size_t>(n));
    char *at = text.data();
    for (int i = 0; i < n; ++i) {
      // Distinct numbers in scrambled order: "Region 0" ... up to seven digits.
      uint64_t number = (static_cast<uint64_t>(i) * 7919u) % static_cast<uint64_t>(n);
      int length = std::snprintf(at, 16, "Region %06llu", static_cast<unsigned long long>(number));
      keys.push_back(at);
      at += length + 1;
    }
  }
};

void BM_StringKeys(benchmark::State &state) {
  const int n = static_cast<int>(state.range(0));
  StringKeys k(n);
  for (auto _ : state) {
    Phases table, map;
    {
      auto t0 = Clock::now();
      HashTable *t = HashTable_new(0, nullptr, nullptr);
      for (int i = 0; i < n; ++i)
        HashTable_insert(t, k.keys[i], const_cast<char *>(k.keys[i]));
      auto t1 = Clock::now();
      uintptr_t found = 0;
      for (int i = 0; i < n; ++i)
        found += reinterpret_cast<uintptr_t>(HashTable_find(t, k.keys[i])) != 0;
      auto t2 = Clock::now();
      for (int i = 0; i < n; ++i)
        found += static_cast<uintptr_t>(HashTable_remove(t, k.keys[i]));
      HashTable_delete(t);
      auto t3 = Clock::now();
      if (found != 2 * static_cast<uintptr_t>(n))
        state.SkipWithError("HashTable lost keys");
      table = {seconds(t0, t1), seconds(t1, t2), seconds(t2, t3)};
    }
    {
      auto t0 = Clock::now();
      auto *m = new std::unordered_map<std::string_view, void *>();
      for (int i = 0; i < n; ++i)
        m->emplace(std::string_view(k.keys[i]), const_cast<char *>(k.keys[i]));
      auto t1 = Clock::now();
      uintptr_t found = 0;
      for (int i = 0; i < n; ++i) {
        auto it = m->find(std::string_view(k.keys[i]));
        found += it != m->end() && it->second != nullptr;
      }
      auto t2 = Clock::now();
      for (int i = 0; i < n; ++i)
        found += m->erase(std::string_view(k.keys[i]));
      delete m;
      auto t3 = Clock::now();
      if (found != 2 * static_cast<uintptr_t>(n))
        state.SkipWithError("unordered_map lost keys");
      map = {seconds(t0, t1), seconds(t1, t2), seconds(t2, t3)};
    }
    state.SetIterationTime(table.total());
    report(state, table, map);
  }
}

void BM_IntegerKeys(benchmark::State &state) {
  const int n = static_cast<int>(state.range(0));
  std::vector<uintptr_t> keys(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i)
    keys[static_cast<size_t>(i)] = static_cast<uintptr_t>(mix(static_cast<uint64_t>(i)));
  for (auto _ : state) {
    Phases table, map;
    {
      auto t0 = Clock::now();
      HashTable *t = HashTable_new(0, HashTable_hashInteger, HashTable_compareIntegers);
      for (int i = 0; i < n; ++i)
        HashTable_insert(t, reinterpret_cast<void *>(keys[i]), reinterpret_cast<void *>(keys[i]));
      auto t1 = Clock::now();
      uintptr_t found = 0;
      for (int i = 0; i < n; ++i)
        found += HashTable_find(t, reinterpret_cast<void *>(keys[i])) != nullptr;
      auto t2 = Clock::now();
      for (int i = 0; i < n; ++i)
        found += static_cast<uintptr_t>(HashTable_remove(t, reinterpret_cast<void *>(keys[i])));
      HashTable_delete(t);
      auto t3 = Clock::now();
      if (found != 2 * static_cast<uintptr_t>(n))
        state.SkipWithError("HashTable lost keys");
      table = {seconds(t0, t1), seconds(t1, t2), seconds(t2, t3)};
    }
    {
      auto t0 = Clock::now();
      auto *m = new std::unordered_map<uintptr_t, void *>();
      for (int i = 0; i < n; ++i)
        m->emplace(keys[i], reinterpret_cast<void *>(keys[i]));
      auto t1 = Clock::now();
      uintptr_t found = 0;
      for (int i = 0; i < n; ++i) {
        auto it = m->find(keys[i]);
        found += it != m->end() && it->second != nullptr;
      }
      auto t2 = Clock::now();
      for (int i = 0; i < n; ++i)
        found += m->erase(keys[i]);
      delete m;
      auto t3 = Clock::now();
      if (found != 2 * static_cast<uintptr_t>(n))
        state.SkipWithError("unordered_map lost keys");
      map = {seconds(t0, t1), seconds(t1, t2), seconds(t2, t3)};
    }
    state.SetIterationTime(table.total());
    report(state, table, map);
  }
}

BENCHMARK(BM_StringKeys)->Arg(1000000)->Iterations(1)->Repetitions(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IntegerKeys)->Arg(5000000)->Iterations(1)->Repetitions(3)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
