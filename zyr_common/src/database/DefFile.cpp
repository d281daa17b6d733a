// Definition files: typed data sets of one data-set file through its Dataset, failures stored in
// the handle until the caller publishes them.
#include "DefFile.h"

#include "Dataset.h"
#include "Dictionary.h"
#include "get_ds_location.h"
#include "io_file.h"
#include "io_index.h"
#include "io_lock.h"
#include "io_remnant.h"
#include "io_state.h"
#include "zyrCString.h"
#include "zyrDirectoryHandle.h"
#include "zyrError.h"
#include "zyrFileUse.h"
#include "zyrHeldTemporary.h"
#include "zyrMemory.h"
#include "zyrPlacement.h"
#include "zyrSystem.h"
#include "zyrTrace.h"
#include "zyrUUID.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The source every error record of this layer names.
const char *const kSource = "zyr_common/src/database/DefFile";

const char *const kRule = "==============================================================================\n";

void storeError(DefFile *file, const char *function, const char *what, const char *where, int32_t when,
                int32_t code, const char *prefix, const char *kind) {
  char *description = zyrCString_merge(prefix, kind, static_cast<const char *>(nullptr));
  DefFile_setError(file, function, what, where, when, code, description);
  zyrCString_free(description);
}

void readFailed(DefFile *file, const char *function, const char *what, const char *where, int32_t when,
                const char *kind) {
  storeError(file, function, what, where, when, ZYR_U_UNABLE_TO_READ_DATASET, "Unable to read the requested ",
             kind);
}

// The system's reason, as a sentence of its own, why the file being written cannot be: it is open
// for reading only because the user may not write it. "" when the system gives none (it was
// opened for reading only as asked).
std::string readOnlyReason(const DefFile *file) {
  const IO_state *state = file->m_fileInfo;
  const IO_file *record = state->m_current != nullptr ? state->m_current : &state->m_primary;
  if (record->m_access != 'r' || record->m_name == nullptr || access(record->m_name, W_OK) == 0)
    return std::string();
  return std::string("\n\nThe system gives the reason: ") + strerror(errno) + ".";
}

void writeFailed(DefFile *file, const char *function, const char *what, const char *where, int32_t when,
                 const char *kind) {
  // Refused because another process holds the file: the caller must hear that it is locked (a
  // file open for reading only is no lock of anybody's, and the system says why it is).
  const bool locked = file->m_dataset->m_lastStatus == IO_LOCK_ERR;
  const std::string subject =
      std::string(kind) + (locked ? std::string(": another process has the file open") : readOnlyReason(file));
  storeError(file, function, what, where, when, locked ? ZYR_U_DATABASE_IS_LOCKED : ZYR_U_UNABLE_TO_WRITE_DATASET,
             "Unable to write the requested ", subject.c_str());
  ++file->m_failedWrites;
}

// ---------------------------------------------------------------------------------------------
// The typed families, one template per shape over the Dataset reader or writer of the kind.

template <class T> using Reader = int (*)(Dataset *, const char *, const char *, int32_t, int32_t *, T **);

// One value read into the caller's variable; the data set must hold exactly one.
template <class T>
int readScalar(DefFile *file, const char *function, Reader<T> reader, const char *what, const char *where,
               int32_t when, T *value, const char *kind) {
  T local[1] = {};
  T *array = local;
  int32_t count = 1;
  if (value && reader(file->m_dataset, what, where, when, &count, &array) && count == 1) {
    *value = local[0];
    return 1;
  }
  readFailed(file, function, what, where, when, kind);
  return 0;
}

template <class T>
int readAllocated(DefFile *file, const char *function, Reader<T> reader, const char *what, const char *where,
                  int32_t when, T **array, int32_t *count, const char *kind) {
  if (array && count) {
    *array = nullptr;
    *count = -1;
    if (reader(file->m_dataset, what, where, when, count, array)) return 1;
    *array = nullptr;
    *count = 0;
  }
  readFailed(file, function, what, where, when, kind);
  return 0;
}

template <class T>
int readInto(DefFile *file, const char *function, Reader<T> reader, const char *what, const char *where,
             int32_t when, T *array, int32_t *count, const char *kind) {
  if (array && count && *count >= 0 && reader(file->m_dataset, what, where, when, count, &array)) return 1;
  readFailed(file, function, what, where, when, kind);
  return 0;
}

template <class T>
using NumericWriter = int (*)(Dataset *, const char *, const char *, int32_t, int32_t, int32_t, const T *);

template <class T>
int writeNumeric(DefFile *file, const char *function, NumericWriter<T> writer, const char *what,
                 const char *where, int32_t when, const T *data, int32_t n, int32_t noOfStructures,
                 const char *kind) {
  file->m_isModified = 1;
  if (writer(file->m_dataset, what, where, when, n, noOfStructures, data)) return 1;
  writeFailed(file, function, what, where, when, kind);
  return 0;
}

template <class T>
using ListWriter = int (*)(Dataset *, const char *, const char *, int32_t, int32_t, const T *);

template <class T>
int writeList(DefFile *file, const char *function, ListWriter<T> writer, const char *what, const char *where,
              int32_t when, const T *data, int32_t n, const char *kind) {
  file->m_isModified = 1;
  if (writer(file->m_dataset, what, where, when, n, data)) return 1;
  writeFailed(file, function, what, where, when, kind);
  return 0;
}

// Scalar reads of the kinds that hand over a new object (strings, UUIDs): NULL on failure.
template <class T>
int readScalarObject(DefFile *file, const char *function, Reader<T> reader, const char *what,
                     const char *where, int32_t when, T *value, const char *kind, void (*release)(T)) {
  if (value) *value = nullptr;
  T local[1] = {};
  T *array = local;
  int32_t count = 1;
  if (value && reader(file->m_dataset, what, where, when, &count, &array)) {
    if (count == 1) {
      *value = local[0];
      return 1;
    }
    for (int32_t i = 0; i < count && i < 1; ++i) release(local[i]);
  }
  readFailed(file, function, what, where, when, kind);
  return 0;
}

void releaseString(char *text) { zyrCString_free(text); }
void releaseUUID(zyrUUID *uuid) { zyrUUID_delete(uuid); }

// ---------------------------------------------------------------------------------------------
// Files.

// Everything up to and including the last separator ("\\" or "/"), or "".
std::string directoryPart(const char *name) {
  std::string text(name ? name : "");
  size_t at = text.find_last_of("\\/");
  return at == std::string::npos ? std::string() : text.substr(0, at + 1);
}

