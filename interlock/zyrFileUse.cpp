// Files in use: the directory lock, the holders of a real lock, and the one rule for what may be
// replaced or removed.
#include "zyrFileUse.h"

#include "zyrFault.h"
#include "zyrLeftovers.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

// The searches of the system's lists of other processes made so far (zyrFileUse_searches).
std::atomic<long> theSearches{0};

// The directory lock this thread holds, and how many calls hold it.
thread_local int theDirectoryFd = -1;
thread_local int theDirectoryDepth = 0;

// One line of the system's listing of real locks ("1: FLOCK  ADVISORY  WRITE 1234 fe:00:5678 0
// EOF", also after "lock:\t" in a descriptor's information): the id of the process that took it
// when it is a whole-file lock on the file of `status` (for writing only, when `writer`), else 0;
// -1 for such a lock whose process the system does not show. A waiter's line ("1: -> FLOCK ...")
// does not scan.
long lockLineHolder(const char *line, const struct stat &status, bool writer) {
  char type[16], access[16];
  long pid = 0;
  unsigned deviceMajor = 0, deviceMinor = 0;
  unsigned long inode = 0;
  if (sscanf(line, "%*d: %15s %*15s %15s %ld %x:%x:%lu", type, access, &pid, &deviceMajor, &deviceMinor, &inode) !=
          6 ||
      strcmp(type, "FLOCK") != 0 || inode != status.st_ino || deviceMajor != major(status.st_dev) ||
      deviceMinor != minor(status.st_dev) || (writer && strcmp(access, "WRITE") != 0))
    return 0;
  return pid > 0 ? pid : -1;
}

void noteHolder(long pid, zyrHolders *found) {
  if (pid == 0) return;
  if (pid < 0) {
    found->m_unseen = true;
  } else if (pid == static_cast<long>(getpid())) {
    found->m_here = true;
  } else if (found->m_other == 0 || pid < found->m_other) {
    found->m_several = found->m_several || found->m_other != 0;
    found->m_other = pid;
  } else if (pid != found->m_other) {
    found->m_several = true;
  }
}

// The lock lines of a stream that lists locks ("lock:" lines of a descriptor's information, or the
// system's list), noted in *found.
void noteLockLines(FILE *lines, const char *prefix, const struct stat &status, bool writer, zyrHolders *found) {
  char line[256];
  const size_t skip = strlen(prefix);
  while (fgets(line, sizeof line, lines))
    if (strncmp(line, prefix, skip) == 0) noteHolder(lockLineHolder(line + skip, status, writer), found);
}

// The locks on the file of `status` that the descriptor `fd` of the process `owner`, whose /proc
// entry is `process`, holds, noted in *found. Each descriptor's information lists the locks taken
// through it, read under the file's own lock list, so a holder that lives through the search is
// met whatever other processes lock or let go meanwhile. A lock line names the process that took
// the lock: while it runs the lock counts as its own (its children share it); once it has ended,
// as the process whose descriptor keeps it.
void noteDescriptorHolders(int process, long owner, const char *fd, const struct stat &status, bool writer,
                           zyrHolders *found) {
  struct stat target;
  if (fstatat(process, (std::string("fd/") + fd).c_str(), &target, 0) != 0 || !zyrFileUse_isSame(target, status))
    return;
  const int infoFd = openat(process, (std::string("fdinfo/") + fd).c_str(), O_RDONLY | O_CLOEXEC);
  if (infoFd < 0) return;
  FILE *info = fdopen(infoFd, "re");
  if (!info) {
    close(infoFd);
    return;
  }
  zyrHolders held;
  noteLockLines(info, "lock:", status, writer, &held);
  fclose(info);
  if (!held.any()) return;
  const long taker = held.m_here ? static_cast<long>(getpid()) : held.m_other;
  noteHolder(taker > 0 && zyrLeftovers_isAlive(taker) ? taker : owner, found);
}

