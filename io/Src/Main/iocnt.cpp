// The request interface: argument checks and the dispatcher of the numbered requests.
#include "iocnt.h"

#include "data_part.h"
#include "get_ds_location.h"
#include "io_alloc.h"
#include "io_copy.h"
#include "io_dataset.h"
#include "io_delete.h"
#include "io_error.h"
#include "io_file.h"
#include "io_header.h"
#include "io_index.h"
#include "io_lock.h"
#include "io_rebuild.h"
#include "lowlevel_io.h"
#include "zyrFault.h"

#include <cerrno>
#include <cinttypes>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

const char kEsc = 27;
const char *const kDefaultWriteFormat = "U5";
// The plain text file is always read and written in text form.
const char *const kTextFormat = "F";

// ---------------------------------------------------------------------------------------------
// Arguments.

bool headerComplete(const IO_header *header) {
  if (!header) return false;
  if (!header->m_what || !header->m_where || !header->m_when || !header->m_numattrb) return false;
  if (*header->m_numattrb != 0 && !header->m_attributes) return false;
  return header->m_number && header->m_datatype && header->m_blockfactor;
}

bool offsetsSet(const IO_data *data) { return data->m_offsetarray && data->m_numoffset; }

// The dispatcher's own guards, for callers that skip iocntc's checks and for requests those
// checks do not cover: each reports and answers 14 when what the request touches is missing.
int needHeader(IO_error_callback callback, const IO_header *header) {
  if (headerComplete(header)) return IO_OK;
  io_report_error(callback, "iocnt: header input is wrong\n");
  return IO_MEMORY_ERR;
}

// `slots`: how many offsets the request reads or writes; the count must allow for them.
int needOffsets(IO_error_callback callback, const IO_data *data, int32_t slots) {
  if (offsetsSet(data) && *data->m_numoffset >= slots) return IO_OK;
  io_report_error(callback, "iocnt: offset array input is wrong\n");
  return IO_MEMORY_ERR;
}

int needArray(IO_error_callback callback, const void *array, const int32_t *count,
              const char *what, int32_t slots = 0) {
  if (array && count && *count >= slots) return IO_OK;
  io_report_error(callback, "iocnt: %s array input is wrong\n", what);
  return IO_MEMORY_ERR;
}

// The file a request works on, when it is open; otherwise a report and NULL.
IO_file *openFile(IO_error_callback callback, IO_file *record, int32_t request) {
  if (record && record->m_stream) return record;
  io_report_error(callback, "iocnt: no data-set file is open for request %d\n", request);
  return nullptr;
}

// The file name a request carries in the character array, as a new text: its first count
// characters when the count is not 0, else the terminated text. NULL without a character array
// (status 0: the open reports the missing name) or on failure (status set).
char *requestName(IO_error_callback callback, const IO_data *data, int *status) {
  *status = IO_OK;
  const char *chars = data->m_chararray;
  if (!chars) return nullptr;
  int32_t count = data->m_numchar ? *data->m_numchar : 0;
  if (count < 0) {
    io_report_error(callback, "iocnt: file name input is wrong\n");
    *status = IO_MEMORY_ERR;
    return nullptr;
  }
  size_t length = count > 0 ? strnlen(chars, static_cast<size_t>(count)) : strlen(chars);
  char *name = static_cast<char *>(io_malloc(length + 1));
  if (!name) {
    io_report_malloc_error(callback, "iocnt: error allocating space for file name",
                           static_cast<int64_t>(length) + 1);
    *status = IO_ALLOC_ERR;
    return nullptr;
  }
  memcpy(name, chars, length);
  name[length] = '\0';
  return name;
}

// Chooses the write format of the record before something is written to it.
void chooseFormat(IO_error_callback callback, const IO_state *state, IO_file *record) {
  char code[3] = {0, 0, 0};
  const char *environment = getenv("WEZ_FORMAT");
  // An empty value counts as not set.
  if (environment && environment[0]) {
    if (iofmt_is_valid(environment[0])) {
      code[0] = environment[0];
      code[1] = environment[1];
    } else {
      code[0] = 'F';
    }
  } else if (state->m_defaultformat && state->m_defaultformat[0]) {
    code[0] = state->m_defaultformat[0];
    code[1] = state->m_defaultformat[1];
  } else {
    memcpy(code, kDefaultWriteFormat, 2);
  }
  iofmt_make_native(callback, code);
  // Level 0 compresses nothing: written as the plain letter, so that the tag and the header
  // layout (a block factor record only after a digit) agree for every reader.
  if (code[1] == '0') code[1] = '\0';
  memcpy(record->m_writeformat, code, sizeof code);
}

// The write permission on the record.
int busy(IO_error_callback callback, IO_file *record, const char *doing) {
  int status = setfilebusyflag(callback, record);
  if (status != IO_OK) io_report_error(callback, "iocnt: setfilebusyflag failed when %s\n", doing);
  return status;
}

