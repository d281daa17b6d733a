// Putting a whole new file in place under a name.
#include "zyrPlacement.h"

#include "zyrFault.h"
#include "zyrHeldTemporary.h"
#include "zyrLeftovers.h"
#include "zyrPause.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
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

namespace {

// Lets go of the holds and removes the temporary, with the lock file a data-set file made for it
// (only while its name still leads to the file held). errno stays as it was: a failure that the
// clean-up follows keeps its own reason.
void release(zyrPlacement *placement) {
  const int reason = errno;
  if (placement->m_hold >= 0)
    close(placement->m_hold);
  placement->m_hold = -1;
  zyrHeldTemporary_end(&placement->m_temporary);
  errno = reason;
}

// Fails the commit with the refusal (errno set as well; ZYR_PLACEMENT_UNSEEN keeps the look's).
int refuse(zyrPlacement *placement, int refusal) {
  placement->m_refusal = refusal;
  placement->m_error = refusal == ZYR_PLACEMENT_UNSEEN ? errno : 0;
  errno = refusal > 0 ? refusal : refusal == ZYR_PLACEMENT_UNSEEN ? placement->m_error : EEXIST;
  return 0;
}

// Whether the name still leads to the file the placement began with (or to none), and nothing of
// it is in use, looked at under the directory lock: 0, or the refusal. *exists: a file is there
// now, its status in *now.
int refusalNow(zyrPlacement *placement, bool *exists, struct stat *now) {
  const int refusal = refusalOf(placement->m_target, exists, now);
  // The beginning followed every link: a link there now has taken the file's name meanwhile.
  if (refusal == ELOOP)
    return ZYR_PLACEMENT_REPLACED;
  if (refusal != 0)
    return refusal;
  const bool other = *exists && (!placement->m_exists || !zyrFileUse_isSame(*now, placement->m_old));
  // A file the placement holds has no other holder; its name's other uses (the lock file of a file
  // in use) are looked at again.
  const char *target = placement->m_target.c_str();
  const bool used = placement->m_hold >= 0 && !other ? zyrFileUse_checkName(target, &placement->m_use)
                                                     : zyrFileUse_check(target, &placement->m_use, nullptr);
  if (used)
    return ZYR_PLACEMENT_IN_USE;
  return other ? ZYR_PLACEMENT_REPLACED : 0;
}

// A temporary that its name no longer leads to while the name in the directory it was made in
// does, and another directory stands under that directory's name: it has been renamed meanwhile
// (ZYR_PLACEMENT_MOVED, as zyrHeldTemporary_fate tells). Else the refusal.
int whereMissed(const zyrPlacement *placement, int refusal) {
  const bool missing =
      refusal == ZYR_PLACEMENT_LOST || refusal == ZYR_PLACEMENT_GONE || refusal == ZYR_PLACEMENT_UNSEEN;
  int error = 0;
  return missing && zyrHeldTemporary_fate(&placement->m_temporary, &error) == ZYR_TEMPORARY_MOVED
             ? ZYR_PLACEMENT_MOVED
             : refusal;
}

// Why the temporary could not be opened again through its hold (errno as the open left it, which
// the refusal keeps; `unseen`: the hold could not be looked at). Nothing under its name is gone
// only when the file held has no name left; else it is a look that cannot tell, unless its
// directory is seen to have been renamed.
int unreached(const zyrPlacement *placement, bool unseen) {
  const int reason = errno;
  if (unseen || reason != ENOENT)
    return unseen ? ZYR_PLACEMENT_UNSEEN : reason == ESTALE ? ZYR_PLACEMENT_LOST : reason;
  struct stat held;
  if (fstat(placement->m_temporary.m_hold, &held) == 0 && zyrFileUse_isGone(reason, held))
    return ZYR_PLACEMENT_GONE;
  const int refusal = whereMissed(placement, ZYR_PLACEMENT_UNSEEN);
  errno = reason;
  return refusal;
}

} // namespace

