// Loads of a fixed corpus of VSN texts (tests/data/vsnapilt/load-corpus.txt) must give what the
// corpus records: returned errors, nesting state, change and replace notifications in order, the
// written-back text and every entry with its flags. The expectations were recorded by the
// line-by-line parser that the single-pass one replaced; the corpus keeps them byte for byte.
//
// ZYR_VSN_CORPUS_WRITE=path writes a fresh corpus (inputs from the cases below and the text
// generator, expectations from the code as built) instead of checking.
#include "VsnTextSupport.h"
#include "zyrTestSupport.h"

#include "vsnArray.h"
#include "vsnHandle.h"
#include "vsnHandler.h"
#include "vsnLoader.h"
#include "vsnMessage.h"
#include "vsnParser.h"
#include "vsnWriter.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

using vsntest::Lines;

namespace {

// One load into the case's handle: "data", "library", "digest" (library lines with their own
// digest expected), "lines" (one parseVSNLineH call per line) or "file" (the lines joined by
// line feeds, the last one without; a file whose content is one record).
struct Step {
  std::string m_mode;
  Lines m_lines;
};

struct Case {
  std::string m_name;
  std::vector<Step> m_steps;
  std::string m_expected;
};

// Bytes outside printable ASCII and the backslash as \xHH; a run of 8 or more equal bytes as
// \rN:X (N of the byte X written as one byte), which keeps long lines small in the corpus.
std::string escape(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size();) {
    size_t run = 1;
    while (i + run < s.size() && s[i + run] == s[i]) ++run;
    if (run >= 8) {
      out += "\\r" + std::to_string(run) + ":" + escape(std::string(1, s[i]));
      i += run;
      continue;
    }
    unsigned char c = static_cast<unsigned char>(s[i++]);
    if (c >= 32 && c < 127 && c != '\\') {
      out += static_cast<char>(c);
    } else {
      char hex[8];
      snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    }
  }
  return out;
}

std::string unescape(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] == 'x') {
      out += static_cast<char>(std::stoi(s.substr(i + 2, 2), nullptr, 16));
      i += 3;
    } else if (s[i] == '\\' && i + 1 < s.size() && s[i + 1] == 'r') {
      size_t colon = s.find(':', i);
      size_t run = std::stoul(s.substr(i + 2, colon - i - 2));
      std::string one = unescape(s.substr(colon + 1, s[colon + 1] == '\\' ? 4 : 1));
      out += std::string(run, one[0]);
      i = colon + (s[colon + 1] == '\\' ? 4 : 1);
    } else {
      out += s[i];
    }
  }
  return out;
}

struct Recorder {
  std::string m_log;
};

void onChange(const char* path, int code, const char* newValue, const char* oldValue, void* context) {
  std::string& log = static_cast<Recorder*>(context)->m_log;
  log += "change " + std::to_string(code) + " " + (path ? path : "(nul)") + " new=" + (newValue ? newValue : "(nul)") +
         " old=" + (oldValue ? oldValue : "(nul)") + "\n";
}

void onReplace(const char* path, void* context) {
  static_cast<Recorder*>(context)->m_log += std::string("replace ") + (path ? path : "(nul)") + "\n";
}

std::string hex(const unsigned char* d, size_t n) {
  std::string s;
  char b[4];
  for (size_t i = 0; i < n; ++i) {
    snprintf(b, sizeof b, "%02x", d[i]);
    s += b;
  }
  return s;
}

std::string tree(const vsnEntry* e, int depth) {
  std::string s;
  for (const vsnEntry* c = e ? e->m_firstChild : nullptr; c; c = c->m_next) {
    char flags[16];
    snprintf(flags, sizeof flags, "%x", c->m_flags);
    s += std::string(2 * static_cast<size_t>(depth), ' ') + std::to_string(c->m_kind) + "|" + flags + "|" +
         (c->m_label ? c->m_label : "(nul)") + "|" + (c->m_type ? c->m_type : "(nul)") + "|" +
         (c->m_name ? c->m_name : "(nul)") + "|" + (c->m_value ? c->m_value : "(nul)") + "|" +
         std::to_string(c->m_childCount) + "\n" + tree(c, depth + 1);
  }
  return s;
}

