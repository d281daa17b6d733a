#ifndef ZYR_SYSTEM_H
#define ZYR_SYSTEM_H
// The core's window on the operating system outside processes and conduits: file tests, removal,
// renaming, moving and copying, recursive directory removal, the working directory and absolute
// names, path names, listings, date, time and host strings, temporary names, the environment and
// free disk space. Strings returned here are new tracked strings that the caller releases with
// zyrCString_free; plain results are 1 for success or "yes" and 0 for failure or "no". The
// directory separator is '/'. Every descriptor opened here is close-on-exec.
#include <dirent.h>

#include <climits>
#include <cstdint>
#include <cstdio>

struct stat;
struct zyrPlacement;

// ---- Files and directories ----

// Whether something (file or directory) of that name exists: 1 when it does, 0 when nothing does
// (the name is not given, or the system says "no such file": ENOENT, ENOTDIR), -1 when it cannot be
// told (any other failure of the look, errno telling why). A caller that would make, replace or
// remove something by the answer takes -1 as a refusal (zyrPublishCannotTell), never as absent.
// `status` (may be NULL) receives what the look saw when it answers 1.
int zyrLookForFile(const char *name, struct stat *status = nullptr);
// 1 when zyrLookForFile answers 1: for a search, where a name that cannot be looked at is passed by
// as one that is not there.
int zyrDoesFileExist(const char *name);
// Publishes `code` under the function's name for a look that could not tell (zyrLookForFile gave
// -1, errno as it left it): "Whether the file <name> exists cannot be told (stat: <reason>)."
void zyrPublishCannotTell(int32_t code, const char *name, const char *function);
// The regular-file mode bit (0x8000) when the name is a regular file (links followed), else 0.
int zyrIsFile(const char *name);
// 1 when the name is a directory (links followed).
int zyrIsDirectory(const char *name);
// zyrIsDirectory that tells a look that fails apart, as zyrLookForFile does: 1, 0 (nothing there, or
// no directory), -1 with errno when it cannot be told.
int zyrLookForDirectory(const char *name);
// 1 when a new file can be made beside the prefix (a fresh temporary name is created and removed).
int zyrCanCreateFile(const char *prefix);
int zyrCreateDirectory(const char *name);
// Removes the directory with its files; with recursive 0 a directory holding subdirectories is
// refused. Symbolic links inside are removed, never followed. Failures publish error 10047.
int zyrRemoveDirectory(const char *name, int recursive);
// Removes a regular file; a directory or a missing name gives 0, and so does a failed removal
// (errno then says why).
int zyrRemoveFile(const char *name);
int zyrRenameFile(const char *oldName, const char *newName);
// Renames, or (across file systems) copies and removes the source. Only a regular file moves, and
// only onto a free name or a regular file: anything else on either side gives 0 and changes
// nothing. Within a file system it is one rename: a move killed at any moment leaves the old names
// or the new ones. An existing destination is replaced only by a complete, flushed copy; on failure
// the source and any old destination are left as they were. A destination in use (zyrRefuseInUse)
// is refused with 10020.
int zyrMoveFile(const char *source, const char *destination);
// Byte copy. Refuses to copy a file onto itself or onto a directory. The destination is put in
// place as every whole file the library writes (zyrPlacement.h): through a symbolic link, the file
// the link leads to; an existing file is replaced only by a complete copy (written beside it and
// renamed) that keeps its permissions, so a failure leaves no partial file. A device or a pipe
// under the name is written into, never replaced. A file in use (zyrFileUse.h) is never replaced:
// 10020 is published, with why, and errno is EBUSY; so is every other refusal in the placement's
// own words (zyrPlacement_reason: another file that took the name, or the new file's, meanwhile).
// It fails when the program asks for the work in hand to be abandoned (zyrInterrupt.h).
int zyrCopyFile(const char *source, const char *destination);
// Copies the file `source` in full into the temporary of a begun placement (zyrPlacement.h) and
// puts the copy on disc, without putting it in place: the caller commits the placement, or ends it,
// which removes the copy. For a change of several files that are put in place only once every
// copy is whole. Only a regular file is read, and nothing is opened in a way that waits (a pipe
// without a writer). 1, or 0 with m_refusal set to why (EISDIR, ZYR_PLACEMENT_NOT_REGULAR or the
// errno value of the first failure, such as ENOSPC; errno too where it is one), which
// zyrPlacement_reason tells. It fails when the program asks for the work in hand to be abandoned.
int zyrCopyFileBeside(const char *source, zyrPlacement *place);
// Copies the file open as `source`, from its position (which moves), into the file open as `out`
// (read and write: a held temporary, zyrHeldTemporary.h), from its beginning and in its place, and
// puts it on disc; both descriptors stay the caller's. For a copy of a file the caller holds into
// one it holds. 1, or 0 with errno. It fails when the program asks for the work in hand to be
// abandoned.
int zyrCopyFileInto(int source, int out);
// Flushes a file's data to the disc; 1 on success.
int zyrSyncFile(const char *name);
// Flushes a directory, so that names made or renamed in it are on the disc ("" or NULL: the
// working directory). Nothing to report: a directory that cannot be opened is left alone.
void zyrSyncDirectory(const char *directory);
// Removes a database file and its lock file (the name followed by ".lck"); 1 when both are seen
// to be gone.
int zyrRemoveDatabaseFile(const char *name);
// Publishes 10020 under the function's name: "Unable to overwrite the existing file <name>.", then
// the reason (a sentence without its full stop).
void zyrPublishNotReplaced(const char *name, const char *reason, const char *function);
// The same for a removal: "Unable to remove the file <name>.", then the reason.
void zyrPublishNotRemoved(const char *name, const char *reason, const char *function);
// Whether the file of the name (for a replacement the file its links lead to, for a removal the
// name itself: a symbolic link is no file in use) is in use
// (zyrFileUse.h: held by a live process, this one included, or the lock file of such a file, or
// it cannot be told): then 10020 is published under the function's name, "Unable to overwrite the
// existing file <name>." or, `removing`, "Unable to remove the file <name>.", with why, and 1
// answered; else 0. A caller that goes on to change the name holds the directory's lock
// (zyrDirectoryGuard) from this look to its change, so that nobody opens the file meanwhile.
int zyrRefuseInUse(const char *name, int removing, const char *function);
// 1 when a directory listed in PATH (entries separated by ':') holds the named file.
int zyrIsFileInPath(const char *name);

