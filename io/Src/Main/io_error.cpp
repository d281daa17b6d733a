// Error reporting and trace of the data-set file library.
#include "io_error.h"

#include "io_alloc.h"

#include <atomic>
#include <cerrno>
#include <cinttypes>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// -1 not decided yet, 0 off, 1 on. Decided once per process, by whichever thread asks first (the
// workers of the compression and of the open ask too).
std::atomic<int> s_traceSwitch{-1};

// Growing text buffer of the expander. Grows by a fixed step, as often as needed.
struct ExpandBuffer {
  char *m_text;
  size_t m_length;
  size_t m_capacity;
  size_t m_step;
};

bool expandReserve(ExpandBuffer *buffer, size_t extra) {
  size_t needed = buffer->m_length + extra + 1;
  if (needed <= buffer->m_capacity) return true;
  size_t capacity = buffer->m_capacity;
  while (capacity < needed) capacity += buffer->m_step;
  char *grown = static_cast<char *>(io_realloc(buffer->m_text, capacity));
  if (!grown) return false;
  buffer->m_text = grown;
  buffer->m_capacity = capacity;
  return true;
}

bool expandAppend(ExpandBuffer *buffer, const char *text, size_t length) {
  if (!expandReserve(buffer, length)) return false;
  memcpy(buffer->m_text + buffer->m_length, text, length);
  buffer->m_length += length;
  return true;
}

// The expansion of a format holding "%", or NULL when memory runs out. The length of the text
// (which may hold a NUL given through "%c") goes to *length.
char *expandOrNull(const char *format, va_list arguments, size_t *length) {
  ExpandBuffer buffer;
  buffer.m_step = strlen(format) + 10;
  buffer.m_capacity = 2 * buffer.m_step;
  buffer.m_length = 0;
  buffer.m_text = static_cast<char *>(io_malloc(buffer.m_capacity));
  if (!buffer.m_text) return nullptr;

  bool ok = true;
  const char *p = format;
  while (ok && *p) {
    if (*p != '%') {
      const char *run = p;
      while (*p && *p != '%') ++p;
      ok = expandAppend(&buffer, run, static_cast<size_t>(p - run));
      continue;
    }
    ++p;
    char number[32];
    switch (*p) {
    case '\0':
      // A lone "%" at the end is kept as it stands.
      ok = expandAppend(&buffer, "%", 1);
      continue;
    case '%':
      ok = expandAppend(&buffer, "%", 1);
      break;
    case 'c': {
      char c = static_cast<char>(va_arg(arguments, int));
      ok = expandAppend(&buffer, &c, 1);
      break;
    }
    case 'd': {
      int32_t value = va_arg(arguments, int32_t);
      ok = expandReserve(&buffer, 25);
      if (ok) {
        int n = snprintf(number, sizeof number, "%" PRId32, value);
        ok = expandAppend(&buffer, number, static_cast<size_t>(n));
      }
      break;
    }
    case 's': {
      const char *text = va_arg(arguments, const char *);
      if (!text) text = "(null)";
      ok = expandAppend(&buffer, text, strlen(text));
      break;
    }
    case 'I':
    case 'l': {
      // 64-bit integers: "%I64d", and the spellings of PRId64 ("%ld", "%lld").
      int64_t value = 0;
      size_t skip = 0;
      if (strncmp(p, "I64d", 4) == 0) {
        value = va_arg(arguments, int64_t);
        skip = 3;
      } else if (strncmp(p, "ld", 2) == 0) {
        value = va_arg(arguments, long);
        skip = 1;
      } else if (strncmp(p, "lld", 3) == 0) {
        value = va_arg(arguments, long long);
        skip = 2;
      }
      if (skip > 0) {
        int n = snprintf(number, sizeof number, "%" PRId64, value);
        ok = expandAppend(&buffer, number, static_cast<size_t>(n));
        p += skip;
        break;
      }
      [[fallthrough]];
    }
    default:
      // Not understood: copied as it is, and the argument meant for it is skipped.
      (void)va_arg(arguments, unsigned int);
      ok = expandAppend(&buffer, p - 1, 2);
      break;
    }
    ++p;
  }
  if (!ok) {
    io_free(buffer.m_text);
    return nullptr;
  }
  buffer.m_text[buffer.m_length] = '\0';
  char *shrunk = static_cast<char *>(io_realloc(buffer.m_text, buffer.m_length + 1));
  if (shrunk) buffer.m_text = shrunk;
  *length = buffer.m_length;
  return buffer.m_text;
}

// Expansion with the fallbacks of io_expand_message; the length goes to *length.
char *expandMessage(const char *format, va_list arguments, size_t *length) {
  if (!format) return nullptr;
  if (strchr(format, '%')) {
    char *text = expandOrNull(format, arguments, length);
    if (text) return text;
  }
  char *copy = io_strdup(format);
  if (copy) *length = strlen(copy);
  return copy;
}

bool debuggerAttached() {
  FILE *status = fopen("/proc/self/status", "re");
  if (!status) return false;
  char line[256];
  bool attached = false;
  while (fgets(line, sizeof line, status)) {
    if (strncmp(line, "TracerPid:", 10) == 0) {
      attached = strtol(line + 10, nullptr, 10) != 0;
      break;
    }
  }
  fclose(status);
  return attached;
}

// Writes one trace line holding the text as it stands (no format expansion).
void traceLine(const char *text) {
  fputs("TRACE> ", stdout);
  fputs(text, stdout);
  size_t n = strlen(text);
  if (n == 0 || text[n - 1] != '\n') fputc('\n', stdout);
  fflush(stdout);
}

