// Faults of the file system injected through the environment or by a test.
#include "zyrFault.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <stdio_ext.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const int kKinds = 4;
const int kFull = 4; // the kind of an entry that fills the disc (counted on writes)
const int kKill = 5; // the kind of an entry that kills the process (counted on hand-overs)

struct Entry {
  int m_kind;
  long m_pass;
  bool m_onwards;
  int m_error;
};

struct Seam {
  std::vector<Entry> m_entries;
  std::string m_file;
  long m_passes[kKinds] = {0, 0, 0, 0};
  long m_failures = 0;
  long m_handovers = 0; // times bytes were about to reach the system, for kill entries
  int m_fullError = 0; // set once the disc is full
  std::string m_countPath;
};

// 0: the environment not yet read; 1: plain calls; 2: armed.
std::atomic<int> theState{0};
std::mutex theMutex;
Seam theSeam;

int kindOf(const std::string &name) {
  static const char *const kNames[] = {"write", "flush", "sync", "read", "full", "kill"};
  for (int k = 0; k <= kKill; ++k)
    if (name == kNames[k])
      return k;
  return -1;
}

int errorOf(const std::string &name) {
  if (name == "ENOSPC")
    return ENOSPC;
  if (name == "EIO")
    return EIO;
  if (name == "EDQUOT")
    return EDQUOT;
  if (name == "EFBIG")
    return EFBIG;
  char *end = nullptr;
  const long number = std::strtol(name.c_str(), &end, 10);
  return !name.empty() && *end == '\0' && number > 0 && number < 4096 ? static_cast<int>(number) : 0;
}

bool parse(const char *plan, std::vector<Entry> *entries) {
  for (const char *c = plan; c != nullptr && *c != '\0';) {
    const char *end = std::strchr(c, ',');
    const std::string text(c, end != nullptr ? static_cast<size_t>(end - c) : std::strlen(c));
    c = end != nullptr ? end + 1 : nullptr;
    if (text.empty())
      continue;
    const size_t at = text.find('@');
    if (at == std::string::npos)
      return false;
    Entry entry;
    entry.m_kind = kindOf(text.substr(0, at));
    if (entry.m_kind < 0)
      return false;
    const size_t colon = text.find(':', at);
    std::string pass = text.substr(at + 1, colon == std::string::npos ? std::string::npos : colon - at - 1);
    entry.m_onwards = !pass.empty() && pass.back() == '+';
    if (entry.m_onwards)
      pass.pop_back();
    char *stop = nullptr;
    entry.m_pass = std::strtol(pass.c_str(), &stop, 10);
    if (pass.empty() || *stop != '\0' || entry.m_pass < 1)
      return false;
    if (colon != std::string::npos) {
      entry.m_error = errorOf(text.substr(colon + 1));
      if (entry.m_error == 0)
        return false;
    } else {
      entry.m_error = entry.m_kind == ZYR_FAULT_SYNC || entry.m_kind == ZYR_FAULT_READ ? EIO : ENOSPC;
    }
    entries->push_back(entry);
  }
  return true;
}

void writeCounts() {
  std::string path;
  long passes[kKinds];
  {
    std::lock_guard<std::mutex> guard(theMutex);
    path = theSeam.m_countPath;
    std::memcpy(passes, theSeam.m_passes, sizeof passes);
  }
  if (path.empty())
    return;
  FILE *out = std::fopen(path.c_str(), "we");
  if (out == nullptr)
    return;
  std::fprintf(out, "write %ld\nflush %ld\nsync %ld\nread %ld\n", passes[0], passes[1], passes[2], passes[3]);
  std::fclose(out);
}

// Arms from the environment at the first pass, unless a test armed the seam first.
bool armed() {
  int state = theState.load(std::memory_order_acquire);
  if (state == 0) {
    std::lock_guard<std::mutex> guard(theMutex);
    state = theState.load(std::memory_order_relaxed);
    if (state == 0) {
      const char *at = std::getenv("ZYR_FAULT_AT");
      const char *file = std::getenv("ZYR_FAULT_FILE");
      const char *count = std::getenv("ZYR_FAULT_COUNT");
      state = 1;
      std::vector<Entry> entries;
      if (((at != nullptr && *at != '\0') || (count != nullptr && *count != '\0')) && parse(at, &entries)) {
        theSeam.m_entries = entries;
        theSeam.m_file = file != nullptr ? file : "";
        if (count != nullptr && *count != '\0') {
          theSeam.m_countPath = count;
          std::atexit(writeCounts);
        }
        state = 2;
      }
      theState.store(state, std::memory_order_release);
    }
  }
  return state == 2;
}

