#ifndef ZYR_ERROR_LOG_H
#define ZYR_ERROR_LOG_H
// The error log: a text file or standard stream in which every line starts with the date and
// time, "Wed Jan 08 2025 (10:15:00 UTC): ".
#include <cstdio>

struct ErrorLog {
  int m_active;
  FILE *m_stream;
};

// NULL or "stderr" gives the standard error stream, "stdout" the standard output, anything else
// a file opened for writing (truncated); NULL when that file cannot be opened.
ErrorLog *ErrorLog_new(const char *name);
// Closes the file unless it is a standard stream.
void ErrorLog_delete(ErrorLog *log);
// Writes the formatted text with the date-and-time prefix at the head of every line, ends it
// with exactly one line feed and flushes. The formatted text is written literally.
void ErrorLog_write(ErrorLog *log, const char *format, ...) __attribute__((format(printf, 2, 3)));
// A block title between two rules of 53 dashes.
void ErrorLog_writeHeader(ErrorLog *log, const char *title);
void ErrorLog_print(const ErrorLog *log, FILE *stream);

#endif
