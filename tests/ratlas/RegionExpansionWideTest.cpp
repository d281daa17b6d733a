// Wide expansions (lists of hundreds to thousands of names) take their sets as bitmaps over the
// dictionary's ids and fetch records ahead. Their results, in order, against a plain expansion
// written here: depth first through the lists as the map holds them, each id at its first use,
// a Difference as its list A's ids that list B's expansion does not hold.
#include "RegionExpansion.h"
#include "RegionNameRecord.h"
#include "RegionTestSupport.h"
#include "ResolutionCache.h"

#include <map>
#include <random>
#include <set>

using namespace region_test;

namespace {

struct Plain {
  RegionAtlas* m_atlas;
  std::map<uint64_t, std::vector<uint64_t>> m_done;

  RegionDefinition* definitionOf(uint64_t id) {
    RegionNameRecord* r = RegionAtlas_record(m_atlas, id);
    return r && r->m_definition && r->m_definition->m_map ? r->m_definition : nullptr;
  }

  void unite(const StringList* list, std::vector<uint64_t>& out, std::set<uint64_t>& seen) {
    for (uint64_t i = 0; list && i < list->m_count; ++i) {
      for (uint64_t id : expand(list->m_items[i])) {
        if (seen.insert(id).second) out.push_back(id);
      }
    }
  }

  std::vector<uint64_t> expand(uint64_t id) {
    RegionDefinition* d = definitionOf(id);
    if (!d) return {id};
    auto known = m_done.find(id);
    if (known != m_done.end()) return known->second;
    std::vector<uint64_t> out;
    std::set<uint64_t> seen;
    unite(d->m_listA, out, seen);
    if (d->m_combination == RC_DIFFERENCE) {
      std::vector<uint64_t> right;
      std::set<uint64_t> minus;
      unite(d->m_listB, right, minus);
      std::vector<uint64_t> kept;
      for (uint64_t x : out)
        if (!minus.count(x)) kept.push_back(x);
      out.swap(kept);
    }
    m_done[id] = out;
    return out;
  }
};

TEST(RegionExpansion, WideListsResolveAsAPlainDepthFirstExpansion) {
  std::mt19937 random(2026);
  RegionAtlas* atlas = nullptr;
  RegionMap* map = nullptr;
  ASSERT_OK(RegionAtlas_new(&atlas, "wide"));
  ASSERT_OK(RegionMap_new(&map, "wide map"));
  ASSERT_OK(RegionAtlas_addMap(atlas, map, REGION_MAP_PRIMARY));
  const int kPrimitives = 6000, kComposites = 40;
  std::vector<std::string> prims;
  for (int i = 0; i < kPrimitives; ++i) prims.push_back("wide prim " + std::to_string(i));
  std::vector<uint64_t> composites;
  for (int j = 0; j < kComposites; ++j) {
    // Components: primitives with repeats, and composites made before (no cycles).
    auto some = [&](int most) {
      std::vector<std::string> v;
      int n = 1 + int(random() % uint32_t(most));
      for (int i = 0; i < n; ++i) {
        if (j > 0 && random() % 25 == 0) v.push_back("wide composite " + std::to_string(random() % uint32_t(j)));
        else v.push_back(prims[random() % uint32_t(random() % 2 ? kPrimitives : 300)]);
      }
      return v;
    };
    std::vector<std::string> a = some(j % 3 ? 4000 : 80), b = some(1500);
    std::vector<const char*> pa, pb;
    for (auto& s : a) pa.push_back(s.c_str());
    for (auto& s : b) pb.push_back(s.c_str());
    const bool difference = j % 4 == 3;
    RegionDefinition* d = nullptr;
    std::string name = "wide composite " + std::to_string(j);
    ASSERT_OK(RegionDefinition_new(&d, name.c_str(), difference ? RC_DIFFERENCE : RC_UNION, pa.data(), pb.data(), int32_t(pa.size()),
                                   difference ? int32_t(pb.size()) : 0));
    ASSERT_OK(RegionMap_addRegionDefinition(map, d));
    composites.push_back(RegionDefinition_id(d));
  }
  Plain plain{atlas, {}};
  for (int round = 0; round < 3; ++round) {
    // Cold and warm: a cleared cache, then one that holds what earlier resolutions cached.
    ASSERT_OK(RegionAtlas_clearCache(atlas));
    std::vector<uint64_t> order = composites;
    std::shuffle(order.begin(), order.end(), random);
    for (uint64_t id : order) {
      StringList* result = nullptr;
      ASSERT_OK(StringList_new(&result, 0));
      ASSERT_OK(RegionId_expandInAtlas(id, atlas, result));
      std::vector<uint64_t> got(result->m_items, result->m_items + result->m_count);
      StringList_delete(&result);
      ASSERT_EQ(got, plain.expand(id)) << "composite id " << id << ", round " << round;
    }
  }
  EXPECT_OK(RegionAtlas_delete(&atlas, 1));
}

}  // namespace