// Delivers an already expanded text: newline, callback, debugger hook, trace.
void deliver(IO_error_callback callback, char *text, size_t length) {
  if (length == 0 || text[length - 1] != '\n') {
    char *grown = static_cast<char *>(io_realloc(text, length + 2));
    if (grown) {
      text = grown;
      text[length++] = '\n';
      text[length] = '\0';
    }
  }
  if (callback) callback(text, static_cast<int32_t>(length));
  // There is no debugger output channel here; a break is only useful under a debugger.
  if (getenv("WEZ_IO_DEBUG_ERRORS") && debuggerAttached()) raise(SIGTRAP);
  if (io_trace_enabled()) traceLine(text);
  io_free(text);
}

// Whether a message would reach anyone: the callback, the trace or a debugger. A message no one
// hears is not even made, so that a worker thread that reads bytes in memory with no callback
// (io_frame.cpp) allocates nothing.
bool heard(IO_error_callback callback) {
  return callback || io_trace_enabled() || getenv("WEZ_IO_DEBUG_ERRORS");
}

void reportList(IO_error_callback callback, const char *format, va_list arguments) {
  if (!format || !heard(callback)) return;
  size_t length = 0;
  char *text = expandMessage(format, arguments, &length);
  if (!text) {
    if (callback) callback(format, static_cast<int32_t>(strlen(format)));
    return;
  }
  deliver(callback, text, length);
}

const char *systemErrorText(int error) {
  const char *text = strerror(error);
  return text ? text : "errno is out-of-range";
}

} // namespace

int io_default_error_callback(const char *message, int32_t length) {
  if (message) fprintf(stderr, "IO: %.*s", static_cast<int>(length), message);
  return 0;
}

void io_report_error(IO_error_callback callback, const char *format, ...) {
  va_list arguments;
  va_start(arguments, format);
  reportList(callback, format, arguments);
  va_end(arguments);
}

void wezsystemErr(IO_error_callback callback, const char *text) {
  const char *system = systemErrorText(errno);
  if (!text) text = "";
  size_t n = strlen(text), m = strlen(system);
  char *line = static_cast<char *>(io_malloc(n + m + 3));
  if (!line) {
    printf("wezsystemErr: malloc failed\n");
    return;
  }
  memcpy(line, text, n);
  memcpy(line + n, ": ", 2);
  memcpy(line + n + 2, system, m + 1);
  io_report_error(callback, "%s", line);
  io_free(line);
}

void io_report_syserr(IO_error_callback callback, const char *format, ...) {
  int error = errno;
  if (!format || !heard(callback)) return;
  va_list arguments;
  va_start(arguments, format);
  size_t length = 0;
  char *text = expandMessage(format, arguments, &length);
  va_end(arguments);
  errno = error;
  wezsystemErr(callback, text ? text : format);
  io_free(text);
}

void io_report_malloc_error(IO_error_callback callback, const char *what, int64_t size) {
  if (!what) what = "";
  char *line = io_copy_message("%s: malloc of %" PRId64 " bytes failed", what, size);
  if (!line) {
    printf("%s: malloc of %" PRId64 " bytes failed\n", what, size);
    io_report_error(callback, "memory allocation failure");
    return;
  }
  io_report_error(callback, "%s", line);
  io_free(line);
}

char *io_expand_message(const char *format, va_list arguments) {
  size_t length = 0;
  return expandMessage(format, arguments, &length);
}

char *io_copy_message(const char *format, ...) {
  if (!format) return nullptr;
  if (!strchr(format, '%')) return io_strdup(format);
  va_list arguments;
  va_start(arguments, format);
  size_t length = 0;
  char *text = expandOrNull(format, arguments, &length);
  va_end(arguments);
  return text;
}

int io_trace_enabled() {
  int on = s_traceSwitch.load(std::memory_order_relaxed);
  if (on < 0) s_traceSwitch.store(on = getenv("WEZ_IO_TRACE") ? 1 : 0, std::memory_order_relaxed);
  return on;
}

void io_trace(const char *format, ...) {
  if (!format || !io_trace_enabled()) return;
  fputs("TRACE> ", stdout);
  va_list arguments;
  va_start(arguments, format);
  vprintf(format, arguments);
  va_end(arguments);
  size_t n = strlen(format);
  if (n == 0 || format[n - 1] != '\n') fputc('\n', stdout);
  fflush(stdout);
}

const char *io_status_text(int status) {
  switch (status) {
  case IO_OK: return "success";
  case IO_OPEN_ERR: return "cannot open file";
  case IO_EMPTY_FILE: return "empty file";
  case IO_PERMISSION_ERR: return "permission denied";
  case IO_SEEK_ERR: return "seek failed";
  case IO_TELL_ERR: return "tell failed";
  case IO_READ_ERR: return "read failed";
  case IO_WRITE_ERR: return "write failed";
  case IO_DATA_ERR: return "bad data";
  case IO_MEMORY_ERR: return "bad arguments or arrays too small";
  case IO_FORMAT_ERR: return "bad format";
  case IO_MULTIPLE_MATCH: return "more than one match";
  case IO_NO_MATCH: return "no match";
  case IO_NO_CALLBACK: return "no error callback";
  case IO_BAD_FILE: return "bad file";
  case IO_LOCK_ERR: return "lock conflict";
  case IO_UNKNOWN_REQUEST: return "unknown request";
  case IO_COMPRESS_ERR: return "compression failed";
  case IO_NOT_READABLE: return "file not readable";
  case IO_NO_MESSAGE: return "no message";
  case IO_CONVERT_ERR: return "cannot convert";
  case IO_ALLOC_ERR: return "out of memory";
  case IO_PLAIN_DATA: return "data stored uncompressed";
  default: return "unknown status";
  }
}
