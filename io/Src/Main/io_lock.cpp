// Lock files beside data-set files, and the real lock underneath them.
#include "io_lock.h"

#include "io_alloc.h"
#include "io_error.h"
#include "io_file.h"
#include "lowlevel_io.h"
#include "zyrLeftovers.h"
#include "zyrFault.h"
#include "zyrFileUse.h"
#include "zyrHeldTemporary.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

const int32_t kLockWidth = 10;

// Every read-modify-write of a lock file, and the staleness probe's brief exclusive lock on a data
// file, happen under the directory lock (zyrFileUse.h).
using DirectoryGuard = zyrDirectoryGuard;

// readCount's answer when there is no lock file.
const int kNoLockFile = -1;

// Reads the one integer of the lock file: the reader's status, or kNoLockFile. *error receives
// the errno of a read the system failed, else 0.
int readCount(IO_error_callback callback, const char *lockName, int32_t *n, int *error) {
  *error = 0;
  FILE *lock = fopen(lockName, "re");
  if (!lock) return kNoLockFile;
  io_forget_stream(lock);
  int status = wezreadIntr(callback, "F", n, 1, 1, kLockWidth, lock);
  *error = io_read_failure(lock);
  io_forget_stream(lock);
  fclose(lock);
  return status;
}

// The room for the name of a lock file's temporary.
const size_t kTemporarySize = 4096;

// The name under which a lock file's new value is written beside it (a leftover name, see
// zyrLeftovers.h, that fits wherever the lock file's name fits) into the buffer of kTemporarySize;
// false when it does not fit, or when the lock file's own name is longer than its directory takes
// (errno then says so).
bool temporaryOf(const char *lockName, char *temporary) {
  if (!zyrLeftovers_fits(lockName, 0) || !zyrLeftovers_name(lockName, ".tmp", 0, temporary, kTemporarySize)) {
    temporary[0] = '\0';
    errno = ENAMETOOLONG;
    return false;
  }
  return true;
}

// Writes n into the lock file. The value is written beside it under a temporary name and renamed
// over it, so that a process that dies meanwhile never leaves an empty or torn lock file (only a
// temporary that carries its process id, held by it while it lives, which the next user of the
// directory removes). 0; 21 when the file cannot be created (*opened false); the writer's status
// when the value cannot be written or put in place, with errno the system's reason and *call (may
// be NULL) the call that failed.
int writeCount(IO_error_callback callback, const char *lockName, int32_t n, bool *opened,
               const char **call = nullptr) {
  char temporary[kTemporarySize];
  *opened = false;
  int fd = -1;
  if (!zyrLeftovers_fits(lockName, 0) || !zyrLeftovers_make(lockName, ".tmp", 0, temporary, kTemporarySize, &fd)) {
    if (errno == 0) errno = ENAMETOOLONG;
    return IO_LOCK_ERR;
  }
  // The temporary stays held, through a descriptor of its own, until it is renamed or removed.
  const int hold = fcntl(fd, F_DUPFD_CLOEXEC, 0);
  FILE *lock = hold >= 0 ? fdopen(fd, "we") : nullptr;
  if (!lock) {
    int error = errno;
    unlink(temporary);
    close(fd);
    if (hold >= 0) close(hold);
    errno = error;
    return IO_LOCK_ERR;
  }
  *opened = true;
  int status = wezwriteIntr(callback, "F", &n, 1, 1, kLockWidth, lock);
  int error = status != IO_OK ? errno : 0;
  const char *failed = "write";
  if (zyrFault_fclose(lock) != 0 && status == IO_OK) {
    error = errno;
    io_report_syserr(callback, "writeCount: (can't write the lock file %s) syserr:", lockName);
    status = IO_WRITE_ERR;
  }
  if (status == IO_OK && rename(temporary, lockName) != 0) {
    error = errno;
    failed = "rename";
    io_report_syserr(callback, "writeCount: (can't put the lock file %s in place) syserr:", lockName);
    status = IO_WRITE_ERR;
  }
  if (status != IO_OK) remove(temporary);
  close(hold);
  if (call) *call = status != IO_OK ? failed : nullptr;
  if (status != IO_OK) errno = error;
  return status;
}

