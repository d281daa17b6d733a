// Temporaries held by their maker, and the holds this process lends its own borrowers.
#include "zyrHeldTemporary.h"

#include "zyrFault.h"
#include "zyrFileUse.h"
#include "zyrLeftovers.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// The temporaries of this process, for its borrowers and its opens by name to find.
std::mutex &registryMutex() {
  static std::mutex *mutex = new std::mutex();
  return *mutex;
}

std::vector<zyrHeldTemporary *> &registry() {
  static std::vector<zyrHeldTemporary *> *holds = new std::vector<zyrHeldTemporary *>();
  return *holds;
}

void enlist(zyrHeldTemporary *held) {
  std::lock_guard<std::mutex> lock(registryMutex());
  registry().push_back(held);
}

void dismiss(zyrHeldTemporary *held) {
  std::lock_guard<std::mutex> lock(registryMutex());
  std::vector<zyrHeldTemporary *> &all = registry();
  all.erase(std::remove(all.begin(), all.end(), held), all.end());
}

// The enlisted temporary whose hold is on the file of the status; NULL. Under the registry lock.
zyrHeldTemporary *holdOn(const struct stat &status) {
  for (zyrHeldTemporary *held : registry()) {
    struct stat status2;
    if (held->m_hold >= 0 && fstat(held->m_hold, &status2) == 0 && zyrFileUse_isSame(status2, status))
      return held;
  }
  return nullptr;
}

// Whether the held directory of the temporary is no longer under the name it was made in, as a
// look at that name sees: another directory (or file) stands there. Nothing there, or a look that
// fails, cannot tell: the directory may be where it was.
bool movedAway(const zyrHeldTemporary *held) {
  struct stat directory, named;
  if (held->m_directory < 0 || fstat(held->m_directory, &directory) != 0)
    return false;
  return zyrFault_stat(zyrLeftovers_directory(held->m_name.c_str()).c_str(), &named) == 0 &&
         !zyrFileUse_isSame(named, directory);
}

// The enlisted temporary of the name; NULL. Under the registry lock.
zyrHeldTemporary *namedBy(const char *name) {
  if (name == nullptr)
    return nullptr;
  for (zyrHeldTemporary *held : registry())
    if (held->m_hold >= 0 && held->m_name == name)
      return held;
  return nullptr;
}

// Where the temporary's name is looked up: its base name in the held directory, else (none held)
// the whole name from the working directory. The directory descriptor, *name the name there.
int placeOf(const zyrHeldTemporary *held, const char **name) {
  const bool inDirectory = held->m_directory >= 0;
  *name = inDirectory ? held->m_base.c_str() : held->m_name.c_str();
  return inDirectory ? held->m_directory : AT_FDCWD;
}

// The record holds the file under the name through fd from now on, in the directory the name
// leads to now.
void take(zyrHeldTemporary *held, const char *name, int fd) {
  held->m_name = name;
  held->m_hold = fd;
  const char *slash = strrchr(name, '/');
  held->m_base = slash != nullptr ? slash + 1 : name;
  held->m_directory = open(zyrLeftovers_directory(name).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  // A directory renamed in the moment since the making is not the one the file is in: the name
  // is all there is then.
  if (held->m_directory >= 0 && !zyrHeldTemporary_isThere(held)) {
    close(held->m_directory);
    held->m_directory = -1;
  }
  enlist(held);
}

// Removes the held file (only its lock file when `lockFileOnly`) while its name leads to it: 1
// when it did.
int removeHeld(const zyrHeldTemporary *held, bool lockFileOnly) {
  if (held->m_name.empty() || held->m_hold < 0)
    return 0;
  // Looked at as every remover looks, under the directory lock.
  zyrDirectoryGuard guard(held->m_directory, held->m_name.c_str());
  if (!zyrHeldTemporary_isThere(held))
    return 0;
  const char *name = nullptr;
  const int at = placeOf(held, &name);
  if (!lockFileOnly)
    unlinkat(at, name, 0);
  unlinkat(at, (std::string(name) + ".lck").c_str(), 0);
  return 1;
}

} // namespace

zyrHeldTemporary::~zyrHeldTemporary() { zyrHeldTemporary_end(this); }

int zyrHeldTemporary_make(zyrHeldTemporary *held, const char *path, const char *suffix, size_t reserve,
                          bool owned) {
  zyrHeldTemporary_end(held);
  char name[PATH_MAX];
  int fd = -1;
  if (!zyrLeftovers_make(path, suffix, reserve, name, sizeof name, &fd, owned))
    return 0;
  take(held, name, fd);
  return 1;
}

