// Copying data sets between data-set files.
#include "io_copy.h"

#include "get_ds_location.h"
#include "io_alloc.h"
#include "io_error.h"
#include "io_format.h"
#include "io_frame.h"
#include "io_header.h"
#include "io_index.h"
#include "lowlevel_io.h"
#include "zyrFault.h"

#include <cerrno>
#include <cinttypes>
#include <cstring>

namespace {

const char kEsc = 27;
// Bytes moved per read and write: a bounded buffer, whatever length the source claims.
const int64_t kCopyBlock = 1 << 20;
const int64_t kSmallBlock = 100000;

// Moves `bytes` bytes from the source's position to the destination's. 0 or a status.
int copyBytes(IO_error_callback callback, FILE *from, FILE *to, int64_t bytes) {
  if (bytes == 0) return IO_OK;
  int64_t block = bytes < kCopyBlock ? bytes : kCopyBlock;
  char *buffer = static_cast<char *>(io_malloc(static_cast<size_t>(block)));
  if (!buffer && block > kSmallBlock) {
    block = kSmallBlock;
    buffer = static_cast<char *>(io_malloc(static_cast<size_t>(block)));
  }
  if (!buffer) {
    io_report_malloc_error(callback, "copy_dataset", block);
    return IO_ALLOC_ERR;
  }
  int64_t blocks = bytes / block, rest = bytes % block;
  int status = IO_OK;
  for (int64_t i = 0; i < blocks && status == IO_OK; ++i) {
    errno = 0;
    size_t got = io_fread(buffer, 1, static_cast<size_t>(block), from);
    if (got != static_cast<size_t>(block)) {
      io_report_syserr(callback,
                       "copy_dataset: read data block %d/%d failed: read %d bytes, expected %d, "
                       "dataset is %" PRId64 " bytes",
                       static_cast<int32_t>(i), static_cast<int32_t>(blocks),
                       static_cast<int32_t>(got), static_cast<int32_t>(block), bytes);
      status = IO_READ_ERR;
    } else if (zyrFault_fwrite(buffer, 1, static_cast<size_t>(block), to) != static_cast<size_t>(block)) {
      io_report_syserr(callback, "copy_dataset: (write data block failed) syserr:");
      status = IO_WRITE_ERR;
    }
  }
  if (status == IO_OK && rest > 0) {
    errno = 0;
    if (io_fread(buffer, 1, static_cast<size_t>(rest), from) != static_cast<size_t>(rest)) {
      io_report_syserr(callback, "copy_dataset: read remaining data failed");
      status = IO_READ_ERR;
    } else if (zyrFault_fwrite(buffer, 1, static_cast<size_t>(rest), to) != static_cast<size_t>(rest)) {
      io_report_syserr(callback, "copy_dataset: (write remaining data failed) syserr:");
      status = IO_WRITE_ERR;
    }
  }
  io_free(buffer);
  return status;
}

// The header of a data set being copied, as read from its source.
struct SourceHeader {
  IO_header *m_header = ioheader_alloc(nullptr);
  ~SourceHeader() { ioheader_free(nullptr, m_header); }
  SourceHeader() = default;
  SourceHeader(const SourceHeader &) = delete;
  SourceHeader &operator=(const SourceHeader &) = delete;
};

// Writes the source's header to the destination under the new key.
int writeHeaderAs(IO_error_callback callback, const char *format, IO_header *header,
                  const char *what, const char *where, int32_t when, FILE *destination) {
  io_trace("Copying dataset %s:%s:%d to %s:%s:%d", header->m_what, header->m_where,
           *header->m_when, what, where, when);
  if (strlen(what) >= IO_NAME_LEN || strlen(where) >= IO_NAME_LEN) {
    io_report_error(callback, "copy_dataset: error writing header\n");
    return IO_DATA_ERR;
  }
  strcpy(header->m_what, what);
  strcpy(header->m_where, where);
  *header->m_when = when;
  int status = write_header(callback, format, destination, header);
  if (status != IO_OK) io_report_error(callback, "copy_dataset: error writing header\n");
  return status;
}

// The greatest when of 1 or more among the valid entries of one what and where.
struct WhenGroup {
  char m_key[IO_INDEX_ENTRY_LEN]; // what ESC where ESC
  size_t m_length;
  int32_t m_greatest;
};

int32_t greatestWhen(IO_index *table, const IO_match &match, WhenGroup *group) {
  char key[IO_INDEX_ENTRY_LEN];
  int n = snprintf(key, sizeof key, "%s%c%s%c", match.m_what, kEsc, match.m_where, kEsc);
  if (n < 0 || static_cast<size_t>(n) >= sizeof key) return match.m_when;
  size_t length = static_cast<size_t>(n);
  if (group->m_length == length && memcmp(group->m_key, key, length) == 0)
    return group->m_greatest;
  memcpy(group->m_key, key, length);
  group->m_length = length;
  group->m_greatest = match.m_when;
  int32_t first, end;
  indextable_what_bounds(table, key, length, &first, &end);
  IO_order_cursor cursor;
  ioorder_seek(&table->m_whatorder, first, &cursor);
  IO_match other;
  for (int32_t rank = first; rank < end; ++rank, ioorder_next(&table->m_whatorder, &cursor)) {
    const char *entry = indextable_entry(table, ioorder_entry(&table->m_whatorder, &cursor));
    if (entry && entry[0] == 'Y' && parseindex(nullptr, entry, &other) == IO_OK &&
        other.m_when > group->m_greatest)
      group->m_greatest = other.m_when;
  }
  return group->m_greatest;
}

// A source data set's frame, read up to its data.
struct SourceFrame {
  char m_tag[3] = {0, 0, 0};
  IO_frame m_frame;
  bool m_deleted = false;
  SourceHeader m_held;
};

// Reads the source frame at the stream's position: tag, length field, start tag and header. It
// must hold as every reader of frames takes it (io_frame.h): with the entry that names it as the
// witness when one is given, so that a data set that a read through the entry could not give is
// not made readable under that key. 0 (m_deleted for a deleted frame, which has nothing to copy)
// or a status.
int readSourceFrame(IO_error_callback callback, IO_file *source, const IO_match *named, SourceFrame *frame) {
  FILE *from = source->m_stream;
  const int64_t position = io_tell(from);
  errno = 0;
  if (position < 0 || io_fread(frame->m_tag, 1, 3, from) != 3) {
    io_report_syserr(callback, "copy_dataset: (read format) syserr:");
    return IO_READ_ERR;
  }
  const char *tag = frame->m_tag;
  frame->m_deleted = iofmt_is_deleted(tag[0]) != 0;
  if (frame->m_deleted) return IO_OK;
  if (!iofmt_is_valid(tag[0])) {
    io_report_error(callback,
                    "copy_dataset: the source data set location is incorrect: bad format type in "
                    "%c%c",
                    io_format_char(tag[0], ' '), io_format_char(tag[1], ' '));
    return IO_READ_ERR;
  }
  IO_header *header = frame->m_held.m_header;
  if (!header) {
    io_report_error(callback, "copy_dataset: error allocating local header\n");
    return IO_ALLOC_ERR;
  }
  const int status = ioframe_read(source, ioframe_file_size(from), position, named, header, &frame->m_frame);
  if (status == IO_BAD_FILE && named) {
    ioframe_report_disagreement(callback, "copy_dataset", named, &frame->m_frame, header, "it is not copied");
  } else if (status == IO_BAD_FILE) {
    io_report_error(callback,
                    "copy_dataset: the data set at offset %" PRId64 " is not whole; it is not copied",
                    position);
  } else if (status != IO_OK) {
    io_report_syserr(callback, "copy_dataset: reading the data set at offset %" PRId64 " failed", position);
  }
  return status;
}

// Writes a first length field at the destination's position and flushes it.
int writeFirstLength(IO_error_callback callback, const char *format, int64_t length, IO_file *destination) {
  int status = wezwriteOffset(callback, format, length, destination->m_offsetwidth, destination->m_stream);
  if (status == IO_OK && zyrFault_fflush(destination->m_stream) != 0) {
    io_report_syserr(callback, "copy_dataset: (flushing the data length) syserr:");
    status = IO_WRITE_ERR;
  }
  if (status != IO_OK) io_report_error(callback, "copy_dataset: writing data length failed\n");
  return status;
}

// Writes the frame's tag and a first length field of 0 at the destination's index location; the
// position of that field in *lengthField. 0 or a status.
int startDestinationFrame(IO_error_callback callback, const SourceFrame &frame, IO_file *destination,
                          int64_t *lengthField) {
  FILE *to = destination->m_stream;
  if (io_seek(to, destination->m_indexlocation, 0) != 0) {
    io_report_syserr(callback, "copy_dataset: (seek index location) syserr:");
    return IO_SEEK_ERR;
  }
  errno = 0;
  if (zyrFault_fwrite(frame.m_tag, 1, 3, to) != 3) {
    io_report_syserr(callback, "copy_dataset: (write format) syserr:");
    return IO_WRITE_ERR;
  }
  *lengthField = io_tell(to);
  if (*lengthField < 0) {
    io_report_error(callback, "copy_dataset: error telling destination file dslength position");
    return IO_TELL_ERR;
  }
  // 0 until the copy is complete, so that a copy cut off anywhere shows as unfinished.
  return writeFirstLength(callback, frame.m_frame.m_format, 0, destination);
}

// Writes the source frame, read up to its data, at the destination's index location under the new
// key: start tag, header, data, closing length field and end tag, then the first length field,
// written last. Its length in *length; the destination's index location moves past it. 0 or a
// status.
int writeDestinationFrame(IO_error_callback callback, const char *what, const char *where, int32_t when,
                          SourceFrame *frame, FILE *from, IO_file *destination, int64_t *length) {
  FILE *to = destination->m_stream;
  const char *format = frame->m_frame.m_format;
  int64_t lengthField = -1;
  int status = startDestinationFrame(callback, *frame, destination, &lengthField);
  if (status != IO_OK) return status;
  const int64_t destinationStart = io_tell(to);
  if (destinationStart < 0) {
    io_report_syserr(callback, "%s", "copy_dataset: error telling destination file start position");
    return IO_TELL_ERR;
  }
  status = wezwriteString(callback, format, "*DATASET", 8, 1, 8, to);
  if (status != IO_OK) {
    io_report_error(callback, "write_dataset: can't write dataset tag\n");
    return status;
  }
  status = writeHeaderAs(callback, format, frame->m_held.m_header, what, where, when, to);
  if (status != IO_OK) return status;
  const int64_t destinationData = io_tell(to);
  if (destinationData < 0) {
    io_report_syserr(callback, "%s", "copy_dataset: error telling destination file data position");
    return IO_TELL_ERR;
  }
  // The frame held: its data and end tag lie within the source file.
  const IO_frame &source = frame->m_frame;
  int64_t bytes = source.m_length - (source.m_data - source.m_start);
  *length = bytes + (destinationData - destinationStart);
  status = copyBytes(callback, from, to, bytes);
  if (status != IO_OK) return status;
  status = wezwriteOffset(callback, format, *length, destination->m_offsetwidth, to);
  if (status != IO_OK) {
    io_report_error(callback, "copy_dataset: writing data length failed\n");
    return status;
  }
  int64_t end = io_tell(to);
  if (end < 0) {
    io_report_syserr(callback, "copy_dataset: (tell the indexlocation) syserr:");
    return IO_TELL_ERR;
  }
  status = wezwriteString(callback, format, "*CRASH", 6, 1, 6, to);
  if (status != IO_OK) {
    io_report_error(callback, "copy_dataset: can't write file end tag\n");
    return status;
  }
  destination->m_indexlocation = end;
  if (io_seek(to, lengthField, 0) != 0) {
    io_report_syserr(callback, "copy_dataset: (seek starting dslength location) syserr:");
    return IO_SEEK_ERR;
  }
  return writeFirstLength(callback, format, *length, destination);
}

} // namespace