// Closes a data-set file record that is still open, so that opening it again loses neither its
// index nor its lock.
void closeIfOpen(IO_file *record) {
  if (record->m_stream) iif_close(record);
}

// Frees everything a record holds after a failed open or read; the file is left as it is.
void releaseRecord(IO_file *record) {
  iif_release_record(record);
  iif_free_contents(record);
}

// ---------------------------------------------------------------------------------------------
// Opening and closing.

int openDataFile(IO_error_callback callback, IO_data *data, IO_state *state, bool primary) {
  IO_file *record = primary ? &state->m_primary : &state->m_secondary;
  if (primary) state->m_current = &state->m_primary;
  int status;
  char *name = requestName(callback, data, &status);
  if (status != IO_OK) return status;
  closeIfOpen(record);
  iif_clear_record(record);
  record->m_callback = callback;
  status = iif_open(record, name, "d");
  io_free(name);
  if (status == IO_OK) {
    if (!primary) state->m_current = &state->m_secondary;
    return IO_OK;
  }
  if (primary) {
    io_report_error(callback, "iocnt: open the primary file failed\n");
    releaseRecord(&state->m_primary);
    releaseRecord(&state->m_secondary);
  } else {
    io_report_error(callback, "iocnt: open the secondary file failed\n");
    releaseRecord(&state->m_secondary);
  }
  return status;
}

int closePrimary(IO_state *state) {
  state->m_current = nullptr;
  if (state->m_secondary.m_stream) iif_close(&state->m_secondary);
  if (state->m_primary.m_stream) iif_close(&state->m_primary);
  return IO_OK;
}

int closeSecondary(IO_state *state) {
  if (state->m_secondary.m_stream) iif_close(&state->m_secondary);
  state->m_current = &state->m_primary;
  return IO_OK;
}

int openText(IO_error_callback callback, IO_data *data, IO_state *state) {
  int status;
  char *name = requestName(callback, data, &status);
  if (status != IO_OK) return status;
  IO_file *text = &state->m_text;
  if (text->m_stream) iif_close_text(text);
  // The text record keeps the default callback.
  iif_clear_record(text);
  status = iif_open_plain(text, name, "d");
  io_free(name);
  if (status != IO_OK) {
    io_report_error(callback, "iocnt: opening the plain file failed\n");
    releaseRecord(text);
  }
  return status;
}

int checkReadable(IO_error_callback callback, IO_data *data) {
  const char *chars = data->m_chararray;
  int32_t count = data->m_numchar ? *data->m_numchar : 0;
  if (!chars || count < 0) {
    io_report_error(callback, "iocnt: file name input is wrong\n");
    return IO_MEMORY_ERR;
  }
  size_t length = count > 0 ? strnlen(chars, static_cast<size_t>(count)) : strlen(chars);
  char *name = static_cast<char *>(io_malloc(length + 1));
  if (!name) {
    io_report_syserr(callback, "iocnt: check file state (malloc failed) syserr:");
    return IO_MEMORY_ERR;
  }
  memcpy(name, chars, length);
  name[length] = '\0';
  int fd = open(name, O_RDONLY | O_CLOEXEC);
  io_free(name);
  if (fd < 0) return IO_NOT_READABLE;
  close(fd);
  return IO_OK;
}

// ---------------------------------------------------------------------------------------------
// Whole data sets and their pieces on one file.

int writeDataset(IO_error_callback callback, IO_header *header, IO_data *data, IO_state *state,
                 IO_file *record) {
  chooseFormat(callback, state, record);
  int status = busy(callback, record, "writing a data set");
  if (status != IO_OK) return status;
  if (io_seek(record->m_stream, record->m_indexlocation, 0) != 0) {
    io_report_syserr(callback, "iocnt: (can't go to the index location) syserr:");
    return IO_SEEK_ERR;
  }
  status = write_dataset(callback, record->m_writeformat, header, data, record);
  if (status != IO_OK) {
    io_report_error(callback, "iocnt: write dataset failed\n");
    return status;
  }
  int64_t position = io_tell(record->m_stream);
  if (position < 0) {
    io_report_syserr(callback, "iocnt: (can't go to the index location) syserr:");
    return IO_TELL_ERR;
  }
  record->m_indexlocation = position;
  return IO_OK;
}

// The status of a read request: one that failed where the disc failed a read of the file is said
// with the system's reason, and answered as a failed read (arrays too small are no failure).
int readOutcome(IO_error_callback callback, IO_file *record, int status) {
  if (status == IO_OK || status == IO_MEMORY_ERR) return status;
  return iif_check_reads(callback, record, "iocnt") != IO_OK ? IO_READ_ERR : status;
}