int zyrHeldTemporary_create(zyrHeldTemporary *held, const char *name) {
  zyrHeldTemporary_end(held);
  int fd = -1;
  if (!zyrLeftovers_create(name, &fd))
    return 0;
  take(held, name, fd);
  return 1;
}

int zyrHeldTemporary_adopt(zyrHeldTemporary *held, const char *name, int fd) {
  zyrHeldTemporary_end(held);
  struct stat open, named;
  if (fd < 0 || fstat(fd, &open) != 0) {
    errno = EBADF;
    return 0;
  }
  if (!S_ISREG(open.st_mode) || name == nullptr || lstat(name, &named) != 0 || !zyrFileUse_isSame(open, named)) {
    errno = ESTALE;
    return 0;
  }
  // Taken through the inherited descriptor, the lock is refused only when another holds the file.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0)
    return 0;
  fcntl(fd, F_SETFD, FD_CLOEXEC);
  take(held, name, fd);
  return 1;
}

void zyrHeldTemporary_end(zyrHeldTemporary *held) {
  const int reason = errno;
  removeHeld(held, false);
  zyrHeldTemporary_release(held);
  errno = reason;
}

namespace {

// Lets go of what the record holds, but for the hold itself when `keepHold`.
void forget(zyrHeldTemporary *held, bool keepHold) {
  if (held->m_hold >= 0)
    dismiss(held);
  if (held->m_hold >= 0 && !keepHold)
    close(held->m_hold);
  if (held->m_directory >= 0)
    close(held->m_directory);
  held->m_hold = -1;
  held->m_directory = -1;
  held->m_name.clear();
  held->m_base.clear();
}

} // namespace

void zyrHeldTemporary_release(zyrHeldTemporary *held) { forget(held, false); }

// The descriptor stays open, with its lock, until the process ends; nobody borrows it any more.
void zyrHeldTemporary_keep(zyrHeldTemporary *held) { forget(held, true); }

bool zyrHeldTemporary_isThere(const zyrHeldTemporary *held) {
  struct stat open;
  const char *name = nullptr;
  const int at = placeOf(held, &name);
  return held->m_hold >= 0 && !held->m_name.empty() && zyrFault_fstat(held->m_hold, &open) == 0 &&
         zyrFileUse_leadsTo(at, name, open) == 1;
}

