// The look-ups against a plain model of the prescribed ones: a flat table of entry texts sorted
// whole whenever a search finds it unsorted, binary searches over it, a where table copied and
// sorted afresh, linear scans, duplicates resolved one search at a time. Random tables and
// queries must give the same matches in the same order, the same statuses and the same table
// order.
#include "dataset_test_util.h"
#include "get_ds_location.h"
#include "io_file.h"
#include "io_header.h"
#include "io_index.h"
#include "iodata.h"
#include "wezio_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

using namespace wezio_test;

namespace {

const char kEsc = 27;

struct M {
  std::string m_what, m_where;
  int32_t m_when;
  int64_t m_length, m_position;
  int32_t m_slot;
};

M parse(const std::string &text, int32_t slot) {
  std::vector<std::string> f;
  size_t start = 0;
  for (;;) {
    size_t esc = text.find(kEsc, start);
    f.push_back(text.substr(start, esc == std::string::npos ? std::string::npos : esc - start));
    if (esc == std::string::npos) break;
    start = esc + 1;
  }
  return {f[1], f[2], std::stoi(f[3]), std::stoll(f[4]), std::stoll(f[5]), slot};
}

std::string exactKey(const M &m) {
  return m.m_what + kEsc + m.m_where + kEsc + std::to_string(m.m_when) + kEsc;
}

// After the second ESC of a text, through the ESC after the one after that (where, when).
std::string wherePart(const std::string &entryFromThird) {
  size_t a = entryFromThird.find(kEsc);
  size_t b = entryFromThird.find(kEsc, a + 1);
  size_t c = entryFromThird.find(kEsc, b + 1);
  return entryFromThird.substr(a + 1, c - a);
}

bool prefixed(const std::string &text, const std::string &key) {
  return strncmp(text.c_str(), key.c_str(), key.size()) == 0;
}

// The prescribed table and searches.
struct Model {
  std::vector<std::string> m_slots;
  bool m_sorted = false;
  std::vector<std::string> m_whereTable;
  bool m_hasWhere = false;