// Whether no process holds the real lock of the data file: then whatever its lock file says is
// stale (backed by nobody). Its own lock decides: a file that does not exist is held by
// nobody; one this process may not open is taken for held, and its lock file left for the user to
// judge.
bool nobodyHolds(const char *name) { return zyrFileUse_isHeld(name) == 0; }

// Whether the lock file under the record's name is the one the record counts itself in: the name
// still leads to the file its open found, or to none (the lock file then guards nobody else's). A
// file renamed while it is open (or whose directory was, where the name does not follow it)
// leaves its lock file under the old name, where a file put there since has one of its own: that
// one is never changed on this record's account. 1 it counts in there, 0 the lock file is another
// file's, -1 with errno when the name cannot be looked at (nothing is changed on its account then
// either). The look of a release is the system's own call, out of the fault seam's reach: a
// release that cannot look leaves the lock file showing this record, which no open of this
// process could tell from its own hold, and which only the process's end makes stale.
int countsIn(const IO_file *record, bool releasing = false) {
  if (!record->m_identified) return 1;
  struct stat named;
  if ((releasing ? stat(record->m_name, &named) : zyrFault_stat(record->m_name, &named)) != 0)
    return errno == ENOENT ? 1 : -1;
  return static_cast<uint64_t>(named.st_dev) == record->m_device &&
                 static_cast<uint64_t>(named.st_ino) == record->m_inode
             ? 1
             : 0;
}

// A lock file whose counts no live process backs is taken over: said through the callback, and
// noted on the record for its owner to tell the user. Only that much is known: whoever counted
// there may still run, holding the file under another name.
void reportTakeOver(IO_error_callback callback, IO_file *record, const char *lockName, int32_t n) {
  io_report_error(callback,
                  "iif_set_lock: warning: lock file %s (level %d): no other process holds %s any more; "
                  "taking it over",
                  lockName, n, record->m_name);
  record->m_takenover = 1;
}