// Reads the data set at offsets[0], converting its values to the header's data type when
// `convert` is set.
int readLocated(IO_error_callback callback, IO_header *header, IO_data *data, IO_file *record,
                bool convert) {
  if (io_seek(record->m_stream, data->m_offsetarray[0], 0) != 0) {
    io_report_syserr(callback, "iocnt: (can't go to dataset location) syserr:");
    return IO_SEEK_ERR;
  }
  int status;
  if (convert) {
    // The read puts the stored type into the header: the wanted one is kept aside first.
    char target[IO_DATATYPE_LEN];
    size_t length = strnlen(header->m_datatype, sizeof target - 1);
    memcpy(target, header->m_datatype, length);
    target[length] = '\0';
    status = read_located_dataset_as(callback, record->m_writeformat, header, data, target, record);
    if (status != IO_OK && status != IO_MEMORY_ERR)
      io_report_error(callback, "iocnt: read_located_dataset_as failed\n");
  } else {
    status = read_located_dataset(callback, record->m_writeformat, header, data, record);
    if (status != IO_OK && status != IO_MEMORY_ERR)
      io_report_error(callback, "iocnt: read_located_dataset failed\n");
  }
  return readOutcome(callback, record, status);
}

int readStart(IO_error_callback callback, IO_header *header, IO_data *data, IO_file *record) {
  if (io_seek(record->m_stream, data->m_offsetarray[0], 0) != 0) {
    io_report_syserr(callback, "iocnt: (can't go to the dataset location) syserr:");
    return IO_SEEK_ERR;
  }
  int status = read_located_dataset_start(callback, record->m_writeformat, record);
  if (status != IO_OK) {
    io_report_error(callback, "iocnt: read dataset start block failed\n");
    return readOutcome(callback, record, status);
  }
  status = read_header(callback, record->m_writeformat, record->m_stream, header);
  if (status != IO_OK) io_report_error(callback, "iocnt: read dataset header failed\n");
  return readOutcome(callback, record, status);
}

// Starts a data set piece by piece: tag, a zero length field, "*DATASET" and the header.
// offsets[0] receives the position of the length field and offsets[1] that of the start tag.
int startDataset(IO_error_callback callback, IO_header *header, IO_data *data, IO_state *state,
                 IO_file *record) {
  int status = busy(callback, record, "writing a data set header");
  if (status != IO_OK) return status;
  FILE *stream = record->m_stream;
  if (io_seek(stream, record->m_indexlocation, 0) != 0) {
    io_report_syserr(callback, "iocnt: (can't go to the dataset location) syserr:");
    return IO_SEEK_ERR;
  }
  chooseFormat(callback, state, record);
  const char *format = record->m_writeformat;
  char tag[3] = {format[0], format[1], '\n'};
  errno = 0;
  if (zyrFault_fwrite(tag, 1, 3, stream) != 3) {
    io_report_syserr(callback, "iocnt: (can't write the dataset format) syserr:");
    return IO_WRITE_ERR;
  }
  int64_t position = io_tell(stream);
  if (position < 0) {
    io_report_syserr(callback, "iocnt: (can't tell file pointer location) syserr:");
    return IO_SEEK_ERR;
  }
  data->m_offsetarray[0] = position;
  if (wezwriteOffset(callback, format, 0, record->m_offsetwidth, stream) != IO_OK) {
    io_report_error(callback, "iocnt: can't write dataset length\n");
    return IO_WRITE_ERR;
  }
  position = io_tell(stream);
  if (position < 0) {
    io_report_syserr(callback, "iocnt: (can't tell file pointer location) syserr:");
    return IO_SEEK_ERR;
  }
  data->m_offsetarray[1] = position;
  status = wezwriteString(callback, format, "*DATASET", 8, 1, 8, stream);
  if (status != IO_OK) {
    io_report_error(callback, "iocnt: can't write dataset tag\n");
    return status;
  }
  status = write_header(callback, format, stream, header);
  if (status != IO_OK) io_report_error(callback, "iocnt: write header failed\n");
  return status;
}

int insertIndex(IO_error_callback callback, IO_header *header, IO_data *data, IO_file *record,
                bool sorted) {
  const char *failure =
      sorted ? "iocnt: can't insert index\n" : "iocnt: can't insert index without sorting\n";
  // A name that is empty or holds a separator would make an entry that does not parse.
  const char *names[2] = {header->m_what, header->m_where};
  for (const char *name : names) {
    if (!name[0] || strchr(name, kEsc) || strchr(name, '\n')) {
      io_report_error(callback, "%s", failure);
      return IO_DATA_ERR;
    }
  }
  char *entry = io_copy_message("%s%c%s%c%s%c%d%c%" PRId64 "%c%" PRId64, "Y", kEsc,
                                header->m_what, kEsc, header->m_where, kEsc, *header->m_when, kEsc,
                                data->m_offsetarray[0], kEsc, data->m_offsetarray[1]);
  if (!entry) {
    io_report_malloc_error(callback, "iocnt", 0);
    return IO_ALLOC_ERR;
  }
  int status = sorted ? insert_index(callback, record, entry)
                      : insert_index_unsorted(callback, record, entry);
  io_free(entry);
  if (status != IO_OK) io_report_error(callback, "%s", failure);
  return status;
}

