#ifndef ZYR_DEBUG_MANAGER_H
#define ZYR_DEBUG_MANAGER_H
// The debug manager lets a developer switch diagnostics on function by function without
// rebuilding. Its control file (ZYR_DEBUG_CONTROL, else "zyr.debug" in the working directory)
// holds sections of tag lines:
//
//   <DEBUG>    function-name pattern : level   (also TEST, DISPLAY and TIME)
//   <LOGS>     MEMORY, ERROR, SESSION or DEBUG = file name (keys in any case)
//   <OPTIONS>  DisplayErrors = 0, 1 (standard output) or 2 (standard error stream)
//
// A pattern must match the whole function name; the last matching rule of a section wins, and a
// level of 0 reads as not set. The debug log is the DEBUG entry, replaced by ZYR_DEBUG_LOG, where
// "stdout" and "stderr" name the standard streams (the standard output when neither is given).
// The manager is created on first use and reads the control file once; without a control file it
// stays inactive and nothing is traced.
#include <cstdarg>
#include <cstdint>
#include <cstdio>

struct RegularExpression;
struct Source;

enum { ZYR_DEBUG_CATEGORIES = 4 }; // debug, self-testing, display, timing

struct zyrDebugRule {
  char *m_pattern;
  RegularExpression *m_expression;
  int32_t m_level;
  zyrDebugRule *m_next;
};

struct zyrDebugWarning; // control-file warnings waiting to be raised

struct zyrDebugManager {
  int m_active;
  FILE *m_log;
  char *m_controlFileName;
  char *m_debugLogName;
  int m_displayErrors;
  zyrDebugRule *m_rules[ZYR_DEBUG_CATEGORIES]; // each in file order
  zyrDebugRule *m_lastRule[ZYR_DEBUG_CATEGORIES];
  char *m_memoryLogName;
  char *m_errorLogName;
  char *m_sessionFileName;
  zyrDebugWarning *m_warnings;
};

// The process-wide manager, created on first use. While it is being created (its creation may
// raise errors, and the error manager asks it for names) this answers NULL; after the exit
// callback has deleted it, too.
zyrDebugManager *zyrDebugManager_get();
// The creation that zyrDebugManager_get runs once: finds and reads the control file, opens the
// debug log and writes the start banner (inactive, without a log, when there is no control file).
zyrDebugManager *zyrDebugManager_new();
// A manager of its own, inactive and without rules, for reading control text from a Source
// (zyrDebugManager_readControlSource).
zyrDebugManager *zyrDebugManager_newEmpty();
// Flushes the log, closes it unless it is a standard stream, releases the rules and names.
void zyrDebugManager_delete(zyrDebugManager *manager);
void zyrDebugManager_print(const zyrDebugManager *manager, FILE *stream);

// Reads the manager's control file; 0 when there is none or it cannot be opened.
int zyrDebugManager_readControlFile(zyrDebugManager *manager);
// Reads control text from the source (style 2: "#" comments and blank lines are skipped). With
// startMemoryLog 0 a MEMORY entry only records the name instead of starting the memory log.
// Malformed content is reported as warnings (code 4) and skipped. Answers 1.
int zyrDebugManager_readControlSource(zyrDebugManager *manager, Source *source, int startMemoryLog);

// The four levels of the function: for each category the level of the last rule whose pattern
// matches the whole name; INT32_MIN (not set) when none matches or its level is 0.
void zyrDebugManager_getLevels(zyrDebugManager *manager, const char *function, int32_t levels[4]);

// 1 when the process-wide manager is active and has a log; a nested call answers 0 at once.
int zyrDebugManager_isLogOpen();
// The process-wide manager's log, or NULL when it is not active.
FILE *zyrDebugManager_getLog();
FILE *zyrDebugManager_getLogStream(zyrDebugManager *manager);
void zyrDebugManager_printf(const char *format, ...) __attribute__((format(printf, 1, 2)));
void zyrDebugManager_vprintf(const char *format, va_list arguments) __attribute__((format(printf, 1, 0)));
// The function banner, written when the log is open and one of the levels is set; with
// showLevels 1 followed by the set levels.
void zyrDebugManager_printHeader(const char *function, const char *description, const int32_t levels[4],
                                 int showLevels);

// The fields (not copies); a NULL manager has none.
int zyrDebugManager_getDisplayErrors(zyrDebugManager *manager);
const char *zyrDebugManager_getMemoryLogName(zyrDebugManager *manager);
const char *zyrDebugManager_getErrorLogName(zyrDebugManager *manager);
const char *zyrDebugManager_getSessionFileName(zyrDebugManager *manager);

// Switch the output on (with the start banner) and off (with the stop banner).
void zyrDebugManager_start(zyrDebugManager *manager);
void zyrDebugManager_stop(zyrDebugManager *manager);

#endif
