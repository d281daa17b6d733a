// Opening arbitrary bytes as a data-set file: the checks of its start, the stored index and the
// rebuild by scanning. The first byte chooses the access ("r" or "d"); the rest is the file.
// Every failure must be one newline-ended message and a status. A file that opens must have
// every indexed data set readable or refused cleanly; opened for writing, it must take one more
// data set and show every entry again when opened after closing; opened for update, it must
// open again after closing whether or not the write succeeded.
#include "io_dataset.h"
#include "io_file.h"
#include "io_frame.h"
#include "io_header.h"
#include "io_index.h"
#include "io_lock.h"
#include "iodata.h"
#include "io_source.h"
#include "lowlevel_io.h"
#include "zyrTestSupport.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
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
