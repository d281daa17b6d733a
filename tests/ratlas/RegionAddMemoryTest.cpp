// Adding a definition and resolving through the atlas's cache with memory running out at each
// allocation in turn, and expansions into caller lists made in every way (a list's items may
// sit in the list's own block or in one of their own).
#include "RegionExpansion.h"
#include "RegionHashTable.h"
#include "RegionMemory.h"
#include "RegionNameRecord.h"
#include "RegionTestSupport.h"
#include "ResolutionCache.h"

#include <sstream>

using namespace region_test;

namespace {

std::string nameOf(uint64_t id) {
  const char* name = nullptr;
  RegionNameDictionary_name(id, &name);
  return name ? name : "?";
}

// The records of a table in chain order: definition, component lists, references (a set).
void records(std::ostringstream& out, const char* what, const RegionHashTable* table) {
  out << what << " " << table->m_count << "\n";
  for (uint64_t b = 0; b < table->m_size; ++b) {
    for (const RegionHashNode* n = table->m_buckets[b]; n; n = n->m_next) {
      const RegionNameRecord* r = static_cast<const RegionNameRecord*>(n->m_entry);
      out << " " << b << " " << nameOf(r->m_id);
      if (r->m_definition) {
        out << " defined:";
        for (const std::string& c : namesOf(r->m_definition->m_listA)) out << " " << c;
      }
      std::vector<std::string> references;
      if (r->m_references) {
        references = namesOf(r->m_references);
        EXPECT_LE(r->m_references->m_count, r->m_references->m_capacity);
      }
      out << " references:";
      for (const std::string& s : sorted(references)) out << " " << s;
      out << "\n";
    }
  }
}

struct World {
  RegionAtlas* m_atlas = nullptr;
  RegionMap* m_map = nullptr;

  // Ten definitions use "shared", so its reference list is full; "wide" resolves to more ids
  // than an empty list has room for in its own block.
  World() {
    EXPECT_OK(RegionAtlas_new(&m_atlas, "walk"));
    EXPECT_OK(RegionMap_new(&m_map, "walk map"));
    EXPECT_OK(RegionAtlas_addMap(m_atlas, m_map, REGION_MAP_PRIMARY));
    for (int i = 0; i < 10; ++i) {
      std::string name = "base " + std::to_string(i), prim = "base prim " + std::to_string(i);
      RegionDefinition* d = nullptr;
      EXPECT_OK(defineFrom(&d, name, RC_UNION, {"shared", prim}, {}));
      EXPECT_OK(RegionMap_addRegionDefinition(m_map, d));
    }
    EXPECT_OK(RegionMap_addRegionDefinition(m_map, make("wide", RC_UNION, {"w0", "w1", "w2", "w3", "w4", "w5"})));
    resolved("wide");
    resolved("base 3");
  }
  ~World() { EXPECT_OK(RegionAtlas_delete(&m_atlas, 1)); }

  std::vector<std::string> resolved(const char* name) {
    char** names = nullptr;
    uint64_t count = 0;
    RegionStatus* s = RegionAtlas_resolveName(m_atlas, name, &names, &count);
    std::vector<std::string> v = takeNames(names, count);
    if (RegionStatus_isError(s)) v.push_back("failed: " + textOf(s));
    return v;
  }

