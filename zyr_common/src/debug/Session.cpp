#include "Session.h"

#include "zyrCString.h"
#include "zyrError.h"
#include "zyrLibrary.h"
#include "zyrMemory.h"
#include "zyrSystem.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

const char *const g_defaultDelimiter = "__EOF";
// A line quoted in a message is cut to this many characters.
const int g_quotedLength = 80;

// ---- Lines ----

struct PhysicalLine {
  char *m_text;
  int64_t m_length;
  int m_atEnd;      // nothing was left to read
  int m_zeroByte;
  int m_tooLong;
};

// Room for one more character in the session's line, moving to the long-line buffer (grown by
// doubling) when m_line is full. Returns the buffer to use.
char *ensureRoom(Session *session, char *buffer, int64_t length) {
  const int64_t size = buffer == session->m_line ? SESSION_LINE_SIZE : session->m_longLineSize;
  if (length + 1 < size)
    return buffer;
  const int64_t wanted = std::min<int64_t>(std::max<int64_t>(2 * size, 2 * SESSION_LINE_SIZE),
                                           static_cast<int64_t>(SESSION_MAX_LINE) + 2);
  if (session->m_longLineSize < wanted) {
    session->m_longLine = static_cast<char *>(zyrMemory_reallocate(session->m_longLine, wanted, "Session_readline"));
    session->m_longLineSize = wanted;
  }
  if (buffer == session->m_line)
    std::memcpy(session->m_longLine, session->m_line, static_cast<size_t>(length));
  return session->m_longLine;
}

// One line of the input, whatever its length, with its line feed and one carriage return before
// it (or before the end of the input) removed. A line longer than the limit is read to its end
// and reported as too long.
PhysicalLine readPhysicalLine(Session *session) {
  PhysicalLine line = {session->m_line, 0, 1, 0, 0};
  FILE *input = session->m_input;
  if (input == nullptr)
    return line;
  char *buffer = session->m_line;
  int64_t length = 0;
  flockfile(input);
  for (int c; (c = getc_unlocked(input)) != EOF;) {
    line.m_atEnd = 0;
    if (c == '\n')
      break;
    if (line.m_tooLong)
      continue;
    // One character beyond the limit is kept for a carriage return that ends the line.
    if (length > SESSION_MAX_LINE) {
      line.m_tooLong = 1;
      continue;
    }
    buffer = ensureRoom(session, buffer, length);
    if (c == '\0')
      line.m_zeroByte = 1;
    buffer[length++] = static_cast<char>(c);
  }
  funlockfile(input);
  if (length > 0 && buffer[length - 1] == '\r')
    --length;
  if (length > SESSION_MAX_LINE)
    line.m_tooLong = 1;
  buffer[length] = '\0';
  line.m_text = buffer;
  line.m_length = length;
  return line;
}

// A line that would read as a comment carries one more backslash in front: the reader takes
// it off a line of backslashes followed by "#".
int needsEscape(const char *text) {
  while (*text == '\\')
    ++text;
  return *text == '#';
}

const char *unescape(const char *text) { return text[0] == '\\' && needsEscape(text) ? text + 1 : text; }

// Publishes 10035 with the reason (a message piece) and ends the reading.
void publishInvalid(Session *session, const char *function, int32_t lineNumber, const char *reason) {
  zyrError_raise(ZYR_U_INVALID_FILE_FORMAT, function, __FILE__, lineNumber,
                 "The format of the session file is not valid.\n%s", reason);
  session->m_state = SessionInvalid;
}

// ---- Values ----

const char *readValueLine(Session *session, const char *label, int ownLine) {
  Session_prompt(session, label, ownLine);
  return Session_readline(session, 0);
}

int parseInteger(const char *text, int32_t *value) {
  errno = 0;
  char *end = nullptr;
  const long parsed = std::strtol(text, &end, 10);
  if (end == text || errno == ERANGE || parsed < INT32_MIN || parsed > INT32_MAX)
    return 0;
  *value = static_cast<int32_t>(parsed);
  return 1;
}

int parseReal(const char *text, double *value) {
  char *end = nullptr;
  // Out of range gives the infinity or the tiny value, as reading with scanf does.
  const double parsed = std::strtod(text, &end);
  if (end == text)
    return 0;
  *value = parsed;
  return 1;
}

