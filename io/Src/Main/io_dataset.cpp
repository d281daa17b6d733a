// Whole data sets: frame, header, data part and index entry.
#include "io_dataset.h"

#include "data_part.h"
#include "io_alloc.h"
#include "io_compress.h"
#include "io_datatype.h"
#include "io_error.h"
#include "io_header.h"
#include "io_index.h"
#include "iodata.h"
#include "lowlevel_io.h"
#include "zyrFault.h"

#include <cerrno>
#include <cinttypes>
#include <cstring>

namespace {

// Text lines cannot carry a line feed, ESC (the value separator) or NUL inside a CHAR or LOGL
// value: such a data set would be written but could not be read back. The counts are those
// check_memory has just set.
int textStorable(IO_error_callback callback, const IO_header *header, const IO_data *data) {
  const struct {
    const char *m_values;
    const int32_t *m_count;
    const char *m_name;
  } kinds[] = {{data->m_chararray, data->m_numchar, "CHAR"},
               {data->m_loglarray, data->m_numlogl, "LOGL"}};
  for (const auto &kind : kinds) {
    if (!kind.m_values || !kind.m_count) continue;
    for (int32_t i = 0; i < *kind.m_count; ++i) {
      char c = kind.m_values[i];
      if (c != '\n' && c != 27 && c != '\0') continue;
      io_report_error(callback,
                      "write_dataset: %s value %d of dataset %s:%s:%d holds a line feed, ESC or "
                      "NUL character, which the text format cannot store",
                      kind.m_name, i + 1, header->m_what, header->m_where, *header->m_when);
      return IO_DATA_ERR;
    }
  }
  return IO_OK;
}

const char kEsc = 27;
// Beyond this many bytes of values a 4-byte length field could overflow: U and u become L.
const int64_t kLongFormatBytes = 1610612736;
const int32_t kDefaultBlockFactor = 100000;

int64_t valueBytes(const IO_data *data) {
  int64_t bytes = iodata_size(nullptr, data);
  if (data->m_offsetarray && data->m_numoffset && *data->m_numoffset > 0)
    bytes -= static_cast<int64_t>(*data->m_numoffset) * 8;
  return bytes;
}

bool headerSet(const IO_header *header) {
  return header && header->m_what && header->m_where && header->m_when && header->m_numattrb &&
         header->m_number && header->m_datatype && header->m_blockfactor;
}

// Hides a partly written data set behind a file end tag at its own start.
void abortDataset(const char *format, IO_file *record) {
  io_trace("write_dataset aborting");
  FILE *stream = record->m_stream;
  if (io_seek(stream, record->m_indexlocation, 0) != 0) {
    io_trace("write_dataset abort: fseek failed");
    return;
  }
  if (wezwriteString(nullptr, format, "*CRASH", 6, 1, 6, stream) != IO_OK)
    io_trace("write_dataset abort: can't write file end tag\n");
  if (io_seek(stream, record->m_indexlocation, 0) != 0)
    io_trace("write_dataset abort: second fseek failed");
}

// The frame from the tag to the second length field. Sets *length.
int writeFrame(IO_error_callback callback, const char *format, IO_header *header, IO_data *data,
               IO_file *record, int64_t *length) {
  FILE *stream = record->m_stream;
  int32_t width = record->m_offsetwidth;
  char tag[3] = {format[0], format[1], '\n'};
  errno = 0;
  if (zyrFault_fwrite(tag, 1, 3, stream) != 3) {
    io_report_syserr(callback, "write_dataset: (can't write the format string) syserr:");
    return IO_WRITE_ERR;
  }
  int64_t p1 = io_tell(stream);
  if (p1 < 0) {
    io_report_syserr(callback, "write_dataset: (can't tell the current location) syserr:");
    return IO_TELL_ERR;
  }
  int status = wezwriteOffset(callback, format, 0, width, stream);
  if (status != IO_OK) {
    io_report_error(callback, "write_dataset: can't write dataset length\n");
    return status;
  }
  // The tag and the zero length go to the file on their own: a process killed while the rest is
  // written (a large write may stop at any page) still leaves the zero that marks the data set as
  // unfinished right after its tag.
  errno = 0;
  if (zyrFault_fflush(stream) != 0) {
    io_report_syserr(callback, "write_dataset: (can't write dataset length) syserr:");
    return IO_WRITE_ERR;
  }
  int64_t p2 = io_tell(stream);
  if (p2 < 0) {
    io_report_syserr(callback, "write_dataset: (can't tell the current location) syserr:");
    return IO_TELL_ERR;
  }
  status = wezwriteString(callback, format, "*DATASET", 8, 1, 8, stream);
  if (status != IO_OK) {
    io_report_error(callback, "write_dataset: can't write dataset tag\n");
    return status;
  }
  status = write_header(callback, format, stream, header);
  if (status != IO_OK) {
    io_report_error(callback, "write_dataset: can't write dataset header\n");
    return status;
  }
  int64_t number = *header->m_number;
  if (number > 0) {
    status = write_datatag(callback, format, stream);
    if (status != IO_OK) {
      io_report_error(callback, "write_dataset: can't write datatag\n");
      return status;
    }
    status = write_data_blocks(callback, format, stream, number, *header->m_blockfactor,
                               header->m_datatype, data);
    if (status != IO_OK) {
      io_report_error(callback, "write_dataset: can't write dataset data\n");
      return status;
    }
  }
  status = wezwriteString(callback, format, "*ENDDATASET", 11, 1, 11, stream);
  if (status != IO_OK) {
    io_report_error(callback, "write_dataset: can't write dataset end tag\n");
    return status;
  }
  int64_t p3 = io_tell(stream);
  if (p3 < 0) {
    io_report_syserr(callback,
                     "write_dataset: (can't tell the ending  position for the dataset) syserr:");
    return IO_TELL_ERR;
  }
  *length = p3 - p2;
  status = wezwriteOffset(callback, format, *length, width, stream);
  if (status != IO_OK) {
    io_report_error(callback, "write_dataset: can't write dataset length\n");
    return status;
  }
  return IO_OK;
}

} // namespace

