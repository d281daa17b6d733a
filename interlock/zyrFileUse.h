#ifndef ZYR_FILE_USE_H
#define ZYR_FILE_USE_H
// Files in use. A process that works on a data-set file (a database, a definition file it reads
// or writes) holds a real lock (flock) on it from its open to its close: shared by readers,
// exclusive for the writer, and its lock file ("<name>.lck") belongs to it for as long (a data-set
// file a process makes under a temporary name is held the same way). Nothing the library writes or
// removes destroys a file in use, nor its lock file: every whole-file writer (zyrPlacement.h) and every remover of such a
// file asks here first, and refuses what is in use, naming the holder where the system shows it.
//
// Processes open, replace and remove data-set files, and update their lock files, one at a time in
// a directory: each holds the directory's lock (zyrFileUse_lockDirectory) from its look at a name
// to its change of it. An opener holds it from its count in the lock file to its real lock, so
// that under it a file is either held by its opener already or not yet opened by it, and whoever
// decides under it that a file is not in use can change the name before anybody opens it.
#include <cerrno>
#include <string>
#include <sys/stat.h>

// Whether two statuses are of one file: the same device and inode. Every look that a name still
// leads to a file held open (or to the file a look saw) asks this.
inline bool zyrFileUse_isSame(const struct stat &a, const struct stat &b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Whether a look by name at the file of the status (had through a descriptor) that failed with
// `error` tells that the file is gone: nothing under the name, and the file has no name left
// (removed). Nothing under the name of a file that still has one, as any other failure, is a look
// that cannot tell.
inline bool zyrFileUse_isGone(int error, const struct stat &file) {
  return (error == ENOENT || error == ENOTDIR) && file.st_nlink == 0;
}

// Whether the name in the directory open as `directory` (AT_FDCWD: the working directory) leads to
// the file of the status, a link under the name not followed: 1 it does, 0 it leads to another
// file, -1 with errno when the look fails (ENOENT: nothing is under the name).
int zyrFileUse_leadsTo(int directory, const char *name, const struct stat &expected);

// Keeps the other processes that take it from working on the names of the directory holding
// `name` until the matching zyrFileUse_unlockDirectory. Calls nest within a thread (only the
// first locks, whatever directory the later ones name). Without permission to read the directory
// nothing is held: 1 when the lock is held (by this call or the one it nests in), else 0.
int zyrFileUse_lockDirectory(const char *name);
// The same for the directory open as `directory` (a descriptor, O_PATH will do), wherever it has
// gone meanwhile.
int zyrFileUse_lockDirectoryAt(int directory);
void zyrFileUse_unlockDirectory();

// The directory lock for as long as the guard lives.
struct zyrDirectoryGuard {
  explicit zyrDirectoryGuard(const char *name) : m_held(zyrFileUse_lockDirectory(name) != 0) {}
  // The directory held as `directory`, else (-1) that of the name.
  zyrDirectoryGuard(int directory, const char *name)
      : m_held((directory >= 0 ? zyrFileUse_lockDirectoryAt(directory) : zyrFileUse_lockDirectory(name)) != 0) {}
  ~zyrDirectoryGuard() { zyrFileUse_unlockDirectory(); }
  zyrDirectoryGuard(const zyrDirectoryGuard &) = delete;
  zyrDirectoryGuard &operator=(const zyrDirectoryGuard &) = delete;
  // Whether other processes are kept out: a directory this process may not read is not locked.
  bool held() const { return m_held; }

private:
  bool m_held;
};

// The processes found holding a real lock on a file: only ever to name them in a message. Whether a
// file is in use is decided by trying its lock (zyrFileUse_check), never by these lists, which do
// not show every holder (other pid namespaces, file systems whose devices they number apart).
struct zyrHolders {
  bool m_here = false;    // this process
  long m_other = 0;       // the smallest id of the others, where the system shows it
  bool m_several = false; // more than one other
  bool m_unseen = false;  // held by a process whose id the system does not show
  int m_error = 0;        // why the system's list of locks could not be read (0: it could)
  bool any() const { return m_here || m_other != 0 || m_unseen; }
};

// The live processes that the system shows holding a real lock on the file of the status (its
// device and inode), for writing only when `writer`; read without opening the file. Each process's
// descriptors are looked at where this process may (a lock shared by the children a holder started
// counts once, as the holder's while it runs); where none shows a holder, the system's list of
// locks is read instead. A process that took a lock and has ended, while a child of it keeps the
// descriptor, is not named. Slow where many processes run: for messages only.
zyrHolders zyrFileUse_holders(const struct stat &status, bool writer);

// How many times this process has searched the system's lists of other processes' descriptors or
// locks (/proc) so far. Only a message naming a holder searches them, never a decision: tests
// hold every open to that.
long zyrFileUse_searches();

// How a file is in use.
enum zyrUseKind {
  ZYR_USE_NONE = 0,      // not in use: it may be replaced or removed
  ZYR_USE_HELD = 1,      // a live process holds it
  ZYR_USE_LOCK_FILE = 2, // it is the lock file of a file in use (m_file)
  ZYR_USE_UNKNOWN = 3    // its lock cannot be tried, or its name not even looked at (m_error says why): it
                         // counts as in use
};

struct zyrFileUse {
  int m_kind = ZYR_USE_NONE;
  int m_error = 0;        // why the lock could not be tried: ZYR_USE_UNKNOWN, the file's; ZYR_USE_LOCK_FILE, the
                          // data file's (0: it was tried and is held)
  bool m_unseen = false;  // ZYR_USE_UNKNOWN: the look at the name itself failed (m_error), so nothing was tried
  std::string m_file;     // ZYR_USE_LOCK_FILE: the data file
  bool m_known = false;   // m_status holds the file whose holders a message names
  struct stat m_status{}; // that file (the data file of a lock file)
};

// Whether the file under the name (the name itself, not where a symbolic link leads) is in use,
// decided under its directory's lock by trying the file's own real lock: a file this process
// cannot open to try it (another user's file) counts as in use. `hold` (may be NULL): when the
// file is a regular file not in use, *hold receives a descriptor that holds it under an exclusive
// real lock, so that no process opens it until the descriptor is closed; else -1. 1 when it is in
// use (or cannot be told: a look at the name that fails for another reason than that nothing is
// there counts as in use), else 0. Whether nothing is there is the open's answer, not the look's:
// a file that an open finds after a look found none is tried as any other. Nothing here looks at
// other processes: it is quick.
int zyrFileUse_check(const char *name, zyrFileUse *use, int *hold);

// Whether the file open as `fd` under the name is in use, tried through that very descriptor, so
// that no look at the name decides: its real lock is taken through it (and kept there when the
// file is not in use, so that nobody opens it until the descriptor is closed), then the name is
// asked whether it is the lock file of a file in use (zyrFileUse_checkName). 1 when in use, else 0.
int zyrFileUse_checkOpen(int fd, const char *name, zyrFileUse *use);

// The part of zyrFileUse_check that looks at the name alone, for a file this process holds itself:
// whether it is the lock file of a file in use. 1 when it is, else 0.
int zyrFileUse_checkName(const char *name, zyrFileUse *use);

// The use as a sentence without its full stop, e.g. "It is in use by process 4711" or "It is the
// lock file of db.zyr, which is a database open in this session"; "" when it is not in use. A lock
// that could not be tried, or a name that could not be looked at, is told as such: whether a
// process uses the file cannot be told, and why, unless the system's lists name a holder. The
// holders are looked up here, for the message alone: call it outside the directory lock.
std::string zyrFileUse_reason(const zyrFileUse *use);

// Whether some process (this one included) holds a real lock on the file of the name, tried on
// the file itself: one that this process cannot open counts as held; one that is not there is not.
int zyrFileUse_isHeld(const char *name);

// Opens for reading (close-on-exec, without waiting) the regular file that a look at the name saw
// (`looked`), and nothing else: the name is first opened as a place only (O_PATH: nothing of a pipe
// or a device is touched), compared with the look, and that very file then opened through
// /proc/self/fd, whatever the name leads to by then; without /proc the name itself is opened and
// compared again. `follow`: the look followed symbolic links (stat), else it did not (lstat). The
// descriptor, with *opened (may be NULL) its status; -1 with errno, ESTALE when the name leads to
// another file, or to no regular file, by now.
int zyrFileUse_openLooked(const char *name, const struct stat &looked, bool follow, struct stat *opened);

// The same for the name in the directory open as `directory` (AT_FDCWD: the working directory),
// opened with `flags` (O_RDONLY, O_WRONLY or O_RDWR, with O_TRUNC or O_APPEND as wished), still
// without waiting. The descriptor opened is of the file the look saw, under the name it has there,
// never of what took its name.
int zyrFileUse_openLookedAt(int directory, const char *name, const struct stat &looked, int flags, bool follow,
                            struct stat *opened);

#endif
