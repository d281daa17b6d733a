// The data part of a data set: its tag, plain arrays, structure records, conversion and chunks.
#include "data_part.h"

#include "io_alloc.h"
#include "io_compress.h"
#include "io_datatype.h"
#include "io_error.h"
#include "io_pipeline.h"
#include "iodata.h"
#include "lowlevel_io.h"

#include <cerrno>
#include <cinttypes>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

const char kEsc = 27;
// Plain arrays of fewer values, and structure blocks of fewer bytes, are never compressed.
const int64_t kCompressMinValues = 100;
const int64_t kCompressMinBytes = 100;
// Records per chunk of a compressed data set whose header leaves the block factor unset.
const int64_t kDefaultBlockFactor = 100000;
// The most bytes one stored byte of a zlib stream can expand to.
const int64_t kMaxInflation = 1032;
// Bytes per call of the 32-bit value operations when a run is longer than they take.
const int64_t kPiece = int64_t(1) << 30;
// Records of strings packed per write or read of a binary STRI array.
const int64_t kStringPiece = 65536;

const char *const kTypeWords[IO_TYPE_END] = {"string", "char", "intr", "real", "dble", "logl"};

// Characters a value takes in a text record, its ESC included ("%10d" widens to 11 for the most
// negative value); strings and characters take their count and one ESC.
const int64_t kTextFieldWidth[IO_TYPE_END] = {0, 0, 12, 21, 21, 2};

// A parsed type string and the sizes of one record in a format.
struct Layout {
  int32_t m_items;
  int32_t m_types[IO_MAXENT];
  int32_t m_counts[IO_MAXENT];
  int64_t m_width;
  int64_t m_totals[IO_TYPE_END];
};

int64_t mulSaturated(int64_t a, int64_t b) {
  int64_t product;
  return __builtin_mul_overflow(a, b, &product) ? INT64_MAX : product;
}

int parseLayout(IO_error_callback callback, const char *name, const char *format, const char *type,
                Layout *layout) {
  int status = parseStructure(callback, type, &layout->m_items, layout->m_types, layout->m_counts);
  if (status != IO_OK) {
    io_report_error(callback, "%s: parseStructure failed", name);
    return status;
  }
  return structure_sizes(callback, format, layout->m_items, layout->m_types, layout->m_counts,
                         &layout->m_width, layout->m_totals);
}

// The values of each type that NUMBER records need. False when one is more than a 32-bit count
// can hold.
bool computeNeeds(int64_t number, const Layout &layout, int64_t needs[IO_TYPE_END]) {
  bool fits = true;
  for (int t = 0; t < IO_TYPE_END; ++t) {
    needs[t] = number > 0 ? mulSaturated(number, layout.m_totals[t]) : 0;
    if (needs[t] > INT32_MAX) fits = false;
  }
  return fits;
}

bool arraysHold(const IO_data *data, const int64_t needs[IO_TYPE_END]) {
  for (int t = 0; t < IO_TYPE_END; ++t) {
    if (needs[t] == 0) continue;
    const int32_t *count = iodata_type_count(data, t);
    if (!count || !iodata_type_array(data, t) || *count < needs[t]) return false;
  }
  return true;
}

void setCounts(IO_data *data, const int64_t needs[IO_TYPE_END]) {
  for (int t = 0; t < IO_TYPE_END; ++t) {
    int32_t *count = iodata_type_count(data, t);
    if (count) *count = static_cast<int32_t>(needs[t]);
  }
}

int reportTooMany(IO_error_callback callback, const char *name, int64_t number) {
  io_report_error(callback, "%s: %" PRId64 " records need more values than an array can hold", name,
                  number);
  return IO_FORMAT_ERR;
}

// check_memory on a parsed type.
int checkLayoutMemory(IO_error_callback callback, const char *name, int64_t number,
                      const Layout &layout, IO_data *data) {
  int64_t needs[IO_TYPE_END];
  if (!computeNeeds(number, layout, needs)) return reportTooMany(callback, name, number);
  bool hold = arraysHold(data, needs);
  setCounts(data, needs);
  return hold ? IO_OK : IO_MEMORY_ERR;
}

// For the operations that take arrays as they are: 0 when they hold NUMBER records, else 14.
int checkHold(IO_error_callback callback, const char *name, int64_t number, const Layout &layout,
              const IO_data *data) {
  int64_t needs[IO_TYPE_END];
  if (!computeNeeds(number, layout, needs)) return reportTooMany(callback, name, number);
  if (arraysHold(data, needs)) return IO_OK;
  io_report_error(callback, "%s: the arrays do not hold %" PRId64 " records", name, number);
  return IO_MEMORY_ERR;
}

// The fewest bytes in which any writer stores NUMBER records of the layout. Text values take at
// least a character each; a zlib stream expands at most kMaxInflation times.
int64_t minStoredBytes(const char *format, int64_t number, const Layout &layout) {
  bool text = format[0] == 'F';
  int64_t lengthField = format[0] == 'L' || format[0] == 'l' ? 8 : 4;
  bool compressing = iofmt_compress_level(format) > 0;
  if (layout.m_items == 1) {
    int32_t type = layout.m_types[0];
    int64_t count = layout.m_counts[0];
    int64_t total = mulSaturated(number, count);
    if (count == 0) return 0;
    if (text) {
      if (type == IO_TYPE_STRI) return number;
      if (type == IO_TYPE_CHAR) return total == INT64_MAX ? total : total + 1;
      return total;
    }
    if (type == IO_TYPE_STRI) return total;
    int64_t bytes = mulSaturated(total, iodata_type_size(type));
    if (compressing && total >= kCompressMinValues) return lengthField + bytes / kMaxInflation;
    return bytes;
  }
  if (text) return layout.m_width > 0 ? number : 0;
  int64_t bytes = mulSaturated(number, layout.m_width);
  if (compressing && bytes >= kCompressMinBytes) return lengthField + bytes / kMaxInflation;
  return bytes;
}

// Bytes from the stream's position to its end; -1 when that cannot be told.
int64_t bytesLeft(FILE *stream) {
  int64_t here = io_tell(stream);
  if (here < 0) return -1;
  int64_t end = -1;
  if (io_seek(stream, 0, 2) == 0) end = io_tell(stream);
  if (io_seek(stream, here, 0) != 0) return -1;
  if (end < 0) return -1;
  return end > here ? end - here : 0;
}

// The reader's memory check: counts set to the needs; before 14 asks the caller to allocate,
// the stream must be able to hold the records.
int prepareRead(IO_error_callback callback, const char *format, FILE *stream, int64_t number,
                const char *type, const Layout &layout, IO_data *data) {
  int64_t needs[IO_TYPE_END];
  if (!computeNeeds(number, layout, needs)) return reportTooMany(callback, "read_data", number);
  if (arraysHold(data, needs)) {
    setCounts(data, needs);
    return IO_OK;
  }
  int64_t left = bytesLeft(stream);
  int64_t least = minStoredBytes(format, number, layout);
  if (left >= 0 && least > left) {
    io_report_error(callback,
                    "read_data: %" PRId64 " records of \"%s\" need at least %" PRId64
                    " bytes, only %" PRId64 " are left",
                    number, type, least, left);
    return IO_READ_ERR;
  }
  setCounts(data, needs);
  return IO_MEMORY_ERR;
}

