// The shortcuts of tree updates give what the long way gives: a hash carried over a prefix, the
// bucket worked out once for a look-up and an insertion, paths taken as canonical without
// resolving them, names taken as clean without cleaning them.
#include "vsnHandle.h"
#include "vsnHash.h"
#include "vsnNameRules.h"
#include "vsnParser.h"
#include "vsnPath.h"
#include "VsnTextSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

std::string randomText(std::mt19937& random, const std::string& alphabet, int maxLength) {
  std::string s;
  int n = static_cast<int>(random() % static_cast<unsigned>(maxLength + 1));
  for (int i = 0; i < n; ++i) s += alphabet[random() % alphabet.size()];
  return s;
}

TEST(VsnHashPieces, HashFedInPiecesEqualsTheWholeKey) {
  std::mt19937 random(7);
  const int32_t sizes[] = {2, 3, 41, 127, 1031, 37307, 12351967, 1000};
  for (int round = 0; round < 4000; ++round) {
    std::string key;
    int n = static_cast<int>(random() % 40);
    for (int i = 0; i < n; ++i) key += static_cast<char>(1 + random() % 255);
    int32_t size = sizes[random() % (sizeof sizes / sizeof sizes[0])];
    vsnHashState state;
    vsnHashStart(&state, size);
    size_t at = 0;
    while (at < key.size()) {
      size_t piece = std::min(key.size() - at, static_cast<size_t>(random() % 6));
      vsnHashFeed(&state, key.data() + at, piece);
      at += piece;
    }
    ASSERT_EQ(state.m_h, vsnHashString(size, key.c_str())) << "size " << size << " key " << key;
  }
}

int32_t firstLetter(int32_t size, const char* key) { return (key[0] & 0x7f) % size; }

void expectSameLayout(vsnHash* a, vsnHash* b);

TEST(VsnHashPieces, StateBucketOnlyForTheSizeAndFunctionItWasMadeFor) {
  vsnHash* t = vsnHashNew(1);
  vsnHashState state;
  vsnHashStart(&state, t->m_size);
  vsnHashFeed(&state, "/FLOW", 5);
  EXPECT_EQ(vsnHashStateBucket(t, &state), vsnHashString(41, "/FLOW"));
  vsnHashStart(&state, 127);
  EXPECT_EQ(vsnHashStateBucket(t, &state), -1);
  vsnHashStart(&state, t->m_size);
  vsnHashSetFunction(t, firstLetter);
  EXPECT_EQ(vsnHashStateBucket(t, &state), -1);
  vsnHashFree(t);
  // A table keeping an index is used the general way even while its chains are laid out.
  t = vsnHashNew(1);
  vsnHashInsert(t, "/FLOW", t);
  ASSERT_EQ(vsnHashLayOut(t), 1);
  vsnHashStart(&state, t->m_size);
  EXPECT_EQ(vsnHashStateBucket(t, &state), -1);
  vsnHashFree(t);
}

// A removal lays the handle's path table out; later updates still go through its index, and
// the table lays out as plain insertions and removals would.
TEST(VsnHashPieces, TreeUpdatesKeepThePathTableIndexedAfterARemoval) {
  vsnHandle* h = createVSNHandle();
  ASSERT_EQ(vsntest::load(h, {"A:", "p = 1", "q = 2", "END"}), nullptr);
  ASSERT_EQ(deleteParamH(h, "/A/q"), nullptr);
  ASSERT_NE(h->m_pathTable->m_buckets, nullptr);
  ASSERT_EQ(vsntest::load(h, {"A:", "r = 3", "END", "B:", "s = 4", "END"}), nullptr);
  EXPECT_NE(h->m_pathTable->m_index, nullptr);
  EXPECT_EQ(h->m_pathTable->m_buckets, nullptr);
  vsnHash* expected = vsnHashNew(1);
  for (const char* path : {"/", "/A", "/A/p", "/A/q"}) vsnHashInsert(expected, path, expected);
  vsnHashRemove(expected, "/A/q", nullptr);
  for (const char* path : {"/A/r", "/B", "/B/s"}) vsnHashInsert(expected, path, expected);
  expectSameLayout(h->m_pathTable, expected);
  EXPECT_NE(vsnHashLookup(h->m_pathTable, "/B/s"), nullptr);
  vsnHashFree(expected);
  destroyVSNHandle(h);
}