// The shared part of setfilebusyflag, io_try_become_writer and io_claim_writer. `callback`
// NULL: no messages. `changing`: a change of the file follows (the close stores the index, and a
// crash meanwhile makes the next open rebuild it); else the file is left as it is.
int becomeWriter(IO_error_callback callback, IO_file *record, bool changing) {
  record->m_failed = IO_FAILED_NONE;
  if (record->m_access == 'r') {
    io_report_error(callback, "setfilebusyflag: permission denied for %s\n", record->m_name);
    return IO_PERMISSION_ERR;
  }
  // What was read of a file whose disc failed a read may lack what lies there: nothing is
  // written on the strength of it.
  if (iif_read_failure(record) != 0) return iif_check_reads(callback, record, "setfilebusyflag");
  if (record->m_lockfile == IO_LOCKFILE_WRITER) {
    if (!changing) return IO_OK;
    record->m_lock = -1;
    return iif_mark_index_stale(record);
  }
  char *lockName = io_lockfile_name(record->m_name);
  if (!lockName) {
    io_report_malloc_error(callback, "setfilebusyflag",
                           static_cast<int64_t>(strlen(record->m_name)) + 5);
    return IO_ALLOC_ERR;
  }
  DirectoryGuard guard(lockName);
  const int counts = countsIn(record);
  if (counts < 0) {
    iif_note_failure(record, IO_FAILED_LOOK, "stat", errno);
    io_report_syserr(callback, "setfilebusyflag: can't look at %s, so whether the lock file %s is its own "
                     "cannot be told", record->m_name, lockName);
    io_free(lockName);
    return IO_WRITE_ERR;
  }
  if (counts == 0) {
    io_report_error(callback,
                    "setfilebusyflag: %s is no longer the file open here: the lock file %s is "
                    "another file's\n",
                    record->m_name, lockName);
    io_free(lockName);
    return IO_WRITE_ERR;
  }
  // Others reading: by the count this record last saw, by the real lock, or by the lock file
  // as it stands now (it must still show this record alone).
  int32_t n = 0;
  int found = 0, error = 0;
  // Every open record holds the real lock, so once this record holds it alone, whatever else the
  // lock file shows is stale.
  bool refused = !io_real_lock(record, LOCK_EX);
  if (!refused) {
    int status = readCount(nullptr, lockName, &n, &error);
    found = status == IO_OK ? 1 : status == kNoLockFile ? 0 : -1;
    bool ours = record->m_lockfile == IO_LOCKFILE_READER ? (found == 1 && n == 1) : found == 0;
    if (!ours && found == 1) reportTakeOver(callback, record, lockName, n);
    refused = found == -1;
  }
  if (refused && error != 0) {
    errno = error;
    io_report_syserr(callback, "setfilebusyflag: can't read the lock file %s", lockName);
    io_real_lock(record, LOCK_SH);
    io_free(lockName);
    return IO_READ_ERR;
  }
  if (refused) {
    io_report_error(callback,
                    "setfilebusyflag: more than one user is reading %s or the wrong lock file %s "
                    "exists\n",
                    record->m_name, lockName);
    io_real_lock(record, LOCK_SH);
    io_free(lockName);
    return IO_LOCK_ERR;
  }
  bool opened = false;
  int status = writeCount(callback, lockName, -1, &opened);
  if (status != IO_OK) {
    // Without -1 in the lock file other processes could not tell that the file is written. A lock
    // file that cannot even be made (a directory the user may not write) is no other process's
    // lock: the system's reason is told, and the status says that writing failed.
    if (!opened)
      io_report_syserr(callback, "setfilebusyflag: (can't make the lock file %s) syserr:", lockName);
    io_report_error(callback,
                    "setfilebusyflag: can't write the file information to the lock file\n");
    if (found == 1) {
      bool again = false;
      writeCount(nullptr, lockName, n, &again);
    }
    io_real_lock(record, LOCK_SH);
    io_free(lockName);
    return opened ? status : IO_WRITE_ERR;
  }
  io_free(lockName);
  record->m_lockfile = IO_LOCKFILE_WRITER;
  if (!changing) return IO_OK;
  record->m_lock = -1;
  return iif_mark_index_stale(record);
}

} // namespace

char *io_lockfile_name(const char *name) {
  if (!name) return nullptr;
  size_t n = strlen(name);
  char *lockName = static_cast<char *>(io_malloc(n + 5));
  if (!lockName) return nullptr;
  memcpy(lockName, name, n);
  memcpy(lockName + n, ".lck", 5);
  return lockName;
}

int io_real_lock(IO_file *record, int how) {
  if (!record || !record->m_stream) return 0;
  if (record->m_flock == how) return 1;
  // A record that lost its lock may have missed another's writes: it never locks again.
  if (record->m_flock < 0) return 0;
  int fd = fileno(record->m_stream);
  // A temporary that this process holds is this record's: the hold's lock, which the record
  // shares, keeps everybody else out.
  if (record->m_lent) {
    record->m_flock = how;
    return 1;
  }
  if (fd >= 0 && flock(fd, how | LOCK_NB) == 0) {
    record->m_flock = how;
    return 1;
  }
  if (errno == EWOULDBLOCK && record->m_flock == 0) {
    const int hold = zyrHeldTemporary_lend(fd);
    if (hold >= 0) {
      record->m_lent = 1;
      record->m_lenthold = hold;
      record->m_flock = how;
      return 1;
    }
    errno = EWOULDBLOCK;
  }
  // A refused change from shared to exclusive drops the shared lock first: take it again. Changes
  // are made under the directory lock, so that nobody else locks meanwhile; should that lock be
  // out of reach and another process have got in, the record has lost its hold.
  if (record->m_flock == LOCK_SH && how == LOCK_EX && flock(fd, LOCK_SH | LOCK_NB) != 0)
    record->m_flock = -1;
  return 0;
}

