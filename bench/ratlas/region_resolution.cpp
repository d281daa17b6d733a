// Resolution through the atlas's cache on an atlas of 100,000 definitions.
//
// BM_Invalidate: k names are resolved (k cache entries), then the cache is emptied, as every
// change of the atlas does. Measured in the same run: our emptying through the entry array, the
// walk over every bucket of the 100,007-bucket table that deletes entry by entry, and clearing a
// std::unordered_map of k vectors. Counters: nanoseconds per emptying of each, and the ratios
// entries/walk and entries/unordered_map (the first falls with k, the second stays near 1).
//
// BM_AddToAtlas: definitions (a name and two component names, as texts) added one by one to a
// map in the atlas, each followed by one resolution of a stored definition through the cache
// (which the add emptied). Baseline: inserting the same name text -> vector of its component texts
// into an std::unordered_map<std::string, std::vector<std::string>>, strings made from the same
// texts (the work an add is given), each followed by a copy of one stored entry's components (the
// work a resolution gives); counter "ratio". The older baseline, the same with integer ids in an
// std::unordered_map<uint64_t, std::vector<uint64_t>>, stays as "ratio_to_integer_insert".
//
// BM_RestoreMap: a map of 100,000 definitions that all use one shared name put into an atlas and
// taken out again (what restoring a stored atlas does, and its undoing), against building a
// std::unordered_map of as many entries and clearing it; ratio per definition.
//
// BM_MapTextRoundTrip: the lines of a map of 10,000 definitions read into a new map that is then
// deleted, against loading the same lines into a bare VSN handle that is then destroyed; ratio
// read/load. The text the read map writes back must be the text read.
//
// BM_ResolveWide: a Union of 100,000 primitives resolved cold (after a change) and warm (from
// the cache), against copying a vector of 100,000 ids; ratios cold/copy and warm/copy.
#include "RegionAtlas.h"
#include "RegionAtlasText.h"
#include "RegionDefinition.h"
#include "RegionMap.h"
#include "RegionNameDictionary.h"
#include "RegionString.h"
#include "ResolutionCache.h"
#include "vsnapi.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double nanos(Clock::time_point from, Clock::time_point to) { return std::chrono::duration<double, std::nano>(to - from).count(); }

const int kDefinitions = 100000;

void check(RegionStatus* s) {
  if (RegionStatus_isError(s)) {
    fprintf(stderr, "%s\n", s->m_text ? s->m_text : "failed");
    abort();
  }
}

