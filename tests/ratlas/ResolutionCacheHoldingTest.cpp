// The resolution cache on its own: dropping the entries that hold an id. Random lists over few
// residues modulo 64 (so that ids share their summary bit) and some lists longer than the summary
// covers, resolved and invalidated in random order: after every step the cache must hold exactly
// the entries, in exactly the order, that a plain model keeps.
#include "RegionNameDictionary.h"
#include "RegionTestSupport.h"
#include "ResolutionCache.h"

#include <algorithm>
#include <map>
#include <random>

using namespace region_test;

namespace {

struct Lists {
  std::map<uint64_t, std::vector<uint64_t>> m_of;
  int m_calls = 0;
};

RegionStatus* listResolver(uint64_t id, void* context, StringList* result) {
  Lists* lists = static_cast<Lists*>(context);
  ++lists->m_calls;
  for (uint64_t item : lists->m_of[id]) {
    RegionStatus* status = StringList_addId(result, item);
    if (RegionStatus_isError(status)) return status;
  }
  return RegionStatus_success();
}

std::vector<uint64_t> itemsOf(const StringList* list) {
  return std::vector<uint64_t>(list->m_items, list->m_items + list->m_count);
}

struct Model {
  std::vector<std::pair<uint64_t, std::vector<uint64_t>>> m_entries;  // in the order made

  void holding(uint64_t id, uint64_t limit) {
    uint64_t all = 0;
    for (const auto& e : m_entries) all += e.second.size();
    if (all > limit) {
      m_entries.clear();
      return;
    }
    std::vector<std::pair<uint64_t, std::vector<uint64_t>>> kept;
    for (const auto& e : m_entries) {
      if (std::find(e.second.begin(), e.second.end(), id) == e.second.end()) kept.push_back(e);
    }
    m_entries = kept;
  }
};

void expectSame(const ResolutionCache* cache, const Model& model, const std::string& step) {
  ASSERT_EQ(cache->m_entryCount, model.m_entries.size()) << step;
  uint64_t ids = 0;
  for (size_t i = 0; i < model.m_entries.size(); ++i) {
    EXPECT_EQ(cache->m_entries[i]->m_id, model.m_entries[i].first) << step;
    EXPECT_EQ(itemsOf(cache->m_entries[i]->m_primitives), model.m_entries[i].second) << step;
    ids += model.m_entries[i].second.size();
  }
  EXPECT_EQ(cache->m_idCount, ids) << step;
  EXPECT_EQ(cache->m_table->m_count, model.m_entries.size()) << step;
}

} // namespace

TEST(ResolutionCacheHolding, DropsExactlyTheEntriesHoldingTheId) {
  // Ids from the dictionary's range; the resolver only hands them back.
  uint64_t base = 0;
  for (int i = 0; i < 300; ++i) {
    uint64_t id = 0;
    ASSERT_OK(RegionNameDictionary_add(("rch " + std::to_string(i)).c_str(), &id));
    if (i == 0) base = id;
  }
  for (uint32_t seed = 1; seed <= 40; ++seed) {
    std::mt19937 random(seed);
    auto pick = [&](uint64_t n) { return uint64_t(random() % n); };
    Lists lists;
    for (uint64_t id = base; id < base + 24; ++id) {
      std::vector<uint64_t>& items = lists.m_of[id];
      // Mostly short lists over ids 64 apart; now and then one longer than the summary covers.
      uint64_t n = pick(8) == 0 ? 65 + pick(20) : pick(6);
      for (uint64_t k = 0; k < n; ++k) {
        uint64_t item = base + pick(4) * 64 + pick(3);
        if (n > 64) item = base + pick(256);
        if (std::find(items.begin(), items.end(), item) == items.end()) items.push_back(item);
      }
    }
    ResolutionCache* cache = nullptr;
    ASSERT_OK(ResolutionCache_new(&cache, 7, &lists, listResolver));
    Model model;
    const uint64_t limit = pick(2) ? 4096 : 60;
    for (int step = 0; step < 200; ++step) {
      std::string where = "seed " + std::to_string(seed) + " step " + std::to_string(step);
      int what = int(pick(10));
      if (what < 6) {
        uint64_t id = base + pick(24);
        StringList* result = nullptr;
        ASSERT_OK(StringList_new(&result, 0));
        ASSERT_OK(ResolutionCache_resolve(cache, id, result));
        EXPECT_EQ(itemsOf(result), lists.m_of[id]) << where;
        StringList_delete(&result);
        bool known = false;
        for (const auto& e : model.m_entries) known = known || e.first == id;
        if (!known) model.m_entries.push_back({id, lists.m_of[id]});
      } else if (what < 9) {
        uint64_t id = base + pick(4) * 64 + pick(4);
        ASSERT_OK(ResolutionCache_invalidateHolding(cache, id, limit));
        model.holding(id, limit);
      } else {
        ASSERT_OK(ResolutionCache_invalidate(cache));
        model.m_entries.clear();
      }
      expectSame(cache, model, where);
    }
    ResolutionCache_delete(&cache);
  }
}