// Every bucket holds the same keys in the same chain order with the same counts.
void expectSameLayout(vsnHash* a, vsnHash* b) {
  ASSERT_EQ(vsnHashLayOut(a), 1);
  ASSERT_EQ(vsnHashLayOut(b), 1);
  ASSERT_EQ(a->m_size, b->m_size);
  ASSERT_EQ(a->m_numEntries, b->m_numEntries);
  for (int32_t i = 0; i < a->m_size; ++i) {
    const vsnHashNode* p = &a->m_buckets[i];
    const vsnHashNode* q = &b->m_buckets[i];
    for (; p && q; p = p->m_next, q = q->m_next) {
      ASSERT_EQ(p->m_key == nullptr, q->m_key == nullptr) << "bucket " << i;
      if (p->m_key) {
        ASSERT_STREQ(p->m_key, q->m_key) << "bucket " << i;
        ASSERT_EQ(p->m_count, q->m_count) << "bucket " << i;
      }
    }
    // Spare empty nodes at a chain's end do not count.
    for (; p; p = p->m_next) ASSERT_EQ(p->m_key, nullptr);
    for (; q; q = q->m_next) ASSERT_EQ(q->m_key, nullptr);
  }
}

TEST(VsnHashPieces, LookupInAndAddNewLayOutAsInsert) {
  std::mt19937 random(11);
  vsnHash* plain = vsnHashNew(1);
  vsnHash* quick = vsnHashNew(1);
  for (int i = 0; i < 3000; ++i) {
    std::string key = "/K" + randomText(random, "ab/: ", 8);
    vsnHashInsert(plain, key.c_str(), plain);
    // The way of a tree update: look up in the bucket, grow, then place in the bucket of the
    // size grown to.
    vsnHashState state;
    vsnHashStart(&state, quick->m_size);
    vsnHashFeed(&state, key.data(), key.size());
    int32_t bucket = vsnHashStateBucket(quick, &state);
    if (vsnHashLookupIn(quick, bucket, key.c_str(), key.size())) continue;
    vsnHashReserve(quick, 0);
    if (state.m_size != quick->m_size) {
      vsnHashStart(&state, quick->m_size);
      vsnHashFeed(&state, key.data(), key.size());
    }
    ASSERT_EQ(vsnHashAddNew(quick, vsnHashStateBucket(quick, &state), key.c_str(), key.size(), quick), 1);
  }
  EXPECT_GT(plain->m_size, 41);
  expectSameLayout(plain, quick);
  vsnHashFree(plain);
  vsnHashFree(quick);
}

TEST(VsnNamePaths, CleanNamesAreExactlyThoseCleaningLeavesAlone) {
  std::mt19937 random(3);
  for (int round = 0; round < 20000; ++round) {
    std::string name = randomText(random, "ab \t.", 6);
    std::string cleaned = name;
    vsnCleanName(&cleaned[0]);
    cleaned.resize(strlen(cleaned.c_str()));
    ASSERT_EQ(vsnIsCleanName(name.c_str()), cleaned == name) << "\"" << name << "\"";
  }
}

