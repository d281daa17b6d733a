#ifndef ZYR_LEFTOVERS_H
#define ZYR_LEFTOVERS_H
// Leftovers: temporary files that a process makes beside the files it works on and that stay
// behind when it ends before it could remove or rename them. Each carries the library's mark and
// its maker's process id in its name:
//
//   <stem>.zyr-pid<N>.tmp   or   <stem>.zyr-pid<N>.<unique>.tmp        (N the decimal process id)
//
// optionally followed by ".zyr" (a temporary database, named so by the store) and by ".lck" (the
// lock file of such a temporary data-set file). <unique> holds no dot. Whoever next works in the
// directory removes the leftovers that are certainly the library's own and that nobody holds: a
// regular file of the calling (effective) user whose name carries the mark. Another user's file,
// anything but a regular file, and a file that some process holds are never touched, whatever
// their names. Every marked temporary is held by its maker under a kernel lock (flock) from its
// making to its rename or removal, across every close and open of it between
// (zyrHeldTemporary.h): its lock alone decides, whatever process runs under the id in its name,
// which is a hint for the message only (the maker may have been a process of another pid
// namespace, a container, whose id names a live process here). Names of the older shape,
// "pid<N>" without the mark, may be another program's that takes no lock: a process of their id
// that runs keeps them.
#include <cstddef>
#include <string>

// Writes "<stem>.zyr-pid<N>" for this process into the buffer: the stem of a leftover name, to which
// the caller adds ".<unique>.tmp" or ".tmp". 0 when it does not fit (the buffer then holds "").
int zyrLeftovers_stem(const char *stem, char *buffer, size_t size);

// The directory the file of `path` stands in: "." for a bare name, "/" for one at the root.
std::string zyrLeftovers_directory(const char *path);

// The longest last part of a name that the directory of `path` takes (NAME_MAX where the system
// does not say).
size_t zyrLeftovers_nameMax(const char *path);

// 1 when the last part of `path`, with `reserve` bytes more, is no longer than its directory takes.
int zyrLeftovers_fits(const char *path, size_t reserve);

// Writes into the buffer a name beside `path`, in its directory: path followed by `suffix`. Where
// the last part of that name, with `reserve` bytes more (the ".lck" that a data-set file adds),
// would be longer than the directory takes, path's last part is cut short and ends in "~" and
// eight hexadecimal digits of a digest of the whole of it, so that two long names stay apart and a
// temporary fits wherever the name it stands beside fits. 0 when even the suffix does not fit, or
// the buffer is too small (the buffer then holds "").
int zyrLeftovers_beside(const char *path, const char *suffix, size_t reserve, char *buffer, size_t size);

// zyrLeftovers_beside with this process's ".zyr-pid<N>" before the suffix: a leftover of path.
int zyrLeftovers_name(const char *path, const char *suffix, size_t reserve, char *buffer, size_t size);

// The id of the process a leftover name (the last part of a path) belongs to, marked or of the
// older shape; 0 when the name is no leftover.
long zyrLeftovers_owner(const char *name);

// Whether a process of the id runs: 1 also when it runs under another user; 0 when there is no
// such process (or the id is not above 0).
int zyrLeftovers_isAlive(long pid);

// Whether some process holds the file under a kernel lock (flock): a held file is in use
// (zyrFileUse_isHeld: one this process cannot open counts as held).
int zyrLeftovers_isHeld(const char *path);

// Makes a new, empty file under the name, held under an exclusive kernel lock (flock) from the
// moment the name shows it, so that no look at the name ever finds it free while its maker lives:
// a temporary is held by its writer from its making to its rename or removal. *fd receives the
// holding descriptor (read and write, close-on-exec). 1, or 0 with errno (EEXIST: the name is
// taken).
int zyrLeftovers_create(const char *path, int *fd);

// Makes this process's leftover of `path` as zyrLeftovers_create makes a file: named as
// zyrLeftovers_name names it, with `suffix` (".tmp"), into the buffer. What a process of this id
// left under that name goes first when zyrLeftovers_removeUnheld takes it; otherwise (somebody
// holds it, another user's file, no regular file) the name takes a unique part before the suffix.
// A lock file already under the new name's lock-file name ("<name>.lck", which a data-set writer
// adds) is an ended writer's, as its data file was gone: it goes when it is this user's regular
// file, and otherwise makes the name take a unique part too. `owned` false: a name beside `path`
// without this process's id, each with a unique part (zyrLeftovers_beside), for a file that is
// nobody's leftover. 1 with *fd holding it, or 0 with errno (the buffer then holds "").
int zyrLeftovers_make(const char *path, const char *suffix, size_t reserve, char *buffer, size_t size, int *fd,
                      bool owned = true);

// 1 when the name (itself, not where a symbolic link leads) is a regular file of this process's
// effective user: a file that can be one this library made for it.
int zyrLeftovers_isOwn(const char *path);

// Removes the leftover under the name when it is a regular file of this user (zyrLeftovers_isOwn)
// and no process holds it (for a lock file, its data file, which must be a regular file too),
// looked at under the directory lock: 1 when removed. Only the regular file that the look saw is
// opened to try its lock (zyrFileUse_openLooked); whatever took the name meanwhile (a pipe, another
// file) is neither opened nor removed, and neither is the lock file beside it. Without /proc, what
// takes the name in the moment between that open's two opens is opened for reading without
// waiting, and closed: still neither removed nor waited on.
int zyrLeftovers_removeUnheld(const char *path);

// Removes from the directory ("" or NULL: the working directory) every leftover whose stem begins
// with the prefix (NULL: every leftover) and which zyrLeftovers_removeUnheld removes (one of the
// older shape only while no process of its id runs); a lock file counts as held when its data file
// is. Each removal is told to `removed` (may
// be NULL) with the path and the id in its name. Returns the number removed.
typedef void (*zyrLeftoversRemoved)(const char *path, long pid, void *context);
int zyrLeftovers_remove(const char *directory, const char *prefix, zyrLeftoversRemoved removed, void *context);

#endif
