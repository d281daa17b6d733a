#include "SessionPlayer.h"

#include "Session.h"
#include "SessionFile.h"
#include "SessionKeywords.h"
#include "zyrAPI.h"
#include "zyrCString.h"
#include "zyrError.h"
#include "zyrErrorCode.h"
#include "zyrInterrupt.h"
#include "zyrLibrary.h"
#include "zyrMemory.h"
#include "zyrSystem.h"

#include <cstdarg>
#include <cstring>
#include <string>

namespace {

// The session whose echo the debug error handler writes through.
Session *theDebugSession = nullptr;

const char *const kDashes = "--------------------------------------------------------------------------------";

void echoLine(Session *session, const std::string &line) { Session_echo(session, "%s\n", line.c_str()); }

// One help row: the name in a column, "- ", and the description wrapped at words so that no line
// passes 79 characters; further lines indented by 35 blanks.
void echoHelpRow(Session *session, const char *name, int column, const char *description) {
  const size_t limit = 79;
  std::string line = name;
  if (line.size() < static_cast<size_t>(column))
    line.append(static_cast<size_t>(column) - line.size(), ' ');
  line += "- ";
  const std::string indent(35, ' ');
  bool empty = true; // no word on the line yet
  const char *p = description;
  while (*p != '\0') {
    while (*p == ' ')
      ++p;
    const char *end = p;
    while (*end != '\0' && *end != ' ')
      ++end;
    if (end == p)
      break;
    const std::string word(p, end);
    if (!empty && line.size() + 1 + word.size() > limit) {
      echoLine(session, line);
      line = indent;
      empty = true;
    }
    if (!empty)
      line += ' ';
    line += word;
    empty = false;
    p = end;
  }
  echoLine(session, line);
}

const char *className(const zyrError *error) {
  switch (zyrError_getClass(error)) {
  case zyrUserError:
    return "zyrUserError";
  case zyrInternalError:
    return "zyrInternalError";
  case zyrResourceError:
    return "zyrResourceError";
  case zyrWarning:
    return "zyrWarning";
  default:
    return "zyrUnknownError";
  }
}

// Whether the program asked for the play to be abandoned: a read it broke off is no end of the
// file, and the call in hand has said what it abandoned.
bool interrupted(Session *session) {
  if (zyrInterrupt_signal() == 0)
    return false;
  session->m_state = SessionInterrupted;
  return true;
}

// Plays the records until the input ends or breaks; the result of Session_play.
int playRecords(Session *session) {
  for (;;) {
    session->m_call = nullptr;
    if (interrupted(session))
      return 0;
    const char *line = Session_readKeyword(session);
    if (interrupted(session))
      return 0;
    if (line == nullptr)
      return Session_getState(session) == SessionEnded ? 1 : 0;
    const std::string keyword = line;
    if (keyword == "quit" || keyword == "end")
      return 1;
    if (const SessionKeyword *row = SessionKeyword_find(keyword.c_str())) {
      SessionCall call;
      SessionCall_init(&call, row, session);
      const int read = SessionCall_readInputs(&call);
      if (read != 1) {
        SessionCall_free(&call);
        if (interrupted(session))
          return 0;
        if (Session_getState(session) == SessionTruncated) {
          ZYR_ERROR_FOR(ZYR_U_UNEXPECTED_END_OF_FILE, "Session_play",
                        "The end of the session file was reached unexpectedly.\nHas it been truncated?\n");
          return 0;
        }
        if (read == 0)
          continue;
        return 0;
      }
      session->m_call = row->m_keyword;
      call.m_status = row->m_call(&call);
      session->m_callStatus = call.m_status;
      if (session->m_interactive) {
        SessionCall_echo(&call);
        Session_echoError(session, call.m_status);
      }
      SessionCall_free(&call);
      // The call in hand has abandoned its work, or finished it: the play stops after it.
      if (interrupted(session))
        return 0;
      continue;
    }
    if (keyword == "help" && session->m_interactive) {
      Session_echoHelp(session);
      continue;
    }
    if (session->m_interactive) {
      std::fprintf(stderr, "The keyword \"%s\" has not been recognised.\n", keyword.c_str());
      continue;
    }
    ZYR_ERROR_FOR(ZYR_U_INVALID_FILE_FORMAT, "Session_play",
                  "The format of the session file is not valid.\n\nThe keyword \"%s\" has not been recognised.\n",
                  keyword.c_str());
    return 0;
  }
}

} // namespace