// ---- Working directory and path names ----

// The working directory, or NULL when it cannot be read.
char *zyrGetCurrentDirectory();
int zyrSetCurrentDirectory(const char *directory);
// The absolute name of a directory, symbolic links resolved; NULL when it is not a directory.
char *zyrGetAbsoluteDirectoryName(const char *directory);
// The absolute directory of the name joined with its file part; NULL when that directory cannot
// be resolved. A name without a directory part is taken from the working directory.
char *zyrGetAbsoluteFileName(const char *name);
// The name of the file a name leads to: while its last part is a symbolic link, the link's target
// takes its place (a relative target read from the link's directory); the directories on the way
// stay as they are, since they lead to the same directory whichever name is used. A link that
// leads nowhere gives the name of the file that writing through it would make. The name itself
// when it is no link, or when its links go round in a circle (an open of it says so).
char *zyrResolveLinks(const char *name);
char zyrGetDirectorySeparator();
// Splits at the last '/': the directory before it and the file after it (new strings). Without a
// separator the file is a copy of the path and the directory NULL; an empty or NULL path leaves
// both NULL and gives 0.
int zyrSplitPathName(const char *path, char **directory, char **file);
// directory, '/' and name; without a directory a copy of the name. 0 (and NULL) for a NULL name.
int zyrJoinPathName(const char *directory, const char *name, char **path);
// Splits at the last '.' after the first character and after the last separator: the base
// before it and the extension after it. Without such a dot the base is the whole name and the
// extension NULL; an empty or NULL name leaves both NULL and gives 0.
int zyrSplitFileName(const char *name, char **base, char **extension);

// ---- Listings ----

