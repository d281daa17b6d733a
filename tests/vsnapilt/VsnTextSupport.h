// Helpers of the VSN text tests: loading lines, writing them back, describing a tree so that two
// trees compare as strings, and a generator of rough VSN text.
#ifndef VSN_TEXT_SUPPORT_H
#define VSN_TEXT_SUPPORT_H

#include "vsnEntry.h"
#include "vsnHandle.h"
#include "vsnLoader.h"
#include "vsnValue.h"
#include "vsnWriter.h"

#include <random>
#include <string>
#include <vector>

namespace vsntest {

using Lines = std::vector<std::string>;

inline const char* load(vsnHandle* h, const Lines& lines, const unsigned char* expected = nullptr,
                        unsigned char* out = nullptr) {
  std::vector<const char*> p;
  for (const std::string& s : lines) p.push_back(s.c_str());
  return loadVSNData(h, p.data(), static_cast<int>(p.size()), expected, out);
}

inline Lines written(vsnHandle* h, const char* path = "/", int includeLibrary = 0) {
  char** lines = nullptr;
  const char* err = getExpandedVSNH(h, path, &lines, includeLibrary);
  Lines out;
  if (err) {
    out.push_back(std::string("ERROR: ") + err);
    return out;
  }
  for (char** p = lines; p && *p; ++p) out.push_back(*p);
  freeStringArray(lines);
  return out;
}

// One line per entry, depth first: indent, kind, type, name (named objects), value (parameters).
inline std::string describe(const vsnEntry* e, int depth = 0) {
  std::string s;
  for (const vsnEntry* c = e ? e->m_firstChild : nullptr; c; c = c->m_next) {
    s += std::string(2 * depth, ' ') + std::to_string(c->m_kind) + "|" + (c->m_type ? c->m_type : "(nul)");
    if (c->m_kind == VSN_KIND_OBJECT) s += std::string("|") + (c->m_name ? c->m_name : "(nul)");
    if (c->m_kind == VSN_KIND_PARAM) {
      s += std::string("|") + (c->m_name ? c->m_name : "(nul)") + "=" + (c->m_value ? c->m_value : "(nul)");
    }
    s += "\n" + describe(c, depth + 1);
  }
  return s;
}

inline std::string describe(vsnHandle* h) { return describe(h->m_root); }

// Rough VSN text: objects, parameters, END lines (sometimes one too many or too few), replace
// blocks, comments, continuations, odd blanks, carriage returns and characters the name rules
// refuse, so that loads also fail part-way.
class TextGenerator {
 public:
  explicit TextGenerator(unsigned seed) : m_random(seed) {}

  Lines lines(int count) {
    Lines out;
    int depth = 0;
    for (int i = 0; i < count; ++i) {
      std::string line = one(depth);
      if (pick(12) == 0) line += "\r";
      if (pick(15) == 0) {
        // Split into two continued pieces.
        size_t at = line.size() / 2;
        out.push_back(line.substr(0, at) + "\\");
        out.push_back(line.substr(at));
      } else {
        out.push_back(line);
      }
    }
    if (pick(4) != 0) out.insert(out.end(), static_cast<size_t>(depth), "END");
    return out;
  }

 private:
  int pick(int n) { return static_cast<int>(m_random() % static_cast<unsigned>(n)); }

  std::string blanks() {
    static const char* const choices[] = {"", "", " ", "  ", "\t", " \t "};
    return choices[pick(6)];
  }

  // Object types and names, or parameter names; now and then one of the other kind (a clash of a
  // parameter and a singleton of one name) or one that the name rules refuse.
  std::string word(bool rare, bool parameter = false) {
    static const char* const types[] = {"FLOW", "DOMAIN", "BOUNDARY", "SOLUTION UNITS", "Coord 1", "a", "_x", "END",
                                        "z.1", "w[2]", "u{v|w}", "A\tB", "\xc3\xa4rger"};
    static const char* const params[] = {"Option", "Location", "Mesh  Type", "%y", "b", "v[1]", "END", "n_{i}",
                                         "\xc3\xa4 q"};
    static const char* const odd[] = {"1bad", "a/b", "a,b", "a(b)", "-x", "a\x01", "{u}"};
    if (rare && pick(60) == 0) return odd[pick(7)];
    if (pick(50) == 0) parameter = !parameter;
    if (parameter) return params[pick(static_cast<int>(sizeof params / sizeof params[0]))];
    return types[pick(static_cast<int>(sizeof types / sizeof types[0]))];
  }

  std::string value() {
    static const char* const pieces[] = {"1", "a:b", "x = y", "[ mm ]", "B1, B2", "  spaced    out  ",
                                         "\\#kept", "cut # here", "tab\there", "f(a, b)", "trail\\", "",
                                         "\xe2\x82\xac", "=", "END"};
    std::string v;
    int n = pick(3);
    for (int i = 0; i <= n; ++i) v += pieces[pick(static_cast<int>(sizeof pieces / sizeof pieces[0]))];
    return v;
  }

  std::string one(int& depth) {
    switch (pick(14)) {
      case 0:
      case 1:
      case 2: {
        ++depth;
        std::string name = pick(3) == 0 ? "" : word(true);
        return blanks() + word(true) + blanks() + ":" + blanks() + name + blanks();
      }
      case 3:
        ++depth;
        return "&replace " + word(false) + ":" + blanks() + (pick(2) ? word(false) : "");
      case 4:
      case 5:
      case 6:
        if (depth == 0 && pick(30) != 0) return word(true, true) + " = " + value();
        depth -= depth > 0 ? 1 : 0;
        return blanks() + "END" + blanks();
      case 7:
        return pick(2) ? "# comment" + value() : "";
      case 8:
        return "&replace " + word(false, true) + " = " + value();
      case 9:
        return pick(40) == 0 ? "!power" : blanks() + word(false, true) + blanks() + " = " + value() + " # note";
      default:
        return blanks() + word(true, true) + blanks() + "=" + blanks() + value() + blanks();
    }
  }

  std::mt19937 m_random;
};

} // namespace vsntest

#endif