// The digest that step `stepNo` of a "digest" load expects: the one the corpus recorded for it
// (made by the recording parser, so an outside value); while a corpus is being written, the one a
// load of the same lines into a scratch handle gives.
void expectedDigest(const Case& c, int stepNo, const char* const* lines, int n, unsigned char* digest) {
  if (c.m_expected.empty()) {
    vsnHandle* scratch = createVSNHandle();
    loadLibraryData(scratch, lines, n, nullptr, digest);
    destroyVSNHandle(scratch);
    return;
  }
  memset(digest, 0, VSN_DIGEST_SIZE);
  const std::string step = "step " + std::to_string(stepNo) + " digest\n";
  size_t at = c.m_expected.find(step);
  at = at == std::string::npos ? at : c.m_expected.find("\ndigest ", at);
  if (at == std::string::npos) return;
  const std::string recorded = c.m_expected.substr(at + 8, 2 * VSN_DIGEST_SIZE);
  for (size_t i = 0; i < VSN_DIGEST_SIZE && 2 * i + 2 <= recorded.size(); ++i)
    digest[i] = static_cast<unsigned char>(std::stoi(recorded.substr(2 * i, 2), nullptr, 16));
}

std::string run(const Case& c, const std::string& dir) {
  vsnHandle* h = createVSNHandle();
  Recorder rec;
  addChangeHandlerH(h, onChange, &rec);
  addReplaceHandlerH(h, onReplace, &rec);
  int stepNo = 0;
  for (const Step& step : c.m_steps) {
    rec.m_log += "step " + std::to_string(stepNo) + " " + step.m_mode + "\n";
    std::vector<const char*> p;
    for (const std::string& s : step.m_lines) p.push_back(s.c_str());
    const int n = static_cast<int>(p.size());
    const char* err = nullptr;
    if (step.m_mode == "data") {
      err = loadVSNDataH(h, p.data(), n);
    } else if (step.m_mode == "library") {
      err = loadLibraryDataH(h, p.data(), n);
    } else if (step.m_mode == "digest") {
      unsigned char expected[VSN_DIGEST_SIZE], out[VSN_DIGEST_SIZE];
      expectedDigest(c, stepNo, p.data(), n, expected);
      err = loadLibraryData(h, p.data(), n, expected, out);
      rec.m_log += "digest " + hex(out, sizeof out) + "\n";
    } else if (step.m_mode == "lines") {
      for (int i = 0; i < n; ++i) {
        const char* e = parseVSNLineH(h, p[static_cast<size_t>(i)], i % 3 == 2 ? VSN_FLAG_LIBRARY : 0u);
        if (e) rec.m_log += "line " + std::to_string(i) + ": " + e + "\n";
      }
      rec.m_log += std::string("pending ") + (h->m_pendingLine ? h->m_pendingLine : "(none)") + "\n";
    } else if (step.m_mode == "file") {
      std::string bytes;
      for (size_t i = 0; i < step.m_lines.size(); ++i) bytes += (i ? "\n" : "") + step.m_lines[i];
      std::string path = dir + "/in" + std::to_string(stepNo) + ".vsn";
      FILE* f = fopen(path.c_str(), "wb");
      if (f) {
        fwrite(bytes.data(), 1, bytes.size(), f);
        fclose(f);
      }
      err = loadVSNFileH(h, path.c_str(), "vsn");
      err = err && strstr(err, path.c_str()) ? "(error naming the file)" : err;
    }
    int state = -1;
    getVSNStateH(h, &state);
    rec.m_log += std::string("error ") + (err ? err : "(none)") + "\nstate " + std::to_string(state) + "\n";
    ++stepNo;
  }
  std::string out = rec.m_log;
  std::string plain, withLibrary;
  for (const std::string& line : vsntest::written(h, "/", 0)) plain += line + "\n";
  for (const std::string& line : vsntest::written(h, "/", 1)) withLibrary += line + "\n";
  out += "written\n" + plain;
  out += withLibrary == plain ? "written with library: the same\n" : "written with library\n" + withLibrary;
  out += "tree\n" + tree(h->m_root, 0);
  destroyVSNHandle(h);
  return out;
}