  void insert(const std::string &entry) {
    m_slots.push_back(entry);
    m_sorted = false;
    m_hasWhere = false;
  }
  void sort() {
    std::sort(m_slots.begin(), m_slots.end(), [](const std::string &a, const std::string &b) {
      return strcmp(a.c_str() + 2, b.c_str() + 2) < 0;
    });
    m_sorted = true;
  }
  // A binary search over texts: probes compare from `from` over the key's length; the run is
  // collected from the probe down to lo, then up to hi.
  template <typename Text>
  std::vector<int32_t> binary(int32_t count, const std::string &key, Text text) {
    std::vector<int32_t> run;
    int32_t lo = 0, hi = count - 1;
    while (lo <= hi) {
      int32_t mid = (lo + hi) / 2;
      int c = strncmp(text(mid).c_str(), key.c_str(), key.size());
      if (c == 0) {
        run.push_back(mid);
        for (int32_t k = mid - 1; k >= lo && prefixed(text(k), key); --k) run.push_back(k);
        for (int32_t k = mid + 1; k <= hi && prefixed(text(k), key); ++k) run.push_back(k);
        break;
      }
      if (c > 0)
        hi = mid - 1;
      else
        lo = mid + 1;
    }
    return run;
  }
  std::vector<M> sortWhat(const std::string &key) {
    if (!m_sorted) sort();
    std::vector<M> out;
    for (int32_t slot : binary(static_cast<int32_t>(m_slots.size()), key,
                               [this](int32_t k) { return m_slots[k].substr(2); }))
      if (m_slots[slot][0] == 'Y') out.push_back(parse(m_slots[slot], slot));
    return out;
  }
  std::vector<M> sortWhere(const std::string &key) {
    if (!m_hasWhere || !m_sorted) {
      m_whereTable = m_slots;
      std::sort(m_whereTable.begin(), m_whereTable.end(),
                [](const std::string &a, const std::string &b) {
                  return a.substr(a.find(kEsc, 2) + 1) < b.substr(b.find(kEsc, 2) + 1);
                });
      m_hasWhere = true;
    }
    std::vector<M> out;
    for (int32_t slot : binary(static_cast<int32_t>(m_whereTable.size()), key,
                               [this](int32_t k) { return wherePart(m_whereTable[k].substr(2)); }))
      if (m_whereTable[slot][0] == 'Y') out.push_back(parse(m_whereTable[slot], slot));
    return out;
  }
  std::vector<M> scanAll(const std::string &what, const std::string &where, int32_t when) {
    std::vector<M> out;
    for (size_t s = 0; s < m_slots.size(); ++s) {
      if (m_slots[s][0] == 'N') continue;
      M m = parse(m_slots[s], static_cast<int32_t>(s));
      if (match_wildcard(m.m_what.c_str(), what.c_str()) &&
          match_wildcard(m.m_where.c_str(), where.c_str()) && (when < 0 || m.m_when == when))
        out.push_back(m);
    }
    return out;
  }
  std::string whatKey(const std::string &what, const std::string &where, int32_t when) {
    if (is_wildcard(where.c_str())) return what + kEsc;
    if (when < 0) return what + kEsc + where + kEsc;
    return what + kEsc + where + kEsc + std::to_string(when) + kEsc;
  }
  std::string whereKey(const std::string &where, int32_t when) {
    return when < 0 ? where + kEsc : where + kEsc + std::to_string(when) + kEsc;
  }
  // Duplicates among matches, one search per match; a match on an entry made "N" gets -1.
  int32_t updateSubindex(std::vector<M> &matches) {
    for (size_t i = 0; i < matches.size(); ++i) {
      if (matches[i].m_slot == -1 || m_slots[matches[i].m_slot][0] == 'N') continue;
      std::vector<M> dups = sortWhat(exactKey(matches[i]));
      if (dups.size() < 2) continue;
      std::stable_sort(dups.begin(), dups.end(),
                       [](const M &a, const M &b) { return a.m_position > b.m_position; });
      for (size_t j = 1; j < dups.size(); ++j) {
        if (m_slots[dups[j].m_slot][0] != 'Y') continue;
        m_slots[dups[j].m_slot][0] = 'N';
        for (M &m : matches)
          if (m.m_slot == dups[j].m_slot) m.m_slot = -1;
      }
    }
    int32_t deleted = 0;
    for (M &m : matches) {
      if (m.m_slot != -1 && m_slots[m.m_slot][0] == 'N') m.m_slot = -1;
      if (m.m_slot == -1) ++deleted;
    }
    return deleted;
  }
  void updateIndex() {
    if (!m_sorted) sort();
    for (size_t s = 0; s < m_slots.size(); ++s) {
      if (m_slots[s][0] == 'N') continue;
      std::vector<M> dups = sortWhat(exactKey(parse(m_slots[s], static_cast<int32_t>(s))));
      if (dups.size() < 2) continue;
      std::stable_sort(dups.begin(), dups.end(),
                       [](const M &a, const M &b) { return a.m_position > b.m_position; });
      for (size_t j = 1; j < dups.size(); ++j) m_slots[dups[j].m_slot][0] = 'N';
    }
  }
  std::vector<M> allWhere(const std::string &what, const std::string &where, int32_t when) {
    std::vector<M> kept;
    for (M m : sortWhere(whereKey(where, when)))
      if (match_wildcard(m.m_what.c_str(), what.c_str()) && (when < 0 || m.m_when == when)) {
        m.m_slot = -2;
        kept.push_back(m);
      }
    for (size_t i = 0; i < kept.size(); ++i) {
      if (kept[i].m_slot != -2) continue;
      std::vector<M> dups = sortWhat(exactKey(kept[i]));
      if (dups.empty()) {
        kept[i].m_slot = -1;
      } else if (dups.size() == 1) {
        kept[i].m_slot = dups[0].m_position == kept[i].m_position ? dups[0].m_slot : -1;
      } else {
        updateSubindex(dups);
        for (size_t j = i; j < kept.size(); ++j) {
          if (j != i && (kept[j].m_slot != -2 || exactKey(kept[j]) != exactKey(kept[i]))) continue;
          int32_t slot = -1;
          for (const M &d : dups)
            if (d.m_position == kept[j].m_position) slot = d.m_slot;
          kept[j].m_slot = slot;
        }
      }
    }
    return kept;
  }
  std::vector<M> allWhat(const std::string &what, const std::string &where, int32_t when) {
    std::vector<M> kept;
    for (const M &m : sortWhat(whatKey(what, where, when)))
      if (match_wildcard(m.m_where.c_str(), where.c_str()) && (when < 0 || m.m_when == when))
        kept.push_back(m);
    return kept;
  }
  int locate(const std::string &what, const std::string &where, int32_t when,
             std::vector<M> *out) {
    out->clear();
    if (m_slots.empty()) return IO_NO_MATCH;
    if (!m_sorted) sort();
    bool ww = is_wildcard(what.c_str()), wr = is_wildcard(where.c_str());
    std::vector<M> matches;
    if (ww && !wr)
      matches = allWhere(what, where, when);
    else if (wr && !ww)
      matches = allWhat(what, where, when);
    else if (!ww)
      matches = sortWhat(whatKey(what, where, when));
    else
      matches = scanAll(what, where, when);
    if (matches.empty()) return IO_NO_MATCH;
    if (matches.size() > 1) updateSubindex(matches);
    if (when < 0 && matches.size() > 1)
      std::stable_sort(matches.begin(), matches.end(), [](const M &a, const M &b) {
        if (a.m_when != b.m_when) return a.m_when > b.m_when;
        const char *x = a.m_what.c_str() + std::min<size_t>(2, a.m_what.size());
        const char *y = b.m_what.c_str() + std::min<size_t>(2, b.m_what.size());
        return strcmp(x, y) < 0;
      });
    for (const M &m : matches)
      if (m.m_slot != -1) out->push_back(m);
    return IO_OK;
  }
};

std::string describe(const std::vector<M> &list) {
  std::string text;
  for (const M &m : list)
    text += m.m_what + ":" + m.m_where + ":" + std::to_string(m.m_when) + "@" +
            std::to_string(m.m_position) + " ";
  return text;
}

class LocateModelTest : public testing::Test {
protected:
  void SetUp() override {
    iif_clear_record(&m_file);
    m_file.m_callback = captureMessage;
    messages().clear();
  }
  void TearDown() override { indextable_free(m_file.m_indextable); }

