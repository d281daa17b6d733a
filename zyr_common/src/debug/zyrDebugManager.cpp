#include "zyrDebugManager.h"

#include "MemoryMonitor.h"
#include "RegularExpression.h"
#include "Source.h"
#include "zyrCString.h"
#include "zyrError.h"
#include "zyrLibrary.h"
#include "zyrMemory.h"
#include "zyrSystem.h"

#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

struct zyrDebugWarning {
  char *m_text;
  int32_t m_line;
  zyrDebugWarning *m_next;
};

namespace {

zyrDebugManager *g_manager = nullptr;
bool g_creating = false;  // the process-wide manager is being made
bool g_finished = false;  // the exit callback has deleted it
bool g_inIsLogOpen = false;

const char *const kCategoryTags[ZYR_DEBUG_CATEGORIES] = {"DEBUG", "TEST", "DISPLAY", "TIME"};
const char *const kLevelLines[ZYR_DEBUG_CATEGORIES] = {
    "Debug level        = %d\n", "Self-testing level = %d\n", "Display level      = %d\n",
    "Timing level       = %d\n"};
const int32_t kNotSet = INT32_MIN;
const int32_t kLineSize = 1024;

void writeRule(FILE *log, char c, int count) {
  for (int i = 0; i < count; ++i)
    std::fputc(c, log);
  std::fputc('\n', log);
}

void writeDateLine(FILE *log, const char *label) {
  char *date = zyrGetDateString();
  char *time = zyrGetTimeString();
  if (date != nullptr && time != nullptr)
    std::fprintf(log, "%s%s %s\n", label, date, time);
  else
    std::fprintf(log, "%sUNKNOWN\n", label);
  zyrCString_free(date);
  zyrCString_free(time);
}

void writeKnown(FILE *log, const char *format, const char *value) {
  if (value != nullptr && value[0] != '\0')
    std::fprintf(log, format, value);
}

void writeStartBanner(FILE *log) {
  writeRule(log, '=', 80);
  writeDateLine(log, "Started:        ");
  writeRule(log, '=', 80);
  char *program = zyrLibrary_getProgramName();
  writeKnown(log, "Application:    %s\n", program);
  zyrCString_free(program);
  writeKnown(log, "ZYR build:      %s\n", zyrGetBuildInfo(zyrBuildStamp));
  writeKnown(log, "Release number: %s\n", zyrGetBuildInfo(zyrBuildRelease));
  char *host = zyrGetHostName();
  writeKnown(log, "Running on:     %s\n", host);
  zyrCString_free(host);
  char *directory = zyrGetCurrentDirectory();
  writeKnown(log, "Running in:     %s\n", directory);
  zyrCString_free(directory);
  writeRule(log, '=', 80);
  std::fflush(log);
}

// ---- warnings about the control file ----

void queueWarning(zyrDebugManager *manager, int32_t line, char *text) {
  auto *warning = zyrMemory_allocateZeroedArray<zyrDebugWarning>(1, "zyrDebugManager_readControlFile");
  warning->m_text = text;
  warning->m_line = line;
  zyrDebugWarning **end = &manager->m_warnings;
  while (*end != nullptr)
    end = &(*end)->m_next;
  *end = warning;
}

// Raised once the manager is complete, so that an error manager created by the first of them
// finds the control file's log names and options. Shown by force, not published.
void raiseWarnings(zyrDebugManager *manager, const char *function) {
  zyrDebugWarning *warning = manager->m_warnings;
  manager->m_warnings = nullptr;
  while (warning != nullptr) {
    zyrError *error = zyrError_new(ZYR_W_INVALID_DATA_IGNORED, function, __FILE__, warning->m_line);
    zyrError_addMessage(error, "%s", warning->m_text);
    zyrError_display(error);
    zyrDebugWarning *next = warning->m_next;
    zyrCString_free(warning->m_text);
    zyrMemory_free(warning, function);
    warning = next;
  }
}

void freeWarnings(zyrDebugManager *manager) {
  while (manager->m_warnings != nullptr) {
    zyrDebugWarning *next = manager->m_warnings->m_next;
    zyrCString_free(manager->m_warnings->m_text);
    zyrMemory_free(manager->m_warnings, "zyrDebugManager_delete");
    manager->m_warnings = next;
  }
}

// ---- control file ----

int32_t readLevel(const char *text) {
  errno = 0;
  char *end = nullptr;
  const long long value = std::strtoll(text, &end, 10);
  if (end == text)
    return 0;
  if (value > INT32_MAX)
    return INT32_MAX;
  if (value < INT32_MIN)
    return INT32_MIN;
  return static_cast<int32_t>(value);
}

void addRule(zyrDebugManager *manager, int category, const char *pattern, const char *levelText) {
  const char *message = nullptr;
  RegularExpression *expression = RegularExpression_new(pattern, &message);
  if (expression == nullptr) {
    // A mistyped rule must not take the host process down with it.
    queueWarning(manager, __LINE__,
                 zyrCString_build("Invalid pattern \"%s\" in zyr.debug: %s.\nThe rule has been ignored.\n",
                                  pattern, message));
    return;
  }
  auto *rule = zyrMemory_allocateZeroedArray<zyrDebugRule>(1, __func__);
  rule->m_pattern = zyrCString_clone(pattern);
  rule->m_expression = expression;
  rule->m_level = readLevel(levelText);
  if (manager->m_lastRule[category] == nullptr)
    manager->m_rules[category] = rule;
  else
    manager->m_lastRule[category]->m_next = rule;
  manager->m_lastRule[category] = rule;
}

void readRules(zyrDebugManager *manager, Source *source, int category, char *line) {
  char key[kLineSize];
  char value[kLineSize];
  while (Source_getLine(source, line, kLineSize)) {
    if (Source_isClosingTag(line, kCategoryTags[category]))
      return;
    Source_splitKeyValue(line, key, value);
    addRule(manager, category, key, value);
  }
}

void startMemoryLog(const char *name) {
  MemoryMonitor *monitor = MemoryMonitor_new(name);
  if (monitor == nullptr)
    return;
  MemoryMonitor *replaced = zyrMemory_setMonitor(monitor);
  if (replaced != nullptr)
    MemoryMonitor_delete(replaced);
}

void readLogs(zyrDebugManager *manager, Source *source, char *line, int startMemory) {
  char key[kLineSize];
  char value[kLineSize];
  while (Source_getLine(source, line, kLineSize)) {
    if (Source_isClosingTag(line, "LOGS"))
      return;
    Source_splitUpperKeyValue(line, key, value);
    if (std::strcmp(key, "MEMORY") == 0) {
      zyrCString_reassign(&manager->m_memoryLogName, value);
      if (startMemory)
        startMemoryLog(value);
    } else if (std::strcmp(key, "ERROR") == 0) {
      zyrCString_reassign(&manager->m_errorLogName, value);
    } else if (std::strcmp(key, "SESSION") == 0) {
      zyrCString_reassign(&manager->m_sessionFileName, value);
    } else if (std::strcmp(key, "DEBUG") == 0) {
      zyrCString_reassign(&manager->m_debugLogName, value);
    }
  }
}

void readOptions(zyrDebugManager *manager, Source *source, char *line) {
  char key[kLineSize];
  char value[kLineSize];
  while (Source_getLine(source, line, kLineSize)) {
    if (Source_isClosingTag(line, "OPTIONS"))
      return;
    Source_splitKeyValue(line, key, value);
    if (std::strcmp(key, "DisplayErrors") == 0)
      manager->m_displayErrors = readLevel(value);
  }
}

int readControl(zyrDebugManager *manager, Source *source, int startMemory, const char *function) {
  Source_setStyle(source, 2);
  char line[kLineSize];
  while (Source_getLine(source, line, kLineSize)) {
    int32_t start = 0;
    int32_t length = 0;
    if (Source_parseTag(line, &start, &length) != 1) {
      char *text = zyrCString_clone(line);
      const size_t end = std::strlen(text);
      if (end > 0 && text[end - 1] == '\n')
        text[end - 1] = '\0';
      queueWarning(manager, __LINE__,
                   zyrCString_build("Incorrectly nested tags in zyr.debug.\nProblem with tag: \"%s\"\n", text));
      zyrCString_free(text);
      continue;
    }
    int category = -1;
    for (int c = 0; c < ZYR_DEBUG_CATEGORIES; ++c)
      if (Source_isOpeningTag(line, kCategoryTags[c]))
        category = c;
    if (category >= 0) {
      readRules(manager, source, category, line);
    } else if (Source_isOpeningTag(line, "LOGS")) {
      readLogs(manager, source, line, startMemory);
    } else if (Source_isOpeningTag(line, "OPTIONS")) {
      readOptions(manager, source, line);
    } else {
      // The tag as written, from "<" to ">" (or to the end of the line when it has none).
      const bool closed = line[start + length] == '>';
      char *tag = zyrCString_substring(line, start - 1, start + length + (closed ? 1 : 0));
      const size_t end = std::strlen(tag);
      if (!closed && end > 0 && tag[end - 1] == '\n')
        tag[end - 1] = '\0';
      queueWarning(manager, __LINE__, zyrCString_build("\"%s\" is an unrecognised tag.\n", tag));
      zyrCString_free(tag);
      skipTag(line, kLineSize, source);
    }
  }
  if (!g_creating)
    raiseWarnings(manager, function);
  return 1;
}

// ---- log ----

void openLog(zyrDebugManager *manager) {
  const char *name = manager->m_debugLogName;
  if (name == nullptr) {
    manager->m_debugLogName = zyrCString_clone("stdout");
    manager->m_log = stdout;
  } else if (std::strcmp(name, "stderr") == 0) {
    manager->m_log = stderr;
  } else if (std::strcmp(name, "stdout") == 0) {
    manager->m_log = stdout;
  } else {
    manager->m_log = std::fopen(name, "we");
    if (manager->m_log == nullptr) {
      std::fprintf(stderr, "\n\nERROR: Unable to open debug logging file %s.\n", name);
      std::fprintf(stderr, "       Debug logging has not been activated.\n\n");
      std::fflush(stderr);
      manager->m_active = 0;
    }
  }
}

bool isStandardStream(FILE *stream) { return stream == stdout || stream == stderr; }

bool isRegularFile(const char *name) {
  struct stat status;
  return stat(name, &status) == 0 && S_ISREG(status.st_mode);
}

void freeRules(zyrDebugRule *rule) {
  while (rule != nullptr) {
    zyrDebugRule *next = rule->m_next;
    zyrCString_free(rule->m_pattern);
    RegularExpression_delete(rule->m_expression);
    zyrMemory_free(rule, "zyrDebugManager_delete");
    rule = next;
  }
}

void deleteAtExit() {
  g_finished = true;
  zyrDebugManager *manager = g_manager;
  g_manager = nullptr;
  zyrDebugManager_delete(manager);
}

} // namespace