// A line that is not the number asked for: an interactive user is told and asked again (1);
// a file is invalid (0).
int refuseValue(Session *session, const char *function, int32_t lineNumber, const char *line, const char *kind) {
  if (session->m_interactive) {
    std::fprintf(stderr, "The value \"%.*s\" is not %s.\n", g_quotedLength, line, kind);
    return 1;
  }
  char *reason = zyrCString_build("\nThe line \"%.*s\" is not %s.\n", g_quotedLength, line, kind);
  publishInvalid(session, function, lineNumber, reason);
  zyrCString_free(reason);
  return 0;
}

int32_t readIntegerValue(Session *session, const char *label, const char *function) {
  for (;;) {
    const char *line = readValueLine(session, label, 0);
    if (line == nullptr)
      return 0;
    int32_t value = 0;
    if (parseInteger(line, &value))
      return value;
    if (!refuseValue(session, function, __LINE__, line, "an integer"))
      return 0;
  }
}

int finish(FILE *output) { return std::fflush(output) == 0 && !std::ferror(output) ? 1 : 0; }

// One line holding the text (NULL as empty): escaped when it would read as a comment, a line
// feed inside made a blank, a final carriage return doubled so that the reader keeps it.
void writeLine(FILE *output, const char *text, int64_t length) {
  if (text == nullptr) {
    text = "";
    length = 0;
  }
  if (length > 0 && needsEscape(text))
    std::fputc('\\', output);
  for (int64_t from = 0; from < length;) {
    const char *feed = static_cast<const char *>(std::memchr(text + from, '\n', static_cast<size_t>(length - from)));
    const int64_t to = feed == nullptr ? length : feed - text;
    std::fwrite(text + from, 1, static_cast<size_t>(to - from), output);
    if (feed == nullptr)
      break;
    std::fputc(' ', output);
    from = to + 1;
  }
  if (length > 0 && text[length - 1] == '\r')
    std::fputc('\r', output);
  std::fputc('\n', output);
}

void writeLine(FILE *output, const char *text) { writeLine(output, text, text == nullptr ? 0 : std::strlen(text)); }

// Calls visit(piece, length) for each line of the text block: the lines given, each cut at its
// line feeds (the reader's caller joins lines with line feeds again).
template <class Visit> int forEachPiece(char *const *lines, int32_t count, Visit visit) {
  for (int32_t i = 0; i < count; ++i) {
    const char *text = lines[i] == nullptr ? "" : lines[i];
    for (;;) {
      const char *feed = std::strchr(text, '\n');
      const int64_t length = feed == nullptr ? static_cast<int64_t>(std::strlen(text)) : feed - text;
      if (!visit(text, length))
        return 0;
      if (feed == nullptr)
        break;
      text = feed + 1;
    }
  }
  return 1;
}

// The delimiter, with a number appended when a line of the block equals it.
char *chooseDelimiter(char *const *lines, int32_t count, const char *delimiter) {
  if (delimiter == nullptr || delimiter[0] == '\0' || std::strchr(delimiter, '\n') != nullptr)
    delimiter = g_defaultDelimiter;
  char *candidate = zyrCString_clone(delimiter);
  for (int32_t suffix = 1;; ++suffix) {
    const int64_t length = static_cast<int64_t>(std::strlen(candidate));
    const int unused = forEachPiece(lines, count, [&](const char *piece, int64_t pieceLength) {
      return !(pieceLength == length && std::memcmp(piece, candidate, static_cast<size_t>(length)) == 0);
    });
    if (unused)
      return candidate;
    zyrCString_free(candidate);
    candidate = zyrCString_build("%s%d", delimiter, suffix);
  }
}

// The shortest "%e" form (at least the usual six decimals) that reads back as the same double.
void formatReal(double value, char *text, size_t size) {
  std::snprintf(text, size, "%e", value);
  if (!std::isfinite(value))
    return;
  for (int digits = 7; digits <= 17 && std::strtod(text, nullptr) != value; ++digits)
    std::snprintf(text, size, "%.*e", digits, value);
}

} // namespace

// ---- Record ----

Session *Session_new() {
  Session *session = static_cast<Session *>(zyrMemory_allocateAndSet(sizeof(Session), 0, __func__));
  session->m_output = stdout;
  return session;
}

void Session_delete(Session *session) {
  if (session == nullptr)
    return;
  zyrMemory_free(session->m_longLine, __func__);
  zyrMemory_free(session, __func__);
}

