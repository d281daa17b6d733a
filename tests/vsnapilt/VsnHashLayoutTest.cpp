// Chains laid out late are the chains laid out at once: a table that replays its insertions and
// resizes when looked at, against the table's rules written out plainly and against tables that
// lay out at every step or never defer at all.
#include "vsnHash.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

int32_t firstLetter(int32_t size, const char* key) { return (key[0] & 0x7f) % size; }

// A function that strays outside the table: the table folds it back.
int32_t straying(int32_t size, const char* key) { return -3 * static_cast<int32_t>(strlen(key)) - size; }

// The layout rules, one list per bucket: a new key goes second in its bucket (first in an empty
// one); a removal keeps the order of the rest; a resize moves, bucket by bucket, every entry but
// the first of each chain, and then the first ones, each placed as a new key.
struct EagerModel {
  using Entry = std::pair<std::string, void*>;
  vsnHashFunction m_hash = vsnHashString;
  int32_t m_size = 41;
  int32_t m_count = 0;
  std::vector<std::vector<Entry>> m_chains = std::vector<std::vector<Entry>>(41);

  int32_t bucket(const std::string& key, int32_t size) const {
    int32_t b = m_hash(size, key.c_str());
    if (b < 0 || b >= size) {
      b %= size;
      if (b < 0) b += size;
    }
    return b;
  }
  void place(std::vector<std::vector<Entry>>& chains, int32_t size, const Entry& e) const {
    std::vector<Entry>& c = chains[bucket(e.first, size)];
    c.insert(c.empty() ? c.begin() : c.begin() + 1, e);
  }
  void resize(int64_t n) {
    int32_t size = vsnPrimeAtLeast(n);
    if (size == 0) size = vsnPrimeScale[VSN_PRIME_COUNT - 1];
    std::vector<std::vector<Entry>> fresh(static_cast<size_t>(size));
    for (const auto& c : m_chains) {
      for (size_t i = 1; i < c.size(); ++i) place(fresh, size, c[i]);
    }
    for (const auto& c : m_chains) {
      if (!c.empty()) place(fresh, size, c[0]);
    }
    m_chains.swap(fresh);
    m_size = size;
  }
  void reserve(int64_t extra) {
    int64_t n = (m_count + std::max<int64_t>(extra, 0)) / 3;
    if (m_size > 0 && n > m_size) resize(2 * n);
  }
  Entry* find(const std::string& key) {
    if (m_size == 0) return nullptr;
    for (Entry& e : m_chains[bucket(key, m_size)]) {
      if (e.first == key) return &e;
    }
    return nullptr;
  }
  void insert(const std::string& key, void* value) {
    if (m_size == 0) {
      m_size = 41;
      m_chains.assign(41, {});
    }
    reserve(0);
    if (Entry* e = find(key)) {
      e->second = value;
      return;
    }
    place(m_chains, m_size, Entry(key, value));
    ++m_count;
  }
  bool remove(const std::string& key, void** value) {
    if (m_size == 0) return false;
    std::vector<Entry>& c = m_chains[bucket(key, m_size)];
    for (auto it = c.begin(); it != c.end(); ++it) {
      if (it->first == key) {
        *value = it->second;
        c.erase(it);
        --m_count;
        return true;
      }
    }
    return false;
  }
  void setFunction(vsnHashFunction function) {
    m_hash = function ? function : vsnHashString;
    if (m_size > 0 && m_count > 0) resize(m_size);
  }
  void clear() {
    m_size = 0;
    m_count = 0;
    m_chains.clear();
  }
  // Every chain as "bucket: key=value/count ...", empty buckets left out.
  std::string layout() const {
    std::string out;
    for (size_t b = 0; b < m_chains.size(); ++b) {
      const auto& c = m_chains[b];
      if (c.empty()) continue;
      out += std::to_string(b) + ":";
      for (size_t i = 0; i < c.size(); ++i) {
        out += " " + c[i].first + "=" + std::to_string(reinterpret_cast<intptr_t>(c[i].second)) + "/" +
               std::to_string(c.size() - i);
      }
      out += "\n";
    }
    return out;
  }
};

// The table's chains in the model's form, laid out first.
std::string layoutOf(vsnHash* t) {
  EXPECT_EQ(vsnHashLayOut(t), 1);
  std::string out;
  for (int32_t b = 0; t->m_buckets && b < t->m_size; ++b) {
    if (!t->m_buckets[b].m_key) continue;
    out += std::to_string(b) + ":";
    for (const vsnHashNode* p = &t->m_buckets[b]; p && p->m_key; p = p->m_next) {
      out += " " + std::string(p->m_key) + "=" + std::to_string(reinterpret_cast<intptr_t>(p->m_value)) + "/" +
             std::to_string(p->m_count);
    }
    out += "\n";
  }
  return out;
}