// Cases written for the parser's corners.
std::vector<Case> handCases() {
  std::string longName(700, 'n');
  std::string longValue(3000, 'v');
  std::string bigLine(66000, 'w');
  // More children than a new object's list is searched for: the later ones repeat earlier ones.
  Lines manyChildren = {"A:"};
  for (int i = 0; i < 40; ++i) manyChildren.push_back("p" + std::to_string(i % 25) + " = " + std::to_string(i));
  for (int i = 0; i < 30; ++i) {
    manyChildren.push_back("O" + std::to_string(i % 20) + ":" + (i % 3 ? " n" : ""));
    manyChildren.push_back("v = " + std::to_string(i));
    manyChildren.push_back("END");
  }
  manyChildren.push_back("END");
  std::vector<std::pair<std::string, Lines>> texts = {
      {"plain", {"FLOW:", "  DOMAIN: D1", "    Option = Rotating", "    Location = B1  # a face", "  END", "END"}},
      {"continued", {"A:", "  x = 1, \\", "   2, \\", "", "  y = 3", "  z = a \\  ", "  b  ", "END"}},
      {"continued at the end", {"A:", "x = tail \\"}},
      {"continued comment", {"A:", "  x = a # c \\", "  b", "  y = \\# \\", " # not a comment?", "END"}},
      {"lone backslashes", {"\\", "  \\  ", "A:", "\\", "END"}},
      {"backslash pieces", {"A: \\", "n", "END", "B \\", "= 1"}},
      {"escapes", {"x = a\\#b", "y = \\#", "z = a\\\\#b", "w = #", "v = a\\", "u = \\\\"}},
      {"comments", {"# whole", "#", "   # indented", "A: # open", "x = 1#2", "END # close"}},
      {"blanks", {"  A  :   B   C  ", "\tx\t=\t1\t2\t", "\x0b y \x0c= \r", "END\r", " SOLUTION    UNITS :", "END"}},
      {"power", {"A:", "!power", "END"}},
      {"power after blank", {"  ! power"}},
      {"unknown directive", {"A:", "&foo bar", "END"}},
      {"replace alone", {"&replace"}},
      {"replace without blank", {"&replaceA:", "END"}},
      {"replace blank", {"&replace  A:", "  x = 1", "END"}},
      {"syntax", {"A:", "foo bar", "END"}},
      {"unmatched END", {"END"}},
      {"missing END", {"A:", "B:", "x = 1"}},
      {"too many ENDs deep", {"A:", "END", "END", "END"}},
      {"bad names", {"1x = 2"}},
      {"bad name char", {"A:", "a,b = 2", "END"}},
      {"control in value", {"x = a\x01b"}},
      {"hash in value", {"x = a \\# b # c"}},
      {"empty param name", {" = 3"}},
      {"empty type", {":"}},
      {"empty type with name", {": N"}},
      {"bad object name", {"A: 1b", "END"}},
      {"singletons", {"A:A", "x = 1", "END", "A: A", "y = 2", "END", "A:", "END", "A : a", "END"}},
      {"empty value", {"x=", "y =", "z = "}},
      {"colon in param", {"a:b = c"}},
      {"object with equals", {"A: b = c"}},
      {"param singleton clash", {"X = 1", "X:", "END"}},
      {"singleton param clash", {"X:", "END", "X = 1"}},
      {"update values", {"A:", "x = 1", "x = 1", "x = 2", "y = ", "y = 3", "END", "A:", "x = 4", "END"}},
      {"reopen", {"A: a", "x = 1", "END", "B:", "END", "A: a", "z = 2", "END"}},
      {"action unhandled", {"A:", ">doit now", "END"}},
      {"action bare", {">", "x = 1"}},
      {"non ascii", {"\xc3\xa4rger:", "\xc3\xa4 = \xe2\x82\xac", "x = \xa0y\xa0", "\x85 = 1", "END"}},
      {"non ascii lead", {"\xa0x = 1"}},
      {"long names", {longName + ":", longName + " = " + longValue, "END"}},
      {"long continued", {"A:", "x = " + longValue + "\\", longValue, "END"}},
      {"names with rare chars", {"_x.y[1]{a|b}:", "%p = 1", "q\tr = 2", "END", "-x = 1"}},
      {"tabs in names", {"A\tB:\tC\tD", "E\t\tF = 1", "END"}},
      {"trailing blank in types", {"A :B", "END", "A: B ", "END", "A  :  B", "END"}},
      {"params at root", {"x = 1", "y = 2", "A:", "END"}},
      {"END variants", {"A:", "END ", " END", "B:", "end", "END"}},
      {"END with comment", {"A:", "END#c", "B:", "END \\", "", "END"}},
      {"equals first", {"A = B: C"}},
      {"slash names", {"a/b:", "END"}},
      {"slash param", {"A:", "x/y = 1", "END"}},
      {"only comment and blanks", {"", "   ", "\t", "#", "\r"}},
      {"clashes in a new object", {"A:", "X = 1", "X:", "END", "END"}},
      {"clashes in a new object 2", {"A:", "X:", "END", "X = 1", "END"}},
      {"clashes in a new object 3", {"A:", "B: X", "END", "B:X", "END", "B = 1", "B:", "END", "END"}},
      {"repeats in new objects", {"A:", "B:", "x = 1", "y = 2", "x = 3", "END", "B:", "x = 4", "z = 5", "END", "C: c",
                                  "END", "C: c", "x = 6", "END", "END", "A:", "B:", "x = 7", "END", "END"}},
      {"replace inside a new object", {"A:", "B:", "x = 1", "y = 2", "C:", "END", "END", "&replace B:", "y = 3",
                                       "END", "B:", "x = 8", "y = 9", "END", "END"}},
      {"action inside a new object", {"A:", "x = 1", ">go", "x = 2", "END"}},
      {"many children", manyChildren},
  };
  std::vector<Case> cases;
  for (const auto& t : texts) {
    for (const char* mode : {"data", "file", "lines", "library"}) {
      Case c;
      c.m_name = t.first + " / " + mode;
      c.m_steps.push_back({mode, t.second});
      cases.push_back(c);
    }
  }
  // Loads into a tree that holds entries already: updates, replace blocks that sweep, failures
  // part-way that keep what earlier lines made.
  Lines base = {"FLOW:", "  DOMAIN: D1", "    Option = A", "    Keep = k", "    SUB:", "      s = 1", "    END",
                "    OTHER: o", "    END", "  END", "  DOMAIN: D2", "    Option = B", "  END", "END"};
  std::vector<std::pair<std::string, Lines>> seconds = {
      {"replace sweeps", {"FLOW:", "  &replace DOMAIN: D1", "    Option = C", "    OTHER: o", "    END", "  END", "END"}},
      {"replace nested", {"&replace FLOW:", "  DOMAIN: D2", "    &replace SUB:", "    END", "  END", "END"}},
      {"replace param", {"FLOW:", "  DOMAIN: D1", "    &replace Option = Z", "  END", "END"}},
      {"fail part-way", {"FLOW:", "  DOMAIN: D1", "    Option = Q", "    1bad = 2", "  END", "END"}},
      {"fail after replace", {"FLOW:", "  &replace DOMAIN: D1", "    Keep = k", "    foo", "  END", "END"}},
      {"same again", base},
      {"library over", {"FLOW:", "  DOMAIN: D3", "    Option = L", "  END", "END"}},
  };
  for (const auto& t : seconds) {
    for (const char* mode : {"data", "file", "digest", "lines"}) {
      Case c;
      c.m_name = "second load: " + t.first + " / " + mode;
      c.m_steps.push_back({"data", base});
      c.m_steps.push_back({mode, t.second});
      cases.push_back(c);
    }
  }
  // Files: no line feed at the end, carriage returns, a NUL inside a line, nothing at all.
  std::vector<std::pair<std::string, Lines>> files = {
      {"crlf", {"A:\r", "x = 1\r", "END\r", ""}},
      {"nul in line", {std::string("A:\0junk", 7), std::string("x = 1\0 = 2", 10), "END"}},
      {"empty", {""}},
      {"only line feeds", {"", "", ""}},
      {"last line continued", {"A:", "END", "x = 1 \\"}},
      {"line longer than a read block", {"A:", "x = " + bigLine, "END"}},
  };
  for (const auto& t : files) {
    Case c;
    c.m_name = "file: " + t.first;
    c.m_steps.push_back({"file", t.second});
    cases.push_back(c);
  }
  return cases;
}

