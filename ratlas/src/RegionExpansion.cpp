#include "RegionExpansion.h"

#include "RegionAtlas.h"
#include "RegionDefinition.h"
#include "RegionMap.h"
#include "RegionNameDictionary.h"
#include "RegionNameRecord.h"
#include "ResolutionCache.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace {

// A run of ids that stays valid for one expansion (a memo entry or a cached list).
struct Span {
  const uint64_t* m_ids;
  uint64_t m_count;
};

// A set of ids in one flat open-addressing array: a wide expansion meets every id once, and a
// node allocated per id cost more than the rest of the expansion. A set made for many ids (no
// fewer than a sixty-fourth of the dictionary's) is a bitmap over the ids instead, which takes
// no more memory and no hashing.
struct IdSet {
  std::vector<uint64_t> m_slots;  // id + 1 (dictionary ids never reach UINT64_MAX), 0 when empty
  std::vector<uint64_t> m_bits;   // the bitmap, when m_dense
  bool m_dense = false;
  size_t m_count = 0;

  bool empty() const { return m_count == 0; }
  void reserve(size_t n) {
    if (m_count == 0 && !m_dense && n >= 64) {
      const uint64_t words = RegionNameDictionary_count() / 64 + 1;
      if (words <= 2 * uint64_t(n)) {
        m_dense = true;
        m_slots = std::vector<uint64_t>();
        m_bits.assign(size_t(words), 0);
        return;
      }
    }
    if (!m_dense && 2 * n > m_slots.size()) rehash(2 * n);
  }
  size_t count(uint64_t id) const {
    if (m_dense) {
      const uint64_t word = id >> 6;
      return word < m_bits.size() && (m_bits[size_t(word)] >> (id & 63) & 1) ? 1 : 0;
    }
    if (m_slots.empty()) return 0;
    const size_t mask = m_slots.size() - 1;
    for (size_t i = (id * UINT64_C(0x9E3779B97F4A7C15)) >> 20 & mask;; i = (i + 1) & mask) {
      if (m_slots[i] == 0) return 0;
      if (m_slots[i] == id + 1) return 1;
    }
  }
  // True when the id was not there yet.
  bool insert(uint64_t id) {
    if (m_dense && (id >> 6) < m_bits.size()) {
      uint64_t& word = m_bits[size_t(id >> 6)];
      const uint64_t bit = UINT64_C(1) << (id & 63);
      if (word & bit) return false;
      word |= bit;
      ++m_count;
      return true;
    }
    return insertElsewhere(id);
  }
  __attribute__((noinline)) bool insertElsewhere(uint64_t id) {
    if (m_dense) {
      const uint64_t word = id >> 6;
      if (word >= m_bits.size()) {
        // An id past the dictionary as it was: a bitmap only slightly short grows, else the
        // set goes back to hashing.
        if (word > 2 * uint64_t(m_bits.size()) + 1024) {
          toHashed();
          return insert(id);
        }
        m_bits.resize(size_t(word) + 1, 0);
      }
      const uint64_t bit = UINT64_C(1) << (id & 63);
      if (m_bits[size_t(word)] & bit) return false;
      m_bits[size_t(word)] |= bit;
      ++m_count;
      return true;
    }
    if (2 * (m_count + 1) > m_slots.size()) rehash(2 * (m_count + 1));
    const size_t mask = m_slots.size() - 1;
    for (size_t i = (id * UINT64_C(0x9E3779B97F4A7C15)) >> 20 & mask;; i = (i + 1) & mask) {
      if (m_slots[i] == id + 1) return false;
      if (m_slots[i] == 0) {
        m_slots[i] = id + 1;
        ++m_count;
        return true;
      }
    }
  }
  void rehash(size_t n) {
    size_t size = 16;
    while (size < n) size *= 2;
    std::vector<uint64_t> old(size, 0);
    old.swap(m_slots);
    m_count = 0;
    for (uint64_t v : old)
      if (v != 0) insert(v - 1);
  }
  void toHashed() {
    std::vector<uint64_t> bits;
    bits.swap(m_bits);
    m_dense = false;
    m_count = 0;
    for (size_t w = 0; w < bits.size(); ++w) {
      for (uint64_t word = bits[w]; word; word &= word - 1) insert(uint64_t(w) * 64 + uint64_t(__builtin_ctzll(word)));
    }
  }
};