// One directory listing. Every entry is returned, "." and ".." included, in the order the
// system gives them.
struct zyrDirectory {
  DIR *m_handle;                // NULL when the listing did not start
  char m_name[NAME_MAX + 1];    // the most recent entry
  int32_t m_count;              // entries returned so far
  int m_hasEntry;               // the first entry was found when the listing opened
};

// NULL when the directory cannot be listed.
zyrDirectory *zyrDirectory_new(const char *directory);
void zyrDirectory_delete(zyrDirectory *listing);
void zyrDirectory_print(const zyrDirectory *listing, FILE *stream);
zyrDirectory *zyrDirectory_open(const char *directory);
// The next entry's name (kept in the listing until the next call), or NULL at the end.
const char *zyrDirectory_next(zyrDirectory *listing);
void zyrDirectory_close(zyrDirectory *listing);

// ---- Time, host and machine ----

// Local date ("%a %b %d %Y") and time ("%X %Z") for banners and logs; NULL when unavailable.
char *zyrGetDateString();
char *zyrGetTimeString();
// For tests and fuzz targets, which must make the same files in every process: the date and time
// texts tell this moment (seconds from 1970, in UTC) instead of now; a negative value goes back
// to the clock. Never called by the library itself.
void zyrSetFixedTime(int64_t seconds);
// The host's name, or NULL.
char *zyrGetHostName();
void zyrSleep(int32_t seconds);
int zyrIsTerminal(FILE *stream);
// Free bytes of the file system holding the directory, in 64 bits; 1 on success, else 0 with
// the count untouched.
int zyrGetFreeDiskSpace(const char *directory, int64_t *count);
int zyrIsLittleEndian();
// Stops in the debugger (a trap signal; without a debugger the process ends).
void zyrDebugBreak();

// ---- Temporary names and the environment ----

// "prefix.<22 characters>.tmp" (or without "prefix.") from a new UUID's Base64 text with '/'
// made '='. A name that exists is never handed out: NULL when ten tries all met one. Where the
// prefix's last part is so long that the name would not fit its directory, that part is cut short
// (zyrLeftovers_beside): a temporary fits wherever a file of the prefix's name fits.
char *zyrGetTemporaryFileName(const char *prefix);
// Removes from the directory ("" or NULL: the working directory) the temporary files of this
// library, and their lock files, that processes left there and nobody holds (zyrLeftovers.h);
// other users' files, files that are not regular files, files some process holds, and names of
// the older shape while a process of their id runs, stay. Each removal is published as warning 4
// under the function's name. The number removed.
int zyrRemoveLeftovers(const char *directory, const char *function);
// The first of TEMP, TMP and TMPDIR that names a directory, else "/tmp" when it is one, else NULL.
char *zyrGetTemporaryDirectory();

int zyrIsEnvironmentVariableSet(const char *name);
// The variable's value, else a copy of the default, else NULL.
char *zyrReadEnvironmentVariable(const char *name, const char *defaultValue);
// Sets (or replaces) the variable for this process; 0 for a NULL name or a refused entry.
int zyrSetEnvironmentVariable(const char *name, const char *value);

// ---- Interrupts ----

// Whether the program asked for the work in hand to be abandoned (zyrInterrupt.h). The first
// time a request is seen, error `code` is published under the function's name: the work (the
// printf-style text, such as "The import of the mesh file \"a.msh\"") "was interrupted (SIGINT)
// and has been abandoned."; later looks at the same request answer 1 without a word.
int zyrCheckInterrupt(int32_t code, const char *function, const char *work, ...) __attribute__((format(printf, 3, 4)));

// ---- Running a command line ----

// Runs the command line to its end: its first word names the program (found in PATH), the rest
// is split into arguments and redirections as Command_addArgumentString does. No shell is
// involved. 1 only when the program ran and exited with status 0.
int zyrRunCommand(const char *commandLine);
// The same with the program found through the installation environment of the prefix (its
// override variable, executables or scripts directory); NULL prefix: as zyrRunCommand. 0 also
// when the environment cannot be built (error 10019).
int zyrRunCommandInEnvironment(const char *prefix, const char *commandLine);

#endif
