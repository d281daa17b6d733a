// Header of a data set: storage, writing and reading of its records.
#include "io_header.h"

#include "io_alloc.h"
#include "io_compress.h"
#include "io_error.h"
#include "io_source.h"
#include "lowlevel_io.h"

#include <cinttypes>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char kEsc = 27;

// Field widths of the header records, and the buffers their reader takes (terminator included).
const int32_t kTagWidth = 7;
const int32_t kRecordWidth = 80;
const int32_t kTypeWidth = 256;
const int32_t kRecordBuffer = 82;
const int32_t kAttributeBuffer = kRecordWidth + 1;
const int32_t kTypeBuffer = kTypeWidth + 1;
// Storage of ioheader_alloc_fields for what and where.
const size_t kFieldName = 82;

struct HeaderObject {
  IO_header m_header; // first, so that the object and its header share an address
  int32_t m_when;
  int32_t m_numattrb;
  int32_t m_number;
  int32_t m_blockfactor;
  char m_what[IO_NAME_LEN];
  char m_where[IO_NAME_LEN];
  char m_datatype[IO_DATATYPE_LEN];
  IO_string m_attributes[IO_MAXATTRB];
};

int64_t s_liveHeaders = 0;

bool referencesSet(const IO_header *header) {
  return header && header->m_what && header->m_where && header->m_when && header->m_numattrb &&
         header->m_number && header->m_datatype && header->m_blockfactor;
}

bool nameValid(const char *name) {
  return name[0] != '\0' && !strchr(name, '\n') && !strchr(name, kEsc);
}

int32_t parseValue(const char *text) {
  long long value = io_parse_integer(text);
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

// The value of a record read: the text after its name and one separator byte.
const char *valueOf(const char *record, size_t nameLength) {
  return strnlen(record, nameLength + 1) > nameLength ? record + nameLength + 1 : "";
}

// Copies a value into storage of `size` characters, cut to fit and always terminated.
void copyValue(char *to, size_t size, const char *value) {
  size_t n = strnlen(value, size - 1);
  memcpy(to, value, n);
  to[n] = '\0';
}

bool startsWith(const char *record, const char *name) {
  // The names are a few letters; the record's terminator ends the match.
  for (; *name; ++record, ++name)
    if (*record != *name) return false;
  return true;
}

// One record, built as "<name> ESC <value>".
int writeRecord(IO_error_callback callback, const char *format, FILE *stream, const char *name,
                const char *value, int32_t width) {
  char record[2 * kTypeBuffer];
  snprintf(record, sizeof record, "%s%c%s", name, kEsc, value);
  return wezwriteHdrString(callback, format, record, width, stream);
}

int writeNumber(IO_error_callback callback, const char *format, FILE *stream, const char *name,
                int32_t value) {
  char text[16];
  snprintf(text, sizeof text, "%d", value);
  return writeRecord(callback, format, stream, name, text, kRecordWidth);
}

} // namespace

// ---------------------------------------------------------------------------------------------

int ioheader_alloc_fields(IO_header *block) {
  if (!block) return IO_MEMORY_ERR;
  bool failed = false;
  auto get = [&failed](size_t size) {
    void *p = io_calloc(1, size);
    if (!p) failed = true;
    return p;
  };
  block->m_what = static_cast<char *>(get(kFieldName));
  block->m_where = static_cast<char *>(get(kFieldName));
  block->m_when = static_cast<int32_t *>(get(sizeof(int32_t)));
  block->m_numattrb = static_cast<int32_t *>(get(sizeof(int32_t)));
  block->m_attributes = static_cast<IO_string *>(get(IO_MAXATTRB * sizeof(IO_string)));
  block->m_number = static_cast<int32_t *>(get(sizeof(int32_t)));
  block->m_datatype = static_cast<char *>(get(IO_DATATYPE_LEN));
  block->m_blockfactor = static_cast<int32_t *>(get(sizeof(int32_t)));
  if (block->m_blockfactor) *block->m_blockfactor = 1;
  return failed ? IO_MEMORY_ERR : IO_OK;
}

int ioheader_free_fields(IO_header *block) {
  if (!block) return IO_OK;
  io_free(block->m_what);
  io_free(block->m_where);
  io_free(block->m_when);
  io_free(block->m_numattrb);
  io_free(block->m_attributes);
  io_free(block->m_number);
  io_free(block->m_datatype);
  io_free(block->m_blockfactor);
  memset(block, 0, sizeof *block);
  return IO_OK;
}