// Canonical parents and steps from characters that normalising treats specially: a step taken as
// canonical must resolve to itself.
TEST(VsnNamePaths, StepsTakenAsCanonicalResolveToThemselves) {
  vsnHandle* h = createVSNHandle();
  std::mt19937 random(5);
  const std::string alphabet = std::string("ab .:/\\\t\r#~") + "\xc3\xa4" + std::string(1, '\x0b');
  int accepted = 0, parents = 0;
  for (int round = 0; round < 60000; ++round) {
    std::string parent = "/";
    if (random() % 4 != 0) {
      char* full = getFullPath(h, ("/" + randomText(random, alphabet, 12)).c_str());
      ASSERT_NE(full, nullptr);
      parent = full;
      free(full);
      char* again = getFullPath(h, parent.c_str());
      bool fixed = again && parent == again;
      free(again);
      if (!fixed) continue;
    }
    ++parents;
    std::string step = randomText(random, alphabet, 7);
    if (!vsnStepKeepsCanonical(step.c_str(), step.size())) continue;
    ++accepted;
    std::string path = parent == "/" ? "/" + step : parent + "/" + step;
    char* full = getFullPath(h, path.c_str());
    ASSERT_NE(full, nullptr);
    EXPECT_EQ(std::string(full), path) << "parent \"" << parent << "\" step \"" << step << "\"";
    free(full);
  }
  EXPECT_GT(parents, 40000);
  EXPECT_GT(accepted, 3000);
  destroyVSNHandle(h);
}

// The update rules worked the long way: clean the names, build the path from the current path,
// resolve it, and accept it only when it resolves to itself.
struct Expected {
  bool ok;
  std::string path;
};

Expected expectedUpdate(vsnHandle* h, const std::string& type, const std::string& name, int kind) {
  std::string t = type, n = name;
  vsnCleanName(&t[0]);
  t.resize(strlen(t.c_str()));
  vsnCleanName(&n[0]);
  n.resize(strlen(n.c_str()));
  if (kind == VSN_KIND_PARAM) t.clear();
  if (!t.empty() && t == n) n.clear();
  if (kind == VSN_KIND_PARAM ? n.empty() : t.empty()) return {false, ""};
  if (t.find_first_of("/:") != std::string::npos || n.find_first_of("/:") != std::string::npos) return {false, ""};
  std::string current = getCurrentPathH(h);
  std::string step = t.empty() ? n : (n.empty() ? t : t + ":" + n);
  std::string path = current + (current == "/" ? "" : "/") + step;
  char* full = getFullPath(h, path.c_str());
  bool same = full && path == full;
  free(full);
  if (!same) return {false, path};
  vsnEntry* e = findEntryH(h, path.c_str());
  if (e && (e->m_kind == VSN_KIND_PARAM) != (kind == VSN_KIND_PARAM)) return {false, path};
  return {true, path};
}

TEST(VsnNamePaths, UpdatesAcceptExactlyThePathsThatResolveToThemselves) {
  std::mt19937 random(13);
  const std::string alphabet = "ab .:/\t\\";
  int made = 0;
  for (int round = 0; round < 6000; ++round) {
    vsnHandle* h = createVSNHandle();
    // Current paths of every origin: made by updates (known canonical), pushed as given, or
    // changed to text that is not canonical.
    ASSERT_NE(vsnUpdateObject(h, nullptr, "A", nullptr, nullptr, VSN_KIND_SINGLETON, 0), nullptr);
    ASSERT_NE(vsnUpdateObject(h, getCurrentObjectH(h), "B", "x y", nullptr, VSN_KIND_OBJECT, 0), nullptr);
    ASSERT_NE(vsnUpdateObject(h, getCurrentObjectH(h), nullptr, "p", "1", VSN_KIND_PARAM, 0), nullptr);
    switch (random() % 5) {
      case 0: popPath(h); break;
      case 1: popPath(h), popPath(h); break;
      case 2: vsnPushPath(h, "/A/B:x y"); break;
      case 3: vsnChangePath(h, ("/A/" + randomText(random, alphabet, 4)).c_str()); break;
      default: break;
    }
    std::string type = randomText(random, alphabet + "p", 4);
    std::string name = randomText(random, alphabet + "p", 4);
    int kind = 1 + static_cast<int>(random() % 3);
    Expected expected = expectedUpdate(h, type, name, kind);
    vsnEntry* parent = getCurrentObjectH(h);
    if (parent && parent->m_kind == VSN_KIND_PARAM) parent = nullptr;
    vsnEntry* got = vsnUpdateObject(h, parent, type.c_str(), name.c_str(), "v", kind, 0);
    ASSERT_EQ(got != nullptr, expected.ok) << "type \"" << type << "\" name \"" << name << "\" kind " << kind
                                           << " under \"" << expected.path << "\"";
    if (expected.ok) {
      ++made;
      vsnEntry* e = findEntryH(h, expected.path.c_str());
      ASSERT_NE(e, nullptr) << expected.path;
      EXPECT_EQ(vsnHashLookup(h->m_pathTable, expected.path.c_str()), e);
      if (kind != VSN_KIND_PARAM) EXPECT_EQ(std::string(getCurrentPathH(h)), expected.path);
    }
    destroyVSNHandle(h);
  }
  EXPECT_GT(made, 1000);
}