// The holders among the processes whose descriptors this process may look at.
void noteVisibleHolders(const struct stat &status, bool writer, zyrHolders *found) {
  ++theSearches;
  DIR *processes = opendir("/proc");
  if (!processes) return;
  while (struct dirent *entry = readdir(processes)) {
    if (entry->d_name[0] < '1' || entry->d_name[0] > '9') continue;
    const int process = openat(dirfd(processes), entry->d_name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (process < 0) continue; // ended meanwhile
    const int fdsFd = openat(process, "fd", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR *fds = fdsFd >= 0 ? fdopendir(fdsFd) : nullptr;
    if (!fds && fdsFd >= 0) close(fdsFd);
    const long owner = strtol(entry->d_name, nullptr, 10);
    while (struct dirent *descriptor = fds ? readdir(fds) : nullptr)
      if (descriptor->d_name[0] != '.')
        noteDescriptorHolders(process, owner, descriptor->d_name, status, writer, found);
    if (fds) closedir(fds);
    close(process);
  }
  closedir(processes);
}

// The system's list of locks, read whole. It is walked page by page while other processes lock
// and let go, so that a line can be missed when others' locks before it go meanwhile: it is read
// twice, and a holder met in either reading counts (under the directory lock no new holder of the
// file comes meanwhile).
void noteListedHolders(const struct stat &status, bool writer, zyrHolders *found) {
  ++theSearches;
  for (int reading = 0; reading < 2; ++reading) {
    FILE *list = fopen("/proc/locks", "re");
    if (!list) {
      found->m_error = errno != 0 ? errno : EACCES;
      return;
    }
    zyrHolders listed;
    noteLockLines(list, "", status, writer, &listed);
    fclose(list);
    // The list names the process that took each lock, also when it has ended and a child of it
    // keeps the descriptor: such a one is named as another process.
    if (listed.m_here) noteHolder(static_cast<long>(getpid()), found);
    if (listed.m_other != 0) noteHolder(zyrLeftovers_isAlive(listed.m_other) ? listed.m_other : -1, found);
    if (listed.m_several || listed.m_unseen) found->m_unseen = true;
  }
}

// A file's use as a database's: how its holders are named.
std::string heldBy(const zyrHolders &holders) {
  if (holders.m_here) return "a database open in this session";
  if (holders.m_other > 0 && !holders.m_several) return "in use by process " + std::to_string(holders.m_other);
  return "in use by another process";
}

// The data file whose lock file the name is ("<data>.lck"), or "".
std::string dataFileOf(const char *name) {
  const size_t n = strlen(name);
  const char *slash = strrchr(name, '/');
  const size_t last = slash != nullptr ? n - static_cast<size_t>(slash + 1 - name) : n;
  if (last <= 4 || strcmp(name + n - 4, ".lck") != 0) return std::string();
  return std::string(name, n - 4);
}

// Whether the file open as fd is held by another open of it, tried on its own real lock, which
// is then held through fd when it is not. A file system without real locks holds nothing, and
// keeps nobody out.
bool isHeldAgainst(int fd) { return flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK; }

// Whether the file of the name is held, tried on its own real lock: 1, or 0 when it is not (or
// the open finds nothing there), or -1 when it cannot be told (*error: why it could not be
// opened). *status receives the file's status where it could be had (*known). *hold (when given)
// receives a descriptor that holds a free file under an exclusive lock.
int probe(const char *name, int *hold, int *error, struct stat *status, bool *known) {
  *error = 0;
  *known = false;
  const int fd = open(name, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    const int reason = errno;
    // Not there is not in use; a name that cannot even be looked up cannot be told. The open's
    // own answer comes first: only an open that could not be tried (no descriptor left) asks a look.
    if (reason == ENOENT || reason == ENOTDIR) return 0;
    if (zyrFault_stat(name, status) != 0) {
      if (errno == ENOENT || errno == ENOTDIR) return 0;
      *error = errno;
      return -1;
    }
    *known = true;
    *error = reason;
    return -1;
  }
  *known = fstat(fd, status) == 0;
  // Only a regular file is a data-set file, or held as one (an open that found the name empty
  // before a look may find anything there).
  if (*known && !S_ISREG(status->st_mode)) {
    close(fd);
    return 0;
  }
  if (!isHeldAgainst(fd)) {
    if (hold != nullptr)
      *hold = fd;
    else
      close(fd); // lets go of the probe's lock too
    return 0;
  }
  close(fd);
  return 1;
}

} // namespace

namespace {

// Takes the directory lock through `opened`, a new descriptor of the directory (-1: none could be
// had): 1 when held.
int lockOpened(int opened) {
  theDirectoryFd = opened;
  if (theDirectoryFd < 0) return 0;
  int status;
  do status = flock(theDirectoryFd, LOCK_EX);
  while (status != 0 && errno == EINTR);
  if (status != 0) {
    close(theDirectoryFd);
    theDirectoryFd = -1;
  }
  return theDirectoryFd >= 0 ? 1 : 0;
}

} // namespace

int zyrFileUse_lockDirectory(const char *name) {
  if (theDirectoryDepth++ > 0 || !name) return theDirectoryFd >= 0 ? 1 : 0;
  return lockOpened(open(zyrLeftovers_directory(name).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

int zyrFileUse_lockDirectoryAt(int directory) {
  if (theDirectoryDepth++ > 0 || directory < 0) return theDirectoryFd >= 0 ? 1 : 0;
  // A descriptor of its own: the lock goes with its close, whatever else has the directory open.
  return lockOpened(openat(directory, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

void zyrFileUse_unlockDirectory() {
  if (theDirectoryDepth == 0 || --theDirectoryDepth > 0) return;
  if (theDirectoryFd >= 0) close(theDirectoryFd); // lets go of the lock
  theDirectoryFd = -1;
}

zyrHolders zyrFileUse_holders(const struct stat &status, bool writer) {
  zyrHolders found;
  noteVisibleHolders(status, writer, &found);
  if (!found.any()) noteListedHolders(status, writer, &found);
  return found;
}

int zyrFileUse_check(const char *name, zyrFileUse *use, int *hold) {
  *use = zyrFileUse();
  if (hold != nullptr) *hold = -1;
  if (name == nullptr || name[0] == '\0') return 0;
  zyrDirectoryGuard guard(name);
  struct stat status;
  const bool seen = zyrFault_lstat(name, &status) == 0;
  if (!seen && errno != ENOENT && errno != ENOTDIR) {
    // A look that failed saw nothing: a file that another process holds may stand there.
    use->m_kind = ZYR_USE_UNKNOWN;
    use->m_error = errno;
    use->m_unseen = true;
    return 1;
  }
  // A look that finds nothing there is no answer about a file that an open finds: the open
  // decides, as for any regular file.
  if (!seen || S_ISREG(status.st_mode)) {
    const int held = probe(name, hold, &use->m_error, &use->m_status, &use->m_known);
    if (held != 0) {
      use->m_kind = held > 0 ? ZYR_USE_HELD : ZYR_USE_UNKNOWN;
      return 1;
    }
  }
  if (!zyrFileUse_checkName(name, use)) return 0;
  if (hold != nullptr && *hold >= 0) {
    close(*hold);
    *hold = -1;
  }
  return 1;
}

int zyrFileUse_checkOpen(int fd, const char *name, zyrFileUse *use) {
  *use = zyrFileUse();
  if (isHeldAgainst(fd)) {
    use->m_kind = ZYR_USE_HELD;
    use->m_known = fstat(fd, &use->m_status) == 0;
    return 1;
  }
  return zyrFileUse_checkName(name, use);
}

int zyrFileUse_checkName(const char *name, zyrFileUse *use) {
  *use = zyrFileUse();
  if (name == nullptr) return 0;
  // The lock file of a file in use (or of one whose use cannot be told), whether or not it is there
  // now: the file's holder rewrites or removes it at its close.
  const std::string data = dataFileOf(name);
  if (data.empty()) return 0;
  zyrDirectoryGuard guard(name);
  // m_error keeps why the data file's lock could not be tried, so that nobody is said to hold it.
  if (probe(data.c_str(), nullptr, &use->m_error, &use->m_status, &use->m_known) == 0) {
    *use = zyrFileUse();
    return 0;
  }
  use->m_kind = ZYR_USE_LOCK_FILE;
  use->m_file = data;
  return 1;
}

std::string zyrFileUse_reason(const zyrFileUse *use) {
  if (use->m_kind == ZYR_USE_NONE) return std::string();
  zyrHolders holders;
  if (use->m_known) holders = zyrFileUse_holders(use->m_status, false);
  // A lock that could not be tried tells nothing of its holders: what the system's lists show may
  // name one, and that they show none tells nothing either.
  const std::string untried = std::string("cannot be told (") +
                              (use->m_unseen ? "it cannot be looked at: " : "its lock cannot be tried: ") +
                              strerror(use->m_error != 0 ? use->m_error : EACCES) + ")";
  switch (use->m_kind) {
  case ZYR_USE_HELD: return "It is " + heldBy(holders);
  case ZYR_USE_LOCK_FILE:
    if (use->m_error != 0 && !holders.any())
      return "It is the lock file of " + use->m_file + ", and whether another process is using that file " + untried;
    return "It is the lock file of " + use->m_file + ", which is " + heldBy(holders);
  default:
    if (holders.any()) return "It is " + heldBy(holders);
    return "Whether another process is using it " + untried;
  }
}

int zyrFileUse_isHeld(const char *name) {
  int error = 0;
  struct stat status;
  bool known = false;
  return name != nullptr && probe(name, nullptr, &error, &status, &known) != 0 ? 1 : 0;
}

long zyrFileUse_searches() { return theSearches.load(); }

int zyrFileUse_leadsTo(int directory, const char *name, const struct stat &expected) {
  if (name == nullptr) {
    errno = ENOENT;
    return -1;
  }
  struct stat there;
  if (zyrFault_fstatat(directory, name, &there, AT_SYMLINK_NOFOLLOW) != 0)
    return -1;
  return zyrFileUse_isSame(there, expected) ? 1 : 0;
}

int zyrFileUse_openLooked(const char *name, const struct stat &looked, bool follow, struct stat *opened) {
  return zyrFileUse_openLookedAt(AT_FDCWD, name, looked, O_RDONLY, follow, opened);
}

int zyrFileUse_openLookedAt(int directory, const char *name, const struct stat &looked, int flags, bool follow,
                            struct stat *opened) {
  struct stat status;
  if (opened == nullptr) opened = &status;
  flags |= O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
  const int nofollow = follow ? 0 : O_NOFOLLOW;
  const int place = openat(directory, name, O_PATH | O_CLOEXEC | nofollow);
  if (place < 0) return -1;
  int fd = -1;
  // A look that fails says why; only another file is ESTALE.
  const bool seen = fstat(place, opened) == 0;
  if (seen && S_ISREG(opened->st_mode) && zyrFileUse_isSame(*opened, looked)) {
    char self[64];
    snprintf(self, sizeof self, "/proc/self/fd/%d", place);
    fd = open(self, flags);
    if (fd < 0 && errno == ENOENT) fd = openat(directory, name, flags | nofollow);
  } else if (seen) {
    errno = ESTALE;
  }
  int reason = errno;
  close(place);
  if (fd >= 0 && fstat(fd, opened) != 0) {
    reason = errno;
    close(fd);
    fd = -1;
  } else if (fd >= 0 && (!S_ISREG(opened->st_mode) || !zyrFileUse_isSame(*opened, looked))) {
    reason = ESTALE;
    close(fd);
    fd = -1;
  }
  errno = reason;
  return fd;
}