int SessionFile_playInteractive() {
  Session *session = Session_new();
  const int result = Session_play(session, stdin);
  Session_delete(session);
  return result;
}

int Session_play(Session *session, FILE *input) {
  Session_setInput(session, input);
  // A session file may be the very file the recorder appends to.
  SessionFile_suspend();
  Session_echo(session, "Welcome to the interactive ZYR session file player. Enter a command or a\n");
  Session_echo(session, "ZYR API function. To find out what options are available type help.\n");
  Session_echo(session, "To end the session type quit.\n\n");
  const int result = playRecords(session);
  // The debug handler may stay installed; it must not write through a session about to go.
  if (theDebugSession == session)
    theDebugSession = nullptr;
  SessionFile_resume();
  return result;
}

void Session_echo(Session *session, const char *format, ...) {
  if (session == nullptr || !session->m_interactive)
    return;
  va_list arguments;
  va_start(arguments, format);
  std::vfprintf(stdout, format, arguments);
  va_end(arguments);
  std::fflush(stdout);
}

void Session_writeErrors(FILE *stream, int32_t noOfErrors, zyrError *const *errors) {
  for (int32_t i = 0; i < noOfErrors; ++i) {
    const zyrError *error = errors[i];
    const int32_t code = zyrError_getCode(error);
    const char *name = zyrErrorCode_getName(code);
    const char *description = zyrError_getDescription(error);
    const char *function = zyrError_getFunction(error);
    const char *file = zyrError_getFile(error);
    const char *message = zyrError_getMessage(error);
    std::fprintf(stream, "Error code:  %s (%d)\n", name != nullptr ? name : "Unknown", code);
    std::fprintf(stream, "Description: %s\n", description != nullptr ? description : "");
    std::fprintf(stream, "Function:    %s\n", function != nullptr ? function : "");
    std::fprintf(stream, "File:        %s\n", file != nullptr ? file : "");
    std::fprintf(stream, "Line number: %d\n", zyrError_getLine(error));
    std::fprintf(stream, "Message:\n%s\n", message != nullptr ? message : "");
  }
  std::fflush(stream);
}

void Session_echoError(Session *session, int status) {
  if (session == nullptr || !session->m_interactive || status == 1)
    return;
  int32_t count = 0;
  zyrError **errors = nullptr;
  if (zyrApp_getErrors(&count, &errors) == 1 && count > 0) {
    Session_writeErrors(session->m_output != nullptr ? session->m_output : stdout, count, errors);
    zyrMemory_free(errors, __func__);
    zyrApp_clearErrors();
    return;
  }
  zyrMemory_free(errors, __func__);
}

void Session_echoTransformation(Session *session, const zyrAffineTransform3D *transformation, char prefix,
                                int32_t nameWidth) {
  if (session == nullptr || !session->m_interactive || transformation == nullptr)
    return;
  double matrix[9];
  double vector[3];
  char *units = nullptr;
  zyrAffineTransform3D_get(transformation, matrix, vector, &units);
  const std::string pad(static_cast<size_t>(nameWidth < 0 ? 0 : nameWidth > 50 ? 50 : nameWidth), ' ');
  for (int i = 0; i < 9; ++i)
    Session_echo(session, "%c A[%d][%d]%s= %e\n", prefix, i / 3, i % 3, pad.c_str(), matrix[i]);
  for (int i = 0; i < 3; ++i)
    Session_echo(session, "%c v[%d]   %s= %e\n", prefix, i, pad.c_str(), vector[i]);
  Session_echo(session, "%c units  %s= %s\n", prefix, pad.c_str(), units != nullptr ? units : "");
  zyrCString_free(units);
}