int copy_dataset(IO_error_callback callback, const char *what, const char *where, int32_t when,
                 IO_file *destination, IO_file *source, const IO_match *named) {
  if (!what || !where || !destination || !destination->m_stream || !source ||
      !source->m_stream) {
    io_report_error(callback, "copy_dataset: passing parameters are wrong");
    return IO_MEMORY_ERR;
  }
  SourceFrame frame;
  int status = readSourceFrame(callback, source, named, &frame);
  if (status != IO_OK || frame.m_deleted) return status;
  const int64_t position = destination->m_indexlocation;
  int64_t length = 0;
  status = writeDestinationFrame(callback, what, where, when, &frame, source->m_stream, destination, &length);
  if (status != IO_OK) return status;
  char entry[IO_INDEX_ENTRY_LEN + 64];
  snprintf(entry, sizeof entry, "%s%c%s%c%s%c%d%c%" PRId64 "%c%" PRId64, "Y", kEsc, what, kEsc,
           where, kEsc, when, kEsc, length, kEsc, position);
  return insert_index(callback, destination, entry);
}

int copy_all_ds(IO_error_callback callback, IO_file *destination, IO_file *source, int32_t mode) {
  if (!destination || !source) {
    io_report_error(callback, "copy_all_ds: passing parameters are wrong");
    return IO_MEMORY_ERR;
  }
  int status = update_index(callback, source);
  if (status != IO_OK) {
    io_report_error(callback, "copy_all_ds: update_index failed\n");
    return status;
  }
  IO_index *table = source->m_indextable;
  WhenGroup group;
  group.m_length = 0;
  IO_index_cursor cursor;
  indextable_begin(table, &cursor);
  for (int32_t slot; (slot = indextable_next(table, &cursor)) >= 0;) {
    const char *entry = indextable_entry(table, slot);
    if (!entry || entry[0] == 'N') continue;
    IO_match match;
    if (parseindex(callback, entry, &match) != IO_OK) {
      io_report_error(callback, "copy_all_ds: parse index failed\n");
      return IO_DATA_ERR;
    }
    int32_t when = match.m_when;
    if ((mode & 1) && when != 0) continue;
    if ((mode & 2) && when >= 1) {
      // Every positive when becomes 1: only the greatest of a what and where is kept.
      if (when != greatestWhen(table, match, &group)) continue;
      when = 1;
    }
    if (io_seek(source->m_stream, match.m_position, 0) != 0) {
      io_report_syserr(callback, "copy_all_ds: (tell the indexlocation) syserr:");
      return IO_TELL_ERR;
    }
    status = copy_dataset(callback, match.m_what, match.m_where, when, destination, source, &match);
    // What a read through the entry cannot give is left out of the copy.
    if (status == IO_BAD_FILE) continue;
    if (status != IO_OK) {
      io_report_error(callback, "copy_all_ds: copy_dataset failed on %s/%s/%d", match.m_what,
                      match.m_where, when);
      return status;
    }
  }
  return IO_OK;
}

int copy_allvalid_ds(IO_error_callback callback, IO_file *destination, IO_file *source) {
  return copy_all_ds(callback, destination, source, 0);
}

int copy_when0_ds(IO_error_callback callback, IO_file *destination, IO_file *source) {
  return copy_all_ds(callback, destination, source, 1);
}

int copy_all_ds_compress_when(IO_error_callback callback, IO_file *destination,
                              IO_file *source) {
  return copy_all_ds(callback, destination, source, 2);
}
