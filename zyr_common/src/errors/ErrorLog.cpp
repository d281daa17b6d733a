#include "ErrorLog.h"

#include "zyrCString.h"
#include "zyrMemory.h"
#include "zyrSystem.h"

#include <cstdarg>
#include <cstring>

ErrorLog *ErrorLog_new(const char *name) {
  FILE *stream = nullptr;
  if (name == nullptr || std::strcmp(name, "stderr") == 0)
    stream = stderr;
  else if (std::strcmp(name, "stdout") == 0)
    stream = stdout;
  else
    stream = std::fopen(name, "we");
  if (stream == nullptr)
    return nullptr;
  ErrorLog *log = zyrMemory_allocateZeroedArray<ErrorLog>(1, __func__);
  log->m_active = 1;
  log->m_stream = stream;
  return log;
}

void ErrorLog_delete(ErrorLog *log) {
  if (log == nullptr)
    return;
  if (log->m_stream != nullptr && log->m_stream != stdout && log->m_stream != stderr)
    std::fclose(log->m_stream);
  else if (log->m_stream != nullptr)
    std::fflush(log->m_stream);
  zyrMemory_free(log, __func__);
}

void ErrorLog_write(ErrorLog *log, const char *format, ...) {
  if (log == nullptr || !log->m_active || log->m_stream == nullptr)
    return;
  va_list arguments;
  va_start(arguments, format);
  char *text = zyrCString_vbuild(format, arguments);
  va_end(arguments);

  char *date = zyrGetDateString();
  char *time = zyrGetTimeString();
  char *prefix = date && time ? zyrCString_merge(date, " (", time, "): ", static_cast<const char *>(nullptr))
                              : zyrCString_clone("");
  zyrCString_free(date);
  zyrCString_free(time);

  FILE *stream = log->m_stream;
  std::fputs(prefix, stream);
  size_t length = std::strlen(text);
  for (size_t i = 0; i < length; ++i) {
    std::fputc(text[i], stream);
    if (text[i] == '\n' && i + 1 < length)
      std::fputs(prefix, stream);
  }
  if (length == 0 || text[length - 1] != '\n')
    std::fputc('\n', stream);
  std::fflush(stream);
  zyrCString_free(prefix);
  zyrCString_free(text);
}

void ErrorLog_writeHeader(ErrorLog *log, const char *title) {
  ErrorLog_write(log,
                 "-----------------------------------------------------\n%s\n"
                 "-----------------------------------------------------\n",
                 title);
}

void ErrorLog_print(const ErrorLog *log, FILE *stream) {
  std::fprintf(stream, "Error log: %p\n", static_cast<const void *>(log));
  if (log != nullptr && log->m_active)
    std::fputs("  ErrorLog is active.\n", stream);
  else
    std::fputs("  ErrorLog is inactive.\n", stream);
}