void Session_echoHelp(Session *session) {
  Session_echo(session, "\nCommands\n--------\n");
  echoHelpRow(session, "end", 32, "Quit the session.");
  echoHelpRow(session, "help", 32, "Display this help.");
  echoHelpRow(session, "quit", 32, "Quit the session.");
  Session_echo(session, "\nZYR API functions\n-----------------\n");
  int32_t count = 0;
  const SessionKeyword *rows = SessionKeyword_getTable(&count);
  for (int32_t i = 0; i < count; ++i)
    if (rows[i].m_help != nullptr)
      echoHelpRow(session, rows[i].m_keyword, 33, rows[i].m_help);
}

int nullErrorHandler(zyrError *) { return 1; }

int debugErrorHandler(zyrError *error) {
  Session *session = theDebugSession;
  const char *description = zyrError_getDescription(error);
  const char *name = zyrErrorCode_getName(zyrError_getCode(error));
  const char *program = zyrError_getProgram(error);
  const char *function = zyrError_getFunction(error);
  Session_echo(session, "\n%s\n%s\n%s\n", kDashes, description != nullptr ? description : "", kDashes);
  Session_echo(session, "Class:       %s\n", className(error));
  Session_echo(session, "Code:        %s\n", name != nullptr ? name : "Unknown");
  Session_echo(session, "Program:     %s\n", program != nullptr ? program : "UNKNOWN");
  Session_echo(session, "Subroutine:  %s\n", function != nullptr ? function : "");
  char *date = zyrGetDateString();
  char *time = zyrGetTimeString();
  if (date != nullptr && time != nullptr)
    Session_echo(session, "Time:        %s %s\n", date, time);
  zyrCString_free(date);
  zyrCString_free(time);
  char *release = zyrLibrary_getRelease();
  char *build = zyrLibrary_getBuild();
  if (release != nullptr && build != nullptr)
    Session_echo(session, "Version:     %s [%s]\n", release, build);
  zyrCString_free(release);
  zyrCString_free(build);
  char *host = zyrGetHostName();
  if (host != nullptr)
    Session_echo(session, "Host:        %s\n", host);
  zyrCString_free(host);
  char *directory = zyrGetCurrentDirectory();
  if (directory != nullptr)
    Session_echo(session, "Directory:   %s\n", directory);
  zyrCString_free(directory);
  Session_echo(session, "%s\n\n", kDashes);
  const char *context = zyrError_getContext(error);
  if (context != nullptr)
    Session_echo(session, "Context:\n\n%s\n%s\n\n", context, kDashes);
  const char *message = zyrError_getMessage(error);
  Session_echo(session, "%s\n", message != nullptr ? message : "");
  static const char *const dimensions[4] = {"points", "curves", "surfaces", "volumes"};
  for (int32_t d = 0; d < 4; ++d) {
    int32_t *pairs = nullptr;
    const int32_t n = zyrError_getRegions(error, d, &pairs);
    if (n > 0) {
      Session_echo(session, "Regions (%s):\n", dimensions[d]);
      for (int32_t i = 0; i < n; ++i)
        Session_echo(session, "  Body = %d, Object = %d\n", pairs[2 * i], pairs[2 * i + 1]);
      Session_echo(session, "\n");
    }
    zyrMemory_free(pairs, __func__);
  }
  Session_echo(session, "%s\n\n", kDashes);
  return 1;
}

void Session_setDebugSession(Session *session) { theDebugSession = session; }

zyrErrorHandler Session_getErrorHandler(int32_t code, Session *session) {
  switch (code) {
  case SESSION_NULL_ERROR_HANDLER:
    return nullErrorHandler;
  case SESSION_DEBUG_ERROR_HANDLER:
    Session_setDebugSession(session);
    return debugErrorHandler;
  default:
    return nullptr;
  }
}