zyrPlacement::~zyrPlacement() { release(this); }

int zyrPlacement_begin(zyrPlacement *placement, const char *name, size_t reserve, bool owned) {
  release(placement);
  placement->m_target.clear();
  placement->m_exists = false;
  placement->m_old = {};
  placement->m_refusal = 0;
  placement->m_error = 0;
  placement->m_use = zyrFileUse();
  if (name == nullptr || name[0] == '\0')
    return refuse(placement, ENOENT);
  // Held here, a test puts a file under a name that its caller found free.
  zyrPause_point("place.begin");
  placement->m_target = zyrPlacement_resolve(name);
  const std::string &target = placement->m_target;
  {
    // Looked at as an opener looks, under the directory lock: a file that is not in use is held
    // before any process can open it.
    zyrDirectoryGuard guard(target.c_str());
    const int refusal = refusalOf(target, &placement->m_exists, &placement->m_old);
    if (refusal != 0)
      return refuse(placement, refusal);
    if (zyrFileUse_check(target.c_str(), &placement->m_use, &placement->m_hold))
      return refuse(placement, ZYR_PLACEMENT_IN_USE);
  }
  if (!zyrLeftovers_fits(target.c_str(), reserve) || target.size() + reserve >= PATH_MAX) {
    release(placement);
    return refuse(placement, ENAMETOOLONG);
  }
  // Made held beside the target; its data-set writer, which opens it by its name, is lent the hold.
  if (!zyrHeldTemporary_make(&placement->m_temporary, target.c_str(), ".tmp", reserve, owned)) {
    const int reason = errno;
    release(placement);
    return refuse(placement, reason);
  }
  return 1;
}

int zyrPlacement_openTemporary(const zyrPlacement *placement) {
  const zyrHeldTemporary &temporary = placement->m_temporary;
  if (temporary.m_name.empty() || temporary.m_hold < 0) {
    errno = EINVAL;
    return -1;
  }
  return zyrHeldTemporary_reopen(&temporary, O_WRONLY | O_TRUNC);
}

void zyrPlacement_keepMode(int fd, const struct stat *old) {
  // The owner first: a change of owner takes away the set-id bits that the mode then gives back.
  if (fchown(fd, old->st_uid, old->st_gid) != 0) {
    // Only the owner's privileges allow this; the new file stays this process's.
  }
  fchmod(fd, old->st_mode & 07777);
}

namespace {

// Whether the name leads to the file of the status (NULL: whatever is there, or nothing), as
// zyrFileUse_leadsTo answers.
int leadsTo(const char *name, const struct stat *expected) {
  return expected == nullptr ? 1 : zyrFileUse_leadsTo(AT_FDCWD, name, *expected);
}

// Why a look that did not find the file it expected (`found` 0: another file is there; -1 with
// errno: the look failed) refuses: `other` for another file or none, else ZYR_PLACEMENT_UNSEEN with
// errno kept.
int missed(int found, int other) {
  return found == 0 || errno == ENOENT || errno == ENOTDIR ? other : ZYR_PLACEMENT_UNSEEN;
}

// Renames `from` to the free name `to`: 0, or the refusal or errno value. Once the rename is made,
// the placement is: only another file seen under the name afterwards (one that took it after the
// new file did, and stays) refuses; a look that cannot tell, or finds the name empty, does not undo
// in words what the system did.
int renameToFree(const char *from, const char *to, const struct stat *fresh) {
  if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) != 0) {
    if (errno == EEXIST)
      return ZYR_PLACEMENT_REPLACED;
    if (errno != EINVAL && errno != ENOSYS)
      return errno;
    // A file system that cannot rename so: looked at, then renamed.
    struct stat there;
    if (zyrFault_lstat(to, &there) == 0)
      return ZYR_PLACEMENT_REPLACED;
    if (errno != ENOENT)
      return ZYR_PLACEMENT_UNSEEN;
    if (rename(from, to) != 0)
      return errno;
  }
  zyrPause_point("place.renamed");
  return leadsTo(to, fresh) == 0 ? ZYR_PLACEMENT_REPLACED : 0;
}

