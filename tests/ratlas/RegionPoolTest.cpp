// The small-block pool: blocks apart, reused, refused by the failure hook, and a whole atlas
// history giving the same texts with blocks from the pool as from the heap.
#include "RegionAtlasText.h"
#include "RegionMemory.h"
#include "RegionPool.h"
#include "RegionTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

using namespace region_test;

namespace {

// Pooling switched on for the test and off again; no list, record or definition of another test
// may be left alive.
struct Pooled {
  bool m_on = RegionPool_setPooled(1) != 0;
  ~Pooled() {
    if (m_on) EXPECT_EQ(RegionPool_setPooled(0), 1) << "blocks still out: " << RegionPool_blocksInUse();
  }
};

TEST(RegionPool, BlocksStayApartAcrossSlabsAndComeBackInUse) {
  Pooled pooled;
  ASSERT_TRUE(pooled.m_on) << RegionPool_blocksInUse() << " blocks out";
  std::mt19937 random(11);
  struct Block {
    unsigned char* m_at;
    size_t m_size;
    unsigned char m_fill;
  };
  std::vector<Block> live;
  std::set<unsigned char*> seen;
  for (int step = 0; step < 20000; ++step) {
    if (!live.empty() && random() % 3 == 0) {
      size_t k = random() % live.size();
      Block b = live[k];
      for (size_t i = 0; i < b.m_size; ++i) ASSERT_EQ(b.m_at[i], b.m_fill) << "block overwritten";
      RegionPool_free(b.m_at, b.m_size);
      live[k] = live.back();
      live.pop_back();
      continue;
    }
    size_t size = 1 + random() % 300;  // some above the pooled sizes
    auto* at = static_cast<unsigned char*>(RegionPool_alloc(size));
    ASSERT_NE(at, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(at) % 16, 0u);
    unsigned char fill = static_cast<unsigned char>(random());
    memset(at, fill, size);
    live.push_back({at, size, fill});
  }
  uint64_t pooledOut = 0;
  for (const Block& b : live) pooledOut += b.m_size <= 256;
  EXPECT_EQ(RegionPool_blocksInUse(), pooledOut);
  for (const Block& b : live) {
    for (size_t i = 0; i < b.m_size; ++i) ASSERT_EQ(b.m_at[i], b.m_fill);
    RegionPool_free(b.m_at, b.m_size);
  }
  EXPECT_EQ(RegionPool_blocksInUse(), 0u);
  // The last block back leaves one slab: the next block comes from it again.
  void* a = RegionPool_allocZeroed(40);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(static_cast<unsigned char*>(a)[39], 0);
  RegionPool_free(a, 40);
  EXPECT_EQ(RegionPool_alloc(40), a);
  RegionPool_free(a, 40);
}

TEST(RegionPool, TheFailureHookRefusesPooledBlocksAsHeapOnes) {
  Pooled pooled;
  ASSERT_TRUE(pooled.m_on) << RegionPool_blocksInUse() << " blocks out";
  RegionMemory_failAfter(1, 1);
  void* first = RegionPool_alloc(64);
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(RegionPool_alloc(64), nullptr);
  void* third = RegionPool_alloc(64);
  EXPECT_NE(third, nullptr);
  RegionMemory_failAfter(-1, 0);
  RegionPool_free(first, 64);
  RegionPool_free(third, 64);
  // Switching while a block is out is refused.
  void* out = RegionPool_alloc(8);
  EXPECT_EQ(RegionPool_setPooled(0), 0);
  RegionPool_free(out, 8);
}

// The same random history of definitions, component changes and deletes in an atlas, once with
// pooled blocks and once from the heap: the same texts and resolutions, and every block back.
std::string history(unsigned seed) {
  std::mt19937 random(seed);
  RegionAtlas* atlas = nullptr;
  RegionMap* map = nullptr;
  EXPECT_OK(RegionAtlas_new(&atlas, "pool"));
  EXPECT_OK(RegionMap_new(&map, "pool map"));
  EXPECT_OK(RegionAtlas_addMap(atlas, map, REGION_MAP_PRIMARY));
  auto name = [&](int k) { return "pool " + std::to_string(k); };
  std::string out;
  for (int step = 0; step < 3000; ++step) {
    const std::string n = name(int(random() % 60));
    RegionDefinition* d = definitionIn(map, n);
    if (d && random() % 3 == 0) {
      EXPECT_OK(RegionDefinition_delete(&d));
    } else if (d) {
      modifyComponent(d, name(int(random() % 60)), random() % 2 != 0, false);
    } else {
      std::vector<std::string> a{name(int(random() % 60)), name(int(random() % 60))};
      if (RegionStatus_isError(defineFrom(&d, n, RC_UNION, a, {}))) continue;
      RegionStatus* s = RegionMap_addRegionDefinition(map, d);
      out += textOf(s) + "\n";
      if (RegionStatus_isError(s)) RegionDefinition_delete(&d);
    }
    if (step % 100 == 99) {
      const char* text = nullptr;
      EXPECT_OK(RegionAtlas_getVSN(atlas, &text));
      out += text ? text : "";
      char** names = nullptr;
      uint64_t count = 0;
      RegionAtlas_resolveName(atlas, name(int(random() % 60)).c_str(), &names, &count);
      for (const std::string& s : takeNames(names, count)) out += s + " ";
    }
  }
  EXPECT_OK(RegionMap_delete(&map, 1));
  EXPECT_OK(RegionAtlas_delete(&atlas, 1));
  return out;
}

TEST(RegionPool, AnAtlasHistoryLeavesTheSameWithPooledBlocks) {
  std::string fromHeap;
  {
    ASSERT_EQ(RegionPool_setPooled(0), 1) << RegionPool_blocksInUse() << " blocks out";
    fromHeap = history(5);
  }
  Pooled pooled;
  ASSERT_TRUE(pooled.m_on);
  EXPECT_EQ(history(5), fromHeap);
  EXPECT_EQ(RegionPool_blocksInUse(), 0u);
}

}  // namespace