// Runs of bytes through the 32-bit string operations, in pieces.
template <typename Byte, typename StringOperation>
int bytesInPieces(IO_error_callback callback, const char *format, Byte *bytes, int64_t size,
                  FILE *stream, StringOperation operation) {
  for (int64_t done = 0; done < size;) {
    int32_t n = static_cast<int32_t>(size - done < kPiece ? size - done : kPiece);
    int status = operation(callback, format, bytes + done, n, 1, n, stream);
    if (status != IO_OK) return status;
    done += n;
  }
  return IO_OK;
}

int writeBytes(IO_error_callback callback, const char *format, const char *bytes, int64_t size,
               FILE *stream) {
  return bytesInPieces(callback, format, bytes, size, stream, wezwriteString);
}

int readBytes(IO_error_callback callback, const char *format, char *bytes, int64_t size,
              FILE *stream) {
  return bytesInPieces(callback, format, bytes, size, stream, wezreadString);
}

// Keeps a string slot's text up to `length` characters and zeroes the rest of the slot.
void settleSlot(char *slot, size_t length) {
  size_t n = strnlen(slot, length);
  memset(slot + n, 0, sizeof(IO_string) - n);
}

// ---------------------------------------------------------------------------------------------
// Plain arrays

int writeStrings(IO_error_callback callback, const char *format, FILE *stream, int64_t number,
                 int32_t count, const IO_string *slots) {
  if (format[0] == 'F') {
    for (int64_t r = 0; r < number; ++r) {
      int status = wezwriteString(callback, format, slots[r], count, 1, count, stream);
      if (status != IO_OK) return status;
    }
    return IO_OK;
  }
  // c bytes a string: its text, then NULs (never what lies after the terminator in the slot).
  int64_t perPiece = number < kStringPiece ? number : kStringPiece;
  char *buffer = static_cast<char *>(io_malloc(static_cast<size_t>(perPiece * count)));
  if (!buffer) {
    io_report_syserr(callback, "write_single_dataarray: (malloc failed) syserr:");
    return IO_MEMORY_ERR;
  }
  int status = IO_OK;
  for (int64_t done = 0; done < number && status == IO_OK;) {
    int64_t n = number - done < perPiece ? number - done : perPiece;
    for (int64_t r = 0; r < n; ++r) {
      char *out = buffer + r * count;
      size_t length = strnlen(slots[done + r], static_cast<size_t>(count));
      memcpy(out, slots[done + r], length);
      memset(out + length, 0, static_cast<size_t>(count) - length);
    }
    status = writeBytes(callback, format, buffer, n * count, stream);
    done += n;
  }
  io_free(buffer);
  return status;
}

int readStrings(IO_error_callback callback, const char *format, FILE *stream, int64_t number,
                int32_t count, IO_string *slots) {
  if (format[0] == 'F') {
    for (int64_t r = 0; r < number; ++r) {
      int status = wezreadString(callback, format, slots[r], count, 1, count, stream);
      if (status != IO_OK) return status;
      settleSlot(slots[r], static_cast<size_t>(count));
    }
    return IO_OK;
  }
  if (count == IO_STRING_LEN) { // the slots lie back to back as the file holds them
    int status = readBytes(callback, format, slots[0], number * count, stream);
    for (int64_t r = 0; r < number && status == IO_OK; ++r) settleSlot(slots[r], IO_STRING_LEN);
    return status;
  }
  int64_t perPiece = number < kStringPiece ? number : kStringPiece;
  char *buffer = static_cast<char *>(io_malloc(static_cast<size_t>(perPiece * count)));
  if (!buffer) {
    io_report_syserr(callback, "read_single_dataarray: (malloc failed) syserr:");
    return IO_ALLOC_ERR;
  }
  int status = IO_OK;
  for (int64_t done = 0; done < number && status == IO_OK;) {
    int64_t n = number - done < perPiece ? number - done : perPiece;
    status = readBytes(callback, format, buffer, n * count, stream);
    for (int64_t r = 0; r < n && status == IO_OK; ++r) {
      memcpy(slots[done + r], buffer + r * count, static_cast<size_t>(count));
      settleSlot(slots[done + r], static_cast<size_t>(count));
    }
    done += n;
  }
  io_free(buffer);
  return status;
}

bool compressesArray(const char *format, int32_t type, int64_t total) {
  return type != IO_TYPE_STRI && total >= kCompressMinValues && iofmt_compress_level(format) > 0;
}

// The plain values of an array whose arrays are known to hold it (not compressed, or after the
// length -1 of a compressed one that did not shrink).
int writePlainSingle(IO_error_callback callback, const char *format, FILE *stream, int64_t number,
                     int32_t type, int32_t count, IO_data *data) {
  int64_t total = number * count;
  if (total == 0) return IO_OK;
  int32_t n = static_cast<int32_t>(total);
  switch (type) {
  case IO_TYPE_STRI:
    return writeStrings(callback, format, stream, number, count, data->m_stringarray);
  case IO_TYPE_CHAR: return wezwriteString(callback, format, data->m_chararray, n, 1, n, stream);
  case IO_TYPE_INTR: return wezwriteIntr(callback, format, data->m_intrarray, n, 8, 10, stream);
  case IO_TYPE_REAL: return wezwriteReal(callback, format, data->m_realarray, n, 4, 20, stream);
  case IO_TYPE_DBLE: return wezwriteDble(callback, format, data->m_dblearray, n, 4, 20, stream);
  case IO_TYPE_LOGL: return wezwriteLogl(callback, format, data->m_loglarray, n, 16, 5, stream);
  default:
    io_report_error(callback, "write_single_dataarray: unknown data format %d", type);
    return IO_FORMAT_ERR;
  }
}

int readSingle(IO_error_callback callback, const char *format, FILE *stream, int64_t number,
               int32_t type, int32_t count, IO_data *data) {
  if (type < 0 || type >= IO_TYPE_END) {
    io_report_error(callback, "read_single_dataarray: unknown data format %d", type);
    return IO_FORMAT_ERR;
  }
  int64_t total = number * count;
  if (total == 0) {
    if (type == IO_TYPE_STRI)
      for (int64_t r = 0; r < number; ++r) settleSlot(data->m_stringarray[r], 0);
    return IO_OK;
  }
  if (compressesArray(format, type, total)) {
    int status = read_compressed_dataarray(callback, format, stream, number, type, count, data);
    if (status != IO_PLAIN_DATA) return status;
  }
  int32_t n = static_cast<int32_t>(total);
  switch (type) {
  case IO_TYPE_STRI:
    return readStrings(callback, format, stream, number, count, data->m_stringarray);
  case IO_TYPE_CHAR: {
    int status = wezreadString(callback, format, data->m_chararray, n, 1, n, stream);
    // A text line loses its trailing blanks: what it no longer holds reads as NULs.
    if (status == IO_OK && format[0] == 'F') {
      size_t length = strnlen(data->m_chararray, static_cast<size_t>(n));
      memset(data->m_chararray + length, 0, static_cast<size_t>(n) - length);
    }
    return status;
  }
  case IO_TYPE_INTR: return wezreadIntr(callback, format, data->m_intrarray, n, 8, 10, stream);
  case IO_TYPE_REAL: return wezreadReal(callback, format, data->m_realarray, n, 4, 20, stream);
  case IO_TYPE_DBLE: return wezreadDble(callback, format, data->m_dblearray, n, 4, 20, stream);
  default: return wezreadLogl(callback, format, data->m_loglarray, n, 16, 5, stream);
  }
}

