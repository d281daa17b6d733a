// The frame of a live data set, and the check of index entries against their frames.
#include "io_frame.h"

#include "io_error.h"
#include "io_file.h"
#include "io_format.h"
#include "io_header.h"
#include "io_index.h"
#include "io_pipeline.h"
#include "io_source.h"
#include "lowlevel_io.h"

#include <algorithm>
#include <cstdint>
#include <cerrno>
#include <cinttypes>
#include <cstdlib>
#include <cstring>
#include <new>
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

template <class Source> int readLength(Source &source, const char *format, int32_t width, int64_t *length) {
  char bytes[32];
  size_t field = static_cast<size_t>(iofmt_length_field_size(format[0], width));
  if (field > sizeof bytes || source.read(bytes, field) != field) return IO_READ_ERR;
  return iofmt_parse_length_field(bytes, field, format[0], width, length) ? IO_OK : IO_READ_ERR;
}

template <class Source>
int readHeader(IO_error_callback callback, const char *format, Source &source, int64_t start, int64_t length,
               IO_header *header) {
  if (read_header(callback, format, source, header) != IO_OK) return IO_READ_ERR;
  // A header that runs past the frame's own end belongs to no frame of that length: its end
  // would be taken for the place of the next data set.
  int64_t headerEnd = source.tell();
  return headerEnd >= 0 && headerEnd <= start + length ? IO_OK : IO_FORMAT_ERR;
}

template <class Source>
int readClosing(Source &source, const char *format, int32_t width, int64_t start, int64_t length, int64_t *closing) {
  *closing = -1;
  if (source.seek(start + length) != 0 || readLength(source, format, width, closing) != IO_OK) return IO_READ_ERR;
  return *closing == length ? IO_OK : IO_FORMAT_ERR;
}

// ioframe_read from either source.
template <class Source>
int readFrame(Source &source, int32_t width, int64_t size, int64_t position, const IO_match *entry,
              IO_header *header, IO_frame *frame) {
  memset(frame, 0, sizeof *frame);
  frame->m_position = position;
  frame->m_length = -1;
  char tag[3];
  errno = 0;
  if (size < 0 || position < 0 || source.seek(position) != 0) return IO_SEEK_ERR;
  if (source.read(tag, 3) != 3) return source.failure() ? IO_READ_ERR : IO_BAD_FILE;
  frame->m_format[0] = tag[0];
  frame->m_format[1] = tag[1];
  const char *format = frame->m_format;
  if (!iofmt_is_live(tag[0])) return IO_BAD_FILE;
  const int64_t field = iofmt_length_field_size(tag[0], width);
  if (readLength(source, format, width, &frame->m_length) != IO_OK)
    return source.failure() ? IO_READ_ERR : IO_BAD_FILE;
  frame->m_start = position + 3 + field;
  if (frame->m_length < 1 || frame->m_length > size - frame->m_start - field) return IO_BAD_FILE;
  char start[9] = {0};
  if (ioread_string(nullptr, format, start, 8, 8, source) != IO_OK || memcmp(start, "*DATASET", 8) != 0)
    return source.failure() ? IO_READ_ERR : IO_BAD_FILE;
  int status = readHeader(nullptr, format, source, frame->m_start, frame->m_length, header);
  if (status == IO_OK) frame->m_headed = 1;
  if (source.failure()) return IO_READ_ERR;
  if (status != IO_OK) return IO_BAD_FILE;
  frame->m_data = source.tell();
  if (frame->m_data < 0) return IO_TELL_ERR;
  if (entry) return frame->m_length == entry->m_length && namesEntry(header, entry) ? IO_OK : IO_BAD_FILE;
  // No entry: the closing field is the second witness.
  int64_t closing = 0;
  status = readClosing(source, format, width, frame->m_start, frame->m_length, &closing);
  if (source.failure()) return IO_READ_ERR;
  if (status != IO_OK) return IO_BAD_FILE;
  return source.seek(frame->m_data) == 0 ? IO_OK : IO_SEEK_ERR;
}

} // namespace

int ioframe_read_length(FILE *stream, const char *format, int32_t width, int64_t *length) {
  IO_stream_source source{stream};
  return readLength(source, format, width, length);
}

int ioframe_read_header(IO_error_callback callback, const char *format, FILE *stream, int64_t start,
                        int64_t length, IO_header *header) {
  IO_stream_source source{stream};
  return readHeader(callback, format, source, start, length, header);
}

int ioframe_read_closing(FILE *stream, const char *format, int32_t width, int64_t start,
                         int64_t length, int64_t *closing) {
  IO_stream_source source{stream};
  return readClosing(source, format, width, start, length, closing);
}

int64_t ioframe_file_size(FILE *stream) {
  if (io_seek(stream, 0, 2) != 0) return -1;
  return io_tell(stream);
}

