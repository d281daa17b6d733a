// Leftovers of ended processes: names, liveness, removal.
#include "zyrLeftovers.h"

#include "zyrFileUse.h"
#include "zyrPause.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <climits>
#include <cstdint>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

bool endsWith(const std::string &text, const char *suffix) {
  const size_t n = strlen(suffix);
  return text.size() >= n && text.compare(text.size() - n, n, suffix) == 0;
}

// The mark of the library's own temporaries, before the id of the process that made them: a
// component "zyr-pid<N>" that no other program's names carry. Older names carry "pid<N>" alone.
const char kMark[] = "zyr-pid";

// The process id of a "zyr-pid<N>" (*marked) or "pid<N>" component, or 0.
long pidOf(const std::string &component, bool *marked) {
  const size_t markSize = sizeof kMark - 1;
  *marked = component.compare(0, markSize, kMark) == 0;
  const size_t digits = *marked ? markSize : 3;
  if (component.size() <= digits || component.size() > digits + 18 ||
      (!*marked && component.compare(0, 3, "pid") != 0))
    return 0;
  long pid = 0;
  for (size_t i = digits; i < component.size(); ++i) {
    if (component[i] < '0' || component[i] > '9')
      return 0;
    pid = pid * 10 + (component[i] - '0');
  }
  return pid;
}

// The stem of a leftover name (before ".zyr-pid<N>" or ".pid<N>"), or "" when it is none; *marked
// tells a name that carries the library's mark from one of the older shape.
std::string stemOf(const std::string &name, long *pid, bool *marked) {
  *pid = 0;
  *marked = false;
  std::string rest = name;
  if (endsWith(rest, ".lck"))
    rest.resize(rest.size() - 4);
  // A temporary database: the store adds its suffix.
  if (endsWith(rest, ".tmp.zyr"))
    rest.resize(rest.size() - 4);
  if (!endsWith(rest, ".tmp"))
    return std::string();
  rest.resize(rest.size() - 4);
  size_t dot = rest.rfind('.');
  if (dot == std::string::npos || dot == 0)
    return std::string();
  long found = pidOf(rest.substr(dot + 1), marked);
  if (found == 0) {
    // "<stem>.zyr-pid<N>.<unique>"
    size_t before = rest.rfind('.', dot - 1);
    if (before == std::string::npos || before == 0)
      return std::string();
    found = pidOf(rest.substr(before + 1, dot - before - 1), marked);
    dot = before;
  }
  if (found <= 0)
    return std::string();
  *pid = found;
  return rest.substr(0, dot);
}

} // namespace

int zyrLeftovers_stem(const char *stem, char *buffer, size_t size) {
  if (buffer == nullptr || size == 0)
    return 0;
  int n = snprintf(buffer, size, "%s.%s%ld", stem != nullptr ? stem : "", kMark, static_cast<long>(getpid()));
  if (n < 0 || static_cast<size_t>(n) >= size) {
    buffer[0] = '\0';
    return 0;
  }
  return 1;
}

std::string zyrLeftovers_directory(const char *path) {
  const char *slash = path != nullptr ? strrchr(path, '/') : nullptr;
  return slash == nullptr ? "." : slash == path ? "/" : std::string(path, static_cast<size_t>(slash - path));
}

size_t zyrLeftovers_nameMax(const char *path) {
  const long most = pathconf(zyrLeftovers_directory(path).c_str(), _PC_NAME_MAX);
  return most > 0 ? static_cast<size_t>(most) : static_cast<size_t>(NAME_MAX);
}

int zyrLeftovers_fits(const char *path, size_t reserve) {
  if (path == nullptr)
    return 0;
  const char *slash = strrchr(path, '/');
  return strlen(slash != nullptr ? slash + 1 : path) + reserve <= zyrLeftovers_nameMax(path) ? 1 : 0;
}

