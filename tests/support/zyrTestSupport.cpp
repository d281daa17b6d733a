#include "zyrTestSupport.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define ZYRTEST_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZYRTEST_ADDRESS_SANITIZER 1
#endif
#endif
#ifdef ZYRTEST_ADDRESS_SANITIZER
#include <sanitizer/allocator_interface.h>
#else
#include <malloc.h>
#endif

// Defined by the profile runtime of an instrumented build only.
extern "C" int __llvm_profile_write_file(void) __attribute__((weak));
extern "C" void __llvm_profile_set_filename(const char *pattern) __attribute__((weak));

namespace zyrtest {

namespace {

// Writes this child's coverage profile when the build collects one (see leaveChild).
void writeChildProfile() {
  const char *pattern = getenv("LLVM_PROFILE_FILE");
  if (__llvm_profile_write_file == nullptr || __llvm_profile_set_filename == nullptr || pattern == nullptr)
    return;
  // A child may have lowered its file-size limit (tests of full disks): lift it again, or leave
  // no profile rather than a truncated one.
  struct rlimit limit;
  if (getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_max != RLIM_INFINITY)
    return;
  limit.rlim_cur = RLIM_INFINITY;
  if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
    return;
  // The runtime read the process id when the parent started: a forked child would write (and
  // merge) into its parent's file. The pattern with this process's id spelt out gives the child
  // a file of its own, so a child killed while writing spoils no other profile.
  std::string own;
  for (const char *c = pattern; *c != '\0'; ++c) {
    if (c[0] == '%' && c[1] == 'p') {
      own += std::to_string(getpid());
      ++c;
    } else {
      own += *c;
    }
  }
  __llvm_profile_set_filename(own.c_str());
  __llvm_profile_write_file();
}

} // namespace

std::vector<std::string> fuzzWords(const uint8_t *data, size_t size, size_t maxWords, std::string *rest) {
  std::vector<std::string> words;
  rest->clear();
  if (size < 1)
    return words;
  const size_t noOfWords = data[0] % (maxWords + 1);
  rest->assign(reinterpret_cast<const char *>(data + 1), size - 1);
  for (size_t i = 0; i < noOfWords; ++i) {
    const size_t end = rest->find('\n');
    std::string word = rest->substr(0, end);
    rest->erase(0, end == std::string::npos ? rest->size() : end + 1);
    for (char &c : word)
      if (c == '/' || c == '\0')
        c = '_';
    words.push_back(word);
  }
  return words;
}

std::vector<std::string> fuzzCommandLine(const std::string &program, const uint8_t *data, size_t size,
                                         size_t maxWords, const std::vector<std::pair<std::string, std::string>> &files,
                                         std::string *rest) {
  std::vector<std::string> line{program};
  for (const std::string &word : fuzzWords(data, size, maxWords, rest)) {
    line.push_back(word);
    for (const auto &file : files)
      if (word == file.first) {
        line.back() = file.second;
        break;
      }
  }
  return line;
}

FILE *fuzzSink() {
  static FILE *sink = std::fopen("/dev/null", "we");
  if (sink == nullptr)
    std::abort();
  return sink;
}

std::vector<const char *> argumentVector(const std::vector<std::string> &words) {
  std::vector<const char *> argv;
  for (const std::string &word : words)
    argv.push_back(word.c_str());
  argv.push_back(nullptr);
  return argv;
}

void leaveChild(int status) {
  writeChildProfile();
  _exit(status);
}

ScratchDir::ScratchDir(const std::string &prefix, const std::string &parent) {
  const std::filesystem::path under = parent.empty() ? std::filesystem::temp_directory_path() : std::filesystem::path(parent);
  std::string templ = (under / (prefix + ".XXXXXX")).string();
  std::vector<char> buffer(templ.begin(), templ.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr)
    throw std::runtime_error("mkdtemp failed for " + templ);
  m_path = buffer.data();
}

ScratchDir::~ScratchDir() {
  // A test may have taken write permission away from something inside.
  std::error_code ignored;
  for (auto it = std::filesystem::recursive_directory_iterator(m_path, ignored);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ignored))
    if (it->is_directory(ignored) && !it->is_symlink(ignored))
      std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(m_path, ignored);
}

