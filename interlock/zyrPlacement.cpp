// Putting a whole new file in place under a name.
#include "zyrPlacement.h"

#include "zyrFault.h"
#include "zyrLeftovers.h"
#include "zyrPause.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <unistd.h>

namespace {

// More links in a row than the system itself follows go round in a circle.
const int kMostLinks = 40;

// The target of a symbolic link; false when the name is no link (or it went meanwhile).
bool readLinkTarget(const std::string &link, std::string *target) {
  char buffer[PATH_MAX];
  const ssize_t n = readlink(link.c_str(), buffer, sizeof buffer);
  if (n <= 0 || static_cast<size_t>(n) >= sizeof buffer)
    return false;
  target->assign(buffer, static_cast<size_t>(n));
  return true;
}

void syncDirectory(const std::string &directory) {
  const int fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0)
    return;
  fsync(fd);
  close(fd);
}

// A temporary goes with the lock file that a data-set file makes for it.
void removeTemporary(const std::string &temporary) {
  unlink(temporary.c_str());
  unlink((temporary + ".lck").c_str());
}

// What stands under a name: 0 when nothing does or a regular file does (*exists tells which),
// else the refusal.
int refusalOf(const std::string &path, bool *exists, struct stat *status) {
  *exists = false;
  if (lstat(path.c_str(), status) != 0)
    return errno == ENOENT ? 0 : errno;
  if (S_ISLNK(status->st_mode))
    return ELOOP; // the links go round in a circle
  if (S_ISDIR(status->st_mode))
    return EISDIR;
  if (!S_ISREG(status->st_mode))
    return ZYR_PLACEMENT_NOT_REGULAR;
  *exists = true;
  return 0;
}

} // namespace

std::string zyrPlacement_resolve(const char *name) {
  if (name == nullptr)
    return std::string();
  std::string path = name;
  for (int links = 0; links < kMostLinks; ++links) {
    struct stat status;
    std::string target;
    if (lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode) || !readLinkTarget(path, &target))
      return path;
    // A relative target is read from the link's directory, as the system reads it.
    const size_t slash = path.find_last_of('/');
    path = target[0] == '/' || slash == std::string::npos ? target : path.substr(0, slash + 1) + target;
  }
  return name;
}

int zyrPlacement_begin(zyrPlacement *placement, const char *name, size_t reserve, bool owned) {
  if (placement->m_hold >= 0)
    close(placement->m_hold);
  *placement = zyrPlacement();
  if (name == nullptr || name[0] == '\0') {
    placement->m_refusal = ENOENT;
    return 0;
  }
  placement->m_target = zyrPlacement_resolve(name);
  const std::string &target = placement->m_target;
  placement->m_refusal = refusalOf(target, &placement->m_exists, &placement->m_old);
  if (placement->m_refusal != 0)
    return 0;
  if (!zyrLeftovers_fits(target.c_str(), reserve) || target.size() + reserve >= PATH_MAX) {
    placement->m_refusal = ENAMETOOLONG;
    return 0;
  }
  char temporary[PATH_MAX];
  int named;
  if (owned) {
    named = zyrLeftovers_name(target.c_str(), ".tmp", reserve, temporary, sizeof temporary);
  } else {
    std::random_device random;
    char unique[32];
    snprintf(unique, sizeof unique, ".%08x%08x.tmp", static_cast<unsigned>(random()), static_cast<unsigned>(random()));
    named = zyrLeftovers_beside(target.c_str(), unique, reserve, temporary, sizeof temporary);
  }
  if (!named) {
    placement->m_refusal = ENAMETOOLONG;
    return 0;
  }
  placement->m_temporary = temporary;
  // A temporary of this process's id that is there already was left by an ended process that
  // had the same id.
  if (owned)
    removeTemporary(placement->m_temporary);
  return 1;
}

void zyrPlacement_keepMode(int fd, const struct stat *old) {
  // The owner first: a change of owner takes away the set-id bits that the mode then gives back.
  if (fchown(fd, old->st_uid, old->st_gid) != 0) {
    // Only the owner's privileges allow this; the new file stays this process's.
  }
  fchmod(fd, old->st_mode & 07777);
}

int zyrPlacement_commit(zyrPlacement *placement, bool flush) {
  if (placement->m_temporary.empty()) {
    errno = EINVAL;
    return 0;
  }
  // What stands under the name now decides: a file put there meanwhile lends its permissions, and
  // something that is no regular file is still never replaced.
  struct stat old;
  bool exists = false;
  const int refusal = refusalOf(placement->m_target, &exists, &old);
  if (refusal != 0 && refusal != ENOENT) {
    placement->m_refusal = refusal;
    errno = refusal > 0 ? refusal : EEXIST;
    return 0;
  }
  const int fd = open(placement->m_temporary.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0)
    return 0;
  if (exists)
    zyrPlacement_keepMode(fd, &old);
  const bool synced = !flush || zyrFault_fsync(fd) == 0;
  const int reason = errno;
  close(fd);
  if (!synced) {
    errno = reason;
    return 0;
  }
  if (rename(placement->m_temporary.c_str(), placement->m_target.c_str()) != 0)
    return 0;
  unlink((placement->m_temporary + ".lck").c_str());
  placement->m_temporary.clear();
  if (flush) {
    syncDirectory(zyrLeftovers_directory(placement->m_target.c_str()));
    zyrPause_point("replace.directory-synced");
  }
  return 1;
}

void zyrPlacement_end(zyrPlacement *placement) {
  if (placement->m_hold >= 0)
    close(placement->m_hold);
  placement->m_hold = -1;
  if (placement->m_temporary.empty())
    return;
  removeTemporary(placement->m_temporary);
  placement->m_temporary.clear();
}

const char *zyrPlacement_reason(int refusal) {
  return refusal == ZYR_PLACEMENT_NOT_REGULAR ? "It is not a regular file" : strerror(refusal);
}