int zyrLeftovers_beside(const char *path, const char *suffix, size_t reserve, char *buffer, size_t size) {
  if (buffer == nullptr || size == 0)
    return 0;
  buffer[0] = '\0';
  if (path == nullptr || suffix == nullptr)
    return 0;
  const char *slash = strrchr(path, '/');
  const size_t start = slash != nullptr ? static_cast<size_t>(slash - path) + 1 : 0;
  std::string name(path);
  const size_t most = zyrLeftovers_nameMax(path);
  const size_t last = name.size() - start, extra = strlen(suffix) + reserve;
  if (last + extra > most) {
    const size_t mark = 9; // "~" and eight hexadecimal digits
    if (extra + mark > most)
      return 0;
    size_t keep = most - extra - mark;
    // A character of several bytes is kept whole or not at all.
    while (keep > 0 && (static_cast<unsigned char>(name[start + keep]) & 0xC0) == 0x80)
      --keep;
    uint32_t digest = 2166136261u; // FNV-1a
    for (size_t i = start; i < name.size(); ++i)
      digest = (digest ^ static_cast<unsigned char>(name[i])) * 16777619u;
    char tail[mark + 1];
    snprintf(tail, sizeof tail, "~%08x", static_cast<unsigned>(digest));
    name.resize(start + keep);
    name += tail;
  }
  name += suffix;
  if (name.size() >= size)
    return 0;
  memcpy(buffer, name.c_str(), name.size() + 1);
  return 1;
}

int zyrLeftovers_name(const char *path, const char *suffix, size_t reserve, char *buffer, size_t size) {
  char own[32];
  snprintf(own, sizeof own, ".%s%ld", kMark, static_cast<long>(getpid()));
  return zyrLeftovers_beside(path, (std::string(own) + (suffix != nullptr ? suffix : "")).c_str(), reserve, buffer,
                             size);
}

long zyrLeftovers_owner(const char *name) {
  if (name == nullptr)
    return 0;
  const char *slash = strrchr(name, '/');
  long pid = 0;
  bool marked = false;
  stemOf(slash != nullptr ? slash + 1 : name, &pid, &marked);
  return pid;
}

int zyrLeftovers_isAlive(long pid) {
  if (pid <= 0 || static_cast<long>(static_cast<pid_t>(pid)) != pid)
    return 0;
  return kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM ? 1 : 0;
}

int zyrLeftovers_isHeld(const char *path) { return zyrFileUse_isHeld(path); }

