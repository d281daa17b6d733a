// The lifecycle of the one database a ZYRAPI object works on: opening, copying, removing,
// checkpoints, the working directory, restoring and removing backups, absolute names, model dumps
// and string strategies.
#include "ZYRAPI.h"

#include "OperationTimer.h"
#include "QIVMessage.h"
#include "ZYRAPIBoundary.h"
#include "ZYRSelection.h"
#include "zyrCString.h"
#include "zyrError.h"
#include "zyrFileUse.h"
#include "zyrPause.h"
#include "zyrPlacement.h"
#include "zyrSystem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "zyrAPI.h"

namespace qiv {

namespace {

namespace boundary = zyrapi::boundary;

const char *const kClassText = "ZYRAPI";

bool hasSuffix(const std::string &text, const char *suffix) {
  const size_t n = std::strlen(suffix);
  return text.size() >= n && text.compare(text.size() - n, n, suffix) == 0;
}

// The file a database name stands for: the name itself when it already carries a database or
// definition suffix, else the name with ".zyr".
std::string databaseFileOf(const std::string &name) {
  for (const char *suffix : {".zyr", ".zyr.bak", ".wez", ".wez.bak"})
    if (hasSuffix(name, suffix))
      return name;
  return name + ".zyr";
}

// Whether something is under the name: 1, 0, or -1 when that cannot be told, which is then
// published for the method (zyrPublishCannotTell), for the caller to throw.
int lookAt(const std::string &path, const char *method) {
  const int found = zyrLookForFile(path.c_str());
  if (found < 0)
    zyrPublishCannotTell(ZYR_U_INVALID_INPUT, path.c_str(), method);
  return found;
}

// Whether the name leads to the file of the open database of the handle (-1: none), asked of the
// file the database holds: a name it was opened by may lead to another file by now (its directory
// renamed), and the file it holds may have another name.
bool isOpenDatabaseFile(int hDatabase, const std::string &name) {
  return hDatabase != -1 && zyrDatabase_isFile(hDatabase, name.c_str()) == 1;
}

// Closes the database of the handles (its selections end with it) and clears them.
void closeDatabase(int &hDatabase, int &hModel, int &checkpoint, int32_t purgeHistory) {
  ZYRSelection::releaseSelectionsOf(hModel);
  zyrDatabase_close(hDatabase, purgeHistory);
  hDatabase = -1;
  hModel = -1;
  checkpoint = 0;
}

[[noreturn]] void fail(const std::string &method, const std::string &message) {
  throw zyrapi::zyr(kClassText, method, message, qiv::errorTypeError);
}

// Whether something is under the name; a look that cannot tell refuses the method, with why.
bool exists(const std::string &path, const char *method) {
  const int found = lookAt(path, method);
  if (found < 0)
    boundary::throwQueued<zyrapi::zyr>(kClassText, method);
  return found > 0;
}

// The file a name leads to: through a symbolic link, the link's target.
std::string resolvedFileOf(const std::string &name) {
  boundary::CoreString resolved;
  *resolved.out() = zyrResolveLinks(name.c_str());
  return resolved.get() != nullptr ? resolved.str() : name;
}

// The file a debug dump is written into, as openDumpFile leaves it.
struct DumpFile {
  enum { kNone = 0, kCannotTell, kInUse };
  int m_refusal = kNone;
  int m_fd = -1;          // the regular file, emptied and held for the dump
  bool m_special = false; // no regular file (a device, a pipe): opened by name, outside the lock
};

// Opens the file of the dump under the directory lock. It is truncated only once it is known to be
// no file in use, asked through the very open that will write it: the regular file that the look
// saw, opened without truncating it and compared with the look, or a new file made where the look
// saw none. An open that contradicts its look (nothing there after a file was seen, a file there
// after none was) cannot tell what stands there: refused as a look that failed, errno its reason.
// A failure of the open itself (permissions) leaves nothing to write, as a file that cannot be
// opened.
DumpFile openDumpFile(const std::string &target, zyrFileUse *use) {
  DumpFile dump;
  struct stat seen;
  const int found = zyrLookForFile(target.c_str(), &seen);
  if (found < 0) {
    dump.m_refusal = DumpFile::kCannotTell;
    return dump;
  }
  if (found > 0 && !S_ISREG(seen.st_mode)) {
    dump.m_special = true;
    return dump;
  }
  // A new file is nobody's but this open's; its name may still be the lock file of a file in use.
  if (found == 0 && zyrFileUse_checkName(target.c_str(), use)) {
    dump.m_refusal = DumpFile::kInUse;
    return dump;
  }
  const int fd = found > 0 ? zyrFileUse_openLookedAt(AT_FDCWD, target.c_str(), seen, O_WRONLY, true, nullptr)
                           : open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
  if (fd < 0) {
    if (found > 0 ? errno == ENOENT || errno == ENOTDIR || errno == ESTALE : errno == EEXIST) {
      dump.m_refusal = DumpFile::kCannotTell;
      // A file found after a look saw none: that look's answer was its reason.
      if (found == 0)
        errno = ENOENT;
    }
    return dump;
  }
  if (found > 0 && zyrFileUse_checkOpen(fd, target.c_str(), use)) {
    close(fd);
    dump.m_refusal = DumpFile::kInUse;
    return dump;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  if (ftruncate(fd, 0) != 0) {
    close(fd);
    return dump;
  }
  dump.m_fd = fd;
  return dump;
}

// A file that a removal keeps because it is in use.
struct Kept {
  std::string m_name;
  zyrFileUse m_use;
  bool m_open = false; // the object's open database, told even where the file system has no real locks
  int m_error = 0;     // the errno value of its removal, which failed
};

// Whether one of the files, or its lock file, is in use (or is the open database): the first such
// in *kept. The caller holds the directory's lock from this look to its removal, and lets it go
// before the refusal is told: naming the holder may search every process's descriptors.
bool findKept(const std::vector<std::string> &names, int hDatabase, Kept *kept) {
  for (const std::string &name : names) {
    for (const std::string &file : {name, name + ".lck"}) {
      if (!zyrFileUse_check(file.c_str(), &kept->m_use, nullptr))
        continue;
      kept->m_name = file;
      // The look at the lock file's name tries the lock of the file itself (through a symbolic
      // link, of the file it leads to): what it found is told as that file's own use, lock tried or
      // not, rather than of a lock file that may not be there.
      zyrFileUse &use = kept->m_use;
      if (use.m_kind == ZYR_USE_LOCK_FILE && use.m_file == name) {
        use.m_kind = use.m_error != 0 ? ZYR_USE_UNKNOWN : ZYR_USE_HELD;
        kept->m_name = name;
      }
      return true;
    }
    if (isOpenDatabaseFile(hDatabase, name)) {
      kept->m_name = name;
      kept->m_open = true;
      return true;
    }
  }
  return false;
}

// Why the file is kept, as a sentence without its full stop.
std::string keptReason(const Kept &kept) {
  if (kept.m_error != 0)
    return std::strerror(kept.m_error);
  return kept.m_open ? "It is a database open in this session" : zyrFileUse_reason(&kept.m_use);
}

// Publishes the refusal with the words and code of every refused removal (zyrRefuseInUse).
void publishKept(const Kept &kept, const char *function) {
  zyrPublishNotRemoved(kept.m_name.c_str(), keptReason(kept).c_str(), function);
}

// Removes the file with the lock file that a holder which ended left beside it (findKept found
// neither in use), the lock file first: true, or false with the one whose removal failed, and why,
// in *failed (a file that is not there, or no regular file, is nothing to remove). The file stays
// with its lock file when that fails.
bool removeFile(const std::string &name, Kept *failed) {
  for (const std::string &file : {name + ".lck", name}) {
    errno = 0;
    if (zyrRemoveFile(file.c_str()) != 1 && errno != 0 && errno != ENOENT && errno != ENOTDIR) {
      failed->m_name = file;
      failed->m_error = errno;
      return false;
    }
  }
  return true;
}

// Removes the files with the lock files that holders which ended left beside them.
void removeFiles(const std::vector<std::string> &names) {
  Kept failed;
  for (const std::string &name : names)
    removeFile(name, &failed);
}

// Removes, under the directory's lock, each of the files that is not in use (nor the open
// database) with the lock file that a holder which ended left beside it; those in use stay, and so
// do those whose removal failed, and are answered, each with why it stays (told once the lock has
// gone).
std::vector<Kept> removeEachUnkept(const std::vector<std::string> &names, int hDatabase) {
  std::vector<Kept> kept;
  {
    const zyrDirectoryGuard guard(names.front().c_str());
    for (const std::string &name : names) {
      Kept one;
      if (findKept({name}, hDatabase, &one) || !removeFile(name, &one))
        kept.push_back(one);
    }
  }
  return kept;
}

// Runs `remove` under the directory's lock unless one of the files (or its lock file) is in use,
// or is the open database; else, once the lock has gone, tells why under the function's name and
// throws for the method.
template <class Remove>
void removeUnlessKept(const std::vector<std::string> &names, int hDatabase, const Remove &remove,
                      const char *function, const char *method) {
  Kept kept;
  {
    const zyrDirectoryGuard guard(names.front().c_str());
    if (!findKept(names, hDatabase, &kept)) {
      remove();
      return;
    }
  }
  publishKept(kept, function);
  boundary::throwQueued<zyrapi::zyr>(kClassText, method);
}

// Why a backup cannot be read back ("" when it can); *kept: for what stands under its name rather
// than for a failure of the system. Looked at by name first and opened only when that look saw a
// regular file: a pipe opened for reading would connect a writer waiting on it. What the open
// reached must be the file the look saw.
std::string unreadableReason(const std::string &backup, bool *kept) {
  *kept = false;
  struct stat seen;
  if (::stat(backup.c_str(), &seen) != 0)
    return std::strerror(errno);
  *kept = !S_ISREG(seen.st_mode);
  if (*kept)
    return S_ISDIR(seen.st_mode) ? std::strerror(EISDIR) : "It is not a regular file";
  const int fd = zyrFileUse_openLooked(backup.c_str(), seen, true, nullptr);
  if (fd >= 0) {
    ::close(fd);
    return std::string();
  }
  *kept = errno == ESTALE;
  return *kept ? "Another file has taken its name meanwhile" : std::strerror(errno);
}

// The backup could not be copied beside the file it restores: "Unable to copy the file <backup>.",
// then why, thrown as the copy's failure. `kept`: refused for what the backup is, rather than for
// a failure of the system.
[[noreturn]] void throwNotCopied(const std::string &backup, const std::string &reason, bool kept) {
  ZYR_ERROR_FOR(kept ? ZYR_U_INVALID_INPUT : ZYR_U_UNABLE_TO_COPY_DATABASE, "restoreBakFiles",
                "Unable to copy the file %s.\n%s.\n", backup.c_str(), reason.c_str());
  boundary::throwQueued<zyrapi::zyr>(kClassText, "zyrCopyFile");
}

// One file of a restore: its backup, and the placement through which the backup's copy takes the
// file's place.
struct Restoration {
  std::string m_backup;
  std::string m_target;
  zyrPlacement m_place;
};

// Tells why a step of a restore failed, and throws. `placing`: the placement refused the target's
// name, told as every file that is not replaced when what stands there is kept (no regular file, in
// use, another that took the name); else (a failure of the system, or of the copy itself) the
// backup was not copied. `done`: what the restore changed all the same, a further sentence.
[[noreturn]] void throwNotRestored(const Restoration &step, bool placing, const std::string &done = std::string()) {
  std::string reason = zyrPlacement_reason(&step.m_place);
  if (!done.empty())
    reason += ".\n" + done;
  const bool kept = zyrPlacement_isKept(&step.m_place) != 0;
  if (!placing || !kept)
    throwNotCopied(step.m_backup, reason, kept);
  zyrPublishNotReplaced(step.m_target.c_str(), reason.c_str(), "restoreBakFiles");
  boundary::throwQueued<zyrapi::zyr>(kClassText, "restoreBakFiles");
}

// Both files have been restored, but backups in use, or whose removal failed, stay: a warning says
// so, each kept file (a backup, or its lock file) with why, in the words of every refused removal.
void warnBackupsKept(const std::string &zyr, const std::string &wez, const std::vector<Kept> &kept) {
  zyrError *warning = zyrError_new(ZYR_W_INVALID_RESULT_IGNORED, "restoreBakFiles", __FILE__, __LINE__);
  zyrError_addMessage(warning, "%s and %s have been restored from their backups, but ", zyr.c_str(), wez.c_str());
  for (size_t i = 0; i < kept.size(); ++i) {
    const std::string &name = kept[i].m_name;
    const std::string backup = hasSuffix(name, ".lck") ? name.substr(0, name.size() - 4) : name;
    zyrError_addMessage(warning, "%s%s", i == 0 ? "" : " and ", backup.c_str());
  }
  zyrError_addMessage(warning, " %s kept.\n", kept.size() == 1 ? "is" : "are");
  for (const Kept &one : kept)
    zyrError_addMessage(warning, "Unable to remove the file %s.\n%s.\n", one.m_name.c_str(), keptReason(one).c_str());
  zyrError_publish(warning);
}

} // namespace

void ZYRAPI::openDB(const std::string &path, bool mustExist) {
  if (mustExist && !exists(path, "startSimulation"))
    fail("startSimulation", "Could not find " + path);
  const OperationTimer timer("ZYRAPI: open db");

  // One database at a time: the one open is closed, so that its lock does not outlive it.
  if (isDBOpen()) {
    closeDatabase(m_hDatabase, m_hModel, m_checkpoint, 0);
    boundary::settleWarnings(kClassText, "openDB", true);
  }

  if (zyrDatabase_open(path.c_str(), &m_hDatabase, &m_hModel) != 1)
    boundary::throwQueued<zyrapi::zyr>(kClassText, "openDB");
  // What the opening had to say (such as a stale lock taken over) is for the host too.
  boundary::settleWarnings(kClassText, "openDB", true);

  // An open that fails keeps nothing: a database left open would hold its place in the lock file
  // until this process ends, with no handle the host could close it by.
  const int set = zyrStrategy_setIntegerParameter(m_hModel, "NameManager_compositeCopyingStrategy", 2);
  if (set != 1)
    closeDatabase(m_hDatabase, m_hModel, m_checkpoint, -1);
  reportErrors(set, "openDB", true, false);
}

void ZYRAPI::copyZyr(const std::string &path, bool workOnCopy, bool purgeHistory) {
  const OperationTimer timer("ZYRAPI: copy zyr");
  const std::string target = databaseFileOf(path);
  if (isOpenDatabaseFile(m_hDatabase, target))
    fail("copyZYR", "Unable to copy the database onto itself: " + target);

  // Only a regular file is ever replaced: a device, a pipe, a socket or a directory stays. Through
  // a symbolic link it is the file the link leads to, and the link stays a link.
  const std::string resolved = resolvedFileOf(target);
  if (exists(resolved, "copyZYR") && zyrIsFile(resolved.c_str()) == 0)
    fail("copyZYR", "Unable to overwrite the existing file " + target + ": it is not a regular file");
  // The old file stays until the whole copy takes its place (nor is one that is in use replaced).
  const int status = zyrDatabase_copyOver(m_hDatabase, path.c_str(), boundary::flag(workOnCopy),
                                          boundary::flag(purgeHistory));
  if (status != 1)
    boundary::throwQueued<zyrapi::zyr>(kClassText, "copyZYR");
  boundary::settleWarnings(kClassText, "copyZYR", false);
}

void ZYRAPI::removeCurZyr(const std::string &path) {
  const OperationTimer timer("ZYRAPI: remove current ZYR");
  if (isDBOpen())
    closeDatabase(m_hDatabase, m_hModel, m_checkpoint, -1);
  // A database that another process holds, or this one under another handle, stays with its lock
  // file: removed, it would be lost to its holder, and its name free for a second writer. Looked
  // at and removed under the directory's lock, so that nobody opens it in between.
  removeUnlessKept(
      {path}, -1,
      [&] {
        deleteZyrFile(path + ".lck");
        deleteZyrFile(path);
      },
      "removeCurZyr", "deleteZyrFile");
}

void ZYRAPI::deleteZyrFile(const std::string &path) {
  if (!exists(path, "deleteZyrFile"))
    return;
  if (zyrRemoveFile(path.c_str()) <= 0)
    boundary::throwQueued<zyrapi::zyr>(kClassText, "deleteZyrFile");
  boundary::settleWarnings(kClassText, "deleteZyrFile", false);
}

int ZYRAPI::getCheckpoint() {
  if (!isDBOpen())
    return -1;
  int checkpoint = -1;
  boundary::settle<zyrapi::zyr>(zyrDatabase_saveCheckpoint(m_hDatabase, &checkpoint), kClassText,
                                "getZYRCheckpoint");
  m_checkpoint = checkpoint;
  return m_checkpoint;
}

void ZYRAPI::restoreCheckpoint(int checkpoint) {
  if (!isDBOpen())
    return;
  boundary::settle<zyrapi::zyr>(zyrDatabase_restoreCheckpoint(m_hDatabase, checkpoint), kClassText,
                                "restoreZYRCheckpoint");
  m_checkpoint = checkpoint;
}

void ZYRAPI::setWorkingDirectory(const std::string &directory) {
  std::string text = directory;
  if (!text.empty() && (text.back() == '/' || text.back() == '\\'))
    text.pop_back();
  if (text.empty())
    fail("setWorkingDirectory", qiv::_("Empty directory provided for ZYR working directory."));
  if (zyrApp_setWorkingDirectory(text.c_str()) == 0)
    boundary::throwQueued<zyrapi::zyr>(kClassText, "setWorkingDirectory");
  boundary::settleWarnings(kClassText, "setWorkingDirectory", false);
}

void ZYRAPI::restoreBakFiles(std::string &name) {
  if (name.size() < 9 || name[name.size() - 4] != '.')
    fail("restoreBakFiles", name + " is not a valid backup filename");
  const std::string base = name.substr(0, name.size() - 8);
  const std::string wez = base + ".wez";
  const std::string zyr = base + ".zyr";
  const std::vector<std::string> backups = {wez + ".bak", zyr + ".bak"};
  // Both backups must be there before either file is touched, and the open database is not
  // overwritten under the library's feet.
  for (const std::string &backup : backups)
    if (!exists(backup, "restoreBakFiles"))
      fail("restoreBakFiles", "Could not find " + backup);
  // Only a regular file that the caller may read is read back: a directory has no bytes to give,
  // a pipe would keep the restore waiting for a writer, and a file that cannot be read cannot be
  // copied (whose lock the in-use look below could not try either).
  for (const std::string &backup : backups) {
    bool kept = false;
    const std::string reason = unreadableReason(backup, &kept);
    if (!reason.empty())
      throwNotCopied(backup, reason, kept);
  }
  if (isOpenDatabaseFile(m_hDatabase, zyr))
    fail("restoreBakFiles", "Unable to restore " + zyr + " while it is the open database");
  // A backup is put back only in place of a regular file or where there is none: a copy onto a
  // device or a pipe would write into it, and the backups would then go. Through a symbolic link
  // it is the file the link leads to.
  for (const std::string &target : {wez, zyr}) {
    const std::string resolved = resolvedFileOf(target);
    if (exists(resolved, "restoreBakFiles") && zyrIsFile(resolved.c_str()) == 0) {
      zyrPublishNotReplaced(target.c_str(), "It is not a regular file", "restoreBakFiles");
      boundary::throwQueued<zyrapi::zyr>(kClassText, "restoreBakFiles");
    }
  }
  // Nor is a file that this process or another has open replaced: both are looked at before either
  // is touched (and each placement looks again as it begins and as it puts its file in place).
  for (const std::string &target : {wez, zyr})
    if (zyrRefuseInUse(target.c_str(), 0, "restoreBakFiles"))
      boundary::throwQueued<zyrapi::zyr>(kClassText, "restoreBakFiles");

  // A backup in use (a database opened under its name, here or elsewhere) is neither copied while
  // its holder may be writing it nor removed under its holder's feet: looked at before anything is
  // touched, and again, under the directory's lock, as the backups are removed.
  removeUnlessKept(backups, m_hDatabase, [] {}, "restoreBakFiles", "restoreBakFiles");

  // The two files change together: both copies are made whole and on disc beside their files, and
  // both names looked at again, before either is put in place. Any failure until then leaves all
  // four files as they were (the placements remove their copies on every way out); a restore that
  // ends between the two renames leaves each file whole, the database restored, and both backups.
  Restoration steps[2] = {{backups[1], zyr, {}}, {backups[0], wez, {}}};
  for (Restoration &step : steps)
    if (zyrPlacement_begin(&step.m_place, step.m_target.c_str(), 0) != 1)
      throwNotRestored(step, true);
  zyrPause_point("restore.looked");
  for (Restoration &step : steps)
    if (zyrCopyFileBeside(step.m_backup.c_str(), &step.m_place) != 1)
      throwNotRestored(step, false);
  for (Restoration &step : steps)
    if (zyrPlacement_check(&step.m_place) != 1)
      throwNotRestored(step, true);
  // Should the second rename fail all the same (its name changed in the moment since the look, or
  // the disc failed), the database stays restored with both backups, as after a kill there, and
  // the refusal says so: the file the first rename replaced is gone, so nothing can undo it.
  if (zyrPlacement_commit(&steps[0].m_place) != 1)
    throwNotRestored(steps[0], true);
  zyrPause_point("restore.between");
  if (zyrPlacement_commit(&steps[1].m_place) != 1)
    throwNotRestored(steps[1], true,
                     zyr + " has been restored from its backup, " + wez + " has not; both backups are kept");
  // Both files are restored: the restore is done, whatever becomes of the backups. One that a
  // process has opened since the first look stays under its holder, and the host hears why.
  name = wez;
  zyrPause_point("restore.placed");
  const std::vector<Kept> kept = removeEachUnkept(backups, m_hDatabase);
  if (!kept.empty())
    warnBackupsKept(zyr, wez, kept);
  boundary::settleWarnings(kClassText, "restoreBakFiles", true);
}

void ZYRAPI::removeBakFiles(const std::string &path) {
  // Only the backslash separates: the names are looked up in the current directory.
  const size_t separator = path.rfind('\\');
  const std::string base = separator == std::string::npos ? path : path.substr(separator + 1);
  // Neither backup goes while one is in use, as removeCurZyr keeps a database in use.
  const std::vector<std::string> backups = {base + ".zyr.bak", base + ".wez.bak"};
  removeUnlessKept(
      backups, m_hDatabase, [&] { removeFiles(backups); },
      "removeBakFiles", "removeBakFiles");
}

std::string ZYRAPI::getAbsolutePath(const std::string &path) const {
  boundary::CoreString absolute;
  *absolute.out() = zyrGetAbsoluteDirectoryName(path.c_str());
  return absolute.str();
}

std::string ZYRAPI::getAbsoluteFileName(const std::string &path) const {
  boundary::CoreString absolute;
  *absolute.out() = zyrGetAbsoluteFileName(path.c_str());
  return absolute.str();
}

void ZYRAPI::zyrDebugPrint(int level, const std::string &file) const {
  if (std::getenv("QIV_NO_DEBUG_OUT") != nullptr)
    return;
  if (file.empty()) {
    zyrModel_dump(m_hModel, level, stdout);
    std::fflush(stdout);
    return;
  }
  // The dump is written into the file itself, so that every name of it (a hard link) shows the
  // dump and a file the user may write in a directory they may not is written too. Only a file in
  // use, such as a database, is refused; through a symbolic link it is the file the link leads to.
  const std::string target = resolvedFileOf(file);
  zyrFileUse use;
  DumpFile dump;
  {
    // Looked at and opened under the directory's lock, so that nobody opens it as a database in
    // between; the dump's own lock then keeps openers off it while the dump is written.
    const zyrDirectoryGuard guard(target.c_str());
    dump = openDumpFile(target, &use);
  }
  if (dump.m_refusal == DumpFile::kCannotTell) {
    zyrPublishCannotTell(ZYR_U_INVALID_INPUT, target.c_str(), "zyrDebugPrint");
    boundary::throwQueued<zyrapi::zyr>(kClassText, "zyrDebugPrint");
  }
  if (dump.m_refusal == DumpFile::kInUse) {
    zyrPublishNotReplaced(file.c_str(), zyrFileUse_reason(&use).c_str(), "zyrDebugPrint");
    boundary::throwQueued<zyrapi::zyr>(kClassText, "zyrDebugPrint");
  }
  // A device or a pipe is written into; its open may wait for a reader, so not under the lock.
  FILE *stream = dump.m_fd >= 0 ? fdopen(dump.m_fd, "w") : dump.m_special ? std::fopen(target.c_str(), "we") : nullptr;
  if (stream == nullptr && dump.m_fd >= 0)
    close(dump.m_fd);
  // Any other failure is as a file that cannot be opened: nothing.
  if (stream != nullptr) {
    zyrModel_dump(m_hModel, level, stream);
    std::fclose(stream);
  }
}

void ZYRAPI::setStrategyString(const std::string &name, const std::string &value) {
  zyrStrategy_setStringParameter(m_hModel, name.c_str(), value.c_str());
}

std::string ZYRAPI::getStrategyString(const std::string &name, const std::string & /*unused*/) const {
  boundary::CoreString value;
  if (zyrStrategy_getStringParameter(m_hModel, name.c_str(), value.out()) == 0)
    return std::string();
  return value.str();
}

} // namespace qiv