// Generated rough texts, through every way in; some loaded twice into one handle.
std::vector<Case> generatedCases() {
  static const char* const modes[] = {"data", "file", "lines", "library", "digest"};
  std::vector<Case> cases;
  for (unsigned seed = 1; seed <= 150; ++seed) {
    vsntest::TextGenerator gen(seed);
    Case c;
    c.m_name = "generated " + std::to_string(seed);
    c.m_steps.push_back({modes[seed % 5], gen.lines(10 + static_cast<int>(seed % 30))});
    if (seed % 3 == 0) c.m_steps.push_back({modes[(seed / 3) % 5], gen.lines(20)});
    cases.push_back(c);
  }
  return cases;
}

const char kCorpus[] = "/tests/data/vsnapilt/load-corpus.txt";

void writeCorpus(const std::string& path, const std::string& dir) {
  std::vector<Case> cases = handCases();
  for (Case& c : generatedCases()) cases.push_back(c);
  std::ofstream out(path, std::ios::binary);
  for (const Case& c : cases) {
    out << "case " << escape(c.m_name) << "\n";
    for (const Step& s : c.m_steps) {
      out << "step " << s.m_mode << "\n";
      for (const std::string& line : s.m_lines) out << "< " << escape(line) << "\n";
    }
    std::istringstream expected(run(c, dir));
    for (std::string line; std::getline(expected, line);) out << "| " << escape(line) << "\n";
    out << "end\n";
  }
}