// Path tables rebuilt from the creations and removals that loads report, in order, with
// vsnHashInsert and vsnHashRemove: the tables the loads made are laid out the same.
struct Replay {
  struct Event {
    bool insert;
    std::string path;
  };
  std::vector<Event> events;
};

void recordEvent(const char* path, int code, const char* newValue, const char* oldValue, void* context) {
  auto* r = static_cast<Replay*>(context);
  if (code == VSN_CHANGE_CREATED || (code == VSN_CHANGE_VALUE && !oldValue)) r->events.push_back({true, path});
  if (code == VSN_CHANGE_DELETED || (code == VSN_CHANGE_VALUE && !newValue)) r->events.push_back({false, path});
}

vsnHash* replayed(const Replay& r, bool rooted, int64_t reserve, vsnHashFunction function) {
  vsnHash* t = vsnHashNew(1);
  if (function) vsnHashSetFunction(t, function);
  vsnHashReserve(t, reserve);
  if (rooted) vsnHashInsert(t, "/", t);
  for (const Replay::Event& e : r.events) {
    if (e.insert) {
      vsnHashInsert(t, e.path.c_str(), t);
    } else {
      vsnHashRemove(t, e.path.c_str(), nullptr);
    }
  }
  return t;
}

TEST(VsnNamePaths, LoadsLayOutThePathTableAsPlainInsertionsWould) {
  for (unsigned seed = 1; seed <= 60; ++seed) {
    vsntest::Lines lines = vsntest::TextGenerator(seed).lines(400);
    for (int way = 0; way < 3; ++way) {
      vsnHandle* h = createVSNHandle();
      Replay r;
      addChangeHandlerH(h, recordEvent, &r);
      int64_t reserve = 0;
      vsnHashFunction function = nullptr;
      if (way == 0) {
        // One load: the table reserved ahead for half the lines.
        vsntest::load(h, lines);
        reserve = static_cast<int64_t>(lines.size()) / 2;
      } else {
        // Line by line, the table growing as it goes; the third way with a hash of its own.
        if (way == 2) {
          function = firstLetter;
          h->m_pathTable = vsnHashNew(1);
          vsnHashSetFunction(h->m_pathTable, function);
        }
        for (const std::string& line : lines) parseVSNLineH(h, line.c_str(), 0);
      }
      ASSERT_NE(h->m_pathTable, nullptr);
      vsnHash* expected = replayed(r, h->m_root != nullptr, reserve, function);
      expectSameLayout(h->m_pathTable, expected);
      vsnHashFree(expected);
      destroyVSNHandle(h);
    }
  }
}

TEST(VsnNamePaths, ValuesMadeWithTheEntryAndLaterOnesAreEachFreedOnce) {
  vsnHandle* h = createVSNHandle();
  ASSERT_EQ(vsntest::load(h, {"A:", "p = 1", "q = 2", "END"}), nullptr);
  ASSERT_EQ(vsntest::load(h, {"A:", "p = 3", "END"}), nullptr);
  ASSERT_EQ(setStringValue(h, "/A/p", "4"), nullptr);
  ASSERT_EQ(setStringValue(h, "/A/q", "5"), nullptr);
  ASSERT_EQ(vsntest::load(h, {"A:", "q = 6", "END"}), nullptr);
  EXPECT_EQ(vsntest::written(h), (vsntest::Lines{"A:", "  p = 4", "  q = 6", "END"}));
  EXPECT_EQ(deleteParamH(h, "/A/q"), nullptr);
  destroyVSNHandle(h);
}

} // namespace
