#include "zyrSystem.h"

#include "Command.h"
#include "Environment.h"
#include "Process.h"
#include "zyrCString.h"
#include "zyrError.h"
#include "zyrFault.h"
#include "zyrFileUse.h"
#include "zyrInterrupt.h"
#include "zyrLeftovers.h"
#include "zyrMemory.h"
#include "zyrPause.h"
#include "zyrPlacement.h"
#include "zyrTrace.h"
#include "zyrUUID.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cctype>
#include <climits>
#include <cerrno>
#include <cstdarg>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

namespace {

int64_t g_fixedTime = -1; // set by zyrSetFixedTime

char *formatNow(const char *format) {
  std::time_t now = g_fixedTime >= 0 ? static_cast<std::time_t>(g_fixedTime) : std::time(nullptr);
  std::tm local;
  // A fixed moment is told in UTC, so that the texts do not depend on the machine's zone either.
  if ((g_fixedTime >= 0 ? gmtime_r(&now, &local) : localtime_r(&now, &local)) == nullptr)
    return nullptr;
  char buffer[1024];
  size_t written = std::strftime(buffer, sizeof buffer, format, &local);
  if (written == 0)
    return nullptr;
  return zyrCString_clone(buffer);
}

} // namespace

int zyrLookForFile(const char *name, struct stat *status) {
  if (name == nullptr)
    return 0;
  struct stat seen;
  if (zyrFault_stat(name, status != nullptr ? status : &seen) == 0)
    return 1;
  // Only the system's "no such file" says that nothing is there; any other failure says nothing.
  return errno == ENOENT || errno == ENOTDIR ? 0 : -1;
}

int zyrDoesFileExist(const char *name) { return zyrLookForFile(name) == 1 ? 1 : 0; }

void zyrPublishCannotTell(int32_t code, const char *name, const char *function) {
  const int reason = errno;
  ZYR_ERROR_FOR(code, function, "Whether the file\n\n%s\n\nexists cannot be told (stat: %s).\n",
                name != nullptr ? name : "", std::strerror(reason));
}

char *zyrGetCurrentDirectory() {
  // Grow the buffer until the name fits; anything but a too-small buffer ends the attempts.
  for (int64_t size = 512; size <= (INT64_C(1) << 24); size *= 2) {
    char *buffer = zyrMemory_allocateArray<char>(size, __func__);
    if (getcwd(buffer, static_cast<size_t>(size)) != nullptr) {
      char *result = zyrCString_clone(buffer);
      zyrMemory_free(buffer, __func__);
      return result;
    }
    int failure = errno;
    zyrMemory_free(buffer, __func__);
    if (failure != ERANGE)
      return nullptr;
  }
  return nullptr;
}

char *zyrGetDateString() { return formatNow("%a %b %d %Y"); }

char *zyrGetTimeString() { return formatNow("%X %Z"); }

void zyrSetFixedTime(int64_t seconds) { g_fixedTime = seconds; }

char *zyrGetHostName() {
  char buffer[1024];
  if (gethostname(buffer, sizeof buffer) != 0)
    return nullptr;
  // A truncated name need not be terminated.
  buffer[sizeof buffer - 1] = '\0';
  return zyrCString_clone(buffer);
}

int zyrIsEnvironmentVariableSet(const char *name) {
  return name != nullptr && std::getenv(name) != nullptr ? 1 : 0;
}

char *zyrReadEnvironmentVariable(const char *name, const char *defaultValue) {
  ZYR_TRACE_BEGIN_DESC("Read an environment variable.");
  const char *value = name ? std::getenv(name) : nullptr;
  if (ZYR_TRACE_DEBUG(1)) {
    if (value != nullptr)
      zyrTrace_printf("Environment variable: [Set]     %s = %s\n", name, value);
    else if (defaultValue != nullptr)
      zyrTrace_printf("Environment variable: [Default] %s = %s\n", name ? name : "", defaultValue);
    else
      zyrTrace_printf("Environment variable: [Unset]   %s = \n", name ? name : "");
  }
  if (value != nullptr)
    return zyrCString_clone(value);
  return zyrCString_clone(defaultValue);
}

int zyrSetEnvironmentVariable(const char *name, const char *value) {
  if (name == nullptr)
    return 0;
  return setenv(name, value ? value : "", 1) == 0 ? 1 : 0;
}

// ---- Files and directories ----

int zyrIsFile(const char *name) {
  struct stat status;
  if (name == nullptr || stat(name, &status) != 0)
    return 0;
  // The regular-file bit itself, as callers have always received it.
  return S_ISREG(status.st_mode) ? 0x8000 : 0;
}

int zyrIsDirectory(const char *name) {
  struct stat status;
  if (name == nullptr || stat(name, &status) != 0)
    return 0;
  return S_ISDIR(status.st_mode) ? 1 : 0;
}

int zyrLookForDirectory(const char *name) {
  struct stat status;
  const int found = zyrLookForFile(name, &status);
  return found == 1 ? (S_ISDIR(status.st_mode) ? 1 : 0) : found;
}

int zyrCanCreateFile(const char *prefix) {
  char *name = zyrGetTemporaryFileName(prefix);
  if (name == nullptr)
    return 0;
  const int fd = open(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd >= 0) {
    close(fd);
    zyrRemoveFile(name);
  }
  zyrCString_free(name);
  return fd >= 0 ? 1 : 0;
}

int zyrCreateDirectory(const char *name) {
  if (name == nullptr)
    return 0;
  return mkdir(name, 0777) == 0 ? 1 : 0;
}

