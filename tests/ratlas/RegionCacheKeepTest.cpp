// The atlas's cache keeps, across the addition of a definition, the entries the new definition
// cannot change. Random histories of adds, removes, changes, renames, explicit primitives and
// maps moving in and out, with resolutions between them so that the cache holds entries from
// before each change: after every step each name resolved through the kept cache must give
// exactly (order, status and message) what a cache emptied at every change gives.
#include "RegionAtlasText.h"
#include "RegionExpansion.h"
#include "RegionMemory.h"
#include "RegionNameDictionary.h"
#include "RegionTestSupport.h"
#include "ResolutionCache.h"

#include <random>

using namespace region_test;

namespace {

const int kPool = 30;
const uint32_t kTypes[] = {REGION_MAP_ZYR, REGION_MAP_PRIMARY, REGION_MAP_SECONDARY};

std::string poolName(int i) { return "ck" + std::to_string(i); }

struct Answer {
  int m_code = 0;
  std::string m_text;
  std::vector<std::string> m_names;  // in the order given
  bool operator==(const Answer& o) const { return m_code == o.m_code && m_text == o.m_text && m_names == o.m_names; }
};

std::string show(const Answer& a) {
  std::string s = std::to_string(a.m_code) + " " + a.m_text + ":";
  for (const std::string& n : a.m_names) s += " " + n;
  return s;
}

Answer resolveName(RegionAtlas* atlas, const std::string& name) {
  char** names = nullptr;
  uint64_t count = 0;
  RegionStatus* s = RegionAtlas_resolveName(atlas, name.c_str(), &names, &count);
  Answer a;
  a.m_code = RegionStatus_getCode(s);
  a.m_text = RegionStatus_isError(s) ? textOf(s) : "";
  if (!RegionStatus_isError(s)) a.m_names = takeNames(names, count);
  return a;
}

// What a cache emptied at this moment gives: a fresh cache stands in for the kept one.
Answer resolveCold(RegionAtlas* atlas, const std::string& name) {
  ResolutionCache* kept = atlas->m_cache;
  ResolutionCache* fresh = nullptr;
  EXPECT_OK(ResolutionCache_new(&fresh, 0, kept->m_context, kept->m_resolver));
  atlas->m_cache = fresh;
  Answer a = resolveName(atlas, name);
  atlas->m_cache = kept;
  ResolutionCache_delete(&fresh);
  return a;
}

struct History {
  std::mt19937 m_random;
  RegionAtlas* m_atlas = nullptr;
  RegionMap* m_maps[3] = {nullptr, nullptr, nullptr};
  int m_kept = 0;  // adds after which the cache still held entries
  int m_setKinds;  // one definition in m_setKinds is an Intersection or (Symmetric) Difference

  History(uint32_t seed, int setKinds) : m_random(seed), m_setKinds(setKinds) {}

  int pick(int n) { return int(m_random() % uint32_t(n)); }

  // Names of the map's level, the levels below, or names no map defines.
  std::vector<std::string> someNames(int most, int level) {
    std::vector<std::string> v;
    int n = 1 + pick(most);
    for (int i = 0; i < n; ++i) {
      int group = pick(level + 2);
      if (group > level) group = 3;
      v.push_back(poolName(group * 8 + pick(group == 3 ? 6 : 8)));
    }
    return v;
  }

  int32_t someKind() {
    if (pick(m_setKinds) == 0) {
      static const int32_t kinds[] = {RC_INTERSECTION, RC_DIFFERENCE, RC_SYMMETRIC_DIFFERENCE};
      return kinds[pick(3)];
    }
    return pick(4) == 0 ? RC_ALIAS : RC_UNION;
  }

  RegionDefinition* definitionIn(RegionMap* map, const std::string& name) {
    RegionDefinition* d = nullptr;
    RegionMap_regionDefinitionFromName(map, name.c_str(), &d);
    return d;
  }

  void resolveSome() {
    for (int i = pick(6); i > 0; --i) resolveName(m_atlas, poolName(pick(kPool)));
  }