int locate(IO_error_callback callback, IO_header *header, IO_data *data, IO_file *record) {
  int status = locate_dataset(callback, header, data, record);
  // No match, and arrays too small (their counts now tell the sizes), are the caller's to handle.
  if (status != IO_OK && status != IO_NO_MATCH && status != IO_MEMORY_ERR)
    io_report_error(callback, "iocnt: _locate_dataset failed\n");
  return status;
}

// The source's entry for the data set at the position, when exactly one names it.
const IO_match *namedAt(IO_file *source, int64_t position, IO_match *named) {
  const int32_t slot = indextable_slot_at(source->m_indextable, position);
  if (slot < 0 || parseindex(nullptr, indextable_entry(source->m_indextable, slot), named) != IO_OK)
    return nullptr;
  return named;
}

// Requests 16, 17, 39 and 45: from the primary file into the current one.
int copyRequest(int32_t request, IO_error_callback callback, IO_header *header, IO_data *data,
                IO_file *record, IO_state *state) {
  IO_file *primary = openFile(callback, &state->m_primary, request);
  if (!primary) return IO_OPEN_ERR;
  if (record == primary) {
    // Reading and appending through one stream would mix the two positions.
    io_report_error(callback, "iocnt: can't copy from the primary file into itself\n");
    return IO_MEMORY_ERR;
  }
  const char *doing = request == IO_COPY_DATASET       ? "req =IO_COPY_DATASET"
                      : request == IO_COPY_ALLVALID_DS ? "req =IO_COPY_ALLVALID_DS"
                      : request == IO_COPY_WHEN0_DS    ? "req =IO_COPY_WHEN0_DS"
                                                       : "req =IO_COPY_DS_COMPRESS_WHEN";
  int status = busy(callback, record, doing);
  if (status != IO_OK) return status;
  switch (request) {
  case IO_COPY_DATASET: {
    if ((status = needHeader(callback, header)) != IO_OK ||
        (status = needOffsets(callback, data, 1)) != IO_OK)
      return status;
    if (io_seek(primary->m_stream, data->m_offsetarray[0], 0) != 0) {
      io_report_syserr(callback, "iocnt: (can't go to the dataset location) syserr:");
      return IO_SEEK_ERR;
    }
    IO_match named;
    status = copy_dataset(callback, header->m_what, header->m_where, *header->m_when, record,
                          primary, namedAt(primary, data->m_offsetarray[0], &named));
    if (status != IO_OK) io_report_error(callback, "iocnt: copy_dataset failed\n");
    return status;
  }
  case IO_COPY_ALLVALID_DS:
    status = copy_allvalid_ds(callback, record, primary);
    if (status != IO_OK) io_report_error(callback, "iocnt: copy_allvalid_ds failed\n");
    return status;
  case IO_COPY_WHEN0_DS:
    status = copy_when0_ds(callback, record, primary);
    if (status != IO_OK) io_report_error(callback, "iocnt: copy_when0_ds failed\n");
    return status;
  default:
    status = copy_all_ds_compress_when(callback, record, primary);
    if (status != IO_OK) io_report_error(callback, "iocnt: copy_all_ds_compress_when failed\n");
    return status;
  }
}

int deletePrimary(IO_error_callback callback, IO_header *header, IO_state *state) {
  IO_file *primary = openFile(callback, &state->m_primary, IO_DELETE_PRIMARY_DS);
  if (!primary) return IO_OPEN_ERR;
  int status = needHeader(callback, header);
  if (status != IO_OK) return status;
  if ((status = busy(callback, primary, "req =IO_DELETE_PRIMARY_DS")) != IO_OK) return status;
  status = delete_ds(callback, header, primary);
  if (status != IO_OK) io_report_error(callback, "iocnt: delete_ds failed\n");
  return readOutcome(callback, primary, status);
}

// ---------------------------------------------------------------------------------------------
// The plain text file.