// Ids in order of first addition, each once.
struct OrderedSet {
  std::vector<uint64_t> m_items;
  IdSet m_seen;
  void add(uint64_t id) {
    if (m_seen.insert(id)) m_items.push_back(id);
  }
  void add(Span span) {
    for (uint64_t i = 0; i < span.m_count; ++i) add(span.m_ids[i]);
  }
};

// One expansion: where names are looked up, and what it has learnt so far.
struct Context {
  RegionMap* m_map = nullptr;
  RegionAtlas* m_atlas = nullptr;
  ResolutionCache* m_cache = nullptr;  // the atlas's own cache: shared results outlive the call
  std::unordered_map<uint64_t, std::vector<uint64_t>> m_memo;  // sets of set operations, without a cache
  std::unordered_set<uint64_t> m_active;  // composites being expanded: meeting one again is a cycle
  int m_nesting = 0;
};

RegionStatus* cycleFailure() { return RegionStatus_fail(RS_INTERNAL, "Region definitions refer to each other in a cycle"); }

RegionStatus* aliasFailure() { return RegionStatus_fail(RS_INTERNAL, "Invalid alias located"); }

RegionDefinition* definitionOf(const Context& c, uint64_t id) {
  // A name no map of the atlas has defined is a primitive there: no record to look at.
  if (c.m_atlas && !RegionAtlas_mayDefine(c.m_atlas, id)) return nullptr;
  RegionNameRecord* record = c.m_atlas ? RegionAtlas_record(c.m_atlas, id) : RegionMap_definedRecord(c.m_map, id);
  RegionDefinition* definition = record ? record->m_definition : nullptr;
  if (!definition || !definition->m_map) return nullptr;
  if (!c.m_atlas && definition->m_map != c.m_map) return nullptr;
  return definition;
}

uint64_t countOf(const StringList* list) { return list ? list->m_count : 0; }

// Union and Alias (and an Intersection of one) pour their components straight into the result;
// the other kinds build a set of their own first.
bool isStraight(const RegionDefinition* d) {
  return d->m_combination == RC_UNION || d->m_combination == RC_ALIAS ||
         (d->m_combination == RC_INTERSECTION && countOf(d->m_listA) <= 1);
}

RegionStatus* setOf(Context& c, uint64_t id, Span* span);

const uint64_t kAhead = 12;

// Expands the components of list into out, depth first in list order, as nested Unions do.
// done holds the composites whose whole set out already has: meeting one again adds nothing.
RegionStatus* expandStraight(Context& c, const StringList* list, OrderedSet& out, IdSet& done) {
  if (list && out.m_seen.empty()) {
    out.m_seen.reserve(size_t(list->m_count));
    out.m_items.reserve(size_t(list->m_count));
  }
  struct Frame {
    const StringList* m_list;
    uint64_t m_position;
    uint64_t m_id;  // the composite whose list this is; 0 for the root list
  };
  std::vector<Frame> stack;
  stack.push_back({list, 0, 0});
  RegionStatus* status = RegionStatus_success();
  while (!stack.empty() && !RegionStatus_isError(status)) {
    Frame& f = stack.back();
    if (!f.m_list || f.m_position >= f.m_list->m_count) {
      if (f.m_id) {
        done.insert(f.m_id);
        c.m_active.erase(f.m_id);
      }
      stack.pop_back();
      continue;
    }
    if (c.m_atlas) {
      // A run of names no map of the atlas defines: primitives (never among the composites
      // done), added straight away.
      const uint64_t* items = f.m_list->m_items;
      const uint64_t count = f.m_list->m_count;
      uint64_t at = f.m_position;
      if (!c.m_atlas->m_definedLost) {
        // (The atlas does not change during an expansion.)
        const uint64_t* defined = c.m_atlas->m_defined;
        const uint64_t words = c.m_atlas->m_definedWords;
        for (; at < count; ++at) {
          const uint64_t id = items[at];
          if ((id >> 6) < words && (defined[id >> 6] >> (id & 63) & 1)) break;
          out.add(id);
        }
      }
      f.m_position = at;
      if (at == count) continue;
      // Records of the names a little further on are fetched meanwhile.
      if (at + kAhead < count && RegionAtlas_mayDefine(c.m_atlas, items[at + kAhead]))
        RegionHashTable_prefetchId(c.m_atlas->m_names, items[at + kAhead]);
    }
    uint64_t id = f.m_list->m_items[f.m_position++];
    if (done.count(id)) continue;
    RegionDefinition* d = definitionOf(c, id);
    if (!d) {
      out.add(id);
      continue;
    }
    if (c.m_active.count(id)) {
      status = cycleFailure();
      break;
    }
    const StringList* cached = c.m_cache ? ResolutionCache_lookup(c.m_cache, id) : nullptr;
    if (cached) {
      out.add(Span{cached->m_items, cached->m_count});
      done.insert(id);
      continue;
    }
    if (isStraight(d)) {
      if (d->m_combination == RC_ALIAS && countOf(d->m_listA) != 1) {
        status = aliasFailure();
        break;
      }
      c.m_active.insert(id);
      stack.push_back({d->m_listA, 0, id});
      continue;
    }
    Span span{nullptr, 0};
    status = setOf(c, id, &span);
    if (RegionStatus_isError(status)) break;
    out.add(span);
    done.insert(id);
  }
  // A failure leaves frames behind: their composites are no longer being expanded.
  for (const Frame& f : stack) {
    if (f.m_id) c.m_active.erase(f.m_id);
  }
  return status;
}

