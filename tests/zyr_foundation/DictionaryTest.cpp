#include "Dictionary.h"
#include "MemoryMonitor.h"
#include "TestSupport.h"
#include "zyrCString.h"
#include "zyrDebugManager.h"
#include "zyrMemory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

void *V(uintptr_t v) { return reinterpret_cast<void *>(v); }

// Counts the tracked bytes still live between construction and check().
class LiveBytes {
public:
  LiveBytes() {
    // Traced functions make the process-lived debug manager at their first call: make it first.
    zyrDebugManager_get();
    m_monitor = MemoryMonitor_new(m_dir.file("memory.log").c_str());
    m_previous = zyrMemory_setMonitor(m_monitor);
    m_start = MemoryMonitor_getTotal(m_monitor);
  }
  ~LiveBytes() { MemoryMonitor_delete(zyrMemory_setMonitor(m_previous)); }
  int64_t live() const { return MemoryMonitor_getTotal(m_monitor) - m_start; }

private:
  zyrtest::ScratchDir m_dir;
  MemoryMonitor *m_monitor;
  MemoryMonitor *m_previous;
  int64_t m_start;
};

std::vector<std::pair<std::string, void *>> entries(const Dictionary *d) {
  std::vector<std::pair<std::string, void *>> out;
  DictionaryIterator *it = DictionaryIterator_new(d);
  for (Pair *p = DictionaryIterator_first(it); p != nullptr; p = DictionaryIterator_next(it))
    out.emplace_back(static_cast<const char *>(Pair_getFirst(p)), Pair_getSecond(p));
  EXPECT_EQ(DictionaryIterator_next(it), nullptr);
  DictionaryIterator_delete(it);
  return out;
}

TEST(Dictionary, OwnedKeysOutliveTheCallersAndAreFreed) {
  LiveBytes memory;
  Dictionary *d = Dictionary_new(1);
  EXPECT_EQ(d->m_table->m_n, 509);
  EXPECT_EQ(d->m_duplicateKeyStrategy, 1);
  char *key = zyrCString_clone("alpha");
  Dictionary_add(d, key, V(1));
  zyrCString_free(key);
  EXPECT_EQ(Dictionary_find(d, "alpha"), V(1));

  // Strategy 1: the second value replaces the first and the first stored copy goes.
  Dictionary_add(d, "alpha", V(2));
  EXPECT_EQ(Dictionary_getNoOfEntries(d), 1);
  EXPECT_EQ(Dictionary_find(d, "alpha"), V(2));

  Dictionary_add(d, "beta", V(3));
  EXPECT_EQ(Dictionary_remove(d, "beta"), 1);
  EXPECT_EQ(Dictionary_remove(d, "beta"), 0);
  Dictionary_add(d, "gamma", nullptr);
  Dictionary_clear(d);
  EXPECT_EQ(Dictionary_getNoOfEntries(d), 0);
  EXPECT_EQ(d->m_table->m_n, 509);
  Dictionary_add(d, "delta", V(4));
  Dictionary_delete(d);
  EXPECT_EQ(memory.live(), 0);
}

TEST(Dictionary, DuplicateStrategies) {
  Dictionary *keep = Dictionary_new(0);
  keep->m_duplicateKeyStrategy = 0;
  Dictionary_add(keep, "k", V(1));
  Dictionary_add(keep, "k", V(2));
  EXPECT_EQ(Dictionary_getNoOfEntries(keep), 1);
  EXPECT_EQ(Dictionary_find(keep, "k"), V(1));
  Dictionary_delete(keep);

  Dictionary *both = Dictionary_new(1);
  both->m_duplicateKeyStrategy = 2;
  Dictionary_add(both, "k", V(1));
  Dictionary_add(both, "k", V(2));
  EXPECT_EQ(Dictionary_getNoOfEntries(both), 2);
  EXPECT_EQ(Dictionary_find(both, "k"), V(2));
  Dictionary_delete(both);
}