  void step() {
    int which = pick(3);
    RegionMap* map = m_maps[which];
    std::string name = poolName(pick(12) ? which * 8 + pick(8) : pick(kPool));
    switch (pick(15)) {
      case 7:
      case 8:
      case 9:
      case 10:
      case 11:
      case 12:
      case 13:
      case 14: {
        int32_t kind = someKind();
        std::vector<std::string> a = someNames(kind == RC_ALIAS ? 1 : 4, which), b = someNames(2, which);
        std::vector<const char*> pa, pb;
        for (auto& s : a) pa.push_back(s.c_str());
        for (auto& s : b) pb.push_back(s.c_str());
        RegionDefinition* d = nullptr;
        if (RegionStatus_isError(RegionDefinition_new(&d, name.c_str(), kind, pa.data(), pb.data(), int32_t(pa.size()), int32_t(pb.size()))))
          return;
        if (RegionStatus_isError(RegionMap_addRegionDefinition(map, d))) {
          RegionDefinition_delete(&d);
        } else if (m_atlas->m_cache->m_entryCount > 0 && map->m_atlas) {
          ++m_kept;
        }
        return;
      }
      case 0:
      case 6: {
        // One of the map's definitions.
        RegionDefinition** all = nullptr;
        uint64_t count = 0;
        RegionMap_getRegionDefinitions(map, &all, &count);
        RegionDefinition* d = count ? all[pick(int(count))] : nullptr;
        RegionMemory_release(all);
        if (d) RegionDefinition_delete(&d);
        return;
      }
      case 1: {
        // Maps leave now and then and come back soon.
        uint32_t type = kTypes[pick(3)];
        RegionMap* m = m_maps[type == REGION_MAP_ZYR ? 0 : type == REGION_MAP_PRIMARY ? 1 : 2];
        if (!m->m_atlas) RegionAtlas_addMap(m_atlas, m, type);
        else if (pick(4) == 0) RegionAtlas_removeMap(m_atlas, m);
        return;
      }
      case 2:
        if (pick(2)) RegionMap_addExplicitPrimitive(map, name.c_str());
        else RegionMap_removeExplicitPrimitive(map, name.c_str());
        return;
      case 3: {
        RegionDefinition* d = definitionIn(map, name);
        if (!d) return;
        std::string other = someNames(1, which)[0];
        const char* n = other.c_str();
        int32_t side = RegionDefinition_isTwoSidedCombination(d->m_combination) ? 1 + pick(2) : 1;
        RegionDefinition_modifyComponents(d, pick(2) ? RO_ADD : RO_REMOVE, side, &n, 1);
        return;
      }
      case 4: {
        RegionDefinition* d = definitionIn(map, name);
        if (d) RegionDefinition_setCombination(d, someKind());
        return;
      }
      default: {  // 5
        RegionDefinition* d = definitionIn(map, name);
        if (d) RegionDefinition_rename(d, poolName(which * 8 + pick(8)).c_str());
        return;
      }
    }
  }

  // Every name, in a random order (the cache fills as it goes), warm against cold.
  void check(int stepNumber) {
    SCOPED_TRACE("step " + std::to_string(stepNumber));
    std::vector<int> order(kPool);
    for (int i = 0; i < kPool; ++i) order[size_t(i)] = i;
    std::shuffle(order.begin(), order.end(), m_random);
    for (int i : order) {
      std::string n = poolName(i);
      Answer warm = resolveName(m_atlas, n);
      Answer cold = resolveCold(m_atlas, n);
      EXPECT_EQ(warm, cold) << n << "\n warm " << show(warm) << "\n cold " << show(cold);
    }
  }

