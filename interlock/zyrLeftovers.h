#ifndef ZYR_LEFTOVERS_H
#define ZYR_LEFTOVERS_H
// Leftovers: temporary files that a process makes beside the files it works on and that stay
// behind when it ends before it could remove or rename them. Each carries its maker's process id
// in its name:
//
//   <stem>.pid<N>.tmp   or   <stem>.pid<N>.<unique>.tmp        (N the decimal process id)
//
// optionally followed by ".zyr" (a temporary database, named so by the store) and by ".lck" (the
// lock file of such a temporary data-set file). <unique> holds no dot. Whoever next works in the directory removes the leftovers of processes that have ended;
// a leftover whose process still runs, or that some process holds under a kernel lock (flock),
// is never touched.
#include <cstddef>
#include <string>

// Writes "<stem>.pid<N>" for this process into the buffer: the stem of a leftover name, to which
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

// zyrLeftovers_beside with this process's ".pid<N>" before the suffix: a leftover of path.
int zyrLeftovers_name(const char *path, const char *suffix, size_t reserve, char *buffer, size_t size);

// The id of the process a leftover name (the last part of a path) belongs to; 0 when the name is
// no leftover.
long zyrLeftovers_owner(const char *name);

// Whether a process of the id runs: 1 also when it runs under another user; 0 when there is no
// such process (or the id is not above 0).
int zyrLeftovers_isAlive(long pid);

// Whether some process holds the file under a kernel lock (flock): a held file is in use
// (zyrFileUse_isHeld: a file this process may not read is looked up by its device and inode).
int zyrLeftovers_isHeld(const char *path);

// Removes from the directory ("" or NULL: the working directory) every leftover whose stem begins
// with the prefix (NULL: every leftover), whose process has ended and which nobody holds; a
// lock file counts as held when its data file is. Each removal is told to `removed` (may be
// NULL) with the path and the process id. Returns the number removed.
typedef void (*zyrLeftoversRemoved)(const char *path, long pid, void *context);
int zyrLeftovers_remove(const char *directory, const char *prefix, zyrLeftoversRemoved removed, void *context);

#endif