namespace {

// The count of an existing lock file read into *n becomes the count after this record's change
// (mode > 0 write, 0 read, < 0 release). *done when the record is settled without writing.
int changeCount(IO_file *record, int32_t mode, const char *lockName, int32_t *n, bool *done) {
  IO_error_callback callback = record->m_callback;
  // A lock file that stands in the way (or would be counted on) but whose data file nobody has
  // locked is stale: readers that ended without counting themselves out must not add up.
  bool inTheWay = mode > 0 ? !(record->m_lockfile == IO_LOCKFILE_READER && *n == 1) : (mode == 0 && *n != 0);
  bool stale = inTheWay && record->m_lockfile == IO_LOCKFILE_NONE && nobodyHolds(record->m_name);
  if (stale) {
    reportTakeOver(callback, record, lockName, *n);
    *n = 0;
  }
  if (mode > 0) {
    if (!stale && !(record->m_lockfile == IO_LOCKFILE_READER && *n == 1)) {
      if (*n >= 0)
        io_report_error(callback,
                        "iif_set_lock: file %s is currently locked for reading at level %d, and "
                        "cannot be locked for write access.  Either another program is using "
                        "this file, or the lock file %s is bad.",
                        record->m_name, *n, lockName);
      else
        io_report_error(callback,
                        "iif_set_lock: file %s is already locked for write access.  Either "
                        "another program is using this file, or the lock file %s is bad.",
                        record->m_name, lockName);
      return IO_LOCK_ERR;
    }
    *n = -1;
  } else if (mode < 0) {
    if (record->m_lockfile == IO_LOCKFILE_WRITER) {
      *n = *n < 0 ? 0 : *n - 1;
    } else if (*n > 0) {
      --*n;
    } else {
      // Another process writes: its lock stays.
      io_trace("iif_set_lock: %s keeps the lock of its writer", lockName);
      record->m_access = 0;
      record->m_lock = 0;
      record->m_lockfile = IO_LOCKFILE_NONE;
      *done = true;
    }
  } else {
    if (*n < 0) {
      io_report_error(callback,
                      "iif_set_lock: file %s is currently locked for writing, and cannot be "
                      "locked for read access.  Either another program is using this file, or "
                      "the lock file %s is bad.",
                      record->m_name, lockName);
      return IO_LOCK_ERR;
    }
    if (*n == INT32_MAX) {
      // No count of live readers gets there: the lock file is bad.
      io_report_error(callback,
                      "iif_set_lock: file %s cannot be locked for read access: the lock file %s "
                      "is bad.",
                      record->m_name, lockName);
      return IO_LOCK_ERR;
    }
    ++*n;
  }
  return IO_OK;
}

// The count after this record's change, from the lock file when there is one. *done when the
// record is settled without writing.
int newCount(IO_file *record, int32_t mode, const char *lockName, int32_t *n, bool *done) {
  errno = 0;
  int error = 0;
  int status = readCount(record->m_callback, lockName, n, &error);
  if (status == kNoLockFile) {
    if (mode < 0) {
      io_trace("iif_set_lock: not unlocking already-unlocked file");
      *done = true;
      return IO_OK;
    }
    *n = mode > 0 ? -1 : 1;
    return IO_OK;
  }
  if (status != IO_OK) {
    if (error != 0) errno = error;
    // An open that fails here has no stream to keep the failure by: the record keeps it.
    if (error != 0 && !record->m_stream && record->m_readerror == 0) record->m_readerror = error;
    iif_syserr(record, "iif_set_lock: error reading lock file %s", lockName);
    return status;
  }
  return changeCount(record, mode, lockName, n, done);
}

// Writes the count into the lock file, or removes the file for 0. A reader that cannot create
// the lock file goes on without it (*done).
int storeCount(IO_file *record, int32_t mode, const char *lockName, int32_t n, bool *done) {
  if (n == 0) {
    remove(lockName);
    return IO_OK;
  }
  bool opened = false;
  const char *call = nullptr;
  errno = 0;
  int status = writeCount(record->m_callback, lockName, n, &opened, &call);
  if (!opened) {
    if (mode == 0) {
      io_trace("warning: unable to lock file %s for reading, continuing anyway", record->m_name);
      *done = true;
      return IO_OK;
    }
    iif_syserr(record, "iif_set_lock: error opening lockfile %s for %s", lockName, record->m_name);
    return IO_LOCK_ERR;
  }
  if (status != IO_OK) {
    iif_note_failure(record, IO_FAILED_LOCKFILE_WRITE, call, errno);
    iif_syserr(record, "iif_set_lock: error writing to lock file %s", lockName);
    return status;
  }
  return IO_OK;
}

} // namespace

