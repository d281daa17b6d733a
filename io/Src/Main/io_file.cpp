// File layer of data-set files: open, information block, flush and close.
#include "io_file.h"

#include "io_alloc.h"
#include "io_error.h"
#include "io_frame.h"
#include "io_index.h"
#include "io_lock.h"
#include "io_rebuild.h"
#include "io_remnant.h"
#include "lowlevel_io.h"
#include "zyrDirectoryHandle.h"
#include "zyrFileUse.h"
#include "zyrHeldTemporary.h"
#include "zyrPause.h"
#include "zyrPlacement.h"
#include "zyrFault.h"

#include <cerrno>
#include <cinttypes>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <stdio_ext.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace {

const char *const kDefaultFormat = "U5";
const int32_t kNewOffsetWidth = 20;

// Removes the file that an open with O_CREAT | O_EXCL made as fd, whose open then failed, while
// the name still leads to it: it is the open's own, and nothing is in it. Under the directory lock.
void removeMadeBy(int fd, const char *name) {
  struct stat made;
  if (fstat(fd, &made) == 0 && zyrFileUse_leadsTo(AT_FDCWD, name, made) == 1) unlink(name);
}

// Opens with open(2) so that the descriptor is close-on-exec from the start. NULL with errno set.
// A pipe or socket under the name is no data-set file (its data cannot be sought, and its open
// or first read would wait for a writer that may never come): refused at once, with ESPIPE.
// A temporary that this process holds (zyrHeldTemporary.h) is opened through its hold, only while
// its name still leads to it: another file renamed onto its name is never opened for it. A look
// that fails is noted on the record (iif_failure); *opened is the status of the file opened.
FILE *openStream(IO_file *record, const char *name, int flags, const char *mode, struct stat *opened) {
  bool held = false, unseen = false;
  int fd = zyrHeldTemporary_open(name, flags | O_NONBLOCK, &held, &unseen);
  if (unseen) iif_note_failure(record, IO_FAILED_LOOK, "fstat", errno);
  if (!held) fd = zyrFault_open(name, flags | O_CLOEXEC | O_NONBLOCK, 0666);
  if (fd < 0) return nullptr;
  if (zyrFault_fstat(fd, opened) != 0) {
    const int error = errno;
    if (!held && (flags & O_CREAT)) removeMadeBy(fd, name);
    close(fd);
    iif_note_failure(record, IO_FAILED_LOOK, "fstat", error);
    errno = error;
    return nullptr;
  }
  if (S_ISFIFO(opened->st_mode) || S_ISSOCK(opened->st_mode) ||
      fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    close(fd);
    errno = ESPIPE;
    return nullptr;
  }
  FILE *stream = fdopen(fd, mode);
  if (!stream) {
    int error = errno;
    close(fd);
    errno = error;
  }
  return stream;
}

// Lets go of the hold a record was lent (io_real_lock) with its stream.
void returnLent(IO_file *record) {
  if (record->m_lent) close(record->m_lenthold);
  record->m_lent = 0;
  record->m_lenthold = 0;
}

// Closes the record's stream, keeping what became of its reads; zyrFault_fclose's answer.
int releaseStream(IO_file *record) {
  FILE *stream = record->m_stream;
  record->m_readerror = io_read_failure(stream);
  io_forget_stream(stream);
  record->m_stream = nullptr;
  record->m_flock = 0;
  const int closed = zyrFault_fclose(stream);
  returnLent(record);
  return closed;
}

void closeStream(IO_file *record) {
  if (record->m_stream) releaseStream(record);
}

// Holds the lock-file updates of the file's directory for other processes (io_lock_directory)
// while a record counts itself in or out and takes or lets go of its real lock.
struct LockFileUpdate {
  explicit LockFileUpdate(const char *name) { io_lock_directory(name); }
  ~LockFileUpdate() { io_unlock_directory(); }
  LockFileUpdate(const LockFileUpdate &) = delete;
  LockFileUpdate &operator=(const LockFileUpdate &) = delete;
};

int reportRealLockConflict(IO_file *record, bool writing) {
  char *lockName = io_lockfile_name(record->m_name);
  io_report_error(record->m_callback,
                  "iif_set_lock: file %s is in use by another program, and cannot be locked for "
                  "%s access.  Its lock file %s does not show it.",
                  record->m_name, writing ? "write" : "read", lockName ? lockName : "");
  io_free(lockName);
  return IO_LOCK_ERR;
}

// Whether the name still names the file open on the stream (a file replaced by a rename keeps
// its open streams, and their locks, while the name goes to the new one): 1, 0 when it names
// another file, -1 with errno when it cannot be told, *call (may be NULL) naming the look that
// failed. A look that finds nothing under the name while the file open still has a name
// somewhere cannot tell either, as any failed look: only a file that has no name left (removed)
// is told as gone, by errno ENOENT with *call NULL.
int namedAs(FILE *stream, const char *name, const char **call = nullptr) {
  struct stat open, named;
  if (call) *call = nullptr;
  if (zyrFault_fstat(fileno(stream), &open) != 0) {
    if (call) *call = "fstat";
    return -1;
  }
  if (zyrFault_fstatat(AT_FDCWD, name, &named, 0) != 0) {
    if (call && !zyrFileUse_isGone(errno, open)) *call = "stat";
    return -1;
  }
  return zyrFileUse_isSame(open, named) ? 1 : 0;
}