std::vector<std::string> ScratchDir::listing() const { return zyrtest::listing(m_path); }

std::vector<std::string> listing(const std::string &directory) {
  std::vector<std::string> names;
  std::error_code missing;
  for (auto it = std::filesystem::directory_iterator(directory, missing); it != std::filesystem::directory_iterator();
       ++it)
    names.push_back(it->path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

OpenWatch::OpenWatch(const std::string &path) : m_fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
  if (m_fd < 0 || inotify_add_watch(m_fd, path.c_str(), IN_OPEN) < 0) {
    if (m_fd >= 0)
      close(m_fd);
    throw std::runtime_error("cannot watch " + path + " for opens: " + strerror(errno));
  }
}

OpenWatch::~OpenWatch() { close(m_fd); }

int OpenWatch::opens() {
  int count = 0;
  alignas(struct inotify_event) char events[4096];
  ssize_t got;
  while ((got = read(m_fd, events, sizeof events)) > 0)
    for (ssize_t at = 0; at < got;) {
      const auto *event = reinterpret_cast<const struct inotify_event *>(events + at);
      count += (event->mask & IN_OPEN) != 0 ? 1 : 0;
      at += static_cast<ssize_t>(sizeof *event + event->len);
    }
  return count;
}

SharedScratchDir::SharedScratchDir(const char *variable, const std::string &prefix) : m_variable(variable) {
  if (const char *inherited = getenv(variable)) {
    m_path = inherited;
    return;
  }
  m_owned = new ScratchDir(prefix);
  m_path = m_owned->path();
  setenv(variable, m_path.c_str(), 1);
}

SharedScratchDir::~SharedScratchDir() {
  if (m_owned == nullptr)
    return;
  unsetenv(m_variable.c_str());
  delete m_owned;
}

WorkingDir::WorkingDir(const std::string &path) : m_previous(std::filesystem::current_path().string()) {
  if (chdir(path.c_str()) != 0)
    throw std::runtime_error("cannot enter " + path);
}

WorkingDir::~WorkingDir() {
  if (chdir(m_previous.c_str()) != 0)
    std::abort();
}

EnvGuard::EnvGuard(const char *name, const char *value) : m_name(name) {
  const char *old = getenv(name);
  m_had = old != nullptr;
  if (m_had)
    m_old = old;
  if (value != nullptr)
    setenv(name, value, 1);
  else
    unsetenv(name);
}

EnvGuard::~EnvGuard() {
  if (m_had)
    setenv(m_name.c_str(), m_old.c_str(), 1);
  else
    unsetenv(m_name.c_str());
}

std::string readFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void writeFile(const std::string &path, const std::string &contents) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << contents;
  if (!out)
    throw std::runtime_error("cannot write " + path);
}

void appendFile(const std::string &path, const std::string &contents) {
  std::ofstream out(path, std::ios::binary | std::ios::app);
  out << contents;
  if (!out)
    throw std::runtime_error("cannot append to " + path);
}

bool fileExists(const std::string &path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
}

int64_t fileSize(const std::string &path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0)
    return -1;
  return static_cast<int64_t>(info.st_size);
}

std::vector<std::string> splitLines(const std::string &text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    lines.push_back(line);
  return lines;
}

int64_t heapInUse() {
#ifdef ZYRTEST_ADDRESS_SANITIZER
  return static_cast<int64_t>(__sanitizer_get_current_allocated_bytes());
#else
  // The C library counts a freed block its thread cache keeps as still in use: only without the
  // cache does the count come back to where it was. The tests are registered with it off.
  const char *tunables = std::getenv("GLIBC_TUNABLES");
  if (tunables == nullptr || std::strstr(tunables, "glibc.malloc.tcache_count=0") == nullptr)
    throw std::runtime_error("the heap is counted only with GLIBC_TUNABLES=glibc.malloc.tcache_count=0 "
                             "(ctest sets it) or under the address sanitizer");
  return static_cast<int64_t>(mallinfo2().uordblks);
#endif
}