int textRequest(int32_t request, IO_error_callback callback, IO_data *data, IO_state *state) {
  IO_file *text = &state->m_text;
  bool reading = request == IO_READ_TEXT_STRING || request == IO_READ_TEXT_INTR ||
                 request == IO_READ_TEXT_REAL;
  if (!text->m_stream) {
    io_report_error(callback, "iocnt: no plain text file is opened\n");
    return reading ? IO_READ_ERR : IO_WRITE_ERR;
  }
  int status;
  if (!reading && (status = busy(callback, text, "writing a plain text file")) != IO_OK)
    return status;
  FILE *stream = text->m_stream;
  switch (request) {
  case IO_READ_TEXT_STRING:
    if ((status = needArray(callback, data->m_chararray, data->m_numchar, "character")) != IO_OK)
      return status;
    status = wezreadString(callback, kTextFormat, data->m_chararray, *data->m_numchar, 1,
                           *data->m_numchar, stream);
    if (status != IO_OK) {
      io_report_error(callback, "iocnt: read from the plain text file failed\n");
      releaseRecord(text);
      return status;
    }
    // The text stays terminated when shorter than the array; a newline in it becomes a blank.
    for (int32_t i = 0; i < *data->m_numchar && data->m_chararray[i]; ++i)
      if (data->m_chararray[i] == '\n') data->m_chararray[i] = ' ';
    return IO_OK;
  case IO_WRITE_TEXT_STRING:
    if ((status = needArray(callback, data->m_chararray, data->m_numchar, "character")) != IO_OK)
      return status;
    status = wezwriteString(callback, kTextFormat, data->m_chararray, *data->m_numchar, 1,
                            *data->m_numchar, stream);
    if (status != IO_OK) {
      io_report_error(callback, "iocnt: write to the plain text file failed\n");
      releaseRecord(text);
    }
    return status;
  case IO_READ_TEXT_INTR:
    if ((status = needArray(callback, data->m_intrarray, data->m_numintr, "INTR")) != IO_OK)
      return status;
    if (wezreadIntr(callback, kTextFormat, data->m_intrarray, *data->m_numintr, 8, 10, stream) !=
        IO_OK) {
      io_report_error(callback, "iocnt: fail to read integers from the plain text file\n");
      return IO_READ_ERR;
    }
    return IO_OK;
  case IO_WRITE_TEXT_INTR:
    if ((status = needArray(callback, data->m_intrarray, data->m_numintr, "INTR")) != IO_OK)
      return status;
    if (wezwriteIntr(callback, kTextFormat, data->m_intrarray, *data->m_numintr, 8, 10, stream) !=
        IO_OK) {
      io_report_error(callback, "iocnt: fail to write integers to the plain text file\n");
      return IO_WRITE_ERR;
    }
    return IO_OK;
  case IO_READ_TEXT_REAL:
    if ((status = needArray(callback, data->m_realarray, data->m_numreal, "REAL")) != IO_OK)
      return status;
    if (wezreadReal(callback, kTextFormat, data->m_realarray, *data->m_numreal, 4, 20, stream) !=
        IO_OK) {
      io_report_error(callback, "iocnt: fail to read real numbers from the plain text file\n");
      return IO_READ_ERR;
    }
    return IO_OK;
  default:
    if ((status = needArray(callback, data->m_realarray, data->m_numreal, "REAL")) != IO_OK)
      return status;
    if (wezwriteReal(callback, kTextFormat, data->m_realarray, *data->m_numreal, 4, 20, stream) !=
        IO_OK) {
      io_report_error(callback, "iocnt: fail to write real numbers to the plain text file\n");
      return IO_WRITE_ERR;
    }
    return IO_OK;
  }
}

// ---------------------------------------------------------------------------------------------
// Requests on one data-set file: the current one, or the primary for the requests that name it.

// Requests on the data sets of the file: delete, write, locate, copy and read them.
int datasetRequest(int32_t request, IO_error_callback callback, IO_header *header, IO_data *data,
                   IO_state *state, IO_file *record) {
  FILE *stream = record->m_stream;
  int status = IO_OK;
  switch (request) {
  case IO_DELETE_DS:
    if ((status = needHeader(callback, header)) != IO_OK) return status;
    if ((status = busy(callback, record, "deleting a data set")) != IO_OK) return status;
    status = delete_ds(callback, header, record);
    if (status != IO_OK) io_report_error(callback, "iocnt: delete a dataset failed\n");
    return readOutcome(callback, record, status);

  case IO_WRITE_DATASET:
    if ((status = needHeader(callback, header)) != IO_OK) return status;
    return writeDataset(callback, header, data, state, record);

  case IO_LOCATE_DS:
    if ((status = needHeader(callback, header)) != IO_OK) return status;
    return locate(callback, header, data, record);

  case IO_COPY_DATASET:
  case IO_COPY_ALLVALID_DS:
  case IO_COPY_WHEN0_DS:
  case IO_COPY_DS_COMPRESS_WHEN:
    return copyRequest(request, callback, header, data, record, state);

  case IO_READ_LOCATED_DS:
  case IO_READ_LOCATED_DS_AS:
    if ((status = needHeader(callback, header)) != IO_OK ||
        (status = needOffsets(callback, data, 1)) != IO_OK)
      return status;
    return readLocated(callback, header, data, record, request == IO_READ_LOCATED_DS_AS);

  case IO_READ_DS_START:
    if ((status = needHeader(callback, header)) != IO_OK ||
        (status = needOffsets(callback, data, 1)) != IO_OK)
      return status;
    return readStart(callback, header, data, record);

  case IO_START_DATASET:
    if ((status = needHeader(callback, header)) != IO_OK ||
        (status = needOffsets(callback, data, 2)) != IO_OK)
      return status;
    return startDataset(callback, header, data, state, record);

  case IO_READ_DATA:
    if ((status = needHeader(callback, header)) != IO_OK) return status;
    if (*header->m_number >= 1) {
      status = read_data(callback, record->m_writeformat, stream, *header->m_number,
                         header->m_datatype, data);
      if (status != IO_OK) io_report_error(callback, "iocnt: read data failed\n");
    }
    return readOutcome(callback, record, status);

  case IO_WRITE_DATA:
    if ((status = needHeader(callback, header)) != IO_OK) return status;
    chooseFormat(callback, state, record);
    status = write_data(callback, record->m_writeformat, stream, *header->m_number,
                        header->m_datatype, data);
    if (status != IO_OK) io_report_error(callback, "iocnt: write data failed\n");
    return status;

  case IO_END_DATASET:
    chooseFormat(callback, state, record);
    status = wezwriteString(callback, record->m_writeformat, "*ENDDATASET", 11, 1, 11, stream);
    if (status != IO_OK) io_report_error(callback, "iocnt: can't write dataset end tag\n");
    return status;
  }
  return IO_UNKNOWN_REQUEST; // fileRequest hands only the requests above here
}

