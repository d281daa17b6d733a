// The frame of a live data set, and the check of index entries against their frames.
#include "io_frame.h"

#include "io_error.h"
#include "io_file.h"
#include "io_format.h"
#include "io_header.h"
#include "io_index.h"
#include "lowlevel_io.h"

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

namespace {

// The header's what, where and when are the entry's.
bool namesEntry(const IO_header *header, const IO_match *entry) {
  return strcmp(header->m_what, entry->m_what) == 0 && strcmp(header->m_where, entry->m_where) == 0 &&
         *header->m_when == entry->m_when;
}

// The bytes the entry says its data set takes: its tag, length fields and length.
int64_t entryBytes(const IO_file *record, const char *format, const IO_match *entry) {
  return 3 + 2 * iofmt_length_field_size(format[0], record->m_offsetwidth) + entry->m_length;
}

} // namespace

int ioframe_read_length(FILE *stream, const char *format, int32_t width, int64_t *length) {
  char bytes[32];
  size_t field = static_cast<size_t>(iofmt_length_field_size(format[0], width));
  if (field > sizeof bytes || io_fread(bytes, 1, field, stream) != field) return IO_READ_ERR;
  return iofmt_parse_length_field(bytes, field, format[0], width, length) ? IO_OK : IO_READ_ERR;
}

int ioframe_read_header(IO_error_callback callback, const char *format, FILE *stream, int64_t start,
                        int64_t length, IO_header *header) {
  if (read_header(callback, format, stream, header) != IO_OK) return IO_READ_ERR;
  // A header that runs past the frame's own end belongs to no frame of that length: its end
  // would be taken for the place of the next data set.
  int64_t headerEnd = io_tell(stream);
  return headerEnd >= 0 && headerEnd <= start + length ? IO_OK : IO_FORMAT_ERR;
}

int ioframe_read_closing(FILE *stream, const char *format, int32_t width, int64_t start,
                         int64_t length, int64_t *closing) {
  *closing = -1;
  if (io_seek(stream, start + length, 0) != 0 || ioframe_read_length(stream, format, width, closing) != IO_OK)
    return IO_READ_ERR;
  return *closing == length ? IO_OK : IO_FORMAT_ERR;
}

int64_t ioframe_file_size(FILE *stream) {
  if (io_seek(stream, 0, 2) != 0) return -1;
  return io_tell(stream);
}

int ioframe_read(IO_file *record, int64_t size, int64_t position, const IO_match *entry,
                 IO_header *header, IO_frame *frame) {
  FILE *stream = record->m_stream;
  memset(frame, 0, sizeof *frame);
  frame->m_position = position;
  frame->m_length = -1;
  char tag[3];
  errno = 0;
  if (size < 0 || position < 0 || io_seek(stream, position, 0) != 0) return IO_SEEK_ERR;
  if (io_fread(tag, 1, 3, stream) != 3) return io_read_failure(stream) ? IO_READ_ERR : IO_BAD_FILE;
  frame->m_format[0] = tag[0];
  frame->m_format[1] = tag[1];
  const char *format = frame->m_format;
  if (!iofmt_is_live(tag[0])) return IO_BAD_FILE;
  const int32_t width = record->m_offsetwidth;
  const int64_t field = iofmt_length_field_size(tag[0], width);
  if (ioframe_read_length(stream, format, width, &frame->m_length) != IO_OK)
    return io_read_failure(stream) ? IO_READ_ERR : IO_BAD_FILE;
  frame->m_start = position + 3 + field;
  if (frame->m_length < 1 || frame->m_length > size - frame->m_start - field) return IO_BAD_FILE;
  char start[9] = {0};
  if (wezreadString(nullptr, format, start, 8, 1, 8, stream) != IO_OK || memcmp(start, "*DATASET", 8) != 0)
    return io_read_failure(stream) ? IO_READ_ERR : IO_BAD_FILE;
  int status = ioframe_read_header(nullptr, format, stream, frame->m_start, frame->m_length, header);
  if (status == IO_OK) frame->m_headed = 1;
  if (io_read_failure(stream)) return IO_READ_ERR;
  if (status != IO_OK) return IO_BAD_FILE;
  frame->m_data = io_tell(stream);
  if (frame->m_data < 0) return IO_TELL_ERR;
  if (entry) return frame->m_length == entry->m_length && namesEntry(header, entry) ? IO_OK : IO_BAD_FILE;
  // No entry: the closing field is the second witness.
  int64_t closing = 0;
  status = ioframe_read_closing(stream, format, width, frame->m_start, frame->m_length, &closing);
  if (io_read_failure(stream)) return IO_READ_ERR;
  if (status != IO_OK) return IO_BAD_FILE;
  return io_seek(stream, frame->m_data, 0) == 0 ? IO_OK : IO_SEEK_ERR;
}

void ioframe_report_disagreement(IO_error_callback callback, const char *who, const IO_match *entry,
                                 const IO_frame *frame, const IO_header *header,
                                 const char *outcome) {
  if (frame->m_headed)
    io_report_error(callback,
                    "%s: the index names %s:%s:%d of length %" PRId64 " at offset %" PRId64
                    " but the dataset there is %s:%s:%d of length %" PRId64 "; %s",
                    who, entry->m_what, entry->m_where, entry->m_when, entry->m_length, entry->m_position,
                    header->m_what, header->m_where, *header->m_when, frame->m_length, outcome);
  else
    io_report_error(callback,
                    "%s: the index names %s:%s:%d of length %" PRId64 " at offset %" PRId64
                    " but no whole dataset stands there; %s",
                    who, entry->m_what, entry->m_where, entry->m_when, entry->m_length, entry->m_position,
                    outcome);
}

int ioframe_check_table(IO_file *record) {
  IO_index *table = record->m_indextable;
  if (!record->m_stream || !table) return IO_OK;
  IO_error_callback callback = record->m_callback;
  record->m_skippedfrom = record->m_skippedbytes = 0;
  record->m_skippedentry = 0;
  // In file order, so that the frames are read as they stand, one after the other. The position
  // ends an entry; an entry that does not parse at all was refused with the stored index.
  std::vector<std::pair<int64_t, int32_t>> live;
  for (int32_t slot = 0; slot < indextable_count(table); ++slot) {
    const char *text = indextable_entry(table, slot);
    const char *last = text && text[0] == 'Y' ? strrchr(text, 27) : nullptr;
    if (last) live.emplace_back(strtoll(last + 1, nullptr, 10), slot);
  }
  std::sort(live.begin(), live.end());
  IO_match entry;
  const int64_t size = ioframe_file_size(record->m_stream);
  IO_header *header = ioheader_alloc(callback);
  if (!header) return IO_ALLOC_ERR;
  int status = IO_OK;
  for (const auto &[position, slot] : live) {
    char *text = indextable_entry(table, slot);
    if (parseindex(nullptr, text, &entry) != IO_OK) continue;
    IO_frame frame;
    status = ioframe_read(record, size, position, &entry, header, &frame);
    if (status == IO_OK) continue;
    if (status != IO_BAD_FILE) break;
    status = IO_OK;
    ioframe_report_disagreement(callback, "iif_open", &entry, &frame, header, "it is left out");
    text[0] = 'N';
    if (record->m_skippedbytes == 0) {
      record->m_skippedfrom = position;
      record->m_skippedentry = slot + 1;
    }
    record->m_skippedbytes += entryBytes(record, frame.m_format, &entry);
  }
  ioheader_free(callback, header);
  return iif_read_failure(record) != 0 ? iif_check_reads(callback, record, "iif_open") : status;
}