bool isNamed(FILE *stream, const char *name) { return namedAs(stream, name) == 1; }

// Status of openLocked when the file was replaced under its name meanwhile; and how often an
// open tries again before it gives up as if the file were locked.
const int IO_RETRY = -1;
const int kOpenAttempts = 5;

int openLocked(IO_file *record, const char *name, int mode);

// A file that holds no more than what a creation cut off leaves (io_remnant.h), and that no other
// process holds, is emptied for the open to make it anew; the record notes what it held.
void startAfresh(IO_file *record) {
  if (io_remnant_kind(record->m_stream) == IO_REMNANT_NONE) return;
  // Nobody else holds the real lock, and under the directory lock nobody is between counting
  // in and locking either: no live process is making the file.
  LockFileUpdate update(record->m_name);
  const int held = record->m_flock;
  if (!io_real_lock(record, LOCK_EX)) return;
  // Looked at again now that nobody else can write it.
  const int kind = io_remnant_kind(record->m_stream);
  if (kind != IO_REMNANT_NONE && ftruncate(fileno(record->m_stream), 0) == 0) {
    io_trace("iif_open: %s held %s: made anew", record->m_name, io_remnant_text(kind));
    record->m_remnant = kind;
  }
  if (held == LOCK_SH) io_real_lock(record, LOCK_SH);
}

} // namespace

// ---------------------------------------------------------------------------------------------

void iif_clear_record(IO_file *record) {
  if (!record) return;
  char writeFormat[3];
  memcpy(writeFormat, record->m_writeformat, sizeof writeFormat);
  memset(record, 0, sizeof *record);
  memcpy(record->m_writeformat, writeFormat, sizeof writeFormat);
  record->m_callback = io_default_error_callback;
}

int iif_alloc(IO_file **record) {
  if (!record) return IO_MEMORY_ERR;
  *record = static_cast<IO_file *>(io_calloc(1, sizeof(IO_file)));
  if (!*record) return IO_ALLOC_ERR;
  iif_clear_record(*record);
  return IO_OK;
}

int iif_open_new(IO_file **record, const char *name, const char *access) {
  int status = iif_alloc(record);
  if (status != IO_OK) return status;
  status = iif_open(*record, name, access);
  if (status != IO_OK) {
    iif_release_record(*record);
    iif_free_contents(*record);
    io_free(*record);
    *record = nullptr;
  }
  return status;
}

int iif_open(IO_file *record, const char *name, const char *access) {
  int status = iif_open_file(record, name, access);
  if (status != IO_OK) return status;
  return iif_check_header(record);
}

int iif_open_plain(IO_file *record, const char *name, const char *access) {
  return iif_open_file(record, name, access);
}

int iif_open_file(IO_file *record, const char *name, const char *access) {
  if (!record) return IO_MEMORY_ERR;
  record->m_lost = 0;
  IO_error_callback callback = record->m_callback;
  if (!name) {
    io_report_error(callback, "iif_open: filename is NULL\n");
    return IO_OPEN_ERR;
  }
  int mode;
  switch (access ? access[0] : '\0') {
  case 'a':
  case 'w': mode = 1; break;
  case 'r': mode = 0; break;
  case 'd': mode = -1; break;
  default:
    io_report_error(callback, "iif_open: unknown access code %s\n", access ? access : "(null)");
    return IO_OPEN_ERR;
  }
  char *copy = io_strdup(name);
  if (!copy) {
    io_report_malloc_error(callback, "iif_open_file", static_cast<int64_t>(strlen(name)) + 1);
    return IO_ALLOC_ERR;
  }
  io_free(record->m_name);
  record->m_name = copy;

  LockFileUpdate update(name);
  for (int attempt = 1;; ++attempt) {
    int status = openLocked(record, name, mode);
    if (status != IO_RETRY) return status;
    // The name was given to another file between the open and the lock (a compaction put its
    // copy in place): the lock held is that of a file nobody will see again.
    closeStream(record);
    iif_set_lock(record, -1);
    if (attempt == kOpenAttempts) return reportRealLockConflict(record, mode == 1);
  }
}

