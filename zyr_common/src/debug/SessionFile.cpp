#include "SessionFile.h"

#include "HashTable.h"
#include "Repository.h"
#include "zyrCString.h"
#include "zyrDebugManager.h"
#include "zyrMemory.h"
#include "zyrSystem.h"

#include <cstdlib>

namespace {

SessionFile *g_sessionFile = nullptr;
int g_firstCall = 1;
int g_exitCallbackRegistered = 0;
int g_suspended = 0;

const char *const g_delimiter = "__EOF";

void closeAtExit() { SessionFile_close(); }

} // namespace

int SessionFile_record(Repository *repository, int status) {
  if (g_suspended > 0)
    return 0;
  if (g_firstCall && g_sessionFile == nullptr) {
    g_firstCall = 0;
    char *name = zyrReadEnvironmentVariable("ZYR_SESSION_FILE", nullptr);
    if (name == nullptr) {
      const char *logName = zyrDebugManager_getSessionFileName(zyrDebugManager_get());
      if (logName == nullptr)
        return 0;
      name = zyrCString_clone(logName);
    }
    int32_t level = 2;
    char *levelText = zyrReadEnvironmentVariable("ZYR_SESSION_FILE_LEVEL", nullptr);
    int value = 0;
    // A level that is not an integer keeps the default.
    if (levelText != nullptr && std::sscanf(levelText, "%d", &value) == 1)
      level = value;
    zyrCString_free(levelText);
    SessionFile_open(name, level);
    zyrCString_free(name);
  }
  if (g_sessionFile == nullptr)
    return 0;

  if (repository != nullptr) {
    int32_t state = Repository_getCurrentState(repository);
    auto *seen = static_cast<int32_t *>(HashTable_find(g_sessionFile->m_repositories, repository));
    if (seen == nullptr) {
      seen = zyrMemory_allocateZeroedArray<int32_t>(1, __func__);
      HashTable_insert(g_sessionFile->m_repositories, repository, seen);
    }
    if (*seen != state)
      *seen = state;
  }

  switch (g_sessionFile->m_level) {
  case 3:
    return 1;
  case 2:
  case 1:
    // Level 1 records what level 2 does: a replay needs every successful call, including the
    // opening of each database that later calls use, whether or not it changed a state.
    return status == 1;
  default:
    return 0;
  }
}

void SessionFile_open(const char *fileName, int32_t level) {
  if (g_sessionFile != nullptr)
    SessionFile_delete(g_sessionFile);
  g_sessionFile = SessionFile_new(fileName, level);
  if (!g_exitCallbackRegistered) {
    g_exitCallbackRegistered = 1;
    std::atexit(closeAtExit);
  }
}

SessionFile *SessionFile_new(const char *fileName, int32_t level) {
  FILE *output = fileName != nullptr ? std::fopen(fileName, "a") : nullptr;
  if (output == nullptr)
    return nullptr;
  SessionFile *sessionFile = zyrMemory_allocateZeroedArray<SessionFile>(1, __func__);
  sessionFile->m_repositories = HashTable_new(20, HashTable_hashInteger, HashTable_compareIntegers);
  sessionFile->m_level = level;
  sessionFile->m_output = output;
  sessionFile->m_session = Session_new();
  Session_startRecording(sessionFile->m_session, output);
  return sessionFile;
}

void SessionFile_delete(SessionFile *sessionFile) {
  if (sessionFile == nullptr)
    return;
  if (sessionFile->m_session != nullptr)
    Session_stopRecording(sessionFile->m_session);
  if (sessionFile->m_output != nullptr)
    std::fclose(sessionFile->m_output);
  Session_delete(sessionFile->m_session);
  if (sessionFile->m_repositories != nullptr) {
    HashTableIterator *iterator = HashTableIterator_new(sessionFile->m_repositories);
    for (Pair *pair = HashTableIterator_first(iterator); pair != nullptr; pair = HashTableIterator_next(iterator))
      zyrMemory_free(pair->m_second, __func__);
    HashTableIterator_delete(iterator);
    HashTable_delete(sessionFile->m_repositories);
  }
  zyrMemory_free(sessionFile, __func__);
}

void SessionFile_close() {
  SessionFile_delete(g_sessionFile);
  g_sessionFile = nullptr;
}

SessionFile *SessionFile_get() { return g_sessionFile; }

int SessionFile_isRecording() { return g_sessionFile != nullptr && g_suspended == 0; }

void SessionFile_suspend() { ++g_suspended; }

void SessionFile_resume() {
  if (g_suspended > 0)
    --g_suspended;
}

void SessionFile_print(const SessionFile *sessionFile, FILE *stream) {
  std::fprintf(stream, "SessionFile: %p\n", static_cast<const void *>(sessionFile));
  if (sessionFile == nullptr)
    return;
  std::fprintf(stream, "----------------------------------------\n");
  std::fprintf(stream, "m_session:      %p\n", static_cast<const void *>(sessionFile->m_session));
  std::fprintf(stream, "m_level:        %d\n", sessionFile->m_level);
  std::fprintf(stream, "m_output:       %p\n", static_cast<const void *>(sessionFile->m_output));
  std::fprintf(stream, "m_repositories: %p (%d entries)\n", static_cast<const void *>(sessionFile->m_repositories),
               sessionFile->m_repositories != nullptr ? HashTable_getNoOfEntries(sessionFile->m_repositories) : 0);
  std::fprintf(stream, "----------------------------------------\n");
}

void SessionFile_recordString(const char *string) {
  if (SessionFile_isRecording())
    Session_writeString(g_sessionFile->m_session, string);
}

void SessionFile_recordStringArray(char *const *array, int32_t numberPerEntry, int32_t count) {
  if (SessionFile_isRecording())
    Session_writeStringArray(g_sessionFile->m_session, array, numberPerEntry, count);
}

void SessionFile_recordStrings(const char *text) {
  if (!SessionFile_isRecording())
    return;
  char **lines = nullptr;
  uint64_t count = 0;
  if (text != nullptr && !zyrCStringArray_newFromPackedString(text, '\n', &lines, &count)) {
    lines = nullptr;
    count = 0;
  }
  // A block longer than a count can say is cut at that count rather than wrapped round.
  int32_t written = count > INT32_MAX ? INT32_MAX : static_cast<int32_t>(count);
  Session_writeStrings(g_sessionFile->m_session, lines, written, g_delimiter);
  zyrCStringArray_free(lines, count);
}

void SessionFile_recordInteger(int32_t value) {
  if (SessionFile_isRecording())
    Session_writeInteger(g_sessionFile->m_session, value);
}

void SessionFile_recordIntegerArray(const int32_t *array, int32_t count) {
  if (SessionFile_isRecording())
    Session_writeIntegerArray(g_sessionFile->m_session, array, count);
}

void SessionFile_recordReal(double value) {
  if (SessionFile_isRecording())
    Session_writeReal(g_sessionFile->m_session, value);
}

void SessionFile_recordBoolean(char value) {
  if (SessionFile_isRecording())
    Session_writeBoolean(g_sessionFile->m_session, value);
}

void SessionFile_recordTransformation(const zyrAffineTransform3D *transformation) {
  if (!SessionFile_isRecording() || transformation == nullptr)
    return;
  double matrix[9];
  double vector[3];
  char *units = nullptr;
  zyrAffineTransform3D_get(transformation, matrix, vector, &units);
  for (double value : matrix)
    Session_writeReal(g_sessionFile->m_session, value);
  for (double value : vector)
    Session_writeReal(g_sessionFile->m_session, value);
  Session_writeString(g_sessionFile->m_session, units);
  zyrCString_free(units);
}
