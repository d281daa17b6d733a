// Arbitrary bytes loaded as the block of a file read whole (split at line feeds in the parser)
// and as the lines a line reader makes of them (each ending at its first zero byte): both loads
// must give the same error, digest, tree and written text.
#include "vsnEntry.h"
#include "vsnHandle.h"
#include "vsnHandler.h"
#include "vsnLoader.h"
#include "vsnParser.h"
#include "vsnValue.h"
#include "vsnWriter.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

int accept(vsnHandle*, const char*, char**, void*) { return 1; }

// One line per entry with its flags, depth first, without recursion.
std::string describe(const vsnEntry* root) {
  std::string s;
  std::vector<std::pair<const vsnEntry*, int>> stack;
  for (const vsnEntry* c = root ? root->m_lastChild : nullptr; c; c = c->m_prev) stack.push_back({c, 0});
  while (!stack.empty()) {
    const vsnEntry* e = stack.back().first;
    int depth = stack.back().second;
    stack.pop_back();
    s += std::to_string(depth) + "|" + std::to_string(e->m_kind) + "|" + std::to_string(e->m_flags) + "|" +
         (e->m_type ? e->m_type : "(nul)") + "|" + (e->m_name ? e->m_name : "(nul)") + "|" +
         (e->m_value ? e->m_value : "(nul)") + "\n";
    for (const vsnEntry* c = e->m_lastChild; c; c = c->m_prev) stack.push_back({c, depth + 1});
  }
  return s;
}

std::string written(vsnHandle* h) {
  char** lines = nullptr;
  const char* err = getAllVSNH(h, &lines);
  std::string out = err ? std::string("ERROR ") + err + "\n" : "";
  for (char** p = lines; p && *p; ++p) out += std::string(*p) + "\n";
  freeStringArray(lines);
  return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Paths repeat their parents' steps, so memory grows with depth times lines: keep inputs small.
  if (size < 1 || size > 16384) return 0;
  const bool actions = data[0] & 1;
  const unsigned flags = (data[0] & 2) ? static_cast<unsigned>(VSN_FLAG_LIBRARY) : 0u;
  const char* text = reinterpret_cast<const char*>(data + 1);
  const size_t n = size - 1;

  // The lines as a line reader makes them.
  std::vector<std::string> lines;
  for (size_t start = 0; start < n;) {
    const char* lf = static_cast<const char*>(memchr(text + start, '\n', n - start));
    size_t stop = lf ? static_cast<size_t>(lf - text) : n;
    lines.emplace_back(text + start, strnlen(text + start, stop - start));
    start = stop + 1;
  }
  if (vsnCountLines(text, n) != lines.size()) {
    fprintf(stderr, "line count %zu, lines %zu\n", vsnCountLines(text, n), lines.size());
    abort();
  }

  vsnHandle* byBlock = createVSNHandle();
  vsnHandle* byLines = createVSNHandle();
  if (actions) {
    addDefaultActionHandlerH(byBlock, accept, nullptr);
    addDefaultActionHandlerH(byLines, accept, nullptr);
  }
  unsigned char d1[VSN_DIGEST_SIZE], d2[VSN_DIGEST_SIZE];
  const char* e1 = vsnParseBlock(byBlock, text, n, lines.size(), flags, nullptr, d1);
  std::string err1 = e1 ? e1 : "(none)";
  std::vector<const char*> p;
  for (const std::string& s : lines) p.push_back(s.c_str());
  const char* e2 = flags ? loadLibraryData(byLines, p.data(), static_cast<int>(p.size()), nullptr, d2)
                         : loadVSNData(byLines, p.data(), static_cast<int>(p.size()), nullptr, d2);
  std::string err2 = e2 ? e2 : "(none)";
  if (err1 != err2) {
    fprintf(stderr, "errors differ: %s / %s\n", err1.c_str(), err2.c_str());
    abort();
  }
  if (memcmp(d1, d2, sizeof d1) != 0) {
    fprintf(stderr, "digests differ\n");
    abort();
  }
  if (describe(byBlock->m_root) != describe(byLines->m_root) || written(byBlock) != written(byLines)) {
    fprintf(stderr, "trees differ\n");
    abort();
  }
  destroyVSNHandle(byBlock);
  destroyVSNHandle(byLines);
  return 0;
}