int ioframe_read(IO_file *record, int64_t size, int64_t position, const IO_match *entry,
                 IO_header *header, IO_frame *frame) {
  IO_stream_source source{record->m_stream};
  return readFrame(source, record->m_offsetwidth, size, position, entry, header, frame);
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

namespace {

// The open proves the frames it checks from bytes read ahead in file order, in few reads: the
// frames that lie close together share a window, each up to kReach bytes past its tag (its tag,
// start and header fit there unless it holds a great many attributes); a frame far from the one
// before starts a window of its own, so that the data between them is not read. The windows are
// read by the calling thread, one after another through the stream (a failed read is noted
// against it as ever), and parsed on the workers of the compression (io_pipeline.h).
const int64_t kReach = 4096;
const int64_t kGap = 64 * 1024;
const int64_t kMost = 256 * 1024;
int64_t g_window = 0; // ioframe_set_window's bound, 0 for none

using Live = std::vector<std::pair<int64_t, int32_t>>; // (position, slot), in file order

struct Planned {
  size_t m_first, m_end; // the frames live[m_first, m_end)
  int64_t m_base, m_endByte;
};

// The windows of the frames that lie within the file.
std::vector<Planned> planWindows(const Live &live, int64_t size) {
  const int64_t reach = g_window > 0 ? std::min(kReach, g_window) : kReach;
  const int64_t gap = g_window > 0 ? std::min(kGap, g_window) : kGap;
  const int64_t most = g_window > 0 ? std::min(kMost, g_window) : kMost;
  std::vector<Planned> plans;
  size_t k = 0;
  while (k < live.size() && live[k].first < 0) ++k;
  while (k < live.size() && live[k].first < size) {
    const int64_t base = live[k].first;
    int64_t end = base + reach;
    size_t m = k + 1;
    for (; m < live.size() && live[m].first < size && live[m].first <= end + gap &&
           live[m].first + reach - base <= most;
         ++m)
      end = live[m].first + reach;
    plans.push_back({k, m, base, std::min(end, size)});
    k = m;
  }
  return plans;
}

struct Slot {
  std::vector<char> m_bytes;
  IO_bytes_source m_source;
  IO_header *m_header = nullptr;
};

// The jobs of the pipeline: prepare reads a window, compute proves what frames of it it can.
struct Prover {
  IO_file *m_record;
  int64_t m_size;
  const Live *m_live;
  const std::vector<Planned> *m_plans;
  std::vector<Slot> m_slots;
  std::vector<char> *m_held; // 1 for each frame the bytes prove whole
  int m_status = IO_OK;     // of the read that failed
  size_t m_stop = SIZE_MAX; // the first frame whose window was not read

  Slot &slot(int64_t job) { return m_slots[static_cast<size_t>(job) % m_slots.size()]; }

  bool prepare(int64_t job) {
    const Planned &plan = (*m_plans)[static_cast<size_t>(job)];
    Slot &s = slot(job);
    FILE *stream = m_record->m_stream;
    try {
      s.m_bytes.resize(static_cast<size_t>(plan.m_endByte - plan.m_base));
    } catch (const std::bad_alloc &) {
      return false; // nothing more is proved here: the stream decides the rest
    }
    size_t got = 0;
    if (io_seek(stream, plan.m_base, 0) != 0)
      m_status = IO_SEEK_ERR;
    else if (got = io_fread(s.m_bytes.data(), 1, s.m_bytes.size(), stream), io_read_failure(stream))
      m_status = IO_READ_ERR;
    if (m_status != IO_OK) {
      m_stop = plan.m_first;
      return false;
    }
    s.m_source = IO_bytes_source();
    s.m_source.m_bytes = s.m_bytes.data();
    s.m_source.m_base = plan.m_base;
    s.m_source.m_size = static_cast<int64_t>(got);
    s.m_source.m_whole = plan.m_endByte == m_size && got == s.m_bytes.size();
    return true;
  }

  // Pure: the window's bytes, the table's entries (which nothing changes meanwhile), the slot's
  // header, and the frames' own flags. Nothing is reported: what is not proved here is decided
  // on the stream afterwards, and reported there.
  void compute(int64_t job) {
    const Planned &plan = (*m_plans)[static_cast<size_t>(job)];
    Slot &s = slot(job);
    IO_match entry;
    IO_frame frame;
    for (size_t k = plan.m_first; k < plan.m_end; ++k) {
      const char *text = indextable_entry(m_record->m_indextable, (*m_live)[k].second);
      if (parseindex(nullptr, text, &entry) != IO_OK) continue;
      s.m_source.m_beyond = false;
      (*m_held)[k] = readFrame(s.m_source, m_record->m_offsetwidth, m_size, (*m_live)[k].first, &entry,
                               s.m_header, &frame) == IO_OK &&
                     !s.m_source.m_beyond;
    }
  }

  int emit(int64_t) { return m_status; }
};

// Marks in `held` the frames that bytes read ahead prove whole. IO_OK, or the status of the read
// the system failed, with *stop the first frame whose window was not read.
int proveFrames(IO_file *record, int64_t size, const Live &live, std::vector<char> *held, size_t *stop) {
  *stop = live.size();
  std::vector<Planned> plans;
  try {
    plans = planWindows(live, size);
  } catch (const std::bad_alloc &) {
    return IO_OK; // nothing proved: the stream decides every frame
  }
  if (plans.empty()) return IO_OK;
  // Messages of the trace would come from the workers in any order: with it, one thread works.
  const int threads = io_trace_enabled() ? 1 : io_pipeline_threads();
  Prover prover{record, size, &live, &plans, {}, held};
  try {
    prover.m_slots.resize(static_cast<size_t>(io_pipeline_window(threads)));
  } catch (const std::bad_alloc &) {
    return IO_OK;
  }
  bool headed = true;
  for (Slot &s : prover.m_slots)
    if (!(s.m_header = ioheader_alloc(nullptr))) headed = false;
  int status = IO_OK;
  if (headed) {
    IO_pipeline pipeline = {
        &prover, [](void *p, int64_t job) { return static_cast<Prover *>(p)->prepare(job); },
        [](void *p, int64_t job) { static_cast<Prover *>(p)->compute(job); },
        [](void *p, int64_t job) { return static_cast<Prover *>(p)->emit(job); }, [](void *, int64_t) {}};
    status = io_run_pipeline(static_cast<int64_t>(plans.size()), threads, pipeline);
    if (status != IO_OK) *stop = prover.m_stop;
  }
  for (Slot &s : prover.m_slots) ioheader_free(nullptr, s.m_header);
  return status;
}

// The first data set left out is named by its frame where the frame is whole by itself (its
// closing length field confirms the first): an entry renamed over a whole frame names a data set
// that still reads as ever, while the one the frame holds is the one now read from an older copy.
void nameSkipped(IO_file *record, const IO_frame &frame, const IO_header *header) {
  int64_t closing = 0;
  if (!frame.m_headed || ioframe_read_closing(record->m_stream, frame.m_format, record->m_offsetwidth, frame.m_start,
                                              frame.m_length, &closing) != IO_OK)
    return;
  snprintf(record->m_skippedwhat, sizeof record->m_skippedwhat, "%s", header->m_what);
  snprintf(record->m_skippedwhere, sizeof record->m_skippedwhere, "%s", header->m_where);
  record->m_skippedwhen = *header->m_when;
  record->m_skippedframed = 1;
}

} // namespace

void ioframe_set_window(int64_t most) { g_window = most > 0 ? most : 0; }

int ioframe_read_bytes(IO_bytes_source &source, int32_t width, int64_t size, int64_t position, const IO_match *entry,
                       IO_header *header, IO_frame *frame) {
  return readFrame(source, width, size, position, entry, header, frame);
}

int ioframe_check_table(IO_file *record) {
  IO_index *table = record->m_indextable;
  if (!record->m_stream || !table) return IO_OK;
  IO_error_callback callback = record->m_callback;
  record->m_skippedfrom = record->m_skippedbytes = 0;
  record->m_skippedentry = record->m_skippedcount = record->m_skippedframed = 0;
  // In file order, so that the frames are read as they stand, one after the other. The position
  // ends an entry; an entry that does not parse at all was refused with the stored index.
  Live live;
  std::vector<char> held;
  try {
    for (int32_t slot = 0; slot < indextable_count(table); ++slot) {
      const char *text = indextable_entry(table, slot);
      const char *last = text && text[0] == 'Y' ? strrchr(text, 27) : nullptr;
      if (last) live.emplace_back(io_parse_integer(last + 1), slot);
    }
    held.assign(live.size(), 0);
  } catch (const std::bad_alloc &) {
    io_report_malloc_error(callback, "iif_open", static_cast<int64_t>(indextable_count(table)) * 16);
    return IO_ALLOC_ERR;
  }
  // A stored index is mostly in file order already.
  if (!std::is_sorted(live.begin(), live.end())) std::sort(live.begin(), live.end());
  const int64_t size = ioframe_file_size(record->m_stream);
  size_t stop = live.size();
  int status = proveFrames(record, size, live, &held, &stop);
  IO_header *header = ioheader_alloc(callback);
  if (!header) return IO_ALLOC_ERR;
  // What the bytes did not prove is decided on the stream, which tells failures of the system
  // from damage, and what does not hold is left out and reported, in file order.
  IO_match entry;
  int decided = IO_OK;
  for (size_t k = 0; k < stop; ++k) {
    if (held[k]) continue;
    const auto [position, slot] = live[k];
    char *text = indextable_entry(table, slot);
    if (parseindex(nullptr, text, &entry) != IO_OK) continue;
    IO_frame frame;
    decided = ioframe_read(record, size, position, &entry, header, &frame);
    if (decided == IO_OK) continue;
    if (decided != IO_BAD_FILE) break;
    decided = IO_OK;
    ioframe_report_disagreement(callback, "iif_open", &entry, &frame, header, "it is left out");
    text[0] = 'N';
    if (record->m_skippedbytes == 0) {
      record->m_skippedfrom = position;
      record->m_skippedentry = slot + 1;
      nameSkipped(record, frame, header);
    }
    record->m_skippedbytes += entryBytes(record, frame.m_format, &entry);
    ++record->m_skippedcount;
  }
  ioheader_free(callback, header);
  if (decided != IO_OK) status = decided;
  return iif_read_failure(record) != 0 ? iif_check_reads(callback, record, "iif_open") : status;
}
