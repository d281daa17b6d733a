#ifndef IO_FRAME_H
#define IO_FRAME_H
// The frame of a live data set as every reader of frames takes it: the open's check of the stored
// index, the copy, and the walk of a rebuild.
//
// A frame holds when its tag is live, its first length field (read strictly) keeps it within the
// file, its start tag and header read and the header ends inside it, and a second witness
// confirms the length: the index entry that names the data set, or, where no entry is known (the
// walk of a rebuild, a copy by position alone), the closing length field.
//
// An index entry holds only when the frame at its position holds with the entry as the witness
// and the header names the entry's what, where and when. Where the two disagree neither side is
// taken: the data set is damage, which the open leaves out of the table (and says so) before any
// look-up, so that no locate, read, copy, purge or compaction ever sees it, and whatever a close
// writes shows what the open showed. A rebuild has no entry to disagree with: it indexes the
// frames that hold, and its entries agree with them by construction.
#include "io_index.h"
#include "io_records.h"

#include <cstdio>

struct IO_frame {
  char m_format[3];   // the tag's first two bytes
  int64_t m_position; // of the tag
  int64_t m_length;   // the first length field; -1 until read
  int64_t m_start;    // of the start tag, after the first length field
  int64_t m_data;     // after the header: the data part or the end tag
  int32_t m_headed;   // 1 once the header has been read (what, where and when are known)
};

// Reads one length field of the format at the stream's position strictly: exactly its bytes, and
// for text a line of the offset width, so that a walk moves by exactly the field. 0 or 10.
int ioframe_read_length(FILE *stream, const char *format, int32_t width, int64_t *length);

// Reads the header of a frame whose start tag has been read (the stream after it) into `header`:
// 0; IO_READ_ERR when it does not read (reported to the callback); IO_FORMAT_ERR when it runs past
// the frame's end (start + length), silently.
int ioframe_read_header(IO_error_callback callback, const char *format, FILE *stream, int64_t start,
                        int64_t length, IO_header *header);

// Reads the closing length field of a frame into *closing: 0 when it equals the first,
// IO_READ_ERR when it does not read, IO_FORMAT_ERR when it differs. Silent.
int ioframe_read_closing(FILE *stream, const char *format, int32_t width, int64_t start,
                         int64_t length, int64_t *closing);

// The size of the stream's file (the stream is left at its end), or -1.
int64_t ioframe_file_size(FILE *stream);

// Reads the frame whose tag stands at `position` up to its data, into `frame` and `header`, and
// checks that it holds in a file of `size` bytes: with `entry` as the witness when one is given
// (then the header must also name the entry's data set), else with the closing length field. The
// stream is left at the frame's data. 0; IO_BAD_FILE when the frame does not hold or disagrees
// with the entry; another status when the system failed a read or seek. Silent:
// ioframe_report_disagreement says why.
int ioframe_read(IO_file *record, int64_t size, int64_t position, const IO_match *entry,
                 IO_header *header, IO_frame *frame);

// The same from bytes of the file already in memory (io_source.h), for the check of a table and
// for tests that hold the two readings side by side.
struct IO_bytes_source;
int ioframe_read_bytes(IO_bytes_source &source, int32_t width, int64_t size, int64_t position, const IO_match *entry,
                       IO_header *header, IO_frame *frame);

// Reports to the callback that the entry and the frame read at its position disagree, as `who`
// found, and what came of it (`outcome`, e.g. "it is left out").
void ioframe_report_disagreement(IO_error_callback callback, const char *who, const IO_match *entry,
                                 const IO_frame *frame, const IO_header *header,
                                 const char *outcome);

// Checks every live entry of a stored index just read against its frame, in file order: an
// entry that does not hold is left out (status "N" in the table; the file is not changed) and
// reported, and counted as skipped (m_skippedfrom, m_skippedbytes, m_skippedentry for the
// first, with the key its frame names when that frame is whole: m_skippedframed). 0, or the
// status of a read the system failed.
int ioframe_check_table(IO_file *record);

// For tests and fuzz targets: the check reads windows of at most `most` bytes (a frame's reach and
// the gap it bridges no larger), so that a small file spans many windows; 0 goes back to the
// library's own sizes. Never called by the library itself.
void ioframe_set_window(int64_t most);

#endif
