// The hash containers against the standard ones and, where the Debian package libabsl-dev is at
// hand (ZYR_HAVE_ABSL), abseil's flat_hash_map and flat_hash_set, doing the same work in the same
// run. Each case fills a container, finds every key (the "find" ratios: the look-ups the
// library makes most), and empties it again. Reported: ratio_to_unordered and ratio_to_absl for
// the whole work and for the finds alone (below 1 means ours is faster).
//   HashTable, 1 million string keys ("Region 123456" style) and 2 million integer keys;
//   HashSet, 2 million object pointers.
#include "HashSet.h"
#include "HashTable.h"
#include "zyrBenchSupport.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#ifdef ZYR_HAVE_ABSL
#include <absl/container/flat_hash_map.h>
#include <absl/container/flat_hash_set.h>
#endif

namespace {

using zyrbench::Clock;
using zyrbench::mix;
using zyrbench::seconds;

struct Times {
  double all = 0, find = 0;
};

// Fill, find every key, empty: the times of the whole and of the finds.
template <class Fill, class Find, class Empty> Times work(Fill fill, Find find, Empty empty, int64_t expected) {
  auto t0 = Clock::now();
  fill();
  auto t1 = Clock::now();
  const int64_t found = find();
  auto t2 = Clock::now();
  empty();
  auto t3 = Clock::now();
  if (found != expected)
    std::fprintf(stderr, "hash_containers: %lld of %lld keys found\n", (long long)found, (long long)expected);
  return {seconds(t0, t3), seconds(t1, t2)};
}

void report(benchmark::State &state, const Times &ours, const Times &unordered, const Times &absl) {
  state.counters["ratio_to_unordered"] = ours.all / unordered.all;
  state.counters["find_ratio_to_unordered"] = ours.find / unordered.find;
  if (absl.all > 0) {
    state.counters["ratio_to_absl"] = ours.all / absl.all;
    state.counters["find_ratio_to_absl"] = ours.find / absl.find;
  }
  char label[128];
  std::snprintf(label, sizeof label, "find: ours/unordered = %.2f, ours/absl = %.2f", ours.find / unordered.find,
                absl.find > 0 ? ours.find / absl.find : 0.0);
  state.SetLabel(label);
}

void add(Times *sum, const Times &t) {
  sum->all += t.all;
  sum->find += t.find;
}

struct StringKeys {
  std::vector<char> text;
  std::vector<const char *> keys;
  explicit StringKeys(int n) {
    text.resize(static_cast<size_t>(n) * 16);
    char *at = text.data();
    for (int i = 0; i < n; ++i) {
      const uint64_t number = (static_cast<uint64_t>(i) * 7919u) % static_cast<uint64_t>(n);
      const int length = std::snprintf(at, 16, "Region %06llu", static_cast<unsigned long long>(number));
      keys.push_back(at);
      at += length + 1;
    }
  }
};

void BM_HashTableStrings(benchmark::State &state) {
  const int n = static_cast<int>(state.range(0));
  static StringKeys k(n);
  Times ours, unordered, absl;
  for (auto _ : state) {
    HashTable *t = nullptr;
    add(&ours, work([&] { t = HashTable_new(0, nullptr, nullptr);
                          for (const char *key : k.keys) HashTable_insert(t, key, const_cast<char *>(key)); },
                    [&] { int64_t f = 0; for (const char *key : k.keys) f += HashTable_find(t, key) != nullptr; return f; },
                    [&] { HashTable_delete(t); }, n));
    std::unordered_map<std::string_view, void *> *m = nullptr;
    add(&unordered, work([&] { m = new std::unordered_map<std::string_view, void *>();
                               for (const char *key : k.keys) m->emplace(key, const_cast<char *>(key)); },
                         [&] { int64_t f = 0; for (const char *key : k.keys) f += m->find(key) != m->end(); return f; },
                         [&] { delete m; }, n));
#ifdef ZYR_HAVE_ABSL
    absl::flat_hash_map<std::string_view, void *> *a = nullptr;
    add(&absl, work([&] { a = new absl::flat_hash_map<std::string_view, void *>();
                          for (const char *key : k.keys) a->emplace(key, const_cast<char *>(key)); },
                    [&] { int64_t f = 0; for (const char *key : k.keys) f += a->find(key) != a->end(); return f; },
                    [&] { delete a; }, n));
#endif
  }
  state.SetIterationTime(ours.all / static_cast<double>(state.iterations()));
  report(state, ours, unordered, absl);
}

void BM_HashTableIntegers(benchmark::State &state) {
  const int n = static_cast<int>(state.range(0));
  std::vector<uintptr_t> keys(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) keys[static_cast<size_t>(i)] = static_cast<uintptr_t>(mix(static_cast<uint64_t>(i)));
  Times ours, unordered, absl;
  for (auto _ : state) {
    HashTable *t = nullptr;
    add(&ours, work([&] { t = HashTable_new(0, HashTable_hashInteger, HashTable_compareIntegers);
                          for (uintptr_t key : keys) HashTable_insert(t, reinterpret_cast<void *>(key), reinterpret_cast<void *>(key)); },
                    [&] { int64_t f = 0; for (uintptr_t key : keys) f += HashTable_find(t, reinterpret_cast<void *>(key)) != nullptr; return f; },
                    [&] { HashTable_delete(t); }, n));
    std::unordered_map<uintptr_t, void *> *m = nullptr;
    add(&unordered, work([&] { m = new std::unordered_map<uintptr_t, void *>();
                               for (uintptr_t key : keys) m->emplace(key, reinterpret_cast<void *>(key)); },
                         [&] { int64_t f = 0; for (uintptr_t key : keys) f += m->find(key) != m->end(); return f; },
                         [&] { delete m; }, n));
#ifdef ZYR_HAVE_ABSL
    absl::flat_hash_map<uintptr_t, void *> *a = nullptr;
    add(&absl, work([&] { a = new absl::flat_hash_map<uintptr_t, void *>();
                          for (uintptr_t key : keys) a->emplace(key, reinterpret_cast<void *>(key)); },
                    [&] { int64_t f = 0; for (uintptr_t key : keys) f += a->find(key) != a->end(); return f; },
                    [&] { delete a; }, n));
#endif
  }
  state.SetIterationTime(ours.all / static_cast<double>(state.iterations()));
  report(state, ours, unordered, absl);
}

void BM_HashSetPointers(benchmark::State &state) {
  const int n = static_cast<int>(state.range(0));
  // Object addresses: 48-byte records one after another, taken in scrambled order.
  std::vector<char> records(static_cast<size_t>(n) * 48);
  std::vector<void *> items(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i)
    items[static_cast<size_t>(i)] = &records[(mix(static_cast<uint64_t>(i)) % static_cast<uint64_t>(n)) * 48];
  std::vector<void *> distinct(items);
  {
    std::unordered_set<void *> seen;
    distinct.clear();
    for (void *p : items)
      if (seen.insert(p).second) distinct.push_back(p);
  }
  const int64_t count = static_cast<int64_t>(distinct.size());
  Times ours, unordered, absl;
  for (auto _ : state) {
    HashSet *s = nullptr;
    add(&ours, work([&] { s = HashSet_new(0); for (void *p : distinct) HashSet_add(s, p); },
                    [&] { int64_t f = 0; for (void *p : distinct) f += HashSet_contains(s, p) != 0; return f; },
                    [&] { HashSet_delete(s); }, count));
    std::unordered_set<void *> *u = nullptr;
    add(&unordered, work([&] { u = new std::unordered_set<void *>(); for (void *p : distinct) u->insert(p); },
                         [&] { int64_t f = 0; for (void *p : distinct) f += u->count(p); return f; },
                         [&] { delete u; }, count));
#ifdef ZYR_HAVE_ABSL
    absl::flat_hash_set<void *> *a = nullptr;
    add(&absl, work([&] { a = new absl::flat_hash_set<void *>(); for (void *p : distinct) a->insert(p); },
                    [&] { int64_t f = 0; for (void *p : distinct) f += a->count(p); return f; },
                    [&] { delete a; }, count));
#endif
  }
  state.SetIterationTime(ours.all / static_cast<double>(state.iterations()));
  report(state, ours, unordered, absl);
}

BENCHMARK(BM_HashTableStrings)->Arg(1000000)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HashTableIntegers)->Arg(2000000)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HashSetPointers)->Arg(2000000)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