  std::string state() {
    std::ostringstream out;
    records(out, "definitions", m_map->m_definitions);
    records(out, "names", m_map->m_names);
    records(out, "atlas names", m_atlas->m_names);
    for (const char* name : {"wide", "base 3", "shared"}) {
      out << name << " ->";
      for (const std::string& s : resolved(name)) out << " " << s;
      out << "\n";
    }
    return out.str();
  }
};

// Every allocation of making a definition, adding it and resolving through the cache fails in
// turn: the failure is reported as running out of memory, a failed add leaves the map and the
// atlas as they were, and a failed resolution leaves the result empty or whole.
TEST(RegionAddMemory, EachFailedAllocationOfAnAddOrAResolutionLeavesThingsAsTheyWere) {
  int failedAdds = 0, failedResolutions = 0, successes = 0;
  for (int64_t k = 0; k < 400 && successes < 3 && !::testing::Test::HasFailure(); ++k) {
    World w;
    const std::string before = w.state();
    RegionMemory_failAfter(k, 1);
    RegionDefinition* d = nullptr;
    RegionStatus* s = define(&d, "added", RC_UNION, {"added prim", "shared", "w0"});
    bool added = false;
    if (!RegionStatus_isError(s)) {
      s = RegionMap_addRegionDefinition(w.m_map, d);
      added = !RegionStatus_isError(s);
    }
    StringList* result = nullptr;
    RegionStatus* resolution = RegionStatus_success();
    if (added) {
      resolution = StringList_new(&result, 0);
      if (!RegionStatus_isError(resolution)) resolution = ResolutionCache_resolve(w.m_atlas->m_cache, RegionDefinition_id(d), result);
    }
    RegionMemory_failAfter(-1, 0);
    if (!added) {
      ASSERT_EQ(RegionStatus_getCode(s), uint64_t(RS_NO_MEMORY)) << k << ": " << textOf(s);
      if (d) EXPECT_OK(RegionDefinition_delete(&d));
      ASSERT_EQ(w.state(), before) << k;
      ++failedAdds;
      successes = 0;
      continue;
    }
    if (RegionStatus_isError(resolution)) {
      ASSERT_EQ(RegionStatus_getCode(resolution), uint64_t(RS_NO_MEMORY)) << k;
      // Only the cache entry may be missing: the result is empty or whole.
      if (result && result->m_count) EXPECT_EQ(sorted(namesOf(result)), (std::vector<std::string>{"added prim", "shared", "w0"}));
      ++failedResolutions;
      successes = 0;
    } else {
      EXPECT_EQ(sorted(namesOf(result)), (std::vector<std::string>{"added prim", "shared", "w0"})) << k;
      ++successes;
    }
    if (result) StringList_delete(&result);
    EXPECT_EQ(sorted(w.resolved("added")), (std::vector<std::string>{"added prim", "shared", "w0"})) << k;
    EXPECT_EQ(w.resolved("wide").size(), 6u);
    RegionNameRecord* shared = nullptr;
    int found = 0;
    EXPECT_OK(RegionAtlas_findName(w.m_atlas, "shared", &found, &shared));
    ASSERT_NE(shared, nullptr);
    EXPECT_EQ(shared->m_references->m_count, 11u);
  }
  EXPECT_EQ(successes, 3);
  EXPECT_GT(failedAdds, 5);
  EXPECT_GT(failedResolutions, 0);
}

// Expanding appends to whatever list the caller hands over: lists full from the start, empty
// with or without capacity, small and large. Each ends with the same ids as a list that grew
// one id at a time; out of memory leaves it as it was.
TEST(RegionAddMemory, ExpansionsAppendToListsMadeInEveryWay) {
  World w;
  EXPECT_OK(RegionMap_addRegionDefinition(w.m_map, make("mixed", RC_UNION, {"wide", "base 1", "w9"})));
  std::vector<uint64_t> start;
  for (const char* name : {"w3", "x0", "x1"}) {
    uint64_t id = 0;
    EXPECT_OK(RegionNameDictionary_add(name, &id));
    start.push_back(id);
  }
  for (const char* name : {"wide", "mixed", "base 2", "w9"}) {
    for (uint64_t held = 0; held <= start.size(); ++held) {
      StringList* grown = nullptr;
      ASSERT_OK(StringList_new(&grown, 0));
      for (uint64_t i = 0; i < held; ++i) EXPECT_OK(StringList_addId(grown, start[i]));
      ASSERT_OK(RegionName_expandInMap(name, w.m_map, grown));
      for (uint64_t capacity : {uint64_t(0), held, held + 1, uint64_t(4), uint64_t(30)}) {
        if (capacity < held) continue;
        for (int atlas = 0; atlas < 2; ++atlas) {
          StringList* list = nullptr;
          if (capacity == held) {
            ASSERT_OK(StringList_newFromIds(&list, start.data(), held));
          } else {
            ASSERT_OK(StringList_new(&list, capacity));
            for (uint64_t i = 0; i < held; ++i) EXPECT_OK(StringList_addId(list, start[i]));
          }
          const std::vector<std::string> was = namesOf(list);
          RegionMemory_failAfter(0, 1);
          RegionStatus* s = atlas ? RegionName_expandInAtlas(name, w.m_atlas, list) : RegionName_expandInMap(name, w.m_map, list);
          RegionMemory_failAfter(-1, 0);
          if (RegionStatus_isError(s)) {
            EXPECT_EQ(RegionStatus_getCode(s), uint64_t(RS_NO_MEMORY));
            EXPECT_EQ(namesOf(list), was) << name << " " << held << " " << capacity;
            s = atlas ? RegionName_expandInAtlas(name, w.m_atlas, list) : RegionName_expandInMap(name, w.m_map, list);
          }
          EXPECT_OK(s);
          EXPECT_EQ(namesOf(list), namesOf(grown)) << name << " " << held << " " << capacity << " " << atlas;
          EXPECT_EQ(list->m_flags & STRING_LIST_SORTED, grown->m_flags & STRING_LIST_SORTED) << name;
          StringList_delete(&list);
        }
      }
      StringList_delete(&grown);
    }
  }
}

}  // namespace
