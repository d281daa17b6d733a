// Arbitrary bytes opened as a data-set file, its index stored or rebuilt, then searched, read,
// copied and deleted from.
//
// Input: one flag byte (bit 0: open with a read-write stream and delete what the query finds;
// bit 1: copy with compressed whens, else all valid ones), the query's what and where each ended
// by a NUL, one byte for its when (signed), then the file.
//
// Every failure must be one newline-ended message and a status. Every match must fit its query;
// every matched data set must be readable or refused cleanly; the copy, once closed, must open
// again with its stored index listing every data set copied.
#include "get_ds_location.h"
#include "io_copy.h"
#include "io_dataset.h"
#include "io_delete.h"
#include "io_file.h"
#include "io_header.h"
#include "io_index.h"
#include "io_lock.h"
#include "iodata.h"
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
  static const bool verbose = getenv("WEZIO_FUZZ_VERBOSE") != nullptr;
  if (verbose) fputs(message, stderr);
  return 0;
}

// Removed with the process's static objects at its exit.
std::string scratch(const char *name) {
  static const zyrtest::ScratchDir dir("wezio-dsfile");
  return dir.file(name);
}

int openRecord(IO_file *record, const std::string &name, const char *access) {
  iif_clear_record(record);
  record->m_callback = checkMessage;
  int status = iif_open(record, name.c_str(), access);
  if (status != IO_OK) {
    iif_release_record(record);
    iif_free_contents(record);
  }
  return status;
}

// Locates with arrays enlarged once on 14; the data block holds the matches. The status.
int locate(IO_file *record, const IO_header *query, IO_data *data) {
  int status = locate_dataset(checkMessage, query, data, record);
  if (status == IO_MEMORY_ERR) {
    if (*data->m_numintr > indextable_count(record->m_indextable)) abort();
    if (iodata_alloc_arrays(checkMessage, data) != IO_OK) return IO_ALLOC_ERR;
    status = locate_dataset(checkMessage, query, data, record);
    if (status == IO_MEMORY_ERR) abort(); // the sizes given must be enough
  }
  return status;
}

void readAt(IO_file *record, int64_t position) {
  if (io_seek(record->m_stream, position, 0) != 0) return;
  IO_header *header = ioheader_alloc(checkMessage);
  IO_data *data = iodata_alloc(checkMessage);
  char format[3];
  int status = read_located_dataset(checkMessage, format, header, data, record);
  if (status == IO_MEMORY_ERR && iodata_alloc_arrays(checkMessage, data) == IO_OK &&
      io_seek(record->m_stream, position, 0) == 0)
    read_located_dataset(checkMessage, format, header, data, record);
  iodata_free(checkMessage, data);
  ioheader_free(checkMessage, header);
}

void search(IO_file *record, const IO_header *query) {
  IO_data *data = iodata_alloc(checkMessage);
  if (locate(record, query, data) == IO_OK) {
    int32_t n = *data->m_numintr;
    for (int32_t k = 0; k < n; ++k) {
      char what[IO_STRING_LEN + 1] = {0}, where[IO_STRING_LEN + 1] = {0};
      memcpy(what, data->m_stringarray[2 * k], IO_STRING_LEN);
      memcpy(where, data->m_stringarray[2 * k + 1], IO_STRING_LEN);
      bool fits = is_wildcard(query->m_what) ? match_wildcard(what, query->m_what)
                                             : strcmp(what, query->m_what) == 0;
      fits = fits && (is_wildcard(query->m_where) ? match_wildcard(where, query->m_where)
                                                  : strcmp(where, query->m_where) == 0);
      fits = fits && (*query->m_when < 0 || data->m_intrarray[k] == *query->m_when);
      if (!fits) abort();
      if (k > 0 && *query->m_when < 0 && data->m_intrarray[k] > data->m_intrarray[k - 1])
        abort(); // any when: highest first
      if (k < 16) readAt(record, data->m_offsetarray[2 * k]);
    }
  }
  iodata_free(checkMessage, data);
}

void copyAll(IO_file *source, bool compressWhens) {
  const std::string name = scratch("copy.wez");
  unlink(name.c_str());
  IO_file copy;
  if (openRecord(&copy, name, "w") != IO_OK) abort();
  if (setfilebusyflag(checkMessage, &copy) != IO_OK) abort();
  if (compressWhens)
    copy_all_ds_compress_when(checkMessage, &copy, source);
  else
    copy_allvalid_ds(checkMessage, &copy, source);
  int32_t copied = indextable_count(copy.m_indextable);
  iif_close(&copy);
  if (openRecord(&copy, name, "r") != IO_OK) abort();
  if (indextable_count(copy.m_indextable) != copied) abort();
  for (int32_t slot = 0; slot < copied && slot < 16; ++slot) {
    IO_match match;
    if (parseindex(checkMessage, indextable_entry(copy.m_indextable, slot), &match) != IO_OK)
      abort();
    readAt(&copy, match.m_position);
  }
  iif_close(&copy);
  unlink(name.c_str());
}

// Takes a NUL-ended text of at most `limit` characters from the input.
bool take(const uint8_t *&bytes, size_t &size, char *text, size_t limit) {
  const void *nul = memchr(bytes, 0, size < limit + 1 ? size : limit + 1);
  if (!nul) return false;
  size_t n = static_cast<size_t>(static_cast<const uint8_t *>(nul) - bytes);
  memcpy(text, bytes, n);
  text[n] = '\0';
  bytes += n + 1;
  size -= n + 1;
  return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size) {
  if (size < 1) return 0;
  uint8_t flags = bytes[0];
  ++bytes;
  --size;
  IO_header *query = ioheader_alloc(checkMessage);
  if (!take(bytes, size, query->m_what, 75) || !take(bytes, size, query->m_where, 74) ||
      size < 1) {
    ioheader_free(checkMessage, query);
    return 0;
  }
  *query->m_when = static_cast<int8_t>(bytes[0]);
  ++bytes;
  --size;

  const std::string name = scratch("data.wez");
  FILE *file = fopen(name.c_str(), "wb");
  if (!file) abort();
  fwrite(bytes, 1, size, file);
  fclose(file);

  bool writing = flags & 1;
  IO_file record;
  if (openRecord(&record, name, writing ? "d" : "r") == IO_OK) {
    search(&record, query);
    IO_header *all = ioheader_alloc(checkMessage);
    strcpy(all->m_what, "*");
    strcpy(all->m_where, "*");
    *all->m_when = -1;
    search(&record, all);
    IO_match first;
    if (indextable_count(record.m_indextable) > 0 &&
        parseindex(checkMessage, indextable_entry(record.m_indextable, 0), &first) == IO_OK) {
      strcpy(all->m_what, first.m_what);
      strcpy(all->m_where, first.m_where);
      *all->m_when = first.m_when;
      search(&record, all);
    }
    ioheader_free(checkMessage, all);
    if (update_index(checkMessage, &record) != IO_OK) abort();
    copyAll(&record, flags & 2);
    if (writing && record.m_access == 'w' && setfilebusyflag(checkMessage, &record) == IO_OK) {
      delete_ds(checkMessage, query, &record);
      iif_close(&record);
      // What the delete left must open again.
      if (openRecord(&record, name, "r") != IO_OK) abort();
      search(&record, query);
    }
    iif_close(&record);
  }
  ioheader_free(checkMessage, query);
  if (access((name + ".lck").c_str(), F_OK) == 0) abort(); // nothing keeps a lock after closing
  unlink(name.c_str());
  return 0;
}
