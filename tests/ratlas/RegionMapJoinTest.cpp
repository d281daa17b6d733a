// A map that enters an atlas holding no other map, or leaves one it is alone in, does so in one
// pass; every other join takes every definition out and puts it back. Two worlds built by the
// same random changes, one joining in one pass and one the general way, must agree in every
// table (bucket by bucket), record, set of references, component list, text, resolution and in
// what the atlas's name hook hears, after every join and every leave.
#include "RegionAtlasText.h"
#include "RegionNameRecord.h"
#include "RegionTestSupport.h"

#include <random>
#include <sstream>

using namespace region_test;

namespace {

const int kNames = 160;

std::string poolName(int i) { return "join " + std::to_string(i); }

void hook(void* object, int operation, const char* name) {
  *static_cast<std::string*>(object) += std::to_string(operation) + " " + name + "\n";
}

struct JoinWorld {
  RegionAtlas* m_atlas = nullptr;
  RegionMap* m_map = nullptr;
  RegionMap* m_other = nullptr;  // at times in the atlas too: then every join takes the general way
  std::string m_heard;
  int m_onePass = 1;
  int m_carried = 1;  // RegionMap_setCarriedLookups while this world changes

  void open(int onePass, const char* name) {
    m_onePass = onePass;
    ASSERT_OK(RegionAtlas_new(&m_atlas, name));
    ASSERT_OK(RegionMap_new(&m_map, name));
    ASSERT_OK(RegionMap_new(&m_other, "other"));
    ASSERT_OK(RegionAtlas_setNameManager(m_atlas, &m_heard, hook));
    // The other map defines names of its own from the same pool of primitives.
    for (int i = 0; i < 30; ++i) {
      std::string own = "other " + std::to_string(i), a = poolName(i * 5 % kNames), b = poolName((i * 7 + 3) % kNames);
      const char* list[] = {a.c_str(), b.c_str()};
      RegionDefinition* d = nullptr;
      ASSERT_OK(RegionDefinition_new(&d, own.c_str(), RC_UNION, list, nullptr, 2, 0));
      ASSERT_OK(RegionMap_addRegionDefinition(m_other, d));
    }
  }

  RegionDefinition* definition(const std::string& name) {
    RegionDefinition* d = nullptr;
    RegionMap_regionDefinitionFromName(m_map, name.c_str(), &d);
    return d;
  }

  std::string join(uint32_t type) {
    RegionMap_setOnePassJoins(m_onePass);
    RegionStatus* s = RegionAtlas_addMap(m_atlas, m_map, type);
    RegionMap_setOnePassJoins(1);
    return textOf(s);
  }

  std::string moveOther(uint32_t type) {
    RegionMap_setOnePassJoins(m_onePass);
    RegionStatus* s = m_other->m_atlas ? RegionAtlas_removeMap(m_atlas, m_other) : RegionAtlas_addMap(m_atlas, m_other, type);
    RegionMap_setOnePassJoins(1);
    return textOf(s);
  }

  std::string leave() {
    RegionMap_setOnePassJoins(m_onePass);
    RegionStatus* s = RegionAtlas_removeMap(m_atlas, m_map);
    RegionMap_setOnePassJoins(1);
    return textOf(s);
  }

  static void list(std::ostringstream& out, const char* what, const StringList* l) {
    out << what << ":";
    if (!l) {
      out << " none\n";
      return;
    }
    for (uint64_t i = 0; i < l->m_count; ++i) out << " " << l->m_items[i];
    out << " flags " << int(l->m_flags) << " cursor " << l->m_cursor << "\n";
  }

  std::string slotName(const RegionMap* m) const { return !m ? "-" : m == m_map ? "map" : m == m_other ? "other" : "?"; }

