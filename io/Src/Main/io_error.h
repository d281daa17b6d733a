#ifndef IO_ERROR_H
#define IO_ERROR_H
// Error reporting and trace of the data-set file library. A failing function sends one line of
// text, its own name, ": " and the text, to the caller's error callback and returns a status.
// Message formats go through the library's own small expander, which understands only
// "%%", "%c", "%d" (32-bit int), "%s" and 64-bit integers, written "%I64d" or, in the library's
// own sources, "%" PRId64 so that the compiler checks every argument against its format; any
// other conversion is copied as it stands and its argument skipped. Trace lines are printf
// formats in full.
#include "io_records.h"

#include <cstdarg>

// Writes the text as "IO: %s" to standard error; answers 0.
int io_default_error_callback(const char *message, int32_t length);

// Expands the format and delivers it, with a newline appended when it lacks one, to the
// callback (nothing is delivered when the callback is NULL); also sends it to the trace.
void io_report_error(IO_error_callback callback, const char *format, ...)
    __attribute__((format(printf, 2, 3)));

// Delivers "<text>: <system error text>" for the current errno.
void wezsystemErr(IO_error_callback callback, const char *text);

// Like wezsystemErr, but the text is an expanded format.
void io_report_syserr(IO_error_callback callback, const char *format, ...)
    __attribute__((format(printf, 2, 3)));

// Delivers "<what>: malloc of <size> bytes failed".
void io_report_malloc_error(IO_error_callback callback, const char *what, int64_t size);

// A new heap string (release with io_free) holding the expansion, or a copy of the format when
// it holds no "%" or when memory runs out; NULL only when not even the copy can be had.
char *io_expand_message(const char *format, va_list arguments);

// The expansion when the format holds a "%", otherwise a plain copy; release with io_free.
char *io_copy_message(const char *format, ...) __attribute__((format(printf, 1, 2)));

// Writes "TRACE> " and the printf-formatted line to standard output when WEZ_IO_TRACE was set
// at the first trace call of the process.
void io_trace(const char *format, ...) __attribute__((format(printf, 1, 2)));
// 1 when trace lines are written (decides the switch on first use), else 0.
int io_trace_enabled();

// A short text naming a status code, for messages that quote a status.
const char *io_status_text(int status);

// The character to show for a format code character in a message: a NUL shows as `absent`.
// Writers show a missing second character as a blank, readers as "?".
static inline int io_format_char(char c, char absent) { return c ? c : absent; }

#endif
