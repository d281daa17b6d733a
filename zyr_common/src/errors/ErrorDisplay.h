#ifndef ZYR_ERROR_DISPLAY_H
#define ZYR_ERROR_DISPLAY_H
// An error display renders published error records in one format and sends the text to a
// stream, a conduit or a callback of the host. Displays register themselves with the error
// manager at creation, which then shows records on them.
#include <cstdarg>
#include <cstdint>
#include <cstdio>

struct zyrError;
struct zyrErrorManager;
struct Conduit;

enum ErrorDisplayFormat {
  ErrorDisplayAssertion = -1, // banner for failed assertions
  ErrorDisplayBuild = 0,      // solver-style build text
  ErrorDisplayBuildMarked = 1, // the same between start and end markers
  ErrorDisplayRaw = 2,        // plain report
  ErrorDisplayXML = 3,        // one ZYRERROR element
  ErrorDisplayVSN = 4         // command-language placeholder
};

enum ErrorDisplayDestination { ErrorDisplayToStream = 0, ErrorDisplayToConduit = 1, ErrorDisplayToCallback = 2 };

// Receives the whole rendered text of one record (NULL when nothing was written); the result is
// ignored.
typedef int (*ErrorDisplayCallback)(const char *text);

// How formatted text reaches a conduit: Conduit_vprintf unless another writer is installed
// (a NULL writer makes conduit displays write nothing).
typedef int (*ErrorDisplayConduitWriter)(Conduit *conduit, const char *format, va_list arguments);
// Installs the writer and returns the previous one.
ErrorDisplayConduitWriter ErrorDisplay_setConduitWriter(ErrorDisplayConduitWriter writer);

struct ErrorDisplay {
  zyrErrorManager *m_errorManager;
  int32_t m_format;
  int32_t m_destination;
  int32_t m_id;
  FILE *m_output;
  Conduit *m_conduit;
  char *m_buffer;
  ErrorDisplayCallback m_function;
};

// A format outside -1 to 4 gives NULL. A stream display owns a file stream given to it (closed
// when the display is deleted); the standard streams are never closed.
ErrorDisplay *ErrorDisplay_new(int32_t format);
ErrorDisplay *ErrorDisplay_newStream(int32_t format, FILE *stream);
ErrorDisplay *ErrorDisplay_newConduit(int32_t format, Conduit *conduit);
ErrorDisplay *ErrorDisplay_newCallback(int32_t format, ErrorDisplayCallback callback);
void ErrorDisplay_delete(ErrorDisplay *display);

// Renders the record in the display's format.
void ErrorDisplay_display(ErrorDisplay *display, const zyrError *error);
void ErrorDisplay_printf(ErrorDisplay *display, const char *format, ...) __attribute__((format(printf, 2, 3)));
// Stream: flush. Callback: hand over the collected text and start afresh.
void ErrorDisplay_flush(ErrorDisplay *display);
int32_t ErrorDisplay_getId(const ErrorDisplay *display);
void ErrorDisplay_print(const ErrorDisplay *display, FILE *stream);

#endif
