// Typed reading and writing of data-set file values, text and binary, in either byte order.
#include "lowlevel_io.h"

#include "io_alloc.h"
#include "io_error.h"
#include "io_source.h"
#include "zyrFault.h"

#include <cctype>
#include <cerrno>
#include <cinttypes>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <vector>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Longest text line the line parsers and the offset reader take at once.
const int kLineLength = 1023;

bool isTextFormat(char letter) { return letter == 'F'; }

// Text lines are assembled here and go to the stream with one write per line; only a line
// longer than the buffer is written in pieces.
struct LineWriter {
  FILE *m_stream;
  size_t m_length;
  bool m_ok;
  char m_buffer[4096];
};

void lineStart(LineWriter *writer, FILE *stream) {
  writer->m_stream = stream;
  writer->m_length = 0;
  writer->m_ok = true;
}

void lineFlush(LineWriter *writer) {
  if (writer->m_ok && writer->m_length > 0) {
    errno = 0;
    if (zyrFault_fwrite(writer->m_buffer, 1, writer->m_length, writer->m_stream) != writer->m_length)
      writer->m_ok = false;
  }
  writer->m_length = 0;
}

void lineAppend(LineWriter *writer, const char *text, size_t length) {
  while (length > 0 && writer->m_ok) {
    if (writer->m_length == sizeof writer->m_buffer) lineFlush(writer);
    size_t room = sizeof writer->m_buffer - writer->m_length;
    size_t chunk = length < room ? length : room;
    memcpy(writer->m_buffer + writer->m_length, text, chunk);
    writer->m_length += chunk;
    text += chunk;
    length -= chunk;
  }
}

void linePad(LineWriter *writer, size_t blanks) {
  while (blanks > 0 && writer->m_ok) {
    if (writer->m_length == sizeof writer->m_buffer) lineFlush(writer);
    size_t room = sizeof writer->m_buffer - writer->m_length;
    size_t chunk = blanks < room ? blanks : room;
    memset(writer->m_buffer + writer->m_length, ' ', chunk);
    writer->m_length += chunk;
    blanks -= chunk;
  }
}

// One right-aligned field. A value as wide as its field or wider gets one blank in front, so
// that the blank-separated reading never joins it to the value before it.
void lineField(LineWriter *writer, const char *text, size_t length, int32_t width) {
  if (length >= static_cast<size_t>(width)) {
    linePad(writer, 1);
  } else {
    linePad(writer, static_cast<size_t>(width) - length);
  }
  lineAppend(writer, text, length);
}

// Common check of the value operations: "<name>: passing parameters are wrong", 14.
bool argumentsWrong(IO_error_callback callback, const char *name, const char *format,
                    const void *array, int32_t count, int32_t perLine, int32_t width,
                    FILE *stream) {
  if (format && array && stream && count >= 1 && perLine >= 1 && width >= 1) return false;
  io_report_error(callback, "%s: passing parameters are wrong", name);
  return true;
}

// Values in text form: perLine fields of the given width to a line. The formatter writes the
// bare text of one value and answers its length.
template <typename T, typename Formatter>
int writeTextValues(IO_error_callback callback, const char *name, const T *array, int32_t count,
                    int32_t perLine, int32_t width, FILE *stream, Formatter formatValue) {
  LineWriter writer;
  lineStart(&writer, stream);
  char text[64];
  for (int32_t i = 0; i < count && writer.m_ok; ++i) {
    size_t length = formatValue(text, sizeof text, array[i]);
    lineField(&writer, text, length, width);
    if ((i + 1) % perLine == 0 || i + 1 == count) {
      lineAppend(&writer, "\n", 1);
      lineFlush(&writer);
    }
  }
  if (!writer.m_ok) {
    io_report_syserr(callback, "%s: (fputs failed) syserr:", name);
    return IO_WRITE_ERR;
  }
  return IO_OK;
}

// Reverses one value in place (single bytes have no order).
template <typename T> inline void swapValue(T *value) {
  static_assert(sizeof(T) == 1 || sizeof(T) == 4 || sizeof(T) == 8, "1-, 4- or 8-byte values");
  if constexpr (sizeof(T) == 1) {
    (void)value;
  } else if constexpr (sizeof(T) == 4) {
    uint32_t bits;
    memcpy(&bits, value, 4);
    bits = __builtin_bswap32(bits);
    memcpy(value, &bits, 4);
  } else {
    uint64_t bits;
    memcpy(&bits, value, 8);
    bits = __builtin_bswap64(bits);
    memcpy(value, &bits, 8);
  }
}