  int ours(const std::string &what, const std::string &where, int32_t when, std::vector<M> *out) {
    out->clear();
    Header query(what, where, when);
    Data data;
    IO_data *d = data.get();
    int32_t n = indextable_count(m_file.m_indextable);
    *d->m_numoffset = 2 * n;
    *d->m_numstring = 2 * n;
    *d->m_numintr = n;
    iodata_alloc_arrays(nullptr, d);
    int status = locate_dataset(captureMessage, query.get(), d, &m_file);
    if (status == IO_OK)
      for (int32_t k = 0; k < *d->m_numintr; ++k)
        out->push_back({d->m_stringarray[2 * k], d->m_stringarray[2 * k + 1], d->m_intrarray[k],
                        d->m_offsetarray[2 * k + 1], d->m_offsetarray[2 * k], 0});
    return status;
  }
  // Statuses and table order, entry by entry.
  std::vector<std::string> ourTable() {
    std::vector<std::string> list;
    IO_index_cursor cursor;
    indextable_begin(m_file.m_indextable, &cursor);
    for (int32_t s; (s = indextable_next(m_file.m_indextable, &cursor)) >= 0;)
      list.push_back(indextable_entry(m_file.m_indextable, s));
    return list;
  }
  std::vector<M> ourSearch(int32_t mode, const std::string &what, const std::string &where,
                           int32_t when) {
    Header query(what, where, when);
    std::vector<IO_match> matches(indextable_count(m_file.m_indextable) + 1);
    int32_t count = -1;
    EXPECT_EQ(get_ds_location(nullptr, mode, query.get(), &m_file, &count, matches.data()),
              IO_OK);
    std::vector<M> out;
    for (int32_t i = 0; i < count; ++i)
      out.push_back({matches[i].m_what, matches[i].m_where, matches[i].m_when,
                     matches[i].m_length, matches[i].m_position, 0});
    return out;
  }