IO_header *ioheader_alloc(IO_error_callback callback) {
  HeaderObject *object = static_cast<HeaderObject *>(io_malloc(sizeof(HeaderObject)));
  if (!object) {
    if (callback)
      io_report_malloc_error(callback, "ioheader_alloc",
                             static_cast<int64_t>(sizeof(HeaderObject)));
    return nullptr;
  }
  ++s_liveHeaders;
  ioheader_init(&object->m_header);
  return &object->m_header;
}

int ioheader_init(IO_header *header) {
  if (!header) return IO_MEMORY_ERR;
  HeaderObject *object = reinterpret_cast<HeaderObject *>(header);
  memset(object, 0, sizeof *object);
  header->m_what = object->m_what;
  header->m_where = object->m_where;
  header->m_when = &object->m_when;
  header->m_numattrb = &object->m_numattrb;
  header->m_attributes = object->m_attributes;
  header->m_number = &object->m_number;
  header->m_datatype = object->m_datatype;
  header->m_blockfactor = &object->m_blockfactor;
  object->m_blockfactor = 1;
  return IO_OK;
}

int ioheader_free(IO_error_callback, IO_header *header) {
  if (!header) return IO_OK;
  --s_liveHeaders;
  io_free(reinterpret_cast<HeaderObject *>(header));
  return IO_OK;
}

int ioheader_leak_check(IO_error_callback callback) {
  if (s_liveHeaders == 0) return IO_OK;
  io_report_error(callback, "ioheader_leak_check: %d allocated header objects still remain",
                  static_cast<int32_t>(s_liveHeaders));
  return IO_ALLOC_ERR;
}

int ioheader_dump(const IO_header *header) {
  if (!referencesSet(header)) {
    printf("header: incomplete\n");
    return IO_OK;
  }
  printf("header %s:%s:%d, %d attributes, %d records of %s, block factor %d\n", header->m_what,
         header->m_where, *header->m_when, *header->m_numattrb, *header->m_number,
         header->m_datatype, *header->m_blockfactor);
  for (int32_t i = 0; header->m_attributes && i < *header->m_numattrb && i < IO_MAXATTRB; ++i)
    printf("  attribute %d: %.80s\n", i, header->m_attributes[i]);
  return IO_OK;
}

int ioheader_has_blockfactor(const char *format) {
  // A digit after a binary letter means a block factor record, "0" included.
  return format && (format[0] == 'F' || iofmt_compress_level(format) > 0 ||
                    ((format[0] == 'U' || format[0] == 'u' || format[0] == 'L' || format[0] == 'l') && format[1] == '0'));
}

// ---------------------------------------------------------------------------------------------

int write_header(IO_error_callback callback, const char *format, FILE *stream,
                 const IO_header *header) {
  if (!format || !stream || !referencesSet(header) || *header->m_numattrb < 0 ||
      (*header->m_numattrb > 0 && !header->m_attributes)) {
    io_report_error(callback, "write_header: passing parameters are wrong");
    return IO_MEMORY_ERR;
  }
  // A line feed or ESC in a name would split the entry of the data set in the index.
  if (!nameValid(header->m_what) || !nameValid(header->m_where) || *header->m_when < 0) {
    io_report_error(callback, "write_header: invalid dataset name %s:%s:%d", header->m_what,
                    header->m_where, *header->m_when);
    return IO_DATA_ERR;
  }
  if (wezwriteHdrString(callback, format, "*HEADER", kTagWidth, stream) != IO_OK) {
    io_report_error(callback, "write_header: fail to write header tag\n");
    return IO_WRITE_ERR;
  }
  if (writeRecord(callback, format, stream, "WHAT", header->m_what, kRecordWidth) != IO_OK) {
    io_report_error(callback, "write_header: fail to write what\n");
    return IO_WRITE_ERR;
  }
  if (writeRecord(callback, format, stream, "WHERE", header->m_where, kRecordWidth) != IO_OK) {
    io_report_error(callback, "write_header: fail to write where\n");
    return IO_WRITE_ERR;
  }
  if (writeNumber(callback, format, stream, "WHEN", *header->m_when) != IO_OK) {
    io_report_error(callback, "write_header: fail to write when\n");
    return IO_WRITE_ERR;
  }
  if (writeNumber(callback, format, stream, "NUMATTRB", *header->m_numattrb) != IO_OK) {
    io_report_error(callback, "write_header: fail to write number of attributes\n");
    return IO_WRITE_ERR;
  }
  for (int32_t i = 0; i < *header->m_numattrb; ++i) {
    char attribute[kAttributeBuffer];
    memcpy(attribute, header->m_attributes[i], IO_STRING_LEN);
    attribute[IO_STRING_LEN] = '\0';
    if (wezwriteHdrString(callback, format, attribute, kRecordWidth, stream) != IO_OK) {
      io_report_error(callback, "write_header: fail to write attributes\n");
      return IO_WRITE_ERR;
    }
  }
  if (writeRecord(callback, format, stream, "DATATYPE", header->m_datatype, kTypeWidth) != IO_OK) {
    io_report_error(callback, "write_header: fail to write data type\n");
    return IO_WRITE_ERR;
  }
  if (writeNumber(callback, format, stream, "NUMBER", *header->m_number) != IO_OK) {
    io_report_error(callback, "write_header: fail to write data number\n");
    return IO_WRITE_ERR;
  }
  if (ioheader_has_blockfactor(format) &&
      writeNumber(callback, format, stream, "BLOCKFACTOR", *header->m_blockfactor) != IO_OK) {
    io_report_error(callback, "write_header: fail to write blockfactor\n");
    return IO_WRITE_ERR;
  }
  return IO_OK;
}

