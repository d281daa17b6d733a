// Loading a generated 100,000-line physics text from a file into a VSN tree, and writing the
// whole tree back as text, each against a plain pass in the same run that only reads the same
// file and splits it into line strings. Reported: seconds of each side and the ratios
// load / split and write / split.
#include "vsnHandle.h"
#include "vsnLoader.h"
#include "vsnValue.h"
#include "vsnWriter.h"
#include "zyrBenchSupport.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using zyrbench::Clock;
using zyrbench::seconds;

// Domains of walls with boundary conditions, and interfaces between the domains: about as deep
// and as wordy as a real set-up.
std::string physicsText(int targetLines) {
  std::string t = "FLOW:\n  SOLUTION UNITS:\n    Length Units = [ mm ]\n    Time Units = [ s ]\n  END\n";
  int lines = 5;
  for (int d = 0; lines < targetLines - 20; ++d) {
    std::string dn = std::to_string(d);
    t += "  DOMAIN: Domain " + dn + "\n    Domain Type = Fluid\n    Location = B" + dn +
         "\n    DOMAIN MODELS:\n      DOMAIN MOTION:\n        Option = Rotating\n"
         "        Angular Velocity = 3000 [rev min^-1]\n      END\n    END\n";
    lines += 9;
    for (int b = 0; b < 100 && lines < targetLines - 20; ++b) {
      std::string bn = dn + "_" + std::to_string(b);
      t += "    BOUNDARY: Wall " + bn + "\n      Boundary Type = WALL\n      Location = F" + bn +
           "  # a face\n      BOUNDARY CONDITIONS:\n        MASS AND MOMENTUM:\n          Option = No Slip Wall\n"
           "        END\n        HEAT TRANSFER:\n          Option = Fixed Temperature\n"
           "          Fixed Temperature = 300 [K]\n        END\n      END\n    END\n";
      lines += 13;
    }
    t += "  END\n  DOMAIN INTERFACE: Interface " + dn + "\n    Boundary List1 = Wall " + dn +
         "_0, \\\n      Wall " + dn + "_1\n    Interface Type = Fluid Fluid\n  END\n";
    lines += 7;
  }
  t += "END\n";
  return t;
}

struct TextFile {
  std::string m_path;
  int m_lines = 0;
  TextFile() {
    char tmpl[] = "/tmp/zyr_vsn_bench_XXXXXX";
    int fd = mkstemp(tmpl);
    if (fd < 0) abort();
    m_path = tmpl;
    std::string text = physicsText(100000);
    for (char c : text) m_lines += c == '\n';
    if (write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) abort();
    close(fd);
  }
  ~TextFile() { unlink(m_path.c_str()); }
};

// The plain pass: the file's lines as strings, nothing more.
size_t splitLines(const char* path) {
  FILE* f = fopen(path, "re");
  if (!f) abort();
  std::vector<std::string> lines;
  std::string partial;
  std::vector<char> block(1 << 16);
  size_t got;
  while ((got = fread(block.data(), 1, block.size(), f)) > 0) {
    const char* p = block.data();
    const char* end = p + got;
    while (const char* lf = static_cast<const char*>(memchr(p, '\n', static_cast<size_t>(end - p)))) {
      partial.append(p, lf);
      lines.push_back(partial);
      partial.clear();
      p = lf + 1;
    }
    partial.append(p, end);
  }
  if (!partial.empty()) lines.push_back(partial);
  fclose(f);
  return lines.size();
}

void BM_LoadAndWrite(benchmark::State& state) {
  static TextFile file;
  double split = 0, load = 0, write = 0;
  for (auto _ : state) {
    auto t0 = Clock::now();
    size_t n = splitLines(file.m_path.c_str());
    auto t1 = Clock::now();
    vsnHandle* h = createVSNHandle();
    const char* err = loadVSNFileH(h, file.m_path.c_str(), "vsn");
    auto t2 = Clock::now();
    char** lines = nullptr;
    const char* werr = getAllVSNH(h, &lines);
    auto t3 = Clock::now();
    if (err || werr || n != static_cast<size_t>(file.m_lines)) {
      state.SkipWithError(err ? err : werr ? werr : "line count");
      break;
    }
    freeStringArray(lines);
    destroyVSNHandle(h);
    split += seconds(t0, t1);
    load += seconds(t1, t2);
    write += seconds(t2, t3);
    state.SetIterationTime(seconds(t1, t3));
  }
  double k = static_cast<double>(state.iterations());
  state.counters["lines"] = file.m_lines;
  state.counters["split_s"] = split / k;
  state.counters["load_s"] = load / k;
  state.counters["write_s"] = write / k;
  state.counters["ratio_load"] = load / split;
  state.counters["ratio_write"] = write / split;
  char label[96];
  std::snprintf(label, sizeof label, "load/split = %.1f, write/split = %.1f", load / split, write / split);
  state.SetLabel(label);
}

BENCHMARK(BM_LoadAndWrite)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(1.0);

} // namespace

BENCHMARK_MAIN();