bool concerns(int fd, const std::string &file) {
  if (file.empty())
    return true;
  char link[64];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  char path[4096];
  const ssize_t n = readlink(link, path, sizeof path - 1);
  if (n < 0)
    return false;
  path[n] = '\0';
  return std::strstr(path, file.c_str()) != nullptr;
}

// The error the pass of the kind on the descriptor fails with; 0 when it goes through.
int decide(int kind, int fd) {
  if (!armed())
    return 0;
  std::lock_guard<std::mutex> guard(theMutex);
  if (!concerns(fd, theSeam.m_file))
    return 0;
  const long pass = ++theSeam.m_passes[kind];
  int error = 0;
  if (theSeam.m_fullError != 0 && (kind == ZYR_FAULT_WRITE || kind == ZYR_FAULT_FLUSH))
    error = theSeam.m_fullError;
  for (const Entry &entry : theSeam.m_entries) {
    if (error != 0)
      break;
    const bool due = pass == entry.m_pass || (entry.m_onwards && pass > entry.m_pass);
    if (entry.m_kind == kind && due) {
      error = entry.m_error;
    } else if (entry.m_kind == kFull && kind == ZYR_FAULT_WRITE && pass >= entry.m_pass) {
      theSeam.m_fullError = entry.m_error;
      error = entry.m_error;
    }
  }
  if (error != 0) {
    ++theSeam.m_failures;
    if (std::getenv("ZYR_FAULT_TRACE") != nullptr) {
      static const char *const kNames[] = {"write", "flush", "sync", "read"};
      char link[64], path[4096];
      std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
      const ssize_t n = readlink(link, path, sizeof path - 1);
      path[n > 0 ? n : 0] = '\0';
      std::fprintf(stderr, "zyrFault: %s %ld of %s fails: %s\n", kNames[kind], pass, path, std::strerror(error));
    }
  }
  return error;
}

// Bytes are about to reach the system through the descriptor: a kill entry due now ends the
// process before they do.
void handOver(int fd) {
  if (!armed())
    return;
  std::lock_guard<std::mutex> guard(theMutex);
  if (!concerns(fd, theSeam.m_file))
    return;
  const long step = ++theSeam.m_handovers;
  for (const Entry &entry : theSeam.m_entries)
    if (entry.m_kind == kKill && (step == entry.m_pass || (entry.m_onwards && step > entry.m_pass)))
      raise(SIGKILL);
}

bool isFull() {
  std::lock_guard<std::mutex> guard(theMutex);
  return theSeam.m_fullError != 0;
}

int descriptorOf(FILE *stream) { return stream != nullptr ? fileno(stream) : -1; }

// Whether the stream holds bytes that the next flush hands to the system.
bool holdsOutput(FILE *stream) { return stream != nullptr && __fwriting(stream) && __fpending(stream) > 0; }

// A flush of the stream hands its bytes to the system.
void flushing(FILE *stream) {
  if (holdsOutput(stream))
    handOver(descriptorOf(stream));
}

} // namespace

int zyrFault_arm(const char *plan, const char *file) {
  std::vector<Entry> entries;
  const bool ok = parse(plan, &entries);
  std::lock_guard<std::mutex> guard(theMutex);
  const std::string countPath = theSeam.m_countPath;
  theSeam = Seam();
  theSeam.m_countPath = countPath;
  if (!ok) {
    theState.store(1, std::memory_order_release);
    return 0;
  }
  theSeam.m_entries = entries;
  theSeam.m_file = file != nullptr ? file : "";
  theState.store(2, std::memory_order_release);
  return 1;
}

void zyrFault_disarm() {
  std::lock_guard<std::mutex> guard(theMutex);
  const std::string countPath = theSeam.m_countPath;
  theSeam = Seam();
  theSeam.m_countPath = countPath;
  theState.store(1, std::memory_order_release);
}

long zyrFault_passes(int kind) {
  if (kind < 0 || kind >= kKinds)
    return 0;
  std::lock_guard<std::mutex> guard(theMutex);
  return theSeam.m_passes[kind];
}