std::string statisticsOf(vsnHash* t) {
  testing::internal::CaptureStdout();
  int32_t filled = vsnHashStatistics(t, 2);
  return std::to_string(filled) + "\n" + testing::internal::GetCapturedStdout();
}

// Paths alike and of many lengths (so that keys hashed together end at different bytes), short
// keys, the empty key and bytes the hash treats apart (126, 127, above 127).
std::vector<std::string> keyPool(std::mt19937& rng, int n) {
  std::vector<std::string> keys;
  for (int i = 0; i < n; ++i) {
    switch (rng() % 4) {
      case 0:
        keys.push_back("/FLOW/DOMAIN:d" + std::to_string(rng() % 50) + "/BOUNDARY:b" + std::to_string(rng() % 200) +
                       (rng() % 2 ? "/Location" : ""));
        break;
      case 1:
        keys.push_back("k" + std::to_string(rng() % 5000));
        break;
      case 2: {
        std::string k;
        for (int j = static_cast<int>(rng() % 70); j > 0; --j) k.push_back(static_cast<char>(1 + rng() % 255));
        keys.push_back(k);
        break;
      }
      default:
        keys.push_back("/A~" + std::to_string(rng() % 300) + "\x7f\xc8");
        break;
    }
  }
  keys.push_back("");
  return keys;
}

// Four tables through one random history: one that lays out only when something looks (and
// whenever the history looks), one laid out after every step, one that never keeps an index
// (given its first entry through vsnHashAddNew), and the model. Every answer, size and count
// agrees at every step; chains and statistics agree bucket by bucket whenever compared.
TEST(VsnHashLayout, LateLayoutsEqualTheEagerTableThroughEveryOperation) {
  std::mt19937 rng(29);
  std::vector<std::string> keys = keyPool(rng, 2500);
  vsnHash* late = vsnHashNew(1);
  vsnHash* stepwise = vsnHashNew(1);
  vsnHash* eager = vsnHashNew(1);
  EagerModel model;
  // The eager table: its first entry through vsnHashAddNew, which drops the index for good.
  auto seed = [&]() {
    vsnHashInsert(late, "/seed", late);
    vsnHashInsert(stepwise, "/seed", late);
    model.insert("/seed", late);
    ASSERT_EQ(vsnHashAddNew(eager, model.bucket("/seed", eager->m_size), "/seed", 5, late), 1);
    ASSERT_EQ(eager->m_index, nullptr);
  };
  seed();
  int layouts = 0, replayedResizes = 0;
  for (int step = 0; step < 30000; ++step) {
    const std::string& k = keys[rng() % keys.size()];
    void* v = reinterpret_cast<void*>(static_cast<intptr_t>(rng() % 1000 + 1));
    unsigned op = rng() % 1000;
    if (op < 450) {
      ASSERT_EQ(vsnHashInsert(late, k.c_str(), v), 1);
      ASSERT_EQ(vsnHashInsert(stepwise, k.c_str(), v), 1);
      ASSERT_EQ(vsnHashInsert(eager, k.c_str(), v), 1);
      model.insert(k, v);
    } else if (op < 600) {
      EagerModel::Entry* e = model.find(k);
      void* expected = e ? e->second : nullptr;
      ASSERT_EQ(vsnHashLookup(late, k.c_str()), expected) << step;
      ASSERT_EQ(vsnHashLookup(stepwise, k.c_str()), expected) << step;
      ASSERT_EQ(vsnHashLookup(eager, k.c_str()), expected) << step;
    } else if (op < 730) {
      void* expected = nullptr;
      void* a = nullptr;
      void* b = nullptr;
      void* c = nullptr;
      int removed = model.remove(k, &expected) ? 1 : 0;
      ASSERT_EQ(vsnHashRemove(late, k.c_str(), &a), removed) << step;
      ASSERT_EQ(vsnHashRemove(stepwise, k.c_str(), &b), removed) << step;
      ASSERT_EQ(vsnHashRemove(eager, k.c_str(), &c), removed) << step;
      ASSERT_EQ(a, expected);
      ASSERT_EQ(b, expected);
      ASSERT_EQ(c, expected);
    } else if (op < 760) {
      int64_t extra = rng() % 8 == 0 ? static_cast<int64_t>(rng() % 20000) : static_cast<int64_t>(rng() % 400) - 20;
      ASSERT_EQ(vsnHashReserve(late, extra), vsnHashReserve(eager, extra));
      vsnHashReserve(stepwise, extra);
      model.reserve(extra);
    } else if (op < 780) {
      // Explicit resizes, smaller ones too.
      int64_t n = static_cast<int64_t>(rng() % 3000);
      if (model.m_size > 0) {
        ASSERT_EQ(vsnHashResize(late, n), 1);
        ASSERT_EQ(vsnHashResize(stepwise, n), 1);
        ASSERT_EQ(vsnHashResize(eager, n), 1);
        model.resize(n);
      }
    } else if (op < 830) {
      replayedResizes += late->m_resizeCount;
      ++layouts;
      ASSERT_EQ(layoutOf(late), model.layout()) << step;
      ASSERT_EQ(statisticsOf(late), statisticsOf(eager)) << step;
    } else if (op < 860) {
      // The tree update's way in: a bucket worked out by the caller.
      if (model.m_size > 0 && model.m_hash == vsnHashString) {
        EagerModel::Entry* e = model.find(k);
        int32_t b = vsnHashString(model.m_size, k.c_str());
        ASSERT_EQ(vsnHashLookupIn(late, b, k.c_str(), k.size()), e ? e->second : nullptr) << step;
        ASSERT_NE(late->m_buckets, nullptr);
      }
    } else if (op < 863) {
      vsnHashFunction f = rng() % 3 == 0 ? nullptr : rng() % 2 ? firstLetter : straying;
      ASSERT_EQ(vsnHashSetFunction(late, f), 1);
      ASSERT_EQ(vsnHashSetFunction(stepwise, f), 1);
      ASSERT_EQ(vsnHashSetFunction(eager, f), 1);
      model.setFunction(f);
    } else if (op < 864) {
      vsnHashClear(late);
      vsnHashClear(stepwise);
      vsnHashClear(eager);
      model.clear();
      // The eager table starts again as new, keeping its function, and is given its first entry
      // the way that keeps it eager.
      vsnHashFunction f = eager->m_hash;
      ASSERT_EQ(vsnHashInit(eager, 1), 1);
      eager->m_hash = f;
      seed();
    }
    ASSERT_EQ(vsnHashLayOut(stepwise), model.m_size > 0 ? 1 : 0);
    ASSERT_EQ(late->m_numEntries, model.m_count) << step;
    ASSERT_EQ(stepwise->m_numEntries, model.m_count) << step;
    ASSERT_EQ(eager->m_numEntries, model.m_count) << step;
    ASSERT_EQ(late->m_size, model.m_size) << step;
    ASSERT_EQ(stepwise->m_size, model.m_size) << step;
    ASSERT_EQ(eager->m_size, model.m_size) << step;
    if (step % 500 == 499) {
      std::string expected = model.layout();
      ASSERT_EQ(layoutOf(stepwise), expected) << step;
      ASSERT_EQ(layoutOf(eager), expected) << step;
    }
  }
  EXPECT_EQ(eager->m_index, nullptr);
  EXPECT_NE(late->m_index, nullptr);
  // The history looked often enough, and late layouts replayed resizes.
  EXPECT_GT(layouts, 800);
  EXPECT_GT(replayedResizes, 20);
  ASSERT_EQ(layoutOf(late), model.layout());
  EXPECT_EQ(statisticsOf(late), statisticsOf(stepwise));
  vsnHashFree(late);
  vsnHashFree(stepwise);
  vsnHashFree(eager);
}

