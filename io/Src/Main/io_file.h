#ifndef IO_FILE_H
#define IO_FILE_H
// The file layer: one data-set file while it is open (the IO_file record of io_records.h).
//
// A data-set file starts with its information block, always text:
//   "*INFO" LF; the recorded file size right-aligned in W characters and LF; "*ENDINFO" LF.
// W, the width of every text offset in the file, is 20 in files created here and 10 in files of
// an older layout; it is the length of the size line. A new file is those 36 bytes (W = 20, size
// 0), and its first data set goes at position 36. The recorded size is the file's length when a
// writer last closed it; a file whose recorded size differs, or whose stored index is not whole
// and consistent, gets its index table rebuilt by scanning its frames. The entries of a stored
// index that is taken are checked against their frames, and those that disagree are left out
// (io_frame.h), before any look-up.
//
// Access codes: "r" read (read lock, read-only stream), "w" and "a" write (write lock), "d"
// default (read lock, read-write stream when the file allows it, else read-only). A missing file
// is created, except in "r"; an existing file is never truncated. Every descriptor is
// close-on-exec. Status results as in io_records.h; messages go to the record's callback.
#include "io_records.h"

#include <cstdio>

// Clears every field but the write format; the callback becomes the default one.
void iif_clear_record(IO_file *record);
// A new cleared record in *record. 0 or 28.
int iif_alloc(IO_file **record);
// iif_alloc, then iif_open; on failure the record is released and freed and *record is NULL.
int iif_open_new(IO_file **record, const char *name, const char *access);

// Opens a data-set file: iif_open_file, then iif_check_header.
int iif_open(IO_file *record, const char *name, const char *access);
// Takes the lock and opens the stream.
int iif_open_file(IO_file *record, const char *name, const char *access);
// Opens a plain text file (no information block, no index).
int iif_open_plain(IO_file *record, const char *name, const char *access);
// Checks the start of the file, then reads its information block and index (iif_read_info), or
// writes the block of an empty file (iif_create_empty); an empty file open for reading only is
// refused with 5, unchanged. A file open for writing that holds no more than what a creation cut
// off leaves (io_remnant.h), and that no other process holds, is made anew as an empty file is
// (m_remnant tells what it held). A failure releases the lock and removes a file the open made;
// the stream is closed for failures of the checks themselves and left for iif_release_record
// otherwise.
int iif_check_header(IO_file *record);
// Reads the information block and the index of a file of `actual` bytes.
int iif_read_info(IO_file *record, int64_t actual);
// Writes the information block into an empty file and starts an empty index table.
int iif_create_empty(IO_file *record);

