#ifndef ZYR_FAULT_H
#define ZYR_FAULT_H
// Faults of the file system on demand: the n-th write, flush, sync or read of a file, or look at or
// removal or open of a name, fails as a full disc or a failing device makes it fail, so that tests
// meet every such failure of every operation by design. Every write, flush, sync and read of the
// files the library keeps (data-set files, their copies and replacements), every look by name from
// which it decides whether a file exists, the removals of zyrRemoveFile and the opens of data-set
// files by name go through the calls below; they are compiled into every build and are the C
// library's own calls unless the seam is armed:
//
//   ZYR_FAULT_AT     entries "<kind>@<n>[+][:<error>]" separated by ",". kind is one of
//                    write   fwrite, write, copy_file_range
//                    flush   fflush, fclose and a seek of a stream that holds unwritten bytes
//                    sync    fsync, fdatasync of a file
//                    read    fread, fgets, read
//                    look    stat, lstat, fstatat, access of a name, fstat of a descriptor
//                    remove  unlink of a name (zyrRemoveFile removes through it, the backups a
//                            restore leaves among others)
//                    open    open of a data-set file by its name: the open itself fails (EIO, or
//                            EACCES as for a file this process may not write), making nothing
//                    full    the disc fills at the n-th write: from it on no file grows. A
//                            write or flush whose bytes lie within the file goes through (a
//                            real disc needs no room for them); one that would lengthen the
//                            file puts what lies within it in place and fails
//                    kill    the process is killed (SIGKILL) the n-th time it is about to
//                            hand bytes to the system (a write of a descriptor, a flush of a
//                            stream that holds bytes, a stream write that overflows its
//                            buffer), before it does: what the streams hold is lost, as in a
//                            crash at that moment
//                    n counts the passes of that kind in this process from 1 (full counts
//                    writes); "+" makes every pass from the n-th on fail. error is ENOSPC
//                    (the default of write, flush and full), EIO (of sync, read, look,
//                    remove and open), EDQUOT, EFBIG, ENOENT (a look that finds nothing where
//                    a file is), EACCES or a number.
//   ZYR_FAULT_FILE   only operations on files whose path holds this text count (and fail); a
//                    look, a removal or an open counts by the name it was given (beneath a directory's
//                    descriptor, the directory's path, '/' and the name).
//   ZYR_FAULT_COUNT  a file to which the process writes, when it ends, how many passes of each
//                    kind it made: "write <n>\nflush <n>\nsync <n>\nread <n>\nlook <n>\n
//                    remove <n>\nopen <n>\n".
//   ZYR_FAULT_TRACE  set: every failure made is told on standard error, with the file's path.
//
// The environment is read at the first pass, unless zyrFault_arm came first. A failing write
// first puts half of what it was given (whole items) in place, as a disc that fills part way
// does (on a full disc what lies within the file), and the stream keeps nothing to write later;
// a failing flush loses the bytes the stream held; a failing read delivers half of what was
// asked; a failing sync, look or removal does nothing. Each sets errno to the error, and a failing stream call
// the stream's error indicator; after a failed write or flush the stream reads what the file
// holds, from where the bytes that landed end.
#include <cstddef>
#include <cstdio>
#include <sys/stat.h>
#include <sys/types.h>

enum zyrFaultKind {
  ZYR_FAULT_WRITE = 0,
  ZYR_FAULT_FLUSH = 1,
  ZYR_FAULT_SYNC = 2,
  ZYR_FAULT_READ = 3,
  ZYR_FAULT_LOOK = 4,
  ZYR_FAULT_REMOVE = 5,
  ZYR_FAULT_OPEN = 6
};

// Arms the seam in this process as the environment would (plan as ZYR_FAULT_AT, file as
// ZYR_FAULT_FILE, either may be NULL); an empty or NULL plan only counts. The counts start again
// from 0. 1, or 0 when the plan does not parse (nothing is armed then).
int zyrFault_arm(const char *plan, const char *file);
// Makes the calls plain again (nothing counted, the environment no longer read).
void zyrFault_disarm();
// Passes of the kind counted since the seam was armed: every kind under an empty plan (a count);
// under a plan, only the kinds it names (and the writes and flushes of a plan with a full disc or
// a failing read, which watch them), so that the other calls go by at the cost of the plain ones.
long zyrFault_passes(int kind);
// Failures made since the seam was armed.
long zyrFault_failures();
// Writes, and flushes of written bytes, that went to a file after a read of that same file failed
// by the seam's doing, since it was armed: a process that writes nothing to a file whose read
// failed makes none.
long zyrFault_writesAfterFailedRead();

// The C library's calls, failing when the seam says so.
size_t zyrFault_fwrite(const void *data, size_t size, size_t count, FILE *stream);
size_t zyrFault_fread(void *data, size_t size, size_t count, FILE *stream);
char *zyrFault_fgets(char *line, int size, FILE *stream);
int zyrFault_fflush(FILE *stream);
int zyrFault_fclose(FILE *stream);
int zyrFault_fseeko(FILE *stream, off_t offset, int whence);
int zyrFault_fsync(int fd);
int zyrFault_fdatasync(int fd);
// A look (kind look) at the file open as fd, by the path it is open as.
int zyrFault_fstat(int fd, struct stat *status);
ssize_t zyrFault_write(int fd, const void *data, size_t size);
ssize_t zyrFault_read(int fd, void *data, size_t size);
ssize_t zyrFault_copyFileRange(int in, int out, size_t size);
int zyrFault_stat(const char *name, struct stat *status);
int zyrFault_lstat(const char *name, struct stat *status);
int zyrFault_fstatat(int directory, const char *name, struct stat *status, int flags);
int zyrFault_access(const char *name, int mode);
int zyrFault_unlink(const char *name);
int zyrFault_open(const char *name, int flags, mode_t mode);

#endif