namespace {

// A temporary of this process whose name leads to another file, or to none, by now: refused before
// its lock file or anything under the name is touched, saying what became of it.
int refuseLostTemporary(IO_file *record, const char *name) {
  std::string loss = zyrHeldTemporary_lossOf(name);
  if (loss.empty()) loss = "its name led elsewhere when it was opened";
  io_report_error(record->m_callback,
                  "iif_open: %s is no longer the file this process made there (%s): nothing under its name has "
                  "been opened",
                  name, loss.c_str());
  record->m_lost = 1;
  return IO_OPEN_ERR;
}

// Whether an open's errno value tells what stands under the name, or that this process may not
// open it: nothing there, no directory on the way, a directory, a pipe, another file than the
// temporary held, a name too long or looping, the permissions. The open's caller tells these by
// the name; any other is a failure of the call.
bool saysWhatIsThere(int error) {
  return error == ENOENT || error == ENOTDIR || error == EISDIR || error == ESPIPE || error == ESTALE ||
         error == ELOOP || error == ENAMETOOLONG || error == EACCES || error == EPERM || error == EROFS;
}

// A look that failed during the open tells nothing of the file: the open is refused saying so, and
// nothing more under the name is opened or looked at.
int refuseUnseen(IO_file *record, const char *name, const char *call, int error) {
  iif_note_failure(record, IO_FAILED_LOOK, call, error);
  io_report_error(record->m_callback, "iif_open: can't look at %s (%s: %s): nothing under its name has been opened",
                  name, call, strerror(error));
  return IO_OPEN_ERR;
}

int openLocked(IO_file *record, const char *name, int mode) {
  record->m_created = 0;
  record->m_remnant = IO_REMNANT_NONE;
  record->m_readerror = 0;
  record->m_identified = 0;
  record->m_failed = IO_FAILED_NONE;
  int lookError = 0;
  const char *lookCall = nullptr;
  const int temporary = zyrHeldTemporary_check(name, &lookError, &lookCall);
  if (temporary < 0)
    return lookError != 0 ? refuseUnseen(record, name, lookCall, lookError) : refuseLostTemporary(record, name);
  int status = iif_set_lock(record, mode == 1 ? 1 : 0);
  if (status != IO_OK) return status;

  FILE *stream = nullptr;
  struct stat opened;
  char access_mode = 'w';
  if (mode == 0) {
    stream = openStream(record, name, O_RDONLY, "rb", &opened);
    access_mode = 'r';
  } else {
    stream = openStream(record, name, O_RDWR, "r+b", &opened);
    int error = errno;
    // Only a file this process may not write is opened for reading instead, as the open itself
    // says: a look that failed, or an open that failed for another reason, says nothing of
    // permissions.
    const bool notWritable = error == EACCES || error == EROFS || error == EPERM;
    if (!stream && mode == -1 && notWritable && record->m_failed == IO_FAILED_NONE) {
      io_trace("Failed to get read/write permission, trying read-only");
      stream = openStream(record, name, O_RDONLY, "rb", &opened);
      if (stream)
        access_mode = 'r';
      else
        errno = error;
    }
    // Created only when the open itself finds nothing under the name, and then by an open that
    // makes it or fails: an existing file is never truncated, nor taken for new. A look that
    // failed is no such answer, nor is a temporary of this process, which is reached only through
    // its hold (that its name leads nowhere is a loss, never a free name). A file that no lock
    // file can guard (its name leaves no room for the lock file's) could never be written: not
    // made.
    if (!stream && error == ENOENT && temporary == 0 && record->m_failed == IO_FAILED_NONE) {
      const int lockError = record->m_lockfile == IO_LOCKFILE_NONE ? io_lockfile_error(name) : 0;
      if (lockError != 0) {
        errno = lockError;
        iif_syserr(record, "iif_open: can't make file %s, as its lock file cannot be made", name);
        iif_set_lock(record, -1);
        return IO_OPEN_ERR;
      }
      io_trace("Failed to get read/write permission");
      stream = openStream(record, name, O_RDWR | O_CREAT | O_EXCL, "w+b", &opened);
      record->m_created = stream ? 1 : 0;
    }
  }
  // An open that the system failed for another reason than what stands under the name or its
  // permissions (a failing disc) is told as itself.
  if (!stream && record->m_failed == IO_FAILED_NONE && !saysWhatIsThere(errno))
    iif_note_failure(record, IO_FAILED_OPEN, "open", errno);
  if (!stream) {
    int error = errno;
    const bool unseen = record->m_failed == IO_FAILED_LOOK;
    iif_set_lock(record, -1);
    if (temporary != 0 && (error == ESTALE || error == ENOENT) && !unseen) return refuseLostTemporary(record, name);
    errno = error;
    iif_syserr(record, unseen ? "iif_open: can't look at file %s" : "iif_open: can't open file %s", name);
    return IO_OPEN_ERR;
  }
  io_forget_stream(stream);
  record->m_stream = stream;
  record->m_access = access_mode;
  zyrPause_point("open.before-lock");
  if (!io_real_lock(record, mode == 1 ? LOCK_EX : LOCK_SH)) {
    closeStream(record);
    iif_set_lock(record, -1);
    return reportRealLockConflict(record, mode == 1);
  }
  const char *call = nullptr;
  const int named = namedAs(record->m_stream, name, &call);
  if (named != 1) {
    const int error = named < 0 && call != nullptr ? errno : 0;
    if (temporary == 0 && error == 0) return IO_RETRY;
    // A file this open made, whose name cannot be told to lead to it, goes again where it does.
    if (record->m_created) removeMadeBy(fileno(record->m_stream), name);
    closeStream(record);
    iif_set_lock(record, -1);
    return error != 0 ? refuseUnseen(record, name, call, error) : refuseLostTemporary(record, name);
  }
  // The file the stream holds: the look of its open, made on the descriptor held since.
  record->m_identified = 1;
  record->m_device = static_cast<uint64_t>(opened.st_dev);
  record->m_inode = static_cast<uint64_t>(opened.st_ino);
  // An empty temporary that this process made and holds for its writer (zyrHeldTemporary.h) is a
  // file this open makes: nothing of it was anybody's before.
  struct stat made;
  if (record->m_lent && mode != 0 && fstat(fileno(record->m_stream), &made) == 0 && made.st_size == 0)
    record->m_created = 1;
  io_trace("iif_open: Opened file %s", name);
  iif_trace_file("iif_open", record);
  return IO_OK;
}

} // namespace