long zyrFault_failures() {
  std::lock_guard<std::mutex> guard(theMutex);
  return theSeam.m_failures;
}

// As the C library's stream does when the system refuses its buffer, nothing the stream held is
// left to be written later: on a full disc it is lost, else it lands with half of the new bytes.
size_t zyrFault_fwrite(const void *data, size_t size, size_t count, FILE *stream) {
  // Bytes that do not fit beside what the stream holds go to the system within the call (a
  // stream not yet written has no buffer: it takes at least a page).
  const size_t room = stream != nullptr && __fbufsize(stream) > 0 ? __fbufsize(stream) : 4096;
  if (stream != nullptr && __fpending(stream) + size * count >= room)
    handOver(descriptorOf(stream));
  const int error = decide(ZYR_FAULT_WRITE, descriptorOf(stream));
  if (error == 0)
    return fwrite(data, size, count, stream);
  size_t put = 0;
  if (isFull()) {
    __fpurge(stream);
  } else {
    put = count / 2 > 0 ? fwrite(data, size, count / 2, stream) : 0;
    fflush(stream);
  }
  errno = error;
  return put;
}

size_t zyrFault_fread(void *data, size_t size, size_t count, FILE *stream) {
  const int error = decide(ZYR_FAULT_READ, descriptorOf(stream));
  if (error == 0)
    return fread(data, size, count, stream);
  const size_t half = count / 2;
  const size_t got = half > 0 ? fread(data, size, half, stream) : 0;
  errno = error;
  return got;
}

char *zyrFault_fgets(char *line, int size, FILE *stream) {
  const int error = decide(ZYR_FAULT_READ, descriptorOf(stream));
  if (error == 0)
    return fgets(line, size, stream);
  errno = error;
  return nullptr;
}

// A flush that fails loses what the stream held, as the system never took it.
int zyrFault_fflush(FILE *stream) {
  flushing(stream);
  if (!holdsOutput(stream))
    return fflush(stream);
  const int error = decide(ZYR_FAULT_FLUSH, descriptorOf(stream));
  if (error == 0)
    return fflush(stream);
  __fpurge(stream);
  errno = error;
  return EOF;
}

int zyrFault_fclose(FILE *stream) {
  flushing(stream);
  if (!holdsOutput(stream))
    return fclose(stream);
  const int error = decide(ZYR_FAULT_FLUSH, descriptorOf(stream));
  if (error == 0)
    return fclose(stream);
  __fpurge(stream);
  fclose(stream);
  errno = error;
  return EOF;
}

int zyrFault_fseeko(FILE *stream, off_t offset, int whence) {
  flushing(stream);
  if (!holdsOutput(stream))
    return fseeko(stream, offset, whence);
  const int error = decide(ZYR_FAULT_FLUSH, descriptorOf(stream));
  if (error == 0)
    return fseeko(stream, offset, whence);
  __fpurge(stream);
  errno = error;
  return -1;
}

namespace {

int syncOrFail(int fd, int (*call)(int)) {
  const int error = decide(ZYR_FAULT_SYNC, fd);
  if (error == 0)
    return call(fd);
  errno = error;
  return -1;
}

} // namespace

int zyrFault_fsync(int fd) { return syncOrFail(fd, fsync); }

int zyrFault_fdatasync(int fd) { return syncOrFail(fd, fdatasync); }

ssize_t zyrFault_write(int fd, const void *data, size_t size) {
  handOver(fd);
  const int error = decide(ZYR_FAULT_WRITE, fd);
  if (error == 0)
    return write(fd, data, size);
  if (!isFull() && size / 2 > 0 && write(fd, data, size / 2) < 0) {
    // Nothing more to lose: the call fails either way.
  }
  errno = error;
  return -1;
}

ssize_t zyrFault_read(int fd, void *data, size_t size) {
  const int error = decide(ZYR_FAULT_READ, fd);
  if (error == 0)
    return read(fd, data, size);
  errno = error;
  return -1;
}

ssize_t zyrFault_copyFileRange(int in, int out, size_t size) {
  handOver(out);
  int error = decide(ZYR_FAULT_READ, in);
  if (error == 0)
    error = decide(ZYR_FAULT_WRITE, out);
  if (error == 0)
    return copy_file_range(in, nullptr, out, nullptr, size, 0);
  errno = error;
  return -1;
}