// ---------------------------------------------------------------------------------------------

int write_dataset(IO_error_callback callback, const char *format, IO_header *header, IO_data *data,
                  IO_file *record) {
  if (!format || !headerSet(header) || !data || !record || !record->m_stream) {
    io_report_error(callback, "write_dataset: passing parameters are wrong");
    return IO_MEMORY_ERR;
  }
  char code[3] = {format[0], format[0] ? format[1] : '\0', '\0'};
  if ((code[0] == 'U' || code[0] == 'u') && valueBytes(data) > kLongFormatBytes) code[0] = 'L';
  int status = iofmt_make_native(callback, code);
  if (status != IO_OK) return status;
  if (iofmt_compress_level(code) > 0 && *header->m_blockfactor == 1)
    *header->m_blockfactor = kDefaultBlockFactor;
  if (*header->m_number > 0) {
    status = check_memory(callback, code, *header->m_number, header->m_datatype, data);
    if (status != IO_OK) return status;
    if (code[0] == 'F' && (status = textStorable(callback, header, data)) != IO_OK) return status;
  }
  FILE *stream = record->m_stream;
  if (io_seek(stream, record->m_indexlocation, 0) != 0) {
    io_report_syserr(callback, "write_dataset: (can't go to the dataset location) syserr:");
    return IO_SEEK_ERR;
  }
  int64_t p1 = record->m_indexlocation + 3;
  int64_t length = 0;
  status = writeFrame(callback, code, header, data, record, &length);
  if (status != IO_OK) {
    abortDataset(code, record);
    return status;
  }
  int64_t p4 = io_tell(stream);
  if (p4 < 0) {
    io_report_syserr(callback,
                     "write_dataset: (can't tell the ending  position for the dataset) syserr:");
    return IO_TELL_ERR;
  }
  status = wezwriteString(callback, code, "*CRASH", 6, 1, 6, stream);
  if (status != IO_OK) {
    io_report_error(callback, "write_dataset: can't write file end tag\n");
    return status;
  }
  if (io_seek(stream, p1, 0) != 0) {
    io_report_syserr(callback, "write_dataset: (can't go to the begining of the dataset) syserr:");
    return IO_SEEK_ERR;
  }
  status = wezwriteOffset(callback, code, length, record->m_offsetwidth, stream);
  if (status != IO_OK) {
    io_report_error(callback, "write_dataset: can't write dataset length\n");
    return status;
  }
  if (io_seek(stream, p4, 0) != 0) {
    io_report_syserr(callback, "write_dataset: (can't go to the end of the dataset) syserr:");
    return IO_SEEK_ERR;
  }
  char entry[3 * IO_NAME_LEN + 80];
  snprintf(entry, sizeof entry, "%s%c%s%c%s%c%d%c%" PRId64 "%c%" PRId64, "Y", kEsc, header->m_what,
           kEsc, header->m_where, kEsc, *header->m_when, kEsc, length, kEsc,
           record->m_indexlocation);
  return insert_index(callback, record, entry);
}