// Requests on the stream position, the index and the tags of the file.
int positionRequest(int32_t request, IO_error_callback callback, IO_header *header, IO_data *data,
                    IO_state *state, IO_file *record) {
  int status = IO_OK;
  FILE *stream = record->m_stream;
  switch (request) {
  case IO_UPDATE_INDEX:
    status = update_index(callback, record);
    if (status != IO_OK) io_report_error(callback, "iocnt: can not update the index\n");
    return status;

  case IO_TELL: {
    if ((status = needOffsets(callback, data, 1)) != IO_OK) return status;
    int64_t position = io_tell(stream);
    if (position < 0) {
      io_report_syserr(callback,
                       "iocnt: (can't tell the current position for the dataset) syserr:");
      return IO_TELL_ERR;
    }
    data->m_offsetarray[0] = position;
    *data->m_numoffset = 1;
    return IO_OK;
  }

  case IO_WRITE_DSLENGTH:
    if ((status = needOffsets(callback, data, 1)) != IO_OK) return status;
    chooseFormat(callback, state, record);
    status = wezwriteOffset(callback, record->m_writeformat, data->m_offsetarray[0],
                            record->m_offsetwidth, stream);
    if (status != IO_OK) io_report_error(callback, "iocnt: can't write dataset length\n");
    return status;

  case IO_SEEK:
    if ((status = needOffsets(callback, data, 1)) != IO_OK) return status;
    if (io_seek(stream, data->m_offsetarray[0], 0) != 0) {
      io_report_syserr(callback,
                       "iocnt: (can't go to the offset position for the dataset) syserr:");
      return IO_SEEK_ERR;
    }
    return IO_OK;

  case IO_SET_INDEX_LOCATION: {
    int64_t position = io_tell(stream);
    if (position < 0) {
      io_report_syserr(callback, "iocnt: (can't go to the index location) syserr:");
      return IO_TELL_ERR;
    }
    record->m_indexlocation = position;
    return IO_OK;
  }

  case IO_INSERT_INDEX:
  case IO_INSERT_INDEX_UNSORTED:
    if ((status = needHeader(callback, header)) != IO_OK ||
        (status = needOffsets(callback, data, 2)) != IO_OK)
      return status;
    return insertIndex(callback, header, data, record, request == IO_INSERT_INDEX);

  case IO_READ_DATATAG:
    status = read_datatag(callback, record->m_writeformat, stream);
    if (status != IO_OK) io_report_error(callback, "iocnt: can't read datatag length\n");
    return status;

  case IO_WRITE_DATATAG:
    chooseFormat(callback, state, record);
    status = write_datatag(callback, record->m_writeformat, stream);
    if (status != IO_OK) io_report_error(callback, "iocnt: can't write datatag length\n");
    return status;

  case IO_RECREATE_INDEX:
    // The rebuilt index is written back when the file is closed.
    record->m_lock = -1;
    status = recreate_indextable(callback, record);
    if (status != IO_OK) io_report_error(callback, "iocnt: cannot recreate index\n");
    return status;
  }
  return IO_UNKNOWN_REQUEST; // fileRequest hands only the requests above here
}

