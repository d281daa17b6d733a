// Temporaries held by their maker, and the holds this process lends its own borrowers.
#include "zyrHeldTemporary.h"

#include "zyrFileUse.h"
#include "zyrLeftovers.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// The holds of this process, for its borrowers to find: the addresses of the descriptors.
std::mutex &registryMutex() {
  static std::mutex *mutex = new std::mutex();
  return *mutex;
}

std::vector<int *> &registry() {
  static std::vector<int *> *holds = new std::vector<int *>();
  return *holds;
}

// The enlisted hold on the file of the status; NULL. Under the registry lock.
int *holdOn(const struct stat &status) {
  for (int *hold : registry()) {
    struct stat held;
    if (*hold >= 0 && fstat(*hold, &held) == 0 && zyrFileUse_isSame(held, status))
      return hold;
  }
  return nullptr;
}

// The record holds the file under the name through fd from now on.
void take(zyrHeldTemporary *held, const char *name, int fd) {
  held->m_name = name;
  held->m_hold = fd;
  zyrHeldTemporary_enlist(&held->m_hold);
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
  if (!held->m_name.empty() && held->m_hold >= 0) {
    // Looked at as every remover looks, under the directory lock.
    zyrDirectoryGuard guard(held->m_name.c_str());
    struct stat named, open;
    if (lstat(held->m_name.c_str(), &named) == 0 && fstat(held->m_hold, &open) == 0 && zyrFileUse_isSame(named, open)) {
      unlink(held->m_name.c_str());
      unlink((held->m_name + ".lck").c_str());
    }
  }
  zyrHeldTemporary_release(held);
  errno = reason;
}

void zyrHeldTemporary_release(zyrHeldTemporary *held) {
  if (held->m_hold >= 0) {
    zyrHeldTemporary_dismiss(&held->m_hold);
    close(held->m_hold);
  }
  held->m_hold = -1;
  held->m_name.clear();
}

void zyrHeldTemporary_keep(zyrHeldTemporary *held) {
  // The descriptor stays open, with its lock, until the process ends; nobody borrows it any more.
  if (held->m_hold >= 0)
    zyrHeldTemporary_dismiss(&held->m_hold);
  held->m_hold = -1;
  held->m_name.clear();
}

void zyrHeldTemporary_enlist(int *hold) {
  std::lock_guard<std::mutex> lock(registryMutex());
  registry().push_back(hold);
}

void zyrHeldTemporary_dismiss(int *hold) {
  std::lock_guard<std::mutex> lock(registryMutex());
  std::vector<int *> &all = registry();
  all.erase(std::remove(all.begin(), all.end(), hold), all.end());
}

int zyrHeldTemporary_lend(int fd) {
  struct stat status;
  if (fd < 0 || fstat(fd, &status) != 0)
    return -1;
  std::lock_guard<std::mutex> lock(registryMutex());
  const int *hold = holdOn(status);
  return hold != nullptr ? fcntl(*hold, F_DUPFD_CLOEXEC, 0) : -1;
}

void zyrHeldTemporary_handOver(int from, int to) {
  struct stat status, now;
  if (from < 0 || to < 0 || fstat(from, &status) != 0 || fstat(to, &now) != 0 || zyrFileUse_isSame(status, now))
    return;
  std::lock_guard<std::mutex> lock(registryMutex());
  // Every hold on the old file: one that a hand-over before shared with another goes along too.
  for (int *hold = holdOn(status); hold != nullptr; hold = holdOn(status)) {
    const int shared = fcntl(to, F_DUPFD_CLOEXEC, 0);
    if (shared < 0)
      return;
    close(*hold);
    *hold = shared;
  }
}