zyrDebugManager *zyrDebugManager_get() {
  if (g_manager != nullptr || g_creating || g_finished)
    return g_manager;
  g_creating = true;
  zyrDebugManager *manager = zyrDebugManager_new();
  std::atexit(deleteAtExit);
  g_manager = manager;
  g_creating = false;
  raiseWarnings(manager, "zyrDebugManager_readControlFile");
  return manager;
}

zyrDebugManager *zyrDebugManager_newEmpty() {
  return zyrMemory_allocateZeroedArray<zyrDebugManager>(1, __func__);
}

zyrDebugManager *zyrDebugManager_new() {
  zyrDebugManager *manager = zyrDebugManager_newEmpty();
  manager->m_controlFileName = zyrReadEnvironmentVariable("ZYR_DEBUG_CONTROL", nullptr);
  if (manager->m_controlFileName == nullptr && isRegularFile("zyr.debug"))
    manager->m_controlFileName = zyrCString_clone("zyr.debug");
  manager->m_active = zyrDebugManager_readControlFile(manager);
  if (!manager->m_active)
    return manager;
  char *logName = zyrReadEnvironmentVariable("ZYR_DEBUG_LOG", nullptr);
  if (logName != nullptr) {
    zyrCString_free(manager->m_debugLogName);
    manager->m_debugLogName = logName;
  }
  openLog(manager);
  if (manager->m_active)
    writeStartBanner(manager->m_log);
  return manager;
}