std::vector<Case> readCorpus(const std::string& path) {
  std::vector<Case> cases;
  std::ifstream in(path, std::ios::binary);
  for (std::string line; std::getline(in, line);) {
    if (line.compare(0, 5, "case ") == 0) {
      cases.push_back(Case{unescape(line.substr(5)), {}, {}});
    } else if (line.compare(0, 5, "step ") == 0) {
      cases.back().m_steps.push_back({line.substr(5), {}});
    } else if (line.compare(0, 2, "< ") == 0) {
      cases.back().m_steps.back().m_lines.push_back(unescape(line.substr(2)));
    } else if (line.compare(0, 2, "| ") == 0) {
      cases.back().m_expected += unescape(line.substr(2)) + "\n";
    }
  }
  return cases;
}

TEST(VsnLoadCorpus, EveryLoadGivesWhatTheCorpusRecords) {
  zyrtest::ScratchDir scratch{"zyr_vsn_corpus"};
  if (const char* target = getenv("ZYR_VSN_CORPUS_WRITE")) {
    writeCorpus(target, scratch.path());
    GTEST_SKIP() << "corpus written to " << target;
  }
  std::vector<Case> cases = readCorpus(std::string(ZYR_SOURCE_DIR) + kCorpus);
  ASSERT_GT(cases.size(), 350u);
  size_t failures = 0;
  for (const Case& c : cases) {
    std::string got = run(c, scratch.path());
    EXPECT_EQ(got, c.m_expected) << "case " << c.m_name;
    if (got != c.m_expected && ++failures > 5) break;
  }
}