// After the exchange of the names, which put the new file under `to` and what was there under
// `from`: the placement is made, and the old file goes, unless a look sees otherwise. Another file
// seen under `to` took the name after the exchange, and stays: the old file goes all the same
// (ZYR_PLACEMENT_TAKEN). Another file seen under `from` took `to` just before the exchange: the
// names are exchanged back, and it is under its name again (ZYR_PLACEMENT_REPLACED). A look that
// cannot tell is no reason to refuse: what came out under `from` is what was under `to` at the
// exchange, which the caller had just seen to be the old file, and it goes as a rename that
// replaces would have taken it.
int afterExchange(const char *from, const char *to, const struct stat *old, const struct stat *fresh) {
  const int in = leadsTo(to, fresh);
  const int out = leadsTo(from, old);
  if (in != 0 && out == 0) {
    // The other file stays under the other name, not lost, when the exchange back fails: it is
    // not the placement's to remove. Nothing better is left to do than to say so. A `to` emptied
    // meanwhile takes it back by a rename that replaces nothing.
    if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_EXCHANGE) == 0)
      return ZYR_PLACEMENT_REPLACED;
    if (errno != ENOENT)
      return errno;
    return renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0 ? ZYR_PLACEMENT_REPLACED : errno;
  }
  // A look that finds nothing under `from` cannot tell either: the old file came out there.
  if (out != 0)
    unlink(from);
  return in == 0 ? ZYR_PLACEMENT_TAKEN : 0;
}

} // namespace

int zyrPlacement_renameOver(const char *from, const char *to, const struct stat *old, const struct stat *fresh) {
  // Nothing under the new file's name, while the file still had a name when its holder looked at
  // it, is a look that cannot tell: only one that had none left is gone.
  const int found = leadsTo(from, fresh);
  if (found != 1)
    return found == 0 ? ZYR_PLACEMENT_LOST
                      : missed(found, zyrFileUse_isGone(errno, *fresh) ? ZYR_PLACEMENT_GONE : ZYR_PLACEMENT_UNSEEN);
  // Nothing is expected there: a file that came meanwhile stays.
  if (old == nullptr)
    return renameToFree(from, to, fresh);
  // The two swap names: what went in under `to` must be the new file, and what came out under
  // `from` the one expected.
  if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_EXCHANGE) == 0) {
    zyrPause_point("place.exchanged");
    return afterExchange(from, to, old, fresh);
  }
  if (errno == ENOENT) {
    struct stat there;
    if (lstat(to, &there) != 0)
      return missed(-1, ZYR_PLACEMENT_REPLACED); // the old file went meanwhile
    return lstat(from, &there) != 0 ? missed(-1, ZYR_PLACEMENT_GONE) : ENOENT;
  }
  if (errno != EINVAL && errno != ENOSYS)
    return errno;
  const int expected = leadsTo(to, old);
  if (expected != 1)
    return missed(expected, ZYR_PLACEMENT_REPLACED);
  return rename(from, to) == 0 ? 0 : errno;
}