  IO_file m_file;
  Model m_model;
};

bool same(const std::vector<M> &a, const std::vector<M> &b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i].m_what != b[i].m_what || a[i].m_where != b[i].m_where || a[i].m_when != b[i].m_when ||
        a[i].m_length != b[i].m_length || a[i].m_position != b[i].m_position)
      return false;
  return true;
}

TEST_F(LocateModelTest, RandomTablesAndQueriesGiveThePrescribedResults) {
  const std::vector<std::string> whats = {"A", "AB", "B", "ZN1", "ZN12", "ZN2", "x", "ab1", "cd1"};
  const std::vector<std::string> wheres = {"E", "EV", "EVERY", "ZN1", "O"};
  const std::vector<std::string> whatPatterns = {"*", "A*", "Z?1", "ZN[12]*", "[^A]*", "*B", "?"};
  const std::vector<std::string> wherePatterns = {"*", "E*", "ZN?", "[EO]*", "?"};
  int checks = 0;
  for (unsigned seed = 1; seed <= 8; ++seed) {
    SetUp();
    m_model = Model();
    std::mt19937 random(seed);
    auto pick = [&random](const std::vector<std::string> &list) {
      return list[random() % list.size()];
    };
    int64_t position = 36;
    const int steps = seed <= 4 ? 300 : 1000;
    for (int step = 0; step < steps; ++step) {
      unsigned op = random() % 100;
      if (op < 55 || m_model.m_slots.empty()) {
        int64_t length = 50 + random() % 2000;
        std::string entry =
            entryText(pick(whats), pick(wheres), static_cast<int>(random() % 13), length, position);
        position += length + 50;
        ASSERT_EQ(insert_index(nullptr, &m_file, entry.c_str()), IO_OK);
        m_model.insert(entry);
        continue;
      }
      if (op < 95) {
        std::string what = random() % 3 == 0 ? pick(whatPatterns) : pick(whats);
        std::string where = random() % 3 == 0 ? pick(wherePatterns) : pick(wheres);
        int32_t when = random() % 3 == 0 ? -1 : static_cast<int32_t>(random() % 13);
        std::vector<M> expected, got;
        int modelStatus = m_model.locate(what, where, when, &expected);
        int status = ours(what, where, when, &got);
        ASSERT_EQ(status, modelStatus) << what << " " << where << " " << when;
        ASSERT_TRUE(same(got, expected))
            << what << " " << where << " " << when << "\nours:  " << describe(got)
            << "\nmodel: " << describe(expected);
        ++checks;
      } else if (op < 98) {
        ASSERT_EQ(update_index(nullptr, &m_file), IO_OK);
        m_model.updateIndex();
      } else {
        // The raw searches in the order of their binary search or scan.
        std::string what = pick(whats), where = pick(wheres);
        int32_t when = random() % 2 ? -1 : static_cast<int32_t>(random() % 13);
        ASSERT_TRUE(same(ourSearch(IO_SORT_WHAT, what, where, when),
                         m_model.sortWhat(m_model.whatKey(what, where, when))));
        ASSERT_TRUE(same(ourSearch(IO_SORT_WHAT, what, "*", when),
                         m_model.sortWhat(m_model.whatKey(what, "*", when))));
        std::string pattern = pick(whatPatterns);
        ASSERT_TRUE(
            same(ourSearch(IO_SCAN_ALL, pattern, where, when), m_model.scanAll(pattern, where, when)));
      }
      ASSERT_EQ(ourTable(), m_model.m_slots) << "step " << step;
    }
    TearDown();
    m_file.m_indextable = nullptr;
  }
  EXPECT_GT(checks, 2000);
  EXPECT_EQ(messages().size(), 0u) << allMessages();
}

} // namespace