// Copies whole 32-byte blocks of values of `width` bytes (4 or 8) reversed with AVX2 byte
// shuffles; the rest is left to the caller. Returns the values done.
__attribute__((target("avx2"))) size_t copyReversedAvx2(void *to, const void *from, size_t bytes,
                                                        int width) {
  typedef uint8_t Bytes __attribute__((vector_size(32)));
  const char *in = static_cast<const char *>(from);
  char *out = static_cast<char *>(to);
  size_t k = 0;
  for (; k + 32 <= bytes; k += 32) {
    Bytes v;
    memcpy(&v, in + k, 32);
    if (width == 4)
      v = __builtin_shufflevector(v, v, 3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12, 19,
                                  18, 17, 16, 23, 22, 21, 20, 27, 26, 25, 24, 31, 30, 29, 28);
    else
      v = __builtin_shufflevector(v, v, 7, 6, 5, 4, 3, 2, 1, 0, 15, 14, 13, 12, 11, 10, 9, 8, 23,
                                  22, 21, 20, 19, 18, 17, 16, 31, 30, 29, 28, 27, 26, 25, 24);
    memcpy(out + k, &v, 32);
  }
  return k / static_cast<size_t>(width);
}

// Copies count values reversed: a scalar byte-swap loop cost twice the write itself, so whole
// vectors go through byte shuffles where the processor has them.
template <typename T> void copyReversed(T *to, const T *from, size_t count) {
  static const bool avx2 = __builtin_cpu_supports("avx2");
  size_t k = 0;
  if constexpr (sizeof(T) == 4 || sizeof(T) == 8) {
    if (avx2) k = copyReversedAvx2(to, from, count * sizeof(T), static_cast<int>(sizeof(T)));
  }
  for (; k < count; ++k) {
    to[k] = from[k];
    swapValue(&to[k]);
  }
}

// Values in binary form, in machine order or reversed value by value. A reversed write goes
// through a scratch buffer so the caller's array is never touched.
template <typename T>
int writeBinaryValues(IO_error_callback callback, const char *name, const T *array,
                      int32_t count, bool swap, FILE *stream) {
  size_t total = static_cast<size_t>(count);
  if (!swap) {
    errno = 0;
    if (zyrFault_fwrite(array, sizeof(T), total, stream) != total) {
      io_report_syserr(callback, "%s: (fwrite failed) syserr:", name);
      return IO_WRITE_ERR;
    }
    return IO_OK;
  }
  // Large chunks: each one is a write of its own, and the calls, not the reversal, cost. The
  // buffer stays with the thread for the next write.
  const size_t kChunk = (1u << 20) / sizeof(T);
  static thread_local std::unique_ptr<T[]> buffer;
  if (!buffer) buffer.reset(new (std::nothrow) T[kChunk]);
  T small[256];
  T *scratch = buffer ? buffer.get() : small;
  const size_t room = buffer ? kChunk : 256;
  for (size_t done = 0; done < total;) {
    size_t chunk = total - done < room ? total - done : room;
    copyReversed(scratch, array + done, chunk);
    errno = 0;
    if (zyrFault_fwrite(scratch, sizeof(T), chunk, stream) != chunk) {
      io_report_syserr(callback, "%s: (fwrite failed) syserr:", name);
      return IO_WRITE_ERR;
    }
    done += chunk;
  }
  return IO_OK;
}

template <typename T> void swapValues(T *array, int32_t count) {
  for (int32_t i = 0; i < count; ++i) swapValue(&array[i]);
}