int zyrLeftovers_create(const char *path, int *fd) {
  *fd = -1;
  if (path == nullptr || path[0] == '\0') {
    errno = ENOENT;
    return 0;
  }
  // An unnamed file, locked, then given its name: nobody sees the name before the lock.
  const std::string directory = zyrLeftovers_directory(path);
  int made = open(directory.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
  if (made >= 0) {
    char self[64];
    snprintf(self, sizeof self, "/proc/self/fd/%d", made);
    if (flock(made, LOCK_EX) == 0 && linkat(AT_FDCWD, self, AT_FDCWD, path, AT_SYMLINK_FOLLOW) == 0) {
      *fd = made;
      return 1;
    }
    const int error = errno;
    close(made);
    errno = error;
    // Without /proc the name cannot be given: made the plain way below.
    if (error != ENOENT) return 0;
  } else if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL && errno != ENOENT && errno != EPERM) {
    return 0; // a directory the user may not write, a full disc: the plain way fails alike
  }
  // A file system without unnamed files: made and locked under the directory lock, which every
  // look at a leftover takes. A directory removed meanwhile refuses an unnamed file with EPERM; the
  // plain way then tells the true reason (ENOENT).
  zyrDirectoryGuard guard(path);
  made = open(path, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
  if (made < 0) return 0;
  flock(made, LOCK_EX); // a file system without kernel locks holds nothing
  *fd = made;
  return 1;
}

namespace {

// A unique part for a name: "." and sixteen hexadecimal digits.
std::string uniquePart() {
  std::random_device random;
  char unique[32];
  snprintf(unique, sizeof unique, ".%08x%08x", static_cast<unsigned>(random()), static_cast<unsigned>(random()));
  return unique;
}

// Whether the lock file's name of a data-set file just made under the name ("<name>.lck") is free
// for its writer. A lock file there is an ended writer's, as the file it was made for was gone:
// this user's goes; anything else (another user's file, no regular file) stays, and keeps the
// name from serving.
bool lockNameFree(const char *name) {
  const std::string lock = std::string(name) + ".lck";
  struct stat status;
  // A name too long for a lock file beside it is no data-set file's: nothing is there.
  if (lstat(lock.c_str(), &status) != 0)
    return errno == ENOENT || errno == ENAMETOOLONG;
  return zyrLeftovers_isOwn(lock.c_str()) && (unlink(lock.c_str()) == 0 || errno == ENOENT);
}

} // namespace

int zyrLeftovers_make(const char *path, const char *suffix, size_t reserve, char *buffer, size_t size, int *fd,
                      bool owned) {
  *fd = -1;
  const std::string plain = suffix != nullptr ? suffix : "";
  for (int attempt = 0; attempt < 16; ++attempt) {
    const bool first = owned && attempt < 2;
    const std::string chosen = first ? plain : uniquePart() + plain;
    const int named = owned ? zyrLeftovers_name(path, chosen.c_str(), reserve, buffer, size)
                            : zyrLeftovers_beside(path, chosen.c_str(), reserve, buffer, size);
    if (!named) {
      errno = ENAMETOOLONG;
      return 0;
    }
    if (zyrLeftovers_create(buffer, fd)) {
      if (lockNameFree(buffer))
        return 1;
      // Another's file under its lock file's name: the name is given up for another.
      unlink(buffer);
      close(*fd);
      *fd = -1;
      attempt = std::max(attempt, owned ? 1 : 0);
      continue;
    }
    if (errno != EEXIST)
      break;
    // The plain name of this id: what an ended process left goes, unless somebody holds it.
    if (first && attempt == 0 && !zyrLeftovers_removeUnheld(buffer))
      ++attempt;
  }
  if (errno == 0)
    errno = EEXIST;
  buffer[0] = '\0';
  return 0;
}

namespace {

bool isOwnRegular(const struct stat &status) { return S_ISREG(status.st_mode) && status.st_uid == geteuid(); }

} // namespace

int zyrLeftovers_isOwn(const char *path) {
  struct stat status;
  return path != nullptr && lstat(path, &status) == 0 && isOwnRegular(status) ? 1 : 0;
}

int zyrLeftovers_removeUnheld(const char *path) {
  if (path == nullptr) return 0;
  const std::string name = path;
  const bool lockFile = endsWith(name, ".lck");
  const std::string data = lockFile ? name.substr(0, name.size() - 4) : name;
  zyrDirectoryGuard guard(path);
  // Only a regular file of this user can be one this library made for it; anything else stays
  // whatever its name, and nothing but the regular file looked at is opened to try its lock.
  struct stat own, looked;
  if (lstat(path, &own) != 0 || !isOwnRegular(own)) return 0;
  if (lstat(data.c_str(), &looked) != 0) {
    // The lock file of a data file that is gone backs nobody.
    return lockFile && errno == ENOENT && unlink(path) == 0 ? 1 : 0;
  }
  if (!S_ISREG(looked.st_mode)) return 0;
  zyrPause_point("leftovers.looked");
  // Anything that cannot be opened to try its lock counts as held.
  struct stat held, now;
  const int fd = zyrFileUse_openLooked(data.c_str(), looked, false, &held);
  if (fd < 0) return 0;
  bool removed = false;
  // Held by this descriptor, the file is nobody else's: removed while the names still lead to what
  // the look saw, and (unless it is the data file of a lock file) is still this user's.
  if (flock(fd, LOCK_EX | LOCK_NB) == 0 && (lockFile || isOwnRegular(held)) && lstat(data.c_str(), &now) == 0 &&
      zyrFileUse_isSame(now, looked) && (!lockFile || (lstat(path, &now) == 0 && zyrFileUse_isSame(now, own))))
    removed = unlink(path) == 0;
  close(fd);
  return removed ? 1 : 0;
}

int zyrLeftovers_remove(const char *directory, const char *prefix, zyrLeftoversRemoved removed, void *context) {
  const std::string dir = directory != nullptr && directory[0] != '\0' ? directory : ".";
  DIR *listing = opendir(dir.c_str());
  if (listing == nullptr)
    return 0;
  struct Found {
    std::string m_name;
    long m_pid;
    bool m_marked;
  };
  std::vector<Found> found;
  while (const dirent *entry = readdir(listing)) {
    long pid = 0;
    bool marked = false;
    const std::string stem = stemOf(entry->d_name, &pid, &marked);
    if (pid > 0 && (prefix == nullptr || stem.compare(0, strlen(prefix), prefix) == 0))
      found.push_back({entry->d_name, pid, marked});
  }
  closedir(listing);
  const std::string base = endsWith(dir, "/") ? dir : dir + "/";
  int count = 0;
  for (const Found &leftover : found) {
    // A marked file is held by its maker from its making to its rename or removal: its lock alone
    // tells, whatever process runs under the id in its name (its maker may have been a process of
    // another pid namespace, a container, whose id is a live process's here). An unmarked name may
    // be another program's that takes no lock: a process of the id that still runs keeps it.
    if (!leftover.m_marked && zyrLeftovers_isAlive(leftover.m_pid))
      continue;
    const std::string path = base + leftover.m_name;
    if (!zyrLeftovers_removeUnheld(path.c_str()))
      continue;
    ++count;
    if (removed != nullptr)
      removed(path.c_str(), leftover.m_pid, context);
  }
  return count;
}