// Long runs of insertions and growths never looked at, then laid out once, at sizes up to a
// million buckets: the buckets worked out several keys at a time are those of the plain hash.
TEST(VsnHashLayout, LongUnobservedHistoriesLayOutAsTheyHappened) {
  std::mt19937 rng(31);
  std::vector<std::string> keys = keyPool(rng, 6000);
  for (int64_t reserve : {0, 900000, 40000}) {
    vsnHash* t = vsnHashNew(1);
    EagerModel model;
    for (size_t i = 0; i < keys.size(); ++i) {
      void* v = reinterpret_cast<void*>(static_cast<intptr_t>(i + 1));
      ASSERT_EQ(vsnHashInsert(t, keys[i].c_str(), v), 1);
      model.insert(keys[i], v);
      if (i == keys.size() / 2 && reserve > 0) {
        ASSERT_EQ(vsnHashReserve(t, reserve), 1);
        model.reserve(reserve);
      }
    }
    EXPECT_EQ(t->m_buckets, nullptr);
    EXPECT_GE(t->m_resizeCount, 2);
    ASSERT_EQ(t->m_size, model.m_size);
    ASSERT_EQ(layoutOf(t), model.layout()) << reserve;
    EXPECT_EQ(t->m_resizeCount, 0);
    EXPECT_EQ(t->m_pending, nullptr);
    // Every entry stays findable through the index after the entries moved.
    for (size_t i = 0; i < keys.size(); ++i) {
      EagerModel::Entry* e = model.find(keys[i]);
      ASSERT_NE(e, nullptr);
      ASSERT_EQ(vsnHashLookup(t, keys[i].c_str()), e->second);
    }
    vsnHashFree(t);
  }
}

} // namespace
