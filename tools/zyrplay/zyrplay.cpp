// zyrplay [SESSION]: plays a session file (the standard input when no file is named) through
// the session player: every recorded call of the procedural interface is made again. At a
// terminal it is an interactive command interpreter ("help" lists the commands).
//
// At the end the errors still queued are written to the standard error stream. Exit status 0
// when no user, internal or resource error is queued, 1 when one is (including a broken session
// file), 2 on wrong usage or an unreadable file.
#include "Session.h"
#include "SessionFile.h"
#include "SessionPlayer.h"
#include "zyrAPI.h"
#include "zyrApplication.h"
#include "zyrError.h"
#include "zyrMemory.h"

#include <cstdio>

int main(int argc, char **argv) {
  if (argc > 2) {
    std::fprintf(stderr, "usage: zyrplay [SESSION]\n");
    return 2;
  }
  zyrApplication_initialise("zyrplay");
  // A replay records nothing, not even the reading of its errors below.
  SessionFile_suspend();
  FILE *input = stdin;
  if (argc == 2) {
    input = std::fopen(argv[1], "r");
    if (input == nullptr) {
      std::fprintf(stderr, "zyrplay: cannot open %s\n", argv[1]);
      return 2;
    }
  }
  Session *session = Session_new();
  Session_play(session, input);
  Session_delete(session);
  if (input != stdin)
    std::fclose(input);

  int32_t count = 0;
  zyrError **errors = nullptr;
  int failed = 0;
  if (zyrApp_getErrors(&count, &errors) == 1 && count > 0) {
    Session_writeErrors(stderr, count, errors);
    for (int32_t i = 0; i < count; ++i)
      if (zyrError_isError(errors[i]))
        failed = 1;
  }
  zyrMemory_free(errors, "main");
  zyrApp_clearErrors();
  return failed;
}