int zyrRemoveFile(const char *name) {
  if (!zyrIsFile(name))
    return 0;
  return zyrFault_unlink(name) == 0 ? 1 : 0;
}

int zyrRenameFile(const char *oldName, const char *newName) {
  if (oldName == nullptr || newName == nullptr)
    return 0;
  return std::rename(oldName, newName) == 0 ? 1 : 0;
}

namespace {

// Big enough to keep the disk busy when the kernel cannot copy by itself.
const int64_t kCopyBlock = INT64_C(1) << 20;

int writeAll(int fd, const unsigned char *bytes, int64_t count) {
  while (count > 0) {
    const ssize_t n = zyrFault_write(fd, bytes, static_cast<size_t>(count));
    if (n < 0) {
      if (errno == EINTR)
        continue;
      return 0;
    }
    bytes += n;
    count -= n;
  }
  return 1;
}

// Moves every byte from the current position of in to out; 1 when in was read to its end and
// everything was written. An interruptible copy stops (0) once the program asks for the work in
// hand to be abandoned (zyrInterrupt.h).
int copyDescriptor(int in, int out, int interruptible) {
  // The kernel copies without passing the bytes through us (and may share blocks). A first
  // answer of 0 can also come from files whose size the system does not know, so plain reads
  // decide in that case.
  int64_t copied = 0;
  for (;;) {
    if (interruptible && zyrInterrupt_signal() != 0)
      return 0;
    const ssize_t n = zyrFault_copyFileRange(in, out, size_t{1} << 30);
    if (n > 0) {
      copied += n;
      continue;
    }
    if (n == 0) {
      if (copied > 0)
        return 1;
      break;
    }
    if (errno == EINTR)
      continue;
    if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP || errno == EBADF ||
        errno == ETXTBSY || errno == EPERM)
      break;
    return 0;
  }
  unsigned char *buffer = zyrMemory_allocateArray<unsigned char>(kCopyBlock, __func__);
  int ok = 1;
  for (;;) {
    if (interruptible && zyrInterrupt_signal() != 0) {
      ok = 0;
      break;
    }
    const ssize_t n = zyrFault_read(in, buffer, static_cast<size_t>(kCopyBlock));
    if (n < 0) {
      if (errno == EINTR)
        continue;
      ok = 0;
      break;
    }
    if (n == 0)
      break;
    if (!writeAll(out, buffer, n)) {
      ok = 0;
      break;
    }
  }
  const int reason = errno;
  zyrMemory_free(buffer, __func__);
  errno = reason;
  return ok;
}

// Copies in to out from their positions, puts out on disc when `flush`, and closes out: 1, or 0 with
// errno the first failure's (a close that fails after a good copy counts too).
int copyAndClose(int in, int out, int interruptible, bool flush) {
  int ok = copyDescriptor(in, out, interruptible);
  if (ok && flush && zyrFault_fsync(out) != 0)
    ok = 0;
  int reason = ok ? 0 : errno;
  if (close(out) != 0 && ok) {
    ok = 0;
    reason = errno;
  }
  errno = reason;
  return ok;
}

void publishFileKept(const char *refused, const char *name, const char *reason, const char *function);

// A refusal of the placement's own rather than the system's (an errno value, which errno tells) is
// published, 10020 under the name of the copy or the move, in the placement's words: a file in use
// kept from a copy, or one that took the destination's name meanwhile, is not overwritten; another
// file put under the name of the new one meanwhile leaves nothing written. errno EBUSY tells the
// caller. Whether it was.
bool publishKept(const char *destination, const zyrPlacement *place, int moving) {
  if (place->m_refusal >= 0)
    return false;
  publishFileKept(zyrPlacement_isKept(place) ? "Unable to overwrite the existing file" : "Unable to write the file",
                  destination, zyrPlacement_reason(place).c_str(), moving ? "zyrMoveFile" : "zyrCopyFile");
  errno = EBUSY;
  return true;
}

// Where a copy to destination is written, found before any byte moves.
struct CopyPlan {
  int m_source = -1;      // open source descriptor
  zyrPlacement m_place;   // the file the copy becomes, and the copy until it is in place
  bool m_written = false; // the copy was written into what stands under the name (a device, a pipe)
};

// Closes and removes what the plan holds; errno stays the reason of the failure it follows.
void CopyPlan_release(CopyPlan *plan) {
  const int reason = errno;
  if (plan->m_source >= 0)
    close(plan->m_source);
  plan->m_source = -1;
  zyrPlacement_end(&plan->m_place);
  errno = reason;
}