// The corpus holds what the cases make: a changed case list is noticed here rather than
// silently checking an older corpus.
TEST(VsnLoadCorpus, TheCorpusHoldsTheCasesOfThisFile) {
  std::vector<Case> cases = readCorpus(std::string(ZYR_SOURCE_DIR) + kCorpus);
  std::vector<Case> made = handCases();
  for (Case& c : generatedCases()) made.push_back(c);
  ASSERT_EQ(cases.size(), made.size());
  for (size_t i = 0; i < made.size(); ++i) {
    EXPECT_EQ(cases[i].m_name, made[i].m_name);
    ASSERT_EQ(cases[i].m_steps.size(), made[i].m_steps.size()) << made[i].m_name;
    for (size_t k = 0; k < made[i].m_steps.size(); ++k) {
      EXPECT_EQ(cases[i].m_steps[k].m_mode, made[i].m_steps[k].m_mode);
      EXPECT_EQ(cases[i].m_steps[k].m_lines, made[i].m_steps[k].m_lines) << made[i].m_name;
    }
  }
}

} // namespace

namespace {

// The name and value rules, written out from their statement rather than taken from the library:
// a name starts with a letter (a byte above 127 is one), '_' or '%' and goes on with letters,
// digits, blanks, tabs and ".[]_{|}"; a value holds no control byte but the tab, and no '#'
// without a backslash before it. The fault's text, or "" when there is none.
std::string nameFault(const std::string& role, const std::string& name) {
  auto letter = [](unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c >= 128; };
  if (name.empty()) return "invalid " + role + ": must be non-empty.";
  const unsigned char first = static_cast<unsigned char>(name[0]);
  if (!letter(first) && first != '_' && first != '%')
    return "invalid " + role + " \"" + name + "\": leading character must be alphabetic or '_'";
  for (size_t i = 1; i < name.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(name[i]);
    if (!letter(c) && !(c >= '0' && c <= '9') && std::string(" \t.[]_{|}").find(static_cast<char>(c)) == std::string::npos)
      return "invalid " + role + " \"" + name + "\": contains invalid character '" + static_cast<char>(c) + "'";
  }
  return "";
}

std::string valueFault(const std::string& value) {
  for (size_t i = 0; i < value.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(value[i]);
    if (c < 32 && c != '\t')
      return "invalid parameter value \"" + value + "\": control character number " + std::to_string(c) +
             " is not allowed.";
    if (c == '#' && (i == 0 || value[i - 1] != '\\'))
      return "invalid parameter value \"" + value + "\": '#' starts a comment, write it as \"\\#\".";
  }
  return "";
}

// The cleaning the parser did in three passes (the library's own three functions, each shown on
// worked cases in VsnArrayTest), kept here as the reference for its single pass.
std::string referenceClean(const std::string& raw) {
  std::vector<char> text(raw.begin(), raw.end());
  text.push_back('\0');
  stripComment(text.data());
  collapseWhiteSpace(text.data());
  trimWhiteSpace(text.data());
  return text.data();
}

std::string trimmed(const std::string& s) {
  std::vector<char> text(s.begin(), s.end());
  text.push_back('\0');
  return trimWhiteSpace(text.data());
}

// Random lines over the bytes that cleaning treats apart (blanks, tabs, comment signs, the
// backslash before them, a byte above 127, a control byte), long enough to cross the 16-byte
// blocks that clean text is copied in: each loads as the reference cleaning and the name and
// value rules say of the cleaned text.
TEST(VsnLoadCorpus, LinesCleanAsTheThreePassCleaning) {
  static const char alphabet[] = {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', ' ', '.', '_', ' ', '\t', '#', '\\',
                                  '=', ':', '\xa0', '\x01', '\r', '='};
  std::mt19937 random(20);
  for (int round = 0; round < 20000; ++round) {
    std::string raw;
    size_t length = random() % 70;
    // Half the lines mostly plain text, whose blocks need no cleaning until an odd byte comes.
    const bool plain = round % 2 == 0;
    for (size_t i = 0; i < length; ++i) {
      raw += plain && random() % 30 != 0 ? alphabet[random() % 11] : alphabet[random() % sizeof alphabet];
    }
    if (random() % 3 == 0) raw = std::string(random() % 20, ' ') + raw;  // indented
    std::string body = trimmed(raw);
    if (!body.empty() && body.back() == '\\') continue;  // a continued line: no line of its own
    std::string clean = referenceClean(raw);
    std::string expected;
    size_t equals = clean.find('='), colon = clean.find(':');
    if (clean.empty()) {
      expected = "(none)";
    } else if (equals != std::string::npos) {
      std::string name = trimmed(clean.substr(0, equals)), value = trimmed(clean.substr(equals + 1));
      std::string fault = nameFault("parameter name", name);
      if (fault.empty()) fault = valueFault(value);
      expected = fault.empty() ? "value " + value : fault;
    } else if (colon != std::string::npos) {
      std::string type = trimmed(clean.substr(0, colon)), name = trimmed(clean.substr(colon + 1));
      std::string fault = nameFault("object type", type);
      if (fault.empty() && !name.empty() && name != type) fault = nameFault("object name", name);
      expected = fault.empty() ? "object" : fault;
    } else {
      expected = "parseVSNLineH: syntax error near \"" + clean + "\"";
    }

    vsnHandle* h = createVSNHandle();
    const char* err = parseVSNLineH(h, raw.c_str(), 0);
    std::string got = err ? err : "(none)";
    if (!err && equals != std::string::npos) {
      const vsnEntry* p = h->m_root ? h->m_root->m_firstChild : nullptr;
      got = p && p->m_value ? std::string("value ") + p->m_value : "(no parameter)";
    } else if (!err && colon != std::string::npos) {
      got = h->m_root && h->m_root->m_firstChild ? "object" : "(no object)";
    }
    destroyVSNHandle(h);
    ASSERT_EQ(got, expected) << "line \"" << escape(raw) << "\"";
  }
}

} // namespace