void Session_print(const Session *session, FILE *stream) {
  if (session == nullptr) {
    std::fprintf(stream, "Session: NULL\n");
    return;
  }
  static const char *const stateNames[] = {"reading", "ended", "truncated", "invalid", "interrupted"};
  const int32_t state = session->m_state;
  std::fprintf(stream, "Session: %p\n", static_cast<const void *>(session));
  std::fprintf(stream, "  m_interactive  = %d\n", session->m_interactive);
  std::fprintf(stream, "  m_input        = %p\n", static_cast<void *>(session->m_input));
  std::fprintf(stream, "  m_output       = %p\n", static_cast<void *>(session->m_output));
  std::fprintf(stream, "  m_line         = \"%.*s\"\n", g_quotedLength, session->m_line);
  std::fprintf(stream, "  m_longLineSize = %lld\n", static_cast<long long>(session->m_longLineSize));
  std::fprintf(stream, "  m_state        = %d (%s)\n", state,
               state >= 0 && state <= SessionInterrupted ? stateNames[state] : "unknown");
  if (session->m_call != nullptr)
    std::fprintf(stream, "  m_call         = %s (%d)\n", session->m_call, session->m_callStatus);
}

void Session_setInput(Session *session, FILE *input) {
  session->m_input = input;
  session->m_interactive = zyrIsTerminal(input);
  session->m_state = SessionReading;
}

int32_t Session_getState(const Session *session) { return session->m_state; }

void Session_prompt(Session *session, const char *label, int ownLine) {
  if (!session->m_interactive || label == nullptr || session->m_output == nullptr)
    return;
  std::fprintf(session->m_output, ownLine ? "%-20s?\n" : "%-20s? ", label);
  std::fflush(session->m_output);
}

// ---- Readers ----

const char *Session_readline(Session *session, int keywordExpected) {
  if (session->m_state != SessionReading)
    return nullptr;
  for (;;) {
    const PhysicalLine line = readPhysicalLine(session);
    if (line.m_atEnd) {
      session->m_state = keywordExpected ? SessionEnded : SessionTruncated;
      return nullptr;
    }
    if (line.m_length > 0 && line.m_text[0] == '#')
      continue;
    if (!line.m_zeroByte && !line.m_tooLong)
      return unescape(line.m_text);
    // Never pass on part of a line: it would be read as a wrong value.
    if (line.m_tooLong) {
      if (session->m_interactive) {
        std::fprintf(stderr, "The line has been ignored: it is longer than %d characters.\n", SESSION_MAX_LINE);
        continue;
      }
      char *reason = zyrCString_build("\nA line is longer than %d characters.\n", SESSION_MAX_LINE);
      publishInvalid(session, __func__, __LINE__, reason);
      zyrCString_free(reason);
      return nullptr;
    }
    if (session->m_interactive) {
      std::fprintf(stderr, "The line has been ignored: it holds a zero byte.\n");
      continue;
    }
    char *reason = zyrCString_build("\nThe line \"%.*s\" holds a zero byte.\n", g_quotedLength, line.m_text);
    publishInvalid(session, __func__, __LINE__, reason);
    zyrCString_free(reason);
    return nullptr;
  }
}

const char *Session_readKeyword(Session *session) { return Session_readline(session, 1); }

int32_t Session_readInteger(Session *session, const char *label) { return readIntegerValue(session, label, __func__); }

double Session_readReal(Session *session, const char *label) {
  for (;;) {
    const char *line = readValueLine(session, label, 0);
    if (line == nullptr)
      return 0.0;
    double value = 0.0;
    if (parseReal(line, &value))
      return value;
    if (!refuseValue(session, __func__, __LINE__, line, "a real number"))
      return 0.0;
  }
}

char *Session_readString(Session *session, const char *label) {
  const char *line = readValueLine(session, label, 0);
  return zyrCString_clone(line == nullptr ? "" : line);
}

char Session_readBoolean(Session *session, const char *label) {
  const int32_t value = readIntegerValue(session, label, __func__);
  return static_cast<char>(static_cast<unsigned char>(value & 0xff));
}