void zyrDebugManager_delete(zyrDebugManager *manager) {
  if (manager == nullptr)
    return;
  if (manager->m_log != nullptr) {
    std::fflush(manager->m_log);
    if (!isStandardStream(manager->m_log))
      std::fclose(manager->m_log);
    manager->m_log = nullptr;
  }
  for (int c = 0; c < ZYR_DEBUG_CATEGORIES; ++c)
    freeRules(manager->m_rules[c]);
  freeWarnings(manager);
  zyrCString_free(manager->m_controlFileName);
  zyrCString_free(manager->m_debugLogName);
  zyrCString_free(manager->m_memoryLogName);
  zyrCString_free(manager->m_errorLogName);
  zyrCString_free(manager->m_sessionFileName);
  zyrMemory_free(manager, __func__);
}

void zyrDebugManager_print(const zyrDebugManager *manager, FILE *stream) {
  if (manager == nullptr) {
    std::fprintf(stream, "zyrDebugManager: NULL\n");
    return;
  }
  auto text = [](const char *value) { return value != nullptr ? value : "(none)"; };
  std::fprintf(stream, "zyrDebugManager:\n");
  std::fprintf(stream, "  m_active          = %d\n", manager->m_active);
  std::fprintf(stream, "  m_controlFileName = %s\n", text(manager->m_controlFileName));
  std::fprintf(stream, "  m_debugLogName    = %s\n", text(manager->m_debugLogName));
  std::fprintf(stream, "  m_displayErrors   = %d\n", manager->m_displayErrors);
  std::fprintf(stream, "  m_memoryLogName   = %s\n", text(manager->m_memoryLogName));
  std::fprintf(stream, "  m_errorLogName    = %s\n", text(manager->m_errorLogName));
  std::fprintf(stream, "  m_sessionFileName = %s\n", text(manager->m_sessionFileName));
  for (int c = 0; c < ZYR_DEBUG_CATEGORIES; ++c)
    for (const zyrDebugRule *rule = manager->m_rules[c]; rule != nullptr; rule = rule->m_next)
      std::fprintf(stream, "  %-7s %s : %d\n", kCategoryTags[c], rule->m_pattern, rule->m_level);
}