// Copies source to the side of destination: a regular file, or none, is replaced as every whole
// file is (zyrPlacement.h), by a complete copy left beside it for commitCopy; a device or a pipe is
// written into and never replaced. 0 on any failure, with nothing left behind; an interruptible
// copy fails when the program asks for the work to be abandoned.
// The source is plan->m_source, open and read from its position.
int copyOpenToSide(const char *destination, int moving, int interruptible, CopyPlan *plan) {
  struct stat sourceStatus;
  const bool statted = fstat(plan->m_source, &sourceStatus) == 0;
  if (!statted || S_ISDIR(sourceStatus.st_mode)) {
    if (statted)
      errno = EISDIR;
    CopyPlan_release(plan);
    return 0;
  }
  posix_fadvise(plan->m_source, 0, 0, POSIX_FADV_SEQUENTIAL);

  // A move's copy carries no process id: it may come to hold the only copy of the bytes.
  zyrPlacement &place = plan->m_place;
  const bool placed = zyrPlacement_begin(&place, destination, 0, moving == 0) == 1;
  const bool special = !placed && place.m_refusal == ZYR_PLACEMENT_NOT_REGULAR;
  // A move replaces only a regular file: it never pours its bytes into a device or a pipe.
  if (special && moving) {
    CopyPlan_release(plan);
    errno = EINVAL;
    return 0;
  }
  if (!placed && !special && publishKept(destination, &place, moving)) {
    CopyPlan_release(plan);
    return 0;
  }
  // What killed copies left in the directory goes: whoever next works there removes what no
  // process holds.
  if (placed && !moving)
    zyrLeftovers_remove(zyrLeftovers_directory(place.m_target.c_str()).c_str(), nullptr, nullptr, nullptr);
  // A file copied onto itself would be lost: told by what the placement saw, and holds, under the
  // directory lock, rather than by a look of its own that could fail.
  if ((!placed && !special) || ((place.m_exists || special) && zyrFileUse_isSame(place.m_old, sourceStatus))) {
    CopyPlan_release(plan);
    return 0;
  }
  const int out = special ? open(place.m_target.c_str(), O_WRONLY | O_CLOEXEC)
                          : zyrPlacement_openTemporary(&place);
  // A move's copy is on disc before its source goes.
  if (out < 0 || !copyAndClose(plan->m_source, out, interruptible, moving && !special)) {
    CopyPlan_release(plan);
    return 0;
  }
  plan->m_written = special;
  return 1;
}

int copyToSide(const char *source, const char *destination, int moving, int interruptible, CopyPlan *plan) {
  // A missing or empty name leads nowhere, which is what the caller hears.
  if (source == nullptr || destination == nullptr || destination[0] == '\0') {
    errno = ENOENT;
    return 0;
  }
  plan->m_source = open(source, O_RDONLY | O_CLOEXEC);
  if (plan->m_source < 0)
    return 0;
  return copyOpenToSide(destination, moving, interruptible, plan);
}

// Puts a side copy in place; 0 when that fails (the copy stays for the caller). A replaced file is
// on disc before the old one goes; a new copy is only when the caller asks.
int commitCopy(const char *destination, CopyPlan *plan, int moving) {
  if (plan->m_written || zyrPlacement_commit(&plan->m_place, moving != 0 || plan->m_place.m_exists) == 1)
    return 1;
  publishKept(destination, &plan->m_place, moving);
  return 0;
}

} // namespace