int32_t *Session_readIntArray(Session *session, const char *countLabel, const char *itemsLabel, int32_t *count) {
  const int32_t wanted = Session_readInteger(session, countLabel);
  *count = session->m_state == SessionReading ? wanted : 0;
  if (*count < 1)
    return nullptr;
  Session_prompt(session, itemsLabel, 1);
  // The array grows with the lines actually read, so a false count costs no memory.
  int64_t size = std::min<int64_t>(wanted, 1024);
  int32_t *array = zyrMemory_allocateArray<int32_t>(size, __func__);
  for (int64_t i = 0; i < wanted; ++i) {
    const int32_t value = Session_readInteger(session, nullptr);
    if (session->m_state != SessionReading) {
      zyrMemory_free(array, __func__);
      *count = 0;
      return nullptr;
    }
    if (i == size) {
      size = std::min<int64_t>(2 * size, wanted);
      array = zyrMemory_reallocateArray(array, size, __func__);
    }
    array[i] = value;
  }
  return array;
}

char **Session_readStringArray(Session *session, const char *countLabel, const char *itemsLabel, int32_t width,
                               int32_t *count) {
  const int32_t wanted = Session_readInteger(session, countLabel);
  *count = session->m_state == SessionReading ? wanted : 0;
  if (*count < 1 || width < 1)
    return nullptr;
  Session_prompt(session, itemsLabel, 1);
  const int64_t total = static_cast<int64_t>(wanted) * width;
  int64_t size = std::min<int64_t>(total, 1024);
  char **array = zyrMemory_allocateArray<char *>(size, __func__);
  for (int64_t i = 0; i < total; ++i) {
    const char *line = Session_readline(session, 0);
    if (line == nullptr) {
      zyrCStringArray_free(array, static_cast<uint64_t>(i));
      *count = 0;
      return nullptr;
    }
    if (i == size) {
      size = std::min<int64_t>(2 * size, total);
      array = zyrMemory_reallocateArray(array, size, __func__);
    }
    array[i] = zyrCString_clone(line);
  }
  return array;
}

char **Session_readStrings(Session *session, const char *label, int32_t *count) {
  *count = 0;
  const char *line = readValueLine(session, label, 1);
  if (line == nullptr)
    return nullptr;
  char *delimiter = zyrCString_clone(line);
  int64_t size = 100;
  int64_t n = 0;
  char **lines = zyrMemory_allocateArray<char *>(size, __func__);
  for (;;) {
    line = Session_readline(session, 0);
    if (line != nullptr && n == INT32_MAX) {
      publishInvalid(session, __func__, __LINE__, "\nA text block has too many lines.\n");
      line = nullptr;
    }
    if (line == nullptr) {
      zyrCStringArray_free(lines, static_cast<uint64_t>(n));
      zyrCString_free(delimiter);
      return nullptr;
    }
    if (std::strcmp(line, delimiter) == 0)
      break;
    if (n == size) {
      size *= 2;
      lines = zyrMemory_reallocateArray(lines, size, __func__);
    }
    lines[n++] = zyrCString_clone(line);
  }
  zyrCString_free(delimiter);
  if (n == 0) {
    zyrMemory_free(lines, __func__);
    return nullptr;
  }
  lines = zyrMemory_reallocateArray(lines, n, __func__);
  *count = static_cast<int32_t>(n);
  return lines;
}

int Session_readTransformation(Session *session, zyrAffineTransform3D **transformation) {
  static const char *const matrixLabels[9] = {"A[0][0]", "A[0][1]", "A[0][2]", "A[1][0]", "A[1][1]",
                                              "A[1][2]", "A[2][0]", "A[2][1]", "A[2][2]"};
  static const char *const vectorLabels[3] = {"v[0]", "v[1]", "v[2]"};
  Session_prompt(session, "transformation", 1);
  double matrix[9];
  double vector[3];
  for (int i = 0; i < 9; ++i)
    matrix[i] = Session_readReal(session, matrixLabels[i]);
  for (int i = 0; i < 3; ++i)
    vector[i] = Session_readReal(session, vectorLabels[i]);
  char *units = Session_readString(session, "units");

  zyrAffineTransform3D *t = zyrAffineTransform3D_new();
  *transformation = t;
  if (session->m_state != SessionReading) {
    zyrCString_free(units);
    return -1;
  }
  const int set = zyrAffineTransform3D_set(t, matrix, vector, units);
  zyrCString_free(units);
  if (set)
    return 1;
  if (session->m_interactive) {
    std::fprintf(stderr, "Affine transformation information is invalid.\n");
    return 0;
  }
  publishInvalid(session, __func__, __LINE__, "\nAffine transformation information is invalid.\n");
  return -1;
}

// ---- Writers ----

int Session_writeString(Session *session, const char *string) {
  if (session->m_output == nullptr)
    return 0;
  writeLine(session->m_output, string);
  return finish(session->m_output);
}

