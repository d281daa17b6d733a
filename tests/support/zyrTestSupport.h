#ifndef ZYR_TEST_SUPPORT_H
#define ZYR_TEST_SUPPORT_H
// What tests, fuzz targets and benchmarks of every layer share. Every test, fuzz and bench
// executable links it (target zyr_test_support); it depends on no layer.
//
//   zyrtest::ScratchDir dir;                    // fresh directory, removed with everything in it
//   zyrtest::writeFile(dir.file("a.txt"), "x"); // dir.file(name) is dir.path() + "/" + name
//   zyrtest::WorkingDir here(dir.path());       // chdir there until the guard goes
//   zyrtest::EnvGuard env("WEZ_FORMAT", "2");   // set (nullptr: unset) until the guard goes
//   std::string bytes = zyrtest::readFile(dir.file("a.txt"));
//
// Published errors of the foundation and higher layers are captured with zyrtest::ErrorCapture
// from zyrTestErrors.h. Failures of the helpers themselves throw std::runtime_error.
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace zyrtest {

class ScratchDir {
public:
  // The name starts with prefix, under parent (by default the system's temporary directory).
  explicit ScratchDir(const std::string &prefix = "zyrtest", const std::string &parent = "");
  ~ScratchDir();
  ScratchDir(const ScratchDir &) = delete;
  ScratchDir &operator=(const ScratchDir &) = delete;
  const std::string &path() const { return m_path; }
  std::string file(const std::string &name) const { return m_path + "/" + name; }
  // The names directly inside, sorted.
  std::vector<std::string> listing() const;

private:
  std::string m_path;
};

// The names directly inside the directory, sorted; none when it is not there.
std::vector<std::string> listing(const std::string &directory);

// Counts the opens of a file by any process, from the watch's making on: the file the path leads to
// then, under whatever name it has later (inotify's IN_OPEN). An open as a place only (O_PATH)
// makes none, an open for reading without waiting does, also of a pipe: what a test of "never
// opened" needs.
class OpenWatch {
public:
  explicit OpenWatch(const std::string &path);
  ~OpenWatch();
  OpenWatch(const OpenWatch &) = delete;
  OpenWatch &operator=(const OpenWatch &) = delete;
  // The opens made since the last call (since the watch was made, at the first), read without
  // waiting: those of a process that has ended, or of a call that has returned, are all there.
  int opens();

private:
  int m_fd = -1;
};

// A scratch directory shared with the children a test re-executes (death tests in the
// "threadsafe" style start the test binary afresh) through an environment variable: the process
// that finds the variable unset makes the directory, sets the variable and, at the end, removes
// both; a child finds the directory in the variable and leaves it alone.
class SharedScratchDir {
public:
  SharedScratchDir(const char *variable, const std::string &prefix = "zyrtest");
  ~SharedScratchDir();
  SharedScratchDir(const SharedScratchDir &) = delete;
  SharedScratchDir &operator=(const SharedScratchDir &) = delete;
  const std::string &path() const { return m_path; }
  std::string file(const std::string &name) const { return m_path + "/" + name; }
  // Whether this process made the directory (false in a child).
  bool owner() const { return m_owned != nullptr; }

private:
  std::string m_variable;
  std::string m_path;
  ScratchDir *m_owned = nullptr;
};

// Makes a directory the working directory and returns to the previous one at the end.
class WorkingDir {
public:
  explicit WorkingDir(const std::string &path);
  ~WorkingDir();
  WorkingDir(const WorkingDir &) = delete;
  WorkingDir &operator=(const WorkingDir &) = delete;

private:
  std::string m_previous;
};

// Sets (value non-null) or unsets an environment variable and restores what was there before.
class EnvGuard {
public:
  EnvGuard(const char *name, const char *value);
  ~EnvGuard();
  EnvGuard(const EnvGuard &) = delete;
  EnvGuard &operator=(const EnvGuard &) = delete;

private:
  std::string m_name;
  std::string m_old;
  bool m_had;
};

// The whole file; empty when it cannot be read.
std::string readFile(const std::string &path);
void writeFile(const std::string &path, const std::string &contents);
void appendFile(const std::string &path, const std::string &contents);
bool fileExists(const std::string &path);
// -1 when the file is missing.
int64_t fileSize(const std::string &path);
// Lines without their newlines; a last line without a newline counts.
std::vector<std::string> splitLines(const std::string &text);

// Ends a forked child or a death-test child at once, as _exit does (no atexit handlers, no
// destructors of state the child shares with its parent), after writing the child's coverage
// profile when the build collects one: _exit alone would lose what the child ran.
[[noreturn]] void leaveChild(int status);

// Bytes the heap has handed out and not had back: the same before and after a sequence of calls
// that must leave nothing allocated (under the address sanitizer its own count, else the C
// library's, which is exact only with its thread cache off: GLIBC_TUNABLES=glibc.malloc.tcache_count=0,
// as ctest runs the tests; without it this throws). Single-threaded tests only.
int64_t heapInUse();

// The resident size of this process ("VmRSS" of /proc/self/status) and its peak ("VmHWM"), in
// bytes; 0 where the system does not tell them.
int64_t residentBytes();
int64_t peakResidentBytes();
// Lets the peak start again from the present resident size, where the system allows it (a forked
// child's peak starts from the size it was forked at in any case).
void resetPeakResident();

// A fuzz input read as a command line: a first byte giving the number of words (up to maxWords),
// then the words one a line; what follows is left in *rest. A "/" or NUL in a word becomes "_",
// so that no word names a file outside the working directory.
std::vector<std::string> fuzzWords(const uint8_t *data, size_t size, size_t maxWords, std::string *rest);
// A tool's command line from a fuzz input: the program, then the input's words (fuzzWords), each
// word that `files` names replaced by the file it stands for (a pair of word and file name).
std::vector<std::string> fuzzCommandLine(const std::string &program, const uint8_t *data, size_t size,
                                         size_t maxWords, const std::vector<std::pair<std::string, std::string>> &files,
                                         std::string *rest);
// Where a fuzzed tool's output goes: /dev/null, opened once for the process (which ends when it
// cannot be opened).
FILE *fuzzSink();
// The words as an argument vector for a main function, ended by NULL (valid while they live).
std::vector<const char *> argumentVector(const std::vector<std::string> &words);

// The ranks 0 to n - 1, one a position, that McIlroy's adversary ("A Killer Adversary for
// Quicksort", 1999) arranges against a three-way quicksort whose pivot is the median of the first,
// middle and last element and which takes runs of fewer than 12 by insertion: the data-set
// library's order sort. Every partition of such a sort then splits off about two entries, some n*n/4
// comparisons in all (the count the modelled sort made is left in *comparisons when not null).
// Costs about that many steps itself, without recursion: 0.2 s for 20,000 ranks, 5 s for 100,000.
std::vector<int32_t> quicksortKiller(size_t n, int64_t *comparisons = nullptr);

// What `print` writes to a stream, as text.
std::string printed(const std::function<void(FILE *)> &print);

// The long sweeps run as this many tests, each the cases whose number leaves its remainder
// (inShard): ctest spreads them over the cores, and none runs long enough alone to time out on a
// busy machine. Together they walk every case the whole sweep walked.
constexpr int kSweepShards = 8;
inline bool inShard(long number, int shard) { return number % kSweepShards == shard; }
// The shard's part of a count that the whole sweep asked for (a floor, or the cases walked): the
// parts of all shards add up to the whole exactly, the first shards taking one more where it does
// not divide.
inline long shareOf(long whole, int shard) {
  return whole / kSweepShards + (shard < whole % kSweepShards ? 1 : 0);
}

// Whether the text holds the part.
inline bool contains(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

} // namespace zyrtest

#endif
