#ifndef IO_SOURCE_H
#define IO_SOURCE_H
// Where the strings of a frame's start and header are read from: the file's stream, or bytes of
// the file already read into memory. The open checks every entry of a stored index against its
// frame; one read of many frames' bytes, parsed in memory, spares it a seek and a dozen stdio
// calls for each (the system is asked again, on the stream, for every frame whose bytes do not
// prove it whole).
//
// Both answer the same calls the same way for the same bytes: read (fread), line (fgets), tell,
// seek (from the start) and failure (the errno of a read the system failed). The string readers
// below are written once over either, so a header is parsed by one grammar whatever its source.
#include "io_alloc.h"
#include "io_error.h"
#include "io_records.h"
#include "lowlevel_io.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

struct IO_stream_source {
  FILE *m_stream;

  bool valid() const { return m_stream != nullptr; }
  size_t read(void *data, size_t n) { return io_fread(data, 1, n, m_stream); }
  // A line as fgets reads it into `buffer` (size characters with the terminator): its characters,
  // *length of them (a NUL among them ends the line's text); NULL when fgets gives none.
  const char *line(char *buffer, int size, size_t *length) {
    if (!io_fgets(buffer, size, m_stream)) return nullptr;
    *length = strlen(buffer);
    return buffer;
  }
  int64_t tell() { return io_tell(m_stream); }
  int seek(int64_t at) { return io_seek(m_stream, at, 0); }
  int failure() { return io_read_failure(m_stream); }
};

// Bytes [m_base, m_base + m_size) of a file. m_whole: they run to the file's end, so that a read
// past them meets the end as the stream would. Otherwise such a read comes up short and sets
// m_beyond: the bytes prove nothing about what lies past them.
struct IO_bytes_source {
  const char *m_bytes = nullptr;
  int64_t m_base = 0;
  int64_t m_size = 0;
  int64_t m_at = 0; // relative to m_base
  bool m_whole = false;
  bool m_beyond = false;

  bool valid() const { return m_bytes != nullptr; }
  size_t read(void *data, size_t n) {
    const int64_t left = m_at < m_size ? m_size - m_at : 0;
    size_t got = static_cast<int64_t>(n) <= left ? n : static_cast<size_t>(left);
    if (got < n && !m_whole) m_beyond = true;
    memcpy(data, m_bytes + m_at, got);
    m_at += static_cast<int64_t>(got);
    return got;
  }
  // The same, read in place: the buffer is not needed.
  const char *line(char *, int size, size_t *length) {
    if (size < 1) return nullptr;
    const int64_t left = m_at < m_size ? m_size - m_at : 0;
    const int64_t most = size - 1 < left ? size - 1 : left;
    const char *from = m_bytes + m_at;
    const void *feed = most > 0 ? memchr(from, '\n', static_cast<size_t>(most)) : nullptr;
    const int64_t n = feed ? static_cast<const char *>(feed) - from + 1 : most;
    if (!feed && n < size - 1 && !m_whole) {
      m_beyond = true;
      return nullptr;
    }
    if (n == 0) return nullptr;
    m_at += n;
    *length = static_cast<size_t>(n);
    return from;
  }
  int64_t tell() { return m_base + m_at; }
  int seek(int64_t at) {
    if (at < m_base || at - m_base > m_size) {
      m_beyond = true;
      return -1;
    }
    m_at = at - m_base;
    return 0;
  }
  int failure() { return 0; }
};