int zyrDebugManager_readControlFile(zyrDebugManager *manager) {
  if (manager == nullptr || manager->m_controlFileName == nullptr)
    return 0;
  Source *source = Source_newFile(manager->m_controlFileName);
  if (source == nullptr)
    return 0;
  const int result = readControl(manager, source, 1, __func__);
  Source_delete(source);
  return result;
}

int zyrDebugManager_readControlSource(zyrDebugManager *manager, Source *source, int startMemoryLog) {
  if (manager == nullptr || source == nullptr)
    return 0;
  return readControl(manager, source, startMemoryLog, __func__);
}

void zyrDebugManager_getLevels(zyrDebugManager *manager, const char *function, int32_t levels[4]) {
  for (int c = 0; c < ZYR_DEBUG_CATEGORIES; ++c) {
    int32_t level = 0;
    if (manager != nullptr && function != nullptr)
      for (zyrDebugRule *rule = manager->m_rules[c]; rule != nullptr; rule = rule->m_next)
        if (RegularExpression_exactMatch(rule->m_expression, function))
          level = rule->m_level;
    levels[c] = level == 0 ? kNotSet : level;
  }
}

int zyrDebugManager_isLogOpen() {
  // Creating the manager runs traced functions, which ask this again.
  if (g_inIsLogOpen)
    return 0;
  g_inIsLogOpen = true;
  const zyrDebugManager *manager = zyrDebugManager_get();
  const int open = manager != nullptr && manager->m_active && manager->m_log != nullptr ? 1 : 0;
  g_inIsLogOpen = false;
  return open;
}