int iif_check_header(IO_file *record) {
  if (!record || !record->m_stream) return IO_MEMORY_ERR;
  if (record->m_access == 'w' && !record->m_created) startAfresh(record);
  IO_error_callback callback = record->m_callback;
  FILE *stream = record->m_stream;
  int status = IO_OK;
  int64_t actual = -1;
  if (io_seek(stream, 0, 2) != 0) {
    iif_syserr(record, "iif_open: can't go to the end of the file  %s\n", record->m_name);
    status = IO_SEEK_ERR;
  } else if ((actual = io_tell(stream)) < 0) {
    iif_syserr(record, "iif_open: can't tell the current location");
    status = IO_TELL_ERR;
  } else if (io_seek(stream, 0, 0) != 0) {
    iif_syserr(record, "iif_open: can't go to the beginning of the file  %s\n", record->m_name);
    status = IO_SEEK_ERR;
  } else if (actual > 0) {
    unsigned char start[7];
    errno = 0;
    if (io_fread(start, 1, 7, stream) != 7) {
      if (int error = io_read_failure(stream)) errno = error;
      iif_syserr(record, "iif_open: can't read the first seven characters");
      status = IO_READ_ERR;
    } else if (memcmp(start, "*INFO", 5) != 0) {
      io_report_error(callback, "iif_open: the file is not in WEZ-5.x format");
      status = IO_BAD_FILE;
    } else if (start[5] == '\r') {
      if (start[6] == '\n')
        io_report_error(callback,
                        "openfile: corrupt file: the file contains Windows-style CR-LF line "
                        "endings.  If this is a copy of the original file, please try again, "
                        "ensuring you do the copy in binary mode.");
      else
        io_report_error(callback,
                        "openfile: corrupt file: the line endings are incorrect.  If this is a "
                        "copy of the original file, please try again, ensuring you do the copy in "
                        "binary mode.");
      status = IO_BAD_FILE;
    } else if (start[5] != '\n') {
      io_report_error(callback, "openfile: corrupt file: trailing garbage after start tag.");
      status = IO_BAD_FILE;
    }
  }
  if (status != IO_OK) {
    closeStream(record);
    iif_set_lock(record, -1);
    return status;
  }
  if (actual == 0 && record->m_access == 'r') {
    // A read-only stream cannot be given the information block of a new file: an empty file is
    // no data-set file to a reader, and stays as it is.
    io_report_error(callback, "iif_open: the file %s is empty: it is not in WEZ-5.x format", record->m_name);
    status = IO_EMPTY_FILE;
  } else {
    status = actual > 0 ? iif_read_info(record, actual) : iif_create_empty(record);
  }
  // A file this open made but could not give its information block (a full disc) goes again.
  if (status != IO_OK) iif_remove_made(record);
  // A file that failed to open keeps no lock of this record; the stream is the caller's to release.
  if (status != IO_OK) iif_set_lock(record, -1);
  if (status == IO_OK && record->m_created) zyrPause_point("open.created");
  return status;
}

int iif_read_info(IO_file *record, int64_t actual) {
  if (!record || !record->m_stream) return IO_MEMORY_ERR;
  IO_error_callback callback = record->m_callback;
  FILE *stream = record->m_stream;
  if (io_seek(stream, 0, 0) != 0) {
    iif_syserr(record, "iif_open: can't go to the beginning of the file  %s\n", record->m_name);
    return IO_SEEK_ERR;
  }
  char tag[8];
  if (wezreadString(nullptr, "F", tag, 5, 1, 5, stream) != IO_OK) {
    if (iif_check_reads(callback, record, "iif_open") == IO_OK)
      io_report_error(callback, "iif_open: fail to read the INFO tag\n");
    return IO_READ_ERR;
  }
  int64_t before = io_tell(stream);
  int64_t recorded = 0;
  if (before < 0 || wezreadOffset(nullptr, "F", &recorded, stream) != IO_OK) {
    if (iif_check_reads(callback, record, "iif_open") == IO_OK)
      io_report_error(callback, "iif_open: fail to read the filesize\n");
    return IO_READ_ERR;
  }
  int64_t width = io_tell(stream) - before - 1;
  if (width != 10 && width != 20) {
    io_report_error(callback,
                    "iif_open: offset format %" PRId64
                    " is not currently supported (or bad file header)\n",
                    width);
    return IO_READ_ERR;
  }
  record->m_offsetwidth = static_cast<int32_t>(width);
  io_trace("iif_open: offset format is %d", record->m_offsetwidth);
  if (recorded != actual) {
    io_trace("iif_open: filesize has changed (recorded %" PRId64 ", actual %" PRId64
             "), recreating index\n",
             recorded, actual);
    record->m_lock = -1;
    return recreate_indextable(callback, record);
  }
  if (create_indextable(callback, record) != IO_OK) {
    // An index the disc failed to deliver is no damage: a walk of the frames would meet the same
    // disc, and what it could not read would go.
    if (iif_check_reads(callback, record, "iif_open") != IO_OK) return IO_READ_ERR;
    io_report_error(callback,
                    "iif_open: unable to read the stored index, attempting to rebuild it");
    record->m_lock = -1;
    return recreate_indextable(callback, record);
  }
  // Before anything is looked up: an entry whose data set does not stand as it says is left out
  // here, once, so that every later use of the table (and every copy) agrees with this open.
  return ioframe_check_table(record);
}