  void run(int steps) {
    ASSERT_OK(RegionAtlas_new(&m_atlas, "kept cache"));
    const char* names[] = {"Zk", "Pk", "Sk"};
    for (int i = 0; i < 3; ++i) ASSERT_OK(RegionMap_new(&m_maps[i], names[i]));
    for (int i = 0; i < 3; ++i) ASSERT_OK(RegionAtlas_addMap(m_atlas, m_maps[i], kTypes[i]));
    for (int s = 0; s < steps && !::testing::Test::HasFailure(); ++s) {
      resolveSome();
      step();
      // Checked after some steps only, so that entries also live across several changes.
      if (pick(3) == 0) check(s);
    }
    for (RegionMap*& m : m_maps) {
      if (!m->m_atlas) RegionMap_delete(&m, 1);
    }
    EXPECT_OK(RegionAtlas_delete(&m_atlas, 1));
  }
};

TEST(RegionCacheKeep, KeptEntriesAnswerAsAColdCache) {
  RegionAtlas_setSelectiveInvalidation(1);
  // Mostly Unions and Aliases (whose entries can be kept), and histories rich in set operations.
  for (int setKinds : {1000, 8, 2}) {
    for (uint32_t seed : {1u, 2u, 3u}) {
      SCOPED_TRACE("seed " + std::to_string(seed) + " set kinds 1/" + std::to_string(setKinds));
      History h(seed * 7919 + uint32_t(setKinds), setKinds);
      h.run(1000);
      if (setKinds == 1000) EXPECT_GT(h.m_kept, 80) << "too few adds kept the cache to prove anything";
    }
  }
}

// The switch: off, an add empties the cache as every other change does.
TEST(RegionCacheKeep, SwitchedOffAnAddEmptiesTheCache) {
  RegionAtlas* atlas = nullptr;
  RegionMap* map = nullptr;
  ASSERT_OK(RegionAtlas_new(&atlas, "switch"));
  ASSERT_OK(RegionMap_new(&map, "switch map"));
  ASSERT_OK(RegionAtlas_addMap(atlas, map, REGION_MAP_PRIMARY));
  ASSERT_OK(RegionMap_addRegionDefinition(map, make("sw A", RC_UNION, {"sw p", "sw q"})));
  ASSERT_OK(RegionMap_addRegionDefinition(map, make("sw B", RC_UNION, {"sw C", "sw r"})));
  EXPECT_EQ(resolveName(atlas, "sw A").m_names, (std::vector<std::string>{"sw p", "sw q"}));
  EXPECT_EQ(resolveName(atlas, "sw B").m_names, (std::vector<std::string>{"sw C", "sw r"}));
  // sw C gets a definition: B met it, A did not.
  ASSERT_OK(RegionMap_addRegionDefinition(map, make("sw C", RC_UNION, {"sw s"})));
  uint64_t a = 0;
  ASSERT_OK(RegionNameDictionary_lookup("sw A", &a));
  ASSERT_EQ(atlas->m_cache->m_entryCount, 1u);
  EXPECT_EQ(atlas->m_cache->m_entries[0]->m_id, a);
  EXPECT_EQ(resolveName(atlas, "sw B").m_names, (std::vector<std::string>{"sw s", "sw r"}));
  RegionAtlas_setSelectiveInvalidation(0);
  ASSERT_OK(RegionMap_addRegionDefinition(map, make("sw D", RC_UNION, {"sw t"})));
  EXPECT_EQ(atlas->m_cache->m_entryCount, 0u);
  RegionAtlas_setSelectiveInvalidation(1);
  // A set operation in the cache: its entry may lack a name it met, so all goes.
  ASSERT_OK(RegionMap_addRegionDefinition(map, make("sw E", RC_DIFFERENCE, {"sw p", "sw q"}, {"sw F"})));
  EXPECT_EQ(resolveName(atlas, "sw E").m_names, (std::vector<std::string>{"sw p", "sw q"}));
  EXPECT_EQ(resolveName(atlas, "sw A").m_names, (std::vector<std::string>{"sw p", "sw q"}));
  ASSERT_OK(RegionMap_addRegionDefinition(map, make("sw F", RC_UNION, {"sw q"})));
  EXPECT_EQ(atlas->m_cache->m_entryCount, 0u);
  EXPECT_EQ(resolveName(atlas, "sw E").m_names, (std::vector<std::string>{"sw p"}));
  EXPECT_OK(RegionAtlas_delete(&atlas, 1));
}

}  // namespace
