#ifndef ZYR_PLACEMENT_H
#define ZYR_PLACEMENT_H
// Putting a whole new file in place under a name: the one way of every writer that replaces a
// file as a whole (a definition file, a copy, a reader's intermediate file).
//
// - The name is followed through symbolic links, chains of them and relative ones read from the
//   link's own directory, to the file it leads to; a dangling link leads to the file it would
//   make. That file is replaced; a link stays a link.
// - Only a regular file is ever replaced. A directory, a device, a pipe or a socket under the name
//   is refused before a byte is written, and nothing opens it, so nothing waits on it.
// - The new file is written beside the file it replaces under a temporary name of this process
//   (zyrLeftovers.h) that fits wherever the name fits. The placement makes it, empty, and holds
//   it under an exclusive real lock from its making to its rename or removal, so that nobody takes
//   it for an ended process's leftover: the writer writes into it (a data-set writer of this
//   process that opens it is lent the hold: zyrHeldTemporary.h). A leftover under that name that
//   nobody holds goes first; one that somebody holds (a process of the same id in another pid
//   namespace) is left, and another name taken.
// - Once written, the new file takes the permissions of the file it replaces, and its owner and
//   group where the process may set them; it is put on disc and renamed over the old file, and
//   the directory is put on disc: the name holds the old file or the whole new one.
// - A file in use (zyrFileUse.h: a file a live process holds, this one included, the lock file of
//   one, a held temporary, or a file whose lock this process cannot try) is never replaced: it is
//   refused before a byte is written. A regular file that is not in use is held from the
//   beginning to the end of the placement, so that no process opens it meanwhile; and the rename
//   looks at the name again, under the directory lock that every opener takes: a name that now
//   leads to another file than the one the placement began with, or to a file in use, is left as
//   it is. The rename itself replaces only the file the placement holds, and makes no file where
//   another came meanwhile (zyrPlacement_renameOver), also where the directory lock cannot be
//   taken.
// - The placement owns its hold and its temporary: whatever way its owner leaves, its end (or its
//   destruction) lets go of the one and removes the other.
#include "zyrFileUse.h"
#include "zyrHeldTemporary.h"

#include <cstddef>
#include <string>
#include <sys/stat.h>

// Why a name is refused when it is no errno value's case: it is not a regular file; the file is in
// use (m_use says how); it is no longer the file the placement began with.
const int ZYR_PLACEMENT_NOT_REGULAR = -1;
const int ZYR_PLACEMENT_IN_USE = -2;
const int ZYR_PLACEMENT_REPLACED = -3;
// The new file is no longer under its temporary name: another file has been renamed onto it.
const int ZYR_PLACEMENT_LOST = -4;
// Nothing is under the new file's temporary name any more.
const int ZYR_PLACEMENT_GONE = -5;
// The new file took the name, and another file took it after: that file stays there.
const int ZYR_PLACEMENT_TAKEN = -6;
// The temporary's directory has been renamed meanwhile: its name leads elsewhere, or nowhere.
const int ZYR_PLACEMENT_MOVED = -7;
// A look at a name, or at the new file, failed: whether it is the file expected cannot be told
// (errno, or m_error, is the look's reason).
const int ZYR_PLACEMENT_UNSEEN = -8;

struct zyrPlacement {
  std::string m_target;    // the file the name leads to
  zyrHeldTemporary m_temporary; // where the new file is written (m_name), held from its making until
                                // it is in place or removed; m_name "" when none
  bool m_exists = false;   // a regular file is there now
  struct stat m_old = {};  // its status
  int m_refusal = 0;       // why the name was refused, the commit failed, or the copy into the
                           // temporary failed (zyrCopyFileBeside): an errno value or one of the
                           // ZYR_PLACEMENT_ refusals
  int m_error = 0;         // ZYR_PLACEMENT_UNSEEN: the errno value of the look that failed
  zyrFileUse m_use;        // ZYR_PLACEMENT_IN_USE: how the file is in use
  int m_hold = -1;         // a descriptor holding the old file under an exclusive real lock (flock), so
                           // that nobody opens it until the placement ends; -1: none

  zyrPlacement() = default;
  ~zyrPlacement();
  zyrPlacement(const zyrPlacement &) = delete;
  zyrPlacement &operator=(const zyrPlacement &) = delete;
};

// The file a name leads to through symbolic links (the name itself when it is no link, or when the
// links go round in a circle).
std::string zyrPlacement_resolve(const char *name);