// ---------------------------------------------------------------------------------------------
// Structures

int checkItemTypes(IO_error_callback callback, const char *name, const int32_t *types,
                   const int32_t *counts, int32_t items) {
  for (int32_t i = 0; i < items; ++i) {
    if (types[i] < 0 || types[i] >= IO_TYPE_END) {
      io_report_error(callback, "%s: unknown data format %d", name, types[i]);
      return IO_FORMAT_ERR;
    }
    if (counts[i] < 0) {
      io_report_error(callback, "%s: passing parameters are wrong", name);
      return IO_MEMORY_ERR;
    }
  }
  return IO_OK;
}

// A layout built from item lists handed in by a caller.
int layoutOfItems(IO_error_callback callback, const char *name, const char *format,
                  const int32_t *types, const int32_t *counts, int32_t items, Layout *layout) {
  if (!types || !counts || items < 1 || items > IO_MAXENT) {
    io_report_error(callback, "%s: passing parameters are wrong", name);
    return IO_MEMORY_ERR;
  }
  int status = checkItemTypes(callback, name, types, counts, items);
  if (status != IO_OK) return status;
  layout->m_items = items;
  memcpy(layout->m_types, types, sizeof(int32_t) * static_cast<size_t>(items));
  memcpy(layout->m_counts, counts, sizeof(int32_t) * static_cast<size_t>(items));
  return structure_sizes(callback, format, items, types, counts, &layout->m_width,
                         layout->m_totals);
}

// The entry points over item lists: the layout of the items, a check that the arrays hold NUMBER
// records, then the operation.
template <typename Operation>
int onItems(IO_error_callback callback, const char *name, const char *format, int64_t number,
            const int32_t *types, const int32_t *counts, int32_t items, const IO_data *data,
            Operation operation) {
  Layout layout;
  int status = layoutOfItems(callback, name, format, types, counts, items, &layout);
  if (status == IO_OK) status = checkHold(callback, name, number, layout, data);
  if (status == IO_OK) status = operation(layout);
  return status;
}