TEST(Dictionary, RemoveFreesTheKeyOfTheEntryItRemoved) {
  // Two entries under one key in a table of 509 buckets; the removal first shrinks the table,
  // which reverses the chain, and then removes the older entry. The key freed must be that
  // entry's own, so the remaining entry's key stays readable.
  LiveBytes memory;
  Dictionary *d = Dictionary_new(1);
  d->m_duplicateKeyStrategy = 2;
  Dictionary_add(d, "same", V(1));
  Dictionary_add(d, "same", V(2));
  EXPECT_EQ(Dictionary_remove(d, "same"), 1);
  EXPECT_EQ(d->m_table->m_n, 251);
  char *stored = nullptr;
  void *value = nullptr;
  ASSERT_EQ(Dictionary_findKeyAndValue(d, "same", &stored, &value), 1);
  EXPECT_STREQ(stored, "same");
  EXPECT_EQ(value, V(2));
  EXPECT_EQ(Dictionary_remove(d, "same"), 1);
  EXPECT_EQ(Dictionary_getNoOfEntries(d), 0);
  Dictionary_delete(d);
  EXPECT_EQ(memory.live(), 0);
}

TEST(Dictionary, MakeKeyUnique) {
  LiveBytes memory;
  Dictionary *d = Dictionary_new(1);
  Dictionary_add(d, "K", V(1));
  Dictionary_add(d, "K 2", nullptr); // present with a NULL value still counts
  Dictionary_add(d, "K 3", V(3));
  Dictionary_add(d, "L", V(4));
  const auto before = entries(d);

  char *key = zyrCString_clone("K");
  Dictionary_makeKeyUnique(d, &key, 0, 2);
  EXPECT_STREQ(key, "K 4");
  zyrCString_free(key);

  key = zyrCString_clone("M");
  char *original = key;
  Dictionary_makeKeyUnique(d, &key, 0, 2);
  EXPECT_EQ(key, original); // absent and not reserved: left as it is
  EXPECT_STREQ(key, "M");
  Dictionary_makeKeyUnique(d, &key, 1, 2);
  EXPECT_STREQ(key, "M 2"); // reserved: always numbered
  zyrCString_free(key);

  key = zyrCString_clone("K");
  Dictionary_makeKeyUnique(d, &key, 1, 7);
  EXPECT_STREQ(key, "K 7");
  zyrCString_free(key);

  // The same entries; the reservation's removal may have shrunk the table, so compare as sets.
  auto after = entries(d);
  auto sorted = before;
  std::sort(after.begin(), after.end());
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(after, sorted);
  Dictionary_delete(d);
  EXPECT_EQ(memory.live(), 0);
}

TEST(Dictionary, ChangeKey) {
  LiveBytes memory;
  Dictionary *d = Dictionary_new(1);
  Dictionary_add(d, "old", V(1));
  Dictionary_add(d, "taken", V(2));
  Dictionary_add(d, "empty", nullptr);
  EXPECT_EQ(Dictionary_changeKey(d, "old", "taken"), 0);
  EXPECT_EQ(Dictionary_find(d, "old"), V(1));
  EXPECT_EQ(Dictionary_find(d, "taken"), V(2));
  EXPECT_EQ(Dictionary_changeKey(d, "missing", "new"), 0);
  EXPECT_EQ(Dictionary_changeKey(d, "empty", "new"), 0); // a NULL value counts as absent
  EXPECT_EQ(Dictionary_changeKey(d, "old", "empty"), 1); // ... on both sides: replaced
  EXPECT_EQ(Dictionary_find(d, "old"), nullptr);
  EXPECT_EQ(Dictionary_find(d, "empty"), V(1));
  EXPECT_EQ(Dictionary_getNoOfEntries(d), 2);
  Dictionary_delete(d);
  EXPECT_EQ(memory.live(), 0);
}

TEST(Dictionary, PrintLayout) {
  Dictionary *d = Dictionary_new(0);
  Dictionary_add(d, "name", V(0x10));
  char *text = nullptr;
  size_t size = 0;
  FILE *f = open_memstream(&text, &size);
  Dictionary_print(d, f);
  std::fclose(f);
  std::string got(text, size);
  std::free(text);

  char head[128], line[128];
  std::snprintf(head, sizeof head, "Dictionary (%p)\n", static_cast<void *>(d));
  std::snprintf(line, sizeof line, "%-50s - %p\n", "name", V(0x10));
  const std::string rule(61, '=');
  const std::string dashes(61, '-');
  std::string expected = "\n" + rule + "\n" + head + rule + "\n\n" + "m_ownsKeys             = 0\n" +
                         "m_duplicateKeyStrategy = 1\n" + "\n" + "No. of entries = 1\n" + "\n" + dashes + "\n" +
                         "Name                                               | Pointer\n" + dashes + "\n" + line +
                         "\n" + rule + "\n\n";
  EXPECT_EQ(got, expected);
  Dictionary_delete(d);
}

} // namespace