int zyrHeldTemporary_reopen(const zyrHeldTemporary *held, int flags, bool *unseen) {
  struct stat hold;
  if (unseen != nullptr)
    *unseen = false;
  if (held->m_hold < 0 || held->m_name.empty()) {
    errno = ESTALE;
    return -1;
  }
  // A look at the hold that fails says why: it is no other file.
  if (zyrFault_fstat(held->m_hold, &hold) != 0) {
    if (unseen != nullptr)
      *unseen = true;
    return -1;
  }
  // The name in the held directory, opened only where it leads to the file held, as the very file
  // it leads to: the descriptor names the file as the directory does.
  const char *name = nullptr;
  const int at = placeOf(held, &name);
  const int fd = zyrFileUse_openLookedAt(at, name, hold, flags & ~(O_CREAT | O_EXCL), false, nullptr);
  // Where an open without waiting was not asked for, it does not stay so.
  if (fd >= 0 && !(flags & O_NONBLOCK))
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

int zyrHeldTemporary_check(const char *name, int *error, const char **call) {
  int fate = ZYR_TEMPORARY_THERE, reason = 0;
  const char *failed = nullptr;
  {
    std::lock_guard<std::mutex> lock(registryMutex());
    const zyrHeldTemporary *held = namedBy(name);
    if (held == nullptr) {
      fate = -1;
    } else {
      // The name as given is the very name it is held by, which the fate follows.
      fate = zyrHeldTemporary_fate(held, &reason, &failed);
    }
  }
  // Only a look that failed is told as a failure; a loss has no errno of its own.
  const bool unseen = fate == ZYR_TEMPORARY_UNSEEN;
  if (error != nullptr)
    *error = unseen ? reason : 0;
  if (call != nullptr)
    *call = unseen ? failed : nullptr;
  return fate < 0 ? 0 : fate == ZYR_TEMPORARY_THERE ? 1 : -1;
}

int zyrHeldTemporary_fate(const zyrHeldTemporary *held, int *error, const char **call) {
  *error = 0;
  const char *failed = nullptr;
  const int fate = [&] {
    struct stat open, named;
    if (held->m_hold < 0 || held->m_name.empty())
      return ZYR_TEMPORARY_UNHELD;
    if (zyrFault_fstat(held->m_hold, &open) != 0) {
      *error = errno;
      failed = "fstat";
      return ZYR_TEMPORARY_UNSEEN;
    }
    // Where it was made first: what became of the file itself there.
    const char *name = nullptr;
    const int at = placeOf(held, &name);
    // Nothing under its name is a look that cannot tell, as any failed look, while the file held
    // still has a name: only one that has none left is gone.
    if (zyrFault_fstatat(at, name, &named, AT_SYMLINK_NOFOLLOW) != 0) {
      *error = errno;
      failed = "stat";
      return zyrFileUse_isGone(errno, open) ? ZYR_TEMPORARY_GONE : ZYR_TEMPORARY_UNSEEN;
    }
    if (!zyrFileUse_isSame(named, open))
      return ZYR_TEMPORARY_TAKEN;
    // Still there, yet its whole name leads elsewhere: the name of the directory does, which is
    // told by a look that sees another directory (or another file) under that name.
    const int there = zyrFileUse_leadsTo(AT_FDCWD, held->m_name.c_str(), open);
    if (there == 1)
      return ZYR_TEMPORARY_THERE;
    const bool missing = there < 0 && (errno == ENOENT || errno == ENOTDIR);
    if (there == 0 || (missing && movedAway(held)))
      return ZYR_TEMPORARY_MOVED;
    *error = there < 0 ? errno : ENOENT;
    failed = "stat";
    return ZYR_TEMPORARY_UNSEEN;
  }();
  if (call != nullptr)
    *call = failed;
  return fate;
}

std::string zyrHeldTemporary_loss(const zyrHeldTemporary *held) {
  int error = 0;
  switch (zyrHeldTemporary_fate(held, &error)) {
  case ZYR_TEMPORARY_THERE: return std::string();
  case ZYR_TEMPORARY_UNHELD: return "it is no longer held";
  case ZYR_TEMPORARY_GONE: return "it is gone";
  case ZYR_TEMPORARY_TAKEN: return "another file has taken its name";
  case ZYR_TEMPORARY_MOVED: return "the directory it was made in has been renamed";
  default: return std::string("it cannot be looked at: ") + strerror(error);
  }
}

std::string zyrHeldTemporary_lossOf(const char *name) {
  std::lock_guard<std::mutex> lock(registryMutex());
  const zyrHeldTemporary *held = namedBy(name);
  return held != nullptr ? zyrHeldTemporary_loss(held) : std::string();
}

int zyrHeldTemporary_open(const char *name, int flags, bool *named, bool *unseen) {
  std::lock_guard<std::mutex> lock(registryMutex());
  const zyrHeldTemporary *held = namedBy(name);
  *named = held != nullptr;
  if (unseen != nullptr)
    *unseen = false;
  return held != nullptr ? zyrHeldTemporary_reopen(held, flags, unseen) : -1;
}

int zyrHeldTemporary_removeNamed(const char *name, bool lockFileOnly) {
  // Removed through descriptors of its own, outside the registry lock: the removal takes the
  // directory lock, under which openers ask the registry.
  zyrHeldTemporary own;
  {
    std::lock_guard<std::mutex> lock(registryMutex());
    const zyrHeldTemporary *held = namedBy(name);
    if (held == nullptr)
      return 0;
    own.m_name = held->m_name;
    own.m_base = held->m_base;
    own.m_hold = fcntl(held->m_hold, F_DUPFD_CLOEXEC, 0);
    own.m_directory = held->m_directory >= 0 ? fcntl(held->m_directory, F_DUPFD_CLOEXEC, 0) : -1;
  }
  const int removed = removeHeld(&own, lockFileOnly);
  zyrHeldTemporary_release(&own);
  return removed;
}

int zyrHeldTemporary_lend(int fd) {
  struct stat status;
  if (fd < 0 || fstat(fd, &status) != 0)
    return -1;
  std::lock_guard<std::mutex> lock(registryMutex());
  const zyrHeldTemporary *held = holdOn(status);
  return held != nullptr ? fcntl(held->m_hold, F_DUPFD_CLOEXEC, 0) : -1;
}

void zyrHeldTemporary_handOver(int from, int to) {
  struct stat status, now;
  if (from < 0 || to < 0 || fstat(from, &status) != 0 || fstat(to, &now) != 0 || zyrFileUse_isSame(status, now))
    return;
  std::lock_guard<std::mutex> lock(registryMutex());
  // Every hold on the old file: one that a hand-over before shared with another goes along too.
  for (zyrHeldTemporary *held = holdOn(status); held != nullptr; held = holdOn(status)) {
    const int shared = fcntl(to, F_DUPFD_CLOEXEC, 0);
    if (shared < 0)
      return;
    close(held->m_hold);
    held->m_hold = shared;
  }
}
