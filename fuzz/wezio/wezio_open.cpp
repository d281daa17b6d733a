// Opening arbitrary bytes as a data-set file: the checks of its start, the stored index and the
// rebuild by scanning. The first byte chooses the access ("r" or "d", bit 0) and the size of the
// windows in which the open reads frames ahead (bits 1 to 3); the rest is the file.
// Every failure must be one newline-ended message and a status. The open decides the same under
// 1, 2 and 8 threads, in small windows and in its own, as a reading of the frames one by one on
// the stream alone: the same status, the same entries left out and counted as skipped, and the
// same data sets found in their place. A file that opens must have every indexed data set
// readable or refused cleanly; opened for writing, it must take one more data set and show every
// entry again when opened after closing; opened for update, it must open again after closing
// whether or not the write succeeded.
#include "io_dataset.h"
#include "io_file.h"
#include "io_frame.h"
#include "io_header.h"
#include "io_format.h"
#include "io_index.h"
#include "io_located.h"
#include "io_lock.h"
#include "io_pipeline.h"
#include "iodata.h"
#include "io_source.h"
#include "lowlevel_io.h"
#include "zyrTestSupport.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <tuple>
#include <utility>
#include <vector>
#include <unistd.h>

namespace {

int checkMessage(const char *message, int32_t length) {
  if (length < 1 || strlen(message) != static_cast<size_t>(length) || message[length - 1] != '\n')
    abort();
  return 0;
}

// Removed with the process's static objects at its exit.
const std::string &scratchName() {
  static const zyrtest::ScratchDir dir("wezio-open");
  static const std::string name = dir.file("data.wez");
  return name;
}

int openRecord(IO_file *record, const char *access) {
  iif_clear_record(record);
  record->m_callback = checkMessage;
  int status = iif_open(record, scratchName().c_str(), access);
  if (status != IO_OK) {
    iif_release_record(record);
    iif_free_contents(record);
  }
  return status;
}

void readEvery(IO_file *record) {
  // A read that finds the index wrong rebuilds the table: the count is taken afresh each time.
  for (int32_t slot = 0; slot < indextable_count(record->m_indextable) && slot < 64; ++slot) {
    IO_match match;
    if (parseindex(checkMessage, indextable_entry(record->m_indextable, slot), &match) != IO_OK)
      abort(); // entries taken into the table always parse
    if (io_seek(record->m_stream, match.m_position, 0) != 0) continue;
    IO_header *header = ioheader_alloc(checkMessage);
    IO_data *data = iodata_alloc(checkMessage);
    char format[3];
    int status = read_located_dataset(checkMessage, format, header, data, record);
    if (status == IO_MEMORY_ERR && iodata_size(nullptr, data) == 0 &&
        iodata_alloc_arrays(checkMessage, data) == IO_OK &&
        io_seek(record->m_stream, match.m_position, 0) == 0)
      read_located_dataset(checkMessage, format, header, data, record);
    iodata_free(checkMessage, data);
    ioheader_free(checkMessage, header);
  }
}

// Every entry's frame read from the file's bytes in memory, as the open proves frames, is taken
// as the stream takes it: whole by both or by neither, the same frame.
void sameFramesBothWays(IO_file *record, const uint8_t *bytes, size_t size) {
  IO_header *streamHeader = ioheader_alloc(checkMessage), *bytesHeader = ioheader_alloc(checkMessage);
  for (int32_t slot = 0; slot < indextable_count(record->m_indextable) && slot < 64; ++slot) {
    IO_match match;
    if (parseindex(checkMessage, indextable_entry(record->m_indextable, slot), &match) != IO_OK) abort();
    IO_bytes_source source;
    source.m_bytes = reinterpret_cast<const char *>(bytes);
    source.m_size = static_cast<int64_t>(size);
    source.m_whole = true;
    IO_frame fromStream, fromBytes;
    const int64_t fileSize = static_cast<int64_t>(size);
    const bool streamHolds = ioframe_read(record, fileSize, match.m_position, &match, streamHeader, &fromStream) == IO_OK;
    const bool bytesHold =
        ioframe_read_bytes(source, record->m_offsetwidth, fileSize, match.m_position, &match, bytesHeader, &fromBytes) ==
        IO_OK;
    if (streamHolds != bytesHold || memcmp(&fromStream, &fromBytes, sizeof fromBytes) != 0) abort();
  }
  ioheader_free(checkMessage, streamHeader);
  ioheader_free(checkMessage, bytesHeader);
}

// What an open decided about the stored index.
struct Decisions {
  int m_status = IO_OK;
  int32_t m_rebuilds = 0;
  std::vector<std::string> m_table; // every entry's text as the open left it, slot by slot
  int64_t m_skippedfrom = 0, m_skippedbytes = 0;
  int32_t m_skippedentry = 0, m_skippedcount = 0;
  std::string m_inPlace; // what a look-up of each entry left out finds instead