int zyrSyncFile(const char *name) {
  if (name == nullptr)
    return 0;
  const int fd = open(name, O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return 0;
  const int ok = zyrFault_fsync(fd) == 0 ? 1 : 0;
  close(fd);
  return ok;
}

void zyrSyncDirectory(const char *directory) {
  const int fd = open(directory != nullptr && directory[0] != '\0' ? directory : ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0)
    return;
  fsync(fd);
  close(fd);
}

namespace {

// Puts the plan's side copy in place once it is made; releases the plan either way.
int placeCopy(const char *destination, bool made, CopyPlan *plan) {
  const int ok = made && commitCopy(destination, plan, 0);
  CopyPlan_release(plan);
  return ok;
}

int copyFile(const char *source, const char *destination, int interruptible) {
  CopyPlan plan;
  const bool made = copyToSide(source, destination, 0, interruptible, &plan) != 0;
  if (made)
    zyrPause_point("filecopy.before-replace");
  return placeCopy(destination, made, &plan);
}

} // namespace

int zyrCopyFile(const char *source, const char *destination) { return copyFile(source, destination, 1); }

namespace {

// The source of a copy into a file of the library's: its descriptor when it is a regular file,
// else -1 with *refusal the errno value, or ZYR_PLACEMENT_NOT_REGULAR. Only the regular file looked
// at is opened, without waiting (a pipe is never opened: a writer waiting on it would be
// connected); another file that took its name meanwhile is the system's ESTALE.
int openRegularSource(const char *source, int *refusal) {
  struct stat seen;
  *refusal = stat(source, &seen) != 0      ? errno
             : S_ISDIR(seen.st_mode)       ? EISDIR
             : !S_ISREG(seen.st_mode)      ? ZYR_PLACEMENT_NOT_REGULAR
                                           : 0;
  const int in = *refusal == 0 ? zyrFileUse_openLooked(source, seen, true, nullptr) : -1;
  if (in < 0) {
    if (*refusal == 0)
      *refusal = errno;
    return -1;
  }
  posix_fadvise(in, 0, 0, POSIX_FADV_SEQUENTIAL);
  return in;
}

} // namespace

int zyrCopyFileBeside(const char *source, zyrPlacement *place) {
  if (source == nullptr || place == nullptr || place->m_temporary.m_name.empty()) {
    errno = EINVAL;
    return 0;
  }
  const auto fail = [place](int reason) {
    place->m_refusal = reason;
    errno = reason > 0 ? reason : EINVAL;
    return 0;
  };
  int refusal = 0;
  const int in = openRegularSource(source, &refusal);
  if (in < 0)
    return fail(refusal);
  // What killed copies left in the directory goes, as with every copy.
  zyrLeftovers_remove(zyrLeftovers_directory(place->m_target.c_str()).c_str(), nullptr, nullptr, nullptr);
  const int out = zyrPlacement_openTemporary(place);
  const int ok = out >= 0 && copyAndClose(in, out, 1, true);
  // An abandoned copy says so, whatever the last call left in errno.
  const int reason = !ok && zyrInterrupt_signal() != 0 ? EINTR : errno;
  close(in);
  return ok ? 1 : fail(reason);
}

int zyrCopyFileInto(int source, int out) {
  if (source < 0 || out < 0) {
    errno = EBADF;
    return 0;
  }
  // Written through a descriptor of its own, which the copy closes, from the file's beginning.
  const int to = fcntl(out, F_DUPFD_CLOEXEC, 0);
  int ok = 0;
  if (to >= 0 && (ftruncate(to, 0) != 0 || lseek(to, 0, SEEK_SET) != 0))
    close(to);
  else if (to >= 0)
    ok = copyAndClose(source, to, 1, true);
  // An abandoned copy says so, whatever the last call left in errno.
  const int reason = !ok && zyrInterrupt_signal() != 0 ? EINTR : errno;
  errno = reason;
  return ok;
}

namespace {

// Why a move of source onto destination is refused before anything changes (0: it is not): only a
// regular file moves, and only onto a free name or a regular file (what a symbolic link under the
// name leads to), as only a regular file is ever replaced (zyrPlacement.h). A look that fails
// otherwise than for a missing name refuses with its reason. *found: a file stands under the target.
int moveRefusal(const char *source, const std::string &target, bool *found) {
  struct stat status;
  *found = false;
  if (zyrFault_stat(source, &status) != 0)
    return errno;
  if (!S_ISREG(status.st_mode))
    return S_ISDIR(status.st_mode) ? EISDIR : EINVAL;
  if (zyrFault_lstat(target.c_str(), &status) != 0)
    return errno == ENOENT ? 0 : errno;
  *found = true;
  if (S_ISLNK(status.st_mode))
    return ELOOP; // the links go round in a circle
  if (!S_ISREG(status.st_mode))
    return S_ISDIR(status.st_mode) ? EISDIR : EINVAL;
  return 0;
}

// Renames source onto destination, whose status was `old` when looked at (NULL: nothing was
// there), under the directory lock: 0, ZYR_PLACEMENT_REPLACED when another file has taken the name
// meanwhile (it stays), ZYR_PLACEMENT_UNSEEN with errno when the look at the name fails or finds
// nothing where the old file was seen (nothing moves), or the errno value. One rename, which the system makes
// whole: a move killed at any moment leaves the old names or the new ones. (An exchange of the two
// names, as a placement makes with its temporary, would leave the old destination under the
// source's name until its removal.)
int renameOnto(const char *source, const char *destination, const struct stat *old) {
  if (old == nullptr)
    return zyrPlacement_renameOver(source, destination, nullptr);
  // Nothing there now, after a look saw the old file, cannot tell either.
  const int found = zyrFileUse_leadsTo(AT_FDCWD, destination, *old);
  if (found != 1)
    return found == 0 ? ZYR_PLACEMENT_REPLACED : ZYR_PLACEMENT_UNSEEN;
  return std::rename(source, destination) == 0 ? 0 : errno;
}

// Puts the bytes of a move whose copy could not take the destination's name back under the
// source's, from the side copy the plan holds, whatever its name leads to by now (another file
// renamed onto it, or onto the destination after the copy took that name): by a rename that never
// replaces, else by a copy of its own beside the source that takes the name only while it is free.
// A file that took the source's name meanwhile stays, and the bytes are kept where they are: the
// side copy, or else that copy beside the source. Whether they are back.
bool putBack(const char *source, CopyPlan *plan) {
  zyrHeldTemporary &side = plan->m_place.m_temporary;
  CopyPlan back;
  back.m_source = fcntl(side.m_hold, F_DUPFD_CLOEXEC, 0);
  struct stat made;
  if (back.m_source >= 0 && lseek(back.m_source, 0, SEEK_SET) == 0 && fstat(back.m_source, &made) == 0 &&
      zyrPlacement_renameOver(side.m_name.c_str(), source, nullptr, &made) == 0) {
    CopyPlan_release(&back);
    return true;
  }
  const bool copied = back.m_source >= 0 && copyOpenToSide(source, 1, 0, &back) != 0;
  const bool restored = copied && !back.m_place.m_exists && commitCopy(source, &back, 1);
  if (!restored && copied && !zyrHeldTemporary_isThere(&side))
    zyrHeldTemporary_release(&back.m_place.m_temporary);
  else if (!restored)
    zyrHeldTemporary_release(&side);
  CopyPlan_release(&back);
  return restored;
}

} // namespace

int zyrMoveFile(const char *source, const char *destination) {
  if (source == nullptr || destination == nullptr || !zyrDoesFileExist(source))
    return 0;
  {
    // The names are looked at and the source renamed under the destination directory's lock, as
    // an opener takes a name: a file in use there stays, and so does one that takes the name
    // meanwhile. The refusal is told once the lock has gone: naming a holder can take long.
    zyrFileUse use;
    int renamed = 0, unseen = 0;
    {
      zyrDirectoryGuard guard(destination);
      const std::string target = zyrPlacement_resolve(destination);
      bool found = false;
      const int refusal = moveRefusal(source, target, &found);
      if (refusal != 0) {
        errno = refusal;
        return 0;
      }
      int hold = -1;
      struct stat old;
      // A name that cannot be looked at may hold anything: nothing moves onto it. Nor does it onto
      // a name that a look finds empty where the last one saw the file it leads to.
      const bool present = zyrFault_lstat(destination, &old) == 0;
      if (!present && (found || (errno != ENOENT && errno != ENOTDIR))) {
        renamed = ZYR_PLACEMENT_UNSEEN;
        unseen = errno;
      } else if (!zyrFileUse_check(target.c_str(), &use, &hold)) {
        zyrPause_point("move.before-rename");
        renamed = renameOnto(source, destination, present ? &old : nullptr);
        if (renamed == ZYR_PLACEMENT_UNSEEN)
          unseen = errno;
        if (renamed == 0)
          zyrPause_point("move.renamed");
      }
      if (hold >= 0)
        close(hold);
    }
    if (use.m_kind != ZYR_USE_NONE || renamed == ZYR_PLACEMENT_REPLACED || renamed == ZYR_PLACEMENT_UNSEEN) {
      zyrPlacement refused;
      refused.m_refusal = use.m_kind != ZYR_USE_NONE ? ZYR_PLACEMENT_IN_USE : renamed;
      refused.m_error = unseen;
      refused.m_use = use;
      publishKept(destination, &refused, 1);
      return 0;
    }
    if (renamed == 0)
      return 1;
    // Only another file system is a reason to copy.
    if (renamed != EXDEV) {
      errno = renamed;
      return 0;
    }
  }
  // Across file systems: a complete, flushed copy beside the destination first; the source goes
  // next, and only then does the copy replace the destination.
  CopyPlan plan;
  // Once the source goes, the copy must be finished whatever happens: a move is never interrupted.
  if (!copyToSide(source, destination, 1, 0, &plan))
    return 0;
  close(plan.m_source);
  plan.m_source = -1;
  if (unlink(source) != 0) {
    CopyPlan_release(&plan);
    return 0;
  }
  if (!commitCopy(destination, &plan, 1)) {
    // The bytes now live only in the side copy: they go back where they came from. The reason
    // told is the commit's.
    const int reason = errno;
    putBack(source, &plan);
    CopyPlan_release(&plan);
    errno = reason;
    return 0;
  }
  CopyPlan_release(&plan);
  return 1;
}

int zyrRemoveDatabaseFile(const char *name) {
  if (name == nullptr)
    return 0;
  if (zyrDoesFileExist(name))
    std::remove(name);
  char *lockName = zyrCString_merge(name, ".lck", nullptr);
  if (zyrDoesFileExist(lockName))
    std::remove(lockName);
  const int gone = zyrLookForFile(name) == 0 && zyrLookForFile(lockName) == 0;
  zyrCString_free(lockName);
  return gone ? 1 : 0;
}

namespace {

// Publishes 10020 under the function's name: what could not be done to the file ("Unable to
// overwrite the existing file"), then the reason (a sentence without its full stop).
void publishFileKept(const char *refused, const char *name, const char *reason, const char *function) {
  zyrError *error = zyrError_new(ZYR_U_INVALID_INPUT, function, __FILE__, __LINE__);
  zyrError_addMessage(error, "%s %s.\n", refused, name != nullptr ? name : "");
  zyrError_addMessage(error, "%s.\n", reason);
  zyrError_publish(error);
}

} // namespace

void zyrPublishNotReplaced(const char *name, const char *reason, const char *function) {
  publishFileKept("Unable to overwrite the existing file", name, reason, function);
}

void zyrPublishNotRemoved(const char *name, const char *reason, const char *function) {
  publishFileKept("Unable to remove the file", name, reason, function);
}

int zyrRefuseInUse(const char *name, int removing, const char *function) {
  zyrFileUse use;
  // A replacement goes where the name's links lead (zyrPlacement.h); a removal takes the name.
  if (name == nullptr || !zyrFileUse_check(removing ? name : zyrPlacement_resolve(name).c_str(), &use, nullptr))
    return 0;
  publishFileKept(removing ? "Unable to remove the file" : "Unable to overwrite the existing file", name,
                  zyrFileUse_reason(&use).c_str(), function);
  return 1;
}

int zyrIsFileInPath(const char *name) {
  if (name == nullptr || name[0] == '\0')
    return 0;
  char *path = zyrReadEnvironmentVariable("PATH", nullptr);
  if (path == nullptr)
    return 0;
  int found = 0;
  for (const char *entry = path; !found;) {
    const char *end = std::strchr(entry, ':');
    const int length = static_cast<int>(end != nullptr ? end - entry : std::strlen(entry));
    // An empty entry means the working directory.
    char *directory = length > 0 ? zyrCString_substring(entry, 0, length) : zyrCString_clone(".");
    char *candidate = zyrCString_merge(directory, "/", name, nullptr);
    found = zyrDoesFileExist(candidate);
    zyrCString_free(candidate);
    zyrCString_free(directory);
    if (end == nullptr)
      break;
    entry = end + 1;
  }
  zyrCString_free(path);
  return found;
}

// ---- Working directory and path names ----

int zyrSetCurrentDirectory(const char *directory) {
  if (directory == nullptr)
    return 0;
  return chdir(directory) == 0 ? 1 : 0;
}

char *zyrGetAbsoluteDirectoryName(const char *directory) {
  // The resolved name is what entering the directory and reading the working directory would
  // give, without changing it for the whole process.
  if (directory == nullptr || !zyrIsDirectory(directory))
    return nullptr;
  char *resolved = realpath(directory, nullptr);
  if (resolved == nullptr)
    return nullptr;
  char *result = zyrCString_clone(resolved);
  std::free(resolved);
  return result;
}

char *zyrGetAbsoluteFileName(const char *name) {
  char *directory = nullptr;
  char *file = nullptr;
  if (!zyrSplitPathName(name, &directory, &file))
    return nullptr;
  char *absolute;
  if (directory == nullptr)
    absolute = zyrGetCurrentDirectory();
  else
    absolute = zyrGetAbsoluteDirectoryName(directory[0] == '\0' ? "/" : directory);
  char *result = nullptr;
  if (absolute != nullptr) {
    const size_t length = std::strlen(absolute);
    const bool rooted = length > 0 && absolute[length - 1] == '/';
    result = zyrCString_merge(absolute, rooted ? "" : "/", file, nullptr);
  }
  zyrCString_free(absolute);
  zyrCString_free(directory);
  zyrCString_free(file);
  return result;
}

char *zyrResolveLinks(const char *name) {
  return name != nullptr ? zyrCString_clone(zyrPlacement_resolve(name).c_str()) : nullptr;
}

char zyrGetDirectorySeparator() { return '/'; }

int zyrSplitPathName(const char *path, char **directory, char **file) {
  if (directory != nullptr)
    *directory = nullptr;
  if (file != nullptr)
    *file = nullptr;
  if (path == nullptr || path[0] == '\0')
    return 0;
  const char *slash = std::strrchr(path, '/');
  if (slash == nullptr) {
    if (file != nullptr)
      *file = zyrCString_clone(path);
    return 1;
  }
  if (directory != nullptr)
    *directory = zyrCString_substring(path, 0, static_cast<int>(slash - path));
  if (file != nullptr)
    *file = zyrCString_clone(slash + 1);
  return 1;
}

int zyrJoinPathName(const char *directory, const char *name, char **path) {
  if (path == nullptr)
    return 0;
  *path = nullptr;
  if (name == nullptr)
    return 0;
  *path = directory != nullptr ? zyrCString_merge(directory, "/", name, nullptr) : zyrCString_clone(name);
  return 1;
}

int zyrSplitFileName(const char *name, char **base, char **extension) {
  if (base != nullptr)
    *base = nullptr;
  if (extension != nullptr)
    *extension = nullptr;
  if (name == nullptr || name[0] == '\0')
    return 0;
  const int length = static_cast<int>(std::strlen(name));
  // From the last character down to the second: a leading dot names a hidden file, not an
  // extension, and a separator met first means the last component has none.
  int dot = -1;
  for (int i = length - 1; i >= 1; --i) {
    if (name[i] == '/')
      break;
    if (name[i] == '.') {
      dot = i;
      break;
    }
  }
  if (dot < 0) {
    if (base != nullptr)
      *base = zyrCString_clone(name);
    return 1;
  }
  if (base != nullptr)
    *base = zyrCString_substring(name, 0, dot);
  if (extension != nullptr)
    *extension = zyrCString_clone(name + dot + 1);
  return 1;
}

// ---- Listings ----

namespace {

// Opens a listing of directory; with noFollow a symbolic link is not listed through.
DIR *openListing(int parent, const char *directory, int noFollow) {
  const int fd = openat(parent, directory, O_RDONLY | O_DIRECTORY | O_CLOEXEC | (noFollow ? O_NOFOLLOW : 0));
  if (fd < 0)
    return nullptr;
  DIR *handle = fdopendir(fd);
  if (handle == nullptr)
    close(fd);
  return handle;
}

int readEntry(zyrDirectory *listing) {
  for (;;) {
    errno = 0;
    const struct dirent *entry = readdir(listing->m_handle);
    if (entry == nullptr)
      return 0;
    const size_t length = std::strlen(entry->d_name);
    if (length >= sizeof listing->m_name)
      continue;
    std::memcpy(listing->m_name, entry->d_name, length + 1);
    return 1;
  }
}

} // namespace

zyrDirectory *zyrDirectory_new(const char *directory) {
  if (directory == nullptr)
    return nullptr;
  DIR *handle = openListing(AT_FDCWD, directory, 0);
  if (handle == nullptr)
    return nullptr;
  zyrDirectory *listing = zyrMemory_allocateArray<zyrDirectory>(1, __func__);
  listing->m_handle = handle;
  listing->m_name[0] = '\0';
  listing->m_count = 0;
  listing->m_hasEntry = readEntry(listing);
  return listing;
}

void zyrDirectory_delete(zyrDirectory *listing) {
  if (listing == nullptr)
    return;
  if (listing->m_handle != nullptr)
    closedir(listing->m_handle);
  zyrMemory_free(listing, __func__);
}

void zyrDirectory_print(const zyrDirectory *listing, FILE *stream) {
  if (listing == nullptr) {
    std::fprintf(stream, "zyrDirectory: NULL\n");
    return;
  }
  std::fprintf(stream, "m_handle = %s\nm_name   = %s\nm_count  = %d\n",
               listing->m_handle != nullptr ? "open" : "none", listing->m_name, listing->m_count);
}

zyrDirectory *zyrDirectory_open(const char *directory) { return zyrDirectory_new(directory); }

const char *zyrDirectory_next(zyrDirectory *listing) {
  if (listing == nullptr || listing->m_handle == nullptr)
    return nullptr;
  if (listing->m_count == 0) {
    if (!listing->m_hasEntry)
      return nullptr;
  } else if (!readEntry(listing)) {
    return nullptr;
  }
  ++listing->m_count;
  return listing->m_name;
}

void zyrDirectory_close(zyrDirectory *listing) { zyrDirectory_delete(listing); }

// ---- Time, host and machine ----

void zyrSleep(int32_t seconds) {
  if (seconds <= 0)
    return;
  struct timespec left = {seconds, 0};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

int zyrIsTerminal(FILE *stream) {
  if (stream == nullptr)
    return 0;
  const int fd = fileno(stream);
  return fd >= 0 && isatty(fd) ? 1 : 0;
}

int zyrGetFreeDiskSpace(const char *directory, int64_t *count) {
  if (directory == nullptr || count == nullptr)
    return 0;
  struct statvfs status;
  if (statvfs(directory, &status) != 0)
    return 0;
  const uint64_t blocks = status.f_bfree;
  const uint64_t size = status.f_frsize != 0 ? status.f_frsize : status.f_bsize;
  const uint64_t limit = static_cast<uint64_t>(INT64_MAX);
  *count = size != 0 && blocks > limit / size ? INT64_MAX : static_cast<int64_t>(blocks * size);
  return 1;
}

int zyrIsLittleEndian() {
  const uint32_t one = 1;
  unsigned char first;
  std::memcpy(&first, &one, 1);
  return first == 1 ? 1 : 0;
}

void zyrDebugBreak() { std::raise(SIGTRAP); }

// ---- Temporary names ----

namespace {

// A new name of the prefix, a unique part and ".tmp". A prefix that names a file (a directory and a
// last part) gives a name that fits its directory wherever a file of the prefix's name would
// (zyrLeftovers_beside).
char *temporaryName(const char *prefix, bool traced) {
  for (int attempt = 0; attempt < 10; ++attempt) {
    zyrUUID *uuid = zyrUUID_new();
    char text[ZYR_UUID_BASE64_SIZE];
    zyrUUID_toBase64(uuid, text);
    zyrUUID_delete(uuid);
    for (char *c = text; *c != '\0'; ++c)
      if (*c == '/')
        *c = '=';
    char *name = nullptr;
    if (prefix != nullptr) {
      char fitted[PATH_MAX];
      const std::string suffix = std::string(".") + text + ".tmp";
      if (zyrLeftovers_beside(prefix, suffix.c_str(), 0, fitted, sizeof fitted))
        name = zyrCString_clone(fitted);
    } else {
      name = zyrCString_merge(text, ".tmp", nullptr);
    }
    if (name == nullptr)
      return nullptr;
    if (traced)
      zyrTrace_printf("Filename = %s\n", name);
    // Anything of that name (a dangling link too) makes the name unusable.
    struct stat status;
    if (lstat(name, &status) != 0 && errno == ENOENT)
      return name;
    zyrCString_free(name);
  }
  return nullptr;
}

} // namespace

char *zyrGetTemporaryFileName(const char *prefix) {
  ZYR_TRACE_BEGIN_DESC("Generate a unique name for a temporary file.");
  return temporaryName(prefix, ZYR_TRACE_DEBUG(1));
}

namespace {

struct LeftoverReport {
  const char *m_function;
};

// Each leftover removed is told to the user once, with what is known of it: the id in its name,
// and that nobody holds it. Its maker may have been a process of another pid namespace, so
// whether a process of that id runs here says nothing about it.
void warnLeftoverRemoved(const char *path, long pid, void *context) {
  const char *function = static_cast<LeftoverReport *>(context)->m_function;
  zyrError *error = zyrError_new(ZYR_W_INVALID_DATA_IGNORED, function != nullptr ? function : __func__, __FILE__,
                                 __LINE__);
  zyrError_addMessage(error,
                      "The file\n\n%s\n\nwas left behind by a process of id %ld and no process holds it any more; "
                      "it has been removed.\n",
                      path, pid);
  zyrError_publish(error);
}

} // namespace

int zyrRemoveLeftovers(const char *directory, const char *function) {
  LeftoverReport report = {function};
  return zyrLeftovers_remove(directory, nullptr, warnLeftoverRemoved, &report);
}

int zyrCheckInterrupt(int32_t code, const char *function, const char *work, ...) {
  // The request whose abandonment has been told: one error for one request.
  static int told = 0;
  const int signal = zyrInterrupt_signal();
  if (signal == 0) {
    told = 0;
    return 0;
  }
  if (told)
    return 1;
  told = 1;
  va_list arguments;
  va_start(arguments, work);
  char *text = zyrCString_vbuild(work, arguments);
  va_end(arguments);
  zyrError *error = zyrError_new(code, function, __FILE__, __LINE__);
  zyrError_addMessage(error, "%s was interrupted (%s) and has been abandoned.\n", text != nullptr ? text : "The work",
                      zyrInterrupt_signalName(signal));
  zyrError_publish(error);
  zyrCString_free(text);
  return 1;
}

char *zyrGetTemporaryDirectory() {
  const char *const variables[] = {"TEMP", "TMP", "TMPDIR"};
  for (const char *variable : variables) {
    char *value = zyrReadEnvironmentVariable(variable, nullptr);
    if (value != nullptr && value[0] != '\0' && zyrIsDirectory(value))
      return value;
    zyrCString_free(value);
  }
  return zyrIsDirectory("/tmp") ? zyrCString_clone("/tmp") : nullptr;
}

// ---- Recursive removal ----

namespace {

zyrTraceState g_removeTrace = {1, {ZYR_TRACE_NOT_SET, ZYR_TRACE_NOT_SET, ZYR_TRACE_NOT_SET, ZYR_TRACE_NOT_SET}};

zyrError *raiseDeleteError(const char *function) {
  return zyrError_new(ZYR_U_UNABLE_TO_DELETE_DIRECTORY, function, __FILE__, __LINE__);
}

// Removes the directory name, relative to the open directory parent (AT_FDCWD at the top), with
// its contents; path names it in messages. Entries are examined without following links, and
// every directory is opened refusing a link, so nothing outside the tree is ever touched even
// when the tree changes meanwhile. function is the public entry's name, for banners and errors.
int removeDirectoryAt(int parent, const char *name, const char *path, int recursive, const char *function) {
  const int traceOn = zyrTrace_enter(function, "Remove a named directory and its contents.", &g_removeTrace);
  const bool detail = traceOn && g_removeTrace.m_levels[zyrTraceDebug] >= 1;

  if (!recursive) {
    DIR *listing = openListing(parent, name, 1);
    if (listing == nullptr) {
      zyrError *error = raiseDeleteError(function);
      zyrError_addMessage(error, "Unable to delete the non-existent directory\n\n%s\n", path);
      zyrError_publish(error);
      return 0;
    }
    for (const struct dirent *entry; (entry = readdir(listing)) != nullptr;) {
      if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
        continue;
      struct stat status;
      if (fstatat(dirfd(listing), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(status.st_mode)) {
        char *subdirectory = nullptr;
        zyrJoinPathName(path, entry->d_name, &subdirectory);
        zyrError *error = raiseDeleteError(function);
        zyrError_addMessage(error, "The directory\n\n%s\n\ncontains subdirectories, for example\n\n%s\n", path,
                            subdirectory);
        zyrError_publish(error);
        zyrCString_free(subdirectory);
        closedir(listing);
        return 0;
      }
    }
    closedir(listing);
  }

  // Up to three passes: a file still busy in one pass may be free in the next.
  zyrError *error = nullptr;
  int pass = 1;
  for (; pass <= 3; ++pass) {
    DIR *listing = openListing(parent, name, 1);
    if (listing == nullptr)
      return 0;
    const int fd = dirfd(listing);
    int failures = 0;
    for (const struct dirent *entry; (entry = readdir(listing)) != nullptr;) {
      if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
        continue;
      char *entryPath = nullptr;
      zyrJoinPathName(path, entry->d_name, &entryPath);
      struct stat status;
      if (fstatat(fd, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(status.st_mode)) {
        if (!removeDirectoryAt(fd, entry->d_name, entryPath, recursive, function))
          ++failures;
      } else {
        // A symbolic link is removed as the link itself.
        const int removed = unlinkat(fd, entry->d_name, 0) == 0;
        if (!removed) {
          ++failures;
          if (pass == 3) {
            if (error == nullptr) {
              error = raiseDeleteError(function);
              zyrError_addMessage(error, "Unable to delete the following from directory\n\n%s\n\n", path);
            }
            zyrError_addMessage(error, "%s\n", entryPath);
          }
        }
        if (detail)
          zyrTrace_printf("%s: Deleting ... %s\n", removed ? "SUCCESS" : "FAILURE", entryPath);
      }
      zyrCString_free(entryPath);
    }
    closedir(listing);
    if (failures == 0)
      break;
  }

  const int removed = unlinkat(parent, name, AT_REMOVEDIR) == 0;
  if (!removed && pass >= 3) {
    if (error != nullptr) {
      zyrError_addMessage(error, "%s\n", path);
    } else {
      error = raiseDeleteError(function);
      zyrError_addMessage(error, "Unable to delete the directory\n\n%s\n\n", path);
    }
  }
  if (detail)
    zyrTrace_printf("%s: Deleting ... %s\n", removed ? "SUCCESS" : "FAILURE", path);
  if (error != nullptr) {
    zyrError_publish(error);
    return 0;
  }
  return removed;
}

} // namespace

int zyrRemoveDirectory(const char *name, int recursive) {
  if (name == nullptr || name[0] == '\0')
    return 0;
  // "dir/" would be resolved through a link named dir: the trailing separators go.
  char *trimmed = zyrCString_clone(name);
  for (size_t length = std::strlen(trimmed); length > 1 && trimmed[length - 1] == '/'; --length)
    trimmed[length - 1] = '\0';
  const int result = removeDirectoryAt(AT_FDCWD, trimmed, trimmed, recursive, __func__);
  zyrCString_free(trimmed);
  return result;
}

int zyrRunCommandInEnvironment(const char *prefix, const char *commandLine) {
  if (commandLine == nullptr)
    return 0;
  Environment *environment = nullptr;
  if (prefix != nullptr) {
    environment = Environment_new(prefix);
    if (environment == nullptr)
      return 0;
  }
  char *line = zyrCString_clone(commandLine);
  char *word = line;
  while (*word != '\0' && std::isspace(static_cast<unsigned char>(*word)))
    ++word;
  char *rest = word;
  while (*rest != '\0' && !std::isspace(static_cast<unsigned char>(*rest)))
    ++rest;
  if (*rest != '\0')
    *rest++ = '\0';
  while (*rest != '\0' && std::isspace(static_cast<unsigned char>(*rest)))
    ++rest;

  int result = 0;
  if (*word != '\0') {
    Command *command = Command_new(environment, word, environment ? CommandInEnvironment : CommandOnSearchPath);
    if (*rest != '\0')
      Command_addArgumentString(command, rest);
    Process *process = Process_new(command, nullptr, nullptr);
    if (process != nullptr) {
      Process_wait(process);
      int32_t how = 0, value = 0;
      result = Process_getExitStatus(process, &how, &value);
      Process_delete(process);
    }
    Command_delete(command);
  }
  zyrCString_free(line);
  Environment_delete(environment);
  return result;
}

int zyrRunCommand(const char *commandLine) { return zyrRunCommandInEnvironment(nullptr, commandLine); }
