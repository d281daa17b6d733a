// Rebuilding the index table by walking the frames of a data-set file.
#include "io_rebuild.h"

#include "io_error.h"
#include "io_file.h"
#include "io_format.h"
#include "io_frame.h"
#include "io_header.h"
#include "io_index.h"
#include "io_records.h"
#include "lowlevel_io.h"

#include <cinttypes>
#include <cstring>
#include <string>
#include <unordered_map>

namespace {

const char kEsc = 27;

bool nameFitsEntry(const char *name) { return !strchr(name, kEsc) && !strchr(name, '\n'); }

// What, where and when of an entry, each followed by ESC: the part of an entry that names its
// data set.
std::string entryKey(const char *what, const char *where, int32_t when) {
  return std::string(what) + kEsc + where + kEsc + std::to_string(when) + kEsc;
}

struct Scan {
  IO_error_callback m_callback;
  IO_file *m_record;
  FILE *m_stream;
  int64_t m_size;
  IO_header *m_header;
  bool m_badheader; // a whole frame whose header cannot be read: damage, not a cut-off tail
  // The last deleted frame of each data set met (by entryKey): frames are only ever appended, so
  // a live frame before it was replaced, then the replacement erased.
  std::unordered_map<std::string, int64_t> m_erased;
};

enum { kContinue = -1 };

// The frame's start tag and header, read quietly from the stream's position into the scan's
// header: whether both are there.
bool readFrameHeader(Scan *scan, const char *format) {
  char start[9] = {0};
  return wezreadString(nullptr, format, start, 8, 1, 8, scan->m_stream) == IO_OK && memcmp(start, "*DATASET", 8) == 0 &&
         read_header(nullptr, format, scan->m_stream, scan->m_header) == IO_OK;
}

// A data set whose writing never finished (first length field 0 or cut off by the end of the
// file): nothing after it is live, since data sets are only written at the end of the live ones.
int endAtUnfinished(Scan *scan, const char *format, int64_t p, bool zeroLength) {
  scan->m_record->m_damagedfrom = p;
  if (zeroLength && readFrameHeader(scan, format))
    io_report_error(scan->m_callback,
                    "recreate_indextable: dataset length of zero in dataset %s:%s:%d at offset "
                    "%" PRId64 ": assuming interrupted write and terminating scan.",
                    scan->m_header->m_what, scan->m_header->m_where, *scan->m_header->m_when, p);
  else
    io_report_error(scan->m_callback,
                    "recreate_indextable: dataset length of zero in dataset at offset %" PRId64
                    " (format %c%c): assuming incomplete file and terminating scan.",
                    p, io_format_char(format[0], '?'), io_format_char(format[1], '?'));
  return IO_OK;
}

// A data set's frame, its header read from s (the frame's data start) on: indexed once its closing
// length field agrees with the first; kContinue, or the status of the fault.
int indexDataSet(Scan *scan, const char *format, int64_t p, int64_t s, int64_t length) {
  IO_error_callback callback = scan->m_callback;
  FILE *stream = scan->m_stream;
  int status = ioframe_read_header(callback, format, stream, s, length, scan->m_header);
  const IO_header *h = scan->m_header;
  if (status == IO_READ_ERR) {
    io_report_error(callback, "recreate_indextable: read header failed\n");
    scan->m_badheader = true;
    return status;
  }
  // A header that runs past the frame's own end is damage: indexed, its frame end would become
  // the write position and the next write would overwrite the rest of the header.
  if (status != IO_OK) {
    io_report_error(callback,
                    "recreate_indextable: header of dataset %s:%s:%d at offset %" PRId64
                    " runs past its length %" PRId64,
                    h->m_what, h->m_where, *h->m_when, p, length);
    return status;
  }
  // The closing length field first: a frame that cannot be walked over gets no entry, so that
  // a walk ending at it leaves nothing in the table that the next write would overwrite. With no
  // entry to witness the length, both fields must agree: a frame whose fields disagree does not
  // end where its first field says, and what follows it would be written over its real end.
  int64_t second = 0;
  status = ioframe_read_closing(stream, format, scan->m_record->m_offsetwidth, s, length, &second);
  if (status == IO_READ_ERR) {
    io_report_error(callback,
                    "recreate_indextable: error %d reading final dataset length for %s:%s:%d at "
                    "offset %" PRId64,
                    status, h->m_what, h->m_where, *h->m_when, p);
    return status;
  }
  if (status != IO_OK) {
    io_report_error(callback,
                    "recreate_indextable: final dataset length field %" PRId64
                    " differs from original dataset length field %" PRId64 " in dataset %s:%s:%d",
                    second, length, h->m_what, h->m_where, *h->m_when);
    return status;
  }
  if (nameFitsEntry(h->m_what) && nameFitsEntry(h->m_where)) {
    char entry[3 * IO_NAME_LEN + 80];
    snprintf(entry, sizeof entry, "Y%c%s%c%s%c%d%c%" PRId64 "%c%" PRId64, kEsc, h->m_what, kEsc,
             h->m_where, kEsc, *h->m_when, kEsc, length, kEsc, p);
    io_trace("recreate_indextable: %s", entry);
    status = insert_index(callback, scan->m_record, entry);
    if (status != IO_OK) {
      io_report_error(callback, "recreate_indextable: insert_index  failed\n");
      return status;
    }
  } else {
    // A name holding the entry separators cannot be indexed (this library never writes one): the
    // data set is left out, and said so.
    IO_file *record = scan->m_record;
    int64_t bytes = s + length + iofmt_length_field_size(format[0], record->m_offsetwidth) - p;
    io_report_error(callback,
                    "recreate_indextable: warning: the %" PRId64 " bytes of the dataset at offset %" PRId64
                    " have been left out: its name cannot be held by the index",
                    bytes, p);
    if (record->m_skippedbytes == 0) record->m_skippedfrom = p;
    record->m_skippedbytes += bytes;
    ++record->m_skippedcount;
  }
  return kContinue;
}

// A stored index met on the walk is stepped over: its closing fields (length and position) must
// be readable. kContinue, or the status of the fault.
int skipStoredIndex(Scan *scan, int64_t s, int64_t length) {
  IO_error_callback callback = scan->m_callback;
  FILE *stream = scan->m_stream;
  int64_t a = 0, b = 0;
  if (io_seek(stream, s + length, 0) != 0) {
    io_report_error(callback, "recreate_indextable: fseek failed\n");
    return IO_SEEK_ERR;
  }
  int32_t width = scan->m_record->m_offsetwidth;
  if (ioframe_read_length(stream, "F", width, &a) != IO_OK) {
    io_report_error(callback,
                    "recreate_indextable: failed to read first offset from skipped index");
    return IO_READ_ERR;
  }
  if (ioframe_read_length(stream, "F", width, &b) != IO_OK) {
    io_report_error(callback,
                    "recreate_indextable: failed to read second offset from skipped index");
    return IO_READ_ERR;
  }
  return kContinue;
}

int liveFrame(Scan *scan, const char *format, int64_t p) {
  IO_error_callback callback = scan->m_callback;
  FILE *stream = scan->m_stream;
  int64_t field = iofmt_length_field_size(format[0], scan->m_record->m_offsetwidth);
  if (p + 3 + field > scan->m_size) return endAtUnfinished(scan, format, p, false);
  // Read strictly: a length field that is not what a writer writes is not taken for the 0 of an
  // unfinished write, which would end the walk and hide what follows.
  int64_t length = 0;
  int status = ioframe_read_length(stream, format, scan->m_record->m_offsetwidth, &length);
  if (status != IO_OK) {
    io_report_error(callback,
                    "recreate_indextable: error %d reading dataset length at offset %" PRId64,
                    status, p);
    return status;
  }
  if (length == 0) return endAtUnfinished(scan, format, p, true);
  int64_t s = io_tell(stream);
  if (s < 0) {
    io_report_error(callback, "recreate_indextable: ftell failed for start position\n");
    return IO_TELL_ERR;
  }
  if (length < 0 || length > scan->m_size) {
    io_report_error(callback, "recreate_indextable: bad dataset length %" PRId64, length);
    return IO_FORMAT_ERR;
  }
  char tag[9] = {0};
  if (wezreadString(nullptr, format, tag, 8, 1, 8, stream) != IO_OK) tag[0] = '\0';
  bool within = s + length + field <= scan->m_size;
  if (!within && memcmp(tag, "*INDEX", 6) == 0) {
    io_report_error(callback,
                    "recreate_indextable: warning: truncated (or bad) index data at end of file "
                    "while rebuilding index, file is corrupt but probably recoverable, "
                    "continuing.  [%" PRId64 " + %" PRId64 " > %" PRId64 "]",
                    s, length, scan->m_size);
    scan->m_record->m_indexlocation = p;
    return IO_OK;
  }
  // Every frame must lie within the file, so that the walk always moves forward.
  if (!within) {
    io_report_error(callback, "recreate_indextable: bad dataset length %" PRId64, length);
    return IO_FORMAT_ERR;
  }
  if (memcmp(tag, "*DATASET", 8) == 0) return indexDataSet(scan, format, p, s, length);
  if (memcmp(tag, "*INDEX", 6) == 0) return skipStoredIndex(scan, s, length);
  io_report_error(callback, "recreate_indextable: can't find the starting tag\n");
  return IO_BAD_FILE;
}

// How reading the two length fields of a frame went.
enum FrameLengths { kLengthsRead, kFirstUnread, kFirstBad, kSkipFailed, kSecondUnread };

// The two length fields of a frame whose tag stands at p, read in a format. The first must be a
// length that keeps the frame within the file, so that the walk moves forward. Fields not read
// are 0.
FrameLengths frameLengths(Scan *scan, const char *format, int64_t p, int64_t *first,
                          int64_t *second) {
  *first = *second = 0;
  int32_t width = scan->m_record->m_offsetwidth;
  int64_t field = iofmt_length_field_size(format[0], width);
  if (io_seek(scan->m_stream, p + 3, 0) != 0 ||
      ioframe_read_length(scan->m_stream, format, width, first) != IO_OK)
    return kFirstUnread;
  int64_t s = p + 3 + field;
  if (*first < 1 || *first > scan->m_size - s - field) return kFirstBad;
  if (io_seek(scan->m_stream, s + *first, 0) != 0) return kSkipFailed;
  if (ioframe_read_length(scan->m_stream, format, width, second) != IO_OK) return kSecondUnread;
  return kLengthsRead;
}

// Notes the data set of a deleted frame whose lengths were read in the format (the stream at its
// end, where it is left): any live frame of that data set before it is no longer current. A
// header that does not read names nothing.
void noteErased(Scan *scan, const char *format, int64_t p) {
  FILE *stream = scan->m_stream;
  int64_t end = io_tell(stream);
  if (end < 0 || io_seek(stream, p + 3 + iofmt_length_field_size(format[0], scan->m_record->m_offsetwidth), 0) != 0)
    return;
  if (readFrameHeader(scan, format)) {
    const IO_header *h = scan->m_header;
    if (nameFitsEntry(h->m_what) && nameFitsEntry(h->m_where))
      scan->m_erased[entryKey(h->m_what, h->m_where, *h->m_when)] = p;
  }
  io_seek(stream, end, 0);
}

// A deleted data set: skipped by its length fields, which must agree. No entry.
int deletedFrame(Scan *scan, const char *tag, int64_t p) {
  IO_error_callback callback = scan->m_callback;
  char format[3];
  int64_t first = 0, second = 0;
  if (iofmt_deleted_format(tag, format) == 1) {
    // The old style does not record the format: the first that fits is taken.
    const char *const tries[] = {"U", "u", "F"};
    for (const char *f : tries) {
      if (frameLengths(scan, f, p, &first, &second) == kLengthsRead && first == second) {
        noteErased(scan, f, p);
        return kContinue;
      }
    }
    io_report_error(callback,
                    "recreate_indextable: Bad file: final dataset length field %" PRId64
                    " is bad, or differs from original dataset length field %" PRId64
                    " in deleted dataset with old-style format %s\n",
                    second, first, "D");
    return IO_BAD_FILE;
  }
  switch (iofmt_is_live(format[0]) ? frameLengths(scan, format, p, &first, &second)
                                  : kFirstUnread) {
  case kLengthsRead:
    // Walked as a live frame is: by its first length field. A live data set whose second field
    // disagrees is indexed and readable, so deleting it must not make the file unreadable.
    if (first != second)
      io_trace("recreate_indextable: final dataset length field %" PRId64
               " differs from original dataset length field %" PRId64
               " in deleted dataset with byte-order-specific format %s",
               second, first, format);
    noteErased(scan, format, p);
    return kContinue;
  case kFirstUnread:
    io_report_error(callback,
                    "recreate_indextable: error reading initial dataset length in dataset of "
                    "format %c%c, starting at offset %" PRId64 "\n",
                    io_format_char(tag[0], '?'), io_format_char(tag[1], '?'), p);
    return IO_READ_ERR;
  case kFirstBad:
    // A length that would leave the file or turn the walk back.
    io_report_error(callback, "recreate_indextable: bad dataset length %" PRId64, first);
    return IO_FORMAT_ERR;
  case kSkipFailed:
    io_report_error(callback,
                    "recreate_indextable: fseek of %" PRId64
                    " to skip dataset starting at %" PRId64 " failed",
                    first, p);
    return IO_SEEK_ERR;
  case kSecondUnread: break;
  }
  io_report_error(callback,
                  "recreate_indextable: error %s [%d] reading final dataset length in dataset of "
                  "format %c%c, starting at offset %" PRId64 ", expected length %" PRId64 "\n",
                  io_status_text(IO_READ_ERR), IO_READ_ERR, io_format_char(format[0], '?'),
                  io_format_char(format[1], '?'), p, first);
  return IO_READ_ERR;
}

// Whether the bytes "*DATASET" (the start of every data set frame, text or binary) stand
// anywhere from `from` to the end of the file.
bool laterDataSet(Scan *scan, int64_t from) {
  static const char kStart[] = "*DATASET";
  const size_t n = sizeof kStart - 1;
  if (from < 0 || from >= scan->m_size || io_seek(scan->m_stream, from, 0) != 0) return false;
  char buffer[65536];
  size_t kept = 0;
  for (;;) {
    size_t got = io_fread(buffer + kept, 1, sizeof buffer - kept, scan->m_stream);
    if (got == 0) return false;
    size_t have = kept + got;
    for (size_t i = 0; i + n <= have; ++i)
      if (buffer[i] == '*' && memcmp(buffer + i, kStart, n) == 0) return true;
    // A start cut by the buffer end is looked at again with the next bytes.
    kept = have < n - 1 ? have : n - 1;
    memmove(buffer, buffer + have - kept, kept);
  }
}

// Damage that ends the walk: when no data set starts after it, it is the tail of a file cut
// short or of a superseded index, and every complete data set before it is kept (the next write
// replaces the damage). `own` is where the frame's own start tag would stand.
bool trailingDamage(Scan *scan, int status, int64_t p, int64_t own) {
  if (status != IO_READ_ERR && status != IO_FORMAT_ERR && status != IO_BAD_FILE) return false;
  if (scan->m_badheader) return false;
  // Bytes the disc failed to deliver are no damage, and neither is what a failed look beyond
  // them missed.
  if (iif_read_failure(scan->m_record) != 0 || laterDataSet(scan, own + 1) ||
      iif_read_failure(scan->m_record) != 0)
    return false;
  io_report_error(scan->m_callback,
                  "recreate_indextable: warning: damaged or incomplete data at offset %" PRId64
                  " after the last complete dataset, terminating scan there (%" PRId64 " bytes left out).",
                  p, scan->m_size - p);
  scan->m_record->m_indexlocation = p;
  scan->m_record->m_damagedfrom = p;
  return true;
}

// A live frame written before a deleted frame of the same data set was replaced by a frame that
// was then erased: the erasure stands, whether or not the replacement got round to tagging it.
void dropErased(Scan *scan) {
  IO_index *table = scan->m_record->m_indextable;
  if (scan->m_erased.empty() || !table) return;
  IO_match match;
  for (int32_t slot = 0; slot < indextable_count(table); ++slot) {
    char *entry = indextable_entry(table, slot);
    if (!entry || entry[0] != 'Y' || parseindex(nullptr, entry, &match) != IO_OK) continue;
    auto erased = scan->m_erased.find(entryKey(match.m_what, match.m_where, match.m_when));
    if (erased == scan->m_erased.end() || erased->second < match.m_position) continue;
    io_trace("recreate_indextable: %s:%s:%d at %" PRId64 " was erased after it was replaced", match.m_what,
             match.m_where, match.m_when, match.m_position);
    entry[0] = 'N';
  }
}

int badFile(Scan *scan, const char *bytes, int64_t p) {
  io_report_error(scan->m_callback,
                  "recreate_indextable: Bad file: expected dataset, index or end, got \"%s\" at "
                  "byte %" PRId64 "\n",
                  bytes, p);
  return IO_BAD_FILE;
}

} // namespace

