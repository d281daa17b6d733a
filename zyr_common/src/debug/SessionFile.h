#ifndef ZYR_SESSION_FILE_H
#define ZYR_SESSION_FILE_H
// The session recorder: every entry point of the procedural interface asks SessionFile_record
// whether to write the call it has just served, and if so writes its name and inputs through the
// writers below. The recorder is one process-wide SessionFile, set up on the first call of
// SessionFile_record from ZYR_SESSION_FILE (else the SESSION log of the debug control file) and
// ZYR_SESSION_FILE_LEVEL; with no file name, nothing is recorded for the rest of the process.
//
// Levels: 3 records every call that reaches the recorder, failed ones too; 2 (the default, also
// taken for a level text that is not an integer) and 1 record the calls whose status is 1; any
// other level opens the file and writes its header and footer but records no call.
#include "Session.h"
#include "zyrAffineTransform3D.h"

#include <cstdint>
#include <cstdio>

struct HashTable;
struct Repository;

struct SessionFile {
  Session *m_session;
  int32_t m_level;
  FILE *m_output;              // the session file, opened for appending
  HashTable *m_repositories;   // repository -> tracked int32_t: its state last seen
};

// 1 when the caller must now write its record. The repository may be NULL.
int SessionFile_record(Repository *repository, int status);

// Replaces the process's recorder by one for the file; when the file cannot be opened for
// appending, nothing is recorded until the next open.
void SessionFile_open(const char *fileName, int32_t level);
// NULL when the file cannot be opened for appending.
SessionFile *SessionFile_new(const char *fileName, int32_t level);
// Writes the footer, closes the file.
void SessionFile_delete(SessionFile *sessionFile);
// Ends the process's recording, if any (also the exit callback).
void SessionFile_close();
// The process's recorder, or NULL.
SessionFile *SessionFile_get();
// 1 while a recorder exists and recording is not suspended.
int SessionFile_isRecording();
// While suspended (nesting counts), SessionFile_record answers 0 without looking at the
// environment and the writers write nothing: a replay must not record itself, least of all into
// the file it is reading.
void SessionFile_suspend();
void SessionFile_resume();
void SessionFile_print(const SessionFile *sessionFile, FILE *stream);

// Writers: they do nothing when nothing is recorded.
void SessionFile_recordString(const char *string);
// count, then count x numberPerEntry strings.
void SessionFile_recordStringArray(char *const *array, int32_t numberPerEntry, int32_t count);
// A text block delimited by "__EOF" lines, one line per line of the text (none for NULL).
void SessionFile_recordStrings(const char *text);
void SessionFile_recordInteger(int32_t value);
void SessionFile_recordIntegerArray(const int32_t *array, int32_t count);
void SessionFile_recordReal(double value);
void SessionFile_recordBoolean(char value);
// The nine matrix values row by row, the three translation values, the length unit.
void SessionFile_recordTransformation(const zyrAffineTransform3D *transformation);

#endif