int fileRequest(int32_t request, IO_error_callback callback, IO_header *header, IO_data *data,
                IO_state *state, IO_file *record) {
  // The pieces of a data set that request 12 started (with the write permission, which a failed
  // read of the file refuses) are not written once a read of the file has failed since.
  if (request == IO_WRITE_DATA || request == IO_END_DATASET || request == IO_WRITE_DSLENGTH ||
      request == IO_WRITE_DATATAG) {
    int status = iif_check_reads(callback, record, "iocnt");
    if (status != IO_OK) return status;
  }
  switch (request) {
  case IO_DELETE_DS:
  case IO_WRITE_DATASET:
  case IO_LOCATE_DS:
  case IO_COPY_DATASET:
  case IO_COPY_ALLVALID_DS:
  case IO_COPY_WHEN0_DS:
  case IO_COPY_DS_COMPRESS_WHEN:
  case IO_READ_LOCATED_DS:
  case IO_READ_LOCATED_DS_AS:
  case IO_READ_DS_START:
  case IO_START_DATASET:
  case IO_READ_DATA:
  case IO_WRITE_DATA:
  case IO_END_DATASET:
    return datasetRequest(request, callback, header, data, state, record);
  case IO_UPDATE_INDEX:
  case IO_TELL:
  case IO_WRITE_DSLENGTH:
  case IO_SEEK:
  case IO_SET_INDEX_LOCATION:
  case IO_INSERT_INDEX:
  case IO_INSERT_INDEX_UNSORTED:
  case IO_READ_DATATAG:
  case IO_WRITE_DATATAG:
  case IO_RECREATE_INDEX:
    return positionRequest(request, callback, header, data, state, record);
  default:
    // Every code below IO_NUM_REQUESTS has its own case.
    io_report_error(callback, "iocnt: unknown request\n");
    return IO_UNKNOWN_REQUEST;
  }
}

// Requests 8, 18 and 44: request 7, 10 or 43 on the primary file; the current file is the same
// afterwards, whatever the outcome.
int onPrimary(int32_t request, IO_error_callback callback, IO_header *header, IO_data *data,
              IO_state *state) {
  IO_file *primary = openFile(callback, &state->m_primary, request);
  if (!primary) return IO_OPEN_ERR;
  int32_t onCurrent = request == IO_LOCATE_PRIMARY_DS        ? IO_LOCATE_DS
                      : request == IO_READ_LOCATED_PRIMARY_DS ? IO_READ_LOCATED_DS
                                                              : IO_READ_LOCATED_DS_AS;
  IO_file *remembered = state->m_current;
  state->m_current = primary;
  int status = fileRequest(onCurrent, callback, header, data, state, primary);
  state->m_current = remembered;
  return status;
}

IO_state s_globalState;

} // namespace

// ---------------------------------------------------------------------------------------------

int iocntc(int32_t request, IO_error_callback callback, IO_header *header, IO_data *data,
           IO_state *state) {
  if (!callback) return IO_NO_CALLBACK;
  if (!data) {
    io_report_error(callback, "iocntc: IO_data structure is null\n");
    return IO_MEMORY_ERR;
  }
  switch (request) {
  case IO_OPEN_PRIMARY:
  case IO_CLOSE_PRIMARY:
  case IO_OPEN_SECONDARY:
  case IO_CLOSE_SECONDARY:
  case IO_SET_FORMAT:
  case IO_READ_DATA:
  case IO_WRITE_DATA:
  case IO_GET_ENTRY_COUNT:
  case IO_COPY_ALLVALID_DS:
  case IO_COPY_WHEN0_DS:
  case IO_COPY_DS_COMPRESS_WHEN:
  case IO_SET_DEFAULT_FORMAT:
    break;
  default:
    if (!header) {
      io_report_error(callback, "iocntc: IO_header structure is null\n");
      return IO_MEMORY_ERR;
    }
    if (!headerComplete(header)) {
      io_report_error(callback, "iocntc: header input is wrong\n");
      return IO_MEMORY_ERR;
    }
  }
  switch (request) {
  case IO_LOCATE_DS:
  case IO_LOCATE_PRIMARY_DS:
  case IO_READ_LOCATED_DS:
  case IO_READ_DS_START:
  case IO_START_DATASET:
  case IO_COPY_DATASET:
  case IO_READ_LOCATED_PRIMARY_DS:
  case IO_READ_LOCATED_DS_AS:
  case IO_READ_LOCATED_PRIMARY_DS_AS:
    if (!offsetsSet(data)) {
      io_report_error(callback, "iocntc: offset array input is wrong\n");
      return IO_MEMORY_ERR;
    }
    break;
  default: break;
  }
  if (request == IO_LOCATE_DS || request == IO_LOCATE_PRIMARY_DS) {
    if (!data->m_stringarray || !data->m_numstring || !data->m_intrarray || !data->m_numintr) {
      io_report_error(callback, "iocntc: stringarray or intrarray is wrong\n");
      return IO_MEMORY_ERR;
    }
  }
  return iocnt(request, callback, header, data, state);
}