// The system's reason why the file cannot be opened, or made when it does not exist (for a file
// only to be read, why it is not there); "" when the system sees none (then its contents are to
// blame).
std::string systemReason(const char *name, bool reading) {
  struct stat status;
  if (stat(name, &status) == 0) {
    if (S_ISDIR(status.st_mode))
      return strerror(EISDIR);
    const int fd = open(name, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
      return strerror(errno);
    close(fd);
    return std::string();
  }
  if (errno != ENOENT || reading)
    return strerror(errno);
  // A new file: its directory must exist and let it be made.
  std::string directory = directoryPart(name);
  if (directory.empty())
    directory = ".";
  if (stat(directory.c_str(), &status) != 0)
    return strerror(errno);
  if (!S_ISDIR(status.st_mode))
    return strerror(ENOTDIR);
  if (access(directory.c_str(), W_OK | X_OK) != 0)
    return strerror(errno);
  return std::string();
}

// A file a live process holds, refused to this open: published naming the holder (its process id
// where the system shows it), saying what it does (`doing`, or what its lock shows); false, with
// nothing published, when no live holder is seen. `path` is the file the name leads to
// (zyrResolveLinks).
bool publishHolder(const char *function, const char *subject, const char *name, const char *path,
                   const char *doing) {
  int writer = 0;
  long pid = 0;
  if (!io_lock_holder(path, &writer, &pid))
    return false;
  if (doing == nullptr)
    doing = writer ? "is writing it" : "has it open";
  if (pid == static_cast<long>(getpid())) {
    zyrError_raise(ZYR_U_DATABASE_IS_LOCKED, function, kSource, __LINE__,
                   "The supplied %s, %s, can not\nbe opened: this process %s already.\n\nThe open can be tried "
                   "again once it has been closed.\n",
                   subject, name, doing);
    return true;
  }
  const std::string holder = pid > 0 ? " (process id " + std::to_string(pid) + ")" : std::string();
  zyrError_raise(ZYR_U_DATABASE_IS_LOCKED, function, kSource, __LINE__,
                 "The supplied %s, %s, can not\nbe opened: another process%s %s.\n\nThe open can be tried again "
                 "when that process has finished with the file.\n",
                 subject, name, holder.c_str(), doing);
  return true;
}

// An open refused by the lock. A live holder of the file is named: deleting the lock file under a
// live writer would let a second writer in. Only a lock file that no live holder could be seen
// behind is for the user to look at.
void publishLocked(const char *function, const char *subject, const char *name, const char *path) {
  if (!publishHolder(function, subject, name, path, nullptr))
    zyrError_raise(ZYR_U_DATABASE_IS_LOCKED, function, kSource, __LINE__,
                   "The supplied %s, %s, can not\nbe opened as a lock file, %s.lck,\nexists.\n\nIf this is the "
                   "result of a previous failed run then try deleting the\nlock file and repeating the "
                   "operation.\n",
                   subject, name, path);
}

void publishOpenFailure(const char *function, int result, const char *name, const char *path, bool primary,
                        const char *ioText, bool reading, const IO_file &record) {
  const char *subject = primary ? "file name" : "secondary file name";
  if (result == -1) {
    publishLocked(function, subject, name, path);
    return;
  }
  // The reason, where one is known, follows as a part of its own.
  zyrError *error = zyrError_new(ZYR_U_INVALID_INPUT, function, kSource, __LINE__);
  // A call the system failed (a look at the file, a write of it or of its lock file) is the whole
  // reason: it says nothing of the file's format, and nothing under the name is looked at again.
  const char *call = nullptr;
  int failure = 0;
  if (const char *failed = iif_failure(&record, &call, &failure)) {
    zyrError_addMessage(error, "The supplied %s, %s, can not\nbe opened: %s failed (%s: %s).\n", subject, name,
                        failed, call != nullptr ? call : "", strerror(failure));
    if (ioText != nullptr && *ioText != '\0')
      zyrError_addMessage(error, "\n  IO library reported:\n\n%s\n", ioText);
    zyrError_publish(error);
    return;
  }
  // A temporary of this process that is no longer under its name: what the data-set library saw
  // become of it is the whole reason, and nothing under the name is looked at for another.
  if (iif_lost_temporary(&record)) {
    zyrError_addMessage(error, "The supplied %s, %s, can not\nbe opened.\n\n  IO library reported:\n\n%s\n", subject,
                        name, ioText != nullptr ? ioText : "");
    zyrError_publish(error);
    return;
  }
  const int readFailure = iif_read_failure(&record);
  zyrError_addMessage(error,
                      "The supplied %s, %s, can not\nbe opened as a WEZ data file.\n\nThis could be because it has "
                      "the wrong format or because you\ndon't have write permissions in the requested "
                      "directory.\n",
                      subject, name);
  // A read the disc failed is the reason, whatever the file holds.
  const std::string reason = readFailure != 0 ? strerror(readFailure) : systemReason(path, reading);
  if (!reason.empty())
    zyrError_addMessage(error, "\nThe system gives the reason: %s.\n", reason.c_str());
  else if (ioText != nullptr && *ioText != '\0')
    zyrError_addMessage(error, "\n  IO library reported:\n\n%s\n", ioText);
  zyrError_publish(error);
}

// A lock file that no holder of the file backed, and that the primary file's record took over, is
// told to the user once. Whoever counted there may still run, holding the file it counted under
// another name (renamed since): the warning says only that nobody else holds this one.
void tellTakeOver(DefFile *file, const char *function, const char *shown) {
  IO_file &record = file->m_fileInfo->m_primary;
  if (!record.m_takenover || record.m_name == nullptr)
    return;
  record.m_takenover = 0;
  const char *name = shown != nullptr ? shown : record.m_name;
  zyrError_raise(ZYR_W_INVALID_DATA_IGNORED, function, kSource, __LINE__,
                 "The lock file\n\n%s.lck\n\nhas been taken over: no other process holds %s any more.\n", name,
                 name);
}

// Whether the primary file is one this process could write but whose lock file its open could not
// make: every change of it is refused.
bool lacksLockFile(const DefFile *file) {
  const IO_file &record = file->m_fileInfo->m_primary;
  return record.m_access == 'w' && record.m_lockfile == IO_LOCKFILE_NONE && record.m_name != nullptr;
}

// A file this process could write but whose lock file it could not make (its directory does not
// let it, or the name is too long for the system): every change will be refused, which the user
// hears now, with the reason, rather than at the first change as somebody else's lock.
void tellLockFileMissing(DefFile *file, const char *function, const char *shown) {
  if (!lacksLockFile(file))
    return;
  const char *name = shown;
  const int error = io_lockfile_error(name);
  std::string cause;
  if (error == ENAMETOOLONG) {
    cause = std::string("the name is too long: ") + strerror(error);
  } else {
    std::string directory = directoryPart(name);
    if (directory.size() > 1)
      directory.pop_back();
    if (directory.empty())
      directory = ".";
    cause = "the directory " + directory + ": " + (error != 0 ? strerror(error) : "it cannot be created");
  }
  zyrError_raise(ZYR_W_INFORMATION, function, kSource, __LINE__,
                 "The file\n\n%s\n\ncan be read but not changed: its lock file %s.lck cannot be made\n(%s).\n",
                 name, name, cause.c_str());
}

// A file that held no more than what a creation cut off leaves, and that the open made anew, is
// told to the user with what it held (nothing of it was stored data).
void tellMadeAnew(DefFile *file, const char *function, const char *shown) {
  const IO_file &record = file->m_fileInfo->m_primary;
  if (record.m_remnant == IO_REMNANT_NONE || record.m_name == nullptr)
    return;
  zyrError_raise(ZYR_W_INVALID_DATA_IGNORED, function, kSource, __LINE__,
                 "The file\n\n%s\n\nheld nothing but what a creation that was cut off leaves (%s); it has been "
                 "opened as a new file.\n",
                 shown, io_remnant_text(record.m_remnant));
}

// What the open of the primary file left out is told to the user: a look-up now finds nothing,
// or an older copy, where the index says there is a data set.
void tellLeftOut(DefFile *file, const char *function) {
  IO_file &record = file->m_fileInfo->m_primary;
  file->m_untold = 0;
  // A reader's output is the user's file as far as the user knows.
  const char *kind = file->m_madeFrom ? "mesh read from" : file->m_database ? "ZYR database" : "file";
  const char *shown = file->m_madeFrom ? file->m_madeFrom : file->m_primaryFile;
  if (record.m_damagedfrom > 0) {
    struct stat facts;
    if (record.m_name == nullptr || stat(record.m_name, &facts) != 0 || facts.st_size < record.m_damagedfrom)
      facts.st_size = record.m_damagedfrom;
    zyrError_raise(ZYR_W_INVALID_DATA_IGNORED, function, kSource, __LINE__,
                   "The %s\n\n%s\n\nis damaged or incomplete from byte %lld on; the %lld bytes stored there have "
                   "been left out, and the latest changes may be lost.\n",
                   kind, shown, static_cast<long long>(record.m_damagedfrom),
                   static_cast<long long>(facts.st_size - record.m_damagedfrom));
  }
  if (record.m_skippedbytes <= 0)
    return;
  // The first is named when its entry is known: by what its frame holds where the frame is whole
  // (an entry that names another data set is named too), else by its entry; and an older copy or
  // version of it that a look-up now finds in its place is said to be read there.
  std::string first;
  IO_match entry;
  if (record.m_skippedentry > 0 &&
      parseindex(nullptr, indextable_entry(record.m_indextable, record.m_skippedentry - 1), &entry) == IO_OK) {
    const bool framed = record.m_skippedframed != 0;
    const std::string what = framed ? record.m_skippedwhat : entry.m_what;
    const std::string where = framed ? record.m_skippedwhere : entry.m_where;
    const int32_t when = framed ? record.m_skippedwhen : entry.m_when;
    const bool older = locate_older_live(&record, what.c_str(), where.c_str(), when, entry.m_position) == 1;
    const bool renamed = what != entry.m_what || where != entry.m_where || when != entry.m_when;
    const auto name = [&](const std::string &w, const std::string &k, int32_t n) {
      return file->m_database ? "the version of \"" + w + "\" of the object " + k + " for state " + std::to_string(n)
                              : "the data set " + w + ":" + k + ":" + std::to_string(n);
    };
    first = " (the first: " + name(what, where, when);
    if (older)
      first += file->m_database ? ", of which an older version is read instead"
                                : ", of which an older copy is read instead";
    if (renamed)
      first += "; its index entry names " + name(entry.m_what, entry.m_where, entry.m_when);
    first += ")";
  }
  const int32_t count = record.m_skippedcount;
  zyrError_raise(ZYR_W_INVALID_DATA_IGNORED, function, kSource, __LINE__,
                 "The %s\n\n%s\n\nholds data sets whose names are damaged or that do not stand as its index says, "
                 "from byte %lld on%s; %d data set%s of %lld bytes in all %s been left out.\n",
                 kind, shown, static_cast<long long>(record.m_skippedfrom), first.c_str(), count,
                 count == 1 ? "" : "s", static_cast<long long>(record.m_skippedbytes), count == 1 ? "has" : "have");
}

// The file a name leads to, under a name that no later change of the working directory moves: a
// handle works on the file its open found (its lock file, its compactions and their renames with
// it) wherever the process goes afterwards.
// A directory that the process may enter but not reach from the root (an ancestor it may not
// search) keeps the name as it was given.
char *lastingName(const char *name) {
  char *path = zyrCString_clone(name);
  if (path == nullptr || path[0] == '/') return path;
  char *absolute = zyrGetAbsoluteFileName(path);
  struct stat given, reached;
  const std::string directory = directoryPart(path);
  if (absolute == nullptr || stat(directory.empty() ? "." : directory.c_str(), &given) != 0 ||
      stat(directoryPart(absolute).c_str(), &reached) != 0 || !zyrFileUse_isSame(given, reached)) {
    zyrCString_free(absolute);
    return path;
  }
  zyrCString_free(path);
  return absolute;
}

int openAs(DefFile *file, const char *function, const char *fileName, int report, bool primary,
           bool reading = false) {
  uint32_t bit = primary ? DEFFILE_PRIMARY_OPEN : DEFFILE_SECONDARY_OPEN;
  if (file->m_openFiles & bit) {
    if (primary)
      Dataset_closePrimaryFile(file->m_dataset);
    else
      Dataset_closeSecondaryFile(file->m_dataset);
    // Closing the primary file closes the secondary with it.
    file->m_openFiles &= primary ? 0u : ~bit;
  }
  // Whatever name leads to it, a file is opened, locked, copied and replaced as itself: through a
  // symbolic link its lock file and the copies put in its place lie beside the file, and the link
  // stays a link. The handle keeps the file's own name.
  // The primary file is reached through the directory its open found, held until the handle lets
  // go of the file: a later change of the working directory, or a rename of the directory, moves
  // nothing of it, and nothing at the directory's old name is touched. Messages name the file as it
  // was given.
  // A temporary of this process is opened under the very name it is held by, which its data-set
  // open looks up (zyrHeldTemporary_open): under any other spelling that open would go by the name,
  // to whatever stands there by now, or make a file there.
  const bool temporary = fileName != nullptr && zyrHeldTemporary_check(fileName) != 0;
  char *shown = temporary ? zyrCString_clone(fileName) : zyrResolveLinks(fileName);
  int held = -1;
  const std::string reached =
      primary && shown != nullptr && !temporary ? zyrDirectoryHandle_hold(shown, &held) : "";
  char *path = temporary         ? zyrCString_clone(shown)
               : reached.empty() ? lastingName(shown)
                                 : zyrCString_clone(reached.c_str());
  int result = reading   ? Dataset_openPrimaryFileForReading(file->m_dataset, path)
               : primary ? Dataset_openPrimaryFile(file->m_dataset, path)
                         : Dataset_openSecondaryFile(file->m_dataset, path);
  if (result == 1 && primary) {
    // What this open did, not what a look before it saw: the file may have come or gone between.
    // Only the directory's sync at the first commit hangs on it, which nothing but a crash before
    // the directory reached the disc could show: no test sees it, and it stays all the same.
    file->m_created = file->m_fileInfo->m_primary.m_created;
    tellTakeOver(file, function, shown);
    if (!reading) {
      tellMadeAnew(file, function, shown);
      tellLockFileMissing(file, function, shown);
    }
  }
  char **stored = primary ? &file->m_primaryFile : &file->m_secondaryFile;
  if (result == 1) {
    zyrCString_free(*stored);
    *stored = path;
    // A name through a directory already held (this handle's own, or its original's for a copy
    // beside it) keeps that hold.
    if (held >= 0) {
      zyrDirectoryHandle_release(file->m_heldDirectory);
      file->m_heldDirectory = held;
    }
    zyrCString_free(shown);
    file->m_openFiles |= bit;
    if (primary && !file->m_untold)
      tellLeftOut(file, function);
    return 1;
  }
  // A failed open of the primary file releases the secondary with it.
  file->m_openFiles &= primary ? 0u : ~bit;
  if (report) {
    // A file that could be opened but not written (its information block, on a full disc), or not
    // made for want of its lock file: the library's words say why.
    const int status = file->m_dataset->m_lastStatus;
    char *ioText = status == IO_WRITE_ERR || status == IO_OPEN_ERR ? Dataset_getLastError(file->m_dataset) : nullptr;
    const IO_file &record = primary ? file->m_fileInfo->m_primary : file->m_fileInfo->m_secondary;
    publishOpenFailure(function, result, fileName ? fileName : "", shown ? shown : "", primary, ioText, reading,
                       record);
    zyrCString_free(ioText);
  }
  zyrCString_free(shown);
  zyrCString_free(path);
  zyrDirectoryHandle_release(held);
  return 0;
}

// Stores the index and the size of a file this process wrote and puts it on disc; 1 or 0.
int finishRecord(IO_file *record) { return iif_flush(record) == IO_OK && iif_sync(record) == IO_OK ? 1 : 0; }

// The stem of the temporary copies a compaction makes beside the file (zyrLeftovers.h).
const char *const kCompactionStem = "compact";

// A terminated copy of n characters.
std::string charsText(const char *chars, int32_t n) {
  return chars && n > 0 ? std::string(chars, strnlen(chars, static_cast<size_t>(n))) : std::string();
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Life, files and errors.

namespace {

// A handle on the named file, opened as primary file for writing where it can be, or for reading
// only; NULL, with the error published, for a blank name or a failed open.
DefFile *openHandle(const char *function, const char *fileName, bool reading, int database, bool untold = false,
                    const char *madeFrom = nullptr) {
  if (zyrCString_isBlank(fileName)) {
    zyrError_raise(ZYR_U_INVALID_INPUT, function, kSource, __LINE__, "The supplied file name is blank.\n");
    return nullptr;
  }
  DefFile *file = static_cast<DefFile *>(zyrMemory_allocateAndSet(sizeof(DefFile), 0, function));
  file->m_heldDirectory = -1;
  file->m_fileInfo = iostate_alloc();
  if (!file->m_fileInfo) {
    DefFile_delete(file);
    return nullptr;
  }
  file->m_dataset = Dataset_new(file->m_fileInfo);
  file->m_database = database ? 1 : 0;
  file->m_untold = untold ? 1 : 0;
  file->m_madeFrom = madeFrom ? zyrCString_clone(madeFrom) : nullptr;
  const int opened =
      reading ? openAs(file, function, fileName, 1, true, true) : DefFile_openAsPrimaryFile(file, fileName, 1);
  if (!opened) {
    DefFile_delete(file);
    return nullptr;
  }
  return file;
}

} // namespace

DefFile *DefFile_new(const char *fileName, int database) {
  DefFile *file = openHandle(__func__, fileName, false, database);
  // What compactions and lock-file updates of ended processes left in the file's directory goes.
  if (file)
    zyrRemoveLeftovers(directoryPart(file->m_primaryFile).c_str(), __func__);
  return file;
}

DefFile *DefFile_openForReading(const char *fileName, int database) {
  // A reader changes nothing in the directory either: leftovers wait for the next writer.
  return openHandle(__func__, fileName, true, database);
}

DefFile *DefFile_openToLook(const char *fileName, int database) {
  return openHandle(__func__, fileName, true, database, true);
}

void DefFile_tellLeftOut(DefFile *file) {
  if (file && file->m_untold && (file->m_openFiles & DEFFILE_PRIMARY_OPEN))
    tellLeftOut(file, __func__);
}

DefFile *DefFile_openReaderOutput(const char *fileName, const char *source) {
  return openHandle(__func__, fileName, true, 0, false, source);
}

void DefFile_delete(DefFile *file) {
  if (!file) return;
  if (file->m_dataset) DefFile_closeFiles(file);
  zyrDirectoryHandle_release(file->m_heldDirectory);
  iostate_free(file->m_fileInfo);
  Dataset_delete(file->m_dataset);
  zyrCString_free(file->m_primaryFile);
  zyrCString_free(file->m_secondaryFile);
  zyrCString_free(file->m_what);
  zyrCString_free(file->m_where);
  zyrCString_free(file->m_description);
  zyrCString_free(file->m_function);
  zyrCString_free(file->m_io_error);
  zyrCString_free(file->m_madeFrom);
  zyrMemory_free(file, __func__);
}

int DefFile_openAsPrimaryFile(DefFile *file, const char *fileName, int report) {
  return openAs(file, __func__, fileName, report, true);
}

int DefFile_openAsSecondaryFile(DefFile *file, const char *fileName, int report) {
  return openAs(file, __func__, fileName, report, false);
}

int DefFile_closePrimaryFile(DefFile *file) {
  if (Dataset_closePrimaryFile(file->m_dataset)) {
    // The library closes the secondary file with the primary.
    file->m_openFiles = 0;
    return 1;
  }
  DefFile_setError(file, __func__, nullptr, nullptr, 0, ZYR_U_UNABLE_TO_CLOSE_DATABASE,
                   "Unable to close the WEZ data file as the primary file\nfor the IO library.");
  return 0;
}

int DefFile_closeSecondaryFile(DefFile *file) {
  if (Dataset_closeSecondaryFile(file->m_dataset)) {
    file->m_openFiles &= ~static_cast<uint32_t>(DEFFILE_SECONDARY_OPEN);
    return 1;
  }
  DefFile_setError(file, __func__, nullptr, nullptr, 0, ZYR_U_UNABLE_TO_CLOSE_DATABASE,
                   "Unable to close the WEZ data file as the secondary file\nfor the IO library.");
  return 0;
}

int DefFile_removeMade(DefFile *file) {
  if (!file || !(file->m_openFiles & DEFFILE_PRIMARY_OPEN) || !file->m_fileInfo->m_primary.m_created)
    return 0;
  if (file->m_openFiles & DEFFILE_SECONDARY_OPEN)
    DefFile_closeSecondaryFile(file);
  if (iif_remove_made(&file->m_fileInfo->m_primary) != 1)
    return 0;
  DefFile_closePrimaryFile(file);
  return 1;
}

void DefFile_abandon(DefFile *file) {
  if (!file || DefFile_removeMade(file))
    return;
  iif_leave_unchanged(&file->m_fileInfo->m_primary);
  iif_leave_unchanged(&file->m_fileInfo->m_secondary);
  DefFile_closeFiles(file);
}

int DefFile_isNew(const DefFile *file) {
  if (!file || !(file->m_openFiles & DEFFILE_PRIMARY_OPEN)) return 0;
  const IO_file &record = file->m_fileInfo->m_primary;
  return record.m_created || record.m_remnant != IO_REMNANT_NONE ? 1 : 0;
}

int DefFile_isCutOffCreation(const char *fileName) { return io_remnant_of(fileName) != IO_REMNANT_NONE ? 1 : 0; }

int DefFile_isHeldCutOffCreation(const DefFile *file) {
  if (!file || !(file->m_openFiles & DEFFILE_PRIMARY_OPEN)) return 0;
  return io_remnant_kind(file->m_fileInfo->m_primary.m_stream) != IO_REMNANT_NONE ? 1 : 0;
}

int DefFile_tellMaker(const char *fileName, const char *function) {
  char *path = zyrResolveLinks(fileName);
  const bool told = path != nullptr && publishHolder(function, "file name", fileName, path, "is making it");
  zyrCString_free(path);
  return told ? 1 : 0;
}

int DefFile_closeFiles(DefFile *file) {
  int primary = DefFile_closePrimaryFile(file);
  int secondary = DefFile_closeSecondaryFile(file);
  return primary && secondary;
}

namespace {

// A file whose name leads elsewhere by now (renamed while open, where the open could not hold its
// directory) gets no copy beside it: the copy would be made, and put, where another file may
// stand. False, with the error stored, for such a file.
bool stillNamed(DefFile *file, const char *function, const char *work) {
  const char *call = nullptr;
  const int named = iif_named(&file->m_fileInfo->m_primary, &call);
  if (named == 1)
    return true;
  // Where the file has no name left (removed), the system says why; a look that failed, or found
  // nothing under the name of a file that still has one, tells nothing of where the name leads.
  const int error = named < 0 ? errno : 0;
  const bool unseen = error != 0 && call != nullptr;
  const std::string description =
      std::string("Unable to ") + work + " the WEZ data file: " +
      (unseen ? std::string("a look at it failed (") + call + ": " + strerror(error) + ")."
              : std::string("its name no longer leads to it") +
                    (error != 0 ? std::string(" (") + strerror(error) + ")." : "."));
  DefFile_setError(file, function, nullptr, nullptr, 0, ZYR_U_UNABLE_TO_COMPACT_DATABASE, description.c_str());
  return false;
}

} // namespace

DefFile *DefFile_clone(DefFile *file, const char *newName) {
  if (!newName || zyrIsFile(newName)) return nullptr;
  // The copy is made whole beside the file the name leads to (a link stays a link), held, and takes
  // the name by a rename that never replaces: a file that came there meanwhile stays as it is, and
  // only the copy goes.
  zyrPlacement place;
  const bool begun = zyrPlacement_begin(&place, newName, 4) == 1;
  if (begun && place.m_exists) return nullptr;
  // A failed copy has said so itself.
  if (begun && !DefFile_copyTo(file, place.m_temporary.m_name.c_str())) return nullptr;
  if (!begun || zyrPlacement_commit(&place) != 1) {
    // A name taken meanwhile is the caller's likely mistake; anything else is told as it is.
    const std::string description =
        place.m_refusal == ZYR_PLACEMENT_REPLACED
            ? std::string("Unable to copy the WEZ data file; does the requested file already exist?")
            : "Unable to copy the WEZ data file: " + zyrPlacement_reason(&place) + ".";
    DefFile_setError(file, __func__, nullptr, nullptr, 0, ZYR_U_UNABLE_TO_COPY_DATABASE, description.c_str());
    return nullptr;
  }
  return DefFile_new(place.m_target.c_str(), file->m_database);
}

int DefFile_copyTo(DefFile *file, const char *path) {
  // Only into a copy this process made and holds: any other file under the name is not the copy's
  // to fill, nor to remove after a failure.
  int lookError = 0;
  const char *lookCall = nullptr;
  const bool held = zyrHeldTemporary_check(path, &lookError, &lookCall) == 1;
  int ok = held ? DefFile_openAsSecondaryFile(file, path, 1) : 0;
  if (ok) ok = Dataset_copyAll(file->m_dataset, 0);
  // The copy is whole, its index with it, and on disc before it counts as made: its close could
  // fail only quietly.
  // The directory goes on disc once the copy takes its name (zyrPlacement_commit).
  if (ok) ok = finishRecord(&file->m_fileInfo->m_secondary);
  if (file->m_openFiles & DEFFILE_SECONDARY_OPEN) ok = DefFile_closeSecondaryFile(file) && ok;
  // A copy this process made and holds was there to be filled: its failure has a reason of its
  // own, which the library's words give. A look at the copy that failed tells nothing of what is
  // under its name.
  if (!ok) {
    const std::string description =
        held ? std::string("Unable to copy the WEZ data file.")
        : lookError != 0
            ? std::string("Unable to copy the WEZ data file: a look at the copy failed (") + lookCall + ": " +
                  strerror(lookError) + ")."
            : std::string("Unable to copy the WEZ data file; does the requested file already exist?");
    DefFile_setError(file, __func__, nullptr, nullptr, 0, ZYR_U_UNABLE_TO_COPY_DATABASE, description.c_str());
  }
  return ok;
}

int DefFile_moveFile(DefFile *file, const char *newName) {
  // Moved by its name, once closed: only while that name still leads to the file this handle holds.
  if ((file->m_openFiles & DEFFILE_PRIMARY_OPEN) && !stillNamed(file, __func__, "move"))
    return 0;
  DefFile_closePrimaryFile(file);
  // The file itself moves (the primary name is its own); a new name that is a link leads it to
  // the link's target, and stays a link.
  char *path = zyrResolveLinks(newName);
  int moved = path && zyrMoveFile(file->m_primaryFile, path);
  DefFile_openAsPrimaryFile(file, moved ? path : file->m_primaryFile, 1);
  zyrCString_free(path);
  return moved;
}

namespace {

// A copy that failed half way is closed before it goes, with its lock file.
void dropCopy(DefFile *file, zyrHeldTemporary *copy) {
  if ((file->m_openFiles & DEFFILE_SECONDARY_OPEN) && file->m_secondaryFile && copy->m_name == file->m_secondaryFile)
    DefFile_closeSecondaryFile(file);
  zyrHeldTemporary_end(copy);
}

// Copies every valid data set of the file (every positive when made 1 with compressWhen) into a new
// file beside it, named for this process and held by `copy` from its making (zyrHeldTemporary.h),
// which stays open as the secondary file. 0 when the copy could not be made; nothing of it is then
// left.
int copyBeside(DefFile *file, int compressWhen, zyrHeldTemporary *copy) {
  const std::string beside = directoryPart(file->m_primaryFile) + kCompactionStem;
  if (!zyrHeldTemporary_make(copy, beside.c_str(), ".tmp", 4))
    return 0;
  if (DefFile_openAsSecondaryFile(file, copy->m_name.c_str(), 0) && Dataset_copyAll(file->m_dataset, compressWhen))
    return 1;
  dropCopy(file, copy);
  return 0;
}

} // namespace

int DefFile_compact(DefFile *file, int compressWhen) {
  // Only the file's one writer may put another file in its place; the copy is made while this
  // process holds the file, and swapped in before it lets go.
  if (!DefFile_claimWrite(file) || !stillNamed(file, __func__, "compact"))
    return 0;
  // Swapped in, the copy is no longer under its name, and the file stays locked by the hold it
  // shares: letting go of the copy's own hold removes nothing.
  zyrHeldTemporary copy;
  int result = 0;
  if (copyBeside(file, compressWhen, &copy)) {
    if (Dataset_swapInSecondaryFile(file->m_dataset)) {
      file->m_openFiles &= ~static_cast<uint32_t>(DEFFILE_SECONDARY_OPEN);
      result = 1;
    } else {
      dropCopy(file, &copy);
    }
  }
  if (result) {
    file->m_isModified = 1;
  } else {
    DefFile_setError(file, __func__, nullptr, nullptr, 0, ZYR_U_UNABLE_TO_COMPACT_DATABASE,
                     "Unable to compact the WEZ data file.");
  }
  return result;
}

int DefFile_copyValid(DefFile *file, int compressWhen, zyrHeldTemporary *copy) {
  if (!stillNamed(file, __func__, "copy"))
    return 0;
  if (!copyBeside(file, compressWhen, copy) || !DefFile_closeSecondaryFile(file)) {
    zyrHeldTemporary_end(copy);
    DefFile_setError(file, __func__, nullptr, nullptr, 0, ZYR_U_UNABLE_TO_COMPACT_DATABASE,
                     "Unable to copy the WEZ data file.");
    return 0;
  }
  return 1;
}

int DefFile_replaceWith(DefFile *file, const char *replacement) {
  if (!DefFile_claimWrite(file))
    return 0;
  if (DefFile_openAsSecondaryFile(file, replacement, 1)) {
    if (Dataset_claimFile(file->m_dataset, 1) && Dataset_swapInSecondaryFile(file->m_dataset)) {
      file->m_openFiles &= ~static_cast<uint32_t>(DEFFILE_SECONDARY_OPEN);
      return 1;
    }
    DefFile_closeSecondaryFile(file);
  }
  DefFile_setError(file, __func__, nullptr, nullptr, 0, ZYR_U_UNABLE_TO_OVERWRITE_DATABASE,
                   "Unable to put the new WEZ data file in place of the old one.");
  return 0;
}

int DefFile_claimWrite(DefFile *file) {
  if (!(file->m_openFiles & DEFFILE_PRIMARY_OPEN)) {
    DefFile_setError(file, __func__, nullptr, nullptr, 0, ZYR_U_UNABLE_TO_WRITE_DATASET,
                     "The WEZ data file is not open.");
    return 0;
  }
  if (DefFile_isReadOnly(file)) {
    const std::string description =
        "The WEZ data file is not writable: it has been opened for reading only." + readOnlyReason(file);
    DefFile_setError(file, __func__, nullptr, nullptr, 0, ZYR_U_UNABLE_TO_WRITE_DATASET, description.c_str());
    return 0;
  }
  if (Dataset_claimFile(file->m_dataset, 0)) {
    tellTakeOver(file, __func__, file->m_primaryFile);
    return 1;
  }
  // Another process, a lock file that cannot be written (a full disc), or a look that failed: the
  // caller must tell which.
  const char *call = nullptr;
  int reason = 0;
  const char *failed = iif_failure(&file->m_fileInfo->m_primary, &call, &reason);
  if (file->m_dataset->m_lastStatus == IO_LOCK_ERR) {
    DefFile_setError(file, __func__, nullptr, nullptr, 0, ZYR_U_DATABASE_IS_LOCKED,
                     "The WEZ data file is in use by another process.");
  } else if (failed != nullptr && call != nullptr) {
    const std::string description = std::string("Unable to claim the WEZ data file for writing: ") + failed +
                                    " failed (" + call + ": " + strerror(reason) + ").";
    DefFile_setError(file, __func__, nullptr, nullptr, 0, ZYR_U_UNABLE_TO_WRITE_DATASET, description.c_str());
  } else {
    DefFile_setError(file, __func__, nullptr, nullptr, 0, ZYR_U_UNABLE_TO_WRITE_DATASET,
                     "Unable to claim the WEZ data file for writing: its lock file cannot be written.");
  }
  return 0;
}

int DefFile_isFile(const DefFile *file, const char *name) {
  return file && (file->m_openFiles & DEFFILE_PRIMARY_OPEN) ? iif_is_file(&file->m_fileInfo->m_primary, name) : 0;
}

int DefFile_openHeld(const DefFile *file) {
  if (!file || !(file->m_openFiles & DEFFILE_PRIMARY_OPEN)) {
    errno = EBADF;
    return -1;
  }
  return iif_open_held(&file->m_fileInfo->m_primary);
}

int DefFile_isWriter(const DefFile *file) {
  const IO_file &primary = file->m_fileInfo->m_primary;
  return (file->m_openFiles & DEFFILE_PRIMARY_OPEN) && primary.m_lockfile == IO_LOCKFILE_WRITER ? 1 : 0;
}

int DefFile_isReadOnly(const DefFile *file) {
  return (file->m_openFiles & DEFFILE_PRIMARY_OPEN) && file->m_fileInfo->m_primary.m_access == 'r' ? 1 : 0;
}

int DefFile_cannotBeChanged(const DefFile *file) {
  return (file->m_openFiles & DEFFILE_PRIMARY_OPEN) && lacksLockFile(file) ? 1 : 0;
}

int DefFile_copyDatasets(DefFile *destination, DefFile *source, const Dictionary *uuidMap, int32_t newWhen,
                         int32_t noOfWheres, const char *const *wheres, const int32_t *bounds,
                         const char *const *whats, const int32_t *whens) {
  if (!(destination->m_openFiles & DEFFILE_PRIMARY_OPEN) || !(source->m_openFiles & DEFFILE_PRIMARY_OPEN)) {
    DefFile_setError(destination, __func__, nullptr, nullptr, 0, ZYR_U_UNABLE_TO_COPY_DATABASE,
                     "Unable to copy the requested data set(s): a file is not open.");
    return 0;
  }
  bool hadSecondary = (source->m_openFiles & DEFFILE_SECONDARY_OPEN) != 0;
  char *sourceSecondary = hadSecondary ? zyrCString_clone(source->m_secondaryFile) : nullptr;
  if (hadSecondary) DefFile_closeSecondaryFile(source);

  // The destination's file is lent to the source as its secondary file, open and held as it is:
  // closing it and opening it again would let another process in between.
  IO_state *from = source->m_fileInfo;
  IO_state *to = destination->m_fileInfo;
  from->m_secondary = to->m_primary;
  iif_clear_record(&to->m_primary);
  to->m_current = nullptr;
  from->m_current = &from->m_secondary;
  int result = 1;
  for (int32_t i = 0; result && i < noOfWheres; ++i) {
    const char *newWhere =
        uuidMap ? static_cast<const char *>(Dictionary_find(uuidMap, wheres[i])) : wheres[i];
    if (!newWhere) {
      DefFile_setError(source, __func__, nullptr, wheres[i], 0, ZYR_U_UNABLE_TO_COPY_DATABASE,
                       "Unable to copy the requested data set(s): the new key is not known.");
      result = 0;
      break;
    }
    for (int32_t j = bounds[i]; j < bounds[i + 1]; ++j) {
      if (!Dataset_copyDataset(source->m_dataset, uuidMap, whats[j], wheres[i], whens[j], whats[j], newWhere,
                               newWhen)) {
        DefFile_setError(source, __func__, whats[j], wheres[i], whens[j], ZYR_U_UNABLE_TO_COPY_DATABASE,
                         "Unable to copy the requested data set(s).");
        result = 0;
        break;
      }
    }
  }
  to->m_primary = from->m_secondary;
  iif_clear_record(&from->m_secondary);
  to->m_current = &to->m_primary;
  from->m_current = &from->m_primary;
  if (hadSecondary && !DefFile_openAsSecondaryFile(source, sourceSecondary, 1)) result = 0;
  if (result)
    destination->m_isModified = 1;
  else if (source->m_errorCode != 0 && destination->m_errorCode == 0)
    DefFile_setError(destination, __func__, source->m_what, source->m_where, source->m_when,
                     source->m_errorCode, source->m_description);
  zyrCString_free(sourceSecondary);
  return result;
}

void DefFile_setError(DefFile *file, const char *function, const char *what, const char *where, int32_t when,
                      int32_t code, const char *description) {
  // The arguments may be this handle's own stored texts: copy them before freeing.
  char *newWhat = what ? zyrCString_clone(what) : nullptr;
  char *newWhere = what && where ? zyrCString_clone(where) : nullptr;
  // Stored as the user is to see it: a file reached through its held directory by its given name.
  char *newDescription = description ? zyrCString_clone(zyrDirectoryHandle_shown(description).c_str()) : nullptr;
  char *newFunction = function ? zyrCString_clone(function) : nullptr;
  zyrCString_free(file->m_what);
  zyrCString_free(file->m_where);
  zyrCString_free(file->m_description);
  zyrCString_free(file->m_function);
  zyrCString_free(file->m_io_error);
  file->m_what = newWhat;
  file->m_where = newWhere;
  file->m_when = what ? when : 0;
  file->m_description = newDescription;
  file->m_function = newFunction;
  file->m_io_error = Dataset_getLastError(file->m_dataset);
  if (file->m_io_error != nullptr) {
    char *shown = zyrCString_clone(zyrDirectoryHandle_shown(file->m_io_error).c_str());
    zyrCString_free(file->m_io_error);
    file->m_io_error = shown;
  }
  // Each stored error carries the library's messages since the previous one, not all of them.
  Dataset_clearLastError(file->m_dataset);
  file->m_errorCode = code;
}

zyrError *DefFile_reportError(DefFile *file, const char *function) {
  if (!file || file->m_errorCode == 0) return nullptr;
  zyrError *error = zyrError_new(file->m_errorCode, function, kSource, __LINE__);
  zyrError_addMessage(error, "A problem was encountered with a WEZ data file.\n");
  zyrError_addMessage(error, "\n%s\n", file->m_description ? file->m_description : "");
  zyrError_addMessage(error, "\nRoutine = %s\n", file->m_function ? file->m_function : "");
  if (file->m_what)
    zyrError_addMessage(error, "\nWhat  = %s\nWhere = %s\nWhen  = %d\n\n", file->m_what,
                        file->m_where ? file->m_where : "", file->m_when);
  if (file->m_primaryFile)
    zyrError_addMessage(error, "Primary file   = %s %s", file->m_primaryFile,
                        (file->m_openFiles & DEFFILE_PRIMARY_OPEN) ? "[open]\n" : "[closed]\n");
  if (file->m_secondaryFile)
    zyrError_addMessage(error, "Secondary file = %s %s", file->m_secondaryFile,
                        (file->m_openFiles & DEFFILE_SECONDARY_OPEN) ? "[open]\n" : "[closed]\n");
  if (file->m_io_error) zyrError_addMessage(error, "  IO library reported:\n\n%s\n", file->m_io_error);
  zyrError_publish(error);
  return error;
}

int DefFile_isModified(const DefFile *file) { return file->m_isModified; }

char *DefFile_shownName(const DefFile *file) {
  return file != nullptr && file->m_primaryFile != nullptr
             ? zyrCString_clone(zyrDirectoryHandle_shown(file->m_primaryFile).c_str())
             : nullptr;
}

int DefFile_sync(DefFile *file) {
  if (!file || !(file->m_openFiles & DEFFILE_PRIMARY_OPEN)) return 1;
  if (iif_sync(&file->m_fileInfo->m_primary) != IO_OK) {
    DefFile_setError(file, __func__, nullptr, nullptr, 0, ZYR_U_UNABLE_TO_WRITE_DATASET,
                     "Unable to put the WEZ data file on disc.");
    return 0;
  }
  if (file->m_created) {
    zyrSyncDirectory(directoryPart(file->m_primaryFile).c_str());
    file->m_created = 0;
  }
  return 1;
}

int DefFile_finish(DefFile *file) {
  if (!file || !(file->m_openFiles & DEFFILE_PRIMARY_OPEN)) return 1;
  if (iif_flush(&file->m_fileInfo->m_primary) != IO_OK) {
    DefFile_setError(file, __func__, nullptr, nullptr, 0, ZYR_U_UNABLE_TO_WRITE_DATASET,
                     "Unable to store the index of the WEZ data file. The data sets already in it are "
                     "unchanged: its next open finds them again.");
    return 0;
  }
  return DefFile_sync(file);
}

int32_t DefFile_takeFailedWrites(DefFile *file) {
  if (!file) return 0;
  const int32_t failed = file->m_failedWrites;
  file->m_failedWrites = 0;
  return failed;
}

void DefFile_print(const DefFile *file, FILE *stream) {
  fputs(kRule, stream);
  fprintf(stream, "DefFile: %p\n", static_cast<const void *>(file));
  if (file->m_primaryFile)
    fprintf(stream, "Primary file   = %s %s", zyrDirectoryHandle_shown(file->m_primaryFile).c_str(),
            (file->m_openFiles & DEFFILE_PRIMARY_OPEN) ? "[open]\n" : "[closed]\n");
  if (file->m_secondaryFile)
    fprintf(stream, "Secondary file = %s %s", zyrDirectoryHandle_shown(file->m_secondaryFile).c_str(),
            (file->m_openFiles & DEFFILE_SECONDARY_OPEN) ? "[open]\n" : "[closed]\n");
  fprintf(stream, "m_fileInfo   = %p\n", static_cast<const void *>(file->m_fileInfo));
  fprintf(stream, "m_dataset    = %p\n", static_cast<const void *>(file->m_dataset));
  fprintf(stream, "m_isModified = %d\n", file->m_isModified);
  if (file->m_errorCode != 0) {
    fputs("\nError\n-----\n", stream);
    fprintf(stream, "m_errorCode  = %d\n\n", file->m_errorCode);
    if (file->m_what) {
      fprintf(stream, "m_what  = %s\n", file->m_what);
      fprintf(stream, "m_where = %s\n", file->m_where ? file->m_where : "");
      fprintf(stream, "m_when  = %d\n", file->m_when);
    }
    if (file->m_function) fprintf(stream, "m_function = %s\n", file->m_function);
    if (file->m_description) fprintf(stream, "m_description = \n%s\n", file->m_description);
    if (file->m_io_error) fprintf(stream, "m_io_error = \n%s\n", file->m_io_error);
  }
  fputs(kRule, stream);
}

// ---------------------------------------------------------------------------------------------
// Typed family.

int DefFile_readInt(DefFile *file, const char *what, const char *where, int32_t when, int32_t *value) {
  return readScalar<int32_t>(file, __func__, Dataset_readInts, what, where, when, value,
                             "scalar integer data set.");
}
int DefFile_readInts(DefFile *file, const char *what, const char *where, int32_t when, int32_t **array,
                     int32_t *count) {
  return readAllocated<int32_t>(file, __func__, Dataset_readInts, what, where, when, array, count,
                                "int array data set.");
}
int DefFile_readIntArray(DefFile *file, const char *what, const char *where, int32_t when, int32_t *array,
                         int32_t *count) {
  return readInto<int32_t>(file, __func__, Dataset_readInts, what, where, when, array, count,
                           "int array data set.");
}
int DefFile_writeInt(DefFile *file, const char *what, const char *where, int32_t when, int32_t value) {
  return writeNumeric<int32_t>(file, __func__, Dataset_writeInts, what, where, when, &value, 1, 0,
                               "scalar integer data set.");
}
int DefFile_writeIntArray(DefFile *file, const char *what, const char *where, int32_t when,
                          const int32_t *data, int32_t n, int32_t noOfStructures) {
  return writeNumeric<int32_t>(file, __func__, Dataset_writeInts, what, where, when, data, n, noOfStructures,
                               "int array data set.");
}

int DefFile_readFloat(DefFile *file, const char *what, const char *where, int32_t when, float *value) {
  return readScalar<float>(file, __func__, Dataset_readFloats, what, where, when, value,
                           "scalar float data set.");
}
int DefFile_readFloats(DefFile *file, const char *what, const char *where, int32_t when, float **array,
                       int32_t *count) {
  return readAllocated<float>(file, __func__, Dataset_readFloats, what, where, when, array, count,
                              "float array data set.");
}
int DefFile_readFloatArray(DefFile *file, const char *what, const char *where, int32_t when, float *array,
                           int32_t *count) {
  return readInto<float>(file, __func__, Dataset_readFloats, what, where, when, array, count,
                         "float array data set.");
}
int DefFile_writeFloat(DefFile *file, const char *what, const char *where, int32_t when, float value) {
  return writeNumeric<float>(file, __func__, Dataset_writeFloats, what, where, when, &value, 1, 0,
                             "scalar float data set.");
}
int DefFile_writeFloatArray(DefFile *file, const char *what, const char *where, int32_t when,
                            const float *data, int32_t n, int32_t noOfStructures) {
  return writeNumeric<float>(file, __func__, Dataset_writeFloats, what, where, when, data, n, noOfStructures,
                             "float array data set.");
}

int DefFile_readDouble(DefFile *file, const char *what, const char *where, int32_t when, double *value) {
  return readScalar<double>(file, __func__, Dataset_readDoubles, what, where, when, value,
                            "scalar double data set.");
}
int DefFile_readDoubles(DefFile *file, const char *what, const char *where, int32_t when, double **array,
                        int32_t *count) {
  return readAllocated<double>(file, __func__, Dataset_readDoubles, what, where, when, array, count,
                               "double array data set.");
}
int DefFile_readDoubleArray(DefFile *file, const char *what, const char *where, int32_t when, double *array,
                            int32_t *count) {
  return readInto<double>(file, __func__, Dataset_readDoubles, what, where, when, array, count,
                          "double array data set.");
}
int DefFile_writeDouble(DefFile *file, const char *what, const char *where, int32_t when, double value) {
  return writeNumeric<double>(file, __func__, Dataset_writeDoubles, what, where, when, &value, 1, 0,
                              "scalar double data set.");
}
int DefFile_writeDoubleArray(DefFile *file, const char *what, const char *where, int32_t when,
                             const double *data, int32_t n, int32_t noOfStructures) {
  return writeNumeric<double>(file, __func__, Dataset_writeDoubles, what, where, when, data, n,
                              noOfStructures, "double array data set.");
}

int DefFile_readChar(DefFile *file, const char *what, const char *where, int32_t when, char *value) {
  return readScalar<char>(file, __func__, Dataset_readChars, what, where, when, value,
                          "scalar char data set.");
}
int DefFile_readChars(DefFile *file, const char *what, const char *where, int32_t when, char **array,
                      int32_t *count) {
  return readAllocated<char>(file, __func__, Dataset_readChars, what, where, when, array, count,
                             "char array data set.");
}
int DefFile_readCharArray(DefFile *file, const char *what, const char *where, int32_t when, char *array,
                          int32_t *count) {
  return readInto<char>(file, __func__, Dataset_readChars, what, where, when, array, count,
                        "char array data set.");
}
int DefFile_writeChar(DefFile *file, const char *what, const char *where, int32_t when, char value) {
  return writeNumeric<char>(file, __func__, Dataset_writeChars, what, where, when, &value, 1, 0,
                            "scalar char data set.");
}
int DefFile_writeCharArray(DefFile *file, const char *what, const char *where, int32_t when, const char *data,
                           int32_t n) {
  return writeNumeric<char>(file, __func__, Dataset_writeChars, what, where, when, data, n, 0,
                            "char array data set.");
}

int DefFile_readIoString(DefFile *file, const char *what, const char *where, int32_t when, char **value) {
  return readScalarObject<char *>(file, __func__, Dataset_readIoStrings, what, where, when, value,
                                  "scalar IO string data set.", releaseString);
}
int DefFile_readIoStrings(DefFile *file, const char *what, const char *where, int32_t when, char ***array,
                          int32_t *count) {
  return readAllocated<char *>(file, __func__, Dataset_readIoStrings, what, where, when, array, count,
                               "IO string array data set.");
}
int DefFile_readIoStringArray(DefFile *file, const char *what, const char *where, int32_t when, char **array,
                              int32_t *count) {
  return readInto<char *>(file, __func__, Dataset_readIoStrings, what, where, when, array, count,
                          "IO string array data set.");
}
int DefFile_writeIoString(DefFile *file, const char *what, const char *where, int32_t when,
                          const char *value) {
  return writeList<const char *>(file, __func__, Dataset_writeIoStrings, what, where, when, &value, 1,
                                 "scalar IO string data set.");
}
int DefFile_writeIoStringArray(DefFile *file, const char *what, const char *where, int32_t when,
                               const char *const *data, int32_t n) {
  return writeList<const char *>(file, __func__, Dataset_writeIoStrings, what, where, when, data, n,
                                 "IO string array data set.");
}

int DefFile_readString(DefFile *file, const char *what, const char *where, int32_t when, char **value) {
  return readScalarObject<char *>(file, __func__, Dataset_readStrings, what, where, when, value,
                                  "scalar string data set.", releaseString);
}
int DefFile_readStrings(DefFile *file, const char *what, const char *where, int32_t when, char ***array,
                        int32_t *count) {
  return readAllocated<char *>(file, __func__, Dataset_readStrings, what, where, when, array, count,
                               "string array data set.");
}
int DefFile_readStringArray(DefFile *file, const char *what, const char *where, int32_t when, char **array,
                            int32_t *count) {
  return readInto<char *>(file, __func__, Dataset_readStrings, what, where, when, array, count,
                          "string array data set.");
}
int DefFile_writeString(DefFile *file, const char *what, const char *where, int32_t when, const char *value) {
  return writeList<const char *>(file, __func__, Dataset_writeStrings, what, where, when, &value, 1,
                                 "scalar string data set.");
}
int DefFile_writeStringArray(DefFile *file, const char *what, const char *where, int32_t when,
                             const char *const *data, int32_t n) {
  return writeList<const char *>(file, __func__, Dataset_writeStrings, what, where, when, data, n,
                                 "string array data set.");
}

int DefFile_readUUID(DefFile *file, const char *what, const char *where, int32_t when, zyrUUID **value) {
  return readScalarObject<zyrUUID *>(file, __func__, Dataset_readUUIDs, what, where, when, value,
                                     "scalar UUID data set.", releaseUUID);
}
int DefFile_readUUIDs(DefFile *file, const char *what, const char *where, int32_t when, zyrUUID ***array,
                      int32_t *count) {
  return readAllocated<zyrUUID *>(file, __func__, Dataset_readUUIDs, what, where, when, array, count,
                                  "UUID array data set.");
}
int DefFile_readUUIDArray(DefFile *file, const char *what, const char *where, int32_t when, zyrUUID **array,
                          int32_t *count) {
  if (!count || *count < 1) return 0;
  return readInto<zyrUUID *>(file, __func__, Dataset_readUUIDs, what, where, when, array, count,
                             "UUID array data set.");
}
int DefFile_writeUUID(DefFile *file, const char *what, const char *where, int32_t when,
                      const zyrUUID *value) {
  return writeList<const zyrUUID *>(file, __func__, Dataset_writeUUIDs, what, where, when, &value, 1,
                                    "scalar UUID data set.");
}
int DefFile_writeUUIDArray(DefFile *file, const char *what, const char *where, int32_t when,
                           const zyrUUID *const *data, int32_t n) {
  return writeList<const zyrUUID *>(file, __func__, Dataset_writeUUIDs, what, where, when, data, n,
                                    "UUID array data set.");
}

int DefFile_readCharsAsString(DefFile *file, const char *what, const char *where, int32_t when, char **text) {
  *text = nullptr;
  char *chars = nullptr;
  int32_t count = 0;
  if (!DefFile_readChars(file, what, where, when, &chars, &count)) return 0;
  *text = static_cast<char *>(zyrMemory_allocateAndSet(static_cast<int64_t>(count) + 1, 0, __func__));
  if (count > 0) memcpy(*text, chars, static_cast<size_t>(count));
  zyrMemory_free(chars, __func__);
  return 1;
}

int DefFile_writeStringAsChars(DefFile *file, const char *what, const char *where, int32_t when,
                               const char *text) {
  int32_t n = text ? static_cast<int32_t>(std::min<size_t>(strlen(text), INT32_MAX)) : 0;
  return DefFile_writeCharArray(file, what, where, when, text, n);
}

// ---------------------------------------------------------------------------------------------
// Other operations on data sets.

int DefFile_exists(DefFile *file, const char *what, const char *where, int32_t when) {
  return Dataset_exists(file->m_dataset, what, where, when);
}

int DefFile_erase(DefFile *file, const char *what, const char *where, int32_t when) {
  if (Dataset_erase(file->m_dataset, what, where, when)) {
    file->m_isModified = 1;
    return 1;
  }
  DefFile_setError(file, __func__, what, where, when, ZYR_U_UNABLE_TO_DELETE_DATASET,
                   "Unable to erase the requested data set(s).");
  return 0;
}

int DefFile_match(DefFile *file, const char *what, const char *where, int32_t when, int countOnly,
                  int32_t *count, char ***whats, char ***wheres, int32_t **whens) {
  ZYR_TRACE_BEGIN_DESC("Find all data sets in a WEZ data file that match a given set of filters.");
  *count = Dataset_match(file->m_dataset, what, where, when, countOnly, whats, wheres, whens);
  if (ZYR_TRACE_DEBUG(1) && !countOnly && whats && *whats) {
    zyrTrace_printf("What  = \"%s\"\n", what);
    zyrTrace_printf("Where = \"%s\"\n", where);
    zyrTrace_printf("When  = %d\n", when);
    zyrTrace_printf(" No of matches = %d\n", *count);
    zyrTrace_printf("\nWhat                                       Where                                      "
                    "      When\n");
    for (int32_t i = 0; i < *count; ++i)
      zyrTrace_printf("\"%-40s\" \"%-40s\" %10d\n", (*whats)[i], (*wheres)[i], (*whens)[i]);
  }
  return 1;
}

int DefFile_readDescription(DefFile *file, const char *what, const char *where, int32_t when, int full,
                            int32_t *count, char ***texts) {
  if (Dataset_readDescription(file->m_dataset, what, where, when, full, count, texts)) return 1;
  DefFile_setError(file, __func__, what, where, when, ZYR_U_UNABLE_TO_READ_DATASET,
                   "Unable to create a description of the requested data set.");
  return 0;
}

int DefFile_readAttributes(DefFile *file, const char *what, const char *where, int32_t when, int32_t *count,
                           char ***names, char ***values) {
  if (Dataset_readAttributes(file->m_dataset, what, where, when, count, names, values)) return 1;
  DefFile_setError(file, __func__, what, where, when, ZYR_U_UNABLE_TO_READ_DATASET,
                   "Unable to read the attributes of a data set.");
  return 0;
}

int DefFile_readSignature(DefFile *file, const char *what, const char *where, int32_t when, int32_t *ints,
                          int32_t *floats, int32_t *doubles, int32_t *chars, int32_t *ioStrings,
                          int32_t *strings, int32_t *uuids) {
  return Dataset_readSignature(file->m_dataset, what, where, when, ints, floats, doubles, chars, ioStrings,
                               strings, uuids);
}

int DefFile_isLeftOut(DefFile *file, const char *what, const char *where, int32_t when) {
  if (!file || !file->m_fileInfo || file->m_fileInfo->m_primary.m_skippedcount == 0)
    return 0;
  return locate_only_dead(&file->m_fileInfo->m_primary, what, where, when);
}

int DefFile_readFailure(const DefFile *file) { return iif_read_failure(&file->m_fileInfo->m_primary); }

int DefFile_getDataType(DefFile *file, const char *what, const char *where, int32_t when, char **type) {
  return Dataset_getDataType(file->m_dataset, what, where, when, type);
}

int DefFile_addAttribute(DefFile *file, const char *name, const char *value) {
  return Dataset_addAttribute(file->m_dataset, name, value);
}

void DefFile_clearAttributes(DefFile *file) { Dataset_clearAttributes(file->m_dataset); }

int DefFile_getVersion(DefFile *file, int32_t *major, int32_t *minor, int32_t *point) {
  *major = *minor = *point = 0;
  const char *environment = getenv("ZYR_DEFFILE_VERSION");
  if (environment) {
    int a = 0, b = 0, c = 0;
    int n = sscanf(environment, "%d.%d.%d", &a, &b, &c);
    if (n >= 2) {
      *major = a;
      *minor = b;
      *point = n == 3 ? c : 0;
      return 1;
    }
    zyrError_raise(ZYR_W_INVALID_INPUT_IGNORED, __func__, kSource, __LINE__,
                   "The value of the environment variable ZYR_DEFFILE_VERSION is invalid\nand has been "
                   "ignored.\n\nIt should consist of the major, minor and point release numbers\nseparated by "
                   "full stops, e.g. \"major.minor.point\". The point\nrelease number is optional and "
                   "defaults to zero if it is omitted.\n");
  }
  Dataset *dataset = file->m_dataset;
  char *chars = nullptr;
  int32_t count = -1;
  if (Dataset_readChars(dataset, "G/CRELNO", "EVERY", 0, &count, &chars)) {
    std::string release = charsText(chars, count);
    zyrMemory_free(chars, __func__);
    if (count <= 0) {
      char *slots[1] = {nullptr};
      char **array = slots;
      int32_t n = 1;
      if (!Dataset_readIoStrings(dataset, "G/CRELNO", "EVERY", 0, &n, &array) || n != 1) {
        char *description = zyrCString_build(
            "Unable to determine a version number for the WEZ data file:\n\n%s\n\n", file->m_primaryFile);
        DefFile_setError(file, __func__, "G/CRELNO", "EVERY", 0, ZYR_I_INTERNAL_ERROR, description);
        zyrCString_free(description);
        return 0;
      }
      release = slots[0];
      zyrCString_free(slots[0]);
    }
    size_t open = release.find('(');
    if (open != std::string::npos) {
      size_t end = release.find_last_of("0123456789", open == 0 ? std::string::npos : open - 1);
      release = open == 0 || end == std::string::npos ? std::string() : release.substr(0, end + 1);
    }
    int32_t *parts[3] = {major, minor, point};
    size_t at = 0;
    for (int i = 0; i < 3 && at <= release.size(); ++i) {
      size_t stop = release.find('.', at);
      std::string piece = release.substr(at, stop == std::string::npos ? std::string::npos : stop - at);
      int value = 0;
      if (sscanf(piece.c_str(), "%d", &value) == 1) *parts[i] = value;
      if (stop == std::string::npos) break;
      at = stop + 1;
    }
    return 1;
  }
  int32_t zones = 0;
  int32_t *array = &zones;
  int32_t n = 1;
  if (Dataset_readInts(dataset, "G/NZN", "EVERY", 0, &n, &array) && n == 1 && zones >= 2) {
    *major = 5;
    *minor = 5;
    *point = 0;
    return 1;
  }
  return 0;
}

int DefFile_summarise(DefFile *file, FILE *stream) {
  int32_t count = 0;
  char **whats = nullptr, **wheres = nullptr;
  int32_t *whens = nullptr;
  DefFile_match(file, "*", "*", -1, 0, &count, &whats, &wheres, &whens);
  size_t whatWidth = strlen("What"), whereWidth = strlen("Where");
  for (int32_t i = 0; i < count; ++i) {
    whatWidth = std::max(whatWidth, strlen(whats[i]));
    whereWidth = std::max(whereWidth, strlen(wheres[i]));
  }
  ++whatWidth;
  ++whereWidth;
  fputs(kRule, stream);
  fprintf(stream, "%s\n", zyrDirectoryHandle_shown(file->m_primaryFile).c_str());
  fputs(kRule, stream);
  fprintf(stream, "\n%-*s%-*s      When Type      Value\n", static_cast<int>(whatWidth), "What",
          static_cast<int>(whereWidth), "Where");
  for (int32_t i = 0; i < count; ++i) {
    fprintf(stream, "%-*s%-*s", static_cast<int>(whatWidth), whats[i], static_cast<int>(whereWidth),
            wheres[i]);
    fprintf(stream, "%10d ", whens[i]);
    int32_t c[7] = {};
    DefFile_readSignature(file, whats[i], wheres[i], whens[i], &c[0], &c[1], &c[2], &c[3], &c[4], &c[5],
                          &c[6]);
    const char *labels[7] = {"I=%d ", "F=%d ", "D=%d ", "C=%d ", "O=%d ", "S=%d ", "U=%d "};
    int32_t total = 0;
    for (int k = 0; k < 7; ++k) {
      total += c[k];
      if (c[k] != 0) fprintf(stream, labels[k], c[k]);
    }
    if (total == 1) {
      int32_t n = 1;
      if (c[0] == 1) {
        int32_t value = 0, *p = &value;
        if (Dataset_readInts(file->m_dataset, whats[i], wheres[i], whens[i], &n, &p))
          fprintf(stream, "      %d", value);
      } else if (c[1] == 1 || c[2] == 1) {
        double value = 0, *p = &value;
        if (Dataset_readDoubles(file->m_dataset, whats[i], wheres[i], whens[i], &n, &p))
          fprintf(stream, "      %le", value);
      }
    }
    fputc('\n', stream);
  }
  fputs("\nKey:\n----\n  I = Integers\n  F = Reals\n  D = Doubles\n  C = Chars\n  O = IO Strings\n  S = "
        "Strings\n  U = "
        "UUIDS\n",
        stream);
  zyrCStringArray_free(whats, static_cast<uint64_t>(count));
  zyrCStringArray_free(wheres, static_cast<uint64_t>(count));
  zyrMemory_free(whens, __func__);
  return 1;
}