RegionStatus* unionOf(Context& c, const StringList* list, OrderedSet& out) {
  IdSet done;
  return expandStraight(c, list, out, done);
}

// The set of one component of a set operation.
RegionStatus* operandSet(Context& c, uint64_t id, OrderedSet& out) {
  RegionDefinition* d = definitionOf(c, id);
  if (!d) {
    out.add(id);
    return RegionStatus_success();
  }
  if (isStraight(d)) {
    StringList single;
    single.m_items = &id;
    single.m_flags = STRING_LIST_SORTED;
    single.m_capacity = single.m_count = 1;
    single.m_cursor = 0;
    return unionOf(c, &single, out);
  }
  Span span{nullptr, 0};
  RegionStatus* status = setOf(c, id, &span);
  if (!RegionStatus_isError(status)) out.add(span);
  return status;
}

// The set of a set operation, computed once per expansion (or per cache life).
RegionStatus* computeSet(Context& c, const RegionDefinition* d, std::vector<uint64_t>* result) {
  const StringList* a = d->m_listA;
  switch (d->m_combination) {
    case RC_INTERSECTION: {
      OrderedSet acc;
      RegionStatus* status = operandSet(c, a->m_items[0], acc);
      for (uint64_t i = 1; i < a->m_count && !RegionStatus_isError(status); ++i) {
        OrderedSet next;
        status = operandSet(c, a->m_items[i], next);
        if (RegionStatus_isError(status)) break;
        // An empty operand empties the intersection, as it must.
        std::vector<uint64_t> kept;
        for (uint64_t id : acc.m_items) {
          if (next.m_seen.count(id)) kept.push_back(id);
        }
        acc.m_items.swap(kept);
        acc.m_seen = IdSet();
        acc.m_seen.reserve(acc.m_items.size());
        for (uint64_t id : acc.m_items) acc.m_seen.insert(id);
      }
      if (!RegionStatus_isError(status)) result->swap(acc.m_items);
      return status;
    }
    case RC_DIFFERENCE:
    case RC_SYMMETRIC_DIFFERENCE: {
      // Both sides are expanded: a composite in list B takes away what it stands for.
      OrderedSet left, right;
      RegionStatus* status = unionOf(c, a, left);
      if (!RegionStatus_isError(status)) status = unionOf(c, d->m_listB, right);
      if (RegionStatus_isError(status)) return status;
      for (uint64_t id : left.m_items) {
        if (!right.m_seen.count(id)) result->push_back(id);
      }
      if (d->m_combination == RC_SYMMETRIC_DIFFERENCE) {
        for (uint64_t id : right.m_items) {
          if (!left.m_seen.count(id)) result->push_back(id);
        }
      }
      return RegionStatus_success();
    }
    default:
      return RegionStatus_fail(RS_INVALID_COMBINATION, "Invalid combination.");
  }
}