  bool operator==(const Decisions &o) const {
    return std::tie(m_status, m_rebuilds, m_table, m_skippedfrom, m_skippedbytes, m_skippedentry, m_skippedcount,
                    m_inPlace) == std::tie(o.m_status, o.m_rebuilds, o.m_table, o.m_skippedfrom, o.m_skippedbytes,
                                           o.m_skippedentry, o.m_skippedcount, o.m_inPlace);
  }
};

std::vector<std::string> tableOf(const IO_file *record) {
  std::vector<std::string> table;
  for (int32_t slot = 0; slot < indextable_count(record->m_indextable); ++slot)
    table.emplace_back(indextable_entry(record->m_indextable, slot));
  return table;
}

// For each entry left out (live in the stored index, not in the table), the data sets a look-up of
// its name finds and what their headers name. The look-ups settle duplicates in the table, so
// they come after its texts are taken.
std::string inPlace(IO_file *record, const std::vector<std::string> &stored, const std::vector<std::string> &table) {
  std::string found;
  IO_header *header = ioheader_alloc(checkMessage);
  for (size_t slot = 0; slot < stored.size() && slot < table.size(); ++slot) {
    IO_match entry;
    if (stored[slot][0] != 'Y' || table[slot][0] == 'Y' || parseindex(nullptr, stored[slot].c_str(), &entry) != IO_OK)
      continue;
    IO_location_list *list = nullptr;
    found += std::to_string(slot) + ":" + std::to_string(ii_locate_dataset(record, &list, entry.m_what, entry.m_where,
                                                                           entry.m_when));
    for (int32_t i = 0; list && i < list->m_count; ++i) {
      const IO_location &at = list->m_locations[i];
      found += " " + std::to_string(at.m_position) + "/" + std::to_string(at.m_length);
      if (ii_read_located_header(record, &at, header, nullptr) == IO_OK)
        found += "=" + std::string(header->m_what) + "," + header->m_where + "," + std::to_string(*header->m_when);
    }
    if (list) ii_free_location_list(list);
    found += ";";
  }
  ioheader_free(checkMessage, header);
  return found;
}

// The open's check made again on the stream alone, frame by frame in file order, on the stored
// index read afresh into an open record's table: 1 with `decided` as every open should decide
// and `stored` the stored index's entries, or 0 when the stored index no longer reads.
bool decideOnTheStream(IO_file *record, Decisions *decided, std::vector<std::string> *stored) {
  if (create_indextable(nullptr, record) != IO_OK) return false;
  *stored = tableOf(record);
  std::vector<std::pair<int64_t, int32_t>> live; // (position, slot)
  for (int32_t slot = 0; slot < static_cast<int32_t>(stored->size()); ++slot) {
    const std::string &text = (*stored)[static_cast<size_t>(slot)];
    IO_match entry;
    if (text[0] == 'Y' && parseindex(nullptr, text.c_str(), &entry) == IO_OK) live.emplace_back(entry.m_position, slot);
  }
  std::sort(live.begin(), live.end());
  const int64_t size = ioframe_file_size(record->m_stream);
  IO_header *header = ioheader_alloc(checkMessage);
  for (const auto &[position, slot] : live) {
    char *text = indextable_entry(record->m_indextable, slot);
    IO_match entry;
    parseindex(nullptr, text, &entry);
    IO_frame frame;
    const int status = ioframe_read(record, size, position, &entry, header, &frame);
    if (status == IO_OK) continue;
    if (status != IO_BAD_FILE) {
      decided->m_status = status;
      break;
    }
    text[0] = 'N';
    if (decided->m_skippedbytes == 0) {
      decided->m_skippedfrom = position;
      decided->m_skippedentry = slot + 1;
    }
    decided->m_skippedbytes +=
        3 + 2 * iofmt_length_field_size(frame.m_format[0], record->m_offsetwidth) + entry.m_length;
    ++decided->m_skippedcount;
  }
  ioheader_free(checkMessage, header);
  decided->m_table = tableOf(record);
  if (decided->m_status == IO_OK) decided->m_inPlace = inPlace(record, *stored, decided->m_table);
  return true;
}

// Opens the file for reading in windows of at most `window` bytes (0: the library's own) on
// `threads` threads (0: the library's own count) and takes what the open decided, with what is
// found in place of the entries of `stored` that it left out.
Decisions openAndDecide(int64_t window, int threads, const std::vector<std::string> &stored) {
  ioframe_set_window(window);
  io_set_pipeline_threads(threads);
  Decisions decided;
  IO_file record;
  decided.m_status = openRecord(&record, "r");
  if (decided.m_status == IO_OK) {
    decided.m_rebuilds = record.m_rebuilds;
    decided.m_table = tableOf(&record);
    decided.m_skippedfrom = record.m_skippedfrom;
    decided.m_skippedbytes = record.m_skippedbytes;
    decided.m_skippedentry = record.m_skippedentry;
    decided.m_skippedcount = record.m_skippedcount;
    decided.m_inPlace = inPlace(&record, stored, decided.m_table);
    iif_close(&record);
  }
  ioframe_set_window(0);
  io_set_pipeline_threads(0);
  return decided;
}

// The open's decisions under 1, 2 and 8 threads in windows of `window` bytes, and in its own
// windows and threads, against the stream's reading of the stored index, frame by frame. A file
// whose open rebuilds the table by scanning has no stored index to check: the opens then only
// agree with each other.
void sameDecisionsEveryWay(int64_t window) {
  Decisions stream;
  std::vector<std::string> stored;
  bool checked = false;
  {
    IO_file record;
    if (openRecord(&record, "r") == IO_OK) {
      checked = record.m_rebuilds == 0 && decideOnTheStream(&record, &stream, &stored);
      iif_close(&record);
    }
  }
  const std::pair<int64_t, int> ways[] = {{window, 1}, {window, 2}, {window, 8}, {0, 0}};
  std::vector<Decisions> decided;
  for (const auto &[w, threads] : ways) decided.push_back(openAndDecide(w, threads, stored));
  for (const Decisions &d : decided) {
    if (!(d == decided[0])) abort(); // the threads or the windows changed what the open decided
    if (checked && !(d == stream)) abort(); // the open decided otherwise than the stream
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size) {
  if (size < 1) return 0;
  const std::string &name = scratchName();
  const std::string lock = name + ".lck";
  FILE *file = fopen(name.c_str(), "wb");
  if (!file) abort();
  fwrite(bytes + 1, 1, size - 1, file);
  fclose(file);
  bool writing = bytes[0] & 1;
  sameDecisionsEveryWay(int64_t{16} << ((bytes[0] >> 1) & 7));

  IO_file record;
  if (openRecord(&record, writing ? "d" : "r") == IO_OK) {
    sameFramesBothWays(&record, bytes + 1, size - 1);
    readEvery(&record);
    int32_t before = indextable_count(record.m_indextable);
    bool added = false;
    bool updated = writing && record.m_access == 'w';
    if (updated && setfilebusyflag(checkMessage, &record) == IO_OK) {
      IO_header *header = ioheader_alloc(checkMessage);
      IO_data *data = iodata_alloc(checkMessage);
      strcpy(header->m_what, "fuzz");
      strcpy(header->m_where, "EVERY");
      strcpy(header->m_datatype, "INTR");
      *header->m_number = 1;
      *data->m_numintr = 1;
      iodata_alloc_arrays(checkMessage, data);
      data->m_intrarray[0] = 42;
      if (write_dataset(checkMessage, "u5", header, data, &record) == IO_OK) {
        record.m_indexlocation = io_tell(record.m_stream);
        added = true;
      }
      iodata_free(checkMessage, data);
      ioheader_free(checkMessage, header);
    }
    iif_close(&record);
    if (updated) {
      // Whatever an update did, the file opens again, and a writer's new entry is in it.
      if (openRecord(&record, "r") != IO_OK) abort();
      if (added && indextable_count(record.m_indextable) != before + 1) abort();
      readEvery(&record);
      iif_close(&record);
    }
  }
  if (access(lock.c_str(), F_OK) == 0) abort(); // nothing keeps a lock after closing
  unlink(name.c_str());
  return 0;
}
