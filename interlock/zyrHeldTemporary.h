#ifndef ZYR_HELD_TEMPORARY_H
#define ZYR_HELD_TEMPORARY_H
// Temporaries held by their maker. A file the library makes for a while beside the files it works
// on (a placement's new file, a compaction's or a purge's copy, an upgrade's copy, an import's
// intermediate mesh file) is held under an exclusive kernel lock (flock) from the moment its name
// shows it to its rename or removal, through every close and open of it between: its lock alone
// tells whether it is a leftover (zyrLeftovers.h), whatever pid namespace its maker ran in.
//
// The holds of this process are enlisted, so that its own data-set writers and readers, whose lock
// on such a file is refused by the hold, are lent the hold instead: a descriptor that shares the
// hold's open file description, and so its lock (zyrHeldTemporary_lend). A borrower keeps the lock
// for as long as it has the file open, also when the file has been renamed over another meanwhile
// (a compaction's copy swapped in), so that a swapped-in file stays locked without a gap; and when
// a held file is replaced under its name by another (a compaction of it), the hold goes over to
// the new file (zyrHeldTemporary_handOver).
//
// A hold can be handed down to a child process, which takes it up (zyrHeldTemporary_adopt) and is
// lent it as its maker is: a reader writes the file that its importer made and holds, and the file
// stays held for as long as either of them lives.
//
// A temporary is the library's own only while its name leads to the file held: anybody who may
// write the directory can rename another file onto that name. So the library reaches its
// temporaries through what it holds, never by the name alone: it opens one only as the file held
// (zyrHeldTemporary_open, which the data-set library's opens of such a name go through), puts one
// in place only after comparing what is under the name with the hold (zyrPlacement_renameOver),
// and removes one in the directory it was made in, held by a descriptor, under a name compared with
// the hold (zyrHeldTemporary_end), so that a renamed directory leaves nothing behind either.
#include <cstddef>
#include <string>

struct zyrHeldTemporary {
  std::string m_name;   // the file while it is held; "" when none
  int m_hold = -1;      // the descriptor that holds it (read and write, close-on-exec); -1 none
  int m_directory = -1; // the directory it was made in, held (O_PATH); -1 none
  std::string m_base;   // its name in that directory

  zyrHeldTemporary() = default;
  ~zyrHeldTemporary(); // zyrHeldTemporary_end
  zyrHeldTemporary(const zyrHeldTemporary &) = delete;
  zyrHeldTemporary &operator=(const zyrHeldTemporary &) = delete;
};

// Makes a new, empty temporary of this process beside `path` as zyrLeftovers_make makes one
// ("<path>.zyr-pid<N><suffix>", or with a unique part before the suffix; without this process's id
// unless `owned`), held from its making. `reserve`: the bytes a data-set file adds to the name
// (".lck"). 1, or 0 with errno.
int zyrHeldTemporary_make(zyrHeldTemporary *held, const char *path, const char *suffix, size_t reserve,
                          bool owned = true);

// Makes a new, empty file under exactly the name (zyrLeftovers_create), held from its making: 1, or
// 0 with errno (EEXIST: the name is taken).
int zyrHeldTemporary_create(zyrHeldTemporary *held, const char *name);

// Takes up a hold that this process inherited as the descriptor `fd`: it must be a regular file,
// the file the name itself leads to, and held through this descriptor (nobody else's lock on it).
// The descriptor becomes close-on-exec again and the record's; 1, or 0 with errno (EBADF: no open
// descriptor, ESTALE: another file, EWOULDBLOCK: another holds it), the descriptor left alone.
int zyrHeldTemporary_adopt(zyrHeldTemporary *held, const char *name, int fd);

// Removes the file, with the lock file a data-set file made for it ("<name>.lck"), while its name
// in the directory it was made in still leads to the file held, then lets go
// (zyrHeldTemporary_release). A file put in place by a rename meanwhile is no longer under the
// name and stays; so does another file renamed onto the name.
void zyrHeldTemporary_end(zyrHeldTemporary *held);