RegionStatus* setOf(Context& c, uint64_t id, Span* span) {
  if (c.m_cache) {
    const StringList* cached = ResolutionCache_lookup(c.m_cache, id);
    if (cached) {
      *span = Span{cached->m_items, cached->m_count};
      return RegionStatus_success();
    }
  } else {
    auto hit = c.m_memo.find(id);
    if (hit != c.m_memo.end()) {
      *span = Span{hit->second.data(), hit->second.size()};
      return RegionStatus_success();
    }
  }
  RegionDefinition* d = definitionOf(c, id);
  if (c.m_active.count(id)) return cycleFailure();
  if (c.m_nesting >= REGION_EXPANSION_MAX_NESTING)
    return RegionStatus_fail(RS_INTERNAL, "Region definitions nest too deeply to be resolved");
  c.m_active.insert(id);
  c.m_nesting += 1;
  std::vector<uint64_t> result;
  RegionStatus* status = computeSet(c, d, &result);
  c.m_nesting -= 1;
  c.m_active.erase(id);
  if (RegionStatus_isError(status)) return status;
  if (c.m_cache) {
    StringList* list = nullptr;
    status = StringList_newFromIds(&list, result.data(), result.size());
    if (!RegionStatus_isError(status)) status = ResolutionCache_store(c.m_cache, id, list);
    const StringList* cached = RegionStatus_isError(status) ? nullptr : ResolutionCache_lookup(c.m_cache, id);
    if (cached) {
      *span = Span{cached->m_items, cached->m_count};
      return RegionStatus_success();
    }
    // Not cached after all: keep it for this expansion.
  }
  std::vector<uint64_t>& kept = c.m_memo[id];
  kept.swap(result);
  *span = Span{kept.data(), kept.size()};
  return RegionStatus_success();
}

// Adds ids to list in order, skipping those it holds.
RegionStatus* appendInOrder(StringList* list, const std::vector<uint64_t>& ids) {
  if (ids.empty()) return RegionStatus_success();
  uint64_t needed = list->m_count + ids.size();
  if (!StringList_reserve(list, needed)) return RegionStatus_outOfMemory("Primitives");
  bool sorted = list->m_count == 0 || (list->m_flags & STRING_LIST_SORTED);
  if (list->m_count == 0) {
    // The ids are distinct already: an empty list takes them as they are.
    memcpy(list->m_items, ids.data(), ids.size() * sizeof(uint64_t));
    list->m_count = ids.size();
    if (std::is_sorted(ids.begin(), ids.end())) list->m_flags |= STRING_LIST_SORTED;
    else list->m_flags &= uint8_t(~STRING_LIST_SORTED);
    return RegionStatus_success();
  }
  std::unordered_set<uint64_t> present(list->m_items, list->m_items + list->m_count);
  for (uint64_t id : ids) {
    if (!present.insert(id).second) continue;
    if (list->m_count > 0 && id < list->m_items[list->m_count - 1]) sorted = false;
    list->m_items[list->m_count++] = id;
  }
  if (sorted) list->m_flags |= STRING_LIST_SORTED;
  else list->m_flags &= uint8_t(~STRING_LIST_SORTED);
  return RegionStatus_success();
}

// A list of names no map of the atlas defines, in ascending order (so each once), expands to
// itself: into an empty result it is copied as it is checked, in one pass without branches on
// the ids. False (the result still empty, if larger) when the list is not such a list.
bool copyPlainPrimitives(const Context& c, const StringList* list, StringList* result, RegionStatus** status) {
  *status = RegionStatus_success();
  if (!c.m_atlas || c.m_atlas->m_definedLost || !c.m_atlas->m_defined || !list || result->m_count != 0) return false;
  const uint64_t count = list->m_count;
  if (count == 0) return true;
  if (!StringList_reserve(result, count)) {
    *status = RegionStatus_outOfMemory("Primitives");
    return true;
  }
  const uint64_t* defined = c.m_atlas->m_defined;
  const uint64_t words = c.m_atlas->m_definedWords;
  const uint64_t* from = list->m_items;
  uint64_t* to = result->m_items;
  // Ids are never 0, so the first one cannot descend from 0. Ids past the bitmap read its
  // last word instead, and fail the check if that word has the bit: a second look decides.
  const uint64_t last = words - 1;
  uint64_t hits = 0, descents = 0, previous = 0;
  for (uint64_t i = 0; i < count; ++i) {
    const uint64_t id = from[i];
    to[i] = id;
    const uint64_t at = id >> 6;
    hits |= defined[at < last ? at : last] >> (id & 63);
    descents |= id <= previous;
    previous = id;
  }
  if (descents != 0) return false;
  if ((hits & 1) != 0) {
    for (uint64_t i = 0; i < count; ++i) {
      if (RegionAtlas_mayDefine(c.m_atlas, from[i])) return false;
    }
  }
  result->m_count = count;
  result->m_flags |= STRING_LIST_SORTED;
  return true;
}