int iif_create_empty(IO_file *record) {
  if (!record || !record->m_stream) return IO_MEMORY_ERR;
  IO_error_callback callback = record->m_callback;
  FILE *stream = record->m_stream;
  // The writers are told nothing; what the system gave as the reason is told here, and noted as
  // what refused the open.
  errno = 0;
  const char *failed = nullptr;
  if (wezwriteString(nullptr, "F", "*INFO", 5, 1, 5, stream) != IO_OK) {
    failed = "iif_create_empty: error writing the INFO start tag";
  } else {
    record->m_offsetwidth = kNewOffsetWidth;
    if (wezwriteOffset(nullptr, "F", 0, kNewOffsetWidth, stream) != IO_OK)
      failed = "iif_create_empty: error writing the filesize";
    else if (wezwriteString(nullptr, "F", "*ENDINFO", 8, 1, 8, stream) != IO_OK)
      failed = "iif_create_empty: error writing the INFO end tag";
    else if (zyrFault_fflush(stream) != 0)
      failed = "iif_create_empty: (error writing the INFO end tag) syserr:";
  }
  if (failed) {
    iif_note_failure(record, IO_FAILED_WRITE, "write", errno);
    iif_syserr(record, "%s", failed);
    return IO_WRITE_ERR;
  }
  int64_t location = io_tell(stream);
  if (location < 0) {
    io_report_error(callback, "iif_create_empty: can't tell the current location\n");
    return IO_TELL_ERR;
  }
  record->m_indexlocation = location;
  if (alloc_indextable(record) != IO_OK) {
    io_report_malloc_error(callback, "iif_create_empty: error allocating new index",
                           static_cast<int64_t>(sizeof(IO_index)));
    return IO_ALLOC_ERR;
  }
  return IO_OK;
}

int iif_flush(IO_file *record) {
  if (!record || !record->m_stream) return IO_OK;
  IO_error_callback callback = record->m_callback;
  FILE *stream = record->m_stream;
  int status = IO_OK;
  if (record->m_lock == -1) {
    if (iif_read_failure(record) != 0) {
      // The table may lack what the disc failed to deliver; the next open rebuilds it.
      status = iif_check_reads(callback, record, "iif_flush");
    } else if (record->m_lockfile != IO_LOCKFILE_WRITER && !io_try_become_writer(record)) {
      // Others read the file (or the stream is read-only): the file stays as it is.
      io_trace("iif_flush: %s is not written by this process, its index is not stored",
               record->m_name);
    } else {
      io_trace("iif_flush: writing final index");
      int64_t size = -1;
      if (io_seek(stream, record->m_indexlocation, 0) != 0) {
        iif_syserr(record, "iif_flush: can't go to index location");
        status = IO_SEEK_ERR;
      } else if ((status = write_index(callback, record, indextable_count(record->m_indextable),
                                       record->m_indextable)) != IO_OK) {
        io_report_error(callback, "iif_flush: write_index failed");
      } else if (io_seek(stream, 0, 2) != 0) {
        io_report_error(callback, "iif_flush: can't go to end of file ");
        status = IO_SEEK_ERR;
      } else if ((size = io_tell(stream)) < 0) {
        io_report_error(callback, "iif_flush: can't get the filesize");
        status = IO_TELL_ERR;
      } else if (io_seek(stream, 6, 0) != 0) {
        io_report_error(callback, "iif_flush: can't skip start of INFO dataset");
        status = IO_SEEK_ERR;
      } else if ((status = wezwriteOffset(callback, "F", size, record->m_offsetwidth, stream)) !=
                 IO_OK) {
        io_report_error(callback, "iif_flush: can't write filesize");
      } else {
        // The index and the size reach the disc before the file counts as closed.
        if (zyrFault_fflush(stream) != 0 || zyrFault_fsync(fileno(stream)) != 0) {
          iif_syserr(record, "iif_flush: can't write filesize");
          status = IO_WRITE_ERR;
        } else {
          record->m_lock = 0;
          record->m_indexstale = 0;
        }
      }
    }
  }
  zyrFault_fflush(stream);
  return status;
}

int iif_mark_index_stale(IO_file *record) {
  // Plain text files have no index and no information block.
  if (!record || !record->m_stream || !record->m_indextable || record->m_access != 'w') return IO_OK;
  // Asked before every change, not only the first: a read may fail between two of them.
  int status = iif_check_reads(record->m_callback, record, "iif_mark_index_stale");
  if (status != IO_OK || record->m_indexstale) return status;
  FILE *stream = record->m_stream;
  int64_t here = io_tell(stream);
  if (here < 0) {
    iif_syserr(record, "iif_mark_index_stale: can't tell the current location");
    status = IO_TELL_ERR;
  } else if (io_seek(stream, 6, 0) != 0) {
    iif_syserr(record, "iif_mark_index_stale: can't skip start of INFO dataset");
    status = IO_SEEK_ERR;
  } else if ((status = wezwriteOffset(record->m_callback, "F", 0, record->m_offsetwidth,
                                      stream)) != IO_OK) {
    io_report_error(record->m_callback, "iif_mark_index_stale: can't write filesize");
  } else if (zyrFault_fflush(stream) != 0 || zyrFault_fdatasync(fileno(stream)) != 0) {
    iif_syserr(record, "iif_mark_index_stale: can't write filesize");
    status = IO_WRITE_ERR;
  }
  if (here >= 0 && io_seek(stream, here, 0) != 0 && status == IO_OK) {
    iif_syserr(record, "iif_mark_index_stale: can't go back to the current location");
    status = IO_SEEK_ERR;
  }
  if (status != IO_OK) return status;
  record->m_indexstale = 1;
  // The index is stored afresh at the close, which also puts the size back.
  record->m_lock = -1;
  return IO_OK;
}