namespace {

// A "<field>: <n> kB" line of /proc/self/status, in bytes; 0 when it is not there.
int64_t statusBytes(const char *field) {
  std::ifstream status("/proc/self/status");
  const std::string prefix = std::string(field) + ":";
  for (std::string line; std::getline(status, line);)
    if (line.compare(0, prefix.size(), prefix) == 0)
      return std::strtoll(line.c_str() + prefix.size(), nullptr, 10) * 1024;
  return 0;
}

} // namespace

int64_t residentBytes() { return statusBytes("VmRSS"); }

int64_t peakResidentBytes() { return statusBytes("VmHWM"); }

void resetPeakResident() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
}

std::vector<int32_t> quicksortKiller(size_t n, int64_t *comparisons) {
  // Every value starts as "gas", above all others; a comparison of two gas values freezes one of
  // them (the last pivot candidate seen, if it is one) at the next solid value, so that the pivot
  // is soon solid and every other gas value falls above it.
  const int32_t gas = static_cast<int32_t>(n);
  std::vector<int32_t> values(n, gas);
  int32_t *value = values.data();
  int32_t solid = 0, candidate = -1;
  int64_t count = 0;
  auto compare = [&](int32_t x, int32_t y) {
    ++count;
    if (value[x] == gas && value[y] == gas) value[x == candidate ? x : y] = solid++;
    if (value[x] == gas)
      candidate = x;
    else if (value[y] == gas)
      candidate = y;
    return (value[x] > value[y]) - (value[x] < value[y]);
  };
  // The modelled sort, its comparisons in the same order as the library's: the items are the
  // positions, sorted by their values as these freeze. Parts still to sort wait on a stack.
  std::vector<int32_t> items(n);
  for (size_t i = 0; i < n; ++i) items[i] = static_cast<int32_t>(i);
  std::vector<std::pair<size_t, size_t>> parts{{0, n}};
  while (!parts.empty()) {
    const size_t from = parts.back().first, m = parts.back().second;
    parts.pop_back();
    int32_t *keys = items.data() + from;
    if (m < 12) {
      for (size_t i = 1; i < m; ++i) {
        const int32_t key = keys[i];
        size_t j = i;
        for (; j > 0 && compare(key, keys[j - 1]) < 0; --j) keys[j] = keys[j - 1];
        keys[j] = key;
      }
      continue;
    }
    const int32_t a = keys[0], b = keys[m / 2], c = keys[m - 1];
    const int32_t pivot = compare(a, b) < 0 ? (compare(b, c) < 0 ? b : (compare(a, c) < 0 ? c : a))
                                            : (compare(a, c) < 0 ? a : (compare(b, c) < 0 ? c : b));
    size_t lt = 0, i = 0, gt = m;
    while (i < gt) {
      // compare(keys[i], pivot) written out for a solid pivot, the common case: this runs n*n/4
      // times, also in unoptimised builds.
      const int32_t key = keys[i], p = value[pivot];
      int order;
      if (p == gas) {
        order = compare(key, pivot);
      } else {
        ++count;
        const int32_t v = value[key];
        if (v == gas) candidate = key;
        order = (v > p) - (v < p);
      }
      if (order < 0) {
        keys[i++] = keys[lt];
        keys[lt++] = key;
      } else if (order > 0) {
        keys[i] = keys[--gt];
        keys[gt] = key;
      } else {
        ++i;
      }
    }
    // Frozen values are distinct: only the pivot equals itself.
    parts.emplace_back(from + gt, m - gt);
    parts.emplace_back(from, lt);
  }
  // Values never compared with another gas value are above every solid one, in any order.
  for (int32_t &v : values)
    if (v == gas) v = solid++;
  if (comparisons) *comparisons = count;
  return values;
}

std::string printed(const std::function<void(FILE *)> &print) {
  char *buffer = nullptr;
  size_t size = 0;
  FILE *stream = open_memstream(&buffer, &size);
  if (stream == nullptr)
    throw std::runtime_error("open_memstream failed");
  print(stream);
  std::fclose(stream);
  std::string text(buffer, size);
  std::free(buffer);
  return text;
}

} // namespace zyrtest