// The primitives of a definition, into result.
RegionStatus* expandDefinition(Context& c, const RegionDefinition* d, StringList* result) {
  RegionStatus* status = RegionStatus_success();
  try {
    uint64_t id = RegionDefinition_id(d);
    // The definition counts as being expanded only where the context knows it under its name;
    // a free definition's own name is just another name.
    bool known = definitionOf(c, id) == d;
    std::vector<uint64_t> primitives;
    if (isStraight(d)) {
      if (d->m_combination == RC_ALIAS && countOf(d->m_listA) != 1) return aliasFailure();
      // What adding the list's ids one by one to an empty result gives, when it holds only
      // primitives.
      if (copyPlainPrimitives(c, d->m_listA, result, &status)) return status;
      OrderedSet out;
      IdSet done;
      if (known) c.m_active.insert(id);
      status = expandStraight(c, d->m_listA, out, done);
      primitives.swap(out.m_items);
    } else if (known) {
      Span span{nullptr, 0};
      status = setOf(c, id, &span);
      if (!RegionStatus_isError(status)) primitives.assign(span.m_ids, span.m_ids + span.m_count);
    } else {
      status = computeSet(c, d, &primitives);
    }
    if (!RegionStatus_isError(status)) status = appendInOrder(result, primitives);
  } catch (const std::bad_alloc&) {
    status = RegionStatus_outOfMemory("Primitives");
  }
  if (RegionStatus_getCode(status) == RS_NO_MEMORY) status = RegionStatus_outOfMemory("Primitives");
  return status;
}

RegionStatus* noResult() { return RegionStatus_fail(RS_BAD_CALL, "Unable to resolve name."); }

RegionStatus* invalidDefinition() { return RegionStatus_fail(RS_INVALID_DEFINITION, "Invalid Region Definition."); }

RegionStatus* expandId(Context& c, uint64_t id, StringList* result) {
  if (!result) return noResult();
  RegionDefinition* d = definitionOf(c, id);
  if (!d) return StringList_addId(result, id);
  return expandDefinition(c, d, result);
}

} // namespace

RegionStatus* RegionName_expandInMap(const char* name, RegionMap* map, StringList* result) {
  if (!result) return noResult();
  RegionDefinition* d = nullptr;
  if (map && !RegionStatus_isError(RegionMap_regionDefinitionFromName(map, name, &d)) && d)
    return RegionDefinition_expandInMap(d, map, result);
  return StringList_add(result, name);
}

RegionStatus* RegionId_expandInMap(uint64_t id, RegionMap* map, StringList* result) {
  if (!result) return noResult();
  if (!map) return StringList_addId(result, id);
  Context c;
  c.m_map = map;
  return expandId(c, id, result);
}

RegionStatus* RegionDefinition_expandInMap(RegionDefinition* definition, RegionMap* map, StringList* result) {
  if (!result) return noResult();
  if (!definition) return invalidDefinition();
  if (!map) return RegionStatus_fail(RS_INVALID_MAP, "Invalid Region Map.");
  Context c;
  c.m_map = map;
  return expandDefinition(c, definition, result);
}

RegionStatus* RegionName_expandInAtlas(const char* name, RegionAtlas* atlas, StringList* result) {
  if (!result) return noResult();
  RegionDefinition* d = nullptr;
  if (atlas && !RegionStatus_isError(RegionAtlas_regionDefinitionFromName(atlas, name, &d)) && d)
    return RegionDefinition_expandInAtlas(d, atlas, result);
  return StringList_add(result, name);
}

RegionStatus* RegionId_expandInAtlas(uint64_t id, RegionAtlas* atlas, StringList* result) {
  if (!result) return noResult();
  if (!atlas) return StringList_addId(result, id);
  Context c;
  c.m_atlas = atlas;
  c.m_cache = atlas->m_cache;
  return expandId(c, id, result);
}

RegionStatus* RegionDefinition_expandInAtlas(RegionDefinition* definition, RegionAtlas* atlas, StringList* result) {
  if (!result) return noResult();
  if (!definition) return invalidDefinition();
  if (!atlas) return RegionStatus_fail(RS_INVALID_ATLAS, "Invalid Region Atlas.");
  Context c;
  c.m_atlas = atlas;
  c.m_cache = atlas->m_cache;
  return expandDefinition(c, definition, result);
}