int zyrPlacement_commit(zyrPlacement *placement, bool flush) {
  const std::string &temporary = placement->m_temporary.m_name;
  if (temporary.empty())
    return refuse(placement, EINVAL);
  // The temporary is the file the placement made (or the compaction it was handed over to), reached
  // through its hold, and only while its name still leads to it.
  bool unseen = false;
  const int fd = zyrHeldTemporary_reopen(&placement->m_temporary, O_RDONLY, &unseen);
  if (fd < 0)
    return refuse(placement, unreached(placement, unseen));
  struct stat written;
  if (zyrFault_fstat(fd, &written) != 0) {
    const int reason = errno;
    close(fd);
    errno = reason; // the look's, which the refusal keeps
    return refuse(placement, ZYR_PLACEMENT_UNSEEN);
  }
  // On disc before the directory lock is taken: a long sync keeps no opener waiting.
  if (placement->m_exists)
    zyrPlacement_keepMode(fd, &placement->m_old);
  if (flush && zyrFault_fsync(fd) != 0) {
    const int reason = errno;
    close(fd);
    return refuse(placement, reason);
  }
  {
    zyrDirectoryGuard guard(placement->m_target.c_str());
    struct stat now;
    bool exists = false;
    const int refusal = refusalNow(placement, &exists, &now);
    if (refusal != 0) {
      close(fd);
      return refuse(placement, refusal);
    }
    // The old file's permissions as they are now, should they have changed meanwhile.
    if (exists && (now.st_mode != placement->m_old.st_mode || now.st_uid != placement->m_old.st_uid ||
                   now.st_gid != placement->m_old.st_gid)) {
      zyrPlacement_keepMode(fd, &now);
      if (flush)
        zyrFault_fsync(fd);
    }
    close(fd);
    const int renamed = zyrPlacement_renameOver(temporary.c_str(), placement->m_target.c_str(),
                                                exists ? &placement->m_old : nullptr, &written);
    // The new file is free for openers as soon as they may look at the name. Its lock file goes
    // also when another file has taken the name after it.
    if (renamed == 0 || renamed == ZYR_PLACEMENT_TAKEN)
      unlink((temporary + ".lck").c_str());
    if (renamed != 0) {
      // Nothing under the temporary's name (a look that could not tell) is asked where it went too.
      const int reason = errno;
      const bool asked = renamed != ZYR_PLACEMENT_UNSEEN || reason == ENOENT;
      const int refusal = asked ? whereMissed(placement, renamed) : renamed;
      errno = reason;
      return refuse(placement, refusal);
    }
    zyrHeldTemporary_release(&placement->m_temporary);
    release(placement);
  }
  if (flush) {
    syncDirectory(zyrLeftovers_directory(placement->m_target.c_str()));
    zyrPause_point("replace.directory-synced");
  }
  return 1;
}

int zyrPlacement_check(zyrPlacement *placement) {
  if (placement->m_temporary.m_name.empty())
    return refuse(placement, EINVAL);
  zyrDirectoryGuard guard(placement->m_target.c_str());
  struct stat now;
  bool exists = false;
  const int refusal = refusalNow(placement, &exists, &now);
  return refusal != 0 ? refuse(placement, refusal) : 1;
}

void zyrPlacement_end(zyrPlacement *placement) { release(placement); }

std::string zyrPlacement_reason(const zyrPlacement *placement) {
  switch (placement->m_refusal) {
  case ZYR_PLACEMENT_NOT_REGULAR: return "It is not a regular file";
  case ZYR_PLACEMENT_IN_USE: return zyrFileUse_reason(&placement->m_use);
  case ZYR_PLACEMENT_REPLACED: return "Another file has taken its name while the new one was written";
  case ZYR_PLACEMENT_LOST: return "Another file has been put under the name of the new one meanwhile";
  case ZYR_PLACEMENT_GONE: return "The new file is no longer under its temporary name";
  case ZYR_PLACEMENT_TAKEN: return "Another file has taken its name meanwhile, once the new one was in place";
  case ZYR_PLACEMENT_MOVED: return "Its directory has been renamed meanwhile";
  case ZYR_PLACEMENT_UNSEEN:
    return std::string("It could not be looked at") + (placement->m_error != 0 ? ": " : "") +
           (placement->m_error != 0 ? strerror(placement->m_error) : "");
  default: return strerror(placement->m_refusal != 0 ? placement->m_refusal : EIO);
  }
}

int zyrPlacement_isKept(const zyrPlacement *placement) {
  const int refusal = placement->m_refusal;
  return refusal == EISDIR || refusal == ZYR_PLACEMENT_NOT_REGULAR || refusal == ZYR_PLACEMENT_IN_USE ||
                 refusal == ZYR_PLACEMENT_REPLACED
             ? 1
             : 0;
}