int iif_sync(IO_file *record) {
  if (!record || !record->m_stream) return IO_OK;
  errno = 0;
  if (zyrFault_fflush(record->m_stream) != 0 || zyrFault_fdatasync(fileno(record->m_stream)) != 0) {
    iif_syserr(record, "iif_sync: can't put file %s on disc", record->m_name ? record->m_name : "");
    return IO_WRITE_ERR;
  }
  return IO_OK;
}

namespace {

// The refusals of a swap beside those of zyrPlacement_renameOver and the errno value of a failed
// rename: the record's name no longer leads to its file; the replacement cannot be put on disc.
const int kSwapNotNamed = -100;
const int kSwapNotOnDisc = -101;

// Tells why the swap has not happened, with the system's reason (`error`) where the system
// refused or a look failed: IO_WRITE_ERR.
int refuseSwap(IO_file *record, const IO_file *replacement, int refusal, int error) {
  const std::string name = record->m_name, copy = replacement->m_name;
  const std::string nothing = "; nothing has been put in place of " + name;
  std::string text;
  switch (refusal) {
  case kSwapNotOnDisc: text = "can't put file " + copy + " on disc"; break;
  case kSwapNotNamed: text = name + " is no longer the file open here; it has not been replaced"; break;
  case ZYR_PLACEMENT_UNSEEN: text = "can't look at " + name + " or its copy " + copy; break;
  case ZYR_PLACEMENT_REPLACED: text = "another file has taken the name " + name + "; it has not been replaced"; break;
  case ZYR_PLACEMENT_TAKEN:
    text = "another file has taken the name " + name + " meanwhile, once the copy was in place; it stays there";
    break;
  case ZYR_PLACEMENT_LOST: text = "another file has taken the name of the copy " + copy + nothing; break;
  case ZYR_PLACEMENT_GONE: text = "the copy " + copy + " is gone" + nothing; break;
  default: text = "can't rename " + copy + " to " + name; error = refusal;
  }
  if (refusal > 0 || refusal == ZYR_PLACEMENT_UNSEEN || refusal == kSwapNotOnDisc) {
    errno = error;
    iif_syserr(record, "iif_swap_in: %s", text.c_str());
  } else {
    io_report_error(record->m_callback, "iif_swap_in: %s", text.c_str());
  }
  return IO_WRITE_ERR;
}

// Renames the copy (of status `copy`) over the record's file (of status `old`), under the directory
// lock: 0, or the refusal with errno. The name must still lead to the file this record holds: what
// took its place meanwhile (or stands under it in the directory the name now leads to) is not this
// record's to replace.
int swapNames(IO_file *record, const IO_file *replacement, const struct stat &old, const struct stat &copy) {
  const char *call = nullptr;
  const int named = namedAs(record->m_stream, record->m_name, &call);
  if (named != 1) return named == 0 || call == nullptr ? kSwapNotNamed : ZYR_PLACEMENT_UNSEEN;
  return zyrPlacement_renameOver(replacement->m_name, record->m_name, &old, &copy);
}

// The record goes on with the replacement's stream, index and lock, in place under its own name;
// the replacement's lock file goes and its record is cleared. Under the directory lock.
void takeOver(IO_file *record, IO_file *replacement) {
  const int fd = fileno(replacement->m_stream);
  // A temporary that this process holds stays held as the file now under its name, by the lock
  // the replacement holds (its own, or the hold it was lent and keeps).
  if (record->m_lent)
    zyrHeldTemporary_handOver(fileno(record->m_stream), replacement->m_lent ? replacement->m_lenthold : fd);
  io_sync_directory_of(record->m_name);
  char *lockName = io_lockfile_name(replacement->m_name);
  if (lockName) remove(lockName);
  io_free(lockName);
  // The old file is nobody's any more: it goes without its index.
  record->m_lock = 0;
  io_forget_stream(record->m_stream);
  zyrFault_fclose(record->m_stream);
  returnLent(record);
  indextable_free(record->m_indextable);
  io_free(record->m_format);
  char *name = record->m_name;
  IO_error_callback callback = record->m_callback;
  // What the record's open found of the file stays: the replacement was made by the swap, not
  // by that open.
  const int32_t created = record->m_created, remnant = record->m_remnant;
  io_free(replacement->m_name);
  *record = *replacement;
  record->m_name = name;
  record->m_callback = callback;
  record->m_created = created;
  record->m_remnant = remnant;
  record->m_lockfile = IO_LOCKFILE_WRITER;
  iif_clear_record(replacement);
}

} // namespace

