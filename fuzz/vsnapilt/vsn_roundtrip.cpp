// Arbitrary text loaded as VSN (it may fail part-way), written back, loaded again: the second
// load must succeed and give the same tree, and writing it gives the same text.
#include "vsnEntry.h"
#include "vsnHandle.h"
#include "vsnHandler.h"
#include "vsnLoader.h"
#include "vsnValue.h"
#include "vsnWriter.h"
#include "VsnTreeWalk.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

int accept(vsnHandle*, const char*, char**, void*) { return 1; }

// One line per entry, depth first, without recursion.
std::string describe(const vsnEntry* root) {
  std::string s;
  zyrfuzz::walkTree(root, [&s](const vsnEntry* e, int depth) {
    s += std::to_string(depth) + "|" + std::to_string(e->m_kind) + "|" + (e->m_type ? e->m_type : "(nul)");
    if (e->m_kind == VSN_KIND_OBJECT) s += std::string("|") + (e->m_name ? e->m_name : "(nul)");
    if (e->m_kind == VSN_KIND_PARAM) {
      s += std::string("|") + (e->m_name ? e->m_name : "(nul)") + "=" + (e->m_value ? e->m_value : "(nul)");
    }
    s += "\n";
  });
  return s;
}

std::vector<std::string> written(vsnHandle* h) {
  char** lines = nullptr;
  const char* err = getAllVSNH(h, &lines);
  if (err) {
    fprintf(stderr, "writing failed: %s\n", err);
    abort();
  }
  std::vector<std::string> out;
  for (char** p = lines; p && *p; ++p) out.push_back(*p);
  freeStringArray(lines);
  return out;
}

const char* load(vsnHandle* h, const std::vector<std::string>& lines) {
  std::vector<const char*> p;
  for (const std::string& s : lines) p.push_back(s.c_str());
  return loadVSNDataH(h, p.data(), static_cast<int>(p.size()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Paths repeat their parents' steps, so memory grows with depth times lines: keep inputs small.
  if (size < 1 || size > 16384) return 0;
  bool actions = data[0] & 1;
  std::vector<std::string> lines;
  size_t start = 1;
  for (size_t i = 1; i <= size; ++i) {
    if (i == size || data[i] == '\n') {
      lines.emplace_back(reinterpret_cast<const char*>(data + start), i - start);
      start = i + 1;
    }
  }

  vsnHandle* first = createVSNHandle();
  if (actions) addDefaultActionHandlerH(first, accept, nullptr);
  load(first, lines);
  std::vector<std::string> text = written(first);

  vsnHandle* second = createVSNHandle();
  const char* err = load(second, text);
  if (err) {
    fprintf(stderr, "written text does not load again: %s\n", err);
    abort();
  }
  if (describe(first->m_root) != describe(second->m_root)) {
    fprintf(stderr, "trees differ\n");
    abort();
  }
  if (written(second) != text) {
    fprintf(stderr, "text differs when written again\n");
    abort();
  }
  destroyVSNHandle(first);
  destroyVSNHandle(second);
  return 0;
}