int iif_set_lock(IO_file *record, int32_t mode) {
  if (!record) return IO_MEMORY_ERR;
  char access = record->m_access;
  if (mode == 0 && (access == 'r' || access == 'w')) return IO_OK;
  if (mode > 0 && access == 'w' && record->m_lockfile == IO_LOCKFILE_WRITER) return IO_OK;
  if (mode < 0 && access == 0) return IO_OK;
  if (mode < 0 && record->m_lockfile == IO_LOCKFILE_NONE) {
    // This record never counted itself in the lock file: nothing of it is to be taken back.
    record->m_access = 0;
    record->m_lock = 0;
    return IO_OK;
  }

  char *lockName = io_lockfile_name(record->m_name);
  if (!lockName) {
    io_report_malloc_error(record->m_callback, "iif_set_lock",
                           record->m_name ? static_cast<int64_t>(strlen(record->m_name)) + 5 : 5);
    return IO_ALLOC_ERR;
  }
  int status = IO_OK;
  int32_t n = 0;
  bool done = false;
  {
    DirectoryGuard guard(lockName);
    const int counts = countsIn(record, mode < 0);
    if (counts < 0) {
      // Whose the lock file is cannot be told: nothing under the name is changed.
      const int error = errno;
      io_free(lockName);
      if (mode >= 0) {
        iif_note_failure(record, IO_FAILED_LOOK, "stat", error);
        errno = error;
        iif_syserr(record, "iif_set_lock: can't look at %s, so whether its lock file is its own cannot be told",
                   record->m_name);
        return IO_OPEN_ERR;
      }
      io_trace("iif_set_lock: %s cannot be looked at (%s): its lock file stays", record->m_name, strerror(error));
      record->m_access = 0;
      record->m_lock = 0;
      record->m_lockfile = IO_LOCKFILE_NONE;
      return IO_OK;
    }
    if (counts == 0) {
      // The record's count went with its file: nothing under the name is its own to change.
      io_free(lockName);
      if (mode >= 0) {
        io_report_error(record->m_callback,
                        "iif_set_lock: %s is no longer the file open here: its lock file is "
                        "another file's",
                        record->m_name);
        return IO_LOCK_ERR;
      }
      io_trace("iif_set_lock: %s is another file now: its lock file stays", record->m_name);
      record->m_access = 0;
      record->m_lock = 0;
      record->m_lockfile = IO_LOCKFILE_NONE;
      return IO_OK;
    }
    status = newCount(record, mode, lockName, &n, &done);
    if (status == IO_OK && !done)
      status = storeCount(record, mode, lockName, n, &done);
  }
  io_free(lockName);
  if (status != IO_OK || done)
    return status;
  record->m_access = mode > 0 ? 'w' : (mode == 0 ? 'r' : 0);
  record->m_lock = n;
  record->m_lockfile =
      mode > 0 ? IO_LOCKFILE_WRITER : (mode == 0 ? IO_LOCKFILE_READER : IO_LOCKFILE_NONE);
  return IO_OK;
}