int iif_swap_in(IO_file *record, IO_file *replacement) {
  if (!record || !replacement || !record->m_stream || !replacement->m_stream || !record->m_name ||
      !replacement->m_name)
    return IO_MEMORY_ERR;
  if (record->m_lockfile != IO_LOCKFILE_WRITER || record->m_flock != LOCK_EX ||
      replacement->m_lockfile != IO_LOCKFILE_WRITER || replacement->m_flock != LOCK_EX) {
    io_report_error(record->m_callback,
                    "iif_swap_in: %s and %s must both be written by this process to be swapped",
                    record->m_name, replacement->m_name);
    return IO_LOCK_ERR;
  }
  // A copy made while a read of the file failed may lack what that read missed: it does not take
  // the file's place.
  int status = iif_check_reads(record->m_callback, record, "iif_swap_in");
  if (status == IO_OK) status = iif_flush(replacement);
  if (status != IO_OK) return status;
  const int fd = fileno(replacement->m_stream);
  // The copy takes the permissions (and where allowed the owner) of the file it replaces, and is
  // put on disc with them. What goes in is the copy this record holds, not whatever its name
  // leads to by now.
  struct stat old = {}, copy = {};
  if (zyrFault_fstat(fileno(record->m_stream), &old) != 0 || zyrFault_fstat(fd, &copy) != 0)
    return refuseSwap(record, replacement, ZYR_PLACEMENT_UNSEEN, errno);
  zyrPlacement_keepMode(fd, &old);
  if (zyrFault_fsync(fd) != 0) return refuseSwap(record, replacement, kSwapNotOnDisc, errno);
  zyrPause_point("swap.before-rename");
  {
    LockFileUpdate update(record->m_name);
    const int refusal = swapNames(record, replacement, old, copy);
    if (refusal != 0) return refuseSwap(record, replacement, refusal, errno);
    takeOver(record, replacement);
  }
  zyrPause_point("swap.after-rename");
  io_trace("iif_swap_in: the new file is in place as %s", record->m_name);
  return IO_OK;
}

int iif_close(IO_file *record) {
  if (!record) return IO_OK;
  io_trace("iif_close: Closing file %s", record->m_name ? record->m_name : "");
  iif_trace_file("closefile", record);
  if (record->m_stream && iif_read_failure(record) == 0) {
    if (iif_flush(record) != IO_OK) {
      // Nothing of the file lies past the index location but what this close could not store
      // there (a full disc): it goes, so that the file ends at its end tag, or at its last data
      // set when even the tag cannot be written, and the next open rebuilds the index from the
      // data sets without taking the remains for damage. Cutting a file needs no room.
      int64_t end = -1;
      if (io_seek(record->m_stream, record->m_indexlocation, 0) != 0) {
        io_trace("closefile index fail: can't go to index location");
      } else if (wezwriteString(nullptr, "F", "*CRASH", 6, 1, 6, record->m_stream) == IO_OK &&
                 zyrFault_fflush(record->m_stream) == 0) {
        io_trace("closefile index fail: wrote crash tag OK");
        end = io_tell(record->m_stream);
      } else {
        io_trace("closefile index fail: can't write file end tag");
        __fpurge(record->m_stream);
        end = record->m_indexlocation;
      }
      if (end > 0 && record->m_access == 'w' && ftruncate(fileno(record->m_stream), end) != 0)
        io_trace("closefile index fail: can't cut the file at its end tag");
    }
  }
  {
    LockFileUpdate update(record->m_name);
    if (record->m_stream) {
      errno = 0;
      if (releaseStream(record) != 0) iif_syserr(record, "iif_close: error closing file");
    }
    iif_set_lock(record, -1);
  }
  iif_free_contents(record);
  return IO_OK;
}

void iif_leave_unchanged(IO_file *record) {
  if (record) record->m_lock = 0;
}

int iif_remove_made(IO_file *record) {
  if (!record || !record->m_stream || !record->m_created || !record->m_name) return 0;
  {
    LockFileUpdate update(record->m_name);
    // Nobody else holds it (under the directory lock, nobody is about to), and it is still the
    // file of the name.
    const int held = record->m_flock;
    if (!io_real_lock(record, LOCK_EX) || !isNamed(record->m_stream, record->m_name) ||
        unlink(record->m_name) != 0) {
      if (held == LOCK_SH) io_real_lock(record, LOCK_SH);
      return 0;
    }
    // Nothing more goes to the file, its index included.
    __fpurge(record->m_stream);
    record->m_lock = 0;
    closeStream(record);
    iif_set_lock(record, -1);
  }
  io_trace("iif_remove_made: %s removed", record->m_name);
  iif_free_contents(record);
  return 1;
}

int iif_close_free(IO_file *record) {
  int status = iif_close(record);
  io_free(record);
  return status;
}

int iif_close_text(IO_file *record) {
  if (!record) return IO_OK;
  {
    LockFileUpdate update(record->m_name);
    closeStream(record);
    iif_set_lock(record, -1);
  }
  iif_free_contents(record);
  return IO_OK;
}

int iif_free_contents(IO_file *record) {
  if (!record) return IO_OK;
  io_free(record->m_name);
  record->m_name = nullptr;
  indextable_free(record->m_indextable);
  record->m_indextable = nullptr;
  io_free(record->m_format);
  record->m_format = nullptr;
  record->m_formatstate = 0;
  closeStream(record);
  return IO_OK;
}