int32_t textInt(const char *text) {
  long long value = strtoll(text, nullptr, 10);
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

// Ends a text field of n characters just written at *out with its ESC.
inline void endField(char **out, size_t *room, int n) {
  (*out)[n] = kEsc;
  *out += n + 1;
  *room -= static_cast<size_t>(n) + 1;
}

int writeFmtRecords(IO_error_callback callback, FILE *stream, int64_t number, const Layout &layout,
                    IO_data *data) {
  int64_t width = layout.m_width;
  if (width == 0 || number <= 0) return IO_OK;
  if (width > INT32_MAX - 2) {
    io_report_error(callback, "write_fmt_structure: record width %" PRId64 " is too large", width);
    return IO_FORMAT_ERR;
  }
  char *line = static_cast<char *>(io_malloc(static_cast<size_t>(width) + 1));
  if (!line) {
    io_report_syserr(callback, "write_fmt_structure: (malloc failed) syserr:");
    return IO_MEMORY_ERR;
  }
  int64_t pos[IO_TYPE_END] = {0, 0, 0, 0, 0, 0};
  int status = IO_OK;
  for (int64_t r = 0; r < number && status == IO_OK; ++r) {
    int64_t length = 0;
    for (int32_t i = 0; i < layout.m_items; ++i) {
      int32_t type = layout.m_types[i];
      int64_t count = layout.m_counts[i];
      size_t room = static_cast<size_t>(width + 1 - length);
      char *out = line + length;
      switch (type) {
      case IO_TYPE_INTR:
        for (int64_t k = 0; k < count; ++k)
          endField(&out, &room, snprintf(out, room, "%10" PRId32, data->m_intrarray[pos[type]++]));
        break;
      case IO_TYPE_REAL:
        for (int64_t k = 0; k < count; ++k)
          endField(&out, &room,
                   snprintf(out, room, "%20.11E",
                            static_cast<double>(data->m_realarray[pos[type]++])));
        break;
      case IO_TYPE_DBLE:
        for (int64_t k = 0; k < count; ++k)
          endField(&out, &room, snprintf(out, room, "%20.11E", data->m_dblearray[pos[type]++]));
        break;
      case IO_TYPE_LOGL:
        for (int64_t k = 0; k < count; ++k) {
          *out++ = data->m_loglarray[pos[type]++];
          *out++ = kEsc;
        }
        break;
      case IO_TYPE_CHAR: {
        size_t m = strnlen(data->m_chararray + pos[type], static_cast<size_t>(count));
        memcpy(out, data->m_chararray + pos[type], m);
        out += m;
        *out++ = kEsc;
        pos[type] += count;
        break;
      }
      default: { // STRI
        size_t m = strnlen(data->m_stringarray[pos[type]], static_cast<size_t>(count));
        memcpy(out, data->m_stringarray[pos[type]], m);
        out += m;
        *out++ = kEsc;
        pos[type] += 1;
        break;
      }
      }
      length = out - line;
    }
    int32_t n = static_cast<int32_t>(length);
    status = wezwriteString(callback, "F", line, n, 1, n, stream);
    if (status != IO_OK) io_report_error(callback, "write_data: write data failed");
  }
  io_free(line);
  return status;
}

// The ESC-ended pieces of one record line, taken in turn. Each ESC ends one piece, so an
// empty string between two ESCs stays an empty value.
struct Pieces {
  char *m_next;
  char *m_end;
};

const char *nextPiece(Pieces *pieces) {
  if (pieces->m_next >= pieces->m_end) return nullptr;
  char *esc = static_cast<char *>(
      memchr(pieces->m_next, kEsc, static_cast<size_t>(pieces->m_end - pieces->m_next)));
  if (!esc) return nullptr;
  *esc = '\0';
  const char *piece = pieces->m_next;
  pieces->m_next = esc + 1;
  return piece;
}

int readFmtRecords(IO_error_callback callback, FILE *stream, int64_t number, const Layout &layout,
                   IO_data *data) {
  int64_t width = layout.m_width;
  if (width == 0 || number <= 0) return IO_OK;
  if (width > INT32_MAX - 2) {
    io_report_error(callback, "read_fmt_structure: record width %" PRId64 " is too large", width);
    return IO_FORMAT_ERR;
  }
  char *line = static_cast<char *>(io_malloc(static_cast<size_t>(width) + 1));
  if (!line) {
    io_report_syserr(callback, "read_fmt_structure: (malloc failed) syserr:");
    return IO_ALLOC_ERR;
  }
  int32_t w = static_cast<int32_t>(width);
  int64_t pos[IO_TYPE_END] = {0, 0, 0, 0, 0, 0};
  int status = IO_OK;
  for (int64_t r = 0; r < number && status == IO_OK; ++r) {
    status = wezreadString(callback, "F", line, w, 1, w, stream);
    if (status != IO_OK) {
      io_report_error(callback, "read_data: read data failed");
      break;
    }
    line[width] = '\0';
    size_t length = strlen(line);
    if (!memchr(line, kEsc, length)) {
      io_report_error(callback, "read_data: no string terminator to seperate different data");
      status = IO_DATA_ERR;
      break;
    }
    // A record whose line runs out of pieces ends early: its remaining values are zero.
    Pieces pieces = {line, line + length};
    for (int32_t i = 0; i < layout.m_items; ++i) {
      int32_t type = layout.m_types[i];
      int64_t count = layout.m_counts[i];
      switch (type) {
      case IO_TYPE_INTR:
        for (int64_t k = 0; k < count; ++k) {
          const char *piece = nextPiece(&pieces);
          data->m_intrarray[pos[type]++] = piece ? textInt(piece) : 0;
        }
        break;
      case IO_TYPE_REAL:
        for (int64_t k = 0; k < count; ++k) {
          const char *piece = nextPiece(&pieces);
          data->m_realarray[pos[type]++] = piece ? static_cast<float>(strtod(piece, nullptr)) : 0;
        }
        break;
      case IO_TYPE_DBLE:
        for (int64_t k = 0; k < count; ++k) {
          const char *piece = nextPiece(&pieces);
          data->m_dblearray[pos[type]++] = piece ? strtod(piece, nullptr) : 0;
        }
        break;
      case IO_TYPE_LOGL:
        for (int64_t k = 0; k < count; ++k) {
          const char *piece = nextPiece(&pieces);
          data->m_loglarray[pos[type]++] = piece ? piece[0] : '\0';
        }
        break;
      case IO_TYPE_CHAR: {
        const char *piece = nextPiece(&pieces);
        size_t m = piece ? strnlen(piece, static_cast<size_t>(count)) : 0;
        char *out = data->m_chararray + pos[type];
        if (m > 0) memcpy(out, piece, m);
        memset(out + m, 0, static_cast<size_t>(count) - m);
        pos[type] += count;
        break;
      }
      default: { // STRI
        const char *piece = nextPiece(&pieces);
        size_t m = piece ? strnlen(piece, static_cast<size_t>(count)) : 0;
        char *slot = data->m_stringarray[pos[type]];
        if (m > 0) memcpy(slot, piece, m);
        memset(slot + m, 0, sizeof(IO_string) - m);
        pos[type] += 1;
        break;
      }
      }
    }
  }
  io_free(line);
  return status;
}

// Copies one 4- or 8-byte value, reversing its bytes when asked.
template <typename T> inline void copyValue(void *to, const void *from, bool swap) {
  memcpy(to, from, sizeof(T));
  if (swap) io_swap_bytes(to, sizeof(T));
}

// Packs (toBlock) or unpacks the records between the typed arrays and a block.
void moveRecords(unsigned char *block, int64_t number, const Layout &layout, IO_data *data,
                 bool swap, bool toBlock) {
  int64_t pos[IO_TYPE_END] = {0, 0, 0, 0, 0, 0};
  unsigned char *p = block;
  for (int64_t r = 0; r < number; ++r) {
    for (int32_t i = 0; i < layout.m_items; ++i) {
      int32_t type = layout.m_types[i];
      size_t count = static_cast<size_t>(layout.m_counts[i]);
      switch (type) {
      case IO_TYPE_INTR:
      case IO_TYPE_REAL: {
        unsigned char *values = type == IO_TYPE_INTR
                                    ? reinterpret_cast<unsigned char *>(data->m_intrarray)
                                    : reinterpret_cast<unsigned char *>(data->m_realarray);
        unsigned char *v = values + pos[type] * 4;
        for (size_t k = 0; k < count; ++k, p += 4, v += 4) {
          if (toBlock)
            copyValue<uint32_t>(p, v, swap);
          else
            copyValue<uint32_t>(v, p, swap);
        }
        pos[type] += static_cast<int64_t>(count);
        break;
      }
      case IO_TYPE_DBLE: {
        unsigned char *v = reinterpret_cast<unsigned char *>(data->m_dblearray) + pos[type] * 8;
        for (size_t k = 0; k < count; ++k, p += 8, v += 8) {
          if (toBlock)
            copyValue<uint64_t>(p, v, swap);
          else
            copyValue<uint64_t>(v, p, swap);
        }
        pos[type] += static_cast<int64_t>(count);
        break;
      }
      case IO_TYPE_CHAR:
      case IO_TYPE_LOGL: {
        char *v = (type == IO_TYPE_CHAR ? data->m_chararray : data->m_loglarray) + pos[type];
        if (toBlock)
          memcpy(p, v, count);
        else
          memcpy(v, p, count);
        p += count;
        pos[type] += static_cast<int64_t>(count);
        break;
      }
      default: { // STRI: c bytes, NULs after the text
        char *slot = data->m_stringarray[pos[type]];
        if (toBlock) {
          size_t m = strnlen(slot, count);
          memcpy(p, slot, m);
          memset(p + m, 0, count - m);
        } else {
          memcpy(slot, p, count);
          settleSlot(slot, count);
        }
        p += count;
        pos[type] += 1;
        break;
      }
      }
    }
  }
}

bool compressesBlock(const char *format, int64_t bytes) {
  return bytes >= kCompressMinBytes && iofmt_compress_level(format) > 0;
}

// ---------------------------------------------------------------------------------------------
// Writing: a data part, or one chunk of it, in three steps, so that the chunks of a compressed
// data part are compressed on several threads while one thread writes them in order
// (io_pipeline.h). prepareChunk allocates, compressChunk is pure work on the chunk's buffers,
// emitChunk writes and releases. A data part that is not compressed does all its work in
// emitChunk.

struct Chunk {
  enum Kind { kDirect, kArray, kBlock };
  Kind m_kind = kDirect;
  bool m_records = false;    // structure records (one block), not a plain array
  IO_data *m_data = nullptr; // the records: the caller's arrays, or a view of them
  int64_t m_number = 0;
  bool m_prepared = false;
  int m_errno = 0;                  // of a failed allocation, for its message
  unsigned char *m_block = nullptr; // the packed records of a block
  IO_deflation m_deflation = {};
};

// `records`: the data part is structure records, stored as one block, whatever its items.
bool prepareChunk(const char *format, int64_t number, const Layout &layout, bool records,
                  IO_data *data, Chunk *chunk) {
  chunk->m_kind = Chunk::kDirect;
  chunk->m_records = records;
  chunk->m_data = data;
  chunk->m_number = number;
  chunk->m_prepared = true;
  chunk->m_block = nullptr;
  memset(&chunk->m_deflation, 0, sizeof chunk->m_deflation);
  if (number <= 0) return true;
  if (!records) {
    int32_t type = layout.m_types[0];
    int64_t total = number * layout.m_counts[0];
    if (!compressesArray(format, type, total)) return true;
    chunk->m_kind = Chunk::kArray;
    chunk->m_prepared = io_deflation_of_array(format, type, iodata_type_array(data, type), total,
                                              &chunk->m_deflation) != 0;
    return chunk->m_prepared;
  }
  int64_t bytes = mulSaturated(number, layout.m_width);
  if (format[0] == 'F' || !iofmt_is_valid(format[0]) || bytes == 0 ||
      !compressesBlock(format, bytes))
    return true;
  chunk->m_kind = Chunk::kBlock;
  chunk->m_prepared = false;
  errno = 0;
  chunk->m_block = bytes == INT64_MAX
                       ? nullptr
                       : static_cast<unsigned char *>(io_malloc(static_cast<size_t>(bytes)));
  chunk->m_errno = errno;
  if (!chunk->m_block) return false;
  chunk->m_prepared = io_deflation_of_block(format, chunk->m_block, bytes, &chunk->m_deflation);
  return chunk->m_prepared;
}

void compressChunk(const char *format, const Layout &layout, Chunk *chunk) {
  if (chunk->m_kind == Chunk::kBlock)
    moveRecords(chunk->m_block, chunk->m_number, layout, chunk->m_data,
                iofmt_is_swapped(format[0]) != 0, true);
  if (chunk->m_kind != Chunk::kDirect) io_deflate(&chunk->m_deflation);
}

void releaseChunk(Chunk *chunk) {
  io_deflation_release(&chunk->m_deflation);
  io_free(chunk->m_block);
  chunk->m_block = nullptr;
}

int writePlainRecords(IO_error_callback callback, const char *format, FILE *stream, int64_t number,
                      const Layout &layout, IO_data *data);

int writeCompressedArray(IO_error_callback callback, const char *format, FILE *stream,
                         const Layout &layout, Chunk *chunk) {
  if (!chunk->m_prepared) {
    io_report_error(callback, "read_unfmt_structure: malloc failed");
    return IO_MEMORY_ERR;
  }
  int status = io_store_deflated_array(callback, format, stream, &chunk->m_deflation);
  // 23: the array did not shrink; its plain values follow the length -1.
  if (status != IO_COMPRESS_ERR) return status;
  return writePlainSingle(callback, format, stream, chunk->m_number, layout.m_types[0],
                          layout.m_counts[0], chunk->m_data);
}

int writeCompressedBlock(IO_error_callback callback, const char *format, FILE *stream,
                         Chunk *chunk) {
  if (!chunk->m_block) {
    errno = chunk->m_errno;
    io_report_syserr(callback, "write_unfmt_structure: (malloc failed) syserr:");
    return IO_MEMORY_ERR;
  }
  if (!chunk->m_prepared) {
    io_report_error(callback, "write_data: malloc failed in compression");
    return IO_COMPRESS_ERR;
  }
  return io_store_deflated_block(callback, format, stream, &chunk->m_deflation);
}

int emitChunk(IO_error_callback callback, const char *format, FILE *stream, const Layout &layout,
              Chunk *chunk) {
  int status;
  switch (chunk->m_kind) {
  case Chunk::kArray: status = writeCompressedArray(callback, format, stream, layout, chunk); break;
  case Chunk::kBlock: status = writeCompressedBlock(callback, format, stream, chunk); break;
  default:
    if (!chunk->m_records)
      status = writePlainSingle(callback, format, stream, chunk->m_number, layout.m_types[0],
                                layout.m_counts[0], chunk->m_data);
    else if (format[0] == 'F')
      status = writeFmtRecords(callback, stream, chunk->m_number, layout, chunk->m_data);
    else
      status = writePlainRecords(callback, format, stream, chunk->m_number, layout, chunk->m_data);
    break;
  }
  releaseChunk(chunk);
  return status;
}

// Binary structure records stored plainly: one block of all records.
int writePlainRecords(IO_error_callback callback, const char *format, FILE *stream, int64_t number,
                      const Layout &layout, IO_data *data) {
  int64_t bytes = mulSaturated(number, layout.m_width);
  if (bytes == 0 || number <= 0) return IO_OK;
  unsigned char *block = bytes == INT64_MAX
                             ? nullptr
                             : static_cast<unsigned char *>(io_malloc(static_cast<size_t>(bytes)));
  if (!block) {
    io_report_syserr(callback, "write_unfmt_structure: (malloc failed) syserr:");
    return IO_MEMORY_ERR;
  }
  moveRecords(block, number, layout, data, iofmt_is_swapped(format[0]) != 0, true);
  int status = writeBytes(callback, format, reinterpret_cast<const char *>(block), bytes, stream);
  if (status != IO_OK) io_report_error(callback, "write_data: write data failed");
  io_free(block);
  return status;
}

int readUnfmtRecords(IO_error_callback callback, const char *format, FILE *stream, int64_t number,
                     const Layout &layout, IO_data *data) {
  int64_t bytes = mulSaturated(number, layout.m_width);
  if (number <= 0) return IO_OK;
  // Records of no bytes (empty strings only) still settle their string slots.
  unsigned char *block =
      bytes == INT64_MAX
          ? nullptr
          : static_cast<unsigned char *>(io_malloc(static_cast<size_t>(bytes ? bytes : 1)));
  if (!block) {
    io_report_syserr(callback, "read_unfmt_structure: (malloc failed) syserr:");
    return IO_ALLOC_ERR;
  }
  int status = IO_OK;
  if (bytes > 0 && compressesBlock(format, bytes)) {
    status = io_read_compressed_block(callback, format, stream, block, bytes);
  } else if (bytes > 0) {
    status = readBytes(callback, format, reinterpret_cast<char *>(block), bytes, stream);
    if (status != IO_OK) io_report_error(callback, "read_unfmt_structure: read data failed");
  }
  if (status == IO_OK)
    moveRecords(block, number, layout, data, iofmt_is_swapped(format[0]) != 0, false);
  io_free(block);
  return status;
}

int readLayoutAs(IO_error_callback callback, const char *format, FILE *stream, int64_t number,
                 const Layout &layout, IO_data *data);

// Reads a checked layout, by its shape and format. From here on 14 would tell the caller to
// enlarge its arrays and read again, which cannot help: a value read that answers 14 (a text
// line longer than its field) has found bad data and answers 12; buffers of the reader that
// cannot be had answer 28.
int readLayout(IO_error_callback callback, const char *format, FILE *stream, int64_t number,
               const Layout &layout, IO_data *data) {
  int status = readLayoutAs(callback, format, stream, number, layout, data);
  return status == IO_MEMORY_ERR ? IO_DATA_ERR : status;
}

int readLayoutAs(IO_error_callback callback, const char *format, FILE *stream, int64_t number,
                 const Layout &layout, IO_data *data) {
  if (layout.m_items == 1)
    return readSingle(callback, format, stream, number, layout.m_types[0], layout.m_counts[0],
                      data);
  if (format[0] == 'F') return readFmtRecords(callback, stream, number, layout, data);
  if (iofmt_is_valid(format[0]))
    return readUnfmtRecords(callback, format, stream, number, layout, data);
  io_report_error(callback, "Bad format string %c%c", io_format_char(format[0], '?'),
                  io_format_char(format[1], '?'));
  return IO_DATA_ERR;
}

// A data part, or one chunk of it, in one go.
int writeWhole(IO_error_callback callback, const char *format, FILE *stream, int64_t number,
               const Layout &layout, bool records, IO_data *data) {
  Chunk chunk;
  if (prepareChunk(format, number, layout, records, data, &chunk))
    compressChunk(format, layout, &chunk);
  return emitChunk(callback, format, stream, layout, &chunk);
}

int writeLayout(IO_error_callback callback, const char *format, FILE *stream, int64_t number,
                const Layout &layout, IO_data *data) {
  if (layout.m_items > 1 && format[0] != 'F' && !iofmt_is_valid(format[0])) {
    io_report_error(callback, "Bad format string in write_data");
    return IO_FORMAT_ERR;
  }
  return writeWhole(callback, format, stream, number, layout, layout.m_items > 1, data);
}

// ---------------------------------------------------------------------------------------------
// Views for chunks: the caller's arrays from a record on, with counts of their own.

void setTypeArray(IO_data *data, int32_t type, void *array, int32_t *count) {
  switch (type) {
  case IO_TYPE_STRI:
    data->m_stringarray = static_cast<IO_string *>(array);
    data->m_numstring = count;
    break;
  case IO_TYPE_CHAR:
    data->m_chararray = static_cast<char *>(array);
    data->m_numchar = count;
    break;
  case IO_TYPE_INTR:
    data->m_intrarray = static_cast<int32_t *>(array);
    data->m_numintr = count;
    break;
  case IO_TYPE_REAL:
    data->m_realarray = static_cast<float *>(array);
    data->m_numreal = count;
    break;
  case IO_TYPE_DBLE:
    data->m_dblearray = static_cast<double *>(array);
    data->m_numdble = count;
    break;
  default:
    data->m_loglarray = static_cast<char *>(array);
    data->m_numlogl = count;
    break;
  }
}

const int kArrayOfType[IO_TYPE_END] = {IO_DATA_STRING, IO_DATA_CHAR, IO_DATA_INTR,
                                       IO_DATA_REAL,   IO_DATA_DBLE, IO_DATA_LOGL};

void viewFrom(const IO_data *data, const Layout &layout, int64_t records, IO_data *view) {
  iodata_init(nullptr, view);
  view->m_offsetarray = data->m_offsetarray;
  view->m_numoffset = data->m_numoffset;
  for (int32_t t = 0; t < IO_TYPE_END; ++t) {
    char *array = static_cast<char *>(iodata_type_array(data, t));
    const int32_t *count = iodata_type_count(data, t);
    if (!count) {
      setTypeArray(view, t, array, nullptr);
      continue;
    }
    int64_t skip = records * layout.m_totals[t];
    int32_t *own = &view->m_counts[kArrayOfType[t]];
    *own = static_cast<int32_t>(*count - skip);
    setTypeArray(view, t, array ? array + skip * iodata_type_size(t) : nullptr, own);
  }
}

// The checks read_data and write_data start with.
int checkDataCall(IO_error_callback callback, const char *name, const char *format, FILE *stream,
                  const char *type, const IO_data *data) {
  if (!type) {
    io_report_error(callback, "%s: datatype string is null", name);
    return IO_DATA_ERR;
  }
  if (!format || !stream || !data) {
    io_report_error(callback, "%s: passing parameters are wrong", name);
    return IO_MEMORY_ERR;
  }
  return IO_OK;
}

// The layout of a write, once the arrays are known to hold NUMBER records (their counts set).
int layoutForWrite(IO_error_callback callback, const char *format, int64_t number,
                   const char *type, IO_data *data, Layout *layout) {
  int status = parseLayout(callback, "write_data", format, type, layout);
  if (status != IO_OK) return status;
  status = checkLayoutMemory(callback, "write_data", number, *layout, data);
  if (status != IO_OK) io_report_error(callback, "write_data: checkdata failed");
  return status;
}

// Runs an operation on the records a block at a time, through views of the caller's arrays.
template <typename Operation>
int inChunks(const IO_data *data, const Layout &layout, int64_t number, int64_t block,
             Operation operation) {
  int status = IO_OK;
  for (int64_t done = 0; done < number && status == IO_OK; done += block) {
    IO_data view;
    viewFrom(data, layout, done, &view);
    status = operation(number - done < block ? number - done : block, &view);
  }
  return status;
}

int64_t effectiveBlockFactor(int32_t blockFactor) {
  return blockFactor > 1 ? blockFactor : kDefaultBlockFactor;
}

// A data part written in chunks through the pipeline. Each chunk held has a slot with the view
// of the caller's arrays it refers to (a view points into itself: slots are never moved).
struct ChunkedWrite {
  IO_error_callback m_callback;
  const char *m_format;
  FILE *m_stream;
  int64_t m_number;
  int64_t m_block;
  const Layout *m_layout;
  IO_data *m_data;
  struct Slot {
    IO_data m_view;
    Chunk m_chunk;
  } m_slots[IO_PIPELINE_MAX_WINDOW];
  int64_t m_window;

  Slot &slot(int64_t i) { return m_slots[i % m_window]; }
  static bool prepare(void *context, int64_t i) {
    ChunkedWrite *w = static_cast<ChunkedWrite *>(context);
    Slot &s = w->slot(i);
    int64_t done = i * w->m_block;
    viewFrom(w->m_data, *w->m_layout, done, &s.m_view);
    int64_t n = w->m_number - done < w->m_block ? w->m_number - done : w->m_block;
    return prepareChunk(w->m_format, n, *w->m_layout, w->m_layout->m_items > 1, &s.m_view,
                        &s.m_chunk);
  }
  static void compress(void *context, int64_t i) {
    ChunkedWrite *w = static_cast<ChunkedWrite *>(context);
    compressChunk(w->m_format, *w->m_layout, &w->slot(i).m_chunk);
  }
  static int emit(void *context, int64_t i) {
    ChunkedWrite *w = static_cast<ChunkedWrite *>(context);
    return emitChunk(w->m_callback, w->m_format, w->m_stream, *w->m_layout, &w->slot(i).m_chunk);
  }
  static void discard(void *context, int64_t i) {
    releaseChunk(&static_cast<ChunkedWrite *>(context)->slot(i).m_chunk);
  }
};

} // namespace

