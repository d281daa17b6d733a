// Random sequences of tree operations on one handle. After each: every entry is in the path
// table under the path its position gives it, and nothing else is.
#include "vsnHandle.h"
#include "vsnListing.h"
#include "vsnPath.h"
#include "vsnValue.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

void check(bool ok) {
  if (!ok) abort();
}

struct Reader {
  const uint8_t* p;
  size_t n;
  uint8_t byte() {
    if (!n) return 0;
    --n;
    return *p++;
  }
  std::string word() {
    static const char* const pieces[] = {"A", "b", " ", "\t", ":", "/", "..", ".", "FLOW", "x y", "%", "_",
                                         "=", "\n", "\xc3\xa4", "9", "DOMAIN:d", "  ", "[", "}"};
    std::string w;
    int k = byte() % 4;
    for (int i = 0; i < k; ++i) w += pieces[byte() % (sizeof pieces / sizeof pieces[0])];
    return w;
  }
};

// Walks the tree from the root, checking every entry against the table; returns the count.
int32_t verify(vsnHandle* h) {
  if (!h->m_root) return 0;
  int32_t count = 0;
  std::vector<std::pair<const vsnEntry*, std::string>> stack{{h->m_root, "/"}};
  while (!stack.empty()) {
    auto [e, path] = stack.back();
    stack.pop_back();
    ++count;
    check(findEntryH(h, path.c_str()) == e);
    int32_t children = 0;
    for (const vsnEntry* c = e->m_firstChild; c; c = c->m_next) {
      ++children;
      check(c->m_parent == e);
      check(c->m_next || c == e->m_lastChild);
      char* childPath = makeChildPath(path.c_str(), c);
      check(childPath != nullptr);
      stack.push_back({c, childPath});
      free(childPath);
    }
    check(children == e->m_childCount);
    check(e->m_kind != VSN_KIND_PARAM || children == 0);
  }
  check(count == h->m_pathTable->m_numEntries);
  return count;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 2048) return 0;
  vsnHandle* h = createVSNHandle();
  Reader in{data, size};
  std::vector<std::string> paths{"/"};
  while (in.n) {
    std::string base = paths[in.byte() % paths.size()];
    std::string path = (in.byte() & 1 ? base + "/" : std::string()) + in.word();
    switch (in.byte() % 12) {
      case 0:
      case 1:
        if (!vsnCreateObject(h, path.c_str(), in.byte() & 1)) {
          char* full = getFullPath(h, path.c_str());
          if (full) paths.push_back(full);
          free(full);
        }
        break;
      case 2:
      case 3:
        vsnCreateParam(h, path.c_str(), in.word().c_str());
        break;
      case 4: setStringValue(h, path.c_str(), in.word().c_str()); break;
      case 5: deleteObjH(h, path.c_str()); break;
      case 6: deleteParamH(h, path.c_str()); break;
      case 7: vsnRemoveObjectH(h, path.c_str()); break;
      case 8:
        if (in.byte() & 1) {
          pushPath(h, path.c_str());
        } else {
          popPath(h);
        }
        break;
      case 9: {
        int n = 0, g = 0;
        vsnChildInfo* children = nullptr;
        vsnGroupInfo* groups = nullptr;
        if (!getChildList(h, path.c_str(), &n, &children, &g, &groups)) {
          freeChildArray(children, n);
          freeGroupArray(groups, g);
        }
        break;
      }
      case 10: {
        char** found = nullptr;
        if (!getObjectsByTypeH(h, in.word().c_str(), &found)) freeStringArray(found);
        break;
      }
      default: {
        char* v = nullptr;
        getStringValue(h, path.c_str(), &v);
        free(v);
        int i;
        const char* err = getLogicalValue(h, path.c_str(), &i);
        freeVSNString(err);
        setValid(h, path.c_str(), in.byte() % 4);
        break;
      }
    }
    verify(h);
  }
  destroyVSNHandle(h);
  return 0;
}
