#ifndef ZYR_SESSION_H
#define ZYR_SESSION_H
// The session file notation: one value per line, read by the session player (from a file or a
// terminal) and written by the session recorder.
//
// Reading. Lines beginning with "#" are comments and are skipped wherever a line is read. A line
// ends with a line feed, a carriage return before it being part of the line ending. Each reader
// shows its label as a prompt when the input is a terminal, then reads its lines. When the
// input ends, or a line cannot be read as the value asked for, the session leaves the
// SessionReading state and stays out of it: every later reader returns at once with a neutral
// value (0, 0.0, a new empty string, a null array) and reads nothing, so a caller reads a whole
// record and then asks Session_getState whether the record is complete:
//
//   SessionEnded      the input ended where a keyword was expected: the normal end;
//   SessionTruncated  the input ended inside a record (the caller reports error 10034);
//   SessionInvalid    a value could not be read; error 10035 has already been published;
//   SessionInterrupted the program asked for the work in hand to be abandoned (zyrInterrupt.h):
//                     the player stops without a word; m_call tells the call it stopped in or
//                     after, NULL when it stopped while reading a record.
//
// In an interactive session a line that is not a value of the kind asked for is refused on the
// standard error stream and the prompt shown again; it never ends the session.
//
// Lines of any length up to SESSION_MAX_LINE characters are read whole: the short ones in
// m_line, longer ones in a buffer that grows as needed. A longer value line ends a file
// session as invalid (10035) rather than being cut into several values.
//
// Writing. Every writer writes whole lines to the output stream and flushes it at the end of
// its element. Whatever a writer is given, the reader gets back the same values: a string or
// text line that would read as a comment (it begins with "#", after any backslashes) is written
// with one more backslash in front, which the reader removes again; a text block's delimiter is
// changed (a number appended) when one of its lines equals it; a line ending in a carriage
// return is written with one more before its line feed. A line feed inside a string value
// cannot be kept on its one line and is written as a blank. A real is written "%e" when that
// gives the value back exactly, else with as many more digits as it needs.
#include "zyrAffineTransform3D.h"

#include <cstdint>
#include <cstdio>

#define SESSION_LINE_SIZE 1024
// The longest line (characters before its line ending) that a session reads as a value.
#define SESSION_MAX_LINE (16 * 1024 * 1024)

enum SessionState {
  SessionReading = 0,
  SessionEnded = 1,
  SessionTruncated = 2,
  SessionInvalid = 3,
  SessionInterrupted = 4
};

struct Session {
  int m_interactive;             // the input is a terminal: prompt for every value
  FILE *m_input;
  FILE *m_output;                // prompts, and the writers' lines; NULL once recording stopped
  char m_line[SESSION_LINE_SIZE];
  char *m_longLine;              // tracked; holds lines that do not fit in m_line
  int64_t m_longLineSize;        // bytes allocated for m_longLine
  int32_t m_state;               // a SessionState
  const char *m_call;            // the keyword of the call in hand (the keyword table's): set as the call is
                                 // made, NULL again once the next record is read
  int m_callStatus;              // that call's result, once it returned
};

// Zero-filled, writing to the standard output.
Session *Session_new();
// Closes no stream.
void Session_delete(Session *session);
void Session_print(const Session *session, FILE *stream);

// Reads from the stream from now on, and prompts when it is a terminal; the state starts again
// at SessionReading.
void Session_setInput(Session *session, FILE *input);
int32_t Session_getState(const Session *session);

void Session_prompt(Session *session, const char *label, int ownLine);

// The next non-comment line without its line ending, in a buffer of the session valid until the
// next read; NULL when there is none (see the states above).
const char *Session_readline(Session *session, int keywordExpected);
// The next non-comment line where a record begins; no prompt. NULL at the end.
const char *Session_readKeyword(Session *session);
int32_t Session_readInteger(Session *session, const char *label);
double Session_readReal(Session *session, const char *label);
// A new string (never NULL); the caller frees it with zyrCString_free.
char *Session_readString(Session *session, const char *label);
// The lowest eight bits of the integer on the line.
char Session_readBoolean(Session *session, const char *label);
// A count line, then as many integers: a new array, or NULL when the count is below 1 (the
// count stored even then) or the record broke off (count 0). Free with zyrMemory_free.
int32_t *Session_readIntArray(Session *session, const char *countLabel, const char *itemsLabel, int32_t *count);
// A count line, then count x width strings: a new array of new strings, or NULL as above. The
// count stored is the one read, not multiplied by the width (a width below 1 reads no items).
// Free with zyrCStringArray_free (count x width entries).
char **Session_readStringArray(Session *session, const char *countLabel, const char *itemsLabel, int32_t width,
                               int32_t *count);
// A text block: its first line is the delimiter, the text lines follow up to the delimiter's
// next appearance. A new array of new strings, one per text line, or NULL when there is none.
char **Session_readStrings(Session *session, const char *label, int32_t *count);
// Thirteen lines: the matrix row by row, the translation and the length unit. A new transform
// is stored through the argument in every case (the caller deletes it); 1 when it was built
// from the values read; 0 when an interactive user gave a unit that is not a length unit (the
// record is to be dropped); -1 when the values were refused in a file (10035 published) or the
// input ended.
int Session_readTransformation(Session *session, zyrAffineTransform3D **transformation);

// Writers: 1 when the lines were written, 0 without an output stream or when writing failed.
int Session_writeString(Session *session, const char *string);
int Session_writeInteger(Session *session, int32_t value);
int Session_writeReal(Session *session, double value);
int Session_writeBoolean(Session *session, char value);
int Session_writeIntegerArray(Session *session, const int32_t *array, int32_t count);
// count, then count x width strings (a NULL entry as an empty line).
int Session_writeStringArray(Session *session, char *const *array, int32_t width, int32_t count);
// The delimiter ("__EOF" when none is given), the lines, the delimiter.
int Session_writeStrings(Session *session, char *const *lines, int32_t count, const char *delimiter);
// The twelve numbers of the transform and its unit, as Session_readTransformation reads them.
int Session_writeTransformation(Session *session, const zyrAffineTransform3D *transformation);

// Makes the stream the output and writes the opening comment lines of a recording.
int Session_startRecording(Session *session, FILE *output);
// Writes the closing comment line and forgets the stream (its owner closes it).
int Session_stopRecording(Session *session);

#endif