// When the record must write its index at close (lock level -1): writes the index at the index
// location and the file's size into the information block, then forces both to disc. Only a
// writer does so: a record whose open rebuilt its index becomes the writer first when it can,
// and otherwise leaves the file as it is (the next open rebuilds again). The stream is
// flushed in every case.
int iif_flush(IO_file *record);
// Before every change to a data-set file in place (a data set, a delete tag): refused, with 10
// from iif_check_reads, once a read of the file has failed. Before the first change since the
// file was opened or flushed, the recorded size is also set to 0 and put on disc, so that a
// process ending before the close makes the next open rebuild the index from the frames
// (honouring delete tags) rather than trust the stored one. The stream position is kept. 0, or
// the status of the failed check or write.
int iif_mark_index_stale(IO_file *record);
// Puts what was written to an open file on disc (its data, not the index, which the close
// stores). 0, or 11 when the system cannot.
int iif_sync(IO_file *record);
// Puts the replacement's file in place of the record's, under the record's name, while this
// process holds both as their writer, so that no other process can open either in between: the
// replacement's index and size are stored and put on disc, it takes the record's permissions
// (and owner where allowed), is renamed over the record's name and the directory is put on disc.
// The record then holds the replacement's stream, index and lock under its own name and lock
// file (still showing the writer); the replacement's lock file is removed and the replacement
// record is cleared. The old file is closed without a further write. 0; 21 when the process does
// not write both files; 10 when a read of the record's file failed (the replacement was copied
// from reads one of which failed); else the failed step's status, with both records left as
// they were, and said why (the look, the copy or the name that failed it). A file that takes the
// record's name right after the copy did stays there, and the old file goes from the copy's name.
int iif_swap_in(IO_file *record, IO_file *replacement);
// Flushes (a failed index write leaves "*CRASH" at the index location, and the file is cut after
// it, or at the index location when not even that could be written; a record a read of which
// failed writes nothing), closes the stream, releases the lock and frees the contents. Always 0.
int iif_close(IO_file *record);
// iif_close, then frees the record.
int iif_close_free(IO_file *record);
// The close will store no index (one rebuilt at the open included) and write nothing more: for a
// file that its opener refused, which it must leave as it found it. The next open rebuilds the
// index again where it must.
void iif_leave_unchanged(IO_file *record);
// Removes the file that the record's open made (m_created), with its lock file, when no other
// process holds it, and closes the record without writing anything more to it (its contents
// freed): 1. Otherwise the record is left as it was: 0.
int iif_remove_made(IO_file *record);
// Closes a plain text file: releases the lock, frees the contents. 0.
int iif_close_text(IO_file *record);
// Frees the name, the index table and the file's own format, closes the stream. 0.
int iif_free_contents(IO_file *record);
// Frees the table and the name, closes the stream, releases the lock; entry count and index
// location 0, access "w". Writes nothing to the file. 0.
int iif_release_record(IO_file *record);
// 1 when the stream is set.
int iif_is_open(const IO_file *record);
// 1 when the name leads to the file open on the record's stream, whatever name the record opened
// it by, else 0.
int iif_is_file(const IO_file *record, const char *name);
// 1 when the record's name still leads to the file open on its stream (not renamed meanwhile, nor
// replaced under its name by another file), else 0.
int iif_is_named(const IO_file *record);
// iif_is_named that tells a failed look apart: 1, 0 when the name leads to another file, -1 with
// errno when it cannot be told, *call (may be NULL) naming the look that failed; a look that finds
// nothing under the name is one of them while the file still has a name. Only a file that has no
// name left (removed) is told as gone: ENOENT, *call NULL.
int iif_named(const IO_file *record, const char **call);
// A new descriptor, for reading only (close-on-exec, its own position), of the file open on the
// record's stream: through that stream's descriptor, so that the very file is read whatever its
// names are now; where the system offers no names through descriptors, through the record's name,
// only while it leads to that file. -1 with errno: ESTALE when the name leads to another file (or
// what stands there is no regular file), else the system's reason.
int iif_open_held(const IO_file *record);
// The errno of the first read of the record's file that the system failed (rather than meeting
// the end of the file) while the record had it open; 0 when none did. A record whose read failed
// so writes nothing more to the file: no data set, delete tag, index, size or cut, and no copy
// takes its place. Every path that writes to an open file asks it (through iif_check_reads): the
// write permission (setfilebusyflag, io_claim_writer), iif_mark_index_stale before each change in
// place, the pieces of a data set written request by request, iif_flush, iif_close and
// iif_swap_in.
int iif_read_failure(const IO_file *record);
// 1 when the last open of the record was refused because its name, a temporary of this process
// (zyrHeldTemporary.h), no longer leads to the file held: the callback heard what became of it,
// and that is the whole reason; else 0.
int iif_lost_temporary(const IO_file *record);
// Notes on the record that the system failed `call` (static text) with errno `error`, as `failed`
// (IO_FAILED_*), during its open or its claim of the writer; a failure noted since that began is
// kept, and an error of 0 notes nothing.
void iif_note_failure(IO_file *record, int failed, const char *call, int error);
// What the system failed that alone refused the record's last open or claim of the writer, as a
// clause ("a look at it", "a write of it", "a write of its lock file"), with the call (*call) and
// its errno value (*error); NULL when nothing the system failed refused it.
const char *iif_failure(const IO_file *record, const char **call, int *error);
// When a read of the record's file failed so: "<function>: a read of <file> failed: <reason>" to
// the callback, and 10; else 0.
int iif_check_reads(IO_error_callback callback, const IO_file *record, const char *function);

// Reports the expanded message, ": " and the text of the last system error through the
// record's callback. 0, or 26 when there is no message.
int iif_syserr(IO_file *record, const char *format, ...) __attribute__((format(printf, 2, 3)));
// The trace line "<label>: File 0x<id>x "<name>" at <position>".
void iif_trace_file(const char *label, const IO_file *record);

// The file's own format: WEZ_FORMAT when set and its first character is a format letter
// (reported and "U5" when not), else "U5"; made native.
void iif_resolve_format(IO_file *record);
// Replaces the format (made native) unless WEZ_FORMAT decided it. 0 or 28.
int iif_set_format(IO_file *record, const char *format);
const char *iif_get_format(IO_file *record);

#endif