  void table(std::ostringstream& out, const char* what, const RegionHashTable* t) {
    out << what << " " << t->m_count << "\n";
    for (uint64_t b = 0; b < t->m_size; ++b) {
      if (!t->m_buckets[b]) continue;
      out << " " << b << ":";
      for (const RegionHashNode* n = t->m_buckets[b]; n; n = n->m_next) out << " " << static_cast<const RegionNameRecord*>(n->m_entry)->m_id;
      out << "\n";
    }
    for (uint64_t b = 0; b < t->m_size; ++b) {
      for (const RegionHashNode* n = t->m_buckets[b]; n; n = n->m_next) {
        const RegionNameRecord* r = static_cast<const RegionNameRecord*>(n->m_entry);
        out << "record " << r->m_id << " explicit " << r->m_explicit;
        for (int i = 0; i < REGION_NAME_MAP_SLOTS; ++i) out << " " << slotName(r->m_explicitMaps[i]) << "/" << slotName(r->m_inheritingMaps[i]);
        const RegionDefinition* d = r->m_definition;
        if (d) {
          out << " defines " << RegionDefinition_id(d) << " in " << slotName(d->m_map) << " kind " << d->m_combination
              << (d->m_nameRecord == r ? " own" : " other") << "\n";
          list(out, " a", d->m_listA);
          list(out, " b", d->m_listB);
        } else {
          out << "\n";
        }
        // The order inside a reference list is the library's own business: a set.
        std::vector<uint64_t> references;
        if (r->m_references) references.assign(r->m_references->m_items, r->m_references->m_items + r->m_references->m_count);
        std::sort(references.begin(), references.end());
        out << " references:";
        for (uint64_t id : references) out << " " << id;
        out << "\n";
      }
    }
  }

  // Records of the maps in the atlas that are not the atlas's own record of their name (none
  // may be: an add asks the atlas first and trusts it for the maps' tables).
  int strays() const {
    int count = 0;
    for (const RegionMap* m : {m_map, m_other}) {
      if (m->m_atlas != m_atlas) continue;
      for (const RegionHashTable* t : {m->m_definitions, m->m_names}) {
        for (uint64_t b = 0; b < t->m_size; ++b) {
          for (const RegionHashNode* n = t->m_buckets[b]; n; n = n->m_next) {
            const RegionNameRecord* r = static_cast<const RegionNameRecord*>(n->m_entry);
            count += RegionAtlas_record(m_atlas, r->m_id) != r;
          }
        }
      }
    }
    return count;
  }