int iocnt(int32_t request, IO_error_callback callback, IO_header *header, IO_data *data,
          IO_state *state) {
  if (!state) {
    io_report_error(callback, "iocnt: IO_state structure is null\n");
    return IO_MEMORY_ERR;
  }
  if (!data) {
    io_report_error(callback, "iocnt: IO_data structure is null\n");
    return IO_MEMORY_ERR;
  }
  if (!state->m_initialised) {
    state->m_initialised = 1;
    memcpy(state->m_primary.m_writeformat, kDefaultWriteFormat, 3);
    memcpy(state->m_secondary.m_writeformat, kDefaultWriteFormat, 3);
    memcpy(state->m_text.m_writeformat, kDefaultWriteFormat, 3);
  }
  // Unknown codes first, so that a negative one is never taken for a request.
  if (static_cast<uint32_t>(request) >= static_cast<uint32_t>(IO_NUM_REQUESTS)) {
    io_report_error(callback, "iocnt: unknown request\n");
    return IO_UNKNOWN_REQUEST;
  }

  switch (request) {
  case IO_OPEN_PRIMARY: return openDataFile(callback, data, state, true);
  case IO_CLOSE_PRIMARY: return closePrimary(state);
  case IO_OPEN_SECONDARY: return openDataFile(callback, data, state, false);
  case IO_CLOSE_SECONDARY: return closeSecondary(state);
  case IO_USE_PRIMARY: state->m_current = &state->m_primary; return IO_OK;
  case IO_USE_SECONDARY: state->m_current = &state->m_secondary; return IO_OK;
  case IO_OPEN_TEXT: return openText(callback, data, state);
  case IO_CLOSE_TEXT: return iif_close_text(&state->m_text);
  case IO_READ_TEXT_STRING:
  case IO_WRITE_TEXT_STRING:
  case IO_READ_TEXT_INTR:
  case IO_WRITE_TEXT_INTR:
  case IO_READ_TEXT_REAL:
  case IO_WRITE_TEXT_REAL: return textRequest(request, callback, data, state);
  case IO_CHECK_READABLE: return checkReadable(callback, data);

  case IO_SET_DEFAULT_FORMAT: {
    if (!data->m_chararray) {
      io_report_error(callback, "iocnt: character array input is wrong\n");
      return IO_MEMORY_ERR;
    }
    char *copy = io_strdup(data->m_chararray);
    if (!copy) {
      io_report_malloc_error(callback, "iocnt", static_cast<int64_t>(strlen(data->m_chararray)) + 1);
      return IO_ALLOC_ERR;
    }
    io_free(state->m_defaultformat);
    state->m_defaultformat = copy;
    return IO_OK;
  }

  case IO_GET_CURRENT_FILE: {
    int status = needOffsets(callback, data, 1);
    if (status != IO_OK) return status;
    data->m_offsetarray[0] = static_cast<int64_t>(reinterpret_cast<intptr_t>(state->m_current));
    return IO_OK;
  }

  case IO_SET_FORMAT: {
    if (!state->m_current) {
      io_report_error(callback, "iocnt: no data-set file is open for request %d\n", request);
      return IO_OPEN_ERR;
    }
    char code[3] = {data->m_chararray ? data->m_chararray[0] : '\0', 0, 0};
    if (code[0] && strchr("UuLl", code[0])) code[1] = '5';
    iofmt_make_native(callback, code);
    memcpy(state->m_current->m_writeformat, code, sizeof code);
    return IO_OK;
  }

  case IO_GET_ENTRY_COUNT: {
    if (!state->m_current) {
      io_report_error(callback, "iocnt: no data-set file is open for request %d\n", request);
      return IO_OPEN_ERR;
    }
    int status = needArray(callback, data->m_intrarray, data->m_numintr, "INTR", 1);
    if (status != IO_OK) return status;
    data->m_intrarray[0] = indextable_count(state->m_current->m_indextable);
    return IO_OK;
  }

  case IO_GET_INDEX_LOCATION: {
    if (!state->m_current) {
      io_report_error(callback, "iocnt: no data-set file is open for request %d\n", request);
      return IO_OPEN_ERR;
    }
    int status = needOffsets(callback, data, 1);
    if (status != IO_OK) return status;
    data->m_offsetarray[0] = state->m_current->m_indexlocation;
    return IO_OK;
  }

  case IO_LOCATE_PRIMARY_DS:
  case IO_READ_LOCATED_PRIMARY_DS:
  case IO_READ_LOCATED_PRIMARY_DS_AS: return onPrimary(request, callback, header, data, state);
  case IO_DELETE_PRIMARY_DS: return deletePrimary(callback, header, state);

  default: {
    IO_file *record = openFile(callback, state->m_current, request);
    if (!record) return IO_OPEN_ERR;
    return fileRequest(request, callback, header, data, state, record);
  }
  }
}

int iocntc_global(int32_t request, IO_error_callback callback, IO_header *header,
                  IO_data *data) {
  if (request == IO_GET_CURRENT_FILE) {
    // The header check is the only one this request is spared.
    if (!callback) return IO_NO_CALLBACK;
    if (!data) {
      io_report_error(callback, "iocntc: IO_data structure is null\n");
      return IO_MEMORY_ERR;
    }
    return iocnt(request, callback, header, data, &s_globalState);
  }
  return iocntc(request, callback, header, data, &s_globalState);
}

int iocnt_global(int32_t request, IO_error_callback callback, IO_header *header, IO_data *data) {
  return iocnt(request, callback, header, data, &s_globalState);
}