void io_lock_directory(const char *name) { zyrFileUse_lockDirectory(name); }

void io_sync_directory_of(const char *name) {
  if (!name) return;
  int fd = open(zyrLeftovers_directory(name).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

void io_unlock_directory() { zyrFileUse_unlockDirectory(); }

int setfilebusyflag(IO_error_callback callback, IO_file *record) {
  if (!record || !record->m_name) {
    io_report_error(callback, "setfilebusyflag: passing parameters are wrong");
    return IO_MEMORY_ERR;
  }
  return becomeWriter(callback, record, true);
}

int io_try_become_writer(IO_file *record) {
  if (!record || !record->m_name || !record->m_stream) return 0;
  return becomeWriter(nullptr, record, true) == IO_OK ? 1 : 0;
}

int io_claim_writer(IO_error_callback callback, IO_file *record) {
  if (!record || !record->m_name || !record->m_stream) return IO_MEMORY_ERR;
  return becomeWriter(callback, record, false);
}

namespace {

// The process that holds the real lock of the file (for writing only, when `writer`): its id when
// one process alone holds it and the system shows which, else 0.
long lockHolderId(const zyrHolders &found) {
  if (found.m_unseen) return 0;
  if (found.m_here) return found.m_other == 0 ? static_cast<long>(getpid()) : 0;
  return found.m_several ? 0 : found.m_other;
}

// io_lock_holder for a file this process may not open: its holders looked up by its device and
// inode.
int unopenedHolder(const char *name, int *writer, long *pid) {
  struct stat status;
  if (stat(name, &status) != 0) return 0;
  zyrHolders found = zyrFileUse_holders(status, true);
  *writer = found.any() ? 1 : 0;
  if (!*writer) found = zyrFileUse_holders(status, false);
  if (!found.any()) return 0;
  *pid = lockHolderId(found);
  return 1;
}

} // namespace

int io_lock_holder(const char *name, int *writer, long *pid) {
  *writer = 0;
  *pid = 0;
  if (!name) return 0;
  int fd = -1;
  bool held = false;
  {
    // Probed as the staleness probe does, under the directory's lock, so that no opener meets the
    // probe's own lock.
    DirectoryGuard guard(name);
    fd = open(name, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd >= 0) {
      // Refused a shared lock: a writer holds it; refused only the exclusive one: readers do.
      *writer = flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK ? 1 : 0;
      held = *writer || (flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK);
      flock(fd, LOCK_UN); // the probe's own lock is no holder's
    }
  }
  // The holders are named once the directory lock has gone: the search can take long, and no
  // opener waits for a name.
  if (fd < 0) return unopenedHolder(name, writer, pid);
  struct stat status;
  if (held && fstat(fd, &status) == 0) *pid = lockHolderId(zyrFileUse_holders(status, *writer != 0));
  close(fd);
  return held ? 1 : 0;
}

int io_lockfile_error(const char *name) {
  char *lockName = io_lockfile_name(name);
  if (!lockName) return ENOMEM;
  char temporary[kTemporarySize];
  int error = temporaryOf(lockName, temporary) ? 0 : ENAMETOOLONG;
  // Looked up, never made: a name too long for the system, or a directory that cannot be searched,
  // says so.
  struct stat status;
  for (const char *probe : {static_cast<const char *>(lockName), static_cast<const char *>(temporary)})
    if (error == 0 && stat(probe, &status) != 0 && errno != ENOENT) error = errno;
  if (error == 0 && access(zyrLeftovers_directory(name).c_str(), W_OK | X_OK) != 0) error = errno;
  io_free(lockName);
  return error;
}