int read_located_dataset_start(IO_error_callback callback, char *format, IO_file *record) {
  if (!format || !record || !record->m_stream) {
    io_report_error(callback, "read_located_dataset_start: passing parameters are wrong");
    return IO_MEMORY_ERR;
  }
  FILE *stream = record->m_stream;
  char tag[3];
  errno = 0;
  size_t got = io_fread(tag, 1, 3, stream);
  if (got < 3) {
    io_report_syserr(callback, "read_located_dataset_start: short read %d reading dataset format",
                     static_cast<int32_t>(got));
    return IO_READ_ERR;
  }
  if (!iofmt_is_valid(tag[0])) {
    io_report_error(callback,
                    "read_located_dataset_start: the data set location is incorrect (invalid "
                    "format char '%c'\n",
                    io_format_char(tag[0], '?'));
    return IO_READ_ERR;
  }
  format[0] = tag[0];
  format[1] = tag[1];
  format[2] = '\0';
  int64_t length = 0;
  int status = wezreadOffset(callback, format, &length, stream);
  if (status != IO_OK) {
    io_report_error(callback, "read_located_dataset_start: can't read data set length\n");
    return status;
  }
  if (length < 1) {
    io_report_error(callback, "read_located_dataset_start: bad dataset length %" PRId64, length);
    return IO_BAD_FILE;
  }
  char start[9];
  status = wezreadString(callback, format, start, 8, 1, 8, stream);
  if (status != IO_OK) {
    io_report_error(callback, "read_located_dataset_start: can't read data set tag\n");
    return status;
  }
  return IO_OK;
}

int read_located_dataset(IO_error_callback callback, char *format, IO_header *header, IO_data *data,
                         IO_file *record) {
  return read_located_dataset_as(callback, format, header, data, nullptr, record);
}

int read_data_block(IO_error_callback callback, int32_t convert, const char *format,
                    IO_file *record, IO_header *header, const char *target, int64_t count,
                    IO_data *scratch, IO_data *data) {
  FILE *stream = record->m_stream;
  if (!convert) {
    int status = read_data(callback, format, stream, count, header->m_datatype, data);
    if (status != IO_OK) io_report_error(callback, "read_located_dataset: read_data failed\n");
    return status;
  }
  int status = read_data(callback, format, stream, count, header->m_datatype, scratch);
  if (status != IO_OK) {
    io_report_error(callback, "read_located_dataset_as: read_data failed");
    return status;
  }
  int32_t converted = 0;
  status = convert_data(callback, count, header->m_datatype, target, &converted, scratch, data);
  if (status != IO_OK) io_report_error(callback, "read_located_dataset_as: convert_data failed");
  return status;
}

int read_located_dataset_as(IO_error_callback callback, char *format, IO_header *header,
                            IO_data *data, const char *target, IO_file *record) {
  if (!format || !headerSet(header) || !data || !record || !record->m_stream) {
    io_report_error(callback, "read_located_dataset: passing parameters are wrong");
    return IO_MEMORY_ERR;
  }
  FILE *stream = record->m_stream;
  int status = read_located_dataset_start(callback, format, record);
  if (status != IO_OK) {
    io_report_error(callback, "read_located_dataset: can't read data set start block\n");
    return status;
  }
  status = read_header(callback, format, stream, header);
  if (status != IO_OK) {
    io_report_error(callback, "read_located_dataset: can't read data set header\n");
    return status;
  }
  int64_t number = *header->m_number;
  if (number <= 0) return IO_OK;

  const char *stored = header->m_datatype;
  int32_t convert = 0;
  if (target && target[0] && strcmp(target, stored) != 0) {
    status = convert_data(callback, 0, stored, target, &convert, nullptr, nullptr);
    if (status != IO_OK) {
      io_report_error(callback, "read_located_dataset_as: data not compatible with conversion");
      return status;
    }
    if (!convert)
      io_trace("read_located_dataset_as: convert_data says not to convert %s to %s", stored,
               target);
  }
  const char *wanted = convert ? target : stored;
  status = check_read_memory(callback, format, stream, number, stored, wanted, data);
  if (status != IO_OK) {
    if (status == IO_MEMORY_ERR)
      io_trace("Not enough memory to read %" PRId64 " records of %s\n", number, wanted);
    return status;
  }

  IO_data *scratch = nullptr;
  int64_t block = *header->m_blockfactor > 1 ? *header->m_blockfactor : kDefaultBlockFactor;
  if (convert) {
    int32_t entries, types[IO_MAXENT], counts[IO_MAXENT];
    status = parseStructure(callback, stored, &entries, types, counts);
    if (status != IO_OK) {
      io_report_error(callback, "read_located_dataset_as: parse of actual structure failed\n");
      return status;
    }
    scratch = iodata_alloc(callback);
    if (!scratch) return IO_ALLOC_ERR;
    check_memory(callback, format, number < block ? number : block, stored, scratch);
    if (iodata_alloc_arrays(callback, scratch) != IO_OK) {
      io_report_error(callback,
                      "read_located_dataset_as: error allocating temporary storage for conversion");
      iodata_free(callback, scratch);
      return IO_ALLOC_ERR;
    }
  }
  io_trace("Reading %s:%s:%d data in format %s, destination format %s", header->m_what,
           header->m_where, *header->m_when, stored, wanted);
  status = read_datatag(callback, format, stream);
  if (status != IO_OK) {
    io_report_error(callback, "read_located_dataset: read_datatag failed\n");
  } else if (!convert) {
    // Compressed data parts are read in the blocks they were written in; others at once.
    status =
        read_data_blocks(callback, format, stream, number, *header->m_blockfactor, stored, data);
    if (status != IO_OK) io_report_error(callback, "read_located_dataset: read_data failed\n");
  } else {
    // The conversion sets the counts of the view it fills: each block gets a fresh view.
    for (int64_t done = 0; done < number && status == IO_OK; done += block) {
      int64_t n = number - done < block ? number - done : block;
      IO_data view;
      iodata_block_view(callback, data, &view);
      status = move_datapoints(callback, done, wanted, &view);
      if (status == IO_OK)
        status = read_data_block(callback, 1, format, record, header, wanted, n, scratch, &view);
    }
  }
  if (scratch) iodata_free(callback, scratch);
  if (status != IO_OK) return status;

  char end[12];
  status = wezreadString(callback, format, end, 11, 1, 11, stream);
  if (status != IO_OK) {
    io_report_error(callback, "read_located_dataset: can't read data set end tag, error %d\n",
                    status);
    return status;
  }
  end[11] = '\0';
  if (memcmp(end, "*ENDDATASET", 11) != 0) {
    io_report_error(callback,
                    "read_located_dataset: bad data set end tag: expected *ENDDATASET got "
                    "\"%s\"\n",
                    end);
    return IO_DATA_ERR;
  }
  return IO_OK;
}