namespace {

// What the messages call the data set whose header is read: as much of its name as has been read.
// Its text is made only when a message needs it, since headers are read far more often than they
// fail.
struct HeaderContext {
  const IO_header *m_header;
  char m_f0, m_f1;
  int64_t m_at;
  int m_known; // 0 nothing, 1 what, 2 what and where, 3 what, where and when

  std::string text() const {
    char t[3 * IO_NAME_LEN + 64];
    const IO_header *h = m_header;
    if (m_known == 0)
      snprintf(t, sizeof t, "dataset of format %c%c at %" PRId64, m_f0, m_f1, m_at);
    else if (m_known == 1)
      snprintf(t, sizeof t, "dataset %s:?:? of format %c%c at %" PRId64, h->m_what, m_f0, m_f1, m_at);
    else if (m_known == 2)
      snprintf(t, sizeof t, "dataset %s:%s:? of format %c%c at %" PRId64, h->m_what, h->m_where, m_f0, m_f1, m_at);
    else
      snprintf(t, sizeof t, "dataset %s:%s:%d of format %c%c", h->m_what, h->m_where, *h->m_when, m_f0, m_f1);
    return t;
  }
};

// Reads one header record into `record` and checks that it starts with `prefix` (none: no
// check). The messages name the record as `readWhat` and `badWhat` and end with `end`.
template <class Source>
int readRecord(IO_error_callback callback, const char *format, Source &source, char *record, int32_t size,
               const char *prefix, const char *readWhat, const char *badWhat, const HeaderContext &context,
               const char *end = "\n") {
  if (ioread_hdr_string(callback, format, record, size, source) != IO_OK) {
    io_report_error(callback, "read_header: fail to read %s for %s%s", readWhat,
                    context.text().c_str(), end);
    return IO_READ_ERR;
  }
  if (prefix && !startsWith(record, prefix)) {
    io_report_error(callback, "read_header: bad %s %s in %s%s", badWhat, record,
                    context.text().c_str(), end);
    return IO_READ_ERR;
  }
  return IO_OK;
}

// The attributes after NUMATTRB; those beyond the storage are read and dropped.
template <class Source>
int readAttributes(IO_error_callback callback, const char *format, Source &source, IO_header *header,
                   const HeaderContext &context) {
  char record[kTypeBuffer];
  if (readRecord(callback, format, source, record, kRecordBuffer, nullptr, "numattrb record", "", context) != IO_OK)
    return IO_READ_ERR;
  int32_t numattrb = parseValue(valueOf(record, 8));
  if (!startsWith(record, "NUMATTRB") || numattrb < 0) {
    io_report_error(callback, "read_header: bad numattrb record %s in %s\n", record,
                    context.text().c_str());
    return IO_READ_ERR;
  }
  int32_t kept = 0;
  for (int32_t i = 0; i < numattrb; ++i) {
    if (ioread_hdr_string(callback, format, record, kAttributeBuffer, source) != IO_OK) {
      io_report_error(callback, "read_header: fail to read attribute %d for %s\n", i,
                      context.text().c_str());
      return IO_READ_ERR;
    }
    if (header->m_attributes && kept < IO_MAXATTRB) {
      size_t n = strlen(record);
      memcpy(header->m_attributes[kept], record, n < IO_STRING_LEN ? n + 1 : IO_STRING_LEN);
      ++kept;
    }
  }
  if (kept < numattrb && io_trace_enabled())
    io_trace("read_header: %d attributes of %s dropped", numattrb - kept, context.text().c_str());
  *header->m_numattrb = kept;
  return IO_OK;
}

// The block factor record of the formats that have one; level 0 data sets of older writers of
// this library have none, and the stream goes back to where it stood.
template <class Source>
int readBlockFactor(IO_error_callback callback, const char *format, Source &source, IO_header *header,
                    const HeaderContext &context) {
  char record[kTypeBuffer];
  int64_t here = source.tell();
  if (here < 0) {
    io_report_error(callback,
                    "read_header: fail to tell the blockfactor location in the file for %s\n",
                    context.text().c_str());
    return IO_TELL_ERR;
  }
  if (ioread_hdr_string(callback, format, record, kRecordBuffer, source) != IO_OK) {
    io_report_error(callback, "read_header: fail to read blockfactor at %" PRId64 " in %s\n", here,
                    context.text().c_str());
    return IO_READ_ERR;
  }
  if (startsWith(record, "BLOCKFACTOR")) {
    *header->m_blockfactor = parseValue(valueOf(record, 11));
    return IO_OK;
  }
  if (format[0] != 'F' && format[1] != '0') {
    io_report_error(callback, "read_header: blockfactor missing for compressed dataset in %s",
                    context.text().c_str());
    return IO_READ_ERR;
  }
  if (source.seek(here) != 0) {
    io_report_error(callback,
                    "read_header: fail to go back to the data tag location %" PRId64 " for %s",
                    here, context.text().c_str());
    return IO_SEEK_ERR;
  }
  return IO_OK;
}

template <class Source>
int readHeader(IO_error_callback callback, const char *format, Source &source, IO_header *header) {
  if (!format || !iofmt_is_valid(format[0])) {
    io_report_error(callback, "read_header: bad format string %c%c",
                    io_format_char(format ? format[0] : 0, ' '),
                    io_format_char(format && format[0] ? format[1] : 0, ' '));
    return IO_FORMAT_ERR;
  }
  if (!source.valid() || !referencesSet(header)) {
    io_report_error(callback, "read_header: passing parameters are wrong");
    return IO_MEMORY_ERR;
  }
  *header->m_blockfactor = 1;
  HeaderContext context = {header, format[0], static_cast<char>(io_format_char(format[1], ' ')), source.tell(), 0};
  char record[kTypeBuffer];

  if (readRecord(callback, format, source, record, kRecordBuffer, "*HEADER", "header tag", "header tag",
                 context) != IO_OK ||
      readRecord(callback, format, source, record, kRecordBuffer, "WHAT", "what", "what record", context) != IO_OK)
    return IO_READ_ERR;
  copyValue(header->m_what, IO_NAME_LEN, valueOf(record, 4));
  context.m_known = 1;
  if (readRecord(callback, format, source, record, kRecordBuffer, "WHERE", "where", "where record", context) != IO_OK)
    return IO_READ_ERR;
  copyValue(header->m_where, IO_NAME_LEN, valueOf(record, 5));
  context.m_known = 2;
  if (readRecord(callback, format, source, record, kRecordBuffer, "WHEN", "when", "when record", context) != IO_OK)
    return IO_READ_ERR;
  *header->m_when = parseValue(valueOf(record, 4));
  context.m_known = 3;
  if (readAttributes(callback, format, source, header, context) != IO_OK ||
      readRecord(callback, format, source, record, kTypeBuffer, "DATATYPE", "DATATYPE (istrct) record",
                 "DATATYPE (istrct) record", context) != IO_OK)
    return IO_READ_ERR;
  copyValue(header->m_datatype, IO_DATATYPE_LEN, valueOf(record, 8));
  if (readRecord(callback, format, source, record, kRecordBuffer, "NUMBER", "NUMBER record", "number record", context,
                 "") != IO_OK)
    return IO_READ_ERR;
  *header->m_number = parseValue(valueOf(record, 6));
  if (!ioheader_has_blockfactor(format)) return IO_OK;
  return readBlockFactor(callback, format, source, header, context);
}

} // namespace

int read_header(IO_error_callback callback, const char *format, FILE *stream, IO_header *header) {
  IO_stream_source source{stream};
  return readHeader(callback, format, source, header);
}

int read_header(IO_error_callback callback, const char *format, IO_stream_source &source, IO_header *header) {
  return readHeader(callback, format, source, header);
}

int read_header(IO_error_callback callback, const char *format, IO_bytes_source &source, IO_header *header) {
  return readHeader(callback, format, source, header);
}