// Whether the name in the directory the temporary was made in still leads to the file held.
bool zyrHeldTemporary_isThere(const zyrHeldTemporary *held);

// A new descriptor of the held file itself, opened with `flags` (close-on-exec is added; O_CREAT
// and O_EXCL are ignored) under its name in the held directory, only while that name leads to the
// file held (zyrFileUse_openLookedAt): else -1 with errno ESTALE (ENOENT: nothing is there; a
// look that failed: its reason), and nothing under the name is opened. *unseen (may be NULL) is
// set to whether it was the look at the hold (fstat) that failed.
int zyrHeldTemporary_reopen(const zyrHeldTemporary *held, int flags, bool *unseen = nullptr);

// How a name stands to this process's temporaries: 0 it names none of them, 1 it names one and
// leads to the file held, -1 it names one but leads to another file, or to none, by now, or a look
// failed (zyrHeldTemporary_fate): *error (may be NULL) is then the look's errno value, and *call
// (may be NULL) names it; else 0. Only the very name it was made or taken up
// under names it: an opener of a temporary passes that name on as it is (DefFile.cpp).
int zyrHeldTemporary_check(const char *name, int *error = nullptr, const char **call = nullptr);

// What became of the temporary: ZYR_TEMPORARY_THERE while its name leads to the file held; else
// the file is gone (removed: it has no name left), another file has taken its name, the file is
// still under its name in the directory it was made in but another directory stands under that
// directory's name (it has been renamed), a look failed (*error its errno value, *call, when given,
// the look: "fstat" of the hold, "stat" of a name), or nothing is held. A look that finds nothing
// under a name of the file held while it still has a name (renamed away, or a look that cannot
// tell) is a failed look.
enum zyrTemporaryFate {
  ZYR_TEMPORARY_THERE = 0,
  ZYR_TEMPORARY_GONE,
  ZYR_TEMPORARY_TAKEN,
  ZYR_TEMPORARY_MOVED,
  ZYR_TEMPORARY_UNSEEN,
  ZYR_TEMPORARY_UNHELD
};
int zyrHeldTemporary_fate(const zyrHeldTemporary *held, int *error, const char **call = nullptr);

// zyrHeldTemporary_fate as a clause: "it is gone", "another file has taken its name", "the
// directory it was made in has been renamed", "it cannot be looked at: <reason>" or "it is no longer
// held"; "" while its name leads to it.
std::string zyrHeldTemporary_loss(const zyrHeldTemporary *held);

// zyrHeldTemporary_loss of the temporary that the name names; "" when it names none.
std::string zyrHeldTemporary_lossOf(const char *name);

// zyrHeldTemporary_reopen of the temporary that the name names (*named then true); -1 with
// *named false when the name is no temporary this process holds.
int zyrHeldTemporary_open(const char *name, int flags, bool *named, bool *unseen = nullptr);

// Removes the temporary that the name names, with its lock file (only the lock file when
// `lockFileOnly`), as zyrHeldTemporary_end removes it, leaving the hold with its owner: 1 when it
// was removed, 0 when the name is no temporary this process holds or leads elsewhere by now.
int zyrHeldTemporary_removeNamed(const char *name, bool lockFileOnly);

// Lets go of the hold, leaving the file where it is: for a file that is another's to remove (an
// importer's, which its reader has written) or kept on purpose.
void zyrHeldTemporary_release(zyrHeldTemporary *held);

// Keeps the hold until this process ends, leaving the file where it is, and clears the record: for
// a file kept on purpose (an intermediate file kept for debugging), which goes as a leftover only
// once its maker has ended.
void zyrHeldTemporary_keep(zyrHeldTemporary *held);

// A new descriptor sharing the hold of this process on the file open as fd (close-on-exec), for a
// borrower to keep for as long as it has the file open; -1 when no hold of this process is on it.
int zyrHeldTemporary_lend(int fd);

// The held file open as `from` has been replaced under its name by the file open as `to`, whose
// lock is held through `to` (a compaction of it swapped in): the hold on it is from now on a
// descriptor of its own that shares `to`'s lock.
void zyrHeldTemporary_handOver(int from, int to);

#endif
