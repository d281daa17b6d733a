#ifndef IO_LOCK_H
#define IO_LOCK_H
// Lock files: a data-set file may be read by several processes at once but written by one only.
//
// Beside each open data file lies "<name>.lck" (the name as opened) holding one integer in the
// library's text form (right-aligned in 10 characters, then a newline): n > 0 readers hold the
// file, or -1 one writer does. 0 is never stored: the lock file is deleted instead.
//
// Underneath, every open stream holds a real lock (flock) on the data file, shared by readers
// and exclusive for the writer, from its open to its close, so that two writers can never meet
// whatever the lock files say (a temporary this process holds lends its record the hold's lock
// instead: zyrHeldTemporary.h). A lock file whose counts no live process backs (nobody holds the
// real lock) is stale, whoever left it (a process that ended, or one that still holds the file it
// counted under another name, the file renamed since): it is taken over with a warning that says
// only that, and the record notes it (m_takenover) for its owner to tell the user. Nothing else
// changes a lock file that a live process counts in; a file put in place of another keeps the
// writer's lock (iif_swap_in).
// Processes update a lock file one at a time (an flock on its directory around the update: the
// lock file itself is replaced by a rename at each update and cannot carry the lock).
// A lock file is the record's only while the record's name leads to the file its open found: a
// file renamed while open leaves its count under the old name, where a file put there since keeps
// its own lock file, which this record never rewrites or removes (its release then changes
// nothing, and a write permission is refused).
// A write permission is granted only when the lock file, read again, still shows this record as
// the one reader, the exclusive lock is had and -1 could be written into the lock file.
#include "io_records.h"

// mode 0: read lock; above 0: write lock; below 0: release. 0, 21 for a conflict (nothing
// changed), 28 when memory runs out, or the text reader's or writer's status when the lock file
// cannot be read or written. Works on the lock file only; the real lock follows the stream
// (io_real_lock).
int iif_set_lock(IO_file *record, int32_t mode);

// Turns the record's hold into the single writer's before a write. 0 (also when the record
// already writes); 6 when the stream is read-only; 21 when others read the file or the lock file
// does not show this record as its one reader; 11 when the lock file cannot be made (the system's
// reason is reported); or the text writer's status.
int setfilebusyflag(IO_error_callback callback, IO_file *record);

// The same without messages, for a record that wants to write its rebuilt index at close. 1
// when the record is (now) the writer, else 0.
int io_try_become_writer(IO_file *record);

// Makes the record the single writer of its file as setfilebusyflag does (same results and
// messages), before a change that must be made whole or not at all; nothing is written to the
// data file yet: the first write marks it as being changed.
int io_claim_writer(IO_error_callback callback, IO_file *record);

// Takes the real lock on the record's stream without waiting: LOCK_SH or LOCK_EX (a failed
// change from shared to exclusive keeps the shared lock when it can; when it cannot, the record
// has lost its hold and is refused every lock until it is closed). 1 when held, else 0.
int io_real_lock(IO_file *record, int how);

// Keeps other processes from updating the lock files of the directory holding name, and from
// probing its files for staleness, until the matching io_unlock_directory (calls nest within a
// thread). An opener holds it from its count in the lock file to its real lock, a closer from
// letting go of its real lock to its count, so that a probe never sees a counted record without
// its real lock. Without permission to read the directory nothing is held (as before).
void io_lock_directory(const char *name);
void io_unlock_directory();

// Puts the directory holding the file of the name on disc, so that names made, renamed or
// removed in it last a crash. Nothing to report: a directory that cannot be opened is left.
void io_sync_directory_of(const char *name);

// Whether a live process holds the real lock of the data file of the name (looked at as the
// staleness probe does): 1, with *writer 1 when it is held for writing, and *pid the holder's
// process id where it can be told (one process holds it, and the system shows which; else 0); 0
// when nobody does. A file this process may not open is looked up in the system's list of locks.
int io_lock_holder(const char *name, int *writer, long *pid);

// The system's error number for why the lock file of the data file of the name cannot be made,
// found without making anything: ENAMETOOLONG when its name, or that of the temporary it is
// written under, is too long; else what forbids making names in its directory; 0 when the system
// shows no reason.
int io_lockfile_error(const char *name);

// The lock-file name of a data file: a new text ("%s.lck"), or NULL when memory runs out.
char *io_lockfile_name(const char *name);

#endif
