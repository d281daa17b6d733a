// Random sequences of string-list operations checked against a plain model of each operation;
// then arbitrary names through the dictionary and arbitrary status texts through the detail
// splitter.
#include "RegionNameDictionary.h"
#include "RegionStatus.h"
#include "StringList.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const int kPool = 24;
std::vector<uint64_t> s_pool;

void enterPool() {
  s_pool.clear();
  for (int i = 0; i < kPool; ++i) {
    uint64_t id = 0;
    std::string name = "pool " + std::to_string(i);
    if (RegionStatus_isError(RegionNameDictionary_add(name.c_str(), &id))) abort();
    s_pool.push_back(id);
  }
}

struct Model {
  std::vector<uint64_t> m_items;
};

std::vector<uint64_t> items(const StringList* l) { return std::vector<uint64_t>(l->m_items, l->m_items + l->m_count); }

bool has(const std::vector<uint64_t>& v, uint64_t id) { return std::find(v.begin(), v.end(), id) != v.end(); }

std::vector<uint64_t> sortedUnique(std::vector<uint64_t> v) {
  std::sort(v.begin(), v.end());
  v.erase(std::unique(v.begin(), v.end()), v.end());
  return v;
}

std::vector<uint64_t> minus(const std::vector<uint64_t>& a, const std::vector<uint64_t>& b) {
  std::vector<uint64_t> out;
  for (uint64_t id : a)
    if (!has(b, id)) out.push_back(id);
  return out;
}

void check(const StringList* l, const Model& m) {
  if (items(l) != m.m_items) abort();
  if ((l->m_flags & STRING_LIST_SORTED) && !std::is_sorted(m.m_items.begin(), m.m_items.end())) abort();
  if (l->m_count > l->m_capacity) abort();
}

void runLists(const uint8_t* data, size_t size) {
  StringList* list[2] = {nullptr, nullptr};
  Model model[2];
  StringList_new(&list[0], 0);
  StringList_new(&list[1], 3);
  for (size_t i = 0; i + 1 < size; i += 2) {
    int which = data[i] & 1;
    StringList* a = list[which];
    StringList* b = list[1 - which];
    Model& ma = model[which];
    Model& mb = model[1 - which];
    uint64_t id = s_pool[data[i + 1] % kPool];
    switch ((data[i] >> 1) % 12) {
      case 0:
      case 1: {
        StringList_addId(a, id);
        if (!has(ma.m_items, id)) ma.m_items.push_back(id);
        break;
      }
      case 2: {
        RegionStatus* s = StringList_removeId(a, id);
        bool present = has(ma.m_items, id);
        if (RegionStatus_isError(s) == present) abort();
        ma.m_items.erase(std::remove(ma.m_items.begin(), ma.m_items.end(), id), ma.m_items.end());
        break;
      }
      case 3: {
        Model before = mb;
        bool copy = a->m_capacity == 0;
        StringList_append(a, b);
        if (!before.m_items.empty()) {
          if (copy) ma.m_items = before.m_items;
          else {
            std::vector<uint64_t> all = ma.m_items;
            all.insert(all.end(), before.m_items.begin(), before.m_items.end());
            ma.m_items = sortedUnique(all);
          }
        }
        break;
      }
      case 4: {
        StringList_intersect(a, b);
        if (!ma.m_items.empty() && !mb.m_items.empty()) {
          ma.m_items = sortedUnique(ma.m_items);
          mb.m_items = sortedUnique(mb.m_items);
          std::vector<uint64_t> kept;
          for (uint64_t x : ma.m_items)
            if (has(mb.m_items, x)) kept.push_back(x);
          ma.m_items = kept;
        }
        break;
      }
      case 5:
        StringList_subtract(a, b);
        ma.m_items = minus(ma.m_items, mb.m_items);
        break;
      case 6: {
        bool copy = a->m_capacity == 0;
        StringList_symmetricDifference(a, b);
        std::vector<uint64_t> oldA = ma.m_items;
        ma.m_items = minus(ma.m_items, mb.m_items);
        mb.m_items = minus(mb.m_items, oldA);
        if (!mb.m_items.empty()) {
          if (copy && ma.m_items.empty()) ma.m_items = mb.m_items;
          else {
            std::vector<uint64_t> all = ma.m_items;
            all.insert(all.end(), mb.m_items.begin(), mb.m_items.end());
            ma.m_items = sortedUnique(all);
          }
        }
        break;
      }
      case 7:
        StringList_sort(a);
        std::sort(ma.m_items.begin(), ma.m_items.end());
        break;
      case 8:
        StringList_clear(a);
        ma.m_items.clear();
        break;
      case 9: {
        // Any walk stays inside the list.
        const char* name = nullptr;
        for (int k = 0; k < (data[i + 1] & 7); ++k) {
          RegionStatus* s = (data[i + 1] & 8) ? StringList_previous(a, &name) : StringList_next(a, &name);
          if (!RegionStatus_isError(s) && (a->m_cursor >= a->m_count || !name)) abort();
        }
        break;
      }
      case 10: {
        char* text = nullptr;
        StringList_joined(a, &text);
        std::string expected;
        for (size_t k = 0; k < ma.m_items.size(); ++k) {
          const char* name = nullptr;
          RegionNameDictionary_name(ma.m_items[k], &name);
          expected += (k ? ", " : "") + std::string(name);
        }
        if ((text ? std::string(text) : std::string()) != expected) abort();
        free(text);
        break;
      }
      default: {
        StringList* copy = nullptr;
        StringList_copy(&copy, a);
        if (!copy || items(copy) != sortedUnique(ma.m_items)) abort();
        StringList_delete(&copy);
        break;
      }
    }
    check(list[0], model[0]);
    check(list[1], model[1]);
  }
  StringList_delete(&list[0]);
  StringList_delete(&list[1]);
}

void runText(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  text = text.substr(0, text.find('\0'));
  // As a name: entered once, found again under the same id.
  uint64_t id = 0, again = 0;
  if (!RegionStatus_isError(RegionNameDictionary_add(text.c_str(), &id))) {
    const char* name = nullptr;
    if (RegionStatus_isError(RegionNameDictionary_lookup(text.c_str(), &again)) || again != id) abort();
    if (RegionStatus_isError(RegionNameDictionary_name(id, &name)) || text != name) abort();
  }
  // As a status text: the lines give the text back, less the ".\n" added to an open last line.
  RegionStatus* s = RegionStatus_fail(1, text.c_str());
  char** lines = nullptr;
  uint64_t count = 0;
  int ok = RegionStatus_getDetails(s, &lines, &count);
  if (ok != (text.empty() ? 0 : 1)) abort();
  std::string joined;
  for (uint64_t i = 0; i < count; ++i) {
    joined += lines[i];
    free(lines[i]);
  }
  free(lines);
  if (!text.empty()) {
    std::string expected = text;
    if (expected.back() != '\n') expected += ".\n";
    if (joined != expected) abort();
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const RegionNameDictionary* d = RegionNameDictionary_instance();
  if (s_pool.empty() || (d && d->m_count > 50000)) {
    RegionNameDictionary_destroy();
    enterPool();
  }
  if (size == 0) return 0;
  if (data[0] & 0x80) runText(data + 1, size - 1);
  else runLists(data + 1, size - 1);
  return 0;
}