// The length of a line of `length` characters (its end included) without its trailing white space
// (the C locale's: a file reads the same in every locale) and newline; the first character always
// stays. Text lines are padded with blanks to their width, which go many at a time.
inline size_t ioread_trimmed(const char *line, size_t length) {
  static const char kBlanks[32] = {' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ',
                                   ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
  if (length > 1 && line[length - 1] == '\n') --length;
  while (length > 33 && memcmp(line + length - 32, kBlanks, 32) == 0) length -= 32;
  while (length > 9 && memcmp(line + length - 8, kBlanks, 8) == 0) length -= 8;
  while (length > 1 && (line[length - 1] == ' ' || (line[length - 1] >= '\t' && line[length - 1] <= '\r'))) --length;
  return length;
}

// The same for a line that may hold a NUL, which ends it as it ends a C string. A NUL is no white
// space, so only the characters before the last one that is not are looked at for one.
inline size_t ioread_trimmed_string(const char *line, size_t length) {
  const size_t trimmed = ioread_trimmed(line, length);
  const size_t terminated = strnlen(line, trimmed);
  return terminated == trimmed ? trimmed : ioread_trimmed(line, terminated);
}

// wezreadString's reading (lowlevel_io.h) from either source, the arguments checked.
template <class Source>
int ioread_string(IO_error_callback callback, const char *format, char *array, int32_t count, int32_t width,
                  Source &source) {
  if (format[0] != 'F') {
    errno = 0;
    size_t got = source.read(array, static_cast<size_t>(count));
    if (got != static_cast<size_t>(count)) {
      io_report_error(callback, "wezreadString: fread failed: read %d bytes, expected %d",
                      static_cast<int32_t>(got), count);
      return IO_READ_ERR;
    }
    return IO_OK;
  }
  // Header and tag lines are short: a stream's buffer is taken from the stack.
  const size_t size = static_cast<size_t>(width) + 2;
  char local[512];
  char *buffer = size <= sizeof local ? local : static_cast<char *>(io_malloc(size));
  if (!buffer) {
    io_report_syserr(callback, "wezreadString: (malloc failed) syserr:");
    return IO_ALLOC_ERR;
  }
  int status = IO_OK;
  errno = 0;
  size_t length = 0;
  const char *line = source.line(buffer, static_cast<int>(size), &length);
  if (!line) {
    io_report_syserr(callback, "wezreadString: (fgets failed) syserr:");
    status = IO_READ_ERR;
  } else {
    length = ioread_trimmed_string(line, length);
    if (length > static_cast<size_t>(count)) {
      const std::string beyond(line + count, length - static_cast<size_t>(count));
      io_report_error(callback, "wezreadString: read too many characters: %s", beyond.c_str());
      status = IO_MEMORY_ERR;
    } else {
      memcpy(array, line, length);
      if (length < static_cast<size_t>(count)) array[length] = '\0';
    }
  }
  if (buffer != local) io_free(buffer);
  return status;
}

// wezreadHdrString's reading from either source, the arguments checked.
template <class Source>
int ioread_hdr_string(IO_error_callback callback, const char *format, char *buffer, int32_t size, Source &source) {
  int status;
  if (format[0] == 'F') {
    // One character of the buffer is kept for the terminator.
    status = ioread_string(callback, format, buffer, size - 1, size, source);
    if (status != IO_OK) {
      io_report_error(callback, "wezreadHdrString: error reading from file");
      return status;
    }
    buffer[size - 1] = '\0';
    return IO_OK;
  }
  int32_t length = 0;
  errno = 0;
  size_t got = source.read(&length, sizeof length);
  if (got != sizeof length) {
    io_report_syserr(callback, "%s: fread failed or short read of %d/%d items, syserr", "wezreadIntr", 0, 1);
    io_report_error(callback, "wezreadHdrString: fail to read string length");
    return IO_READ_ERR;
  }
  if (iofmt_is_swapped(format[0])) io_swap_bytes(&length, sizeof length);
  if (length < 0) {
    io_report_error(callback, "wezreadHdrString: bad string length %d", length);
    return IO_READ_ERR;
  }
  if (length >= size) {
    io_report_error(callback, "wezreadHdrString: not enough buffer space for string: have %d, require > %d", size,
                    length);
    return IO_MEMORY_ERR;
  }
  if (length > 0) {
    status = ioread_string(callback, format, buffer, length, 1, source);
    if (status != IO_OK) {
      io_report_error(callback, "wezreadHdrString: unable to read string data");
      return status;
    }
  }
  buffer[length] = '\0';
  return IO_OK;
}

#endif