// Resolves the name, looks at what stands there and makes the temporary (empty, held), removing
// what an ended process left under that name. `reserve`: the bytes the writer adds to the
// temporary's name (the ".lck" of a data-set file), for which the name itself must leave room.
// `owned`: the temporary carries this process's id, so that one left by a killed process goes
// later; a move's does not, as it may come to hold the only copy of the bytes, and has a unique
// part instead.
// 1, or 0 with m_refusal (errno too when it is an errno value): ENOENT for an empty name,
// ENAMETOOLONG when the name's last part with `reserve` bytes more is longer than its directory
// takes, EISDIR for a directory, ZYR_PLACEMENT_NOT_REGULAR for anything else that is no regular
// file (m_target then names it, for a writer that writes into it instead), ZYR_PLACEMENT_IN_USE
// for a file in use, or the system's reason why the temporary cannot be made there. The pause
// point "place.begin" comes before the name is looked at.
int zyrPlacement_begin(zyrPlacement *placement, const char *name, size_t reserve, bool owned = true);

// A new descriptor for writing the placement's temporary (truncated, close-on-exec), for a writer
// that writes bytes, opened through the hold (zyrHeldTemporary_reopen); -1 with errno. A data-set
// writer opens the temporary by its name instead, which its open turns into the same.
int zyrPlacement_openTemporary(const zyrPlacement *placement);

// Gives a new file, open as fd, the permissions of the file of `old` and, where the process may
// set them, its owner and group.
void zyrPlacement_keepMode(int fd, const struct stat *old);

// Puts the written and closed temporary in place: with the old file's permissions, on disc,
// renamed over it (a lock file that a data-set file made for it goes), the directory on disc.
// `flush` false: a new file that the caller does not need on disc yet is not put there. 1, or 0
// with m_refusal (and errno) set: a refusal of zyrPlacement_renameOver, or ZYR_PLACEMENT_MOVED
// where the temporary is still under its name in the directory it was made in, but that is no
// longer the directory its name leads to. The temporary then stays for zyrPlacement_end.
int zyrPlacement_commit(zyrPlacement *placement, bool flush = true);

// Looks at the name as the commit will, under the directory lock, without putting anything in
// place: 1 when the commit would find the file the placement began with (or none) and nothing of
// it in use, else 0 with m_refusal (and errno) set. A caller that puts several files in place
// together looks at each before it renames the first, so that a refusal changes none of them.
int zyrPlacement_check(zyrPlacement *placement);

// Renames `from` over `to` as a placement does, for a file whose old file, if any, this process
// holds: `old` (NULL: no file is expected there) is that file's status. A file other than the one
// expected under `to` (one that came there meanwhile, or took the old one's place) is left as it
// is: ZYR_PLACEMENT_REPLACED. `fresh` (NULL: whatever is there) is the status of the new file, the
// one that must go in place: another file under `from` (renamed onto it meanwhile) is not put in
// place, and stays where it was put: ZYR_PLACEMENT_LOST; nothing there: ZYR_PLACEMENT_GONE when
// the new file had no name left when `fresh` was looked at, else ZYR_PLACEMENT_UNSEEN (a look that
// finds nothing under the name of a file that has one cannot tell), errno ENOENT.
// Each name is compared before the rename, and again after it, behind a pause point for the tests
// ("place.exchanged" after the exchange of the names that replaces a file, "place.renamed" after
// the rename to a free name). A look before the rename that fails for another reason than "no
// such file" acts on nothing: ZYR_PLACEMENT_UNSEEN, with errno its reason. Once the system has made
// the rename, the new file has taken the name and the answer is 0, unless a look sees another file
// than the one expected: a look after it that cannot tell, or finds a name empty, undoes nothing in
// words. The placement never moves what took `to` after the new file: another file there stays
// (to a free name ZYR_PLACEMENT_REPLACED, as a name taken before; over the old file
// ZYR_PLACEMENT_TAKEN, and the old file, come out under `from`, goes). Only a file that took `to`
// just before the exchange, and so came out under `from`, is put back under `to`
// (ZYR_PLACEMENT_REPLACED). Else the old file goes: under `to` the name holds the new file or, on a
// refusal, what it held before. 0 when renamed, else the refusal or the errno value.
int zyrPlacement_renameOver(const char *from, const char *to, const struct stat *old,
                            const struct stat *fresh = nullptr);

// Removes a temporary that was not put in place, with the lock file a data-set file made for it,
// and lets go of the old file.
void zyrPlacement_end(zyrPlacement *placement);

// Why the placement was refused or failed, as a sentence without its full stop: "It is not a
// regular file", how the file is in use, that another file has taken its name (before the new
// file could, or after it) or the new one's, that the new file or its directory has gone from
// its name, that a look failed and why, or the system's text of the errno value.
std::string zyrPlacement_reason(const zyrPlacement *placement);

// Whether the placement was refused for what stands under the name (no regular file, or a file in
// use, or one that took the name before the new file could), rather than for a failure of the
// system: the caller then says that the existing file cannot be overwritten. A file that took the
// name after the new one (ZYR_PLACEMENT_TAKEN) stays too, but the old file was replaced: 0.
int zyrPlacement_isKept(const zyrPlacement *placement);

#endif