int32_t parseInt32(const char *text) {
  long long value = strtoll(text, nullptr, 10);
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

// The line parser behind the read*FmtData functions: takes values from one line until the line
// or the wanted number runs out; when the wanted number is reached first, the stream goes back
// to the blank after the last value taken. A line longer than the parser's buffer is taken up to
// its last blank, so no value is cut in two.
template <typename T, typename Converter>
int readTextLine(IO_error_callback callback, const char *name, FILE *stream, T *array,
                 int32_t wanted, int32_t *got, Converter convert) {
  if (got) *got = 0;
  if (!stream || !array || !got || wanted < 1) {
    io_report_error(callback, "%s: passing parameters are wrong", name);
    return IO_MEMORY_ERR;
  }
  int64_t start = io_tell(stream);
  if (start < 0) {
    io_report_error(callback, "%s: tell failed", name);
    return IO_TELL_ERR;
  }
  char line[kLineLength + 1];
  errno = 0;
  if (!io_fgets(line, sizeof line, stream)) {
    io_report_syserr(callback, "%s: (fgets failed) syserr:", name);
    return IO_READ_ERR;
  }
  size_t length = strlen(line);
  int64_t resume = -1; // where the stream must go when the parse ends at the line's end
  if (length == static_cast<size_t>(kLineLength) && line[length - 1] != '\n') {
    size_t cut = length;
    while (cut > 0 && line[cut - 1] != ' ') --cut;
    if (cut > 1) {
      line[cut - 1] = '\0';
      resume = start + static_cast<int64_t>(cut - 1);
    }
  }
  int32_t n = 0;
  char *p = line;
  for (;;) {
    while (*p && isspace(static_cast<unsigned char>(*p))) ++p;
    if (!*p) break;
    char *value = p;
    array[n++] = convert(value);
    char *blank = strchr(value, ' ');
    if (n == wanted) {
      if (blank) resume = start + (blank - line);
      break;
    }
    if (!blank) break;
    p = blank;
  }
  *got = n;
  if (resume >= 0 && io_seek(stream, resume, 0) != 0) {
    io_report_error(callback, "%s: seek failed", name);
    return IO_SEEK_ERR;
  }
  return IO_OK;
}

// Reads `count` values in text form by repeating a line parser.
template <typename T, typename LineParser>
int readTextValues(IO_error_callback callback, T *array, int32_t count, FILE *stream,
                   LineParser parseLine) {
  int32_t done = 0;
  while (done < count) {
    int32_t got = 0;
    int status = parseLine(callback, stream, array + done, count - done, &got);
    if (status != IO_OK) return status;
    done += got;
  }
  return IO_OK;
}

size_t formatInt(char *text, size_t size, int32_t value) {
  return static_cast<size_t>(snprintf(text, size, "%" PRId32, value));
}

size_t formatReal(char *text, size_t size, double value) {
  return static_cast<size_t>(snprintf(text, size, "%.11E", value));
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Format letters, positions, byte order

int iofmt_is_valid(char letter) {
  // IO_FORMAT_LETTERS, asked for with every value read.
  switch (letter) {
  case 'F': case 'D': case 'd': case 'U': case 'u': case 'L': case 'l': case 'X': case 'x': return 1;
  default: return 0;
  }
}

int iofmt_is_swapped(char letter) {
  return iofmt_is_valid(letter) && letter != 'F' && letter != 'u' && letter != 'l';
}

int iofmt_make_native(IO_error_callback callback, char *format) {
  if (!format) {
    io_report_error(callback, "iofmt_make_native: passing parameters are wrong");
    return IO_MEMORY_ERR;
  }
  switch (format[0]) {
  case 'U':
  case 'u': format[0] = 'u'; return IO_OK;
  case 'L':
  case 'l': format[0] = 'l'; return IO_OK;
  case 'X':
  case 'x': format[0] = 'x'; return IO_OK;
  case 'd':
  case 'D': format[0] = 'D'; return IO_OK;
  case 'F': return IO_OK;
  default:
    io_report_error(callback, "iofmt_make_native: unrecognised format %c%c",
                    io_format_char(format[0], '?'), io_format_char(format[1], ' '));
    return IO_FORMAT_ERR;
  }
}

namespace {

// The streams a read of which the system failed, with the errno of the first such read. Few: a
// stream is forgotten when it is closed, and the oldest go first should many never be.
struct ReadFailure {
  FILE *m_stream;
  int m_error;
};
std::mutex theReadFailuresLock;
const size_t kReadFailuresKept = 64;

// Never destroyed: a stream may be read or closed while the process ends.
std::vector<ReadFailure> &readFailures() {
  static std::vector<ReadFailure> *failures = new std::vector<ReadFailure>();
  return *failures;
}

// After a short read: the system's failure, not the end of the file, is noted.
void noteShortRead(FILE *stream) {
  if (!ferror(stream)) return;
  const int error = errno != 0 ? errno : EIO;
  std::lock_guard<std::mutex> guard(theReadFailuresLock);
  std::vector<ReadFailure> &failures = readFailures();
  for (const ReadFailure &failure : failures)
    if (failure.m_stream == stream) return;
  if (failures.size() == kReadFailuresKept) failures.erase(failures.begin());
  failures.push_back({stream, error});
}

} // namespace

size_t io_fread(void *data, size_t size, size_t count, FILE *stream) {
  // The indicator is the C library's only word on why a read came up short: cleared first, it
  // speaks of this read alone.
  clearerr(stream);
  size_t got = zyrFault_fread(data, size, count, stream);
  if (got < count) noteShortRead(stream);
  return got;
}

char *io_fgets(char *line, int size, FILE *stream) {
  clearerr(stream);
  char *got = zyrFault_fgets(line, size, stream);
  if (!got) noteShortRead(stream);
  return got;
}

int io_read_failure(FILE *stream) {
  if (!stream) return 0;
  std::lock_guard<std::mutex> guard(theReadFailuresLock);
  for (const ReadFailure &failure : readFailures())
    if (failure.m_stream == stream) return failure.m_error;
  return 0;
}

void io_forget_stream(FILE *stream) {
  std::lock_guard<std::mutex> guard(theReadFailuresLock);
  std::vector<ReadFailure> &failures = readFailures();
  for (auto failure = failures.begin(); failure != failures.end(); ++failure)
    if (failure->m_stream == stream) {
      failures.erase(failure);
      return;
    }
}

int64_t io_tell(FILE *stream) {
  if (!stream) return -1;
  off_t position = ftello(stream);
  return position < 0 ? -1 : static_cast<int64_t>(position);
}

int io_seek(FILE *stream, int64_t offset, int origin) {
  if (!stream) return -1;
  int64_t target;
  switch (origin) {
  case 0:
    target = offset;
    break;
  case 1: {
    int64_t here = io_tell(stream);
    if (here < 0 || __builtin_add_overflow(here, offset, &target)) return -1;
    break;
  }
  case 2: {
    int64_t size = -1;
    int fd = fileno(stream);
    if (fd >= 0) {
      int flags = fcntl(fd, F_GETFL);
      if (flags >= 0 && (flags & O_ACCMODE) != O_RDONLY && zyrFault_fflush(stream) != 0) return -1;
      struct stat info;
      if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) size = info.st_size;
    }
    if (size < 0) {
      // Not a plain file (a memory stream, a pipe): let the stream find its end.
      if (zyrFault_fseeko(stream, 0, SEEK_END) != 0) return -1;
      size = io_tell(stream);
      if (size < 0) return -1;
    }
    if (__builtin_add_overflow(size, offset, &target)) return -1;
    break;
  }
  default:
    return -1;
  }
  if (target < 0) {
    errno = EINVAL;
    return -1;
  }
  return zyrFault_fseeko(stream, static_cast<off_t>(target), SEEK_SET) == 0 ? 0 : -1;
}

void io_swap_bytes(void *bytes, int width) {
  unsigned char *b = static_cast<unsigned char *>(bytes);
  if (!b || width < 2) return;
  if (width == 4) {
    unsigned char t = b[0];
    b[0] = b[3];
    b[3] = t;
    t = b[1];
    b[1] = b[2];
    b[2] = t;
    return;
  }
  for (int i = 0, j = width - 1; i < j; ++i, --j) {
    unsigned char t = b[i];
    b[i] = b[j];
    b[j] = t;
  }
}

// ---------------------------------------------------------------------------------------------
// Strings

int wezreadString(IO_error_callback callback, const char *format, char *array, int32_t count,
                  int32_t perLine, int32_t width, FILE *stream) {
  if (argumentsWrong(callback, __func__, format, array, count, perLine, width, stream))
    return IO_MEMORY_ERR;
  if (width > INT32_MAX - 2) {
    io_report_error(callback, "wezreadString: passing parameters are wrong");
    return IO_MEMORY_ERR;
  }
  if (!iofmt_is_valid(format[0])) {
    io_report_error(callback, "wezreadString: wrong dataset format");
    return IO_FORMAT_ERR;
  }
  IO_stream_source source{stream};
  return ioread_string(callback, format, array, count, width, source);
}

int wezwriteString(IO_error_callback callback, const char *format, const char *array,
                   int32_t count, int32_t perLine, int32_t width, FILE *stream) {
  if (argumentsWrong(callback, __func__, format, array, count, perLine, width, stream))
    return IO_MEMORY_ERR;
  if (!iofmt_is_valid(format[0])) {
    io_report_error(callback, "wezwriteString: wrong dataset format");
    return IO_FORMAT_ERR;
  }
  if (!isTextFormat(format[0])) {
    errno = 0;
    if (zyrFault_fwrite(array, 1, static_cast<size_t>(count), stream) != static_cast<size_t>(count)) {
      io_report_syserr(callback, "wezwriteString: (fwrite failed) syserr:");
      return IO_WRITE_ERR;
    }
    return IO_OK;
  }
  // The text ends at its first NUL or newline, and at most at the width; it never reaches past
  // the count characters the caller owns.
  int32_t limit = count < width ? count : width;
  int32_t length = 0;
  while (length < limit && array[length] && array[length] != '\n') ++length;
  LineWriter writer;
  lineStart(&writer, stream);
  lineAppend(&writer, array, static_cast<size_t>(length));
  linePad(&writer, static_cast<size_t>(width - length));
  lineAppend(&writer, "\n", 1);
  lineFlush(&writer);
  if (!writer.m_ok) {
    io_report_syserr(callback, "wezwriteString: (fputs failed) syserr:");
    return IO_WRITE_ERR;
  }
  return IO_OK;
}

// ---------------------------------------------------------------------------------------------
// Header strings

int wezreadHdrString(IO_error_callback callback, const char *format, char *buffer, int32_t size,
                     FILE *stream) {
  if (!format || !buffer || !stream || size < 2) {
    io_report_error(callback, "wezreadHdrString: passing parameters are wrong");
    return IO_MEMORY_ERR;
  }
  if (!iofmt_is_valid(format[0])) {
    io_report_error(callback, "wezreadHdrString: bad format %c%c", io_format_char(format[0], '?'),
                    io_format_char(format[1], '?'));
    return IO_FORMAT_ERR;
  }
  IO_stream_source source{stream};
  return ioread_hdr_string(callback, format, buffer, size, source);
}

int wezwriteHdrString(IO_error_callback callback, const char *format, const char *text,
                      int32_t size, FILE *stream) {
  if (!format || !text || !stream || size < 1) {
    io_report_error(callback, "wezwriteHdrString: passing parameters are wrong");
    return IO_MEMORY_ERR;
  }
  size_t length = strlen(text);
  if (length > static_cast<size_t>(size)) {
    int32_t shown = length > INT32_MAX ? INT32_MAX : static_cast<int32_t>(length);
    io_report_error(callback, "wezwriteHdrString: string too long for format (%d > %d)", shown,
                    size);
    return IO_WRITE_ERR;
  }
  if (!iofmt_is_valid(format[0])) {
    io_report_error(callback, "wezwriteHdrString: bad format %c%c",
                    io_format_char(format[0], '?'), io_format_char(format[1], ' '));
    return IO_FORMAT_ERR;
  }
  int status;
  if (isTextFormat(format[0])) {
    status = wezwriteString(callback, format, text, size, 1, size, stream);
    if (status != IO_OK) {
      io_report_error(callback, "wezwriteHdrString: fail to write string");
      return status;
    }
    return IO_OK;
  }
  int32_t n = static_cast<int32_t>(length);
  status = wezwriteIntr(callback, format, &n, 1, 1, 1, stream);
  if (status != IO_OK) {
    io_report_error(callback, "wezwriteHdrString: fail to write string length");
    return status;
  }
  // An empty string is its length 0 alone.
  if (n > 0) {
    status = wezwriteString(callback, format, text, n, 1, 1, stream);
    if (status != IO_OK) {
      io_report_error(callback, "wezwriteHdrString: fail to write string");
      return status;
    }
  }
  return IO_OK;
}

// ---------------------------------------------------------------------------------------------
// Line parsers of the text form

int readIntFmtData(IO_error_callback callback, FILE *stream, int32_t *array, int32_t wanted,
                   int32_t *got) {
  return readTextLine(callback, __func__, stream, array, wanted, got, parseInt32);
}

int readLongFmtData(IO_error_callback callback, FILE *stream, int32_t *array, int32_t wanted,
                    int32_t *got) {
  return readTextLine(callback, __func__, stream, array, wanted, got, parseInt32);
}

int readRealFmtData(IO_error_callback callback, FILE *stream, float *array, int32_t wanted,
                    int32_t *got) {
  return readTextLine(callback, __func__, stream, array, wanted, got,
                      [](const char *text) { return static_cast<float>(strtod(text, nullptr)); });
}

int readDbleFmtData(IO_error_callback callback, FILE *stream, double *array, int32_t wanted,
                    int32_t *got) {
  return readTextLine(callback, __func__, stream, array, wanted, got,
                      [](const char *text) { return strtod(text, nullptr); });
}

int readLoglFmtData(IO_error_callback callback, FILE *stream, char *array, int32_t wanted,
                    int32_t *got) {
  return readTextLine(callback, __func__, stream, array, wanted, got,
                      [](const char *text) { return *text; });
}

// ---------------------------------------------------------------------------------------------
// Numbers

namespace {

// How a binary reader answers a short read; the messages are the readers' own.
enum class ShortRead { kCounted, kSilent, kSyserr };

// The checks every value operation starts with: the arguments (14), then the format letter (15),
// reported as "<name>: wrong dataset format", followed by the code when showCode is set.
int checkValueCall(IO_error_callback callback, const char *name, const char *format,
                   const void *array, int32_t count, int32_t perLine, int32_t width, FILE *stream,
                   bool showCode) {
  if (argumentsWrong(callback, name, format, array, count, perLine, width, stream))
    return IO_MEMORY_ERR;
  if (iofmt_is_valid(format[0])) return IO_OK;
  if (showCode)
    io_report_error(callback, "%s: wrong dataset format %c%c", name,
                    io_format_char(format[0], '?'), io_format_char(format[1], ' '));
  else
    io_report_error(callback, "%s: wrong dataset format", name);
  return IO_FORMAT_ERR;
}

// The body of the typed readers: text through the type's line parser, binary in one read and
// then put into machine order (single bytes have none).
template <typename T, typename LineParser>
int readValues(IO_error_callback callback, const char *name, const char *format, T *array,
               int32_t count, int32_t perLine, int32_t width, FILE *stream,
               LineParser parseLine, ShortRead shortRead) {
  int status =
      checkValueCall(callback, name, format, array, count, perLine, width, stream, false);
  if (status != IO_OK) return status;
  if (isTextFormat(format[0])) return readTextValues(callback, array, count, stream, parseLine);
  if (shortRead != ShortRead::kSilent) errno = 0;
  size_t got = io_fread(array, sizeof(T), static_cast<size_t>(count), stream);
  if (got != static_cast<size_t>(count)) {
    if (shortRead == ShortRead::kCounted)
      io_report_syserr(callback, "%s: fread failed or short read of %d/%d items, syserr", name,
                       static_cast<int32_t>(got), count);
    else if (shortRead == ShortRead::kSyserr)
      io_report_syserr(callback, "%s: (fread failed) syserr:", name);
    return IO_READ_ERR;
  }
  if (sizeof(T) > 1 && iofmt_is_swapped(format[0])) swapValues(array, count);
  return IO_OK;
}

// The body of the typed writers: text through the type's formatter (after the warning, when
// there is one), binary in the letter's byte order.
template <typename T, typename Formatter>
int writeValues(IO_error_callback callback, const char *name, const char *format, const T *array,
                int32_t count, int32_t perLine, int32_t width, FILE *stream,
                Formatter formatValue, bool showCode, const char *textWarning) {
  int status =
      checkValueCall(callback, name, format, array, count, perLine, width, stream, showCode);
  if (status != IO_OK) return status;
  if (isTextFormat(format[0])) {
    if (textWarning) io_report_error(callback, "%s", textWarning);
    return writeTextValues(callback, name, array, count, perLine, width, stream, formatValue);
  }
  return writeBinaryValues(callback, name, array, count,
                           sizeof(T) > 1 && iofmt_is_swapped(format[0]), stream);
}

size_t formatFloat(char *text, size_t size, float value) {
  return formatReal(text, size, static_cast<double>(value));
}

// Doubles are written to single precision in text form.
size_t formatDouble(char *text, size_t size, double value) {
  return formatReal(text, size, static_cast<double>(static_cast<float>(value)));
}

size_t formatLogical(char *text, size_t, char value) {
  text[0] = value;
  return 1;
}

} // namespace

int wezreadIntr(IO_error_callback callback, const char *format, int32_t *array, int32_t count,
                int32_t perLine, int32_t width, FILE *stream) {
  return readValues(callback, __func__, format, array, count, perLine, width, stream,
                    readIntFmtData, ShortRead::kCounted);
}

int wezwriteIntr(IO_error_callback callback, const char *format, const int32_t *array,
                 int32_t count, int32_t perLine, int32_t width, FILE *stream) {
  return writeValues(callback, __func__, format, array, count, perLine, width, stream, formatInt,
                     true, nullptr);
}

int wezreadLong(IO_error_callback callback, const char *format, int32_t *array, int32_t count,
                int32_t perLine, int32_t width, FILE *stream) {
  // A short read is answered without a message.
  return readValues(callback, __func__, format, array, count, perLine, width, stream,
                    readLongFmtData, ShortRead::kSilent);
}

int wezwriteLong(IO_error_callback callback, const char *format, const int32_t *array,
                 int32_t count, int32_t perLine, int32_t width, FILE *stream) {
  return writeValues(callback, __func__, format, array, count, perLine, width, stream, formatInt,
                     false, nullptr);
}

int wezreadReal(IO_error_callback callback, const char *format, float *array, int32_t count,
                int32_t perLine, int32_t width, FILE *stream) {
  return readValues(callback, __func__, format, array, count, perLine, width, stream,
                    readRealFmtData, ShortRead::kSyserr);
}

int wezwriteReal(IO_error_callback callback, const char *format, const float *array,
                 int32_t count, int32_t perLine, int32_t width, FILE *stream) {
  return writeValues(callback, __func__, format, array, count, perLine, width, stream,
                     formatFloat, false, nullptr);
}

int wezreadDble(IO_error_callback callback, const char *format, double *array, int32_t count,
                int32_t perLine, int32_t width, FILE *stream) {
  return readValues(callback, __func__, format, array, count, perLine, width, stream,
                    readDbleFmtData, ShortRead::kSyserr);
}

int wezwriteDble(IO_error_callback callback, const char *format, const double *array,
                 int32_t count, int32_t perLine, int32_t width, FILE *stream) {
  return writeValues(callback, __func__, format, array, count, perLine, width, stream,
                     formatDouble, false,
                     "Warning: formatted floating point data is only written to "
                     "single-precision accuracy");
}

int wezreadLogl(IO_error_callback callback, const char *format, char *array, int32_t count,
                int32_t perLine, int32_t width, FILE *stream) {
  return readValues(callback, __func__, format, array, count, perLine, width, stream,
                    readLoglFmtData, ShortRead::kSyserr);
}

int wezwriteLogl(IO_error_callback callback, const char *format, const char *array,
                 int32_t count, int32_t perLine, int32_t width, FILE *stream) {
  return writeValues(callback, __func__, format, array, count, perLine, width, stream,
                     formatLogical, false, nullptr);
}

// ---------------------------------------------------------------------------------------------
// Offsets

namespace {

// One binary offset of 4 or 8 bytes; a 4-byte one is sign-extended.
template <typename T> int readOffsetValue(bool swap, int64_t *offset, FILE *stream) {
  T value;
  if (io_fread(&value, sizeof value, 1, stream) != 1) return IO_READ_ERR;
  if (swap) io_swap_bytes(&value, static_cast<int>(sizeof value));
  *offset = value;
  return IO_OK;
}

template <typename T>
int writeOffsetValue(IO_error_callback callback, const char *format, T value, bool swap,
                     FILE *stream) {
  if (swap) {
    io_trace("wezwriteOffset: byte-swapping offset for format %c%c", format[0],
             io_format_char(format[1], ' '));
    io_swap_bytes(&value, static_cast<int>(sizeof value));
  }
  errno = 0;
  if (zyrFault_fwrite(&value, sizeof value, 1, stream) != 1) {
    io_report_syserr(callback, "wezwriteOffset: (fwrite failed) syserr:");
    return IO_WRITE_ERR;
  }
  return IO_OK;
}

} // namespace

int wezreadOffset(IO_error_callback callback, const char *format, int64_t *offset,
                  FILE *stream) {
  if (!format || !offset || !stream) {
    io_report_error(callback, "wezreadOffset: passing parameters are wrong");
    return IO_MEMORY_ERR;
  }
  switch (format[0]) {
  case 'F': {
    char line[kLineLength + 1];
    errno = 0;
    if (!io_fgets(line, sizeof line, stream)) {
      io_report_syserr(callback, "wezreadOffset: (fgets failed) syserr:");
      return IO_READ_ERR;
    }
    *offset = strtoll(line, nullptr, 10);
    return IO_OK;
  }
  case 'U':
  case 'u':
    return readOffsetValue<int32_t>(format[0] == 'U', offset, stream);
  case 'L':
  case 'l':
    return readOffsetValue<int64_t>(format[0] == 'L', offset, stream);
  default:
    io_report_error(callback, "wezreadOffset: bad dataset format %c%c",
                    io_format_char(format[0], '?'), io_format_char(format[1], '?'));
    return IO_FORMAT_ERR;
  }
}

int wezwriteOffset(IO_error_callback callback, const char *format, int64_t offset, int32_t width,
                   FILE *stream) {
  if (!format || !stream || (format[0] == 'F' && width < 1)) {
    io_report_error(callback, "wezwriteOffset: passing parameters are wrong");
    return IO_MEMORY_ERR;
  }
  switch (format[0]) {
  case 'F': {
    char text[32];
    int length = snprintf(text, sizeof text, "%" PRId64, offset);
    if (length > width) {
      io_report_error(callback,
                      "writeOffset: offset %" PRId64 " too large for current offset format %d.  "
                      "Possibly a dataset >2Gb.",
                      offset, width);
      return IO_FORMAT_ERR;
    }
    LineWriter writer;
    lineStart(&writer, stream);
    linePad(&writer, static_cast<size_t>(width - length));
    lineAppend(&writer, text, static_cast<size_t>(length));
    lineAppend(&writer, "\n", 1);
    lineFlush(&writer);
    if (!writer.m_ok) {
      io_report_syserr(callback, "wezwriteOffset: (fputs failed) syserr:");
      return IO_WRITE_ERR;
    }
    return IO_OK;
  }
  case 'U':
  case 'u': {
    int32_t value = static_cast<int32_t>(static_cast<uint32_t>(offset));
    if (offset < INT32_MIN || offset > INT32_MAX) {
      io_report_error(callback,
                      "writeOffset: offset %" PRId64 " too large for integer,\nwould be written as "
                      "%" PRId64 ".  Possibly a dataset >2Gb.",
                      offset, static_cast<int64_t>(value));
      return IO_FORMAT_ERR;
    }
    return writeOffsetValue(callback, format, value, format[0] == 'U', stream);
  }
  case 'L':
  case 'l':
    return writeOffsetValue(callback, format, offset, format[0] == 'L', stream);
  default:
    io_report_error(callback, "wezwriteOffset: bad dataset format %c%c",
                    io_format_char(format[0], '?'), io_format_char(format[1], ' '));
    return IO_FORMAT_ERR;
  }
}

int wezgotoIndexLocation(IO_error_callback callback, int64_t *offset, int32_t width,
                         FILE *stream) {
  if (!offset || !stream || width < 1 || width >= kLineLength) {
    io_report_error(callback, "wezgotoIndexLocation: passing parameters are wrong");
    return IO_MEMORY_ERR;
  }
  if (io_seek(stream, 0, 2) != 0) {
    io_report_syserr(callback, "wezgotoIndexLocation: (fseek to end failed) syserr:");
    return IO_SEEK_ERR;
  }
  int64_t size = io_tell(stream);
  if (size < 0) {
    io_report_syserr(callback, "wezgotoIndexLocation: (ftell failed) syserr:");
    return IO_TELL_ERR;
  }
  if (size == 0) {
    *offset = 0;
    return IO_EMPTY_FILE;
  }
  int64_t back = -(static_cast<int64_t>(width) + 1);
  if (io_seek(stream, back, 2) != 0) {
    io_report_syserr(callback, "wezgotoIndexLocation: (fseek rel %" PRId64 " failed) syserr:", back);
    return IO_SEEK_ERR;
  }
  char line[kLineLength + 1];
  errno = 0;
  if (!io_fgets(line, width + 1, stream)) {
    io_report_syserr(callback, "wezgotoIndexLocation: (fgets failed) syserr:");
    return IO_READ_ERR;
  }
  int64_t position = strtoll(line, nullptr, 10);
  *offset = position;
  if (io_seek(stream, position, 0) != 0) {
    io_report_syserr(callback, "wezgotoIndexLocation: (fseek to %" PRId64 " failed) syserr:", position);
    return IO_SEEK_ERR;
  }
  return IO_OK;
}