int Session_writeInteger(Session *session, int32_t value) {
  if (session->m_output == nullptr)
    return 0;
  std::fprintf(session->m_output, "%d\n", value);
  return finish(session->m_output);
}

int Session_writeReal(Session *session, double value) {
  if (session->m_output == nullptr)
    return 0;
  char text[64];
  formatReal(value, text, sizeof text);
  std::fprintf(session->m_output, "%s\n", text);
  return finish(session->m_output);
}

int Session_writeBoolean(Session *session, char value) {
  if (session->m_output == nullptr)
    return 0;
  std::fprintf(session->m_output, "%d\n", static_cast<int>(static_cast<signed char>(value)));
  return finish(session->m_output);
}

int Session_writeIntegerArray(Session *session, const int32_t *array, int32_t count) {
  if (session->m_output == nullptr)
    return 0;
  // Without the values only an empty list can be written truthfully.
  if (array == nullptr && count > 0)
    count = 0;
  std::fprintf(session->m_output, "%d\n", count);
  for (int32_t i = 0; i < count; ++i)
    std::fprintf(session->m_output, "%d\n", array[i]);
  return finish(session->m_output);
}

int Session_writeStringArray(Session *session, char *const *array, int32_t width, int32_t count) {
  if (session->m_output == nullptr)
    return 0;
  if ((array == nullptr || width < 1) && count > 0)
    count = 0;
  std::fprintf(session->m_output, "%d\n", count);
  const int64_t total = count > 0 ? static_cast<int64_t>(count) * width : 0;
  for (int64_t i = 0; i < total; ++i)
    writeLine(session->m_output, array[i]);
  return finish(session->m_output);
}

int Session_writeStrings(Session *session, char *const *lines, int32_t count, const char *delimiter) {
  if (session->m_output == nullptr)
    return 0;
  if (lines == nullptr)
    count = 0;
  FILE *output = session->m_output;
  char *chosen = chooseDelimiter(lines, count, delimiter);
  writeLine(output, chosen);
  forEachPiece(lines, count, [output](const char *piece, int64_t length) {
    writeLine(output, piece, length);
    return 1;
  });
  writeLine(output, chosen);
  zyrCString_free(chosen);
  return finish(output);
}

int Session_writeTransformation(Session *session, const zyrAffineTransform3D *transformation) {
  if (session->m_output == nullptr || transformation == nullptr)
    return 0;
  double matrix[9];
  double vector[3];
  char *units = nullptr;
  zyrAffineTransform3D_get(transformation, matrix, vector, &units);
  int status = 1;
  for (double value : matrix)
    status &= Session_writeReal(session, value);
  for (double value : vector)
    status &= Session_writeReal(session, value);
  status &= Session_writeString(session, units);
  zyrCString_free(units);
  return status;
}

int Session_startRecording(Session *session, FILE *output) {
  session->m_output = output;
  if (output == nullptr)
    return 0;
  char *date = zyrGetDateString();
  char *time = zyrGetTimeString();
  if (date != nullptr && time != nullptr)
    std::fprintf(output, "# Session file started: %s %s\n", date, time);
  zyrCString_free(date);
  zyrCString_free(time);
  struct {
    const char *m_format;
    char *m_value;
  } lines[] = {
      {"# Application:          %s\n", zyrLibrary_getProgramName()},
      {"# ZYR build:            %s\n", zyrLibrary_getBuild()},
      {"# Release number:       %s\n", zyrLibrary_getRelease()},
      {"# Running on:           %s\n", zyrGetHostName()},
      {"# Running in:           %s\n", zyrGetCurrentDirectory()},
  };
  for (auto &line : lines) {
    // A value holding a line feed would end the comment early.
    if (line.m_value != nullptr && std::strchr(line.m_value, '\n') == nullptr)
      std::fprintf(output, line.m_format, line.m_value);
    zyrCString_free(line.m_value);
  }
  finish(output);
  return 1;
}

int Session_stopRecording(Session *session) {
  FILE *output = session->m_output;
  if (output != nullptr) {
    char *date = zyrGetDateString();
    char *time = zyrGetTimeString();
    if (date != nullptr && time != nullptr)
      std::fprintf(output, "# Session file stopped: %s %s\n", date, time);
    zyrCString_free(date);
    zyrCString_free(time);
    std::fflush(output);
  }
  session->m_output = nullptr;
  return 1;
}