int iodata_block_view(IO_error_callback callback, const IO_data *data, IO_data *view) {
  if (!data || !view) {
    io_report_error(callback, "iodata_block_view: passing parameters are wrong");
    return IO_MEMORY_ERR;
  }
  *view = *data;
  int32_t *const *from[IO_DATA_ARRAYS] = {&data->m_numoffset, &data->m_numstring, &data->m_numchar,
                                          &data->m_numintr,   &data->m_numreal,   &data->m_numdble,
                                          &data->m_numlogl};
  int32_t **to[IO_DATA_ARRAYS] = {&view->m_numoffset, &view->m_numstring, &view->m_numchar,
                                  &view->m_numintr,   &view->m_numreal,   &view->m_numdble,
                                  &view->m_numlogl};
  for (int k = 0; k < IO_DATA_ARRAYS; ++k) {
    if (!*from[k]) continue;
    view->m_counts[k] = **from[k];
    *to[k] = &view->m_counts[k];
  }
  return IO_OK;
}

int move_datapoints(IO_error_callback callback, int64_t records, const char *type, IO_data *view) {
  if (!view || records < 0) {
    io_report_error(callback, "move_datapoints: passing parameters are wrong");
    return IO_MEMORY_ERR;
  }
  int32_t entries, types[IO_MAXENT], counts[IO_MAXENT];
  int status = parseStructure(callback, type, &entries, types, counts);
  if (status != IO_OK) {
    io_report_error(callback, "move_datapoints: parseStructure failed\n");
    return status;
  }
  for (int32_t i = 0; i < entries; ++i) {
    int32_t t = types[i];
    // A string item takes one slot a record whatever its length.
    int64_t values = t == IO_TYPE_STRI ? records : records * counts[i];
    int32_t *count = iodata_type_count(view, t);
    char *array = static_cast<char *>(iodata_type_array(view, t));
    if (array) {
      array += values * iodata_type_size(t);
      switch (t) {
      case IO_TYPE_STRI: view->m_stringarray = reinterpret_cast<IO_string *>(array); break;
      case IO_TYPE_CHAR: view->m_chararray = array; break;
      case IO_TYPE_INTR: view->m_intrarray = reinterpret_cast<int32_t *>(array); break;
      case IO_TYPE_REAL: view->m_realarray = reinterpret_cast<float *>(array); break;
      case IO_TYPE_DBLE: view->m_dblearray = reinterpret_cast<double *>(array); break;
      default: view->m_loglarray = array; break;
      }
    }
    if (count) *count = static_cast<int32_t>(*count > values ? *count - values : 0);
  }
  return IO_OK;
}