// ---------------------------------------------------------------------------------------------

int structure_sizes(IO_error_callback callback, const char *format, int32_t items,
                    const int32_t *types, const int32_t *counts, int64_t *width,
                    int64_t totals[IO_TYPE_END]) {
  if (!types || !counts || !width || !totals || items < 0) {
    io_report_error(callback, "structure_sizes: passing parameters are wrong");
    return IO_MEMORY_ERR;
  }
  bool text = format && format[0] == 'F';
  *width = 0;
  for (int t = 0; t < IO_TYPE_END; ++t) totals[t] = 0;
  for (int32_t i = 0; i < items; ++i) {
    int32_t type = types[i];
    if (type < 0 || type >= IO_TYPE_END) {
      io_report_error(callback, "structure_sizes: unknown data format %d", type);
      return IO_FORMAT_ERR;
    }
    int64_t c = counts[i] < 0 ? 0 : counts[i];
    if (type == IO_TYPE_STRI || type == IO_TYPE_CHAR)
      *width += text ? c + 1 : c; // the text and its ESC, or the bytes
    else
      *width += c * (text ? kTextFieldWidth[type] : iodata_type_size(type));
    totals[type] += type == IO_TYPE_STRI ? 1 : c; // a string is one slot
  }
  return IO_OK;
}