  std::string state() {
    std::ostringstream out;
    out << "atlas " << (m_map->m_atlas == m_atlas) << " type " << m_map->m_type << " slots " << slotName(m_atlas->m_zyrMap)
        << slotName(m_atlas->m_primaryMap) << slotName(m_atlas->m_secondaryMap) << "\n";
    table(out, "definitions", m_map->m_definitions);
    table(out, "names", m_map->m_names);
    table(out, "atlas names", m_atlas->m_names);
    table(out, "other definitions", m_other->m_definitions);
    table(out, "other names", m_other->m_names);
    const char* text = nullptr;
    out << textOf(RegionMap_getVSN(m_map, 1, &text)) << (text ? text : "") << "\n";
    if (m_map->m_atlas) {
      out << textOf(RegionAtlas_getVSN(m_atlas, &text)) << (text ? text : "") << "\n";
      // Resolutions, each twice (cold and from the cache).
      for (int i = 0; i < kNames; ++i) {
        for (int twice = 0; twice < 2; ++twice) {
          char** names = nullptr;
          uint64_t count = 0;
          RegionStatus* s = RegionAtlas_resolveName(m_atlas, poolName(i).c_str(), &names, &count);
          out << i << " " << textOf(s) << ":";
          for (const std::string& n : takeNames(names, count)) out << " " << n;
          out << "\n";
        }
      }
    }
    out << "heard\n" << m_heard;
    return out.str();
  }
};

// One random change, applied alike to both worlds. With moves, definitions also go from one map
// to the other and names the other map defines are defined again.
void change(std::mt19937& random, JoinWorld* worlds, bool moves = false) {
  auto pick = [&](int n) { return int(random() % uint32_t(n)); };
  std::string name = poolName(pick(kNames));
  int what = pick(moves ? 12 : 10);
  if (moves && pick(4) == 0 && worlds[0].m_other->m_atlas) name = "other " + std::to_string(pick(30));
  struct Carried {
    ~Carried() { RegionMap_setCarriedLookups(1); }
  } restore;
  if (what >= 10) {
    for (int w = 0; w < 2; ++w) {
      RegionMap_setCarriedLookups(worlds[w].m_carried);
      RegionDefinition* d = worlds[w].definition(name);
      RegionMap* to = worlds[w].m_other;
      if (!d) RegionMap_regionDefinitionFromName(worlds[w].m_other, name.c_str(), &d), to = worlds[w].m_map;
      if (d) worlds[w].m_heard += "move " + textOf(RegionMap_addRegionDefinition(to, d)) + "\n";
    }
  } else if (what < 5) {
    static const int32_t kinds[] = {RC_UNION, RC_INTERSECTION, RC_DIFFERENCE, RC_SYMMETRIC_DIFFERENCE, RC_ALIAS};
    int32_t kind = kinds[pick(5)];
    std::vector<std::string> a, b;
    for (int i = 0, n = kind == RC_ALIAS ? 1 : 1 + pick(6); i < n; ++i) a.push_back(poolName(pick(kNames)));
    for (int i = 0, n = 1 + pick(3); i < n; ++i) b.push_back(poolName(pick(kNames)));
    RegionMap* const into = moves && pick(3) == 0 ? worlds[0].m_other : worlds[0].m_map;
    for (int w = 0; w < 2; ++w) {
      RegionMap_setCarriedLookups(worlds[w].m_carried);
      RegionDefinition* d = nullptr;
      // A definition naming itself is refused at once, alike in both.
      if (RegionStatus_isError(defineFrom(&d, name, kind, a, b)))
        continue;
      RegionStatus* s = RegionMap_addRegionDefinition(into == worlds[0].m_map ? worlds[w].m_map : worlds[w].m_other, d);
      worlds[w].m_heard += "add " + textOf(s) + "\n";
      if (RegionStatus_isError(s)) RegionDefinition_delete(&d);
    }
  } else if (what < 7) {
    // Components added and taken away (lists and reference lists out of order).
    std::string other = poolName(pick(kNames));
    const char* n = other.c_str();
    int add = pick(3);
    int side = 1 + pick(2);
    for (int w = 0; w < 2; ++w) {
      RegionMap_setCarriedLookups(worlds[w].m_carried);
      RegionDefinition* d = worlds[w].definition(name);
      if (!d) continue;
      int s = RegionDefinition_isTwoSidedCombination(d->m_combination) ? side : 1;
      RegionDefinition_modifyComponents(d, add ? RO_ADD : RO_REMOVE, s, &n, 1);
    }
  } else if (what < 8) {
    for (int w = 0; w < 2; ++w) {
      RegionDefinition* d = worlds[w].definition(name);
      if (d) RegionDefinition_delete(&d);
    }
  } else {
    bool add = pick(3) != 0;
    for (int w = 0; w < 2; ++w) {
      RegionMap_setCarriedLookups(worlds[w].m_carried);
      if (add) RegionMap_addExplicitPrimitive(worlds[w].m_map, name.c_str());
      else RegionMap_removeExplicitPrimitive(worlds[w].m_map, name.c_str());
    }
  }
}

TEST(RegionMapJoin, OnePassJoinsLeaveWhatTheGeneralWayLeaves) {
  std::mt19937 random(4242);
  JoinWorld worlds[2];
  worlds[0].open(1, "join");
  worlds[1].open(0, "join");
  const uint32_t types[] = {REGION_MAP_ZYR, REGION_MAP_PRIMARY, REGION_MAP_SECONDARY};
  for (int round = 0; round < 24 && !::testing::Test::HasFailure(); ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    for (int i = 0; i < 60; ++i) change(random, worlds);
    ASSERT_EQ(worlds[0].state(), worlds[1].state());
    uint32_t type = types[random() % 3], otherType = types[random() % 3];
    // The other map comes in before, after or not at all, and goes before or after.
    const int other = int(random() % 3), otherLeaves = int(random() % 2);
    if (other == 0) ASSERT_EQ(worlds[0].moveOther(otherType), worlds[1].moveOther(otherType));
    ASSERT_EQ(worlds[0].join(type), worlds[1].join(type));
    ASSERT_EQ(worlds[0].state(), worlds[1].state());
    if (other == 1) ASSERT_EQ(worlds[0].moveOther(otherType), worlds[1].moveOther(otherType));
    // Changes inside the atlas, then out again.
    for (int i = 0; i < 20; ++i) change(random, worlds);
    ASSERT_EQ(worlds[0].state(), worlds[1].state());
    if (otherLeaves && worlds[0].m_other->m_atlas) ASSERT_EQ(worlds[0].moveOther(otherType), worlds[1].moveOther(otherType));
    ASSERT_EQ(worlds[0].leave(), worlds[1].leave());
    ASSERT_EQ(worlds[0].state(), worlds[1].state());
    if (worlds[0].m_other->m_atlas) ASSERT_EQ(worlds[0].moveOther(otherType), worlds[1].moveOther(otherType));
    ASSERT_EQ(worlds[0].state(), worlds[1].state());
  }
  for (JoinWorld& w : worlds) {
    RegionMap_delete(&w.m_map, 1);
    RegionMap_delete(&w.m_other, 1);
    EXPECT_OK(RegionAtlas_delete(&w.m_atlas, 1));
  }
}

// An add uses what its check found of the name instead of searching the tables again, and in an
// atlas asks the atlas before the map's tables: two worlds, one searching every table, must agree in every table, record, text, resolution and answer
// (messages of refused adds included), with the other map below, above or outside, definitions
// moving between the maps and names of one map defined again in the other.
TEST(RegionMapJoin, AddsUsingTheirChecksLookupsLeaveWhatSearchingAgainLeaves) {
  std::mt19937 random(777);
  JoinWorld worlds[2];
  worlds[0].open(1, "carry");
  worlds[1].open(1, "carry");
  worlds[1].m_carried = 0;
  int together = 0;
  for (int round = 0; round < 24 && !::testing::Test::HasFailure(); ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    for (int i = 0; i < 30; ++i) change(random, worlds);
    ASSERT_EQ(worlds[0].state(), worlds[1].state());
    // The map alone, or with the other map (which may be refused) in a slot above it.
    const bool zyr = random() % 2 != 0;
    const uint32_t type = zyr ? REGION_MAP_ZYR : REGION_MAP_PRIMARY;
    const uint32_t otherType = zyr && random() % 2 ? REGION_MAP_PRIMARY : REGION_MAP_SECONDARY;
    ASSERT_EQ(worlds[0].join(type), worlds[1].join(type));
    if (random() % 4 != 0) ASSERT_EQ(worlds[0].moveOther(otherType), worlds[1].moveOther(otherType));
    together += worlds[0].m_map->m_atlas && worlds[0].m_other->m_atlas;
    for (int step = 0; step < 8; ++step) {
      for (int i = 0; i < 12; ++i) change(random, worlds, worlds[0].m_other->m_atlas != nullptr);
      ASSERT_EQ(worlds[0].state(), worlds[1].state());
      ASSERT_EQ(worlds[0].strays(), 0);
    }
    // Names of the pool the other map came to define would keep it out of later rounds.
    for (JoinWorld& w : worlds) {
      for (int i = 0; i < kNames; ++i) {
        RegionDefinition* d = nullptr;
        RegionMap_regionDefinitionFromName(w.m_other, poolName(i).c_str(), &d);
        if (d) ASSERT_OK(RegionDefinition_delete(&d));
      }
    }
    if (worlds[0].m_other->m_atlas) ASSERT_EQ(worlds[0].moveOther(otherType), worlds[1].moveOther(otherType));
    ASSERT_EQ(worlds[0].leave(), worlds[1].leave());
    ASSERT_EQ(worlds[0].state(), worlds[1].state());
  }
  EXPECT_GE(together, 4);
  // The refusals the checks give were met.
  EXPECT_NE(worlds[0].m_heard.find("already defined"), std::string::npos);
  EXPECT_NE(worlds[0].m_heard.find("Cannot add"), std::string::npos);
  EXPECT_NE(worlds[0].m_heard.find("add No Error."), std::string::npos);
  EXPECT_NE(worlds[0].m_heard.find("move No Error."), std::string::npos);
  for (JoinWorld& w : worlds) {
    RegionMap_delete(&w.m_map, 1);
    RegionMap_delete(&w.m_other, 1);
    EXPECT_OK(RegionAtlas_delete(&w.m_atlas, 1));
  }
}

}  // namespace
