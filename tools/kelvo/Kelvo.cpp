// Kelvo.exe: the mesh reader that the library starts to import a mesh file (KelvoRun.h).
#include "KelvoRun.h"

#include <csignal>
#include <cstdio>
#include <new>

int main(int argc, char **argv) {
  // A parent that went away must not turn the last lines into a crash.
  signal(SIGPIPE, SIG_IGN);
  try {
    return KelvoRun_main(argc, argv, stdout);
  } catch (const std::bad_alloc &) {
    fputs("<ERROR_BEG>\nThere is not enough memory to import the mesh.\n<ERROR_END>\n", stdout);
    fflush(stdout);
    return 1;
  }
}