int recreate_indextable(IO_error_callback callback, IO_file *record) {
  if (!record || !record->m_stream) return IO_MEMORY_ERR;
  FILE *stream = record->m_stream;
  Scan scan = {callback, record, stream, -1, nullptr, false, {}};
  if (io_seek(stream, 0, 2) != 0 || (scan.m_size = io_tell(stream)) < 0 ||
      io_seek(stream, 0, 0) != 0) {
    io_report_error(callback, "recreate_indextable: can not tell the dataset location\n");
    return IO_TELL_ERR;
  }
  ++record->m_rebuilds;
  record->m_damagedfrom = 0;
  record->m_skippedfrom = record->m_skippedbytes = 0;
  record->m_skippedentry = record->m_skippedcount = record->m_skippedframed = 0;
  if (alloc_indextable(record) != IO_OK) {
    io_report_syserr(callback, "recreate_indextable: (malloc failed) syserr:");
    return IO_MEMORY_ERR;
  }
  scan.m_header = ioheader_alloc(callback);
  if (!scan.m_header) return IO_MEMORY_ERR;
  int status = kContinue;
  while (status == kContinue) {
    int64_t p = io_tell(stream);
    if (p < 0 || p > scan.m_size) {
      io_report_error(callback, "recreate_indextable: can not tell the dataset location\n");
      status = IO_TELL_ERR;
      break;
    }
    record->m_indexlocation = p;
    char tag[7] = {0};
    if (io_fread(tag, 1, 3, stream) < 3) {
      status = IO_OK;
      break;
    }
    if (iofmt_is_live(tag[0])) {
      char format[3] = {tag[0], tag[1], '\0'};
      status = liveFrame(&scan, format, p);
    } else if (iofmt_is_deleted(tag[0])) {
      status = deletedFrame(&scan, tag, p);
    } else if (memcmp(tag, "*IN", 3) == 0) {
      int64_t ignored = 0;
      if (io_seek(stream, p + 6, 0) != 0) {
        io_report_error(callback, "recreate_indextable: fseek +IO_INFO failed");
        status = IO_SEEK_ERR;
      } else {
        ioframe_read_length(stream, "F", record->m_offsetwidth, &ignored);
        if (io_seek(stream, p + 6 + record->m_offsetwidth + 1 + 9, 0) != 0) {
          io_report_error(callback, "recreate_indextable: fseek +IO_ENDINFO failed");
          status = IO_SEEK_ERR;
        }
      }
    } else if (memcmp(tag, "*CR", 3) == 0) {
      if (io_seek(stream, p, 0) != 0 || io_fread(tag, 1, 6, stream) < 6) {
        status = IO_OK;
      } else if (memcmp(tag, "*CRASH", 6) == 0) {
        io_report_error(callback, "recreate_indextable: warning: file was not closed correctly, "
                                  "data may be inconsistent");
        status = IO_OK;
      } else {
        status = badFile(&scan, tag, p);
      }
    } else {
      tag[3] = '\0';
      status = badFile(&scan, tag, p);
    }
    if (status != kContinue && status != IO_OK) {
      // The frame's own start tag lies after its letter, second byte, LF and first length field.
      char letter = tag[0];
      char format[3];
      if (iofmt_is_deleted(letter))
        letter = iofmt_deleted_format(tag, format) == 0 ? format[0] : 'F';
      int64_t own = iofmt_is_live(letter) ? p + 3 + iofmt_length_field_size(letter, record->m_offsetwidth)
                                         : p;
      if (trailingDamage(&scan, status, p, own)) status = IO_OK;
    }
  }
  ioheader_free(callback, scan.m_header);
  // A read the system failed ends the walk short of the end of the data, whatever the walk made
  // of it: the table would lack what lies beyond, and the next write would go over it.
  if (iif_read_failure(record) != 0) return iif_check_reads(callback, record, "recreate_indextable");
  if (status == IO_OK) dropErased(&scan);
  if (status == IO_OK && record->m_indextable) record->m_indextable->m_sorted = 0;
  return status;
}