FILE *zyrDebugManager_getLog() { return zyrDebugManager_getLogStream(zyrDebugManager_get()); }

FILE *zyrDebugManager_getLogStream(zyrDebugManager *manager) {
  return manager != nullptr && manager->m_active ? manager->m_log : nullptr;
}

void zyrDebugManager_vprintf(const char *format, va_list arguments) {
  FILE *log = zyrDebugManager_getLog();
  if (log == nullptr)
    return;
  std::vfprintf(log, format, arguments);
  std::fflush(log);
}

void zyrDebugManager_printf(const char *format, ...) {
  va_list arguments;
  va_start(arguments, format);
  zyrDebugManager_vprintf(format, arguments);
  va_end(arguments);
}

void zyrDebugManager_printHeader(const char *function, const char *description, const int32_t levels[4],
                                 int showLevels) {
  if (!zyrDebugManager_isLogOpen())
    return;
  bool anySet = false;
  for (int c = 0; c < ZYR_DEBUG_CATEGORIES; ++c)
    anySet = anySet || levels[c] != kNotSet;
  if (!anySet)
    return;
  FILE *log = zyrDebugManager_getLog();
  std::fputc('\n', log);
  writeRule(log, '-', 80);
  std::fprintf(log, "%s:\n", function != nullptr ? function : "");
  if (description != nullptr) {
    for (int i = 0; i < 40; ++i)
      std::fputs("- ", log);
    std::fputc('\n', log);
    std::fprintf(log, "%s\n", description);
  }
  writeRule(log, '-', 80);
  std::fflush(log);
  if (showLevels != 1)
    return;
  bool written = false;
  for (int c = 0; c < ZYR_DEBUG_CATEGORIES; ++c) {
    if (levels[c] == kNotSet)
      continue;
    std::fprintf(log, kLevelLines[c], levels[c]);
    written = true;
  }
  if (written)
    writeRule(log, '-', 70);
  std::fflush(log);
}

int zyrDebugManager_getDisplayErrors(zyrDebugManager *manager) {
  return manager != nullptr ? manager->m_displayErrors : 0;
}

const char *zyrDebugManager_getMemoryLogName(zyrDebugManager *manager) {
  return manager != nullptr ? manager->m_memoryLogName : nullptr;
}

const char *zyrDebugManager_getErrorLogName(zyrDebugManager *manager) {
  return manager != nullptr ? manager->m_errorLogName : nullptr;
}

const char *zyrDebugManager_getSessionFileName(zyrDebugManager *manager) {
  return manager != nullptr ? manager->m_sessionFileName : nullptr;
}

void zyrDebugManager_start(zyrDebugManager *manager) {
  if (manager == nullptr)
    return;
  manager->m_active = 1;
  if (manager->m_log != nullptr)
    writeStartBanner(manager->m_log);
}

void zyrDebugManager_stop(zyrDebugManager *manager) {
  if (manager == nullptr)
    return;
  manager->m_active = 0;
  FILE *log = manager->m_log;
  if (log == nullptr)
    return;
  writeRule(log, '=', 80);
  writeDateLine(log, "Stopped:        ");
  writeRule(log, '=', 80);
  std::fflush(log);
}
