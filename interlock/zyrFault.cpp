// Faults of the file system injected through the environment or by a test.
#include "zyrFault.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <stdio_ext.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

const int kKinds = 7;
const int kFull = 7; // the kind of an entry that fills the disc (counted on writes)
const int kKill = 8; // the kind of an entry that kills the process (counted on hand-overs)
const char *const kNames[] = {"write", "flush", "sync", "read", "look", "remove", "open", "full", "kill"};

struct Entry {
  int m_kind;
  long m_pass;
  bool m_onwards;
  int m_error;
};

struct Seam {
  std::vector<Entry> m_entries;
  std::string m_file;
  long m_passes[kKinds] = {0, 0, 0, 0, 0, 0, 0};
  long m_failures = 0;
  long m_handovers = 0; // times bytes were about to reach the system, for kill entries
  int m_fullError = 0; // set once the disc is full
  std::vector<std::pair<dev_t, ino_t>> m_failedReads; // the files a read of which failed
  long m_writesAfterFailedRead = 0;
  std::string m_countPath;
};

// 0: the environment not yet read; 1: plain calls; 2: armed.
std::atomic<int> theState{0};
std::mutex theMutex;
Seam theSeam;

int kindOf(const std::string &name) {
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
  if (name == "ENOENT")
    return ENOENT;
  if (name == "EACCES")
    return EACCES;
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
      // Sync, read, look, removal and open fail as a failing device makes them fail.
      entry.m_error = entry.m_kind >= ZYR_FAULT_SYNC && entry.m_kind <= ZYR_FAULT_OPEN ? EIO : ENOSPC;
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
  for (int kind = 0; kind < kKinds; ++kind)
    std::fprintf(out, "%s %ld\n", kNames[kind], passes[kind]);
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

// The path of the file open as the descriptor ("" when it cannot be read).
std::string pathOf(int fd) {
  char link[64];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  char path[4096];
  const ssize_t n = readlink(link, path, sizeof path - 1);
  return std::string(path, n > 0 ? static_cast<size_t>(n) : 0);
}

bool concerns(const std::string &path, const std::string &file) {
  return file.empty() || (!path.empty() && path.find(file) != std::string::npos);
}

// Counts and, when asked, tells a failure of the current pass of the kind; theMutex held.
void noteFailure(int kind, const std::string &path, int error) {
  ++theSeam.m_failures;
  if (std::getenv("ZYR_FAULT_TRACE") != nullptr)
    std::fprintf(stderr, "zyrFault: %s %ld of %s fails: %s\n", kNames[kind], theSeam.m_passes[kind], path.c_str(),
                 std::strerror(error));
}

// Notes the file of a read that fails, and counts a write or flush to a file noted so; theMutex
// held. Only such a read, or a write once a read has failed, looks at the file.
void noteReadsAndWrites(int kind, int fd, bool failing) {
  const bool writing = kind == ZYR_FAULT_WRITE || kind == ZYR_FAULT_FLUSH;
  if (!(kind == ZYR_FAULT_READ && failing) && !(writing && !theSeam.m_failedReads.empty()))
    return;
  struct stat status;
  if (fd < 0 || fstat(fd, &status) != 0)
    return;
  const std::pair<dev_t, ino_t> file(status.st_dev, status.st_ino);
  std::vector<std::pair<dev_t, ino_t>> &failed = theSeam.m_failedReads;
  const bool noted = std::find(failed.begin(), failed.end(), file) != failed.end();
  if (kind == ZYR_FAULT_READ && failing && !noted)
    failed.push_back(file);
  else if ((kind == ZYR_FAULT_WRITE || kind == ZYR_FAULT_FLUSH) && noted)
    ++theSeam.m_writesAfterFailedRead;
}

// What becomes of a pass: the error it fails with (0 when it goes through), and whether that is
// the full disc's, which fails only the bytes that would lengthen the file (the caller tells
// such a failure by fullDiscFails).
struct Verdict {
  int m_error = 0;
  bool m_full = false;
};

// Whether passes of the kind count: every kind for an empty plan; else the kinds the plan names,
// with the writes and flushes that a full disc or a failed read watches. theMutex held.
bool counted(int kind) {
  if (theSeam.m_entries.empty())
    return true;
  const bool writing = kind == ZYR_FAULT_WRITE || kind == ZYR_FAULT_FLUSH;
  for (const Entry &entry : theSeam.m_entries)
    if (entry.m_kind == kind || (writing && (entry.m_kind == kFull || entry.m_kind == ZYR_FAULT_READ)))
      return true;
  return false;
}

// Whether passes of the kind count, as counted() tells, taking the lock.
bool counts(int kind) {
  std::lock_guard<std::mutex> guard(theMutex);
  return counted(kind);
}

// A pass of the kind on the file of the path (open as fd, or -1 for a look by name).
Verdict decideAt(int kind, const std::string &path, int fd) {
  Verdict verdict;
  std::lock_guard<std::mutex> guard(theMutex);
  if (!counted(kind) || !concerns(path, theSeam.m_file))
    return verdict;
  const long pass = ++theSeam.m_passes[kind];
  for (const Entry &entry : theSeam.m_entries) {
    const bool due = pass == entry.m_pass || (entry.m_onwards && pass > entry.m_pass);
    if (entry.m_kind == kind && due && verdict.m_error == 0)
      verdict.m_error = entry.m_error;
    else if (entry.m_kind == kFull && kind == ZYR_FAULT_WRITE && pass >= entry.m_pass && theSeam.m_fullError == 0)
      theSeam.m_fullError = entry.m_error;
  }
  noteReadsAndWrites(kind, fd, verdict.m_error != 0);
  if (verdict.m_error != 0) {
    noteFailure(kind, path, verdict.m_error);
  } else if (theSeam.m_fullError != 0 && (kind == ZYR_FAULT_WRITE || kind == ZYR_FAULT_FLUSH)) {
    verdict.m_error = theSeam.m_fullError;
    verdict.m_full = true;
  }
  return verdict;
}

Verdict decide(int kind, int fd) {
  if (!armed())
    return Verdict();
  // The file's path is read only where it counts: a pass of a kind counted, and a file to match
  // or failures to tell.
  bool named = std::getenv("ZYR_FAULT_TRACE") != nullptr;
  {
    std::lock_guard<std::mutex> guard(theMutex);
    if (!counted(kind))
      return Verdict();
    named = named || !theSeam.m_file.empty();
  }
  return decideAt(kind, named ? pathOf(fd) : std::string(), fd);
}

// Bytes are about to reach the system through the descriptor: a kill entry due now ends the
// process before they do.
void handOver(int fd) {
  if (!armed())
    return;
  std::lock_guard<std::mutex> guard(theMutex);
  if (!concerns(theSeam.m_file.empty() ? std::string() : pathOf(fd), theSeam.m_file))
    return;
  const long step = ++theSeam.m_handovers;
  for (const Entry &entry : theSeam.m_entries)
    if (entry.m_kind == kKill && (step == entry.m_pass || (entry.m_onwards && step > entry.m_pass)))
      raise(SIGKILL);
}

int descriptorOf(FILE *stream) { return stream != nullptr ? fileno(stream) : -1; }

// Whether the stream holds bytes that the next flush hands to the system.
bool holdsOutput(FILE *stream) { return stream != nullptr && __fwriting(stream) && __fpending(stream) > 0; }

size_t heldBytes(FILE *stream) { return holdsOutput(stream) ? __fpending(stream) : 0; }

// Where the stream's held bytes go in the file (its position when it holds none); -1 unknown.
off_t heldAt(FILE *stream) {
  const off_t position = ftello(stream);
  return position < 0 ? -1 : position - static_cast<off_t>(heldBytes(stream));
}

// On a full disc bytes land only within the file as it stands, where they take no room: of
// `length` bytes that go to `at`, how many do.
size_t fitting(int fd, off_t at, size_t length) {
  struct stat status;
  if (at < 0 || fstat(fd, &status) != 0 || at >= status.st_size)
    return 0;
  return std::min(length, static_cast<size_t>(status.st_size - at));
}

// A full disc fails the pass: counted and told.
void fullDiscFails(int kind, int fd, int error) {
  std::lock_guard<std::mutex> guard(theMutex);
  noteFailure(kind, pathOf(fd), error);
}

// Sets the stream's error indicator, as the C library does when the system fails a call.
void markError(FILE *stream) {
  flockfile(stream);
  stream->_flags |= _IO_ERR_SEEN;
  funlockfile(stream);
}

// As the C library's stream is after the system refused a write: its error indicator is set, it
// holds nothing to write and nothing read ahead, and it goes on at `at` (when known), so that
// what it reads next is what the file holds.
void refused(FILE *stream, off_t at) {
  flockfile(stream);
  __fpurge(stream);
  // A purged buffer may still pass for read-ahead of the bytes it held; emptied, it cannot.
  stream->_IO_read_base = stream->_IO_read_ptr = stream->_IO_read_end = stream->_IO_buf_base;
  stream->_IO_write_base = stream->_IO_write_ptr = stream->_IO_buf_base;
  funlockfile(stream);
  if (at >= 0)
    fseeko(stream, at, SEEK_SET);
  markError(stream);
}

// Whether what the stream holds and `bytes` more lie within the file, where a full disc takes
// them.
bool fitsFullDisc(FILE *stream, size_t bytes) {
  const size_t length = heldBytes(stream) + bytes;
  return fitting(fileno(stream), heldAt(stream), length) == length;
}

// What the stream holds and the new bytes meet a full disc: the part within the file lands, the
// rest is lost, and the stream goes on where the disc stopped. The new bytes that landed.
size_t landWhatFits(FILE *stream, const void *data, size_t bytes, int kind, int error) {
  const int fd = fileno(stream);
  const size_t held = heldBytes(stream);
  const off_t at = heldAt(stream);
  std::string all(held > 0 ? stream->_IO_write_base : "", held);
  if (bytes > 0)
    all.append(static_cast<const char *>(data), bytes);
  const size_t landed = fitting(fd, at, all.size());
  if (landed > 0 && pwrite(fd, all.data(), landed, at) != static_cast<ssize_t>(landed)) {
    // The disc refused even that: the call fails either way.
  }
  refused(stream, at >= 0 ? at + static_cast<off_t>(landed) : -1);
  fullDiscFails(kind, fd, error);
  errno = error;
  return landed > held ? landed - held : 0;
}

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

long zyrFault_writesAfterFailedRead() {
  std::lock_guard<std::mutex> guard(theMutex);
  return theSeam.m_writesAfterFailedRead;
}

// As the C library's stream does when the system refuses its buffer, nothing the stream held is
// left to be written later: on a full disc what lies beyond the file's end is lost, else it lands
// with half of the new bytes.
size_t zyrFault_fwrite(const void *data, size_t size, size_t count, FILE *stream) {
  // Bytes that do not fit beside what the stream holds go to the system within the call (a
  // stream not yet written has no buffer: it takes at least a page).
  const size_t room = stream != nullptr && __fbufsize(stream) > 0 ? __fbufsize(stream) : 4096;
  if (stream != nullptr && __fpending(stream) + size * count >= room)
    handOver(descriptorOf(stream));
  const Verdict verdict = decide(ZYR_FAULT_WRITE, descriptorOf(stream));
  if (verdict.m_error == 0 || (verdict.m_full && fitsFullDisc(stream, size * count)))
    return fwrite(data, size, count, stream);
  if (verdict.m_full)
    return size > 0 ? landWhatFits(stream, data, size * count, ZYR_FAULT_WRITE, verdict.m_error) / size : 0;
  const size_t put = count / 2 > 0 ? fwrite(data, size, count / 2, stream) : 0;
  fflush(stream);
  refused(stream, ftello(stream));
  errno = verdict.m_error;
  return put;
}

namespace {

// A read the system failed leaves the stream's error indicator set, as the C library's own read
// does: that, not the end of the file, is what the caller must see.
void failRead(FILE *stream, int error) {
  if (stream != nullptr)
    markError(stream);
  errno = error;
}

} // namespace

size_t zyrFault_fread(void *data, size_t size, size_t count, FILE *stream) {
  const int error = decide(ZYR_FAULT_READ, descriptorOf(stream)).m_error;
  if (error == 0)
    return fread(data, size, count, stream);
  const size_t half = count / 2;
  const size_t got = half > 0 ? fread(data, size, half, stream) : 0;
  failRead(stream, error);
  return got;
}

char *zyrFault_fgets(char *line, int size, FILE *stream) {
  const int error = decide(ZYR_FAULT_READ, descriptorOf(stream)).m_error;
  if (error == 0)
    return fgets(line, size, stream);
  failRead(stream, error);
  return nullptr;
}

namespace {

// The flush of the stream's held bytes, before a flush, a close or a seek: 0 when the call may go
// on, else the error it fails with. A failing flush loses what the stream held, as the system
// never took it; on a full disc what lies within the file lands.
int flushHeld(FILE *stream) {
  flushing(stream);
  if (!holdsOutput(stream))
    return 0;
  const Verdict verdict = decide(ZYR_FAULT_FLUSH, descriptorOf(stream));
  if (verdict.m_error == 0 || (verdict.m_full && fitsFullDisc(stream, 0)))
    return 0;
  if (verdict.m_full)
    landWhatFits(stream, nullptr, 0, ZYR_FAULT_FLUSH, verdict.m_error);
  else
    refused(stream, heldAt(stream));
  errno = verdict.m_error;
  return verdict.m_error;
}

} // namespace

int zyrFault_fflush(FILE *stream) { return flushHeld(stream) == 0 ? fflush(stream) : EOF; }

int zyrFault_fclose(FILE *stream) {
  const int error = flushHeld(stream);
  if (error == 0)
    return fclose(stream);
  fclose(stream);
  errno = error;
  return EOF;
}

int zyrFault_fseeko(FILE *stream, off_t offset, int whence) {
  return flushHeld(stream) == 0 ? fseeko(stream, offset, whence) : -1;
}

namespace {

int syncOrFail(int fd, int (*call)(int)) {
  const int error = decide(ZYR_FAULT_SYNC, fd).m_error;
  if (error == 0)
    return call(fd);
  errno = error;
  return -1;
}

} // namespace

int zyrFault_fsync(int fd) { return syncOrFail(fd, fsync); }

int zyrFault_fdatasync(int fd) { return syncOrFail(fd, fdatasync); }

int zyrFault_fstat(int fd, struct stat *status) {
  const int error = armed() && counts(ZYR_FAULT_LOOK) ? decideAt(ZYR_FAULT_LOOK, pathOf(fd), -1).m_error : 0;
  if (error == 0)
    return fstat(fd, status);
  errno = error;
  return -1;
}

namespace {

// How many of `size` bytes written at the descriptor's position land on a full disc.
size_t fittingHere(int fd, size_t size) { return fitting(fd, lseek(fd, 0, SEEK_CUR), size); }

} // namespace

ssize_t zyrFault_write(int fd, const void *data, size_t size) {
  handOver(fd);
  const Verdict verdict = decide(ZYR_FAULT_WRITE, fd);
  const size_t landing = verdict.m_full ? fittingHere(fd, size) : size / 2;
  if (verdict.m_error == 0 || (verdict.m_full && landing == size))
    return write(fd, data, size);
  if (verdict.m_full)
    fullDiscFails(ZYR_FAULT_WRITE, fd, verdict.m_error);
  if (landing > 0 && write(fd, data, landing) < 0) {
    // Nothing more to lose: the call fails either way.
  }
  errno = verdict.m_error;
  return -1;
}

ssize_t zyrFault_read(int fd, void *data, size_t size) {
  const int error = decide(ZYR_FAULT_READ, fd).m_error;
  if (error == 0)
    return read(fd, data, size);
  errno = error;
  return -1;
}

ssize_t zyrFault_copyFileRange(int in, int out, size_t size) {
  handOver(out);
  Verdict verdict = decide(ZYR_FAULT_READ, in);
  if (verdict.m_error == 0)
    verdict = decide(ZYR_FAULT_WRITE, out);
  const size_t landing = verdict.m_full ? fittingHere(out, size) : 0;
  if (verdict.m_error == 0 || (verdict.m_full && landing == size))
    return copy_file_range(in, nullptr, out, nullptr, size, 0);
  if (verdict.m_full) {
    fullDiscFails(ZYR_FAULT_WRITE, out, verdict.m_error);
    if (landing > 0 && copy_file_range(in, nullptr, out, nullptr, landing, 0) < 0) {
      // The call fails either way.
    }
  }
  errno = verdict.m_error;
  return -1;
}

namespace {

// A look at or removal of the name (the kind) fails when the seam says so: 0 when it may go on,
// else -1 with errno set.
int lookFails(int directory, const char *name, int kind = ZYR_FAULT_LOOK) {
  if (!armed() || !counts(kind))
    return 0;
  std::string path = name != nullptr ? name : "";
  if (directory != AT_FDCWD && !path.empty() && path[0] != '/')
    path = pathOf(directory) + "/" + path;
  const int error = decideAt(kind, path, -1).m_error;
  if (error == 0)
    return 0;
  errno = error;
  return -1;
}

} // namespace

int zyrFault_stat(const char *name, struct stat *status) {
  return lookFails(AT_FDCWD, name) != 0 ? -1 : stat(name, status);
}

int zyrFault_lstat(const char *name, struct stat *status) {
  return lookFails(AT_FDCWD, name) != 0 ? -1 : lstat(name, status);
}

int zyrFault_fstatat(int directory, const char *name, struct stat *status, int flags) {
  return lookFails(directory, name) != 0 ? -1 : fstatat(directory, name, status, flags);
}

int zyrFault_access(const char *name, int mode) { return lookFails(AT_FDCWD, name) != 0 ? -1 : access(name, mode); }

int zyrFault_unlink(const char *name) {
  return lookFails(AT_FDCWD, name, ZYR_FAULT_REMOVE) != 0 ? -1 : unlink(name);
}

int zyrFault_open(const char *name, int flags, mode_t mode) {
  return lookFails(AT_FDCWD, name, ZYR_FAULT_OPEN) != 0 ? -1 : open(name, flags, mode);
}
