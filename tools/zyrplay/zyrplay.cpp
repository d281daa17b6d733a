// zyrplay [SESSION]: plays a session file (the standard input when no file is named) through
// the session player: every recorded call of the procedural interface is made again. At a
// terminal it is an interactive command interpreter ("help" lists the commands).
//
// An installed zyrplay finds the rest of its installation by itself: the reader executables
// beside it and units.wez in the installation's data directory, each used only where the
// environment names nothing (see help() below).
//
// At its end, however the session ends, every database it left open is closed; then the errors
// still queued are written to the standard error stream. Exit status 0 when no user, internal or
// resource error is queued, 1 when one is (including a broken session file), 2 on wrong usage
// or an unreadable file.
//
// SIGINT and SIGTERM end it as a failed call ends (ToolInterrupt.h): the call in hand is
// abandoned and rolled back, its temporary and lock files removed, the open databases closed,
// and one line says what was abandoned; exit status 130 or 143.
#include "Session.h"
#include "SessionFile.h"
#include "SessionPlayer.h"
#include "ToolInterrupt.h"
#include "zyrAPI.h"
#include "zyrApplication.h"
#include "zyrInterrupt.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// The directory of this executable, with links resolved; empty when it cannot be had.
std::string ownDirectory() {
  char path[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0)
    return {};
  path[length] = '\0';
  char *slash = std::strrchr(path, '/');
  if (slash == nullptr)
    return {};
  *slash = '\0';
  return path;
}

bool isFile(const std::string &path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

// The absolute name of an installed file, given relative to the executables' directory bin (the
// build sets ZYRPLAY_BIN_TO_UNITS and ZYRPLAY_BIN_TO_DOC from the install directories), or empty
// when it is not there.
std::string installedFile(const std::string &bin, const char *relative) {
  if (bin.empty())
    return {};
  char resolved[PATH_MAX];
  const std::string path = bin + "/" + relative;
  return isFile(path) && realpath(path.c_str(), resolved) != nullptr ? resolved : std::string();
}

// Gives the library the installation's directories where the environment leaves them out. The
// library's own look-up then runs as for any host: a variable the user set, or a units.wez in
// the working directory, is never overridden.
void findInstallation() {
  const std::string bin = ownDirectory();
  if (bin.empty())
    return;
  if (isFile(bin + "/Kelvo.exe") || isFile(bin + "/wezdsdbreader.exe")) {
    setenv("WEZ5BINDIR", bin.c_str(), 0);
    setenv("WEZ5EXECDIR", bin.c_str(), 0);
  }
  if (std::getenv("WEZ5_UNITS_DIR") != nullptr || std::getenv("WEZ_DATA_DIR") != nullptr || isFile("units.wez"))
    return;
  std::string units = installedFile(bin, ZYRPLAY_BIN_TO_UNITS "/units.wez");
  if (!units.empty())
    setenv("WEZ5_UNITS_DIR", units.substr(0, units.rfind('/')).c_str(), 1);
}

void help() {
  std::string format = installedFile(ownDirectory(), ZYRPLAY_BIN_TO_DOC "/session-format.md");
  if (format.empty())
    format = "share/doc/zyr/session-format.md of the installation (tools/zyrplay/session-format.md in the sources)";
  std::printf("usage: zyrplay [SESSION]\n"
              "       zyrplay -h | --help\n"
              "\n"
              "Replays the calls recorded in the session file SESSION (the standard input when none\n"
              "is named); at a terminal, prompts for each call and value (\"help\" lists the calls).\n"
              "The databases the session left open are closed at its end. Exit status 0, 1 when\n"
              "an error is left queued at the end (written to the standard error stream), 2 on\n"
              "wrong usage or an unreadable file. SIGINT (Ctrl-C) or SIGTERM abandons the call in\n"
              "hand and rolls it back, closes the databases and says so in one line: exit status\n"
              "130 or 143.\n"
              "\n"
              "Environment (each optional; an installed zyrplay finds its installation by itself):\n"
              "  WEZ5EXECDIR, WEZ5BINDIR  where the mesh reader Kelvo.exe and wezdsdbreader.exe are\n"
              "                           looked for (default: the directory of zyrplay)\n"
              "  WEZ5_KELVO_EXEC, WEZ5_WEZDSDBREADER_EXEC\n"
              "                           the one reader itself\n"
              "  WEZ5_UNITS_DIR, WEZ_DATA_DIR\n"
              "                           the directory of units.wez, the first one set; when neither\n"
              "                           is, units.wez of the working directory, else the\n"
              "                           installation's share/zyr\n"
              "  ZYR_USE_LOCAL_UNITS      set: use the built-in units table, no units.wez needed\n"
              "\n"
              "The session format, with the shipped example box-tet.session as its worked case:\n"
              "  %s\n",
              format.c_str());
}

// The one line of an interrupted replay: what was abandoned, and what was closed.
int endInterrupted(const char *call, int callStatus, int32_t closed, int closedAll) {
  char databases[96];
  if (closed == 0)
    std::snprintf(databases, sizeof databases, "no database was open");
  else
    std::snprintf(databases, sizeof databases, "%d open database%s closed%s", closed, closed == 1 ? "" : "s",
                  closedAll ? "" : " (not cleanly: see the errors above)");
  if (call == nullptr)
    return ToolInterrupt_end(stderr, "zyrplay", "stopped while reading the session; %s", databases);
  if (callStatus != 1)
    return ToolInterrupt_end(stderr, "zyrplay", "%s was abandoned; %s", call, databases);
  return ToolInterrupt_end(stderr, "zyrplay", "stopped after %s; %s", call, databases);
}

} // namespace

int main(int argc, char **argv) {
  if (argc == 2 && (std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0)) {
    help();
    return 0;
  }
  if (argc > 2) {
    std::fprintf(stderr, "usage: zyrplay [SESSION]   (zyrplay --help tells more)\n");
    return 2;
  }
  findInstallation();
  zyrApplication_initialise("zyrplay");
  // A replay records nothing, not even the reading of its errors below.
  SessionFile_suspend();
  FILE *input = stdin;
  if (argc == 2) {
    input = std::fopen(argv[1], "r");
    // A directory opens, and then reads as an empty session.
    struct stat status;
    if (input != nullptr && fstat(fileno(input), &status) == 0 && S_ISDIR(status.st_mode)) {
      std::fclose(input);
      input = nullptr;
      errno = EISDIR;
    }
    if (input == nullptr) {
      std::fprintf(stderr, "zyrplay: cannot open %s: %s\n", argv[1], std::strerror(errno));
      return 2;
    }
  }
  ToolInterrupt_catch();
  Session *session = Session_new();
  Session_play(session, input);
  bool interrupted = Session_getState(session) == SessionInterrupted;
  const char *call = session->m_call;
  const int callStatus = session->m_callStatus;
  Session_delete(session);
  if (input != stdin)
    std::fclose(input);
  // Whatever ended the session (its end, a broken record, an interrupt), nothing it opened stays
  // open.
  int32_t closed = 0;
  const int closedAll = zyrDatabase_closeAll(&closed);
  // A request that came too late to stop anything still ends the program as one.
  interrupted = interrupted || zyrInterrupt_signal() != 0;

  // After an interrupt the one line says it all, unless a close failed.
  const int failed = Session_takeErrors(!interrupted || !closedAll ? stderr : nullptr);
  if (interrupted)
    return endInterrupted(call, callStatus, closed, closedAll);
  return failed;
}