namespace {

// A file loaded from its block gives what the lines loadFileData reads from it give: the same
// count, digest, error and tree, whatever zero bytes, carriage returns and missing last line
// feeds it holds, for lines from empty to longer than the blocks lines are counted in.
TEST(VsnLoadCorpus, FilesLoadAsTheirLinesDo) {
  zyrtest::ScratchDir scratch{"zyr_vsn_block"};
  std::string path = scratch.path() + "/f.vsn";
  std::mt19937 random(7);
  static const char* const pieces[] = {"A:", "x = 1", "END", "", "  ", "B: b", "y = a\\#b # c", "\r", "END\r"};
  for (int round = 0; round < 300; ++round) {
    std::string bytes;
    int lines = static_cast<int>(random() % 60);
    for (int i = 0; i < lines; ++i) {
      if (random() % 25 == 0) {
        bytes += "z = " + std::string(random() % 9000, 'w');
      } else {
        bytes += pieces[random() % 9];
      }
      if (random() % 20 == 0) bytes += std::string(1, '\0') + "junk";
      bytes += "\n";
    }
    if (random() % 2 && !bytes.empty()) bytes.pop_back();
    if (round % 50 == 0) bytes = std::string(10000 + static_cast<size_t>(round), '\n');  // a line feed in every byte
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);

    vsnHandle* byLines = createVSNHandle();
    vsnArray* read = nullptr;
    ASSERT_EQ(loadFileData(byLines, path.c_str(), &read), nullptr);
    EXPECT_EQ(vsnCountLines(bytes.data(), bytes.size()), static_cast<size_t>(vsnArrayCount(read)));
    unsigned char digestLines[VSN_DIGEST_SIZE], digestFile[VSN_DIGEST_SIZE];
    const char* e1 = parseVSNData(byLines, read, 0, nullptr, digestLines);
    std::string err1 = e1 ? e1 : "(none)";
    vsnArrayFree(read);
    vsnHandle* byFile = createVSNHandle();
    const char* e2 = loadVSNFile(byFile, path.c_str(), "vsn", nullptr, digestFile);
    std::string err2 = e2 ? e2 : "(none)";
    EXPECT_EQ(err2, err1) << "round " << round;
    EXPECT_EQ(hex(digestFile, VSN_DIGEST_SIZE), hex(digestLines, VSN_DIGEST_SIZE)) << "round " << round;
    EXPECT_EQ(tree(byFile->m_root, 0), tree(byLines->m_root, 0)) << "round " << round;
    destroyVSNHandle(byLines);
    destroyVSNHandle(byFile);
  }
}

} // namespace