struct Fixture {
  RegionAtlas* m_atlas = nullptr;
  RegionMap* m_map = nullptr;
  std::vector<uint64_t> m_ids;
  Fixture() {
    check(RegionAtlas_new(&m_atlas, "bench"));
    check(RegionMap_new(&m_map, "bench map"));
    check(RegionAtlas_addMap(m_atlas, m_map, REGION_MAP_PRIMARY));
    for (int i = 0; i < kDefinitions; ++i) {
      std::string name = "def " + std::to_string(i), a = "prim " + std::to_string(i), b = "prim " + std::to_string(i + 1);
      const char* list[] = {a.c_str(), b.c_str()};
      RegionDefinition* d = nullptr;
      check(RegionDefinition_new(&d, name.c_str(), RC_UNION, list, nullptr, 2, 0));
      check(RegionMap_addRegionDefinition(m_map, d));
      m_ids.push_back(RegionDefinition_id(d));
    }
  }
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

void resolveIds(ResolutionCache* cache, const std::vector<uint64_t>& ids, int k) {
  for (int i = 0; i < k; ++i) {
    StringList* result = nullptr;
    StringList_new(&result, 0);
    check(ResolutionCache_resolve(cache, ids[(size_t(i) * 7919 + 13) % ids.size()], result));
    StringList_delete(&result);
  }
}

RegionStatus* dropEntry(void** entry, void* context) {
  ResolutionCacheEntry* e = static_cast<ResolutionCacheEntry*>(*entry);
  StringList_delete(&e->m_primitives);
  free(e);
  *entry = nullptr;
  ++*static_cast<uint64_t*>(context);
  return RegionStatus_success();
}

// The emptying by the table's own iteration, entry by entry, over the buckets.
void walkEveryBucket(ResolutionCache* cache) {
  uint64_t dropped = 0;
  check(RegionHashTable_iterate(cache->m_table, dropEntry, &dropped));
  cache->m_entryCount = 0;
  cache->m_idCount = 0;
  cache->m_stored = 0;
  benchmark::DoNotOptimize(dropped);
}

void BM_Invalidate(benchmark::State& state) {
  Fixture& f = fixture();
  ResolutionCache* cache = f.m_atlas->m_cache;
  int k = int(state.range(0));
  double ours = 0, walk = 0, map = 0;
  for (auto _ : state) {
    resolveIds(cache, f.m_ids, k);
    auto t0 = Clock::now();
    check(RegionAtlas_clearCache(f.m_atlas));
    auto t1 = Clock::now();
    resolveIds(cache, f.m_ids, k);
    auto t2 = Clock::now();
    walkEveryBucket(cache);
    auto t3 = Clock::now();
    std::unordered_map<uint64_t, std::vector<uint64_t>> plain;
    for (int i = 0; i < k; ++i) plain[f.m_ids[size_t(i)]] = {1, 2};
    auto t4 = Clock::now();
    plain.clear();
    auto t5 = Clock::now();
    ours += nanos(t0, t1);
    walk += nanos(t2, t3);
    map += nanos(t4, t5);
    state.SetIterationTime(nanos(t0, t1) * 1e-9);
  }
  double n = double(state.iterations());
  state.counters["ns_entries"] = ours / n;
  state.counters["ns_bucket_walk"] = walk / n;
  state.counters["ns_unordered_map"] = map / n;
  state.counters["ratio_entries_to_walk"] = ours / walk;
  state.counters["ratio_entries_to_unordered_map"] = ours / (map > 0 ? map : 1);
}
BENCHMARK(BM_Invalidate)->Arg(1)->Arg(64)->Arg(4096)->UseManualTime()->MinTime(0.2);

void BM_AddToAtlas(benchmark::State& state) {
  Fixture& f = fixture();
  const int n = int(state.range(0));
  std::vector<std::string> names, comps;
  for (int i = 0; i < n; ++i) {
    names.push_back("added " + std::to_string(i));
    comps.push_back("added prim " + std::to_string(i));
  }
  double ours = 0, textBaseline = 0, idBaseline = 0;
  for (auto _ : state) {
    // One resolved name keeps the cache from being empty at every add.
    resolveIds(f.m_atlas->m_cache, f.m_ids, 1);
    std::vector<RegionDefinition*> made;
    made.reserve(size_t(n));  // the bench's own bookkeeping, kept out of the timed loop
    auto t0 = Clock::now();
    for (int i = 0; i < n; ++i) {
      const char* list[] = {comps[size_t(i)].c_str(), "prim 0"};
      RegionDefinition* d = nullptr;
      check(RegionDefinition_new(&d, names[size_t(i)].c_str(), RC_UNION, list, nullptr, 2, 0));
      check(RegionMap_addRegionDefinition(f.m_map, d));
      made.push_back(d);
      resolveIds(f.m_atlas->m_cache, f.m_ids, 1);
    }
    auto t1 = Clock::now();
    std::unordered_map<std::string, std::vector<std::string>> texts;
    size_t copied = 0;
    for (int i = 0; i < n; ++i) {
      texts[names[size_t(i)]] = {comps[size_t(i)], "prim 0"};
      std::vector<std::string> resolved = texts.find(names[0])->second;
      copied += resolved.size();
    }
    auto t2 = Clock::now();
    std::unordered_map<uint64_t, std::vector<uint64_t>> plain;
    for (int i = 0; i < n; ++i) {
      plain[uint64_t(i) + 7] = {uint64_t(i), 1};
      std::vector<uint64_t> resolved = plain.find(7)->second;
      copied += resolved.size();
    }
    auto t3 = Clock::now();
    benchmark::DoNotOptimize(texts.size());
    benchmark::DoNotOptimize(plain.size());
    benchmark::DoNotOptimize(copied);
    for (RegionDefinition* d : made) check(RegionDefinition_delete(&d));
    ours += nanos(t0, t1);
    textBaseline += nanos(t1, t2);
    idBaseline += nanos(t2, t3);
    state.SetIterationTime(nanos(t0, t1) * 1e-9);
  }
  double it = double(state.iterations());
  state.counters["ns_per_definition"] = ours / it / n;
  state.counters["ns_per_text_map_insert"] = textBaseline / it / n;
  state.counters["ns_per_integer_insert"] = idBaseline / it / n;
  state.counters["ratio"] = ours / textBaseline;
  state.counters["ratio_to_integer_insert"] = ours / idBaseline;
}
BENCHMARK(BM_AddToAtlas)->Arg(1000)->UseManualTime()->MinTime(0.2);

void BM_ResolveWide(benchmark::State& state) {
  Fixture& f = fixture();
  static RegionDefinition* wide = [&] {
    std::vector<std::string> names;
    for (int i = 0; i < kDefinitions; ++i) names.push_back("prim " + std::to_string(i));
    std::vector<const char*> list;
    for (const std::string& s : names) list.push_back(s.c_str());
    RegionDefinition* d = nullptr;
    check(RegionDefinition_new(&d, "wide union", RC_UNION, list.data(), nullptr, int32_t(list.size()), 0));
    check(RegionMap_addRegionDefinition(f.m_map, d));
    return d;
  }();
  uint64_t id = RegionDefinition_id(wide);
  std::vector<uint64_t> ids(kDefinitions, 3);
  double cold = 0, warm = 0, copy = 0;
  for (auto _ : state) {
    check(RegionAtlas_clearCache(f.m_atlas));
    StringList* a = nullptr;
    StringList* b = nullptr;
    StringList_new(&a, 0);
    StringList_new(&b, 0);
    auto t0 = Clock::now();
    check(ResolutionCache_resolve(f.m_atlas->m_cache, id, a));
    auto t1 = Clock::now();
    check(ResolutionCache_resolve(f.m_atlas->m_cache, id, b));
    auto t2 = Clock::now();
    std::vector<uint64_t> c(ids);
    auto t3 = Clock::now();
    benchmark::DoNotOptimize(c.data());
    if (a->m_count != uint64_t(kDefinitions) || b->m_count != a->m_count) state.SkipWithError("wrong size");
    StringList_delete(&a);
    StringList_delete(&b);
    cold += nanos(t0, t1);
    warm += nanos(t1, t2);
    copy += nanos(t2, t3);
    state.SetIterationTime(nanos(t0, t2) * 1e-9);
  }
  state.counters["ratio_cold_to_copy"] = cold / copy;
  state.counters["ratio_warm_to_copy"] = warm / copy;
}
BENCHMARK(BM_ResolveWide)->UseManualTime()->MinTime(0.2);

RegionMap* sharedNameMap(int n, const char* prefix) {
  RegionMap* map = nullptr;
  check(RegionMap_new(&map, prefix));
  for (int i = 0; i < n; ++i) {
    std::string name = std::string(prefix) + " def " + std::to_string(i), a = std::string(prefix) + " prim " + std::to_string(i);
    const char* list[] = {a.c_str(), "everyone uses this"};
    RegionDefinition* d = nullptr;
    check(RegionDefinition_new(&d, name.c_str(), RC_UNION, list, nullptr, 2, 0));
    check(RegionMap_addRegionDefinition(map, d));
  }
  return map;
}

void BM_RestoreMap(benchmark::State& state) {
  const int n = int(state.range(0));
  static RegionMap* map = sharedNameMap(n, "restore");
  RegionAtlas* atlas = nullptr;
  check(RegionAtlas_new(&atlas, "restore atlas"));
  double ours = 0, baseline = 0;
  for (auto _ : state) {
    auto t0 = Clock::now();
    check(RegionAtlas_addMap(atlas, map, REGION_MAP_PRIMARY));
    check(RegionAtlas_removeMap(atlas, map));
    auto t1 = Clock::now();
    std::unordered_map<uint64_t, std::vector<uint64_t>> plain;
    for (int i = 0; i < n; ++i) plain[uint64_t(i) * 3] = {uint64_t(i), 1};
    benchmark::DoNotOptimize(plain.size());
    plain.clear();
    auto t2 = Clock::now();
    ours += nanos(t0, t1);
    baseline += nanos(t1, t2);
    state.SetIterationTime(nanos(t0, t1) * 1e-9);
  }
  RegionAtlas_delete(&atlas, 0);
  double it = double(state.iterations());
  state.counters["ns_per_definition"] = ours / it / n;
  state.counters["ratio"] = ours / baseline;
}
BENCHMARK(BM_RestoreMap)->Arg(100000)->UseManualTime()->Iterations(2);

void BM_MapTextRoundTrip(benchmark::State& state) {
  const int n = int(state.range(0));
  static RegionMap* map = sharedNameMap(n, "text");
  const char* text = nullptr;
  check(RegionMap_getVSN(map, 0, &text));
  std::vector<std::string> lines;
  for (const char* p = text; *p;) {
    const char* e = strchr(p, '\n');
    lines.emplace_back(p, size_t(e - p));
    p = e + 1;
  }
  std::vector<const char*> pointers;
  for (const std::string& l : lines) pointers.push_back(l.c_str());
  double ours = 0, baseline = 0;
  for (auto _ : state) {
    RegionMap* read = nullptr;
    auto t0 = Clock::now();
    check(RegionMap_readFromStrings(&read, int32_t(pointers.size()), pointers.data(), nullptr));
    auto between = Clock::now();
    const char* again = nullptr;
    check(RegionMap_getVSN(read, 0, &again));
    if (strcmp(again, text) != 0) state.SkipWithError("round trip differs");
    auto resumed = Clock::now();
    RegionMap_delete(&read, 1);
    auto t1 = Clock::now();
    vsnHandle* h = createVSNHandle();
    if (loadVSNDataH(h, pointers.data(), int(pointers.size()))) state.SkipWithError("load failed");
    destroyVSNHandle(h);
    auto t2 = Clock::now();
    ours += nanos(t0, between) + nanos(resumed, t1);
    baseline += nanos(t1, t2);
    state.SetIterationTime((nanos(t0, between) + nanos(resumed, t1)) * 1e-9);
  }
  state.counters["ratio_to_vsn_load"] = ours / baseline;
}
BENCHMARK(BM_MapTextRoundTrip)->Arg(10000)->UseManualTime()->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