int iif_release_record(IO_file *record) {
  if (!record) return IO_OK;
  {
    LockFileUpdate update(record->m_name);
    closeStream(record);
    iif_set_lock(record, -1);
  }
  indextable_free(record->m_indextable);
  record->m_indextable = nullptr;
  io_free(record->m_name);
  record->m_name = nullptr;
  record->m_indexlocation = 0;
  record->m_access = 'w';
  return IO_OK;
}

int iif_is_open(const IO_file *record) { return record && record->m_stream ? 1 : 0; }

int iif_is_file(const IO_file *record, const char *name) {
  return record && record->m_stream && name && isNamed(record->m_stream, name) ? 1 : 0;
}

int iif_is_named(const IO_file *record) { return record ? iif_is_file(record, record->m_name) : 0; }

int iif_named(const IO_file *record, const char **call) {
  if (!record || !record->m_stream || !record->m_name) {
    errno = EBADF;
    if (call) *call = nullptr;
    return -1;
  }
  return namedAs(record->m_stream, record->m_name, call);
}

int iif_open_held(const IO_file *record) {
  if (!record || !record->m_stream || !record->m_name) {
    errno = EBADF;
    return -1;
  }
  struct stat held;
  const int own = fileno(record->m_stream);
  if (fstat(own, &held) != 0) return -1;
  const std::string through = zyrDirectoryHandle_fileOf(own);
  if (!through.empty()) {
    const int fd = zyrFileUse_openLooked(through.c_str(), held, true, nullptr);
    if (fd >= 0) return fd;
  }
  return zyrFileUse_openLooked(record->m_name, held, true, nullptr);
}

int iif_read_failure(const IO_file *record) {
  if (!record) return 0;
  return record->m_stream ? io_read_failure(record->m_stream) : record->m_readerror;
}

int iif_lost_temporary(const IO_file *record) { return record != nullptr && record->m_lost ? 1 : 0; }

void iif_note_failure(IO_file *record, int failed, const char *call, int error) {
  if (!record || error == 0 || record->m_failed != IO_FAILED_NONE) return;
  record->m_failed = failed;
  record->m_failederror = error;
  record->m_failedcall = call;
}

const char *iif_failure(const IO_file *record, const char **call, int *error) {
  *call = nullptr;
  *error = 0;
  if (!record || record->m_failed == IO_FAILED_NONE) return nullptr;
  *call = record->m_failedcall;
  *error = record->m_failederror;
  switch (record->m_failed) {
  case IO_FAILED_LOOK: return "a look at it";
  case IO_FAILED_WRITE: return "a write of it";
  case IO_FAILED_OPEN: return "an open of it";
  default: return "a write of its lock file";
  }
}

int iif_check_reads(IO_error_callback callback, const IO_file *record, const char *function) {
  int error = iif_read_failure(record);
  if (error == 0) return IO_OK;
  errno = error;
  io_report_syserr(callback, "%s: a read of %s failed", function,
                   record->m_name ? record->m_name : "the file");
  return IO_READ_ERR;
}

int iif_syserr(IO_file *record, const char *format, ...) {
  int error = errno;
  if (!format) return IO_NO_MESSAGE;
  va_list arguments;
  va_start(arguments, format);
  char *text = io_expand_message(format, arguments);
  va_end(arguments);
  errno = error;
  wezsystemErr(record ? record->m_callback : nullptr, text ? text : format);
  io_free(text);
  return IO_OK;
}

void iif_trace_file(const char *label, const IO_file *record) {
  if (!io_trace_enabled() || !record) return;
  io_trace("%s: File 0x%" PRIxPTR "x \"%s\" at %" PRId64 "\n", label ? label : "",
           reinterpret_cast<uintptr_t>(record), record->m_name ? record->m_name : "",
           record->m_stream ? io_tell(record->m_stream) : int64_t(-1));
}

void iif_resolve_format(IO_file *record) {
  if (!record) return;
  if (record->m_formatstate == 0) {
    const char *value = getenv("WEZ_FORMAT");
    char *format = nullptr;
    if (value && iofmt_is_valid(value[0])) {
      format = io_strdup(value);
      record->m_formatstate = 1;
    } else {
      if (value)
        io_report_error(
            record->m_callback, "Invalid format string \"%c%c\" in WEZ_FORMAT environment variable",
            io_format_char(value[0], '?'), io_format_char(value[0] ? value[1] : 0, '?'));
      format = io_strdup(kDefaultFormat);
      record->m_formatstate = 2;
    }
    io_free(record->m_format);
    record->m_format = format;
  }
  if (record->m_format) iofmt_make_native(record->m_callback, record->m_format);
}

int iif_set_format(IO_file *record, const char *format) {
  if (!record || !format) return IO_MEMORY_ERR;
  iif_resolve_format(record);
  if (record->m_formatstate != 2) return IO_OK;
  char *copy = io_strdup(format);
  if (!copy) return IO_ALLOC_ERR;
  io_free(record->m_format);
  record->m_format = copy;
  iofmt_make_native(record->m_callback, record->m_format);
  return IO_OK;
}

const char *iif_get_format(IO_file *record) {
  if (!record) return nullptr;
  iif_resolve_format(record);
  return record->m_format;
}