int read_datatag(IO_error_callback callback, const char *format, FILE *stream) {
  if (!format || !stream) {
    io_report_error(callback, "read_datatag: passing parameters are wrong");
    return IO_MEMORY_ERR;
  }
  char tag[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  int status;
  if (format[0] == 'F') {
    status = wezreadString(callback, format, tag, 5, 1, 80, stream);
    if (status != IO_OK) {
      io_report_error(callback, "read_datatag: read data tag failed");
      return status;
    }
  } else {
    int32_t length = 0;
    status = wezreadIntr(callback, format, &length, 1, 1, 1, stream);
    if (status != IO_OK) {
      io_report_error(callback, "read_datatag: read data tag length failed");
      return status;
    }
    if (length != 5) {
      io_report_error(callback, "read_datatag: bad tag length, read %d, should be %d", length, 5);
      return IO_FORMAT_ERR;
    }
    status = wezreadString(callback, format, tag, 5, 1, 5, stream);
    if (status != IO_OK) {
      io_report_error(callback, "read_datatag: read data tag failed");
      return status;
    }
  }
  if (memcmp(tag, "*DATA", 5) != 0) {
    io_report_error(callback, "read_datatag: read data tag failed");
    return IO_READ_ERR;
  }
  return IO_OK;
}

int write_datatag(IO_error_callback callback, const char *format, FILE *stream) {
  if (!format || !stream) {
    io_report_error(callback, "write_datatag: passing parameters are wrong");
    return IO_MEMORY_ERR;
  }
  if (format[0] != 'F') {
    int32_t length = 5;
    int status = wezwriteIntr(callback, format, &length, 1, 1, 1, stream);
    if (status != IO_OK) {
      io_report_error(callback, "write_data: write datatag length");
      return status;
    }
  }
  int status = wezwriteString(callback, format, "*DATA", 5, 1, 5, stream);
  if (status != IO_OK) io_report_error(callback, "write_data: write data tag failed");
  return status;
}

int check_memory(IO_error_callback callback, const char *format, int64_t number, const char *type,
                 IO_data *data) {
  if (!type) {
    io_report_error(callback, "check_memory: datatype string is null");
    return IO_DATA_ERR;
  }
  if (!data) {
    io_report_error(callback, "check_memory: passing parameters are wrong");
    return IO_MEMORY_ERR;
  }
  Layout layout;
  int status = parseLayout(callback, "check_memory", format, type, &layout);
  if (status != IO_OK) return status;
  return checkLayoutMemory(callback, "check_memory", number, layout, data);
}

int check_read_memory(IO_error_callback callback, const char *format, FILE *stream, int64_t number,
                      const char *storedType, const char *wantedType, IO_data *data) {
  if (!storedType || !wantedType) {
    io_report_error(callback, "check_memory: datatype string is null");
    return IO_DATA_ERR;
  }
  if (!format || !stream || !data) {
    io_report_error(callback, "check_memory: passing parameters are wrong");
    return IO_MEMORY_ERR;
  }
  Layout stored, wanted;
  int status = parseLayout(callback, "check_memory", format, storedType, &stored);
  if (status == IO_OK) status = parseLayout(callback, "check_memory", format, wantedType, &wanted);
  if (status != IO_OK) return status;
  int64_t needs[IO_TYPE_END];
  if (!computeNeeds(number, wanted, needs)) return reportTooMany(callback, "check_memory", number);
  bool hold = arraysHold(data, needs);
  if (!hold) {
    int64_t left = bytesLeft(stream);
    int64_t least = minStoredBytes(format, number, stored);
    if (left >= 0 && least > left) {
      io_report_error(callback,
                      "read_data: %" PRId64 " records of \"%s\" need at least %" PRId64
                      " bytes, only %" PRId64 " are left",
                      number, storedType, least, left);
      return IO_READ_ERR;
    }
  }
  setCounts(data, needs);
  return hold ? IO_OK : IO_MEMORY_ERR;
}

int read_data(IO_error_callback callback, const char *format, FILE *stream, int64_t number,
              const char *type, IO_data *data) {
  if (number <= 0) return IO_OK;
  int status = checkDataCall(callback, __func__, format, stream, type, data);
  if (status != IO_OK) return status;
  Layout layout;
  status = parseLayout(callback, "read_data", format, type, &layout);
  if (status == IO_OK) status = prepareRead(callback, format, stream, number, type, layout, data);
  if (status == IO_OK) status = readLayout(callback, format, stream, number, layout, data);
  return status;
}

int write_data(IO_error_callback callback, const char *format, FILE *stream, int64_t number,
               const char *type, IO_data *data) {
  if (number <= 0) return IO_OK;
  int status = checkDataCall(callback, __func__, format, stream, type, data);
  if (status != IO_OK) return status;
  Layout layout;
  status = layoutForWrite(callback, format, number, type, data, &layout);
  if (status != IO_OK) return status;
  return writeLayout(callback, format, stream, number, layout, data);
}

int read_single_dataarray(IO_error_callback callback, const char *format, FILE *stream,
                          int64_t number, int32_t type, int32_t count, IO_data *data) {
  if (!format || !stream || !data || count < 0) {
    io_report_error(callback, "read_single_dataarray: passing parameters are wrong");
    return IO_MEMORY_ERR;
  }
  if (number <= 0) return IO_OK;
  return onItems(callback, __func__, format, number, &type, &count, 1, data, [&](const Layout &) {
    return readSingle(callback, format, stream, number, type, count, data);
  });
}

int write_single_dataarray(IO_error_callback callback, const char *format, FILE *stream,
                           int64_t number, int32_t type, int32_t count, IO_data *data) {
  if (!format || !stream || !data || count < 0) {
    io_report_error(callback, "write_single_dataarray: passing parameters are wrong");
    return IO_MEMORY_ERR;
  }
  if (number <= 0) return IO_OK;
  return onItems(callback, __func__, format, number, &type, &count, 1, data,
                 [&](const Layout &layout) {
                   return writeWhole(callback, format, stream, number, layout, false, data);
                 });
}

int read_fmt_structure(IO_error_callback callback, FILE *stream, int64_t number,
                       const int32_t *types, const int32_t *counts, int64_t, int32_t items,
                       IO_data *data) {
  if (!stream || !data) {
    io_report_error(callback, "read_fmt_structure: passing parameters are wrong");
    return IO_MEMORY_ERR;
  }
  return onItems(callback, __func__, "F", number, types, counts, items, data,
                 [&](const Layout &layout) {
                   return readFmtRecords(callback, stream, number, layout, data);
                 });
}

int write_fmt_structure(IO_error_callback callback, FILE *stream, int64_t number,
                        const int32_t *types, const int32_t *counts, int64_t, int32_t items,
                        IO_data *data) {
  if (!stream || !data) {
    io_report_error(callback, "write_fmt_structure: passing parameters are wrong");
    return IO_MEMORY_ERR;
  }
  return onItems(callback, __func__, "F", number, types, counts, items, data,
                 [&](const Layout &layout) {
                   return writeFmtRecords(callback, stream, number, layout, data);
                 });
}

int read_unfmt_structure(IO_error_callback callback, const char *format, FILE *stream,
                         int64_t number, const int32_t *types, const int32_t *counts, int64_t,
                         int32_t items, IO_data *data) {
  if (!format || !stream || !data || !iofmt_is_valid(format[0]) || format[0] == 'F') {
    io_report_error(callback, "read_unfmt_structure: passing parameters are wrong");
    return IO_MEMORY_ERR;
  }
  return onItems(callback, __func__, format, number, types, counts, items, data,
                 [&](const Layout &layout) {
                   return readUnfmtRecords(callback, format, stream, number, layout, data);
                 });
}

int write_unfmt_structure(IO_error_callback callback, const char *format, FILE *stream,
                          int64_t number, const int32_t *types, const int32_t *counts, int64_t,
                          int32_t items, IO_data *data) {
  if (!format || !stream || !data || !iofmt_is_valid(format[0]) || format[0] == 'F') {
    io_report_error(callback, "write_unfmt_structure: passing parameters are wrong");
    return IO_MEMORY_ERR;
  }
  return onItems(callback, __func__, format, number, types, counts, items, data,
                 [&](const Layout &layout) {
                   return writeWhole(callback, format, stream, number, layout, true, data);
                 });
}

int convert_data(IO_error_callback callback, int64_t number, const char *storedType,
                 const char *wantedType, int32_t *convert, IO_data *source, IO_data *destination) {
  if (convert) *convert = 0;
  if (!storedType || !wantedType) {
    io_report_error(callback, "convert_data: datatype string is null");
    return IO_DATA_ERR;
  }
  Layout from, to;
  int status = parseStructure(callback, storedType, &from.m_items, from.m_types, from.m_counts);
  if (status != IO_OK) {
    io_report_error(callback, "convert_data: parse of original structure failed");
    return status;
  }
  status = parseStructure(callback, wantedType, &to.m_items, to.m_types, to.m_counts);
  if (status != IO_OK) {
    io_report_error(callback, "convert_data: parse of new structure failed");
    return status;
  }
  if (from.m_items != to.m_items) {
    io_report_error(callback,
                    "convert_data: cannot convert from %s to %s: different total number of items",
                    storedType, wantedType);
    return IO_CONVERT_ERR;
  }
  bool refused = false, converting = false;
  for (int32_t i = 0; i < from.m_items; ++i) {
    int32_t a = from.m_types[i], b = to.m_types[i];
    if (a != b) {
      bool floats =
          (a == IO_TYPE_REAL || a == IO_TYPE_DBLE) && (b == IO_TYPE_REAL || b == IO_TYPE_DBLE);
      if (floats) {
        converting = true;
      } else {
        io_report_error(
            callback, "convert_data: cannot convert from %s to %s: incompatible types for item %d",
            storedType, wantedType, i);
        refused = true;
      }
    }
    if (from.m_counts[i] != to.m_counts[i]) {
      io_report_error(callback,
                      "convert_data: cannot convert from %s to %s: counts differ for item %d",
                      storedType, wantedType, i);
      refused = true;
    }
  }
  if (refused) return IO_CONVERT_ERR;
  if (convert) *convert = converting ? 1 : 0;
  if (!converting || number <= 0) return IO_OK;
  if (!source || !destination) {
    io_report_error(callback, "convert_data: passing parameters are wrong");
    return IO_MEMORY_ERR;
  }
  status = structure_sizes(callback, nullptr, from.m_items, from.m_types, from.m_counts,
                           &from.m_width, from.m_totals);
  if (status == IO_OK)
    status = structure_sizes(callback, nullptr, to.m_items, to.m_types, to.m_counts, &to.m_width,
                             to.m_totals);
  if (status != IO_OK) return status;
  status = checkLayoutMemory(callback, "convert_data", number, to, destination);
  if (status != IO_OK) return status;
  int64_t needs[IO_TYPE_END];
  if (!computeNeeds(number, from, needs)) return reportTooMany(callback, "convert_data", number);
  bool lacking = false;
  for (int32_t t = 0; t < IO_TYPE_END; ++t) {
    const int32_t *count = iodata_type_count(source, t);
    if (needs[t] > 0 && (!count || !iodata_type_array(source, t) || *count < needs[t])) {
      io_report_error(callback, "convert_data: not enough %s input data", kTypeWords[t]);
      lacking = true;
    }
  }
  if (lacking) return IO_MEMORY_ERR;

  // Items keep their order and counts, so a running position per type walks both records.
  int64_t at[IO_TYPE_END] = {0, 0, 0, 0, 0, 0}, to_at[IO_TYPE_END] = {0, 0, 0, 0, 0, 0};
  for (int64_t r = 0; r < number; ++r) {
    for (int32_t i = 0; i < from.m_items; ++i) {
      int32_t a = from.m_types[i], b = to.m_types[i];
      int64_t count = from.m_counts[i];
      switch (a) {
      case IO_TYPE_STRI:
        memcpy(destination->m_stringarray[to_at[b]++], source->m_stringarray[at[a]++],
               sizeof(IO_string));
        count = 0;
        break;
      case IO_TYPE_CHAR:
        memcpy(destination->m_chararray + to_at[b], source->m_chararray + at[a],
               static_cast<size_t>(count));
        break;
      case IO_TYPE_INTR:
        memcpy(destination->m_intrarray + to_at[b], source->m_intrarray + at[a],
               static_cast<size_t>(count) * 4);
        break;
      case IO_TYPE_LOGL:
        memcpy(destination->m_loglarray + to_at[b], source->m_loglarray + at[a],
               static_cast<size_t>(count));
        break;
      case IO_TYPE_REAL:
        for (int64_t k = 0; k < count; ++k) {
          if (b == IO_TYPE_DBLE)
            destination->m_dblearray[to_at[b] + k] = source->m_realarray[at[a] + k];
          else
            destination->m_realarray[to_at[b] + k] = source->m_realarray[at[a] + k];
        }
        break;
      default: // DBLE
        for (int64_t k = 0; k < count; ++k) {
          if (b == IO_TYPE_REAL)
            destination->m_realarray[to_at[b] + k] =
                static_cast<float>(source->m_dblearray[at[a] + k]);
          else
            destination->m_dblearray[to_at[b] + k] = source->m_dblearray[at[a] + k];
        }
        break;
      }
      at[a] += count;
      to_at[b] += count;
    }
  }
  return IO_OK;
}

int write_data_blocks(IO_error_callback callback, const char *format, FILE *stream, int64_t number,
                      int32_t blockFactor, const char *type, IO_data *data) {
  int64_t block = effectiveBlockFactor(blockFactor);
  if (number <= block || iofmt_compress_level(format) == 0 || !type || !stream || !data)
    return write_data(callback, format, stream, number, type, data);
  Layout layout;
  int status = layoutForWrite(callback, format, number, type, data, &layout);
  if (status != IO_OK) return status;
  // Each chunk is a zlib stream of its own: they are compressed side by side and written in
  // order, byte for byte as one thread writes them.
  int threads = io_pipeline_threads();
  ChunkedWrite write = {
      callback, format, stream, number, block, &layout, data, {}, io_pipeline_window(threads)};
  IO_pipeline pipeline = {&write, ChunkedWrite::prepare, ChunkedWrite::compress, ChunkedWrite::emit,
                          ChunkedWrite::discard};
  return io_run_pipeline((number + block - 1) / block, threads, pipeline);
}

int read_data_blocks(IO_error_callback callback, const char *format, FILE *stream, int64_t number,
                     int32_t blockFactor, const char *type, IO_data *data) {
  int64_t block = effectiveBlockFactor(blockFactor);
  if (number <= block || iofmt_compress_level(format) == 0 || !type || !stream || !data)
    return read_data(callback, format, stream, number, type, data);
  Layout layout;
  int status = parseLayout(callback, "read_data", format, type, &layout);
  if (status != IO_OK) return status;
  status = prepareRead(callback, format, stream, number, type, layout, data);
  if (status != IO_OK) return status;
  return inChunks(data, layout, number, block, [&](int64_t n, IO_data *view) {
    return read_data(callback, format, stream, n, type, view);
  });
}
